// POF-mode channel writers: turn output records into lines of POF text on the
// POF stream (standard output, or the file named by the parameter
// "pofFilename", opened for append).  Every line starts with the channel
// number, a colon and a blank and ends with a line feed.
//
// The writers keep process-wide bookkeeping:
//  - cycle levels: a cycle begin record (code 103) opens a level, the first
//    abort or end record (102, 104) of the same context closes it.  The
//    per-level output state (axes written, first-position bracket, alias
//    gate) has room for an outer level and one nested level; deeper levels
//    share the nested level's state.
//  - POF streams: each level that names "pofFilename" writes to its own
//    file; the file stays open until the context's end record (104), then
//    the stream of the enclosing level is restored.  A file that cannot be
//    opened for appending is never replaced by standard output: the level
//    writes into a scratch file that is dropped, message 339 (the file
//    name) is sent on the level's own cycle, and the run's status word becomes 1 at its end
//    record unless the cycle set another failure.
//  - the move counter numbers the move lines of the geometry channels; it is
//    never reset, so numbers continue across runs of one process.  Lines of
//    a run nested inside another one all carry the outer run's next number.
//
// Thread-safety: the writers run inside outSendRecord, which serialises
// every dispatch with the dispatcher mutex; call them only that way (or from
// the cycle thread while no dispatch runs).
#pragma once

#include <cstddef>
#include <cstdio>

#include "base/cycle_context.h"
#include "tessaro.h"

// Message of a POF file that cannot be opened for writing (an error, sent
// whatever the configured message level).
inline constexpr int kPofMsgNotWritable = 339;

// ---------------------------------------------------------------------------
// Channel writers.  Each takes the running context and the record and
// returns 1 (pofWriteStatus returns 0 for an abort record).  Codes a writer
// does not know write nothing.

// Channel 0: status records.  Every record writes "0: name(value)".
//  - 103 (cycle begin) opens a level and, when "pofFilename" is set, makes
//    that file (appended to, "\" read as "/") the stream of the level; it
//    writes the technology arguments, the tool definitions (toolOutput 1),
//    and after its line the cycle header (release, UUID, job, time, frame,
//    user parameters).
//  - 102 (abort) and 104 (cycle end) of a context with an open level write
//    the closing lines (time, elapsed, signal and status words, block "EOC"),
//    release the tool record and close the level, once: later closing
//    records of the same run write only their own line, into the same file.
//    The file is closed at the 104, and the stream of the enclosing level
//    (standard output at the outermost one) comes back.  A closing record of
//    a context without a level writes only its line.
//  - 110 (layers) sets the level's NC flag when the list names channel 32.
int pofWriteStatus(CycleDescriptor* ctx, OutputRecord* record);

// Channel 1 (201-204): "1: name(value)".
int pofWriteSettingLine(CycleDescriptor* ctx, OutputRecord* record);
// Channel 2 (1001): "2: " and the escaped comment, cut to 255 characters at
// an escape boundary.
int pofWriteComment(CycleDescriptor* ctx, OutputRecord* record);
// Channel 3: "3: ---" for any record.
int pofWriteNcMark(CycleDescriptor* ctx, OutputRecord* record);
// Channels 4, 5, 6: "4: ---", "5: ---", "6: ---" for any record.
int pofWriteDetailMark1(CycleDescriptor* ctx, OutputRecord* record);
int pofWriteDetailMark2(CycleDescriptor* ctx, OutputRecord* record);
int pofWriteDetailMark3(CycleDescriptor* ctx, OutputRecord* record);
// Channel 10 (301): "10: name(value)"; alias records only when the level
// writes aliases; after "T" the compensation register lines; "tr" "5X" (any
// case) restarts the first-position bracket for five axes.
int pofWriteArg(CycleDescriptor* ctx, OutputRecord* record);
// Channel 11: 3131 "11: vname(value)", 3199 "11: text".
int pofWriteVariable(CycleDescriptor* ctx, OutputRecord* record);
// Channel 12: part and context markers (5001-5004) and move-kind markers
// (5005).
int pofWriteMarker(CycleDescriptor* ctx, OutputRecord* record);
// Channel 30 (3104): "30: oP( x[..] y[..] z[..] u[d] )", with " s[size]"
// before " u[d]" when the size flag is 1.
int pofWriteDrillPoint(CycleDescriptor* ctx, OutputRecord* record);
// Geometry channels: contour brackets, numbered moves and arcs, variables,
// positions and raw text of channel `channel`, with the first-position
// bracket around the first complete position of a level.
int pofWriteContour(CycleDescriptor* ctx, unsigned channel, OutputRecord* record);
int pofWriteContourCh31(CycleDescriptor* ctx, OutputRecord* record);
int pofWriteContourCh33(CycleDescriptor* ctx, OutputRecord* record);
int pofWriteContourCh35(CycleDescriptor* ctx, OutputRecord* record);
int pofWriteContourCh36(CycleDescriptor* ctx, OutputRecord* record);
// Channel 32: G-code blocks, with the first-position bracket when the
// layer list names channel 32.
int pofWriteNcBlock(CycleDescriptor* ctx, OutputRecord* record);

