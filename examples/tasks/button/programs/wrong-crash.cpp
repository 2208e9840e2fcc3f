// Wrong: typing r crashes the program (it writes through a null pointer).
#include "tavlo.h"

namespace {

void fill_button(ColorIndex color) {
    draw_rectangle(color, 50, 50, 150, 150, 0);
}

bool inside_button(int x, int y) {
    return x >= 50 && x <= 150 && y >= 50 && y <= 150;
}

}  // namespace

// The colour a key paints the button with: meant to be set at the start, never is.
ColorIndex* key_color = nullptr;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    fill_button(Color::Gray50);
    int x = 0, y = 0;
    char key = 0;
    for (;;) {
        int kind = wait_event(&x, &y, &key);
        if (kind == EventKind::Quit) break;
        if (kind == EventKind::Mouse && inside_button(x, y)) {
            fill_button(Color::Green);
            log_printf("clicked\n");
        } else if (kind == EventKind::Key && key == 'r') {
            *key_color = Color::Red;  // nothing set it: a write through a null pointer
            fill_button(*key_color);
            log_printf("key r\n");
        } else if (kind == EventKind::Key && key == 'q') {
            break;
        }
    }
    close_display();
    return 0;
}
