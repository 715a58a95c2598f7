#include "model/mesh/model_grid.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <numbers>
#include <utility>
#include <vector>

#include "base/memory.h"
#include "geometry/lists/lists.h"
#include "model/contact/contact_settings.h"

double* diagMin = nullptr;
double* diagMax = nullptr;

namespace {

int gDiagonalBoxes = 0;

// Items from which a grid is built by several threads.
constexpr int kParallelGridMin = 1 << 14;

// Largest side of a grid from the cell-count rule; bounds boxes with absurd
// or non-finite extents.
constexpr double kMaxGridSide = 1 << 16;

// A count from a double: at least 1, at most limit, 1 for NaN.
int boundedCount(double v, double limit) {
  if (!(v >= 1.0)) return 1;
  if (v > limit) return static_cast<int>(limit);
  return static_cast<int>(v);
}

int appendIndex(GridCell* cell, int index) {
  if (cell->count >= cell->capacity) {
    const int grown = cell->capacity > 0 ? cell->capacity * 2 : 4;
    void* items = std::realloc(cell->items, sizeof(int32_t) * static_cast<std::size_t>(grown));
    if (items == nullptr) return -1;
    cell->items = static_cast<int32_t*>(items);
    cell->capacity = grown;
  }
  cell->items[cell->count++] = index;
  return 1;
}

void setBox(ModelGrid* g, const Vec3d* boxMin, const Vec3d* boxMax) {
  g->minX = boxMin->x;
  g->minY = boxMin->y;
  g->maxX = boxMax->x;
  g->maxY = boxMax->y;
  g->cellHeight = (g->maxY - g->minY) / g->rows;
  g->cellWidth = (g->maxX - g->minX) / g->cols;
}

// Cell range of an item's grown box.
struct CellRange {
  int r0, r1, c0, c1;
};

CellRange itemRange(const ModelGrid* g, const Vec3d& lo, const Vec3d& hi, double margin) {
  return CellRange{itemGridIndex(lo.y - margin, g->minY, g->cellHeight, g->rows),
                   itemGridIndex(hi.y + margin, g->minY, g->cellHeight, g->rows),
                   itemGridIndex(lo.x - margin, g->minX, g->cellWidth, g->cols),
                   itemGridIndex(hi.x + margin, g->minX, g->cellWidth, g->cols)};
}

ModelGrid* allocGrid(int rows, int cols) {
  auto* g = static_cast<ModelGrid*>(std::calloc(1, sizeof(ModelGrid)));
  if (g == nullptr) return nullptr;
  g->rows = rows;
  g->cols = cols;
  g->cells = static_cast<GridCell**>(std::calloc(rows, sizeof(GridCell*)));
  GridCell* block =
      static_cast<GridCell*>(std::calloc(static_cast<std::size_t>(rows) * cols, sizeof(GridCell)));
  if (g->cells == nullptr || block == nullptr) {
    std::free(g->cells);
    std::free(block);
    std::free(g);
    return nullptr;
  }
  for (int r = 0; r < rows; ++r) g->cells[r] = block + static_cast<std::size_t>(r) * cols;
  return g;
}

// The rectangle of cell (r, c).  Both the order keys and the test of a drop
// point use this one computation, so a point it accepts lies in the very
// rectangle the keys were made for.
struct CellRect {
  double x0, x1, y0, y1;
};

CellRect cellRectOf(const ModelGrid* g, int r, int c) {
  return {g->minX + c * g->cellWidth, g->minX + (c + 1) * g->cellWidth, g->minY + r * g->cellHeight,
          g->minY + (r + 1) * g->cellHeight};
}

bool orderApplies(const ToolShape* tool) {
  if (tool == nullptr || tool->taperOn) return false;
  if (!(tool->radius > 0.0) || !std::isfinite(tool->radius)) return false;
  if (tool->type == kToolBall || tool->type == kToolFlat) return true;
  return tool->type == kToolTorus && tool->cornerRadius >= 0.0 &&
         tool->cornerRadius <= tool->radius;
}

// Relative slack added to a key before it is rounded up to a float.
constexpr double kOrderKeySlack = 1e-9;
// Below this ring distance a torus may add its full corner radius.
constexpr double kOrderTorusTol = 0.00001;

// The key of an item in a cell: see modelGridOrderForTool.  Every plan
// distance from a point of the rectangle to the item's box is at least the
// one computed here (rounding is monotone), and the tool's lift does not grow
// with the distance.
float orderKey(const ToolShape* tool, const Vec3d& mn, const Vec3d& mx, const CellRect& rc) {
  const double dx = mx.x < rc.x0 ? rc.x0 - mx.x : (mn.x > rc.x1 ? mn.x - rc.x1 : 0.0);
  const double dy = mx.y < rc.y0 ? rc.y0 - mx.y : (mn.y > rc.y1 ? mn.y - rc.y1 : 0.0);
  const double d2 = dx * dx + dy * dy;
  const double r = tool->radius;
  if (!(d2 <= r * r)) return -HUGE_VALF;
  double lift;
  if (tool->type == kToolFlat) {
    lift = 0.0;
  } else if (tool->type == kToolBall) {
    lift = std::sqrt(r * r - d2);
  } else {
    const double c = tool->cornerRadius;
    const double f = std::sqrt(d2) - (r - c);
    lift = f < kOrderTorusTol ? c : std::sqrt(std::max(0.0, c * c - f * f));
  }
  double key = mx.z + lift;
  if (key != key) return -HUGE_VALF;  // such an item is never reachable
  key += kOrderKeySlack * (1.0 + std::fabs(key));
  float k = static_cast<float>(key);
  if (static_cast<double>(k) < key) k = std::nextafter(k, HUGE_VALF);
  return k;
}

// Relative slack of the sure-reach test below against the rounding of the
// engines' own test at a point of the rectangle.
constexpr double kSureReachSlack = 1e-9;

// True when the engines' reach test (the box no farther than the radius in
// x, in y and in plan, max z a number) passes at every point of the
// rectangle: the largest distance from a point of it to the box, grown by a
// slack far above the rounding of the test, stays within the radius.
bool surelyReached(const ToolShape* tool, const Vec3d& mn, const Vec3d& mx, const CellRect& rc) {
  const double r = tool->radius;
  if (mx.z != mx.z || !std::isfinite(r * r) ||
      !std::isfinite(tool->cornerRadius * tool->cornerRadius)) {
    return false;
  }
  const double m = kSureReachSlack *
                   (r + std::fabs(rc.x0) + std::fabs(rc.x1) + std::fabs(rc.y0) + std::fabs(rc.y1) +
                    std::fabs(mn.x) + std::fabs(mn.y) + std::fabs(mx.x) + std::fabs(mx.y));
  const double dx = std::max({0.0, mn.x - rc.x0, rc.x1 - mx.x}) + m;
  const double dy = std::max({0.0, mn.y - rc.y0, rc.y1 - mx.y}) + m;
  return dx <= r && dy <= r && dx * dx + dy * dy <= r * r * (1.0 - kSureReachSlack);
}

// Orders the cells of row r into items and keys, and counts their reach
// (see modelGridOrderForTool and modelGridOrderReach).
void orderRow(const ModelGrid* grid, int r, const Vec3d* minCorners, const Vec3d* maxCorners,
              const ToolShape* tool, int32_t* items, float* keys, int32_t* reach) {
  std::vector<std::pair<float, int32_t>> cell;
  for (int c = 0; c < grid->cols; ++c) {
    const GridCell& gc = grid->cells[r][c];
    const CellRect rect = cellRectOf(grid, r, c);
    cell.clear();
    int32_t sure = 0;
    int32_t maybe = 0;
    for (int k = 0; k < gc.count; ++k) {
      const int32_t i = gc.items[k];
      const float key = orderKey(tool, minCorners[i], maxCorners[i], rect);
      cell.emplace_back(key, i);
      // A key of minus infinity: out of reach from all of the rectangle.
      if (key != -HUGE_VALF) ++maybe;
      if (surelyReached(tool, minCorners[i], maxCorners[i], rect)) ++sure;
    }
    int32_t* slot = reach + 2 * (static_cast<std::ptrdiff_t>(r) * grid->cols + c);
    slot[0] = sure;
    slot[1] = maybe;
    if (tool->type == kToolFlat) {
      // A flat tool's walk follows the items' own order: the items in reach
      // keep it, the others follow.
      std::stable_partition(cell.begin(), cell.end(),
                            [](const auto& a) { return a.first != -HUGE_VALF; });
    } else {
      // Highest key first; equal keys by ascending item (any order would do).
      std::sort(cell.begin(), cell.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
      });
    }
    const std::ptrdiff_t offset = gc.items - grid->pool;
    for (int k = 0; k < gc.count; ++k) {
      keys[offset + k] = cell[static_cast<std::size_t>(k)].first;
      items[offset + k] = cell[static_cast<std::size_t>(k)].second;
    }
  }
}

