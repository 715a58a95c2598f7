#include "model/drop/contact_drop.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "base/messages.h"
#include "boundaries/boundary_rec.h"
#include "boundaries/curve_boundary.h"
#include "geometry/curves/curve.h"
#include "model/contact/contact_triangle.h"
#include "model/mesh/model_grid.h"
#include "model/mesh/offset_model.h"

namespace {

constexpr double kDegToRad = 3.14159265358979323846 / 180.0;

double lowestReach(const ToolShape* tool, double h) {
  switch (tool->type) {
    case kToolBall:
      return h - tool->radius;
    case kToolTorus:
      return h - tool->cornerRadius;
    case kToolConeFrustum:
      return h + tool->length;
    default:
      return h;
  }
}

// Reach of the tool beyond its axis for the box tests: its radius, widened by
// the cone growth while the taper is on, or half the shank of a frustum.
double boxReach(const ContactContext* ctx, const ToolShape* tool) {
  if (tool->type == kToolConeFrustum) return 0.5 * tool->shankDiameter;
  return tool->radius + (ctx->taperOn ? ctx->coneGrowth : 0.0);
}

// The position's xy and its 45-degree coordinates.
struct DropPoint {
  double x, y, u, v;
};

DropPoint dropPointOf(const Vec3d* p) {
  return {p->x, p->y, kModelDiagCos * p->x - kModelDiagCos * p->y,
          kModelDiagCos * p->y + kModelDiagCos * p->x};
}

// True when the surface's box lies farther than R from the point in x or y
// (or along the diagonals when the extents exist).
[[gnu::always_inline]] inline bool boxRejects(const FacetBoxSet* b, int i, const DropPoint& p,
                                              double R) {
  const Vec3d& mx = b->maxCorners[i];
  const Vec3d& mn = b->minCorners[i];
  if (p.x - R > mx.x || p.y - R > mx.y || mn.x > p.x + R || mn.y > p.y + R) return true;
  if (b->diagMin != nullptr && b->diagMax != nullptr) {
    const double* dmn = b->diagMin + 2 * static_cast<std::ptrdiff_t>(i);
    const double* dmx = b->diagMax + 2 * static_cast<std::ptrdiff_t>(i);
    if (p.u - R > dmx[0] || p.v - R > dmx[1] || dmn[0] > p.u + R || dmn[1] > p.v + R) return true;
  }
  return false;
}

// The bound of a surface with top maxZ at squared plan distance d2 from the
// axis; false when the tool cannot reach it (or for other tool types).
[[gnu::always_inline]] inline bool boundAtDistance(const ToolShape* tool, double maxZ, double d2,
                                                   double* bound) {
  const double r = tool->radius;
  if (!(d2 <= r * r)) return false;
  switch (tool->type) {
    case kToolBall:
      *bound = maxZ + std::sqrt(r * r - d2);
      break;
    case kToolFlat:
      *bound = maxZ;
      break;
    case kToolTorus: {
      const double rc = tool->cornerRadius;
      const double f = std::sqrt(d2) - (r - rc);
      *bound =
          f >= kContactTorusBoundTol ? maxZ + std::sqrt(std::max(0.0, rc * rc - f * f)) : maxZ + rc;
      break;
    }
    default:
      return false;
  }
  return *bound == *bound;  // a NaN bound cannot be ordered
}

// The squared plan distance from (x, y) to the box [mn, mx] (0 inside).
inline double planDistance2(double x, double y, const Vec3d& mn, const Vec3d& mx) {
  const double dx = x < mn.x ? mn.x - x : (x > mx.x ? x - mx.x : 0.0);
  const double dy = y < mn.y ? mn.y - y : (y > mx.y ? y - mx.y : 0.0);
  return dx * dx + dy * dy;
}

// The height bound of one surface for the tool (true when reachable), at the
// plan distance of the position from the surface's box.
[[gnu::always_inline]] inline bool candidateBound(const ToolShape* tool, const Vec3d& mn,
                                                  const Vec3d& mx, const DropPoint& p,
                                                  double* bound) {
  return boundAtDistance(tool, mx.z, planDistance2(p.x, p.y, mn, mx), bound);
}

// Relative slack of the box test of the full walk.
constexpr double kBoxBelowSlack = 1e-9;

// Relative slack of the square-root-free floor test below.
constexpr double kFloorTestSlack = 1e-12;

// True when a ball's bound at squared plan distance d2 (<= r^2) from a box
// with top z surely lies below floorH.  Compared on squares (no root), with
// a slack that keeps every rounding of the root and the sum on the safe
// side: false wherever the bound might reach floorH.
inline bool ballLiftBelow(double r, double z, double d2, double floorH) {
  const double gap = floorH - z - kFloorTestSlack * (1.0 + std::fabs(floorH) + std::fabs(z));
  if (!(gap > 0.0)) return false;
  return r * r - d2 < gap * gap * (1.0 - kFloorTestSlack);
}

// The bound of surface i for the tool (as candidateBound gives it) when its
// box is in reach and the bound reaches floorH, in one pass over the box:
// judged first without a root where that is sure (a ball by ballLiftBelow,
// any tool by its largest lift, boundLiftMax).
[[gnu::always_inline]] inline bool boundReaches(const FacetBoxSet* boxes, int i,
                                                const ToolShape* tool, const DropPoint& p,
                                                double lift, double floorH, double* bound) {
  const double R = tool->radius;
  if (boxRejects(boxes, i, p, R)) return false;
  const Vec3d& mx = boxes->maxCorners[i];
  const double d2 = planDistance2(p.x, p.y, boxes->minCorners[i], mx);
  if (!(d2 <= R * R) || mx.z + lift < floorH ||
      (tool->type == kToolBall && ballLiftBelow(R, mx.z, d2, floorH))) {
    return false;
  }
  return boundAtDistance(tool, mx.z, d2, bound) && !(*bound < floorH);
}

// Walk order of the candidates: higher bound first, then lower index.  As a
// "less" for the heap functions: a comes after b.
struct CandidateAfter {
  bool operator()(const CandidateEntry& a, const CandidateEntry& b) const {
    if (a.bound != b.bound) return a.bound < b.bound;
    return a.index > b.index;
  }
};

// Collects the reachable surfaces into out (room for cap).  Returns the count,
// or -1 when more than cap are reachable.  *lastPos / *lastIndex receive the
// last list position and surface walked.
int collectCandidates(const FacetBoxSet* boxes, CandidateEntry* out, int cap, const int* indices,
                      int count, const ToolShape* tool, const Vec3d* position, int* lastPos,
                      int* lastIndex) {
  if (tool->type != kToolBall && tool->type != kToolFlat && tool->type != kToolTorus) {
    return 0;
  }
  const DropPoint p = dropPointOf(position);
  const double R = tool->radius;
  int n = 0;
  for (int k = 0; k < count; ++k) {
    const int i = indices != nullptr ? indices[k] : k;
    *lastPos = indices != nullptr ? k : -1;
    *lastIndex = i;
    if (boxRejects(boxes, i, p, R)) continue;
    double bound;
    if (!candidateBound(tool, boxes->minCorners[i], boxes->maxCorners[i], p, &bound)) continue;
    if (n == cap) return -1;
    out[n++] = {i, bound};
  }
  return n;
}

// True when more than cap surfaces are reachable, by the test of
// collectCandidates, counted without their bounds: a bound is a number
// wherever the top z is one and the tool's radii are finite.
bool reachableExceeds(const FacetBoxSet* boxes, int cap, const int* indices, int count,
                      const ToolShape* tool, const Vec3d* position) {
  if (tool->type != kToolBall && tool->type != kToolFlat && tool->type != kToolTorus) {
    return false;
  }
  const DropPoint p = dropPointOf(position);
  const double R = tool->radius;
  const double r2 = tool->radius * tool->radius;
  const bool finite = std::isfinite(r2) && std::isfinite(tool->cornerRadius * tool->cornerRadius);
  int n = 0;
  for (int k = 0; k < count; ++k) {
    const int i = indices != nullptr ? indices[k] : k;
    if (boxRejects(boxes, i, p, R)) continue;
    const Vec3d& mn = boxes->minCorners[i];
    const Vec3d& mx = boxes->maxCorners[i];
    if (finite) {
      const double dx = p.x < mn.x ? mn.x - p.x : (p.x > mx.x ? p.x - mx.x : 0.0);
      const double dy = p.y < mn.y ? mn.y - p.y : (p.y > mx.y ? p.y - mx.y : 0.0);
      if (!(dx * dx + dy * dy <= r2) || mx.z != mx.z) continue;
    } else {
      double bound;
      if (!candidateBound(tool, mn, mx, p, &bound)) continue;
    }
    if (++n > cap) return true;
  }
  return false;
}

// Per-thread candidate scratch of the engines (the list of kContactCandidate-
// Capacity entries each drop would otherwise allocate).
std::vector<CandidateEntry>& candidateScratch() {
  thread_local std::vector<CandidateEntry> scratch(kContactCandidateCapacity);
  return scratch;
}

// Per-thread scratch of the level ties of a torus search (scanByHighestContact).
std::vector<CandidateEntry>& tieScratch() {
  thread_local std::vector<CandidateEntry> scratch(kContactCandidateCapacity);
  return scratch;
}

// The end of every walk: what an untouched position reports.
int finishWalk(const ContactContext* ctx, const ToolShape* tool, const Vec3d* position, int touched,
               int faceFound, Vec3d* contact) {
  if (!touched) {
    if (!ctx->keepUntouched) return 0;
    // The lowest point of the tool stands in for the contact.
    *contact = {position->x, position->y, lowestReach(tool, position->z)};
    return 1;
  }
  return faceFound ? 2 : 1;
}

inline bool inZRange(const ContactContext* ctx, double h) {
  return h >= ctx->zFloor && h <= ctx->zTop;
}

// Upper bound of the height the tool can reach on a triangle, from its plane:
// the tool's reference ring (radius 0 for a ball, R - rc for a torus, R for a
// flat tool) stays within the slab of half width rc (ball r, flat 0) about
// the plane, so its height is at most the plane's height at the axis plus
// ring x tan(slope) + rc / cos(slope).  No bound (infinity) for steep or
// ill-shaped triangles, where the numbers would not be trustworthy.
inline double planeBoundOf(const SurfacePlane& pl, double x, double y, double ring, double rc) {
  if (pl.nz == 0.0) return HUGE_VAL;
  const double zAxis = pl.az - (pl.nx * (x - pl.ax) + pl.ny * (y - pl.ay)) / pl.nz;
  return zAxis + (ring * pl.hxy + rc * pl.len) / std::fabs(pl.nz);
}

// The same from the triangle's vertices.
inline double planeBound(const Vec3d& a, const Vec3d& b, const Vec3d& c, double x, double y,
                         double ring, double rc) {
  return planeBoundOf(surfacePlaneOf(a, b, c), x, y, ring, rc);
}

// Slack of the plane bound against rounding of both computations.
constexpr double kPlaneBoundSlack = 1e-7;

// How far the plane bound of a ball or torus may be lowered, by how far the
// plane's touch point lies from the triangle.
//
// Over the plane, a ball of radius rc whose axis stands at a touches at plan
// point x at the plane's height there plus sqrt(rc^2 - |x - a|^2): a concave
// function whose curvature is at least 1 / rc in every direction, highest
// (its plane bound) at its touch point q(a), which lies rc sin(slope) uphill
// of a.  So no point of the triangle lifts it higher than its plane bound
// minus d^2 / (2 rc), d the plan distance from q(a) to the triangle's box.
//
// A torus is the union of such balls with axes a = p + o, |o| <= ring, p the
// drop axis.  Their plane bounds are the torus' bound less tan(slope)
// (ring - u . o), u the plan direction uphill, which is at least
// tan(slope) |o - ring u|^2 / (2 ring).  Their touch points lie |o - ring u|
// from the torus' touch point c = q(p) + ring u, so d >= D - |o - ring u|,
// D the distance from c to the box; the least sum of both losses over
// |o - ring u| is D^2 / (2 (rc + ring / tan(slope))).  Also d >= D0 - ring,
// D0 the distance from q(p): the larger loss serves.
//
// dist2 gives the squared plan distance from a point to the set that holds
// the triangle: its box, or the triangle itself.
template <class Distance2>
inline double planeBoundLoss(const SurfacePlane& pl, double x, double y, double ring, double rc,
                             const Distance2& dist2) {
  // Uphill in plan: against the plan part of the upward normal.
  const double up = pl.nz > 0.0 ? -1.0 : 1.0;
  const double s = up * rc / pl.len;
  const double qx = x + s * pl.nx;
  const double qy = y + s * pl.ny;
  const double d2 = dist2(qx, qy);
  if (!(ring > 0.0)) return d2 / (2.0 * rc);
  const double d = std::sqrt(d2) - ring;
  double loss = d > 0.0 ? d * d / (2.0 * rc) : 0.0;
  if (pl.hxy > 0.0) {
    const double w = up * ring / pl.hxy;
    const double c2 = dist2(qx + w * pl.nx, qy + w * pl.ny);
    loss = std::max(loss, c2 / (2.0 * (rc + ring * std::fabs(pl.nz) / pl.hxy)));
  }
  return loss;
}

// The squared plan distance from (x, y) to the segment from the origin to e
// (w = (x, y) relative to the segment's start).
inline double segmentDistance2(double wx, double wy, double ex, double ey) {
  const double ee = ex * ex + ey * ey;
  double t = ee > 0.0 ? (wx * ex + wy * ey) / ee : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double dx = wx - t * ex, dy = wy - t * ey;
  return dx * dx + dy * dy;
}

// The squared plan distance from (x, y) to the triangle with first vertex
// (ax, ay) and plan edges e1, e2 from it: 0 inside, else the least distance
// to its sides.  Rounding near a side leaves a distance near 0 either way.
inline double triangleDistance2(double ax, double ay, const Vec3d& e1, const Vec3d& e2, double x,
                                double y) {
  const double wx = x - ax, wy = y - ay;
  const double c = e1.x * e2.y - e1.y * e2.x;
  const double sign = c < 0.0 ? -1.0 : 1.0;
  const double u = sign * (wx * e2.y - wy * e2.x);
  const double v = sign * (e1.x * wy - e1.y * wx);
  if (c != 0.0 && u >= 0.0 && v >= 0.0 && u + v <= sign * c) return 0.0;
  return std::min({segmentDistance2(wx, wy, e1.x, e1.y), segmentDistance2(wx, wy, e2.x, e2.y),
                   segmentDistance2(wx - e1.x, wy - e1.y, e2.x - e1.x, e2.y - e1.y)});
}

// True when the surface cannot reach height h (so its contact test would
// change nothing).  Only for the plain tool shapes without the taper cone.
// boxes: the surfaces' boxes and planes, or null.
template <bool kFacets>
inline bool surelyBelow(const ContactContext* ctx, int i, const Vec3d* start, const ToolShape* tool,
                        double h, const FacetBoxSet* boxes) {
  const SurfacePlane* planes = boxes != nullptr ? boxes->planes : nullptr;
  double ring, rc;
  switch (tool->type) {
    case kToolBall:
      ring = 0.0;
      rc = tool->radius;
      break;
    case kToolFlat:
      ring = tool->radius;
      rc = 0.0;
      break;
    case kToolTorus:
      ring = tool->radius - tool->cornerRadius;
      rc = tool->cornerRadius;
      break;
    default:
      return false;
  }
  if (ctx->taperOn) return false;
  double bound;
  if (planes != nullptr && planes[i].nz == planes[i].nz) {
    bound = planeBoundOf(planes[i], start->x, start->y, ring, rc);
    const double slack = kPlaneBoundSlack * (1.0 + std::fabs(bound));
    if (bound + slack < h) return true;
    if (!(rc > 0.0) || bound == HUGE_VAL) return false;
    // The lowered bound, with the slack of the bound and of its loss: from
    // the box, then, where that is not enough, from the triangle.
    const Vec3d& mn = boxes->minCorners[i];
    const Vec3d& mx = boxes->maxCorners[i];
    const double loss =
        planeBoundLoss(planes[i], start->x, start->y, ring, rc,
                       [&](double qx, double qy) { return planDistance2(qx, qy, mn, mx); });
    if (bound + slack + kPlaneBoundSlack * loss < h + loss) return true;
    if (boxes->trianglePlanes == nullptr) return false;
    const TrianglePlane& t = boxes->trianglePlanes[i];
    const double ax = planes[i].ax, ay = planes[i].ay;
    const double near = planeBoundLoss(
        planes[i], start->x, start->y, ring, rc,
        [&](double qx, double qy) { return triangleDistance2(ax, ay, t.e1, t.e2, qx, qy); });
    return bound + slack + kPlaneBoundSlack * near < h + near;
  } else if constexpr (kFacets) {
    const Vec3d* v = ctx->facets[i].v;
    bound = planeBound(v[0], v[1], v[2], start->x, start->y, ring, rc);
    if (!facetOneTriangle(v)) {
      bound = std::max(bound, planeBound(v[0], v[2], v[3], start->x, start->y, ring, rc));
    }
  } else {
    const Vec3d* v = ctx->triangles->items[i].v;
    bound = planeBound(v[0], v[1], v[2], start->x, start->y, ring, rc);
  }
  return bound + kPlaneBoundSlack * (1.0 + std::fabs(bound)) < h;
}

// True when a surface with box [mn, mx] surely cannot reach height h: its box
// lies beyond the radius in plan, or its bound lies below h by more than any
// rounding of a contact's height.  Such a surface changes nothing in a walk.
inline bool boxBelow(const ToolShape* tool, const Vec3d& mn, const Vec3d& mx, const DropPoint& p,
                     double h) {
  const double dx = p.x < mn.x ? mn.x - p.x : (p.x > mx.x ? p.x - mx.x : 0.0);
  const double dy = p.y < mn.y ? mn.y - p.y : (p.y > mx.y ? p.y - mx.y : 0.0);
  const double d2 = dx * dx + dy * dy;
  const double r = tool->radius;
  if (d2 > r * r * (1.0 + kBoxBelowSlack)) return true;
  double bound;
  if (!boundAtDistance(tool, mx.z, std::min(d2, r * r), &bound)) return false;
  return bound + kBoxBelowSlack * (1.0 + std::fabs(bound)) < h;
}

// The contact test of surface i of the context's facets or triangles; from
// the planes of the selection's grid (when boxes holds them) for a surface of
// one triangle and a plain tool without the cone.
template <bool kFacets>
inline int surfaceContact(const ContactContext* ctx, int i, const Vec3d* start,
                          const ToolShape* tool, double* height, Vec3d* contact, int* kind,
                          const FacetBoxSet* boxes) {
  if (boxes != nullptr && boxes->trianglePlanes != nullptr && !ctx->taperOn &&
      boxes->planes[i].nz == boxes->planes[i].nz &&
      (tool->type == kToolBall || tool->type == kToolFlat || tool->type == kToolTorus)) {
    const Vec3d* v = kFacets ? ctx->facets[i].v : ctx->triangles->items[i].v;
    return contactTriangleShapePlain(v, boxes->trianglePlanes[i], start, tool, kFacets, height,
                                     contact, kind);
  }
  if constexpr (kFacets) {
    return contactFacetShape(ctx, &ctx->facets[i], start, tool, height, contact, kind);
  } else {
    return contactTriangleShape(ctx, &ctx->triangles->items[i].v[0].x, start, tool, height, contact,
                                kind);
  }
}

// One surface of a walk: the contact test (skipped when the surface surely
// lies below the height), then the bookkeeping of touched and face contacts.
// Returns the contact's result.
template <bool kFacets>
inline int walkOne(const ContactContext* ctx, int i, const Vec3d* start, const ToolShape* tool,
                   Vec3d* position, Vec3d* contact, int* kind, int* touched, int* faceFound,
                   const FacetBoxSet* boxes = nullptr) {
  if (surelyBelow<kFacets>(ctx, i, start, tool, position->z, boxes)) {
    return 0;
  }
  const int r = surfaceContact<kFacets>(ctx, i, start, tool, &position->z, contact, kind, boxes);
  if (r <= 0) return r;
  if (r == 2 && inZRange(ctx, position->z)) *faceFound = 1;
  *touched = 1;
  return r;
}

// The full walk of either engine.  Facets stop before the box test, triangles
// after it; both orders give the same result because the surfaces come in
// descending top z.  With stopAt >= 0 the walk also ends after surface
// stopAt, or as soon as a face contact was found (a partial walk, see
// scanBallFullOrdered).
template <bool kFacets>
int scanAll(const ContactContext* ctx, const FacetBoxSet* boxes, Vec3d* position, double startZ,
            const ToolShape* tool, const int* indices, int count, Vec3d* contact, int* kind,
            int stopAt = -1) {
  const double R = boxReach(ctx, tool);
  const DropPoint p = dropPointOf(position);
  const Vec3d start{position->x, position->y, startZ};
  const bool haveBoxes = boxes->maxCorners != nullptr && boxes->minCorners != nullptr;
  double l = lowestReach(tool, position->z);
  // Plain shapes without the cone: the box alone often shows that a surface
  // cannot reach the height, before its vertices are loaded.
  const bool boxBound =
      haveBoxes && !ctx->taperOn &&
      (tool->type == kToolBall || tool->type == kToolFlat || tool->type == kToolTorus);
  int touched = 0;
  int faceFound = 0;
  for (int k = 0; k < count; ++k) {
    const int i = indices != nullptr ? indices[k] : k;
    if (haveBoxes) {
      if (l > boxes->maxCorners[i].z) break;
      if (boxRejects(boxes, i, p, R)) continue;
      if (boxBound && boxBelow(tool, boxes->minCorners[i], boxes->maxCorners[i], p, position->z)) {
        continue;
      }
    }
    if (walkOne<kFacets>(ctx, i, &start, tool, position, contact, kind, &touched, &faceFound,
                         boxes) > 0) {
      l = lowestReach(tool, position->z);
    }
    if (stopAt >= 0 && (i == stopAt || faceFound)) break;
  }
  if (!kFacets && !touched && tool->type == kToolConeFrustum) return 0;
  return finishWalk(ctx, tool, position, touched, faceFound, contact);
}

template <bool kFacets>
int scanList(const ContactContext* ctx, const CandidateList* list, Vec3d* position, double startZ,
             const ToolShape* tool, Vec3d* contact, int* kind) {
  const Vec3d start{position->x, position->y, startZ};
  int touched = 0;
  int faceFound = 0;
  for (int k = 0; k < list->count; ++k) {
    const CandidateEntry& e = list->entries[k];
    if (e.bound < position->z) break;
    walkOne<kFacets>(ctx, e.index, &start, tool, position, contact, kind, &touched, &faceFound);
  }
  return finishWalk(ctx, tool, position, touched, faceFound, contact);
}

// The contact of surface i alone, offered *h (raised when the tool reaches
// higher): the contact's result.  Writes nothing of the walk.
template <bool kFacets>
int probeContact(const ContactContext* ctx, int i, const Vec3d* start, const ToolShape* tool,
                 double* h, const FacetBoxSet* boxes) {
  Vec3d contact;
  int kind = 0;
  return surfaceContact<kFacets>(ctx, i, start, tool, h, &contact, &kind, boxes);
}

// ---- Level surfaces -------------------------------------------------------------

// Slack of the face test below, relative to the barycentric coordinates and
// to the axis' distance from the triangle in edge lengths: far above the
// rounding of either computation on the well-shaped triangles it accepts.
constexpr double kLevelFaceSlack = 1e-5;

// True when a flat tool whose axis passes through (px, py) surely cannot
// find the face case on the level triangle a, b, c: the triangle is well
// shaped and the axis lies clearly outside the region that the contact's
// barycentric face test accepts (with its slack).  False when in doubt
// (also for slivers, degenerate triangles and non-finite input).
// The test from the first vertex (ax, ay) and the plan parts of the edges
// e1 = b - a and e2 = c - a.
inline bool levelFaceExcludedFrom(double ax, double ay, double e1x, double e1y, double e2x,
                                  double e2y, double px, double py) {
  if (!levelShapeGood(e1x, e1y, e2x, e2y)) return false;
  const double wx = px - ax, wy = py - ay;
  const double cz = e1x * e2y - e1y * e2x;
  const double l2 = std::max(e1x * e1x + e1y * e1y, e2x * e2x + e2y * e2y);
  // The coordinates u = U / cz (along e1) and v = V / cz (along e2) are
  // compared times |cz| (no division).  The slack is kLevelFaceSlack times
  // 2 |cz| + |U| + |V| + l2 + |w|^2, at least |cz| (1 + |u| + |v| + the
  // axis' distance from a in edge lengths), as |cz| <= l2.
  const double sign = cz > 0.0 ? 1.0 : -1.0;
  const double C = sign * cz;
  const double U = sign * (wx * e2y - wy * e2x);
  const double V = sign * (e1x * wy - e1y * wx);
  const double tol =
      kLevelFaceSlack * (2.0 * C + std::fabs(U) + std::fabs(V) + l2 + wx * wx + wy * wy);
  return U < -tol || U > C + tol || V < kContactFlatBaryLow * C - tol ||
         V > kContactFlatBaryHigh * C + tol || U + V > kContactFlatBaryHigh * C + tol;
}

bool levelFaceExcluded(const Vec3d& a, const Vec3d& b, const Vec3d& c, double px, double py) {
  return levelFaceExcludedFrom(a.x, a.y, b.x - a.x, b.y - a.y, c.x - a.x, c.y - a.y, px, py);
}

// True when surface i lies level at exactly z (every vertex) and a flat tool
// (or the flat disk of a torus) at (px, py) can touch it only on its edges:
// then its contact, if any, lies at exactly z with result 1, whatever height
// it is offered from up to z.  The grid's shape flags settle most surfaces
// by their boxes.
template <bool kFacets>
bool levelEdgeOnly(const ContactContext* ctx, const FacetBoxSet* boxes, int i, double z, double px,
                   double py) {
  if (!(boxes->minCorners[i].z == z)) return false;
  if (boxes->levelShapes != nullptr && boxes->levelShapes[i] != 0 &&
      levelBoxCleared(boxes->minCorners[i], boxes->maxCorners[i], px, py)) {
    return true;
  }
  // A surface of one triangle from the planes, without its vertices.
  if (boxes->trianglePlanes != nullptr && boxes->planes[i].nz == boxes->planes[i].nz) {
    const TrianglePlane& t = boxes->trianglePlanes[i];
    return levelFaceExcludedFrom(boxes->planes[i].ax, boxes->planes[i].ay, t.e1.x, t.e1.y, t.e2.x,
                                 t.e2.y, px, py);
  }
  if constexpr (kFacets) {
    const Vec3d* v = ctx->facets[i].v;
    if (!levelFaceExcluded(v[0], v[1], v[2], px, py)) return false;
    if (facetOneTriangle(v)) return true;
    return levelFaceExcluded(v[0], v[2], v[3], px, py);
  } else {
    const Vec3d* v = ctx->triangles->items[i].v;
    return levelFaceExcluded(v[0], v[1], v[2], px, py);
  }
}

// True when surface i lies level at a height B whose bound for a tool with
// corner radius rc is T (B + rc == T) and the tool's flat disk at (px, py)
// meets it only on its edges (levelEdgeOnly): then it reaches at most T,
// never with a face.
template <bool kFacets>
bool levelEdgeOnlyAt(const ContactContext* ctx, const FacetBoxSet* boxes, int i, double T,
                     double rc, double px, double py) {
  const double B = boxes->maxCorners[i].z;
  return B + rc == T && levelEdgeOnly<kFacets>(ctx, boxes, i, B, px, py);
}

// The surface that decided a thread's last candidate walk.
struct WalkMemo {
  const void* surfaces = nullptr;
  int index = -1;
  // That surface when it is one of surfaces and lies in the (ascending)
  // index list, else -1.
  int within(const void* walked, const int* indices, int count) const {
    const bool listed = surfaces == walked && std::binary_search(indices, indices + count, index);
    return listed ? index : -1;
  }
};

// The surfaces a walk over the context's facets or triangles runs on: the
// key of the memo.
template <bool kFacets>
const void* walkSurfaces(const ContactContext* ctx) {
  if constexpr (kFacets) {
    return ctx->facets;
  } else {
    return ctx->triangles;
  }
}

// True when surface i is one triangle: every triangle, and a facet whose
// fourth vertex repeats its third.
template <bool kFacets>
bool surfaceOneTriangle(const ContactContext* ctx, int i) {
  return !kFacets || facetOneTriangle(ctx->facets[i].v);
}

WalkMemo& walkMemo() {
  thread_local WalkMemo memo;
  return memo;
}

// Largest lift of a bound over a surface's max z (at distance 0), and the
// slack that keeps rounding out of the order decisions below.
double boundLiftMax(const ToolShape* tool) {
  switch (tool->type) {
    case kToolBall:
      return std::max(tool->radius, std::sqrt(tool->radius * tool->radius));
    case kToolTorus:
      return std::max(tool->cornerRadius, std::sqrt(tool->cornerRadius * tool->cornerRadius));
    default:
      return 0.0;
  }
}
constexpr double kBoundSlack = 1e-9;
// Surfaces fetched ahead of the one collected.
constexpr int kPrefetchAhead = 12;

// A limit of the bounds of the surfaces from list position k on: the key
// there (keys of the grid's order), else the max z there (the list ascends,
// the surfaces are stored by descending top z) plus the largest lift, each
// with the bound slack.
inline double boundLimitFrom(const FacetBoxSet* boxes, const int* indices, const float* keys, int k,
                             double lift) {
  if (keys != nullptr) {
    const double m = keys[k];
    return m + kBoundSlack * (1.0 + std::fabs(m));
  }
  const double m = boxes->maxCorners[indices[k]].z;
  return m + lift + kBoundSlack * (1.0 + std::fabs(m));
}

// The end of the candidate walk of a ball or torus: its height, and the
// surface that decides it (-1 when the height is only known as a contact on
// the way, a floor of the end) with that contact's point and kind.
struct KnownWalkEnd {
  double height;
  int winner;
  Vec3d contact;
  int kind;
};

// The candidate walk of a short index list (at most one list of candidates,
// so it cannot overflow) in the order of a sorted list, without collecting
// surfaces that cannot be reached.  The index list ascends and the surfaces
// are stored by descending top z, so every surface not yet collected has a
// bound of at most M + lift, M the max z of the next surface of the list.
// An entry of the heap whose bound exceeds that comes before every surface
// not yet collected and is walked at once; once M + lift lies below the
// height reached, no surface left can raise it (or tie it) and collecting
// stops.  The visiting order and the stop are exactly those of the sorted
// list.
//
// With order and keys (the grid's order of the same cell for this tool, see
// modelGridOrderForTool), surfaces are collected by descending key instead:
// every surface not yet collected has a bound of at most the next key, which
// then takes the place of M + lift.  Surfaces far from the axis come late, so
// collecting stops much earlier; the visiting order is the same.
//
// known, when given, comes from the search of a ball or torus that ran before
// (see scanByHighestContact): its height, lowered by the bound slack, takes the
// place of the probes as the floor, and with its winner the walk ends with it
// as soon as the winner or a face contact within the z range has stored.
template <bool kFacets>
int scanCandidatesMerged(const ContactContext* ctx, const FacetBoxSet* boxes, Vec3d* position,
                         double startZ, const ToolShape* tool, const int* indices, int count,
                         const int32_t* order, const float* keys, CandidateEntry* e, Vec3d* contact,
                         int* kind, const KnownWalkEnd* known = nullptr) {
  const int* const collectOrder = order != nullptr ? order : indices;
  const Vec3d start{position->x, position->y, startZ};
  const DropPoint p = dropPointOf(position);
  const double R = tool->radius;
  const double lift = boundLiftMax(tool);
  const bool shaped =
      tool->type == kToolBall || tool->type == kToolFlat || tool->type == kToolTorus;
  int touched = 0;
  int faceFound = 0;
  int n = 0;
  int k = shaped ? 0 : count;
  // Entries below floorH are never walked (see the probes below).
  double floorH = position->z;
  bool probed = known != nullptr;
  if (known != nullptr) {
    floorH = std::max(floorH, known->height - kBoundSlack * (1.0 + std::fabs(known->height)));
  }
  // Drops of one thread follow each other closely (grid rows, curve
  // samples): the surface that decided the last drop usually touches here
  // too.  Any reachable surface of the list gives a lower bound of the
  // final height (the walk reaches it, or stops at a height above its bound).
  const void* surfaces = walkSurfaces<kFacets>(ctx);
  WalkMemo& memo = walkMemo();
  const int remembered = probed ? -1 : memo.within(surfaces, indices, count);
  if (remembered >= 0) {
    const int i = remembered;
    double bound;
    if (!boxRejects(boxes, i, p, R) &&
        candidateBound(tool, boxes->minCorners[i], boxes->maxCorners[i], p, &bound)) {
      double h = position->z;
      probeContact<kFacets>(ctx, i, &start, tool, &h, boxes);
      floorH = std::max(floorH, h - kBoundSlack * (1.0 + std::fabs(h)));
    }
  }
  int decided = -1;
  const auto walk = [&](int i) {
    if (walkOne<kFacets>(ctx, i, &start, tool, position, contact, kind, &touched, &faceFound,
                         boxes) > 0) {
      decided = i;
    }
  };
  // The known end, once the winner stored (nothing after it stores) or a
  // face contact within range was met on the way.
  const auto settled = [&]() {
    return known != nullptr && known->winner >= 0 && (faceFound || decided == known->winner);
  };
  const auto settle = [&]() {
    memo = {surfaces, known->winner};
    if (decided == known->winner) {
      return finishWalk(ctx, tool, position, touched, faceFound, contact);
    }
    position->z = known->height;
    *contact = known->contact;
    *kind = known->kind;
    return kContactFace;
  };
  // Torus runs.  Surfaces that lie level at one height B within the ring of
  // the axis share the bound T = B + rc, and each one the flat inner disk
  // reaches ties the height (torus contacts store on equal heights).  A
  // level surface that cannot give the face case reaches at most T (its
  // edges and vertices under the disk exactly T, under the corner less), so
  // between two other surfaces of the run, such surfaces only matter through
  // the last one that reaches T: the walk looks for it from the end, without
  // changing anything, and walks only that one.  When none of them reaches
  // T, they are walked in their order.  Every other surface of the run is
  // walked in its turn, and the run ends where the height passes T, as the
  // sorted walk stops there.
  const bool torusRuns = tool->type == kToolTorus;
  const double rc = tool->cornerRadius;
  const auto reachesExactly = [&](int i, double T) {
    double h = position->z;
    return probeContact<kFacets>(ctx, i, &start, tool, &h, boxes) > 0 && h == T;
  };
  // Pops the top entry and walks it, or, for a torus, the run of entries tied
  // with it.  Popped entries stay behind the heap: member t of a run of m
  // lies at e[n + m - 1 - t].
  const auto walkTop = [&]() {
    const double T = e[0].bound;
    const int top = n;
    std::pop_heap(e, e + n, CandidateAfter());
    --n;
    while (torusRuns && n > 0 && e[0].bound == T) {
      std::pop_heap(e, e + n, CandidateAfter());
      --n;
    }
    const int m = top - n;
    const auto member = [&](int t) { return e[top - 1 - t].index; };
    if (m == 1) {
      walk(member(0));
      return;
    }
    const auto walkLastReachingT = [&](int from, int to) {
      if (from >= to || position->z > T) return;
      for (int t = to - 1; t >= from; --t) {
        if (reachesExactly(member(t), T)) {
          walk(member(t));
          return;
        }
      }
      for (int t = from; t < to; ++t) walk(member(t));
    };
    int pending = 0;
    for (int t = 0; t < m; ++t) {
      const int i = member(t);
      if (levelEdgeOnlyAt<kFacets>(ctx, boxes, i, T, rc, p.x, p.y)) continue;
      walkLastReachingT(pending, t);
      if (T < position->z) return;
      walk(i);
      pending = t + 1;
    }
    walkLastReachingT(pending, m);
  };
  for (;;) {
    const double limit = k < count ? boundLimitFrom(boxes, indices, keys, k, lift) : -HUGE_VAL;
    // Walk every entry that precedes all surfaces not yet collected.
    while (n > 0 && e[0].bound > limit) {
      if (e[0].bound < position->z) {
        if (decided >= 0) memo = {surfaces, decided};
        return finishWalk(ctx, tool, position, touched, faceFound, contact);
      }
      walkTop();
      if (settled()) return settle();
    }
    if (k >= count || limit < std::max(position->z, floorH)) break;
    // The surfaces of a cell lie scattered through the corner arrays (they
    // are stored by height): fetch a few ahead so the misses overlap.
    if (k + kPrefetchAhead < count) {
      const int ahead = collectOrder[k + kPrefetchAhead];
      __builtin_prefetch(&boxes->maxCorners[ahead]);
      __builtin_prefetch(&boxes->minCorners[ahead]);
    }
    const int i = collectOrder[k++];
    const Vec3d& mx = boxes->maxCorners[i];
    double bound;
    if (!boundReaches(boxes, i, tool, p, lift, floorH, &bound)) continue;
    const Vec3d& mn = boxes->minCorners[i];
    if (!probed && mn.x <= p.x && p.x <= mx.x && mn.y <= p.y && p.y <= mx.y) {
      // The height on a surface under the axis is a lower bound of the final
      // height, found out of turn: a surface whose bound lies below it comes
      // after that surface in the walk, when the height is already at least
      // that high, so the walk would stop before it.
      // The slack: a contact's height may exceed its surface's bound by a
      // rounding, and the surface itself must stay above the floor.
      probed = true;
      double h = position->z;
      probeContact<kFacets>(ctx, i, &start, tool, &h, boxes);
      floorH = std::max(floorH, h - kBoundSlack * (1.0 + std::fabs(h)));
      if (bound < floorH) continue;
    }
    e[n++] = {i, bound};
    std::push_heap(e, e + n, CandidateAfter());
    // Most collected surfaces are tested soon: start loading their vertices.
    if constexpr (kFacets) {
      __builtin_prefetch(&ctx->facets[i]);
      __builtin_prefetch(reinterpret_cast<const char*>(&ctx->facets[i]) + 64);
    } else {
      __builtin_prefetch(&ctx->triangles->items[i]);
      __builtin_prefetch(reinterpret_cast<const char*>(&ctx->triangles->items[i]) + 64);
    }
  }
  // Nothing left to collect can reach the height: the rest of the heap in order.
  while (n > 0 && !(e[0].bound < position->z)) {
    walkTop();
    if (settled()) return settle();
  }
  if (decided >= 0) memo = {surfaces, decided};
  return finishWalk(ctx, tool, position, touched, faceFound, contact);
}

// ---- Balls and tori: the candidate walk settled by its highest contact --------

// The candidate walk of a ball or torus without the cone, most often without
// walking it.  The contact of such a tool on a surface does not depend on the
// height offered (as long as the tool reaches it), so the walk ends at the
// highest contact H of the surfaces it reaches, on its winner W: of the
// surfaces that reach H, the first in the walk's order (bound, then index)
// for a ball, which stores only higher contacts, the last for a torus, which
// stores equal ones too.  When W's bound is at least H, the walk reaches W and
// every surface after it has a bound below H or stores nothing new: the
// surfaces whose bound lies below H may be left out.  The result is a face
// when one of the walk's stores was a face contact within the z range, and W
// stores last: a face of W within the range settles it (for a facet of one
// triangle, whose result does not depend on the height offered).  So the
// surfaces are offered by descending key, each tested only while its bound and
// plane may reach the best height so far (no heap; the surface that decided
// the thread's last drop is offered first, and the best soon lies near H).
// Faces are stored only on surfaces before W in the walk's order, so when
// the face case holds on none of those the result is settled as 1.
// Otherwise the walk runs, from H lowered by the bound slack as its floor,
// and when W is known it ends as soon as W stored (no surface after it
// stores) or a face contact within the range was stored on the way: its
// height, contact and result are settled then.
//
// A torus stores every surface that reaches H (the walk reaches each one
// whose bound is at least H while its height is at most H), so a face
// contact at exactly H within the range, on such a surface of one triangle,
// settles the result as well.  Level runs: many surfaces lying level at one
// height B share the bound T = B + rc and tie there.  One that cannot give
// the face case (levelEdgeOnly) reaches at most T, never with a face, so of
// those only the last in the walk's order that reaches T can be W: they
// wait until the scan is over, and if the best is then T, the others are
// offered and these are tried from the highest index down until one reaches
// T.
template <bool kFacets>
int scanByHighestContact(const ContactContext* ctx, const FacetBoxSet* boxes, Vec3d* position,
                         double startZ, const ToolShape* tool, const int* indices, int count,
                         const int32_t* order, const float* keys, CandidateEntry* e, Vec3d* contact,
                         int* kind) {
  const int* const visitOrder = order != nullptr ? order : indices;
  const Vec3d start{position->x, position->y, startZ};
  const DropPoint p = dropPointOf(position);
  const double lift = boundLiftMax(tool);
  const double z0 = position->z;
  double best = z0;
  int winner = -1;
  double winnerBound = 0.0;
  int winnerResult = 0;
  int winnerKind = 0;
  Vec3d winnerContact{0.0, 0.0, 0.0};
  // A torus stores on equal heights: the last surface that reaches H wins,
  // and a face of one triangle that reaches it (with its bound) settles the
  // result.
  const bool lastTieWins = tool->type == kToolTorus;
  bool faceAtBest = false;
  // Surface i, reachable with the given bound, offered the best (a ball just
  // below it once there is a winner, so that a tie reports itself).  True
  // when it reaches the best.
  const auto offer = [&](int i, double bound) {
    if (surelyBelow<kFacets>(ctx, i, &start, tool, best, boxes)) return false;
    double h = winner >= 0 && !lastTieWins ? std::nextafter(best, -HUGE_VAL) : best;
    Vec3d at;
    int k = 0;
    const int r = surfaceContact<kFacets>(ctx, i, &start, tool, &h, &at, &k, boxes);
    if (r <= 0 || h < best) return false;
    if (lastTieWins) {
      const bool face = r == kContactFace && bound >= h && surfaceOneTriangle<kFacets>(ctx, i);
      faceAtBest = (h == best && faceAtBest) || face;
    }
    if (h == best && winner >= 0) {
      const CandidateEntry was{winner, winnerBound};
      const CandidateEntry now{i, bound};
      if (lastTieWins ? CandidateAfter()(was, now) : CandidateAfter()(now, was)) return true;
    }
    best = h;
    winner = i;
    winnerBound = bound;
    winnerResult = r;
    winnerKind = k;
    winnerContact = at;
    return true;
  };
  const void* surfaces = walkSurfaces<kFacets>(ctx);
  WalkMemo& memo = walkMemo();
  // Level surfaces that tie a torus' best wait in tie, each at most once.
  CandidateEntry* const tie = tieScratch().data();
  int ties = 0;
  const auto levelTie = [&](int i, double bound) {
    if (!(lastTieWins && winner >= 0 && bound == best &&
          boxes->minCorners[i].z == boxes->maxCorners[i].z)) {
      return false;
    }
    tie[ties++] = {i, bound};
    return true;
  };
  // Surfaces whose box holds the axis are offered at once: they soon raise
  // the best near the end.  The others wait in e and are offered after the
  // scan, if still above the best.  Every surface kept is reachable, and the
  // search runs only on cells that reach at most kContactCandidateCapacity,
  // so e and tie have room.
  int deferred = 0;
  const int offeredFirst = memo.within(surfaces, indices, count);
  double firstBound;
  if (offeredFirst >= 0 && boundReaches(boxes, offeredFirst, tool, p, lift, best, &firstBound)) {
    offer(offeredFirst, firstBound);
  }
  for (int k = 0; k < count; ++k) {
    if (boundLimitFrom(boxes, indices, keys, k, lift) < best) break;
    if (k + kPrefetchAhead < count) {
      const int ahead = visitOrder[k + kPrefetchAhead];
      __builtin_prefetch(&boxes->maxCorners[ahead]);
      __builtin_prefetch(&boxes->minCorners[ahead]);
    }
    const int i = visitOrder[k];
    if (i == offeredFirst) continue;
    double bound;
    if (!boundReaches(boxes, i, tool, p, lift, best, &bound)) continue;
    if (levelTie(i, bound)) continue;
    const Vec3d& mn = boxes->minCorners[i];
    const Vec3d& mx = boxes->maxCorners[i];
    if (mn.x <= p.x && p.x <= mx.x && mn.y <= p.y && p.y <= mx.y) {
      offer(i, bound);
    } else {
      e[deferred++] = {i, bound};
      // Its plane is read when it is offered, after the scan.
      if (boxes->planes != nullptr) __builtin_prefetch(&boxes->planes[i]);
    }
  }
  for (int t = 0; t < deferred; ++t) {
    if (e[t].bound < best || levelTie(e[t].index, e[t].bound)) continue;
    offer(e[t].index, e[t].bound);
  }
  if (ties > 0) {
    // The ties still at the best: the others are offered, the edge-only ones
    // (moved to the front) tried from the highest index down.
    const double T = best;
    int edgeOnly = 0;
    for (int t = 0; t < ties; ++t) {
      const CandidateEntry c = tie[t];
      if (c.bound != T) continue;
      if (levelEdgeOnlyAt<kFacets>(ctx, boxes, c.index, T, tool->cornerRadius, p.x, p.y)) {
        tie[edgeOnly++] = c;
      } else {
        offer(c.index, c.bound);
      }
    }
    if (best == T) {
      std::sort(tie, tie + edgeOnly,
                [](const CandidateEntry& a, const CandidateEntry& b) { return a.index > b.index; });
      for (int t = 0; t < edgeOnly; ++t) {
        // Surfaces of one bound before the winner in the walk's order: the
        // winner stays.
        if (winnerBound == T && tie[t].index < winner) break;
        if (offer(tie[t].index, tie[t].bound)) break;
      }
    }
  }
  if (winner < 0) return finishWalk(ctx, tool, position, 0, 0, contact);
  const bool endKnown = surfaceOneTriangle<kFacets>(ctx, winner) && winnerBound >= best;
  const auto settleAt = [&](int result) {
    memo = {surfaces, winner};
    position->z = best;
    *contact = winnerContact;
    *kind = winnerKind;
    return result;
  };
  if (endKnown && (winnerResult == kContactFace || faceAtBest) && inZRange(ctx, best)) {
    return settleAt(kContactFace);
  }
  // The walk stores a face only on a surface before W in its order (bound,
  // then index), and only where the face case holds: when it holds on none
  // of them, the walk ends at H on W with result 1.  Every such surface has
  // a bound of at least W's, so the scan met it.
  const auto faceCaseBeforeWinner = [&]() {
    if (boxes->planes == nullptr || boxes->trianglePlanes == nullptr) return true;
    const double ring = tool->radius - tool->cornerRadius;
    for (int k = 0; k < count; ++k) {
      if (boundLimitFrom(boxes, indices, keys, k, lift) < winnerBound) break;
      const int i = visitOrder[k];
      double bound;
      if (i == winner || !boundReaches(boxes, i, tool, p, lift, winnerBound, &bound)) continue;
      if (bound == winnerBound && i > winner) continue;
      const SurfacePlane& pl = boxes->planes[i];
      if (!(pl.nz == pl.nz)) return true;
      const Vec3d v0{pl.ax, pl.ay, pl.az};
      const TrianglePlane& tp = boxes->trianglePlanes[i];
      double faceHeight;
      if (lastTieWins ? contactTorusFaceCase(&v0, tp, &start, ring, tool->cornerRadius)
                      : contactBallFaceDecides(&v0, tp, &start, tool->radius, &faceHeight)) {
        return true;
      }
    }
    return false;
  };
  if (endKnown && !faceCaseBeforeWinner()) return settleAt(kContactEdge);
  const KnownWalkEnd end{best, endKnown ? winner : -1, winnerContact, winnerKind};
  return scanCandidatesMerged<kFacets>(ctx, boxes, position, startZ, tool, indices, count, order,
                                       keys, e, contact, kind, &end);
}

// ---- Flat tools: the candidate walk in index order -----------------------------

// The candidate walk of a flat tool.  Its bound is a surface's max z, and
// surfaces are stored by descending max z, so the sorted order of the
// candidates (bound, then index) is the index order: the walk follows the
// index list and stops at the first surface below the height.
//
// Level runs.  On a level plate many surfaces share one max z = B, and each
// one that the tool reaches ties the height and is stored (flat contacts
// store on equal heights): the last one decides the contact and the kind.
// A surface that lies level at B and cannot give the face case touches at
// exactly B with result 1 or not at all, whatever the height it meets (up to
// B).  Between two other surfaces of the run, such surfaces only matter
// through the last one that touches: the walk looks for it from the end and
// skips the rest.  Every other surface of the run is walked in its turn, so
// the height, contact, kind, result and face flag are those of the plain
// walk.
//
// marks, when given, are the grid's marks of the list (modelGridLevelSlots):
// a surface marked level-clear with the same top as the one before it lies
// in the run and is edge-only from anywhere in the cell, so it is passed
// over without loading its box.
template <bool kFacets>
int scanFlatInOrder(const ContactContext* ctx, const FacetBoxSet* boxes, Vec3d* position,
                    double startZ, const ToolShape* tool, const int* indices, int count,
                    const uint8_t* marks, Vec3d* contact, int* kind) {
  constexpr uint8_t kEdgeOnlyInRun = kGridSlotLevelClear | kGridSlotSameTop;
  const Vec3d start{position->x, position->y, startZ};
  const DropPoint p = dropPointOf(position);
  const double R = tool->radius;
  int touched = 0;
  int faceFound = 0;
  const auto reachable = [&](int i) {
    double bound;
    return !boxRejects(boxes, i, p, R) &&
           candidateBound(tool, boxes->minCorners[i], boxes->maxCorners[i], p, &bound);
  };
  // The edge-only surfaces of the run at list positions [from, to): the last
  // that touches is walked (when the height has not passed B).
  const auto walkLastTouching = [&](int from, int to, double B) {
    if (position->z > B) return;
    for (int k = to - 1; k >= from; --k) {
      const int i = indices[k];
      if (!reachable(i)) continue;
      if (walkOne<kFacets>(ctx, i, &start, tool, position, contact, kind, &touched, &faceFound,
                           boxes) > 0) {
        return;
      }
    }
  };
  int k = 0;
  while (k < count) {
    const int i = indices[k];
    const double B = boxes->maxCorners[i].z;
    if (B < position->z) break;
    if (!(boxes->minCorners[i].z == B)) {
      if (reachable(i)) {
        walkOne<kFacets>(ctx, i, &start, tool, position, contact, kind, &touched, &faceFound,
                         boxes);
      }
      ++k;
      continue;
    }
    // A run of surfaces with max z B; edge-only surfaces wait in [pending, k).
    const int run = k;
    int pending = k;
    while (k < count) {
      if (k > run && marks != nullptr && marks[k] == kEdgeOnlyInRun) {
        ++k;
        continue;
      }
      const int j = indices[k];
      if (!(boxes->maxCorners[j].z == B)) break;
      if (!reachable(j) || levelEdgeOnly<kFacets>(ctx, boxes, j, B, p.x, p.y)) {
        ++k;
        continue;
      }
      walkLastTouching(pending, k, B);
      // A face contact a rounding above B ends the walk here, as the sorted
      // walk stops at the first bound below the height.
      if (B < position->z) return finishWalk(ctx, tool, position, touched, faceFound, contact);
      walkOne<kFacets>(ctx, j, &start, tool, position, contact, kind, &touched, &faceFound, boxes);
      pending = ++k;
    }
    walkLastTouching(pending, k, B);
  }
  return finishWalk(ctx, tool, position, touched, faceFound, contact);
}

// The grid counts the reach of the cells that straddle the list's size finer.
static_assert(kModelGridReachSplit == kContactCandidateCapacity);

// What the grid holds for the cell whose items a drop walks: its order for
// the drop's tool (the items by descending key with their keys, null
// without), bounds of the number of items the tool reaches
// (modelGridOrderReach; -1 when unknown), the planes and level shape flags
// of the grid's items (or null), and the marks of the order's slots for a
// flat tool (modelGridLevelSlots, or null).
struct CellOrder {
  const int32_t* items;
  const float* keys;
  int sure;
  int maybe;
  const SurfacePlane* planes;
  const TrianglePlane* trianglePlanes;
  const uint8_t* levelShapes;
  const uint8_t* slotMarks;
};

// The candidate walk on the per-thread scratch: the same visiting order as a
// sorted list, but the order is produced lazily by a heap, so a walk that
// stops after a few candidates does not pay for sorting all of them.
// Returns -3 when the candidates overflow the list (the caller walks all).
// cell: the grid's order of the cell indices, or null.
template <bool kFacets>
int scanCandidatesLazy(const ContactContext* ctx, const FacetBoxSet* boxes, Vec3d* position,
                       double startZ, const ToolShape* tool, const int* indices, int count,
                       const CellOrder* cell, Vec3d* contact, int* kind) {
  const int32_t* order = cell != nullptr ? cell->items : nullptr;
  const float* keys = cell != nullptr ? cell->keys : nullptr;
  if (indices != nullptr && count <= kContactCandidateCapacity && tool->type == kToolFlat) {
    // The grid's order for a flat tool: the items of the cell in their
    // order, those out of reach of the whole cell (last) left out.
    const int* list = order != nullptr ? order : indices;
    const int n =
        order != nullptr
            ? static_cast<int>(std::partition_point(keys, keys + count,
                                                    [](float k) { return k != -HUGE_VALF; }) -
                               keys)
            : count;
    const uint8_t* marks = order != nullptr ? cell->slotMarks : nullptr;
    return scanFlatInOrder<kFacets>(ctx, boxes, position, startZ, tool, list, n, marks, contact,
                                    kind);
  }
  CandidateEntry* e = candidateScratch().data();
  const bool roundTool = (tool->type == kToolBall || tool->type == kToolTorus) && !ctx->taperOn;
  if (indices != nullptr && count <= kContactCandidateCapacity) {
    if (roundTool) {
      return scanByHighestContact<kFacets>(ctx, boxes, position, startZ, tool, indices, count,
                                           order, keys, e, contact, kind);
    }
    return scanCandidatesMerged<kFacets>(ctx, boxes, position, startZ, tool, indices, count, order,
                                         keys, e, contact, kind);
  }
  // Cells too full for the list walk all their surfaces: find that out first
  // without the bounds, which only a list that fits needs.  The grid's counts
  // of the cell often settle it without looking at the surfaces.
  const bool known = indices != nullptr && cell != nullptr && cell->sure >= 0;
  if (known && cell->sure > kContactCandidateCapacity) return -3;
  if (!(known && cell->maybe <= kContactCandidateCapacity) &&
      reachableExceeds(boxes, kContactCandidateCapacity, indices, count, tool, position)) {
    return -3;
  }
  // Every surface the walk collects is reachable, so the list cannot
  // overflow: the walk led by the grid's order collects far fewer (a flat
  // tool's order keeps the items' own order, not that of its keys).
  if (indices != nullptr && keys != nullptr && tool->type != kToolFlat) {
    if (roundTool) {
      return scanByHighestContact<kFacets>(ctx, boxes, position, startZ, tool, indices, count,
                                           order, keys, e, contact, kind);
    }
    return scanCandidatesMerged<kFacets>(ctx, boxes, position, startZ, tool, indices, count, order,
                                         keys, e, contact, kind);
  }
  int lastPos = -1;
  int lastIndex = -1;
  int n = collectCandidates(boxes, e, kContactCandidateCapacity, indices, count, tool, position,
                            &lastPos, &lastIndex);
  if (n < 0) return -3;
  const Vec3d start{position->x, position->y, startZ};
  int touched = 0;
  int faceFound = 0;
  std::make_heap(e, e + n, CandidateAfter());
  while (n > 0 && !(e[0].bound < position->z)) {
    const int i = e[0].index;
    std::pop_heap(e, e + n, CandidateAfter());
    --n;
    walkOne<kFacets>(ctx, i, &start, tool, position, contact, kind, &touched, &faceFound, boxes);
  }
  return finishWalk(ctx, tool, position, touched, faceFound, contact);
}

// Relative slack of the floor below.
constexpr double kVertexFloorSlack = 1e-9;

// A floor of the contact height of a ball at p on the triangle v: its highest
// vertex contact (of the vertices within the reach of the vertex case),
// lowered by a slack far above any rounding; minus infinity without such a
// vertex.  Every case of the triangle that stores reaches that high.
inline double ballVertexFloor(const Vec3d* v, const Vec3d* p, double r) {
  const double reach = r - kContactBallReachTol;
  double floor = -HUGE_VAL;
  for (int n = 0; n < 3; ++n) {
    const double dx = v[n].x - p->x;
    const double dy = v[n].y - p->y;
    const double g2 = dx * dx + dy * dy;
    if (reach < 0.0 || g2 > reach * reach) continue;
    floor = std::max(floor, v[n].z + std::sqrt(r * r - g2));
  }
  return floor - kVertexFloorSlack * (1.0 + std::fabs(floor));
}

// Whether the full walk of a ball in index order meets a face contact within
// the z range among the raises before surface winner (the one that reaches
// the walk's final height first), found without the contacts of most
// surfaces: a raise is a surface whose contact lies above the start height
// z0 and above every contact before it, and only a surface whose face case
// decides its contact (contactBallFaceDecides) can give a face contact.  So
// the walk tests those faces in index order and each one's rivals before
// it: `known` is the highest contact found so far (a surface whose bound
// lies below it can be no raise and no rival), and a surface that is not a
// face waits in a list until a face needs to know whether it reaches that
// face's height.  A face above known and every rival is a raise: within the
// z range it answers; else it becomes known (and nothing waiting can reach
// it any more).  known may also be a floor of the contact of a surface passed
// (its vertices).  1 when such a face is met, 0 when none, -1 when the answer
// needs the plain walk (a facet of two triangles, whose results depend on
// the height offered, or more waiting surfaces than the list holds).
//
// found (count of them, ascending by index) holds contacts known beforehand:
// each surface's exact contact height, which from the surface on is a floor
// of known.
// Kept out of line: the walks it leaves alone stay inlined into the engines.
template <bool kFacets>
[[gnu::noinline]] int faceRaiseBeforeWinner(const ContactContext* ctx, const FacetBoxSet* boxes,
                                            const Vec3d* start, const ToolShape* tool,
                                            const int* indices, int count, int winner, double z0,
                                            const CandidateEntry* found, int foundCount) {
  const SurfacePlane* planes = boxes->planes;
  const TrianglePlane* triangles = boxes->trianglePlanes;
  if (planes == nullptr || triangles == nullptr || !(planes[winner].nz == planes[winner].nz)) {
    return -1;
  }
  const DropPoint p = dropPointOf(start);
  const double R = tool->radius;
  const auto vertices = [&](int i) {
    if constexpr (kFacets) {
      return static_cast<const Vec3d*>(ctx->facets[i].v);
    } else {
      return static_cast<const Vec3d*>(ctx->triangles->items[i].v);
    }
  };
  // A surface surely below h: by its box or by its plane.
  const auto below = [&](int i, double h) {
    return boxBelow(tool, boxes->minCorners[i], boxes->maxCorners[i], p, h) ||
           surelyBelow<kFacets>(ctx, i, start, tool, h, boxes);
  };
  CandidateEntry* waiting = candidateScratch().data();
  int waitCount = 0;
  double known = z0;
  int next = 0;
  for (int k = 0; k < count; ++k) {
    const int i = indices[k];
    if (i >= winner) return 0;
    for (; next < foundCount && found[next].index < i; ++next) {
      known = std::max(known, found[next].bound);
    }
    if (lowestReach(tool, known) > boxes->maxCorners[i].z) return -1;
    if (boxRejects(boxes, i, p, R) || below(i, known)) continue;
    if (!(planes[i].nz == planes[i].nz)) return -1;
    const Vec3d* v = vertices(i);
    // The surface's vertices lift known at little cost (a surface whose bound
    // lies below the floor gives neither a raise nor a rival).
    known = std::max(known, ballVertexFloor(v, start, R));
    double h;
    if (!contactBallFaceDecides(v, triangles[i], start, R, &h)) {
      if (waitCount == kContactCandidateCapacity) return -1;
      waiting[waitCount++] = {i, 0.0};
      continue;
    }
    // known never lies below z0: a face at or below it is no raise.
    if (!(h > known)) continue;
    // A waiting surface that reaches h takes the raise from this face.
    Vec3d at;
    int kind = 0;
    bool beaten = false;
    for (int w = 0; w < waitCount && !beaten; ++w) {
      const int j = waiting[w].index;
      if (below(j, h)) continue;
      double hj = std::nextafter(h, -HUGE_VAL);
      if (contactTriangleShapePlain(vertices(j), triangles[j], start, tool, kFacets, &hj, &at,
                                    &kind) > 0) {
        known = hj;
        beaten = true;
      }
    }
    if (beaten) continue;
    if (inZRange(ctx, h)) return 1;
    known = h;
    waitCount = 0;
  }
  return 0;
}

// The full walk of a ball over a grid cell, led by the grid's order of the
// cell.  The full walk visits the surfaces in index order and a ball stores
// only strictly higher contacts, so its outcome is: the highest contact H of
// all surfaces; the contact of the first surface (lowest index) that reaches
// H; touched when H lies above the start; and the face flag, set when one of
// the raises on the way was a face contact within the z range.  The first
// two do not depend on the order: the surfaces are offered in key order,
// each only when its bound may reach the height found so far, and each
// reports its own contact (a ball's contact on one surface does not depend
// on the height offered, as long as it lies above it).  When the winner's
// own raise is a face contact within range (for a facet of one triangle,
// whose result does not depend on the height offered), the face flag is set
// whatever came before.  Otherwise faceRaiseBeforeWinner tells from the
// grid's planes whether a raise before the winner was a face contact within
// range; where it cannot, the walk in index order runs up to the winner
// (nothing after it can raise the height) or to the first face contact, and
// must arrive at the same height and contact; should it not, the complete
// walk runs from the start.
template <bool kFacets>
int scanBallFullOrdered(const ContactContext* ctx, const FacetBoxSet* boxes, Vec3d* position,
                        double startZ, const ToolShape* tool, const int* indices, int count,
                        const CellOrder* cell, Vec3d* contact, int* kind) {
  const Vec3d start{position->x, position->y, startZ};
  const DropPoint p = dropPointOf(position);
  const double R = tool->radius;
  const double z0 = position->z;
  double best = z0;
  int winner = -1;
  int winnerResult = 0;
  int winnerKind = 0;
  Vec3d winnerContact{0.0, 0.0, 0.0};
  // The contacts found on the way (height as the bound), for the walk in
  // index order.
  constexpr int kFoundMax = 256;
  thread_local std::vector<CandidateEntry> foundScratch(kFoundMax);
  CandidateEntry* found = foundScratch.data();
  int foundCount = 0;
  const auto offer = [&](int i) {
    const Vec3d& mn = boxes->minCorners[i];
    const Vec3d& mx = boxes->maxCorners[i];
    if (boxRejects(boxes, i, p, R) || boxBelow(tool, mn, mx, p, best)) return;
    if (surelyBelow<kFacets>(ctx, i, &start, tool, best, boxes)) return;
    // Offered just below the best, so that a tie reports itself.
    double h = std::nextafter(best, -HUGE_VAL);
    Vec3d at;
    int k = 0;
    const int r = surfaceContact<kFacets>(ctx, i, &start, tool, &h, &at, &k, boxes);
    if (r <= 0) return;
    if (foundCount < kFoundMax) found[foundCount++] = {i, h};
    if (h > best || (h == best && winner >= 0 && i < winner)) {
      best = h;
      winner = i;
      winnerResult = r;
      winnerKind = k;
      winnerContact = at;
    }
  };
  // The surface that decided this thread's last drop raises the best early.
  const void* surfaces = walkSurfaces<kFacets>(ctx);
  WalkMemo& memo = walkMemo();
  const int offeredFirst = memo.within(surfaces, indices, count);
  if (offeredFirst >= 0) offer(offeredFirst);
  for (int k = 0; k < count; ++k) {
    // No surface from here on has a bound above its key.
    const double key = cell->keys[k];
    const double limit = key + kBoundSlack * (1.0 + std::fabs(key));
    if (limit + kBoxBelowSlack * (1.0 + std::fabs(limit)) < best) break;
    // Offered again it would only tie with itself.
    if (cell->items[k] != offeredFirst) offer(cell->items[k]);
  }
  if (winner < 0) return finishWalk(ctx, tool, position, 0, 0, contact);
  memo = {surfaces, winner};
  if (surfaceOneTriangle<kFacets>(ctx, winner) && winnerResult == kContactFace &&
      inZRange(ctx, best)) {
    position->z = best;
    *contact = winnerContact;
    *kind = winnerKind;
    return kContactFace;
  }
  std::sort(found, found + foundCount,
            [](const CandidateEntry& a, const CandidateEntry& b) { return a.index < b.index; });
  const int faced = faceRaiseBeforeWinner<kFacets>(ctx, boxes, &start, tool, indices, count, winner,
                                                   z0, found, foundCount);
  if (faced >= 0) {
    position->z = best;
    *contact = winnerContact;
    *kind = winnerKind;
    return faced ? kContactFace : kContactEdge;
  }
  const Vec3d contact0 = *contact;
  const int r =
      scanAll<kFacets>(ctx, boxes, position, startZ, tool, indices, count, contact, kind, winner);
  if (r == kContactFace) {
    position->z = best;
    *contact = winnerContact;
    *kind = winnerKind;
    return r;
  }
  if (position->z == best && contact->x == winnerContact.x && contact->y == winnerContact.y &&
      contact->z == winnerContact.z && *kind == winnerKind) {
    return r;
  }
  position->z = z0;
  *contact = contact0;
  *kind = 0;
  return scanAll<kFacets>(ctx, boxes, position, startZ, tool, indices, count, contact, kind);
}

bool candidateWalkApplies(const ContactContext* ctx, const ToolShape* tool) {
  return ctx->candidates != nullptr && ctx->maxCorners != nullptr && ctx->minCorners != nullptr &&
         tool->type != kToolConeFrustum && !ctx->taperOn;
}

void refreshCone(ContactContext* ctx, const ToolShape* tool) {
  if (ctx->taperOn && ctx->coneStale) {
    contactContextSetCone(ctx, tool);
    ctx->coneStale = 0;
  }
}

bool overlapsStrictly(const Vec3d& mn, const Vec3d& mx, const double* box) {
  return mn.x < box[2] && mx.x > box[0] && mn.y < box[3] && mx.y > box[1];
}

int* preselect(int itemCount, const Vec3d* minCorners, const Vec3d* maxCorners,
               const CurveRec* curve, double radius, int* count, const BoundaryRec* boundaries,
               double pieceLength) {
  *count = 0;
  const char* text = "* Warnung: Zu wenig Speicher - Keine Optimierung moeglich";
  auto* result = static_cast<int*>(
      std::malloc(sizeof(int) * static_cast<std::size_t>(std::max(itemCount, 1))));
  if (result == nullptr) {
    msgNumbered(kMsgPreselectNoMemoryLevel, kMsgPreselectNoMemory, text, nullptr);
    return nullptr;
  }
  CountedArray* boxes = curvePieceBoxes(curve, radius, boundaries, pieceLength);
  if (boxes == nullptr) {
    std::free(result);
    msgNumbered(kMsgPreselectNoMemoryLevel, kMsgPreselectNoMemory, text, nullptr);
    return nullptr;
  }
  const auto* b = static_cast<const double*>(boxes->data);
  int n = 0;
  for (int i = 0; i < itemCount; ++i) {
    for (int k = 0; k < boxes->count; ++k) {
      if (overlapsStrictly(minCorners[i], maxCorners[i], b + 4 * k)) {
        result[n++] = i;
        break;
      }
    }
  }
  countedArrayFree(boxes);
  *count = n;
  return result;
}

}  // namespace

