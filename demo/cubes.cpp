// The cubes demo's main routine.
#include "cubes.h"

#include "panel.h"
#include "scene_draw.h"

namespace {

constexpr int color_count = 24;

// An open rectangle: every bound strict.
struct HitRegion {
    int left, right, bottom, top;
};

// Indexed by PanelButton - 1.
constexpr HitRegion hit_regions[] = {
    {-290, -270, 200, 220},  // move left
    {-270, -250, 220, 240},  // move up
    {-250, -230, 200, 220},  // move right
    {-270, -250, 180, 200},  // move down
    {-275, -250, 130, 150},  // scale up (the triangle's base width, up to y 150)
    {-275, -250, 95, 120},   // scale down
    {250, 270, 220, 240},    // change colour
    {250, 270, 160, 180},    // spin X
    {250, 270, 130, 150},    // spin Y
    {250, 270, 100, 120},    // spin Z
    {-45, 45, 220, 240},     // randomize
};

void draw_scene(const Scene& scene) {
    draw_cubes(scene.cube_screen, scene.cube_color);
    draw_letter(scene.letter_screen);
}

// Rebuilds the cubes from the model with the current factors, angles and
// offsets. The letter keeps its last projected pose.
void recompute_cubes(Demo& demo) {
    Scene& s = demo.scene;
    build_model(s.cube_points, s.cube_model, s.letter_points, s.letter_model);
    scale_points(s.cube_points, s.cube_model, s.scale_x, s.scale_y, s.scale_z);
    rotate_points(s.sin_table, s.cos_table, s.cube_angle_x, s.cube_angle_y, s.cube_angle_z,
                  s.cube_points, s.cube_model, CubeMode);
    place_cubes(s.cube_points, s.cube_model, s.random_offsets, 1, demo.random);
    project_points(s.cube_screen, s.cube_points, s.move_offsets, CubeMode);
}

// One scale step (+1 or -1) while within the limits: clear, change the factors
// by 0.1, recompute the cubes and draw the scene.
void scale_step(Demo& demo, int direction) {
    ControlState& c = demo.control;
    if (direction > 0 ? c.scale_steps >= scale_step_limit : c.scale_steps <= -scale_step_limit) {
        return;
    }
    clear_canvas();
    c.scale_steps += direction;
    const double change = direction > 0 ? 0.1 : -0.1;
    demo.scene.scale_x += change;
    demo.scene.scale_y += change;
    demo.scene.scale_z += change;
    recompute_cubes(demo);
    draw_scene(demo.scene);
}

// A move press: clear and add this turn's step to the move offsets. The cubes
// show the move at the next recomputation.
void move_step_by(Demo& demo, int dx, int dy) {
    ControlState& c = demo.control;
    clear_canvas();
    if (dx != 0) {
        c.move_dx += dx;
        move_points(demo.scene.move_offsets, c.move_dx, 0);
    } else {
        c.move_dy += dy;
        move_points(demo.scene.move_offsets, 0, c.move_dy);
    }
}

// One axis of the cube spin: a step of one degree while the count is odd.
void spin_axis(int count, int& angle) {
    if (count % 2 != 1) return;
    angle += 1;
    if (angle == degrees) angle = 0;
}

void turn_letter(int& angle) {
    angle += 10;
    if (angle == degrees) angle = 0;
}

}  // namespace

int hit_button(int x, int y) {
    int button = PanelButton::MoveLeft;
    for (const HitRegion& r : hit_regions) {
        if (r.left < x && x < r.right && r.bottom < y && y < r.top) return button;
        ++button;
    }
    return PanelButton::None;
}

void next_color(ColorIndex& color) {
    const int next = (color + 1) % color_count;
    color = next < 0 ? next + color_count : next;
}

void fill_random_offsets(int random_offsets[random_offset_count], RandomGenerator& random) {
    for (int k = 0; k < random_offset_count; ++k) {
        const int first = random_value(random) % 100;
        random_offsets[k] = first + random_value(random) % 100;
    }
}

void demo_start(Demo& demo, HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line,
                int show_command) {
    demo = Demo{};
    seed_random(demo.random);
    open_display(instance, previous_instance, command_line, show_command);
    demo_prepare(demo);
}