// The slots of an order of the grid's cells: one per item of a cell (at
// least one in all, so that an empty grid still allocates).
std::size_t orderSlots(const ModelGrid* grid) {
  std::size_t total = 0;
  for (int r = 0; r < grid->rows; ++r) {
    for (int c = 0; c < grid->cols; ++c) total += static_cast<std::size_t>(grid->cells[r][c].count);
  }
  return std::max<std::size_t>(total, 1);
}

// Sub-cell (j, k) (row j, column k) of a cell's rectangle.  Both the counts
// and the test of a drop point use this one computation.
CellRect subRectOf(const CellRect& rc, int j, int k) {
  const double w = (rc.x1 - rc.x0) / kModelGridReachSub;
  const double h = (rc.y1 - rc.y0) / kModelGridReachSub;
  return {rc.x0 + k * w, k + 1 == kModelGridReachSub ? rc.x1 : rc.x0 + (k + 1) * w, rc.y0 + j * h,
          j + 1 == kModelGridReachSub ? rc.y1 : rc.y0 + (j + 1) * h};
}

// The sub-cell column (row) of v in [lo, hi]: 0 for a span without extent.
int subIndexOf(double v, double lo, double hi) {
  const double f = (v - lo) / (hi - lo) * kModelGridReachSub;
  if (!(f >= 0.0)) return 0;
  if (f >= kModelGridReachSub - 1) return kModelGridReachSub - 1;
  return static_cast<int>(f);
}

