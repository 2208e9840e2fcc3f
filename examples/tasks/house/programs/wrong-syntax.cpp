// Wrong: does not compile (a missing semicolon and an undeclared colour).
#include "tavlo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show)
        draw_rectangle(Color::Maroon, -100, -100, 100, 100, 0);
    int x = 0, y = 0;
    char key = 0;
    while (wait_event(&x, &y, &key) != EventKind::Quit) {
    }
    return 0;
}
