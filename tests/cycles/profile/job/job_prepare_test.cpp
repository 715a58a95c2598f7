#include "cycles/profile/job/job_prepare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "boundaries/links/link_params.h"
#include "cycles/profile/job/job_boundaries.h"
#include "geometry/frame/working_frame.h"
#include "model/io/model_load.h"
#include "support/job_records.h"
#include "support/message_capture.h"
#include "support/temp_dir.h"
#include "support/test_models.h"

namespace {

struct ScaleRow {
  const char* name;
  double radius;
  int16_t inch;
  int16_t infeed;
  double box;  // negative: no profile box
  double scale;
};

TEST(ProfChooseScale, FollowsTheRadiusInchModeAndProfileBox) {
  const ScaleRow rows[] = {
      {"large radius", 5, 0, 1, -1, 1},
      {"radius exactly 2", 2, 0, 1, -1, 1},
      {"radius below 2", 1.5, 0, 1, -1, 2},
      {"radius exactly 1", 1, 0, 1, -1, 2},
      {"radius below 1", 0.5, 0, 1, -1, 25},
      {"inch mode, large radius", 5, 1, 1, -1, 25},
      {"inch mode, tiny radius doubles", 0.05, 1, 1, -1, 50},
      {"infeed 4, box smaller than five radii", 3, 0, 4, 10, 4},
      {"infeed 4, box larger than five radii", 3, 0, 4, 20, 1},
      {"infeed 4 without a box", 3, 0, 4, -1, 1},
      {"box ignored for other infeeds", 3, 0, 1, 10, 1},
  };
  for (const ScaleRow& row : rows) {
    JobRecord job;
    job.frradius = row.radius;
    job.inchMode = row.inch;
    job.zustellArt = row.infeed;
    EXPECT_EQ(profChooseScale(job, row.box), row.scale) << row.name;
  }
}

// Prepares jobRecord (already filled) into a working copy with the messages
// it sends.
struct Prepared {
  int result;
  JobRecord job;
  std::vector<std::string> messages;
};

Prepared prepare() {
  Prepared p{};
  tsupport::MessageCapture capture;
  p.result = profPrepareJob(nullptr, p.job);
  p.messages = capture.values;
  return p;
}

bool has(const std::vector<std::string>& v, const std::string& s) {
  for (const std::string& x : v)
    if (x == s) return true;
  return false;
}

template <std::size_t N>
void setText(char (&field)[N], const char* text) {
  std::snprintf(field, N, "%s", text);
}

class ProfPrepareJob : public ::testing::Test {
 protected:
  void SetUp() override {
    jobRecordReset();
    linkParamsReset();
    setText(jobRecord.approx, "model.3df");
    setText(jobRecord.boundary, "b.bnd");
  }
  void TearDown() override {
    jobRecordReset();
    linkParamsReset();
    modelLoadReset();
    jobScale = 1;
  }
};

TEST_F(ProfPrepareJob, ScalesTheWorkingCopyAndLeavesTheRecordAsRead) {
  jobRecord.frradius = 0.5;
  jobRecord.horizustel = 0.2;
  const JobRecord asRead = jobRecord;
  const Prepared p = prepare();
  ASSERT_EQ(p.result, 0);
  EXPECT_EQ(jobScale, 25);
  EXPECT_EQ(modelLoadLengthScale(), 25);
  EXPECT_DOUBLE_EQ(p.job.frradius, 12.5);
  EXPECT_DOUBLE_EQ(p.job.horizustel, 5);
  EXPECT_EQ(tsupport::jobRecordDifferences(jobRecord, asRead), "");
}

TEST_F(ProfPrepareJob, TwoPreparationsOfOneRecordGiveEqualWorkingCopies) {
  jobRecord.frradius = 0.5;
  jobRecord.sichdist = -3;
  jobRecord.bearbeitricht = 3;  // no guide curve: corrected to 1
  const Prepared first = prepare();
  const Prepared second = prepare();
  EXPECT_EQ(tsupport::jobRecordDifferences(first.job, second.job), "");
  EXPECT_EQ(first.messages, second.messages);
  EXPECT_EQ(jobRecord.bearbeitricht, 3);
  EXPECT_EQ(jobRecord.sichdist, -3);
}

TEST_F(ProfPrepareJob, DecidesTheUnsetStartHeightOnTheValueAsRead) {
  // 5000 job units at scale 25 would look unset if tested after scaling.
  jobRecord.frradius = 0.5;
  jobRecord.startpt[2] = -5000;
  Prepared p = prepare();
  EXPECT_DOUBLE_EQ(p.job.startpt[2], -125000);
  jobRecord.startpt[2] = -100000;
  p = prepare();
  EXPECT_DOUBLE_EQ(p.job.startpt[2], p.job.sichebene);
}

struct CorrectionRow {
  const char* name;
  void (*set)(JobRecord&);
  bool (*check)(const JobRecord&);
  const char* message;  // expected "number[,value]"
};

TEST_F(ProfPrepareJob, CorrectsValuesWithTheirMessages) {
  const CorrectionRow rows[] = {
      {"precision zero gets a floor", [](JobRecord& j) { j.precision = 0; },
       [](const JobRecord& j) { return j.precision > 0 && j.stepMin > 0 && j.auflmin > 0; },
       "514,0.000100"},
      {"negative precision gets a floor", [](JobRecord& j) { j.precision = -1; },
       [](const JobRecord& j) { return j.precision > 0; }, "514,0.000100"},
      {"no longest output line keeps the default", [](JobRecord& j) { j.stepMax = 0; },
       [](const JobRecord& j) { return j.stepMax > 0; }, "516,10.000000"},
      {"zero vertical infeed becomes one step",
       [](JobRecord& j) {
         j.vertzustel = 0;
         j.oberfl = 10;
         j.tief = 0;
       },
       [](const JobRecord& j) { return j.vertzustel == 11; }, "800"},
      {"pocket infeed above one step",
       [](JobRecord& j) {
         j.zustellArt = 4;
         j.oberfl = 10;
         j.tief = 0;
         j.vertzustel = 2;
       },
       [](const JobRecord& j) { return j.vertzustel == 11; }, "800"},
      {"guide curve missing", [](JobRecord& j) { j.bearbeitricht = 3; },
       [](const JobRecord& j) { return j.bearbeitricht == 1; }, "506"},
      {"second guide curve missing", [](JobRecord& j) { j.bearbeitricht = 6; },
       [](const JobRecord& j) { return j.bearbeitricht == 1; }, "507"},
      {"3D guide curve missing", [](JobRecord& j) { j.zustellArt = 3; },
       [](const JobRecord& j) { return j.zustellArt == 1; }, "508"},
      {"no model", [](JobRecord& j) { j.approx[0] = ' '; }, [](const JobRecord&) { return true; },
       "509"},
      {"scallop with a flat tool",
       [](JobRecord& j) {
         j.zustellArt = 2;
         j.frtyp = 2;
       },
       [](const JobRecord& j) { return j.zustellArt == 1; }, "510"},
      {"scallop radius below the height",
       [](JobRecord& j) {
         j.zustellArt = 2;
         j.scalHeight = 5;
       },
       [](const JobRecord& j) { return j.zustellArt == 1; }, "512,4.000000"},
      {"scallop minimum infeed",
       [](JobRecord& j) {
         j.zustellArt = 2;
         j.zustMin = 0;
       },
       [](const JobRecord& j) { return j.zustMin == 0.01; }, "513,0.010000"},
  };
  for (const CorrectionRow& row : rows) {
    jobRecordReset();
    setText(jobRecord.approx, "model.3df");
    setText(jobRecord.boundary, "b.bnd");
    row.set(jobRecord);
    const Prepared p = prepare();
    EXPECT_EQ(p.result, 0) << row.name;
    EXPECT_TRUE(row.check(p.job)) << row.name;
    EXPECT_TRUE(has(p.messages, row.message))
        << row.name << ": " << ::testing::PrintToString(p.messages);
  }
}

TEST_F(ProfPrepareJob, ClampsTheGridAndMakesTheSafetyDistancePositive) {
  jobRecord.gridXy = 3;
  jobRecord.sichdist = -2;
  Prepared p = prepare();
  EXPECT_EQ(p.job.gridXy, 10);
  EXPECT_EQ(p.job.sichdist, 2);
  EXPECT_EQ(linkParams.safetyDistance, 2);
  jobRecord.gridXy = 300;
  p = prepare();
  EXPECT_EQ(p.job.gridXy, 100);
}

struct LinkRow {
  const char* name;
  int16_t start, end, direction;
  int16_t approach, retract;
};

TEST_F(ProfPrepareJob, FillsTheMacroKindsOfTheLinkParameters) {
  const LinkRow rows[] = {
      {"vertical arc and inclined line", 2, 3, 1, 1, 2},
      {"direction 7 turns them", 2, 3, 7, 3, 4},
      {"start 5 keeps the kind", 5, 1, 1, linkParamsDefaults().macro.approachKind, 0},
      {"start 4 and end 4", 4, 4, 1, 9, 9},
  };
  for (const LinkRow& row : rows) {
    jobRecordReset();
    linkParamsReset();
    setText(jobRecord.approx, "model.3df");
    jobRecord.macroStart = row.start;
    jobRecord.macroEnd = row.end;
    jobRecord.bearbeitricht = row.direction;
    const Prepared p = prepare();
    EXPECT_EQ(linkParams.macro.approachKind, row.approach) << row.name;
    EXPECT_EQ(linkParams.macro.retractKind, row.retract) << row.name;
  }
}

TEST_F(ProfPrepareJob, RampStartKeepsItsAngleUnscaled) {
  jobRecord.frradius = 0.5;  // scale 25
  jobRecord.macroStart = 8;
  jobRecord.macroSrad = 10;
  const Prepared p = prepare();
  EXPECT_DOUBLE_EQ(p.job.macroSrad, 10);
  EXPECT_NEAR(linkParams.macro.approachPlungeAngle, 10 * 3.14159265358979 / 180, 1e-12);
}

TEST_F(ProfPrepareJob, UnreadableJobFileGivesMinusOne) {
  JobRecord job;
  EXPECT_EQ(profPrepareJob("/nonexistent/dir/job.cfg", job), -1);
}

}  // namespace

