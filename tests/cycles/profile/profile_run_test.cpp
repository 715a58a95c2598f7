#include "cycles/profile/profile_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cycles/profile/job/job_prepare.h"
#include "cycles/profile/path_output.h"
#include "support/job_records.h"
#include "support/message_capture.h"
#include "support/temp_dir.h"
#include "support/test_models.h"

namespace {

struct Call {
  int16_t direction;
  int crossActive;
  int pass;
};

std::vector<Call> gCalls;
int gDriverResult = 0;

int recordingDriver(JobRecord& job, LinkParams&, ModelRec&) {
  gCalls.push_back({job.bearbeitricht, crossPassActive, passOfRun});
  // A driver may change its record; the next pass must not see it.
  job.horizustel = -1;
  return gDriverResult;
}

class ProfRunCycle : public ::testing::Test {
 protected:
  void SetUp() override {
    jobRecordReset();
    std::snprintf(jobRecord.approx, sizeof jobRecord.approx, "%s", "model.3df");
    gCalls.clear();
    gDriverResult = 0;
  }
  void TearDown() override {
    profSetDriver(kProfDriverParallel, nullptr);
    profSetDriver(kProfDriverSequential, nullptr);
    jobRecordReset();
  }
};

TEST_F(ProfRunCycle, AStrategyWithoutDriverFailsWithAMessage) {
  for (int16_t infeed : {1, 4}) {
    jobRecord.zustellArt = infeed;
    tsupport::MessageCapture capture;
    EXPECT_EQ(profRunCycle(nullptr), -1) << infeed;
    EXPECT_EQ(capture.values.back(), std::to_string(kMsgNoDriver) + "," + std::to_string(infeed));
  }
}

struct PassRow {
  const char* name;
  int16_t crossOpti;
  int16_t direction;
  std::vector<Call> calls;
  bool warns;
};

TEST_F(ProfRunCycle, RunsTheCrossOptimisationPasses) {
  const PassRow rows[] = {
      {"none", 0, 1, {{1, 0, 1}}, false},
      {"after", 1, 1, {{1, 0, 1}, {2, 1, 2}}, false},
      {"before", 2, 2, {{1, 1, 1}, {2, 0, 2}}, false},
      {"only", 3, 2, {{1, 1, 1}}, false},
      {"only, std x", 3, 1, {{2, 1, 1}}, false},
      {"equidistant drops it", 1, 3, {{3, 0, 1}}, true},
  };
  profSetDriver(kProfDriverParallel, recordingDriver);
  for (const PassRow& row : rows) {
    jobRecordReset();
    std::snprintf(jobRecord.approx, sizeof jobRecord.approx, "%s", "model.3df");
    std::snprintf(jobRecord.profil, sizeof jobRecord.profil, "%s", "guide.kfy");
    jobRecord.crossOpti = row.crossOpti;
    jobRecord.bearbeitricht = row.direction;
    gCalls.clear();
    tsupport::MessageCapture capture;
    EXPECT_EQ(profRunCycle(nullptr), 0) << row.name;
    ASSERT_EQ(gCalls.size(), row.calls.size()) << row.name;
    for (size_t i = 0; i < gCalls.size(); ++i) {
      EXPECT_EQ(gCalls[i].direction, row.calls[i].direction) << row.name << " " << i;
      EXPECT_EQ(gCalls[i].crossActive, row.calls[i].crossActive) << row.name << " " << i;
      EXPECT_EQ(gCalls[i].pass, row.calls[i].pass) << row.name << " " << i;
    }
    bool warned = false;
    for (const std::string& m : capture.values) warned = warned || m == "4300";
    EXPECT_EQ(warned, row.warns) << row.name;
    EXPECT_EQ(crossPassActive, 0);
    EXPECT_EQ(passOfRun, 0);
  }
}

// ONLAY without its boundary file skips the main pass; the pass after it
// is then the run's first pass, and starts the link state afresh.
TEST_F(ProfRunCycle, OnlayWithoutItsBoundaryMakesThePassAfterTheFirst) {
  profSetDriver(kProfDriverParallel, recordingDriver);
  for (const int16_t crossOpti : {0, 1}) {
    jobRecordReset();
    std::snprintf(jobRecord.approx, sizeof jobRecord.approx, "%s", "model.3df");
    std::snprintf(jobRecord.a1, sizeof jobRecord.a1, "%s", "ONLAY");
    std::snprintf(jobRecord.boundary, sizeof jobRecord.boundary, "%s", "/no/such/onlay.bnd");
    jobRecord.crossOpti = crossOpti;
    gCalls.clear();
    EXPECT_EQ(profRunCycle(nullptr), 0) << crossOpti;
    ASSERT_EQ(gCalls.size(), crossOpti == 0 ? 0u : 1u) << crossOpti;
    if (crossOpti == 1) {
      EXPECT_EQ(gCalls[0].crossActive, 1);
      EXPECT_EQ(gCalls[0].pass, 1);
    }
  }
}

TEST_F(ProfRunCycle, AFailedPassBeforeSuppressesTheLaterPasses) {
  profSetDriver(kProfDriverParallel, recordingDriver);
  jobRecord.crossOpti = 2;
  gDriverResult = -2;
  EXPECT_EQ(profRunCycle(nullptr), -2);
  EXPECT_EQ(gCalls.size(), 1u);
}

TEST_F(ProfRunCycle, ChoosesTheDriverByInfeedKind) {
  profSetDriver(kProfDriverSequential, recordingDriver);
  jobRecord.zustellArt = 4;
  EXPECT_EQ(profRunCycle(nullptr), 0);
  EXPECT_EQ(gCalls.size(), 1u);
  jobRecord.zustellArt = 1;
  EXPECT_EQ(profRunCycle(nullptr), -1);
}

TEST_F(ProfRunCycle, TwoRunsLeaveEqualRecords) {
  profSetDriver(kProfDriverParallel, recordingDriver);
  jobRecord.crossOpti = 1;
  jobRecord.frradius = 0.5;
  const JobRecord asRead = jobRecord;
  ASSERT_EQ(profRunCycle(nullptr), 0);
  const JobRecord first = profRunJob();
  ASSERT_EQ(profRunCycle(nullptr), 0);
  EXPECT_EQ(tsupport::jobRecordDifferences(first, profRunJob()), "");
  EXPECT_EQ(tsupport::jobRecordDifferences(asRead, jobRecord), "");
  // The swapped direction of the pass after does not stay behind.
  EXPECT_EQ(profRunJob().bearbeitricht, 1);
}

// ---- The run reaches the parallel driver ------------------------------------------

std::vector<std::vector<Vec3d>> gPieces;
int recordPiece(Pline* path, LinkParams*, ModelRec*) {
  gPieces.emplace_back(path->points, path->points + path->count);
  return 0;
}

class ProfRunRoof : public ProfRunCycle {
 protected:
  void SetUp() override {
    ProfRunCycle::SetUp();
    gPieces.clear();
    PathEmitters e;
    e.facets = recordPiece;
    saved_ = pathOutputSetEmitters(e);
    ASSERT_TRUE(tsupport::writeFile(dir_.file("roof.stl"), testmodels::roofStl()));
    ASSERT_TRUE(tsupport::writeFile(dir_.file("square.bnd"),
                                    "**BND\nX5 Y5 Z0\nX35 Y5 Z0\nX35 Y35 Z0\nX5 Y35 Z0\n**END\n"));
    setText(jobRecord.approx, dir_.file("roof.stl"));
    setText(jobRecord.boundary, dir_.file("square.bnd"));
    setText(jobRecord.tmpDir, dir_.path());
    jobRecord.frtyp = 1;
    jobRecord.frradius = 3;
    jobRecord.horizustel = 5;
    jobRecord.bearbeitricht = 2;
    jobRecord.lauf = 2;
    jobRecord.tief = -1;
    jobRecord.sichebene = 50;
    jobRecord.precision = 0.01;
  }
  void TearDown() override {
    pathOutputSetEmitters(saved_);
    ProfRunCycle::TearDown();
  }
  static void setText(char (&field)[257], const std::string& text) {
    std::snprintf(field, sizeof field, "%s", text.c_str());
  }
  tsupport::TempDir dir_;
  PathEmitters saved_;
};

TEST_F(ProfRunRoof, ConstantInfeedRunsTheParallelDriverOnTheWorkingRecord) {
  ASSERT_EQ(profRunCycle(nullptr), 0);
  // Seven lines, y = 35 .. 5, on the ball-centre height of the roof.
  ASSERT_EQ(gPieces.size(), 7u);
  const double a = std::atan(0.5);
  for (const std::vector<Vec3d>& piece : gPieces) {
    for (const Vec3d& p : piece) {
      const double d = std::fabs(p.x - 20);
      const double z = d >= 3 * std::sin(a) ? 10 - 0.5 * d + 3 / std::cos(a)
                                            : 10 + std::sqrt(9 - d * d);
      EXPECT_NEAR(p.z, z, 0.011) << p.x << " " << p.y;
      EXPECT_GE(p.x, 5 - 1e-9);
      EXPECT_LE(p.x, 35 + 1e-9);
    }
  }
  // A second run in the process emits the same moves.
  const std::vector<std::vector<Vec3d>> first = gPieces;
  gPieces.clear();
  ASSERT_EQ(profRunCycle(nullptr), 0);
  ASSERT_EQ(gPieces.size(), first.size());
  for (size_t k = 0; k < first.size(); ++k) {
    ASSERT_EQ(gPieces[k].size(), first[k].size());
    EXPECT_EQ(std::memcmp(gPieces[k].data(), first[k].data(), sizeof(Vec3d) * first[k].size()), 0);
  }
}

TEST_F(ProfRunRoof, AStrategyWhosePathsHaveNowhereToGoReportsTheMissingDriver) {
  PathEmitters none;
  pathOutputSetEmitters(none);
  tsupport::MessageCapture capture;
  EXPECT_EQ(profRunCycle(nullptr), -1);
  EXPECT_EQ(capture.values.back(), std::to_string(kMsgNoDriver) + ",1");
  EXPECT_TRUE(gPieces.empty());
}

}  // namespace
