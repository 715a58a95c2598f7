// Planar offset of Seg2 chains.
//
// offset2dSegChain offsets an open or closed chain of Seg2 segments by a
// distance to one side and returns a clean chain: convex corners are joined
// (a miter, or a connecting segment tangent to the offset circle about the
// corner), concave corners are trimmed, the loops that form where the chain
// bends tighter than the distance are cut away (offset_loops.h), small gaps
// are closed and a closed input gives a closed result.  A result that comes
// nearer to the input than 0.9 x distance anywhere, or that still crosses
// itself, is retried up to 20 times at slightly larger distances on a cleaned
// copy of the input (short segments dropped, jogs merged); when every try
// fails, the offset reports failure.
//
// The result is one chain.  Where an inward offset splits the region into
// several parts, it is the part the trace starts in.  Where a feature
// collapses exactly (a step, slot or arm exactly twice the distance across),
// the offset runs along a stretch of no width and back: on side +1 the result
// keeps such a stretch, on the other side it is cut away with whatever lies
// beyond it.  An open chain's offset ends at the distance from the input's
// end: where a concave corner swallows the input's last segments, it ends
// where it first comes within the distance of the input's end (as its start
// does at the input's start).
//
// Side: +1 offsets to the left of the direction of travel, any other value to
// the right.  For a counter-clockwise closed chain side +1 goes inward.
//
// Threads: an offset keeps all its state in its own allocations; several
// threads may offset at once, also from the same (read-only) input.  The
// corner-join mode is per thread.
#pragma once

#include "geometry/primitives/vec.h"

// Room for every result of an offset of count segments.  The raw offset
// writes at most 2 x count segments, but the loop trace copies a segment once
// per run that passes it, so a trimmed result can be longer than the raw
// chain; the trace is bounded by its scratch room, max(3 x raw, 1000), and the
// closing adds one.  Saturates at INT_MAX.
int offset2dResultCapacity(int count);

// Offsets count segments of in by distance (>= 0) to side into out, which has
// room for outCapacity segments (see offset2dResultCapacity).  Returns the
// number of result segments (> 0); 0 when no usable offset was found, also
// when the last of the retries still fails its check, and for a negative or
// non-finite distance, a non-finite coordinate in in, count <= 0 or null
// arrays; -1 when memory runs out or the result does not fit into out.  in
// is never changed; out must not overlap in.  A distance below 0.00001 copies in.
int offset2dSegChain(const Seg2* in, int count, double distance, Seg2* out, int outCapacity,
                     int side);

// Corner-join mode of the calling thread: mode 1 joins corners up to about 91
// degrees between the directions with a miter (threshold 1.02), any other mode
// only nearly straight ones (threshold 0.02, the default); wider corners get a
// connecting segment.  Lasts until set again on the same thread.
void offset2dSetCornerJoin(int mode);
// The calling thread's corner-join threshold (0.02 or 1.02).
double offset2dCornerThreshold();

// ---- Steps of an offset (exposed for tests) ------------------------------------

// Join at a convex corner between A and B (A ending where B starts).  A and B
// are replaced by their offsets, cut at the join, and join receives (end of A,
// start of B).  2 for a miter (join has length 0), 1 for a connecting segment,
// -1 when a segment has no direction or the lines do not meet.  At an exact
// reversal (B runs back along A) the join is a square cap at the distance
// beyond the corner.
int offset2dCornerJoin(Seg2* a, Seg2* b, double distance, Seg2* join, int side);

// Raw offset of n segments of in into out (room for outCapacity >= 2n + 1),
// *m receives the count.  1 clean, -1 a gap stayed at a concave corner, -2 the
// closing segments overlap collinearly, -3 clean but the chain reverses
// somewhere (a 180 degree turn, joined as a convex corner); 0 when a segment is
// shorter than 1e-7, a corner join fails or out is too small.
int offset2dSegChainRaw(double distance, const Seg2* in, int n, Seg2* out, int outCapacity, int* m,
                        int side);

// Removes, in place and in order, the segments whose ends agree within 0.0001;
// returns the new count.
int seg2ChainDropZeroLength(Seg2* chain, int n);
// Removes, in place and in order, the segments shorter than tolerance; returns
// the new count.
int seg2ChainDropShort(Seg2* chain, int n, double tolerance);
// Merges short jogs (segments up to maxLength between two turns that do not
// keep one turning sense) into their neighbours, meeting at the jog's
// midpoint; returns the new count.
int offset2dRemoveJogs(Seg2* chain, int n, double maxLength);
// 1 when both ends of every result segment lie at least 0.9 x distance from
// the input chain and no result segment comes nearer to an input segment than
// that less 0.0001 anywhere between its ends (always for m <= 0), else 0.
int offset2dKeepsDistance(const Seg2* in, int n, double distance, const Seg2* out, int m);
// Crossings of chain (m segments) with the circle (centre x, y, radius) in
// segment order: both points of a segment that cuts it twice, one point unless
// it is an end of its segment, tangent points never.  Points and 1-based
// segment numbers are written to points and segs (room for capacity each);
// returns the number found, which may exceed capacity (only capacity are
// written).
int seg2ChainCircleCrossings(int m, const Seg2* chain, double cx, double cy, double radius,
                             Vec2d* points, int* segs, int capacity);
