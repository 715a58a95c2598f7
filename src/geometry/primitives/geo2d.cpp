#include "geometry/primitives/geo2d.h"

#include <cmath>

#include "base/tolerances.h"

namespace {

// Even-odd rule against the polygon of the segment start points: an edge u -> v
// counts when exactly one end is at or above p.y and it crosses the horizontal
// through p at or right of p (exactly at p.x only when v is the upper end).
int evenOdd(const Vec2d* p, const Kont2d* k) {
  int inside = 0;
  for (int i = 0; i < k->count; ++i) {
    const Seg2& su = k->segs[i];
    const Seg2& sv = k->segs[(i + 1) % k->count];
    const double ux = su.x0, uy = su.y0, vx = sv.x0, vy = sv.y0;
    const bool uUp = uy >= p->y;
    const bool vUp = vy >= p->y;
    if (uUp == vUp) continue;
    const double xc = ux + (p->y - uy) * (vx - ux) / (vy - uy);
    if (xc > p->x || (xc == p->x && vUp)) inside ^= 1;
  }
  return inside;
}

bool insideBox(const Vec2d* p, const Kont2d* k, double grow) {
  return p->x >= k->xmin - grow && p->x <= k->xmax + grow && p->y >= k->ymin - grow &&
         p->y <= k->ymax + grow;
}

}  // namespace

double geo2dTriangleArea(const Vec2d* a, const Vec2d* b, const Vec2d* c) {
  return ((b->y - c->y) * (a->x - c->x) - (a->y - c->y) * (b->x - c->x)) / 2.0;
}

int geo2dLineEquation(const Seg2* s, double* a, double* b, double* c) {
  const double length =
      std::sqrt((s->x1 - s->x0) * (s->x1 - s->x0) + (s->y1 - s->y0) * (s->y1 - s->y0));
  if (length < kGeoLineTol) {
    *a = *b = *c = 0.0;
    return 0;
  }
  *a = (s->y1 - s->y0) / length;
  *b = (s->x0 - s->x1) / length;
  *c = -(*a * s->x0 + *b * s->y0);
  return 1;
}

int geo2dLineIntersect(const Seg2* s, const Seg2* t, double tol, Vec2d* out) {
  double as, bs, cs, at, bt, ct;
  if (geo2dLineEquation(s, &as, &bs, &cs) == 0 || geo2dLineEquation(t, &at, &bt, &ct) == 0)
    return 0;
  const double det = as * bt - at * bs;
  if (std::fabs(det) <= tol) return 0;
  out->x = (bs * ct - bt * cs) / det;
  out->y = (at * cs - as * ct) / det;
  return 1;
}

int geo2dPointInContour(const Vec2d* p, const Kont2d* k) {
  if (k == nullptr || k->segs == nullptr || k->count < 3) return 0;
  if (!insideBox(p, k, 0.0)) return 0;
  return evenOdd(p, k);
}

int geo2dPointInContourMargin(const Vec2d* p, const Kont2d* k, double margin) {
  if (k == nullptr) return 0;
  if (!insideBox(p, k, margin)) return 0;
  const int inside = k->segs != nullptr ? evenOdd(p, k) : 0;
  if (std::fabs(margin) < kGeoLineTol) return inside;

  // Nearness: 2 clear, 1 exactly at the margin, 0 nearer than the margin.
  const double m = std::fabs(margin);
  const int count = k->segs != nullptr ? k->count : 0;
  int state = 2;
  for (int i = 0; i < count && state != 0; ++i) {
    const Seg2& s = k->segs[i];
    const Vec2d s0 = seg2Start(s), s1 = seg2End(s);
    double a, b, c;
    const double d = geo2dLineEquation(&s, &a, &b, &c) != 0 ? std::fabs(a * p->x + b * p->y + c)
                                                            : geo2dDistance(p, &s0);
    if (d > m) continue;
    if (geo2dProjectsOntoSegment(&s, p) != 0) {
      if (d != m) {
        state = 0;
        break;
      }
      state = 1;
    }
    const double d0 = geo2dDistance(p, &s0);
    const double d1 = geo2dDistance(p, &s1);
    if (d0 < m || d1 < m) {
      state = 0;
    } else if (d0 == m || d1 == m) {
      state = 1;
    }
  }
  if (margin >= 0.0) return (inside || state == 0) ? 1 : 0;
  return (inside && state == 2) ? 1 : 0;
}

