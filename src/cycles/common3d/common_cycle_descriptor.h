// The 3D Common Cycle ("qzCyc3d"): the base of the 3D cycles.  Its
// descriptor sits between the kernel and the profile finishing cycle.
//
// The slots here are a stand-in until the cycle's parameters, geometry
// loading and checks are in place: init registers the output channels and
// writes the cycle begin and layer records, read-parameters and execute
// succeed without reading anything, and close ends the run like the
// kernel's close.  All run on the cycle thread.
#pragma once

#include "cycle/cycle_descriptor.h"

extern CycleDescriptor cyc3dCycleDescriptor;

// Slot 1: reads "NCOutp", "drillPointsOutp" and "originalOutp" (on only for
// "true"), registers the output channels with their POF and kFY writers
// (0, 1, 2, 3 with NC output, 4-6 by detail level, 10, 11, 12, 30 with drill
// points, 31, 32 with NC output, 33 with the original path, 35, 36, 41,
// 42), sets toolOutput in cfg mode, installs the tool definition output,
// and sends 103 "cycle" (the title) and 110 "layers".  Returns 1.
int cyc3dInit(CycleDescriptor* ctx);
// Slot 10: in kFY mode a "geoOut" that names one of the job's input files
// is refused: an abort record (102 "error") and 0.  Otherwise 1.
int cyc3dReadParams(CycleDescriptor* ctx);
// Slot 13: returns 1.
int cyc3dExecute(CycleDescriptor* ctx);
// Slot 15: channel-0 record 104 "cycleEnd" with the title, then the channel
// registry is freed.  Returns 1.
int cyc3dClose(CycleDescriptor* ctx);
