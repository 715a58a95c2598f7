#include "boundaries/path_optimizer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/number_format.h"

LPathOptimizerClass StandardLPathOptimizer = {
    "StandardLPathOptimizer",
    nullptr,
    1,
    lpoClassInit,
    lpoCreate,
    lpoDestroy,
    lpoFree,
    lpoAddSegment,
    lpoSetStart,
    lpoClearStart,
    lpoTourLength,
    lpoOptimize,
    lpoWriteKfy,
};

namespace {

// Gains below this do not count.
constexpr double kGainMargin = 0.00000001;
// Distances within this of the best are ties of the nearest neighbour.
constexpr double kTieTol = 0.001;
// A search whose best lies this close to the lower bound ends.
constexpr double kBoundTol = 0.001;
// The lower bound's value for a segment without another one.
constexpr double kNoNeighbour = 9.9e30;
// Segments added to the arrays at a time.
constexpr int kGrowStep = 16;
// Pass budget of small and large sets.
constexpr int kBudgetSmall = 20;
constexpr int kBudgetLargeSet = 75;
constexpr int kBudgetWork = 1500;
// The enumeration gives up after this many advances (it grows
// exponentially with the number of segments).
constexpr long long kEnumerationLimit = 20000000;

// Rounds of a repeated improvement at most.
constexpr int kMaxRounds = 1000;

int gPassBudget = kBudgetSmall;
double gLowerBound = 0.0;

using Order = std::vector<int>;

double dist2d(double ax, double ay, double bx, double by) { return std::hypot(bx - ax, by - ay); }

struct Geometry {
  const LPathOptimizer* opt;
  double exitTo(int i, int j) const {
    return dist2d(opt->exits[3 * i], opt->exits[3 * i + 1], opt->entries[3 * j],
                  opt->entries[3 * j + 1]);
  }
  double startTo(int j) const {
    return dist2d(opt->startX, opt->startY, opt->entries[3 * j], opt->entries[3 * j + 1]);
  }
  // The move into j from the node before position pos of seq (the start
  // point for the head).
  double into(const Order& seq, std::size_t pos, int j) const {
    return pos == 0 ? startTo(j) : exitTo(seq[pos - 1], j);
  }
  double length(const Order& seq) const {
    double l = 0.0;
    for (std::size_t k = 1; k < seq.size(); ++k) l += exitTo(seq[k - 1], seq[k]);
    return l;
  }
};

Order currentOrder(const LPathOptimizer* opt) { return Order(opt->order, opt->order + opt->count); }

void setOrder(LPathOptimizer* opt, const Order& seq) {
  std::copy(seq.begin(), seq.end(), opt->order);
  opt->lengthValid = 0;
}

// Nearest neighbour from the start point; with the tie rule a candidate
// within kTieTol of the best wins when it continues the previous move
// better.
Order nearestNeighbour(const LPathOptimizer* opt, bool tieRule) {
  const int n = opt->count;
  std::vector<char> placed(static_cast<std::size_t>(n), 0);
  Order seq;
  double cx = opt->startX, cy = opt->startY;
  double pvx = 0.0, pvy = 0.0;
  for (int k = 0; k < n; ++k) {
    int chosen = -1;
    double best = 0.0, chosenDot = 0.0;
    for (int j = 0; j < n; ++j) {
      if (placed[static_cast<std::size_t>(j)]) continue;
      const double ex = opt->entries[3 * j], ey = opt->entries[3 * j + 1];
      const double d = dist2d(cx, cy, ex, ey);
      const double dot = (ex - cx) * pvx + (ey - cy) * pvy;
      if (chosen < 0) {
        chosen = j;
        best = d;
        chosenDot = dot;
      } else if (tieRule && std::fabs(d - best) <= kTieTol) {
        if (dot > chosenDot) {
          chosen = j;
          chosenDot = dot;
        }
      } else if (d < best) {
        chosen = j;
        best = d;
        chosenDot = dot;
      }
    }
    placed[static_cast<std::size_t>(chosen)] = 1;
    seq.push_back(chosen);
    const double ex = opt->entries[3 * chosen], ey = opt->entries[3 * chosen + 1];
    pvx = ex - cx;
    pvy = ey - cy;
    cx = opt->exits[3 * chosen];
    cy = opt->exits[3 * chosen + 1];
  }
  return seq;
}

// 2-opt: reverses a stretch b..c where the two links it replaces cost more.
bool reversalPass(const Geometry& g, Order* seq) {
  const std::size_t n = seq->size();
  if (n < 5) return false;
  bool changed = false;
  Order& s = *seq;
  for (std::size_t a = 0; a + 3 < n; ++a) {
    for (std::size_t c = a + 2; c + 1 < n; ++c) {
      const int na = s[a], nb = s[a + 1], nc = s[c], nd = s[c + 1];
      if (g.exitTo(na, nb) + g.exitTo(nc, nd) - kGainMargin > g.exitTo(na, nc) + g.exitTo(nb, nd)) {
        std::reverse(s.begin() + static_cast<std::ptrdiff_t>(a + 1),
                     s.begin() + static_cast<std::ptrdiff_t>(c + 1));
        changed = true;
      }
    }
  }
  return changed;
}

// What a block costs at position pos of seq (inserted before seq[pos], or
// at the end for pos == seq.size()), its inner moves included.
double blockCost(const Geometry& g, const Order& seq, std::size_t pos, const Order& block) {
  const double inner = g.length(block);
  if (pos == seq.size()) {
    if (seq.empty()) return g.startTo(block.front()) + inner;
    return g.exitTo(seq.back(), block.front()) + inner;
  }
  const int c = seq[pos];
  return g.into(seq, pos, block.front()) + inner + g.exitTo(block.back(), c) - g.into(seq, pos, c);
}

// Moves the block of len nodes at position from to its cheapest place in
// any of the orders of orients; true when that gained more than the margin.
bool moveBlock(const Geometry& g, Order* seq, std::size_t from, std::size_t len,
               const std::vector<Order>& orients) {
  Order& s = *seq;
  Order block(s.begin() + static_cast<std::ptrdiff_t>(from),
              s.begin() + static_cast<std::ptrdiff_t>(from + len));
  Order rest(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(from));
  rest.insert(rest.end(), s.begin() + static_cast<std::ptrdiff_t>(from + len), s.end());
  const double gain = blockCost(g, rest, from, block);
  double best = gain;
  std::size_t bestPos = from;
  const Order* bestBlock = &block;
  for (const Order& o : orients) {
    for (std::size_t pos = 0; pos <= rest.size(); ++pos) {
      const double cost = blockCost(g, rest, pos, o);
      if (cost < best - kGainMargin) {
        best = cost;
        bestPos = pos;
        bestBlock = &o;
      }
    }
  }
  if (bestBlock == &block && bestPos == from) return false;
  const Order chosen = *bestBlock;
  rest.insert(rest.begin() + static_cast<std::ptrdiff_t>(bestPos), chosen.begin(), chosen.end());
  s.swap(rest);
  return gain - best > kGainMargin;
}

// Or-opt of single segments, in segment index order.
bool relocationPass(const Geometry& g, Order* seq) {
  bool improved = false;
  const int n = static_cast<int>(seq->size());
  if (n < 2) return false;
  for (int i = 0; i < n; ++i) {
    const auto it = std::find(seq->begin(), seq->end(), i);
    if (it == seq->end()) continue;
    const std::size_t from = static_cast<std::size_t>(it - seq->begin());
    const Order single{i};
    if (moveBlock(g, seq, from, 1, {single})) improved = true;
  }
  return improved;
}

// The six orders of three segments, the given one first.
std::vector<Order> sixOrders(const Order& b) {
  Order p = b;
  std::sort(p.begin(), p.end());
  std::vector<Order> all{b};
  do {
    if (p != b) all.push_back(p);
  } while (std::next_permutation(p.begin(), p.end()));
  return all;
}

// Moves each run of three consecutive segments to its cheapest place in the
// best of its six orders.
bool threeSegmentMove(const Geometry& g, Order* seq) {
  if (seq->size() < 4) return false;
  bool improved = false;
  for (std::size_t from = 0; from + 3 <= seq->size(); ++from) {
    const Order block(seq->begin() + static_cast<std::ptrdiff_t>(from),
                      seq->begin() + static_cast<std::ptrdiff_t>(from + 3));
    if (moveBlock(g, seq, from, 3, sixOrders(block))) improved = true;
  }
  return improved;
}

// Chains of n consecutive segments, n from the pass budget down to 2, moved
// to their cheapest place in either direction.
void chainMoves(const Geometry& g, Order* seq) {
  const int count = static_cast<int>(seq->size());
  for (int n = std::min(gPassBudget, count - 1); n >= 2; --n) {
    const std::size_t len = static_cast<std::size_t>(n);
    for (std::size_t from = 0; from + len <= seq->size(); ++from) {
      const Order block(seq->begin() + static_cast<std::ptrdiff_t>(from),
                        seq->begin() + static_cast<std::ptrdiff_t>(from + len));
      Order reversed(block.rbegin(), block.rend());
      moveBlock(g, seq, from, len, {block, reversed});
    }
  }
}

void longImprovement(const Geometry& g, Order* seq) {
  for (int round = 0; round < 3; ++round) {
    chainMoves(g, seq);
    threeSegmentMove(g, seq);
    if (reversalPass(g, seq)) threeSegmentMove(g, seq);
    relocationPass(g, seq);
  }
}

// Cheapest insertion of the segments of seq in their order into a growing
// list (with re-insertion), or one relocation pass over seq (without).
Order insertionStart(const Geometry& g, const Order& seq, bool reinsert) {
  if (!reinsert) {
    Order list = seq;
    relocationPass(g, &list);
    return list;
  }
  Order list;
  for (const int a : seq) {
    if (list.empty()) {
      list.push_back(a);
      continue;
    }
    double best = 0.0;
    std::size_t bestPos = 0;
    for (std::size_t pos = 0; pos < list.size(); ++pos) {
      const int c = list[pos];
      const double cost = g.into(list, pos, a) + g.exitTo(a, c) - g.into(list, pos, c);
      if (pos == 0 || cost < best) {
        best = cost;
        bestPos = pos;
      }
    }
    if (best > g.exitTo(list.back(), a)) {
      list.push_back(a);
    } else {
      list.insert(list.begin() + static_cast<std::ptrdiff_t>(bestPos), a);
    }
  }
  return list;
}

// Cheapest insertion and the long improvement step; kept only when shorter.
bool cheapestInsertion(LPathOptimizer* opt, bool reinsert) {
  if (!opt->startSet || opt->count < 2) return false;
  const Geometry g{opt};
  const Order before = currentOrder(opt);
  const double lengthBefore = g.length(before);
  Order list = insertionStart(g, before, reinsert);
  longImprovement(g, &list);
  if (g.length(list) < lengthBefore) {
    setOrder(opt, list);
    return true;
  }
  return false;
}

void insertionShortLoop(LPathOptimizer* opt) {
  if (!opt->startSet || opt->count < 2) return;
  const Geometry g{opt};
  const Order before = currentOrder(opt);
  Order list = insertionStart(g, before, true);
  // A round counts as an improvement only when the tour got shorter: the
  // reversals do not turn the segments, so a reversal of segments whose entry
  // and exit differ can lengthen the tour, and the passes could swap back and
  // forth for ever.
  int quiet = 0;
  for (int round = 0; quiet < 3 && round < kMaxRounds; ++round) {
    const double before = g.length(list);
    threeSegmentMove(g, &list);
    if (reversalPass(g, &list)) threeSegmentMove(g, &list);
    relocationPass(g, &list);
    if (!(g.length(list) < before - kGainMargin)) ++quiet;
  }
  if (g.length(list) < g.length(before)) setOrder(opt, list);
}

void iteratedInsertion(LPathOptimizer* opt, bool reinsert) {
  if (!opt->startSet || opt->count < 2) return;
  const Geometry g{opt};
  const int savedBudget = gPassBudget;
  const Order before = currentOrder(opt);
  Order best = before;
  double bestLength = g.length(before);
  const int levels = std::min(savedBudget, opt->count - 1);
  if (bestLength > gLowerBound + kBoundTol) {
    for (int level = 1; level <= levels; ++level) {
      gPassBudget = level;
      setOrder(opt, before);
      if (reinsert) {
        for (int round = 0; round < kMaxRounds && cheapestInsertion(opt, true); ++round) {
        }
      } else {
        cheapestInsertion(opt, false);
      }
      const double l = g.length(currentOrder(opt));
      if (l < bestLength - kGainMargin) {
        bestLength = l;
        best = currentOrder(opt);
      }
      if (bestLength - gLowerBound <= kBoundTol) break;
    }
  }
  gPassBudget = savedBudget;
  setOrder(opt, best);
  opt->length = bestLength;
  opt->lengthValid = 1;
}

void applyNearest(LPathOptimizer* opt, bool tieRule) {
  if (!opt->startSet || opt->count < 1) return;
  const Geometry g{opt};
  const Order old = currentOrder(opt);
  const Order seq = nearestNeighbour(opt, tieRule);
  if (g.length(seq) <= g.length(old)) setOrder(opt, seq);
}

void listImprovement(LPathOptimizer* opt) {
  if (!opt->startSet || opt->count < 2) return;
  const Geometry g{opt};
  Order list = currentOrder(opt);
  const double l0 = g.length(list);
  int weak = 0;
  for (int round = 0; round < kMaxRounds; ++round) {
    const double before = g.length(list);
    const bool reversed = reversalPass(g, &list);
    const bool relocated = relocationPass(g, &list);
    if (!reversed && !relocated) break;
    if (g.length(list) + kGainMargin > before && ++weak == 2) break;
  }
  if (g.length(list) < l0) setOrder(opt, list);
}

// Exhaustive search over the successor choices of a sorted distance table
// (small sets only; it gives up after kEnumerationLimit advances).  Its
// report goes to the error stream: standard output carries the POF stream.
void enumeration(LPathOptimizer* opt) {
  const int n = opt->count;
  if (n < 2) return;
  const Geometry g{opt};
  std::vector<std::vector<std::pair<double, int>>> rows(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const double d = i == j ? 0.0 : (i < j ? g.exitTo(i, j) : g.exitTo(j, i));
      rows[static_cast<std::size_t>(i)].push_back({d, j});
    }
    std::stable_sort(rows[static_cast<std::size_t>(i)].begin(),
                     rows[static_cast<std::size_t>(i)].end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  }
  const auto at = [&](int i, int r) {
    return rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(r)];
  };
  double nearestSum = 0.0, nearestMax = 0.0, farSum = 0.0;
  for (int i = 0; i < n; ++i) {
    nearestSum += at(i, 1).first;
    nearestMax = std::max(nearestMax, at(i, 1).first);
    farSum += at(i, n - 1).first;
  }
  int k = -1;
  std::vector<char> named(static_cast<std::size_t>(n), 0);
  for (int r = 1; r < n && k < 0; ++r) {
    for (int i = 0; i < n; ++i) named[static_cast<std::size_t>(at(i, r).second)] = 1;
    if (std::all_of(named.begin(), named.end(), [](char c) { return c != 0; })) k = r;
  }
  double e = 0.0;
  if (k >= 2) {
    e = 9.9e30;
    for (int i = 0; i < n; ++i) e = std::min(e, at(i, k).first - at(i, 1).first);
  }
  if (k > 0) std::fprintf(stderr, "Complete in line %d\n", k);
  std::fprintf(stderr, "Min: %lg (%lg)   Max: %lg\n", nearestSum + e - nearestMax,
               nearestSum - nearestMax, farSum);
  if (k < 0) k = 1;
  int m = k;
  std::vector<int> r(static_cast<std::size_t>(n), 1);
  if (k > 1) r.back() = k;
  static const char kSpinner[] = {'|', '/', '-', '\\'};
  long long advances = 0;
  int spinner = 0;
  for (;;) {
    // Test the candidate.
    std::vector<int> succ(static_cast<std::size_t>(n));
    std::vector<char> used(static_cast<std::size_t>(n), 0);
    int conflict = -1;
    for (int i = 0; i < n && conflict < 0; ++i) {
      const int s = at(i, r[static_cast<std::size_t>(i)]).second;
      if (used[static_cast<std::size_t>(s)]) conflict = i;
      used[static_cast<std::size_t>(s)] = 1;
      succ[static_cast<std::size_t>(i)] = s;
    }
    if (conflict < 0) {
      Order seq;
      std::vector<char> seen(static_cast<std::size_t>(n), 0);
      int cur = succ[static_cast<std::size_t>(n - 1)];
      for (int step = 0; step < n; ++step) {
        if (seen[static_cast<std::size_t>(cur)]) {
          conflict = n - 1;
          break;
        }
        seen[static_cast<std::size_t>(cur)] = 1;
        seq.push_back(cur);
        cur = succ[static_cast<std::size_t>(cur)];
      }
      if (conflict < 0) {
        setOrder(opt, seq);
        return;
      }
    }
    // Advance after a conflict at position c.
    if (++advances > kEnumerationLimit) return;
    if (advances % 10000 == 0) {
      std::fprintf(stderr, "%c\b", kSpinner[spinner]);
      spinner = (spinner + 1) % 4;
    }
    int c = conflict;
    bool exhausted = false;
    for (;;) {
      if (r[static_cast<std::size_t>(c)] < m) {
        ++r[static_cast<std::size_t>(c)];
        std::fill(r.begin() + c + 1, r.end(), 1);
        break;
      }
      r[static_cast<std::size_t>(c)] = 1;
      if (c == 0) {
        exhausted = true;
        break;
      }
      --c;
    }
    if (exhausted) {
      if (++m > n - 1) return;
      std::fill(r.begin(), r.end(), 1);
      r.back() = m;
      continue;
    }
    if (std::find(r.begin(), r.end(), m) == r.end()) r.back() = m;
  }
}

