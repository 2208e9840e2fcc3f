// Global memory blocks: the text carriers of drawing commands and log lines.
#include <gtest/gtest.h>

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
