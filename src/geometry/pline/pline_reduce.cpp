#include "geometry/pline/pline_reduce.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <new>
#include <queue>
#include <vector>

#include "base/memory.h"
#include "base/tolerances.h"

namespace {

std::atomic<int> gReduceMode{kPlineReduceChord};
std::atomic<int> gReduceLnRed{0};

int codeAt(const Pline* pl, int i) { return pointStatusCode(pl->status[i]); }
void setCode(Pline* pl, int i, int code) {
  pl->status[i] = pointStatusWithCode(pl->status[i], code);
}

// Dropped for good or by the first chord pass.
bool isGone(int code) { return code == kPointDropped || code == kPointChordMark; }
// Gap class: gaps and special pieces bound the reductions.
bool isBarrier(int code) { return code == kPointGap || code == kPointSpecial; }
bool isApart(const Pline* pl, int i) { return pointStatusKind(pl->status[i]) == kPointKindApart; }
// Points and their neighbours agree on the gap class and on kind 100.
bool sameClass(const Pline* pl, int a, int b, int c) {
  const bool ga = isBarrier(codeAt(pl, a));
  const bool ka = isApart(pl, a);
  return ga == isBarrier(codeAt(pl, b)) && ga == isBarrier(codeAt(pl, c)) && ka == isApart(pl, b) &&
         ka == isApart(pl, c);
}

double dist3(const Vec3d& a, const Vec3d& b) {
  return std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) +
                   (b.z - a.z) * (b.z - a.z));
}

// Length of the span between points a and b.  A span with a coordinate that
// is not a number counts as endless: it sorts last and never merges, so the
// span orders stay strict.
double spanLength(const Pline* pl, int a, int b) {
  const double len = dist3(pl->points[a], pl->points[b]);
  return std::isnan(len) ? HUGE_VAL : len;
}

void recodeAll(Pline* pl, int code, int newCode) {
  for (int i = 0; i < pl->count; ++i) {
    if (codeAt(pl, i) == code) setCode(pl, i, newCode);
  }
}

// The candidate test of the ranked and shortest-first filters.  Locks i
// (status kPointLocked) and returns false when it cannot drop: no kept
// neighbour on a side, a neighbour outside [from, to], a different gap class
// or kind, or a chord longer than maxLen.  Otherwise *dev is the deviation of
// the chord between its kept neighbours.
bool candidateDeviation(Pline* pl, int i, double maxLen, int from, int to, double* dev) {
  int prev = -1;
  int next = -1;
  bool locked = plineKeptNeighbours(pl, i, &prev, &next) != 0 || prev < from || next > to ||
                !sameClass(pl, prev, i, next) || dist3(pl->points[prev], pl->points[next]) > maxLen;
  if (locked) {
    setCode(pl, i, kPointLocked);
    return false;
  }
  *dev = plineChordDeviation(prev, pl, next);
  return true;
}

// Tests both ends of a span and drops one of them by the common rule: the
// one whose removal deviates less, when that stays below tol; otherwise both
// are locked.  Returns the dropped index, or -1.
int decideSpan(Pline* pl, int i, int j, double maxLen, double tol, int from, int to) {
  double devI = 0.0;
  double devJ = 0.0;
  const bool freeI =
      codeAt(pl, i) != kPointLocked && candidateDeviation(pl, i, maxLen, from, to, &devI);
  const bool freeJ =
      codeAt(pl, j) != kPointLocked && candidateDeviation(pl, j, maxLen, from, to, &devJ);
  int dropped = -1;
  if (freeI && freeJ) {
    if (devJ > devI && devI < tol) {
      dropped = i;
    } else if (devJ < tol) {
      dropped = j;
    }
  } else if (freeI) {
    if (devI < tol) dropped = i;
  } else if (freeJ) {
    if (devJ < tol) dropped = j;
  }
  if (dropped >= 0) {
    setCode(pl, dropped, kPointDropped);
  } else {
    setCode(pl, i, kPointLocked);
    setCode(pl, j, kPointLocked);
  }
  return dropped;
}

// After point d dropped, the table entry of the span from its kept
// neighbour on one side (a, b) becomes the span of its two kept neighbours.
// A span that never entered the table (an end of another status) has no
// entry to update.
void replaceSpan(SpanTable* table, const Pline* pl, int a, int b, int p, int n) {
  const int at = spanTableFind(table, spanLength(pl, a, b), a, b);
  if (at < 0) return;
  const SpanEntry entry{spanLength(pl, p, n), p, n};
  spanTableMove(table, at, spanTableInsertPos(table, entry.length), &entry);
}

