#include "output/kfy/kfy_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/kfy/kfy_file.h"
#include "formats/settings/param_list.h"
#include "output/output_channels.h"
#include "output/output_emitters.h"
#include "output/output_record.h"
#include "support/temp_dir.h"
#include "support/test_cycle.h"

namespace {

using V = std::vector<std::string>;

class KfyWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kfyWritersReset();
    ctx_.outputMode = kOutputKfy;
    outRegisterChannel(&ctx_, 0, nullptr, kfyWriteStatus, 1);
    outRegisterChannel(&ctx_, 2, nullptr, kfyWriteComment, 1);
    outRegisterChannel(&ctx_, 10, nullptr, kfyWriteArg, 1);
    outRegisterChannel(&ctx_, 11, nullptr, kfyWriteVariable, 1);
    outRegisterChannel(&ctx_, 30, nullptr, kfyWriteDrillPoint, 1);
    outRegisterChannel(&ctx_, 31, nullptr, kfyWriteContour, 1);
    outRegisterChannel(&ctx_, 32, nullptr, kfyWriteNcBlock, 1);
  }
  void TearDown() override {
    kfyWritersReset();
    outFreeChannels(&ctx_);
    paramListFree(ctx_.params);
  }
  void param(const char* k, const char* v) { ctx_.params = paramListSet(ctx_.params, k, v, 21); }
  void status(int code, const char* n, const char* v) {
    tsupport::sendTextRecord(&ctx_, 0, code, n, v);
  }
  void flagged(uint16_t channel, int code, bool x, bool y, bool z) {
    OutputRecord r;
    outRecClear(&r, code);
    outRecSetI32(&r, kRecAxFlagX, x);
    outRecSetI32(&r, kRecAxFlagY, y);
    outRecSetI32(&r, kRecAxFlagZ, z);
    outRecSetF64(&r, kRecAxX, 1);
    outRecSetF64(&r, kRecAxY, 2);
    outRecSetF64(&r, kRecAxZ, -3.5);
    outSendRecord(&ctx_, channel, &r);
  }
  V lines(const char* name) { return tsupport::splitLines(tsupport::readFile(work_.file(name))); }

  tsupport::ScopedWorkDir work_;
  CycleDescriptor ctx_{};
};

TEST_F(KfyWriterTest, FileFromCycleBeginToCycleEnd) {
  param("geoOut", "out.kfy");
  param("precision", "3");
  ASSERT_TRUE(tsupport::writeFile(work_.file("out.kfy"), "earlier content\n"));
  status(103, "cycle", "My Cycle");
  status(110, "layers", "12,35");
  status(109, "msgFile", "qzcyc.loc");
  status(105, "precision", "3");
  outSendComment(&ctx_, "a\tb (c)");
  outSendArg(&ctx_, "tr", "FX");
  outSendToolVariable(&ctx_, "toolDiameter", "10");
  outSendVariableText(&ctx_, "oTool[1]( ) {");
  outContourBegin(&ctx_, "P1", nullptr, "path");
  outContourBegin(&ctx_, nullptr, nullptr, nullptr);
  outRapidXY(&ctx_, 1, 2);
  outLineZ(&ctx_, -1);
  flagged(31, kRecLineAxes, false, false, true);
  flagged(32, kRecNcLineAxes, false, false, true);
  flagged(32, kRecNcRapidAxes, true, true, false);
  outArcXY(&ctx_, 1, 3, 4, 5, 6);
  outArcXY(&ctx_, 0, 3, 4, 5, 6);
  OutputRecord g100;
  outRecClear(&g100, kRecNcG100Z);
  outSendRecord(&ctx_, 32, &g100);
  outSendNcText(&ctx_, "M3");
  outSendVariable(&ctx_, "depth", "2");
  outContourEnd(&ctx_);
  OutputRecord drill;
  outRecClear(&drill, kRecDrillPoint);
  outRecSetI32(&drill, kRecGeoFlag, 1);
  outRecSetF64(&drill, kRecGeoX, 1);
  outRecSetF64(&drill, kRecGeoY, 2);
  outRecSetF64(&drill, kRecGeoZ, 3);
  outRecSetF64(&drill, kRecGeoW, 2.5);
  outSendRecord(&ctx_, 30, &drill);
  status(104, "cycleEnd", "My Cycle");
  outSendArg(&ctx_, "after", "end");  // no file open: nothing
  EXPECT_EQ(lines("out.kfy"), (V{kfyBanner,
                                 "kFY-Version: 1.0",
                                 "Geometry",
                                 "My Cycle",
                                 "",
                                 "vprecision(3)",
                                 "",
                                 " oPOF( L0[ cycle(My Cycle) ] )",
                                 " oPOF( L0[ msgFile(qzcyc.loc) ] )",
                                 "vprecision(3)",
                                 " oPOF( L2[a\\009b \\040c\\041] )",
                                 " oPOF( L10[ tr(FX) ] )",
                                 " oPOF( L11[ vtoolDiameter(10) ] )",
                                 " oPOF( L11[ oTool[1]( ) { ] )",
                                 "oContour[P1]( u[path] )",
                                 "{",
                                 "oContour( )",
                                 "{",
                                 "   oM( x[/1] y[/2] )",
                                 " oPOF( L32[ G0 X1 Y2 ] )",
                                 "   oL( z[/-1] )",
                                 " oPOF( L32[ G1 Z-1 ] )",
                                 "   oL( z[/-3.5] )",
                                 " oPOF( L32[ G1 Z-3.5 ] )",
                                 " oPOF( L32[ G0 X1 Y2 ] )",
                                 "   oA( o[-] x[/3/5] y[/4/6] )",
                                 " oPOF( L32[ G2 X3 Y4 I5 J6 ] )",
                                 "   oA( o[+] x[/3/5] y[/4/6] )",
                                 " oPOF( L32[ G3 X3 Y4 I5 J6 ] )",
                                 " oPOF( L32[M3] )",
                                 "   vdepth( 2 )",
                                 "}",
                                 "   oP( x[1] y[2] z[3] s[2.5] u[d] )",
                                 " oPOF( L0[ cycleEnd(My Cycle) ] )"}));
  EXPECT_EQ(tsupport::readFile(work_.file(kPofBypassFile)), "");
}

