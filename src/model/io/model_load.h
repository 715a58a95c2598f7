// Model loading by file kind: part surfaces, clip surfaces, extra surfaces and
// walls from 3DF polyhedron files, STL files, binary facet files and profile
// files, into the model itself or into surface groups.
//
// File kinds.  The characters after the last "." of the file's own name
// decide first (any case): "stl" names an STL file, "kfy" and "3df" a 3DF
// polyhedron file.  Only for a name without an extension or with another
// one does the content decide:
//   - a file whose first line is the kFY banner is a 3DF polyhedron file;
//   - a file whose first four bytes are an f32 in [1, 3) (its version) and
//     whose header count the file size can hold is a binary facet file;
//   - a file that is an STL file by the rule of stl_file.h is one;
//   - every other file is a binary facet file.
// A name that does not open, or is not a regular file, is not probed: it is a
// binary facet file, whose reader then reports it.
//
// Only regular files are read (base/input_files.h): a pipe, a device or a
// directory gives the reader's code at once (-2 here) and message 337.
//
// Vertex mapping: vertices of binary facet and STL files are mapped from job
// coordinates into working coordinates (framePtWorldToTool); 3DF files map
// their own vertices (poly3df_file.h); walls take the profile points as the
// profile reader gives them.
//
// Return codes of every loader: 0 success (1 where said); -1 no memory or a
// grid that cannot be filled; -2 an empty name or a file that cannot be
// opened or read (also a file that yields no item); -3 a model kind other
// than 3 or 4; -4 a binary facet version other than 1 or 2, an unreadable
// header, a header that announces no facets or more than the file holds, a
// surface count that is negative or overrun, or a facet that cannot be read.
//
// Ownership: a loader replaces the surface pointers of the model without
// freeing earlier ones: load into a freshly initialised model, or free its
// surfaces first (modelFreeSurfaces).  On a failure a loader frees the
// surfaces of the model it loaded into.  Grids of the model itself are built
// afterwards by the caller (modelBuildGrids).
//
// Clip, extra and wall surfaces never vanish silently: a named file of that
// kind that cannot be loaded sends message 332 ("* Fehler beim lesen der
// Datei %s", level 9, with the file name) and the load goes on with the
// surfaces it has.
//
// Threads: the loader options, the facet file readers, the 3DF reader and the
// diagonal extents are process-wide; load on the cycle's thread, one load at a
// time.
#pragma once

#include "geometry/lists/lists.h"
#include "model/mesh/model.h"

// File kinds of modelFileKind.
inline constexpr int kModelFileFacets = 0;  // binary facet file
inline constexpr int kModelFile3df = 1;     // 3DF polyhedron text
inline constexpr int kModelFileStl = 2;     // STL, ASCII or binary

// Loader results.
inline constexpr int kModelLoadOk = 0;
inline constexpr int kModelLoadNoMemory = -1;
inline constexpr int kModelLoadUnreadable = -2;
inline constexpr int kModelLoadWrongKind = -3;
inline constexpr int kModelLoadBadFile = -4;

// Two vertex heights closer than this become the larger of the two.
inline constexpr double kModelSnapZTol = 0.0001;
// The z limit while it is off.
inline constexpr double kModelNoZLimit = 999999.0;

// Message sent for a clip, extra or wall surface file that cannot be loaded.
inline constexpr int kModelMsgFileUnreadable = 332;

// ---- Loader options (process-wide, cycle thread) ------------------------------

// Switches the z limit on with value z: the 3DF facet load and the binary
// facet load into a facet model then drop every face or facet with a vertex
// z (in working coordinates) above z; a vertex exactly at z is kept.  Other
// loads ignore the limit.
void modelSetLoadZLimit(double z);

// The internal length scale of the job (1 after a reset): the allowances
// stored in version-2 facet files are multiplied by it.
void modelSetLoadLengthScale(double scale);
double modelLoadLengthScale();

// Restores the options: z limit off (kModelNoZLimit), length scale 1.  The
// cycle calls it at the start of every run so that no run inherits the limit
// or scale of the one before.
void modelLoadReset();

// ---- Working copies that load files of their own ---------------------------------

