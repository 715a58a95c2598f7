#include "model/drop/drop_along_curve.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "base/messages.h"
#include "boundaries/boundary_rec.h"
#include "geometry/curves/curve.h"
#include "model/drop/contact_drop.h"
#include "model/drop/contact_sample.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTol = 0.00001;

// Sample step cap of fine tolerances: below this tolerance the step is
// limited to sqrt(0.08 R), but not below kStepCapMin.
constexpr double kStepCapTolerance = 0.00728;
constexpr double kStepCapFactor = 0.08;
constexpr double kStepCapMin = 0.25;
// Angle step of the refinement (degrees) and its fine-tolerance rules.
constexpr double kAngleStepDeg = 5.0;
constexpr double kAnglePerTolerance = 500.0;
constexpr double kFacetAngleTolerance = 0.00499;
constexpr double kFacetAngleMin = 1.0;
constexpr double kTriAngleTolerance = 0.00999;
constexpr double kTriAngleMin = 0.5;
// Rise per plan length beyond which a segment is refined.
constexpr double kSlopeFactorFlat = 1.5;
constexpr double kSlopeFactorRound = 3.0;
constexpr double kSlopeFactorTriSteep = 5.0;
// Share of the lowest cross slope that becomes the model's slope limit.
constexpr double kSlopeLimitShare = 0.9;
// Room of the crossing pair list.
constexpr int kCrossingCapacity = 20;

// A small generator of our own (SplitMix64), so that the random sample mode
// repeats on every platform.
struct SampleRandom {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
};

int itemArrayAppendDouble(ItemArray* list, double v) {
  if (list->count >= list->capacity) {
    const int grown = std::max(list->capacity + 1, static_cast<int>(list->capacity * 1.5));
    void* items = std::realloc(list->items, sizeof(double) * static_cast<std::size_t>(grown));
    if (items == nullptr) return -1;
    list->items = items;
    list->capacity = grown;
  }
  static_cast<double*>(list->items)[list->count++] = v;
  return 1;
}

// Adds a sample to a Pline as a path point.
int storeSample(Pline* pl, const ContactSample& s, bool bisect) {
  const int status = pointStatusMake(s.contact, s.status);
  if (bisect) {
    return plineInsertBisect(pl, s.parameter, &s.toolPosition, status, &s.contactPoint, s.found);
  }
  return plineAppend(pl, s.parameter, &s.toolPosition, status, &s.contactPoint, s.found);
}

// The merge of the thread Plines and the path.  oldMarks (one per path point,
// may be null) are carried to the merged points in outMarks; outFresh marks
// the points that came from a thread Pline.
int mergeImpl(ThreadPlines* set, Pline* path, const std::vector<uint8_t>* oldMarks,
              std::vector<uint8_t>* outFresh, std::vector<uint8_t>* outMarks) {
  if (set == nullptr || path == nullptr) return 0;
  int pending = 0;
  for (int l = 0; l < set->count; ++l) pending += set->plines[l]->count;
  if (pending == 0) return 0;
  Pline* copy = plineNew(std::max(path->count, 1), 1);
  if (copy == nullptr) return -1;
  if (plineCopy(copy, path) < 0) {
    plineFree(copy);
    return -1;
  }
  const int oldCount = path->count;
  path->count = 0;
  const bool descending = copy->count >= 2 && copy->params[0] > copy->params[copy->count - 1];
  const int lists = set->count + 1;
  std::vector<int> pos(static_cast<std::size_t>(lists), 0);
  auto listOf = [&](int l) -> Pline* { return l < set->count ? set->plines[l] : copy; };
  if (outFresh != nullptr) outFresh->clear();
  if (outMarks != nullptr) outMarks->clear();
  int result = 0;
  for (;;) {
    int best = -1;
    double bestParam = 0.0;
    for (int l = 0; l < lists; ++l) {
      const Pline* pl = listOf(l);
      if (pos[l] >= pl->count) continue;
      const double p = pl->params[pos[l]];
      if (best < 0 || (descending ? p > bestParam : p < bestParam)) {
        best = l;
        bestParam = p;
      }
    }
    if (best < 0) break;
    const Pline* src = listOf(best);
    const int i = pos[best]++;
    if (path->count > 0 && std::fabs(path->params[path->count - 1] - bestParam) <= kDropMergeTol) {
      continue;
    }
    const Vec3d up{0.0, 0.0, 1.0};
    const Vec3d* axis = src->axes != nullptr ? &src->axes[i] : &up;
    const int flag = src->flags != nullptr ? src->flags[i] : 0;
    if (plineAppend(path, bestParam, &src->points[i], src->status[i], axis, flag) < 0) {
      plineFree(copy);
      return -1;
    }
    const bool fromThread = best < set->count;
    if (fromThread) result = 1;
    if (outFresh != nullptr) outFresh->push_back(fromThread ? 1 : 0);
    if (outMarks != nullptr) {
      outMarks->push_back(!fromThread && oldMarks != nullptr ? (*oldMarks)[i] : 0);
    }
  }
  plineFree(copy);
  return path->count != oldCount ? result : 0;
}

