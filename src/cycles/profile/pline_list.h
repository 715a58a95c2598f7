// The ordered list of finished path lines of one infeed level, and the
// helpers that fill it: reduced and compacted copies, the display of a
// line's runs and the marking of short runs.
//
// A run is a maximal stretch of points that are neither gaps (kPointGap) nor
// special points (kPointSpecial).
//
// Ownership: a PlineList owns its nodes and their Plines; plineListFree
// releases them all.  The Add functions copy the path they are given; the
// caller keeps its own.
//
// Threads: a list is used by one thread at a time.  The display of runs may
// run on any thread (the output adapter serialises display records).  The
// showPieces switch is process-wide: set it on the cycle thread before a
// parallel region.
#pragma once

#include "geometry/pline/pline.h"

struct PlineListNode {
  Pline* pline;  // owned, or null once its path has been consumed
  PlineListNode* next;
};

struct PlineList {
  PlineListNode* first;
  PlineListNode* last;
};

// Initial capacity of the compacted copies of the Shown functions.
inline constexpr int kPlineListShownCapacity = 100;
// Room a reduced copy gets beyond its reduced point count.
inline constexpr int kPlineListReducedSlack = 10;

// A new empty list, or null when it cannot be allocated.  Free with
// plineListFree.
PlineList* plineListNew();

// Frees the nodes, their Plines and the list.  Null allowed.
void plineListFree(PlineList* list);

// Reverses the node order: the old first node becomes the last.  Null allowed.
void plineListReverse(PlineList* list);

// Sets the process-wide showPieces switch (0 at load): when non-zero, the
// reduced copies added to a list are also sent to the display.  Returns the
// previous value.
int plineListSetShowPieces(int on);

// Displays the path's runs (plineDisplayRuns), then appends a copy of it
// without its dropped points (kPointDropped), with axes and flags exactly
// when the path has them.  1, or -1 for a null list or path or when memory
// runs out (the list is then unchanged).
int plineListAppendShown(PlineList* list, const Pline* path);
// The same, inserted at the front.
int plineListPrependShown(PlineList* list, const Pline* path);
// The same for a path the list may keep: displays its runs, removes its
// dropped points in place and appends the path itself.  The list owns it
// from then on, also when the call fails (-1: the path is freed).
int plineListAppendShownTaken(PlineList* list, Pline* path);

// Appends the path itself: the list takes it over.  1, or -1 for a null
// list or path or when memory runs out; the list is then unchanged and the
// path (when not null) freed.
int plineListAppendOwned(PlineList* list, Pline* path);

// Appends a reduced copy of the path (plineCopyReduced; capacity the reduced
// count + kPlineListReducedSlack, with axes); displays its runs when
// showPieces is set.  1, or -1 for a null list or path or when memory runs
// out (the list is then unchanged).
int plineListAppendReduced(PlineList* list, const Pline* path);
// The same, inserted at the front.
int plineListPrependReduced(PlineList* list, const Pline* path);

// Sends every run of the path (one-point runs included) to the display as a
// polyline named "scallop" with comment "step" and usage "tmp".  Null
// allowed.  Any thread.
void plineDisplayRuns(const Pline* path);

// Empties dst and appends, with parameter, status word, axis ((0, 0, 1) when
// src has none, if dst keeps axes) and flag byte, every point of src except
// the dropped ones (kPointDropped) and the gap points both of whose
// neighbours are gaps too: a stretch of gaps keeps only its two end points;
// the first and the last point have one neighbour only and are kept.
// 1, or -1 for a null src or dst or when an append fails.  dst and src must
// differ.
int plineCopyReduced(const Pline* src, Pline* dst);

// The number of points plineCopyReduced keeps (0 for null).
int plineCountReduced(const Pline* src);

// Every run of the path whose 3D length (sum of its segment lengths) is
// below minLength becomes gaps (its kind bytes are kept); a one-point run
// always does.  Null allowed.
void plineDropShortRuns(Pline* path, double minLength);
