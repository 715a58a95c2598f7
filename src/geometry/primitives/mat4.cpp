#include "geometry/primitives/mat4.h"

#include <cmath>

#include "base/tolerances.h"
#include "geometry/primitives/primitives.h"

namespace {

double dot3(const Vec3d& a, const Vec3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3d cross3(const Vec3d& a, const Vec3d& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Rotates the local point l about the local z axis by angle.
Vec3d rotateAboutLocalZ(const Vec3d& l, double angle) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  return {l.x * c - l.y * s, l.x * s + l.y * c, l.z};
}

}  // namespace

Mat4* mat4Identity(Mat4* m) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) m->m[i][j] = (i == j) ? 1.0 : 0.0;
  }
  return m;
}

int mat4Equal(const Mat4* a, const Mat4* b) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      if (!(std::fabs(a->m[i][j] - b->m[i][j]) < kGeoEqualTol)) return 0;
    }
  }
  return 1;
}

void mat4FromAxes(const Vec3d* x, const Vec3d* y, const Vec3d* z, Mat4* out) {
  const Vec3d rows[3] = {*x, *y, *z};  // copies: out may overlap the inputs
  mat4Identity(out);
  for (int i = 0; i < 3; ++i) {
    out->m[i][0] = rows[i].x;
    out->m[i][1] = rows[i].y;
    out->m[i][2] = rows[i].z;
  }
}

void mat4FromTranslation(const Vec3d* t, Mat4* out) {
  const Vec3d o = *t;
  mat4Identity(out);
  out->m[3][0] = o.x;
  out->m[3][1] = o.y;
  out->m[3][2] = o.z;
}

void mat4FromRotation(int axisCode, double angle, Mat4* out) {
  mat4Identity(out);
  int a;
  int b;
  switch (axisCode) {
    case kMat4RotXToY:
      a = 0;
      b = 1;
      break;
    case kMat4RotYToZ:
      a = 1;
      b = 2;
      break;
    case kMat4RotXToZ:
      a = 0;
      b = 2;
      break;
    default:
      return;
  }
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  out->m[a][a] = c;
  out->m[a][b] = s;
  out->m[b][a] = -s;
  out->m[b][b] = c;
}

void mat4ApplyPoint(const Vec3d* p, const Mat4* m, Vec3d* out) {
  const Vec3d v = *p;
  const auto& e = m->m;
  *out = {v.x * e[0][0] + v.y * e[1][0] + v.z * e[2][0] + e[3][0],
          v.x * e[0][1] + v.y * e[1][1] + v.z * e[2][1] + e[3][1],
          v.x * e[0][2] + v.y * e[1][2] + v.z * e[2][2] + e[3][2]};
}

void mat4Copy(Mat4* dst, const Mat4* src) { *dst = *src; }

void mat4Multiply(const Mat4* a, const Mat4* b, Mat4* c) {
  Mat4 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double s = 0.0;
      for (int k = 0; k < 4; ++k) s += a->m[i][k] * b->m[k][j];
      r.m[i][j] = s;
    }
  }
  *c = r;
}

int mat4Invert(const Mat4* m, Mat4* inv) {
  // Gauss-Jordan without row exchanges: a small pivot is repaired by adding a
  // lower row, so the row order (and with it the rounding) stays that of the
  // plain elimination for the well-conditioned frames this library builds.
  Mat4 a = *m;
  Mat4 r;
  mat4Identity(&r);
  for (int i = 0; i < 4; ++i) {
    if (!(std::fabs(a.m[i][i]) >= kGeoEqualTol)) {
      int k = i + 1;
      while (k < 4 && !(std::fabs(a.m[k][i]) >= kGeoEqualTol)) ++k;
      if (k == 4) return -1;
      for (int j = 0; j < 4; ++j) {
        a.m[i][j] += a.m[k][j];
        r.m[i][j] += r.m[k][j];
      }
    }
    const double pivot = a.m[i][i];
    for (int j = 0; j < 4; ++j) {
      a.m[i][j] /= pivot;
      r.m[i][j] /= pivot;
    }
    for (int k = 0; k < 4; ++k) {
      if (k == i) continue;
      const double f = a.m[k][i];
      for (int j = 0; j < 4; ++j) {
        a.m[k][j] -= f * a.m[i][j];
        r.m[k][j] -= f * r.m[i][j];
      }
    }
  }
  *inv = r;
  return 0;
}

