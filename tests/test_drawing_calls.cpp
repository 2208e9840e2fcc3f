// Drawing calls: argument repairs and their messages, the call-log lines and their
// order, and the shapes they put on the canvas; the measuring calls.
#include <algorithm>
#include <climits>
#include <cstring>
#include <random>
#include <string>

#include "display_test_support.h"
#include "image_compare.h"
#include "package_test_support.h"
#include "raster_board.h"

using test_support::CanvasTest;
using test_support::log_lines;
using Lines = std::vector<std::string>;

class DrawingCalls : public CanvasTest {};

constexpr COLORREF white = 0xFFFFFF;
constexpr COLORREF black = 0x000000;
constexpr COLORREF red = 0x0000FF;
constexpr COLORREF green = 0x00FF00;

TEST_F(DrawingCalls, IllegalColoursAreReportedAndDrawnRed) {
    EXPECT_EQ(check_color(-1), 2);
    EXPECT_EQ(check_color(24), 2);
    EXPECT_EQ(check_color(23), 23);
    EXPECT_EQ(check_color(0), 0);
    EXPECT_EQ(log_lines(),
              (Lines{"Illegal color -1; using RED.\n", "Illegal color 24; using RED.\n"}));
    EXPECT_STREQ(color_name[23], "20% gray");

    package_state.logging_enabled = true;
    draw_triangle(-1, 0, 0, 10, 0, 0, 10, 0);
    EXPECT_EQ(log_lines().back(), "red triangle at (0,0), (10,0), (0,10)\n");
    EXPECT_EQ(at(1, 1), red);
}

TEST_F(DrawingCalls, RepairMessagesComeInEachCallsOrderBeforeTheLogLine) {
    package_state.logging_enabled = true;
    draw_line(30, 0, 0, 5, 5, -3);
    EXPECT_EQ(log_lines(),
              (Lines{"Width of -3 not possible, using width 3\n", "Illegal color 30; using RED.\n",
                     "red line from (0,0) to (5,5), width 3\n"}));
    reset_package_state();
    package_state.logging_enabled = true;
    draw_triangle(30, 0, 0, 5, 5, 9, 0, -3);
    draw_oval(-4, 0, 0, 5, 5, -3);
    draw_pixel(99, 1, 2);
    EXPECT_EQ(log_lines(),
              (Lines{"Illegal color 30; using RED.\n", "Width of -3 not possible, using width 3\n",
                     "red triangle at (0,0), (5,5), (9,0)\n", "Illegal color -4; using RED.\n",
                     "Width of -3 not possible, using width 3\n",
                     "red oval with bounding box (0,5) to (5,0) with line width 3\n",
                     "Illegal color 99; using RED.\n", "red pixel at (1,2)\n"}));
}

TEST_F(DrawingCalls, PointSizesAreRepairedInTwoSteps) {
    draw_text(0, 0, 0, -200, "x");
    EXPECT_EQ(log_lines(), (Lines{"ptsize of -200 not possible, using ptsize 200\n",
                                  "ptsize of 200 not possible, using ptsize 127\n"}));
    reset_package_state();
    package_state.logging_enabled = false;
    draw_text(0, 0, 0, 128, "x");
    draw_text(0, 0, 0, 127, "x");
    draw_text(0, 0, 0, 1, "x");
    draw_text(0, 0, 0, 0, "x");
    EXPECT_EQ(log_lines(), (Lines{"ptsize of 128 not possible, using ptsize 127\n"}));
}

TEST_F(DrawingCalls, MostNegativeWidthsAndSizesBecomeTheLargest) {
    draw_rectangle(1, 0, 0, 1, 1, INT_MIN);
    draw_text(0, 0, 0, INT_MIN, "x");
    EXPECT_EQ(log_lines(), (Lines{"Width of -2147483648 not possible, using width 2147483647\n",
                                  "ptsize of -2147483648 not possible, using ptsize 2147483647\n",
                                  "ptsize of 2147483647 not possible, using ptsize 127\n"}));
}