// One drop along the guide curve (either engine).
class CurveDrop {
 public:
  CurveDrop(ContactContext* ctx, ModelRec* model, Pline* path, bool tri)
      : ctx_(ctx), model_(model), path_(path), curve_(model->guideCurve), tri_(tri) {}

  ~CurveDrop() {
    std::free(presel_);
    threadPlinesFree(plines_);
  }

  int run();

 private:
  void setup();
  int evalSample(ContactContext* c, ContactSample* s) const {
    return tri_ ? projEvalSample(c, s, model_) : contactEvalSample(c, s, model_);
  }
  // Curve point and start z at t; false when the curve has no point there.
  bool curvePoint(double t, double xy[2], double* startZ) const {
    Vec2d p{0.0, 0.0};
    double z = model_->floorZ;
    const bool ok = curveEvalAt(curve_, t, &p, withZ_ ? &z : nullptr) >= 0;
    xy[0] = ok ? p.x : 0.0;
    xy[1] = ok ? p.y : 0.0;
    *startZ = ok && withZ_ ? z : model_->floorZ;
    return ok;
  }
  // The slope rule of a sample: true when slope mode 2 meets its limit.
  bool slopeRule(int pass, int r, const ContactSample& s);
  template <class Body>
  int runPass(int n, Body&& body);
  int serialSample(double t, double xy[2], double startZ, ContactSample* s);
  int boundarySamples();
  int crossingSamples();
  int vertexPass();
  int refinePasses();
  int mergeStatus(int passStatus, std::vector<uint8_t>* fresh, std::vector<uint8_t>* marks,
                  const std::vector<uint8_t>* req, bool* merged);

  ContactContext* ctx_;
  ModelRec* model_;
  Pline* path_;
  const CurveRec* curve_;
  bool tri_;
  bool withZ_ = false;
  ToolShape* tool_ = nullptr;
  double tol_ = 0.0;
  double slopeFactor_ = kSlopeFactorRound;
  double minCross_ = 1.0;
  int* presel_ = nullptr;
  int preselCount_ = 0;
  int team_ = 1;
  ThreadPlines* plines_ = nullptr;
  std::vector<int> status_;
};

bool CurveDrop::slopeRule(int pass, int r, const ContactSample& s) {
  if (r != 1 || s.found != 1 || model_->slopeMode == 0) return false;
  double v;
  if (!contactCrossSlopeCos(ctx_, curve_, s.parameter, &s.toolPosition.x, &s.contactPoint.x, &v)) {
    return false;
  }
  bool limit = false;
  // One critical section per pass: the slope updates of every team (also of
  // nested drops) are serialised per pass.
  auto update = [&]() {
    minCross_ = std::min(minCross_, v);
    limit = model_->slopeMode == 2 && model_->slopeLimit - kTol > minCross_;
  };
  switch (pass) {
    case 1: {
#pragma omp critical(drop_along_curve_samples)
      update();
      break;
    }
    case 2: {
#pragma omp critical(drop_along_curve_vertices)
      update();
      break;
    }
    case 3: {
#pragma omp critical(drop_along_curve_refine)
      update();
      break;
    }
    default:
      update();
  }
  return limit;
}

