#include "geometry/curves/bezier_link.h"

#include <cmath>
#include <cstdlib>

#include "base/messages.h"
#include "geometry/curves/curve.h"
#include "geometry/curves/spline3d.h"

namespace {

// Directions shorter than this give no link.
constexpr double kDirTol = 0.00001;
// Flatness: squared cross products and chords below this count as straight.
constexpr double kFlatTol = 0.00001;
// Links shorter than this share of the stepover are not made.
constexpr double kMinLinkShare = 0.01;
// Links longer than this many stepovers are refused.
constexpr double kMaxLinkStepovers = 6.0;
// Chord tolerance of the link polyline.
constexpr double kLinkTolerance = 0.01;
// First room of the approximation's output.
constexpr int kFirstRoom = 51;
constexpr int kMsgLevel = 9;
constexpr int kMsgNoMemory = 2;
constexpr int kTraceLevel = 3;

double gStepover = 0.0;

Vec3d sub(const Vec3d& a, const Vec3d& b) { return Vec3d{a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3d add(const Vec3d& a, const Vec3d& b) { return Vec3d{a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3d scale(const Vec3d& a, double f) { return Vec3d{a.x * f, a.y * f, a.z * f}; }
double dot(const Vec3d& a, const Vec3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double norm(const Vec3d& a) { return std::sqrt(dot(a, a)); }
Vec3d cross(const Vec3d& a, const Vec3d& b) {
  return Vec3d{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

struct Piece {
  Vec3d a, b;
  double ua, ub;
  int depth;
};

}  // namespace

void curveLinkSetStepover(double stepover) { gStepover = stepover; }

Spline3dRec* bezierLinkSpline(const Vec3d* start, const Vec3d* before, const Vec3d* end,
                              const Vec3d* after, double h) {
  const Vec3d pd = sub(*start, *before);
  Vec3d sd = sub(*end, *after);
  const double lp = norm(pd);
  const double ls = norm(sd);
  if (lp < kDirTol || ls < kDirTol) return nullptr;
  const Vec3d p = scale(pd, 1.0 / lp);
  Vec3d s = scale(sd, 1.0 / ls);
  // Leaving and arriving the same way would divide by zero: arrive the other
  // way round.
  if (norm(add(s, p)) < kDirTol) s = scale(s, -1.0);
  const double v = 8.0 * h / (3.0 * norm(add(s, p)));
  const Vec3d c1 = add(*start, scale(p, v));
  const Vec3d c2 = add(*end, scale(s, v));
  return spline3dFromCubic(start, &c1, &c2, end, 1.0);
}

int curveApproxFlat(const Vec3d* a, const Vec3d* m, const Vec3d* b, double tolerance,
                    double* ratio) {
  const Vec3d u = sub(*m, *a);
  const Vec3d w = sub(*b, *m);
  if (dot(u, w) < 0) return 0;
  const Vec3d c = cross(u, w);
  const double f = dot(c, c);
  if (f < kFlatTol) return 1;
  const Vec3d uw = add(u, w);
  const double q = dot(uw, uw);
  if (q < kFlatTol) return 1;
  if (ratio != nullptr) *ratio = std::sqrt(f / q);
  return tolerance * tolerance * q >= f ? 1 : 0;
}

int curve3DApprox(const Spline3dRec* spline, double tolerance, Vec3d** points, int* count) {
  msgTraceReal(kTraceLevel, "* curve3DApprox: start", 0.0);
  *points = nullptr;
  *count = 0;
  if (spline == nullptr || spline->segCount <= 0) return 0;
  int room = kFirstRoom;
  auto* out = static_cast<Vec3d*>(std::malloc(sizeof(Vec3d) * static_cast<std::size_t>(room)));
  if (out == nullptr) {
    msgNumberedReal(kMsgLevel, kMsgNoMemory, "* Error: no memory", 0.0);
    return -1;
  }
  msgTraceInt(kTraceLevel, "* curve3DApprox: %10d", room);
  int n = 0;
  spline3dSegEval(&spline->segs[0], 0.0, &out[n++]);
  // The stack holds at most one piece per depth plus the one being split.
  Piece stack[kBezierMaxDepth + 2];
  for (int k = 0; k < spline->segCount; ++k) {
    const Spline3dSeg& seg = spline->segs[static_cast<std::size_t>(k)];
    int top = 0;
    spline3dSegEval(&seg, 0.0, &stack[0].a);
    spline3dSegEval(&seg, 1.0, &stack[0].b);
    stack[0].ua = 0.0;
    stack[0].ub = 1.0;
    stack[0].depth = 0;
    while (top >= 0) {
      Piece& piece = stack[top];
      const double um = 0.5 * (piece.ua + piece.ub);
      Vec3d m;
      spline3dSegEval(&seg, um, &m);
      double ratio = 0.0;
      const bool deep = piece.depth >= kBezierMaxDepth;
      if (deep || curveApproxFlat(&piece.a, &m, &piece.b, tolerance, &ratio) == 1) {
        if (deep) {
          msgTraceReal(kMsgLevel, "* Warning: converting spline to polyline: Stack Overflow", 0.0);
        }
        if (n == room) {
          const int grown = room * 2;
          msgTraceReal(kTraceLevel, "*  curveApprox: realloc", 0.0);
          auto* bigger = static_cast<Vec3d*>(
              std::realloc(out, sizeof(Vec3d) * static_cast<std::size_t>(grown)));
          if (bigger == nullptr) {
            std::free(out);
            msgNumberedReal(kMsgLevel, kMsgNoMemory, "* Error: no memory", 0.0);
            return -1;
          }
          out = bigger;
          room = grown;
        }
        out[n++] = piece.b;
        --top;
        continue;
      }
      // Second half stays, first half on top: points come out in order.
      const Piece first{piece.a, m, piece.ua, um, piece.depth + 1};
      piece = Piece{m, piece.b, um, piece.ub, piece.depth + 1};
      stack[++top] = first;
    }
  }
  *points = out;
  *count = n;
  msgTraceInt(kTraceLevel, "* curve3DApprox: %10d", n);
  return 0;
}

int polyLengthWithin(const Vec3d* points, int count, double limit, double* length) {
  double sum = 0.0;
  for (int i = 1; i < count; ++i) {
    sum += norm(sub(points[i], points[i - 1]));
    if (sum > limit) {
      if (length != nullptr) *length = sum;
      return -1;
    }
  }
  if (length != nullptr) *length = sum;
  return 0;
}

int curveLinkPolyline(const Vec3d* start, const Vec3d* before, const Vec3d* end, const Vec3d* after,
                      double h, double tolerance, Vec3d** points, int* count) {
  *points = nullptr;
  *count = 0;
  Spline3dRec* spline = bezierLinkSpline(start, before, end, after, h);
  if (spline == nullptr) return -1;
  Vec3d* pts = nullptr;
  int n = 0;
  const int r = curve3DApprox(spline, tolerance, &pts, &n);
  spline3dFree(spline);
  if (r != 0) return -1;
  double length = 0.0;
  if (polyLengthWithin(pts, n, norm(sub(*start, *end)) + 2.0 * h, &length) != 0) {
    std::free(pts);
    return -1;
  }
  *points = pts;
  *count = n;
  return 0;
}

int curveLinkLengthOk(const CurveRec* link, const Vec3d* /*start*/, const Vec3d* /*end*/) {
  if (std::fabs(gStepover) < kDirTol) return 1;
  return curveLength3d(link) <= kMaxLinkStepovers * gStepover ? 1 : 0;
}

CurveRec* curveLinkCreate(const Vec3d* start, const Vec3d* before, const Vec3d* end,
                          const Vec3d* after, int dip) {
  const double d = norm(sub(*start, *end));
  if (d < kMinLinkShare * gStepover) return nullptr;
  const double h = 0.5 * d;
  Vec3d* pts = nullptr;
  int n = 0;
  if (curveLinkPolyline(start, before, end, after, h, kLinkTolerance, &pts, &n) != 0) {
    return nullptr;
  }
  CurveRec* link = curveNewOwned(n, kCurveKindPolyline, true);
  if (link == nullptr) {
    std::free(pts);
    return nullptr;
  }
  const int m = (n - 1) / 2;
  for (int i = 0; i < n; ++i) {
    link->points[i] = Vec2d{pts[i].x, pts[i].y};
    double z = pts[i].z;
    if (dip && m != 0) z -= h * (i <= m ? i : n - 1 - i) / m;
    link->z[i] = z;
  }
  std::free(pts);
  curveUpdateLengths(link);
  if (curveLinkLengthOk(link, start, end) == 0) {
    curveFree(link);
    return nullptr;
  }
  return link;
}
