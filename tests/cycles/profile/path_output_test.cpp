#include "cycles/profile/path_output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/test_plines.h"

namespace {

using tsupport::plineThrough;

constexpr PointStatus kCut = pointStatusMake(kPointKindContact, kPointCut);
constexpr PointStatus kGap = pointStatusMake(kPointKindContact, kPointGap);
constexpr PointStatus kSpecial = pointStatusMake(kPointKindContact, kPointSpecial);

// One emitted piece as the emitter saw it.
struct Piece {
  std::vector<Vec3d> points;
  std::vector<int> codes;
  double radius;
  const char* emitter;
};

std::vector<Piece> gPieces;
int gFailAt = -1;  // the emitter fails (-3) on this call

int recordAs(const char* name, Pline* path, ModelRec* model) {
  Piece piece{{}, {}, model != nullptr && model->tool != nullptr ? model->tool->radius : 0.0, name};
  for (int i = 0; i < path->count; ++i) {
    piece.points.push_back(path->points[i]);
    piece.codes.push_back(pointStatusCode(path->status[i]));
  }
  gPieces.push_back(piece);
  return static_cast<int>(gPieces.size()) - 1 == gFailAt ? -3 : 0;
}
int recordFacets(Pline* path, LinkParams*, ModelRec* model) {
  return recordAs("facets", path, model);
}
int recordTris(Pline* path, LinkParams*, ModelRec* model) { return recordAs("tris", path, model); }
int recordTrim(Pline* path, LinkParams*, ModelRec* model) { return recordAs("trim", path, model); }

class PathOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gPieces.clear();
    gFailAt = -1;
    saved_ = pathOutputSetEmitters(PathEmitters{recordFacets, recordTris, nullptr});
    modelInit(&model_, kModelKindFacets);
    tool_.type = 0;
    tool_.radius = 3.0;
    tool_.cornerRadius = 3.0;
    model_.tool = &tool_;
    list_ = plineListNew();
  }
  void TearDown() override {
    plineListFree(list_);
    pathOutputSetEmitters(saved_);
  }
  // Appends a path (a copy) to the list.
  void add(const std::vector<Vec3d>& pts, const std::vector<PointStatus>& status = {}) {
    auto pl = plineThrough(pts, status);
    ASSERT_EQ(plineListAppendShown(list_, pl.get()), 1);
  }
  int sorted(int runDirection, int sortMode, double gapLimit, int infeedKind = 1) {
    return pathListOutputSorted(list_, &params_, &model_, infeedKind, runDirection, sortMode,
                                gapLimit);
  }

  PathEmitters saved_{};
  ModelRec model_{};
  ToolShape tool_{};
  LinkParams params_ = linkParamsDefaults();
  PlineList* list_ = nullptr;
};

// A line along x at height y, z, from x0 to x1 in unit steps.
std::vector<Vec3d> line(double x0, double x1, double y, double z = 0.0) {
  std::vector<Vec3d> pts;
  const double step = x1 >= x0 ? 1.0 : -1.0;
  for (double x = x0;; x += step) {
    pts.push_back({x, y, z});
    if (std::abs(x - x1) < 1e-9) break;
  }
  return pts;
}

using Runs = std::vector<std::pair<int, int>>;

struct RunRow {
  const char* name;
  std::string pattern;  // c cut, g gap, s special
  Runs normal;
  Runs special;
};

std::vector<PointStatus> statusOf(const std::string& pattern) {
  std::vector<PointStatus> s;
  for (char c : pattern) s.push_back(c == 'g' ? kGap : c == 's' ? kSpecial : kCut);
  return s;
}

Runs pairs(const IntPairList* list) {
  Runs out;
  for (int i = 0; i < list->count; ++i)
    out.emplace_back(list->items[i].first, list->items[i].second);
  return out;
}

TEST(PlineRuns, ListsRunsOfTwoOrMorePoints) {
  const RunRow rows[] = {
      {"all_cut", "cccc", {{0, 3}}, {}},
      {"single_points_only", "cgcgc", {}, {}},
      {"gap_splits", "ccgccc", {{0, 1}, {3, 5}}, {}},
      {"special_between", "ccssscc", {{0, 1}, {5, 6}}, {{2, 4}}},
      {"special_single", "ccsgcc", {{0, 1}, {4, 5}}, {}},
      {"empty", "", {}, {}},
  };
  IntPairList* runs = listIntPairNew(4);
  for (const RunRow& row : rows) {
    std::vector<Vec3d> pts(row.pattern.size(), Vec3d{0, 0, 0});
    for (size_t i = 0; i < pts.size(); ++i) pts[i].x = static_cast<double>(i);
    auto pl = plineThrough(pts, statusOf(row.pattern));
    ASSERT_EQ(plineNormalRuns(pl.get(), runs), 1) << row.name;
    EXPECT_EQ(pairs(runs), row.normal) << row.name;
    ASSERT_EQ(plineSpecialRuns(pl.get(), runs), 1) << row.name;
    EXPECT_EQ(pairs(runs), row.special) << row.name;
  }
  itemArrayFree(runs);
}