void rankedPass(Pline* pl, int from, int to, double maxLen, double tol) {
  SpanTable* table = spanTableNew(pl, from, to);
  if (table == nullptr) return;  // this chunk stays unreduced
  for (int k = 0; k < table->count; ++k) {
    const SpanEntry e = table->entries[k];
    if (e.length > maxLen) break;
    // An entry whose end has gone is stale: its span no longer exists.
    if (codeAt(pl, e.first) == kPointDropped || codeAt(pl, e.second) == kPointDropped) continue;
    const int d = decideSpan(pl, e.first, e.second, maxLen, tol, from, to);
    if (d < 0) continue;
    int p = -1;
    int n = -1;
    if (plineKeptNeighbours(pl, d, &p, &n) != 0) continue;
    if (d == e.first) {
      replaceSpan(table, pl, p, d, p, n);
    } else {
      replaceSpan(table, pl, d, n, p, n);
    }
  }
  recodeAll(pl, kPointLocked, kPointCut);
  spanTableFree(table);
}

bool isActive(int code) {
  return code != kPointGap && code != kPointDropped && code != kPointSpecial;
}

struct HeapSpan {
  double length;
  int first;
  int second;
};
// std::priority_queue puts the largest first: "larger" is the longer span,
// then the later first index.
struct LaterSpan {
  bool operator()(const HeapSpan& a, const HeapSpan& b) const {
    return a.length > b.length || (a.length == b.length && a.first > b.first);
  }
};

// The shortest-span-first steps with the spans in a heap.  The active points
// form a linked list (locks keep a point active, drops remove it); a heap
// entry is current while its first point is active, its second is still the
// next active one and the two are not both locked.  Returns false, with the
// marks made so far, when the memory for the heap is missing.
bool shortestFirstByHeap(Pline* pl, double maxLen, double tol) {
  const int n = pl->count;
  std::vector<int> prevA;
  std::vector<int> nextA;
  std::priority_queue<HeapSpan, std::vector<HeapSpan>, LaterSpan> heap;
  try {
    prevA.assign(n, -1);
    nextA.assign(n, -1);
    std::vector<HeapSpan> room;
    // Every drop adds at most one entry to the n - 1 of the start.
    room.reserve(2 * static_cast<std::size_t>(n));
    heap = std::priority_queue<HeapSpan, std::vector<HeapSpan>, LaterSpan>(LaterSpan{},
                                                                           std::move(room));
  } catch (const std::bad_alloc&) {
    return false;
  }
  auto span = [pl](int a, int b) { return HeapSpan{spanLength(pl, a, b), a, b}; };
  int last = -1;
  for (int i = 0; i < n; ++i) {
    if (!isActive(codeAt(pl, i))) continue;
    if (last >= 0) {
      nextA[last] = i;
      prevA[i] = last;
      heap.push(span(last, i));
    }
    last = i;
  }
  const int end = n - 1;
  while (!heap.empty()) {
    const HeapSpan top = heap.top();
    heap.pop();
    const int ci = codeAt(pl, top.first);
    if (!isActive(ci) || nextA[top.first] != top.second ||
        (ci == kPointLocked && codeAt(pl, top.second) == kPointLocked)) {
      continue;  // stale
    }
    if (top.length > maxLen) break;
    const int d = decideSpan(pl, top.first, top.second, maxLen, tol, 0, end);
    if (d < 0) continue;
    const int p = prevA[d];
    const int q = nextA[d];
    if (p >= 0) nextA[p] = q;
    if (q >= 0) prevA[q] = p;
    if (p >= 0 && q >= 0) heap.push(span(p, q));
  }
  return true;
}

}  // namespace

void plineReduceSetMode(int mode) { gReduceMode.store(mode, std::memory_order_relaxed); }
void plineReduceSetLnRed(int flag) { gReduceLnRed.store(flag, std::memory_order_relaxed); }
int plineReduceMode() { return gReduceMode.load(std::memory_order_relaxed); }
int plineReduceLnRed() { return gReduceLnRed.load(std::memory_order_relaxed); }

int plineKeptNeighbours(const Pline* pl, int i, int* prev, int* next) {
  int p = i - 1;
  while (p >= 0 && isGone(codeAt(pl, p))) --p;
  int n = i + 1;
  while (n < pl->count && isGone(codeAt(pl, n))) ++n;
  *prev = p;
  *next = n < pl->count ? n : -1;
  return (*prev < 0 || *next < 0) ? -1 : 0;
}

