// Wrong: the roof's top is 20 pixels too low, so the picture differs though
// every colour the pixel check looks at is right.
#include "tavlo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    draw_rectangle(Color::Brown, -100, -100, 100, 100, 0);
    draw_triangle(Color::Red, -120, 100, 120, 100, 0, 180, 0);
    draw_rectangle(Color::Blue, -25, -100, 25, 0, 0);
    draw_oval(Color::Yellow, 150, 150, 230, 230, 0);
    int x = 0, y = 0;
    char key = 0;
    while (wait_event(&x, &y, &key) != EventKind::Quit) {
    }
    close_display();
    return 0;
}
