// A scripted tool path through the output adapter, run as a cycle through
// the kernel with the 3D Common Cycle's output set-up, written by the
// channel writers and compared with goldens.  What the host's listeners
// receive on the display channels (which have no file text) follows the
// file text in the golden, one line per record.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "base/job_scale.h"
#include "cycle/cycle_setup.h"
#include "cycle/phase_runner.h"
#include "cycles/common3d/common_cycle_descriptor.h"
#include "formats/kfy/kfy_file.h"
#include "formats/settings/param_list.h"
#include "output/adapter/output_adapter.h"
#include "output/adapter/path_output.h"
#include "output/kfy/kfy_writer.h"
#include "output/output_channels.h"
#include "output/output_record.h"
#include "output/pof/pof_writer.h"
#include "support/common3d_run.h"
#include "support/golden.h"
#include "support/temp_dir.h"
#include "support/test_cycle.h"

namespace {

using tsupport::expectGolden;
using tsupport::readFile;

using tsupport::Params;

// Display records as the host receives them.
int recordDisplay(CycleDescriptor*, OutputRecord* r, intptr_t user) {
  auto* out = reinterpret_cast<std::string*>(user);
  char line[160];
  if (r->code == kRecDisplayPoint) {
    std::snprintf(line, sizeof line, "host 42: %d %g %g %g\n", r->code,
                  outRecGetF64(r, kRecDisplayPoint1), outRecGetF64(r, kRecDisplayPoint1 + 8),
                  outRecGetF64(r, kRecDisplayPoint1 + 16));
  } else if (r->code == kRecContourBegin) {
    std::snprintf(line, sizeof line, "host 41: %d %s %s\n", r->code, outRecText(r, kRecName),
                  outRecText(r, kRecValue));
  } else {
    std::snprintf(line, sizeof line, "host 41: %d %g %g %g\n", r->code, outRecGetF64(r, kRecGeoX),
                  outRecGetF64(r, kRecGeoY), outRecGetF64(r, kRecGeoZ));
  }
  *out += line;
  return 1;
}

void point(double x, double y, double z, int kind) {
  const Vec3d p{x, y, z};
  outPathPoint(&p, kind);
}

// The scripted path: header, contexts, an approach, a plunge, a 45-degree
// descent, feed changes, rapids, a link, display data and a held rapid
// written by the end of the path output.
void scriptedPath(CycleDescriptor* ctx) {
  outSetContext(ctx);
  outReset();
  outSetClearanceOffset(10);
  CycleTechRecord tech{};
  tech.toolNumber = 3;
  tech.planeFeedrate = 1000;
  tech.zFeedrate = 200;
  tech.spindleSpeed = 8000;
  tech.spindleRotation = 1;
  tech.clearanceDistance = 2;
  tech.retractPlane = 20;
  tech.reducedFeedrate = 500;
  tech.approachFeedrate = 300;
  outCycleHeader(&tech);
  outSetFeedReductionAngle(50);
  outFeedSetMacroRates(300, 0, 0);

  outPathContextBegin(kPathContextCut);
  outMarkRapidDown();
  point(0, 0, 20, kPointRapid);
  point(10, 0, 20, kPointRapid);
  point(10, 0, 5, kPointRapid);
  outMarkApproach();
  outFeedApproach(1);
  point(10, 0, 2, kPointFeed);
  outFeedApproach(0);
  outMarkPath();
  point(10, 0, 0, kPointFeed);           // plunge
  point(20, 0, 0, kPointFeed);           // back to FX
  point(30, 0, -10, kPointFeed);         // 45-degree descent: reduced
  point(40, 0, -10, kPointFeed);         // FX again
  point(40, 0, -10.000001, kPointFeed);  // does not move: dropped
  outMarkRetract();
  point(40, 0, 20, kPointRapid);
  outPathContextEnd(kPathContextCut);

  outPathContextBegin(kPathContextLink);
  outMarkRapidXY();
  point(0, 10, 20, kPointRapid);
  outPathContextEnd(kPathContextLink);
  outPathContextBegin(kPathContextLink);  // a second link: no markers
  outPathContextEnd(kPathContextLink);

  const Vec3d preview[3] = {{0, 0, 0}, {10, 0, 0}, {10, 10, -1}};
  outDisplayPolyline(preview, 3, "preview", nullptr, "path");
  outDisplayMarker(&preview[2]);

  outPathContextBegin(kPathContextFinal);
  point(0, 10, 30, kPointRapid);  // held until the end of the path output
  outFinish();
  outSetContext(nullptr);
}

class AdapterGoldenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pofResetLevels();
    tsupport::pinPofRunTexts();
    pofSetMoveCounter(0);
    jobSetLengthScale(1.0);
  }
  void TearDown() override {
    pofResetLevels();
    pofSetTestPins(nullptr);
    outSetContext(nullptr);
  }

  // Runs the script in a cycle built on the 3D Common Cycle with params
  // (and the keys the cycle requires).  Returns the run code.
  int run(const Params& params, const char* option, std::string* host) {
    Params all = {{"polySource", "model.3df"}, {"toolDiameter", "6"}};
    all.insert(all.end(), params.begin(), params.end());
    std::vector<std::string> options;
    if (option != nullptr) options.push_back(option);
    return tsupport::runOn3dCycle(all, options, [host](CycleDescriptor* ctx) {
      const intptr_t user = reinterpret_cast<intptr_t>(host);
      outAddListener(ctx, kChanDisplayPolylines, recordDisplay, user, recordDisplay, user);
      outAddListener(ctx, kChanDisplayPoints, recordDisplay, user, recordDisplay, user);
      scriptedPath(ctx);
    });
  }

  tsupport::ScopedWorkDir work_;
};

TEST_F(AdapterGoldenTest, ScriptedPathInPofMode) {
  std::string host;
  testing::internal::CaptureStdout();
  EXPECT_EQ(run({{"pofFilename", "path.pof"},
                 {"NCOutp", "true"},
                 {"writeAlias", "true"},
                 {"ppJobID", "5"}},
                nullptr, &host),
            0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  expectGolden(readFile(work_.file("path.pof")) + host, "pof/adapter_path.pof");
}

TEST_F(AdapterGoldenTest, ScriptedPathInKfyMode) {
  std::string host;
  testing::internal::CaptureStdout();
  EXPECT_EQ(run({{"geoOut", "path.kfy"}, {"NCOutp", "true"}, {"precision", "4"}, {"ppJobID", "5"}},
                "-PCF", &host),
            0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(readFile(work_.file(kPofBypassFile)), "") << "no bypass file without an abort";
  expectGolden(readFile(work_.file("path.kfy")) + host, "kfy/adapter_path.kfy");
}

// A kFY output file that names the job's input is refused: the input stays
// as it was, the run fails in its read-parameters phase, and the abort
// writes the collected status lines to the bypass file.
TEST_F(AdapterGoldenTest, OutputFileThatIsTheInputIsRefusedAndTheBypassFileWritten) {
  const std::string input = std::string(kfyBanner) + "\nkFY-Version: 1.0\nGeometry\nin\n";
  ASSERT_TRUE(tsupport::writeFile(work_.file("in.kfy"), input));
  std::string host;
  testing::internal::CaptureStdout();
  EXPECT_EQ(run({{"geoOut", "./in.kfy"}, {"sourceGeometry", "in.kfy"}}, "-PCF", &host), 21);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(readFile(work_.file("in.kfy")), input);
  EXPECT_EQ(host, "") << "the path was never written";
  expectGolden(readFile(work_.file(kPofBypassFile)), "kfy/refused_bypass.pof");
}

}  // namespace
