// The application's drawing calls: each repairs the arguments it cannot use (with
// a message), writes its call-log line while logging is on, and renders one
// DrawCommand onto the canvas at once. Also the two measuring calls that go with
// them, which draw nothing and so write no call-log line.
#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <utility>

#include "line_format.h"
#include "package_state.h"

namespace {

PackageState& S = package_state;

// The absolute value of a negative width or size; INT_MIN has none, so it
// becomes INT_MAX.
int magnitude(int value) {
    return value == INT_MIN ? INT_MAX : (value < 0 ? -value : value);
}

int repair_width(int width) {
    if (width >= 0) return width;
    int repaired = magnitude(width);
    log_repair("Width of %d not possible, using width %d\n", width, repaired);
    return repaired;
}

int repair_point_size(int size) {
    if (size < 0) {
        int repaired = magnitude(size);
        log_repair("ptsize of %d not possible, using ptsize %d\n", size, repaired);
        size = repaired;
    }
    if (size > 127) {
        log_repair("ptsize of %d not possible, using ptsize %d\n", size, 127);
        size = 127;
    }
    return size;
}

DrawCommand make_command(int kind, int color, int width, int x1, int y1, int x2, int y2, int x3 = 0,
                         int y3 = 0) {
    return DrawCommand{kind, color, width, x1, y1, x2, y2, x3, y3, nullptr};
}

// A rectangle or an oval: any two opposite corners, sorted to the upper-left and
// lower-right before the call-log line.
int draw_box(int kind, const char* shape, ColorIndex color, int x1, int y1, int x2, int y2,
             int width) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 < y2) std::swap(y1, y2);
    color = check_color(color);
    width = repair_width(width);
    if (S.logging_enabled) {
        if (width == 0) {
            log_printf("%s %s with bounding box (%d,%d) to (%d,%d), filled\n", color_name[color],
                       shape, x1, y1, x2, y2);
        } else {
            log_printf("%s %s with bounding box (%d,%d) to (%d,%d) with line width %d\n",
                       color_name[color], shape, x1, y1, x2, y2, width);
        }
    }
    render_command(make_command(kind, color, width, x1, y1, x2, y2));
    return 1;
}

}  // namespace

int draw_triangle(ColorIndex color, int x1, int y1, int x2, int y2, int x3, int y3, int width) {
    color = check_color(color);
    width = repair_width(width);
    if (S.logging_enabled) {
        log_printf("%s triangle at (%d,%d), (%d,%d), (%d,%d)\n", color_name[color], x1, y1, x2, y2,
                   x3, y3);
    }
    render_command(make_command(DRAW_TRIANGLE, color, width, x1, y1, x2, y2, x3, y3));
    return 1;
}

int draw_rectangle(ColorIndex color, int x1, int y1, int x2, int y2, int width) {
    return draw_box(DRAW_RECTANGLE, "rectangle", color, x1, y1, x2, y2, width);
}

int draw_oval(ColorIndex color, int x1, int y1, int x2, int y2, int width) {
    return draw_box(DRAW_OVAL, "oval", color, x1, y1, x2, y2, width);
}

int draw_pixel(ColorIndex color, int x, int y) {
    color = check_color(color);
    if (S.logging_enabled) log_printf("%s pixel at (%d,%d)\n", color_name[color], x, y);
    render_command(make_command(DRAW_PIXEL, color, 0, x, y, 0, 0));
    return 1;
}

int draw_line(ColorIndex color, int x1, int y1, int x2, int y2, int width) {
    width = repair_width(width);
    color = check_color(color);
    if (S.logging_enabled) {
        log_printf("%s line from (%d,%d) to (%d,%d), width %d\n", color_name[color], x1, y1, x2, y2,
                   width);
    }
    render_command(make_command(DRAW_LINE, color, width == 0 ? 1 : width, x1, y1, x2, y2));
    return 1;
}

int draw_text(ColorIndex color, int x, int y, int point_size, const char* text) {
    if (text == nullptr) text = "";  // no text is an empty text
    point_size = repair_point_size(point_size);
    color = check_color(color);
    if (S.logging_enabled)
        log_printf("%s text at (%d,%d), \"%s\"\n", color_name[color], x, y, text);

    size_t length = std::strlen(text);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, length + 1);
    if (char* copy = static_cast<char*>(GlobalLock(block))) {
        std::memcpy(copy, text, length + 1);
        GlobalUnlock(block);
    }
    DrawCommand command = make_command(DRAW_TEXT, color, 0, x, y, point_size, 0);
    command.text_block = block;
    render_command(command);
    GlobalFree(block);
    return 1;
}

int print_text(ColorIndex color, int x, int y, int point_size, const char* format, ...) {
    char text[log_line_buffer];
    va_list args;
    va_start(args, format);
    int count = format_line(text, format, args);  // cut to what the buffer holds
    va_end(args);
    if (count == log_line_buffer - 1) {
        count = int(without_cut_character(text, size_t(count), format));
        text[count] = '\0';
    }
    draw_text(color, x, y, point_size, text);
    return count;
}

int clear_canvas() {
    if (S.logging_enabled) log_printf("Clearing the graphics window\n");
    erase_canvas();
    return 1;
}

int text_size(int point_size, const char* text, int* width, int* height) {
    if (text == nullptr) text = "";
    point_size = repair_point_size(point_size);
    int measured_width = 0, measured_height = 0;
    measure_text(point_size, text, &measured_width, &measured_height);
    if (width != nullptr) *width = measured_width;
    if (height != nullptr) *height = measured_height;
    return 1;
}

// The canvas is copied to the client area with its top-left pixel on the client
// area's, so what shows is the part of the canvas the client area covers: all of
// the client area when it is no larger than the canvas. The origin is the client
// area's centre, so a client area larger than the canvas shows the canvas off
// centre, and a smaller one shows less than the canvas.
int visible_area(int* left, int* bottom, int* right, int* top) {
    RECT client = {0, 0, 0, 0};
    bool open = S.graphics_window != nullptr && GetClientRect(S.graphics_window, &client);
    // Canvas pixel (column, row) is the point (column - center_x, center_y - row).
    int64_t first_column = std::max<int64_t>(client.left, 0) - S.center_x;
    int64_t last_column = std::min<int64_t>(client.right, canvas_width) - 1 - S.center_x;
    int64_t first_row = S.center_y - std::max<int64_t>(client.top, 0);
    int64_t last_row = S.center_y - (std::min<int64_t>(client.bottom, canvas_height) - 1);
    auto store = [open](int* to, int64_t value) {
        if (to != nullptr) *to = open ? int(std::clamp<int64_t>(value, INT_MIN, INT_MAX)) : 0;
    };
    store(left, first_column);
    store(right, last_column);
    store(top, first_row);
    store(bottom, last_row);
    return open ? 1 : 0;
}
