#include "boundaries/curve_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/messages.h"
#include "base/tolerances.h"
#include "geometry/curves/profile_file.h"
#include "geometry/offset2d/planar_offset.h"
#include "geometry/offset2d/seg2_crossings.h"
#include "geometry/primitives/primitives.h"

namespace {

// Room the crossing list of one meeting test starts with; it grows on demand.
constexpr int kCrossingRoom = 1000;

// Level of the message of a failed fit.
constexpr int kFitMessageLevel = 9;

bool samePlanPoint(double ax, double ay, double bx, double by) {
  return std::fabs(ax - bx) < kGeoEqualTol && std::fabs(ay - by) < kGeoEqualTol;
}

// Offsets the chain by d (|d| to the left for d >= 0, to the right for d < 0)
// into out.  The number of segments of a usable result, 0 when there is none,
// -1 when memory runs out.
int offsetChain(const CurveFitChain* chain, double d, std::vector<Seg2>* out) {
  if (chain->count <= 0 || !std::isfinite(d)) return 0;
  const int n = chain->count;
  // Room for every result the offset can give, so that a long trimmed result
  // is never mistaken for a memory failure.
  const int capacity = offset2dResultCapacity(n);
  try {
    out->resize(static_cast<std::size_t>(capacity));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  const int m =
      offset2dSegChain(chain->segs, n, std::fabs(d), out->data(), capacity, d < 0.0 ? -1 : 1);
  if (m < 0) return -1;
  if (m == 0) return 0;
  const Seg2& s = (*out)[0];
  if (m == 1 && samePlanPoint(s.x0, s.y0, s.x1, s.y1)) return 0;
  return m;
}

double boxWidth(const BoundaryRec* bnd) { return bnd->xMax - bnd->xMin; }
double boxHeight(const BoundaryRec* bnd) { return bnd->yMax - bnd->yMin; }

// The fit of a curve read from a profile: with a boundary the step offsets
// become the fitted range; a failed fit sends message 601 and frees the curve.
// Returns the curve, or null after a failed fit.
CurveRec* fitReadCurve(CurveRec* c, const BoundaryRec* bnd, double step) {
  if (bnd == nullptr) {
    c->firstStep = 0.0;
    c->lastStep = 0.0;
    return c;
  }
  double first = 0.0;
  double last = 0.0;
  if (curveFitToBoundary(c, bnd, step, &first, &last) < 0) {
    msgNumberedReal(kFitMessageLevel, kMsgProfileNotFitted, kMsgProfileNotFittedText, 0.0);
    curveFree(c);
    return nullptr;
  }
  c->firstStep = first;
  c->lastStep = last;
  return c;
}

// The first profile of lines read and fitted as curveReadPrfFitted does it.
CurveRec* readFittedFirst(const std::vector<std::string>& lines, const char* name,
                          const BoundaryRec* bnd, double step, int reverse, int side, bool withZ) {
  CurveRec* c = prfCurveFromLines(lines, PrfRange{0, lines.size()}, name, reverse, side, withZ);
  if (c == nullptr) return nullptr;
  if (c->count == 0) {
    curveFree(c);
    return nullptr;
  }
  return fitReadCurve(c, bnd, step);
}

}  // namespace

int curveMatchesBoundary(const CurveRec* curve, const BoundaryRec* bnd) {
  if (curve == nullptr || bnd == nullptr) return 0;
  const int n = bnd->segCount;
  const int count = curve->count;
  if (count != n && count != n + 1) return 0;
  if (n <= 0) return 1;
  const Seg2* s = bnd->segs;
  const Vec2d* p = curve->points;
  bool forward = true;
  for (int i = 0; i < n && forward; ++i) {
    forward = samePlanPoint(p[i].x, p[i].y, s[i].x0, s[i].y0);
  }
  if (forward) return 1;
  for (int j = 0; j < n; ++j) {
    const Vec2d& q = p[(n - j) % count];
    if (!samePlanPoint(q.x, q.y, s[j].x0, s[j].y0)) return 0;
  }
  return -1;
}

int curveOffsetMeetsBoundary(const CurveFitChain* chain, const BoundaryRec* bnd, double d) {
  std::vector<Seg2> out;
  const int m = offsetChain(chain, d, &out);
  if (m <= 0) return m;
  Seg2IsectArray* crossings = seg2IsectArrayNew(kCrossingRoom);
  if (crossings == nullptr) return -1;
  const int k = seg2ChainIntersectList(out.data(), m, bnd->segs, bnd->segCount, crossings);
  seg2IsectArrayFree(crossings);
  if (k < 0) return -1;
  if (k > 0) return 1;
  const Seg2& middle = out[static_cast<std::size_t>(m / 2)];
  const Vec2d p{middle.x0, middle.y0};
  return seg2ChainWinding(bnd->segs, bnd->segCount, &p) != 0 ? 1 : 0;
}

int curveFindMeetingOffset(CurveFitChain* chain, const BoundaryRec* bnd) {
  const int atZero = curveOffsetMeetsBoundary(chain, bnd, 0.0);
  if (atZero != 0) {
    if (atZero > 0) chain->offset = 0.0;
    return atZero;
  }
  const Vec2d centre{(bnd->xMin + bnd->xMax) / 2.0, (bnd->yMin + bnd->yMax) / 2.0};
  const double c = seg2ArrayNearest(&centre, chain->segs, chain->count, nullptr);
  for (const double d : {c, -c, c / 2.0, -c / 2.0}) {
    const int r = curveOffsetMeetsBoundary(chain, bnd, d);
    if (r < 0) return -1;
    if (r > 0) {
      chain->offset = d;
      return 1;
    }
  }
  return 0;
}

int curveOffsetReach(const CurveFitChain* chain, const BoundaryRec* bnd, double* reach) {
  std::vector<Seg2> out;
  const int m = offsetChain(chain, chain->offset, &out);
  if (m <= 0) return m;
  double largest = std::max(boxWidth(bnd) / 2.0, boxHeight(bnd) / 2.0);
  const Vec2d corners[4] = {{bnd->xMin, bnd->yMin},
                            {bnd->xMax, bnd->yMin},
                            {bnd->xMax, bnd->yMax},
                            {bnd->xMin, bnd->yMax}};
  for (const Vec2d& corner : corners) {
    largest = std::max(largest, seg2ArrayNearest(&corner, out.data(), m, nullptr));
  }
  *reach = kCurveFitReachFactor * largest;
  return 1;
}

int curveBisectOffset(const CurveFitChain* chain, const BoundaryRec* bnd, CurveBisection* b,
                      double eps) {
  while (std::fabs(b->hi - b->lo) >= eps) {
    const double mid = (b->lo + b->hi) / 2.0;
    // Far from the origin the two ends may be neighbouring doubles farther
    // apart than eps; the middle is then one of them and halving stops.
    if (mid == b->lo || mid == b->hi) break;
    const int r = curveOffsetMeetsBoundary(chain, bnd, mid);
    if (r < 0) return -1;
    const bool moveHi = b->mode == 1 ? r > 0 : r == 0;
    if (moveHi) {
      b->hi = mid;
    } else {
      b->lo = mid;
    }
  }
  return 1;
}

int curveFitToBoundary(CurveRec* curve, const BoundaryRec* bnd, double step, double* first,
                       double* last) {
  if (curve == nullptr || bnd == nullptr || first == nullptr || last == nullptr) return -1;
  // A step of no finite size would end every bisection at once.
  if (!std::isfinite(step)) return -1;
  if (std::fabs(step) < kGeoEqualTol) {
    *first = 0.0;
    *last = 0.0;
    return 0;
  }
  const int match = curveMatchesBoundary(curve, bnd);
  if (match != 0) {
    // The curve is the boundary: its offsets run inward from it, up to half
    // the larger box extent.
    double extent = std::max(boxWidth(bnd) / 2.0, boxHeight(bnd) / 2.0);
    int orientation = seg2ChainOrientation(bnd->segs, bnd->segCount);
    if (match < 0) orientation = -orientation;
    if (orientation < 0) {
      extent = -extent;
      curve->side = 1;
    } else {
      curve->side = 0;
    }
    *first = 0.0;
    *last = extent;
    return 0;
  }

  int n = 0;
  Seg2* segs = curveToSeg2(curve, 0, &n);
  if (segs == nullptr) return -1;
  CurveFitChain chain{segs, n, 0.0};
  const double eps = std::fabs(step);
  double reach = 0.0;
  double lo = 0.0;
  double hi = 0.0;
  int result = -1;
  if (curveFindMeetingOffset(&chain, bnd) > 0 && curveOffsetReach(&chain, bnd, &reach) > 0) {
    const double o = chain.offset;
    result = 0;
    const int below = curveOffsetMeetsBoundary(&chain, bnd, o - reach);
    if (below > 0) {
      lo = o - reach;
    } else if (below == 0) {
      CurveBisection b{o - reach, o, 1};
      if (curveBisectOffset(&chain, bnd, &b, eps) < 0) result = -1;
      lo = b.hi;
    } else {
      result = -1;
    }
    const int above = result == 0 ? curveOffsetMeetsBoundary(&chain, bnd, o + reach) : -1;
    if (above > 0) {
      hi = o + reach;
    } else if (above == 0) {
      CurveBisection b{o, o + reach, 2};
      if (curveBisectOffset(&chain, bnd, &b, eps) < 0) result = -1;
      hi = b.lo;
    } else {
      result = -1;
    }
  }
  std::free(segs);
  if (result < 0) return -1;
  if (curve->side) std::swap(lo, hi);
  *first = lo;
  *last = hi;
  return 0;
}

CurveRec* curveReadPrfFitted(const char* name, const BoundaryRec* bnd, double step, int reverse,
                             int side, int withZ) {
  std::vector<std::string> lines;
  if (prfLoadLines(name, &lines) < 0) return nullptr;
  return readFittedFirst(lines, name, bnd, step, reverse, side, withZ != 0);
}

CurveRec* curveReadPrfAll(const char* name, const BoundaryRec* bnd, double step, int reverse,
                          int side) {
  std::vector<std::string> lines;
  if (prfLoadLines(name, &lines) < 0) return nullptr;
  return curveReadPrfAllLines(lines, name, bnd, step, reverse, side);
}

CurveRec* curveReadPrfAllLines(const std::vector<std::string>& lines, const char* name,
                               const BoundaryRec* bnd, double step, int reverse, int side) {
  std::vector<PrfRange> ranges;
  const int profiles = prfMultiProfileRanges(lines, &ranges);
  if (profiles < 0) return nullptr;
  if (profiles < 2) return readFittedFirst(lines, name, bnd, step, reverse, side, true);
  CurveRec* head = nullptr;
  CurveRec** tail = &head;
  for (const PrfRange& range : ranges) {
    CurveRec* c = prfCurveFromLines(lines, range, kPrfSplitName, reverse, side, true);
    if (c == nullptr) break;
    if (c->count == 0) {
      curveFree(c);
      break;
    }
    c = fitReadCurve(c, bnd, step);
    if (c == nullptr) break;
    *tail = c;
    tail = &c->next;
  }
  return head;
}
