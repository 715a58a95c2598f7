// POF status writer (channel 0): cycle levels, per-level POF streams, the
// cycle header written at the begin record and the closing lines written at
// the abort or end record.

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/version_text.h"
#include "output/output_channels.h"
#include "output/output_emitters.h"
#include "output/output_record.h"
#include "output/pof/pof_internal.h"
#include "output/pof/pof_writer.h"

namespace {

// Room for the outer level and one nested level.
constexpr int kPofLevelSlots = 2;

// Channel-0 record that lists the cycle's output channels.
constexpr int kPofLayersCode = 110;

constexpr long kMsPerSecond = 1000;
constexpr long kSecondsPerMinute = 60;
constexpr long kMinutesPerHour = 60;

// One open cycle level: who opened it, the file it writes to and the stream
// to return to when it ends.
struct PofFrame {
  const CycleDescriptor* owner;
  std::FILE* file;         // opened for this level; closed at the owner's end record
  std::FILE* savedStream;  // the stream before the begin record
  bool streamChanged;      // the begin record chose a stream (pofFilename was set)
  bool levelClosed;        // the closing lines were written and the level lowered
  bool fileFailed;         // pofFilename could not be opened for writing
  timespec start;          // run clock
};

PofLevelState pofFreshLevel() { return PofLevelState{0, 0, 0, kPofTarget3D, kPofFpNotYet, 0}; }

struct PofStatusState {
  int level = -1;
  PofLevelState levels[kPofLevelSlots] = {pofFreshLevel(), pofFreshLevel()};
  std::vector<PofFrame> frames;
  PofToolDefinitionWriter toolWrite = nullptr;
  PofToolRecordRelease toolRelease = nullptr;
  bool elapsedFixed = false;
  long elapsedMs = 0;
};

PofStatusState& pofState() {
  static PofStatusState state;
  return state;
}

timespec pofNow() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t;
}

void pofSendStatusValue(CycleDescriptor* ctx, const char* name, const std::string& value) {
  OutputRecord r;
  outRecClear(&r, kRecStatusValue);
  outRecSetText(&r, kRecName, name);
  outRecSetText(&r, kRecValue, value.c_str());
  outSendRecord(ctx, kChanStatus, &r);
}

// Ends the innermost frame: closes the file it opened and gives the stream
// back to the enclosing level.  Lowers the level when its closing lines were
// never written (a nested run that stopped without its end record).  Only
// the innermost frame may end, because the frames inside a level write to
// that level's file or took their saved stream from it.
void pofFinishInnermostFrame() {
  PofStatusState& s = pofState();
  if (s.frames.empty()) return;
  const PofFrame f = s.frames.back();
  s.frames.pop_back();
  if (!f.levelClosed && s.level >= 0) --s.level;
  if (f.file != nullptr) {
    std::fflush(f.file);
    std::fclose(f.file);
  }
  if (f.streamChanged) pofSetStream(f.savedStream);
}

// Ends frame i and every frame inside it.
void pofFinishFramesFrom(std::size_t i) {
  PofStatusState& s = pofState();
  while (s.frames.size() > i) pofFinishInnermostFrame();
}

// Index of the innermost frame opened by ctx, or -1.
int pofFindFrame(const CycleDescriptor* ctx) {
  const PofStatusState& s = pofState();
  for (int i = static_cast<int>(s.frames.size()) - 1; i >= 0; --i) {
    if (s.frames[static_cast<std::size_t>(i)].owner == ctx) return i;
  }
  return -1;
}

void pofReleaseToolRecord(CycleDescriptor* ctx) {
  ToolRecord* rec = ctx->toolRecord;
  ctx->toolRecord = nullptr;  // before the release, so it can never run twice
  if (rec != nullptr && pofState().toolRelease != nullptr) pofState().toolRelease(rec);
}

int pofReadWriteAlias(const CycleDescriptor* ctx) {
  if (ctx->cfgMode == 1) {
    const char* v = pofCfgValue(ctx, "*WRITE_ALIAS");
    return v != nullptr && std::strcmp(v, "1") == 0 ? 1 : 0;
  }
  return pofParam(ctx, "writeAlias") == "true" ? 1 : 0;
}

