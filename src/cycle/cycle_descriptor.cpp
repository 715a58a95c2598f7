#include "cycle/cycle_descriptor.h"

#include "cycle/language_texts.h"
#include "cycle/phase_runner.h"
#include "cycle/settings_loader.h"

namespace {

// Begin events of slots 0-15 (end = begin + 8).  Slots 2 and 3 share the
// settings events; 10 and 11 share the read-parameters events.
constexpr int kSlotBeginEvents[kSlotCount] = {
    kEventOnArgsBegin,  kEventInitBegin,        kEventLoadSettingsBegin, kEventLoadSettingsBegin,
    kEventOptionVBegin, kEventOptionQueryBegin, kEventOptionPBegin,      kEventOptionABegin,
    kEventOptionYBegin, kEventOptionDBegin,     kEventReadParamsBegin,   kEventReadParamsBegin,
    kEventPrepareBegin, kEventExecuteBegin,     kEventPostExecuteBegin,  kEventCloseBegin,
};

constexpr int kEventEndOffset = 8;

}  // namespace

// Constant-initialised: ready before any code of the process runs.
constinit CycleDescriptor kernelCycleDescriptor = {
    .inherited = 1,
    .cycleNumber = 1,
    .versionMajor = 5,
    .versionMinor = 0,
    .versionYear = 1999,
    .versionMonth = 3,
    .versionDay = 25,
    .title = "Zyklenkern",
    .slots =
        {
            cycNoOpOne,         // 0 positional arguments
            cycNoOpOne,         // 1 init
            cycLoadPcf,         // 2 PCF settings
            cycLoadCfg,         // 3 ".CFG" settings
            cycNoOpOne,         // 4 -V
            cycNoOpOne,         // 5 -?
            cycHelpParameters,  // 6 -P
            cycHelpAlgorithm,   // 7 -A
            cycHelpLayers,      // 8 -Y
            cycNoOpOne,         // 9 -D
            cycNoOpOne,         // 10 read parameters, PCF mode
            cycNoOpOne,         // 11 read parameters, cfg mode
            cycNoOpOne,         // 12 prepare
            cycNoOpOne,         // 13 execute
            cycNoOpOne,         // 14 post-process
            cycBaseClose,       // 15 close
        },
};

void cycNoOp() {}

int cycNoOpOne(CycleDescriptor*) { return 1; }

int cycNoOpZero(CycleDescriptor*) { return 0; }

int cycHelpParameters(CycleDescriptor* ctx) { return langHelpText(ctx, "parameters"); }

int cycHelpAlgorithm(CycleDescriptor* ctx) { return langHelpText(ctx, "algorithm"); }

int cycHelpLayers(CycleDescriptor* ctx) { return langHelpText(ctx, "layers"); }

int cycSlotBeginEvent(int slot) {
  return (slot >= 0 && slot < kSlotCount) ? kSlotBeginEvents[slot] : 0;
}

int cycCallSlot(CycleDescriptor* ctx, int slot) {
  const int begin = cycSlotBeginEvent(slot);
  cycRaiseEvent(ctx, begin);
  const CycleSlot fn = ctx->slots[slot];
  const int result = fn != nullptr ? fn(ctx) : 0;
  cycRaiseEvent(ctx, begin + kEventEndOffset);
  return result;
}

int cycSetSignalOut(CycleDescriptor* ctx, int result) {
  const int status = result == -2 ? 100 : (result < 0 ? 1 : 0);
  if (ctx != nullptr) ctx->statusOut.store(status);
  return status;
}
