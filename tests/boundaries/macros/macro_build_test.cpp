#include "boundaries/macros/macro_build.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

struct MacroDeleter {
  void operator()(MacroRec* m) const { macroFree(m); }
};
using MacroPtr = std::unique_ptr<MacroRec, MacroDeleter>;

struct PlineDeleter {
  void operator()(Pline* p) const { plineFree(p); }
};
using PlinePtr = std::unique_ptr<Pline, PlineDeleter>;

MacroParams baseParams() { return linkParamsDefaults().macro; }

double dist(const Vec3d& a, const Vec3d& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}
double dist2(const Vec3d& a, const Vec3d& b) { return std::hypot(a.x - b.x, a.y - b.y); }

class MacroBuildTest : public ::testing::Test {
 protected:
  void SetUp() override { linkParamsReset(); }
  void TearDown() override { linkParamsReset(); }
};

const Vec3d kP{10, 20, 3};
const Vec3d kBehind{9, 20, 3};  // end direction +x

TEST_F(MacroBuildTest, VerticalArcStepsUpToJustShortOfVertical) {
  MacroParams mp = baseParams();
  mp.retractKind = 1;
  mp.retractRadius = 5;
  mp.stepAngle = 7 * kDeg;
  mp.arcEndAngle = 0;
  MacroPtr m(macroBuild(kMacroRetract, kP, kBehind, &mp, 1, nullptr, 0, nullptr));
  ASSERT_TRUE(m);
  ASSERT_EQ(m->count, 14);  // the path end and 13 chords at 0, 7, ..., 84 degrees
  EXPECT_EQ(m->capacity, 2 + static_cast<int>(std::floor(2 * kPi / (7 * kDeg))));
  const double chord = 2 * 5 * std::sin(3.5 * kDeg);
  for (int i = 1; i < m->count; ++i) {
    const Vec3d d{m->points[i].x - m->points[i - 1].x, m->points[i].y - m->points[i - 1].y,
                  m->points[i].z - m->points[i - 1].z};
    EXPECT_NEAR(std::hypot(d.x, d.z), chord, 1e-12) << i;
    EXPECT_NEAR(d.y, 0, 1e-12);
    EXPECT_NEAR(std::atan2(d.z, d.x), (i - 1) * 7 * kDeg, 1e-12) << i;
  }
  EXPECT_EQ(m->endDir.x, 1.0);
}

TEST_F(MacroBuildTest, VerticalArcOnAVerticalEndGoesOneRadiusAlongIt) {
  MacroParams mp = baseParams();
  mp.retractKind = 1;
  mp.retractRadius = 5;
  mp.stepAngle = 0.1;
  MacroPtr m(macroBuild(kMacroRetract, kP, {10, 20, 1}, &mp, 1, nullptr, 0, nullptr));
  ASSERT_TRUE(m);
  ASSERT_EQ(m->count, 2);
  EXPECT_NEAR(m->points[1].z, kP.z + 5, 1e-12);
  EXPECT_NEAR(dist2(m->points[1], kP), 0, 1e-12);
}

struct SimpleRow {
  const char* name;
  int type;
  int kind;
  double radius;
  double stepAngle;
  double angle;
  Vec3d neighbour;
  int count;  // -1: no macro
  Vec3d last;
};

