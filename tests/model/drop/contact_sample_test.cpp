#include "model/drop/contact_sample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "boundaries/boundary_rec.h"
#include "geometry/curves/curve.h"
#include "model/contact/contact_settings.h"
#include "model/drop/contact_drop.h"
#include "support/test_models.h"

namespace {

using testmodels::TestModel;

constexpr double kPi = 3.14159265358979323846;

class ContactSampleTest : public ::testing::Test {
 protected:
  void SetUp() override { contactSettingsReset(); }
  void TearDown() override { contactSettingsReset(); }
};

// A Pline with the given points (parameters = x, status codes given).
Pline* pathOf(const std::vector<Vec3d>& pts, const std::vector<int>& codes = {}) {
  Pline* pl = plineNew(static_cast<int>(pts.size()) + 1, 1);
  for (std::size_t i = 0; i < pts.size(); ++i) {
    const int code = i < codes.size() ? codes[i] : 0;
    plineAppend(pl, static_cast<double>(i), &pts[i], pointStatusMake(1, code), nullptr, 1);
  }
  return pl;
}

TEST_F(ContactSampleTest, NeedsRefineTable) {
  struct Row {
    const char* name;
    std::vector<Vec3d> pts;
    int a, b, c;
    int expected;
  };
  const Row rows[] = {
      {"coincident", {{0, 0, 0}, {0, 0, 0}, {1, 0, 1}}, 0, 1, 2, 0},
      {"outOfRangeA", {{0, 0, 0}, {1, 0, 0}, {2, 0, 1}}, -1, 0, 1, 0},
      {"outOfRangeC", {{0, 0, 0}, {1, 0, 0}, {2, 0, 1}}, 0, 1, 3, 0},
      {"straight", {{0, 0, 0}, {1, 0, 0.1}, {2, 0, 0.2}}, 0, 1, 2, 0},
      {"horizontalThenFlatTurn", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, 0, 1, 2, 0},
      {"horizontalThenSteep", {{0, 0, 0}, {1, 0, 0}, {1.1, 0, 1}}, 0, 1, 2, 1},
      {"slopedThenTurn", {{0, 0, 0}, {1, 0, 0.5}, {1, 1, 0.5}}, 0, 1, 2, 1},
  };
  ContactContext ctx;
  contactContextLoad(&ctx);
  const ToolShape tool = testmodels::ballTool(1.0);
  for (const Row& row : rows) {
    Pline* pl = pathOf(row.pts);
    EXPECT_EQ(contactNeedsRefine(&ctx, pl, &tool, 1.0, row.a, row.b, row.c, 3.0), row.expected)
        << row.name;
    plineFree(pl);
  }
}

TEST_F(ContactSampleTest, CrossSlopeOfAContactStraightBelowIsOne) {
  Vec2d pts[2] = {{0, 0}, {10, 0}};
  CurveRec* line = curveNew(pts, 2, 'p');
  const double tool[3] = {2.0, 0.0, 5.0};
  double v = 0.0;
  const double below[3] = {2.0, 0.0, 2.0};
  ASSERT_EQ(contactCrossSlopeCos(nullptr, line, 2.0, tool, below, &v), 1);
  EXPECT_DOUBLE_EQ(v, 1.0);
  // Across the path at 45 degrees; along the path it is still flat across.
  const double across[3] = {2.0, 1.0, 4.0};
  ASSERT_EQ(contactCrossSlopeCos(nullptr, line, 2.0, tool, across, &v), 1);
  EXPECT_NEAR(v, std::sqrt(0.5), 1e-12);
  const double along[3] = {3.0, 0.0, 4.0};
  ASSERT_EQ(contactCrossSlopeCos(nullptr, line, 2.0, tool, along, &v), 1);
  EXPECT_DOUBLE_EQ(v, 1.0);
  const double atCentre[3] = {2.0, 0.0, 5.0};
  EXPECT_EQ(contactCrossSlopeCos(nullptr, line, 2.0, tool, atCentre, &v), 0);
  curveFree(line);
}

TEST_F(ContactSampleTest, CornerVertices) {
  // 0 -> 1 straight on, 2 turns by 90 degrees, 3 is a repeated point, 4 the end.
  Vec2d pts[6] = {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 1}, {2, 2}};
  CurveRec* c = curveNew(pts, 6, 'p');
  const int expected[6] = {1, 0, 1, 0, 0, 1};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(curveVertexIsCorner(i, c), expected[i]) << i;
  EXPECT_EQ(curveVertexIsCorner(6, c), 0);
  // A turn of 10 degrees (cos 0.9848 <= 0.985) is a corner; 9 degrees is not.
  for (const double deg : {10.0, 9.0}) {
    const double a = deg * kPi / 180.0;
    Vec2d bend[3] = {{0, 0}, {1, 0}, {1 + std::cos(a), std::sin(a)}};
    CurveRec* b = curveNew(bend, 3, 'p');
    EXPECT_EQ(curveVertexIsCorner(1, b), deg == 10.0 ? 1 : 0) << deg;
    curveFree(b);
  }
  curveFree(c);
}

