// Contact settings and the per-drop contact context.
//
// Every drop of the tool onto the model is steered by one process-wide set of
// contact settings (surface selection, z range, clip-surface pass, slope
// limits, boundaries, taper cone, tool override, offset model, extra
// allowance).  Cycle, boundary, link and macro code change them through the
// setters below; a drop takes a private snapshot, a ContactContext, with
// contactContextLoad and never writes the settings through it.
//
// Threads and runs:
//  - The settings are guarded by one mutex: every setter and every snapshot
//    is atomic with respect to the others, so no reader ever sees a torn
//    value.  That alone does not make results reproducible: setters belong on
//    the cycle thread, before or between parallel regions, never inside one.
//    A drop that needs a different surface selection, z range or cone sets it
//    on its own context (contactContextSetFacetModel and friends), never in
//    the settings.
//  - contactSettingsReset restores the defaults and clears the taper cone
//    record.  The cycle kernel calls it at the start of every run, before any
//    setter, so that two runs of a job in one process see the same settings.
//  - Settings that hold pointers (surfaces, boxes, boundaries, offset model)
//    do not own them: the setter's caller keeps them alive while drops run
//    and clears the setting before freeing them.
//
// Units: lengths in the job's internal unit; angles in degrees unless a field
// says radians.
#pragma once

#include <cstdint>

#include "model/mesh/model.h"

struct BoundaryRec;
struct BoundarySet;
struct CandidateList;
struct OffsetModel;
struct Pline;

// Defaults of the settings before any setter ran.
inline constexpr double kContactDefaultZFloor = -10000.0;
inline constexpr double kContactDefaultZTop = 10000.0;
inline constexpr double kContactDefaultAngleStep = 5.0;  // degrees until a drop sets radians
inline constexpr double kContactDefaultCosTwiceStep = 0.985;
inline constexpr double kContactDefaultCosStep = 0.996;

// The clip factor is stored as the given factor divided by this reference.
inline constexpr double kContactClipFactorRef = 0.8;
// Smallest extra allowance (in magnitude) that switches the second chance on,
// and the smallest precision angle that counts as set.
inline constexpr double kContactExtraAllowanceMin = 0.00001;
inline constexpr double kContactPrecisionAngleMin = 0.00001;
// Length tolerance of the refinement turn test.
inline constexpr double kContactRefineTol = 0.00001;
// Cosine above which the second segment of the turn test counts as straight.
inline constexpr double kContactRefineStraightCos = 0.99999;

// The taper cone of a tool: a frustum above the ball or corner radius,
// relative to the tool's centre point (tip plus corner radius).
struct ToolCone {
  int32_t taperOn;     // the tool's taper flag
  double taperAngle;   // degrees
  double length;       // tool length (the outer z)
  double innerRadius;  // where the taper leaves the ball or corner radius
  double outerRadius;  // at the top
  double innerZ;       // -sin(angle) x tip radius
  double outerZ;       // the tool length
  double growth;       // outer radius - tool radius
};

