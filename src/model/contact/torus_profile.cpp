#include "model/contact/torus_profile.h"

#include <cmath>

namespace {

// Offsets of the torus slope search: the search interval starts just beyond
// the lowest line of the tube and ends just inside its outer rim, where the
// slope is finite.
constexpr double kTorusRimOffset = 1e-6;
// Accuracy of the torus slope search, in t and in slope.
constexpr double kTorusSlopeTol = 0.001;

}  // namespace

double torusLowerZ(double t, double r, double R, double h) {
  const double rho = std::sqrt(t * t + h * h);
  const double q = r * r - (R - rho) * (R - rho);
  if (q < 0.0) return 0.0;
  return -std::sqrt(q);
}

int torusSlopeParam(double* t, double r, double R, double h, double slope) {
  // The slope of the lower tube surface along the line, minus the wanted one.
  const auto f = [&](double u) {
    const double rho = std::sqrt(u * u + h * h);
    const double d = R - rho;
    return -d * u / (std::sqrt(r * r - d * d) * rho) - slope;
  };
  const double reach = (r + R) * (r + R) - h * h;
  // A line that misses the tube (or NaN input) has no position at all; the
  // plain search would evaluate sqrt of a negative number, every comparison
  // would fail, and a NaN position would be reported as found.
  if (!(reach > 0.0)) return -1;
  double uHigh = std::sqrt(reach) - kTorusRimOffset;
  double uLow = (R < h ? 0.0 : std::sqrt(R * R - h * h)) + kTorusRimOffset;
  double fLow = f(uLow);
  const double fHigh = f(uHigh);
  if (!std::isfinite(fLow) || !std::isfinite(fHigh)) return -1;
  if (std::fabs(fLow) < kTorusSlopeTol) {
    *t = uLow;
    return 0;
  }
  if (std::fabs(fHigh) < kTorusSlopeTol) {
    *t = uHigh;
    return 0;
  }
  if (fLow * fHigh > 0.0) return -1;
  while (std::fabs(uHigh - uLow) > kTorusSlopeTol) {
    const double mid = 0.5 * (uLow + uHigh);
    const double fMid = f(mid);
    if (!std::isfinite(fMid)) return -1;
    if (std::fabs(fMid) < kTorusSlopeTol) {
      *t = mid;
      return 0;
    }
    if (fMid * fLow > 0.0) {
      uLow = mid;
      fLow = fMid;
    } else {
      uHigh = mid;
    }
  }
  *t = uLow;
  return 0;
}
