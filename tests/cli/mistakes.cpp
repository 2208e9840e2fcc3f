// The mistakes a first program makes, one per command-line word, for the entry
// point's words on them (run_mistakes.sh):
//   return   draws, then returns from WinMain without ever waiting for an event;
//   spin     draws, then loops forever without calling the package again;
//   chatter  draws, then writes to standard error for ever without calling the
//            package again (with nobody reading a pipe there, it blocks in a write);
//   repairs  draws with a colour outside the palette, then waits as it should.
#include <cstdio>
#include <cstring>

#include "tavlo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    clear_canvas();
    const bool repairs = std::strcmp(command_line, "repairs") == 0;
    draw_rectangle(repairs ? 99 : Color::Blue, -50, -50, 50, 50, 0);
    if (std::strcmp(command_line, "return") == 0) return 0;
    if (std::strcmp(command_line, "chatter") == 0) {
        for (;;) std::fputs("chatter: a line of diagnostics nobody asked for\n", stderr);
    }
    if (std::strcmp(command_line, "spin") == 0) {
        volatile bool forever = true;
        while (forever) {
        }
    }
    int x = 0, y = 0;
    char key = 0;
    while (wait_event(&x, &y, &key) != EventKind::Quit) {
    }
    close_display();
    return 0;
}
