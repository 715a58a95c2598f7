#include "model/collision/holder_check.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <vector>

#include "base/messages.h"
#include "boundaries/macros/macro_rec.h"
#include "geometry/pline/pline_reduce.h"
#include "model/collision/holder_meshes.h"
#include "model/contact/contact_settings.h"
#include "model/drop/contact_drop.h"

namespace {

// The process-wide state of the checks.  Switches are single atomics; the
// collision record and the lift are guarded by their own mutexes.  The mode
// and the tip offset of a check are its own (arguments and the model's
// tool), never shared between checks that run at once.
struct HolderCheckState {
  std::atomic<int> fixedAxis{0};
  std::atomic<int> forceShank{0};
  std::atomic<int> silent{0};
  std::atomic<int> skipReduce{1};
  std::atomic<int> messageShown{0};
  std::atomic<HolderMarkerHook> markerHook{nullptr};

  std::mutex recordLock;
  Vec3d hitPoint{0.0, 0.0, 0.0};
  int hitRecorded = 0;

  std::mutex liftLock;
  double extraLift = 0.0;  // the largest lift found
  double liftStart = 0.0;  // where every search starts
};

HolderCheckState& state() {
  static HolderCheckState s;
  return s;
}

int codeAt(const Pline* path, int i) { return pointStatusCode(path->status[i]); }

void setCode(Pline* path, int i, int code) {
  path->status[i] = pointStatusWithCode(path->status[i], code);
}

bool isMark(const Pline* path, int i) { return codeAt(path, i) == kPointSpecial; }
bool isGap(const Pline* path, int i) { return codeAt(path, i) == kPointGap; }
bool isFree(const Pline* path, int i) { return !isMark(path, i) && !isGap(path, i); }

double dist3(const Vec3d& a, const Vec3d& b) {
  const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void markRange(Pline* path, int first, int last) {
  for (int k = first; k <= last; ++k) setCode(path, k, kPointSpecial);
}

// Calls f(first, last, length) for every maximal run of free points from
// index from on, in order; length is the sum of the distances between the
// run's consecutive points (0 for a single point).  f may mark the run.
template <class F>
void forEachFreeRun(const Pline* path, int from, F f) {
  const int n = path->count;
  int i = from;
  while (i < n) {
    if (!isFree(path, i)) {
      ++i;
      continue;
    }
    int last = i;
    double length = 0.0;
    while (last + 1 < n && isFree(path, last + 1)) {
      length += dist3(path->points[last], path->points[last + 1]);
      ++last;
    }
    f(i, last, length);
    i = last + 1;
  }
}

bool hitRecorded() {
  HolderCheckState& s = state();
  std::lock_guard<std::mutex> guard(s.recordLock);
  return s.hitRecorded != 0;
}

// Tool sizes that decide whether the shank is tested at all.
bool shankWider(const ToolShape* t) { return 2.0 * t->radius < t->shankDiameter; }
bool shankNotWider(const ToolShape* t) {
  return !(2.0 * t->radius + kHolderTol < t->shankDiameter);
}

// Entry of every check: the axis is fixed.  Returns the mode with 1 taken
// as 0.
int enterCheck(int mode) {
  state().fixedAxis.store(1);
  return mode == kHolderModeCutAlias ? kHolderModeCut : mode;
}

void clearDropped(Pline* path) {
  for (int i = 0; i < path->count; ++i) {
    if (codeAt(path, i) == kPointDropped) setCode(path, i, kPointCut);
  }
}

void markAllButGaps(Pline* path, int from) {
  for (int i = from; i < path->count; ++i) {
    if (!isGap(path, i)) setCode(path, i, kPointSpecial);
  }
}

void reduce(Pline* path, const LinkParams* link) {
  plineReduce(path, link->stepMax, link->stepMin);
}

// The contact context of the shank drops: the current settings with the
// model's selection and z range and untouched points not kept, taken on
// this thread only (the process-wide settings are not written).
ContactContext shankContext(const ModelRec* model) {
  ContactContext ctx;
  contactContextLoad(&ctx);
  contactContextSetModel(&ctx, model, 0);
  return ctx;
}

// modelToolCollidesAt on a given base context: the model's tool on the
// model's surfaces, then on every group.
int toolCollidesAt(const ContactContext& base, const ModelRec* model, const Vec3d* position,
                   Vec3d* contact) {
  if (model->tool == nullptr) return 1;
  double start = model->boxMin.z;
  if (model->floorZ > start) start = model->floorZ;
  if (start > position->z) start = position->z;
  Vec3d p{position->x, position->y, start};
  Vec3d touch{};
  int kind = 0;
  ContactContext ctx = base;
  int result = contactDropOnModelSurface(&ctx, model, model->tool, &p, &touch, &kind);
  for (const SurfaceGroup* g = model->groups; g != nullptr; g = g->next) {
    ContactContext gctx = base;
    Vec3d local{};
    int k = 0;
    const int a = contactDropOnGroupSurface(&gctx, g, model->tool, &p, &local, &k);
    if (a > 0 && k > 0) {
      touch = local;
      result = a;
    }
  }
  if (result == 0) return 1;
  if (p.z >= position->z + kToolCollisionRise) {
    if (contact != nullptr) *contact = touch;
    return kToolCollides;
  }
  return 1;
}

// The two shank shapes, each in its own working copy of the model.
struct ShankModels {
  ModelRec* frustum = nullptr;
  ModelRec* disc = nullptr;
  double length = 0.0;  // the cutting length the disc stands on

  ShankModels(const ModelRec* model) {
    frustum = modelCopy(model);
    disc = modelCopy(model);
    if (frustum == nullptr || disc == nullptr || frustum->tool == nullptr) return;
    frustum->tool->type = kToolConeFrustum;
    disc->tool->type = kToolFlat;
    disc->tool->radius = 0.5 * model->tool->shankDiameter;
    disc->tool->cornerRadius = 0.0;
    length = model->tool->length;
  }
  ~ShankModels() {
    modelFreeCopy(frustum);
    modelFreeCopy(disc);
  }
  ShankModels(const ShankModels&) = delete;
  ShankModels& operator=(const ShankModels&) = delete;
  bool ok() const { return frustum != nullptr && disc != nullptr && frustum->tool != nullptr; }
};

// Shank of one point: the frustum at the position, then the disc at the
// position raised by the cutting length.  True on a collision, with the
// contact point of the test that collided.
bool shankCollides(const ContactContext& base, const ShankModels& shapes, const Vec3d& p,
                   bool withDisc, Vec3d* contact) {
  if (toolCollidesAt(base, shapes.frustum, &p, contact) == kToolCollides) return true;
  if (!withDisc) return false;
  const Vec3d raised{p.x, p.y, p.z + shapes.length};
  return toolCollidesAt(base, shapes.disc, &raised, contact) == kToolCollides;
}

// Lowest index of the marked slots, or n.
int firstHit(const std::vector<unsigned char>& hit) {
  const auto it = std::find(hit.begin(), hit.end(), 1);
  return static_cast<int>(it - hit.begin());
}

// Holder and head pass.  Marks colliding points 10 and records the first of
// them (lowest index); in mode 4 raises the extra lift instead.  1 or -2.
int holderPass(const ModelRec* model, const LinkParams* link, Pline* path, int mode) {
  if (link->holderCollisionData == nullptr) return kHolderFree;
  HolderCheckState& s = state();
  const int n = path->count;
  if (mode == kHolderModeLift) {
    double start;
    {
      std::lock_guard<std::mutex> guard(s.liftLock);
      start = s.liftStart;
    }
    // Every point's lift from the same start; the largest counts.
    std::vector<double> lift(static_cast<size_t>(n), start);
#pragma omp parallel for schedule(static) if (omp_get_active_level() == 0)
    for (int i = 0; i < n; ++i) {
      if (isGap(path, i)) continue;
      double l = start;
      if (holderFindLift(&path->points[i], &l) == 1) lift[static_cast<size_t>(i)] = l;
    }
    const double most = n > 0 ? *std::max_element(lift.begin(), lift.end()) : start;
    std::lock_guard<std::mutex> guard(s.liftLock);
    s.extraLift = std::max(s.extraLift, most);
    return kHolderFree;
  }
  std::vector<unsigned char> hit(static_cast<size_t>(n), 0);
#pragma omp parallel for schedule(static) if (omp_get_active_level() == 0)
  for (int i = 0; i < n; ++i) {
    if (isGap(path, i)) continue;
    if (holderMeshesCollideAt(&path->points[i]) == kHolderCollision) {
      setCode(path, i, kPointSpecial);
      hit[static_cast<size_t>(i)] = 1;
    }
  }
  const int first = firstHit(hit);
  if (first >= n) return kHolderFree;
  Vec3d p = path->points[first];
  p.z -= model->tool->tipOffset;
  holderRecordCollision(&p);
  if (mode == kHolderModeCut) {
    path->count = first;
  } else if (mode == kHolderModeMarkRest) {
    markAllButGaps(path, first);
  }
  if (path->count == 1 && n > 1) path->count = 0;
  return kHolderCollision;
}

// Shank pass: 1, or -2 after a collision in modes 0 and 2 to 4.
int shankPass(const ModelRec* model, Pline* path, int mode) {
  HolderCheckState& s = state();
  const ToolShape* t = model->tool;
  const bool forced = s.forceShank.load() != 0;
  if (!forced && t->length < kHolderTol &&
      (2.0 * t->radius + kHolderTol > t->shankDiameter || t->type == kToolFlat ||
       (t->type == kToolTorus && t->cornerRadius < kHolderTol))) {
    return kHolderFree;
  }
  const ShankModels shapes(model);
  if (!shapes.ok()) return kHolderFree;
  const ContactContext base = shankContext(model);
  const int n = path->count;
  std::vector<unsigned char> hit(static_cast<size_t>(n), 0);
  std::vector<Vec3d> contact(static_cast<size_t>(n), Vec3d{0.0, 0.0, 0.0});
#pragma omp parallel for schedule(static) if (omp_get_active_level() == 0)
  for (int i = 0; i < n; ++i) {
    if (isGap(path, i) || isMark(path, i)) continue;
    if (shankCollides(base, shapes, path->points[i], true, &contact[static_cast<size_t>(i)])) {
      setCode(path, i, kPointSpecial);
      hit[static_cast<size_t>(i)] = 1;
      macroSetHolderCollided(1);
    }
  }
  const int first = firstHit(hit);
  if (first >= n) return kHolderFree;
  switch (mode) {
    case kHolderModeCut:
    case kHolderModeLift:
      path->count = first;
      break;
    case kHolderModeMarkRest:
      markAllButGaps(path, first);
      break;
    case kHolderModeMarkPoints:
      break;
    default:
      return kHolderFree;
  }
  holderRecordCollision(&contact[static_cast<size_t>(first)]);
  return kHolderCollision;
}

// The widening, then the closing of short free runs with the tool radius.
void widen(const ModelRec* model, Pline* path, double w) {
  holderWidenMarks(path, w);
  holderCloseShortRuns(path, model->tool->radius);
}

void sendMessage() {
  msgNumberedReal(kMsgHolderCollisionLevel, kMsgHolderCollision, kMsgHolderCollisionText, 0.0);
}

// Mode 2 after a collision: message and marker (unless silent); the record
// flag is set.
void reportMarkRest() {
  HolderCheckState& s = state();
  if (s.silent.load() == 0) {
    sendMessage();
    Vec3d hit;
    if (holderGetFirstCollision(&hit) != 0) {
      const HolderMarkerHook hook = s.markerHook.load();
      if (hook != nullptr) hook(&hit);
    }
  }
  std::lock_guard<std::mutex> guard(s.recordLock);
  s.hitRecorded = 1;
}

// Mode 3 after a collision: the message once per run (unless silent).
void reportMarkPoints() {
  HolderCheckState& s = state();
  if (s.silent.load() != 0) return;
  if (s.messageShown.exchange(1) == 0) sendMessage();
}

// Mode 2 after a collision recorded earlier in the run: the whole path is
// marked without a test.
bool markedByEarlierCollision(Pline* path, int mode) {
  if (mode != kHolderModeMarkRest || !hitRecorded()) return false;
  markAllButGaps(path, 0);
  return true;
}

// What follows a collision of the passes, by mode: cut (0, and 4 when
// liftCuts) with the end widened, marked with the report of the mode (2, 3),
// or only reduced.
int afterCollision(const ModelRec* model, const LinkParams* link, Pline* path, int mode, double w,
                   bool liftCuts) {
  const bool cut = mode == kHolderModeCut || (liftCuts && mode == kHolderModeLift);
  if (cut || mode == kHolderModeMarkRest || mode == kHolderModeMarkPoints) {
    if (mode == kHolderModeMarkRest) reportMarkRest();
    if (mode == kHolderModeMarkPoints) reportMarkPoints();
    widen(model, path, w);
    if (cut && path->count == 1) path->count = 0;
  }
  reduce(path, link);
  return cut ? kHolderCollision : kHolderMarked;
}

}  // namespace

int holderCheckPath(ModelRec* model, const LinkParams* link, Pline* path, int mode,
                    double widenLength) {
  if (model == nullptr || model->tool == nullptr || path == nullptr || link == nullptr) {
    return kHolderFree;
  }
  HolderCheckState& s = state();
  mode = enterCheck(mode);
  clearDropped(path);
  if (markedByEarlierCollision(path, mode)) return kHolderMarked;
  const int holder = holderPass(model, link, path, mode);
  int shank = 0;
  if (s.forceShank.load() != 0 || shankWider(model->tool)) shank = shankPass(model, path, mode);
  if (holder >= 0 && shank >= 0) {
    if (s.skipReduce.load() == 0) reduce(path, link);
    return kHolderFree;
  }
  if (mode == kHolderModeCut || mode == kHolderModeMarkRest) macroSetHolderCollided(1);
  return afterCollision(model, link, path, mode, widenLength, true);
}

int holderCheckPathShank(ModelRec* model, const LinkParams* link, Pline* path, int mode,
                         double widenLength) {
  if (model == nullptr || model->tool == nullptr || path == nullptr || link == nullptr) {
    return kHolderFree;
  }
  HolderCheckState& s = state();
  if (s.forceShank.load() == 0 && shankNotWider(model->tool)) return kHolderFree;
  mode = enterCheck(mode);
  clearDropped(path);
  if (markedByEarlierCollision(path, mode)) return kHolderMarked;
  if (shankPass(model, path, mode) >= 0) {
    reduce(path, link);
    return kHolderFree;
  }
  return afterCollision(model, link, path, mode, widenLength, false);
}

namespace {

// Shank of one position through the current contact settings: the frustum,
// and the disc only when forced.
int shankCheckAt(const ModelRec* model, const Vec3d* position) {
  const bool forced = state().forceShank.load() != 0;
  if (!forced && model->tool->length < kHolderTol) return kHolderFree;
  const ShankModels shapes(model);
  if (!shapes.ok()) return kHolderFree;
  ContactContext base;
  contactContextLoad(&base);
  Vec3d contact;
  return shankCollides(base, shapes, *position, forced, &contact) ? kHolderCollision : kHolderFree;
}

}  // namespace

int holderCheckPosition(ModelRec* model, const LinkParams*, const Vec3d* position) {
  if (model == nullptr || model->tool == nullptr) return kHolderFree;
  enterCheck(kHolderModeCut);
  const int a = holderMeshesCollideAt(position);
  const ToolShape* t = model->tool;
  int b = 0;
  if ((state().forceShank.load() != 0 || shankWider(t)) &&
      (t->taperOn == 0 || t->taperAngle < kHolderTol)) {
    b = shankCheckAt(model, position);
  }
  return (a < 0 || b < 0) ? kHolderCollision : kHolderFree;
}

int holderCheckPositionShank(ModelRec* model, const LinkParams*, const Vec3d* position) {
  if (model == nullptr || model->tool == nullptr) return kHolderFree;
  HolderCheckState& s = state();
  if (s.forceShank.load() == 0 && shankNotWider(model->tool)) return kHolderFree;
  enterCheck(kHolderModeCut);
  return shankCheckAt(model, position);
}

int modelToolCollidesAt(const ModelRec* model, const Vec3d* position, Vec3d* contact) {
  ContactContext base;
  contactContextLoad(&base);
  return toolCollidesAt(base, model, position, contact);
}

int holderGetFirstCollision(Vec3d* out) {
  HolderCheckState& s = state();
  std::lock_guard<std::mutex> guard(s.recordLock);
  if (out != nullptr) *out = s.hitPoint;
  return s.hitRecorded;
}

void holderRecordCollision(const Vec3d* point) {
  HolderCheckState& s = state();
  std::lock_guard<std::mutex> guard(s.recordLock);
  s.hitPoint = *point;
  s.hitRecorded = 1;
}

void holderSetFixedAxis(int flag) { state().fixedAxis.store(flag); }
int holderFixedAxis() { return state().fixedAxis.load(); }

void holderSetExtraLift(double lift) {
  HolderCheckState& s = state();
  std::lock_guard<std::mutex> guard(s.liftLock);
  s.extraLift = lift;
  s.liftStart = lift;
}

double holderGetExtraLift() {
  HolderCheckState& s = state();
  std::lock_guard<std::mutex> guard(s.liftLock);
  return s.extraLift;
}

void holderSetSilentShankCheck(int flag) {
  state().forceShank.store(flag);
  state().silent.store(flag);
}

void holderSetSkipReduce(int flag) { state().skipReduce.store(flag); }

void holderSetMarkerHook(HolderMarkerHook hook) { state().markerHook.store(hook); }

void holderCheckReset() {
  HolderCheckState& s = state();
  s.fixedAxis.store(0);
  s.forceShank.store(0);
  s.silent.store(0);
  s.skipReduce.store(1);
  s.messageShown.store(0);
  {
    std::lock_guard<std::mutex> guard(s.recordLock);
    s.hitPoint = Vec3d{0.0, 0.0, 0.0};
    s.hitRecorded = 0;
  }
  std::lock_guard<std::mutex> guard(s.liftLock);
  s.extraLift = 0.0;
  s.liftStart = 0.0;
}

void holderWidenMarks(Pline* path, double w) {
  const int n = path->count;
  for (int i = 1; i + 1 < n; ++i) {
    if (isFree(path, i) && isMark(path, i - 1) && isMark(path, i + 1)) {
      setCode(path, i, kPointSpecial);
    }
  }
  if (std::fabs(w) >= kHolderTol && n > 0) {
    bool any = false;
    for (int i = 0; i < n && !any; ++i) any = isMark(path, i);
    if (!any) setCode(path, n - 1, kPointSpecial);

    // Every run of marks grows by w both ways; a gap stops a walk.
    int scan = 0;
    while (scan < n) {
      int start = scan;
      while (start < n && !isMark(path, start)) ++start;
      if (start >= n) break;
      int end = start;
      while (end + 1 < n && isMark(path, end + 1)) ++end;
      double sum = 0.0;
      for (int k = start - 1; k >= 0; --k) {
        sum += dist3(path->points[k], path->points[k + 1]);
        if (isGap(path, k)) break;
        setCode(path, k, kPointSpecial);
        if (sum > w) break;
      }
      sum = 0.0;
      int last = end;
      for (int k = end + 1; k < n; ++k) {
        sum += dist3(path->points[k], path->points[k - 1]);
        if (isGap(path, k)) break;
        setCode(path, k, kPointSpecial);
        last = k;
        if (sum > w) break;
      }
      scan = last + 1;
    }

    // After the first run of marks, free runs shorter than w close.
    int i = 0;
    while (i < n && !isMark(path, i)) ++i;
    while (i < n && isMark(path, i)) ++i;
    forEachFreeRun(path, i, [&](int first, int last, double length) {
      if (length < w) markRange(path, first, last);
    });
  }
  for (int i = 1; i + 1 < n; ++i) {
    if (isFree(path, i) && !isFree(path, i - 1) && !isFree(path, i + 1)) {
      setCode(path, i, kPointSpecial);
    }
  }
}

void holderCloseShortRuns(Pline* path, double radius) {
  const int n = path->count;
  bool measuring = false;
  forEachFreeRun(path, 0, [&](int first, int last, double length) {
    if (!measuring && first > 0 && last + 1 < n) {
      measuring = isMark(path, first - 1) || isMark(path, last + 1);
    }
    if (measuring && length < radius) markRange(path, first, last);
  });
}
