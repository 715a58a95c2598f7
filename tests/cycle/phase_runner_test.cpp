#include "cycle/phase_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/messages.h"
#include "cycle/cycle_setup.h"
#include "output/output_channels.h"
#include "output/output_record.h"
#include "support/temp_dir.h"
#include "support/test_cycle.h"

namespace {

using tsupport::ScopedWorkDir;
using tsupport::TestCycle;
using V = std::vector<int>;

int setup(CycleDescriptor* ctx, std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  return cycSetup(ctx, argv.data(), static_cast<int>(argv.size()), 0);
}

// Events after setup, as cycRun raises them (the first record of the run
// raises 312 inside init, where the settings echo sends its records).
const V kInit = {kEventInitBegin, kEventFirstRecord, kEventInitEnd};
const V kRead = {kEventReadParamsBegin, kEventReadParamsEnd};
const V kPrepare = {kEventPrepareBegin, kEventPrepareEnd};
const V kExecute = {kEventExecuteBegin, kEventExecuteEnd};
const V kPost = {kEventPostExecuteBegin, kEventPostExecuteEnd};
const V kClose = {kEventCloseBegin, kEventCloseEnd};
const V kCleanup = {kEventCleanupBegin, kEventCleanupEnd};

V join(std::initializer_list<V> parts) {
  V out;
  for (const V& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct RunCase {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::pair<int, int>> results;  // (slot, result) overrides
  int code;
  V slots;   // slots called by cycRun
  V events;  // events raised by cycRun
  int status;
};

class RunTable : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunTable, CodesSlotsEventsAndStatus) {
  ScopedWorkDir dir;
  const RunCase& c = GetParam();
  TestCycle cycle;
  for (auto [slot, result] : c.results) cycle.setResult(slot, result);
  ASSERT_EQ(setup(cycle.ctx(), c.args), 1);
  cycle.clearLog();
  cycle.recordEvents();
  EXPECT_EQ(cycRun(cycle.ctx()), c.code);
  EXPECT_EQ(cycle.slotCalls(), c.slots);
  EXPECT_EQ(cycle.events(), c.events);
  EXPECT_EQ(cycle.ctx()->statusOut.load(), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RunTable,
    ::testing::Values(
        RunCase{"AllPhasesSucceed",
                {"-Sjob"},
                {},
                kRunOk,
                {1, 10, 12, 13, 14, 15},
                join({kInit, kRead, kPrepare, kExecute, kPost, kClose, kCleanup}),
                0},
        RunCase{"CfgModeReadsSlot11",
                {"-Sjob.cfg"},
                {},
                kRunOk,
                {1, 11, 12, 13, 14, 15},
                join({kInit, kRead, kPrepare, kExecute, kPost, kClose, kCleanup}),
                0},
        RunCase{"InitResultIsIgnored",
                {"-Sjob"},
                {{1, 0}},
                kRunOk,
                {1, 10, 12, 13, 14, 15},
                join({kInit, kRead, kPrepare, kExecute, kPost, kClose, kCleanup}),
                0},
        RunCase{"ReadFailsCloseStillRuns",
                {"-Sjob"},
                {{10, 0}, {15, 0}},
                kRunReadParams,
                {1, 10, 15},
                join({kInit, kRead, kClose, kCleanup}),
                1},
        RunCase{"PrepareFails",
                {"-Sjob"},
                {{12, 0}},
                kRunPrepare,
                {1, 10, 12, 15},
                join({kInit, kRead, kPrepare, kClose, kCleanup}),
                1},
        RunCase{"ExecuteFails",
                {"-Sjob"},
                {{13, 0}},
                kRunExecute,
                {1, 10, 12, 13, 15},
                join({kInit, kRead, kPrepare, kExecute, kClose, kCleanup}),
                1},
        RunCase{"PostFails",
                {"-Sjob"},
                {{14, 0}},
                kRunPostExecute,
                {1, 10, 12, 13, 14, 15},
                join({kInit, kRead, kPrepare, kExecute, kPost, kClose, kCleanup}),
                1},
        RunCase{"OnlyCloseFails",
                {"-Sjob"},
                {{15, 0}},
                kRunClose,
                {1, 10, 12, 13, 14, 15},
                join({kInit, kRead, kPrepare, kExecute, kPost, kClose, kCleanup}),
                1},
        RunCase{"NoArgumentsAnswerVAndQuery",
                {},
                {},
                kRunOk,
                {4, 5},
                join({{kEventOptionVBegin, kEventOptionVEnd},
                      {kEventOptionQueryBegin, kEventOptionQueryEnd},
                      kCleanup}),
                0},
        RunCase{"VSucceedsAFails",
                {"-V", "-A"},
                {{7, 0}},
                kRunOptionA,
                {4, 7},
                join({{kEventOptionVBegin, kEventOptionVEnd},
                      {kEventOptionABegin, kEventOptionAEnd},
                      kCleanup}),
                1},
        RunCase{"OptionsInSlotOrder",
                {"-D", "-Y", "-A", "-P", "-?", "-V", "-Sjob"},
                {},
                kRunOk,
                {4, 5, 6, 7, 8, 9},
                join({{211, 219, 221, 229, 231, 239, 241, 249, 251, 259, 261, 269}, kCleanup}),
                0},
        RunCase{"FirstFailingOptionStops",
                {"-V", "-D"},
                {{4, 0}},
                kRunOptionV,
                {4},
                join({{kEventOptionVBegin, kEventOptionVEnd}, kCleanup}),
                1},
        RunCase{"DFails",
                {"-D"},
                {{9, 0}},
                kRunOptionD,
                {9},
                join({{kEventOptionDBegin, kEventOptionDEnd}, kCleanup}),
                1}),
    [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

TEST(PhaseRunner, OptionCodeIsSlotPlusSeven) {
  ScopedWorkDir dir;
  const struct {
    const char* option;
    int slot;
    int code;
  } rows[] = {{"-V", 4, 11}, {"-?", 5, 12}, {"-P", 6, 13},
              {"-A", 7, 14}, {"-Y", 8, 15}, {"-D", 9, 16}};
  for (const auto& row : rows) {
    TestCycle cycle;
    cycle.setResult(row.slot, 0);
    ASSERT_EQ(setup(cycle.ctx(), {row.option}), 1);
    EXPECT_EQ(cycRun(cycle.ctx()), row.code) << row.option;
  }
}

TEST(PhaseRunner, ReadFailureLeavesStatusOneNotDone) {
  ScopedWorkDir dir;
  TestCycle cycle;
  cycle.setResult(kSlotReadPcfParams, 0);
  cycle.ctx()->statusOut.store(0);
  ASSERT_EQ(setup(cycle.ctx(), {"-Sjob"}), 1);
  EXPECT_EQ(cycRun(cycle.ctx()), kRunReadParams);
  EXPECT_EQ(cycle.ctx()->statusOut.load(), 1);
}

TEST(PhaseRunner, EveryRunClearsAStaleStatus) {
  ScopedWorkDir dir;
  // Phase mode and option mode alike: a stop of an earlier run is not the
  // outcome of this one.
  for (const char* arg : {"-Sjob", "-V"}) {
    TestCycle cycle;
    cycle.ctx()->statusOut.store(100);
    ASSERT_EQ(setup(cycle.ctx(), {arg}), 1);
    EXPECT_EQ(cycRun(cycle.ctx()), kRunOk);
    EXPECT_EQ(cycle.ctx()->statusOut.load(), 0) << arg;
  }
}

TEST(PhaseRunner, StatusSetByTheCycleIsKept) {
  ScopedWorkDir dir;
  struct Row {
    int executeResult;  // what the execute slot returns
    int cycleResult;    // what it stores with cycSetSignalOut
    int status;
  };
  for (const Row& row : {Row{1, -2, 100}, Row{0, -2, 100}, Row{1, -1, 1}, Row{0, 0, 1}}) {
    TestCycle cycle;
    cycle.setResult(kSlotExecute, row.executeResult);
    cycle.setAction(kSlotExecute,
                    [&](CycleDescriptor* ctx) { cycSetSignalOut(ctx, row.cycleResult); });
    ASSERT_EQ(setup(cycle.ctx(), {"-Sjob"}), 1);
    cycRun(cycle.ctx());
    EXPECT_EQ(cycle.ctx()->statusOut.load(), row.status)
        << row.executeResult << " " << row.cycleResult;
  }
}

TEST(PhaseRunner, RunDataAreFreedAfterTheRun) {
  ScopedWorkDir dir;
  TestCycle cycle;
  cycle.setResult(kSlotPrepare, 0);
  ASSERT_EQ(setup(cycle.ctx(), {"pos", "-Sjob"}), 1);
  cycRun(cycle.ctx());
  EXPECT_EQ(cycle.ctx()->args, nullptr);
  EXPECT_EQ(cycle.ctx()->settingsFile, nullptr);
}

TEST(PhaseRunner, OutermostRunIsKeptByNestedRuns) {
  ScopedWorkDir dir;
  TestCycle outer, inner;
  CycleDescriptor* seenInInnerInit = nullptr;
  CycleDescriptor* seenAfterInner = nullptr;
  CycleDescriptor* seenInOuterInit = nullptr;
  int innerCode = -1;
  outer.setAction(kSlotInit, [&](CycleDescriptor*) { seenInOuterInit = cycGetOutermostRun(); });
  inner.setAction(kSlotInit, [&](CycleDescriptor*) { seenInInnerInit = cycGetOutermostRun(); });
  outer.setAction(kSlotExecute, [&](CycleDescriptor*) {
    if (setup(inner.ctx(), {"inner", "-sinner", "-POF"}) == 1) innerCode = cycRun(inner.ctx());
    seenAfterInner = cycGetOutermostRun();
  });
  EXPECT_EQ(cycGetOutermostRun(), nullptr);
  ASSERT_EQ(setup(outer.ctx(), {"-Sjob"}), 1);
  EXPECT_EQ(cycRun(outer.ctx()), kRunOk);
  EXPECT_EQ(innerCode, kRunOk);
  EXPECT_EQ(seenInOuterInit, outer.ctx());
  EXPECT_EQ(seenInInnerInit, outer.ctx());
  EXPECT_EQ(seenAfterInner, outer.ctx());
  EXPECT_EQ(cycGetOutermostRun(), nullptr);
}

TEST(PhaseRunner, OptionModeDoesNotRecordAnOutermostRun) {
  ScopedWorkDir dir;
  TestCycle cycle;
  CycleDescriptor* seen = &kernelCycleDescriptor;
  cycle.setAction(kSlotOptionV, [&](CycleDescriptor*) { seen = cycGetOutermostRun(); });
  ASSERT_EQ(setup(cycle.ctx(), {"-V"}), 1);
  cycRun(cycle.ctx());
  EXPECT_EQ(seen, nullptr);
}

OutputRecord gLastRecord;
int gRecordCount = 0;
int captureWriter(CycleDescriptor*, OutputRecord* record) {
  gLastRecord = *record;
  ++gRecordCount;
  return 1;
}
int countListener(CycleDescriptor*, OutputRecord*, intptr_t user) {
  ++*reinterpret_cast<int*>(user);
  return 1;
}

TEST(PhaseRunner, BaseCloseSendsCycleEndThenFreesTheRegistry) {
  TestCycle cycle(&kernelCycleDescriptor, "Closing Cycle");
  int heard = 0;
  gRecordCount = 0;
  ASSERT_EQ(outRegisterChannel(cycle.ctx(), kChanStatus, captureWriter, captureWriter, 1), 1);
  ASSERT_EQ(outAddListener(cycle.ctx(), kChanStatus, countListener,
                           reinterpret_cast<intptr_t>(&heard), nullptr, 0),
            1);
  EXPECT_EQ(cycBaseClose(cycle.ctx()), 1);
  EXPECT_EQ(gRecordCount, 1);
  EXPECT_EQ(heard, 1);
  EXPECT_EQ(gLastRecord.code, kRecCycleEnd);
  EXPECT_STREQ(outRecText(&gLastRecord, kRecName), "cycleEnd");
  EXPECT_STREQ(outRecText(&gLastRecord, kRecValue), "Closing Cycle");
  EXPECT_EQ(cycle.ctx()->channels, nullptr);
  // A second close has nothing left to send to.
  EXPECT_EQ(cycBaseClose(cycle.ctx()), 1);
  EXPECT_EQ(gRecordCount, 1);
}

}  // namespace
