// The profile finishing cycle's descriptor ("qzProf"), the library's default
// context, built on the 3D Common Cycle.
//
// The execute slot runs the job and reports the outcome through the status
// word.  All slots run on the cycle thread.
#pragma once

#include "cycle/cycle_descriptor.h"

extern CycleDescriptor profCycleDescriptor;

// Cycle numbers: the profile cycle's own, and those a job with cross
// optimisation or slope mode reports in its header.
inline constexpr int32_t kProfCycleNumber = 1001;
inline constexpr int32_t kProfCycleNumberCross = 1008;
inline constexpr int32_t kProfCycleNumberSlope = 1006;

// The default context handed to the host: &profCycleDescriptor.
CycleDescriptor* cycGetProfileCycle();

// Slot 10: the parent's slot 10 (the 3D Common Cycle's parameters) on the
// same context, then the profile cycle's own keys; 0 when the parent fails.
int profReadParams(CycleDescriptor* ctx);
// Slot 11 (cfg mode): returns 1.
int profReadJobLines(CycleDescriptor* ctx);
// Slot 12: the retract plane is the clearance plane when the settings name
// none or one at or above it; the cycle number follows the job (cross
// optimisation 1008, slope mode 1006, else 1001).  Returns 1.
int profSetRetractPlane(CycleDescriptor* ctx);
// Puts the process-wide state that a run relies on back to its start values
// (message level 3, 6 decimals, the initial working frame, the default
// contact settings, no holder collision, the load values of the link
// parameters, no last move), so that a run never inherits what
// an earlier run of the process set.  Cycle thread, outside parallel regions.
void profResetRunState();
// Slot 13: makes ctx the output cycle, installs profBreakHook, resets the
// run state (profResetRunState), takes a PCF job's parameters into the job
// record, runs the job, stores its outcome with cycSetSignalOut (100
// cancelled, 1 failed, 0 done) and removes the run's temporary files.  Returns 1 in every
// case: the host learns the outcome from the status word.
int profExecute(CycleDescriptor* ctx);
// Slot 14: a rapid move up to the clearance plane when it lies above the
// retract plane.  Returns 1.
int profFinalRetract(CycleDescriptor* ctx);

// The break hook of the profile cycle: 1 when the profile descriptor's
// signal word is 100, 2 when it is 104, else 0.  Any thread.
int profBreakHook();
