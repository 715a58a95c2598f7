// Smooth link curves between the end of one path and the start of the next:
// a cubic Bezier curve that leaves the end in its direction of travel and
// arrives at the next start in the direction that path goes on, turned into
// a 3D polyline within a chord tolerance, with an optional dip toward its
// middle.  Also the approximation of any 3D spline by a polyline.
//
// The stepover that limits the links is process-wide (0 until set): cycle
// thread only.  The approximation keeps its state per call.
#pragma once

#include "geometry/primitives/vec.h"

struct CurveRec;
struct Spline3dRec;

// Subdivision depth at which a piece is accepted flat or not; one segment
// gives at most 2^kBezierMaxDepth pieces.
inline constexpr int kBezierMaxDepth = 10;

// Stores the stepover of the run: no link below 0.01 x stepover, none
// longer than 6 x stepover (0 switches both limits off).
void curveLinkSetStepover(double stepover);

// The link curve from start to end (before precedes start on the previous
// path, after follows end on the next one) as a 'p' curve with z values,
// lowered toward its middle by up to half the chord when dip is set.  Null
// when the link is too short or too long for the stepover, or memory runs
// out.  Free with curveFree.
CurveRec* curveLinkCreate(const Vec3d* start, const Vec3d* before, const Vec3d* end,
                          const Vec3d* after, int dip);

// The one-segment Bezier spline of the link with handle base h; null when
// start and before, or end and after, are closer than 0.00001.
Spline3dRec* bezierLinkSpline(const Vec3d* start, const Vec3d* before, const Vec3d* end,
                              const Vec3d* after, double h);

// The link spline approximated within tolerance, accepted when its length is
// at most |start - end| + 2h: 0 with *points (free with std::free) and
// *count, or -1 with *points null and *count 0.
int curveLinkPolyline(const Vec3d* start, const Vec3d* before, const Vec3d* end, const Vec3d* after,
                      double h, double tolerance, Vec3d** points, int* count);

// Approximates spline by a polyline: each segment is halved until its pieces
// are flat within tolerance, or down to kBezierMaxDepth (with a warning
// trace).  0 with the points in *points (free with std::free; null for a
// spline without segments) and their count; -1 when memory runs out
// (message 2).
int curve3DApprox(const Spline3dRec* spline, double tolerance, Vec3d** points, int* count);

// 1 when the piece from a through m to b counts as flat: m does not turn
// back and lies within tolerance of the chord (*ratio: its distance), or
// the piece is collinear or degenerate.
int curveApproxFlat(const Vec3d* a, const Vec3d* m, const Vec3d* b, double tolerance,
                    double* ratio);

// Sum of the segment lengths of the points, stopping once it exceeds limit:
// -1 then, else 0; *length is the sum reached.
int polyLengthWithin(const Vec3d* points, int count, double limit, double* length);

// 1 when the stepover is below 0.00001 in size or the link's 3D length is
// at most 6 x the stepover, else 0.
int curveLinkLengthOk(const CurveRec* link, const Vec3d* start, const Vec3d* end);
