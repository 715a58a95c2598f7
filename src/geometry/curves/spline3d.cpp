#include "geometry/curves/spline3d.h"

#include <cmath>
#include <new>

#include "base/messages.h"
#include "geometry/primitives/linear_solve.h"

namespace {

double coord(const Vec3d& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

double dist(const Vec3d& a, const Vec3d& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}

// Tangents of one coordinate y[0..m-1] with intervals h[1..m-1] (h[i] ends
// at point i): natural ends when open, periodic when closed.
std::vector<double> tangents(const std::vector<double>& y, const std::vector<double>& h,
                             bool closed) {
  const int m = static_cast<int>(y.size());
  std::vector<double> d(m, 0.0);
  const auto weights = [](double hi, double hn, double* lambda, double* mu) {
    if (hi + hn < kSplineWeightTol) {
      *lambda = *mu = 0;
    } else {
      *lambda = hn / (hi + hn);
      *mu = hi / (hi + hn);
    }
  };
  if (!closed) {
    std::vector<double> sub(m, 0), diag(m, 2), sup(m, 0), rhs(m, 0);
    sup[0] = 1;
    rhs[0] = 3 * (y[1] - y[0]) / h[1];
    for (int i = 1; i <= m - 2; ++i) {
      double lambda, mu;
      weights(h[i], h[i + 1], &lambda, &mu);
      sub[i] = lambda;
      sup[i] = mu;
      rhs[i] = 3 * (lambda * (y[i] - y[i - 1]) / h[i] + mu * (y[i + 1] - y[i]) / h[i + 1]);
    }
    sub[m - 1] = 1;
    rhs[m - 1] = 3 * (y[m - 1] - y[m - 2]) / h[m - 1];
    solveTridiagonal(m, sub.data(), diag.data(), sup.data(), rhs.data(), 0);
    return rhs;
  }
  // Unknowns D[1] .. D[m-1] (D[0] = D[m-1]); row k is point k + 1.
  const int n = m - 1;
  std::vector<double> sub(n, 0), diag(n, 2), sup(n, 0), rhs(n, 0), fillCol(n, 0), fillRow(n, 0);
  for (int i = 1; i <= m - 1; ++i) {
    const bool last = i == m - 1;
    const double hn = last ? h[1] : h[i + 1];
    const double yn = last ? y[1] : y[i + 1];
    double lambda, mu;
    weights(h[i], hn, &lambda, &mu);
    sub[i - 1] = lambda;
    sup[i - 1] = mu;
    rhs[i - 1] = 3 * (lambda * (y[i] - y[i - 1]) / h[i] + mu * (yn - y[i]) / hn);
  }
  if (n == 2) {
    // Two unknowns: each row's neighbours on both sides are the other
    // unknown, so the 2 x 2 system is solved as it stands.
    const double a = 2, b = sub[0] + sup[0], c = sub[1] + sup[1], e = 2;
    const double det = a * e - b * c;
    if (std::fabs(det) >= kSolvePivotTol) {
      const double r0 = rhs[0], r1 = rhs[1];
      rhs[0] = (r0 * e - b * r1) / det;
      rhs[1] = (a * r1 - c * r0) / det;
    }
  } else {
    fillRow[0] = sub[0];      // row of point 1: D[0] = D[m-1], the last unknown
    fillCol[0] = sup[n - 1];  // row of point m-1: D[m] = D[1], the first unknown
    solveCyclicTridiagonal(n, sub.data(), diag.data(), sup.data(), fillCol.data(), fillRow.data(),
                           rhs.data(), 0);
  }
  for (int i = 1; i <= m - 1; ++i) d[i] = rhs[i - 1];
  d[0] = d[m - 1];
  return d;
}

}  // namespace

Spline3dRec* spline3dInterpolate(const Vec3d* points, int n, int kind) {
  if (points == nullptr || n < 2) return nullptr;
  const bool closed = dist(points[0], points[n - 1]) < kSplineClosedTol;
  std::vector<Vec3d> kept = {points[0]};
  std::vector<double> h = {0.0};
  for (int i = 1; i < n; ++i) {
    const double d = dist(points[i], kept.back());
    if (!(d > kSplinePointTol)) continue;
    kept.push_back(points[i]);
    h.push_back(kind == kSplineUniform ? 1.0 : kind == kSplineCentripetal ? std::sqrt(d) : d);
  }
  const int m = static_cast<int>(kept.size());
  if (m <= 1) return nullptr;
  auto* spline = new (std::nothrow) Spline3dRec;
  if (spline == nullptr) {
    msgTraceReal(9, "*** ERROR : NO MEMORY", 0.0);
    return nullptr;
  }
  // A closed curve needs three kept points (the last one repeating the first).
  const bool periodic = closed && m >= 3;
  std::vector<double> d[3];
  for (int axis = 0; axis < 3; ++axis) {
    std::vector<double> y(m);
    for (int i = 0; i < m; ++i) y[i] = coord(kept[i], axis);
    d[axis] = tangents(y, h, periodic);
  }
  spline->segCount = m - 1;
  spline->knots.assign(m, 0.0);
  spline->segs.resize(m - 1);
  for (int j = 0; j < m - 1; ++j) {
    const double hj = h[j + 1];
    Spline3dSeg& s = spline->segs[j];
    std::vector<double>* out[3] = {&s.cx, &s.cy, &s.cz};
    for (int axis = 0; axis < 3; ++axis) {
      const double p0 = coord(kept[j], axis), p1 = coord(kept[j + 1], axis);
      const double d0 = d[axis][j], d1 = d[axis][j + 1];
      *out[axis] = {p0, hj * d0, 3 * (p1 - p0) - hj * (2 * d0 + d1),
                    2 * (p0 - p1) + hj * (d0 + d1)};
    }
    spline->knots[j + 1] = spline->knots[j] + hj;
  }
  return spline;
}

Spline3dRec* spline3dFromCubic(const Vec3d* p0, const Vec3d* p1, const Vec3d* p2, const Vec3d* p3,
                               double length) {
  if (p0 == nullptr || p1 == nullptr || p2 == nullptr || p3 == nullptr) return nullptr;
  auto* spline = new (std::nothrow) Spline3dRec;
  if (spline == nullptr) return nullptr;
  spline->segCount = 1;
  spline->knots = {0.0, length};
  spline->segs.resize(1);
  Spline3dSeg& s = spline->segs[0];
  std::vector<double>* out[3] = {&s.cx, &s.cy, &s.cz};
  for (int axis = 0; axis < 3; ++axis) {
    const double a = coord(*p0, axis), b = coord(*p1, axis), c = coord(*p2, axis),
                 e = coord(*p3, axis);
    *out[axis] = {a, 3 * (b - a), 3 * (a - 2 * b + c), -a + 3 * b - 3 * c + e};
  }
  return spline;
}

void spline3dFree(Spline3dRec* spline) { delete spline; }

void spline3dSegEval(const Spline3dSeg* s, double u, Vec3d* out) {
  if (s == nullptr || out == nullptr || s->order < 1) return;
  const auto horner = [s, u](const std::vector<double>& c) {
    double v = c[s->order - 1];
    for (int k = s->order - 2; k >= 0; --k) v = u * v + c[k];
    return v;
  };
  *out = {horner(s->cx), horner(s->cy), horner(s->cz)};
}

void polyCurveEval3d(double u, Vec3d* out, const Spline3dSeg* s) { spline3dSegEval(s, u, out); }

Spline3dLenTable* spline3dLenTableBuild(const Spline3dRec* spline) {
  if (spline == nullptr) return nullptr;
  auto* table = new (std::nothrow) Spline3dLenTable;
  if (table == nullptr) return nullptr;
  table->count = spline->segCount;
  table->entries.resize(spline->segCount);
  table->knots.resize(spline->segCount + 1);
  for (int i = 0; i <= spline->segCount; ++i) table->knots[i] = i;
  for (int i = 0; i < spline->segCount; ++i) {
    double s[kSplineLenSamples + 1] = {0};
    Vec3d prev;
    spline3dSegEval(&spline->segs[i], 0.0, &prev);
    for (int k = 1; k <= kSplineLenSamples; ++k) {
      Vec3d p;
      spline3dSegEval(&spline->segs[i], static_cast<double>(k) / kSplineLenSamples, &p);
      s[k] = s[k - 1] + dist(p, prev);
      prev = p;
    }
    const double sl = s[kSplineLenSamples];
    msgTraceReal(3, "* sl = %lf", sl);
    double S[7] = {0}, us2 = 0, us3 = 0;
    for (int k = 1; k <= kSplineLenSamples; ++k) {
      const double u = static_cast<double>(k) / kSplineLenSamples;
      for (int p = 3; p <= 6; ++p) S[p] += std::pow(s[k], p);
      us2 += u * s[k] * s[k];
      us3 += u * s[k] * s[k] * s[k];
    }
    double a[9] = {sl, sl * sl, sl * sl * sl, S[3], S[4], S[5], S[4], S[5], S[6]};
    double b[3] = {1, us2, us3};
    Spline3dLenEntry& e = table->entries[i];
    // A degenerate segment (no length) has no fit: u stays 0 along it.
    if (solveGaussJordan(a, 3, b, 1) != 0) b[0] = b[1] = b[2] = 0;
    e.coefficients = {0, b[0], b[1], b[2]};
    e.length = sl;
  }
  return table;
}

void spline3dLenTableFree(Spline3dLenTable* table) { delete table; }
