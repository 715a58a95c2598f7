#include "cycles/profile/line_set.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "boundaries/bnd_file.h"
#include "geometry/frame/working_frame.h"
#include "support/temp_dir.h"

namespace {

struct CurveDeleter {
  void operator()(CurveRec* c) const { curveFree(c); }
};
using CurvePtr = std::unique_ptr<CurveRec, CurveDeleter>;

// A guide line of kind 'x' or 'y' over the box with the given flags and step
// offsets; its points are placed by the restart.
CurvePtr guideLine(char kind, CurveBox box, int reverse, int side, double first, double last) {
  CurvePtr c(curveNewOwned(2, kind, false));
  c->box = box;
  c->reverse = static_cast<int16_t>(reverse);
  c->side = static_cast<int16_t>(side);
  c->firstStep = first;
  c->lastStep = last;
  return c;
}

struct SetGuard {
  LineSet set{0, 0, nullptr, nullptr};
  SetGuard() { lineSetInit(&set, 1); }
  ~SetGuard() { lineSetFree(&set); }
};

struct PositionRow {
  const char* name;
  double first, last, spacing;
  int clip;
  std::vector<double> positions;
};

class LineSetPositions : public ::testing::TestWithParam<PositionRow> {};

TEST_P(LineSetPositions, StepsFromFirstToLastOffset) {
  const PositionRow& row = GetParam();
  const bool down = row.last < row.first;
  // Descending: the line starts at the top (side set) and steps down.
  const CurveBox box{0.0, std::fmin(row.first, row.last), 20.0, std::fmax(row.first, row.last)};
  CurvePtr guide = guideLine('x', box, 0, down ? 1 : 0, row.first, row.last);
  SetGuard g;
  ASSERT_EQ(lineSetBuild(&g.set, row.spacing, guide.get(), nullptr, row.clip), 1);
  std::vector<double> ys;
  for (int i = 0; i < g.set.count; ++i) {
    const CurveRec* line = g.set.curves[i];
    EXPECT_EQ(line->kind, kCurveKindPolyline);
    EXPECT_EQ(line->ownsPoints, 1);
    ASSERT_EQ(line->count, 2);
    EXPECT_DOUBLE_EQ(line->points[0].y, line->points[1].y);
    ys.push_back(line->points[0].y);
  }
  ASSERT_EQ(ys.size(), row.positions.size());
  for (size_t i = 0; i < ys.size(); ++i) EXPECT_NEAR(ys[i], row.positions[i], 1e-12) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LineSetPositions,
    ::testing::Values(PositionRow{"last_step_shortened", 0, 10, 3, 0, {0, 3, 6, 9, 10}},
                      PositionRow{"clip_surfaces_keep_spacing", 0, 10, 3, 1, {0, 3, 6, 9}},
                      PositionRow{"range_fits", 0, 9, 3, 0, {0, 3, 6, 9}},
                      PositionRow{"rest_below_minimum", 0, 9.00001, 3, 0, {0, 3, 6, 9}},
                      PositionRow{"one_line", 5, 5, 3, 0, {5}},
                      PositionRow{"descending", 10, 0, 3, 0, {10, 7, 4, 1, 0}},
                      PositionRow{"descending_clip", 10, 0, 4, 1, {10, 6, 2}},
                      PositionRow{"spacing_beyond_range", 0, 2, 5, 0, {0, 2}}),
    [](const auto& info) { return std::string(info.param.name); });

struct RestartRow {
  const char* name;
  char kind;
  int reverse, side;
  Vec2d p0, p1;
  Vec2d firstStepMove;  // direction of the first step
};

class LineRestart : public ::testing::TestWithParam<RestartRow> {};

TEST_P(LineRestart, PlacesTheLineSoThatTheFirstStepMovesIntoTheBox) {
  const RestartRow& row = GetParam();
  CurvePtr c = guideLine(row.kind, CurveBox{1, 2, 5, 8}, row.reverse, row.side, 0, 0);
  ASSERT_EQ(curveStepRestart(c.get()), 0);
  EXPECT_EQ(c->points[0].x, row.p0.x);
  EXPECT_EQ(c->points[0].y, row.p0.y);
  EXPECT_EQ(c->points[1].x, row.p1.x);
  EXPECT_EQ(c->points[1].y, row.p1.y);
  EXPECT_DOUBLE_EQ(c->t1, std::hypot(row.p1.x - row.p0.x, row.p1.y - row.p0.y));
  ASSERT_EQ(curveStepOver(c.get(), 0.5), 0);
  EXPECT_DOUBLE_EQ(c->points[0].x - row.p0.x, 0.5 * row.firstStepMove.x);
  EXPECT_DOUBLE_EQ(c->points[0].y - row.p0.y, 0.5 * row.firstStepMove.y);
  EXPECT_DOUBLE_EQ(c->points[1].y - row.p1.y, 0.5 * row.firstStepMove.y);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LineRestart,
    ::testing::Values(RestartRow{"x", 'x', 0, 0, {1, 2}, {5, 2}, {0, 1}},
                      RestartRow{"x_side", 'x', 0, 1, {1, 8}, {5, 8}, {0, -1}},
                      RestartRow{"x_rev", 'x', 1, 0, {5, 8}, {1, 8}, {0, -1}},
                      RestartRow{"x_rev_side", 'x', 1, 1, {5, 2}, {1, 2}, {0, 1}},
                      RestartRow{"y", 'y', 0, 0, {5, 2}, {5, 8}, {-1, 0}},
                      RestartRow{"y_side", 'y', 0, 1, {1, 2}, {1, 8}, {1, 0}},
                      RestartRow{"y_rev", 'y', 1, 0, {1, 8}, {1, 2}, {1, 0}},
                      RestartRow{"y_rev_side", 'y', 1, 1, {5, 8}, {5, 2}, {-1, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineSet, EveryLineKeepsTheBoundaryIntervalsOfItsPosition) {
  BoundaryRec* rect = bndNewRect(2.0, 8.0, 2.0, 8.0);
  ASSERT_NE(rect, nullptr);
  CurvePtr guide = guideLine('x', CurveBox{0, 0, 10, 10}, 0, 0, 0, 10);
  SetGuard g;
  ASSERT_EQ(lineSetBuild(&g.set, 1.0, guide.get(), rect, 0), 1);
  ASSERT_EQ(g.set.count, 11);
  for (int i = 0; i < g.set.count; ++i) {
    if (i == 2 || i == 8) continue;  // on an edge of the rectangle
    const bool inside = i > 2 && i < 8;
    const LineCrossings& cr = g.set.crossings[i];
    ASSERT_EQ(cr.count, inside ? 1 : 0) << i;
    if (inside) {
      EXPECT_NEAR(cr.points[0].first, 2.0, 1e-9);
      EXPECT_NEAR(cr.points[0].second, 8.0, 1e-9);
    }
  }
  // The boundary's own intervals are those of the last position.
  EXPECT_EQ(rect->intervalCount, 0);
  bndFreeList(rect);
}

TEST(LineSet, NonPositiveSpacingFailsInsteadOfLoopingForever) {
  CurvePtr guide = guideLine('x', CurveBox{0, 0, 10, 10}, 0, 0, 0, 10);
  SetGuard g;
  EXPECT_EQ(lineSetBuild(&g.set, 0.0, guide.get(), nullptr, 0), -1);
  EXPECT_EQ(lineSetBuild(&g.set, -1.0, guide.get(), nullptr, 0), -1);
  EXPECT_EQ(lineSetBuild(&g.set, NAN, guide.get(), nullptr, 0), -1);
  EXPECT_EQ(g.set.count, 0);
}

TEST(LineSet, EachCurveOfAChainUsesItsOwnOffsets) {
  CurvePtr first = guideLine('x', CurveBox{0, 0, 10, 10}, 0, 0, 0, 10);
  first->next = guideLine('y', CurveBox{0, 0, 4, 4}, 0, 1, 0, 4).release();
  SetGuard g;
  ASSERT_EQ(lineSetBuild(&g.set, 3.0, first.get(), nullptr, 0), 1);
  // 0 3 6 9 10 from the first curve, 0 3 4 (x) from the second.
  ASSERT_EQ(g.set.count, 8);
  EXPECT_DOUBLE_EQ(g.set.curves[4]->points[0].y, 10.0);
  EXPECT_DOUBLE_EQ(g.set.curves[5]->points[0].x, 0.0);
  EXPECT_DOUBLE_EQ(g.set.curves[6]->points[0].x, 3.0);
  EXPECT_DOUBLE_EQ(g.set.curves[7]->points[0].x, 4.0);
}

int stepCalls = 0;

TEST(CurveStep, GuideKindsStepThroughTheirInstalledSteppers) {
  CurvePtr e(curveNewOwned(2, kCurveKindEquidistant, false));
  curveSetGuideSteppers(kCurveKindEquidistant, {nullptr, nullptr});
  EXPECT_EQ(curveStepOver(e.get(), 1.0), -1);
  curveSetGuideSteppers(kCurveKindEquidistant, {[](CurveRec*, double d) {
                                                  stepCalls += static_cast<int>(d);
                                                  return 0;
                                                },
                                                nullptr});
  EXPECT_EQ(curveStepOver(e.get(), 2.0), 0);
  EXPECT_EQ(stepCalls, 2);
  curveSetGuideSteppers(kCurveKindEquidistant, {nullptr, nullptr});
  CurvePtr n(curveNewOwned(2, kCurveKindNormal, false));
  EXPECT_EQ(curveStepRestart(n.get()), 0);  // no reset installed: nothing to do
  curveSetGuideSteppers(kCurveKindNormal, {nullptr, [](CurveRec*) { return -1; }});
  EXPECT_EQ(curveStepRestart(n.get()), -1);
  curveSetGuideSteppers(kCurveKindNormal, {nullptr, nullptr});
  CurvePtr other(curveNewOwned(2, kCurveKindPocket, false));
  EXPECT_EQ(curveStepOver(other.get(), 1.0), -1);
  EXPECT_EQ(curveStepRestart(other.get()), -1);
  EXPECT_EQ(curveStepOver(nullptr, 1.0), -1);
  EXPECT_EQ(curveStepRestart(nullptr), -1);
}

TEST(CurveStep, PolylineStepsOffsetToTheSideOfItsFlag) {
  for (int side : {0, 1}) {
    CurvePtr p(curveNewOwned(2, kCurveKindPolyline, false));
    p->points[1] = {10, 0};
    curveUpdateLengths(p.get());
    p->side = static_cast<int16_t>(side);
    ASSERT_EQ(curveStepOver(p.get(), 2.0), 0);
    EXPECT_NEAR(p->points[0].y, side ? -2.0 : 2.0, 1e-9);
  }
}

TEST(CurveStep, RestartRereadsTheProfileIntoOwnedStorage) {
  frameReset();
  tsupport::TempDir tmp;
  const std::string name = tmp.file("guide.prf");
  ASSERT_TRUE(tsupport::writeFile(name, "**PRF 1\nX0 Y0 Z0\nX10 Y0 Z0\n**END\n"));
  // A curve on points it does not own, its file since grown to four points.
  Vec2d borrowed[2] = {{0, 0}, {10, 0}};
  CurvePtr c(curveNew(borrowed, 2, kCurveKindPolyline));
  curveSetName(c.get(), name.c_str());
  ASSERT_TRUE(tsupport::writeFile(name, "**PRF 1\nX0 Y0\nX10 Y0\nX10 Y10\nX0 Y10\n**END\n"));
  c->reverse = 1;
  c->firstStep = 0.0;
  ASSERT_EQ(curveStepRestart(c.get()), 0);
  EXPECT_EQ(borrowed[1].x, 10.0);  // the caller's array is left alone
  EXPECT_EQ(c->ownsPoints, 1);
  ASSERT_EQ(c->count, 4);
  EXPECT_EQ(c->points[0].x, 0.0);  // reversed
  EXPECT_EQ(c->points[0].y, 10.0);
  EXPECT_DOUBLE_EQ(c->t1, 30.0);
  EXPECT_DOUBLE_EQ(c->lengths[3], 30.0);
  // A file that has gone leaves the curve as it was.
  std::remove(name.c_str());
  EXPECT_EQ(curveStepRestart(c.get()), -1);
  EXPECT_EQ(c->count, 4);
}

}  // namespace
