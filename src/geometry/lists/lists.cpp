#include "geometry/lists/lists.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "base/memory.h"
#include "base/tolerances.h"
#include "geometry/errors/error_state.h"
#include "geometry/primitives/geo2d.h"

namespace {

// Source text and places of the crossing reports.
constexpr char kListsSource[] = "QZVYR5\\LISTS";
constexpr int kCrossingGridPlace = 5218;
constexpr int kCrossingAllPairsPlace = 5249;

// Cells of the bucket grid start with room for this many item indices.
constexpr int kGridCellCapacity = 100;
constexpr int kGridMaxSize = 30;

// listSort switches from Shell sort to heap sort at this count.
constexpr unsigned kHeapSortFrom = 10000;
// Elements up to this size are swapped through a stack buffer.
constexpr int kSortStackElement = 256;

// Growth rules.  "Plus one" is the rule of the int, point and segment lists;
// the triangle lists and DynArray grow by half.  Either way the result is at
// least one more than the old capacity, so a head built elsewhere with a tiny
// capacity still grows.  0 when the new capacity would not fit an int.
int grownCapacityPlusOne(int capacity) {
  double next = std::floor(capacity * 1.5 + 1.0);
  if (next <= capacity) next = capacity + 1.0;
  return next > INT_MAX ? 0 : static_cast<int>(next);
}

int grownCapacityHalf(int capacity) {
  double next = std::floor(capacity * 1.5);
  if (next <= capacity) next = capacity + 1.0;
  return next > INT_MAX ? 0 : static_cast<int>(next);
}

// Allocates a block of n elements of size bytes (zero-filled when asked);
// null on overflow or failure.
void* allocBlock(std::size_t n, std::size_t size, bool zero) {
  if (n == 0 || size == 0 || n > SIZE_MAX / size) return nullptr;
  return zero ? std::calloc(n, size) : memAllocLarge(n * size);
}

// Grows the block of a list head to newCapacity elements; false (list
// unchanged) on failure.
template <class T>
bool growItems(T*& items, int& capacity, int newCapacity) {
  if (newCapacity <= capacity) return false;
  if (static_cast<std::size_t>(newCapacity) > SIZE_MAX / sizeof(T)) return false;
  void* block = std::realloc(items, static_cast<std::size_t>(newCapacity) * sizeof(T));
  if (block == nullptr) return false;
  items = static_cast<T*>(block);
  capacity = newCapacity;
  return true;
}

// Creates a head of type List with room for capacity items, or null.
template <class List>
List* newHead(int capacity) {
  List* list = static_cast<List*>(std::calloc(1, sizeof(List)));
  if (list == nullptr) return nullptr;
  using Item = std::remove_pointer_t<decltype(list->items)>;
  list->items =
      static_cast<Item*>(allocBlock(static_cast<std::size_t>(capacity), sizeof(Item), false));
  if (list->items == nullptr) {
    std::free(list);
    return nullptr;
  }
  list->capacity = capacity;
  list->count = 0;
  return list;
}

template <class List>
void freeHead(List* list) {
  if (list == nullptr) return;
  std::free(list->items);
  std::free(list);
}

// Makes room for one more item; false when the list cannot take it.
template <class List>
bool reserveOne(List* list, int (*grow)(int)) {
  if (list == nullptr || list->items == nullptr) return false;
  if (list->count < list->capacity) return true;
  int next = grow(list->capacity);
  return next != 0 && growItems(list->items, list->capacity, next);
}

template <class Box>
void widen2(Box* list, double x, double y) {
  if (x < list->minX) list->minX = x;
  if (y < list->minY) list->minY = y;
  if (x > list->maxX) list->maxX = x;
  if (y > list->maxY) list->maxY = y;
}

template <class Box, class V>
void widen3(Box* list, V x, V y, V z) {
  if (x < list->minX) list->minX = x;
  if (y < list->minY) list->minY = y;
  if (z < list->minZ) list->minZ = z;
  if (x > list->maxX) list->maxX = x;
  if (y > list->maxY) list->maxY = y;
  if (z > list->maxZ) list->maxZ = z;
}

template <class List, class T>
void setBox2(List* list, T lo, T hi) {
  list->minX = list->minY = lo;
  list->maxX = list->maxY = hi;
}

template <class List, class T>
void setBox3(List* list, T lo, T hi) {
  list->minX = list->minY = list->minZ = lo;
  list->maxX = list->maxY = list->maxZ = hi;
}

}  // namespace

// ---- Int lists -----------------------------------------------------------------

