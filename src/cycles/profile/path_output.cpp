#include "cycles/profile/path_output.h"

#include <algorithm>
#include <memory>

#include "base/tolerances.h"
#include "geometry/primitives/nearest3d.h"

namespace {

PathEmitters gEmitters;

struct PlineFree {
  void operator()(Pline* pl) const { plineFree(pl); }
};
using PlineOwner = std::unique_ptr<Pline, PlineFree>;

struct RunListFree {
  void operator()(IntPairList* list) const { itemArrayFree(list); }
};
using RunListOwner = std::unique_ptr<IntPairList, RunListFree>;

struct PlineListFree {
  void operator()(PlineList* list) const { plineListFree(list); }
};
using PlineListOwner = std::unique_ptr<PlineList, PlineListFree>;

// Lowers the tool radius for the output of an infeed-kind-4 level and puts it
// back when it goes out of scope or on restore(), whichever comes first.
class ToolRadiusCut {
 public:
  ToolRadiusCut(ModelRec* model, int infeedKind) {
    if (infeedKind == 4 && model != nullptr && model->tool != nullptr) {
      tool_ = model->tool;
      saved_ = tool_->radius;
      tool_->radius -= kPathOutputInfeed4RadiusCut;
    }
  }
  ~ToolRadiusCut() { restore(); }
  ToolRadiusCut(const ToolRadiusCut&) = delete;
  ToolRadiusCut& operator=(const ToolRadiusCut&) = delete;
  void restore() {
    if (tool_ != nullptr) tool_->radius = saved_;
    tool_ = nullptr;
  }

 private:
  ToolShape* tool_ = nullptr;
  double saved_ = 0.0;
};

bool isRunPoint(const Pline* path, int i) {
  const int code = pointStatusCode(path->status[i]);
  return code != kPointGap && code != kPointSpecial;
}

bool isSpecialPoint(const Pline* path, int i) {
  return pointStatusCode(path->status[i]) == kPointSpecial;
}

template <class Member>
int collectRuns(const Pline* path, IntPairList* runs, Member member) {
  if (runs == nullptr) return -1;
  listClear(runs);
  if (path == nullptr) return 1;
  int i = 0;
  while (i < path->count) {
    if (!member(path, i)) {
      ++i;
      continue;
    }
    int end = i;
    while (end + 1 < path->count && member(path, end + 1)) ++end;
    if (end > i && listIntPairAppend(runs, IntPair{i, end}) < 0) return -1;
    i = end + 1;
  }
  return 1;
}

// Distance from p to the polyline of count points (a single point: to it).
double pointToPolyline(const Vec3d* pts, int count, const Vec3d& p) {
  Vec3d nearest{};
  int index = 0;
  return vec3ArrayNearestPoint(pts, count, &p, &nearest, &index);
}

// The smallest of the six end and middle point distances between the
// polylines a (na points) and b (nb points), both non-empty.
double polylinePairDistance(const Vec3d* a, int na, const Vec3d* b, int nb) {
  double d = pointToPolyline(b, nb, a[0]);
  d = std::min(d, pointToPolyline(b, nb, a[na - 1]));
  d = std::min(d, pointToPolyline(b, nb, a[na / 2]));
  d = std::min(d, pointToPolyline(a, na, b[0]));
  d = std::min(d, pointToPolyline(a, na, b[nb - 1]));
  d = std::min(d, pointToPolyline(a, na, b[nb / 2]));
  return d;
}

int emit(Pline* path, LinkParams* params, ModelRec* model) {
  if (gEmitters.trim != nullptr) return gEmitters.trim(path, params, model);
  return linkOutputPathByKind(model, path, params);
}

void markConsumed(Pline* path, int a, int b) {
  for (int i = a; i <= b; ++i) path->status[i] = pointStatusWithCode(path->status[i], kPointGap);
}

// Copies the run [a, b] of path into w, reversed when asked, and emits it.
int emitRun(Pline* path, int a, int b, int reverse, Pline* w, LinkParams* params, ModelRec* model) {
  if (plineCopyPoints(a, path, w, b) < 0) return -1;
  if (reverse != 0) plineReverse(w);
  return emit(w, params, model);
}

bool anyPointSpecial(const Pline* path) {
  for (int i = 0; i < path->count; ++i) {
    if (isSpecialPoint(path, i)) return true;
  }
  return false;
}

}  // namespace

PathEmitters pathOutputSetEmitters(PathEmitters emitters) {
  const PathEmitters previous = gEmitters;
  gEmitters = emitters;
  return previous;
}

