// Random pairs of segments between integer points in general position (no
// three of the four ends on one line), with the answer of an exact predicate:
// whether the segments cross.  Integer coordinates keep the cases far from
// every tolerance band of the library, so its answers must agree exactly.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "geometry/primitives/vec.h"

namespace geometry_test {

struct SegmentPair {
  Seg2 s;
  Seg2 t;
  int cross;          // 1 when the segments cross, else 0
  int orientSTStart;  // exact orientation of (s start, s end, t start): 1, -1
};

// Exact orientation of three integer points: 1 counter-clockwise, -1
// clockwise, 0 collinear.
inline int exactOrient(const Vec2d& a, const Vec2d& b, const Vec2d& c) {
  const auto v = static_cast<std::int64_t>((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x));
  return (v > 0) - (v < 0);
}

// Up to `tries` pairs with coordinates in [-50, 50] from a fixed seed.
inline std::vector<SegmentPair> integerSegmentPairs(unsigned seed, int tries) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> coord(-50, 50);
  auto point = [&] { return Vec2d{double(coord(rng)), double(coord(rng))}; };
  std::vector<SegmentPair> out;
  for (int i = 0; i < tries; ++i) {
    const Vec2d a = point(), b = point(), c = point(), d = point();
    const int o1 = exactOrient(a, b, c), o2 = exactOrient(a, b, d);
    const int o3 = exactOrient(c, d, a), o4 = exactOrient(c, d, b);
    if (o1 == 0 || o2 == 0 || o3 == 0 || o4 == 0) continue;
    out.push_back({{a.x, a.y, b.x, b.y}, {c.x, c.y, d.x, d.y}, (o1 != o2 && o3 != o4) ? 1 : 0, o1});
  }
  return out;
}

}  // namespace geometry_test
