// The message log ring: 25 lines, the oldest pushed out, one stored line per call.
#include <string>

#include "package_test_support.h"

using test_support::log_lines;

class MessageLog : public ::testing::Test {
protected:
    void SetUp() override { reset_package_state(); }
    void TearDown() override { reset_package_state(); }
};

TEST_F(MessageLog, RingKeepsTheLast25Lines) {
    EXPECT_EQ(package_state.log_oldest, -1);
    EXPECT_EQ(package_state.log_next, 0);
    log_printf("line %d\n", 1);
    EXPECT_EQ(package_state.log_oldest, 0);
    EXPECT_EQ(package_state.log_next, 1);
    for (int i = 2; i <= 25; ++i) log_printf("line %d\n", i);
    EXPECT_EQ(package_state.log_oldest, 0);
    EXPECT_EQ(package_state.log_next, 0);
    EXPECT_EQ(log_lines().size(), 25u);

    HGLOBAL first = package_state.log_slots[0];
    log_printf("line %d\n", 26);
    // The pushed-out line's block was freed: its handle is refused, unless the
    // allocator gave the same memory to the new line's block (dlmalloc does).
    if (package_state.log_slots[0] != first) {
        EXPECT_EQ(GlobalSize(first), 0u);
    }
    EXPECT_EQ(GlobalSize(package_state.log_slots[0]), sizeof("line 26\n"));
    EXPECT_EQ(package_state.log_oldest, 1);
    EXPECT_EQ(package_state.log_next, 1);
    auto lines = log_lines();
    ASSERT_EQ(lines.size(), 25u);
    EXPECT_EQ(lines.front(), "line 2\n");
    EXPECT_EQ(lines.back(), "line 26\n");
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