template <class Body>
int CurveDrop::runPass(int n, Body&& body) {
  threadPlinesClear(plines_);
  std::fill(status_.begin(), status_.end(), 1);
  std::atomic<int> stop{0};
  const int team = team_;
#pragma omp parallel num_threads(team)
  {
    const int t = omp_get_thread_num();
    // Every thread works on its own copy of the drop's context: evaluations
    // write their call counter and a stale cone into it.
    ContactContext local = *ctx_;
    Pline* out = plines_->plines[t];
    int st = 1;
    // Every thread polls before its first sample and then every
    // kDropBreakPollSamples samples: however the pass is split (a thread may
    // get fewer samples than the poll interval), a stop request is seen
    // within that many samples on every thread.
    int sinceBreak = kDropBreakPollSamples;
#pragma omp for schedule(static)
    for (int i = 0; i < n; ++i) {
      if (stop.load(std::memory_order_relaxed) != 0) continue;
      if (sinceBreak++ >= kDropBreakPollSamples) {
        sinceBreak = 1;
        if (cycCheckBreak() != 0) {
          st = -3;
          stop.store(1, std::memory_order_relaxed);
          continue;
        }
      }
      body(&local, i, out, &st);
      if (st == -3) stop.store(1, std::memory_order_relaxed);
    }
    status_[t] = st;
  }
  int m = 1;
  for (const int s : status_) m = std::min(m, s);
  return m;
}

int CurveDrop::mergeStatus(int passStatus, std::vector<uint8_t>* fresh, std::vector<uint8_t>* marks,
                           const std::vector<uint8_t>* req, bool* merged) {
  const int m = mergeImpl(plines_, path_, req, fresh, marks);
  if (merged != nullptr) *merged = m > 0;
  if (m < 0) return -2;  // the path lost its points: never report that as done
  return passStatus;
}

void CurveDrop::setup() {
  tool_ = model_->tool;
  withZ_ = curve_->z != nullptr;
  tol_ = model_->minStep;
  // Sample step cap of fine tolerances (facet engine).
  if (!tri_ && tol_ < kStepCapTolerance) {
    const double s = std::sqrt(kStepCapFactor * tool_->radius);
    if (s < model_->maxStep) model_->maxStep = s < kStepCapMin ? kStepCapMin : s;
  }
  // Angle step of the refinement.
  double deg = kAngleStepDeg;
  if (!tri_) {
    if (tol_ < kFacetAngleTolerance) deg = kAnglePerTolerance * tol_;
    if (deg < kFacetAngleMin) deg = kFacetAngleMin;
    if (ctx_->precisionAngle > kContactPrecisionAngleMin) deg = ctx_->precisionAngle;
  } else {
    if (tol_ < kTriAngleTolerance) deg = kAnglePerTolerance * tol_;
    if (deg < kTriAngleMin) deg = kTriAngleMin;
  }
  ctx_->angleStep = deg * kPi / 180.0;
  ctx_->cosTwiceStep = std::cos(2.0 * ctx_->angleStep);
  ctx_->cosStep = std::cos(ctx_->angleStep);

  // The model's selection.
  const int keep = ctx_->keepTouch ? ctx_->keepUntouched : model_->boundaryFlag;
  ctx_->zFloor = model_->floorZ;
  ctx_->zTop = model_->topZ;
  ctx_->candidates = model_->candidates;
  ctx_->maxCorners = model_->maxCorners;
  ctx_->minCorners = model_->minCorners;
  ctx_->keepUntouched = keep;
  if (tri_) {
    ctx_->triangles = model_->triangles;
  } else {
    ctx_->facets = model_->facets;
    ctx_->facetCount = model_->facetCount;
    // Later point entries pick the selection up from the settings.  Inside a
    // parallel region (the parallel driver) the settings are left alone: the
    // driver sets them before its loop, and writes from many threads would
    // make later results depend on timing.
    if (omp_get_active_level() == 0) {
      ContactContext current;
      contactContextLoad(&current);
      contactSetFacetModel(model_->facets, model_->facetCount, model_->minCorners,
                           model_->maxCorners, model_->candidates, model_->floorZ, model_->topZ,
                           ctx_->keepTouch ? current.keepUntouched : model_->boundaryFlag);
    }
  }
  if (ctx_->slopeBoundariesOn && ctx_->slopeBoundaries == nullptr) ctx_->keepUntouched = 0;

  if (!tri_) {
    if (tool_->type == kToolBall) tool_->cornerRadius = tool_->radius;
    if (tool_->type == kToolFlat) tool_->cornerRadius = 0.0;
  }
  if (model_->grid == nullptr) {
    if (!tri_ && ctx_->facets != nullptr) {
      presel_ = contactPreselectFacets(ctx_, curve_, tool_->radius, &preselCount_,
                                       model_->boundaryChain, model_->profileStep);
    } else if (tri_ && model_->triangles != nullptr) {
      presel_ = projPreselectTriangles(ctx_, curve_, tool_->radius, &preselCount_,
                                       model_->boundaryChain, model_->profileStep);
    }
  }
  if (path_ != nullptr) path_->count = 0;
  if (tool_->type == kToolFlat) {
    slopeFactor_ = kSlopeFactorFlat;
  } else if (tri_ && !(tool_->type == kToolTorus && model_->maxStep > tool_->cornerRadius)) {
    slopeFactor_ = kSlopeFactorTriSteep;
  } else {
    slopeFactor_ = kSlopeFactorRound;
  }
  // Inside an active parallel region the passes run on the calling thread;
  // otherwise the team is at most the threads a region may have now.
  team_ = omp_get_active_level() > 0 ? 1 : std::max(1, omp_get_max_threads());
  plines_ = threadPlinesNew(team_);
  status_.assign(static_cast<std::size_t>(team_), 1);
}

