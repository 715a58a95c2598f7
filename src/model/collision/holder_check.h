// Holder, head and shank check of a tool path.
//
// Before a finishing path is emitted, every tool position is checked for
// collisions of the parts of the tool that do not cut: the holder and the
// spindle head (revolved meshes, holder_meshes.h) and the shank above the
// cutting length, tested as two tool shapes dropped onto the model: the cone
// frustum from the tool radius at the cutting length up to the shank, and a
// flat disc of the shank's diameter at the cutting length.  Findings go into
// the status code of each point: a colliding point, or one in the widened
// zone around collisions, gets code 10; gap points (code 2) are never tested
// and never marked.  By mode the path is then cut at the first collision,
// marked from it on, marked at its colliding points, or, for holder and
// head, the tool is lifted until they are free.
//
// Holder-check modes (the job's holder-check mode):
//   0 (and 1)  cut at the first collision, the new end marked over the
//              widening length; result -2
//   2          marked 10 from the first collision on, widened; message 6007
//              and a display marker once; result 0; after any recorded
//              collision of the run every mode-2 path is marked whole
//              without a test
//   3          only the colliding points marked (then widened); message 6007
//              once per run; result 0
//   4          holder and head lifted: the extra lift grows until they are
//              free at every point; a shank collision cuts as mode 0
//   other      no marks after the passes; the path is reduced; result 0
// A path without collisions is reduced (unless skipReduce) and gives 1.
//
// Run state: the switches, the collision record, the mode-3 message latch
// and the extra lift are process-wide; holderCheckReset restores their load
// values and the cycle calls it at the start of every run, so that a second
// run gives the result of the first.
//
// Threads: each pass tests the points of its path in parallel (static
// schedule) when it is called outside a parallel region, and on the calling
// thread inside one (a line of a parallel driver); every point writes only its own status word, and the pass's
// first hit is the hit with the lowest index, so results do not depend on
// the number of threads.  In mode 4 every point's lift is searched on its
// own, from the lift last set with holderSetExtraLift, and the largest is
// kept.  The checks may run from several driver threads at once on
// different paths: the collision record, the latches and the lift are
// guarded.  The model, its grids and the holder meshes are only read.
#pragma once

#include "boundaries/links/link_params.h"
#include "geometry/pline/pline.h"
#include "geometry/primitives/vec.h"
#include "model/mesh/model.h"

// Results of the checks.
inline constexpr int kHolderFree = 1;
inline constexpr int kHolderMarked = 0;
inline constexpr int kHolderCollision = -2;
// Result of modelToolCollidesAt on a collision.
inline constexpr int kToolCollides = -1;

// Holder-check modes.
inline constexpr int kHolderModeCut = 0;
inline constexpr int kHolderModeCutAlias = 1;
inline constexpr int kHolderModeMarkRest = 2;
inline constexpr int kHolderModeMarkPoints = 3;
inline constexpr int kHolderModeLift = 4;

// The collision message (level 9, value 0).
inline constexpr int kMsgHolderCollision = 6007;
inline constexpr const char kMsgHolderCollisionText[] = "* Tool holder Collision";
inline constexpr int kMsgHolderCollisionLevel = 9;
// The cycle's report of the extra lift after a run (value: the lift).
inline constexpr int kMsgExtraLift = 5500;
inline constexpr const char kMsgExtraLiftText[] = "* Extra tool lift = %f";

// A tool reaching this far above a position collides there.
inline constexpr double kToolCollisionRise = 0.01;
// Lengths, radii and angles below this count as zero.
inline constexpr double kHolderTol = 0.00001;

// Receives the collision point of a mode-2 collision for display (the output
// layer's display marker).  Called from any thread.
using HolderMarkerHook = void (*)(const Vec3d* point);

// ---- Path checks -------------------------------------------------------------------

// The full check of path: the holder and head pass (only when link holds a
// height grid, holderCollisionData), then the shank pass (when forced, or
// when the shank is wider than the cutter), then marking, widening over
// widenLength, closing of short free runs and reduction by mode (see the top
// of this file).  Points with code 3 become 0 first.  Returns 1 when nothing
// collides, -2 in modes 0 and 4 after a collision (path cut; a single point
// left becomes an empty path), 0 in modes 2 and 3 after a collision and for
// other modes.  The reduction uses link->stepMax as length and link->stepMin
// as tolerance.
int holderCheckPath(ModelRec* model, const LinkParams* link, Pline* path, int mode,
                    double widenLength);

// The same without the holder and head pass.  Returns 1 at once when the
// shank is not wider than the cutter (unless forced); without a collision
// the path is always reduced; in mode 4 a shank collision cuts the path and
// the result is 0.
int holderCheckPathShank(ModelRec* model, const LinkParams* link, Pline* path, int mode,
                         double widenLength);

// ---- Single positions ----------------------------------------------------------------

// Holder and head at position, then the shank (when forced or wider than the
// cutter, and the tool has no taper).  1 free, -2 collision.  link is not
// read.
int holderCheckPosition(ModelRec* model, const LinkParams* link, const Vec3d* position);
// The shank part alone.  1 free, -2 collision.  link is not read.
int holderCheckPositionShank(ModelRec* model, const LinkParams* link, const Vec3d* position);

// The model's tool dropped at position's x and y from the model's box
// bottom (raised to its floor z, never above position z) through the
// current contact settings: -1 with the contact point in *contact when it
// comes to rest 0.01 or more above position z, else 1 (also when the drop
// touches nothing).  Any thread.
int modelToolCollidesAt(const ModelRec* model, const Vec3d* position, Vec3d* contact);

// ---- Collision record, switches and run state --------------------------------------

// Copies the recorded collision point to *out; returns 1 when one has been
// recorded in this run, else 0.
int holderGetFirstCollision(Vec3d* out);
// Stores point as the recorded collision.
void holderRecordCollision(const Vec3d* point);

void holderSetFixedAxis(int flag);
int holderFixedAxis();
// Sets the extra lift of mode 4 and the lift the searches start from.
void holderSetExtraLift(double lift);
// The largest lift found since it was last set.
double holderGetExtraLift();
// Forces the shank test and keeps the checks silent (no message, no marker).
void holderSetSilentShankCheck(int flag);
// Skips the reduction at the end of a collision-free holderCheckPath (1 at
// load).
void holderSetSkipReduce(int flag);
// Installs the display marker hook (null: no markers).
void holderSetMarkerHook(HolderMarkerHook hook);

// Restores every switch, record, latch and the lift to its load value
// (the marker hook stays).  Called at the start of every run.
void holderCheckReset();

// ---- Parts of the checks (exposed for tests) -----------------------------------------

// Widening of the collision marks over w: interior free points between two
// marks are marked; then (|w| >= 0.00001 and a non-empty path) the last point
// is marked when nothing is; every run of marks is extended backwards and
// forwards until the distance walked exceeds w (a gap stops a walk
// unmarked); after the first run of marks every free run shorter than w is
// marked whole; finally every interior free point whose neighbours are both
// marks or gaps is marked.  "Free" means a code other than 2 and 10.
void holderWidenMarks(Pline* path, double w);

// Closing of short free runs next to collision zones: a free run whose
// neighbours on both sides are marks or gaps, at least one of them a mark,
// qualifies; from the first qualifying run on, every later free run of the
// path is measured too.  A measured run shorter than radius (the sum of its
// point distances) is marked whole.
void holderCloseShortRuns(Pline* path, double radius);
