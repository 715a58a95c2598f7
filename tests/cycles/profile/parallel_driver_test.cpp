#include "cycles/profile/parallel_driver.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "base/messages.h"
#include "boundaries/bnd_active.h"
#include "cycles/profile/job/job_record.h"
#include "cycles/profile/path_output.h"
#include "cycles/profile/profile_run.h"
#include "geometry/curves/curve.h"
#include "model/collision/stock_model.h"
#include "model/contact/contact_settings.h"
#include "model/io/model_test_files.h"
#include "model/mesh/model_grid.h"
#include "output/output_channels.h"
#include "support/message_capture.h"
#include "support/record_capture.h"
#include "support/temp_dir.h"
#include "support/test_models.h"
#include "support/test_plines.h"

namespace {

using testmodels::TestModel;
using tsupport::plineThrough;

constexpr PointStatus kCut = pointStatusMake(kPointKindContact, kPointCut);
constexpr PointStatus kGap = pointStatusMake(kPointKindContact, kPointGap);
constexpr PointStatus kSpecial = pointStatusMake(kPointKindContact, kPointSpecial);

struct ListFree {
  void operator()(PlineList* l) const { plineListFree(l); }
};
using ListPtr = std::unique_ptr<PlineList, ListFree>;

// The points of every path of a list, as flat bytes for exact comparison.
std::string listBytes(const PlineList* list) {
  std::string bytes;
  for (const PlineListNode* n = list->first; n != nullptr; n = n->next) {
    const Pline* p = n->pline;
    bytes.append(reinterpret_cast<const char*>(&p->count), sizeof p->count);
    bytes.append(reinterpret_cast<const char*>(p->points), sizeof(Vec3d) * p->count);
    bytes.append(reinterpret_cast<const char*>(p->params), sizeof(double) * p->count);
    bytes.append(reinterpret_cast<const char*>(p->status), sizeof(PointStatus) * p->count);
  }
  return bytes;
}

int countPaths(const PlineList* list) {
  int n = 0;
  for (const PlineListNode* node = list->first; node != nullptr; node = node->next) ++n;
  return n;
}

int stopNow() { return 1; }

// A level over the roof test model (ridge at x 0, 30 degrees, height 10)
// with lines along x at y = -16, -12, ..., 16.
class ParallelLevelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    contactSettingsReset();
    profStopWord().store(0);
    tm_.buildGrid();
    tm_.enableCandidates();
    tm_.model()->maxStep = 0.5;
    ASSERT_EQ(lineSetInit(&lines_, 4), 1);
    for (double y = -16.0; y <= 16.0; y += 4.0) {
      CurveRec* c = curveNewOwned(2, 'p', false);
      c->points[0] = {-15.0, y};
      c->points[1] = {15.0, y};
      curveUpdateLengths(c);
      ASSERT_EQ(lineSetAppendCurve(&lines_, c, nullptr), 1);
      curveFree(c);
    }
    params_ = linkParamsDefaults();
    params_.stepMin = 0.001;
    params_.stepMax = 2.0;
    in_ =
        ProfLevelInput{&lines_, tm_.model(), &params_, nullptr, 2, 1, 0, 0, dir_.path().c_str(), 0};
  }
  void TearDown() override {
    lineSetFree(&lines_);
    contactSettingsReset();
    cycSetBreakHook(nullptr);
    profStopWord().store(0);
  }

  TestModel tm_{testmodels::roof(30.0, 10.0, 20.0, 4), kModelKindFacets, testmodels::ballTool(3.0)};
  LineSet lines_{};
  LinkParams params_{};
  tsupport::TempDir dir_;
  ProfLevelInput in_{};
};

