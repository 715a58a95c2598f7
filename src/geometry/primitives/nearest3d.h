// Nearest points on 3D segments and polylines, in space and in plan view.
//
// A polyline is an array of count Vec3d; its segment i runs from point i-1
// to point i.  Plan-view functions measure distances in x and y only but
// return points of the 3D segments.  All functions are pure and may be
// called from any thread.
#pragma once

#include "base/tolerances.h"
#include "geometry/primitives/vec.h"

// The nearest point of segment a-b to p, written to out; returns its
// distance.  When the segment is at least 0.00001 long and the foot of p lies
// on it, out is the foot; otherwise out is the nearer end (b when both are
// equally near).
double seg3NearestPoint(const Vec3d* a, const Vec3d* b, const Vec3d* p, Vec3d* out);

// The same in plan view: the foot is found in x and y (the segment's plan
// length must be at least 0.00001), out is the point of the 3D segment above
// it, and the result is the plan distance from p to out.  Otherwise the
// nearer end in plan (b on a tie) and its plan distance.
double seg3NearestPointXY(const Vec3d* a, const Vec3d* b, const Vec3d* p, Vec3d* out);

// The least of the plan distances of c and d to segment a-b and of a and b
// to segment c-d.  Crossing segments are not detected (their distance is
// that of the nearest end).
double seg3DistanceXY(const Vec3d* a, const Vec3d* b, const Vec3d* c, const Vec3d* d);

// The nearest point of the polyline pts to p (seg3NearestPoint on every
// segment; the first segment, then only a strictly nearer one wins), with
// *index the end index i of the winning segment (i-1, i).  A single point
// gives that point and index 0; no points give kGeoFarDistance, index -1 and
// out untouched.
double vec3ArrayNearestPoint(const Vec3d* pts, int count, const Vec3d* p, Vec3d* out, int* index);

// The same in plan view with seg3NearestPointXY.  A single point gives that
// point, index 1 and its plan distance; no points give kGeoFarDistance,
// index -1 and out untouched.
double vec3ArrayNearestPointXY(const Vec3d* pts, int count, const Vec3d* p, Vec3d* out, int* index);
