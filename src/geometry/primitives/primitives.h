// 2D and 3D primitives of the geometry library: scalars, vectors and angles,
// segments and chains of Seg2, line and circle intersections, and the direct
// container lookup in a containment matrix.
//
// Tolerances are the fixed ones of geometry/tolerances.h.  Functions return
// small integer codes (1 done or found, 0 not found or degenerate, -1 where
// stated) and write results through out-parameters, which are left untouched
// where a comment says so.  All functions are pure, allocate nothing and may be
// called from any thread.  A function that takes a 2D point through a void
// pointer reads its first two doubles, so a Vec3d may be passed.
#pragma once

#include <cmath>

#include "base/tolerances.h"
#include "geometry/lists/lists.h"
#include "geometry/primitives/vec.h"

// ---- Scalars ---------------------------------------------------------------

// 1 when |a - b| < 0.0001, else 0.
int geoAlmostEqual(double a, double b);
// Arc cosine of x clamped to [-1, 1].
double geoAcosClamped(double x);
// 0 for x < 0, else the square root.
double geoSqrtNonNeg(double x);
// True when two points agree within the library's equality tolerance
// (0.00001) in x and in y.
inline bool geoSameXY(double ax, double ay, double bx, double by) {
  return std::fabs(ax - bx) < kGeoEqualTol && std::fabs(ay - by) < kGeoEqualTol;
}

// ---- Vectors and angles ------------------------------------------------------

// sign 1: out = a + b; sign -1: out = a - b (both return 1).  Any other sign
// returns 0 and leaves out untouched.
int vec2AddSigned(const Vec2d* a, const Vec2d* b, Vec2d* out, int sign);
// out = factor x v.
void vec2Scale(double factor, const Vec2d* v, Vec2d* out);
double vec2Dot(const Vec2d* a, const Vec2d* b);
double vec2Length(const Vec2d* v);
double vec3Length(const Vec3d* v);
// |a x b|.
double vec3CrossLength(const Vec3d* a, const Vec3d* b);
double ptDistance3d(const Vec3d* a, const Vec3d* b);
// Distance of the x, y parts of two points.
double ptDistance2d(const void* a, const void* b);

// Angle of direction (dx, dy) in [0, 2 pi); components below 1e-13 in size
// count as zero (a zero direction gives 0).  Note the argument order dy, dx.
double geo2dDirectionAngle(double dy, double dx);

// Signed angle from direction B - A to direction C - B, in (-2 pi, 2 pi) with
// the sign of the turn; 0 when the cross product is exactly 0 (also when
// either direction is zero).
double geo2dTurnAngle(double ax, double ay, double bx, double by, double cx, double cy);

// ---- Segments ----------------------------------------------------------------

// Foot of the perpendicular from (x, y) onto the line through s.  Returns 0
// (outputs untouched) when the squared length of s is below 0.00001, else 1.
int seg2ProjectPoint(const Seg2* s, double x, double y, double* fx, double* fy);
// Unit direction of s; 0 (out untouched) when s is shorter than 1e-7.  The
// third argument is not read.
int seg2UnitDirection(const Seg2* s, Vec2d* out, int reserved);
// Unit normal of s: side 1 the left normal, any other side the right one.  0
// when the direction fails.  The third argument is not read.
int seg2UnitNormal(const Seg2* s, Vec2d* out, int reserved, int side);
// which 1 sets the start of s to p, any other value the end.  Returns 1.
int seg2SetEnd(Seg2* s, const Vec2d* p, int which);
// which 1 start, 2 end, 3 midpoint (returns 1); any other value returns 0.
int seg2GetPoint(const Seg2* s, Vec2d* out, int which);
// For a point already on the line of s: 1 when it lies between the ends (or on
// an end) within 0.00001, else 0.  A point-like s accepts only its start.
int seg2PointBetweenEnds(const Vec2d* p, const Seg2* s);
// Distance from p to s.  Below 0.00316 in length s has no projection and the
// distance is measured to its start.
double seg2PointDistance(const void* p, const Seg2* s);
// As seg2PointDistance, also writing the nearest point to out; with the foot
// outside, the start is chosen only when strictly nearer than the end.
double seg2NearestPoint(const Vec2d* p, const Seg2* s, Vec2d* out);
// Distance from (x, y) to the line through s (to its start when s has no
// projection).
double seg2LinePointDistance(double x, double y, const Seg2* s);
// Smallest seg2PointDistance over count segments, with the index of the first
// segment reaching it; count 0 returns 1e10 with index 0.  index may be null.
double seg2ArrayNearest(const Vec2d* p, const Seg2* segs, int count, int* index);
// As seg2ArrayNearest, also writing the nearest point (untouched for count 0).
double seg2ArrayNearestPoint(const Vec2d* p, const Seg2* segs, int count, int* index, Vec2d* out);

// ---- Chains ------------------------------------------------------------------

// Orientation from the start points: 1 counter-clockwise, -1 clockwise, 0 for
// fewer than 2 segments or an area sum below 0.00001.
int seg2ChainOrientation(const Seg2* segs, int count);
// 1 when the start of the first and the end of the last segment agree within
// 0.00001 in x and y; 0 otherwise and for count <= 0.
int seg2ChainIsClosed(const Seg2* segs, int count);
// Winding of the chain about p from the angles its segments subtend: 1 or -1
// when the total exceeds 0.01 in size (counter-clockwise or clockwise around
// p), 0 outside or for count <= 0.
int seg2ChainWinding(const Seg2* segs, int count, const Vec2d* p);
// Turn from a to b: turn = 1 left, -1 right, 0 straight, -2 reversal (|sine|
// below 0.005 counts as straight or reversal).  Returns 1; 0 (turn untouched)
// when either segment has no direction.
int seg2TurnDirection(const Seg2* a, const Seg2* b, int* turn);

// ---- Intersections -----------------------------------------------------------

// Circle record: seven doubles of which the centre (0, 1) and the radius (6)
// are read.
inline constexpr int kCircleCentreX = 0;
inline constexpr int kCircleCentreY = 1;
inline constexpr int kCircleRadius = 6;

// Intersections of the line through s with the circle: 0 none (or s point-like),
// 1 one point in p1 (tangent), 2 points with p1 the one of smaller x (the lower
// one on a vertical line).
int seg2LineCircleIntersect(const Seg2* s, const double* circle, Vec2d* p1, Vec2d* p2);
// Intersections lying on s itself, at the front of out: 0, 1 or 2 points; a
// tangent point on s gives -1.
int seg2CircleIntersect(const Seg2* s, const double* circle, Vec2d out[2]);
// Intersection of the lines through a and b: 1 with the point, 0 parallel, -1
// collinear; point-like segments go to seg2DegenerateIntersect.
int seg2LineIntersect(const Seg2* a, const Seg2* b, Vec2d* out);
// Intersection where a or b is point-like: 1 with the point when it lies on the
// other within 0.00001, else 0; 0 when neither is point-like.
int seg2DegenerateIntersect(const Seg2* a, const Seg2* b, Vec2d* out);
// Intersection of the segments: 1 with the point (also for collinear segments
// whose ends touch within 0.0001), -1 collinear overlap, 0 none.  out is set to
// (0, 0) first.
int seg2Intersect(const Seg2* a, const Seg2* b, Vec2d* out);
