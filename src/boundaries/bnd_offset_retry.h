// The offset of a boundary contour when the planar offset yields nothing:
// the distance is split into halves down to a thirty-second, closed contours
// are offset as point loops (rejecting results that split off too much),
// short leading segments of open chains are left out, and one retry with a
// distance 0.01 smaller follows when the result lost its closure or most of
// its segments.
//
// The 29th call in the life of the process writes its input contour to
// "problem.bnd" in the working directory when the geometry debug marker asks
// for debug output.
//
// Cycle thread only (one process-wide call counter).
#pragma once

#include "geometry/primitives/vec.h"

// Room that a result array of bndOffsetRetry, and every step of it, needs
// for a contour of n segments: a closed-loop step can give 3n + 9.
int bndOffsetRetryCapacity(int n);

// Offsets n segments of segs by d (> 0) to side (+1 or -1, relative to the
// orientation as for offset2dSegChain) into out, which has room for
// outCapacity segments (at least bndOffsetRetryCapacity(n)).  Returns the
// number of result segments, or -1 when every attempt failed, the result
// does not fit or memory runs out.  segs is never changed.
int bndOffsetRetry(const Seg2* segs, int n, double d, Seg2* out, int outCapacity, int side);

// Writes one BND block: "**BND side distance", the chain's points in
// internal coordinates with "Z0", "**END".  Nothing when the file cannot
// be created.
void bndWriteProblemFile(int n, double distance, int side, const char* fileName, const Seg2* segs);

// Puts the call counter back to its load value (for tests).
void bndOffsetRetryResetCounter();