// Cycle begin record, before its line.
void pofBeginLevel(CycleDescriptor* ctx) {
  PofStatusState& s = pofState();
  // An innermost level of this context that was closed but never saw its
  // end record belongs to an earlier run: finish it now.
  while (!s.frames.empty() && s.frames.back().owner == ctx && s.frames.back().levelClosed) {
    pofFinishInnermostFrame();
  }
  ++s.level;
  *pofCurrentLevel() = pofFreshLevel();

  PofFrame f{ctx, nullptr, pofStream(), false, false, false, pofNow()};
  std::string name = pofParam(ctx, "pofFilename");
  if (!name.empty()) {
    std::replace(name.begin(), name.end(), '\\', '/');
    f.streamChanged = true;
    // Lines buffered for the enclosing level go out first, so that two
    // levels appending to one file keep their order.
    std::fflush(f.savedStream);
    f.file = std::fopen(name.c_str(), "a");
    if (f.file == nullptr) {
      // The run fails rather than write its paths where nobody looks for
      // them: the level's lines go to an unnamed scratch file that vanishes
      // when it is closed.
      f.fileFailed = true;
      f.file = std::tmpfile();
    }
    if (pofSetStream(f.file) == 0 && f.file != nullptr) {
      // Not a regular file: the stream fell back to standard output.
      std::fclose(f.file);
      f.file = nullptr;
    }
  }
  s.frames.push_back(f);
  // Told once the scratch file is the stream, so that nothing reaches
  // standard output.  Sent on this cycle itself: the begin record may come
  // before the cycle became the output cycle of the numbered messages.
  if (f.fileFailed) {
    // "* Fehler: POF-Datei %s kann nicht geschrieben werden"
    std::string text = std::to_string(kPofMsgNotWritable) + "," + name;
    if (text.size() > static_cast<std::size_t>(kMsgMaxText)) text.resize(kMsgMaxText - 1);
    outSendError(ctx, text.c_str());
  }

  outSendArg(ctx, "tech", "milling");
  outSendArg(ctx, "tr", "tech");
  if (ctx->toolOutput == 1) {
    pofWriteLiteralBlock(ctx, "BTC");
    if (s.toolWrite != nullptr) s.toolWrite(pofStream(), ctx);
    pofWriteLiteralBlock(ctx, "ATC");
  }
  pofCurrentLevel()->writeAlias = pofReadWriteAlias(ctx);
}

// Cycle begin record, after its line.
void pofWriteCycleHeader(CycleDescriptor* ctx) {
  pofSendStatusValue(ctx, "release",
                     std::to_string(static_cast<long>(ctx->cycleNumber)) + "-" + cycVersionText());
  pofSendStatusValue(ctx, "technology", "milling");
  char uuid[kPofUuidSize];
  pofSendStatusValue(ctx, "ucid", pofRunUuid(uuid, sizeof(uuid)));
  if (const char* v = pofCfgValue(ctx, "*JOBNAME")) {
    pofSendStatusValue(ctx, "jobname", v);
  } else if (pofHasParam(ctx, "jobName")) {
    pofSendStatusValue(ctx, "jobname", pofParam(ctx, "jobName"));
  }
  if (const char* v = pofCfgValue(ctx, "*CYCLETYPE")) {
    pofSendStatusValue(ctx, "cycleCode", v);
  } else if (pofHasParam(ctx, "cycleType")) {
    pofSendStatusValue(ctx, "cycleCode", pofParam(ctx, "cycleType"));
  }
  char stamp[kPofTimeStampSize];
  pofPutLine(std::string("0: time(") + pofTimeStamp(stamp, sizeof(stamp)) + ")");
  int i = pofFindFrame(ctx);
  if (i >= 0) pofState().frames[static_cast<std::size_t>(i)].start = pofNow();

  if (pofHasParam(ctx, "frameComment")) {
    pofSendStatusValue(ctx, "frameComment", pofParam(ctx, "frameComment"));
  }
  std::string id = pofParam(ctx, "zeroPointID");
  pofSendStatusValue(ctx, "frameCs_id", id.empty() ? "0" : id);
  static const char kAxes[] = "xyzo";
  for (int col = 0; col < 4; ++col) {
    std::string name = std::string("frameCs_") + kAxes[col];
    std::string value = pofFixed8(ctx->frameCs.m[0][col]) + "," +
                        pofFixed8(ctx->frameCs.m[1][col]) + "," + pofFixed8(ctx->frameCs.m[2][col]);
    pofSendStatusValue(ctx, name.c_str(), value);
  }
  outSendArg(ctx, "tr", "frameCs");
  outSendArg(ctx, "workplane", "XY");
  outSendArg(ctx, "tr", "workplane");
  pofWriteUserParams(ctx);
}

