// Contact of the tool at one xy position: the highest height that a tool
// shape reaches when it is lowered onto a set of facets or triangles, with the
// contact point and the contact kind; the candidate selection that keeps the
// walk short; the point entries used outside the drop along a curve; the
// footprint and slope tests of the drop.
//
// Heights are those of the tool's centre point (tip z plus corner radius).
// The position argument of every drop is in/out: its x and y are the drop
// point, its z the height reached so far; only contacts that raise it count.
// The lowest reach of a tool at height h is h - radius (ball), h (flat),
// h - corner radius (torus), h + length (cone frustum), h (others).
//
// Results of a drop: 0 nothing touched (and the context does not keep
// untouched points); 1 touched, or untouched but kept; 2 touched, and at some
// point of the walk a face contact raised the height to a value inside the
// context's [z floor, z top].
//
// Walk order and reproducibility: surfaces are stored highest top z first and
// index lists ascend, so the full walk stops at the first surface that lies
// wholly below the lowest reach.  The candidate walk visits the reachable
// surfaces by a height bound, highest first, ties by ascending index, and
// stops at the first bound below the current height.  Neither order depends on
// the bucket grid: a grid cell only narrows the surfaces whose boxes are
// tested, so any grid over the same surfaces gives the same heights.
//
// Taper cone: while the context's taper is on, every box test widens the tool
// radius by the cone growth and the candidate walk is not used (its bounds
// know nothing of the cone), so both engines and both walks offer the cone to
// every surface it can reach.
//
// Threads: the engines and point entries run on many threads at once; each
// call works on its own context and the caller's position, reads the model,
// and keeps its candidate scratch in per-thread storage.  They allocate
// nothing per call (projSecondChance and the preselection excepted).
#pragma once

#include <cstdint>

#include "model/contact/contact_settings.h"
#include "model/mesh/model.h"

struct BoundaryRec;
struct CurveRec;
struct OffsetModel;
struct SurfacePlane;
struct TrianglePlane;

// Entries of the candidate lists made by the engines.
inline constexpr int kContactCandidateCapacity = 3000;
// Bound of a surface before its shape bound is added: min z minus this.
inline constexpr double kContactBoundFloorDrop = 10.0;
// Height added over the box top by the point entries' start height.
inline constexpr double kContactStartLift = 1.0;
// Torus bound: a ring distance below this uses the full corner radius.
inline constexpr double kContactTorusBoundTol = 0.00001;
// Footprint and slope tests: points that agree within this are the same;
// radii and angles below it count as zero.
inline constexpr double kContactFootprintTol = 0.00001;
// Message of a failed curve preselection.
inline constexpr int kMsgPreselectNoMemory = 331;
inline constexpr int kMsgPreselectNoMemoryLevel = 2;

struct CandidateEntry {
  int32_t index;  // facet or triangle index
  double bound;   // upper bound of the height the tool can reach on it
};

// A list of reachable surfaces sorted by bound, highest first (ties by
// ascending index).
struct CandidateList {
  int32_t complete;  // 1, 0 after an overflow
  int32_t count;
  int32_t capacity;
  int32_t lastPosition;  // last position in the index list walked, -1 without a list
  int32_t lastIndex;     // last surface index walked, -1 at creation
  CandidateEntry* entries;
};

// The boxes of a surface selection: per-surface max and min corners and,
// optionally, the 45-degree extents (two doubles per surface: along
// u = 0.70710678 (x - y) and v = 0.70710678 (x + y)) and the planes and
// level shape flags the selection's grid holds for its surfaces (see
// modelGridPlanes; all or none).  Borrowed pointers.
struct FacetBoxSet {
  const Vec3d* maxCorners;
  const Vec3d* minCorners;
  const double* diagMin;
  const double* diagMax;
  const SurfacePlane* planes;
  const TrianglePlane* trianglePlanes;
  const uint8_t* levelShapes;
};

// ---- Engines ---------------------------------------------------------------------

