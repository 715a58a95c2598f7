#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "capi/host_bridge.h"
#include "cycle/phase_runner.h"
#include "cycles/profile/profile_cycle_descriptor.h"
#include "formats/settings/param_list.h"
#include "output/output_channels.h"
#include "output/output_record.h"
#include "output/pof/pof_writer.h"
#include "support/temp_dir.h"
#include "support/test_cycle.h"
#include "tessaro.h"

namespace {

using tsupport::ScopedWorkDir;
using tsupport::TestCycle;

// Every channel a host listener can sit on.
const std::vector<int> kHostChannels = {0, 1, 2, 3, 10, 11, 12, 31, 35, 40, 41, 42};

// One received record: which function (user value), channel, code and name.
struct Received {
  intptr_t fn;
  int channel;
  int code;
  std::string name;
  bool operator==(const Received&) const = default;
};

struct Recorder {
  std::vector<Received> got;
  void* ctx = nullptr;
};

Recorder* gRecorder = nullptr;

int recordFn(void* ctx, int channel, OutputRecord* record, intptr_t user) {
  if (gRecorder != nullptr) {
    gRecorder->ctx = ctx;
    gRecorder->got.push_back({user, channel, record->code, outRecText(record, kRecName)});
  }
  return 1;
}

HostCallbackSet fullSet() { return {recordFn, 0, recordFn, 1, recordFn, 2}; }

// A test cycle whose init registers the given channels and sends one record
// (code 1000 + channel, name "c<channel>") on each.
void sendOnEachChannel(TestCycle* cycle, std::vector<int> channels) {
  cycle->setAction(kSlotInit, [channels](CycleDescriptor* ctx) {
    tsupport::registerQuietChannels(ctx, channels);
    for (int c : channels) {
      std::string name = "c";
      name += std::to_string(c);
      tsupport::sendTextRecord(ctx, c, 1000 + c, name.c_str(), "");
    }
  });
}

int exec(void* ctx, std::vector<std::string> args, HostCallbackSet* set) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  return qzCSexecCycle(ctx, static_cast<int>(argv.size()), argv.data(), set);
}

TEST(Exports, DefaultContextIsTheProfileCycle) {
  EXPECT_EQ(qzCSgetCycle(), static_cast<void*>(&profCycleDescriptor));
  EXPECT_EQ(qzCSgetCycle(), qzCSgetCycle());
}

TEST(Exports, NullContextRunsTheDefaultCycle) {
  ScopedWorkDir dir;
  ASSERT_TRUE(tsupport::writeFile(dir.file("job.pcf"), "polySource := m.3df\ntoolDiameter := 4\n"));
  Recorder rec;
  gRecorder = &rec;
  HostCallbackSet set = fullSet();
  EXPECT_EQ(exec(nullptr, {"-Sjob"}, &set), 1);
  gRecorder = nullptr;
  // Failed: the profile cycle has no path driver for the job yet.
  EXPECT_EQ(qzCSgetSignal(nullptr), 1);
  ASSERT_FALSE(rec.got.empty());
  EXPECT_EQ(rec.ctx, qzCSgetCycle());
  // The profile cycle's run ends with its cycle end record.
  EXPECT_EQ(rec.got.back().code, kRecCycleEnd);
}

TEST(Exports, OptionModeRunSucceeds) {
  ScopedWorkDir dir;
  EXPECT_EQ(exec(nullptr, {"-V"}, nullptr), 1);
  EXPECT_EQ(qzCSgetSignal(nullptr), 0);
}

TEST(Exports, SetSignalReturnsThePreviousWord) {
  TestCycle cycle;
  EXPECT_EQ(qzCSsetSignal(cycle.ctx(), 7), 0);
  EXPECT_EQ(qzCSsetSignal(cycle.ctx(), 100), 7);
  EXPECT_EQ(qzCSsetSignal(cycle.ctx(), 100), 100);
  EXPECT_EQ(cycle.ctx()->signalIn.load(), 100);
  // Null stands for the default context.
  const int before = qzCSsetSignal(nullptr, 3);
  EXPECT_EQ(profCycleDescriptor.signalIn.load(), 3);
  EXPECT_EQ(qzCSsetSignal(nullptr, before), 3);
}

TEST(Exports, GetSignalReturnsTheStatusWord) {
  TestCycle cycle;
  cycle.ctx()->statusOut.store(42);
  EXPECT_EQ(qzCSgetSignal(cycle.ctx()), 42);
}

