// The message log ring: 25 lines, the oldest pushed out, one stored line per call.
#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "package_test_support.h"

using test_support::log_lines;

class MessageLog : public ::testing::Test {
protected:
    void SetUp() override { reset_package_state(); }
    void TearDown() override { reset_package_state(); }
};

// The blocks the log holds, in no particular order.
static std::set<HGLOBAL> held_blocks() {
    std::set<HGLOBAL> held;
    for (HGLOBAL block : package_state.log_slots) {
        if (block != nullptr) held.insert(block);
    }
    return held;
}

TEST_F(MessageLog, RingKeepsTheLast25Lines) {
    EXPECT_TRUE(log_lines().empty());
    std::vector<std::string> all;
    for (int i = 1; i <= 60; ++i) {
        std::string line = "line " + std::to_string(i) + "\n";
        std::set<HGLOBAL> before = held_blocks();
        log_printf("%s", line.c_str());
        all.push_back(line);
        const size_t kept = std::min<size_t>(all.size(), 25);
        ASSERT_EQ(log_lines(), std::vector<std::string>(all.end() - kept, all.end())) << i;
        std::set<HGLOBAL> after = held_blocks();
        ASSERT_EQ(after.size(), kept);
        if (i <= 25) continue;
        // The pushed-out line's block was freed: its handle is refused, unless the
        // allocator gave the same memory to the new line's block (dlmalloc does).
        std::vector<HGLOBAL> dropped;
        std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                            std::back_inserter(dropped));
        ASSERT_LE(dropped.size(), 1u);
        if (!dropped.empty()) {
            EXPECT_EQ(GlobalSize(dropped[0]), 0u);
        }
    }
}

TEST_F(MessageLog, EachCallIsOneStoredLine) {
    EXPECT_EQ(log_printf("no newline"), 10);
    EXPECT_EQ(log_printf("two\nparts\n"), 10);
    EXPECT_EQ(log_printf("%s", ""), 0);
    EXPECT_EQ(log_lines(), (std::vector<std::string>{"no newline", "two\nparts\n", ""}));
}

TEST_F(MessageLog, EveryStoredLineReachesTheDebugOutput) {
    test_support::LogCapture capture;
    for (int i = 0; i < 40; ++i) log_printf("n=%d\n", i);
    ASSERT_EQ(capture.lines.size(), 40u);
    EXPECT_EQ(capture.lines[0], "n=0\n");
    EXPECT_EQ(capture.lines[39], "n=39\n");
}

TEST_F(MessageLog, SetLoggingNeedsADisplay) {
    package_state.logging_enabled = true;
    EXPECT_EQ(set_logging(0), 0);
    EXPECT_TRUE(package_state.logging_enabled);
}
