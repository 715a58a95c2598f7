#include "model/drop/model_queries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "model/mesh/model_grid.h"
#include "support/test_models.h"

namespace {

using testmodels::TestModel;

void toArray(const Tri& t, double out[9]) {
  for (int k = 0; k < 3; ++k) {
    out[3 * k] = t.v[k].x;
    out[3 * k + 1] = t.v[k].y;
    out[3 * k + 2] = t.v[k].z;
  }
}

Tri randomTri(std::mt19937& rng, double spread) {
  std::uniform_real_distribution<double> u(-spread, spread);
  Tri t{};
  for (Vec3d& v : t.v) v = {u(rng), u(rng), u(rng)};
  return t;
}

// Dense samples of a triangle (barycentric grid of n steps per side).
template <typename Fn>
void sampleTri(const Tri& t, int n, Fn fn) {
  for (int i = 0; i <= n; ++i) {
    for (int j = 0; i + j <= n; ++j) {
      const double s = double(i) / n, r = double(j) / n;
      fn(Vec3d{t.v[0].x + s * (t.v[1].x - t.v[0].x) + r * (t.v[2].x - t.v[0].x),
               t.v[0].y + s * (t.v[1].y - t.v[0].y) + r * (t.v[2].y - t.v[0].y),
               t.v[0].z + s * (t.v[1].z - t.v[0].z) + r * (t.v[2].z - t.v[0].z)});
    }
  }
}

double dist(const Vec3d& a, const Vec3d& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}

TEST(TriNearestPoint, AgreesWithSamplingOnRandomTriangles) {
  std::mt19937 rng(124);
  std::uniform_real_distribution<double> u(-4, 4);
  for (int trial = 0; trial < 200; ++trial) {
    const Tri t = randomTri(rng, 2);
    const Vec3d p{u(rng), u(rng), u(rng)};
    double tri[9];
    toArray(t, tri);
    Vec3d out{};
    const double d = triNearestPoint(tri, &p, &out);
    double best = 1e300;
    sampleTri(t, 300, [&](const Vec3d& q) { best = std::min(best, dist(p, q)); });
    EXPECT_LE(d, best + 1e-9) << trial;
    EXPECT_GE(d, best - 0.03) << trial;
    EXPECT_NEAR(dist(p, out), d, 1e-9);
  }
}

TEST(TriNearestPoint, FaceEdgeAndDegenerateTriangle) {
  const double flat[9] = {0, 0, 0, 4, 0, 0, 0, 4, 0};
  Vec3d out{};
  const Vec3d above{1, 1, 3};
  EXPECT_NEAR(triNearestPoint(flat, &above, &out), 3, 1e-12);
  EXPECT_NEAR(out.x, 1, 1e-12);
  const Vec3d beside{2, -1, 0};
  EXPECT_NEAR(triNearestPoint(flat, &beside, &out), 1, 1e-12);
  EXPECT_NEAR(out.x, 2, 1e-12);
  const double line[9] = {0, 0, 0, 2, 0, 0, 4, 0, 0};
  const Vec3d off{3, 2, 0};
  EXPECT_NEAR(triNearestPoint(line, &off, &out), 2, 1e-12);
  EXPECT_NEAR(out.x, 3, 1e-12);
}

// The torus tool (radius R, corner rc) at centre height zc holds a point q
// when q lies within rc of the disk of radius R - rc at height zc.  Over a
// dense sampling of the triangle this gives the interval of centre heights
// at which the tool meets it; positions well inside or well outside that
// interval must be answered the same by triToolIntersects.
TEST(TriToolIntersects, AgreesWithSampledHeightsOnRandomTriangles) {
  std::mt19937 rng(3124);
  std::uniform_real_distribution<double> u(-1.5, 1.5);
  const ToolShape tools[] = {testmodels::torusTool(2.0, 0.5), testmodels::ballTool(1.0)};
  int inside = 0;
  int outside = 0;
  for (const ToolShape& tool : tools) {
    for (int trial = 0; trial < 60; ++trial) {
      const Tri t = randomTri(rng, 2);
      const Vec3d at{u(rng), u(rng), 0};
      double lo = 1e300, hi = -1e300;
      const double ring = tool.radius - tool.cornerRadius;
      sampleTri(t, 250, [&](const Vec3d& q) {
        const double rho = std::max(0.0, std::hypot(q.x - at.x, q.y - at.y) - ring);
        if (rho > tool.cornerRadius) return;
        const double h = std::sqrt(tool.cornerRadius * tool.cornerRadius - rho * rho);
        lo = std::min(lo, q.z - h);
        hi = std::max(hi, q.z + h);
      });
      double tri[9];
      toArray(t, tri);
      for (double z = -4; z <= 4; z += 0.25) {
        const Vec3d p{at.x, at.y, z};
        const int got = triToolIntersects(tri, &tool, &p);
        if (lo < hi && z > lo + 0.05 && z < hi - 0.05) {
          EXPECT_EQ(got, 1) << "trial " << trial << " z " << z;
          ++inside;
        } else if (lo > hi || z < lo - 0.05 || z > hi + 0.05) {
          EXPECT_EQ(got, 0) << "trial " << trial << " z " << z;
          ++outside;
        }
      }
    }
  }
  EXPECT_GT(inside, 100);
  EXPECT_GT(outside, 100);
}

TEST(ModelTriToolFreeAt, ToolOnAHorizontalTriangleIsFree) {
  const ToolShape torus = testmodels::torusTool(2.0, 0.5);
  TestModel m(testmodels::singleTriangle({-5, -5, 1}, {5, -5, 1}, {0, 5, 1}), kModelKindTriangles,
              torus);
  // The corner circle exactly at triangle z + rc.
  const Vec3d touching{0, 0, 1.5};
  EXPECT_EQ(modelTriToolFreeAt(m.model(), &touching), 1);
  const Vec3d sunk{0, 0, 1.4};
  EXPECT_EQ(modelTriToolFreeAt(m.model(), &sunk), 0);
  // Below the triangle by more than the corner slab: the tool's body lies
  // wholly under it.
  const Vec3d under{0, 0, 0.3};
  EXPECT_EQ(modelTriToolFreeAt(m.model(), &under), 1);
  const Vec3d beside{7.1, 0, 1.0};
  EXPECT_EQ(modelTriToolFreeAt(m.model(), &beside), 1);
}

TEST(ModelTriToolFreeAt, GridAndFullWalkAgreeOnAHemisphere) {
  const ToolShape torus = testmodels::torusTool(1.0, 0.3);
  const auto tris = testmodels::hemisphereOnPlate(3, 8, 16, 5, 6);
  TestModel plain(tris, kModelKindTriangles, torus);
  TestModel gridded(tris, kModelKindTriangles, torus);
  gridded.buildGrid();
  ASSERT_NE(gridded.model()->grid, nullptr);
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-6, 6), uz(-0.5, 4);
  int collisions = 0;
  for (int k = 0; k < 400; ++k) {
    const Vec3d p{u(rng), u(rng), uz(rng)};
    const int a = modelTriToolFreeAt(plain.model(), &p);
    ASSERT_EQ(a, modelTriToolFreeAt(gridded.model(), &p)) << k;
    collisions += a == 0;
  }
  EXPECT_GT(collisions, 40);
  EXPECT_LT(collisions, 360);
}

