#include "model/mesh/model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "model/mesh/facet_test_model.h"
#include "model/mesh/model_grid.h"
#include "support/message_capture.h"

namespace {

using tsupport::MessageCapture;

using model_test::toolShape;

struct AllowanceRow {
  const char* name;
  ToolShape before;
  double allowance;
  int tipMode;
  int16_t type;
  double radius;
  double corner;
  double tipOffset;
  double length;
  bool warned;  // message 330
};

class AllowanceRule : public testing::TestWithParam<AllowanceRow> {};

TEST_P(AllowanceRule, GivesTheProjectedShape) {
  const AllowanceRow& r = GetParam();
  MessageCapture messages;
  ToolShape t = r.before;
  toolShapeApplyAllowance(&t, r.allowance, r.tipMode);
  EXPECT_EQ(t.type, r.type);
  EXPECT_NEAR(t.radius, r.radius, 1e-12);
  EXPECT_NEAR(t.cornerRadius, r.corner, 1e-12);
  EXPECT_NEAR(t.tipOffset, r.tipOffset, 1e-12);
  EXPECT_NEAR(t.shankDiameter, r.before.shankDiameter + 2 * r.allowance, 1e-12);
  EXPECT_EQ(t.length, r.length);
  EXPECT_GE(t.radius, 0.0);
  EXPECT_GE(t.cornerRadius, 0.0);
  if (t.type != kToolConeFrustum) {
    EXPECT_LE(t.cornerRadius, t.radius);
  }
  if (r.warned) {
    EXPECT_EQ(messages.values, std::vector<std::string>{"330,0"});
  } else {
    EXPECT_TRUE(messages.values.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, AllowanceRule,
    testing::Values(AllowanceRow{"FlatGrowsIntoTorus", toolShape(kToolFlat, 5, 0), 0.2, 0,
                                 kToolTorus, 5.2, 0.2, 0, 20, false},
                    AllowanceRow{"FlatUndersizeStaysFlat", toolShape(kToolFlat, 5, 0), -0.1, 1,
                                 kToolFlat, 4.9, 0, 0.1, 20, false},
                    AllowanceRow{"FlatTinyAllowanceStaysFlat", toolShape(kToolFlat, 5, 0), 0.000005,
                                 0, kToolFlat, 5.000005, 0, -0.000005, 20, false},
                    AllowanceRow{"TorusCornerVanishes", toolShape(kToolTorus, 5, 0.5), -0.5, 1,
                                 kToolFlat, 4.5, 0, 0, 20, false},
                    AllowanceRow{"TorusUndersizePastCorner", toolShape(kToolTorus, 5, 0.5), -0.7, 1,
                                 kToolFlat, 4.3, 0, 0.2, 20, false},
                    AllowanceRow{"TorusTipModeCorner", toolShape(kToolTorus, 5, 1), 0.3, 1,
                                 kToolTorus, 5.3, 1.3, 1, 20, false},
                    AllowanceRow{"TorusTipModeTip", toolShape(kToolTorus, 5, 1), 0.3, 0, kToolTorus,
                                 5.3, 1.3, 0, 20, false},
                    AllowanceRow{"TorusRadiusRaisedToCorner", toolShape(kToolTorus, 1, 1.5), 0.1, 0,
                                 kToolTorus, 1.6, 1.6, 0, 20, false},
                    AllowanceRow{"BallTipModeCentre", toolShape(kToolBall, 5, 5), 0.3, 1, kToolBall,
                                 5.3, 5.3, 5, 20, false},
                    AllowanceRow{"BallTipModeTip", toolShape(kToolBall, 5, 5), -0.3, 0, kToolBall,
                                 4.7, 4.7, 0, 20, false},
                    AllowanceRow{"NegativeLengthBecomesZero", toolShape(kToolBall, 5, 5, 10, -3), 0,
                                 0, kToolBall, 5, 5, 0, 0, false},
                    AllowanceRow{"ConeKeepsItsRadii", toolShape(kToolConeFrustum, 3, 0.5), 1, 1,
                                 kToolConeFrustum, 3, 0.5, 0, 20, false},
                    // Allowances that eat the whole tool: warned, and no negative radius remains.
                    AllowanceRow{"BallUndersizeBeyondRadius", toolShape(kToolBall, 5, 5), -6, 1,
                                 kToolBall, 0, 0, 5, 20, true},
                    AllowanceRow{"FlatUndersizeBeyondRadius", toolShape(kToolFlat, 5, 0), -6, 0,
                                 kToolFlat, 0, 0, 6, 20, true},
                    AllowanceRow{"TorusUndersizeBeyondRadius", toolShape(kToolTorus, 5, 1), -6, 1,
                                 kToolFlat, 0, 0, 5, 20, true}),
    [](const testing::TestParamInfo<AllowanceRow>& info) { return info.param.name; });

// A small facet model: three facets at top heights 1, 3 and 2 (unsorted).
ModelRec* facetModel(ModelRec* m, ToolShape* t) {
  modelInit(m, kModelKindFacets);
  m->tool = t;
  m->facetCount = 3;
  m->facets = static_cast<Facet*>(std::malloc(3 * sizeof(Facet)));
  m->facets[0] = Facet{0, {{0, 0, 0}, {1, 0, 1}, {1, 1, 0}, {1, 1, 0}}};
  m->facets[1] = Facet{0, {{2, 0, 3}, {3, 0, 0}, {3, 1, 0}, {2, 1, 0}}};
  m->facets[2] = Facet{0, {{-1, -2, 2}, {0, -2, 0}, {0, -1, 0}, {0, -1, 0}}};
  return m;
}

TEST(Model, InitSetsTheDefaultSteps) {
  ModelRec m;
  std::memset(&m, 0xAB, sizeof m);
  modelInit(&m, kModelKindTriangles);
  EXPECT_EQ(m.kind, 3);
  EXPECT_EQ(m.maxStep, 1.0);
  EXPECT_EQ(m.minStep, 0.008);
  EXPECT_EQ(m.tool, nullptr);
  EXPECT_EQ(m.groups, nullptr);
  EXPECT_EQ(m.floorZ, 0.0);
  EXPECT_TRUE(modelIsEmpty(&m));
}

TEST(Model, GrowingAWorkingCopyLeavesTheSourceAlone) {
  ToolShape t = toolShape(kToolBall, 3, 3, 6);
  ModelRec m;
  facetModel(&m, &t);
  SurfaceGroup* g = surfaceGroupNew(&m, 0.5, 0, kModelKindFacets, 1, 4);
  ASSERT_NE(g, nullptr);
  modelAppendGroup(&m, g);

  ModelRec* copy = modelCopy(&m);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->facets, m.facets);
  EXPECT_NE(copy->tool, m.tool);
  ASSERT_NE(copy->groups, nullptr);
  EXPECT_NE(copy->groups, m.groups);
  EXPECT_EQ(copy->groups->facets, m.groups->facets);
  EXPECT_EQ(copy->groups->next, nullptr);

  EXPECT_EQ(modelGrowTool(copy, 1.0), 1);
  EXPECT_EQ(copy->tool->radius, 4.0);
  EXPECT_EQ(copy->groups->tool.radius, 4.5);
  EXPECT_EQ(m.tool->radius, 3.0);
  EXPECT_EQ(m.groups->tool.radius, 3.5);
  modelFreeCopy(copy);
  modelFreeSurfaces(&m);
  EXPECT_EQ(m.facets, nullptr);
  EXPECT_EQ(m.groups, nullptr);
  EXPECT_EQ(m.tool, &t);
}

TEST(Model, GrowToolKeepsRadiiAboveTheToleranceAndShrinksTheShankWithAKeptRadius) {
  ToolShape t = toolShape(kToolBall, 0.5, 0.5, 6);
  ModelRec m;
  modelInit(&m, kModelKindFacets);
  m.tool = &t;
  EXPECT_EQ(modelGrowTool(&m, -0.3), 1);
  EXPECT_NEAR(t.radius, 0.2, 1e-12);
  EXPECT_NEAR(t.shankDiameter, 5.4, 1e-12);
  EXPECT_EQ(modelGrowTool(&m, 0.3), 1);
  EXPECT_NEAR(t.radius, 0.5, 1e-12);
  EXPECT_NEAR(t.shankDiameter, 5.4, 1e-12);  // growth leaves the shank
}

TEST(Model, GrowToolRefusedRadiusChangeKeepsTheShank) {
  ToolShape t = toolShape(kToolBall, 0.2, 0.2, 6);
  ToolShape noShank = toolShape(kToolBall, 0.2, 0.2, 0.1);
  ModelRec m;
  modelInit(&m, kModelKindFacets);
  m.tool = &t;
  EXPECT_EQ(modelGrowTool(&m, -0.3), 0);
  EXPECT_EQ(t.radius, 0.2);
  EXPECT_EQ(t.shankDiameter, 6.0);
  // A kept change never makes the shank negative.
  m.tool = &noShank;
  EXPECT_EQ(modelGrowTool(&m, -0.1), 1);
  EXPECT_EQ(noShank.shankDiameter, 0.0);
}

TEST(Model, GrowToolRetypeDerivesTheTypeFromTheRadii) {
  struct Row {
    const char* name;
    ToolShape before;
    double delta;
    int16_t type;
    double radius;
  };
  const Row rows[] = {
      {"ball grown becomes torus", toolShape(kToolBall, 2, 2), 1, kToolTorus, 3},
      {"torus shrunk to its corner becomes ball", toolShape(kToolTorus, 3, 1), -2, kToolBall, 1},
      {"flat stays flat", toolShape(kToolFlat, 3, 0), 1, kToolFlat, 4},
      {"refused shrink keeps a ball", toolShape(kToolBall, 1, 1), -2, kToolBall, 1},
      {"torus mislabelled flat", toolShape(kToolFlat, 3, 1), 0, kToolTorus, 3},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ToolShape t = r.before;
    ModelRec m;
    modelInit(&m, kModelKindFacets);
    m.tool = &t;
    SurfaceGroup* g = surfaceGroupNew(&m, 0, 0, kModelKindFacets, 0, 1);
    ASSERT_NE(g, nullptr);
    g->tool = r.before;
    modelAppendGroup(&m, g);
    modelGrowToolRetype(&m, r.delta);
    EXPECT_EQ(t.type, r.type);
    EXPECT_EQ(t.radius, r.radius);
    EXPECT_EQ(t.shankDiameter, r.before.shankDiameter);
    EXPECT_EQ(m.groups->tool.type, r.type);
    EXPECT_EQ(m.groups->tool.radius, r.radius);
    modelFreeSurfaces(&m);
  }
}

// Grids and diagonal extents go with the surfaces (the leak checker of the
// sanitizer build watches this); a working copy leaves them to the source.
TEST(Model, FreeSurfacesReleasesGridsAndDiagonalExtents) {
  ToolShape t = toolShape(kToolBall, 1, 1);
  ModelRec m, other;
  facetModel(&m, &t);
  facetModel(&other, &t);
  ASSERT_TRUE(modelSortFacets(m.facets, m.facetCount));
  m.minCorners = static_cast<Vec3d*>(std::malloc(3 * sizeof(Vec3d)));
  m.maxCorners = static_cast<Vec3d*>(std::malloc(3 * sizeof(Vec3d)));
  modelFacetCorners(m.facets, 3, m.minCorners, m.maxCorners);
  m.boxMin = Vec3d{-1, -2, 0};
  m.boxMax = Vec3d{3, 1, 3};
  ASSERT_EQ(surfaceGroupCopyFacets(&m, &other), 1);
  ASSERT_EQ(modelBuildGrids(&m), 1);
  ASSERT_NE(m.grid, nullptr);
  modelSetDiagonalBoxes(1);
  ASSERT_EQ(modelBuildDiagonalExtents(m.facets, 3), 1);

  ModelRec* copy = modelCopy(&m);
  ASSERT_NE(copy, nullptr);
  modelFreeCopy(copy);
  EXPECT_NE(diagMin, nullptr);

  modelFreeSurfaces(&m);
  modelSetDiagonalBoxes(0);
  EXPECT_EQ(m.grid, nullptr);
  EXPECT_EQ(m.groups, nullptr);
  EXPECT_EQ(diagMin, nullptr);
  EXPECT_EQ(diagMax, nullptr);
  modelFreeSurfaces(&other);
}

TEST(Model, IsEmptyLooksAtTheModelAndEveryGroup) {
  ToolShape t = toolShape(kToolFlat, 2, 0);
  ModelRec m;
  modelInit(&m, kModelKindTriangles);
  m.tool = &t;
  EXPECT_EQ(modelIsEmpty(&m), 1);
  m.triangles = listTriNew(4);  // present but empty
  EXPECT_EQ(modelIsEmpty(&m), 1);

  SurfaceGroup* g = surfaceGroupNew(&m, 0, 0, kModelKindTriangles, 0, 2);
  ASSERT_NE(g, nullptr);
  modelAppendGroup(&m, g);
  EXPECT_EQ(modelIsEmpty(&m), 1);
  const Tri tri{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}};
  listTriAppend(g->triangles, &tri);
  EXPECT_EQ(modelIsEmpty(&m), 0);  // items only in a group
  modelFreeSurfaces(&m);

  ModelRec f;
  facetModel(&f, &t);
  EXPECT_EQ(modelIsEmpty(&f), 0);
  f.facetCount = 0;
  EXPECT_EQ(modelIsEmpty(&f), 1);
  modelFreeSurfaces(&f);
}

TEST(Model, NewGroupCarriesTheGrownToolAndAnEmptyBox) {
  ToolShape t = toolShape(kToolFlat, 4, 0, 8);
  ModelRec m;
  modelInit(&m, kModelKindFacets);
  m.tool = &t;
  SurfaceGroup* g = surfaceGroupNew(&m, 0.5, 1, kModelKindTriangles, 1, 10);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->kind, kModelKindTriangles);
  EXPECT_EQ(g->clip, 1);
  EXPECT_EQ(g->tool.type, kToolTorus);
  EXPECT_EQ(g->tool.radius, 4.5);
  EXPECT_EQ(t.radius, 4.0);  // the model's tool is never changed
  EXPECT_EQ(t.type, kToolFlat);
  ASSERT_NE(g->triangles, nullptr);
  EXPECT_EQ(g->triangles->capacity, 10);
  EXPECT_EQ(g->triangles->count, 0);
  EXPECT_GT(g->boxMin.x, g->boxMax.x);
  EXPECT_EQ(g->next, nullptr);
  surfaceGroupFree(g);
}