// A model with a flat plate at z = 0 and a guide line along x at y = 0.
struct PlateCase {
  explicit PlateCase(const ToolShape& tool)
      : tm(testmodels::tiltedPlane(0.0, 20.0, 4), kModelKindFacets, tool) {
    tm.buildGrid();
    curve = curveNewOwned(2, 'p', false);
    curve->points[0] = {-10.0, 0.0};
    curve->points[1] = {10.0, 0.0};
    curveUpdateLengths(curve);
    tm.model()->guideCurve = curve;
    tm.model()->floorZ = -5.0;
    contactContextLoad(&ctx);
    contactContextSetModel(&ctx, tm.model(), 0);
    ctx.zFloor = tm.model()->floorZ;
    ctx.zTop = tm.model()->topZ;
  }
  ~PlateCase() { curveFree(curve); }
  int eval(double t, double startZ = -5.0) {
    const double xy[2] = {-10.0 + t, 0.0};
    contactSampleInit(&s, xy, startZ, t, nullptr, 0);
    return contactEvalSample(&ctx, &s, tm.model());
  }
  TestModel tm;
  CurveRec* curve = nullptr;
  ContactContext ctx;
  ContactSample s;
};

TEST_F(ContactSampleTest, FaceContactIsStatusOne) {
  PlateCase pc(testmodels::ballTool(2.0));
  EXPECT_EQ(pc.eval(3.0), 1);
  EXPECT_EQ(pc.s.status, kSampleFace);
  EXPECT_EQ(pc.s.found, 1);
  EXPECT_EQ(pc.s.contact, 1);
  EXPECT_DOUBLE_EQ(pc.s.toolPosition.z, 2.0);
  EXPECT_DOUBLE_EQ(pc.s.contactPoint.z, 0.0);
}

TEST_F(ContactSampleTest, FootprintOutsideTheContactBoundaryInContactMode) {
  PlateCase pc(testmodels::ballTool(2.0));
  // A square boundary around x in [-10, -5] (curve parameters 0 to 5).
  Seg2 segs[4] = {{-10, -3, -5, -3}, {-5, -3, -5, 3}, {-5, 3, -10, 3}, {-10, 3, -10, -3}};
  BoundaryRec b{};
  b.segs = segs;
  b.segCount = 4;
  b.isOuter = 1;
  b.xMin = -10;
  b.xMax = -5;
  b.yMin = -3;
  b.yMax = 3;
  pc.tm.model()->boundaryChain = &b;
  pc.tm.model()->contactMode = 1;
  EXPECT_EQ(pc.eval(2.0), 1);
  EXPECT_EQ(pc.s.status, kSampleFace);
  EXPECT_EQ(pc.eval(8.0), 3);
  EXPECT_EQ(pc.s.status, kSampleFootprintOutside);
  EXPECT_EQ(pc.s.found, 1);
  pc.tm.model()->boundaryChain = nullptr;
}

TEST_F(ContactSampleTest, FloorAboveTheToolRaisesToTheFloor) {
  PlateCase pc(testmodels::ballTool(2.0));
  pc.ctx.zFloor = 3.5;  // above the ball's rest at 2: the drop starts there
  EXPECT_EQ(pc.eval(3.0), 1);
  EXPECT_DOUBLE_EQ(pc.s.toolPosition.z, 3.5);
  EXPECT_EQ(pc.s.found, 0);
  // With the slope switch the sample starts below the floor and is a gap.
  pc.ctx.slopeSwitch = 1;
  pc.ctx.slopeAngle = 90.0;
  pc.tm.model()->boxMin.z = -1.0;
  pc.ctx.zFloor = 1.0;
  pc.ctx.keepUntouched = 0;
  EXPECT_EQ(pc.eval(3.0), 1);  // the ball rests at 2, above the floor
  pc.ctx.zFloor = 3.5;
  EXPECT_EQ(pc.eval(3.0), 2);
  EXPECT_EQ(pc.s.status, kSampleGap);
  EXPECT_DOUBLE_EQ(pc.s.toolPosition.z, 3.5);
}

