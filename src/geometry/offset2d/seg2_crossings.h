// Crossings of Seg2 chains: where two planar chains cross, and where one chain
// crosses itself, recorded as Seg2Isect records sorted along the first chain.
//
// A crossing is a point where the second chain passes from one side of the
// first to the other.  At an inner point of two segments every contact is a
// crossing.  Where the contact lies on a vertex of either chain the local
// paths decide: a chain that only touches the other and returns to the side
// it came from gives no record.  A stretch along which both chains run
// collinearly gives no record of its own: it counts as lying on the left of
// the first chain.  So a second chain that runs along such a stretch gives a
// record where it comes from or goes to the right: none when it comes from
// and returns to the left, one when it crosses over, two when it comes from
// and returns to the right.  Either way the count of records keeps the parity
// of sides, which is what inside tests and intervals along a chain rely on;
// two identical chains, or the same closed chain with another start or the
// other way round, give none.
//
// A contact at a vertex is recorded once, on the segment that ends at the
// vertex (the earlier one), in both chains; its parameter on the first chain
// is then 1.  A contact at a chain's start point is recorded on its first
// segment with parameter 0, also when the chain is closed and its last segment
// ends there.  Open chains end where they end: a chain end lying on the other
// chain counts as a crossing when the chain arrives across the other one
// (taken as running straight on).  Closed chains (first start equal to last
// end within 0.00001) wrap around their start.
//
// Records are 1-based in their segment numbers and sorted by
// seg2IsectCompare, which orders any two different records strictly, so the
// order never depends on the sort algorithm.
//
// Threads: every function keeps its state in its own allocations; different
// threads may search different (or the same, read-only) chains at once.
#pragma once

#include "geometry/primitives/vec.h"

// One crossing: the point, the parameter along the first chain's segment (0
// at its start, 1 at its end), the 1-based segment numbers in the first and the
// second chain, and a state (1 for crossings of two chains; set later by the
// loop removal for self-crossings).  The pocket cycle keeps its own crossing
// records in this layout.
struct Seg2Isect {
  double x;
  double y;
  double param;
  int first;
  int second;
  int state;
};

static_assert(sizeof(Seg2Isect) == 40, "Seg2Isect is three doubles and three ints, padded");

// A growable array of crossing records: capacity first, then count.  Items are
// one std::malloc block owned by the array.
struct Seg2IsectArray {
  int capacity;
  int count;
  Seg2Isect* items;
};

// Capacity below 1 is taken as 1.  Null when the head cannot be allocated; a
// failed item block leaves items null and capacity 0 (appends then try to
// allocate again).
Seg2IsectArray* seg2IsectArrayNew(int capacity);
// Appends a copy of rec, doubling the capacity when full.  1, or -1 when the
// array is null or growing fails (the array is then unchanged).  rec may point
// into the array.
int seg2IsectArrayAppend(Seg2IsectArray* list, const Seg2Isect* rec);
// Stores a copy of rec at position (0 <= position <= count), moving the records
// from there on one place up.  1, or -1 as for the append and for a position
// outside 0..count.
int seg2IsectArrayInsert(Seg2IsectArray* list, const Seg2Isect* rec, int position);
// Frees the items and the head; null allowed.
void seg2IsectArrayFree(Seg2IsectArray* list);

// Sort order of crossing records: by first segment number, then parameter,
// then second segment number, point x, point y and state, all ascending.
// Negative when a sorts before b, positive after, 0 only for records equal in
// every field.  Usable with qsort and listSort.
int seg2IsectCompare(const Seg2Isect* a, const Seg2Isect* b);
// The same through void pointers, for qsort-style sorts.
int seg2IsectCompareVoid(const void* a, const void* b);

// Crossings of chain a (na segments) with chain b (nb segments), sorted, into
// out, which has room for capacity records.  Returns the number of records;
// 0 when nb <= 0 or na <= 0, or when both chains have the same count and every
// segment agrees within 0.00001 in all four coordinates (the same chain); -1
// when memory runs out or when the crossings do not fit into out (out then
// holds the first capacity records in order).  Every record has state 1.
int seg2ChainIntersect(const Seg2* a, int na, const Seg2* b, int nb, Seg2Isect* out, int capacity);

// As seg2ChainIntersect, into list (its count is set to 0 first; it grows as
// needed).  Returns the count, or -1 when list is null or an append fails.
int seg2ChainIntersectList(const Seg2* a, int na, const Seg2* b, int nb, Seg2IsectArray* list);

// Self-crossings of one chain (n segments) into list (count set to 0 first):
// pairs of segments that are neither the same nor neighbours in the chain
// (nor the first and the last of a closed chain).  first < second in every
// record; the state is 0 and is set by the loop removal.  A contact at the very
// end of an open chain is not recorded.  gapMode -1 tells that the chain may
// have gaps (a segment that does not start where the one before ends); across
// a gap the chain counts as ending and starting again, whatever gapMode is,
// so the mode only documents the caller's expectation.  Returns the number of
// records, 0 for n <= 0, -1 when list is null or memory runs out.
int offset2dSelfCrossings(const Seg2* chain, int n, Seg2IsectArray* list, int gapMode);

namespace offset2d_detail {
// offset2dSelfCrossings over every pair of segments, without its search tree
// (exposed for tests: quadratic time, the same records).
int selfCrossingsAllPairs(const Seg2* chain, int n, Seg2IsectArray* list);
}  // namespace offset2d_detail

// ---- Section index -------------------------------------------------------------
//
// A coarse index over a chain for the crossing searches: the chain is cut into
// sections, and running bounds of x per section let a query skip the
// segments that cannot reach it.  Type 1 cuts once, after the run of segments
// where x reaches its maximum (the way up and the way back); type 2 cuts the
// chain into its x-monotone runs (at most 30 sections, the last one taking the
// rest), which prunes far better on closed chains, and is what the searches
// here use.  The index never changes a result, only the time to find it.
// Bounds are widened by 0.0001, the largest distance at which seg2Intersect
// still reports a touch, so the index never drops a pair that the segment test
// would accept.

inline constexpr int kSectionIndexMaxSections = 30;

struct SectionRec {
  int inUse;      // 1 for a section, 0 ends the list
  int first;      // first segment index
  int last;       // last segment index
  int direction;  // +1 where x rises (type 1: up to the maximum), -1 where it falls
  double min;     // minimum x (of the chain for type 1, of the section for type 2)
  double max;     // maximum x
};

struct SectionIndex {
  int segCount;
  int sectionCount;
  int axis;  // 0 = x, the only axis in use
  SectionRec sections[kSectionIndexMaxSections];
  double* forward;   // per segment (min, max) from its section's first segment up to it
  double* backward;  // per segment (min, max) from it to its section's last segment
};

// Builds the index over n segments.  type must be 1 or 2 and axis 0;
// anything else, n <= 0 or no memory give null.
// The index keeps no pointer to the chain.
SectionIndex* sectionIndexNew(const Seg2* chain, int n, int type, int axis);
void sectionIndexFree(SectionIndex* index);
// First candidate at or after start for the query segment, or -1.  A null
// index gives start.
int sectionIndexFirst(const SectionIndex* index, const Seg2* query, int start);
// Next candidate at or after i, or -1 (also when i is outside the chain).  A
// null index gives i.
int sectionIndexNext(const Seg2* query, const SectionIndex* index, int i);
