// The tool-path polyline Pline and its per-point status words.
//
// A Pline holds parallel arrays, all with room for `capacity` points: the
// points, optional second vectors (`axes`: tool axes or contact points, as the
// producer decides) with one flag byte per point, a parameter per point
// (ascending, or descending on a reversed line) and a PointStatus word per
// point.  Operations that need an axis where a Pline has none use (0, 0, 1).
// The parameter direction is never stored: it is read from the first and last
// parameter (descending when there are two or more points and the last is
// below the first).
//
// Ownership: plineNew / plineNewCapped hand out a Pline that the caller frees
// with plineFree.  plineFree never follows `next`; chains are freed by their
// owners.  The arrays are allocated with the kernel memory helpers and may
// move whenever a function here grows the Pline: never keep pointers into
// them across a call that inserts.
//
// Thread-safety: a Pline is not locked; one thread works on one Pline at a
// time.  The search hint of plineFindParam and the split index of
// plineSplitAtParam are per thread, so threads working on their own Plines
// never race, and plineSplitIndex returns the calling thread's last split.
#pragma once

#include <cstdint>

#include "geometry/primitives/vec.h"

// Status word of a Pline point: kind in the low byte, status code in the high
// byte.
using PointStatus = std::uint16_t;
static_assert(sizeof(PointStatus) == 2, "PointStatus is 2 bytes");

// Kind byte values.
inline constexpr int kPointKindNoContact = 0;  // the drop found nothing here
inline constexpr int kPointKindContact = 1;    // contact, or made by split/densify
inline constexpr int kPointKindApart = 100;    // merged by reductions only with its kind

// Status code values.
inline constexpr int kPointCut = 0;            // kept cutting point
inline constexpr int kPointBridged = 1;        // bridged gap candidate / face contact
inline constexpr int kPointGap = 2;            // gap: runs end here
inline constexpr int kPointDropped = 3;        // dropped by a filter
inline constexpr int kPointGapCandidate = 4;   // gap candidate / footprint outside
inline constexpr int kPointRisingMark = 5;     // temporary mark of plineApplyClimbMode
inline constexpr int kPointChordMark = 6;      // temporary mark of the chord reduction
inline constexpr int kPointSpecial = 10;       // special piece / collision zone
inline constexpr int kPointLocked = 11;        // temporary lock of the ranked reductions
inline constexpr int kPointForeignMark = 100;  // mark of another module's test

// Builds a status word from a kind byte and a status code (each 0..255).
constexpr PointStatus pointStatusMake(int kind, int code) {
  return static_cast<PointStatus>(((code & 0xff) << 8) | (kind & 0xff));
}
// The kind byte of a status word.
constexpr int pointStatusKind(PointStatus s) { return s & 0xff; }
// The status code of a status word.
constexpr int pointStatusCode(PointStatus s) { return (s >> 8) & 0xff; }
// s with its status code replaced by code; the kind byte is kept.
constexpr PointStatus pointStatusWithCode(PointStatus s, int code) {
  return pointStatusMake(pointStatusKind(s), code);
}

// First allocation cap of plineNewCapped.
inline constexpr int kPlineCapacityCap = 40000;
// First and last point closer than this (3D) make a Pline closed for
// plineShiftStart.
inline constexpr double kPlineClosedTol = 0.1;

// Climb modes of plineApplyClimbMode.
inline constexpr int kPlineClimbUpward = 2;
inline constexpr int kPlineClimbDownward = 3;

struct Pline {
  int capacity;         // points the arrays can hold
  int count;            // points in use
  int tag;              // caller's value; plineReverse negates it
  Vec3d* points;        // tool positions
  Vec3d* axes;          // second vector per point, or null
  std::uint8_t* flags;  // one byte per point (present with axes), or null
  double* params;       // parameter per point
  PointStatus* status;  // status word per point
  Pline* next;          // chain link, owned by the chain's owner
};

// ---- Creation and release ------------------------------------------------