void expectSortedWithCorners(const Facet* f, int n, const Vec3d* lo, const Vec3d* hi) {
  for (int i = 0; i < n; ++i) {
    if (i > 0) {
      EXPECT_GE(facetTopZ(&f[i - 1]), facetTopZ(&f[i]));
    }
    EXPECT_EQ(hi[i].z, facetTopZ(&f[i]));
    for (const Vec3d& v : f[i].v) {
      EXPECT_TRUE(lo[i].x <= v.x && lo[i].y <= v.y && lo[i].z <= v.z);
      EXPECT_TRUE(hi[i].x >= v.x && hi[i].y >= v.y && hi[i].z >= v.z);
    }
  }
}

TEST(Model, MergeMovesGroupsAsClipAndCopiesTheOwnSurfaces) {
  ToolShape t = toolShape(kToolBall, 2, 2);
  ModelRec m;
  modelInit(&m, kModelKindFacets);
  m.tool = &t;
  SurfaceGroup* first = surfaceGroupNew(&m, 0, 0, kModelKindFacets, 0, 1);
  modelAppendGroup(&m, first);

  ModelRec other;
  facetModel(&other, &t);
  SurfaceGroup* a = surfaceGroupNew(&other, 0.1, 0, kModelKindFacets, 0, 1);
  SurfaceGroup* b = surfaceGroupNew(&other, 0.2, 0, kModelKindFacets, 0, 1);
  modelAppendGroup(&other, a);
  modelAppendGroup(&other, b);

  EXPECT_EQ(modelMergeGroups(&m, &other, 1, 0.5), 0);
  EXPECT_EQ(other.groups, nullptr);
  EXPECT_EQ(other.facetCount, 3);  // other keeps its own surfaces

  std::vector<SurfaceGroup*> list;
  for (SurfaceGroup* g = m.groups; g != nullptr; g = g->next) list.push_back(g);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0], first);
  EXPECT_EQ(list[0]->clip, 0);
  EXPECT_EQ(list[1], a);
  EXPECT_EQ(list[2], b);
  EXPECT_NEAR(a->tool.radius, 2.6, 1e-12);  // its own allowance, then the merge allowance
  EXPECT_NEAR(b->tool.radius, 2.7, 1e-12);
  EXPECT_DOUBLE_EQ(a->tool.tipOffset, 2.1);  // tip mode 1 of the merge
  const SurfaceGroup* copied = list[3];
  EXPECT_EQ(copied->tool.radius, 2.0);  // copied without the allowance
  EXPECT_EQ(copied->tool.tipOffset, 0.0);
  for (const SurfaceGroup* g : list) {
    if (g != first) {
      EXPECT_EQ(g->clip, 1);
    }
  }
  ASSERT_EQ(copied->facetCount, 3);
  EXPECT_NE(copied->grid, nullptr);
  EXPECT_NE(copied->facets, other.facets);
  expectSortedWithCorners(copied->facets, 3, copied->minCorners, copied->maxCorners);
  EXPECT_EQ(copied->boxMin.x, -1);
  EXPECT_EQ(copied->boxMin.y, -2);
  EXPECT_EQ(copied->boxMax.x, 3);
  EXPECT_EQ(copied->boxMax.z, 3);
  modelFreeSurfaces(&m);
  modelFreeSurfaces(&other);
}