int CurveDrop::serialSample(double t, double xy[2], double startZ, ContactSample* s) {
  contactSampleInit(s, xy, startZ, t, presel_, preselCount_);
  return evalSample(ctx_, s);
}

int CurveDrop::boundarySamples() {
  const BoundaryRec* b = model_->boundaryChain;
  if (b == nullptr || b->intervals == nullptr) return 1;
  for (int k = 0; k < b->intervalCount; ++k) {
    const double a0 = b->intervals[k].first;
    const double a1 = b->intervals[k].second;
    if (a1 - a0 > 2.0 * model_->maxStep) continue;
    const double m = 0.5 * (a0 + a1);
    if (contactFindParamIndex(path_, m, tol_) >= 0) continue;
    double xy[2];
    double startZ;
    if (!curvePoint(m, xy, &startZ)) {
      msgNumbered(kMsgProfilePointMissingLevel, kMsgProfilePointMissing,
                  "* Fehler: Profil Punkt (1) nicht gefunden", nullptr);
      break;
    }
    ContactSample s;
    const int r = serialSample(m, xy, startZ, &s);
    if (r == -2) return -3;
    const int status = pointStatusMake(s.contact, s.status);
    const int at =
        tri_ ? plineInsertBisect(path_, m, &s.toolPosition, status, &s.contactPoint, s.found)
             : InsertPline(path_, m, &s.toolPosition, status, &s.contactPoint, s.found);
    if (at < 0) return -2;
    if (slopeRule(0, r, s)) return 0;
  }
  return 1;
}

