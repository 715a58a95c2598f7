#include "base/memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

TEST(Memory, DuplicateKeepsASpareZeroByte) {
  char* empty = strDuplicate("");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], '\0');
  EXPECT_EQ(empty[1], '\0');  // the block holds 2 bytes (ASan checks the size)
  memFree(empty);

  char* copy = strDuplicate("abc");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "abc");
  copy[3] = 'd';  // the spare byte lets a caller append one character
  EXPECT_STREQ(copy, "abcd");
  memFree(copy);

  EXPECT_EQ(strDuplicate(nullptr), nullptr);
}

TEST(Memory, AllocResizeAndFree) {
  auto* block = static_cast<unsigned char*>(memAllocZeroed(64));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], 0);
  block[63] = 7;
  block = static_cast<unsigned char*>(memResize(block, 4096));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[63], 7);
  // A zero size still yields a block, so null keeps meaning failure.
  block = static_cast<unsigned char*>(memResize(block, 0));
  EXPECT_NE(block, nullptr);
  memFree(block);

  void* fresh = memResize(nullptr, 16);
  EXPECT_NE(fresh, nullptr);
  memFree(fresh);
  memFree(nullptr);
  EXPECT_EQ(memAllocZeroed(0), nullptr);
}

// Large blocks start on a huge-page boundary; every block of any size is
// used, grown and freed like the others.
TEST(Memory, LargeBlocksAreAlignedAndBehaveAsAnyOther) {
  for (const std::size_t n : {std::size_t{100}, kMemLargeBlock - 1, kMemLargeBlock,
                              3 * kMemLargeBlock + 5}) {
    auto* block = static_cast<unsigned char*>(memAllocLarge(n));
    ASSERT_NE(block, nullptr) << n;
    if (n >= kMemLargeBlock) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % kMemLargeBlock, 0u) << n;
    }
    std::memset(block, 0xab, n);
    block = static_cast<unsigned char*>(memResize(block, n + 4096));
    ASSERT_NE(block, nullptr) << n;
    EXPECT_EQ(block[n - 1], 0xab) << n;
    block[n + 4095] = 1;
    memFree(block);
  }
  EXPECT_EQ(memAllocLarge(0), nullptr);
}

}  // namespace
