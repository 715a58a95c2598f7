#include "cycles/pocket/pocket_cycle_descriptor.h"

#include "cycle/phase_runner.h"
#include "output/output_channels.h"
#include "output/output_record.h"
#include "output/pof/pof_writer.h"

// Constant-initialised: ready before any code of the process runs.
constinit CycleDescriptor pktCycleDescriptor = {
    .parent = &kernelCycleDescriptor,
    .cycleNumber = 1100,
    .versionMajor = 6,
    .versionMinor = 0,
    .versionYear = 2001,
    .versionMonth = 6,
    .versionDay = 8,
    .title = "Talvora 2D Contour Parallel Pocket Cycle",
    .id = "qzCCP",
    .slots =
        {
            cycNoOpZero,        // 0 positional arguments
            pktInitOutput,      // 1 init
            nullptr,            // 2 inherited
            nullptr,            // 3 inherited
            nullptr,            // 4 inherited
            nullptr,            // 5 inherited
            cycHelpParameters,  // 6 -P
            cycHelpAlgorithm,   // 7 -A
            cycHelpLayers,      // 8 -Y
            cycNoOpOne,         // 9 -D
            pktReadParams,      // 10 read parameters, PCF mode
            pktReadJobLines,    // 11 read parameters, cfg mode
            pktPrepareKernel,   // 12 prepare
            pktRunLevels,       // 13 execute
            pktPostCleanup,     // 14 post-process
            pktEnd,             // 15 close
        },
};

int pktInitOutput(CycleDescriptor* ctx) {
  struct Channel {
    uint16_t channel;
    OutWriterFn pof;
  };
  constexpr Channel kChannels[] = {
      {kChanStatus, pofWriteStatus},       {kChanSettings, pofWriteSettingLine},
      {kChanComments, pofWriteComment},    {kChanArguments, pofWriteArg},
      {kChanVariables, pofWriteVariable},  {kChanMarkers, pofWriteMarker},
      {kChanContour, pofWriteContourCh31},
  };
  for (const Channel& c : kChannels) outRegisterChannel(ctx, c.channel, c.pof, nullptr, 1);
  cycSendStatusRecord(ctx, kRecCycleBegin, "cycle", ctx->title);
  return 1;
}

int pktReadParams(CycleDescriptor*) { return 1; }
int pktReadJobLines(CycleDescriptor*) { return 1; }
int pktPrepareKernel(CycleDescriptor*) { return 1; }
int pktRunLevels(CycleDescriptor*) { return 1; }
int pktPostCleanup(CycleDescriptor*) { return 1; }

int pktEnd(CycleDescriptor* ctx) { return cycBaseClose(ctx); }
