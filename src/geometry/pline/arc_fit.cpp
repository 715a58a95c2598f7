#include "geometry/pline/arc_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// Radius limits of one fit.
struct ArcfitLimits {
  double rMin;
  double rMax;
};

ArcfitLimits arcfitLimits(double rMin, double rMax) {
  ArcfitLimits l;
  l.rMin = std::max(rMin, kArcfitMinRadius);
  l.rMax = rMax > l.rMin ? rMax : 2 * l.rMin;
  return l;
}

// Radial spread (half of largest minus smallest distance to the centre) and
// mean radius of the points s..e.
struct ArcfitSpread {
  double spread;
  double radius;
};

ArcfitSpread arcfitRadialSpread(const PathPoint* p, int s, int e, Vec2d c) {
  double lo = std::numeric_limits<double>::max(), hi = 0, sum = 0;
  for (int k = s; k <= e; ++k) {
    const double d = std::hypot(p[k].x - c.x, p[k].y - c.y);
    lo = std::min(lo, d);
    hi = std::max(hi, d);
    sum += d;
  }
  return {(hi - lo) / 2, sum / (e - s + 1)};
}

// Pattern search for the centre on the perpendicular bisector of the chord
// s -> e: from the chord's midpoint, step along the bisector to whichever
// neighbour lowers the radial spread, halving the step when neither does.
// False for a zero chord (no bisector).
bool arcfitFindCentre(const PathPoint* p, int s, int e, Vec2d* centre, ArcfitSpread* best) {
  double nx = p[s].y - p[e].y, ny = p[e].x - p[s].x;
  const double len = std::hypot(nx, ny);
  if (!(len > 0)) return false;
  double step = kArcfitCentreStep;
  nx *= step / len;
  ny *= step / len;
  Vec2d c{(p[s].x + p[e].x) / 2, (p[s].y + p[e].y) / 2};
  ArcfitSpread cur = arcfitRadialSpread(p, s, e, c);
  for (int it = 0; it < kArcfitCentreIterations; ++it) {
    const Vec2d cp{c.x + nx, c.y + ny}, cm{c.x - nx, c.y - ny};
    const ArcfitSpread sp = arcfitRadialSpread(p, s, e, cp);
    const ArcfitSpread sm = arcfitRadialSpread(p, s, e, cm);
    if (sp.spread < cur.spread && sp.spread <= sm.spread) {
      c = cp;
      cur = sp;
    } else if (sm.spread < cur.spread) {
      c = cm;
      cur = sm;
    } else {
      if (step <= kArcfitCentreMinStep) break;
      step /= 2;
      nx /= 2;
      ny /= 2;
    }
  }
  *centre = c;
  *best = cur;
  return true;
}

// Whether the chords of s..e bend like one arc of radius r within tol.
bool arcfitCheckArc(const PathPoint* p, int s, int e, double r, double tol) {
  double sagitta = 0, total = 0, shortest = std::numeric_limits<double>::max();
  double wMin = std::numeric_limits<double>::max(), wMax = -wMin;
  double ux0 = 0, uy0 = 0;
  for (int k = s; k < e; ++k) {
    const double dx = p[k + 1].x - p[k].x, dy = p[k + 1].y - p[k].y;
    const double c = std::hypot(dx, dy);
    // A repeated point has no direction: no arc runs over it.
    if (!(c > 0)) return false;
    const double ratio = c < 2 * r ? 1 - std::sqrt(1 - (c / (2 * r)) * (c / (2 * r))) : 1.0;
    sagitta = std::max(sagitta, ratio);
    total += c;
    shortest = std::min(shortest, c);
    const double ux = dx / c, uy = dy / c;
    if (k > s) {
      if (ux0 * ux + uy0 * uy < kArcfitMinChordCos) return false;
      const double w = ux0 * uy - uy0 * ux;
      wMin = std::min(wMin, w);
      wMax = std::max(wMax, w);
    }
    ux0 = ux;
    uy0 = uy;
  }
  // The turns must stand out from what the tolerance allows a straight run.
  const double E = std::atan2(2 * tol, shortest);
  const double F = 0.2 * (total / r) / (e - s);
  const double H = std::sin(F - std::min(E, F));
  if (H >= std::fabs(wMin) || H >= std::fabs(wMax)) return false;
  if (std::max(std::fabs(wMin), std::fabs(wMax)) > kArcfitMaxTurn) return false;
  if (r * sagitta > tol) return false;
  if (total > kArcfitMaxSweep * r) return false;
  return true;
}

bool arcfitTryArc(const PathPoint* p, int s, int e, double tol, const ArcfitLimits& limits,
                  Vec2d* centre) {
  ArcfitSpread sp{};
  if (!arcfitFindCentre(p, s, e, centre, &sp)) return false;
  if (sp.spread > tol) return false;
  if (sp.radius < limits.rMin || sp.radius > limits.rMax) return false;
  return arcfitCheckArc(p, s, e, sp.radius, tol);
}

