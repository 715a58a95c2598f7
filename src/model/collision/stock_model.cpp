#include "model/collision/stock_model.h"

#include <atomic>
#include <cmath>

#include "model/collision/tool_axis_collision.h"
#include "model/contact/contact_settings.h"
#include "model/io/model_load.h"
#include "model/mesh/model_grid.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
const Vec3d kVertical{0.0, 0.0, 1.0};

std::atomic<int> gStockActive{0};

int codeAt(const Pline* path, int i) { return pointStatusCode(path->status[i]); }

void setCode(Pline* path, int i, int code) {
  path->status[i] = pointStatusWithCode(path->status[i], code);
}

bool isAir(const Pline* path, int i) { return codeAt(path, i) == kStockAirMark; }

// The axis test of one point.  A vertical axis sweeps only the tool's own
// xy box, which lies in the stock grid's cell of the point grown by the
// grid's margin (at least the tool radius): the cell then holds every
// surface the walk would test, in the same order, and the result is that of
// the walk over all surfaces.  Tilted axes walk everything.
int testBody(const ModelRec* stock, const Vec3d& point, const Vec3d& axis) {
  const bool vertical = axis.x == 0.0 && axis.y == 0.0 && axis.z > 0.0;
  const ModelGrid* grid = nullptr;
  if (vertical && stock->grid != nullptr && stock->groups == nullptr && stock->tool != nullptr &&
      modelGridToolMargin(stock->tool) >= stock->tool->radius) {
    grid = stock->grid;
  }
  return collToolAxisTest(stock, &point, &axis, kStockBodyLength, grid, kPi);
}

// Finds the change between points j - 1 and j (one of them in the air) and
// inserts it.  1 when a point was inserted, else 0: the caller steps over
// the new point only after an insertion.
int refineChange(Pline* path, const ModelRec* stock, int j, int useAxes) {
  if (path->axes == nullptr) return 0;
  const int airIndex = isAir(path, j - 1) ? j - 1 : j;
  const int touchIndex = airIndex == j ? j - 1 : j;
  double air = path->params[airIndex];
  double touch = path->params[touchIndex];
  Vec3d axis = useAxes ? path->axes[touchIndex] : kVertical;
  while (std::abs(air - touch) > stock->minStep) {
    const double mid = 0.5 * (air + touch);
    Vec3d point, midAxis;
    if (plineAxisAtParam(path, mid, &point, &midAxis) != 1) return 0;
    if (!useAxes) midAxis = kVertical;
    if (testBody(stock, point, midAxis) == kCollFree) {
      air = mid;
    } else {
      touch = mid;
      axis = midAxis;
    }
  }
  if (path->params[path->count - 1] <= path->params[0]) return 0;
  if (plineSplitAtParam(path, touch, kStockSplitTol) != 1) return 0;
  // The split index is the calling thread's own: no other thread can move it.
  const int k = plineSplitIndex();
  setCode(path, k, kPointCut);
  if (useAxes) path->axes[k] = axis;
  return 1;
}

// The contact settings' surface selection, to be put back after the marking.
struct SavedSelection {
  ContactContext ctx;
  SavedSelection() { contactContextLoad(&ctx); }
  ~SavedSelection() {
    contactSetTriangleModel(ctx.triangles, ctx.minCorners, ctx.maxCorners, ctx.candidates,
                            ctx.zFloor, ctx.zTop, ctx.keepUntouched);
    contactSetFacetModel(ctx.facets, ctx.facetCount, ctx.minCorners, ctx.maxCorners, ctx.candidates,
                         ctx.zFloor, ctx.zTop, ctx.keepUntouched);
  }
};

void loadStockSelection(const ModelRec* stock) {
  if (stock->kind == kModelKindTriangles) {
    contactSetTriangleModel(stock->triangles, stock->minCorners, stock->maxCorners,
                            stock->candidates, stock->floorZ, stock->topZ, 0);
  } else {
    contactSetFacetModel(stock->facets, stock->facetCount, stock->minCorners, stock->maxCorners,
                         stock->candidates, stock->floorZ, stock->topZ, 0);
  }
}

}  // namespace

ModelRec* stockLoadModel(const char* file, const ModelRec* model) {
  if (model == nullptr) return nullptr;
  modelSetDiagonalBoxes(0);
  // A copy without the model's surfaces and groups: the loader frees the
  // groups it finds with their surfaces, and a failed load the surfaces.
  ModelRec* stock = modelWorkingCopy(model);
  if (stock == nullptr) return nullptr;
  if (modelLoadFile(stock, file) != kModelLoadOk) {
    modelFreeWorkingCopy(stock);
    return nullptr;
  }
  // A grid that cannot be filled leaves the stock without one: the marking
  // walks every surface then.
  modelBuildGrids(stock);
  return stock;
}

void stockFreeModel(ModelRec* stock) { modelFreeWorkingCopy(stock); }

void stockSetActive(int flag) { gStockActive.store(flag); }

int stockActive() { return gStockActive.load(); }

int stockMarkAirPoints(Pline* path, const ModelRec* stock, int refine, int useAxes) {
  if (path == nullptr || stock == nullptr) return 0;
  const SavedSelection saved;
  loadStockSelection(stock);
  const int modeBefore = collToolAxisSetStockMode(1);

  const int n = path->count;
  const bool ownAxes = useAxes != 0 && path->axes != nullptr;
  int anyAir = 0;
  // Each point writes only its own status word.
#pragma omp parallel for schedule(static) reduction(max : anyAir)
  for (int i = 0; i < n; ++i) {
    if (codeAt(path, i) == kPointGap) continue;
    const Vec3d& axis = ownAxes ? path->axes[i] : kVertical;
    if (testBody(stock, path->points[i], axis) == kCollFree) {
      setCode(path, i, kStockAirMark);
      anyAir = 1;
    }
  }

  if (refine != 0) {
    for (int j = 1; j < path->count; ++j) {
      if (codeAt(path, j - 1) == kPointGap || codeAt(path, j) == kPointGap) continue;
      if (isAir(path, j - 1) == isAir(path, j)) continue;
      if (refineChange(path, stock, j, useAxes) == 1) ++j;
    }
  }
  for (int i = 0; i < path->count; ++i) {
    if (isAir(path, i)) setCode(path, i, kPointGap);
  }
  collToolAxisSetStockMode(modeBefore);
  return anyAir;
}

void stockReset() { gStockActive.store(0); }