std::string num(double v) {
  char buf[kNumTextSize];
  return numFormat(buf, v);
}

}  // namespace

void lpoClassInit(LPathOptimizerClass* cls) {
  if (cls == nullptr || cls->initialised) return;
  LPathOptimizerClass* p = cls->parent;
  if (p != nullptr) {
    p->classInit(p);
    if (cls->create == nullptr) cls->create = p->create;
    if (cls->free == nullptr) cls->free = p->free;
    if (cls->addSegment == nullptr) cls->addSegment = p->addSegment;
    if (cls->setStart == nullptr) cls->setStart = p->setStart;
    if (cls->clearStart == nullptr) cls->clearStart = p->clearStart;
    if (cls->tourLength == nullptr) cls->tourLength = p->tourLength;
    if (cls->optimize == nullptr) cls->optimize = p->optimize;
    if (cls->writeKfy == nullptr) cls->writeKfy = p->writeKfy;
  }
  cls->initialised = 1;
}

LPathOptimizer* lpoCreate(LPathOptimizerClass* cls, const char* name) {
  auto* opt = static_cast<LPathOptimizer*>(memAllocZeroed(sizeof(LPathOptimizer)));
  if (opt == nullptr) return nullptr;
  if (name != nullptr) {
    opt->name = strDuplicate(name);
    if (opt->name == nullptr) {
      memFree(opt);
      return nullptr;
    }
  }
  opt->cls = cls;
  return opt;
}

