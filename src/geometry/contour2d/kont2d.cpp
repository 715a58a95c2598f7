#include "geometry/contour2d/kont2d.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "base/tolerances.h"
#include "geometry/contour2d/tripoly.h"
#include "geometry/errors/error_state.h"
#include "geometry/lists/lists.h"
#include "geometry/primitives/geo2d.h"

namespace {

constexpr char kSource[] = "QZVYR5\\kont2d";
constexpr double kNewBoxMin = 1e10;
constexpr double kLevelTol = 1e-6;  // z levels and BND block breaks
constexpr double kBndGapTol = 1e-6;

// Block number of BND output, counted over the whole process.
std::atomic<int> bndBlockNumber{1};

void widenBox(Kont2d* node, double x, double y) {
  node->xmin = std::min(node->xmin, x);
  node->ymin = std::min(node->ymin, y);
  node->xmax = std::max(node->xmax, x);
  node->ymax = std::max(node->ymax, y);
}

Vec2d firstPoint(const Kont2d* node) { return seg2Start(node->segs[0]); }

void reverseOne(Kont2d* node) {
  if (node->segs == nullptr) return;
  std::reverse(node->segs, node->segs + node->count);
  for (int i = 0; i < node->count; ++i) {
    Seg2& s = node->segs[i];
    std::swap(s.x0, s.x1);
    std::swap(s.y0, s.y1);
  }
}

void freeOne(Kont2d* node) {
  if (node->ownsSegs) std::free(node->segs);
  std::free(node);
}

int zOrder(const void* a, const void* b) {
  const Kont2d* ka = *static_cast<Kont2d* const*>(a);
  const Kont2d* kb = *static_cast<Kont2d* const*>(b);
  if (ka->z > kb->z) return -1;
  if (ka->z < kb->z) return 1;
  return 0;
}

// Even depths first; then by depth, then by xmin.
int levelOrder(const void* a, const void* b) {
  const Kont2d* ka = *static_cast<Kont2d* const*>(a);
  const Kont2d* kb = *static_cast<Kont2d* const*>(b);
  const int pa = ka->depth % 2, pb = kb->depth % 2;
  if (pa != pb) return pa - pb;
  if (ka->depth != kb->depth) return ka->depth < kb->depth ? -1 : 1;
  if (ka->xmin < kb->xmin) return -1;
  if (ka->xmin > kb->xmin) return 1;
  return 0;
}

// BND blocks of the outer contours from tree on (only tree itself when
// onlyFirst) and their holes.
void writeBndBlocks(std::FILE* f, const Kont2d* tree, bool onlyFirst) {
  auto writeContour = [f](const Kont2d* k) {
    if (k->count <= 0 || k->segs == nullptr) return;
    std::fprintf(f, "**BND %d **WZ\n", bndBlockNumber.fetch_add(1));
    for (int i = 0; i < k->count; ++i) {
      const Seg2& s = k->segs[i];
      std::fprintf(f, "X%lf Y%lf Z%lf\n", s.x0, s.y0, k->z);
      if (i + 1 < k->count) {
        const Vec2d end = seg2End(s), nextStart = seg2Start(k->segs[i + 1]);
        if (geo2dDistance(&end, &nextStart) > kBndGapTol) {
          std::fprintf(f, "X%lf Y%lf Z%lf\n**END\n", s.x1, s.y1, k->z);
          std::fprintf(f, "**BND %d **WZ\n", bndBlockNumber.fetch_add(1));
        }
      } else {
        std::fprintf(f, "X%lf Y%lf Z%lf\n**END\n", s.x1, s.y1, k->z);
      }
    }
  };
  for (const Kont2d* outer = tree; outer != nullptr; outer = outer->next) {
    writeContour(outer);
    for (const Kont2d* h = outer->firstHole; h != nullptr; h = h->next) writeContour(h);
    if (onlyFirst) break;
  }
}

}  // namespace

