#include "cycles/common3d/geometry_convert.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cycles/common3d/common3d_record.h"
#include "formats/kfy/kfy_file.h"
#include "geometry/frame/working_frame.h"
#include "support/temp_dir.h"

namespace {

using V = std::vector<std::string>;
using tsupport::readFile;
using tsupport::splitLines;

class GeometryConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frameReset();
    cyc3dSetProfileAppend(0);
    cyc3dSetPointProfiles(0);
    rec_ = cyc3dRecordOf(&ctx_);
    *rec_ = Cyc3dRecord{};
    rec_->tempDirectory = dir_.path();
    rec_->circularMacroSegmentAngle = 10;
  }
  void TearDown() override {
    for (const std::string& f : rec_->ownedTempFiles) std::remove(f.c_str());
    cyc3dSetProfileAppend(0);
    cyc3dSetPointProfiles(0);
  }

  int convert(const std::string& body, const char* type = "Geometry") {
    rec_->geoSource = dir_.file("geo.kfy");
    EXPECT_TRUE(tsupport::writeFile(
        rec_->geoSource,
        std::string(kfyBanner) + "\nkFY-Version: 1.0\n" + type + "\ntitle\n" + body));
    return cyc3dConvertGeometry(&ctx_);
  }
  static std::string block(const char* type, const std::string& elements,
                           const std::string& values = "") {
    return std::string("oContour( )\n{\n") + values + "v3Dtype(" + type + ")\n" + elements + "}\n";
  }

  CycleDescriptor ctx_{};
  Cyc3dRecord* rec_ = nullptr;
  tsupport::TempDir dir_;
};

TEST_F(GeometryConvertTest, BoundaryOfFourLines) {
  const int n = convert(block("boundary",
                              "oL( x[0/10] y[0/0] z[0/0] )\noL( x[/10] y[/10] )\n"
                              "oL( x[/0] y[/10] )\noL( x[/0] y[/0] )\n"));
  EXPECT_EQ(n, 1);
  EXPECT_EQ(splitLines(readFile(rec_->bndFile)),
            (V{"**BND 1", "X0.000000 Y0.000000 Z0.000000", "X10.000000 Y0.000000 Z0.000000",
               "X10.000000 Y10.000000 Z0.000000", "X0.000000 Y10.000000 Z0.000000",
               "X0.000000 Y0.000000 Z0.000000", "**END"}));
  EXPECT_EQ(rec_->bndFile, dir_.path() + "/" + std::to_string(getpid()) + ".bnd");
}

TEST_F(GeometryConvertTest, ProfilesGoToPrfThenPr2ThenNowhereUnlessAppended) {
  std::string body;
  for (int i = 1; i <= 3; ++i) {
    body += block("profile", "oL( x[0/" + std::to_string(i) + "] y[0/0] z[0/0] )\n");
  }
  EXPECT_EQ(convert(body), 3);
  EXPECT_EQ(splitLines(readFile(rec_->prfFile)), (V{"**PRF 1", "X0.000000 Y0.000000 Z0.000000",
                                                    "X1.000000 Y0.000000 Z0.000000", "**END"}));
  EXPECT_EQ(splitLines(readFile(rec_->pr2File))[0], "**PRF 2");
  EXPECT_EQ(splitLines(readFile(rec_->pr2File)).size(), 4u);

  std::remove(rec_->prfFile.c_str());
  cyc3dSetProfileAppend(1);
  EXPECT_EQ(convert(body), 3);
  V headers;
  for (const std::string& l : splitLines(readFile(rec_->prfFile))) {
    if (l.rfind("**PRF", 0) == 0) headers.push_back(l);
  }
  EXPECT_EQ(headers, (V{"**PRF 1", "**PRF 2", "**PRF 3"}));
}

TEST_F(GeometryConvertTest, QuarterArcInTenDegreeChords) {
  convert(block("profile", "oM( x[/10] y[/0] z[/0] )\noA( o[+] x[10/0/0] y[0/10/0] z[0/2] )\n"));
  const V lines = splitLines(readFile(rec_->prfFile));
  ASSERT_EQ(lines.size(), 12u) << "header, start, nine chord ends, end mark";
  EXPECT_EQ(lines[1], "X10.000000 Y0.000000 Z2.000000") << "the start at the end's z";
  EXPECT_EQ(lines[2], "X9.848078 Y1.736482 Z2.000000");
  EXPECT_EQ(lines[10], "X0.000000 Y10.000000 Z2.000000");
}

TEST_F(GeometryConvertTest, ClockwiseArcAndFullCircle) {
  rec_->circularMacroSegmentAngle = 90;
  convert(block("boundary",
                "oA( o[-] x[10/0/0] y[0/-10/0] z[0/0] )\n"
                "oA( o[-] x[0/0/0] y[-10/-10/0] z[0/0] )\n"));
  EXPECT_EQ(splitLines(readFile(rec_->bndFile)),
            (V{"**BND 1", "X10.000000 Y0.000000 Z0.000000", "X0.000000 Y-10.000000 Z0.000000",
               "X-10.000000 Y0.000000 Z0.000000", "X0.000000 Y10.000000 Z0.000000",
               "X10.000000 Y0.000000 Z0.000000", "X0.000000 Y-10.000000 Z0.000000", "**END"}))
      << "a quarter clockwise, then a whole circle back to its start";
}

