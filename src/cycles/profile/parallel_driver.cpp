#include "cycles/profile/parallel_driver.h"

#include <omp.h>

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "base/messages.h"
#include "boundaries/bnd_active.h"
#include "boundaries/bnd_file.h"
#include "boundaries/curve_boundary.h"
#include "cycles/profile/height_grid.h"
#include "cycles/profile/job/job_record.h"
#include "cycles/profile/path_output.h"
#include "cycles/profile/plist_store.h"
#include "cycles/profile/profile_run.h"
#include "geometry/pline/pline_reduce.h"
#include "geometry/pline/pline_thin.h"
#include "model/collision/holder_check.h"
#include "model/collision/holder_clearance.h"
#include "model/collision/holder_meshes.h"
#include "model/collision/stock_model.h"
#include "model/contact/contact_settings.h"
#include "model/drop/contact_drop.h"
#include "model/drop/drop_along_curve.h"
#include "model/io/model_load.h"
#include "model/mesh/model_grid.h"
#include "model/mesh/offset_model.h"

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

// Drops the tool along line i on a private model copy, filters the points
// and stores the line in this thread's slot; a stored line is also left in
// *stored for the display.  The result of the line.
int computeLine(const ProfLevelInput& in, int i, PlistStore* store, int slot,
                std::unique_ptr<Pline, PlineFree>* stored) {
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
  if (in.slopeMode == 0 && model->boxMax.z > model->topZ &&
      plineInsertTopPoints(path.get(), model->topZ, model->minStep) < 0) {
    return kLineFailed;
  }
  if (in.edgeMode == 1 && in.infeedKind != 4) plineGapUnflagged(path.get());
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
  if (params.holderCheck == 1 || params.holderCheck == 2) {
    const int holder =
        params.holderCheck == 1
            ? holderCheckPath(model.get(), &params, path.get(), params.holderCheckMode,
                              in.holderWiden)
            : holderCheckPathShank(model.get(), &params, path.get(), params.holderCheckMode,
                                   in.holderWiden);
    plineReduce(path.get(), params.stepMax, params.stepMin);
    if (holder == -2) result = kLineFailed;
  }
  if (in.thinRuns != 0) {
    if (reduced) plineCompact(path.get());
    plineThinRuns(path.get(), params.stepMin, params.stepMax);
  }
  model.reset();
  if (path->count < kLineReduceLimit) {
    if (!reduced) plineReduce(path.get(), params.stepMax, params.stepMin);
    plineCompact(path.get());
  }
  // A line that cannot be stored would be missing from the output: the
  // level fails instead.
  if (plistStoreAdd(store, slot, path.get(), i) < 0) return kLineFailed;
  // Shown as it is stored: without its dropped points.
  plineCompact(path.get());
  *stored = std::move(path);
  return result;
}

// The display of the finished lines in line order while the loop runs.  A
// line that is done hands its path over; whichever thread finds the next
// line of the sequence ready shows it and every ready line after it, one
// thread at a time.  The host sees the same sequence for any team, and no
// thread waits for another to show its line.
class OrderedDisplay {
 public:
  explicit OrderedDisplay(int count)
      : paths_(static_cast<size_t>(count), nullptr),
        ready_(std::make_unique<std::atomic<bool>[]>(static_cast<size_t>(count))) {}
  ~OrderedDisplay() {
    for (Pline* p : paths_) plineFree(p);
  }
  OrderedDisplay(const OrderedDisplay&) = delete;
  OrderedDisplay& operator=(const OrderedDisplay&) = delete;

  // Takes line i's path (null: nothing to show) and shows what is ready.
  void offer(int i, Pline* path) {
    paths_[static_cast<size_t>(i)] = path;
    ready_[static_cast<size_t>(i)].store(true);
    drain();
  }

  // Shows the ready lines from the next one on.  The flag and the ready
  // marks are sequentially consistent: a thread that marks its line and
  // then finds the flag taken can rely on the holder seeing the mark after
  // it lets the flag go.
  void drain() {
    for (;;) {
      if (busy_.exchange(true)) return;
      size_t next = next_;
      while (next < paths_.size() && ready_[next].load()) {
        Pline*& path = paths_[next];
        // A cancelled level shows nothing more.
        if (path != nullptr && gStopWord.load() == 0) plineDisplayRuns(path);
        plineFree(path);
        path = nullptr;
        ++next;
      }
      next_ = next;
      busy_.store(false);
      if (next >= paths_.size() || !ready_[next].load()) return;
    }
  }