Kont2d* kontNew(Seg2* segs, int capacity) {
  if (capacity < 3) capacity = 3;
  auto* node = static_cast<Kont2d*>(std::calloc(1, sizeof(Kont2d)));
  if (node == nullptr) return nullptr;
  node->capacity = capacity;
  node->xmin = node->ymin = kNewBoxMin;
  node->xmax = node->ymax = -kNewBoxMin;
  node->z = DBL_MAX;
  if (segs != nullptr) {
    node->segs = segs;
  } else {
    node->segs = static_cast<Seg2*>(std::malloc(sizeof(Seg2) * static_cast<std::size_t>(capacity)));
    if (node->segs == nullptr) {
      std::free(node);
      return nullptr;
    }
    node->ownsSegs = 1;
  }
  return node;
}

void kontFree(Kont2d* node) {
  std::vector<Kont2d*> pending;
  Kont2d* k = node;
  while (k != nullptr) {
    if (k->firstHole != nullptr) pending.push_back(k->firstHole);
    Kont2d* next = k->next;
    freeOne(k);
    k = next;
    if (k == nullptr && !pending.empty()) {
      k = pending.back();
      pending.pop_back();
    }
  }
}

int kontAppendSeg(Kont2d* node, const Seg2* s) {
  if (node == nullptr || node->segs == nullptr || s == nullptr) return -1;
  if (node->count >= node->capacity) {
    int grown = static_cast<int>(node->capacity * 1.5);
    if (grown <= node->capacity) grown = node->capacity + 1;
    const std::size_t bytes = sizeof(Seg2) * static_cast<std::size_t>(grown);
    Seg2* segs = nullptr;
    if (node->ownsSegs) {
      segs = static_cast<Seg2*>(std::realloc(node->segs, bytes));
    } else {
      segs = static_cast<Seg2*>(std::malloc(bytes));
      if (segs != nullptr) {
        std::memcpy(segs, node->segs, sizeof(Seg2) * static_cast<std::size_t>(node->count));
      }
    }
    if (segs == nullptr) return -1;
    node->segs = segs;
    node->ownsSegs = 1;
    node->capacity = grown;
  }
  node->segs[node->count++] = *s;
  widenBox(node, s->x0, s->y0);
  widenBox(node, s->x1, s->y1);
  return 1;
}

int kontUpdateBox(Kont2d* node) {
  if (node == nullptr || node->count <= 0 || node->segs == nullptr) return 0;
  node->xmin = node->xmax = node->segs[0].x0;
  node->ymin = node->ymax = node->segs[0].y0;
  for (int i = 1; i < node->count; ++i) {
    widenBox(node, node->segs[i].x0, node->segs[i].y0);
    widenBox(node, node->segs[i].x1, node->segs[i].y1);
  }
  return 1;
}

int kontReverse(Kont2d* node) {
  if (node == nullptr) return 0;
  reverseOne(node);
  for (Kont2d* h = node->firstHole; h != nullptr; h = h->next) reverseOne(h);
  return 1;
}

int kontOrientation(const Kont2d* node) {
  if (node == nullptr || node->count <= 0 || node->segs == nullptr) return -1;
  const Seg2& last = node->segs[node->count - 1];
  double sum = 0.0;
  for (int i = 0; i < node->count; ++i) {
    const Seg2& a = node->segs[i];
    const Seg2& b = node->segs[(i + 1) % node->count];
    sum += (a.x0 - last.x0) * (b.y0 - last.y0) - (b.x0 - last.x0) * (a.y0 - last.y0);
  }
  return sum > 0.0 ? 1 : -1;
}

int kontMergeCollinear(Kont2d* node) {
  if (node == nullptr || node->segs == nullptr || node->count < 2) return 1;
  int kept = 0;
  for (int i = 1; i < node->count; ++i) {
    Seg2& k = node->segs[kept];
    const Seg2& s = node->segs[i];
    const Vec2d kEnd = seg2End(k), kStart = seg2Start(k), sStart = seg2Start(s), sEnd = seg2End(s);
    if (geo2dDistance(&kEnd, &sStart) < kGeoEqualTol &&
        std::fabs(geo2dTriangleArea(&kStart, &sStart, &sEnd)) < kGeoEqualTol) {
      k.x1 = s.x1;
      k.y1 = s.y1;
    } else {
      node->segs[++kept] = s;
    }
  }
  node->count = kept + 1;
  kontUpdateBox(node);
  return 1;
}

