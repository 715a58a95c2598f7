// A grid of model heights: the surface height under each grid point, taken
// by dropping a point tool along the grid's columns.  The drivers build one
// over the model box when the holder check is on; the path holder check
// tests holder and head only while the link parameters hold one.
//
// Cycle thread only (the fill switches the contact tool override).
#pragma once

#include "geometry/primitives/vec.h"
#include "model/mesh/model.h"

struct ModelGrid;

struct HeightGrid {
  int rows;        // along y
  int columns;     // along x
  double xOrigin;  // the box minimum
  double yOrigin;
  double cell;
  double defaultHeight;  // -10000 when built, the model's floor once filled
  double** rowHeights;   // one array of columns heights per row; cell (i, j)
                         // lies at x origin + j x cell, y origin + i x cell
  ModelGrid* grid;       // attached grid, freed with the height grid; null
};

// Height left in a grid point where the point tool touches nothing: the
// model's floor less this.
inline constexpr double kHeightGridNoContactDrop = 1;

// A grid over the box in x and y with the given cell size; its heights are
// not set.  A cell size below 0.00001 in size gives a grid without rows and
// columns.  Null when memory runs out.
HeightGrid* heightGridNew(double cell, const Vec3d& boxMin, const Vec3d& boxMax);
// Fills the heights from the model: each column is a drop along a line in
// y; a point without contact (or a gap) gets the floor less one.  A failed
// drop ends the fill early (1, the later columns keep what they held).  1,
// or -1 when a line or a path cannot be made.
int heightGridFill(HeightGrid* grid, const ModelRec* model);
void heightGridFree(HeightGrid* grid);
