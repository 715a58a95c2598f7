#include "geometry/curves/spline2d.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/memory.h"
#include "base/messages.h"
#include "base/tolerances.h"

namespace {

// The spline that spline2dEvalCurrent evaluates (see the header).
Spline2dRec* gCurrentSpline = nullptr;

// A kept point of the thinning filter whose angle to the chord is larger than
// this (|cosine| below it) turns away from the chord.
constexpr double kThinCosLimit = 0.5;

constexpr int kMsgLevelCycle = 9;
constexpr int kMsgLevelNote = 1;

template <typename T>
T* allocArray(std::size_t n) {
  return static_cast<T*>(memAllocZeroed(n * sizeof(T)));
}

// Tangents D of one coordinate with respect to the chord-length parameter
// for m >= 2 points v with intervals h (h[i] ends at point i): the Thomas
// algorithm on the normalized tridiagonal system with natural ends.
void solveTangents(const double* v, const double* h, const double* lambda, const double* mu, int m,
                   double* e, double* f, double* d) {
  e[0] = -0.5;
  f[0] = 1.5 * (v[1] - v[0]) / h[1];
  for (int i = 1; i <= m - 2; ++i) {
    const double q = 2.0 + lambda[i] * e[i - 1];
    e[i] = -mu[i] / q;
    f[i] = (3.0 * (lambda[i] * (v[i] - v[i - 1]) / h[i] + mu[i] * (v[i + 1] - v[i]) / h[i + 1]) -
            lambda[i] * f[i - 1]) /
           q;
  }
  f[m - 1] = (3.0 * (v[m - 1] - v[m - 2]) / h[m - 1] - f[m - 2]) / (2.0 + e[m - 2]);
  d[m - 1] = f[m - 1];
  for (int i = m - 2; i >= 0; --i) d[i] = f[i] + e[i] * d[i + 1];
}

// Hermite segment from (p0, d0) to (p1, d1) over an interval h, in power
// basis of u = local parameter.
void hermiteToPower(double p0, double p1, double d0, double d1, double h, double* c) {
  c[0] = p0;
  c[1] = h * d0;
  c[2] = 3.0 * (p1 - p0) - h * (2.0 * d0 + d1);
  c[3] = 2.0 * (p0 - p1) + h * (d0 + d1);
}

}  // namespace

Spline2dRec* spline2dBuild(const Vec2d* points, int n) {
  if (points == nullptr || n < 2) return nullptr;
  const std::size_t sn = static_cast<std::size_t>(n);
  // Work arrays: kept x and y, intervals, weights, the two sweeps and the
  // tangents of x and y.
  constexpr int kWorkArrays = 9;
  double* work = allocArray<double>(sn * kWorkArrays);
  if (work == nullptr) {
    msgNumberedReal(kMsgLevelCycle, kMsgSplineNoMemory, "* Fehler: Kein Speicher verfuegbar", 0.0);
    return nullptr;
  }
  double* x = work;
  double* y = x + sn;
  double* h = y + sn;
  double* lambda = h + sn;
  double* mu = lambda + sn;
  double* e = mu + sn;
  double* f = e + sn;
  double* dx = f + sn;
  double* dy = dx + sn;

  int m = 1;
  x[0] = points[0].x;
  y[0] = points[0].y;
  for (int i = 1; i < n; ++i) {
    const double d = std::hypot(points[i].x - x[m - 1], points[i].y - y[m - 1]);
    if (d > kSpline2dDedupTol) {
      x[m] = points[i].x;
      y[m] = points[i].y;
      h[m] = d;
      ++m;
    }
  }
  // The segment count is a 16-bit field.
  if (m <= 1 || m - 1 > INT16_MAX) {
    memFree(work);
    return nullptr;
  }

  lambda[0] = 0.0;
  mu[0] = 1.0;
  lambda[m - 1] = 1.0;
  mu[m - 1] = 0.0;
  for (int i = 1; i <= m - 2; ++i) {
    const double s = h[i] + h[i + 1];
    if (s < kSpline2dWeightTol) {
      lambda[i] = mu[i] = 0.0;
    } else {
      lambda[i] = h[i + 1] / s;
      mu[i] = h[i] / s;
    }
  }
  solveTangents(x, h, lambda, mu, m, e, f, dx);
  solveTangents(y, h, lambda, mu, m, e, f, dy);

  const int segCount = m - 1;
  auto* s = allocArray<Spline2dRec>(1);
  if (s != nullptr) {
    s->knots = allocArray<double>(static_cast<std::size_t>(m));
    s->segs = allocArray<Spline2dSeg>(static_cast<std::size_t>(segCount));
  }
  bool ok = s != nullptr && s->knots != nullptr && s->segs != nullptr;
  for (int j = 0; ok && j < segCount; ++j) {
    Spline2dSeg& seg = s->segs[j];
    seg.order = kSpline2dOrder;
    seg.cx = allocArray<double>(kSpline2dOrder);
    seg.cy = allocArray<double>(kSpline2dOrder);
    ok = seg.cx != nullptr && seg.cy != nullptr;
    if (ok) {
      hermiteToPower(x[j], x[j + 1], dx[j], dx[j + 1], h[j + 1], seg.cx);
      hermiteToPower(y[j], y[j + 1], dy[j], dy[j + 1], h[j + 1], seg.cy);
    }
  }
  if (ok) {
    s->knots[0] = 0.0;
    for (int j = 0; j < segCount; ++j) s->knots[j + 1] = s->knots[j] + h[j + 1];
  }
  memFree(work);
  if (!ok) {
    // Segments not reached are zero, so the release skips them.
    if (s != nullptr) s->segCount = static_cast<int16_t>(s->segs != nullptr ? segCount : 0);
    spline2dFree(s);
    return nullptr;
  }
  s->segCount = static_cast<int16_t>(segCount);
  gCurrentSpline = s;
  return s;
}

