// Drawing of the projected scene: the three visible cubes as flat-filled frames
// with black creases, and the letter R as a red wire outline.
//
// The fixed order of the calls is the painting order: nothing is sorted by
// depth, later calls paint over earlier ones.
#pragma once

#include "scene.h"

constexpr int cube_face_triangle_count = 96;
constexpr int cube_edge_count = 72;
constexpr int letter_edge_count = 48;

// Vertex triples covering the frame's surface once, in six groups of 16 (faces
// z = -50, y = -50, y = +50, x = +50, x = -50, z = +50), each group the walls of
// the face's opening first, then the face's ring.
extern const int CubeFaceTriangles[cube_face_triangle_count][3];
// Vertex pairs of the frame's 72 creases.
extern const int CubeEdges[cube_edge_count][2];
// Point pairs of the letter: front outline and hole, back outline and hole, then
// the joins from each front point p to p + 16.
extern const int LetterEdges[letter_edge_count][2];

// Slots 1, 2, 3 in turn: the 96 triangles filled in cube_color, then the 72
// edges in black, width 1. 504 drawing calls; slot 0 is not drawn.
void draw_cubes(const int cube_screen[cube_int_count], ColorIndex cube_color);

// The 48 letter edges in red, width 1.
void draw_letter(const int letter_screen[letter_int_count]);