// True when the box lies within the radius of some point of the rectangle
// (the key's test: a key of minus infinity is out of reach).
bool maybeReached(const ToolShape* tool, const Vec3d& mn, const Vec3d& mx, const CellRect& rc) {
  return orderKey(tool, mn, mx, rc) != -HUGE_VALF;
}

// The reach counts of every sub-cell of cell (r, c) into out (two entries
// per sub-cell).  An item reached from all of the cell, or from none of it,
// counts alike in every sub-cell.
void countSubReach(const ModelGrid* grid, int r, int c, const Vec3d* minCorners,
                   const Vec3d* maxCorners, const ToolShape* tool, int32_t* out) {
  constexpr int kSubs = kModelGridReachSub * kModelGridReachSub;
  const GridCell& gc = grid->cells[r][c];
  const CellRect rect = cellRectOf(grid, r, c);
  CellRect subs[kSubs];
  for (int j = 0; j < kModelGridReachSub; ++j) {
    for (int k = 0; k < kModelGridReachSub; ++k) {
      subs[j * kModelGridReachSub + k] = subRectOf(rect, j, k);
    }
  }
  int32_t sureAll = 0;
  for (int s = 0; s < 2 * kSubs; ++s) out[s] = 0;
  for (int n = 0; n < gc.count; ++n) {
    const int32_t i = gc.items[n];
    const Vec3d& mn = minCorners[i];
    const Vec3d& mx = maxCorners[i];
    if (!maybeReached(tool, mn, mx, rect)) continue;
    if (surelyReached(tool, mn, mx, rect)) {
      ++sureAll;
      continue;
    }
    for (int s = 0; s < kSubs; ++s) {
      if (!maybeReached(tool, mn, mx, subs[s])) continue;
      ++out[2 * s + 1];
      if (surelyReached(tool, mn, mx, subs[s])) ++out[2 * s];
    }
  }
  for (int s = 0; s < kSubs; ++s) {
    out[2 * s] += sureAll;
    out[2 * s + 1] += sureAll;
  }
}

// Counts per sub-cell the reach of the cells whose bounds straddle
// kModelGridReachSplit.  Without memory the grid keeps only the cell counts
// (the bounds stay true, only looser).
void orderSubCells(ModelGrid* grid, const Vec3d* minCorners, const Vec3d* maxCorners,
                   const ToolShape* tool) {
  constexpr int kBlock = 2 * kModelGridReachSub * kModelGridReachSub;
  const std::size_t cells = static_cast<std::size_t>(grid->rows) * grid->cols;
  std::vector<int32_t> split;
  for (std::size_t n = 0; n < cells; ++n) {
    const int32_t* slot = grid->orderReach + 2 * n;
    if (slot[0] <= kModelGridReachSplit && slot[1] > kModelGridReachSplit) {
      split.push_back(static_cast<int32_t>(n));
    }
  }
  if (split.empty()) return;
  auto* index = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * cells));
  auto* counts = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * kBlock * split.size()));
  if (index == nullptr || counts == nullptr) {
    std::free(index);
    std::free(counts);
    return;
  }
  std::fill(index, index + cells, -1);
  const int n = static_cast<int>(split.size());
  for (int s = 0; s < n; ++s) index[split[static_cast<std::size_t>(s)]] = s * kBlock;
  const int cols = grid->cols;
