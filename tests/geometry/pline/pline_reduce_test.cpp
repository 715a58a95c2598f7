#include "geometry/pline/pline_reduce.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "support/test_plines.h"

namespace {

using tsupport::plineCodes;
using tsupport::PlinePtr;
using tsupport::plineThrough;

PointStatus st(int code, int kind = kPointKindContact) { return pointStatusMake(kind, code); }

// Restores the process-wide settings after each test.
class ReduceTest : public ::testing::Test {
 protected:
  void TearDown() override {
    plineReduceSetMode(kPlineReduceChord);
    plineReduceSetLnRed(0);
  }
};

struct ChordRow {
  const char* name;
  std::vector<Vec3d> pts;
  std::vector<PointStatus> status;
  double maxLen;
  double tol;
  std::vector<int> codes;  // expected status codes
};

class ChordFilter : public ::testing::TestWithParam<ChordRow> {};

TEST_P(ChordFilter, MarksDroppedPoints) {
  const ChordRow& row = GetParam();
  PlinePtr pl = plineThrough(row.pts, row.status);
  plineReduce(pl.get(), row.maxLen, row.tol);
  EXPECT_EQ(plineCodes(pl.get()), row.codes);
}

const std::vector<Vec3d> kThree{{0, 0, 0}, {0.5, 0, 0}, {1, 0, 0}};
const std::vector<Vec3d> kBump{{0, 0, 0}, {0.5, 0.0005, 0}, {1, 0, 0}};
const std::vector<Vec3d> kFive{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}};
const int kA = kPointKindApart;