TEST_F(ContactSampleTest, CurveZAboveTheToolLiftsThePoint) {
  PlateCase pc(testmodels::ballTool(2.0));
  double zs[2] = {6.0, 6.0};
  pc.curve->z = static_cast<double*>(std::malloc(sizeof zs));
  std::copy(zs, zs + 2, pc.curve->z);
  // Without the curve-z floor: a gap at the curve's height.
  EXPECT_EQ(pc.eval(3.0, 6.0), 0);
  EXPECT_EQ(pc.s.status, kSampleGap);
  EXPECT_EQ(pc.s.found, 0);
  EXPECT_DOUBLE_EQ(pc.s.toolPosition.z, 6.0);
  // With it: a valid point at the curve's height, contact one corner below.
  pc.ctx.curveZFloor = 1;
  EXPECT_EQ(pc.eval(3.0, 6.0), 1);
  EXPECT_EQ(pc.s.found, 1);
  EXPECT_NE(pc.s.status, kSampleGap);
  EXPECT_DOUBLE_EQ(pc.s.toolPosition.z, 6.0);
  EXPECT_DOUBLE_EQ(pc.s.contactPoint.z, 6.0 - pc.tm.tool()->cornerRadius);
  // A curve below the surface changes nothing.
  EXPECT_EQ(pc.eval(3.0, 1.0), 1);
  EXPECT_DOUBLE_EQ(pc.s.toolPosition.z, 2.0);
}

TEST_F(ContactSampleTest, ClipSurfaceAboveThePathMakesAGapInTheSecondSweep) {
  PlateCase pc(testmodels::ballTool(2.0));
  // A clip surface 1 above the plate under part of the path.
  pc.tm.addGroup(
      testmodels::heightField([](double, double) { return 1.0; }, 0.0, 5.0, -5.0, 5.0, 2, 2), 0.0,
      1);
  pc.ctx.clipPass = 1;
  pc.ctx.clipFactor = 1.0;
  EXPECT_EQ(pc.eval(12.0), 1);  // x = 2: under the clip surface
  EXPECT_EQ(pc.s.status, kSampleGap);
  // The clip sweep shrinks the ball by tolerance x clip factor.
  EXPECT_NEAR(pc.s.toolPosition.z, 3.0 - pc.tm.model()->minStep, 1e-9);
  EXPECT_EQ(pc.eval(3.0), 1);  // x = -7: clear of it
  EXPECT_EQ(pc.s.status, kSampleFace);
  // Wall surfaces only mark the gap; the height stays on the part.
  pc.ctx.wallSurfaces = 1;
  EXPECT_EQ(pc.eval(12.0), 1);
  EXPECT_EQ(pc.s.status, kSampleGap);
  EXPECT_NEAR(pc.s.toolPosition.z, 2.0, 1e-9);
  // Without the clip pass the clip surface is a part surface of sweep 0.
  pc.ctx.clipPass = 0;
  pc.ctx.wallSurfaces = 0;
  EXPECT_EQ(pc.eval(12.0), 1);
  EXPECT_EQ(pc.s.status, kSampleNormal);
  EXPECT_NEAR(pc.s.toolPosition.z, 3.0, 1e-9);
}

TEST_F(ContactSampleTest, SlopeRangeMakesSteepContactsGaps) {
  TestModel tm(testmodels::tiltedPlane(60.0, 20.0, 4), kModelKindFacets, testmodels::ballTool(2.0));
  tm.buildGrid();
  Vec2d pts[2] = {{-10.0, 0.0}, {10.0, 0.0}};
  CurveRec* curve = curveNew(pts, 2, 'p');
  tm.model()->guideCurve = curve;
  ContactContext ctx;
  contactContextLoad(&ctx);
  contactContextSetModel(&ctx, tm.model(), 0);
  ctx.zFloor = -100.0;
  ctx.zTop = 1000.0;
  ContactSample s;
  const double xy[2] = {0.0, 0.0};
  for (const double limit : {45.0, 75.0}) {
    ctx.slopeSwitch = 1;
    ctx.slopeAngle = limit;
    contactSampleInit(&s, xy, -100.0, 10.0, nullptr, 0);
    EXPECT_EQ(contactEvalSample(&ctx, &s, tm.model()), 1);
    EXPECT_EQ(s.status, limit == 45.0 ? kSampleGap : kSampleFace) << limit;
  }
  curveFree(curve);
}

TEST_F(ContactSampleTest, BoundaryIntervalsMakeGapsOutside) {
  PlateCase pc(testmodels::ballTool(2.0));
  BndPair iv[1] = {{2.0, 6.0}};
  BoundaryRec b{};
  b.intervals = iv;
  b.intervalCount = 1;
  b.isOuter = 1;
  pc.tm.model()->boundaryChain = &b;
  pc.tm.model()->boundaryFlag = 1;
  EXPECT_EQ(pc.eval(4.0), 1);
  EXPECT_EQ(pc.eval(7.0), 0);
  EXPECT_EQ(pc.s.status, kSampleGap);
  EXPECT_EQ(pc.s.found, 0);
  pc.tm.model()->boundaryChain = nullptr;
}

