#include "model/drop/model_queries.h"

#include <algorithm>
#include <cmath>

#include "base/tolerances.h"
#include "geometry/primitives/nearest3d.h"
#include "model/contact/contact_triangle.h"
#include "model/mesh/model_grid.h"

namespace {

// The items to walk: a grid cell's index list, or all count items (null
// indices).  A cell holds every item whose box grown by the grid's margin
// reaches it, so it serves only for searches that reach no farther than that
// margin (at least the tool radius for every grid of a model); wider
// searches walk all items.
struct ItemWalk {
  const int* indices = nullptr;
  int count = 0;
  int at(int k) const { return indices != nullptr ? indices[k] : k; }
};

ItemWalk itemsAt(const ModelGrid* grid, const ToolShape* tool, int itemCount, double x, double y,
                 double reach) {
  ItemWalk w;
  w.count = itemCount;
  if (grid != nullptr && tool != nullptr && reach <= tool->radius) {
    modelGridCellItems(grid, x, y, &w.indices, &w.count);
  }
  return w;
}

bool boxMisses(const Vec3d& lo, const Vec3d& hi, double x, double y, double r) {
  return hi.x < x - r || lo.x > x + r || hi.y < y - r || lo.y > y + r;
}

void triToArray(const Tri& t, double out[9]) {
  for (int k = 0; k < 3; ++k) {
    out[3 * k] = t.v[k].x;
    out[3 * k + 1] = t.v[k].y;
    out[3 * k + 2] = t.v[k].z;
  }
}

// The torus drop of one triangle: the height reached, or kContactNoHeight
// when the torus does not touch at or above height.
double torusHeight(const double tri[9], double zSign, const ToolShape* tool, const Vec3d& at,
                   double height) {
  ContactTriangle rec{};
  for (int k = 0; k < 3; ++k) {
    rec.v[k] = {tri[3 * k], tri[3 * k + 1], zSign * tri[3 * k + 2]};
  }
  rec.position = at;
  rec.height = height;
  const double ring = tool->radius - tool->cornerRadius;
  rec.radius = ring;
  rec.ringRadius = ring;
  rec.cornerRadius = tool->cornerRadius;
  if (contactTorusTriangle(&rec) == kContactNone) return kContactNoHeight;
  return rec.height;
}

// One surface set for the near-point walk: triangles (tris) or facets.
struct SurfaceSet {
  const TriList* tris;
  const Facet* facets;
  int facetCount;
  const Vec3d* minCorners;
  const Vec3d* maxCorners;
  const ModelGrid* grid;
  const ToolShape* tool;
};

int nearPointIn(const SurfaceSet& s, const Vec3d* p, double d, Vec3d* out) {
  const int itemCount = s.tris != nullptr ? s.tris->count : s.facetCount;
  if (itemCount <= 0 || s.minCorners == nullptr || s.maxCorners == nullptr) return 1;
  const ItemWalk w = itemsAt(s.grid, s.tool, itemCount, p->x, p->y, d);
  for (int k = 0; k < w.count; ++k) {
    const int i = w.at(k);
    if (p->z - d > s.maxCorners[i].z) break;
    if (boxMisses(s.minCorners[i], s.maxCorners[i], p->x, p->y, d)) continue;
    double tri[9];
    Vec3d q{};
    if (s.tris != nullptr) {
      triToArray(s.tris->items[i], tri);
      if (triNearestPoint(tri, p, &q) < d) {
        *out = q;
        return 0;
      }
      continue;
    }
    const Facet& f = s.facets[i];
    for (int half = 0; half < 2; ++half) {
      const Tri t{{f.v[0], f.v[1 + half], f.v[2 + half]}};
      triToArray(t, tri);
      if (triNearestPoint(tri, p, &q) < d) {
        *out = q;
        return 0;
      }
    }
  }
  return 1;
}

// The surfaces of the model or of a group (both hold them in fields of the
// same names), as triangles or as facets.
template <typename Holder>
SurfaceSet surfaceSetOf(const Holder& h, const ToolShape* tool, bool tris) {
  return {tris ? h.triangles : nullptr,
          tris ? nullptr : h.facets,
          tris ? 0 : h.facetCount,
          h.minCorners,
          h.maxCorners,
          h.grid,
          tool};
}

int nearPoint(const ModelRec* model, const Vec3d* p, double d, Vec3d* out, bool tris) {
  if (model == nullptr) return 1;
  auto found = [&](const SurfaceSet& s) {
    const bool has = tris ? s.tris != nullptr : s.facets != nullptr;
    return has && nearPointIn(s, p, d, out) == 0;
  };
  if (found(surfaceSetOf(*model, model->tool, tris))) return 0;
  for (const SurfaceGroup* g = model->groups; g != nullptr; g = g->next) {
    if (found(surfaceSetOf(*g, &g->tool, tris))) return 0;
  }
  return 1;
}

}  // namespace

