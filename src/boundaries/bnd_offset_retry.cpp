#include "boundaries/bnd_offset_retry.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/number_format.h"
#include "geometry/errors/error_state.h"
#include "geometry/offset2d/planar_offset.h"
#include "geometry/offset2d/polygon_offset.h"
#include "geometry/primitives/primitives.h"

namespace {

// A chain whose ends agree this closely is closed.
constexpr double kClosedTol = 0.001;
// The retry shortens the distance by this much.
constexpr double kRetryStep = 0.01;
// Further loops longer than this share of the main loop fail a step.
constexpr double kSplitOffShare = 0.4;
// Leading segments of an open chain shorter than this share of the
// distance are left out.
constexpr double kShortLeadShare = 0.3;
// The call of the process that writes "problem.bnd".
constexpr int kProblemCall = 29;

int gCalls = 1;

bool endsWithin(const Seg2* segs, int n, double tol) {
  return std::fabs(segs[0].x0 - segs[n - 1].x1) < tol &&
         std::fabs(segs[0].y0 - segs[n - 1].y1) < tol;
}

double loopLength(const Vec2d* pts, int count) {
  double length = 0.0;
  for (int i = 1; i < count; ++i) {
    length += std::hypot(pts[i].x - pts[i - 1].x, pts[i].y - pts[i - 1].y);
  }
  return length;
}

// The closed chain as a point loop, offset with loop removal; the loops
// that split off may not be longer than kSplitOffShare of the result.
int closedLoopStep(const Seg2* segs, int n, double s, int side, Seg2* result, int capacity) {
  std::vector<Vec2d> pts(static_cast<std::size_t>(n) + 1);
  for (int i = 0; i < n; ++i) pts[static_cast<std::size_t>(i)] = Vec2d{segs[i].x0, segs[i].y0};
  pts[static_cast<std::size_t>(n)] = Vec2d{segs[n - 1].x1, segs[n - 1].y1};
  const int room = 3 * n + 10;
  std::vector<Vec2d> out(static_cast<std::size_t>(room));
  LoopStack* extra = loopStackNew();
  if (extra == nullptr) return -1;
  const int p = offset2dPolygon(pts.data(), n + 1, out.data(), room, s, side, extra);
  bool tooLong = false;
  if (p > 0) {
    const double mainLength = loopLength(out.data(), p);
    double further = 0.0;
    std::vector<Vec2d> buffer(static_cast<std::size_t>(room));
    int count = 0;
    int popped;
    while ((popped = loopStackPop(extra, buffer.data(), room, &count)) == 1) {
      further += loopLength(buffer.data(), count);
    }
    // A loop that did not fit the buffer counts as too long.
    tooLong = popped != -1 || further > kSplitOffShare * mainLength;
  }
  loopStackFree(extra);
  if (p <= 0 || tooLong || p - 1 > capacity) return -1;
  for (int i = 1; i < p; ++i) {
    result[i - 1] =
        Seg2{out[static_cast<std::size_t>(i - 1)].x, out[static_cast<std::size_t>(i - 1)].y,
             out[static_cast<std::size_t>(i)].x, out[static_cast<std::size_t>(i)].y};
  }
  return p - 1;
}

// One offset step of work[0..*count) in place.
int offsetStep(std::vector<Seg2>* work, int* count, int side, double s) {
  const int n = *count;
  if (n <= 1) return -1;
  const int capacity = std::max(bndOffsetRetryCapacity(n), offset2dResultCapacity(n));
  std::vector<Seg2> result(static_cast<std::size_t>(capacity));
  const Seg2* segs = work->data();
  const int o = seg2ChainOrientation(segs, n);
  const bool closed = endsWithin(segs, n, kClosedTol);
  int m;
  if (closed && side == o) {
    m = closedLoopStep(segs, n, s, side, result.data(), capacity);
  } else {
    m = offset2dSegChain(segs, n, s, result.data(), capacity, side);
  }
  if (m <= 0 && !closed) {
    // Leave out the leading segments whose running length stays below the
    // share of the distance.
    int k = 0;
    double run = 0.0;
    while (k < n) {
      run += std::hypot(segs[k].x1 - segs[k].x0, segs[k].y1 - segs[k].y0);
      if (!(run < kShortLeadShare * s)) break;
      ++k;
    }
    if (k > 0 && k < n) m = offset2dSegChain(segs + k, n - k, s, result.data(), capacity, side);
  }
  if (m <= 0) return -1;
  work->assign(result.begin(), result.begin() + m);
  *count = m;
  return m;
}

// The offset by s, split into halves down to the minimum step.
int offsetHalving(std::vector<Seg2>* work, int* count, int side, double s, double minStep) {
  // A failed step leaves work and count as they were.
  if (offsetStep(work, count, side, s) > 0) return *count;
  if (minStep - 0.00001 > s / 2) return -1;
  if (offsetHalving(work, count, side, s / 2, minStep) <= 0) return -1;
  return offsetHalving(work, count, side, s / 2, minStep);
}

}  // namespace

int bndOffsetRetryCapacity(int n) {
  if (n < 0) return 0;
  const long long room = std::max(4LL * n, 3LL * n + 10);
  return room > INT_MAX ? INT_MAX : static_cast<int>(room);
}

int bndOffsetRetry(const Seg2* segs, int n, double d, Seg2* out, int outCapacity, int side) {
  const bool gapBefore = n >= 1 && endsWithin(segs, n, d);
  if (gCalls == kProblemCall && n >= 1 && vyrDebugEnabled()) {
    bndWriteProblemFile(n, d, side, "problem.bnd", segs);
  }
  ++gCalls;
  if (n < 2) return -1;
  std::vector<Seg2> work(segs, segs + n);
  int count = n;
  int result = offsetHalving(&work, &count, side, d, d / 32);
  if (result < 1) return result;
  const bool gapAfter = gapBefore && endsWithin(work.data(), result, d);
  if (d > kRetryStep && (gapBefore != gapAfter || n > 3.5 * result)) {
    work.assign(segs, segs + n);
    count = n;
    const double shorter = d - kRetryStep;
    result = offsetHalving(&work, &count, side, shorter, shorter / 32);
    if (result < 1) return result;
  }
  if (result > outCapacity) return -1;
  std::copy(work.begin(), work.begin() + result, out);
  return result;
}

void bndWriteProblemFile(int n, double distance, int side, const char* fileName, const Seg2* segs) {
  std::FILE* f = std::fopen(fileName, "w");
  if (f == nullptr) return;
  std::string text = "**BND " + std::to_string(side) + " " + numFixed(distance, 6) + "\n";
  const auto point = [&text](double x, double y) {
    text += std::string("X") + numFixed(x, 6) + " Y" + numFixed(y, 6) + " Z0\n";
  };
  if (n > 0) point(segs[0].x0, segs[0].y0);
  for (int i = 0; i < n; ++i) point(segs[i].x1, segs[i].y1);
  text += "**END\n";
  std::fputs(text.c_str(), f);
  std::fclose(f);
}

void bndOffsetRetryResetCounter() { gCalls = 1; }
