// POF output of whole runs: scripted test cycles run through cycSetup and
// cycRun, their emitter calls written by the POF writers into files of a
// temporary working directory and compared with goldens (tests/data/pof).
// Goldens hold "@VERSION@" where the library's version text stands.
// Set TESSARO_UPDATE_GOLDENS=1 to rewrite them from the current output.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/version_text.h"
#include "cycle/cycle_setup.h"
#include "cycle/phase_runner.h"
#include "formats/settings/param_list.h"
#include "output/output_channels.h"
#include "output/output_emitters.h"
#include "output/output_record.h"
#include "output/pof/pof_writer.h"
#include "support/golden.h"
#include "support/temp_dir.h"
#include "support/test_cycle.h"

namespace {

using tsupport::expectGolden;
using tsupport::readFile;
using tsupport::splitLines;

int openFdCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

// Every POF writer on its channel; the NC channels only with NC output.
void registerPofChannels(CycleDescriptor* ctx, bool nc) {
  outRegisterChannel(ctx, 0, pofWriteStatus, nullptr, 1);
  outRegisterChannel(ctx, 1, pofWriteSettingLine, nullptr, 1);
  outRegisterChannel(ctx, 2, pofWriteComment, nullptr, 1);
  if (nc) outRegisterChannel(ctx, 3, pofWriteNcMark, nullptr, 1);
  outRegisterChannel(ctx, 10, pofWriteArg, nullptr, 1);
  outRegisterChannel(ctx, 11, pofWriteVariable, nullptr, 1);
  outRegisterChannel(ctx, 12, pofWriteMarker, nullptr, 1);
  outRegisterChannel(ctx, 30, pofWriteDrillPoint, nullptr, 1);
  outRegisterChannel(ctx, 31, pofWriteContourCh31, nullptr, 1);
  if (nc) outRegisterChannel(ctx, 32, pofWriteNcBlock, nullptr, 1);
  outRegisterChannel(ctx, 33, pofWriteContourCh33, nullptr, 1);
}

// A test cycle whose settings slot sets params, whose init registers the
// POF channels and sends the cycle begin and layer records like a cycle's
// init, and whose execute runs `execute`.
struct PofCycle {
  explicit PofCycle(const char* title = "Test Cycle") : cycle(&kernelCycleDescriptor, title) {}

  void setup(std::vector<std::pair<std::string, std::string>> params, bool nc,
             std::function<void(CycleDescriptor*)> execute) {
    cycle.setAction(kSlotLoadPcf, [params](CycleDescriptor* ctx) {
      for (const auto& [k, v] : params) {
        ctx->params = paramListSet(ctx->params, k.c_str(), v.c_str(), kParamOriginSettings);
      }
    });
    cycle.setAction(kSlotInit, [this, nc](CycleDescriptor* ctx) {
      registerPofChannels(ctx, nc);
      ctx->toolOutput = toolOutput;
      cycSendStatusRecord(ctx, kRecCycleBegin, "cycle", ctx->title);
      cycSendStatusRecord(ctx, 110, "layers", nc ? "3,32,12,35,36,41,42" : "12,35,36,41,42");
    });
    cycle.setAction(kSlotExecute, std::move(execute));
  }

  // cycSetup with "-Sjob" (PCF mode; the settings come from the slot) and
  // cycRun.  Returns the run code, or -1 when setup failed.
  int run() {
    char arg[] = "-Sjob";
    char* argv[] = {arg};
    if (cycSetup(cycle.ctx(), argv, 1, 0) != 1) return -1;
    return cycRun(cycle.ctx());
  }

  CycleDescriptor* ctx() { return cycle.ctx(); }

  tsupport::TestCycle cycle;
  int toolOutput = 0;
};

class PofRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pofResetLevels();
    tsupport::pinPofRunTexts();
    pofSetMoveCounter(0);
  }
  void TearDown() override {
    pofSetToolDefinitionOutput(nullptr, nullptr);
    pofResetLevels();
    pofSetTestPins(nullptr);
  }

  tsupport::ScopedWorkDir work_;
};

