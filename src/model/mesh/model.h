// Machining model: the part surfaces (facets or triangles), their boxes, the
// tool shape that is projected onto them, and further surface groups (clip
// surfaces, walls, surfaces with their own allowance) with their own grown tool.
//
// Ownership: a model made by modelInit and loaded by the loaders owns its
// surfaces, corner arrays, grid and group list; its ToolShape is owned by the
// caller that set it.  A working copy (modelCopy) owns only its ToolShape and
// its group nodes; everything else stays shared with the source model, which
// must outlive it.
//
// Threads: models are built and changed on the cycle's thread only; during the
// parallel drops they are read by every thread and never written.  Every
// thread that needs a different tool works on its own working copy.
#ifndef TESSARO_MODEL_MODEL_H_
#define TESSARO_MODEL_MODEL_H_

#include <cstdint>

#include "base/tolerances.h"
#include "geometry/lists/lists.h"
#include "geometry/primitives/vec.h"

struct BoundaryRec;
struct CurveRec;
struct CandidateList;
struct ModelGrid;

// Model kinds: surfaces held as a TriList of Tri, or as an array of Facet.
inline constexpr int kModelKindTriangles = 3;
inline constexpr int kModelKindFacets = 4;

// Tool types of ToolShape::type.
inline constexpr int16_t kToolBall = 1;
inline constexpr int16_t kToolFlat = 2;
inline constexpr int16_t kToolTorus = 3;
inline constexpr int16_t kToolConeFrustum = 10;

// Equality of radii and top heights, and the smallest radius a tool may grow
// or shrink to.
inline constexpr double kModelTol = kGeoEqualTol;

// Defaults of a freshly initialised model: the sample step of the drops and
// the minimum step (also the model tolerance).
inline constexpr double kModelDefaultMaxStep = 1.0;
inline constexpr double kModelDefaultMinStep = 0.008;

// Empty box of a new surface group: widening it by any point replaces it.
inline constexpr double kModelEmptyBox = kGeoTriBoxSentinel;

// The tool as the contact computation sees it.  Lengths in the job's internal
// unit, angles in degrees.
struct ToolShape {
  int16_t type;          // kToolBall, kToolFlat, kToolTorus, kToolConeFrustum
  double radius;         // tool radius
  double cornerRadius;   // = radius for a ball, 0 for a flat tool
  double tipOffset;      // z offset of the reference point (allowance rule)
  double length;         // cutting length, never negative after the rule
  double shankDiameter;  // shank diameter
  double taperLength;    // length of the taper above the cutting length
  double taperAngle;     // taper angle in degrees
  int16_t taperOn;       // 1 when the tool has a taper
};

// One facet: up to four vertices; a triangle repeats its third vertex as the
// fourth.  tag bits 0..2 are the surface slot of a version-2 facet file (7 =
// none), bit 3 marks the first facet of a patch; facets made in memory carry 0.
// In memory the record is naturally aligned (104 bytes); the packed 98-byte
// form exists only in the file codec.
struct Facet {
  uint16_t tag;
  Vec3d v[4];
};

// True for a facet of one triangle: its fourth vertex repeats the third
// (v: the facet's four vertices).
inline bool facetOneTriangle(const Vec3d* v) {
  return v[3].x == v[2].x && v[3].y == v[2].y && v[3].z == v[2].z;
}

// One further surface set of a model.  A group owns its surface data, corner
// arrays and grid; a node copied into a working copy shares them.
struct SurfaceGroup {
  int32_t kind;        // kModelKindTriangles or kModelKindFacets
  Facet* facets;       // kind 4
  int32_t facetCount;  // kind 4
  TriList* triangles;  // kind 3
  Vec3d* maxCorners;   // one per item, component-wise maximum of its vertices
  Vec3d* minCorners;   // one per item, component-wise minimum
  Vec3d boxMin;
  Vec3d boxMax;
  ToolShape tool;   // the model's tool grown by this group's allowance
  ModelGrid* grid;  // bucket grid over the group's items
  int32_t clip;     // 1 clip surface, 0 part surface
  SurfaceGroup* next;
};

