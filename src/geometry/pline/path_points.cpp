#include "geometry/pline/path_points.h"

#include <algorithm>
#include <cmath>

namespace {

// Whether the chord from a to i may drop the points between them.
bool ptChordAcceptable(const PathPoint* p, int a, int i, double tol, double maxLen) {
  const double chord[6] = {p[a].x,          p[a].y,          p[a].z,
                           p[i].x - p[a].x, p[i].y - p[a].y, p[i].z - p[a].z};
  if (chord[3] == 0.0 && chord[4] == 0.0 && chord[5] == 0.0) return false;
  if (std::sqrt(chord[3] * chord[3] + chord[4] * chord[4] + chord[5] * chord[5]) > maxLen) {
    return false;
  }
  for (int k = a + 1; k < i; ++k) {
    if (ptChordDistance(p[k].x, p[k].y, p[k].z, tol, chord) > tol) return false;
  }
  return true;
}

bool ptIsPlain(const PathPoint& p) { return p.kind == kPtKindPath && p.arcBegin == kPtMarkNo; }

bool ptRunBreak(const Pline* pl, int i) {
  const int code = pointStatusCode(pl->status[i]);
  return code == kPointGap || code == kPointSpecial;
}

}  // namespace

double ptBlockFraction(int n) {
  const double x = n;
  double percent;
  if (n <= 5000) {
    percent = 99.7 * std::exp(-x / 400) + 0.3;
  } else if (n <= 10000) {
    percent = 0.5 - 0.00004 * x;
  } else if (n <= 40000) {
    percent = 99.96 * std::exp(-x / 1300) + 0.04;
  } else {
    percent = 99.99 * std::exp(-x / 5000) + 0.01;
  }
  return percent / 100;
}

int ptBlockSize(int points, double fraction) {
  return std::max(1, static_cast<int>(std::floor(points * fraction + 0.5)));
}

double ptChordDistance(double x, double y, double z, double tol, const double chord[6]) {
  const double vx = x - chord[0], vy = y - chord[1], vz = z - chord[2];
  const double dd = chord[3] * chord[3] + chord[4] * chord[4] + chord[5] * chord[5];
  const double h = (vx * chord[3] + vy * chord[4] + vz * chord[5]) / dd;
  // A zero chord gives NaN here, which fails both tests: that is no chord.
  if (!(h > 0 && h < 1)) return tol + 1;
  const double ex = vx - h * chord[3], ey = vy - h * chord[4], ez = vz - h * chord[5];
  return std::sqrt(ex * ex + ey * ey + ez * ez);
}

int ptThinBlocks(double tol, double maxLen, PathPoint* points, int n) {
  if (points == nullptr || n < 3) return 1;
  const double fraction = ptBlockFraction(n);
  int v = ptBlockSize(n, fraction);
  int removed = 0;
  int a = 0;
  while (a < n - 1) {
    const int end = std::min(n - 1, a + 2 + v);
    int best = -1;
    for (int i = a + 2; i < end; ++i) {
      if (ptChordAcceptable(points, a, i, tol, maxLen)) best = i;
      if (best >= a + 1 + v) break;
    }
    if (best < 0 && ptChordAcceptable(points, a, end, tol, maxLen)) best = end;
    if (best < 0) {
      ++a;
      continue;
    }
    for (int k = a + 1; k < best; ++k) points[k].kind = kPtKindDropped;
    removed += best - a - 1;
    v = ptBlockSize(n - removed, fraction);
    a = best;
  }
  return removed > 0 ? 0 : 1;
}

int ptFindRun(const PathPoint* points, int count, int start, int* len) {
  if (points == nullptr || count < 1) return -1;
  if (start < 0 || start >= count) start = 0;
  while (start < count) {
    int i;
    if (points[start].arcBegin == kPtMarkYes) {
      // Step over the arc: start, its centre point, up to its end.
      i = start + 2;
      while (i < count && points[i].arcEnd != kPtMarkYes) ++i;
    } else {
      i = points[start].kind == kPtKindPath ? start : start + 1;
    }
    if (i >= count) return -1;
    if (points[i].kind != kPtKindPath) {
      start = i;
      continue;
    }
    int j = i;
    while (j < count && ptIsPlain(points[j])) ++j;
    if (j - i > 2) {
      if (len != nullptr) *len = j - i;
      return i;
    }
    // Too short (or an arc begins at i): go on after it.
    start = j > i ? j : i;
    if (start == i && points[i].arcBegin != kPtMarkYes) ++start;
  }
  return -1;
}

int plineNextRun(int from, const Pline* pl, int* first, int* last) {
  *first = -1;
  if (pl == nullptr || from >= pl->count) return 0;
  int i = std::max(from, 0);
  while (i < pl->count && ptRunBreak(pl, i)) ++i;
  if (i >= pl->count) return 0;
  int j = i;
  while (j + 1 < pl->count && !ptRunBreak(pl, j + 1)) ++j;
  *first = i;
  *last = j;
  return 1;
}
