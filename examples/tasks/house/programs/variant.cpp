// A correct house written another way: the shapes in a table, the wall as two
// halves, the sun first, and the loop written with for.
#include "tavlo.h"

namespace {

struct Box {
    ColorIndex color;
    int x1, y1, x2, y2;
};

const Box boxes[] = {
    {Color::Brown, -100, 100, -1, -100},  // the wall's left half
    {Color::Brown, 0, -100, 100, 100},    // and its right half
    {Color::Blue, 25, 0, -25, -100},      // the door, corners the other way round
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    draw_oval(Color::Yellow, 230, 230, 150, 150, 0);
    for (const Box& box : boxes) draw_rectangle(box.color, box.x1, box.y1, box.x2, box.y2, 0);
    draw_triangle(Color::Red, 0, 200, -120, 100, 120, 100, 0);
    draw_rectangle(Color::Blue, -25, -100, 25, 0, 0);  // the door again, over the roof's edge
    for (int x, y;;) {
        char key;
        if (wait_event(&x, &y, &key) == EventKind::Quit) break;
    }
    close_display();
    return 0;
}
