// The control panel: the on-screen buttons drawn over the scene.
//
// Upper left, a cross of four move boxes and two scale triangles; upper right,
// the colour box and three spin toggles beside outlined letters X, Y, Z; top
// centre, the randomize box; lower left, two credit lines. The panel keeps no
// state: only the toggles' look depends on the input.
#pragma once

enum SpinAxis : int {
    AxisX = 0,
    AxisY = 1,
    AxisZ = 2,
};

enum ToggleLook : int {
    ToggleOff = 0,  // dark left and bottom bevel, light face
    ToggleOn = 1,   // the grays exchanged, the letter filled
};

// Draws the whole panel without clearing: 104 drawing calls with all toggles
// off, 152 with all on. A toggle is on when its spin count is odd.
void draw_panel(int count_x, int count_y, int count_z);

// Draws one 20 x 20 bevelled toggle left of its letter in 15 drawing calls; the
// on look then fills the letter and draws its outline again on top (16 more
// calls for each letter). An axis outside X..Z draws nothing.
void draw_spin_toggle(int axis, int look);
