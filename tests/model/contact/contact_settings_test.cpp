#include "model/contact/contact_settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "geometry/pline/pline.h"

namespace {

class ContactSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { contactSettingsReset(); }
  void TearDown() override { contactSettingsReset(); }
};

ContactContext loaded() {
  ContactContext ctx;
  contactContextLoad(&ctx);
  return ctx;
}

ToolShape tool(int16_t type, double radius, double corner, double length, double angle) {
  ToolShape t{};
  t.type = type;
  t.radius = radius;
  t.cornerRadius = corner;
  t.length = length;
  t.taperAngle = angle;
  t.taperOn = 1;
  t.shankDiameter = 2.0 * radius;
  return t;
}

void expectDefaults(const ContactContext& ctx) {
  EXPECT_EQ(ctx.zFloor, -10000.0);
  EXPECT_EQ(ctx.zTop, 10000.0);
  EXPECT_EQ(ctx.vertexSamples, 1);
  EXPECT_EQ(ctx.angleStep, 5.0);
  EXPECT_EQ(ctx.cosTwiceStep, 0.985);
  EXPECT_EQ(ctx.cosStep, 0.996);
  EXPECT_EQ(ctx.facets, nullptr);
  EXPECT_EQ(ctx.triangles, nullptr);
  EXPECT_EQ(ctx.candidates, nullptr);
  EXPECT_EQ(ctx.contactBoundaries, nullptr);
  EXPECT_EQ(ctx.offsetModel, nullptr);
  EXPECT_EQ(ctx.clipPass, 0);
  EXPECT_EQ(ctx.clipFactor, 0.0);
  EXPECT_EQ(ctx.slopeSwitch, 0);
  EXPECT_EQ(ctx.taperOn, 0);
  EXPECT_EQ(ctx.coneOuterRadius, 0.0);
  EXPECT_EQ(ctx.overrideOn, 0);
  EXPECT_EQ(ctx.overrideTool.type, 0);
  EXPECT_EQ(ctx.extraAllowanceOn, 0);
  EXPECT_EQ(ctx.extraAllowance, 0.0);
  EXPECT_EQ(ctx.callCounter, 0);
  EXPECT_EQ(ctx.coneStale, 0);
}

TEST_F(ContactSettingsTest, FreshSettingsLoadTheDefaults) { expectDefaults(loaded()); }

// Two runs of a job in one process must start from the same settings.
TEST_F(ContactSettingsTest, ResetRestoresDefaultsAfterEverySetter) {
  Facet facets[2]{};
  Vec3d corners[2]{};
  contactSetFacetModel(facets, 2, corners, corners, nullptr, -5.0, 5.0, 1);
  contactSetVertexSamples(0);
  contactSetSlopeLimits(1, 45.0, 20.0);
  contactSetCurveZFloor(1);
  contactSetKeepTouch(1);
  contactSetClipPass(1);
  contactSetPrecisionAngle(2.0);
  contactSetClipFactor(0.4);
  contactSetWallSurfaces(1);
  contactSetBoundWalls(1);
  contactSetExtraAllowance(0.05);
  const ToolShape t = tool(kToolBall, 5.0, 5.0, 30.0, 10.0);
  contactSetToolOverride(1, &t);
  toolShapeSetCone(&t);
  contactEnableTaperCone(1);

  contactSettingsReset();

  expectDefaults(loaded());
  EXPECT_EQ(toolShapeGetCone()->outerRadius, 0.0);
  EXPECT_EQ(toolShapeGetCone()->taperOn, 0);
  ContactContext parent = loaded();
  SurfaceGroup group{};
  ContactContext child;
  contactContextForGroup(&child, &parent, &group);
  EXPECT_EQ(child.extraAllowance, 0.0);
  EXPECT_EQ(child.extraAllowanceOn, 0);
}

TEST_F(ContactSettingsTest, ExtraAllowanceSwitchFollowsItsMagnitude) {
  struct Row {
    double value;
    int on;
  };
  const Row rows[] = {{0.000009, 0}, {-0.000009, 0}, {0.00001, 1}, {-0.05, 1}, {0.0, 0}};
  for (const Row& row : rows) {
    contactSetExtraAllowance(row.value);
    const ContactContext ctx = loaded();
    EXPECT_EQ(ctx.extraAllowance, row.value) << row.value;
    EXPECT_EQ(ctx.extraAllowanceOn, row.on) << row.value;
  }
}

