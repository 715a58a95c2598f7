#include "geometry/curves/profile_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "geometry/frame/working_frame.h"
#include "support/temp_dir.h"

namespace {

using tsupport::readFile;
using tsupport::writeFile;

const std::string kDataDir = std::string(TESSARO_TEST_DATA) + "/prf/";
const std::string kFiveLines = kDataDir + "five_lines.prf";
const std::string kThreeProfiles = kDataDir + "three_profiles.prf";

// The points of the five-line profile in file coordinates.
const std::vector<Vec3d> kFivePoints = {{0, 0, 0}, {10, 0, 0}, {10, 5, 0}};

std::vector<Vec3d> curvePoints(const CurveRec* c) {
  std::vector<Vec3d> out;
  for (int k = 0; k < c->count; ++k) {
    out.push_back({c->points[k].x, c->points[k].y, c->z != nullptr ? c->z[k] : 0.0});
  }
  return out;
}

// Points and z values read with prfReadPoints (room for 100 points).
std::vector<Vec3d> readPoints(const std::string& name) {
  std::vector<Vec2d> p(100);
  std::vector<double> z(100);
  const int n = prfReadPoints(p.data(), z.data(), name.c_str(), 100);
  std::vector<Vec3d> out;
  for (int k = 0; k < n; ++k) out.push_back({p[k].x, p[k].y, z[k]});
  return out;
}

void expectPoints(const std::vector<Vec3d>& got, const std::vector<Vec3d>& want, bool withZ) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t k = 0; k < got.size(); ++k) {
    EXPECT_NEAR(got[k].x, want[k].x, 1e-12) << "point " << k;
    EXPECT_NEAR(got[k].y, want[k].y, 1e-12) << "point " << k;
    if (withZ) {
      EXPECT_NEAR(got[k].z, want[k].z, 1e-12) << "point " << k;
    }
  }
}

// Every test runs in its own working directory from the state of a fresh run.
class ProfileFileTest : public testing::Test {
 protected:
  void SetUp() override { frameReset(); }
  void TearDown() override { frameReset(); }
  std::string write(const std::string& name, const std::string& text) {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(writeFile(path, text));
    return path;
  }
  tsupport::ScopedWorkDir dir_;
};

// ---- Frames -------------------------------------------------------------------

struct FrameRow {
  const char* name;
  Vec3d toolOrigin;
  double scale;
  std::vector<Vec3d> want;  // internal coordinates of the five-line profile
};

class ProfileFrameTest : public ProfileFileTest, public testing::WithParamInterface<FrameRow> {};

TEST_P(ProfileFrameTest, FiveLineProfileIsMappedIntoInternalCoordinates) {
  const FrameRow& row = GetParam();
  const Vec3d x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1}, origin{0, 0, 0};
  frameSetNcSystem(&origin, &x, &y, &z);
  frameSetToolSystem(&row.toolOrigin, &x, &y, &z);
  ASSERT_EQ(frameActivate(), 1);
  ASSERT_EQ(frameScaleMultiply(row.scale), 1);

  expectPoints(readPoints(kFiveLines), row.want, true);
  CurveRec* c = curveReadPrfOne(kFiveLines.c_str(), 0, 0, 0, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->z, nullptr);
  expectPoints(curvePoints(c), row.want, false);
  const Vec3d& last = row.want.back();
  EXPECT_NEAR(c->t1, last.x - row.want[0].x + last.y - row.want[0].y, 1e-12);
  curveFree(c);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ProfileFrameTest,
    testing::Values(FrameRow{"identity", {0, 0, 0}, 1.0, kFivePoints},
                    FrameRow{"scale_two", {0, 0, 0}, 2.0, {{0, 0, 0}, {20, 0, 0}, {20, 10, 0}}},
                    FrameRow{"shifted_tool_scale_two",
                             {10, -1, 3},
                             2.0,
                             {{-20, 2, -6}, {0, 2, -6}, {0, 12, -6}}}),
    [](const testing::TestParamInfo<FrameRow>& info) { return std::string(info.param.name); });

