#include "cycles/profile/profile_cycle_descriptor.h"

#include "base/job_scale.h"
#include "base/messages.h"
#include "base/number_format.h"
#include "boundaries/bnd_file.h"
#include "boundaries/bnd_library.h"
#include "boundaries/links/link_params.h"
#include "boundaries/links/move_hooks.h"
#include "boundaries/macros/macro_rec.h"
#include "cycles/common3d/common3d_record.h"
#include "cycles/common3d/common_cycle_descriptor.h"
#include "cycles/common3d/geometry_convert.h"
#include "cycles/profile/job/job_prepare.h"
#include "cycles/profile/job/job_record.h"
#include "cycles/profile/job/profile_params.h"
#include "cycles/profile/links/facet_link_output.h"
#include "cycles/profile/profile_run.h"
#include "geometry/contour2d/kont2d.h"
#include "geometry/curves/kfy_contours.h"
#include "geometry/frame/working_frame.h"
#include "model/collision/holder_check.h"
#include "model/collision/holder_clearance.h"
#include "model/collision/holder_meshes.h"
#include "model/collision/stock_model.h"
#include "model/collision/tool_axis_collision.h"
#include "model/contact/contact_settings.h"
#include "model/io/model_load.h"
#include "model/mesh/model_grid.h"
#include "output/adapter/output_adapter.h"
#include "output/adapter/path_output.h"
#include "output/output_channels.h"
#include "output/output_emitters.h"

namespace {

// Signal words the host sets to stop a run, and what the break hook answers.
constexpr int32_t kSignalStop = 100;
constexpr int32_t kSignalStop104 = 104;
// Result of a run that was cancelled through the break hook.
constexpr int kResultCancelled = -2;

}  // namespace

// Constant-initialised: ready before any code of the process runs.
constinit CycleDescriptor profCycleDescriptor = {
    .parent = &cyc3dCycleDescriptor,
    .cycleNumber = kProfCycleNumber,
    .versionMajor = 6,
    .versionMinor = 0,
    .versionYear = 2001,
    .versionMonth = 6,
    .versionDay = 8,
    .title = "Talvora 3D Profile Finishing Cycle",
    .id = "qzProf",
    .slots =
        {
            nullptr,              // 0 inherited
            nullptr,              // 1 inherited
            nullptr,              // 2 inherited
            nullptr,              // 3 inherited
            nullptr,              // 4 inherited
            nullptr,              // 5 inherited
            nullptr,              // 6 inherited
            cycHelpAlgorithm,     // 7 -A
            cycHelpLayers,        // 8 -Y
            nullptr,              // 9 inherited
            profReadParams,       // 10 read parameters, PCF mode
            profReadJobLines,     // 11 read parameters, cfg mode
            profSetRetractPlane,  // 12 prepare
            profExecute,          // 13 execute
            profFinalRetract,     // 14 post-process
            nullptr,              // 15 inherited
        },
};

CycleDescriptor* cycGetProfileCycle() { return &profCycleDescriptor; }

int profReadParams(CycleDescriptor* ctx) {
  const CycleSlot parentRead = cyc3dCycleDescriptor.slots[kSlotReadPcfParams];
  if (parentRead == nullptr || parentRead(ctx) == 0) return 0;
  profReadOwnParams(ctx);
  return 1;
}

int profReadJobLines(CycleDescriptor* ctx) {
  jobApplyCfgLines(ctx->cfgLines);
  return 1;
}

int profSetRetractPlane(CycleDescriptor* ctx) {
  Cyc3dRecord* rec = cyc3dRecordOf(ctx);
  if (rec != nullptr) {
    if (!cyc3dParam(ctx, "retractPlane") || rec->clearancePlane <= rec->retractPlane) {
      rec->retractPlane = rec->clearancePlane;
    }
  }
  // Every run names its cycle from its own job: the number a run before
  // chose must not stay.
  ctx->cycleNumber = kProfCycleNumber;
  if (jobRecord.crossOpti != 0) ctx->cycleNumber = kProfCycleNumberCross;
  if (jobRecord.slopeMode != 0) ctx->cycleNumber = kProfCycleNumberSlope;
  return 1;
}

