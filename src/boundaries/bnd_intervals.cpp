#include "boundaries/bnd_intervals.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/messages.h"
#include "boundaries/bnd_active.h"
#include "boundaries/curve_fit.h"
#include "geometry/curves/curve.h"
#include "geometry/offset2d/planar_offset.h"
#include "geometry/offset2d/seg2_crossings.h"
#include "geometry/primitives/primitives.h"

namespace {

constexpr int kMsgLevel = 9;
constexpr int kMsgNoOrientation = 702;
constexpr int kMsgContactOffset = 703;
constexpr int kMsgSubtractMemory = 704;

// A 2-point curve whose ends lie this close to a boundary edge runs along it.
constexpr double kEdgeMatchTol = 0.001;
// Candidate intervals shorter than this are not kept.
constexpr double kMinInterval = 0.002;
constexpr double kTol = 0.00001;

bool near2(double ax, double ay, double bx, double by, double tol) {
  return std::fabs(ax - bx) < tol && std::fabs(ay - by) < tol;
}

// A 2-point curve lying on one edge of the boundary (in either direction).
bool curveIsEdge(const BoundaryRec* b, const CurveRec* c) {
  if (c->count != 2 || c->points == nullptr) return false;
  const Vec2d& p = c->points[0];
  const Vec2d& q = c->points[1];
  for (int i = 0; i < b->segCount; ++i) {
    const Seg2& s = b->segs[i];
    if (!near2(p.x, p.y, s.x0, s.y0, kEdgeMatchTol)) continue;
    const Seg2& before = b->segs[i == 0 ? b->segCount - 1 : i - 1];
    if (near2(q.x, q.y, s.x1, s.y1, kEdgeMatchTol) ||
        near2(q.x, q.y, before.x0, before.y0, kEdgeMatchTol)) {
      return true;
    }
  }
  return false;
}

// The parameter of a crossing on segment k of the curve (points k, k + 1).
double crossingParam(const CurveRec* c, int k, double x, double y) {
  const Vec2d& a = c->points[k];
  const Vec2d& b = c->points[k + 1];
  const double pa = c->lengths[k];
  const double pb = c->lengths[k + 1];
  const double len = std::hypot(b.x - a.x, b.y - a.y);
  if (len < kTol) return pa;
  return pa + std::hypot(x - a.x, y - a.y) * (pb - pa) / len;
}

int insideIntervals(const BoundaryRec* b, const CurveRec* c, std::vector<BndPair>* out) {
  out->clear();
  if (curveMatchesBoundary(c, b) != 0 || curveIsEdge(b, c)) {
    out->push_back(BndPair{c->t0, c->t1});
    return 1;
  }
  // The contour, with the contact offset when there is one.
  std::vector<Seg2> offsetSegs;
  const Seg2* contour = b->segs;
  int contourCount = b->segCount;
  if (std::fabs(b->contactOffset) >= kTol) {
    const int o = seg2ChainOrientation(b->segs, b->segCount);
    if (o == 0) {
      msgNumberedInt(kMsgLevel, kMsgNoOrientation,
                     "* Fehler: Boundary Orientierung nicht bestimmbar", 0);
      return -1;
    }
    const int capacity = offset2dResultCapacity(b->segCount);
    offsetSegs.resize(static_cast<std::size_t>(capacity));
    const int m = offset2dSegChain(b->segs, b->segCount, b->contactOffset, offsetSegs.data(),
                                   capacity, b->isOuter ? -o : o);
    if (m > 0) {
      contour = offsetSegs.data();
      contourCount = m;
    } else {
      msgNumberedInt(kMsgLevel, kMsgContactOffset,
                     "* Fehler: Boundary im Kontaktmodus nicht zu berechnen", 0);
    }
  }
  int curveSegCount = 0;
  Seg2* curveSegs = curveToSeg2(c, 1, &curveSegCount);
  if (curveSegs == nullptr) return -1;
  Seg2IsectArray* crossings = seg2IsectArrayNew(64);
  const int n = crossings != nullptr ? seg2ChainIntersectList(curveSegs, curveSegCount, contour,
                                                              contourCount, crossings)
                                     : -1;
  std::free(curveSegs);
  if (n < 0) {
    if (crossings != nullptr) seg2IsectArrayFree(crossings);
    return -1;
  }
  std::vector<double> cuts;
  cuts.push_back(c->t0);
  for (int i = 0; i < n; ++i) {
    const Seg2Isect& x = crossings->items[i];
    cuts.push_back(crossingParam(c, x.first - 1, x.x, x.y));  // segment numbers are 1-based
  }
  cuts.push_back(c->t1);
  seg2IsectArrayFree(crossings);
  for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
    const double a = std::clamp(cuts[i], c->t0, c->t1);
    const double e = std::clamp(cuts[i + 1], c->t0, c->t1);
    if (e - a < kMinInterval) continue;
    Vec2d mid{};
    double z = 0.0;
    if (curveEvalAt(c, 0.5 * (a + e), &mid, &z) < 0) continue;
    if (seg2ChainWinding(contour, contourCount, &mid) == 0) continue;
    if (n == 1 && seg2ArrayNearest(&mid, contour, contourCount, nullptr) < kTol) continue;
    out->push_back(BndPair{a, e});
  }
  return static_cast<int>(out->size());
}

