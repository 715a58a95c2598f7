#include "cycles/profile/parallel_driver.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "base/messages.h"
#include "cycles/profile/plist_store.h"
#include "geometry/pline/pline_reduce.h"
#include "model/contact/contact_settings.h"
#include "model/drop/drop_along_curve.h"

namespace {

// The start height must lie this much above the bottom for a second level.
constexpr double kLevelCountSlack = 0.001;

std::atomic<int> gStopWord{0};

struct StoreFree {
  void operator()(PlistStore* store) const { plistStoreFree(store); }
};

struct CopyFree {
  void operator()(ModelRec* model) const { modelFreeCopy(model); }
};

struct PlineFree {
  void operator()(Pline* pl) const { plineFree(pl); }
};

// One line: drop the tool along line i on a private model copy, filter the
// points and store the line in this thread's slot.  The result of the line.
int profParallelLineBody(const ProfLevelInput& in, int i, PlistStore* store, int slot) {
  if (cycCheckBreak() != 0) {
    gStopWord.store(1);
    return kLineCancelled;
  }
  if (gStopWord.load() != 0) return kLineDone;

  std::unique_ptr<ModelRec, CopyFree> model(modelCopy(in.model));
  std::unique_ptr<Pline, PlineFree> path(plineNewCapped(kLinePlineCapacity, 1));
  if (!model || !path) return kLineFailed;
  LinkParams params = *in.params;
  if (params.holderCheckMode == 2) params.holderCheckMode = 3;

  // The line's own boundary record: the shared boundary with this line's
  // crossings as its inside intervals.
  BoundaryRec boundary{};
  model->boundaryChain = nullptr;
  if (in.boundary != nullptr && in.boundary->segCount > 0) {
    boundary = *in.boundary;
    boundary.next = nullptr;
    boundary.intervalCount = in.lines->crossings[i].count;
    boundary.intervals = in.lines->crossings[i].points;
    model->boundaryChain = &boundary;
  }
  model->guideCurve = in.lines->curves[i];

  ContactContext ctx;
  contactContextLoad(&ctx);
  const int drop = contactDropAlongCurveParallel(&ctx, model.get(), path.get());
  plineBridgeShortGaps(path.get(), params.maxLinkDistance);

  int result = kLineDone;
  if (drop == -3) gStopWord.store(1);
  if (drop < 0) result = kLineFailed;

  bool reduced = false;
  if (params.climbMode < kPlineClimbUpward) {
    plineReduce(path.get(), params.stepMax, params.stepMin);
    reduced = true;
    if (i % 2 == 1 && in.runDirection == kRunDirectionZigzag && in.infeedKind != 4 &&
        (in.clipSort == 0 || in.direction > 2)) {
      plineReverse(path.get());
    }
  } else {
    plineApplyClimbMode(path.get(), params.climbMode);
    plineReduce(path.get(), params.stepMax, params.stepMin);
    reduced = true;
  }
  model.reset();
  if (path->count < kLineReduceLimit) {
    if (!reduced) plineReduce(path.get(), params.stepMax, params.stepMin);
    plineCompact(path.get());
  }
  // A line that cannot be stored would be missing from the output: the
  // level fails instead.
  if (plistStoreAdd(store, slot, path.get(), i) < 0) result = kLineFailed;
  return result;
}

}  // namespace

std::atomic<int>& profStopWord() { return gStopWord; }

