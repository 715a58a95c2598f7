#include "model/collision/tool_axis_collision.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "model/contact/contact_triangle.h"
#include "model/mesh/model_grid.h"
#include "support/test_models.h"

namespace {

using testmodels::TestModel;

constexpr double kLength = 500.0;
constexpr double kPi = 3.14159265358979323846;

Vec3d add(const Vec3d& a, const Vec3d& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3d sub(const Vec3d& a, const Vec3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3d mul(const Vec3d& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(const Vec3d& a, const Vec3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3d unit(const Vec3d& a) { return mul(a, 1.0 / std::sqrt(dot(a, a))); }

// Restores the stock mode a test changed.
class StockMode {
 public:
  explicit StockMode(int flag) : before_(collToolAxisSetStockMode(flag)) {}
  ~StockMode() { collToolAxisSetStockMode(before_); }

 private:
  int before_;
};

// The plate with a wall from x = 10 to 20, 30 high.
std::vector<Tri> plateAndWall() { return testmodels::plateWithWall(60.0, 6, 10.0, 20.0, 30.0); }

struct AxisRow {
  const char* name;
  ToolShape tool;
  Vec3d position;
  Vec3d axis;
  int free;   // outside stock mode
  int stock;  // in stock mode on a facet model (triangle models ignore the mode)
};

std::string rowName(const testing::TestParamInfo<AxisRow>& info) { return info.param.name; }

class ToolAxisTable : public testing::TestWithParam<AxisRow> {};

TEST_P(ToolAxisTable, StatusPerModelKindAndMode) {
  const AxisRow& row = GetParam();
  for (const int kind : {kModelKindFacets, kModelKindTriangles}) {
    TestModel m(plateAndWall(), kind, row.tool);
    SCOPED_TRACE(kind);
    {
      StockMode mode(0);
      EXPECT_EQ(collToolAxisTest(m.model(), &row.position, &row.axis, kLength, nullptr, kPi),
                row.free);
    }
    StockMode mode(1);
    const int expected = kind == kModelKindFacets ? row.stock : row.free;
    EXPECT_EQ(collToolAxisTest(m.model(), &row.position, &row.axis, kLength, nullptr, kPi),
              expected);
  }
}

const Vec3d kUp{0.0, 0.0, 1.0};
const Vec3d kToWall{1.0, 0.0, 1.0};     // 45 degrees, leaning over the wall
const Vec3d kFromWall{-1.0, 0.0, 1.0};  // 45 degrees, leaning away

INSTANTIATE_TEST_SUITE_P(
    Cases, ToolAxisTable,
    testing::Values(
        // Resting on the plate: the only contact is at the position itself.
        AxisRow{"ball_resting", testmodels::ballTool(5), {-20, 0, 5}, kUp, 1, 1},
        // Sunk by less than the model tolerance (0.008): still free.
        AxisRow{"ball_sunk_within_tolerance", testmodels::ballTool(5), {-20, 0, 4.995}, kUp, 1, 1},
        // Sunk deeper: the contact lies below the position, so only the
        // stock test counts it.
        AxisRow{"ball_cutting", testmodels::ballTool(5), {-20, 0, 4.9}, kUp, 1, -2},
        // A flat tool has its tip at the position: sunk, it collides in both modes.
        AxisRow{"flat_sunk", testmodels::flatTool(5), {-20, 0, -0.1}, kUp, -2, -2},
        AxisRow{"torus_cutting", testmodels::torusTool(5, 1), {-20, 0, 0.9}, kUp, 1, -2},
        // Beside the wall, 1 away: free straight up, and leaning away.
        AxisRow{"ball_beside_wall", testmodels::ballTool(5), {4, 0, 5}, kUp, 1, 1},
        AxisRow{"ball_leaning_away", testmodels::ballTool(5), {4, 0, 5}, kFromWall, 1, 1},
        // Leaning 45 degrees over the wall: the body hits its top.
        AxisRow{"ball_leaning_over_wall", testmodels::ballTool(5), {4, 0, 5}, kToWall, -2, -2},
        AxisRow{"flat_leaning_over_wall", testmodels::flatTool(5), {4, 0, 0}, kToWall, -2, -2},
        AxisRow{"torus_leaning_over_wall", testmodels::torusTool(5, 1), {4, 0, 1}, kToWall, -2, -2},
        // Under the wall's top: the body comes down onto it from above.
        AxisRow{"ball_inside_wall", testmodels::ballTool(5), {15, 0, 10}, kUp, -2, -2},
        AxisRow{"flat_inside_wall", testmodels::flatTool(5), {15, 0, 10}, kUp, -2, -2},
        // A tool of another type never touches here.
        AxisRow{"cone_frustum_inside_wall",
                [] {
                  ToolShape t = testmodels::ballTool(5);
                  t.type = kToolConeFrustum;
                  return t;
                }(),
                {15, 0, 10},
                kUp,
                1,
                1}),
    rowName);

TEST(ToolAxis, LiftOfABallOnALevelTopIsTheHeightAboveThePosition) {
  TestModel m(plateAndWall(), kModelKindFacets, testmodels::ballTool(5));
  const Vec3d p{15, 0, 10};
  const CollAxisContact c = collToolAxisContact(m.model(), &p, &kUp, kLength, nullptr, kPi);
  ASSERT_EQ(c.found, 1);
  EXPECT_NEAR(c.lift, 25.0, 1e-9);  // centre at 35 = top 30 + radius
  EXPECT_NEAR(c.contact.z, 30.0, 1e-9);
}

TEST(ToolAxis, EveryGroupIsTestedWithItsOwnTool) {
  // The model's ball (radius 5) stays 1 clear of the wall; the group's tool,
  // grown by an allowance of 2, reaches over it.
  const std::vector<Tri> wall = testmodels::box({10, -60, 0}, {20, 60, 30});
  for (const int kind : {kModelKindFacets, kModelKindTriangles}) {
    TestModel own(wall, kind, testmodels::ballTool(5));
    const Vec3d p{4, 0, 5};
    EXPECT_EQ(collToolAxisTest(own.model(), &p, &kUp, kLength, nullptr, kPi), 1);
    TestModel grouped(std::vector<Tri>{}, kind, testmodels::ballTool(5));
    grouped.addGroup(wall, 2.0, 0);
    EXPECT_EQ(collToolAxisTest(grouped.model(), &p, &kUp, kLength, nullptr, kPi), -2);
  }
}

TEST(ToolAxis, UpwardAxisStopsAtTheFirstSurfaceBelowTheLowestReach) {
  // Out of the model's order on purpose: a surface far below the tool comes
  // first, so the walk of an upward axis ends before the wall above.
  std::vector<Tri> low = testmodels::box({-5, -5, -50}, {5, 5, -40});
  const std::vector<Tri> high = testmodels::box({-5, -5, 20}, {5, 5, 30});
  TestModel m(low, kModelKindFacets, testmodels::ballTool(2));
  TestModel upper(high, kModelKindFacets, testmodels::ballTool(2));
  ModelRec mixed = *m.model();
  std::vector<Facet> facets(m.model()->facets, m.model()->facets + m.model()->facetCount);
  std::vector<Vec3d> lo(m.model()->minCorners, m.model()->minCorners + m.model()->facetCount);
  std::vector<Vec3d> hi(m.model()->maxCorners, m.model()->maxCorners + m.model()->facetCount);
  for (int i = 0; i < upper.model()->facetCount; ++i) {
    facets.push_back(upper.model()->facets[i]);
    lo.push_back(upper.model()->minCorners[i]);
    hi.push_back(upper.model()->maxCorners[i]);
  }
  mixed.facets = facets.data();
  mixed.facetCount = static_cast<int>(facets.size());
  mixed.minCorners = lo.data();
  mixed.maxCorners = hi.data();
  const Vec3d p{0, 0, 0};
  EXPECT_EQ(collToolAxisTest(&mixed, &p, &kUp, kLength, nullptr, kPi), 1);
  // The same surfaces in the model's order: the wall is found.
  EXPECT_EQ(collToolAxisTest(upper.model(), &p, &kUp, kLength, nullptr, kPi), -2);
}

// Closest point of a triangle to q (region tests on the barycentric plane).
Vec3d closestOnTriangle(const Vec3d& q, const Vec3d& a, const Vec3d& b, const Vec3d& c) {
  const Vec3d ab = sub(b, a), ac = sub(c, a), ap = sub(q, a);
  const double d1 = dot(ab, ap), d2 = dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return a;
  const Vec3d bp = sub(q, b);
  const double d3 = dot(ab, bp), d4 = dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return b;
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return add(a, mul(ab, d1 / (d1 - d3)));
  const Vec3d cp = sub(q, c);
  const double d5 = dot(ab, cp), d6 = dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return c;
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return add(a, mul(ac, d2 / (d2 - d6)));
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
    return add(b, mul(sub(c, b), (d4 - d3) / ((d4 - d3) + (d5 - d6))));
  }
  const double den = 1.0 / (va + vb + vc);
  return add(a, add(mul(ab, vb * den), mul(ac, vc * den)));
}

// Brute-force lift of a ball: the highest s in [0, L] at which the ball
// centred at P + s D reaches the triangle (the distance along the line is
// convex, so the touching set is one interval), or -1.
double ballLiftOracle(const Tri& t, const Vec3d& p, const Vec3d& d, double r) {
  const auto dist = [&](double s) {
    const Vec3d c = add(p, mul(d, s));
    return std::sqrt(dot(sub(c, closestOnTriangle(c, t.v[0], t.v[1], t.v[2])),
                         sub(c, closestOnTriangle(c, t.v[0], t.v[1], t.v[2]))));
  };
  double lo = 0.0, hi = kLength;
  for (int i = 0; i < 200; ++i) {
    const double m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
    if (dist(m1) < dist(m2))
      hi = m2;
    else
      lo = m1;
  }
  const double sMin = 0.5 * (lo + hi);
  if (dist(sMin) > r) return -1.0;
  if (dist(kLength) <= r) return kLength;
  lo = sMin;
  hi = kLength;
  for (int i = 0; i < 200; ++i) {
    const double m = 0.5 * (lo + hi);
    if (dist(m) <= r)
      lo = m;
    else
      hi = m;
  }
  return lo;
}

TEST(ToolAxis, BallLiftMatchesABruteForceSearchOnRandomTriangles) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> u(-10.0, 10.0);
  int compared = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const Tri t{{{u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}}};
    const Vec3d p{0.3 * u(rng), 0.3 * u(rng), 0.3 * u(rng) - 8.0};
    const Vec3d d = unit({0.1 * u(rng), 0.1 * u(rng), 1.0});
    TestModel m({t}, kModelKindTriangles, testmodels::ballTool(2.5));
    const CollAxisContact c = collToolAxisContact(m.model(), &p, &d, kLength, nullptr, kPi);
    const double oracle = ballLiftOracle(t, p, d, 2.5);
    if (oracle < 0.001) {
      EXPECT_TRUE(c.found == 0 || c.lift < 0.001) << trial;
      continue;
    }
    ASSERT_EQ(c.found, 1) << trial;
    EXPECT_NEAR(c.lift, oracle, 1e-6) << trial;
    ++compared;
  }
  EXPECT_GT(compared, 100);
}

// Rotation about an axis through the origin (Rodrigues).
Vec3d rotate(const Vec3d& v, const Vec3d& k, double a) {
  const Vec3d kxv{k.y * v.z - k.z * v.y, k.z * v.x - k.x * v.z, k.x * v.y - k.y * v.x};
  return add(add(mul(v, std::cos(a)), mul(kxv, std::sin(a))),
             mul(k, dot(k, v) * (1 - std::cos(a))));
}

TEST(ToolAxis, LiftDoesNotChangeWhenTheWholeSceneIsTurned) {
  // A vertical test equals the same scene turned in space with the axis
  // turned along, for every shape.
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> u(-10.0, 10.0);
  const ToolShape tools[] = {testmodels::ballTool(3), testmodels::flatTool(3),
                             testmodels::torusTool(3, 1)};
  int touched = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const Tri t{{{u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}}};
    const Vec3d p{0.3 * u(rng), 0.3 * u(rng), u(rng) - 5.0};
    const Vec3d k = unit({u(rng), u(rng), u(rng)});
    const double a = 0.1 * u(rng);
    const Tri turned{{rotate(t.v[0], k, a), rotate(t.v[1], k, a), rotate(t.v[2], k, a)}};
    const Vec3d pTurned = rotate(p, k, a);
    const Vec3d dTurned = rotate(kUp, k, a);
    for (const ToolShape& tool : tools) {
      TestModel plain({t}, kModelKindTriangles, tool);
      TestModel moved({turned}, kModelKindTriangles, tool);
      const CollAxisContact c1 =
          collToolAxisContact(plain.model(), &p, &kUp, kLength, nullptr, kPi);
      const CollAxisContact c2 =
          collToolAxisContact(moved.model(), &pTurned, &dTurned, kLength, nullptr, kPi);
      ASSERT_EQ(c1.found, c2.found) << trial << " type " << tool.type;
      if (c1.found == 0) continue;
      ++touched;
      EXPECT_NEAR(c1.lift, c2.lift, 1e-7) << trial << " type " << tool.type;
      const Vec3d back = rotate(c1.contact, k, a);
      EXPECT_NEAR(back.x, c2.contact.x, 1e-6);
      EXPECT_NEAR(back.y, c2.contact.y, 1e-6);
      EXPECT_NEAR(back.z, c2.contact.z, 1e-6);
    }
  }
  EXPECT_GT(touched, 200);
}

TEST(ToolAxis, AVerticalTestThroughTheGridCellGivesTheSameResultAsTheFullWalk) {
  TestModel m(testmodels::hemisphereOnPlate(20, 8, 16, 40, 10), kModelKindFacets,
              testmodels::ballTool(3));
  m.buildGrid();
  ASSERT_NE(m.model()->grid, nullptr);
  for (double x = -38; x <= 38; x += 3.7) {
    for (double y = -38; y <= 38; y += 4.1) {
      for (const double z : {-1.0, 2.9, 10.0, 22.0}) {
        const Vec3d p{x, y, z};
        const CollAxisContact a = collToolAxisContact(m.model(), &p, &kUp, kLength, nullptr, kPi);
        const CollAxisContact b =
            collToolAxisContact(m.model(), &p, &kUp, kLength, m.model()->grid, kPi);
        ASSERT_EQ(a.found, b.found);
        EXPECT_EQ(a.lift, b.lift);
      }
    }
  }
}

TEST(ToolAxis, ResetClearsTheStockMode) {
  collToolAxisSetStockMode(1);
  collToolAxisReset();
  EXPECT_EQ(collToolAxisStockMode(), 0);
}

}  // namespace
