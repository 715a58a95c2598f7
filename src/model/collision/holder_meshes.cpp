#include "model/collision/holder_meshes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "base/messages.h"
#include "base/tolerances.h"
#include "geometry/primitives/mat4.h"
#include "model/io/model_load.h"
#include "model/mesh/model_grid.h"

namespace {

HolderMeshSet set{};

void warnNotChecked(int body) {
  msgNumberedInt(kHolderMsgLevel, kMsgBodyNotChecked, kMsgBodyNotCheckedText, body);
}

bool isEmpty(const char* s) { return s == nullptr || s[0] == '\0'; }

bool fileOpens(const char* name) {
  std::FILE* f = std::fopen(name, "rb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

bool meshHasTriangles(const FloatTriList* m) { return m != nullptr && m->count > 0; }

// Builds the tree of mesh.  A mesh with triangles whose tree cannot be had
// ran out of memory: the body is reported unchecked and the result is false.
bool buildTree(const FloatTriList* mesh, CollTree** tree, int body) {
  *tree = collTreeBuild(mesh);
  if (*tree != nullptr || !meshHasTriangles(mesh)) return true;
  warnNotChecked(body);
  return false;
}

FloatTri floatTri(const Vec3d& a, const Vec3d& b, const Vec3d& c) {
  FloatTri t;
  const Vec3d* v[3] = {&a, &b, &c};
  for (int i = 0; i < 3; ++i) {
    t.v[i][0] = static_cast<float>(v[i]->x);
    t.v[i][1] = static_cast<float>(v[i]->y);
    t.v[i][2] = static_cast<float>(v[i]->z);
  }
  return t;
}

// One surface set (the model's own or a group's): kind, items and grid.
struct SurfaceSet {
  int kind;
  const Facet* facets;
  const TriList* tris;
  int count;
  const ModelGrid* grid;
};

bool appendItem(FloatTriList* mesh, const SurfaceSet& s, int i) {
  if (s.kind == kModelKindFacets) {
    const Facet& f = s.facets[i];
    const FloatTri t1 = floatTri(f.v[0], f.v[1], f.v[2]);
    const FloatTri t2 = floatTri(f.v[0], f.v[2], f.v[3]);
    return listFloatTriAppend(mesh, &t1) > 0 && listFloatTriAppend(mesh, &t2) > 0;
  }
  const Tri& t = s.tris->items[i];
  const FloatTri ft = floatTri(t.v[0], t.v[1], t.v[2]);
  return listFloatTriAppend(mesh, &ft) > 0;
}

// Appends the items of s, cell by cell when it has a grid (each item once),
// then every item no cell listed.  False when memory runs out.
bool appendSurfaceSet(FloatTriList* mesh, const SurfaceSet& s) {
  if (s.count <= 0) return true;
  std::vector<unsigned char> taken;
  if (s.grid != nullptr && s.grid->cells != nullptr) {
    taken.assign(static_cast<std::size_t>(s.count), 0);
    for (int r = 0; r < s.grid->rows; ++r) {
      for (int c = 0; c < s.grid->cols; ++c) {
        const GridCell& cell = s.grid->cells[r][c];
        for (int k = 0; k < cell.count; ++k) {
          const int i = cell.items[k];
          if (i < 0 || i >= s.count || taken[static_cast<std::size_t>(i)] != 0) continue;
          taken[static_cast<std::size_t>(i)] = 1;
          if (!appendItem(mesh, s, i)) return false;
        }
      }
    }
  }
  for (int i = 0; i < s.count; ++i) {
    if (!taken.empty() && taken[static_cast<std::size_t>(i)] != 0) continue;
    if (!appendItem(mesh, s, i)) return false;
  }
  return true;
}

int itemCount(int kind, int facetCount, const TriList* tris) {
  if (kind == kModelKindFacets) return facetCount;
  return tris != nullptr ? tris->count : 0;
}

// A private copy of tree moved to p; the shared tree is not changed.
CollTree movedCopy(const CollTree* tree, const Vec3d* p) {
  CollTree copy = *tree;
  collTreeSetOffset(&copy, static_cast<float>(p->x), static_cast<float>(p->y),
                    static_cast<float>(p->z));
  return copy;
}

bool collides(const CollTree* surface, const CollTree* body, const Vec3d* p) {
  if (surface == nullptr || body == nullptr) return false;
  const CollTree moved = movedCopy(body, p);
  return collTreeCollide(surface, &moved, 0, nullptr) != 0;
}

bool collidesAt(double x, double y, double z) {
  const Vec3d p{x, y, z};
  return holderMeshesCollideAt(&p) == -2;
}

}  // namespace

const HolderMeshSet* holderMeshSet() { return &set; }

int holderSectorCount(double radius, double tolerance) {
  if (!(radius > 0.0)) return kHolderAxisSectors;
  double g = tolerance;
  if (!(g > 0.0)) g = kHolderMinChordShare * radius;
  const double a = std::acos(std::clamp((radius - g) / radius, -1.0, 1.0));
  if (!(a > 0.0)) return kHolderMaxSectors;
  const double q = std::numbers::pi / a;
  if (!(q < kHolderMaxSectors - 1)) return kHolderMaxSectors;
  return 1 + static_cast<int>(q);
}

FloatTriList* holderMeshFromOutline(const ToolOutline* outline, double tolerance) {
  const bool flat = outline == nullptr || outline->count <= 0 ||
                    !(outline->minY + kGeoEqualTol <= outline->maxY);
  if (flat) return listFloatTriNew(0);
  const int widest = holderSectorCount(outline->maxX, tolerance);
  const std::int64_t want = static_cast<std::int64_t>(outline->count) * widest * 2;
  FloatTriList* mesh = listFloatTriNew(static_cast<int>(std::min<std::int64_t>(want, 1 << 24)));
  if (mesh == nullptr) return nullptr;
  for (int i = 0; i < outline->count; ++i) {
    const Seg2& s = outline->segments[i];
    const int n = holderSectorCount(std::max(s.x0, s.x1), tolerance);
    Mat4 rot;
    mat4FromRotation(kMat4RotXToY, 2.0 * std::numbers::pi / n, &rot);
    Vec3d q{s.x0, 0.0, s.y0};
    Vec3d r{s.x1, 0.0, s.y1};
    for (int k = 0; k < n; ++k) {
      Vec3d q2, r2;
      mat4ApplyPoint(&q, &rot, &q2);
      mat4ApplyPoint(&r, &rot, &r2);
      const FloatTri t1 = floatTri(q, r, q2);
      const FloatTri t2 = floatTri(q2, r, r2);
      if (listFloatTriAppend(mesh, &t1) < 0 || listFloatTriAppend(mesh, &t2) < 0) {
        listFloatTriFree(mesh);
        return nullptr;
      }
      q = q2;
      r = r2;
    }
  }
  return mesh;
}

FloatTriList* holderMeshFromModel(const ModelRec* model) {
  std::int64_t total = itemCount(model->kind, model->facetCount, model->triangles);
  for (const SurfaceGroup* g = model->groups; g != nullptr; g = g->next) {
    total += itemCount(g->kind, g->facetCount, g->triangles);
  }
  if (model->kind == kModelKindFacets) total *= 2;
  FloatTriList* mesh = listFloatTriNew(static_cast<int>(std::min<std::int64_t>(total, 1 << 28)));
  if (mesh == nullptr) return nullptr;
  bool ok = appendSurfaceSet(mesh, {model->kind, model->facets, model->triangles,
                                    itemCount(model->kind, model->facetCount, model->triangles),
                                    model->grid});
  for (const SurfaceGroup* g = model->groups; ok && g != nullptr; g = g->next) {
    ok = appendSurfaceSet(mesh, {g->kind, g->facets, g->triangles,
                                 itemCount(g->kind, g->facetCount, g->triangles), g->grid});
  }
  if (!ok) {
    listFloatTriFree(mesh);
    return nullptr;
  }
  return mesh;
}

FloatTriList* holderMeshFromFile(const char* file, double offset, double radius) {
  if (isEmpty(file)) return nullptr;
  ToolShape tool{};
  tool.type = kToolBall;
  tool.radius = radius;
  tool.cornerRadius = radius;
  tool.shankDiameter = 2.0 * radius;
  ModelRec scratch;
  modelInit(&scratch, kModelKindTriangles);
  scratch.tool = &tool;
  FloatTriList* mesh = nullptr;
  if (modelLoadFile(&scratch, file) == 0 && scratch.triangles != nullptr) {
    modelBuildGrids(&scratch);
    const int n = scratch.triangles->count;
    mesh = listFloatTriNew(std::fabs(offset) >= kGeoEqualTol ? 2 * n : n);
    if (mesh != nullptr &&
        !appendSurfaceSet(mesh, {kModelKindTriangles, nullptr, scratch.triangles, n, scratch.grid})) {
      listFloatTriFree(mesh);
      mesh = nullptr;
    }
  }
  modelFreeSurfaces(&scratch);
  return mesh;
}

void holderFreeModels() {
  CollTree** trees[] = {&set.surfaceTree, &set.holderTree, &set.headTree, &set.holderCheckTree,
                        &set.headCheckTree};
  for (CollTree** t : trees) {
    collTreeFree(*t);
    *t = nullptr;
  }
  FloatTriList** meshes[] = {&set.surfaceMesh, &set.holderMesh, &set.headMesh,
                             &set.holderCheckMesh, &set.headCheckMesh};
  for (FloatTriList** m : meshes) {
    listFloatTriFree(*m);
    *m = nullptr;
  }
}

void holderMeshReset() {
  holderFreeModels();
  set.liftRadius = 0.0;
  set.holderMeshTolerance = 0.0;
  set.headMeshTolerance = 0.0;
}

void holderSetMeshTolerances(double holderTolerance, double headTolerance) {
  set.holderMeshTolerance = holderTolerance;
  set.headMeshTolerance = headTolerance;
}

int holderBuildDefault(ModelRec* model, const HolderClearance* c, double tolerance, double) {
  holderFreeModels();
  set.liftRadius = c->radius;
  set.surfaceMesh = holderMeshFromModel(model);
  if (set.surfaceMesh == nullptr) {
    warnNotChecked(kHolderBodyModel);
    return -1;
  }
  ToolOutline* holder = toolOutlineHolder(c);
  ToolOutline* head = toolOutlineHead(c);
  if (holder != nullptr) set.holderMesh = holderMeshFromOutline(holder, tolerance);
  if (head != nullptr) set.headMesh = holderMeshFromOutline(head, tolerance);
  toolOutlineFree(holder);
  toolOutlineFree(head);
  if (set.holderMesh == nullptr) warnNotChecked(kHolderBodyHolder);
  if (set.headMesh == nullptr) warnNotChecked(kHolderBodyHead);
  if (set.holderMesh == nullptr || set.headMesh == nullptr) return -1;
  // A body without triangles (an outline without height) is never checked.
  if (set.holderMesh->count == 0) warnNotChecked(kHolderBodyHolder);
  if (set.headMesh->count == 0) warnNotChecked(kHolderBodyHead);
  bool ok = buildTree(set.surfaceMesh, &set.surfaceTree, kHolderBodyModel);
  ok = buildTree(set.holderMesh, &set.holderTree, kHolderBodyHolder) && ok;
  ok = buildTree(set.headMesh, &set.headTree, kHolderBodyHead) && ok;
  return ok ? 1 : -1;
}

int holderBuildFromFiles(ModelRec* model, const HolderClearance* c, double allowance,
                         const char* holderSurfaceFile, const char* headSurfaceFile,
                         const char* holderKfyFile, const char* headKfyFile, double b, double cl) {
  holderFreeModels();
  set.liftRadius = c->radius;
  const double t =
      std::fabs(set.holderMeshTolerance) < kGeoEqualTol ? b / 2.0 : set.holderMeshTolerance;
  const double v = std::fabs(set.headMeshTolerance) < kGeoEqualTol ? cl / 2.0 : set.headMeshTolerance;
  const bool shifted = std::fabs(allowance) >= kGeoEqualTol;

  // The surfaces each body must not touch.
  if (!isEmpty(holderSurfaceFile)) {
    if (fileOpens(holderSurfaceFile)) {
      set.holderCheckMesh = holderMeshFromFile(holderSurfaceFile, 0.0, c->radius);
      if (set.holderCheckMesh == nullptr) return -1;
    } else {
      warnNotChecked(kHolderBodyHolderSurface);
    }
  }
  if (!isEmpty(headSurfaceFile)) {
    if (fileOpens(headSurfaceFile)) {
      set.headCheckMesh = holderMeshFromFile(headSurfaceFile, 0.0, c->radius);
      if (set.headCheckMesh == nullptr) {
        holderFreeModels();
        return -1;
      }
    } else {
      warnNotChecked(kHolderBodyHeadSurface);
    }
  }

  int result = 1;
  // Holder outline, its shank and its offsets.
  int status = 1;
  ToolOutline* holder = nullptr;
  if (!isEmpty(holderKfyFile)) {
    holder = toolOutlineFromKfy(holderKfyFile, "Holder", b / 2.0, c->freeLength, kOutlineTagHolder,
                                &status);
    if (holder == nullptr) warnNotChecked(kHolderBodyHolder);
  } else {
    holder = toolOutlineHolder(c);
    status = holder != nullptr ? 1 : -1;
  }
  if (status < 0) return -1;
  if (shifted) toolOutlineOffset(holder, allowance);
  const ToolShape* tool = model != nullptr ? model->tool : nullptr;
  const int taperFlag = tool != nullptr ? tool->taperOn : 0;
  const bool taperedWithoutShank = taperFlag != 0 && std::fabs(c->taperAngle) >= kGeoEqualTol &&
                                   std::fabs(c->shankLength) < kGeoEqualTol;
  if (c->shankDiameter - kGeoEqualTol > 2.0 * c->radius && !taperedWithoutShank) {
    holder = toolOutlineAddShank(holder, c, 2.0 * c->radius, taperFlag, &status);
    if (status < 0) {
      toolOutlineFree(holder);
      return -1;
    }
  }
  const double headBase =
      holder != nullptr && holder->count > 0 ? holder->segments[holder->count - 1].y1 : c->freeLength;
  if (toolOutlineOffset(holder, kHolderChordOffsetFactor * t + b) < 0) {
    msgNumberedInt(kHolderMsgLevel, kMsgOffsetError, kMsgOffsetErrorText, 0);
    result = -1;
  }
  if (holder != nullptr) {
    if (shifted) toolOutlineShift(holder, allowance);
    set.holderMesh = holderMeshFromOutline(holder, t);
    toolOutlineFree(holder);
    if (set.holderMesh == nullptr) return -1;
  }

  // Head outline.
  ToolOutline* head = nullptr;
  if (!isEmpty(headKfyFile)) {
    head = toolOutlineFromKfy(headKfyFile, "Head", b / 2.0, headBase, kOutlineTagHolder, &status);
    if (head == nullptr) warnNotChecked(kHolderBodyHead);
  } else {
    head = toolOutlineHead(c);
    status = head != nullptr ? 1 : -1;
  }
  if (status < 0) return -1;
  toolOutlineOffset(head, cl + allowance + kHolderChordOffsetFactor * v);
  if (head != nullptr) {
    if (shifted) toolOutlineShift(head, allowance);
    set.headMesh = holderMeshFromOutline(head, v);
    toolOutlineFree(head);
    if (set.headMesh == nullptr) return -1;
  }
  if (set.holderMesh != nullptr && set.holderMesh->count == 0) warnNotChecked(kHolderBodyHolder);
  if (set.headMesh != nullptr && set.headMesh->count == 0) warnNotChecked(kHolderBodyHead);

  bool ok = buildTree(set.holderCheckMesh, &set.holderCheckTree, kHolderBodyHolderSurface);
  ok = buildTree(set.headCheckMesh, &set.headCheckTree, kHolderBodyHeadSurface) && ok;
  ok = buildTree(set.holderMesh, &set.holderTree, kHolderBodyHolder) && ok;
  ok = buildTree(set.headMesh, &set.headTree, kHolderBodyHead) && ok;
  return ok ? result : -1;
}

int holderMeshesCollideAt(const Vec3d* p) {
  if (set.surfaceTree != nullptr) {
    if (collides(set.surfaceTree, set.headTree, p)) return -2;
    if (collides(set.surfaceTree, set.holderTree, p)) return -2;
    return 1;
  }
  if (collides(set.headCheckTree, set.headTree, p)) return -2;
  if (collides(set.holderCheckTree, set.holderTree, p)) return -2;
  return 1;
}

int holderFindLift(const Vec3d* p, double* lift) {
  double lo = p->z + *lift;
  if (!collidesAt(p->x, p->y, lo)) return 1;
  const FloatTriList* top = nullptr;
  for (const FloatTriList* m : {set.surfaceMesh, set.holderCheckMesh, set.headCheckMesh}) {
    if (meshHasTriangles(m)) {
      top = m;
      break;
    }
  }
  if (top == nullptr) return -1;
  // Never below the start: the search only raises the tool.
  double hi = std::max(static_cast<double>(top->maxZ) + set.liftRadius + kHolderLiftMargin, lo);
  if (collidesAt(p->x, p->y, hi)) {
    hi += kHolderLiftRetry;
    if (collidesAt(p->x, p->y, hi)) return -1;
  }
  while (hi - lo > kHolderLiftResolution) {
    const double mid = 0.5 * (lo + hi);
    if (collidesAt(p->x, p->y, mid)) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  *lift = hi - p->z;
  return 1;
}