TEST_F(ContactSettingsTest, OverrideToolIsCopiedAndReadBackEvenWhenOff) {
  ToolShape t = tool(kToolTorus, 4.0, 1.0, 20.0, 0.0);
  EXPECT_EQ(contactSetToolOverride(0, &t), 0);
  t.radius = 99.0;  // the settings hold a copy
  ToolShape out{};
  EXPECT_EQ(contactGetToolOverride(&out), 0);
  EXPECT_EQ(out.type, kToolTorus);
  EXPECT_EQ(out.radius, 4.0);
  // A null tool switches the override on and keeps the stored tool.
  EXPECT_EQ(contactSetToolOverride(1, nullptr), 1);
  EXPECT_EQ(contactGetToolOverride(&out), 1);
  EXPECT_EQ(out.radius, 4.0);
  EXPECT_EQ(loaded().overrideTool.cornerRadius, 1.0);
}

TEST_F(ContactSettingsTest, SimpleSettersReachTheContext) {
  contactSetClipFactor(0.8);
  EXPECT_DOUBLE_EQ(loaded().clipFactor, 1.0);
  contactSetClipFactor(0.4);
  EXPECT_DOUBLE_EQ(loaded().clipFactor, 0.5);

  EXPECT_EQ(contactSetClipPass(1), 1);
  EXPECT_EQ(contactGetClipPass(), 1);
  EXPECT_EQ(contactSetVertexSamples(0), 0);
  EXPECT_EQ(contactSetCurveZFloor(1), 1);
  contactSetSlopeLimits(1, 60.0, 10.0);
  int marker = 0;
  auto* set = reinterpret_cast<BoundarySet*>(&marker);
  EXPECT_EQ(contactSetContactBoundaries(set), set);

  const ContactContext ctx = loaded();
  EXPECT_EQ(ctx.clipPass, 1);
  EXPECT_EQ(ctx.vertexSamples, 0);
  EXPECT_EQ(ctx.curveZFloor, 1);
  EXPECT_EQ(ctx.slopeSwitch, 1);
  EXPECT_EQ(ctx.slopeAngle, 60.0);
  EXPECT_EQ(ctx.flatAngle, 10.0);
  EXPECT_EQ(ctx.contactBoundaries, set);
  // Setters never touch the refinement step of the settings.
  EXPECT_EQ(ctx.angleStep, 5.0);
}

TEST_F(ContactSettingsTest, ModelSelectionKeepsTheOtherKindsSelection) {
  TriList tris{};
  Facet facets[3]{};
  Vec3d lo[3]{}, hi[3]{};
  ModelRec tri{};
  modelInit(&tri, kModelKindTriangles);
  tri.triangles = &tris;
  tri.minCorners = lo;
  tri.maxCorners = hi;
  tri.boxMin = {0, 0, -3.0};
  tri.boxMax = {1, 1, 7.0};
  ModelRec fac{};
  modelInit(&fac, kModelKindFacets);
  fac.facets = facets;
  fac.facetCount = 3;
  fac.boxMin = {0, 0, -1.0};
  fac.boxMax = {1, 1, 2.0};

  contactSetModel(&fac, 1);
  contactSetModel(&tri, 0);
  ContactContext ctx = loaded();
  EXPECT_EQ(ctx.triangles, &tris);
  EXPECT_EQ(ctx.facets, facets);  // the triangle selection keeps the facets
  EXPECT_EQ(ctx.facetCount, 3);
  EXPECT_EQ(ctx.minCorners, lo);
  EXPECT_EQ(ctx.zFloor, -3.0);
  EXPECT_EQ(ctx.zTop, 7.0);
  EXPECT_EQ(ctx.keepUntouched, 0);

  // A drop's own selection leaves the settings alone.
  contactContextSetModel(&ctx, &fac, 1);
  EXPECT_EQ(ctx.zTop, 2.0);
  EXPECT_EQ(ctx.triangles, &tris);
  EXPECT_EQ(loaded().zTop, 7.0);
}