TEST_F(ProfileFileTest, TiltedFrameMapsHeightIntoPlanAndComparesZOnlyWhenRead) {
  // Tool y axis along world z: internal (x, y, z) = world (x, z, -y).
  const Vec3d origin{0, 0, 0}, x{1, 0, 0}, y{0, 0, 1}, z{0, -1, 0}, ny{0, 1, 0}, nz{0, 0, 1};
  frameSetNcSystem(&origin, &x, &ny, &nz);
  frameSetToolSystem(&origin, &x, &y, &z);
  ASSERT_EQ(frameActivate(), 1);
  const std::string name = write("tilted.prf", "**PRF 1\nX1 Y2 Z7\nY3\n**END\n");

  expectPoints(readPoints(name), {{1, 7, -2}, {1, 7, -3}}, true);
  // Without z values the two points are one point in plan.
  std::vector<Vec2d> p(4);
  ASSERT_EQ(prfReadPoints(p.data(), nullptr, name.c_str(), 4), 1);
  EXPECT_DOUBLE_EQ(p[0].x, 1);
  EXPECT_DOUBLE_EQ(p[0].y, 7);
}

// ---- Line forms ---------------------------------------------------------------

struct LineFormRow {
  const char* name;
  std::string text;  // each reads as the five-line profile
};

class ProfileLineFormTest : public ProfileFileTest,
                            public testing::WithParamInterface<LineFormRow> {};

TEST_P(ProfileLineFormTest, ReadsTheFiveLineProfile) {
  const std::string name = write("form.prf", GetParam().text);
  expectPoints(readPoints(name), kFivePoints, true);
  CurveRec* c = curveReadPrfOne(name.c_str(), 0, 0, 0, 0);
  ASSERT_NE(c, nullptr);
  expectPoints(curvePoints(c), kFivePoints, false);
  curveFree(c);
}

const std::string kLongBlanks(200, ' ');

INSTANTIATE_TEST_SUITE_P(
    Forms, ProfileLineFormTest,
    testing::Values(
        LineFormRow{"plain", "**PRF 1\nX0 Y0 Z0\nX10\nY5\n**END\n"},
        LineFormRow{"crlf_line_ends", "**PRF 1\r\nX0 Y0 Z0\r\nX10\r\nY5\r\n**END\r\n"},
        LineFormRow{"writer_format",
                    "**PRF 1\nX0.000000 Y0.000000 Z0.000000\nX10.000000 Y0.000000 Z0.000000\n"
                    "X10.000000 Y5.000000 Z0.000000\n**END\n"},
        LineFormRow{"repeated_point_line", "**PRF 1\nX0 Y0 Z0\nX10\nX10\nX10\nY5\n**END\n"},
        LineFormRow{"repeat_within_tolerance",
                    "**PRF 1\nX0 Y0 Z0\nX10\nX10 Y0.000009\nY5\n**END\n"},
        LineFormRow{"line_without_letters_repeats", "**PRF 1\nX0 Y0 Z0\nX10\nG1 F100\nY5\n**END\n"},
        LineFormRow{"blanks_after_letters", "**PRF 1\nX 0 Y\t0 Z 0\nX  10\nY 5\n**END\n"},
        LineFormRow{"comment_lines", "**PRF 1\n* X99 Y99\nX0 Y0 Z0\n*\nX10\nY5\n**END\n"},
        LineFormRow{"endx_does_not_end", "**PRF 1\nX0 Y0 Z0\n**ENDX\nX10\nY5\n**END\n"},
        LineFormRow{"indented_end_line", "**PRF 1\nX0 Y0 Z0\nX10\nY5\n  **END\nX99 Y99\n"},
        LineFormRow{"end_line_with_more_words", "**PRF 1\nX0 Y0 Z0\nX10\nY5\n**END 1\nX99\n"},
        LineFormRow{"no_end_line", "**PRF 1\nX0 Y0 Z0\nX10\nY5"},
        LineFormRow{"points_before_the_header", "X0 Y0 Z0\n**PRF 1\nX10\nY5\n**END\n"},
        // Lines longer than any fixed read buffer stay one line each.
        LineFormRow{"long_point_line", "**PRF 1\nX0 Y0 Z0\nX10" + kLongBlanks + "Y0 Z0 " +
                                           kLongBlanks + "Y3\nY5\n**END\n"},
        LineFormRow{"long_header_line",
                    "**PRF 1 " + std::string(200, '-') + " X99 Y99\nX0 Y0 Z0\nX10\nY5\n**END\n"},
        LineFormRow{"long_end_line", "**PRF 1\nX0 Y0 Z0\nX10\nY5\n**END" + kLongBlanks + "X99\n"},
        LineFormRow{"blank_lines", "**PRF 1\n\n \t\r\nX0 Y0 Z0\n\nX10\nY5\n**END\n"}),
    [](const testing::TestParamInfo<LineFormRow>& info) { return std::string(info.param.name); });

