// Curve operations that read boundary and macro records: the standard guide
// lines over a boundary's box, the polyline of a macro, and boxes along a
// curve limited to a boundary's inside intervals.
#pragma once

#include "boundaries/boundary_rec.h"
#include "boundaries/macros/macro_rec.h"
#include "geometry/curves/curve.h"
#include "geometry/lists/lists.h"

// Message number of a wrong guide-line kind.
inline constexpr int kMsgWrongProfileMode = 600;

// The guide line of kind 'x' or 'y' over the boundary's box grown by its
// contact offset g (x0 = xMin - g ... y1 = yMax + g).  With c = side when
// reverse is set, else !side:
//   'x': from x0 to x1 (x1 to x0 when reverse) at y = h, h = y0 and last
//        step y1 when c holds, else h = y1 and last step y0;
//   'y': from y0 to y1 (y1 to y0 when reverse) at x = h, h = x1 and last
//        step x0 when c holds, else h = x0 and last step x1.
// First step h; box, reverse and side stored; the record owns its points.
// Any other kind sends message 600 and gives null; a null boundary or an
// allocation failure gives null.  Sends a message: cycle thread only.
CurveRec* curveNewStandardLine(int kind, const BoundaryRec* bnd, int reverse, int side);

// A 3D polyline (kind 'p', owned points with z) through the macro's points:
// an approach macro in reverse order, a retract macro in its order.  Null for
// a null or empty macro or on allocation failure.
CurveRec* curveFromMacro(const MacroRec* m);

// Boxes {xMin, yMin, xMax, yMax} (4 doubles each, in data) of consecutive
// pieces of pieceLen along the curve, each spanning the piece's end points
// and the vertices between them, grown by margin (a margin not above 0 counts
// as 0; a piece length below 0.00001 as 1).  The range is [t0, t1], or from
// the first interval's start to the last interval's end when bnd holds inside
// intervals.  Kinds 'x' and 'y' make one piece.  A range shorter than
// 0.00001 gives one box about it.  Null for fewer than 2 points or when an
// evaluation or allocation fails.  Free with countedArrayFree.
CountedArray* curvePieceBoxes(const CurveRec* curve, double margin, const BoundaryRec* bnd,
                              double pieceLen);