TEST_F(GeometryConvertTest, SyncLinesArePairsAndPlungePointFollowsTheHeader) {
  convert(block("synch", "oL( x[1/2] y[3/4] z[5/6] )\n") +
          block("profile", "oL( x[0/1] y[0/0] z[0/0] )\n", "vplungePoint(3,4)\n"));
  EXPECT_EQ(splitLines(readFile(rec_->sncFile)),
            (V{"**SYN 1", "x1.000000 y3.000000 z5.000000 X2.000000 Y4.000000 Z6.000000", "**END"}));
  EXPECT_EQ(rec_->syncFileWritten, 1);
  EXPECT_EQ(splitLines(readFile(rec_->prfFile))[1], "**PLUNGE X3.000000 Y4.000000");
}

TEST_F(GeometryConvertTest, ValuesSetTheRecord) {
  convert(block("profile", "", "vsurface(2.5)\nvdepth(-4)\n") +
          "oContour[profile]( )\n{\nv3Dtype(profile)\nvsideOfCompensation(rightOfContour)\n}\n"
          "oP( x[/7] y[/8] z[/9] )\n");
  EXPECT_EQ(rec_->surface, 2.5);
  EXPECT_EQ(rec_->depth, -4.0);
  EXPECT_EQ(rec_->infeedDirection, 1);
  EXPECT_EQ(rec_->startPointSet, 1);
  EXPECT_EQ(rec_->startPoint.z, 9.0);
}

// A second "3Dtype" in one block ends the first block properly.
TEST_F(GeometryConvertTest, SecondTypeInABlockClosesTheFirst) {
  convert(
      "oContour( )\n{\nv3Dtype(boundary)\noL( x[0/1] y[0/0] z[0/0] )\n"
      "v3Dtype(synch)\noL( x[0/1] y[0/0] z[0/0] )\n}\n");
  EXPECT_EQ(splitLines(readFile(rec_->bndFile)).back(), "**END");
  EXPECT_EQ(splitLines(readFile(rec_->sncFile)).back(), "**END");
}

// Points as profiles: the first two get the prf and pr2 files, a third
// without append-profiles gets none.
TEST_F(GeometryConvertTest, PointProfilesBeyondTheSecondAreDropped) {
  cyc3dSetPointProfiles(1);
  convert("oP( x[/1] y[/1] z[/0] )\noP( x[/2] y[/2] z[/0] )\noP( x[/3] y[/3] z[/0] )\n");
  EXPECT_EQ(splitLines(readFile(rec_->prfFile)), (V{"**PRF 1", "X1.000000 Y1.000000 Z0.000000",
                                                    "X1.000000 Y1.000000 Z0.000000", "**END"}));
  EXPECT_EQ(splitLines(readFile(rec_->pr2File))[0], "**PRF 2");
  EXPECT_EQ(rec_->ownedTempFiles.size(), 2u);
  EXPECT_EQ(rec_->startPoint.x, 3.0);
}

TEST_F(GeometryConvertTest, OtherFileTypesAndMissingFilesGiveMinusOne) {
  EXPECT_EQ(convert(block("boundary", "oL( x[0/1] y[0/0] )\n"), "Tools"), -1);
  EXPECT_TRUE(rec_->ownedTempFiles.empty());
  rec_->geoSource = dir_.file("missing.kfy");
  EXPECT_EQ(cyc3dConvertGeometry(&ctx_), -1);
}

TEST_F(GeometryConvertTest, PointsAreWrittenInWorldCoordinates) {
  const Vec3d o{0, 0, 0}, x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
  frameSetNcSystem(&o, &x, &y, &z);
  frameSetToolSystem(&o, &x, &y, &z);
  ASSERT_EQ(frameActivate(), 1);
  ASSERT_EQ(frameScaleMultiply(2.0), 1);
  convert(block("boundary", "oL( x[2/4] y[0/0] z[0/0] )\n"));
  frameReset();
  EXPECT_EQ(splitLines(readFile(rec_->bndFile))[2], "X2.000000 Y0.000000 Z0.000000");
}

TEST(Common3dHelpers, TempFileNamesAndParsers) {
  const std::string pid = std::to_string(getpid());
  EXPECT_EQ(cycTempFileName("dir\\", "bnd"), "dir\\" + pid + ".bnd");
  EXPECT_EQ(cycTempFileName("dir/", "bnd"), "dir/" + pid + ".bnd");
  EXPECT_EQ(cycTempFileName("dir", "bnd"), "dir/" + pid + ".bnd");
  EXPECT_EQ(cycTempFileName("", "bnd"), pid + ".bnd");

  Vec3d p{9, 9, 9};
  EXPECT_EQ(cycParseXyz("1,2.5,-3", &p), 1);
  EXPECT_EQ(p.z, -3.0);
  EXPECT_EQ(cycParseXyz("1,2", &p), -1);
  EXPECT_EQ(p.x, 1.0);
  double xy[2] = {0, 0};
  EXPECT_EQ(cycParseXy(&xy, "3/4"), 1);
  EXPECT_EQ(xy[1], 4.0);
  EXPECT_EQ(cycParseXy(&xy, "5,6/7"), 1);
  EXPECT_EQ(xy[1], 6.0);
  EXPECT_EQ(cycParseXy(&xy, "8"), 0);
}

// A name another run (or an earlier kind) holds is never written over.
TEST(Common3dHelpers, TakenTempNamesAreUnique) {
  tsupport::TempDir dir;
  Cyc3dRecord rec;
  rec.tempDirectory = dir.path();
  const std::string first = cyc3dTakeTempName(&rec, "snc");
  const std::string second = cyc3dTakeTempName(&rec, "snc");
  EXPECT_EQ(first, dir.path() + "/" + std::to_string(getpid()) + ".snc");
  EXPECT_EQ(second, dir.path() + "/" + std::to_string(getpid()) + "-2.snc");
  EXPECT_EQ(rec.ownedTempFiles, (V{first, second}));
  for (const std::string& f : rec.ownedTempFiles) std::remove(f.c_str());
}

}  // namespace
