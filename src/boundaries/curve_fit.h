// Fitting the offsets of a profile into a boundary, and the profile readers
// that fit what they read.
//
// A profile used as a guide curve is stepped over the machining area by
// offsetting it line by line.  Before the first line, the range of signed
// offsets whose offset curve still meets the boundary must be known:
// curveFitToBoundary finds it.  An offset d meets the boundary when the curve
// offset by |d| (to the left of its direction for d >= 0, to the right for
// d < 0; offset2dSegChain) gives a usable chain that crosses the boundary's
// chain, or that lies inside the boundary at its middle point (the start of
// its segment m / 2 of m, by winding).  No segment, or one segment whose ends
// coincide within 0.00001, is not usable and meets nothing.
//
// Threads: no shared state; every offset works on its own arrays, so several
// threads may fit curves at once (each its own curve).  The fitted readers
// send message 601 through the output cycle (kernel/core/messages.h).
#pragma once

#include <string>
#include <vector>

#include "boundaries/boundary_rec.h"
#include "geometry/curves/curve.h"
#include "geometry/primitives/vec.h"

// Catalogue text of message 601: a profile does not fit into its boundary.
inline constexpr int kMsgProfileNotFitted = 601;
inline constexpr const char* kMsgProfileNotFittedText =
    "* Fehler: Profil kann nicht in Boundary eingepasst werden";

// The search for a meeting offset takes the reach as this many times the
// largest distance from the box corners to the offset curve (or half the box
// width or height).
inline constexpr double kCurveFitReachFactor = 1.5;

// ---- Matching and fitting -----------------------------------------------------

// With n the boundary's segment count: 0 unless the curve has n or n + 1
// points; 1 when n <= 0.  Then 1 when curve point i equals the start of
// boundary segment i (x and y within 0.00001) for every i < n; -1 when the
// start of boundary segment j equals curve point (n - j) modulo the point
// count for every j < n (the curve runs the boundary backwards); else 0.
// 0 for a null curve or boundary.
int curveMatchesBoundary(const CurveRec* curve, const BoundaryRec* bnd);

// Range of offsets of curve that meet bnd, written to *first and *last:
// - |step| below 0.00001: both 0.
// - A curve that is the boundary (curveMatchesBoundary non-zero): first 0,
//   last half the larger box extent, run to the inside: negated, with the
//   curve's side flag set to 1, when the boundary turns clockwise as the curve
//   runs it, else the side flag is set to 0.
// - Otherwise an offset o that meets (0, +c, -c, +c/2, -c/2, c the distance
//   from the box centre to the curve) is searched, and from it both ends of
//   the meeting range to within |step| (outward up to the reach, see
//   kCurveFitReachFactor).  When the curve's side flag is set, first and last
//   are exchanged.
// Returns 0, or -1 (outputs untouched) for a null argument or a non-finite
// step, when no offset meets the boundary, or when memory runs out.  The
// curve's points are not changed.
int curveFitToBoundary(CurveRec* curve, const BoundaryRec* bnd, double step, double* first,
                       double* last);

// ---- Steps of the fit (exposed for tests) -------------------------------------

// The curve as a segment chain with the offset found so far.
struct CurveFitChain {
  const Seg2* segs;
  int count;
  double offset;
};

// A bisection interval: mode 1 looks for the smallest meeting offset (lo does
// not meet, hi does), mode 2 for the largest (lo meets, hi does not).
struct CurveBisection {
  double lo;
  double hi;
  int mode;
};

// 1 when the offset d of the chain meets bnd, 0 when not, -1 when memory runs
// out.
int curveOffsetMeetsBoundary(const CurveFitChain* chain, const BoundaryRec* bnd, double d);

// Sets chain->offset to the first of 0, +c, -c, +c/2, -c/2 that meets bnd.
// 1, 0 when none meets, -1 when memory runs out.
int curveFindMeetingOffset(CurveFitChain* chain, const BoundaryRec* bnd);

// Reach of the search about chain->offset: 1.5 times the largest of the
// distances from the four box corners to the offset chain, half the box width
// and half the box height.  1, 0 when the offset gives no usable chain, -1
// when memory runs out.
int curveOffsetReach(const CurveFitChain* chain, const BoundaryRec* bnd, double* reach);

// Halves the interval while |hi - lo| >= eps (or until the halves can no
// longer be told apart in double precision): in mode 1 hi moves to a meeting
// middle, else lo; in mode 2 hi moves to a middle that does not meet, else
// lo.  1, or -1 when memory runs out.
int curveBisectOffset(const CurveFitChain* chain, const BoundaryRec* bnd, CurveBisection* b,
                      double eps);

// ---- Fitted profile readers ---------------------------------------------------

// The first profile of the file name as a kind 'p' curve owning its points,
// with z values when withZ is set, named after the file, with the reverse and
// side flags stored (reversed when reverse is set).  With a boundary the step
// offsets are the range of curveFitToBoundary(curve, bnd, step); when that
// fails, message 601 is sent and the result is null.  Without a boundary both
// steps are 0.  Null also when the file cannot be read, holds no point, or
// memory runs out.  Free with curveFree.
CurveRec* curveReadPrfFitted(const char* name, const BoundaryRec* bnd, double step, int reverse,
                             int side, int withZ);

// Every profile of the file with z values, each fitted as curveReadPrfFitted
// fits it, as a chain in file order.  A file of fewer than two profiles is
// read as curveReadPrfFitted reads it.  Otherwise the profiles are split in
// memory and each curve carries the name "tmp.prf"; a profile without points
// or one that cannot be made ends the chain, and so does a failed fit (after
// message 601, that curve dropped).  The chain read so far is returned (null
// when there is none).  Free with curveFree.
CurveRec* curveReadPrfAll(const char* name, const BoundaryRec* bnd, double step, int reverse,
                          int side);
// The same from the lines of a file already read (name for the messages).
CurveRec* curveReadPrfAllLines(const std::vector<std::string>& lines, const char* name,
                               const BoundaryRec* bnd, double step, int reverse, int side);
