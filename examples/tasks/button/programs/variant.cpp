// A correct button written another way: a switch on the event, the button's
// colour kept in a variable and drawn after every event, and q ending the loop
// through a flag.
#include "tavlo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    const int left = 50, bottom = 50, right = 150, top = 150;
    ColorIndex color = Color::Gray50;
    int x = 0, y = 0;
    char key = 0;
    int kind = 0;
    bool running = true;
    do {
        switch (kind) {
            case EventKind::Mouse:
                if (left <= x && x <= right && bottom <= y && y <= top) {
                    color = Color::Green;
                    log_printf("%s\n", "clicked");
                }
                break;
            case EventKind::Key:
                if (key == 'r') {
                    color = Color::Red;
                    log_printf("key %c\n", key);
                }
                if (key == 'q') running = false;
                break;
        }
        draw_rectangle(color, right, top, left, bottom, 0);
        if (running) kind = wait_event(&x, &y, &key);
    } while (running && kind != EventKind::Quit);
    close_display();
    return 0;
}