// The working copy of the contact settings that one drop (or one point entry
// call) uses.  Lives on its caller's stack; owns none of its pointers.
struct ContactContext {
  double* diagMin;  // process-wide 45-degree extents (model grid), or null
  double* diagMax;
  int32_t vertexSamples;      // 1: drops add samples at the guide curve's vertices
  double precisionAngle;      // refinement angle step in degrees, used above 0.00001
  double clipFactor;          // radius reduction factor of the clip-surface pass
  int32_t callCounter;        // sample evaluations since the last break poll
  int32_t clipPass;           // 1: clip surfaces are tested in a second sweep
  int32_t wallSurfaces;       // 1: clip surfaces only mark gaps
  int32_t boundWalls;         // 1: a clip group is skipped unless it is the last
  double angleStep;           // 5 (degrees) until a drop sets it (radians)
  double cosTwiceStep;        // turn threshold after a segment shorter than the step
  double cosStep;             // turn threshold otherwise
  double zFloor;              // lowest height a drop starts from and keeps
  double zTop;                // heights above zTop + 0.00001 are gaps
  CandidateList* candidates;  // present: candidate lists are used
  Facet* facets;              // facet selection
  int32_t facetCount;
  TriList* triangles;  // triangle selection
  Vec3d* maxCorners;   // per item of the selection
  Vec3d* minCorners;
  int32_t keepUntouched;  // 1: an untouched drop still yields its start height
  int32_t keepTouch;      // 1: drops keep keepUntouched instead of the model's flag
  int32_t slopeSwitch;    // 1: slope range test and floor handling
  double slopeAngle;      // degrees: steeper surfaces make gaps
  double flatAngle;       // degrees: flatter surfaces make gaps (ignored below 0.00001)
  int32_t curveZFloor;    // 1: points below a guide curve's z are lifted and kept
  int32_t taperOn;        // 1: the taper cone takes part in every contact
  double coneInnerRadius;
  double coneOuterRadius;
  double coneInnerZ;
  double coneOuterZ;
  double coneGrowth;  // outer radius - tool radius; widens the box tests
  int32_t coneStale;  // 1: rebuild the cone from the tool before the next contact
  BoundarySet* contactBoundaries;
  OffsetModel* offsetModel;  // start-height probe of ball tools on facet models
  ToolShape overrideTool;    // replaces the model's and groups' tools when on
  int32_t overrideOn;
  int32_t extraAllowanceOn;      // 1 when |extraAllowance| >= 0.00001
  double extraAllowance;         // radius reduction of the second-chance contact
  BoundaryRec* slopeBoundaries;  // chain of the slope (optimisation) areas
  int32_t slopeBoundariesOn;
};

// The process-wide settings hold the same fields as a context (their call
// counter and cone-stale mark stay 0).
using ContactSettings = ContactContext;

// ---- Run lifecycle ------------------------------------------------------------

// Restores every setting to its default and clears the process-wide taper
// cone.  Called by the cycle kernel at the start of each run (and by tests);
// must not run while drops run.
void contactSettingsReset();

// ---- Setters (cycle thread; each a single locked update) ------------------------

// Facet selection, boxes, candidates, z floor, z top and keep-untouched; the
// triangle list keeps its value.
void contactSetFacetModel(Facet* facets, int count, Vec3d* minCorners, Vec3d* maxCorners,
                          CandidateList* candidates, double zFloor, double zTop, int keepUntouched);
// Triangle selection and the same values; facets and count keep theirs.
void contactSetTriangleModel(TriList* triangles, Vec3d* minCorners, Vec3d* maxCorners,
                             CandidateList* candidates, double zFloor, double zTop,
                             int keepUntouched);
// The model's selection: a triangle model (kind 3) by contactSetTriangleModel,
// any other kind by contactSetFacetModel, each with the model's corners and
// candidate list and its box's min z and max z as z floor and z top.
void contactSetModel(const ModelRec* model, int keepUntouched);
// Takes every array of model (facets, triangles, corners, candidate list)
// out of the selection before the model frees them, so that no later drop
// reaches freed surfaces: those pointers go back to their defaults, and with
// the corners also the z floor, z top and keep flag that came with them.
// Changes nothing when the selection holds none of them (so it may run
// wherever a model is freed).
void contactForgetModel(const ModelRec* model);

int contactSetVertexSamples(int on);  // returns on
void contactSetSlopeLimits(int on, double slopeAngle, double flatAngle);
int contactSetCurveZFloor(int on);  // returns on
void contactSetSlopeBoundaries(int on, BoundaryRec* chain);
void contactSetKeepTouch(int on);
// Taper switch; the five cone values are copied from the process-wide
// ToolCone (build it first with toolShapeSetCone).
void contactEnableTaperCone(int on);
int contactSetClipPass(int on);  // returns on
int contactGetClipPass();
void contactSetPrecisionAngle(double degrees);
void contactSetOffsetModel(OffsetModel* offsetModel);
BoundarySet* contactSetContactBoundaries(BoundarySet* set);  // returns set
// Override switch; the tool is copied when not null.  Returns on.
int contactSetToolOverride(int on, const ToolShape* tool);
// Copies the stored override tool to out (also when the override is off);
// returns the switch.
int contactGetToolOverride(ToolShape* out);
// Clip factor = f / 0.8.
void contactSetClipFactor(double f);
void contactSetWallSurfaces(int on);
void contactSetBoundWalls(int on);
// Extra allowance = x, switched on when |x| >= 0.00001 (the value is stored
// either way).
void contactSetExtraAllowance(double x);

