#include "model/drop/contact_sample.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/messages.h"
#include "boundaries/boundary_rec.h"
#include "geometry/curves/curve.h"
#include "geometry/primitives/primitives.h"
#include "model/drop/contact_drop.h"
#include "model/mesh/model_grid.h"

namespace {

bool curveHasZ(const CurveRec* curve) { return curve != nullptr && curve->z != nullptr; }

bool isGap(const Pline* pl, int i) { return pointStatusCode(pl->status[i]) == kPointGap; }

void makeGap(Pline* pl, int i, int* changed) {
  if (!isGap(pl, i)) {
    pl->status[i] = pointStatusWithCode(pl->status[i], kPointGap);
    *changed = 1;
  }
}

// First index of the non-gap run that ends at i when its plan length is below
// x, else -1.
int shortRunStart(const Pline* pl, int i, double x) {
  double len = 0.0;
  int j = i;
  while (j > 0 && !isGap(pl, j - 1)) {
    len += ptDistance2d(&pl->points[j - 1], &pl->points[j]);
    --j;
  }
  return len < x ? j : -1;
}

// Last index of the non-gap run that starts at i when its plan length is
// below x, else -1.
int shortRunEnd(const Pline* pl, int i, double x) {
  double len = 0.0;
  int j = i;
  while (j + 1 < pl->count && !isGap(pl, j + 1)) {
    len += ptDistance2d(&pl->points[j], &pl->points[j + 1]);
    ++j;
  }
  return len < x ? j : -1;
}

// The stretch that starts at s: to the end of the non-gap run from s, or,
// from a gap, to the end of the run that follows it (s itself when the next
// point is a gap too).
int nextRunEnd(const Pline* pl, int s) {
  int j = s;
  if (isGap(pl, s)) {
    if (s + 1 >= pl->count || isGap(pl, s + 1)) return s;
    j = s + 1;
  }
  while (j + 1 < pl->count && !isGap(pl, j + 1)) ++j;
  return j;
}

bool sideNotSteep(const Pline* pl, int s, int other) {
  const double len = ptDistance3d(&pl->points[s], &pl->points[other]);
  if (!(len > 0.0)) return false;
  return (pl->points[s].z - pl->points[other].z) / len > kSampleSteepDropRatio;
}

int gapShortSteepRuns(Pline* pl, double minSpan) {
  int changed = 0;
  int s = 0;
  while (s < pl->count) {
    const int e = nextRunEnd(pl, s);
    if (pl->params[e] - pl->params[s] < minSpan) {
      int p = s - 1;
      while (p >= 0 && isGap(pl, p)) --p;
      int n = e + 1;
      while (n < pl->count && isGap(pl, n)) ++n;
      const bool before = p >= 0 && sideNotSteep(pl, s, p);
      const bool after = n < pl->count && sideNotSteep(pl, s, n);
      if (before || after) {
        for (int k = s; k <= e; ++k) makeGap(pl, k, &changed);
      }
    }
    s = e + 1;
  }
  return changed;
}

// The start of both evaluations: the tool at (x, y, z0) over the model
// grid's cell (the sample's own candidates without a grid), found, no
// contact yet, normal status.
void sampleStart(ContactSample* s, const ModelRec* model, double z0) {
  s->toolPosition = {s->x, s->y, z0};
  if (model->grid != nullptr) {
    modelGridCellItems(model->grid, s->x, s->y, &s->candidates, &s->candidateCount);
  }
  s->found = 1;
  s->contact = 0;
  s->status = kSampleNormal;
}

// The model drop's result in the sample: touched, face, or nothing found.
void takeModelDrop(ContactSample* s, int r) {
  if (r > 0) s->contact = 1;
  if (r == 2) s->status = kSampleFace;
  if (r == 0) s->found = 0;
}

// The footprint and slope tests that end both evaluations.
int footprintTest(const ContactContext* ctx, ContactSample* s, const ModelRec* model,
                  const ToolShape* tool, bool slopeBoundaries, int result) {
  if (s->status == kSampleGap || s->found != 1) return result;
  if (model->contactMode == 1 &&
      !contactFootprintInBoundary(model->boundaryChain, tool, &s->contactPoint, &s->toolPosition,
                                  s->parameter, model->guideCurve)) {
    s->status = kSampleFootprintOutside;
    result = kSampleResultOutside;
  }
  if (slopeBoundaries && ctx->slopeBoundariesOn && ctx->slopeBoundaries != nullptr &&
      s->status != kSampleFootprintOutside &&
      !contactFootprintInBoundaries(ctx->slopeBoundaries, tool, &s->contactPoint, &s->toolPosition,
                                    s->parameter, model->guideCurve)) {
    s->status = kSampleFootprintOutside;
    result = kSampleResultOutside;
  }
  return result;
}

}  // namespace

