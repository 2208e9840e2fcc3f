// Global memory blocks: the text carriers of drawing commands and log lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "win32.h"

TEST(GlobalMemory, AllocLockCopyFree) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 6);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 6u);
    char* text = static_cast<char*>(GlobalLock(block));
    ASSERT_NE(text, nullptr);
    std::memcpy(text, "hello", 6);
    EXPECT_FALSE(GlobalUnlock(block));  // lock count back to zero
    EXPECT_STREQ(static_cast<char*>(GlobalLock(block)), "hello");
    GlobalUnlock(block);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, RefusesWhatIsNotABlock) {
    EXPECT_EQ(GlobalLock(nullptr), nullptr);
    EXPECT_FALSE(GlobalUnlock(nullptr));
    EXPECT_EQ(GlobalSize(nullptr), 0u);
    HGLOBAL zero = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 0);
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(*static_cast<char*>(GlobalLock(zero)), 0);
    GlobalUnlock(zero);
    GlobalFree(zero);
}

// Sizes are size_t: 32 bits in the web build. A large block is there whole, and a
// size near the top of the address space is refused, never wrapped into a short
// allocation that the zero fill or a copy would overrun.
TEST(GlobalMemory, LargeBlocksAreWholeAndImpossibleSizesRefused) {
    HGLOBAL big = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 100000);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(GlobalSize(big), 100000u);
    auto* bytes = static_cast<unsigned char*>(GlobalLock(big));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[99999], 0);
    GlobalUnlock(big);
    GlobalFree(big);
    for (size_t size : {SIZE_MAX, SIZE_MAX - 8, SIZE_MAX / 2 + 1}) {
        EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size), nullptr) << size;
    }
}
