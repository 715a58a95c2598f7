// Link output for facet models: turns the ordered paths of a pass into tool
// moves.  Each path is cut into pieces at gaps; a piece ends with a retract
// macro and the next one starts with an approach macro, the two joined by a
// link move that either runs along the surface (near pieces) or goes up to
// the safety plane, across and down (far pieces).  The cutting moves of the
// pieces go in between.
//
// Every move leaves through the move hooks (boundaries/links/move_hooks.h):
// first lowered by the tool's tip offset, then mapped into NC coordinates
// when the working frame is active.  Link markers, feed switches, tool
// changes and display points go straight to the output adapter.
//
// Pass protocol: linkResetState before the first path of a pass,
// linkStartNewSection before a group of paths (a level), linkOutputPath per
// path, linkFinishOutput at the end of the pass.
//
// Threads: the state is one process-wide record, unsynchronised; the link
// output runs on the cycle thread after the parallel regions of a level.
#pragma once

#include "boundaries/links/link_params.h"
#include "boundaries/macros/macro_rec.h"
#include "geometry/pline/pline.h"
#include "geometry/primitives/vec.h"
#include "model/mesh/model.h"

// An approach or retract macro between its preparation and its emission:
// the macro and, when it is dropped onto the model, the dropped path.  The
// record owns both until linkMacroInfoFree.
struct MacroPathInfo {
  int use;      // 1 when the macro is to be dropped onto the model
  int trimmed;  // 1 when the holder check shortened the dropped path
  Pline* path;  // the macro dropped onto the model, or null
  MacroRec* macro;
};

// The state carried from path to path and from pass to pass.
struct LinkState {
  Vec3d lastPoint;  // last point reached, internal coordinates, before the tip offset
  Vec3d prevPoint;  // last point before lastPoint 0.001 or more away from it
  int lastValid;
  int connectionPending;  // the next retract-plane link writes the connection marker
  int newSection;         // the next path's first piece is never near
  int sectionFirstLink;   // the first retract-plane link of a section is still to come
  int pendingRetract;     // a piece ended with cutting moves; its retract is to be made
  Vec3d pathEnd;          // where the last piece ended
  Vec3d prevEnd;          // the point before pathEnd (direction of the retract)
  MacroParams storedMacro;  // macro settings in force when the last piece ended
  int lastTag;
  int macroTag;
  Vec3d linkTarget;  // direction point of the last link target
  Vec3d firstPoint;  // first point of the last path that had one
  Vec3d secondPoint;
  int firstValid;
  MacroPathInfo approachInfo;
  MacroPathInfo retractInfo;
  int pendingTool;  // tool whose change the next retract-plane link writes; <= 0 none
  int surfaceLinkLift;
};

// Results of the link output.
inline constexpr int kLinkMoveFailed = -3;      // a move hook failed
inline constexpr int kLinkDropFailed = -4;      // a tool drop along a link line failed
inline constexpr int kLinkStartColliding = -5;  // the first link of a pass starts in collision

// Message of a first link that starts in collision.
inline constexpr int kMsgStartInCollision = 5502;

// Puts the whole state to its value at load (pendingTool -1, the rest zero)
// and frees macros still held.  Called at the start of every run.
void linkStateLoad();

// Starts a pass: no last point, no pending retract, no first point, no new
// section, connection marker pending.  Returns frameToolAxisDiffers().
int linkResetState();
// The next path starts a new section; returns 1.
int linkStartNewSection();
void linkSetPendingTool(int tool);
void linkSetSurfaceLinkLift(int on);
// The macro settings the pending retract is built with.
void macroParamsStore(const MacroParams& macro);

// Emits one path.  1 when at least one piece or special piece was handled,
// 0 when the path held no usable point, negative on failure (kLinkMoveFailed,
// kLinkDropFailed, kLinkStartColliding).
int linkOutputPath(Pline* path, LinkParams* params, ModelRec* model);

// Ends a pass: the pending retract macro, the final retract to the safety
// plane; then no pending retract and no last point.  0 or kLinkMoveFailed /
// kLinkDropFailed.
int linkFinishOutput(LinkParams* params, ModelRec* model);

// Installs the facet link output as the path output's emitter for facet
// models and as its pass functions.  Cycle thread, outside a pass.
void linkInstallFacetEmitters();

// The state, for tests.
const LinkState& linkState();

// Frees the macro and the dropped path of info and clears it.
void linkMacroInfoFree(MacroPathInfo* info);
