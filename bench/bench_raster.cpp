// Rasterizer costs per call on a 601 x 540 memory DC, the size of the package's
// canvas: the demo's common shapes, a full-canvas copy, and two hostile calls
// whose cost must stay bounded by the pixels they can touch.
#include <benchmark/benchmark.h>

#include <climits>

#include "win32.h"

namespace {

struct Canvas {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old_bitmap;
    Canvas() {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, 601, 540);
        old_bitmap = SelectObject(dc, bitmap);
    }
    ~Canvas() {
        SelectObject(dc, old_bitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

// Selects a pen (and a brush, or the hollow brush) for the lifetime of the scope.
struct Tools {
    HDC dc;
    HPEN pen;
    HBRUSH brush;
    HGDIOBJ old_pen, old_brush;
    Tools(HDC d, int width, bool filled) : dc(d) {
        pen = CreatePen(PS_SOLID, width, RGB(200, 0, 0));
        brush = filled ? CreateSolidBrush(RGB(200, 0, 0)) : nullptr;
        old_pen = SelectObject(dc, pen);
        old_brush =
            SelectObject(dc, filled ? static_cast<HGDIOBJ>(brush) : GetStockObject(NULL_BRUSH));
    }
    ~Tools() {
        SelectObject(dc, old_pen);
        SelectObject(dc, old_brush);
        DeleteObject(pen);
        if (brush != nullptr) DeleteObject(brush);
    }
};

void FilledTriangleWithOutline(benchmark::State& state) {
    Canvas canvas;
    Tools tools(canvas.dc, 0, true);
    POINT tri[3] = {{300, 250}, {340, 262}, {318, 290}};  // about 40 px across
    for (auto _ : state) Polygon(canvas.dc, tri, 3);
}
BENCHMARK(FilledTriangleWithOutline);

void ThinLine60(benchmark::State& state) {
    Canvas canvas;
    Tools tools(canvas.dc, 1, false);
    for (auto _ : state) {
        MoveToEx(canvas.dc, 200, 200, nullptr);
        LineTo(canvas.dc, 252, 231);
    }
}
BENCHMARK(ThinLine60);

void FilledRectangle21(benchmark::State& state) {
    Canvas canvas;
    Tools tools(canvas.dc, 0, true);
    for (auto _ : state) Rectangle(canvas.dc, 290, 260, 311, 281);
}
BENCHMARK(FilledRectangle21);

void OutlinedRectangleWidth2(benchmark::State& state) {
    Canvas canvas;
    Tools tools(canvas.dc, 2, false);
    for (auto _ : state) Rectangle(canvas.dc, 255, 30, 346, 51);
}
BENCHMARK(OutlinedRectangleWidth2);

void FullCanvasBitBlt(benchmark::State& state) {
    Canvas from, to;
    for (auto _ : state) BitBlt(to.dc, 0, 0, 601, 540, from.dc, 0, 0, SRCCOPY);
}
BENCHMARK(FullCanvasBitBlt);

void HugeCoordinateLine(benchmark::State& state) {
    Canvas canvas;
    Tools tools(canvas.dc, 1, false);
    for (auto _ : state) {
        MoveToEx(canvas.dc, -2000000000, -1999999000, nullptr);
        LineTo(canvas.dc, 2000000000, 2000000700);
    }
}
BENCHMARK(HugeCoordinateLine);

void HugePenLine(benchmark::State& state) {
    Canvas canvas;
    Tools tools(canvas.dc, 2000000000, false);
    for (auto _ : state) {
        MoveToEx(canvas.dc, INT_MIN, 100, nullptr);
        LineTo(canvas.dc, INT_MAX, 300);
    }
}
BENCHMARK(HugePenLine);

void HugePenLineOffCanvas(benchmark::State& state) {
    Canvas canvas;
    Tools tools(canvas.dc, 2000000000, false);
    for (auto _ : state) {
        MoveToEx(canvas.dc, INT_MIN, INT_MIN, nullptr);
        LineTo(canvas.dc, INT_MIN + 5, INT_MIN + 7);
    }
}
BENCHMARK(HugePenLineOffCanvas);

}  // namespace
