// Arc fitting of planar point sequences.
//
// arcfitRun marks, in a PathPoint sequence, the longest runs of four or more
// points that lie on a circle within a tolerance (arc start, centre, end and
// direction), then thins the plain runs between the arcs with the block
// thinning (path_points.h).  The caller then reads the result element by
// element: lines to the next kept point, and arcs with their centre and
// direction.
//
// An arc from point s to point e (e >= s + 3) is marked by arcBegin 'j' and
// kind '-' (clockwise) or '+' (counter-clockwise) on point s, the centre in
// x and y of point s + 1 (its position is given up), and arcEnd 'j' on point
// e.  Consecutive arcs share their end and start point.
//
// Thread-safety: every function works on its arguments only.
#pragma once

#include "geometry/pline/path_points.h"
#include "geometry/primitives/vec.h"

// Element types of arcfitNextElement.
inline constexpr int kArcfitLine = 1;
inline constexpr int kArcfitArcCw = 2;
inline constexpr int kArcfitArcCcw = 3;

// Smallest radius limit.
inline constexpr double kArcfitMinRadius = 0.000001;
// Centre search: first step length, smallest step, most iterations.
inline constexpr double kArcfitCentreStep = 10.0;
inline constexpr double kArcfitCentreMinStep = 0.000001;
inline constexpr int kArcfitCentreIterations = 751;
// Arc checks: least cosine between consecutive chords (a turn below 30
// degrees), largest turn (sine), longest arc length in radii.
inline constexpr double kArcfitMinChordCos = 0.866;
inline constexpr double kArcfitMaxTurn = 0.1;
inline constexpr double kArcfitMaxSweep = 3.2;

// count + 1 zeroed points (the one behind the last stays zero); the first
// count get kind 'g' and both arc marks 'n'.  Null for count < 0 or on no
// memory.  The caller frees the array with arcfitFreePoints.
PathPoint* arcfitAllocPoints(int count);
// Such an array with x and y from xy[0..count-1] and z 0.  Null when xy is
// null (and count > 0) or on no memory.
PathPoint* arcfitMakePoints(const Vec2d* xy, int count);
void arcfitFreePoints(PathPoint* points);

// Marks arcs (tolerance tol: largest radial spread of the points, radius
// limits rMin (at least kArcfitMinRadius) and rMax (twice rMin when not
// above it)) and then thins the plain runs (chords up to maxLen).  1 when
// either marked anything, else 0.  Fewer than 4 points are only thinned.
int arcfitRun(PathPoint* points, int count, double tol, double rMin, double rMax, double maxLen);

// The first point and 0; -1 when count <= 0.
int arcfitFirstPoint(const PathPoint* points, int count, double* x, double* y, double* z);

// The element that starts at point i: its type (kArcfitLine, kArcfitArcCw,
// kArcfitArcCcw; -1 when there is none), its end point and, for an arc, its
// centre.  Returns the end point's index, from which the next element
// starts, or -1 (type -1) when i >= count - 1, when no kept point follows,
// or when an arc has no end mark.
int arcfitNextElement(int i, const PathPoint* points, int count, int* type, double* x, double* y,
                      double* z, double* cx, double* cy);

// Steps of arcfitRun, exposed for tests.

// Grows and marks the arcs.  1 when an arc was marked, else 0.
int arcfitGrowArcs(PathPoint* points, int count, double tol, double rMin, double rMax);
// Thins every plain run of more than 2 points.  1 when a point was dropped.
int arcfitThinRuns(PathPoint* points, int count, double tol, double maxLen);
