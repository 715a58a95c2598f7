#include "geometry/offset2d/offset_loops.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>
#include <set>
#include <utility>
#include <vector>

#include "base/tolerances.h"
#include "geometry/offset2d/seg2_box_tree.h"
#include "geometry/primitives/primitives.h"

namespace {

// A start crossing is tested again at this blend towards the next point.
constexpr double kStartTestBlend = 0.9;
// A run ends on the next crossing when that lies this near its last segment.
constexpr double kTraceSnap = 0.01;
// Angle (radians) within which two branches leave a crossing along one ray.
constexpr double kBranchAngleTol = 0.0001;
// A point nearer than the distance less distance / kNearDivisor, at most
// kNearMargin, lies nearer to the input than the distance.
constexpr double kNearDivisor = 100.0;
constexpr double kNearMargin = 0.001;

Vec2d pointOf(const Seg2Isect& r) { return {r.x, r.y}; }

// The segment number a record is entered on: its second when state 1, else
// its first.
int entrySegment(const Seg2Isect& r) { return r.state == 1 ? r.second : r.first; }

}  // namespace

double offset2dNearRadius(double distance) {
  return distance - std::min(distance / kNearDivisor, kNearMargin);
}

int ptEqual2d(const Vec2d* a, const Vec2d* b) {
  return geoAlmostEqual(a->x, b->x) && geoAlmostEqual(a->y, b->y) ? 1 : 0;
}

int seg2CircleCutPoints(const Seg2* s, const Vec2d* centre, double radius, Vec2d out[2]) {
  double circle[7] = {};
  circle[kCircleCentreX] = centre->x;
  circle[kCircleCentreY] = centre->y;
  circle[kCircleRadius] = radius;
  const int k = seg2CircleIntersect(s, circle, out);
  if (k == 2) return 2;
  if (k != 1) return 0;
  const Vec2d start{s->x0, s->y0}, end{s->x1, s->y1};
  return ptEqual2d(&out[0], &start) || ptEqual2d(&out[0], &end) ? 0 : 1;
}

int seg2ChainCutsCircle(const Vec2d* centre, double radius, const Seg2* chain, int n) {
  for (int i = 0; i < n; ++i) {
    Vec2d pts[2];
    if (seg2CircleCutPoints(&chain[i], centre, radius, pts) > 0) return 1;
  }
  return 0;
}

int seg2PointOrderOnSegment(const Seg2* s, const Vec2d* p, const Vec2d* o) {
  double tp, to;
  if (geoAlmostEqual(s->x0, s->x1)) {
    const double dy = s->y1 - s->y0;
    if (dy == 0.0) return 2;
    tp = (p->y - s->y0) / dy;
    to = (o->y - s->y0) / dy;
  } else {
    const double dx = s->x1 - s->x0;
    tp = (p->x - s->x0) / dx;
    to = (o->x - s->x0) / dx;
  }
  return tp > to ? 1 : 2;
}

namespace {

// Direction in which the chain leaves X along the branch of segment number
// (1-based) seg.
Vec2d branchDirection(const Seg2* chain, int m, int seg, Vec2d x) {
  int i = std::clamp(seg, 1, m) - 1;
  if (geoSameXY(chain[i].x1, chain[i].y1, x.x, x.y)) {
    if (i + 1 < m) {
      ++i;
    } else if (seg2ChainIsClosed(chain, m)) {
      i = 0;
    }
  }
  const Seg2& s = chain[i];
  if (geoSameXY(s.x1, s.y1, x.x, x.y)) return {x.x - s.x0, x.y - s.y0};
  return {s.x1 - x.x, s.y1 - x.y};
}

// Direction from X back along the way the chain comes to X on the branch of
// segment number (1-based) seg: towards the start of that segment, or of the
// one before it when X is the segment's start.
Vec2d branchBackDirection(const Seg2* chain, int m, int seg, Vec2d x) {
  int i = std::clamp(seg, 1, m) - 1;
  if (geoSameXY(chain[i].x0, chain[i].y0, x.x, x.y)) {
    if (i > 0) {
      --i;
    } else if (seg2ChainIsClosed(chain, m)) {
      i = m - 1;
    } else {
      return {x.x - chain[i].x1, x.y - chain[i].y1};  // the chain starts here
    }
  }
  const Seg2& s = chain[i];
  if (geoSameXY(s.x0, s.y0, x.x, x.y)) return {x.x - s.x1, x.y - s.y1};
  return {s.x0 - x.x, s.y0 - x.y};
}

// True when the directions a and b (radians) are the same ray.
bool sameAngle(double a, double b) {
  double d = std::fabs(a - b);
  if (d > std::numbers::pi) d = 2.0 * std::numbers::pi - d;
  return d < kBranchAngleTol;
}

}  // namespace

