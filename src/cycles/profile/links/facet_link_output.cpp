#include "cycles/profile/links/facet_link_output.h"

#include <algorithm>
#include <cmath>

#include "base/job_scale.h"
#include "base/messages.h"
#include "boundaries/curve_boundary.h"
#include "boundaries/links/move_hooks.h"
#include "boundaries/macros/macro_build.h"
#include "cycles/profile/path_output.h"
#include "geometry/curves/bezier_link.h"
#include "geometry/curves/curve.h"
#include "geometry/frame/working_frame.h"
#include "geometry/pline/pline_reduce.h"
#include "geometry/primitives/primitives.h"
#include "model/collision/holder_check.h"
#include "model/contact/contact_settings.h"
#include "model/drop/drop_along_curve.h"
#include "output/adapter/output_adapter.h"
#include "output/adapter/path_output.h"

namespace {

constexpr double kEps = 0.00001;
// Points closer than this in each coordinate are the same link point.
constexpr double kSamePointTol = 0.001;
// The first link of a pass without a last point starts this far in x from
// its target.
constexpr double kFirstLinkOffsetX = 0.02;
// Direct links whose curve is shorter than two sample steps sample at most
// this many tolerances apart.
constexpr double kShortLinkStepTols = 40.0;
// Tool radius of the model copy that searches a lift along a tilted axis.
constexpr double kTiltLiftMinRadius = 1.0;
// Height of the plunge that replaces an approach whose dropped path is empty
// when the approach radius is zero.
constexpr double kPlungeDefaultHeight = 0.1;

LinkState S = [] {
  LinkState s{};
  s.pendingTool = -1;
  return s;
}();

int codeAt(const Pline* p, int i) { return pointStatusCode(p->status[i]); }

bool sameWithin(const Vec3d& a, const Vec3d& b, double tol) {
  return std::fabs(a.x - b.x) < tol && std::fabs(a.y - b.y) < tol && std::fabs(a.z - b.z) < tol;
}

double toolRadius(const ModelRec* model) { return model->tool != nullptr ? model->tool->radius : 0; }
double tipOffset(const ModelRec* model) {
  return model->tool != nullptr ? model->tool->tipOffset : 0;
}

// The point as the hooks receive it: lowered by the z offset, in NC
// coordinates when the frame is active.
Vec3d outputPoint(const Vec3d& point, double zOffset, bool alwaysMap) {
  Vec3d p = point;
  p.z -= zOffset;
  if (alwaysMap || frameCurrent().frameActive != 0) framePtToolToNc(&p);
  return p;
}

int linkOutputPoint(int moveType, double zOffset, const Vec3d& point) {
  const Vec3d p = outputPoint(point, zOffset, false);
  if (S.lastValid != 0) {
    if (!sameWithin(S.lastPoint, point, kSamePointTol)) S.prevPoint = S.lastPoint;
    S.lastPoint = point;
  } else {
    S.lastPoint = S.prevPoint = point;
  }
  S.lastValid = 1;
  const double a[3] = {p.x, p.y, p.z};
  return linkEmitMove(a, moveType);
}

void linkOutputAuxPoint(const Vec3d& point, double zOffset, int lineTo) {
  const Vec3d p = outputPoint(point, zOffset, true);
  outAuxPathPoint(&p, lineTo);
}

// A working copy of the model for drops along link lines: its own tool, no
// boundaries, slope mode 0, sampled at half the tool radius.
ModelRec* linkModelCopy(const ModelRec* model) {
  ModelRec* copy = modelCopy(model);
  if (copy == nullptr) return nullptr;
  copy->boundaryChain = nullptr;
  copy->slopeMode = 0;
  const double r = toolRadius(copy);
  copy->maxStep = r > kEps ? 0.5 * r : 0.001;
  copy->minStep = std::min(0.01, copy->maxStep);
  return copy;
}

// Drops the copy's tool along curve with the clip pass off.  Returns the
// drop's result; path may be null (probe).
int dropAlong(ModelRec* copy, CurveRec* curve, Pline* path) {
  copy->guideCurve = curve;
  const int clip = contactGetClipPass();
  contactSetClipPass(0);
  const int result = contactDropAlongCurve(copy, path);
  contactSetClipPass(clip);
  copy->guideCurve = nullptr;
  return result;
}

Pline* newDropPath(const CurveRec* curve, double tolerance) {
  const double span = std::fabs(curve->t1 - curve->t0);
  const double cap = span / std::max(tolerance, kEps) + 10;
  return plineNew(cap < 40000 ? static_cast<int>(cap) : 40000, 1);
}

void gapsToKept(Pline* path) {
  for (int i = 0; i < path->count; ++i) {
    if (codeAt(path, i) == kPointGap) path->status[i] = pointStatusWithCode(path->status[i], kPointCut);
  }
}

// The holder test of a dropped macro or link path.  1 free (or no test), 0
// or -2 when the check shortened or cut the path.
int holderTestPath(ModelRec* model, const LinkParams* params, Pline* path, bool reversed) {
  const ToolShape* tool = model->tool;
  const bool shankWider =
      tool != nullptr && params->holderCheck == 2 && 2 * tool->radius + kEps < tool->shankDiameter;
  if (params->holderCollisionData == nullptr && !shankWider) return 1;
  if (reversed) plineReverse(path);
  const int count = path->count;
  const int mode = params->holderCheckMode == 4 ? 4 : 0;
  const int result = params->holderCollisionData != nullptr
                         ? holderCheckPath(model, params, path, mode, 0)
                         : holderCheckPathShank(model, params, path, mode, 0);
  if (reversed) plineReverse(path);
  if (result == 1 && path->count == count) return 1;
  return result == -2 ? -2 : 0;
}

// The macro dropped onto the model; null when the drop fails.
Pline* macroDropPath(ModelRec* model, const MacroRec* macro, const LinkParams* params) {
  CurveRec* curve = curveFromMacro(macro);
  if (curve == nullptr) return nullptr;
  ModelRec* copy = modelCopy(model);
  if (copy == nullptr) {
    curveFree(curve);
    return nullptr;
  }
  copy->boundaryChain = nullptr;
  copy->slopeMode = 0;
  double d = 1.0;
  if (macro->count >= 2) d = std::max(0.1, ptDistance3d(&macro->points[0], &macro->points[1]));
  if (d < copy->maxStep) {
    copy->maxStep = d;
    if (d / 2 < copy->minStep) copy->minStep = d / 2;
  }
  Pline* path = newDropPath(curve, copy->minStep);
  if (path != nullptr && dropAlong(copy, curve, path) < 0) {
    plineFree(path);
    path = nullptr;
  }
  curveFree(curve);
  modelFreeCopy(copy);
  if (path == nullptr) return nullptr;
  gapsToKept(path);
  plineReduce(path, params->stepMax, params->stepMin);
  plineCompact(path);
  return path;
}

// Two points from the macro's first point raised by the approach radius
// down to it.
Pline* macroPlungeFallback(const MacroRec* macro, const LinkParams* params) {
  Pline* path = plineNew(2, 0);
  if (path == nullptr) return nullptr;
  const double h = params->macro.approachRadius < kEps ? kPlungeDefaultHeight
                                                      : params->macro.approachRadius;
  Vec3d top = macro->points[0];
  top.z += h;
  const PointStatus cut = pointStatusMake(kPointKindContact, kPointCut);
  plineAppend(path, 0, &top, cut, nullptr, 0);
  plineAppend(path, h, &macro->points[0], cut, nullptr, 0);
  return path;
}

void macroPrepare(MacroRec* macro, MacroPathInfo* info, LinkParams* params, ModelRec* model) {
  *info = MacroPathInfo{1, 0, nullptr, macro};
  if (macro->kind == 0 || macro->kind == 8) info->use = 0;
  if (macro->kind == 20 && macro->count > 0) {
    const Vec3d& a = macro->points[0];
    const Vec3d& b = macro->points[macro->count - 1];
    if (std::fabs(a.x - b.x) < kEps && std::fabs(a.y - b.y) < kEps) info->use = 0;
  }
  if (info->use == 0) return;
  // The reversed-macro attach is not available: the plain drop serves both.
  info->path = macroDropPath(model, macro, params);
  if (info->path == nullptr) return;
  const bool approach = macro->type == kMacroApproach;
  if (approach && info->path->count > 0) {
    info->path->points[info->path->count - 1].z = macro->points[0].z;
  }
  if (holderTestPath(model, params, info->path, approach) != 1) info->trimmed = 1;
  if (approach && info->path->count == 0) {
    plineFree(info->path);
    info->path = macroPlungeFallback(macro, params);
  }
}

// The point after index from on whose xy or z differs from ref; ref itself
// when there is none.
Vec3d linkNextDistinctPoint(const Pline* path, int from, const Vec3d& ref) {
  for (int j = from; j < path->count; ++j) {
    if (!sameWithin(path->points[j], ref, kSamePointTol)) return path->points[j];
  }
  return ref;
}

// The macro's points as moves of moveType: an approach from its next-to-last
// point down to its first, a retract from its second to its last.
int linkEmitMacroPoints(const MacroRec* macro, int moveType, double zOffset) {
  if (macro->type == kMacroApproach) {
    for (int k = macro->count - 2; k >= 0; --k) {
      if (linkOutputPoint(moveType, zOffset, macro->points[k]) < 0) return kLinkMoveFailed;
    }
  } else {
    for (int k = 1; k < macro->count; ++k) {
      if (linkOutputPoint(moveType, zOffset, macro->points[k]) < 0) return kLinkMoveFailed;
    }
  }
  return 0;
}

int linkEmitPathPoints(double zOffset, Pline* path) {
  if (path->count > 1 && codeAt(path, 1) == kPointDropped &&
      std::fabs(path->points[0].z - S.lastPoint.z) >= kEps) {
    path->status[1] = pointStatusWithCode(path->status[1], kPointCut);
  }
  for (int k = 1; k < path->count; ++k) {
    if (codeAt(path, k) == kPointDropped) continue;
    if (linkOutputPoint(kPointFeed, zOffset, path->points[k]) < 0) return kLinkMoveFailed;
  }
  return 0;
}

int linkViaRetractPlane(double plane, double safety, double zOffset, const Vec3d& target) {
  bool ok = true;
  outPathContextBegin(kPathContextLink);
  outMarkRapidUp();
  Vec3d q = target;
  if (S.lastValid != 0) {
    q = S.lastPoint;
  } else {
    q.x += kFirstLinkOffsetX;
  }
  q.z = plane;
  ok = linkOutputPoint(kPointRapid, 0, q) >= 0 && ok;
  if (S.connectionPending != 0) {
    outMarkConnection();
    S.connectionPending = 0;
  }
  if (S.pendingTool > 0) {
    outToolChange(S.pendingTool);
    S.pendingTool = -1;
    ok = linkOutputPoint(kPointRapid, 0, q) >= 0 && ok;
  }
  if (S.sectionFirstLink != 0) {
    outMarkRapidArea();
  } else {
    outMarkRapidXY();
  }
  S.sectionFirstLink = 0;
  ok = linkOutputPoint(kPointRapid, 0, Vec3d{target.x, target.y, plane}) >= 0 && ok;
  outMarkRapidDown();
  if (target.z + safety < plane + kEps) {
    ok = linkOutputPoint(kPointRapid, zOffset, Vec3d{target.x, target.y, target.z + safety}) >= 0 &&
         ok;
  }
  outMarkApproach();
  ok = linkOutputPoint(kPointFeed, zOffset, target) >= 0 && ok;
  outPathContextEnd(kPathContextLink);
  return ok ? 0 : kLinkMoveFailed;
}

// Highest z of a drop along the straight line from a to b at height z.
// Returns 1 with the path in *out, or kLinkDropFailed.
int dropLine(ModelRec* copy, Vec3d a, Vec3d b, double z, Pline** out) {
  a.z = z;
  b.z = z;
  CurveRec* curve = curveNewLine3d(&a, &b);
  if (curve == nullptr) return kLinkDropFailed;
  Pline* path = newDropPath(curve, copy->minStep);
  const int result = path != nullptr ? dropAlong(copy, curve, path) : -1;
  curveFree(curve);
  if (result < 0) {
    plineFree(path);
    return kLinkDropFailed;
  }
  *out = path;
  return 1;
}

// The extra lift the holder check adds at height z over path (mode 4).
double holderExtraLiftOver(ModelRec* model, const LinkParams* params, Pline* path, double z) {
  if (params->holderCollisionData == nullptr || params->holderCheck <= 0) return 0;
  for (int i = 0; i < path->count; ++i) path->points[i].z = z;
  const double before = holderGetExtraLift();
  holderSetSkipReduce(1);
  holderCheckPath(model, params, path, 4, 0);
  const double after = holderGetExtraLift();
  holderSetExtraLift(before);
  return std::max(0.0, after - before);
}

// The height of a link through the retract plane that stays the safety
// distance above the surface between lastPoint and S.
int linkSurfaceHeight(const Vec3d& target, const Vec3d& from, const LinkParams* params,
                      ModelRec* copy, double* h) {
  *h = std::max(target.z, from.z);
  const ToolShape* tool = copy->tool;
  if (tool != nullptr && 0.5 * tool->shankDiameter > tool->radius + kEps) {
    modelGrowTool(copy, 0.5 * tool->shankDiameter - tool->radius);
  }
  Pline* path = nullptr;
  if (dropLine(copy, from, target, *h, &path) < 0) return kLinkDropFailed;
  const bool empty = modelIsEmpty(copy) != 0;
  const double lineZ = *h;
  for (int i = 0; i < path->count; ++i) {
    double z = path->points[i].z;
    if (empty) z = std::min(z, lineZ);
    *h = std::max(*h, z + params->safetyDistance);
  }
  *h += holderExtraLiftOver(copy, params, path, *h);
  plineFree(path);
  *h -= tipOffset(copy);
  return 0;
}

// How far the retract plane must rise so that the move across from F to S
// clears the surface.  1 when it must rise, 0 when not, kLinkDropFailed.
int linkPlaneLift(const Vec3d& target, const Vec3d& from, const LinkParams* params,
                  ModelRec* copy, double* lift) {
  *lift = 0;
  const double base = params->safetyPlane - params->safetyDistance;
  Pline* path = nullptr;
  if (dropLine(copy, from, target, base, &path) < 0) return kLinkDropFailed;
  double top = base;
  for (int i = 0; i < path->count; ++i) top = std::max(top, path->points[i].z);
  *lift = top - base;
  *lift += holderExtraLiftOver(copy, params, path, base + *lift);
  plineFree(path);
  *lift = std::max(0.0, *lift - tipOffset(copy));
  return *lift >= kEps ? 1 : 0;
}

// Raises p along z in steps of the tool radius until the tool drops free
// up to the safety plane.  1 when it was lifted, 0 when not, kLinkDropFailed.
int linkFindLift(Vec3d p, ModelRec* copy, const LinkParams* params, double* lift) {
  *lift = 0;
  const double r = toolRadius(copy);
  while (r > kEps && p.z + r < copy->boxMax.z) {
    const Vec3d top{p.x, p.y, params->safetyPlane};
    CurveRec* curve = curveNewLine3d(&p, &top);
    if (curve == nullptr) return kLinkDropFailed;
    const int result = dropAlong(copy, curve, nullptr);
    curveFree(curve);
    if (result < 0) return kLinkDropFailed;
    if (result == 1) break;
    p.z += r;
    *lift += r;
  }
  return *lift >= kEps ? 1 : 0;
}

// Raises every point of the path by x times its parameter distance from the
// first point over half the parameter span: x at the middle, 0 at both ends.
void raiseTent(Pline* path, double x) {
  if (std::fabs(x) < kEps || path->count < 2) return;
  const double t0 = path->params[0];
  const double half = 0.5 * (path->params[path->count - 1] - t0);
  if (std::fabs(half) < 1e-12) return;
  for (int i = 0; i < path->count; ++i) {
    const double u = (path->params[i] - t0) / half;
    path->points[i].z += x * (u <= 1 ? u : 2 - u);
  }
}

int linkDropWithTent(ModelRec* copy, CurveRec* curve, double tent, Pline* path) {
  const int result = dropAlong(copy, curve, path);
  if (result >= 0) raiseTent(path, tent);
  return result;
}

// A direct link along the surface following curve.  1 done, 0 replaced by a
// link through the retract plane, negative on failure.
int linkAlongSurface(LinkParams* params, CurveRec* curve, ModelRec* model) {
  ModelRec* copy = modelCopy(model);
  if (copy == nullptr) return kLinkDropFailed;
  copy->boundaryChain = nullptr;
  copy->slopeMode = 0;
  double tent = 0;
  if (S.surfaceLinkLift != 0) {
    modelGrowTool(copy, -copy->minStep);
    tent = copy->minStep;
  }
  const double length = std::fabs(curve->t1 - curve->t0);
  if (2 * copy->maxStep > length && copy->maxStep > kShortLinkStepTols * copy->minStep) {
    copy->maxStep = kShortLinkStepTols * copy->minStep;
  }
  Pline* path = newDropPath(curve, copy->minStep);
  if (path == nullptr || linkDropWithTent(copy, curve, tent, path) < 0) {
    plineFree(path);
    modelFreeCopy(copy);
    return kLinkDropFailed;
  }
  gapsToKept(path);
  int result;
  if (path->count > 0 && holderTestPath(copy, params, path, false) == -2) {
    const Vec3d end = path->points[path->count - 1];
    result = linkViaRetractPlane(params->safetyPlane, params->safetyDistance, tipOffset(copy), end);
  } else {
    plineReduce(path, params->stepMax, params->stepMin);
    if (params->climbMode == 2) plineApplyClimbMode(path, 2);
    outFeedInfeed(1);
    result = linkEmitPathPoints(tipOffset(copy), path);
    if (result >= 0) {
      outFeedInfeed(0);
      result = 1;
    }
  }
  plineFree(path);
  modelFreeCopy(copy);
  return result;
}

// The link along a tilted tool axis: up from lastPoint until free, through
// the retract plane, and down onto S.
int linkTiltedLift(const Vec3d& target, LinkParams* params, ModelRec* model, double plane) {
  ModelRec* copy = linkModelCopy(model);
  if (copy == nullptr) return kLinkDropFailed;
  if (copy->tool->radius < kTiltLiftMinRadius) copy->tool->radius = kTiltLiftMinRadius;
  copy->maxStep = copy->minStep = copy->tool->radius;
  const double tip = tipOffset(model);
  double lift = 0;
  int r = linkFindLift(S.lastPoint, copy, params, &lift);
  if (r == 1) {
    MacroParams up = params->macro;
    up.retractKind = 0;
    up.retractRadius = lift;
    MacroRec* m = macroBuild(kMacroRetract, S.lastPoint, S.prevPoint, &up, 1, nullptr, 0, nullptr);
    if (m != nullptr) {
      r = linkEmitMacroPoints(m, kPointRapid, tip);
      macroFree(m);
      if (r < 0) {
        modelFreeCopy(copy);
        return r;
      }
    }
  }
  if (r < 0) {
    modelFreeCopy(copy);
    return r;
  }
  r = linkFindLift(target, copy, params, &lift);
  modelFreeCopy(copy);
  if (r < 0) return r;
  Vec3d raised = target;
  if (r == 1) raised.z += lift;
  r = linkViaRetractPlane(plane, params->safetyDistance, tip, raised);
  if (r < 0 || lift < kEps) return r < 0 ? r : 0;
  MacroParams down = params->macro;
  down.approachKind = 0;
  down.approachRadius = lift;
  MacroRec* m = macroBuild(kMacroApproach, target, S.linkTarget, &down, 1, nullptr, 0, nullptr);
  if (m == nullptr) return 0;
  r = linkEmitMacroPoints(m, kPointFeed, tip);
  macroFree(m);
  return r < 0 ? r : 0;
}

// The direct link from lastPoint to target along the surface.
int linkDirect(const Vec3d& target, const Vec3d& direction, LinkParams* params, ModelRec* model) {
  CurveRec* curve = nullptr;
  if (params->pathLinkMode >= 2 && !sameWithin(target, direction, kSamePointTol)) {
    curve = curveLinkCreate(&S.lastPoint, &S.prevPoint, &target, &direction,
                            params->pathLinkMode == 3 ? 1 : 0);
  }
  if (curve == nullptr) {
    outMarkInfeed();
    curve = curveNewLine3d(&S.lastPoint, &target);
    if (curve == nullptr) return kLinkDropFailed;
  } else {
    outMarkSmooth();
    contactSetVertexSamples(1);
  }
  const int r = linkAlongSurface(params, curve, model);
  curveFree(curve);
  int result = r < 0 ? r : 0;
  if (result == 0 && std::fabs(S.lastPoint.z - target.z) >= kEps &&
      linkOutputPoint(kPointFeed, tipOffset(model), target) < 0) {
    result = kLinkMoveFailed;
  }
  contactSetVertexSamples(0);
  return result;
}

// The lift of the retract plane over the move from `from` to target, on a
// link model copy.  1/0 as linkPlaneLift, kLinkDropFailed.
int planeLiftOnCopy(const Vec3d& target, const Vec3d& from, LinkParams* params, ModelRec* model,
                    double* lift) {
  ModelRec* copy = linkModelCopy(model);
  if (copy == nullptr) return kLinkDropFailed;
  const int r = linkPlaneLift(target, from, params, copy, lift);
  modelFreeCopy(copy);
  return r;
}

int linkMoveToStart(const Vec3d& target, const Vec3d& direction, int near, LinkParams* params,
                    ModelRec* model) {
  double plane = params->safetyPlane;
  const double tip = tipOffset(model);
  if (S.lastValid != 0 && sameWithin(S.lastPoint, target, kSamePointTol)) return 0;
  if (S.lastValid == 0) near = 0;
  S.linkTarget = direction;
  bool tiltStep = S.pendingTool > 0;
  if (S.pendingTool <= 0) {
    if (near != 0) return linkDirect(target, direction, params, model);
    if (params->linkMode != 0 && S.lastValid != 0) {
      if (params->linkMode == 1) {
        ModelRec* copy = linkModelCopy(model);
        if (copy == nullptr) return kLinkDropFailed;
        double h = 0;
        const int r = linkSurfaceHeight(target, S.lastPoint, params, copy, &h);
        modelFreeCopy(copy);
        if (r < 0) return r;
        plane = h;
      } else if (params->linkMode == 2) {
        double lift = 0;
        // A lift that cannot be computed must not leave the link without it.
        if (planeLiftOnCopy(target, S.lastPoint, params, model, &lift) < 0) return kLinkDropFailed;
        plane += lift;
      }
      const int r = linkViaRetractPlane(plane, params->safetyDistance, tip, target);
      return r < 0 ? r : 0;
    }
    tiltStep = params->linkMode == 0;
  }
  if (tiltStep && S.lastValid != 0 && frameSystemsEqual() == 0) {
    return linkTiltedLift(target, params, model, plane);
  }
  const bool liftFromLast =
      params->linkMode == 2 || (params->linkMode == 1 && S.lastValid == 0 && params->checkPlane != 0);
  if (liftFromLast) {
    double lift = 0;
    int r = 0;
    if (S.lastValid != 0) {
      r = planeLiftOnCopy(target, S.lastPoint, params, model, &lift);
    } else if (params->checkPlane == 2) {
      r = planeLiftOnCopy(target, target, params, model, &lift);
      if (r >= 0 && lift > kEps) {
        msgNumberedReal(9, kMsgStartInCollision, "* Error startpoint in collision", 0.0);
        return kLinkStartColliding;
      }
    }
    if (r < 0) return r;
    plane += lift;
  }
  if (near != 0) return linkDirect(target, direction, params, model);
  const int r = linkViaRetractPlane(plane, params->safetyDistance, tip, target);
  return r < 0 ? r : 0;
}

int linkEmitMacro(MacroPathInfo* info, int near, LinkParams* params, ModelRec* model) {
  const MacroRec* macro = info->macro;
  if (macro == nullptr || macro->count == 0) return 0;
  const double tip = tipOffset(model);
  const bool approach = macro->type == kMacroApproach;
  const Pline* dropped = info->path != nullptr && info->path->count > 0 ? info->path : nullptr;
  const Vec3d farEnd = dropped != nullptr ? dropped->points[0] : macro->points[macro->count - 1];
  if (approach && near >= 0) {
    Vec3d start = farEnd;
    macroApplyShift(macro, &start);
    const Vec3d direction =
        dropped != nullptr ? linkNextDistinctPoint(dropped, 1, start) : start;
    const int r = linkMoveToStart(start, direction, near, params, model);
    if (r < 0) return r;
  }
  if (approach) {
    outMarkApproach();
    outFeedApproach(1);
    if (linkOutputPoint(kPointFeed, tip, farEnd) < 0) return kLinkMoveFailed;
  } else {
    outMarkRetract();
    outFeedRetract(1);
  }
  int r = 0;
  if (info->path != nullptr) {
    r = linkEmitPathPoints(tip, info->path);
  } else {
    r = linkEmitMacroPoints(macro, kPointFeed, tip);
  }
  if (r < 0) return kLinkMoveFailed;
  if (approach) {
    outFeedApproach(0);
    return 0;
  }
  outFeedRetract(0);
  Vec3d shifted = S.lastPoint;
  macroApplyShift(macro, &shifted);
  return linkOutputPoint(kPointFeed, tip, shifted) < 0 ? kLinkMoveFailed : 0;
}

// Draws a run of special points on the display channel.  Returns the index
// the piece loop goes on from.
int linkOutputSpecialPiece(Pline* path, LinkParams* params, int s, double zOffset) {
  const int n = path->count;
  const Vec3d* p = path->points;
  if (s == 0 || codeAt(path, s - 1) == kPointGap) {
    bool afterMacro = false;
    const int kind = params->macro.approachKind;
    if ((kind == 6 || kind == 8) && s + 1 < n) {
      MacroRec* m = macroBuild(kMacroApproach, p[s], p[s + 1], &params->macro, path->tag, path, s,
                               nullptr);
      if (m != nullptr && m->count >= 2) {
        for (int k = m->count - 2; k >= 0; --k) {
          linkOutputAuxPoint(m->points[k], zOffset, k == m->count - 2 ? 0 : 1);
        }
        afterMacro = true;
      }
      macroFree(m);
    }
    linkOutputAuxPoint(p[s], zOffset, afterMacro ? 1 : 0);
  } else {
    linkOutputAuxPoint(p[s - 1], zOffset, 1);
    linkOutputAuxPoint(p[s], zOffset, 1);
  }
  int j = s;
  while (j + 1 < n && codeAt(path, j + 1) == kPointSpecial) {
    ++j;
    linkOutputAuxPoint(p[j], zOffset, 1);
  }
  if (j + 1 < n && codeAt(path, j + 1) != kPointGap) {
    linkOutputAuxPoint(p[j + 1], zOffset, 1);
    return j + 1;
  }
  return j;
}

MacroRec* buildMacro(ModelRec*, int type, const Vec3d& end, const Vec3d& neighbour,
                     const MacroParams* macro, int side, const Pline* path, int index) {
  return macroBuild(type, end, neighbour, macro, side, path, index, nullptr);
}

// The retract of the last piece, when one is pending.
int linkFlushRetract(LinkParams* params, ModelRec* model) {
  if (S.pendingRetract == 0) return 0;
  linkCallElementEnd(1);
  if (S.storedMacro.retractRadius <= kEps) return 0;
  MacroRec* retract = buildMacro(model, kMacroRetract, S.pathEnd, S.prevEnd, &S.storedMacro,
                                 S.lastTag, nullptr, 0);
  if (retract == nullptr) return 0;
  macroPrepare(retract, &S.retractInfo, params, model);
  const int r = linkEmitMacro(&S.retractInfo, -1, params, model);
  linkMacroInfoFree(&S.retractInfo);
  return r;
}

void installedReset() { linkResetState(); }
void installedStartSection(ModelRec*) { linkStartNewSection(); }

}  // namespace

