// Portable platform: the process's presenter.
//
// Until a presenter is set (by the entry point or by a test), a default headless
// presenter serves, so the Win32 subset always has a window system behind it.
// Such a program was not started through the portable entry point (it defines
// main instead of WinMain, or was linked without the entry point): it has no
// input and would wait forever, so the first wait stops it with a message. One
// that never waits, but opened windows, is told the same when it ends.
#include "presenter.h"

#include <cstdio>
#include <cstdlib>

#include "../user/activity.h"

namespace portable {

// Made by the headless presenter (presenters/headless/).
Presenter* make_default_presenter();

namespace {
Presenter* current = nullptr;
bool set_by_program = false;
bool told = false;  // the program was told it did not start through the entry point

constexpr const char* wrong_entry_advice =
    "tavlo: an application defines WinMain (not main), passes its four values to "
    "open_display, and links the CMake target tavlo::tavlo or the libraries of "
    "`pkg-config --libs tavlo`, whose entry point calls WinMain.\n";

// Says once, on stderr, that the program did not start through the entry point,
// what follows from that, and what to do.
void tell_wrong_entry(const char* consequence) {
    told = true;
    std::fprintf(stderr,
                 "tavlo: this program was not started through the package's entry point, so "
                 "%s.\n%s",
                 consequence, wrong_entry_advice);
    std::fflush(stderr);
}

// At exit: a program without the entry point that opened windows and never
// waited was never stopped at a wait, so it is told as it ends.
extern "C" void tell_wrong_entry_at_exit() {
    if (set_by_program || told || !windows_were_created()) return;
    tell_wrong_entry("its windows were never shown on any screen");
}
}  // namespace

Presenter& presenter() {
    if (current == nullptr) {
        current = make_default_presenter();
        static bool exit_check = false;
        if (!set_by_program && !exit_check) {
            exit_check = true;
            std::atexit(tell_wrong_entry_at_exit);
        }
    }
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
    tell_wrong_entry("it has no window system and would wait for input forever");
    std::exit(3);
}

}  // namespace portable
