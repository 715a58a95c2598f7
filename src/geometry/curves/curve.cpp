#include "geometry/curves/curve.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "geometry/curves/spline2d.h"
#include "geometry/offset2d/planar_offset.h"

namespace {

double planDistance(const Vec2d& a, const Vec2d& b) { return std::hypot(b.x - a.x, b.y - a.y); }

bool samePlanPoint(const Vec2d& a, const Vec2d& b) {
  return std::fabs(a.x - b.x) < kCurveTol && std::fabs(a.y - b.y) < kCurveTol;
}

CurveRec* newRecord(int count, int kind) {
  auto* c = static_cast<CurveRec*>(std::calloc(1, sizeof(CurveRec)));
  if (c == nullptr) return nullptr;
  // A curve without points still carries one length entry.
  c->lengths = static_cast<double*>(std::calloc(std::max(count, 1), sizeof(double)));
  if (c->lengths == nullptr) {
    std::free(c);
    return nullptr;
  }
  c->count = count;
  c->kind = static_cast<char>(kind);
  return c;
}

void freeExtension(CurveRec* c) {
  if (c->ext == nullptr) return;
  switch (c->kind) {
    case kCurveKindNormal: {
      auto* e = static_cast<NormalCurveExt*>(c->ext);
      if (e->base != nullptr) {
        spline2dFree(static_cast<Spline2dRec*>(e->base->ext));
        e->base->ext = nullptr;
        curveFree(e->base);
      }
      break;
    }
    case kCurveKindSync: {
      auto* e = static_cast<SyncCurveExt*>(c->ext);
      curveFree(e->first);
      curveFree(e->second);
      break;
    }
    case kCurveKindFlow: {
      auto* e = static_cast<FlowCurveExt*>(c->ext);
      curveFree(e->first);
      curveFree(e->second);
      break;
    }
    default:
      break;
  }
  std::free(c->ext);
  c->ext = nullptr;
}

// Point at parameter t on segment seg (interpolated, or the vertex itself when
// t lies within the window of it).
void pointOnSegment(const CurveRec* c, int seg, double t, Vec2d* p, double* z) {
  const double a = c->lengths[seg];
  const double b = seg + 1 < c->count ? c->lengths[seg + 1] : a;
  const double span = b - a;
  if (std::fabs(t - a) <= kCurveTol || !(span > 0.0)) {
    *p = c->points[seg];
    if (z != nullptr && c->z != nullptr) *z = c->z[seg];
    return;
  }
  const double f = (t - a) / span;
  const Vec2d& p0 = c->points[seg];
  const Vec2d& p1 = c->points[seg + 1];
  p->x = p0.x + f * (p1.x - p0.x);
  p->y = p0.y + f * (p1.y - p0.y);
  if (z != nullptr && c->z != nullptr) *z = c->z[seg] + f * (c->z[seg + 1] - c->z[seg]);
}

// Unit vector of v into out; false when v is shorter than the tolerance.
bool unit3(const Vec3d& v, Vec3d* out) {
  const double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (len < kCurveTol) return false;
  *out = Vec3d{v.x / len, v.y / len, v.z / len};
  return true;
}

}  // namespace

CurveRec* curveNew(Vec2d* points, int count, int kind) {
  if (count < 0 || (count > 0 && points == nullptr)) return nullptr;
  CurveRec* c = newRecord(count, kind);
  if (c == nullptr) return nullptr;
  c->points = points;
  curveUpdateLengths(c);
  return c;
}

