#include "model/mesh/model_grid.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "model/contact/contact_settings.h"
#include "model/mesh/facet_test_model.h"

namespace {

using model_test::FacetTestModel;
using model_test::toolShape;

Facet tri(Vec3d a, Vec3d b, Vec3d c) { return Facet{0, {a, b, c, c}}; }

// A horizontal triangle whose xy box is (x0, y0)..(x1, y1).
Facet flatTri(double x0, double y0, double x1, double y1, double z = 0) {
  return tri({x0, y0, z}, {x1, y0, z}, {x1, y1, z});
}

struct DimsRow {
  const char* name;
  double dx, dy;
  int rows, cols;
};

class ModelGridDims : public ::testing::TestWithParam<DimsRow> {};

TEST_P(ModelGridDims, FourHundredCellRule) {
  const DimsRow& row = GetParam();
  FacetTestModel m({flatTri(0, 0, row.dx, row.dy)});
  ASSERT_EQ(modelBuildGrids(&m.rec), 1);
  ASSERT_NE(m.rec.grid, nullptr);
  EXPECT_EQ(m.rec.grid->rows, row.rows);
  EXPECT_EQ(m.rec.grid->cols, row.cols);
  // Every cell of the grid holds the one item (its box covers the grid).
  for (double x : {-5.0, 0.0, row.dx / 2, row.dx, row.dx + 5}) {
    for (double y : {-5.0, 0.0, row.dy / 2, row.dy, row.dy + 5}) {
      const GridCell* cell = modelGridCellAt(m.rec.grid, x, y);
      ASSERT_NE(cell, nullptr);
      EXPECT_EQ(cell->count, 1);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ModelGridDims,
                         ::testing::Values(DimsRow{"Square", 10, 10, 21, 22},
                                           DimsRow{"WideAndShallow", 1000, 1, 1, 501},
                                           DimsRow{"NoDepth", 100, 0, 2, 203},
                                           DimsRow{"NoWidth", 0, 100, 201, 2},
                                           DimsRow{"Point", 0, 0, 21, 22}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ModelGridTest, WallWithoutDepthFindsItsItems) {
  // A vertical wall along x: the box has no y extent, so cells have no height.
  FacetTestModel m({tri({0, 5, 0}, {10, 5, 0}, {10, 5, 3}), tri({0, 5, 0}, {10, 5, 3}, {0, 5, 3})});
  ASSERT_EQ(modelBuildGrids(&m.rec), 1);
  EXPECT_EQ(m.rec.grid->cellHeight, 0);
  EXPECT_EQ(modelGridCellAt(m.rec.grid, 5, 5)->count, 2);
  EXPECT_EQ(modelGridCellAt(m.rec.grid, 5, 1e300)->count, 2);
  EXPECT_EQ(modelGridCellAt(m.rec.grid, std::nan(""), std::nan(""))->count, 2);
}

TEST(ModelGridTest, OutsideItemsAndPointsClampToBorder) {
  ModelGrid* g = modelGridNew(4, 5, 2);
  ASSERT_NE(g, nullptr);
  const Vec3d boxMin{0, 0, 0};
  const Vec3d boxMax{10, 8, 0};
  // Item 0 lies wholly left of the grid; item 1 inside the top right cell.
  const Vec3d lo[2] = {{-30, 3, 0}, {9, 7, 0}};
  const Vec3d hi[2] = {{-20, 3.5, 0}, {9.5, 7.5, 0}};
  ASSERT_EQ(modelGridFill(g, 2, &boxMin, &boxMax, lo, hi, 0.1), 1);
  EXPECT_EQ(g->cells[1][0].count, 1);
  EXPECT_EQ(g->cells[1][0].items[0], 0);
  EXPECT_EQ(g->cells[1][1].count, 0);
  EXPECT_EQ(modelGridCellAt(g, -1e9, 1e9), &g->cells[3][0]);
  EXPECT_EQ(modelGridCellAt(g, 1e9, -1e9), &g->cells[0][4]);
  EXPECT_EQ(modelGridCellAt(g, 9.2, 7.2)->items[0], 1);
  EXPECT_EQ(modelGridCellAt(nullptr, 0, 0), nullptr);
  EXPECT_EQ(modelGridNew(0, 3, 1), nullptr);
  modelGridFree(g);
  modelGridFree(nullptr);
}

// The engines read a null list as "walk every surface": an empty cell must
// come back as an empty list that is not null, only a missing grid as null.
TEST(ModelGridTest, CellItemsOfAnEmptyCellAreNeverTheWalkAllList) {
  ModelGrid* g = modelGridNew(2, 2, 0);
  ASSERT_NE(g, nullptr);
  const int* items = nullptr;
  int count = -1;
  modelGridCellItems(g, 0.0, 0.0, &items, &count);
  EXPECT_NE(items, nullptr);
  EXPECT_EQ(count, 0);
  const Vec3d boxMin{0, 0, 0};
  const Vec3d boxMax{2, 2, 0};
  const Vec3d lo{1.5, 1.5, 0};
  const Vec3d hi{1.8, 1.8, 0};
  ASSERT_EQ(modelGridFill(g, 1, &boxMin, &boxMax, &lo, &hi, 0.0), 1);
  modelGridCellItems(g, 1.7, 1.7, &items, &count);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(items[0], 0);
  modelGridCellItems(nullptr, 1.7, 1.7, &items, &count);
  EXPECT_EQ(items, nullptr);
  EXPECT_EQ(count, 0);
  modelGridFree(g);
}

TEST(ModelGridTest, CellsGrowBeyondTheirFirstCapacity) {
  std::vector<Facet> many;
  for (int i = 0; i < 300; ++i) many.push_back(flatTri(0, 0, 1, 1, i));
  FacetTestModel m(many);
  ASSERT_EQ(modelBuildGrids(&m.rec), 1);
  const GridCell* cell = modelGridCellAt(m.rec.grid, 0.5, 0.5);
  ASSERT_EQ(cell->count, 300);
  for (int i = 1; i < cell->count; ++i) ASSERT_LT(cell->items[i - 1], cell->items[i]);
}

// A grid of many items is built by several threads in bands of rows; every
// cell must list the same items in the same ascending order as one thread
// lists them, whatever the team.
TEST(ModelGridTest, GridsOfManyItemsAreTheSameForAnyTeam) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<double> pos(0, 100), size(0, 6);
  const int n = 40000;
  std::vector<Vec3d> lo(n), hi(n);
  for (int i = 0; i < n; ++i) {
    lo[i] = {pos(rng), pos(rng), 0};
    hi[i] = {lo[i].x + size(rng), lo[i].y + size(rng), 1};
  }
  const Vec3d boxMin{0, 0, 0}, boxMax{106, 106, 1};
  const int saved = omp_get_max_threads();
  std::vector<std::vector<int32_t>> reference;
  for (const int threads : {1, 3, 8}) {
    omp_set_num_threads(threads);
    ModelGrid* g = modelGridBuild(37, 53, n, &boxMin, &boxMax, lo.data(), hi.data(), 0.7);
    ASSERT_NE(g, nullptr);
    std::vector<std::vector<int32_t>> cells;
    for (int r = 0; r < g->rows; ++r) {
      for (int c = 0; c < g->cols; ++c) {
        const GridCell& cell = g->cells[r][c];
        cells.emplace_back(cell.items, cell.items + cell.count);
        ASSERT_TRUE(std::is_sorted(cells.back().begin(), cells.back().end()));
      }
    }
    modelGridFree(g);
    if (reference.empty()) reference = cells;
    EXPECT_EQ(cells, reference) << threads << " threads";
  }
  omp_set_num_threads(saved);
}

// Random boxes: for every grid (the 400-cell rule, fine cells, very fine
// cells) the items of a point's cell whose grown box holds the point are
// exactly those of a brute-force test, in ascending (top-z) order.
TEST(ModelGridTest, AnyGridGivesTheSameCandidatesInOrder) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> pos(0, 100);
  std::uniform_real_distribution<double> size(0, 8);
  std::vector<Facet> facets;
  for (int i = 0; i < 400; ++i) {
    const double x = pos(rng), y = pos(rng);
    facets.push_back(flatTri(x, y, x + size(rng), y + size(rng), pos(rng)));
  }
  FacetTestModel m(facets, 3.0);
  const double margin = modelGridToolMargin(m.rec.tool);
  std::vector<std::pair<double, double>> probes;
  for (int k = 0; k < 500; ++k) probes.emplace_back(pos(rng) * 1.2 - 10, pos(rng) * 1.2 - 10);
  for (const double cellSize : {0.0, 6.0, 0.7}) {
    ASSERT_EQ(modelBuildGridsSized(&m.rec, cellSize), 1);
    const ModelGrid* g = m.rec.grid;
    for (const auto& [x, y] : probes) {
      std::vector<int> brute;
      for (int i = 0; i < m.rec.facetCount; ++i) {
        const Vec3d& lo = m.rec.minCorners[i];
        const Vec3d& hi = m.rec.maxCorners[i];
        if (x >= lo.x - margin && x <= hi.x + margin && y >= lo.y - margin && y <= hi.y + margin) {
          brute.push_back(i);
        }
      }
      std::vector<int> fromCell;
      const GridCell* cell = modelGridCellAt(g, x, y);
      for (int j = 0; j < cell->count; ++j) {
        const int i = cell->items[j];
        if (j > 0) {
          ASSERT_LT(cell->items[j - 1], i);
        }
        const Vec3d& lo = m.rec.minCorners[i];
        const Vec3d& hi = m.rec.maxCorners[i];
        if (x >= lo.x - margin && x <= hi.x + margin && y >= lo.y - margin && y <= hi.y + margin) {
          fromCell.push_back(i);
        }
      }
      ASSERT_EQ(fromCell, brute) << "cell size " << cellSize << " at " << x << "," << y;
    }
  }
}

TEST(ModelGridTest, SizedGridIsFinerAndBounded) {
  FacetTestModel m({flatTri(0, 0, 100, 50)});
  ASSERT_EQ(modelBuildGridsSized(&m.rec, 10), 1);
  // One item allows kModelGridCells cells: 11 x 6 fit.
  EXPECT_EQ(m.rec.grid->cols, 11);
  EXPECT_EQ(m.rec.grid->rows, 6);
  ASSERT_EQ(modelBuildGridsSized(&m.rec, 0.001), 1);
  EXPECT_LE(m.rec.grid->rows * m.rec.grid->cols, kModelGridCells);
  EXPECT_EQ(modelGridFill(m.rec.grid, 0, &m.rec.boxMin, &m.rec.boxMax, nullptr, nullptr, 0), -1);
}

struct MarginRow {
  const char* name;
  ToolShape tool;
  double margin;
};

class ModelGridMargin : public ::testing::TestWithParam<MarginRow> {};

TEST_P(ModelGridMargin, RadiusConeAndShank) {
  EXPECT_NEAR(modelGridToolMargin(&GetParam().tool), GetParam().margin, 1e-7);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ModelGridMargin,
    ::testing::Values(MarginRow{"Radius", toolShape(kToolBall, 5, 5, 4, 30, 0, 10), 5},
                      MarginRow{"HalfShankWins", toolShape(kToolFlat, 2, 0, 12, 30, 0, 0), 6},
                      // Cone from the tip sphere up to the tool length.
                      MarginRow{"TaperedBall", toolShape(kToolBall, 5, 5, 4, 30, 1, 10),
                                10.3669425},
                      MarginRow{"TaperedFlat", toolShape(kToolFlat, 2, 0, 0, 10, 1, 45), 12}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ModelGridTest, GroupsGetTheirOwnToolMargin) {
  FacetTestModel m({flatTri(0, 0, 10, 10)});
  SurfaceGroup* g = surfaceGroupNew(&m.rec, 0.0, 0, kModelKindFacets, 0, 1);
  ASSERT_NE(g, nullptr);
  g->facets[0] = flatTri(50, 0, 60, 10);
  g->facetCount = 1;
  modelFacetCorners(g->facets, 1, g->minCorners, g->maxCorners);
  g->boxMin = g->minCorners[0];
  g->boxMax = g->maxCorners[0];
  g->tool.radius = 4;
  modelAppendGroup(&m.rec, g);
  SurfaceGroup* empty = surfaceGroupNew(&m.rec, 0.0, 0, kModelKindFacets, 0, 1);
  modelAppendGroup(&m.rec, empty);
  ASSERT_EQ(modelBuildGrids(&m.rec), 1);
  ASSERT_NE(g->grid, nullptr);
  EXPECT_EQ(empty->grid, nullptr);
  EXPECT_EQ(modelGridCellAt(g->grid, 46.5, 5)->count, 1);  // within the group tool's 4
  // The grid of a group built while loading aims at 30 cells.
  ASSERT_EQ(surfaceGroupBuildLoadGrid(g), 1);
  EXPECT_EQ(g->grid->rows, 6);
  EXPECT_EQ(g->grid->cols, 7);
}

// The grids leave the process-wide cone at the model's tool, also when a
// tapered group was built after it.
TEST(ModelGridTest, ConeEndsAtTheModelTool) {
  FacetTestModel m({flatTri(0, 0, 10, 10)}, 5);
  m.tool.taperOn = 1;
  m.tool.taperAngle = 10;
  m.tool.length = 30;
  SurfaceGroup* g = surfaceGroupNew(&m.rec, 0.0, 0, kModelKindFacets, 0, 1);
  g->facets[0] = flatTri(0, 0, 10, 10);
  g->facetCount = 1;
  modelFacetCorners(g->facets, 1, g->minCorners, g->maxCorners);
  g->boxMin = g->minCorners[0];
  g->boxMax = g->maxCorners[0];
  g->tool.taperAngle = 20;
  modelAppendGroup(&m.rec, g);
  ASSERT_EQ(modelBuildGrids(&m.rec), 1);
  EXPECT_NEAR(toolShapeGetCone()->growth, 5.3669425, 1e-7);
  EXPECT_EQ(toolShapeGetCone()->taperAngle, 10);
  contactSettingsReset();
}

struct HolderRow {
  const char* name;
  double length, angle, radius;
  int cols;
};

class HolderGrid : public ::testing::TestWithParam<HolderRow> {};

// A model 100 wide and 10 deep; cells about 2 x reach.
TEST_P(HolderGrid, CellsFromReach) {
  const HolderRow& row = GetParam();
  FacetTestModel m({flatTri(0, 0, 100, 10)}, row.radius);
  ModelGrid* g = holderClearanceGrid(&m.rec, row.length, row.angle);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->cols, row.cols);
  EXPECT_EQ(modelGridCellAt(g, 50, 5)->count, 1);
  modelGridFree(g);
}

INSTANTIATE_TEST_SUITE_P(Table, HolderGrid,
                         ::testing::Values(
                             // Angle 0 counts as 0.001 rad: reach 10000 sin(0.001), about 10.
                             HolderRow{"ZeroAngleUsesMinimum", 10000, 0, 0, 6},
                             HolderRow{"SmallAngleKept", 10000, 0.00001, 0, 30},
                             HolderRow{"RadiusOnly", 0, 0.5, 10, 6},
                             // No reach at all: the cell size is 0 and the side limit holds.
                             HolderRow{"NoReach", 0, 0.5, 0, 30}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HolderGridTest, TaperAddsToTheAngleAndEmptyModelGivesNull) {
  FacetTestModel m({flatTri(0, 0, 100, 10)}, 0);
  m.tool.taperOn = 1;
  m.tool.taperAngle = 90;  // with any angle: capped at a right angle
  ModelGrid* g = holderClearanceGrid(&m.rec, 10, 0.3);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->cols, 6);  // reach 10: cells of 20
  modelGridFree(g);
  ModelRec empty{};
  modelInit(&empty, kModelKindFacets);
  empty.tool = &m.tool;
  EXPECT_EQ(holderClearanceGrid(&empty, 10, 0.3), nullptr);
}

TEST(DiagonalExtentsTest, BuildReplaceAndFree) {
  EXPECT_EQ(modelDiagonalBoxesOn(), 0);
  modelSetDiagonalBoxes(1);
  EXPECT_EQ(modelDiagonalBoxesOn(), 1);
  modelSetDiagonalBoxes(0);
  const Facet f[2] = {flatTri(0, 0, 1, 1), flatTri(2, 0, 3, 2)};
  ASSERT_EQ(modelBuildDiagonalExtents(f, 2), 1);
  const double c = kModelDiagCos;
  EXPECT_DOUBLE_EQ(diagMin[0], 0);      // x - y at (0, 0) and (1, 1)
  EXPECT_DOUBLE_EQ(diagMax[0], c);      // x - y at (1, 0)
  EXPECT_DOUBLE_EQ(diagMax[1], 2 * c);  // x + y at (1, 1)
  EXPECT_DOUBLE_EQ(diagMax[2], 3 * c);  // x - y at (3, 0)
  EXPECT_DOUBLE_EQ(diagMin[3], 2 * c);  // x + y at (2, 0)
  ASSERT_EQ(modelBuildDiagonalExtents(f, 1), 1);
  modelFreeDiagonalExtents();
  EXPECT_EQ(diagMin, nullptr);
  EXPECT_EQ(diagMax, nullptr);
}

}  // namespace

// How many of the listed items have a box within radius of (x, y) in plan.
template <class Index>
int itemsWithin(const ModelRec& model, const Index* items, int count, double x, double y,
                double radius) {
  int reached = 0;
  for (int j = 0; j < count; ++j) {
    const Vec3d& lo = model.minCorners[items[j]];
    const Vec3d& hi = model.maxCorners[items[j]];
    const double dx = std::max({lo.x - x, x - hi.x, 0.0});
    const double dy = std::max({lo.y - y, y - hi.y, 0.0});
    if (dx * dx + dy * dy <= radius * radius) ++reached;
  }
  return reached;
}

// The key order of a sized grid: per cell the same items, keys descending (a
// flat tool's items in reach in their own order, which the sorted items make
// descending too), and each key at least the height bound of its item from
// any point of the cell (else a walk that stops on the keys would miss a
// surface); the reach counts of the cell bound the items within the radius
// of every point of it.  Only the tool it was made for, and only points
// inside the grid's box, get them; a frustum gets none.
TEST(ModelGridTest, KeyOrderBoundsEveryItemFromEveryPointOfItsCell) {
  struct ToolRow {
    const char* name;
    int16_t type;
    double radius, corner;
    bool ordered;
  };
  const ToolRow rows[] = {{"ball", kToolBall, 3.0, 3.0, true},
                          {"torus", kToolTorus, 3.0, 1.0, true},
                          {"flat", kToolFlat, 3.0, 0.0, true},
                          {"frustum", kToolConeFrustum, 3.0, 0.0, false}};
  std::mt19937 rng(4321);
  std::uniform_real_distribution<double> pos(0, 50);
  std::uniform_real_distribution<double> size(0, 4);
  std::vector<Facet> facets;
  for (int i = 0; i < 300; ++i) {
    const double x = pos(rng), y = pos(rng);
    facets.push_back(flatTri(x, y, x + size(rng), y + size(rng), pos(rng) * 0.1));
  }
  for (const ToolRow& row : rows) {
    SCOPED_TRACE(row.name);
    FacetTestModel m(facets, row.radius);
    m.tool.type = row.type;
    m.tool.cornerRadius = row.corner;
    ASSERT_EQ(modelBuildGridsSized(&m.rec, 1.0), 1);
    const ModelGrid* g = m.rec.grid;
    const float* keys = nullptr;
    int count = -1;
    EXPECT_EQ(
        modelGridOrderAt(g, m.rec.boxMin.x - 1.0, m.rec.boxMin.y + 1.0, &m.tool, &keys, &count),
        nullptr);
    ToolShape other = m.tool;
    other.radius = 2.0;
    EXPECT_EQ(modelGridOrderAt(g, 20.0, 20.0, &other, &keys, &count), nullptr);
    int sure = -1, maybe = -1;
    EXPECT_FALSE(modelGridOrderReach(g, 20.0, 20.0, &other, &sure, &maybe));
    long sureSeen = 0;
    for (int k = 0; k < 300; ++k) {
      const double x = m.rec.boxMin.x + (m.rec.boxMax.x - m.rec.boxMin.x) * pos(rng) / 50.0;
      const double y = m.rec.boxMin.y + (m.rec.boxMax.y - m.rec.boxMin.y) * pos(rng) / 50.0;
      const int32_t* order = modelGridOrderAt(g, x, y, &m.tool, &keys, &count);
      if (!row.ordered) {
        ASSERT_EQ(order, nullptr);
        continue;
      }
      ASSERT_NE(order, nullptr) << x << "," << y;
      const GridCell* cell = modelGridCellAt(g, x, y);
      ASSERT_EQ(count, cell->count);
      std::vector<int> a(order, order + count), b(cell->items, cell->items + cell->count);
      std::sort(a.begin(), a.end());
      ASSERT_EQ(a, b);
      // The reach counts bound the items within the radius of the point.
      int sure = -1, maybe = -1;
      ASSERT_TRUE(modelGridOrderReach(g, x, y, &m.tool, &sure, &maybe));
      const int reached = itemsWithin(m.rec, order, count, x, y, row.radius);
      ASSERT_LE(sure, reached);
      ASSERT_GE(maybe, reached);
      sureSeen += sure;
      for (int j = 0; j < count; ++j) {
        if (j > 0) {
          ASSERT_GE(keys[j - 1], keys[j]);
          // A flat tool's items in reach keep their order.
          if (row.type == kToolFlat && keys[j] != -HUGE_VALF) {
            ASSERT_LT(order[j - 1], order[j]);
          }
        }
        const Vec3d& lo = m.rec.minCorners[order[j]];
        const Vec3d& hi = m.rec.maxCorners[order[j]];
        const double dx = std::max({lo.x - x, x - hi.x, 0.0});
        const double dy = std::max({lo.y - y, y - hi.y, 0.0});
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d > row.radius) continue;
        double lift = std::sqrt(row.radius * row.radius - d * d);
        if (row.type == kToolFlat) lift = 0.0;
        if (row.type == kToolTorus) {
          const double f = d - (row.radius - row.corner);
          lift = f <= 0.0 ? row.corner : std::sqrt(row.corner * row.corner - f * f);
        }
        ASSERT_GE(static_cast<double>(keys[j]), hi.z + lift) << "item " << order[j];
      }
    }
    if (row.ordered) {
      EXPECT_GT(sureSeen, 0);
    }
  }
}

