#include "boundaries/curve_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <polyclipping/clipper.hpp>
#include <random>
#include <string>
#include <vector>

#include "geometry/curves/profile_file.h"
#include "geometry/frame/working_frame.h"
#include "support/message_capture.h"
#include "support/temp_dir.h"

namespace {

using Points = std::vector<Vec2d>;

using tsupport::MessageCapture;

// A boundary over the closed chain through corners (in their order); the box
// is that of the corners.  The segments live in the object.
struct TestBoundary {
  explicit TestBoundary(const Points& corners) {
    rec.xMin = rec.yMin = 1e300;
    rec.xMax = rec.yMax = -1e300;
    for (std::size_t k = 0; k < corners.size(); ++k) {
      const Vec2d& a = corners[k];
      const Vec2d& b = corners[(k + 1) % corners.size()];
      segs.push_back({a.x, a.y, b.x, b.y});
      rec.xMin = std::min(rec.xMin, a.x);
      rec.yMin = std::min(rec.yMin, a.y);
      rec.xMax = std::max(rec.xMax, a.x);
      rec.yMax = std::max(rec.yMax, a.y);
    }
    rec.segCount = static_cast<int32_t>(segs.size());
    rec.segs = segs.data();
    rec.isOuter = 1;
  }
  TestBoundary(const TestBoundary&) = delete;
  std::vector<Seg2> segs;
  BoundaryRec rec{};
};

Points boxCorners(double x0, double y0, double x1, double y1) {
  return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

// A polyline curve on copies of points.
CurveRec* curveOf(const Points& points) {
  CurveRec* c = points.empty()
                    ? curveNew(nullptr, 0, kCurveKindPolyline)
                    : curveNewOwned(static_cast<int>(points.size()), kCurveKindPolyline, false);
  if (c == nullptr) return nullptr;
  std::copy(points.begin(), points.end(), c->points);
  curveUpdateLengths(c);
  return c;
}

Points closed(Points p) {
  p.push_back(p.front());
  return p;
}

Points reversed(Points p) {
  std::reverse(p.begin(), p.end());
  return p;
}

struct FitResult {
  int code;
  double first, last;
  int side;
};

FitResult fit(const Points& profile, const BoundaryRec& bnd, double step, int side = 0) {
  CurveRec* c = curveOf(profile);
  c->side = static_cast<int16_t>(side);
  FitResult r{0, -777, -777, 0};
  r.code = curveFitToBoundary(c, &bnd, step, &r.first, &r.last);
  r.side = c->side;
  curveFree(c);
  return r;
}

// ---- curveMatchesBoundary --------------------------------------------------------

struct MatchRow {
  const char* name;
  Points points;
  int want;
};

class CurveMatchTest : public testing::TestWithParam<MatchRow> {};

TEST_P(CurveMatchTest, TellsWhetherTheCurveRunsAlongTheBoundary) {
  const TestBoundary bnd(boxCorners(0, 0, 10, 10));
  CurveRec* c = curveOf(GetParam().points);
  EXPECT_EQ(curveMatchesBoundary(c, &bnd.rec), GetParam().want);
  curveFree(c);
}

const Points kSquare = boxCorners(0, 0, 10, 10);

INSTANTIATE_TEST_SUITE_P(
    Matches, CurveMatchTest,
    testing::Values(
        MatchRow{"forward_closed", closed(kSquare), 1}, MatchRow{"forward_open", kSquare, 1},
        MatchRow{"reversed_closed", reversed(closed(kSquare)), -1},
        MatchRow{"reversed_open", {{0, 0}, {0, 10}, {10, 10}, {10, 0}}, -1},
        MatchRow{"within_tolerance", {{0.000009, 0}, {10, -0.000009}, {10, 10}, {0, 10}}, 1},
        MatchRow{"beyond_tolerance", {{0.00002, 0}, {10, 0}, {10, 10}, {0, 10}}, 0},
        MatchRow{"other_start", {{10, 0}, {10, 10}, {0, 10}, {0, 0}, {10, 0}}, 0},
        MatchRow{"too_few_points", {{0, 0}, {10, 0}, {10, 10}}, 0},
        MatchRow{"too_many_points", {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}, {10, 0}}, 0}),
    [](const testing::TestParamInfo<MatchRow>& info) { return std::string(info.param.name); });

TEST(CurveMatchEdgeTest, EmptyBoundaryAndNullArguments) {
  const TestBoundary empty(Points{});
  CurveRec* none = curveOf({});
  CurveRec* one = curveOf({{1, 2}});
  CurveRec* two = curveOf({{1, 2}, {3, 4}});
  EXPECT_EQ(curveMatchesBoundary(none, &empty.rec), 1);
  EXPECT_EQ(curveMatchesBoundary(one, &empty.rec), 1);
  EXPECT_EQ(curveMatchesBoundary(two, &empty.rec), 0);
  EXPECT_EQ(curveMatchesBoundary(nullptr, &empty.rec), 0);
  EXPECT_EQ(curveMatchesBoundary(two, nullptr), 0);
  curveFree(none);
  curveFree(one);
  curveFree(two);
}

// ---- The curve is the boundary -------------------------------------------------

struct SelfRow {
  const char* name;
  Points boundary;
  Points profile;
  double last;
  int side;
};

class CurveIsBoundaryTest : public testing::TestWithParam<SelfRow> {};

TEST_P(CurveIsBoundaryTest, RangeRunsInwardFromTheBoundary) {
  const SelfRow& row = GetParam();
  const TestBoundary bnd(row.boundary);
  // The side flag starts opposite to the expected one: the fit sets it.
  const FitResult r = fit(row.profile, bnd.rec, 1.0, 1 - row.side);
  EXPECT_EQ(r.code, 0);
  EXPECT_DOUBLE_EQ(r.first, 0);
  EXPECT_DOUBLE_EQ(r.last, row.last);
  EXPECT_EQ(r.side, row.side);
}

// A 10 x 6 box: half the larger extent is 5.
const Points kFlatBox = boxCorners(0, 0, 10, 6);

INSTANTIATE_TEST_SUITE_P(
    Self, CurveIsBoundaryTest,
    testing::Values(SelfRow{"ccw_profile_ccw_boundary", kFlatBox, closed(kFlatBox), 5, 0},
                    SelfRow{"cw_profile_ccw_boundary", kFlatBox, reversed(closed(kFlatBox)), -5, 1},
                    SelfRow{"cw_profile_cw_boundary", reversed(kFlatBox),
                            closed(reversed(kFlatBox)), -5, 1},
                    SelfRow{"ccw_profile_cw_boundary",
                            reversed(kFlatBox),
                            {{0, 6}, {0, 0}, {10, 0}, {10, 6}},
                            5,
                            0}),
    [](const testing::TestParamInfo<SelfRow>& info) { return std::string(info.param.name); });

TEST(CurveFitTest, StepBelowToleranceGivesZeroRangeAndNoOffset) {
  const TestBoundary bnd(boxCorners(0, 0, 100, 50));
  for (const double step : {0.0, 0.000009, -0.000009}) {
    // Far away and reaching nothing: any offset search would fail.
    const FitResult r = fit({{1e6, 1e6}, {1e6 + 1, 1e6}}, bnd.rec, step, 1);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.last, 0);
    EXPECT_EQ(r.side, 1);
  }
}

