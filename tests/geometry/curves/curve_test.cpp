#include "geometry/curves/curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// An owned 'p' curve through the given points, with z values when given.
CurveRec* polyline(const std::vector<Vec2d>& pts, const std::vector<double>& z = {}) {
  CurveRec* c = curveNewOwned(static_cast<int>(pts.size()), kCurveKindPolyline, !z.empty());
  for (size_t i = 0; i < pts.size(); ++i) {
    c->points[i] = pts[i];
    if (!z.empty()) c->z[i] = z[i];
  }
  curveUpdateLengths(c);
  return c;
}

struct EvalRow {
  const char* name;
  std::vector<Vec2d> pts;
  std::vector<double> z;
  double t;
  int segment;  // expected result
  Vec2d p;      // expected point (when segment >= 0)
  double pz;    // expected z (when the curve has z)
};

class CurveEvalAt : public ::testing::TestWithParam<EvalRow> {};

TEST_P(CurveEvalAt, PointAndSegment) {
  const EvalRow& row = GetParam();
  CurveRec* c = polyline(row.pts, row.z);
  Vec2d p{-99, -99};
  double z = -99;
  ASSERT_EQ(curveEvalAt(c, row.t, &p, &z), row.segment);
  if (row.segment >= 0) {
    EXPECT_NEAR(p.x, row.p.x, 1e-9);
    EXPECT_NEAR(p.y, row.p.y, 1e-9);
    if (!row.z.empty()) {
      EXPECT_NEAR(z, row.pz, 1e-9);
    }
  }
  curveFree(c);
}

const std::vector<Vec2d> kLine{{0, 0}, {10, 0}};
const std::vector<Vec2d> kElbow{{0, 0}, {1, 0}, {1, 2}};
const std::vector<Vec2d> kSamePoints{{3, 4}, {3, 4}};

