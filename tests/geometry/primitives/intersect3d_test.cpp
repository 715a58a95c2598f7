#include "geometry/primitives/intersect3d.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

namespace {

double dist(const Vec3d& a, const Vec3d& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}

struct PlaneRow {
  const char* name;
  Vec3d s0, s1;
  int result;
  Vec3d hit;
};

class Seg3IntersectPlane : public ::testing::TestWithParam<PlaneRow> {};

// The plane z = 1 (through (5, 5, 1), normal +z).
TEST_P(Seg3IntersectPlane, Hit) {
  const PlaneRow& r = GetParam();
  const Vec3d p{5, 5, 1}, n{0, 0, 1};
  const Vec3d seg[2] = {r.s0, r.s1};
  Vec3d out{-9, -9, -9};
  ASSERT_EQ(seg3IntersectPlane(&p, &n, seg, &out), r.result);
  if (r.result == 1) {
    EXPECT_NEAR(out.x, r.hit.x, 1e-12);
    EXPECT_NEAR(out.y, r.hit.y, 1e-12);
    EXPECT_NEAR(out.z, r.hit.z, 1e-12);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Seg3IntersectPlane,
    ::testing::Values(PlaneRow{"Through", {0, 0, 0}, {2, 0, 2}, 1, {1, 0, 1}},
                      PlaneRow{"InThePlane", {0, 0, 1}, {3, 0, 1}, 0, {}},
                      PlaneRow{"Parallel", {0, 0, 3}, {3, 4, 3}, 0, {}},
                      PlaneRow{"EndsJustShort", {0, 0, 0}, {0, 0, 0.999995}, 1, {0, 0, 1}},
                      PlaneRow{"EndsShort", {0, 0, 0}, {0, 0, 0.9999}, 0, {}},
                      PlaneRow{"Degenerate", {0, 0, 1}, {0, 0, 1.000001}, 0, {}},
                      PlaneRow{"Downward", {1, 1, 5}, {1, 1, -5}, 1, {1, 1, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Seg3ClosestPoints, SkewSegmentsAtRightAngles) {
  const Vec3d a0{-1, 0, 0}, a1{3, 0, 0}, b0{1, -2, 2}, b1{1, 2, 2};
  Vec3d onA{}, onB{};
  ASSERT_EQ(seg3ClosestPointsCrossing(&a0, &a1, &b0, &b1, &onA, &onB), 1);
  EXPECT_NEAR(seg3ClosestPoints(&a0, &a1, &b0, &b1, &onA, &onB), 2, 1e-12);
  EXPECT_NEAR(onA.x, 1, 1e-12);
  EXPECT_NEAR(onA.z, 0, 1e-12);
  EXPECT_NEAR(onB.x, 1, 1e-12);
  EXPECT_NEAR(onB.y, 0, 1e-12);
  EXPECT_NEAR(onB.z, 2, 1e-12);
}

TEST(Seg3ClosestPoints, ParallelSegmentsUseTheEndPoints) {
  const Vec3d a0{0, 0, 0}, a1{4, 0, 0}, b0{3, 1, 0}, b1{9, 1, 0};
  Vec3d onA{}, onB{};
  EXPECT_EQ(seg3ClosestPointsCrossing(&a0, &a1, &b0, &b1, &onA, &onB), 0);
  EXPECT_NEAR(seg3ClosestPoints(&a0, &a1, &b0, &b1, &onA, &onB), 1, 1e-12);
  // b0 comes first among equally near candidates.
  EXPECT_EQ(onB.x, 3);
  EXPECT_NEAR(onA.x, 3, 1e-12);
}

// Minimum of |a(s) - b(t)| over [0, 1]^2 by its closed form: the interior
// critical point when it lies inside, else the best of the four edges, each
// a clamped one-dimensional minimum.
double oracle(const Vec3d& a0, const Vec3d& a1, const Vec3d& b0, const Vec3d& b1) {
  const Vec3d u{a1.x - a0.x, a1.y - a0.y, a1.z - a0.z};
  const Vec3d v{b1.x - b0.x, b1.y - b0.y, b1.z - b0.z};
  const Vec3d w{a0.x - b0.x, a0.y - b0.y, a0.z - b0.z};
  auto d3 = [](const Vec3d& x, const Vec3d& y) { return x.x * y.x + x.y * y.y + x.z * y.z; };
  const double a = d3(u, u), b = d3(u, v), c = d3(v, v), d = d3(u, w), e = d3(v, w);
  auto at = [&](double s, double t) {
    const Vec3d p{a0.x + s * u.x, a0.y + s * u.y, a0.z + s * u.z};
    const Vec3d q{b0.x + t * v.x, b0.y + t * v.y, b0.z + t * v.z};
    return dist(p, q);
  };
  double best = 1e300;
  const double den = a * c - b * b;
  if (den > 1e-12) {
    const double s = (b * e - c * d) / den, t = (a * e - b * d) / den;
    if (s >= 0 && s <= 1 && t >= 0 && t <= 1) best = at(s, t);
  }
  for (double s : {0.0, 1.0}) best = std::min(best, at(s, std::clamp((e + b * s) / c, 0.0, 1.0)));
  for (double t : {0.0, 1.0}) best = std::min(best, at(std::clamp((b * t - d) / a, 0.0, 1.0), t));
  return best;
}

TEST(Seg3ClosestPoints, AgreesWithTheClosedFormOnRandomSegments) {
  std::mt19937 rng(146);
  std::uniform_real_distribution<double> u(-3, 3);
  for (int trial = 0; trial < 2000; ++trial) {
    const Vec3d a0{u(rng), u(rng), u(rng)}, a1{u(rng), u(rng), u(rng)};
    const Vec3d b0{u(rng), u(rng), u(rng)}, b1{u(rng), u(rng), u(rng)};
    Vec3d onA{}, onB{};
    const double d = seg3ClosestPoints(&a0, &a1, &b0, &b1, &onA, &onB);
    EXPECT_NEAR(d, oracle(a0, a1, b0, b1), 1e-9) << trial;
    EXPECT_NEAR(dist(onA, onB), d, 1e-9);
  }
}

}  // namespace