 private:
  std::vector<Pline*> paths_;
  std::unique_ptr<std::atomic<bool>[]> ready_;
  size_t next_ = 0;  // guarded by busy_
  std::atomic<bool> busy_{false};
};

// One line: drop the tool along line i on a private model copy, filter the
// points, store the line in this thread's slot and hand it to the display.
// The result of the line.
int profParallelLineBody(const ProfLevelInput& in, int i, PlistStore* store, int slot,
                         OrderedDisplay& display) {
  std::unique_ptr<Pline, PlineFree> stored;
  const int result = computeLine(in, i, store, slot, &stored);
  display.offer(i, stored.release());
  return result;
}

}  // namespace

std::atomic<int>& profStopWord() { return gStopWord; }

int profParallelLevel(const ProfLevelInput& in, PlineList* out, int* failedLine,
                      ProfLevelTimes* times) {
  const double start = omp_get_wtime();
  *failedLine = -1;
  const int count = in.lines != nullptr ? in.lines->count : 0;
  // Slots by the team that will run (not by the processors), so that every
  // thread number has its slot whatever OMP_NUM_THREADS says.
  const int slots = std::max(1, omp_get_max_threads());
  std::unique_ptr<PlistStore, StoreFree> store(plistStoreNew(slots, in.tmpDir, in.cacheCount));
  if (!store) return -1;
  std::vector<int> results(static_cast<size_t>(count), kLineDone);

  // The drop along a line opens a nested region of its own.  The lines go
  // out in monotonic order: the line store merges its slots by line index.
  omp_set_max_active_levels(2);
  PlistStore* shared = store.get();
  OrderedDisplay display(count);
#pragma omp parallel for schedule(monotonic : dynamic, 1) num_threads(slots)
  for (int i = 0; i < count; ++i) {
    results[static_cast<size_t>(i)] =
        profParallelLineBody(in, i, shared, omp_get_thread_num(), display);
  }
  const double loopEnd = omp_get_wtime();
  if (times != nullptr) times->lines = loopEnd - start;

  int smallest = kLineDone;
  for (int i = 0; i < count; ++i) {
    if (results[static_cast<size_t>(i)] < smallest) {
      smallest = results[static_cast<size_t>(i)];
      *failedLine = i;
    }
  }
  // A cancelled level leaves no half level behind.
  if (gStopWord.load() != 0) return kLineCancelled;
  const int collected = plistStoreCollect(shared, out);
  if (times != nullptr) times->collect = omp_get_wtime() - loopEnd;
  return collected < 0 ? -1 : smallest;
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
    if (path->axes != nullptr)
      std::rotate(path->axes + i + 1, path->axes + last, path->axes + last + 1);
    if (path->flags != nullptr)
      std::rotate(path->flags + i + 1, path->flags + last, path->flags + last + 1);
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
  // A step too small to count the range down in an int gets the most
  // levels an int holds, never an undefined conversion.
  if (!(steps < INT_MAX - 1.0)) return INT_MAX;
  return std::max(1, static_cast<int>(steps) + 1);
}

namespace {

// Densifies, reparameterises and marks one path against the stock.
int stockTrimPath(Pline* path, const ModelRec* stock) {
  if (path == nullptr || path->count == 0) return 1;
  // Points one sample step apart at most: a stretch of air between two
  // cutting points is found, and a gap never spans a piece of stock.
  if (plineDensify(path, stock->maxStep) < 0) return -1;
  plineArcLengthParams(path);
  stockMarkAirPoints(path, stock, 1, 0);
  return 1;
}

}  // namespace

int stockTrimPaths(PlineList* list, const ModelRec* stock) {
  if (list == nullptr || stock == nullptr) return 1;
  for (PlineListNode* node = list->first; node != nullptr; node = node->next) {
    if (stockTrimPath(node->pline, stock) < 0) return -1;
  }
  return 1;
}