// A new empty Pline (count 0, tag 0, next null) with room for capacity points
// and, when withAxes is non-zero, axes and flag bytes.  Null for a negative
// capacity or when the record, parameters, status words, points or flag bytes
// cannot be allocated; when only the axes fail the Pline comes back without
// axes and flags.  Capacity 0 is allowed (the first insert grows it).
Pline* plineNew(int capacity, int withAxes);

// plineNew with the capacity capped at kPlineCapacityCap; when that fails,
// retries once with a tenth of the capped capacity (at least 1).  The cap
// limits only the first allocation: inserts grow the Pline beyond it.
Pline* plineNewCapped(int capacity, int withAxes);

// Frees the arrays and the record (not `next`).  Returns 1, or 0 for null.
int plineFree(Pline* pl);

// ---- Inserting -----------------------------------------------------------
// Each stores, at the chosen index i, the point, the parameter, the status
// word (its kind byte cleared when its status code is kPointGap), the axis
// (when the Pline has axes; (0, 0, 1) for a null axis) and the flag byte (when
// it has flags); the points from i on move up by one.  When the Pline is full
// it grows to (int)(capacity x 1.5), at least capacity + 1.  Result i, or -1
// for a null Pline or a failed growth; a failed growth leaves the Pline
// unchanged and usable.

// Inserts after the last point whose parameter is below param - kGeoEqualTol
// (ascending) or above it (descending), scanning back from the end; index 0
// when there is none.  A parameter equal to an existing one within the
// tolerance goes before it on an ascending Pline, after it on a descending
// one.  Cost: proportional to the points behind the insert position.
int InsertPline(Pline* pl, double param, const Vec3d* point, int status, const Vec3d* axis,
                int flag);

// Inserts by bisection (no tolerance): appends when the Pline is empty or
// param lies beyond the last point in the parameter direction; inserts at 0
// when it lies strictly before the first point; otherwise after the last
// point lo with params[lo] <= param (ascending; >= when descending).
int plineInsertBisect(Pline* pl, double param, const Vec3d* point, int status, const Vec3d* axis,
                      int flag);

// Stores at index count.
int plineAppend(Pline* pl, double param, const Vec3d* point, int status, const Vec3d* axis,
                int flag);

// ---- Queries -------------------------------------------------------------

// Index of a point whose parameter equals param within kGeoEqualTol, or -1
// (also for a null or empty Pline).  Parameters must ascend.  The point after
// the calling thread's last hit is tried first; otherwise the highest index
// within the tolerance is found by bisection (O(log n)); the result is that of
// a backward scan from the last point that gives up at the first parameter
// below param - kGeoEqualTol, which is also what a descending Pline gets (a
// reversed line is found only through the hint or near its end).  On success copies
// the point to *point and sets *hasAxis to 1 with the axis in *axis when the
// Pline has axes and flags, else to 0 (each output may be null).  The result
// becomes the thread's new hint.
int plineFindParam(Pline* pl, double param, Vec3d* point, Vec3d* axis, int* hasAxis);

// 1 when i is the last point (or beyond) or the next point is a gap, else 0.
int plineIsRunEnd(const Pline* pl, int i);

// 0 for a null Pline or an index outside 0..count-1; 1 when exactly one of
// points i and j is a gap, or exactly one is a gap candidate; else 0.
int plineIsBreakBetween(const Pline* pl, int i, int j);

// Sum of the 3D lengths of the segments neither end of which is a gap.
double plineCutLength(const Pline* pl);

// The point at param on a Pline with ascending parameters, written to *out:
// with i the first index from 1 whose parameter exceeds param - kGeoEqualTol
// (the last index when none does), point i-1 when param equals its parameter
// within the tolerance, else the linear interpolation between points i-1 and
// i.  Returns i-1, or -1 when the Pline is empty, param is below the first
// parameter, param exceeds the last by more than the tolerance, or param is
// NaN.  A one-point Pline gives point 0 (result 0).  O(log n).
int plinePointAtParamFwd(const Pline* pl, double param, Vec3d* out);