TEST_F(DrawingCalls, CallLogLinesOnlyWhileLoggingIsOn) {
    draw_triangle(3, 0, 0, 1, 1, 2, 0, 0);
    draw_rectangle(3, 0, 0, 1, 1, 0);
    draw_line(3, 0, 0, 1, 1, 1);
    draw_text(3, 0, 0, 10, "t");
    draw_oval(3, 0, 0, 1, 1, 0);
    draw_pixel(3, 0, 0);
    int width = 0, height = 0;
    text_size(10, "t", &width, &height);  // measuring draws nothing and logs nothing
    clear_canvas();
    EXPECT_TRUE(log_lines().empty());

    package_state.logging_enabled = true;
    draw_rectangle(3, 10, -10, -10, 10, 0);
    draw_rectangle(4, 10, -10, -10, 10, -2);
    draw_line(0, 1, 2, 3, 4, 0);
    draw_text(2, 5, 6, 10, "two\nlines");
    draw_oval(5, -7, -3, 7, 3, 0);
    draw_oval(6, 7, 3, -7, -3, 1);
    draw_pixel(23, -1, -2);
    text_size(10, "t", &width, &height);
    clear_canvas();
    EXPECT_EQ(
        log_lines(),
        (Lines{"green rectangle with bounding box (-10,10) to (10,-10), filled\n",
               "Width of -2 not possible, using width 2\n",
               "blue rectangle with bounding box (-10,10) to (10,-10) with line width 2\n",
               "black line from (1,2) to (3,4), width 0\n", "red text at (5,6), \"two\nlines\"\n",
               "yellow oval with bounding box (-7,3) to (7,-3), filled\n",
               "magenta oval with bounding box (-7,3) to (7,-3) with line width 1\n",
               "20% gray pixel at (-1,-2)\n", "Clearing the graphics window\n"}));
}

TEST_F(DrawingCalls, PrintTextFormatsDrawsAndCountsCharacters) {
    package_state.logging_enabled = true;
    EXPECT_EQ(print_text(0, 0, 0, 12, "%d abc", 42), 6);
    EXPECT_EQ(log_lines().back(), "black text at (0,0), \"42 abc\"\n");
    EXPECT_LT(count(white), canvas_width * canvas_height);  // something was drawn
}

TEST_F(DrawingCalls, OverlongTextsAreCutTo1023Characters) {
    std::string long_text(5000, 'w');
    EXPECT_EQ(print_text(0, 0, 0, 10, "%s", long_text.c_str()), 1023);
    EXPECT_EQ(log_printf("%s", long_text.c_str()), 1023);
    EXPECT_EQ(log_lines().back(), std::string(1023, 'w'));

    package_state.logging_enabled = true;
    draw_text(0, 0, 0, 10, long_text.c_str());  // its log line is cut, the drawing is not
    EXPECT_EQ(log_lines().back().size(), 1023u);
    EXPECT_EQ(log_lines().back().substr(0, 20), "black text at (0,0),");
}

TEST_F(DrawingCalls, RectanglesCoverBothCornersInAnyOrder) {
    draw_rectangle(3, 10, -10, -10, 10, 0);
    EXPECT_EQ(count(green), 21 * 21);
    EXPECT_EQ(pixel(center_x - 10, center_y - 10), green);
    EXPECT_EQ(pixel(center_x + 10, center_y + 10), green);
    EXPECT_EQ(pixel(center_x + 11, center_y), white);

    fill(white);
    draw_rectangle(3, 0, 0, 0, 0, 0);
    EXPECT_EQ(count(green), 1);
    EXPECT_EQ(pixel(center_x, center_y), green);
}

TEST_F(DrawingCalls, OutlinedRectangleKeepsItsInterior) {
    fill(0x123456);
    draw_rectangle(0, -10, 10, 10, -10, 1);
    EXPECT_EQ(count(black), 4 * 20);
    EXPECT_EQ(at(-10, 0), black);
    EXPECT_EQ(at(10, 0), black);
    EXPECT_EQ(at(0, 10), black);
    EXPECT_EQ(at(0, -10), black);
    EXPECT_EQ(at(0, 0), 0x123456u);
}

