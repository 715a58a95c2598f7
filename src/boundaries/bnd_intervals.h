// The parameter intervals in which a guide curve runs inside a boundary,
// with the boundary's islands cut out, stored in the boundary for the
// parameter tests of the tool drops.
//
// Cycle thread, or a thread that owns its copy of the boundary chain
// (bndSetCurveIntervals writes into the boundary).
#pragma once

#include "boundaries/boundary_rec.h"

struct CurveRec;

// Number of parameter intervals of curve that run inside boundary (with its
// contact offset applied: a positive offset enlarges an outer boundary and
// shrinks an island), ascending, in a new array through *out (null for 0
// intervals; free with std::free).  0 for a null boundary; -1 when the
// boundary has no orientation (message 702) or memory runs out.
int bndCurveInsideIntervals(const BoundaryRec* boundary, const CurveRec* curve, BndPair** out);

// Cuts the island intervals (ascending) out of *intervals (*count pairs);
// the array is replaced by a new one.  1, or -1 when out of memory (message
// 704; the intervals are unchanged).
int bndIntervalsSubtract(BndPair** intervals, int* count, const BndPair* islands, int islandCount);

// Stores in boundary the intervals of curve inside it minus its islands and
// returns their count; 0 for a null boundary; negative on failure (the
// stored intervals are then empty).  While a boundary is active
// (bnd_active.h) with an offset copy, the intervals are those of the active
// boundary, whatever boundary is passed.
int bndSetCurveIntervals(BoundaryRec* boundary, const CurveRec* curve);

// Empties pairs and appends the intervals of curve inside boundary minus its
// islands; returns their count, negative on failure.
int bndCurveIntervalsAppend(const BoundaryRec* boundary, const CurveRec* curve, ItemArray* pairs);