TEST_F(MacroBuildTest, SimpleKinds) {
  const SimpleRow rows[] = {
      {"vertical", kMacroApproach, 0, 5, 0.1, 0, kBehind, 2, {10, 20, 8}},
      {"vertical retract radius 0 still built", kMacroRetract, 0, 0, 0.1, 0, kBehind, 2, kP},
      {"approach radius 0", kMacroApproach, 0, 0, 0.1, 0, kBehind, -1, {}},
      {"approach arc without step", kMacroApproach, 1, 5, 0, 0, kBehind, -1, {}},
      {"retract arc without step", kMacroRetract, 1, 5, 0, 0, kBehind, -1, {}},
      {"horizontal arc without step", kMacroRetract, 3, 5, 0, 0, kBehind, -1, {}},
      {"normal arc without step", kMacroApproach, 21, 5, 0.00001, 0, kBehind, -1, {}},
      {"inclined flat",
       kMacroRetract,
       2,
       5,
       0.1,
       0,
       {9, 20, 4},
       2,
       {10 + 5 / std::sqrt(2.0), 20, 3 - 5 / std::sqrt(2.0)}},
      {"inclined 30 degrees",
       kMacroRetract,
       2,
       4,
       0.1,
       30 * kDeg,
       kBehind,
       2,
       {10 + 4 * std::cos(30 * kDeg), 20, 3 + 4 * std::sin(30 * kDeg)}},
      {"inclined on a vertical end", kMacroRetract, 2, 4, 0.1, 30 * kDeg, {10, 20, 2}, 1, kP},
      {"tangential drops the slope",
       kMacroRetract,
       9,
       4,
       0.1,
       90 * kDeg,
       {9, 20, 2},
       2,
       {10, 20, 7}},
      {"turned line left", kMacroRetract, 4, 2, 0.1, 90 * kDeg, kBehind, 2, {10, 22, 3}},
      {"turned line on a vertical end", kMacroRetract, 4, 2, 0.1, 90 * kDeg, {10, 20, 2}, 1, kP},
      {"along the normal without one", kMacroRetract, 20, 2, 0.1, 0, kBehind, 2, {10, 20, 5}},
      {"unknown kind", kMacroRetract, 5, 2, 0.1, 0, kBehind, -1, {}},
      {"coincident neighbour", kMacroRetract, 2, 2, 0.1, 0, kP, 1, kP},
  };
  for (const SimpleRow& row : rows) {
    SCOPED_TRACE(row.name);
    MacroParams mp = baseParams();
    mp.approachKind = mp.retractKind = static_cast<int16_t>(row.kind);
    mp.approachRadius = mp.retractRadius = row.radius;
    mp.approachPlungeAngle = mp.retractPlungeAngle = row.angle;
    mp.stepAngle = row.stepAngle;
    MacroPtr m(macroBuild(row.type, kP, row.neighbour, &mp, 1, nullptr, 0, nullptr));
    if (row.count < 0) {
      EXPECT_FALSE(m);
      continue;
    }
    ASSERT_TRUE(m);
    EXPECT_EQ(m->count, row.count);
    EXPECT_EQ(m->type, row.type);
    EXPECT_EQ(m->kind, row.kind);
    EXPECT_NEAR(dist(m->points[0], kP), 0, 0);
    EXPECT_NEAR(dist(m->points[m->count - 1], row.last), 0, 1e-12);
  }
}

TEST_F(MacroBuildTest, HorizontalArcTurnsToItsSideAndKeepsItsCentre) {
  for (int side : {1, -1}) {
    SCOPED_TRACE(side);
    MacroParams mp = baseParams();
    mp.retractKind = 3;
    mp.retractRadius = 4;
    mp.stepAngle = 0.1;
    mp.arcEndAngle = 0;
    const Vec3d neighbour{9, 19, 1};  // end direction (1, 1) in plan, falling
    MacroPtr m(macroBuild(kMacroRetract, kP, neighbour, &mp, side, nullptr, 0, nullptr));
    ASSERT_TRUE(m);
    ASSERT_GT(m->count, 10);
    const MacroKindData& d = m->kindData;
    EXPECT_EQ(d.descKind, kMacroDescArc);
    EXPECT_EQ(d.turn, side);
    EXPECT_NEAR(dist(d.pointA, kP), 0, 0);
    EXPECT_NEAR(dist(d.pointB, m->points[m->count - 1]), 0, 0);
    EXPECT_NEAR(dist2(d.pointC, d.pointA), 4, 1e-9);
    EXPECT_NEAR(dist2(d.pointC, d.pointB), 4, 1e-9);
    EXPECT_EQ(d.pointC.z, kP.z);
    const double ux = 1 / std::sqrt(2.0), uy = ux;
    for (int i = 1; i < m->count; ++i) {
      EXPECT_EQ(m->points[i].z, kP.z);
      // every point lies on the arc and on the chosen side of the end direction
      EXPECT_NEAR(dist2(m->points[i], d.pointC), 4, 1e-9) << i;
      const double across = ux * (m->points[i].y - kP.y) - uy * (m->points[i].x - kP.x);
      EXPECT_GT(across * side, 0) << i;
    }
    // stops once within the end angle of the perpendicular: about a quarter turn
    const Vec3d last = m->points[m->count - 1];
    const Vec3d prev = m->points[m->count - 2];
    const double along = (last.x - prev.x) * ux + (last.y - prev.y) * uy;
    EXPECT_LE(along, 0);
  }
}

