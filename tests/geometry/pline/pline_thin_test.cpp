// Block thinning of Pline runs followed by the point reduction.

#include "geometry/pline/pline_thin.h"

#include <gtest/gtest.h>

#include <vector>

#include "geometry/pline/pline_reduce.h"
#include "support/test_plines.h"

namespace {

using tsupport::plineCodes;
using tsupport::plineThrough;

// Points along x with the given status codes (kind 1).
tsupport::PlinePtr lineWithCodes(const std::vector<int> &codes) {
  std::vector<Vec3d> pts;
  std::vector<PointStatus> status;
  for (std::size_t i = 0; i < codes.size(); ++i) {
    pts.push_back({double(i), 0, 0});
    status.push_back(pointStatusMake(kPointKindContact, codes[i]));
  }
  return plineThrough(pts, status);
}

class PlineThinRuns : public ::testing::Test {
protected:
  void SetUp() override {
    plineReduceSetMode(kPlineReduceChord);
    plineReduceSetLnRed(0);
  }
};

TEST_F(PlineThinRuns, ThinnedRunsEndWithCodeZeroAndTheReductionsDrops) {
  // Gap, a run of 8 with gap candidates and a bridged point, a special
  // piece, a run of 2 that is too short to thin.
  auto pl = lineWithCodes({2, 4, 0, 4, 0, 0, 1, 0, 0, 10, 1, 1});
  EXPECT_EQ(plineThinRuns(pl.get(), 0.01, 100), 1);
  const std::vector<int> codes = plineCodes(pl.get());
  // The run 1..8: the marks 4 and 1 are gone; only 0 and the reduction's 3.
  for (int i = 1; i <= 8; ++i)
    EXPECT_TRUE(codes[i] == 0 || codes[i] == 3) << i;
  EXPECT_EQ(codes[1], 0); // next to the gap: the reduction keeps it
  EXPECT_EQ(codes[8], 0);
  EXPECT_EQ(codes[0], 2);
  EXPECT_EQ(codes[9], 10);
  EXPECT_EQ(codes[10], 1); // not thinned: codes kept
  EXPECT_EQ(codes[11], 1);
  for (int i = 1; i < pl->count; ++i)
    EXPECT_EQ(pointStatusKind(pl->status[i]), kPointKindContact);
}

TEST_F(PlineThinRuns, AnAllGapPlineOnlyReduces) {
  auto pl = lineWithCodes({2, 2, 2, 2});
  EXPECT_EQ(plineThinRuns(pl.get(), 0.01, 100), 1);
  EXPECT_EQ(plineCodes(pl.get()), (std::vector<int>{2, 2, 2, 2}));
}

TEST_F(PlineThinRuns, ARunThatLosesNothingKeepsItsCodes) {
  // A zig-zag: no chord holds within the tolerance.
  std::vector<Vec3d> pts;
  std::vector<PointStatus> status;
  const int codes[] = {0, 4, 1, 4, 0};
  for (int i = 0; i < 5; ++i) {
    pts.push_back({double(i), (i % 2) * 1.0, 0});
    status.push_back(pointStatusMake(kPointKindContact, codes[i]));
  }
  auto pl = plineThrough(pts, status);
  EXPECT_EQ(plineThinRuns(pl.get(), 0.01, 100), 1);
  EXPECT_EQ(plineCodes(pl.get()), (std::vector<int>{0, 4, 1, 4, 0}));
  EXPECT_EQ(plineThinRuns(nullptr, 0.01, 100), -1);
}

} // namespace
