// NC output of cubic splines through outRawNcLine: the data-block form
// ("#D_SPLINE" headers, then per segment its polynomial, length and
// arc-length parametrisation) and the polynomial form ("POLY" blocks).
//
// Thread-safety: cycle thread (writes through the output cycle).
#pragma once

#include "geometry/curves/spline3d.h"

// The data-block form with the feed.  A segment that is not cubic sends the
// trace "Spline ist nicht kubisch : <order>" and ends the output.  Returns
// 1 (also for null arguments, which write nothing).
int spline3dWriteDSpline(const Spline3dRec* spline, const Spline3dLenTable* table, double feed);
// The polynomial form: "G1 X Y Z" of the start, then one line per segment,
// the first one beginning with "POLY ".  Returns 1.
int spline3dWritePoly(const Spline3dRec* spline, double feed);
