#include "boundaries/bnd_active.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "boundaries/bnd_file.h"
#include "boundaries/bnd_intervals.h"
#include "geometry/curves/curve.h"
#include "support/message_capture.h"

namespace {

// Clears the active boundary around each test.
class BndActiveTest : public ::testing::Test {
 protected:
  void SetUp() override { bndClearActive(); }
  void TearDown() override { bndClearActive(); }
};

// Lists island in outer's islands list and marks it an island.
void addIsland(BoundaryRec* outer, BoundaryRec* island) {
  island->isOuter = 0;
  auto* node = static_cast<BoundaryIslandNode*>(std::calloc(1, sizeof(BoundaryIslandNode)));
  node->island = island;
  BoundaryIslandNode** at = &outer->islands;
  while (*at != nullptr) at = &(*at)->next;
  *at = node;
}

// Links the records into a chain in the given order.
BoundaryRec* chainOf(const std::vector<BoundaryRec*>& recs) {
  for (size_t i = 0; i + 1 < recs.size(); ++i) recs[i]->next = recs[i + 1];
  recs.back()->next = nullptr;
  return recs.front();
}

CurveRec* lineX(double y, double x0, double x1) {
  const Vec3d a{x0, y, 0};
  const Vec3d b{x1, y, 0};
  return curveNewLine3d(&a, &b);
}

std::vector<double> intervalsOf(const BoundaryRec* b) {
  std::vector<double> out;
  for (int i = 0; i < b->intervalCount; ++i) {
    out.push_back(b->intervals[i].first);
    out.push_back(b->intervals[i].second);
  }
  return out;
}

void expectNear(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-9) << i;
}

int inside(const BoundaryRec* b, double x, double y) {
  const Vec3d p{x, y, 0};
  return bndPointInside(b, &p);
}

TEST_F(BndActiveTest, AnIslandNeverBecomesActive) {
  BoundaryRec* outer = bndNewRect(0, 10, 0, 10);
  BoundaryRec* island = bndNewRect(3, 7, 3, 7);
  addIsland(outer, island);
  BoundaryRec* chain = chainOf({outer, island});
  EXPECT_EQ(bndSetActive(island), 0);
  EXPECT_EQ(bndActiveTree(), nullptr);
  ASSERT_EQ(bndSetActive(outer), 1);
  const Kont2d* tree = bndActiveTree();
  EXPECT_EQ(bndSetActive(island), 0);
  EXPECT_EQ(bndActiveTree(), tree);  // the previous one stays
  EXPECT_EQ(bndSetActive(nullptr), 0);
  bndFreeList(chain);
}

TEST_F(BndActiveTest, TheActiveTreeAnswersForAnyBoundary) {
  BoundaryRec* a = bndNewRect(0, 10, 0, 10);
  BoundaryRec* hole = bndNewRect(3, 7, 3, 7);
  BoundaryRec* b = bndNewRect(20, 30, 0, 10);
  addIsland(a, hole);
  BoundaryRec* chain = chainOf({a, hole, b});
  const struct {
    double x, y;
    int active;  // with a active
    int ownB;    // b's own contour
  } rows[] = {{1, 1, 1, 0}, {5, 5, 0, 0}, {25, 5, 1, 1}, {15, 5, 0, 0}, {-1, 5, 0, 0}};
  ASSERT_EQ(bndSetActive(a), 1);
  for (const auto& r : rows) EXPECT_EQ(inside(b, r.x, r.y), r.active) << r.x << "," << r.y;
  bndClearActive();
  for (const auto& r : rows) EXPECT_EQ(inside(b, r.x, r.y), r.ownB) << r.x << "," << r.y;
  const Vec2d p{1, 1};
  EXPECT_EQ(bndActivePointInside(&p), -1);
  bndFreeList(chain);
}

TEST_F(BndActiveTest, APointInAHoleOfTheFirstContourInsideALaterOuterContourIsInside) {
  BoundaryRec* a = bndNewRect(0, 10, 0, 10);
  BoundaryRec* hole = bndNewRect(2, 8, 2, 8);
  BoundaryRec* c = bndNewRect(4, 6, 4, 6);  // an outer boundary inside the hole
  addIsland(a, hole);
  BoundaryRec* chain = chainOf({a, hole, c});
  ASSERT_EQ(bndSetActive(a), 1);
  EXPECT_EQ(inside(a, 5, 5), 1);
  EXPECT_EQ(inside(a, 3, 3), 0);
  EXPECT_EQ(inside(a, 1, 1), 1);
  bndFreeList(chain);
}