namespace {

TEST_F(ProfPrepareJob, AutomaticBoundaryWithoutItsLibraryFailsValidation) {
  jobRecord.boundStrategy = 1;
  jobRecord.usePbound = 0;
  std::snprintf(jobRecord.dllDir, sizeof jobRecord.dllDir, "%s", "/nonexistent/dir");
  std::snprintf(jobRecord.tmpDir, sizeof jobRecord.tmpDir, "%s", "/tmp/x/");
  Prepared p = prepare();
  EXPECT_EQ(p.result, -2);
  EXPECT_STREQ(p.job.cbndName, "/tmp/x/bound.bnd");
  EXPECT_TRUE(has(p.messages, "304"));
  // Offset boundaries need the surfaces facetted first.
  jobRecord.usePbound = 1;
  p = prepare();
  EXPECT_EQ(p.result, -2);
  EXPECT_TRUE(has(p.messages, "6023"));
  EXPECT_FALSE(has(p.messages, "304"));
}

// Outline boundaries from a given boundary file need no library: the run's
// boundary is their box, grown by the tool radius and 0.1 (internal units),
// written in the job's units.
TEST_F(ProfPrepareJob, OutlineOfAGivenBoundaryFileBecomesItsBox) {
  tsupport::TempDir dir;
  ASSERT_TRUE(tsupport::writeFile(dir.file("mill.3df"), "surfaces"));
  ASSERT_TRUE(tsupport::writeFile(dir.file("mill.bnd"),
                                  "**BND 1\nX0 Y0 Z0\nX10 Y0 Z0\nX10 Y20 Z0\n**END\n"));
  jobRecord.boundStrategy = 1;
  jobRecord.usePbound = 2;
  jobRecord.frradius = 1.5;  // internal scale 2
  setText(jobRecord.tmpDir, dir.path().c_str());
  setText(jobRecord.mill3df, dir.file("mill.3df").c_str());
  setText(jobRecord.millBnd, dir.file("mill.bnd").c_str());
  const Prepared p = prepare();
  ASSERT_EQ(p.result, 0);
  EXPECT_EQ(std::string(p.job.cbndName), dir.file("mill.bnd"));
  EXPECT_EQ(std::string(p.job.boundary), dir.file("bound.bnd"));
  EXPECT_TRUE(has(p.messages, "875"));
  EXPECT_EQ(tsupport::readFile(dir.file("bound.bnd")),
            "**BND 1\nX-1.550000 Y-1.550000 Z0.000000\nX11.550000 Y-1.550000 Z0.000000\n"
            "X11.550000 Y21.550000 Z0.000000\nX-1.550000 Y21.550000 Z0.000000\n"
            "X-1.550000 Y-1.550000 Z0.000000\n**END\n");
}

// A pocket job that ignores its profile machines inside its boundary: the
// boundary becomes the profile, and the job has no boundary left.
TEST_F(ProfPrepareJob, IgnoredProfileOfAPocketJobIsItsBoundary) {
  tsupport::TempDir dir;
  ASSERT_TRUE(
      tsupport::writeFile(dir.file("b.bnd"), "**BND 1\nX0 Y0 Z0\nX10 Y0 Z0\nX10 Y20 Z0\n**END\n"));
  setText(jobRecord.boundary, dir.file("b.bnd").c_str());
  setText(jobRecord.tmpDir, dir.path().c_str());
  jobRecord.ignoreProfile = 1;
  jobRecord.bearbeitricht = 10;
  const Prepared p = prepare();
  ASSERT_EQ(p.result, 0);
  EXPECT_STREQ(p.job.boundary, "");
  EXPECT_EQ(std::string(p.job.profil), dir.file("pocket.kfy"));
  const std::string kfy = tsupport::readFile(dir.file("pocket.kfy"));
  EXPECT_NE(kfy.find("oContour[1]()\n{\n  oL( x[0.000000/10.000000] y[0.000000/0.000000] )\n"),
            std::string::npos)
      << kfy;
}

// A job whose boundary (the text bnd, written to b.bnd) is projected onto
// the part file of dir with a tool of the given radius.  False when the
// boundary file cannot be written.
bool projectionJob(const tsupport::TempDir& dir, const char* part, const char* bnd, double radius) {
  if (!tsupport::writeFile(dir.file("b.bnd"), bnd)) return false;
  setText(jobRecord.approx, dir.file(part).c_str());
  setText(jobRecord.boundary, dir.file("b.bnd").c_str());
  setText(jobRecord.tmpDir, dir.path().c_str());
  jobRecord.bndProject = 1;
  jobRecord.frradius = radius;
  return true;
}

// A job whose boundary cannot be projected stops: the plane boundary it
// was drawn as is not the region to machine.
TEST_F(ProfPrepareJob, BoundaryThatCannotBeProjectedStopsTheJob) {
  tsupport::TempDir dir;
  ASSERT_TRUE(
      projectionJob(dir, "missing.stl", "**BND 1\nX0 Y0 Z0\nX2 Y0 Z0\nX2 Y2 Z0\n**END\n", 3));
  const Prepared p = prepare();
  EXPECT_EQ(p.result, -2);  // the job does not validate
  const auto end = std::find(p.messages.begin(), p.messages.end(), "822");
  ASSERT_NE(end, p.messages.end()) << ::testing::PrintToString(p.messages);
  EXPECT_NE(std::find(end, p.messages.end(), "304"), p.messages.end());
  EXPECT_FALSE(std::filesystem::exists(dir.file("proj.bnd")));
}

// A projected boundary replaces the job's boundary between its messages;
// the projection sizes its tool in the job's units (0.5, although the job
// runs at scale 25), and the job's own frame and scale hold afterwards.
TEST_F(ProfPrepareJob, ProjectedBoundaryBecomesTheJobsBoundary) {
  tsupport::TempDir dir;
  const auto plane =
      testmodels::heightField([](double, double) { return 5.0; }, -20, 30, -20, 30, 5, 5);
  ASSERT_TRUE(testmodels::writeBinaryStl(dir.file("plane.stl"), plane));
  ASSERT_TRUE(projectionJob(dir, "plane.stl",
                            "**BND 1\nX0 Y0 Z0\nX2 Y0 Z0\nX2 Y2 Z0\nX0 Y2 Z0\n**END\n", 0.5));
  const Prepared p = prepare();
  ASSERT_EQ(p.result, 0);
  ASSERT_EQ(jobScale, 25);
  EXPECT_EQ(std::string(p.job.boundary), dir.file("proj.bnd"));
  EXPECT_STREQ(jobRecord.boundary, dir.file("b.bnd").c_str());
  const auto start = std::find(p.messages.begin(), p.messages.end(), "820");
  ASSERT_NE(start, p.messages.end()) << ::testing::PrintToString(p.messages);
  EXPECT_NE(std::find(start, p.messages.end(), "822"), p.messages.end());
  const std::vector<std::string> lines = tsupport::splitLines(tsupport::readFile(p.job.boundary));
  ASSERT_GT(lines.size(), 2u);
  EXPECT_EQ(lines[1], "X0.000000 Y0.000000 Z5.500000");
  Vec3d internal{25, 50, 75};
  framePtToolToWorld(&internal);
  EXPECT_NEAR(internal.x, 1, 1e-12);
  EXPECT_NEAR(internal.y, 2, 1e-12);
  EXPECT_NEAR(internal.z, 3, 1e-12);
  jobTempFilesRemove();
  EXPECT_FALSE(std::filesystem::exists(dir.file("proj.bnd")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("proj.kfy")));
}

}  // namespace