TEST_F(MacroBuildTest, ApproachArcTurnsToTheOtherSide) {
  MacroParams mp = baseParams();
  mp.approachKind = 3;
  mp.approachRadius = 4;
  mp.stepAngle = 0.1;
  MacroPtr m(macroBuild(kMacroApproach, kP, kBehind, &mp, 1, nullptr, 0, nullptr));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->kindData.turn, -1);
  EXPECT_LT(m->points[m->count - 1].y, kP.y);
}

TEST_F(MacroBuildTest, NormalArcRisesTowardTheNormal) {
  MacroParams mp = baseParams();
  mp.retractKind = 21;
  mp.retractRadius = 5;
  mp.stepAngle = 0.1;
  mp.arcEndAngle = 0;
  const Vec3d normal{0, 1, 0};
  MacroPtr m(macroBuild(kMacroRetract, kP, kBehind, &mp, 1, nullptr, 0, &normal));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->shiftDir.y, 1.0);
  ASSERT_GT(m->count, 5);
  for (int i = 0; i < m->count; ++i) EXPECT_NEAR(m->points[i].z, kP.z, 1e-12);
  const Vec3d last = m->points[m->count - 1];
  const Vec3d prev = m->points[m->count - 2];
  EXPECT_GT(last.y - prev.y, 0);
  EXPECT_LT(std::fabs(last.x - prev.x), 0.1 * std::fabs(last.y - prev.y));
}

TEST_F(MacroBuildTest, HelixEndsOnItsAxisAtTheTop) {
  for (int direction : {1, -1}) {
    SCOPED_TRACE(direction);
    MacroParams mp = baseParams();
    mp.approachKind = 6;
    mp.approachRadius = 1;
    mp.plungeRadius = 3;
    mp.stepAngle = 0.1;
    mp.approachPlungeAngle = 5 * kDeg;
    mp.plungeHeight = 2;
    mp.plungeDirection = direction;
    mp.approachDistance = 1.5;
    MacroPtr m(macroBuild(kMacroApproach, kP, kBehind, &mp, 1, nullptr, 0, nullptr));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->kind, 6);
    EXPECT_EQ(m->capacity, kMacroHelixCapacity);
    const Vec3d top = m->points[m->count - 1];
    EXPECT_EQ(top.x, kP.x);
    EXPECT_EQ(top.y, kP.y);
    EXPECT_EQ(top.z, kP.z + 2);
    EXPECT_EQ(m->points[m->count - 2].z, kP.z + 2);
    const double rise = std::tan(5 * kDeg) * 2 * 3 * std::sin(0.05);
    EXPECT_EQ(m->count, 3 + static_cast<int>(std::ceil(2 / rise - 1e-9)));
    for (int i = 1; i + 1 < m->count; ++i) {
      EXPECT_NEAR(dist2(m->points[i], kP), 3, 1e-9);
      if (i > 1) {
        EXPECT_GE(m->points[i].z, m->points[i - 1].z);
      }
    }
    // the first step turns the way the plunge direction says
    const double turn = (m->points[1].x - kP.x) * (m->points[2].y - kP.y) -
                        (m->points[1].y - kP.y) * (m->points[2].x - kP.x);
    EXPECT_GT(turn * direction, 0);
    EXPECT_EQ(m->kindData.descKind, kMacroDescHelix);
    EXPECT_EQ(m->kindData.turn, direction == 1 ? -1 : 1);
    EXPECT_EQ(m->shiftLength, 1.5);
    EXPECT_EQ(macroPendingShift(), 0.0);
  }
}

