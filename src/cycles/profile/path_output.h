// Output of a level's path lines: in list order, or cut into runs and sorted
// so that the next piece always lies close to the piece just cut (zigzag
// machining alternates the directions).  Every path or run goes to the
// emitter of the model's kind, or through the trim layer when one is
// installed.
//
// A run is a maximal stretch of points that are neither gaps (kPointGap) nor
// special points (kPointSpecial); a special run is a maximal stretch of
// special points.  Run lists hold (first index, last index) pairs.
//
// Threads: everything here runs on the cycle thread, after the level's
// parallel region.  The emitter table is process-wide.
#pragma once

#include "boundaries/links/link_params.h"
#include "cycles/profile/pline_list.h"
#include "geometry/lists/lists.h"
#include "geometry/pline/pline.h"
#include "model/mesh/model.h"

// An emitter: takes one path or piece and sends its moves out.  0 or more
// for success, a negative result for a failure (-3 a move hook failed).
using PathEmitFn = int (*)(Pline* path, LinkParams* params, ModelRec* model);

// Where the paths go: facets for every model kind except triangle lists,
// triangles for kind 3, and trim, when non-null, in front of both (the
// macro-avoidance trim layer installs itself there for a job that asks for
// it).  A null facet or triangle emitter makes an output fail with
// kPathOutputNoEmitter.  The pass functions of the link output the drivers
// call: reset (the link state before the first pass of a run), startSection
// (before each level), finish (at the end of a pass: 0 or more, -3 when the
// output is full); null ones do nothing (finish then gives 0).
struct PathEmitters {
  PathEmitFn facets = nullptr;
  PathEmitFn triangles = nullptr;
  PathEmitFn trim = nullptr;
  void (*reset)() = nullptr;
  void (*startSection)(ModelRec* model) = nullptr;
  int (*finish)(LinkParams* params, ModelRec* model) = nullptr;
};

inline constexpr int kPathOutputNoEmitter = -3;

// Installs the emitter table and returns the previous one.  Cycle thread.
PathEmitters pathOutputSetEmitters(PathEmitters emitters);
PathEmitters pathOutputEmitters();

// Amount by which the tool radius is lowered while a level of infeed kind 4
// is output.
inline constexpr double kPathOutputInfeed4RadiusCut = 0.002;
// A zigzag sweep starts at the high end of its first run when z first rises
// by more than this (in internal units, not scaled with the job).
inline constexpr double kPathOutputRiseThreshold = 5.0;
// Sort mode 2 restarts the sweeps when the next run lies this much nearer to
// a remaining run of the previous path than to the piece just cut.
inline constexpr double kPathOutputRestartFactor = 1.2;
// Distance used for "no previous path" in the restart rule.
inline constexpr double kPathOutputNoPrevious = 100000.0;
// The gap limit of the run choice is at least this fraction of the tool radius.
inline constexpr double kPathOutputGapRadiusShare = 0.2;
// Short runs are those below this many model tolerances.
inline constexpr double kPathOutputShortRunTols = 5.0;
// Capacity of the work Pline of the sorted output.
inline constexpr int kPathOutputWorkCapacity = 1000;

// The facet emitter for every model kind but triangle lists (kind 3), whose
// emitter is the triangle one.  Returns the emitter's result, or
// kPathOutputNoEmitter when that emitter is not installed.
int linkOutputPathByKind(ModelRec* model, Pline* path, LinkParams* params);

// Fills runs (emptied first) with every run of two or more points of path.
// 1, or -1 when the list cannot grow.
int plineNormalRuns(const Pline* path, IntPairList* runs);
// The same for the special runs (status kPointSpecial).
int plineSpecialRuns(const Pline* path, IntPairList* runs);

// Empties dst and appends the points from..to of path in their order, with
// parameters, status words, flag bytes and axes (the point itself as axis
// when path has none).  1, or -1 for a range outside the path or a failed
// append.  dst and path must differ.
int plineCopyPoints(int from, const Pline* path, Pline* dst, int to);

// Distance between the piece W and the run [a, b] of path: 0 when W is
// empty, else the smallest of W's first, last and middle point to the run's
// polyline and the run's first, last and middle point to W's polyline.
double plineRunDistance(const Pline* w, const Pline* path, int a, int b);

// The smallest run distance between any run of prevRuns on prev and the run
// [a, b] of path; kPathOutputNoPrevious when prev is null or prevRuns is
// empty.
double plineRunsDistance(const Pline* prev, const IntPairList* prevRuns, const Pline* path, int a,
                         int b);

// 1 when the first point after a (up to b) whose z differs from point a's by
// more than kPathOutputRiseThreshold lies higher, else 0.
int plineRunRisesFirst(const Pline* path, int a, int b);

// The index in runs of the run to cut next after the piece W: the first run
// when W or runs is empty; else, with E the last point of W, the run nearest
// to E when even that one lies farther than gap; otherwise, of the runs
// within gap of E, the one nearest to W's middle point (the first of equal
// ones).  0 for an empty list.
int plineChooseRun(const Pline* w, const IntPairList* runs, const Pline* path, double gap);

// Outputs every path of the list in list order.  With infeed kind 4 the
// model's tool radius is lowered by kPathOutputInfeed4RadiusCut for the
// output and restored afterwards (also after a failure).  1, or the first
// negative emitter result (the output stops there).
int pathListOutputInOrder(PlineList* list, LinkParams* params, ModelRec* model, int infeedKind);

// Outputs the runs of the list in sorted order and consumes the list: the
// points it outputs become gaps, and paths without runs are freed (their
// nodes stay, emptied).  runDirection 2 is zigzag; sortMode 2 restarts the
// sweeps as described at kPathOutputRestartFactor; gapLimit is raised to
// kPathOutputGapRadiusShare x tool radius.  Runs shorter than
// kPathOutputShortRunTols model tolerances are dropped first.  Special runs
// follow all normal runs, each widened by one point on either side.  1, or
// the first negative result (-1 when memory runs out, or the emitter's).
int pathListOutputSorted(PlineList* list, LinkParams* params, ModelRec* model, int infeedKind,
                         int runDirection, int sortMode, double gapLimit);