int geo2dProjectOnSegment(const Vec2d* p, const Seg2* s, Vec2d* foot) {
  double a, b, c;
  if (geo2dLineEquation(s, &a, &b, &c) == 0) return 0;
  const double d = a * p->x + b * p->y + c;
  foot->x = p->x - d * a;
  foot->y = p->y - d * b;
  // Compare on the longer axis of the segment: |a| < |b| means more run in x.
  double v, e0, e1;
  if (std::fabs(a) < std::fabs(b)) {
    v = foot->x, e0 = s->x0, e1 = s->x1;
  } else {
    v = foot->y, e0 = s->y0, e1 = s->y1;
  }
  const double lo = e0 < e1 ? e0 : e1;
  const double hi = e0 < e1 ? e1 : e0;
  return (v >= lo && v <= hi) ? 1 : 0;
}

double geo2dDistance(const Vec2d* p, const Vec2d* q) {
  const double dx = p->x - q->x, dy = p->y - q->y;
  return std::sqrt(dx * dx + dy * dy);
}

int geo2dPointsEqual(const Vec2d* p, const Vec2d* q, double tol) {
  return (std::fabs(p->x - q->x) <= tol && std::fabs(p->y - q->y) <= tol) ? 1 : 0;
}

int geo2dProjectsOntoSegment(const Seg2* s, const Vec2d* p) {
  const double dx = s->x1 - s->x0, dy = s->y1 - s->y0;
  if (std::fabs(dx) < kGeoEqualTol && std::fabs(dy) < kGeoEqualTol) return -3;
  const double length = std::sqrt(dx * dx + dy * dy);
  if (length < kGeoShortSegmentTol) return -3;
  const double d = ((p->x - s->x0) * dx + (p->y - s->y0) * dy) / length;
  return (d >= 0.0 && d <= length) ? 1 : 0;
}

int geo2dCcw(const Vec2d* a, const Vec2d* b, const Vec2d* c) {
  const double dx1 = b->x - a->x, dy1 = b->y - a->y;
  const double dx2 = c->x - a->x, dy2 = c->y - a->y;
  if (dx1 * dy2 > dy1 * dx2) return 1;
  if (dx1 * dy2 < dy1 * dx2) return -1;
  if (dx1 * dx2 < 0.0 || dy1 * dy2 < 0.0) return -1;
  if (dx1 * dx1 + dy1 * dy1 < dx2 * dx2 + dy2 * dy2) return 1;
  return 0;
}

int geo2dSegmentsCross(const Seg2* s, const Seg2* t) {
  const double sMinX = std::fmin(s->x0, s->x1), sMaxX = std::fmax(s->x0, s->x1);
  const double sMinY = std::fmin(s->y0, s->y1), sMaxY = std::fmax(s->y0, s->y1);
  const double tMinX = std::fmin(t->x0, t->x1), tMaxX = std::fmax(t->x0, t->x1);
  const double tMinY = std::fmin(t->y0, t->y1), tMaxY = std::fmax(t->y0, t->y1);
  if (sMaxX < tMinX || tMaxX < sMinX || sMaxY < tMinY || tMaxY < sMinY) return 0;
  const Vec2d s0 = seg2Start(*s), s1 = seg2End(*s), t0 = seg2Start(*t), t1 = seg2End(*t);
  if (geo2dCcw(&s0, &s1, &t0) * geo2dCcw(&s0, &s1, &t1) > 0) return 0;
  if (geo2dCcw(&t0, &t1, &s0) * geo2dCcw(&t0, &t1, &s1) > 0) return 0;
  return 1;
}
