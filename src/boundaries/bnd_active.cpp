#include "boundaries/bnd_active.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "base/messages.h"
#include "boundaries/bnd_intervals.h"
#include "boundaries/path_optimizer.h"
#include "geometry/contour2d/kont2d.h"
#include "geometry/contour2d/tripoly.h"
#include "geometry/curves/curve.h"
#include "geometry/offset2d/planar_offset.h"
#include "geometry/primitives/primitives.h"

namespace {

constexpr int kMsgLevel = 9;

// Classification answers of kontClassifyPoint.
constexpr int kKontInsideMaterial = 2;

Kont2d* activeKont = nullptr;
BoundaryRec* activeOffsetCopy = nullptr;

// A byte copy of the record with its own copy of the segments and the
// intervals, next, holes and islands cleared; CLN points shared.
BoundaryRec* recordCopy(const BoundaryRec* src) {
  auto* copy = static_cast<BoundaryRec*>(std::malloc(sizeof(BoundaryRec)));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, src, sizeof(BoundaryRec));
  copy->next = nullptr;
  copy->intervals = nullptr;
  copy->intervalCount = 0;
  copy->holes = nullptr;
  copy->islands = nullptr;
  copy->segs = nullptr;
  if (src->segs != nullptr && src->segCount > 0) {
    copy->segs = static_cast<Seg2*>(std::malloc(sizeof(Seg2) * src->segCount));
    if (copy->segs == nullptr) {
      std::free(copy);
      return nullptr;
    }
    std::memcpy(copy->segs, src->segs, sizeof(Seg2) * src->segCount);
  } else {
    copy->segCount = 0;
  }
  return copy;
}

// Frees a copy made here: its islands (own copies, through the nodes), its
// segments and intervals.  The CLN points belong to the source.
void freeCopy(BoundaryRec* b) {
  BoundaryIslandNode* node = b->islands;
  while (node != nullptr) {
    BoundaryIslandNode* next = node->next;
    if (node->island != nullptr) freeCopy(node->island);
    std::free(node);
    node = next;
  }
  std::free(b->segs);
  std::free(b->intervals);
  std::free(b);
}

void freeCopyChain(BoundaryRec* b) {
  while (b != nullptr) {
    BoundaryRec* next = b->next;
    freeCopy(b);
    b = next;
  }
}

// Appends a node for island to the end of b's islands list.
bool appendIsland(BoundaryRec* b, BoundaryRec* island) {
  auto* node = static_cast<BoundaryIslandNode*>(std::malloc(sizeof(BoundaryIslandNode)));
  if (node == nullptr) return false;
  node->island = island;
  node->next = nullptr;
  BoundaryIslandNode** at = &b->islands;
  while (*at != nullptr) at = &(*at)->next;
  *at = node;
  return true;
}

// A thread copy of one chain record: own segments, own island copies.
BoundaryRec* threadCopy(const BoundaryRec* src) {
  BoundaryRec* copy = recordCopy(src);
  if (copy == nullptr) return nullptr;
  for (const BoundaryIslandNode* n = src->islands; n != nullptr; n = n->next) {
    if (n->island == nullptr) continue;
    BoundaryRec* island = recordCopy(n->island);
    if (island == nullptr || !appendIsland(copy, island)) {
      if (island != nullptr) freeCopy(island);
      freeCopy(copy);
      return nullptr;
    }
  }
  return copy;
}

BoundaryRec* threadCopyChain(const BoundaryRec* source) {
  BoundaryRec* head = nullptr;
  BoundaryRec** tail = &head;
  for (const BoundaryRec* b = source; b != nullptr; b = b->next) {
    BoundaryRec* copy = threadCopy(b);
    if (copy == nullptr) {
      freeCopyChain(head);
      return nullptr;
    }
    *tail = copy;
    tail = &copy->next;
  }
  return head;
}

