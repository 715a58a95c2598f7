#include "model/drop/path_gaps.h"

#include <cmath>

#include "base/tolerances.h"

namespace {

bool isGap(const Pline* pl, int i) { return pointStatusCode(pl->status[i]) == kPointGap; }

void makeGap(Pline* pl, int i) { pl->status[i] = pointStatusWithCode(pl->status[i], kPointGap); }

}  // namespace

int plineFirstGapFrom(const Pline* path, double a, double b) {
  int i = 0;
  while (i < path->count && !(path->params[i] > a - kGeoEqualTol)) ++i;
  for (; i < path->count && !(path->params[i] > b + kGeoEqualTol); ++i) {
    if (isGap(path, i)) return i;
  }
  return -1;
}

int plineLastGapBefore(const Pline* path, double a, double b) {
  int i = path->count - 1;
  while (i >= 0 && !(path->params[i] < b + kGeoEqualTol)) --i;
  for (; i >= 0 && !(path->params[i] < a - kGeoEqualTol); --i) {
    if (isGap(path, i)) return i;
  }
  return -1;
}

double plineRunLength3d(int i, int j, const Pline* path) {
  double len = 0.0;
  for (int k = j + 1; k <= i; ++k) {
    const Vec3d& p = path->points[k - 1];
    const Vec3d& q = path->points[k];
    len += std::sqrt((q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y) +
                     (q.z - p.z) * (q.z - p.z));
  }
  return len;
}

void projWidenGapIntervals(Pline* path, double step, const double* intervals, int count) {
  if (path == nullptr || intervals == nullptr) return;
  const double w = kGapWidenSteps * step;
  const double tol = kGeoEqualTol;
  for (int k = 0; k < count; ++k) {
    const double a = intervals[2 * k];
    const double b = intervals[2 * k + 1];
    const double m = 0.5 * (a + b);
    const int n = plineFirstGapFrom(path, a, m);
    for (int i = 0; i < n; ++i) {
      const double t = path->params[i];
      if (t > a - tol && t < a + w + tol) makeGap(path, i);
    }
    const int g = plineLastGapBefore(path, m, b);
    if (g < 0) continue;
    for (int i = g + 1; i < path->count; ++i) {
      const double t = path->params[i];
      if (t > b - w - tol && t < b + tol) makeGap(path, i);
    }
  }
}

void projGapShortRuns(Pline* path, double minLength) {
  if (path == nullptr) return;
  int j = 0;
  while (j < path->count) {
    if (isGap(path, j)) {
      ++j;
      continue;
    }
    int i = j;
    while (i + 1 < path->count && !isGap(path, i + 1)) ++i;
    if (minLength > plineRunLength3d(i, j, path)) {
      for (int k = j; k <= i; ++k) makeGap(path, k);
    }
    j = i + 1;
  }
}
