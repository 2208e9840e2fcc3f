// Hostile: draws the house, then loops for ever without waiting for an event.
#include "tavlo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    draw_rectangle(Color::Brown, -100, -100, 100, 100, 0);
    volatile unsigned long turns = 0;
    for (;;) ++turns;
}
