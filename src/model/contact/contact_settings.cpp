#include "model/contact/contact_settings.h"

#include <atomic>
#include <cmath>
#include <mutex>

#include "geometry/pline/pline.h"
#include "model/mesh/model_grid.h"

namespace {

constexpr double kDegToRad = 3.14159265358979323846 / 180.0;

ContactContext defaultSettings() {
  ContactContext s{};
  s.vertexSamples = 1;
  s.angleStep = kContactDefaultAngleStep;
  s.cosTwiceStep = kContactDefaultCosTwiceStep;
  s.cosStep = kContactDefaultCosStep;
  s.zFloor = kContactDefaultZFloor;
  s.zTop = kContactDefaultZTop;
  return s;
}

// The one instance of the settings and of the taper cone, and their lock.
std::mutex gLock;
ContactSettings gSettings = defaultSettings();
ToolCone gCone{};
// Mirror of gSettings.extraAllowance for the lock-free read of the group
// contexts (the switch follows from the value).
std::atomic<double> gExtraAllowance{0.0};
// Count of changes to gSettings (written under gLock).  Each thread keeps its
// last snapshot and takes the lock only when the count moved, so the point
// entries that load a context per call from many threads do not queue on the
// lock.
std::atomic<unsigned long long> gGeneration{0};
thread_local unsigned long long tSnapshotGeneration = ~0ULL;
thread_local ContactSettings tSnapshot;

int extraAllowanceSwitch(double x) { return std::fabs(x) >= kContactExtraAllowanceMin ? 1 : 0; }

// Runs f on the settings under the lock.
template <typename F>
void withSettings(F&& f) {
  std::lock_guard<std::mutex> guard(gLock);
  f(gSettings);
  gGeneration.fetch_add(1, std::memory_order_release);
}

}  // namespace

void contactSettingsReset() {
  std::lock_guard<std::mutex> guard(gLock);
  gSettings = defaultSettings();
  gCone = ToolCone{};
  gExtraAllowance.store(0.0, std::memory_order_relaxed);
  gGeneration.fetch_add(1, std::memory_order_release);
}

// ---- Context selection --------------------------------------------------------

namespace {

// The fields that both kinds of selection set.
void setSelectionBounds(ContactContext* ctx, Vec3d* minCorners, Vec3d* maxCorners,
                        CandidateList* candidates, double zFloor, double zTop, int keepUntouched) {
  ctx->minCorners = minCorners;
  ctx->maxCorners = maxCorners;
  ctx->candidates = candidates;
  ctx->zFloor = zFloor;
  ctx->zTop = zTop;
  ctx->keepUntouched = keepUntouched;
}

}  // namespace

void contactContextSetFacetModel(ContactContext* ctx, Facet* facets, int count, Vec3d* minCorners,
                                 Vec3d* maxCorners, CandidateList* candidates, double zFloor,
                                 double zTop, int keepUntouched) {
  ctx->facets = facets;
  ctx->facetCount = count;
  setSelectionBounds(ctx, minCorners, maxCorners, candidates, zFloor, zTop, keepUntouched);
}

void contactContextSetTriangleModel(ContactContext* ctx, TriList* triangles, Vec3d* minCorners,
                                    Vec3d* maxCorners, CandidateList* candidates, double zFloor,
                                    double zTop, int keepUntouched) {
  ctx->triangles = triangles;
  setSelectionBounds(ctx, minCorners, maxCorners, candidates, zFloor, zTop, keepUntouched);
}

void contactContextSetModel(ContactContext* ctx, const ModelRec* model, int keepUntouched) {
  if (model->kind == kModelKindTriangles) {
    contactContextSetTriangleModel(ctx, model->triangles, model->minCorners, model->maxCorners,
                                   model->candidates, model->boxMin.z, model->boxMax.z,
                                   keepUntouched);
  } else {
    contactContextSetFacetModel(ctx, model->facets, model->facetCount, model->minCorners,
                                model->maxCorners, model->candidates, model->boxMin.z,
                                model->boxMax.z, keepUntouched);
  }
}

// ---- Setters --------------------------------------------------------------------

void contactSetFacetModel(Facet* facets, int count, Vec3d* minCorners, Vec3d* maxCorners,
                          CandidateList* candidates, double zFloor, double zTop,
                          int keepUntouched) {
  withSettings([&](ContactSettings& s) {
    contactContextSetFacetModel(&s, facets, count, minCorners, maxCorners, candidates, zFloor, zTop,
                                keepUntouched);
  });
}

void contactSetTriangleModel(TriList* triangles, Vec3d* minCorners, Vec3d* maxCorners,
                             CandidateList* candidates, double zFloor, double zTop,
                             int keepUntouched) {
  withSettings([&](ContactSettings& s) {
    contactContextSetTriangleModel(&s, triangles, minCorners, maxCorners, candidates, zFloor, zTop,
                                   keepUntouched);
  });
}

