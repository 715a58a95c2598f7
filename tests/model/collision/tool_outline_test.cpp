#include "model/collision/tool_outline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "formats/kfy/kfy_file.h"
#include "geometry/curves/kfy_contours.h"
#include "geometry/offset2d/planar_offset.h"
#include "model/io/model_load.h"
#include "support/temp_dir.h"

namespace {

struct OutlineDeleter {
  void operator()(ToolOutline* o) const { toolOutlineFree(o); }
};
using OutlinePtr = std::unique_ptr<ToolOutline, OutlineDeleter>;

OutlinePtr chain(const std::vector<Vec2d>& pts, int16_t tag = kOutlineTagHolder) {
  OutlinePtr o(toolOutlineNew(3));
  for (std::size_t i = 1; i < pts.size(); ++i) {
    const Seg2 s{pts[i - 1].x, pts[i - 1].y, pts[i].x, pts[i].y};
    EXPECT_EQ(toolOutlineAppend(o.get(), &s, tag), 1);
  }
  return o;
}

void expectExactBox(const ToolOutline* o) {
  double b[4] = {DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX};
  for (int i = 0; i < o->count; ++i) {
    const Seg2& s = o->segments[i];
    b[0] = std::min({b[0], s.x0, s.x1});
    b[1] = std::min({b[1], s.y0, s.y1});
    b[2] = std::max({b[2], s.x0, s.x1});
    b[3] = std::max({b[3], s.y0, s.y1});
  }
  EXPECT_EQ(o->minX, b[0]);
  EXPECT_EQ(o->minY, b[1]);
  EXPECT_EQ(o->maxX, b[2]);
  EXPECT_EQ(o->maxY, b[3]);
}

HolderClearance clearance() {
  HolderClearance c{};
  c.radius = 3.0;
  c.freeLength = 30.0;
  c.cuttingLength = 12.0;
  c.shankDiameter = 10.0;
  c.shankLength = 4.0;
  c.noseDiameter = 24.0;
  c.bodyDiameter = 40.0;
  c.noseTop = 40.0;
  c.holderTop = 90.0;
  c.headDiameter1 = 60.0;
  c.headStepTop = 120.0;
  c.headDiameter2 = 100.0;
  c.headTop = 200.0;
  return c;
}

TEST(ToolOutlineTest, ZeroLengthAppendLeavesTheOutlineAlone) {
  OutlinePtr o(toolOutlineNew(0));
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->capacity, 3);
  const Seg2 dot{1.0, 2.0, 1.000001, 2.000001};
  EXPECT_EQ(toolOutlineAppend(o.get(), &dot, 1), 1);
  EXPECT_EQ(o->count, 0);
  EXPECT_EQ(o->minX, DBL_MAX);
  EXPECT_EQ(toolOutlineAppend(nullptr, &dot, 1), -1);
}

TEST(ToolOutlineTest, BoxIsExactAfterAnyAppends) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-50.0, 50.0);
  OutlinePtr o(toolOutlineNew(3));
  for (int i = 0; i < 200; ++i) {
    const Seg2 s{u(rng), u(rng), u(rng), u(rng)};
    ASSERT_EQ(toolOutlineAppend(o.get(), &s, static_cast<int16_t>(1 + i % 2)), 1);
    expectExactBox(o.get());
  }
  EXPECT_EQ(o->count, 200);
  EXPECT_GE(o->capacity, 200);
  EXPECT_EQ(o->types[7], 2);
}

TEST(ToolOutlineTest, ClearanceOutlinesFollowTheRecord) {
  const HolderClearance c = clearance();
  OutlinePtr h(toolOutlineHolder(&c));
  ASSERT_EQ(h->count, 3);
  EXPECT_EQ(h->segments[0].x0, 0.0);
  EXPECT_EQ(h->segments[0].y0, 30.0);
  EXPECT_EQ(h->segments[1].x0, 12.0);
  EXPECT_EQ(h->segments[1].x1, 20.0);
  EXPECT_EQ(h->segments[2].y1, 90.0);
  EXPECT_EQ(h->types[2], kOutlineTagHolder);
  OutlinePtr head(toolOutlineHead(&c));
  ASSERT_EQ(head->count, 3);
  EXPECT_EQ(head->segments[0].y0, 90.0);
  EXPECT_EQ(head->segments[1].x1, 50.0);
  EXPECT_EQ(head->segments[2].y1, 200.0);
  EXPECT_EQ(head->types[0], kOutlineTagHead);
  expectExactBox(head.get());
}

