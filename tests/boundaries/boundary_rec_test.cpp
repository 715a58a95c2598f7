#include "boundaries/boundary_rec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "boundaries/macros/macro_rec.h"
#include "geometry/curves/curve.h"

namespace {

// A boundary record over a closed chain through pts (closing segment added).
struct TestBoundary {
  explicit TestBoundary(const std::vector<Vec2d>& pts) {
    for (size_t i = 0; i < pts.size(); ++i) {
      const Vec2d& a = pts[i];
      const Vec2d& b = pts[(i + 1) % pts.size()];
      segs.push_back(Seg2{a.x, a.y, b.x, b.y});
    }
    rec.segs = segs.data();
    rec.segCount = static_cast<int32_t>(segs.size());
    rec.isOuter = 1;
  }
  void setIntervals(const std::vector<BndPair>& iv) {
    intervals = iv;
    rec.intervals = intervals.data();
    rec.intervalCount = static_cast<int32_t>(intervals.size());
  }
  std::vector<Seg2> segs;
  std::vector<BndPair> intervals;
  BoundaryRec rec{};
};

// A U shape: the notch between x 1 and 2 above y 1 is outside.
const std::vector<Vec2d> kU{{0, 0}, {3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}};

TEST(BndPointInsideTest, EvenOddAgainstContour) {
  TestBoundary u(kU);
  struct Row {
    Vec3d p;
    int inside;
  };
  const Row rows[] = {
      {{0.5, 2, 0}, 1}, {{2.5, 2, 0}, 1}, {{1.5, 0.5, 99}, 1}, {{1.5, 2, 0}, 0},
      {{-1, 1, 0}, 0},  {{4, 0.5, 0}, 0}, {{0.5, 1, 0}, 1},  // on the ray through two vertices
  };
  for (const Row& r : rows) {
    EXPECT_EQ(bndPointInside(&u.rec, &r.p), r.inside) << r.p.x << "," << r.p.y;
  }
  // The winding direction of the contour does not matter.
  std::vector<Vec2d> reversed(kU.rbegin(), kU.rend());
  TestBoundary cw(reversed);
  EXPECT_EQ(bndPointInside(&cw.rec, &rows[0].p), 1);
  EXPECT_EQ(bndPointInside(&cw.rec, &rows[3].p), 0);
}

TEST(BndPointInsideTest, NullBoundaryIsInsideAndEmptyIsOutside) {
  const Vec3d p{1e9, -1e9, 0};
  EXPECT_EQ(bndPointInside(nullptr, &p), 1);
  BoundaryRec empty{};
  EXPECT_EQ(bndPointInside(&empty, &p), 0);
}

int activeSaysInsideLeftHalf(const Vec2d* p) { return p->x < 0 ? 1 : 0; }
int noActiveBoundary(const Vec2d*) { return -1; }

TEST(BndPointInsideTest, ActiveBoundaryAnswersFirst) {
  TestBoundary u(kU);
  const Vec3d left{-5, 0, 0};
  const Vec3d inU{0.5, 2, 0};
  bndSetActivePointQuery(&activeSaysInsideLeftHalf);
  EXPECT_EQ(bndPointInside(&u.rec, &left), 1);
  EXPECT_EQ(bndPointInside(&u.rec, &inU), 0);
  EXPECT_EQ(bndPointInside(nullptr, &inU), 1);
  bndSetActivePointQuery(&noActiveBoundary);
  EXPECT_EQ(bndPointInside(&u.rec, &inU), 1);
  bndSetActivePointQuery(nullptr);
  EXPECT_EQ(bndPointInside(&u.rec, &left), 0);
}

TEST(BndParamInsideTest, IntervalsWithSlack) {
  TestBoundary b(kU);
  b.setIntervals({{1, 2}, {4, 5}});
  struct Row {
    double t;
    int inside;
  };
  const Row rows[] = {{1 - 0.000009, 1},
                      {1 - 0.00002, 0},
                      {1.5, 1},
                      {2 + 0.000009, 1},
                      {2 + 0.00002, 0},
                      {3, 0},
                      {4, 1},
                      {5.000009, 1},
                      {6, 0}};
  for (const Row& r : rows) EXPECT_EQ(bndParamInside(&b.rec, r.t), r.inside) << r.t;
  EXPECT_EQ(bndParamInside(nullptr, 3), 1);
  b.setIntervals({});
  EXPECT_EQ(bndParamInside(&b.rec, 1.5), 0);
}

TEST(BndListParamInsideTest, OuterIntervalsOnly) {
  EXPECT_EQ(bndListParamInside(nullptr, 0), 1);
  TestBoundary first(kU), island(kU), second(kU);
  first.setIntervals({});
  island.setIntervals({{0, 10}});
  island.rec.isOuter = 0;
  second.setIntervals({{1, 2}, {6, 7}});
  first.rec.next = &island.rec;
  island.rec.next = &second.rec;
  EXPECT_EQ(bndListParamInside(&first.rec, 6.5), 1);
  EXPECT_EQ(bndListParamInside(&first.rec, 4), 0);  // only the island holds it
  EXPECT_EQ(bndListParamInside(&first.rec, 0.99999), 1);
}

TEST(BndPairListTest, GrowsByDoubling) {
  ItemArray* list = bndPairListNew(2);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(list->capacity, 2);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(bndPairListAppend(list, i, 10 * i), 1);
  EXPECT_EQ(list->count, 5);
  EXPECT_EQ(list->capacity, 8);
  const auto* pairs = static_cast<const BndPair*>(list->items);
  EXPECT_EQ(pairs[4].first, 4);
  EXPECT_EQ(pairs[4].second, 40);
  itemArrayFree(list);
  ItemArray* tiny = bndPairListNew(0);
  ASSERT_NE(tiny, nullptr);
  EXPECT_EQ(bndPairListAppend(tiny, 1, 2), 1);
  EXPECT_EQ(bndPairListAppend(tiny, 3, 4), 1);
  itemArrayFree(tiny);
  EXPECT_EQ(bndPairListAppend(nullptr, 1, 2), -1);
}

// Test doubles of the services the crossing list builds on: the polylines are
// horizontal lines at a height (z) given by a fake record.
struct FakePolyline {
  double y;
  double z;
};

std::vector<BndPair> gFakeIntervals;
int gIntervalResult = 0;

int fakeIntervals(const BoundaryRec*, const CurveRec*, ItemArray* pairs) {
  pairs->count = 0;
  for (const BndPair& p : gFakeIntervals) bndPairListAppend(pairs, p.first, p.second);
  return gIntervalResult < 0 ? gIntervalResult : static_cast<int>(gFakeIntervals.size());
}

double fakeNearest(const ArcLenPline* pline, const Vec3d* p, Vec3d* out) {
  const auto* f = reinterpret_cast<const FakePolyline*>(pline);
  *out = Vec3d{p->x, f->y, f->z};
  return std::fabs(p->y - f->y);
}

class BndCrossingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bndSetCrossingServices(&fakeIntervals, &fakeNearest);
    gIntervalResult = 0;
    node2 = BndPolylineNode{reinterpret_cast<ArcLenPline*>(&far), nullptr};
    node1 = BndPolylineNode{reinterpret_cast<ArcLenPline*>(&near), &node2};
    set.boundaryChain = &square.rec;
    set.polylines = &node1;
    pairs = bndPairListNew(1);
  }
  void TearDown() override {
    bndSetCrossingServices(nullptr, nullptr);
    itemArrayFree(pairs);
    curveFree(curve);
  }
  std::vector<BndPair> run(double distance) {
    EXPECT_EQ(bndSetCurveCrossings(&set, curve, distance, pairs), 1);
    const auto* p = static_cast<const BndPair*>(pairs->items);
    return std::vector<BndPair>(p, p + pairs->count);
  }
  TestBoundary square{{{0, 0}, {10, 0}, {10, 10}, {0, 10}}};
  FakePolyline near{0.5, 7.0};
  FakePolyline far{0.2, 9.0};  // strictly nearer: replaces the first
  BndPolylineNode node1{}, node2{};
  BoundarySet set{};
  ItemArray* pairs = nullptr;
  CurveRec* curve = nullptr;
};

