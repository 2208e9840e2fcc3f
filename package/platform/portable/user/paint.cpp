// Portable USER: window device contexts, invalidation and painting.
//
// Implements GetDC, ReleaseDC, BeginPaint, EndPaint and InvalidateRect, and the
// showing of what was drawn. A window DC draws into the window's front image,
// and GDI marks the image changed (gdi/objects.h: mark_drawn). The invalid
// region is kept as one bounding rectangle; BeginPaint hands it out as rcPaint,
// validates the window and, when the invalidation asked for it, sends
// WM_ERASEBKGND (whose default fills with the class background, past GDI).
// EndPaint marks the front image changed too, so a paint that only erased is
// shown as well, and a paint that drew is shown once, not once per call.
//
// Nothing is shown while the program draws: present_if_changed hands a marked
// front image to the presenter once, for every window when GetMessageA starts
// (before it hands out a message or waits) and when the application's WinMain
// returns (present_changed_windows, user/window.cpp), and for a window being
// destroyed (its last picture). A program that draws once per message is shown
// once per message.
#include <algorithm>
#include <unordered_set>

#include "../presenter_kit/presenter.h"
#include "user_internal.h"

namespace portable {

namespace {

// Every DC handed out by GetDC or BeginPaint and not yet released.
std::unordered_set<HDC>& window_dcs() {
    static std::unordered_set<HDC> dcs;
    return dcs;
}

// GetDC(NULL) draws into nothing: the screen is not ours to draw on.
HBITMAP__& screen_image() {
    static HBITMAP__ image;
    return image;
}

HDC make_window_dc(HWND window) {
    HBITMAP__* target = window != nullptr ? &window->front_image : &screen_image();
    HDC dc = create_target_dc(target, window);
    window_dcs().insert(dc);
    return dc;
}

bool release_window_dc(HDC dc) {
    if (dc == nullptr || window_dcs().erase(dc) == 0) return false;
    destroy_dc(dc);
    return true;
}

RECT intersect(const RECT& a, const RECT& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

bool empty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

void fill_rect(HBITMAP__& image, RECT area, COLORREF color) {
    area = intersect(area, {0, 0, image.width, image.height});
    if (empty(area)) return;
    for (LONG y = area.top; y < area.bottom; ++y) {
        auto row = image.pixels.begin() + size_t(y) * size_t(image.width);
        std::fill(row + area.left, row + area.right, color);
    }
}

void invalidate(HWND__& window, const RECT* rect, bool erase) {
    RECT client = {0, 0, window.client.cx, window.client.cy};
    RECT area = rect != nullptr ? intersect(*rect, client) : client;
    if (empty(area)) return;
    if (window.has_invalid) {
        area = {std::min(area.left, window.invalid.left), std::min(area.top, window.invalid.top),
                std::max(area.right, window.invalid.right),
                std::max(area.bottom, window.invalid.bottom)};
    }
    window.invalid = area;
    window.has_invalid = true;
    window.erase_pending = window.erase_pending || erase;
}

}  // namespace

LRESULT erase_background(HWND window, HDC dc) {
    HWND__* record = live_window(window);
    if (record == nullptr || dc == nullptr || window_dcs().count(dc) == 0) return 0;
    RECT area = dc->window == window ? record->paint_rect : RECT{0, 0, 0, 0};
    if (empty(area)) area = {0, 0, record->client.cx, record->client.cy};
    fill_rect(*dc->bitmap, area, background_color(*record));
    return 1;
}

void present_if_changed(HWND__& window) {
    if (!window.front_image.changed) return;
    // Cleared first: whatever the presenter's call leads to draws a new change.
    window.front_image.changed = false;
    presenter().present(&window);
}

void forget_window_dcs() {
    for (HDC dc : window_dcs()) destroy_dc(dc);
    window_dcs().clear();
}

}  // namespace portable

using namespace portable;

HDC WINAPI GetDC(HWND window) {
    if (window != nullptr && live_window(window) == nullptr) return nullptr;
    return make_window_dc(window);
}

int WINAPI ReleaseDC(HWND, HDC dc) {
    return release_window_dc(dc) ? 1 : 0;
}

HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    HWND__* record = live_window(window);
    if (record == nullptr || paint == nullptr) return nullptr;
    *paint = PAINTSTRUCT{};
    RECT area = record->has_invalid ? record->invalid : RECT{0, 0, 0, 0};
    bool erase = record->has_invalid && record->erase_pending;
    record->has_invalid = false;
    record->erase_pending = false;
    record->paint_rect = area;
    HDC dc = make_window_dc(window);
    paint->hdc = dc;
    paint->rcPaint = area;
    // fErase tells the procedure that the background still needs erasing.
    if (erase) paint->fErase = SendMessageA(window, WM_ERASEBKGND, WPARAM(dc), 0) == 0;
    return dc;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (paint == nullptr) return FALSE;
    release_window_dc(paint->hdc);
    HWND__* record = live_window(window);
    if (record == nullptr) return FALSE;
    record->front_image.changed = true;
    record->paint_rect = {0, 0, 0, 0};
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    if (window == nullptr) {
        // NULL: every window is to be repainted.
        for (HWND top : top_level_windows()) InvalidateRect(top, rect, erase);
        return TRUE;
    }
    HWND__* record = live_window(window);
    if (record == nullptr) return FALSE;
    // A hidden window has nothing on screen to repair; showing it invalidates it whole.
    if (record->visible) invalidate(*record, rect, erase != FALSE);
    return TRUE;
}
