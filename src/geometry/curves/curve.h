// Curve record of profiles and guide curves.
//
// A CurveRec is a planar polyline of 2D points with an arc-length parameter,
// optional z values, a kind character, a box, a pair of step offsets, flags
// for direction and side, a kind extension and a chain link.  The parameter of
// a point is its cumulative 2D length from the first point (plus t0); the
// lengths array holds it for every point and stays ascending.
//
// Ownership: curveNew never takes over the point array it is given; every
// other constructor here owns its points (ownsPoints 1).  The lengths, the z
// values and the extension always belong to the record.  curveFree releases a
// whole chain.
//
// Constructors that read boundary or macro records (curveNewStandardLine,
// curveFromMacro, curvePieceBoxes) live with those records in
// boundaries/curve_boundary.h.
//
// Threads: no shared state.  Evaluation only reads a record, so several
// threads may evaluate one curve while nobody changes it.
#pragma once

#include <cstdint>

#include "geometry/primitives/vec.h"

// Kind characters of CurveRec::kind.
inline constexpr char kCurveKindLineX = 'x';     // line parallel to X, stepped in y
inline constexpr char kCurveKindLineY = 'y';     // line parallel to Y, stepped in x
inline constexpr char kCurveKindPolyline = 'p';  // profiles, offsets, lines, 3D pieces
inline constexpr char kCurveKindEquidistant = 'e';
inline constexpr char kCurveKindNormal = 'n';  // lines normal to a 2D spline of a base curve
inline constexpr char kCurveKindSync = 'r';    // lines between two guide curves at sync points
inline constexpr char kCurveKindFlow = 'f';    // blend between two guide curves
inline constexpr char kCurveKindPocket = 'c';  // the pocket cycle's result

// Room of CurveRec::name including the terminating zero.
inline constexpr int kCurveNameSize = 260;

// Parameter window of the evaluations and the equality of points.
inline constexpr double kCurveTol = 0.00001;

// Distance of the neighbour samples of curveTangentAt3d.
inline constexpr double kCurveTangentSampleStep = 0.1;

// Longest chord over which curveThin drops points.
inline constexpr double kCurveThinMaxChord = 10.0;

struct Spline2dRec;

struct CurveBox {
  double xMin, yMin, xMax, yMax;
};

struct CurveRec {
  double t0;                  // parameter of the first point (0 when built)
  double t1;                  // parameter of the last point (the 2D length when built)
  double firstStep;           // first step offset (kind-specific)
  double lastStep;            // last step offset
  int32_t count;              // number of points
  char name[kCurveNameSize];  // source file name, always zero-terminated
  CurveBox box;               // grown boundary box of 'x' and 'y' lines, else 0
  Vec2d* points;
  double* lengths;  // count entries (one entry 0 for a curve without points)
  double* z;        // z per point, or null
  int32_t ownsPoints;
  char kind;
  int16_t side;     // 1: offsets run to the other side
  int16_t reverse;  // 1: read or built in reverse direction
  void* ext;        // kind extension (owned), see below
  CurveRec* next;   // chain link
};

// Extension of an 'n' curve: a leading value, then the base curve chain whose
// own extension is a Spline2dRec.
struct NormalCurveExt {
  double lead;
  CurveRec* base;
};

// Extension of an 'r' curve: four leading numbers, then the two guide curve
// chains between which its lines run.
struct SyncCurveExt {
  double numbers[4];
  CurveRec* first;
  CurveRec* second;
};

// Extension of an 'f' curve.
struct FlowCurveExt {
  double blendPosition;
  double length;
  CurveRec* first;
  CurveRec* second;
};

// ---- Creation and release ---------------------------------------------------

// A new record on count points that it does not own (the caller keeps them
// alive and frees them): t0 = 0, lengths cumulative 2D distances, t1 = total,
// everything else empty.  Null for a negative count or when the record or its
// lengths cannot be allocated.
CurveRec* curveNew(Vec2d* points, int count, int kind);

// Frees every record of the chain: its points when owned, the z values, the
// kind extension (for 'n' the base curve's spline and the base chain, for 'r'
// and 'f' the two held chains, then the block; any other kind's extension as
// one block), the lengths and the record.  Null allowed.
void curveFree(CurveRec* curve);

// Copies name into the record, cut to kCurveNameSize - 1 characters; a null
// name empties it.
void curveSetName(CurveRec* curve, const char* name);

