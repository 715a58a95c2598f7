#include "geometry/offset2d/planar_offset.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/tolerances.h"
#include "geometry/offset2d/offset_loops.h"
#include "geometry/offset2d/seg2_crossings.h"
#include "geometry/primitives/primitives.h"

namespace {

// Corner-join thresholds: a corner is mitered when the dot product of the
// directions exceeds 1 - threshold.
constexpr double kCornerThresholdDefault = 0.02;
constexpr double kCornerThresholdWide = 1.02;

thread_local double tCornerThreshold = kCornerThresholdDefault;

// Retries: distance step per try, number of tries, drop tolerances and the
// jog length.
constexpr double kRetryStep = 0.0006;
constexpr int kRetryCount = 20;
constexpr double kDropShortNear = 0.01;
constexpr double kDropShortFar = 0.02;
constexpr double kFarDistance = 15.0;
constexpr double kLateRetryDistance = 10.0;
constexpr int kLateRetryTry = 10;
constexpr int kJogMinCount = 50;
constexpr double kJogLength = 1.0;

// The chain's start is a crossing when the first record lies this near it.
constexpr double kStartRecordTol = 0.005;
// Gaps up to this size are closed by moving the end before them.
constexpr double kGapClose = 0.4;
// The tail behind a wide gap is kept only when it is no longer than this share
// of the part before it.
constexpr double kTailShare = 0.4;
// Last two segments of an open result with directions this close to
// opposite: the last is a spike and goes.
constexpr double kSpikeDot = -0.999;
// A concave corner whose offset ends miss each other by less than this is
// closed by snapping.
constexpr double kConcaveSnap = 0.06;
// A result must keep this share of the distance from the input.
constexpr double kKeepShare = 0.9;
// Scratch room of the loop trace.
constexpr int kScratchMin = 1000;

bool almostXY(double ax, double ay, double bx, double by) {
  return geoAlmostEqual(ax, bx) && geoAlmostEqual(ay, by);
}

double segLength(const Seg2& s) { return std::hypot(s.x1 - s.x0, s.y1 - s.y0); }

// s with both ends moved by distance along its unit normal on side; false for
// a segment without direction.
bool offsetSeg(const Seg2& s, double distance, int side, Seg2* out) {
  Vec2d nrm;
  if (seg2UnitNormal(&s, &nrm, 0, side) == 0) return false;
  *out = {s.x0 + distance * nrm.x, s.y0 + distance * nrm.y, s.x1 + distance * nrm.x,
          s.y1 + distance * nrm.y};
  return true;
}

// ---- One pass ----------------------------------------------------------------

// Cuts the offset chain's start where it last leaves the circle of radius
// distance about the input's start: used once when every crossing, the start
// included, lies too near the input.  Returns the new count.
int trimStart(int m, double distance, const Seg2* in, Seg2* out) {
  std::vector<Vec2d> pts(static_cast<std::size_t>(2 * m + 2));
  std::vector<int> segs(pts.size());
  const int found = seg2ChainCircleCrossings(m, out, in[0].x0, in[0].y0, distance, pts.data(),
                                             segs.data(), static_cast<int>(pts.size()));
  if (found <= 0) return m;
  const int last = std::min(found, static_cast<int>(pts.size())) - 1;
  const int k = segs[static_cast<std::size_t>(last)];
  std::memmove(out, out + (k - 1), static_cast<std::size_t>(m + 1 - k) * sizeof(Seg2));
  out[0].x0 = pts[static_cast<std::size_t>(last)].x;
  out[0].y0 = pts[static_cast<std::size_t>(last)].y;
  return m + 1 - k;
}

// Cuts the offset chain's end where it first comes into the circle of radius
// distance about the end of the input's last segment: the mirror image of
// trimStart, for an open chain whose last segments a concave corner swallowed
// (they lie inside the corner's offset circle, their offset is dropped behind
// a wide gap, and the offset of the corner's other leg runs on past them).
// Returns the new count; m when the chain does not reach the circle.
int trimEnd(int m, double distance, const Seg2* in, int n, Seg2* out) {
  std::vector<Vec2d> pts(static_cast<std::size_t>(2 * m + 2));
  std::vector<int> segs(pts.size());
  const Vec2d end{in[n - 1].x1, in[n - 1].y1};
  const int found = std::min(seg2ChainCircleCrossings(m, out, end.x, end.y, distance, pts.data(),
                                                      segs.data(), static_cast<int>(pts.size())),
                             static_cast<int>(pts.size()));
  if (found <= 0) return m;
  // The first crossing along the chain: on the lowest segment, nearest its
  // start (two crossings of one segment come in the order of x).
  int best = 0;
  for (int i = 1; i < found; ++i) {
    const auto ui = static_cast<std::size_t>(i), ub = static_cast<std::size_t>(best);
    if (segs[ui] != segs[ub]) continue;
    const Seg2& s = out[segs[ui] - 1];
    if (std::hypot(pts[ui].x - s.x0, pts[ui].y - s.y0) <
        std::hypot(pts[ub].x - s.x0, pts[ub].y - s.y0)) {
      best = i;
    }
  }
  const int k = segs[static_cast<std::size_t>(best)];
  out[k - 1].x1 = pts[static_cast<std::size_t>(best)].x;
  out[k - 1].y1 = pts[static_cast<std::size_t>(best)].y;
  return k;
}

bool tailTooLong(int m, const Seg2* out, int i) {
  double before = 0.0, after = 0.0;
  for (int k = 0; k < i; ++k) before += segLength(out[k]);
  for (int k = i + 1; k < m; ++k) after += segLength(out[k]);
  return after > kTailShare * before;
}

// One offset pass into out.  Returns the count, 0 with *failed set when the
// raw offset fails, -1 when memory runs out.
int segChainPass(const Seg2* in, int n, double distance, std::vector<Seg2>& out, int side,
                 int* failed) {
  const bool closed = seg2ChainIsClosed(in, n) == 1;
  if (std::fabs(distance) < kGeoEqualTol) {
    out.assign(in, in + n);
    return n;
  }
  out.resize(static_cast<std::size_t>(offset2dResultCapacity(n)));
  int m = 0;
  const int raw =
      offset2dSegChainRaw(distance, in, n, out.data(), static_cast<int>(out.size()), &m, side);
  if (raw == 0 || m == 0) {
    *failed = 1;
    return 0;
  }

  // Freed on every way out, also when a scratch allocation throws.
  const std::unique_ptr<Seg2IsectArray, void (*)(Seg2IsectArray*)> owner(seg2IsectArrayNew(1000),
                                                                         &seg2IsectArrayFree);
  Seg2IsectArray* recs = owner.get();
  if (recs == nullptr || recs->items == nullptr) return -1;
  bool trimmed = false;
  int gapIndex = 0;
  for (;;) {
    if (offset2dSelfCrossings(out.data(), m, recs, raw == -1 ? -1 : 0) < 0) return -1;
    gapIndex = 0;
    for (int i = 1; i < m && gapIndex == 0; ++i) {
      if (!geoSameXY(out[i].x0, out[i].y0, out[i - 1].x1, out[i - 1].y1)) gapIndex = i;
    }
    if (recs->count == 0 || std::fabs(recs->items[0].x - out[0].x0) >= kStartRecordTol ||
        std::fabs(recs->items[0].y - out[0].y0) >= kStartRecordTol) {
      const Seg2Isect start{out[0].x0, out[0].y0, 0.0, 1, m, 1};
      if (seg2IsectArrayInsert(recs, &start, 0) < 0) return -1;
    }
    offset2dMarkCrossings(recs->items, 1, out.data(), m, in, n, distance, side);
    if (recs->count >= 2 && gapIndex > 0 && recs->items[0].state == 0 &&
        recs->items[1].first - 1 >= gapIndex) {
      // The start lies too near the input: start the trace behind the gap.
      recs->items[0].x = out[static_cast<std::size_t>(gapIndex)].x0;
      recs->items[0].y = out[static_cast<std::size_t>(gapIndex)].y0;
      recs->items[0].first = gapIndex + 1;
      recs->items[0].state = 1;
    }
    offset2dMarkCrossings(recs->items, recs->count, out.data(), m, in, n, distance, side);
    bool allZero = recs->count > 0;
    for (int i = 0; i < recs->count && allZero; ++i) allZero = recs->items[i].state == 0;
    if (trimmed || !allZero) break;
    m = trimStart(m, distance, in, out.data());
    trimmed = true;
  }

  if (recs->count >= 2 || gapIndex > 0) {
    std::vector<Seg2> scratch(static_cast<std::size_t>(std::max(3 * m, kScratchMin)));
    m = offset2dTraceOuter(recs->items, recs->count, out.data(), m, scratch.data(),
                           static_cast<int>(scratch.size()), failed);
    if (static_cast<std::size_t>(m) + 1 > out.size()) out.resize(static_cast<std::size_t>(m) + 1);
    std::copy(scratch.begin(), scratch.begin() + m, out.begin());
    // A run that starts at the end of its first segment copies that segment
    // with no length left.
    m = seg2ChainDropZeroLength(out.data(), m);
  }

  // Gap closing: small gaps are bridged by moving the end before them; behind
  // a wide one only the part before it stays (nothing when the tail is long).
  for (int i = 1; i < m; ++i) {
    Seg2& prev = out[static_cast<std::size_t>(i - 1)];
    const Seg2& cur = out[static_cast<std::size_t>(i)];
    if (geoSameXY(cur.x0, cur.y0, prev.x1, prev.y1)) continue;
    if (std::hypot(cur.x0 - prev.x1, cur.y0 - prev.y1) >= kGapClose) {
      m = tailTooLong(m, out.data(), i) ? 0 : i;
      break;
    }
    prev.x1 = cur.x0;
    prev.y1 = cur.y0;
  }
  if (!closed && m > 0) {
    // An open offset ends at the distance from the input's end, unless the
    // input's last segments were swallowed: then its end comes nearer.
    const Seg2& last = out[static_cast<std::size_t>(m - 1)];
    if (std::hypot(last.x1 - in[n - 1].x1, last.y1 - in[n - 1].y1) < offset2dNearRadius(distance)) {
      m = trimEnd(m, distance, in, n, out.data());
    }
  }
  if (closed && m > 0) {
    Seg2& last = out[static_cast<std::size_t>(m - 1)];
    const Seg2& first = out[0];
    if (!geoSameXY(last.x1, last.y1, first.x0, first.y0)) {
      const double gap = std::hypot(last.x1 - first.x0, last.y1 - first.y0);
      if (distance > gap) {
        last.x1 = first.x0;
        last.y1 = first.y0;
      } else {
        if (static_cast<std::size_t>(m) + 1 > out.size())
          out.resize(static_cast<std::size_t>(m) + 1);
        out[static_cast<std::size_t>(m)] = {out[static_cast<std::size_t>(m - 1)].x1,
                                            out[static_cast<std::size_t>(m - 1)].y1, out[0].x0,
                                            out[0].y0};
        ++m;
      }
    }
  }
  // A closed result keeps a last segment that turns straight back: it runs
  // back along a stretch of no width (a step that collapsed exactly onto
  // another) and dropping it would leave the result open.
  if (m > 1 && !closed) {
    Vec2d u, v;
    if (seg2UnitDirection(&out[static_cast<std::size_t>(m - 2)], &u, 0) &&
        seg2UnitDirection(&out[static_cast<std::size_t>(m - 1)], &v, 0) &&
        vec2Dot(&u, &v) < kSpikeDot) {
      --m;
    }
  }
  if (*failed == 0 && !offset2dKeepsDistance(in, n, distance, out.data(), m)) *failed = 1;
  if (*failed == 0 && m > 2) {
    // A loop the trace could not resolve leaves a result that crosses
    // itself: that is no offset either.
    recs->count = 0;
    const int crossings = offset2dSelfCrossings(out.data(), m, recs, 0);
    if (crossings < 0) return -1;
    if (crossings > 0) *failed = 1;
  }
  return m;
}

}  // namespace

