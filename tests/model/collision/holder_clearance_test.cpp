#include "model/collision/holder_clearance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {

ToolShape tool(int16_t type, double r, double rc) {
  ToolShape t{};
  t.type = type;
  t.radius = r;
  t.cornerRadius = rc;
  t.length = 20.0;
  return t;
}

class HolderClearanceTest : public ::testing::Test {
 protected:
  void SetUp() override { holderClearanceReset(); }
  void TearDown() override { holderClearanceReset(); }
};

struct InitRow {
  const char* name;
  ToolShape tool;
  double extra, length1, length2, total, diameter1, diameter2;
  double margin, freeLength, noseDiameter, bodyDiameter;
};

class HolderClearanceInitTable : public ::testing::TestWithParam<InitRow> {
 protected:
  void SetUp() override { holderClearanceReset(); }
};

TEST_P(HolderClearanceInitTable, FillsTheRecord) {
  const InitRow& r = GetParam();
  HolderClearance c;
  std::memset(&c, 0x5a, sizeof c);
  holderClearanceInit(&c, &r.tool, r.extra, r.length1, r.length2, r.total, r.diameter1,
                      r.diameter2);
  EXPECT_DOUBLE_EQ(holderClearanceMargin(), r.margin);
  EXPECT_DOUBLE_EQ(c.freeLength, r.freeLength);
  EXPECT_DOUBLE_EQ(c.noseDiameter, r.noseDiameter);
  EXPECT_DOUBLE_EQ(c.bodyDiameter, r.bodyDiameter);
  EXPECT_DOUBLE_EQ(c.noseTop, r.freeLength + r.length2);
  EXPECT_DOUBLE_EQ(c.holderTop, r.freeLength + r.length2 + r.length1);
  EXPECT_DOUBLE_EQ(c.headDiameter1, c.bodyDiameter);
  EXPECT_EQ(c.headTop, 0.0);
  EXPECT_EQ(c.radius, r.tool.radius);
  EXPECT_EQ(c.toolType, r.tool.type);
  for (unsigned char b : c.reserved) EXPECT_EQ(b, 0);
  double angle = 0.0;
  if (c.freeLength >= 0.00001) angle = std::atan2(c.noseDiameter / 2 - c.radius, c.freeLength);
  angle = std::max(angle, std::atan2(c.bodyDiameter / 2 - c.radius, c.noseTop));
  EXPECT_DOUBLE_EQ(c.clearanceAngle, angle);
}

