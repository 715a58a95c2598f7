// The active boundary, offset copies of boundaries, per-thread copies of a
// boundary chain, and the travel order of boundary and curve lists.
//
// The active boundary is the outer boundary in work.  While one is active,
// its contour tree (with a triangle mesh on the first contour) answers every
// bndPointInside, and an offset copy of it and its islands answers every
// bndSetCurveIntervals, whichever boundary those are given.
//
// The offset copy carries the contact offset in its contour and a contact
// offset of 0, so curve intervals on the active boundary apply the contact
// offset once, as those of an inactive boundary do.
//
// Threads: bndSetActive and bndClearActive run on the cycle thread outside
// parallel regions; inside them the active state is only read.  Each thread
// of a parallel loop works on its own chain copy (bndThreadListsCopy): the
// copies share no array that anything writes.
#pragma once

#include "boundaries/boundary_rec.h"

struct CurveRec;
struct Kont2d;

// Message numbers around the ordering of boundary and curve lists.
inline constexpr int kMsgStartOptimizing = 1450;
inline constexpr int kMsgEndOptimizing = 1451;

// Per-thread chain copies: heads[i] is thread i's copy.
struct BndThreadLists {
  int count;
  BoundaryRec** heads;
};

// Makes the outer boundary active: its contour tree is built from it, the
// boundaries chained after it and the islands listed by each of those,
// meshed, and an offset copy with islands is made (when that fails, curve
// intervals fall back to the given boundary's own).  A previously active
// boundary is cleared first, except for an island (isOuter 0), which gives 0
// and changes nothing.  1 when the boundary became active; 0 also for a null
// boundary or when the tree or its mesh cannot be built (then no boundary is
// active).
int bndSetActive(const BoundaryRec* boundary);

// Frees the active tree, its mesh and the offset copy; afterwards no
// boundary is active (also the state at load).
void bndClearActive();

// -1 when no boundary is active; 1 when the point lies inside the material
// of a contour of the active tree; 0 otherwise.  Any thread.
int bndActivePointInside(const Vec2d* point);

// -1 when no boundary is active or it has no offset copy; 0 for a null
// boundary; else stores in boundary (whose intervals the caller has freed)
// the inside intervals of the curve in the active offset copy minus those of
// its island copies, and returns their count (negative on failure, nothing
// stored).  Writes only into boundary.
int bndActiveCurveIntervals(BoundaryRec* boundary, const CurveRec* curve);

// The active contour tree, or null (for tests and diagnostics).
const Kont2d* bndActiveTree();

// A new record with every field of the source except: no intervals, CLN
// points, next, holes or islands; its own segments holding the source's
// contour offset by the contact offset (outward for an outer boundary,
// inward for an island), and a contact offset of 0.  Null for a null source,
// an undetermined orientation, an offset without segments or no memory.
// Free with bndFreeOffsetCopy.
BoundaryRec* bndOffsetCopy(const BoundaryRec* boundary);

// bndOffsetCopy of the boundary with offset copies of its islands, in
// order, in its islands list.  Null when any of the copies fails (an island
// left out would make its inside count as inside the boundary).
BoundaryRec* bndOffsetCopyWithIslands(const BoundaryRec* boundary);

// Frees an offset copy with its island copies and their nodes.  Null
// allowed.
void bndFreeOffsetCopy(BoundaryRec* copy);

// Fills lists with n copies of the source chain (n >= 1): record by record in
// chain order, each with its own segments, no intervals and no holes, its
// islands list made of new nodes pointing to own copies of the source's
// islands; the CLN points are shared with the source (read only).  An empty
// source gives n null heads.  Returns lists, or null when memory runs out
// (nothing is left allocated; lists is then empty).
BndThreadLists* bndThreadListsCopy(BndThreadLists* lists, const BoundaryRec* source, int n);

// Frees every copied record with its segments, intervals, island copies and
// their nodes, then the table; lists is empty afterwards.  The source chain
// and its CLN points stay.  Null allowed.
void bndThreadListsFree(BndThreadLists* lists);

// Reorders the chain for short travel from the start point: the outer
// boundaries, each entered at the start of its first segment (z 0), in the
// optimizer's order, each followed by the islands of its islands list that
// stand in the chain; islands listed by no outer boundary go last.  The chain
// keeps every record it held, so freeing the chain still frees every island.
// Messages 1450 and 1451 around the optimisation.  1, or -1 for an empty
// chain, no outer boundary or a failing order list (chain unchanged).
int lpoOrderBoundaryList(BoundaryRec** head, double x, double y, double z);

// Reorders a curve list (linked through next) for short travel from the
// start point, each curve entered at its first point (z 0).  1, or -1 for an
// empty list or a failing order list (list unchanged).
int lpoOrderCurveList(CurveRec** head, double x, double y, double z);
