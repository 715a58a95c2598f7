#include "boundaries/bnd_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "boundaries/bnd_intervals.h"
#include "geometry/curves/curve.h"
#include "support/message_capture.h"
#include "support/temp_dir.h"

namespace {

class BndFileTest : public testing::Test {
 protected:
  void SetUp() override { bndFileReset(); }
  void TearDown() override { bndFileReset(); }
  std::string write(const std::string& text, const std::string& name = "b.bnd") {
    const std::string path = dir_.file(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  tsupport::TempDir dir_;
};

std::string square(double lo, double hi, bool repeatFirst = false) {
  auto pt = [](double x, double y) {
    return std::string("X") + std::to_string(x) + " Y" + std::to_string(y) + " Z0\n";
  };
  std::string s = "**BND 1\n" + pt(lo, lo) + pt(hi, lo) + pt(hi, hi) + pt(lo, hi);
  if (repeatFirst) s += pt(lo, lo);
  return s + "**END\n";
}

int chainLength(const BoundaryRec* b) {
  int n = 0;
  for (; b != nullptr; b = b->next) ++n;
  return n;
}

TEST_F(BndFileTest, BlockTable) {
  const struct {
    const char* name;
    std::string text;
    int segCount;  // of the first boundary, -1 for none
    double xMax;
  } rows[] = {
      {"one point is dropped", "**BND 1\nX1 Y1 Z0\n**END\n", -1, 0},
      {"two coinciding points are dropped", "**BND 1\nX1 Y1 Z0\nX1.000001 Y1 Z0\n**END\n", -1, 0},
      {"two points go there and back", "**BND 1\nX0 Y0 Z0\nX4 Y0 Z0\n**END\n", 2, 4},
      {"implicit close", square(0, 10), 4, 10},
      {"repeated first point", square(0, 10, true), 4, 10},
      {"near duplicates collapse",
       "**BND 1\nX0 Y0 Z0\nX5 Y0 Z0\nX5.000004 Y0.000004 Z0\nX5 Y5 Z0\n**END\n", 3, 5},
      {"blank lines, a NEXT line and an unterminated block",
       "\n**BND 1\n\nX0 Y0 Z0\n**NEXT\nX2 Y0 Z0\n   \nX2 Y2 Z0\n", 3, 2},
      {"lower-case letters are no coordinates",
       "**BND 1\nx9 y9 z9 X0 Y0 Z0\nx9 y9 z9 X3 Y0 Z0\nX3 Y3 Z0\n**END\n", 3, 3},
      {"a keyword must be the whole token", "**BNDX 1\nX0 Y0 Z0\nX1 Y0 Z0\n**END\n", -1, 0},
      {"CLN before any BND is skipped", "**CLN\nX0 Y0 Z0\n**END\n" + square(0, 1), 4, 1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    BoundaryRec* chain = bndReadFile(write(r.text).c_str(), 0, 0);
    if (r.segCount < 0) {
      EXPECT_EQ(chain, nullptr);
      continue;
    }
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->segCount, r.segCount);
    EXPECT_EQ(chain->isOuter, 1);
    EXPECT_EQ(chain->originKind, kBndOriginRead);
    EXPECT_NEAR(chain->xMax, r.xMax, 1e-12);
    // The contour is closed.
    const Seg2& first = chain->segs[0];
    const Seg2& last = chain->segs[chain->segCount - 1];
    EXPECT_EQ(first.x0, last.x1);
    EXPECT_EQ(first.y0, last.y1);
    bndFreeList(chain);
  }
}

TEST_F(BndFileTest, MissingLetterTakesThePreviousFileValue) {
  BoundaryRec* chain = bndReadFile(write("**BND 1\nY1 Z0\nX4 Y1\nX4 Y5\n**END\n").c_str(), 0, 0);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->segs[0].x0, 0.0);  // no X on the first line: 0
  EXPECT_EQ(chain->segs[0].y0, 1.0);
  EXPECT_EQ(chain->segs[1].x0, 4.0);
  bndFreeList(chain);
}

TEST_F(BndFileTest, ManyBlocksAreAllRead) {
  std::string text;
  for (int i = 0; i < 2050; ++i) text += square(3 * i, 3 * i + 1);
  BoundaryRec* chain = bndReadFile(write(text).c_str(), 0, 0);
  EXPECT_EQ(chainLength(chain), 2050);
  bndFreeList(chain);
}

TEST_F(BndFileTest, ClnBlocksAttachOrFailTheRead) {
  std::string cln = "**CLN\n";
  for (int i = 0; i < 5; ++i)
    cln += std::string("X") + std::to_string(i) + " Y0 Z" + std::to_string(i) + "\n";
  BoundaryRec* chain = bndReadFile(write(square(0, 10) + cln + "**END\n").c_str(), 0, 0);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->clnCount, 5);
  EXPECT_EQ(chain->clnPoints[4].z, 4.0);
  bndFreeList(chain);