void contactSetModel(const ModelRec* model, int keepUntouched) {
  withSettings([&](ContactSettings& s) { contactContextSetModel(&s, model, keepUntouched); });
}

void contactForgetModel(const ModelRec* model) {
  if (model == nullptr) return;
  const auto held = [](const void* selected, const void* own) {
    return selected != nullptr && selected == own;
  };
  std::lock_guard<std::mutex> guard(gLock);
  ContactSettings& s = gSettings;
  const bool facets = held(s.facets, model->facets);
  const bool triangles = held(s.triangles, model->triangles);
  // The corners, candidates and z range came with the last selection; they
  // go when they are this model's (a selection of the other kind may still
  // be another model's).
  const bool bounds = held(s.minCorners, model->minCorners) ||
                      held(s.maxCorners, model->maxCorners) ||
                      held(s.candidates, model->candidates);
  if (!facets && !triangles && !bounds) return;
  const ContactContext fresh = defaultSettings();
  if (facets) {
    s.facets = fresh.facets;
    s.facetCount = fresh.facetCount;
  }
  if (triangles) s.triangles = fresh.triangles;
  if (bounds) {
    setSelectionBounds(&s, fresh.minCorners, fresh.maxCorners, fresh.candidates, fresh.zFloor,
                       fresh.zTop, fresh.keepUntouched);
  }
  gGeneration.fetch_add(1, std::memory_order_release);
}

int contactSetVertexSamples(int on) {
  withSettings([&](ContactSettings& s) { s.vertexSamples = on; });
  return on;
}

void contactSetSlopeLimits(int on, double slopeAngle, double flatAngle) {
  withSettings([&](ContactSettings& s) {
    s.slopeSwitch = on;
    s.slopeAngle = slopeAngle;
    s.flatAngle = flatAngle;
  });
}

int contactSetCurveZFloor(int on) {
  withSettings([&](ContactSettings& s) { s.curveZFloor = on; });
  return on;
}

void contactSetSlopeBoundaries(int on, BoundaryRec* chain) {
  withSettings([&](ContactSettings& s) {
    s.slopeBoundariesOn = on;
    s.slopeBoundaries = chain;
  });
}

void contactSetKeepTouch(int on) {
  withSettings([&](ContactSettings& s) { s.keepTouch = on; });
}

void contactEnableTaperCone(int on) {
  withSettings([&](ContactSettings& s) {
    s.taperOn = on;
    s.coneInnerRadius = gCone.innerRadius;
    s.coneOuterRadius = gCone.outerRadius;
    s.coneInnerZ = gCone.innerZ;
    s.coneOuterZ = gCone.outerZ;
    s.coneGrowth = gCone.growth;
  });
}

int contactSetClipPass(int on) {
  withSettings([&](ContactSettings& s) { s.clipPass = on; });
  return on;
}

int contactGetClipPass() {
  std::lock_guard<std::mutex> guard(gLock);
  return gSettings.clipPass;
}

void contactSetPrecisionAngle(double degrees) {
  withSettings([&](ContactSettings& s) { s.precisionAngle = degrees; });
}

void contactSetOffsetModel(OffsetModel* offsetModel) {
  withSettings([&](ContactSettings& s) { s.offsetModel = offsetModel; });
}

BoundarySet* contactSetContactBoundaries(BoundarySet* set) {
  withSettings([&](ContactSettings& s) { s.contactBoundaries = set; });
  return set;
}

int contactSetToolOverride(int on, const ToolShape* tool) {
  withSettings([&](ContactSettings& s) {
    s.overrideOn = on;
    if (tool != nullptr) s.overrideTool = *tool;
  });
  return on;
}

int contactGetToolOverride(ToolShape* out) {
  std::lock_guard<std::mutex> guard(gLock);
  *out = gSettings.overrideTool;
  return gSettings.overrideOn;
}

void contactSetClipFactor(double f) {
  withSettings([&](ContactSettings& s) { s.clipFactor = f / kContactClipFactorRef; });
}

void contactSetWallSurfaces(int on) {
  withSettings([&](ContactSettings& s) { s.wallSurfaces = on; });
}

void contactSetBoundWalls(int on) {
  withSettings([&](ContactSettings& s) { s.boundWalls = on; });
}

void contactSetExtraAllowance(double x) {
  withSettings([&](ContactSettings& s) {
    s.extraAllowance = x;
    s.extraAllowanceOn = extraAllowanceSwitch(x);
    gExtraAllowance.store(x, std::memory_order_relaxed);
  });
}

// ---- Contexts ---------------------------------------------------------------------

