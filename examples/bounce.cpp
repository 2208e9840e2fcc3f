// A bouncing ball driven by periodic events: set_animation(Animate) asks for one
// periodic event at every tick of the 50 ms timer (at most every other tick when
// nothing else happens), and each one moves the ball a step and redraws the
// canvas. A click puts the ball where it was clicked; the space bar halts and
// restarts the animation; q quits.
#include "tavlo.h"

namespace {

constexpr int half_size = 12;
// The walls the ball bounces off, inside the canvas's frame.
constexpr int wall_left = -280, wall_right = 280, wall_bottom = -220, wall_top = 220;

constexpr int trail_length = 12;

struct Ball {
    int x = -150, y = 100;
    int dx = 9, dy = -6;
    int bounces = 0;
    // Where the ball was in the last frames, oldest first.
    int trail_x[trail_length] = {}, trail_y[trail_length] = {};
    int trail_used = 0;
};

void remember_position(Ball& ball) {
    if (ball.trail_used == trail_length) {
        for (int i = 1; i < trail_length; ++i) {
            ball.trail_x[i - 1] = ball.trail_x[i];
            ball.trail_y[i - 1] = ball.trail_y[i];
        }
        --ball.trail_used;
    }
    ball.trail_x[ball.trail_used] = ball.x;
    ball.trail_y[ball.trail_used] = ball.y;
    ++ball.trail_used;
}

void bounce_off_walls(Ball& ball) {
    if (ball.x - half_size < wall_left || ball.x + half_size > wall_right) {
        ball.dx = -ball.dx;
        ball.x += 2 * ball.dx;
        ++ball.bounces;
    }
    if (ball.y - half_size < wall_bottom || ball.y + half_size > wall_top) {
        ball.dy = -ball.dy;
        ball.y += 2 * ball.dy;
        ++ball.bounces;
    }
}

void step(Ball& ball) {
    remember_position(ball);
    ball.x += ball.dx;
    ball.y += ball.dy;
    bounce_off_walls(ball);
}

// The ball is an octagon of two triangles and a rectangle, with a highlight.
void draw_ball(const Ball& ball) {
    int x = ball.x, y = ball.y, r = half_size, c = half_size / 2;
    draw_rectangle(Color::Orange, x - r, y - c, x + r, y + c, 0);
    draw_triangle(Color::Orange, x - c, y + r, x + c, y + r, x + r, y + c, 0);
    draw_triangle(Color::Orange, x - c, y + r, x - r, y + c, x + r, y + c, 0);
    draw_triangle(Color::Orange, x - c, y - r, x + c, y - r, x + r, y - c, 0);
    draw_triangle(Color::Orange, x - c, y - r, x - r, y - c, x + r, y - c, 0);
    draw_rectangle(Color::Yellow, x - c, y + 1, x - 2, y + c - 1, 0);
}

void draw_frame(const Ball& ball, int frames) {
    clear_canvas();
    draw_rectangle(Color::SeaGreen, wall_left, wall_bottom, wall_right, wall_top, 2);
    for (int i = 0; i < ball.trail_used; ++i) {
        int x = ball.trail_x[i], y = ball.trail_y[i];
        draw_rectangle(i < trail_length / 2 ? Color::Gray20 : Color::Peach, x - 2, y - 2, x + 2,
                       y + 2, 0);
    }
    draw_ball(ball);
    print_text(Color::Gray50, wall_left + 6, wall_bottom + 8, 14, "frame %d, %d bounces", frames,
               ball.bounces);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    Ball ball;
    int frames = 0;
    bool running = true;
    draw_frame(ball, frames);
    set_animation(AnimationMode::Animate);

    for (;;) {
        int x = 0, y = 0;
        char key = 0;
        int kind = wait_event(&x, &y, &key);
        if (kind == EventKind::Quit) break;
        if (kind == EventKind::Periodic) {
            step(ball);
            draw_frame(ball, ++frames);
        } else if (kind == EventKind::Mouse) {
            ball.x = x;
            ball.y = y;
            ball.trail_used = 0;
            draw_frame(ball, frames);
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
