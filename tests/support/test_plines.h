// Plines for the tests of the polyline filters: owned through PlinePtr.
#pragma once

#include <memory>
#include <vector>

#include "geometry/pline/pline.h"

namespace tsupport {

struct PlineDeleter {
  void operator()(Pline* pl) const { plineFree(pl); }
};
using PlinePtr = std::unique_ptr<Pline, PlineDeleter>;

// A Pline through pts with the given status words (kind 1, code 0 when
// none are given) and parameters 0, 1, 2, ...; with axes (i, 0, 1) and flag
// bytes i % 256 when withAxes is set.
inline PlinePtr plineThrough(const std::vector<Vec3d>& pts,
                             const std::vector<PointStatus>& status = {}, int withAxes = 0) {
  PlinePtr pl(plineNew(static_cast<int>(pts.size()), withAxes));
  for (size_t i = 0; i < pts.size(); ++i) {
    const int s = status.empty() ? pointStatusMake(kPointKindContact, kPointCut) : status[i];
    const Vec3d axis{static_cast<double>(i), 0.0, 1.0};
    plineAppend(pl.get(), static_cast<double>(i), &pts[i], s, &axis, static_cast<int>(i % 256));
  }
  return pl;
}

// The status codes of every point.
inline std::vector<int> plineCodes(const Pline* pl) {
  std::vector<int> codes;
  for (int i = 0; i < pl->count; ++i) codes.push_back(pointStatusCode(pl->status[i]));
  return codes;
}

}  // namespace tsupport
