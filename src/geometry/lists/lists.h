// Growable lists and generic containers of the geometry library.
//
// The heads below are plain records whose fields other modules read directly
// (count, capacity, box, items), so their field order and widths are fixed.
// Each head and each element block is a separate std::malloc block; a list owns
// its element block.  Code that builds one of these heads itself (for example
// an ItemArray with its own creator) must allocate head and items with
// std::malloc/std::calloc/std::realloc so that the free functions here can
// release them.
//
// Lists that share a head shape (Pt3List and TriList, Pt2List and Seg2List,
// IntPairList, Int4List and ItemArray) are distinct types with overloaded free
// functions, never one type read through another.
//
// Threads: no container locks.  Different threads may use different containers
// at the same time; one container is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/primitives/vec.h"

// A pair of ints, the element of IntPairList.
struct IntPair {
  int first;
  int second;
};

// A record of four 32-bit words: the element of Int4List and the 16-byte item
// of four-word ItemArrays.
struct Int4 {
  std::int32_t v[4];
};

// A triangle of doubles: three vertices, the element of TriList.
struct Tri {
  Vec3d v[3];
};

// A triangle of floats: three vertices of (x, y, z), the element of
// FloatTriList.
struct FloatTri {
  float v[3][3];
};

static_assert(sizeof(IntPair) == 8, "IntPair is two ints");
static_assert(sizeof(Int4) == 16, "Int4 is four 32-bit words");
static_assert(sizeof(Tri) == 72, "Tri is nine doubles");
static_assert(sizeof(FloatTri) == 36, "FloatTri is nine floats");

// Ints with the smallest and largest value ever appended (INT_MAX and INT_MIN
// while nothing was appended).
struct IntList {
  int count;
  int capacity;
  int min;
  int max;
  int* items;
};

struct IntPairList {
  int count;
  int capacity;
  IntPair* items;
};

struct Int4List {
  int count;
  int capacity;
  Int4* items;
};

// 2D points with their box (min at +DBL_MAX and max at -DBL_MAX while new).
struct Pt2List {
  int count;
  int capacity;
  double minX, minY, maxX, maxY;
  Vec2d* items;
};

// Segments with the box of their end points (as Pt2List).
struct Seg2List {
  int count;
  int capacity;
  double minX, minY, maxX, maxY;
  Seg2* items;
};

// 3D points with their box (min at +DBL_MAX and max at -DBL_MAX while new).
struct Pt3List {
  int count;
  int capacity;
  double minX, minY, minZ, maxX, maxY, maxZ;
  Vec3d* items;
};

// Triangles of doubles with the box of their vertices (min at +1e10 and max at
// -1e10 while new).
struct TriList {
  int count;
  int capacity;
  double minX, minY, minZ, maxX, maxY, maxZ;
  Tri* items;
};

// Triangles of floats with their box (+1e10f and -1e10f while new).
struct FloatTriList {
  int count;
  int capacity;
  float minX, minY, minZ, maxX, maxY, maxZ;
  FloatTri* items;
};

// A growable array of elements of elemSize bytes.  The head and the first block
// are zero-filled; blocks added by growth are not cleared.
struct DynArray {
  int count;
  int capacity;
  int elemSize;
  void* data;
};

// A small array head whose creator fixes the item width: ints, doubles or
// 16-byte records (Int4, or pairs of doubles).  Note the order: capacity first.
struct ItemArray {
  int capacity;
  int count;
  void* items;
};

// A count and a data block of ints or doubles (int arrays, containment
// matrices, curve parameter arrays).  The creator fixes the element type.
struct CountedArray {
  int count;
  void* data;
};

// A square bucket grid over boxed items.  cells[row][col] holds the indices of
// the items whose box, grown by the build margin, reaches into the cell.  Rows
// run along y, columns along x; rows == cols.
struct ItemGrid {
  int rows;
  int cols;
  double minX, minY, maxX, maxY;
  double cellHeight;
  double cellWidth;
  IntList*** cells;
};

// Box callback of itemGridBuild: writes (minX, minY, maxX, maxY) of the item
// to out and returns out.
using ItemBoxFn = double* (*)(double out[4], const void* item);

// ---- Creators, appends, frees ---------------------------------------------
//
// Creators return null when the head or the block cannot be allocated (nothing
// stays allocated).  Appends return -1 for a null list, a null block or a failed
// growth, and the list is then unchanged.  Growth is by half the capacity (plus
// one for the int, point and segment lists); every free accepts null.

// Capacity 3 when asked for 1 or less.  Append returns the index taken.
IntList* listIntNew(int capacity);
int listIntAppend(IntList* list, int value);
void listIntFree(IntList* list);

// Capacity 3 when asked for 1 or less.  Append returns the index taken.
IntPairList* listIntPairNew(int capacity);
int listIntPairAppend(IntPairList* list, IntPair pair);

// Capacity 3 when asked for less than 3.  Append returns the index taken.
Int4List* listInt4New(int capacity);
int listInt4Append(Int4List* list, const Int4* record);

// Sets the count of any list head to 0 and keeps its block and box; null
// allowed.  Returns 1.
template <class List>
int listClear(List* list) {
  if (list != nullptr) list->count = 0;
  return 1;
}

// Capacity 3 when asked for 1 or less.  Append returns 1.
Pt2List* listPt2New(int capacity);
int listPt2Append(Pt2List* list, const Vec2d* point);

