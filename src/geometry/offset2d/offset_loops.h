// Loop removal of a raw planar offset chain.
//
// Where a chain bends tighter than the offset distance, its raw offset forms
// loops that cross the rest of the offset.  The self-crossings of the raw
// chain (offset2dSelfCrossings) are classified here: for each one, how the
// outer path passes through it, or that it lies nearer to the input chain than
// the offset distance.  The outer path is then traced from crossing to
// crossing, copying the runs of raw segments between them; the loops are what
// the trace leaves out.
//
// Record states during one trace: 0 = the path enters on the record's first
// segment and leaves on its second; 1 = it enters on the second and leaves on
// the first (a trace starts at a state-1 record); 2 = used by the trace.
//
// No limit on the length of a chain or of a trace: crossings on any segment
// number may be chosen, and a trace of any length is kept as long as it fits
// into the caller's output.  A trace that cannot be completed (a step that
// would walk backwards, a run with a gap, or no room) sets *failed.
//
// Threads: pure functions of their arguments; the failure flag is the
// caller's (one per offset call).
#pragma once

#include <set>
#include <vector>

#include "geometry/offset2d/seg2_crossings.h"
#include "geometry/primitives/vec.h"

// Radius within which a point lies nearer to the input than distance:
// distance - min(distance / 100, 0.001), a margin for the rounding of the
// offset's points.
double offset2dNearRadius(double distance);

// 1 when x and y of a and b each agree within 0.0001, else 0.
int ptEqual2d(const Vec2d* a, const Vec2d* b);

// Points where segment s cuts the circle about centre: both points when s
// cuts it twice, the one point when it is not an end of s (ends within
// 0.0001), none for a tangent point.  Returns how many were written to out.
int seg2CircleCutPoints(const Seg2* s, const Vec2d* centre, double radius, Vec2d out[2]);

// 1 when some segment of chain (n segments) crosses the circle about centre:
// two points on a segment, or one that is not an end of it.  A tangent point
// does not count.  0 otherwise and for n <= 0.
int seg2ChainCutsCircle(const Vec2d* centre, double radius, const Seg2* chain, int n);

// Along s (along x, or along y when s is nearly vertical): 1 when p lies
// beyond o, 2 when p lies before o or at the same place.
int seg2PointOrderOnSegment(const Seg2* s, const Vec2d* p, const Vec2d* o);

// Turn class of a self-crossing of chain (m segments): 1 or 2 from the
// directions in which the first and the second branch leave the crossing and
// the offset side (1 = the path enters on the second branch for side 1).
// Branches that leave along one ray (within 0.0001 rad) are told apart by the
// directions they come in from, as a straight crossing would be.  Branches
// that leave in opposite directions, one back along the way the other came
// in (the ends of a stretch the chain runs both ways), are classed as if that
// stretch lay to the left of the first branch, as offset2dSelfCrossings
// decides such contacts.  A record at the chain's start whose second segment
// is the chain's last (the start record of a trace) has class 1: the path
// leaves there on the first; for a side other than 1 it has class 2 where a
// closed chain turns straight back at its start.
int seg2IsectTurnClass(int side, const Seg2* chain, int m, const Seg2Isect* rec);

// Sets the state of records n-1 down to 0 of recs, self-crossings of the raw
// offset chain (m segments) of in (inCount segments) at distance on side:
// 0 when the crossing lies nearer to in than offset2dNearRadius(distance), or
// when the chain's start crossing leads that near; else the turn class
// decides (class 1 gives 1).  Throws std::bad_alloc when the search tree over
// in cannot be allocated.
void offset2dMarkCrossings(Seg2Isect* recs, int n, const Seg2* chain, int m, const Seg2* in,
                           int inCount, double distance, int side);

// Picks the crossing the outer path meets next after record cur when it leaves
// cur on its first (key 1) or second (key 2) segment: the nearest one ahead
// along the chain that is unused and not of state key.  1 with *next set, or 0
// when there is none.
int offset2dNextCrossing(const Seg2* chain, int key, const Seg2Isect* recs, int n, int cur,
                         int* next);

// Copies the run of chain segments from crossing cur to the next crossing
// into out (room for outCapacity segments), starting at cur's point and ending
// at the next crossing's point; *count receives the number of segments.
// Returns the index of the next record (0 when the run goes back to the start
// record), -1 when the step would walk backwards or its run has a gap, -2 when
// the run does not fit.
int offset2dTraceStep(const Seg2* chain, int m, int key, Seg2Isect* recs, int n, int cur, Seg2* out,
                      int outCapacity, int* count);

// Traces the outer path from record 0 back to it.  Returns the number of
// segments written to out.  A failed step sets *failed and gives 0 (or the
// partial trace when it already holds more than two thirds of the chain's m
// segments; *failed stays set).
int offset2dTraceLoop(Seg2Isect* recs, int n, const Seg2* chain, int m, Seg2* out, int outCapacity,
                      int* failed);

// Moves the first record of state 1 to the front and traces from it; 0 when
// there is none.  Same results as offset2dTraceLoop.
int offset2dTraceOuter(Seg2Isect* recs, int n, const Seg2* chain, int m, Seg2* out, int outCapacity,
                       int* failed);

namespace offset2d_detail {

struct NextCrossingScan;

// The records of a trace by entry segment, so that a step of
// offset2dTraceLoop reads only the records of the segment it leaves on and
// of the first segment after it that holds a record it may take, instead of
// every record (exposed for tests).  Its answers are those of
// offset2dNextCrossing on the same records.  The trace only ever sets a
// state to 2 (used): call used(p) just before it does.  Keeps a pointer to
// recs.  Throws std::bad_alloc when memory runs out.
class CrossingIndex {
 public:
  CrossingIndex(const Seg2Isect* recs, int n);
  // Record p's state is about to become 2.
  void used(int p);
  // offset2dNextCrossing(chain, key, recs, n, cur, next).
  int next(const Seg2* chain, int key, int cur, int* next) const;

 private:
  void visit(int g, NextCrossingScan& scan) const;
  void add(int p, int delta);

  const Seg2Isect* recs_;
  std::vector<int> start_;  // records of segment g: members_[start_[g] .. start_[g + 1])
  std::vector<int> members_;
  // Per segment, the records a step of key 1 (state neither 1 nor 2) and of
  // key 2 (state not 2) may take, and the segments where there are any.
  std::vector<int> open_[2];
  std::set<int> openSet_[2];
};

}  // namespace offset2d_detail
