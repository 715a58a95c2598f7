// Small per-thread containers of the parallel drivers: counted int arrays
// and one sorted int list per thread whose add refuses a value that another
// thread already holds.
//
// Sizing: the per-thread lists are made for the team that will use them (the
// number of threads of the parallel region: omp_get_max_threads() just
// before it, or omp_get_num_threads() inside it), never for the processor
// count, which a thread limit or nested region can make smaller or larger.
//
// Threads: each thread appends only to its own list; threadIntListsAddUnique
// reads the other threads' lists, so its callers run it under one critical
// section of their own.
#pragma once

#include <cstdint>

#include "geometry/lists/lists.h"

// Room of a new per-thread list.
inline constexpr int kThreadIntListCapacity = 1000;

struct ThreadIntList {
  int32_t capacity;
  int32_t count;
  int32_t* items;  // ascending, as their users append them
};

struct ThreadIntLists {
  int32_t capacity;  // number of threads
  int32_t count;     // number of threads
  ThreadIntList** lists;
};

// A CountedArray of n ints (at least room for one), count n, contents
// undefined.  Null on failure.  Free with countedArrayFree.
CountedArray* countedArrayNewInt(int n);

// Sets entry i; an index outside 0..count-1 is a caller's error (asserted,
// and ignored).
void countedArraySet(CountedArray* array, int i, int value);

// The smallest value and, in *index, the index of its first occurrence; 0
// and index 0 for an empty or null array.
int countedArrayMinIndex(const CountedArray* array, int* index);

// n lists (at least 1) of kThreadIntListCapacity ints, one per thread of the
// team.  Null when the head or its pointer array cannot be allocated; a list
// that cannot be allocated stays null (its thread then stores nothing).
ThreadIntLists* threadIntListsNew(int n);

// Frees every list and the head.  0 for null, else 1.
int threadIntListsFree(ThreadIntLists* head);

// 0 when a list other than thread's holds value (each searched from its end
// while its items are not smaller than value); otherwise value is appended to
// the thread's list (which grows by half when full; when it cannot grow, or
// the list is missing, the value is not stored) and the result is 1.  A
// thread number outside the team is a caller's error: asserted, and -1 with
// nothing stored.
int threadIntListsAddUnique(ThreadIntLists* head, int thread, int value);
