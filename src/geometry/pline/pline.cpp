#include "geometry/pline/pline.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstring>

#include "base/memory.h"
#include "base/tolerances.h"
#include "geometry/primitives/mat4.h"
#include "geometry/primitives/primitives.h"

namespace {

// Per-thread search state: the last index found by plineFindParam (the next
// search tries the point after it first) and the point found or made by the
// last plineSplitAtParam.  Per thread, because the drops and the holder
// checks run these searches on their own Plines from OpenMP workers.
thread_local int tFindHint = -1;
thread_local int tSplitIndex = -1;

constexpr Vec3d kDefaultAxis{0.0, 0.0, 1.0};

// Downward climbing: a rising stretch whose summed |dz| stays below this is
// cut anyway, and a cutting run shorter than this (3D) is not cut.
constexpr double kPlineClimbRiseLimit = 1.0;
constexpr double kPlineClimbShortRun = 1.0;

double dist3(const Vec3d& a, const Vec3d& b) { return ptDistance3d(&a, &b); }

Vec3d lerp3(const Vec3d& a, const Vec3d& b, double f) {
  return {a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f};
}

int codeAt(const Pline* pl, int i) { return pointStatusCode(pl->status[i]); }

bool isDescending(const Pline* pl) {
  return pl->count >= 2 && pl->params[pl->count - 1] < pl->params[0];
}

// The status word as stored: a gap never keeps a kind byte.
PointStatus storedStatus(int status) {
  const PointStatus s = static_cast<PointStatus>(status & 0xffff);
  return pointStatusCode(s) == kPointGap ? pointStatusMake(kPointKindNoContact, kPointGap) : s;
}

// Resizes one array to n elements; on success stores the new block.
template <typename T>
bool resizeArray(T** array, int n) {
  void* p = memResize(*array, static_cast<std::size_t>(n) * sizeof(T));
  if (p == nullptr) return false;
  *array = static_cast<T*>(p);
  return true;
}

// Grows a full Pline by half its capacity (at least one point).  Every array
// is resized before the capacity is raised, so a failure leaves a Pline whose
// arrays still hold at least `capacity` points: unchanged and usable.
bool plineGrow(Pline* pl) {
  if (pl->capacity >= INT_MAX) return false;
  long long want = static_cast<long long>(pl->capacity * 1.5);
  if (want < static_cast<long long>(pl->capacity) + 1) want = pl->capacity + 1;
  if (want > INT_MAX) want = INT_MAX;
  const int n = static_cast<int>(want);
  if (!resizeArray(&pl->points, n) || !resizeArray(&pl->params, n) ||
      !resizeArray(&pl->status, n)) {
    return false;
  }
  if (pl->axes != nullptr && !resizeArray(&pl->axes, n)) return false;
  if (pl->flags != nullptr && !resizeArray(&pl->flags, n)) return false;
  pl->capacity = n;
  return true;
}

// Moves the entries i..count-1 of one array up by one.
template <typename T>
void openSlot(T* array, int i, int count) {
  if (count > i) std::memmove(array + i + 1, array + i, sizeof(T) * (count - i));
}

// Stores one point at index i (0 <= i <= count), growing when full.
int plineStoreAt(Pline* pl, int i, double param, const Vec3d* point, int status, const Vec3d* axis,
                 int flag) {
  assert(i >= 0 && i <= pl->count);
  // Copies first: the caller may pass a point or axis of this very Pline,
  // which growing or shifting would move.
  const Vec3d newPoint = *point;
  const Vec3d newAxis = axis != nullptr ? *axis : kDefaultAxis;
  if (pl->count >= pl->capacity && !plineGrow(pl)) return -1;
  const int n = pl->count;
  openSlot(pl->points, i, n);
  openSlot(pl->params, i, n);
  openSlot(pl->status, i, n);
  pl->points[i] = newPoint;
  pl->params[i] = param;
  pl->status[i] = storedStatus(status);
  if (pl->axes != nullptr) {
    openSlot(pl->axes, i, n);
    pl->axes[i] = newAxis;
  }
  if (pl->flags != nullptr) {
    openSlot(pl->flags, i, n);
    pl->flags[i] = static_cast<std::uint8_t>(flag);
  }
  pl->count = n + 1;
  return i;
}

// First index in [from, count) whose parameter lies beyond g in the
// parameter direction (above g when ascending, below when descending), or
// -1.  The parameters are monotone in that direction, so a bisection finds
// the same index as a forward scan.
int firstBeyond(const Pline* pl, int from, double g, bool descending) {
  const double* b = pl->params + from;
  const double* e = pl->params + pl->count;
  const double* it = descending ? std::partition_point(b, e, [g](double p) { return !(p < g); })
                                : std::partition_point(b, e, [g](double p) { return !(p > g); });
  return it == e ? -1 : static_cast<int>(it - pl->params);
}

template <typename T>
void reverseArray(T* array, int n) {
  if (array != nullptr) std::reverse(array, array + n);
}

// One rotation step of a closed line, applied n times at once: entries
// 1..count-1 become the cycle, the old first entry (a duplicate of the last)
// is dropped and the new last entry repeats the new first.
template <typename T>
void rotateClosed(T* a, int count, int n) {
  if (a == nullptr) return;
  std::rotate(a + 1, a + n, a + count);
  std::memmove(a, a + 1, sizeof(T) * (count - 1));
  a[count - 1] = a[0];
}

template <typename T>
void dropFirst(T* a, int count, int n) {
  if (a != nullptr) std::memmove(a, a + n, sizeof(T) * (count - n));
}

// Sets the status code of every point in [from, to) whose code is `code`
// to `newCode`.
void recode(Pline* pl, int from, int to, int code, int newCode) {
  for (int i = from; i < to; ++i) {
    if (codeAt(pl, i) == code) pl->status[i] = pointStatusWithCode(pl->status[i], newCode);
  }
}

void setCode(Pline* pl, int i, int code) {
  pl->status[i] = pointStatusWithCode(pl->status[i], code);
}

void climbUpward(Pline* pl) {
  const int n = pl->count;
  // Within each run z never decreases.
  double top = 0.0;
  for (int i = 0; i < n; ++i) {
    if (codeAt(pl, i) == kPointGap) continue;
    const bool runStart = (i == 0) || codeAt(pl, i - 1) == kPointGap;
    if (runStart || pl->points[i].z > top) {
      top = pl->points[i].z;
    } else {
      pl->points[i].z = top;
    }
  }
  // Only the first cutting run stays: everything after its closing gap
  // becomes gap.
  int first = 0;
  while (first < n && (codeAt(pl, first) == kPointGap || codeAt(pl, first) == kPointDropped)) {
    ++first;
  }
  int end = first + 1;
  while (end < n && codeAt(pl, end) != kPointGap) ++end;
  for (int i = end + 1; i < n; ++i) setCode(pl, i, kPointGap);
}

void climbDownward(Pline* pl) {
  const int n = pl->count;
  Vec3d* p = pl->points;
  // 1. Mark the points from which the path rises; a run end that follows a
  // rise (or stands alone) becomes a gap.  The counter is not reset at gaps.
  int since = 0;
  for (int i = 0; i < n; ++i) {
    if (codeAt(pl, i) == kPointGap) continue;
    if (i == n - 1 || codeAt(pl, i + 1) == kPointGap) {
      if (since == 0) setCode(pl, i, kPointGap);
      since = 0;
    } else if (p[i + 1].z > p[i].z + kGeoEqualTol) {
      setCode(pl, i, kPointRisingMark);
      since = 0;
    } else {
      ++since;
    }
  }
  // 2. Rising stretches inside the line whose total rise stays below the
  // limit are cut after all.
  for (int i = 1; i <= n - 2;) {
    if (codeAt(pl, i) != kPointRisingMark) {
      ++i;
      continue;
    }
    int e = i;
    while (e + 1 <= n - 2 && codeAt(pl, e + 1) == kPointRisingMark) ++e;
    double rise = 0.0;
    for (int k = i; k <= e + 1; ++k) rise += std::fabs(p[k].z - p[k - 1].z);
    if (rise < kPlineClimbRiseLimit) recode(pl, i, e + 1, kPointRisingMark, kPointCut);
    i = e + 1;
  }
  // 3. Cutting pieces shorter than the limit are not worth a descent.
  for (int i = 0; i < n;) {
    const int c = codeAt(pl, i);
    if (c == kPointGap || c == kPointRisingMark) {
      ++i;
      continue;
    }
    int e = i;
    double length = 0.0;
    while (e + 1 < n && codeAt(pl, e + 1) != kPointGap && codeAt(pl, e + 1) != kPointRisingMark) {
      length += dist3(p[e], p[e + 1]);
      ++e;
    }
    if (length < kPlineClimbShortRun) {
      for (int k = i; k <= e; ++k) setCode(pl, k, kPointRisingMark);
    }
    i = e + 1;
  }
  // 4. What is marked now is not cut.
  recode(pl, 0, n, kPointRisingMark, kPointGap);
}

}  // namespace

