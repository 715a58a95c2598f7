#include "model/collision/stock_model.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "model/collision/tool_axis_collision.h"
#include "model/contact/contact_settings.h"
#include "support/temp_dir.h"
#include "support/test_models.h"

namespace {

using testmodels::TestModel;

// The stock: a box 40 x 40 x 10 on z = 0; the tool a ball of radius 2.
std::vector<Tri> stockBox() { return testmodels::box({-20, -20, 0}, {20, 20, 10}); }

// A straight path along x at height z from x0 to x1 in steps of 1, with the
// parameter equal to x (descending: reversed), optionally with axes.
Pline* linePath(double x0, double x1, double z, int withAxes, bool descending = false) {
  const int n = static_cast<int>(std::lround(x1 - x0)) + 1;
  Pline* pl = plineNew(n, withAxes);
  for (int i = 0; i < n; ++i) {
    const double x = descending ? x1 - i : x0 + i;
    const Vec3d p{x, 0.0, z};
    const Vec3d up{0.0, 0.0, 1.0};
    plineAppend(pl, x, &p, pointStatusMake(kPointKindContact, kPointCut), &up, 0);
  }
  return pl;
}

std::string codes(const Pline* pl) {
  std::string s;
  for (int i = 0; i < pl->count; ++i) s += static_cast<char>('0' + pointStatusCode(pl->status[i]));
  return s;
}

TEST(StockMarking, APathAboveTheStockBecomesGapsEndToEnd) {
  TestModel stock(stockBox(), kModelKindFacets, testmodels::ballTool(2));
  Pline* pl = linePath(-30, 30, 15, 0);
  EXPECT_EQ(stockMarkAirPoints(pl, stock.model(), 0, 0), 1);
  EXPECT_EQ(codes(pl), std::string(61, '2'));
  plineFree(pl);
}

TEST(StockMarking, PointsThatDoNotTouchTheStockBecomeGapsAndGapsStay) {
  for (const int kind : {kModelKindFacets, kModelKindTriangles}) {
    TestModel stock(stockBox(), kind, testmodels::ballTool(2));
    Pline* pl = linePath(-30, 30, 5, 0);
    pl->status[30] = pointStatusMake(0, kPointGap);  // x = 0: a gap already
    EXPECT_EQ(stockMarkAirPoints(pl, stock.model(), 0, 0), 1);
    // The ball reaches the box side from x = -22 + 2 on (exactly 2 away is
    // out of reach): air up to -22 and from 22 on.
    const std::string expected = std::string(9, '2') + std::string(21, '0') + "2" +
                                 std::string(21, '0') + std::string(9, '2');
    EXPECT_EQ(codes(pl), expected) << kind;
    plineFree(pl);
  }
}

TEST(StockMarking, APathInsideTheStockHasNoAirPoints) {
  TestModel stock(stockBox(), kModelKindFacets, testmodels::ballTool(2));
  Pline* pl = linePath(-10, 10, 5, 1);
  EXPECT_EQ(stockMarkAirPoints(pl, stock.model(), 1, 0), 0);
  EXPECT_EQ(codes(pl), std::string(21, '0'));
  plineFree(pl);
}

TEST(StockMarking, RefinementInsertsOneCuttingPointAtEachChange) {
  TestModel stock(stockBox(), kModelKindFacets, testmodels::ballTool(2));
  Pline* pl = linePath(-30, 30, 5, 1);
  EXPECT_EQ(stockMarkAirPoints(pl, stock.model(), 1, 1), 1);
  ASSERT_EQ(pl->count, 63);
  EXPECT_EQ(codes(pl), std::string(9, '2') + std::string(45, '0') + std::string(9, '2'));
  // The change points lie within the stock tolerance on the touching side of
  // the exact change at x = -22 and x = 22; the air points around stay gaps.
  EXPECT_EQ(pointStatusCode(pl->status[8]), kPointGap);
  EXPECT_EQ(pointStatusCode(pl->status[9]), kPointCut);
  EXPECT_GT(pl->points[9].x, -22.0);
  EXPECT_LE(pl->points[9].x, -22.0 + stock.model()->minStep);
  EXPECT_EQ(pointStatusCode(pl->status[10]), kPointCut);
  EXPECT_EQ(pl->points[10].x, -21.0);
  EXPECT_EQ(pointStatusCode(pl->status[52]), kPointCut);
  EXPECT_LT(pl->points[53].x, 22.0);
  EXPECT_GE(pl->points[53].x, 22.0 - stock.model()->minStep);
  EXPECT_EQ(pointStatusCode(pl->status[53]), kPointCut);
  EXPECT_EQ(pointStatusCode(pl->status[54]), kPointGap);
  EXPECT_EQ(pl->points[54].x, 22.0);
  plineFree(pl);
}

TEST(StockMarking, APathWithoutAxesIsMarkedButNotRefined) {
  TestModel stock(stockBox(), kModelKindFacets, testmodels::ballTool(2));
  Pline* pl = linePath(-30, 30, 5, 0);
  EXPECT_EQ(stockMarkAirPoints(pl, stock.model(), 1, 1), 1);
  EXPECT_EQ(pl->count, 61);
  EXPECT_EQ(codes(pl), std::string(9, '2') + std::string(43, '0') + std::string(9, '2'));
  plineFree(pl);
}

TEST(StockMarking, AReversedPathIsMarkedAndGetsNoChangePoints) {
  TestModel stock(stockBox(), kModelKindFacets, testmodels::ballTool(2));
  Pline* pl = linePath(-30, 30, 5, 1, true);
  EXPECT_EQ(stockMarkAirPoints(pl, stock.model(), 1, 0), 1);
  EXPECT_EQ(pl->count, 61);
  EXPECT_EQ(codes(pl), std::string(9, '2') + std::string(43, '0') + std::string(9, '2'));
  plineFree(pl);
}

TEST(StockMarking, LeavesTheStockModeAndTheContactSelectionAsItFoundThem) {
  TestModel stock(stockBox(), kModelKindFacets, testmodels::ballTool(2));
  contactSettingsReset();
  collToolAxisReset();
  ContactContext before;
  contactContextLoad(&before);
  Pline* pl = linePath(-30, 30, 5, 1);
  stockMarkAirPoints(pl, stock.model(), 1, 0);
  ContactContext after;
  contactContextLoad(&after);
  EXPECT_EQ(collToolAxisStockMode(), 0);
  EXPECT_EQ(after.facets, before.facets);
  EXPECT_EQ(after.facetCount, before.facetCount);
  EXPECT_EQ(after.triangles, before.triangles);
  EXPECT_EQ(after.minCorners, before.minCorners);
  EXPECT_EQ(after.candidates, before.candidates);
  EXPECT_EQ(after.zFloor, before.zFloor);
  EXPECT_EQ(after.zTop, before.zTop);
  EXPECT_EQ(after.keepUntouched, before.keepUntouched);
  plineFree(pl);
}

// Everything the marking leaves in a path, for comparisons.
struct PathImage {
  std::vector<Vec3d> points;
  std::vector<int> status;
  bool operator==(const PathImage& o) const {
    if (status != o.status || points.size() != o.points.size()) return false;
    for (size_t i = 0; i < points.size(); ++i) {
      if (points[i].x != o.points[i].x || points[i].y != o.points[i].y ||
          points[i].z != o.points[i].z) {
        return false;
      }
    }
    return true;
  }
};

PathImage markOnce(const ModelRec* stock, int threads) {
  omp_set_num_threads(threads);
  // A wavy path over and through the stock.
  Pline* pl = plineNew(0, 1);
  for (int i = 0; i <= 400; ++i) {
    const double x = -30 + 0.15 * i;
    const Vec3d p{x, 3 * std::sin(0.2 * i), 9 + 4 * std::sin(0.05 * i)};
    const Vec3d axis{0.2 * std::sin(0.1 * i), 0.0, 1.0};
    plineAppend(pl, x, &p, pointStatusMake(kPointKindContact, kPointCut), &axis, 0);
  }
  stockMarkAirPoints(pl, stock, 1, 1);
  PathImage img;
  for (int i = 0; i < pl->count; ++i) {
    img.points.push_back(pl->points[i]);
    img.status.push_back(pl->status[i]);
  }
  plineFree(pl);
  return img;
}

TEST(StockMarking, SameResultWithOneOrEightThreadsAndInASecondRun) {
  TestModel stock(stockBox(), kModelKindFacets, testmodels::ballTool(2));
  const int saved = omp_get_max_threads();
  const PathImage one = markOnce(stock.model(), 1);
  const PathImage eight = markOnce(stock.model(), 8);
  const PathImage again = markOnce(stock.model(), 8);
  omp_set_num_threads(saved);
  EXPECT_TRUE(one == eight);
  EXPECT_TRUE(one == again);
  int gaps = 0;
  for (const int s : one.status) gaps += pointStatusCode(s) == kPointGap;
  EXPECT_GT(gaps, 20);
  EXPECT_LT(gaps, 380);
}

TEST(StockMarking, AStockWithAGridMarksAsOneWithout) {
  const std::vector<Tri> tris = testmodels::hemisphereOnPlate(15, 8, 24, 25, 8);
  TestModel plain(tris, kModelKindFacets, testmodels::ballTool(2));
  TestModel gridded(tris, kModelKindFacets, testmodels::ballTool(2));
  gridded.buildGrid();
  ASSERT_NE(gridded.model()->grid, nullptr);
  for (const double z : {1.0, 8.0, 14.0, 18.0}) {
    Pline* a = linePath(-30, 30, z, 1);
    Pline* b = linePath(-30, 30, z, 1);
    for (int i = 0; i < a->count; ++i) {
      a->points[i].y = b->points[i].y = 0.37 * i - 11.0;
    }
    stockMarkAirPoints(a, plain.model(), 1, 0);
    stockMarkAirPoints(b, gridded.model(), 1, 0);
    EXPECT_EQ(codes(a), codes(b)) << z;
    ASSERT_EQ(a->count, b->count);
    for (int i = 0; i < a->count; ++i) EXPECT_EQ(a->points[i].x, b->points[i].x);
    plineFree(a);
    plineFree(b);
  }
}

// Writes tris as an ASCII STL file.
void writeStl(const std::string& path, const std::vector<Tri>& tris) {
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "solid stock\n");
  for (const Tri& t : tris) {
    std::fprintf(f, " facet normal 0 0 0\n  outer loop\n");
    for (const Vec3d& v : t.v) std::fprintf(f, "   vertex %.9g %.9g %.9g\n", v.x, v.y, v.z);
    std::fprintf(f, "  endloop\n endfacet\n");
  }
  std::fprintf(f, "endsolid stock\n");
  std::fclose(f);
}

