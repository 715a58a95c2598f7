// A scripted cycle run through qzCSexecCycle with the kernel's POF writers:
// the run code shows in the status word, the POF stream carries the cycle's
// lines, and the host callbacks receive the same records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/version_text.h"
#include "output/output_channels.h"
#include "output/output_record.h"
#include "output/pof/pof_writer.h"
#include "support/temp_dir.h"
#include "support/test_cycle.h"
#include "tessaro.h"

namespace {

using tsupport::ScopedWorkDir;
using tsupport::TestCycle;

std::vector<std::string>* gStatusLines = nullptr;

// fn1 receives every channel-0 record; each becomes the "0: name(value)"
// line the POF writer prints for it.
int collectStatus(void*, int channel, OutputRecord* record, intptr_t) {
  if (gStatusLines != nullptr && channel == 0) {
    gStatusLines->push_back(std::string("0: ") + outRecText(record, kRecName) + "(" +
                            outRecText(record, kRecValue) + ")");
  }
  return 1;
}

struct RunCase {
  const char* name;
  int failingSlot;  // -1: none
  int cycleResult;  // stored by execute with cycSetSignalOut; 1: nothing stored
  int32_t signal;   // signal word set before the run
  const char* sigstat;
  int status;
};

class PofRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(PofRun, StatusWordPofLinesAndHostRecordsAgree) {
  ScopedWorkDir dir;
  const RunCase& c = GetParam();
  TestCycle cycle(&kernelCycleDescriptor, "Scripted Cycle");
  cycle.setAction(kSlotInit, [](CycleDescriptor* ctx) {
    outRegisterChannel(ctx, kChanStatus, pofWriteStatus, nullptr, 1);
    outRegisterChannel(ctx, kChanSettings, pofWriteSettingLine, nullptr, 1);
    outRegisterChannel(ctx, kChanArguments, pofWriteArg, nullptr, 1);
    tsupport::sendTextRecord(ctx, kChanStatus, kRecCycleBegin, "cycle", ctx->title);
  });
  if (c.failingSlot >= 0) cycle.setResult(c.failingSlot, 0);
  if (c.cycleResult != 1) {
    cycle.setAction(kSlotExecute,
                    [&c](CycleDescriptor* ctx) { cycSetSignalOut(ctx, c.cycleResult); });
  }
  cycle.ctx()->signalIn.store(c.signal);

  std::FILE* stream = std::fopen("run.pof", "w+");
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(pofSetStream(stream), 1);
  std::vector<std::string> records;
  gStatusLines = &records;
  HostCallbackSet set = {nullptr, 0, collectStatus, 0, nullptr, 0};
  char arg[] = "-Sjob";
  char* argv[] = {arg};
  EXPECT_EQ(qzCSexecCycle(cycle.ctx(), 1, argv, &set), 1);
  gStatusLines = nullptr;
  std::fflush(stream);
  pofSetStream(nullptr);
  std::fclose(stream);
  pofResetLevels();

  EXPECT_EQ(qzCSgetSignal(cycle.ctx()), c.status);
  const std::vector<std::string> pof = tsupport::splitLines(tsupport::readFile("run.pof"));
  ASSERT_FALSE(pof.empty());
  EXPECT_EQ(pof.back(), "0: cycleEnd(Scripted Cycle)");
  std::vector<std::string> statusLines;
  for (const std::string& line : pof) {
    if (line.rfind("0: ", 0) == 0) statusLines.push_back(line);
  }
  EXPECT_EQ(statusLines.front(), "0: cycle(Scripted Cycle)");
  bool sawRelease = false, sawSigstat = false;
  for (const std::string& line : statusLines) {
    sawRelease = sawRelease || line == std::string("0: release(4711-") + cycVersionText() + ")";
    sawSigstat = sawSigstat || line == c.sigstat;
  }
  EXPECT_TRUE(sawRelease);
  EXPECT_TRUE(sawSigstat) << c.sigstat;
  // Every record fn1 received is a status line of the stream.  (The order
  // differs: the cycle begin record reaches the host after the records its
  // writer sends.)
  std::multiset<std::string> onStream(statusLines.begin(), statusLines.end());
  for (const std::string& r : records) {
    const auto it = onStream.find(r);
    EXPECT_NE(it, onStream.end()) << "record not on the stream: " << r;
    if (it != onStream.end()) onStream.erase(it);
  }
  EXPECT_EQ(std::count(records.begin(), records.end(), "0: cycle(Scripted Cycle)"), 1);
  EXPECT_EQ(records.back(), "0: cycleEnd(Scripted Cycle)");
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PofRun,
    ::testing::Values(RunCase{"Done", -1, 1, 0, "0: sigstat(0,0)", 0},
                      RunCase{"ReadFails", kSlotReadPcfParams, 1, 0, "0: sigstat(0,1)", 1},
                      RunCase{"PrepareFails", kSlotPrepare, 1, 0, "0: sigstat(0,1)", 1},
                      RunCase{"Cancelled", -1, -2, 100, "0: sigstat(100,100)", 100},
                      RunCase{"CycleFailed", -1, -1, 0, "0: sigstat(0,1)", 1}),
    [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

}  // namespace