void subtract(std::vector<BndPair>* intervals, const BndPair* islands, int islandCount) {
  std::vector<BndPair> result;
  for (const BndPair& iv : *intervals) {
    double a = iv.first;
    double b = iv.second;
    bool removed = false;
    for (int k = 0; k < islandCount; ++k) {
      const double c = islands[k].first;
      const double d = islands[k].second;
      if (c > b - kTol) break;
      if (d < a + kTol) continue;
      const bool coversStart = c < a + kTol;
      const bool coversEnd = d > b - kTol;
      if (coversStart && coversEnd) {
        removed = true;
        break;
      }
      if (coversStart) {
        a = d;
      } else if (coversEnd) {
        b = c;
      } else {
        result.push_back(BndPair{a, c});
        a = d;
      }
    }
    if (!removed) result.push_back(BndPair{a, b});
  }
  intervals->swap(result);
}

// The intervals of the boundary minus those of each of its islands.
int intervalsMinusIslands(const BoundaryRec* b, const CurveRec* c, std::vector<BndPair>* out) {
  const int n = insideIntervals(b, c, out);
  if (n < 0) return n;
  std::vector<BndPair> island;
  for (const BoundaryIslandNode* node = b->islands; node != nullptr; node = node->next) {
    if (node->island == nullptr) continue;
    if (insideIntervals(node->island, c, &island) < 0) continue;
    subtract(out, island.data(), static_cast<int>(island.size()));
  }
  return static_cast<int>(out->size());
}

BndPair* copyPairs(const std::vector<BndPair>& pairs) {
  if (pairs.empty()) return nullptr;
  auto* p = static_cast<BndPair*>(std::malloc(pairs.size() * sizeof(BndPair)));
  if (p != nullptr) std::memcpy(p, pairs.data(), pairs.size() * sizeof(BndPair));
  return p;
}

}  // namespace

int bndCurveInsideIntervals(const BoundaryRec* boundary, const CurveRec* curve, BndPair** out) {
  *out = nullptr;
  if (boundary == nullptr) return 0;
  if (curve == nullptr || boundary->segs == nullptr || boundary->segCount < 1) return -1;
  std::vector<BndPair> pairs;
  const int n = insideIntervals(boundary, curve, &pairs);
  if (n <= 0) return n;
  *out = copyPairs(pairs);
  return *out != nullptr ? n : -1;
}

int bndIntervalsSubtract(BndPair** intervals, int* count, const BndPair* islands, int islandCount) {
  std::vector<BndPair> pairs(*intervals, *intervals + *count);
  subtract(&pairs, islands, islandCount);
  BndPair* replaced = copyPairs(pairs);
  if (replaced == nullptr && !pairs.empty()) {
    msgNumberedInt(kMsgLevel, kMsgSubtractMemory,
                   "* Kein Memory fuer Schnitt zwischen Boundary und Leitkurve", 0);
    return -1;
  }
  std::free(*intervals);
  *intervals = replaced;
  *count = static_cast<int>(pairs.size());
  return 1;
}

int bndSetCurveIntervals(BoundaryRec* boundary, const CurveRec* curve) {
  if (boundary == nullptr) return 0;
  std::free(boundary->intervals);
  boundary->intervals = nullptr;
  boundary->intervalCount = 0;
  // The active boundary answers for whatever boundary was passed.
  const int active = bndActiveCurveIntervals(boundary, curve);
  if (active >= 0) return active;
  if (curve == nullptr || boundary->segs == nullptr) return -1;
  std::vector<BndPair> pairs;
  const int n = intervalsMinusIslands(boundary, curve, &pairs);
  if (n < 0) return n;
  boundary->intervals = copyPairs(pairs);
  if (boundary->intervals == nullptr && n > 0) return -1;
  boundary->intervalCount = n;
  return n;
}

int bndCurveIntervalsAppend(const BoundaryRec* boundary, const CurveRec* curve, ItemArray* pairs) {
  if (pairs == nullptr) return -1;
  pairs->count = 0;
  if (boundary == nullptr) return 0;
  if (curve == nullptr || boundary->segs == nullptr) return -1;
  std::vector<BndPair> found;
  const int n = intervalsMinusIslands(boundary, curve, &found);
  if (n < 0) return n;
  for (const BndPair& p : found) {
    if (bndPairListAppend(pairs, p.first, p.second) < 0) return -1;
  }
  return n;
}
