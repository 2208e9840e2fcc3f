// The native entry of fidelity_draw: runs its WinMain on the portable platform's
// default presenter, with the output file name as the command-line tail. Setting
// that presenter says the program knows its window system (a program that did
// not would be told, at exit, that it never started through the entry point).
#include "portable/presenter_kit/presenter.h"
#include "win32.h"

int main(int argc, char** argv) {
    portable::set_presenter(&portable::presenter());
    char empty[] = "";
    return WinMain(nullptr, nullptr, argc > 1 ? argv[1] : empty, SW_SHOWNORMAL);
}
