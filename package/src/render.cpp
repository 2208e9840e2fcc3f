// The canvas rasterizer: draws one DrawCommand onto the canvas at once, with the
// platform's drawing operations, and erases the canvas.
//
// Application points become canvas pixels as X(x) = center_x + x and
// Y(y) = center_y - y, computed in 64 bits. The platform takes int coordinates,
// and a point near the int limits lies up to the centre's distance beyond them.
// Clamping such a corner would bend the shape, so the shapes given by their
// corners (triangles, lines, boxes) are handed down through the canvas DC's
// viewport origin instead: the origin takes up the part beyond the int range and
// the platform adds it back in 64 bits, so every corner arrives exactly where it
// belongs. Ordinary coordinates need no origin and are passed as they are.
// Texts and pixels only start at their point and grow right and down, so a point
// beyond the int range is beyond the canvas either way; those are clamped.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "package_state.h"

namespace {

PackageState& S = package_state;

int saturate(int64_t value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return int(value);
}

int64_t exact_x(int64_t x) {
    return S.center_x + x;
}
int64_t exact_y(int64_t y) {
    return S.center_y - y;
}
int canvas_x(int64_t x) {
    return saturate(exact_x(x));
}
int canvas_y(int64_t y) {
    return saturate(exact_y(y));
}

// The viewport origin on one axis that brings every one of `values` into the int
// range: the one nearest to 0, so ordinary shapes keep the origin at 0. Values
// spread wider than the int range (only a box over the whole range, one pixel too
// wide) keep their low end, and the high end is clamped.
int origin_for(std::initializer_list<int64_t> values) {
    auto [low, high] = std::minmax(values);
    if (low >= INT_MIN && high <= INT_MAX) return 0;  // the usual case, already in range
    int64_t least = high - INT_MAX, most = low - INT_MIN;
    return int(std::clamp<int64_t>(0, std::min(least, most), most));
}

// The canvas DC's viewport origin for one command: set on construction when it is
// not 0, put back on destruction. x() and y() give the logical coordinate of a
// canvas position.
class CanvasOrigin {
public:
    CanvasOrigin(int x, int y) : x_(x), y_(y) {
        if (x_ != 0 || y_ != 0) SetViewportOrgEx(S.canvas_dc, x_, y_, &previous_);
    }
    ~CanvasOrigin() {
        if (x_ != 0 || y_ != 0) SetViewportOrgEx(S.canvas_dc, previous_.x, previous_.y, nullptr);
    }
    CanvasOrigin(const CanvasOrigin&) = delete;
    CanvasOrigin& operator=(const CanvasOrigin&) = delete;

    int x(int64_t column) const { return saturate(column - x_); }
    int y(int64_t row) const { return saturate(row - y_); }

private:
    int x_, y_;
    POINT previous_ = {0, 0};
};

// The pen and brush of a filled-or-hollow shape, selected for the duration of one
// command: width 0 fills with the colour and outlines it one pixel wide; a positive
// width draws only the outline, that wide, over an untouched interior.
struct ShapeTools {
    HPEN pen;
    HBRUSH brush;
    HGDIOBJ old_pen;
    HGDIOBJ old_brush;

