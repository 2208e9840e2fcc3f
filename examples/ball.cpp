// A ball that bounces off the edges of the graphics window, wherever they are:
// visible_area says which part of the canvas the window shows (it depends on the
// window's size, --client WxH in a headless run), and the ball is an oval drawn
// with draw_oval. A trail of pixels follows it. A click moves the ball there, the
// space bar halts and restarts it, q quits.
#include <algorithm>
#include <cstdio>

#include "tavlo.h"

namespace {

constexpr int radius = 14;
constexpr int trail_length = 40;

struct Area {
    int left, bottom, right, top;
};

struct Ball {
    int x = 0, y = 0;
    int dx = 11, dy = 8;
    int bounces = 0;
    int trail_x[trail_length] = {}, trail_y[trail_length] = {};
    int trail_used = 0;
};

// Keeps the ball inside the frame (one pixel inside the visible area), mirroring
// it off any edge it has passed.
void bounce(Ball& ball, const Area& area) {
    int low_x = area.left + 1 + radius, high_x = area.right - 1 - radius;
    int low_y = area.bottom + 1 + radius, high_y = area.top - 1 - radius;
    if (ball.x < low_x || ball.x > high_x) {
        ball.x = ball.x < low_x ? 2 * low_x - ball.x : 2 * high_x - ball.x;
        ball.dx = -ball.dx;
        ++ball.bounces;
    }
    if (ball.y < low_y || ball.y > high_y) {
        ball.y = ball.y < low_y ? 2 * low_y - ball.y : 2 * high_y - ball.y;
        ball.dy = -ball.dy;
        ++ball.bounces;
    }
    // A window too small for the ball keeps it in the middle.
    ball.x = low_x <= high_x ? std::clamp(ball.x, low_x, high_x) : (area.left + area.right) / 2;
    ball.y = low_y <= high_y ? std::clamp(ball.y, low_y, high_y) : (area.bottom + area.top) / 2;
}

void step(Ball& ball, const Area& area) {
    if (ball.trail_used == trail_length) {
        std::copy(ball.trail_x + 1, ball.trail_x + trail_length, ball.trail_x);
        std::copy(ball.trail_y + 1, ball.trail_y + trail_length, ball.trail_y);
        --ball.trail_used;
    }
    ball.trail_x[ball.trail_used] = ball.x;
    ball.trail_y[ball.trail_used] = ball.y;
    ++ball.trail_used;
    ball.x += ball.dx;
    ball.y += ball.dy;
    bounce(ball, area);
}

void draw_frame(const Ball& ball, const Area& area, int frames) {
    clear_canvas();
    draw_rectangle(Color::SeaGreen, area.left, area.bottom, area.right, area.top, 1);
    for (int i = 0; i < ball.trail_used; ++i) {
        draw_pixel(Color::NavyBlue, ball.trail_x[i], ball.trail_y[i]);
        draw_pixel(Color::NavyBlue, ball.trail_x[i] + 1, ball.trail_y[i]);
    }
    int x = ball.x, y = ball.y;
    draw_oval(Color::Gray20, x - radius + 4, y - radius + 2, x + radius + 4, y - radius - 4, 0);
    draw_oval(Color::Orange, x - radius, y + radius, x + radius, y - radius, 0);
    draw_oval(Color::Brown, x - radius, y + radius, x + radius, y - radius, 2);
    draw_oval(Color::Chalk, x - 8, y + 9, x - 2, y + 4, 0);

    // The status line in the bottom-right corner, placed with its measured size.
    char status[64];
    int width = 0, height = 0;
    std::snprintf(status, sizeof status, "frame %d, %d bounces", frames, ball.bounces);
    text_size(14, status, &width, &height);
    draw_text(Color::Gray50, area.right - 6 - width, area.bottom + 4, 14, status);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    Area area;
    visible_area(&area.left, &area.bottom, &area.right, &area.top);
    log_printf("visible area: x %d to %d, y %d to %d\n", area.left, area.right, area.bottom,
               area.top);
    Ball ball;
    int frames = 0;
    bool running = true;
    draw_frame(ball, area, frames);
    set_animation(AnimationMode::Animate);

    for (;;) {
        int x = 0, y = 0;
        char key = 0;
        int kind = wait_event(&x, &y, &key);
        if (kind == EventKind::Quit) break;
        if (kind == EventKind::Periodic) {
            step(ball, area);
            draw_frame(ball, area, ++frames);
        } else if (kind == EventKind::Mouse) {
            ball.x = x;
            ball.y = y;
            ball.trail_used = 0;
            bounce(ball, area);
            draw_frame(ball, area, frames);
        } else if (kind == EventKind::Key && key == ' ') {
            running = !running;
            set_animation(running ? AnimationMode::Animate : AnimationMode::Halt);
        } else if (kind == EventKind::Key && key == 'q') {
            break;
        }
    }
    log_printf("%d frames, %d bounces\n", frames, ball.bounces);
    close_display();
    return 0;
}
