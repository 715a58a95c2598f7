// Intersections of 3D segments with planes and the closest points of two 3D
// segments.
//
// A plane is given by a point p on it and a normal (not necessarily unit: the
// distance along a segment is measured with the normal as given).  All
// functions are pure and may be called from any thread.
#pragma once

#include "geometry/primitives/vec.h"

// Point where segment seg[0]-seg[1] meets the plane through p normal to
// normal, within 0.00001 beyond either end.  1 with the point in out; 0 for
// a segment shorter than 0.00001, one parallel to the plane (|u . normal| <
// 0.00001 for its unit direction u), or a plane it does not reach.
int seg3IntersectPlane(const Vec3d* p, const Vec3d* normal, const Vec3d seg[2], Vec3d* out);

// Closest points of two non-parallel segments whose projections along their
// common normal cross: 1 with the crossing point on a in onA and the nearest
// point of b to it in onB.  0 for a segment shorter than 0.00001, directions
// whose cross product is shorter than 0.00001, or projections that do not
// cross; -1 when the local frame cannot be inverted.
int seg3ClosestPointsCrossing(const Vec3d* a0, const Vec3d* a1, const Vec3d* b0, const Vec3d* b1,
                              Vec3d* onA, Vec3d* onB);

// Closest points of two segments and their distance: the crossing of
// seg3ClosestPointsCrossing when there is one, else the nearest of the end
// point candidates b0, b1 (with their nearest points on a), a0, a1 (with their
// nearest points on b), in that order, a later one winning only when strictly
// nearer.
double seg3ClosestPoints(const Vec3d* a0, const Vec3d* a1, const Vec3d* b0, const Vec3d* b1,
                         Vec3d* onA, Vec3d* onB);
