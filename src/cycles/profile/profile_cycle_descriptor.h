// The profile finishing cycle's descriptor ("qzProf"), the library's default
// context, built on the 3D Common Cycle.
//
// The job computation itself is not in place yet: the execute slot prepares
// the run (output cycle, break hook) and reports the outcome through the
// status word; the other own slots succeed without effect.  All slots run
// on the cycle thread.
#pragma once

#include "cycle/cycle_descriptor.h"

extern CycleDescriptor profCycleDescriptor;

// The default context handed to the host: &profCycleDescriptor.
CycleDescriptor* cycGetProfileCycle();

// Slot 10: the parent's slot 10 (the 3D Common Cycle's parameters) on the
// same context; its result.
int profReadParams(CycleDescriptor* ctx);
// Slot 11 (cfg mode): returns 1.
int profReadJobLines(CycleDescriptor* ctx);
// Slot 12: returns 1.
int profSetRetractPlane(CycleDescriptor* ctx);
// Puts the process-wide state that a run relies on back to its start values
// (message level 3, 6 decimals, the initial working frame, the default
// contact settings, no holder collision, the load values of the link
// parameters, no last move), so that a run never inherits what
// an earlier run of the process set.  Cycle thread, outside parallel regions.
void profResetRunState();
// Slot 13: makes ctx the output cycle, installs profBreakHook, resets the
// run state (profResetRunState), runs the job and stores its outcome with
// cycSetSignalOut (100 cancelled, 1 failed, 0 done).  Returns 1 in every
// case: the host learns the outcome from the status word.
int profExecute(CycleDescriptor* ctx);
// Slot 14: returns 1.
int profFinalRetract(CycleDescriptor* ctx);

// The break hook of the profile cycle: 1 when the profile descriptor's
// signal word is 100, 2 when it is 104, else 0.  Any thread.
int profBreakHook();
