// Snake: steer with the arrow keys, eat the gold squares, do not hit the wall or
// yourself. One step per animation step; Home starts a new game, q quits. It asks
// for the keys without a character with enable_input.
#include <vector>

#include "tavlo.h"

namespace {

constexpr int cell = 15;
constexpr int columns = 36;  // the field: columns x rows cells, centred
constexpr int rows = 28;
constexpr int field_left = -columns * cell / 2;
constexpr int field_bottom = -rows * cell / 2 - 10;

struct Cell {
    int column, row;
    bool operator==(const Cell&) const = default;
};

struct Game {
    std::vector<Cell> body;  // the head first
    Cell direction = {1, 0};
    Cell next_direction = {1, 0};
    Cell food = {0, 0};
    unsigned random = 12345;  // its own generator: the same game on every machine
    int score = 0;
    bool over = false;
};

void fill_cell(Cell c, int color) {
    int left = field_left + c.column * cell, bottom = field_bottom + c.row * cell;
    draw_rectangle(color, left + 1, bottom + 1, left + cell - 1, bottom + cell - 1, 0);
}

void draw_score(const Game& game) {
    draw_rectangle(Color::White, -290, 215, 290, 240, 0);
    print_text(Color::Black, -285, 222, 14, "score %d   arrows steer, Home restarts, q quits%s",
               game.score, game.over ? "   GAME OVER" : "");
}

bool on_body(const Game& game, Cell c) {
    for (const Cell& part : game.body) {
        if (part == c) return true;
    }
    return false;
}

void place_food(Game& game) {
    do {
        game.random = game.random * 1103515245u + 12345u;
        game.food = {int((game.random >> 8) % columns), int((game.random >> 20) % rows)};
    } while (on_body(game, game.food));
    fill_cell(game.food, Color::Gold);
}

void new_game(Game& game) {
    unsigned random = game.random;
    game = Game{};
    game.random = random;
    game.body = {{8, 14}, {7, 14}, {6, 14}};
    clear_canvas();
    int right = field_left + columns * cell, top = field_bottom + rows * cell;
    draw_rectangle(Color::Black, field_left - 1, field_bottom - 1, right + 1, top + 1, 1);
    for (const Cell& part : game.body) fill_cell(part, Color::ForestGreen);
    place_food(game);
    draw_score(game);
}

// Turns to the arrow's direction, but never straight back into the body.
void steer(Game& game, int key) {
    Cell d = game.next_direction;
    if (key == VirtualKey::Left) d = {-1, 0};
    if (key == VirtualKey::Right) d = {1, 0};
    if (key == VirtualKey::Up) d = {0, 1};
    if (key == VirtualKey::Down) d = {0, -1};
    if (d.column != -game.direction.column || d.row != -game.direction.row) game.next_direction = d;
}

void step(Game& game) {
    if (game.over) return;
    game.direction = game.next_direction;
    Cell head = {game.body[0].column + game.direction.column,
                 game.body[0].row + game.direction.row};
    bool outside = head.column < 0 || head.column >= columns || head.row < 0 || head.row >= rows;
    if (outside || on_body(game, head)) {
        game.over = true;
        log_printf("game over, score %d\n", game.score);
        draw_score(game);
        return;
    }
    game.body.insert(game.body.begin(), head);
    fill_cell(head, Color::ForestGreen);
    if (head == game.food) {
        ++game.score;
        place_food(game);
        draw_score(game);
    } else {
        fill_cell(game.body.back(), Color::White);
        game.body.pop_back();
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    enable_input(InputKind::SpecialKeys);
    Game game;
    new_game(game);
    set_animation(AnimationMode::Animate);

    for (;;) {
        int x = 0, y = 0;
        char key = 0;
        int kind = wait_event(&x, &y, &key);
        if (kind == EventKind::Quit || (kind == EventKind::Key && key == 'q')) break;
        if (kind == EventKind::Periodic) step(game);
        if (kind == EventKind::SpecialKey && y == VirtualKey::Home) new_game(game);
        if (kind == EventKind::SpecialKey) steer(game, y);
    }
    close_display();
    return 0;
}
