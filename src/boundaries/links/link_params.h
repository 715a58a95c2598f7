// The macro and link parameter block shared by the drivers, the link output,
// the macro builders and the holder checks, and the holder clearance record it
// carries.
//
// LinkParams is one process-wide block; the parallel driver hands every path
// line a private copy, which is why it holds the holder clearance by value.
// Lengths are in the job's internal units; angles in radians unless noted.
#pragma once

#include <cstdint>

struct HeightGrid;

// Settings of the approach and retract macros: the leading part of LinkParams
// and all that a macro operation receives.
struct MacroParams {
  int16_t approachKind;
  int16_t retractKind;
  int16_t returnFlag;          // 1 when the path returns to its start
  double stepAngle;            // chord angle of arc-shaped macros
  double arcEndAngle;          // how far short of a quarter turn arcs stop
  double approachRadius;       // arc radius or line length of the approach
  double retractRadius;        // the same for the retract
  double approachDistance;     // shift length of the approach (negative: none)
  double retractDistance;      // shift length of the retract
  double approachAngle;        // carried, read by no selected kind
  double retractAngle;         // carried, read by no selected kind
  double approachPlungeAngle;  // line inclination, turn angle or ramp angle
  double retractPlungeAngle;
  double plungeHeight;      // height of the helix and the ramps
  int32_t plungeDirection;  // 1 counter-clockwise seen from above
  double plungeRadius;      // helix radius
  int32_t plungeMode;       // carried, read by nothing
};

// Simplified, enlarged shape above the cutting edge: free tool length, holder
// nose and body, and the spindle head in two sections.  Heights are measured
// from the tool tip; taperAngle is in degrees as the tool gives it.
struct HolderClearance {
  int16_t toolType;
  double radius;
  double cornerRadius;
  double tipOffset;
  double freeLength;
  double cuttingLength;
  double shankDiameter;
  double shankLength;
  double taperAngle;
  double noseTop;
  double holderTop;
  double noseDiameter;
  double bodyDiameter;
  double headStepTop;
  double headDiameter1;
  double headTop;
  double headDiameter2;
  double clearanceAngle;
  uint8_t reserved[32];  // always zero
};

struct LinkParams {
  MacroParams macro;
  double maxLinkDistance;
  double safetyDistance;  // always positive
  double safetyPlane;
  double stepMin;  // smallest point distance of macro, link and holder-check reduction
  double stepMax;  // largest point distance of that reduction
  int16_t climbMode;
  int16_t feedJump;
  int16_t linkMode;
  int16_t pathLinkMode;
  int16_t infeedAlongPath;
  int32_t verticalStepCount;
  int16_t holderCheck;
  int16_t holderCheckMode;
  HolderClearance holderClearance;
  HeightGrid* holderCollisionData;  // the job's height grid, null when none was built
  int16_t checkMacroCollision;
  int16_t checkHelixCollision;
  double helixClearance;
  int16_t checkRampCollision;
  double linkHeightTolerance;
  int16_t cutAtHeight;
  double cutHeight;
  int16_t abortOnCollision;
  int16_t checkLinkStart;
  int16_t searchFreeLift;
  double macroLift;
  int16_t macroReverse;
  int16_t compensationOutput;
  int16_t markSpecialPoints;
  double trimLength;
  int16_t arcOutput;
  int16_t checkPlane;
};

// The process-wide block, filled by the profile cycle's validation from the
// job; it starts with the values of linkParamsDefaults().
extern LinkParams linkParams;

// The load-time values: both macro kinds 0, step angle 0.1, radii 5,
// approach and retract angles 0.8, plunge height 3, plunge direction -1,
// plunge radius 5, plunge mode 2; link distance 100, safety distance 5,
// safety plane 100, steps 0.005 and 10, climb mode 1, feed jump 1, path link
// mode 1, one vertical step, macro collision check and helix check on, cut
// height 100000; everything else 0 or null.
LinkParams linkParamsDefaults();

// Settings of the macros that live beside the block.  The file names are
// copied (cut to kMacroFileNameMax characters; null clears them).
constexpr int kMacroFileNameMax = 1024;
void macroSetApproachFileName(const char* name);
void macroSetRetractFileName(const char* name);
const char* macroApproachFileName();
const char* macroRetractFileName();
void macroSetRampOnPath(int on);
int macroRampOnPath();
void macroSetRampLength(double length);
double macroRampLength();
// Switching normal mode off after it was on sets pending-on; switching it
// on after it was off sets pending-off.
void macroSetNormalMode(int on);
int macroNormalMode();
int macroNormalPendingOn();
int macroNormalPendingOff();
void linkSetMacroReverse(int on);
int linkMacroReverse();
void linkSetStepMode(int mode);
int linkStepMode();
// The shift length handed from the macro dispatch to the helix and ramp
// builders.
void macroSetPendingShift(double length);
double macroPendingShift();

// Puts linkParams back to linkParamsDefaults() and every setting beside it
// to zero or empty, so that a run never inherits the previous run's macro
// kinds or file names.  (The holder-collided flag is the macro record's,
// macro_rec.h.)  Cycle thread.
void linkParamsReset();