// ---- Straight profiles across a 100 x 50 box ------------------------------------

// Offsets of a straight line are parallel lines, so the exact range is that of
// the signed distances (positive to the left) of the box corners.
void exactLineRange(const Vec2d& a, const Vec2d& b, const Points& corners, double* lo, double* hi) {
  const double len = std::hypot(b.x - a.x, b.y - a.y);
  *lo = 1e300;
  *hi = -1e300;
  for (const Vec2d& c : corners) {
    const double s = ((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)) / len;
    *lo = std::min(*lo, s);
    *hi = std::max(*hi, s);
  }
}

struct LineRow {
  const char* name;
  Vec2d a, b;
  double step;
  int side;
};

class CurveFitLineTest : public testing::TestWithParam<LineRow> {};

TEST_P(CurveFitLineTest, EndsLieWithinOneStepInsideTheExactRange) {
  const LineRow& row = GetParam();
  const Points corners = boxCorners(0, 0, 100, 50);
  const TestBoundary bnd(corners);
  double lo, hi;
  exactLineRange(row.a, row.b, corners, &lo, &hi);
  FitResult r = fit({row.a, row.b}, bnd.rec, row.step, row.side);
  ASSERT_EQ(r.code, 0);
  if (row.side) std::swap(r.first, r.last);
  const double eps = std::fabs(row.step);
  const double slack = 1e-9;
  EXPECT_GE(r.first, lo - slack);
  EXPECT_LE(r.first, lo + eps + slack);
  EXPECT_LE(r.last, hi + slack);
  EXPECT_GE(r.last, hi - eps - slack);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CurveFitLineTest,
    testing::Values(LineRow{"middle_horizontal", {-20, 25}, {120, 25}, 1.0, 0},
                    LineRow{"middle_horizontal_fine_step", {-20, 25}, {120, 25}, 0.01, 0},
                    LineRow{"negative_step", {-20, 25}, {120, 25}, -0.5, 0},
                    LineRow{"middle_vertical", {50, -20}, {50, 70}, 1.0, 0},
                    LineRow{"off_centre", {-20, 10}, {120, 10}, 1.0, 0},
                    LineRow{"off_centre_reversed", {120, 10}, {-20, 10}, 1.0, 0},
                    LineRow{"diagonal", {-50, -40}, {150, 90}, 0.5, 0},
                    LineRow{"side_flag_swaps_the_ends", {-20, 10}, {120, 10}, 1.0, 1},
                    LineRow{"below_the_box", {-200, -30}, {300, -30}, 1.0, 0},
                    LineRow{"above_the_box", {-200, 80}, {300, 80}, 1.0, 0}),
    [](const testing::TestParamInfo<LineRow>& info) { return std::string(info.param.name); });