TEST_F(ParallelLevelTest, LinesLieOnTheModelInLineOrderWithOddLinesReversed) {
  ListPtr out(plineListNew());
  int failed = 0;
  ASSERT_EQ(profParallelLevel(in_, out.get(), &failed), kLineDone);
  EXPECT_EQ(failed, -1);
  ASSERT_EQ(countPaths(out.get()), lines_.count);
  const double m = std::tan(M_PI / 6), c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
  int line = 0;
  for (const PlineListNode* n = out->first; n != nullptr; n = n->next, ++line) {
    const Pline* p = n->pline;
    ASSERT_GT(p->count, 2);
    EXPECT_NEAR(p->points[0].x, line % 2 == 1 ? 15.0 : -15.0, 1e-4)
        << line;  // zigzag (last sample 0.00001 short)
    for (int i = 0; i < p->count; ++i) {
      const double e = std::fabs(p->points[i].x);
      const double z = e <= 3.0 * s ? 10.0 + std::sqrt(9.0 - e * e) : 10.0 - m * e + 3.0 / c;
      EXPECT_NEAR(p->points[i].z, z, 1e-6) << "line " << line << " point " << i;
      EXPECT_DOUBLE_EQ(p->points[i].y, -16.0 + 4.0 * line);
    }
  }
}

TEST_F(ParallelLevelTest, SameLinesForAnyTeamSizeAndSpillSetting) {
  std::string reference;
  const int savedThreads = omp_get_max_threads();
  for (const int threads : {1, 2, 8}) {
    for (const int cache : {0, 1, 3}) {
      in_.cacheCount = cache;
      omp_set_num_threads(threads);
      ListPtr out(plineListNew());
      int failed = 0;
      ASSERT_EQ(profParallelLevel(in_, out.get(), &failed), kLineDone);
      const std::string bytes = listBytes(out.get());
      if (reference.empty()) reference = bytes;
      EXPECT_EQ(bytes, reference) << threads << " threads, cache " << cache;
    }
  }
  omp_set_num_threads(savedThreads);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));  // spill files removed
}

// The display polylines of a level, as (first x, y, point count) per
// polyline in the order the host received them.
std::vector<std::tuple<double, double, int>> displayedLines(RecordCapture& capture) {
  std::vector<std::tuple<double, double, int>> lines;
  for (const CapturedRecord& r : capture.take()) {
    if (r.channel != kChanDisplayPolylines) continue;
    if (r.code == kRecRapidXYZ) lines.emplace_back(r.f64(kRecGeoX), r.f64(kRecGeoY), 0);
    if (r.code == kRecLineXYZ && !lines.empty()) ++std::get<2>(lines.back());
  }
  return lines;
}

TEST_F(ParallelLevelTest, LinesAreShownInLineOrderForAnyTeamAndEachCollectedLineAgain) {
  RecordCapture capture({kChanDisplayPolylines});
  outSetContext(&capture.ctx);
  const int savedThreads = omp_get_max_threads();
  std::vector<std::tuple<double, double, int>> reference;
  for (const int threads : {1, 8}) {
    omp_set_num_threads(threads);
    ListPtr out(plineListNew());
    int failed = 0;
    ASSERT_EQ(profParallelLevel(in_, out.get(), &failed), kLineDone);
    const auto shown = displayedLines(capture);
    // Every line once while the level runs, then once more as it is
    // collected, each time in line order.
    ASSERT_EQ(shown.size(), 2u * lines_.count) << threads;
    for (int i = 0; i < 2 * lines_.count; ++i) {
      const int line = i % lines_.count;
      EXPECT_DOUBLE_EQ(std::get<1>(shown[i]), -16.0 + 4.0 * line) << threads << " " << i;
      EXPECT_EQ(shown[i], shown[i % lines_.count]) << threads << " " << i;
    }
    if (reference.empty()) reference = shown;
    EXPECT_EQ(shown, reference) << threads << " threads";
  }
  omp_set_num_threads(savedThreads);
  outSetContext(nullptr);
}

TEST_F(ParallelLevelTest, CancelledLevelCollectsNothing) {
  cycSetBreakHook(stopNow);
  ListPtr out(plineListNew());
  int failed = 0;
  EXPECT_EQ(profParallelLevel(in_, out.get(), &failed), kLineCancelled);
  EXPECT_EQ(out->first, nullptr);
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(profStopWord().load(), 1);
  // Once the stop word is set, no later level computes anything.
  cycSetBreakHook(nullptr);
  EXPECT_EQ(profParallelLevel(in_, out.get(), &failed), kLineCancelled);
  EXPECT_EQ(out->first, nullptr);
}

TEST_F(ParallelLevelTest, StoreThatCannotBeMadeFailsTheLevel) {
  const std::string missing = dir_.path() + "/no/such/dir";
  in_.tmpDir = missing.c_str();
  in_.cacheCount = 1;
  ListPtr out(plineListNew());
  int failed = 0;
  EXPECT_EQ(profParallelLevel(in_, out.get(), &failed), -1);
  EXPECT_EQ(out->first, nullptr);
}

