#include "geometry/lists/lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "geometry/errors/error_state.h"

namespace {

// ---- Capacities and growth -------------------------------------------------------

struct CapacityCase {
  const char* name;
  std::function<int()> capacityOfNew;
};
void PrintTo(const CapacityCase& c, std::ostream* os) { *os << c.name; }

template <class List, class Free>
int capacityOf(List* list, Free release) {
  const int capacity = list != nullptr ? list->capacity : -1;
  release(list);
  return capacity;
}

class ListCapacity : public testing::TestWithParam<std::pair<CapacityCase, int>> {};

TEST_P(ListCapacity, MinimumAtCreation) {
  EXPECT_EQ(GetParam().first.capacityOfNew(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListCapacity,
    testing::Values(
        std::make_pair(CapacityCase{"int_0", [] { return capacityOf(listIntNew(0), listIntFree); }},
                       3),
        std::make_pair(CapacityCase{"int_1", [] { return capacityOf(listIntNew(1), listIntFree); }},
                       3),
        std::make_pair(CapacityCase{"int_2", [] { return capacityOf(listIntNew(2), listIntFree); }},
                       2),
        std::make_pair(CapacityCase{"int_negative",
                                    [] { return capacityOf(listIntNew(-7), listIntFree); }},
                       3),
        std::make_pair(CapacityCase{"int_pair_1",
                                    [] {
                                      return capacityOf(listIntPairNew(1),
                                                        [](IntPairList* l) { itemArrayFree(l); });
                                    }},
                       3),
        std::make_pair(CapacityCase{"int4_2",
                                    [] {
                                      return capacityOf(listInt4New(2),
                                                        [](Int4List* l) { itemArrayFree(l); });
                                    }},
                       3),
        std::make_pair(CapacityCase{"pt2_1",
                                    [] {
                                      return capacityOf(listPt2New(1),
                                                        [](Pt2List* l) { listSeg2Free(l); });
                                    }},
                       3),
        std::make_pair(CapacityCase{"pt2_2",
                                    [] {
                                      return capacityOf(listPt2New(2),
                                                        [](Pt2List* l) { listSeg2Free(l); });
                                    }},
                       2),
        std::make_pair(CapacityCase{"seg2_2",
                                    [] {
                                      return capacityOf(listSeg2New(2),
                                                        [](Seg2List* l) { listSeg2Free(l); });
                                    }},
                       3),
        std::make_pair(CapacityCase{"pt3_0",
                                    [] {
                                      return capacityOf(listPt3New(0),
                                                        [](Pt3List* l) { listPt3Free(l); });
                                    }},
                       3),
        std::make_pair(CapacityCase{"tri_1",
                                    [] {
                                      return capacityOf(listTriNew(1),
                                                        [](TriList* l) { listPt3Free(l); });
                                    }},
                       2),
        std::make_pair(CapacityCase{"float_tri_2",
                                    [] {
                                      return capacityOf(listFloatTriNew(2), listFloatTriFree);
                                    }},
                       3),
        std::make_pair(
            CapacityCase{"dyn_3_8", [] { return capacityOf(dynArrayNew(3, 8), dynArrayFree); }}, 3),
        std::make_pair(CapacityCase{"dyn_4_8",
                                    [] { return capacityOf(dynArrayNew(4, 8), dynArrayFree); }},
                       4)),
    [](const auto& info) { return std::string(info.param.first.name); });

// Capacities a list passes through while items are appended one by one.
template <class List, class Append>
std::vector<int> capacitySteps(List* list, Append append, int appends) {
  std::vector<int> steps{list->capacity};
  for (int i = 0; i < appends; ++i) {
    append(list, i);
    if (list->capacity != steps.back()) steps.push_back(list->capacity);
  }
  return steps;
}

TEST(ListGrowth, IntListGrowsByHalfPlusOne) {
  IntList* list = listIntNew(0);
  EXPECT_EQ(capacitySteps(
                list, [](IntList* l, int i) { listIntAppend(l, i); }, 9),
            (std::vector<int>{3, 5, 8, 13}));
  listIntFree(list);
}

TEST(ListGrowth, TriListGrowsByHalf) {
  TriList* list = listTriNew(1);
  const double tri[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  EXPECT_EQ(capacitySteps(
                list, [&](TriList* l, int) { listTriAppend(l, tri); }, 5),
            (std::vector<int>{2, 3, 4, 6}));
  listPt3Free(list);
}

TEST(ListGrowth, DynArrayGrowsByHalf) {
  DynArray* array = dynArrayNew(0, sizeof(double));
  EXPECT_EQ(capacitySteps(
                array,
                [](DynArray* a, int i) {
                  double v = i;
                  dynArrayAppend(a, &v);
                },
                7),
            (std::vector<int>{3, 4, 6, 9}));
  for (int i = 0; i < 7; ++i) EXPECT_EQ(*static_cast<double*>(dynArrayAt(array, i)), i);
  dynArrayFree(array);
}

TEST(ListGrowth, AppendResults) {
  IntList* ints = listIntNew(1);
  EXPECT_EQ(listIntAppend(ints, 5), 0);
  EXPECT_EQ(listIntAppend(ints, 6), 1);
  EXPECT_EQ(listIntAppend(ints, 7), 2);
  EXPECT_EQ(listIntAppend(ints, 8), 3);
  listIntFree(ints);

  TriList* tris = listTriNew(0);
  const double tri[9] = {};
  EXPECT_EQ(listTriAppend(tris, tri), 1);
  EXPECT_EQ(listTriAppend(tris, tri), 2);
  EXPECT_EQ(listTriAppend(tris, tri), 3);
  listPt3Free(tris);

  IntPairList* pairs = listIntPairNew(0);
  EXPECT_EQ(listIntPairAppend(pairs, {1, 2}), 0);
  EXPECT_EQ(listIntPairAppend(pairs, {3, 4}), 1);
  EXPECT_EQ(pairs->items[1].second, 4);
  listClear(pairs);
  EXPECT_EQ(pairs->count, 0);
  EXPECT_EQ(listIntPairAppend(pairs, {5, 6}), 0);
  itemArrayFree(pairs);

  Pt2List* pts = listPt2New(0);
  const Vec2d p{1, 2};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(listPt2Append(pts, &p), 1);
  EXPECT_EQ(pts->count, 5);
  listSeg2Free(pts);
}

TEST(ListGrowth, NullListsRefuseAppends) {
  const Vec2d p{};
  const Vec3d q{};
  const Seg2 s{};
  const double tri[9] = {};
  const FloatTri ft{};
  const Int4 four{};
  EXPECT_EQ(listIntAppend(nullptr, 1), -1);
  EXPECT_EQ(listIntPairAppend(nullptr, {}), -1);
  EXPECT_EQ(listInt4Append(nullptr, &four), -1);
  EXPECT_EQ(listPt2Append(nullptr, &p), -1);
  EXPECT_EQ(listSeg2Append(nullptr, &s), -1);
  EXPECT_EQ(listPt3Append(nullptr, &q), -1);
  EXPECT_EQ(listTriAppend(nullptr, tri), -1);
  EXPECT_EQ(listFloatTriAppend(nullptr, &ft), -1);
  EXPECT_EQ(dynArrayAppend(nullptr, &p), -1);
  // A head whose block is missing refuses too.
  IntList head{0, 0, INT_MAX, INT_MIN, nullptr};
  EXPECT_EQ(listIntAppend(&head, 1), -1);
  EXPECT_EQ(head.count, 0);
}

TEST(ListGrowth, GrowthBeyondIntRangeFailsAndKeepsTheList) {
  int items[1] = {42};
  IntList head{INT_MAX, INT_MAX, 0, 0, items};
  EXPECT_EQ(listIntAppend(&head, 1), -1);
  EXPECT_EQ(head.count, INT_MAX);
  EXPECT_EQ(head.capacity, INT_MAX);
  EXPECT_EQ(head.items, items);
}

TEST(ListGrowth, TinyCapacityHeadBuiltElsewhereStillGrows) {
  // A triangle list of capacity 1 would stay at (int)(1 x 1.5) = 1 and the
  // append would write past its block.
  TriList* list = static_cast<TriList*>(std::calloc(1, sizeof(TriList)));
  list->capacity = 1;
  list->items = static_cast<Tri*>(std::malloc(sizeof(Tri)));
  const double tri[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(listTriAppend(list, tri), 1);
  EXPECT_EQ(listTriAppend(list, tri), 2);
  EXPECT_GE(list->capacity, 2);
  EXPECT_EQ(list->items[1].v[2].z, 9);
  listPt3Free(list);
}

// ---- Boxes ---------------------------------------------------------------------------

TEST(ListBox, PointListsStartEmptyAndWiden) {
  Pt3List* list = listPt3New(0);
  EXPECT_EQ(list->minX, DBL_MAX);
  EXPECT_EQ(list->minZ, DBL_MAX);
  EXPECT_EQ(list->maxY, -DBL_MAX);
  const Vec3d a{1, -2, 3};
  listPt3Append(list, &a);
  EXPECT_EQ(list->minX, 1);
  EXPECT_EQ(list->maxX, 1);
  EXPECT_EQ(list->minY, -2);
  EXPECT_EQ(list->maxY, -2);
  EXPECT_EQ(list->minZ, 3);
  EXPECT_EQ(list->maxZ, 3);
  const Vec3d b{-4, 5, 0};
  listPt3Append(list, &b);
  listClear(list);  // keeps the box
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(list->minX, -4);
  EXPECT_EQ(list->maxY, 5);
  EXPECT_EQ(list->minZ, 0);
  EXPECT_EQ(list->maxZ, 3);
  listPt3Free(list);
}

TEST(ListBox, SegmentListWidensByBothEnds) {
  Seg2List* list = listSeg2New(0);
  EXPECT_EQ(list->minY, DBL_MAX);
  const Seg2 s{3, 4, -1, 7};
  listSeg2Append(list, &s);
  EXPECT_EQ(list->minX, -1);
  EXPECT_EQ(list->maxX, 3);
  EXPECT_EQ(list->minY, 4);
  EXPECT_EQ(list->maxY, 7);
  listSeg2Free(list);
}

TEST(ListBox, TriangleListsUseTheirSentinels) {
  TriList* tris = listTriNew(0);
  EXPECT_EQ(tris->minX, 1e10);
  EXPECT_EQ(tris->maxZ, -1e10);
  const double tri[9] = {0, 1, 2, -3, 4, 5, 6, -7, 8};
  listTriAppend(tris, tri);
  EXPECT_EQ(tris->minX, -3);
  EXPECT_EQ(tris->maxX, 6);
  EXPECT_EQ(tris->minY, -7);
  EXPECT_EQ(tris->maxY, 4);
  EXPECT_EQ(tris->minZ, 2);
  EXPECT_EQ(tris->maxZ, 8);
  listPt3Free(tris);

  FloatTriList* floats = listFloatTriNew(0);
  EXPECT_EQ(floats->minY, 1e10f);
  EXPECT_EQ(floats->maxX, -1e10f);
  const FloatTri ft{{{0.5f, 1, 2}, {3, 4, 5}, {6, 7, -8}}};
  listFloatTriAppend(floats, &ft);
  EXPECT_EQ(floats->minX, 0.5f);
  EXPECT_EQ(floats->minZ, -8);
  double out[9];
  triFloatToDouble(out, &floats->items[0]);
  EXPECT_EQ(out[0], 0.5);
  EXPECT_EQ(out[8], -8.0);
  listFloatTriFree(floats);
}

TEST(ListBox, IntListKeepsItsRange) {
  IntList* list = listIntNew(0);
  EXPECT_EQ(list->min, INT_MAX);
  EXPECT_EQ(list->max, INT_MIN);
  for (int v : {4, -9, 12, 0}) listIntAppend(list, v);
  EXPECT_EQ(list->min, -9);
  EXPECT_EQ(list->max, 12);
  listIntFree(list);
}

// ---- DynArray --------------------------------------------------------------------

TEST(DynArrayTest, FirstBlockIsZeroFilled) {
  DynArray* array = dynArrayNew(5, 24);
  const unsigned char* bytes = static_cast<const unsigned char*>(array->data);
  EXPECT_TRUE(std::all_of(bytes, bytes + 5 * 24, [](unsigned char b) { return b == 0; }));
  EXPECT_EQ(array->count, 0);
  EXPECT_EQ(array->elemSize, 24);
  dynArrayFree(array);
  EXPECT_EQ(dynArrayNew(3, 0), nullptr);
}

TEST(DynArrayTest, AppendsItsOwnElementWhileGrowing) {
  DynArray* array = dynArrayNew(3, sizeof(Vec3d));
  for (int i = 0; i < 3; ++i) {
    const Vec3d v{double(i), double(i) + 0.5, -double(i)};
    dynArrayAppend(array, &v);
  }
  ASSERT_EQ(array->count, array->capacity);
  // The source lies in the block that the append must move.
  EXPECT_EQ(dynArrayAppend(array, dynArrayAt(array, 1)), 1);
  const Vec3d* last = static_cast<const Vec3d*>(dynArrayAt(array, 3));
  EXPECT_EQ(last->x, 1.0);
  EXPECT_EQ(last->y, 1.5);
  EXPECT_EQ(last->z, -1.0);
  dynArrayFree(array);
}

TEST(DynArrayTest, SizedAppendZeroFillsTheRestAndRefusesOversize) {
  DynArray* array = dynArrayNew(3, 8);
  const unsigned char big[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_EQ(dynArrayAppendSized(array, big, 16), -1);
  EXPECT_EQ(dynArrayAppendSized(array, big, -1), -1);
  EXPECT_EQ(array->count, 0);
  for (int i = 0; i < 4; ++i) dynArrayAppend(array, big);  // grown block holds old bytes
  EXPECT_EQ(dynArrayAppendSized(array, big, 3), 1);
  const unsigned char* slot = static_cast<const unsigned char*>(dynArrayAt(array, 4));
  EXPECT_EQ(std::vector<unsigned char>(slot, slot + 8),
            (std::vector<unsigned char>{1, 2, 3, 0, 0, 0, 0, 0}));
  dynArrayFree(array);
}

// ---- Frees -------------------------------------------------------------------------

TEST(ListFree, EveryFreeAcceptsNull) {
  listIntFree(nullptr);
  itemArrayFree(static_cast<ItemArray*>(nullptr));
  itemArrayFree(static_cast<IntPairList*>(nullptr));
  itemArrayFree(static_cast<Int4List*>(nullptr));
  listSeg2Free(static_cast<Seg2List*>(nullptr));
  listSeg2Free(static_cast<Pt2List*>(nullptr));
  listPt3Free(static_cast<Pt3List*>(nullptr));
  listPt3Free(static_cast<TriList*>(nullptr));
  listFloatTriFree(nullptr);
  dynArrayFree(nullptr);
  countedArrayFree(nullptr);
  itemGridFree(nullptr);
  itemArrayFree(nullptr);
  listSeg2Free(nullptr);
  listPt3Free(nullptr);
  EXPECT_EQ(listClear(static_cast<IntList*>(nullptr)), 1);
}

TEST(ListFree, SyncParamArrayFreeAcceptsNull) {
  syncParamArrayFree(nullptr);
  CountedArray* array = static_cast<CountedArray*>(std::malloc(sizeof(CountedArray)));
  array->count = 4;
  array->data = std::malloc(4 * sizeof(double));
  syncParamArrayFree(array);  // leak checker sees both blocks released
}

TEST(ListFree, ItemArrayReleasesHeadAndItems) {
  ItemArray* array = static_cast<ItemArray*>(std::malloc(sizeof(ItemArray)));
  array->capacity = 8;
  array->count = 0;
  array->items = std::malloc(8 * sizeof(Int4));
  itemArrayFree(array);
  Int4List* fours = listInt4New(0);
  const Int4 r{{1, 2, 3, 4}};
  for (int i = 0; i < 5; ++i) listInt4Append(fours, &r);
  EXPECT_EQ(fours->items[4].v[3], 4);
  itemArrayFree(fours);
}

// ---- Sort ------------------------------------------------------------------------------

int compareInts(const void* a, const void* b) {
  int x, y;
  std::memcpy(&x, a, sizeof x);
  std::memcpy(&y, b, sizeof y);
  return x < y ? -1 : (x > y ? 1 : 0);
}

class ListSortCount : public testing::TestWithParam<unsigned> {};

TEST_P(ListSortCount, MatchesStdSortOnDistinctKeys) {
  const unsigned n = GetParam();
  std::vector<int> keys(n);
  for (unsigned i = 0; i < n; ++i) keys[i] = static_cast<int>(i) * 7 - 30000;
  std::mt19937 rng(1234 + n);
  std::shuffle(keys.begin(), keys.end(), rng);
  std::vector<int> expected = keys;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listSort(keys.data(), n, sizeof(int), compareInts), 1);
  EXPECT_EQ(keys, expected);
}

// Shell sort below 10000 elements, heap sort from 10000.
INSTANTIATE_TEST_SUITE_P(Counts, ListSortCount,
                         testing::Values(0u, 1u, 2u, 10u, 9999u, 10000u, 12345u));

struct Wide {
  int key;
  char pad[300];
};

int compareWideDescending(const void* a, const void* b) {
  const int x = static_cast<const Wide*>(a)->key, y = static_cast<const Wide*>(b)->key;
  return y < x ? -1 : (y > x ? 1 : 0);
}

TEST(ListSort, WideElementsAndEqualKeys) {
  std::mt19937 rng(99);
  for (unsigned n : {500u, 10000u}) {
    std::vector<Wide> items(n);
    for (auto& w : items) {
      w.key = static_cast<int>(rng() % 50);  // many equal keys
      std::memset(w.pad, w.key, sizeof w.pad);
    }
    listSort(items.data(), n, sizeof(Wide), compareWideDescending);
    for (unsigned i = 1; i < n; ++i) ASSERT_GE(items[i - 1].key, items[i].key);
    for (const auto& w : items) ASSERT_EQ(w.pad[299], static_cast<char>(w.key));
  }
}

// ---- Bucket grid ----------------------------------------------------------------------

std::vector<Seg2> diagonalSegments(int n) {
  std::vector<Seg2> segs;
  for (int i = 0; i < n; ++i) segs.push_back({double(i), double(i), i + 0.5, i + 0.5});
  return segs;
}

class GridSize : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(GridSize, SmallestSquareAboveTheRootOfTheCount) {
  const auto [count, n] = GetParam();
  const std::vector<Seg2> segs = diagonalSegments(count);
  ItemGrid* grid = itemGridBuild(segs.data(), sizeof(Seg2), count, 0.0, seg2BoundingBox);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->rows, n);
  EXPECT_EQ(grid->cols, n);
  int entries = 0;
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) entries += grid->cells[r][c]->count;
  }
  EXPECT_GE(entries, count);
  itemGridFree(grid);
}

INSTANTIATE_TEST_SUITE_P(Counts, GridSize,
                         testing::Values(std::make_pair(0, 1), std::make_pair(1, 2),
                                         std::make_pair(15, 2), std::make_pair(16, 3),
                                         std::make_pair(80, 3), std::make_pair(81, 4)),
                         [](const auto& info) {
                           return "items_" + std::to_string(info.param.first);
                         });

TEST(ItemGridTest, CellIndexTruncatesAndClamps) {
  const double nan = std::nan("");
  const double inf = HUGE_VAL;
  struct Row {
    double v, origin, cell;
    int index;
  } rows[] = {
      {2.5, 0, 1, 2}, {2.999, 0, 1, 2}, {-0.5, 0, 1, 0}, {-7, 0, 1, 0},    {4, 0, 1, 3},
      {100, 0, 1, 3}, {inf, 0, 1, 3},   {-inf, 0, 1, 0}, {nan, 0, 1, 0},   {2, nan, 1, 0},
      {2, 0, 0, 0},   {2, 0, -1, 0},    {2, 0, nan, 0},  {12.5, 10, 2, 1},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(itemGridIndex(r.v, r.origin, r.cell, 4), r.index)
        << r.v << " from " << r.origin << " by " << r.cell;
  }
}

TEST(ItemGridTest, EmptyGridHasOneEmptyCellAndZeroBox) {
  ItemGrid* grid = itemGridBuild(nullptr, sizeof(Seg2), 0, 0.0, seg2BoundingBox);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->cells[0][0]->count, 0);
  EXPECT_EQ(grid->minX, 0.0);
  EXPECT_EQ(grid->maxY, 0.0);
  EXPECT_EQ(grid->cellWidth, 0.0);
  itemGridFree(grid);
}

TEST(ItemGridTest, ItemsEnterEveryCellTheirBoxReaches) {
  // Box 0..4 in a 2 x 2 grid: cells of 2 x 2.
  const std::vector<Seg2> segs = {
      {0, 0, 4, 4}, {0.5, 0.5, 1, 1}, {3, 0.5, 3.5, 1}, {0.5, 3, 1, 3.5}};
  ItemGrid* grid = itemGridBuild(segs.data(), sizeof(Seg2), 4, 0.0, seg2BoundingBox);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->cellWidth, 2.0);
  auto cell = [&](int r, int c) {
    const IntList* l = grid->cells[r][c];
    return std::vector<int>(l->items, l->items + l->count);
  };
  EXPECT_EQ(cell(0, 0), (std::vector<int>{0, 1}));
  EXPECT_EQ(cell(0, 1), (std::vector<int>{0, 2}));
  EXPECT_EQ(cell(1, 0), (std::vector<int>{0, 3}));
  EXPECT_EQ(cell(1, 1), (std::vector<int>{0}));
  itemGridFree(grid);