int curveOffset(CurveRec* curve, double d) {
  if (curve == nullptr) return -1;
  if (d == 0.0 && curve->count >= 2) return 0;
  int segCount = 0;
  Seg2* segs = curveToSeg2(curve, 0, &segCount);
  if (segs == nullptr) return -1;
  if (segCount < 1) {
    std::free(segs);
    return -1;
  }
  // Room of 20 segments per point, 3 per point on long curves, and never less
  // than the worst case of the offset itself.
  const int64_t perPoint = int64_t{curve->count} * 20 > 10000 ? 3 : 20;
  const int64_t room =
      std::max<int64_t>(int64_t{curve->count} * perPoint, offset2dResultCapacity(segCount));
  if (room > INT32_MAX) {
    std::free(segs);
    return -1;
  }
  auto* out = static_cast<Seg2*>(std::malloc(sizeof(Seg2) * static_cast<size_t>(room)));
  int result = -1;
  if (out != nullptr) {
    const int n = offset2dSegChain(segs, segCount, std::fabs(d), out, static_cast<int>(room),
                                   d < 0.0 ? -1 : 1);
    if (n > 0 && curveSetPoints(curve, out, n) == 0) result = 0;
  }
  std::free(out);
  std::free(segs);
  return result;
}

int curveThin(CurveRec* curve, double tol) {
  if (curve == nullptr) return -1;
  const int n = curve->count;
  if (n >= 2) {
    auto* keep = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(n)));
    if (keep == nullptr) return -1;
    pts2dThinMarks(curve->points, n, kCurveThinMaxChord, tol, keep);
    int kept = 0;
    for (int i = 0; i < n; ++i) {
      if (!keep[i]) continue;
      curve->points[kept] = curve->points[i];
      if (curve->z != nullptr) curve->z[kept] = curve->z[i];
      ++kept;
    }
    std::free(keep);
    curve->count = kept;
  }
  curve->t0 = 0.0;
  curveUpdateLengths(curve);
  return 0;
}

CurveRec* curveNewOwned(int count, int kind, bool withZ) {
  if (count < 1) return nullptr;
  CurveRec* c = newRecord(count, kind);
  if (c == nullptr) return nullptr;
  c->points = static_cast<Vec2d*>(std::calloc(count, sizeof(Vec2d)));
  c->ownsPoints = 1;
  if (withZ) c->z = static_cast<double*>(std::calloc(count, sizeof(double)));
  if (c->points == nullptr || (withZ && c->z == nullptr)) {
    curveFree(c);
    return nullptr;
  }
  return c;
}

void curveUpdateLengths(CurveRec* c) {
  double total = c->t0;
  if (c->count > 0) c->lengths[0] = total;
  for (int i = 1; i < c->count; ++i) {
    total += planDistance(c->points[i - 1], c->points[i]);
    c->lengths[i] = total;
  }
  c->t1 = total;
}

void curveFree(CurveRec* curve) {
  while (curve != nullptr) {
    CurveRec* next = curve->next;
    if (curve->ownsPoints) std::free(curve->points);
    std::free(curve->z);
    freeExtension(curve);
    std::free(curve->lengths);
    std::free(curve);
    curve = next;
  }
}

void curveSetName(CurveRec* curve, const char* name) {
  if (name == nullptr) {
    curve->name[0] = '\0';
    return;
  }
  const std::size_t n = strnlen(name, kCurveNameSize - 1);
  std::memcpy(curve->name, name, n);
  curve->name[n] = '\0';
}

CurveRec* curveNewLine3d(const Vec3d* a, const Vec3d* b) {
  CurveRec* c = curveNewOwned(2, kCurveKindPolyline, true);
  if (c == nullptr) return nullptr;
  c->points[0] = Vec2d{a->x, a->y};
  c->points[1] = Vec2d{b->x, b->y};
  c->z[0] = a->z;
  c->z[1] = b->z;
  curveUpdateLengths(c);
  return c;
}

CurveRec* curveNewTrapezoid(const Vec3d* a, const Vec3d* b, double height, double run) {
  const double dx = b->x - a->x;
  const double dy = b->y - a->y;
  const double len = std::hypot(dx, dy);
  if (len < 2.0 * run + kCurveTol) return nullptr;
  CurveRec* c = curveNewOwned(4, kCurveKindPolyline, true);
  if (c == nullptr) return nullptr;
  const double ux = dx / len;
  const double uy = dy / len;
  c->points[0] = Vec2d{a->x, a->y};
  c->points[1] = Vec2d{a->x + run * ux, a->y + run * uy};
  c->points[2] = Vec2d{b->x - run * ux, b->y - run * uy};
  c->points[3] = Vec2d{b->x, b->y};
  c->z[0] = a->z;
  c->z[1] = height;
  c->z[2] = height;
  c->z[3] = b->z;
  curveUpdateLengths(c);
  return c;
}