// ---- Public entry points ---------------------------------------------------------

int offset2dResultCapacity(int count) {
  if (count <= 0) return 1;
  // Raw chain: 2 x count segments (+1 spare); the trace may fill its scratch
  // room of max(3 x raw, kScratchMin); the closing segment adds one.
  const long long raw = 2LL * count + 1;
  const long long room = std::max(3 * raw, static_cast<long long>(kScratchMin)) + 1;
  return static_cast<int>(std::min(room, static_cast<long long>(INT_MAX)));
}

void offset2dSetCornerJoin(int mode) {
  tCornerThreshold = mode == 1 ? kCornerThresholdWide : kCornerThresholdDefault;
}

double offset2dCornerThreshold() { return tCornerThreshold; }

int offset2dSegChain(const Seg2* in, int count, double distance, Seg2* out, int outCapacity,
                     int side) {
  if (in == nullptr || out == nullptr || count <= 0 || outCapacity <= 0) return 0;
  if (!std::isfinite(distance) || distance <= -kGeoEqualTol) return 0;
  // A non-finite coordinate would pass through every step into the result.
  for (int i = 0; i < count; ++i) {
    if (!std::isfinite(in[i].x0) || !std::isfinite(in[i].y0) || !std::isfinite(in[i].x1) ||
        !std::isfinite(in[i].y1)) {
      return 0;
    }
  }
  try {
    std::vector<Seg2> result;
    auto deliver = [&](int r) {
      if (r <= 0) return r;
      if (r > outCapacity) return -1;
      std::copy(result.begin(), result.begin() + r, out);
      return r;
    };
    int failed = 0;
    int r = segChainPass(in, count, distance, result, side, &failed);
    if (r < 0 || (r > 0 && failed == 0)) return deliver(r);

    // Retries work on a private copy: the caller's chain may be shared with
    // other threads and must come back as it was given.
    std::vector<Seg2> work(in, in + count);
    double tolerance = distance > kFarDistance ? kDropShortFar : kDropShortNear;
    int n = count;
    double d = distance;
    for (int attempt = 0; attempt < kRetryCount; ++attempt) {
      if (d > kLateRetryDistance && attempt > kLateRetryTry) tolerance = kDropShortFar;
      d += kRetryStep;
      n = seg2ChainDropShort(work.data(), n, tolerance);
      if (n >= kJogMinCount) {
        for (int merged = offset2dRemoveJogs(work.data(), n, kJogLength); merged < n;
             merged = offset2dRemoveJogs(work.data(), n, kJogLength)) {
          n = merged;
        }
      }
      if (n <= 0) return 0;
      failed = 0;
      r = segChainPass(work.data(), n, d, result, side, &failed);
      if (r < 0) return r;
      if (failed == 0) return deliver(r);
    }
    // Every try came too near the input: no usable offset.
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

// ---- Steps ---------------------------------------------------------------------------

int offset2dCornerJoin(Seg2* a, Seg2* b, double distance, Seg2* join, int side) {
  Vec2d na, nb, u, v;
  if (seg2UnitNormal(a, &na, 0, side) == 0 || seg2UnitNormal(b, &nb, 0, side) == 0) return -1;
  if (seg2UnitDirection(a, &u, 0) == 0 || seg2UnitDirection(b, &v, 0) == 0) return -1;
  Vec2d nsum{na.x + nb.x, na.y + nb.y};
  const double len = vec2Length(&nsum);
  if (len < kGeoEqualTol) {
    // An exact reversal: the normals cancel and the corner's bisector is the
    // direction of A itself; the join caps the turn square at the distance.
    if (vec2Dot(&u, &v) >= 0.0) return -1;
    nsum = u;
  } else {
    nsum = {nsum.x / len, nsum.y / len};
  }
  Seg2 ao, bo;
  if (!offsetSeg(*a, distance, side, &ao) || !offsetSeg(*b, distance, side, &bo)) return -1;
  const Vec2d corner{a->x1, a->y1};
  int result;
  if (vec2Dot(&u, &v) > 1.0 - tCornerThreshold) {
    // Miter: both offsets meet on the bisector of the corner.
    const Seg2 bisector{corner.x, corner.y, corner.x + nsum.x, corner.y + nsum.y};
    Vec2d p;
    if (seg2LineIntersect(&ao, &bisector, &p) != 1) return -1;
    ao.x1 = p.x;
    ao.y1 = p.y;
    bo.x0 = p.x;
    bo.y0 = p.y;
    result = 2;
  } else {
    // Connecting segment on the tangent of the offset circle about the
    // corner, perpendicular to the bisector.
    const Vec2d t{corner.x + distance * nsum.x, corner.y + distance * nsum.y};
    const Seg2 tangent{t.x, t.y, t.x - nsum.y, t.y + nsum.x};
    Vec2d q, r;
    if (seg2LineIntersect(&ao, &tangent, &q) != 1 || seg2LineIntersect(&bo, &tangent, &r) != 1) {
      return -1;
    }
    ao.x1 = q.x;
    ao.y1 = q.y;
    bo.x0 = r.x;
    bo.y0 = r.y;
    result = 1;
  }
  *a = ao;
  *b = bo;
  *join = {ao.x1, ao.y1, bo.x0, bo.y0};
  return result;
}

int offset2dSegChainRaw(double distance, const Seg2* in, int n, Seg2* out, int outCapacity, int* m,
                        int side) {
  *m = 0;
  if (n <= 0 || outCapacity < 2 * n + 1) return 0;
  const int sideSign = side == 1 ? 1 : -1;
  int count = 0;
  if (!offsetSeg(in[0], distance, side, &out[count++])) return 0;
  bool reversal = false;
  int result = 1;
  const bool chainCloses = almostXY(in[0].x0, in[0].y0, in[n - 1].x1, in[n - 1].y1);
  for (int b = 2; b <= n + 1; ++b) {
    const bool closing = b == n + 1;
    if (closing && !chainCloses) break;
    const Seg2& cur = in[b - 2];
    const Seg2& next = closing ? in[0] : in[b - 1];
    int t = 0;
    if (seg2TurnDirection(&cur, &next, &t) == 0) return 0;
    if (t == -2) {
      reversal = true;
      t = -1;
    } else {
      t *= sideSign;
    }
    Seg2& curOut = out[count - 1];
    if (t == -1) {
      Seg2 a = cur, bseg = next, join;
      const int jr = offset2dCornerJoin(&a, &bseg, distance, &join, side);
      if (jr < 0) return 0;
      curOut.x1 = join.x0;
      curOut.y1 = join.y0;
      if (!closing && count >= 2) {
        // A short segment whose joins pass each other: cut both at the crossing.
        Vec2d x;
        if (seg2Intersect(&out[count - 1], &out[count - 2], &x) == 1) {
          out[count - 2].x1 = x.x;
          out[count - 2].y1 = x.y;
          out[count - 1].x0 = x.x;
          out[count - 1].y0 = x.y;
        }
      }
      if (jr == 1) out[count++] = join;
      if (!closing) {
        Seg2 s;
        if (!offsetSeg(next, distance, side, &s)) return 0;
        s.x0 = join.x1;
        s.y0 = join.y1;
        out[count++] = s;
      } else {
        out[0].x0 = join.x1;
        out[0].y0 = join.y1;
        Vec2d x;
        if (seg2Intersect(&in[0], &in[n - 1], &x) == -1) result = -2;
      }
    } else if (t == 0) {
      if (!closing) {
        Seg2 s;
        if (!offsetSeg(next, distance, side, &s)) return 0;
        s.x0 = curOut.x1;
        s.y0 = curOut.y1;
        out[count++] = s;
      }
    } else if (t == 1) {
      Seg2* slot = &out[0];
      if (!closing) {
        if (!offsetSeg(next, distance, side, &out[count])) return 0;
        slot = &out[count];
      }
      Seg2& current = out[closing ? count - 1 : count - 1];
      Vec2d x;
      const int k = seg2Intersect(&current, slot, &x);
      if (k == 1) {
        current.x1 = x.x;
        current.y1 = x.y;
        slot->x0 = x.x;
        slot->y0 = x.y;
      } else if (k == 0) {
        if (std::fabs(current.x1 - slot->x0) < kConcaveSnap &&
            std::fabs(current.y1 - slot->y0) < kConcaveSnap) {
          slot->x0 = current.x1;
          slot->y0 = current.y1;
        } else {
          result = -1;
        }
      }
      if (!closing) ++count;
    } else {
      return 0;
    }
  }
  count = seg2ChainDropZeroLength(out, count);
  *m = count;
  if (result == 1 && reversal) return -3;
  return result;
}

int seg2ChainDropZeroLength(Seg2* chain, int n) {
  int k = 0;
  for (int i = 0; i < n; ++i) {
    if (almostXY(chain[i].x0, chain[i].y0, chain[i].x1, chain[i].y1)) continue;
    chain[k++] = chain[i];
  }
  return k;
}

int seg2ChainDropShort(Seg2* chain, int n, double tolerance) {
  int k = 0;
  for (int i = 0; i < n; ++i) {
    if (segLength(chain[i]) < tolerance) continue;
    chain[k++] = chain[i];
  }
  return k;
}

namespace {

bool jogChangesTurn(const Seg2& a, const Seg2& b, int t) {
  int turn = 0;
  if (seg2TurnDirection(&a, &b, &turn) == 0 || turn != t) return true;
  Vec2d u, v;
  if (seg2UnitDirection(&a, &u, 0) == 0 || seg2UnitDirection(&b, &v, 0) == 0) return true;
  return vec2Dot(&u, &v) < 0.0;
}

}  // namespace

int offset2dRemoveJogs(Seg2* chain, int n, double maxLength) {
  int i = 1;
  while (i < n - 1) {
    const Seg2& jog = chain[i];
    int t1 = 0, t2 = 0;
    if (segLength(jog) <= maxLength && seg2TurnDirection(&chain[i - 1], &jog, &t1) &&
        seg2TurnDirection(&jog, &chain[i + 1], &t2) && t1 != 0 && t2 != 0) {
      const Vec2d mid{(jog.x0 + jog.x1) / 2.0, (jog.y0 + jog.y1) / 2.0};
      Seg2 a = chain[i - 1], b = chain[i + 1];
      a.x1 = mid.x;
      a.y1 = mid.y;
      b.x0 = mid.x;
      b.y0 = mid.y;
      if (t1 != t2 || t1 == -2 || jogChangesTurn(a, b, t1)) {
        chain[i - 1] = a;
        chain[i + 1] = b;
        std::memmove(&chain[i], &chain[i + 1], static_cast<std::size_t>(n - i - 1) * sizeof(Seg2));
        --n;
        continue;
      }
    }
    ++i;
  }
  return n;
}

namespace {

// Exact side of c relative to the line a->b.
int sideOf(double ax, double ay, double bx, double by, double cx, double cy) {
  const double v = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
  return v > 0.0 ? 1 : (v < 0.0 ? -1 : 0);
}

// Smallest distance between two segments: 0 when they cross, else the
// smallest distance of an end of one to the other.
double segSegDistance(const Seg2& a, const Seg2& b) {
  if (sideOf(a.x0, a.y0, a.x1, a.y1, b.x0, b.y0) * sideOf(a.x0, a.y0, a.x1, a.y1, b.x1, b.y1) < 0 &&
      sideOf(b.x0, b.y0, b.x1, b.y1, a.x0, a.y0) * sideOf(b.x0, b.y0, b.x1, b.y1, a.x1, a.y1) < 0) {
    return 0.0;
  }
  const Vec2d a0{a.x0, a.y0}, a1{a.x1, a.y1}, b0{b.x0, b.y0}, b1{b.x1, b.y1};
  return std::min({seg2PointDistance(&a0, &b), seg2PointDistance(&a1, &b),
                   seg2PointDistance(&b0, &a), seg2PointDistance(&b1, &a)});
}

}  // namespace

int offset2dKeepsDistance(const Seg2* in, int n, double distance, const Seg2* out, int m) {
  if (m <= 0 || n <= 0) return 1;
  const double limit = kKeepShare * distance;
  // Whole segments are measured, not only their ends: a result segment may
  // pass the input between two ends that keep their distance (a hairpin of
  // the input reaching into the offset).  Between its ends a segment may come
  // nearer by the point tolerance, within which the offset merges points.
  const double inner = limit - kGeoAlmostEqualTol;
  const double reach = std::max(limit, 0.0);
  // The input's section index finds the segments whose x range comes within
  // the limit of a result segment (a missing index only costs time).
  SectionIndex* index = sectionIndexNew(in, n, 2, 0);
  bool keeps = true;
  for (int i = 0; i < m && keeps; ++i) {
    const Seg2& o = out[i];
    const double loY = std::min(o.y0, o.y1) - reach, hiY = std::max(o.y0, o.y1) + reach;
    const Seg2 slab{std::min(o.x0, o.x1) - reach, o.y0, std::max(o.x0, o.x1) + reach, o.y0};
    const Vec2d a{o.x0, o.y0}, b{o.x1, o.y1};
    for (int k = sectionIndexFirst(index, &slab, 0); k >= 0 && k < n && keeps; ++k) {
      k = sectionIndexNext(&slab, index, k);
      if (k < 0) break;
      const Seg2& s = in[k];
      if (std::max(s.y0, s.y1) < loY || std::min(s.y0, s.y1) > hiY) continue;
      if (seg2PointDistance(&a, &s) < limit || seg2PointDistance(&b, &s) < limit ||
          (inner > 0.0 && segSegDistance(o, s) < inner)) {
        keeps = false;
      }
    }
  }
  sectionIndexFree(index);
  return keeps ? 1 : 0;
}

int seg2ChainCircleCrossings(int m, const Seg2* chain, double cx, double cy, double radius,
                             Vec2d* points, int* segs, int capacity) {
  const Vec2d centre{cx, cy};
  int found = 0;
  for (int i = 0; i < m; ++i) {
    Vec2d pts[2];
    const int k = seg2CircleCutPoints(&chain[i], &centre, radius, pts);
    for (int j = 0; j < k; ++j, ++found) {
      if (found < capacity) {
        points[found] = pts[j];
        segs[found] = i + 1;
      }
    }
  }
  return found;
}