// An oval fills the box draw_rectangle would fill with the same corners, in any
// order, touching both corners' rows and columns and nothing beyond them.
TEST_F(DrawingCalls, OvalsTouchTheirBoxesEdgesAndPixelsAreSingle) {
    auto canvas_after = [this](auto draw) {
        fill(white);
        draw();
        return pixels();
    };
    auto filled = canvas_after([] { draw_oval(3, -10, 6, 12, -6, 0); });
    EXPECT_EQ(at(-10, 0), green);
    EXPECT_EQ(at(12, 0), green);
    EXPECT_EQ(at(1, 6), green);
    EXPECT_EQ(at(1, -6), green);
    EXPECT_EQ(at(-11, 0), white);
    EXPECT_EQ(at(13, 0), white);
    EXPECT_EQ(at(1, 7), white);
    EXPECT_EQ(at(1, -7), white);
    EXPECT_EQ(at(-10, 6), white);  // a corner of the box
    EXPECT_EQ(filled, canvas_after([] { draw_oval(3, 12, -6, -10, 6, 0); }));
    EXPECT_EQ(filled, canvas_after([] { draw_oval(3, -10, -6, 12, 6, 0); }));

    fill(0x123456);
    draw_oval(0, -10, 6, 12, -6, 2);  // a wide outline is centred on the edge
    EXPECT_EQ(at(-11, 0), black);
    EXPECT_EQ(at(-10, 0), black);
    EXPECT_EQ(at(-9, 0), 0x123456u);
    EXPECT_EQ(at(0, 0), 0x123456u);  // the interior is left alone

    fill(white);
    draw_pixel(2, 3, 4);
    draw_pixel(2, INT_MAX, INT_MIN);  // off the canvas: nothing
    EXPECT_EQ(at(3, 4), red);
    EXPECT_EQ(count(red), 1);
}

TEST_F(DrawingCalls, LinesLeaveOutTheirEndPoint) {
    draw_line(0, 0, 0, 10, 0, 1);
    EXPECT_EQ(count(black), 10);
    EXPECT_EQ(at(0, 0), black);
    EXPECT_EQ(at(9, 0), black);
    EXPECT_EQ(at(10, 0), white);
    fill(white);
    draw_line(0, 0, 0, 10, 0, 0);  // width 0 draws one pixel wide
    EXPECT_EQ(count(black), 10);
}

TEST_F(DrawingCalls, TrianglesFilledOrOutlined) {
    draw_triangle(3, -30, -30, 30, -30, 0, 30, 0);
    EXPECT_EQ(at(0, 0), green);
    fill(white);
    draw_triangle(3, -30, -30, 30, -30, 0, 30, 3);
    EXPECT_EQ(at(0, 0), white);  // hollow
    EXPECT_EQ(at(0, -30), green);
    EXPECT_EQ(at(0, -31), green);  // three pixels wide across the bottom edge
    EXPECT_EQ(at(0, -29), green);
}

TEST_F(DrawingCalls, HostileCoordinatesAndWidthsStayInsideTheCanvas) {
    draw_line(5, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 1);
    draw_line(5, INT_MAX, 0, INT_MIN, 0, INT_MAX);
    draw_triangle(5, INT_MIN, INT_MAX, INT_MAX, INT_MAX, 0, INT_MIN, 2000000000);
    draw_rectangle(5, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 7);
    draw_oval(5, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0);
    draw_oval(5, INT_MAX, INT_MIN, INT_MIN, INT_MAX, 2000000000);
    draw_oval(5, -3, INT_MAX, 3, INT_MIN, 3);
    draw_pixel(5, INT_MIN, INT_MAX);
    draw_text(5, INT_MAX, INT_MIN, 127, "far\naway");
    draw_text(5, INT_MIN, INT_MAX, 127, "far\naway");
    print_text(5, INT_MAX - 1, INT_MAX - 1, 0, "%s", "x");
    draw_text(5, 0, 0, 10, nullptr);  // no text at all draws nothing
    EXPECT_EQ(package_state.canvas_bitmap->pixels.size(), size_t(canvas_width) * canvas_height);
}

