// A small drawing board for rasterizer tests: a memory DC with its own bitmap,
// helpers to select pens and brushes, and views of the pixels as sets and as text.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "portable/gdi/objects.h"
#include "win32.h"

using PixelSet = std::set<std::pair<int, int>>;

class Board {
public:
    static constexpr COLORREF paper_color = 0xFFFFFF;
    static constexpr COLORREF ink_color = 0x0000FF;

    Board(int width, int height, COLORREF paper = paper_color) : width_(width), height_(height) {
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateCompatibleBitmap(dc_, width, height);
        old_bitmap_ = SelectObject(dc_, bitmap_);
        clear(paper);
        old_pen_ = SelectObject(dc_, GetStockObject(BLACK_PEN));
        old_brush_ = SelectObject(dc_, GetStockObject(WHITE_BRUSH));
    }
    ~Board() {
        SelectObject(dc_, old_pen_);
        SelectObject(dc_, old_brush_);
        release();
        SelectObject(dc_, old_bitmap_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    uint32_t* pixels() const { return bitmap_->pixels.data(); }
    COLORREF at(int x, int y) const { return bitmap_->pixels[size_t(y) * width_ + x]; }
    void clear(COLORREF color) { bitmap_->pixels.assign(bitmap_->pixels.size(), color); }

    // Selects a new pen (and a solid brush of `brush`, or the hollow brush when
    // brush is CLR_INVALID); the previous ones this board made are deleted.
    void use(int pen_style, int pen_width, COLORREF pen_color, COLORREF brush = CLR_INVALID) {
        HPEN pen = CreatePen(pen_style, pen_width, pen_color);
        HGDIOBJ b = brush == CLR_INVALID ? GetStockObject(NULL_BRUSH)
                                         : static_cast<HGDIOBJ>(CreateSolidBrush(brush));
        SelectObject(dc_, pen);
        SelectObject(dc_, b);
        release();
        pen_ = pen;
        brush_ = b;
    }
    void thin_pen(COLORREF color = ink_color) { use(PS_SOLID, 1, color); }

    // All pixels that are not `paper`.
    PixelSet marked(COLORREF paper = paper_color) const {
        PixelSet set;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (at(x, y) != paper) set.insert({x, y});
        return set;
    }
    PixelSet with_color(COLORREF color) const {
        PixelSet set;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (at(x, y) == color) set.insert({x, y});
        return set;
    }
    // Rows of text: '.' paper, '#' anything else.
    std::string art(COLORREF paper = paper_color) const {
        std::string text;
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) text += at(x, y) == paper ? '.' : '#';
            text += '\n';
        }
        return text;
    }

private:
    void release() {
        if (pen_ != nullptr) DeleteObject(pen_);
        if (brush_ != nullptr) DeleteObject(brush_);
        pen_ = nullptr;
        brush_ = nullptr;
    }

    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_bitmap_, old_pen_, old_brush_;
    HGDIOBJ pen_ = nullptr, brush_ = nullptr;
};

// Pixels of the box [left,right) x [top,bottom).
inline PixelSet box_pixels(int left, int top, int right, int bottom) {
    PixelSet set;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) set.insert({x, y});
    return set;
}

// Joins lines of text with newlines (for comparing with Board::art).
inline std::string picture(std::initializer_list<const char*> rows) {
    std::string text;
    for (const char* row : rows) {
        text += row;
        text += '\n';
    }
    return text;
}

// The pixels a one-pixel line lights on a w x h board, computed independently of
// the rasterizer: along the major axis each step takes the nearest pixel, an exact
// half step going to the upper (x-major) or left (y-major) pixel; start in, end out.
inline PixelSet reference_line(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int w, int h) {
    PixelSet set;
    int64_t dx = x1 - x0, dy = y1 - y0, adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    if (adx == 0 && ady == 0) return set;
    bool x_major = adx > ady;
    auto nearest = [](__int128 v, __int128 d) {  // round(v/d), ties down, d > 0
        __int128 n = 2 * v - d, q = n / (2 * d);
        if (n % (2 * d) != 0 && n > 0) ++q;
        return int64_t(q);
    };
    if (x_major) {
        for (int x = 0; x < w; ++x) {
            int64_t i = dx > 0 ? x - x0 : x0 - x;
            if (i < 0 || i >= adx) continue;
            int64_t y = y0 + nearest(__int128(dy) * i, adx);
            if (y >= 0 && y < h) set.insert({x, int(y)});
        }
    } else {
        for (int y = 0; y < h; ++y) {
            int64_t i = dy > 0 ? y - y0 : y0 - y;
            if (i < 0 || i >= ady) continue;
            int64_t x = x0 + nearest(__int128(dx) * i, ady);
            if (x >= 0 && x < w) set.insert({int(x), y});
        }
    }
    return set;
}
