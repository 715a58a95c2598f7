// 2D parametric spline record of the geometry library.
//
// Only the release is declared here so far: normal-line guide curves hold a
// spline of their base curve and free it with the curve.
#pragma once

struct Spline2dRec;

// Frees a spline and everything it owns.  Null allowed.
void spline2dFree(Spline2dRec* spline);
