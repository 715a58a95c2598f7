// ArcLenPline: a small 3D polyline with a parameter per point, used to find
// where a point or a straight move comes closest to a profile or a path and
// at which parameter along it.
//
// Ownership: the creators hand out polylines freed with arcLenPlineFree; a
// list owns its polylines and nodes (arcLenPlineListFree).
// Threads: no shared state.
#pragma once

#include <cstdint>

#include "geometry/curves/curve.h"
#include "geometry/pline/pline.h"

struct ArcLenPline {
  int32_t capacity;  // at least 1
  int32_t count;
  Vec3d* points;
  double* params;  // one per point
};

struct ArcLenPlineNode {
  ArcLenPline* pline;
  ArcLenPlineNode* next;
};

// Empty, with room for capacity points (1 when 0 or less is asked).  Null on
// failure.
ArcLenPline* arcLenPlineCreate(int capacity);

// Same capacity, points and parameters.  Null for null or on failure.
ArcLenPline* arcLenPlineCopy(const ArcLenPline* src);

// The curve's points (x, y and its z, or 0 without z values) with room for
// twice its count; a point closer than 0.00001 (3D) to the last kept one is
// left out; parameters are the 3D length along the kept points.  Null for a
// null curve or on failure.
ArcLenPline* arcLenPlineFromCurve(const CurveRec* curve);

// The points of pl from the first to the last point whose status code is
// neither gap nor dropped (all points between taken), with pl's parameters,
// room for twice pl's count.  Null when every point is a gap or dropped, for
// a null Pline, or on failure.
ArcLenPline* arcLenPlineFromPline(const Pline* pl);

// Every profile of a profile file (curveReadPrfChain, not reversed, side 0)
// converted in file order; a failed conversion ends the list.  Null when the
// file yields no curve.
ArcLenPlineNode* arcLenPlineListReadFile(const char* name);

void arcLenPlineFree(ArcLenPline* pl);
void arcLenPlineListFree(ArcLenPlineNode* list);

// The nearest point on the polyline to p (vec3ArrayNearestPoint) in out, its
// parameter interpolated on the winning segment by the distance from the
// segment's start (its start's parameter on a segment shorter than
// 0.00001), and the distance.  A single point gives itself and its
// parameter; no points give DBL_MAX (outputs untouched).
double arcLenPlineNearest3d(const ArcLenPline* pl, const Vec3d* p, double* param, Vec3d* out);

// The same in plan view (vec3ArrayNearestPointXY, plan lengths); the result
// is the plan distance.
double arcLenPlineNearest2d(const ArcLenPline* pl, const Vec3d* p, double* param, Vec3d* out);

// The closest approach of the segment seg[0]-seg[1] to the polyline
// (seg3ClosestPoints against every polyline segment, the first and then only
// a strictly nearer one winning): the points on the segment and on the
// polyline, the parameter at the latter (as arcLenPlineNearest3d) and the
// distance.  A single point is measured to the segment; no points give
// DBL_MAX (outputs untouched).
double arcLenPlineNearestToSeg(const ArcLenPline* pl, const Vec3d seg[2], double* param,
                               Vec3d* onSeg, Vec3d* onPline);