// A model that frees its surfaces takes them out of the selection first;
// another model's selection stays.
TEST_F(ContactSettingsTest, FreedModelLeavesTheSelection) {
  const auto facetModel = [](int n) {
    ModelRec m{};
    modelInit(&m, kModelKindFacets);
    m.facets = static_cast<Facet*>(std::calloc(n, sizeof(Facet)));
    m.facetCount = n;
    m.minCorners = static_cast<Vec3d*>(std::calloc(n, sizeof(Vec3d)));
    m.maxCorners = static_cast<Vec3d*>(std::calloc(n, sizeof(Vec3d)));
    m.boxMin = {0, 0, -2.0};
    m.boxMax = {1, 1, 5.0};
    return m;
  };
  ModelRec kept = facetModel(2);
  ModelRec freed = facetModel(3);
  contactSetModel(&kept, 1);
  modelFreeSurfaces(&freed);
  EXPECT_EQ(loaded().facets, kept.facets);
  EXPECT_EQ(loaded().minCorners, kept.minCorners);

  freed = facetModel(3);
  contactSetModel(&freed, 1);
  modelFreeSurfaces(&freed);
  const ContactContext ctx = loaded();
  EXPECT_EQ(ctx.facets, nullptr);
  EXPECT_EQ(ctx.facetCount, 0);
  EXPECT_EQ(ctx.minCorners, nullptr);
  EXPECT_EQ(ctx.maxCorners, nullptr);
  EXPECT_EQ(ctx.zTop, kContactDefaultZTop);
  EXPECT_EQ(ctx.keepUntouched, 0);
  modelFreeSurfaces(&kept);
}

TEST_F(ContactSettingsTest, GroupContextTakesGroupSelectionAndCurrentExtraAllowance) {
  Facet facets[2]{};
  Vec3d corners[2]{};
  contactSetFacetModel(facets, 2, corners, corners, reinterpret_cast<CandidateList*>(corners), -1.0,
                       1.0, 1);
  ContactContext parent = loaded();
  parent.diagMin = &parent.zFloor;  // any non-null
  contactSetExtraAllowance(0.05);   // set after the parent was loaded

  Facet groupFacets[1]{};
  Vec3d gLo[1]{}, gHi[1]{};
  SurfaceGroup group{};
  group.kind = kModelKindFacets;
  group.facets = groupFacets;
  group.facetCount = 1;
  group.minCorners = gLo;
  group.maxCorners = gHi;
  ContactContext child;
  contactContextForGroup(&child, &parent, &group);
  EXPECT_EQ(child.facets, groupFacets);
  EXPECT_EQ(child.facetCount, 1);
  EXPECT_EQ(child.minCorners, gLo);
  EXPECT_EQ(child.maxCorners, gHi);
  EXPECT_EQ(child.candidates, nullptr);
  EXPECT_EQ(child.diagMin, nullptr);
  EXPECT_EQ(child.diagMax, nullptr);
  EXPECT_EQ(child.coneStale, 1);
  EXPECT_EQ(child.extraAllowance, 0.05);
  EXPECT_EQ(child.extraAllowanceOn, 1);
  EXPECT_EQ(child.zFloor, -1.0);  // everything else from the parent
  EXPECT_EQ(child.keepUntouched, 1);
  // In place.
  contactContextForGroup(&parent, &parent, &group);
  EXPECT_EQ(parent.facets, groupFacets);
  EXPECT_EQ(parent.zTop, 1.0);
}

// ---- Taper cone ---------------------------------------------------------------

struct ConeRow {
  const char* name;
  ToolShape tool;
  double innerZ, innerRadius, outerRadius, growth;
};

class ToolConeTest : public ContactSettingsTest, public ::testing::WithParamInterface<ConeRow> {};