// Facet engine on ctx's facet selection.  indices/count: the surfaces to
// walk (a grid cell or a preselection, ascending); a null indices walks all
// ctx->facetCount facets.  startZ: the tool z placed in every contact test
// (above every surface).  *kind is set to 0 first, then to the kind of the
// last contact that raised the height.  *contact is written on a contact, or
// with the lowest reach at (x, y) when nothing was touched and the context
// keeps untouched points.  May rebuild ctx's cone from tool when it is stale,
// and raises position->z by the offset model's probe for ball tools.
int contactDropOnFacetSet(ContactContext* ctx, Vec3d* position, double startZ,
                          const ToolShape* tool, const int* indices, int count, Vec3d* contact,
                          int* kind);

// Triangle engine, the same on ctx's triangle list (nothing without one).  A
// cone frustum that touched nothing gives 0 even when untouched points are
// kept.
int contactDropOnTriangleSet(ContactContext* ctx, Vec3d* position, double startZ,
                             const ToolShape* tool, const int* indices, int count, Vec3d* contact,
                             int* kind);

// The full walks (box tests, then the contact of each surface, stopping at the
// first surface wholly below the lowest reach).  Same arguments and results as
// the engines; boxes may have null corners (then every surface is tested).
int contactScanFacets(const ContactContext* ctx, const FacetBoxSet* boxes, Vec3d* position,
                      double startZ, const ToolShape* tool, const int* indices, int count,
                      Vec3d* contact, int* kind);
int contactScanTriangles(const ContactContext* ctx, const FacetBoxSet* boxes, Vec3d* position,
                         double startZ, const ToolShape* tool, const int* indices, int count,
                         Vec3d* contact, int* kind);

// The candidate walks over a list made by contactCandidatesAt (complete).
int contactScanCandidates(const ContactContext* ctx, const CandidateList* list, Vec3d* position,
                          double startZ, const ToolShape* tool, Vec3d* contact, int* kind);
int contactScanTriCandidates(const ContactContext* ctx, const CandidateList* list, Vec3d* position,
                             double startZ, const ToolShape* tool, Vec3d* contact, int* kind);

// ---- Wrappers and point entries ----------------------------------------------------

// Sets ctx's selection to the model's surfaces (corners, candidate list,
// facets, count, triangle list; no 45-degree extents) and drops tool at
// position through the model grid's cell: the facet engine for kind 4, the
// triangle engine otherwise.  Start z = the model tool's radius + the box's
// max z + 1.
int contactDropOnModelSurface(ContactContext* ctx, const ModelRec* model, const ToolShape* tool,
                              Vec3d* position, Vec3d* contact, int* kind);

// The same on one surface group (its grid, corners and surfaces, no candidate
// list); the cone is marked stale when the taper is on.  Start z = the
// group tool's radius + the group box's max z + 1.
int contactDropOnGroupSurface(ContactContext* ctx, const SurfaceGroup* group, const ToolShape* tool,
                              Vec3d* position, Vec3d* contact, int* kind);

// Point entries (fresh contexts from the contact settings; any thread).
// contactDropAtPoint: the model's tool on the model, then each group's own
// tool on that group; position->z is raised by every step; the result and
// contact are those of the last group that touched (kind > 0), else the
// model's; *kind is the model-level kind.
int contactDropAtPoint(const ModelRec* model, Vec3d* position, Vec3d* contact, int* kind);
// The same with the given tool everywhere.
int contactDropShapeAtPoint(const ModelRec* model, const ToolShape* tool, Vec3d* position,
                            Vec3d* contact, int* kind);
// The group's tool on one group.
int contactDropOnGroup(const SurfaceGroup* group, Vec3d* position, Vec3d* contact, int* kind);

// ---- Lists and boxes -------------------------------------------------------------

// A list with room for capacity entries (at least 1), complete, count 0,
// last position and index -1.  Null on failure.  Free with contactListFree.
CandidateList* contactListNew(int capacity);
// The model's list (the profile cycle makes it with 3000 entries); its
// presence only switches candidate lists on.
CandidateList* modelCandidateListNew(int capacity);
void contactListFree(CandidateList* list);

