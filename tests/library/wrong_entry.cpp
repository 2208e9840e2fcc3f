// A program written as if the package were an ordinary library: it defines main
// instead of WinMain. It links the package with its entry point, whose main() the
// linker then leaves out, so nothing ever sets up a window system. With the word
// `draw-only` it draws and ends without ever waiting for an event.
#include <cstdio>
#include <cstring>

#include "tavlo.h"

int main(int argc, char** argv) {
    open_display(nullptr, nullptr, nullptr, 0);
    set_logging(0);
    draw_rectangle(Color::Blue, -50, -50, 50, 50, 0);
    if (argc > 1 && std::strcmp(argv[1], "draw-only") == 0) {
        std::puts("ended without waiting");
        return 0;
    }
    int x = 0, y = 0;
    char key = 0;
    while (wait_event(&x, &y, &key) != EventKind::Quit) {
    }
    close_display();
    std::puts("ended normally");
    return 0;
}
