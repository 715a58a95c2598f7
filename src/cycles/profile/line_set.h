// Stepping a guide curve across a boundary, and the set of all lines of one
// infeed level that the parallel driver drops the tool along.
//
// Each line of a LineSet is a private copy of the guide curve at one
// position, kept together with the boundary's inside intervals at that
// position.
//
// Threads: building a set, stepping and restarting run on the cycle thread;
// a finished set is read by the threads of the parallel loop.
#pragma once

#include "boundaries/boundary_rec.h"
#include "geometry/curves/curve.h"

// Positions within this of each other are one position.
inline constexpr double kLineStepTol = 0.00001;
// A rest of the range below this gets no shortened last step.
inline constexpr double kLineLastStepMin = 0.00002;

// Inside intervals of one line of a set.
struct LineCrossings {
  int count;        // pairs in points
  BndPair* points;  // owned, null when count is 0
};

struct LineSet {
  int capacity;
  int count;
  CurveRec** curves;         // the line copies (owned, kind 'p')
  LineCrossings* crossings;  // one entry per line
};

// Steppers of the guide-curve kinds whose steps the guide-curve module
// computes ('e', 'f', 'n', 'r'): one step by a distance, and the kind's own
// reset after a restart (null when the kind has none).  Both return 0 or -1.
struct GuideKindSteppers {
  int (*step)(CurveRec* curve, double distance);
  int (*reset)(CurveRec* curve);
};

// Installs the steppers of one of the kinds 'e', 'f', 'n' and 'r' (any other
// kind is ignored).  Until a kind's step is installed, stepping a curve of
// that kind fails.  Cycle thread, outside parallel regions.
void curveSetGuideSteppers(char kind, GuideKindSteppers steppers);

// Moves the curve on by one step of distance (> 0):
//   'p'       curveOffset by distance, negated when the side flag is set;
//   'x', 'y'  both points shifted by distance along the left normal of the
//             line (the right normal when the side flag is set);
//   'e', 'f', 'n', 'r'  the kind's installed stepper.
// 0, or -1 for a null curve, another kind, a degenerate line or a failing
// step.
int curveStepOver(CurveRec* curve, double distance);

// Puts the curve back to its first line.
//   'e', 'p'  the first profile of the curve's file is read again into storage
//             the curve owns (with z values when the curve has them), the
//             lengths run from 0, the points are reversed when the reverse
//             flag is set, and the curve is offset by its first step offset;
//   'x', 'y'  the two points are rebuilt from the box: 'x' from xMin to xMax
//             (xMax to xMin when reversed) at y = yMin when (reverse ? side :
//             !side), else at yMax; 'y' from yMin to yMax (reversed: yMax to
//             yMin) at x = xMax under the same condition, else at xMin;
//   'n', 'r', 'f'  the kind's installed reset (none installed: nothing to
//             do).
// 0, or -1 for a null curve, another kind, a file that cannot be read or a
// failing offset or reset (a failed re-read leaves the curve as it was).
int curveStepRestart(CurveRec* curve);

// Capacity (at least 1), count 0, both arrays allocated.  1, or -1 when out
// of memory (the set is then empty with capacity 0).
int lineSetInit(LineSet* set, int capacity);

// Appends a copy of the curve (owned points, lengths and z values) with a
// copy of the boundary's current intervals (none for a null boundary); grows
// the arrays by half when full.  1, or -1 when out of memory (the set is then
// unchanged).
int lineSetAppendCurve(LineSet* set, const CurveRec* curve, const BoundaryRec* boundary);

// Frees the line copies, their intervals and both arrays; the set is empty
// afterwards.  Null allowed.
void lineSetFree(LineSet* set);

// Adds the lines of one level: for every curve of the chain, from its first
// step offset b to its last step offset c (each curve its own, stepping down
// when c < b) by spacing s > 0: restart the curve, then a line at b and one
// after every step of s while the position stays within c + 0.00001.  When
// the next step would pass c by more than kLineLastStepMin and no clip
// surfaces are in use, that step is shortened so that the last line lies at
// c.  Each line carries the boundary's intervals at its position
// (bndSetCurveIntervals).  A curve that cannot restart or step gives no
// further lines.  useClipSurfaces: the job's clip surfaces are set.
// 1, or -1 when memory runs out.
int lineSetBuild(LineSet* set, double spacing, CurveRec* chain, BoundaryRec* boundary,
                 int useClipSurfaces);