// Application points near the int limits lie beyond the int range on the canvas
// (the centre is added). Such shapes must keep their exact geometry: the same
// pixels as the same shape through points on the same lines just off the canvas.
TEST_F(DrawingCalls, CornersBeyondTheIntRangeKeepTheirExactPlace) {
    auto canvas_after = [this](auto draw) {
        fill(white);
        draw();
        return pixels();
    };
    // The diagonal y = x through the origin: 540 pixels (538 inside the frame a
    // clear draws), the origin among them.
    auto far_diagonal =
        canvas_after([] { draw_line(3, INT_MIN + 1, INT_MIN + 1, INT_MAX, INT_MAX, 1); });
    EXPECT_EQ(far_diagonal, canvas_after([] { draw_line(3, -1000, -1000, 1000, 1000, 1); }));
    EXPECT_EQ(count(green), 540);
    EXPECT_EQ(at(0, 0), green);

    // y = x / 2 and y = 2x + 1, one each way, where the half-step ties show the bias;
    // and the same line with a wide pen.
    const int half = 1 << 30;
    EXPECT_EQ(canvas_after([&] { draw_line(3, INT_MIN, -half, INT_MAX - 1, half - 1, 1); }),
              canvas_after([] { draw_line(3, -1000, -500, 1000, 500, 1); }));
    EXPECT_EQ(canvas_after([&] { draw_line(3, half - 1, INT_MAX, -half, INT_MIN + 1, 1); }),
              canvas_after([] { draw_line(3, 500, 1001, -500, -999, 1); }));
    EXPECT_EQ(canvas_after([&] { draw_line(3, INT_MIN, -half, INT_MAX - 1, half - 1, 5); }),
              canvas_after([] { draw_line(3, -1000, -500, 1000, 500, 5); }));

    // Triangles above those lines, filled and outlined; their other edges are off
    // the canvas. The first covers 147,690 pixels (146,605 inside the frame).
    EXPECT_EQ(canvas_after([] {
                  draw_triangle(3, INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MIN, INT_MAX, 0);
              }),
              canvas_after([] { draw_triangle(3, -1000, -1000, 1000, 1000, -1000, 1000, 0); }));
    EXPECT_EQ(count(green), 147690);
    EXPECT_EQ(canvas_after([&] {
                  draw_triangle(3, INT_MIN, -half, INT_MAX - 1, half - 1, INT_MIN, INT_MAX, 2);
              }),
              canvas_after([] { draw_triangle(3, -1000, -500, 1000, 500, -1000, 1000, 2); }));
}

// One-pixel lines from near the int limits, steered through the canvas, light
// exactly the pixels of the line between their exact canvas points.
TEST_F(DrawingCalls, LinesFromTheIntLimitsMatchTheExactLine) {
    std::mt19937 random(12);
    std::uniform_int_distribution<int> near_limit(0, 4000), offset(-300, 300);
    auto extreme = [&](bool high) {
        return high ? INT_MAX - near_limit(random) : INT_MIN + near_limit(random);
    };
    for (int n = 0; n < 120; ++n) {
        int x0 = n % 4 == 0 ? offset(random) : extreme(n % 2 == 0);
        int y0 = n % 4 == 1 ? offset(random) : extreme(n % 3 == 0);
        auto opposite = [&](int v) {  // about -v
            return int(std::clamp<int64_t>(int64_t(~v) + offset(random), INT_MIN, INT_MAX));
        };
        int x1 = opposite(x0), y1 = opposite(y0);
        fill(white);
        draw_line(3, x0, y0, x1, y1, 1);
        PixelSet drawn;
        for (size_t i = 0; i < pixels().size(); ++i) {
            if (pixels()[i] != white) drawn.insert({int(i % canvas_width), int(i / canvas_width)});
        }
        ASSERT_EQ(drawn, reference_line(int64_t(center_x) + x0, int64_t(center_y) - y0,
                                        int64_t(center_x) + x1, int64_t(center_y) - y1,
                                        canvas_width, canvas_height))
            << x0 << "," << y0 << " -> " << x1 << "," << y1;
    }
}

