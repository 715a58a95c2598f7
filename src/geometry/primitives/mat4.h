// 4x4 homogeneous matrices of the geometry library and the 3D vector helpers
// built on them.
//
// Conventions: a Mat4 is 16 doubles, element m[row][column].  Points are row
// vectors, p' = (x, y, z, 1) x M: rows 0, 1 and 2 are the local x, y and z axes
// expressed in the outer system, row 3 is the origin.  Column 3 is
// (0, 0, 0, 1) and is never read.  Such a matrix maps local coordinates to
// outer coordinates; its inverse maps back.  A x B applies A first, then B.
// Angles are in radians.
//
// Every function here is pure: no state, no allocation, safe on any thread.
// All pointers are caller owned and must be valid.
#pragma once

#include "geometry/primitives/vec.h"

struct Mat4 {
  double m[4][4];
};

static_assert(sizeof(Mat4) == 128, "Mat4 is 16 doubles");

// Axis codes of mat4FromRotation.
inline constexpr int kMat4RotXToY = 0;  // about z: x turns toward y
inline constexpr int kMat4RotYToZ = 1;  // about x: y turns toward z
inline constexpr int kMat4RotXToZ = 2;  // about y: x turns toward z

// Sets m to the identity and returns m.
Mat4* mat4Identity(Mat4* m);

// 1 when all 16 elements of a and b differ by less than kGeoEqualTol, else 0.
int mat4Equal(const Mat4* a, const Mat4* b);

// out = identity with rows 0, 1, 2 = x, y, z (no translation, no
// normalization).
void mat4FromAxes(const Vec3d* x, const Vec3d* y, const Vec3d* z, Mat4* out);

// out = identity with row 3 = t.
void mat4FromTranslation(const Vec3d* t, Mat4* out);

// out = rotation by angle (radians) for one of the kMat4Rot* axis codes:
// code 0 sets [0][0] = c, [0][1] = s, [1][0] = -s, [1][1] = c; code 1 the same
// on rows/columns 1 and 2; code 2 sets [0][0] = c, [0][2] = s, [2][0] = -s,
// [2][2] = c.  Any other code gives the identity.
void mat4FromRotation(int axisCode, double angle, Mat4* out);

// out = (p.x, p.y, p.z, 1) x m (no division by a fourth coordinate).  out may
// be p.
void mat4ApplyPoint(const Vec3d* p, const Mat4* m, Vec3d* out);

// dst = src.
void mat4Copy(Mat4* dst, const Mat4* src);

// c = a x b (a applied first).  c may alias a or b.
void mat4Multiply(const Mat4* a, const Mat4* b, Mat4* c);

// Gauss-Jordan inversion without row exchanges: a pivot smaller than
// kGeoEqualTol is repaired by adding the first lower row that has a usable
// entry in that column.  Returns 0 with the inverse in inv, or -1 when the
// matrix is singular in that sense (inv is then left unchanged).  m is not
// changed; inv may alias m.  The absolute pivot limit makes uniformly tiny
// matrices (all entries below 0.00001) count as singular.
int mat4Invert(const Mat4* m, Mat4* inv);

// out = a x b.  When |a x b| < kGeoEqualTol returns -1 and leaves the raw
// cross product in out; otherwise normalizes it and returns 0.  out may alias a
// or b.
int vec3UnitCross(const Vec3d* a, const Vec3d* b, Vec3d* out);

// Turns the unit vector v by angle toward target, in the plane of both:
// out = v cos(angle) + w sin(angle), w the unit vector perpendicular to v on
// the side of target.  Returns 0; when v and target are parallel out = v and
// the result is -1.  out may alias v or target.
int vec3TiltToward(Vec3d* out, const Vec3d* v, const Vec3d* target, double angle);

// As vec3TiltToward, but when angle exceeds the angle between the unit
// vectors v and target, out = target and the result is 1 (the step would pass
// the target).  Otherwise 0, or -1 for parallel vectors.
int vec3TiltTowardClamped(Vec3d* out, const Vec3d* v, const Vec3d* target, double angle);

// Turns the direction v in place by angle about the direction axis
// (right-handed, through the origin).  point is not read.  Returns 1, or 0
// with v unchanged when v is parallel to the axis (or the axis is too short
// to build a frame).
int vec3RotateAboutAxis(Vec3d* v, const Vec3d* point, const Vec3d* axis, double angle);

// The local-to-outer matrix m of a frame with the given origin and z axis
// (row 2 = axis as given, not normalized; x and y unit and perpendicular to
// it), and its inverse inv.  Returns 1, or -1 when no frame or no inverse can
// be built (m and inv unchanged).  Origin 0 with axis (0, 0, 1) gives the
// identity pair.
int mat4FromOriginAxis(const Vec3d* origin, const Vec3d* axis, Mat4* m, Mat4* inv);

// Turns the point p in place by angle about the line through origin with
// direction axis (right-handed).  Returns 1, or -1 with p unchanged when
// mat4FromOriginAxis fails.
int ptRotateAboutLine(Vec3d* p, const Vec3d* origin, const Vec3d* axis, double angle);
