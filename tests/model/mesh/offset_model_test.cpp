#include "model/mesh/offset_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "model/mesh/facet_test_model.h"
#include "model/mesh/model_grid.h"

namespace {

// A facet model with a ball of radius 2 whose facets stay in the given order.
struct TestModel : model_test::FacetTestModel {
  explicit TestModel(const std::vector<Facet>& facets) : FacetTestModel(facets, 2.0, false) {}
};

constexpr double kPi = 3.14159265358979323846;

// A planar quad in the plane z = x tan(30 deg), listed clockwise from above so
// that its raw normal points down.
Facet tiltedQuad() {
  const double t = std::tan(kPi / 6);
  return Facet{0, {{0, 0, 0}, {0, 1, 0}, {1, 1, t}, {1, 0, t}}};
}

TEST(OffsetModelTest, PlanarTiltedFacetMovesAlongUpwardNormal) {
  TestModel m({tiltedQuad()});
  OffsetModel* om = modelBuildOffsetModel(&m.rec, 0.5);
  ASSERT_NE(om, nullptr);
  const Vec3d n{-std::sin(kPi / 6), 0, std::cos(kPi / 6)};
  const Vec3d& d = om->directions[0];
  EXPECT_NEAR(d.x, n.x, 1e-12);
  EXPECT_NEAR(d.y, n.y, 1e-12);
  EXPECT_NEAR(d.z, n.z, 1e-12);
  const Facet src = tiltedQuad();
  const Facet& moved = om->offsetCopy->facets[0];
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(moved.v[k].x, src.v[k].x + 0.5 * n.x, 1e-12);
    EXPECT_NEAR(moved.v[k].z, src.v[k].z + 0.5 * n.z, 1e-12);
  }
  const ModelRec* copy = om->offsetCopy;
  EXPECT_NEAR(copy->boxMin.x, -0.25, 1e-12);
  EXPECT_NE(copy->grid, nullptr);
  EXPECT_EQ(copy->facets == m.rec.facets, false);
  EXPECT_EQ(m.rec.facets[0].v[2].z, src.v[2].z);  // the source stays
  offsetModelFreeData(om);
}

TEST(OffsetModelTest, FacetsWithoutDirectionStay) {
  // A vertical quad folded along its diagonal: the two normals cancel.
  const Facet folded{0, {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {2, 0, 0}}};
  // A facet whose four points lie on one line: no normal at all.
  const Facet line{0, {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}}};
  Vec3d d;
  EXPECT_EQ(offsetModelFacetDirection(&folded, &d), 0);
  EXPECT_EQ(offsetModelFacetDirection(&line, &d), 0);
  TestModel m({folded, line});
  OffsetModel* om = modelBuildOffsetModel(&m.rec, 3.0);
  ASSERT_NE(om, nullptr);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(om->directions[i].x, 0);
    EXPECT_EQ(om->directions[i].y, 0);
    EXPECT_EQ(om->directions[i].z, 0);
  }
  // Sorted by top z: the line (top 3) comes first and is not moved.
  EXPECT_EQ(om->offsetCopy->facets[0].v[3].z, 3);
  offsetModelFreeData(om);
}

TEST(OffsetModelTest, TriangleFacetUsesItsOneNormalAndDirectionsFollowSorting) {
  const Facet low{0, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}}};  // up already
  const Facet high = tiltedQuad();
  Facet raised = high;
  for (Vec3d& v : raised.v) v.z += 10;
  TestModel m({low, raised});
  OffsetModel* om = modelBuildOffsetModel(&m.rec, 1.0);
  ASSERT_NE(om, nullptr);
  // Facet 0 is now the raised tilted quad; facet 1 the horizontal triangle.
  EXPECT_NEAR(om->directions[0].x, -0.5, 1e-12);
  EXPECT_EQ(om->directions[1].z, 1);
  EXPECT_EQ(om->offsetCopy->facets[1].v[0].z, 1);
  EXPECT_EQ(om->offsetCopy->facets[1].v[3].z, 1);
  offsetModelFreeData(om);
}

TEST(OffsetModelTest, TriangleModelAndEmptyModelGiveNull) {
  ModelRec tris{};
  modelInit(&tris, kModelKindTriangles);
  ToolShape t{};
  tris.tool = &t;
  EXPECT_EQ(modelBuildOffsetModel(&tris, 1), nullptr);
  ModelRec facets{};
  modelInit(&facets, kModelKindFacets);
  facets.tool = &t;
  EXPECT_EQ(modelBuildOffsetModel(&facets, 1), nullptr);
  offsetModelFreeData(nullptr);
}

// The copy shares its group nodes' data with the source: building the copy's
// grid must leave the source's group grids in place (freeing them would leave
// the source pointing at released memory).
TEST(OffsetModelTest, SourceGroupGridsSurvive) {
  TestModel m({tiltedQuad()});
  SurfaceGroup* g = surfaceGroupNew(&m.rec, 0.0, 0, kModelKindFacets, 0, 1);
  ASSERT_NE(g, nullptr);
  g->facets[0] = tiltedQuad();
  g->facetCount = 1;
  modelFacetCorners(g->facets, 1, g->minCorners, g->maxCorners);
  g->boxMin = g->minCorners[0];
  g->boxMax = g->maxCorners[0];
  modelAppendGroup(&m.rec, g);
  ASSERT_EQ(modelBuildGrids(&m.rec), 1);
  ModelGrid* groupGrid = g->grid;
  OffsetModel* om = modelBuildOffsetModel(&m.rec, 0.2);
  ASSERT_NE(om, nullptr);
  EXPECT_EQ(g->grid, groupGrid);
  EXPECT_EQ(om->offsetCopy->groups->grid, groupGrid);
  EXPECT_EQ(modelGridCellAt(groupGrid, 0.5, 0.5)->count, 1);
  offsetModelFreeData(om);
  EXPECT_EQ(modelGridCellAt(g->grid, 0.5, 0.5)->count, 1);
}

}  // namespace
