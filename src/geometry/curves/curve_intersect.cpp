#include "geometry/curves/curve_intersect.h"

#include <cmath>

#include "geometry/primitives/intersect3d.h"

namespace {

Vec3d pointAt(const CurveRec* c, int i) {
  return {c->points[i].x, c->points[i].y, c->z != nullptr ? c->z[i] : 0.0};
}

double distance(const Vec3d& a, const Vec3d& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}

}  // namespace

int curveIntersectPlane(const CurveRec* curve, const Vec3d* p, const Vec3d* normal, Vec3d* out) {
  if (curve == nullptr) return 0;
  bool hit = false;
  double best = 0.0;
  for (int i = 1; i < curve->count; ++i) {
    const Vec3d seg[2] = {pointAt(curve, i - 1), pointAt(curve, i)};
    Vec3d q{};
    if (seg3IntersectPlane(p, normal, seg, &q) != 1) continue;
    const double d = distance(q, *p);
    if (!hit || d < best) {
      hit = true;
      best = d;
      *out = q;
    }
  }
  if (hit) return 1;
  // The tangents come first: they fail on a curve of fewer than two points
  // before any of its points is read.
  Vec3d t0{}, t1{};
  if (curveTangentAt3d(curve, curve->t0, &t0) != 1) return 0;
  if (curveTangentAt3d(curve, curve->t1, &t1) != 1) return 0;
  const int n = curve->count;
  const Vec3d first = pointAt(curve, 0);
  const Vec3d last = pointAt(curve, n - 1);
  const double e = kCurvePlaneExtension;
  const Vec3d startSeg[2] = {pointAt(curve, 1),
                             {first.x - e * t0.x, first.y - e * t0.y, first.z - e * t0.z}};
  const Vec3d endSeg[2] = {pointAt(curve, n - 2),
                           {last.x + e * t1.x, last.y + e * t1.y, last.z + e * t1.z}};
  Vec3d qs{}, qe{};
  const bool hs = seg3IntersectPlane(p, normal, startSeg, &qs) == 1;
  const bool he = seg3IntersectPlane(p, normal, endSeg, &qe) == 1;
  if (!hs && !he) return 0;
  if (hs && (!he || distance(qs, *p) < distance(qe, *p))) {
    *out = qs;
  } else {
    *out = qe;
  }
  return 1;
}