void contactSampleInit(ContactSample* s, const double xy[2], double startZ, double parameter,
                       const int* candidates, int candidateCount) {
  *s = ContactSample{};
  s->x = xy[0];
  s->y = xy[1];
  s->startZ = startZ;
  s->parameter = parameter;
  s->candidates = candidates;
  s->candidateCount = candidateCount;
}

ContactSample* contactSampleNew(const double xy[2], double startZ, double parameter,
                                const int* candidates, int candidateCount) {
  auto* s = static_cast<ContactSample*>(std::malloc(sizeof(ContactSample)));
  if (s != nullptr) contactSampleInit(s, xy, startZ, parameter, candidates, candidateCount);
  return s;
}

void contactSampleFree(ContactSample* sample) { std::free(sample); }

int contactEvalSample(ContactContext* ctx, ContactSample* s, const ModelRec* model) {
  if (++ctx->callCounter > kSampleBreakPollInterval) {
    ctx->callCounter = 0;
    if (cycCheckBreak() != 0) return kSampleResultCancelled;
  }
  double z0 = ctx->zFloor;
  if (ctx->slopeSwitch && model->facets != nullptr && model->facetCount > 0 &&
      model->boxMin.z < ctx->zFloor) {
    z0 = ctx->zFloor - 1.0;
  }
  sampleStart(s, model, z0);
  int result = kSampleResultNormal;

  if ((model->boundaryFlag && !bndParamInside(model->boundaryChain, s->parameter)) ||
      (ctx->slopeBoundariesOn && ctx->slopeBoundaries != nullptr &&
       !bndListParamInside(ctx->slopeBoundaries, s->parameter))) {
    s->status = kSampleGap;
    s->found = 0;
    return kSampleResultGap;
  }

  const ToolShape* tool = ctx->overrideOn ? &ctx->overrideTool : model->tool;
  if (tool == nullptr) {
    s->found = 0;
    return kSampleResultGap;
  }
  int kind = 0;
  const int r = contactDropOnFacetSet(ctx, &s->toolPosition, model->boxMax.z + tool->radius, tool,
                                      s->candidates, s->candidateCount, &s->contactPoint, &kind);
  takeModelDrop(s, r);

  const int sweeps = ctx->clipPass ? 2 : 1;
  for (int sweep = 0; sweep < sweeps; ++sweep) {
    for (const SurfaceGroup* g = model->groups; g != nullptr; g = g->next) {
      const bool clip = g->clip != 0;
      if (sweep == 0 && clip && ctx->clipPass) continue;
      if (sweep == 1 && !clip) continue;
      if (ctx->boundWalls && clip && g->next != nullptr) continue;
      ToolShape gt = ctx->overrideOn ? ctx->overrideTool : g->tool;
      if (sweep == 1 && !ctx->overrideOn) gt.radius -= model->minStep * ctx->clipFactor;
      ContactContext gctx;
      contactContextForGroup(&gctx, ctx, g);
      Vec3d gpos = s->toolPosition;
      const int* cell;
      int cellCount;
      modelGridCellItems(g->grid, gpos.x, gpos.y, &cell, &cellCount);
      Vec3d gc{};
      int k = 0;
      const int a = contactDropOnFacetSet(&gctx, &gpos, g->boxMax.z + gt.radius, &gt, cell,
                                          cellCount, &gc, &k);
      if (a > 0 && k > 0) {
        s->contactPoint = gc;
        s->contact = 1;
        s->found = 1;
        if (sweep == 1) {
          if (s->toolPosition.z + 0.5 * model->minStep < gpos.z) s->status = kSampleGap;
        } else {
          s->status = kSampleNormal;
        }
        if (!(ctx->wallSurfaces && clip)) s->toolPosition.z = gpos.z;
      }
    }
  }

  if (ctx->zFloor > s->toolPosition.z) {
    if (ctx->slopeSwitch && s->toolPosition.z < ctx->zFloor - kSampleTol) s->status = kSampleGap;
    s->found = 0;
    s->toolPosition.z = ctx->zFloor;
    result = kSampleResultFloor;
  } else if (s->toolPosition.z > ctx->zTop + kSampleTol) {
    s->status = kSampleGap;
    result = kSampleResultNormal;
  }

  if (curveHasZ(model->guideCurve) && s->startZ - kSampleTol > s->toolPosition.z) {
    s->toolPosition.z = s->startZ;
    if (ctx->curveZFloor) {
      const double corner = model->tool != nullptr ? model->tool->cornerRadius : 0.0;
      s->contactPoint = {s->toolPosition.x, s->toolPosition.y, s->startZ - corner};
    } else {
      s->status = kSampleGap;
      s->found = 0;
      result = kSampleResultGap;
    }
  }

  result = footprintTest(ctx, s, model, tool, true, result);

  if (ctx->slopeSwitch && s->status != kSampleGap && s->found == 1 &&
      toolShapeSlopeInRange(tool, &s->toolPosition, &s->contactPoint, ctx->slopeAngle,
                            ctx->flatAngle) < 0) {
    s->status = kSampleGap;
  }
  return result;
}