int pathListRaisedCopy(const PlineList* list, double dz, PlineList* out, const ModelRec* stock) {
  if (list == nullptr) return 1;
  if (out == nullptr) return -1;
  for (const PlineListNode* node = list->first; node != nullptr; node = node->next) {
    const Pline* path = node->pline;
    if (path == nullptr) continue;
    Pline* copy = plineNew(path->count, path->axes != nullptr ? 1 : 0);
    if (copy == nullptr) return -1;
    if (plineCopy(copy, path) < 0) {
      plineFree(copy);
      return -1;
    }
    for (int i = 0; i < copy->count; ++i) copy->points[i].z += dz;
    if (stock != nullptr && stockTrimPath(copy, stock) < 0) {
      plineFree(copy);
      return -1;
    }
    if (plineListAppendOwned(out, copy) < 0) return -1;
  }
  return 1;
}

namespace {

// Run state of the driver, freed by profDriverCleanup on every exit.
struct DriverState {
  BoundaryRec* boundaries = nullptr;
  PlineList* paths = nullptr;
  HeightGrid* heightGrid = nullptr;
  LinkParams* params = nullptr;  // holds heightGrid while the run goes on
  OffsetModel* offsetModel = nullptr;
  BoundarySet* contactSet = nullptr;
  ModelRec* stock = nullptr;  // the stock model of *STOCK_3DF, or null
};

// *LIMIT_HEIGHT at or above this: no z limit on the model.
constexpr double kNoLimitHeight = 99990;

DriverState gDriver;

bool named(const char* text) { return text[0] != '\0' && text[0] != ' '; }

// Loads the job's model: with clip surfaces (or the surfaces of automatic
// boundaries) the clip loaders, with extra surfaces the merged loaders, else
// the part alone, each as one mesh or per surface.  The loader's result.
int loadJobModel(const JobRecord& job, ModelRec* model) {
  const bool clip = named(job.clip3df) || (job.boundStrategy == 1 && named(job.mill3df));
  if (!clip) {
    if (job.extraCount > 0) {
      return job.multiPoly != 0
                 ? modelLoadMultiMerged(model, job.approx, job.extra3df, job.toolTip, 0)
                 : modelLoadMerged(model, job.approx, job.extra3df);
    }
    return job.multiPoly != 0 ? modelLoadMultiFile(model, job.approx, job.toolTip, 0)
                              : modelLoadFile(model, job.approx);
  }
  if (job.multiPoly != 0) {
    return modelLoadMultiWithClip(model, job.approx, job.clip3df, "", job.toolTip,
                                  job.clipOffset);
  }
  if (job.usePbound == 2) {
    const int loaded = modelLoadWithClipAndWall(model, job.approx, job.clip3df, "", job.cbndName,
                                                job.toolTip, job.clipOffset, 2 * job.precision);
    contactSetWallSurfaces(1);
    return loaded;
  }
  return modelLoadWithClip(model, job.approx, job.clip3df, "", job.toolTip, job.clipOffset);
}

// The holder and head meshes (with *WCOLL) and the height grid whose
// presence tells the path checks to test them.  -1 when the meshes cannot
// be built, -2 when the grid cannot be made.
int buildHolderData(JobRecord& job, LinkParams* params, ModelRec* model) {
  int built = 1;
  double cell = holderClearanceMargin();
  if (job.wcoll != 0) {
    built = !named(job.holder3df) && !named(job.head3df)
                ? holderBuildDefault(model, &params->holderClearance, cell, 0)
                : holderBuildFromFiles(model, &params->holderClearance,
                                       job.aufmassHori + job.aufmass, job.holder3df, job.head3df,
                                       job.holderKfy, job.headKfy, job.holderClearance,
                                       job.headClearance);
    job.wcoll = 0;
    cell = 0;
  }
  gDriver.heightGrid = heightGridNew(cell, model->boxMin, model->boxMax);
  if (gDriver.heightGrid == nullptr) return -2;
  gDriver.params = params;
  if (heightGridFill(gDriver.heightGrid, model) < 0) return -2;
  params->holderCollisionData = gDriver.heightGrid;
  return built < 0 ? -1 : 1;
}

// Frees the run state when the driver returns, whichever way it does.
struct CleanupOnExit {
  ModelRec* model;
  ~CleanupOnExit() { profDriverCleanup(model); }
};

struct ListFree {
  void operator()(PlineList* list) const { plineListFree(list); }
};

struct LineSetOnExit {
  LineSet* set;
  ~LineSetOnExit() { lineSetFree(set); }
};

int finishPass(LinkParams* params, ModelRec* model) {
  const PathEmitters e = pathOutputEmitters();
  return e.finish != nullptr ? e.finish(params, model) : 0;
}

// The output of one level (sorted or in list order).
int outputLevel(PlineList* list, LinkParams* params, ModelRec* model, const JobRecord& job) {
  if (job.clipSort != 0) {
    return pathListOutputSorted(list, params, model, job.zustellArt, job.lauf, job.clipSort,
                                1.5 * job.horizustel);
  }
  return pathListOutputInOrder(list, params, model, job.zustellArt);
}

// The contact switches of a level's drops: on from construction until off()
// or the end of the scope, so that no way out of a level (a cancel, a
// failure) leaves them on for the output or the next run.
class LevelContactSwitches {
 public:
  explicit LevelContactSwitches(const JobRecord& job)
      : job_(job), boundWalls_(job.boundStrategy == 1 && job.usePbound == 2) {
    if (job_.slopeMode != 0) contactSetSlopeLimits(1, job_.slopeAngle, job_.slopeFlatAngle);
    contactSetClipPass(1);
    contactSetContactBoundaries(gDriver.contactSet);
    if (boundWalls_) contactSetBoundWalls(1);
  }
  ~LevelContactSwitches() { off(); }
  LevelContactSwitches(const LevelContactSwitches&) = delete;
  LevelContactSwitches& operator=(const LevelContactSwitches&) = delete;

