#include "cycles/common3d/common_cycle_descriptor.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/memory.h"
#include "cycle/phase_runner.h"
#include "formats/settings/param_list.h"
#include "output/kfy/kfy_writer.h"
#include "output/output_channels.h"
#include "output/output_record.h"
#include "output/pof/pof_writer.h"
#include "output/tools/tool_definition.h"

// Constant-initialised: ready before any code of the process runs.
constinit CycleDescriptor cyc3dCycleDescriptor = {
    .parent = &kernelCycleDescriptor,
    .cycleNumber = 0,
    .versionMajor = 5,
    .versionMinor = 0,
    .versionYear = 2001,
    .versionMonth = 3,
    .versionDay = 28,
    .title = "Talvora 3D Common Cycle",
    .id = "qzCyc3d",
    .slots =
        {
            cycNoOpZero,        // 0 positional arguments
            cyc3dInit,          // 1 init
            nullptr,            // 2 inherited
            nullptr,            // 3 inherited
            nullptr,            // 4 inherited
            nullptr,            // 5 inherited
            cycHelpParameters,  // 6 -P
            cycHelpAlgorithm,   // 7 -A
            cycHelpLayers,      // 8 -Y
            cycNoOpOne,         // 9 -D
            cyc3dReadParams,    // 10 read parameters, PCF mode
            cycNoOpOne,         // 11 read parameters, cfg mode
            cycNoOpOne,         // 12 prepare
            cyc3dExecute,       // 13 execute
            cycNoOpOne,         // 14 post-process
            cyc3dClose,         // 15 close
        },
};

namespace {

// 1 when the parameter name holds exactly "true".
bool paramIsTrue(const CycleDescriptor* ctx, const char* name) {
  char* value = paramListGet(ctx->params, name, nullptr);
  const bool on = value != nullptr && std::strcmp(value, "true") == 0;
  memFree(value);
  return on;
}

}  // namespace

int cyc3dInit(CycleDescriptor* ctx) {
  const bool nc = paramIsTrue(ctx, "NCOutp");
  const bool drill = paramIsTrue(ctx, "drillPointsOutp");
  const bool original = paramIsTrue(ctx, "originalOutp");

  struct Channel {
    uint16_t channel;
    OutWriterFn pof;
    OutWriterFn kfy;
    bool on;
  };
  // Channels without kFY text get the writer that writes nothing.
  const OutWriterFn none = pofWriteNothing;
  const Channel channels[] = {
      {kChanStatus, pofWriteStatus, kfyWriteStatus, true},
      {kChanSettings, pofWriteSettingLine, none, true},
      {kChanComments, pofWriteComment, kfyWriteComment, true},
      {kChanNcMark, pofWriteNcMark, none, nc},
      {kChanDetail1, pofWriteDetailMark1, none, ctx->detailLevel >= 1},
      {kChanDetail2, pofWriteDetailMark2, none, ctx->detailLevel >= 2},
      {kChanDetail3, pofWriteDetailMark3, none, ctx->detailLevel >= 3},
      {kChanArguments, pofWriteArg, kfyWriteArg, true},
      {kChanVariables, pofWriteVariable, kfyWriteVariable, true},
      {kChanMarkers, pofWriteMarker, none, true},
      {kChanDrillPoints, pofWriteDrillPoint, kfyWriteDrillPoint, drill},
      {kChanContour, pofWriteContourCh31, kfyWriteContour, true},
      {kChanNcBlocks, pofWriteNcBlock, kfyWriteNcBlock, nc},
      {kChanOriginalPath, pofWriteContourCh33, none, original},
      {kChanGeometry35, pofWriteContourCh35, none, true},
      {kChanGeometry36, pofWriteContourCh36, none, true},
      {kChanDisplayPolylines, nullptr, none, true},
      {kChanDisplayPoints, nullptr, none, true},
  };
  for (const Channel& c : channels) {
    if (c.on) outRegisterChannel(ctx, c.channel, c.pof, c.kfy, 1);
  }
  if (ctx->cfgMode == 1) ctx->toolOutput = 1;
  toolInstallDefinitionOutput();

  std::string layers;
  const auto addLayer = [&layers](unsigned channel) {
    char buf[16];
    std::snprintf(buf, sizeof buf, layers.empty() ? "%u" : ",%u", channel);
    layers += buf;
  };
  if (nc) addLayer(kChanNcMark);
  if (drill) addLayer(kChanDrillPoints);
  if (nc) addLayer(kChanNcBlocks);
  if (original) addLayer(kChanOriginalPath);
  for (unsigned channel : {12u, 35u, 36u, 41u, 42u}) addLayer(channel);

  cycSendStatusRecord(ctx, kRecCycleBegin, "cycle", ctx->title);
  cycSendStatusRecord(ctx, 110, "layers", layers.c_str());
  return 1;
}

int cyc3dReadParams(CycleDescriptor* ctx) {
  // The kFY output file replaces its file at the cycle begin: it must never
  // be one of the job's own inputs.
  if (kfyOutputIsJobInput(ctx) == 1) {
    cycSendStatusRecord(ctx, kRecAbort, "error", "geoOut names an input file of the job");
    return 0;
  }
  return 1;
}

int cyc3dExecute(CycleDescriptor*) { return 1; }

int cyc3dClose(CycleDescriptor* ctx) { return cycBaseClose(ctx); }
