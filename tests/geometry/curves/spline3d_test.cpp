#include "geometry/curves/spline3d.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

Vec3d eval(const Spline3dRec* s, int seg, double u) {
  Vec3d p;
  spline3dSegEval(&s->segs[seg], u, &p);
  return p;
}

// First and second derivative of a segment in its local parameter, per
// coordinate, at u.
double derivative(const std::vector<double>& c, double u, int order) {
  if (order == 1) return c[1] + 2 * c[2] * u + 3 * c[3] * u * u;
  return 2 * c[2] + 6 * c[3] * u;
}

void expectNear(const Vec3d& a, const Vec3d& b, double tol) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

TEST(Spline3d, CollinearEvenPointsGiveStraightSegments) {
  const Vec3d pts[3] = {{0, 0, 0}, {1, 2, 3}, {2, 4, 6}};
  Spline3dRec* s = spline3dInterpolate(pts, 3, kSplineChord);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->segCount, 2);
  for (const Spline3dSeg& seg : s->segs) {
    for (const std::vector<double>* c : {&seg.cx, &seg.cy, &seg.cz}) {
      EXPECT_NEAR((*c)[2], 0.0, 1e-12);
      EXPECT_NEAR((*c)[3], 0.0, 1e-12);
    }
  }
  spline3dFree(s);
}

// The fit passes through its points and is C2 at every inner knot
// (derivatives taken with respect to the global parameter), for random
// points and every parameter kind.
TEST(Spline3d, PassesThroughItsPointsWithContinuousSecondDerivatives) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> u(-50.0, 50.0);
  for (int kind : {kSplineUniform, kSplineChord, kSplineCentripetal}) {
    for (int trial = 0; trial < 20; ++trial) {
      std::vector<Vec3d> pts(3 + trial % 9);
      for (Vec3d& p : pts) p = {u(rng), u(rng), u(rng)};
      if (trial % 4 == 0) pts.push_back(pts.front());  // closed
      Spline3dRec* s = spline3dInterpolate(pts.data(), static_cast<int>(pts.size()), kind);
      ASSERT_NE(s, nullptr);
      ASSERT_EQ(s->segCount, static_cast<int>(pts.size()) - 1);
      for (int j = 0; j < s->segCount; ++j) {
        expectNear(eval(s, j, 0), pts[j], 1e-9);
        expectNear(eval(s, j, 1), pts[j + 1], 1e-9);
      }
      for (int j = 0; j + 1 < s->segCount; ++j) {
        const double h0 = s->knots[j + 1] - s->knots[j], h1 = s->knots[j + 2] - s->knots[j + 1];
        const Spline3dSeg &a = s->segs[j], &b = s->segs[j + 1];
        for (int axis = 0; axis < 3; ++axis) {
          const std::vector<double>& ca = axis == 0 ? a.cx : axis == 1 ? a.cy : a.cz;
          const std::vector<double>& cb = axis == 0 ? b.cx : axis == 1 ? b.cy : b.cz;
          const double scale = 1 + std::fabs(derivative(ca, 1, 2)) / (h0 * h0);
          EXPECT_NEAR(derivative(ca, 1, 1) / h0, derivative(cb, 0, 1) / h1, 1e-7 * scale);
          EXPECT_NEAR(derivative(ca, 1, 2) / (h0 * h0), derivative(cb, 0, 2) / (h1 * h1),
                      1e-6 * scale)
              << "kind " << kind << " trial " << trial << " knot " << j + 1;
        }
      }
      spline3dFree(s);
    }
  }
}

TEST(Spline3d, ClosedSquareHasEqualEndTangents) {
  const Vec3d pts[5] = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {0, 0, 0}};
  Spline3dRec* s = spline3dInterpolate(pts, 5, kSplineChord);
  ASSERT_NE(s, nullptr);
  const Spline3dSeg &first = s->segs.front(), &last = s->segs.back();
  const double h0 = s->knots[1], hl = s->knots[4] - s->knots[3];
  EXPECT_NEAR(derivative(first.cx, 0, 1) / h0, derivative(last.cx, 1, 1) / hl, 1e-12);
  EXPECT_NEAR(derivative(first.cy, 0, 1) / h0, derivative(last.cy, 1, 1) / hl, 1e-12);
  spline3dFree(s);
}