int profParallelLevel(const ProfLevelInput& in, PlineList* out, int* failedLine) {
  *failedLine = -1;
  const int count = in.lines != nullptr ? in.lines->count : 0;
  // Slots by the team that will run (not by the processors), so that every
  // thread number has its slot whatever OMP_NUM_THREADS says.
  const int slots = std::max(1, omp_get_max_threads());
  std::unique_ptr<PlistStore, StoreFree> store(plistStoreNew(slots, in.tmpDir, in.cacheCount));
  if (!store) return -1;
  std::vector<int> results(static_cast<size_t>(count), kLineDone);

  // The drop along a line opens a nested region of its own.
  omp_set_max_active_levels(2);
  PlistStore* shared = store.get();
#pragma omp parallel for schedule(dynamic, 1) num_threads(slots)
  for (int i = 0; i < count; ++i) {
    results[static_cast<size_t>(i)] = profParallelLineBody(in, i, shared, omp_get_thread_num());
  }

  int smallest = kLineDone;
  for (int i = 0; i < count; ++i) {
    if (results[static_cast<size_t>(i)] < smallest) {
      smallest = results[static_cast<size_t>(i)];
      *failedLine = i;
    }
  }
  // A cancelled level leaves no half level behind.
  if (gStopWord.load() != 0) return kLineCancelled;
  if (plistStoreCollect(shared, out) < 0) return -1;
  // Display records in line order on this thread: the same for any team.
  for (PlineListNode* node = out->first; node != nullptr; node = node->next) {
    plineDisplayRuns(node->pline);
  }
  return smallest;
}

void pathListAfterFailure(PlineList* list, int holderCheckMode, int smallest, int failedIndex) {
  if (list == nullptr) return;
  if (holderCheckMode == 2) {
    bool marking = false;
    for (PlineListNode* node = list->first; node != nullptr; node = node->next) {
      Pline* path = node->pline;
      if (path == nullptr) continue;
      for (int i = 0; i < path->count; ++i) {
        const int code = pointStatusCode(path->status[i]);
        if (code == kPointSpecial) marking = true;
        if (marking && code != kPointGap) {
          path->status[i] = pointStatusWithCode(path->status[i], kPointSpecial);
        }
      }
    }
  } else if (holderCheckMode == 0 && smallest < 0) {
    int position = 0;
    for (PlineListNode* node = list->first; node != nullptr; node = node->next, ++position) {
      if (position > failedIndex && node->pline != nullptr) node->pline->count = 0;
    }
  }
}

int plineInsertTopPoints(Pline* path, double topZ, double tolerance) {
  if (path == nullptr) return 0;
  int inserted = 0;
  for (int i = 0; i + 1 < path->count; ++i) {
    const bool gapHere = pointStatusCode(path->status[i]) == kPointGap;
    const bool gapNext = pointStatusCode(path->status[i + 1]) == kPointGap;
    if (gapHere == gapNext) continue;
    const int gap = gapHere ? i : i + 1;
    const int kept = gapHere ? i + 1 : i;
    const Vec3d g = path->points[gap];
    const Vec3d k = path->points[kept];
    if (std::hypot(g.x - k.x, g.y - k.y) >= tolerance) continue;
    if (!(topZ > k.z && topZ < g.z)) continue;
    const Vec3d top{k.x, k.y, topZ};
    const double param = 0.5 * (path->params[i] + path->params[i + 1]);
    const Vec3d* axis = path->axes != nullptr ? &path->axes[kept] : nullptr;
    const int flag = path->flags != nullptr ? path->flags[kept] : 0;
    // Stored right after point i; the new point keeps the cut point's status.
    if (plineAppend(path, param, &top, path->status[kept], axis, flag) < 0) return -1;
    const int last = path->count - 1;
    std::rotate(path->points + i + 1, path->points + last, path->points + last + 1);
    std::rotate(path->params + i + 1, path->params + last, path->params + last + 1);
    std::rotate(path->status + i + 1, path->status + last, path->status + last + 1);
    if (path->axes != nullptr) std::rotate(path->axes + i + 1, path->axes + last, path->axes + last + 1);
    if (path->flags != nullptr) std::rotate(path->flags + i + 1, path->flags + last, path->flags + last + 1);
    ++inserted;
    ++i;  // the pair (top point, next) needs no test
  }
  return inserted;
}

int profLevelCount(double s, double bottom, double v, int stockHeight, int* warnedDepth) {
  *warnedDepth = 0;
  if (s <= bottom) {
    *warnedDepth = 1;
    return 1;
  }
  if (stockHeight != 0 || !(v > 0.0)) return 1;
  const double steps = (s - bottom - kLevelCountSlack) / v;
  return std::max(1, static_cast<int>(steps) + 1);
}