// ---- Lists and boxes -----------------------------------------------------------

CandidateList* contactListNew(int capacity) {
  capacity = std::max(capacity, 1);
  auto* list = static_cast<CandidateList*>(std::calloc(1, sizeof(CandidateList)));
  if (list == nullptr) return nullptr;
  list->entries = static_cast<CandidateEntry*>(
      std::malloc(sizeof(CandidateEntry) * static_cast<std::size_t>(capacity)));
  if (list->entries == nullptr) {
    std::free(list);
    return nullptr;
  }
  list->complete = 1;
  list->capacity = capacity;
  list->lastPosition = -1;
  list->lastIndex = -1;
  return list;
}

CandidateList* modelCandidateListNew(int capacity) { return contactListNew(capacity); }

void contactListFree(CandidateList* list) {
  if (list == nullptr) return;
  std::free(list->entries);
  std::free(list);
}

void contactBoxSetClear(FacetBoxSet* boxes) {
  *boxes = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
}

void contactBoxSetInit(FacetBoxSet* boxes, const Vec3d* minCorners, const Vec3d* maxCorners,
                       const double* diagMin, const double* diagMax) {
  *boxes = {maxCorners, minCorners, diagMin, diagMax, nullptr, nullptr, nullptr};
}

int contactCandidatesAt(const FacetBoxSet* boxes, CandidateList* list, const int* indices,
                        int count, const ToolShape* tool, const Vec3d* position) {
  list->complete = 1;
  list->count = 0;
  int lastPos = -1;
  int lastIndex = list->lastIndex;
  const int n = collectCandidates(boxes, list->entries, list->capacity, indices, count, tool,
                                  position, &lastPos, &lastIndex);
  list->lastPosition = lastPos;
  list->lastIndex = lastIndex;
  if (n < 0) {
    list->complete = 0;
    list->count = list->capacity;
    return -1;
  }
  list->count = n;
  std::sort(list->entries, list->entries + n, [](const CandidateEntry& a, const CandidateEntry& b) {
    return CandidateAfter()(b, a);
  });
  return n;
}

