// Holder and head meshes, the mesh test at a tool position and the lift search.
//
// For the holder check, the tool holder and the spindle head are revolved
// from their outlines (tool_outline.h) into triangle meshes, and so is the
// surface they must not touch: the machining model itself (default build) or
// separate surface files for the holder and for the head (file build).  Every
// mesh gets a box tree (coll_tree.h).  At a tool position the holder and head
// trees are moved to the position (a pure translation: the tool axis is
// vertical) and collided with the surface trees; the lift search finds the
// smallest extra height at which holder and head are free.
//
// State: one process-wide HolderMeshSet.  A driver builds it once per run on
// the cycle thread (holderBuildDefault or holderBuildFromFiles), the checks
// read it from any number of threads while paths are computed, and
// holderFreeModels frees it at the end of the run.  holderMeshReset (called
// at the start of every run) also forgets the chord tolerances.
//
// A body that cannot be checked is never left out silently: a holder or head
// mesh that could not be built, a surface file that cannot be opened or a kFY
// contour that is missing sends message kMsgBodyNotChecked with the body's
// code (kHolderBody*) and the build goes on; running out of memory fails the
// build.
#pragma once

#include <cstdint>

#include "boundaries/links/link_params.h"
#include "geometry/lists/lists.h"
#include "model/collision/coll_tree.h"
#include "model/collision/tool_outline.h"
#include "model/mesh/model.h"

// Message of a failed offset of the holder outline (level 9, value 0).
inline constexpr int kMsgOffsetError = 6054;
inline constexpr const char kMsgOffsetErrorText[] = "* Error computing offset";
// Warning that a body takes no part in the holder check; the value names the
// body (kHolderBody*).  Level 9.
inline constexpr int kMsgBodyNotChecked = 6055;
inline constexpr const char kMsgBodyNotCheckedText[] = "* Warning: body not checked for collisions";
inline constexpr int kHolderMsgLevel = 9;
// Body codes of kMsgBodyNotChecked.
inline constexpr int kHolderBodyHolder = 1;
inline constexpr int kHolderBodyHead = 2;
inline constexpr int kHolderBodyHolderSurface = 3;  // the holder's check surfaces
inline constexpr int kHolderBodyHeadSurface = 4;    // the head's check surfaces
inline constexpr int kHolderBodyModel = 5;          // the model surfaces of the default build

// Sector counts of revolved outlines: an outline point on the axis gives two
// sectors; no segment gets more than kHolderMaxSectors.  A chord tolerance of
// zero or below (or not a number) is replaced by kHolderMinChordShare x the
// radius.
inline constexpr int kHolderAxisSectors = 2;
inline constexpr int kHolderMaxSectors = 720;
inline constexpr double kHolderMinChordShare = 1e-4;

// Lift search: the first trial height lies kHolderLiftMargin above the
// surface top plus the lift radius, a second kHolderLiftRetry higher; the
// bisection stops when the interval is kHolderLiftResolution or shorter.
inline constexpr double kHolderLiftMargin = 1.0;
inline constexpr double kHolderLiftRetry = 100.0;
inline constexpr double kHolderLiftResolution = 0.01;

// Factor of the chord tolerance in the outline offsets of the file build.
inline constexpr double kHolderChordOffsetFactor = 1.2;

struct HolderMeshSet {
  FloatTriList* surfaceMesh;  // default build: the model's surfaces
  CollTree* surfaceTree;
  FloatTriList* holderMesh;
  CollTree* holderTree;
  FloatTriList* headMesh;
  CollTree* headTree;
  FloatTriList* holderCheckMesh;  // file build: what the holder must not touch
  CollTree* holderCheckTree;
  FloatTriList* headCheckMesh;  // file build: what the head must not touch
  CollTree* headCheckTree;
  double liftRadius;           // the clearance's tool radius
  double holderMeshTolerance;  // chord tolerances of the file build; 0: half
  double headMeshTolerance;    //   the holder or head clearance
};

// The process-wide set (read-only view for the checks and tests).
const HolderMeshSet* holderMeshSet();

// Default build from the model and the clearance: the model's surfaces as
// one mesh, the holder and head outlines of the clearance revolved with chord
// tolerance tolerance, and their trees.  ignored is not read.  1; -1 when a
// mesh or tree cannot be made for lack of memory (members built so far stay
// until holderFreeModels).  Earlier members are freed first.  Cycle thread.
int holderBuildDefault(ModelRec* model, const HolderClearance* clearance, double tolerance,
                       double ignored);

// File build: the holder is tested against holderSurfaceFile and the head
// against headSurfaceFile (either may be empty: that body is then tested
// against nothing).  The holder outline comes from the contour "Holder" of
// holderKfyFile (else the clearance), is offset by allowance, gets the shank
// in front of it, is offset by 1.2 x t + holderClearance and shifted up by
// allowance; the head outline comes from the contour "Head" of headKfyFile
// (else the clearance), based on the holder's top, offset by
// headClearance + allowance + 1.2 x v and shifted up by allowance.  t and v
// are the mesh tolerances, or half the holder or head clearance when below
// 0.00001.  1; -1 when an existing surface file yields no mesh, when memory
// runs out, or (after a completed build) when the holder outline offset
// failed (message 6054).  Earlier members are freed first.  Cycle thread.
int holderBuildFromFiles(ModelRec* model, const HolderClearance* clearance, double allowance,
                         const char* holderSurfaceFile, const char* headSurfaceFile,
                         const char* holderKfyFile, const char* headKfyFile, double holderClearance,
                         double headClearance);

// Stores the chord tolerances of the file build.
void holderSetMeshTolerances(double holderTolerance, double headTolerance);

// -2 when the head or the holder, moved to position, touches its surfaces,
// else 1.  Reads the set only: safe from any number of threads.
int holderMeshesCollideAt(const Vec3d* position);

// Raises *lift (the height added to position.z) until holder and head are
// free: 1 with *lift unchanged when free already; else 1 with the smallest
// free height found by bisection to kHolderLiftResolution (a colliding height
// lies less than that below it).  -1, *lift unchanged, when there is no
// surface mesh or the bodies are not free even kHolderLiftRetry above the
// first trial height.  Callers serialise it.
int holderFindLift(const Vec3d* position, double* lift);

// Frees every mesh and tree of the set and sets them to null.
void holderFreeModels();

// holderFreeModels, and the lift radius and both chord tolerances back to 0.
void holderMeshReset();

// Sectors of a revolved segment whose larger radius is radius, for chord
// tolerance tolerance (see the constants above).
int holderSectorCount(double radius, double tolerance);

// The outline revolved about the z axis: every segment (x radius, y height)
// sweeps holderSectorCount sectors of two triangles.  An empty outline, or
// one without height extent, gives an empty mesh.  Null when memory is
// missing.  Free with listFloatTriFree.
FloatTriList* holderMeshFromOutline(const ToolOutline* outline, double tolerance);

// The model's surfaces and those of its groups as one float mesh, each facet
// as the triangles (A, B, C) and (A, C, D), taken cell by cell of each grid
// (every item once) and then any item no cell lists.  Null when memory is
// missing.
FloatTriList* holderMeshFromModel(const ModelRec* model);

// A surface file (any kind modelLoadFile reads) as one float mesh, loaded as
// triangles with a ball tool of radius.  Null when the file cannot be loaded
// or memory is missing.
FloatTriList* holderMeshFromFile(const char* file, double offset, double radius);