// Texts of many lines, anchored so that the canvas shows lines from their middle,
// their first or their last lines, or the edge of a line's glyphs, look exactly as
// when every line is drawn: passing over the lines off the canvas loses nothing.
TEST_F(DrawingCalls, TextLinesOffTheCanvasAreLeftOutInvisibly) {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "Wjg|" + std::to_string(i) + (i % 7 ? "\n" : "\n\n");
    HDC reference = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, canvas_width, canvas_height);
    HGDIOBJ old_bitmap = SelectObject(reference, bitmap);
    SetBkMode(reference, TRANSPARENT);
    for (int size : {1, 15, 127}) {
        HFONT font = CreateFontA(-size, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "TAVLO-font");
        HGDIOBJ old_font = SelectObject(reference, font);
        SIZE extent;
        GetTextExtentPointA(reference, "W", 1, &extent);
        int h = extent.cy;
        for (int64_t y : {int64_t(0), int64_t(h) * 1500, int64_t(h) * 1500 + 5, int64_t(h) * 3400,
                          int64_t(h) * 3400 + h - 3, int64_t(-500 + h / 2), int64_t(245 + h + 2),
                          int64_t(-296 + 2), int64_t(245 + 2 * h)}) {
            fill(white);
            std::fill(bitmap->pixels.begin(), bitmap->pixels.end(), white);
            int x = size == 127 ? -40 : -3;
            draw_text(0, x, int(y), size, text.c_str());
            size_t start = 0;
            for (int64_t line = -1; start <= text.size(); ++line) {
                size_t end = std::min(text.find('\n', start), text.size());
                TextOutA(reference, center_x + x, int(center_y - y + line * h), text.data() + start,
                         int(end - start));
                start = end + 1;
            }
            ASSERT_EQ(pixels(), bitmap->pixels) << "size " << size << ", y " << y;
            if (y == 0) {
                EXPECT_LT(count(white), canvas_width * canvas_height);  // lines show
            }
        }
        SelectObject(reference, old_font);
        DeleteObject(font);
    }
    SelectObject(reference, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(reference);
}

TEST_F(DrawingCalls, EveryCallRestoresTheCanvasState) {
    HDC dc = package_state.canvas_dc;
    HGDIOBJ pen = SelectObject(dc, GetStockObject(BLACK_PEN));
    HGDIOBJ brush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    HGDIOBJ font = SelectObject(dc, GetStockObject(SYSTEM_FONT));
    int mode = GetBkMode(dc);
    draw_triangle(4, 0, 0, 9, 9, 9, 0, 0);
    draw_triangle(4, 0, 0, 9, 9, 9, 0, 2);
    draw_rectangle(4, 0, 0, 9, 9, 3);
    draw_line(4, 0, 0, 9, 9, 2);
    draw_text(4, 0, 0, 20, "A\nB");
    clear_canvas();
    EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(dc, font), GetStockObject(SYSTEM_FONT));
    EXPECT_EQ(GetBkMode(dc), mode);
}

TEST_F(DrawingCalls, ClearingWhitensInsideABlackFrame) {
    fill(0x00FF00);
    package_state.canvas_dirty = 0;
    clear_canvas();
    EXPECT_EQ(package_state.canvas_dirty, 1);
    EXPECT_EQ(pixel(center_x, center_y), white);
    for (int col = 0; col < canvas_width; ++col) {
        ASSERT_EQ(pixel(col, 0), black);
        ASSERT_EQ(pixel(col, canvas_height - 1), black);
    }
    for (int row = 0; row < canvas_height; ++row) {
        ASSERT_EQ(pixel(0, row), black);
        ASSERT_EQ(pixel(canvas_width - 1, row), black);
    }
    EXPECT_EQ(count(black), 2 * canvas_width + 2 * (canvas_height - 2));
}

TEST_F(DrawingCalls, UnknownCommandKindsDrawNothingButMarkTheCanvas) {
    for (int kind : {6, -1}) {
        package_state.canvas_dirty = 0;
        render_command(DrawCommand{kind, 0, 0, -100, 100, 100, -100, 0, 0, nullptr});
        EXPECT_EQ(package_state.canvas_dirty, 1);
        EXPECT_EQ(count(white), canvas_width * canvas_height);
    }
    render_command(DrawCommand{DRAW_PIXEL, 2, 0, 3, 4, 0, 0, 0, 0, nullptr});
    EXPECT_EQ(at(3, 4), red);
    render_command(DrawCommand{DRAW_OVAL, 3, 0, -5, 5, 5, -5, 0, 0, nullptr});
    EXPECT_EQ(at(0, 0), green);
    EXPECT_EQ(at(5, 5), white);  // the box's corner lies outside the oval
}