int seg2IsectTurnClass(int side, const Seg2* chain, int m, const Seg2Isect* rec) {
  const Vec2d x = pointOf(*rec);
  // The start record of a trace (the chain's start, paired with its last
  // segment) has no second branch to turn from: the path leaves on the first.
  // Not so where a closed chain turns straight back at its start and the
  // offset goes to the right: the start is then the tip of a stretch of no
  // width run both ways, which the crossing search (a shared stretch lies to
  // the left) takes as crossed there and the trace cuts away.
  if (rec->second >= m && geoSameXY(x.x, x.y, chain[0].x0, chain[0].y0)) {
    const Vec2d on = branchDirection(chain, m, rec->first, x);
    const Vec2d back = branchBackDirection(chain, m, rec->first, x);
    const bool tip = seg2ChainIsClosed(chain, m) &&
                     sameAngle(std::atan2(on.y, on.x), std::atan2(back.y, back.x));
    return side != 1 && tip ? 2 : 1;
  }
  const Vec2d d1 = branchDirection(chain, m, rec->first, x);
  const Vec2d d2 = branchDirection(chain, m, rec->second, x);
  double a1 = std::atan2(d1.y, d1.x);
  double a2 = std::atan2(d2.y, d2.x);
  if (sameAngle(a1, a2 > 0.0 ? a2 - std::numbers::pi : a2 + std::numbers::pi)) {
    // The branches leave in opposite directions, one of them back along the
    // way the other came in: the ends of a stretch the chain runs both ways
    // (a step whose offset collapsed exactly onto another).  atan2 would
    // decide by the sign of a zero; the class must instead agree with the
    // crossing search, which takes such a stretch as lying to the left of
    // the first path.
    const Vec2d b1 = branchBackDirection(chain, m, rec->first, x);
    const Vec2d b2 = branchBackDirection(chain, m, rec->second, x);
    if (sameAngle(a2, std::atan2(b1.y, b1.x))) return side == 1 ? 2 : 1;
    if (sameAngle(a1, std::atan2(b2.y, b2.x))) return side == 1 ? 1 : 2;
  }
  if (sameAngle(a1, a2)) {
    // Both branches leave along one ray (the offsets of two equal corners
    // running on in one line): which one comes in from the other's side
    // decides instead.  For crossing straight lines the ways back stand to
    // each other as the ways on do, so the class is the same.
    const Vec2d b1 = branchBackDirection(chain, m, rec->first, x);
    const Vec2d b2 = branchBackDirection(chain, m, rec->second, x);
    const double c1 = std::atan2(b1.y, b1.x);
    const double c2 = std::atan2(b2.y, b2.x);
    if (!sameAngle(c1, c2)) {
      a1 = c1;
      a2 = c2;
    }
  }
  const double delta = a1 - a2;
  const bool leftOf = (delta >= 0.0 && delta <= std::numbers::pi) || delta < -std::numbers::pi;
  if (side == 1) return leftOf ? 1 : 2;
  return leftOf ? 2 : 1;
}

void offset2dMarkCrossings(Seg2Isect* recs, int n, const Seg2* chain, int m, const Seg2* in,
                           int inCount, double distance, int side) {
  if (recs == nullptr || n <= 0 || m <= 0) return;
  const double r = offset2dNearRadius(distance);
  // Only input segments near a crossing can cut its circle: the tree finds
  // them without a walk over the whole input per crossing.
  const Seg2BoxTree tree(in, inCount, kSeg2MeetReach);
  auto cutsCircle = [&](const Vec2d& centre) {
    if (!(r >= 0.0) || !std::isfinite(centre.x) || !std::isfinite(centre.y)) {
      return seg2ChainCutsCircle(&centre, r, in, inCount) != 0;
    }
    return tree.query(centre.x - r, centre.y - r, centre.x + r, centre.y + r, 0, [&](int i) {
      Vec2d pts[2];
      return seg2CircleCutPoints(&in[i], &centre, r, pts) > 0;
    });
  };
  for (int k = n - 1; k >= 0; --k) {
    Seg2Isect& rec = recs[k];
    const Vec2d x = pointOf(rec);
    rec.state = 1;
    if (cutsCircle(x)) {
      rec.state = 0;
      continue;
    }
    if (geoSameXY(x.x, x.y, chain[0].x0, chain[0].y0)) {
      // The crossing at the chain's start: test a point a little way along
      // the path it starts, which must keep its distance too.
      const int j = std::clamp(rec.first, 1, m);
      int f = j;
      const Seg2* s = &chain[j - 1];
      if (geoAlmostEqual(x.x, s->x1) && geoAlmostEqual(x.y, s->y1) && j < m) {
        f = j + 1;
        s = &chain[j];
      }
      Vec2d p{s->x1, s->y1};
      if (k + 1 < n && recs[k + 1].first == f) p = pointOf(recs[k + 1]);
      const Vec2d t{kStartTestBlend * x.x + (1.0 - kStartTestBlend) * p.x,
                    kStartTestBlend * x.y + (1.0 - kStartTestBlend) * p.y};
      if (cutsCircle(t)) {
        rec.state = 0;
        continue;
      }
    }
    rec.state = seg2IsectTurnClass(side, chain, m, &rec) == 1 ? 1 : 0;
  }
}

