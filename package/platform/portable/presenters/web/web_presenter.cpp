// Web presenter: windows, input, waiting and the clock on a web page. The page
// side is the page_*.js scripts; page_interface.h is its interface, the same
// for the Emscripten pages and the playground's WASI programs.
#include "web_presenter.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "../../kernel/system.h"
#include "../../presenter_kit/code_page.h"
#include "../../presenter_kit/keyboard.h"
#include "../../presenter_kit/window_frame.h"
#include "../../user/menu.h"
#include "../../user/window.h"
#include "page_interface.h"

namespace portable {

namespace {

void append_json_string(std::string& out, const std::string& text) {
    out += '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (c >= 0x80) {
            // Titles and menu texts are code page 1252 bytes, shown as the canvas shows them.
            out += utf8_of_cp1252(std::string_view(reinterpret_cast<const char*>(&c), 1));
        } else {
            out += char(c);
        }
    }
    out += '"';
}

// USER's menu as JSON for the page: each item's id and text, and only what is
// true of it among checked, grayed, separator; a pull-down's items. AppendMenuA
// refuses cycles; the depth bound only keeps this finite regardless.
void append_menu_json(std::string& out, HMENU menu, int depth) {
    out += '[';
    if (menu != nullptr && depth <= 16) {
        bool first = true;
        for (const MenuItem& item : menu_items(menu)) {
            if (!first) out += ',';
            first = false;
            out += "{\"id\":" + std::to_string(item.id) + ",\"text\":";
            append_json_string(out, item.text);
            if (item.checked()) out += ",\"checked\":true";
            if (item.grayed()) out += ",\"grayed\":true";
            if (item.separator()) out += ",\"separator\":true";
            if (item.popup()) {
                out += ",\"items\":";
                append_menu_json(out, item.submenu, depth + 1);
            }
            out += '}';
        }
    }
    out += ']';
}

bool is_top_level(const HWND__& record) {
    return record.parent == nullptr && (record.style & WS_CHILD) == 0;
}

}  // namespace

WebPresenter::Shown* WebPresenter::find(HWND window) {
    for (Shown& shown : windows_) {
        if (shown.handle == window) return &shown;
    }
    return nullptr;
}

WebPresenter::Shown* WebPresenter::find(int id) {
    for (Shown& shown : windows_) {
        if (shown.id == id) return &shown;
    }
    return nullptr;
}

// ------------------------------------------------------------ windows

void WebPresenter::window_created(HWND window) {
    HWND__* record = live_window(window);
    if (record == nullptr || !is_top_level(*record)) return;
    std::erase_if(windows_, [&](const Shown& old) { return old.handle == window; });
    if (first_window_ == nullptr) first_window_ = window;
    windows_.push_back({window, next_id_++, 0});
    tavlo_page_create_window(windows_.back().id, utf8_of_cp1252(record->title).c_str(),
                             record->outer.left, record->outer.top, int(background_color(*record)),
                             (record->style & WS_SYSMENU) != 0 ? 1 : 0);
    lay_out(windows_.back());
}

// The page's frame: the decorations of window_frame.h around the client area,
// with the menu bar while the window has a menu.
void WebPresenter::lay_out(const Shown& shown) {
    if (live_window(shown.handle) == nullptr) return;
    const WindowFrame decorations = window_frame(shown.handle);
    const SIZE client = client_size(shown.handle);
    tavlo_page_lay_out(shown.id, decorations.frame, decorations.caption, decorations.menu_bar,
                       client.cx, client.cy);
}

SIZE WebPresenter::client_size(HWND window) {
    if (client_override_ && window == first_window_) return *client_override_;
    return window_frame(window).client;
}

void WebPresenter::window_shown(HWND window, bool visible) {
    if (Shown* shown = find(window)) tavlo_page_show_window(shown->id, visible ? 1 : 0);
}

void WebPresenter::window_destroyed(HWND window) {
    keys_.forget(window);
    Shown* shown = find(window);
    if (shown == nullptr) return;
    // The page keeps the last picture, greyed, and says the window is gone.
    tavlo_page_destroy_window(shown->id);
    std::erase_if(windows_, [&](const Shown& old) { return old.handle == window; });
}

