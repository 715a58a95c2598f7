#include "boundaries/links/link_params.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LinkParamsTest, LoadValues) {
  const LinkParams p = linkParamsDefaults();
  EXPECT_EQ(p.macro.approachKind, 0);
  EXPECT_EQ(p.macro.stepAngle, 0.1);
  EXPECT_EQ(p.macro.approachRadius, 5.0);
  EXPECT_EQ(p.macro.retractAngle, 0.8);
  EXPECT_EQ(p.macro.plungeHeight, 3.0);
  EXPECT_EQ(p.macro.plungeDirection, -1);
  EXPECT_EQ(p.macro.plungeMode, 2);
  EXPECT_EQ(p.maxLinkDistance, 100.0);
  EXPECT_EQ(p.safetyDistance, 5.0);
  EXPECT_EQ(p.stepMin, 0.005);
  EXPECT_EQ(p.stepMax, 10.0);
  EXPECT_EQ(p.pathLinkMode, 1);
  EXPECT_EQ(p.verticalStepCount, 1);
  EXPECT_EQ(p.checkMacroCollision, 1);
  EXPECT_EQ(p.checkHelixCollision, 1);
  EXPECT_EQ(p.cutHeight, 100000.0);
  EXPECT_EQ(p.holderCollisionData, nullptr);
}

TEST(LinkParamsTest, NormalModeSwitchesSetTheirPendingFlags) {
  linkParamsReset();
  macroSetNormalMode(1);
  EXPECT_EQ(macroNormalPendingOff(), 1);
  EXPECT_EQ(macroNormalPendingOn(), 0);
  macroSetNormalMode(0);
  EXPECT_EQ(macroNormalPendingOn(), 1);
  EXPECT_EQ(macroNormalMode(), 0);
  linkParamsReset();
}

TEST(LinkParamsTest, ResetForgetsWhatTheLastRunSet) {
  linkParams.macro.approachKind = 9;
  linkParams.safetyPlane = 7;
  macroSetApproachFileName("approach.mac");
  macroSetRampOnPath(1);
  linkSetMacroReverse(1);
  linkParamsReset();
  EXPECT_EQ(linkParams.macro.approachKind, 0);
  EXPECT_EQ(linkParams.safetyPlane, 100.0);
  EXPECT_STREQ(macroApproachFileName(), "");
  EXPECT_EQ(macroRampOnPath(), 0);
  EXPECT_EQ(linkMacroReverse(), 0);
}

TEST(LinkParamsTest, LongFileNamesAreCut) {
  const std::string name(5000, 'm');
  macroSetRetractFileName(name.c_str());
  EXPECT_EQ(std::string(macroRetractFileName()).size(), static_cast<size_t>(kMacroFileNameMax));
  macroSetRetractFileName(nullptr);
  EXPECT_STREQ(macroRetractFileName(), "");
}

}  // namespace
