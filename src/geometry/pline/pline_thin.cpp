#include "geometry/pline/pline_thin.h"

#include <new>
#include <vector>

#include "geometry/pline/path_points.h"
#include "geometry/pline/pline_reduce.h"

int plineThinRuns(Pline *pl, double tol, double maxLen) {
  if (pl == nullptr)
    return -1;
  std::vector<PathPoint> run;
  int first = -1, last = -1, from = 0;
  while (plineNextRun(from, pl, &first, &last) == 1) {
    const int n = last - first + 1;
    try {
      run.assign(static_cast<std::size_t>(n),
                 PathPoint{0, 0, 0, kPtKindPath, kPtMarkNo, kPtMarkNo});
    } catch (const std::bad_alloc &) {
      return -1;
    }
    for (int k = 0; k < n; ++k) {
      const Vec3d &p = pl->points[first + k];
      run[static_cast<std::size_t>(k)].x = p.x;
      run[static_cast<std::size_t>(k)].y = p.y;
      run[static_cast<std::size_t>(k)].z = p.z;
    }
    if (ptThinBlocks(tol, maxLen, run.data(), n) == 0) {
      for (int k = 0; k < n; ++k) {
        const bool dropped =
            run[static_cast<std::size_t>(k)].kind == kPtKindDropped;
        PointStatus &s = pl->status[first + k];
        s = pointStatusWithCode(s, dropped ? kPointDropped : kPointCut);
      }
    }
    from = last + 1;
  }
  plineReduce(pl, maxLen, tol);
  return 1;
}
