// The set-up that tests and benchmarks share: the package, USER and a headless
// presenter back to a new process's state, and an off-screen canvas for drawing
// without a display.
#pragma once

#include "package_state.h"
#include "portable/presenters/headless/headless_presenter.h"
#include "portable/user/window.h"

namespace fresh_state {

// The client-area centre of the default graphics window (595 x 491).
constexpr int canvas_center_x = 297;
constexpr int canvas_center_y = 245;

// Resets the package state, USER's windows, classes and timers, and `presenter`
// (the default headless presenter unless another is given), which becomes current.
inline portable::HeadlessPresenter& reset_platform(
    portable::HeadlessPresenter* presenter = nullptr) {
    portable::HeadlessPresenter& headless =
        presenter != nullptr ? *presenter : portable::default_headless_presenter();
    reset_package_state();
    SetThreadExecutionState(ES_CONTINUOUS);  // no playback holds the system busy
    portable::reset_user_state();
    headless.reset();
    portable::set_presenter(&headless);
    return headless;
}

// A package state without a display: a fresh 601 x 540 canvas in a memory DC with
// the default window's centre, logging off.
inline void open_offscreen_canvas() {
    reset_package_state();
    package_state.canvas_dc = CreateCompatibleDC(nullptr);
    package_state.canvas_bitmap = CreateCompatibleBitmap(nullptr, canvas_width, canvas_height);
    SelectObject(package_state.canvas_dc, package_state.canvas_bitmap);
    package_state.center_x = canvas_center_x;
    package_state.center_y = canvas_center_y;
    package_state.logging_enabled = false;
}

}  // namespace fresh_state