std::string pofElapsedText(const timespec& start) {
  const PofStatusState& s = pofState();
  long ms = s.elapsedMs;
  if (!s.elapsedFixed) {
    timespec now = pofNow();
    ms = static_cast<long>(now.tv_sec - start.tv_sec) * kMsPerSecond +
         (now.tv_nsec - start.tv_nsec) / 1000000;
  }
  if (ms < 0) ms = 0;
  const long secTotal = ms / kMsPerSecond;
  char buf[64];
  std::snprintf(buf, sizeof(buf), "0: elapsed(%ld:%02ld:%02ld,%03ld)",
                secTotal / (kSecondsPerMinute * kMinutesPerHour),
                (secTotal / kSecondsPerMinute) % kMinutesPerHour, secTotal % kSecondsPerMinute,
                ms % kMsPerSecond);
  return buf;
}

// Abort or end record, before its line: the closing lines of the context's
// level, once.  Later closing records of the same run only write their own
// line (into the same file).
void pofCloseLevel(CycleDescriptor* ctx) {
  PofStatusState& s = pofState();
  int i = pofFindFrame(ctx);
  if (i < 0) return;
  // Levels opened inside this one that never ended are finished first.
  pofFinishFramesFrom(static_cast<std::size_t>(i) + 1);
  PofFrame& f = s.frames[static_cast<std::size_t>(i)];
  if (f.levelClosed) return;
  f.levelClosed = true;
  const timespec start = f.start;
  if (f.fileFailed) {
    int32_t done = 0;
    ctx->statusOut.compare_exchange_strong(done, 1);
  }

  char stamp[kPofTimeStampSize];
  pofPutLine(std::string("0: time(") + pofTimeStamp(stamp, sizeof(stamp)) + ")");
  pofPutLine(pofElapsedText(start));
  pofPutLine("0: sigstat(" + std::to_string(ctx->signalIn.load()) + "," +
             std::to_string(ctx->statusOut.load()) + ")");
  pofWriteLiteralBlock(ctx, "EOC");
  pofReleaseToolRecord(ctx);
  if (s.level >= 0) --s.level;
}

// End record, after its line: the level's file is closed and the enclosing
// level's stream restored.
void pofEndFrame(const CycleDescriptor* ctx) {
  int i = pofFindFrame(ctx);
  if (i < 0) return;
  pofFinishFramesFrom(static_cast<std::size_t>(i));
}

}  // namespace

PofLevelState* pofCurrentLevel() {
  PofStatusState& s = pofState();
  // Never index -1, never beyond the room of two levels.
  const int i = std::clamp(s.level, 0, kPofLevelSlots - 1);
  return &s.levels[i];
}

void pofPinElapsed(bool fixed, long elapsedMs) {
  pofState().elapsedFixed = fixed;
  pofState().elapsedMs = elapsedMs;
}

int pofWriteStatus(CycleDescriptor* ctx, OutputRecord* record) {
  if (ctx == nullptr || record == nullptr) return 1;
  const int code = record->code;
  // Copies: the header below sends further records before this one is done.
  const std::string n(pofRecText(record, kRecName));
  const std::string v(pofRecText(record, kRecValue));

  if (code == kRecCycleBegin) pofBeginLevel(ctx);
  if (code == kRecAbort || code == kRecCycleEnd) pofCloseLevel(ctx);
  if (code == kPofLayersCode && pofScanLayers(v.c_str()) == 1) pofCurrentLevel()->layerFlag = 1;

  pofPutLine("0: " + n + "(" + v + ")");

  if (code == kRecCycleBegin) pofWriteCycleHeader(ctx);
  if (code == kRecCycleEnd) {
    std::fflush(pofStream());
    pofEndFrame(ctx);
  }
  return code == kRecAbort ? 0 : 1;
}

void pofSetToolDefinitionOutput(PofToolDefinitionWriter write, PofToolRecordRelease release) {
  pofState().toolWrite = write;
  pofState().toolRelease = release;
}

int pofCycleLevel() { return pofState().level; }

void pofResetLevels() {
  PofStatusState& s = pofState();
  pofFinishFramesFrom(0);
  s.level = -1;
  for (PofLevelState& l : s.levels) l = pofFreshLevel();
  pofSetStream(stdout);
}
