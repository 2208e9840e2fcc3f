// Portable platform: what a window system must supply.
//
// USER (user/) keeps windows, menus, timers and the message queue itself; a
// Presenter only moves pixels to a screen and turns real input into posted
// messages. It never calls the package. Two exist: the headless presenter
// (virtual clock, injected input; tests and --headless) and the Qt presenter.
#pragma once

#include <cstdint>

#include "win32_portable.h"

namespace portable {

class Presenter {
public:
    virtual ~Presenter() = default;

    // Window lifecycle. `window_created` is called inside CreateWindowExA before
    // WM_CREATE; the presenter answers the client size for the window's outer
    // size, style and menu through `client_size`.
    virtual void window_created(HWND window) = 0;
    virtual SIZE client_size(HWND window) = 0;
    virtual void window_shown(HWND window, bool visible) = 0;
    virtual void window_destroyed(HWND window) = 0;

    // The window's menu bar changed (SetMenu, AppendMenuA, CheckMenuItem, DrawMenuBar).
    virtual void menu_changed(HWND window) = 0;

    // The window's front image changed (BitBlt or painting into a window DC).
    virtual void present(HWND window) = 0;

    // Blocks until input has been posted to the queue or the clock reaches
    // `deadline_ms` (a negative deadline means none). Returns false when it can
    // never return anything (headless: no input left and no deadline).
    virtual bool wait(int64_t deadline_ms) = 0;

    // Milliseconds on the presenter's clock (virtual when headless).
    virtual int64_t now_ms() = 0;

    virtual SIZE screen_size() = 0;
};

// The process's presenter. Until one is set, a default headless presenter serves.
Presenter& presenter();
void set_presenter(Presenter* presenter);

}  // namespace portable
