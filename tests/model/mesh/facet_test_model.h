// In-memory facet models and tool shapes for the tests of the model, its grids
// and the offset model.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "model/mesh/model.h"

namespace model_test {

// A tool shape with the given type and radii; the other fields are zero.
inline ToolShape toolShape(int16_t type, double radius, double corner, double shank = 10,
                           double length = 20, int16_t taperOn = 0, double taperAngle = 0) {
  ToolShape t{};
  t.type = type;
  t.radius = radius;
  t.cornerRadius = corner;
  t.shankDiameter = shank;
  t.length = length;
  t.taperOn = taperOn;
  t.taperAngle = taperAngle;
  return t;
}

// A facet model (kind 4) with a ball tool of the given radius: its facets
// (sorted by top z as the loaders leave them, or kept in the given order),
// corner arrays and box.  Owns all of it, with the grids and groups added
// later, and frees it with the object.
class FacetTestModel {
 public:
  explicit FacetTestModel(const std::vector<Facet>& facets, double radius = 1.0,
                          bool sorted = true) {
    modelInit(&rec, kModelKindFacets);
    tool = toolShape(kToolBall, radius, radius, 0, 0);
    rec.tool = &tool;
    const int n = static_cast<int>(facets.size());
    rec.facets = static_cast<Facet*>(std::malloc(sizeof(Facet) * n));
    rec.minCorners = static_cast<Vec3d*>(std::malloc(sizeof(Vec3d) * n));
    rec.maxCorners = static_cast<Vec3d*>(std::malloc(sizeof(Vec3d) * n));
    for (int i = 0; i < n; ++i) rec.facets[i] = facets[i];
    rec.facetCount = n;
    if (sorted) modelSortFacets(rec.facets, n);
    modelFacetCorners(rec.facets, n, rec.minCorners, rec.maxCorners);
    if (n == 0) return;
    rec.boxMin = rec.minCorners[0];
    rec.boxMax = rec.maxCorners[0];
    for (int i = 1; i < n; ++i) {
      modelBoxWiden(&rec.boxMin, &rec.boxMax, &rec.minCorners[i]);
      modelBoxWiden(&rec.boxMin, &rec.boxMax, &rec.maxCorners[i]);
    }
  }
  ~FacetTestModel() { modelFreeSurfaces(&rec); }
  FacetTestModel(const FacetTestModel&) = delete;
  FacetTestModel& operator=(const FacetTestModel&) = delete;

  ModelRec rec{};
  ToolShape tool{};
};

}  // namespace model_test