  // A margin of 1.5 lets the small boxes reach the neighbouring cells.
  grid = itemGridBuild(segs.data(), sizeof(Seg2), 4, 1.5, seg2BoundingBox);
  EXPECT_EQ(cell(1, 1), (std::vector<int>{0, 1, 2, 3}));
  itemGridFree(grid);
}

TEST(ItemGridTest, EqualExtentsPutEveryItemInTheFirstRowOrColumn) {
  // All segments horizontal at y = 5: zero cell height.
  std::vector<Seg2> flat;
  for (int i = 0; i < 16; ++i) flat.push_back({double(i), 5, i + 1.0, 5});
  ItemGrid* grid = itemGridBuild(flat.data(), sizeof(Seg2), 16, 0.25, seg2BoundingBox);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->cellHeight, 0.0);
  int firstRow = 0;
  for (int r = 0; r < grid->rows; ++r) {
    for (int c = 0; c < grid->cols; ++c) {
      if (r == 0)
        firstRow += grid->cells[r][c]->count;
      else
        EXPECT_EQ(grid->cells[r][c]->count, 0);
    }
  }
  EXPECT_GE(firstRow, 16);
  itemGridFree(grid);

  // All items the same point: zero width and height.
  const std::vector<Seg2> same(5, Seg2{2, 2, 2, 2});
  grid = itemGridBuild(same.data(), sizeof(Seg2), 5, 1.0, seg2BoundingBox);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->cells[0][0]->count, 5);
  EXPECT_EQ(grid->cells[1][1]->count, 0);
  itemGridFree(grid);
}