// The machining model.  Item arrays (facets or triangles, with the corner
// arrays in the same order) are kept sorted by top z, highest first.
struct ModelRec {
  int32_t kind;   // kModelKindTriangles or kModelKindFacets
  Facet* facets;  // kind 4, shared with working copies
  int32_t facetCount;
  TriList* triangles;  // kind 3, shared with working copies
  Vec3d* maxCorners;   // one per item
  Vec3d* minCorners;   // one per item
  Vec3d boxMin;        // box of the model's own surfaces
  Vec3d boxMax;
  ToolShape* tool;             // the tool to project
  BoundaryRec* boundaryChain;  // boundaries of the contact mode
  CurveRec* guideCurve;        // guide curve of the current drop
  int32_t contactMode;
  int32_t slopeMode;
  double maxStep;  // sample step of the drops
  double minStep;  // minimum step, model tolerance
  double profileStep;
  int32_t boundaryFlag;
  int32_t randomPoints;
  double slopeLimit;
  double floorZ;              // height reported where the tool touches nothing
  double topZ;                // top height of a drop
  CandidateList* candidates;  // candidate list of the contact computation
  ModelGrid* grid;            // bucket grid over the model's own items
  SurfaceGroup* groups;       // head of the group list, in append order
};

// Sets kind, maxStep = 1.0, minStep = 0.008 and every other field to zero or
// null (the tool too).  Returns model.  model must not be null.
ModelRec* modelInit(ModelRec* model, int kind);

// Working copy: a new record with every field copied, its own ToolShape (null
// when the source has none) and its own copy of every group node in list order.
// Surfaces, boxes, grids, candidates, boundaries and the guide curve stay
// shared.  Null on allocation failure (nothing of the copy remains).  Free with
// modelFreeCopy.
ModelRec* modelCopy(const ModelRec* model);

// Frees a working copy's group nodes, its ToolShape and the record; shared data
// stays.  Null is allowed.
void modelFreeCopy(ModelRec* copy);

// Frees the group nodes (not their surface data) and sets groups to null.
void modelFreeGroups(ModelRec* model);

// Frees the model's own triangles or facets, both corner arrays, the grid and,
// while the diagonal-boxes switch is on, the process-wide diagonal extents;
// then for every group its surfaces, corner arrays and grid and the node
// itself.  Each pointer becomes null and facetCount 0.  The record, its tool,
// boundaries and guide curve are untouched.  Null is allowed.
void modelFreeSurfaces(ModelRec* model);

// 1 when neither the model nor any group holds a facet or triangle, else 0.
int modelIsEmpty(const ModelRec* model);

// 1 when the model (not a group) holds items of its own.
int modelHasOwnItems(const ModelRec* model);

// Grows the radius of the model's tool and of every group's tool by delta; a
// radius change is kept only when the result exceeds kModelTol.  Where a
// negative delta is kept, the shank diameter shrinks by 2 x delta (never
// below 0); where the change is refused, the shank stays as it was.  Returns
// 1 when the model's own radius changed, else 0.
int modelGrowTool(ModelRec* model, double delta);

// The same radius change (shank unchanged), then the type of the model's tool
// and of every group's tool is derived again from its radii: ball when
// cornerRadius equals radius, flat when cornerRadius is 0, else torus (each
// within kModelTol).
void modelGrowToolRetype(ModelRec* model, double delta);

// The allowance rule, in place: grows the tool by the allowance a (negative for
// undersize), turning a flat tool with positive allowance into a torus and a
// torus whose corner shrinks to nothing into a flat tool.  tipMode 1 places the
// reference point at the corner centre.  A radius below -kModelTol is reported
// with message 330 and set to 0; the corner radius always ends in [0, radius].
// Tools of other types keep their radii.  Writes a process-wide message: call
// on the cycle's thread.
void toolShapeApplyAllowance(ToolShape* tool, double allowance, int tipMode);

