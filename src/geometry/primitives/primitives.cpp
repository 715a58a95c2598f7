#include "geometry/primitives/primitives.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <numbers>

#include "base/tolerances.h"

namespace {

constexpr double kPi = std::numbers::pi;

// Reads the x and y of any record that begins with two doubles.
Vec2d readXY(const void* p) {
  Vec2d v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

bool pointLike(const Seg2* s) { return geoSameXY(s->x0, s->y0, s->x1, s->y1); }

double dist(double ax, double ay, double bx, double by) {
  return std::sqrt((ax - bx) * (ax - bx) + (ay - by) * (ay - by));
}

}  // namespace

// ---- Scalars ---------------------------------------------------------------

int geoAlmostEqual(double a, double b) { return std::fabs(a - b) < kGeoAlmostEqualTol ? 1 : 0; }

double geoAcosClamped(double x) {
  if (x > 1.0) x = 1.0;
  if (x < -1.0) x = -1.0;
  return std::acos(x);
}

double geoSqrtNonNeg(double x) { return x < 0.0 ? 0.0 : std::sqrt(x); }

// ---- Vectors and angles ------------------------------------------------------

int vec2AddSigned(const Vec2d* a, const Vec2d* b, Vec2d* out, int sign) {
  if (sign == 1) {
    *out = {a->x + b->x, a->y + b->y};
    return 1;
  }
  if (sign == -1) {
    *out = {a->x - b->x, a->y - b->y};
    return 1;
  }
  return 0;
}

void vec2Scale(double factor, const Vec2d* v, Vec2d* out) { *out = {factor * v->x, factor * v->y}; }

double vec2Dot(const Vec2d* a, const Vec2d* b) { return a->x * b->x + a->y * b->y; }

double vec2Length(const Vec2d* v) { return std::sqrt(v->x * v->x + v->y * v->y); }

double vec3Length(const Vec3d* v) { return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z); }