#pragma omp parallel for schedule(dynamic, 1)
  for (int s = 0; s < n; ++s) {
    const int cell = split[static_cast<std::size_t>(s)];
    countSubReach(grid, cell / cols, cell % cols, minCorners, maxCorners, tool,
                  counts + static_cast<std::ptrdiff_t>(s) * kBlock);
  }
  grid->orderSubIndex = index;
  grid->orderSubReach = counts;
}

int itemCountOf(int kind, const Facet* facets, int facetCount, const TriList* tris) {
  if (kind == kModelKindTriangles) return tris != nullptr ? tris->count : 0;
  return facets != nullptr ? facetCount : 0;
}

// Replaces *slot by a new grid over the items: by the cell-count rule when
// cellSize <= 0, else by cells of about cellSize.  Returns -1 when filling
// failed (slot then null), else 1 (slot null when nothing could be
// allocated).
int rebuildGrid(ModelGrid** slot, int count, const Vec3d& boxMin, const Vec3d& boxMax,
                const Vec3d* minCorners, const Vec3d* maxCorners, double margin, int cells,
                double cellSize, const ToolShape* tool) {
  modelGridFree(*slot);
  *slot = nullptr;
  const double dx = boxMax.x - boxMin.x;
  const double dy = boxMax.y - boxMin.y;
  int rows = 1;
  int cols = 1;
  if (cellSize > 0.0) {
    modelGridDimsForCellSize(dx, dy, cellSize, count, &rows, &cols);
    *slot = modelGridBuild(rows, cols, count, &boxMin, &boxMax, minCorners, maxCorners, margin);
    // Without its order the grid still gives the same heights, only slower.
    if (*slot != nullptr) modelGridOrderForTool(*slot, minCorners, maxCorners, tool);
    return 1;
  }
  modelGridDimsForCells(dx, dy, cells, &rows, &cols);
  ModelGrid* g = modelGridNew(rows, cols, kModelGridCellCapacity);
  if (g == nullptr) return 1;
  if (modelGridFill(g, count, &boxMin, &boxMax, minCorners, maxCorners, margin) < 0) {
    modelGridFree(g);
    return -1;
  }
  *slot = g;
  return 1;
}

// The model's own grid.  A tapered tool's cone is rebuilt first: the contact
// settings take the cone from the tool that the grids were built for.
int buildOwnGrid(ModelRec* model, double cellSize) {
  if (model->tool != nullptr && model->tool->taperOn) toolShapeSetCone(model->tool);
  const int own = itemCountOf(model->kind, model->facets, model->facetCount, model->triangles);
  if (own <= 0 || model->tool == nullptr) return 1;
  const int result = rebuildGrid(&model->grid, own, model->boxMin, model->boxMax, model->minCorners,
                                 model->maxCorners, modelGridToolMargin(model->tool),
                                 kModelGridCells, cellSize, model->tool);
  // Grids with a cell size also get the planes of the items (without them
  // the drops give the same heights, only slower).
  if (cellSize > 0.0 && model->grid != nullptr) {
    modelGridPlanes(model->grid, model->kind == kModelKindFacets ? model->facets : nullptr,
                    model->triangles, own);
    modelGridLevelSlots(model->grid, model->minCorners, model->maxCorners);
  }
  return result;
}

int buildGrids(ModelRec* model, double cellSize) {
  int result = buildOwnGrid(model, cellSize);
  for (SurfaceGroup* g = model->groups; g != nullptr; g = g->next) {
    const int n = itemCountOf(g->kind, g->facets, g->facetCount, g->triangles);
    if (n <= 0) continue;
    if (g->tool.taperOn) toolShapeSetCone(&g->tool);
    if (rebuildGrid(&g->grid, n, g->boxMin, g->boxMax, g->minCorners, g->maxCorners,
                    modelGridToolMargin(&g->tool), kModelGridCells, cellSize, &g->tool) < 0) {
      result = -1;
    }
  }
  // The groups may have left the cone at one of their tools.
  if (model->tool != nullptr && model->tool->taperOn && model->groups != nullptr) {
    toolShapeSetCone(model->tool);
  }
  return result;
}

}  // namespace

ModelGrid* modelGridNew(int rows, int cols, int capacity) {
  if (rows <= 0 || cols <= 0) return nullptr;
  ModelGrid* g = allocGrid(rows, cols);
  if (g == nullptr) return nullptr;
  if (capacity > 0) {
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < cols; ++c) {
        GridCell& cell = g->cells[r][c];
        cell.items = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * capacity));
        if (cell.items == nullptr) {
          modelGridFree(g);
          return nullptr;
        }
        cell.capacity = capacity;
      }
    }
  }
  return g;
}