int vec3UnitCross(const Vec3d* a, const Vec3d* b, Vec3d* out) {
  const Vec3d c = cross3(*a, *b);
  const double len = std::sqrt(dot3(c, c));
  if (!(len >= kGeoEqualTol)) {
    *out = c;
    return -1;
  }
  *out = {c.x / len, c.y / len, c.z / len};
  return 0;
}

int vec3TiltToward(Vec3d* out, const Vec3d* v, const Vec3d* target, double angle) {
  const Vec3d from = *v;
  Vec3d n;
  Vec3d w;
  if (vec3UnitCross(&from, target, &n) != 0 || vec3UnitCross(&n, &from, &w) != 0) {
    *out = from;
    return -1;
  }
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  *out = {from.x * c + w.x * s, from.y * c + w.y * s, from.z * c + w.z * s};
  return 0;
}

int vec3TiltTowardClamped(Vec3d* out, const Vec3d* v, const Vec3d* target, double angle) {
  if (angle > geoAcosClamped(dot3(*v, *target))) {
    *out = *target;
    return 1;
  }
  return vec3TiltToward(out, v, target, angle);
}

int vec3RotateAboutAxis(Vec3d* v, const Vec3d* /*point*/, const Vec3d* axis, double angle) {
  Vec3d y;
  Vec3d x;
  if (vec3UnitCross(axis, v, &y) != 0 || vec3UnitCross(&y, axis, &x) != 0) return 0;
  Mat4 f;
  Mat4 fInv;
  mat4FromAxes(&x, &y, axis, &f);
  // The frame is orthogonal, but the axis row is used as given: a very short
  // axis can still leave no usable pivot.
  if (mat4Invert(&f, &fInv) != 0) return 0;
  Vec3d l;
  mat4ApplyPoint(v, &fInv, &l);
  const Vec3d turned = rotateAboutLocalZ(l, angle);
  mat4ApplyPoint(&turned, &f, v);
  return 1;
}

int mat4FromOriginAxis(const Vec3d* origin, const Vec3d* axis, Mat4* m, Mat4* inv) {
  const bool originZero = std::fabs(origin->x) < kGeoEqualTol &&
                          std::fabs(origin->y) < kGeoEqualTol &&
                          std::fabs(origin->z) < kGeoEqualTol;
  const bool axisZ = std::fabs(axis->x) < kGeoEqualTol && std::fabs(axis->y) < kGeoEqualTol &&
                     std::fabs(axis->z - 1.0) < kGeoEqualTol;
  if (originZero && axisZ) {
    mat4Identity(m);
    mat4Identity(inv);
    return 1;
  }
  const Vec3d worldZ{0.0, 0.0, 1.0};
  const Vec3d worldY{0.0, 1.0, 0.0};
  Vec3d y;
  if (vec3UnitCross(axis, &worldZ, &y) != 0 && vec3UnitCross(axis, &worldY, &y) != 0) return -1;
  Vec3d x;
  if (vec3UnitCross(&y, axis, &x) != 0) return -1;
  Mat4 rot;
  Mat4 shift;
  Mat4 frame;
  Mat4 frameInv;
  mat4FromAxes(&x, &y, axis, &rot);
  mat4FromTranslation(origin, &shift);
  mat4Multiply(&rot, &shift, &frame);
  if (mat4Invert(&frame, &frameInv) != 0) return -1;
  *m = frame;
  *inv = frameInv;
  return 1;
}

int ptRotateAboutLine(Vec3d* p, const Vec3d* origin, const Vec3d* axis, double angle) {
  Mat4 m;
  Mat4 inv;
  if (mat4FromOriginAxis(origin, axis, &m, &inv) != 1) return -1;
  Vec3d l;
  mat4ApplyPoint(p, &inv, &l);
  const Vec3d turned = rotateAboutLocalZ(l, angle);
  mat4ApplyPoint(&turned, &m, p);
  return 1;
}
