// Collision test of the tool body along its own axis.
//
// The tool stands at a position P with a unit axis D (from the tip into the
// holder).  It is brought down along the axis, travelling d = -D from the
// start S = P + L D, L being the body length, to P.  Every facet or triangle
// that the tool touches on the way, above P by more than the model tolerance,
// makes the body collide.  The model's own surfaces are tested with the
// model's tool, every surface group with the group's own tool.
//
// Heights along the travel: a tool centre C has the height h = d . (S - C);
// the tool at P has height -L, and a contact lifts the tool L + h above P
// along the axis.  The contact cases per shape are those of the vertical drop
// (contact_triangle.h) in a frame whose z axis is D, with the tolerance set
// of this test (contactBallTriangleAxis and friends).
//
// Stock mode: the stock marking asks whether the body touches the stock at
// all; then (facet models) any contact above the model tolerance is a
// collision, also one at or below P along the axis.  Outside stock mode the
// contact itself must lie above P along the axis by 0.00001.
//
// Threads: the test keeps all its working values in locals and only reads
// the model, so any number of threads may test at once.  The stock-mode flag
// is process-wide (atomic): set it on the cycle thread before parallel work.
#pragma once

#include "geometry/primitives/vec.h"
#include "model/mesh/model.h"

struct ModelGrid;

// Results of the test.
inline constexpr int kCollFree = 1;
inline constexpr int kCollHit = -2;

// A contact counts when it lifts the tool at least this much above P.
inline constexpr double kCollAxisMinLift = 0.00001;
// Outside stock mode a contact collides when it lies at least this far
// above P along the axis.
inline constexpr double kCollAxisAboveTol = 0.00001;
// Components of d below this count as zero (vertical axis, upward axis).
inline constexpr double kCollAxisDirTol = 0.00001;
// Slack of the early stop height.
inline constexpr double kCollAxisStopTol = 0.00001;

// Where the walk of one model ended up: whether a contact was found, the
// largest lift and its contact point.
struct CollAxisContact {
  int found;      // 1 when some surface lifted the tool by kCollAxisMinLift
  double lift;    // the largest lift (0 when none)
  Vec3d contact;  // contact point of the largest lift
};

// 1 when the tool body at position with the given axis is free over a body
// length, -2 when it collides.  Triangle models (kind 3) go to
// collToolAxisTris, all others to collToolAxisFacets.  With a grid, the
// model's own items are narrowed to those of the grid cell that holds the xy
// point P + sin(angle) x length / 2 x D (the grid must be one over the
// model's own items; groups are always walked whole); without one every item
// is walked.  axis need not be unit; a zero axis counts as (0, 0, 1).
// Reads the model and the stock-mode flag only.
int collToolAxisTest(const ModelRec* model, const Vec3d* position, const Vec3d* axis, double length,
                     const ModelGrid* grid, double angle);

// The test on a facet model, and on a triangle model (where the stock mode is
// not consulted).  Same arguments and results.
int collToolAxisFacets(const ModelRec* model, const Vec3d* position, const Vec3d* axis,
                       double length, const ModelGrid* grid, double angle);
int collToolAxisTris(const ModelRec* model, const Vec3d* position, const Vec3d* axis, double length,
                     const ModelGrid* grid, double angle);

// The walks behind the test: the largest lift of the tool over the model's
// own surfaces and its groups, without the verdict.
CollAxisContact collToolAxisContact(const ModelRec* model, const Vec3d* position, const Vec3d* axis,
                                    double length, const ModelGrid* grid, double angle);

// Sets the stock-mode flag (0 at load); returns the flag it replaced.
int collToolAxisSetStockMode(int flag);
// The stock-mode flag.
int collToolAxisStockMode();
// Clears the stock-mode flag: called at the start of every run.
void collToolAxisReset();