void lpoDestroy(LPathOptimizer* opt) {
  if (opt == nullptr) return;
  memFree(opt->exits);
  memFree(opt->entries);
  memFree(opt->order);
  opt->exits = opt->entries = nullptr;
  opt->order = nullptr;
  opt->count = opt->capacity = 0;
}

void lpoFree(LPathOptimizer* opt) {
  if (opt == nullptr) return;
  lpoDestroy(opt);
  memFree(opt->name);
  memFree(opt);
}

int lpoAddSegment(LPathOptimizer* opt, double exitX, double exitY, double exitZ, double entryX,
                  double entryY, double entryZ) {
  if (opt->count == opt->capacity) {
    const std::size_t grown = static_cast<std::size_t>(opt->capacity) + kGrowStep;
    auto* exits = static_cast<double*>(memResize(opt->exits, grown * 3 * sizeof(double)));
    if (exits != nullptr) opt->exits = exits;
    auto* entries = static_cast<double*>(memResize(opt->entries, grown * 3 * sizeof(double)));
    if (entries != nullptr) opt->entries = entries;
    auto* order = static_cast<int*>(memResize(opt->order, grown * sizeof(int)));
    if (order != nullptr) opt->order = order;
    if (exits == nullptr || entries == nullptr || order == nullptr) {
      lpoDestroy(opt);
      return 0;
    }
    opt->capacity = static_cast<int>(grown);
  }
  const int k = opt->count;
  opt->exits[3 * k] = exitX;
  opt->exits[3 * k + 1] = exitY;
  opt->exits[3 * k + 2] = exitZ;
  opt->entries[3 * k] = entryX;
  opt->entries[3 * k + 1] = entryY;
  opt->entries[3 * k + 2] = entryZ;
  opt->order[k] = k;
  opt->count = k + 1;
  opt->lengthValid = 0;
  return 1;
}

