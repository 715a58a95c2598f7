// Contour node of the planar contour tree.
//
// A node is a chain of Seg2 with its box; the contour tree links nodes into
// outer contours and holes.  The 2D primitives read the segment count, the box
// and the segments.
#pragma once

#include "geometry/primitives/vec.h"

struct Kont2d {
  int count;     // segments in use
  int capacity;  // segments the array holds
  // Box of the segment ends; a new node has xmin = ymin = 1e10 and
  // xmax = ymax = -1e10.
  double xmin, ymin, xmax, ymax;
  Seg2* segs;
};
