#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "cycles/common3d/common3d_record.h"
#include "cycles/common3d/common_cycle_descriptor.h"
#include "formats/kfy/kfy_file.h"
#include "formats/settings/cfg_lines.h"
#include "formats/settings/param_list.h"
#include "output/adapter/adapter_state.h"
#include "output/adapter/output_adapter.h"
#include "output/kfy/kfy_writer.h"
#include "output/output_channels.h"
#include "output/pof/pof_writer.h"
#include "support/common3d_run.h"
#include "support/record_capture.h"
#include "support/temp_dir.h"

namespace {

using tsupport::Params;
using tsupport::readFile;
using tsupport::splitLines;
using V = std::vector<std::string>;

const std::string kModel = std::string(kfyBanner) +
                           "\nkFY-Version: 1.0\nGeometry\nsurfaces\n"
                           "oPolyhedron[top](nFace[1])\n{\n oPset[1]()\n {\n"
                           "  oP[1](x[0] y[0] z[1])\n  oP[2](x[10] y[0] z[1])\n"
                           "  oP[3](x[10] y[10] z[2])\n }\n oFace(vx[1/1] vx[1/2] vx[1/3])\n}\n";

bool has(const V& lines, const std::string& line) {
  for (const std::string& l : lines) {
    if (l == line) return true;
  }
  return false;
}

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') out.push_back(e->d_name);
    }
    closedir(d);
  }
  return out;
}

class CommonCycleTest : public ::testing::Test {
 protected:
  void SetUp() override { pofResetLevels(); }
  void TearDown() override {
    pofResetLevels();
    outSetContext(nullptr);
  }
  // Runs the read-parameters slot on a context holding params.
  Cyc3dRecord* readParams(const Params& params, int* result = nullptr) {
    for (const auto& [k, v] : params)
      ctx_.ctx.params = paramListSet(ctx_.ctx.params, k.c_str(), v.c_str(), 21);
    Cyc3dRecord* rec = cyc3dRecordOf(&ctx_.ctx);
    *rec = Cyc3dRecord{};
    const int r = cyc3dReadParams(&ctx_.ctx);
    if (result != nullptr) *result = r;
    cyc3dRemoveTempFiles(&ctx_.ctx);
    paramListFree(ctx_.ctx.params);
    ctx_.ctx.params = nullptr;
    return rec;
  }

  tsupport::ScopedWorkDir work_;
  RecordCapture ctx_{{0, 2, 10, 11, 12}};
};

TEST_F(CommonCycleTest, EnumeratedKeysMatchTheirTextsExactly) {
  const struct {
    const char* value;
    int toolType;
  } rows[] = {{"ballMill", 1}, {"endMill", 2}, {"endmill", 3}, {"torus", 3}};
  for (const auto& row : rows) {
    const Cyc3dRecord* rec =
        readParams({{"polySource", "m.3df"}, {"toolDiameter", "6"}, {"toolType", row.value}});
    EXPECT_EQ(rec->toolType, row.toolType) << row.value;
  }
  const Cyc3dRecord* rec = readParams({{"polySource", "m.3df"},
                                       {"toolDiameter", "6"},
                                       {"cornerRadius", "-2"},
                                       {"ncFormat", "polyFormat"},
                                       {"tiltStrategy", "offset"},
                                       {"smoothStepOver", "true"},
                                       {"removeTempFiles", "False"},
                                       {"startPoint", "1,2,3"}});
  EXPECT_EQ(rec->toolDiameter, 6.0);
  EXPECT_EQ(rec->cornerRadius, 2.0) << "stored as its size";
  EXPECT_EQ(rec->ncFormat, 2);
  EXPECT_EQ(rec->tiltStrategy, 1);
  EXPECT_EQ(rec->smoothStepover, 1);
  EXPECT_EQ(rec->removeTempFiles, 1) << "only \"false\" keeps the files";
  EXPECT_EQ(rec->startPointSet, 1);
  EXPECT_EQ(rec->startPoint.z, 3.0);
}

TEST_F(CommonCycleTest, RetractPlaneNeverAboveTheClearancePlane) {
  const struct {
    const char* retract;
    const char* clearance;
    double plane;
    double offset;
  } rows[] = {{"50", "20", 20, 0}, {nullptr, "20", 20, 0}, {"10", "25", 10, 15}};
  for (const auto& row : rows) {
    Params p = {{"polySource", "m.3df"}, {"toolDiameter", "6"}, {"clearancePlane", row.clearance}};
    if (row.retract != nullptr) p.push_back({"retractPlane", row.retract});
    const Cyc3dRecord* rec = readParams(p);
    EXPECT_EQ(rec->retractPlane, row.plane);
    EXPECT_EQ(outClearanceOffset(), row.offset);
  }
}

TEST_F(CommonCycleTest, FrameTextNeedsExactlyFiveCommas) {
  const Cyc3dRecord* rec = readParams({{"polySource", "m.3df"},
                                       {"toolDiameter", "6"},
                                       {"frame", "1,0,0,0,1,0"},
                                       {"frameOn", "true"}});
  EXPECT_EQ(rec->frame, "1/0/0/0/1/0");
  EXPECT_EQ(rec->frameOn, 1);
  rec = readParams(
      {{"polySource", "m.3df"}, {"toolDiameter", "6"}, {"frame", "1,0,0"}, {"frameOn", "true"}});
  EXPECT_EQ(rec->frame, "");
  EXPECT_EQ(rec->frameOn, 0);
}