TEST(ProfLevelCount, CountsLevelsDownToTheBottom) {
  struct Row {
    const char* name;
    double s, bottom, v;
    int stock;
    int levels;
    int warned;
  };
  const Row rows[] = {
      {"exact_steps", 10.0, 0.0, 2.5, 0, 4, 0},
      {"just_over", 10.0, 0.0, 3.0, 0, 4, 0},
      {"step_larger_than_range", 10.0, 0.0, 50.0, 0, 1, 0},
      {"start_at_bottom", 5.0, 5.0, 1.0, 0, 1, 1},
      {"start_below_bottom", 4.0, 5.0, 1.0, 0, 1, 1},
      {"stock_height", 10.0, 0.0, 1.0, 1, 1, 0},
      {"zero_step_is_one_level", 10.0, 0.0, 0.0, 0, 1, 0},
      {"negative_step_is_one_level", 10.0, 0.0, -1.0, 0, 1, 0},
      {"nan_step_is_one_level", 10.0, 0.0, NAN, 0, 1, 0},
      {"tiny_step_saturates", 10.0, 0.0, 1e-12, 0, INT_MAX, 0},
  };
  for (const Row& row : rows) {
    int warned = -1;
    EXPECT_EQ(profLevelCount(row.s, row.bottom, row.v, row.stock, &warned), row.levels) << row.name;
    EXPECT_EQ(warned, row.warned) << row.name;
  }
}

