// Text: the package's per-call pattern (create a font, select it, measure, draw,
// put the old font back, delete it) on a 601 x 540 canvas, and plain drawing; and
// 1 MB texts through draw_text, on and off the canvas, whose cost must stay
// bounded by the pixels they can touch plus a small cost per character.
#include <benchmark/benchmark.h>

#include <climits>
#include <string>

#include "package_state.h"
#include "win32.h"

namespace {

struct Canvas {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 601, 540);
    HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
    Canvas() {
        SetTextColor(dc, RGB(255, 0, 0));
        SetBkMode(dc, TRANSPARENT);
    }
    ~Canvas() {
        SelectObject(dc, old_bitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

const char caption_text[] = "scale cube";  // ten characters, like the panel's captions

void draw_caption(HDC dc, int size, int x, int y) {
    HFONT font = CreateFontA(-size, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "TAVLO-font");
    HGDIOBJ old_font = SelectObject(dc, font);
    SIZE extent;
    GetTextExtentPointA(dc, caption_text, 10, &extent);
    TextOutA(dc, x, y - extent.cy, caption_text, 10);
    SelectObject(dc, old_font);
    DeleteObject(font);
}

void BM_CreateDrawDeleteSize15(benchmark::State& state) {
    Canvas canvas;
    for (auto _ : state) draw_caption(canvas.dc, 15, 100, 200);
}
BENCHMARK(BM_CreateDrawDeleteSize15);

// The demo frame's twelve captions at sizes 10 to 25.
void BM_TwelveCaptionsMixedSizes(benchmark::State& state) {
    Canvas canvas;
    for (auto _ : state) {
        for (int i = 0; i < 12; ++i) draw_caption(canvas.dc, 10 + (i * 5) % 16, 20 + i * 40, 300);
    }
}
BENCHMARK(BM_TwelveCaptionsMixedSizes);

void BM_TextOutOnly(benchmark::State& state) {
    Canvas canvas;
    HFONT font = CreateFontA(-15, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "TAVLO-font");
    HGDIOBJ old_font = SelectObject(canvas.dc, font);
    for (auto _ : state) TextOutA(canvas.dc, 100, 200, caption_text, 10);
    SelectObject(canvas.dc, old_font);
    DeleteObject(font);
}
BENCHMARK(BM_TextOutOnly);

// The package's canvas without a display.
struct PackageCanvas {
    PackageCanvas() {
        reset_package_state();
        package_state.canvas_dc = CreateCompatibleDC(nullptr);
        package_state.canvas_bitmap = CreateCompatibleBitmap(nullptr, canvas_width, canvas_height);
        SelectObject(package_state.canvas_dc, package_state.canvas_bitmap);
        package_state.center_x = 297;
        package_state.center_y = 245;
        package_state.logging_enabled = false;
    }
    ~PackageCanvas() { reset_package_state(); }
};

constexpr size_t megabyte = 1 << 20;

// 1 MB of lines of `line_length` characters (the last may be shorter), each line
// ended by a newline; line_length 0 gives 1 MB of newlines alone.
std::string megabyte_of_lines(size_t line_length) {
    std::string text;
    text.reserve(megabyte);
    const char letters[] = "Wide glyphs and narrow ones: iiii MMMM ";
    while (text.size() < megabyte) {
        for (size_t i = 0; i < line_length && text.size() < megabyte - 1; ++i)
            text += letters[i % (sizeof letters - 1)];
        text += '\n';
    }
    return text;
}

// A 1 MB text drawn by draw_text at (x, y). Arguments: line length (0: newlines
// only; -1: one line without any newline), x, y, point size and
// whether the call log is on.
void BM_MegabyteText(benchmark::State& state) {
    PackageCanvas canvas;
    std::string text =
        state.range(0) < 0 ? std::string(megabyte, 'W') : megabyte_of_lines(size_t(state.range(0)));
    int x = int(state.range(1)), y = int(state.range(2));
    int size = int(state.range(3));
    package_state.logging_enabled = state.range(4) != 0;
    for (auto _ : state) {
        draw_text(0, x, y, size, text.c_str());
        benchmark::DoNotOptimize(package_state.canvas_bitmap);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
constexpr int64_t far_away = int64_t(1) << 30;
BENCHMARK(BM_MegabyteText)
    ->ArgNames({"line", "x", "y", "size", "log"})
    ->Args({-1, -far_away, 0, 15, 0})      // one line, far to the left on a visible row
    ->Args({-1, far_away, 0, 15, 0})       // one line, far to the right
    ->Args({-1, -300, 0, 15, 0})           // one line across the canvas
    ->Args({-1, -300, far_away, 15, 0})    // one line far above
    ->Args({80, -300, 245, 15, 0})         // 80-character lines from the top of the canvas down
    ->Args({80, -far_away, 245, 15, 0})    // the same far to the left
    ->Args({80, -300, far_away, 15, 0})    // far above: every line misses the canvas
    ->Args({80, -300, -far_away, 15, 0})   // far below
    ->Args({0, 0, 0, 15, 0})               // newlines only, from the middle of the canvas down
    ->Args({0, 0, 500000 * 15, 15, 0})     // newlines only, the canvas halfway down them
    ->Args({0, 0, INT_MAX, 15, 0})         // newlines only, far above
    ->Args({1000, -far_away, 245, 15, 0})  // long lines far to the left
    ->Args({600, -300, 245, 1, 0})         // the most glyphs the canvas can show: size 1
    ->Args({40, -300, 245, 127, 0})        // and the largest ones
    ->Args({-1, -far_away, 0, 15, 1})      // far to the left, with the call log on
    ->Unit(benchmark::kMillisecond);

}  // namespace
