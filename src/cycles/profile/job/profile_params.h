// The profile cycle's own PCF parameters and their copy, together with the
// 3D Common Cycle's parameters, into the job record.
//
// The parameters are process-wide: a key missing from the next run's
// settings keeps the value of the run before.  Cycle thread only.
#pragma once

#include <cstdint>

#include "base/cycle_context.h"

struct ProfParams {
  int32_t strategy = 2;     // standardX 2, standardY 1, equidistant 3, ...
  int32_t cuttingLine = 2;  // oneWay 1, else 2
  int32_t climbMode = 1;    // upWard 2, downWard 3, else 1
  int32_t feedJump = 1;     // true 1, else 2
  double profileMin = 0;
  double profileMax = 0;
  int32_t infeedStrategy = 1;  // constant 1, else 2
  double minScallopHeight = 0.1;
  double minInfeed = 0.05;
  int32_t originalPath = 0;
  int32_t crossOptimization = 0;  // true 1, before 2, only 3, else 0
  double boundaryReduction = 0.2;
  int32_t randomPoints = 0;
  double collisionHeight = 99999;
  int32_t limitToDepth = 0;
  double slopeFlatAngle = 0;  // degrees
  int32_t considerTaperAngle = 0;
  double taperAngle = 0;  // degrees
  double tipLength = 0;   // tipLength and taperHeight
};

extern ProfParams profParams;

// Reads the profile keys of ctx's parameter list into profParams, and the
// five keys that go straight into the job record (sortToolpath, clearAngle,
// macroAvoidance, stockHeight, stockSource).
void profReadOwnParams(CycleDescriptor* ctx);

// Copies the 3D Common Cycle's parameters of ctx and profParams into
// jobRecord (the job as read, in the job's units).
void profJobFromParams(CycleDescriptor* ctx);
