#include "geometry/offset2d/seg2_crossings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <numbers>
#include <unordered_set>
#include <vector>

#include "base/tolerances.h"
#include "geometry/offset2d/seg2_box_tree.h"
#include "geometry/primitives/primitives.h"

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Angular tolerance (radians) within which two directions at a contact count
// as the same ray.
constexpr double kRayAngleTol = 0.0001;

// Widening of the index bounds: seg2Intersect reports collinear touches up to
// this distance, so pairs that far apart must still be tested.
constexpr double kIndexReach = kGeoCollinearTouchTol;

bool nearPoint(double ax, double ay, double bx, double by) {
  return geoAlmostEqual(ax, bx) && geoAlmostEqual(ay, by);
}

bool sameWithin(const Seg2& a, const Seg2& b) {
  return std::fabs(a.x0 - b.x0) < kGeoEqualTol && std::fabs(a.y0 - b.y0) < kGeoEqualTol &&
         std::fabs(a.x1 - b.x1) < kGeoEqualTol && std::fabs(a.y1 - b.y1) < kGeoEqualTol;
}

// A chain seen by the contact classification.
struct ChainView {
  const Seg2* segs;
  int n;
  bool closed;

  bool startsAt(int i, Vec2d x) const { return nearPoint(x.x, x.y, segs[i].x0, segs[i].y0); }
  bool endsAt(int i, Vec2d x) const { return nearPoint(x.x, x.y, segs[i].x1, segs[i].y1); }
  // The segment before i that the chain runs through at i's start, or -1
  // (chain start of an open chain, or a gap).
  int prevJoined(int i) const {
    const int j = i > 0 ? i - 1 : (closed ? n - 1 : -1);
    if (j < 0) return -1;
    return nearPoint(segs[j].x1, segs[j].y1, segs[i].x0, segs[i].y0) ? j : -1;
  }
  int nextJoined(int i) const {
    const int j = i + 1 < n ? i + 1 : (closed ? 0 : -1);
    if (j < 0) return -1;
    return nearPoint(segs[i].x1, segs[i].y1, segs[j].x0, segs[j].y0) ? j : -1;
  }
};

// The path of one chain through a contact point X: the direction it comes
// from (inAngle, pointing back from X) and the one it goes on in (outAngle),
// and the segment the contact is recorded on.
struct LocalPath {
  bool vertex;  // X lies on an end of the segment it was found on
  bool hasOut;  // the chain goes on from X (false at its end or a gap)
  int key;      // segment index the contact is recorded on
  double inAngle;
  double outAngle;
};

double angleTo(Vec2d from, double x, double y) { return std::atan2(y - from.y, x - from.x); }

LocalPath localPath(const ChainView& c, int p, Vec2d x) {
  LocalPath lp{};
  const bool atStart = c.startsAt(p, x);
  const bool atEnd = c.endsAt(p, x);
  if (!atStart && !atEnd) {
    lp.vertex = false;
    lp.hasOut = true;
    lp.key = p;
    lp.inAngle = angleTo(x, c.segs[p].x0, c.segs[p].y0);
    lp.outAngle = angleTo(x, c.segs[p].x1, c.segs[p].y1);
    return lp;
  }
  lp.vertex = true;
  // The last segment with length that ends at X, walking back over
  // zero-length segments (bounded by the chain length against cycles).
  int e = atEnd ? p : c.prevJoined(p);
  for (int guard = 0; e >= 0 && c.startsAt(e, x) && guard < c.n; ++guard) e = c.prevJoined(e);
  if (e >= 0 && c.startsAt(e, x)) e = -1;
  // The first segment with length that starts at X.
  int o = (atStart && !atEnd) ? p : c.nextJoined(p);
  for (int guard = 0; o >= 0 && c.endsAt(o, x) && guard < c.n; ++guard) o = c.nextJoined(o);
  if (o >= 0 && c.endsAt(o, x)) o = -1;

  lp.hasOut = o >= 0;
  if (e >= 0 && o >= 0) {
    lp.inAngle = angleTo(x, c.segs[e].x0, c.segs[e].y0);
    lp.outAngle = angleTo(x, c.segs[o].x1, c.segs[o].y1);
  } else if (e >= 0) {  // the chain ends at X: take it as running straight on
    lp.inAngle = angleTo(x, c.segs[e].x0, c.segs[e].y0);
    lp.outAngle = lp.inAngle + std::numbers::pi;
  } else if (o >= 0) {  // the chain starts at X
    lp.outAngle = angleTo(x, c.segs[o].x1, c.segs[o].y1);
    lp.inAngle = lp.outAngle + std::numbers::pi;
  } else {  // nothing but zero-length segments: no direction at all
    lp.inAngle = 0.0;
    lp.outAngle = std::numbers::pi;
  }
  // The record goes to the segment that ends at X.  At a closed chain's own
  // start (the walk from e to o wraps around) it stays on the first segment
  // with length, with parameter 0.
  if (e >= 0 && o >= 0 && e >= o) {
    lp.key = o;
  } else if (e >= 0) {
    lp.key = e;
  } else if (o >= 0) {
    lp.key = o;
  } else {
    lp.key = p;
  }
  return lp;
}