TEST_F(ProfileFileTest, BlankLineBeforeFirstPointAddsNoOriginPoint) {
  // A blank line before the first point line would otherwise repeat the
  // letters' start values and put a point at the origin.
  const std::string name = write("blank.prf", "**PRF 1\n\nX5 Y5 Z1\nX6\n**END\n");
  expectPoints(readPoints(name), {{5, 5, 1}, {6, 5, 1}}, true);
}

TEST_F(ProfileFileTest, DriftingPointsAreComparedWithTheLastStoredPoint) {
  // Each step is below the tolerance; the third point is 0.000012 away from
  // the stored first one.
  const std::string name =
      write("drift.prf", "**PRF 1\nX0 Y0 Z0\nX0.000006\nX0.000012\nX0.000015\n**END\n");
  expectPoints(readPoints(name), {{0, 0, 0}, {0.000012, 0, 0}}, true);
}

// ---- prfReadPoints and prfCountProfiles ---------------------------------------

TEST_F(ProfileFileTest, ReadPointsStopsAtItsCapacity) {
  const Vec2d sentinel{-7, -7};
  std::vector<Vec2d> p(4, sentinel);
  std::vector<double> z(4, -7);
  EXPECT_EQ(prfReadPoints(p.data(), z.data(), kFiveLines.c_str(), 2), 2);
  EXPECT_DOUBLE_EQ(p[1].x, 10);
  EXPECT_DOUBLE_EQ(p[2].x, sentinel.x);
  EXPECT_DOUBLE_EQ(z[2], -7);

  EXPECT_EQ(prfReadPoints(p.data(), z.data(), kFiveLines.c_str(), 0), 0);
  EXPECT_EQ(prfReadPoints(p.data(), z.data(), kFiveLines.c_str(), -3), 0);
  EXPECT_DOUBLE_EQ(p[2].x, sentinel.x);
}

TEST_F(ProfileFileTest, UnreadableFilesGiveMinusOne) {
  Vec2d p[2];
  for (const char* name : {"missing.prf", "", "."}) {
    EXPECT_EQ(prfReadPoints(p, nullptr, name, 2), -1) << name;
    EXPECT_EQ(prfCountProfiles(name), -1) << name;
    EXPECT_EQ(curveReadPrfOne(name, 0, 0, 0, 0), nullptr) << name;
    EXPECT_EQ(curveReadPrfChain(name, nullptr, 1, 0, 0, 0, 0), nullptr) << name;
  }
  EXPECT_EQ(prfReadPoints(p, nullptr, nullptr, 2), -1);
  EXPECT_EQ(prfCountProfiles(nullptr), -1);
}