void linkMacroInfoFree(MacroPathInfo* info) {
  plineFree(info->path);
  macroFree(info->macro);
  *info = MacroPathInfo{};
}

void linkStateLoad() {
  linkMacroInfoFree(&S.approachInfo);
  linkMacroInfoFree(&S.retractInfo);
  S = LinkState{};
  S.pendingTool = -1;
}

int linkResetState() {
  S.lastValid = 0;
  S.pendingRetract = 0;
  S.firstValid = 0;
  S.newSection = 0;
  S.connectionPending = 1;
  return frameToolAxisDiffers();
}

int linkStartNewSection() {
  S.newSection = 1;
  S.sectionFirstLink = 1;
  S.connectionPending = 1;
  return 1;
}

void linkSetPendingTool(int tool) { S.pendingTool = tool; }
void linkSetSurfaceLinkLift(int on) { S.surfaceLinkLift = on; }
void macroParamsStore(const MacroParams& macro) { S.storedMacro = macro; }
const LinkState& linkState() { return S; }

int linkOutputPath(Pline* path, LinkParams* params, ModelRec* model) {
  if (path == nullptr) return 0;
  const int n = path->count;
  Vec3d* p = path->points;
  const double tip = tipOffset(model);
  const MacroParams& mp = params->macro;
  double nearDist = params->maxLinkDistance;
  if (S.newSection != 0) nearDist = 0;
  if (params->pathLinkMode == 0) nearDist = 3 * params->trimLength;
  const bool approachOnNear = mp.approachKind != 8;
  int firstIdx = -1;
  int lastCut = 0;
  int shortLink = 0;
  bool specialSeen = false;
  int result = 0;
  bool haveFirst = false;
  Vec3d pathFirst{};
  Vec3d pathSecond{};

  int i = 0;
  while (i < n) {
    // Skip gaps, dropped points and special runs (drawn, never machined).
    for (;;) {
      if (codeAt(path, i) == kPointSpecial) {
        i = linkOutputSpecialPiece(path, params, i, tip);
        specialSeen = true;
        result = 1;
      }
      const int c = codeAt(path, i);
      if ((c == kPointGap || c == kPointDropped) && i + 1 < n) {
        ++i;
        continue;
      }
      break;
    }
    const int s = i;
    if (plineIsRunEnd(path, s) != 0) {  // a lone point is never output
      i = s + 1;
      continue;
    }
    if (firstIdx < 0) firstIdx = s;
    if (!haveFirst && s < n - 1) {
      pathFirst = p[s];
      pathSecond = p[s + 1];
      haveFirst = true;
    }
    const Vec3d q = outputPoint(p[s], tip, false);
    const double qa[3] = {q.x, q.y, q.z};
    int near = linkIsNearLast(qa, nearDist / jobLengthScale(), 1);
    if (specialSeen) near = 0;
    S.newSection = 0;
    result = 1;
    if (S.pendingTool > 0) near = 0;

    S.macroTag = S.lastTag;
    const bool returnHere = S.storedMacro.returnFlag != 0 && s == firstIdx;
    MacroRec* retract = nullptr;
    if (S.pendingRetract != 0) {
      if (S.storedMacro.retractRadius > kEps && (returnHere || near == 0)) {
        retract = buildMacro(model, kMacroRetract, S.pathEnd, S.prevEnd, &S.storedMacro, S.lastTag,
                             nullptr, 0);
      }
      linkCallElementEnd(1);
      if (retract != nullptr) macroPrepare(retract, &S.retractInfo, params, model);
    }
    if (near == 0 && params->infeedAlongPath != 0 && S.firstValid != 0 && S.pendingRetract != 0) {
      ++shortLink;
    }
    if (shortLink == 1 &&
        (ptDistance3d(&S.firstPoint, &p[s]) > params->maxLinkDistance || mp.approachKind == 8)) {
      shortLink = 0;
    }
    S.macroTag = path->tag;
    const bool returnNow = mp.returnFlag != 0 && s == firstIdx;

    MacroRec* approach = nullptr;
    if (s + 1 < n && mp.approachRadius > kEps && (near == 0 || (returnNow && approachOnNear))) {
      if (shortLink == 1) {
        approach = buildMacro(model, kMacroApproach, S.firstPoint, S.secondPoint, &mp, S.macroTag,
                              nullptr, 0);
      } else {
        approach = buildMacro(model, kMacroApproach, p[s], p[s + 1], &mp, S.macroTag, path, s);
      }
      if (approach != nullptr) macroPrepare(approach, &S.approachInfo, params, model);
      if (shortLink == 1) {
        if (near != 0 && p[s].z < S.lastPoint.z) p[s].z = S.lastPoint.z;
        plineApplyClimbMode(path, params->climbMode);
        pathFirst = p[s];
        pathSecond = p[s + 1];
        haveFirst = true;
        shortLink = 2;
      }
    }
    if (params->macroReverse != 0 && returnNow && near != 0 &&
        (S.approachInfo.trimmed != 0 || S.retractInfo.trimmed != 0)) {
      linkMacroInfoFree(&S.approachInfo);
      linkMacroInfoFree(&S.retractInfo);
      approach = nullptr;
      retract = nullptr;
    } else if (retract != nullptr) {
      const int r = linkEmitMacro(&S.retractInfo, -1, params, model);
      linkMacroInfoFree(&S.retractInfo);
      if (r < 0) {
        linkMacroInfoFree(&S.approachInfo);
        return r;
      }
    }
    if (S.pendingRetract != 0) linkCallPieceEnd();
    linkCallPieceBegin();

    if (approach != nullptr) {
      S.connectionPending = 1;
      const int r = linkEmitMacro(&S.approachInfo, near, params, model);
      linkMacroInfoFree(&S.approachInfo);
      if (r < 0) return r;
    } else if (shortLink == 1) {
      int r = linkMoveToStart(S.firstPoint, S.secondPoint, near, params, model);
      if (r < 0) return r;
      r = linkMoveToStart(p[s], p[s + 1], 1, params, model);
      if (r < 0) return r;
      if (p[s].z < S.lastPoint.z) p[s].z = S.lastPoint.z;
      plineApplyClimbMode(path, params->climbMode);
      pathFirst = p[s];
      pathSecond = p[s + 1];
      haveFirst = true;
      shortLink = 2;
    }
    if (mp.approachRadius > kEps) near = 1;
    S.connectionPending = 1;
    const Vec3d d = linkNextDistinctPoint(path, s + 1, p[s]);
    const int r = linkMoveToStart(p[s], d, near, params, model);
    if (r < 0) return r;

    linkCallElementBegin(1);
    nearDist = params->maxLinkDistance;
    if (params->verticalStepCount > 1 && params->feedJump == 1) nearDist = 0;
    if (params->pathLinkMode == 0) nearDist = 0;
    outMarkPath();

    bool cutThisPiece = false;
    int j = s + 1;
    for (; j < n && codeAt(path, j) != kPointGap && codeAt(path, j) != kPointSpecial; ++j) {
      if (codeAt(path, j) == kPointDropped) continue;
      if (linkOutputPoint(kPointFeed, tip, p[j]) < 0) return kLinkMoveFailed;
      lastCut = j;
      cutThisPiece = true;
    }
    i = j;
    if (lastCut < 1) {
      S.pendingRetract = 0;
    } else {
      if (cutThisPiece) {
        S.pathEnd = p[lastCut];
        S.prevEnd = p[lastCut - 1];
        if (std::fabs(S.pathEnd.x - S.prevEnd.x) < kEps &&
            std::fabs(S.pathEnd.y - S.prevEnd.y) < kEps && lastCut > 1) {
          S.prevEnd = p[lastCut - 2];
        }
      } else {
        // A piece without a cutting move ends where its link left the tool.
        S.pathEnd = S.lastPoint;
        S.prevEnd = S.prevPoint;
      }
      S.storedMacro = mp;
      S.pendingRetract = 1;
    }
    S.lastTag = path->tag;
  }
  S.lastTag = path->tag;
  if (haveFirst) {
    S.firstPoint = pathFirst;
    S.secondPoint = pathSecond;
    S.firstValid = 1;
  }
  return result;
}