struct ToolRow {
  const char* name;
  int16_t type;
  double radius;
  double corner;
  double allowance;
  int16_t tip;
  int16_t wantType;
  double wantRadius;
  double wantCorner;
  double wantTipOffset;
};

// The job's tool in internal units (radius 3: scale 1), after the allowance.
TEST_F(ProfPrepareJob, BuildsTheToolOfTheJobWithItsAllowance) {
  const ToolRow rows[] = {
      {"ball", 1, 3, 0, 0, 2, kToolBall, 3, 3, 0},
      {"ball with allowance, tip output", 1, 3, 0, 0.5, 1, kToolBall, 3.5, 3.5, 3},
      {"flat", 2, 3, 0, 0, 2, kToolFlat, 3, 0, 0},
      {"flat with allowance becomes a torus", 2, 3, 0, 0.2, 2, kToolTorus, 3.2, 0.2, 0},
      {"torus", 3, 3, 1, 0, 2, kToolTorus, 3, 1, 0},
      {"unknown type is a ball", 7, 3, 0, 0, 2, kToolBall, 3, 3, 0},
  };
  for (const ToolRow& row : rows) {
    jobRecord.frtyp = row.type;
    jobRecord.frradius = row.radius;
    jobRecord.frbogen = row.corner;
    jobRecord.aufmass = row.allowance;
    jobRecord.toolTip = row.tip;
    const Prepared p = prepare();
    ASSERT_EQ(p.result, 0) << row.name;
    EXPECT_EQ(jobTool.type, row.wantType) << row.name;
    EXPECT_DOUBLE_EQ(jobTool.radius, row.wantRadius) << row.name;
    EXPECT_DOUBLE_EQ(jobTool.cornerRadius, row.wantCorner) << row.name;
    EXPECT_DOUBLE_EQ(jobTool.tipOffset, row.wantTipOffset) << row.name;
    EXPECT_EQ(jobModel.tool, &jobTool) << row.name;
  }
}