double vec3CrossLength(const Vec3d* a, const Vec3d* b) {
  const Vec3d c = {a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
  return vec3Length(&c);
}

double ptDistance3d(const Vec3d* a, const Vec3d* b) {
  const Vec3d d = {a->x - b->x, a->y - b->y, a->z - b->z};
  return vec3Length(&d);
}

double ptDistance2d(const void* a, const void* b) {
  const Vec2d p = readXY(a), q = readXY(b);
  return dist(p.x, p.y, q.x, q.y);
}

double geo2dDirectionAngle(double dy, double dx) {
  if (std::fabs(dx) < kGeoAngleZeroTol) {
    if (std::fabs(dy) < kGeoAngleZeroTol) return 0.0;
    return dy >= kGeoAngleZeroTol ? kPi / 2.0 : 3.0 * kPi / 2.0;
  }
  const double e = std::atan(dy / dx);
  if (dx < 0.0) return e + kPi;
  if (dy < 0.0) return e + 2.0 * kPi;
  return e;
}

double geo2dTurnAngle(double ax, double ay, double bx, double by, double cx, double cy) {
  const double k = (bx - ax) * (cy - by) - (by - ay) * (cx - bx);
  if (k == 0.0) return 0.0;
  double r = geo2dDirectionAngle(cy - by, cx - bx) - geo2dDirectionAngle(by - ay, bx - ax);
  if (k > 0.0 && r < -kGeoAngleZeroTol) r += 2.0 * kPi;
  if (k < 0.0 && r > kGeoAngleZeroTol) r -= 2.0 * kPi;
  return r;
}

// ---- Segments ----------------------------------------------------------------

int seg2ProjectPoint(const Seg2* s, double x, double y, double* fx, double* fy) {
  const double ex = s->x0 - s->x1, ey = s->y0 - s->y1;
  const double lengthSq = ex * ex + ey * ey;
  if (lengthSq < kGeoProjectLengthSqTol) return 0;
  // Measured from the end point, as the rest of the library expects.
  const double t = (ex * (x - s->x1) + ey * (y - s->y1)) / lengthSq;
  *fx = s->x1 + ex * t;
  *fy = s->y1 + ey * t;
  return 1;
}

int seg2UnitDirection(const Seg2* s, Vec2d* out, int /*reserved*/) {
  const double dx = s->x1 - s->x0, dy = s->y1 - s->y0;
  const double length = std::sqrt(dx * dx + dy * dy);
  if (length < kGeoDirectionTol) return 0;
  *out = {dx / length, dy / length};
  return 1;
}

int seg2UnitNormal(const Seg2* s, Vec2d* out, int reserved, int side) {
  Vec2d d;
  if (seg2UnitDirection(s, &d, reserved) == 0) return 0;
  *out = side == 1 ? Vec2d{-d.y, d.x} : Vec2d{d.y, -d.x};
  return 1;
}

int seg2SetEnd(Seg2* s, const Vec2d* p, int which) {
  if (which == 1) {
    s->x0 = p->x;
    s->y0 = p->y;
  } else {
    s->x1 = p->x;
    s->y1 = p->y;
  }
  return 1;
}

int seg2GetPoint(const Seg2* s, Vec2d* out, int which) {
  switch (which) {
    case 1:
      *out = seg2Start(*s);
      return 1;
    case 2:
      *out = seg2End(*s);
      return 1;
    case 3:
      *out = {(s->x0 + s->x1) / 2.0, (s->y0 + s->y1) / 2.0};
      return 1;
    default:
      return 0;
  }
}

int seg2PointBetweenEnds(const Vec2d* p, const Seg2* s) {
  if (pointLike(s)) return geoSameXY(p->x, p->y, s->x0, s->y0) ? 1 : 0;
  if (geoSameXY(p->x, p->y, s->x0, s->y0) || geoSameXY(p->x, p->y, s->x1, s->y1)) return 1;
  return ((s->x0 - p->x) * (s->x1 - p->x) < kGeoEqualTol &&
          (s->y0 - p->y) * (s->y1 - p->y) < kGeoEqualTol)
             ? 1
             : 0;
}

double seg2NearestPoint(const Vec2d* p, const Seg2* s, Vec2d* out) {
  if (pointLike(s)) {
    *out = seg2Start(*s);
    return dist(p->x, p->y, s->x0, s->y0);
  }
  Vec2d foot = seg2Start(*s);
  seg2ProjectPoint(s, p->x, p->y, &foot.x, &foot.y);
  if (seg2PointBetweenEnds(&foot, s)) {
    *out = foot;
    return dist(p->x, p->y, foot.x, foot.y);
  }
  const double d0 = dist(p->x, p->y, s->x0, s->y0);
  const double d1 = dist(p->x, p->y, s->x1, s->y1);
  if (d0 < d1) {
    *out = seg2Start(*s);
    return d0;
  }
  *out = seg2End(*s);
  return d1;
}

double seg2PointDistance(const void* p, const Seg2* s) {
  const Vec2d q = readXY(p);
  Vec2d unused;
  return seg2NearestPoint(&q, s, &unused);
}

double seg2LinePointDistance(double x, double y, const Seg2* s) {
  double fx, fy;
  if (seg2ProjectPoint(s, x, y, &fx, &fy) == 0) return dist(x, y, s->x0, s->y0);
  return dist(x, y, fx, fy);
}

double seg2ArrayNearest(const Vec2d* p, const Seg2* segs, int count, int* index) {
  double best = kGeoFarDistance;
  int bestIndex = 0;
  for (int i = 0; i < count; ++i) {
    const double d = seg2PointDistance(p, &segs[i]);
    if (d < best) {
      best = d;
      bestIndex = i;
    }
  }
  if (index != nullptr) *index = bestIndex;
  return best;
}

double seg2ArrayNearestPoint(const Vec2d* p, const Seg2* segs, int count, int* index, Vec2d* out) {
  double best = kGeoFarDistance;
  int bestIndex = 0;
  for (int i = 0; i < count; ++i) {
    Vec2d q;
    const double d = seg2NearestPoint(p, &segs[i], &q);
    if (d < best) {
      best = d;
      bestIndex = i;
      *out = q;
    }
  }
  if (index != nullptr) *index = bestIndex;
  return best;
}

// ---- Chains ------------------------------------------------------------------

int seg2ChainOrientation(const Seg2* segs, int count) {
  if (count <= 1) return 0;
  double sum = 0.0;
  for (int i = 0; i < count; ++i) {
    const Seg2& next = segs[(i + 1) % count];
    const Seg2& prev = segs[(i + count - 1) % count];
    sum += segs[i].x0 * (next.y0 - prev.y0);
  }
  if (std::fabs(sum) < kGeoEqualTol) return 0;
  return sum < 0.0 ? -1 : 1;
}

int seg2ChainIsClosed(const Seg2* segs, int count) {
  if (count <= 0) return 0;
  return geoSameXY(segs[0].x0, segs[0].y0, segs[count - 1].x1, segs[count - 1].y1) ? 1 : 0;
}

int seg2ChainWinding(const Seg2* segs, int count, const Vec2d* p) {
  if (count <= 0) return 0;
  double sum = 0.0;
  for (int i = 0; i < count; ++i) {
    const Seg2& s = segs[i];
    // The turn from (start - p) to (end - p): A = p - start, B = origin,
    // C = end - p.
    sum += geo2dTurnAngle(p->x - s.x0, p->y - s.y0, 0.0, 0.0, s.x1 - p->x, s.y1 - p->y);
  }
  if (sum < -kGeoWindingTol) return -1;
  if (sum > kGeoWindingTol) return 1;
  return 0;
}

int seg2TurnDirection(const Seg2* a, const Seg2* b, int* turn) {
  Vec2d u, v;
  if (seg2UnitDirection(a, &u, 0) == 0 || seg2UnitDirection(b, &v, 0) == 0) return 0;
  const double c = u.x * v.y - u.y * v.x;
  if (std::fabs(c) < kGeoTurnSineTol) {
    *turn = vec2Dot(&u, &v) < 0.0 ? -2 : 0;
  } else {
    *turn = c > 0.0 ? 1 : -1;
  }
  return 1;
}

// ---- Intersections -----------------------------------------------------------

int seg2LineCircleIntersect(const Seg2* s, const double* circle, Vec2d* p1, Vec2d* p2) {
  const double cx = circle[kCircleCentreX], cy = circle[kCircleCentreY], r = circle[kCircleRadius];
  if (pointLike(s)) return 0;
  const double d = seg2LinePointDistance(cx, cy, s);
  if (d > r + kGeoEqualTol) return 0;
  if (std::fabs(d - r) < kGeoEqualTol) {
    double fx, fy;
    if (seg2ProjectPoint(s, cx, cy, &fx, &fy) == 0) return 0;
    *p1 = {fx, fy};
    return 1;
  }
  if (std::fabs(s->x0 - s->x1) < kGeoEqualTol) {  // vertical line
    const double e2 = r * r - (s->x0 - cx) * (s->x0 - cx);
    if (e2 < 0.0) return 0;
    const double e = std::sqrt(e2);
    *p1 = {s->x0, cy - e};
    if (e < kGeoEqualTol) return 1;
    *p2 = {s->x1, cy + e};
    return 2;
  }
  const double m = (s->y1 - s->y0) / (s->x1 - s->x0);
  const double q = (s->x0 * s->y1 - s->x1 * s->y0) / (s->x0 - s->x1);
  const double f = q + m * cx - cy;
  const double disc = r * r * (1.0 + m * m) - f * f;
  if (disc < 0.0) return 0;
  const double g = std::sqrt(disc);
  const double o = (cy - q) * m + cx;
  const double xA = (o + g) / (1.0 + m * m);
  const double xB = (o - g) / (1.0 + m * m);
  if (std::fabs(m) < kGeoEqualTol) {
    *p1 = {xB, q};
    if (g < kGeoEqualTol) return 1;
    *p2 = {xA, q};
    return 2;
  }
  // y from the inverse slope: accurate on steep lines.
  const double w = 1.0 / m;
  const double h = (cy - q) * w - cx;
  const double disc2 = r * r * (1.0 + w * w) - h * h;
  if (disc2 < 0.0) return 0;
  const double t = std::sqrt(disc2);
  const double e = cx * w + (cy - q);
  const double yLow = q + (e - t) / (1.0 + w * w);
  const double yHigh = q + (e + t) / (1.0 + w * w);
  if (m > 0.0) {
    *p1 = {xB, yLow};
    *p2 = {xA, yHigh};
  } else {
    *p1 = {xB, yHigh};
    *p2 = {xA, yLow};
  }
  return 2;
}

int seg2CircleIntersect(const Seg2* s, const double* circle, Vec2d out[2]) {
  Vec2d q;
  const int k = seg2LineCircleIntersect(s, circle, &out[0], &q);
  if (k == 0) return 0;
  const int a = seg2PointBetweenEnds(&out[0], s);
  if (k == 1) return a ? -1 : 0;
  const int b = seg2PointBetweenEnds(&q, s);
  if (a + b == 2) {
    out[1] = q;
  } else if (b == 1) {
    out[0] = q;
  }
  return a + b;
}

int seg2DegenerateIntersect(const Seg2* a, const Seg2* b, Vec2d* out) {
  const bool aPoint = pointLike(a), bPoint = pointLike(b);
  if (aPoint && bPoint) {
    if (!geoSameXY(a->x0, a->y0, b->x0, b->y0)) return 0;
    *out = seg2Start(*a);
    return 1;
  }
  if (aPoint) {
    const Vec2d p = seg2Start(*a);
    if (!(seg2PointDistance(&p, b) < kGeoEqualTol)) return 0;
    *out = p;
    return 1;
  }
  if (bPoint) {
    const Vec2d p = seg2Start(*b);
    if (!(seg2PointDistance(&p, a) < kGeoEqualTol)) return 0;
    *out = p;
    return 1;
  }
  return 0;
}

int seg2LineIntersect(const Seg2* a, const Seg2* b, Vec2d* out) {
  if (pointLike(a) || pointLike(b)) return seg2DegenerateIntersect(a, b, out);
  auto unit = [](const Seg2* s) {
    const double dx = s->x1 - s->x0, dy = s->y1 - s->y0;
    const double length = std::sqrt(dx * dx + dy * dy);
    return length < kGeoEqualTol ? Vec2d{0.0, 0.0} : Vec2d{dx / length, dy / length};
  };
  const Vec2d da = unit(a), db = unit(b);
  const double h = da.x * db.y - da.y * db.x;
  const double la = da.y * a->x0 - da.x * a->y0;
  const double lb = db.y * b->x0 - db.x * b->y0;
  const double x = -db.x * la + da.x * lb;
  const double y = da.y * lb - db.y * la;
  if (std::fabs(h) < kGeoEqualTol) {
    return (std::fabs(x) < kGeoEqualTol && std::fabs(y) < kGeoEqualTol) ? -1 : 0;
  }
  *out = {x / h, y / h};
  return 1;
}

int seg2Intersect(const Seg2* a, const Seg2* b, Vec2d* out) {
  *out = {0.0, 0.0};
  const int k = seg2LineIntersect(a, b, out);
  if (k == 0) return 0;
  if (k == 1) return (seg2PointBetweenEnds(out, a) && seg2PointBetweenEnds(out, b)) ? 1 : 0;

  // Collinear: order both segments along a's major axis.
  const bool alongY = std::fabs(a->y1 - a->y0) > std::fabs(a->x1 - a->x0);
  auto coord = [alongY](double x, double y) { return alongY ? y : x; };
  const double a0 = coord(a->x0, a->y0), a1 = coord(a->x1, a->y1);
  const double b0 = coord(b->x0, b->y0), b1 = coord(b->x1, b->y1);
  const double lowA = a0 <= a1 ? a0 : a1, highA = a0 <= a1 ? a1 : a0;
  const double lowB = b0 <= b1 ? b0 : b1, highB = b0 <= b1 ? b1 : b0;
  const Vec2d lowPointA = a0 <= a1 ? seg2Start(*a) : seg2End(*a);
  const Vec2d lowPointB = b0 <= b1 ? seg2Start(*b) : seg2End(*b);
  if (std::fabs(highB - lowA) < kGeoCollinearTouchTol) {
    *out = lowPointA;
    return 1;
  }
  if (geoAlmostEqual(lowB, highA)) {
    *out = lowPointB;
    return 1;
  }
  if (highB < lowA || highA < lowB) return 0;
  return -1;
}