// The planes of a sized grid: per item the first vertex and the cross
// product of the first triangle's edges with its horizontal and whole
// lengths; no bound (nz 0) for a wall or a sliver, and none made from the
// planes (nz NaN) for a facet of two triangles.
TEST(ModelGridTest, PlanesOfTheItems) {
  struct Row {
    const char* name;
    Facet facet;
    double nz;  // expected nz; NaN: not a number
  };
  const Row rows[] = {
      {"tilted", tri({0, 0, 0}, {2, 0, 1}, {0, 1, 0}), 2.0},
      {"wall", tri({0, 0, 0}, {1, 0, 0}, {0, 0, 1}), 0.0},
      {"sliver", tri({0, 0, 0}, {1, 0, 0}, {2, 1e-7, 0}), 0.0},
      {"quad", Facet{0, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}}, NAN},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FacetTestModel m({row.facet}, 3.0);
    ASSERT_EQ(modelBuildGridsSized(&m.rec, 1.0), 1);
    ASSERT_NE(m.rec.grid->planes, nullptr);
    const SurfacePlane& p = m.rec.grid->planes[0];
    if (std::isnan(row.nz)) {
      EXPECT_TRUE(std::isnan(p.nz));
      continue;
    }
    EXPECT_EQ(p.nz, row.nz);
    EXPECT_EQ(p.ax, row.facet.v[0].x);
    EXPECT_EQ(p.az, row.facet.v[0].z);
    if (row.nz != 0.0) {
      // (2, 0, 1) x (0, 1, 0) = (-1, 0, 2).
      EXPECT_EQ(p.nx, -1.0);
      EXPECT_EQ(p.ny, 0.0);
      EXPECT_EQ(p.hxy, 1.0);
      EXPECT_EQ(p.len, std::sqrt(5.0));
    }
  }
  // The grid of the 400-cell rule has none.
  FacetTestModel plain({rows[0].facet}, 3.0);
  ASSERT_EQ(modelBuildGrids(&plain.rec), 1);
  EXPECT_EQ(plain.rec.grid->planes, nullptr);
}