TEST(Model, GroupCopiesOfTrianglesAreSortedAndBoxed) {
  ToolShape t = toolShape(kToolFlat, 1, 0);
  ModelRec m, other;
  modelInit(&m, kModelKindTriangles);
  modelInit(&other, kModelKindTriangles);
  m.tool = &t;
  EXPECT_EQ(surfaceGroupCopyTris(&m, &other), -2);
  other.triangles = listTriNew(2);
  EXPECT_EQ(surfaceGroupCopyTris(&m, &other), -2);
  EXPECT_EQ(surfaceGroupCopyFacets(&m, &other), -2);
  const Tri tris[] = {{{{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}},
                      {{{5, 5, 0}, {6, 5, 7}, {5, 6, 0}}},
                      {{{-2, 0, 0}, {0, 0, 4}, {0, 3, 0}}}};
  for (const Tri& tri : tris) listTriAppend(other.triangles, &tri);
  ASSERT_EQ(surfaceGroupCopyTris(&m, &other), 1);
  const SurfaceGroup* g = m.groups;
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->clip, 0);
  ASSERT_EQ(g->triangles->count, 3);
  EXPECT_EQ(triTopZ(&g->triangles->items[0]), 7);
  EXPECT_EQ(triTopZ(&g->triangles->items[1]), 4);
  EXPECT_EQ(triTopZ(&g->triangles->items[2]), 1);
  EXPECT_EQ(g->maxCorners[1].z, 4);
  EXPECT_EQ(g->minCorners[1].x, -2);
  EXPECT_EQ(g->boxMin.x, -2);
  EXPECT_EQ(g->boxMax.x, 6);
  EXPECT_EQ(g->boxMax.z, 7);
  EXPECT_NE(g->grid, nullptr);
  modelFreeSurfaces(&m);
  modelFreeSurfaces(&other);
}