struct OutsideRow {
  const char* name;
  Points profile;
  double offset;  // the meeting offset the search finds first
};

class CurveFindOffsetTest : public testing::TestWithParam<OutsideRow> {};

TEST_P(CurveFindOffsetTest, TriesZeroThenPlusAndMinusTheCentreDistance) {
  const TestBoundary bnd(boxCorners(0, 0, 100, 50));
  CurveRec* c = curveOf(GetParam().profile);
  int n = 0;
  Seg2* segs = curveToSeg2(c, 0, &n);
  CurveFitChain chain{segs, n, 123.0};
  EXPECT_EQ(curveFindMeetingOffset(&chain, &bnd.rec), 1);
  EXPECT_DOUBLE_EQ(chain.offset, GetParam().offset);
  std::free(segs);
  curveFree(c);
}

INSTANTIATE_TEST_SUITE_P(
    Outside, CurveFindOffsetTest,
    testing::Values(OutsideRow{"crossing_meets_at_zero", {{-20, 10}, {120, 10}}, 0},
                    OutsideRow{"inside_meets_at_zero", {{40, 20}, {60, 30}}, 0},
                    // The centre (50, 25) lies 55 from both lines.
                    OutsideRow{"below_to_the_left", {{-200, -30}, {300, -30}}, 55},
                    OutsideRow{"above_to_the_right", {{-200, 80}, {300, 80}}, -55}),
    [](const testing::TestParamInfo<OutsideRow>& info) { return std::string(info.param.name); });

TEST(CurveFitTest, ProfileThatNeverReachesTheBoundaryFails) {
  const TestBoundary bnd(boxCorners(0, 0, 100, 50));
  // Offsets of a straight piece move it sideways only: these never reach.
  const Points farAcross = {{1000, 1000}, {1010, 1000}};
  const Points farAlong = {{1000, 1000}, {1000, 1010}};
  for (const Points& profile : {farAcross, farAlong, Points{{50, 25}}, Points{}}) {
    const FitResult r = fit(profile, bnd.rec, 1.0);
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.first, -777);  // outputs untouched
    EXPECT_EQ(r.last, -777);
  }
}

TEST(CurveFitTest, NullArgumentsAndNonFiniteStepsFail) {
  const TestBoundary bnd(boxCorners(0, 0, 100, 50));
  CurveRec* c = curveOf({{-20, 25}, {120, 25}});
  double a = -777, b = -777;
  EXPECT_EQ(curveFitToBoundary(nullptr, &bnd.rec, 1, &a, &b), -1);
  EXPECT_EQ(curveFitToBoundary(c, nullptr, 1, &a, &b), -1);
  EXPECT_EQ(curveFitToBoundary(c, &bnd.rec, 1, nullptr, &b), -1);
  // A step without a size bisects nothing: no range is passed off as fitted.
  for (const double step : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    EXPECT_EQ(curveFitToBoundary(c, &bnd.rec, step, &a, &b), -1) << step;
  }
  EXPECT_EQ(a, -777);
  EXPECT_EQ(b, -777);
  curveFree(c);
}

