#include "boundaries/macros/macro_build.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "base/memory.h"

namespace {

constexpr double kTiny = 0.00001;
constexpr double kPi = 3.14159265358979323846;

Vec3d add(const Vec3d& a, const Vec3d& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3d sub(const Vec3d& a, const Vec3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3d scale(const Vec3d& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double len(const Vec3d& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
double len2d(const Vec3d& a) { return std::hypot(a.x, a.y); }
Vec3d cross(const Vec3d& a, const Vec3d& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dist2d(const Vec3d& a, const Vec3d& b) { return std::hypot(b.x - a.x, b.y - a.y); }

// A record with room for capacity points, zeroed, shift direction up.
MacroRec* macroAlloc(int type, int kind, int capacity) {
  auto* m = static_cast<MacroRec*>(memAllocZeroed(sizeof(MacroRec)));
  if (m == nullptr) return nullptr;
  m->points = static_cast<Vec3d*>(memAllocZeroed(sizeof(Vec3d) * static_cast<size_t>(capacity)));
  if (m->points == nullptr) {
    memFree(m);
    return nullptr;
  }
  m->type = type;
  m->kind = kind;
  m->capacity = capacity;
  m->shiftDir = {0, 0, 1};
  return m;
}

bool macroPush(MacroRec* m, const Vec3d& p) {
  if (m->count >= m->capacity) return false;
  m->points[m->count++] = p;
  return true;
}

Vec3d lastPoint(const MacroRec* m) { return m->points[m->count - 1]; }

// Chord length of an arc step; 0 when the step is too small to measure.
double chordLength(double r, double s) {
  if (2.0 * (1.0 - std::cos(s)) <= kTiny) return 0.0;
  return 2.0 * r * std::sin(s / 2.0);
}

// Vertical arc: chords turning upward from the end direction until one
// comes within arcEndAngle of vertical.
void buildVerticalArc(MacroRec* m, const Vec3d& v, double r, const MacroParams* mp) {
  const double lv = len(v);
  if (lv < kTiny) return;
  const double s = mp->stepAngle;
  const double c = chordLength(r, s);
  const Vec3d chord = scale(v, c / lv);
  const double threshold = std::fabs(std::sin(mp->arcEndAngle) * c);
  double h = len2d(chord);
  if (h < kTiny) {
    // A vertical end direction has no plane to turn in: one step of the
    // radius along it.
    macroPush(m, add(m->points[0], scale(v, r / lv)));
    return;
  }
  const Vec3d u = {chord.x / h, chord.y / h, 0.0};
  double g = chord.z;
  while (g < kTiny || h > threshold) {
    const Vec3d last = lastPoint(m);
    if (!macroPush(m, {last.x + h * u.x, last.y + h * u.y, last.z + g})) break;
    if (m->count >= m->capacity) break;
    const double g2 = g * std::cos(s) + h * std::sin(s);
    const double h2 = h * std::cos(s) - g * std::sin(s);
    g = g2;
    h = h2;
  }
}

// Horizontal arc toward side, with its arc description.
void buildHorizontalArc(MacroRec* m, const Vec3d& v, double r, int side, const MacroParams* mp) {
  const double lh = len2d(v);
  if (lh < kTiny) return;
  const Vec3d p = m->points[0];
  const Vec3d u = {v.x / lh, v.y / lh, 0.0};
  const Vec3d n = {-u.y, u.x, 0.0};
  const double s = mp->stepAngle;
  const double c = 2.0 * r * std::sin(s / 2.0);
  const double threshold = std::fabs(std::sin(mp->arcEndAngle) * c);
  const double t = s * side;
  double j = c;
  double k = 0.0;
  while (std::fabs(k) < kTiny || j > threshold) {
    if (m->count >= m->capacity) break;
    const double k2 = k * std::cos(t) + j * std::sin(t);
    const double j2 = j * std::cos(t) - k * std::sin(t);
    k = k2;
    j = j2;
    const Vec3d last = lastPoint(m);
    macroPush(m, {last.x + k * n.x + j * u.x, last.y + k * n.y + j * u.y, p.z});
  }
  MacroKindData& d = m->kindData;
  d.descKind = kMacroDescArc;
  d.turn = side;
  d.radius = r;
  d.pointA = p;
  d.pointB = lastPoint(m);
  const Vec3d normal = side == 1 ? n : Vec3d{u.y, -u.x, 0.0};
  d.pointC = {p.x + r * normal.x, p.y + r * normal.y, p.z};
  const double dx = d.pointB.x - d.pointA.x;
  const double dy = d.pointB.y - d.pointA.y;
  const double dd = std::hypot(dx, dy);
  const double root = r * r - (dd / 2.0) * (dd / 2.0);
  if (dd > 0.0 && root >= 0.0) {
    const double q = std::sqrt(root);
    const Vec3d cn = d.turn > 0 ? Vec3d{-dy / dd, dx / dd, 0.0} : Vec3d{dy / dd, -dx / dd, 0.0};
    d.pointC.x = (d.pointA.x + d.pointB.x) / 2.0 + q * cn.x;
    d.pointC.y = (d.pointA.y + d.pointB.y) / 2.0 + q * cn.y;
  }
}

// Inclined line: v scaled to r and turned upward by a in its vertical plane.
void buildInclinedLine(MacroRec* m, const Vec3d& v, double r, double a) {
  const double lv = len(v);
  if (lv < kTiny) return;
  const Vec3d w = scale(v, r / lv);
  const Vec3d p = m->points[0];
  if (std::fabs(a) < kTiny) {
    macroPush(m, add(p, w));
    return;
  }
  const double h = len2d(w);
  if (h < kTiny) return;
  const double along = h * std::cos(a) - w.z * std::sin(a);
  macroPush(
      m, {p.x + along * w.x / h, p.y + along * w.y / h, p.z + h * std::sin(a) + w.z * std::cos(a)});
}

// Turned line: v scaled to r, its horizontal part turned by a toward side.
void buildTurnedLine(MacroRec* m, const Vec3d& v, double r, double a, int side) {
  const double lv = len(v);
  if (lv < kTiny) return;
  const Vec3d w = scale(v, r / lv);
  const Vec3d p = m->points[0];
  if (std::fabs(a) < kTiny) {
    macroPush(m, add(p, w));
    return;
  }
  const double h = len2d(w);
  if (h < kTiny) return;  // vertical: no plane direction to turn
  const Vec3d u = {w.x / h, w.y / h, 0.0};
  const double t = a * side;
  macroPush(m, {p.x + h * (std::cos(t) * u.x - std::sin(t) * u.y),
                p.y + h * (std::cos(t) * u.y + std::sin(t) * u.x), p.z});
}

// Arc in the plane of v and the normal, stopping within arcEndAngle of it.
void buildNormalArc(MacroRec* m, const Vec3d& v, double r, const Vec3d& normal,
                    const MacroParams* mp) {
  const double lv = len(v);
  if (lv < kTiny) return;
  const double s = mp->stepAngle;
  const double c = chordLength(r, s);
  const Vec3d w = scale(v, c / lv);
  m->shiftDir = normal;
  const Vec3d side = cross(w, normal);
  const double ls = len(side);
  if (ls < kTiny) return;
  const Vec3d up = cross(scale(side, 1.0 / ls), w);
  const double lu = len(up);
  if (lu < kTiny) return;
  const Vec3d e = scale(up, c / lu);
  const double stopCos = std::fabs(std::sin(mp->arcEndAngle));
  double phi = 0.0;
  bool first = true;
  while (std::fabs(std::sin(phi)) < kTiny || std::cos(phi) > stopCos) {
    phi += s;
    if (first) {
      first = false;
      continue;
    }
    if (!macroPush(m, add(lastPoint(m), add(scale(e, std::sin(phi)), scale(w, std::cos(phi))))))
      break;
  }
}

double pendingShiftLength() {
  const double s = macroPendingShift();
  macroSetPendingShift(0.0);
  return s > 0.0 ? s : 0.0;
}

// Helix around the path start, rising by plungeHeight, ending on its axis.
MacroRec* buildHelix(const Vec3d& p, const MacroParams* mp) {
  const double b = mp->approachPlungeAngle;
  const double height = mp->plungeHeight;
  const double s = mp->stepAngle;
  if (std::fabs(b) < kTiny || std::fabs(height) < kTiny || s <= kTiny) return nullptr;
  MacroRec* m = macroAlloc(kMacroApproach, 6, kMacroHelixCapacity);
  if (m == nullptr) return nullptr;
  const double radius = mp->plungeRadius;
  macroPush(m, p);
  macroPush(m, {p.x + radius, p.y, p.z});
  const double t = mp->plungeDirection == 1 ? s : -s;
  const double rise = std::tan(b) * 2.0 * radius * std::sin(s / 2.0);
  const double top = p.z + height;
  double z = p.z;
  double rx = radius;
  double ry = 0.0;
  while (z < top - kTiny) {
    z = std::fmin(z + rise, top);
    const double nx = rx * std::cos(t) - ry * std::sin(t);
    const double ny = rx * std::sin(t) + ry * std::cos(t);
    rx = nx;
    ry = ny;
    if (!macroPush(m, {p.x + rx, p.y + ry, z})) {
      macroFree(m);
      std::fputs("Zu viele Punkte \n", stderr);
      return nullptr;
    }
  }
  if (!macroPush(m, {p.x, p.y, z})) {
    macroFree(m);
    return nullptr;
  }
  m->shiftLength = pendingShiftLength();
  MacroKindData& d = m->kindData;
  d.descKind = kMacroDescHelix;
  d.turn = mp->plungeDirection == 1 ? -1 : 1;
  d.angle = b;
  d.radius = radius;
  d.pointA = m->points[m->count - 2];
  d.pointB = m->points[1];
  d.pointC = p;
  return m;
}

struct RampPoint {
  Vec3d p;
  double l;  // running 2D length of the walk
};

// Appends the walk from its second-last point back to its first.
bool rampMirror(std::vector<RampPoint>* walk) {
  const size_t n = walk->size();
  if (n < 2 || n * 2 > static_cast<size_t>(kPlineCapacityCap)) return false;
  for (size_t i = n - 1; i-- > 0;) {
    const RampPoint& prev = walk->back();
    const Vec3d q = (*walk)[i].p;
    walk->push_back({q, prev.l + dist2d(prev.p, q)});
  }
  return true;
}

// Cuts the walk at running length target, interpolating the last point.
void rampCut(std::vector<RampPoint>* walk, double target) {
  for (size_t i = 1; i < walk->size(); ++i) {
    const RampPoint a = (*walk)[i - 1];
    const RampPoint b = (*walk)[i];
    if (b.l >= target) {
      const double f = b.l > a.l ? (target - a.l) / (b.l - a.l) : 1.0;
      (*walk)[i] = {add(a.p, scale(sub(b.p, a.p), f)), target};
      walk->resize(i + 1);
      return;
    }
  }
}

// Ramp along the path from path point index, rising by the plunge height at
// the plunge angle; forward and back to the start.
MacroRec* buildRamp(const MacroParams* mp, const Pline* path, int index) {
  const double b = mp->approachPlungeAngle;
  const double height = mp->plungeHeight;
  if (path == nullptr || index < 0 || index >= path->count) return nullptr;
  if (std::fabs(b) < kTiny || std::fabs(height) < kTiny) return nullptr;
  int stretchEnd = path->count - 1;
  for (int i = index + 1; i < path->count; ++i) {
    if (pointStatusCode(path->status[i]) == kPointSpecial) {
      stretchEnd = i - 1;
      break;
    }
  }
  if (index >= stretchEnd) return nullptr;
  const Vec3d start = path->points[index];
  const double limit = macroRampLength();
  const bool limited = limit > kTiny;
  std::vector<RampPoint> walk;
  double slope = 0.0;
  if (!limited && std::fabs(b - kPi / 2.0) <= kTiny) {
    walk.push_back({{start.x, start.y, start.z + height}, 0.0});
    walk.push_back({start, 0.0});
  } else {
    slope = std::tan(b);
    if (slope < kTiny) return nullptr;
    const double total = height / slope;
    const double reach = limited ? total : total / 2.0;
    if (plineIsRunEnd(path, index)) return nullptr;
    walk.push_back({start, 0.0});
    for (int i = index + 1; i <= stretchEnd; ++i) {
      const int code = pointStatusCode(path->status[i]);
      if (code == kPointGap) break;
      if (code == kPointDropped) continue;
      const RampPoint& prev = walk.back();
      walk.push_back({path->points[i], prev.l + dist2d(prev.p, path->points[i])});
      if (walk.back().l >= reach - kTiny) break;
      if (limited && walk.back().l > limit) break;
    }
    if (walk.back().l < kTiny) return nullptr;
    // A short stretch is walked back and forth; the doubling is capped so a
    // tiny stretch cannot grow the walk without end.
    while (walk.back().l < reach - kTiny) {
      if (!rampMirror(&walk)) return nullptr;
    }
    rampCut(&walk, reach);
    if (!limited && !rampMirror(&walk)) return nullptr;
  }
  const int n = static_cast<int>(walk.size());
  MacroRec* m = macroAlloc(kMacroApproach, 8, n + 10);
  if (m == nullptr) return nullptr;
  const bool onPath = macroRampOnPath() != 0;
  double base = start.z;
  if (!limited) {
    for (const RampPoint& w : walk) base = std::fmin(base, w.p.z);
  }
  if (slope == 0.0) {
    for (const RampPoint& w : walk) macroPush(m, w.p);
  } else if (limited) {
    for (const RampPoint& w : walk) {
      const double zBase = onPath ? w.p.z : base;
      macroPush(m, {w.p.x, w.p.y, zBase + slope * w.l});
    }
  } else {
    for (int i = n - 1; i >= 0; --i) {
      const RampPoint& w = walk[static_cast<size_t>(i)];
      const double zBase = onPath ? w.p.z : base;
      const double z = i == n - 1 ? zBase : std::fmax(zBase, zBase + height - slope * w.l);
      macroPush(m, {w.p.x, w.p.y, z});
    }
  }
  if (path->axes != nullptr) m->shiftDir = path->axes[index];
  m->shiftLength = pendingShiftLength();
  return m;
}

bool isArcKind(int kind) { return kind == 1 || kind == 3 || kind == 21; }

}  // namespace

MacroRec* macroBuild(int type, const Vec3d& pathEnd, const Vec3d& neighbour,
                     const MacroParams* params, int side, const Pline* path, int index,
                     const Vec3d* extra) {
  if (params == nullptr) return nullptr;
  const bool approach = type == kMacroApproach;
  if (!approach && type != kMacroRetract) return nullptr;
  const int kind = approach ? params->approachKind : params->retractKind;
  const double distance = approach ? params->approachDistance : params->retractDistance;
  if (kind == 100) return nullptr;  // macro files are read by their own reader
  macroSetPendingShift(distance);
  // Arc-shaped kinds step by the step angle; without one they cannot advance.
  if (isArcKind(kind) && params->stepAngle <= kTiny) return nullptr;
  if (approach) {
    if (kind != 8 && params->approachRadius <= kTiny) return nullptr;
    side = -side;
    if (kind == 6) return buildHelix(pathEnd, params);
    if (kind == 8) return buildRamp(params, path, index);
  }
  int capacity = 0;
  switch (kind) {
    case 0:
    case 2:
    case 4:
    case 9:
    case 20:
      capacity = 2;
      break;
    case 1:
    case 3:
    case 21:
      capacity = 2 + static_cast<int>(std::floor(2.0 * kPi / params->stepAngle));
      break;
    default:
      return nullptr;  // no builder for this kind
  }
  MacroRec* m = macroAlloc(type, kind, capacity);
  if (m == nullptr) return nullptr;
  Vec3d v = sub(pathEnd, neighbour);
  const double lv = len(v);
  if (lv >= kTiny) m->endDir = scale(v, 1.0 / lv);
  const double r = approach ? params->approachRadius : params->retractRadius;
  const double a = approach ? params->approachPlungeAngle : params->retractPlungeAngle;
  m->points[0] = pathEnd;
  m->count = 1;
  switch (kind) {
    case 0:
      macroPush(m, {pathEnd.x, pathEnd.y, pathEnd.z + r});
      break;
    case 1:
      buildVerticalArc(m, v, r, params);
      break;
    case 2:
      buildInclinedLine(m, v, r, a);
      break;
    case 3:
      buildHorizontalArc(m, v, r, side, params);
      break;
    case 4:
      buildTurnedLine(m, v, r, a, side);
      break;
    case 9:
      v.z = 0.0;
      buildInclinedLine(m, v, r, a);
      break;
    case 20:
      if (extra != nullptr) {
        m->shiftDir = *extra;
        macroPush(m, add(pathEnd, scale(*extra, r)));
      } else {
        macroPush(m, {pathEnd.x, pathEnd.y, pathEnd.z + r});
      }
      break;
    case 21:
      if (extra != nullptr) {
        buildNormalArc(m, v, r, *extra, params);
      } else {
        buildVerticalArc(m, v, r, params);
      }
      break;
    default:
      break;
  }
  if (distance >= 0.0) m->shiftLength = distance;
  return m;
}

void macroFree(MacroRec* macro) {
  if (macro == nullptr) return;
  memFree(macro->points);
  memFree(macro);
}

void macroApplyShift(const MacroRec* macro, Vec3d* point) {
  if (macro == nullptr || point == nullptr) return;
  const Vec3d& d = macro->shiftDir;
  if (std::fabs(d.x) < kTiny && std::fabs(d.y) < kTiny && std::fabs(d.z) < kTiny) return;
  *point = add(*point, scale(d, macro->shiftLength));
}

double macroForwardExtent(const MacroRec* macro) {
  if (macro == nullptr || macro->count < 1) return 0.0;
  const Vec3d d = sub(macro->points[macro->count - 1], macro->points[0]);
  return d.x * macro->endDir.x + d.y * macro->endDir.y + d.z * macro->endDir.z;
}

void macroArcReverse(MacroKindData* kindData) {
  if (kindData == nullptr || kindData->descKind != kMacroDescArc) return;
  kindData->turn = -kindData->turn;
  const Vec3d a = kindData->pointA;
  kindData->pointA = kindData->pointB;
  kindData->pointB = a;
}

MacroRec* macroBuildCircle(const Vec3d& centre, const MacroParams* params) {
  if (params == nullptr) return nullptr;
  const double r = params->plungeRadius;
  const double s = params->stepAngle;
  if (std::fabs(r) < kTiny || std::fabs(s) < kTiny) return nullptr;
  const double steps = std::floor(2.0 * kPi / std::fabs(s));
  if (steps + 1.0 > kMacroHelixCapacity) return nullptr;
  MacroRec* m = macroAlloc(kMacroApproach, 6, kMacroHelixCapacity);
  if (m == nullptr) return nullptr;
  const int n = static_cast<int>(steps);
  for (int i = 0; i <= n; ++i) {
    const double t = s * i;
    macroPush(m, {centre.x + r * std::cos(t), centre.y + r * std::sin(t), centre.z});
  }
  MacroKindData& d = m->kindData;
  d.descKind = kMacroDescArc;
  d.turn = 1;
  d.radius = r;
  d.pointA = m->points[0];
  d.pointB = m->points[0];
  return m;
}