void spline2dFree(Spline2dRec* spline) {
  if (spline == nullptr) return;
  if (spline == gCurrentSpline) gCurrentSpline = nullptr;
  if (spline->segs != nullptr) {
    for (int j = 0; j < spline->segCount; ++j) {
      memFree(spline->segs[j].cx);
      memFree(spline->segs[j].cy);
    }
  }
  memFree(spline->segs);
  memFree(spline->knots);
  memFree(spline);
}

void spline2dSegEval(const Spline2dSeg* s, double u, Vec2d* out) {
  const int k0 = s->order - 1;
  double vx = s->cx[k0];
  double vy = s->cy[k0];
  for (int k = k0 - 1; k >= 0; --k) {
    vx = u * vx + s->cx[k];
    vy = u * vy + s->cy[k];
  }
  out->x = vx;
  out->y = vy;
}

void spline2dSegDeriv(const Spline2dSeg* s, double u, double out[2]) {
  const int k0 = s->order - 1;
  double vx = k0 * s->cx[k0];
  double vy = k0 * s->cy[k0];
  for (int k = k0 - 1; k >= 1; --k) {
    vx = k * s->cx[k] + u * vx;
    vy = k * s->cy[k] + u * vy;
  }
  out[0] = vx;
  out[1] = vy;
}

int spline2dEval(const Spline2dRec* s, double t, Vec2d* point, double deriv[2]) {
  if (s == nullptr || s->segCount < 1 || std::isnan(t)) return -1;
  // The search stops at the last segment: a t beyond the last knot has no
  // segment (the guide curves step until the evaluation fails).
  int i = 0;
  while (i < s->segCount && s->knots[i + 1] < t) ++i;
  if (i == s->segCount) return -1;
  const double u = (t - s->knots[i]) / (s->knots[i + 1] - s->knots[i]);
  if (u < 0.0) return -1;
  spline2dSegEval(&s->segs[i], u, point);
  spline2dSegDeriv(&s->segs[i], u, deriv);
  return 1;
}

int spline2dEvalCurrent(const CurveRec* /*curve*/, double t, Vec2d* point, Vec2d* tangent) {
  *point = {0.0, 0.0};
  *tangent = {0.0, 0.0};
  if (gCurrentSpline == nullptr) {
    msgTraceReal(kMsgLevelNote, "* Create Spline first", 0.0);
    return -1;
  }
  Vec2d p{};
  double d[2];
  if (spline2dEval(gCurrentSpline, t, &p, d) != 1) return -1;
  const double len = std::hypot(d[0], d[1]);
  if (len < kSpline2dTangentTol) return -1;
  *point = p;
  *tangent = {d[0] / len, d[1] / len};
  return 1;
}

void pts2dThinMarks(const Vec2d* points, int count, double maxChord, double tolerance,
                    std::uint8_t* keep) {
  for (int i = 0; i < count; ++i) keep[i] = 1;
  if (count < 2) return;
  int k = 0;  // last kept point
  for (int i = 1; i <= count - 2; ++i) {
    const int j = i + 1;
    const Vec2d& a = points[k];
    const double ux = points[j].x - a.x;
    const double uy = points[j].y - a.y;
    const double chord = std::hypot(ux, uy);
    if (chord > maxChord) {
      k = i;
      continue;
    }
    if (chord < kGeoEqualTol) {
      keep[i] = 0;
      continue;
    }
    bool inLine = true;
    for (int m = k + 1; m < j && inLine; ++m) {
      const double vx = points[m].x - a.x;
      const double vy = points[m].y - a.y;
      const double cross = std::fabs(vx * uy - vy * ux);
      if (cross / chord > tolerance) inLine = false;
      const double v = std::hypot(vx, vy);
      if (v >= kGeoEqualTol && std::fabs(vx * ux + vy * uy) / (v * chord) < kThinCosLimit) {
        inLine = false;
      }
    }
    if (inLine) {
      keep[i] = 0;
    } else {
      k = i;
    }
  }
}

int pts2dThinFilter(Vec2d* points, int* count, double maxChord, double tolerance) {
  if (*count < 2) return 0;
  auto* keep = static_cast<std::uint8_t*>(memAllocZeroed(static_cast<std::size_t>(*count)));
  if (keep == nullptr) return -1;
  pts2dThinMarks(points, *count, maxChord, tolerance, keep);
  int n = 0;
  for (int i = 0; i < *count; ++i) {
    if (keep[i]) points[n++] = points[i];
  }
  memFree(keep);
  *count = n;
  return 1;
}