TEST_F(KfyWriterTest, AbortWritesTheBypassLinesWithoutLayersAndClosesTheFile) {
  param("geoOut", "out.kfy");
  ASSERT_TRUE(tsupport::writeFile(work_.file(kPofBypassFile), "old\n"));
  status(103, "cycle", "C");
  status(110, "layers", "12");
  status(100, "plain", "x");
  status(112, "cfgSource", "job");
  status(101, "error", "332,a.3df");
  status(102, "error", "1,(polySource)");
  outSendArg(&ctx_, "late", "1");
  EXPECT_EQ(lines(kPofBypassFile),
            (V{"0: cycle(C)", "0: error(332,a.3df)", "0: error(1,(polySource))"}));
  const V file = lines("out.kfy");
  EXPECT_EQ(file.back(), " oPOF( L0[ error(332,a.3df) ] )") << "closed before the abort line";
  // A further failure of the same run is added, never put in place of the
  // first ones.
  status(102, "error", "1,(toolDiameter)");
  EXPECT_EQ(lines(kPofBypassFile), (V{"0: cycle(C)", "0: error(332,a.3df)",
                                      "0: error(1,(polySource))", "0: error(1,(toolDiameter))"}));
  // The next run starts a new file.
  status(103, "cycle", "D");
  status(102, "x", "y");
  EXPECT_EQ(lines(kPofBypassFile), (V{"0: cycle(D)", "0: x(y)"}));
  pofBypassFree();
  pofBypassWrite();
  EXPECT_EQ(tsupport::readFile(work_.file(kPofBypassFile)), "");
}

TEST_F(KfyWriterTest, WithoutGeoOutNothingIsWritten) {
  status(103, "cycle", "C");
  outSendArg(&ctx_, "tr", "FX");
  status(104, "cycleEnd", "C");
  EXPECT_EQ(lines("out.kfy"), V{});
}

TEST_F(KfyWriterTest, ASecondCycleBeginStartsTheFileAgain) {
  param("geoOut", "out.kfy");
  status(103, "cycle", "First");
  outSendArg(&ctx_, "a", "1");
  status(103, "cycle", "Second");
  status(104, "cycleEnd", "Second");
  const V file = lines("out.kfy");
  ASSERT_GE(file.size(), 4u);
  EXPECT_EQ(file[3], "Second");
  EXPECT_EQ(file.size(), 7u);
}

// The output file never replaces an input of the job, whether named by the
// same text or by another path to the same file.
TEST_F(KfyWriterTest, OutputNamingAnInputIsRefused) {
  ASSERT_TRUE(tsupport::writeFile(work_.file("in.kfy"), "input\n"));
  const struct {
    const char* key;
    const char* geoOut;
  } rows[] = {
      {"sourceGeometry", "in.kfy"}, {"sourceGeometry", "./in.kfy"}, {"polySource", "in.kfy"}};
  for (const auto& row : rows) {
    paramListFree(ctx_.params);
    ctx_.params = nullptr;
    param(row.key, "in.kfy");
    param("geoOut", row.geoOut);
    EXPECT_EQ(kfyOutputIsJobInput(&ctx_), 1) << row.key << " " << row.geoOut;
    status(103, "cycle", "C");
    status(104, "cycleEnd", "C");
    EXPECT_EQ(tsupport::readFile(work_.file("in.kfy")), "input\n");
  }
  ctx_.outputMode = kOutputPof;
  EXPECT_EQ(kfyOutputIsJobInput(&ctx_), 0) << "no kFY file in POF mode";
  ctx_.outputMode = kOutputKfy;
  param("geoOut", "other.kfy");
  EXPECT_EQ(kfyOutputIsJobInput(&ctx_), 0);
}

}  // namespace