IntList* listIntNew(int capacity) {
  IntList* list = newHead<IntList>(capacity <= 1 ? 3 : capacity);
  if (list == nullptr) return nullptr;
  list->min = INT_MAX;
  list->max = INT_MIN;
  return list;
}

int listIntAppend(IntList* list, int value) {
  if (!reserveOne(list, grownCapacityPlusOne)) return -1;
  list->items[list->count] = value;
  if (value < list->min) list->min = value;
  if (value > list->max) list->max = value;
  return list->count++;
}

void listIntFree(IntList* list) { freeHead(list); }

IntPairList* listIntPairNew(int capacity) {
  return newHead<IntPairList>(capacity <= 1 ? 3 : capacity);
}

int listIntPairAppend(IntPairList* list, IntPair pair) {
  if (!reserveOne(list, grownCapacityPlusOne)) return -1;
  list->items[list->count] = pair;
  return list->count++;
}

Int4List* listInt4New(int capacity) { return newHead<Int4List>(capacity < 3 ? 3 : capacity); }

int listInt4Append(Int4List* list, const Int4* record) {
  if (record == nullptr || !reserveOne(list, grownCapacityPlusOne)) return -1;
  list->items[list->count] = *record;
  return list->count++;
}

// ---- Point and segment lists -------------------------------------------------------

Pt2List* listPt2New(int capacity) {
  Pt2List* list = newHead<Pt2List>(capacity <= 1 ? 3 : capacity);
  if (list != nullptr) setBox2(list, DBL_MAX, -DBL_MAX);
  return list;
}

int listPt2Append(Pt2List* list, const Vec2d* point) {
  if (point == nullptr || !reserveOne(list, grownCapacityPlusOne)) return -1;
  list->items[list->count++] = *point;
  widen2(list, point->x, point->y);
  return 1;
}

Seg2List* listSeg2New(int capacity) {
  Seg2List* list = newHead<Seg2List>(capacity < 3 ? 3 : capacity);
  if (list != nullptr) setBox2(list, DBL_MAX, -DBL_MAX);
  return list;
}

int listSeg2Append(Seg2List* list, const Seg2* seg) {
  if (seg == nullptr || !reserveOne(list, grownCapacityPlusOne)) return -1;
  list->items[list->count++] = *seg;
  widen2(list, seg->x0, seg->y0);
  widen2(list, seg->x1, seg->y1);
  return 1;
}

void listSeg2Free(Seg2List* list) { freeHead(list); }
void listSeg2Free(Pt2List* list) { freeHead(list); }

Pt3List* listPt3New(int capacity) {
  Pt3List* list = newHead<Pt3List>(capacity <= 1 ? 3 : capacity);
  if (list != nullptr) setBox3(list, DBL_MAX, -DBL_MAX);
  return list;
}

int listPt3Append(Pt3List* list, const Vec3d* point) {
  if (point == nullptr || !reserveOne(list, grownCapacityPlusOne)) return -1;
  list->items[list->count++] = *point;
  widen3(list, point->x, point->y, point->z);
  return 1;
}

void listPt3Free(Pt3List* list) { freeHead(list); }
void listPt3Free(TriList* list) { freeHead(list); }

// ---- Triangle lists -----------------------------------------------------------

TriList* listTriNew(int capacity) {
  TriList* list = newHead<TriList>(capacity < 2 ? 2 : capacity);
  if (list != nullptr) setBox3(list, kGeoTriBoxSentinel, -kGeoTriBoxSentinel);
  return list;
}

int listTriAppend(TriList* list, const Tri* triangle) {
  if (triangle == nullptr || !reserveOne(list, grownCapacityHalf)) return -1;
  list->items[list->count++] = *triangle;
  for (const Vec3d& v : triangle->v) widen3(list, v.x, v.y, v.z);
  return list->count;
}

int listTriAppend(TriList* list, const double triangle[9]) {
  if (triangle == nullptr) return -1;
  Tri tri;
  std::memcpy(&tri, triangle, sizeof tri);
  return listTriAppend(list, &tri);
}

FloatTriList* listFloatTriNew(int capacity) {
  FloatTriList* list = newHead<FloatTriList>(capacity < 3 ? 3 : capacity);
  if (list != nullptr) {
    setBox3(list, static_cast<float>(kGeoTriBoxSentinel), -static_cast<float>(kGeoTriBoxSentinel));
  }
  return list;
}

int listFloatTriAppend(FloatTriList* list, const FloatTri* triangle) {
  if (triangle == nullptr || !reserveOne(list, grownCapacityHalf)) return -1;
  list->items[list->count++] = *triangle;
  for (const auto& v : triangle->v) widen3(list, v[0], v[1], v[2]);
  return list->count;
}

