#include "geometry/frame/working_frame.h"

#include <cmath>
#include <cstring>

#include "base/tolerances.h"

namespace {

// Degrees to radians, as the frame has always converted them.
constexpr double kFrameDegToRad = 0.017453292519943295;

constexpr Mat4 kIdentity = {
    {{1.0, 0.0, 0.0, 0.0}, {0.0, 1.0, 0.0, 0.0}, {0.0, 0.0, 1.0, 0.0}, {0.0, 0.0, 0.0, 1.0}}};

constexpr WorkingFrame kInitialFrame = {1.0,       kIdentity, kIdentity, kIdentity,
                                        kIdentity, kIdentity, kIdentity, 0};

// The frame of the process.  Written only on the cycle thread between runs'
// parallel regions (see the header), so plain reads from workers are safe.
WorkingFrame gFrame = kInitialFrame;

void setSystem(Mat4* target, const Vec3d* origin, const Vec3d* x, const Vec3d* y, const Vec3d* z) {
  Mat4 axes;
  Mat4 shift;
  mat4FromAxes(x, y, z, &axes);
  mat4FromTranslation(origin, &shift);
  mat4Multiply(&axes, &shift, target);
}

}  // namespace

const WorkingFrame& frameCurrent() { return gFrame; }

void frameReset() { gFrame = kInitialFrame; }

void frameSetNcSystem(const Vec3d* origin, const Vec3d* x, const Vec3d* y, const Vec3d* z) {
  setSystem(&gFrame.frameNcMat, origin, x, y, z);
}

void frameSetToolSystem(const Vec3d* origin, const Vec3d* x, const Vec3d* y, const Vec3d* z) {
  setSystem(&gFrame.frameToolMat, origin, x, y, z);
}

void frameRotateTool(double degrees) {
  Mat4 rz;
  mat4FromRotation(kMat4RotXToY, degrees * kFrameDegToRad, &rz);
  mat4Multiply(&rz, &gFrame.frameToolMat, &gFrame.frameToolMat);
}

int frameActivate() {
  gFrame.frameScale = 1.0;
  gFrame.frameActive = 0;
  if (mat4Invert(&gFrame.frameToolMat, &gFrame.frameToolInv) != 0) return -1;
  if (mat4Invert(&gFrame.frameNcMat, &gFrame.frameNcInv) != 0) return -1;
  mat4Multiply(&gFrame.frameToolMat, &gFrame.frameNcInv, &gFrame.frameToolToNcMat);
  mat4Multiply(&gFrame.frameNcMat, &gFrame.frameToolInv, &gFrame.frameNcToToolMat);
  gFrame.frameActive = 1;
  return 1;
}

int frameSetFromDirection(const Vec3d* d) {
  const double len = std::sqrt(d->x * d->x + d->y * d->y + d->z * d->z);
  if (!(len >= kGeoEqualTol) || !std::isfinite(len)) return -1;
  const Vec3d z{d->x / len, d->y / len, d->z / len};
  Vec3d u = (std::fabs(z.x) < kGeoEqualTol && std::fabs(z.y) < kGeoEqualTol)
                ? Vec3d{0.0, -z.z, z.y}
                : Vec3d{-z.y, z.x, 0.0};
  const double ulen = std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z);
  if (!(ulen >= kGeoEqualTol)) return -1;
  u = {u.x / ulen, u.y / ulen, u.z / ulen};
  Vec3d v;
  if (vec3UnitCross(&z, &u, &v) != 0) return -1;
  const Vec3d origin{0.0, 0.0, 0.0};
  frameSetNcSystem(&origin, &u, &v, &z);
  frameSetToolSystem(&origin, &u, &v, &z);
  return frameActivate() < 0 ? -1 : 1;
}

int frameScaleMultiply(double f) {
  const double scale = gFrame.frameScale * f;
  // The maps to world and NC coordinates divide by the scale: a zero (or
  // subnormal, infinite, NaN) scale would turn every point into inf or NaN.
  if (!std::isnormal(scale)) return -1;
  gFrame.frameScale = scale;
  return 1;
}

int frameSystemsEqual() { return mat4Equal(&gFrame.frameToolMat, &gFrame.frameNcMat); }

int frameToolAxisDiffers() {
  for (int j = 0; j < 3; ++j) {
    if (!(std::fabs(gFrame.frameToolMat.m[2][j] - gFrame.frameNcMat.m[2][j]) < kGeoEqualTol)) {
      return 1;
    }
  }
  return 0;
}

void framePtWorldToTool(Vec3d* p) {
  Vec3d q;
  mat4ApplyPoint(p, &gFrame.frameToolInv, &q);
  const double s = gFrame.frameScale;
  *p = {q.x * s, q.y * s, q.z * s};
}

void framePtToolToWorld(Vec3d* p) {
  const double s = gFrame.frameScale;
  const Vec3d q{p->x / s, p->y / s, p->z / s};
  mat4ApplyPoint(&q, &gFrame.frameToolMat, p);
}

void framePtToolToNc(Vec3d* p) {
  const double s = gFrame.frameScale;
  // Unscaled through the identity, the product below is each finite
  // coordinate plus +0 (which only turns -0 into +0): the same values
  // without the arithmetic.  Most jobs' tool and NC systems coincide.
  if (s == 1.0 && std::memcmp(&gFrame.frameToolToNcMat, &kIdentity, sizeof kIdentity) == 0) {
    *p = {p->x + 0.0, p->y + 0.0, p->z + 0.0};
    return;
  }
  const Vec3d q{p->x / s, p->y / s, p->z / s};
  mat4ApplyPoint(&q, &gFrame.frameToolToNcMat, p);
}

void framePtNcToTool(Vec3d* p) {
  Vec3d q;
  mat4ApplyPoint(p, &gFrame.frameNcToToolMat, &q);
  const double s = gFrame.frameScale;
  *p = {q.x * s, q.y * s, q.z * s};
}