// ---- Walks -----------------------------------------------------------------------

int contactScanFacets(const ContactContext* ctx, const FacetBoxSet* boxes, Vec3d* position,
                      double startZ, const ToolShape* tool, const int* indices, int count,
                      Vec3d* contact, int* kind) {
  if (ctx->facets == nullptr) count = 0;
  return scanAll<true>(ctx, boxes, position, startZ, tool, indices, count, contact, kind);
}

int contactScanTriangles(const ContactContext* ctx, const FacetBoxSet* boxes, Vec3d* position,
                         double startZ, const ToolShape* tool, const int* indices, int count,
                         Vec3d* contact, int* kind) {
  if (ctx->triangles == nullptr) count = 0;
  return scanAll<false>(ctx, boxes, position, startZ, tool, indices, count, contact, kind);
}

int contactScanCandidates(const ContactContext* ctx, const CandidateList* list, Vec3d* position,
                          double startZ, const ToolShape* tool, Vec3d* contact, int* kind) {
  return scanList<true>(ctx, list, position, startZ, tool, contact, kind);
}

int contactScanTriCandidates(const ContactContext* ctx, const CandidateList* list, Vec3d* position,
                             double startZ, const ToolShape* tool, Vec3d* contact, int* kind) {
  return scanList<false>(ctx, list, position, startZ, tool, contact, kind);
}