TEST(StockModel, LoadsIntoACopyAndLeavesTheModelAndItsGroupsAlone) {
  tsupport::TempDir dir;
  writeStl(dir.file("stock.stl"), stockBox());
  for (const int kind : {kModelKindFacets, kModelKindTriangles}) {
    TestModel part(testmodels::plateWithWall(40, 4, 5, 8, 12), kind, testmodels::ballTool(2));
    SurfaceGroup* group = part.addGroup(testmodels::box({-5, -5, 0}, {5, 5, 3}), 0.5, 1);
    ASSERT_NE(group, nullptr);
    const Facet* facets = part.model()->facets;
    const TriList* tris = part.model()->triangles;
    ModelRec* stock = stockLoadModel(dir.file("stock.stl").c_str(), part.model());
    ASSERT_NE(stock, nullptr) << kind;
    EXPECT_EQ(stock->groups, nullptr);
    EXPECT_NE(stock->grid, nullptr);
    EXPECT_EQ(stock->boxMax.z, 10.0);
    EXPECT_NE(stock->tool, part.model()->tool);
    EXPECT_EQ(stock->tool->radius, 2.0);
    // The model keeps its surfaces and its group.
    EXPECT_EQ(part.model()->facets, facets);
    EXPECT_EQ(part.model()->triangles, tris);
    ASSERT_EQ(part.model()->groups, group);
    EXPECT_EQ(group->boxMax.z, 3.0);
    Pline* pl = linePath(-30, 30, 5, 0);
    EXPECT_EQ(stockMarkAirPoints(pl, stock, 0, 0), 1);
    EXPECT_EQ(codes(pl), std::string(9, '2') + std::string(43, '0') + std::string(9, '2'));
    plineFree(pl);
    stockFreeModel(stock);
  }
}

TEST(StockModel, AFileThatDoesNotLoadGivesNullAndLeavesTheModelWhole) {
  tsupport::TempDir dir;
  for (const int kind : {kModelKindFacets, kModelKindTriangles}) {
    TestModel part(testmodels::plateWithWall(40, 4, 5, 8, 12), kind, testmodels::ballTool(2));
    part.addGroup(testmodels::box({-5, -5, 0}, {5, 5, 3}), 0.5, 1);
    EXPECT_EQ(stockLoadModel(dir.file("missing.stl").c_str(), part.model()), nullptr);
    EXPECT_EQ(modelIsEmpty(part.model()), 0);
    ASSERT_NE(part.model()->groups, nullptr);
    EXPECT_EQ(part.model()->groups->boxMax.z, 3.0);
  }
}

TEST(StockModel, ResetClearsTheActiveFlag) {
  stockSetActive(1);
  EXPECT_EQ(stockActive(), 1);
  stockReset();
  EXPECT_EQ(stockActive(), 0);
}

}  // namespace
