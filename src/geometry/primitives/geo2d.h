// 2D primitives of the contour tree: triangle area, normalized lines and their
// intersection, point-in-contour tests, projections, distances, coordinate
// equality and the orientation and crossing tests of segments.
//
// Points are Vec2d (any record whose first two doubles are x and y).  All
// functions are pure and may be called from any thread.  Degenerate lines are
// those shorter than kGeoLineTol (1e-12).
#pragma once

#include "geometry/contour2d/kont2d.h"
#include "geometry/primitives/vec.h"

// Signed area of the triangle a, b, c: positive when a, b, c turn
// counter-clockwise.
double geo2dTriangleArea(const Vec2d* a, const Vec2d* b, const Vec2d* c);

// Normalized line through s: a x + b y + c is the signed distance from the line
// (positive on the right of the direction start -> end).  Returns 1; for a
// segment shorter than 1e-12 writes a = b = c = 0 and returns 0.
int geo2dLineEquation(const Seg2* s, double* a, double* b, double* c);

// Intersection of the lines through s and t.  Returns 0 when either line is
// degenerate or |det| <= tol (parallel); else writes the point and returns 1.
// Callers pass tol = 1e-12.
int geo2dLineIntersect(const Seg2* s, const Seg2* t, double tol, Vec2d* out);

// Even-odd test of p against the polygon of the segment start points of k.
// Returns 0 for a null contour, fewer than 3 segments or p outside the box
// (the box edge counts as inside the box); 1 for inside.
int geo2dPointInContour(const Vec2d* p, const Kont2d* k);

// As geo2dPointInContour, with a margin: margin >= 0 gives 1 when p is inside
// or nearer than margin to a segment of k (exactly at margin does not count);
// margin < 0 gives 1 when p is inside and farther than |margin| from every
// segment.  |margin| < 1e-12 is the plain test (without the segment-count
// gate).  The box gate uses the box grown by margin.
int geo2dPointInContourMargin(const Vec2d* p, const Kont2d* k, double margin);

// Foot of p on the line of s, written to foot.  Returns 1 when the foot lies
// between the ends (compared on the longer axis of s, ends included), 0 when
// outside or when the line is degenerate (foot not written then).
int geo2dProjectOnSegment(const Vec2d* p, const Seg2* s, Vec2d* foot);

// Euclidean distance.
double geo2dDistance(const Vec2d* p, const Vec2d* q);

// 1 when p and q agree within tol in x and in y.
int geo2dPointsEqual(const Vec2d* p, const Vec2d* q, double tol);

// -3 when s is point-like (ends within 0.00001) or shorter than 0.001;
// otherwise 1 when p projects onto s (ends included), else 0.
int geo2dProjectsOntoSegment(const Seg2* s, const Vec2d* p);

// Orientation of c against a -> b: 1 left turn, -1 right turn; collinear:
// -1 when c lies behind a, 1 when beyond b, 0 between or on an end.
int geo2dCcw(const Vec2d* a, const Vec2d* b, const Vec2d* c);

// 1 when s and t intersect (boxes overlap and each straddles the other's line;
// touching counts), else 0.
int geo2dSegmentsCross(const Seg2* s, const Seg2* t);