TEST(PlineRuns, RisesFirstDecidesOnTheFirstChangeBeyondFive) {
  struct Row {
    const char* name;
    std::vector<double> z;
    int expected;
  };
  const Row rows[] = {
      {"rises", {0, 1, 4, 6}, 1},
      {"falls", {10, 9, 4.9, 20}, 0},
      {"falls_then_rises", {10, 4.5, 30}, 0},
      {"exactly_five_is_flat", {0, 5, 5}, 0},
      {"flat", {1, 1, 1}, 0},
  };
  for (const Row& row : rows) {
    std::vector<Vec3d> pts;
    for (size_t i = 0; i < row.z.size(); ++i) pts.push_back({static_cast<double>(i), 0, row.z[i]});
    auto pl = plineThrough(pts);
    EXPECT_EQ(plineRunRisesFirst(pl.get(), 0, pl->count - 1), row.expected) << row.name;
  }
}

TEST(PlineRuns, CopyPointsKeepsIndexOrderAndUsesThePointAsAxis) {
  auto pl = plineThrough(line(0, 5, 0));
  plineReverse(pl.get());  // descending parameters
  auto dst = tsupport::PlinePtr(plineNew(2, 1));
  ASSERT_EQ(plineCopyPoints(1, pl.get(), dst.get(), 4), 1);
  ASSERT_EQ(dst->count, 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(dst->points[i].x, 4.0 - i);
    EXPECT_EQ(dst->axes[i].x, dst->points[i].x);
  }
  EXPECT_EQ(plineCopyPoints(3, pl.get(), dst.get(), 6), -1);
  EXPECT_EQ(plineCopyPoints(3, pl.get(), dst.get(), 2), -1);
}

TEST(PlineRuns, RunDistanceIsTheSmallestEndOrMiddleDistance) {
  auto w = plineThrough(line(0, 10, 0));
  auto path = plineThrough(line(0, 10, 4));
  EXPECT_DOUBLE_EQ(plineRunDistance(w.get(), path.get(), 0, 10), 4.0);
  // The run's middle point lies beside W's end.
  auto bent = plineThrough({{-5, 30, 0}, {5, 1, 0}, {15, 30, 0}});
  EXPECT_DOUBLE_EQ(plineRunDistance(w.get(), bent.get(), 0, 2), 1.0);
  auto empty = tsupport::PlinePtr(plineNew(4, 0));
  EXPECT_EQ(plineRunDistance(empty.get(), path.get(), 0, 10), 0.0);
  EXPECT_EQ(plineRunsDistance(nullptr, nullptr, path.get(), 0, 10), kPathOutputNoPrevious);
}

TEST(PlineRuns, ChooseRunPrefersTheRunBesideThePieceWithinTheGap) {
  // The piece ends at x 10; one run starts right at its end, another lies
  // beside it within the gap, a third far away.
  auto w = plineThrough(line(0, 10, 0));
  auto path = plineThrough({{10.5, 0, 0},
                            {14, 0, 0},
                            {-100, 0, 0},  // gap point between
                            {0, 1.5, 0},
                            {10, 1.5, 0},
                            {-200, 0, 0},
                            {50, 50, 0},
                            {60, 50, 0}},
                           {kCut, kCut, kGap, kCut, kCut, kGap, kCut, kCut});
  IntPairList* runs = listIntPairNew(4);
  ASSERT_EQ(plineNormalRuns(path.get(), runs), 1);
  ASSERT_EQ(runs->count, 3);
  EXPECT_EQ(plineChooseRun(w.get(), runs, path.get(), 2.0), 1);  // beside wins
  EXPECT_EQ(plineChooseRun(w.get(), runs, path.get(), 1.0), 0);  // only the end run is near
  EXPECT_EQ(plineChooseRun(w.get(), runs, path.get(), 0.1), 0);  // none near: the nearest
  auto empty = tsupport::PlinePtr(plineNew(4, 0));
  EXPECT_EQ(plineChooseRun(empty.get(), runs, path.get(), 2.0), 0);
  itemArrayFree(runs);
}

