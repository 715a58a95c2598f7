#include "geometry/pline/pline_copies.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "geometry/pline/pline_stack.h"
#include "support/test_plines.h"

namespace {

using tsupport::plineCodes;
using tsupport::PlinePtr;
using tsupport::plineThrough;

PointStatus st(int code) { return pointStatusMake(kPointKindContact, code); }

std::vector<Vec3d> alongX(const std::vector<double>& xs) {
  std::vector<Vec3d> pts;
  for (double x : xs) pts.push_back({x, 0, 0});
  return pts;
}

std::vector<double> xsOf(const Pline* pl) {
  std::vector<double> xs;
  for (int i = 0; i < pl->count; ++i) xs.push_back(pl->points[i].x);
  return xs;
}

// Ten points along x; 2, 5 and 9 dropped, 6 a gap.
PlinePtr tenWithMarks(int withAxes) {
  std::vector<PointStatus> status(10, st(kPointCut));
  status[2] = status[5] = status[9] = st(kPointDropped);
  status[6] = pointStatusMake(0, kPointGap);
  PlinePtr pl = plineThrough(alongX({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), status, withAxes);
  pl->tag = 7;
  return pl;
}

TEST(PlineCopyCompacted, LeavesOutDroppedPointsWithEveryArray) {
  PlinePtr src = tenWithMarks(1);
  PlinePtr dst = plineThrough(alongX({42}));
  Pline marker{};
  dst->next = &marker;
  ASSERT_EQ(plineCopyCompacted(src.get(), dst.get()), 1);
  EXPECT_EQ(xsOf(dst.get()), (std::vector<double>{0, 1, 3, 4, 6, 7, 8}));
  EXPECT_EQ(dst->capacity, 10);
  EXPECT_EQ(dst->tag, 7);
  EXPECT_EQ(dst->next, &marker);
  ASSERT_NE(dst->axes, nullptr);
  EXPECT_EQ(dst->axes[2].x, 3);
  EXPECT_EQ(dst->flags[6], 8);
  EXPECT_EQ(dst->params[4], 6);
  EXPECT_EQ(plineCodes(dst.get())[4], kPointGap);
}

TEST(PlineCopyUnmarked, LeavesOutGapsToo) {
  PlinePtr src = tenWithMarks(0);
  PlinePtr dst = plineThrough(alongX({42}), {}, 1);
  ASSERT_EQ(plineCopyUnmarked(src.get(), dst.get()), 1);
  EXPECT_EQ(xsOf(dst.get()), (std::vector<double>{0, 1, 3, 4, 7, 8}));
  EXPECT_EQ(dst->axes, nullptr);  // src has none
  EXPECT_EQ(dst->flags, nullptr);
}

TEST(PlineCopyCompacted, IntoItselfCompactsInPlace) {
  PlinePtr pl = tenWithMarks(1);
  ASSERT_EQ(plineCopyCompacted(pl.get(), pl.get()), 1);
  EXPECT_EQ(xsOf(pl.get()), (std::vector<double>{0, 1, 3, 4, 6, 7, 8}));
  EXPECT_EQ(pl->axes[6].x, 8);
}

TEST(PlineCopyCompacted, NullArgumentsFail) {
  PlinePtr pl = tenWithMarks(0);
  EXPECT_EQ(plineCopyCompacted(pl.get(), nullptr), -1);
  EXPECT_EQ(plineCopyCompacted(nullptr, pl.get()), -1);
  EXPECT_EQ(pl->count, 10);
}

struct AtParamRow {
  const char* name;
  double t;
  int segment;
  double x;
};

class PlinePointAtParamTest : public ::testing::TestWithParam<AtParamRow> {};

// Points at x = 0, 10, 20, 30 with parameters 0, 1, 2, 3: the point at t
// lies at x = 10 t.
TEST_P(PlinePointAtParamTest, SegmentAndPoint) {
  const AtParamRow& row = GetParam();
  PlinePtr pl = plineThrough(alongX({0, 10, 20, 30}));
  Vec3d out{-1, -1, -1};
  ASSERT_EQ(plinePointAtParam(pl.get(), row.t, &out), row.segment);
  EXPECT_NEAR(out.x, row.x, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Table, PlinePointAtParamTest,
                         ::testing::Values(AtParamRow{"BackwardInterpolates", 2.5, 2, 25},
                                           AtParamRow{"BeyondEndExtrapolates", 4, 2, 40},
                                           AtParamRow{"ForwardInterpolates", 0.25, 0, 2.5},
                                           AtParamRow{"BeforeStartExtrapolates", -1, 0, -10},
                                           // At a point the forward search ends the segment
                                           // before it, the backward one starts the next.
                                           AtParamRow{"ForwardOnInnerPoint", 1, 0, 10},
                                           AtParamRow{"BackwardOnInnerPoint", 2.000001, 2, 20},
                                           AtParamRow{"OnLastPoint", 3, 2, 30}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PlinePointAtParam, EmptyAndSinglePoint) {
  Vec3d out{-1, -1, -1};
  EXPECT_EQ(plinePointAtParam(nullptr, 0, &out), -1);
  PlinePtr one = plineThrough({{3, 4, 5}});
  EXPECT_EQ(plinePointAtParam(one.get(), 17, &out), 0);
  EXPECT_EQ(out.y, 4);
  EXPECT_EQ(plinePointAtParam(one.get(), std::nan(""), &out), -1);
  one->count = 0;
  EXPECT_EQ(plinePointAtParam(one.get(), 0, &out), -1);
}

TEST(PlineSpikes, TurnBackIsRemovedInOnePass) {
  PlinePtr pl = plineThrough(alongX({0, 1, 2, 1.5, 3}), {}, 1);
  EXPECT_EQ(plineSpikePass(pl.get()), 4);
  EXPECT_EQ(xsOf(pl.get()), (std::vector<double>{0, 1, 1.5, 3}));
  EXPECT_EQ(pl->axes[2].x, 3);  // the axes went with their points
  EXPECT_EQ(plineSpikePass(pl.get()), 4);
}

struct SpikeRow {
  const char* name;
  std::vector<Vec3d> pts;
  std::vector<PointStatus> status;
  std::vector<double> xs;  // x of the points left by plineRemoveSpikes
};

class PlineRemoveSpikesTest : public ::testing::TestWithParam<SpikeRow> {};

TEST_P(PlineRemoveSpikesTest, PointsLeft) {
  const SpikeRow& row = GetParam();
  PlinePtr pl = plineThrough(row.pts, row.status);
  plineRemoveSpikes(pl.get());
  EXPECT_EQ(xsOf(pl.get()), row.xs);
}

const PointStatus kGap = pointStatusMake(0, kPointGap);
const PointStatus kCut = st(kPointCut);

INSTANTIATE_TEST_SUITE_P(
    Table, PlineRemoveSpikesTest,
    ::testing::Values(
        // A right angle turns by 90 degrees only.
        SpikeRow{"RightAngleStays",
                 {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {2, 2, 0}},
                 {},
                 {0, 1, 2, 2, 2}},
        SpikeRow{"NextToGapStays",
                 alongX({0, 1, 2, 1.5, 3}),
                 {kCut, kCut, kCut, kGap, kCut},
                 {0, 1, 2, 1.5, 3}},
        // The first two and last two points are never tested.
        SpikeRow{"EndsStay", alongX({0, 1, 0.5, 2}), {}, {0, 1, 0.5, 2}},
        SpikeRow{"ZeroLengthSegmentStays", alongX({0, 1, 1, 0.5, 3}), {}, {0, 1, 1, 0.5, 3}},
        // Removing 3 and 1.7 makes 2 and 1.8 spikes in the next pass.
        SpikeRow{
            "RepeatsUntilNothingGoes", alongX({0, 1, 2, 3, 1.8, 1.7, 5, 6}), {}, {0, 1, 5, 6}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlineStack, PopsInReverseOrderWithoutDroppedPoints) {
  PlineStack* stack = plineStackNew();
  ASSERT_NE(stack, nullptr);
  for (int k = 0; k < 3; ++k) {
    PlinePtr pl = plineThrough(alongX({double(k), 10.0 + k, 20.0 + k}), {kCut, st(3), kCut});
    ASSERT_EQ(plineStackPushCopy(stack, pl.get()), 1);
  }
  for (int k = 2; k >= 0; --k) {
    PlinePtr pl(plineStackPop(stack));
    ASSERT_NE(pl, nullptr);
    EXPECT_EQ(xsOf(pl.get()), (std::vector<double>{double(k), 20.0 + k}));
    EXPECT_EQ(pl->axes, nullptr);  // as the pushed Pline
  }
  EXPECT_EQ(plineStackPop(stack), nullptr);
  plineStackFree(stack);
}

TEST(PlineStack, NullArgumentsAndFreeWithPlinesLeft) {
  PlinePtr pl = plineThrough(alongX({0, 1}));
  EXPECT_EQ(plineStackPushCopy(nullptr, pl.get()), 0);
  PlineStack* stack = plineStackNew();
  EXPECT_EQ(plineStackPushCopy(stack, nullptr), 0);
  EXPECT_EQ(plineStackPop(nullptr), nullptr);
  ASSERT_EQ(plineStackPushCopy(stack, pl.get()), 1);
  ASSERT_EQ(plineStackPushCopy(stack, pl.get()), 1);
  plineStackFree(stack);  // the sanitizer build checks that nothing leaks
  plineStackFree(nullptr);
}

}  // namespace
