#include "model/drop/thread_lists.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <vector>

namespace {

TEST(CountedArray, MinIndexIsTheFirstSmallest) {
  CountedArray* a = countedArrayNewInt(5);
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->count, 5);
  const int values[] = {4, -2, 7, -2, 0};
  for (int i = 0; i < 5; ++i) countedArraySet(a, i, values[i]);
  int index = -1;
  EXPECT_EQ(countedArrayMinIndex(a, &index), -2);
  EXPECT_EQ(index, 1);
  countedArrayFree(a);
  CountedArray* empty = countedArrayNewInt(0);
  ASSERT_NE(empty, nullptr);
  index = 9;
  EXPECT_EQ(countedArrayMinIndex(empty, &index), 0);
  EXPECT_EQ(index, 0);
  countedArrayFree(empty);
}

TEST(ThreadIntLists, RefusesWhatAnotherThreadHolds) {
  ThreadIntLists* lists = threadIntListsNew(3);
  ASSERT_NE(lists, nullptr);
  EXPECT_EQ(lists->count, 3);
  EXPECT_EQ(threadIntListsAddUnique(lists, 0, 5), 1);
  EXPECT_EQ(threadIntListsAddUnique(lists, 0, 9), 1);
  EXPECT_EQ(threadIntListsAddUnique(lists, 1, 5), 0);
  EXPECT_EQ(threadIntListsAddUnique(lists, 2, 9), 0);
  EXPECT_EQ(threadIntListsAddUnique(lists, 1, 7), 1);
  // A thread's own list is not searched.
  EXPECT_EQ(threadIntListsAddUnique(lists, 0, 9), 1);
  EXPECT_EQ(lists->lists[0]->count, 3);
  EXPECT_EQ(threadIntListsFree(lists), 1);
  EXPECT_EQ(threadIntListsFree(nullptr), 0);
}

TEST(ThreadIntLists, GrowsByHalfKeepingItsItems) {
  ThreadIntLists* lists = threadIntListsNew(2);
  for (int v = 0; v < 2500; ++v) ASSERT_EQ(threadIntListsAddUnique(lists, 1, v), 1);
  EXPECT_EQ(lists->lists[1]->count, 2500);
  EXPECT_EQ(lists->lists[1]->capacity, 2250 + 1125);
  for (int v = 0; v < 2500; ++v) ASSERT_EQ(lists->lists[1]->items[v], v);
  EXPECT_EQ(threadIntListsAddUnique(lists, 0, 1234), 0);
  threadIntListsFree(lists);
}

// Lists made for the running team: every thread of a region with more
// threads than processors has its own list, and each value is taken by
// exactly one thread whatever the number of threads.
TEST(ThreadIntLists, SizedByTheTeamEachValueGoesToOneThread) {
  for (int threads : {1, 3, 2 * omp_get_num_procs() + 1}) {
    std::vector<int> taken(4000, 0);
#pragma omp parallel num_threads(threads)
    {
      ThreadIntLists* lists = nullptr;
#pragma omp single copyprivate(lists)
      lists = threadIntListsNew(omp_get_num_threads());
      const int t = omp_get_thread_num();
#pragma omp for schedule(dynamic, 7)
      for (int k = 0; k < 8000; ++k) {
        const int v = k / 2;  // every value is offered twice
        int ok = 0;
#pragma omp critical(thread_lists_test)
        ok = threadIntListsAddUnique(lists, t, v);
        if (ok == 1) {
#pragma omp atomic
          taken[v] += 1;
        }
      }
#pragma omp barrier
#pragma omp single
      threadIntListsFree(lists);
    }
    for (int v = 0; v < 4000; ++v) {
      // Offered twice: by one thread (which may take it twice) or refused.
      ASSERT_GE(taken[v], 1) << v;
      ASSERT_LE(taken[v], 2) << v;
    }
  }
}

}  // namespace