INSTANTIATE_TEST_SUITE_P(
    Table, ChordFilter,
    ::testing::Values(
        ChordRow{"CollinearMiddleDrops", kThree, {}, 10, 0.001, {0, 3, 0}},
        ChordRow{"OffChordWithinTolerance", kBump, {}, 10, 0.001, {0, 3, 0}},
        ChordRow{"OffChordBeyondTolerance", kBump, {}, 10, 0.0001, {0, 0, 0}},
        ChordRow{"SixtyDegreeZigZagStays",
                 {{0, 0, 0}, {0.0001, 0.0003, 0}, {1, 0, 0}},
                 {},
                 10,
                 0.001,
                 {0, 0, 0}},
        ChordRow{
            "ChordLongerThanMaxLen", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {}, 1.5, 0.001, {0, 0, 0}},
        ChordRow{"NextToGapStays",
                 kFive,
                 {st(0), st(0), st(0), st(2, 0), st(0)},
                 10,
                 0.001,
                 {0, 3, 0, 2, 0}},
        ChordRow{"NextToSpecialStays",
                 kFive,
                 {st(0), st(0), st(0), st(10), st(0)},
                 10,
                 0.001,
                 {0, 3, 0, 10, 0}},
        ChordRow{"ApartMergesWithApart",
                 kThree,
                 {st(0, kA), st(0, kA), st(0, kA)},
                 10,
                 0.001,
                 {0, 3, 0}},
        ChordRow{
            "ApartBetweenOthersStays", kThree, {st(0), st(0, kA), st(0)}, 10, 0.001, {0, 0, 0}},
        ChordRow{
            "OtherBetweenApartStays", kThree, {st(0, kA), st(0), st(0, kA)}, 10, 0.001, {0, 0, 0}},
        ChordRow{"EarlierDropMarksAreCleared", kBump, {st(0), st(3), st(0)}, 10, 0.0001, {0, 0, 0}},
        // Point 1 goes in the first (collinear) pass, so its neighbour 2
        // stays in the second although it lies within the tolerance.
        ChordRow{"NeighbourOfFirstPassDropStays",
                 {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0.0005, 0}, {4, 0, 0}},
                 {},
                 10,
                 0.001,
                 {0, 3, 0, 3, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<Vec3d> collinear(int n, double step) {
  std::vector<Vec3d> pts;
  for (int i = 0; i < n; ++i) pts.push_back({i * step, 0, 0});
  return pts;
}

int keptCount(const Pline* pl) {
  int n = 0;
  for (int c : plineCodes(pl)) n += c != kPointDropped;
  return n;
}

TEST_F(ReduceTest, LongChordSwitchMergesBeyondMaxLenInTheFirstPass) {
  PlinePtr pl = plineThrough(collinear(1000, 0.01));
  plineReduce(pl.get(), 1.0, 0.001);
  EXPECT_GT(keptCount(pl.get()), 9);  // chords of at most 1 over a length of 9.99
  plineReduceSetLnRed(1);
  plineReduce(pl.get(), 1.0, 0.001);
  EXPECT_EQ(keptCount(pl.get()), 2);
}

// Points that are not numbers (a corrupt path) neither crash a filter nor
// leave temporary marks; their spans never merge.
TEST_F(ReduceTest, PointsThatAreNotNumbersAreSafe) {
  std::vector<Vec3d> pts = collinear(3000, 0.01);
  for (int i = 5; i < 3000; i += 97) pts[i].y = std::nan("");
  pts[1000].z = INFINITY;
  for (int mode : {kPlineReduceChord, kPlineReduceRanked, kPlineReduceShortestFirst}) {
    plineReduceSetMode(mode);
    PlinePtr pl = plineThrough(pts);
    plineReduce(pl.get(), 1.0, 0.001);
    for (int c : plineCodes(pl.get())) {
      ASSERT_TRUE(c == kPointCut || c == kPointDropped) << "mode " << mode;
    }
    EXPECT_LT(keptCount(pl.get()), 3000);
  }
}

TEST_F(ReduceTest, RankedKeepsTheChunkEnds) {
  plineReduceSetMode(kPlineReduceRanked);
  PlinePtr pl = plineThrough(collinear(25000, 0.001));
  plineReduce(pl.get(), 1e9, 0.001);
  std::vector<int> kept;
  for (int i = 0; i < pl->count; ++i) {
    if (pointStatusCode(pl->status[i]) != kPointDropped) kept.push_back(i);
  }
  EXPECT_EQ(kept, (std::vector<int>{0, 10000, 20000, 24999}));
}

// Point 2 drops while its kept neighbour 1 (a gap candidate) never entered
// the span table: there is no span (1, 2) to update, and the filter goes on.
TEST_F(ReduceTest, RankedDropNextToAPointOutsideTheTableKeepsGoing) {
  plineReduceSetMode(kPlineReduceRanked);
  PlinePtr pl = plineThrough({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2.5, 0.0003, 0}, {4, 0, 0}},
                             {st(0), st(4), st(0), st(0), st(0)});
  plineReduce(pl.get(), 10, 0.001);
  EXPECT_EQ(plineCodes(pl.get()), (std::vector<int>{0, 4, 3, 3, 0}));
}

TEST_F(ReduceTest, ShortestFirstDropsTheShortSpansFirst) {
  plineReduceSetMode(kPlineReduceShortestFirst);
  // The shortest span (2, 3) is tested first: dropping 2 deviates less.
  PlinePtr pl = plineThrough({{0, 0, 0}, {1, 0, 0}, {2, 0.0002, 0}, {2.1, 0.0006, 0}, {3, 0, 0}});
  plineReduce(pl.get(), 10, 0.0005);
  EXPECT_EQ(plineCodes(pl.get())[2], kPointDropped);
  EXPECT_EQ(plineCodes(pl.get())[0], kPointCut);
  EXPECT_EQ(plineCodes(pl.get())[4], kPointCut);
}

// The heap-driven shortest-first filter makes the same marks as the scan
// of the whole path for every step (random paths with gaps, special points
// and kind-100 points; fixed seed).
TEST(ShortestFirst, HeapAgreesWithTheScanOnRandomPaths) {
  std::mt19937 rng(2);
  std::uniform_real_distribution<double> jitter(-0.002, 0.002);
  std::uniform_int_distribution<int> pick(0, 99);
  for (int trial = 0; trial < 30; ++trial) {
    std::vector<Vec3d> pts;
    std::vector<PointStatus> status;
    const int n = 50 + 40 * trial;
    for (int i = 0; i < n; ++i) {
      // Repeated spacings give ties of equal span lengths.
      const double s = 0.01 * i + (trial % 2 ? 0.0 : jitter(rng));
      pts.push_back({s, std::sin(s * (1 + trial % 5)) * 0.3 + jitter(rng), 0});
      const int r = pick(rng);
      status.push_back(r < 4    ? st(kPointGap, 0)
                       : r < 6  ? st(kPointSpecial)
                       : r < 12 ? st(kPointCut, kPointKindApart)
                       : r < 15 ? st(kPointDropped)
                                : st(kPointCut));
    }
    const double maxLen = 0.05 + 0.02 * (trial % 7);
    const double tol = 0.0005 * (1 + trial % 3);
    PlinePtr heap = plineThrough(pts, status);
    PlinePtr scan = plineThrough(pts, status);
    plineReduceShortestFirst(heap.get(), maxLen, tol);
    plineClearDropped(scan.get());
    pline_reduce_detail::shortestFirstByScan(scan.get(), maxLen, tol);
    std::vector<int> want = plineCodes(scan.get());
    for (int& c : want) c = c == kPointLocked ? kPointCut : c;
    ASSERT_EQ(plineCodes(heap.get()), want) << "trial " << trial;
  }
}

TEST(PlineCompact, RemovesDroppedPointsInOrderWithAllArrays) {
  std::vector<PointStatus> status(10, st(0));
  status[2] = status[5] = status[9] = st(3);
  status[6] = st(2, 0);
  PlinePtr pl = plineThrough(collinear(10, 1), status, 1);
  plineCompact(pl.get());
  ASSERT_EQ(pl->count, 7);
  const int kept[] = {0, 1, 3, 4, 6, 7, 8};
  for (int k = 0; k < 7; ++k) {
    EXPECT_EQ(pl->points[k].x, kept[k]);
    EXPECT_EQ(pl->params[k], kept[k]);
    EXPECT_EQ(pl->axes[k].x, kept[k]);
    EXPECT_EQ(pl->flags[k], kept[k]);
  }
  EXPECT_EQ(pointStatusCode(pl->status[4]), kPointGap);
}

// More points than a first copy of a Pline may take (40000): none is lost.
TEST(PlineCompact, LongPlineLosesOnlyItsDroppedPoints) {
  std::vector<PointStatus> status(60000, st(0));
  for (int i = 0; i < 60000; i += 3) status[i] = st(3);
  PlinePtr pl = plineThrough(collinear(60000, 1), status);
  plineCompact(pl.get());
  ASSERT_EQ(pl->count, 40000);
  for (int k = 0; k < 40000; ++k) ASSERT_EQ(pl->points[k].x, 3 * (k / 2) + 1 + k % 2) << k;
  plineCompact(nullptr);
}

// Properties of every filter on noisy helices with gaps, special pieces and
// points of kind 100 (fixed seed): gaps and special points never drop, a
// dropped point's kept neighbours share its gap class and kind, every point
// between two kept points lies within tol of their chord's line and not more
// than 60 degrees off it, and that chord is not longer than maxLen.  No
// temporary mark survives.
TEST_F(ReduceTest, EveryFilterKeepsPointsWithinTheChordTolerance) {
  std::mt19937 rng(102);
  std::normal_distribution<double> noise(0.0, 0.0004);
  std::uniform_int_distribution<int> pick(0, 99);
  for (int mode : {kPlineReduceChord, kPlineReduceRanked, kPlineReduceShortestFirst}) {
    plineReduceSetMode(mode);
    for (int trial = 0; trial < 12; ++trial) {
      const int n = 300 + 700 * (trial % 3);
      std::vector<Vec3d> pts;
      std::vector<PointStatus> status;
      for (int i = 0; i < n; ++i) {
        const double a = i * 0.02;
        pts.push_back(
            {5 * std::cos(a) + noise(rng), 5 * std::sin(a) + noise(rng), 0.05 * i + noise(rng)});
        const int r = pick(rng);
        status.push_back(r < 3    ? st(kPointGap, 0)
                         : r < 5  ? st(kPointSpecial)
                         : r < 10 ? st(kPointCut, kPointKindApart)
                                  : st(r % 2 ? kPointCut : kPointBridged));
      }
      const double maxLen = 0.5 + trial * 0.3;
      const double tol = 0.001 * (1 + trial % 4);
      PlinePtr pl = plineThrough(pts, status);
      plineReduce(pl.get(), maxLen, tol);
      const std::vector<int> codes = plineCodes(pl.get());
      auto barrier = [&](int k) { return status[k] == st(kPointGap, 0) || codes[k] == 10; };
      int a = 0;
      for (int b = 1; b < n; ++b) {
        ASSERT_NE(codes[b], kPointChordMark);
        ASSERT_NE(codes[b], kPointLocked);
        if (codes[b] == kPointDropped) {
          ASSERT_FALSE(barrier(b)) << "mode " << mode << " point " << b;
          continue;
        }
        if (b > a + 1) {
          const Vec3d& pa = pts[a];
          const Vec3d& pb = pts[b];
          const Vec3d u{pb.x - pa.x, pb.y - pa.y, pb.z - pa.z};
          const double len = std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z);
          ASSERT_LE(len, maxLen) << "mode " << mode << " chord " << a << "-" << b;
          ASSERT_FALSE(barrier(a) || barrier(b));
          for (int m = a + 1; m < b; ++m) {
            ASSERT_EQ(pointStatusKind(pl->status[m]) == kPointKindApart,
                      pointStatusKind(pl->status[a]) == kPointKindApart);
            if (len < 1e-5) continue;
            const Vec3d v{pts[m].x - pa.x, pts[m].y - pa.y, pts[m].z - pa.z};
            const Vec3d c{v.y * u.z - v.z * u.y, v.z * u.x - v.x * u.z, v.x * u.y - v.y * u.x};
            const double d = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z) / len;
            ASSERT_LE(d, tol + 1e-12) << "mode " << mode << " point " << m;
            const double vl = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
            ASSERT_GE(std::fabs(v.x * u.x + v.y * u.y + v.z * u.z) / (vl * len), 0.5);
          }
        }
        a = b;
      }
      EXPECT_LT(keptCount(pl.get()), n) << "mode " << mode;  // something went
    }
  }
}