TEST_F(PathOutputTest, InOrderOutputsEveryPathAndSkipsEmptyNodes) {
  add(line(0, 3, 0));
  add(line(0, 3, 1));
  add(line(0, 3, 2));
  plineFree(list_->first->next->pline);
  list_->first->next->pline = nullptr;
  EXPECT_EQ(pathListOutputInOrder(list_, &params_, &model_, 1), 1);
  ASSERT_EQ(gPieces.size(), 2u);
  EXPECT_EQ(gPieces[0].points[0].y, 0.0);
  EXPECT_EQ(gPieces[1].points[0].y, 2.0);
}

TEST_F(PathOutputTest, EmitterFollowsModelKindAndTrimLayer) {
  add(line(0, 3, 0));
  model_.kind = kModelKindTriangles;
  EXPECT_EQ(pathListOutputInOrder(list_, &params_, &model_, 1), 1);
  pathOutputSetEmitters(PathEmitters{recordFacets, recordTris, recordTrim});
  EXPECT_EQ(pathListOutputInOrder(list_, &params_, &model_, 1), 1);
  ASSERT_EQ(gPieces.size(), 2u);
  EXPECT_STREQ(gPieces[0].emitter, "tris");
  EXPECT_STREQ(gPieces[1].emitter, "trim");
  pathOutputSetEmitters(PathEmitters{});
  EXPECT_EQ(pathListOutputInOrder(list_, &params_, &model_, 1), kPathOutputNoEmitter);
}

TEST_F(PathOutputTest, InfeedKindFourLowersTheRadiusAndRestoresItAfterAFailure) {
  add(line(0, 3, 0));
  add(line(0, 3, 1));
  gFailAt = 1;
  EXPECT_EQ(pathListOutputInOrder(list_, &params_, &model_, 4), -3);
  ASSERT_EQ(gPieces.size(), 2u);
  EXPECT_DOUBLE_EQ(gPieces[0].radius, 3.0 - kPathOutputInfeed4RadiusCut);
  EXPECT_EQ(tool_.radius, 3.0);
  gPieces.clear();
  gFailAt = 0;
  EXPECT_EQ(sorted(1, 1, 1.0, 4), -3);
  EXPECT_DOUBLE_EQ(gPieces[0].radius, 3.0 - kPathOutputInfeed4RadiusCut);
  EXPECT_EQ(tool_.radius, 3.0);
}

TEST_F(PathOutputTest, SortedDropsRunsShorterThanFiveTolerances) {
  model_.minStep = 0.01;
  // Runs of length 0.04 (below 0.05) on both paths, and an all-gap path.
  add({{0, 0, 0}, {0.02, 0, 0}, {0.04, 0, 0}});
  add({{0, 1, 0}, {0.04, 1, 0}, {5, 1, 0}}, {kCut, kCut, kGap});
  add({{0, 2, 0}, {1, 2, 0}}, {kGap, kGap});
  EXPECT_EQ(sorted(1, 1, 1.0), 1);
  EXPECT_TRUE(gPieces.empty());
}

TEST_F(PathOutputTest, SortedZigzagStartsHighAndAlternates) {
  // Three parallel lines; the first rises by more than 5 from its start.
  std::vector<Vec3d> first = line(0, 10, 0);
  for (auto& p : first) p.z = p.x;
  add(first);
  add(line(0, 10, 1));
  add(line(0, 10, 2));
  EXPECT_EQ(sorted(2, 1, 1.5), 1);
  ASSERT_EQ(gPieces.size(), 3u);
  EXPECT_EQ(gPieces[0].points.front().x, 10.0);  // from the high end
  EXPECT_EQ(gPieces[1].points.front().x, 0.0);
  EXPECT_EQ(gPieces[2].points.front().x, 10.0);
  for (const Piece& piece : gPieces) EXPECT_EQ(piece.points.size(), 11u);
}

TEST_F(PathOutputTest, SortedTakesAFarRunOnlyWhenNoRunIsWithinTheGap) {
  // Two paths, each with a run on the left and one on the right: with the
  // gap limit of 1.5 the sweep goes on beside the piece just cut.
  add({{0, 0, 0}, {4, 0, 0}, {5, 0, 0}, {6, 0, 0}, {10, 0, 0}}, {kCut, kCut, kGap, kCut, kCut});
  add({{0, 1, 0}, {4, 1, 0}, {5, 1, 0}, {6, 1, 0}, {10, 1, 0}}, {kCut, kCut, kGap, kCut, kCut});
  EXPECT_EQ(sorted(1, 1, 1.5), 1);
  ASSERT_EQ(gPieces.size(), 4u);
  // Sweep 1: left run of path 0, the run of path 1 beside it; sweep 2: the
  // right runs.
  EXPECT_EQ(gPieces[0].points.front().x, 0.0);
  EXPECT_EQ(gPieces[1].points.front().x, 0.0);
  EXPECT_EQ(gPieces[1].points.front().y, 1.0);
  EXPECT_EQ(gPieces[2].points.front().x, 6.0);
  EXPECT_EQ(gPieces[3].points.front().x, 6.0);
}

