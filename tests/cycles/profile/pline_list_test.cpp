#include "cycles/profile/pline_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geometry/frame/working_frame.h"
#include "output/adapter/output_adapter.h"
#include "output/output_channels.h"
#include "support/record_capture.h"
#include "support/test_plines.h"

namespace {

using tsupport::PlinePtr;
using tsupport::plineThrough;

constexpr PointStatus C = pointStatusMake(kPointKindContact, kPointCut);
constexpr PointStatus G = pointStatusMake(kPointKindNoContact, kPointGap);
constexpr PointStatus D = pointStatusMake(kPointKindContact, kPointDropped);
constexpr PointStatus S = pointStatusMake(kPointKindContact, kPointSpecial);

// Points 0, 1, 2, ... along x, one per status word.
PlinePtr lineOf(const std::vector<PointStatus>& status, int withAxes = 0) {
  std::vector<Vec3d> pts;
  for (size_t i = 0; i < status.size(); ++i) pts.push_back({static_cast<double>(i), 0.0, 0.0});
  return plineThrough(pts, status, withAxes);
}

std::vector<double> xs(const Pline* pl) {
  std::vector<double> out;
  for (int i = 0; i < pl->count; ++i) out.push_back(pl->points[i].x);
  return out;
}

std::vector<int> tags(const PlineList* list) {
  std::vector<int> out;
  for (const PlineListNode* n = list->first; n != nullptr; n = n->next)
    out.push_back(n->pline->tag);
  return out;
}

struct ListDeleter {
  void operator()(PlineList* l) const { plineListFree(l); }
};
using ListPtr = std::unique_ptr<PlineList, ListDeleter>;

// A display capture made the output cycle for the test's lifetime.
class DisplayCapture {
 public:
  DisplayCapture() {
    frameReset();
    outSetContext(&cap_.ctx);
  }
  ~DisplayCapture() { outSetContext(nullptr); }
  // Point counts of the polylines displayed since the last call.
  std::vector<int> polylines() {
    std::vector<int> out;
    for (const CapturedRecord& r : cap_.take()) {
      if (r.code == 3001) out.push_back(0);
      if (r.code == 3113) ++out.back();
    }
    return out;
  }