// A working copy of the model (same kind, tool and settings) that holds no
// surfaces, no grid, no groups and a zero box: a clean model to load a further
// file into without touching the model's surfaces.  Null on allocation
// failure.  Free with modelFreeWorkingCopy; the model must outlive it.
ModelRec* modelWorkingCopy(const ModelRec* model);

// Frees what a working copy loaded (never the process-wide diagonal extents,
// which belong to the model it was taken from) and the copy itself.  Null
// allowed.
void modelFreeWorkingCopy(ModelRec* copy);

// ---- File kinds and small helpers ---------------------------------------------

// The kind of the named file (kModelFile*), decided as described at the top.
// Null or empty names give kModelFileFacets.
int modelFileKind(const char* name);

// Moves a repeated vertex of a facet into the fourth place (vertices are equal
// when all coordinates differ by less than kModelTol): when P3 equals P2, P1
// or P0 the facet is a triangle as it is; else when P2 equals P1 or P0, P2
// and P3 are exchanged; else when P1 equals P0, P0 and P3 are exchanged.
// Returns 1 for a triangle, 0 for a quadrangle.
int facetRepeatLast(Facet* facet);

// Z snapping: the vertex pairs (0, 1), (0, 2), (1, 2) in this order; a pair
// whose heights differ by less than kModelSnapZTol both take the larger, each
// step seeing the heights the one before left.
void modelTriSnapZ(Tri* tri);

// ---- Loads into the model itself ------------------------------------------------

// Loads one file into the model itself by model kind and file kind.  The
// corner arrays and the grid pointer are cleared first; groups the model held
// are freed with their surfaces, so the group list is empty afterwards.
int modelLoadFile(ModelRec* model, const char* name);

// The single loaders behind modelLoadFile.  3DF: the polyhedron readers with
// the set "POLY" (the facet reader keeps the rotated extents while the
// diagonal-boxes switch is on, and they become diagMin/diagMax).  STL:
// triangles mapped, z-snapped and top vertex first; facets mapped, top vertex
// first, stored as (P0, P1, P2, P2) without extents (earlier extents are
// dropped while the switch is on).  Binary: facets mapped, oriented
// counter-clockwise and given extents while the switch is on; triangles via
// facetRepeatLast, (P0, P1, P2) and for a quadrangle (P0, P2, P3), each
// mapped, z-snapped and top vertex first.  Items end sorted by top z with
// their corner arrays and the model box.
int modelLoad3dfTris(ModelRec* model, const char* name);
int modelLoad3dfFacets(ModelRec* model, const char* name);
int modelLoadStlTris(ModelRec* model, const char* name);
int modelLoadStlFacets(ModelRec* model, const char* name);
int modelLoadFacetFile(ModelRec* model, const char* name);
int modelLoadFacetFileTris(ModelRec* model, const char* name);

// As modelLoadFile, except: the grid pointer and group list stay as they are
// for a 3DF file, and a binary facet file of version 2 becomes one surface
// group per stored surface (modelLoadFacetGroups).  spareArgument is not read.
int modelLoadMultiFile(ModelRec* model, const char* name, int tipMode, int spareArgument);

// A binary facet file as groups.  Version 1 loads into the model itself.
// Version 2: one group per surface slot 0..6 that holds facets (slot 7 facets
// are skipped), made at its first facet with the slot's allowance x the
// length scale, tipMode, and clip 1 when the slot's name begins with "%";
// room for the slot's stored count + 1 facets (twice that for triangles): a
// slot that receives more, or a negative slot count, refuses the file (-4).
// Facets are mapped; triangle groups get (P0, P1, P2) and for a quadrangle
// (P0, P2, P3), z-snapped and top vertex first.  The model box covers every
// facet read.  Part groups come before clip groups: the first clip slot from
// the front is exchanged with the last part slot from the back until they
// meet (empty slots are passed over; the order within a class is not kept).
// Then each group is sorted and given its corner arrays and appended in that
// slot order.  No grids are built.
int modelLoadFacetGroups(ModelRec* model, const char* name, int tipMode);
int modelLoadFacetGroupsTris(ModelRec* model, const char* name, int tipMode);

// ---- Composite loaders -----------------------------------------------------------

