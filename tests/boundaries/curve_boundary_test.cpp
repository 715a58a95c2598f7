#include "boundaries/curve_boundary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/message_capture.h"

namespace {

using tsupport::MessageCapture;

BoundaryRec boxBoundary(double x0, double y0, double x1, double y1, double contactOffset) {
  BoundaryRec b{};
  b.xMin = x0;
  b.yMin = y0;
  b.xMax = x1;
  b.yMax = y1;
  b.contactOffset = contactOffset;
  return b;
}

struct StandardRow {
  const char* name;
  int kind;
  int reverse;
  int side;
  Vec2d from, to;
  double firstStep, lastStep;
};

class CurveStandardLine : public ::testing::TestWithParam<StandardRow> {};

// Box 0..10 x 0..5 grown by the contact offset 1 to -1..11 x -1..6.
TEST_P(CurveStandardLine, PlacesLineOnGrownBox) {
  const StandardRow& row = GetParam();
  const BoundaryRec b = boxBoundary(0, 0, 10, 5, 1);
  CurveRec* c = curveNewStandardLine(row.kind, &b, row.reverse, row.side);
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(c->count, 2);
  EXPECT_EQ(c->kind, row.kind);
  EXPECT_EQ(c->points[0].x, row.from.x);
  EXPECT_EQ(c->points[0].y, row.from.y);
  EXPECT_EQ(c->points[1].x, row.to.x);
  EXPECT_EQ(c->points[1].y, row.to.y);
  EXPECT_EQ(c->firstStep, row.firstStep);
  EXPECT_EQ(c->lastStep, row.lastStep);
  EXPECT_EQ(c->box.xMin, -1);
  EXPECT_EQ(c->box.yMax, 6);
  EXPECT_EQ(c->reverse, row.reverse);
  EXPECT_EQ(c->side, row.side);
  EXPECT_EQ(c->ownsPoints, 1);
  EXPECT_DOUBLE_EQ(c->t1, row.kind == 'x' ? 12 : 7);
  curveFree(c);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CurveStandardLine,
    ::testing::Values(StandardRow{"XForward", 'x', 0, 0, {-1, -1}, {11, -1}, -1, 6},
                      StandardRow{"XOtherSide", 'x', 0, 1, {-1, 6}, {11, 6}, 6, -1},
                      StandardRow{"XReversed", 'x', 1, 0, {11, 6}, {-1, 6}, 6, -1},
                      StandardRow{"XReversedOtherSide", 'x', 1, 1, {11, -1}, {-1, -1}, -1, 6},
                      StandardRow{"YForward", 'y', 0, 0, {11, -1}, {11, 6}, 11, -1},
                      StandardRow{"YReversed", 'y', 1, 0, {-1, 6}, {-1, -1}, -1, 11}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CurveStandardLineTest, WrongKindSendsMessage600) {
  MessageCapture capture;
  const BoundaryRec b = boxBoundary(0, 0, 10, 5, 0);
  EXPECT_EQ(curveNewStandardLine('p', &b, 0, 0), nullptr);
  ASSERT_EQ(capture.values.size(), 1u);
  EXPECT_EQ(capture.values[0], "600,0");
}

TEST(CurveFromMacroTest, ApproachReversedRetractInOrder) {
  Vec3d pts[3] = {{0, 0, 0}, {1, 0, 2}, {1, 3, 4}};
  MacroRec m{};
  m.count = 3;
  m.capacity = 3;
  m.points = pts;
  m.type = kMacroRetract;
  CurveRec* retract = curveFromMacro(&m);
  ASSERT_NE(retract, nullptr);
  EXPECT_EQ(retract->points[2].y, 3);
  EXPECT_EQ(retract->z[1], 2);
  EXPECT_DOUBLE_EQ(retract->t1, 4);
  m.type = kMacroApproach;
  CurveRec* approach = curveFromMacro(&m);
  ASSERT_NE(approach, nullptr);
  EXPECT_EQ(approach->points[0].y, 3);
  EXPECT_EQ(approach->z[0], 4);
  EXPECT_EQ(approach->z[2], 0);
  EXPECT_EQ(approach->kind, kCurveKindPolyline);
  curveFree(retract);
  curveFree(approach);
  m.count = 0;
  EXPECT_EQ(curveFromMacro(&m), nullptr);
}

struct PieceRow {
  const char* name;
  std::vector<Vec2d> pts;
  char kind;
  double margin;
  std::vector<BndPair> intervals;
  double pieceLen;
  int boxes;
  std::vector<double> firstBox;  // xMin, yMin, xMax, yMax
};

class CurvePieceBoxes : public ::testing::TestWithParam<PieceRow> {};

TEST_P(CurvePieceBoxes, CountAndFirstBox) {
  const PieceRow& row = GetParam();
  std::vector<Vec2d> pts = row.pts;
  CurveRec* c = curveNew(pts.data(), static_cast<int>(pts.size()), row.kind);
  BoundaryRec b{};
  std::vector<BndPair> iv = row.intervals;
  b.intervals = iv.data();
  b.intervalCount = static_cast<int32_t>(iv.size());
  CountedArray* boxes = curvePieceBoxes(c, row.margin, &b, row.pieceLen);
  ASSERT_NE(boxes, nullptr);
  EXPECT_EQ(boxes->count, row.boxes);
  const auto* d = static_cast<const double*>(boxes->data);
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(d[k], row.firstBox[k], 1e-12) << k;
  countedArrayFree(boxes);
  curveFree(c);
}

const std::vector<Vec2d> kTen{{0, 0}, {10, 0}};

INSTANTIATE_TEST_SUITE_P(
    Table, CurvePieceBoxes,
    ::testing::Values(
        PieceRow{"TenUnitPieces", kTen, 'p', 0, {}, 1, 10, {0, 0, 1, 0}},
        PieceRow{"MarginGrowsBoxes", kTen, 'p', 0.5, {}, 4, 3, {-0.5, -0.5, 4.5, 0.5}},
        PieceRow{"NegativeMarginIsZero", kTen, 'p', -2, {}, 4, 3, {0, 0, 4, 0}},
        PieceRow{"TinyPieceCountsAsOne", kTen, 'p', 0, {}, 0, 10, {0, 0, 1, 0}},
        PieceRow{"IntervalsLimitTheRange", kTen, 'p', 0, {{2, 3}, {6, 7}}, 1, 5, {2, 0, 3, 0}},
        PieceRow{
            "VerticesInsideAPieceWiden", {{0, 0}, {1, 2}, {2, 0}}, 'p', 0, {}, 10, 1, {0, 0, 2, 2}},
        PieceRow{"StandardLineIsOnePiece", kTen, 'x', 0, {}, 1, 1, {0, 0, 10, 0}},
        PieceRow{"EmptyRangeGivesOneBox", kTen, 'p', 0, {{4, 4}}, 2, 1, {4, 0, 4, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CurvePieceBoxesTest, NeedsTwoPoints) {
  Vec2d p{1, 1};
  CurveRec* c = curveNew(&p, 1, 'p');
  EXPECT_EQ(curvePieceBoxes(c, 0, nullptr, 1), nullptr);
  EXPECT_EQ(curvePieceBoxes(nullptr, 0, nullptr, 1), nullptr);
  curveFree(c);
}

}  // namespace
