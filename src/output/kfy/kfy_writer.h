// kFY-mode channel writers: with the option -PCF a run writes its results
// into the kFY exchange file named by the parameter "geoOut" instead of POF
// text.  Contours and drill points become kFY elements; every other record
// becomes an oPOF element whose L field names the channel and carries the
// record's POF text.  The channel-0 lines of a run are also collected and,
// when the run aborts, written to the bypass file "qzByPass.pof" in the
// working directory.
//
// The file opens at the cycle begin record (103) and closes at the cycle
// end (104) or abort (102) record.  "geoOut" never replaces the job's own
// input: when it names the run's settings file or its source geometry
// ("sourceGeometry"), no file is made and an error record says so.
//
// Thread-safety: the writers run inside outSendRecord (dispatcher mutex).
#pragma once

#include "base/cycle_context.h"
#include "tessaro.h"

// Channel writers; each returns 1 and writes nothing while no file is open.
// Channel 0: status records (file, bypass lines).
int kfyWriteStatus(CycleDescriptor* ctx, OutputRecord* record);
// Channel 2 (1001): " oPOF( L2[<escaped text>] )".
int kfyWriteComment(CycleDescriptor* ctx, OutputRecord* record);
// Channel 10 (301): " oPOF( L10[ name(value) ] )".
int kfyWriteArg(CycleDescriptor* ctx, OutputRecord* record);
// Channel 11: 3131 " oPOF( L11[ vname(value) ] )", 3199 " oPOF( L11[ text ] )".
int kfyWriteVariable(CycleDescriptor* ctx, OutputRecord* record);
// Channel 30 (3104): "   oP( x[..] y[..] z[..] u[d] )" (" s[size]" before
// " u[d]" when the size flag is 1).
int kfyWriteDrillPoint(CycleDescriptor* ctx, OutputRecord* record);
// Channel 31: plain kFY contour elements (no move numbers, no channel).
int kfyWriteContour(CycleDescriptor* ctx, OutputRecord* record);
// Channel 32: NC blocks wrapped as " oPOF( L32[ ... ] )"; the one-axis
// blocks, the five-axis blocks and G100 are not written.
int kfyWriteNcBlock(CycleDescriptor* ctx, OutputRecord* record);

// 1 when the run is in kFY mode and "geoOut" names one of the job's input
// files (its settings file, "sourceGeometry" or "polySource"), else 0.
int kfyOutputIsJobInput(const CycleDescriptor* ctx);

// The bypass lines: append one, write them to "qzByPass.pof" (replacing an
// earlier file; no file when there are none) and close the kFY file, free
// them.
void pofBypassAdd(const char* line);
void pofBypassWrite();
void pofBypassFree();

// Closes an open kFY file and forgets the bypass lines: the state at load.
// The phase runner calls it at the start of every outermost run and for a
// run that never ended.
void kfyWritersReset();

// The bypass file's name.
inline constexpr char kPofBypassFile[] = "qzByPass.pof";