void modelGridFree(ModelGrid* grid) {
  if (grid == nullptr) return;
  if (grid->cells != nullptr) {
    if (grid->pool == nullptr) {
      for (int r = 0; r < grid->rows; ++r) {
        for (int c = 0; c < grid->cols; ++c) std::free(grid->cells[r][c].items);
      }
    }
    std::free(grid->cells[0]);
    std::free(grid->cells);
  }
  std::free(grid->pool);
  std::free(grid->orderItems);
  std::free(grid->orderKeys);
  std::free(grid->orderReach);
  std::free(grid->orderSubIndex);
  std::free(grid->orderSubReach);
  std::free(grid->planes);
  std::free(grid->trianglePlanes);
  std::free(grid->levelShapes);
  std::free(grid->orderSlotMarks);
  std::free(grid);
}

GridCell* modelGridCellAt(const ModelGrid* grid, double x, double y) {
  if (grid == nullptr) return nullptr;
  const int r = itemGridIndex(y, grid->minY, grid->cellHeight, grid->rows);
  const int c = itemGridIndex(x, grid->minX, grid->cellWidth, grid->cols);
  return &grid->cells[r][c];
}

void modelGridCellItems(const ModelGrid* grid, double x, double y, const int** indices,
                        int* count) {
  static const int kNoItem = 0;
  *indices = nullptr;
  *count = 0;
  const GridCell* cell = modelGridCellAt(grid, x, y);
  if (cell == nullptr) return;
  *indices = cell->items != nullptr ? cell->items : &kNoItem;
  *count = cell->items != nullptr ? cell->count : 0;
}

int modelGridFill(ModelGrid* grid, int count, const Vec3d* boxMin, const Vec3d* boxMax,
                  const Vec3d* minCorners, const Vec3d* maxCorners, double margin) {
  if (grid->pool != nullptr) return -1;
  setBox(grid, boxMin, boxMax);
  for (int i = 0; i < count; ++i) {
    const CellRange cr = itemRange(grid, minCorners[i], maxCorners[i], margin);
    for (int r = cr.r0; r <= cr.r1; ++r) {
      for (int c = cr.c0; c <= cr.c1; ++c) {
        if (appendIndex(&grid->cells[r][c], i) < 0) return -1;
      }
    }
  }
  return 1;
}

void modelGridDimsForCells(double dx, double dy, int cells, int* rows, int* cols) {
  const double e = (dx + 1.0) / (dy + 1.0);
  const double r = std::floor(std::sqrt(cells / e)) + 1.0;
  *rows = boundedCount(r, kMaxGridSide);
  *cols = boundedCount(std::floor(*rows * e) + 1.0, kMaxGridSide);
}

void modelGridDimsForCellSize(double dx, double dy, double cellSize, int itemCount, int* rows,
                              int* cols) {
  const double limit = std::min<double>(
      kModelGridMaxCells,
      std::max<double>(kModelGridCells, static_cast<double>(kModelGridCellsPerItem) * itemCount));
  double s = cellSize;
  double nx = std::floor(std::max(dx, 0.0) / s) + 1.0;
  double ny = std::floor(std::max(dy, 0.0) / s) + 1.0;
  if (!(nx * ny <= limit)) {
    // Grow the cells by the factor that brings the count under the limit.
    s *= std::sqrt(nx * ny / limit) * 1.01;
    nx = std::floor(std::max(dx, 0.0) / s) + 1.0;
    ny = std::floor(std::max(dy, 0.0) / s) + 1.0;
  }
  *cols = boundedCount(nx, kMaxGridSide);
  *rows = boundedCount(ny, kMaxGridSide);
  while (static_cast<double>(*rows) * *cols > limit && (*rows > 1 || *cols > 1)) {
    if (*rows >= *cols) {
      *rows = std::max(1, *rows / 2);
    } else {
      *cols = std::max(1, *cols / 2);
    }
  }
}