TEST(ToolOutlineTest, OffsetGrowsOutwardAndShrinksInwardWithTheFirstTag) {
  const HolderClearance c = clearance();
  OutlinePtr o(toolOutlineHolder(&c));
  o->types[1] = 7;
  ASSERT_EQ(toolOutlineOffset(o.get(), 2.0), 1);
  expectExactBox(o.get());
  EXPECT_NEAR(o->minY, 28.0, 1e-9);  // below the bottom face
  EXPECT_NEAR(o->maxX, 22.0, 1e-9);  // away from the axis
  for (int i = 0; i < o->count; ++i) EXPECT_EQ(o->types[i], kOutlineTagHolder);

  OutlinePtr in(toolOutlineHolder(&c));
  ASSERT_EQ(toolOutlineOffset(in.get(), -2.0), 1);
  EXPECT_NEAR(in->minY, 32.0, 1e-9);
  EXPECT_NEAR(in->maxX, 18.0, 1e-9);

  OutlinePtr empty(toolOutlineNew(3));
  EXPECT_EQ(toolOutlineOffset(empty.get(), 1.0), 0);
  EXPECT_EQ(toolOutlineOffset(nullptr, 1.0), 0);
}

TEST(ToolOutlineTest, OffsetOfALongSawtoothHasRoomForEveryJoin) {
  // 40 segments whose outer corners are too sharp for a miter: each gets a
  // connecting segment, so the result is longer than the input plus 15.
  std::vector<Vec2d> pts{{0, 0}};
  for (int i = 0; i <= 40; ++i) pts.push_back({i % 2 == 0 ? 10.0 : 12.0, 1.0 * i});
  OutlinePtr o = chain(pts);
  const int before = o->count;
  ASSERT_EQ(toolOutlineOffset(o.get(), 0.5), 1);
  EXPECT_GT(o->count, before + 15);
  EXPECT_GE(o->capacity, o->count);
  expectExactBox(o.get());
}

TEST(ToolOutlineTest, OffsetRestoresTheCornerJoinMode) {
  const HolderClearance c = clearance();
  OutlinePtr o(toolOutlineHolder(&c));
  ASSERT_EQ(toolOutlineOffset(o.get(), 1.0), 1);
  EXPECT_LT(offset2dCornerThreshold(), 1.0);
}

TEST(ToolOutlineTest, ShiftMovesSegmentsAndBox) {
  const HolderClearance c = clearance();
  OutlinePtr o(toolOutlineHolder(&c));
  toolOutlineShift(o.get(), 2.5);
  EXPECT_EQ(o->segments[0].y0, 32.5);
  expectExactBox(o.get());
}

TEST(ToolOutlineTest, ShankIsCutAtTheHolderBottom) {
  HolderClearance c = clearance();
  c.shankLength = 40.0;  // the transition would end above the holder's bottom
  OutlinePtr o(toolOutlineHolder(&c));
  int status = 0;
  ToolOutline* r = toolOutlineAddShank(o.get(), &c, 6.0, 0, &status);
  ASSERT_EQ(r, o.get());
  EXPECT_EQ(status, 1);
  ASSERT_EQ(o->count, 4);
  const Seg2& t = o->segments[0];
  EXPECT_EQ(t.x0, 3.0);
  EXPECT_EQ(t.y0, 12.0);
  EXPECT_EQ(t.x1, 5.0);
  EXPECT_EQ(t.y1, 30.0);  // capped at the holder's bottom
  EXPECT_EQ(o->segments[1].x0, 5.0);  // the holder's face now starts at the shank
  EXPECT_EQ(o->segments[1].y0, 30.0);
  expectExactBox(o.get());
}