TEST_F(CommonCycleTest, MissingRequiredKeysAreReportedEach) {
  int result = 1;
  readParams({}, &result);
  EXPECT_EQ(result, 0);
  V got;
  for (const CapturedRecord& r : ctx_.take()) {
    if (r.channel == 0) got.push_back(std::to_string(r.code) + " " + r.name + "(" + r.value + ")");
  }
  EXPECT_EQ(got, (V{"102 error(1,(polySource))", "102 error(1,(toolDiameter))"}));
}

TEST_F(CommonCycleTest, ToolReferenceFromTheCfgLines) {
  CycleDescriptor& c = ctx_.ctx;
  EXPECT_EQ(cyc3dReadToolReference(&c), 0) << "no reference named";
  c.cfgLines = cfgLinesAppend(c.cfgLines, "*TOOL_REFERENCE", "gauge", 21);
  EXPECT_EQ(cyc3dReadToolReference(&c), 0);
  c.cfgLines = cfgLinesAppend(c.cfgLines, "*TREF_gauge", "12.5", 21);
  EXPECT_EQ(cyc3dReadToolReference(&c), 1);
  EXPECT_EQ(cyc3dToolReferenceName(), "gauge");
  EXPECT_EQ(outAdapterState().toolRefShift, 12.5);
  V got;
  for (const CapturedRecord& r : ctx_.take()) got.push_back(r.name + "(" + r.value + ")");
  EXPECT_EQ(got, (V{"error(770,gauge)", "error(771,gauge)"}));
  cfgLinesFree(c.cfgLines);
  c.cfgLines = nullptr;
  outAdapterResetRun();
}

// A PCF job without a polygon source fails in its read-parameters phase
// with the error line, and the run does not read as done.
TEST_F(CommonCycleTest, RunWithoutPolygonSourceFailsWithItsErrorLine) {
  int status = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(tsupport::runOn3dCycle({{"toolDiameter", "6"}}, {}, nullptr, &status), 21);
  const V out = splitLines(testing::internal::GetCapturedStdout());
  EXPECT_TRUE(has(out, "0: error(1,(polySource))"));
  EXPECT_EQ(status, 1);
}

TEST_F(CommonCycleTest, RunReadsTheModelAndConvertsTheGeometry) {
  ASSERT_TRUE(tsupport::writeFile(work_.file("m.3df"), kModel));
  ASSERT_TRUE(tsupport::writeFile(
      work_.file("geo.kfy"),
      std::string(kfyBanner) +
          "\nkFY-Version: 1.0\nGeometry\ng\n"
          "oContour( )\n{\nv3Dtype(boundary)\noL( x[0/1] y[0/0] z[0/0] )\n}\n"));
  mkdir(work_.file("tmp").c_str(), 0700);
  int status = 0;
  testing::internal::CaptureStdout();
  const int code = tsupport::runOn3dCycle({{"polySource", "m.3df"},
                                           {"toolDiameter", "6"},
                                           {"geoSource", "geo.kfy"},
                                           {"tempDirectory", "tmp"},
                                           {"frame", "1,0,0,0,1,0"},
                                           {"frameOn", "true"},
                                           {"frameOff", "true"},
                                           {"NCOutp", "True"},
                                           {"ppJobID", "3"}},
                                          {}, nullptr, &status);
  const V out = splitLines(testing::internal::GetCapturedStdout());
  EXPECT_EQ(code, 0);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(has(out, "0: msgFile(qzcyc.loc)"));
  EXPECT_TRUE(has(out, "0: layers(12,35,36,41,42)")) << "NC output needs exactly \"true\"";
  EXPECT_TRUE(has(out, "11: vtoolAxis(0,0,1)"));
  EXPECT_TRUE(has(out, "12: beg part 3"));
  EXPECT_TRUE(has(out, "10: frame(1/0/0/0/1/0)"));
  EXPECT_TRUE(has(out, "10: tr(frameOn)"));
  EXPECT_TRUE(has(out, "10: tr(frameOff)"));
  EXPECT_EQ(filesIn(work_.file("tmp")), V{}) << "temporary files are removed";
}

TEST_F(CommonCycleTest, UnreadableModelFailsTheRunAndLeavesNoTemporaryFiles) {
  mkdir(work_.file("tmp").c_str(), 0700);
  int status = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(tsupport::runOn3dCycle(
                {{"polySource", "missing.3df"}, {"toolDiameter", "6"}, {"tempDirectory", "tmp"}},
                {}, nullptr, &status),
            23);
  const V out = splitLines(testing::internal::GetCapturedStdout());
  EXPECT_TRUE(has(out, "0: error(332,missing.3df)"));
  EXPECT_EQ(status, 1);
  EXPECT_EQ(filesIn(work_.file("tmp")), V{});
}

// In kFY mode each missing key keeps its line in the bypass file.
TEST_F(CommonCycleTest, KfyRunWithTwoMissingKeysKeepsBothInTheBypassFile) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(tsupport::runOn3dCycle({{"geoOut", "out.kfy"}}, {"-PCF"}, nullptr), 21);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(splitLines(readFile(work_.file(kPofBypassFile))),
            (V{"0: cycle(Adapter Test Cycle)", "0: msgFile(qzcyc.loc)", "0: error(1,(polySource))",
               "0: error(1,(toolDiameter))"}));
}

}  // namespace
