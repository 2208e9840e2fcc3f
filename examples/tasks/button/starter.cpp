// The button: draw it, then answer clicks and keys until q.
#include "tavlo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    // draw the button here

    int x = 0, y = 0;
    char key = 0;
    while (wait_event(&x, &y, &key) != EventKind::Quit) {
        // answer clicks (EventKind::Mouse) and keys (EventKind::Key) here
    }
    close_display();
    return 0;
}
