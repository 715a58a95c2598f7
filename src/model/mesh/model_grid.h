// Bucket grids over the items of a model, the holder clearance grid and the
// process-wide 45-degree extents of facets.
//
// A ModelGrid covers an xy box with rows (along y) x cols (along x) cells.
// Each cell lists, in ascending item index, the items (facets or triangles of
// a model or group) whose xy box grown by the build margin reaches into the
// cell.  Items are sorted by top z, highest first, so every cell list is in
// top-z order; the contact walks rely on that for their early stop.  Any grid
// over the same items and margin gives the same drop heights: a cell holds a
// superset of the items that can touch a tool at a position in it, in the
// same relative order, and the walks test each item's box themselves.
//
// Cell indices are truncated toward zero and clamped into the grid, so a
// point outside the grid maps to the nearest border cell.  A box without
// extent in x or y is one column or one row wide.
//
// Threads: grids are built on the cycle thread before the parallel drops and
// only read during them.  The diagonal extents and their switch are
// process-wide, set by loaders on the cycle thread.
#pragma once

#include <cmath>
#include <cstdint>

#include "model/mesh/model.h"
#include "model/mesh/triangle_plane.h"

// Cells the model grid aims at, and groups built while loading.
inline constexpr int kModelGridCells = 400;
inline constexpr int kModelGridLoadCells = 30;
// Reach count whose crossing within a cell makes the grid count that cell's
// reach per sub-cell, and the sub-cells per side.
inline constexpr int kModelGridReachSplit = 3000;
inline constexpr int kModelGridReachSub = 8;
// Indices a cell of the model grid holds at first (it doubles when full).
inline constexpr int kModelGridCellCapacity = 100;
// Most cells per side of the holder clearance grid.
inline constexpr int kHolderGridMaxSide = 30;
// Smallest clearance angle of the holder grid (radians), and the angle below
// which the given angle counts as zero.
inline constexpr double kHolderGridMinAngle = 0.001;
inline constexpr double kHolderGridZeroAngle = 0.00001;
// Most cells of a grid with a chosen cell size, in total and per item: a
// finer request gets larger cells.
inline constexpr int kModelGridMaxCells = 1 << 22;
inline constexpr int kModelGridCellsPerItem = 4;

struct GridCell {
  int32_t count;
  int32_t capacity;
  int32_t* items;  // capacity slots, the first count used, ascending
};

// The plane of an item's first triangle (V0 V1 V2) as the height bounds of
// the drop engines use it: the first vertex a, the cross product n of the
// edges V1 - V0 and V2 - V0 (not normalised), the length of its horizontal
// part (hxy) and its whole length (len).  nz is 0 for a triangle too steep
// or too thin to bound, and NaN for an item whose bound and contact need its
// vertices (a facet of two triangles).
struct SurfacePlane {
  double ax, ay, az;
  double nx, ny, nz;
  double hxy, len;
};

// The plane of the triangle a, b, c.  Inline: the grid's planes and the
// bounds an engine computes during a drop come from this one computation,
// so they agree to the bit.
inline SurfacePlane surfacePlaneOf(const Vec3d& a, const Vec3d& b, const Vec3d& c) {
  const double e1x = b.x - a.x, e1y = b.y - a.y, e1z = b.z - a.z;
  const double e2x = c.x - a.x, e2y = c.y - a.y, e2z = c.z - a.z;
  const double nx = e1y * e2z - e1z * e2y;
  const double ny = e1z * e2x - e1x * e2z;
  const double nz = e1x * e2y - e1y * e2x;
  const double nxy2 = nx * nx + ny * ny;
  const double scale = (e1x * e1x + e1y * e1y + e1z * e1z) * (e2x * e2x + e2y * e2y + e2z * e2z);
  SurfacePlane p{a.x, a.y, a.z, nx, ny, nz, std::sqrt(nxy2), std::sqrt(nxy2 + nz * nz)};
  // Slopes beyond about 84 degrees and slivers give no bound.
  if (!(nz * nz > 0.01 * (nxy2 + nz * nz)) || !(nz * nz > 1e-12 * scale)) p.nz = 0.0;
  return p;
}

