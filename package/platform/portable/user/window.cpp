// Portable USER: window classes, windows, showing, rectangles and default processing.
//
// Implements RegisterClassA, CreateWindowExA, DestroyWindow, IsWindow,
// IsWindowVisible, ShowWindow, GetClientRect, GetWindowRect, DefWindowProcA,
// LoadIconA and LoadCursorA. CreateWindowExA asks the presenter for the client
// size, sends WM_CREATE and then WM_SIZE (with the client size as it is after
// WM_CREATE, which may have attached a menu bar) before it returns. Showing a
// window invalidates its client area, so a WM_PAINT follows. Painting, device
// contexts and invalidation live in user/paint.cpp.
#include <algorithm>
#include <map>
#include <memory>
#include <unordered_set>

#include "../presenter_kit/presenter.h"
#include "activity.h"
#include "menu.h"
#include "user_internal.h"

// Icons and cursors are never drawn here; these records only give non-null handles.
struct HICON__ {
    int resource = 0;
};

namespace portable {

namespace {

struct Windows {
    std::map<std::string, WindowClass> classes;
    // Every window ever created since the last reset, live or destroyed, in
    // creation order; destroyed records stay so stale handles are recognised.
    std::vector<std::unique_ptr<HWND__>> all;
    std::unordered_set<const HWND__*> live;
    uint64_t next_serial = 1;
};

Windows& windows() {
    static Windows state;
    return state;
}

// Windows compares class names without regard to case.
std::string class_key(const char* name) {
    std::string key = name;
    for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

bool is_top_level(const HWND__& window) {
    return window.parent == nullptr && (window.style & WS_CHILD) == 0;
}

// CW_USEDEFAULT positions a window at the origin and gives it 640 x 480.
RECT outer_rectangle(int x, int y, int width, int height) {
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) width = 640, height = 480;
    width = std::max(width, 0);
    height = std::max(height, 0);
    auto clamp = [](int64_t v) { return LONG(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    return {x, y, clamp(int64_t(x) + width), clamp(int64_t(y) + height)};
}

SIZE sane_size(SIZE size) {
    // A client area is never negative, and never larger than a bitmap may be.
    size.cx = std::clamp<LONG>(size.cx, 0, 16384);
    size.cy = std::clamp<LONG>(size.cy, 0, 16384);
    return size;
}

void fill_front_image(HWND__& window, SIZE size) {
    HBITMAP__& image = window.front_image;
    std::vector<uint32_t> pixels(size_t(size.cx) * size_t(size.cy), background_color(window));
    int keep_w = std::min<int>(image.width, size.cx);
    int keep_h = std::min<int>(image.height, size.cy);
    for (int y = 0; y < keep_h; ++y) {
        std::copy_n(image.pixels.begin() + size_t(y) * image.width, keep_w,
                    pixels.begin() + size_t(y) * size.cx);
    }
    image.pixels = std::move(pixels);
    image.width = size.cx;
    image.height = size.cy;
    window.client = size;
}

void send_size(HWND window) {
    HWND__* record = live_window(window);
    if (record == nullptr) return;
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(record->client.cx, record->client.cy));
}

void set_visible(HWND__& window, bool visible) {
    if (window.visible == visible) return;
    window.visible = visible;
    presenter().window_shown(&window, visible);
    if (visible)
        InvalidateRect(&window, nullptr, TRUE);
    else
        window.has_invalid = false;
}

}  // namespace

HWND__* live_window(HWND window) {
    if (window == nullptr || windows().live.count(window) == 0) return nullptr;
    return window;
}

std::vector<HWND> top_level_windows() {
    std::vector<HWND> result;
    for (auto& window : windows().all) {
        if (!window->destroyed && is_top_level(*window)) result.push_back(window.get());
    }
    return result;
}

void present_changed_windows() {
    // By index: a presenter's call may create windows.
    auto& all = windows().all;
    for (size_t i = 0; i < all.size(); ++i) {
        if (!all[i]->destroyed) present_if_changed(*all[i]);
    }
}

HWND window_needing_paint(HWND filter) {
    for (auto& window : windows().all) {
        if (window->destroyed || !window->visible || !window->has_invalid) continue;
        if (filter == nullptr || filter == window.get()) return window.get();
    }
    return nullptr;
}

COLORREF background_color(const HWND__& window) {
    GdiObject* object = gdi_object(window.window_class.background);
    if (object == nullptr || object->kind != ObjectKind::Brush) return 0xFFFFFF;
    auto* brush = static_cast<HBRUSH__*>(object);
    return brush->hollow ? 0xFFFFFF : brush->color;
}

void update_client_size(HWND window) {
    HWND__* record = live_window(window);
    if (record == nullptr) return;
    SIZE size = sane_size(presenter().client_size(window));
    if (size.cx == record->client.cx && size.cy == record->client.cy) return;
    fill_front_image(*record, size);
    if (record->creating) return;  // CreateWindowExA sends WM_SIZE itself
    InvalidateRect(window, nullptr, TRUE);
    send_size(window);
}

void reset_user_state() {
    reset_queue();
    forget_window_dcs();
    destroy_all_menus();
    Windows& state = windows();
    state.live.clear();
    state.all.clear();
    state.classes.clear();
    reset_activity();
}

}  // namespace portable

using namespace portable;

ATOM WINAPI RegisterClassA(const WNDCLASSA* description) {
    if (description == nullptr || description->lpszClassName == nullptr ||
        description->lpszClassName[0] == '\0' || description->lpfnWndProc == nullptr) {
        return 0;
    }
    Windows& state = windows();
    std::string key = class_key(description->lpszClassName);
    if (state.classes.count(key) != 0) return 0;  // already registered: Windows refuses too
    WindowClass& added = state.classes[key];
    added.name = description->lpszClassName;
    added.style = description->style;
    added.procedure = description->lpfnWndProc;
    added.instance = description->hInstance;
    added.background = description->hbrBackground;
    // Atoms of registered classes start at 0xC000 on Windows.
    return ATOM(0xC000 + state.classes.size());
}

HWND WINAPI CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR title, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID parameter) {
    if (class_name == nullptr) return nullptr;
    Windows& state = windows();
    auto found = state.classes.find(class_key(class_name));
    if (found == state.classes.end()) return nullptr;
    if (parent != nullptr && live_window(parent) == nullptr) return nullptr;
    if (menu != nullptr && !is_menu(menu)) return nullptr;

    auto owned = std::make_unique<HWND__>();
    HWND window = owned.get();
    window->window_class = found->second;
    window->title = title != nullptr ? title : "";
    window->style = style & ~DWORD(WS_VISIBLE);
    window->ex_style = ex_style;
    window->parent = parent;
    window->outer = outer_rectangle(x, y, width, height);
    window->menu = menu;
    window->serial = state.next_serial++;
    window->creating = true;
    state.all.push_back(std::move(owned));
    state.live.insert(window);
    note_live_windows(state.live.size());

    presenter().window_created(window);
    fill_front_image(*window, sane_size(presenter().client_size(window)));
    CREATESTRUCTA create = {parameter, instance, menu,        parent, height,     width,
                            y,         x,        LONG(style), title,  class_name, ex_style};
    if (SendMessageA(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        window->creating = false;
        DestroyWindow(window);
        return nullptr;
    }
    if (live_window(window) == nullptr) return nullptr;  // destroyed during WM_CREATE
    // WM_CREATE may have attached a menu bar, which takes its share of the client area.
    update_client_size(window);
    window->creating = false;
    send_size(window);
    if ((style & WS_VISIBLE) != 0 && live_window(window) != nullptr) {
        window->style |= WS_VISIBLE;
        set_visible(*window, true);
    }
    return live_window(window);
}

BOOL WINAPI DestroyWindow(HWND window) {
    HWND__* record = live_window(window);
    if (record == nullptr || record->destroying) return FALSE;
    record->destroying = true;
    // Its last picture is shown before it goes, also what WM_DESTROY draws.
    present_if_changed(*record);
    if (record->visible) {
        record->visible = false;
        presenter().window_shown(window, false);
    }
    // Owned and child windows go first, as on Windows.
    for (size_t i = 0; i < windows().all.size(); ++i) {
        HWND candidate = windows().all[i].get();
        if (!candidate->destroyed && candidate->parent == window) DestroyWindow(candidate);
    }
    SendMessageA(window, WM_DESTROY, 0, 0);
    forget_window_messages(window);
    present_if_changed(*record);
    presenter().window_destroyed(window);
    HMENU menu = record->menu;
    record->menu = nullptr;
    record->destroyed = true;
    record->has_invalid = false;
    record->style &= ~DWORD(WS_VISIBLE);
    windows().live.erase(record);
    note_live_windows(windows().live.size());
    // Outstanding DCs keep pointing at the (now empty) front image, so drawing
    // through them after the window is gone touches nothing.
    record->front_image.pixels.clear();
    record->front_image.pixels.shrink_to_fit();
    record->front_image.width = record->front_image.height = 0;
    if (menu != nullptr) DestroyMenu(menu);  // a window's menu goes with it
    return TRUE;
}

BOOL WINAPI SetPropA(HWND window, LPCSTR name, HANDLE data) {
    HWND__* record = live_window(window);
    if (record == nullptr || name == nullptr) return FALSE;
    record->properties[name] = data;
    return TRUE;
}

HANDLE WINAPI GetPropA(HWND window, LPCSTR name) {
    HWND__* record = live_window(window);
    if (record == nullptr || name == nullptr) return nullptr;
    auto found = record->properties.find(name);
    return found == record->properties.end() ? nullptr : found->second;
}

HANDLE WINAPI RemovePropA(HWND window, LPCSTR name) {
    HWND__* record = live_window(window);
    if (record == nullptr || name == nullptr) return nullptr;
    auto found = record->properties.find(name);
    if (found == record->properties.end()) return nullptr;
    HANDLE data = found->second;
    record->properties.erase(found);
    return data;
}

BOOL WINAPI IsWindow(HWND window) {
    return live_window(window) != nullptr;
}

BOOL WINAPI IsWindowVisible(HWND window) {
    HWND__* record = live_window(window);
    return record != nullptr && record->visible;
}

BOOL WINAPI ShowWindow(HWND window, int command) {
    HWND__* record = live_window(window);
    if (record == nullptr) return FALSE;
    BOOL was_visible = record->visible;
    bool show = command != SW_HIDE;
    if (show)
        record->style |= WS_VISIBLE;
    else
        record->style &= ~DWORD(WS_VISIBLE);
    set_visible(*record, show);
    return was_visible;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    HWND__* record = live_window(window);
    if (record == nullptr || rect == nullptr) return FALSE;
    *rect = {0, 0, record->client.cx, record->client.cy};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
    HWND__* record = live_window(window);
    if (record == nullptr || rect == nullptr) return FALSE;
    *rect = record->outer;
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_CLOSE: DestroyWindow(window); return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            if (BeginPaint(window, &paint) != nullptr) EndPaint(window, &paint);
            return 0;
        }
        case WM_ERASEBKGND: return erase_background(window, reinterpret_cast<HDC>(w));
        default: return 0;
    }
}

HICON WINAPI LoadIconA(HINSTANCE, LPCSTR name) {
    static HICON__ application_icon{32512};
    return name != nullptr ? &application_icon : nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR name) {
    static HICON__ arrow_cursor{32512};
    return name != nullptr ? &arrow_cursor : nullptr;
}
