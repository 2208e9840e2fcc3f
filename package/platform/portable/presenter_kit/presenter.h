// Portable platform: what a window system must supply.
//
// USER (user/) keeps windows, menus, timers and the message queue itself; a
// Presenter only moves pixels to a screen and turns real input into posted
// messages (PostMessageA). It never calls the package. Three exist: the headless
// presenter (virtual clock, injected input; tests and --headless), the Qt
// presenter, and the web presenter (a page, in the WebAssembly build). A
// presenter reads what it shows through user/window.h (title, style, outer
// rectangle, front image) and user/menu.h (the menu model).
#pragma once

#include <cstdint>
#include <functional>

#include "../win32_portable.h"

namespace portable {

class Presenter {
public:
    virtual ~Presenter() = default;

    // Window lifecycle. `window_created` is called inside CreateWindowExA before
    // WM_CREATE; the presenter answers the client size for the window's outer
    // size, style and menu through `client_size` (asked again after WM_CREATE and
    // whenever the menu bar is set or removed). `window_destroyed` comes while the
    // window record and its front image can still be read.
    virtual void window_created(HWND window) = 0;
    virtual SIZE client_size(HWND window) = 0;
    virtual void window_shown(HWND window, bool visible) = 0;
    virtual void window_destroyed(HWND window) = 0;

    // The window's menu bar changed (SetMenu, AppendMenuA, CheckMenuItem, DrawMenuBar).
    virtual void menu_changed(HWND window) = 0;

    // The window's front image changed (drawing into a window DC, or a paint).
    virtual void present(HWND window) = 0;

    // Posts input that has already arrived, without blocking. GetMessageA calls
    // it on every call, so input is never starved by timers that are always due.
    virtual void poll() {}

    // Blocks until input has been posted to the queue or the clock reaches
    // `deadline_ms` (a negative deadline means none). Returns false when it can
    // never return anything (headless: no input left and no deadline).
    virtual bool wait(int64_t deadline_ms) = 0;

    // Milliseconds on the presenter's clock (virtual when headless).
    virtual int64_t now_ms() = 0;

    // The time timers fall due by: the clock, or for a presenter that paces
    // fast timers by the display's frames, the time its last wait ended (a
    // display frame), so such a timer fires at most once a frame however its
    // period and the display's drift apart.
    virtual int64_t timer_clock_ms() { return now_ms(); }

    virtual SIZE screen_size() = 0;

    // The application's main window, live or not (nullptr before there is one):
    // what the entry point's --frames limit counts and closes.
    virtual HWND main_window() const { return nullptr; }

    // Called after every frame the presenter shows, with the window's frame
    // count so far (the entry point's --frames, --gif and progress line).
    using FrameObserver = std::function<void(HWND window, int frame)>;
    void set_frame_observer(FrameObserver observer) { frame_observer_ = std::move(observer); }

protected:
    void frame_shown(HWND window, int frame) {
        if (frame_observer_) frame_observer_(window, frame);
    }

private:
    FrameObserver frame_observer_;
};

// The process's presenter. Until one is set, a default headless presenter serves.
Presenter& presenter();
void set_presenter(Presenter* presenter);
// Called before a wait for input: when no presenter was set (the program did not
// start through the entry point, so nothing can ever arrive), writes what to do
// to stderr and ends the process with exit code 3.
void check_entry_point_before_waiting();

// Key messages. A presenter attaches the character a key-down produces to the
// key-down itself: the character in bits 16-23 of lParam (the scan-code field)
// and reserved bit 25 set to say "carries a character". TranslateMessage turns
// such a key-down into a WM_CHAR; a window that forwards the key-down with the
// same wParam and lParam forwards the character with it. Ctrl+letter carries the
// control character (1..26), as on Windows.
constexpr LPARAM key_carries_character = LPARAM(1) << 25;
constexpr LPARAM key_down_lparam(unsigned char character) {
    return character == 0 ? LPARAM(1)
                          : LPARAM(1) | (LPARAM(character) << 16) | key_carries_character;
}
// A key-up: repeat count 1, previous state down, transition up.
constexpr LPARAM key_up_lparam() {
    return LPARAM(0xC0000001u);
}

}  // namespace portable