void listFloatTriFree(FloatTriList* list) { freeHead(list); }

double* triFloatToDouble(double out[9], const FloatTri* in) {
  for (int k = 0; k < 9; ++k) out[k] = in->v[k / 3][k % 3];
  return out;
}

// ---- DynArray --------------------------------------------------------------------

DynArray* dynArrayNew(int capacity, int elemSize) {
  if (elemSize <= 0) return nullptr;
  DynArray* array = static_cast<DynArray*>(std::calloc(1, sizeof(DynArray)));
  if (array == nullptr) return nullptr;
  int cap = capacity <= 3 ? 3 : capacity;
  array->data = allocBlock(static_cast<std::size_t>(cap), static_cast<std::size_t>(elemSize), true);
  if (array->data == nullptr) {
    std::free(array);
    return nullptr;
  }
  array->capacity = cap;
  array->elemSize = elemSize;
  return array;
}

int dynArrayAppendSized(DynArray* array, const void* element, int size) {
  if (array == nullptr || array->data == nullptr || element == nullptr) return -1;
  if (size < 0 || size > array->elemSize) return -1;
  const std::size_t elem = static_cast<std::size_t>(array->elemSize);
  // An element inside the block is found again by its offset after the block
  // moved, so appending one of the array's own elements needs no copy.
  const auto begin = reinterpret_cast<std::uintptr_t>(array->data);
  const auto where = reinterpret_cast<std::uintptr_t>(element);
  const bool inside = where >= begin && where < begin + elem * array->capacity;
  const std::size_t offset = inside ? where - begin : 0;
  if (array->count == array->capacity) {
    int next = grownCapacityHalf(array->capacity);
    if (next == 0 || static_cast<std::size_t>(next) > SIZE_MAX / elem) return -1;
    void* block = std::realloc(array->data, static_cast<std::size_t>(next) * elem);
    if (block == nullptr) return -1;
    array->data = block;
    array->capacity = next;
  }
  unsigned char* data = static_cast<unsigned char*>(array->data);
  unsigned char* slot = data + elem * array->count;
  const unsigned char* source = inside ? data + offset : static_cast<const unsigned char*>(element);
  std::memmove(slot, source, static_cast<std::size_t>(size));
  std::memset(slot + size, 0, elem - static_cast<std::size_t>(size));
  ++array->count;
  return 1;
}

int dynArrayAppend(DynArray* array, const void* element) {
  if (array == nullptr) return -1;
  return dynArrayAppendSized(array, element, array->elemSize);
}

void* dynArrayAt(DynArray* array, int i) {
  return static_cast<unsigned char*>(array->data) +
         static_cast<std::size_t>(array->elemSize) * static_cast<std::size_t>(i);
}

void dynArrayFree(DynArray* array) {
  if (array == nullptr) return;
  std::free(array->data);
  std::free(array);
}

// ---- Small array heads ---------------------------------------------------------

void itemArrayFree(ItemArray* array) { freeHead(array); }
void itemArrayFree(IntPairList* list) { freeHead(list); }
void itemArrayFree(Int4List* list) { freeHead(list); }

void countedArrayFree(CountedArray* array) {
  if (array == nullptr) return;
  std::free(array->data);
  std::free(array);
}

// Accepts null like every other free: a curve without parameter pairs is
// common, and a crash here would lose the whole run.
void syncParamArrayFree(CountedArray* array) { countedArrayFree(array); }

// ---- Sort --------------------------------------------------------------------------

namespace {

struct SortView {
  unsigned char* base;
  std::size_t size;
  unsigned char* temp;
  int (*cmp)(const void*, const void*);

  unsigned char* at(std::size_t i) const { return base + i * size; }
  void swap(std::size_t i, std::size_t j) const {
    std::memcpy(temp, at(i), size);
    std::memcpy(at(i), at(j), size);
    std::memcpy(at(j), temp, size);
  }
};

// Insertion sorts of elements h apart for a falling sequence of gaps
// (1, 4, 13, 40, ... below count/9), ending with h = 1.
void shellSort(const SortView& v, std::size_t count) {
  std::size_t h = 1;
  while (h < count / 9) h = 3 * h + 1;
  for (; h > 0; h /= 3) {
    for (std::size_t i = h; i < count; ++i) {
      std::memcpy(v.temp, v.at(i), v.size);
      std::size_t j = i;
      while (j >= h && v.cmp(v.temp, v.at(j - h)) < 0) {
        std::memcpy(v.at(j), v.at(j - h), v.size);
        j -= h;
      }
      if (j != i) std::memcpy(v.at(j), v.temp, v.size);
    }
  }
}

// Sift-down over 1-based heap positions 1..n: a parent is never below its
// children; of two children the right one is taken when left < right.
void siftDown(const SortView& v, std::size_t k, std::size_t n) {
  while (2 * k <= n) {
    std::size_t child = 2 * k;
    if (child < n && v.cmp(v.at(child - 1), v.at(child)) < 0) ++child;
    if (!(v.cmp(v.at(k - 1), v.at(child - 1)) < 0)) break;
    v.swap(k - 1, child - 1);
    k = child;
  }
}

void heapSort(const SortView& v, std::size_t count) {
  for (std::size_t k = count / 2; k >= 1; --k) siftDown(v, k, count);
  for (std::size_t n = count; n > 1; --n) {
    v.swap(0, n - 1);
    siftDown(v, 1, n - 1);
  }
}

}  // namespace

