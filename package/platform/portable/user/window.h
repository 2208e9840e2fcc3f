// Portable USER: the window record behind an HWND, as presenters and tests see it.
//
// USER owns every window: its class, title, style, outer rectangle, client size,
// visibility, menu bar, invalid region and front image (the pixels a presenter
// shows, client-sized, COLORREF 0x00BBGGRR, top row first). Presenters read these
// fields; only USER writes them. A destroyed window's record stays allocated
// (marked destroyed, front image emptied) until reset_user_state, so a stale
// handle is always recognised and never followed into freed memory.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "../gdi/objects.h"
#include "../win32_portable.h"

namespace portable {

// A registered window class (RegisterClassA), copied into each of its windows.
struct WindowClass {
    std::string name;
    UINT style = 0;
    WNDPROC procedure = nullptr;
    HINSTANCE instance = nullptr;
    HBRUSH background = nullptr;
};

}  // namespace portable

struct HWND__ {
    uint32_t magic = 0x444e5731;  // "1WND"
    portable::WindowClass window_class;
    std::string title;
    DWORD style = 0;
    DWORD ex_style = 0;
    HWND parent = nullptr;
    RECT outer = {0, 0, 0, 0};  // screen coordinates, right/bottom exclusive
    SIZE client = {0, 0};
    bool visible = false;
    bool destroyed = false;
    bool destroying = false;  // inside DestroyWindow (WM_DESTROY is being sent)
    bool creating = false;    // inside CreateWindowExA, before the first WM_SIZE
    HMENU menu = nullptr;
    uint64_t serial = 0;  // creation order
    // Invalid region, kept as its bounding rectangle in client coordinates.
    bool has_invalid = false;
    bool erase_pending = false;
    RECT invalid = {0, 0, 0, 0};
    // Painting: the rectangle BeginPaint handed out.
    RECT paint_rect = {0, 0, 0, 0};
    // Client-sized; never registered as a GDI object. Drawing marks it changed
    // (front_image.changed) and USER shows it before the program next waits.
    HBITMAP__ front_image;
    std::map<std::string, HANDLE> properties;  // SetPropA
};

namespace portable {

// The record of a live window (not destroyed), or nullptr for anything else.
HWND__* live_window(HWND window);
// Live top-level windows (no parent, not WS_CHILD) in creation order.
std::vector<HWND> top_level_windows();
// The shortest period of the timers set now, in ms; 0 when none is. A presenter
// that can wait for the display's next frame does so for a program whose timer
// runs at about the display's rate.
int64_t shortest_timer_period_ms();

// Asks the presenter for the window's client size again; when it changed, the
// front image is resized (kept top-left, the rest filled with the class
// background), the client area invalidated and WM_SIZE sent. For presenters whose
// window frame becomes known late, and for menu bars set after creation.
void update_client_size(HWND window);

// The colour a window's class background brush fills with (white without one).
COLORREF background_color(const HWND__& window);

// Has the presenter show every live window whose front image changed since it
// was last shown, each once, in creation order. GetMessageA calls it before it
// hands out a message or waits, and the entry point when WinMain returns, so
// no picture drawn is lost.
void present_changed_windows();

// Destroys every window (without sending messages), class, timer, menu, posted
// message and outstanding window DC, and forgets a pending quit. Presenters are
// not told: a test replaces its presenter as well.
void reset_user_state();

}  // namespace portable