// The marks of a flat tool's order.  Level triangles of good shape are
// marked level-clear only where the drop's level box test passes at every
// point of the cell, so triangles placed a hair beyond a cell's edge stay
// unmarked in that cell; the same-top mark follows the max z of the slot
// before.  Other tools, and grids without planes, get no marks.
TEST(ModelGridTest, LevelSlotMarksHoldAtEveryPointOfTheirCell) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<double> pos(1, 49);
  std::uniform_real_distribution<double> size(0.2, 2);
  std::uniform_int_distribution<int> level(0, 3);
  std::vector<Facet> facets{flatTri(0, 0, 0.5, 0.5, 1), flatTri(49.5, 49.5, 50, 50, 1)};
  for (int i = 0; i < 400; ++i) {
    const double x = pos(rng), y = pos(rng), z = 0.25 * level(rng);
    if (i % 10 == 0) {
      facets.push_back(tri({x, y, z}, {x + 1, y, z}, {x + 2, y + 1e-6, z}));  // a sliver
    } else if (i % 10 == 1) {
      facets.push_back(tri({x, y, z}, {x + 1, y, z + 0.5}, {x, y + 1, z}));  // not level
    } else {
      facets.push_back(flatTri(x, y, x + size(rng), y + size(rng), z));
    }
  }
  // Triangles a hair beyond a cell's edge: their places come from a first
  // grid over the same box and count, which the second one repeats.
  const int hairs = 200;
  for (int i = 0; i < hairs; ++i) facets.push_back(flatTri(0, 0, 0.5, 0.5, 0));
  double minX, minY, width, height;
  {
    FacetTestModel first(facets, 3.0);
    first.tool.type = kToolFlat;
    ASSERT_EQ(modelBuildGridsSized(&first.rec, 1.0), 1);
    minX = first.rec.grid->minX;
    minY = first.rec.grid->minY;
    width = first.rec.grid->cellWidth;
    height = first.rec.grid->cellHeight;
  }
  std::uniform_int_distribution<int> line(5, 40);
  for (int i = 0; i < hairs; ++i) {
    const double hair = i % 2 == 0 ? 1e-9 : 1e-6;
    const double x = minX + line(rng) * width + hair;
    const double y = minY + line(rng) * height + hair;
    Facet& f = facets[facets.size() - hairs + static_cast<std::size_t>(i)];
    f = i % 4 < 2 ? flatTri(x, y, x + 0.7, y + 0.6, 0.5)
                  : flatTri(x - 0.7, y - 0.6, x - 2 * hair, y - 2 * hair, 0.5);
  }
  FacetTestModel m(facets, 3.0);
  m.tool.type = kToolFlat;
  ASSERT_EQ(modelBuildGridsSized(&m.rec, 1.0), 1);
  const ModelGrid* g = m.rec.grid;
  ASSERT_EQ(g->minX, minX);
  ASSERT_EQ(g->cellWidth, width);
  ASSERT_NE(g->orderSlotMarks, nullptr);
  long clear = 0, levelUnmarked = 0;
  std::uniform_real_distribution<double> unit(0, 1);
  for (int r = 0; r < g->rows; ++r) {
    for (int c = 0; c < g->cols; ++c) {
      const GridCell& cell = g->cells[r][c];
      const std::ptrdiff_t offset = cell.items - g->pool;
      const int32_t* order = g->orderItems + offset;
      const uint8_t* marks = g->orderSlotMarks + offset;
      const double x0 = g->minX + c * g->cellWidth, x1 = g->minX + (c + 1) * g->cellWidth;
      const double y0 = g->minY + r * g->cellHeight, y1 = g->minY + (r + 1) * g->cellHeight;
      std::vector<Vec2d> points{{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}};
      for (int k = 0; k < 4; ++k) {
        points.push_back({x0 + (x1 - x0) * unit(rng), y0 + (y1 - y0) * unit(rng)});
      }
      for (int k = 0; k < cell.count; ++k) {
        const int32_t i = order[k];
        const Vec3d& lo = m.rec.minCorners[i];
        const Vec3d& hi = m.rec.maxCorners[i];
        const bool sameTop = k > 0 && m.rec.maxCorners[order[k - 1]].z == hi.z;
        ASSERT_EQ((marks[k] & kGridSlotSameTop) != 0, sameTop) << "cell " << r << "," << c;
        if ((marks[k] & kGridSlotLevelClear) == 0) {
          levelUnmarked += g->levelShapes[i];
          continue;
        }
        ++clear;
        ASSERT_EQ(g->levelShapes[i], 1);
        ASSERT_EQ(lo.z, hi.z);
        for (const Vec2d& q : points) {
          ASSERT_TRUE(levelBoxCleared(lo, hi, q.x, q.y))
              << "item " << i << " at " << q.x << "," << q.y;
        }
      }
    }
  }
  EXPECT_GT(clear, 1000);
  EXPECT_GT(levelUnmarked, 100);
  // No marks for a ball's order, nor without planes.
  FacetTestModel ball(facets, 3.0);
  ASSERT_EQ(modelBuildGridsSized(&ball.rec, 1.0), 1);
  EXPECT_EQ(ball.rec.grid->orderSlotMarks, nullptr);
  EXPECT_EQ(modelGridLevelSlots(ball.rec.grid, ball.rec.minCorners, ball.rec.maxCorners), 0);
  FacetTestModel plain(facets, 3.0);
  plain.tool.type = kToolFlat;
  ASSERT_EQ(modelBuildGrids(&plain.rec), 1);
  EXPECT_EQ(plain.rec.grid->orderSlotMarks, nullptr);
}