  std::string big = "**CLN\n";
  for (int i = 0; i < kBndClnMaxPoints + 1; ++i)
    big += std::string("X") + std::to_string(i) + " Y0 Z0\n";
  tsupport::MessageCapture messages;
  EXPECT_EQ(bndReadFile(write(square(0, 10) + square(20, 30) + big + "**END\n").c_str(), 0, 0),
            nullptr);
  EXPECT_EQ(messages.values, (std::vector<std::string>{"706,2"}));
}

TEST_F(BndFileTest, NestedSquaresAsIslandsAndSorted) {
  // 0-10 contains 2-8 contains 4-6; the middle one runs clockwise.
  const std::string text =
      square(0, 10) + "**BND 2\nX2 Y2 Z0\nX2 Y8 Z0\nX8 Y8 Z0\nX8 Y2 Z0\n**END\n" + square(4, 6);
  BoundaryRec* plain = bndReadFile(write(text).c_str(), 0, 0);
  ASSERT_EQ(chainLength(plain), 3);
  EXPECT_EQ(plain->isOuter, 1);
  EXPECT_EQ(plain->next->isOuter, 0);
  EXPECT_EQ(plain->next->next->isOuter, 0);
  ASSERT_NE(plain->islands, nullptr);
  EXPECT_EQ(plain->islands->island, plain->next);
  bndFreeList(plain);

  BoundaryRec* sorted = bndReadFileSorted(write(text).c_str(), 0, 0, 1);
  ASSERT_EQ(chainLength(sorted), 3);
  BoundaryRec* outer = sorted;
  BoundaryRec* middle = sorted->next;
  BoundaryRec* inner = sorted->next->next;
  EXPECT_EQ(outer->isOuter, 1);
  EXPECT_EQ(middle->isOuter, 0);
  EXPECT_EQ(inner->isOuter, 1);
  ASSERT_NE(outer->islands, nullptr);
  EXPECT_EQ(outer->islands->island, middle);
  EXPECT_EQ(outer->islands->next, nullptr);
  EXPECT_EQ(inner->islands, nullptr);
  bndFreeList(sorted);
}

TEST_F(BndFileTest, ReduceOffsetShrinksOuterAndGrowsIslands) {
  const std::string text = square(0, 10) + square(4, 6);
  BoundaryRec* chain = bndReadFile(write(text).c_str(), 0, 1.0);
  ASSERT_EQ(chainLength(chain), 2);
  EXPECT_NEAR(chain->xMin, 1.0, 1e-9);
  EXPECT_NEAR(chain->xMax, 9.0, 1e-9);
  EXPECT_NEAR(chain->next->xMin, 3.0, 1e-9);
  EXPECT_NEAR(chain->next->xMax, 7.0, 1e-9);
  bndFreeList(chain);
  // Without a reduce offset the extra outer offset is not applied either.
  bndSetOuterExtraOffset(2.0);
  chain = bndReadFile(write(square(0, 10)).c_str(), 0, 0);
  EXPECT_EQ(chain->xMin, 0.0);
  bndFreeList(chain);
}

TEST_F(BndFileTest, UnreadablePathsGiveNull) {
  EXPECT_EQ(bndReadFile(nullptr, 0, 0), nullptr);
  EXPECT_EQ(bndReadFile("", 0, 0), nullptr);
  EXPECT_EQ(bndReadFile(dir_.file("none.bnd").c_str(), 0, 0), nullptr);
  EXPECT_EQ(bndReadFile(dir_.path().c_str(), 0, 0), nullptr);
}

TEST(BndRectTest, CounterClockwiseFromTheLowerLeft) {
  BoundaryRec* r = bndNewRect(1, 5, 2, 4);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->segCount, 4);
  EXPECT_EQ(r->originKind, kBndOriginRect);
  EXPECT_EQ(r->segs[0].x0, 1.0);
  EXPECT_EQ(r->segs[0].x1, 5.0);
  EXPECT_EQ(r->segs[1].y1, 4.0);
  EXPECT_EQ(r->segs[3].y1, 2.0);
  EXPECT_EQ(bndOffset(r, 1.0), 1);
  EXPECT_EQ(r->xMin, 0.0);
  EXPECT_EQ(r->yMax, 5.0);
  bndFreeList(r);
}