int CurveDrop::crossingSamples() {
  if (tri_ || ctx_->contactBoundaries == nullptr) return 1;
  ItemArray* list = bndPairListNew(kCrossingCapacity);
  if (list == nullptr) return 1;
  bndSetCurveCrossings(ctx_->contactBoundaries, curve_, tol_, list);
  const auto* pairs = static_cast<const BndPair*>(list->items);
  for (int k = 0; k < list->count; ++k) {
    const double t = pairs[k].first;
    const double z = pairs[k].second;
    double xy[2];
    double unused;
    if (!curvePoint(t, xy, &unused)) continue;
    ContactSample s;
    if (serialSample(t, xy, z, &s) == -2) {
      itemArrayFree(list);
      return -3;
    }
    if (z + kTol > s.toolPosition.z) s.toolPosition.z = z;
    const int status = pointStatusMake(s.contact, s.status);
    const int i = contactFindParamIndex(path_, t, tol_);
    if (i >= 0) {
      path_->points[i] = s.toolPosition;
      if (path_->axes != nullptr) path_->axes[i] = s.contactPoint;
      if (path_->flags != nullptr) path_->flags[i] = s.found;
      path_->status[i] = static_cast<PointStatus>(status);
      path_->params[i] = t;
    } else {
      InsertPline(path_, t, &s.toolPosition, status, &s.contactPoint, s.found);
    }
  }
  itemArrayFree(list);
  return 1;
}

int CurveDrop::vertexPass() {
  const int first = tri_ ? 0 : 1;
  const int last = tri_ ? curve_->count - 1 : curve_->count - 2;
  std::vector<int> vertices;
  for (int v = first; v <= last; ++v) {
    if (tri_ && (!curveVertexIsCorner(v, curve_) ||
                 contactFindParamIndex(path_, curve_->lengths[v], tol_) >= 0)) {
      continue;
    }
    vertices.push_back(v);
  }
  const int st = runPass(
      static_cast<int>(vertices.size()), [&](ContactContext* c, int i, Pline* out, int* status) {
        const int v = vertices[static_cast<std::size_t>(i)];
        const double xy[2] = {curve_->points[v].x, curve_->points[v].y};
        const double startZ = withZ_ ? curve_->z[v] : model_->floorZ;
        ContactSample s;
        contactSampleInit(&s, xy, startZ, curve_->lengths[v], presel_, preselCount_);
        const int r = evalSample(c, &s);
        if (r == -2) *status = std::min(*status, -3);
        if (storeSample(out, s, tri_) < 0) *status = std::min(*status, -2);
        if (slopeRule(2, r, s)) *status = std::min(*status, 0);
      });
  return mergeStatus(st, nullptr, nullptr, nullptr, nullptr);
}

int CurveDrop::refinePasses() {
  // Only segments whose neighbourhood changed in the last round (or whose
  // sample was not taken by the merge) can decide differently: the others are
  // not tested again.  The decision of segment (c - 1, c) reads points c - 2 to
  // c + 1 only.
  std::vector<uint8_t> fresh(static_cast<std::size_t>(path_->count), 1);
  std::vector<uint8_t> marks(static_cast<std::size_t>(path_->count), 0);
  std::vector<int> dirty;
  std::vector<uint8_t> req;
  for (;;) {
    const int n = path_->count;
    dirty.clear();
    for (int c = 1; c < n; ++c) {
      bool d = marks[static_cast<std::size_t>(c)] != 0;
      for (int k = std::max(0, c - 2); !d && k <= std::min(n - 1, c + 1); ++k) {
        d = fresh[static_cast<std::size_t>(k)] != 0;
      }
      if (d) dirty.push_back(c);
    }
    req.assign(static_cast<std::size_t>(n), 0);
    const int st = runPass(static_cast<int>(dirty.size()), [&](ContactContext* c, int i, Pline* out,
                                                               int* status) {
      const int k = dirty[static_cast<std::size_t>(i)];
      const double* p = path_->params;
      if (p[k] - p[k - 1] < tol_ + kTol) return;
      if (plineIsBreakBetween(path_, k - 1, k) == 0) {
        int e = contactNeedsRefine(c, path_, tool_, model_->maxStep, k - 1, k, k + 1, slopeFactor_);
        if (e == 0) {
          e = contactNeedsRefine(c, path_, tool_, model_->maxStep, k, k - 1, k - 2, slopeFactor_);
        }
        if (e != 1) return;
      }
      req[static_cast<std::size_t>(k)] = 1;
      const double m = 0.5 * (p[k - 1] + p[k]);
      double xy[2];
      double startZ;
      // A sample without its curve point has no place on the path: the
      // pass reports it and stores nothing for it.
      if (!curvePoint(m, xy, &startZ)) {
        *status = std::min(*status, 0);
        return;
      }
      ContactSample s;
      contactSampleInit(&s, xy, startZ, m, presel_, preselCount_);
      const int r = evalSample(c, &s);
      if (r == -2) *status = std::min(*status, -3);
      if (ctx_->contactBoundaries != nullptr && s.status != kSampleGap) {
        contactFlattenDeepDip(path_, k, &s.toolPosition.x, tool_->radius);
      }
      if (storeSample(out, s, tri_) < 0) *status = std::min(*status, -2);
      if (slopeRule(3, r, s)) *status = std::min(*status, 0);
    });
    bool merged = false;
    const int status = mergeStatus(st, &fresh, &marks, &req, &merged);
    if (status != 1) return status;
    if (!merged) return 1;
  }
}