void WebPresenter::menu_changed(HWND window) {
    Shown* shown = find(window);
    HWND__* record = live_window(window);
    if (shown == nullptr || record == nullptr) return;
    lay_out(*shown);
    std::string model;
    append_menu_json(model, record->menu, 0);
    tavlo_page_set_menu(shown->id, model.c_str());
}

void WebPresenter::present(HWND window) {
    Shown* shown = find(window);
    HWND__* record = live_window(window);
    if (shown == nullptr || record == nullptr) return;
    const HBITMAP__& front = record->front_image;
    if (front.width <= 0 || front.height <= 0 ||
        front.pixels.size() < size_t(front.width) * size_t(front.height))
        return;
    tavlo_page_present(shown->id, front.pixels.data(), front.width, front.height);
    ++shown->frames;
    frame_shown(window, int(shown->frames));
}

// ------------------------------------------------------------ input and waiting

namespace {

// A key from the page: its virtual key when the page knows it from the physical
// key (else the US layout's key for the character it shows), the character it
// shows as a Unicode code point, and the Ctrl (1), Alt (2) and Shift (4) bits of
// the key event. The character a key-down types follows from these as on every
// presenter, and the modifiers the program sees follow the bits (keyboard.h).
void post_key(HeldKeys& keys, HWND window, bool down, int vk, int shown, int modifiers) {
    const unsigned char printed = cp1252_of_unicode(char32_t(shown));
    const UINT key = vk != 0 ? UINT(vk) : virtual_key_for_character(printed);
    HeldModifiers held;
    held.ctrl = (modifiers & 1) != 0;
    held.alt = (modifiers & 2) != 0;
    held.shift = (modifiers & 4) != 0;
    if (!down) {
        keys.post_key(window, WM_KEYUP, key, key_up_lparam(), held);
        return;
    }
    const unsigned char typed = typed_character(key, printed, held.ctrl, held.alt);
    if (typed == 0 && printed == 0 && shown >= 0xA0 && !held.ctrl && !held.alt) {
        // A character beyond code page 1252 (π, an emoji): a VK_PACKET key
        // (keyboard.h: packet_key), the character as WM_UNICHAR.
        keys.post_key(window, WM_KEYDOWN, VK_PACKET, key_down_lparam(0), held);
        PostMessageA(window, WM_UNICHAR, WPARAM(shown), 0);
        keys.post_key(window, WM_KEYUP, VK_PACKET, key_up_lparam(), held);
        return;
    }
    keys.post_key(window, WM_KEYDOWN, key, key_down_lparam(typed), held);
}

}  // namespace

// Posts what the page has queued; true when something was posted.
bool WebPresenter::post_page_input() {
    bool posted = false;
    int input[5];
    while (tavlo_page_next_input(input) != 0) {
        if (input[0] == FocusLost) {
            keys_.release_all();
            posted = true;
            continue;
        }
        Shown* shown = find(input[1]);
        if (shown == nullptr) continue;
        HWND window = shown->handle;
        const LPARAM where = MAKELPARAM(input[2], input[3]);
        switch (input[0]) {
            case ButtonDown: PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, where); break;
            case ButtonUp: PostMessageA(window, WM_LBUTTONUP, 0, where); break;
            // The buttons held after these (c: 1 left, 2 right, as MK_LBUTTON, MK_RBUTTON).
            case MouseMove: PostMessageA(window, WM_MOUSEMOVE, WPARAM(input[4] & 3), where); break;
            case RightDown:
                PostMessageA(window, WM_RBUTTONDOWN, WPARAM(input[4] & 3), where);
                break;
            case RightUp: PostMessageA(window, WM_RBUTTONUP, WPARAM(input[4] & 3), where); break;
            case KeyDown:
            case KeyUp:
                post_key(keys_, window, input[0] == KeyDown, input[2], input[3], input[4]);
                break;
            case Command: PostMessageA(window, WM_COMMAND, WPARAM(input[2]), 0); break;
            case Close: PostMessageA(window, WM_CLOSE, 0, 0); break;
            default: continue;
        }
        posted = true;
    }
    return posted;
}