// Channels without POF text (41, 42: display data for the host's listeners
// only): writes nothing and returns 1.  The writer-shaped form of
// cycNoOpOne, so that it can be registered without a function cast.
int pofWriteNothing(CycleDescriptor* ctx, OutputRecord* record);

// ---------------------------------------------------------------------------
// Helpers.

// Sends the literal block `block` ("BFP", "AFP", "BTC", "ATC", "EOC") as
// channel-10 arguments: "nctx" = block, one "Gcode" per literal index (cfg
// lines "*LITERAL_<k>", or parameters "literal_<k>", whose value starts with
// "<block>:"; the first entry of each index, in index order, with the rest
// of the value escaped and cut to the record field), then "nctx" = "0".
// Returns the number of "Gcode" records.
int pofWriteLiteralBlock(CycleDescriptor* ctx, const char* block);

// Writes "10: del(S:P%d[1;20;1])" and one "10: arg(S:P<k>:=\"value\")" per
// user parameter index k (1 to 20; parameters "P<k>", or cfg lines "*P<k>"
// in cfg mode; the first entry of an index with a non-empty value) straight
// to the POF stream.  Returns the number of "arg" lines.
int pofWriteUserParams(CycleDescriptor* ctx);

// Size of a buffer that holds any pofTimeStamp text.
constexpr std::size_t kPofTimeStampSize = 32;
// Size of a buffer that holds any pofRunUuid text.
constexpr std::size_t kPofUuidSize = 40;

// Writes the local time as "mm/dd/yy hh:mm:ss Www Mmm" (English weekday and
// month names, e.g. "12/10/26 13:04:33 Thu Dec") into buf of size bytes
// (always terminated when size > 0).  Returns buf.
char* pofTimeStamp(char* buf, std::size_t size);

// Writes a new random version-4 UUID, lowercase 8-4-4-4-12 hex, into buf of
// size bytes, or "null" when no random bytes could be obtained.  Returns
// buf.
char* pofRunUuid(char* buf, std::size_t size);

// Reads text as decimal numbers separated by any non-digits.  Returns 1 when
// one of them is 32 (the NC channel), else 0 (also for null).
int pofScanLayers(const char* text);

// ---------------------------------------------------------------------------
// Tool definitions.  The tool definition output registers itself here; the
// status writer calls `write` at a cycle begin record when the run's
// toolOutput is 1, and `release` once on the context's tool record when the
// level closes (the record is set to null after that).  Either may be null.
using PofToolDefinitionWriter = void (*)(std::FILE* stream, CycleDescriptor* ctx);
using PofToolRecordRelease = void (*)(ToolRecord* record);
void pofSetToolDefinitionOutput(PofToolDefinitionWriter write, PofToolRecordRelease release);

// ---------------------------------------------------------------------------
// Test support.  Golden tests pin the varying parts of the cycle header.

struct PofTestPins {
  const char* timeStamp;  // pofTimeStamp text; null: the local time
  const char* uuid;       // pofRunUuid text; null: a random UUID
  bool fixedElapsed;      // true: elapsed time is always elapsedMs
  long elapsedMs;
};

// Pins (copies of) the given texts, or unpins with null.  Cycle thread only.
void pofSetTestPins(const PofTestPins* pins);

// The move counter (the number of the last move line written), and a setter
// so that tests can start from a known number.
long pofMoveCounter();
void pofSetMoveCounter(long value);

// The outermost run that is running (null when none): the phase runner
// sets it when a run starts and clears it when that run ends.  A run nested
// inside it writes its moves without using up the outer run's numbers.
// Cycle thread only.
void pofSetOutermostRun(const CycleDescriptor* ctx);
const CycleDescriptor* pofOutermostRun();

// The current cycle level (-1 when none is open).
int pofCycleLevel();

// Closes every file the writers opened, restores standard output as the
// stream and forgets all levels (the move counter is kept).  For a run that
// never ended (cycAbandonRun) and for tests that must start clean.
void pofResetLevels();