int linkFinishOutput(LinkParams* params, ModelRec* model) {
  int result = linkFlushRetract(params, model);
  outPathContextBegin(kPathContextFinal);
  if (result >= 0 && S.lastValid != 0) {
    outMarkRapidUp();
    Vec3d q{S.lastPoint.x, S.lastPoint.y, params->safetyPlane};
    if (params->linkMode == 2 || (params->linkMode == 1 && params->checkPlane != 0)) {
      double lift = 0;
      const int r = planeLiftOnCopy(q, S.lastPoint, params, model, &lift);
      if (r < 0) result = r;
      q.z += lift;
    }
    if (result >= 0 && linkOutputPoint(kPointRapid, 0, q) < 0) result = kLinkMoveFailed;
    if (S.connectionPending != 0) {
      outMarkConnection();
      S.connectionPending = 0;
    }
  }
  outPathContextEnd(kPathContextFinal);
  if (S.pendingRetract != 0) linkCallPieceEnd();
  S.pendingRetract = 0;
  S.lastValid = 0;
  return result < 0 ? result : 0;
}

void linkInstallFacetEmitters() {
  PathEmitters e = pathOutputEmitters();
  e.facets = linkOutputPath;
  e.reset = installedReset;
  e.startSection = installedStartSection;
  e.finish = linkFinishOutput;
  pathOutputSetEmitters(e);
}