TEST_F(PathOutputTest, SortedOutputsSpecialRunsLastWidenedByOnePoint) {
  add({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}, {6, 0, 0}},
      {kCut, kCut, kSpecial, kSpecial, kSpecial, kCut, kCut});
  EXPECT_EQ(sorted(1, 1, 1.5), 1);
  ASSERT_EQ(gPieces.size(), 3u);
  EXPECT_EQ(gPieces[0].points.size(), 2u);
  EXPECT_EQ(gPieces[1].points.size(), 2u);
  ASSERT_EQ(gPieces[2].points.size(), 5u);
  EXPECT_EQ(gPieces[2].points.front().x, 1.0);
  EXPECT_EQ(gPieces[2].points.back().x, 5.0);
  EXPECT_EQ(gPieces[2].codes, (std::vector<int>{10, 10, 10, 10, 10}));
  for (const PlineListNode* n = list_->first; n != nullptr; n = n->next) {
    EXPECT_EQ(n->pline, nullptr);  // consumed
  }
}

TEST_F(PathOutputTest, SortModeTwoRestartsWhenTheRunBelongsToThePreviousPath) {
  // Path 0 holds two runs far apart (left and right); path 1 has only a run
  // on the right, next to path 0's right run.  After path 0's left run the
  // right run of path 1 lies nearer to path 0's remaining run than to the
  // piece just cut, so sort mode 2 starts again and cuts path 0's right run
  // before it; sort mode 1 takes path 1's run at once.
  auto build = [this] {
    add({{0, 0, 0}, {4, 0, 0}, {30, 0, 0}, {40, 0, 0}, {44, 0, 0}}, {kCut, kCut, kGap, kCut, kCut});
    add({{40, 1, 0}, {44, 1, 0}});
  };
  build();
  EXPECT_EQ(sorted(1, 1, 1.5), 1);
  ASSERT_EQ(gPieces.size(), 3u);
  EXPECT_EQ(gPieces[1].points.front().y, 1.0);
  plineListFree(list_);
  list_ = plineListNew();
  gPieces.clear();
  build();
  EXPECT_EQ(sorted(1, 2, 1.5), 1);
  ASSERT_EQ(gPieces.size(), 3u);
  EXPECT_EQ(gPieces[1].points.front().y, 0.0);
  EXPECT_EQ(gPieces[1].points.front().x, 40.0);
  EXPECT_EQ(gPieces[2].points.front().y, 1.0);
}

TEST_F(PathOutputTest, SortedContinuesPastEmptyPathsAndEmitsEveryRunPointOnce) {
  // Random paths (fixed seed) with gaps, empty paths and null nodes between:
  // every point of a run of two or more points is emitted exactly once.
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> coin(0, 3);
  int expected = 0;
  for (int p = 0; p < 12; ++p) {
    if (p % 4 == 1) {
      add({{0, double(p), 0}}, {kGap});
      continue;
    }
    std::vector<Vec3d> pts;
    std::vector<PointStatus> st;
    for (int i = 0; i < 30; ++i) {
      pts.push_back({double(i), double(p), 0});
      st.push_back(coin(rng) == 0 ? kGap : kCut);
    }
    auto pl = plineThrough(pts, st);
    IntPairList* runs = listIntPairNew(4);
    plineNormalRuns(pl.get(), runs);
    for (const auto& r : pairs(runs)) expected += r.second - r.first + 1;
    itemArrayFree(runs);
    ASSERT_EQ(plineListAppendShown(list_, pl.get()), 1);
  }
  for (int mode = 1; mode <= 2; ++mode) {
    PlineList* copy = plineListNew();
    for (PlineListNode* n = list_->first; n != nullptr; n = n->next) {
      ASSERT_EQ(plineListAppendShown(copy, n->pline), 1);
    }
    gPieces.clear();
    ASSERT_EQ(pathListOutputSorted(copy, &params_, &model_, 1, 2, mode, 1.5), 1);
    int emitted = 0;
    std::vector<int> seen(12 * 30, 0);
    for (const Piece& piece : gPieces) {
      emitted += static_cast<int>(piece.points.size());
      for (const Vec3d& q : piece.points) ++seen[int(q.y) * 30 + int(q.x)];
    }
    EXPECT_EQ(emitted, expected) << "sort mode " << mode;
    for (int s : seen) EXPECT_LE(s, 1);
    plineListFree(copy);
  }
}

}  // namespace
