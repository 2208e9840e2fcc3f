// The palette chart: the 24 colours as swatches, each with its index, its name in
// the call log and its red, green and blue values. docs/pictures/palette.png is
// this program's picture (--headless --save).
#include "tavlo.h"

namespace {

struct Entry {
    const char* name;
    int red, green, blue;
};

// The palette in index order, as the package defines it.
const Entry palette[Color::Count] = {
    {"black", 0, 0, 0},           {"white", 255, 255, 255},      {"red", 255, 0, 0},
    {"green", 0, 255, 0},         {"blue", 0, 0, 255},           {"yellow", 255, 255, 0},
    {"magenta", 255, 0, 255},     {"cyan", 0, 255, 255},         {"purple", 153, 0, 204},
    {"navy blue", 0, 51, 153},    {"dusty plum", 153, 102, 153}, {"ice blue", 153, 255, 255},
    {"turquoise", 153, 255, 204}, {"orange", 255, 102, 0},       {"brown", 153, 102, 51},
    {"pink", 255, 153, 204},      {"chalk", 255, 255, 153},      {"gold", 204, 153, 51},
    {"peach", 255, 153, 102},     {"forest green", 0, 102, 51},  {"sea green", 51, 204, 153},
    {"olive", 153, 153, 51},      {"50% gray", 128, 128, 128},   {"20% gray", 204, 204, 204},
};

constexpr int columns = 3, rows = 8;
constexpr int column_width = 196, row_height = 56;
constexpr int swatch_width = 52, swatch_height = 44;

// The swatch of entry `index` has its top-left corner at (left, top).
void draw_entry(int index, int left, int top) {
    const Entry& entry = palette[index];
    draw_rectangle(index, left, top, left + swatch_width - 1, top - swatch_height + 1, 0);
    draw_rectangle(Color::Black, left, top, left + swatch_width - 1, top - swatch_height + 1, 1);
    int text_x = left + swatch_width + 8;
    print_text(Color::Black, text_x, top - 20, 16, "%d %s", index, entry.name);
    print_text(Color::Gray50, text_x, top - 40, 14, "%d, %d, %d", entry.red, entry.green,
               entry.blue);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    clear_canvas();

    const char* title = "The 24 colours: index, name, red, green, blue";
    int title_width = 0, title_height = 0;
    text_size(18, title, &title_width, &title_height);
    draw_text(Color::Black, -title_width / 2, 245 - title_height - 6, 18, title);

    int first_left = -(columns * column_width) / 2 + 4, first_top = 245 - title_height - 14;
    for (int index = 0; index < Color::Count; ++index) {
        int column = index / rows, row = index % rows;
        draw_entry(index, first_left + column * column_width, first_top - row * row_height);
    }

    // A still picture: it waits for q, Quit or the window's close box.
    int x = 0, y = 0;
    char key = 0;
    for (int kind = 0; (kind = wait_event(&x, &y, &key)) != EventKind::Quit;) {
        if (kind == EventKind::Key && key == 'q') break;
    }
    close_display();
    return 0;
}