// ---- Crossings ---------------------------------------------------------------------

Seg2List* chainList(const std::vector<Vec2d>& pts) {
  Seg2List* list = listSeg2New(0);
  for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
    const Seg2 s{pts[i].x, pts[i].y, pts[i + 1].x, pts[i + 1].y};
    listSeg2Append(list, &s);
  }
  return list;
}

const std::vector<Vec2d> kBowtie = {{0, 0}, {2, 2}, {2, 0}, {0, 2}, {0, 0}};
const std::vector<Vec2d> kSquare = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}};

TEST(Crossings, BowtieCrossesOncePerSharedCell) {
  Seg2List* segs = chainList(kBowtie);
  Pt2List* points = listPt2New(0);
  EXPECT_EQ(listSeg2FindCrossings(segs, points, 1, 1e-5), 1);
  ASSERT_EQ(points->count, 4);
  for (int i = 0; i < points->count; ++i) {
    EXPECT_DOUBLE_EQ(points->items[i].x, 1.0);
    EXPECT_DOUBLE_EQ(points->items[i].y, 1.0);
  }
  listSeg2Free(points);
  listSeg2Free(segs);
}

TEST(Crossings, FirstCrossingStopsAndNotesCodeOne) {
  vyrErrReset();
  Seg2List* segs = chainList(kBowtie);
  Pt2List* points = listPt2New(0);
  EXPECT_EQ(listSeg2FindCrossings(segs, points, 0, 1e-5), 1);
  EXPECT_EQ(points->count, 1);
  EXPECT_EQ(vyrErrGetCode(), 1);
  listSeg2Free(points);
  listSeg2Free(segs);
}