TEST(PathListAfterFailure, HolderModesMarkOrEmptyLaterPaths) {
  auto build = [] {
    ListPtr list(plineListNew());
    const std::vector<Vec3d> pts{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    auto a = plineThrough(pts);
    auto b = plineThrough(pts, {kCut, kSpecial, kCut});
    auto c = plineThrough(pts, {kCut, kGap, kCut});
    plineListAppendShown(list.get(), a.get());
    plineListAppendShown(list.get(), b.get());
    plineListAppendShown(list.get(), c.get());
    return list;
  };
  {
    ListPtr list = build();
    pathListAfterFailure(list.get(), 2, 0, -1);
    const PlineListNode* n = list->first;
    EXPECT_EQ(tsupport::plineCodes(n->pline), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(tsupport::plineCodes(n->next->pline), (std::vector<int>{0, 10, 10}));
    EXPECT_EQ(tsupport::plineCodes(n->next->next->pline), (std::vector<int>{10, 2, 10}));
  }
  {
    ListPtr list = build();
    pathListAfterFailure(list.get(), 0, kLineFailed, 0);
    EXPECT_EQ(list->first->pline->count, 3);
    EXPECT_EQ(list->first->next->pline->count, 0);
    EXPECT_EQ(list->first->next->next->pline->count, 0);
  }
  {
    ListPtr list = build();
    pathListAfterFailure(list.get(), 0, kLineDone, 0);
    pathListAfterFailure(list.get(), 1, kLineFailed, 0);
    EXPECT_EQ(list->first->next->next->pline->count, 3);
  }
}

TEST(PlineInsertTopPoints, RisesToTheTopWhereTheModelLeavesThePath) {
  // A gap point high above its cut neighbour (same xy), then one beside it.
  auto pl = plineThrough({{0, 0, 1}, {1, 0, 2}, {1, 0, 50}, {5, 0, 50}, {6, 0, 2}},
                         {kCut, kCut, kGap, kGap, kCut});
  EXPECT_EQ(plineInsertTopPoints(pl.get(), 10.0, 0.01), 1);
  ASSERT_EQ(pl->count, 6);
  EXPECT_EQ(pl->points[2].x, 1.0);
  EXPECT_EQ(pl->points[2].z, 10.0);
  EXPECT_EQ(pl->params[2], 1.5);
  EXPECT_EQ(pointStatusCode(pl->status[2]), kPointCut);
  EXPECT_EQ(pl->points[3].z, 50.0);
  // The top above the gap point, or a plan distance beyond the tolerance:
  // nothing.
  EXPECT_EQ(plineInsertTopPoints(pl.get(), 60.0, 0.01), 0);
  EXPECT_EQ(plineInsertTopPoints(nullptr, 10.0, 0.01), 0);
}

TEST(StockPaths, RaisedCopiesLeaveTheListAndLoseTheirMovesOutsideTheStock) {
  // The stock: a box 40 x 40 x 10 on z = 0 (x -20 .. 20), the tool a ball of
  // radius 2, the path along x at z 5 from -30 to 30, one point per unit.
  TestModel stock(testmodels::box({-20, -20, 0}, {20, 20, 10}), kModelKindFacets,
                  testmodels::ballTool(2));
  std::vector<Vec3d> pts;
  for (int x = -30; x <= 30; ++x) pts.push_back({static_cast<double>(x), 0.0, 5.0});
  ListPtr list(plineListNew());
  ASSERT_EQ(plineListAppendShown(list.get(), plineThrough(pts).get()), 1);
  const std::string before = listBytes(list.get());
  struct Row {
    const char* name;
    double dz;
    bool withStock;
    double reach;  // |x| from which every point is a gap (0: none are)
  };
  const Row rows[] = {
      {"copy", 0.0, false, 0.0},
      {"raised", 3.0, false, 0.0},
      {"raised_into_the_stock", 3.0, true, 22.0},
      {"raised_above_the_stock", 20.0, true, -1.0},
  };
  for (const Row& row : rows) {
    ListPtr out(plineListNew());
    ASSERT_EQ(
        pathListRaisedCopy(list.get(), row.dz, out.get(), row.withStock ? stock.model() : nullptr),
        1)
        << row.name;
    EXPECT_EQ(listBytes(list.get()), before) << row.name;
    ASSERT_EQ(countPaths(out.get()), 1) << row.name;
    const Pline* p = out->first->pline;
    if (!row.withStock) {
      ASSERT_EQ(p->count, static_cast<int>(pts.size())) << row.name;
    }
    int gaps = 0;
    for (int i = 0; i < p->count; ++i) {
      EXPECT_EQ(p->points[i].z, 5.0 + row.dz) << row.name;
      const bool gap = pointStatusCode(p->status[i]) == kPointGap;
      gaps += gap ? 1 : 0;
      if (row.reach < 0.0) {
        EXPECT_TRUE(gap) << row.name << " x " << p->points[i].x;
      } else if (row.reach > 0.0 && std::fabs(p->points[i].x) >= row.reach) {
        EXPECT_TRUE(gap) << row.name << " x " << p->points[i].x;
      } else if (row.reach == 0.0 || std::fabs(p->points[i].x) < row.reach - 0.01) {
        EXPECT_FALSE(gap) << row.name << " x " << p->points[i].x;
      }
    }
    if (row.withStock) {
      EXPECT_GT(gaps, 0) << row.name;
    }
  }
  // Nothing to mark: a null list or stock.
  EXPECT_EQ(stockTrimPaths(nullptr, stock.model()), 1);
  EXPECT_EQ(stockTrimPaths(list.get(), nullptr), 1);
  EXPECT_EQ(listBytes(list.get()), before);
}

// ---- The driver over the roof job ------------------------------------------------

std::vector<std::vector<Vec3d>> gEmitted;
std::vector<std::vector<int>> gEmittedCodes;  // status codes of gEmitted
int recordPiece(Pline* path, LinkParams*, ModelRec*) {
  gEmitted.emplace_back(path->points, path->points + path->count);
  gEmittedCodes.push_back(tsupport::plineCodes(path));
  return 0;
}

// The stock of the stock tests: a box over the left half of the roof, its
// wall at x 20 (the ridge), far above the part.
std::vector<Tri> leftHalfStock() { return testmodels::box({-5, -5, -5}, {20, 45, 30}); }

class RoofDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    contactSettingsReset();
    gEmitted.clear();
    gEmittedCodes.clear();
    PathEmitters e;
    e.facets = recordPiece;
    e.triangles = recordPiece;
    saved_ = pathOutputSetEmitters(e);
    ASSERT_TRUE(tsupport::writeFile(dir_.file("roof.stl"), testmodels::roofStl()));
    ASSERT_TRUE(tsupport::writeFile(dir_.file("square.bnd"),
                                    "**BND\nX5 Y5 Z0\nX35 Y5 Z0\nX35 Y35 Z0\nX5 Y35 Z0\n**END\n"));
    jobRecord = JobRecord{};
    setText(jobRecord.approx, dir_.file("roof.stl"));
    setText(jobRecord.boundary, dir_.file("square.bnd"));
    setText(jobRecord.tmpDir, dir_.path());
    jobRecord.horizustel = 5.0;
    jobRecord.bearbeitricht = 2;  // lines along x
    jobRecord.lauf = 2;           // zigzag
    jobRecord.tief = -1.0;
    params_ = linkParamsDefaults();
    params_.stepMin = 0.001;
    params_.stepMax = 2.0;
    tool_ = testmodels::ballTool(3.0);
  }
  void TearDown() override {
    pathOutputSetEmitters(saved_);
    cycSetBreakHook(nullptr);
    contactSettingsReset();
    jobRecord = JobRecord{};
  }
  static void setText(char (&field)[257], const std::string& text) {
    std::snprintf(field, sizeof field, "%s", text.c_str());
  }
  int run() {
    ModelRec model{};
    modelInit(&model, kModelKindFacets);
    model.tool = &tool_;
    model.boundaryFlag = jobRecord.boundary[0] != '\0' ? 1 : 0;
    model.maxStep = 0.5;
    const int result = profParallelDriver(jobRecord, &params_, &model);
    EXPECT_EQ(model.facets, nullptr);  // cleaned up
    EXPECT_EQ(model.candidates, nullptr);
    return result;
  }

  tsupport::TempDir dir_;
  PathEmitters saved_;
  LinkParams params_{};
  ToolShape tool_{};
};