TEST(Model, WidenBoxByGroupsTakesTheUnion) {
  ToolShape t = toolShape(kToolFlat, 1, 0);
  ModelRec m, other;
  facetModel(&other, &t);
  modelInit(&m, kModelKindFacets);
  m.tool = &t;
  ASSERT_EQ(surfaceGroupCopyFacets(&m, &other), 1);
  // Own surfaces with their box: the union of both.
  m.facets = static_cast<Facet*>(std::malloc(sizeof(Facet)));
  m.facets[0] = Facet{0, {{10, 10, 10}, {11, 10, 10}, {11, 11, 12}, {11, 11, 12}}};
  m.facetCount = 1;
  m.boxMin = Vec3d{10, 10, 10};
  m.boxMax = Vec3d{11, 11, 12};
  modelWidenBoxByGroups(&m);
  EXPECT_EQ(m.boxMin.x, -1);
  EXPECT_EQ(m.boxMin.y, -2);
  EXPECT_EQ(m.boxMin.z, 0);
  EXPECT_EQ(m.boxMax.x, 11);
  EXPECT_EQ(m.boxMax.z, 12);
  modelFreeSurfaces(&m);
  modelFreeSurfaces(&other);
}

TEST(Model, WidenBoxByGroupsWithoutOwnSurfacesDoesNotTakeInTheOrigin) {
  ToolShape t = toolShape(kToolFlat, 1, 0);
  ModelRec m, other;
  modelInit(&other, kModelKindFacets);
  other.facets = static_cast<Facet*>(std::malloc(sizeof(Facet)));
  other.facets[0] = Facet{0, {{50, 60, 70}, {51, 60, 70}, {51, 61, 75}, {51, 61, 75}}};
  other.facetCount = 1;
  modelInit(&m, kModelKindFacets);
  m.tool = &t;
  SurfaceGroup* empty = surfaceGroupNew(&m, 0, 0, kModelKindFacets, 0, 1);
  modelAppendGroup(&m, empty);
  ASSERT_EQ(surfaceGroupCopyFacets(&m, &other), 1);
  modelWidenBoxByGroups(&m);
  EXPECT_EQ(m.boxMin.x, 50);
  EXPECT_EQ(m.boxMin.z, 70);
  EXPECT_EQ(m.boxMax.y, 61);
  EXPECT_EQ(m.boxMax.z, 75);
  modelFreeSurfaces(&m);
  modelFreeSurfaces(&other);
}

