// Drop of the tool along the model's guide curve.
//
// At parameter samples along the guide curve the tool is dropped onto the
// model; every tool position, with its contact point, found byte and status
// word, becomes a point of a Pline ordered by the curve parameter.  Where the
// path turns or climbs steeply between two points further samples are
// inserted until nothing more is needed.  contactDropAlongCurve works on facet
// models (kind 4), projDropAlongCurve on triangle-list models (kind 3); the
// caller picks the engine by the model kind.
//
// A path point: the tool position; the sample parameter; the status word with
// the contact byte low and the sample status high; the axis slot holds the
// contact point and the flag byte the found byte.  The path must have axes.
//
// Results: 1 done; 0 stopped (slope limit reached in slope mode 2, the guide
// curve cannot be evaluated at a sample of a pass, or a probe hit); -2 the
// path cannot take a point (also when a merge runs out of memory, since the
// path then lost points); -3 cancelled by the user.  A sample whose curve
// point cannot be evaluated adds no point.  The path keeps the points merged
// before a stop.
//
// Threads: the sample passes are OpenMP loops with a static schedule; each
// thread evaluates its samples on its own copy of the drop's context and
// writes its own Pline; the merge afterwards keeps parameter order (ties by
// the lower sample), so the path does not depend on the number of threads.
// Inside an active parallel region (the parallel driver) the passes run on the
// calling thread.  The break check is polled by every thread before its first
// sample of a pass and then every kDropBreakPollSamples samples, so a stop
// request is seen whatever the number of threads; it ends the pass on all
// threads and the drop returns -3.  The contact settings are written only
// when the drop runs outside any parallel region.  Lasting effects: the
// model's sample step (capped), the tool's corner radius (ball = radius,
// flat = 0; facet engine), the model's slope limit (slope mode not 0) and,
// outside parallel regions, the settings' facet selection (facet engine).
#pragma once

#include <cstdint>

#include "geometry/lists/lists.h"
#include "geometry/pline/pline.h"
#include "model/contact/contact_settings.h"
#include "model/mesh/model.h"

struct CurveRec;

// Capacities of the parameter list and of each thread's Pline.
inline constexpr int kDropParamCapacity = 1000;
inline constexpr int kDropThreadPlineCapacity = 1000;
// Parameters of two merged points closer than this are one point.
inline constexpr double kDropMergeTol = 0.00002;
// Samples a thread evaluates between two polls of the break check (the
// first poll comes before its first sample of a pass).
inline constexpr int kDropBreakPollSamples = 64;
// Seed of the random sample mode (every fill starts from it).
inline constexpr uint64_t kDropRandomSeed = 0x5eed2026u;
// Message of a boundary-interval sample whose curve point is missing.
inline constexpr int kMsgProfilePointMissing = 327;
inline constexpr int kMsgProfilePointMissingLevel = 9;

// One Pline per thread of a pass.
struct ThreadPlines {
  int32_t capacity;  // number of Plines
  int32_t count;     // number of Plines
  Pline** plines;
};

// Both engines: results as above.  path may be null (probe mode: the drop
// returns after the first pass, 0 when a sample on a curve with z values lies
// above the floor).  The model's tool and guide curve must be set (else 0).
int contactDropAlongCurve(ModelRec* model, Pline* path);
int contactDropAlongCurveParallel(ContactContext* ctx, ModelRec* model, Pline* path);
int projDropAlongCurve(ModelRec* model, Pline* path);
int projDropAlongCurveParallel(ContactContext* ctx, ModelRec* model, Pline* path);

// A list of f64 with room for capacity (at least 1).  Null on failure.  Free
// with itemArrayFree.
ItemArray* contactSampleParamsNew(int capacity);
// Empties list and fills it with the sample parameters of the curve (L its
// parameter at the last point): 0, first, then steps of step, and near the end
// L - first - 0.00001 and L - 0.00001; a curve shorter than first gives {0}.
// In random mode the step after first is first + k (step - first) / 1000 with
// k from a generator of our own seeded with kDropRandomSeed mixed with the
// curve's first point and length (so a curve always gets the same samples,
// on any platform and thread).  1, or -1 when growing fails.
int contactSampleParamsFill(ItemArray* list, const CurveRec* curve, double first, double step,
                            int random);

// n i32 entries (capacity and count n).  Null on failure.  itemArrayFree.
ItemArray* threadStatusNew(int n);
// Sets every entry to value and the count to the capacity; returns the count.
int threadStatusFill(ItemArray* status, int value);
// The smallest entry (1 when empty).
int threadStatusMin(const ItemArray* status);

// n Plines of kDropThreadPlineCapacity points with axes and flags.  Null
// when anything cannot be allocated.
ThreadPlines* threadPlinesNew(int n);
// Frees every Pline, the array and the head; 0 for null, else 1.
int threadPlinesFree(ThreadPlines* set);
// Sets every Pline's count to 0; returns the number of Plines (0 for null).
int threadPlinesClear(ThreadPlines* set);
// Merges the thread Plines and the path's own points into the path, in the
// path's parameter direction (ascending when it has fewer than two points):
// the next point is the smallest (largest) parameter among the lists, the
// thread Plines in order before the path's points on equal parameters; a
// point within 0.00002 of the last merged one is dropped.  1 when the path's
// count changed and a thread point was taken, 0 otherwise (also for an empty
// set or a null path), -1 when an append fails.
int threadPlinesMerge(ThreadPlines* set, Pline* path);
