#include "cycle/cycle_setup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/version_text.h"
#include "cycle/settings_loader.h"
#include "cycles/common3d/common_cycle_descriptor.h"
#include "cycles/pocket/pocket_cycle_descriptor.h"
#include "cycles/profile/profile_cycle_descriptor.h"
#include "support/temp_dir.h"
#include "support/test_cycle.h"

namespace {

using tsupport::ScopedWorkDir;
using tsupport::TestCycle;

// Runs cycSetup on ctx with the given arguments.
int setup(CycleDescriptor* ctx, std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  return cycSetup(ctx, argv.data(), static_cast<int>(argv.size()), 0);
}

std::vector<std::string> positional(const CycleDescriptor* ctx) {
  std::vector<std::string> out;
  for (int i = 0; i < ctx->argCount; ++i) out.emplace_back(ctx->args[i]);
  return out;
}

struct ArgCase {
  const char* name;
  std::vector<std::string> args;
  uint16_t flags;
  uint16_t detail;
  int32_t outputMode;
  const char* settingsFile;  // null: none
  std::vector<std::string> positional;
  int settingsSlot;  // 2 PCF, 3 ".CFG"
};

class ArgumentTable : public ::testing::TestWithParam<ArgCase> {};

TEST_P(ArgumentTable, SetsFlagsModeDetailAndSettingsFile) {
  ScopedWorkDir dir;
  const ArgCase& c = GetParam();
  TestCycle cycle;
  ASSERT_EQ(setup(cycle.ctx(), c.args), 1);
  CycleDescriptor* ctx = cycle.ctx();
  EXPECT_EQ(ctx->modeFlags, c.flags);
  EXPECT_EQ(ctx->detailLevel, c.detail);
  EXPECT_EQ(ctx->outputMode, c.outputMode);
  if (c.settingsFile == nullptr) {
    EXPECT_EQ(ctx->settingsFile, nullptr);
  } else {
    ASSERT_NE(ctx->settingsFile, nullptr);
    EXPECT_STREQ(ctx->settingsFile, c.settingsFile);
  }
  EXPECT_EQ(positional(ctx), c.positional);
  EXPECT_EQ(ctx->args == nullptr, c.positional.empty());
  // Slot 0 hears of positional arguments only; then the settings slot.
  std::vector<int> expected;
  if (!c.positional.empty()) expected.push_back(kSlotOnArgs);
  expected.push_back(c.settingsSlot);
  EXPECT_EQ(cycle.slotCalls(), expected);
}

using S = std::vector<std::string>;
constexpr uint16_t kAnswerVQuery = kModeV | kModeQuery;

INSTANTIATE_TEST_SUITE_P(
    Options, ArgumentTable,
    ::testing::Values(
        ArgCase{"NoArguments", {}, kAnswerVQuery, 0, kOutputPof, nullptr, {}, 2},
        ArgCase{"CfgJob", {"-Sjob.CFG"}, kModeSettingsFile, 0, kOutputPof, "job.CFG", {}, 3},
        ArgCase{"DetailAndSettings", {"-M2", "-Sx"}, kModeSettingsFile, 2, kOutputPof, "x", {}, 2},
        ArgCase{"PofAfterPcf", {"-PCF", "-POF"}, kAnswerVQuery, 0, kOutputPof, nullptr, {}, 2},
        ArgCase{"PcfAnyCaseAfterP", {"-Pcf"}, kAnswerVQuery, 0, kOutputKfy, nullptr, {}, 2},
        ArgCase{"LowerCasePofIsPositional",
                {"-pof"},
                kAnswerVQuery,
                0,
                kOutputPof,
                nullptr,
                {"-pof"},
                2},
        ArgCase{"QueryThenA", {"?", "-A"}, kModeQuery | kModeA, 0, kOutputPof, nullptr, {}, 2},
        ArgCase{"AThenQueryDropsA", {"-A", "?"}, kModeQuery, 0, kOutputPof, nullptr, {}, 2},
        ArgCase{"QueryWordDropsS", {"-Sjob", "?x"}, kModeQuery, 0, kOutputPof, "job", {}, 2},
        ArgCase{"SlashOptionsAnyCase",
                {"/v", "/y", "-d", "-P", "-?"},
                kModeV | kModeY | kModeD | kModeP | kModeQuery,
                0,
                kOutputPof,
                nullptr,
                {},
                2},
        ArgCase{"IpcAccepted", {"-IPC42", "-ipc"}, kAnswerVQuery, 0, kOutputPof, nullptr, {}, 2},
        ArgCase{"IpxPositional", {"-IPX"}, kAnswerVQuery, 0, kOutputPof, nullptr, {"-IPX"}, 2},
        ArgCase{"IpCutShortPositional", {"-IP"}, kAnswerVQuery, 0, kOutputPof, nullptr, {"-IP"}, 2},
        ArgCase{"UnknownLetterPositional",
                {"-x", "-", ""},
                kAnswerVQuery,
                0,
                kOutputPof,
                nullptr,
                {"-x", "-", ""},
                2},
        ArgCase{"BareSIsPositional", {"-S"}, kAnswerVQuery, 0, kOutputPof, nullptr, {"-S"}, 2},
        ArgCase{
            "LastSettingsFileWins", {"-sa", "-Sb"}, kModeSettingsFile, 0, kOutputPof, "b", {}, 2},
        ArgCase{
            "DetailWithoutNumber", {"-mx", "-Sj"}, kModeSettingsFile, 0, kOutputPof, "j", {}, 2},
        ArgCase{"NestedCycleVector",
                {"qzCCP", "-sjob.pcf", "-POF"},
                kModeSettingsFile,
                0,
                kOutputPof,
                "job.pcf",
                {"qzCCP"},
                2}),
    [](const ::testing::TestParamInfo<ArgCase>& info) { return std::string(info.param.name); });

TEST(CycleSetup, NullArgumentVectorCountsAsEmpty) {
  ScopedWorkDir dir;
  TestCycle cycle;
  ASSERT_EQ(cycSetup(cycle.ctx(), nullptr, 5, 0), 1);
  EXPECT_EQ(cycle.ctx()->modeFlags, kAnswerVQuery);
  EXPECT_EQ(cycle.ctx()->argCount, 0);
}

TEST(CycleSetup, NegativeArgumentCountReadsNothing) {
  ScopedWorkDir dir;
  TestCycle cycle;
  char a[] = "-Sjob";
  char* argv[] = {a};
  ASSERT_EQ(cycSetup(cycle.ctx(), argv, -1, 0), 1);
  EXPECT_EQ(cycle.ctx()->modeFlags, kAnswerVQuery);
  EXPECT_EQ(cycle.ctx()->settingsFile, nullptr);
}

TEST(CycleSetup, NullEntriesAreSkipped) {
  ScopedWorkDir dir;
  TestCycle cycle;
  char a[] = "-Sjob";
  char b[] = "name";
  char* argv[] = {a, nullptr, b};
  ASSERT_EQ(cycSetup(cycle.ctx(), argv, 3, 0), 1);
  EXPECT_EQ(positional(cycle.ctx()), S{"name"});
  EXPECT_STREQ(cycle.ctx()->settingsFile, "job");
}

TEST(CycleSetup, ArgumentCountIsSixteenBits) {
  ScopedWorkDir dir;
  TestCycle cycle;
  char a[] = "one";
  char b[] = "two";
  char* argv[] = {a, b};
  // 65538 taken as a 16-bit count is 2.
  ASSERT_EQ(cycSetup(cycle.ctx(), argv, 65538, 0), 1);
  EXPECT_EQ(positional(cycle.ctx()), (S{"one", "two"}));
}

TEST(CycleSetup, SecondSetupReplacesRunState) {
  ScopedWorkDir dir;
  TestCycle cycle;
  ASSERT_EQ(setup(cycle.ctx(), {"-PCF", "-M3", "a", "-Sjob"}), 1);
  cycle.ctx()->firstRecord = 0;
  ASSERT_EQ(setup(cycle.ctx(), {"b"}), 1);
  EXPECT_EQ(positional(cycle.ctx()), S{"b"});
  EXPECT_EQ(cycle.ctx()->outputMode, kOutputPof);
  EXPECT_EQ(cycle.ctx()->detailLevel, 0);
  EXPECT_EQ(cycle.ctx()->firstRecord, 1);
  EXPECT_EQ(cycle.ctx()->modeFlags, kAnswerVQuery);
}

TEST(CycleSetup, PositionalArgumentsRaiseArgsEvents) {
  ScopedWorkDir dir;
  TestCycle cycle;
  cycle.recordEvents();
  ASSERT_EQ(setup(cycle.ctx(), {"file", "-V"}), 1);
  EXPECT_EQ(cycle.events(), (std::vector<int>{kEventOnArgsBegin, kEventOnArgsEnd,
                                              kEventLoadSettingsBegin, kEventLoadSettingsEnd}));
  cycle.clearLog();
  ASSERT_EQ(setup(cycle.ctx(), {"-V"}), 1);
  EXPECT_EQ(cycle.events(), (std::vector<int>{kEventLoadSettingsBegin, kEventLoadSettingsEnd}));
}

TEST(CycleSetup, ArgsSlotResultIsIgnored) {
  ScopedWorkDir dir;
  TestCycle cycle;
  cycle.setResult(kSlotOnArgs, 0);
  EXPECT_EQ(setup(cycle.ctx(), {"file"}), 1);
}

TEST(CycleSetup, FailedSettingsFreeTheRunData) {
  ScopedWorkDir dir;
  TestCycle cycle;
  cycle.setResult(kSlotLoadPcf, 0);
  cycle.recordEvents();
  EXPECT_EQ(setup(cycle.ctx(), {"a", "-Sjob"}), 0);
  EXPECT_EQ(cycle.ctx()->args, nullptr);
  EXPECT_EQ(cycle.ctx()->argCount, 0);
  EXPECT_EQ(cycle.ctx()->settingsFile, nullptr);
  const std::vector<int>& ev = cycle.events();
  ASSERT_GE(ev.size(), 2u);
  EXPECT_EQ(ev[ev.size() - 2], kEventCleanupBegin);
  EXPECT_EQ(ev.back(), kEventCleanupEnd);
}

TEST(CycleSetup, CleanupFreesRunDataButKeepsChannels) {
  ScopedWorkDir dir;
  TestCycle cycle;
  cycle.clearSlot(kSlotLoadPcf);  // the kernel's loader fills the parameters
  ASSERT_TRUE(tsupport::writeFile("job.pcf", "alpha := 1\n"));
  ASSERT_EQ(setup(cycle.ctx(), {"x", "-Sjob"}), 1);
  ASSERT_NE(cycle.ctx()->params, nullptr);
  tsupport::registerQuietChannels(cycle.ctx(), {0});
  cycle.recordEvents();
  cycCleanup(cycle.ctx());
  EXPECT_EQ(cycle.ctx()->args, nullptr);
  EXPECT_EQ(cycle.ctx()->settingsFile, nullptr);
  EXPECT_EQ(cycle.ctx()->params, nullptr);
  EXPECT_EQ(cycle.ctx()->cfgLines, nullptr);
  EXPECT_NE(cycle.ctx()->channels, nullptr);
  EXPECT_EQ(cycle.events(), (std::vector<int>{kEventCleanupBegin, kEventCleanupEnd}));
}

TEST(CycleInheritance, EmptySlotsComeFromTheParentChain) {
  ScopedWorkDir dir;
  TestCycle parent;
  TestCycle child(parent.ctx());
  child.clearSlot(kSlotExecute);
  child.clearSlot(kSlotLoadPcf);
  parent.clearSlot(kSlotLoadPcf);
  ASSERT_EQ(setup(child.ctx(), {"-V"}), 1);
  EXPECT_EQ(child.ctx()->slots[kSlotExecute], parent.ctx()->slots[kSlotExecute]);
  // Through the parent, from the kernel.
  EXPECT_EQ(child.ctx()->slots[kSlotLoadPcf], &cycLoadPcf);
  EXPECT_EQ(child.ctx()->inherited, 1);
  EXPECT_EQ(parent.ctx()->inherited, 1);
}

TEST(CycleInheritance, ParentOfAnotherInterfaceVersionIsRefusedAtEveryRun) {
  ScopedWorkDir dir;
  TestCycle parent;
  parent.ctx()->interfaceVersion = kCycleInterfaceVersion + 1;
  TestCycle child(parent.ctx());
  child.clearSlot(kSlotExecute);
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(setup(child.ctx(), {"-V", "file"}), 0) << "run " << run;
    EXPECT_EQ(child.ctx()->inherited, 0);
    EXPECT_EQ(child.ctx()->slots[kSlotExecute], nullptr);
    // Refused before any argument was read.
    EXPECT_TRUE(child.slotCalls().empty());
    EXPECT_EQ(child.ctx()->modeFlags, 0);
  }
}

