#include "geometry/primitives/intersect3d.h"

#include <cmath>

#include "base/tolerances.h"
#include "geometry/primitives/mat4.h"
#include "geometry/primitives/nearest3d.h"
#include "geometry/primitives/primitives.h"

namespace {

double dot(const Vec3d& a, const Vec3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3d sub(const Vec3d& a, const Vec3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3d cross(const Vec3d& a, const Vec3d& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double norm(const Vec3d& a) { return std::sqrt(dot(a, a)); }

// Unit vector of v, false when v is shorter than kGeoEqualTol.
bool unit(const Vec3d& v, Vec3d* out) {
  const double l = norm(v);
  if (l < kGeoEqualTol) return false;
  *out = {v.x / l, v.y / l, v.z / l};
  return true;
}

}  // namespace

int seg3IntersectPlane(const Vec3d* p, const Vec3d* normal, const Vec3d seg[2], Vec3d* out) {
  const Vec3d d = sub(seg[1], seg[0]);
  const double len = norm(d);
  if (len < kGeoEqualTol) return 0;
  const Vec3d u{d.x / len, d.y / len, d.z / len};
  const double o = dot(u, *normal);
  if (std::fabs(o) < kGeoEqualTol) return 0;
  const double t = dot(sub(*p, seg[0]), *normal) / o;
  if (t < -kGeoEqualTol || t > len + kGeoEqualTol) return 0;
  *out = {seg[0].x + t * u.x, seg[0].y + t * u.y, seg[0].z + t * u.z};
  return 1;
}

int seg3ClosestPointsCrossing(const Vec3d* a0, const Vec3d* a1, const Vec3d* b0, const Vec3d* b1,
                              Vec3d* onA, Vec3d* onB) {
  Vec3d da{}, db{}, n{}, y{};
  if (!unit(sub(*a1, *a0), &da) || !unit(sub(*b1, *b0), &db)) return 0;
  if (!unit(cross(da, db), &n) || !unit(cross(n, da), &y)) return 0;
  // A frame with origin a0, x along a and z along the common normal: in its
  // x-y plane both segments appear as they look along that normal.
  Mat4 axes{}, shift{}, frame{}, inverse{};
  mat4FromAxes(&da, &y, &n, &axes);
  mat4FromTranslation(a0, &shift);
  mat4Multiply(&axes, &shift, &frame);
  if (mat4Invert(&frame, &inverse) != 0) return -1;
  Vec3d la0{}, la1{}, lb0{}, lb1{};
  mat4ApplyPoint(a0, &inverse, &la0);
  mat4ApplyPoint(a1, &inverse, &la1);
  mat4ApplyPoint(b0, &inverse, &lb0);
  mat4ApplyPoint(b1, &inverse, &lb1);
  const Seg2 sa{la0.x, la0.y, la1.x, la1.y};
  const Seg2 sb{lb0.x, lb0.y, lb1.x, lb1.y};
  Vec2d x{};
  if (seg2Intersect(&sa, &sb, &x) != 1) return 0;
  const Vec3d local{x.x, x.y, 0.0};
  mat4ApplyPoint(&local, &frame, onA);
  seg3NearestPoint(b0, b1, onA, onB);
  return 1;
}

double seg3ClosestPoints(const Vec3d* a0, const Vec3d* a1, const Vec3d* b0, const Vec3d* b1,
                         Vec3d* onA, Vec3d* onB) {
  if (seg3ClosestPointsCrossing(a0, a1, b0, b1, onA, onB) == 1) return norm(sub(*onA, *onB));
  double best = 0.0;
  bool have = false;
  auto consider = [&](const Vec3d& pa, const Vec3d& pb) {
    const double d = norm(sub(pa, pb));
    if (!have || d < best) {
      have = true;
      best = d;
      *onA = pa;
      *onB = pb;
    }
  };
  Vec3d q{};
  seg3NearestPoint(a0, a1, b0, &q);
  consider(q, *b0);
  seg3NearestPoint(a0, a1, b1, &q);
  consider(q, *b1);
  seg3NearestPoint(b0, b1, a0, &q);
  consider(*a0, q);
  seg3NearestPoint(b0, b1, a1, &q);
  consider(*a1, q);
  return best;
}