TEST_F(ProfPrepareJob, AToolWithoutRadiusFailsValidation) {
  for (double radius : {0.0, -2.0}) {
    jobRecord.frradius = radius;
    const Prepared p = prepare();
    EXPECT_EQ(p.result, -2) << radius;
    ASSERT_FALSE(p.messages.empty()) << radius;
    EXPECT_EQ(p.messages.back().rfind("341,", 0), 0u) << radius;
  }
}

TEST_F(ProfPrepareJob, ModelSettingsAndTechnologyComeFromTheScaledJob) {
  jobRecord.frradius = 1.5;  // scale 2
  jobRecord.precision = 0.01;
  jobRecord.stepMax = 0.2;
  jobRecord.wkznummer = 7;
  jobRecord.xvorschub = 1200;
  jobRecord.drehzahl = 9000;
  jobRecord.sichebene = 40;
  jobRecord.sichdist = -3;
  const Prepared p = prepare();
  ASSERT_EQ(p.result, 0);
  ASSERT_EQ(jobScale, 2);
  // Tolerance 0.8 x precision, sample step 1 capped by the step limit.
  EXPECT_DOUBLE_EQ(jobModel.minStep, 0.016);
  EXPECT_DOUBLE_EQ(jobModel.maxStep, 0.4);
  EXPECT_EQ(jobTechnology.toolNumber, 7);
  EXPECT_EQ(jobTechnology.planeFeedrate, 1200);  // feeds are not lengths
  EXPECT_EQ(jobTechnology.spindleSpeed, 9000);
  EXPECT_EQ(jobTechnology.retractPlane, 80);  // lengths are internal
  EXPECT_EQ(jobTechnology.clearanceDistance, 6);
}

