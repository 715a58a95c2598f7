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

// Releases a block from memAllocZeroed, memResize or strDuplicate; null is
// ignored.
void memFree(void* p);