ContactContext* contactContextLoad(ContactContext* out) {
  if (gGeneration.load(std::memory_order_acquire) != tSnapshotGeneration) {
    std::lock_guard<std::mutex> guard(gLock);
    tSnapshot = gSettings;
    tSnapshotGeneration = gGeneration.load(std::memory_order_relaxed);
  }
  *out = tSnapshot;
  out->diagMin = diagMin;
  out->diagMax = diagMax;
  out->callCounter = 0;
  out->coneStale = 0;
  return out;
}

ContactContext* contactContextForGroup(ContactContext* out, const ContactContext* parent,
                                       const SurfaceGroup* group) {
  if (out != parent) *out = *parent;
  out->facets = group->facets;
  out->facetCount = group->facetCount;
  out->triangles = group->triangles;
  out->maxCorners = group->maxCorners;
  out->minCorners = group->minCorners;
  out->candidates = nullptr;
  out->diagMin = nullptr;
  out->diagMax = nullptr;
  out->coneStale = 1;
  const double extra = gExtraAllowance.load(std::memory_order_relaxed);
  out->extraAllowance = extra;
  out->extraAllowanceOn = extraAllowanceSwitch(extra);
  return out;
}

// ---- Taper cone -----------------------------------------------------------------------

ToolCone* toolConeFromTool(const ToolShape* tool, ToolCone* out) {
  const double a = tool->taperAngle * kDegToRad;
  double c = 0.0;
  if (tool->type == kToolBall) {
    c = tool->radius;
  } else if (tool->type == kToolTorus) {
    c = tool->cornerRadius;
  }
  out->taperOn = tool->taperOn;
  out->taperAngle = tool->taperAngle;
  out->length = tool->length;
  out->innerZ = -std::sin(a) * c;
  out->outerZ = tool->length;
  out->innerRadius = c * std::cos(a) + (tool->radius - c);
  out->outerRadius = std::tan(a) * (out->outerZ - out->innerZ) + out->innerRadius;
  out->growth = out->outerRadius - tool->radius;
  return out;
}

void contactContextSetCone(ContactContext* ctx, const ToolShape* tool) {
  ToolCone cone;
  toolConeFromTool(tool, &cone);
  ctx->taperOn = cone.taperOn;
  ctx->coneInnerRadius = cone.innerRadius;
  ctx->coneOuterRadius = cone.outerRadius;
  ctx->coneInnerZ = cone.innerZ;
  ctx->coneOuterZ = cone.outerZ;
  ctx->coneGrowth = cone.growth;
}

void toolShapeSetCone(const ToolShape* tool) {
  ToolCone cone;
  toolConeFromTool(tool, &cone);
  std::lock_guard<std::mutex> guard(gLock);
  gCone = cone;
}

const ToolCone* toolShapeGetCone() { return &gCone; }

// ---- Refinement tests ------------------------------------------------------------------

int contactNeedsRefine(const ContactContext* ctx, const Pline* path, const ToolShape* /*tool*/,
                       double sampleStep, int a, int b, int c, double slopeFactor) {
  if (path == nullptr) return 0;
  const int n = path->count;
  if (a < 0 || a >= n || b < 0 || b >= n || c < 0 || c >= n) return 0;
  const Vec3d& pa = path->points[a];
  const Vec3d& pb = path->points[b];
  const Vec3d& pc = path->points[c];
  Vec3d u{pb.x - pa.x, pb.y - pa.y, pb.z - pa.z};
  const double d = std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z);
  if (d <= kContactRefineTol) return 0;
  u = {u.x / d, u.y / d, u.z / d};
  const Vec3d v{pc.x - pb.x, pc.y - pb.y, pc.z - pb.z};
  const double h = std::sqrt(v.x * v.x + v.y * v.y);
  const double lenV = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (lenV <= kContactRefineTol) return 0;
  const double k = (u.x * v.x + u.y * v.y + u.z * v.z) / lenV;
  const double threshold = (sampleStep - kContactRefineTol > d) ? ctx->cosTwiceStep : ctx->cosStep;
  // A sharp turn after a horizontal segment only counts when the second
  // segment climbs or falls steeply (a plain corner of a level path does not
  // need samples).
  if (k <= threshold && std::fabs(u.z) >= kContactRefineTol) return 1;
  if (k <= kContactRefineStraightCos && h * slopeFactor < std::fabs(v.z)) return 1;
  return 0;
}

int contactNeedsRefineAt(const Pline* path, const ToolShape* tool, double sampleStep, int a, int b,
                         int c, double slopeFactor) {
  ContactContext ctx;
  contactContextLoad(&ctx);
  return contactNeedsRefine(&ctx, path, tool, sampleStep, a, b, c, slopeFactor);
}

int contactIsStatusBreak(const ContactContext* /*ctx*/, const Pline* path, int index) {
  return plineIsBreakBetween(path, index - 1, index) != 0 ? 1 : 0;
}

int contactIsStatusBreakAt(const Pline* path, int index) {
  return contactIsStatusBreak(nullptr, path, index);
}
