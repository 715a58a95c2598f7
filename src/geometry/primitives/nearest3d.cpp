#include "geometry/primitives/nearest3d.h"

#include <algorithm>
#include <cmath>

#include "base/tolerances.h"

namespace {

double planDist(const Vec3d& a, const Vec3d& b) { return std::hypot(b.x - a.x, b.y - a.y); }

double spaceDist(const Vec3d& a, const Vec3d& b) {
  return std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) +
                   (b.z - a.z) * (b.z - a.z));
}

// The nearer end (b on a tie) by the given distance.
template <typename Dist>
double nearerEnd(const Vec3d* a, const Vec3d* b, const Vec3d* p, Vec3d* out, Dist dist) {
  const double da = dist(*a, *p);
  const double db = dist(*b, *p);
  if (da < db) {
    *out = *a;
    return da;
  }
  *out = *b;
  return db;
}

template <typename Nearest>
double arrayNearest(const Vec3d* pts, int count, const Vec3d* p, Vec3d* out, int* index,
                    Nearest nearest) {
  double best = kGeoFarDistance;
  *index = -1;
  for (int i = 1; i < count; ++i) {
    Vec3d q{};
    const double d = nearest(&pts[i - 1], &pts[i], p, &q);
    if (i == 1 || d < best) {
      best = d;
      *out = q;
      *index = i;
    }
  }
  return best;
}

}  // namespace

double seg3NearestPoint(const Vec3d* a, const Vec3d* b, const Vec3d* p, Vec3d* out) {
  const double len = spaceDist(*a, *b);
  if (len >= kGeoEqualTol) {
    const Vec3d u{(b->x - a->x) / len, (b->y - a->y) / len, (b->z - a->z) / len};
    const Vec3d v{p->x - a->x, p->y - a->y, p->z - a->z};
    const double t = v.x * u.x + v.y * u.y + v.z * u.z;
    if (t >= 0.0 && t <= len) {
      *out = {a->x + t * u.x, a->y + t * u.y, a->z + t * u.z};
      const double ap2 = v.x * v.x + v.y * v.y + v.z * v.z;
      return std::sqrt(std::max(0.0, ap2 - t * t));
    }
  }
  return nearerEnd(a, b, p, out, spaceDist);
}

double seg3NearestPointXY(const Vec3d* a, const Vec3d* b, const Vec3d* p, Vec3d* out) {
  const double len = planDist(*a, *b);
  if (len >= kGeoEqualTol) {
    const double t = ((p->x - a->x) * (b->x - a->x) + (p->y - a->y) * (b->y - a->y)) / len;
    if (t >= 0.0 && t <= len) {
      const double f = t / len;
      *out = {a->x + f * (b->x - a->x), a->y + f * (b->y - a->y), a->z + f * (b->z - a->z)};
      return planDist(*out, *p);
    }
  }
  return nearerEnd(a, b, p, out, planDist);
}

double seg3DistanceXY(const Vec3d* a, const Vec3d* b, const Vec3d* c, const Vec3d* d) {
  Vec3d q{};
  return std::min({seg3NearestPointXY(a, b, c, &q), seg3NearestPointXY(a, b, d, &q),
                   seg3NearestPointXY(c, d, a, &q), seg3NearestPointXY(c, d, b, &q)});
}

double vec3ArrayNearestPoint(const Vec3d* pts, int count, const Vec3d* p, Vec3d* out, int* index) {
  if (count == 1) {
    *out = pts[0];
    *index = 0;
    return spaceDist(pts[0], *p);
  }
  return arrayNearest(pts, count, p, out, index, seg3NearestPoint);
}

double vec3ArrayNearestPointXY(const Vec3d* pts, int count, const Vec3d* p, Vec3d* out,
                               int* index) {
  if (count == 1) {
    *out = pts[0];
    *index = 1;
    return planDist(pts[0], *p);
  }
  return arrayNearest(pts, count, p, out, index, seg3NearestPointXY);
}