TEST(Crossings, ClosedSquareAndSharedEndsDoNotCross) {
  vyrErrReset();
  Seg2List* square = chainList(kSquare);
  EXPECT_EQ(listSeg2FindCrossings(square, nullptr, 0, 1e-5), 0);
  listSeg2Free(square);
  // Two segments meeting only at a shared end point (a V).
  Seg2List* vee = chainList({{0, 2}, {1, 0}, {2, 2}});
  EXPECT_EQ(listSeg2FindCrossings(vee, nullptr, 0, 1e-5), 0);
  listSeg2Free(vee);
  EXPECT_EQ(vyrErrGetCode(), 0);
  // A T: the stem ends on the bar's interior; the point is at an end of the
  // stem only, so it counts.
  Seg2List* tee = listSeg2New(0);
  const Seg2 bar{0, 0, 2, 0}, stem{1, 0, 1, 2};
  listSeg2Append(tee, &bar);
  listSeg2Append(tee, &stem);
  EXPECT_EQ(listSeg2FindCrossings(tee, nullptr, 1, 1e-5), 1);
  listSeg2Free(tee);
}

TEST(Crossings, AllPairsFallbackSkipsNeighbours) {
  Seg2List* bowtie = chainList(kBowtie);
  Pt2List* points = listPt2New(0);
  EXPECT_EQ(lists_detail::seg2FindCrossingsAllPairs(bowtie, points, 1), 1);
  ASSERT_EQ(points->count, 1);
  EXPECT_DOUBLE_EQ(points->items[0].x, 1.0);
  listSeg2Free(points);
  vyrErrReset();
  EXPECT_EQ(lists_detail::seg2FindCrossingsAllPairs(bowtie, nullptr, 0), 1);
  EXPECT_EQ(vyrErrGetCode(), 1);
  listSeg2Free(bowtie);
  Seg2List* square = chainList(kSquare);
  EXPECT_EQ(lists_detail::seg2FindCrossingsAllPairs(square, nullptr, 0), 0);
  listSeg2Free(square);
}