// ---- Contexts ------------------------------------------------------------------

// Snapshot of the settings into out (call counter and cone-stale mark 0; the
// diagonal extents are the model grid's process-wide arrays).  Any thread;
// each thread keeps its last snapshot and takes the lock only after a setter
// ran, so loading a context per call from many threads costs a copy.
// Returns out.
ContactContext* contactContextLoad(ContactContext* out);

// The context of one surface group: the parent's values except the group's
// selection (facets, count, triangle list, corners), no candidate list, no
// diagonal extents, cone stale, and the extra allowance with its switch from
// the settings (a lock-free read, cheap enough for every sample).
// out may be parent.  Returns out.
ContactContext* contactContextForGroup(ContactContext* out, const ContactContext* parent,
                                       const SurfaceGroup* group);

// Selection setters of a context: the same fields as the settings setters of
// the same names, written into ctx only.  Drops use these to take their
// model's selection without touching the settings.
void contactContextSetFacetModel(ContactContext* ctx, Facet* facets, int count, Vec3d* minCorners,
                                 Vec3d* maxCorners, CandidateList* candidates, double zFloor,
                                 double zTop, int keepUntouched);
void contactContextSetTriangleModel(ContactContext* ctx, TriList* triangles, Vec3d* minCorners,
                                    Vec3d* maxCorners, CandidateList* candidates, double zFloor,
                                    double zTop, int keepUntouched);
void contactContextSetModel(ContactContext* ctx, const ModelRec* model, int keepUntouched);

// ---- Taper cone -----------------------------------------------------------------

// The cone of a tool (pure): c = radius for a ball, corner radius for a torus,
// else 0; a = taper angle; inner z = -sin(a) c; outer z = length; inner radius
// = c cos(a) + (radius - c); outer radius = tan(a) (outer z - inner z) + inner
// radius; growth = outer radius - radius.  Returns out.
ToolCone* toolConeFromTool(const ToolShape* tool, ToolCone* out);

// Taper on = the tool's taper flag; the cone values from the tool as above.
// Writes ctx only.
void contactContextSetCone(ContactContext* ctx, const ToolShape* tool);

// Fills the process-wide ToolCone from the tool (cycle thread).
void toolShapeSetCone(const ToolShape* tool);
// The process-wide ToolCone (valid for the process; written only by
// toolShapeSetCone and contactSettingsReset on the cycle thread).
const ToolCone* toolShapeGetCone();

// ---- Refinement tests ------------------------------------------------------------

// Does the path turn or climb so much at b that a sample between a and b is
// needed?  Points Pa, Pb, Pc of path: 0 when a or c lies outside the path, or
// when Pa and Pb (3D) or Pb and Pc coincide within 0.00001.  u = unit(Pb -
// Pa) with length d, v = Pc - Pb with 2D length h, k = u . v / |v|; the
// threshold is ctx->cosTwiceStep when sampleStep - 0.00001 > d, else
// ctx->cosStep.  1 when k <= threshold and the first segment is not
// horizontal (|u.z| >= 0.00001); otherwise 1 when k <= 0.99999 and h x
// slopeFactor < |v.z|; else 0.  tool is not read.  Reads only.
int contactNeedsRefine(const ContactContext* ctx, const Pline* path, const ToolShape* tool,
                       double sampleStep, int a, int b, int c, double slopeFactor);
// contactNeedsRefine on a freshly loaded context (thresholds 0.985 and 0.996).
int contactNeedsRefineAt(const Pline* path, const ToolShape* tool, double sampleStep, int a, int b,
                         int c, double slopeFactor);

// 1 when plineIsBreakBetween(path, index - 1, index) is non-zero, else 0.
int contactIsStatusBreak(const ContactContext* ctx, const Pline* path, int index);
int contactIsStatusBreakAt(const Pline* path, int index);
