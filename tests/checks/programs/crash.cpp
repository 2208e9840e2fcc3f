// Hostile: crashes before it draws anything.
#include <csignal>

#include "tavlo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    std::raise(SIGSEGV);
    return 0;
}