 private:
  RecordCapture cap_{41};
};

struct ReduceRow {
  const char* name;
  std::vector<PointStatus> status;
  std::vector<double> kept;  // x of the kept points
};

class CopyReducedTest : public ::testing::TestWithParam<ReduceRow> {};

TEST_P(CopyReducedTest, KeepsTheEndsOfGapStretchesAndDropsDroppedPoints) {
  const ReduceRow& row = GetParam();
  for (int withAxes : {0, 1}) {
    PlinePtr src = lineOf(row.status, withAxes);
    src->tag = 7;
    PlinePtr dst(plineNew(0, 1));
    ASSERT_EQ(plineCopyReduced(src.get(), dst.get()), 1);
    EXPECT_EQ(xs(dst.get()), row.kept);
    EXPECT_EQ(plineCountReduced(src.get()), static_cast<int>(row.kept.size()));
    EXPECT_EQ(dst->tag, 7);
    for (int i = 0; i < dst->count; ++i) {
      const int at = static_cast<int>(dst->points[i].x);
      EXPECT_EQ(dst->status[i], src->status[at]);
      EXPECT_EQ(dst->params[i], src->params[at]);
      EXPECT_EQ(dst->axes[i].x, withAxes ? at : 0.0);
      EXPECT_EQ(dst->axes[i].z, 1.0);
      EXPECT_EQ(dst->flags[i], withAxes ? at : 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CopyReducedTest,
    ::testing::Values(ReduceRow{"empty", {}, {}}, ReduceRow{"all_cut", {C, C, C}, {0, 1, 2}},
                      ReduceRow{"inner_gaps", {C, G, G, G, C}, {0, 1, 3, 4}},
                      ReduceRow{"two_gaps", {C, G, G, C}, {0, 1, 2, 3}},
                      ReduceRow{"all_gaps", {G, G, G, G}, {0, 3}},
                      ReduceRow{"dropped", {D, C, D, C, D}, {1, 3}},
                      ReduceRow{"dropped_between_gaps", {G, G, D, G, G}, {0, 1, 3, 4}},
                      ReduceRow{"special_kept", {S, G, S}, {0, 1, 2}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlineList, ReverseTurnsTheNodeOrder) {
  ListPtr list(plineListNew());
  plineListReverse(list.get());
  EXPECT_EQ(list->first, nullptr);
  EXPECT_EQ(list->last, nullptr);
  for (int tag : {1, 2, 3}) {
    PlinePtr pl = lineOf({C, C});
    pl->tag = tag;
    ASSERT_EQ(plineListAppendReduced(list.get(), pl.get()), 1);
  }
  plineListReverse(list.get());
  EXPECT_EQ(tags(list.get()), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(list->last->pline->tag, 1);
  EXPECT_EQ(list->last->next, nullptr);
  plineListFree(nullptr);
}

TEST(PlineList, ShownCopiesDropDroppedPointsAndKeepTheAxesChoice) {
  ListPtr list(plineListNew());
  for (int withAxes : {0, 1}) {
    PlinePtr pl = lineOf({C, D, C, G, C}, withAxes);
    pl->tag = withAxes + 1;
    ASSERT_EQ(plineListAppendShown(list.get(), pl.get()), 1);
  }
  PlinePtr front = lineOf({C});
  front->tag = 9;
  ASSERT_EQ(plineListPrependShown(list.get(), front.get()), 1);
  EXPECT_EQ(tags(list.get()), (std::vector<int>{9, 1, 2}));
  const Pline* noAxes = list->first->next->pline;
  const Pline* withAxes = list->last->pline;
  EXPECT_EQ(xs(noAxes), (std::vector<double>{0, 2, 3, 4}));
  EXPECT_EQ(noAxes->axes, nullptr);
  ASSERT_NE(withAxes->axes, nullptr);
  EXPECT_EQ(withAxes->axes[1].x, 2.0);
  EXPECT_EQ(plineListAppendShown(nullptr, front.get()), -1);
  EXPECT_EQ(plineListAppendShown(list.get(), nullptr), -1);
}

TEST(PlineList, ATakenPathIsShownCompactedAndKeptItself) {
  DisplayCapture display;
  ListPtr list(plineListNew());
  PlinePtr shown = lineOf({C, D, C, G, C}, 1);
  ASSERT_EQ(plineListAppendShown(list.get(), shown.get()), 1);
  Pline* taken = lineOf({C, D, C, G, C}, 1).release();
  ASSERT_EQ(plineListAppendShownTaken(list.get(), taken), 1);
  EXPECT_EQ(list->last->pline, taken);
  // The same display and the same points as the copy.
  const std::vector<int> both = display.polylines();
  EXPECT_EQ(both, (std::vector<int>{3, 1, 3, 1}));
  EXPECT_EQ(xs(taken), xs(list->first->pline));
  EXPECT_EQ(xs(taken), (std::vector<double>{0, 2, 3, 4}));
  EXPECT_EQ(plineListAppendShownTaken(list.get(), nullptr), -1);
  EXPECT_EQ(plineListAppendShownTaken(nullptr, lineOf({C}).release()), -1);  // freed
}

TEST(PlineList, ReducedCopiesGetTheirCountPlusSlackWithAxes) {
  ListPtr list(plineListNew());
  PlinePtr pl = lineOf({C, G, G, G, G, C});
  ASSERT_EQ(plineListAppendReduced(list.get(), pl.get()), 1);
  ASSERT_EQ(plineListPrependReduced(list.get(), pl.get()), 1);
  for (const PlineListNode* n = list->first; n != nullptr; n = n->next) {
    EXPECT_EQ(n->pline->count, 4);
    EXPECT_EQ(n->pline->capacity, 4 + kPlineListReducedSlack);
    EXPECT_NE(n->pline->axes, nullptr);
  }
}

TEST(PlineDisplayRuns, OnePolylinePerRunIncludingOnePointRuns) {
  DisplayCapture display;
  PlinePtr pl = lineOf({G, C, C, G, C, S, S, C, C, C});
  plineDisplayRuns(pl.get());
  EXPECT_EQ(display.polylines(), (std::vector<int>{2, 1, 3}));
  plineDisplayRuns(nullptr);
  EXPECT_TRUE(display.polylines().empty());
}

TEST(PlineList, ReducedCopiesAreDisplayedOnlyWithShowPieces) {
  DisplayCapture display;
  ListPtr list(plineListNew());
  PlinePtr pl = lineOf({C, C, G, C});
  ASSERT_EQ(plineListAppendReduced(list.get(), pl.get()), 1);
  EXPECT_TRUE(display.polylines().empty());
  EXPECT_EQ(plineListSetShowPieces(1), 0);
  ASSERT_EQ(plineListAppendReduced(list.get(), pl.get()), 1);
  EXPECT_EQ(plineListSetShowPieces(0), 1);
  EXPECT_EQ(display.polylines(), (std::vector<int>{2, 1}));
  // The Shown additions always display, before the copy.
  ASSERT_EQ(plineListAppendShown(list.get(), pl.get()), 1);
  EXPECT_EQ(display.polylines(), (std::vector<int>{2, 1}));
}

struct DropRow {
  const char* name;
  std::vector<PointStatus> status;
  double minLength;
  std::vector<int> gapsAfter;  // 1 where the point is a gap afterwards
};

class DropShortRunsTest : public ::testing::TestWithParam<DropRow> {};

TEST_P(DropShortRunsTest, RunsBelowTheMinimumBecomeGaps) {
  const DropRow& row = GetParam();
  PlinePtr pl = lineOf(row.status);
  plineDropShortRuns(pl.get(), row.minLength);
  for (int i = 0; i < pl->count; ++i) {
    EXPECT_EQ(pointStatusCode(pl->status[i]) == kPointGap ? 1 : 0, row.gapsAfter[i]) << i;
    EXPECT_EQ(pointStatusKind(pl->status[i]), pointStatusKind(row.status[i])) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DropShortRunsTest,
    ::testing::Values(
        // Runs of length 2 (dropped) and 3 (kept) at minimum 2.5.
        DropRow{"short_and_long", {C, C, C, G, C, C, C, C}, 2.5, {1, 1, 1, 1, 0, 0, 0, 0}},
        DropRow{"one_point_always", {C, G, C, C}, 0.0, {1, 1, 0, 0}},
        DropRow{"special_splits", {C, C, S, C, C, C}, 1.5, {1, 1, 0, 0, 0, 0}},
        DropRow{"exact_minimum_kept", {C, C, C}, 2.0, {0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