// The contour tree of the boundary, the records chained after it and the
// islands each of them lists (every record once).
Kont2d* activeTreeOf(const BoundaryRec* boundary) {
  std::vector<const BoundaryRec*> recs;
  auto add = [&recs](const BoundaryRec* b) {
    if (b == nullptr || b->segs == nullptr || b->segCount <= 0) return;
    for (const BoundaryRec* r : recs) {
      if (r == b) return;
    }
    recs.push_back(b);
  };
  try {
    for (const BoundaryRec* b = boundary; b != nullptr; b = b->next) {
      add(b);
      for (const BoundaryIslandNode* n = b->islands; n != nullptr; n = n->next) add(n->island);
      for (const BoundaryRec* h = b->holes; h != nullptr; h = h->next) add(h);
    }
    if (recs.empty() || recs.front() != boundary) return nullptr;
    std::vector<const Seg2*> segs;
    std::vector<int> counts;
    for (const BoundaryRec* r : recs) {
      segs.push_back(r->segs);
      counts.push_back(r->segCount);
    }
    return kontFromChains(segs.data(), counts.data(), static_cast<int>(segs.size()));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// The entry point of a boundary in the travel order: the start of its first
// segment, at z 0.
Vec2d boundaryEntry(const BoundaryRec* b) {
  if (b->segs == nullptr || b->segCount <= 0) return {0.0, 0.0};
  return {b->segs[0].x0, b->segs[0].y0};
}

Vec2d curveEntry(const CurveRec* c) {
  if (c->points == nullptr || c->count <= 0) return {0.0, 0.0};
  return c->points[0];
}

// Runs the order list over items (zero-length segments at their entries) and
// writes the optimised order to *ordered.  1, or -1 on failure.
template <typename T, typename Entry>
int optimiseOrder(const std::vector<T*>& items, Entry entry, double x, double y, double z,
                  std::vector<T*>* ordered) {
  LpoOrderList* list = lpoOrderListNew();
  if (list == nullptr) return -1;
  int result = lpoOrderListSetStart(list, x, y, z) > 0 ? 1 : -1;
  for (std::size_t i = 0; i < items.size() && result > 0; ++i) {
    const Vec2d p = entry(items[i]);
    if (lpoOrderListAdd(list, p.x, p.y, 0.0, p.x, p.y, 0.0, items[i]) != 1) result = -1;
  }
  if (result > 0) {
    msgNumberedInt(kMsgLevel, kMsgStartOptimizing, "* Start optimizing", 0);
    if (lpoOrderListOptimize(list) != 1) result = -1;
    msgNumberedInt(kMsgLevel, kMsgEndOptimizing, "* End optimizing", 0);
  }
  if (result > 0) {
    try {
      ordered->clear();
      for (void* u = lpoOrderListFirst(list); u != nullptr; u = lpoOrderListNext(list)) {
        ordered->push_back(static_cast<T*>(u));
      }
    } catch (const std::bad_alloc&) {
      result = -1;
    }
    // Every item exactly once, or the order is not used.
    if (result > 0 && ordered->size() != items.size()) result = -1;
    if (result > 0) {
      std::vector<T*> seen(*ordered);
      std::vector<T*> all(items);
      std::sort(seen.begin(), seen.end());
      std::sort(all.begin(), all.end());
      if (seen != all) result = -1;
    }
  }
  lpoOrderListFree(list);
  return result;
}

}  // namespace

int bndSetActive(const BoundaryRec* boundary) {
  if (boundary == nullptr || boundary->isOuter == 0) return 0;
  bndClearActive();
  Kont2d* tree = activeTreeOf(boundary);
  if (tree == nullptr) return 0;
  TripolyMesh* mesh = tripolyTriangulate(tree);
  if (mesh == nullptr) {
    kontFree(tree);
    return 0;
  }
  tree->mesh = mesh;
  activeKont = tree;
  activeOffsetCopy = bndOffsetCopyWithIslands(boundary);
  return 1;
}

void bndClearActive() {
  if (activeKont != nullptr) {
    tripolyFree(activeKont->mesh);
    activeKont->mesh = nullptr;
    kontFree(activeKont);
  }
  bndFreeOffsetCopy(activeOffsetCopy);
  activeKont = nullptr;
  activeOffsetCopy = nullptr;
}

const Kont2d* bndActiveTree() { return activeKont; }

int bndActivePointInside(const Vec2d* point) {
  const Kont2d* tree = activeKont;
  if (tree == nullptr) return -1;
  for (const Kont2d* node = tree; node != nullptr; node = node->next) {
    if (kontClassifyPoint(node, point) == kKontInsideMaterial) return 1;
  }
  return 0;
}

int bndActiveCurveIntervals(BoundaryRec* boundary, const CurveRec* curve) {
  const BoundaryRec* copy = activeOffsetCopy;
  if (activeKont == nullptr || copy == nullptr) return -1;
  if (boundary == nullptr) return 0;
  BndPair* pairs = nullptr;
  int count = bndCurveInsideIntervals(copy, curve, &pairs);
  if (count < 0) return count;
  for (const BoundaryIslandNode* n = copy->islands; n != nullptr && count > 0; n = n->next) {
    BndPair* island = nullptr;
    const int m = bndCurveInsideIntervals(n->island, curve, &island);
    if (m < 0) {
      std::free(pairs);
      return m;
    }
    const int r = m > 0 ? bndIntervalsSubtract(&pairs, &count, island, m) : 1;
    std::free(island);
    if (r < 0) {
      std::free(pairs);
      return -1;
    }
  }
  boundary->intervals = count > 0 ? pairs : nullptr;
  boundary->intervalCount = count;
  if (count == 0) std::free(pairs);
  return count;
}

BoundaryRec* bndOffsetCopy(const BoundaryRec* boundary) {
  if (boundary == nullptr || boundary->segs == nullptr || boundary->segCount <= 0) return nullptr;
  const int o = seg2ChainOrientation(boundary->segs, boundary->segCount);
  if (o == 0) return nullptr;
  auto* copy = static_cast<BoundaryRec*>(std::malloc(sizeof(BoundaryRec)));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, boundary, sizeof(BoundaryRec));
  copy->next = nullptr;
  copy->intervals = nullptr;
  copy->intervalCount = 0;
  copy->holes = nullptr;
  copy->islands = nullptr;
  copy->clnPoints = nullptr;
  copy->clnCount = 0;
  // Room for every result the offset can give (more than three per segment
  // for short chains).
  const int capacity = offset2dResultCapacity(boundary->segCount);
  copy->segs = static_cast<Seg2*>(std::calloc(static_cast<std::size_t>(capacity), sizeof(Seg2)));
  if (copy->segs == nullptr) {
    std::free(copy);
    return nullptr;
  }
  const int side = boundary->isOuter ? -o : o;
  const int m = offset2dSegChain(boundary->segs, boundary->segCount, boundary->contactOffset,
                                 copy->segs, capacity, side);
  if (m <= 0) {
    std::free(copy->segs);
    std::free(copy);
    return nullptr;
  }
  copy->segCount = m;
  // The offset is in the contour now: applying it again when intervals are
  // computed on the copy would move the contour twice as far.
  copy->contactOffset = 0.0;
  return copy;
}

