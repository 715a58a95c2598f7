// Profile finishing jobs run end to end through the host program: a job
// file, a model, a boundary, and the POF file the run writes.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "formats/kfy/kfy_file.h"
#include "support/golden.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "support/test_models.h"

namespace {

using tsupport::ProcessOptions;
using tsupport::ProcessResult;
using tsupport::TempDir;

constexpr int kStatusDone = 0;
constexpr int kStatusFailed = 1;
constexpr int kStatusStopped = 100;

ProcessOptions hostOptions(const TempDir& dir, std::vector<std::string> env = {}) {
  ProcessOptions options;
  options.workDir = dir.path();
  options.env = std::move(env);
  options.env.push_back(std::string("TESSARO_LIBRARY=") + TESSARO_LIBRARY_PATH);
  return options;
}

ProcessResult runJob(const TempDir& dir, std::vector<std::string> env = {}) {
  return tsupport::runProcess({TESSARO_HOST_PATH, "-Sjob.CFG"}, hostOptions(dir, std::move(env)));
}

// The roof of the example under a ball of radius 3: standard X
// lines (along x), stepover 5, zigzag, one level, the BND square
// (5,5)-(35,35); temporary files go to tmp/.
std::string roofJob(const std::string& extra = "") {
  return "*APT out.pof\n*APPROX roof.stl\n*BOUNDARY square.bnd\n*TMP_DIR tmp\n"
         "*FRTYP 1\n*FRRADIUS 3\n*HORIZUSTEL 5\n*VERTZUSTEL 100\n*BEARBEITRICHT 2\n"
         "*LAUF 2\n*TIEF -1\n*SICHEBENE 50\n*SICHDIST 2\n*PRECISION 0.01\n*ZUSTELL_ART 1\n" +
         extra;
}

void writeRoofFiles(const TempDir& dir, const std::string& job) {
  ASSERT_TRUE(tsupport::writeFile(dir.file("roof.stl"), testmodels::roofStl()));
  ASSERT_TRUE(tsupport::writeFile(dir.file("square.bnd"),
                                  "**BND 1\nX5 Y5 Z0\nX35 Y5 Z0\nX35 Y35 Z0\nX5 Y35 Z0\n**END\n"));
  ASSERT_TRUE(tsupport::writeFile(dir.file("job.CFG"), job));
  std::filesystem::create_directory(dir.file("tmp"));
}

struct Point {
  double x, y, z;
};

// The cutting moves of the POF file, one vector per piece (the piece's
// first point is where the link left the tool).  Contour records name only
// the axes that change.
std::vector<std::vector<Point>> cuttingPieces(const std::string& pof) {
  std::vector<std::vector<Point>> pieces;
  Point at{0, 0, 0};
  bool cutting = false;
  for (const std::string& line : tsupport::splitLines(pof)) {
    if (line.rfind("12: G ", 0) == 0) {
      cutting = line == "12: G 1 pth";
      if (cutting) pieces.push_back({at});
      continue;
    }
    if (line.rfind("31: o", 0) != 0) continue;
    for (const char axis : {'x', 'y', 'z'}) {
      const std::size_t k = line.find(std::string(1, axis) + "[/");
      if (k == std::string::npos) continue;
      const double v = std::strtod(line.c_str() + k + 3, nullptr);
      (axis == 'x' ? at.x : axis == 'y' ? at.y : at.z) = v;
    }
    if (cutting && line.rfind("31: oL", 0) == 0) pieces.back().push_back(at);
  }
  return pieces;
}

// Height of the centre of a ball of radius r over the roof: on a facet, or
// on the ridge.
double roofCentreZ(double x, double r) {
  const double a = std::atan(0.5);
  const double d = std::fabs(x - 20);
  return d >= r * std::sin(a) ? 10 - 0.5 * d + r / std::cos(a) : 10 + std::sqrt(r * r - d * d);
}

bool emptyDirectory(const std::string& path) {
  return std::filesystem::is_directory(path) && std::filesystem::is_empty(path);
}

// Radii below 2 and below 1 make the run work in units scaled by 2 and 25:
// the moves come out in the job's units all the same.
TEST(ProfileJob, RoofCutsInsideTheBoundaryOnTheBallCentreHeightInAlternatingDirections) {
  for (const double r : {3.0, 1.5, 0.5}) {
    TempDir dir;
    writeRoofFiles(dir, roofJob("*FRRADIUS " + std::to_string(r) + "\n"));
    const ProcessResult result = runJob(dir);
    ASSERT_EQ(result.exitCode, kStatusDone) << result.err;
    const std::vector<std::vector<Point>> pieces =
        cuttingPieces(tsupport::readFile(dir.file("out.pof")));
    ASSERT_EQ(pieces.size(), 7u) << r;  // y = 35, 30, ..., 5
    for (size_t k = 0; k < pieces.size(); ++k) {
      const std::vector<Point>& piece = pieces[k];
      ASSERT_GE(piece.size(), 2u);
      for (const Point& p : piece) {
        EXPECT_GE(p.x, 5 - 1e-4) << r;
        EXPECT_LE(p.x, 35 + 1e-4) << r;
        EXPECT_NEAR(p.y, 35 - 5.0 * k, 1e-4) << r;
        EXPECT_NEAR(p.z, roofCentreZ(p.x, r), 0.01) << "r " << r << " x " << p.x;
      }
      // Zigzag: every line runs the other way than the one before.
      const double dir0 = piece.back().x - piece.front().x;
      EXPECT_GT(std::fabs(dir0), 29.0) << r;
      if (k > 0) {
        const double before = pieces[k - 1].back().x - pieces[k - 1].front().x;
        EXPECT_LT(dir0 * before, 0) << r << " " << k;
      }
    }
    EXPECT_TRUE(emptyDirectory(dir.file("tmp"))) << r;
  }
}

TEST(ProfileJob, OutputIsTheSameForAnyThreadCountAndSpillSetting) {
  std::string first;
  for (const char* threads : {"1", "2", "8"}) {
    for (const char* spill : {"0", "1", "5000"}) {
      TempDir dir;
      writeRoofFiles(dir, roofJob("*HORIZUSTEL 0.5\n*PATH_CASH_CT " + std::string(spill) + "\n"));
      const ProcessResult r = runJob(dir, {std::string("OMP_NUM_THREADS=") + threads});
      ASSERT_EQ(r.exitCode, kStatusDone) << r.err;
      // The settings echo names the spill setting; everything else must agree.
      std::string pof = tsupport::stablePof(tsupport::readFile(dir.file("out.pof")));
      const std::string echo = "1: cfg(*PATH_CASH_CT " + std::string(spill) + ")\n";
      ASSERT_NE(pof.find(echo), std::string::npos);
      pof.erase(pof.find(echo), echo.size());
      ASSERT_GT(cuttingPieces(pof).size(), 50u);
      if (first.empty()) first = pof;
      EXPECT_TRUE(pof == first) << threads << " threads, spill " << spill;
      EXPECT_TRUE(emptyDirectory(dir.file("tmp"))) << threads << " threads, spill " << spill;
    }
  }
}

// The roof job as PCF settings: the boundary square comes as a kFY
// geometry file; the depth reaches from the surface 20 down to -1.
void writeRoofPcfFiles(const TempDir& dir) {
  writeRoofFiles(dir, "");
  std::filesystem::remove(dir.file("job.CFG"));
  ASSERT_TRUE(tsupport::writeFile(
      dir.file("geo.kfy"),
      std::string(kfyBanner) +
          "\nkFY-Version: 1.0\nGeometry\nsquare\noContour( )\n{\nv3Dtype(boundary)\n"
          "oL( x[5/35] y[5/5] z[0/0] )\noL( x[/35] y[/35] )\noL( x[/5] y[/35] )\n"
          "oL( x[/5] y[/5] )\n}\n"));
  ASSERT_TRUE(tsupport::writeFile(
      dir.file("job.pcf"),
      "pofFilename := out.pof\npolySource := roof.stl\ngeoSource := geo.kfy\ntempDirectory := tmp\n"
      "toolType := ballMill\ntoolDiameter := 6\ncornerRadius := 3\ninfeedLength := 5\n"
      "infeedDepth := 100\nsurface := 20\ndepth := 21\nclearancePlane := 50\n"
      "clearanceDistance := 2\nmachiningTolerance := 0.01\nstrategy := standardX\n"));
}

// A PCF job names no longest output line: the run keeps the default and
// cuts the same roof as the job file does.
TEST(ProfileJob, PcfSettingsCutTheSameRoofAsTheJobFile) {
  TempDir cfg;
  writeRoofFiles(cfg, roofJob());
  const ProcessResult byCfg = runJob(cfg);
  ASSERT_EQ(byCfg.exitCode, kStatusDone) << byCfg.err;
  TempDir pcf;
  writeRoofPcfFiles(pcf);
  const ProcessResult byPcf =
      tsupport::runProcess({TESSARO_HOST_PATH, "-Sjob"}, hostOptions(pcf));
  ASSERT_EQ(byPcf.exitCode, kStatusDone) << byPcf.err;
  const auto a = cuttingPieces(tsupport::readFile(cfg.file("out.pof")));
  const auto b = cuttingPieces(tsupport::readFile(pcf.file("out.pof")));
  ASSERT_EQ(a.size(), 7u);
  ASSERT_EQ(b.size(), a.size()) << byPcf.err;
  for (size_t k = 0; k < a.size(); ++k) {
    ASSERT_EQ(b[k].size(), a[k].size()) << k;
    for (size_t i = 1; i < a[k].size(); ++i) {
      EXPECT_NEAR(b[k][i].x, a[k][i].x, 1e-6) << k << " " << i;
      EXPECT_NEAR(b[k][i].y, a[k][i].y, 1e-6) << k << " " << i;
      EXPECT_NEAR(b[k][i].z, a[k][i].z, 1e-6) << k << " " << i;
    }
  }
  EXPECT_TRUE(emptyDirectory(pcf.file("tmp")));
}

// Distance in x and y from p to the rectangle [x0, x1] x [y0, y1].
double distanceToRect(const Point& p, double x0, double x1, double y0, double y1) {
  const double dx = std::max({x0 - p.x, 0.0, p.x - x1});
  const double dy = std::max({y0 - p.y, 0.0, p.y - y1});
  return std::hypot(dx, dy);
}

// A pillar 50 high in the middle of a plate, machined in lines along x
// 10 apart with a ball of radius 3 that sticks out of a holder of diameter
// 40 by 10 only.  Without the holder check the ball climbs the pillar; with
// it the cut stops before the holder comes within its radius of the pillar,
// and the run says why.
TEST(ProfileJob, HolderCheckStopsTheCutBeforeTheHolderHitsThePillar) {
  std::vector<Tri> part = testmodels::heightField([](double, double) { return 0.0; }, 0, 100, 0,
                                                  100, 4, 4);
  const std::vector<Tri> pillar = testmodels::box({45, 45, 0}, {55, 55, 50});
  part.insert(part.end(), pillar.begin(), pillar.end());
  const std::string job =
      "*APT out.pof\n*APPROX pillar.stl\n*TMP_DIR tmp\n*FRTYP 1\n*FRRADIUS 3\n"
      "*HORIZUSTEL 10\n*VERTZUSTEL 100\n*BEARBEITRICHT 2\n*LAUF 1\n*TIEF -1\n"
      "*SICHEBENE 80\n*PRECISION 0.01\n*ZUSTELL_ART 1\n*TOTAL_TOOL_LENGTH 10\n"
      "*LENGTH1 30\n*DIAMETER1 40\n*LENGTH2 0\n*DIAMETER2 40\n*HOLDCHECK_MODE 0\n";
  for (const int check : {0, 1}) {
    TempDir dir;
    ASSERT_TRUE(testmodels::writeBinaryStl(dir.file("pillar.stl"), part));
    std::filesystem::create_directory(dir.file("tmp"));
    ASSERT_TRUE(
        tsupport::writeFile(dir.file("job.CFG"), job + "*HOLDCHECK " + std::to_string(check) + "\n"));
    const ProcessResult r = runJob(dir);
    const auto pieces = cuttingPieces(tsupport::readFile(dir.file("out.pof")));
    ASSERT_FALSE(pieces.empty()) << r.err;
    double top = 0;
    double nearest = 1e9;
    for (const auto& piece : pieces) {
      for (size_t k = 1; k < piece.size(); ++k) {
        top = std::max(top, piece[k].z);
        nearest = std::min(nearest, distanceToRect(piece[k], 45, 55, 45, 55));
      }
    }
    const std::vector<std::string> err = tsupport::splitLines(r.err);
    const bool collided =
        std::find(err.begin(), err.end(), "tessaro: message 6007") != err.end();
    if (check == 0) {
      EXPECT_EQ(r.exitCode, kStatusDone) << r.err;
      EXPECT_NEAR(top, 53, 0.01) << "the ball climbs the pillar";
      EXPECT_FALSE(collided);
    } else {
      EXPECT_TRUE(collided) << r.err;
      EXPECT_LT(top, 3.01) << "never on the pillar";
      EXPECT_GE(nearest, 20) << "the holder keeps its radius from the pillar";
    }
    EXPECT_TRUE(emptyDirectory(dir.file("tmp")));
  }
}

// A surface file added to the job is machined with the part: a plate at
// z 12 over the roof's left part carries the ball there; a missing added
// file is reported and the part alone is machined.
TEST(ProfileJob, AddedSurfaceIsMachinedWithThePart) {
  const std::vector<Tri> plate = testmodels::heightField([](double, double) { return 12.0; }, 0,
                                                         10, 0, 40, 2, 2);
  for (const bool present : {true, false}) {
    TempDir dir;
    writeRoofFiles(dir, roofJob("*ADD_3DF plate.stl\n*ADD_OFFSET 0\n"));
    if (present) {
      ASSERT_TRUE(testmodels::writeBinaryStl(dir.file("plate.stl"), plate));
    }
    const ProcessResult r = runJob(dir);
    ASSERT_EQ(r.exitCode, kStatusDone) << r.err;
    const std::vector<std::string> err = tsupport::splitLines(r.err);
    EXPECT_EQ(std::find(err.begin(), err.end(), "tessaro: message 509") != err.end(), !present);
    const auto pieces = cuttingPieces(tsupport::readFile(dir.file("out.pof")));
    ASSERT_EQ(pieces.size(), 7u) << r.err;
    for (const auto& piece : pieces) {
      for (size_t k = 1; k < piece.size(); ++k) {
        const Point& p = piece[k];
        const double want = present && p.x <= 10 ? std::max(15.0, roofCentreZ(p.x, 3))
                                                 : roofCentreZ(p.x, 3);
        if (present && p.x > 10 && p.x < 13) continue;  // the ball rolls over the plate's edge
        EXPECT_NEAR(p.z, want, 0.01) << present << " x " << p.x;
      }
    }
  }
}

struct BadJob {
  const char* name;
  std::string job;
  std::string bnd;
  const char* message;
  int status;
};

TEST(ProfileJob, BadInputEndsWithItsNumberedMessageAndLeavesNoFiles) {
  const BadJob cases[] = {
      {"missing model", roofJob("*APPROX nowhere.stl\n"), "", "tessaro: message 332: nowhere.stl",
       kStatusFailed},
      {"boundary without a contour", roofJob(), "not a boundary\n1 2 3\n", "tessaro: message 304",
       kStatusFailed},
      {"boundary of one point", roofJob(), "**BND 1\nX5 Y5 Z0\n**END\n", "tessaro: message 304",
       kStatusFailed},
      {"tool radius zero", roofJob("*FRRADIUS 0\n"), "", "tessaro: message 341: 0",
       kStatusStopped},
      {"automatic boundaries without the boundary library",
       roofJob("*BOUND_STRATEGY 1\n*USE_PBOUND 0\n*MILL_3DF roof.stl\n"), "",
       "tessaro: message 304", kStatusStopped},
  };
  for (const BadJob& c : cases) {
    TempDir dir;
    writeRoofFiles(dir, c.job);
    if (!c.bnd.empty()) {
      ASSERT_TRUE(tsupport::writeFile(dir.file("square.bnd"), c.bnd));
    }
    const ProcessResult r = runJob(dir);
    EXPECT_EQ(r.exitCode, c.status) << c.name << "\n" << r.err;
    const std::vector<std::string> err = tsupport::splitLines(r.err);
    EXPECT_NE(std::find(err.begin(), err.end(), c.message), err.end()) << c.name << "\n" << r.err;
    EXPECT_TRUE(cuttingPieces(tsupport::readFile(dir.file("out.pof"))).empty()) << c.name;
    EXPECT_TRUE(emptyDirectory(dir.file("tmp"))) << c.name;
  }
}

// Ctrl-C during the computation of a level: the run ends stopped and the
// level is not written in part (this job has one level, so nothing is cut).
TEST(ProfileJob, CtrlCDuringALevelStopsWithoutHalfALevel) {
  TempDir dir;
  // A fine height field (about 200,000 triangles) under many lines.
  const std::vector<Tri> field = testmodels::heightField(
      [](double x, double y) { return 5 * std::sin(x / 7) * std::cos(y / 9); }, 0, 100, 0, 100,
      316, 316);
  ASSERT_TRUE(testmodels::writeBinaryStl(dir.file("field.stl"), field));
  ASSERT_TRUE(tsupport::writeFile(dir.file("job.CFG"),
                                  "*APT out.pof\n*APPROX field.stl\n*TMP_DIR tmp\n*FRTYP 1\n"
                                  "*FRRADIUS 3\n*HORIZUSTEL 0.02\n*VERTZUSTEL 100\n"
                                  "*BEARBEITRICHT 2\n*LAUF 2\n*TIEF -10\n*SICHEBENE 50\n"
                                  "*PRECISION 0.001\n*ZUSTELL_ART 1\n"));
  std::filesystem::create_directory(dir.file("tmp"));
  tsupport::Process host({TESSARO_HOST_PATH, "-Sjob.CFG"}, hostOptions(dir));
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  host.signal(SIGINT);
  const ProcessResult r = host.wait();
  EXPECT_EQ(r.exitCode, kStatusStopped) << r.err;
  EXPECT_TRUE(cuttingPieces(tsupport::readFile(dir.file("out.pof"))).empty());
  EXPECT_TRUE(emptyDirectory(dir.file("tmp")));
}

}  // namespace