INSTANTIATE_TEST_SUITE_P(
    Table, CurveEvalAt,
    ::testing::Values(
        EvalRow{"MidLineInterpolatesZ", kLine, {0, 10}, 2.5, 0, {2.5, 0}, 2.5},
        EvalRow{"JustPastEndStillLastSegment", kLine, {}, 10 + 0.000005, 0, {10.000005, 0}, 0},
        EvalRow{"FarPastEndFails", kLine, {}, 10 + 0.0001, -1, {}, 0},
        EvalRow{"BeforeStartFails", kLine, {}, -0.0001, -1, {}, 0},
        EvalRow{"StartWithinWindowIsFirstVertex", kLine, {}, -0.000005, 0, {0, 0}, 0},
        EvalRow{"SecondSegment", kElbow, {1, 2, 4}, 2.0, 1, {1, 1}, 3},
        EvalRow{"OnInnerVertexEndsFirstSegment", kElbow, {1, 2, 4}, 1.0, 0, {1, 0}, 2},
        EvalRow{"ZeroRangeGivesLastPoint", kSamePoints, {1, 2}, 0.000005, 1, {3, 4}, 2},
        EvalRow{"ZeroRangeOutsideWindowFails", kSamePoints, {1, 2}, 0.0001, -1, {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CurveEvalAtTest, NullEmptyAndMissingZ) {
  Vec2d p;
  Vec3d q;
  EXPECT_EQ(curveEvalAt(nullptr, 0, &p, nullptr), -1);
  CurveRec* empty = curveNew(nullptr, 0, kCurveKindPolyline);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(curveEvalAt(empty, 0, &p, nullptr), -1);
  curveFree(empty);
  CurveRec* flat = polyline(kLine);
  EXPECT_EQ(curveEvalAt3d(flat, 1, &q), -1);
  curveFree(flat);
}

TEST(CurveEvalAtTest, LongCurveFindsEverySegment) {
  std::vector<Vec2d> pts;
  for (int i = 0; i <= 100; ++i) pts.push_back({static_cast<double>(i), (i % 2) * 0.0});
  CurveRec* c = polyline(pts);
  for (int i = 0; i < 100; ++i) {
    Vec2d p;
    EXPECT_EQ(curveEvalAt(c, i + 0.5, &p, nullptr), i);
    EXPECT_DOUBLE_EQ(p.x, i + 0.5);
  }
  curveFree(c);
}

struct TangentRow {
  const char* name;
  std::vector<Vec2d> pts;
  double t;
  int result;
  double dx, dy;
};

class CurveTangentAt : public ::testing::TestWithParam<TangentRow> {};

TEST_P(CurveTangentAt, Direction) {
  const TangentRow& row = GetParam();
  CurveRec* c = polyline(row.pts);
  double dir[2] = {-9, -9};
  ASSERT_EQ(curveTangentAt(c, row.t, dir), row.result);
  if (row.result == 1) {
    EXPECT_NEAR(dir[0], row.dx, 1e-12);
    EXPECT_NEAR(dir[1], row.dy, 1e-12);
  }
  curveFree(c);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CurveTangentAt,
    ::testing::Values(
        TangentRow{"EndFromLastButOneVertex", kElbow, 3.0, 1, 0, 1},
        TangentRow{"BeyondEndIsClamped", kElbow, 7.0, 1, 0, 1},
        TangentRow{"TwoPointCurveAtEnd", kLine, 10.0, 1, 1, 0},
        TangentRow{"Start", kElbow, 0.0, 1, 1, 0},
        TangentRow{"OnInnerVertexLooksAhead", kElbow, 1.0, 1, 0, 1},
        TangentRow{"RepeatedVertexSkipped", {{0, 0}, {1, 0}, {1, 0}, {1, 2}}, 1.0, 1, 0, 1},
        TangentRow{"RepeatedEndVertexSkipped", {{0, 0}, {2, 0}, {2, 0}}, 2.0, 1, 1, 0},
        TangentRow{"ZeroRangeFails", kSamePoints, 0.0, -1, 0, 0},
        TangentRow{"SinglePointFails", {{1, 1}}, 0.0, -1, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CurveTangentAt3dTest, MeanOfChordsAndEnds) {
  CurveRec* c = polyline({{0, 0}, {10, 0}}, {0, 10});
  Vec3d d;
  ASSERT_EQ(curveTangentAt3d(c, 5, &d), 1);
  EXPECT_NEAR(d.x, std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(d.z, std::sqrt(0.5), 1e-12);
  ASSERT_EQ(curveTangentAt3d(c, 10, &d), 1);  // only the chord behind
  EXPECT_NEAR(d.x, std::sqrt(0.5), 1e-12);
  curveFree(c);

  // A roof: the mean of the chords either side of the ridge is horizontal.
  CurveRec* roof = polyline({{0, 0}, {1, 0}, {2, 0}}, {0, 1, 0});
  ASSERT_EQ(curveTangentAt3d(roof, 1, &d), 1);
  EXPECT_NEAR(d.x, 1, 1e-12);
  EXPECT_NEAR(d.z, 0, 1e-12);
  curveFree(roof);
}

TEST(CurveTangentAt3dTest, VerticalLineAnswersAtStartOnly) {
  const Vec3d a{2, 3, 0};
  const Vec3d b{2, 3, 5};
  CurveRec* c = curveNewLine3d(&a, &b);
  Vec3d d;
  ASSERT_EQ(curveTangentAt3d(c, 0, &d), 1);
  EXPECT_EQ(d.z, 1);
  EXPECT_EQ(curveTangentAt3d(c, 1, &d), -1);
  curveFree(c);
  CurveRec* flat = polyline(kLine);
  EXPECT_EQ(curveTangentAt3d(flat, 1, &d), -1);
  curveFree(flat);
}

TEST(CurveShapeTest, Length3dAndClosed) {
  CurveRec* c = polyline({{0, 0}, {3, 0}}, {0, 4});
  EXPECT_DOUBLE_EQ(curveLength3d(c), 5);
  EXPECT_DOUBLE_EQ(c->t1, 3);
  EXPECT_EQ(curveIsClosed(c), 0);
  curveFree(c);
  CurveRec* loop = polyline({{0, 0}, {1, 0}, {1, 1}, {0.000005, -0.000005}});
  EXPECT_EQ(curveIsClosed(loop), 1);
  curveFree(loop);
  EXPECT_EQ(curveIsClosed(nullptr), 0);
}

TEST(CurveReverseTest, LengthsMirrorPointsAndZReverse) {
  CurveRec* c = polyline({{0, 0}, {1, 0}, {1, 2}}, {1, 2, 3});
  curveReverse(c);
  EXPECT_EQ(c->lengths[0], 0);
  EXPECT_EQ(c->lengths[1], 2);
  EXPECT_EQ(c->lengths[2], 3);
  EXPECT_EQ(c->points[0].y, 2);
  EXPECT_EQ(c->z[0], 3);
  Vec2d p;
  ASSERT_EQ(curveEvalAt(c, 1, &p, nullptr), 0);
  EXPECT_DOUBLE_EQ(p.y, 1);
  curveFree(c);
}

TEST(CurveTrapezoidTest, PointsAndTooShortBase) {
  const Vec3d a{0, 0, 1};
  const Vec3d b{1.9, 0, 2};
  EXPECT_EQ(curveNewTrapezoid(&a, &b, 5, 1), nullptr);
  const Vec3d far{0, 4, 2};
  CurveRec* c = curveNewTrapezoid(&a, &far, 5, 1);
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(c->count, 4);
  EXPECT_EQ(c->ownsPoints, 1);
  EXPECT_DOUBLE_EQ(c->points[1].y, 1);
  EXPECT_DOUBLE_EQ(c->points[2].y, 3);
  EXPECT_EQ(c->z[0], 1);
  EXPECT_EQ(c->z[1], 5);
  EXPECT_EQ(c->z[2], 5);
  EXPECT_EQ(c->z[3], 2);
  EXPECT_DOUBLE_EQ(c->t1, 4);
  curveFree(c);
}

TEST(CurveSegmentsTest, ToSeg2RoomAndChain) {
  CurveRec* c = polyline(kElbow);
  int n = -1;
  Seg2* segs = curveToSeg2(c, 10, &n);
  ASSERT_NE(segs, nullptr);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(segs[1].x0, 1);
  EXPECT_EQ(segs[1].y1, 2);
  segs[9] = Seg2{1, 2, 3, 4};  // room for minCap segments (ASan checks)
  std::free(segs);
  curveFree(c);
}

// Replacing the points must hand the new array to the curve, so that freeing
// the curve frees it (the leak checker fails this test otherwise) while the
// caller's original array stays untouched.
TEST(CurveSegmentsTest, SetPointsCurveOwnsNewArray) {
  Vec2d mine[2] = {{0, 0}, {5, 0}};
  CurveRec* c = curveNew(mine, 2, kCurveKindPolyline);
  c->z = static_cast<double*>(std::calloc(2, sizeof(double)));
  const Seg2 segs[2] = {{0, 1, 3, 1}, {3, 1, 3, 5}};
  ASSERT_EQ(curveSetPoints(c, segs, 2), 0);
  EXPECT_EQ(c->ownsPoints, 1);
  EXPECT_EQ(c->count, 3);
  EXPECT_EQ(c->z, nullptr);
  EXPECT_DOUBLE_EQ(c->t1, 7);
  EXPECT_EQ(c->points[2].y, 5);
  EXPECT_EQ(mine[1].x, 5);
  EXPECT_EQ(curveSetPoints(c, segs, 0), -1);
  EXPECT_EQ(c->count, 3);
  curveFree(c);
}

// Offsetting a curve: 0 leaves points and z alone; a line moves to the left
// for d > 0 and to the right for d < 0; a curve without a segment fails and
// stays as it was.  The offset curve owns its new points (leak checker).
TEST(CurveOffsetTest, SideZAndFailures) {
  CurveRec* c = polyline({{0, 0}, {10, 0}}, {1.5, 2.5});
  ASSERT_EQ(curveOffset(c, 0.0), 0);
  ASSERT_NE(c->z, nullptr);
  EXPECT_EQ(c->z[1], 2.5);
  EXPECT_EQ(c->points[1].y, 0.0);

  ASSERT_EQ(curveOffset(c, 2.0), 0);
  EXPECT_EQ(c->z, nullptr);
  ASSERT_GE(c->count, 2);
  EXPECT_NEAR(c->points[0].y, 2.0, 1e-9);
  EXPECT_NEAR(c->points[c->count - 1].y, 2.0, 1e-9);
  EXPECT_EQ(c->ownsPoints, 1);
  EXPECT_EQ(c->t0, 0.0);
  EXPECT_NEAR(c->t1, 10.0, 1e-9);

  ASSERT_EQ(curveOffset(c, -5.0), 0);
  EXPECT_NEAR(c->points[0].y, -3.0, 1e-9);
  curveFree(c);

  CurveRec* dot = polyline({{1, 1}});
  EXPECT_EQ(curveOffset(dot, 1.0), -1);
  EXPECT_EQ(dot->count, 1);
  curveFree(dot);
  EXPECT_EQ(curveOffset(nullptr, 1.0), -1);
}

// A closed square offset outward (to the right of a counter-clockwise run)
// stays closed and keeps the distance on every side.
TEST(CurveOffsetTest, ClosedSquareOutward) {
  CurveRec* c = polyline({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}});
  ASSERT_EQ(curveOffset(c, -1.0), 0);
  EXPECT_EQ(curveIsClosed(c), 1);
  double minX = 1e9, maxX = -1e9;
  for (int i = 0; i < c->count; ++i) {
    minX = std::min(minX, c->points[i].x);
    maxX = std::max(maxX, c->points[i].x);
  }
  EXPECT_NEAR(minX, -1.0, 1e-9);
  EXPECT_NEAR(maxX, 11.0, 1e-9);
  curveFree(c);
}

// Every kind extension and the chains it holds are released with the curve
// (checked by the leak checker).
TEST(CurveFreeTest, ReleasesExtensionsAndChains) {
  CurveRec* flow = polyline(kLine);
  flow->kind = kCurveKindFlow;
  auto* fe = static_cast<FlowCurveExt*>(std::calloc(1, sizeof(FlowCurveExt)));
  fe->first = polyline(kLine);
  fe->second = polyline(kElbow);
  fe->second->next = polyline(kLine);
  flow->ext = fe;

  CurveRec* normal = polyline(kLine);
  normal->kind = kCurveKindNormal;
  auto* ne = static_cast<NormalCurveExt*>(std::calloc(1, sizeof(NormalCurveExt)));
  ne->base = polyline(kElbow);
  ne->base->ext = std::calloc(1, 64);  // the base curve's spline
  normal->ext = ne;
  flow->next = normal;

  CurveRec* sync = polyline(kLine);
  sync->kind = kCurveKindSync;
  auto* se = static_cast<SyncCurveExt*>(std::calloc(1, sizeof(SyncCurveExt)));
  se->first = polyline(kLine);
  sync->ext = se;
  normal->next = sync;

  CurveRec* other = polyline(kLine);
  other->ext = std::calloc(1, 16);
  sync->next = other;
  curveFree(flow);
  curveFree(nullptr);
}

TEST(CurveNameTest, LongNameIsCutSafely) {
  CurveRec* c = polyline(kLine);
  const std::string longName(400, 'a');
  curveSetName(c, longName.c_str());
  EXPECT_EQ(std::string(c->name).size(), static_cast<size_t>(kCurveNameSize - 1));
  curveSetName(c, "part.prf");
  EXPECT_STREQ(c->name, "part.prf");
  curveSetName(c, nullptr);
  EXPECT_STREQ(c->name, "");
  curveFree(c);
}

TEST(CurveThinTest, ThinsPointsAndRecomputesLengthsFromZero) {
  CurveRec* c = polyline({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {12, 0}, {13, 0.5}});
  c->t0 = 4;
  curveUpdateLengths(c);
  ASSERT_EQ(curveThin(c, 0.01), 0);
  // 1 and 2 lie on the chord 0..3; 3..13 is longer than 10, so 3 stays.
  ASSERT_EQ(c->count, 4);
  EXPECT_EQ(c->points[1].x, 3);
  EXPECT_EQ(c->points[2].x, 12);
  EXPECT_EQ(c->t0, 0);
  EXPECT_DOUBLE_EQ(c->lengths[2], 12);
  EXPECT_DOUBLE_EQ(c->t1, 12 + std::hypot(1, 0.5));
  curveFree(c);
}

TEST(CurveThinTest, ZValuesStayWithTheirPoints) {
  CurveRec* c = polyline({{0, 0}, {1, 0}, {1, 3}, {2, 3}, {3, 3}}, {10, 11, 12, 13, 14});
  ASSERT_EQ(curveThin(c, 0.001), 0);
  ASSERT_EQ(c->count, 4);
  const double want[] = {10, 11, 12, 14};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(c->z[i], want[i]) << i;
  curveFree(c);
}

TEST(CurveThinTest, ShortAndNullCurves) {
  EXPECT_EQ(curveThin(nullptr, 0.1), -1);
  CurveRec* c = polyline({{2, 2}});
  EXPECT_EQ(curveThin(c, 0.1), 0);
  EXPECT_EQ(c->count, 1);
  curveFree(c);
}

}  // namespace
