// Drag to draw: hold the left button and move the mouse to draw a line that
// follows it; the right button changes the pen's colour. The c key clears the
// canvas, q quits. It asks for mouse movement, button releases and the right
// button with enable_input; every other program gets none of these events.
#include "tavlo.h"

namespace {

constexpr int pens[] = {Color::Blue, Color::Red, Color::ForestGreen, Color::Orange};
constexpr int pen_count = sizeof(pens) / sizeof(pens[0]);
constexpr int pen_width = 3;

void draw_help(int pen) {
    draw_rectangle(Color::White, -290, 215, 290, 240, 0);
    draw_rectangle(pens[pen], -285, 222, -265, 236, 0);
    draw_text(Color::Black, -255, 222, 14,
              "drag to draw, right click: next colour, c clears, q quits");
}

void start_page(int pen) {
    clear_canvas();
    draw_help(pen);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    enable_input(InputKind::MouseMovement | InputKind::MouseRelease | InputKind::RightButton);
    int pen = 0;
    bool drawing = false;  // the left button went down on the canvas and is still held
    int last_x = 0, last_y = 0;
    int strokes = 0;
    start_page(pen);

    for (;;) {
        int x = 0, y = 0;
        char key = 0;
        int kind = wait_event(&x, &y, &key);
        if (kind == EventKind::Quit || (kind == EventKind::Key && key == 'q')) break;
        switch (kind) {
            case EventKind::Mouse:
                drawing = true;
                last_x = x;
                last_y = y;
                draw_pixel(pens[pen], x, y);
                break;
            case EventKind::MouseMove:
                // A move with the left button held is a drag; without, it only
                // ends a stroke whose release happened outside the window.
                if ((key & MouseButton::Left) == 0) drawing = false;
                if (!drawing) break;
                draw_line(pens[pen], last_x, last_y, x, y, pen_width);
                last_x = x;
                last_y = y;
                break;
            case EventKind::MouseUp:
                if (key == MouseButton::Left && drawing) {
                    draw_line(pens[pen], last_x, last_y, x, y, pen_width);
                    drawing = false;
                    ++strokes;
                }
                break;
            case EventKind::RightMouse:
                pen = (pen + 1) % pen_count;
                draw_help(pen);
                break;
            case EventKind::Key:
                if (key == 'c') start_page(pen);
                break;
            default: break;
        }
    }
    log_printf("%d strokes\n", strokes);
    close_display();
    return 0;
}
