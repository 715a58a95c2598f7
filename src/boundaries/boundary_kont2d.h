// Contour tree of a boundary chain.
#pragma once

#include "boundaries/boundary_rec.h"
#include "geometry/contour2d/kont2d.h"

// The contour tree (kontFromChains) of chain, the boundaries chained after it
// and the records of each one's hole chain, in that order.  The caller owns the
// tree (kontFree).  Null for a null chain or an empty first boundary, and when
// the tree cannot be built (-1 reported, nothing leaks).
Kont2d* kontFromBoundary(const BoundaryRec* chain);