// The anchor is the lower-left corner of the first line's cell; each further line
// lies one line height lower. Compared with the platform's own text output.
TEST_F(DrawingCalls, TextLinesStackDownFromTheAnchor) {
    draw_text(0, 0, 0, 20, "A\nB");

    HDC reference = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, canvas_width, canvas_height);
    HGDIOBJ old_bitmap = SelectObject(reference, bitmap);
    RECT all = {0, 0, canvas_width, canvas_height};
    HBRUSH white_brush = CreateSolidBrush(white);
    FillRect(reference, &all, white_brush);
    HFONT font = CreateFontA(-20, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "TAVLO-font");
    HGDIOBJ old_font = SelectObject(reference, font);
    SetBkMode(reference, TRANSPARENT);
    SIZE extent;
    GetTextExtentPointA(reference, "A\nB", 3, &extent);
    ASSERT_GT(extent.cy, 10);
    TextOutA(reference, center_x, center_y - extent.cy, "A", 1);
    TextOutA(reference, center_x, center_y, "B", 1);

    EXPECT_EQ(package_state.canvas_bitmap->pixels, bitmap->pixels);
    // Only glyph pixels were painted: no background cell.
    EXPECT_EQ(pixel(center_x, center_y - 1), white);

    // A text ending in a newline draws one more, empty, line; an empty text nothing.
    fill(white);
    draw_text(0, 0, 0, 20, "");
    EXPECT_EQ(count(white), canvas_width * canvas_height);
    draw_text(0, 0, 0, 20, "A\n");
    FillRect(reference, &all, white_brush);
    TextOutA(reference, center_x, center_y - extent.cy, "A", 1);
    EXPECT_EQ(package_state.canvas_bitmap->pixels, bitmap->pixels);

    SelectObject(reference, old_font);
    SelectObject(reference, old_bitmap);
    DeleteObject(font);
    DeleteObject(white_brush);
    DeleteObject(bitmap);
    DeleteDC(reference);
}

// A composite of every drawing call, as an application would make it, compared
// with a stored picture: fills, outlines of widths 1 to 3, lines in all
// directions, texts of several sizes and lines, and shapes cut by the canvas edge.
TEST_F(DrawingCalls, CompositePicture) {
    clear_canvas();
    draw_rectangle(9, -280, 230, -180, 150, 0);
    draw_rectangle(13, -170, 230, -70, 150, 1);
    draw_rectangle(8, -60, 150, 40, 230, 2);
    draw_rectangle(19, 50, 230, 150, 150, 3);
    draw_triangle(3, -280, 120, -180, 120, -230, 40, 0);
    draw_triangle(4, -170, 120, -70, 100, -120, 40, 1);
    draw_triangle(6, -60, 40, 40, 60, -20, 120, 2);
    draw_triangle(21, 50, 40, 150, 120, 60, 110, 3);
    for (int angle = 0; angle < 16; ++angle) {
        static const int dx[16] = {60,  55,  42,  23,  0, -23, -42, -55,
                                   -60, -55, -42, -23, 0, 23,  42,  55};
        static const int dy[16] = {0, 23,  42,  55,  60,  55,  42,  23,
                                   0, -23, -42, -55, -60, -55, -42, -23};
        draw_line(angle % 24, 220, 80, 220 + dx[angle], 80 + dy[angle], 1 + angle % 3);
    }
    print_text(0, -280, 0, 10, "size %d", 10);
    print_text(2, -200, 0, 15, "size %d", 15);
    draw_text(4, -100, 0, 25, "two\nlines");
    draw_text(22, 40, -10, 40, "Big");
    draw_triangle(17, -320, -100, -250, -280, -200, -150, 0);  // cut by the left and bottom edges
    draw_rectangle(15, 250, -200, 400, -300, 0);               // cut by the right and bottom edges
    draw_line(0, -400, -50, 400, -60, 2);
    EXPECT_TRUE(
        tavlo_test::matches_golden("drawing_calls_composite", *package_state.canvas_bitmap));
}

