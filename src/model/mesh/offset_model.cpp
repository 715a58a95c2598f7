#include "model/mesh/offset_model.h"

#include <cmath>
#include <cstdlib>

#include "model/mesh/model_grid.h"

namespace {

// Unit normal of the triangle (a, b, c) turned upward; false when the cross
// product is too short to give a direction.
bool upwardNormal(const Vec3d& a, const Vec3d& b, const Vec3d& c, Vec3d* n) {
  const Vec3d u{b.x - a.x, b.y - a.y, b.z - a.z};
  const Vec3d v{c.x - a.x, c.y - a.y, c.z - a.z};
  const Vec3d w{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
  const double len = std::sqrt(w.x * w.x + w.y * w.y + w.z * w.z);
  if (len < kGeoEqualTol) return false;
  *n = Vec3d{w.x / len, w.y / len, w.z / len};
  if (n->z < 0.0) *n = Vec3d{-n->x, -n->y, -n->z};
  return true;
}

}  // namespace

int offsetModelFacetDirection(const Facet* facet, Vec3d* dir) {
  const Vec3d* p = facet->v;
  Vec3d n1{};
  Vec3d n2{};
  const bool ok1 = upwardNormal(p[0], p[1], p[2], &n1);
  const bool ok2 = upwardNormal(p[0], p[2], p[3], &n2);
  *dir = Vec3d{0.0, 0.0, 0.0};
  if (ok1 && ok2) {
    const Vec3d s{n1.x + n2.x, n1.y + n2.y, n1.z + n2.z};
    const double len = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
    // Opposite normals (a folded quad) give no direction to move along.
    if (len < kGeoEqualTol) return 0;
    *dir = Vec3d{s.x / len, s.y / len, s.z / len};
    return 1;
  }
  if (ok1 || ok2) {
    *dir = ok1 ? n1 : n2;
    return 1;
  }
  return 0;
}

OffsetModel* modelBuildOffsetModel(const ModelRec* model, double distance) {
  if (model == nullptr || model->kind == kModelKindTriangles || model->facets == nullptr ||
      model->facetCount <= 0 || model->tool == nullptr) {
    return nullptr;
  }
  const int n = model->facetCount;
  auto* om = static_cast<OffsetModel*>(std::calloc(1, sizeof(OffsetModel)));
  if (om == nullptr) return nullptr;
  ModelRec* copy = modelCopy(model);
  if (copy == nullptr) {
    std::free(om);
    return nullptr;
  }
  om->offsetCopy = copy;
  // The copy keeps only its tool, settings and group nodes of the source.
  copy->triangles = nullptr;
  copy->facets = nullptr;
  copy->facetCount = 0;
  copy->maxCorners = nullptr;
  copy->minCorners = nullptr;
  copy->boundaryChain = nullptr;
  copy->guideCurve = nullptr;
  copy->candidates = nullptr;
  copy->grid = nullptr;

  copy->facets = static_cast<Facet*>(std::malloc(sizeof(Facet) * n));
  copy->minCorners = static_cast<Vec3d*>(std::malloc(sizeof(Vec3d) * n));
  copy->maxCorners = static_cast<Vec3d*>(std::malloc(sizeof(Vec3d) * n));
  om->directions = static_cast<Vec3d*>(std::malloc(sizeof(Vec3d) * n));
  if (copy->facets == nullptr || copy->minCorners == nullptr || copy->maxCorners == nullptr ||
      om->directions == nullptr) {
    offsetModelFreeData(om);
    return nullptr;
  }
  copy->facetCount = n;
  for (int i = 0; i < n; ++i) {
    Facet f = model->facets[i];
    Vec3d d;
    if (offsetModelFacetDirection(&f, &d)) {
      for (Vec3d& v : f.v) {
        v.x += distance * d.x;
        v.y += distance * d.y;
        v.z += distance * d.z;
      }
    }
    copy->facets[i] = f;
  }
  if (!modelSortFacets(copy->facets, n)) {
    offsetModelFreeData(om);
    return nullptr;
  }
  modelFacetCorners(copy->facets, n, copy->minCorners, copy->maxCorners);
  copy->boxMin = copy->minCorners[0];
  copy->boxMax = copy->maxCorners[0];
  for (int i = 1; i < n; ++i) {
    modelBoxWiden(&copy->boxMin, &copy->boxMax, &copy->minCorners[i]);
    modelBoxWiden(&copy->boxMin, &copy->boxMax, &copy->maxCorners[i]);
  }
  // Directions again in the sorted order, so that direction i is facet i's.
  for (int i = 0; i < n; ++i) offsetModelFacetDirection(&copy->facets[i], &om->directions[i]);
  // Only the copy's own grid: its group nodes share their grids with the
  // source model, which must not see them replaced.
  if (modelBuildOwnGrid(copy, 0.0) < 0) {
    offsetModelFreeData(om);
    return nullptr;
  }
  return om;
}

void offsetModelFreeData(OffsetModel* offsetModel) {
  if (offsetModel == nullptr) return;
  ModelRec* copy = offsetModel->offsetCopy;
  if (copy != nullptr) {
    std::free(copy->facets);
    std::free(copy->minCorners);
    std::free(copy->maxCorners);
    listPt3Free(copy->triangles);
    modelGridFree(copy->grid);
    modelFreeCopy(copy);
  }
  std::free(offsetModel->directions);
  std::free(offsetModel);
}