TEST_F(MacroBuildTest, HelixThatNeedsTooManyPointsIsRefused) {
  MacroParams mp = baseParams();
  mp.approachKind = 6;
  mp.plungeRadius = 0.001;
  mp.stepAngle = 0.1;
  mp.approachPlungeAngle = 5 * kDeg;
  mp.plungeHeight = 2;
  testing::internal::CaptureStderr();
  MacroPtr m(macroBuild(kMacroApproach, kP, kBehind, &mp, 1, nullptr, 0, nullptr));
  EXPECT_FALSE(m);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Zu viele Punkte \n");
}

TEST_F(MacroBuildTest, NegativeApproachDistanceIsNotApplied) {
  MacroParams mp = baseParams();
  mp.approachKind = 0;
  mp.approachDistance = -2;
  MacroPtr m(macroBuild(kMacroApproach, kP, kBehind, &mp, 1, nullptr, 0, nullptr));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->shiftLength, 0.0);
  Vec3d q = kP;
  macroApplyShift(m.get(), &q);
  EXPECT_EQ(q.z, kP.z);
}

PlinePtr straightPath(const std::vector<double>& xs) {
  PlinePtr pl(plineNew(static_cast<int>(xs.size()), 0));
  for (size_t i = 0; i < xs.size(); ++i) {
    const Vec3d p{xs[i], 0, 1};
    plineAppend(pl.get(), xs[i], &p, pointStatusMake(kPointKindContact, kPointCut), nullptr, 0);
  }
  return pl;
}

TEST_F(MacroBuildTest, RampOnAShortStretchZigzagsForwardAndBack) {
  MacroParams mp = baseParams();
  mp.approachKind = 8;
  mp.approachPlungeAngle = std::atan(0.1);  // run of 10 for a height of 1
  mp.plungeHeight = 1;
  PlinePtr path = straightPath({0, 1});
  MacroPtr m(
      macroBuild(kMacroApproach, path->points[0], path->points[1], &mp, 1, path.get(), 0, nullptr));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->kind, 8);
  EXPECT_EQ(m->capacity, m->count + 10);
  // forward 5 and back 5: 0 1 0 1 0 1 (cut) back to 0, 11 points
  ASSERT_EQ(m->count, 11);
  EXPECT_EQ(m->points[0].x, 0.0);
  EXPECT_EQ(m->points[0].z, 1.0);
  EXPECT_EQ(m->points[m->count - 1].x, 0.0);
  EXPECT_NEAR(m->points[m->count - 1].z, 2.0, 1e-12);
  double l = 0;
  for (int i = m->count - 2; i >= 0; --i) {
    l += std::fabs(m->points[i + 1].x - m->points[i].x);
    EXPECT_GE(m->points[i].x, 0.0);
    EXPECT_LE(m->points[i].x, 1.0);
    EXPECT_NEAR(m->points[i].z, std::fmax(1.0, 2.0 - 0.1 * l), 1e-9) << i;
  }
  EXPECT_NEAR(l, 10, 1e-9);
}

TEST_F(MacroBuildTest, RampWithALengthLimitTurnsAtThePointPastIt) {
  MacroParams mp = baseParams();
  mp.approachKind = 8;
  mp.approachPlungeAngle = std::atan(0.5);  // run of 2 for a height of 1
  mp.plungeHeight = 1;
  macroSetRampLength(0.5);
  PlinePtr path = straightPath({0, 0.3, 0.6, 0.9, 1.2});
  MacroPtr m(
      macroBuild(kMacroApproach, path->points[0], path->points[1], &mp, 1, path.get(), 0, nullptr));
  ASSERT_TRUE(m);
  // 0 .3 .6 | .3 0 | .3 .6 .4 (mirrored twice, cut at a walk of 2)
  ASSERT_EQ(m->count, 8);
  const double xs[] = {0, 0.3, 0.6, 0.3, 0, 0.3, 0.6, 0.4};
  double l = 0;
  for (int i = 0; i < m->count; ++i) {
    if (i > 0) l += std::fabs(m->points[i].x - m->points[i - 1].x);
    EXPECT_NEAR(m->points[i].x, xs[i], 1e-12) << i;
    EXPECT_NEAR(m->points[i].z, 1 + 0.5 * l, 1e-12) << i;
  }
  EXPECT_NEAR(m->points[m->count - 1].z, 2, 1e-12);
}

