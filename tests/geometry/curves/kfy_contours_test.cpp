#include "geometry/curves/kfy_contours.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "formats/kfy/kfy_file.h"
#include "support/temp_dir.h"

namespace {

struct CurveDeleter {
  void operator()(CurveRec* c) const { curveFree(c); }
};
using CurvePtr = std::unique_ptr<CurveRec, CurveDeleter>;

class KfyContoursTest : public ::testing::Test {
 protected:
  void SetUp() override { kfyContourFrameReset(); }
  void TearDown() override { kfyContourFrameReset(); }

  CurvePtr read(const std::string& elements, double tolerance = 0.01,
                const std::string& file = "c.kfy") {
    const std::string text =
        std::string(kfyBanner) + "\nkFY-Version: 1.0\nGeometry\nContours\n" + elements;
    EXPECT_TRUE(tsupport::writeFile(dir_.file(file), text));
    return CurvePtr(kfyReadContours(dir_.file(file).c_str(), tolerance));
  }

  tsupport::ScopedWorkDir dir_;
};

void expectPoints(const CurveRec* c, const std::vector<Vec3d>& want) {
  ASSERT_EQ(c->count, static_cast<int>(want.size()));
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_NEAR(c->points[i].x, want[i].x, 1e-12) << i;
    EXPECT_NEAR(c->points[i].y, want[i].y, 1e-12) << i;
    EXPECT_NEAR(c->z[i], want[i].z, 1e-12) << i;
  }
}

TEST_F(KfyContoursTest, LineStartDefaultsToThePreviousEnd) {
  CurvePtr c = read(
      "vsurface(4)\nvdepth(1.5)\noContour[Holder]( )\n{\n oL( x[0/10] y[0/0] )\n"
      " oL( x[/10] y[/5] z[/2] )\n}\n");
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c->name, "Holder");
  EXPECT_EQ(c->kind, 'p');
  EXPECT_EQ(c->ownsPoints, 1);
  EXPECT_EQ(c->firstStep, 4.0);
  EXPECT_EQ(c->lastStep, 2.5);
  expectPoints(c.get(), {{0, 0, 0}, {10, 0, 0}, {10, 5, 2}});
  EXPECT_DOUBLE_EQ(c->t1, 15.0);
  EXPECT_EQ(c->next, nullptr);
}

TEST_F(KfyContoursTest, HalfCircleStepsByTheChordTolerance) {
  CurvePtr c = read("oContour[Arc]( )\n{\n oA( x[10/-10/0] y[0/0/0] )\n}\n", 0.01);
  ASSERT_NE(c, nullptr);
  const double step = 2.0 * std::acos(0.999);
  const int inner = static_cast<int>(std::floor((std::numbers::pi - 0.0001) / step));
  ASSERT_EQ(c->count, inner + 2);
  for (int i = 0; i + 1 < c->count; ++i) {
    EXPECT_NEAR(std::hypot(c->points[i].x, c->points[i].y), 10.0, 1e-9);
    const double a = std::atan2(c->points[i].y, c->points[i].x);
    if (i + 2 < c->count) {
      EXPECT_NEAR(a, i * step, 1e-9) << i;
    }
    EXPECT_GE(c->points[i].y, -1e-12);  // counter-clockwise: through y > 0
  }
  EXPECT_EQ(c->points[c->count - 1].x, -10.0);
  EXPECT_EQ(c->points[c->count - 1].y, 0.0);
}

TEST_F(KfyContoursTest, ClockwiseArcTurnsTheOtherWay) {
  CurvePtr c = read("oContour[Arc]( )\n{\n oA( o[-] x[10/0/0] y[0/-10/0] )\n}\n", 0.5);
  ASSERT_NE(c, nullptr);
  ASSERT_GT(c->count, 2);
  for (int i = 1; i + 1 < c->count; ++i) {
    EXPECT_LT(c->points[i].y, 0.0);
    EXPECT_GT(c->points[i].x, 0.0);
  }
}

TEST_F(KfyContoursTest, ArcWithoutChordToleranceStaysFinite) {
  Pt3List* list = listPt3New(10);
  for (double t : {0.0, -1.0, std::nan("")}) {
    list->count = 0;
    EXPECT_EQ(kfyContourAddArc(t, 1, 0, -1, 0, 0, 0, 0, 1, list), 1);
    EXPECT_EQ(list->count, static_cast<int>(std::floor((std::numbers::pi - 0.0001) / 0.001)) + 2);
  }
  list->count = 0;
  EXPECT_EQ(kfyContourAddArc(0.01, 0.00005, 0, -1, 0, 0, 0, 0, 1, list), 1);
  EXPECT_EQ(list->count, 0);  // start on the centre
  listPt3Free(list);
}