int plineNextActive(int i, const Pline* pl, int* next) {
  for (int k = i + 1; k < pl->count; ++k) {
    const int c = codeAt(pl, k);
    if (c != kPointGap && c != kPointDropped && c != kPointSpecial) {
      *next = k;
      return 1;
    }
  }
  return 0;
}

double plineChordDeviation(int a, const Pline* pl, int b) {
  const Vec3d& pa = pl->points[a];
  const Vec3d& pb = pl->points[b];
  const double len = dist3(pa, pb);
  if (len < kGeoEqualTol) return 0.0;
  const Vec3d u{(pb.x - pa.x) / len, (pb.y - pa.y) / len, (pb.z - pa.z) / len};
  double worst = 0.0;
  for (int k = a + 1; k < b; ++k) {
    const Vec3d v{pl->points[k].x - pa.x, pl->points[k].y - pa.y, pl->points[k].z - pa.z};
    const Vec3d c{v.y * u.z - v.z * u.y, v.z * u.x - v.x * u.z, v.x * u.y - v.y * u.x};
    const double d = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
    const double vl = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (vl >= kGeoEqualTol &&
        std::fabs((v.x * u.x + v.y * u.y + v.z * u.z) / vl) < kPlineReduceCosLimit) {
      return kPlineReduceOffChord;
    }
    worst = std::max(worst, d);
  }
  return worst;
}

void plineClearDropped(Pline* pl) { recodeAll(pl, kPointDropped, kPointCut); }

void plineReduceChordPass(Pline* pl, double length, double deviation) {
  for (int i = 1; i <= pl->count - 2; ++i) {
    // A point dropped by the first pass is not a candidate again: it stays
    // marked, so the rule below keeps its neighbours.
    const int code = codeAt(pl, i);
    if (isBarrier(code) || isGone(code)) continue;
    int prev = -1;
    int next = -1;
    if (plineKeptNeighbours(pl, i, &prev, &next) != 0) return;
    if (!sameClass(pl, prev, i, next)) continue;
    const double chord = dist3(pl->points[prev], pl->points[next]);
    if (chord > length) continue;
    // Points next to a first-pass drop stay.
    if ((i - 1 != prev && codeAt(pl, i - 1) == kPointChordMark) ||
        (i + 1 != next && codeAt(pl, i + 1) == kPointChordMark)) {
      continue;
    }
    if (chord < kGeoEqualTol || plineChordDeviation(prev, pl, next) <= deviation) {
      setCode(pl, i, kPointDropped);
    }
  }
}

void plineReduceRanked(Pline* pl, double maxLen, double tol) {
  plineClearDropped(pl);
  const int last = pl->count - 1;
  for (int f = 0; f < last;) {
    const int t = std::min(last, f + kPlineReduceChunk);
    rankedPass(pl, f, t, maxLen, tol);
    f = t;
  }
}

int plineShortestSpan(const Pline* pl, int* first, int* second, double* length) {
  int found = 0;
  double best = 0.0;
  for (int i = 0; i < pl->count; ++i) {
    const int c = codeAt(pl, i);
    if (c == kPointGap || c == kPointDropped || c == kPointSpecial) continue;
    int j = -1;
    if (!plineNextActive(i, pl, &j)) break;
    if (c == kPointLocked && codeAt(pl, j) == kPointLocked) continue;
    const double len = spanLength(pl, i, j);
    if (!found || len < best) {
      found = 1;
      best = len;
      *first = i;
      *second = j;
    }
  }
  if (found) *length = best;
  return found;
}

void plineReduceShortestFirst(Pline* pl, double maxLen, double tol) {
  if (pl->count < 2) return;
  plineClearDropped(pl);
  // A heap of the spans finds the same shortest span as a scan of the whole
  // path (the key is the length, then the first index, as the scan's "first
  // on ties"), in O(log n) per step instead of O(n).  Without memory for it,
  // the scan takes over from the same marks.
  if (!shortestFirstByHeap(pl, maxLen, tol)) {
    pline_reduce_detail::shortestFirstByScan(pl, maxLen, tol);
  }
  recodeAll(pl, kPointLocked, kPointCut);
}