void contactOffsetModelStart(const ContactContext* ctx, Vec3d* position,
                             const OffsetModel* offsetModel, double startZ) {
  if (offsetModel == nullptr || offsetModel->offsetCopy == nullptr) return;
  const ModelRec* m = offsetModel->offsetCopy;
  if (m->facets == nullptr || m->maxCorners == nullptr || m->minCorners == nullptr) return;
  ToolShape point{};
  if (m->tool != nullptr) point = *m->tool;
  point.type = kToolFlat;
  point.radius = 0.0;
  point.cornerRadius = 0.0;
  const int* indices = nullptr;
  int count = m->facetCount;
  if (m->grid != nullptr) modelGridCellItems(m->grid, position->x, position->y, &indices, &count);
  const Vec3d start{position->x, position->y, startZ};
  Vec3d contact;
  int kind = 0;
  for (int k = 0; k < count; ++k) {
    const int i = indices != nullptr ? indices[k] : k;
    const Vec3d& mx = m->maxCorners[i];
    const Vec3d& mn = m->minCorners[i];
    if (position->z > mx.z) break;
    if (position->x < mn.x || position->x > mx.x || position->y < mn.y || position->y > mx.y) {
      continue;
    }
    contactFacetShape(ctx, &m->facets[i], &start, &point, &position->z, &contact, &kind);
  }
}

