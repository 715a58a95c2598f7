// The slope search of the torus edge contact, arranged for speed.
//
// torusEdgeSlopeParam has the contract and the results of torusSlopeParam
// (geometry/mat4.h) bit for bit: the same bisection, the same midpoints, the
// same decisions and the same answer.  Only the order of work differs: the
// midpoints of the next three bisection levels do not depend on the outcome
// of the levels above them, so their slopes are computed together (seven
// independent evaluations that the processor overlaps) and the decisions are
// then replayed one level after the other.  Evaluations that the plain
// search would never reach are discarded unread, so a non-finite value there
// changes nothing.
//
// Threads: pure; any number of threads may call it at once.
#pragma once

// Offset of the search interval from the tube's lowest line and from its
// outer rim, and the tolerance in position and in slope (the values of the
// plain search).
inline constexpr double kTorusEdgeRimOffset = 1e-6;
inline constexpr double kTorusEdgeSlopeTol = 0.001;

// Along the line of points (t, h), t increasing, the t where the slope of the
// lower half of the torus (tube radius r, centre-circle radius R, axis z)
// equals slope, found by bisection to kTorusEdgeSlopeTol between the tube's
// lowest line and its outer rim.  Returns 0 with *t, or -1 with *t unchanged
// when the line misses the tube ((r + R)^2 <= h^2), the slope is not
// bracketed, or an evaluation the search reaches is not finite.
int torusEdgeSlopeParam(double* t, double r, double R, double h, double slope);

// True when torusEdgeSlopeParam surely gives no position t within [lo, hi]
// (or none at all), found without the search.  Between the search's bounds
// the slope grows with t (the tube's lower surface is convex along a line),
// so a slope at lo above the wanted one by more than the search's tolerance
// puts every position it can give below lo, and one below it at hi plus the
// search's last interval puts every position above hi; the margins stay far
// above the rounding of the slopes.
bool torusEdgeSlopeMisses(double r, double R, double h, double slope, double lo, double hi);
