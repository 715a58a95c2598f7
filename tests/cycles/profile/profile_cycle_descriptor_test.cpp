#include "cycles/profile/profile_cycle_descriptor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/number_format.h"
#include "boundaries/macros/macro_rec.h"
#include "cycle/phase_runner.h"
#include "cycles/common3d/common3d_record.h"
#include "cycles/common3d/common_cycle_descriptor.h"
#include "cycles/pocket/pocket_cycle_descriptor.h"
#include "formats/kfy/kfy_file.h"
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
#include "output/output_channels.h"
#include "support/golden.h"
#include "support/temp_dir.h"
#include "tessaro.h"

namespace {

TEST(ProfBreakHook, MapsTheSignalWord) {
  const struct {
    int32_t signal;
    int answer;
  } rows[] = {{100, 1}, {104, 2}, {0, 0}, {1, 0}, {99, 0}, {101, 0}, {-100, 0}};
  const int32_t saved = profCycleDescriptor.signalIn.load();
  for (const auto& row : rows) {
    profCycleDescriptor.signalIn.store(row.signal);
    EXPECT_EQ(profBreakHook(), row.answer) << row.signal;
  }
  profCycleDescriptor.signalIn.store(saved);
}

TEST(LibraryDescriptors, IdentityOfEachCycle) {
  const struct {
    const CycleDescriptor* desc;
    const CycleDescriptor* parent;
    const char* title;
    const char* id;
    int number;
    const char* version;  // major.minor-day.month.year
  } rows[] = {
      {&kernelCycleDescriptor, nullptr, "Zyklenkern", nullptr, 1, "5.00-25.03.1999"},
      {&cyc3dCycleDescriptor, &kernelCycleDescriptor, "Talvora 3D Common Cycle", "qzCyc3d", 0,
       "5.00-28.03.2001"},
      {&profCycleDescriptor, &cyc3dCycleDescriptor, "Talvora 3D Profile Finishing Cycle", "qzProf",
       1001, "6.00-08.06.2001"},
      {&pktCycleDescriptor, &kernelCycleDescriptor, "Talvora 2D Contour Parallel Pocket Cycle",
       "qzCCP", 1100, "6.00-08.06.2001"},
  };
  for (const auto& row : rows) {
    const CycleDescriptor* d = row.desc;
    EXPECT_EQ(d->parent, row.parent) << row.title;
    EXPECT_STREQ(d->title, row.title);
    if (row.id == nullptr) {
      EXPECT_EQ(d->id, nullptr);
    } else {
      EXPECT_STREQ(d->id, row.id);
    }
    EXPECT_EQ(d->cycleNumber, row.number) << row.title;
    EXPECT_EQ(d->interfaceVersion, kCycleInterfaceVersion) << row.title;
    char version[32];
    std::snprintf(version, sizeof version, "%u.%02u-%02u.%02u.%u", unsigned{d->versionMajor},
                  unsigned{d->versionMinor}, unsigned{d->versionDay}, unsigned{d->versionMonth},
                  unsigned{d->versionYear});
    EXPECT_STREQ(version, row.version);
  }
  EXPECT_EQ(cycGetProfileCycle(), &profCycleDescriptor);
}

// The PCF settings of the descriptor name a tool (and no model file), so
// that a run gets past validation and fails on the missing model.
void givePcfTool() { cyc3dRecordOf(&profCycleDescriptor)->toolDiameter = 6; }

TEST(ProfExecute, StoresTheOutcomeInTheStatusWordAndAlwaysSucceeds) {
  givePcfTool();
  const struct {
    int32_t signal;
    int status;
  } rows[] = {{0, 1}, {100, 100}, {104, 100}, {7, 1}};  // 1: no model to machine
  for (const auto& row : rows) {
    profCycleDescriptor.signalIn.store(row.signal);
    profCycleDescriptor.statusOut.store(55);
    EXPECT_EQ(profExecute(&profCycleDescriptor), 1);
    EXPECT_EQ(profCycleDescriptor.statusOut.load(), row.status) << row.signal;
    EXPECT_EQ(outGetContext(), &profCycleDescriptor);
  }
  profCycleDescriptor.signalIn.store(0);
  outSetContext(nullptr);
  cycSetBreakHook(nullptr);
}

// Leaves behind what a finished run may have changed: message level,
// decimals, an active scaled frame, contact settings, a holder collision.
void dirtyRunState() {
  msgSetLevel(nullptr, 1);
  numSetPrecision(2);
  const Vec3d o{1, 2, 3}, x{0, 1, 0}, y{-1, 0, 0}, z{0, 0, 1};
  frameSetToolSystem(&o, &x, &y, &z);
  frameActivate();
  frameScaleMultiply(4);
  contactSetClipPass(1);
  macroSetHolderCollided(1);
  modelSetLoadLengthScale(25.4);
  modelSetDiagonalBoxes(1);
  holderClearanceSetMargin(3.0);
  holderClearanceSetExact(1);
  holderSetMeshTolerances(0.5, 0.7);
  tsupport::TempDir dir;
  const std::string contours = dir.file("frame.kfy");
  tsupport::writeFile(contours,
                      std::string(kfyBanner) + "\nkFY-Version: 1.0\nGeometry\nT\nvCs_x(0,1,0)\n");
  curveFree(kfyReadContours(contours.c_str(), 0.01));
  collToolAxisSetStockMode(1);
  stockSetActive(1);
  const Vec3d hit{1, 2, 3};
  holderRecordCollision(&hit);
  holderSetExtraLift(4.0);
  holderSetSilentShankCheck(1);
}

TEST(ProfExecute, StartsEveryRunFromTheInitialProcessState) {
  ContactContext defaults;
  contactSettingsReset();
  contactContextLoad(&defaults);
  dirtyRunState();
  givePcfTool();

  EXPECT_EQ(profExecute(&profCycleDescriptor), 1);

  // Level 3 again: a level-3 message passes, a level-4 one is held back.
  EXPECT_EQ(msgNumbered(3, 1, "", nullptr), 1);
  EXPECT_EQ(msgNumbered(4, 1, "", nullptr), 2);
  char text[kNumTextSize];
  EXPECT_STREQ(numFormat(text, 1.23456789), "1.234568");
  // The run sets up the job's own (identity) systems at scale 1: the
  // rotated, shifted and scaled frame left behind is gone.
  EXPECT_EQ(frameCurrent().frameScale, 1.0);
  Vec3d p{5, 6, 7};
  framePtToolToWorld(&p);
  EXPECT_EQ(p.x, 5.0);
  EXPECT_EQ(p.y, 6.0);
  EXPECT_EQ(p.z, 7.0);
  EXPECT_EQ(contactGetClipPass(), defaults.clipPass);
  EXPECT_EQ(macroHolderCollided(), 0);
  EXPECT_EQ(modelLoadLengthScale(), 1.0);
  EXPECT_EQ(modelDiagonalBoxesOn(), 0);
  // No fixed holder margin left behind (the run's own job, without a holder
  // tolerance, asks for the exact margin), no mesh tolerances, identity
  // contour frame.
  ToolShape tool{};
  tool.type = kToolFlat;
  tool.radius = 5.0;
  HolderClearance clearance{};
  holderClearanceInit(&clearance, &tool, 0.0, 50, 10, 60, 40, 30);
  EXPECT_EQ(clearance.bodyDiameter, 40.0);
  EXPECT_EQ(holderMeshSet()->holderMeshTolerance, 0.0);
  EXPECT_EQ(holderMeshSet()->headMeshTolerance, 0.0);
  Vec3d fx;
  kfyContourFrame(nullptr, &fx, nullptr, nullptr);
  EXPECT_EQ(fx.x, 1.0);
  EXPECT_EQ(collToolAxisStockMode(), 0);
  EXPECT_EQ(stockActive(), 0);
  EXPECT_EQ(holderGetFirstCollision(nullptr), 0);
  EXPECT_EQ(holderGetExtraLift(), 0.0);
  outSetContext(nullptr);
  cycSetBreakHook(nullptr);
}

TEST(ProfileRun, TwoRunsOfOneJobInOneProcessWriteTheSamePof) {
  namespace fs = std::filesystem;
  tsupport::ScopedWorkDir dir;
  for (const char* name : {"job.pcf", "qzProf.def"}) {
    fs::copy_file(fs::path(TESSARO_TEST_DATA) / "settings" / name, name);
  }
  // The keys every PCF job of the cycle must name.
  ASSERT_TRUE(tsupport::writeFile(
      "job.pcf", tsupport::readFile("job.pcf") + "polySource := model.3df\ntoolDiameter := 10\n"));
  char arg[] = "-Sjob";
  char* argv[] = {arg};
  std::vector<std::string> runs[2];
  for (auto& run : runs) {
    ASSERT_EQ(qzCSexecCycle(nullptr, 1, argv, nullptr), 1);
    // The job's model file does not exist: the run fails after its set-up.
    EXPECT_EQ(qzCSgetSignal(nullptr), 1);
    run = tsupport::splitLines(tsupport::stablePof(tsupport::readFile("out.pof")));
    fs::remove("out.pof");
    // What a computing run could leave behind must not reach the next one.
    dirtyRunState();
  }
  ASSERT_FALSE(runs[0].empty());
  EXPECT_EQ(runs[0].back(), "0: cycleEnd(Talvora 3D Profile Finishing Cycle)");
  EXPECT_EQ(runs[0], runs[1]);
  msgSetLevel(nullptr, kMsgDefaultLevel);
  numSetPrecision(kNumDefaultPrecision);
  frameReset();
  contactSettingsReset();
  macroSetHolderCollided(0);
}

}  // namespace
