// Text: the package's per-call pattern (create a font, select it, measure, draw,
// put the old font back, delete it) on a 601 x 540 canvas, and plain drawing.
#include <benchmark/benchmark.h>

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

const char kCaption[] = "scale cube";  // ten characters, like the panel's captions

void draw_caption(HDC dc, int size, int x, int y) {
    HFONT font = CreateFontA(-size, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "TAVLO-font");
    HGDIOBJ old_font = SelectObject(dc, font);
    SIZE extent;
    GetTextExtentPointA(dc, kCaption, 10, &extent);
    TextOutA(dc, x, y - extent.cy, kCaption, 10);
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
    for (auto _ : state) TextOutA(canvas.dc, 100, 200, kCaption, 10);
    SelectObject(canvas.dc, old_font);
    DeleteObject(font);
}
BENCHMARK(BM_TextOutOnly);

}  // namespace
