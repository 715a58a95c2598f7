// Shapes and a brute-force inside test shared by the contour tree and mesh
// tests.
#pragma once

#include <cmath>
#include <random>
#include <vector>

#include "geometry/contour2d/kont2d.h"
#include "geometry/primitives/vec.h"

namespace contour_shapes {

using Ring = std::vector<Vec2d>;
using Chain = std::vector<Seg2>;

// Closed segment chain through the ring's points.
inline Chain chainOf(const Ring& r) {
  Chain c;
  for (std::size_t i = 0; i < r.size(); ++i) {
    const Vec2d& a = r[i];
    const Vec2d& b = r[(i + 1) % r.size()];
    c.push_back({a.x, a.y, b.x, b.y});
  }
  return c;
}

inline Ring rect(double x0, double y0, double x1, double y1, bool ccw = true) {
  Ring r{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  if (!ccw) r = {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}};
  return r;
}

inline Ring circle(double cx, double cy, double radius, int n, bool ccw, double phase = 0.0) {
  Ring r;
  for (int i = 0; i < n; ++i) {
    const double a = phase + 2.0 * M_PI * i / n * (ccw ? 1.0 : -1.0);
    r.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
  }
  return r;
}

// Even-odd crossing test against the ring's polygon.
inline bool inside(const Ring& r, const Vec2d& p) {
  bool in = false;
  for (std::size_t i = 0, j = r.size() - 1; i < r.size(); j = i++) {
    const Vec2d& a = r[i];
    const Vec2d& b = r[j];
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) in = !in;
  }
  return in;
}

// A wobbly ring around (cx, cy) with radii in [r0, r1], in either orientation.
inline Ring wobbly(std::mt19937& rng, double cx, double cy, double r0, double r1, int n, bool ccw) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  Ring r;
  for (int i = 0; i < n; ++i) {
    const double a = 2.0 * M_PI * (i + 0.5 * unit(rng)) / n * (ccw ? 1.0 : -1.0);
    const double rad = r0 + (r1 - r0) * unit(rng);
    r.push_back({cx + rad * std::cos(a), cy + rad * std::sin(a)});
  }
  return r;
}

// The contour tree of the rings (kontFromChains); the caller frees it.
inline Kont2d* treeOf(const std::vector<Ring>& rings) {
  std::vector<Chain> chains;
  for (const Ring& r : rings) chains.push_back(chainOf(r));
  std::vector<const Seg2*> ptrs;
  std::vector<int> counts;
  for (const Chain& c : chains) {
    ptrs.push_back(c.data());
    counts.push_back(static_cast<int>(c.size()));
  }
  return kontFromChains(ptrs.data(), counts.data(), static_cast<int>(ptrs.size()));
}

}  // namespace contour_shapes
