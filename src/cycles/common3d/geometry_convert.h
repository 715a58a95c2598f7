// Conversion of the contours of a kFY "Geometry" file into the temporary
// point-line text files that the boundary and curve readers of the 3D
// cycles read: boundaries into a bnd file, profiles into prf and pr2 files,
// sync lines and segments into snc files, inclination curves into a trc
// file.  Arcs are split into chords; every point is mapped from internal to
// world coordinates (framePtToolToWorld).
//
// File form, per block: "**BND n" / "**SYN n" / "**PRF n", optionally
// "**PLUNGE Xx Yy", point lines "Xx Yy Zz" (sync lines and segments
// "xx yy zz XX YY ZZ", start and end of one segment), "**END".
//
// Thread-safety: process-wide conversion state; cycle thread only, one
// conversion at a time.
#pragma once

#include "base/cycle_context.h"

// Contour kinds.
enum Cyc3dContourKind : int {
  kContourNone = 0,
  kContourBoundary = 1,
  kContourProfile = 2,
  kContourSynch = 3,
  kContourPoint = 4,
  kContourInclination = 5,
  kContourSegment = 6,
};

// Converts the file named by ctx's record geoSource.  Returns the number of
// blocks closed, or -1 when the file cannot be opened or is not of type
// "Geometry" (nothing is written then).
int cyc3dConvertGeometry(CycleDescriptor* ctx);

// Switches kept between conversions: all profiles into the prf file
// (appended), and kFY points as one-point profiles.
void cyc3dSetProfileAppend(int on);
void cyc3dSetPointProfiles(int on);

// Block writers of the running conversion (ctx's record as set by
// cyc3dConvertGeometry).
// Opens the file of kind and writes the block header; a block still open is
// closed first.  1, or 0 when the file cannot be opened.  A profile beyond
// the second without append-profiles opens nothing (1).
int cyc3dTempOpen(int kind);
// "**END" and closes the open file; 0 when none is open, else 1.
int cyc3dTempClose();
// The start point (only as the block's first point) and the end point.
void cyc3dTempLine(double sx, double sy, double sz, double ex, double ey, double ez);
// One coordinate-pair line.
void cyc3dTempSegment(double sx, double sy, double sz, double ex, double ey, double ez);
// The arc from start to end about (cx, cy) as chord end points at the end
// point's z; direction '-' is clockwise, anything else counter-clockwise.
void cyc3dTempArc(char direction, double sx, double sy, double sz, double ex, double ey, double ez,
                  double cx, double cy);
// "**PLUNGE Xx Yy" when a file is open.
void cyc3dTempPlunge(const double (*xy)[2]);

// Radius below which an arc writes nothing, and the distance to the sweep
// at which the arc ends with its exact end point.
constexpr double kCyc3dArcTol = 0.0001;
// Smallest chord step of an arc, in radians.
constexpr double kCyc3dMinArcStep = 0.001;
// Radius above which the chord step is a tenth of the segment angle.
constexpr double kCyc3dLargeArcRadius = 1000.0;
