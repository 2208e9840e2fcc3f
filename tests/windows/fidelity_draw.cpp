// Draws one fixed sequence of the package's drawing calls onto the canvas and
// writes the canvas pixels to a file, so that the picture made by our portable
// GDI can be compared pixel for pixel with the one made by a real GDI.
//
// The same source is built natively (portable platform, default presenter) and
// for Windows. Command line: the output file name. It writes
//   NAME        the 601 x 540 canvas as a binary PPM (P6), top row first;
//   NAME.cases  one line per test cell: "column row name".
//
// The canvas is divided into 60 x 60 cells; each case draws only inside its own
// cell (cases along the canvas border also cross the canvas edge on purpose), so
// a differing pixel names the case that made it. Text is left out: faces differ
// between platforms by design. So is the 1 x 1 rectangle, which the package
// colours and Windows leaves empty.
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

void draw_pixel(int color, int x, int y) {
    render_command(DrawCommand{DRAW_PIXEL, color, 0, x, y, 0, 0, 0, 0, nullptr});
}

void draw_oval(int color, int x1, int y1, int x2, int y2, int width) {
    render_command(DrawCommand{DRAW_OVAL, color, width, x1, y1, x2, y2, 0, 0, nullptr});
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
            cases.push_back({std::string("triangle width ") + std::to_string(width) + ", " +
                                 shape.name,
                             [p, width, color](int x, int y) {
                                 draw_triangle(color, x + p[0], y + p[1], x + p[2], y + p[3],
                                               x + p[4], y + p[5], width);
                             }});
        }
    }
}

void add_line_cases(std::vector<Case>& cases) {
    // Sixteen directions, 22.5 degrees apart: both halves of every octant, the
    // axes and the diagonals, each drawn outward from a small ring.
    static const int directions[16][2] = {{24, 0},  {24, 10},  {17, 17},  {10, 24},
                                          {0, 24},  {-10, 24}, {-17, 17}, {-24, 10},
                                          {-24, 0}, {-24, -10}, {-17, -17}, {-10, -24},
                                          {0, -24}, {10, -24},  {17, -17},  {24, -10}};
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
                             static const int ties[8][2] = {{4, 1},  {1, 4},   {-1, 4}, {-4, 1},
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
                         for (int i = 0; i < 10; ++i) draw_pixel(case_color(size_t(i)), x - 20 + 4 * i, y + i);
                     }});
    for (int width = 0; width <= 3; ++width) {
        cases.push_back({"oval width " + std::to_string(width), [width](int x, int y) {
                             draw_oval(case_color(size_t(width + 11)), x - 21, y + 14, x + 21, y - 14, width);
                             draw_oval(case_color(size_t(width + 12)), x - 5, y - 18, x + 4, y - 24, width);
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

// Lays the cases out: the clipping cases in the border cells, the rest in order.
struct Layout {
    int column, row;
};

std::vector<Layout> border_cells() {
    return {{0, 0}, {4, 0}, {0, 4}, {columns - 1, 3}, {5, rows - 1}, {columns - 1, rows - 1}};
}

bool is_border_cell(int column, int row) {
    for (const Layout& cell : border_cells()) {
        if (cell.column == column && cell.row == row) return true;
    }
    return false;
}

int write_picture(const std::string& name) {
    FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr) return 1;
    std::fprintf(file, "P6\n%d %d\n255\n", canvas_width, canvas_height);
    std::vector<unsigned char> row(size_t(canvas_width) * 3);
    for (int y = 0; y < canvas_height; ++y) {
        for (int x = 0; x < canvas_width; ++x) {
            COLORREF color = GetPixel(package_state.canvas_dc, x, y);
            row[size_t(x) * 3] = GetRValue(color);
            row[size_t(x) * 3 + 1] = GetGValue(color);
            row[size_t(x) * 3 + 2] = GetBValue(color);
        }
        std::fwrite(row.data(), 1, row.size(), file);
    }
    return std::fclose(file) == 0 ? 0 : 1;
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
    clear_canvas();

    std::vector<Case> clipping, ordinary;
    add_clipping_cases(clipping);
    add_rectangle_cases(ordinary);
    add_triangle_cases(ordinary);
    add_line_cases(ordinary);
    add_pixel_and_oval_cases(ordinary);

    FILE* list = std::fopen((output + ".cases").c_str(), "w");
    auto draw_at = [&](const Case& c, int column, int row) {
        int x = column * cell_size + cell_size / 2 - package_state.center_x;
        int y = package_state.center_y - (row * cell_size + cell_size / 2);
        c.draw(x, y);
        if (list != nullptr) std::fprintf(list, "%d %d %s\n", column, row, c.name.c_str());
    };
    std::vector<Layout> border = border_cells();
    for (size_t i = 0; i < clipping.size() && i < border.size(); ++i) {
        draw_at(clipping[i], border[i].column, border[i].row);
    }
    size_t next = 0;
    for (int row = 0; row < rows && next < ordinary.size(); ++row) {
        for (int column = 0; column < columns && next < ordinary.size(); ++column) {
            if (!is_border_cell(column, row)) draw_at(ordinary[next++], column, row);
        }
    }
    draw_edge_pixels();
    if (list != nullptr) std::fclose(list);

    int result = write_picture(output);
    if (next < ordinary.size()) result = 2;  // more cases than cells
    close_display();
    return result;
}