TEST(Model, TopZComparators) {
  struct Row {
    double za, zb;
    int tol, exact;
  };
  for (const Row& r : {Row{1, 2, 1, 1}, Row{2, 1, -1, -1}, Row{1, 1.000009, 0, 1},
                       Row{1.000009, 1, 0, -1}, Row{1, 1.00002, 1, 1}, Row{3, 3, 0, 0}}) {
    SCOPED_TRACE(testing::Message() << r.za << " vs " << r.zb);
    const Tri a{{{0, 0, r.za - 5}, {1, 0, r.za}, {0, 1, 0}}};
    const Tri b{{{0, 0, r.zb}, {1, 0, -3}, {0, 1, 0}}};
    const Facet fa{0, {a.v[0], a.v[1], a.v[2], a.v[2]}};
    const Facet fb{0, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, r.zb}}};
    EXPECT_EQ(facetCompareTopZ(&fa, &fb), r.tol);
    EXPECT_EQ(triCompareTopZTol(&a, &b), r.tol);
    EXPECT_EQ(triCompareTopZ(&a, &b), r.exact);
  }
}

TEST(Model, SortKeepsItemsWithCornersInTopZOrder) {
  std::vector<Facet> f;
  unsigned seed = 12345;
  auto next = [&]() {
    seed = seed * 1103515245u + 12345u;
    return static_cast<double>((seed >> 8) % 1000) / 10.0;
  };
  for (int i = 0; i < 500; ++i) {
    f.push_back(Facet{static_cast<uint16_t>(i),
                      {{next(), next(), next()},
                       {next(), next(), next()},
                       {next(), next(), next()},
                       {next(), next(), next()}}});
  }
  std::vector<Facet> sorted = f;
  ASSERT_TRUE(modelSortFacets(sorted.data(), 500));
  std::vector<Vec3d> lo(500), hi(500);
  modelFacetCorners(sorted.data(), 500, lo.data(), hi.data());
  expectSortedWithCorners(sorted.data(), 500, lo.data(), hi.data());
  // A permutation: every original facet is there once (tags are unique).
  std::vector<int> seen(500, 0);
  for (const Facet& x : sorted) ++seen[x.tag];
  for (int s : seen) EXPECT_EQ(s, 1);
}