// text_size against the ink draw_text puts on the canvas: the glyphs lie inside the
// measured box, which they nearly fill, for one line and several, at every kind of
// size; the point size is repaired as draw_text repairs it, and nothing is logged.
TEST_F(DrawingCalls, TextSizeIsTheBoxDrawTextCovers) {
    struct Ink {
        int left = INT_MAX, right = INT_MIN, top = INT_MIN, bottom = INT_MAX;
    };
    auto ink = [this] {
        Ink box;
        for (int row = 0; row < canvas_height; ++row) {
            for (int col = 0; col < canvas_width; ++col) {
                if (pixel(col, row) == white) continue;
                int x = col - center_x, y = center_y - row;
                box = {std::min(box.left, x), std::max(box.right, x), std::max(box.top, y),
                       std::min(box.bottom, y)};
            }
        }
        return box;
    };
    const int x = -280, y = 100;
    for (int size : {0, 10, 30, 127}) {
        int one_width = 0, line = 0;
        ASSERT_EQ(text_size(size, "H", &one_width, &line), 1);
        ASSERT_GT(line, 0);
        for (const char* text : {"Hello", "Wjg|", "two\nlonger line\nx", "HH\n\nH"}) {
            int width = -1, height = -1;
            text_size(size, text, &width, &height);
            int lines = 1 + int(std::count(text, text + std::strlen(text), '\n'));
            EXPECT_EQ(height, lines * line) << text;
            fill(white);
            draw_text(0, x, y, size, text);
            Ink box = ink();
            std::string where = std::string(text) + " at size " + std::to_string(size);
            EXPECT_GE(box.left, x) << where;
            EXPECT_LE(box.right, x + width - 1) << where;
            EXPECT_LE(box.top, y + line) << where;
            EXPECT_GE(box.bottom, y + line - height + 1) << where;
            int slack = line / 3 + 2;  // the side bearings, ascent and descent room
            EXPECT_LE(box.left, x + slack) << where;
            EXPECT_GE(box.right, x + width - 1 - slack) << where;
            EXPECT_GE(box.top, y + line - slack) << where;
        }
    }
    int width = -1, height = -1, line = 0;
    text_size(20, "A", nullptr, &line);
    text_size(20, "", &width, &height);  // one empty line
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, line);
    text_size(20, nullptr, &width, &height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, line);
    text_size(20, "A\n", nullptr, &height);  // a last, empty, line
    EXPECT_EQ(height, 2 * line);

    package_state.logging_enabled = true;
    int clamped = 0, largest = 0;
    text_size(-200, "A", nullptr, &clamped);
    text_size(127, "A", nullptr, &largest);
    EXPECT_EQ(clamped, largest);
    EXPECT_EQ(log_lines(), (Lines{"ptsize of -200 not possible, using ptsize 200\n",
                                  "ptsize of 200 not possible, using ptsize 127\n"}));
}

class VisibleArea : public test_support::DisplayTest {};

// The visible area follows the client size: it is the client area where that fits
// on the canvas, and the canvas where the client area is larger, around the
// client area's centre. Its corners are where clicks on the client area's corner
// pixels land, and a pixel drawn at its far corner is the canvas's last shown one.
TEST_F(VisibleArea, FollowsTheClientSize) {
    int left = 7, bottom = 7, right = 7, top = 7;
    EXPECT_EQ(visible_area(&left, &bottom, &right, &top), 0);  // no display yet
    EXPECT_EQ(std::vector<int>({left, bottom, right, top}), std::vector<int>({0, 0, 0, 0}));

    struct Case {
        SIZE client;
        std::vector<int> area;  // left, bottom, right, top
    } cases[] = {{{595, 491}, {-297, -245, 297, 245}},
                 {{400, 301}, {-200, -150, 199, 150}},
                 {{800, 600}, {-400, -239, 200, 300}}};
    for (const Case& c : cases) {
        reset_everything();
        presenter().set_client_size_override(c.client);
        open();
        ASSERT_EQ(visible_area(&left, &bottom, &right, &top), 1);
        EXPECT_EQ(std::vector<int>({left, bottom, right, top}), c.area) << c.client.cx;
        visible_area(nullptr, nullptr, nullptr, nullptr);  // skipped pointers

        click(0, 0);
        Event corner = next_event();
        EXPECT_EQ(corner.kind, EventKind::Mouse);
        EXPECT_EQ(corner.x, left);
        EXPECT_EQ(corner.y, top);
        if (c.client.cx <= canvas_width && c.client.cy <= canvas_height) {
            click(int(c.client.cx) - 1, int(c.client.cy) - 1);
            Event far = next_event();
            EXPECT_EQ(far.x, right);
            EXPECT_EQ(far.y, bottom);
        }
        draw_pixel(2, right, bottom);
        EXPECT_EQ(GetPixel(package_state.canvas_dc, right - left, top - bottom), 0x0000FFu);
    }
}
