// The demo's scene: model tables and the geometry operations on point arrays.
#include "scene.h"

#include <cmath>
#include <initializer_list>
#include <limits>

// clang-format off
const int CubeFrameModel[cube_model_int_count] = {
    -50,  50,  50,   -50, -50,  50,    50,  50,  50,    50, -50,  50,  // 0-3 outer corners
    -30,  30,  50,   -30, -30,  50,    30,  30,  50,    30, -30,  50,  // 4-7 opening z = +50
    -50,  30,  30,   -50, -30,  30,                                    // 8-9 opening x = -50
    -30,  50,  30,   -30, -50,  30,                                    // 10-11 openings y = +-50
    -30,  30,  30,   -30, -30,  30,    30,  30,  30,    30, -30,  30,  // 12-15 cavity corners
     30,  50,  30,    30, -50,  30,                                    // 16-17 openings y = +-50
     50,  30,  30,    50, -30,  30,                                    // 18-19 opening x = +50
    -50,  50, -50,   -50, -50, -50,    50,  50, -50,    50, -50, -50,  // 20-23 outer corners
    -30,  30, -50,   -30, -30, -50,    30,  30, -50,    30, -30, -50,  // 24-27 opening z = -50
    -50,  30, -30,   -50, -30, -30,                                    // 28-29 opening x = -50
    -30,  50, -30,   -30, -50, -30,                                    // 30-31 openings y = +-50
    -30,  30, -30,   -30, -30, -30,    30,  30, -30,    30, -30, -30,  // 32-35 cavity corners
     30,  50, -30,    30, -50, -30,                                    // 36-37 openings y = +-50
     50,  30, -30,    50, -30, -30,                                    // 38-39 opening x = +50
};

const int LetterModel[letter_int_count] = {
    // front, z = 3: outer outline 0-10, then the hole 11-15
    -4,  10, 3,   -4, -10, 3,   -1, -10, 3,   -1,  -2, 3,    1, -10, 3,    4, -10, 3,
     2,  -2, 3,    3,   0, 3,    4,   4, 3,    3,   8, 3,    0,  10, 3,
    -1,   8, 3,   -1,   0, 3,    0,   1, 3,    1,   4, 3,    0,   7, 3,
    // back, z = -3
    -4,  10, -3,  -4, -10, -3,  -1, -10, -3,  -1,  -2, -3,   1, -10, -3,   4, -10, -3,
     2,  -2, -3,   3,   0, -3,   4,   4, -3,   3,   8, -3,   0,  10, -3,
    -1,   8, -3,  -1,   0, -3,   0,   1, -3,   1,   4, -3,   0,   7, -3,
};
// clang-format on

namespace {

// The letter's origin on the canvas.
constexpr int letter_origin_x = -237;
constexpr int letter_origin_y = -220;

// Truncation toward zero. Values outside the int range (never met with the
// demo's own numbers) saturate instead of being undefined; NaN gives 0.
int truncate(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

// A table index for any whole-degree angle; the demo only passes 0..359.
int degree_index(int angle) {
    int index = angle % degrees;
    return index < 0 ? index + degrees : index;
}

// Adds (dx, dy) to the 40 points of one slot.
void offset_slot(int points[cube_int_count], int slot, int dx, int dy) {
    int* first = points + slot * cube_model_int_count;
    for (int v = 0; v < cube_vertex_count; ++v) {
        first[3 * v] += dx;
        first[3 * v + 1] += dy;
    }
}

}  // namespace

void fill_trig_tables(double sin_table[degrees], double cos_table[degrees]) {
    const double pi = 3.14159265359;
    for (int d = 0; d < degrees; ++d) {
        double radians = (d * pi) / 180.0;
        sin_table[d] = std::sin(radians);
        cos_table[d] = std::cos(radians);
    }
}

void build_model(int cube_points[cube_int_count], int cube_model[cube_int_count],
                 int letter_points[letter_int_count], int letter_model[letter_int_count]) {
    for (int i = 0; i < cube_int_count; ++i) {
        cube_points[i] = CubeFrameModel[i % cube_model_int_count];
        cube_model[i] = CubeFrameModel[i % cube_model_int_count];
    }
    for (int i = 0; i < letter_int_count; ++i) {
        letter_points[i] = LetterModel[i];
        letter_model[i] = LetterModel[i];
    }
}

void move_points(int points[cube_int_count], int dx, int dy) {
    for (int p = 0; p < cube_point_count; ++p) {
        points[3 * p] += dx;
        points[3 * p + 1] += dy;
    }
}

void scale_points(int cube_points[cube_int_count], int cube_model[cube_int_count], double sx,
                  double sy, double sz) {
    for (int p = 0; p < cube_point_count; ++p) {
        for (int* point : {cube_points + 3 * p, cube_model + 3 * p}) {
            point[0] = truncate(point[0] * sx);
            point[1] = truncate(point[1] * sy);
            point[2] = truncate(point[2] * sz);
        }
    }
}

void rotate_points(const double sin_table[degrees], const double cos_table[degrees], int ax, int ay,
                   int az, int* destination, const int* source, int mode) {
    const int count = mode == CubeMode ? cube_point_count : letter_point_count;
    const double sin_x = sin_table[degree_index(ax)], cos_x = cos_table[degree_index(ax)];
    const double sin_y = sin_table[degree_index(ay)], cos_y = cos_table[degree_index(ay)];
    const double sin_z = sin_table[degree_index(az)], cos_z = cos_table[degree_index(az)];
    for (int p = 0; p < count; ++p) {
        const double x = source[3 * p], y = source[3 * p + 1], z = source[3 * p + 2];
        // About x, then y, then z; each step starts from the previous step's
        // truncated values, and both lines of a step use the values before it.
        const int y1 = truncate(y * cos_x - z * sin_x);
        const int z1 = truncate(z * cos_x + y * sin_x);
        const int z2 = truncate(z1 * cos_y - x * sin_y);
        const int x1 = truncate(x * cos_y + z1 * sin_y);
        const int x2 = truncate(x1 * cos_z - y1 * sin_z);
        const int y2 = truncate(y1 * cos_z + x1 * sin_z);
        destination[3 * p] = x2;
        destination[3 * p + 1] = y2;
        destination[3 * p + 2] = z2;
    }
}

void place_cubes(int cube_points[cube_int_count], int cube_model[cube_int_count],
                 int random_offsets[random_offset_count], int keep_signs, RandomGenerator& random) {
    for (int slot = 1; slot < cube_slot_count; ++slot) {
        if (keep_signs == 0) {
            if (random_value(random) % 2 == 0) random_offsets[slot] = -random_offsets[slot];
            if (random_value(random) % 3 == 0) random_offsets[slot + 1] = -random_offsets[slot + 1];
        }
        const int dx = random_offsets[slot - 1];
        const int dy = random_offsets[slot];
        offset_slot(cube_points, slot, dx, dy);
        offset_slot(cube_model, slot, dx, dy);
    }
}

void project_points(int* output, const int* points, const int* offsets, int mode) {
    if (mode == CubeMode) {
        for (int i = 0; i < cube_int_count; ++i) output[i] = points[i] + offsets[i];
        return;
    }
    for (int p = 0; p < letter_point_count; ++p) {
        output[3 * p] = points[3 * p] + letter_origin_x;
        output[3 * p + 1] = points[3 * p + 1] + letter_origin_y;
    }
}
