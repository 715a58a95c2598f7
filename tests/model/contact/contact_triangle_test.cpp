#include "model/contact/contact_triangle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNone = -std::numeric_limits<double>::infinity();

Vec3d add(const Vec3d& a, const Vec3d& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3d sub(const Vec3d& a, const Vec3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3d mul(const Vec3d& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(const Vec3d& a, const Vec3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3d cross(const Vec3d& a, const Vec3d& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double norm(const Vec3d& a) { return std::sqrt(dot(a, a)); }

struct Tri3 {
  Vec3d v[3];
};

ContactTriangle record(const Tri3& t, double px, double py, double radius, double ring = 0.0,
                       double corner = 0.0, double height = -1e9) {
  ContactTriangle r{};
  r.v[0] = t.v[0];
  r.v[1] = t.v[1];
  r.v[2] = t.v[2];
  r.position = {px, py, 1000.0};
  r.height = height;
  r.radius = radius;
  r.ringRadius = ring;
  r.cornerRadius = corner;
  r.kind = -1;
  return r;
}

ContactTriangle torusRecord(const Tri3& t, double px, double py, double ring, double corner,
                            double height = -1e9) {
  return record(t, px, py, ring, ring, corner, height);
}

ToolShape makeTool(int16_t type, double radius, double corner) {
  ToolShape t{};
  t.type = type;
  t.radius = radius;
  t.cornerRadius = corner;
  t.length = 6.0;
  t.shankDiameter = 2.0 * radius;
  return t;
}

ToolShape taperedTool(int16_t type, double radius, double corner, double angle, double length) {
  ToolShape t = makeTool(type, radius, corner);
  t.taperOn = 1;
  t.taperAngle = angle;
  t.length = length;
  return t;
}

ContactContext plainContext() {
  ContactContext ctx{};
  ctx.zFloor = -10000.0;
  ctx.zTop = 10000.0;
  return ctx;
}

ContactContext taperContext(const ToolShape& tool) {
  ContactContext ctx = plainContext();
  contactContextSetCone(&ctx, &tool);
  return ctx;
}

Facet facetOf(const Vec3d& a, const Vec3d& b, const Vec3d& c, const Vec3d& d) {
  Facet f{};
  f.v[0] = a;
  f.v[1] = b;
  f.v[2] = c;
  f.v[3] = d;
  return f;
}

Facet facetOf(const Tri3& t) { return facetOf(t.v[0], t.v[1], t.v[2], t.v[2]); }

// ---- Oracles -----------------------------------------------------------------

double pointSegmentDistance(const Vec3d& p, const Vec3d& a, const Vec3d& b) {
  const Vec3d u = sub(b, a);
  const double uu = dot(u, u);
  double f = uu > 0.0 ? dot(sub(p, a), u) / uu : 0.0;
  f = std::clamp(f, 0.0, 1.0);
  return norm(sub(p, add(a, mul(u, f))));
}

// Exact distance from p to the closed triangle.
double pointTriangleDistance(const Vec3d& p, const Tri3& t) {
  double best =
      std::min({pointSegmentDistance(p, t.v[0], t.v[1]), pointSegmentDistance(p, t.v[1], t.v[2]),
                pointSegmentDistance(p, t.v[2], t.v[0])});
  const Vec3d e1 = sub(t.v[1], t.v[0]);
  const Vec3d e2 = sub(t.v[2], t.v[0]);
  const Vec3d n = cross(e1, e2);
  const double nn = dot(n, n);
  if (nn < 1e-24) return best;
  const Vec3d w = sub(p, t.v[0]);
  // Barycentric coordinates of the projection of p onto the plane.
  const double a = dot(cross(w, e2), n) / nn;
  const double b = dot(cross(e1, w), n) / nn;
  if (a >= 0.0 && b >= 0.0 && a + b <= 1.0)
    best = std::min(best, std::fabs(dot(w, n)) / std::sqrt(nn));
  return best;
}

// Highest ball centre on the drop line whose distance to the triangle is r:
// bisection on the exact distance, which is convex along the line.
double ballOracle(const Tri3& t, double px, double py, double r) {
  double zmin = t.v[0].z, zmax = t.v[0].z;
  for (const Vec3d& v : t.v) {
    zmin = std::min(zmin, v.z);
    zmax = std::max(zmax, v.z);
  }
  const auto dist = [&](double h) { return pointTriangleDistance({px, py, h}, t); };
  double lo = zmin - r - 1.0, hi = zmax + r + 1.0;
  for (int i = 0; i < 300; ++i) {  // ternary search for the closest height
    const double m1 = lo + (hi - lo) / 3.0, m2 = hi - (hi - lo) / 3.0;
    if (dist(m1) < dist(m2)) {
      hi = m2;
    } else {
      lo = m1;
    }
  }
  double inside = 0.5 * (lo + hi);
  if (dist(inside) > r) return kNone;
  double outside = zmax + r + 1.0;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (inside + outside);
    (dist(mid) <= r ? inside : outside) = mid;
  }
  return inside;
}

// The lower surface of a convex, round tool: z relative to its centre point at
// horizontal distance rho from the axis, for rho up to reach.
// circles: the reach and every radius where the profile has a kink.
struct Profile {
  double reach;
  std::function<double(double)> lower;
  std::vector<double> circles;
};

Profile flatProfile(double radius) {
  return {radius, [](double) { return 0.0; }, {radius}};
}

Profile torusProfile(double ring, double corner) {
  return {ring + corner,
          [=](double rho) {
            if (rho <= ring) return -corner;
            const double off = std::min(rho - ring, corner);
            return -std::sqrt(corner * corner - off * off);
          },
          {ring + corner}};
}

// The tool's shape up to the taper's inner radius, then the taper's side.
Profile taperedProfile(const ToolShape& tool) {
  ToolCone cone;
  toolConeFromTool(&tool, &cone);
  const double r = tool.radius;
  const double c = tool.type == kToolBall ? r : (tool.type == kToolTorus ? tool.cornerRadius : 0.0);
  const double ring = r - c;
  return {cone.outerRadius,
          [=](double rho) {
            if (rho <= cone.innerRadius) {
              if (rho <= ring) return -c;
              const double off = std::min(rho - ring, c);
              return -std::sqrt(c * c - off * off);
            }
            return cone.innerZ + (cone.outerZ - cone.innerZ) * (rho - cone.innerRadius) /
                                     (cone.outerRadius - cone.innerRadius);
          },
          // A flat tool's taper starts with a kink at its radius.
          {cone.outerRadius, c > 0.0 ? cone.outerRadius : r}};
}

// Highest centre height at which the tool touches the triangle: the maximum
// of z - lower(rho) over the triangle's points within reach.  That function
// is concave (the tool is convex), so a dense sample refined by pattern search
// finds smooth interior maxima, and golden sections along the edges and the
// circles of the profile find those on the boundary and on kinks.
double profileOracle(const Tri3& t, double px, double py, const Profile& pr) {
  const auto g = [&](const Vec3d& x) {
    const double rho = std::hypot(x.x - px, x.y - py);
    if (rho > pr.reach) return kNone;
    return x.z - pr.lower(rho);
  };
  double best = kNone;
  for (const Vec3d& v : t.v) best = std::max(best, g(v));
  const Vec3d e1 = sub(t.v[1], t.v[0]);
  const Vec3d e2 = sub(t.v[2], t.v[0]);
  const auto at = [&](double a, double b) { return add(t.v[0], add(mul(e1, a), mul(e2, b))); };

  // Interior.
  const int n = 120;
  double ba = 0.0, bb = 0.0, bg = kNone;
  for (int i = 0; i <= n; ++i) {
    for (int j = 0; i + j <= n; ++j) {
      const double v = g(at(double(i) / n, double(j) / n));
      if (v > bg) {
        bg = v;
        ba = double(i) / n;
        bb = double(j) / n;
      }
    }
  }
  if (bg > kNone) {
    double step = 1.0 / n;
    for (int it = 0; it < 20000 && step > 1e-13; ++it) {
      double na = ba, nb = bb, ng = bg;
      for (int k = 0; k < 32; ++k) {
        const double a = ba + step * std::cos(k * kPi / 16.0);
        const double b = bb + step * std::sin(k * kPi / 16.0);
        if (a < 0.0 || b < 0.0 || a + b > 1.0) continue;
        const double v = g(at(a, b));
        if (v > ng) {
          ng = v;
          na = a;
          nb = b;
        }
      }
      if (ng > bg) {
        ba = na;
        bb = nb;
        bg = ng;
      } else {
        step *= 0.5;
      }
    }
    best = std::max(best, bg);
  }

  // Golden section of a concave function on [lo, hi].
  const auto golden = [](const std::function<double(double)>& f, double lo, double hi) {
    const double phi = (std::sqrt(5.0) - 1.0) / 2.0;
    double x1 = hi - phi * (hi - lo), x2 = lo + phi * (hi - lo);
    double f1 = f(x1), f2 = f(x2);
    for (int i = 0; i < 200; ++i) {
      if (f1 < f2) {
        lo = x1;
        x1 = x2;
        f1 = f2;
        x2 = lo + phi * (hi - lo);
        f2 = f(x2);
      } else {
        hi = x2;
        x2 = x1;
        f2 = f1;
        x1 = hi - phi * (hi - lo);
        f1 = f(x1);
      }
    }
    return std::max({f(lo), f(hi), f1, f2});
  };

  // Edges: the part within reach is one interval of the edge parameter.
  for (int i = 0; i < 3; ++i) {
    const Vec3d a = t.v[i];
    const Vec3d u = sub(t.v[(i + 1) % 3], a);
    const double qa = u.x * u.x + u.y * u.y;
    const double qb = 2.0 * ((a.x - px) * u.x + (a.y - py) * u.y);
    const double qc = (a.x - px) * (a.x - px) + (a.y - py) * (a.y - py) - pr.reach * pr.reach;
    double s1 = 0.0, s2 = 1.0;
    if (qa > 1e-24) {
      const double disc = qb * qb - 4.0 * qa * qc;
      if (disc < 0.0) continue;
      s1 = std::max(0.0, (-qb - std::sqrt(disc)) / (2.0 * qa));
      s2 = std::min(1.0, (-qb + std::sqrt(disc)) / (2.0 * qa));
      if (s1 > s2) continue;
    }
    const auto f = [&](double s) { return g(add(a, mul(u, std::clamp(s, s1, s2)))); };
    best = std::max(best, golden(f, s1, s2));
  }

  // The reach circle and the kinks inside the triangle (seen from above).
  const double det = e1.x * e2.y - e1.y * e2.x;
  for (const double radius : pr.circles) {
    if (!(std::fabs(det) > 1e-9)) break;
    const auto onCircle = [&](double phi, bool* inside) {
      const double x = px + radius * std::cos(phi), y = py + radius * std::sin(phi);
      const double wx = x - t.v[0].x, wy = y - t.v[0].y;
      const double a = (wx * e2.y - wy * e2.x) / det;
      const double b = (e1.x * wy - e1.y * wx) / det;
      *inside = a >= 0.0 && b >= 0.0 && a + b <= 1.0;
      return g(at(a, b));
    };
    const int m = 4096;
    for (int k = 0; k < m; ++k) {
      bool inside = false;
      const double v = onCircle(2.0 * kPi * k / m, &inside);
      if (!inside) continue;
      best = std::max(best, v);
      const auto f = [&](double phi) {
        bool in = false;
        const double w = onCircle(phi, &in);
        return in ? w : kNone;
      };
      best = std::max(best, golden(f, 2.0 * kPi * (k - 1) / m, 2.0 * kPi * (k + 1) / m));
    }
  }
  return best;
}

// ---- Single cases --------------------------------------------------------------

TEST(ContactBallTest, InsideATiltedPlaneTouchesTheFace) {
  const double tan30 = std::tan(kPi / 6.0);
  const Tri3 t{{{-10, -10, -10 * tan30}, {10, -10, 10 * tan30}, {0, 10, 0}}};
  ContactTriangle r = record(t, 0.0, 0.0, 2.0);
  EXPECT_EQ(contactBallTriangle(&r), kContactFace);
  EXPECT_NEAR(r.height, 2.0 / std::cos(kPi / 6.0), 1e-12);
  EXPECT_NEAR(r.contact.x, 2.0 * std::sin(kPi / 6.0), 1e-12);
  EXPECT_NEAR(r.contact.z, r.contact.x * tan30, 1e-12);
  EXPECT_EQ(r.kind, -1);  // the ball leaves the kind to its caller
}

TEST(ContactBallTest, BesideAPeakTouchesTheVertex) {
  const Tri3 t{{{1, 0, 0}, {8, -6, -10}, {8, 6, -10}}};
  ContactTriangle r = record(t, 0.0, 0.0, 3.0);
  EXPECT_EQ(contactBallTriangle(&r), kContactEdge);
  EXPECT_NEAR(r.height, std::sqrt(9.0 - 1.0), 1e-12);
  EXPECT_EQ(r.contact.x, 1.0);
  EXPECT_EQ(r.contact.z, 0.0);
}

TEST(ContactFlatTest, LevelTriangleOverTheAxisTouchesTheFace) {
  const Tri3 t{{{-10, -10, 2}, {10, -10, 2}, {0, 10, 2}}};
  ContactTriangle r = record(t, 0.5, 0.5, 2.0);
  EXPECT_EQ(contactFlatTriangle(&r), kContactFace);
  EXPECT_EQ(r.kind, kContactKindRim);
  EXPECT_EQ(r.height, 2.0);
  EXPECT_EQ(r.contact.x, 0.5);
  EXPECT_EQ(r.contact.y, 0.5);
}

TEST(ContactFlatTest, DiskReachingOnlyALevelEdgeTouchesWithItsFlatEnd) {
  const Tri3 t{{{1, -5, 2}, {8, 0, 2}, {1, 5, 2}}};
  ContactTriangle r = record(t, 0.0, 0.25, 2.0);
  EXPECT_EQ(contactFlatTriangle(&r), kContactEdge);
  EXPECT_EQ(r.kind, kContactKindFlat);
  EXPECT_EQ(r.height, 2.0);
  EXPECT_NEAR(r.contact.x, 1.0, 1e-12);  // nearest point of the edge
  EXPECT_NEAR(r.contact.y, 0.25, 1e-12);
}

TEST(ContactFlatTest, TiltedPlaneTouchesWithTheUphillRimPoint) {
  // z = 0.3 x + 0.4 y + 1 rises fastest along (0.6, 0.8).
  const auto z = [](double x, double y) { return 0.3 * x + 0.4 * y + 1.0; };
  const Tri3 t{{{-10, -10, z(-10, -10)}, {10, -10, z(10, -10)}, {0, 10, z(0, 10)}}};
  ContactTriangle r = record(t, 0.0, 0.0, 2.0);
  EXPECT_EQ(contactFlatTriangle(&r), kContactFace);
  EXPECT_NEAR(r.contact.x, 1.2, 1e-12);
  EXPECT_NEAR(r.contact.y, 1.6, 1e-12);
  EXPECT_NEAR(r.height, z(1.2, 1.6), 1e-12);
  EXPECT_EQ(r.kind, kContactKindRim);
}

// A nearly level triangle counts as level for the flat tool; its height under
// the axis is the plane's, not the mean of its vertices' heights (those
// differ by 0.03 here).
TEST(ContactFlatTest, NearlyLevelLargeTriangleRestsOnThePlaneUnderTheAxis) {
  const double slope = 1e-4;
  const auto z = [&](double x) { return 5.0 + slope * x; };
  const Tri3 t{{{-500, -500, z(-500)}, {500, -500, z(500)}, {0, 500, z(0)}}};
  ContactTriangle r = record(t, 400.0, -400.0, 3.0);
  EXPECT_EQ(contactFlatTriangle(&r), kContactFace);
  EXPECT_NEAR(r.height, z(400.0), 1e-9);
  EXPECT_NEAR(r.contact.z, z(400.0), 1e-9);

  ContactTriangle q = torusRecord(t, 400.0, -400.0, 2.0, 1.0);
  EXPECT_EQ(contactTorusTriangle(&q), kContactFace);
  EXPECT_NEAR(q.height, z(400.0) + 1.0, 1e-9);
  EXPECT_NEAR(q.contact.z, z(400.0), 1e-9);
}

TEST(ContactTorusTest, CornerUnderTheFlatInnerDiskTouchesWithTheFlatEnd) {
  const Tri3 t{{{0.5, 0.3, 1.0}, {6, -3, 1.0}, {6, 4, 1.0}}};
  ContactTriangle r = torusRecord(t, 0.0, 0.0, 2.0, 1.0);
  EXPECT_EQ(contactTorusTriangle(&r), kContactEdge);
  EXPECT_EQ(r.kind, kContactKindFlat);
  EXPECT_EQ(r.height, 2.0);
}

TEST(ContactTorusTest, ContactUnderTheFlatEndIsReportedOnTheAxisByTheFacetEntry) {
  const Tri3 t{{{0.5, 0.0, 1.0}, {5, -3, -5}, {5, 3, -5}}};
  ContactTriangle r = torusRecord(t, 0.0, 0.0, 2.0, 1.0);
  EXPECT_EQ(contactTorusTriangle(&r), kContactEdge);
  EXPECT_EQ(r.contact.x, 0.5);  // the vertex itself

  const ContactContext ctx = plainContext();
  const Facet f = facetOf(t);
  const ToolShape tool = makeTool(kToolTorus, 3.0, 1.0);
  const Vec3d p{0.0, 0.0, 100.0};
  double h = -1e9;
  Vec3d c{};
  int kind = 0;
  EXPECT_EQ(contactFacetShape(&ctx, &f, &p, &tool, &h, &c, &kind), kContactEdge);
  EXPECT_EQ(h, 2.0);
  EXPECT_EQ(kind, kContactKindFlat);
  EXPECT_EQ(c.x, 0.0);
  EXPECT_EQ(c.y, 0.0);
  EXPECT_EQ(c.z, 1.0);
}

// ---- Store rule -----------------------------------------------------------------

struct StoreRow {
  const char* name;
  int16_t type;
  double offset;  // record height = the triangle's contact height + offset
  bool stored;
};

class StoreRuleTest : public ::testing::TestWithParam<StoreRow> {};

TEST_P(StoreRuleTest, EqualHeightReplacesOnlyForFlatAndTorus) {
  const StoreRow& row = GetParam();
  const Tri3 level{{{-10, -10, 1}, {10, -10, 1}, {0, 10, 1}}};
  const Tri3 tilted{{{-10, -10, -3}, {10, -10, 3}, {0, 10, 0}}};
  const auto run = [&](double height, ContactTriangle* r) {
    switch (row.type) {
      case kToolBall:
        *r = record(tilted, 0.3, 0.2, 2.0, 0.0, 0.0, height);
        return contactBallTriangle(r);
      case kToolFlat:
        *r = record(level, 0.3, 0.2, 2.0, 0.0, 0.0, height);
        return contactFlatTriangle(r);
      default:
        *r = torusRecord(level, 0.3, 0.2, 2.0, 1.0, height);
        return contactTorusTriangle(r);
    }
  };
  ContactTriangle first;
  ASSERT_EQ(run(-1e9, &first), kContactFace);
  const double start = first.height + row.offset;
  ContactTriangle again;
  const int result = run(start, &again);
  EXPECT_EQ(result != 0, row.stored);
  EXPECT_EQ(again.height, row.stored ? first.height : start);
  if (!row.stored) {
    EXPECT_EQ(again.kind, -1);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, StoreRuleTest,
                         ::testing::Values(StoreRow{"ball_below", kToolBall, -1e-9, true},
                                           StoreRow{"ball_equal", kToolBall, 0.0, false},
                                           StoreRow{"ball_above", kToolBall, 1e-9, false},
                                           StoreRow{"flat_below", kToolFlat, -1e-9, true},
                                           StoreRow{"flat_equal", kToolFlat, 0.0, true},
                                           StoreRow{"flat_above", kToolFlat, 1e-9, false},
                                           StoreRow{"torus_below", kToolTorus, -1e-9, true},
                                           StoreRow{"torus_equal", kToolTorus, 0.0, true},
                                           StoreRow{"torus_above", kToolTorus, 1e-9, false}),
                         [](const ::testing::TestParamInfo<StoreRow>& info) {
                           return std::string(info.param.name);
                         });

// ---- Degenerate triangles ---------------------------------------------------------

struct DegenerateRow {
  const char* name;
  Tri3 t;
};

class DegenerateTest : public ::testing::TestWithParam<DegenerateRow> {};

// Vertical and zero-length edges are skipped without dividing by their
// length; what is left (the other edges, the vertices) still gives the right
// height.
TEST_P(DegenerateTest, FiniteHeightsThatMatchTheOracles) {
  const Tri3& t = GetParam().t;
  // Positions off the exact reach of every vertex and edge.
  for (double px = -3.03; px <= 3.0; px += 0.77) {
    for (double py = -2.01; py <= 2.0; py += 0.93) {
      SCOPED_TRACE(testing::Message() << "at " << px << ", " << py);
      ContactTriangle ball = record(t, px, py, 2.0);
      const int rb = contactBallTriangle(&ball);
      const double ob = ballOracle(t, px, py, 2.0);
      if (ob == kNone) {
        EXPECT_EQ(rb, 0);
      } else {
        ASSERT_NE(rb, 0);
        EXPECT_NEAR(ball.height, ob, 1e-9);
      }

      ContactTriangle flat = record(t, px, py, 2.0);
      const int rf = contactFlatTriangle(&flat);
      const double of = profileOracle(t, px, py, flatProfile(2.0));
      if (of == kNone) {
        EXPECT_EQ(rf, 0);
      } else {
        ASSERT_NE(rf, 0);
        EXPECT_NEAR(flat.height, of, 1e-4);
        EXPECT_TRUE(std::isfinite(flat.contact.x) && std::isfinite(flat.contact.z));
      }

      ContactTriangle torus = torusRecord(t, px, py, 1.5, 0.5);
      const int rt = contactTorusTriangle(&torus);
      const double ot = profileOracle(t, px, py, torusProfile(1.5, 0.5));
      if (ot == kNone) {
        EXPECT_EQ(rt, 0);
      } else {
        ASSERT_NE(rt, 0);
        EXPECT_NEAR(torus.height, ot, 1e-4);
        EXPECT_TRUE(std::isfinite(torus.contact.x) && std::isfinite(torus.contact.z));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, DegenerateTest,
    ::testing::Values(
        DegenerateRow{"vertical_wall", {{{0.5, -3, -1}, {0.5, 3, -1}, {0.5, 3, 2}}}},
        DegenerateRow{"vertical_edge_tilted_face", {{{0.5, 0, -1}, {0.5, 0, 2}, {3, 2, 0}}}},
        DegenerateRow{"needle", {{{0.4, 0.3, -2}, {0.4, 0.3, 1.5}, {0.4, 0.3, 0}}}},
        DegenerateRow{"zero_length_edge", {{{-1, -1, 0}, {-1, -1, 0}, {2, 1, 1}}}},
        DegenerateRow{"coincident", {{{0.2, 0.1, 0.7}, {0.2, 0.1, 0.7}, {0.2, 0.1, 0.7}}}},
        DegenerateRow{"collinear_level", {{{-3, 0.5, 1}, {0, 0.5, 1}, {3, 0.5, 1}}}},
        DegenerateRow{"collinear_sloped", {{{-3, -1, -1}, {0, 0, 0.5}, {3, 1, 2}}}}),
    [](const ::testing::TestParamInfo<DegenerateRow>& info) {
      return std::string(info.param.name);
    });

TEST(ContactFlatTest, NeedleUnderTheDiskTouchesWithItsTop) {
  const Tri3 t{{{0.4, 0.3, -2}, {0.4, 0.3, 1.5}, {0.4, 0.3, 0}}};
  ContactTriangle r = record(t, 0.0, 0.0, 1.0);
  EXPECT_EQ(contactFlatTriangle(&r), kContactEdge);
  EXPECT_EQ(r.height, 1.5);
  EXPECT_EQ(r.contact.z, 1.5);
  ContactTriangle far = record(t, 2.0, 0.0, 1.0);
  EXPECT_EQ(contactFlatTriangle(&far), kContactNone);
}

// ---- Cone frustum ----------------------------------------------------------------

TEST(ContactConeTest, FrustumWithoutASideNeverTouches) {
  const Tri3 t{{{-3, -3, 5}, {3, -3, 5}, {0, 3, 5}}};
  struct Row {
    double ri, ro, zi, zo;
  };
  const Row rows[] = {{2.0, 2.0, 0.0, 3.0},
                      {2.0, 2.0 + 0.000005, 0.0, 3.0},
                      {3.0, 2.0, 0.0, 3.0},
                      {1.0, 3.0, 3.0 + 0.00002, 3.0}};
  for (const Row& row : rows) {
    ContactTriangle r = record(t, 0.5, 0.0, 1.0);
    r.kind = 7;
    EXPECT_EQ(contactConeTriangle(&r, row.ri, row.ro, row.zi, row.zo), 0);
    EXPECT_EQ(r.height, -1e9);
    EXPECT_EQ(r.kind, 0);
  }
}

TEST(ContactConeTest, TopDiskRimReportsItsContactPoint) {
  // A gently rising plane far below reaches the frustum only at the uphill
  // rim of its top disk.
  const Tri3 t{{{-10, -10, -1.0}, {10, -10, 1.0}, {0, 10, 0.0}}};
  ContactTriangle r = record(t, 0.0, 0.0, 1.0);
  r.contact = {99.0, 99.0, 99.0};
  EXPECT_EQ(contactConeTriangle(&r, 1.0, 3.0, 0.0, 4.0), 1);
  EXPECT_EQ(r.kind, kContactKindRim);
  EXPECT_NEAR(r.height, 0.3 - 4.0, 1e-12);
  EXPECT_NEAR(r.contact.x, 3.0, 1e-12);
  EXPECT_NEAR(r.contact.y, 0.0, 1e-12);
  EXPECT_NEAR(r.contact.z, 0.3, 1e-12);
}

// The side of the frustum touches an edge line where the line is tangent to
// it, also when the line passes the axis inside the inner radius: here at
// distance 0.9 (inner radius 1) with slope 0.6 on a side of slope 1, the
// point of tangency lies 1.125 from the axis.
TEST(ContactConeTest, SideTouchesAnEdgePassingInsideTheInnerRadius) {
  const Tri3 t{{{-2, 0.9, -1.2}, {2, 0.9, 1.2}, {0, 8, -10}}};
  ContactTriangle r = record(t, 0.0, 0.0, 1.0);
  EXPECT_EQ(contactConeTriangle(&r, 1.0, 3.0, 0.0, 2.0), 1);
  EXPECT_NEAR(r.height, 1.0 - 0.9 * 0.8, 1e-12);
  EXPECT_NEAR(r.contact.x, 0.675, 1e-12);
  EXPECT_NEAR(r.contact.z, 0.405, 1e-12);
}

// A tangency of the side's extension beyond the top rim is no contact: the
// line then meets the frustum first at the rim of its top disk.
TEST(ContactConeTest, SideIgnoresTangencyBeyondTheTopRim) {
  const Tri3 t{{{-3, 1.5, -2.4}, {3, 1.5, 2.4}, {0, -8, -10}}};
  ContactTriangle r = record(t, 0.0, 0.0, 1.0);
  EXPECT_EQ(contactConeTriangle(&r, 1.0, 2.0, 0.0, 1.0), 1);
  EXPECT_NEAR(r.height, 0.8 * std::sqrt(1.75) - 1.0, 1e-12);
  EXPECT_NEAR(std::hypot(r.contact.x, r.contact.y), 2.0, 1e-9);
}

// ---- Closed-form surfaces ------------------------------------------------------------

using Surface = std::vector<Facet>;

// Quads of a 1 x 1 grid over [x0, x1] x [-12, 12] on z(x, y), every other
// one stored as two triangle facets (fourth vertex repeating the third).
void addGrid(Surface* s, double x0, double x1, const std::function<double(double, double)>& z) {
  for (double x = x0; x < x1 - 1e-9; x += 1.0) {
    for (double y = -12.0; y < 12.0 - 1e-9; y += 1.0) {
      const Vec3d a{x, y, z(x, y)}, b{x + 1, y, z(x + 1, y)}, c{x + 1, y + 1, z(x + 1, y + 1)},
          d{x, y + 1, z(x, y + 1)};
      if ((static_cast<int>(std::floor(x + y)) & 1) == 0) {
        s->push_back(facetOf(a, b, c, d));
      } else {
        s->push_back(facetOf(a, b, c, c));
        s->push_back(facetOf(a, c, d, d));
      }
    }
  }
}

struct DropResult {
  double height = -1e9;
  Vec3d contact{};
  int kind = 0;
  int result = 0;
};

DropResult dropOn(const Surface& s, const ContactContext& ctx, const ToolShape& tool, double px,
                  double py) {
  DropResult d;
  const Vec3d p{px, py, 100.0};
  for (const Facet& f : s) {
    const int r = contactFacetShape(&ctx, &f, &p, &tool, &d.height, &d.contact, &d.kind);
    d.result = std::max(d.result, r);
  }
  return d;
}

constexpr double kS = 0.5;  // slope of the tilted surfaces
const double kRoot = std::sqrt(1.0 + kS * kS);

Surface tiltedPlane() {
  Surface s;
  addGrid(&s, -12.0, 12.0, [](double x, double y) { return 0.3 * x + 0.4 * y; });
  return s;
}
Surface roof() {
  Surface s;
  addGrid(&s, -12.0, 12.0, [](double x, double) { return 5.0 - kS * std::fabs(x); });
  return s;
}
Surface vGroove() {
  Surface s;
  addGrid(&s, -12.0, 12.0, [](double x, double) { return kS * std::fabs(x); });
  return s;
}
constexpr double kStep = 2.0;
Surface step() {
  Surface s;
  addGrid(&s, -12.0, 0.0, [](double, double) { return 0.0; });
  addGrid(&s, 0.0, 12.0, [](double, double) { return kStep; });
  for (double y = -12.0; y < 12.0 - 1e-9; y += 1.0) {  // the wall
    s.push_back(facetOf({0, y, 0}, {0, y + 1, 0}, {0, y + 1, kStep}, {0, y, kStep}));
  }
  return s;
}

struct ClosedFormRow {
  const char* name;
  std::function<Surface()> surface;
  ToolShape tool;
  std::function<double(double x, double y)> expected;
};

class ClosedFormTest : public ::testing::TestWithParam<ClosedFormRow> {};

TEST_P(ClosedFormTest, HeightsAlongALine) {
  const ClosedFormRow& row = GetParam();
  const Surface s = row.surface();
  const ContactContext ctx = row.tool.taperOn ? taperContext(row.tool) : plainContext();
  for (double x = -6.0; x <= 6.0; x += 0.37) {
    for (double y : {0.3, -2.45}) {
      const DropResult d = dropOn(s, ctx, row.tool, x, y);
      EXPECT_NEAR(d.height, row.expected(x, y), 1e-9) << "at " << x << ", " << y;
      EXPECT_GT(d.kind, 0);
    }
  }
}

// Ball radius 2, flat radius 2, torus radius 3 with corner 1.
const ToolShape kBall = makeTool(kToolBall, 2.0, 2.0);
const ToolShape kFlat = makeTool(kToolFlat, 2.0, 0.0);
const ToolShape kTorus = makeTool(kToolTorus, 3.0, 1.0);
const ToolShape kTaperBall = taperedTool(kToolBall, 2.0, 2.0, 10.0, 6.0);

double roofBall(double x, double) {
  const double e = std::fabs(x);
  if (e < 2.0 * kS / kRoot) return 5.0 + std::sqrt(4.0 - e * e);
  return 5.0 - kS * e + 2.0 * kRoot;
}
double roofFlat(double x, double) {
  const double e = std::fabs(x);
  return e <= 2.0 ? 5.0 : 5.0 - kS * (e - 2.0);
}
double roofTorus(double x, double) {
  const double e = std::fabs(x);
  if (e <= 2.0) return 6.0;
  if (e - 2.0 < kS / kRoot) return 5.0 + std::sqrt(1.0 - (e - 2.0) * (e - 2.0));
  return 5.0 - kS * (e - 2.0) + kRoot;
}
double stepBall(double x, double) {
  if (x >= 0.0) return kStep + 2.0;
  const double e = -x;
  return e < 2.0 ? std::max(2.0, kStep + std::sqrt(4.0 - e * e)) : 2.0;
}
double stepFlat(double x, double) { return (x >= 0.0 || -x <= 2.0) ? kStep : 0.0; }
double stepTorus(double x, double) {
  const double e = -x;
  if (x >= 0.0 || e <= 2.0) return kStep + 1.0;
  if (e < 3.0) return std::max(1.0, kStep + std::sqrt(1.0 - (e - 2.0) * (e - 2.0)));
  return 1.0;
}
// A tapered ball beside the wall: the ball up to the taper's inner radius,
// then the taper's side, touch the wall's top edge.
double stepTaperBall(double x, double) {
  ToolCone cone;
  toolConeFromTool(&kTaperBall, &cone);
  if (x >= 0.0) return kStep + 2.0;
  const double e = -x;
  if (e <= cone.innerRadius) return std::max(2.0, kStep + std::sqrt(4.0 - e * e));
  if (e < cone.outerRadius) {
    const double side = cone.innerZ + (cone.outerZ - cone.innerZ) * (e - cone.innerRadius) /
                                          (cone.outerRadius - cone.innerRadius);
    return std::max(2.0, kStep - side);
  }
  return 2.0;
}

INSTANTIATE_TEST_SUITE_P(
    Surfaces, ClosedFormTest,
    ::testing::Values(
        ClosedFormRow{"tilted_ball", tiltedPlane, kBall,
                      [](double x, double y) { return 0.3 * x + 0.4 * y + 2.0 * kRoot; }},
        ClosedFormRow{"tilted_flat", tiltedPlane, kFlat,
                      [](double x, double y) { return 0.3 * x + 0.4 * y + 2.0 * kS; }},
        ClosedFormRow{"tilted_torus", tiltedPlane, kTorus,
                      [](double x, double y) { return 0.3 * x + 0.4 * y + 2.0 * kS + kRoot; }},
        ClosedFormRow{"roof_ball", roof, kBall, roofBall},
        ClosedFormRow{"roof_flat", roof, kFlat, roofFlat},
        ClosedFormRow{"roof_torus", roof, kTorus, roofTorus},
        ClosedFormRow{"groove_ball", vGroove, kBall,
                      [](double x, double) { return kS * std::fabs(x) + 2.0 * kRoot; }},
        ClosedFormRow{"groove_flat", vGroove, kFlat,
                      [](double x, double) { return kS * (std::fabs(x) + 2.0); }},
        ClosedFormRow{"groove_torus", vGroove, kTorus,
                      [](double x, double) { return kS * (std::fabs(x) + 2.0) + kRoot; }},
        ClosedFormRow{"step_ball", step, kBall, stepBall},
        ClosedFormRow{"step_flat", step, kFlat, stepFlat},
        ClosedFormRow{"step_torus", step, kTorus, stepTorus},
        ClosedFormRow{"step_tapered_ball", step, kTaperBall, stepTaperBall}),
    [](const ::testing::TestParamInfo<ClosedFormRow>& info) {
      return std::string(info.param.name);
    });

TEST(ContactFacetTest, FlatOnALevelQuadTouchesWithItsFlatEnd) {
  Surface s;
  addGrid(&s, -3.0, 3.0, [](double, double) { return 1.0; });
  const DropResult d = dropOn(s, plainContext(), kFlat, 0.25, 0.4);
  EXPECT_EQ(d.result, kContactFace);
  EXPECT_EQ(d.height, 1.0);
  EXPECT_GT(d.kind, 0);
}

// With the taper on, a contact of the taper alone is a contact like any
// other: its kind is 1 and its point lies on the wall's edge.
TEST(ContactFacetTest, TaperAloneBesideAWallReportsKindAndContact) {
  ToolCone cone;
  toolConeFromTool(&kTaperBall, &cone);
  const double e = 0.5 * (kTaperBall.radius + cone.outerRadius);
  const Facet wall = facetOf({0, -5, -10}, {0, 5, -10}, {0, 5, kStep}, {0, -5, kStep});
  const ContactContext ctx = taperContext(kTaperBall);
  const Vec3d p{-e, 0.3, 100.0};
  double h = -1e9;
  Vec3d c{};
  int kind = 0;
  EXPECT_EQ(contactFacetShape(&ctx, &wall, &p, &kTaperBall, &h, &c, &kind), kContactEdge);
  const double side = cone.innerZ + (cone.outerZ - cone.innerZ) * (e - cone.innerRadius) /
                                        (cone.outerRadius - cone.innerRadius);
  EXPECT_NEAR(h, kStep - side, 1e-9);
  EXPECT_EQ(kind, kContactKindRim);
  EXPECT_NEAR(c.x, 0.0, 1e-12);
  EXPECT_NEAR(c.y, 0.3, 1e-9);
  EXPECT_NEAR(c.z, kStep, 1e-12);

  // The same through the triangle entry: the cone's result.
  const double tri[9] = {0, -5, -10, 0, 5, kStep, 0, -5, kStep};
  double h2 = -1e9;
  int kind2 = 0;
  EXPECT_EQ(contactTriangleShape(&ctx, tri, &p, &kTaperBall, &h2, &c, &kind2), kContactEdge);
  EXPECT_NEAR(h2, h, 1e-12);
  EXPECT_EQ(kind2, kContactKindRim);
  // Without the taper the wall is out of reach.
  const ContactContext plain = plainContext();
  double h3 = -1e9;
  EXPECT_EQ(contactFacetShape(&plain, &wall, &p, &kTaperBall, &h3, &c, &kind), kContactNone);
}

TEST(ContactFacetTest, UnknownToolTypeTouchesNothing) {
  const Facet f = facetOf({-5, -5, 0}, {5, -5, 0}, {5, 5, 0}, {-5, 5, 0});
  ToolShape tool = makeTool(4, 2.0, 0.5);
  const ContactContext ctx = plainContext();
  const Vec3d p{0, 0, 100};
  double h = -1e9;
  Vec3d c{7, 7, 7};
  int kind = 9;
  EXPECT_EQ(contactFacetShape(&ctx, &f, &p, &tool, &h, &c, &kind), 0);
  const double tri[9] = {-5, -5, 0, 5, -5, 0, 0, 5, 0};
  EXPECT_EQ(contactTriangleShape(&ctx, tri, &p, &tool, &h, &c, &kind), 0);
  EXPECT_EQ(h, -1e9);
  EXPECT_EQ(kind, 9);
  EXPECT_EQ(c.x, 7);
}

TEST(ContactFacetTest, ConeFrustumToolTouchesWithItsSideAndRim) {
  // Type 10: frustum from radius 2 at the tool length 6 to the shank radius 4
  // at 6 + 3.
  ToolShape tool = makeTool(kToolConeFrustum, 2.0, 0.0);
  tool.shankDiameter = 8.0;
  tool.taperLength = 3.0;
  const Facet edge = facetOf({3, -5, 0}, {3, 5, 0}, {3, 5, -10}, {3, -5, -10});
  const ContactContext ctx = plainContext();
  const Vec3d p{0, 0, 100};
  double h = -1e9;
  Vec3d c{};
  int kind = 0;
  EXPECT_EQ(contactFacetShape(&ctx, &edge, &p, &tool, &h, &c, &kind), kContactEdge);
  // The side at 3 from the axis lies 6 + 3 * (3 - 2) / (4 - 2) above the centre.
  EXPECT_NEAR(h, -7.5, 1e-12);
  EXPECT_EQ(kind, kContactKindRim);
}

// ---- Random oracles ------------------------------------------------------------------

// Triangles around the origin: general ones, steep ones, level ones and ones
// with a vertical edge, filed by a fixed seed.
std::vector<Tri3> randomTriangles(unsigned seed, int count) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> xy(-5.0, 5.0), z(-3.0, 3.0);
  std::vector<Tri3> out;
  for (int i = 0; i < count; ++i) {
    Tri3 t;
    for (Vec3d& v : t.v) v = {xy(rng), xy(rng), z(rng)};
    switch (i % 4) {
      case 1:  // steep: nearly vertical
        t.v[1] = {t.v[0].x + 0.05 * z(rng), t.v[0].y + 0.05 * z(rng), t.v[0].z + 4.0};
        break;
      case 2:  // level
        t.v[1].z = t.v[2].z = t.v[0].z;
        break;
      case 3:  // a vertical edge
        t.v[1].x = t.v[0].x;
        t.v[1].y = t.v[0].y;
        break;
      default:
        break;
    }
    out.push_back(t);
  }
  return out;
}

TEST(ContactOracleTest, BallMatchesTheExactDistance) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> radius(0.5, 4.0), pos(-1.5, 1.5);
  int touched = 0;
  for (const Tri3& t : randomTriangles(101, 400)) {
    const double r = radius(rng), px = pos(rng), py = pos(rng);
    ContactTriangle rec = record(t, px, py, r);
    const int result = contactBallTriangle(&rec);
    const double expected = ballOracle(t, px, py, r);
    if (expected == kNone) {
      EXPECT_EQ(result, 0);
      continue;
    }
    ++touched;
    ASSERT_NE(result, 0);
    EXPECT_NEAR(rec.height, expected, 1e-9);
    // The contact lies on the triangle, r from the centre.
    EXPECT_NEAR(norm(sub(rec.contact, {px, py, rec.height})), r, 1e-7);
    EXPECT_NEAR(pointTriangleDistance(rec.contact, t), 0.0, 1e-7);
  }
  EXPECT_GT(touched, 200);
}

struct OracleRow {
  const char* name;
  ToolShape tool;
};

class ShapeOracleTest : public ::testing::TestWithParam<OracleRow> {};

TEST_P(ShapeOracleTest, MatchesTheSampledToolSurface) {
  const ToolShape& tool = GetParam().tool;
  const ContactContext ctx = tool.taperOn ? taperContext(tool) : plainContext();
  Profile profile;
  if (tool.taperOn) {
    profile = taperedProfile(tool);
  } else if (tool.type == kToolFlat) {
    profile = flatProfile(tool.radius);
  } else {
    profile = torusProfile(tool.radius - tool.cornerRadius, tool.cornerRadius);
  }
  std::mt19937 rng(23);
  std::uniform_real_distribution<double> pos(-1.5, 1.5);
  int touched = 0;
  for (const Tri3& t : randomTriangles(202, 300)) {
    const double px = pos(rng), py = pos(rng);
    const Facet f = facetOf(t);
    const Vec3d p{px, py, 100.0};
    double h = -1e9;
    Vec3d c{};
    int kind = 0;
    const int result = contactFacetShape(&ctx, &f, &p, &tool, &h, &c, &kind);
    const double expected = profileOracle(t, px, py, profile);
    SCOPED_TRACE(testing::Message()
                 << "triangle " << t.v[0].x << " " << t.v[0].y << " " << t.v[0].z << " / "
                 << t.v[1].x << " " << t.v[1].y << " " << t.v[1].z << " / " << t.v[2].x << " "
                 << t.v[2].y << " " << t.v[2].z << " at " << px << ", " << py);
    if (expected == kNone) {
      EXPECT_EQ(result, 0);
      continue;
    }
    ++touched;
    ASSERT_NE(result, 0);
    EXPECT_NEAR(h, expected, 1e-4);
    EXPECT_GT(kind, 0);
  }
  EXPECT_GT(touched, 150);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ShapeOracleTest,
    ::testing::Values(OracleRow{"flat", makeTool(kToolFlat, 2.5, 0.0)},
                      OracleRow{"torus", makeTool(kToolTorus, 3.0, 1.0)},
                      OracleRow{"torus_small_corner", makeTool(kToolTorus, 2.0, 0.25)},
                      OracleRow{"tapered_ball", taperedTool(kToolBall, 1.5, 1.5, 12.0, 4.0)},
                      OracleRow{"tapered_torus", taperedTool(kToolTorus, 2.0, 0.5, 15.0, 3.0)},
                      OracleRow{"tapered_flat", taperedTool(kToolFlat, 1.0, 0.0, 20.0, 3.0)}),
    [](const ::testing::TestParamInfo<OracleRow>& info) { return std::string(info.param.name); });

// The caller's height only decides whether the triangle's contact is stored,
// never which contact it is: a start just below it gives the same height,
// point and result as a start far below, and a start above it stores nothing.
TEST(ContactOracleTest, HeightToBeatNeverChangesTheContact) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> pos(-1.5, 1.5);
  const double below[] = {1e-3, 1e-6, 1e-9};
  for (const Tri3& t : randomTriangles(404, 300)) {
    const double px = pos(rng), py = pos(rng);
    for (int shape = 0; shape < 3; ++shape) {
      const auto run = [&](double start, ContactTriangle* r) {
        if (shape == 0) {
          *r = record(t, px, py, 2.0, 0.0, 0.0, start);
          return contactBallTriangle(r);
        }
        if (shape == 1) {
          *r = record(t, px, py, 2.0, 0.0, 0.0, start);
          return contactFlatTriangle(r);
        }
        *r = torusRecord(t, px, py, 1.5, 0.75, start);
        return contactTorusTriangle(r);
      };
      ContactTriangle free;
      const int result = run(-1e9, &free);
      if (result == 0) continue;
      for (const double d : below) {
        ContactTriangle r;
        EXPECT_EQ(run(free.height - d, &r), result) << shape;
        EXPECT_EQ(r.height, free.height) << shape;
        EXPECT_EQ(r.contact.x, free.contact.x) << shape;
        EXPECT_EQ(r.contact.z, free.contact.z) << shape;
        EXPECT_EQ(r.kind, free.kind) << shape;
        ContactTriangle above;
        EXPECT_EQ(run(free.height + d, &above), 0) << shape;
        EXPECT_EQ(above.height, free.height + d) << shape;
      }
    }
  }
}

// A triangle stored as a facet is tested once: the same heights and results
// as when its degenerate second half is tested too (a fourth vertex a hair
// away from the third makes the second half count).
TEST(ContactFacetTest, RepeatedHalfOfATriangleFacetChangesNothing) {
  const ToolShape tools[] = {kBall, kFlat, kTorus, kTaperBall,
                             taperedTool(kToolTorus, 2.0, 0.5, 15.0, 3.0)};
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> pos(-1.5, 1.5);
  for (const ToolShape& tool : tools) {
    const ContactContext ctx = tool.taperOn ? taperContext(tool) : plainContext();
    for (const Tri3& t : randomTriangles(303, 200)) {
      const Vec3d p{pos(rng), pos(rng), 100.0};
      const Facet once = facetOf(t);
      Facet twice = once;
      twice.v[3].x = std::nextafter(twice.v[3].x, 1e9);
      double h1 = -1e9, h2 = -1e9;
      Vec3d c1{}, c2{};
      int k1 = 0, k2 = 0;
      const int r1 = contactFacetShape(&ctx, &once, &p, &tool, &h1, &c1, &k1);
      const int r2 = contactFacetShape(&ctx, &twice, &p, &tool, &h2, &c2, &k2);
      EXPECT_EQ(r1, r2);
      EXPECT_NEAR(h1, h2, 1e-12);
    }
  }
}

// A plane made beforehand gives the facet and triangle entries' outcomes to
// the bit: random, steep, level and degenerate triangles, the three plain
// tools (the torus also under its flat end, where the facet entry reports the
// axis), offered from far below, from just below and at the height the
// triangle gives.
TEST(ContactPlainTest, PlaneMadeBeforehandGivesTheEntriesOutcomes) {
  std::vector<Tri3> tris = randomTriangles(505, 240);
  tris.push_back({{{0.5, 0, -1}, {0.5, 0, 2}, {3, 2, 0}}});
  tris.push_back({{{-1, -1, 0}, {-1, -1, 0}, {2, 1, 1}}});
  tris.push_back({{{-3, -1, -1}, {0, 0, 0.5}, {3, 1, 2}}});
  tris.push_back({{{-10, -10, 1}, {10, -10, 1}, {0, 10, 1}}});
  const ContactContext ctx = plainContext();
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> pos(-4.0, 4.0);
  int touched = 0;
  for (const ToolShape& tool : {kBall, kFlat, kTorus}) {
    for (const Tri3& t : tris) {
      TrianglePlane pl;
      trianglePlaneOf(t.v[0], t.v[1], t.v[2], &pl);
      const Facet f = facetOf(t);
      const double nine[9] = {t.v[0].x, t.v[0].y, t.v[0].z, t.v[1].x, t.v[1].y,
                              t.v[1].z, t.v[2].x, t.v[2].y, t.v[2].z};
      const Vec3d p{pos(rng), pos(rng), 100.0};
      double own = -1e9;
      Vec3d at{};
      int k = 0;
      if (contactFacetShape(&ctx, &f, &p, &tool, &own, &at, &k) > 0) ++touched;
      for (const double offered : {-1e9, std::nextafter(own, -1e9), own}) {
        for (const bool facetRule : {true, false}) {
          SCOPED_TRACE(testing::Message() << "type " << tool.type << " offered " << offered
                                          << (facetRule ? " facet" : " triangle"));
          double h1 = offered, h2 = offered;
          Vec3d c1{7, 7, 7}, c2{7, 7, 7};
          int k1 = -1, k2 = -1;
          const int r1 = facetRule ? contactFacetShape(&ctx, &f, &p, &tool, &h1, &c1, &k1)
                                   : contactTriangleShape(&ctx, nine, &p, &tool, &h1, &c1, &k1);
          const int r2 = contactTriangleShapePlain(t.v, pl, &p, &tool, facetRule, &h2, &c2, &k2);
          ASSERT_EQ(r1, r2);
          ASSERT_EQ(h1, h2);
          ASSERT_EQ(k1, k2);
          ASSERT_EQ(c1.x, c2.x);
          ASSERT_EQ(c1.y, c2.y);
          ASSERT_EQ(c1.z, c2.z);
        }
      }
    }
  }
  EXPECT_GT(touched, 100);
}

// The face-case predicates of the ball and the torus decide the face result
// of the plain contact: where they hold, a contact offered from below is a
// face contact (for the ball at the height its predicate gives); where they
// fail, none is.
TEST(ContactPlainTest, FaceCasePredicatesDecideTheFaceResult) {
  const std::vector<Tri3> tris = randomTriangles(606, 400);
  std::mt19937 rng(23);
  std::uniform_real_distribution<double> pos(-3.0, 3.0);
  for (const ToolShape& tool : {kBall, kTorus}) {
    int faces = 0, others = 0;
    for (const Tri3& t : tris) {
      TrianglePlane pl;
      trianglePlaneOf(t.v[0], t.v[1], t.v[2], &pl);
      for (int n = 0; n < 8; ++n) {
        const Vec3d p{pos(rng), pos(rng), 100.0};
        double face = 0.0;
        const bool holds = tool.type == kToolBall
                               ? contactBallFaceDecides(t.v, pl, &p, tool.radius, &face)
                               : contactTorusFaceCase(t.v, pl, &p, tool.radius - tool.cornerRadius,
                                                      tool.cornerRadius);
        double h = -1e9;
        Vec3d at{};
        int k = 0;
        const int r = contactTriangleShapePlain(t.v, pl, &p, &tool, false, &h, &at, &k);
        ASSERT_EQ(r == kContactFace, holds) << "type " << tool.type;
        if (holds && tool.type == kToolBall) {
          ASSERT_EQ(h, face);
        }
        ++(holds ? faces : others);
      }
    }
    EXPECT_GT(faces, 200) << "type " << tool.type;
    EXPECT_GT(others, 200) << "type " << tool.type;
  }
}

}  // namespace