ModelGrid* modelGridBuild(int rows, int cols, int count, const Vec3d* boxMin, const Vec3d* boxMax,
                          const Vec3d* minCorners, const Vec3d* maxCorners, double margin) {
  if (rows <= 0 || cols <= 0) return nullptr;
  ModelGrid* g = allocGrid(rows, cols);
  if (g == nullptr) return nullptr;
  setBox(g, boxMin, boxMax);
  std::vector<CellRange> ranges;
  try {
    ranges.resize(static_cast<std::size_t>(std::max(count, 0)));
  } catch (const std::bad_alloc&) {
    modelGridFree(g);
    return nullptr;
  }
  // Many items are placed by several threads, each in a band of rows of
  // its own and in item order: every cell lists its items in ascending
  // order whatever the team, as one thread would list them.
  const bool parallel = count >= kParallelGridMin && omp_get_active_level() == 0;
  const int bands = parallel ? std::min(rows, 2 * omp_get_max_threads()) : 1;
  const auto forBandCells = [&](int band, auto&& visit) {
    const int first = static_cast<int>(static_cast<long long>(rows) * band / bands);
    const int last = static_cast<int>(static_cast<long long>(rows) * (band + 1) / bands) - 1;
    for (int i = 0; i < count; ++i) {
      const CellRange& cr = ranges[static_cast<std::size_t>(i)];
      for (int r = std::max(cr.r0, first); r <= std::min(cr.r1, last); ++r) {
        for (int c = cr.c0; c <= cr.c1; ++c) visit(g->cells[r][c], i);
      }
    }
  };
#pragma omp parallel for schedule(static) if (parallel)
  for (int i = 0; i < count; ++i) {
    ranges[static_cast<std::size_t>(i)] = itemRange(g, minCorners[i], maxCorners[i], margin);
  }
  // Two passes: count the entries per cell, then place them into one block.
#pragma omp parallel for schedule(dynamic, 1) if (parallel)
  for (int band = 0; band < bands; ++band) {
    forBandCells(band, [](GridCell& cell, int) { ++cell.capacity; });
  }
  std::size_t total = 0;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) total += static_cast<std::size_t>(g->cells[r][c].capacity);
  }
  g->pool = static_cast<int32_t*>(memAllocLarge(sizeof(int32_t) * std::max<std::size_t>(total, 1)));
  if (g->pool == nullptr) {
    modelGridFree(g);
    return nullptr;
  }
  std::size_t offset = 0;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      GridCell& cell = g->cells[r][c];
      cell.items = g->pool + offset;
      offset += cell.capacity;
    }
  }
#pragma omp parallel for schedule(dynamic, 1) if (parallel)
  for (int band = 0; band < bands; ++band) {
    forBandCells(band, [](GridCell& cell, int i) { cell.items[cell.count++] = i; });
  }
  return g;
}

int modelGridOrderForTool(ModelGrid* grid, const Vec3d* minCorners, const Vec3d* maxCorners,
                          const ToolShape* tool) {
  if (grid == nullptr || grid->pool == nullptr) return 0;
  std::free(grid->orderItems);
  std::free(grid->orderKeys);
  std::free(grid->orderReach);
  std::free(grid->orderSubIndex);
  std::free(grid->orderSubReach);
  std::free(grid->orderSlotMarks);
  grid->orderItems = nullptr;
  grid->orderSlotMarks = nullptr;
  grid->orderKeys = nullptr;
  grid->orderReach = nullptr;
  grid->orderSubIndex = nullptr;
  grid->orderSubReach = nullptr;
  if (!orderApplies(tool)) return 0;
  const std::size_t slots = orderSlots(grid);
  auto* items = static_cast<int32_t*>(memAllocLarge(sizeof(int32_t) * slots));
  auto* keys = static_cast<float*>(memAllocLarge(sizeof(float) * slots));
  auto* reach = static_cast<int32_t*>(
      std::malloc(sizeof(int32_t) * 2 * static_cast<std::size_t>(grid->rows) * grid->cols));
  if (items == nullptr || keys == nullptr || reach == nullptr) {
    std::free(items);
    std::free(keys);
    std::free(reach);
    return -1;
  }
  // Cells are independent (each fills its own range), so the rows may be
  // shared out among threads without changing the outcome.
  const int rows = grid->rows;
  int failed = 0;
#pragma omp parallel for schedule(dynamic, 4) reduction(| : failed)
  for (int r = 0; r < rows; ++r) {
    try {
      orderRow(grid, r, minCorners, maxCorners, tool, items, keys, reach);
    } catch (const std::bad_alloc&) {
      failed = 1;  // no exception may leave the parallel region
    }
  }
  if (failed) {
    std::free(items);
    std::free(keys);
    std::free(reach);
    return -1;
  }
  grid->orderItems = items;
  grid->orderKeys = keys;
  grid->orderReach = reach;
  orderSubCells(grid, minCorners, maxCorners, tool);
  grid->orderToolType = tool->type;
  grid->orderRadius = tool->radius;
  grid->orderCornerRadius = tool->cornerRadius;
  return 1;
}

namespace {

// The cell of (x, y) when the grid holds an order for this tool and the
// point lies in the cell's rectangle (see modelGridOrderAt).
bool orderedCellAt(const ModelGrid* grid, double x, double y, const ToolShape* tool, int* row,
                   int* col) {
  if (grid == nullptr || grid->orderItems == nullptr || tool->taperOn ||
      tool->type != grid->orderToolType || !(tool->radius == grid->orderRadius) ||
      !(tool->cornerRadius == grid->orderCornerRadius)) {
    return false;
  }
  const int r = itemGridIndex(y, grid->minY, grid->cellHeight, grid->rows);
  const int c = itemGridIndex(x, grid->minX, grid->cellWidth, grid->cols);
  const CellRect rect = cellRectOf(grid, r, c);
  if (!(rect.x0 <= x && x <= rect.x1 && rect.y0 <= y && y <= rect.y1)) return false;
  *row = r;
  *col = c;
  return true;
}

}  // namespace

