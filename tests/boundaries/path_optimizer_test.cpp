#include "boundaries/path_optimizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

struct Points {
  std::vector<int> ids;
  LpoOrderList* list = lpoOrderListNew();
  explicit Points(const std::vector<std::pair<double, double>>& pts) {
    ids.resize(pts.size());
    for (size_t i = 0; i < pts.size(); ++i) {
      ids[i] = static_cast<int>(i);
      lpoOrderListAdd(list, pts[i].first, pts[i].second, 0, pts[i].first, pts[i].second, 0,
                      &ids[i]);
    }
  }
  ~Points() { lpoOrderListFree(list); }
  std::vector<int> order() {
    std::vector<int> out;
    for (void* p = lpoOrderListFirst(list); p != nullptr; p = lpoOrderListNext(list)) {
      out.push_back(*static_cast<int*>(p));
    }
    return out;
  }
};

TEST(PathOptimizerTest, OneSegmentStaysWithLengthZero) {
  for (int type : {2, 3, 4, 6, 7, 8, 101, 102, 103, 104, 0}) {
    Points p({{5, 5}});
    p.list->optimizer->type = type;
    lpoOrderListOptimize(p.list);
    EXPECT_EQ(p.order(), std::vector<int>{0}) << type;
    EXPECT_EQ(p.list->optimizer->length, 0.0);
  }
}

TEST(PathOptimizerTest, TiesContinueThePreviousDirection) {
  // From (0,0) the first move goes to (1,0); then (2,0) and (1,1) are both 1
  // away: the one straight ahead wins.
  Points p({{1, 1.0005}, {2, 0}, {1, 0}});
  p.list->optimizer->type = kLpoNearest;
  lpoOrderListOptimize(p.list);
  EXPECT_EQ(p.order(), (std::vector<int>{2, 1, 0}));
}

TEST(PathOptimizerTest, PointsOnACircleAreVisitedAroundIt) {
  std::vector<std::pair<double, double>> pts;
  // Entered in a scrambled order.
  for (int k : {3, 7, 1, 9, 5, 0, 8, 2, 6, 4}) {
    const double a = 2 * std::numbers::pi * k / 10;
    pts.push_back({10 + 10 * std::cos(a), 10 * std::sin(a)});
  }
  Points p(pts);
  lpoOrderListOptimize(p.list);
  // Around the circle from the point nearest to the start (0, 0): angle 5
  // is (0, 0).
  const std::vector<int> order = p.order();
  ASSERT_EQ(order.size(), 10u);
  EXPECT_EQ(order[0], 4);  // angle index 5
  const double side = 2 * 10 * std::sin(std::numbers::pi / 10);
  EXPECT_NEAR(p.list->optimizer->length, 9 * side, 1e-9);
}

TEST(PathOptimizerTest, NoStrategyMakesTheTourLonger) {
  std::mt19937 rng(20261210);
  std::uniform_real_distribution<double> u(0, 100);
  for (int trial = 0; trial < 20; ++trial) {
    const int n = 2 + trial % 9;
    std::vector<double> xs;
    for (int i = 0; i < 4 * n; ++i) xs.push_back(u(rng));
    for (int type : {2, 3, 7, 8, 101, 102, 103, 104, 0}) {
      LPathOptimizer* opt = lpoCreate(&StandardLPathOptimizer, "t");
      for (int i = 0; i < n; ++i) {
        lpoAddSegment(opt, xs[4 * i], xs[4 * i + 1], 0, xs[4 * i + 2], xs[4 * i + 3], 0);
      }
      lpoSetStart(opt, 0, 0, 0);
      opt->type = type;
      const double before = lpoTourLength(opt);
      lpoOptimize(opt);
      const double after = lpoTourLength(opt);
      EXPECT_LE(after, before + 1e-9) << "type " << type << " n " << n;
      // Still a permutation.
      std::vector<int> seen(static_cast<size_t>(n), 0);
      for (int k = 0; k < n; ++k) ++seen[static_cast<size_t>(opt->order[k])];
      for (int c : seen) EXPECT_EQ(c, 1);
      lpoFree(opt);
    }
  }
}

TEST(PathOptimizerTest, EnumerationFindsATourOfSmallSets) {
  LPathOptimizer* opt = lpoCreate(&StandardLPathOptimizer, nullptr);
  const double pts[][2] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {5, 5}};
  for (const auto& p : pts) lpoAddSegment(opt, p[0], p[1], 0, p[0], p[1], 0);
  opt->type = kLpoEnumeration;
  lpoOptimize(opt);
  std::vector<int> seen(5, 0);
  for (int k = 0; k < 5; ++k) ++seen[static_cast<size_t>(opt->order[k])];
  for (int c : seen) EXPECT_EQ(c, 1);
  lpoFree(opt);
}

TEST(PathOptimizerTest, KfyDumpOfTwoSegments) {
  LPathOptimizer* opt = lpoCreate(&StandardLPathOptimizer, "DLO");
  lpoAddSegment(opt, 2, 0, 0, 1, 0, 0);
  lpoAddSegment(opt, 4, 1, 0, 3, 1, 0);
  lpoSetStart(opt, 0, 0, 0);
  lpoTourLength(opt);
  tsupport::TempDir dir;
  const std::string path = dir.file("dump.kfy");
  std::FILE* f = std::fopen(path.c_str(), "w");
  lpoWriteKfy(opt, f, 1);
  std::fclose(f);
  std::string text;
  f = std::fopen(path.c_str(), "r");
  for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(f);
  EXPECT_EQ(text,
            "vminX(0)\nvmaxX(4)\nvminY(0)\nvmaxY(1)\n\n"
            "oContour[START]( )\n{\n"
            "  oM( x[/-0.02] y[/0.02] )\n"
            "  oL( y[/-0.02] fg[12] )\n"
            "  oL( x[/0.02] )\n"
            "  oL( y[/0.02] )\n"
            "  oL( x[/-0.02] )\n"
            "}\n\n"
            "oContour[DLO]( n[2] l[1.414214] sp[0/0/0] )\n{\n"
            "  oL[1]( x[1/2] y[0/0] z[0/0] fg[10] )\n"
            "  oL[2]( x[3/4] y[1/1] z[0/0] fg[10] )\n"
            "}\n\n"
            "oContour[con-DLO]( )\n{\n"
            "  oL[0]( x[0/1] y[0/0] z[0/0] fg[8] )\n"
            "  oL[1]( x[2/3] y[0/1] z[0/0] fg[8] )\n"
            "}\n\n");
  lpoFree(opt);
}

}  // namespace