TEST(CycleInheritance, MismatchFurtherUpTheChainIsRefused) {
  ScopedWorkDir dir;
  TestCycle grand;
  grand.ctx()->interfaceVersion = 4;
  TestCycle parent(grand.ctx());
  parent.ctx()->interfaceVersion = 5;
  TestCycle child(parent.ctx());
  EXPECT_EQ(setup(child.ctx(), {"-V"}), 0);
  EXPECT_EQ(child.ctx()->inherited, 0);
}

TEST(CycleInheritance, InheritOnlyStopsBeforeTheArguments) {
  TestCycle cycle;
  cycle.ctx()->modeFlags = 77;
  char a[] = "-V";
  char* argv[] = {a};
  EXPECT_EQ(cycSetup(cycle.ctx(), argv, 1, 1), 1);
  EXPECT_EQ(cycle.ctx()->modeFlags, 77);
  EXPECT_TRUE(cycle.slotCalls().empty());
}

TEST(CycleInheritance, LibraryDescriptorsResolveTheirSlots) {
  ASSERT_EQ(cycInheritSlots(&profCycleDescriptor), 1);
  ASSERT_EQ(cycInheritSlots(&pktCycleDescriptor), 1);
  // Profile: slot 2 from the kernel through the 3D Common Cycle, 0 from the
  // 3D Common Cycle, its own slots kept.
  EXPECT_EQ(profCycleDescriptor.slots[kSlotLoadPcf], &cycLoadPcf);
  EXPECT_EQ(profCycleDescriptor.slots[kSlotLoadCfg], &cycLoadCfg);
  EXPECT_EQ(profCycleDescriptor.slots[kSlotOnArgs], &cycNoOpZero);
  EXPECT_EQ(profCycleDescriptor.slots[kSlotInit], &cyc3dInit);
  EXPECT_EQ(profCycleDescriptor.slots[kSlotExecute], &profExecute);
  EXPECT_EQ(profCycleDescriptor.slots[kSlotClose], &cyc3dClose);
  // Pocket: slots 2 to 5 from the kernel.
  for (int slot = kSlotLoadPcf; slot <= kSlotOptionQuery; ++slot) {
    EXPECT_EQ(pktCycleDescriptor.slots[slot], kernelCycleDescriptor.slots[slot]) << slot;
  }
  EXPECT_EQ(pktCycleDescriptor.slots[kSlotClose], &pktEnd);
  for (const CycleDescriptor* d :
       {&kernelCycleDescriptor, &cyc3dCycleDescriptor, &profCycleDescriptor, &pktCycleDescriptor}) {
    for (int slot = 0; slot < kSlotCount; ++slot) EXPECT_NE(d->slots[slot], nullptr) << slot;
  }
}