TEST_F(ContactSampleTest, TriangleEvaluationMatchesTheFacetEvaluation) {
  for (const int kind : {kModelKindFacets, kModelKindTriangles}) {
    TestModel tm(testmodels::roof(30.0, 5.0, 20.0, 4), kind, testmodels::torusTool(3.0, 1.0));
    tm.buildGrid();
    Vec2d pts[2] = {{-10.0, 0.5}, {10.0, 0.5}};
    CurveRec* curve = curveNew(pts, 2, 'p');
    tm.model()->guideCurve = curve;
    ContactContext ctx;
    contactContextLoad(&ctx);
    contactContextSetModel(&ctx, tm.model(), 0);
    ctx.zTop = tm.model()->topZ;
    for (const double t : {1.0, 9.5, 10.5, 17.0}) {
      ContactSample s;
      const double xy[2] = {-10.0 + t, 0.5};
      contactSampleInit(&s, xy, tm.model()->floorZ, t, nullptr, 0);
      const int r = kind == kModelKindFacets ? contactEvalSample(&ctx, &s, tm.model())
                                             : projEvalSample(&ctx, &s, tm.model());
      EXPECT_EQ(r, 1);
      const double e = std::fabs(xy[0]);
      const double expected =
          e <= 2.0 ? 6.0 : 5.0 - std::tan(kPi / 6) * (e - 2.0) + 1.0 / std::cos(kPi / 6);
      if (e <= 2.0 || e - 2.0 > std::sin(kPi / 6)) {
        EXPECT_NEAR(s.toolPosition.z, expected, 1e-9) << t;
      }
    }
    curveFree(curve);
  }
}

TEST_F(ContactSampleTest, FindParamIndex) {
  Pline* pl = pathOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
  EXPECT_EQ(contactFindParamIndex(pl, 2.0000001, 0.00001), 2);
  EXPECT_EQ(contactFindParamIndex(pl, 2.5, 0.00001), -1);
  EXPECT_EQ(contactFindParamIndex(pl, -1.0, 0.00001), -1);
  EXPECT_EQ(contactFindParamIndex(nullptr, 1.0, 0.1), -1);
  plineFree(pl);
}

TEST_F(ContactSampleTest, ShortPlateauBeforeASteepDropBecomesAGap) {
  // After a gap, a short plateau, a near-vertical drop and a long bottom.
  const std::vector<Vec3d> pts = {{0, 0, 5},    {1, 0, 5}, {1.3, 0, 5},
                                  {1.31, 0, 0}, {3, 0, 0}, {5, 0, 0}};
  Pline* pl = pathOf(pts, {2, 0, 0, 0, 0, 0});
  for (int i = 0; i < pl->count; ++i) pl->params[i] = pts[static_cast<std::size_t>(i)].x;
  EXPECT_EQ(contactGapSteepDrops(nullptr, pl, 1.0), 1);
  const bool gap[6] = {true, true, true, true, false, false};
  for (int i = 0; i < pl->count; ++i) {
    EXPECT_EQ(pointStatusCode(pl->status[i]) == kPointGap, gap[i]) << i;
  }
  // A plateau longer than the length stays.
  const std::vector<Vec3d> wide = {{0, 0, 5}, {1, 0, 5}, {3, 0, 5}, {3.01, 0, 0}, {5, 0, 0}};
  Pline* w = pathOf(wide, {2, 0, 0, 0, 0});
  for (int i = 0; i < w->count; ++i) w->params[i] = wide[static_cast<std::size_t>(i)].x;
  EXPECT_EQ(contactGapSteepDrops(nullptr, w, 1.0), 0);
  plineFree(w);
  plineFree(pl);
}

TEST_F(ContactSampleTest, DeepDipNextToAShortRunIsLifted) {
  // A short run ending at point 1, then a long run from point 2.
  Pline* pl = pathOf({{0, 0, 5}, {0.05, 0, 5}, {2, 0, 5}, {4, 0, 5}}, {2, 0, 0, 0});
  double pos[3] = {1.0, 0.0, 1.0};
  EXPECT_EQ(contactFlattenDeepDip(pl, 2, pos, 2.0), 1);
  EXPECT_DOUBLE_EQ(pos[2], 5.0);
  // Not deep enough (within radius): unchanged.
  double shallow[3] = {1.0, 0.0, 3.5};
  EXPECT_EQ(contactFlattenDeepDip(pl, 2, shallow, 2.0), 0);
  EXPECT_DOUBLE_EQ(shallow[2], 3.5);
  plineFree(pl);
}

}  // namespace
