#include "geometry/primitives/nearest3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

struct NearRow {
  const char* name;
  Vec3d a, b, p;
  Vec3d out;
  double dist;
  bool plan;  // seg3NearestPointXY instead of seg3NearestPoint
};

class Seg3Nearest : public ::testing::TestWithParam<NearRow> {};

TEST_P(Seg3Nearest, PointAndDistance) {
  const NearRow& r = GetParam();
  Vec3d out{-9, -9, -9};
  const double d = r.plan ? seg3NearestPointXY(&r.a, &r.b, &r.p, &out)
                          : seg3NearestPoint(&r.a, &r.b, &r.p, &out);
  EXPECT_NEAR(d, r.dist, 1e-12);
  EXPECT_NEAR(out.x, r.out.x, 1e-12);
  EXPECT_NEAR(out.y, r.out.y, 1e-12);
  EXPECT_NEAR(out.z, r.out.z, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Seg3Nearest,
    ::testing::Values(
        NearRow{"Foot", {0, 0, 0}, {4, 0, 0}, {1, 3, 4}, {1, 0, 0}, 5, false},
        NearRow{"BeyondB", {0, 0, 0}, {4, 0, 0}, {6, 0, 0}, {4, 0, 0}, 2, false},
        NearRow{"BeforeA", {0, 0, 0}, {4, 0, 0}, {-1, 1, 0}, {0, 0, 0}, std::sqrt(2.0), false},
        NearRow{"DegenerateGivesNearerEnd",
                {0, 0, 0},
                {0, 0, 0.000001},
                {0, 0, 2},
                {0, 0, 0.000001},
                2 - 0.000001,
                false},
        NearRow{"DegenerateTieGoesToB",
                {0, 0, 0},
                {0.000001, 0, 0},
                {0.0000005, 1, 0},
                {0.000001, 0, 0},
                std::hypot(0.0000005, 1),
                false},
        NearRow{
            "PlanFootTakesSegmentHeight", {0, 0, 0}, {4, 0, 8}, {1, 3, 100}, {1, 0, 2}, 3, true},
        NearRow{"PlanVerticalSegmentGivesB", {1, 1, 0}, {1, 1, 5}, {4, 5, 0}, {1, 1, 5}, 5, true},
        NearRow{"PlanBeyondA", {0, 0, 0}, {4, 0, 8}, {-3, 4, 0}, {0, 0, 0}, 5, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Seg3DistanceXY, NearestOfTheFourEnds) {
  const Vec3d a{0, 0, 0}, b{10, 0, 0}, c{3, 2, 50}, d{20, 7, -4};
  EXPECT_NEAR(seg3DistanceXY(&a, &b, &c, &d), 2, 1e-12);
  // Crossing segments report the distance of the nearest end.
  const Vec3d e{5, -1, 0}, f{5, 3, 0};
  EXPECT_NEAR(seg3DistanceXY(&a, &b, &e, &f), 1, 1e-12);
}

// Against a dense sampling of every segment (fixed seed).
TEST(Vec3ArrayNearestPoint, AgreesWithSampling) {
  std::mt19937 rng(106);
  std::uniform_real_distribution<double> u(-5, 5);
  for (int trial = 0; trial < 100; ++trial) {
    std::vector<Vec3d> pts(2 + trial % 6);
    for (Vec3d& q : pts) q = {u(rng), u(rng), u(rng)};
    const Vec3d p{u(rng), u(rng), u(rng)};
    for (bool plan : {false, true}) {
      double best = 1e300;
      for (size_t i = 1; i < pts.size(); ++i) {
        for (int k = 0; k <= 2000; ++k) {
          const double f = k / 2000.0;
          const Vec3d& a = pts[i - 1];
          const Vec3d& b = pts[i];
          const Vec3d q{a.x + f * (b.x - a.x), a.y + f * (b.y - a.y), a.z + f * (b.z - a.z)};
          const double dz = plan ? 0.0 : q.z - p.z;
          best = std::min(
              best, std::sqrt((q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y) + dz * dz));
        }
      }
      Vec3d out{};
      int index = -7;
      const int n = static_cast<int>(pts.size());
      const double d = plan ? vec3ArrayNearestPointXY(pts.data(), n, &p, &out, &index)
                            : vec3ArrayNearestPoint(pts.data(), n, &p, &out, &index);
      EXPECT_LE(d, best + 1e-9);
      EXPECT_GE(d, best - 0.01);
      ASSERT_GE(index, 1);
      ASSERT_LT(index, n);
      // out lies on the winning segment at the reported distance.
      Vec3d check{};
      const double again = plan ? seg3NearestPointXY(&pts[index - 1], &pts[index], &p, &check)
                                : seg3NearestPoint(&pts[index - 1], &pts[index], &p, &check);
      EXPECT_EQ(again, d);
      EXPECT_EQ(check.x, out.x);
    }
  }
}

TEST(Vec3ArrayNearestPoint, TieGoesToTheFirstSegment) {
  const std::vector<Vec3d> pts{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}};
  const Vec3d p{3, -1, 0};  // sqrt(2) from point 1, the end of both segments
  Vec3d out{};
  int index = 0;
  EXPECT_NEAR(vec3ArrayNearestPoint(pts.data(), 3, &p, &out, &index), std::sqrt(2.0), 1e-12);
  EXPECT_EQ(index, 1);
}

TEST(Vec3ArrayNearestPoint, FewerThanTwoPoints) {
  const Vec3d one{3, 4, 12};
  const Vec3d p{0, 0, 0};
  Vec3d out{-1, -1, -1};
  int index = -7;
  EXPECT_NEAR(vec3ArrayNearestPoint(&one, 1, &p, &out, &index), 13, 1e-12);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(out.z, 12);
  EXPECT_NEAR(vec3ArrayNearestPointXY(&one, 1, &p, &out, &index), 5, 1e-12);
  EXPECT_EQ(index, 1);
  out = {-1, -1, -1};
  EXPECT_EQ(vec3ArrayNearestPoint(&one, 0, &p, &out, &index), kGeoFarDistance);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(out.x, -1);
  EXPECT_EQ(vec3ArrayNearestPointXY(nullptr, 0, &p, &out, &index), kGeoFarDistance);
  EXPECT_EQ(index, -1);
}

}  // namespace