struct ModelGrid {
  int32_t rows;
  int32_t cols;
  double minX, minY, maxX, maxY;  // the xy box the grid covers
  double cellHeight;              // extent of a row along y (0: one row)
  double cellWidth;               // extent of a column along x (0: one column)
  GridCell** cells;               // rows arrays of cols cells
  int32_t* pool;                  // when set, every cell's items lie in this one block (fixed size)
  // Optional order of every cell's items by a tool's height bound (pool
  // grids only, see modelGridOrderForTool): parallel to pool, null without.
  int32_t* orderItems;
  float* orderKeys;
  // Per cell (row-major, two entries each): how many items a drop anywhere
  // in the cell's rectangle surely reaches, and how many it may reach (see
  // modelGridOrderReach).  Made with the order.
  int32_t* orderReach;
  // Cells whose reach counts straddle kModelGridReachSplit also count per
  // sub-cell (kModelGridReachSub x kModelGridReachSub per cell, row-major,
  // two entries each): per cell the offset of its block in orderSubReach, or
  // -1 without one.
  int32_t* orderSubIndex;
  int32_t* orderSubReach;
  // Optional planes of the items (see modelGridPlanes), one per item index:
  // for the height bounds and for the contact cases of the first triangle.
  SurfacePlane* planes;
  TrianglePlane* trianglePlanes;
  // With the planes, per item: 1 for one triangle that lies level (its
  // vertices at one z) and is well shaped (levelShapeGood), else 0.
  uint8_t* levelShapes;
  // With an order for a flat tool and the level shape flags, per slot of the
  // order: its marks (kGridSlotLevelClear, kGridSlotSameTop; see
  // modelGridLevelSlots), null without.
  uint8_t* orderSlotMarks;
  int16_t orderToolType;
  double orderRadius;
  double orderCornerRadius;
};

// A rows x cols grid whose cells have room for capacity indices each (0: the
// first append allocates).  Null when rows or cols is not positive or on
// allocation failure.  The box and cell sizes are set by modelGridFill.
ModelGrid* modelGridNew(int rows, int cols, int capacity);

// Frees the cells, rows and the grid.  Null allowed.
void modelGridFree(ModelGrid* grid);

// The cell of (x, y): row (y - minY) / cellHeight and column (x - minX) /
// cellWidth, truncated toward zero and clamped into the grid.  Null only for a
// null grid.
GridCell* modelGridCellAt(const ModelGrid* grid, double x, double y);

// The items of the cell of (x, y) as an index list for the drop engines:
// *indices/*count.  An empty cell gives an empty, non-null list (never "walk
// all"); a null grid gives null and 0.
void modelGridCellItems(const ModelGrid* grid, double x, double y, const int** indices, int* count);

// Sets the grid's box from boxMin/boxMax and its cell sizes from rows and
// cols, then appends each item i of count, in ascending order, to every cell
// its corner box grown by margin reaches (row by row).  1, or -1 when a cell
// cannot grow (the grid then holds part of the items) or the grid has fixed
// cells (built by modelGridBuild).
int modelGridFill(ModelGrid* grid, int count, const Vec3d* boxMin, const Vec3d* boxMax,
                  const Vec3d* minCorners, const Vec3d* maxCorners, double margin);

// Rows and columns that the model grid gives a box of extent dx x dy for
// about cells cells: e = (dx + 1) / (dy + 1), rows = floor(sqrt(cells / e)) +
// 1, cols = floor(rows e) + 1 (each at least 1, and bounded for absurd boxes).
void modelGridDimsForCells(double dx, double dy, int cells, int* rows, int* cols);

// Rows and columns for cells of about cellSize: floor(extent / cellSize) + 1
// each, with the cell size raised until the grid has at most
// max(kModelGridCells, kModelGridCellsPerItem x itemCount) and at most
// kModelGridMaxCells cells.
void modelGridDimsForCellSize(double dx, double dy, double cellSize, int itemCount, int* rows,
                              int* cols);

// A filled rows x cols grid over count items in one block of exact size, for
// grids too fine for per-cell growth.  Same contents as modelGridNew plus
// modelGridFill.  Null on allocation failure.
ModelGrid* modelGridBuild(int rows, int cols, int count, const Vec3d* boxMin, const Vec3d* boxMax,
                          const Vec3d* minCorners, const Vec3d* maxCorners, double margin);

// Orders the items of every cell of a pool grid (made by modelGridBuild over
// the same corners) for a plain ball, torus or flat tool: per cell, descending
// by a key that is at least the height bound the tool can reach on the item
// from any point of the cell's rectangle (the item's max z plus what the tool
// adds at the plan distance from the rectangle to the item's box; minus
// infinity when that distance exceeds the radius, plus infinity for a max z
// that is not a number).  A candidate walk can then stop as soon as the next
// key lies below the height reached.  For a flat tool the items whose key is
// not minus infinity keep their order in the cell instead (its walk follows
// the items' order) and the others follow.  Replaces an earlier order.  1
// when ordered, 0 when the grid or tool does not apply (no pool, a tapered
// tool, another type), -1 when memory runs out (the grid then has no order).
int modelGridOrderForTool(ModelGrid* grid, const Vec3d* minCorners, const Vec3d* maxCorners,
                          const ToolShape* tool);

// The ordered items of the cell of (x, y), their keys in *keys and their
// number in *count, when the grid holds an order for exactly this tool's
// type, radius and corner radius and (x, y) lies in the cell's rectangle
// (points outside the grid's box do not).  Null otherwise.
const int32_t* modelGridOrderAt(const ModelGrid* grid, double x, double y, const ToolShape* tool,
                                const float** keys, int* count);

