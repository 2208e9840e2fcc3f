// An application that opens its display a second time while it is open, then
// closes it and opens a fresh one: the first display shows a red square, the
// fresh one a green square. With the argument "fresh-only" it shows only the
// green display, as the picture the two-display run must end with.
#include <cstring>

#include "tavlo.h"

namespace {

void run_display(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show,
                 ColorIndex colour) {
    open_display(instance, previous, command_line, show);
    open_display(instance, previous, command_line, show);  // already open: nothing changes
    set_logging(0);
    clear_canvas();
    draw_rectangle(colour, -50, -50, 50, 50, 0);
    set_animation(AnimationMode::Animate);
    int x = 0, y = 0;
    char key = 0;
    while (wait_event(&x, &y, &key) != EventKind::Quit) {
    }
    close_display();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    if (std::strcmp(command_line, "fresh-only") != 0)
        run_display(instance, previous, command_line, show, Color::Red);
    run_display(instance, previous, command_line, show, Color::Green);
    return 0;
}