long double orient(const Seg2& s, double x, double y) {
  return (static_cast<long double>(s.x1) - s.x0) * (static_cast<long double>(y) - s.y0) -
         (static_cast<long double>(s.y1) - s.y0) * (static_cast<long double>(x) - s.x0);
}

// Every interior crossing of a random soup is found, whatever cells the two
// segments share: the distinct points match a brute-force search.
TEST(Crossings, GridFindsTheSameCrossingsAsBruteForce) {
  std::mt19937 rng(4711);
  std::uniform_real_distribution<double> coord(0.0, 100.0);
  std::uniform_real_distribution<double> length(-12.0, 12.0);
  int rounds = 0, crossings = 0;
  for (int round = 0; round < 20; ++round) {
    const int n = 10 + round * 6;
    Seg2List* segs = listSeg2New(n);
    for (int i = 0; i < n; ++i) {
      const double x = coord(rng), y = coord(rng);
      const Seg2 s{x, y, x + length(rng), y + length(rng)};
      listSeg2Append(segs, &s);
    }
    std::vector<std::pair<double, double>> expected;
    bool nearDegenerate = false;
    for (int i = 0; i < n; ++i) {
      for (int j = i + 1; j < n; ++j) {
        const Seg2 &a = segs->items[i], &b = segs->items[j];
        const long double o1 = orient(a, b.x0, b.y0), o2 = orient(a, b.x1, b.y1);
        const long double o3 = orient(b, a.x0, a.y0), o4 = orient(b, a.x1, a.y1);
        for (long double o : {o1, o2, o3, o4})
          nearDegenerate |= std::fabs(static_cast<double>(o)) < 1e-6;
        if ((o1 > 0) == (o2 > 0) || (o3 > 0) == (o4 > 0)) continue;
        const long double t = o3 / (o3 - o4);
        expected.emplace_back(static_cast<double>(a.x0 + t * (a.x1 - a.x0)),
                              static_cast<double>(a.y0 + t * (a.y1 - a.y0)));
      }
    }
    if (nearDegenerate) {
      listSeg2Free(segs);
      continue;
    }
    ++rounds;
    crossings += static_cast<int>(expected.size());
    Pt2List* points = listPt2New(0);
    EXPECT_EQ(listSeg2FindCrossings(segs, points, 1, 1e-5), expected.empty() ? 0 : 1);
    // Distinct points of the grid search (a pair sharing cells repeats its point).
    std::vector<std::pair<double, double>> found;
    for (int k = 0; k < points->count; ++k) {
      const Vec2d& p = points->items[k];
      const bool seen = std::any_of(found.begin(), found.end(), [&](const auto& q) {
        return std::fabs(q.first - p.x) < 1e-9 && std::fabs(q.second - p.y) < 1e-9;
      });
      if (!seen) found.emplace_back(p.x, p.y);
    }
    ASSERT_EQ(found.size(), expected.size()) << "round " << round;
    for (const auto& e : expected) {
      EXPECT_TRUE(std::any_of(found.begin(), found.end(),
                              [&](const auto& q) {
                                return std::fabs(q.first - e.first) < 1e-7 &&
                                       std::fabs(q.second - e.second) < 1e-7;
                              }))
          << e.first << " " << e.second;
    }
    listSeg2Free(points);
    listSeg2Free(segs);
  }
  EXPECT_GE(rounds, 15);
  EXPECT_GE(crossings, 100);
}

}  // namespace
