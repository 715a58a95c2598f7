#include "base/memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

void* memAllocZeroed(std::size_t n) {
  if (n == 0) return nullptr;
  return std::calloc(1, n);
}

void* memResize(void* p, std::size_t n) {
  // realloc(p, 0) may free p and return null, which a caller would take for
  // a failure while p is gone; ask for one byte instead.
  return std::realloc(p, n == 0 ? 1 : n);
}

char* strDuplicate(const char* s) {
  if (s == nullptr) return nullptr;
  const std::size_t len = std::strlen(s);
  auto* copy = static_cast<char*>(std::malloc(len + 2));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, s, len);
  copy[len] = '\0';
  copy[len + 1] = '\0';
  return copy;
}

void* memAllocLarge(std::size_t n) {
  if (n == 0) return nullptr;
  if (n < kMemLargeBlock) return std::malloc(n);
  const std::size_t rounded = (n + kMemLargeBlock - 1) / kMemLargeBlock * kMemLargeBlock;
  if (rounded < n) return nullptr;
  void* p = std::aligned_alloc(kMemLargeBlock, rounded);
  if (p == nullptr) return std::malloc(n);
  // Only advice: where huge pages are off the block works as any other.
  madvise(p, rounded, MADV_HUGEPAGE);
  // The pages are mapped here, one after the other.  Threads that fill
  // parts of one huge page at once would race to map it, and on some
  // systems that costs ten times the mapping itself.
  auto* bytes = static_cast<volatile unsigned char*>(p);
  for (std::size_t at = 0; at < rounded; at += kMemLargeBlock) bytes[at] = 0;
  return p;
}

void memFree(void* p) { std::free(p); }
