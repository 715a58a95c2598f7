// 2D parametric cubic spline and the thinning of 2D point arrays.
//
// The spline is a natural cubic through the points of a base curve,
// parametrized by chord length: the parameter of a kept point is the summed
// straight distance from the first one.  The guide curves that lay their lines
// normal to a base curve evaluate it for a point and a unit tangent.
//
// Current spline: the last spline built by spline2dBuild is the one that
// spline2dEvalCurrent evaluates.  This reference is process-wide and belongs
// to the sequential set-up of the guide curves (cycle thread only); freeing
// the current spline clears it.  The spline itself is owned by the caller,
// which releases it with spline2dFree.
//
// Thread-safety: spline2dBuild, spline2dFree and spline2dEvalCurrent read or
// write the current spline and are not thread-safe.  The evaluators of a given
// spline and the thinning filter keep no state.
#pragma once

#include <cstdint>

#include "geometry/primitives/vec.h"

struct CurveRec;

// Near-duplicate distance of spline2dBuild: a point closer than this to the
// last kept point is dropped.
inline constexpr double kSpline2dDedupTol = 0.0001;
// Sums of neighbouring intervals below this give zero weights.
inline constexpr double kSpline2dWeightTol = 1e-7;
// Derivatives shorter than this have no tangent.
inline constexpr double kSpline2dTangentTol = 0.0001;
// Coefficients per segment (cubic).
inline constexpr int kSpline2dOrder = 4;

// Message of a spline whose work arrays cannot be allocated.
inline constexpr int kMsgSplineNoMemory = 750;

// One cubic segment in power basis over u in [0, 1]:
// x(u) = cx[0] + cx[1] u + cx[2] u^2 + cx[3] u^3, y likewise.
struct Spline2dSeg {
  int16_t order;  // number of coefficients (kSpline2dOrder)
  double* cx;
  double* cy;
};

// Segment i covers the parameters [knots[i], knots[i+1]] with
// u = (t - knots[i]) / (knots[i+1] - knots[i]).
struct Spline2dRec {
  int16_t segCount;
  double* knots;      // segCount + 1 values: 0, then cumulative chord lengths
  Spline2dSeg* segs;  // segCount entries
};

// Builds the spline through n points: points closer than kSpline2dDedupTol to
// the last kept one are dropped, the ends are natural.  The new spline becomes
// the current spline; the caller owns it (spline2dFree).  Null when fewer than
// two points remain, n is not positive or more than the segment count can
// hold, or memory runs out (message 750 when the first work arrays cannot be
// had; nothing stays allocated).
Spline2dRec* spline2dBuild(const Vec2d* points, int n);

// Frees the knots, the coefficient arrays of each segment, the segments and
// the head.  When spline is the current spline there is none afterwards.
// Null allowed.
void spline2dFree(Spline2dRec* spline);

// Point of segment s at the local parameter u (Horner per coordinate).
void spline2dSegEval(const Spline2dSeg* s, double u, Vec2d* out);

// Derivative of segment s with respect to u at u.
void spline2dSegDeriv(const Spline2dSeg* s, double u, double out[2]);

// Point and derivative (with respect to the local u) at the global parameter
// t: the first segment whose end knot is not below t is evaluated (a knot
// belongs to the segment that ends there).  1; -1 for a t before the start or
// beyond the last knot (nothing written), a null or empty spline, or a NaN t.
int spline2dEval(const Spline2dRec* s, double t, Vec2d* point, double deriv[2]);

// Point and unit tangent of the current spline at t.  Both outputs are set to
// zero first.  curve is not read.  -1 when there is no current spline (trace
// "* Create Spline first"), when spline2dEval fails or the derivative is
// shorter than kSpline2dTangentTol; else 1.
int spline2dEvalCurrent(const CurveRec* curve, double t, Vec2d* point, Vec2d* tangent);

// Decides which of count points the thinning filter keeps (see
// pts2dThinFilter) and writes 1 (keep) or 0 per point to keep.  Allocates
// nothing.  count < 2 keeps every point.
void pts2dThinMarks(const Vec2d* points, int count, double maxChord, double tolerance,
                    std::uint8_t* keep);

// Removes points that add nothing to the shape: the first and last point
// stay; an inner point goes when the chord from the last kept point to its
// successor is not longer than maxChord and every point between lies within
// tolerance of that chord's line and not more than 60 degrees off its
// direction (a point turning back along the chord counts as in line), or when
// that chord is shorter than 0.00001.  The kept points move to the front in
// their order and *count becomes their number.  0 when *count < 2 (nothing
// done), -1 when the flag array cannot be allocated, else 1.
int pts2dThinFilter(Vec2d* points, int* count, double maxChord, double tolerance);