TEST_F(MacroBuildTest, RampRefusals) {
  MacroParams mp = baseParams();
  mp.approachKind = 8;
  mp.approachPlungeAngle = std::atan(0.1);
  mp.plungeHeight = 1;
  PlinePtr tiny = straightPath({0, 0.0001});
  PlinePtr one = straightPath({0});
  EXPECT_FALSE(MacroPtr(
      macroBuild(kMacroApproach, tiny->points[0], tiny->points[1], &mp, 1, tiny.get(), 0, nullptr)))
      << "a tiny stretch would have to be walked 50000 times";
  EXPECT_FALSE(MacroPtr(
      macroBuild(kMacroApproach, one->points[0], one->points[0], &mp, 1, one.get(), 0, nullptr)));
  EXPECT_FALSE(MacroPtr(macroBuild(kMacroApproach, kP, kBehind, &mp, 1, nullptr, 0, nullptr)));
  PlinePtr gap = straightPath({0, 1, 2});
  gap->status[1] = pointStatusMake(0, kPointGap);
  EXPECT_FALSE(MacroPtr(
      macroBuild(kMacroApproach, gap->points[0], gap->points[1], &mp, 1, gap.get(), 0, nullptr)));
  mp.approachPlungeAngle = kPi / 2;
  PlinePtr two = straightPath({0, 1});
  MacroPtr vertical(
      macroBuild(kMacroApproach, two->points[0], two->points[1], &mp, 1, two.get(), 0, nullptr));
  ASSERT_TRUE(vertical);
  ASSERT_EQ(vertical->count, 2);
  EXPECT_EQ(vertical->points[0].z, 2.0);
  EXPECT_EQ(vertical->points[1].z, 1.0);
}

TEST_F(MacroBuildTest, SupportOperations) {
  MacroParams mp = baseParams();
  mp.retractKind = 2;
  mp.retractRadius = 5;
  mp.retractDistance = 2;
  MacroPtr m(macroBuild(kMacroRetract, kP, {9, 20, 4}, &mp, 1, nullptr, 0, nullptr));
  ASSERT_TRUE(m);
  EXPECT_NEAR(macroForwardExtent(m.get()), 5, 1e-12);
  Vec3d q{0, 0, 0};
  macroApplyShift(m.get(), &q);
  EXPECT_EQ(q.z, 2.0);
  m->shiftDir = {0, 0, 0};
  macroApplyShift(m.get(), &q);
  EXPECT_EQ(q.z, 2.0);

  MacroKindData arc{};
  arc.descKind = kMacroDescArc;
  arc.turn = 1;
  arc.pointA = {1, 2, 3};
  arc.pointB = {4, 5, 6};
  macroArcReverse(&arc);
  EXPECT_EQ(arc.turn, -1);
  EXPECT_EQ(arc.pointA.x, 4.0);
  EXPECT_EQ(arc.pointB.x, 1.0);
  MacroKindData helix = arc;
  helix.descKind = kMacroDescHelix;
  macroArcReverse(&helix);
  EXPECT_EQ(helix.turn, -1);
  EXPECT_EQ(helix.pointA.x, 4.0);
  macroFree(nullptr);
}

TEST_F(MacroBuildTest, CircleAroundAPoint) {
  MacroParams mp = baseParams();
  mp.plungeRadius = 2;
  mp.stepAngle = 0.5;
  MacroPtr c(macroBuildCircle(kP, &mp));
  ASSERT_TRUE(c);
  ASSERT_EQ(c->count, 1 + 12);
  for (int i = 0; i < c->count; ++i) {
    EXPECT_NEAR(dist2(c->points[i], kP), 2, 1e-12);
    EXPECT_EQ(c->points[i].z, kP.z);
  }
  EXPECT_NEAR(c->points[1].y - kP.y, 2 * std::sin(0.5), 1e-12);
  EXPECT_EQ(c->kindData.turn, 1);
  mp.stepAngle = 0.0001;
  EXPECT_FALSE(MacroPtr(macroBuildCircle(kP, &mp)));
  mp.stepAngle = 0;
  EXPECT_FALSE(MacroPtr(macroBuildCircle(kP, &mp)));
}

}  // namespace
