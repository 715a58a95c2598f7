// Segment chains written as point lists, for the planar offset tests.
#pragma once

#include <cstddef>
#include <vector>

#include "geometry/primitives/vec.h"

namespace offset2d_test {

using Chain = std::vector<Seg2>;

// The segments between successive points; closed adds the segment from the
// last point back to the first.
inline Chain polyline(std::vector<Vec2d> pts, bool closed = false) {
  if (closed && !pts.empty()) pts.push_back(pts.front());
  Chain c;
  for (std::size_t i = 1; i < pts.size(); ++i) {
    c.push_back({pts[i - 1].x, pts[i - 1].y, pts[i].x, pts[i].y});
  }
  return c;
}

}  // namespace offset2d_test