// Every number field of the record set to 1 through the keyword table; the
// scale must double exactly the length fields, each once.
TEST(ProfScaleLengths, ScalesEveryLengthFieldOnceAndNothingElse) {
  auto fieldOf = [](JobRecord& job, const JobKeywordTable& row) {
    const std::ptrdiff_t offset =
        static_cast<const char*>(row.target) - reinterpret_cast<const char*>(&jobRecord);
    return reinterpret_cast<double*>(reinterpret_cast<char*>(&job) + offset);
  };
  auto width = [](const JobKeywordTable& row) {
    return row.storeType == kJobStoreF64x3 ? 3 : row.storeType == kJobStoreF64x4 ? 4 : 1;
  };
  std::vector<const JobKeywordTable*> lengths;
  for (const char* keyword : kScaledLengthKeywords) {
    const int row = jobKeywordFind(keyword);
    ASSERT_GE(row, 0) << keyword;
    ASSERT_TRUE(profJobKeywords[row].storeType == kJobStoreF64 ||
                profJobKeywords[row].storeType == kJobStoreF64x3)
        << keyword;
    lengths.push_back(&profJobKeywords[row]);
  }
  JobRecord job;
  for (const JobKeywordTable* row = profJobKeywords; row->keyword != nullptr; ++row) {
    if (row->storeType == kJobStoreF64 || row->storeType == kJobStoreF64x3 ||
        row->storeType == kJobStoreF64x4) {
      for (int k = 0; k < width(*row); ++k) fieldOf(job, *row)[k] = 1;
    }
  }
  profScaleLengths(job, 2);
  int scaled = 0;
  for (const JobKeywordTable* row = profJobKeywords; row->keyword != nullptr; ++row) {
    if (row->storeType != kJobStoreF64 && row->storeType != kJobStoreF64x3 &&
        row->storeType != kJobStoreF64x4) {
      continue;
    }
    bool isLength = false;
    for (const JobKeywordTable* l : lengths) isLength = isLength || l->target == row->target;
    for (int k = 0; k < width(*row); ++k) {
      EXPECT_EQ(fieldOf(job, *row)[k], isLength ? 2 : 1) << row->keyword << " " << k;
    }
    scaled += isLength ? 1 : 0;
  }
  EXPECT_GE(scaled, kScaledLengthCount);  // synonyms name a field twice
}