TEST_P(ToolConeTest, FromTool) {
  const ConeRow& row = GetParam();
  ToolCone cone;
  toolConeFromTool(&row.tool, &cone);
  EXPECT_NEAR(cone.innerZ, row.innerZ, 1e-7);
  EXPECT_NEAR(cone.innerRadius, row.innerRadius, 1e-7);
  EXPECT_NEAR(cone.outerRadius, row.outerRadius, 1e-7);
  EXPECT_NEAR(cone.growth, row.growth, 1e-7);
  EXPECT_EQ(cone.outerZ, row.tool.length);
  EXPECT_EQ(cone.taperAngle, row.tool.taperAngle);

  // The process-wide record and the settings copy agree with the pure form.
  toolShapeSetCone(&row.tool);
  EXPECT_EQ(toolShapeGetCone()->outerRadius, cone.outerRadius);
  EXPECT_EQ(loaded().taperOn, 0);  // enabling is a separate step
  contactEnableTaperCone(1);
  const ContactContext ctx = loaded();
  EXPECT_EQ(ctx.taperOn, 1);
  EXPECT_EQ(ctx.coneInnerRadius, cone.innerRadius);
  EXPECT_EQ(ctx.coneOuterRadius, cone.outerRadius);
  EXPECT_EQ(ctx.coneInnerZ, cone.innerZ);
  EXPECT_EQ(ctx.coneOuterZ, cone.outerZ);
  EXPECT_EQ(ctx.coneGrowth, cone.growth);

  ContactContext own{};
  contactContextSetCone(&own, &row.tool);
  EXPECT_EQ(own.taperOn, row.tool.taperOn);
  EXPECT_EQ(own.coneOuterRadius, cone.outerRadius);
  EXPECT_EQ(own.coneGrowth, cone.growth);
}

const double kTan10 = std::tan(10.0 * 3.14159265358979323846 / 180.0);

INSTANTIATE_TEST_SUITE_P(
    Shapes, ToolConeTest,
    ::testing::Values(
        // ball R 5, 10 degrees, length 30
        ConeRow{"ball", tool(kToolBall, 5.0, 5.0, 30.0, 10.0), -0.8682409, 4.9240388, 10.3669425,
                5.3669425},
        // torus: the corner radius is the tip radius
        ConeRow{"torus", tool(kToolTorus, 5.0, 1.0, 30.0, 10.0), -0.1736482, 4.9848078,
                4.9848078 + kTan10 * 30.1736482, 4.9848078 + kTan10 * 30.1736482 - 5.0},
        // flat: the taper starts at the tip radius
        ConeRow{"flat", tool(kToolFlat, 3.0, 0.0, 20.0, 10.0), 0.0, 3.0, 3.0 + kTan10 * 20.0,
                kTan10 * 20.0},
        // no angle: a cylinder
        ConeRow{"straight", tool(kToolBall, 2.0, 2.0, 10.0, 0.0), 0.0, 2.0, 2.0, 0.0}),
    [](const ::testing::TestParamInfo<ConeRow>& info) { return std::string(info.param.name); });

// Snapshots taken while another thread changes the settings never mix the
// values of two setter calls.
TEST_F(ContactSettingsTest, SnapshotsAreNeverTorn) {
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop.load(); i = (i + 1) % 1000) {
      contactSetFacetModel(nullptr, i, nullptr, nullptr, nullptr, -i, i, i % 2);
    }
  });
  std::atomic<int> torn{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 4; ++r) {
    readers.emplace_back([&] {
      for (int k = 0; k < 20000; ++k) {
        ContactContext ctx;
        contactContextLoad(&ctx);
        const int n = ctx.facetCount;
        if (ctx.zTop != n || ctx.zFloor != -n || ctx.keepUntouched != n % 2) {
          // The very first snapshot may still see the defaults.
          if (!(n == 0 && ctx.zTop == 10000.0)) torn.fetch_add(1);
        }
      }
    });
  }
  for (auto& t : readers) t.join();
  stop = true;
  writer.join();
  EXPECT_EQ(torn.load(), 0);
}

// ---- Refinement tests -------------------------------------------------------------

Pline* pathOf(const std::vector<Vec3d>& points, const std::vector<int>& codes = {}) {
  Pline* pl = plineNew(static_cast<int>(points.size()), 0);
  for (size_t i = 0; i < points.size(); ++i) {
    const int code = codes.empty() ? 0 : codes[i];
    plineAppend(pl, static_cast<double>(i), &points[i], pointStatusMake(1, code), nullptr, 0);
  }
  return pl;
}

struct RefineRow {
  const char* name;
  std::vector<Vec3d> points;  // a, b, c in order
  double sampleStep;
  int expected;
};

class NeedsRefineTest : public ContactSettingsTest,
                        public ::testing::WithParamInterface<RefineRow> {};

TEST_P(NeedsRefineTest, Table) {
  const RefineRow& row = GetParam();
  Pline* pl = pathOf(row.points);
  const ToolShape t = tool(kToolBall, 3.0, 3.0, 20.0, 0.0);
  EXPECT_EQ(contactNeedsRefineAt(pl, &t, row.sampleStep, 0, 1, 2, 3.0), row.expected);
  plineFree(pl);
}

