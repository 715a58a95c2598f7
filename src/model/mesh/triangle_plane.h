// The plane of a triangle as the contact cases use it, made in one place so
// that a plane made beforehand (kept with a model's grid) and one made during
// a drop are the same to the bit.
//
// The unit normal n points down, away from a tool lowered onto the triangle
// (n.z <= 0); the plane is n . X + k = 0 and t = |n.z| is the cosine of the
// slope.  A triangle whose edge cross product is shorter than kGeoEqualTol
// has n = 0, k = 0 and t = 0.
#pragma once

#include <algorithm>
#include <cmath>

#include "base/tolerances.h"
#include "geometry/primitives/vec.h"

struct TrianglePlane {
  Vec3d e1;  // V1 - V0
  Vec3d e2;  // V2 - V0
  Vec3d n;   // unit normal pointing down, or 0
  double k;  // plane offset
  double t;  // |n.z|, 0 for a degenerate triangle
};

inline void trianglePlaneOf(const Vec3d& v0, const Vec3d& v1, const Vec3d& v2, TrianglePlane* p) {
  p->e1 = {v1.x - v0.x, v1.y - v0.y, v1.z - v0.z};
  p->e2 = {v2.x - v0.x, v2.y - v0.y, v2.z - v0.z};
  const Vec3d c{p->e1.y * p->e2.z - p->e1.z * p->e2.y, p->e1.z * p->e2.x - p->e1.x * p->e2.z,
                p->e1.x * p->e2.y - p->e1.y * p->e2.x};
  const double len = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
  if (len < kGeoEqualTol) {
    p->n = {0.0, 0.0, 0.0};
    p->k = 0.0;
    p->t = 0.0;
    return;
  }
  // Turned towards the drop direction: a downward normal.
  const double s = (c.z > 0.0) ? -1.0 / len : 1.0 / len;
  p->n = {c.x * s, c.y * s, c.z * s};
  p->k = -(p->n.x * v0.x + p->n.y * v0.y + p->n.z * v0.z);
  p->t = std::fabs(p->n.z);
}

// Least squared sine of a corner (times the fourth power of the longest
// edge) of a level triangle whose face test the drops may decide without
// running it.
inline constexpr double kLevelShapeMin = 1e-4;

// True when the triangle with plan edges e1 = (e1x, e1y) and e2 = (e2x, e2y)
// from its first vertex is well shaped for that: the square of twice its
// area is at least kLevelShapeMin times the fourth power of its longer edge
// from the first vertex (false for slivers and non-finite input).
inline bool levelShapeGood(double e1x, double e1y, double e2x, double e2y) {
  const double cz = e1x * e2y - e1y * e2x;
  const double l2 = std::max(e1x * e1x + e1y * e1y, e2x * e2x + e2y * e2y);
  return cz * cz >= kLevelShapeMin * l2 * l2 && l2 > 0.0;
}

// Margins of the box test below: a part of the box's size, a part of the
// axis' reach to the box's far side, and an absolute part per unit of the
// coordinates.
inline constexpr double kLevelClearSize = 0.01;
inline constexpr double kLevelClearReach = 1e-3;
inline constexpr double kLevelClearAbs = 1e-12;

// The margin of the box test for a box of the given size, the axis' reach
// and the coordinates' size (1 + |px| + |py|).
inline double levelClearMargin(double size, double reach, double coordinates) {
  return kLevelClearSize * size + kLevelClearReach * reach + kLevelClearAbs * coordinates;
}

// True when the axis (px, py) clears the plan box [mn, mx] of a level
// triangle of good shape (levelShapeGood) so far that the contact's face
// test on it fails, whatever its rounding.  The test accepts barycentric
// coordinates a, b within 1e-8 of the triangle's.  An axis a margin m
// outside the box lies outside the triangle grown by m / (6 size) in those
// coordinates (size: the box's width plus height).  On such a triangle
// (the determinant at least 1e-4 times the fourth power of the longer edge
// from the first vertex, that edge at least a quarter of the size) their
// rounding error stays below 2e-6 times reach / size, reach bounding the
// axis' distance from the first vertex.  The margins leave a factor of more
// than 50.
inline bool levelBoxCleared(const Vec3d& mn, const Vec3d& mx, double px, double py) {
  const double size = (mx.x - mn.x) + (mx.y - mn.y);
  const double reach = std::fabs(px - mn.x) + std::fabs(py - mn.y) + size;
  const double m = levelClearMargin(size, reach, 1.0 + std::fabs(px) + std::fabs(py));
  return px < mn.x - m || px > mx.x + m || py < mn.y - m || py > mx.y + m;
}

// True when levelBoxCleared(mn, mx, px, py) holds at every point of the
// rectangle [x0, x1] x [y0, y1].  Each term of the margin is largest at a
// corner of the rectangle, and rounding is monotone, so no point of it
// computes a margin above the one taken here; doubling it keeps every
// rounding of the comparisons on the safe side.
inline bool levelBoxClearedOver(const Vec3d& mn, const Vec3d& mx, double x0, double x1, double y0,
                                double y1) {
  const double size = (mx.x - mn.x) + (mx.y - mn.y);
  const double reach = std::max(std::fabs(x0 - mn.x), std::fabs(x1 - mn.x)) +
                       std::max(std::fabs(y0 - mn.y), std::fabs(y1 - mn.y)) + size;
  const double coordinates =
      1.0 + std::max(std::fabs(x0), std::fabs(x1)) + std::max(std::fabs(y0), std::fabs(y1));
  const double m = 2.0 * levelClearMargin(size, reach, coordinates);
  return x1 < mn.x - m || x0 > mx.x + m || y1 < mn.y - m || y0 > mx.y + m;
}