BoundaryRec* bndOffsetCopyWithIslands(const BoundaryRec* boundary) {
  BoundaryRec* copy = bndOffsetCopy(boundary);
  if (copy == nullptr) return nullptr;
  for (const BoundaryIslandNode* n = boundary->islands; n != nullptr; n = n->next) {
    if (n->island == nullptr) continue;
    BoundaryRec* island = bndOffsetCopy(n->island);
    if (island == nullptr || !appendIsland(copy, island)) {
      if (island != nullptr) freeCopy(island);
      freeCopy(copy);
      return nullptr;
    }
  }
  return copy;
}

void bndFreeOffsetCopy(BoundaryRec* copy) {
  if (copy != nullptr) freeCopy(copy);
}

BndThreadLists* bndThreadListsCopy(BndThreadLists* lists, const BoundaryRec* source, int n) {
  lists->count = 0;
  lists->heads = nullptr;
  if (n < 1) return nullptr;
  auto* heads = static_cast<BoundaryRec**>(std::calloc(static_cast<std::size_t>(n), sizeof(void*)));
  if (heads == nullptr) return nullptr;
  lists->heads = heads;
  lists->count = n;
  for (int i = 0; i < n; ++i) {
    if (source == nullptr) continue;
    heads[i] = threadCopyChain(source);
    if (heads[i] == nullptr) {
      bndThreadListsFree(lists);
      return nullptr;
    }
  }
  return lists;
}

void bndThreadListsFree(BndThreadLists* lists) {
  if (lists == nullptr) return;
  for (int i = 0; i < lists->count; ++i) freeCopyChain(lists->heads[i]);
  std::free(lists->heads);
  lists->heads = nullptr;
  lists->count = 0;
}

int lpoOrderBoundaryList(BoundaryRec** head, double x, double y, double z) {
  if (head == nullptr || *head == nullptr) return -1;
  try {
    std::vector<BoundaryRec*> outers;
    std::vector<BoundaryRec*> islands;
    for (BoundaryRec* b = *head; b != nullptr; b = b->next) {
      (b->isOuter ? outers : islands).push_back(b);
    }
    if (outers.empty()) return -1;
    std::vector<BoundaryRec*> ordered;
    if (optimiseOrder(outers, boundaryEntry, x, y, z, &ordered) < 0) return -1;
    // Each outer boundary is followed by the islands it lists that stand in
    // the chain, so that the chain still owns every record.
    std::vector<BoundaryRec*> chain;
    std::vector<char> placed(islands.size(), 0);
    for (BoundaryRec* outer : ordered) {
      chain.push_back(outer);
      for (const BoundaryIslandNode* n = outer->islands; n != nullptr; n = n->next) {
        for (std::size_t k = 0; k < islands.size(); ++k) {
          if (!placed[k] && islands[k] == n->island) {
            placed[k] = 1;
            chain.push_back(islands[k]);
          }
        }
      }
    }
    for (std::size_t k = 0; k < islands.size(); ++k) {
      if (!placed[k]) chain.push_back(islands[k]);
    }
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) chain[i]->next = chain[i + 1];
    chain.back()->next = nullptr;
    *head = chain.front();
    return 1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int lpoOrderCurveList(CurveRec** head, double x, double y, double z) {
  if (head == nullptr || *head == nullptr) return -1;
  try {
    std::vector<CurveRec*> curves;
    for (CurveRec* c = *head; c != nullptr; c = c->next) curves.push_back(c);
    std::vector<CurveRec*> ordered;
    if (optimiseOrder(curves, curveEntry, x, y, z, &ordered) < 0) return -1;
    for (std::size_t i = 0; i + 1 < ordered.size(); ++i) ordered[i]->next = ordered[i + 1];
    ordered.back()->next = nullptr;
    *head = ordered.front();
    return 1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}
