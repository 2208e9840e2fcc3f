// The demo's scene: three hollow cube frames and a small letter R, as integer
// point arrays, with the operations that rebuild, scale, rotate, place, move and
// project them.
//
// A point array stores point p as ints 3p (x), 3p + 1 (y) and 3p + 2 (z), in
// canvas units (origin at the canvas centre, y up). A cube array holds 160 points
// in four slots of 40: slot s is points 40s..40s + 39. Slots 1..3 are the visible
// cubes; slot 0 is computed like them but never placed or drawn. Every product of
// a coordinate with a double is truncated toward zero at once.
#pragma once

#include "random.h"
#include "tavlo.h"

constexpr int cube_vertex_count = 40;
constexpr int cube_slot_count = 4;
constexpr int cube_point_count = cube_vertex_count * cube_slot_count;  // 160
constexpr int cube_int_count = 3 * cube_point_count;                   // 480
constexpr int cube_model_int_count = 3 * cube_vertex_count;            // 120
constexpr int letter_point_count = 32;
constexpr int letter_int_count = 3 * letter_point_count;  // 96
constexpr int random_offset_count = 8;
constexpr int degrees = 360;

// The hollow cube frame: edge 100 centred on the origin, a 60 x 60 opening
// through every face; 40 vertices as x, y, z.
extern const int CubeFrameModel[cube_model_int_count];
// The letter R, 20 high and 8 wide: points 0..15 at z = 3, point p + 16 is point
// p at z = -3.
extern const int LetterModel[letter_int_count];

// Selects the arrays rotate_points and project_points work on.
enum PointMode : int {
    CubeMode = 0,    // cube arrays, 160 points
    LetterMode = 1,  // letter arrays, 32 points
};

struct Scene {
    int cube_points[cube_int_count] = {};      // rotated, then placed
    int cube_model[cube_int_count] = {};       // rebuilt, scaled, placed; rotation source
    int letter_points[letter_int_count] = {};  // rotated letter
    int letter_model[letter_int_count] = {};   // letter rotation source
    int move_offsets[cube_int_count] = {};     // added by the cube projection
    int random_offsets[random_offset_count] = {};
    int cube_screen[cube_int_count] = {};      // projected cubes (zero until computed)
    int letter_screen[letter_int_count] = {};  // projected letter (zero until computed)
    double sin_table[degrees] = {};
    double cos_table[degrees] = {};
    double scale_x = 1.0;
    double scale_y = 1.0;
    double scale_z = 1.0;
    ColorIndex cube_color = 23;
    int cube_angle_x = 0;
    int cube_angle_y = 0;
    int cube_angle_z = 0;
    int letter_angle_x = 0;
    int letter_angle_y = 0;
    int letter_angle_z = 0;
};

// Fills both tables for the whole degrees 0..359, with pi taken as the decimal
// 3.14159265359 and the angle formed as (d * pi) / 180. So cos 90 and sin 180 are
// tiny non-zero values, which the truncations make visible.
void fill_trig_tables(double sin_table[degrees], double cos_table[degrees]);

// Resets both cube arrays (every slot = CubeFrameModel) and both letter arrays
// (= LetterModel).
void build_model(int cube_points[cube_int_count], int cube_model[cube_int_count],
                 int letter_points[letter_int_count], int letter_model[letter_int_count]);

// Adds dx to x and dy to y of all 160 points of a cube array; z unchanged.
void move_points(int points[cube_int_count], int dx, int dy);

// Scales every point of both cube arrays: x = T(x * sx), y = T(y * sy), z = T(z * sz).
void scale_points(int cube_points[cube_int_count], int cube_model[cube_int_count], double sx,
                  double sy, double sz);

// Rotates every source point about x by ax, then y by ay, then z by az (whole
// degrees, taken modulo 360) into destination, truncating after each axis.
// destination and source must be distinct arrays of the mode's size.
void rotate_points(const double sin_table[degrees], const double cos_table[degrees], int ax, int ay,
                   int az, int* destination, const int* source, int mode);

// Adds the random offsets to slots 1..3 of both cube arrays: slot s moves by
// entry s - 1 in x and entry s in y. With keep_signs 0 it first draws, per slot,
// two values from random: an even first value negates entry s, a second value
// divisible by 3 negates entry s + 1. The negations stay in random_offsets.
void place_cubes(int cube_points[cube_int_count], int cube_model[cube_int_count],
                 int random_offsets[random_offset_count], int keep_signs, RandomGenerator& random);

// CubeMode: output[i] = points[i] + offsets[i] for all 480 ints, z included.
// LetterMode: output x = x - 237, output y = y - 220 for the 32 points; the z ints
// of output are left alone and offsets is not read (it may be null).
void project_points(int* output, const int* points, const int* offsets, int mode);