namespace offset2d_detail {

// One candidate of the next-crossing rule: the record at p, entered on
// segment g, against the best one so far.  The rule reads the records in
// index order; the first that qualifies on the lowest entry segment becomes
// the best, and a later one on the same segment replaces it when it lies
// before it along the segment.
struct NextCrossingScan {
  const Seg2* chain;
  const Seg2Isect* recs;
  int key;
  int cur;
  int a;  // the segment the path leaves cur on
  Vec2d curPt;
  int best = -1;
  int bestSeg = INT_MAX;  // no upper limit on the segment number

  bool allowed(int p) const {
    const Seg2Isect& r = recs[p];
    return p != cur && r.state != 2 && r.state != key;
  }
  void consider(int p) {
    if (!allowed(p)) return;
    const Seg2Isect& r = recs[p];
    const int g = entrySegment(r);
    if (g <= 0 || g < a || g > bestSeg) return;
    const Seg2& s = chain[g - 1];
    const Vec2d pt = pointOf(r);
    const bool beyondCur = ptEqual2d(&pt, &curPt) || seg2PointOrderOnSegment(&s, &pt, &curPt) == 1;
    if (g == bestSeg) {
      const Vec2d bestPt = pointOf(recs[best]);
      if (seg2PointOrderOnSegment(&s, &pt, &bestPt) == 2 && (g != a || beyondCur)) best = p;
    } else if (g != a || beyondCur) {
      best = p;
      bestSeg = g;
    }
  }
};

CrossingIndex::CrossingIndex(const Seg2Isect* recs, int n) : recs_(recs) {
  int maxSeg = 0;
  for (int p = 0; p < n; ++p) maxSeg = std::max(maxSeg, entrySegment(recs[p]));
  start_.assign(static_cast<std::size_t>(maxSeg) + 2, 0);
  for (int p = 0; p < n; ++p) {
    const int g = entrySegment(recs[p]);
    if (g > 0) ++start_[static_cast<std::size_t>(g) + 1];
  }
  for (std::size_t g = 1; g < start_.size(); ++g) start_[g] += start_[g - 1];
  members_.resize(static_cast<std::size_t>(start_.back()));
  std::vector<int> fill(start_.begin(), start_.end() - 1);
  // Ascending record numbers within each segment, as the rule reads them.
  for (int p = 0; p < n; ++p) {
    const int g = entrySegment(recs[p]);
    if (g > 0) members_[static_cast<std::size_t>(fill[static_cast<std::size_t>(g)]++)] = p;
  }
  open_[0].assign(start_.size(), 0);
  open_[1].assign(start_.size(), 0);
  for (int p = 0; p < n; ++p) add(p, 1);
}

void CrossingIndex::used(int p) { add(p, -1); }

int CrossingIndex::next(const Seg2* chain, int key, int cur, int* next) const {
  const Seg2Isect& c = recs_[cur];
  NextCrossingScan scan{chain, recs_, key, cur, key == 1 ? c.first : c.second, pointOf(c)};
  // The segment the path leaves on: only records beyond cur count there.
  visit(scan.a, scan);
  // Beyond it, the first segment with a record the step may take.
  const std::set<int>& open = openSet_[key == 1 ? 0 : 1];
  for (auto it = open.upper_bound(std::max(scan.a, 0)); scan.best < 0 && it != open.end(); ++it) {
    visit(*it, scan);
  }
  if (scan.best < 0) return 0;
  *next = scan.best;
  return 1;
}

void CrossingIndex::visit(int g, NextCrossingScan& scan) const {
  if (g <= 0 || static_cast<std::size_t>(g) + 1 >= start_.size()) return;
  for (int k = start_[static_cast<std::size_t>(g)]; k < start_[static_cast<std::size_t>(g) + 1];
       ++k) {
    scan.consider(members_[static_cast<std::size_t>(k)]);
  }
}

void CrossingIndex::add(int p, int delta) {
  const Seg2Isect& r = recs_[p];
  const int g = entrySegment(r);
  if (g <= 0 || r.state == 2) return;
  for (int k = 0; k < 2; ++k) {
    if (r.state == k + 1) continue;
    int& count = open_[k][static_cast<std::size_t>(g)];
    count += delta;
    if (count > 0) {
      openSet_[k].insert(g);
    } else {
      openSet_[k].erase(g);
    }
  }
}

}  // namespace offset2d_detail