double wrapAbove(double a, double base) {
  while (a < base) a += kTwoPi;
  while (a >= base + kTwoPi) a -= kTwoPi;
  return a;
}

bool sameRay(double a, double b) {
  double d = std::fmod(std::fabs(a - b), kTwoPi);
  if (d > std::numbers::pi) d = kTwoPi - d;
  return d < kRayAngleTol;
}

// Side of ray r relative to the path (pIn, pOut) of the first chain: 1 for the
// wedge swept counter-clockwise from pIn to pOut (the right of the path), 2
// for the other (its left).  A ray along the path itself counts as left, so
// that a collinear stretch shared by both chains is on one fixed side.
int sideOfRay(double pIn, double pOut, double r) {
  if (sameRay(r, pIn) || sameRay(r, pOut)) return 2;
  const double out = wrapAbove(pOut, pIn);
  return wrapAbove(r, pIn) < out ? 1 : 2;
}

bool pathsCross(const LocalPath& a, const LocalPath& b) {
  if (!a.vertex && !b.vertex) return true;
  return sideOfRay(a.inAngle, a.outAngle, b.inAngle) !=
         sideOfRay(a.inAngle, a.outAngle, b.outAngle);
}

// Parameter of X along s: along x, or along y when s is (nearly) vertical.
double paramOn(const Seg2& s, Vec2d x) {
  if (geoAlmostEqual(s.x0, s.x1)) {
    const double dy = s.y1 - s.y0;
    return dy != 0.0 ? (x.y - s.y0) / dy : 0.0;
  }
  return (x.x - s.x0) / (s.x1 - s.x0);
}

std::uint64_t pairKey(int a, int b) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(a)) << 32) |
         static_cast<std::uint32_t>(b);
}

// Visits the candidates of query in increasing index order from start.
template <class Visit>
void forEachCandidate(const SectionIndex* index, int n, const Seg2& query, int start, Visit visit) {
  int i = sectionIndexFirst(index, &query, start);
  while (i >= 0 && i < n) {
    i = sectionIndexNext(&query, index, i);
    if (i < 0 || i >= n) break;
    visit(i);
    ++i;
  }
}

bool sortRecords(std::vector<Seg2Isect>& recs) {
  std::sort(recs.begin(), recs.end(),
            [](const Seg2Isect& a, const Seg2Isect& b) { return seg2IsectCompare(&a, &b) < 0; });
  return true;
}

// The crossings of a with b into recs.  Returns 0, or -1 when memory ran out.
int chainCrossings(const Seg2* a, int na, const Seg2* b, int nb, std::vector<Seg2Isect>& recs) {
  recs.clear();
  if (na <= 0 || nb <= 0 || a == nullptr || b == nullptr) return 0;
  if (na == nb) {
    bool same = true;
    for (int i = 0; i < na && same; ++i) same = sameWithin(a[i], b[i]);
    if (same) return 0;
  }
  SectionIndex* index = sectionIndexNew(b, nb, 2, 0);  // a missing index only costs time
  const ChainView ca{a, na, seg2ChainIsClosed(a, na) == 1};
  const ChainView cb{b, nb, seg2ChainIsClosed(b, nb) == 1};
  int result = 0;
  try {
    std::unordered_set<std::uint64_t> decided;
    for (int p = 0; p < na; ++p) {
      forEachCandidate(index, nb, a[p], 0, [&](int q) {
        Vec2d x;
        if (seg2Intersect(&a[p], &b[q], &x) != 1) return;
        const LocalPath lpA = localPath(ca, p, x);
        const LocalPath lpB = localPath(cb, q, x);
        // One decision per contact: a vertex is met from several segment
        // pairs, all of which name the same recording pair.
        if (!decided.insert(pairKey(lpA.key, lpB.key)).second) return;
        if (!pathsCross(lpA, lpB)) return;
        recs.push_back({x.x, x.y, paramOn(a[lpA.key], x), lpA.key + 1, lpB.key + 1, 1});
      });
    }
    sortRecords(recs);
  } catch (const std::bad_alloc&) {
    recs.clear();
    result = -1;
  }
  sectionIndexFree(index);
  return result;
}

