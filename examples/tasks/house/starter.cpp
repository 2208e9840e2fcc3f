// The house: draw it here, then wait until the window is closed.
#include "tavlo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    // your drawing

    int x = 0, y = 0;
    char key = 0;
    while (wait_event(&x, &y, &key) != EventKind::Quit) {
    }
    close_display();
    return 0;
}
