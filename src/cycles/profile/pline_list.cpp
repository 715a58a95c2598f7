#include "cycles/profile/pline_list.h"

#include <atomic>
#include <new>

#include "geometry/pline/pline_copies.h"
#include "geometry/pline/pline_reduce.h"
#include "geometry/primitives/primitives.h"
#include "output/adapter/output_adapter.h"

namespace {

std::atomic<int> showPieces{0};

int codeOf(const Pline* pl, int i) { return pointStatusCode(pl->status[i]); }

bool isGap(const Pline* pl, int i) { return codeOf(pl, i) == kPointGap; }

// Run points are neither gaps nor special points.
bool inRun(const Pline* pl, int i) {
  const int c = codeOf(pl, i);
  return c != kPointGap && c != kPointSpecial;
}

// Calls f(a, b) for every run [a, b] of the path, one-point runs included.
template <typename F>
void forEachRun(const Pline* pl, F f) {
  int i = 0;
  while (i < pl->count) {
    if (!inRun(pl, i)) {
      ++i;
      continue;
    }
    int end = i;
    while (end + 1 < pl->count && inRun(pl, end + 1)) ++end;
    f(i, end);
    i = end + 1;
  }
}

// Whether plineCopyReduced keeps point i.
bool keptByReduction(const Pline* pl, int i) {
  if (codeOf(pl, i) == kPointDropped) return false;
  if (!isGap(pl, i) || i == 0 || i == pl->count - 1) return true;
  return !(isGap(pl, i - 1) && isGap(pl, i + 1));
}

PlineListNode* newNode(Pline* pl) {
  auto* node = new (std::nothrow) PlineListNode{pl, nullptr};
  if (node == nullptr) plineFree(pl);
  return node;
}

void linkBack(PlineList* list, PlineListNode* node) {
  if (list->last != nullptr) {
    list->last->next = node;
  } else {
    list->first = node;
  }
  list->last = node;
}

void linkFront(PlineList* list, PlineListNode* node) {
  node->next = list->first;
  list->first = node;
  if (list->last == nullptr) list->last = node;
}

// The compacted copy of path, displayed first; null on failure.
Pline* shownCopy(const Pline* path) {
  plineDisplayRuns(path);
  Pline* copy = plineNew(kPlineListShownCapacity, 1);
  if (copy == nullptr) return nullptr;
  if (plineCopyCompacted(path, copy) < 0) {
    plineFree(copy);
    return nullptr;
  }
  return copy;
}

Pline* reducedCopy(const Pline* path) {
  Pline* copy = plineNew(plineCountReduced(path) + kPlineListReducedSlack, 1);
  if (copy == nullptr) return nullptr;
  if (plineCopyReduced(path, copy) < 0) {
    plineFree(copy);
    return nullptr;
  }
  if (showPieces.load(std::memory_order_relaxed) != 0) plineDisplayRuns(copy);
  return copy;
}

int addCopy(PlineList* list, Pline* copy, bool front) {
  if (copy == nullptr) return -1;
  PlineListNode* node = newNode(copy);
  if (node == nullptr) return -1;
  if (front) {
    linkFront(list, node);
  } else {
    linkBack(list, node);
  }
  return 1;
}

}  // namespace

PlineList* plineListNew() { return new (std::nothrow) PlineList{nullptr, nullptr}; }

void plineListFree(PlineList* list) {
  if (list == nullptr) return;
  PlineListNode* node = list->first;
  while (node != nullptr) {
    PlineListNode* next = node->next;
    plineFree(node->pline);
    delete node;
    node = next;
  }
  delete list;
}

void plineListReverse(PlineList* list) {
  if (list == nullptr) return;
  PlineListNode* prev = nullptr;
  PlineListNode* node = list->first;
  list->last = node;
  while (node != nullptr) {
    PlineListNode* next = node->next;
    node->next = prev;
    prev = node;
    node = next;
  }
  list->first = prev;
}

int plineListSetShowPieces(int on) { return showPieces.exchange(on); }

int plineListAppendShown(PlineList* list, const Pline* path) {
  if (list == nullptr || path == nullptr) return -1;
  return addCopy(list, shownCopy(path), false);
}

int plineListPrependShown(PlineList* list, const Pline* path) {
  if (list == nullptr || path == nullptr) return -1;
  return addCopy(list, shownCopy(path), true);
}

int plineListAppendOwned(PlineList* list, Pline* path) {
  if (path == nullptr) return -1;
  if (list == nullptr) {
    plineFree(path);
    return -1;
  }
  return addCopy(list, path, false);
}

int plineListAppendShownTaken(PlineList* list, Pline* path) {
  if (list == nullptr || path == nullptr) {
    plineFree(path);
    return -1;
  }
  plineDisplayRuns(path);
  plineCompact(path);
  return plineListAppendOwned(list, path);
}

int plineListAppendReduced(PlineList* list, const Pline* path) {
  if (list == nullptr || path == nullptr) return -1;
  return addCopy(list, reducedCopy(path), false);
}

int plineListPrependReduced(PlineList* list, const Pline* path) {
  if (list == nullptr || path == nullptr) return -1;
  return addCopy(list, reducedCopy(path), true);
}

void plineDisplayRuns(const Pline* path) {
  if (path == nullptr) return;
  forEachRun(path, [path](int a, int b) {
    outDisplayPolyline(path->points + a, b - a + 1, "scallop", "step", "tmp");
  });
}

int plineCopyReduced(const Pline* src, Pline* dst) {
  if (src == nullptr || dst == nullptr) return -1;
  dst->count = 0;
  dst->tag = src->tag;
  for (int i = 0; i < src->count; ++i) {
    if (!keptByReduction(src, i)) continue;
    const Vec3d* axis = src->axes != nullptr ? &src->axes[i] : nullptr;
    const int flag = src->flags != nullptr ? src->flags[i] : 0;
    if (plineAppend(dst, src->params[i], &src->points[i], src->status[i], axis, flag) < 0) {
      return -1;
    }
  }
  return 1;
}

int plineCountReduced(const Pline* src) {
  if (src == nullptr) return 0;
  int n = 0;
  for (int i = 0; i < src->count; ++i) n += keptByReduction(src, i) ? 1 : 0;
  return n;
}

void plineDropShortRuns(Pline* path, double minLength) {
  if (path == nullptr) return;
  forEachRun(path, [path, minLength](int a, int b) {
    double len = 0.0;
    for (int i = a; i < b; ++i) len += ptDistance3d(&path->points[i], &path->points[i + 1]);
    if (a == b || len < minLength) {
      for (int i = a; i <= b; ++i) {
        path->status[i] = pointStatusWithCode(path->status[i], kPointGap);
      }
    }
  });
}
