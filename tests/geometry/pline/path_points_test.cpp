// Path points: block sizes, chord distance, block thinning, run search.

#include "geometry/pline/path_points.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<PathPoint> freshPoints(int n) {
  return std::vector<PathPoint>(static_cast<std::size_t>(n),
                                PathPoint{0, 0, 0, kPtKindPath, kPtMarkNo, kPtMarkNo});
}

std::vector<PathPoint> collinear(int n, double step = 1.0) {
  auto p = freshPoints(n);
  for (int i = 0; i < n; ++i) p[static_cast<std::size_t>(i)].x = i * step;
  return p;
}

std::vector<int> kept(const std::vector<PathPoint>& p) {
  std::vector<int> k;
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (p[i].kind != kPtKindDropped) k.push_back(static_cast<int>(i));
  }
  return k;
}

struct BlockRow {
  int n;
  int v;
};

TEST(PtBlockSize, ShrinksWithTheRunLength) {
  // Block sizes of the table's branches at and around their bounds.
  const BlockRow rows[] = {{3, 3},      {10, 10},    {400, 148},  {1000, 85},
                           {5000, 15},  {5001, 15},  {10000, 10}, {10001, 9},
                           {40000, 16}, {40001, 17}, {100000, 10}};
  for (const BlockRow& r : rows) {
    EXPECT_EQ(ptBlockSize(r.n, ptBlockFraction(r.n)), r.v) << "n=" << r.n;
  }
  EXPECT_EQ(ptBlockSize(1, 0.0), 1);  // floor of one point
}

TEST(PtChordDistance, CountsOnlyFeetStrictlyInsideTheChord) {
  const double chord[6] = {0, 0, 0, 10, 0, 0};
  const double tol = 0.5;
  EXPECT_DOUBLE_EQ(ptChordDistance(5, 0.25, 0, tol, chord), 0.25);
  EXPECT_DOUBLE_EQ(ptChordDistance(0, 0.25, 0, tol, chord), tol + 1);   // h = 0
  EXPECT_DOUBLE_EQ(ptChordDistance(10, 0.25, 0, tol, chord), tol + 1);  // h = 1
  EXPECT_DOUBLE_EQ(ptChordDistance(-1, 0, 0, tol, chord), tol + 1);
  const double zero[6] = {1, 1, 1, 0, 0, 0};
  EXPECT_DOUBLE_EQ(ptChordDistance(1, 1, 1, tol, zero), tol + 1);
}

TEST(PtThinBlocks, FourHundredCollinearPointsDropInShrinkingBlocks) {
  auto p = collinear(400);
  EXPECT_EQ(ptThinBlocks(0.001, 1e9, p.data(), 400), 0);
  // The first chord drops 148 points; later ones a block of what is left.
  EXPECT_EQ(kept(p), (std::vector<int>{0, 149, 243, 303, 341, 365, 381, 391, 398, 399}));
}

TEST(PtThinBlocks, ThreeCollinearPointsLoseTheMiddleOne) {
  auto p = collinear(3);
  EXPECT_EQ(ptThinBlocks(0.001, 10, p.data(), 3), 0);
  EXPECT_EQ(kept(p), (std::vector<int>{0, 2}));
}

struct ThinCase {
  const char* name;
  std::vector<PathPoint> points;
  double tol;
  double maxLen;
};

class PtThinBlocksKeeps : public ::testing::TestWithParam<ThinCase> {};

TEST_P(PtThinBlocksKeeps, EveryPoint) {
  auto p = GetParam().points;
  EXPECT_EQ(ptThinBlocks(GetParam().tol, GetParam().maxLen, p.data(), static_cast<int>(p.size())),
            1);
  EXPECT_EQ(kept(p).size(), p.size());
}

PathPoint pt(double x, double y, double z = 0) {
  return {x, y, z, kPtKindPath, kPtMarkNo, kPtMarkNo};
}

INSTANTIATE_TEST_SUITE_P(
    Blocked, PtThinBlocksKeeps,
    ::testing::Values(
        ThinCase{"foot_at_chord_start", {pt(0, 0), pt(0, 0.0001), pt(1, 0)}, 0.001, 10},
        ThinCase{"foot_at_chord_end", {pt(0, 0), pt(1, 0.0001), pt(1, 0)}, 0.001, 10},
        ThinCase{"zero_chord", {pt(0, 0), pt(1, 0), pt(0, 0)}, 10, 10},
        ThinCase{"coincident_points", {pt(2, 2, 2), pt(2, 2, 2), pt(2, 2, 2)}, 10, 10},
        ThinCase{"chord_too_long", {pt(0, 0), pt(1, 0), pt(2, 0)}, 0.001, 1.5},
        ThinCase{"off_tolerance", {pt(0, 0), pt(1, 0.01), pt(2, 0)}, 0.001, 10},
        ThinCase{"two_points", {pt(0, 0), pt(1, 0)}, 1, 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PtFindRun, StepsOverAnArcAndStartsAtItsEnd) {
  auto p = collinear(10);
  p[2].arcBegin = kPtMarkYes;
  p[2].kind = kPtKindArcCcw;
  p[6].arcEnd = kPtMarkYes;
  int len = 0;
  EXPECT_EQ(ptFindRun(p.data(), 10, 0, &len), 6);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(ptFindRun(p.data(), 10, -3, &len), 6);  // out of range: from 0
  EXPECT_EQ(ptFindRun(p.data(), 10, 7, &len), 7);
  EXPECT_EQ(len, 3);
  EXPECT_EQ(ptFindRun(p.data(), 10, 8, &len), -1);  // two points left
  EXPECT_EQ(ptFindRun(p.data(), 0, 0, &len), -1);
}

TEST(PtFindRun, SkipsDroppedPointsAndShortRuns) {
  auto p = collinear(9);
  p[2].kind = kPtKindDropped;
  p[5].kind = kPtKindDropped;
  int len = 0;
  EXPECT_EQ(ptFindRun(p.data(), 9, 0, &len), 6);
  EXPECT_EQ(len, 3);
}

TEST(PtFindRun, AnArcWithoutEndMarkEndsTheSearch) {
  auto p = collinear(8);
  p[1].arcBegin = kPtMarkYes;
  int len = 0;
  EXPECT_EQ(ptFindRun(p.data(), 8, 1, &len), -1);
}

TEST(PlineNextRun, RunsEndAtGapsAndSpecialPieces) {
  const int codes[] = {kPointGap, kPointCut, kPointBridged, kPointSpecial,
                       kPointCut, kPointGap, kPointGap};
  Pline* pl = plineNew(8, 0);
  ASSERT_NE(pl, nullptr);
  for (int i = 0; i < 7; ++i) {
    const Vec3d v{double(i), 0, 0};
    plineAppend(pl, i, &v, pointStatusMake(kPointKindContact, codes[i]), nullptr, 0);
  }
  int first = 0, last = 0;
  ASSERT_EQ(plineNextRun(0, pl, &first, &last), 1);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 2);
  ASSERT_EQ(plineNextRun(last + 1, pl, &first, &last), 1);
  EXPECT_EQ(first, 4);
  EXPECT_EQ(last, 4);
  EXPECT_EQ(plineNextRun(last + 1, pl, &first, &last), 0);
  EXPECT_EQ(first, -1);
  EXPECT_EQ(plineNextRun(7, pl, &first, &last), 0);
  plineFree(pl);
}

}  // namespace
