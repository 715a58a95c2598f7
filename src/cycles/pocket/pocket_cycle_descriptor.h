// The 2D contour-parallel pocket cycle's descriptor ("qzCCP"), run by the
// profile cycle inside its own run.  Built directly on the kernel.
//
// The pocket computation is not in place yet: the init slot registers the
// output channels and sends the cycle begin record, the end slot sends the
// cycle end record and frees the channels, and the other own slots succeed
// without effect.  All slots run on the cycle thread.
#pragma once

#include "cycle/cycle_descriptor.h"

extern CycleDescriptor pktCycleDescriptor;

// Slot 1: registers channels 0, 1, 2, 10, 11, 12 and 31 with their POF
// writers and sends 103 "cycle" with the title.  Returns 1.
int pktInitOutput(CycleDescriptor* ctx);
// Slots 10 to 14: return 1.
int pktReadParams(CycleDescriptor* ctx);
int pktReadJobLines(CycleDescriptor* ctx);
int pktPrepareKernel(CycleDescriptor* ctx);
int pktRunLevels(CycleDescriptor* ctx);
int pktPostCleanup(CycleDescriptor* ctx);
// Slot 15: sends 104 "cycleEnd" with the title and frees the channel
// registry.  Returns 1.
int pktEnd(CycleDescriptor* ctx);
