// Point reduction of tool paths.
//
// plineReduce thins a Pline in place by marking redundant points with the
// status code kPointDropped: a point may go when every point between its two
// kept neighbours stays within a deviation tolerance of the chord that joins
// them, that chord is not longer than a maximum length, and no point turns
// more than 60 degrees away from the chord's direction.  Points never move.
// plineCompact (or a compacting copy) removes the marks afterwards.
//
// Three filters, chosen by a process-wide mode:
//   kPlineReduceChord (default)  two chord passes: first with a tiny tolerance
//                                (collinear points), then with the caller's;
//   kPlineReduceRanked           shortest spans first, in chunks of 10000
//                                points that share their end points;
//   kPlineReduceShortestFirst    shortest span first over the whole path.
// All of them leave gap (2) and special (10) points, and the points next to
// them, alone; a point of kind kPointKindApart merges only with neighbours of
// the same kind.
//
// Threads: the OpenMP workers reduce their own Plines concurrently.  The mode
// and the chord-length switch are process-wide: set them on the cycle thread
// before a parallel region.
#pragma once

#include "geometry/pline/pline.h"

// Modes of plineReduceSetMode.
inline constexpr int kPlineReduceChord = 0;
inline constexpr int kPlineReduceRanked = 1;
inline constexpr int kPlineReduceShortestFirst = 2;

// Chord length of the first chord pass while the chord-length switch is set.
inline constexpr double kPlineReduceLongChord = 100000.0;
// Tolerance of the first chord pass.
inline constexpr double kPlineReduceCollinearTol = 0.000001;
// Points the ranked filter takes at a time.
inline constexpr int kPlineReduceChunk = 10000;
// Deviation that marks a point more than 60 degrees off its chord.
inline constexpr double kPlineReduceOffChord = 100000.0;
// |cosine| below which a point lies more than 60 degrees off the chord.
inline constexpr double kPlineReduceCosLimit = 0.5;
// Length slack of the span table search.
inline constexpr double kPlineSpanFindTol = 0.00001;

// Stores the mode: kPlineReduceRanked, kPlineReduceShortestFirst, any other
// value the chord filter.  Cycle thread.
void plineReduceSetMode(int mode);
// Non-zero: the first chord pass uses kPlineReduceLongChord in place of the
// caller's maximum length.  Cycle thread.
void plineReduceSetLnRed(int flag);
// The current settings.
int plineReduceMode();
int plineReduceLnRed();

// Reduces pl by the current mode (maxLen: longest chord over which points
// drop; tol: largest distance of a dropped point from its chord's line).
// Earlier kPointDropped marks are cleared first.  Nothing for a null Pline or
// fewer than 2 points.
void plineReduce(Pline* pl, double maxLen, double tol);

// Removes every point of status kPointDropped from all per-point arrays,
// keeping the order of the rest (in place, allocates nothing).
void plineCompact(Pline* pl);

// ---- Building blocks (exposed for the filters' tests and the benchmark) ----

// The nearest point before i and after i whose status is neither dropped nor
// the first-pass mark.  0, or -1 when either side has none (both outputs are
// written; a missing side gives -1).
int plineKeptNeighbours(const Pline* pl, int i, int* prev, int* next);

// 1 and *next = the first index after i whose status is not gap, dropped or
// special; 0 when there is none.
int plineNextActive(int i, const Pline* pl, int* next);

// Largest distance of the points strictly between a and b from the line
// a-b; kPlineReduceOffChord as soon as one of them lies more than 60 degrees
// off the chord (seen from a; points within 0.00001 of a pass); 0 when a and
// b are closer than 0.00001.
double plineChordDeviation(int a, const Pline* pl, int b);

// Every dropped mark back to kPointCut.
void plineClearDropped(Pline* pl);

// One chord pass: visits the points in order and drops (kPointDropped) a
// point that is not a gap, special or already dropped when its kept
// neighbours exist, share its gap class and kind, lie at most length apart,
// and every point between them is within deviation of their chord (or the
// chord is shorter than 0.00001).  A point next to a first-pass mark
// (kPointChordMark) that is not its kept neighbour stays.  The pass ends at
// the first point without a kept neighbour on a side.
void plineReduceChordPass(Pline* pl, double length, double deviation);

// The ranked filter over the whole Pline (chunks of kPlineReduceChunk).
void plineReduceRanked(Pline* pl, double maxLen, double tol);

// The shortest-span-first filter over the whole Pline: while the shortest
// span (plineShortestSpan) is not longer than maxLen, its two ends are tested
// and one of them drops, or both are locked.  O(n log n).
void plineReduceShortestFirst(Pline* pl, double maxLen, double tol);

// The shortest span between an active point (not gap, dropped or special)
// and the next active one, leaving out spans whose ends are both locked; the
// first on ties.  1 with its ends and 3D length; 0 when there is none.
int plineShortestSpan(const Pline* pl, int* first, int* second, double* length);

// ---- Span table of the ranked filter --------------------------------------

struct SpanEntry {
  double length;
  int first;
  int second;
};

struct SpanTable {
  int capacity;
  int count;
  SpanEntry* entries;  // sorted by length, shortest first
};

// The spans (a-1, a) for a in from+1..to whose two points both have status
// kPointCut or kPointBridged, sorted by length.  Null when memory runs out.
SpanTable* spanTableNew(const Pline* pl, int from, int to);
void spanTableFree(SpanTable* table);
// Index of the entry with ends (first, second), searched from the first
// entry not shorter than length - kPlineSpanFindTol; -1 when there is none.
int spanTableFind(const SpanTable* table, double length, int first, int second);
// Index of the first entry longer than length (count when none is).
int spanTableInsertPos(const SpanTable* table, double length);
// Removes the entry at index from and inserts entry in length order, where
// to = spanTableInsertPos of its length taken before the removal.  Returns the
// index the entry went to.
int spanTableMove(SpanTable* table, int from, int to, const SpanEntry* entry);
// qsort-style order by length: -1, 0 or 1.
int spanCompare(const void* a, const void* b);

namespace pline_reduce_detail {
// The shortest-first steps with a scan of the whole path for every span, as
// plineShortestSpan finds it (O(n) per step): the reference of the heap that
// plineReduceShortestFirst uses, and its fallback without memory.  Continues
// from the marks it finds; leaves its locks in place.
void shortestFirstByScan(Pline* pl, double maxLen, double tol);
}  // namespace pline_reduce_detail