TEST_F(RoofDriverTest, CuttingMovesLieOnTheRoofInsideTheBoundaryAndAlternate) {
  ASSERT_EQ(run(), kDriverDone);
  ASSERT_EQ(gEmitted.size(), 7u);  // y = 35, 30, ..., 5: the last line first
  const double a = std::atan(0.5);
  for (size_t k = 0; k < gEmitted.size(); ++k) {
    const std::vector<Vec3d>& piece = gEmitted[k];
    ASSERT_GT(piece.size(), 2u);
    EXPECT_NEAR(piece.front().y, 35.0 - 5.0 * k, 1e-9);
    // Line 6 (first out) runs forward, line 5 backward, ...
    const bool forward = (k % 2) == 0;
    EXPECT_EQ(piece.front().x < piece.back().x, forward) << k;
    for (const Vec3d& p : piece) {
      EXPECT_GE(p.x, 5.0 - 1e-6);
      EXPECT_LE(p.x, 35.0 + 1e-6);
      const double e = std::fabs(p.x - 20.0);
      const double z = e >= 3.0 * std::sin(a) ? 10.0 - 0.5 * e + 3.0 / std::cos(a)
                                              : 10.0 + std::sqrt(9.0 - e * e);
      EXPECT_NEAR(p.z, z, 1e-6) << "x " << p.x;
    }
  }
}

TEST_F(RoofDriverTest, SameMovesForAnyTeamSizeAndSpillSetting) {
  ASSERT_TRUE(testmodels::writeBinaryStl(dir_.file("stock.stl"), leftHalfStock()));
  for (const int random : {0, 1}) {
    jobRecord.randomPoints = static_cast<int16_t>(random);
    // The random run also marks its air moves against a stock.
    setText(jobRecord.stock3df, random != 0 ? dir_.file("stock.stl") : "");
    std::vector<std::vector<Vec3d>> reference;
    const int savedThreads = omp_get_max_threads();
    for (const int threads : {1, 2, 8}) {
      for (const int cache : {0, 1, 5000}) {
        omp_set_num_threads(threads);
        jobRecord.pathCashCt = static_cast<int16_t>(cache);
        gEmitted.clear();
        ASSERT_EQ(run(), kDriverDone);
        if (reference.empty()) reference = gEmitted;
        ASSERT_EQ(gEmitted.size(), reference.size());
        for (size_t k = 0; k < reference.size(); ++k) {
          ASSERT_EQ(gEmitted[k].size(), reference[k].size());
          EXPECT_EQ(std::memcmp(gEmitted[k].data(), reference[k].data(),
                                sizeof(Vec3d) * reference[k].size()),
                    0)
              << threads << " threads, cache " << cache << ", random " << random;
        }
      }
    }
    omp_set_num_threads(savedThreads);
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.file("plist_0")));
}

