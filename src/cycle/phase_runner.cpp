#include "cycle/phase_runner.h"

#include "cycle/cycle_setup.h"
#include "cycle/settings_loader.h"
#include "output/adapter/output_adapter.h"
#include "output/kfy/kfy_writer.h"
#include "output/output_channels.h"
#include "output/output_record.h"
#include "output/pof/pof_writer.h"

namespace {

CycleDescriptor* gOutermostRun = nullptr;

// The POF writers keep their own copy of the outermost run (a nested run
// does not use up the outer run's move numbers); they learn of it here.
void setOutermostRun(CycleDescriptor* ctx) {
  gOutermostRun = ctx;
  pofSetOutermostRun(ctx);
}

// An outermost run starts with the output adapter and the kFY writers as at
// load: no held point, feed, move count, context flag, open file or bypass
// line of an earlier run carries over.
// A run nested inside another one shares the enclosing run's adapter.
void startOutermostRun(CycleDescriptor* ctx) {
  outAdapterResetRun();
  kfyWritersReset();
  setOutermostRun(ctx);
}

struct OptionStep {
  uint16_t flag;
  int slot;
};

// Option slots in the order they answer, each with the flag that asks for it.
constexpr OptionStep kOptionSteps[] = {
    {kModeV, kSlotOptionV}, {kModeQuery, kSlotOptionQuery}, {kModeP, kSlotOptionP},
    {kModeA, kSlotOptionA}, {kModeY, kSlotOptionY},         {kModeD, kSlotOptionD},
};

// A failed option slot's run code is its slot number plus this.
constexpr int kOptionCodeBase = 7;

int runOptions(CycleDescriptor* ctx) {
  for (const OptionStep& step : kOptionSteps) {
    if ((ctx->modeFlags & step.flag) == 0) continue;
    if (cycCallSlot(ctx, step.slot) == 0) return step.slot + kOptionCodeBase;
  }
  return kRunOk;
}

// A run that failed must not read as "done": when the status word is still
// 0 at a failing run code, it becomes 1.  A status the cycle chose itself
// (cancelled, failed) is kept.
void markFailure(CycleDescriptor* ctx, int code) {
  if (code == kRunOk) return;
  int32_t expected = 0;
  ctx->statusOut.compare_exchange_strong(expected, 1);
}

int runPhases(CycleDescriptor* ctx) {
  cycInit(ctx);  // its result is not a failure of the run
  if (cycReadParams(ctx) == 0) return kRunReadParams;
  if (cycPrepare(ctx) == 0) return kRunPrepare;
  if (cycExecute(ctx) == 0) return kRunExecute;
  if (cycPostExecute(ctx) == 0) return kRunPostExecute;
  return kRunOk;
}

}  // namespace

int cycOnOptionV(CycleDescriptor* ctx) { return cycCallSlot(ctx, kSlotOptionV); }
int cycOnOptionQuery(CycleDescriptor* ctx) { return cycCallSlot(ctx, kSlotOptionQuery); }
int cycOnOptionP(CycleDescriptor* ctx) { return cycCallSlot(ctx, kSlotOptionP); }
int cycOnOptionA(CycleDescriptor* ctx) { return cycCallSlot(ctx, kSlotOptionA); }
int cycOnOptionY(CycleDescriptor* ctx) { return cycCallSlot(ctx, kSlotOptionY); }
int cycOnOptionD(CycleDescriptor* ctx) { return cycCallSlot(ctx, kSlotOptionD); }

int cycInit(CycleDescriptor* ctx) {
  cycRaiseEvent(ctx, kEventInitBegin);
  if (gOutermostRun == nullptr) startOutermostRun(ctx);
  const CycleSlot fn = ctx->slots[kSlotInit];
  const int result = fn != nullptr ? fn(ctx) : 0;
  cycEchoSettings(ctx);
  cycRaiseEvent(ctx, kEventInitEnd);
  return result;
}

int cycReadParams(CycleDescriptor* ctx) {
  return cycCallSlot(ctx, ctx->cfgMode == 1 ? kSlotReadCfgParams : kSlotReadPcfParams);
}

int cycPrepare(CycleDescriptor* ctx) { return cycCallSlot(ctx, kSlotPrepare); }
int cycExecute(CycleDescriptor* ctx) { return cycCallSlot(ctx, kSlotExecute); }
int cycPostExecute(CycleDescriptor* ctx) { return cycCallSlot(ctx, kSlotPostExecute); }
int cycClose(CycleDescriptor* ctx) { return cycCallSlot(ctx, kSlotClose); }

int cycRun(CycleDescriptor* ctx) {
  if (ctx == nullptr) return kRunOk;
  int code = kRunOk;
  // A run reports its own outcome: the status of an earlier run (a stop,
  // a failure) must not be read as this run's.  A step that fails without
  // a word of its own then turns the 0 into 1 (markFailure).
  ctx->statusOut.store(0);
  if ((ctx->modeFlags & kModeOptionMask) != 0) {
    code = runOptions(ctx);
  } else {
    code = runPhases(ctx);
    // Marked before close, so that the cycle end record reports it.
    markFailure(ctx, code);
    const int closed = cycClose(ctx);
    if (closed == 0 && code == kRunOk) code = kRunClose;
  }
  markFailure(ctx, code);
  if (gOutermostRun == ctx) setOutermostRun(nullptr);
  cycCleanup(ctx);
  return code;
}

int cycSendStatusRecord(CycleDescriptor* ctx, int code, const char* name, const char* value) {
  OutputRecord record;
  outRecClear(&record, code);
  outRecSetText(&record, kRecName, name);
  outRecSetText(&record, kRecValue, value);
  return outSendRecord(ctx, kChanStatus, &record);
}

int cycBaseClose(CycleDescriptor* ctx) {
  cycSendStatusRecord(ctx, kRecCycleEnd, "cycleEnd", ctx->title);
  outFreeChannels(ctx);
  return 1;
}

void cycAbandonRun(CycleDescriptor* ctx, bool outermost) {
  if (ctx == nullptr) return;
  outFreeChannels(ctx);
  if (gOutermostRun == ctx) setOutermostRun(nullptr);
  cycCleanup(ctx);
  // Only the writers' state of this run can be open when nothing encloses
  // it; inside another run the enclosing levels must stay.
  if (outermost) {
    pofResetLevels();
    kfyWritersReset();
  }
}

CycleDescriptor* cycGetOutermostRun() { return gOutermostRun; }