Pline* plineNew(int capacity, int withAxes) {
  if (capacity < 0) return nullptr;
  auto* pl = static_cast<Pline*>(memAllocZeroed(sizeof(Pline)));
  if (pl == nullptr) return nullptr;
  // Room for at least one point, so that null always means failure.
  const std::size_t n = static_cast<std::size_t>(capacity > 0 ? capacity : 1);
  pl->capacity = capacity;
  pl->params = static_cast<double*>(memAllocZeroed(n * sizeof(double)));
  pl->status = static_cast<PointStatus*>(memAllocZeroed(n * sizeof(PointStatus)));
  pl->points = static_cast<Vec3d*>(memAllocZeroed(n * sizeof(Vec3d)));
  bool ok = pl->params != nullptr && pl->status != nullptr && pl->points != nullptr;
  if (ok && withAxes != 0) {
    pl->flags = static_cast<std::uint8_t*>(memAllocZeroed(n));
    ok = pl->flags != nullptr;
    if (ok) {
      pl->axes = static_cast<Vec3d*>(memAllocZeroed(n * sizeof(Vec3d)));
      if (pl->axes == nullptr) {
        // Axes are optional: the Pline is still useful without them.
        memFree(pl->flags);
        pl->flags = nullptr;
      }
    }
  }
  if (!ok) {
    plineFree(pl);
    return nullptr;
  }
  return pl;
}