PathEmitters pathOutputEmitters() { return gEmitters; }

int linkOutputPathByKind(ModelRec* model, Pline* path, LinkParams* params) {
  const PathEmitFn fn = (model != nullptr && model->kind == kModelKindTriangles)
                            ? gEmitters.triangles
                            : gEmitters.facets;
  if (fn == nullptr) return kPathOutputNoEmitter;
  return fn(path, params, model);
}

int plineNormalRuns(const Pline* path, IntPairList* runs) {
  return collectRuns(path, runs, isRunPoint);
}

int plineSpecialRuns(const Pline* path, IntPairList* runs) {
  return collectRuns(path, runs, isSpecialPoint);
}

int plineCopyPoints(int from, const Pline* path, Pline* dst, int to) {
  if (path == nullptr || dst == nullptr || from < 0 || to >= path->count || from > to) return -1;
  dst->count = 0;
  // Appended in index order: the copy keeps the run's direction whatever its
  // parameters do (a reversed line has descending ones).
  for (int i = from; i <= to; ++i) {
    const Vec3d* axis = path->axes != nullptr ? &path->axes[i] : &path->points[i];
    const int flag = path->flags != nullptr ? path->flags[i] : 0;
    if (plineAppend(dst, path->params[i], &path->points[i], path->status[i], axis, flag) < 0) {
      return -1;
    }
  }
  return 1;
}

double plineRunDistance(const Pline* w, const Pline* path, int a, int b) {
  if (w == nullptr || w->count == 0) return 0.0;
  return polylinePairDistance(w->points, w->count, path->points + a, b - a + 1);
}

double plineRunsDistance(const Pline* prev, const IntPairList* prevRuns, const Pline* path, int a,
                         int b) {
  double best = kPathOutputNoPrevious;
  if (prev == nullptr || prevRuns == nullptr) return best;
  for (int r = 0; r < prevRuns->count; ++r) {
    const IntPair run = prevRuns->items[r];
    best = std::min(best, polylinePairDistance(prev->points + run.first, run.second - run.first + 1,
                                               path->points + a, b - a + 1));
  }
  return best;
}

int plineRunRisesFirst(const Pline* path, int a, int b) {
  const double z0 = path->points[a].z;
  for (int i = a + 1; i <= b; ++i) {
    const double dz = path->points[i].z - z0;
    if (dz > kPathOutputRiseThreshold) return 1;
    if (dz < -kPathOutputRiseThreshold) return 0;
  }
  return 0;
}

int plineChooseRun(const Pline* w, const IntPairList* runs, const Pline* path, double gap) {
  // A single run is the choice whatever the distances say.
  if (w == nullptr || w->count == 0 || runs == nullptr || runs->count <= 1) return 0;
  const Vec3d end = w->points[w->count - 1];
  int nearest = 0;
  double nearestDist = kGeoFarDistance;
  for (int r = 0; r < runs->count; ++r) {
    const IntPair run = runs->items[r];
    const double d = pointToPolyline(path->points + run.first, run.second - run.first + 1, end);
    if (d < nearestDist) {
      nearestDist = d;
      nearest = r;
    }
  }
  if (nearestDist > gap) return nearest;
  // Several runs start close to where the tool stands: take the one beside
  // the piece just cut rather than the one at its end.
  const Vec3d middle = w->points[w->count / 2];
  int chosen = nearest;
  double chosenDist = kGeoFarDistance;
  for (int r = 0; r < runs->count; ++r) {
    const IntPair run = runs->items[r];
    const Vec3d* pts = path->points + run.first;
    const int n = run.second - run.first + 1;
    if (pointToPolyline(pts, n, end) > gap) continue;
    const double d = pointToPolyline(pts, n, middle);
    if (d < chosenDist) {
      chosenDist = d;
      chosen = r;
    }
  }
  return chosen;
}

int pathListOutputInOrder(PlineList* list, LinkParams* params, ModelRec* model, int infeedKind) {
  if (list == nullptr) return 1;
  ToolRadiusCut radiusCut(model, infeedKind);
  for (PlineListNode* node = list->first; node != nullptr; node = node->next) {
    if (node->pline == nullptr) continue;
    const int result = emit(node->pline, params, model);
    if (result < 0) return result;
  }
  return 1;
}

