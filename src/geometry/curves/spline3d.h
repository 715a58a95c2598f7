// Interpolating cubic splines through 3D points (natural ends, or periodic
// when the points close), one-segment splines from cubic Bezier control
// points, their evaluation and the arc-length table of their segments.
//
// Thread-safety: no shared state; the functions may run in parallel on
// different splines.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/primitives/vec.h"

// One cubic segment in power basis of its local parameter u in [0, 1]:
// x(u) = cx[0] + cx[1] u + cx[2] u^2 + cx[3] u^3.
struct Spline3dSeg {
  int16_t order = 4;
  std::vector<double> cx, cy, cz;  // order coefficients each
};

// A spline of segCount segments; knots[i] .. knots[i+1] is the global
// parameter range of segment i (knots[0] = 0).
struct Spline3dRec {
  int32_t segCount = 0;
  std::vector<double> knots;
  std::vector<Spline3dSeg> segs;
};

// Per segment: u as a cubic of the arc length s (constant term 0) and the
// segment's length.
struct Spline3dLenEntry {
  int16_t order = 4;
  std::vector<double> coefficients;  // 4
  double zero = 0;
  double length = 0;
};

struct Spline3dLenTable {
  int32_t count = 0;
  std::vector<double> knots;  // 0, 1, ..., count
  std::vector<Spline3dLenEntry> entries;
};

// Parameter kinds of spline3dInterpolate.
enum Spline3dKind : int {
  kSplineUniform = 0,
  kSplineChord = 1,
  kSplineCentripetal = 2,  // square root of the chord length
};

// The cubic spline through points (n of them): points closer than
// kSplinePointTol to the last kept one are dropped; natural end conditions,
// or periodic ones when the first and last input points are closer than
// kSplineClosedTol.  Null when fewer than two points remain or memory runs
// out.  Free with spline3dFree.
Spline3dRec* spline3dInterpolate(const Vec3d* points, int n, int kind);
// The one-segment spline of the cubic Bezier curve p0 .. p3, knots 0 and
// length.  Null when memory runs out.
Spline3dRec* spline3dFromCubic(const Vec3d* p0, const Vec3d* p1, const Vec3d* p2, const Vec3d* p3,
                               double length);
// Releases a spline; null is ignored.
void spline3dFree(Spline3dRec* spline);

// The segment's point at local parameter u (Horner's rule).
void spline3dSegEval(const Spline3dSeg* s, double u, Vec3d* out);
void polyCurveEval3d(double u, Vec3d* out, const Spline3dSeg* s);

// The length table of a spline: each segment sampled at 21 parameters, its
// chord length, and u(s) fitted by least squares with u(length) = 1.  Null
// when memory runs out or spline is null.  Free with spline3dLenTableFree.
Spline3dLenTable* spline3dLenTableBuild(const Spline3dRec* spline);
void spline3dLenTableFree(Spline3dLenTable* table);

constexpr double kSplinePointTol = 0.00001;
constexpr double kSplineClosedTol = 1e-6;
constexpr double kSplineWeightTol = 1e-7;
constexpr int kSplineLenSamples = 20;
