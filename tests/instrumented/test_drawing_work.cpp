// Drawing calls whose work is counted through the drawing observer's hooks,
// which only the instrumented copy of the package and the platform has.
#include <climits>
#include <string>

#include "package_test_support.h"
#include "portable/gdi/observer.h"

using test_support::CanvasTest;

class DrawingCalls : public CanvasTest {};

constexpr COLORREF white = 0xFFFFFF;

namespace {

// What drawing did: the text calls the package handed down, the bytes they
// carried, and the runs of pixels written.
struct DrawCounts {
    int64_t texts = 0;
    int64_t text_bytes = 0;
    int64_t spans = 0;
};

// Counts through the platform's drawing observer while it lives.
struct DrawCounter : portable::DrawObserver {
    DrawCounts counts;
    portable::DrawObserver* previous = portable::set_draw_observer(this);
    ~DrawCounter() override { portable::set_draw_observer(previous); }
    void call(const portable::DrawCall& c) override {
        if (c.kind != portable::DrawCall::Text) return;
        ++counts.texts;
        counts.text_bytes += c.count;
    }
    void span(const portable::Surface&, int64_t, int64_t, int64_t, uint32_t) override {
        ++counts.spans;
    }
};

DrawCounts count_drawing(int x, int y, const std::string& text) {
    DrawCounter counter;
    draw_text(0, x, y, 15, text.c_str());
    return counter.counts;
}

}  // namespace

// A text far off the canvas costs no more than passing over its bytes: lines that
// cannot reach the canvas are not handed to the platform, and of a line's glyphs
// only those that can reach the canvas are drawn (the others move the pen). Each
// 1 MB case is counted against a short text that draws the same; the timings are
// in bench/bench_text.cpp (BM_MegabyteText).
TEST_F(DrawingCalls, FarOffTextsDrawOnlyWhatCanReachTheCanvas) {
    const std::string line(1 << 20, 'W');
    std::string lines;  // 1 MB of one-letter lines
    while (lines.size() < line.size()) lines += "W\n";
    SIZE extent;
    HFONT font = CreateFontA(-15, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "TAVLO-font");
    HGDIOBJ old_font = SelectObject(package_state.canvas_dc, font);
    GetTextExtentPointA(package_state.canvas_dc, "W", 1, &extent);
    SelectObject(package_state.canvas_dc, old_font);
    DeleteObject(font);
    const int advance = extent.cx, line_height = extent.cy;
    ASSERT_GT(advance, 0);
    ASSERT_GT(line_height, 0);
    // The most lines of size 15 that can show on the canvas, part of one at
    // either edge included.
    const int64_t visible_lines = canvas_height / line_height + 2;

    // One line far to the right or far to the left on a visible row: handed down
    // once, and not a pixel drawn.
    for (int x : {INT_MAX, INT_MIN}) {
        DrawCounts far = count_drawing(x, 0, line);
        EXPECT_EQ(far.texts, 1) << x;
        EXPECT_EQ(far.text_bytes, int64_t(line.size())) << x;
        EXPECT_EQ(far.spans, 0) << x;
    }
    EXPECT_EQ(count(white), canvas_width * canvas_height);

    // From far to the left into the canvas: the glyphs that pass by unseen write
    // nothing; the last ones, from two beyond the left edge on, write what they
    // write alone.
    const int shown = 20, last_x = -center_x - 2 * advance;
    fill(white);
    DrawCounts entering = count_drawing(last_x - (int(line.size()) - shown) * advance, 0, line);
    const std::vector<uint32_t> entered = pixels();
    fill(white);
    DrawCounts alone = count_drawing(last_x, 0, std::string(shown, 'W'));
    EXPECT_GT(alone.spans, 0);
    EXPECT_EQ(entering.spans, alone.spans);
    EXPECT_EQ(entered, pixels());

    // Every line far above, or far below: nothing is handed down.
    for (int y : {INT_MAX, INT_MIN + 1}) {
        DrawCounts off = count_drawing(0, y, lines);
        EXPECT_EQ(off.texts, 0) << y;
        EXPECT_EQ(off.spans, 0) << y;
    }
    // The canvas halfway down the lines: only the lines that can reach it (with a
    // margin for glyphs that stick out of their cells), a few dozen of the half
    // million, are handed down.
    fill(white);
    DrawCounts middle = count_drawing(0, int(lines.size() / 4) * line_height, lines);
    EXPECT_GE(middle.texts, visible_lines - 2);
    EXPECT_LE(middle.texts, 3 * visible_lines);
    EXPECT_EQ(middle.text_bytes, middle.texts);
    EXPECT_GT(middle.spans, 0);
}