// ---- Engines ---------------------------------------------------------------------

namespace {

// True when the full walk of a ball may be led by the grid's order of the
// cell (scanBallFullOrdered).
bool orderedBallWalkApplies(const ContactContext* ctx, const FacetBoxSet* boxes,
                            const ToolShape* tool, const int* indices, const CellOrder* cell) {
  return cell != nullptr && cell->items != nullptr && indices != nullptr &&
         tool->type == kToolBall && !ctx->taperOn && boxes->minCorners != nullptr &&
         boxes->maxCorners != nullptr;
}

// The engines, with the grid's order of the cell (or null).
int dropOnFacetSet(ContactContext* ctx, Vec3d* position, double startZ, const ToolShape* tool,
                   const int* indices, int count, const CellOrder* cell, Vec3d* contact,
                   int* kind) {
  FacetBoxSet boxes;
  contactBoxSetInit(&boxes, ctx->minCorners, ctx->maxCorners, ctx->diagMin, ctx->diagMax);
  if (cell != nullptr) {
    boxes.planes = cell->planes;
    boxes.trianglePlanes = cell->trianglePlanes;
    boxes.levelShapes = cell->levelShapes;
  }
  if (indices == nullptr) count = ctx->facetCount;
  if (ctx->facets == nullptr) count = 0;
  *kind = 0;
  refreshCone(ctx, tool);
  if (ctx->offsetModel != nullptr && tool->type == kToolBall) {
    contactOffsetModelStart(ctx, position, ctx->offsetModel, startZ);
    return contactScanFacets(ctx, &boxes, position, startZ, tool, indices, count, contact, kind);
  }
  if (candidateWalkApplies(ctx, tool)) {
    const int r = scanCandidatesLazy<true>(ctx, &boxes, position, startZ, tool, indices, count,
                                           cell, contact, kind);
    if (r != -3) return r;
  }
  if (ctx->facets != nullptr && orderedBallWalkApplies(ctx, &boxes, tool, indices, cell)) {
    return scanBallFullOrdered<true>(ctx, &boxes, position, startZ, tool, indices, count, cell,
                                     contact, kind);
  }
  return contactScanFacets(ctx, &boxes, position, startZ, tool, indices, count, contact, kind);
}

int dropOnTriangleSet(ContactContext* ctx, Vec3d* position, double startZ, const ToolShape* tool,
                      const int* indices, int count, const CellOrder* cell, Vec3d* contact,
                      int* kind) {
  FacetBoxSet boxes;
  contactBoxSetInit(&boxes, ctx->minCorners, ctx->maxCorners, nullptr, nullptr);
  if (cell != nullptr) {
    boxes.planes = cell->planes;
    boxes.trianglePlanes = cell->trianglePlanes;
    boxes.levelShapes = cell->levelShapes;
  }
  if (ctx->triangles == nullptr) {
    count = 0;
  } else if (indices == nullptr) {
    count = ctx->triangles->count;
  }
  *kind = 0;
  refreshCone(ctx, tool);
  if (candidateWalkApplies(ctx, tool) && count > 0) {
    const int r = scanCandidatesLazy<false>(ctx, &boxes, position, startZ, tool, indices, count,
                                            cell, contact, kind);
    if (r != -3) return r;
  }
  if (ctx->triangles != nullptr && count > 0 &&
      orderedBallWalkApplies(ctx, &boxes, tool, indices, cell)) {
    return scanBallFullOrdered<false>(ctx, &boxes, position, startZ, tool, indices, count, cell,
                                      contact, kind);
  }
  return contactScanTriangles(ctx, &boxes, position, startZ, tool, indices, count, contact, kind);
}

}  // namespace