// The 3D line from a to b: kind 'p', two owned points, z (a.z, b.z).  Null on
// allocation failure.
CurveRec* curveNewLine3d(const Vec3d* a, const Vec3d* b);

// The 3D trapezoid over a->b: with u the 2D unit direction, the points a,
// a + run u, b - run u, b with z a.z, height, height, b.z; kind 'p', owned.
// Null when a and b lie less than 2 run + 0.00001 apart in plan, or on
// allocation failure.
CurveRec* curveNewTrapezoid(const Vec3d* a, const Vec3d* b, double height, double run);

// ---- Evaluation -------------------------------------------------------------

// Point (and z, when the curve has z values and z is not null) at parameter t.
// Returns the segment index (point i to i + 1) or -1 for a null curve, no
// points or t outside [t0 - 0.00001, t1 + 0.00001].  A curve whose range is
// below 0.00001 gives its last point and count - 1.  A parameter within
// 0.00001 of a vertex gives that vertex.
int curveEvalAt(const CurveRec* curve, double t, Vec2d* p, double* z);

// As curveEvalAt with the z value; -1 when the curve has no z values.
int curveEvalAt3d(const CurveRec* curve, double t, Vec3d* p);

// Unit 2D direction at t (t clamped into [t0, t1]): at the end (t within
// 0.00001 of t1) from the nearest earlier vertex that differs from the end
// point to the end point; elsewhere from the point at t to the next vertex
// that differs from it by 0.00001 or more in x or y.  1, or -1 for fewer than
// 2 points, a range below 0.00001 or no usable direction.
int curveTangentAt(const CurveRec* curve, double t, double dir[2]);

// Unit 3D direction of a curve with z values at t, the mean of the chords to
// the points 0.1 before and after t (one of them at the ends).  A curve with a
// range below 0.00001 (a vertical line) answers only at t0: the direction
// from its first to its second point.  1, or -1 for fewer than 2 points, no z
// values or no usable direction.
int curveTangentAt3d(const CurveRec* curve, double t, Vec3d* dir);

// Length of the polyline, in 3D when the curve has z values, else in plan.
double curveLength3d(const CurveRec* curve);

// 1 when the curve has points and its first and last point agree within
// 0.00001 in x and in y, else 0.
int curveIsClosed(const CurveRec* curve);

// ---- Changing a curve -------------------------------------------------------

// Reverses points, z values and lengths in place; each length becomes
// t0 + t1 minus the length it replaces, so the lengths stay ascending.
void curveReverse(CurveRec* curve);

// A new array with room for max(minCap, count) segments holding the count - 1
// segments (p_k, p_k+1); *segCount = their number (0 for fewer than 2 points).
// Free with std::free.  Null on allocation failure.
Seg2* curveToSeg2(const CurveRec* curve, int minCap, int* segCount);

// Replaces the points by the chain of n segments (the start of the first, then
// the end of each: n + 1 points), frees the old points when owned, drops the z
// values and recomputes the lengths (t0 = 0, t1 = the length).  The record
// owns the new points.  0, or -1 (curve unchanged) for n < 1, null segments or
// an allocation failure.
int curveSetPoints(CurveRec* curve, const Seg2* segs, int n);

// Offsets a polyline curve in place by the signed distance d: to the left of
// its direction for d > 0, to the right for d < 0 (a planar offset with corner
// joins and loop removal).  d exactly 0 leaves a curve of 2 or more points and
// its z values alone.  Otherwise the z values are dropped and the lengths run
// from 0.  0 when the offset gave a chain; -1, curve unchanged, when it has no
// segment, the offset found no usable chain or memory ran out.
int curveOffset(CurveRec* curve, double d);

// Thins the 2D points with the point thinning filter of spline2d.h (maximum
// chord kCurveThinMaxChord, tolerance tol) and recomputes the lengths from
// t0 = 0.  The z values of the kept points stay with them (those of the
// dropped points go), so z still matches its point.  0, or -1 (curve
// unchanged) for a null curve or when the filter's flags cannot be allocated.
int curveThin(CurveRec* curve, double tol);

// A new record that owns count zero points (and count zero z values when
// withZ), lengths all 0 and t0 = t1 = 0; the caller fills the points and then
// calls curveUpdateLengths.  Null for count < 1 or on allocation failure.
CurveRec* curveNewOwned(int count, int kind, bool withZ);

// Recomputes lengths as cumulative 2D distances from t0 and sets t1 to the
// last of them.
void curveUpdateLengths(CurveRec* curve);