// The offset copy holds the contact offset in its contour, so the active
// path applies it once, exactly like the inactive one.
TEST_F(BndActiveTest, ActiveIntervalsApplyTheContactOffsetOnce) {
  BoundaryRec* outer = bndNewRect(0, 10, 0, 10);
  BoundaryRec* island = bndNewRect(4, 6, 4, 6);
  addIsland(outer, island);
  BoundaryRec* other = bndNewRect(100, 110, 0, 10);
  BoundaryRec* chain = chainOf({outer, island, other});
  outer->contactOffset = 1;
  island->contactOffset = 0.5;
  CurveRec* line = lineX(5, -5, 15);  // parameters 0 .. 20
  const std::vector<double> once = {4, 9.5, 10.5, 16};
  ASSERT_EQ(bndSetCurveIntervals(outer, line), 2);
  expectNear(intervalsOf(outer), once);
  ASSERT_EQ(bndSetActive(outer), 1);
  // Another boundary gets the active boundary's intervals.
  ASSERT_EQ(bndSetCurveIntervals(other, line), 2);
  expectNear(intervalsOf(other), once);
  bndClearActive();
  EXPECT_EQ(bndSetCurveIntervals(other, line), 0);
  curveFree(line);
  bndFreeList(chain);
}

TEST_F(BndActiveTest, OffsetCopyKeepsTheRecordAndOwnsItsContour) {
  BoundaryRec* outer = bndNewRect(0, 10, 0, 10);
  BoundaryRec* island = bndNewRect(4, 6, 4, 6);
  addIsland(outer, island);
  BoundaryRec* chain = chainOf({outer, island});
  outer->contactOffset = 2;
  outer->reduceOffset = 0.25;
  outer->zMin = -3;
  island->contactOffset = 0.5;
  BoundaryRec* copy = bndOffsetCopyWithIslands(outer);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->segs, outer->segs);
  EXPECT_EQ(copy->contactOffset, 0.0);
  EXPECT_EQ(copy->reduceOffset, 0.25);
  EXPECT_EQ(copy->zMin, -3);
  EXPECT_EQ(copy->xMax, 10);  // the source's box
  EXPECT_EQ(copy->next, nullptr);
  EXPECT_EQ(copy->intervals, nullptr);
  // The offset contour runs 2 outside the square.
  double xMin = 1e9;
  for (int i = 0; i < copy->segCount; ++i) xMin = std::min(xMin, copy->segs[i].x0);
  EXPECT_NEAR(xMin, -2, 1e-9);
  ASSERT_NE(copy->islands, nullptr);
  EXPECT_EQ(copy->islands->next, nullptr);
  const BoundaryRec* ic = copy->islands->island;
  EXPECT_EQ(ic->isOuter, 0);
  double ixMin = 1e9;
  for (int i = 0; i < ic->segCount; ++i) ixMin = std::min(ixMin, ic->segs[i].x0);
  EXPECT_NEAR(ixMin, 4.5, 1e-9);
  bndFreeOffsetCopy(copy);
  EXPECT_EQ(bndOffsetCopy(nullptr), nullptr);
  bndFreeList(chain);
}

