// Paddle: a ball bounces off three walls and a paddle that the arrow keys move
// for as long as they are held (key_held), at 60 frames a second
// (set_frame_rate) for smooth motion. A missed ball comes back from the top;
// the space bar pauses, q quits.
#include "tavlo.h"

namespace {

constexpr int paddle_half = 45, paddle_top = -200, paddle_speed = 7;
constexpr int ball_half = 7;
constexpr int wall_left = -285, wall_right = 285, wall_top = 225, floor_y = -260;

struct Game {
    int paddle = 0;
    int x = -100, y = 120, dx = 4, dy = -5;
    int hits = 0, misses = 0;
};

void move_paddle(Game& game) {
    if (key_held(VirtualKey::Left)) game.paddle -= paddle_speed;
    if (key_held(VirtualKey::Right)) game.paddle += paddle_speed;
    if (game.paddle < wall_left + paddle_half) game.paddle = wall_left + paddle_half;
    if (game.paddle > wall_right - paddle_half) game.paddle = wall_right - paddle_half;
}

void move_ball(Game& game) {
    game.x += game.dx;
    game.y += game.dy;
    if (game.x - ball_half < wall_left || game.x + ball_half > wall_right) game.dx = -game.dx;
    if (game.y + ball_half > wall_top) game.dy = -game.dy;
    const bool over_paddle = game.x + ball_half >= game.paddle - paddle_half &&
                             game.x - ball_half <= game.paddle + paddle_half;
    if (game.dy < 0 && over_paddle && game.y - ball_half <= paddle_top &&
        game.y - ball_half > paddle_top + game.dy) {
        game.dy = -game.dy;
        ++game.hits;
    }
    if (game.y < floor_y) {
        ++game.misses;
        game = Game{game.paddle, -100, 120, 4, -5, game.hits, game.misses};
    }
}

void draw(const Game& game) {
    clear_canvas();
    draw_line(Color::Gray50, wall_left, wall_top, wall_right, wall_top, 1);
    draw_rectangle(Color::NavyBlue, game.paddle - paddle_half, paddle_top,
                   game.paddle + paddle_half, paddle_top - 10, 0);
    draw_oval(Color::Red, game.x - ball_half, game.y - ball_half, game.x + ball_half,
              game.y + ball_half, 0);
    print_text(Color::Gray50, -280, 229, 14,
               "hits %d   misses %d      arrows move, space pauses, q quits", game.hits,
               game.misses);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show_command) {
    open_display(instance, previous, command_line, show_command);
    set_logging(0);
    set_frame_rate(60);
    set_animation(AnimationMode::Animate);
    Game game;
    bool paused = false;
    draw(game);
    int frames = 0;
    for (;;) {
        int x = 0, y = 0;
        char key = 0;
        const int kind = wait_event(&x, &y, &key);
        if (kind == EventKind::Quit || (kind == EventKind::Key && key == 'q')) break;
        if (kind == EventKind::Key && key == ' ') {
            paused = !paused;
            set_animation(paused ? AnimationMode::Halt : AnimationMode::Animate);
        }
        if (kind != EventKind::Periodic) continue;
        ++frames;
        move_paddle(game);
        move_ball(game);
        draw(game);
    }
    log_printf("%d frames, %d hits, %d misses\n", frames, game.hits, game.misses);
    close_display();
    return 0;
}
