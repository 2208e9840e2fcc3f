// Hostile: draws the house right, but first tries to write outside its folder:
// into /tmp, into the folders above its own and into the home folder. Each
// write that is refused is skipped.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tavlo.h"

namespace {

void try_to_write(const std::string& path) {
    if (std::FILE* f = std::fopen(path.c_str(), "w")) {
        std::fputs("written by escape.cpp\n", f);
        std::fclose(f);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    try_to_write("/tmp/tavlo-check-escaped.txt");
    std::string up;
    for (int level = 0; level < 8; ++level) {
        up += "../";
        try_to_write(up + "tavlo-check-escaped.txt");
    }
    if (const char* home = std::getenv("HOME"))
        try_to_write(std::string(home) + "/tavlo-check-escaped.txt");
    open_display(instance, previous, command_line, show);
    set_logging(0);
    draw_rectangle(Color::Brown, -100, -100, 100, 100, 0);
    draw_triangle(Color::Red, -120, 100, 120, 100, 0, 200, 0);
    draw_rectangle(Color::Blue, -25, -100, 25, 0, 0);
    draw_oval(Color::Yellow, 150, 150, 230, 230, 0);
    int x = 0, y = 0;
    char key = 0;
    while (wait_event(&x, &y, &key) != EventKind::Quit) {
    }
    close_display();
    return 0;
}
