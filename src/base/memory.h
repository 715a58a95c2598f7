// Allocation helpers shared by every subsystem.  Blocks handed out by these
// helpers, and every block another module hands to its caller "for
// memFree", are released with memFree and nothing else.
//
// Thread-safety: as safe as the C runtime's allocator (any thread).
#pragma once

#include <cstddef>

// A block of n bytes, every byte zero, or null when n is 0 or the allocation
// fails.  Free with memFree.
void* memAllocZeroed(std::size_t n);

// Resizes block p (from any helper here) to n bytes, keeping the first
// min(old, n) bytes; the bytes beyond the old size are undefined.  A null p
// allocates a new block.  Returns the (possibly moved) block, or null on
// failure, in which case p is still valid and still owned by the caller.
// n == 0 is treated as a 1-byte request so that null always means failure.
void* memResize(void* p, std::size_t n);

// A copy of the NUL-terminated text s in a new block of strlen(s) + 2 bytes:
// the text, its terminator and one spare zero byte that callers may use to
// append a single character.  Null for a null s or on failure.  Free with
// memFree.
char* strDuplicate(const char* s);

// A block of n bytes (contents undefined), or null when n is 0 or the
// allocation fails; free it with memFree (or free), resize it with
// memResize.  Blocks of kMemLargeBlock bytes or more start on a huge-page
// boundary, are advised as huge pages where the system offers them and are
// mapped before they are returned: a model's arrays then fault once per
// 2 MiB instead of once per page, and not while several threads fill them.
void* memAllocLarge(std::size_t n);
inline constexpr std::size_t kMemLargeBlock = std::size_t{2} << 20;

// Releases a block from memAllocZeroed, memAllocLarge, memResize or
// strDuplicate; null is ignored.
void memFree(void* p);
