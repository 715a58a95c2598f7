#include "boundaries/boundary_rec.h"

#include <atomic>
#include <cstdlib>

#include "boundaries/bnd_active.h"
#include "boundaries/bnd_intervals.h"
#include "geometry/curves/curve.h"
#include "geometry/primitives/primitives.h"

namespace {

std::atomic<BndActivePointQuery> gActivePointQuery{nullptr};
std::atomic<BndCurveIntervalsFn> gCurveIntervals{nullptr};
std::atomic<BndPolylineNearestFn> gPolylineNearest{nullptr};

// The interval walk shared by both parameter tests: 1 when t lies in one of
// the intervals (with the slack), 0 when the walk passes t or runs out.
int intervalsHold(const BndPair* intervals, int count, double t) {
  for (int i = 0; i < count; ++i) {
    if (t < intervals[i].first - kBndTol) return 0;
    if (t < intervals[i].second + kBndTol) return 1;
  }
  return 0;
}

// Nearest polyline point of the set to p; false when the set has none.
bool nearestPolylinePoint(const BoundarySet* set, BndPolylineNearestFn nearest, const Vec3d& p,
                          double* distance, Vec3d* out) {
  bool found = false;
  for (const BndPolylineNode* n = set->polylines; n != nullptr; n = n->next) {
    Vec3d q{};
    const double d = nearest(n->pline, &p, &q);
    // The first polyline sets the best; a later one must be strictly nearer.
    if (!found || d < *distance) {
      *distance = d;
      *out = q;
      found = true;
    }
  }
  return found;
}

}  // namespace

void bndSetActivePointQuery(BndActivePointQuery query) { gActivePointQuery.store(query); }

void bndSetCrossingServices(BndCurveIntervalsFn intervals, BndPolylineNearestFn nearest) {
  gCurveIntervals.store(intervals);
  gPolylineNearest.store(nearest);
}

int bndPointInside(const BoundaryRec* boundary, const Vec3d* point) {
  if (boundary == nullptr) return 1;
  // The active boundary answers for whatever boundary was passed.
  const Vec2d at{point->x, point->y};
  const int active = bndActivePointInside(&at);
  if (active != -1) return active;
  const BndActivePointQuery query = gActivePointQuery.load(std::memory_order_relaxed);
  if (query != nullptr) {
    const Vec2d p{point->x, point->y};
    const int answer = query(&p);
    if (answer != -1) return answer != 0 ? 1 : 0;
  }
  if (boundary->segs == nullptr || boundary->segCount <= 0) return 0;
  const Vec2d p{point->x, point->y};
  return seg2ChainWinding(boundary->segs, boundary->segCount, &p) != 0 ? 1 : 0;
}

int bndParamInside(const BoundaryRec* boundary, double t) {
  if (boundary == nullptr) return 1;
  if (boundary->intervalCount <= 0 || boundary->intervals == nullptr) return 0;
  return intervalsHold(boundary->intervals, boundary->intervalCount, t);
}

int bndListParamInside(const BoundaryRec* chain, double t) {
  if (chain == nullptr) return 1;
  for (const BoundaryRec* b = chain; b != nullptr; b = b->next) {
    if (!b->isOuter || b->intervalCount <= 0 || b->intervals == nullptr) continue;
    if (intervalsHold(b->intervals, b->intervalCount, t)) return 1;
  }
  return 0;
}

ItemArray* bndPairListNew(int capacity) {
  if (capacity < 1) capacity = 1;
  auto* list = static_cast<ItemArray*>(std::calloc(1, sizeof(ItemArray)));
  if (list == nullptr) return nullptr;
  list->items = std::calloc(capacity, sizeof(BndPair));
  if (list->items == nullptr) {
    std::free(list);
    return nullptr;
  }
  list->capacity = capacity;
  return list;
}

int bndPairListAppend(ItemArray* list, double a, double b) {
  if (list == nullptr || list->items == nullptr) return -1;
  if (list->count >= list->capacity) {
    const int grown = list->capacity > 0 ? list->capacity * 2 : 1;
    void* items = std::realloc(list->items, sizeof(BndPair) * static_cast<std::size_t>(grown));
    if (items == nullptr) return -1;
    list->items = items;
    list->capacity = grown;
  }
  static_cast<BndPair*>(list->items)[list->count++] = BndPair{a, b};
  return 1;
}

int bndSetCurveCrossings(const BoundarySet* set, const CurveRec* curve, double distance,
                         ItemArray* pairs) {
  if (pairs != nullptr) pairs->count = 0;
  if (set == nullptr || curve == nullptr || pairs == nullptr) return 1;
  BndCurveIntervalsFn intervalsOf = gCurveIntervals.load();
  if (intervalsOf == nullptr) intervalsOf = bndCurveIntervalsAppend;
  const BndPolylineNearestFn nearest = gPolylineNearest.load();
  if (nearest == nullptr) return 1;

  ItemArray* inside = bndPairListNew(20);
  if (inside == nullptr) return -1;
  if (set->boundaryChain != nullptr && intervalsOf(set->boundaryChain, curve, inside) < 0) {
    itemArrayFree(inside);
    return -1;
  }
  const auto* iv = static_cast<const BndPair*>(inside->items);
  for (int i = 0; i < inside->count; ++i) {
    for (const double t : {iv[i].first, iv[i].second}) {
      Vec2d p{};
      double z = 0.0;
      if (curveEvalAt(curve, t, &p, &z) < 0) continue;
      double d = 0.0;
      Vec3d q{};
      if (nearestPolylinePoint(set, nearest, Vec3d{p.x, p.y, z}, &d, &q) && d <= distance) {
        bndPairListAppend(pairs, t, q.z);
      }
    }
  }
  // A curve that starts on a boundary without a crossing near its start still
  // gets a pair there.
  const bool noEarlyCrossing = inside->count == 0 || curve->t0 + distance < iv[0].first;
  if (noEarlyCrossing && curve->count > 0 && curve->points != nullptr) {
    const Vec2d& first = curve->points[0];
    bool nearBoundary = false;
    for (const BoundaryRec* b = set->boundaryChain; b != nullptr && !nearBoundary; b = b->next) {
      if (b->segs == nullptr || b->segCount <= 0) continue;
      nearBoundary = seg2ArrayNearest(&first, b->segs, b->segCount, nullptr) < distance;
    }
    double d = 0.0;
    Vec3d q{};
    if (nearBoundary && nearestPolylinePoint(set, nearest, Vec3d{first.x, first.y, 0.0}, &d, &q)) {
      bndPairListAppend(pairs, 0.0, q.z);
    }
  }
  itemArrayFree(inside);
  return 1;
}