bool growTo(Seg2IsectArray* list, int needed) {
  if (needed <= list->capacity && list->items != nullptr) return true;
  long long capacity = list->capacity > 0 ? list->capacity : 1;
  while (capacity < needed) capacity *= 2;
  if (capacity > 0x7fffffff / static_cast<long long>(sizeof(Seg2Isect))) return false;
  void* grown = std::realloc(list->items, static_cast<std::size_t>(capacity) * sizeof(Seg2Isect));
  if (grown == nullptr) return false;
  list->items = static_cast<Seg2Isect*>(grown);
  list->capacity = static_cast<int>(capacity);
  return true;
}

int fillList(Seg2IsectArray* list, const std::vector<Seg2Isect>& recs) {
  list->count = 0;
  if (recs.size() > 0x7fffffffu || !growTo(list, static_cast<int>(recs.size()))) return -1;
  if (!recs.empty()) std::memcpy(list->items, recs.data(), recs.size() * sizeof(Seg2Isect));
  list->count = static_cast<int>(recs.size());
  return list->count;
}

}  // namespace

// ---- Crossing arrays ---------------------------------------------------------

Seg2IsectArray* seg2IsectArrayNew(int capacity) {
  auto* list = static_cast<Seg2IsectArray*>(std::calloc(1, sizeof(Seg2IsectArray)));
  if (list == nullptr) return nullptr;
  if (capacity < 1) capacity = 1;
  list->items =
      static_cast<Seg2Isect*>(std::malloc(static_cast<std::size_t>(capacity) * sizeof(Seg2Isect)));
  list->capacity = list->items != nullptr ? capacity : 0;
  return list;
}

int seg2IsectArrayAppend(Seg2IsectArray* list, const Seg2Isect* rec) {
  if (list == nullptr || rec == nullptr) return -1;
  const Seg2Isect copy = *rec;  // rec may live in the block that grows
  if (list->count == 0x7fffffff || !growTo(list, list->count + 1)) return -1;
  list->items[list->count++] = copy;
  return 1;
}

int seg2IsectArrayInsert(Seg2IsectArray* list, const Seg2Isect* rec, int position) {
  if (list == nullptr || rec == nullptr || position < 0 || position > list->count) return -1;
  const Seg2Isect copy = *rec;
  if (list->count == 0x7fffffff || !growTo(list, list->count + 1)) return -1;
  std::memmove(&list->items[position + 1], &list->items[position],
               static_cast<std::size_t>(list->count - position) * sizeof(Seg2Isect));
  list->items[position] = copy;
  ++list->count;
  return 1;
}

void seg2IsectArrayFree(Seg2IsectArray* list) {
  if (list == nullptr) return;
  std::free(list->items);
  std::free(list);
}

int seg2IsectCompare(const Seg2Isect* a, const Seg2Isect* b) {
  if (a->first != b->first) return a->first < b->first ? -1 : 1;
  if (a->param != b->param) return a->param < b->param ? -1 : 1;
  if (a->second != b->second) return a->second < b->second ? -1 : 1;
  if (a->x != b->x) return a->x < b->x ? -1 : 1;
  if (a->y != b->y) return a->y < b->y ? -1 : 1;
  if (a->state != b->state) return a->state < b->state ? -1 : 1;
  return 0;
}

int seg2IsectCompareVoid(const void* a, const void* b) {
  Seg2Isect ra, rb;
  std::memcpy(&ra, a, sizeof ra);
  std::memcpy(&rb, b, sizeof rb);
  return seg2IsectCompare(&ra, &rb);
}

// ---- Crossings -------------------------------------------------------------------

int seg2ChainIntersect(const Seg2* a, int na, const Seg2* b, int nb, Seg2Isect* out, int capacity) {
  std::vector<Seg2Isect> recs;
  if (chainCrossings(a, na, b, nb, recs) < 0) return -1;
  const std::size_t fit =
      capacity > 0 ? std::min(recs.size(), static_cast<std::size_t>(capacity)) : 0;
  if (fit > 0 && out != nullptr) std::memcpy(out, recs.data(), fit * sizeof(Seg2Isect));
  if (recs.size() > fit || (fit > 0 && out == nullptr)) return -1;
  return static_cast<int>(recs.size());
}

