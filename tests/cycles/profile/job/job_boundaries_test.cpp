#include "cycles/profile/job/job_boundaries.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "boundaries/bnd_file.h"
#include "boundaries/bnd_library.h"
#include "cycles/profile/job/job_prepare.h"
#include "formats/kfy/kfy_file.h"
#include "geometry/frame/working_frame.h"
#include "support/message_capture.h"
#include "support/temp_dir.h"

namespace {

using tsupport::readFile;
using tsupport::TempDir;
using tsupport::writeFile;

// Two boundaries: a square and a triangle beside it.
constexpr char kTwoBoundaries[] =
    "**BND 1\nX0 Y0 Z0\nX10 Y0 Z0\nX10 Y10 Z0\nX0 Y10 Z0\nX0 Y0 Z0\n**END\n"
    "**BND 2\nX20 Y5 Z0\nX30 Y5 Z0\nX25 Y15 Z0\n**END\n";

class JobBoundaryFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    frameReset();
    bndSetInternalScale(1);
    jobScale = 1;
    ASSERT_TRUE(writeFile(dir_.file("in.bnd"), kTwoBoundaries));
  }
  void TearDown() override {
    bndSetInternalScale(1);
    jobScale = 1;
  }
  TempDir dir_;
};

TEST_F(JobBoundaryFiles, BoxFileHoldsTheGrownBoxOfAllBoundaries) {
  ASSERT_EQ(bndWriteBoxFile(dir_.file("in.bnd").c_str(), dir_.file("box.bnd").c_str(), 1.5), 1);
  EXPECT_EQ(readFile(dir_.file("box.bnd")),
            "**BND 1\n"
            "X-1.500000 Y-1.500000 Z0.000000\n"
            "X31.500000 Y-1.500000 Z0.000000\n"
            "X31.500000 Y16.500000 Z0.000000\n"
            "X-1.500000 Y16.500000 Z0.000000\n"
            "X-1.500000 Y-1.500000 Z0.000000\n"
            "**END\n");
}

TEST_F(JobBoundaryFiles, BoxFileFailsWithoutBoundariesOrAWritableOutput) {
  ASSERT_TRUE(writeFile(dir_.file("empty.bnd"), "nothing here\n"));
  EXPECT_EQ(bndWriteBoxFile(dir_.file("empty.bnd").c_str(), dir_.file("a.bnd").c_str(), 1), -1);
  EXPECT_EQ(bndWriteBoxFile(dir_.file("missing.bnd").c_str(), dir_.file("b.bnd").c_str(), 1), -1);
  EXPECT_EQ(bndWriteBoxFile(dir_.file("in.bnd").c_str(), dir_.file("no/dir.bnd").c_str(), 1), -1);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("a.bnd")));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("b.bnd")));
}

TEST_F(JobBoundaryFiles, BoundariesBecomeClosedKfyContours) {
  ASSERT_EQ(bndWriteAsKfyContours(dir_.file("in.bnd").c_str(), dir_.file("p.kfy").c_str()), 1);
  EXPECT_EQ(readFile(dir_.file("p.kfy")),
            std::string(kfyBanner) +
                "\nkFY-Version: 1.0\ntemporary\nqzdrilhc\n\nvprecision(4) ; Nachkommastellen\n\n"
                "oContour[1]()\n{\n"
                "  oL( x[0.000000/10.000000] y[0.000000/0.000000] )\n"
                "  oL( x[10.000000/10.000000] y[0.000000/10.000000] )\n"
                "  oL( x[10.000000/0.000000] y[10.000000/10.000000] )\n"
                "  oL( x[0.000000/0.000000] y[10.000000/0.000000] )\n"
                "  oL( x[0.000000/0.000000] y[0.000000/0.000000] )\n"
                "}\n"
                "oContour[1]()\n{\n"
                "  oL( x[20.000000/30.000000] y[5.000000/5.000000] )\n"
                "  oL( x[30.000000/25.000000] y[5.000000/15.000000] )\n"
                "  oL( x[25.000000/20.000000] y[15.000000/5.000000] )\n"
                "}\n");
  EXPECT_EQ(bndWriteAsKfyContours(dir_.file("in.bnd").c_str(), dir_.file("no/p.kfy").c_str()), 0);
}

// The boundary library is not on this machine: each generation that needs it
// fails with its message; an outline from a given boundary file needs no
// library and names that file.
TEST_F(JobBoundaryFiles, AutomaticBoundariesWithoutTheLibrary) {
  ASSERT_TRUE(writeFile(dir_.file("mill.3df"), "surfaces"));
  char boundary[257] = {};
  char output[257] = {};
  const std::string missing3df = dir_.file("none.3df");
  const std::string given3df = dir_.file("mill.3df");
  struct Row {
    const char* name;
    bool offset;
    const char* file3df;
    std::string bnd;
    int result;
    std::vector<std::string> messages;
    std::string output;
  };
  const std::vector<Row> rows = {
      {"offset, surfaces not facetted", true, missing3df.c_str(), "", -1, {"6023"}, ""},
      {"offset, no outline", true, given3df.c_str(), "", -1, {"875", "304"}, dir_.file("cbnd.bnd")},
      {"offset of a given boundary",
       true,
       given3df.c_str(),
       dir_.file("in.bnd"),
       -1,
       {"875", "304"},
       dir_.file("cbnd.bnd")},
      {"outline, none generated",
       false,
       given3df.c_str(),
       "",
       -1,
       {"875", "304"},
       dir_.file("mill.bnd")},
      {"outline of a given boundary",
       false,
       given3df.c_str(),
       dir_.file("in.bnd"),
       1,
       {"875"},
       dir_.file("in.bnd")},
  };
  for (const Row& row : rows) {
    std::snprintf(boundary, sizeof boundary, "%s", row.bnd.c_str());
    output[0] = '\0';
    const std::string work = dir_.path();
    const AutoBoundaryJob job{"/nonexistent/lib", work.c_str(), "m.kfy", 0.01,
                              boundary,           nullptr,      output,  row.file3df,
                              sizeof output};
    tsupport::MessageCapture capture;
    const int result = row.offset ? bndAutoOffsetBoundaries(job) : bndAutoOutlineBoundaries(job);
    EXPECT_EQ(result, row.result) << row.name;
    EXPECT_EQ(capture.values, row.messages) << row.name;
    EXPECT_EQ(std::string(output), row.output) << row.name;
  }
  EXPECT_EQ(
      bndDllComputeZBoundary("/nonexistent/lib", given3df.c_str(), 4, dir_.file("z.bnd").c_str()),
      -1);
}

}  // namespace