int CurveDrop::run() {
  if (curve_ == nullptr || model_->tool == nullptr || curve_->count < 1) return 0;
  setup();
  if (plines_ == nullptr) return -2;

  // Pass 1: parameter samples.
  ItemArray* params = contactSampleParamsNew(kDropParamCapacity);
  if (params == nullptr) return -2;
  if (contactSampleParamsFill(params, curve_, model_->minStep, model_->maxStep,
                              model_->randomPoints) < 0) {
    itemArrayFree(params);
    return -2;
  }
  const auto* t = static_cast<const double*>(params->items);
  int st = runPass(params->count, [&](ContactContext* c, int i, Pline* out, int* status) {
    double xy[2];
    double startZ;
    if (!curvePoint(t[i], xy, &startZ)) {
      *status = std::min(*status, 0);
      return;
    }
    ContactSample s;
    contactSampleInit(&s, xy, startZ, t[i], presel_, preselCount_);
    const int r = evalSample(c, &s);
    if (r == -2) *status = std::min(*status, -3);
    if (path_ == nullptr) {
      if (withZ_ && r != 0 && model_->floorZ - kTol < s.toolPosition.z) {
        *status = std::min(*status, 0);
      }
    } else if (storeSample(out, s, false) < 0) {
      *status = std::min(*status, -2);
    }
    if (slopeRule(1, r, s)) *status = std::min(*status, 0);
  });
  itemArrayFree(params);
  st = mergeStatus(st, nullptr, nullptr, nullptr, nullptr);
  if (st != 1) return st;
  if (path_ == nullptr) return 1;

  if ((st = boundarySamples()) != 1) return st;
  if ((st = crossingSamples()) != 1) return st;
  if (ctx_->vertexSamples && (st = vertexPass()) != 1) return st;
  if ((st = refinePasses()) != 1) return st;

  if (ctx_->contactBoundaries != nullptr) {
    contactGapSteepDrops(ctx_, path_, (tri_ ? 1.0 : 0.5) * tool_->radius);
  }
  if (model_->slopeMode != 0) model_->slopeLimit = kSlopeLimitShare * minCross_;
  return 1;
}

}  // namespace

// ---- Containers --------------------------------------------------------------------

ItemArray* contactSampleParamsNew(int capacity) {
  capacity = std::max(capacity, 1);
  auto* list = static_cast<ItemArray*>(std::calloc(1, sizeof(ItemArray)));
  if (list == nullptr) return nullptr;
  list->items = std::malloc(sizeof(double) * static_cast<std::size_t>(capacity));
  if (list->items == nullptr) {
    std::free(list);
    return nullptr;
  }
  list->capacity = capacity;
  return list;
}

