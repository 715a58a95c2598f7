#include "model/collision/holder_clearance.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/tolerances.h"

namespace {

// A tool type that the clearance takes like a ball.
constexpr int16_t kToolBallAlias = 12;

double clearanceMargin = 0.0;
int exactMargin = 0;
int fixedMargin = 0;
double fixedMarginValue = 0.0;

// The clearance offset o for margin m.
double clearanceOffset(double m, double extra) {
  double o = m + extra;
  if (exactMargin != 0) o = extra;
  if (fixedMargin != 0) o = 2.0 * fixedMarginValue;
  return o;
}

// Widens the clearance angle by the line from the cutter's edge (radius at
// height 0) to the corner (diameter / 2, height).
void widenAngle(HolderClearance* c, double diameter, double height) {
  c->clearanceAngle = std::max(c->clearanceAngle, std::atan2(diameter / 2.0 - c->radius, height));
}

}  // namespace

void holderClearanceInit(HolderClearance* c, const ToolShape* tool, double extra, double length1,
                         double length2, double totalLength, double diameter1, double diameter2) {
  double m = std::max(kHolderMarginRadiusShare * tool->radius, kHolderMarginBodyShare * diameter1);
  if (fixedMargin != 0) m = fixedMarginValue;
  clearanceMargin = m;
  const double o = clearanceOffset(m, extra);

  c->toolType = tool->type;
  c->radius = tool->radius;
  c->cornerRadius = tool->cornerRadius;
  c->tipOffset = tool->tipOffset;

  double tip = 0.0;
  if (tool->type == kToolBall || tool->type == kToolBallAlias) {
    tip = tool->radius;
  } else if (tool->type == kToolTorus) {
    tip = tool->cornerRadius;
  }
  c->freeLength = std::max(0.0, totalLength - tip - o);
  c->noseTop = c->freeLength + length2;
  c->holderTop = c->noseTop + length1;
  c->noseDiameter = diameter2 + 2.0 * o;
  c->bodyDiameter = diameter1 + 2.0 * o;
  c->headDiameter1 = c->bodyDiameter;
  c->headStepTop = 0.0;
  c->headTop = 0.0;
  c->headDiameter2 = 0.0;

  c->cuttingLength = c->freeLength;
  c->shankDiameter = 2.0 * c->radius;
  c->shankLength = 0.0;
  c->taperAngle = 0.0;
  c->clearanceAngle = 0.0;
  if (std::fabs(c->freeLength) >= kGeoEqualTol) {
    c->clearanceAngle = std::atan2(c->noseDiameter / 2.0 - c->radius, c->freeLength);
  }
  if (std::fabs(c->noseTop) >= kGeoEqualTol) widenAngle(c, c->bodyDiameter, c->noseTop);
  std::memset(c->reserved, 0, sizeof c->reserved);

  c->cuttingLength = std::min(tool->length, c->freeLength);
  c->shankDiameter =
      std::fabs(tool->shankDiameter) < kGeoEqualTol ? 2.0 * c->radius : tool->shankDiameter;
  c->shankLength = std::min(tool->taperLength, c->freeLength - c->cuttingLength);
  c->taperAngle = tool->taperAngle;
  if (std::fabs(c->shankDiameter - 2.0 * c->radius) >= kGeoEqualTol) {
    widenAngle(c, c->shankDiameter, c->shankLength + c->cuttingLength);
  }
}

void holderClearanceAddHead(HolderClearance* c, double extra, double diameter3, double length3,
                            double diameter4, double length4) {
  const double o = clearanceOffset(clearanceMargin, extra);
  bool wider = false;
  c->headDiameter1 = diameter3 + 2.0 * o;
  if (c->bodyDiameter + kGeoEqualTol > c->headDiameter1) {
    c->headDiameter1 = c->bodyDiameter;
  } else {
    wider = true;
  }
  c->headDiameter2 = diameter4 + 2.0 * o;
  if (c->headDiameter1 + kGeoEqualTol > c->headDiameter2) {
    c->headDiameter2 = c->headDiameter1;
  } else {
    wider = true;
  }
  c->headStepTop = c->holderTop + length3;
  c->headTop = c->headStepTop + length4;
  if (!wider) return;
  if (std::fabs(c->holderTop) >= kGeoEqualTol) widenAngle(c, c->headDiameter1, c->holderTop);
  if (std::fabs(c->headStepTop) >= kGeoEqualTol) widenAngle(c, c->headDiameter2, c->headStepTop);
}

void holderClearanceSetExact(int flag) { exactMargin = flag; }

void holderClearanceSetMargin(double margin) {
  fixedMargin = 1;
  fixedMarginValue = std::max(margin, kHolderMinFixedMargin);
}

double holderClearanceMargin() { return clearanceMargin; }

void holderClearanceReset() {
  clearanceMargin = 0.0;
  exactMargin = 0;
  fixedMargin = 0;
  fixedMarginValue = 0.0;
}