TEST(CurveFitTest, BisectionEndsWhereDoublesRunOut) {
  // Near 1e17 neighbouring doubles lie 16 apart, far more than the step: the
  // middle of two neighbours rounds to one of them, and halving must stop
  // there instead of spinning.
  const TestBoundary bnd(boxCorners(0, 0, 100, 50));
  const Seg2 far{1000, 1000, 1010, 1000};
  CurveFitChain chain{&far, 1, 0.0};
  CurveBisection b{1e17, 1e17 + 16, 1};
  ASSERT_EQ(std::nextafter(b.lo, b.hi), b.hi);
  EXPECT_EQ(curveBisectOffset(&chain, &bnd.rec, &b, 0.00001), 1);
  EXPECT_EQ(b.lo, 1e17);
  EXPECT_EQ(b.hi, 1e17 + 16);
}

TEST(CurveFitTest, FitLeavesTheCurvePointsAlone) {
  const TestBoundary bnd(boxCorners(0, 0, 100, 50));
  const Points profile = closed({{20, 10}, {60, 15}, {30, 40}});
  CurveRec* c = curveOf(profile);
  double a = 0, b = 0;
  ASSERT_EQ(curveFitToBoundary(c, &bnd.rec, 1.0, &a, &b), 0);
  ASSERT_EQ(c->count, static_cast<int>(profile.size()));
  for (std::size_t k = 0; k < profile.size(); ++k) {
    EXPECT_EQ(c->points[k].x, profile[k].x);
    EXPECT_EQ(c->points[k].y, profile[k].y);
  }
  curveFree(c);
}

TEST(CurveFitTest, RandomZigZagProfilesGiveMeetingEnds) {
  // Zig-zags across the box: offset 0 meets, both ends found must meet, and
  // the offsets work on many-segment chains with their own output room.
  const TestBoundary bnd(boxCorners(0, 0, 100, 50));
  std::mt19937 random(20261210);
  std::uniform_real_distribution<double> jitter(-15.0, 15.0);
  for (int round = 0; round < 8; ++round) {
    Points profile;
    for (int k = 0; k <= 60; ++k) profile.push_back({-20.0 + 2.3 * k, 25.0 + jitter(random)});
    CurveRec* c = curveOf(profile);
    double first = 0, last = 0;
    ASSERT_EQ(curveFitToBoundary(c, &bnd.rec, 0.5, &first, &last), 0) << "round " << round;
    EXPECT_LE(first, 0.0);
    EXPECT_GE(last, 0.0);
    int n = 0;
    Seg2* segs = curveToSeg2(c, 0, &n);
    const CurveFitChain chain{segs, n, 0.0};
    EXPECT_EQ(curveOffsetMeetsBoundary(&chain, &bnd.rec, first), 1) << "round " << round;
    EXPECT_EQ(curveOffsetMeetsBoundary(&chain, &bnd.rec, last), 1) << "round " << round;
    std::free(segs);
    curveFree(c);
  }
}

// ---- Closed profiles against an independent offset ------------------------------

// Clipper works on integers: coordinates are scaled by this.
constexpr double kClipScale = 1e6;

ClipperLib::Path clipPath(const Points& p) {
  ClipperLib::Path out;
  for (const Vec2d& v : p) {
    out.emplace_back(static_cast<ClipperLib::cInt>(std::llround(v.x * kClipScale)),
                     static_cast<ClipperLib::cInt>(std::llround(v.y * kClipScale)));
  }
  return out;
}