int contactSampleParamsFill(ItemArray* list, const CurveRec* curve, double first, double step,
                            int random) {
  list->count = 0;
  const double L = (curve != nullptr && curve->count > 0) ? curve->lengths[curve->count - 1] : 0.0;
  // Seeded from the curve itself: every run gives a curve the same samples,
  // whatever thread drops it, and neighbouring lines get different ones.
  uint64_t seed = kDropRandomSeed;
  if (curve != nullptr && curve->count > 0) {
    for (const double v : {curve->points[0].x, curve->points[0].y, L}) {
      seed = SampleRandom{seed ^ std::bit_cast<uint64_t>(v)}.next();
    }
  }
  SampleRandom rng{seed};
  double t = 0.0;
  while (t <= L + kTol) {
    if (itemArrayAppendDouble(list, t) < 0) return -1;
    double s = t < first - kTol ? first : step;
    if (random && std::fabs(t - first) < kTol) {
      s = first + static_cast<double>(rng.next() % 1000) * (step - first) / 1000.0;
    }
    if (t + s > L) {
      s = L - t - first - kTol;
      if (s < first) s = first;
    }
    // A step that cannot advance t would never end the list.
    if (!(t + s > t)) break;
    t += s;
  }
  return 1;
}

ItemArray* threadStatusNew(int n) {
  n = std::max(n, 1);
  auto* list = static_cast<ItemArray*>(std::calloc(1, sizeof(ItemArray)));
  if (list == nullptr) return nullptr;
  list->items = std::calloc(static_cast<std::size_t>(n), sizeof(int32_t));
  if (list->items == nullptr) {
    std::free(list);
    return nullptr;
  }
  list->capacity = n;
  return list;
}

int threadStatusFill(ItemArray* status, int value) {
  auto* v = static_cast<int32_t*>(status->items);
  for (int i = 0; i < status->capacity; ++i) v[i] = value;
  status->count = status->capacity;
  return status->count;
}

int threadStatusMin(const ItemArray* status) {
  int m = 1;
  if (status == nullptr || status->count <= 0) return m;
  const auto* v = static_cast<const int32_t*>(status->items);
  m = v[0];
  for (int i = 1; i < status->count; ++i) m = std::min(m, static_cast<int>(v[i]));
  return m;
}

ThreadPlines* threadPlinesNew(int n) {
  n = std::max(n, 1);
  auto* set = static_cast<ThreadPlines*>(std::calloc(1, sizeof(ThreadPlines)));
  if (set == nullptr) return nullptr;
  set->plines = static_cast<Pline**>(std::calloc(static_cast<std::size_t>(n), sizeof(Pline*)));
  if (set->plines == nullptr) {
    std::free(set);
    return nullptr;
  }
  set->capacity = n;
  set->count = n;
  for (int i = 0; i < n; ++i) {
    set->plines[i] = plineNew(kDropThreadPlineCapacity, 1);
    if (set->plines[i] == nullptr || set->plines[i]->axes == nullptr) {
      threadPlinesFree(set);
      return nullptr;
    }
  }
  return set;
}

int threadPlinesFree(ThreadPlines* set) {
  if (set == nullptr) return 0;
  for (int i = 0; i < set->count; ++i) plineFree(set->plines[i]);
  std::free(set->plines);
  std::free(set);
  return 1;
}

int threadPlinesClear(ThreadPlines* set) {
  if (set == nullptr) return 0;
  for (int i = 0; i < set->count; ++i) set->plines[i]->count = 0;
  return set->count;
}

int threadPlinesMerge(ThreadPlines* set, Pline* path) {
  return mergeImpl(set, path, nullptr, nullptr, nullptr);
}

// ---- Drops -------------------------------------------------------------------------

int contactDropAlongCurveParallel(ContactContext* ctx, ModelRec* model, Pline* path) {
  CurveDrop drop(ctx, model, path, false);
  return drop.run();
}

int projDropAlongCurveParallel(ContactContext* ctx, ModelRec* model, Pline* path) {
  CurveDrop drop(ctx, model, path, true);
  return drop.run();
}

int contactDropAlongCurve(ModelRec* model, Pline* path) {
  ContactContext ctx;
  contactContextLoad(&ctx);
  return contactDropAlongCurveParallel(&ctx, model, path);
}

int projDropAlongCurve(ModelRec* model, Pline* path) {
  ContactContext ctx;
  contactContextLoad(&ctx);
  return projDropAlongCurveParallel(&ctx, model, path);
}