TEST(SpanTable, FindInsertAndMoveKeepLengthOrder) {
  SpanTable t{};
  SpanEntry e[] = {{1, 0, 1}, {2, 1, 2}, {2, 5, 6}, {3, 2, 3}, {5, 3, 4}};
  t.capacity = t.count = 5;
  t.entries = e;
  EXPECT_EQ(spanTableFind(&t, 2, 5, 6), 2);
  EXPECT_EQ(spanTableFind(&t, 2.000001, 1, 2), 1);
  EXPECT_EQ(spanTableFind(&t, 3, 1, 2), -1);  // searched from length 3 on
  EXPECT_EQ(spanTableFind(&t, 2, 9, 9), -1);
  EXPECT_EQ(spanTableInsertPos(&t, 6), 5);
  EXPECT_EQ(spanTableInsertPos(&t, 2), 3);
  EXPECT_EQ(spanTableInsertPos(&t, 0.5), 0);
  const SpanEntry longer{4, 0, 2};
  EXPECT_EQ(spanTableMove(&t, 0, spanTableInsertPos(&t, 4), &longer), 3);
  const SpanEntry shorter{0.5, 3, 5};
  EXPECT_EQ(spanTableMove(&t, 4, spanTableInsertPos(&t, 0.5), &shorter), 0);
  const double want[] = {0.5, 2, 2, 3, 4};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(e[k].length, want[k]) << k;
  EXPECT_EQ(e[4].first, 0);
  EXPECT_EQ(e[0].second, 5);
}

TEST(PlineReduce, NullAndTinyPlinesAreLeftAlone) {
  plineReduce(nullptr, 1, 1);
  PlinePtr pl = plineThrough({{0, 0, 0}}, {st(3)});
  plineReduce(pl.get(), 1, 1);
  EXPECT_EQ(plineCodes(pl.get()), std::vector<int>{3});
}

}  // namespace