// Equal top heights keep their order, as a stable sort keeps it, also for
// counts that several threads sort and merge.
TEST(Model, SortOrderIsTheStableOrderOfTheTopHeights) {
  for (const int n : {7, 500, 40000, 100003}) {
    std::vector<Facet> f;
    unsigned seed = 977;
    for (int i = 0; i < n; ++i) {
      seed = seed * 1103515245u + 12345u;
      const double z = static_cast<double>((seed >> 8) % 37);  // many ties
      f.push_back(
          Facet{static_cast<uint16_t>(i), {{0, 0, z}, {1, 0, z - 1}, {0, 1, 0}, {0, 1, 0}}});
      f.back().v[3].x = i;  // the identity of the facet
    }
    std::vector<Facet> want = f;
    std::stable_sort(want.begin(), want.end(),
                     [](const Facet& a, const Facet& b) { return facetTopZ(&a) > facetTopZ(&b); });
    // The order alone, as a loader that places its items itself asks for it.
    std::vector<double> keys(n);
    for (int i = 0; i < n; ++i) keys[i] = facetTopZ(&f[i]);
    std::vector<int> order(n);
    ASSERT_TRUE(modelTopZOrder(keys.data(), n, order.data()));
    ASSERT_TRUE(modelSortFacets(f.data(), n));
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(f[i].v[3].x, want[i].v[3].x) << n << " at " << i;
      ASSERT_EQ(order[i], static_cast<int>(want[i].v[3].x)) << n << " at " << i;
    }
  }
}

