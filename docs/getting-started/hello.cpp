// Your first application: a house, a greeting, and a green dot at every click.
#include "tavlo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);  // the call log of the drawing calls starts on
    clear_canvas();  // white, inside a black frame
    log_printf("hello on TAVLO %s\n", TAVLO_VERSION_STRING);

    draw_rectangle(Color::Brown, -100, -150, 100, 0, 0);    // the walls
    draw_triangle(Color::Red, -120, 0, 120, 0, 0, 110, 0);  // the roof
    draw_rectangle(Color::Yellow, -25, -150, 25, -70, 0);   // the door
    draw_text(Color::NavyBlue, -110, 180, 28, "Hello, TAVLO!");

    int x = 0, y = 0, kind = 0;
    char key = 0;
    while ((kind = wait_event(&x, &y, &key)) != EventKind::Quit) {
        if (kind == EventKind::Mouse) draw_rectangle(Color::Green, x - 4, y - 4, x + 4, y + 4, 0);
        if (kind == EventKind::Key && key == 'q') break;
    }
    close_display();
    return 0;
}
