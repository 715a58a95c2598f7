// The parallel level of the profile cycle: the tool is dropped along every
// line of a level at once (one OpenMP loop, dynamic schedule, one line per
// iteration), each line is filtered and stored in the per-thread line store,
// and the finished lines are collected in line order for the path output.
//
// Determinism: a line's result depends on the line alone (its own model
// copy, Pline and contact snapshot; the sample positions of random mode come
// from a generator seeded per curve), the store collects in line order and
// the display records of the finished lines are sent in line order, one
// thread at a time, while the loop runs (a line is shown once every line
// before it is).  The output is therefore the same for any number of threads
// and any spill setting.
//
// Threads: profParallelLevel runs on the cycle thread and opens the parallel
// region itself; the stop word is shared with the lines.  The display
// records of a level reach the host from the loop's threads, never two at
// once.
#pragma once

#include <atomic>

#include "boundaries/boundary_rec.h"
#include "boundaries/links/link_params.h"
#include "cycles/profile/job/job_record.h"
#include "cycles/profile/line_set.h"
#include "cycles/profile/pline_list.h"
#include "model/mesh/model.h"

// Per-line results.
inline constexpr int kLineDone = 0;
inline constexpr int kLineCancelled = -2;
inline constexpr int kLineFailed = -3;

// Capacity of a line's first Pline.
inline constexpr int kLinePlineCapacity = 1000;
// Lines of this many points or more skip the last reduction and compaction.
inline constexpr int kLineReduceLimit = 50000;
// The parallel driver's fixed run direction code for zigzag.
inline constexpr int kRunDirectionZigzag = 2;

// The run's stop word: 0 at the start of a run, set once a line sees a break
// or a drop reports that it was stopped.  Once set, no later line, level or
// boundary starts.
std::atomic<int>& profStopWord();

// What one level needs.  Everything is shared read-only by the lines.
struct ProfLevelInput {
  const LineSet* lines;         // the level's lines (guide curves with crossings)
  const ModelRec* model;        // the job's model: each line works on a copy
  const LinkParams* params;     // each line works on a copy
  const BoundaryRec* boundary;  // the current boundary, or null
  int runDirection;             // *LAUF (2 zigzag)
  int infeedKind;               // *ZUSTELL_ART
  int clipSort;                 // *CLIP_SORT
  int direction;                // *BEARBEITRICHT
  const char* tmpDir;           // the job's temporary directory (spill files)
  int cacheCount;               // lines a store slot keeps before it spills (0: never)
  int slopeMode = 0;            // *SLOPE_MODE
  int edgeMode = 0;             // *BEARBEITRAND (1: points without contact are gaps)
  int thinRuns = 0;             // *PLRED
  double holderWiden = 0;       // length a holder collision widens over (the
                                // job's holder clearance diameter)
};

// Wall-clock seconds of the phases of one level (for the benchmark).
struct ProfLevelTimes {
  double lines = 0;    // the parallel loop over the lines
  double collect = 0;  // the collection of the stored lines in line order
};

// Computes every line of the level into out (appended in ascending line
// order).  The team has omp_get_max_threads() threads and the line store one
// slot per thread of that team.  *failedLine gets the index of the first line
// with the smallest result (-1 when all lines are done).  Returns the smallest
// line result: kLineDone, kLineCancelled (a break was seen: out is left
// empty, no path of the level is to be emitted, and no line is shown after
// the break) or kLineFailed (a drop
// failed or a line could not be stored: the lines that were made are in out).
// -1 when the line store cannot be made or collected (out unchanged or
// partly filled; the caller fails the run).
int profParallelLevel(const ProfLevelInput& in, PlineList* out, int* failedLine,
                      ProfLevelTimes* times = nullptr);

// Post-processing after a level with failures, by holder check mode: 2: in
// the first path with a special point, every later point of that path and
// every point of the later paths become special unless they are gaps; 0 with
// a negative smallest result: every path after position failedIndex is
// emptied (count 0); other modes: nothing.
void pathListAfterFailure(PlineList* list, int holderCheckMode, int smallest, int failedIndex);

