// The native entry of fidelity_draw: runs its WinMain on the portable platform's
// default presenter, with the output file name as the command-line tail.
#include "win32.h"

int main(int argc, char** argv) {
    char empty[] = "";
    return WinMain(nullptr, nullptr, argc > 1 ? argv[1] : empty, SW_SHOWNORMAL);
}
