#include "geometry/curves/spline2d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "base/messages.h"
#include "support/message_capture.h"

namespace {

using tsupport::MessageCapture;

// Frees the spline when the test ends, whatever it asserts.
struct SplineHolder {
  Spline2dRec* s;
  explicit SplineHolder(Spline2dRec* spline) : s(spline) {}
  ~SplineHolder() { spline2dFree(s); }
  SplineHolder(const SplineHolder&) = delete;
  SplineHolder& operator=(const SplineHolder&) = delete;
};

Spline2dRec* build(const std::vector<Vec2d>& pts) {
  return spline2dBuild(pts.data(), static_cast<int>(pts.size()));
}

// Second derivative with respect to u of one coordinate's coefficients.
double second(const double* c, double u) { return 2.0 * c[2] + 6.0 * c[3] * u; }

TEST(Spline2dBuild, CollinearPointsGiveStraightSegmentsAndOneTangent) {
  SplineHolder h(build({{0, 0}, {1, 1}, {3, 3}}));
  ASSERT_NE(h.s, nullptr);
  ASSERT_EQ(h.s->segCount, 2);
  for (int j = 0; j < 2; ++j) {
    EXPECT_NEAR(h.s->segs[j].cx[2], 0.0, 1e-12);
    EXPECT_NEAR(h.s->segs[j].cx[3], 0.0, 1e-12);
    EXPECT_NEAR(h.s->segs[j].cy[2], 0.0, 1e-12);
    EXPECT_NEAR(h.s->segs[j].cy[3], 0.0, 1e-12);
  }
  const double r = std::sqrt(0.5);
  for (double t : {0.0, 0.3, std::sqrt(2.0), 3.5, 3 * std::sqrt(2.0)}) {
    Vec2d p{}, tan{};
    ASSERT_EQ(spline2dEvalCurrent(nullptr, t, &p, &tan), 1) << t;
    EXPECT_NEAR(tan.x, r, 1e-12);
    EXPECT_NEAR(tan.y, r, 1e-12);
    EXPECT_NEAR(p.x, t * r, 1e-12);
    EXPECT_NEAR(p.y, t * r, 1e-12);
  }
}

TEST(Spline2dBuild, NearDuplicatesMerge) {
  EXPECT_EQ(build({{1, 1}, {1.00005, 1}}), nullptr);
  EXPECT_EQ(build({{1, 1}}), nullptr);
  SplineHolder h(build({{0, 0}, {0.00005, 0}, {2, 0}, {2, 0.00009}}));
  ASSERT_NE(h.s, nullptr);
  EXPECT_EQ(h.s->segCount, 1);
  EXPECT_DOUBLE_EQ(h.s->knots[1], 2.0);
}

// The natural cubic spline is the only C2 piecewise cubic through the points
// with zero curvature at both ends: check those conditions directly on
// random point sets (fixed seed).
TEST(Spline2dBuild, IsTheNaturalC2InterpolantOnRandomPoints) {
  std::mt19937 rng(12);
  std::uniform_real_distribution<double> step(0.01, 3.0), turn(-1.5, 1.5);
  for (int trial = 0; trial < 50; ++trial) {
    const int n = 2 + static_cast<int>(rng() % 30);
    std::vector<Vec2d> pts{{0, 0}};
    double a = 0;
    for (int i = 1; i < n; ++i) {
      a += turn(rng);
      const double d = step(rng);
      pts.push_back({pts.back().x + d * std::cos(a), pts.back().y + d * std::sin(a)});
    }
    SplineHolder h(build(pts));
    ASSERT_NE(h.s, nullptr);
    ASSERT_EQ(h.s->segCount, n - 1);
    const Spline2dRec* s = h.s;
    for (int j = 0; j < n - 1; ++j) {
      const double len = s->knots[j + 1] - s->knots[j];
      EXPECT_NEAR(len, std::hypot(pts[j + 1].x - pts[j].x, pts[j + 1].y - pts[j].y), 1e-12);
      Vec2d p0{}, p1{};
      spline2dSegEval(&s->segs[j], 0.0, &p0);
      spline2dSegEval(&s->segs[j], 1.0, &p1);
      EXPECT_NEAR(p0.x, pts[j].x, 1e-9);
      EXPECT_NEAR(p0.y, pts[j].y, 1e-9);
      EXPECT_NEAR(p1.x, pts[j + 1].x, 1e-9);
      EXPECT_NEAR(p1.y, pts[j + 1].y, 1e-9);
      if (j + 1 < n - 1) {
        // d/dt and d2/dt2 agree across the knot.
        const double next = s->knots[j + 2] - s->knots[j + 1];
        double d0[2], d1[2];
        spline2dSegDeriv(&s->segs[j], 1.0, d0);
        spline2dSegDeriv(&s->segs[j + 1], 0.0, d1);
        EXPECT_NEAR(d0[0] / len, d1[0] / next, 1e-7);
        EXPECT_NEAR(d0[1] / len, d1[1] / next, 1e-7);
        EXPECT_NEAR(second(s->segs[j].cx, 1.0) / (len * len),
                    second(s->segs[j + 1].cx, 0.0) / (next * next), 1e-6);
        EXPECT_NEAR(second(s->segs[j].cy, 1.0) / (len * len),
                    second(s->segs[j + 1].cy, 0.0) / (next * next), 1e-6);
      }
    }
    EXPECT_NEAR(second(s->segs[0].cx, 0.0), 0.0, 1e-9);
    EXPECT_NEAR(second(s->segs[0].cy, 0.0), 0.0, 1e-9);
    EXPECT_NEAR(second(s->segs[n - 2].cx, 1.0), 0.0, 1e-9);
    EXPECT_NEAR(second(s->segs[n - 2].cy, 1.0), 0.0, 1e-9);
  }
}

struct EvalRow {
  const char* name;
  double t;
  int result;
  Vec2d point;  // when found
};

class Spline2dEvalAt : public ::testing::TestWithParam<EvalRow> {};

// Knots at 0, 1 and 3 along the x axis (a straight spline: the point is
// (t, 0) and the derivative with respect to u is the segment length).
TEST_P(Spline2dEvalAt, SegmentChoiceAndRange) {
  const EvalRow& row = GetParam();
  SplineHolder h(build({{0, 0}, {1, 0}, {3, 0}}));
  ASSERT_NE(h.s, nullptr);
  Vec2d p{-7, -7};
  double d[2] = {-7, -7};
  ASSERT_EQ(spline2dEval(h.s, row.t, &p, d), row.result);
  if (row.result == 1) {
    EXPECT_NEAR(p.x, row.point.x, 1e-12);
    EXPECT_NEAR(p.y, row.point.y, 1e-12);
    // A knot belongs to the segment that ends there: length 1 at t = 1.
    EXPECT_NEAR(d[0], row.t <= 1.0 ? 1.0 : 2.0, 1e-12);
  } else {
    EXPECT_EQ(p.x, -7);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Spline2dEvalAt,
    ::testing::Values(EvalRow{"Start", 0.0, 1, {0, 0}}, EvalRow{"InnerKnot", 1.0, 1, {1, 0}},
                      EvalRow{"SecondSegment", 2.0, 1, {2, 0}}, EvalRow{"End", 3.0, 1, {3, 0}},
                      EvalRow{"Negative", -0.001, -1, {}}, EvalRow{"BeyondLastKnot", 3.001, -1, {}},
                      EvalRow{"FarBeyond", 1e9, -1, {}}, EvalRow{"NaN", std::nan(""), -1, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Spline2dEvalCurrent, NoCurrentSplineBeforeBuildAndAfterFree) {
  msgSetLevel(nullptr, kMsgDefaultLevel | kMsgTraceFlag);
  MessageCapture messages;
  Vec2d p{5, 5}, t{5, 5};
  // Any earlier spline of this process was freed by its test.
  EXPECT_EQ(spline2dEvalCurrent(nullptr, 0.0, &p, &t), -1);
  EXPECT_EQ(p.x, 0.0);
  EXPECT_EQ(t.y, 0.0);
  Spline2dRec* first = build({{0, 0}, {1, 0}});
  Spline2dRec* second = build({{0, 0}, {0, 2}});
  ASSERT_EQ(spline2dEvalCurrent(nullptr, 1.0, &p, &t), 1);
  EXPECT_NEAR(t.y, 1.0, 1e-12);  // the last one built
  spline2dFree(second);
  EXPECT_EQ(spline2dEvalCurrent(nullptr, 0.5, &p, &t), -1);
  spline2dFree(first);
  msgSetLevel(nullptr, kMsgDefaultLevel);
  ASSERT_EQ(messages.values.size(), 2u);
  EXPECT_EQ(messages.values[0], "9999,* Create Spline first");
}

TEST(Spline2dEvalCurrent, BeyondTheEndFailsWithZeroOutputs) {
  SplineHolder h(build({{0, 0}, {4, 3}}));
  Vec2d p{5, 5}, t{5, 5};
  EXPECT_EQ(spline2dEvalCurrent(nullptr, 5.5, &p, &t), -1);
  EXPECT_EQ(p.x, 0.0);
  EXPECT_EQ(t.x, 0.0);
  ASSERT_EQ(spline2dEvalCurrent(nullptr, 5.0, &p, &t), 1);
  EXPECT_NEAR(p.x, 4.0, 1e-12);
  EXPECT_NEAR(t.x, 0.8, 1e-12);
}

struct ThinRow {
  const char* name;
  std::vector<Vec2d> pts;
  double maxChord;
  double tol;
  std::vector<Vec2d> kept;
};

class Pts2dThinFilter : public ::testing::TestWithParam<ThinRow> {};

TEST_P(Pts2dThinFilter, KeptPoints) {
  const ThinRow& row = GetParam();
  std::vector<Vec2d> pts = row.pts;
  int n = static_cast<int>(pts.size());
  ASSERT_EQ(pts2dThinFilter(pts.data(), &n, row.maxChord, row.tol), 1);
  ASSERT_EQ(n, static_cast<int>(row.kept.size()));
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(pts[i].x, row.kept[i].x) << i;
    EXPECT_EQ(pts[i].y, row.kept[i].y) << i;
  }
}

const std::vector<Vec2d> kFive{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}};
const std::vector<Vec2d> kBump{{0, 0}, {1, 0.2}, {2, 0}};

INSTANTIATE_TEST_SUITE_P(
    Table, Pts2dThinFilter,
    ::testing::Values(
        ThinRow{"CollinearLongChord", kFive, 10, 0.001, {{0, 0}, {4, 0}}},
        ThinRow{"CollinearChord2", kFive, 2, 0.001, {{0, 0}, {2, 0}, {4, 0}}},
        ThinRow{"CollinearChord1_5", kFive, 1.5, 0.001, kFive},
        ThinRow{"BumpWithinTolerance", kBump, 10, 0.5, {{0, 0}, {2, 0}}},
        ThinRow{"BumpBeyondTolerance", kBump, 10, 0.1, kBump},
        // Going back along the chord is in line for the angle test: only the
        // distance decides.
        ThinRow{"SpikeBackAlongChord", {{0, 0}, {-1, 0.01}, {3, 0}}, 10, 0.1, {{0, 0}, {3, 0}}},
        // More than 60 degrees off the chord direction stays, however near.
        ThinRow{"SteepSideStep",
                {{0, 0}, {0.01, 0.05}, {3, 0}},
                10,
                0.1,
                {{0, 0}, {0.01, 0.05}, {3, 0}}},
        ThinRow{"ZeroChordDrops",
                {{0, 0}, {1, 1}, {0, 0}, {5, 0}},
                10,
                0.001,
                {{0, 0}, {0, 0}, {5, 0}}},
        ThinRow{"TwoPointsStay", {{0, 0}, {0, 0}}, 10, 1, {{0, 0}, {0, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Pts2dThinFilter, FewerThanTwoPointsIsNothingDone) {
  Vec2d p{1, 2};
  int n = 1;
  EXPECT_EQ(pts2dThinFilter(&p, &n, 10, 1), 0);
  EXPECT_EQ(n, 1);
  n = 0;
  EXPECT_EQ(pts2dThinFilter(&p, &n, 10, 1), 0);
}

// Every dropped point lies within the tolerance of the line of the kept
// chord around it, and no chord that dropped a point is longer than maxChord.
TEST(Pts2dThinFilter, DroppedPointsStayNearTheirChordOnRandomPaths) {
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 0.02);
  for (int trial = 0; trial < 40; ++trial) {
    std::vector<Vec2d> pts;
    for (int i = 0; i < 200; ++i) {
      const double s = i * 0.1;
      pts.push_back({s + noise(rng), std::sin(s * 0.3 * (1 + trial % 4)) + noise(rng)});
    }
    const double tol = 0.01 + 0.01 * (trial % 5);
    std::vector<std::uint8_t> keep(pts.size());
    pts2dThinMarks(pts.data(), static_cast<int>(pts.size()), 2.0, tol, keep.data());
    ASSERT_TRUE(keep.front() && keep.back());
    int a = 0;
    for (int b = 1; b < static_cast<int>(pts.size()); ++b) {
      if (!keep[b]) continue;
      const double ux = pts[b].x - pts[a].x, uy = pts[b].y - pts[a].y;
      const double len = std::hypot(ux, uy);
      if (b > a + 1) {
        EXPECT_LE(len, 2.0);
      }
      for (int m = a + 1; m < b; ++m) {
        if (len < 1e-5) continue;
        const double vx = pts[m].x - pts[a].x, vy = pts[m].y - pts[a].y;
        EXPECT_LE(std::fabs(vx * uy - vy * ux) / len, tol + 1e-12);
      }
      a = b;
    }
  }
}

}  // namespace