// A new, unlinked group of the given kind and clip mark with an empty box, the
// model's tool passed through the allowance rule, room for n items (a facet
// array for kind 4, a TriList for any other kind) and two corner arrays of n
// entries.  Null on allocation failure.  Free with surfaceGroupFree.
SurfaceGroup* surfaceGroupNew(const ModelRec* model, double allowance, int tipMode, int kind,
                              int clip, int n);

// Frees a group's surfaces, corner arrays, grid and the node.  Null allowed.
void surfaceGroupFree(SurfaceGroup* group);

// Appends group at the end of the model's list (group->next must be null).
void modelAppendGroup(ModelRec* model, SurfaceGroup* group);

// Moves every group of other to the end of the model's list, applies the
// allowance rule to each moved group's tool and marks it clip.  When other has
// surfaces of its own of the model's kind, a group holding a copy of them (its
// tool copied without the allowance) is appended as well and marked clip.
// other keeps its own surfaces and loses its groups.  Returns 0.
int modelMergeGroups(ModelRec* model, ModelRec* other, int tipMode, double allowance);

// Build a group (kind 4 or 3) from a copy of other's facets or triangles: box
// from the vertices, sorted by top z, corner arrays, a grid of about 30 cells
// with the group tool's radius as margin; appended to the model's list with
// clip 0.  1 done, -2 when other has no such items, -1 on allocation failure
// (the model is then unchanged).
int surfaceGroupCopyFacets(ModelRec* model, const ModelRec* other);
int surfaceGroupCopyTris(ModelRec* model, const ModelRec* other);

// Widens boxMin/boxMax by the box of every group that holds items.  A model
// without items of its own takes the groups' box alone (its initial zero box
// is not a box of any surface).
void modelWidenBoxByGroups(ModelRec* model);

// Widens the box lo..hi to take in the point p.
void modelBoxWiden(Vec3d* lo, Vec3d* hi, const Vec3d* p);

// Top z of an item: the largest z of its vertices.
double facetTopZ(const Facet* f);
double triTopZ(const Tri* t);

// Comparators for listSort (arguments point to Facet or Tri): 0 when the top z
// values differ by less than kModelTol, 1 when a's is lower, -1 when higher, so
// an ascending sort puts the highest first.  triCompareTopZ has no tolerance.
int facetCompareTopZ(const void* a, const void* b);
int triCompareTopZTol(const void* a, const void* b);
int triCompareTopZ(const void* a, const void* b);

// Sorts items by top z, highest first (deterministic; items whose top z are
// exactly equal keep their order).  False when scratch memory is missing; the
// items are then unchanged.
bool modelSortFacets(Facet* facets, int count);
bool modelSortTris(Tri* tris, int count);

// The order those sorts give to count items whose top heights are keys:
// order[k] is the index of the item that comes k-th.  For a loader that
// places its items in sorted order as it makes them.  False when scratch
// memory is missing.
bool modelTopZOrder(const double* keys, int count, int* order);

// Fills the corner arrays of count items (component-wise min and max of the
// four facet vertices or three triangle vertices).
void modelFacetCorners(const Facet* facets, int count, Vec3d* minCorners, Vec3d* maxCorners);
void modelTriCorners(const Tri* tris, int count, Vec3d* minCorners, Vec3d* maxCorners);

// Orients a facet counter-clockwise seen from above: the turn of the first
// corner (P0, P1, P2) decides, or of the next corner while the turn is below
// kModelTol in size; a clockwise facet gets vertices 1 and 3 exchanged.
void facetOrientCcw(Facet* facet);

// Rotates the vertices cyclically so that the highest comes first (the first
// of equal highest z wins); the orientation is kept.
void triTopVertexFirst(Tri* tri);

// The 45-degree rotated extents of count facets: with c = kModelDiagCos, entry
// 2i of diagMin is the minimum over the four vertices of c*x - c*y and entry
// 2i+1 the minimum of c*y + c*x; diagMax holds the maxima.
inline constexpr double kModelDiagCos = 0.70710678;
void modelFacetDiagExtents(const Facet* facets, int count, double* diagMin, double* diagMax);

#endif  // TESSARO_MODEL_MODEL_H_