int listSort(void* base, unsigned count, int elemSize, int (*cmp)(const void*, const void*)) {
  if (count <= 1 || base == nullptr || elemSize <= 0 || cmp == nullptr) return 1;
  alignas(std::max_align_t) unsigned char stackTemp[kSortStackElement];
  unsigned char* temp = stackTemp;
  if (elemSize > kSortStackElement) {
    temp = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(elemSize)));
    if (temp == nullptr) return 1;  // no scratch element: leave the array as it is
  }
  SortView view{static_cast<unsigned char*>(base), static_cast<std::size_t>(elemSize), temp, cmp};
  if (count >= kHeapSortFrom) {
    heapSort(view, count);
  } else {
    shellSort(view, count);
  }
  if (temp != stackTemp) std::free(temp);
  return 1;
}

// ---- Bucket grid -----------------------------------------------------------------

double* seg2BoundingBox(double out[4], const void* seg) {
  Seg2 s;
  std::memcpy(&s, seg, sizeof s);
  out[0] = s.x0 < s.x1 ? s.x0 : s.x1;
  out[1] = s.y0 < s.y1 ? s.y0 : s.y1;
  out[2] = s.x0 > s.x1 ? s.x0 : s.x1;
  out[3] = s.y0 > s.y1 ? s.y0 : s.y1;
  return out;
}

namespace {

int gridSize(int count) {
  if (count <= 0) return 1;
  const double root = std::sqrt(static_cast<double>(count));
  for (int i = 2; i <= kGridMaxSize; ++i) {
    if (i * i > root) return i;
  }
  return kGridMaxSize;
}

}  // namespace

void itemGridFree(ItemGrid* grid) {
  if (grid == nullptr) return;
  if (grid->cells != nullptr) {
    for (int r = 0; r < grid->rows; ++r) {
      if (grid->cells[r] == nullptr) continue;
      for (int c = 0; c < grid->cols; ++c) listIntFree(grid->cells[r][c]);
      std::free(grid->cells[r]);
    }
    std::free(grid->cells);
  }
  std::free(grid);
}

ItemGrid* itemGridBuild(const void* items, int elemSize, int count, double margin, ItemBoxFn box) {
  if (count < 0) count = 0;
  if (count > 0 && (items == nullptr || box == nullptr || elemSize <= 0)) return nullptr;
  const int n = gridSize(count);
  ItemGrid* grid = static_cast<ItemGrid*>(std::calloc(1, sizeof(ItemGrid)));
  if (grid == nullptr) return nullptr;
  grid->rows = n;
  grid->cols = n;
  grid->cells =
      static_cast<IntList***>(std::calloc(static_cast<std::size_t>(n), sizeof(IntList**)));
  if (grid->cells == nullptr) {
    itemGridFree(grid);
    return nullptr;
  }
  for (int r = 0; r < n; ++r) {
    grid->cells[r] =
        static_cast<IntList**>(std::calloc(static_cast<std::size_t>(n), sizeof(IntList*)));
    if (grid->cells[r] == nullptr) {
      itemGridFree(grid);
      return nullptr;
    }
    for (int c = 0; c < n; ++c) {
      grid->cells[r][c] = listIntNew(kGridCellCapacity);
      if (grid->cells[r][c] == nullptr) {
        itemGridFree(grid);
        return nullptr;
      }
    }
  }
  if (count == 0) return grid;

  const unsigned char* bytes = static_cast<const unsigned char*>(items);
  const std::size_t stride = static_cast<std::size_t>(elemSize);
  double b[4];
  box(b, bytes);
  grid->minX = b[0];
  grid->minY = b[1];
  grid->maxX = b[2];
  grid->maxY = b[3];
  for (int k = 1; k < count; ++k) {
    box(b, bytes + stride * k);
    if (b[0] < grid->minX) grid->minX = b[0];
    if (b[1] < grid->minY) grid->minY = b[1];
    if (b[2] > grid->maxX) grid->maxX = b[2];
    if (b[3] > grid->maxY) grid->maxY = b[3];
  }
  grid->cellHeight = (grid->maxY - grid->minY) / n;
  grid->cellWidth = (grid->maxX - grid->minX) / n;

  for (int k = 0; k < count; ++k) {
    box(b, bytes + stride * k);
    const int c0 = itemGridIndex(b[0] - margin, grid->minX, grid->cellWidth, n);
    const int r0 = itemGridIndex(b[1] - margin, grid->minY, grid->cellHeight, n);
    const int c1 = itemGridIndex(b[2] + margin, grid->minX, grid->cellWidth, n);
    const int r1 = itemGridIndex(b[3] + margin, grid->minY, grid->cellHeight, n);
    for (int r = r0; r <= r1; ++r) {
      for (int c = c0; c <= c1; ++c) {
        if (listIntAppend(grid->cells[r][c], k) < 0) {
          itemGridFree(grid);
          return nullptr;
        }
      }
    }
  }
  return grid;
}