const int32_t* modelGridOrderAt(const ModelGrid* grid, double x, double y, const ToolShape* tool,
                                const float** keys, int* count) {
  int r, c;
  if (!orderedCellAt(grid, x, y, tool, &r, &c)) return nullptr;
  const GridCell& gc = grid->cells[r][c];
  const std::ptrdiff_t offset = gc.items - grid->pool;
  *keys = grid->orderKeys + offset;
  *count = gc.count;
  return grid->orderItems + offset;
}

bool modelGridOrderReach(const ModelGrid* grid, double x, double y, const ToolShape* tool,
                         int* sure, int* maybe) {
  int r, c;
  if (!orderedCellAt(grid, x, y, tool, &r, &c)) return false;
  const std::ptrdiff_t cell = static_cast<std::ptrdiff_t>(r) * grid->cols + c;
  const int32_t* slot = grid->orderReach + 2 * cell;
  if (grid->orderSubIndex != nullptr && grid->orderSubIndex[cell] >= 0) {
    // The sub-cell of the point, when the point lies in its rectangle.
    const CellRect rect = cellRectOf(grid, r, c);
    const int k = subIndexOf(x, rect.x0, rect.x1);
    const int j = subIndexOf(y, rect.y0, rect.y1);
    const CellRect sub = subRectOf(rect, j, k);
    if (sub.x0 <= x && x <= sub.x1 && sub.y0 <= y && y <= sub.y1) {
      slot = grid->orderSubReach + grid->orderSubIndex[cell] + 2 * (j * kModelGridReachSub + k);
    }
  }
  *sure = slot[0];
  *maybe = slot[1];
  return true;
}

int modelGridPlanes(ModelGrid* grid, const Facet* facets, const TriList* tris, int count) {
  std::free(grid->planes);
  std::free(grid->trianglePlanes);
  std::free(grid->levelShapes);
  std::free(grid->orderSlotMarks);
  grid->orderSlotMarks = nullptr;
  grid->planes = nullptr;
  grid->trianglePlanes = nullptr;
  grid->levelShapes = nullptr;
  if (count <= 0) return 1;
  const auto n = static_cast<std::size_t>(count);
  auto* planes = static_cast<SurfacePlane*>(memAllocLarge(sizeof(SurfacePlane) * n));
  auto* triangles = static_cast<TrianglePlane*>(memAllocLarge(sizeof(TrianglePlane) * n));
  auto* shapes = static_cast<uint8_t*>(memAllocLarge(n));
  if (planes == nullptr || triangles == nullptr || shapes == nullptr) {
    std::free(planes);
    std::free(triangles);
    std::free(shapes);
    return -1;
  }
#pragma omp parallel for schedule(static)
  for (int i = 0; i < count; ++i) {
    const Vec3d* v = facets != nullptr ? facets[i].v : tris->items[i].v;
    planes[i] = surfacePlaneOf(v[0], v[1], v[2]);
    TrianglePlane& t = triangles[i];
    trianglePlaneOf(v[0], v[1], v[2], &t);
    const bool oneTriangle = facets == nullptr || facetOneTriangle(v);
    if (!oneTriangle) planes[i].nz = NAN;
    shapes[i] = oneTriangle && v[1].z == v[0].z && v[2].z == v[0].z &&
                levelShapeGood(t.e1.x, t.e1.y, t.e2.x, t.e2.y);
  }
  grid->planes = planes;
  grid->trianglePlanes = triangles;
  grid->levelShapes = shapes;
  return 1;
}

