#include "model/contact/contact_triangle.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "geometry/primitives/primitives.h"
#include "model/contact/torus_edge.h"
#include "model/contact/torus_profile.h"
#include "model/mesh/triangle_plane.h"

// Conventions of this file: the drop direction is d = (0, 0, -1).  The unit
// normal n of a triangle is turned so that n . d >= 0, i.e. it points down,
// away from the tool; the plane is n . X + k = 0 and t = |n.z| is the cosine
// of the slope.  Above the plane n . X + k < 0.

namespace {

// Margin that covers the rounding of an edge's or vertex's height above its
// bound (its highest z plus what the tool can add there).  A case whose bound
// lies more than this below the height to beat can neither win this triangle
// nor reach the caller's height, so it is skipped: the results are the same,
// only faster.
constexpr double kBoundMargin = 1e-6;

// Relative slack of the segment's parameter range that a torus edge's slope
// search must reach.
constexpr double kEdgeParamSlack = 1e-9;

// Tolerance sets of the case analysis.  The drop uses the first; the test of
// the tool body along its axis (the same cases in a frame whose z is the tool
// axis) the second: one tilt class for all shapes, an exact barycentric test
// and the radius reach of the flat tool, and a level face taken at the
// height of the triangle's first vertex.
struct DropRules {
  static constexpr double kNoHeight = kContactNoHeight;
  static constexpr double kFlatTiltLo = kContactFlatTiltLo;
  static constexpr double kFlatTiltHi = kContactFlatTiltHi;
  static constexpr double kFlatReachTol = kContactFlatReachTol;
  static constexpr bool kFlatExactInside = false;
  static constexpr bool kLevelFaceAtFirstVertex = false;
};

struct AxisRules {
  static constexpr double kNoHeight = kContactAxisNoHeight;
  static constexpr double kFlatTiltLo = kContactRoundTiltLo;
  static constexpr double kFlatTiltHi = kContactRoundTiltHi;
  static constexpr double kFlatReachTol = kContactAxisFlatReachTol;
  static constexpr bool kFlatExactInside = true;
  static constexpr bool kLevelFaceAtFirstVertex = true;
};

using Plane = TrianglePlane;

inline double dot(const Vec3d& a, const Vec3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3d sub(const Vec3d& a, const Vec3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

// 0 vertical, 1 tilted, 2 horizontal.
inline int tiltClass(double t, double lo, double hi) {
  if (t < lo) return 0;
  return t > hi ? 2 : 1;
}

// Barycentric coordinates (a on e1, b on e2) of q - v0; the triangle is not
// degenerate.
inline void barycentric(const Plane& p, const Vec3d& v0, const Vec3d& q, double* a, double* b) {
  const Vec3d w = sub(q, v0);
  const double d11 = dot(p.e1, p.e1);
  const double d12 = dot(p.e1, p.e2);
  const double d22 = dot(p.e2, p.e2);
  const double p1 = dot(w, p.e1);
  const double p2 = dot(w, p.e2);
  const double den = d11 * d22 - d12 * d12;
  *a = (d22 * p1 - d12 * p2) / den;
  *b = (d11 * p2 - d12 * p1) / den;
}

inline bool insideStrict(double a, double b) {
  return a >= 0.0 && a <= 1.0 && b >= 0.0 && b <= 1.0 && a + b <= 1.0;
}

inline bool insideFlat(double a, double b) {
  return a >= 0.0 && a <= 1.0 && b >= kContactFlatBaryLow && b <= kContactFlatBaryHigh &&
         a + b <= kContactFlatBaryHigh;
}

// The plane's height under (x, y); t > 0.
inline double planeHeightAt(const Plane& p, double x, double y) {
  return (p.n.x * x + p.n.y * y + p.k) / p.t;
}

// Running best of the cases of one triangle; floor is the caller's height.
struct Best {
  Best(double callerHeight, double noHeight) : h(noHeight), floor(callerHeight) {}
  double h;
  double floor;
  Vec3d contact{0.0, 0.0, 0.0};
  int kind = 0;
  // True when a case whose height cannot exceed bound cannot matter: it would
  // not replace h, and it could not reach the caller's height.  (A skipped
  // case that would have counted as found changes no result: either another
  // case was found before it, or the triangle stores nothing anyway.)
  bool cannotBeat(double bound) const { return bound + kBoundMargin < std::max(h, floor); }
  void offer(double z, const Vec3d& at, int k) {
    if (z > h) {
      h = z;
      contact = at;
      kind = k;
    }
  }
};

// Edge data shared by the shapes: u = B - A, its horizontal length, and the
// position of the drop axis relative to the edge line (sigma along the
// horizontal direction of u, across = signed distance across it).
struct Edge {
  Vec3d u;
  double uxy;     // horizontal length of u
  double sigma;   // m . (P - A), m the horizontal unit direction of u
  double across;  // w . (P - A), w = unit(d x u)
};

// False for a vertical or zero-length edge, which has no direction across the
// drop (callers skip it explicitly instead of dividing by its length), and for
// an edge line farther than reach from the axis (decided on squares first, so
// that most far edges cost no root and no division).
inline bool edgeOf(const Vec3d& a, const Vec3d& b, const Vec3d& p, double reach, Edge* e) {
  e->u = sub(b, a);
  const double uxy2 = e->u.x * e->u.x + e->u.y * e->u.y;
  if (!(uxy2 >= kContactVerticalEdgeTol * kContactVerticalEdgeTol)) return false;
  if (!(reach >= 0.0)) return false;
  const double px = p.x - a.x;
  const double py = p.y - a.y;
  const double acrossScaled = e->u.y * px - e->u.x * py;  // across x uxy
  if (acrossScaled * acrossScaled > reach * reach * uxy2) return false;
  e->uxy = std::sqrt(uxy2);
  e->sigma = (e->u.x * px + e->u.y * py) / e->uxy;
  e->across = acrossScaled / e->uxy;
  return std::fabs(e->across) <= reach;
}

inline Vec3d along(const Vec3d& a, const Vec3d& u, double f) {
  return {a.x + f * u.x, a.y + f * u.y, a.z + f * u.z};
}

inline double horizontalDist2(const Vec3d& v, const Vec3d& p) {
  const double dx = v.x - p.x;
  const double dy = v.y - p.y;
  return dx * dx + dy * dy;
}

// Store rule shared by the shapes: a local best that was found and reaches
// the record's height (orEqual: also an equal one) replaces it.
inline int store(ContactTriangle* r, int cases, const Best& best, bool orEqual, bool setKind) {
  if (cases == 0) return kContactNone;
  const bool wins = orEqual ? best.h >= r->height : best.h > r->height;
  if (!wins) return kContactNone;
  r->height = best.h;
  r->contact = best.contact;
  if (setKind) r->kind = best.kind;
  return cases;
}

// ---- Ball -----------------------------------------------------------------------

// Ball centre riding on the edge line at distance r.
inline int ballEdge(const Vec3d& a, const Vec3d& b, const Vec3d& p, double r, Best* best) {
  if (best->cannotBeat(std::max(a.z, b.z) + r)) return 0;
  Edge e;
  if (!edgeOf(a, b, p, r - kContactBallReachTol, &e)) return 0;
  const double dist = std::fabs(e.across);
  const double ulen = std::sqrt(e.uxy * e.uxy + e.u.z * e.u.z);
  const double q = std::sqrt(r * r - dist * dist);
  // The foot of the perpendicular from the centre lies q sin(slope) further
  // along the edge than the axis' closest point.
  const double f = (e.sigma + q * e.u.z / ulen) / e.uxy;
  if (!(f >= 0.0 && f <= 1.0)) return 0;
  const Vec3d at = along(a, e.u, f);
  best->offer(at.z + q * (e.uxy / ulen), at, kContactKindRim);
  return 1;
}

inline int ballVertex(const Vec3d& v, const Vec3d& p, double r, Best* best) {
  if (best->cannotBeat(v.z + r)) return 0;
  const double reach = r - kContactBallReachTol;
  const double g2 = horizontalDist2(v, p);
  if (reach < 0.0 || g2 > reach * reach) return 0;
  best->offer(v.z + std::sqrt(r * r - g2), v, kContactKindRim);
  return 1;
}

// The face case of the ball: true when the plane is not vertical and the
// point q where the ball whose centre c lies r above the plane on the drop
// line touches it lies inside the triangle.
inline bool ballFace(const Vec3d* v, const Plane& pl, const Vec3d& p, double r, Vec3d* c,
                     Vec3d* q) {
  if (tiltClass(pl.t, kContactRoundTiltLo, kContactRoundTiltHi) == 0) return false;
  // Centre r above the plane on the drop line, touching at r along n.
  const double h = -(dot(pl.n, p) + pl.k + r) / pl.t;
  *c = {p.x, p.y, p.z - h};
  *q = {c->x + r * pl.n.x, c->y + r * pl.n.y, c->z + r * pl.n.z};
  double a, b;
  barycentric(pl, v[0], *q, &a, &b);
  return insideStrict(a, b);
}

int ballCases(const Vec3d* v, const Plane& pl, const Vec3d& p, double r, Best* best) {
  Vec3d c, q;
  if (ballFace(v, pl, p, r, &c, &q)) {
    if (c.z > best->h) {
      best->offer(c.z, q, kContactKindRim);
      return kContactFace;
    }
    return kContactEdge;
  }
  int found = 0;
  found |= ballEdge(v[0], v[1], p, r, best);
  found |= ballEdge(v[0], v[2], p, r, best);
  found |= ballEdge(v[1], v[2], p, r, best);
  found |= ballVertex(v[0], p, r, best);
  found |= ballVertex(v[1], p, r, best);
  found |= ballVertex(v[2], p, r, best);
  return found ? kContactEdge : kContactNone;
}

// ---- Flat -----------------------------------------------------------------------

template <class Rules>
inline int flatEdge(const Vec3d& a, const Vec3d& b, const Vec3d& p, double radius, Best* best) {
  if (best->cannotBeat(std::max(a.z, b.z))) return 0;
  Edge e;
  if (!edgeOf(a, b, p, radius - Rules::kFlatReachTol, &e)) return 0;
  const double s0 = e.sigma / e.uxy;
  const double q = std::sqrt(radius * radius - e.across * e.across) / e.uxy;
  if (std::fabs(e.u.z) < kContactFlatHorizontalEdge) {
    if (s0 - q > 1.0 || s0 + q < 0.0) return 0;
    const Seg2 seg{a.x, a.y, b.x, b.y};
    const Vec2d axis{p.x, p.y};
    Vec2d near;
    seg2NearestPoint(&axis, &seg, &near);
    best->offer(a.z, Vec3d{near.x, near.y, a.z}, kContactKindFlat);
    return 1;
  }
  const bool descends = e.u.z < 0.0;
  const double f = descends ? s0 - q : s0 + q;
  if (f >= 0.0 && f <= 1.0) {
    const Vec3d at = along(a, e.u, f);
    best->offer(at.z, at, kContactKindRim);
    return 1;
  }
  // The upper end lies inside the disk: the tool rests on it.
  const double r2 = radius * radius;
  if (f < 0.0 && descends) {
    if (horizontalDist2(a, p) > r2) return 0;
    best->offer(a.z, a, kContactKindRim);
    return 1;
  }
  if (f > 1.0 && !descends) {
    if (horizontalDist2(b, p) > r2) return 0;
    best->offer(b.z, b, kContactKindRim);
    return 1;
  }
  return 0;
}

// Upper end of a vertical (or zero-length) edge under the disk.  Only asked
// when no other edge of the triangle touched: in a triangle with any other
// edge through that end, that edge finds the same point.
inline int flatVerticalEdge(const Vec3d& a, const Vec3d& b, const Vec3d& p, double radius,
                            Best* best) {
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  if (dx * dx + dy * dy >= kContactVerticalEdgeTol * kContactVerticalEdgeTol) return 0;
  const Vec3d& top = (b.z > a.z) ? b : a;
  if (horizontalDist2(top, p) > radius * radius) return 0;
  best->offer(top.z, top, kContactKindRim);
  return 1;
}

// True when the plan point (x, y) lies beyond the plan box of the triangle v
// by more than 1e-7 of the box's extents: ten times the slack that the flat
// face test's barycentric bounds allow (1e-8 of an edge), and far above
// their rounding on any triangle that is not a sliver.
inline bool clearlyBeyondPlanBox(const Vec3d* v, double x, double y) {
  const auto [lx, hx] = std::minmax({v[0].x, v[1].x, v[2].x});
  const auto [ly, hy] = std::minmax({v[0].y, v[1].y, v[2].y});
  const auto [lz, hz] = std::minmax({v[0].z, v[1].z, v[2].z});
  const double slack = 1e-7 * ((hx - lx) + (hy - ly) + (hz - lz));
  return x < lx - slack || x > hx + slack || y < ly - slack || y > hy + slack;
}

template <class Rules>
int flatCases(const Vec3d* v, const Plane& pl, const Vec3d& p, double radius, Best* best) {
  const int cls = tiltClass(pl.t, Rules::kFlatTiltLo, Rules::kFlatTiltHi);
  if (cls != 0) {
    Vec3d q;
    if (cls == 1) {
      // The rim point uphill (the horizontal part of the downward normal)
      // touches first.
      const double nxy = std::sqrt(pl.n.x * pl.n.x + pl.n.y * pl.n.y);
      q.x = p.x + radius * pl.n.x / nxy;
      q.y = p.y + radius * pl.n.y / nxy;
    } else {
      // Under the axis, on the plane (not at the vertices' mean z, which
      // differs from the surface there on a large, nearly level triangle).
      q.x = p.x;
      q.y = p.y;
    }
    // A point of the plane passes the face test only within a tiny slack of
    // the triangle, so one whose plan lies clearly beyond the triangle's plan
    // box needs no coordinates.
    const bool levelAtVertex = cls == 2 && Rules::kLevelFaceAtFirstVertex;
    if (levelAtVertex || !clearlyBeyondPlanBox(v, q.x, q.y)) {
      q.z = levelAtVertex ? v[0].z : planeHeightAt(pl, q.x, q.y);
      double a, b;
      barycentric(pl, v[0], q, &a, &b);
      if (Rules::kFlatExactInside ? insideStrict(a, b) : insideFlat(a, b)) {
        if (q.z > best->h) {
          best->offer(q.z, q, kContactKindRim);
          return kContactFace;
        }
        return kContactEdge;
      }
    }
  }
  int found = 0;
  found |= flatEdge<Rules>(v[0], v[1], p, radius, best);
  found |= flatEdge<Rules>(v[1], v[2], p, radius, best);
  found |= flatEdge<Rules>(v[2], v[0], p, radius, best);
  if (!found) {
    found |= flatVerticalEdge(v[0], v[1], p, radius, best);
    found |= flatVerticalEdge(v[1], v[2], p, radius, best);
    found |= flatVerticalEdge(v[2], v[0], p, radius, best);
  }
  return found ? kContactEdge : kContactNone;
}

// ---- Torus ----------------------------------------------------------------------

struct TorusTool {
  double ring;    // Rr
  double corner;  // rc
};

// Upper bound of the torus edge heights on [fLo, fHi]: along the edge line,
// F(f) = z(f) + L(rho(f)) with L the tube's lift over the lower surface at
// rho from the axis (rc inside the ring radius).  The tool is convex, so F is
// concave and every tangent lies above it; the lower of two tangents (at 30%
// and 70% of the interval) bounds F tightly enough to skip most searches.
// Infinite when a tangent is vertical.
double torusEdgeBound(const Vec3d& a, const Edge& e, double s0, double dist, double ring,
                      double corner, double fLo, double fHi) {
  const auto tangent = [&](double f, double* slope) {
    const double w = (f - s0) * e.uxy;
    const double rho = std::sqrt(dist * dist + w * w);
    double lift = corner;
    double dLift = 0.0;
    if (rho > ring) {
      const double off = rho - ring;
      lift = std::sqrt(std::max(0.0, corner * corner - off * off));
      if (!(lift > 0.0)) return std::numeric_limits<double>::infinity();
      dLift = -off / lift;
    }
    *slope = e.u.z + dLift * (w * e.uxy / rho);
    return a.z + f * e.u.z + lift;
  };
  const double f1 = fLo + 0.3 * (fHi - fLo);
  const double f2 = fLo + 0.7 * (fHi - fLo);
  double d1 = 0.0, d2 = 0.0;
  const double v1 = tangent(f1, &d1);
  const double v2 = tangent(f2, &d2);
  if (!std::isfinite(v1) || !std::isfinite(v2)) return std::numeric_limits<double>::infinity();
  const auto lower = [&](double f) { return std::min(v1 + d1 * (f - f1), v2 + d2 * (f - f2)); };
  double bound = std::max(lower(fLo), lower(fHi));
  if (d1 != d2) {
    const double fx = (v2 - v1 + d1 * f1 - d2 * f2) / (d1 - d2);
    if (fx > fLo && fx < fHi) bound = std::max(bound, lower(fx));
  }
  return bound;
}

inline int torusEdge(const Vec3d& a, const Vec3d& b, const Vec3d& p, const TorusTool& tool,
                     Best* best) {
  const double rr = tool.ring;
  const double rc = tool.corner;
  const double top = std::max(a.z, b.z);
  if (best->cannotBeat(top + rc)) return 0;
  Edge e;
  if (!edgeOf(a, b, p, rr + rc - kContactTorusReachTol, &e)) return 0;
  const double dist = std::fabs(e.across);
  const double s0 = e.sigma / e.uxy;
  const double ulen = std::sqrt(e.uxy * e.uxy + e.u.z * e.u.z);
  if (std::fabs(e.u.z) < kContactTorusHorizontalEdge) {
    if (dist <= rr) {
      // Under the flat inner disk along a chord of the edge line.
      const double half = std::sqrt(rr * rr - dist * dist) / ulen;
      if (s0 - half > 1.0 || s0 + half < 0.0) return 0;
      best->offer(a.z + rc, Vec3d{p.x, p.y, a.z}, kContactKindFlat);
      return 1;
    }
    if (s0 < 0.0 || s0 > 1.0) return 0;
    const double off = dist - rr;
    best->offer(a.z + std::sqrt(rc * rc - off * off), along(a, e.u, s0), kContactKindFlat);
    return 1;
  }
  const double c = -e.u.z / ulen;  // d . u / |u|: > 0 when the edge descends
  const double s = e.uxy / ulen;
  double f;
  double lift;  // centre height above the contact
  if (dist < kContactTorusAxisTol) {
    // The edge line meets the axis: the corner circle's section touches it
    // uphill at Rr + rc |c| from the axis.
    const double off = (rc * std::fabs(c) / s + rr / s) / ulen;
    f = (c > 0.0) ? s0 - off : s0 + off;
    if (!(f >= 0.0 && f <= 1.0)) return 0;
    lift = s * rc;
  } else {
    // The search finds x in [0, sqrt((Rr + rc)^2 - dist^2)], uphill of the
    // line's closest point: skip it when that part of the line misses the
    // edge, or when even its highest point, lifted by the most the tube can
    // lift at dist from the axis, cannot win.
    const double reach = rr + rc;
    const double half = std::sqrt(std::max(0.0, reach * reach - dist * dist)) / e.uxy;
    const double fLo = (c > 0.0) ? std::max(0.0, s0 - half) : std::max(0.0, s0);
    const double fHi = (c > 0.0) ? std::min(1.0, s0) : std::min(1.0, s0 + half);
    if (!(fLo <= fHi)) return 0;
    const double zHigh = a.z + ((c > 0.0) ? fLo : fHi) * e.u.z;
    const double off = std::max(0.0, dist - rr);
    if (best->cannotBeat(zHigh + std::sqrt(std::max(0.0, rc * rc - off * off)))) return 0;
    // The search's position x gives f = s0 -+ x / w, which lies on the
    // segment only for x in [lo, hi] (widened by a slack far above the
    // rounding of f): a search that surely misses them is not run.
    const double w = ulen * s;
    const double pad = kEdgeParamSlack * (1.0 + std::fabs(s0)) * w;
    const double lo = ((c > 0.0) ? s0 - 1.0 : -s0) * w - pad;
    const double hi = ((c > 0.0) ? s0 : 1.0 - s0) * w + pad;
    const double slope = std::fabs(c) / s;
    if (torusEdgeSlopeMisses(rc, rr, dist, slope, lo, hi)) return 0;
    if (best->cannotBeat(torusEdgeBound(a, e, s0, dist, rr, rc, fLo, fHi))) return 0;
    double x = 0.0;
    if (torusEdgeSlopeParam(&x, rc, rr, dist, slope) != 0) return 0;
    const double shift = x / w;
    f = (c > 0.0) ? s0 - shift : s0 + shift;
    if (!(f >= 0.0 && f <= 1.0)) return 0;
    lift = -torusLowerZ(x, rc, rr, dist);
  }
  const Vec3d at = along(a, e.u, f);
  best->offer(at.z + lift, at, kContactKindRim);
  return 1;
}

inline int torusVertex(const Vec3d& v, const Vec3d& p, const TorusTool& tool, Best* best) {
  if (best->cannotBeat(v.z + tool.corner)) return 0;
  const double reach = tool.ring + tool.corner - kContactTorusReachTol;
  const double g2 = horizontalDist2(v, p);
  if (reach < 0.0 || g2 > reach * reach) return 0;
  const double g = std::sqrt(g2);
  if (g > tool.ring) {
    const double off = g - tool.ring;
    best->offer(v.z + std::sqrt(tool.corner * tool.corner - off * off), v, kContactKindRim);
  } else {
    best->offer(v.z + tool.corner, v, kContactKindFlat);
  }
  return 1;
}

// The face case of a torus: true when the plane is not vertical and the
// point q where the tube touches it (or, on a nearly level plane, the point
// under the axis) lies inside the triangle; *height is the tool's height
// there.
template <class Rules>
inline bool torusFace(const Vec3d* v, const Plane& pl, const Vec3d& p, const TorusTool& tool,
                      Vec3d* q, double* height) {
  const int cls = tiltClass(pl.t, kContactRoundTiltLo, kContactRoundTiltHi);
  if (cls == 0) return false;
  if (cls == 1) {
    // The corner circle's point uphill; the tube touches rc along n from it.
    const double nxy = std::sqrt(pl.n.x * pl.n.x + pl.n.y * pl.n.y);
    const double kx = p.x + tool.ring * pl.n.x / nxy;
    const double ky = p.y + tool.ring * pl.n.y / nxy;
    *height = (pl.n.x * kx + pl.n.y * ky + tool.corner + pl.k) / pl.t;
    *q = {kx + tool.corner * pl.n.x, ky + tool.corner * pl.n.y, *height + tool.corner * pl.n.z};
  } else {
    // Under the axis, on the plane (not at the vertices' mean z, which
    // differs from the surface there on a large, nearly level triangle).
    const double z = Rules::kLevelFaceAtFirstVertex ? v[0].z : planeHeightAt(pl, p.x, p.y);
    *q = {p.x, p.y, z};
    *height = q->z + tool.corner;
  }
  double a, b;
  barycentric(pl, v[0], *q, &a, &b);
  return insideStrict(a, b);
}

template <class Rules>
int torusCases(const Vec3d* v, const Plane& pl, const Vec3d& p, const TorusTool& tool, Best* best) {
  Vec3d q;
  double height;
  if (torusFace<Rules>(v, pl, p, tool, &q, &height)) {
    if (height > best->h) {
      best->offer(height, q, kContactKindRim);
      return kContactFace;
    }
    return kContactEdge;
  }
  int found = 0;
  found |= torusEdge(v[0], v[1], p, tool, best);
  found |= torusEdge(v[0], v[2], p, tool, best);
  found |= torusEdge(v[1], v[2], p, tool, best);
  found |= torusVertex(v[0], p, tool, best);
  found |= torusVertex(v[1], p, tool, best);
  found |= torusVertex(v[2], p, tool, best);
  return found ? kContactEdge : kContactNone;
}

// ---- Cone frustum -------------------------------------------------------------------

struct Frustum {
  double ri, ro, zi, zo;
  // Height of the side above the centre height at distance g from the axis.
  double sideAt(double g) const { return zi + (zo - zi) * (g - ri) / (ro - ri); }
  bool onSide(double g) const { return ri + kContactConeTol < g && g < ro - kContactConeTol; }
};

// The side surface z = sideAt(rho) touches the edge line where the line's
// slope along it equals the side's slope: with the side slope ks, line slope
// m (|m| < ks) and the line passing the axis at dist, the point of tangency
// lies e m / sqrt(ks^2 - m^2) along the line from the closest point and at
// rho = dist ks / sqrt(ks^2 - m^2) from the axis.
inline void coneEdge(const Vec3d& a, const Vec3d& b, const Vec3d& p, const Frustum& fr,
                     double* bestH, Vec3d* contact, bool* raised) {
  Edge e;
  if (!edgeOf(a, b, p, fr.ro - kContactConeTol, &e)) return;
  const double dist = std::fabs(e.across);
  if (!(dist < fr.ro - kContactConeTol)) return;
  const double ks = (fr.zo - fr.zi) / (fr.ro - fr.ri);
  const double m = e.u.z / e.uxy;
  const double den2 = ks * ks - m * m;
  if (!(den2 > 0.0)) return;  // the line is as steep as the side: no tangency
  const double den = std::sqrt(den2);
  const double rho = dist * ks / den;
  // Only where the frustum's side exists: inside ri the ball or corner holds
  // the contact, beyond ro the top disk's rim does.
  if (!fr.onSide(rho)) return;
  const double f = (e.sigma + dist * m / den) / e.uxy;
  if (!(f >= 0.0 && f <= 1.0)) return;
  const Vec3d at = along(a, e.u, f);
  const double z = at.z - fr.sideAt(rho);
  if (z > *bestH) {
    *bestH = z;
    *contact = at;
    *raised = true;
  }
}

// ---- Record set-up of the facet and triangle entries ------------------------------

struct ShapeSetup {
  int type;
  Frustum frustum{};  // type 10 (zero otherwise)
  bool taper;         // the context's cone takes part
  Frustum cone;       // the context's cone
};

bool shapeSetup(const ContactContext* ctx, const ToolShape* tool, const Vec3d* position,
                double height, ContactTriangle* rec, ShapeSetup* setup) {
  const int type = tool->type;
  if (type != kToolBall && type != kToolFlat && type != kToolTorus && type != kToolConeFrustum) {
    return false;
  }
  setup->type = type;
  rec->position = *position;
  rec->height = height;
  rec->contact = *position;
  rec->kind = 0;
  rec->radius = tool->radius;
  rec->ringRadius = tool->radius;
  rec->cornerRadius = tool->cornerRadius;
  if (type == kToolTorus) {
    rec->radius = tool->radius - tool->cornerRadius;
    rec->ringRadius = rec->radius;
  }
  if (type == kToolConeFrustum) {
    Frustum& f = setup->frustum;
    if (ctx->taperOn) {
      f.ri = ctx->coneOuterRadius;
      f.zi = ctx->coneOuterZ;
    } else {
      f.ri = tool->radius;
      f.zi = tool->length;
    }
    f.ro = 0.5 * tool->shankDiameter;
    f.zo = f.zi + tool->taperLength;
  }
  setup->taper = ctx->taperOn != 0 && type != kToolConeFrustum;
  setup->cone = {ctx->coneInnerRadius, ctx->coneOuterRadius, ctx->coneInnerZ, ctx->coneOuterZ};
  return true;
}

int runShape(const ShapeSetup& setup, ContactTriangle* rec) {
  switch (setup.type) {
    case kToolBall:
      return contactBallTriangle(rec);
    case kToolFlat:
      return contactFlatTriangle(rec);
    case kToolTorus:
      return contactTorusTriangle(rec);
    default:
      return contactConeTriangle(rec, setup.frustum.ri, setup.frustum.ro, setup.frustum.zi,
                                 setup.frustum.zo);
  }
}

// The facet rule for two triangle results: 0 when both are 0, else 2 when
// either is 2, else 1.
inline int combine(int r1, int r2) {
  if (r1 == 0) return r2;
  if (r2 == 0) return r1;
  return (r1 == kContactFace || r2 == kContactFace) ? kContactFace : kContactEdge;
}

template <class Rules>
int ballTriangle(ContactTriangle* record) {
  Plane pl;
  trianglePlaneOf(record->v[0], record->v[1], record->v[2], &pl);
  Best best(record->height, Rules::kNoHeight);
  const int cases = ballCases(record->v, pl, record->position, record->radius, &best);
  return store(record, cases, best, false, false);
}

template <class Rules>
int flatTriangle(ContactTriangle* record) {
  Plane pl;
  trianglePlaneOf(record->v[0], record->v[1], record->v[2], &pl);
  Best best(record->height, Rules::kNoHeight);
  const int cases = flatCases<Rules>(record->v, pl, record->position, record->radius, &best);
  return store(record, cases, best, true, true);
}

template <class Rules>
int torusTriangle(ContactTriangle* record) {
  Plane pl;
  trianglePlaneOf(record->v[0], record->v[1], record->v[2], &pl);
  Best best(record->height, Rules::kNoHeight);
  const TorusTool tool{record->ringRadius, record->cornerRadius};
  const int cases = torusCases<Rules>(record->v, pl, record->position, tool, &best);
  return store(record, cases, best, true, true);
}

}  // namespace

int contactBallTriangle(ContactTriangle* record) { return ballTriangle<DropRules>(record); }
int contactFlatTriangle(ContactTriangle* record) { return flatTriangle<DropRules>(record); }
int contactTorusTriangle(ContactTriangle* record) { return torusTriangle<DropRules>(record); }

int contactBallTriangleAxis(ContactTriangle* record) { return ballTriangle<AxisRules>(record); }
int contactFlatTriangleAxis(ContactTriangle* record) { return flatTriangle<AxisRules>(record); }
int contactTorusTriangleAxis(ContactTriangle* record) { return torusTriangle<AxisRules>(record); }

int contactConeTriangle(ContactTriangle* record, double ri, double ro, double zi, double zo) {
  record->kind = 0;
  if (ri > ro - kContactConeTol || zi > zo + kContactConeTol) return 0;
  const Frustum fr{ri, ro, zi, zo};
  const Vec3d& p = record->position;
  const Vec3d* v = record->v;
  double bestH = record->height;
  Vec3d contact = record->contact;
  bool raised = false;
  for (int i = 0; i < 3; ++i) {
    const double g = std::sqrt(horizontalDist2(v[i], p));
    if (!fr.onSide(g)) continue;
    const double z = v[i].z - fr.sideAt(g);
    if (z > bestH) {
      bestH = z;
      contact = v[i];
      raised = true;
    }
  }
  coneEdge(v[0], v[1], p, fr, &bestH, &contact, &raised);
  coneEdge(v[1], v[2], p, fr, &bestH, &contact, &raised);
  coneEdge(v[2], v[0], p, fr, &bestH, &contact, &raised);
  // The top disk can only matter when some vertex reaches its level.
  const double top = std::max(v[0].z, std::max(v[1].z, v[2].z));
  if (top >= bestH + zo) {
    ContactTriangle disk = *record;
    disk.radius = ro;
    disk.height = bestH + zo;
    if (contactFlatTriangle(&disk) != 0 && disk.height - zo > bestH) {
      bestH = disk.height - zo;
      contact = disk.contact;
      raised = true;
    }
  }
  if (!raised) return 0;
  record->height = bestH;
  record->contact = contact;
  record->kind = kContactKindRim;
  return 1;
}

int contactFacetShape(const ContactContext* ctx, const Facet* facet, const Vec3d* position,
                      const ToolShape* tool, double* height, Vec3d* contact, int* kind) {
  ContactTriangle rec;
  ShapeSetup setup;
  if (!shapeSetup(ctx, tool, position, *height, &rec, &setup)) return 0;
  const Vec3d* fv = facet->v;

  // Takes the record after the tool's shape stored.
  const auto takeShape = [&]() {
    *height = rec.height;
    *contact = rec.contact;
    if (setup.type == kToolTorus &&
        std::fabs(rec.height - rec.contact.z - rec.cornerRadius) < kContactTorusAxisRuleTol) {
      contact->x = position->x;
      contact->y = position->y;
    }
    *kind = (setup.type == kToolBall) ? kContactKindRim : rec.kind;
  };
  const auto runCone = [&]() {
    const int raised =
        contactConeTriangle(&rec, setup.cone.ri, setup.cone.ro, setup.cone.zi, setup.cone.zo);
    if (raised != 0) {
      *height = rec.height;
      *contact = rec.contact;
      *kind = kContactKindRim;
    }
    return raised;
  };

  rec.v[0] = fv[0];
  rec.v[1] = fv[1];
  rec.v[2] = fv[2];
  const int shape1 = runShape(setup, &rec);
  if (shape1 != 0) takeShape();
  const int cone1 = setup.taper ? runCone() : 0;
  const int result1 = cone1 != 0 ? cone1 : shape1;

  // A triangle stored as a facet repeats V2 as V3: its second half only
  // repeats edges and vertices of the first, so it is not tested again.
  if (facetOneTriangle(fv)) return result1;

  rec.v[1] = fv[2];
  rec.v[2] = fv[3];
  const int cone2 = setup.taper ? runCone() : 0;
  const int shape2 = runShape(setup, &rec);
  if (shape2 != 0) takeShape();
  return combine(result1, cone2 != 0 ? cone2 : shape2);
}

bool contactBallFaceDecides(const Vec3d* v, const TrianglePlane& pl, const Vec3d* position,
                            double radius, double* faceHeight) {
  Vec3d c, q;
  if (!ballFace(v, pl, *position, radius, &c, &q) || !(c.z > DropRules::kNoHeight)) return false;
  *faceHeight = c.z;
  return true;
}

bool contactTorusFaceCase(const Vec3d* v, const TrianglePlane& pl, const Vec3d* position,
                          double ring, double corner) {
  Vec3d q;
  double height;
  return torusFace<DropRules>(v, pl, *position, TorusTool{ring, corner}, &q, &height);
}

int contactTriangleShapePlain(const Vec3d* v, const TrianglePlane& pl, const Vec3d* position,
                              const ToolShape* tool, bool facetRule, double* height, Vec3d* contact,
                              int* kind) {
  Best best(*height, DropRules::kNoHeight);
  int cases;
  switch (tool->type) {
    case kToolBall:
      // A ball stores only a higher contact.
      cases = ballCases(v, pl, *position, tool->radius, &best);
      if (cases == 0 || !(best.h > *height)) return kContactNone;
      *height = best.h;
      *contact = best.contact;
      *kind = kContactKindRim;
      return cases;
    case kToolFlat:
      cases = flatCases<DropRules>(v, pl, *position, tool->radius, &best);
      break;
    case kToolTorus:
      cases = torusCases<DropRules>(
          v, pl, *position, TorusTool{tool->radius - tool->cornerRadius, tool->cornerRadius},
          &best);
      break;
    default:
      return kContactNone;
  }
  if (cases == 0 || !(best.h >= *height)) return kContactNone;
  *height = best.h;
  *contact = best.contact;
  *kind = best.kind;
  if (facetRule && tool->type == kToolTorus &&
      std::fabs(best.h - best.contact.z - tool->cornerRadius) < kContactTorusAxisRuleTol) {
    contact->x = position->x;
    contact->y = position->y;
  }
  return cases;
}

int contactTriangleShape(const ContactContext* ctx, const double triangle[9], const Vec3d* position,
                         const ToolShape* tool, double* height, Vec3d* contact, int* kind) {
  ContactTriangle rec;
  ShapeSetup setup;
  if (!shapeSetup(ctx, tool, position, *height, &rec, &setup)) return 0;
  for (int i = 0; i < 3; ++i) {
    rec.v[i] = {triangle[3 * i], triangle[3 * i + 1], triangle[3 * i + 2]};
  }
  const int shape = runShape(setup, &rec);
  if (shape != 0) {
    *height = rec.height;
    *contact = rec.contact;
    *kind = (setup.type == kToolBall) ? kContactKindRim : rec.kind;
  }
  if (!setup.taper) return shape;
  const int cone =
      contactConeTriangle(&rec, setup.cone.ri, setup.cone.ro, setup.cone.zi, setup.cone.zo);
  if (cone == 0) return shape;
  *height = rec.height;
  *contact = rec.contact;
  *kind = kContactKindRim;
  return cone;
}
