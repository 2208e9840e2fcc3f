// The model solution of the house task: the wall, the roof, the door and the
// sun, then waiting until the window is closed.
#include "tavlo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    draw_rectangle(Color::Brown, -100, -100, 100, 100, 0);
    draw_triangle(Color::Red, -120, 100, 120, 100, 0, 200, 0);
    draw_rectangle(Color::Blue, -25, -100, 25, 0, 0);
    draw_oval(Color::Yellow, 150, 150, 230, 230, 0);
    int x = 0, y = 0;
    char key = 0;
    while (wait_event(&x, &y, &key) != EventKind::Quit) {
    }
    close_display();
    return 0;
}
