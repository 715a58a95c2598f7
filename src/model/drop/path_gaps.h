// Gap filters of computed paths: widening the gaps near the ends of
// parameter intervals and turning short cutting runs into gaps.
//
// A gap is a Pline point whose status code is kPointGap; a run is a maximal
// sequence of consecutive points that are not gaps.  Parameters ascend.
// Points that become gaps keep their kind byte.
//
// Threads: the filters change only the Pline they are given (one thread per
// path).
#pragma once

#include "geometry/pline/pline.h"

// Gaps are widened by this many steps at an interval end.
inline constexpr double kGapWidenSteps = 5.0;

// For each parameter interval (a, b) of intervals (count pairs a <= b) with
// midpoint m: when a gap lies in the lower half, every point before it whose
// parameter lies within 5 step after a becomes a gap; when a gap lies in the
// upper half, every point after it within 5 step before b becomes a gap (each
// bound with a slack of 0.00001).  Nothing for a null path or intervals.
void projWidenGapIntervals(Pline* path, double step, const double* intervals, int count);

// Every run whose 3D length is below minLength becomes gaps (a single point
// has length 0).
void projGapShortRuns(Pline* path, double minLength);

// From the first point whose parameter exceeds a - 0.00001, the first gap
// among the points whose parameter does not exceed b + 0.00001; -1 when none.
int plineFirstGapFrom(const Pline* path, double a, double b);

// From the last point whose parameter is below b + 0.00001, backwards, the
// first gap among the points whose parameter is not below a - 0.00001; -1
// when none.
int plineLastGapBefore(const Pline* path, double a, double b);

// 3D length of the polyline from point j to point i; 0 when i < j + 1.
double plineRunLength3d(int i, int j, const Pline* path);
