#include "model/drop/path_gaps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_plines.h"

namespace {

using tsupport::plineCodes;
using tsupport::PlinePtr;
using tsupport::plineThrough;

constexpr int G = kPointGap;

// Points at x = parameter = 0, 1, ..., n - 1 with the given codes.
PlinePtr line(const std::vector<int>& codes) {
  std::vector<Vec3d> pts;
  std::vector<PointStatus> status;
  for (size_t i = 0; i < codes.size(); ++i) {
    pts.push_back({double(i), 0, 0});
    status.push_back(pointStatusMake(kPointKindContact, codes[i]));
  }
  return plineThrough(pts, status);
}

struct WidenRow {
  const char* name;
  std::vector<int> codes;
  double step;
  std::vector<double> intervals;
  std::vector<int> want;
};

class WidenGapIntervals : public ::testing::TestWithParam<WidenRow> {};

TEST_P(WidenGapIntervals, Codes) {
  const WidenRow& row = GetParam();
  PlinePtr pl = line(row.codes);
  projWidenGapIntervals(pl.get(), row.step, row.intervals.data(),
                        static_cast<int>(row.intervals.size() / 2));
  EXPECT_EQ(plineCodes(pl.get()), row.want);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WidenGapIntervals,
    ::testing::Values(
        // Interval [0, 20]: a gap at 6 (lower half) widens [0, 5] back to a.
        WidenRow{"LowerHalfGap",
                 {0, 0, 0, 0, 0, 0, G, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                 1,
                 {0, 20},
                 {G, G, G, G, G, G, G, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        WidenRow{"UpperHalfGap",
                 {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, G, 0, 0, 0, 0, 0, 0},
                 1,
                 {0, 20},
                 {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, G, G, G, G, G, G, G}},
        // No gap in the lower half: the start of the interval stays.
        WidenRow{"NoGapLeavesTheStart",
                 {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                 1,
                 {0, 20},
                 {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // Only points within 5 steps of a become gaps (step 0.4: up to 2).
        WidenRow{"WidthIsFiveSteps",
                 {0, 0, 0, 0, 0, 0, G, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                 0.4,
                 {0, 20},
                 {G, G, G, 0, 0, 0, G, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        WidenRow{"TwoIntervals",
                 {0, 0, G, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, G, 0, 0, 0},
                 1,
                 {1, 7, 12, 20},
                 {0, G, G, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, G, G, G, G}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GapShortRuns, IsolatedPointsBecomeGapsForAnyPositiveLength) {
  PlinePtr pl = line({0, G, 0, G, G, 0, 0, 0, G, 0});
  projGapShortRuns(pl.get(), 1e-9);
  EXPECT_EQ(plineCodes(pl.get()), (std::vector<int>{G, G, G, G, G, 0, 0, 0, G, G}));
}

TEST(GapShortRuns, RunsShorterThanTheMinimum) {
  // Runs [0, 2] (length 2), [4, 8] (length 4) and [10, 11] (length 1).
  PlinePtr pl = line({0, 0, 0, G, 0, 0, 0, 0, 0, G, 0, 0});
  projGapShortRuns(pl.get(), 2.5);
  EXPECT_EQ(plineCodes(pl.get()), (std::vector<int>{G, G, G, G, 0, 0, 0, 0, 0, G, G, G}));
  projGapShortRuns(nullptr, 1);
}

TEST(PathGapHelpers, SearchesAndRunLength) {
  PlinePtr pl = line({0, G, 0, 0, G, 0, 0, G, 0});
  EXPECT_EQ(plineFirstGapFrom(pl.get(), 2, 6), 4);
  EXPECT_EQ(plineFirstGapFrom(pl.get(), 2, 3.5), -1);
  EXPECT_EQ(plineFirstGapFrom(pl.get(), 1.000001, 3), 1);  // within the slack of a
  EXPECT_EQ(plineLastGapBefore(pl.get(), 2, 6), 4);
  EXPECT_EQ(plineLastGapBefore(pl.get(), 5, 6.5), -1);
  EXPECT_EQ(plineLastGapBefore(pl.get(), 0, 7.000001), 7);
  EXPECT_DOUBLE_EQ(plineRunLength3d(5, 2, pl.get()), 3);
  EXPECT_EQ(plineRunLength3d(2, 2, pl.get()), 0);
  EXPECT_EQ(plineRunLength3d(1, 4, pl.get()), 0);
}

}  // namespace
