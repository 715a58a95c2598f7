#include "cycles/profile/profile_cycle_descriptor.h"

#include "base/job_scale.h"
#include "base/messages.h"
#include "base/number_format.h"
#include "boundaries/bnd_file.h"
#include "boundaries/links/link_params.h"
#include "boundaries/links/move_hooks.h"
#include "boundaries/macros/macro_rec.h"
#include "cycles/common3d/common_cycle_descriptor.h"
#include "cycles/profile/job_prepare.h"
#include "cycles/profile/job_record.h"
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
#include "output/output_channels.h"

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
    .cycleNumber = 1001,
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
  return parentRead != nullptr ? parentRead(ctx) : 0;
}

int profReadJobLines(CycleDescriptor* ctx) {
  jobApplyCfgLines(ctx->cfgLines);
  return 1;
}

int profSetRetractPlane(CycleDescriptor*) { return 1; }

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
  jobScale = 1;
  jobSetLengthScale(1);
  crossPassActive = 0;
  collToolAxisReset();
  stockReset();
  holderCheckReset();
  // Collision markers of the holder check go to the display channel.
  holderSetMarkerHook(outDisplayMarker);
}

int profExecute(CycleDescriptor* ctx) {
  outSetContext(ctx);
  cycSetBreakHook(profBreakHook);
  profResetRunState();
  linkInstallFacetEmitters();
  // A stop asked for before the run still reads as cancelled.
  const int result = cycCheckBreak() != 0 ? kResultCancelled : profRunCycle(nullptr);
  cycSetSignalOut(ctx, result);
  return 1;
}

int profFinalRetract(CycleDescriptor*) { return 1; }

int profBreakHook() {
  const int32_t signal = profCycleDescriptor.signalIn.load(std::memory_order_relaxed);
  if (signal == kSignalStop) return 1;
  if (signal == kSignalStop104) return 2;
  return 0;
}