int kontBuildTree(Kont2d** nodes, int count) {
  if (nodes == nullptr || count <= 0) return 0;
  for (int i = 0; i < count; ++i) {
    nodes[i]->back = nodes[i]->next = nodes[i]->firstHole = nullptr;
  }
  listSort(nodes, static_cast<unsigned>(count), sizeof(Kont2d*), zOrder);
  Kont2d* lastOuter = nullptr;  // end of the outer chain so far
  for (int start = 0; start < count;) {
    int end = start + 1;
    while (end < count && nodes[start]->z - nodes[end]->z <= kLevelTol) ++end;
    Kont2d** level = nodes + start;
    const int n = end - start;
    for (int i = 0; i < n; ++i) {
      Kont2d* k = level[i];
      k->depth = 0;
      if (k->count <= 0) continue;
      const Vec2d p = firstPoint(k);
      for (int j = 0; j < n; ++j) {
        if (j != i && geo2dPointInContourMargin(&p, level[j], 0.0)) ++k->depth;
      }
    }
    listSort(level, static_cast<unsigned>(n), sizeof(Kont2d*), levelOrder);
    for (int i = 0; i < n && level[i]->depth % 2 == 0; ++i) {
      if (lastOuter != nullptr) lastOuter->next = level[i];
      level[i]->back = lastOuter;
      lastOuter = level[i];
    }
    // A hole hangs on the first containing contour one level up only: a
    // second parent would share the node between two chains.
    for (int i = 0; i < n; ++i) {
      Kont2d* hole = level[i];
      if (hole->depth % 2 == 0 || hole->count <= 0) continue;
      const Vec2d p = firstPoint(hole);
      for (int j = 0; j < n; ++j) {
        Kont2d* parent = level[j];
        if (parent->depth % 2 != 0 || parent->depth != hole->depth - 1) continue;
        if (!geo2dPointInContour(&p, parent)) continue;
        Kont2d* tail = parent->firstHole;
        if (tail == nullptr) {
          parent->firstHole = hole;
          hole->back = parent;
        } else {
          while (tail->next != nullptr) tail = tail->next;
          tail->next = hole;
          hole->back = tail;
        }
        break;
      }
    }
    start = end;
  }
  return 1;
}

Kont2d* kontFromChains(const Seg2* const* chains, const int* counts, int n) {
  if (chains == nullptr || counts == nullptr || n <= 0 || counts[0] <= 0 || chains[0] == nullptr) {
    return nullptr;
  }
  std::vector<Kont2d*> nodes;
  auto fail = [&nodes](int line) -> Kont2d* {
    for (Kont2d* k : nodes) freeOne(k);
    vyrErrSet(-1, kSource, line);
    return nullptr;
  };
  std::vector<const Kont2d*> reachable;
  try {
    nodes.reserve(static_cast<std::size_t>(n));
    reachable.reserve(static_cast<std::size_t>(n));
  } catch (const std::bad_alloc&) {
    return fail(10);
  }
  for (int i = 0; i < n; ++i) {
    if (counts[i] <= 0 || chains[i] == nullptr) continue;
    Kont2d* k = kontNew(nullptr, counts[i]);
    if (k == nullptr) return fail(11);
    nodes.push_back(k);
    for (int j = 0; j < counts[i]; ++j) {
      if (kontAppendSeg(k, &chains[i][j]) != 1) return fail(12);
    }
    const Vec2d end = seg2End(k->segs[k->count - 1]), start = seg2Start(k->segs[0]);
    k->closed = geo2dDistance(&end, &start) < kGeoEqualTol ? 1 : 0;
    kontMergeCollinear(k);
  }
  const int count = static_cast<int>(nodes.size());
  kontBuildTree(nodes.data(), count);
  for (Kont2d* k : nodes) {
    const int want = k->depth % 2 == 0 ? 1 : -1;
    if (kontOrientation(k) != want) reverseOne(k);
  }
  // The tree owns what is reachable from its first outer contour; nodes that
  // found no place are freed here.
  Kont2d* tree = nullptr;
  for (Kont2d* k : nodes) {
    if (k->depth % 2 == 0) {
      tree = k;
      break;
    }
  }
  for (const Kont2d* o = tree; o != nullptr; o = o->next) {
    reachable.push_back(o);
    for (const Kont2d* h = o->firstHole; h != nullptr; h = h->next) reachable.push_back(h);
  }
  std::sort(reachable.begin(), reachable.end());
  for (Kont2d* k : nodes) {
    if (!std::binary_search(reachable.begin(), reachable.end(), k)) freeOne(k);
  }
  if (tree != nullptr) tree->back = nullptr;
  return tree;
}