TEST_F(BndCrossingsTest, PairsAtIntervalEndsNearPolylines) {
  Vec2d pts[2] = {{-5, 0}, {15, 0}};
  curve = curveNew(pts, 2, kCurveKindPolyline);
  gFakeIntervals = {{5, 15}};
  const std::vector<BndPair> got = run(0.3);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].first, 5);
  EXPECT_EQ(got[0].second, 9.0);
  EXPECT_EQ(got[1].first, 15);
  // Too far from every polyline: nothing.
  EXPECT_TRUE(run(0.1).empty());
}

TEST_F(BndCrossingsTest, StartOnBoundaryWithoutEarlyCrossingAddsStartPair) {
  Vec2d pts[2] = {{0, 0.05}, {5, 0.05}};  // starts on the square's left edge
  curve = curveNew(pts, 2, kCurveKindPolyline);
  gFakeIntervals = {};
  std::vector<BndPair> got = run(0.3);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].first, 0);
  EXPECT_EQ(got[0].second, 9.0);
  // A crossing right after the start suppresses the start pair.
  gFakeIntervals = {{0.1, 4}};
  got = run(0.3);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_DOUBLE_EQ(got[0].first, 0.1);
}

TEST_F(BndCrossingsTest, FailuresAndMissingServices) {
  Vec2d pts[2] = {{-5, 0}, {15, 0}};
  curve = curveNew(pts, 2, kCurveKindPolyline);
  gFakeIntervals = {{5, 15}};
  gIntervalResult = -1;
  EXPECT_EQ(bndSetCurveCrossings(&set, curve, 0.3, pairs), -1);
  bndSetCrossingServices(nullptr, nullptr);
  EXPECT_EQ(bndSetCurveCrossings(&set, curve, 0.3, pairs), 1);
  EXPECT_EQ(pairs->count, 0);
  EXPECT_EQ(bndSetCurveCrossings(nullptr, curve, 0.3, pairs), 1);
}

TEST(MacroHolderCollidedTest, FlagIsStored) {
  EXPECT_EQ(macroHolderCollided(), 0);
  macroSetHolderCollided(1);
  EXPECT_EQ(macroHolderCollided(), 1);
  macroSetHolderCollided(0);
}

}  // namespace
