#include "model/contact/torus_edge.h"

#include <cmath>

namespace {

// Bisection levels evaluated together, and the midpoints they hold (a full
// binary tree: node n has children 2n + 1 (lower half) and 2n + 2 (upper)).
constexpr int kLevels = 3;
constexpr int kNodes = (1 << kLevels) - 1;

struct SlopeLine {
  double r, R, h, slope;
  // The slope of the lower tube surface along the line at u, minus the wanted
  // one; the expression and its order are those of the plain search.
  double at(double u) const {
    const double rho = std::sqrt(u * u + h * h);
    const double d = R - rho;
    return -d * u / (std::sqrt(r * r - d * d) * rho) - slope;
  }
};

// Midpoints of the tree below [lo, hi], each formed as the plain search forms
// it from the bounds it would hold there.
void treeMids(double lo, double hi, double mid[kNodes]) {
  double nodeLo[kNodes];
  double nodeHi[kNodes];
  nodeLo[0] = lo;
  nodeHi[0] = hi;
  for (int n = 0; n < kNodes; ++n) {
    mid[n] = 0.5 * (nodeLo[n] + nodeHi[n]);
    const int left = 2 * n + 1;
    if (left + 1 < kNodes) {
      nodeLo[left] = nodeLo[n];
      nodeHi[left] = mid[n];
      nodeLo[left + 1] = mid[n];
      nodeHi[left + 1] = nodeHi[n];
    }
  }
}

// The search's bounds; false for a line that misses the tube (or NaN input),
// which has no position at all.
bool searchBounds(double r, double R, double h, double* uLow, double* uHigh) {
  const double reach = (r + R) * (r + R) - h * h;
  if (!(reach > 0.0)) return false;
  *uHigh = std::sqrt(reach) - kTorusEdgeRimOffset;
  *uLow = (R < h ? 0.0 : std::sqrt(R * R - h * h)) + kTorusEdgeRimOffset;
  return true;
}

// Margin of the side tests of torusEdgeSlopeMisses over the search's slope
// tolerance, absolute and relative to the slope found, and the part of the
// search's last interval added to hi.
constexpr double kSideSlopeMargin = 1e-7;
constexpr double kSideIntervalPart = 1.1;

}  // namespace

bool torusEdgeSlopeMisses(double r, double R, double h, double slope, double lo, double hi) {
  double uLow, uHigh;
  if (!searchBounds(r, R, h, &uLow, &uHigh)) return true;
  // Every position lies within [uLow, uHigh].
  if (hi < uLow || lo > uHigh) return true;
  const SlopeLine f{r, R, h, slope};
  const auto beyond = [](double v) {
    return kTorusEdgeSlopeTol + kSideSlopeMargin * (1.0 + std::fabs(v));
  };
  if (lo > uLow && lo < uHigh) {
    const double v = f.at(lo);
    if (v >= beyond(v)) return true;
  }
  const double past = hi + kSideIntervalPart * kTorusEdgeSlopeTol;
  if (past > uLow && past < uHigh) {
    const double v = f.at(past);
    if (v <= -beyond(v)) return true;
  }
  return false;
}

int torusEdgeSlopeParam(double* t, double r, double R, double h, double slope) {
  const SlopeLine f{r, R, h, slope};
  double uLow, uHigh;
  if (!searchBounds(r, R, h, &uLow, &uHigh)) return -1;

  // The ends and the first levels together.
  double mid[kNodes];
  double fMid[kNodes];
  treeMids(uLow, uHigh, mid);
  double fLow = f.at(uLow);
  const double fHigh = f.at(uHigh);
  for (int n = 0; n < kNodes; ++n) fMid[n] = f.at(mid[n]);

  if (!std::isfinite(fLow) || !std::isfinite(fHigh)) return -1;
  if (std::fabs(fLow) < kTorusEdgeSlopeTol) {
    *t = uLow;
    return 0;
  }
  if (std::fabs(fHigh) < kTorusEdgeSlopeTol) {
    *t = uHigh;
    return 0;
  }
  if (fLow * fHigh > 0.0) return -1;
  for (;;) {
    int node = 0;
    for (int level = 0; level < kLevels; ++level) {
      if (!(std::fabs(uHigh - uLow) > kTorusEdgeSlopeTol)) {
        *t = uLow;
        return 0;
      }
      const double m = mid[node];
      const double fm = fMid[node];
      if (!std::isfinite(fm)) return -1;
      if (std::fabs(fm) < kTorusEdgeSlopeTol) {
        *t = m;
        return 0;
      }
      if (fm * fLow > 0.0) {
        uLow = m;
        fLow = fm;
        node = 2 * node + 2;
      } else {
        uHigh = m;
        node = 2 * node + 1;
      }
    }
    if (!(std::fabs(uHigh - uLow) > kTorusEdgeSlopeTol)) {
      *t = uLow;
      return 0;
    }
    treeMids(uLow, uHigh, mid);
    for (int n = 0; n < kNodes; ++n) fMid[n] = f.at(mid[n]);
  }
}