int lpoSetStart(LPathOptimizer* opt, double x, double y, double z) {
  opt->startX = x;
  opt->startY = y;
  opt->startZ = z;
  opt->startSet = 1;
  opt->lengthValid = 0;
  return 1;
}

void lpoClearStart(LPathOptimizer* opt) {
  opt->startSet = 0;
  opt->lengthValid = 0;
}

double lpoTourLength(LPathOptimizer* opt) {
  const Geometry g{opt};
  opt->length = opt->count < 2 ? 0.0 : g.length(currentOrder(opt));
  opt->lengthValid = 1;
  return opt->length;
}

double lpoTourLowerBound(const LPathOptimizer* opt) {
  const Geometry g{opt};
  double sum = 0.0, largest = 0.0;
  for (int i = 0; i < opt->count; ++i) {
    double d = kNoNeighbour;
    for (int j = 0; j < opt->count; ++j) {
      if (j != i) d = std::min(d, g.exitTo(i, j));
    }
    sum += d;
    largest = std::max(largest, d);
  }
  return sum - largest;
}

void lpoOptimize(LPathOptimizer* opt) {
  gPassBudget = opt->count > kBudgetLargeSet ? std::max(2, kBudgetWork / opt->count) : kBudgetSmall;
  switch (opt->type) {
    case kLpoNearest:
      applyNearest(opt, true);
      break;
    case kLpoNearestImproved:
      applyNearest(opt, true);
      listImprovement(opt);
      break;
    case kLpoNone:
      break;
    case kLpoEnumeration:
      enumeration(opt);
      break;
    case kLpoIteratedInsertion:
      iteratedInsertion(opt, true);
      break;
    case kLpoInsertionShortLoop:
      insertionShortLoop(opt);
      break;
    case kLpoNearestIterated:
      applyNearest(opt, true);
      iteratedInsertion(opt, false);
      break;
    case kLpoInsertionThenPlain:
      cheapestInsertion(opt, true);
      applyNearest(opt, false);
      break;
    case kLpoPlainTwice:
      applyNearest(opt, false);
      applyNearest(opt, false);
      break;
    case kLpoInsertionTwice:
      cheapestInsertion(opt, true);
      cheapestInsertion(opt, true);
      break;
    default:
      cheapestInsertion(opt, true);
      break;
  }
}

