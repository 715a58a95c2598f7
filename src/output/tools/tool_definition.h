// Tool definition output: at the cycle begin record the post-processor
// learns which tool, holder and head the path is for.  The definition goes
// out as kFY-like text lines and variables on channel 11, the tool change,
// reference and coolant as arguments on channel 10, the tool system as
// channel-0 values, the tool comment on channel 2.  The data come from the
// ".CFG" keyword lines in cfg mode, otherwise from the PCF parameters; both
// give the same structure.  The tool, extrusion, holder and head contours
// come from the kFY file named by "*TOOL_CONTOUR" / "toolContour".
//
// Thread-safety: cycle thread, inside the dispatch of the cycle begin
// record.
#pragma once

#include <cstdio>

#include "base/cycle_context.h"

// Gives ctx a fresh tool record (an earlier one is released) and, when the
// run's toolOutput is 1 and stream is not null, writes the definition:
// toolWriteFromCfg in cfg mode, else toolWriteFromPcf.  Null ctx: nothing.
void toolWriteDefinition(std::FILE* stream, CycleDescriptor* ctx);
// Releases a tool record made by toolWriteDefinition (null is ignored).
void toolRecordRelease(ToolRecord* record);

// The definition from the cfg lines / the parameters of ctx.  The contours
// are read into ctx's tool record, which must exist.
void toolWriteFromCfg(CycleDescriptor* ctx);
void toolWriteFromPcf(CycleDescriptor* ctx);

// Installs toolWriteDefinition and toolRecordRelease as the POF status
// writer's tool definition output.
void toolInstallDefinitionOutput();

// Comments are cut to this many characters before they are escaped.
constexpr int kToolCommentMax = 230;
// Longest escaped comment inside a cmnt attribute.
constexpr int kToolCmntMax = 246;