// An axis-flagged move (3107/3109/3114/3118 or 4007/4016/4019/4020: both
// families keep flags and values at the same offsets): x 1, y 2, z 3,
// u 0.25, v 1.25, w 2.25.
OutputRecord flaggedMove(int code, bool x, bool y, bool z, bool u, bool v, bool w) {
  OutputRecord r;
  outRecClear(&r, code);
  const bool flags[6] = {x, y, z, u, v, w};
  const std::size_t flagAt[6] = {8, 12, 16, 48, 52, 56};
  const std::size_t valueAt[6] = {24, 32, 40, 64, 72, 80};
  for (int i = 0; i < 6; ++i) {
    outRecSetI32(&r, flagAt[i], flags[i] ? 1 : 0);
    outRecSetF64(&r, valueAt[i], (i + 1) + (i >= 3 ? -3.75 : 0));
  }
  return r;
}

TEST_F(PofRunTest, CycleWithPofFilenameWritesOnlyToItsFileAndClosesItAtTheEnd) {
  PofCycle c;
  c.setup({{"pofFilename", "out.pof"},
           {"jobName", "job 1"},
           {"cycleType", "profile"},
           {"frameComment", "front"},
           {"zeroPointID", "G54"},
           {"P2", "second"},
           {"literal_1", "BFP:G90"},
           {"literal_2", "AFP:M1 (after)"},
           {"literal_3", "EOC:M30"}},
          false, [](CycleDescriptor* ctx) {
            outSendComment(ctx, "first (rough)");
            outContourBegin(ctx, "P1", nullptr, "path");
            outRapidZ(ctx, 50);
            outRapidXY(ctx, 1, 2);
            outLineXYZ(ctx, 1, 2, -0.5);
            outArcXY(ctx, 1, 3, 2, 2, 2);
            outContourEnd(ctx);
          });
  c.ctx()->frameCs.m[0][3] = 10;
  c.ctx()->frameCs.m[2][3] = -2.5;
  c.ctx()->signalIn = 0;
  const int fds = openFdCount();
  testing::internal::CaptureStdout();
  EXPECT_EQ(c.run(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(openFdCount(), fds) << "the POF file stays open";
  EXPECT_EQ(pofGetStream(), stdout);
  EXPECT_EQ(pofCycleLevel(), -1);
  expectGolden(readFile(work_.file("out.pof")), "pof/cycle_3d.pof");
}

TEST_F(PofRunTest, FileIsAppendedToAndBackslashesBecomeSlashes) {
  mkdir(work_.file("sub").c_str(), 0700);
  ASSERT_TRUE(tsupport::writeFile(work_.file("sub/a.pof"), "earlier\n"));
  PofCycle c;
  c.setup({{"pofFilename", "sub\\a.pof"}}, false, [](CycleDescriptor*) {});
  testing::internal::CaptureStdout();
  EXPECT_EQ(c.run(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  auto lines = splitLines(readFile(work_.file("sub/a.pof")));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "earlier");
  EXPECT_EQ(lines[1], "10: tech(milling)");
  EXPECT_EQ(lines.back(), "0: cycleEnd(Test Cycle)");
}

TEST_F(PofRunTest, WithoutAPofFileTheLinesGoToStandardOutput) {
  pofSetMoveCounter(0);
  PofCycle c;
  c.setup({}, false, [](CycleDescriptor* ctx) { outRapidXY(ctx, 1, 2); });
  testing::internal::CaptureStdout();
  EXPECT_EQ(c.run(), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("10: tech(milling)\n", 0), 0u) << out;
  EXPECT_NE(out.find("31: oM[1]( x[/1] y[/2] )\n"), std::string::npos);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(splitLines(out).back(), "0: cycleEnd(Test Cycle)");
  EXPECT_EQ(pofGetStream(), stdout);
}

// A POF file that cannot be opened is a failed run, never a silent switch to
// standard output: nothing is written there and the status word says 1.
TEST_F(PofRunTest, UnwritablePofFileFailsTheRunAndWritesNothingElsewhere) {
  pofSetMoveCounter(0);
  PofCycle c;
  c.setup({{"pofFilename", "missing_dir/x.pof"}}, false,
          [](CycleDescriptor* ctx) { outRapidXY(ctx, 1, 2); });
  testing::internal::CaptureStdout();
  c.run();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "");
  EXPECT_EQ(c.ctx()->statusOut.load(), 1);
  EXPECT_EQ(pofGetStream(), stdout);
}

TEST_F(PofRunTest, NcOutputOwnsTheBracketAndFiveAxisNeedsAllSixAxes) {
  PofCycle c;
  c.setup({{"pofFilename", "nc.pof"}, {"literal_1", "BFP:G90"}, {"literal_2", "AFP:M1"}}, true,
          [](CycleDescriptor* ctx) {
            outRapidZ(ctx, 50);
            outRapidXY(ctx, 1, 2);
            outLineXYZ(ctx, 1, 2, 0);
            outSendArg(ctx, "tr", "5x");
            OutputRecord r = flaggedMove(3109, true, true, true, false, false, false);
            outSendRecord(ctx, 31, &r);
            r = flaggedMove(4019, true, true, true, false, false, false);
            outSendRecord(ctx, 32, &r);
            r = flaggedMove(3118, false, false, false, true, true, true);
            outSendRecord(ctx, 31, &r);
            r = flaggedMove(4020, false, false, false, true, true, true);
            outSendRecord(ctx, 32, &r);
            outLineXY(ctx, 5, 6);
          });
  testing::internal::CaptureStdout();
  EXPECT_EQ(c.run(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  expectGolden(readFile(work_.file("nc.pof")), "pof/cycle_nc_5x.pof");
}

TEST_F(PofRunTest, GeometryBracketWaitsForAllSixAxesAfterFiveAxisSwitch) {
  PofCycle c;
  c.setup({{"pofFilename", "g5.pof"}}, false, [](CycleDescriptor* ctx) {
    outSendArg(ctx, "tr", "5X");
    outRapidXY(ctx, 1, 2);
    outRapidZ(ctx, 3);
    OutputRecord r = flaggedMove(3109, false, false, false, true, true, false);
    outSendRecord(ctx, 31, &r);
    r = flaggedMove(3109, false, false, false, false, false, true);
    outSendRecord(ctx, 31, &r);
  });
  EXPECT_EQ(c.run(), 0);
  std::vector<std::string> bracket;
  for (const std::string& l : splitLines(readFile(work_.file("g5.pof")))) {
    if (l.rfind("31: ", 0) == 0 || l.find("irstPosition") != std::string::npos)
      bracket.push_back(l);
  }
  const std::vector<std::string> expected = {
      "10: arg(I:firstPosition:=1)", "31: oM[1]( x[/1] y[/2] )",
      "31: oM[2]( z[/3] )",          "31: oM[3]( u[/0.25000000] v[/1.25000000] )",
      "31: oM[4]( w[/2.25000000] )", "10: arg(I:firstPosition:=0)",
      "10: proc(firstPosition5X)",
  };
  EXPECT_EQ(bracket, expected);
}

TEST_F(PofRunTest, MoveNumbersContinueIntoTheNextRun) {
  pofSetMoveCounter(100);
  PofCycle c;
  c.setup({{"pofFilename", "runs.pof"}}, false, [](CycleDescriptor* ctx) {
    outRapidXY(ctx, 1, 2);
    outLineZ(ctx, 3);
  });
  EXPECT_EQ(c.run(), 0);
  EXPECT_EQ(c.run(), 0);
  std::vector<std::string> moves;
  for (const std::string& l : splitLines(readFile(work_.file("runs.pof")))) {
    if (l.rfind("31: ", 0) == 0) moves.push_back(l);
  }
  const std::vector<std::string> expected = {"31: oM[101]( x[/1] y[/2] )", "31: oL[102]( z[/3] )",
                                             "31: oM[103]( x[/1] y[/2] )", "31: oL[104]( z[/3] )"};
  EXPECT_EQ(moves, expected);
}

// The pocket cycle runs inside the profile cycle: the nested run must use
// level 1 and a stream of its own, must not use up the outer run's move
// numbers, and the outer run must go on writing into its own file.
TEST_F(PofRunTest, NestedRunUsesLevelOneAndItsOwnStreamThenRestoresTheOuterOne) {
  PofCycle outer("Outer Cycle");
  PofCycle inner("Inner Cycle");
  int innerLevel = -2;
  inner.setup({{"pofFilename", "inner.pof"}}, false, [&](CycleDescriptor* ctx) {
    innerLevel = pofCycleLevel();
    outRapidZ(ctx, 5);
    outRapidXY(ctx, 3, 4);
  });
  outer.setup({{"pofFilename", "outer.pof"}}, false, [&](CycleDescriptor* ctx) {
    EXPECT_EQ(pofCycleLevel(), 0);
    outRapidZ(ctx, 50);
    outRapidXY(ctx, 1, 2);
    EXPECT_EQ(inner.run(), 0);
    EXPECT_EQ(pofCycleLevel(), 0);
    outLineXY(ctx, 7, 8);
  });
  const int fds = openFdCount();
  testing::internal::CaptureStdout();
  EXPECT_EQ(outer.run(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(innerLevel, 1);
  EXPECT_EQ(pofCycleLevel(), -1);
  EXPECT_EQ(openFdCount(), fds);
  EXPECT_EQ(pofMoveCounter(), 3);
  expectGolden(readFile(work_.file("outer.pof")), "pof/nested_outer.pof");
  expectGolden(readFile(work_.file("inner.pof")), "pof/nested_inner.pof");
}

TEST_F(PofRunTest, NestedRunAppendingToTheOuterFileKeepsTheLineOrder) {
  PofCycle outer("Outer Cycle");
  PofCycle inner("Inner Cycle");
  inner.setup({{"pofFilename", "same.pof"}}, false,
              [](CycleDescriptor* ctx) { outRapidXY(ctx, 3, 4); });
  outer.setup({{"pofFilename", "same.pof"}}, false, [&](CycleDescriptor* ctx) {
    outRapidXY(ctx, 1, 2);
    EXPECT_EQ(inner.run(), 0);
    outLineXY(ctx, 7, 8);
  });
  EXPECT_EQ(outer.run(), 0);
  std::vector<std::string> order;
  for (const std::string& l : splitLines(readFile(work_.file("same.pof")))) {
    if (l.rfind("31: ", 0) == 0 || l.rfind("0: cycle", 0) == 0) order.push_back(l);
  }
  const std::vector<std::string> expected = {
      "0: cycle(Outer Cycle)",    "31: oM[1]( x[/1] y[/2] )", "0: cycle(Inner Cycle)",
      "31: oM[2]( x[/3] y[/4] )", "0: cycleEnd(Inner Cycle)", "31: oL[2]( x[/7] y[/8] )",
      "0: cycleEnd(Outer Cycle)",
  };
  EXPECT_EQ(order, expected);
}

// Tool definition hooks of the test: count the writes and releases.
int gToolWrites = 0;
int gToolReleases = 0;
int gToolRecordStorage = 0;
ToolRecord* const kToolRecord = reinterpret_cast<ToolRecord*>(&gToolRecordStorage);

void testToolWrite(std::FILE* stream, CycleDescriptor* ctx) {
  ++gToolWrites;
  EXPECT_EQ(stream, pofGetStream());
  ctx->toolRecord = kToolRecord;
  outSendVariableText(ctx, "oTool[7]( type[ballMill] ) {");
  outSendVariableText(ctx, "}");
}

void testToolRelease(ToolRecord* rec) {
  ++gToolReleases;
  EXPECT_EQ(rec, kToolRecord);
}

// A job whose parameters are missing sends one abort record per missing
// key, and the close slot then sends the end record: the closing lines come
// once, every later line still goes into the run's file, and the tool
// record is released once.
TEST_F(PofRunTest, AbortRecordsCloseTheLevelOnceAndKeepTheFileUntilTheEnd) {
  gToolWrites = gToolReleases = 0;
  pofSetToolDefinitionOutput(testToolWrite, testToolRelease);
  PofCycle c;
  c.toolOutput = 1;
  c.setup({{"pofFilename", "abort.pof"}, {"literal_1", "BTC:T7"}, {"literal_2", "EOC:M30"}}, false,
          [](CycleDescriptor*) { ADD_FAILURE() << "execute after a failed read"; });
  c.cycle.setAction(kSlotReadPcfParams, [](CycleDescriptor* ctx) {
    ctx->statusOut = 2;
    EXPECT_EQ(cycSendStatusRecord(ctx, kRecAbort, "error", "1,(polySource)"), 0);
    EXPECT_EQ(pofCycleLevel(), -1);
    EXPECT_EQ(ctx->toolRecord, nullptr);
    EXPECT_EQ(cycSendStatusRecord(ctx, kRecAbort, "error", "1,(toolDiameter)"), 0);
  });
  c.cycle.setResult(kSlotReadPcfParams, 0);
  c.ctx()->signalIn = 3;
  const int fds = openFdCount();
  testing::internal::CaptureStdout();
  EXPECT_EQ(c.run(), kRunReadParams);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(openFdCount(), fds);
  EXPECT_EQ(gToolWrites, 1);
  EXPECT_EQ(gToolReleases, 1);
  EXPECT_EQ(pofCycleLevel(), -1);
  EXPECT_EQ(pofGetStream(), stdout);
  expectGolden(readFile(work_.file("abort.pof")), "pof/abort.pof");
}

TEST_F(PofRunTest, NestedAbortKeepsTheOuterLevelAndStream) {
  PofCycle outer("Outer Cycle");
  PofCycle inner("Inner Cycle");
  inner.setup({{"pofFilename", "inner.pof"}}, false, [](CycleDescriptor*) {});
  inner.cycle.setAction(kSlotReadPcfParams, [](CycleDescriptor* ctx) {
    cycSendStatusRecord(ctx, kRecAbort, "error", "1,(polySource)");
    EXPECT_EQ(pofCycleLevel(), 0);
  });
  inner.cycle.setResult(kSlotReadPcfParams, 0);
  outer.setup({{"pofFilename", "outer.pof"}}, false, [&](CycleDescriptor* ctx) {
    EXPECT_EQ(inner.run(), kRunReadParams);
    EXPECT_EQ(pofCycleLevel(), 0);
    outRapidXY(ctx, 1, 2);
  });
  testing::internal::CaptureStdout();
  EXPECT_EQ(outer.run(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(pofCycleLevel(), -1);
  auto innerLines = splitLines(readFile(work_.file("inner.pof")));
  ASSERT_FALSE(innerLines.empty());
  EXPECT_EQ(innerLines.back(), "0: cycleEnd(Inner Cycle)");
  const std::string outerText = readFile(work_.file("outer.pof"));
  EXPECT_NE(outerText.find("31: oM[1]( x[/1] y[/2] )\n"), std::string::npos);
  EXPECT_EQ(outerText.find("Inner Cycle"), std::string::npos);
  EXPECT_EQ(splitLines(outerText).back(), "0: cycleEnd(Outer Cycle)");
}

// NC blocks on a channel that the layer list does not name: the geometry
// channel opens the bracket, the NC writer joins it, and it is closed once,
// after the NC block that completes the position.
TEST_F(PofRunTest, NcWriterJoinsABracketOpenedByTheGeometry) {
  tsupport::TestCycle t;
  CycleDescriptor* ctx = t.ctx();
  ctx->firstRecord = 0;
  registerPofChannels(ctx, true);
  const std::string path = work_.file("join.pof");
  std::FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_EQ(pofSetStream(f), 1);
  tsupport::sendTextRecord(ctx, 0, kRecCycleBegin, "cycle", "c");
  tsupport::sendTextRecord(ctx, 0, 110, "layers", "12,35,36");
  outRapidZ(ctx, 50);
  outRapidXY(ctx, 1, 2);
  outLineXY(ctx, 3, 4);
  pofSetStream(stdout);
  std::fclose(f);
  std::vector<std::string> tail;
  bool seen = false;
  for (const std::string& l : splitLines(readFile(path))) {
    seen = seen || l == "0: layers(12,35,36)";
    if (seen) tail.push_back(l);
  }
  const std::vector<std::string> expected = {
      "0: layers(12,35,36)",         "10: nctx(BFP)",       "10: nctx(0)",
      "10: arg(I:firstPosition:=1)", "31: oM[1]( z[/50] )", "32: G0 Z50",
      "31: oM[2]( x[/1] y[/2] )",    "32: G0 X1 Y2",        "10: arg(I:firstPosition:=0)",
      "10: proc(firstPosition3D)",   "10: nctx(AFP)",       "10: nctx(0)",
      "31: oL[3]( x[/3] y[/4] )",    "32: G1 X3 Y4",
  };
  EXPECT_EQ(tail, expected);
}

// A nested level whose run never sent its end record is finished with the
// enclosing level: its file is closed, and the closing lines of the outer
// level go into the outer file.
TEST_F(PofRunTest, OuterEndFinishesANestedLevelThatNeverEnded) {
  tsupport::TestCycle a, b;
  a.ctx()->params = paramListSet(nullptr, "pofFilename", "a.pof", kParamOriginSettings);
  b.ctx()->params = paramListSet(nullptr, "pofFilename", "b.pof", kParamOriginSettings);
  for (CycleDescriptor* ctx : {a.ctx(), b.ctx()}) {
    ctx->firstRecord = 0;
    registerPofChannels(ctx, false);
  }
  const int fds = openFdCount();
  tsupport::sendTextRecord(a.ctx(), 0, kRecCycleBegin, "cycle", "A");
  tsupport::sendTextRecord(b.ctx(), 0, kRecCycleBegin, "cycle", "B");
  EXPECT_EQ(pofCycleLevel(), 1);
  tsupport::sendTextRecord(a.ctx(), 0, kRecCycleEnd, "cycleEnd", "A");
  EXPECT_EQ(pofCycleLevel(), -1);
  EXPECT_EQ(pofGetStream(), stdout);
  EXPECT_EQ(openFdCount(), fds);
  const auto aLines = splitLines(readFile(work_.file("a.pof")));
  ASSERT_GE(aLines.size(), 2u);
  EXPECT_EQ(aLines[aLines.size() - 2], "10: nctx(0)");
  EXPECT_EQ(aLines.back(), "0: cycleEnd(A)");
  EXPECT_EQ(splitLines(readFile(work_.file("b.pof"))).back(), "10: del(S:P%d[1;20;1])");
}

// Levels beyond the room of two share the nested level's state; no record
// ever lowers the level below "none", and records without a level use the
// outer level's state.
TEST_F(PofRunTest, LevelIndexStaysWithinItsRoom) {
  tsupport::TestCycle a, b, c;
  CycleDescriptor* ctxs[] = {a.ctx(), b.ctx(), c.ctx()};
  const std::string path = work_.file("levels.pof");
  std::FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_EQ(pofSetStream(f), 1);
  for (CycleDescriptor* ctx : ctxs) {
    ctx->firstRecord = 0;
    registerPofChannels(ctx, true);
  }
  outRapidXY(ctxs[0], 9, 9);  // no level yet
  for (int i = 0; i < 3; ++i) {
    tsupport::sendTextRecord(ctxs[i], 0, kRecCycleBegin, "cycle", "c");
    EXPECT_EQ(pofCycleLevel(), i);
  }
  outRapidXY(ctxs[2], 1, 2);
  outRapidZ(ctxs[2], 3);
  outSendArg(ctxs[2], "tr", "5X");
  for (int i = 2; i >= 0; --i) {
    tsupport::sendTextRecord(ctxs[i], 0, kRecCycleEnd, "cycleEnd", "c");
    EXPECT_EQ(pofCycleLevel(), i - 1);
  }
  EXPECT_EQ(tsupport::sendTextRecord(ctxs[0], 0, kRecAbort, "error", "x"), 0);
  tsupport::sendTextRecord(ctxs[0], 0, kRecCycleEnd, "cycleEnd", "c");
  EXPECT_EQ(pofCycleLevel(), -1);
  pofSetStream(stdout);
  std::fclose(f);
  const std::string text = readFile(path);
  // The last two records found no level: only their own lines.
  const auto lines = splitLines(text);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[lines.size() - 4], "10: nctx(0)");
  EXPECT_EQ(lines[lines.size() - 3], "0: cycleEnd(c)");
  EXPECT_EQ(lines[lines.size() - 2], "0: error(x)");
  EXPECT_EQ(lines[lines.size() - 1], "0: cycleEnd(c)");
}

}  // namespace