void demo_prepare(Demo& demo) {
    Scene& s = demo.scene;
    set_logging(0);
    clear_canvas();
    set_animation(AnimationMode::Animate);
    fill_trig_tables(s.sin_table, s.cos_table);
    for (int& offset : s.move_offsets) offset = 0;
    fill_random_offsets(s.random_offsets, demo.random);
    draw_panel(0, 0, 0);
    build_model(s.cube_points, s.cube_model, s.letter_points, s.letter_model);
    place_cubes(s.cube_points, s.cube_model, s.random_offsets, 0, demo.random);
    demo.control.quit_seen = false;
}

void press_button(Demo& demo, int button) {
    ControlState& c = demo.control;
    switch (button) {
        case PanelButton::MoveLeft: move_step_by(demo, -move_step, 0); break;
        case PanelButton::MoveUp: move_step_by(demo, 0, move_step); break;
        case PanelButton::MoveRight: move_step_by(demo, move_step, 0); break;
        case PanelButton::MoveDown: move_step_by(demo, 0, -move_step); break;
        case PanelButton::ScaleUp: scale_step(demo, 1); break;
        case PanelButton::ScaleDown: scale_step(demo, -1); break;
        case PanelButton::ChangeColor: next_color(demo.scene.cube_color); break;
        case PanelButton::SpinX: c.spin_count_x += 1; break;
        case PanelButton::SpinY: c.spin_count_y += 1; break;
        case PanelButton::SpinZ: c.spin_count_z += 1; break;
        case PanelButton::Randomize: c.randomize_pending = true; break;
        default: break;
    }
    // Every click, on a button or not, draws the scene again.
    draw_scene(demo.scene);
}

void periodic_update(Demo& demo) {
    Scene& s = demo.scene;
    const ControlState& c = demo.control;
    clear_canvas();
    spin_axis(c.spin_count_x, s.cube_angle_x);
    spin_axis(c.spin_count_y, s.cube_angle_y);
    spin_axis(c.spin_count_z, s.cube_angle_z);
    turn_letter(s.letter_angle_x);
    turn_letter(s.letter_angle_y);
    // The cubes as a scale step rebuilds them, then the letter from the model
    // that rebuild restored, turned to its new angles.
    recompute_cubes(demo);
    rotate_points(s.sin_table, s.cos_table, s.letter_angle_x, s.letter_angle_y, s.letter_angle_z,
                  s.letter_points, s.letter_model, LetterMode);
    project_points(s.letter_screen, s.letter_points, s.letter_points, LetterMode);
    draw_scene(s);
}

void finish_turn(Demo& demo) {
    ControlState& c = demo.control;
    c.move_dx = 0;
    c.move_dy = 0;
    if (c.randomize_pending) {
        // New placement values and signs; they show at the next recomputation.
        fill_random_offsets(demo.scene.random_offsets, demo.random);
        c.randomize_pending = false;
        place_cubes(demo.scene.cube_points, demo.scene.cube_model, demo.scene.random_offsets, 0,
                    demo.random);
    }
    draw_panel(c.spin_count_x, c.spin_count_y, c.spin_count_z);
}

void demo_turn(Demo& demo, int kind, int x, int y, char key) {
    switch (kind) {
        case EventKind::Mouse: press_button(demo, hit_button(x, y)); break;
        case EventKind::Periodic: periodic_update(demo); break;
        case EventKind::Quit: demo.control.quit_seen = true; break;
        default: break;  // keys and anything else: nothing but the panel
    }
    finish_turn(demo);
}

// The program's entry: start-up, one turn per event until the quit event, then
// close the display.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line,
                   int show_command) {
    // Static: the scene's arrays are large for a stack frame, and live as long as the run.
    static Demo demo;
    demo_start(demo, instance, previous_instance, command_line, show_command);
    while (!demo.control.quit_seen) {
        int x = 0, y = 0;
        char key = 0;
        const int kind = wait_event(&x, &y, &key);
        demo_turn(demo, kind, x, y, key);
    }
    close_display();
    return 0;
}