// The part file by modelLoadFile (its failure is the result), then the extra
// file the same way into a working model (diagonal-boxes switch off while it
// loads) whose items are appended to the model's (modelAppendSurfaces).  An
// extra file that cannot be loaded leaves the part alone: result 0 and
// message 332 for a non-empty name.  A failed append frees the model's
// surfaces and gives -1.
int modelLoadMerged(ModelRec* model, const char* partName, const char* extraName);
// The same with modelLoadMultiFile for the part file.  spareArgument is not
// read.
int modelLoadMultiMerged(ModelRec* model, const char* partName, const char* extraName, int tipMode,
                         int spareArgument);

// Switches the diagonal boxes off, adds the part file as a group (allowance 0,
// clip 0; its failure is the result), then every non-empty clip name as a
// group with clipAllowance and clip 1 (a failure sends message 332 and is
// passed over), and widens the model box by the groups.  Result 0.  The model
// itself keeps no items of its own: all are in groups.
int modelLoadWithClip(ModelRec* model, const char* partName, const char* clipName1,
                      const char* clipName2, int tipMode, double clipAllowance);

// modelLoadWithClip, then a non-empty wall name as a wall group with
// wallAllowance and clip 1 (a failure sends message 332).
int modelLoadWithClipAndWall(ModelRec* model, const char* partName, const char* clipName1,
                             const char* clipName2, const char* wallName, int tipMode,
                             double clipAllowance, double wallAllowance);

// Switches the diagonal boxes off, loads the part file with
// modelLoadMultiFile (its failure is the result); a non-empty first clip name
// is loaded the same way into a working model whose groups and own items move
// into the model as clip groups (modelMergeGroups with clipAllowance); a
// non-empty second clip name is added as a group with clipAllowance and clip
// 1; clip failures send message 332.  Then the model box is widened by the
// groups.  Result 0.
int modelLoadMultiWithClip(ModelRec* model, const char* partName, const char* clipName1,
                           const char* clipName2, int tipMode, double clipAllowance);

// ---- Surface groups -----------------------------------------------------------

// A group of the given kind (4 facets, 3 triangles; any other kind -3) from a
// surface file of any file kind, appended at the end of the model's list.
// Returns 1 or a loader code (the model is then unchanged).
int modelAddSurfaceFile(ModelRec* model, const char* name, double allowance, int tipMode, int kind,
                        int clip);

// A wall group of the given kind (any other kind -3) from a profile file.
// Returns 1 or a loader code (the model is then unchanged).
int modelAddWallFile(ModelRec* model, const char* name, double allowance, int tipMode, int kind,
                     int clip);

// The group readers behind modelAddSurfaceFile.  The group gets the model's
// tool through the allowance rule (allowance, tipMode), the clip mark, its
// items sorted by top z, corner arrays, box and a grid of about 30 cells.
// Binary facet files (any version): every facet whatever its slot, mapped;
// triangle groups take (P0, P1, P2) and (P0, P2, P3) of every facet (a
// triangle facet adds a degenerate second one).  3DF files: the polyhedron
// readers' items.  STL files: as the model's own STL loads.  1 or a code.
int surfaceGroupReadFacets(ModelRec* model, const char* name, double allowance, int tipMode,
                           int clip);
int surfaceGroupReadTris(ModelRec* model, const char* name, double allowance, int tipMode,
                         int clip);

// The wall readers behind modelAddWallFile: every profile of the file (with
// heights), every pair of consecutive points one degenerate item, the facet
// (start, end, end, end) with tag 0 or the triangle (start, end, end).  -2
// for an empty name or a file that gives no segment.  1 or a code.
int surfaceGroupWallFacets(ModelRec* model, const char* name, double allowance, int tipMode,
                           int clip);
int surfaceGroupWallTris(ModelRec* model, const char* name, double allowance, int tipMode,
                         int clip);

// Appends the own items of other to the model's own items: facets copied
// (oriented counter-clockwise while the diagonal-boxes switch is on), all
// sorted by top z, corner arrays and (switch on) rotated extents computed
// again, box widened by other's; triangles into a new TriList holding the
// model's then the other's, sorted, corners, box from the list.  0; -1 on
// allocation failure (the model is then unchanged); -3 when the kinds differ.
// other is not changed.
int modelAppendSurfaces(ModelRec* model, const ModelRec* other);
