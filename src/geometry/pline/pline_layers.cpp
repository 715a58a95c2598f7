#include "geometry/pline/pline_layers.h"

#include <cmath>

#include "base/memory.h"
#include "base/tolerances.h"
#include "geometry/pline/pline_copies.h"

namespace {

double planDistance(const Vec3d& a, const Vec3d& b) { return std::hypot(a.x - b.x, a.y - b.y); }

Pline* layerLine(int capacity) { return plineNewCapped(capacity > 0 ? capacity : 1, 1); }

}  // namespace

PlineLayer* plineLayerNew(double position, int capacity) {
  auto* layer = static_cast<PlineLayer*>(memAllocZeroed(sizeof(PlineLayer)));
  if (layer == nullptr) return nullptr;
  layer->position = position;
  layer->line = layerLine(capacity);
  if (layer->line == nullptr) {
    memFree(layer);
    return nullptr;
  }
  return layer;
}

void plineLayerFree(PlineLayer* layer) {
  if (layer == nullptr) return;
  plineFree(layer->line);
  memFree(layer);
}

PlineLayerSet* plineLayerSetNew(double total, double step, int capacity, int endFlag,
                                double userValueA, double userValueB) {
  const double s = std::fabs(step) < kGeoEqualTol ? 1.0 : step;
  const double q = total / s;
  // A negative, endless or absurd quotient has no layer count.
  if (!(q >= 0.0) || q > kPlineLayerMaxCount - 3) return nullptr;
  const int n = static_cast<int>(q);
  const int d = n % 2 == 0 ? n + 2 : n + 1;
  const int count = endFlag ? d + 1 : d;
  auto* set = static_cast<PlineLayerSet*>(memAllocZeroed(sizeof(PlineLayerSet)));
  if (set == nullptr) return nullptr;
  set->layers = static_cast<PlineLayer*>(memAllocZeroed(sizeof(PlineLayer) * count));
  if (set->layers == nullptr) {
    memFree(set);
    return nullptr;
  }
  set->count = set->used = count;
  set->userValueA = userValueA;
  set->userValueB = userValueB;
  const double spacing = total / (d - 1);
  for (int j = 0; j < count; ++j) {
    PlineLayer& layer = set->layers[j];
    layer.position = (endFlag && j == count - 1) ? total : spacing * j;
    layer.line = layerLine(capacity);
    if (layer.line == nullptr) {
      plineLayerSetFree(set);
      return nullptr;
    }
  }
  return set;
}

void plineLayerSetFree(PlineLayerSet* set) {
  if (set == nullptr) return;
  if (set->layers != nullptr) {
    for (int j = 0; j < set->count; ++j) plineFree(set->layers[j].line);
  }
  memFree(set->layers);
  memFree(set);
}

double plineLayerSetMaxLength(const PlineLayerSet* set) {
  double best = 0.0;
  if (set == nullptr) return best;
  for (int j = 0; j < set->count; ++j) {
    if (set->layers[j].line != nullptr && set->layers[j].length > best) {
      best = set->layers[j].length;
    }
  }
  return best;
}

double plineDistanceNearParam(double param, const Vec3d* p, const Pline* line) {
  if (line == nullptr || line->count < 1 || param < -kGeoEqualTol) return kPlineLayerFarDistance;
  const int last = line->count - 1;
  if (param > line->params[last] + kGeoEqualTol) return planDistance(*p, line->points[last]);
  const double g = param - kGeoEqualTol;
  int i = 1;
  while (i < line->count && !(line->params[i] > g)) ++i;
  if (i >= line->count) return planDistance(*p, line->points[i - 1]);
  return std::fmin(planDistance(*p, line->points[i - 1]), planDistance(*p, line->points[i]));
}

int plineLayerSetAddLine(PlineLayerSet* set, const PlineLayer* cross, double span, int from,
                         double tolerance) {
  if (set == nullptr || cross == nullptr || cross->line == nullptr || cross->line->count < 1 ||
      set->used < 1 || from < 0) {
    return -1;
  }
  const double lastPos = set->layers[set->used - 1].position;
  // A set across no width has no place for a fraction of it.
  if (std::fabs(lastPos) < kGeoEqualTol) return -1;
  const Pline* cl = cross->line;
  const double crossLen = cl->params[cl->count - 1] - cl->params[0];
  int result = -1;
  for (int i = from; i < set->used; ++i) {
    PlineLayer& layer = set->layers[i];
    if (layer.line == nullptr) continue;
    double f = layer.position;
    if (i > 0 && std::fabs(span) >= kGeoEqualTol) {
      const double g = cross->position / span;
      f = (1.0 - g) * set->layers[i - 1].position + g * layer.position;
    }
    Vec3d q{};
    if (plinePointAtParam(cl, f / lastPos * crossLen, &q) < 0) return -1;
    if (tolerance > kGeoEqualTol &&
        plineDistanceNearParam(cross->position, &q, layer.line) < tolerance) {
      continue;
    }
    const int at = InsertPline(layer.line, cross->position, &q,
                               pointStatusMake(kPointKindContact, kPointCut), &q, 0);
    if (at < 0) return -1;
    if (i == from) result = at;
  }
  return result;
}