void contactBoxSetClear(FacetBoxSet* boxes);
void contactBoxSetInit(FacetBoxSet* boxes, const Vec3d* minCorners, const Vec3d* maxCorners,
                       const double* diagMin, const double* diagMax);

// Fills list with the surfaces of indices (all count surfaces when null) that
// tool (radius R, no cone) can reach at position, each with its height bound:
// ball max z + sqrt(R^2 - d^2), flat max z, torus max z + sqrt(rc^2 - f^2)
// (f = d - (R - rc); + rc when f < 0.00001), d the xy distance of position
// from the surface's box.  Other tool types collect nothing.  Sorted by
// bound, highest first, ties by index.  Returns the count, or -1 when more
// surfaces are reachable than the list holds (complete 0).
int contactCandidatesAt(const FacetBoxSet* boxes, CandidateList* list, const int* indices,
                        int count, const ToolShape* tool, const Vec3d* position);

// The start probe of ball tools: a point (flat tool of radius 0) dropped from
// startZ onto the offset model's facets at position (its grid cell, or all)
// raises position->z.  ctx supplies the taper cone.
void contactOffsetModelStart(const ContactContext* ctx, Vec3d* position,
                             const OffsetModel* offsetModel, double startZ);

// Curve preselection: the ascending indices of the facets (triangles) whose xy
// box strictly overlaps one of the boxes of pieces of pieceLength along the
// curve grown by radius (limited to the boundaries' inside intervals).
// Allocated with std::malloc (free with std::free); *count their number.
// Null with message 331 when memory runs out or the boxes cannot be made;
// projPreselectTriangles gives null with count 0 without a triangle list.
int* contactPreselectFacets(const ContactContext* ctx, const CurveRec* curve, double radius,
                            int* count, const BoundaryRec* boundaries, double pieceLength);
int* projPreselectTriangles(const ContactContext* ctx, const CurveRec* curve, double radius,
                            int* count, const BoundaryRec* boundaries, double pieceLength);

// ---- Tests -------------------------------------------------------------------------

// Is the tool's footprint inside the boundary?  A contact off the position
// (by 0.00001 in x, y or z) asks bndPointInside of the contact.  A contact at
// the position (the flat end touches) asks for the curve points at parameter
// +- b and the points position +- b n (n the curve normal), b = radius (flat)
// or radius - corner radius (torus); other tools and b <= 0.00001 give 0, so
// does a curve that cannot be evaluated there.  1 inside, 0 outside.
int contactFootprintInBoundary(const BoundaryRec* boundary, const ToolShape* tool,
                               const Vec3d* contact, const Vec3d* position, double parameter,
                               const CurveRec* curve);
// 1 when an outer boundary of the chain holds the footprint and none of its
// islands does; else 0.
int contactFootprintInBoundaries(const BoundaryRec* chain, const ToolShape* tool,
                                 const Vec3d* contact, const Vec3d* position, double parameter,
                                 const CurveRec* curve);

// Slope at the contact against the limits (degrees): -1 steeper than
// slopeAngle, or flatter than flatAngle (when flatAngle >= 0.00001); 1 within;
// 0 not applicable (flat tool, torus without corner, radius below 0.00001, a
// contact at the centre).
int toolShapeSlopeInRange(const ToolShape* tool, const Vec3d* position, const Vec3d* contact,
                          double slopeAngle, double flatAngle);

// 1 when the segment a-b climbs at least |sin(angle)| (angle in degrees) of its
// length; 0 otherwise and for coincident points.
int projSlopeAtLeast(const Vec3d* a, const Vec3d* b, double angle);

// Second chance of the triangle engine with the tool shrunk by the extra
// allowance: 0 when the extra allowance is off, when the copy cannot be made,
// or when the shrunk tool touches above curveZ - 0.00001 or above position->z
// - 2 x extra allowance.  Else position->z becomes the shrunk tool's height
// (startHeight when nothing was touched) and the result is 1.
int projSecondChance(const ContactContext* ctx, Vec3d* position, const ModelRec* model,
                     double curveZ, double startHeight, double startZ, const int* indices,
                     int count);
