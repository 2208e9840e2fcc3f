// Click to paint: a bar of the 24 palette colours along the bottom of the canvas;
// a click on the bar picks a colour, a click anywhere else paints a dot in it.
// The c key clears the painting, q quits (so do the Run menu's Quit and closing
// the window).
#include "tavlo.h"

namespace {

constexpr int box_width = 22;
constexpr int bar_left = -Color::Count * box_width / 2;  // the bar is centred
constexpr int bar_bottom = -235;
constexpr int bar_top = -213;
constexpr int dot_radius = 6;

int box_left(int color) {
    return bar_left + color * box_width;
}

// The colour of the box under (x, y), or -1 off the bar.
int color_at(int x, int y) {
    if (y < bar_bottom || y > bar_top || x < bar_left) return -1;
    int color = (x - bar_left) / box_width;
    return color < Color::Count ? color : -1;
}

void draw_bar(int selected) {
    // White under the bar first, so the frame of an earlier pick is gone.
    draw_rectangle(Color::White, bar_left - 3, bar_bottom - 3, -bar_left + 3, bar_top + 24, 0);
    for (int color = 0; color < Color::Count; ++color) {
        int left = box_left(color);
        draw_rectangle(color, left, bar_bottom, left + box_width - 1, bar_top, 0);
        draw_rectangle(Color::Black, left, bar_bottom, left + box_width - 1, bar_top, 1);
    }
    // The picked colour gets a thick frame and its name's number above the bar.
    int left = box_left(selected);
    draw_rectangle(Color::Black, left - 2, bar_bottom - 2, left + box_width + 1, bar_top + 2, 2);
    print_text(Color::Black, -270, bar_top + 8, 14, "colour %d: click to paint, c clears, q quits",
               selected);
}

void start_page(int selected) {
    clear_canvas();
    draw_bar(selected);
}

void paint_dot(int color, int x, int y) {
    draw_rectangle(color, x - dot_radius, y - dot_radius, x + dot_radius, y + dot_radius, 0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    int selected = Color::Blue;
    start_page(selected);

    for (;;) {
        int x = 0, y = 0;
        char key = 0;
        int kind = wait_event(&x, &y, &key);
        if (kind == EventKind::Quit) break;
        if (kind == EventKind::Mouse) {
            int picked = color_at(x, y);
            if (picked >= 0) {
                selected = picked;
                draw_bar(selected);
            } else if (y > bar_top + 24 + dot_radius) {
                paint_dot(selected, x, y);
            }
        } else if (kind == EventKind::Key) {
            if (key == 'c') start_page(selected);
            if (key == 'q') break;
        }
    }
    close_display();
    return 0;
}