// Any heights: negative ones, both zeros (equal), infinities, the smallest
// magnitudes and values that are not numbers (last, in index order).
TEST(Model, TopZOrderIsTheStableOrderOfAnyHeights) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double special[] = {-0.0, 0.0,   nan,   -inf,  inf,   4.9e-324, -4.9e-324,
                            -1.5, 1.5,   -1e300, 1e300, 2.0,  -2.0,     0.0};
  for (const int n : {14, 9001, 70001}) {
    std::vector<double> keys(n);
    unsigned seed = 4242;
    for (int i = 0; i < n; ++i) {
      seed = seed * 1103515245u + 12345u;
      keys[i] = i < 14 ? special[i] : special[(seed >> 8) % 14] * ((seed >> 20) % 3 + 1);
    }
    std::vector<int> want(n);
    for (int i = 0; i < n; ++i) want[i] = i;
    std::stable_sort(want.begin(), want.end(), [&](int a, int b) {
      const double x = keys[a];
      const double y = keys[b];
      if (std::isnan(x) || std::isnan(y)) return !std::isnan(x) && std::isnan(y);
      return x > y;
    });
    std::vector<int> order(n);
    ASSERT_TRUE(modelTopZOrder(keys.data(), n, order.data()));
    for (int i = 0; i < n; ++i) ASSERT_EQ(order[i], want[i]) << n << " at " << i;
  }
}

// Facets in the xy plane (z = 0) from four xy corners.
Facet planarFacet(Vec2d a, Vec2d b, Vec2d c, Vec2d d) {
  return Facet{0, {{a.x, a.y, 0}, {b.x, b.y, 0}, {c.x, c.y, 0}, {d.x, d.y, 0}}};
}

TEST(Model, OrientCcwSwapsTheSecondAndFourthVertexOfClockwiseFacets) {
  struct Row {
    const char* name;
    Facet facet;
    bool swapped;
  };
  const Row rows[] = {
      {"counter-clockwise", planarFacet({0, 0}, {1, 0}, {1, 1}, {0, 1}), false},
      {"clockwise", planarFacet({0, 0}, {0, 1}, {1, 1}, {1, 0}), true},
      // The first corner turns by 1.1e-5 to the left: it decides.
      {"first corner just above tolerance", planarFacet({0, 0}, {1, 0}, {2, 1.1e-5}, {1, -1}),
       false},
      // It turns by 0.9e-5 only: the next corner, a right turn, decides.
      {"first corner below tolerance", planarFacet({0, 0}, {1, 0}, {2, 0.9e-5}, {1, -1}), true},
      // Two repeated vertices: the third corner decides.
      {"third corner decides, left", planarFacet({0, 0}, {1, 0}, {1, 0}, {0, 1}), false},
      {"third corner decides, right", planarFacet({0, 0}, {1, 0}, {1, 0}, {0, -1}), true},
      {"clockwise triangle", planarFacet({0, 0}, {0, 1}, {1, 0}, {1, 0}), true},
      {"all on one line", planarFacet({0, 0}, {1, 1}, {2, 2}, {3, 3}), false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Facet f = r.facet;
    facetOrientCcw(&f);
    Facet want = r.facet;
    if (r.swapped) std::swap(want.v[1], want.v[3]);
    EXPECT_EQ(std::memcmp(&f, &want, sizeof(Facet)), 0);
  }
}

TEST(Model, TopVertexFirstRotatesAndKeepsTheOrientation) {
  struct Row {
    double z[3];
    int first;  // index of the vertex that comes first
  };
  const Row rows[] = {
      {{1, 3, 2}, 1}, {{1, 2, 3}, 2}, {{3, 1, 2}, 0}, {{1, 3, 3}, 1}, {{2, 2, 2}, 0}};
  for (const Row& r : rows) {
    Tri t{{{0, 0, r.z[0]}, {1, 0, r.z[1]}, {0, 1, r.z[2]}}};
    const Tri before = t;
    triTopVertexFirst(&t);
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(std::memcmp(&t.v[k], &before.v[(r.first + k) % 3], sizeof(Vec3d)), 0)
          << "first " << r.first << " vertex " << k;
    }
  }
}

}  // namespace
