#include "model/collision/tool_axis_collision.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "geometry/lists/lists.h"
#include "model/contact/contact_triangle.h"
#include "model/mesh/model_grid.h"

namespace {

std::atomic<int> gStockMode{0};

inline double dot(const Vec3d& a, const Vec3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The frame of one test: origin P, z along the axis D.  In it the travel is
// -z, a centre's z is its lift L + h above P, and the vertical contact cases
// apply as they are.  A vertical axis gives the identity rotation, so that
// a test straight up works on the model's own coordinates (shifted to P).
struct AxisFrame {
  Vec3d ex, ey, ez;
  Vec3d origin;

  Vec3d toFrame(const Vec3d& p) const {
    const Vec3d w{p.x - origin.x, p.y - origin.y, p.z - origin.z};
    return {dot(ex, w), dot(ey, w), dot(ez, w)};
  }
  Vec3d toWorld(const Vec3d& q) const {
    return {origin.x + q.x * ex.x + q.y * ey.x + q.z * ez.x,
            origin.y + q.x * ex.y + q.y * ey.y + q.z * ez.y,
            origin.z + q.x * ex.z + q.y * ey.z + q.z * ez.z};
  }
};

// Unit axis of the test; a zero or non-finite axis stands for (0, 0, 1).
Vec3d unitAxis(const Vec3d* axis) {
  const double len = std::sqrt(dot(*axis, *axis));
  if (!(len > 1e-12) || !std::isfinite(len)) return {0.0, 0.0, 1.0};
  return {axis->x / len, axis->y / len, axis->z / len};
}

AxisFrame frameOf(const Vec3d& p, const Vec3d& d) {
  AxisFrame f;
  f.origin = p;
  f.ez = d;
  if (d.x == 0.0 && d.y == 0.0 && d.z > 0.0) {
    f.ex = {1.0, 0.0, 0.0};
    f.ey = {0.0, 1.0, 0.0};
    f.ez = {0.0, 0.0, 1.0};
    return f;
  }
  // Gram-Schmidt of a reference direction far from the axis; ey = D x ex
  // keeps the frame right-handed.
  const Vec3d ref = std::fabs(d.x) < 0.9 ? Vec3d{1.0, 0.0, 0.0} : Vec3d{0.0, 1.0, 0.0};
  const double k = dot(ref, d);
  Vec3d ex{ref.x - k * d.x, ref.y - k * d.y, ref.z - k * d.z};
  const double len = std::sqrt(dot(ex, ex));
  ex = {ex.x / len, ex.y / len, ex.z / len};
  f.ex = ex;
  f.ey = {d.y * ex.z - d.z * ex.y, d.z * ex.x - d.x * ex.z, d.x * ex.y - d.y * ex.x};
  return f;
}

// The tool as the kernels of this test see it.
struct AxisTool {
  int type;
  double radius;  // tool radius (swept box, early stop)
  double reach;   // ball and flat radius, torus ring radius
  double corner;  // torus corner radius
};

// False for tools without a kernel here (they never touch).
bool axisToolOf(const ToolShape* tool, AxisTool* out) {
  if (tool == nullptr) return false;
  out->type = tool->type;
  out->radius = tool->radius;
  out->reach = tool->radius;
  out->corner = tool->cornerRadius;
  switch (tool->type) {
    case kToolBall:
    case kToolFlat:
      return true;
    case kToolTorus:
      out->reach = tool->radius - tool->cornerRadius;
      return true;
    default:
      return false;
  }
}

int runKernel(const AxisTool& tool, ContactTriangle* rec) {
  switch (tool.type) {
    case kToolBall:
      return contactBallTriangleAxis(rec);
    case kToolFlat:
      return contactFlatTriangleAxis(rec);
    default:
      return contactTorusTriangleAxis(rec);
  }
}

// One walk over a set of items: the test's frame and swept box, and the best
// contact so far.
struct AxisWalk {
  AxisFrame frame;
  Vec3d start;  // S
  CollAxisContact best{0, 0.0, {0.0, 0.0, 0.0}};

  // Offers the item with vertices v[0..n-1] (n = 3 or 4; a facet is tested as
  // (A, B, C) and (A, C, D)).  The record starts at the tool at P (lift 0,
  // height -L); the second triangle has to beat what the first stored.
  void testItem(const AxisTool& tool, const Vec3d* v, int n) {
    ContactTriangle rec{};
    rec.position = {0.0, 0.0, 0.0};
    rec.height = 0.0;
    rec.contact = rec.position;
    rec.radius = tool.reach;
    rec.ringRadius = tool.reach;
    rec.cornerRadius = tool.corner;
    const Vec3d a = frame.toFrame(v[0]);
    const Vec3d c = frame.toFrame(v[2]);
    rec.v[0] = a;
    rec.v[1] = frame.toFrame(v[1]);
    rec.v[2] = c;
    int stored = runKernel(tool, &rec);
    if (n == 4) {
      rec.v[0] = a;
      rec.v[1] = c;
      rec.v[2] = frame.toFrame(v[3]);
      stored |= runKernel(tool, &rec);
    }
    if (stored == 0) return;
    const double lift = rec.height;
    if (!(lift >= kCollAxisMinLift)) return;
    if (best.found == 0 || lift > best.lift) {
      best.lift = lift;
      best.contact = frame.toWorld(rec.contact);
    }
    best.found = 1;
  }
};

// Items of one surface set: facets (4 vertices) or triangles (3).
struct ItemSet {
  const Facet* facets;
  const Tri* tris;
  int count;
  const Vec3d* minCorners;
  const Vec3d* maxCorners;

  const Vec3d* vertices(int i) const { return facets != nullptr ? facets[i].v : tris[i].v; }
  int corners() const { return facets != nullptr ? 4 : 3; }
};

// Walks items (all, or the listed indices in ascending order) of one set
// with tool.  stopZ: with early stop, the walk ends at the first item whose
// highest corner lies below it (items are sorted by top z, highest first).
void walkItems(AxisWalk* walk, const ItemSet& set, const AxisTool& tool, const int* indices,
               int count, bool earlyStop, double stopZ) {
  const Vec3d& p = walk->frame.origin;
  const Vec3d& s = walk->start;
  const double r = tool.radius;
  const double loX = std::min(p.x, s.x) - r;
  const double hiX = std::max(p.x, s.x) + r;
  const double loY = std::min(p.y, s.y) - r;
  const double hiY = std::max(p.y, s.y) + r;
  const int n = indices != nullptr ? count : set.count;
  for (int k = 0; k < n; ++k) {
    const int i = indices != nullptr ? indices[k] : k;
    if (i < 0 || i >= set.count) continue;
    const Vec3d* v = set.vertices(i);
    Vec3d lo, hi;
    if (set.minCorners != nullptr && set.maxCorners != nullptr) {
      lo = set.minCorners[i];
      hi = set.maxCorners[i];
    } else {
      lo = hi = v[0];
      for (int j = 1; j < set.corners(); ++j) {
        lo = {std::min(lo.x, v[j].x), std::min(lo.y, v[j].y), std::min(lo.z, v[j].z)};
        hi = {std::max(hi.x, v[j].x), std::max(hi.y, v[j].y), std::max(hi.z, v[j].z)};
      }
    }
    if (earlyStop && hi.z < stopZ) break;
    if (!(lo.x < hiX && hi.x > loX && lo.y < hiY && hi.y > loY)) continue;
    walk->testItem(tool, v, set.corners());
  }
}

// The items of a model's own surfaces or of a group (the same fields).
template <class Surfaces>
ItemSet itemsOf(const Surfaces* r) {
  ItemSet set{nullptr, nullptr, 0, r->minCorners, r->maxCorners};
  if (r->kind == kModelKindTriangles) {
    if (r->triangles != nullptr && r->triangles->items != nullptr) {
      set.tris = r->triangles->items;
      set.count = r->triangles->count;
    }
  } else if (r->facets != nullptr) {
    set.facets = r->facets;
    set.count = r->facetCount;
  }
  return set;
}

int verdict(const ModelRec* model, const CollAxisContact& c, const Vec3d* position,
            const Vec3d* axis, bool stockMode) {
  if (c.found == 0 || c.lift < model->minStep) return kCollFree;
  if (stockMode) return kCollHit;
  const Vec3d d = unitAxis(axis);
  const Vec3d w{c.contact.x - position->x, c.contact.y - position->y, c.contact.z - position->z};
  return dot(w, d) >= kCollAxisAboveTol ? kCollHit : kCollFree;
}

}  // namespace

CollAxisContact collToolAxisContact(const ModelRec* model, const Vec3d* position, const Vec3d* axis,
                                    double length, const ModelGrid* grid, double angle) {
  const Vec3d D = unitAxis(axis);
  AxisWalk walk;
  walk.frame = frameOf(*position, D);
  walk.start = {position->x + length * D.x, position->y + length * D.y, position->z + length * D.z};

  AxisTool tool;
  if (axisToolOf(model->tool, &tool)) {
    // The travel d = -D points down when the axis points up: surfaces wholly
    // below the lowest reach of the tool at P cannot lift it.
    const bool earlyStop = -D.z < -kCollAxisDirTol;
    const bool vertical = std::fabs(D.x) < kCollAxisDirTol && std::fabs(D.y) < kCollAxisDirTol;
    const double stopZ = (tool.type == kToolFlat && vertical)
                             ? position->z + kCollAxisStopTol
                             : position->z - tool.radius + kCollAxisStopTol;
    const ItemSet set = itemsOf(model);
    const int* indices = nullptr;
    int count = 0;
    if (grid != nullptr) {
      const double half = std::sin(angle) * length * 0.5;
      const GridCell* cell =
          modelGridCellAt(grid, position->x + half * D.x, position->y + half * D.y);
      indices = cell->items;
      count = cell->count;
    }
    if (indices != nullptr || grid == nullptr) {
      walkItems(&walk, set, tool, indices, count, earlyStop, stopZ);
    }
  }
  for (const SurfaceGroup* g = model->groups; g != nullptr; g = g->next) {
    AxisTool groupTool;
    if (!axisToolOf(&g->tool, &groupTool)) continue;
    walkItems(&walk, itemsOf(g), groupTool, nullptr, 0, false, 0.0);
  }
  return walk.best;
}

int collToolAxisFacets(const ModelRec* model, const Vec3d* position, const Vec3d* axis,
                       double length, const ModelGrid* grid, double angle) {
  const CollAxisContact c = collToolAxisContact(model, position, axis, length, grid, angle);
  return verdict(model, c, position, axis, collToolAxisStockMode() != 0);
}

int collToolAxisTris(const ModelRec* model, const Vec3d* position, const Vec3d* axis, double length,
                     const ModelGrid* grid, double angle) {
  const CollAxisContact c = collToolAxisContact(model, position, axis, length, grid, angle);
  return verdict(model, c, position, axis, false);
}

int collToolAxisTest(const ModelRec* model, const Vec3d* position, const Vec3d* axis, double length,
                     const ModelGrid* grid, double angle) {
  if (model->kind == kModelKindTriangles) {
    return collToolAxisTris(model, position, axis, length, grid, angle);
  }
  return collToolAxisFacets(model, position, axis, length, grid, angle);
}

int collToolAxisSetStockMode(int flag) { return gStockMode.exchange(flag); }

int collToolAxisStockMode() { return gStockMode.load(std::memory_order_relaxed); }

void collToolAxisReset() { gStockMode.store(0); }