namespace pline_reduce_detail {

void shortestFirstByScan(Pline* pl, double maxLen, double tol) {
  int i = -1;
  int j = -1;
  double len = 0.0;
  const int last = pl->count - 1;
  while (plineShortestSpan(pl, &i, &j, &len) && len <= maxLen) {
    decideSpan(pl, i, j, maxLen, tol, 0, last);
  }
}

}  // namespace pline_reduce_detail

void plineReduce(Pline* pl, double maxLen, double tol) {
  if (pl == nullptr || pl->count < 2) return;
  switch (plineReduceMode()) {
    case kPlineReduceRanked:
      plineReduceRanked(pl, maxLen, tol);
      return;
    case kPlineReduceShortestFirst:
      plineReduceShortestFirst(pl, maxLen, tol);
      return;
    default:
      break;
  }
  plineClearDropped(pl);
  plineReduceChordPass(pl, plineReduceLnRed() ? kPlineReduceLongChord : maxLen,
                       kPlineReduceCollinearTol);
  recodeAll(pl, kPointDropped, kPointChordMark);
  plineReduceChordPass(pl, maxLen, tol);
  recodeAll(pl, kPointChordMark, kPointDropped);
}

void plineCompact(Pline* pl) {
  if (pl == nullptr) return;
  int n = 0;
  for (int i = 0; i < pl->count; ++i) {
    if (codeAt(pl, i) == kPointDropped) continue;
    if (n != i) {
      pl->points[n] = pl->points[i];
      pl->params[n] = pl->params[i];
      pl->status[n] = pl->status[i];
      if (pl->axes != nullptr) pl->axes[n] = pl->axes[i];
      if (pl->flags != nullptr) pl->flags[n] = pl->flags[i];
    }
    ++n;
  }
  pl->count = n;
}

SpanTable* spanTableNew(const Pline* pl, int from, int to) {
  auto* t = static_cast<SpanTable*>(memAllocZeroed(sizeof(SpanTable)));
  if (t == nullptr) return nullptr;
  const int room = std::max(1, to - from);
  t->entries = static_cast<SpanEntry*>(memAllocZeroed(sizeof(SpanEntry) * room));
  if (t->entries == nullptr) {
    memFree(t);
    return nullptr;
  }
  t->capacity = room;
  auto cutting = [pl](int k) {
    const int c = codeAt(pl, k);
    return c == kPointCut || c == kPointBridged;
  };
  for (int a = from + 1; a <= to; ++a) {
    if (cutting(a - 1) && cutting(a)) {
      t->entries[t->count++] = {spanLength(pl, a - 1, a), a - 1, a};
    }
  }
  // Stable on equal lengths, so the walk order does not depend on the sort.
  std::stable_sort(t->entries, t->entries + t->count,
                   [](const SpanEntry& x, const SpanEntry& y) { return spanCompare(&x, &y) < 0; });
  return t;
}

void spanTableFree(SpanTable* table) {
  if (table == nullptr) return;
  memFree(table->entries);
  memFree(table);
}

int spanTableFind(const SpanTable* table, double length, int first, int second) {
  const SpanEntry* b = table->entries;
  const SpanEntry* e = b + table->count;
  const SpanEntry* it = b;
  if (table->count >= 3) {
    const double lo = length - kPlineSpanFindTol;
    it = std::partition_point(b, e, [lo](const SpanEntry& s) { return s.length < lo; });
  }
  for (; it != e; ++it) {
    if (it->first == first && it->second == second) return static_cast<int>(it - b);
  }
  return -1;
}

int spanTableInsertPos(const SpanTable* table, double length) {
  if (table->count == 0 || length > table->entries[table->count - 1].length) return table->count;
  const SpanEntry* b = table->entries;
  const SpanEntry* it = std::partition_point(
      b, b + table->count, [length](const SpanEntry& s) { return s.length <= length; });
  return static_cast<int>(it - b);
}

int spanTableMove(SpanTable* table, int from, int to, const SpanEntry* entry) {
  SpanEntry* e = table->entries;
  const SpanEntry copy = *entry;
  if (to > from) {
    // The entries after the removed one move down; the new one goes last.
    std::move(e + from + 1, e + to, e + from);
    e[to - 1] = copy;
    return to - 1;
  }
  std::move_backward(e + to, e + from, e + from + 1);
  e[to] = copy;
  return to;
}

int spanCompare(const void* a, const void* b) {
  const double la = static_cast<const SpanEntry*>(a)->length;
  const double lb = static_cast<const SpanEntry*>(b)->length;
  return la < lb ? -1 : (la > lb ? 1 : 0);
}
