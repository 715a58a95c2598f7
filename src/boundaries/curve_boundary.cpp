#include "boundaries/curve_boundary.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/messages.h"

namespace {

// Level of the cycle's numbered messages.
constexpr int kMsgLevelCycle = 9;

// Most boxes one call makes; a finer request is refused rather than
// allocated.
constexpr double kMaxPieceBoxes = 1e7;

void widenBox(double box[4], const Vec2d& p) {
  box[0] = std::min(box[0], p.x);
  box[1] = std::min(box[1], p.y);
  box[2] = std::max(box[2], p.x);
  box[3] = std::max(box[3], p.y);
}

}  // namespace

CurveRec* curveNewStandardLine(int kind, const BoundaryRec* bnd, int reverse, int side) {
  if (kind != kCurveKindLineX && kind != kCurveKindLineY) {
    msgNumberedReal(kMsgLevelCycle, kMsgWrongProfileMode, "* Fehler: falscher Profil Modus", 0.0);
    return nullptr;
  }
  if (bnd == nullptr) return nullptr;
  const double g = bnd->contactOffset;
  const double x0 = bnd->xMin - g;
  const double y0 = bnd->yMin - g;
  const double x1 = bnd->xMax + g;
  const double y1 = bnd->yMax + g;
  const bool c = reverse ? side != 0 : side == 0;
  CurveRec* curve = curveNewOwned(2, kind, false);
  if (curve == nullptr) return nullptr;
  double h;
  if (kind == kCurveKindLineX) {
    h = c ? y0 : y1;
    curve->lastStep = c ? y1 : y0;
    const double from = reverse ? x1 : x0;
    const double to = reverse ? x0 : x1;
    curve->points[0] = Vec2d{from, h};
    curve->points[1] = Vec2d{to, h};
  } else {
    h = c ? x1 : x0;
    curve->lastStep = c ? x0 : x1;
    const double from = reverse ? y1 : y0;
    const double to = reverse ? y0 : y1;
    curve->points[0] = Vec2d{h, from};
    curve->points[1] = Vec2d{h, to};
  }
  curve->firstStep = h;
  curve->box = CurveBox{x0, y0, x1, y1};
  curve->reverse = static_cast<int16_t>(reverse);
  curve->side = static_cast<int16_t>(side);
  curveUpdateLengths(curve);
  return curve;
}

CurveRec* curveFromMacro(const MacroRec* m) {
  if (m == nullptr || m->count < 1 || m->points == nullptr) return nullptr;
  CurveRec* curve = curveNewOwned(m->count, kCurveKindPolyline, true);
  if (curve == nullptr) return nullptr;
  const int n = m->count;
  for (int i = 0; i < n; ++i) {
    // An approach macro is built from the path outward: reverse it so the
    // curve runs towards the path.
    const Vec3d& p = m->points[m->type == kMacroApproach ? n - 1 - i : i];
    curve->points[i] = Vec2d{p.x, p.y};
    curve->z[i] = p.z;
  }
  curveUpdateLengths(curve);
  return curve;
}

CountedArray* curvePieceBoxes(const CurveRec* curve, double margin, const BoundaryRec* bnd,
                              double pieceLen) {
  if (curve == nullptr || curve->count < 2) return nullptr;
  if (!(margin > 0.0)) margin = 0.0;
  if (!(pieceLen >= kCurveTol)) pieceLen = 1.0;
  double start = curve->t0;
  double end = curve->t1;
  if (bnd != nullptr && bnd->intervalCount > 0 && bnd->intervals != nullptr) {
    start = bnd->intervals[0].first;
    end = bnd->intervals[bnd->intervalCount - 1].second;
  }
  if (curve->kind == kCurveKindLineX || curve->kind == kCurveKindLineY) {
    pieceLen = (end - start) + 1.0;
  }
  const double pieces = std::floor((end - start) / pieceLen) + 1.0;
  if (!(pieces <= kMaxPieceBoxes)) return nullptr;
  const int capacity = std::max(static_cast<int>(pieces), 1) + 1;

  Vec2d prev;
  if (curveEvalAt(curve, start, &prev, nullptr) < 0) return nullptr;
  auto* result = static_cast<CountedArray*>(std::calloc(1, sizeof(CountedArray)));
  auto* boxes =
      static_cast<double*>(std::calloc(static_cast<std::size_t>(capacity) * 4, sizeof(double)));
  if (result == nullptr || boxes == nullptr) {
    std::free(result);
    std::free(boxes);
    return nullptr;
  }
  result->data = boxes;

  double pos = start;
  double prevT = start;
  if (end - start < kCurveTol) pos = start - 0.5 * pieceLen;
  int made = 0;
  int k = 0;
  const double* lengthsEnd = curve->lengths + curve->count;
  while (pos < end - kCurveTol && made < capacity) {
    pos = std::min(pos + pieceLen, end);
    Vec2d p;
    if (curveEvalAt(curve, pos, &p, nullptr) < 0) {
      countedArrayFree(result);
      return nullptr;
    }
    double* box = boxes + 4 * made;
    box[0] = box[2] = prev.x;
    box[1] = box[3] = prev.y;
    widenBox(box, p);
    // Vertices strictly inside the piece (the lengths ascend).
    k = static_cast<int>(
        std::upper_bound(static_cast<const double*>(curve->lengths) + k, lengthsEnd, prevT) -
        curve->lengths);
    for (; k < curve->count && curve->lengths[k] < pos; ++k) widenBox(box, curve->points[k]);
    box[0] -= margin;
    box[1] -= margin;
    box[2] += margin;
    box[3] += margin;
    ++made;
    prev = p;
    prevT = pos;
  }
  result->count = made;
  return result;
}