TEST_F(KfyContoursTest, FramePersistsIntoTheNextFile) {
  CurvePtr a = read("vCs_x(0,1,0)\nvCs_y(-1,0,0)\nvCs_o(1,2,3)\noContour[A]( )\n{\n oL( x[1/2] y[0/0] )\n}\n",
                    0.01, "a.kfy");
  ASSERT_NE(a, nullptr);
  expectPoints(a.get(), {{1, 3, 3}, {1, 4, 3}});
  CurvePtr b = read("oContour[B]( )\n{\n oL( x[0/0] y[0/1] )\n}\n", 0.01, "b.kfy");
  ASSERT_NE(b, nullptr);
  expectPoints(b.get(), {{1, 2, 3}, {0, 2, 3}});
  kfyContourFrameReset();
  CurvePtr c = read("oContour[B]( )\n{\n oL( x[0/0] y[0/1] )\n}\n", 0.01, "c.kfy");
  expectPoints(c.get(), {{0, 0, 0}, {0, 1, 0}});
}

TEST_F(KfyContoursTest, EmptyBlockGivesACurveWithoutPoints) {
  CurvePtr c = read("oContour[Empty]( )\n{\n}\noContour[Next]( )\n{\n oL( x[0/1] y[0/0] )\n}\n");
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c->name, "Empty");
  EXPECT_EQ(c->count, 0);
  ASSERT_NE(c->next, nullptr);
  EXPECT_STREQ(c->next->name, "Next");
  EXPECT_EQ(c->next->count, 2);
}

TEST_F(KfyContoursTest, BlockWithoutContourAddsNoCurve) {
  CurvePtr c = read("{\n oL( x[0/1] y[0/0] )\n}\noContour[Only]( )\n{\n oL( x[0/1] y[0/0] )\n}\n}\n");
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c->name, "Only");
  EXPECT_EQ(c->next, nullptr);
  EXPECT_EQ(read("{\n}\n"), nullptr);
}

TEST_F(KfyContoursTest, LongNameIsCutToTheRecord) {
  const std::string name(400, 'n');
  CurvePtr c = read("oContour[" + name + "]( )\n{\n oL( x[0/1] y[0/0] )\n}\n");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(std::string(c->name), name.substr(0, kCurveNameSize - 1));
}

TEST_F(KfyContoursTest, UnreadableOrHeaderlessFileGivesNull) {
  EXPECT_EQ(kfyReadContours(dir_.file("missing.kfy").c_str(), 0.01), nullptr);
  ASSERT_TRUE(tsupport::writeFile(dir_.file("bad.kfy"), "not a kFY file\n"));
  EXPECT_EQ(kfyReadContours(dir_.file("bad.kfy").c_str(), 0.01), nullptr);
}

TEST_F(KfyContoursTest, CutOffFileKeepsTheContoursClosedBeforeTheCut) {
  CurvePtr c = read("oContour[A]( )\n{\n oL( x[0/1] y[0/0] )\n}\noContour[B]( )\n{\n oL( x[0/1] y[0");
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c->name, "A");
  EXPECT_EQ(c->next, nullptr);
}

TEST_F(KfyContoursTest, EveryTruncationReadsOnlyClosedContours) {
  const std::string full = std::string(kfyBanner) +
                           "\nkFY-Version: 1.0\nGeometry\nContours\nvsurface(2)\nvCs_o(1,1,0)\n"
                           "oContour[A]( )\n{\n oL( x[0/10] y[0/0] )\n oA( o[-] x[/0/5] y[/0/0] )\n}\n"
                           "oContour[B]( )\n{\n oL( x[0/1] y[0/2] z[0/3] )\n}\n";
  for (std::size_t n = 0; n <= full.size(); ++n) {
    kfyContourFrameReset();
    ASSERT_TRUE(tsupport::writeFile(dir_.file("t.kfy"), full.substr(0, n)));
    CurvePtr c(kfyReadContours(dir_.file("t.kfy").c_str(), 0.1));
    int curves = 0;
    for (const CurveRec* k = c.get(); k != nullptr; k = k->next) {
      ++curves;
      EXPECT_TRUE(std::string(k->name) == "A" || std::string(k->name) == "B");
      EXPECT_GE(k->count, 2);
    }
    EXPECT_LE(curves, 2) << n;
    if (n == full.size()) {
      EXPECT_EQ(curves, 2);
    }
  }
}

TEST(KfyParseXyzTest, SplitsAtTwoCommas) {
  struct Row {
    const char* text;
    int result;
    Vec3d want;
  };
  const Row rows[] = {{"1,2,3", 1, {1, 2, 3}},
                      {" -1.5, 2e1 ,x", 1, {-1.5, 20, 0}},
                      {"7,8", -1, {7, 9, 9}},
                      {"7", -1, {9, 9, 9}}};
  for (const Row& r : rows) {
    std::vector<char> text(r.text, r.text + std::strlen(r.text) + 1);
    Vec3d v{9, 9, 9};
    EXPECT_EQ(kfyParseXyz(text.data(), &v), r.result) << r.text;
    EXPECT_EQ(v.x, r.want.x) << r.text;
    EXPECT_EQ(v.y, r.want.y) << r.text;
    EXPECT_EQ(v.z, r.want.z) << r.text;
  }
}

}  // namespace
