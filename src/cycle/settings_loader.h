// Loading of a run's settings (PCF files with the cycle's ".def" defaults, or
// a ".CFG" job file), the frame and tool coordinate systems read from them,
// and the echo of all settings as output records.
//
// All functions work on the cycle thread during setup and init.
#pragma once

#include "cycle/cycle_descriptor.h"

// Decides the mode from the settings file name (cfg mode when the name has
// at least 5 characters and ends in ".CFG", any case), raises events 121 and
// 129 around slot 3 (cfg mode) or slot 2 and returns that slot's result.
int cycLoadSettings(CycleDescriptor* ctx);

// Kernel slot 2: reads "<id>.def" (origin 13) and the settings file (origin
// 21, ".pcf" appended unless present; "| stdin" as it is) into ctx->params,
// then fills frameCs and toolCs.  Never fails: returns 1.
int cycLoadPcf(CycleDescriptor* ctx);

// Kernel slot 3: reads the ".CFG" file into ctx->cfgLines, maps "*APT",
// "*FRAME_ID" and "*FRAME_COMMENT" to parameters and fills frameCs from the
// "*NCKO_*" lines and toolCs from the "*WZKO_*" lines.  Returns 1.
int cycLoadCfg(CycleDescriptor* ctx);

// Applies the entries named key to column 0-2 of m as a unit axis: the value
// must give three finite numbers ("x,y,z") of length above 1e-8, else the
// entry changes nothing.  With firstOnly only the first entry of that name
// counts (the newest of a ParamList); otherwise every entry is applied in
// order, so the last one wins.  A null m or key, or a column outside 0-2,
// does nothing.
void cycReadAxis(CsMat* m, const ParamEntry* list, const char* key, int firstOnly, int column);
void cycReadAxis(CsMat* m, const CfgLine* list, const char* key, int firstOnly, int column);

// Like cycReadAxis without normalising, into column 3 (the origin).
void cycReadOrigin(CsMat* m, const ParamEntry* list, const char* key, int firstOnly);
void cycReadOrigin(CsMat* m, const CfgLine* list, const char* key, int firstOnly);

// Adds each of "toolCs_x", "toolCs_y", "toolCs_z", "toolCs_o" that is missing
// from ctx->params while its "frameCs_" counterpart exists, with that value
// and origin 31.
void cycDefaultToolCs(CycleDescriptor* ctx);

// Sends the settings of the run: channel 0 code 112 "cfgSource"; per
// parameter channel 1 code 202 "def" (origin 20 or less) or 201 "call" with
// "\"name\":=\"value\""; per cfg line channel 1 code 204 "cfg" with
// "keyword value".  Texts longer than a record field are cut to fit.
void cycEchoSettings(CycleDescriptor* ctx);