TEST(Exports, RefusedSetupReturnsZeroAndKeepsTheStatus) {
  ScopedWorkDir dir;
  TestCycle cycle;
  cycle.setResult(kSlotLoadPcf, 0);
  cycle.ctx()->statusOut.store(5);
  Recorder rec;
  gRecorder = &rec;
  HostCallbackSet set = fullSet();
  EXPECT_EQ(exec(cycle.ctx(), {"-Sjob"}, &set), 0);
  gRecorder = nullptr;
  EXPECT_EQ(qzCSgetSignal(cycle.ctx()), 5);
  EXPECT_TRUE(rec.got.empty());
  EXPECT_EQ(hostNestingDepth(), 0);
}

TEST(Exports, FailedPhaseRunIsSetUpButReportsFailure) {
  ScopedWorkDir dir;
  TestCycle cycle;
  cycle.setResult(kSlotReadPcfParams, 0);
  EXPECT_EQ(exec(cycle.ctx(), {"-Sjob"}, nullptr), 1);
  EXPECT_EQ(qzCSgetSignal(cycle.ctx()), 1);
}

TEST(Exports, HookIsRemovedAfterTheRun) {
  ScopedWorkDir dir;
  TestCycle cycle;
  CycleEventHook during = nullptr;
  cycle.setAction(kSlotExecute, [&](CycleDescriptor* ctx) { during = ctx->eventHook; });
  EXPECT_EQ(exec(cycle.ctx(), {"-Sjob"}, nullptr), 1);
  EXPECT_EQ(during, &hostOnEvent);
  EXPECT_EQ(cycle.ctx()->eventHook, nullptr);
  EXPECT_EQ(cycle.ctx()->eventUser, 0);
}

struct RoutingCase {
  const char* name;
  HostCallbackSet set;
  // Expected (function, channel) pairs in delivery order.
  std::vector<std::pair<intptr_t, int>> expected;
};

class Routing : public ::testing::TestWithParam<RoutingCase> {};