int projEvalSample(ContactContext* ctx, ContactSample* s, const ModelRec* model) {
  sampleStart(s, model, ctx->zFloor);
  int result = kSampleResultNormal;

  if (model->boundaryFlag && !bndParamInside(model->boundaryChain, s->parameter)) {
    s->status = kSampleGap;
    s->found = 0;
    return kSampleResultGap;
  }

  const ToolShape* tool = ctx->overrideOn ? &ctx->overrideTool : model->tool;
  if (tool == nullptr) {
    s->found = 0;
    return kSampleResultGap;
  }
  const double startZ = model->boxMax.z + tool->radius;
  int kind = 0;
  const int r = contactDropOnTriangleSet(ctx, &s->toolPosition, startZ, tool, s->candidates,
                                         s->candidateCount, &s->contactPoint, &kind);
  takeModelDrop(s, r);

  for (const SurfaceGroup* g = model->groups; g != nullptr; g = g->next) {
    const ToolShape* gt = ctx->overrideOn ? &ctx->overrideTool : &g->tool;
    ContactContext gctx;
    contactContextForGroup(&gctx, ctx, g);
    Vec3d gpos = s->toolPosition;
    const int* cell;
    int cellCount;
    modelGridCellItems(g->grid, gpos.x, gpos.y, &cell, &cellCount);
    Vec3d gc{};
    int k = 0;
    const int a = contactDropOnTriangleSet(&gctx, &gpos, g->boxMax.z + gt->radius, gt, cell,
                                           cellCount, &gc, &k);
    if (a > 0 && k > 0) {
      s->contactPoint = gc;
      s->contact = 1;
      s->found = 1;
      if (g->clip && model->minStep + s->toolPosition.z < gpos.z) s->status = kSampleGap;
      s->toolPosition.z = gpos.z;
    }
  }

  if (ctx->zFloor > s->toolPosition.z) {
    s->toolPosition.z = ctx->zFloor;
    s->found = 0;
    result = kSampleResultFloor;
  } else if (s->toolPosition.z > ctx->zTop + kSampleTol) {
    s->status = kSampleGap;
    s->found = 0;
    result = kSampleResultNormal;
  }

  const bool withZ = curveHasZ(model->guideCurve);
  if (withZ && s->startZ + kSampleTol < s->toolPosition.z && ctx->extraAllowanceOn) {
    projSecondChance(ctx, &s->toolPosition, model, s->startZ,
                     std::min(s->startZ - 1.0, model->boxMin.z), startZ, s->candidates,
                     s->candidateCount);
  }
  if (withZ && s->startZ - kSampleTol > s->toolPosition.z) {
    s->status = kSampleGap;
    s->toolPosition.z = s->startZ;
    s->found = 0;
    result = kSampleResultGap;
  }

  return footprintTest(ctx, s, model, tool, false, result);
}