  void off() {
    if (!on_) return;
    on_ = false;
    if (job_.slopeMode != 0) contactSetSlopeLimits(0, job_.slopeAngle, job_.slopeFlatAngle);
    contactSetClipPass(0);
    contactSetContactBoundaries(nullptr);
    if (boundWalls_) contactSetBoundWalls(0);
  }

 private:
  const JobRecord& job_;
  const bool boundWalls_;
  bool on_ = true;
};

// The level's paths raised by k x *VERTZUSTEL for k = n down to 1, each set
// output as the level is, before the level itself: the material above the
// part is taken off in steps.  1, or the first negative output result (-1
// when memory runs out).  A *VERTZUSTEL of zero or below never gets here:
// the job's validation replaces it by a positive step.
int stockHeightPasses(ModelRec* model, const PlineList* list, LinkParams* params,
                      const JobRecord& job) {
  const double steps = job.stockHeight / (job.vertzustel + kStockHeightSlack);
  // Truncated as an int; a quotient beyond the int range cannot be counted.
  const int n = steps < static_cast<double>(INT_MAX) ? static_cast<int>(steps) : INT_MAX;
  for (int k = n; k >= 1; --k) {
    std::unique_ptr<PlineList, ListFree> raised(plineListNew());
    if (!raised || pathListRaisedCopy(list, k * job.vertzustel, raised.get(), gDriver.stock) < 0) {
      return -1;
    }
    const int out = outputLevel(raised.get(), params, model, job);
    if (out < 0) return out;
  }
  return 1;
}

// The levels of one boundary.  kDriverDone, or the driver's result.
int runBoundary(LinkParams* params, ModelRec* model, BoundaryRec* boundary, JobRecord& job) {
  params->safetyDistance = job.sichdist;
  // Without cross optimisation or slope boundaries (not built here) the
  // contact mode's boundary becomes the active one.
  if (job.boundMode == 1 && (job.slopeMode == 0 || job.clipSort != 0) && model->boundaryFlag != 0) {
    bndSetActive(boundary);
  }
  const ToolShape& tool = *model->tool;
  const double r = tool.radius;
  if (job.oberfl > 9999.99999) job.oberfl = tool.tipOffset + model->boxMax.z;

  double bottom = job.tief + tool.tipOffset;
  double top = job.oberfl + tool.tipOffset;
  if (job.toolTip == 1) {
    if (job.bottomOk == 0) bottom += job.aufmass;
    if (job.topOk == 0) top += job.aufmass;
  } else {
    bottom += tool.cornerRadius;
    top += tool.cornerRadius;
    if (job.bottomOk != 0) bottom -= job.aufmass;
    if (job.topOk != 0) top -= job.aufmass;
  }

  if (job.bearbeitricht == 4) {
    msgNumbered(9, 5000, "* Gravur Modus nicht mehr unterstuetzt", nullptr);
    return kDriverNoGuide;
  }
  CurveRec* guide = nullptr;
  // The standard X and Y lines; the other guide-curve strategies have no
  // builder here and end as a guide curve that cannot be made.
  if (job.bearbeitricht < 3 || job.bearbeitricht > 10 || job.bearbeitricht == 7) {
    guide = curveNewStandardLine(job.bearbeitricht == 1 ? 'y' : 'x', boundary, job.invRicht,
                                 job.invZust);
  }
  if (guide == nullptr) {
    msgNumbered(9, 310, "* Fehler: 1 Kein Speicher fuer Profile", nullptr);
    return kDriverNoGuide;
  }
  if (gDriver.paths == nullptr) gDriver.paths = plineListNew();
  if (gDriver.paths == nullptr) {
    curveFree(guide);
    msgNumbered(9, 804, "* Error: No memory for pline list", nullptr);
    return kDriverNoMemory;
  }
  if (job.stockHeight != 0.0) job.clipSort = 2;

  const double s = model->boundaryFlag != 0 ? top : std::min(top, model->boxMax.z + r);
  if (model->boxMax.z > params->safetyPlane) {
    msgNumbered(9, 316, "* Warnung: Kollisionsgefahr, da Sicherheitsebene unterhalb der Teilgrenze",
                nullptr);
  }
  int warnedDepth = 0;
  const int n = profLevelCount(s, bottom, job.vertzustel, job.stockHeight != 0.0, &warnedDepth);
  if (warnedDepth != 0) msgNumbered(9, 317, "* Warnung: Tiefe >= Oberflaeche", nullptr);
  params->verticalStepCount = n;
  if (job.zustellArt != 4) msgNumberedInt(3, 318, "* Zahl der vertikalen Zustellungen: %d", n);
  const double levelStep = n > 1 ? (s - bottom) / n : 0.0;
  if (n > 1) model->boundaryFlag = 1;

  LineSet lines{};
  LineSetOnExit linesGuard{&lines};
  const int built =
      lineSetInit(&lines, 1000) < 0 ? -1 : lineSetBuild(&lines, job.horizustel, guide, boundary, 0);
  curveFree(guide);
  if (built < 0) {
    msgNumbered(9, 804, "* Error: No memory for pline list", nullptr);
    return kDriverNoMemory;
  }

  for (int level = 1; level <= n && profStopWord().load() == 0; ++level) {
    if (level == 2) params->safetyDistance += levelStep;
    double levelTop = params->feedJump == 1 ? s - (s - bottom) * (level - 1) / n : top;
    const PathEmitters hooks = pathOutputEmitters();
    if (hooks.startSection != nullptr) hooks.startSection(model);
    double z;
    if (job.stockHeight == 0.0) {
      z = std::max(s - level * job.vertzustel, bottom);
      if (params->feedJump == 1) levelTop = s - (level - 1) * job.vertzustel;
    } else {
      z = s - (s - bottom) * level / n;
    }
    model->floorZ = z;
    model->topZ = levelTop;

    LevelContactSwitches switches(job);
    const ProfLevelInput in{&lines,     model,          params,        boundary,
                            job.lauf,   job.zustellArt, job.clipSort,  job.bearbeitricht,
                            job.tmpDir, job.pathCashCt, job.slopeMode, job.bearbeitrand,
                            job.plred,  job.holdcheckClearDiameter};
    int failedLine = -1;
    const int smallest = profParallelLevel(in, gDriver.paths, &failedLine);
    // A path list that cannot be collected or marked against the stock
    // would lose paths or cut air.
    if (smallest == -1 ||
        (smallest != kLineCancelled && stockTrimPaths(gDriver.paths, gDriver.stock) < 0)) {
      msgNumbered(9, 807, "* Error: No memory for pline list", nullptr);
      return kDriverNoMemory;
    }
    if (smallest == kLineCancelled) break;  // nothing of this level is emitted
    pathListAfterFailure(gDriver.paths, params->holderCheckMode, smallest, failedLine);
    plineListReverse(gDriver.paths);
    if (smallest == kLineFailed) {
      msgNumbered(9, 6007, "* Tool holder Collision", nullptr);
      msgNumbered(9, 6012, "* Stop calculation", nullptr);
    }
    switches.off();
    int out = 1;
    if (job.stockHeight != 0.0) out = stockHeightPasses(model, gDriver.paths, params, job);
    if (out >= 0) out = outputLevel(gDriver.paths, params, model, job);
    if (out == -3) {
      msgNumbered(9, 325, "* Fehler: Kein Plattenplatz mehr verfuegbar", nullptr);
      return kDriverDiskFull;
    }
    if (out < 0 || smallest < 0) {
      finishPass(params, model);
      return kDriverCancelled;
    }
    plineListFree(gDriver.paths);
    gDriver.paths = plineListNew();
    if (gDriver.paths == nullptr) {
      msgNumbered(9, 807, "* Error: No memory for pline list", nullptr);
      return kDriverNoMemory;
    }
  }
  return kDriverDone;
}

}  // namespace

