// Named contours of kFY files as curve records.
//
// A contour file holds "Contour" object elements, each naming a contour whose
// block ("{" ... "}") holds line ("L") and arc ("A") object elements with the
// coordinate attributes x, y, z ("start/end/centre" texts; a missing part
// defaults to the previous element's end point).  An arc's attribute "o" gives
// its direction: "-" clockwise, anything else counter-clockwise.  The value
// elements "surface" and "depth" set the step offsets of the next closed
// contour, and "Cs_o", "Cs_x", "Cs_y", "Cs_z" ("x,y,z") set the contour frame.
//
// Contour frame: a point p of a file maps to p.x X + p.y Y + p.z Z + O.  The
// frame is process-wide and persists from one read to the next (a file
// without Cs_ values reuses the frame of the one before); the cycle puts it
// back to the identity at the start of every run (kfyContourFrameReset).
//
// Threads: the frame and the kFY element scanner are process-wide: one read
// at a time, on the cycle's thread.
#pragma once

#include "geometry/curves/curve.h"
#include "geometry/lists/lists.h"
#include "geometry/primitives/vec.h"

// Arcs whose radius is below this add no points; the last step of an arc
// ends this far short of the sweep before the exact end point is taken.
inline constexpr double kKfyArcTol = 0.0001;
// Smallest angle step of an arc (radians).
inline constexpr double kKfyArcMinStep = 0.001;
// Initial room of a contour's point list.
inline constexpr int kKfyContourCapacity = 1000;

// Reads every contour of the kFY file path, arcs turned into points whose
// chords stay within tolerance of the arc.  Returns the first curve of a chain
// in file order: kind 'p', owned points and z values mapped through the
// contour frame, firstStep = surface, lastStep = surface - depth, the
// contour's name (cut to kCurveNameSize - 1 characters).  A "}" that closes a
// block without an open contour adds no curve.  Null when the file cannot be
// opened or has no valid header, when no contour was closed, or when memory
// runs out (nothing stays allocated).  Free with curveFree.
CurveRec* kfyReadContours(const char* path, double tolerance);

// Appends (x0, y0, z0) when list is empty, then (x1, y1, z1).  1, or 0 when an
// append fails.
int kfyContourAddLine(double x0, double y0, double z0, double x1, double y1, double z1,
                      Pt3List* list);

// Appends the arc from (x0, y0) around (cx, cy) to (x1, y1), direction '-' (or
// -1) clockwise and anything else counter-clockwise, every point at height z.
// The start is appended when the list is empty; the points follow at an
// angle step of 2 acos((r - tolerance) / r) (at least kKfyArcMinStep), and
// the last point is the exact end point.  An arc whose start lies within
// kKfyArcTol of its centre adds nothing.  1, or 0 when an append fails.
int kfyContourAddArc(double tolerance, double x0, double y0, double x1, double y1, double z,
                     double cx, double cy, int direction, Pt3List* list);

// A curve of the list's points mapped through the contour frame (see
// kfyReadContours), without a name.  Null on allocation failure or a null
// list.
CurveRec* kfyContourToCurve(double surface, double depth, const Pt3List* list);

// Splits text at its first two commas (the text is changed) and converts the
// three parts (C locale; a part that is no number gives 0) into out.  1, or -1
// when the text has fewer than two commas; with only one comma x has been
// stored already.
int kfyParseXyz(char* text, Vec3d* out);

// The contour frame: origin and axes.
void kfyContourFrame(Vec3d* origin, Vec3d* x, Vec3d* y, Vec3d* z);
// Identity frame (origin 0, axes the unit vectors).
void kfyContourFrameReset();