// '+' when the arc turns counter-clockwise around c, judged from point s and
// a point a quarter of the way along.
char arcfitDirection(const PathPoint* p, int s, int e, Vec2d c) {
  const int m = s + std::max(2, (e - s) / 4);
  const double sx = p[s].x - c.x, sy = p[s].y - c.y;
  const double mx = p[m].x - c.x, my = p[m].y - c.y;
  return sx * my - sy * mx >= 0 ? kPtKindArcCcw : kPtKindArcCw;
}

void arcfitMarkArc(PathPoint* p, int s, int e, Vec2d c) {
  p[s].kind = arcfitDirection(p, s, e, c);
  p[s].arcBegin = kPtMarkYes;
  p[s + 1].x = c.x;
  p[s + 1].y = c.y;
  p[e].arcEnd = kPtMarkYes;
}

}  // namespace

PathPoint* arcfitAllocPoints(int count) {
  if (count < 0) return nullptr;
  auto* p =
      static_cast<PathPoint*>(std::calloc(static_cast<std::size_t>(count) + 1, sizeof(PathPoint)));
  if (p == nullptr) return nullptr;
  for (int i = 0; i < count; ++i) {
    p[i].kind = kPtKindPath;
    p[i].arcBegin = kPtMarkNo;
    p[i].arcEnd = kPtMarkNo;
  }
  return p;
}

PathPoint* arcfitMakePoints(const Vec2d* xy, int count) {
  if (xy == nullptr && count > 0) return nullptr;
  PathPoint* p = arcfitAllocPoints(count);
  if (p == nullptr) return nullptr;
  for (int i = 0; i < count; ++i) {
    p[i].x = xy[i].x;
    p[i].y = xy[i].y;
  }
  return p;
}

void arcfitFreePoints(PathPoint* points) { std::free(points); }

int arcfitGrowArcs(PathPoint* points, int count, double tol, double rMin, double rMax) {
  if (points == nullptr || count < 4) return 0;
  const ArcfitLimits limits = arcfitLimits(rMin, rMax);
  const int last = count - 1;
  int s = 0, e = 3;
  bool open = false, marked = false;
  Vec2d kept{0, 0};
  for (;;) {
    Vec2d c{0, 0};
    if (arcfitTryArc(points, s, e, tol, limits, &c)) {
      if (e >= last) {
        arcfitMarkArc(points, s, e, c);
        marked = true;
        break;
      }
      kept = c;
      open = true;
      ++e;
    } else if (open) {
      arcfitMarkArc(points, s, e - 1, kept);
      marked = true;
      s = e - 1;
      e = s + 3;
      open = false;
      if (e > last) break;
    } else {
      if (e >= last) break;
      ++s;
      ++e;
    }
  }
  return marked ? 1 : 0;
}

int arcfitThinRuns(PathPoint* points, int count, double tol, double maxLen) {
  if (points == nullptr || count < 3) return 0;
  int dropped = 0;
  int start = 0;
  while (start < count) {
    int len = 0;
    const int i = ptFindRun(points, count, start, &len);
    if (i < 0) break;
    if (ptThinBlocks(tol, maxLen, points + i, len) == 0) dropped = 1;
    start = i + len;
  }
  return dropped;
}

int arcfitRun(PathPoint* points, int count, double tol, double rMin, double rMax, double maxLen) {
  const int arcs = arcfitGrowArcs(points, count, tol, rMin, rMax);
  const int thinned = arcfitThinRuns(points, count, tol, maxLen);
  return arcs || thinned ? 1 : 0;
}

int arcfitFirstPoint(const PathPoint* points, int count, double* x, double* y, double* z) {
  if (points == nullptr || count <= 0) return -1;
  *x = points[0].x;
  *y = points[0].y;
  *z = points[0].z;
  return 0;
}

int arcfitNextElement(int i, const PathPoint* points, int count, int* type, double* x, double* y,
                      double* z, double* cx, double* cy) {
  *type = -1;
  if (points == nullptr || i < 0 || i >= count - 1) return -1;
  int j;
  if (points[i].arcBegin == kPtMarkYes) {
    j = i + 2;
    while (j < count && points[j].arcEnd != kPtMarkYes) ++j;
    if (j >= count) return -1;  // marks out of step: no end
    *type = points[i].kind == kPtKindArcCw ? kArcfitArcCw : kArcfitArcCcw;
    *cx = points[i + 1].x;
    *cy = points[i + 1].y;
  } else {
    j = i + 1;
    while (j < count && points[j].kind == kPtKindDropped) ++j;
    if (j >= count) return -1;
    *type = kArcfitLine;
  }
  *x = points[j].x;
  *y = points[j].y;
  *z = points[j].z;
  return j;
}