// Bounds of the number of items of the cell of (x, y) whose box lies within
// the tool's radius of (x, y) in plan (by the test of the drop engines:
// neither x, y nor the plan distance beyond the radius, max z a number):
// *sure of them are reachable from every point of the cell's rectangle, at
// most *maybe from any.  In a cell whose bounds straddle
// kModelGridReachSplit, the bounds are those of the sub-cell's rectangle
// that holds (x, y).  False under the conditions in which modelGridOrderAt
// gives null.
bool modelGridOrderReach(const ModelGrid* grid, double x, double y, const ToolShape* tool,
                         int* sure, int* maybe);

// Makes the grid's planes of count items (both kinds, of each item's first
// triangle, and the level shape flags): facets when facets is not null, else
// the triangles of tris.  Replaces earlier planes (and drops the slot marks
// of modelGridLevelSlots).  1 when made, -1 when memory runs out (the grid
// then has none).
int modelGridPlanes(ModelGrid* grid, const Facet* facets, const TriList* tris, int count);

// Marks of a slot of a flat tool's order.  kGridSlotLevelClear: the item's
// level shape flag is set, its box has one z, and its plan box is cleared
// (levelBoxClearedOver) from the whole rectangle of the cell.
// kGridSlotSameTop: the item's max z equals that of the item in the slot
// before it in the same cell.
inline constexpr uint8_t kGridSlotLevelClear = 1;
inline constexpr uint8_t kGridSlotSameTop = 2;

// Marks the slots of the grid's order (orderSlotMarks) when the order is one
// for a flat tool and the grid holds the level shape flags, made over the
// same corners.  Replaces earlier marks (a new order or new planes drop them).
// 1 when made, 0 when the grid has no such order or flags, -1 when memory
// runs out (the grid then has no marks).
int modelGridLevelSlots(ModelGrid* grid, const Vec3d* minCorners, const Vec3d* maxCorners);

// The reach of a tool for the grid margin: its radius, plus the radius growth
// of its taper cone when taperOn is set, at least half its shank diameter.
double modelGridToolMargin(const ToolShape* tool);

// Builds the grids of the model and of every group with items (each with its
// own tool's margin, box and corners) by the 400-cell rule; each new grid
// replaces the earlier one.  A grid that cannot be allocated leaves the model
// or group without one (no failure); a fill failure frees that grid, goes on
// with the rest and makes the result -1.  Otherwise 1.  When a tool has a
// taper, the process-wide tool cone is rebuilt from it before its grid; at the
// end it is rebuilt from the model's tool when that has a taper and the model
// has groups.  Cycle thread only.
int modelBuildGrids(ModelRec* model);

// As modelBuildGrids with cells of about cellSize (for instance the tool
// diameter) in place of the 400-cell rule; cellSize <= 0 is the 400-cell
// rule.  Drop heights do not depend on the choice.  Grids with a cell size
// also get the order of their tool (modelGridOrderForTool) when it applies,
// and the model's own grid the planes of its items (modelGridPlanes); what
// cannot be allocated is left out.
int modelBuildGridsSized(ModelRec* model, double cellSize);

// Builds only the model's own grid (groups untouched), by the 400-cell rule
// or, with cellSize > 0, by cells of about cellSize.  Result as
// modelBuildGrids.  For working copies whose group grids belong to another
// model.
int modelBuildOwnGrid(ModelRec* model, double cellSize);

// The grid of a group built while loading: about kModelGridLoadCells cells,
// margin the group tool's radius.  Replaces the group's grid; 1, or -1 when
// filling failed (the group then has none).  A group without items is left
// alone (1).
int surfaceGroupBuildLoadGrid(SurfaceGroup* group);

// A grid for the holder and head checks, over the model box, whose cells are
// about 2 x reach wide, reach = length x sin(a) + tool radius: a = angle
// (radians, 0.001 when below 0.00001 in size) plus the tool's taper angle when
// its taper is on, at most pi/2.  At most 30 cells per side; margin = reach.
// Null when the model has no tool or no items, or on failure.
ModelGrid* holderClearanceGrid(const ModelRec* model, double length, double angle);

// ---- Diagonal extents --------------------------------------------------------

// Process-wide extents of the facets of the facet model last loaded with the
// diagonal-boxes switch on: entry 2i of diagMin is the smallest c x - c y over
// facet i's four vertices, entry 2i + 1 the smallest c y + c x (c =
// kModelDiagCos); diagMax holds the largest.  Null when none were built.
extern double* diagMin;
extern double* diagMax;

// Sets the diagonal-boxes switch (0 at load).
void modelSetDiagonalBoxes(int flag);
// The switch.
int modelDiagonalBoxesOn();

// Replaces diagMin and diagMax by the extents of count facets (in their
// order).  1, or -1 on allocation failure (both are then null).
int modelBuildDiagonalExtents(const Facet* facets, int count);

// Frees diagMin and diagMax and sets them to null.
void modelFreeDiagonalExtents();