namespace {

// One step of the trace: offset2dTraceStep, with the next crossing found
// through index when one is given.
int traceStep(const Seg2* chain, int m, int key, Seg2Isect* recs, int n, int cur, Seg2* out,
              int outCapacity, int* count, const offset2d_detail::CrossingIndex* index) {
  *count = 0;
  const Seg2Isect& c = recs[cur];
  const int a = key == 1 ? c.first : c.second;
  int next = 0;
  const bool found =
      (index != nullptr ? index->next(chain, key, cur, &next)
                        : offset2dNextCrossing(chain, key, recs, n, cur, &next)) == 1;
  if (!found) next = 0;
  const Seg2Isect& target = recs[next];
  const int d = (!found || target.state != 0) ? target.second : target.first;
  if (a < 1 || d > m || d < a) return -1;
  const int run = d - a + 1;
  if (run > outCapacity) return -2;
  std::copy(chain + (a - 1), chain + d, out);
  out[0].x0 = c.x;
  out[0].y0 = c.y;
  const Vec2d np = pointOf(target);
  Seg2& lastSeg = out[run - 1];
  if ((seg2ChainIsClosed(chain, m) || !geoSameXY(np.x, np.y, chain[0].x0, chain[0].y0)) &&
      seg2PointDistance(&np, &lastSeg) < kTraceSnap) {
    lastSeg.x1 = np.x;
    lastSeg.y1 = np.y;
  }
  *count = run;
  for (int i = 1; i < run; ++i) {
    if (!geoSameXY(out[i].x0, out[i].y0, out[i - 1].x1, out[i - 1].y1)) {
      if (next != 0) return -1;
      break;  // the closing run keeps its gap for the gap closing
    }
  }
  return next;
}

}  // namespace

int offset2dNextCrossing(const Seg2* chain, int key, const Seg2Isect* recs, int n, int cur,
                         int* next) {
  offset2d_detail::NextCrossingScan scan{
      chain, recs, key, cur, key == 1 ? recs[cur].first : recs[cur].second, pointOf(recs[cur])};
  for (int p = 0; p < n; ++p) scan.consider(p);
  if (scan.best < 0) return 0;
  *next = scan.best;
  return 1;
}

int offset2dTraceStep(const Seg2* chain, int m, int key, Seg2Isect* recs, int n, int cur, Seg2* out,
                      int outCapacity, int* count) {
  return traceStep(chain, m, key, recs, n, cur, out, outCapacity, count, nullptr);
}

int offset2dTraceLoop(Seg2Isect* recs, int n, const Seg2* chain, int m, Seg2* out, int outCapacity,
                      int* failed) {
  if (recs == nullptr || n <= 0 || chain == nullptr || m <= 0) return 0;
  offset2d_detail::CrossingIndex index(recs, n);
  int key = recs[0].state == 1 ? 1 : 2;
  int count = 0;
  int next = traceStep(chain, m, key, recs, n, 0, out, outCapacity, &count, &index);
  if (next < 0) {
    recs[0].state = 2;
    *failed = 1;
    return 0;
  }
  int total = count;
  key = recs[next].state == 0 ? 2 : 1;
  int current = next;
  // Every step uses up one record, so a trace that has not come back after
  // n + 1 steps is going round in circles.
  for (int steps = 0; current != 0; ++steps) {
    next = steps > n ? -1
                     : traceStep(chain, m, key, recs, n, current, out + total, outCapacity - total,
                                 &count, &index);
    if (next < 0) {
      recs[0].state = 2;
      *failed = 1;
      return (next == -1 && total > static_cast<int>(m * 2.0 / 3.0)) ? total : 0;
    }
    const int s = recs[next].state;
    index.used(next);
    recs[next].state = 2;
    total += count;
    key = s == 0 ? 2 : 1;
    current = next;
  }
  recs[0].state = 2;
  return total;
}

int offset2dTraceOuter(Seg2Isect* recs, int n, const Seg2* chain, int m, Seg2* out, int outCapacity,
                       int* failed) {
  if (recs == nullptr || n <= 0) return 0;
  int start = -1;
  for (int i = 0; i < n && start < 0; ++i) {
    if (recs[i].state == 1) start = i;
  }
  if (start < 0) return 0;
  std::swap(recs[0], recs[start]);
  return offset2dTraceLoop(recs, n, chain, m, out, outCapacity, failed);
}