    ShapeTools(int width, COLORREF color) {
        pen = CreatePen(PS_SOLID, width, color);
        brush =
            width == 0 ? CreateSolidBrush(color) : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        old_pen = SelectObject(S.canvas_dc, pen);
        old_brush = SelectObject(S.canvas_dc, brush);
    }
    ~ShapeTools() {
        SelectObject(S.canvas_dc, old_pen);
        SelectObject(S.canvas_dc, old_brush);
        DeleteObject(pen);
        DeleteObject(brush);
    }
    ShapeTools(const ShapeTools&) = delete;
    ShapeTools& operator=(const ShapeTools&) = delete;
};

void render_triangle(const DrawCommand& c, COLORREF color) {
    ShapeTools tools(c.width, color);
    int64_t x1 = exact_x(c.x1), x2 = exact_x(c.x2), x3 = exact_x(c.x3);
    int64_t y1 = exact_y(c.y1), y2 = exact_y(c.y2), y3 = exact_y(c.y3);
    CanvasOrigin origin(origin_for({x1, x2, x3}), origin_for({y1, y2, y3}));
    POINT points[3] = {
        {origin.x(x1), origin.y(y1)}, {origin.x(x2), origin.y(y2)}, {origin.x(x3), origin.y(y3)}};
    Polygon(S.canvas_dc, points, 3);
}

// The platform leaves out a box's right column and bottom row, so the box is one
// pixel larger than the corners: both corners' columns and rows are covered.
void render_box(const DrawCommand& c, COLORREF color, bool oval) {
    ShapeTools tools(c.width, color);
    int64_t left = exact_x(c.x1), top = exact_y(c.y1);
    int64_t right = exact_x(c.x2) + 1, bottom = exact_y(c.y2) + 1;
    CanvasOrigin origin(origin_for({left, right}), origin_for({top, bottom}));
    if (oval) {
        Ellipse(S.canvas_dc, origin.x(left), origin.y(top), origin.x(right), origin.y(bottom));
    } else {
        Rectangle(S.canvas_dc, origin.x(left), origin.y(top), origin.x(right), origin.y(bottom));
    }
}

void render_line(const DrawCommand& c, COLORREF color) {
    HPEN pen = CreatePen(PS_SOLID, c.width, color);
    HGDIOBJ old_pen = SelectObject(S.canvas_dc, pen);
    int64_t x1 = exact_x(c.x1), y1 = exact_y(c.y1), x2 = exact_x(c.x2), y2 = exact_y(c.y2);
    {
        CanvasOrigin origin(origin_for({x1, x2}), origin_for({y1, y2}));
        MoveToEx(S.canvas_dc, origin.x(x1), origin.y(y1), nullptr);
        LineTo(S.canvas_dc, origin.x(x2), origin.y(y2));
    }
    SelectObject(S.canvas_dc, old_pen);
    DeleteObject(pen);
}

// floor(n / d) for d > 0.
int64_t floor_div(int64_t n, int64_t d) {
    int64_t q = n / d;
    return n % d != 0 && n < 0 ? q - 1 : q;
}

// The position just past the count-th newline of the text (count > 0), or -1 when
// it has fewer. Newlines are counted a block at a time first, so that a text of
// many short lines is passed over at the speed of a plain scan.
int64_t skip_lines(const char* text, int64_t length, int64_t count) {
    constexpr int64_t block = 256;
    int64_t position = 0;
    while (length - position >= block) {
        int64_t newlines = 0;
        for (int64_t i = 0; i < block; ++i) newlines += text[position + i] == '\n';
        if (newlines >= count) break;
        count -= newlines;
        position += block;
    }
    for (; position < length; ++position) {
        if (text[position] == '\n' && --count == 0) return position + 1;
    }
    return -1;
}

// Draws the text's lines; the anchor is the lower-left corner of the first line's
// cell, and each further line lies one line height below the one before.
//
// Only the lines that can reach the canvas are handed to the platform: lines above
// it are passed over without being drawn, and drawing ends with the first line
// below it, so a long text far off the canvas costs a scan of its bytes at most.
// A line's glyphs may stick out of its cell; the margin allowed for that is far
// more than any face's, so every line that could show a pixel is still drawn.
void draw_text_lines(const char* text, int length, int x, int64_t anchor_row) {
    SIZE extent = {0, 0};
    GetTextExtentPointA(S.canvas_dc, text, length, &extent);
    int64_t line_height = extent.cy;
    int64_t margin = 4 * line_height + 64;
    // Line k (from -1 on) has the top of its cell on row anchor_row + k * line_height.
    int64_t first = -1, last = int64_t(length) - 1;
    if (line_height > 0) {
        first = std::max<int64_t>(first,
                                  floor_div(-anchor_row - line_height - margin, line_height) + 1);
        last = std::min<int64_t>(last,
                                 floor_div(canvas_height + margin - anchor_row - 1, line_height));
    } else if (anchor_row + margin <= 0 || anchor_row - margin >= canvas_height) {
        return;
    }
    if (first > last) return;  // every line misses the canvas, or the text has fewer lines
    int64_t position = 0;
    if (first > -1) {
        position = skip_lines(text, length, first + 1);
        if (position < 0) return;
    }
    for (int64_t line = first; line <= last; ++line) {
        const void* newline = std::memchr(text + position, '\n', size_t(length - position));
        int64_t line_length =
            newline ? static_cast<const char*>(newline) - (text + position) : length - position;
        text_out(S.canvas_dc, x, saturate(anchor_row + line * line_height), text + position,
                 int(line_length));
        position += line_length + 1;
        if (position > length) break;  // that was the last line, ended by the end of the text
    }
}

// The font of a text command: the package's face at the point size, the size being
// the character height in pixels (0: the platform's default height).
HFONT create_text_font(int point_size) {
    return CreateFontA(saturate(-int64_t(point_size)), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH, "TAVLO-font");
}

void render_text(const DrawCommand& c, COLORREF color) {
    SetTextColor(S.canvas_dc, color);
    int old_mode = GetBkMode(S.canvas_dc);
    SetBkMode(S.canvas_dc, TRANSPARENT);
    HFONT font = create_text_font(c.x2);
    HGDIOBJ old_font = SelectObject(S.canvas_dc, font);

    const char* text = static_cast<const char*>(GlobalLock(c.text_block));
    if (text != nullptr) {
        size_t length = strnlen(text, GlobalSize(c.text_block));
        if (length > INT_MAX) length = INT_MAX;
        draw_text_lines(text, int(length), canvas_x(c.x1), int64_t(S.center_y) - c.y1);
        GlobalUnlock(c.text_block);
    }

    SetBkMode(S.canvas_dc, old_mode);
    SelectObject(S.canvas_dc, old_font);
    DeleteObject(font);
}

}  // namespace