// Where a gap point and a cut point are neighbours closer than tolerance in
// plan view and topZ lies strictly between the gap's z and the cut point's z
// (the cut point below), inserts a point with the cut point's x and y, z =
// topZ and the mean parameter between them, so that the path rises to the top
// of the level where the model leaves it.  Null allowed.  Returns the number
// of points inserted, or -1 when an insert fails.
int plineInsertTopPoints(Pline* path, double topZ, double tolerance);

// Marks the air moves of every path of list against the stock model: each
// path is densified to the stock's sample step (maxStep), given arc-length
// parameters, and its points where the tool body does not touch the stock
// become gaps, the changes between cutting and air refined along the path
// (stockMarkAirPoints with refinement).  Paths with no points are passed
// over; a null list or stock does nothing.  1, or -1 when a path cannot be
// densified (memory): the paths before it are marked, the others not.
// Cycle thread, outside parallel regions (the marking uses the process-wide
// contact settings).
int stockTrimPaths(PlineList* list, const ModelRec* stock);

// Appends to out a copy of every path of list (null entries passed over)
// with every point raised by dz in z; parameters, status words, axes and
// flags are copied.  With a stock model each copy is marked against it as
// stockTrimPaths does.  list is not changed.  1, or -1 when memory runs out
// (out then holds the copies made so far).  Cycle thread.
int pathListRaisedCopy(const PlineList* list, double dz, PlineList* out, const ModelRec* stock);

// Number of infeed levels from the start height s down to bottom with the
// level step v: (int)((s - bottom - 0.001) / v) + 1, at least 1; one level
// when s <= bottom (*warnedDepth set to 1), when the stock height is set or
// when v is not positive (a non-positive step cannot be counted down).
int profLevelCount(double s, double bottom, double v, int stockHeight, int* warnedDepth);

// Results of the driver.
inline constexpr int kDriverDone = 0;
inline constexpr int kDriverHolderFailed = -1;
inline constexpr int kDriverCancelled = -2;
inline constexpr int kDriverNoMemory = -3;
inline constexpr int kDriverModelFailed = -4;
inline constexpr int kDriverNoBoundary = -5;
inline constexpr int kDriverNoGuide = -6;
inline constexpr int kDriverDiskFull = -7;
inline constexpr int kDriverNoCandidates = -8;

// Message of a model file that cannot be read (with its name).
inline constexpr int kMsgModelUnreadable = 332;

// Added to *VERTZUSTEL when the number of raised stock-height passes is
// counted.
inline constexpr double kStockHeightSlack = 0.00001;

// Entries of the model's candidate list.
inline constexpr int kDriverCandidateCapacity = 3000;

// Computes and emits every path of a pass with constant infeed: loads the
// model file of job (the run's working record, already scaled and
// validated; the driver works on its own copy) into model, whose tool the
// caller has set, loads the stock file (*STOCK_3DF) when one is named,
// reads the boundaries (or takes the model box), and for every outer
// boundary builds the standard X or Y lines and runs every infeed level
// through profParallelLevel and the path output.  With a stock model the
// air moves of every level become gaps; with a stock height the level's
// paths are first emitted raised by k x *VERTZUSTEL for k = n .. 1, n =
// trunc(*STOCK_HEIGHT / (*VERTZUSTEL + kStockHeightSlack)).  The contact
// switches of a level (slope limits with *SLOPE_MODE, clip pass, contact
// boundaries, bound walls of automatic boundaries with walls) are on only
// for its parallel loop, and off again on every way out.
// Results: kDriverDone; kDriverCancelled when the stop word was set, a line
// failed (messages 6007 and 6012) or the output failed; kDriverNoMemory,
// kDriverNoBoundary (304), kDriverNoGuide (5000 for the engraving strategy,
// 310 for a guide curve that cannot be made), kDriverDiskFull (325),
// kDriverNoCandidates (305), kDriverModelFailed (332: the model file or the
// named stock file cannot be read; a job never machines without the stock
// it names).  Every exit frees what the run made (profDriverCleanup).
// Cycle thread.
int profParallelDriver(const JobRecord& job, LinkParams* params, ModelRec* model);

// Frees the run state of the driver: the model's surfaces and candidate
// list, the boundary list, the level's path list, the holder data, the
// offset model, the contact boundary set and the stock model; every pointer
// is cleared.  Safe to call twice.
void profDriverCleanup(ModelRec* model);