// A line along x at height y from x0 to x1 (the curve owns its points).
CurveRec* lineX(double y, double x0, double x1) {
  const Vec3d a{x0, y, 0};
  const Vec3d b{x1, y, 0};
  return curveNewLine3d(&a, &b);
}

TEST(BndIntervalsTest, LineAcrossASquareWithAnIsland) {
  BoundaryRec* outer = bndNewRect(0, 10, 0, 10);
  BoundaryRec* island = bndNewRect(4, 6, 4, 6);
  island->isOuter = 0;
  outer->next = island;
  auto* node = static_cast<BoundaryIslandNode*>(std::calloc(1, sizeof(BoundaryIslandNode)));
  node->island = island;
  outer->islands = node;
  CurveRec* line = lineX(5, -5, 15);  // parameters 0 .. 20
  ASSERT_GT(bndSetCurveIntervals(outer, line), 0);
  ASSERT_EQ(outer->intervalCount, 2);
  EXPECT_NEAR(outer->intervals[0].first, 5, 1e-9);
  EXPECT_NEAR(outer->intervals[0].second, 9, 1e-9);
  EXPECT_NEAR(outer->intervals[1].first, 11, 1e-9);
  EXPECT_NEAR(outer->intervals[1].second, 15, 1e-9);
  EXPECT_EQ(bndParamInside(outer, 4.99999), 1);
  EXPECT_EQ(bndParamInside(outer, 4.9999), 0);
  EXPECT_EQ(bndParamInside(outer, 10), 0);
  // A positive contact offset enlarges the outer boundary and shrinks the
  // island.
  outer->contactOffset = 1;
  island->contactOffset = 0.5;
  ASSERT_EQ(bndSetCurveIntervals(outer, line), 2);
  EXPECT_NEAR(outer->intervals[0].first, 4, 1e-9);
  EXPECT_NEAR(outer->intervals[0].second, 9.5, 1e-9);
  EXPECT_NEAR(outer->intervals[1].first, 10.5, 1e-9);
  EXPECT_NEAR(outer->intervals[1].second, 16, 1e-9);
  curveFree(line);
  // One of its own edges gives the whole curve.
  CurveRec* edge = lineX(0, 0, 10);
  BndPair* iv = nullptr;
  EXPECT_EQ(bndCurveInsideIntervals(outer, edge, &iv), 1);
  EXPECT_EQ(iv[0].first, edge->t0);
  EXPECT_EQ(iv[0].second, edge->t1);
  std::free(iv);
  curveFree(edge);
  bndFreeList(outer);
}

TEST(BndIntervalsTest, SubtractionTable) {
  const struct {
    const char* name;
    std::vector<BndPair> intervals, islands, expected;
  } rows[] = {
      {"inside splits", {{0, 10}}, {{4, 6}}, {{0, 4}, {6, 10}}},
      {"covers the start", {{0, 10}}, {{-1, 3}}, {{3, 10}}},
      {"covers the end", {{0, 10}}, {{8, 12}}, {{0, 8}}},
      {"covers both", {{0, 10}}, {{-1, 11}}, {}},
      {"before and after", {{0, 10}}, {{-5, -1}, {11, 12}}, {{0, 10}}},
      {"two inside", {{0, 10}}, {{2, 3}, {5, 6}}, {{0, 2}, {3, 5}, {6, 10}}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    int count = static_cast<int>(r.intervals.size());
    auto* iv = static_cast<BndPair*>(std::malloc(sizeof(BndPair) * r.intervals.size()));
    std::copy(r.intervals.begin(), r.intervals.end(), iv);
    ASSERT_EQ(
        bndIntervalsSubtract(&iv, &count, r.islands.data(), static_cast<int>(r.islands.size())), 1);
    ASSERT_EQ(count, static_cast<int>(r.expected.size()));
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(iv[i].first, r.expected[static_cast<size_t>(i)].first);
      EXPECT_EQ(iv[i].second, r.expected[static_cast<size_t>(i)].second);
    }
    std::free(iv);
  }
}

}  // namespace
