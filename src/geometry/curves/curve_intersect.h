// Intersection of a curve record's 3D polyline with a plane.
//
// Threads: reads the curve only; any thread.
#pragma once

#include "geometry/curves/curve.h"

// Length by which the first and the last segment are lengthened when no
// segment of the curve meets the plane.
inline constexpr double kCurvePlaneExtension = 100.0;

// Intersects the curve's 3D polyline (2D points and z values; z 0 without
// them) with the plane through p normal to normal (seg3IntersectPlane per
// segment).  1 with the hit nearest to p in out (the first of equally near
// hits).  When no segment is hit, the first segment lengthened by 100
// backward along the start tangent and the last one lengthened by 100
// forward along the end tangent (curveTangentAt3d) are tried: the nearer hit
// to p wins, the end on a tie.  0 when nothing is hit, or when a tangent
// cannot be had (a curve of fewer than 2 points or without z values).
int curveIntersectPlane(const CurveRec* curve, const Vec3d* p, const Vec3d* normal, Vec3d* out);