TEST(VersionText, DescriptorFormThenFileVersionAtSetup) {
  // CTest runs each test in a process of its own, where the text is not
  // final yet; in a shared process an earlier setup made it final.
  if (cycVersionIsFinal() == 0) {
    cycVersionFromDescriptor(&profCycleDescriptor);
    EXPECT_STREQ(cycVersionText(), "6.00-08.06.2001");
    cycVersionFromDescriptor(&kernelCycleDescriptor);
    EXPECT_STREQ(cycVersionText(), "5.00-25.03.1999");
  }

  ScopedWorkDir dir;
  TestCycle cycle;
  ASSERT_EQ(setup(cycle.ctx(), {"-V"}), 1);
  ASSERT_NE(cycModulePath(), nullptr);
  char expected[kVersionTextSize];
  cycFormatFileVersion(expected, sizeof expected);
  EXPECT_STREQ(cycVersionText(), expected);
  EXPECT_EQ(cycVersionIsFinal(), 1);
  // Final: a later descriptor does not change it.
  cycVersionFromDescriptor(&kernelCycleDescriptor);
  EXPECT_STREQ(cycVersionText(), expected);
}

TEST(VersionText, FileVersionForm) {
  char text[kVersionTextSize];
  cycFormatFileVersion(text, sizeof text);
  char numbers[32];
  std::snprintf(numbers, sizeof numbers, "%d.%d.%d.%d", kFileVersionNumbers[0],
                kFileVersionNumbers[1], kFileVersionNumbers[2], kFileVersionNumbers[3]);
  EXPECT_EQ(std::string(text), std::string(numbers) + "-" + numbers);
  // A small buffer is cut, never overrun.
  char small[4] = {'x', 'x', 'x', 'x'};
  cycFormatFileVersion(small, 3);
  EXPECT_EQ(std::string(small), std::string(numbers).substr(0, 2));
}

TEST(VersionText, ModulePathIsStable) {
  const char* first = cycModulePath();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(cycModulePath(), first);
}

TEST(BypassEcho, MissingFileEchoesNothing) {
  ScopedWorkDir dir;
  EXPECT_EQ(cycEchoBypassFile("no-such-file", kBypassLineLength), 0);
  EXPECT_EQ(cycEchoBypassFile(nullptr, kBypassLineLength), 0);
}

}  // namespace