// cos of 6 degrees (0.9945) lies between the two thresholds 0.985 and 0.996.
const double kC6 = std::cos(6.0 * 3.14159265358979323846 / 180.0);
const double kS6 = std::sin(6.0 * 3.14159265358979323846 / 180.0);

INSTANTIATE_TEST_SUITE_P(
    Cases, NeedsRefineTest,
    ::testing::Values(
        RefineRow{"coincident_a_b", {{0, 0, 0}, {0, 0, 0.000005}, {1, 0, 1}}, 1.0, 0},
        RefineRow{"coincident_b_c", {{0, 0, 0}, {1, 0, 1}, {1, 0, 1.000005}}, 1.0, 0},
        RefineRow{"straight_climb", {{0, 0, 0}, {1, 0, 1}, {2, 0, 2}}, 1.0, 0},
        RefineRow{"level_then_level_corner", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, 1.0, 0},
        RefineRow{"level_then_steep", {{0, 0, 0}, {1, 0, 0}, {1.1, 0, 1}}, 1.0, 1},
        RefineRow{"level_then_gentle", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0.2}}, 1.0, 0},
        RefineRow{"tilted_sharp_turn", {{0, 0, 0}, {1, 0, 0.5}, {2, 0, 0}}, 1.0, 1},
        // A 6-degree turn refines after a long segment (cos step 0.996) but
        // not after one shorter than the sample step (cos twice step 0.985).
        RefineRow{"six_degrees_long", {{0, 0, 0}, {1, 0, 0.1}, {1 + kC6, kS6, 0.1}}, 0.5, 1},
        RefineRow{"six_degrees_short", {{0, 0, 0}, {1, 0, 0.1}, {1 + kC6, kS6, 0.1}}, 2.0, 0}),
    [](const ::testing::TestParamInfo<RefineRow>& info) { return std::string(info.param.name); });

TEST_F(ContactSettingsTest, NeedsRefineRejectsIndicesOutsideThePath) {
  Pline* pl = pathOf({{0, 0, 0}, {1, 0, 0}, {1.1, 0, 1}});
  const ToolShape t = tool(kToolBall, 3.0, 3.0, 20.0, 0.0);
  EXPECT_EQ(contactNeedsRefineAt(pl, &t, 1.0, -1, 0, 1, 3.0), 0);
  EXPECT_EQ(contactNeedsRefineAt(pl, &t, 1.0, 1, 2, 3, 3.0), 0);
  EXPECT_EQ(contactNeedsRefineAt(nullptr, &t, 1.0, 0, 1, 2, 3.0), 0);
  plineFree(pl);
}

TEST_F(ContactSettingsTest, NeedsRefineUsesTheGivenContextsCosines) {
  Pline* pl = pathOf({{0, 0, 0}, {1, 0, 0.1}, {1 + kC6, kS6, 0.1}});
  ContactContext ctx = loaded();
  ctx.cosStep = std::cos(10.0 * 3.14159265358979323846 / 180.0);
  EXPECT_EQ(contactNeedsRefine(&ctx, pl, nullptr, 0.5, 0, 1, 2, 3.0), 0);
  ctx.cosStep = std::cos(4.0 * 3.14159265358979323846 / 180.0);
  EXPECT_EQ(contactNeedsRefine(&ctx, pl, nullptr, 0.5, 0, 1, 2, 3.0), 1);
  plineFree(pl);
}

TEST_F(ContactSettingsTest, StatusBreakAtGapAndFootprintChanges) {
  Pline* pl = pathOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}},
                     {kPointCut, kPointCut, kPointGap, kPointGapCandidate, kPointGapCandidate});
  EXPECT_EQ(contactIsStatusBreakAt(pl, 0), 0);  // no point before the first
  EXPECT_EQ(contactIsStatusBreakAt(pl, 1), 0);
  EXPECT_EQ(contactIsStatusBreakAt(pl, 2), 1);
  EXPECT_EQ(contactIsStatusBreakAt(pl, 3), 1);
  EXPECT_EQ(contactIsStatusBreakAt(pl, 4), 0);
  EXPECT_EQ(contactIsStatusBreakAt(pl, 5), 0);
  plineFree(pl);
}

}  // namespace
