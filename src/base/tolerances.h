// The fixed absolute tolerances of the geometry library.
//
// Geometric equality in this library is decided with absolute, fixed
// tolerances (lengths in the job's internal units, usually millimetres).  Every
// geometry source takes its tolerances from here, so that one decision (are two
// points the same?) is made with the same number everywhere.
#pragma once

// Equal coordinates of points, point-like segments, parallel lines, zero-length
// cross products and vectors, tangency, orientation sums.
inline constexpr double kGeoEqualTol = 0.00001;

// Degenerate test of a perpendicular projection, applied to the squared segment
// length (segments shorter than about 0.00316 have no projection).
inline constexpr double kGeoProjectLengthSqTol = 0.00001;

// geoAlmostEqual and the end-touch test of collinear segments.
inline constexpr double kGeoAlmostEqualTol = 0.0001;
inline constexpr double kGeoCollinearTouchTol = 0.0001;

// Shortest segment that still has a unit direction.
inline constexpr double kGeoDirectionTol = 1e-7;

// Near-zero direction components and the wrap of turn angles.
inline constexpr double kGeoAngleZeroTol = 1e-13;

// |sine| of a turn below which two directions count as straight or reversed.
inline constexpr double kGeoTurnSineTol = 0.005;

// Total subtended angle above which a point counts as enclosed by a chain.
inline constexpr double kGeoWindingTol = 0.01;

// Starting distance of nearest-segment searches ("farther than anything").
inline constexpr double kGeoFarDistance = 1e10;

// Degenerate lines and determinants of the contour code; pivots of the banded
// solvers.
inline constexpr double kGeoLineTol = 1e-12;

// Pivots of Gauss-Jordan elimination.
inline constexpr double kGeoGaussJordanTol = 1e-8;

// Shared end points of two segments in the crossing search of segment soups.
inline constexpr double kGeoSharedEndTol = 1e-6;

// Shortest segment the contour code projects onto; also the distance below
// which the all-pairs crossing search treats two chain ends as joined.
inline constexpr double kGeoShortSegmentTol = 0.001;

// Box sentinels of new triangle lists (point and segment lists use DBL_MAX).
inline constexpr double kGeoTriBoxSentinel = 1e10;
