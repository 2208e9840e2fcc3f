// Portable USER: what its files share with each other (not for presenters).
#pragma once

#include "window.h"

namespace portable {

// The first live, visible window (in creation order) with an invalid region
// that passes GetMessageA's window filter, or nullptr.
HWND window_needing_paint(HWND filter);

// Forgets the timers and posted messages of a window being destroyed.
void forget_window_messages(HWND window);

// Tells the presenter about a change to `menu` when it belongs to the menu bar
// of a live window (directly or as a submenu).
void menu_changed_for_windows(HMENU menu);
// Whether `menu` is `root` or one of its submenus, at any depth.
bool menu_contains(HMENU root, HMENU menu);
// A window's menu bar was destroyed with DestroyMenu: the window loses it.
void detach_menu_from_windows(HMENU menu);

// WM_ERASEBKGND's default: fills the rectangle being painted (the whole client
// area outside a paint) of `dc`'s target with the class background. Returns 1.
LRESULT erase_background(HWND window, HDC dc);

// Has the presenter show the window's front image when it was marked changed
// since it was last shown, and clears the mark (user/paint.cpp).
void present_if_changed(HWND__& window);

// Forgets every window DC handed out (reset).
void forget_window_dcs();

// Clears the queue, the timers and the pending quit (user/message_queue.cpp).
void reset_queue();

}  // namespace portable