namespace {

// The sweeps over the normal runs (the list's paths are consumed).
int outputNormalRuns(PlineList* list, LinkParams* params, ModelRec* model, int runDirection,
                     int sortMode, double gap, Pline* w, IntPairList* runs, IntPairList* prevRuns) {
  for (;;) {
    bool anyRun = false;
    w->count = 0;
    const Pline* prev = nullptr;
    listClear(prevRuns);
    int reverse = 0;
    for (PlineListNode* node = list->first; node != nullptr; node = node->next) {
      Pline* path = node->pline;
      if (path == nullptr) continue;
      if (plineNormalRuns(path, runs) < 0) return -1;
      if (runs->count == 0) {
        plineFree(path);
        node->pline = nullptr;
        continue;
      }
      anyRun = true;
      const int k = plineChooseRun(w, runs, path, gap);
      const IntPair run = runs->items[k];
      if (sortMode == 2) {
        const double toPrev = plineRunsDistance(prev, prevRuns, path, run.first, run.second);
        if (toPrev < kPathOutputRestartFactor * plineRunDistance(w, path, run.first, run.second)) {
          break;  // this run belongs beside the previous path: sweep again
        }
      }
      prev = path;
      listClear(prevRuns);
      for (int r = 0; r < runs->count; ++r) {
        if (r != k && listIntPairAppend(prevRuns, runs->items[r]) < 0) return -1;
      }
      if (runDirection == 2 && w->count == 0)
        reverse = plineRunRisesFirst(path, run.first, run.second);
      const int result = emitRun(path, run.first, run.second, reverse, w, params, model);
      if (result < 0) return result;
      if (runDirection == 2) reverse = 1 - reverse;
      markConsumed(path, run.first, run.second);
    }
    if (!anyRun) return 1;
  }
}

// The special runs of the paths of s, after all normal runs.
int outputSpecialRuns(PlineList* s, LinkParams* params, ModelRec* model, int runDirection,
                      double gap, Pline* w, IntPairList* runs) {
  w->count = 0;
  int reverse = 0;
  for (;;) {
    bool anyRun = false;
    for (PlineListNode* node = s->first; node != nullptr; node = node->next) {
      Pline* path = node->pline;
      if (path == nullptr) continue;
      if (plineSpecialRuns(path, runs) < 0) return -1;
      if (runs->count == 0) {
        plineFree(path);
        node->pline = nullptr;
        continue;
      }
      anyRun = true;
      const IntPair run = runs->items[plineChooseRun(w, runs, path, gap)];
      int a = run.first;
      int b = run.second;
      if (a > 0 && pointStatusCode(path->status[a - 1]) != kPointGap) {
        --a;
        path->status[a] = pointStatusWithCode(path->status[a], kPointSpecial);
      }
      if (b + 1 < path->count && pointStatusCode(path->status[b + 1]) != kPointGap) {
        ++b;
        path->status[b] = pointStatusWithCode(path->status[b], kPointSpecial);
      }
      const int result = emitRun(path, a, b, reverse, w, params, model);
      if (result < 0) return result;
      if (runDirection == 2) reverse = 1 - reverse;
      markConsumed(path, a, b);
    }
    if (!anyRun) return 1;
  }
}

}  // namespace

int pathListOutputSorted(PlineList* list, LinkParams* params, ModelRec* model, int infeedKind,
                         int runDirection, int sortMode, double gapLimit) {
  if (list == nullptr) return 1;
  const double radius = (model != nullptr && model->tool != nullptr) ? model->tool->radius : 0.0;
  const double gap = std::max(gapLimit, kPathOutputGapRadiusShare * radius);
  PlineOwner w(plineNew(kPathOutputWorkCapacity, 1));
  RunListOwner runs(listIntPairNew(16));
  RunListOwner prevRuns(listIntPairNew(16));
  PlineListOwner special(plineListNew());
  if (!w || !runs || !prevRuns || !special) return -1;

  const double tolerance = model != nullptr ? model->minStep : kModelTol;
  for (PlineListNode* node = list->first; node != nullptr; node = node->next) {
    if (node->pline == nullptr) continue;
    plineDropShortRuns(node->pline, kPathOutputShortRunTols * tolerance);
    if (anyPointSpecial(node->pline) && plineListPrependShown(special.get(), node->pline) < 0) {
      return -1;
    }
  }

  ToolRadiusCut radiusCut(model, infeedKind);
  const int normal = outputNormalRuns(list, params, model, runDirection, sortMode, gap, w.get(),
                                      runs.get(), prevRuns.get());
  radiusCut.restore();
  if (normal < 0) return normal;
  return outputSpecialRuns(special.get(), params, model, runDirection, gap, w.get(), runs.get());
}
