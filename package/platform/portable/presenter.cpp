// Portable platform: the process's presenter.
//
// Until a presenter is set (by the entry point or by a test), a default headless
// presenter serves, so the Win32 subset always has a window system behind it.
#include "presenter.h"

#include "gdi/objects.h"
#include "user/window.h"

namespace portable {

// Made by the headless presenter (presenters/headless/).
Presenter* make_default_presenter();

namespace {
Presenter* current = nullptr;
}

Presenter& presenter() {
    if (current == nullptr) current = make_default_presenter();
    return *current;
}

void set_presenter(Presenter* p) {
    current = p;
}

// Drawing into a window DC reaches the presenter through USER, which ignores
// windows that are gone and notes a presentation made during a paint.
void notify_window_drawn(HWND window) {
    window_drawn(window);
}

}  // namespace portable