int triToolIntersects(const double triangle[9], const ToolShape* tool, const Vec3d* position) {
  const double z0 = triangle[2], z1 = triangle[5], z2 = triangle[8];
  const double a = std::max({z0, z1, z2}) - std::min({z0, z1, z2});
  const double z = position->z;
  const double above =
      torusHeight(triangle, 1.0, tool, {position->x, position->y, z + a + kToolFreeStartLift}, z);
  if (above == kContactNoHeight || above < z + kToolFreeTol) return 0;
  const double below =
      torusHeight(triangle, -1.0, tool, {position->x, position->y, a + kToolFreeStartLift - z}, -z);
  return below != kContactNoHeight && below >= kToolFreeTol - z ? 1 : 0;
}

int modelTriToolFreeAt(const ModelRec* model, const Vec3d* position) {
  if (model == nullptr || model->tool == nullptr || model->triangles == nullptr ||
      model->minCorners == nullptr || model->maxCorners == nullptr) {
    return 1;
  }
  const ToolShape* tool = model->tool;
  const double r = tool->radius;
  const double floorZ = position->z - tool->cornerRadius;
  const ItemWalk w =
      itemsAt(model->grid, tool, model->triangles->count, position->x, position->y, r);
  for (int k = 0; k < w.count; ++k) {
    const int i = w.at(k);
    if (model->maxCorners[i].z < floorZ) break;
    if (boxMisses(model->minCorners[i], model->maxCorners[i], position->x, position->y, r)) {
      continue;
    }
    double tri[9];
    triToArray(model->triangles->items[i], tri);
    if (triToolIntersects(tri, tool, position) == 1) return 0;
  }
  return 1;
}

double triNearestPoint(const double triangle[9], const Vec3d* point, Vec3d* out) {
  const Vec3d v0{triangle[0], triangle[1], triangle[2]};
  const Vec3d v1{triangle[3], triangle[4], triangle[5]};
  const Vec3d v2{triangle[6], triangle[7], triangle[8]};
  const Vec3d e1{v1.x - v0.x, v1.y - v0.y, v1.z - v0.z};
  const Vec3d e2{v2.x - v0.x, v2.y - v0.y, v2.z - v0.z};
  const Vec3d c{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
  const double cl = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
  if (cl > 0.0) {
    const Vec3d n{c.x / cl, c.y / cl, c.z / cl};
    const Vec3d w{point->x - v0.x, point->y - v0.y, point->z - v0.z};
    const double h = n.x * w.x + n.y * w.y + n.z * w.z;
    const Vec3d f{point->x - h * n.x, point->y - h * n.y, point->z - h * n.z};
    // Barycentric coordinates of the foot: f - v0 = s e1 + t e2.
    const Vec3d q{f.x - v0.x, f.y - v0.y, f.z - v0.z};
    const double d11 = e1.x * e1.x + e1.y * e1.y + e1.z * e1.z;
    const double d12 = e1.x * e2.x + e1.y * e2.y + e1.z * e2.z;
    const double d22 = e2.x * e2.x + e2.y * e2.y + e2.z * e2.z;
    const double q1 = q.x * e1.x + q.y * e1.y + q.z * e1.z;
    const double q2 = q.x * e2.x + q.y * e2.y + q.z * e2.z;
    const double det = d11 * d22 - d12 * d12;
    if (det > 0.0) {
      const double s = (d22 * q1 - d12 * q2) / det;
      const double t = (d11 * q2 - d12 * q1) / det;
      if (s >= 0.0 && s <= 1.0 && t >= 0.0 && t <= 1.0 && s + t <= 1.0) {
        *out = f;
        return std::fabs(h);
      }
    }
  }
  const Vec3d* ends[3][2] = {{&v0, &v1}, {&v1, &v2}, {&v2, &v0}};
  double best = 0.0;
  for (int k = 0; k < 3; ++k) {
    Vec3d q{};
    const double d = seg3NearestPoint(ends[k][0], ends[k][1], point, &q);
    if (k == 0 || d < best) {
      best = d;
      *out = q;
    }
  }
  return best;
}

int modelTriNearPoint(const ModelRec* model, const Vec3d* position, double distance, Vec3d* out) {
  return nearPoint(model, position, distance, out, true);
}

int modelFacetNearPoint(const ModelRec* model, const Vec3d* position, double distance, Vec3d* out) {
  return nearPoint(model, position, distance, out, false);
}

int modelNearPoint(const ModelRec* model, const Vec3d* position, double distance, Vec3d* out) {
  if (model == nullptr) return 1;
  return model->kind == kModelKindTriangles ? modelTriNearPoint(model, position, distance, out)
                                            : modelFacetNearPoint(model, position, distance, out);
}