TEST_F(RoofDriverTest, CancelEndsTheRunWithoutAHalfLevel) {
  cycSetBreakHook(stopNow);
  EXPECT_EQ(run(), kDriverCancelled);
  EXPECT_TRUE(gEmitted.empty());
}

TEST_F(RoofDriverTest, BadJobsEndWithTheirResultAndLeaveNoFiles) {
  struct Row {
    const char* name;
    const char* model;
    const char* bnd;    // text of the boundary file
    const char* stock;  // stock file (never written)
    int result;
    int message;              // a message the run sends
    const char* messageFile;  // the file it names, or null
  };
  const Row rows[] = {
      {"missing_model", "nothing.stl", nullptr, nullptr, kDriverModelFailed, 332, "nothing.stl"},
      {"malformed_bnd", nullptr, "**BND\nX5 Y5 Z0\n**END\n", nullptr, kDriverNoBoundary, 304,
       nullptr},
      {"engraving_strategy", nullptr, nullptr, nullptr, kDriverNoGuide, 5000, nullptr},
      // A stock that cannot be read never lets the job cut air as stock.
      {"unreadable_stock", nullptr, nullptr, "nothing.stl", kDriverModelFailed, 332, "nothing.stl"},
  };
  for (const Row& row : rows) {
    SetUp();
    if (row.model != nullptr) setText(jobRecord.approx, dir_.file(row.model));
    if (row.bnd != nullptr) {
      ASSERT_TRUE(tsupport::writeFile(dir_.file("square.bnd"), row.bnd));
    }
    if (row.stock != nullptr) setText(jobRecord.stock3df, dir_.file(row.stock));
    if (std::string(row.name) == "engraving_strategy") jobRecord.bearbeitricht = 4;
    tsupport::MessageCapture messages;
    EXPECT_EQ(run(), row.result) << row.name;
    const std::string number = std::to_string(row.message);
    const auto sent = [&](const std::string& v) {
      if (row.messageFile != nullptr) return v == number + "," + dir_.file(row.messageFile);
      return v == number || v.rfind(number + ",", 0) == 0;
    };
    EXPECT_TRUE(std::any_of(messages.values.begin(), messages.values.end(), sent)) << row.name;
    EXPECT_TRUE(gEmitted.empty()) << row.name;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      (void)entry;
      ++files;
    }
    EXPECT_EQ(files, 2) << row.name;  // the model and the boundary only
    TearDown();
  }
}

TEST_F(RoofDriverTest, LevelsStepDownToTheBottomAndAreCounted) {
  // Start at the tool's top over the boundary (16), bottom -1 + 3: four
  // levels at 12, 8, 4 and 2.
  jobRecord.vertzustel = 4.0;
  tsupport::MessageCapture messages;
  ASSERT_EQ(run(), kDriverDone);
  EXPECT_NE(std::find(messages.values.begin(), messages.values.end(), "318,4"),
            messages.values.end());
  ASSERT_EQ(gEmitted.size(), 28u);
  const double floors[] = {12.0, 8.0, 4.0, 2.0};
  for (size_t k = 0; k < gEmitted.size(); ++k) {
    double lowest = 1e9;
    for (const Vec3d& p : gEmitted[k]) lowest = std::min(lowest, p.z);
    EXPECT_NEAR(lowest, std::max(floors[k / 7], 10.0 - 0.5 * 15.0 + 3.0 / std::cos(std::atan(0.5))),
                1e-6)
        << k;
  }
  EXPECT_DOUBLE_EQ(params_.safetyDistance, jobRecord.sichdist + 3.5);
  EXPECT_EQ(params_.verticalStepCount, 4);
}

TEST_F(RoofDriverTest, ContactBoundaryModeActivatesTheBoundaryForTheRunOnly) {
  jobRecord.boundMode = 1;
  ASSERT_EQ(run(), kDriverDone);
  EXPECT_FALSE(gEmitted.empty());
  EXPECT_EQ(bndActiveTree(), nullptr);
}

