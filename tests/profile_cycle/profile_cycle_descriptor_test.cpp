#include "profile_cycle/profile_cycle_descriptor.h"

#include <gtest/gtest.h>

#include <string>

#include "kernel/core/messages.h"
#include "kernel/core/phase_runner.h"
#include "kernel/cycles/common_cycle_descriptor.h"
#include "pocket_cycle/pocket_cycle_descriptor.h"
#include "support/temp_dir.h"

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

TEST(ProfExecute, StoresTheOutcomeInTheStatusWordAndAlwaysSucceeds) {
  const struct {
    int32_t signal;
    int status;
  } rows[] = {{0, 0}, {100, 100}, {104, 100}, {7, 0}};
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

}  // namespace