void lpoWriteKfy(LPathOptimizer* opt, std::FILE* file, int full) {
  if (file == nullptr || opt->count < (full ? 2 : 1)) return;
  std::string out;
  if (full) {
    double x0 = opt->entries[0], x1 = x0, y0 = opt->entries[1], y1 = y0;
    const auto grow = [&](double x, double y) {
      x0 = std::min(x0, x);
      x1 = std::max(x1, x);
      y0 = std::min(y0, y);
      y1 = std::max(y1, y);
    };
    for (int i = 0; i < opt->count; ++i) {
      grow(opt->entries[3 * i], opt->entries[3 * i + 1]);
      grow(opt->exits[3 * i], opt->exits[3 * i + 1]);
    }
    if (opt->startSet) grow(opt->startX, opt->startY);
    out += "vminX(" + num(x0) + ")\nvmaxX(" + num(x1) + ")\nvminY(" + num(y0) + ")\nvmaxY(" +
           num(y1) + ")\n\n";
    if (opt->startSet) {
      const double s = std::max(0.005 * (x1 - x0), 0.005 * (y1 - y0));
      out += "oContour[START]( )\n{\n";
      out += "  oM( x[/" + num(opt->startX - s) + "] y[/" + num(opt->startY + s) + "] )\n";
      out += "  oL( y[/" + num(opt->startY - s) + "] fg[12] )\n";
      out += "  oL( x[/" + num(opt->startX + s) + "] )\n";
      out += "  oL( y[/" + num(opt->startY + s) + "] )\n";
      out += "  oL( x[/" + num(opt->startX - s) + "] )\n";
      out += "}\n\n";
    }
  }
  out += "oContour";
  if (opt->name != nullptr) {
    out += '[';
    out += opt->name;
    out += ']';
  }
  out += "( n[" + std::to_string(opt->count) + "]";
  if (opt->lengthValid) out += " l[" + num(opt->length) + "]";
  if (opt->startSet) {
    out += " sp[" + num(opt->startX) + "/" + num(opt->startY) + "/" + num(opt->startZ) + "]";
  }
  out += " )\n{\n";
  const auto move = [&](const double* from, const double* to) {
    return " x[" + num(from[0]) + "/" + num(to[0]) + "] y[" + num(from[1]) + "/" + num(to[1]) +
           "] z[" + num(from[2]) + "/" + num(to[2]) + "]";
  };
  for (int k = 1; k <= opt->count; ++k) {
    const int s = opt->order[k - 1];
    out += "  oL[" + std::to_string(k) + "](" + move(&opt->entries[3 * s], &opt->exits[3 * s]) +
           " fg[10] )\n";
  }
  out += "}\n\n";
  if (full) {
    out += "oContour";
    out += opt->name != nullptr ? "[con-" + std::string(opt->name) + "]( )\n{\n" : "[con]( )\n{\n";
    if (opt->startSet) {
      const double start[3] = {opt->startX, opt->startY, opt->startZ};
      out += "  oL[0](" + move(start, &opt->entries[3 * opt->order[0]]) + " fg[8] )\n";
    }
    for (int k = 1; k < opt->count; ++k) {
      out += "  oL[" + std::to_string(k) + "](" +
             move(&opt->exits[3 * opt->order[k - 1]], &opt->entries[3 * opt->order[k]]) +
             " fg[8] )\n";
    }
    out += "}\n\n";
  }
  std::fputs(out.c_str(), file);
}