int curveEvalAt(const CurveRec* curve, double t, Vec2d* p, double* z) {
  if (curve == nullptr || curve->count <= 0 || curve->points == nullptr) return -1;
  if (!(t >= curve->t0 - kCurveTol && t <= curve->t1 + kCurveTol)) return -1;
  const int n = curve->count;
  if (curve->t1 - curve->t0 < kCurveTol) {
    *p = curve->points[n - 1];
    if (z != nullptr && curve->z != nullptr) *z = curve->z[n - 1];
    return n - 1;
  }
  // First vertex from 1 on whose parameter exceeds t - tol (lengths ascend).
  const double* first = curve->lengths + 1;
  const double* last = curve->lengths + n;
  const double* hit = std::upper_bound(first, last, t - kCurveTol);
  if (hit == last) return -1;
  const int seg = static_cast<int>(hit - curve->lengths) - 1;
  pointOnSegment(curve, seg, t, p, z);
  return seg;
}

int curveEvalAt3d(const CurveRec* curve, double t, Vec3d* p) {
  if (curve == nullptr || curve->z == nullptr) return -1;
  Vec2d q;
  double z = 0.0;
  const int seg = curveEvalAt(curve, t, &q, &z);
  if (seg < 0) return -1;
  *p = Vec3d{q.x, q.y, z};
  return seg;
}

int curveTangentAt(const CurveRec* curve, double t, double dir[2]) {
  if (curve == nullptr || curve->count < 2 || curve->t1 - curve->t0 < kCurveTol) return -1;
  t = std::clamp(t, curve->t0, curve->t1);
  Vec2d p;
  const int seg = curveEvalAt(curve, t, &p, nullptr);
  if (seg < 0) return -1;
  double dx;
  double dy;
  if (t >= curve->t1 - kCurveTol) {
    // At the end: from the last earlier vertex that differs from the end
    // point, so that repeated end vertices and 2-point curves still answer.
    int k = std::min(seg, curve->count - 1);
    while (k >= 0 && samePlanPoint(curve->points[k], p)) --k;
    if (k < 0) return -1;
    dx = p.x - curve->points[k].x;
    dy = p.y - curve->points[k].y;
  } else {
    int k = seg + 1;
    while (k < curve->count && samePlanPoint(curve->points[k], p)) ++k;
    if (k >= curve->count) return -1;
    dx = curve->points[k].x - p.x;
    dy = curve->points[k].y - p.y;
  }
  const double len = std::hypot(dx, dy);
  if (len < kCurveTol) return -1;
  dir[0] = dx / len;
  dir[1] = dy / len;
  return 1;
}