// Capacity 3 when asked for less than 3.  Append returns 1 and widens the box
// by both end points.
Seg2List* listSeg2New(int capacity);
int listSeg2Append(Seg2List* list, const Seg2* seg);
void listSeg2Free(Seg2List* list);
void listSeg2Free(Pt2List* list);
inline void listSeg2Free(std::nullptr_t) {}

// Capacity 3 when asked for 1 or less.  Append returns 1.
Pt3List* listPt3New(int capacity);
int listPt3Append(Pt3List* list, const Vec3d* point);
void listPt3Free(Pt3List* list);
void listPt3Free(TriList* list);
inline void listPt3Free(std::nullptr_t) {}

// Capacity 2 when asked for less than 2; grows to (int)(capacity x 1.5).
// Append copies nine doubles (vertex 0 x, y, z, vertex 1, vertex 2) and
// returns the new count.
TriList* listTriNew(int capacity);
int listTriAppend(TriList* list, const double triangle[9]);
int listTriAppend(TriList* list, const Tri* triangle);

// Capacity 3 when asked for less than 3; grows to (int)(capacity x 1.5).
// Append returns the new count.
FloatTriList* listFloatTriNew(int capacity);
int listFloatTriAppend(FloatTriList* list, const FloatTri* triangle);
void listFloatTriFree(FloatTriList* list);

// Converts the nine floats of in to doubles in order; returns out.
double* triFloatToDouble(double out[9], const FloatTri* in);

// Capacity 3 when asked for 3 or less; null for elemSize <= 0.
DynArray* dynArrayNew(int capacity, int elemSize);
// Appends a copy of elemSize bytes; returns 1 (-1 as above).  The element may
// lie inside the array itself.
int dynArrayAppend(DynArray* array, const void* element);
// Appends size bytes (0 <= size <= elemSize, -1 otherwise) as a new element;
// the rest of the slot is zero-filled.  The element may lie inside the array.
int dynArrayAppendSized(DynArray* array, const void* element, int size);
// Address of element i; no bounds check.
void* dynArrayAt(DynArray* array, int i);
void dynArrayFree(DynArray* array);

// Free the items block and the head (null allowed).  IntPairList and Int4List
// share the ItemArray's items pointer position and are freed the same way.
void itemArrayFree(ItemArray* array);
void itemArrayFree(IntPairList* list);
void itemArrayFree(Int4List* list);
inline void itemArrayFree(std::nullptr_t) {}

// Free the data and the head (null allowed).  syncParamArrayFree releases a
// curve's parameter-pair array the same way.
void countedArrayFree(CountedArray* array);
void syncParamArrayFree(CountedArray* array);

// ---- Sort -----------------------------------------------------------------

// Sorts count elements of elemSize bytes in place so that cmp(a, b) < 0 puts a
// before b.  Shell sort below 10000 elements, heap sort from 10000; not
// stable.  Returns 1.  Elements up to 256 bytes are sorted without allocating;
// larger ones need one scratch element from the heap, and when that cannot be
// had the array is left unsorted (still 1).
int listSort(void* base, unsigned count, int elemSize, int (*cmp)(const void*, const void*));

// ---- Bucket grid ----------------------------------------------------------

// Box callback for Seg2 items: (min x, min y, max x, max y) of both ends of the
// Seg2 at seg.  Returns out.
double* seg2BoundingBox(double out[4], const void* seg);

// Builds an n x n grid over count items of elemSize bytes: n is the smallest i
// in 2..30 with i*i > sqrt(count) (30 when none), 1 for no items.  Each item's
// box grown by margin is entered into every cell it reaches.  A zero extent in
// one direction puts every item into the first row (or column).  Null on
// allocation failure (nothing stays allocated).
ItemGrid* itemGridBuild(const void* items, int elemSize, int count, double margin, ItemBoxFn box);
void itemGridFree(ItemGrid* grid);

// Index of the cell (row or column) of n cells of size cellSize from origin
// that holds the coordinate v: (v - origin) / cellSize truncated toward zero
// and clamped into 0..n-1.  A cell size that is not positive, and a quotient
// that is not a number, give 0 (never a conversion of inf or NaN to int).
// Shared by the bucket grids of the library; inline for their lookups.
inline int itemGridIndex(double v, double origin, double cellSize, int n) {
  if (!(cellSize > 0.0)) return 0;
  const double q = (v - origin) / cellSize;
  if (!(q >= 0.0)) return 0;  // negative or NaN
  if (q >= n) return n - 1;
  return static_cast<int>(q);
}

// ---- Crossings of a segment soup -----------------------------------------

// Looks for pairs of segments of segs that cross away from shared end points.
// Returns 1 when at least one crossing was found, else 0.  Each crossing point
// is appended to points when given (once per grid cell both segments share).
// Unless findAll, the search stops at the first crossing and records code 1
// (a note, never logged) in the calling thread's geometry error state.  tol is
// the distance within which a crossing at an end of both segments is ignored.
int listSeg2FindCrossings(Seg2List* segs, Pt2List* points, int findAll, double tol);

namespace lists_detail {
// The all-pairs search that listSeg2FindCrossings falls back to when its grid
// cannot be built (exposed for tests): pairs (i, j) with j >= i + 2, no shared
// end test, skipped when the start of i lies within 0.001 of the end of j.
int seg2FindCrossingsAllPairs(const Seg2List* segs, Pt2List* points, int findAll);
}  // namespace lists_detail
