#include "geometry/pline/pline_copies.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "base/memory.h"
#include "base/tolerances.h"

namespace {

int codeAt(const Pline* pl, int i) { return pointStatusCode(pl->status[i]); }

// Copies the points of src whose status code is not in the skipped ones
// into fresh arrays, then hands those to dst (see plineCopyCompacted).
int copyFiltered(const Pline* src, Pline* dst, bool skipGaps) {
  if (src == nullptr || dst == nullptr) return -1;
  const bool withAxes = src->axes != nullptr && src->flags != nullptr;
  Pline* tmp = plineNew(src->count, withAxes ? 1 : 0);
  if (tmp == nullptr || (withAxes && tmp->axes == nullptr)) {
    plineFree(tmp);
    return -1;
  }
  int n = 0;
  for (int i = 0; i < src->count; ++i) {
    const int c = codeAt(src, i);
    if (c == kPointDropped || (skipGaps && c == kPointGap)) continue;
    tmp->points[n] = src->points[i];
    tmp->params[n] = src->params[i];
    tmp->status[n] = src->status[i];
    if (withAxes) {
      tmp->axes[n] = src->axes[i];
      tmp->flags[n] = src->flags[i];
    }
    ++n;
  }
  const int tag = src->tag;
  // dst takes the new arrays; its old ones leave with tmp.
  std::swap(dst->points, tmp->points);
  std::swap(dst->params, tmp->params);
  std::swap(dst->status, tmp->status);
  std::swap(dst->axes, tmp->axes);
  std::swap(dst->flags, tmp->flags);
  dst->capacity = tmp->capacity;
  dst->count = n;
  dst->tag = tag;
  plineFree(tmp);
  return 1;
}

// The point on segment s at t (see plinePointAtParam).
int pointOnSegment(const Pline* pl, int s, double t, Vec3d* out) {
  const Vec3d& a = pl->points[s];
  const Vec3d& b = pl->points[s + 1];
  const double span = pl->params[s + 1] - pl->params[s];
  if (std::fabs(t - pl->params[s]) < kGeoEqualTol || span == 0.0) {
    *out = a;
  } else {
    const double f = (t - pl->params[s]) / span;
    *out = {a.x + f * (b.x - a.x), a.y + f * (b.y - a.y), a.z + f * (b.z - a.z)};
  }
  return s;
}

double length3(const Vec3d& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

template <typename T>
void compactArray(T* a, const std::uint8_t* marked, int count) {
  if (a == nullptr) return;
  int n = 0;
  for (int i = 0; i < count; ++i) {
    if (!marked[i]) a[n++] = a[i];
  }
}

}  // namespace

int plineCopyCompacted(const Pline* src, Pline* dst) { return copyFiltered(src, dst, false); }

int plineCopyUnmarked(const Pline* src, Pline* dst) { return copyFiltered(src, dst, true); }

int plinePointAtParamFromStart(const Pline* pl, double t, Vec3d* out) {
  if (pl == nullptr || pl->count < 1 || std::isnan(t)) return -1;
  if (pl->count == 1) {
    *out = pl->points[0];
    return 0;
  }
  const double g = t - kGeoEqualTol;
  const double* b = pl->params + 1;
  const double* e = pl->params + pl->count;
  const double* it = std::partition_point(b, e, [g](double p) { return !(p > g); });
  const int i = it == e ? pl->count - 1 : static_cast<int>(it - pl->params);
  return pointOnSegment(pl, i - 1, t, out);
}

int plinePointAtParamFromEnd(const Pline* pl, double t, Vec3d* out) {
  if (pl == nullptr || pl->count < 1 || std::isnan(t)) return -1;
  if (pl->count == 1) {
    *out = pl->points[0];
    return 0;
  }
  const double g = t + kGeoEqualTol;
  const double* b = pl->params;
  const double* e = pl->params + pl->count - 1;  // indices 0 .. count-2
  const double* it = std::partition_point(b, e, [g](double p) { return p < g; });
  const int k = it == b ? 0 : static_cast<int>(it - b) - 1;
  return pointOnSegment(pl, k, t, out);
}

int plinePointAtParam(const Pline* pl, double t, Vec3d* out) {
  if (pl == nullptr || pl->count < 1 || std::isnan(t)) return -1;
  const double first = pl->params[0];
  const double last = pl->params[pl->count - 1];
  return last - t < t - first ? plinePointAtParamFromEnd(pl, t, out)
                              : plinePointAtParamFromStart(pl, t, out);
}

int plineSpikePass(Pline* pl) {
  if (pl == nullptr) return 0;
  const int count = pl->count;
  if (count < 5) return count;
  auto* marked = static_cast<std::uint8_t*>(memAllocZeroed(static_cast<std::size_t>(count)));
  if (marked == nullptr) return count;
  int removed = 0;
  for (int j = 2; j <= count - 3; ++j) {
    if (codeAt(pl, j - 1) == kPointGap || codeAt(pl, j) == kPointGap ||
        codeAt(pl, j + 1) == kPointGap) {
      continue;
    }
    const Vec3d& p = pl->points[j - 1];
    const Vec3d& q = pl->points[j];
    const Vec3d& r = pl->points[j + 1];
    const Vec3d in{q.x - p.x, q.y - p.y, q.z - p.z};
    const Vec3d out{r.x - q.x, r.y - q.y, r.z - q.z};
    const double li = length3(in);
    const double lo = length3(out);
    if (li < kGeoEqualTol || lo < kGeoEqualTol) continue;
    if ((in.x * out.x + in.y * out.y + in.z * out.z) / (li * lo) < kPlineSpikeDot) {
      marked[j] = 1;
      ++removed;
    }
  }
  if (removed > 0) {
    compactArray(pl->points, marked, count);
    compactArray(pl->params, marked, count);
    compactArray(pl->status, marked, count);
    compactArray(pl->axes, marked, count);
    compactArray(pl->flags, marked, count);
    pl->count = count - removed;
  }
  memFree(marked);
  return pl->count;
}

void plineRemoveSpikes(Pline* pl) {
  if (pl == nullptr) return;
  int before = pl->count;
  while (plineSpikePass(pl) != before) before = pl->count;
}