struct CountRow {
  const char* name;
  std::string text;
  int want;
};

class ProfileCountTest : public ProfileFileTest, public testing::WithParamInterface<CountRow> {};

TEST_P(ProfileCountTest, CountsEndLines) {
  const std::string name = write("count.prf", GetParam().text);
  EXPECT_EQ(prfCountProfiles(name.c_str()), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Counts, ProfileCountTest,
                         testing::Values(CountRow{"empty_file", "", 0},
                                         CountRow{"no_end_line", "**PRF 1\nX1\n", 0},
                                         CountRow{"one", "**PRF 1\nX1\n**END\n", 1},
                                         CountRow{"three", readFile(kThreeProfiles), 3},
                                         CountRow{"endx_is_no_end", "**PRF 1\n**ENDX\n**END_\n", 0},
                                         CountRow{"indented", "  **END\n\t**END\n", 2},
                                         CountRow{"crlf", "**PRF 1\r\n**END\r\n", 1},
                                         CountRow{"end_not_first_word", "X1 **END\n*** **END\n", 0},
                                         CountRow{"no_final_line_feed", "**PRF 1\n**END", 1}),
                         [](const testing::TestParamInfo<CountRow>& info) {
                           return std::string(info.param.name);
                         });

// ---- curveReadPrfOne ------------------------------------------------------------

struct StepRow {
  const char* name;
  double s0, s1;
  int side;
  double first, last;
};

class ProfileStepTest : public ProfileFileTest, public testing::WithParamInterface<StepRow> {};

TEST_P(ProfileStepTest, StepsAreOrderedAndNegatedBySide) {
  const StepRow& row = GetParam();
  CurveRec* c = curveReadPrfOne(kFiveLines.c_str(), 0, row.side, row.s0, row.s1);
  ASSERT_NE(c, nullptr);
  EXPECT_DOUBLE_EQ(c->firstStep, row.first);
  EXPECT_DOUBLE_EQ(c->lastStep, row.last);
  EXPECT_EQ(c->side, row.side);
  curveFree(c);
}

INSTANTIATE_TEST_SUITE_P(Steps, ProfileStepTest,
                         testing::Values(StepRow{"descending_with_side", 5, 2, 1, -2, -5},
                                         StepRow{"descending", 5, 2, 0, 2, 5},
                                         StepRow{"ascending_with_side", 2, 5, 1, -2, -5},
                                         StepRow{"across_zero", 4, -3, 0, -3, 4}),
                         [](const testing::TestParamInfo<StepRow>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(ProfileFileTest, ReadOneMakesAnOwningPolylineNamedAfterTheFile) {
  CurveRec* c = curveReadPrfOne(kFiveLines.c_str(), 0, 0, 1, 2);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->kind, kCurveKindPolyline);
  EXPECT_EQ(c->ownsPoints, 1);
  EXPECT_EQ(c->reverse, 0);
  EXPECT_EQ(c->next, nullptr);
  EXPECT_STREQ(c->name, kFiveLines.c_str());
  EXPECT_DOUBLE_EQ(c->t0, 0);
  EXPECT_DOUBLE_EQ(c->t1, 15);
  curveFree(c);
}

TEST_F(ProfileFileTest, ReadOneReversedRunsBackwardsWithAscendingLengths) {
  CurveRec* c = curveReadPrfOne(kFiveLines.c_str(), 1, 0, 0, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->reverse, 1);
  expectPoints(curvePoints(c), {{10, 5, 0}, {10, 0, 0}, {0, 0, 0}}, false);
  EXPECT_DOUBLE_EQ(c->lengths[0], 0);
  EXPECT_DOUBLE_EQ(c->lengths[1], 5);
  EXPECT_DOUBLE_EQ(c->lengths[2], 15);
  curveFree(c);
}

TEST_F(ProfileFileTest, ProfileWithoutPointsGivesAnEmptyCurve) {
  const std::string name = write("empty.prf", "**PRF 1\n**END\n");
  CurveRec* c = curveReadPrfOne(name.c_str(), 1, 0, 0, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->count, 0);
  EXPECT_DOUBLE_EQ(c->t1, 0);
  curveFree(c);
}

TEST_F(ProfileFileTest, NameBeginningWithABlankIsRefused) {
  write(" lead.prf", readFile(kFiveLines));
  EXPECT_EQ(curveReadPrfOne(" lead.prf", 0, 0, 0, 0), nullptr);
}

TEST_F(ProfileFileTest, LongFileNameIsReadAndCutInTheCurve) {
  const std::string folder(200, 'd');
  std::filesystem::create_directory(folder);
  const std::string name = folder + "/" + std::string(100, 'f') + ".prf";
  write(name, readFile(kFiveLines));
  CurveRec* c = curveReadPrfOne(name.c_str(), 0, 0, 0, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->count, 3);
  EXPECT_EQ(std::string(c->name), name.substr(0, kCurveNameSize - 1));
  curveFree(c);
}

// ---- Files of several profiles --------------------------------------------------

const std::vector<std::vector<Vec3d>> kThreePoints = {{{0, 0, 1}, {10, 0, 1}},
                                                      {{0, 20, 2}, {10, 20, 2}, {10, 30, 2}},
                                                      {{-5.5, -5.5, -3.25}, {5.5, -5.5, -3.25}}};

void expectThreeProfiles(CurveRec* chain, bool withZ) {
  std::size_t k = 0;
  for (CurveRec* c = chain; c != nullptr; c = c->next, ++k) {
    ASSERT_LT(k, kThreePoints.size());
    EXPECT_STREQ(c->name, "tmp.prf");
    expectPoints(curvePoints(c), kThreePoints[k], withZ);
  }
  EXPECT_EQ(k, kThreePoints.size());
}

TEST_F(ProfileFileTest, ChainReadsEveryProfileInMemory) {
  CurveRec* chain = curveReadPrfChain(kThreeProfiles.c_str(), nullptr, 1, 0, 1, 3, 1);
  ASSERT_NE(chain, nullptr);
  expectThreeProfiles(chain, false);
  for (CurveRec* c = chain; c != nullptr; c = c->next) {
    EXPECT_EQ(c->z, nullptr);
    EXPECT_DOUBLE_EQ(c->firstStep, -1);
    EXPECT_DOUBLE_EQ(c->lastStep, -3);
    EXPECT_EQ(c->side, 1);
  }
  curveFree(chain);
  // Nothing is left in the working directory.
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(ProfileFileTest, ChainSkipsLinesBetweenProfiles) {
  std::string text = readFile(kThreeProfiles);
  text.insert(text.find("**PRF 2"), "X99 Y99\n\nG0\n");
  const std::string name = write("junk.prf", text);
  CurveRec* chain = curveReadPrfChain(name.c_str(), nullptr, 1, 0, 0, 0, 0);
  expectThreeProfiles(chain, false);
  curveFree(chain);
}

TEST_F(ProfileFileTest, InputNamedLikeTheSplitFileIsReadAndLeftIntact) {
  const std::string original = readFile(kThreeProfiles);
  write("tmp.prf", original);
  CurveRec* chain = curveReadPrfChain("tmp.prf", nullptr, 1, 0, 0, 0, 0);
  expectThreeProfiles(chain, false);
  curveFree(chain);
  EXPECT_EQ(readFile(dir_.file("tmp.prf")), original);
}

TEST_F(ProfileFileTest, ChainOfAFileWithoutEndLineIsOneProfile) {
  const std::string name = write("open.prf", "**PRF 1\nX1 Y2\nX3\n");
  CurveRec* chain = curveReadPrfChain(name.c_str(), nullptr, 1, 1, 0, 0, 0);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->next, nullptr);
  EXPECT_STREQ(chain->name, name.c_str());
  expectPoints(curvePoints(chain), {{3, 2, 0}, {1, 2, 0}}, false);
  curveFree(chain);
}

TEST_F(ProfileFileTest, ConcurrentMultiProfileReadsKeepTheirOwnProfiles) {
  // Two files of different profiles read at once from one directory: each
  // reader must see only its own file.
  std::string other = readFile(kThreeProfiles);
  for (std::size_t at = other.find("X"); at != std::string::npos; at = other.find("X", at + 1)) {
    other.replace(at, 1, "X1");  // every x grows by a leading 1: 0 -> 10, 10 -> 110
  }
  const std::string otherName = write("other.prf", other);
  bool ok[2] = {true, true};
  auto run = [&](int which) {
    for (int round = 0; round < 20; ++round) {
      CurveRec* c = curveReadPrfChain(which == 0 ? kThreeProfiles.c_str() : otherName.c_str(),
                                      nullptr, 1, 0, 0, 0, 0);
      const double want = which == 0 ? 10 : 110;
      ok[which] = ok[which] && c != nullptr && c->count == 2 && c->points[1].x == want;
      curveFree(c);
    }
  };
  std::thread a(run, 0);
  std::thread b(run, 1);
  a.join();
  b.join();
  EXPECT_TRUE(ok[0]);
  EXPECT_TRUE(ok[1]);
}

// ---- prfCopyNextProfile -------------------------------------------------------

TEST_F(ProfileFileTest, CopyNextProfileCopiesOneProfileAtATime) {
  std::string text = readFile(kThreeProfiles);
  text.insert(text.find("**PRF 2"), "stray line\n");
  const std::string name = write("in.prf", text);
  std::FILE* in = std::fopen(name.c_str(), "r");
  ASSERT_NE(in, nullptr);
  const std::vector<std::string> want = {
      "**PRF 1\nX0.000000 Y0.000000 Z1.000000\nX10.000000 Y0.000000 Z1.000000\n**END\n",
      "**PRF 2\nX0.000000 Y20.000000 Z2.000000\nX10.000000 Y20.000000 Z2.000000\n"
      "X10.000000 Y30.000000 Z2.000000\n**END\n",
      "**PRF 3\nX-5.500000 Y-5.500000 Z-3.250000\nX5.500000 Y-5.500000 Z-3.250000\n**END\n", ""};
  for (const std::string& profile : want) {
    EXPECT_EQ(prfCopyNextProfile(in, "out.prf"), 1);
    EXPECT_EQ(readFile(dir_.file("out.prf")), profile);
  }
  std::fclose(in);
}

TEST_F(ProfileFileTest, CopyNextProfileRefusesToOverwriteItsInput) {
  const std::string original = readFile(kThreeProfiles);
  write("tmp.prf", original);
  std::FILE* in = std::fopen("tmp.prf", "r");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(prfCopyNextProfile(in, "tmp.prf"), -1);
  EXPECT_EQ(prfCopyNextProfile(in, dir_.file("tmp.prf").c_str()), -1);
  EXPECT_EQ(readFile(dir_.file("tmp.prf")), original);
  // Nothing of the input was consumed.
  EXPECT_EQ(prfCopyNextProfile(in, "copy.prf"), 1);
  EXPECT_EQ(readFile(dir_.file("copy.prf")).rfind("**PRF 1\n", 0), 0u);
  std::fclose(in);
}

TEST_F(ProfileFileTest, CopyNextProfileFailsWithoutInputOrOutput) {
  std::FILE* in = std::fopen(kThreeProfiles.c_str(), "r");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(prfCopyNextProfile(in, "no/such/folder/out.prf"), -1);
  EXPECT_EQ(prfCopyNextProfile(in, ""), -1);
  EXPECT_EQ(prfCopyNextProfile(nullptr, "out.prf"), -1);
  std::fclose(in);
}

}  // namespace
