// The 3D Common Cycle ("qzCyc3d"): the base of the 3D cycles.  Its
// descriptor sits between the kernel and the profile finishing cycle.
//
// Its record (cycles/common3d/common3d_record.h) holds the parameters
// every 3D cycle shares; its slots register the output channels and write
// the cycle begin records, read those parameters, convert the kFY geometry,
// test the model file and close the cycle.  All run on the cycle thread.
#pragma once

#include <optional>
#include <string>

#include "cycle/cycle_descriptor.h"
#include "geometry/primitives/vec.h"

extern CycleDescriptor cyc3dCycleDescriptor;

// Slot 1: reads "NCOutp", "drillPointsOutp" and "originalOutp" (on only for
// "true") and "precision"; copies "geoSource" to "sourceGeometry" and, in
// kFY mode, takes it into the record and lets "geoSource" name "geoOut";
// registers the output channels with their POF and kFY writers (0, 1, 2, 3
// with NC output, 4-6 by detail level, 10, 11, 12, 30 with drill points,
// 31, 32 with NC output, 33 with the original path, 35, 36, 41, 42); sets
// toolOutput in cfg mode and installs the tool definition output; sends 103
// "cycle" (the title), 109 "msgFile" (the parameter named by
// "SystemLanguage", else "MessageFile", else the cycle's log file name) and
// 110 "layers"; then the parameter comments, the tool axis and, for a
// positive "ppJobID", the part begin.  Returns 1.
int cyc3dInit(CycleDescriptor* ctx);
// Slot 10: reads the record from the parameters.  The required keys
// "polySource" (unless the record has one) and "toolDiameter" each send an
// abort record 102 "error" = "1,(<key>)" when missing; in kFY mode a
// "geoOut" that names one of the job's input files is refused the same way.
// Then every further key, the frame text, the cfg temporary name, and the
// retract plane (the clearance plane when not given, never above it) with
// the clearance offset.  1, or 0 after any refusal.
int cyc3dReadParams(CycleDescriptor* ctx);

// The text of key name in ctx's parameter list, or none.
std::optional<std::string> cyc3dParam(const CycleDescriptor* ctx, const char* name);
// Slot 13: polyhedron frame and working frame from the record, geometry
// conversion when "geoSource" is set, the output cycle and NC format, the
// frame arguments, and a test read of the model file (message 332 and 0
// when it cannot be read); temporary files removed.  1 on success.
int cyc3dExecute(CycleDescriptor* ctx);
// Slot 15: temporary files removed, then channel-0 record 104 "cycleEnd"
// with the title and the channel registry freed.  Returns 1.
int cyc3dClose(CycleDescriptor* ctx);

// Removes the record's temporary files (when "removeTempFiles" is not
// "false") and "tmp.pcf", "tmp.pof", "tmp.dxf", "tmp.kfy" of the working
// directory.
void cyc3dRemoveTempFiles(CycleDescriptor* ctx);

// Cfg mode: the tool reference of "*TOOL_REFERENCE"; its "*TREF_<name>"
// line gives the tool reference shift (outSetToolRefShift) and sends error
// "771,<name>"; without that line error "770,<name>" and 0.  0 when no
// reference is named, else 1.
int cyc3dReadToolReference(CycleDescriptor* ctx);
// The name of the last tool reference read.
const std::string& cyc3dToolReferenceName();

// The polyhedron frame: axes x, y, z and origin; its inverse maps the 3DF
// readers' vertices (poly3dfSetPolyFrameInverse).  0, or -1 when singular
// (the earlier frame stays).
int cycSetPolyFrame(const Vec3d* origin, const Vec3d* x, const Vec3d* y, const Vec3d* z);
// Maps p in place with the inverse polyhedron frame.
void cycPointToPolyFrame(Vec3d* p);