TEST(ToolOutlineTest, ShankBelowTheHolderIsPutInFront) {
  const HolderClearance c = clearance();
  OutlinePtr o(toolOutlineHolder(&c));
  toolOutlineAddShank(o.get(), &c, 6.0, 0);
  ASSERT_EQ(o->count, 5);
  EXPECT_EQ(o->segments[0].y0, 12.0);
  EXPECT_EQ(o->segments[0].y1, 16.0);
  EXPECT_EQ(o->segments[1].x1, 5.0);
  EXPECT_EQ(o->segments[1].y1, 30.0);
  EXPECT_EQ(o->segments[2].x0, 5.0);
  EXPECT_EQ(o->types[0], kOutlineTagHolder);
  EXPECT_EQ(o->minY, 12.0);

  ToolOutline* alone = toolOutlineAddShank(nullptr, &c, 6.0, 0);
  ASSERT_NE(alone, nullptr);
  EXPECT_EQ(alone->count, 2);
  toolOutlineFree(alone);
}

class ToolOutlineKfyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kfyContourFrameReset();
    modelLoadReset();
  }
  void TearDown() override { modelLoadReset(); }
  std::string write(const std::string& elements) {
    const std::string text =
        std::string(kfyBanner) + "\nkFY-Version: 1.0\nGeometry\nContours\n" + elements;
    EXPECT_TRUE(tsupport::writeFile(dir_.file("h.kfy"), text));
    return dir_.file("h.kfy");
  }
  tsupport::ScopedWorkDir dir_;
};

TEST_F(ToolOutlineKfyTest, ContourBecomesARunningMaximumClosedToTheAxis) {
  const std::string f = write(
      "oContour[Other]( )\n{\n oL( x[0/1] y[0/0] )\n}\n"
      "oContour[Holder]( )\n{\n oL( x[0/5] y[1/1] )\n oL( x[/8] y[/4] )\n"
      " oL( x[/6] y[/3] )\n oL( x[/6] y[/9] )\n}\n");
  modelSetLoadLengthScale(2.0);
  int status = 0;
  OutlinePtr o(toolOutlineFromKfy(f.c_str(), "Holder", 0.01, 30.0, 5, &status));
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(status, 1);
  // Points (0,2) (10,2) (16,8) (12,6) (12,18), moved to y0 = 30 and flattened:
  // (0,30) (10,30) (16,36) (16,36) (16,46); no bottom segment, a top one.
  const std::vector<Seg2> want{{0, 30, 10, 30}, {10, 30, 16, 36}, {16, 36, 16, 46}, {16, 46, 0, 46}};
  ASSERT_EQ(o->count, static_cast<int>(want.size()));
  for (int i = 0; i < o->count; ++i) {
    EXPECT_DOUBLE_EQ(o->segments[i].x0, want[i].x0) << i;
    EXPECT_DOUBLE_EQ(o->segments[i].y0, want[i].y0) << i;
    EXPECT_DOUBLE_EQ(o->segments[i].x1, want[i].x1) << i;
    EXPECT_DOUBLE_EQ(o->segments[i].y1, want[i].y1) << i;
    EXPECT_EQ(o->types[i], 5);
  }
  expectExactBox(o.get());
}

TEST_F(ToolOutlineKfyTest, ContourOffTheAxisGetsABottomSegment) {
  const std::string f = write("oContour[Head]( )\n{\n oL( x[4/6] y[0/2] )\n}\n");
  OutlinePtr o(toolOutlineFromKfy(f.c_str(), "Head", 0.01, 10.0, 2));
  ASSERT_NE(o, nullptr);
  ASSERT_EQ(o->count, 3);
  EXPECT_EQ(o->segments[0].x0, 0.0);
  EXPECT_EQ(o->segments[0].x1, 4.0);
  EXPECT_EQ(o->segments[0].y0, 10.0);
}

TEST_F(ToolOutlineKfyTest, MissingContourOrFileGivesNull) {
  const std::string f = write("oContour[Holder]( )\n{\n oL( x[4/6] y[0/2] )\n}\n");
  int status = 9;
  EXPECT_EQ(toolOutlineFromKfy(f.c_str(), "holder", 0.01, 0.0, 1, &status), nullptr);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(toolOutlineFromKfy(dir_.file("none.kfy").c_str(), "Holder", 0.01, 0.0, 1), nullptr);
}

}  // namespace
