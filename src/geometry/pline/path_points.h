// Path points and block thinning.
//
// PathPoint is the flat point of point sequences that carry arcs: the arc fit
// (arc_fit.h) marks arc starts, centres and ends in it, and the block
// thinning marks dropped points in it.  The block thinning drops nearly
// straight points in blocks whose size shrinks with the length of the run,
// so that long runs lose proportionally fewer points per chord; pline_thin.h
// applies it to the runs of a Pline.
//
// Thread-safety: every function works on its arguments only.
#pragma once

#include "geometry/pline/pline.h"

// Kinds of a PathPoint.
inline constexpr char kPtKindPath = 'g';     // a point of the path
inline constexpr char kPtKindDropped = 'u';  // dropped by the thinning
inline constexpr char kPtKindArcCw = '-';    // arc start, the arc runs clockwise
inline constexpr char kPtKindArcCcw = '+';   // arc start, counter-clockwise
// Arc marks.
inline constexpr char kPtMarkNo = 'n';
inline constexpr char kPtMarkYes = 'j';

// One point.  A fresh point has kind 'g' and both arc marks 'n'.  On the
// point right after an arc start, x and y hold the arc's centre instead of
// a position.  A plain point has kind 'g' and arcBegin 'n'.
struct PathPoint {
  double x;
  double y;
  double z;
  char kind;
  char arcBegin;  // 'j' when an arc begins here
  char arcEnd;    // 'j' when an arc ends here
};
static_assert(sizeof(PathPoint) == 32, "PathPoint is 32 bytes");

// The fraction of a run of n points that one chord may drop at most (the
// percentage f(n) of the block size table, divided by 100):
//   n <= 5000           99.7 e^(-n/400) + 0.3
//   5000 < n <= 10000   0.5 - 0.00004 n
//   10000 < n <= 40000  99.96 e^(-n/1300) + 0.04
//   n > 40000           99.99 e^(-n/5000) + 0.01
double ptBlockFraction(int n);
// The block size for points points left in a run: max(1, floor(points *
// fraction + 0.5)).
int ptBlockSize(int points, double fraction);

// Distance of (x, y, z) from the chord {origin o, direction d} (chord[0..2]
// o, chord[3..5] d): with h = ((p - o) . d) / (d . d), tol + 1 when h <= 0 or
// h >= 1 (the foot is not strictly inside the chord), else |p - o - h d|.
double ptChordDistance(double x, double y, double z, double tol, const double chord[6]);

// Thins one run of n plain points: marks dropped points with kind 'u'.  A
// chord from an anchor a to a point i may drop the points between them when
// p_i - p_a is not the zero vector, is not longer than maxLen, and every
// point between lies within tol of it (ptChordDistance).  One chord drops at
// most the block size of the points still left; the first and last point
// always stay.  Returns 0 when it dropped a point, else 1 (also for fewer
// than 3 points, which stay unchanged).
int ptThinBlocks(double tol, double maxLen, PathPoint* points, int n);

// The next plain run of more than 2 points at or after start (an arc, from
// its start through its centre point to its end, is stepped over; the run
// after an arc begins at the arc's end point).  Its first index and *len,
// or -1 when there is none (also for count < 1, or an arc whose end mark is
// missing).  A start outside 0..count-1 means 0.
int ptFindRun(const PathPoint* points, int count, int start, int* len);

// The next run of pl at or after from: *first the first point whose status
// code is neither 2 (gap) nor 10 (special), *last the last point before the
// next such point (or the last point).  1, or 0 (with *first = -1) when from
// >= count or no such point remains.
int plineNextRun(int from, const Pline* pl, int* first, int* last);