struct HoriRow {
  const char* name;
  int16_t type;
  double radius;
  double corner;
  double allowance;
  int16_t wantType;
  double wantRadius;
  double wantCorner;
  bool warns;
};

TEST(JobApplyHorizontalAllowance, GrowsTheRadiusAndRetypesTheTool) {
  const HoriRow rows[] = {
      {"ball grows into a torus", 1, 3, 0, 0.5, 3, 3.5, 3, false},
      {"flat grows", 2, 3, 1, 0.5, 2, 3.5, 0, false},
      {"torus grows", 3, 3, 1, 0.2, 3, 3.2, 1, false},
      {"torus shrinks to its corner: a ball", 3, 3, 1, -2, 1, 1, 1, false},
      {"below the corner: corrected", 3, 3, 1, -2.5, 1, 1, 1, true},
      {"flat below zero: corrected", 2, 1, 0, -2, 2, 0, 0, true},
  };
  for (const HoriRow& row : rows) {
    JobRecord job;
    job.frtyp = row.type;
    job.frradius = row.radius;
    job.frbogen = row.corner;
    job.aufmassHori = row.allowance;
    tsupport::MessageCapture capture;
    jobApplyHorizontalAllowance(job);
    EXPECT_EQ(job.frtyp, row.wantType) << row.name;
    EXPECT_DOUBLE_EQ(job.frradius, row.wantRadius) << row.name;
    EXPECT_DOUBLE_EQ(job.frbogen, row.wantCorner) << row.name;
    EXPECT_EQ(has(capture.values, "1126"), row.warns) << row.name;
  }
}

TEST_F(ProfPrepareJob, CommentOptionsAndSurfaceFilesTakeEffect) {
  // The horizontal allowance from the comment turns the ball into a torus.
  setText(jobRecord.a1, "rough ALL_HORI = 0.25");
  jobRecord.frradius = 3;
  // A clip surface file that cannot be facetted (no facetting library in
  // an empty library directory) is reported, never dropped silently.
  setText(jobRecord.clipKfy, "clip.kfy");
  jobRecord.clipCount = 1;
  // Slope mode with upward cutting sorts the paths.
  jobRecord.slopeMode = 1;
  jobRecord.aufstieg = 1;
  const Prepared p = prepare();
  ASSERT_EQ(p.result, 0);
  EXPECT_EQ(p.job.frtyp, 3);
  EXPECT_DOUBLE_EQ(p.job.frradius, 3.25);
  EXPECT_EQ(p.job.clipCount, 0);
  EXPECT_TRUE(has(p.messages, "332,clip.kfy"));
  EXPECT_EQ(p.job.clipSort, 2);
  // The record as read keeps its own values.
  EXPECT_EQ(jobRecord.frtyp, 1);
  EXPECT_EQ(jobRecord.clipCount, 1);
}