int modelGridLevelSlots(ModelGrid* grid, const Vec3d* minCorners, const Vec3d* maxCorners) {
  std::free(grid->orderSlotMarks);
  grid->orderSlotMarks = nullptr;
  if (grid->orderItems == nullptr || grid->orderToolType != kToolFlat ||
      grid->levelShapes == nullptr) {
    return 0;
  }
  auto* marks = static_cast<uint8_t*>(memAllocLarge(orderSlots(grid)));
  if (marks == nullptr) return -1;
  const int rows = grid->rows;
#pragma omp parallel for schedule(dynamic, 4)
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < grid->cols; ++c) {
      const GridCell& gc = grid->cells[r][c];
      const CellRect rect = cellRectOf(grid, r, c);
      const std::ptrdiff_t offset = gc.items - grid->pool;
      const int32_t* items = grid->orderItems + offset;
      for (int k = 0; k < gc.count; ++k) {
        const int32_t i = items[k];
        const Vec3d& mn = minCorners[i];
        const Vec3d& mx = maxCorners[i];
        uint8_t m = 0;
        if (grid->levelShapes[i] != 0 && mn.z == mx.z &&
            levelBoxClearedOver(mn, mx, rect.x0, rect.x1, rect.y0, rect.y1)) {
          m |= kGridSlotLevelClear;
        }
        if (k > 0 && maxCorners[items[k - 1]].z == mx.z) m |= kGridSlotSameTop;
        marks[offset + k] = m;
      }
    }
  }
  grid->orderSlotMarks = marks;
  return 1;
}

double modelGridToolMargin(const ToolShape* tool) {
  double margin = tool->radius;
  if (tool->taperOn) {
    ToolCone cone;
    margin += toolConeFromTool(tool, &cone)->growth;
  }
  return std::max(margin, 0.5 * tool->shankDiameter);
}

int modelBuildGrids(ModelRec* model) { return buildGrids(model, 0.0); }

int modelBuildGridsSized(ModelRec* model, double cellSize) {
  return buildGrids(model, cellSize > 0.0 ? cellSize : 0.0);
}

int modelBuildOwnGrid(ModelRec* model, double cellSize) {
  return buildOwnGrid(model, cellSize > 0.0 ? cellSize : 0.0);
}

int surfaceGroupBuildLoadGrid(SurfaceGroup* group) {
  const int n = itemCountOf(group->kind, group->facets, group->facetCount, group->triangles);
  if (n <= 0) return 1;
  return rebuildGrid(&group->grid, n, group->boxMin, group->boxMax, group->minCorners,
                     group->maxCorners, group->tool.radius, kModelGridLoadCells, 0.0, nullptr);
}

ModelGrid* holderClearanceGrid(const ModelRec* model, double length, double angle) {
  if (model == nullptr || model->tool == nullptr) return nullptr;
  const ToolShape* tool = model->tool;
  double a = angle;
  if (std::fabs(a) < kHolderGridZeroAngle) a = kHolderGridMinAngle;
  if (tool->taperOn) a += tool->taperAngle * std::numbers::pi / 180.0;
  a = std::min(a, std::numbers::pi / 2.0);
  const double reach = length * std::sin(a) + tool->radius;
  const double s = 2.0 * reach;
  double dx;
  double dy;
  int count;
  if (model->kind == kModelKindTriangles) {
    if (model->triangles == nullptr || model->triangles->count <= 0) return nullptr;
    dx = model->triangles->maxX - model->triangles->minX;
    dy = model->triangles->maxY - model->triangles->minY;
    count = model->triangles->count;
  } else {
    if (model->facets == nullptr || model->facetCount <= 0) return nullptr;
    dx = model->boxMax.x - model->boxMin.x;
    dy = model->boxMax.y - model->boxMin.y;
    count = model->facetCount;
  }
  // A cell size of 0 (no reach) divides into an infinite count, which the
  // side limit caps; an extent of 0 then stays one cell.
  const auto side = [s](double extent) {
    const double e = std::fabs(extent);
    if (e == 0.0) return 1;
    return boundedCount(std::floor(e / s) + 1.0, kHolderGridMaxSide);
  };
  ModelGrid* g = modelGridNew(side(dy), side(dx), kModelGridCellCapacity);
  if (g == nullptr) return nullptr;
  if (modelGridFill(g, count, &model->boxMin, &model->boxMax, model->minCorners, model->maxCorners,
                    reach) < 0) {
    modelGridFree(g);
    return nullptr;
  }
  return g;
}

void modelSetDiagonalBoxes(int flag) { gDiagonalBoxes = flag; }

int modelDiagonalBoxesOn() { return gDiagonalBoxes; }

int modelBuildDiagonalExtents(const Facet* facets, int count) {
  modelFreeDiagonalExtents();
  const std::size_t n = static_cast<std::size_t>(std::max(count, 1)) * 2;
  diagMin = static_cast<double*>(std::malloc(sizeof(double) * n));
  diagMax = static_cast<double*>(std::malloc(sizeof(double) * n));
  if (diagMin == nullptr || diagMax == nullptr) {
    modelFreeDiagonalExtents();
    return -1;
  }
  modelFacetDiagExtents(facets, count, diagMin, diagMax);
  return 1;
}

void modelFreeDiagonalExtents() {
  std::free(diagMin);
  std::free(diagMax);
  diagMin = nullptr;
  diagMax = nullptr;
}
