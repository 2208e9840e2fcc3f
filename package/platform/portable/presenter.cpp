// Portable platform: the process's presenter.
//
// Until a presenter is set (by the entry point or by a test), a default headless
// presenter serves, so the Win32 subset always has a window system behind it.
// Such a program was not started through the portable entry point (it defines
// main instead of WinMain, or was linked without the entry point): it has no
// input and would wait forever, so the first wait stops it with a message.
#include "presenter.h"

#include <cstdio>
#include <cstdlib>

#include "gdi/objects.h"
#include "user/window.h"

namespace portable {

// Made by the headless presenter (presenters/headless/).
Presenter* make_default_presenter();

namespace {
Presenter* current = nullptr;
bool set_by_program = false;
}  // namespace

Presenter& presenter() {
    if (current == nullptr) current = make_default_presenter();
    return *current;
}

void set_presenter(Presenter* p) {
    current = p;
    // A program that sets a presenter (the entry point, a test) knows its window
    // system, also after it has gone back to the default one.
    if (p != nullptr) set_by_program = true;
}

void check_entry_point_before_waiting() {
    if (set_by_program) return;
    std::fputs(
        "tavlo: this program was not started through the package's entry point, so it "
        "has no window system and would wait for input forever.\n"
        "tavlo: an application defines WinMain (not main), passes its four values to "
        "open_display, and links the CMake target tavlo::tavlo or the libraries of "
        "`pkg-config --libs tavlo`, whose entry point calls WinMain.\n",
        stderr);
    std::exit(3);
}

// Drawing into a window DC reaches the presenter through USER, which ignores
// windows that are gone and notes a presentation made during a paint.
void notify_window_drawn(HWND window) {
    window_drawn(window);
}

}  // namespace portable
