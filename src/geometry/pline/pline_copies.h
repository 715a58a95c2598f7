// Compacting copies of a Pline, the point at a parameter searched from the
// nearer end, and the removal of spikes (points where the path turns back).
//
// Threads: no shared state; one thread works on one Pline at a time.
#pragma once

#include "geometry/pline/pline.h"

// Points turning back by more than 120 degrees: the dot product of the unit
// directions in and out is below this.
inline constexpr double kPlineSpikeDot = -0.5;

// Replaces dst's points by those of src whose status is not kPointDropped,
// with their parameters, status words, axes and flags; dst's capacity becomes
// src's count, it has axes and flags exactly when src has them, and it takes
// src's tag (its next link stays).  All new arrays are allocated before dst
// changes, so a failure leaves dst as it was; src may be dst.  1, or -1 for a
// null src or dst or a failed allocation.
int plineCopyCompacted(const Pline* src, Pline* dst);

// The same, leaving out the gap points (kPointGap) as well.
int plineCopyUnmarked(const Pline* src, Pline* dst);

// The point at parameter t on a Pline with ascending parameters, searched
// from the nearer end: backward when params[last] - t < t - params[0], else
// forward.  Forward, the segment is i - 1 for the first i from 1 whose
// parameter exceeds t - 0.00001 (the last segment when none does); backward,
// the segment is the last k from count - 2 down whose parameter is below
// t + 0.00001 (segment 0 when none is).  The point is the segment's start when
// t equals its parameter within 0.00001 or the segment has no parameter span,
// else the linear interpolation (or extrapolation, for a t outside the
// parameters) along the segment.  Returns the segment's start index; a Pline
// of one point gives that point and 0; -1 (out untouched) for a null or empty
// Pline or a t that is not a number.
int plinePointAtParam(const Pline* pl, double t, Vec3d* out);
// The two searches on their own (same results where both apply).
int plinePointAtParamFromStart(const Pline* pl, double t, Vec3d* out);
int plinePointAtParamFromEnd(const Pline* pl, double t, Vec3d* out);

// One pass: marks every point j with 2 <= j <= count - 3 for which none of
// j - 1, j, j + 1 is a gap, the segments in and out are at least 0.00001 long
// and the path turns back (dot of their unit directions below
// kPlineSpikeDot), then deletes the marked points from all per-point arrays.
// Returns the new count (the old count when the marks cannot be allocated; 0
// for null).
int plineSpikePass(Pline* pl);

// Repeats plineSpikePass until a pass removes nothing.
void plineRemoveSpikes(Pline* pl);