TEST_F(RoofDriverTest, RunLeavesTheJobRecordAsRead) {
  // The surface and the bottom follow from the model of each run; a run
  // never hands them to the next one.
  jobRecord.bottomOk = 0;
  jobRecord.stockHeight = 0.0;
  ASSERT_EQ(run(), kDriverDone);
  EXPECT_EQ(jobRecord.oberfl, JobRecord{}.oberfl);
  EXPECT_EQ(jobRecord.tief, -1.0);
  EXPECT_EQ(jobRecord.clipSort, JobRecord{}.clipSort);
}

TEST_F(RoofDriverTest, StockMakesTheMovesThatCutOnlyAirGaps) {
  ASSERT_EQ(run(), kDriverDone);
  const std::vector<std::vector<Vec3d>> plain = gEmitted;
  const std::vector<std::vector<int>> plainCodes = gEmittedCodes;
  ASSERT_TRUE(testmodels::writeBinaryStl(dir_.file("stock.stl"), leftHalfStock()));
  setText(jobRecord.stock3df, dir_.file("stock.stl"));
  gEmitted.clear();
  gEmittedCodes.clear();
  ASSERT_EQ(run(), kDriverDone);
  ASSERT_EQ(gEmitted.size(), plain.size());
  // The ball (radius 3, shank as wide) reaches the stock's wall from x < 23.
  const double reach = 23.0;
  for (size_t k = 0; k < plain.size(); ++k) {
    const std::vector<Vec3d>& path = gEmitted[k];
    int air = 0;
    for (size_t i = 0; i < path.size(); ++i) {
      const bool gap = gEmittedCodes[k][i] == kPointGap;
      if (path[i].x >= reach) {
        EXPECT_TRUE(gap) << k << " x " << path[i].x;
        ++air;
      }
    }
    EXPECT_GT(air, 0) << k;
    // Every cutting point of the plain run where the tool touches the stock
    // is still there and still cuts.
    for (size_t i = 0; i < plain[k].size(); ++i) {
      if (plainCodes[k][i] == kPointGap || plain[k][i].x >= reach - 0.01) continue;
      bool kept = false;
      for (size_t j = 0; j < path.size() && !kept; ++j) {
        kept = std::memcmp(&path[j], &plain[k][i], sizeof(Vec3d)) == 0 &&
               gEmittedCodes[k][j] != kPointGap;
      }
      EXPECT_TRUE(kept) << k << " x " << plain[k][i].x;
    }
  }
}

TEST_F(RoofDriverTest, StockHeightEmitsTheRaisedPassesBeforeTheLevel) {
  // Stock height 5 with infeed 2: passes raised by 4 and 2, then the level.
  jobRecord.stockHeight = 5.0;
  jobRecord.vertzustel = 2.0;
  tsupport::MessageCapture messages;
  ASSERT_EQ(run(), kDriverDone);
  EXPECT_NE(std::find(messages.values.begin(), messages.values.end(), "318,1"),
            messages.values.end());
  ASSERT_EQ(gEmitted.size(), 21u);  // three times the seven lines
  const double a = std::atan(0.5);
  for (size_t j = 0; j < 7; ++j) {
    const std::vector<Vec3d>& level = gEmitted[14 + j];
    const double e = std::fabs(level.front().x - 20.0);
    EXPECT_NEAR(level.front().z, 10.0 - 0.5 * e + 3.0 / std::cos(a), 1e-6) << j;
    for (const size_t pass : {0u, 1u}) {
      const std::vector<Vec3d>& raised = gEmitted[7 * pass + j];
      const double dz = pass == 0 ? 4.0 : 2.0;
      ASSERT_EQ(raised.size(), level.size()) << pass << " " << j;
      for (size_t i = 0; i < level.size(); ++i) {
        EXPECT_EQ(raised[i].x, level[i].x);
        EXPECT_EQ(raised[i].y, level[i].y);
        EXPECT_NEAR(raised[i].z, level[i].z + dz, 1e-9) << pass << " " << j << " " << i;
      }
    }
  }
}