// Three points of which the last repeats the first: two unknowns, solved
// directly, so the tangents are finite and the loop is smooth.
TEST(Spline3d, ClosedCurveOfThreePointsGetsFiniteTangents) {
  const Vec3d pts[3] = {{0, 0, 0}, {10, 0, 0}, {0, 0, 0}};
  Spline3dRec* s = spline3dInterpolate(pts, 3, kSplineChord);
  ASSERT_NE(s, nullptr);
  for (const Spline3dSeg& seg : s->segs) {
    for (double c : seg.cx) EXPECT_TRUE(std::isfinite(c));
  }
  EXPECT_NEAR(derivative(s->segs[0].cx, 0, 1), derivative(s->segs[1].cx, 1, 1), 1e-12);
  spline3dFree(s);
}

TEST(Spline3d, RepeatedPointsAreDroppedAndKnotsFollowTheKind) {
  const Vec3d same[2] = {{1, 1, 1}, {1, 1, 1.000001}};
  EXPECT_EQ(spline3dInterpolate(same, 2, kSplineChord), nullptr);
  const Vec3d pts[4] = {{0, 0, 0}, {3, 4, 0}, {3, 4, 0.000001}, {3, 4, 9}};
  const struct {
    int kind;
    std::vector<double> knots;
  } rows[] = {{kSplineUniform, {0, 1, 2}},
              {kSplineChord, {0, 5, 14}},
              {kSplineCentripetal, {0, std::sqrt(5.0), std::sqrt(5.0) + 3}},
              {7, {0, 5, 14}}};
  for (const auto& row : rows) {
    Spline3dRec* s = spline3dInterpolate(pts, 4, row.kind);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->knots.size(), row.knots.size());
    for (std::size_t i = 0; i < row.knots.size(); ++i)
      EXPECT_NEAR(s->knots[i], row.knots[i], 1e-12);
    spline3dFree(s);
  }
  spline3dFree(nullptr);
  spline3dLenTableFree(nullptr);
}

TEST(Spline3d, FromCubicFollowsTheBezierCurve) {
  const Vec3d p0{0, 0, 0}, p1{1, 2, 0}, p2{3, 2, 1}, p3{4, 0, 2};
  Spline3dRec* s = spline3dFromCubic(&p0, &p1, &p2, &p3, 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->knots, (std::vector<double>{0, 5}));
  expectNear(eval(s, 0, 0), p0, 1e-12);
  expectNear(eval(s, 0, 1), p3, 1e-12);
  Vec3d mid;
  polyCurveEval3d(0.5, &mid, &s->segs[0]);
  expectNear(mid, {(0 + 3 + 9 + 4) / 8.0, (0 + 6 + 6 + 0) / 8.0, (0 + 0 + 3 + 2) / 8.0}, 1e-12);
  spline3dFree(s);
}

TEST(Spline3d, LengthTableOfAStraightSegment) {
  const Vec3d pts[2] = {{0, 0, 0}, {6, 8, 0}};
  Spline3dRec* s = spline3dInterpolate(pts, 2, kSplineChord);
  Spline3dLenTable* t = spline3dLenTableBuild(s);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->count, 1);
  EXPECT_EQ(t->knots, (std::vector<double>{0, 1}));
  const Spline3dLenEntry& e = t->entries[0];
  EXPECT_NEAR(e.length, 10.0, 1e-9);
  const auto uOf = [&e](double sl) {
    return e.coefficients[1] * sl + e.coefficients[2] * sl * sl + e.coefficients[3] * sl * sl * sl;
  };
  EXPECT_NEAR(uOf(10.0), 1.0, 1e-12);
  EXPECT_NEAR(uOf(5.0), 0.5, 1e-9);
  EXPECT_EQ(e.coefficients[0], 0.0);
  spline3dLenTableFree(t);
  spline3dFree(s);
}

}  // namespace