// A program whose timers are always due never waits: once per display frame it
// gives the browser a turn anyway, so the page is drawn and input arrives.
// The file the program says it uses (its main window's property FileInUse),
// told to the page when it changes.
void WebPresenter::tell_file_in_use() {
    const char* name = nullptr;
    if (live_window(first_window_) != nullptr) {
        name = static_cast<const char*>(GetPropA(first_window_, "FileInUse"));
    }
    std::string now = name != nullptr ? name : "";
    if (now == file_in_use_) return;
    file_in_use_ = now;
    tavlo_page_file_in_use(file_in_use_.c_str());
}

void WebPresenter::poll() {
    tell_file_in_use();
    constexpr double display_frame_ms = 16;
    if (tavlo_page_now() - last_yield_ms_ >= display_frame_ms) {
        tavlo_page_wait(0, 0);
        last_yield_ms_ = tavlo_page_now();
    }
    post_page_input();
}

// A timer at about the display's rate (a program that asked for smooth
// animation) is paced by the display's frames.
bool WebPresenter::paced() const {
    constexpr int64_t display_paced_period_ms = 20;
    const int64_t period = shortest_timer_period_ms();
    return period > 0 && period <= display_paced_period_ms;
}

bool WebPresenter::wait(int64_t deadline_ms) {
    tell_file_in_use();
    if (post_page_input()) return true;
    const bool by_frames = paced();
    double timeout = -1;  // none: until input arrives
    if (deadline_ms >= 0) {
        timeout = double(deadline_ms - now_ms());
        // Paced, a timer already due still waits for the display's next frame:
        // its clock (timer_clock_ms) stands at the frame of the last tick.
        if (timeout <= 0) {
            if (!by_frames) return true;
            timeout = 0;
        }
    }
    tavlo_page_wait(timeout, by_frames ? 1 : 0);
    last_yield_ms_ = tavlo_page_now();
    if (by_frames) frame_clock_ms_ = now_ms();
    post_page_input();
    return true;
}

int64_t WebPresenter::now_ms() {
    return int64_t(tavlo_page_now());
}

// Paced timers fall due by the time the last wait ended: after a tick, the next
// one waits for a display frame even when its due time, drifting against the
// display's, comes before the program next waits.
int64_t WebPresenter::timer_clock_ms() {
    return paced() && frame_clock_ms_ >= 0 ? frame_clock_ms_ : now_ms();
}

// The headless presenter's screen, so windows placed by the screen's size have
// the same size as in a headless run.
SIZE WebPresenter::screen_size() {
    return frame_screen;
}

// The page is being left (a reload, a closed tab, the tab hidden): the windows
// hear that the session ends, as on a desktop shutting down, so the program
// writes what it holds back (a recording's counted periodic line); then every
// stream is flushed. Called by the page while the program waits.
void WebPresenter::page_leaving() {
    std::vector<HWND> handles;
    for (const Shown& shown : windows_) handles.push_back(shown.handle);
    for (HWND handle : handles) {
        if (live_window(handle) != nullptr) SendMessageA(handle, WM_ENDSESSION, TRUE, 0);
    }
    std::fflush(nullptr);
}

bool WebPresenter::repair_marked(const char* text) {
    return live_window(first_window_) != nullptr && GetPropA(first_window_, "Repair") == text;
}

void end_web_program(int exit_code) {
    std::fflush(nullptr);
    tavlo_page_end_program(exit_code);
}

namespace {
WebPresenter* page_presenter = nullptr;
}  // namespace

WebPresenter* make_web_presenter() {
    if (tavlo_page_present_in_page() == 0) return nullptr;
    static WebPresenter presenter;
    page_presenter = &presenter;
    // Debug output (the message log's lines among it) goes to the page too,
    // each line said to be a repair of a call or not.
    set_debug_output_sink([](const char* text) {
        tavlo_page_debug_output(text, page_presenter->repair_marked(text) ? 1 : 0);
    });
    return &presenter;
}

}  // namespace portable

// The page's call when it is left (page_start.js; the playground's program Worker).
extern "C" TAVLO_PAGE_EXPORT(tavlo_page_leaving) void tavlo_page_leaving() {
    if (portable::page_presenter != nullptr) portable::page_presenter->page_leaving();
}