void profDriverCleanup(ModelRec* model) {
  bndClearActive();
  if (model != nullptr) {
    modelFreeSurfaces(model);
    contactListFree(model->candidates);
    model->candidates = nullptr;
  }
  bndFreeList(gDriver.boundaries);
  gDriver.boundaries = nullptr;
  plineListFree(gDriver.paths);
  gDriver.paths = nullptr;
  holderFreeModels();
  // The loader switches of the run end with it.
  modelSetDiagonalBoxes(0);
  modelSetLoadZLimit(kModelNoZLimit);
  contactSetOffsetModel(nullptr);
  offsetModelFreeData(gDriver.offsetModel);
  gDriver.offsetModel = nullptr;
  contactSetContactBoundaries(nullptr);
  bndSetFree(gDriver.contactSet);
  gDriver.contactSet = nullptr;
  if (gDriver.params != nullptr) gDriver.params->holderCollisionData = nullptr;
  gDriver.params = nullptr;
  heightGridFree(gDriver.heightGrid);
  gDriver.heightGrid = nullptr;
  stockFreeModel(gDriver.stock);
  gDriver.stock = nullptr;
}

int profParallelDriver(const JobRecord& runJob, LinkParams* params, ModelRec* model) {
  assert(params != nullptr && model != nullptr && model->tool != nullptr);
  // The run's own copy: what the driver derives (the surface from the
  // model's top, the bottom from the model, the sort mode of stock heights)
  // must not become the next run's setting.
  const std::unique_ptr<JobRecord> jobCopy = std::make_unique<JobRecord>(runJob);
  JobRecord& job = *jobCopy;
  CleanupOnExit cleanup{model};
  profStopWord().store(0);
  model->randomPoints = job.randomPoints != 0 ? 1 : 0;
  if (job.randomPoints != 0) {
    msgNumbered(9, 340, "* Zufallsmodus fuer Punkteverteilung aktiviert", nullptr);
  }
  if (job.clipCount == 0) modelSetDiagonalBoxes(job.optDia);
  if (job.limitHeight < kNoLimitHeight) modelSetLoadZLimit(job.tief + job.limitHeight);
  // A model that cannot be read fails the run with a message; the loader's
  // own code for an unreadable file would read as a cancelled run.
  if (loadJobModel(job, model) < 0) {
    // A job without a model name was told so by its validation.
    if (job.approx[0] != '\0' && job.approx[0] != ' ') {
      msgNumbered(9, kMsgModelUnreadable, "* Fehler beim lesen der Datei %s", job.approx);
    }
    return kDriverModelFailed;
  }
  // The added surface file joins each pass's own model: a group shared
  // with the job's model would be freed twice.
  if (named(job.add3df) &&
      modelAddSurfaceFile(model, job.add3df, job.addOffset, job.toolTip, kModelKindFacets, 0) < 0) {
    msgNumbered(9, 509, "* Fehler: Keine Polyederdatei angegeben", nullptr);
  }
  if (modelBuildGrids(model) < 0) {
    msgNumbered(9, 305, "* Fehler: Optimierungsliste kann nicht generiert werden", nullptr);
  }
  if (named(job.stock3df)) {
    // The stock is read without rotated extents; the model's own stay in
    // force (and are freed with its surfaces) when the switch is on.
    const int diagonal = modelDiagonalBoxesOn();
    gDriver.stock = stockLoadModel(job.stock3df, model);
    modelSetDiagonalBoxes(diagonal);
    // Without its stock the job would cut air as if it were material.
    if (gDriver.stock == nullptr) {
      msgNumbered(9, kMsgModelUnreadable, "* Fehler beim lesen der Datei %s", job.stock3df);
      return kDriverModelFailed;
    }
    stockSetActive(1);
  }
  if (job.bottomOk == 0) {
    job.tief = model->boxMin.z - std::fabs(job.aufmass) - model->minStep;
    if (job.boundStrategy == 1 && job.usePbound == 2) job.tief -= model->tool->radius;
  }
  if (job.testOpti == 1 && model->tool->type == kToolBall && job.multiPoly == 0) {
    gDriver.offsetModel = modelBuildOffsetModel(model, model->tool->radius);
    contactSetOffsetModel(gDriver.offsetModel);
  }
  const double r = model->tool->radius;
  model->boxMax.z += r;
  if (job.bearbeitrand == 1) {
    model->boxMin.x -= r;
    model->boxMin.y -= r;
    model->boxMax.x += r;
    model->boxMax.y += r;
  }

  double contactOffset = 0.0;
  double reduceOffset = 0.0;
  if (job.boundMode == 1) {
    contactOffset = r;
    reduceOffset = job.bndReduction;
  } else if (job.boundMode == 2 || job.boundMode == 3) {
    reduceOffset = job.boundMode == 2 ? job.frradius : -job.frradius;
    model->contactMode = 0;
    if (job.boundMode == 3 && job.bearbeitricht == 5) bndSetOuterExtraOffset(job.bndReduction);
  }
  if (model->contactMode == 1 && job.contactFast != 0) model->contactMode = 0;
  model->slopeLimit = 0.0;

  // A job that asks for the holder check never runs without it.
  if (params->holderCheck != 0) {
    const int holder = buildHolderData(job, params, model);
    if (holder == -2) {
      msgNumbered(9, 305, "* Fehler: Optimierungsliste kann nicht generiert werden", nullptr);
      return kDriverNoMemory;
    }
    if (holder < 0) return kDriverHolderFailed;
  }

  if (model->boundaryFlag != 0) {
    gDriver.boundaries = job.bndSort != 0
                             ? bndReadFileSorted(job.boundary, contactOffset, reduceOffset, -1)
                             : bndReadFile(job.boundary, contactOffset, reduceOffset);
  }
  if (gDriver.boundaries == nullptr && model->boundaryFlag != 0 && job.boundary[0] != '\0') {
    // A named boundary file that cannot be read is an error of the job,
    // never a licence to machine the whole model.
    msgNumbered(9, 304, "* Fehler: Boundary kann nicht generiert werden", nullptr);
    return kDriverNoBoundary;
  }
  if (gDriver.boundaries == nullptr) {
    if (model->boundaryFlag != 0) {
      msgNumbered(9, 303, "* Keine Boundary angegeben: Es wird alles bearbeitet", nullptr);
      model->boundaryFlag = 0;
    }
    gDriver.boundaries =
        bndNewRect(model->boxMin.x, model->boxMax.x, model->boxMin.y, model->boxMax.y);
    if (gDriver.boundaries == nullptr) {
      msgNumbered(9, 304, "* Fehler: Boundary kann nicht generiert werden", nullptr);
      return kDriverNoBoundary;
    }
  }
  if (named(job.cbndName) && job.usePbound != 2) {
    gDriver.contactSet = bndSetLoad(job.cbndName);
    contactSetContactBoundaries(gDriver.contactSet);
  }
  if (job.taperAvoid == 0 && model->tool->type == kToolBall) {
    model->candidates = modelCandidateListNew(kDriverCandidateCapacity);
    if (model->candidates == nullptr) {
      msgNumbered(9, 305, "* Fehler: Optimierungsliste kann nicht generiert werden", nullptr);
      return kDriverNoCandidates;
    }
  }
  // The link state starts afresh on the first pass of a run only (also
  // when the job skips the main pass): the second pass of a cross
  // optimisation links on from the first.
  const PathEmitters hooks = pathOutputEmitters();
  if (passOfRun <= 1 && hooks.reset != nullptr) hooks.reset();

  for (BoundaryRec* b = gDriver.boundaries; b != nullptr && profStopWord().load() == 0;
       b = b->next) {
    if (b->isOuter == 0) continue;
    const int result = runBoundary(params, model, b, job);
    if (result != kDriverDone) return result;
  }
  if (finishPass(params, model) < 0) {
    msgNumbered(9, 325, "* Fehler: Kein Plattenplatz mehr verfuegbar", nullptr);
    return kDriverDiskFull;
  }
  return profStopWord().load() != 0 ? kDriverCancelled : kDriverDone;
}
