// Triangulation of polygons with holes by Seidel's randomized incremental
// trapezoidation (R. Seidel, 1991): the segments are inserted in random order
// into a trapezoidal map with a query structure, the map is cut by diagonals
// into monotone polygons, and each monotone polygon is triangulated.
//
// Input: ncontours contours, counts[i] points each, the points as a 1-based
// array (points[1] is the first point of the first contour; the contours
// follow each other; points[0] is not read).  The first contour is the outer
// ring and runs counter-clockwise, the others are holes and run clockwise.  A
// contour lists each point once (its closing point is not repeated).
//
// Coordinates are compared with the absolute tolerance 1e-12; points closer
// than that are one point (a hole may touch the outer ring or another hole
// at a vertex).
//
// Work: every call runs on a SeidelWork made for at least as many segments as
// the call has points; the work holds all tables of the call, so separate
// works may triangulate on separate threads.  The segments are inserted in an
// order drawn from the work's own generator with a fixed seed: the same input
// always gives the same triangles.
#pragma once

#include "geometry/primitives/vec.h"

struct SeidelWork;

// Tables for polygons of up to n segments (points): query-structure nodes 8n,
// trapezoids 4n, segments n.  Null for n < 3 or when the tables cannot be
// allocated (code -1 is then reported, source text "QZVYR5\tripoly2").  Free
// with seidelWorkFree (null allowed).
SeidelWork* seidelWorkNew(int n);
void seidelWorkFree(SeidelWork* work);

// Triangulates the polygon described above into triangles (three 1-based
// point numbers each, counter-clockwise) and writes their number to
// *triangleCount: the point count plus twice the number of holes minus 2 when
// no two points coincide.  At most maxTriangles are written.
//
// Returns 1 on success.  Returns -1, with *triangleCount 0 and the failure
// reported to the geometry error state (source text "QZVYR5\tripoly2"), for
// input that cannot be triangulated: a null argument, fewer than 3 points in
// a contour, more points than the work was made for, a coordinate that is not
// finite, two consecutive points of a contour within 1e-12, a table that runs
// full (-27), a broken map (-46, -202), more triangles than maxTriangles
// (-202), or triangles that do not cover the polygon (crossing contours).
int triangulate_polygonm_seidel(SeidelWork* work, int ncontours, const int* counts,
                                const Vec2d* points, int (*triangles)[3], int maxTriangles,
                                int* triangleCount);