// A mesh so fine that the items within the radius of a point number about
// kModelGridReachSplit: the cells whose reach counts straddle that number
// count per sub-cell, and those counts still bound the items reached from
// every point of the sub-cell, closer than the cell's own.
TEST(ModelGridTest, SubCellReachCountsBoundTheItemsReached) {
  std::vector<Facet> facets;
  const int n = 110;  // n x n squares of two triangles over 10 x 10
  const double s = 10.0 / n;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const Vec3d a{i * s, j * s, 0.0}, b{(i + 1) * s, j * s, 0.0};
      const Vec3d c{(i + 1) * s, (j + 1) * s, 0.0}, d{i * s, (j + 1) * s, 0.0};
      facets.push_back(tri(a, b, c));
      facets.push_back(tri(a, c, d));
    }
  }
  FacetTestModel m(facets, 3.0);
  ASSERT_EQ(modelBuildGridsSized(&m.rec, 1.0), 1);
  const ModelGrid* g = m.rec.grid;
  ASSERT_NE(g->orderSubIndex, nullptr);
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> pos(0.0, 10.0);
  int straddling = 0, settled = 0;
  for (int k = 0; k < 400; ++k) {
    const double x = pos(rng), y = pos(rng);
    const int* items = nullptr;
    int count = 0;
    modelGridCellItems(g, x, y, &items, &count);
    const int reached = itemsWithin(m.rec, items, count, x, y, 3.0);
    int sure = -1, maybe = -1;
    ASSERT_TRUE(modelGridOrderReach(g, x, y, &m.tool, &sure, &maybe));
    ASSERT_LE(sure, reached) << x << "," << y;
    ASSERT_GE(maybe, reached) << x << "," << y;
    const std::ptrdiff_t at = modelGridCellAt(g, x, y) - g->cells[0];
    const int32_t* cell = g->orderReach + 2 * at;
    if (g->orderSubIndex[at] < 0) continue;
    ++straddling;
    ASSERT_LE(cell[0], kModelGridReachSplit);
    ASSERT_GT(cell[1], kModelGridReachSplit);
    ASSERT_GE(sure, cell[0]);
    ASSERT_LE(maybe, cell[1]);
    if (sure > kModelGridReachSplit || maybe <= kModelGridReachSplit) ++settled;
  }
  EXPECT_GT(straddling, 0);
  EXPECT_GT(settled, straddling / 2);
}