int contactDropOnFacetSet(ContactContext* ctx, Vec3d* position, double startZ,
                          const ToolShape* tool, const int* indices, int count, Vec3d* contact,
                          int* kind) {
  return dropOnFacetSet(ctx, position, startZ, tool, indices, count, nullptr, contact, kind);
}

int contactDropOnTriangleSet(ContactContext* ctx, Vec3d* position, double startZ,
                             const ToolShape* tool, const int* indices, int count, Vec3d* contact,
                             int* kind) {
  return dropOnTriangleSet(ctx, position, startZ, tool, indices, count, nullptr, contact, kind);
}

// ---- Wrappers and point entries -----------------------------------------------------

namespace {

// Sets *field to value unless it holds it already.  A context mostly drops
// on one selection after another, and the engine reads these fields back at
// once, pairwise: a load that spans two fresh stores waits until they have
// reached the cache.
template <class T>
inline void assignIfChanged(T* field, T value) {
  if (*field != value) *field = value;
}

// The wrappers' selection: the surfaces with their corners, no 45-degree
// extents.
void selectSurfaces(ContactContext* ctx, Vec3d* minCorners, Vec3d* maxCorners,
                    CandidateList* candidates, Facet* facets, int facetCount, TriList* triangles) {
  assignIfChanged(&ctx->maxCorners, maxCorners);
  assignIfChanged(&ctx->minCorners, minCorners);
  assignIfChanged(&ctx->candidates, candidates);
  assignIfChanged(&ctx->facets, facets);
  assignIfChanged(&ctx->facetCount, facetCount);
  assignIfChanged(&ctx->triangles, triangles);
  assignIfChanged(&ctx->diagMin, static_cast<double*>(nullptr));
  assignIfChanged(&ctx->diagMax, static_cast<double*>(nullptr));
}

}  // namespace

