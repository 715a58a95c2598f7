// Nesting of contours from their containment matrix (boundaries read in
// sorted order, pocket contours).
#pragma once

#include "geometry/lists/lists.h"

// Direct container of contour i in an n x n int matrix (row i holds 1 in
// column j when contour j contains contour i): the first j with m[i][j] = 1
// whose own row holds one 1 fewer than row i.  -1 when there is none, when i
// is contained by nothing, or for an empty matrix or i outside 0..n-1.
int pktNestDirectParent(const CountedArray* m, int i);