LpoOrderList* lpoOrderListNew() {
  auto* list = static_cast<LpoOrderList*>(memAllocZeroed(sizeof(LpoOrderList)));
  if (list == nullptr) return nullptr;
  LPathOptimizerClass* cls = &StandardLPathOptimizer;
  cls->classInit(cls);
  list->optimizer = cls->create(cls, "DLO");
  if (list->optimizer == nullptr) {
    memFree(list);
    return nullptr;
  }
  list->optimizer->type = kLpoNearestImproved;
  cls->setStart(list->optimizer, 0, 0, 0);
  return list;
}

void lpoOrderListFree(LpoOrderList* list) {
  if (list == nullptr) return;
  if (list->optimizer != nullptr) list->optimizer->cls->free(list->optimizer);
  memFree(list->userPtrs);
  memFree(list);
}

int lpoOrderListSetStart(LpoOrderList* list, double x, double y, double z) {
  if (list == nullptr || list->optimizer == nullptr) return 0;
  list->iterating = 0;
  return list->optimizer->cls->setStart(list->optimizer, x, y, z);
}

int lpoOrderListAdd(LpoOrderList* list, double entryX, double entryY, double entryZ, double exitX,
                    double exitY, double exitZ, void* user) {
  if (list == nullptr || list->optimizer == nullptr) return 0;
  list->iterating = 0;
  LPathOptimizer* opt = list->optimizer;
  if (opt->cls != &StandardLPathOptimizer) return 0;
  if (list->count == list->capacity) {
    const std::size_t grown = static_cast<std::size_t>(list->capacity) + kGrowStep;
    auto* ptrs = static_cast<void**>(memResize(list->userPtrs, grown * sizeof(void*)));
    if (ptrs == nullptr) {
      memFree(list->userPtrs);
      list->userPtrs = nullptr;
      list->count = list->capacity = 0;
      opt->cls->destroy(opt);
      return 0;
    }
    list->userPtrs = ptrs;
    list->capacity = static_cast<int>(grown);
  }
  if (opt->cls->addSegment(opt, exitX, exitY, exitZ, entryX, entryY, entryZ) == 0) {
    memFree(list->userPtrs);
    list->userPtrs = nullptr;
    list->count = list->capacity = 0;
    return 0;
  }
  list->userPtrs[list->count++] = user;
  return 1;
}

int lpoOrderListOptimize(LpoOrderList* list) {
  if (list == nullptr || list->optimizer == nullptr) return 0;
  list->iterating = 0;
  LPathOptimizer* opt = list->optimizer;
  gLowerBound = lpoTourLowerBound(opt);
  opt->cls->optimize(opt);
  opt->cls->tourLength(opt);
  return 1;
}

double lpoOrderListLowerBound() { return gLowerBound; }

void* lpoOrderListFirst(LpoOrderList* list) {
  if (list == nullptr || list->optimizer == nullptr || list->count == 0) return nullptr;
  list->iterating = 1;
  list->index = 0;
  const int k = list->optimizer->order[0];
  return k < list->count ? list->userPtrs[k] : nullptr;
}

void* lpoOrderListNext(LpoOrderList* list) {
  if (list == nullptr || !list->iterating) return nullptr;
  if (++list->index >= list->optimizer->count) {
    list->iterating = 0;
    return nullptr;
  }
  const int k = list->optimizer->order[list->index];
  return k < list->count ? list->userPtrs[k] : nullptr;
}