int contactDropOnModelSurface(ContactContext* ctx, const ModelRec* model, const ToolShape* tool,
                              Vec3d* position, Vec3d* contact, int* kind) {
  const int* indices = nullptr;
  int count = 0;
  modelGridCellItems(model->grid, position->x, position->y, &indices, &count);
  selectSurfaces(ctx, model->minCorners, model->maxCorners, model->candidates, model->facets,
                 model->facetCount, model->triangles);
  const double radius = model->tool != nullptr ? model->tool->radius : tool->radius;
  const double startZ = radius + model->boxMax.z + kContactStartLift;
  // The grid's key order of the same cell, when it was made for this tool.
  const float* keys = nullptr;
  int orderCount = 0;
  const int32_t* order =
      modelGridOrderAt(model->grid, position->x, position->y, tool, &keys, &orderCount);
  const bool ordered = order != nullptr && orderCount == count;
  CellOrder cell{ordered ? order : nullptr,
                 ordered ? keys : nullptr,
                 -1,
                 -1,
                 model->grid != nullptr ? model->grid->planes : nullptr,
                 model->grid != nullptr ? model->grid->trianglePlanes : nullptr,
                 model->grid != nullptr ? model->grid->levelShapes : nullptr,
                 ordered && model->grid->orderSlotMarks != nullptr
                     ? model->grid->orderSlotMarks + (order - model->grid->orderItems)
                     : nullptr};
  if (ordered &&
      !modelGridOrderReach(model->grid, position->x, position->y, tool, &cell.sure, &cell.maybe)) {
    cell.sure = -1;
    cell.maybe = -1;
  }
  const CellOrder* cellOrder = ordered || cell.planes != nullptr ? &cell : nullptr;
  if (model->kind == kModelKindFacets) {
    return dropOnFacetSet(ctx, position, startZ, tool, indices, count, cellOrder, contact, kind);
  }
  return dropOnTriangleSet(ctx, position, startZ, tool, indices, count, cellOrder, contact, kind);
}