void profResetRunState() {
  msgSetLevel(nullptr, kMsgDefaultLevel);
  numSetPrecision(kNumDefaultPrecision);
  frameReset();
  contactSettingsReset();
  macroSetHolderCollided(0);
  linkParamsReset();
  linkResetLastMove();
  linkStateLoad();
  modelLoadReset();
  modelSetDiagonalBoxes(0);
  holderClearanceReset();
  holderMeshReset();
  kfyContourFrameReset();
  kontBndReset();
  bndFileReset();
  bndLibraryReset();
  jobScale = 1;
  jobSetLengthScale(1);
  crossPassActive = 0;
  passOfRun = 0;
  collToolAxisReset();
  stockReset();
  holderCheckReset();
  // Collision markers of the holder check go to the display channel.
  holderSetMarkerHook(outDisplayMarker);
}

// The settings of a PCF job: the frames, the kind of profile files, the
// converted geometry, the NC format and the frame arguments, then the
// parameters copied into the job record.
void setUpPcfJob(CycleDescriptor* ctx) {
  Cyc3dRecord* rec = cyc3dRecordOf(ctx);
  if (rec == nullptr) return;
  cycSetPolyFrame(&rec->polyCs_o, &rec->polyCs_x, &rec->polyCs_y, &rec->polyCs_z);
  frameSetNcSystem(&rec->frameCs_o, &rec->frameCs_x, &rec->frameCs_y, &rec->frameCs_z);
  frameSetToolSystem(&rec->toolCs_o, &rec->toolCs_x, &rec->toolCs_y, &rec->toolCs_z);
  frameActivate();
  if (profParams.strategy == 6 || profParams.strategy == 9) {
    cyc3dSetPointProfiles(1);
  } else {
    cyc3dSetProfileAppend(1);
  }
  if (!rec->geoSource.empty()) cyc3dConvertGeometry(ctx);
  outSetNcFormat(rec->ncFormat);
  if (!rec->frame.empty()) {
    outSendArg(ctx, "frame", rec->frame.c_str());
    if (rec->frameOn == 1) outSendArg(ctx, "tr", "frameOn");
  }
  profJobFromParams(ctx);
}

// The frame arguments a PCF job closes with; the conversion switches go
// back to their start values.
void finishPcfJob(CycleDescriptor* ctx) {
  cyc3dSetPointProfiles(0);
  cyc3dSetProfileAppend(0);
  Cyc3dRecord* rec = cyc3dRecordOf(ctx);
  if (rec == nullptr || rec->frame.empty()) return;
  if (rec->frameOff == 1) outSendArg(ctx, "tr", "frameOff");
  rec->frame.clear();
}

int profExecute(CycleDescriptor* ctx) {
  outSetContext(ctx);
  cycSetBreakHook(profBreakHook);
  profResetRunState();
  linkInstallFacetEmitters();
  const bool pcf = ctx->cfgMode == 0;
  if (pcf) setUpPcfJob(ctx);
  // A stop asked for before the run still reads as cancelled.
  const int result = cycCheckBreak() != 0 ? kResultCancelled : profRunCycle(nullptr);
  cycSetSignalOut(ctx, result);
  if (pcf) finishPcfJob(ctx);
  cyc3dRemoveTempFiles(ctx);
  return 1;
}

int profFinalRetract(CycleDescriptor* ctx) {
  const Cyc3dRecord* rec = cyc3dRecordOf(ctx);
  if (rec != nullptr && rec->clearancePlane > rec->retractPlane)
    outRapidZ(ctx, rec->clearancePlane);
  return 1;
}

int profBreakHook() {
  const int32_t signal = profCycleDescriptor.signalIn.load(std::memory_order_relaxed);
  if (signal == kSignalStop) return 1;
  if (signal == kSignalStop104) return 2;
  return 0;
}
