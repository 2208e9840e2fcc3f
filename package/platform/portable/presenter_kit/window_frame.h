// Portable platform: the window decorations the headless and web presenters
// give a window, and the client area they leave.
//
// Fixed, Windows-like sizes, so a window's client area is smaller than its outer
// rectangle as on Windows:
//   - frame: 4 px on every side for a sizable window (WS_THICKFRAME), 3 px for a
//     caption or dialog-frame window, 1 px for a plain WS_BORDER, none otherwise
//     (WS_POPUP without border);
//   - caption: 23 px below the top frame when the style has WS_CAPTION (a
//     top-level WS_OVERLAPPED window always has one, as on Windows);
//   - menu bar: 20 px below the caption while a top-level window has a menu.
// So a 601 x 540 WS_CAPTION | WS_SYSMENU window with a menu has a 595 x 491 client
// area, and a 601 x 256 WS_OVERLAPPEDWINDOW window without one 593 x 225.
#pragma once

#include "../win32_portable.h"

namespace portable {

constexpr int frame_sizing = 4;
constexpr int frame_fixed = 3;
constexpr int frame_border = 1;
constexpr int frame_caption = 23;
constexpr int frame_menu_bar = 20;
// The screen both presenters report, so windows placed by the screen's size
// have the same size in a headless run and on a page.
constexpr SIZE frame_screen = {1024, 768};

// A window's decorations for its style and menu, and the client size they leave
// of its outer rectangle (never negative).
struct WindowFrame {
    int frame = 0;     // on every side
    int caption = 0;   // below the top frame; 0: none
    int menu_bar = 0;  // below the caption; 0: none
    SIZE client = {0, 0};
};

WindowFrame window_frame(HWND window);

}  // namespace portable