void render_command(const DrawCommand& command) {
    // Commands come from the drawing calls with their colour checked; any other
    // value is drawn red here without a second message.
    int index = command.color >= 0 && command.color < palette_size ? command.color : 2;
    COLORREF color = Palette[index];
    switch (command.kind) {
        case DRAW_TRIANGLE: render_triangle(command, color); break;
        case DRAW_RECTANGLE: render_box(command, color, false); break;
        case DRAW_OVAL: render_box(command, color, true); break;
        case DRAW_LINE: render_line(command, color); break;
        case DRAW_PIXEL:
            SetPixel(S.canvas_dc, canvas_x(command.x1), canvas_y(command.y1), color);
            break;
        case DRAW_TEXT: render_text(command, color); break;
        default: break;
    }
    S.canvas_dirty = 1;
}

// The cells draw_text_lines gives the text: as wide as its widest line, and as
// many line heights high as it has lines (a text ending in a newline has one more,
// empty, line). Measured on the canvas DC, or before there is one on a memory DC of
// the same kind, with the font render_text selects.
void measure_text(int point_size, const char* text, int* width, int* height) {
    HDC dc = S.canvas_dc != nullptr ? S.canvas_dc : CreateCompatibleDC(nullptr);
    HFONT font = create_text_font(point_size);
    HGDIOBJ old_font = SelectObject(dc, font);
    SIZE extent = {0, 0};
    GetTextExtentPointA(dc, "", 0, &extent);
    int64_t line_height = extent.cy, lines = 0, widest = 0;
    size_t length = std::strlen(text), position = 0;
    for (;;) {
        const void* newline = std::memchr(text + position, '\n', length - position);
        size_t end = newline ? size_t(static_cast<const char*>(newline) - text) : length;
        // A line longer than an int can hold is measured by its first INT_MAX bytes.
        size_t line_length = std::min<size_t>(end - position, INT_MAX);
        if (line_length > 0 && text_extent(dc, text + position, int(line_length), &extent))
            widest = std::max<int64_t>(widest, extent.cx);
        ++lines;
        if (newline == nullptr) break;
        position = end + 1;
    }
    SelectObject(dc, old_font);
    DeleteObject(font);
    if (dc != S.canvas_dc) DeleteDC(dc);
    *width = saturate(widest);
    *height = saturate(lines * line_height);
}

void erase_canvas() {
    HBRUSH white = CreateSolidBrush(Palette[1]);
    HGDIOBJ old_brush = SelectObject(S.canvas_dc, white);
    Rectangle(S.canvas_dc, 0, 0, canvas_width, canvas_height);
    SelectObject(S.canvas_dc, old_brush);
    DeleteObject(white);
    S.canvas_dirty = 1;
}