// Point (as plinePointAtParamFwd) and axis at param: the axis of segment i
// turned toward the axis of point i+1 by f times the angle between them,
// f = (param - params[i]) / (params[i+1] - params[i]) (f = 0 when the span is
// zero).  At the last point the axis is that point's axis.  Returns 1, or -1
// when the Pline has no axes or the point lookup fails (*point is then set as
// plinePointAtParamFwd sets it).
int plineAxisAtParam(const Pline* pl, double param, Vec3d* point, Vec3d* axis);

// ---- Marking -------------------------------------------------------------

// Every point whose kind byte is 0 becomes a gap.  Returns count (0 for null).
int plineGapUnflagged(Pline* pl);

// Decides the gap candidates.  A point is solid when its kind byte is not 0
// and its code is neither gap nor gap candidate.  For every stretch of
// non-solid points, its gap candidates become bridged when a solid point lies
// before the stretch and the solid point after it lies closer than maxGap (3D)
// to that one; otherwise they become gaps.
void plineBridgeShortGaps(Pline* pl, double maxGap);

// Applies the job's climbing direction: kPlineClimbUpward raises z along each
// run to be non-decreasing and keeps only the first run cutting;
// kPlineClimbDownward turns rising stretches (total rise of 1 or more) and
// cutting runs shorter than 1 into gaps.  Other modes change nothing.
void plineApplyClimbMode(Pline* pl, int mode);

// ---- Editing -------------------------------------------------------------

// Reverses every per-point array (parameters keep their values, so their
// direction flips) and negates a non-zero tag.  Returns the new tag (0 for
// null).
int plineReverse(Pline* pl);

// Nothing when n <= 0 or n >= count.  A closed Pline (first and last point
// closer than kPlineClosedTol) is rotated n times by one point, keeping its
// count and its closing point; an open one loses its first n points.  O(count).
void plineShiftStart(Pline* pl, int n);

// Empties dst, copies the tag and appends every point of src with its
// parameter, status, axis ((0, 0, 1) when src has none) and flag (0 when src
// has none).  dst keeps its own axes choice.  1, or -1 when an append fails.
// dst and src must differ.
int plineCopy(Pline* dst, const Pline* src);

// Empties dst, copies the tag and copies the points from..to (inclusive) of
// src in their order, with parameters, status words, axes (when src has them)
// and flags.  Points whose parameters agree within the tolerance keep their
// order.  1, or -1 when from or to lies outside 0..count-1, from > to (dst
// then unchanged), or an insert fails.  dst and src must differ.
int plineCopyRange(Pline* dst, const Pline* src, int from, int to);

// Makes sure a point exists at param.  Returns 0 when an existing point lies
// within tol of param (its index becomes the split index), 1 when a point was
// interpolated and inserted (kind 1, the first point's status code, flag 1, no
// interpolated axis: callers set it at plineSplitIndex), or -1 (split index
// -1) when param lies beyond the end, the bracketing segment has no parameter
// span, or the insert fails.
int plineSplitAtParam(Pline* pl, double param, double tol);

// The calling thread's split index of its last plineSplitAtParam (-1 at the
// start of a thread or after a failed split).
int plineSplitIndex();

// params[0] = 0 and every further parameter the 3D arc length from point 0.
void plineArcLengthParams(Pline* pl);

// Sets arc-length parameters, then inserts points so that no cutting segment
// (neither end a gap) is at least step + kGeoEqualTol long: a segment of
// length L gets n - 1 points at fractions k / n, n = (int)(L / step) + 1,
// with kind 1, code kPointSpecial when an end is special (else 0), flag 1 and
// no interpolated axis.  Returns 0 when |step| < kGeoEqualTol, 1 when done,
// -1 when the points do not fit in memory or in an int count (the Pline then
// keeps its points, with the new parameters).  O(count + inserted points).
int plineDensify(Pline* pl, double step);
