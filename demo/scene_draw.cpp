// Drawing of the projected scene through the package's drawing calls.
#include "scene_draw.h"

// clang-format off
const int CubeFaceTriangles[cube_face_triangle_count][3] = {
    // face z = -50: opening walls, then ring
    {25, 33, 35}, {35, 27, 25}, {24, 25, 32}, {25, 32, 33},
    {24, 26, 32}, {32, 34, 26}, {26, 27, 35}, {26, 34, 35},
    {20, 21, 24}, {24, 25, 21}, {21, 25, 23}, {23, 25, 27},
    {23, 27, 26}, {22, 23, 26}, {20, 22, 26}, {20, 24, 26},
    // face y = -50
    {15, 17, 35}, {17, 35, 37}, {13, 11, 17}, {13, 15, 17},
    {11, 31, 33}, {11, 13, 33}, {35, 37, 33}, {31, 33, 37},
    {1, 11, 17},  {1, 3, 17},   {3, 17, 37},  {3, 37, 23},
    {37, 23, 31}, {21, 23, 31}, {1, 21, 31},  {1, 11, 31},
    // face y = +50
    {14, 16, 36}, {14, 34, 36}, {34, 36, 30}, {30, 32, 34},
    {30, 32, 12}, {10, 12, 30}, {10, 12, 14}, {10, 14, 16},
    {0, 10, 16},  {0, 16, 2},   {2, 16, 36},  {2, 36, 22},
    {22, 36, 20}, {20, 30, 36}, {10, 20, 30}, {0, 10, 20},
    // face x = +50
    {15, 19, 39}, {15, 39, 35}, {14, 15, 19}, {14, 18, 19},
    {34, 14, 18}, {18, 34, 38}, {34, 38, 39}, {34, 35, 39},
    {2, 18, 38},  {2, 38, 22},  {22, 38, 39}, {22, 39, 23},
    {23, 39, 3},  {3, 19, 39},  {3, 19, 18},  {3, 2, 18},
    // face x = -50
    {9, 13, 33},  {33, 29, 9},  {8, 9, 13},   {8, 12, 13},
    {8, 12, 32},  {32, 28, 8},  {28, 32, 33}, {28, 29, 33},
    {20, 21, 28}, {21, 28, 29}, {21, 29, 9},  {21, 9, 1},
    {9, 1, 0},    {0, 8, 9},    {0, 8, 28},   {0, 28, 20},
    // face z = +50
    {13, 5, 15},  {5, 7, 15},   {13, 5, 12},  {12, 4, 5},
    {15, 7, 6},   {6, 14, 15},  {14, 6, 4},   {4, 12, 14},
    {0, 1, 4},    {1, 4, 5},    {1, 5, 7},    {1, 7, 3},
    {6, 7, 3},    {2, 6, 3},    {0, 2, 6},    {0, 4, 6},
};

const int CubeEdges[cube_edge_count][2] = {
    {21, 23}, {23, 22}, {22, 20}, {24, 25}, {25, 27}, {27, 26},
    {26, 24}, {24, 32}, {26, 34}, {25, 33}, {27, 35}, {33, 35},
    {35, 34}, {34, 32}, {32, 30}, {32, 28}, {33, 31}, {35, 37},
    {35, 39}, {34, 38}, {34, 36}, {36, 30}, {37, 31}, {39, 38},
    {30, 10}, {36, 16}, {22, 2},  {38, 18}, {39, 19}, {23, 3},
    {37, 17}, {31, 11}, {35, 15}, {34, 14}, {12, 10}, {13, 11},
    {15, 17}, {15, 19}, {14, 16}, {14, 18}, {10, 16}, {11, 17},
    {19, 18}, {32, 33}, {13, 9},  {12, 8},  {33, 13}, {32, 12},
    {33, 29}, {12, 13}, {13, 15}, {15, 14}, {14, 12}, {12, 4},
    {14, 6},  {15, 7},  {13, 5},  {20, 21}, {28, 29}, {29, 9},
    {28, 8},  {20, 0},  {21, 1},  {9, 8},   {0, 1},   {1, 3},
    {3, 2},   {2, 0},   {4, 5},   {5, 7},   {7, 6},   {6, 4},
};

const int LetterEdges[letter_edge_count][2] = {
    // front outer outline, then the front outline of the hole
    {0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}, {8, 9}, {9, 10}, {0, 10},
    {11, 12}, {12, 13}, {13, 14}, {14, 15}, {11, 15},
    // back outer outline, then the back outline of the hole
    {16, 17}, {17, 18}, {18, 19}, {19, 20}, {20, 21}, {21, 22}, {22, 23}, {23, 24},
    {24, 25}, {25, 26}, {16, 26},
    {27, 28}, {28, 29}, {29, 30}, {30, 31}, {27, 31},
    // joins from front to back
    {0, 16}, {1, 17}, {2, 18}, {3, 19}, {4, 20}, {5, 21}, {6, 22}, {7, 23},
    {8, 24}, {9, 25}, {10, 26}, {11, 27}, {12, 28}, {13, 29}, {14, 30}, {15, 31},
};
// clang-format on

namespace {

constexpr ColorIndex edge_color = 0;    // black
constexpr ColorIndex letter_color = 2;  // red

// The faces of one slot, then its creases on top.
void draw_cube_slot(const int* slot_points, ColorIndex cube_color) {
    auto x = [slot_points](int v) { return slot_points[3 * v]; };
    auto y = [slot_points](int v) { return slot_points[3 * v + 1]; };
    for (const int* t : CubeFaceTriangles) {
        draw_triangle(cube_color, x(t[0]), y(t[0]), x(t[1]), y(t[1]), x(t[2]), y(t[2]), 0);
    }
    for (const int* e : CubeEdges) draw_line(edge_color, x(e[0]), y(e[0]), x(e[1]), y(e[1]), 1);
}

}  // namespace

void draw_cubes(const int cube_screen[cube_int_count], ColorIndex cube_color) {
    for (int slot = 1; slot < cube_slot_count; ++slot) {
        draw_cube_slot(cube_screen + slot * cube_model_int_count, cube_color);
    }
}

void draw_letter(const int letter_screen[letter_int_count]) {
    for (const int* e : LetterEdges) {
        const int* p = letter_screen + 3 * e[0];
        const int* q = letter_screen + 3 * e[1];
        draw_line(letter_color, p[0], p[1], q[0], q[1], 1);
    }
}