TEST_P(Routing, RecordsReachTheirFunctions) {
  ScopedWorkDir dir;
  const RoutingCase& c = GetParam();
  TestCycle cycle;
  // Channel 5 is registered but carries no host listener.
  std::vector<int> channels = kHostChannels;
  channels.push_back(5);
  sendOnEachChannel(&cycle, channels);
  size_t listenersOnChannel0 = 0;
  cycle.setAction(kSlotExecute, [&](CycleDescriptor* ctx) {
    for (OutputChannel* ch = ctx->channels; ch != nullptr; ch = ch->next) {
      if (ch->channel != 0) continue;
      for (OutputListener* l = ch->listeners; l != nullptr; l = l->next) ++listenersOnChannel0;
    }
  });
  Recorder rec;
  gRecorder = &rec;
  HostCallbackSet set = c.set;
  EXPECT_EQ(exec(cycle.ctx(), {"-Sjob"}, &set), 1);
  gRecorder = nullptr;
  std::vector<std::pair<intptr_t, int>> got;
  for (const Received& r : rec.got) {
    if (r.code >= 1000) got.emplace_back(r.fn, r.channel);
  }
  EXPECT_EQ(got, c.expected);
  EXPECT_EQ(listenersOnChannel0, c.expected.empty() ? 0u : 1u);
  for (const Received& r : rec.got) {
    if (r.code >= 1000) {
      EXPECT_EQ(r.code, 1000 + r.channel);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sets, Routing,
    ::testing::Values(
        RoutingCase{"AllFunctions",
                    {recordFn, 0, recordFn, 1, recordFn, 2},
                    {{0, 0},
                     {1, 0},
                     {1, 1},
                     {1, 2},
                     {2, 3},
                     {0, 10},
                     {0, 11},
                     {0, 12},
                     {0, 31},
                     {0, 35},
                     {2, 40},
                     {0, 41},
                     {0, 42}}},
        RoutingCase{"NoFunctions", {nullptr, 0, nullptr, 0, nullptr, 0}, {}},
        RoutingCase{"OnlyFn2", {nullptr, 0, nullptr, 0, recordFn, 2}, {{2, 3}, {2, 40}}},
        RoutingCase{"OnlyFn1", {nullptr, 0, recordFn, 1, nullptr, 0}, {{1, 0}, {1, 1}, {1, 2}}},
        RoutingCase{"OnlyFn0",
                    {recordFn, 0, nullptr, 0, nullptr, 0},
                    {{0, 0}, {0, 10}, {0, 11}, {0, 12}, {0, 31}, {0, 35}, {0, 41}, {0, 42}}}),
    [](const ::testing::TestParamInfo<RoutingCase>& info) { return std::string(info.param.name); });

TEST(HostBridge, NullSetGetsNoRecords) {
  ScopedWorkDir dir;
  TestCycle cycle;
  sendOnEachChannel(&cycle, kHostChannels);
  Recorder rec;
  gRecorder = &rec;
  EXPECT_EQ(exec(cycle.ctx(), {"-Sjob"}, nullptr), 1);
  gRecorder = nullptr;
  EXPECT_TRUE(rec.got.empty());
}

TEST(HostBridge, UnregisteredChannelsTakeNoListener) {
  TestCycle cycle;
  tsupport::registerQuietChannels(cycle.ctx(), {0, 31});
  HostCallbackSet set = fullSet();
  hostOnEvent(cycle.ctx(), kEventFirstRecord, reinterpret_cast<intptr_t>(&set));
  std::vector<int> registered;
  for (OutputChannel* ch = cycle.ctx()->channels; ch != nullptr; ch = ch->next) {
    registered.push_back(ch->channel);
    EXPECT_NE(ch->listeners, nullptr);
  }
  EXPECT_EQ(registered, (std::vector<int>{0, 31}));
}

TEST(HostBridge, OtherEventsAddNothing) {
  TestCycle cycle;
  tsupport::registerQuietChannels(cycle.ctx(), {0});
  HostCallbackSet set = fullSet();
  for (int code : {int{kEventInitBegin}, int{kEventChannelRegisterBegin}, int{kEventCloseEnd}}) {
    hostOnEvent(cycle.ctx(), code, reinterpret_cast<intptr_t>(&set));
  }
  EXPECT_EQ(cycle.ctx()->channels->listeners, nullptr);
}

TEST(HostBridge, KfyModeCallsNoHostFunction) {
  ScopedWorkDir dir;
  TestCycle cycle;
  sendOnEachChannel(&cycle, kHostChannels);
  Recorder rec;
  gRecorder = &rec;
  HostCallbackSet set = fullSet();
  EXPECT_EQ(exec(cycle.ctx(), {"-Sjob", "-PCF"}, &set), 1);
  gRecorder = nullptr;
  EXPECT_TRUE(rec.got.empty());
}

TEST(HostBridge, TwoRunsDeliverEachRecordOnceToTheirOwnSet) {
  ScopedWorkDir dir;
  TestCycle cycle;
  sendOnEachChannel(&cycle, {0, 31});
  std::vector<std::vector<Received>> perRun;
  for (intptr_t run = 0; run < 2; ++run) {
    Recorder rec;
    gRecorder = &rec;
    // Each run's set tells itself apart through its user values.
    HostCallbackSet set = {recordFn, 10 * (run + 1), nullptr, 0, nullptr, 0};
    EXPECT_EQ(exec(cycle.ctx(), {"-Sjob"}, &set), 1);
    gRecorder = nullptr;
    perRun.push_back(rec.got);
  }
  for (size_t run = 0; run < 2; ++run) {
    const intptr_t user = 10 * static_cast<intptr_t>(run + 1);
    const std::vector<Received> expected = {
        {user, 0, 1000, "c0"},
        {user, 31, 1031, "c31"},
        {user, 0, kRecCycleEnd, "cycleEnd"},
    };
    // The run's own records, without the settings echo.
    std::vector<Received> got;
    for (const Received& r : perRun[run]) {
      if (r.code >= 1000 || r.code == kRecCycleEnd) got.push_back(r);
    }
    EXPECT_EQ(got, expected) << "run " << run;
  }
}

// Nesting: each callback of a run starts the run of the next cycle.
struct NestState {
  std::vector<std::unique_ptr<TestCycle>> cycles;
  std::vector<int> results;  // qzCSexecCycle result per cycle index (-1: not called)
  int deepestDepth = 0;
  int depthAfterRefusal = -1;
  size_t next = 1;
};
NestState* gNest = nullptr;

int nestFn(void*, int channel, OutputRecord* record, intptr_t) {
  if (gNest == nullptr || channel != 0 || record->code != 1000) return 1;
  gNest->deepestDepth = std::max(gNest->deepestDepth, hostNestingDepth());
  if (gNest->next >= gNest->cycles.size()) return 1;
  const size_t index = gNest->next++;
  HostCallbackSet set = {nestFn, 0, nullptr, 0, nullptr, 0};
  gNest->results[index] = exec(gNest->cycles[index]->ctx(), {"-Sjob"}, &set);
  if (gNest->results[index] == 0) gNest->depthAfterRefusal = hostNestingDepth();
  return 1;
}

TEST(Exports, RunCutShortByAnExceptionLeavesNothingBehind) {
  ScopedWorkDir dir;
  TestCycle cycle;
  // Init opens a POF level with its own file, as a cycle begin record does.
  cycle.setAction(kSlotInit, [](CycleDescriptor* ctx) {
    ctx->params = paramListSet(ctx->params, "pofFilename", "run.pof", kParamOriginRuntime);
    outRegisterChannel(ctx, kChanStatus, pofWriteStatus, nullptr, 1);
    tsupport::sendTextRecord(ctx, kChanStatus, kRecCycleBegin, "cycle", ctx->title);
  });
  bool fail = true;
  cycle.setAction(kSlotExecute, [&fail](CycleDescriptor*) {
    if (fail) throw std::runtime_error("cut short");
  });
  char arg[] = "-Sjob";
  char* argv[] = {arg};
  EXPECT_EQ(qzCSexecCycle(cycle.ctx(), 1, argv, nullptr), 1);
  EXPECT_EQ(qzCSgetSignal(cycle.ctx()), 1);
  EXPECT_EQ(hostNestingDepth(), 0);
  EXPECT_EQ(cycle.ctx()->channels, nullptr);
  EXPECT_EQ(cycle.ctx()->params, nullptr);
  EXPECT_EQ(cycle.ctx()->settingsFile, nullptr);
  EXPECT_EQ(cycGetOutermostRun(), nullptr);
  EXPECT_EQ(pofCycleLevel(), -1);
  EXPECT_EQ(pofGetStream(), stdout);

  // The next run starts at the outer level again and ends its own file.
  fail = false;
  EXPECT_EQ(qzCSexecCycle(cycle.ctx(), 1, argv, nullptr), 1);
  EXPECT_EQ(qzCSgetSignal(cycle.ctx()), 0);
  EXPECT_EQ(pofCycleLevel(), -1);
  const std::vector<std::string> lines = tsupport::splitLines(tsupport::readFile("run.pof"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "0: cycleEnd(Test Cycle)");
}

TEST(Nesting, NinthNestedCallFromACallbackIsRefused) {
  ScopedWorkDir dir;
  NestState nest;
  for (int i = 0; i < 10; ++i) {
    nest.cycles.push_back(std::make_unique<TestCycle>());
    sendOnEachChannel(nest.cycles.back().get(), {0});
  }
  nest.results.assign(nest.cycles.size(), -1);
  gNest = &nest;
  HostCallbackSet set = {nestFn, 0, nullptr, 0, nullptr, 0};
  nest.results[0] = exec(nest.cycles[0]->ctx(), {"-Sjob"}, &set);
  gNest = nullptr;
  // Eight runs nest; the ninth call is refused and the chain stops there.
  const std::vector<int> expected = {1, 1, 1, 1, 1, 1, 1, 1, 0, -1};
  EXPECT_EQ(nest.results, expected);
  EXPECT_EQ(nest.deepestDepth, kHostMaxNesting);
  EXPECT_EQ(nest.depthAfterRefusal, kHostMaxNesting);
  EXPECT_TRUE(nest.cycles[8]->slotCalls().empty());
  EXPECT_EQ(hostNestingDepth(), 0);
}

int gSameContextResult = -1;
int sameContextFn(void* ctx, int channel, OutputRecord* record, intptr_t) {
  if (channel == 0 && record->code == 1000) {
    char arg[] = "-Sjob";
    char* argv[] = {arg};
    gSameContextResult = qzCSexecCycle(ctx, 1, argv, nullptr);
  }
  return 1;
}

TEST(Nesting, NestedRunOfTheRunningContextIsRefused) {
  ScopedWorkDir dir;
  TestCycle cycle;
  sendOnEachChannel(&cycle, {0, 31});
  HostCallbackSet set = {sameContextFn, 0, nullptr, 0, nullptr, 0};
  gSameContextResult = -1;
  EXPECT_EQ(exec(cycle.ctx(), {"-Sjob", "keep"}, &set), 1);
  EXPECT_EQ(gSameContextResult, 0);
  // The outer run went on undisturbed: all phases and its close.
  EXPECT_EQ(cycle.slotCalls(), (std::vector<int>{0, 2, 1, 10, 12, 13, 14, 15}));
}

TEST(Nesting, RunFromAnotherThreadDuringARunIsRefused) {
  ScopedWorkDir dir;
  TestCycle running, other;
  int otherResult = -1;
  running.setAction(kSlotExecute, [&](CycleDescriptor*) {
    std::thread t([&] { otherResult = exec(other.ctx(), {"-V"}, nullptr); });
    t.join();
  });
  EXPECT_EQ(exec(running.ctx(), {"-Sjob"}, nullptr), 1);
  EXPECT_EQ(otherResult, 0);
  EXPECT_TRUE(other.slotCalls().empty());
  // Once the run is over, another thread may run.
  std::thread t([&] { otherResult = exec(other.ctx(), {"-V"}, nullptr); });
  t.join();
  EXPECT_EQ(otherResult, 1);
}

}  // namespace
