#include "cycles/profile/line_set.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "boundaries/bnd_intervals.h"
#include "geometry/curves/profile_file.h"

namespace {

GuideKindSteppers stepperE{nullptr, nullptr};
GuideKindSteppers stepperF{nullptr, nullptr};
GuideKindSteppers stepperN{nullptr, nullptr};
GuideKindSteppers stepperR{nullptr, nullptr};

GuideKindSteppers* steppersOf(char kind) {
  switch (kind) {
    case kCurveKindEquidistant:
      return &stepperE;
    case kCurveKindFlow:
      return &stepperF;
    case kCurveKindNormal:
      return &stepperN;
    case kCurveKindSync:
      return &stepperR;
    default:
      return nullptr;
  }
}

int shiftLine(CurveRec* curve, double distance) {
  if (curve->count != 2) return -1;
  Vec2d& p0 = curve->points[0];
  Vec2d& p1 = curve->points[1];
  const double dx = p1.x - p0.x;
  const double dy = p1.y - p0.y;
  const double len = std::hypot(dx, dy);
  if (!(len > 0.0)) return -1;
  const double f = (curve->side ? -distance : distance) / len;
  const Vec2d move{-dy * f, dx * f};
  p0.x += move.x;
  p0.y += move.y;
  p1.x += move.x;
  p1.y += move.y;
  return 0;
}

int rebuildLine(CurveRec* curve) {
  if (curve->count != 2) return -1;
  const CurveBox& b = curve->box;
  const bool low = curve->reverse ? curve->side != 0 : curve->side == 0;
  if (curve->kind == kCurveKindLineX) {
    const double y = low ? b.yMin : b.yMax;
    curve->points[0] = {curve->reverse ? b.xMax : b.xMin, y};
    curve->points[1] = {curve->reverse ? b.xMin : b.xMax, y};
  } else {
    const double x = low ? b.xMax : b.xMin;
    curve->points[0] = {x, curve->reverse ? b.yMax : b.yMin};
    curve->points[1] = {x, curve->reverse ? b.yMin : b.yMax};
  }
  curve->t0 = 0.0;
  curveUpdateLengths(curve);
  return 0;
}

// Reads the first profile of the curve's file again into storage the curve
// owns: a curve that did not own its points never has them overwritten, and
// a profile that grew gets room for all its points.
int rereadProfile(CurveRec* curve) {
  std::vector<std::string> lines;
  if (prfLoadLines(curve->name, &lines) < 0) return -1;
  std::vector<PrfRange> ranges;
  try {
    ranges = prfSplitProfiles(lines);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (ranges.empty()) return -1;
  const bool withZ = curve->z != nullptr;
  CurveRec* fresh = prfCurveFromLines(lines, ranges[0], curve->name, 0, 0, withZ);
  if (fresh == nullptr) return -1;
  if (fresh->count < 1) {
    curveFree(fresh);
    return -1;
  }
  if (curve->ownsPoints) std::free(curve->points);
  std::free(curve->z);
  std::free(curve->lengths);
  curve->points = fresh->points;
  curve->z = fresh->z;
  curve->lengths = fresh->lengths;
  curve->count = fresh->count;
  curve->ownsPoints = 1;
  fresh->points = nullptr;
  fresh->z = nullptr;
  fresh->lengths = nullptr;
  fresh->ownsPoints = 0;
  curveFree(fresh);
  curve->t0 = 0.0;
  curveUpdateLengths(curve);
  if (curve->reverse) curveReverse(curve);
  return 0;
}

template <typename T>
bool growArray(T** array, int oldCount, int newCap) {
  auto* grown = static_cast<T*>(std::malloc(sizeof(T) * static_cast<size_t>(newCap)));
  if (grown == nullptr) return false;
  if (oldCount > 0) std::memcpy(grown, *array, sizeof(T) * static_cast<size_t>(oldCount));
  std::free(*array);
  *array = grown;
  return true;
}

// A kind 'p' copy of the curve that owns its points, lengths and z values.
CurveRec* lineCopy(const CurveRec* curve) {
  const int n = curve->count;
  CurveRec* c = curveNewOwned(n > 0 ? n : 1, kCurveKindPolyline, curve->z != nullptr);
  if (c == nullptr) return nullptr;
  c->count = n;
  if (n > 0) {
    std::memcpy(c->points, curve->points, sizeof(Vec2d) * n);
    std::memcpy(c->lengths, curve->lengths, sizeof(double) * n);
    if (curve->z != nullptr) std::memcpy(c->z, curve->z, sizeof(double) * n);
  }
  c->t0 = curve->t0;
  c->t1 = curve->t1;
  return c;
}

// The lines of one curve from its first to its last step offset.
int addCurveLines(LineSet* set, double spacing, CurveRec* curve, BoundaryRec* boundary,
                  int useClipSurfaces) {
  if (curveStepRestart(curve) < 0) return 0;
  bndSetCurveIntervals(boundary, curve);
  const double b = curve->firstStep;
  const double c = curve->lastStep;
  const double d = c < b ? -1.0 : 1.0;
  if (d * b > d * c + kLineStepTol) return 0;
  double s = spacing;
  bool shortened = false;
  double h = b;
  do {
    if (std::fabs(h - b) > kLineStepTol) {
      if (curveStepOver(curve, s) < 0) return 0;
      bndSetCurveIntervals(boundary, curve);
    }
    if (lineSetAppendCurve(set, curve, boundary) < 0) return -1;
    if (!shortened && d * (h + d * s) > d * c && std::fabs(c - h) > kLineLastStepMin &&
        !useClipSurfaces) {
      s = d * (c - h);
      shortened = true;
    }
    h += d * s;
  } while (d * h <= d * c + kLineStepTol);
  return 0;
}

}  // namespace

void curveSetGuideSteppers(char kind, GuideKindSteppers steppers) {
  if (GuideKindSteppers* slot = steppersOf(kind)) *slot = steppers;
}

int curveStepOver(CurveRec* curve, double distance) {
  if (curve == nullptr) return -1;
  switch (curve->kind) {
    case kCurveKindPolyline:
      return curveOffset(curve, curve->side ? -distance : distance) < 0 ? -1 : 0;
    case kCurveKindLineX:
    case kCurveKindLineY:
      return shiftLine(curve, distance);
    default:
      break;
  }
  const GuideKindSteppers* st = steppersOf(curve->kind);
  if (st == nullptr || st->step == nullptr) return -1;
  return st->step(curve, distance) < 0 ? -1 : 0;
}

int curveStepRestart(CurveRec* curve) {
  if (curve == nullptr) return -1;
  switch (curve->kind) {
    case kCurveKindLineX:
    case kCurveKindLineY:
      return rebuildLine(curve);
    case kCurveKindPolyline:
    case kCurveKindEquidistant:
      if (rereadProfile(curve) < 0) return -1;
      return curveOffset(curve, curve->firstStep) < 0 ? -1 : 0;
    case kCurveKindNormal:
    case kCurveKindSync:
    case kCurveKindFlow: {
      const GuideKindSteppers* st = steppersOf(curve->kind);
      if (st->reset == nullptr) return 0;
      return st->reset(curve) < 0 ? -1 : 0;
    }
    default:
      return -1;
  }
}

int lineSetInit(LineSet* set, int capacity) {
  const int cap = capacity > 0 ? capacity : 1;
  set->count = 0;
  set->curves = static_cast<CurveRec**>(std::malloc(sizeof(CurveRec*) * cap));
  set->crossings = static_cast<LineCrossings*>(std::malloc(sizeof(LineCrossings) * cap));
  if (set->curves == nullptr || set->crossings == nullptr) {
    std::free(set->curves);
    std::free(set->crossings);
    *set = LineSet{0, 0, nullptr, nullptr};
    return -1;
  }
  set->capacity = cap;
  return 1;
}

int lineSetAppendCurve(LineSet* set, const CurveRec* curve, const BoundaryRec* boundary) {
  if (set == nullptr || curve == nullptr) return -1;
  if (set->count == set->capacity) {
    const long long grown = set->capacity + set->capacity / 2 + 1;
    if (grown > 0x7fffffff) return -1;
    const int cap = static_cast<int>(grown);
    if (!growArray(&set->curves, set->count, cap)) return -1;
    if (!growArray(&set->crossings, set->count, cap)) return -1;
    set->capacity = cap;
  }
  LineCrossings cross{0, nullptr};
  if (boundary != nullptr && boundary->intervalCount > 0 && boundary->intervals != nullptr) {
    cross.points = static_cast<BndPair*>(std::malloc(sizeof(BndPair) * boundary->intervalCount));
    if (cross.points == nullptr) return -1;
    std::memcpy(cross.points, boundary->intervals, sizeof(BndPair) * boundary->intervalCount);
    cross.count = boundary->intervalCount;
  }
  CurveRec* copy = lineCopy(curve);
  if (copy == nullptr) {
    std::free(cross.points);
    return -1;
  }
  set->curves[set->count] = copy;
  set->crossings[set->count] = cross;
  ++set->count;
  return 1;
}

void lineSetFree(LineSet* set) {
  if (set == nullptr) return;
  for (int i = 0; i < set->count; ++i) {
    curveFree(set->curves[i]);
    std::free(set->crossings[i].points);
  }
  std::free(set->curves);
  std::free(set->crossings);
  *set = LineSet{0, 0, nullptr, nullptr};
}

int lineSetBuild(LineSet* set, double spacing, CurveRec* chain, BoundaryRec* boundary,
                 int useClipSurfaces) {
  if (set == nullptr || !(spacing > 0.0)) return -1;
  for (CurveRec* curve = chain; curve != nullptr; curve = curve->next) {
    if (addCurveLines(set, spacing, curve, boundary, useClipSurfaces) < 0) return -1;
  }
  return 1;
}
