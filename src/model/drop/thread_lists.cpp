#include "model/drop/thread_lists.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdlib>

CountedArray* countedArrayNewInt(int n) {
  auto* a = static_cast<CountedArray*>(std::calloc(1, sizeof(CountedArray)));
  if (a == nullptr) return nullptr;
  const int count = std::max(n, 0);
  a->data = std::malloc(sizeof(int32_t) * static_cast<std::size_t>(std::max(count, 1)));
  if (a->data == nullptr) {
    std::free(a);
    return nullptr;
  }
  a->count = count;
  return a;
}

void countedArraySet(CountedArray* array, int i, int value) {
  assert(array != nullptr && i >= 0 && i < array->count);
  if (array == nullptr || i < 0 || i >= array->count) return;
  static_cast<int32_t*>(array->data)[i] = value;
}

int countedArrayMinIndex(const CountedArray* array, int* index) {
  *index = 0;
  if (array == nullptr || array->count <= 0) return 0;
  const auto* v = static_cast<const int32_t*>(array->data);
  int best = v[0];
  for (int i = 1; i < array->count; ++i) {
    if (v[i] < best) {
      best = v[i];
      *index = i;
    }
  }
  return best;
}

ThreadIntLists* threadIntListsNew(int n) {
  n = std::max(n, 1);
  auto* head = static_cast<ThreadIntLists*>(std::calloc(1, sizeof(ThreadIntLists)));
  if (head == nullptr) return nullptr;
  head->lists =
      static_cast<ThreadIntList**>(std::calloc(static_cast<std::size_t>(n), sizeof(void*)));
  if (head->lists == nullptr) {
    std::free(head);
    return nullptr;
  }
  head->capacity = head->count = n;
  for (int t = 0; t < n; ++t) {
    auto* list = static_cast<ThreadIntList*>(std::calloc(1, sizeof(ThreadIntList)));
    if (list == nullptr) continue;
    list->items = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * kThreadIntListCapacity));
    if (list->items == nullptr) {
      std::free(list);
      continue;
    }
    list->capacity = kThreadIntListCapacity;
    head->lists[t] = list;
  }
  return head;
}

int threadIntListsFree(ThreadIntLists* head) {
  if (head == nullptr) return 0;
  for (int t = 0; t < head->count; ++t) {
    if (head->lists[t] != nullptr) std::free(head->lists[t]->items);
    std::free(head->lists[t]);
  }
  std::free(head->lists);
  std::free(head);
  return 1;
}

int threadIntListsAddUnique(ThreadIntLists* head, int thread, int value) {
  assert(head != nullptr && thread >= 0 && thread < head->count);
  if (head == nullptr || thread < 0 || thread >= head->count) return -1;
  for (int t = 0; t < head->count; ++t) {
    const ThreadIntList* other = head->lists[t];
    if (t == thread || other == nullptr) continue;
    for (int k = other->count - 1; k >= 0 && other->items[k] >= value; --k) {
      if (other->items[k] == value) return 0;
    }
  }
  ThreadIntList* own = head->lists[thread];
  if (own == nullptr) return 1;
  if (own->count >= own->capacity) {
    if (own->capacity > INT_MAX / 3 * 2) return 1;
    const int grown = own->capacity + std::max(own->capacity / 2, 1);
    void* p = std::realloc(own->items, sizeof(int32_t) * static_cast<std::size_t>(grown));
    if (p == nullptr) return 1;
    own->items = static_cast<int32_t*>(p);
    own->capacity = grown;
  }
  own->items[own->count++] = value;
  return 1;
}
