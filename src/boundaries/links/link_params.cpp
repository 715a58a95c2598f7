#include "boundaries/links/link_params.h"

#include <cstring>

namespace {

struct MacroSettings {
  char approachFile[kMacroFileNameMax + 1];
  char retractFile[kMacroFileNameMax + 1];
  int rampOnPath;
  double rampLength;
  int normalMode;
  int normalPendingOn;
  int normalPendingOff;
  int macroReverse;
  int stepMode;
  double pendingShift;
};

MacroSettings gMacro{};

void copyName(char* out, const char* name) {
  if (name == nullptr) name = "";
  std::strncpy(out, name, kMacroFileNameMax);
  out[kMacroFileNameMax] = '\0';
}

}  // namespace

LinkParams linkParamsDefaults() {
  LinkParams p{};
  p.macro.stepAngle = 0.1;
  p.macro.approachRadius = 5.0;
  p.macro.retractRadius = 5.0;
  p.macro.approachAngle = 0.8;
  p.macro.retractAngle = 0.8;
  p.macro.plungeHeight = 3.0;
  p.macro.plungeDirection = -1;
  p.macro.plungeRadius = 5.0;
  p.macro.plungeMode = 2;
  p.maxLinkDistance = 100.0;
  p.safetyDistance = 5.0;
  p.safetyPlane = 100.0;
  p.stepMin = 0.005;
  p.stepMax = 10.0;
  p.climbMode = 1;
  p.feedJump = 1;
  p.pathLinkMode = 1;
  p.verticalStepCount = 1;
  p.checkMacroCollision = 1;
  p.checkHelixCollision = 1;
  p.cutHeight = 100000.0;
  return p;
}

LinkParams linkParams = linkParamsDefaults();

void macroSetApproachFileName(const char* name) { copyName(gMacro.approachFile, name); }
void macroSetRetractFileName(const char* name) { copyName(gMacro.retractFile, name); }
const char* macroApproachFileName() { return gMacro.approachFile; }
const char* macroRetractFileName() { return gMacro.retractFile; }
void macroSetRampOnPath(int on) { gMacro.rampOnPath = on; }
int macroRampOnPath() { return gMacro.rampOnPath; }
void macroSetRampLength(double length) { gMacro.rampLength = length; }
double macroRampLength() { return gMacro.rampLength; }

void macroSetNormalMode(int on) {
  if (gMacro.normalMode != 0 && on == 0) gMacro.normalPendingOn = 1;
  if (gMacro.normalMode == 0 && on != 0) gMacro.normalPendingOff = 1;
  gMacro.normalMode = on;
}

int macroNormalMode() { return gMacro.normalMode; }
int macroNormalPendingOn() { return gMacro.normalPendingOn; }
int macroNormalPendingOff() { return gMacro.normalPendingOff; }
void linkSetMacroReverse(int on) { gMacro.macroReverse = on; }
int linkMacroReverse() { return gMacro.macroReverse; }
void linkSetStepMode(int mode) { gMacro.stepMode = mode; }
int linkStepMode() { return gMacro.stepMode; }
void macroSetPendingShift(double length) { gMacro.pendingShift = length; }
double macroPendingShift() { return gMacro.pendingShift; }

void linkParamsReset() {
  linkParams = linkParamsDefaults();
  gMacro = MacroSettings{};
}
