// What the frame benchmarks share: an off-screen canvas for the package to draw
// on, and the demo at the fixed pose every measured turn starts from.
#pragma once

#include <algorithm>
#include <memory>

#include "cubes.h"
#include "fresh_state.h"
#include "package_state.h"

struct OffscreenCanvas {
    OffscreenCanvas() { fresh_state::open_offscreen_canvas(); }
    ~OffscreenCanvas() { reset_package_state(); }
};

// One complete periodic turn of the demo at a fixed pose: clear, recompute the
// scene from its models, draw the cubes, the letter and the panel (657 calls).
struct FramePose {
    std::unique_ptr<Demo> demo = std::make_unique<Demo>();
    FramePose() { fill_trig_tables(demo->scene.sin_table, demo->scene.cos_table); }
    void turn() {
        static const int offsets[random_offset_count] = {100, 50, 20, 10, 0, 0, 0, 0};
        Scene& s = demo->scene;
        s.cube_angle_x = 30;
        s.cube_angle_y = 45;
        s.cube_angle_z = 10;
        s.letter_angle_x = s.letter_angle_y = 30;  // the turn advances them to 40
        std::copy(offsets, offsets + random_offset_count, s.random_offsets);
        periodic_update(*demo);
        finish_turn(*demo);
    }
};