int seg2ChainIntersectList(const Seg2* a, int na, const Seg2* b, int nb, Seg2IsectArray* list) {
  if (list == nullptr) return -1;
  list->count = 0;
  std::vector<Seg2Isect> recs;
  if (chainCrossings(a, na, b, nb, recs) < 0) return -1;
  return fillList(list, recs);
}

namespace {

int selfCrossings(const Seg2* chain, int n, Seg2IsectArray* list, bool allPairs) {
  if (list == nullptr) return -1;
  list->count = 0;
  if (n <= 0 || chain == nullptr) return 0;
  const ChainView c{chain, n, seg2ChainIsClosed(chain, n) == 1};
  std::vector<Seg2Isect> recs;
  try {
    // The pairs come in the order of a loop over all of them (p, then q,
    // ascending): where several pairs meet at one vertex, the first decides,
    // and the tree only leaves out pairs that cannot meet.
    const Seg2BoxTree tree(chain, n, allPairs ? 0.0 : kSeg2MeetReach);
    std::unordered_set<std::uint64_t> decided;
    for (int p = 0; p < n; ++p) {
      constexpr double kInf = std::numeric_limits<double>::infinity();
      const Seg2Box box = allPairs ? Seg2Box{-kInf, -kInf, kInf, kInf} : seg2QueryBox(chain[p]);
      tree.query(box.minX, box.minY, box.maxX, box.maxY, p + 2, [&](int q) {
        if (c.closed && p == 0 && q == n - 1) return false;
        Vec2d x;
        if (seg2Intersect(&chain[p], &chain[q], &x) != 1) return false;
        LocalPath lpA = localPath(c, p, x);
        LocalPath lpB = localPath(c, q, x);
        if (lpA.key == lpB.key) return false;  // one vertex, reached over zero-length segments
        if (lpB.key < lpA.key) std::swap(lpA, lpB);
        // The open chain's own end lying on an earlier piece is no crossing
        // (the offset ends there).
        if (!c.closed &&
            ((!lpB.hasOut && c.endsAt(n - 1, x)) || (!lpA.hasOut && c.endsAt(n - 1, x)))) {
          return false;
        }
        if (!decided.insert(pairKey(lpA.key, lpB.key)).second) return false;
        if (!pathsCross(lpA, lpB)) return false;
        recs.push_back({x.x, x.y, paramOn(chain[lpA.key], x), lpA.key + 1, lpB.key + 1, 0});
        return false;
      });
    }
    sortRecords(recs);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return fillList(list, recs);
}

}  // namespace

int offset2dSelfCrossings(const Seg2* chain, int n, Seg2IsectArray* list, int /*gapMode*/) {
  return selfCrossings(chain, n, list, false);
}

int offset2d_detail::selfCrossingsAllPairs(const Seg2* chain, int n, Seg2IsectArray* list) {
  return selfCrossings(chain, n, list, true);
}

// ---- Section index ---------------------------------------------------------------

SectionIndex* sectionIndexNew(const Seg2* chain, int n, int type, int axis) {
  if ((type != 1 && type != 2) || axis != 0 || n <= 0 || chain == nullptr) return nullptr;
  auto* index = static_cast<SectionIndex*>(std::calloc(1, sizeof(SectionIndex)));
  if (index == nullptr) return nullptr;
  index->forward =
      static_cast<double*>(std::malloc(static_cast<std::size_t>(n) * 2 * sizeof(double)));
  index->backward =
      static_cast<double*>(std::malloc(static_cast<std::size_t>(n) * 2 * sizeof(double)));
  if (index->forward == nullptr || index->backward == nullptr) {
    sectionIndexFree(index);
    return nullptr;
  }
  index->segCount = n;
  index->axis = 0;

  double lo = chain[0].x0, hi = chain[0].x0;
  for (int i = 0; i < n; ++i) {
    lo = std::min({lo, chain[i].x0, chain[i].x1});
    hi = std::max({hi, chain[i].x0, chain[i].x1});
  }
  auto setSection = [&](int s, int first, int lastIndex, int dir) {
    double runMin = chain[first].x0, runMax = chain[first].x0;
    for (int i = first; i <= lastIndex; ++i) {
      runMin = std::min({runMin, chain[i].x0, chain[i].x1});
      runMax = std::max({runMax, chain[i].x0, chain[i].x1});
      index->forward[2 * i] = runMin;
      index->forward[2 * i + 1] = runMax;
    }
    // Type 1 sections carry the chain's overall range, type 2 their own.
    index->sections[s] = {
        1, first, lastIndex, dir, type == 1 ? lo : runMin, type == 1 ? hi : runMax};
    runMin = chain[lastIndex].x0;
    runMax = chain[lastIndex].x0;
    for (int i = lastIndex; i >= first; --i) {
      runMin = std::min({runMin, chain[i].x0, chain[i].x1});
      runMax = std::max({runMax, chain[i].x0, chain[i].x1});
      index->backward[2 * i] = runMin;
      index->backward[2 * i + 1] = runMax;
    }
  };

  if (type == 2) {
    // The chain's x-monotone runs; the last section takes whatever is left
    // when there are more runs than sections (its bounds stay correct, they
    // only prune less).
    int first = 0, dir = 0, count = 0;
    for (int i = 0; i < n; ++i) {
      const double dx = chain[i].x1 - chain[i].x0;
      const int d = dx > 0.0 ? 1 : (dx < 0.0 ? -1 : 0);
      if (dir == 0) dir = d;
      if (d != 0 && d != dir && count < kSectionIndexMaxSections - 1) {
        setSection(count++, first, i - 1, dir >= 0 ? 1 : -1);
        first = i;
        dir = d;
      }
    }
    setSection(count++, first, n - 1, dir >= 0 ? 1 : -1);
    index->sectionCount = count;
    return index;
  }

  // Type 1: one cut, after the run of segments that reaches the maximum x.
  auto atMax = [hi](double v) { return std::fabs(v - hi) < kGeoEqualTol; };
  int split = n - 1;  // last segment of section 0
  int dir0 = 1;
  const Seg2& last = chain[n - 1];
  if (!atMax(last.x0) && !atMax(last.x1)) {
    int f = 0;
    while (f < n && !atMax(chain[f].x0) && !atMax(chain[f].x1)) ++f;
    if (f < n) {
      int k = f - 1;
      for (int i = f; i < n && atMax(chain[i].x1); ++i) k = i;
      split = k;
    }
    if (split < 0) {  // the chain starts at its maximum: one falling section
      split = n - 1;
      dir0 = -1;
    }
  }
  setSection(0, 0, split, dir0);
  index->sectionCount = 1;
  if (split < n - 1) {
    setSection(1, split + 1, n - 1, -1);
    index->sectionCount = 2;
  }
  return index;
}

void sectionIndexFree(SectionIndex* index) {
  if (index == nullptr) return;
  std::free(index->forward);
  std::free(index->backward);
  std::free(index);
}

int sectionIndexFirst(const SectionIndex* index, const Seg2* query, int start) {
  if (index == nullptr) return start;
  const double lo = std::min(query->x0, query->x1) - kIndexReach;
  const double hi = std::max(query->x0, query->x1) + kIndexReach;
  for (int s = 0; s < index->sectionCount && index->sections[s].inUse; ++s) {
    const SectionRec& sec = index->sections[s];
    if (sec.last < start || sec.max < lo || sec.min > hi) continue;
    int left = std::max(start, sec.first), right = sec.last;
    auto reaches = [&](int i) {
      return sec.direction > 0 ? index->forward[2 * i + 1] >= lo : index->forward[2 * i] <= hi;
    };
    if (!reaches(right)) continue;
    while (left < right) {  // the bound is monotone within a section
      const int mid = left + (right - left) / 2;
      if (reaches(mid)) {
        right = mid;
      } else {
        left = mid + 1;
      }
    }
    return left;
  }
  return -1;
}

int sectionIndexNext(const Seg2* query, const SectionIndex* index, int i) {
  if (index == nullptr) return i;
  if (i < 0 || i >= index->segCount) return -1;
  const double lo = std::min(query->x0, query->x1) - kIndexReach;
  const double hi = std::max(query->x0, query->x1) + kIndexReach;
  for (int s = 0; s < index->sectionCount && index->sections[s].inUse; ++s) {
    const SectionRec& sec = index->sections[s];
    if (i < sec.first || i > sec.last) continue;
    const double bMin = index->backward[2 * i] - kGeoEqualTol;
    const double bMax = index->backward[2 * i + 1] + kGeoEqualTol;
    if (hi >= bMin && lo <= bMax) return i;
    return sectionIndexFirst(index, query, sec.last + 1);
  }
  return -1;
}