// Ball R5, holder body 40 and nose 30: m = max(1, 1) = 1; the tip is the
// radius for balls (and type 12), the corner radius for tori, else 0.
INSTANTIATE_TEST_SUITE_P(
    Table, HolderClearanceInitTable,
    ::testing::Values(
        InitRow{"Ball", tool(1, 5, 5), 0.0, 50, 10, 60, 40, 30, 1.0, 54, 32, 42},
        InitRow{"BallAlias", tool(12, 5, 5), 0.0, 50, 10, 60, 40, 30, 1.0, 54, 32, 42},
        InitRow{"TorusWithExtra", tool(3, 5, 1), 0.5, 50, 10, 60, 40, 30, 1.0, 57.5, 33, 43},
        InitRow{"FlatBodyMargin", tool(2, 2, 0), 0.0, 50, 10, 60, 80, 30, 2.0, 58, 34, 84},
        InitRow{"TooShortGivesZeroFreeLength", tool(1, 5, 5), 0.0, 50, 10, 5, 40, 30, 1.0, 0,
                32, 42}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HolderClearanceTest, ZeroFreeLengthGivesNoNoseCornerAngle) {
  const ToolShape t = tool(1, 5, 5);
  HolderClearance c{};
  holderClearanceInit(&c, &t, 0.0, 50, 0, 5, 40, 30);
  EXPECT_EQ(c.freeLength, 0.0);
  EXPECT_EQ(c.noseTop, 0.0);
  EXPECT_EQ(c.clearanceAngle, 0.0);
}

TEST_F(HolderClearanceTest, FixedMarginGrowsEveryDiameterByFourTimesItsValue) {
  holderClearanceSetMargin(0.75);
  for (double extra : {0.0, 2.0}) {
    for (double r : {1.0, 8.0}) {
      const ToolShape t = tool(2, r, 0);
      HolderClearance c{};
      holderClearanceInit(&c, &t, extra, 50, 10, 60, 40, 30);
      holderClearanceAddHead(&c, extra, 100, 20, 150, 30);
      EXPECT_DOUBLE_EQ(c.bodyDiameter, 43.0);
      EXPECT_DOUBLE_EQ(c.noseDiameter, 33.0);
      EXPECT_DOUBLE_EQ(c.headDiameter1, 103.0);
      EXPECT_DOUBLE_EQ(c.headDiameter2, 153.0);
      EXPECT_DOUBLE_EQ(holderClearanceMargin(), 0.75);
    }
  }
}

TEST_F(HolderClearanceTest, TinyFixedMarginIsRaisedToTheMinimum) {
  holderClearanceSetMargin(1e-9);
  const ToolShape t = tool(2, 3, 0);
  HolderClearance c{};
  holderClearanceInit(&c, &t, 0.0, 50, 10, 60, 40, 30);
  EXPECT_DOUBLE_EQ(holderClearanceMargin(), kHolderMinFixedMargin);
  EXPECT_DOUBLE_EQ(c.bodyDiameter, 40.0 + 4 * kHolderMinFixedMargin);
}

TEST_F(HolderClearanceTest, ExactModeAddsOnlyTheExtra) {
  holderClearanceSetExact(1);
  const ToolShape t = tool(2, 3, 0);
  HolderClearance c{};
  holderClearanceInit(&c, &t, 0.25, 50, 10, 60, 40, 30);
  EXPECT_DOUBLE_EQ(c.bodyDiameter, 40.5);
  EXPECT_DOUBLE_EQ(c.freeLength, 59.75);
}

TEST_F(HolderClearanceTest, ResetForgetsTheFixedMarginOfTheRunBefore) {
  holderClearanceSetMargin(3.0);
  holderClearanceSetExact(1);
  holderClearanceReset();
  const ToolShape t = tool(2, 5, 0);
  HolderClearance c{};
  holderClearanceInit(&c, &t, 0.0, 50, 10, 60, 40, 30);
  EXPECT_DOUBLE_EQ(holderClearanceMargin(), 1.0);
  EXPECT_DOUBLE_EQ(c.bodyDiameter, 42.0);
}

struct HeadRow {
  const char* name;
  double d3, d4;
  double head1, head2;
  bool angleRises;
};

class HolderClearanceHeadTable : public ::testing::TestWithParam<HeadRow> {
 protected:
  void SetUp() override { holderClearanceReset(); }
};

TEST_P(HolderClearanceHeadTable, HeadDiametersNeverShrink) {
  const HeadRow& r = GetParam();
  const ToolShape t = tool(2, 5, 0);
  HolderClearance c{};
  holderClearanceInit(&c, &t, 0.0, 50, 10, 60, 40, 30);  // body 42, margin 1
  const double before = c.clearanceAngle;
  holderClearanceAddHead(&c, 0.0, r.d3, 20, r.d4, 30);
  EXPECT_DOUBLE_EQ(c.headDiameter1, r.head1);
  EXPECT_DOUBLE_EQ(c.headDiameter2, r.head2);
  EXPECT_GE(c.headDiameter1, c.bodyDiameter);
  EXPECT_GE(c.headDiameter2, c.headDiameter1);
  EXPECT_DOUBLE_EQ(c.headStepTop, c.holderTop + 20);
  EXPECT_DOUBLE_EQ(c.headTop, c.holderTop + 50);
  if (r.angleRises) {
    EXPECT_GT(c.clearanceAngle, before);
  } else {
    EXPECT_EQ(c.clearanceAngle, before);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, HolderClearanceHeadTable,
    ::testing::Values(HeadRow{"Narrower", 10, 10, 42, 42, false},
                      HeadRow{"EqualToBody", 40, 40, 42, 42, false},
                      HeadRow{"WiderSecond", 10, 200, 42, 202, true},
                      HeadRow{"WiderBoth", 100, 200, 102, 202, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HolderClearanceTest, ShanklessToolTakesTwiceTheRadiusAndNoShankAngle) {
  ToolShape t = tool(2, 5, 0);
  t.shankDiameter = 0.0;
  t.taperLength = 5.0;
  HolderClearance c{};
  holderClearanceInit(&c, &t, 0.0, 50, 10, 60, 40, 30);
  EXPECT_DOUBLE_EQ(c.shankDiameter, 10.0);
  const double noShank = c.clearanceAngle;

  t.shankDiameter = 30.0;
  holderClearanceInit(&c, &t, 0.0, 50, 10, 60, 40, 30);
  EXPECT_DOUBLE_EQ(c.shankDiameter, 30.0);
  EXPECT_DOUBLE_EQ(c.cuttingLength, 20.0);
  EXPECT_DOUBLE_EQ(c.shankLength, 5.0);
  EXPECT_DOUBLE_EQ(c.clearanceAngle, std::max(noShank, std::atan2(15.0 - 5.0, 25.0)));
}

TEST_F(HolderClearanceTest, CuttingAndShankLengthsAreCappedByTheFreeLength) {
  ToolShape t = tool(2, 5, 0);
  t.length = 100.0;
  t.taperLength = 100.0;
  HolderClearance c{};
  holderClearanceInit(&c, &t, 0.0, 50, 10, 30, 40, 30);  // freeLength 29
  EXPECT_DOUBLE_EQ(c.cuttingLength, 29.0);
  EXPECT_DOUBLE_EQ(c.shankLength, 0.0);
}

}  // namespace
