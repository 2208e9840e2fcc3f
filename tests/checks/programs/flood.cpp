// Hostile: prints on standard output without end.
#include <cstdio>

#include "tavlo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    for (unsigned long line = 0;; ++line)
        std::printf("line %lu: a program that never stops printing\n", line);
}
