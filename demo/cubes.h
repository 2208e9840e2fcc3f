// The cubes demo's main routine: start-up, the event loop, the hit test and the
// button actions, and the periodic spin.
//
// WinMain is a thin shell over demo_start and demo_turn, so tests can drive the
// demo one event at a time without a real entry point.
#pragma once

#include "random.h"
#include "scene.h"
#include "tavlo.h"

struct ControlState {
    int spin_count_x = 0;  // presses of each spin toggle; odd = spinning
    int spin_count_y = 0;
    int spin_count_z = 0;
    int scale_steps = 0;  // scale-up minus scale-down steps, within -10..10
    int move_dx = 0;      // this turn's move step; back to 0 at every turn's end
    int move_dy = 0;
    bool randomize_pending = false;  // served at the end of the same turn
    bool quit_seen = false;          // the loop runs while false
};

// The result of the hit test: the button under a click.
namespace PanelButton {
enum : int {
    None = 0,
    MoveLeft = 1,
    MoveUp = 2,
    MoveRight = 3,
    MoveDown = 4,
    ScaleUp = 5,
    ScaleDown = 6,
    ChangeColor = 7,
    SpinX = 8,
    SpinY = 9,
    SpinZ = 10,
    Randomize = 11,
};
}

constexpr int scale_step_limit = 10;
constexpr int move_step = 10;

// Everything the main routine owns.
struct Demo {
    Scene scene;
    ControlState control;
    RandomGenerator random;
};

// The button whose open rectangle contains (x, y), canvas coordinates with y
// up, testing the buttons in order 1..11; 0 when none does.
int hit_button(int x, int y);

// color = (color + 1) modulo 24.
void next_color(ColorIndex& color);

// Refills the 8 random offsets: each is the sum of two draws, each modulo 100.
void fill_random_offsets(int random_offsets[random_offset_count], RandomGenerator& random);

// The whole start-up: start values, seed, open_display with the four entry
// values, then demo_prepare.
void demo_start(Demo& demo, HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line,
                int show_command);

// Start-up after open_display: logging off, clear, animate, tables, offsets,
// panel, models and random placement. Expects demo in its start values with a
// seeded generator.
void demo_prepare(Demo& demo);

// One loop turn after wait_event: acts on the event, then runs the tail of the
// turn (move step reset, pending randomize, panel).
void demo_turn(Demo& demo, int kind, int x, int y, char key);

// Parts of a turn, exposed for tests.
void press_button(Demo& demo, int button);  // the button's action and the two draws
void periodic_update(Demo& demo);
void finish_turn(Demo& demo);