TEST(BndThreadLists, EmptySourceGivesNullHeads) {
  BndThreadLists lists{};
  ASSERT_EQ(bndThreadListsCopy(&lists, nullptr, 3), &lists);
  ASSERT_EQ(lists.count, 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(lists.heads[i], nullptr);
  bndThreadListsFree(&lists);
  EXPECT_EQ(lists.count, 0);
  bndThreadListsFree(nullptr);
}

// Every thread computes intervals and offsets on its own copy: the copies
// share no segments, so the results are those of a serial run and the source
// stays as it was.
TEST(BndThreadLists, CopiesAreIndependentUnderParallelUse) {
  constexpr int kThreads = 8;
  BoundaryRec* outer = bndNewRect(0, 10, 0, 10);
  BoundaryRec* island = bndNewRect(4, 6, 4, 6);
  addIsland(outer, island);
  BoundaryRec* chain = chainOf({outer, island});
  outer->contactOffset = 0.5;
  const std::vector<Seg2> before(outer->segs, outer->segs + outer->segCount);
  BndThreadLists lists{};
  ASSERT_NE(bndThreadListsCopy(&lists, chain, kThreads), nullptr);
  for (int t = 0; t < kThreads; ++t) {
    BoundaryRec* c = lists.heads[t];
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->segs, outer->segs);
    ASSERT_NE(c->next, nullptr);
    EXPECT_EQ(c->next->isOuter, 0);
    ASSERT_NE(c->islands, nullptr);
    EXPECT_NE(c->islands->island, island);
    EXPECT_EQ(c->intervals, nullptr);
  }
  std::vector<std::vector<double>> got(kThreads);
  std::vector<int> offsetOk(kThreads, 0);
#pragma omp parallel for num_threads(kThreads)
  for (int t = 0; t < kThreads; ++t) {
    BoundaryRec* c = lists.heads[t];
    CurveRec* line = lineX(1.5 + t, -5, 15);
    bndSetCurveIntervals(c, line);
    got[t] = intervalsOf(c);
    curveFree(line);
    offsetOk[t] = bndOffset(c, 0.1 * (t + 1));
  }
  for (int t = 0; t < kThreads; ++t) {
    CurveRec* line = lineX(1.5 + t, -5, 15);
    ASSERT_GE(bndSetCurveIntervals(outer, line), 0);
    EXPECT_FALSE(got[t].empty()) << t;
    EXPECT_EQ(got[t], intervalsOf(outer)) << t;
    curveFree(line);
    EXPECT_EQ(offsetOk[t], 1) << t;
  }
  ASSERT_EQ(outer->segCount, static_cast<int>(before.size()));
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(outer->segs[i].x0, before[i].x0);
  bndThreadListsFree(&lists);
  bndFreeList(chain);
}

std::vector<double> firstXs(const BoundaryRec* chain) {
  std::vector<double> out;
  for (const BoundaryRec* b = chain; b != nullptr; b = b->next) out.push_back(b->segs[0].x0);
  return out;
}

TEST(LpoOrderBoundaryList, OutersInTravelOrderEachFollowedByItsIslands) {
  BoundaryRec* far = bndNewRect(50, 52, 0, 2);
  BoundaryRec* near = bndNewRect(10, 12, 0, 2);
  BoundaryRec* mid = bndNewRect(30, 38, 0, 8);
  BoundaryRec* midIsland = bndNewRect(33, 35, 3, 5);
  addIsland(mid, midIsland);
  BoundaryRec* chain = chainOf({far, midIsland, near, mid});
  tsupport::MessageCapture messages;
  ASSERT_EQ(lpoOrderBoundaryList(&chain, 0, 0, 0), 1);
  EXPECT_EQ(firstXs(chain), (std::vector<double>{10, 30, 33, 50}));
  EXPECT_EQ(messages.values, (std::vector<std::string>{"1450,0", "1451,0"}));
  BoundaryRec* empty = nullptr;
  EXPECT_EQ(lpoOrderBoundaryList(&empty, 0, 0, 0), -1);
  // Freeing the reordered chain frees every record (the sanitizer run checks).
  bndFreeList(chain);
}

TEST(LpoOrderBoundaryList, OneOuterWithItsIslandsStaysFirst) {
  BoundaryRec* outer = bndNewRect(0, 10, 0, 10);
  BoundaryRec* i1 = bndNewRect(1, 2, 1, 2);
  BoundaryRec* i2 = bndNewRect(5, 6, 5, 6);
  addIsland(outer, i1);
  addIsland(outer, i2);
  BoundaryRec* chain = chainOf({i2, outer, i1});
  ASSERT_EQ(lpoOrderBoundaryList(&chain, 0, 0, 0), 1);
  EXPECT_EQ(chain, outer);
  EXPECT_EQ(firstXs(chain), (std::vector<double>{0, 1, 5}));
  bndFreeList(chain);
}

TEST(LpoOrderCurveList, CurvesInTravelOrderFromTheStart) {
  CurveRec* a = lineX(0, 40, 45);
  CurveRec* b = lineX(0, 5, 8);
  CurveRec* c = lineX(0, 20, 22);
  a->next = b;
  b->next = c;
  CurveRec* head = a;
  ASSERT_EQ(lpoOrderCurveList(&head, 0, 0, 0), 1);
  std::vector<double> xs;
  for (const CurveRec* k = head; k != nullptr; k = k->next) xs.push_back(k->points[0].x);
  EXPECT_EQ(xs, (std::vector<double>{5, 20, 40}));
  CurveRec* none = nullptr;
  EXPECT_EQ(lpoOrderCurveList(&none, 0, 0, 0), -1);
  curveFree(head);
}

}  // namespace
