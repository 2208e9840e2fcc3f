// The text window: the message log painted with the newest line at the bottom,
// and set_logging's check mark and showing of the window.
#include <string>
#include <vector>

#include "display_test_support.h"
#include "image_compare.h"
#include "portable/kernel/system.h"

using test_support::DisplayTest;

class LogWindow : public DisplayTest {
protected:
    // Repaints the text window now and returns its picture.
    portable::HeadlessImage painted() {
        InvalidateRect(text(), nullptr, TRUE);
        SendMessageA(text(), WM_PAINT, 0, 0);
        return presenter().front_image(text());
    }
    static bool row_is_blank(const portable::HeadlessImage& image, int row) {
        for (int x = 0; x < image.width; ++x)
            if (image.pixels[size_t(row) * image.width + x] != 0xFFFFFF) return false;
        return true;
    }
};

TEST_F(LogWindow, NewestLineAtTheBottom) {
    open();
    log_printf("the first line of the log\n");
    portable::HeadlessImage one = painted();
    EXPECT_TRUE(tavlo_test::matches_golden("log_1_line", one.width, one.height, one.pixels.data()));
    EXPECT_FALSE(row_is_blank(one, one.height - 5));
    EXPECT_TRUE(row_is_blank(one, one.height - 20));

    for (int i = 2; i <= 25; ++i) log_printf("line %d of the log\n", i);
    portable::HeadlessImage full = painted();
    EXPECT_TRUE(
        tavlo_test::matches_golden("log_25_lines", full.width, full.height, full.pixels.data()));

    log_printf("line 26 pushes out the first");
    portable::HeadlessImage pushed = painted();
    EXPECT_TRUE(tavlo_test::matches_golden("log_26_lines", pushed.width, pushed.height,
                                           pushed.pixels.data()));
}

TEST_F(LogWindow, OnlyTheLastNewlineOfALineGoes) {
    open();
    log_printf("two newlines\n\n");
    portable::HeadlessImage first = painted();
    portable::HeadlessImage second = painted();  // painting again shows the same
    EXPECT_EQ(first.pixels, second.pixels);
    const char* stored = static_cast<const char*>(GlobalLock(package_state.log_slots[0]));
    EXPECT_STREQ(stored, "two newlines\n\n");  // the log keeps what it was given
    GlobalUnlock(package_state.log_slots[0]);
}

TEST_F(LogWindow, SetLoggingMarksTheMenuAndShowsTheWindow) {
    open();
    ShowWindow(text(), SW_HIDE);
    EXPECT_EQ(set_logging(5), 1);
    EXPECT_TRUE(package_state.logging_enabled);
    EXPECT_EQ(presenter().menu_checked(graphics(), CMD_LOGGING), true);
    EXPECT_TRUE(presenter().visible(text()));

    ShowWindow(text(), SW_HIDE);
    EXPECT_EQ(set_logging(0), 1);
    EXPECT_FALSE(package_state.logging_enabled);
    EXPECT_EQ(presenter().menu_checked(graphics(), CMD_LOGGING), false);
    EXPECT_FALSE(presenter().visible(text()));
}

TEST_F(LogWindow, TheMenuTogglesLoggingWithoutShowingTheWindow) {
    open();
    set_logging(0);
    ShowWindow(text(), SW_HIDE);
    menu(CMD_LOGGING);
    pump_message();
    EXPECT_TRUE(package_state.logging_enabled);
    EXPECT_EQ(presenter().menu_checked(graphics(), CMD_LOGGING), true);
    EXPECT_FALSE(presenter().visible(text()));
}

// The package's repairs of a call are marked, while the debugger has the line, by
// the graphics window's property "Repair" holding that very text (what the
// playground shows with the program's line); the program's own lines and the
// call log are not, and no mark stays afterwards.
TEST_F(LogWindow, RepairsAreMarkedWhileTheDebuggerHasThem) {
    open();
    set_logging(1);
    std::vector<std::string> marked, plain;
    portable::set_debug_output_sink([&](const char* text) {
        (GetPropA(graphics(), "Repair") == text ? marked : plain).emplace_back(text);
    });
    draw_rectangle(30, 0, 0, 10, 10, -3);
    log_printf("Illegal color 99; using RED.\n");
    set_frame_rate(500);
    portable::set_debug_output_sink(nullptr);
    EXPECT_EQ(marked, (std::vector<std::string>{"Illegal color 30; using RED.\n",
                                                "Width of -3 not possible, using width 3\n",
                                                "Frame rate of 500 not possible, using 120\n"}));
    EXPECT_EQ(plain, (std::vector<std::string>{"red rectangle with bounding box (0,10) to (10,0) "
                                               "with line width 3\n",
                                               "Illegal color 99; using RED.\n"}));
    EXPECT_EQ(GetPropA(graphics(), "Repair"), nullptr);
}
