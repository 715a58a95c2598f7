#include "geometry/pline/arc_len_pline.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "base/memory.h"
#include "base/tolerances.h"
#include "geometry/curves/profile_file.h"
#include "geometry/primitives/intersect3d.h"
#include "geometry/primitives/nearest3d.h"

namespace {

double dist3(const Vec3d& a, const Vec3d& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}
double distXY(const Vec3d& a, const Vec3d& b) { return std::hypot(a.x - b.x, a.y - b.y); }

// The parameter of q on segment (i - 1, i), by the share of the segment's
// length (measured with dist) from its start to q.
template <typename Dist>
double paramOnSegment(const ArcLenPline* pl, int i, const Vec3d& q, Dist dist) {
  const double len = dist(pl->points[i - 1], pl->points[i]);
  const double f = len < kGeoEqualTol ? 0.0 : dist(q, pl->points[i - 1]) / len;
  return (1.0 - f) * pl->params[i - 1] + f * pl->params[i];
}

// The nearest point by one of the polyline searches and its parameter, with
// lengths measured by dist (see arcLenPlineNearest3d).
template <typename Search, typename Dist>
double nearestOn(const ArcLenPline* pl, const Vec3d* p, double* param, Vec3d* out, Search search,
                 Dist dist) {
  if (pl == nullptr || pl->count < 1) return DBL_MAX;
  if (pl->count == 1) {
    *out = pl->points[0];
    *param = pl->params[0];
    return dist(*p, pl->points[0]);
  }
  int i = 0;
  const double d = search(pl->points, pl->count, p, out, &i);
  *param = paramOnSegment(pl, i, *out, dist);
  return d;
}

}  // namespace

ArcLenPline* arcLenPlineCreate(int capacity) {
  if (capacity < 1) capacity = 1;
  auto* pl = static_cast<ArcLenPline*>(memAllocZeroed(sizeof(ArcLenPline)));
  if (pl == nullptr) return nullptr;
  pl->points = static_cast<Vec3d*>(memAllocZeroed(sizeof(Vec3d) * capacity));
  pl->params = static_cast<double*>(memAllocZeroed(sizeof(double) * capacity));
  if (pl->points == nullptr || pl->params == nullptr) {
    arcLenPlineFree(pl);
    return nullptr;
  }
  pl->capacity = capacity;
  return pl;
}

ArcLenPline* arcLenPlineCopy(const ArcLenPline* src) {
  if (src == nullptr) return nullptr;
  ArcLenPline* pl = arcLenPlineCreate(src->capacity);
  if (pl == nullptr) return nullptr;
  std::memcpy(pl->points, src->points, sizeof(Vec3d) * src->count);
  std::memcpy(pl->params, src->params, sizeof(double) * src->count);
  pl->count = src->count;
  return pl;
}

ArcLenPline* arcLenPlineFromCurve(const CurveRec* curve) {
  if (curve == nullptr || curve->count > INT32_MAX / 2) return nullptr;
  ArcLenPline* pl = arcLenPlineCreate(2 * curve->count);
  if (pl == nullptr) return nullptr;
  for (int i = 0; i < curve->count; ++i) {
    const Vec3d q{curve->points[i].x, curve->points[i].y, curve->z != nullptr ? curve->z[i] : 0.0};
    if (pl->count == 0) {
      pl->points[0] = q;
      pl->params[0] = 0.0;
      pl->count = 1;
      continue;
    }
    const double step = dist3(pl->points[pl->count - 1], q);
    if (step < kGeoEqualTol) continue;
    pl->points[pl->count] = q;
    pl->params[pl->count] = pl->params[pl->count - 1] + step;
    ++pl->count;
  }
  return pl;
}

ArcLenPline* arcLenPlineFromPline(const Pline* pl) {
  if (pl == nullptr || pl->count > INT32_MAX / 2) return nullptr;
  auto usable = [pl](int i) {
    const int c = pointStatusCode(pl->status[i]);
    return c != kPointGap && c != kPointDropped;
  };
  int first = 0;
  while (first < pl->count && !usable(first)) ++first;
  if (first == pl->count) return nullptr;
  int last = pl->count - 1;
  while (!usable(last)) --last;
  ArcLenPline* out = arcLenPlineCreate(2 * pl->count);
  if (out == nullptr) return nullptr;
  out->count = last - first + 1;
  std::memcpy(out->points, pl->points + first, sizeof(Vec3d) * out->count);
  std::memcpy(out->params, pl->params + first, sizeof(double) * out->count);
  return out;
}

ArcLenPlineNode* arcLenPlineListReadFile(const char* name) {
  CurveRec* curves = curveReadPrfChain(name, nullptr, 1.0, 0, 0, 0.0, 0.0);
  ArcLenPlineNode* head = nullptr;
  ArcLenPlineNode** tail = &head;
  for (CurveRec* c = curves; c != nullptr; c = c->next) {
    ArcLenPline* pl = arcLenPlineFromCurve(c);
    if (pl == nullptr) break;
    auto* node = static_cast<ArcLenPlineNode*>(memAllocZeroed(sizeof(ArcLenPlineNode)));
    if (node == nullptr) {
      arcLenPlineFree(pl);
      break;
    }
    node->pline = pl;
    *tail = node;
    tail = &node->next;
  }
  curveFree(curves);
  return head;
}

void arcLenPlineFree(ArcLenPline* pl) {
  if (pl == nullptr) return;
  memFree(pl->points);
  memFree(pl->params);
  memFree(pl);
}

void arcLenPlineListFree(ArcLenPlineNode* list) {
  while (list != nullptr) {
    ArcLenPlineNode* next = list->next;
    arcLenPlineFree(list->pline);
    memFree(list);
    list = next;
  }
}

double arcLenPlineNearest3d(const ArcLenPline* pl, const Vec3d* p, double* param, Vec3d* out) {
  return nearestOn(pl, p, param, out, vec3ArrayNearestPoint, dist3);
}

double arcLenPlineNearest2d(const ArcLenPline* pl, const Vec3d* p, double* param, Vec3d* out) {
  return nearestOn(pl, p, param, out, vec3ArrayNearestPointXY, distXY);
}

double arcLenPlineNearestToSeg(const ArcLenPline* pl, const Vec3d seg[2], double* param,
                               Vec3d* onSeg, Vec3d* onPline) {
  if (pl == nullptr || pl->count < 1) return DBL_MAX;
  if (pl->count == 1) {
    *onPline = pl->points[0];
    *param = pl->params[0];
    return seg3NearestPoint(&seg[0], &seg[1], &pl->points[0], onSeg);
  }
  double best = 0.0;
  int winner = 1;
  for (int i = 1; i < pl->count; ++i) {
    Vec3d a{}, b{};
    const double d =
        seg3ClosestPoints(&seg[0], &seg[1], &pl->points[i - 1], &pl->points[i], &a, &b);
    if (i == 1 || d < best) {
      best = d;
      winner = i;
      *onSeg = a;
      *onPline = b;
    }
  }
  *param = paramOnSegment(pl, winner, *onPline, dist3);
  return best;
}
