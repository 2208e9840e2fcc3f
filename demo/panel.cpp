// The control panel, drawn from fixed coordinates in a fixed call order.
#include "panel.h"

#include "tavlo.h"

namespace {

constexpr ColorIndex black = 0;
constexpr ColorIndex white = 1;
constexpr ColorIndex red = 2;
constexpr ColorIndex green = 3;
constexpr ColorIndex blue = 4;
constexpr ColorIndex gray_50 = 22;
constexpr ColorIndex gray_20 = 23;

struct Point {
    int x, y;
};

// The outlined letter beside each toggle: a closed polygon, and the triangles
// that fill it in the on look.
struct ToggleLetter {
    int top;  // the toggle's top edge; its bottom is 20 lower
    ColorIndex fill_color;
    const Point* outline;
    int outline_count;
    const Point (*fill)[3];
    int fill_count;
};

constexpr Point letter_x_outline[] = {{281, 180}, {284, 180}, {285, 174}, {286, 180},
                                      {289, 180}, {287, 170}, {289, 160}, {286, 160},
                                      {285, 166}, {284, 160}, {281, 160}, {283, 170}};
constexpr Point letter_y_outline[] = {{280, 150}, {283, 150}, {285, 144}, {287, 150}, {290, 150},
                                      {286, 140}, {286, 130}, {284, 130}, {284, 140}};
constexpr Point letter_z_outline[] = {{281, 120}, {289, 120}, {289, 118}, {284, 102}, {289, 102},
                                      {289, 100}, {281, 100}, {281, 102}, {286, 118}, {281, 118}};

constexpr Point letter_x_fill[][3] = {{{281, 180}, {284, 180}, {289, 160}},
                                      {{281, 180}, {286, 160}, {289, 160}},
                                      {{281, 160}, {284, 160}, {286, 180}},
                                      {{284, 160}, {286, 180}, {289, 180}}};
constexpr Point letter_y_fill[][3] = {
    {{280, 150}, {283, 150}, {284, 140}}, {{284, 140}, {283, 150}, {285, 144}},
    {{285, 144}, {284, 140}, {284, 130}}, {{284, 130}, {286, 130}, {285, 144}},
    {{285, 144}, {286, 130}, {286, 140}}, {{286, 140}, {287, 150}, {285, 144}},
    {{287, 150}, {290, 150}, {286, 140}}};
constexpr Point letter_z_fill[][3] = {
    {{281, 120}, {281, 118}, {289, 120}}, {{281, 118}, {289, 120}, {289, 118}},
    {{286, 118}, {289, 118}, {281, 102}}, {{281, 102}, {285, 102}, {289, 118}},
    {{281, 102}, {281, 100}, {289, 102}}, {{281, 100}, {289, 100}, {289, 102}}};

template <typename T, int N>
constexpr int count_of(const T (&)[N]) {
    return N;
}

const ToggleLetter toggle_letters[3] = {
    {180, blue, letter_x_outline, count_of(letter_x_outline), letter_x_fill,
     count_of(letter_x_fill)},
    {150, green, letter_y_outline, count_of(letter_y_outline), letter_y_fill,
     count_of(letter_y_fill)},
    {120, red, letter_z_outline, count_of(letter_z_outline), letter_z_fill,
     count_of(letter_z_fill)},
};

// One black line per edge, the last vertex joined back to the first.
void draw_letter_outline(const ToggleLetter& letter) {
    for (int i = 0; i < letter.outline_count; ++i) {
        const Point& from = letter.outline[i];
        const Point& to = letter.outline[(i + 1) % letter.outline_count];
        draw_line(black, from.x, from.y, to.x, to.y, 1);
    }
}

void draw_letter_fill(const ToggleLetter& letter) {
    for (int i = 0; i < letter.fill_count; ++i) {
        const Point* t = letter.fill[i];
        draw_triangle(letter.fill_color, t[0].x, t[0].y, t[1].x, t[1].y, t[2].x, t[2].y, 0);
    }
}

// The white grounds of the move boxes, scale triangles, colour box and randomize box.
void draw_button_backgrounds() {
    draw_rectangle(white, -290, 220, -270, 200, 0);
    draw_rectangle(white, -270, 240, -250, 220, 0);
    draw_rectangle(white, -250, 220, -230, 200, 0);
    draw_rectangle(white, -270, 200, -250, 180, 0);
    draw_triangle(white, -275, 130, -250, 130, -263, 155, 0);
    draw_triangle(white, -275, 120, -250, 120, -263, 95, 0);
    draw_rectangle(white, 270, 240, 250, 220, 0);
    draw_rectangle(white, -45, 240, 45, 220, 0);
}

// Borders, labels and captions of the move and scale controls.
void draw_move_and_scale_marks() {
    draw_rectangle(black, -45, 240, 45, 220, 2);
    draw_rectangle(black, -290, 220, -270, 200, 2);
    draw_rectangle(black, -270, 240, -250, 220, 2);
    draw_rectangle(black, -250, 220, -230, 200, 2);
    draw_rectangle(black, -270, 200, -250, 180, 2);
    print_text(black, -284, 198, 25, "-");
    print_text(black, -265, 218, 20, "+");
    print_text(black, -245, 198, 20, "+");
    print_text(black, -264, 178, 25, "-");
    print_text(black, -290, 160, 15, "move cubes");
    draw_triangle(black, -275, 130, -250, 130, -263, 155, 2);
    draw_triangle(black, -275, 120, -250, 120, -263, 95, 2);
    print_text(black, -290, 78, 15, "scale cubes");
}

// Border, label and captions of the colour box, the toggles' caption and the
// randomize label.
void draw_right_side_marks() {
    draw_rectangle(black, 270, 240, 250, 220, 2);
    print_text(black, 257, 218, 20, "!");
    print_text(black, 220, 200, 15, "change color");
    print_text(black, 225, 80, 15, "rotate cubes");
    print_text(black, -28, 221, 15, "randomize");
}

// The bevelled square: dark (E) left and bottom, light (F) face, top and right.
void draw_toggle_square(int top, ColorIndex e, ColorIndex f) {
    const int t = top, b = top - 20;
    draw_triangle(e, 250, t, 254, t - 4, 254, b + 4, 0);
    draw_triangle(e, 254, b + 4, 250, b, 250, t, 0);
    draw_triangle(e, 250, b, 254, b + 4, 270, b, 0);
    draw_triangle(e, 270, b, 266, b + 4, 254, b + 4, 0);
    draw_rectangle(f, 254, t - 4, 266, b + 4, 0);
    draw_triangle(f, 250, t, 254, t - 4, 266, t - 4, 0);
    draw_triangle(f, 266, t - 4, 270, t, 250, t, 0);
    draw_triangle(f, 266, t - 4, 270, t, 270, b, 0);
    draw_triangle(f, 270, b, 266, b + 4, 266, t - 4, 0);
    draw_rectangle(black, 270, t, 250, b, 2);
    draw_rectangle(black, 266, t - 4, 254, b + 4, 1);
    draw_line(black, 270, t, 266, t - 4, 1);
    draw_line(black, 250, t, 254, t - 4, 1);
    draw_line(black, 250, b, 254, b + 4, 1);
    draw_line(black, 270, b, 266, b + 4, 1);
}

int look_of(int count) {
    return count % 2 != 0 ? ToggleOn : ToggleOff;
}

}  // namespace

void draw_spin_toggle(int axis, int look) {
    if (axis < AxisX || axis > AxisZ) return;
    const ToggleLetter& letter = toggle_letters[axis];
    const bool on = look == ToggleOn;
    draw_toggle_square(letter.top, on ? gray_20 : gray_50, on ? gray_50 : gray_20);
    if (!on) return;
    draw_letter_fill(letter);
    draw_letter_outline(letter);
}

void draw_panel(int count_x, int count_y, int count_z) {
    draw_button_backgrounds();
    draw_move_and_scale_marks();
    draw_right_side_marks();
    for (const ToggleLetter& letter : toggle_letters) draw_letter_outline(letter);
    draw_spin_toggle(AxisX, look_of(count_x));
    draw_spin_toggle(AxisY, look_of(count_y));
    draw_spin_toggle(AxisZ, look_of(count_z));
    // Credit lines: each text is its own format, so it holds no per-cent sign.
    print_text(black, -273, -226, 10, "TAVLO cubes demo");
    print_text(gray_50, -292, -243, 10, "github.com/tavlo-project/tavlo");
}