int contactFindParamIndex(const Pline* path, double value, double tolerance) {
  if (path == nullptr || path->count <= 0) return -1;
  const int n = path->count;
  const double* p = path->params;
  if (p[n - 1] >= p[0]) {
    const int i = static_cast<int>(std::lower_bound(p, p + n, value - tolerance) - p);
    if (i < n && std::fabs(p[i] - value) <= tolerance) return i;
    return -1;
  }
  for (int i = 0; i < n; ++i) {
    if (std::fabs(p[i] - value) <= tolerance) return i;
  }
  return -1;
}

int curveVertexIsCorner(int index, const CurveRec* curve) {
  if (curve == nullptr || index < 0 || index >= curve->count) return 0;
  if (index == 0 || index == curve->count - 1) return 1;
  const Vec2d& a = curve->points[index - 1];
  const Vec2d& b = curve->points[index];
  const Vec2d& c = curve->points[index + 1];
  const double l1 = std::hypot(b.x - a.x, b.y - a.y);
  const double l2 = std::hypot(c.x - b.x, c.y - b.y);
  if (l1 < kSampleTol || l2 < kSampleTol) return 0;
  const double dot = ((b.x - a.x) * (c.x - b.x) + (b.y - a.y) * (c.y - b.y)) / (l1 * l2);
  return dot <= kCurveCornerCos ? 1 : 0;
}

int contactGapSteepDrops(const ContactContext* /*ctx*/, Pline* path, double length) {
  if (path == nullptr) return 0;
  int changed = 0;
  for (int i = 1; i < path->count - 1; ++i) {
    if (isGap(path, i - 1) || isGap(path, i)) continue;
    const double a = ptDistance3d(&path->points[i], &path->points[i - 1]);
    if (a < kSampleTol) continue;
    if ((path->points[i].z - path->points[i - 1].z) / a > kSampleSteepDropRatio) continue;
    const int j = shortRunStart(path, i, length);
    if (j >= 1) {
      for (int k = j; k <= i; ++k) makeGap(path, k, &changed);
      continue;
    }
    const int e = shortRunEnd(path, i, length);
    if (e >= 0 && e < path->count - 1) {
      for (int k = i; k <= e; ++k) makeGap(path, k, &changed);
    }
  }
  if (gapShortSteepRuns(path, kSampleShortStretchFactor * length)) changed = 1;
  return changed;
}

int contactFlattenDeepDip(const Pline* path, int index, double toolPosition[3], double radius) {
  if (path == nullptr || index < 1 || index >= path->count) return 0;
  const Vec3d& a = path->points[index - 1];
  const Vec3d& b = path->points[index];
  const bool gapA = isGap(path, index - 1);
  const bool gapB = isGap(path, index);
  double ref;
  if (gapA && gapB) return 0;
  if (gapB) {
    ref = a.z;
  } else if (gapA) {
    ref = b.z;
  } else {
    const double span = ptDistance2d(&a, &b);
    const Vec3d pos{toolPosition[0], toolPosition[1], toolPosition[2]};
    const double f = span < kSampleTol ? 0.0 : ptDistance2d(&a, &pos) / span;
    ref = a.z + f * (b.z - a.z);
  }
  if (!(toolPosition[2] < ref - (radius + kSampleTol))) return 0;
  const double shortRun = kSampleDeepDipRunFactor * radius;
  double back = 0.0;
  for (int j = index - 1; j >= 1 && !gapA && !isGap(path, j - 1); --j) {
    back += ptDistance3d(&path->points[j - 1], &path->points[j]);
  }
  bool isShort = back < shortRun;
  if (!isShort) {
    double fwd = 0.0;
    for (int j = index; j + 1 < path->count && !gapB && !isGap(path, j + 1); ++j) {
      fwd += ptDistance3d(&path->points[j], &path->points[j + 1]);
    }
    isShort = fwd < shortRun;
  }
  if (!isShort) return 0;
  toolPosition[2] = ref;
  return 1;
}

int contactCrossSlopeCos(const ContactContext* /*ctx*/, const CurveRec* curve, double parameter,
                         const double toolPosition[3], const double contact[3], double* out) {
  double t[2];
  if (curveTangentAt(curve, parameter, t) < 0) return 0;
  const double dz = contact[2] - toolPosition[2];
  const double q = (contact[1] - toolPosition[1]) * t[0] - (contact[0] - toolPosition[0]) * t[1];
  const double s = dz * dz + q * q;
  if (s < kSampleTol) return 0;
  *out = std::fabs(dz) / std::sqrt(s);
  return 1;
}