TEST_F(RoofDriverTest, StockOfAModelWithRotatedExtentsLeavesNoExtentsBehind) {
  // The roof as a binary facet file: loaded with rotated extents (*OPT_DIA).
  const double v[6][3] = {{0, 0, 0},  {20, 0, 10}, {20, 40, 10},
                          {0, 40, 0}, {40, 0, 0},  {40, 40, 0}};
  auto p = [&](int i) { return Vec3d{v[i][0], v[i][1], v[i][2]}; };
  const std::vector<Facet> roof = {
      model_test::facetOf(Tri{{p(0), p(1), p(2)}}), model_test::facetOf(Tri{{p(0), p(2), p(3)}}),
      model_test::facetOf(Tri{{p(4), p(5), p(2)}}), model_test::facetOf(Tri{{p(4), p(2), p(1)}})};
  model_test::writeBytes(dir_.file("roof.bin"), model_test::facetFileBytes(1.0f, roof));
  ASSERT_TRUE(testmodels::writeBinaryStl(dir_.file("stock.stl"), leftHalfStock()));
  setText(jobRecord.approx, dir_.file("roof.bin"));
  setText(jobRecord.stock3df, dir_.file("stock.stl"));
  jobRecord.optDia = 1;
  ASSERT_EQ(run(), kDriverDone);
  EXPECT_FALSE(gEmitted.empty());
  // Extents left behind would be handed to the drops of the next model.
  EXPECT_EQ(diagMin, nullptr);
  EXPECT_EQ(diagMax, nullptr);
}

// What the lines of a level see of the contact switches, through the break
// hook that every line polls.
std::atomic<int> gSeenClip{-1};
std::atomic<int> gSeenSlope{-1};
std::atomic<int> gSeenWalls{-1};
std::atomic<int> gBreakAnswer{0};
int watchSwitches() {
  ContactContext ctx;
  contactContextLoad(&ctx);
  gSeenClip.store(ctx.clipPass);
  gSeenSlope.store(ctx.slopeSwitch);
  gSeenWalls.store(ctx.boundWalls);
  return gBreakAnswer.load();
}

TEST_F(RoofDriverTest, ContactSwitchesAreOnForTheLinesOnlyWhateverTheEnd) {
  struct Row {
    const char* name;
    int slopeMode;
    int boundStrategy;
    int usePbound;
    int cancel;
    int result;
  };
  const Row rows[] = {
      {"plain", 0, 0, 1, 0, kDriverDone},
      {"slope_mode", 1, 0, 1, 0, kDriverDone},
      {"automatic_walls", 0, 1, 2, 0, kDriverDone},
      {"cancelled", 1, 1, 2, 1, kDriverCancelled},
  };
  for (const Row& row : rows) {
    SetUp();
    jobRecord.slopeMode = static_cast<int16_t>(row.slopeMode);
    jobRecord.boundStrategy = static_cast<int16_t>(row.boundStrategy);
    jobRecord.usePbound = static_cast<int16_t>(row.usePbound);
    gBreakAnswer.store(row.cancel);
    gSeenClip.store(-1);
    cycSetBreakHook(watchSwitches);
    EXPECT_EQ(run(), row.result) << row.name;
    EXPECT_EQ(gSeenClip.load(), 1) << row.name;
    EXPECT_EQ(gSeenSlope.load(), row.slopeMode) << row.name;
    EXPECT_EQ(gSeenWalls.load(), row.boundStrategy == 1 ? 1 : 0) << row.name;
    ContactContext after;
    contactContextLoad(&after);
    EXPECT_EQ(after.clipPass, 0) << row.name;
    EXPECT_EQ(after.slopeSwitch, 0) << row.name;
    EXPECT_EQ(after.boundWalls, 0) << row.name;
    EXPECT_EQ(after.contactBoundaries, nullptr) << row.name;
    TearDown();
  }
}

int gResets = 0;
void countReset() { ++gResets; }

TEST_F(RoofDriverTest, LinkStateIsResetOnTheFirstPassOfARunOnly) {
  struct Row {
    const char* name;
    int pass;
    int resets;
  };
  const Row rows[] = {{"outside_a_run", 0, 1}, {"first_pass", 1, 1}, {"second_pass", 2, 0}};
  PathEmitters e = pathOutputEmitters();
  e.reset = countReset;
  pathOutputSetEmitters(e);
  for (const Row& row : rows) {
    passOfRun = row.pass;
    gResets = 0;
    EXPECT_EQ(run(), kDriverDone) << row.name;
    EXPECT_EQ(gResets, row.resets) << row.name;
  }
  passOfRun = 0;
}

}  // namespace