int curveTangentAt3d(const CurveRec* curve, double t, Vec3d* dir) {
  if (curve == nullptr || curve->count < 2 || curve->z == nullptr) return -1;
  if (curve->t1 - curve->t0 < kCurveTol) {
    // A line that does not advance in plan: only its start has a direction.
    if (std::fabs(t - curve->t0) > kCurveTol) return -1;
    const Vec3d v{curve->points[1].x - curve->points[0].x, curve->points[1].y - curve->points[0].y,
                  curve->z[1] - curve->z[0]};
    return unit3(v, dir) ? 1 : -1;
  }
  t = std::clamp(t, curve->t0, curve->t1);
  Vec3d c;
  if (curveEvalAt3d(curve, t, &c) < 0) return -1;
  Vec3d back{};
  Vec3d ahead{};
  bool haveBack = false;
  bool haveAhead = false;
  const double tb = std::max(t - kCurveTangentSampleStep, curve->t0);
  if (tb < t - kCurveTol) {
    Vec3d b;
    if (curveEvalAt3d(curve, tb, &b) >= 0) {
      haveBack = unit3(Vec3d{c.x - b.x, c.y - b.y, c.z - b.z}, &back);
    }
  }
  const double tf = std::min(t + kCurveTangentSampleStep, curve->t1);
  if (tf > t + kCurveTol) {
    Vec3d f;
    if (curveEvalAt3d(curve, tf, &f) >= 0) {
      haveAhead = unit3(Vec3d{f.x - c.x, f.y - c.y, f.z - c.z}, &ahead);
    }
  }
  if (haveBack && haveAhead) {
    return unit3(Vec3d{back.x + ahead.x, back.y + ahead.y, back.z + ahead.z}, dir) ? 1 : -1;
  }
  if (haveBack) {
    *dir = back;
    return 1;
  }
  if (haveAhead) {
    *dir = ahead;
    return 1;
  }
  return -1;
}

double curveLength3d(const CurveRec* curve) {
  if (curve == nullptr || curve->points == nullptr) return 0.0;
  double total = 0.0;
  for (int i = 1; i < curve->count; ++i) {
    const double dx = curve->points[i].x - curve->points[i - 1].x;
    const double dy = curve->points[i].y - curve->points[i - 1].y;
    const double dz = curve->z != nullptr ? curve->z[i] - curve->z[i - 1] : 0.0;
    total += std::sqrt(dx * dx + dy * dy + dz * dz);
  }
  return total;
}

int curveIsClosed(const CurveRec* curve) {
  if (curve == nullptr || curve->count <= 0 || curve->points == nullptr) return 0;
  return samePlanPoint(curve->points[0], curve->points[curve->count - 1]) ? 1 : 0;
}

void curveReverse(CurveRec* curve) {
  if (curve == nullptr || curve->count <= 0) return;
  const int n = curve->count;
  std::reverse(curve->points, curve->points + n);
  if (curve->z != nullptr) std::reverse(curve->z, curve->z + n);
  std::reverse(curve->lengths, curve->lengths + n);
  const double sum = curve->t0 + curve->t1;
  for (int i = 0; i < n; ++i) curve->lengths[i] = sum - curve->lengths[i];
}

Seg2* curveToSeg2(const CurveRec* curve, int minCap, int* segCount) {
  const int n = curve->count;
  const int cap = std::max({minCap, n, 1});
  auto* segs = static_cast<Seg2*>(std::calloc(cap, sizeof(Seg2)));
  if (segs == nullptr) return nullptr;
  const int m = std::max(n - 1, 0);
  for (int k = 0; k < m; ++k) {
    segs[k] = Seg2{curve->points[k].x, curve->points[k].y, curve->points[k + 1].x,
                   curve->points[k + 1].y};
  }
  *segCount = m;
  return segs;
}

int curveSetPoints(CurveRec* curve, const Seg2* segs, int n) {
  if (curve == nullptr || segs == nullptr || n < 1) return -1;
  auto* points = static_cast<Vec2d*>(std::malloc(sizeof(Vec2d) * (n + 1)));
  auto* lengths = static_cast<double*>(std::malloc(sizeof(double) * (n + 1)));
  if (points == nullptr || lengths == nullptr) {
    std::free(points);
    std::free(lengths);
    return -1;
  }
  points[0] = Vec2d{segs[0].x0, segs[0].y0};
  for (int k = 0; k < n; ++k) points[k + 1] = Vec2d{segs[k].x1, segs[k].y1};
  if (curve->ownsPoints) std::free(curve->points);
  std::free(curve->z);
  std::free(curve->lengths);
  curve->z = nullptr;
  curve->points = points;
  curve->lengths = lengths;
  curve->count = n + 1;
  // The new array is made here and shared with nobody: the curve owns it.
  curve->ownsPoints = 1;
  curve->t0 = 0.0;
  curveUpdateLengths(curve);
  return 0;
}