// ---- Crossings ---------------------------------------------------------------------

namespace {

bool shareEnd(const Seg2& a, const Seg2& b) {
  const Vec2d a0 = seg2Start(a), a1 = seg2End(a), b0 = seg2Start(b), b1 = seg2End(b);
  return geo2dPointsEqual(&a0, &b0, kGeoSharedEndTol) ||
         geo2dPointsEqual(&a0, &b1, kGeoSharedEndTol) ||
         geo2dPointsEqual(&a1, &b0, kGeoSharedEndTol) ||
         geo2dPointsEqual(&a1, &b1, kGeoSharedEndTol);
}

bool awayFromBothEnds(const Vec2d& x, const Seg2& s, double tol) {
  const Vec2d s0 = seg2Start(s), s1 = seg2End(s);
  return !geo2dPointsEqual(&x, &s0, tol) && !geo2dPointsEqual(&x, &s1, tol);
}

}  // namespace

namespace lists_detail {

int seg2FindCrossingsAllPairs(const Seg2List* segs, Pt2List* points, int findAll) {
  int found = 0;
  const Seg2* s = segs->items;
  for (int i = 0; i < segs->count; ++i) {
    for (int j = i + 2; j < segs->count; ++j) {
      Vec2d x;
      if (geo2dSegmentsCross(&s[i], &s[j]) != 1) continue;
      if (geo2dLineIntersect(&s[i], &s[j], kGeoLineTol, &x) != 1) continue;
      const Vec2d startI = seg2Start(s[i]), endJ = seg2End(s[j]);
      if (!(geo2dDistance(&startI, &endJ) > kGeoShortSegmentTol)) continue;
      found = 1;
      if (points != nullptr) listPt2Append(points, &x);
      if (!findAll) {
        vyrErrSet(1, kListsSource, kCrossingAllPairsPlace);
        return 1;
      }
    }
  }
  return found;
}

}  // namespace lists_detail

int listSeg2FindCrossings(Seg2List* segs, Pt2List* points, int findAll, double tol) {
  if (segs == nullptr || segs->items == nullptr || segs->count < 2) return 0;
  ItemGrid* grid = itemGridBuild(segs->items, sizeof(Seg2), segs->count, 0.0, seg2BoundingBox);
  if (grid == nullptr) return lists_detail::seg2FindCrossingsAllPairs(segs, points, findAll);

  int found = 0;
  const Seg2* s = segs->items;
  for (int r = 0; r < grid->rows; ++r) {
    for (int c = 0; c < grid->cols; ++c) {
      const IntList* cell = grid->cells[r][c];
      for (int i = 0; i < cell->count; ++i) {
        const Seg2& a = s[cell->items[i]];
        for (int j = i + 1; j < cell->count; ++j) {
          const Seg2& b = s[cell->items[j]];
          if (shareEnd(a, b)) continue;
          Vec2d x;
          if (geo2dSegmentsCross(&b, &a) != 1) continue;
          if (geo2dLineIntersect(&a, &b, kGeoLineTol, &x) != 1) continue;
          if (!awayFromBothEnds(x, a, tol) && !awayFromBothEnds(x, b, tol)) continue;
          found = 1;
          if (points != nullptr) listPt2Append(points, &x);
          if (!findAll) {
            vyrErrSet(1, kListsSource, kCrossingGridPlace);
            itemGridFree(grid);
            return 1;
          }
        }
      }
    }
  }
  itemGridFree(grid);
  return found;
}
