// A program written as if the package were an ordinary library: it defines main
// instead of WinMain. It links the package with its entry point, whose main() the
// linker then leaves out, so nothing ever sets up a window system.
#include <cstdio>

#include "tavlo.h"

int main() {
    open_display(nullptr, nullptr, nullptr, 0);
    set_logging(0);
    int x = 0, y = 0;
    char key = 0;
    while (wait_event(&x, &y, &key) != EventKind::Quit) {
    }
    close_display();
    std::puts("ended normally");
    return 0;
}
