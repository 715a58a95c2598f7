#include "model/mesh/model.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "base/messages.h"
#include "model/contact/contact_settings.h"
#include "model/mesh/model_grid.h"

namespace {

constexpr int kMsgAllowanceWrong = 330;
constexpr int kMsgLevelWarning = 9;

// Allocates n elements of T (at least one, so that null always means failure).
template <class T>
T* allocArray(long long n) {
  return static_cast<T*>(std::malloc(sizeof(T) * static_cast<std::size_t>(std::max(1LL, n))));
}

int groupItemCount(const SurfaceGroup* g) {
  if (g->kind == kModelKindTriangles) return g->triangles ? g->triangles->count : 0;
  return g->facets ? g->facetCount : 0;
}

// The shank follows only a radius change that was kept: a tool too small to
// shrink keeps its shank, and no shank ever becomes negative.
void growRadius(ToolShape* tool, double delta, bool shrinkShank, bool* changed) {
  const double r = tool->radius + delta;
  if (!(r > kModelTol)) return;
  tool->radius = r;
  if (changed) *changed = true;
  if (shrinkShank && delta < 0.0) {
    tool->shankDiameter = std::max(0.0, tool->shankDiameter + 2.0 * delta);
  }
}

void retype(ToolShape* tool) {
  if (std::fabs(tool->cornerRadius - tool->radius) < kModelTol) {
    tool->type = kToolBall;
  } else if (std::fabs(tool->cornerRadius) < kModelTol) {
    tool->type = kToolFlat;
  } else {
    tool->type = kToolTorus;
  }
}

// Items from this count on are sorted (and their corners found) by several
// threads.
constexpr int kParallelSortMin = 1 << 15;
// Chunks of the items that count and place their digits on their own
// (any count gives the same order).
constexpr int kSortChunks = 16;
constexpr int kDigitBits = 8;
constexpr int kDigitCount = 1 << kDigitBits;

struct RadixItem {
  uint64_t key;
  int index;
};

// The key whose ascending order is the top-first order of the values:
// highest first, -0 equal to +0, and values that are not numbers last.
uint64_t topFirstKey(double value) {
  if (value != value) return std::numeric_limits<uint64_t>::max();
  constexpr uint64_t kSign = uint64_t{1} << 63;
  const uint64_t bits = std::bit_cast<uint64_t>(value + 0.0);  // -0 + 0 is +0
  const uint64_t ascending = (bits & kSign) != 0 ? ~bits : bits | kSign;
  return ~ascending;
}

// The order of count keys, highest first, with equal keys (and the keys
// that are not numbers, which come last) in index order.  A stable
// radix sort, digit by digit from the lowest, whose chunks several threads
// count and place when there are many.  False when scratch memory is
// missing.
bool topFirstOrder(const double* keys, int count, int* order) {
  if (count <= 0) return true;
  std::unique_ptr<RadixItem[]> from(new (std::nothrow) RadixItem[count]);
  std::unique_ptr<RadixItem[]> to(new (std::nothrow) RadixItem[count]);
  if (!from || !to) return false;
  const bool parallel = count >= kParallelSortMin;
  const int chunks = parallel ? kSortChunks : 1;
  int bound[kSortChunks + 1];
  for (int c = 0; c <= chunks; ++c) {
    bound[c] = static_cast<int>(static_cast<long long>(count) * c / chunks);
  }
#pragma omp parallel for schedule(static) if (parallel)
  for (int i = 0; i < count; ++i) from[i] = RadixItem{topFirstKey(keys[i]), i};
  // next[c][d]: where chunk c puts its next item of digit d.
  std::array<int, kDigitCount> next[kSortChunks];
  for (int shift = 0; shift < 64; shift += kDigitBits) {
    const auto digit = [shift](const RadixItem& item) {
      return static_cast<int>((item.key >> shift) & (kDigitCount - 1));
    };
#pragma omp parallel for schedule(static) if (parallel)
    for (int c = 0; c < chunks; ++c) {
      next[c].fill(0);
      for (int i = bound[c]; i < bound[c + 1]; ++i) ++next[c][digit(from[i])];
    }
    int start = 0;
    bool oneDigit = false;
    for (int d = 0; d < kDigitCount; ++d) {
      const int first = start;
      for (int c = 0; c < chunks; ++c) {
        const int n = next[c][d];
        next[c][d] = start;
        start += n;
      }
      oneDigit = oneDigit || start - first == count;
    }
    // Items that all share this digit keep their order.
    if (oneDigit) continue;
#pragma omp parallel for schedule(static) if (parallel)
    for (int c = 0; c < chunks; ++c) {
      for (int i = bound[c]; i < bound[c + 1]; ++i) to[next[c][digit(from[i])]++] = from[i];
    }
    from.swap(to);
  }
#pragma omp parallel for schedule(static) if (parallel)
  for (int i = 0; i < count; ++i) order[i] = from[i].index;
  return true;
}

// Sorts items by their top z, highest first, keeping the order of equal keys
// (the order a stable sort gives).  Each item moves once, in place.
template <class Item>
bool sortByTopZ(Item* items, int count, double (*topZ)(const Item*)) {
  static_assert(std::is_trivially_copyable_v<Item>);
  if (count <= 1) return true;
  try {
    std::vector<double> keys(count);
    std::vector<int> order(count);
#pragma omp parallel for schedule(static) if (count >= kParallelSortMin)
    for (int i = 0; i < count; ++i) keys[i] = topZ(&items[i]);
    if (!topFirstOrder(keys.data(), count, order.data())) return false;
    // The permutation is applied cycle by cycle: position i takes the item
    // from order[i]; a finished position is marked with -1.
    for (int start = 0; start < count; ++start) {
      if (order[start] < 0 || order[start] == start) continue;
      const Item first = items[start];
      int at = start;
      while (order[at] != start) {
        const int from = order[at];
        items[at] = items[from];
        order[at] = -1;
        at = from;
      }
      items[at] = first;
      order[at] = -1;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

template <int N>
void cornersOf(const Vec3d (&v)[N], Vec3d* lo, Vec3d* hi) {
  *lo = v[0];
  *hi = v[0];
  for (int k = 1; k < N; ++k) modelBoxWiden(lo, hi, &v[k]);
}

int compareTop(double za, double zb, double tol) {
  if (std::fabs(za - zb) < tol) return 0;
  return za < zb ? 1 : -1;
}

// A new group node without items: the given kind and clip mark, an empty box
// and a copy of the model's tool (a zero tool when the model has none).
SurfaceGroup* groupNode(const ModelRec* model, int kind, int clip) {
  auto* g = static_cast<SurfaceGroup*>(std::calloc(1, sizeof(SurfaceGroup)));
  if (g == nullptr) return nullptr;
  g->kind = kind;
  g->clip = clip;
  g->boxMin = Vec3d{kModelEmptyBox, kModelEmptyBox, kModelEmptyBox};
  g->boxMax = Vec3d{-kModelEmptyBox, -kModelEmptyBox, -kModelEmptyBox};
  if (model->tool != nullptr) g->tool = *model->tool;
  return g;
}

}  // namespace

ModelRec* modelInit(ModelRec* model, int kind) {
  *model = ModelRec{};
  model->kind = kind;
  model->maxStep = kModelDefaultMaxStep;
  model->minStep = kModelDefaultMinStep;
  return model;
}

ModelRec* modelCopy(const ModelRec* model) {
  auto* copy = static_cast<ModelRec*>(std::malloc(sizeof(ModelRec)));
  if (copy == nullptr) return nullptr;
  *copy = *model;
  copy->tool = nullptr;
  copy->groups = nullptr;
  if (model->tool != nullptr) {
    copy->tool = static_cast<ToolShape*>(std::malloc(sizeof(ToolShape)));
    if (copy->tool == nullptr) {
      modelFreeCopy(copy);
      return nullptr;
    }
    *copy->tool = *model->tool;
  }
  SurfaceGroup** tail = &copy->groups;
  for (const SurfaceGroup* g = model->groups; g != nullptr; g = g->next) {
    auto* node = static_cast<SurfaceGroup*>(std::malloc(sizeof(SurfaceGroup)));
    if (node == nullptr) {
      modelFreeCopy(copy);
      return nullptr;
    }
    *node = *g;
    node->next = nullptr;
    *tail = node;
    tail = &node->next;
  }
  return copy;
}

void modelFreeGroups(ModelRec* model) {
  SurfaceGroup* g = model->groups;
  while (g != nullptr) {
    SurfaceGroup* next = g->next;
    std::free(g);
    g = next;
  }
  model->groups = nullptr;
}

void modelFreeCopy(ModelRec* copy) {
  if (copy == nullptr) return;
  modelFreeGroups(copy);
  std::free(copy->tool);
  std::free(copy);
}

void surfaceGroupFree(SurfaceGroup* group) {
  if (group == nullptr) return;
  std::free(group->facets);
  listPt3Free(group->triangles);
  std::free(group->maxCorners);
  std::free(group->minCorners);
  modelGridFree(group->grid);
  std::free(group);
}

void modelFreeSurfaces(ModelRec* model) {
  if (model == nullptr) return;
  contactForgetModel(model);
  std::free(model->facets);
  model->facets = nullptr;
  model->facetCount = 0;
  listPt3Free(model->triangles);
  model->triangles = nullptr;
  std::free(model->maxCorners);
  model->maxCorners = nullptr;
  std::free(model->minCorners);
  model->minCorners = nullptr;
  if (modelDiagonalBoxesOn()) modelFreeDiagonalExtents();
  modelGridFree(model->grid);
  model->grid = nullptr;
  SurfaceGroup* g = model->groups;
  while (g != nullptr) {
    SurfaceGroup* next = g->next;
    surfaceGroupFree(g);
    g = next;
  }
  model->groups = nullptr;
}

int modelHasOwnItems(const ModelRec* model) {
  if (model->kind == kModelKindTriangles) {
    return model->triangles != nullptr && model->triangles->count > 0;
  }
  return model->facets != nullptr && model->facetCount > 0;
}

int modelIsEmpty(const ModelRec* model) {
  if (modelHasOwnItems(model)) return 0;
  for (const SurfaceGroup* g = model->groups; g != nullptr; g = g->next) {
    if (groupItemCount(g) > 0) return 0;
  }
  return 1;
}

int modelGrowTool(ModelRec* model, double delta) {
  bool changed = false;
  if (model->tool != nullptr) growRadius(model->tool, delta, true, &changed);
  for (SurfaceGroup* g = model->groups; g != nullptr; g = g->next) {
    growRadius(&g->tool, delta, true, nullptr);
  }
  return changed ? 1 : 0;
}

void modelGrowToolRetype(ModelRec* model, double delta) {
  if (model->tool != nullptr) {
    growRadius(model->tool, delta, false, nullptr);
    retype(model->tool);
  }
  for (SurfaceGroup* g = model->groups; g != nullptr; g = g->next) {
    growRadius(&g->tool, delta, false, nullptr);
    retype(&g->tool);
  }
}

void toolShapeApplyAllowance(ToolShape* tool, double a, int tipMode) {
  const double r = tool->radius;
  const double c = tool->cornerRadius;
  switch (tool->type) {
    case kToolBall:
      tool->radius = r + a;
      tool->cornerRadius = r + a;
      tool->tipOffset = tipMode == 1 ? r : 0.0;
      break;
    case kToolFlat:
      tool->radius = r + a;
      if (a > kModelTol) {
        tool->type = kToolTorus;
        tool->cornerRadius = a;
        tool->tipOffset = 0.0;
      } else {
        tool->cornerRadius = 0.0;
        tool->tipOffset = -a;
      }
      break;
    case kToolTorus:
      tool->radius = r + a;
      if (c + a > kModelTol) {
        tool->cornerRadius = c + a;
        tool->tipOffset = tipMode == 1 ? c : 0.0;
      } else {
        tool->type = kToolFlat;
        tool->cornerRadius = 0.0;
        tool->tipOffset = -(c + a);
      }
      break;
    default:
      break;
  }
  tool->shankDiameter += 2.0 * a;
  if (tool->length < 0.0) tool->length = 0.0;
  if (tool->type == kToolTorus && tool->radius + kModelTol < tool->cornerRadius) {
    tool->radius = tool->cornerRadius;
  }
  if (tool->radius < -kModelTol) {
    msgNumberedReal(kMsgLevelWarning, kMsgAllowanceWrong, "* WARNING: ALlowance wrong", 0.0);
    tool->radius = 0.0;
  }
  // A ball shrunk below nothing would otherwise keep a negative corner radius.
  if (tool->type == kToolBall || tool->type == kToolFlat || tool->type == kToolTorus) {
    tool->cornerRadius = std::clamp(tool->cornerRadius, 0.0, std::max(tool->radius, 0.0));
  }
}

SurfaceGroup* surfaceGroupNew(const ModelRec* model, double allowance, int tipMode, int kind,
                              int clip, int n) {
  SurfaceGroup* g = groupNode(model, kind, clip);
  if (g == nullptr) return nullptr;
  toolShapeApplyAllowance(&g->tool, allowance, tipMode);
  bool ok;
  if (kind == kModelKindFacets) {
    g->facets = allocArray<Facet>(n);
    ok = g->facets != nullptr;
  } else {
    g->triangles = listTriNew(n);
    ok = g->triangles != nullptr;
  }
  g->maxCorners = allocArray<Vec3d>(n);
  g->minCorners = allocArray<Vec3d>(n);
  if (!ok || g->maxCorners == nullptr || g->minCorners == nullptr) {
    surfaceGroupFree(g);
    return nullptr;
  }
  return g;
}

void modelAppendGroup(ModelRec* model, SurfaceGroup* group) {
  SurfaceGroup** tail = &model->groups;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = group;
}

int modelMergeGroups(ModelRec* model, ModelRec* other, int tipMode, double allowance) {
  SurfaceGroup* moved = other->groups;
  other->groups = nullptr;
  for (SurfaceGroup* g = moved; g != nullptr; g = g->next) {
    toolShapeApplyAllowance(&g->tool, allowance, tipMode);
    g->clip = 1;
  }
  if (moved != nullptr) modelAppendGroup(model, moved);
  if (modelHasOwnItems(other) && other->kind == model->kind) {
    const int made = model->kind == kModelKindFacets ? surfaceGroupCopyFacets(model, other)
                                                     : surfaceGroupCopyTris(model, other);
    if (made == 1) {
      SurfaceGroup* last = model->groups;
      while (last->next != nullptr) last = last->next;
      last->clip = 1;
    }
  }
  return 0;
}

int surfaceGroupCopyFacets(ModelRec* model, const ModelRec* other) {
  if (other->facets == nullptr || other->facetCount <= 0) return -2;
  const int n = other->facetCount;
  SurfaceGroup* g = groupNode(model, kModelKindFacets, 0);
  if (g == nullptr) return -1;
  g->facets = allocArray<Facet>(n);
  g->maxCorners = allocArray<Vec3d>(n);
  g->minCorners = allocArray<Vec3d>(n);
  if (g->facets == nullptr || g->maxCorners == nullptr || g->minCorners == nullptr) {
    surfaceGroupFree(g);
    return -1;
  }
  std::memcpy(g->facets, other->facets, sizeof(Facet) * n);
  g->facetCount = n;
  if (!modelSortFacets(g->facets, n)) {
    surfaceGroupFree(g);
    return -1;
  }
  modelFacetCorners(g->facets, n, g->minCorners, g->maxCorners);
  g->boxMin = g->minCorners[0];
  g->boxMax = g->maxCorners[0];
  for (int i = 1; i < n; ++i) {
    modelBoxWiden(&g->boxMin, &g->boxMax, &g->minCorners[i]);
    modelBoxWiden(&g->boxMin, &g->boxMax, &g->maxCorners[i]);
  }
  if (surfaceGroupBuildLoadGrid(g) != 1) {
    surfaceGroupFree(g);
    return -1;
  }
  modelAppendGroup(model, g);
  return 1;
}

int surfaceGroupCopyTris(ModelRec* model, const ModelRec* other) {
  const TriList* src = other->triangles;
  if (src == nullptr || src->count <= 0) return -2;
  const int n = src->count;
  SurfaceGroup* g = groupNode(model, kModelKindTriangles, 0);
  if (g == nullptr) return -1;
  g->triangles = listTriNew(n);
  g->maxCorners = allocArray<Vec3d>(n);
  g->minCorners = allocArray<Vec3d>(n);
  if (g->triangles == nullptr || g->maxCorners == nullptr || g->minCorners == nullptr) {
    surfaceGroupFree(g);
    return -1;
  }
  for (int i = 0; i < n; ++i) listTriAppend(g->triangles, &src->items[i]);
  if (!modelSortTris(g->triangles->items, n)) {
    surfaceGroupFree(g);
    return -1;
  }
  modelTriCorners(g->triangles->items, n, g->minCorners, g->maxCorners);
  const TriList* t = g->triangles;
  g->boxMin = Vec3d{t->minX, t->minY, t->minZ};
  g->boxMax = Vec3d{t->maxX, t->maxY, t->maxZ};
  if (surfaceGroupBuildLoadGrid(g) != 1) {
    surfaceGroupFree(g);
    return -1;
  }
  modelAppendGroup(model, g);
  return 1;
}

void modelWidenBoxByGroups(ModelRec* model) {
  bool haveBox = modelHasOwnItems(model) != 0;
  for (const SurfaceGroup* g = model->groups; g != nullptr; g = g->next) {
    if (groupItemCount(g) <= 0) continue;
    if (!haveBox) {
      model->boxMin = g->boxMin;
      model->boxMax = g->boxMax;
      haveBox = true;
      continue;
    }
    modelBoxWiden(&model->boxMin, &model->boxMax, &g->boxMin);
    modelBoxWiden(&model->boxMin, &model->boxMax, &g->boxMax);
  }
}

void modelBoxWiden(Vec3d* lo, Vec3d* hi, const Vec3d* p) {
  lo->x = std::min(lo->x, p->x);
  lo->y = std::min(lo->y, p->y);
  lo->z = std::min(lo->z, p->z);
  hi->x = std::max(hi->x, p->x);
  hi->y = std::max(hi->y, p->y);
  hi->z = std::max(hi->z, p->z);
}

double facetTopZ(const Facet* f) {
  return std::max(std::max(f->v[0].z, f->v[1].z), std::max(f->v[2].z, f->v[3].z));
}

double triTopZ(const Tri* t) { return std::max(std::max(t->v[0].z, t->v[1].z), t->v[2].z); }

int facetCompareTopZ(const void* a, const void* b) {
  return compareTop(facetTopZ(static_cast<const Facet*>(a)),
                    facetTopZ(static_cast<const Facet*>(b)), kModelTol);
}

int triCompareTopZTol(const void* a, const void* b) {
  return compareTop(triTopZ(static_cast<const Tri*>(a)), triTopZ(static_cast<const Tri*>(b)),
                    kModelTol);
}

int triCompareTopZ(const void* a, const void* b) {
  const double za = triTopZ(static_cast<const Tri*>(a));
  const double zb = triTopZ(static_cast<const Tri*>(b));
  if (za == zb) return 0;
  return za < zb ? 1 : -1;
}

bool modelSortFacets(Facet* facets, int count) { return sortByTopZ(facets, count, facetTopZ); }

bool modelTopZOrder(const double* keys, int count, int* order) {
  return topFirstOrder(keys, count, order);
}

bool modelSortTris(Tri* tris, int count) { return sortByTopZ(tris, count, triTopZ); }

void modelFacetCorners(const Facet* facets, int count, Vec3d* minCorners, Vec3d* maxCorners) {
#pragma omp parallel for schedule(static) if (count >= kParallelSortMin)
  for (int i = 0; i < count; ++i) cornersOf(facets[i].v, &minCorners[i], &maxCorners[i]);
}

void modelTriCorners(const Tri* tris, int count, Vec3d* minCorners, Vec3d* maxCorners) {
#pragma omp parallel for schedule(static) if (count >= kParallelSortMin)
  for (int i = 0; i < count; ++i) cornersOf(tris[i].v, &minCorners[i], &maxCorners[i]);
}

void facetOrientCcw(Facet* facet) {
  const Vec3d* p = facet->v;
  auto turn = [p](int a, int b, int c) {
    return (p[b].x - p[a].x) * (p[c].y - p[b].y) - (p[b].y - p[a].y) * (p[c].x - p[b].x);
  };
  double s = turn(0, 1, 2);
  if (std::fabs(s) < kModelTol) s = turn(1, 2, 3);
  if (std::fabs(s) < kModelTol) s = turn(2, 3, 0);
  if (s < 0.0) std::swap(facet->v[1], facet->v[3]);
}

void triTopVertexFirst(Tri* tri) {
  int top = 0;
  for (int k = 1; k < 3; ++k) {
    if (tri->v[k].z > tri->v[top].z) top = k;
  }
  std::rotate(tri->v, tri->v + top, tri->v + 3);
}

void modelFacetDiagExtents(const Facet* facets, int count, double* diagMin, double* diagMax) {
  const double c = kModelDiagCos;
  for (int i = 0; i < count; ++i) {
    double lo[2] = {0, 0}, hi[2] = {0, 0};
    for (int k = 0; k < 4; ++k) {
      const Vec3d& v = facets[i].v[k];
      const double d[2] = {c * v.x - c * v.y, c * v.y + c * v.x};
      for (int j = 0; j < 2; ++j) {
        lo[j] = k == 0 ? d[j] : std::min(lo[j], d[j]);
        hi[j] = k == 0 ? d[j] : std::max(hi[j], d[j]);
      }
    }
    diagMin[2 * i] = lo[0];
    diagMin[2 * i + 1] = lo[1];
    diagMax[2 * i] = hi[0];
    diagMax[2 * i + 1] = hi[1];
  }
}