Pline* plineNewCapped(int capacity, int withAxes) {
  const int capped = std::min(capacity, kPlineCapacityCap);
  Pline* pl = plineNew(capped, withAxes);
  if (pl == nullptr) pl = plineNew(std::max(capped / 10, 1), withAxes);
  return pl;
}

int plineFree(Pline* pl) {
  if (pl == nullptr) return 0;
  memFree(pl->points);
  memFree(pl->axes);
  memFree(pl->flags);
  memFree(pl->status);
  memFree(pl->params);
  memFree(pl);
  return 1;
}

int InsertPline(Pline* pl, double param, const Vec3d* point, int status, const Vec3d* axis,
                int flag) {
  if (pl == nullptr) return -1;
  const bool descending = isDescending(pl);
  const double g = param - kGeoEqualTol;
  int i = pl->count - 1;
  if (descending) {
    while (i >= 0 && !(pl->params[i] > g)) --i;
  } else {
    while (i >= 0 && !(pl->params[i] < g)) --i;
  }
  return plineStoreAt(pl, i + 1, param, point, status, axis, flag);
}

int plineInsertBisect(Pline* pl, double param, const Vec3d* point, int status, const Vec3d* axis,
                      int flag) {
  if (pl == nullptr) return -1;
  const int n = pl->count;
  if (n == 0) return plineStoreAt(pl, 0, param, point, status, axis, flag);
  const bool descending = isDescending(pl);
  const double* p = pl->params;
  const bool beyondLast = descending ? param < p[n - 1] : param > p[n - 1];
  if (beyondLast) return plineStoreAt(pl, n, param, point, status, axis, flag);
  // A parameter before the first point goes in front of it: inserting behind
  // it would break the order that every search relies on.
  const bool beforeFirst = descending ? param > p[0] : param < p[0];
  if (beforeFirst) return plineStoreAt(pl, 0, param, point, status, axis, flag);
  int lo = 0;
  int hi = n - 1;
  while (hi - lo > 1) {
    const int mid = lo + (hi - lo) / 2;
    const bool below = descending ? param > p[mid] : param < p[mid];
    if (below) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return plineStoreAt(pl, lo + 1, param, point, status, axis, flag);
}

int plineAppend(Pline* pl, double param, const Vec3d* point, int status, const Vec3d* axis,
                int flag) {
  if (pl == nullptr) return -1;
  return plineStoreAt(pl, pl->count, param, point, status, axis, flag);
}

int plineFindParam(Pline* pl, double param, Vec3d* point, Vec3d* axis, int* hasAxis) {
  if (pl == nullptr || pl->count <= 0) return -1;
  const int n = pl->count;
  const double* p = pl->params;
  const auto within = [param](double v) { return std::fabs(v - param) < kGeoEqualTol; };
  int found = -1;
  const int hint = (tFindHint + 1) % n;
  if (hint >= 0 && within(p[hint])) {
    found = hint;
  } else if (!isDescending(pl)) {
    // The highest index within the tolerance: bisect for the last parameter
    // that is not at or above param + tolerance.
    const double* it =
        std::partition_point(p, p + n, [param](double v) { return v - param < kGeoEqualTol; });
    const int k = static_cast<int>(it - p) - 1;
    if (k >= 0 && within(p[k])) found = k;
  } else {
    // Descending parameters: scan back from the end until a parameter lies
    // below the searched one.
    for (int i = n - 1; i >= 0; --i) {
      if (within(p[i])) {
        found = i;
        break;
      }
      if (p[i] < param - kGeoEqualTol) break;
    }
  }
  tFindHint = found;
  if (found >= 0) {
    if (point != nullptr) *point = pl->points[found];
    const bool withAxis = pl->axes != nullptr && pl->flags != nullptr;
    if (withAxis && axis != nullptr) *axis = pl->axes[found];
    if (hasAxis != nullptr) *hasAxis = withAxis ? 1 : 0;
  }
  return found;
}

int plineIsRunEnd(const Pline* pl, int i) {
  if (pl == nullptr || i >= pl->count - 1) return 1;
  if (i < -1) return 0;
  return codeAt(pl, i + 1) == kPointGap ? 1 : 0;
}

int plineIsBreakBetween(const Pline* pl, int i, int j) {
  if (pl == nullptr || i < 0 || j < 0 || i >= pl->count || j >= pl->count) return 0;
  const int a = codeAt(pl, i);
  const int b = codeAt(pl, j);
  if ((a == kPointGap) != (b == kPointGap)) return 1;
  if ((a == kPointGapCandidate) != (b == kPointGapCandidate)) return 1;
  return 0;
}

double plineCutLength(const Pline* pl) {
  if (pl == nullptr) return 0.0;
  double length = 0.0;
  for (int i = 1; i < pl->count; ++i) {
    if (codeAt(pl, i - 1) != kPointGap && codeAt(pl, i) != kPointGap) {
      length += dist3(pl->points[i - 1], pl->points[i]);
    }
  }
  return length;
}

int plinePointAtParamFwd(const Pline* pl, double param, Vec3d* out) {
  if (pl == nullptr || pl->count <= 0) return -1;
  const int n = pl->count;
  const double* p = pl->params;
  if (!(param >= p[0]) || param > p[n - 1] + kGeoEqualTol) return -1;
  // A single point has no segment: it is the answer for its own parameter.
  if (n == 1) {
    *out = pl->points[0];
    return 0;
  }
  int i = firstBeyond(pl, 1, param - kGeoEqualTol, isDescending(pl));
  if (i < 0) i = n - 1;
  if (std::fabs(param - p[i - 1]) < kGeoEqualTol) {
    *out = pl->points[i - 1];
  } else {
    const double span = p[i] - p[i - 1];
    const double f = span != 0.0 ? (param - p[i - 1]) / span : 0.0;
    *out = lerp3(pl->points[i - 1], pl->points[i], f);
  }
  return i - 1;
}

int plineAxisAtParam(const Pline* pl, double param, Vec3d* point, Vec3d* axis) {
  if (pl == nullptr || pl->axes == nullptr) return -1;
  const int i = plinePointAtParamFwd(pl, param, point);
  if (i < 0) return -1;
  const Vec3d& a = pl->axes[i];
  if (i >= pl->count - 1) {
    *axis = a;
    return 1;
  }
  const Vec3d& b = pl->axes[i + 1];
  const double span = pl->params[i + 1] - pl->params[i];
  // Two points at the same parameter: keep the first axis instead of
  // dividing by zero.
  const double f = span != 0.0 ? (param - pl->params[i]) / span : 0.0;
  const double angle = geoAcosClamped(a.x * b.x + a.y * b.y + a.z * b.z);
  vec3TiltToward(axis, &a, &b, f * angle);
  return 1;
}

int plineGapUnflagged(Pline* pl) {
  if (pl == nullptr) return 0;
  for (int i = 0; i < pl->count; ++i) {
    if (pointStatusKind(pl->status[i]) == kPointKindNoContact) setCode(pl, i, kPointGap);
  }
  return pl->count;
}

void plineBridgeShortGaps(Pline* pl, double maxGap) {
  if (pl == nullptr) return;
  const int n = pl->count;
  const auto solid = [pl](int i) {
    const int c = codeAt(pl, i);
    return pointStatusKind(pl->status[i]) != kPointKindNoContact && c != kPointGap &&
           c != kPointGapCandidate;
  };
  int prevSolid = -1;
  for (int i = 0; i < n;) {
    if (solid(i)) {
      prevSolid = i;
      ++i;
      continue;
    }
    // One decision for the whole stretch of non-solid points.
    int next = i + 1;
    while (next < n && !solid(next)) ++next;
    const bool bridge =
        prevSolid >= 0 && next < n && dist3(pl->points[prevSolid], pl->points[next]) < maxGap;
    recode(pl, i, next, kPointGapCandidate, bridge ? kPointBridged : kPointGap);
    i = next;
  }
}

void plineApplyClimbMode(Pline* pl, int mode) {
  if (pl == nullptr || pl->count == 0) return;
  if (mode == kPlineClimbUpward) {
    climbUpward(pl);
  } else if (mode == kPlineClimbDownward) {
    climbDownward(pl);
  }
}

int plineReverse(Pline* pl) {
  if (pl == nullptr) return 0;
  const int n = pl->count;
  reverseArray(pl->points, n);
  reverseArray(pl->params, n);
  reverseArray(pl->status, n);
  reverseArray(pl->axes, n);
  reverseArray(pl->flags, n);
  if (pl->tag != 0) pl->tag = -pl->tag;
  return pl->tag;
}

void plineShiftStart(Pline* pl, int n) {
  if (pl == nullptr || n <= 0 || n >= pl->count) return;
  const int count = pl->count;
  if (dist3(pl->points[0], pl->points[count - 1]) < kPlineClosedTol) {
    rotateClosed(pl->points, count, n);
    rotateClosed(pl->params, count, n);
    rotateClosed(pl->status, count, n);
    rotateClosed(pl->axes, count, n);
    rotateClosed(pl->flags, count, n);
  } else {
    dropFirst(pl->points, count, n);
    dropFirst(pl->params, count, n);
    dropFirst(pl->status, count, n);
    dropFirst(pl->axes, count, n);
    dropFirst(pl->flags, count, n);
    pl->count = count - n;
  }
}

int plineCopy(Pline* dst, const Pline* src) {
  if (dst == nullptr || src == nullptr || dst == src) return -1;
  dst->count = 0;
  dst->tag = src->tag;
  for (int i = 0; i < src->count; ++i) {
    const Vec3d* axis = src->axes != nullptr ? &src->axes[i] : &kDefaultAxis;
    const int flag = src->flags != nullptr ? src->flags[i] : 0;
    if (plineStoreAt(dst, i, src->params[i], &src->points[i], src->status[i], axis, flag) < 0) {
      return -1;
    }
  }
  return 1;
}

int plineCopyRange(Pline* dst, const Pline* src, int from, int to) {
  if (dst == nullptr || src == nullptr || dst == src) return -1;
  if (from < 0 || to >= src->count || from > to) return -1;
  dst->count = 0;
  dst->tag = src->tag;
  // The points are copied in their order.  Placing them by parameter would
  // swap points whose parameters agree within the tolerance (a plunge and the
  // point above it, for example) and so change the path.
  for (int i = from; i <= to; ++i) {
    const Vec3d* axis = src->axes != nullptr ? &src->axes[i] : nullptr;
    const int flag = src->flags != nullptr ? src->flags[i] : 0;
    if (plineStoreAt(dst, dst->count, src->params[i], &src->points[i], src->status[i], axis, flag) <
        0) {
      return -1;
    }
  }
  return 1;
}

int plineSplitAtParam(Pline* pl, double param, double tol) {
  tSplitIndex = -1;
  if (pl == nullptr || pl->count < 2 || std::isnan(param)) return -1;
  const double* p = pl->params;
  const int i = firstBeyond(pl, 1, param - kGeoEqualTol, isDescending(pl));
  if (i < 0 || std::fabs(p[i] - p[i - 1]) < kGeoEqualTol) return -1;
  if (std::fabs(param - p[i - 1]) < tol) {
    tSplitIndex = i - 1;
    return 0;
  }
  if (std::fabs(p[i] - param) < tol) {
    tSplitIndex = i;
    return 0;
  }
  const Vec3d point =
      lerp3(pl->points[i - 1], pl->points[i], (param - p[i - 1]) / (p[i] - p[i - 1]));
  const int status = pointStatusMake(kPointKindContact, codeAt(pl, 0));
  const int k = InsertPline(pl, param, &point, status, nullptr, 1);
  if (k < 0) return -1;
  tSplitIndex = k;
  return 1;
}

int plineSplitIndex() { return tSplitIndex; }

void plineArcLengthParams(Pline* pl) {
  if (pl == nullptr || pl->count == 0) return;
  pl->params[0] = 0.0;
  for (int i = 1; i < pl->count; ++i) {
    pl->params[i] = pl->params[i - 1] + dist3(pl->points[i - 1], pl->points[i]);
  }
}

int plineDensify(Pline* pl, double step) {
  if (pl == nullptr) return -1;
  if (!(std::fabs(step) >= kGeoEqualTol)) return 0;
  plineArcLengthParams(pl);
  const int n = pl->count;
  // Points each original segment receives (0 for gaps and short segments).
  const auto piecesOf = [pl, step](int i) -> double {
    if (codeAt(pl, i - 1) == kPointGap || codeAt(pl, i) == kPointGap) return 0.0;
    const double length = dist3(pl->points[i - 1], pl->points[i]);
    if (!(length >= step + kGeoEqualTol)) return 0.0;
    const double q = length / step;
    return q >= 1.0 ? std::floor(q) : 0.0;
  };
  long long extra = 0;
  for (int i = 1; i < n; ++i) {
    const double k = piecesOf(i);
    // An absurd step would ask for more points than an int can count.
    if (k > static_cast<double>(INT_MAX - n)) return -1;
    extra += static_cast<long long>(k);
    if (extra > static_cast<long long>(INT_MAX - n)) return -1;
  }
  if (extra == 0) return 1;

  // The result is built in new arrays in one pass; each new point goes where
  // InsertPline would put it, found by the same backward scan (which only
  // ever passes points within the tolerance).  The old arrays are released
  // only once all new ones exist, so a failure leaves the Pline as it was.
  const int total = n + static_cast<int>(extra);
  const int cap = std::max(total, pl->capacity);
  const std::size_t un = static_cast<std::size_t>(cap);
  auto* points = static_cast<Vec3d*>(memAllocZeroed(un * sizeof(Vec3d)));
  auto* params = static_cast<double*>(memAllocZeroed(un * sizeof(double)));
  auto* status = static_cast<PointStatus*>(memAllocZeroed(un * sizeof(PointStatus)));
  Vec3d* axes =
      pl->axes != nullptr ? static_cast<Vec3d*>(memAllocZeroed(un * sizeof(Vec3d))) : nullptr;
  auto* flags = pl->flags != nullptr ? static_cast<std::uint8_t*>(memAllocZeroed(un)) : nullptr;
  if (points == nullptr || params == nullptr || status == nullptr ||
      (pl->axes != nullptr && axes == nullptr) || (pl->flags != nullptr && flags == nullptr)) {
    memFree(points);
    memFree(params);
    memFree(status);
    memFree(axes);
    memFree(flags);
    return -1;
  }
  int w = 0;
  const auto put = [&](int at, const Vec3d& pt, double t, PointStatus st, const Vec3d& ax,
                       std::uint8_t fl) {
    openSlot(points, at, w);
    openSlot(params, at, w);
    openSlot(status, at, w);
    points[at] = pt;
    params[at] = t;
    status[at] = st;
    if (axes != nullptr) {
      openSlot(axes, at, w);
      axes[at] = ax;
    }
    if (flags != nullptr) {
      openSlot(flags, at, w);
      flags[at] = fl;
    }
    ++w;
  };
  const auto copyOld = [&](int i) {
    put(w, pl->points[i], pl->params[i], pl->status[i],
        pl->axes != nullptr ? pl->axes[i] : kDefaultAxis,
        pl->flags != nullptr ? pl->flags[i] : std::uint8_t{0});
  };
  copyOld(0);
  for (int i = 1; i < n; ++i) {
    const int pieces = static_cast<int>(piecesOf(i)) + 1;
    const int code = (codeAt(pl, i - 1) == kPointSpecial || codeAt(pl, i) == kPointSpecial)
                         ? kPointSpecial
                         : kPointCut;
    const PointStatus st = pointStatusMake(kPointKindContact, code);
    const double t0 = pl->params[i - 1];
    const double span = pl->params[i] - t0;
    for (int k = 1; k < pieces; ++k) {
      const double f = static_cast<double>(k) / pieces;
      const double t = t0 + span * f;
      const double g = t - kGeoEqualTol;
      int at = w;
      while (at > 0 && !(params[at - 1] < g)) --at;
      put(at, lerp3(pl->points[i - 1], pl->points[i], f), t, st, kDefaultAxis, 1);
    }
    copyOld(i);
  }
  memFree(pl->points);
  memFree(pl->params);
  memFree(pl->status);
  memFree(pl->axes);
  memFree(pl->flags);
  pl->points = points;
  pl->params = params;
  pl->status = status;
  pl->axes = axes;
  pl->flags = flags;
  pl->count = total;
  pl->capacity = cap;
  return 1;
}