int contactDropOnGroupSurface(ContactContext* ctx, const SurfaceGroup* group, const ToolShape* tool,
                              Vec3d* position, Vec3d* contact, int* kind) {
  const int* indices = nullptr;
  int count = 0;
  modelGridCellItems(group->grid, position->x, position->y, &indices, &count);
  selectSurfaces(ctx, group->minCorners, group->maxCorners, nullptr, group->facets,
                 group->facetCount, group->triangles);
  if (ctx->taperOn) ctx->coneStale = 1;
  const double startZ = group->tool.radius + group->boxMax.z + kContactStartLift;
  if (group->kind == kModelKindFacets) {
    return contactDropOnFacetSet(ctx, position, startZ, tool, indices, count, contact, kind);
  }
  return contactDropOnTriangleSet(ctx, position, startZ, tool, indices, count, contact, kind);
}

namespace {

int dropModelAndGroups(const ModelRec* model, const ToolShape* tool, bool groupTools,
                       Vec3d* position, Vec3d* contact, int* kind) {
  ContactContext ctx;
  contactContextLoad(&ctx);
  int result = contactDropOnModelSurface(&ctx, model, tool, position, contact, kind);
  for (const SurfaceGroup* g = model->groups; g != nullptr; g = g->next) {
    ContactContext gctx;
    contactContextLoad(&gctx);
    Vec3d local{};
    int k = 0;
    const int a =
        contactDropOnGroupSurface(&gctx, g, groupTools ? &g->tool : tool, position, &local, &k);
    if (a > 0 && k > 0) {
      *contact = local;
      result = a;
    }
  }
  return result;
}

}  // namespace

int contactDropAtPoint(const ModelRec* model, Vec3d* position, Vec3d* contact, int* kind) {
  *kind = 0;
  if (model->tool == nullptr) return 0;
  return dropModelAndGroups(model, model->tool, true, position, contact, kind);
}

int contactDropShapeAtPoint(const ModelRec* model, const ToolShape* tool, Vec3d* position,
                            Vec3d* contact, int* kind) {
  return dropModelAndGroups(model, tool, false, position, contact, kind);
}

int contactDropOnGroup(const SurfaceGroup* group, Vec3d* position, Vec3d* contact, int* kind) {
  ContactContext ctx;
  contactContextLoad(&ctx);
  return contactDropOnGroupSurface(&ctx, group, &group->tool, position, contact, kind);
}

// ---- Preselection ------------------------------------------------------------------

int* contactPreselectFacets(const ContactContext* ctx, const CurveRec* curve, double radius,
                            int* count, const BoundaryRec* boundaries, double pieceLength) {
  *count = 0;
  if (ctx->minCorners == nullptr || ctx->maxCorners == nullptr) return nullptr;
  return preselect(ctx->facetCount, ctx->minCorners, ctx->maxCorners, curve, radius, count,
                   boundaries, pieceLength);
}

int* projPreselectTriangles(const ContactContext* ctx, const CurveRec* curve, double radius,
                            int* count, const BoundaryRec* boundaries, double pieceLength) {
  *count = 0;
  if (ctx->triangles == nullptr || ctx->minCorners == nullptr || ctx->maxCorners == nullptr) {
    return nullptr;
  }
  return preselect(ctx->triangles->count, ctx->minCorners, ctx->maxCorners, curve, radius, count,
                   boundaries, pieceLength);
}

// ---- Tests -------------------------------------------------------------------------

int contactFootprintInBoundary(const BoundaryRec* boundary, const ToolShape* tool,
                               const Vec3d* contact, const Vec3d* position, double parameter,
                               const CurveRec* curve) {
  if (std::fabs(contact->x - position->x) >= kContactFootprintTol ||
      std::fabs(contact->y - position->y) >= kContactFootprintTol ||
      std::fabs(contact->z - position->z) >= kContactFootprintTol) {
    return bndPointInside(boundary, contact);
  }
  double b;
  if (tool->type == kToolFlat) {
    b = tool->radius;
  } else if (tool->type == kToolTorus) {
    b = tool->radius - tool->cornerRadius;
  } else {
    return 0;
  }
  if (!(b > kContactFootprintTol)) return 0;
  Vec2d q;
  for (const double t : {parameter + b, parameter - b}) {
    if (curveEvalAt(curve, t, &q, nullptr) < 0) return 0;
    const Vec3d p{q.x, q.y, 0.0};
    if (!bndPointInside(boundary, &p)) return 0;
  }
  double dir[2];
  if (curveTangentAt(curve, parameter, dir) < 0) return 0;
  for (const double s : {b, -b}) {
    const Vec3d p{position->x - s * dir[1], position->y + s * dir[0], 0.0};
    if (!bndPointInside(boundary, &p)) return 0;
  }
  return 1;
}

int contactFootprintInBoundaries(const BoundaryRec* chain, const ToolShape* tool,
                                 const Vec3d* contact, const Vec3d* position, double parameter,
                                 const CurveRec* curve) {
  for (const BoundaryRec* b = chain; b != nullptr; b = b->next) {
    if (!b->isOuter) continue;
    if (!contactFootprintInBoundary(b, tool, contact, position, parameter, curve)) continue;
    for (const BoundaryIslandNode* n = b->islands; n != nullptr; n = n->next) {
      if (n->island != nullptr &&
          contactFootprintInBoundary(n->island, tool, contact, position, parameter, curve)) {
        return 0;
      }
    }
    return 1;
  }
  return 0;
}

int toolShapeSlopeInRange(const ToolShape* tool, const Vec3d* position, const Vec3d* contact,
                          double slopeAngle, double flatAngle) {
  if (tool->type == kToolFlat || tool->radius < kContactFootprintTol) return 0;
  if (tool->type == kToolTorus && tool->cornerRadius < kContactFootprintTol) return 0;
  double d;
  if (tool->type == kToolTorus) {
    const double dx = contact->x - position->x;
    const double dy = contact->y - position->y;
    const double a = std::sqrt(dx * dx + dy * dy);
    if (a < kContactFootprintTol) {
      d = tool->cornerRadius;
    } else {
      const double ring = tool->radius - tool->cornerRadius;
      const double cx = position->x + ring * dx / a;
      const double cy = position->y + ring * dy / a;
      d = std::sqrt((contact->x - cx) * (contact->x - cx) + (contact->y - cy) * (contact->y - cy) +
                    (contact->z - position->z) * (contact->z - position->z));
    }
  } else {
    const double dx = contact->x - position->x;
    const double dy = contact->y - position->y;
    const double dz = contact->z - position->z;
    d = std::sqrt(dx * dx + dy * dy + dz * dz);
  }
  // A contact at the centre has no direction (no slope to judge).
  if (!(d > 0.0)) return 0;
  const double s = std::fabs(position->z - contact->z) / d;
  if (std::cos(slopeAngle * kDegToRad) > s) return -1;
  if (flatAngle < kContactFootprintTol) return 1;
  if (std::cos(flatAngle * kDegToRad) >= s) return 1;
  return -1;
}

int projSlopeAtLeast(const Vec3d* a, const Vec3d* b, double angle) {
  const double dx = b->x - a->x;
  const double dy = b->y - a->y;
  const double dz = b->z - a->z;
  const double len = std::sqrt(dx * dx + dy * dy + dz * dz);
  if (!(len > 0.0)) return 0;
  return std::fabs(dz) / len >= std::fabs(std::sin(angle * kDegToRad)) ? 1 : 0;
}

int projSecondChance(const ContactContext* ctx, Vec3d* position, const ModelRec* model,
                     double curveZ, double startHeight, double startZ, const int* indices,
                     int count) {
  if (!ctx->extraAllowanceOn) return 0;
  ModelRec* copy = modelCopy(model);
  if (copy == nullptr) return 0;
  modelGrowTool(copy, -ctx->extraAllowance);
  Vec3d pos{position->x, position->y, startHeight};
  Vec3d contact;
  int touched = 0;
  if (copy->tool != nullptr) {
    ContactContext local = *ctx;
    int k = 0;
    const int r =
        contactDropOnTriangleSet(&local, &pos, startZ, copy->tool, indices, count, &contact, &k);
    if (r > 0 && k > 0) touched = 1;
  }
  for (const SurfaceGroup* g = copy->groups; g != nullptr; g = g->next) {
    ContactContext gctx;
    contactContextForGroup(&gctx, ctx, g);
    const int* cell = nullptr;
    int cellCount = 0;
    modelGridCellItems(g->grid, pos.x, pos.y, &cell, &cellCount);
    int k = 0;
    const int r =
        contactDropOnTriangleSet(&gctx, &pos, startZ, &g->tool, cell, cellCount, &contact, &k);
    if (r > 0 && k > 0) touched = 1;
  }
  const int result = (touched && (pos.z > curveZ - kContactFootprintTol ||
                                  pos.z > position->z - 2.0 * ctx->extraAllowance))
                         ? 0
                         : 1;
  if (result == 1) position->z = touched ? pos.z : startHeight;
  modelFreeCopy(copy);
  return result;
}
