// Per-thread store of the finished path lines of one infeed level.
//
// Each thread of the level's parallel loop adds its lines, with their line
// indices, to its own slot.  A slot keeps up to `cacheCount` reduced lines in
// memory and spills them to a binary file of its own when it is full; after
// the loop the store hands every line back in ascending line index, so the
// result does not depend on which thread made which line.
//
// Spill files live in a directory made for the store alone (mkdtemp, inside
// the job's temporary directory) and are named "plist_%d" (slot + 1).  They
// are created exclusively on a slot's first spill and are removed, with the
// directory, by plistStoreFree.
//
// File layout (little-endian, no header), a sequence of lines:
//   i32 point count n, i32 tag of the Pline, then n records of 72 bytes:
//     0  f64 x, y, z
//     24 f64 axis x, y, z ((0, 0, 1) for a Pline without axes)
//     48 u8  flag byte (0 for a Pline without flags), 7 zero bytes
//     56 f64 parameter
//     64 u16 status word, 6 zero bytes
//
// Failures: a file that cannot be created, a short write, a failed flush or
// close, a short or inconsistent read (a count that promises more than the
// file holds, a negative count, bytes left over) all come back as -1; the
// caller fails the level.  A line is never lost while a call reports success.
//
// Threads: during the parallel loop each thread calls plistStoreAdd only for
// its own slot; slots share nothing but the spilled flag (atomic).  Creating,
// collecting and freeing run on one thread outside the loop.
#pragma once

#include <cstdio>

#include "cycles/profile/pline_list.h"
#include "geometry/pline/pline.h"

struct PlistStore;

// Bytes of one point record and of a line header in a spill file.
inline constexpr int kPlistRecordSize = 72;
inline constexpr int kPlistHeaderSize = 8;
// Initial capacity of a slot's line-index array.
inline constexpr int kPlistIndexCapacity = 5000;

// A growable int array.
struct IntArray {
  int capacity;
  int count;
  int* data;
};

// Appends value, doubling the capacity when the array is full (an empty
// array gets room for kPlistIndexCapacity).  1, or -1 when growing fails
// (the array is then unchanged).
int intArrayPush(IntArray* array, int value);

// A store of slotCount slots (one per thread of the team that will run).
// cacheCount: lines a slot keeps in memory before it spills them (0: never
// spill).  directory: the job's temporary directory (empty or null: the
// working directory); with cacheCount > 0 the store's own directory is made
// inside it now.  Null when slotCount < 1, cacheCount < 0, memory runs out or
// the directory cannot be made.  Free with plistStoreFree.
PlistStore* plistStoreNew(int slotCount, const char* directory, int cacheCount);

// Adds a reduced copy of path (plineCopyReduced) with its line index to the
// slot.  When the slot already holds cacheCount lines in memory, they are
// spilled to the slot's file first.  1, or -1 for a bad slot or path, a line
// index below the slot's previous one, a failed spill or when memory runs
// out.  Only the thread that owns the slot.  A slot's lines must come in
// ascending line index: the parallel loop hands its lines out with
// schedule(monotonic: dynamic) (a plain dynamic schedule may let threads
// steal work out of order, as LLVM's runtime does).
int plistStoreAdd(PlistStore* store, int slot, const Pline* path, int lineIndex);

// Appends every stored line to list in ascending line index (equal indices:
// the lower slot first) with plineListAppendShown (lines still in memory
// move to the list themselves, with plineListAppendShownTaken).  1, or -1
// when a spill, a read or an append fails.  Call once, after the parallel
// loop.
int plistStoreCollect(PlistStore* store, PlineList* list);

// Closes open files, removes the spill files and the store's directory and
// frees the store.  Null allowed.
void plistStoreFree(PlistStore* store);

// Whether any slot has spilled (0 or 1).
int plistStoreSpilled(const PlistStore* store);

// The spill file name of a slot ("" when there is none: a bad slot or a store
// that never spills).  Valid until plistStoreFree.
const char* plistStoreFileName(const PlistStore* store, int slot);

// Writes path to file in the layout above.  1, or -1 on a short write.
int plistWritePline(const Pline* path, std::FILE* file);

// Empties path and reads one line from file into it (the tag becomes the
// Pline's tag; points keep status, axis, flag and parameter).  A count of 0
// gives an empty line.  -1 on a short read, a negative count, a count larger
// than the rest of the file, or a failed append.
int plistReadPline(Pline* path, std::FILE* file);
