// The canvas rasterizer: draws one DrawCommand onto the canvas at once, with the
// platform's drawing operations, and erases the canvas.
//
// Application points become canvas pixels as X(x) = center_x + x and
// Y(y) = center_y - y, computed in 64 bits and saturated to the int range the
// platform takes, so no coordinate can overflow on its way down.
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

int canvas_x(int64_t x) {
    return saturate(S.center_x + x);
}
int canvas_y(int64_t y) {
    return saturate(S.center_y - y);
}

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
    POINT points[3] = {{canvas_x(c.x1), canvas_y(c.y1)},
                       {canvas_x(c.x2), canvas_y(c.y2)},
                       {canvas_x(c.x3), canvas_y(c.y3)}};
    Polygon(S.canvas_dc, points, 3);
}

// The platform leaves out a box's right column and bottom row, so the box is one
// pixel larger than the corners: both corners' columns and rows are covered.
void render_box(const DrawCommand& c, COLORREF color, bool oval) {
    ShapeTools tools(c.width, color);
    int left = canvas_x(c.x1);
    int top = canvas_y(c.y1);
    int right = saturate(int64_t(S.center_x) + c.x2 + 1);
    int bottom = saturate(int64_t(S.center_y) - c.y2 + 1);
    if (oval) {
        Ellipse(S.canvas_dc, left, top, right, bottom);
    } else {
        Rectangle(S.canvas_dc, left, top, right, bottom);
    }
}

void render_line(const DrawCommand& c, COLORREF color) {
    HPEN pen = CreatePen(PS_SOLID, c.width, color);
    HGDIOBJ old_pen = SelectObject(S.canvas_dc, pen);
    MoveToEx(S.canvas_dc, canvas_x(c.x1), canvas_y(c.y1), nullptr);
    LineTo(S.canvas_dc, canvas_x(c.x2), canvas_y(c.y2));
    SelectObject(S.canvas_dc, old_pen);
    DeleteObject(pen);
}

// Draws the text's lines; the anchor is the lower-left corner of the first line's
// cell, and each further line lies one line height below the one before.
void draw_text_lines(const char* text, int length, int x, int64_t anchor_row) {
    SIZE extent = {0, 0};
    GetTextExtentPointA(S.canvas_dc, text, length, &extent);
    int64_t line_height = extent.cy;
    int position = 0;
    for (int64_t line = -1;; ++line) {
        const void* newline = std::memchr(text + position, '\n', size_t(length - position));
        int line_length = newline ? int(static_cast<const char*>(newline) - (text + position))
                                  : length - position;
        bool last = position + line_length >= length;
        TextOutA(S.canvas_dc, x, saturate(anchor_row + line * line_height), text + position,
                 line_length);
        position += line_length + 1;
        if (last) break;
    }
}

void render_text(const DrawCommand& c, COLORREF color) {
    SetTextColor(S.canvas_dc, color);
    int old_mode = GetBkMode(S.canvas_dc);
    SetBkMode(S.canvas_dc, TRANSPARENT);
    HFONT font = CreateFontA(saturate(-int64_t(c.x2)), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH, "TAVLO-font");
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

void erase_canvas() {
    HBRUSH white = CreateSolidBrush(Palette[1]);
    HGDIOBJ old_brush = SelectObject(S.canvas_dc, white);
    Rectangle(S.canvas_dc, 0, 0, canvas_width, canvas_height);
    SelectObject(S.canvas_dc, old_brush);
    DeleteObject(white);
    S.canvas_dirty = 1;
}
