#include "geometry/primitives/primitives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "geometry/primitives/integer_segment_pairs.h"

namespace {

constexpr double kPi = std::numbers::pi;

template <class T>
std::string rowName(const testing::TestParamInfo<T>& info) {
  return std::string(info.param.name);
}

// ---- Scalars -----------------------------------------------------------------------

TEST(Scalars, AlmostEqualAtItsTolerance) {
  EXPECT_EQ(geoAlmostEqual(1.0, 1.00009), 1);
  EXPECT_EQ(geoAlmostEqual(0.0, 0.0001), 0);  // strictly less than 0.0001
  // 1.0001 is stored just below its decimal value, so this pair is "equal".
  EXPECT_EQ(geoAlmostEqual(1.0, 1.0001), 1);
  EXPECT_EQ(geoAlmostEqual(1.0, 1.00011), 0);
  EXPECT_EQ(geoAlmostEqual(0.0, 0.9e-4), 1);
  EXPECT_EQ(geoAlmostEqual(0.0, -1.1e-4), 0);
  EXPECT_EQ(geoAlmostEqual(-3.0, -3.0), 1);
}

TEST(Scalars, ClampedAcosAndNonNegativeRoot) {
  EXPECT_EQ(geoAcosClamped(1.0000001), 0.0);
  EXPECT_DOUBLE_EQ(geoAcosClamped(-2.0), kPi);
  EXPECT_DOUBLE_EQ(geoAcosClamped(0.5), std::acos(0.5));
  EXPECT_EQ(geoSqrtNonNeg(-1e-12), 0.0);
  EXPECT_EQ(geoSqrtNonNeg(6.25), 2.5);
}

TEST(Vectors, HelpersAndUntouchedOutput) {
  const Vec2d a{1, 2}, b{3, 5};
  Vec2d out{9, 9};
  EXPECT_EQ(vec2AddSigned(&a, &b, &out, 1), 1);
  EXPECT_EQ(out.x, 4);
  EXPECT_EQ(out.y, 7);
  EXPECT_EQ(vec2AddSigned(&a, &b, &out, -1), 1);
  EXPECT_EQ(out.x, -2);
  EXPECT_EQ(out.y, -3);
  for (int sign : {0, 2, -2}) {
    out = {9, 9};
    EXPECT_EQ(vec2AddSigned(&a, &b, &out, sign), 0);
    EXPECT_EQ(out.x, 9);
  }
  vec2Scale(-2.0, &a, &out);
  EXPECT_EQ(out.x, -2);
  EXPECT_EQ(out.y, -4);
  EXPECT_EQ(vec2Dot(&a, &b), 13);
  const Vec2d v34{3, 4};
  EXPECT_EQ(vec2Length(&v34), 5);
  const Vec3d x{2, 0, 0}, y{0, 3, 0}, p{1, 2, 2}, q{4, 6, 14};
  EXPECT_EQ(vec3Length(&p), 3);
  EXPECT_EQ(vec3CrossLength(&x, &y), 6);
  EXPECT_EQ(vec3CrossLength(&x, &x), 0);
  EXPECT_EQ(ptDistance3d(&p, &q), 13);
  // A Vec3d stands for a 2D point: only x and y count.
  EXPECT_EQ(ptDistance2d(&p, &q), 5);
  const Vec2d p2{1, 2};
  EXPECT_EQ(ptDistance2d(&p2, &q), 5);
}

struct AngleCase {
  const char* name;
  double dy, dx, expected;
};
void PrintTo(const AngleCase& c, std::ostream* os) { *os << c.name; }
class DirectionAngle : public testing::TestWithParam<AngleCase> {};

TEST_P(DirectionAngle, Table) {
  EXPECT_DOUBLE_EQ(geo2dDirectionAngle(GetParam().dy, GetParam().dx), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DirectionAngle,
    testing::Values(AngleCase{"zero", 0, 0, 0}, AngleCase{"tiny_is_zero", 0.9e-13, 0.9e-13, 0},
                    AngleCase{"up", 1, 0, kPi / 2}, AngleCase{"up_tiny_dx", 1, 0.5e-13, kPi / 2},
                    AngleCase{"down", -1, 0, 3 * kPi / 2}, AngleCase{"east", 0, 1, 0},
                    AngleCase{"west", 0, -1, kPi}, AngleCase{"ne", 1, 1, kPi / 4},
                    AngleCase{"nw", 1, -1, 3 * kPi / 4}, AngleCase{"sw", -1, -1, 5 * kPi / 4},
                    AngleCase{"se", -1, 1, 7 * kPi / 4}),
    rowName<AngleCase>);

struct TurnCase {
  const char* name;
  double ax, ay, bx, by, cx, cy, expected;
};
void PrintTo(const TurnCase& c, std::ostream* os) { *os << c.name; }
class TurnAngle : public testing::TestWithParam<TurnCase> {};

TEST_P(TurnAngle, Table) {
  const TurnCase& c = GetParam();
  EXPECT_NEAR(geo2dTurnAngle(c.ax, c.ay, c.bx, c.by, c.cx, c.cy), c.expected, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Cases, TurnAngle,
                         testing::Values(TurnCase{"left", 0, 0, 1, 0, 1, 1, kPi / 2},
                                         TurnCase{"right", 0, 0, 1, 0, 1, -1, -kPi / 2},
                                         TurnCase{"straight", 0, 0, 1, 0, 2, 0, 0},
                                         TurnCase{"reversal", 0, 0, 1, 0, 0, 0, 0},
                                         TurnCase{"zero_direction", 0, 0, 0, 0, 1, 1, 0},
                                         TurnCase{"left_across_east", 0, 0, 1, -1, 2, 0, kPi / 2},
                                         TurnCase{"right_across_east", 0, 0, 1, 1, 2, 0, -kPi / 2}),
                         rowName<TurnCase>);

// ---- Segments ------------------------------------------------------------------------

TEST(Segments, ProjectionNeedsSquaredLengthOfTolerance) {
  double fx = 7, fy = 7;
  const Seg2 tooShort{0, 0, 0.003, 0};  // squared length 0.000009
  EXPECT_EQ(seg2ProjectPoint(&tooShort, 0.001, 1, &fx, &fy), 0);
  EXPECT_EQ(fx, 7);
  const Seg2 longEnough{0, 0, 0.0032, 0};  // squared length 0.00001024
  EXPECT_EQ(seg2ProjectPoint(&longEnough, 0.001, 1, &fx, &fy), 1);
  EXPECT_NEAR(fx, 0.001, 1e-15);
  const Seg2 s{0, 0, 4, 0};
  EXPECT_EQ(seg2ProjectPoint(&s, 6, 3, &fx, &fy), 1);  // infinite line
  EXPECT_DOUBLE_EQ(fx, 6);
  EXPECT_DOUBLE_EQ(fy, 0);
}

TEST(Segments, ShortSegmentHasDirectionButMeasuresToItsStart) {
  const Seg2 s{0, 0, 0.003, 0};
  Vec2d dir, normal;
  EXPECT_EQ(seg2UnitDirection(&s, &dir, 0), 1);
  EXPECT_EQ(seg2UnitNormal(&s, &normal, 1, 1), 1);
  const Vec2d p{0.003, 1};
  EXPECT_DOUBLE_EQ(seg2PointDistance(&p, &s), std::hypot(0.003, 1.0));
  EXPECT_DOUBLE_EQ(seg2LinePointDistance(0.003, 1, &s), std::hypot(0.003, 1.0));
}

TEST(Segments, UnitDirectionAndNormals) {
  Vec2d out{9, 9};
  const Seg2 below{0, 0, 0.9e-7, 0}, above{0, 0, 1.1e-7, 0};
  EXPECT_EQ(seg2UnitDirection(&below, &out, 0), 0);
  EXPECT_EQ(out.x, 9);
  EXPECT_EQ(seg2UnitNormal(&below, &out, 2, 1), 0);
  EXPECT_EQ(seg2UnitDirection(&above, &out, 0), 1);
  EXPECT_DOUBLE_EQ(out.x, 1);
  const Seg2 s{1, 1, 4, 5};
  EXPECT_EQ(seg2UnitNormal(&s, &out, 1, 1), 1);  // left
  EXPECT_DOUBLE_EQ(out.x, -0.8);
  EXPECT_DOUBLE_EQ(out.y, 0.6);
  EXPECT_EQ(seg2UnitNormal(&s, &out, 2, 0), 1);  // right
  EXPECT_DOUBLE_EQ(out.x, 0.8);
  EXPECT_DOUBLE_EQ(out.y, -0.6);
}

TEST(Segments, SetAndGetEnds) {
  Seg2 s{0, 0, 2, 4};
  Vec2d out{9, 9};
  EXPECT_EQ(seg2GetPoint(&s, &out, 3), 1);
  EXPECT_EQ(out.x, 1);
  EXPECT_EQ(out.y, 2);
  EXPECT_EQ(seg2GetPoint(&s, &out, 0), 0);
  EXPECT_EQ(seg2GetPoint(&s, &out, 4), 0);
  const Vec2d p{7, 8};
  seg2SetEnd(&s, &p, 1);
  EXPECT_EQ(s.x0, 7);
  seg2SetEnd(&s, &p, 5);  // any other value: the end
  EXPECT_EQ(s.y1, 8);
  EXPECT_EQ(seg2GetPoint(&s, &out, 2), 1);
  EXPECT_EQ(out.x, 7);
}

struct BetweenCase {
  const char* name;
  Seg2 s;
  Vec2d p;
  int expected;
};
void PrintTo(const BetweenCase& c, std::ostream* os) { *os << c.name; }
class PointBetweenEnds : public testing::TestWithParam<BetweenCase> {};

TEST_P(PointBetweenEnds, Table) {
  EXPECT_EQ(seg2PointBetweenEnds(&GetParam().p, &GetParam().s), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PointBetweenEnds,
    testing::Values(BetweenCase{"middle", {0, 0, 1, 0}, {0.5, 0}, 1},
                    BetweenCase{"past_end_0_9e_5", {0, 0, 1, 0}, {1 + 0.9e-5, 0}, 1},
                    BetweenCase{"past_end_1_1e_5", {0, 0, 1, 0}, {1 + 1.1e-5, 0}, 0},
                    BetweenCase{"before_start_0_9e_5", {0, 0, 1, 0}, {-0.9e-5, 0}, 1},
                    BetweenCase{"before_start_1_1e_5", {0, 0, 1, 0}, {-1.1e-5, 0}, 0},
                    BetweenCase{"far_past", {0, 0, 1, 1}, {2, 2}, 0},
                    BetweenCase{"point_like_on_start", {2, 2, 2, 2}, {2 + 0.9e-5, 2}, 1},
                    BetweenCase{"point_like_off_start", {2, 2, 2, 2}, {2 + 1.1e-5, 2}, 0}),
    rowName<BetweenCase>);

TEST(Segments, NearestPointChoosesFootOrNearerEnd) {
  const Seg2 s{0, 0, 4, 0};
  Vec2d out;
  const Vec2d above{1, 3}, pastEnd{6, 0}, beforeStart{-1, 1};
  EXPECT_DOUBLE_EQ(seg2NearestPoint(&above, &s, &out), 3);
  EXPECT_DOUBLE_EQ(out.x, 1);
  EXPECT_DOUBLE_EQ(seg2NearestPoint(&pastEnd, &s, &out), 2);
  EXPECT_EQ(out.x, 4);
  EXPECT_DOUBLE_EQ(seg2NearestPoint(&beforeStart, &s, &out), std::sqrt(2.0));
  EXPECT_EQ(out.x, 0);
  const Seg2 point{1, 1, 1, 1};
  EXPECT_DOUBLE_EQ(seg2NearestPoint(&above, &point, &out), 2);
  EXPECT_EQ(out.y, 1);
}

TEST(Segments, ArrayNearestTakesTheFirstOfEqualMinima) {
  const std::vector<Seg2> segs = {{0, 1, 2, 1}, {0, -1, 2, -1}, {0, 0.5, 2, 0.5}};
  const Vec2d p{1, 0};
  int index = -1;
  Vec2d out{9, 9};
  EXPECT_DOUBLE_EQ(seg2ArrayNearest(&p, segs.data(), 2, &index), 1);
  EXPECT_EQ(index, 0);
  EXPECT_DOUBLE_EQ(seg2ArrayNearestPoint(&p, segs.data(), 3, &index, &out), 0.5);
  EXPECT_EQ(index, 2);
  EXPECT_DOUBLE_EQ(out.y, 0.5);
  out = {9, 9};
  index = -1;
  EXPECT_EQ(seg2ArrayNearestPoint(&p, segs.data(), 0, &index, &out), 1e10);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(out.x, 9);
  EXPECT_EQ(seg2ArrayNearest(&p, segs.data(), 0, &index), 1e10);
}

// ---- Chains ----------------------------------------------------------------------------

std::vector<Seg2> chain(const std::vector<Vec2d>& pts) {
  std::vector<Seg2> segs;
  for (std::size_t i = 0; i + 1 < pts.size(); ++i)
    segs.push_back({pts[i].x, pts[i].y, pts[i + 1].x, pts[i + 1].y});
  return segs;
}

const std::vector<Seg2> kCcwSquare = chain({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}});
const std::vector<Seg2> kCwSquare = chain({{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}});

TEST(Chains, OrientationAndWinding) {
  EXPECT_EQ(seg2ChainOrientation(kCcwSquare.data(), 4), 1);
  EXPECT_EQ(seg2ChainOrientation(kCwSquare.data(), 4), -1);
  EXPECT_EQ(seg2ChainOrientation(kCcwSquare.data(), 1), 0);
  const std::vector<Seg2> backAndForth = chain({{0, 0}, {1, 1}, {0, 0}});
  EXPECT_EQ(seg2ChainOrientation(backAndForth.data(), 2), 0);
  // A sliver whose doubled area 0.000008 is below the tolerance.
  const std::vector<Seg2> sliver = chain({{0, 0}, {1, 0}, {1, 0.000008}, {0, 0}});
  EXPECT_EQ(seg2ChainOrientation(sliver.data(), 3), 0);

  const Vec2d inside{0.5, 0.5}, outside{2, 0.5}, onLine{0.5, -1};
  EXPECT_EQ(seg2ChainWinding(kCcwSquare.data(), 4, &inside), 1);
  EXPECT_EQ(seg2ChainWinding(kCwSquare.data(), 4, &inside), -1);
  EXPECT_EQ(seg2ChainWinding(kCcwSquare.data(), 4, &outside), 0);
  EXPECT_EQ(seg2ChainWinding(kCcwSquare.data(), 4, &onLine), 0);
  EXPECT_EQ(seg2ChainWinding(kCcwSquare.data(), 0, &inside), 0);
}

TEST(Chains, ClosedWithinTolerance) {
  std::vector<Seg2> open = kCcwSquare;
  open.back().y1 = 0.9e-5;
  EXPECT_EQ(seg2ChainIsClosed(open.data(), 4), 1);
  open.back().y1 = 1.1e-5;
  EXPECT_EQ(seg2ChainIsClosed(open.data(), 4), 0);
  EXPECT_EQ(seg2ChainIsClosed(open.data(), 0), 0);
}

struct TurnDirCase {
  const char* name;
  Seg2 b;
  int result, turn;
};
void PrintTo(const TurnDirCase& c, std::ostream* os) { *os << c.name; }
class TurnDirection : public testing::TestWithParam<TurnDirCase> {};

TEST_P(TurnDirection, Table) {
  const Seg2 a{0, 0, 1, 0};
  int turn = 99;
  EXPECT_EQ(seg2TurnDirection(&a, &GetParam().b, &turn), GetParam().result);
  EXPECT_EQ(turn, GetParam().turn);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TurnDirection,
    testing::Values(TurnDirCase{"left", {1, 0, 2, 1}, 1, 1},
                    TurnDirCase{"right", {1, 0, 2, -1}, 1, -1},
                    TurnDirCase{"straight", {1, 0, 3, 0}, 1, 0},
                    TurnDirCase{"reversal", {1, 0, 0, 0}, 1, -2},
                    TurnDirCase{"sine_0_004_straight", {1, 0, 1 + 0.999992, 0.004}, 1, 0},
                    TurnDirCase{"sine_0_006_left", {1, 0, 1 + 0.999982, 0.006}, 1, 1},
                    TurnDirCase{"no_direction", {1, 0, 1, 0}, 0, 99}),
    rowName<TurnDirCase>);

// ---- Intersections -------------------------------------------------------------------

struct CircleCase {
  const char* name;
  Seg2 s;
  double cx, cy, r;
  int result;
  Vec2d p1, p2;
};
void PrintTo(const CircleCase& c, std::ostream* os) { *os << c.name; }
class LineCircle : public testing::TestWithParam<CircleCase> {};

const double kR2 = std::sqrt(2.0);

TEST_P(LineCircle, Table) {
  const CircleCase& c = GetParam();
  const double circle[7] = {c.cx, c.cy, 0, 0, 0, 0, c.r};
  Vec2d p1{99, 99}, p2{99, 99};
  ASSERT_EQ(seg2LineCircleIntersect(&c.s, circle, &p1, &p2), c.result);
  if (c.result >= 1) {
    EXPECT_NEAR(p1.x, c.p1.x, 1e-9);
    EXPECT_NEAR(p1.y, c.p1.y, 1e-9);
  }
  if (c.result == 2) {
    EXPECT_NEAR(p2.x, c.p2.x, 1e-9);
    EXPECT_NEAR(p2.y, c.p2.y, 1e-9);
  } else {
    EXPECT_EQ(p2.x, 99);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineCircle,
    testing::Values(
        CircleCase{"horizontal_through_centre", {-5, 0, 5, 0}, 0, 0, 2, 2, {-2, 0}, {2, 0}},
        CircleCase{"horizontal_offset_centre", {0, 1, 9, 1}, 3, 1, 1, 2, {2, 1}, {4, 1}},
        CircleCase{"vertical_lower_first", {0, 5, 0, -5}, 0, 0, 2, 2, {0, -2}, {0, 2}},
        CircleCase{"rising_diagonal", {-5, -5, 5, 5}, 0, 0, 2, 2, {-kR2, -kR2}, {kR2, kR2}},
        CircleCase{"falling_diagonal", {-5, 5, 5, -5}, 0, 0, 2, 2, {-kR2, kR2}, {kR2, -kR2}},
        CircleCase{"tangent", {-5, 2, 5, 2}, 0, 0, 2, 1, {0, 2}, {}},
        CircleCase{"tangent_within_0_9e_5",
                   {-5, 2 + 0.9e-5, 5, 2 + 0.9e-5},
                   0,
                   0,
                   2,
                   1,
                   {0, 2 + 0.9e-5},
                   {}},
        CircleCase{"miss_by_1_1e_5", {-5, 2 + 1.1e-5, 5, 2 + 1.1e-5}, 0, 0, 2, 0, {}, {}},
        CircleCase{"miss", {-5, 3, 5, 3}, 0, 0, 2, 0, {}, {}},
        CircleCase{"point_like", {1, 1, 1, 1}, 0, 0, 2, 0, {}, {}}),
    rowName<CircleCase>);

TEST(LineCircleSteep, PointsLieOnTheCircleSmallerXFirst) {
  const double circle[7] = {1, -2, 0, 0, 0, 0, 3};
  const Seg2 steep{0.5, -10, 0.51, 10};
  Vec2d p1, p2;
  ASSERT_EQ(seg2LineCircleIntersect(&steep, circle, &p1, &p2), 2);
  EXPECT_LT(p1.x, p2.x);
  for (const Vec2d& p : {p1, p2}) {
    EXPECT_NEAR(std::hypot(p.x - 1, p.y + 2), 3, 1e-9);
    EXPECT_NEAR(seg2LinePointDistance(p.x, p.y, &steep), 0, 1e-9);
  }
}

TEST(CircleIntersect, PointsOnTheSegmentComeFirst) {
  const double circle[7] = {0, 0, 0, 0, 0, 0, 2};
  Vec2d out[2] = {{9, 9}, {9, 9}};
  const Seg2 half{0, 0, 5, 0}, whole{-5, 0, 5, 0}, tangentOn{-5, 2, 5, 2}, tangentOff{1, 2, 5, 2},
      inside{-1, 0, 1, 0};
  EXPECT_EQ(seg2CircleIntersect(&half, circle, out), 1);
  EXPECT_DOUBLE_EQ(out[0].x, 2);
  EXPECT_EQ(seg2CircleIntersect(&whole, circle, out), 2);
  EXPECT_DOUBLE_EQ(out[0].x, -2);
  EXPECT_DOUBLE_EQ(out[1].x, 2);
  EXPECT_EQ(seg2CircleIntersect(&tangentOn, circle, out), -1);
  EXPECT_EQ(seg2CircleIntersect(&tangentOff, circle, out), 0);
  EXPECT_EQ(seg2CircleIntersect(&inside, circle, out), 0);
}

struct IsectCase {
  const char* name;
  Seg2 a, b;
  int result;
  Vec2d out;
};
void PrintTo(const IsectCase& c, std::ostream* os) { *os << c.name; }
class SegIntersect : public testing::TestWithParam<IsectCase> {};

TEST_P(SegIntersect, Table) {
  const IsectCase& c = GetParam();
  Vec2d out{9, 9};
  ASSERT_EQ(seg2Intersect(&c.a, &c.b, &out), c.result);
  if (c.result == 1) {
    EXPECT_NEAR(out.x, c.out.x, 1e-12);
    EXPECT_NEAR(out.y, c.out.y, 1e-12);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SegIntersect,
    testing::Values(
        IsectCase{"collinear_touch_b_low_end", {0, 0, 1, 0}, {1.00005, 0, 2, 0}, 1, {1.00005, 0}},
        IsectCase{"collinear_touch_0_9e_4", {0, 0, 1, 0}, {1.00009, 0, 2, 0}, 1, {1.00009, 0}},
        IsectCase{"collinear_gap_1_1e_4", {0, 0, 1, 0}, {1.00011, 0, 2, 0}, 0, {}},
        IsectCase{"collinear_disjoint", {0, 0, 1, 0}, {1.5, 0, 2, 0}, 0, {}},
        IsectCase{"collinear_overlap", {0, 0, 1, 0}, {0.5, 0, 2, 0}, -1, {}},
        IsectCase{"collinear_touch_a_low_end", {0, 0, 1, 0}, {-1, 0, -0.00005, 0}, 1, {0, 0}},
        IsectCase{"collinear_vertical_touch", {0, 0, 0, 1}, {0, 2, 0, 1.00005}, 1, {0, 1.00005}},
        IsectCase{"crossing", {0, 0, 2, 2}, {0, 2, 2, 0}, 1, {1, 1}},
        IsectCase{"lines_meet_outside", {0, 0, 1, 0}, {2, -1, 2, 1}, 0, {}},
        IsectCase{"parallel", {0, 0, 1, 0}, {0, 1, 1, 1}, 0, {}},
        IsectCase{"point_on_segment", {1, 0.9e-5, 1, 0.9e-5}, {0, 0, 2, 0}, 1, {1, 0.9e-5}},
        IsectCase{"point_off_segment", {1, 1.1e-5, 1, 1.1e-5}, {0, 0, 2, 0}, 0, {}}),
    rowName<IsectCase>);

TEST(LineIntersect, CodesAndDegenerateSegments) {
  Vec2d out{9, 9};
  const Seg2 a{0, 0, 1, 0}, parallel{0, 1, 1, 1}, collinear{2, 0, 3, 0}, steep{5, -1, 5, 1};
  EXPECT_EQ(seg2LineIntersect(&a, &parallel, &out), 0);
  EXPECT_EQ(seg2LineIntersect(&a, &collinear, &out), -1);
  EXPECT_EQ(seg2LineIntersect(&a, &steep, &out), 1);
  EXPECT_DOUBLE_EQ(out.x, 5);
  EXPECT_NEAR(out.y, 0, 1e-15);
  // Both point-like: equal starts within 0.00001.
  const Seg2 p{3, 3, 3, 3}, q{3 + 0.9e-5, 3, 3 + 0.9e-5, 3}, r{3 + 1.1e-5, 3, 3 + 1.1e-5, 3};
  EXPECT_EQ(seg2DegenerateIntersect(&p, &q, &out), 1);
  EXPECT_EQ(out.x, 3);
  EXPECT_EQ(seg2DegenerateIntersect(&p, &r, &out), 0);
  // Only b point-like: its start against a.
  const Seg2 onA{0.5, 0.9e-5, 0.5, 0.9e-5}, offA{0.5, 1.1e-5, 0.5, 1.1e-5};
  EXPECT_EQ(seg2LineIntersect(&a, &onA, &out), 1);
  EXPECT_EQ(out.x, 0.5);
  EXPECT_EQ(seg2DegenerateIntersect(&a, &offA, &out), 0);
  EXPECT_EQ(seg2DegenerateIntersect(&a, &steep, &out), 0);  // neither point-like
}

// Integer points in general position stay far from the tolerance bands.
TEST(SegIntersectProperty, AgreesWithExactPredicateOnIntegerPoints) {
  const auto pairs = geometry_test::integerSegmentPairs(77, 5000);
  int crossings = 0;
  for (const auto& [s, t, cross, orient] : pairs) {
    Vec2d out;
    ASSERT_EQ(seg2Intersect(&s, &t, &out), cross);
    if (cross == 1) {
      ASSERT_NEAR(seg2LinePointDistance(out.x, out.y, &s), 0, 1e-9);
      ASSERT_NEAR(seg2LinePointDistance(out.x, out.y, &t), 0, 1e-9);
    }
    crossings += cross;
  }
  EXPECT_GT(crossings, 100);
}

}  // namespace
