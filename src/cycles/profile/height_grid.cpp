#include "cycles/profile/height_grid.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>

#include "geometry/curves/curve.h"
#include "geometry/pline/pline.h"
#include "model/contact/contact_settings.h"
#include "model/drop/drop_along_curve.h"
#include "model/mesh/model_grid.h"

namespace {

constexpr double kMinCell = 0.00001;
constexpr double kUnfilledHeight = -10000;
// Room for the points a column's drop may add beyond one per row.
constexpr int kColumnSpare = 10;

struct CopyFree {
  void operator()(ModelRec* model) const { modelFreeCopy(model); }
};
struct PlineFree {
  void operator()(Pline* pl) const { plineFree(pl); }
};
struct CurveFree {
  void operator()(CurveRec* c) const { curveFree(c); }
};

// Switches the point-tool override on for its lifetime.
class PointToolOverride {
 public:
  PointToolOverride() {
    ToolShape point{};
    point.type = kToolFlat;
    contactSetToolOverride(1, &point);
  }
  ~PointToolOverride() { contactSetToolOverride(0, nullptr); }
  PointToolOverride(const PointToolOverride&) = delete;
  PointToolOverride& operator=(const PointToolOverride&) = delete;
};

}  // namespace

HeightGrid* heightGridNew(double cell, const Vec3d& boxMin, const Vec3d& boxMax) {
  auto* grid = static_cast<HeightGrid*>(std::calloc(1, sizeof(HeightGrid)));
  if (grid == nullptr) return nullptr;
  grid->xOrigin = boxMin.x;
  grid->yOrigin = boxMin.y;
  grid->cell = cell;
  grid->defaultHeight = kUnfilledHeight;
  if (std::fabs(cell) < kMinCell) return grid;
  const double rows = std::floor((boxMax.y - boxMin.y) / cell) + 1;
  const double columns = std::floor((boxMax.x - boxMin.x) / cell) + 1;
  // A box too large for its cell size would need more memory than there is.
  if (!(rows * columns < 1e9)) {
    std::free(grid);
    return nullptr;
  }
  grid->rows = std::max(1, static_cast<int>(rows));
  grid->columns = std::max(1, static_cast<int>(columns));
  grid->rowHeights = static_cast<double**>(std::calloc(grid->rows, sizeof(double*)));
  if (grid->rowHeights == nullptr) {
    heightGridFree(grid);
    return nullptr;
  }
  for (int i = 0; i < grid->rows; ++i) {
    grid->rowHeights[i] = static_cast<double*>(std::malloc(sizeof(double) * grid->columns));
    if (grid->rowHeights[i] == nullptr) {
      heightGridFree(grid);
      return nullptr;
    }
  }
  return grid;
}

int heightGridFill(HeightGrid* grid, const ModelRec* model) {
  if (grid == nullptr || std::fabs(grid->cell) < kMinCell) return 1;
  const std::unique_ptr<ModelRec, CopyFree> copy(modelCopy(model));
  if (!copy) return -1;
  copy->maxStep = grid->cell;
  copy->minStep = grid->cell;
  copy->boundaryChain = nullptr;
  copy->boundaryFlag = 0;
  copy->contactMode = 0;
  grid->defaultHeight = copy->floorZ;
  const double noContact = copy->floorZ - kHeightGridNoContactDrop;
  if (copy->floorZ < copy->boxMin.z) copy->boxMin.z = copy->floorZ;
  const PointToolOverride pointTool;
  const std::unique_ptr<Pline, PlineFree> path(plineNew(grid->rows + kColumnSpare, 0));
  if (!path) return -1;
  const double z = copy->boxMin.z;
  for (int j = 0; j < grid->columns; ++j) {
    const double x = grid->xOrigin + j * grid->cell;
    const Vec3d a{x, grid->yOrigin, z};
    const Vec3d b{x, grid->yOrigin + (grid->rows - 1) * grid->cell, z};
    const std::unique_ptr<CurveRec, CurveFree> line(curveNewLine3d(&a, &b));
    if (!line) return -1;
    copy->guideCurve = line.get();
    path->count = 0;
    const int dropped = contactDropAlongCurve(copy.get(), path.get());
    copy->guideCurve = nullptr;
    if (dropped < 0) return 1;
    for (int i = 0; i < grid->rows; ++i) {
      Vec3d p{};
      const int k = plineFindParam(path.get(), i * grid->cell, &p, nullptr, nullptr);
      const bool contact = k >= 0 && pointStatusCode(path->status[k]) != kPointGap;
      grid->rowHeights[i][j] = contact ? p.z : noContact;
    }
  }
  return 1;
}

void heightGridFree(HeightGrid* grid) {
  if (grid == nullptr) return;
  if (grid->rowHeights != nullptr) {
    for (int i = 0; i < grid->rows; ++i) std::free(grid->rowHeights[i]);
    std::free(grid->rowHeights);
  }
  modelGridFree(grid->grid);
  std::free(grid);
}
