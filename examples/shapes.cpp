// A small application on the graphics package alone: it draws a few shapes, then
// reports every event in the message log and marks each click with a cross, until
// it is told to quit (the q key, the Run menu's Quit, or closing the window).
#include "tavlo.h"

namespace {

void draw_scene() {
    clear_canvas();
    draw_rectangle(4, -200, 150, -50, 50, 0);
    draw_triangle(3, 0, 150, 100, 50, 150, 150, 0);
    draw_line(2, -250, -100, 250, -100, 3);
    print_text(0, -250, -150, 18, "shapes: click, type, q quits");
}

void mark_click(int x, int y) {
    draw_line(13, x - 5, y - 5, x + 6, y + 6, 1);
    draw_line(13, x - 5, y + 5, x + 6, y - 6, 1);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    draw_scene();
    set_animation(AnimationMode::Animate);

    int frames = 0;
    for (;;) {
        int x = 0, y = 0;
        char key = 0;
        int kind = wait_event(&x, &y, &key);
        if (kind == EventKind::Quit) break;
        if (kind == EventKind::Mouse) {
            log_printf("click at (%d, %d)\n", x, y);
            mark_click(x, y);
        } else if (kind == EventKind::Key) {
            log_printf("key %d\n", key);
            if (key == 'q') set_animation(AnimationMode::Quit);
        } else if (kind == EventKind::Periodic) {
            ++frames;
            draw_rectangle(frames % 24, 200, -150, 250, -200, 0);
        }
    }
    log_printf("%d periodic events\n", frames);
    close_display();
    return 0;
}