// subject op clip with Clipper (non-zero fill).
ClipperLib::Paths clipBoolean(ClipperLib::ClipType op, const ClipperLib::Paths& subject,
                              const ClipperLib::Paths& clip) {
  ClipperLib::Clipper c;
  c.AddPaths(subject, ClipperLib::ptSubject, true);
  c.AddPaths(clip, ClipperLib::ptClip, true);
  ClipperLib::Paths result;
  c.Execute(op, result, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
  return result;
}

// Whether the square-joined offset of the counter-clockwise polygon by d
// (d > 0 to the left, that is inward) meets the box: it covers a part of the
// box, but not all of it.  Any piece counts, however small: slivers are what
// decides the ends of the range.
bool oracleMeets(const Points& polygon, const Points& box, double d) {
  ClipperLib::ClipperOffset offset;
  offset.AddPath(clipPath(polygon), ClipperLib::jtSquare, ClipperLib::etClosedPolygon);
  ClipperLib::Paths grown;
  offset.Execute(grown, -d * kClipScale);
  const ClipperLib::Paths boxPaths = {clipPath(box)};
  return !clipBoolean(ClipperLib::ctIntersection, grown, boxPaths).empty() &&
         !clipBoolean(ClipperLib::ctDifference, boxPaths, grown).empty();
}

// The end of the meeting range between inside (meets) and outside (does not).
double oracleEnd(const Points& polygon, const Points& box, double inside, double outside) {
  while (std::fabs(outside - inside) > 1e-6) {
    const double mid = (inside + outside) / 2;
    (oracleMeets(polygon, box, mid) ? inside : outside) = mid;
  }
  return inside;
}

struct PolygonRow {
  const char* name;
  Points polygon;  // counter-clockwise, not repeated at the end
  double step;
};

class CurveFitPolygonTest : public testing::TestWithParam<PolygonRow> {};

TEST_P(CurveFitPolygonTest, EndsLieWithinOneStepOfTheOracle) {
  const PolygonRow& row = GetParam();
  const Points box = boxCorners(0, 0, 100, 50);
  const TestBoundary bnd(box);
  ASSERT_TRUE(oracleMeets(row.polygon, box, 0));
  const double lo = oracleEnd(row.polygon, box, 0, -1000);
  const double hi = oracleEnd(row.polygon, box, 0, 1000);
  const FitResult r = fit(closed(row.polygon), bnd.rec, row.step);
  ASSERT_EQ(r.code, 0);
  const double slack = 1e-4;
  EXPECT_GE(r.first, lo - slack);
  EXPECT_LE(r.first, lo + row.step + slack);
  EXPECT_LE(r.last, hi + slack);
  EXPECT_GE(r.last, hi - row.step - slack);
}

INSTANTIATE_TEST_SUITE_P(
    Polygons, CurveFitPolygonTest,
    testing::Values(PolygonRow{"triangle", {{20, 10}, {60, 15}, {30, 40}}, 1.0},
                    PolygonRow{"triangle_fine_step", {{20, 10}, {60, 15}, {30, 40}}, 0.05},
                    PolygonRow{"small_square_near_a_corner", boxCorners(80, 35, 90, 45), 0.5},
                    PolygonRow{"tilted_square", {{50, 5}, {70, 20}, {55, 40}, {35, 25}}, 0.5},
                    PolygonRow{
                        "pentagon", {{40, 10}, {60, 10}, {66, 28}, {50, 40}, {34, 28}}, 0.25},
                    PolygonRow{"crossing_the_box", {{-20, 10}, {60, 5}, {70, 30}, {-10, 45}}, 1.0}),
    [](const testing::TestParamInfo<PolygonRow>& info) { return std::string(info.param.name); });

// ---- Fitted profile readers -----------------------------------------------------

class FittedReaderTest : public testing::Test {
 protected:
  void SetUp() override { frameReset(); }
  void TearDown() override { frameReset(); }
  std::string write(const std::string& name, const std::string& text) {
    EXPECT_TRUE(tsupport::writeFile(dir_.file(name), text));
    return name;
  }
  tsupport::ScopedWorkDir dir_;
  TestBoundary box_{boxCorners(0, 0, 100, 50)};
};

// A horizontal profile at height z across the box at y.
std::string lineProfile(int number, double y, double z) {
  return "**PRF " + std::to_string(number) + "\nX-20 Y" + std::to_string(y) + " Z" +
         std::to_string(z) + "\nX120\n**END\n";
}

TEST_F(FittedReaderTest, FittedReadStoresTheRangeOfTheReadDirection) {
  const std::string name = write("line.prf", lineProfile(1, 10, 3));
  struct Case {
    int reverse;
    double lo, hi;  // exact range of the read direction
  };
  for (const Case& k : {Case{0, -10, 40}, Case{1, -40, 10}}) {
    CurveRec* c = curveReadPrfFitted(name.c_str(), &box_.rec, 1.0, k.reverse, 0, 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->reverse, k.reverse);
    EXPECT_STREQ(c->name, "line.prf");
    ASSERT_NE(c->z, nullptr);
    EXPECT_DOUBLE_EQ(c->z[0], 3);
    EXPECT_GE(c->firstStep, k.lo);
    EXPECT_LE(c->firstStep, k.lo + 1);
    EXPECT_LE(c->lastStep, k.hi);
    EXPECT_GE(c->lastStep, k.hi - 1);
    curveFree(c);
  }
}

TEST_F(FittedReaderTest, FittedReadWithoutBoundaryHasZeroSteps) {
  const std::string name = write("line.prf", lineProfile(1, 10, 3));
  CurveRec* c = curveReadPrfFitted(name.c_str(), nullptr, 1.0, 0, 1, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->z, nullptr);
  EXPECT_EQ(c->side, 1);
  EXPECT_EQ(c->firstStep, 0);
  EXPECT_EQ(c->lastStep, 0);
  curveFree(c);
}

TEST_F(FittedReaderTest, ProfileOutsideItsBoundarySendsMessage601) {
  MessageCapture capture;
  const std::string name = write("far.prf", "**PRF 1\nX1000 Y1000\nX1010\n**END\n");
  EXPECT_EQ(curveReadPrfFitted(name.c_str(), &box_.rec, 1.0, 0, 0, 1), nullptr);
  EXPECT_EQ(capture.values, std::vector<std::string>{"601,0"});
}

TEST_F(FittedReaderTest, FileWithoutPointsGivesNullWithoutMessage) {
  MessageCapture capture;
  const std::string name = write("empty.prf", "**PRF 1\n**END\n");
  EXPECT_EQ(curveReadPrfFitted(name.c_str(), &box_.rec, 1.0, 0, 0, 1), nullptr);
  EXPECT_EQ(curveReadPrfFitted("missing.prf", &box_.rec, 1.0, 0, 0, 1), nullptr);
  EXPECT_EQ(curveReadPrfAll(name.c_str(), &box_.rec, 1.0, 0, 0), nullptr);
  EXPECT_TRUE(capture.values.empty());
}

TEST_F(FittedReaderTest, ReadAllFitsEveryProfileInMemory) {
  // The input carries the split file's name; it must be read whole and stay.
  const std::string text = lineProfile(1, 10, 1) + lineProfile(2, 25, 2) + lineProfile(3, 40, 3);
  write("tmp.prf", text);
  CurveRec* chain = curveReadPrfAll("tmp.prf", &box_.rec, 1.0, 0, 0);
  const double lows[3] = {-10, -25, -40};
  int k = 0;
  for (CurveRec* c = chain; c != nullptr; c = c->next, ++k) {
    ASSERT_LT(k, 3);
    EXPECT_STREQ(c->name, "tmp.prf");
    ASSERT_NE(c->z, nullptr);
    EXPECT_DOUBLE_EQ(c->z[0], k + 1);
    EXPECT_GE(c->firstStep, lows[k]);
    EXPECT_LE(c->firstStep, lows[k] + 1);
    EXPECT_LE(c->lastStep, lows[k] + 50);
    EXPECT_GE(c->lastStep, lows[k] + 49);
  }
  EXPECT_EQ(k, 3);
  curveFree(chain);
  EXPECT_EQ(tsupport::readFile(dir_.file("tmp.prf")), text);
}

TEST_F(FittedReaderTest, ReadAllStopsAtAProfileThatDoesNotFit) {
  MessageCapture capture;
  const std::string far = "**PRF 2\nX1000 Y1000\nX1010\n**END\n";
  const std::string name = write("three.prf", lineProfile(1, 10, 1) + far + lineProfile(3, 40, 3));
  CurveRec* chain = curveReadPrfAll(name.c_str(), &box_.rec, 1.0, 0, 0);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->next, nullptr);
  EXPECT_EQ(capture.values, std::vector<std::string>{"601,0"});
  curveFree(chain);
}

TEST_F(FittedReaderTest, ReadAllStopsAtAProfileWithoutPoints) {
  const std::string name =
      write("three.prf", lineProfile(1, 10, 1) + "**PRF 2\n**END\n" + lineProfile(3, 40, 3));
  CurveRec* chain = curveReadPrfAll(name.c_str(), nullptr, 1.0, 0, 0);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->next, nullptr);
  EXPECT_EQ(chain->firstStep, 0);
  curveFree(chain);
}

TEST_F(FittedReaderTest, ReadAllOfASingleProfileKeepsTheFileName) {
  const std::string name = write("one.prf", lineProfile(1, 10, 4));
  CurveRec* c = curveReadPrfAll(name.c_str(), nullptr, 1.0, 1, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->next, nullptr);
  EXPECT_STREQ(c->name, "one.prf");
  EXPECT_EQ(c->reverse, 1);
  EXPECT_DOUBLE_EQ(c->points[0].x, 120);
  ASSERT_NE(c->z, nullptr);
  EXPECT_DOUBLE_EQ(c->z[1], 4);
  curveFree(c);
}

}  // namespace