struct NearRow {
  const char* name;
  int kind;
  bool grid;
  Vec3d p;
  double distance;
  int result;
};

class ModelNearPointTest : public ::testing::TestWithParam<NearRow> {};

// A plate z = 0 over [-5, 5]^2 and a group plate z = 10 over the same square.
TEST_P(ModelNearPointTest, FirstPointWithinDistance) {
  const NearRow& row = GetParam();
  const ToolShape ball = testmodels::ballTool(1.0);
  TestModel m(testmodels::heightField([](double, double) { return 0.0; }, -5, 5, -5, 5, 4, 4),
              row.kind, ball);
  m.addGroup(testmodels::heightField([](double, double) { return 10.0; }, -5, 5, -5, 5, 2, 2), 0.0,
             0);
  if (row.grid) m.buildGrid();
  Vec3d out{-99, -99, -99};
  ASSERT_EQ(modelNearPoint(m.model(), &row.p, row.distance, &out), row.result);
  if (row.result == 0) {
    EXPECT_LT(dist(out, row.p), row.distance);
  } else {
    EXPECT_EQ(out.x, -99);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ModelNearPointTest,
    ::testing::Values(
        NearRow{"TrianglesAbovePlate", kModelKindTriangles, false, {1, 1, 0.5}, 0.6, 0},
        NearRow{"TrianglesTooFar", kModelKindTriangles, false, {1, 1, 2}, 1.5, 1},
        NearRow{"TrianglesGroupPlate", kModelKindTriangles, false, {1, 1, 9.5}, 1, 0},
        NearRow{"FacetsBesidePlate", kModelKindFacets, false, {6, 0, 0}, 1.01, 0},
        NearRow{"FacetsTooFar", kModelKindFacets, false, {6, 0, 5}, 2, 1},
        NearRow{"GridBesidePlate", kModelKindTriangles, true, {5.5, 0, 0}, 0.6, 0},
        NearRow{"GridNarrowSearch", kModelKindFacets, true, {2, 3, 0.2}, 0.3, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A search wider than the grid's margin (the tool radius) looks beyond the
// cell of the position: two strips 8 apart, searched from the middle.
TEST(ModelNearPoint, SearchWiderThanTheGridMarginFindsFarTriangles) {
  std::vector<Tri> tris = testmodels::heightField([](double, double) { return 0.0; }, -5, -4, -5,
                                                  5, 1, 10);
  const auto right =
      testmodels::heightField([](double, double) { return 0.0; }, 4, 5, -5, 5, 1, 10);
  tris.insert(tris.end(), right.begin(), right.end());
  for (int kind : {kModelKindTriangles, kModelKindFacets}) {
    TestModel m(tris, kind, testmodels::ballTool(0.5));
    m.buildGrid();
    ASSERT_NE(m.model()->grid, nullptr);
    ASSERT_GT(m.model()->grid->cols, 4);
    const Vec3d middle{0, 0, 0};
    Vec3d out{};
    EXPECT_EQ(modelNearPoint(m.model(), &middle, 4.5, &out), 0);
    EXPECT_NEAR(std::fabs(out.x), 4, 1e-12);
    EXPECT_EQ(modelNearPoint(m.model(), &middle, 3.9, &out), 1);
  }
}

}  // namespace