int kontSelfIntersects(Kont2d* tree, Pt2List* points, int findAll, double tol) {
  if (tree == nullptr) return 0;
  int total = tree->count;
  for (const Kont2d* h = tree->firstHole; h != nullptr; h = h->next) total += h->count;
  if (total < 3) return 0;
  Seg2List* list = listSeg2New(total);
  if (list == nullptr) {
    vyrErrSet(-1, kSource, 20);
    return -1;
  }
  auto copy = [list](const Kont2d* k) {
    for (int i = 0; i < k->count; ++i) {
      if (listSeg2Append(list, &k->segs[i]) != 1) return false;
    }
    return true;
  };
  bool ok = copy(tree);
  for (const Kont2d* h = tree->firstHole; ok && h != nullptr; h = h->next) ok = copy(h);
  if (!ok) {
    listSeg2Free(list);
    vyrErrSet(-1, kSource, 21);
    return -1;
  }
  const int found = listSeg2FindCrossings(list, points, findAll, tol);
  listSeg2Free(list);
  return found;
}

int kontCheck(Kont2d* tree, int flags) {
  if (tree == nullptr || tree->count <= 0) return 0;
  if (flags & 1) {
    const int o = kontOrientation(tree);
    int holes = 0, sum = 0;
    for (const Kont2d* h = tree->firstHole; h != nullptr; h = h->next) {
      ++holes;
      if (h->closed) sum += kontOrientation(h);
    }
    if (std::abs(sum) != holes || o * sum > 0) {
      vyrErrSet(-47, kSource, 30);
      return -47;
    }
  }
  if ((flags & 2) && kontSelfIntersects(tree, nullptr, 0, kGeoEqualTol) == 1) {
    if (vyrDebugEnabled()) {
      if (std::FILE* f = std::fopen("problem.bnd", "a+")) {
        writeBndBlocks(f, tree, true);
        std::fclose(f);
      }
    }
    vyrErrSet(-41, kSource, 31);
    return -41;
  }
  return 1;
}

int kontWriteBnd(const Kont2d* tree, const char* fileName) {
  if (tree == nullptr || tree->count <= 0) return 0;
  if (fileName == nullptr) return -1;
  std::FILE* f = std::fopen(fileName, "a+");
  if (f == nullptr) return -1;
  writeBndBlocks(f, tree, false);
  std::fclose(f);
  return 1;
}

void kontBndReset() { bndBlockNumber.store(1); }

int kontClassifyPoint(const Kont2d* tree, const Vec2d* p) {
  if (tree == nullptr || p == nullptr) return 0;
  if (tree->mesh != nullptr) {
    const int f = tripolyClassifyPoint(tree->mesh, p);
    if (f > 0) {
      if (f & 1) return 1;
      if (f & 2) return 2;
      if (f & 4) return 4;
    }
  }
  if (!geo2dPointInContour(p, tree)) return 1;
  for (const Kont2d* h = tree->firstHole; h != nullptr; h = h->next) {
    if (geo2dPointInContour(p, h)) return 4;
  }
  return 2;
}
