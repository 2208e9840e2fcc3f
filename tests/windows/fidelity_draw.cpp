// Draws one fixed sequence of the package's drawing calls onto the canvas and
// writes the canvas pixels to a file, so that the picture made by our portable
// GDI can be compared pixel for pixel with the one made by a real GDI.
//
// The same source is built natively (portable platform, default presenter) and
// for Windows. Command line: the output file name. It writes
//   NAME        the canvases as one binary PPM (P6), top row first;
//   NAME.cases  one line per test cell: "column row name".
//
// The cases fill three canvases, drawn one after the other and written one below
// the other: a 601 x 1620 picture. Each canvas is divided into 60 x 60 cells; each
// case draws only inside its own cell or block of cells (cases along the canvas
// border also cross the canvas edge on purpose), so a differing pixel names the
// case that made it. Text is left out: faces differ
// between platforms by design. So is the 1 x 1 rectangle, which the package
// colours and Windows leaves empty. Cases named "info: ..." are compared and
// reported, but do not fail the test: large ovals with a pen 3 or more pixels
// wide, whose rings Wine strokes as a wide polyline where we sweep discs.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "package_state.h"

namespace {

constexpr int cell_size = 60;
constexpr int columns = canvas_width / cell_size;  // 10
constexpr int rows = canvas_height / cell_size;    // 9

// Draws one case around (x, y), the centre of its cell in canvas coordinates.
using DrawCase = std::function<void(int x, int y)>;

struct Case {
    std::string name;
    DrawCase draw;
};

// Every palette colour but white, which would not show on the white canvas.
int case_color(size_t index) {
    int color = int(index % (palette_size - 1));
    return color == 0 ? 0 : color + 1;
}

void add_rectangle_cases(std::vector<Case>& cases) {
    // The four orders of a 31 x 21 box's corners, at every width.
    const char* orders[4] = {"top-left to bottom-right", "top-right to bottom-left",
                             "bottom-left to top-right", "bottom-right to top-left"};
    for (int width = 0; width <= 3; ++width) {
        for (int order = 0; order < 4; ++order) {
            cases.push_back({"rectangle width " + std::to_string(width) + ", " + orders[order],
                             [width, order](int x, int y) {
                                 int left = x - 15, right = x + 15, top = y + 10, bottom = y - 10;
                                 int x1 = order % 2 ? right : left, x2 = order % 2 ? left : right;
                                 int y1 = order / 2 ? bottom : top, y2 = order / 2 ? top : bottom;
                                 draw_rectangle(case_color(size_t(order + 4 * width)), x1, y1, x2,
                                                y2, width);
                             }});
        }
    }
    // Small and thin boxes (never 1 x 1): 2 x 2, 3 x 3, 2 x 5, one column, one row.
    for (int width = 0; width <= 3; ++width) {
        cases.push_back({"thin boxes width " + std::to_string(width), [width](int x, int y) {
                             draw_rectangle(3, x - 20, y + 20, x - 19, y + 19, width);
                             draw_rectangle(4, x - 10, y + 20, x - 8, y + 18, width);
                             draw_rectangle(5, x + 5, y + 20, x + 6, y + 16, width);
                             draw_rectangle(6, x - 20, y + 5, x - 20, y - 15, width);
                             draw_rectangle(8, x - 10, y - 5, x + 15, y - 5, width);
                         }});
    }
}

void add_triangle_cases(std::vector<Case>& cases) {
    struct Shape {
        const char* name;
        int points[6];  // offsets from the cell centre
    };
    static const Shape shapes[] = {
        {"acute, counter-clockwise", {-20, -15, 18, -10, 2, 21}},
        {"acute, clockwise", {-20, -15, 2, 21, 18, -10}},
        {"flat top", {-20, 15, 20, 15, 3, -20}},
        {"flat bottom", {-17, -18, 21, -18, -5, 19}},
        {"sliver", {-22, -20, 22, 19, 20, 14}},
        {"obtuse", {-22, 0, 22, 4, -6, 9}},
        {"right angle", {-15, -15, 15, -15, -15, 15}},
        {"collinear", {-20, -10, 0, 0, 20, 10}},
        {"all points equal", {3, 2, 3, 2, 3, 2}},
    };
    size_t index = 0;
    for (const Shape& shape : shapes) {
        for (int width = 0; width <= 3; ++width, ++index) {
            const int* p = shape.points;
            int color = case_color(index + 7);
            cases.push_back(
                {std::string("triangle width ") + std::to_string(width) + ", " + shape.name,
                 [p, width, color](int x, int y) {
                     draw_triangle(color, x + p[0], y + p[1], x + p[2], y + p[3], x + p[4],
                                   y + p[5], width);
                 }});
        }
    }
}

void add_line_cases(std::vector<Case>& cases) {
    // Sixteen directions, 22.5 degrees apart: both halves of every octant, the
    // axes and the diagonals, each drawn outward from a small ring.
    static const int directions[16][2] = {
        {24, 0},  {24, 10},   {17, 17},   {10, 24},   {0, 24},  {-10, 24}, {-17, 17}, {-24, 10},
        {-24, 0}, {-24, -10}, {-17, -17}, {-10, -24}, {0, -24}, {10, -24}, {17, -17}, {24, -10}};
    for (int width = 1; width <= 3; ++width) {
        cases.push_back({"line star width " + std::to_string(width), [width](int x, int y) {
                             for (int d = 0; d < 16; ++d) {
                                 int dx = directions[d][0], dy = directions[d][1];
                                 draw_line(case_color(size_t(d)), x + dx / 4, y + dy / 4, x + dx,
                                           y + dy, width);
                             }
                         }});
        cases.push_back({"line star inward width " + std::to_string(width), [width](int x, int y) {
                             for (int d = 0; d < 16; ++d) {
                                 int dx = directions[d][0], dy = directions[d][1];
                                 draw_line(case_color(size_t(d + 3)), x + dx, y + dy, x + dx / 4,
                                           y + dy / 4, width);
                             }
                         }});
        // Half-step ties in every octant, where the rounding direction shows.
        cases.push_back({"line ties width " + std::to_string(width), [width](int x, int y) {
                             static const int ties[8][2] = {{4, 1},   {1, 4},   {-1, 4}, {-4, 1},
                                                            {-4, -1}, {-1, -4}, {1, -4}, {4, -1}};
                             for (int t = 0; t < 8; ++t) {
                                 int bx = x - 18 + (t % 4) * 12, by = y + (t < 4 ? 8 : -12);
                                 draw_line(case_color(size_t(t)), bx, by, bx + ties[t][0],
                                           by + ties[t][1], width);
                                 draw_line(case_color(size_t(t + 9)), bx, by + 12,
                                           bx + 2 * ties[t][0], by + 12 + 2 * ties[t][1], width);
                             }
                         }});
        cases.push_back({"line zero length width " + std::to_string(width), [width](int x, int y) {
                             draw_line(2, x, y, x, y, width);
                             draw_line(4, x + 10, y + 10, x + 10, y + 10, width);
                         }});
    }
}

// Shapes that cross the canvas edge, drawn in the border cells: clipping must not
// move the pixels that remain.
void add_clipping_cases(std::vector<Case>& cases) {
    cases.push_back({"clipped triangle, top-left corner", [](int x, int y) {
                         draw_triangle(13, x - 50, y + 45, x + 20, y + 10, x - 5, y - 25, 0);
                     }});
    cases.push_back({"clipped triangle outline width 2, top edge", [](int x, int y) {
                         draw_triangle(9, x - 20, y + 50, x + 22, y + 36, x - 2, y - 10, 2);
                     }});
    cases.push_back({"clipped lines, left edge", [](int x, int y) {
                         draw_line(0, x + 10, y + 5, x - 10000, y + 3000, 1);
                         draw_line(2, x + 10, y - 5, x - 10000, y - 3000, 1);
                         draw_line(4, x - 10000, y + 2, x + 10, y - 1, 1);
                         draw_line(19, x - 25, y + 20, x - 45, y - 20, 3);
                     }});
    cases.push_back({"clipped rectangles, right edge", [](int x, int y) {
                         for (int width = 0; width <= 3; ++width) {
                             int top = y + 24 - 12 * width;
                             draw_rectangle(case_color(size_t(width + 5)), x + 10, top, x + 60,
                                            top - 8, width);
                         }
                     }});
    cases.push_back({"clipped lines, bottom edge", [](int x, int y) {
                         draw_line(8, x - 5, y + 10, x - 1500, y - 5000, 1);
                         draw_line(14, x + 5, y + 10, x + 1500, y - 5000, 2);
                         draw_line(20, x - 20, y - 25, x + 20, y - 40, 1);
                         draw_line(6, x + 15, y - 20, x + 15, y - 90, 3);
                     }});
    cases.push_back({"clipped triangle width 3, bottom-right corner", [](int x, int y) {
                         draw_triangle(21, x + 50, y - 40, x - 20, y - 10, x + 10, y + 15, 3);
                     }});
}

void add_pixel_and_oval_cases(std::vector<Case>& cases) {
    cases.push_back({"pixels inside a cell", [](int x, int y) {
                         for (int i = 0; i < 10; ++i)
                             draw_pixel(case_color(size_t(i)), x - 20 + 4 * i, y + i);
                     }});
    for (int width = 0; width <= 3; ++width) {
        cases.push_back(
            {"oval width " + std::to_string(width), [width](int x, int y) {
                 draw_oval(case_color(size_t(width + 11)), x - 21, y + 14, x + 21, y - 14, width);
                 draw_oval(case_color(size_t(width + 12)), x - 5, y - 18, x + 4, y - 24, width);
             }});
    }
}

// Ovals through the drawing call's corner ordering and coordinate conversion.
void add_oval_corner_cases(std::vector<Case>& cases) {
    // draw_oval puts the corners in order as draw_rectangle does: a 23 x 15 box and
    // a 13 x 8 one, each given from one of its four corners.
    const char* orders[4] = {"top-left to bottom-right", "top-right to bottom-left",
                             "bottom-left to top-right", "bottom-right to top-left"};
    for (int width = 0; width <= 2; ++width) {
        for (int order = 0; order < 4; ++order) {
            cases.push_back({"oval width " + std::to_string(width) + ", " + orders[order],
                             [width, order](int x, int y) {
                                 auto oval = [&](int color, int left, int top, int right,
                                                 int bottom) {
                                     int x1 = order % 2 ? right : left;
                                     int x2 = order % 2 ? left : right;
                                     int y1 = order / 2 ? bottom : top;
                                     int y2 = order / 2 ? top : bottom;
                                     draw_oval(color, x1, y1, x2, y2, width);
                                 };
                                 int color = case_color(size_t(order + 4 * width));
                                 oval(color, x - 25, y + 20, x - 3, y + 6);
                                 oval(color + 1, x + 5, y - 5, x + 17, y - 12);
                             }});
        }
    }
    // Thin ovals: one column, one row, 2 x 2, 3 x 2 and 2 x 3 boxes.
    for (int width = 0; width <= 2; ++width) {
        cases.push_back({"thin ovals width " + std::to_string(width), [width](int x, int y) {
                             draw_oval(3, x - 20, y + 20, x - 20, y + 5, width);
                             draw_oval(4, x - 10, y + 20, x + 15, y + 20, width);
                             draw_oval(5, x - 10, y + 10, x - 9, y + 9, width);
                             draw_oval(6, x, y + 10, x + 2, y + 9, width);
                             draw_oval(8, x + 10, y + 10, x + 11, y + 8, width);
                             draw_oval(9, x - 15, y - 5, x + 15, y - 7, width);
                         }});
    }
}

// Pixels on the canvas's outermost rows and columns, and some just beyond them
// (which must change nothing).
void draw_edge_pixels() {
    int left = -canvas_width / 2, right = canvas_width - 1 - canvas_width / 2;
    int top = canvas_height / 2, bottom = canvas_height / 2 - (canvas_height - 1);
    int corners[4][2] = {{left, top}, {right, top}, {left, bottom}, {right, bottom}};
    for (int i = 0; i < 4; ++i) {
        draw_pixel(2 + i, corners[i][0], corners[i][1]);
        draw_pixel(2 + i, corners[i][0] + (i % 2 ? 1 : -1), corners[i][1]);
        draw_pixel(2 + i, corners[i][0], corners[i][1] + (i / 2 ? -1 : 1));
    }
    for (int step = -250; step <= 250; step += 50) {
        draw_pixel(13, step, top);
        draw_pixel(14, step, bottom);
        draw_pixel(19, left, step / 2);
        draw_pixel(20, right, step / 2);
        draw_pixel(0, step + 7, top + 1);
        draw_pixel(0, right + 1, step / 2 + 3);
    }
}

// A small deterministic generator, the same on every platform.
struct Random {
    uint32_t state;
    int next(int low, int high) {  // low..high inclusive
        state = state * 1664525u + 1013904223u;
        return low + int((state >> 8) % uint32_t(high - low + 1));
    }
};

// Fans of lines from one corner of the cell through a quadrant, x-major and
// y-major slopes alike, so wide pens show their body and end rounding.
void add_line_fan_cases(std::vector<Case>& cases) {
    const int widths[] = {1, 2, 3, 4, 5, 7};
    const char* quadrants[4] = {"right-up", "left-up", "left-down", "right-down"};
    for (int width : widths) {
        for (int quadrant = 0; quadrant < 4; ++quadrant) {
            cases.push_back({std::string("line fan width ") + std::to_string(width) + ", " +
                                 quadrants[quadrant],
                             [width, quadrant](int x, int y) {
                                 int sx = quadrant == 0 || quadrant == 3 ? 1 : -1;
                                 int sy = quadrant < 2 ? 1 : -1;
                                 int x0 = x - 19 * sx, y0 = y - 19 * sy;
                                 for (int s = 0; s <= 38; s += 6) {
                                     draw_line(case_color(size_t(s / 6)), x0, y0, x0 + 38 * sx,
                                               y0 + s * sy, width);
                                     draw_line(case_color(size_t(s / 6 + 8)), x0, y0, x0 + s * sx,
                                               y0 + 38 * sy, width);
                                 }
                             }});
        }
    }
}

// Triangles with pseudo-random corners and widths: two per cell, or one large
// one per 2 x 2 block.
void add_random_triangle_cases(std::vector<Case>& cases, int count, int reach, int per_case,
                               uint32_t seed) {
    for (int i = 0; i < count; ++i) {
        cases.push_back({"random triangles " + std::to_string(reach) + "/" + std::to_string(i),
                         [reach, per_case, seed, i](int x, int y) {
                             Random random{seed + uint32_t(i) * 7919u};
                             for (int t = 0; t < per_case; ++t) {
                                 int p[6];
                                 for (int& v : p) v = random.next(-reach, reach);
                                 int width = random.next(0, 3);
                                 draw_triangle(case_color(size_t(random.next(0, 22))), x + p[0],
                                               y + p[1], x + p[2], y + p[3], x + p[4], y + p[5],
                                               width);
                             }
                         }});
    }
}

void add_wide_rectangle_and_oval_cases(std::vector<Case>& cases) {
    for (int width = 4; width <= 7; ++width) {
        cases.push_back(
            {"rectangles width " + std::to_string(width), [width](int x, int y) {
                 draw_rectangle(case_color(size_t(width)), x - 18, y + 18, x + 17, y + 2, width);
                 draw_rectangle(case_color(size_t(width + 3)), x - 18, y - 6, x - 14, y - 18,
                                width);
                 draw_rectangle(case_color(size_t(width + 6)), x, y - 8, x + 16, y - 9, width);
             }});
    }
    for (int width = 0; width <= 3; ++width) {
        cases.push_back({"small ovals width " + std::to_string(width), [width](int x, int y) {
                             int size = 2;
                             for (int i = 0; i < 5; ++i, size += 3) {
                                 int left = x - 22 + (i % 3) * 16, top = y + 20 - (i / 3) * 22;
                                 draw_oval(case_color(size_t(i + width)), left, top,
                                           left + size - 1, top - size - i % 2, width);
                             }
                         }});
    }
}

void add_large_cases(std::vector<Case>& cases) {
    add_random_triangle_cases(cases, 10, 56, 1, 4242u);
    for (int width = 0; width <= 3; ++width) {
        std::string name =
            (width >= 3 ? "info: large oval width " : "large oval width ") + std::to_string(width);
        cases.push_back({name, [width](int x, int y) {
                             draw_oval(case_color(size_t(width + 2)), x - 55, y + 40, x + 54,
                                       y - 41 + width, width);
                         }});
    }
    for (int width = 1; width <= 3; ++width) {
        cases.push_back({"long random lines width " + std::to_string(width), [width](int x, int y) {
                             Random random{uint32_t(99 + width)};
                             for (int i = 0; i < 6; ++i) {
                                 draw_line(case_color(size_t(i + width)), x + random.next(-56, 56),
                                           y + random.next(-56, 56), x + random.next(-56, 56),
                                           y + random.next(-56, 56), width);
                             }
                         }});
    }
    cases.push_back({"nested large rectangles", [](int x, int y) {
                         for (int i = 0; i < 4; ++i) {
                             draw_rectangle(case_color(size_t(i + 4)), x - 55 + 12 * i,
                                            y + 55 - 12 * i, x + 54 - 12 * i, y - 54 + 12 * i,
                                            i == 3 ? 0 : i + 1);
                         }
                     }});
}

// One canvas full of cases, each in a square block of `span` x `span` cells.
struct Page {
    int span = 1;
    std::vector<Case> cases;
    std::vector<Case> border_cases;  // in border_cells(), crossing the canvas edge
    bool edge_pixels = false;
};

struct Layout {
    int column, row;
};

// The border cells the clipping cases use, each at the canvas edge.
std::vector<Layout> border_cells() {
    return {{0, 0}, {4, 0}, {0, 4}, {columns - 1, 3}, {5, rows - 1}, {columns - 1, rows - 1}};
}

bool is_border_cell(const Page& page, int column, int row) {
    std::vector<Layout> border = border_cells();
    for (size_t i = 0; i < page.border_cases.size() && i < border.size(); ++i) {
        if (border[i].column == column && border[i].row == row) return true;
    }
    return false;
}

std::vector<Page> make_pages() {
    std::vector<Page> pages(3);
    add_clipping_cases(pages[0].border_cases);
    add_rectangle_cases(pages[0].cases);
    add_triangle_cases(pages[0].cases);
    add_line_cases(pages[0].cases);
    add_pixel_and_oval_cases(pages[0].cases);
    pages[0].edge_pixels = true;
    add_line_fan_cases(pages[1].cases);
    add_random_triangle_cases(pages[1].cases, 36, 22, 2, 1234u);
    add_wide_rectangle_and_oval_cases(pages[1].cases);
    add_oval_corner_cases(pages[1].cases);
    pages[2].span = 2;
    add_large_cases(pages[2].cases);
    return pages;
}

// Draws one page onto a freshly cleared canvas and lists its cells, with rows
// counted from the top of the whole picture. Returns false when the cases do not fit.
bool draw_page(const Page& page, int page_index, FILE* list) {
    clear_canvas();
    auto draw_at = [&](const Case& c, int column, int row) {
        int size = cell_size * page.span;
        int x = column * cell_size + size / 2 - package_state.center_x;
        int y = package_state.center_y - (row * cell_size + size / 2);
        c.draw(x, y);
        for (int r = row; r < row + page.span; ++r) {
            for (int k = column; k < column + page.span; ++k) {
                std::fprintf(list, "%d %d %s\n", k, page_index * rows + r, c.name.c_str());
            }
        }
    };
    std::vector<Layout> border = border_cells();
    for (size_t i = 0; i < page.border_cases.size() && i < border.size(); ++i) {
        draw_at(page.border_cases[i], border[i].column, border[i].row);
    }
    size_t next = 0;
    for (int row = 0; row + page.span <= rows && next < page.cases.size(); row += page.span) {
        for (int column = 0; column + page.span <= columns && next < page.cases.size();
             column += page.span) {
            if (!is_border_cell(page, column, row)) draw_at(page.cases[next++], column, row);
        }
    }
    if (page.edge_pixels) draw_edge_pixels();
    return next == page.cases.size();
}

// Appends the canvas, top row first, as RGB bytes.
void read_canvas(std::vector<unsigned char>& picture) {
    for (int y = 0; y < canvas_height; ++y) {
        for (int x = 0; x < canvas_width; ++x) {
            COLORREF color = GetPixel(package_state.canvas_dc, x, y);
            picture.push_back(GetRValue(color));
            picture.push_back(GetGValue(color));
            picture.push_back(GetBValue(color));
        }
    }
}

bool write_picture(const std::string& name, const std::vector<unsigned char>& picture,
                   int page_count) {
    FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr) return false;
    std::fprintf(file, "P6\n%d %d\n255\n", canvas_width, canvas_height * page_count);
    std::fwrite(picture.data(), 1, picture.size(), file);
    return std::fclose(file) == 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line,
                   int show_command) {
    std::string output = command_line != nullptr && *command_line ? command_line : "fidelity.ppm";
    open_display(instance, previous_instance, command_line, show_command);
    set_logging(0);
    // The same origin on every platform, whatever the window decorations leave.
    package_state.center_x = canvas_width / 2;
    package_state.center_y = canvas_height / 2;

    FILE* list = std::fopen((output + ".cases").c_str(), "w");
    if (list == nullptr) return 1;
    std::vector<Page> pages = make_pages();
    std::vector<unsigned char> picture;
    bool all_fit = true;
    for (size_t i = 0; i < pages.size(); ++i) {
        all_fit = draw_page(pages[i], int(i), list) && all_fit;
        read_canvas(picture);
    }
    std::fclose(list);
    bool written = write_picture(output, picture, int(pages.size()));
    close_display();
    return written && all_fit ? 0 : 1;
}
