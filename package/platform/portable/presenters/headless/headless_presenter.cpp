// Portable platform: the headless presenter (see headless_presenter.h).
//
// Keeps a record of every window it was told about, computes client sizes from
// fixed decorations, runs the virtual clock, posts injected input as the messages
// a real window system would post, and counts presented frames.
#include "headless_presenter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "../../kernel/system.h"
#include "../../presenter_kit/keyboard.h"
#include "../../user/window.h"

namespace portable {

// ---------------------------------------------------------------- inputs

namespace {

HeadlessInput input_of(HeadlessInput::Kind kind, HWND window, UINT code = 0) {
    HeadlessInput input;
    input.kind = kind;
    input.window = window;
    input.code = code;
    return input;
}

}  // namespace

HeadlessInput HeadlessInput::click(int x, int y, HWND window) {
    HeadlessInput input = input_of(Kind::Click, window);
    input.x = x;
    input.y = y;
    return input;
}

HeadlessInput HeadlessInput::key(UINT virtual_key, unsigned char character, HWND window) {
    HeadlessInput input = input_of(Kind::Key, window, virtual_key);
    input.character = character;
    return input;
}

HeadlessInput HeadlessInput::typed(unsigned char character, HWND window) {
    return key(virtual_key_for_character(character), character, window);
}

HeadlessInput HeadlessInput::typed_code_point(char32_t character, HWND window) {
    const PacketKey packet = packet_key(character);
    HeadlessInput input = key(VK_PACKET, 0, window);
    if (packet.unichar != 0) {
        input.unichar = character;
    } else {
        input.character = static_cast<unsigned char>((packet.key_down >> 16) & 0xFF);
    }
    return input;
}

HeadlessInput HeadlessInput::hold(UINT virtual_key, bool down, HWND window) {
    HeadlessInput input = input_of(Kind::Hold, window, virtual_key);
    input.x = down ? 1 : 0;
    return input;
}

HeadlessInput HeadlessInput::ctrl_letter(char letter, HWND window) {
    return input_of(Kind::CtrlLetter, window,
                    UINT(std::toupper(static_cast<unsigned char>(letter))));
}

HeadlessInput HeadlessInput::menu(UINT id, HWND window) {
    return input_of(Kind::Menu, window, id);
}

HeadlessInput HeadlessInput::close(HWND window) {
    return input_of(Kind::Close, window);
}

HeadlessInput HeadlessInput::pointer(UINT message, int x, int y, HWND window) {
    HeadlessInput input = input_of(Kind::Pointer, window, message);
    input.x = x;
    input.y = y;
    return input;
}

HeadlessInput HeadlessInput::right_click(int x, int y, HWND window) {
    HeadlessInput input = input_of(Kind::RightClick, window);
    input.x = x;
    input.y = y;
    return input;
}

HeadlessInput HeadlessInput::special(UINT virtual_key, int modifiers, HWND window) {
    HeadlessInput input = input_of(Kind::Special, window, virtual_key);
    input.modifiers = modifiers & 7;
    return input;
}

// ---------------------------------------------------------------- read-back

const HeadlessPresenter::Known* HeadlessPresenter::known(HWND window) const {
    for (const Known& k : windows_) {
        if (k.handle == window) return &k;
    }
    return nullptr;
}

HeadlessPresenter::Known* HeadlessPresenter::known(HWND window) {
    return const_cast<Known*>(static_cast<const HeadlessPresenter*>(this)->known(window));
}

HWND HeadlessPresenter::find_window(const std::string& title) const {
    for (const Known& k : windows_) {
        if (k.alive && k.title == title) return k.handle;
    }
    for (const Known& k : windows_) {
        if (k.title == title) return k.handle;
    }
    return nullptr;
}

std::string HeadlessPresenter::title(HWND window) const {
    if (HWND__* record = live_window(window)) return record->title;
    const Known* k = known(window);
    return k != nullptr ? k->title : std::string();
}

SIZE HeadlessPresenter::window_client_size(HWND window) const {
    if (HWND__* record = live_window(window)) return record->client;
    const Known* k = known(window);
    return k != nullptr ? k->client : SIZE{0, 0};
}

bool HeadlessPresenter::visible(HWND window) const {
    return IsWindowVisible(window) != FALSE;
}

HeadlessImage HeadlessPresenter::front_image(HWND window) const {
    if (HWND__* record = live_window(window)) {
        const HBITMAP__& image = record->front_image;
        return {image.width, image.height, image.pixels};
    }
    const Known* k = known(window);
    return k != nullptr ? k->last_image : HeadlessImage{};
}

int HeadlessPresenter::frames(HWND window) const {
    const Known* k = known(window);
    return k != nullptr ? k->frames : 0;
}

const std::vector<MenuItem>& HeadlessPresenter::menu_bar(HWND window) const {
    return menu_items(GetMenu(window));
}

std::optional<bool> HeadlessPresenter::menu_checked(HWND window, UINT id) const {
    const MenuItem* item = find_menu_command(GetMenu(window), id);
    if (item == nullptr) return std::nullopt;
    return item->checked();
}

// ---------------------------------------------------------------- Presenter

void HeadlessPresenter::window_created(HWND window) {
    // A record left from before reset_user_state may carry the same address.
    std::erase_if(windows_, [&](const Known& old) { return old.handle == window; });
    Known k;
    k.handle = window;
    k.title = window->title;
    k.top_level = window->parent == nullptr && (window->style & WS_CHILD) == 0;
    bool another_alive = std::any_of(windows_.begin(), windows_.end(),
                                     [](const Known& w) { return w.top_level && w.alive; });
    if (k.top_level && !another_alive) main_window_ = window;
    windows_.push_back(std::move(k));
}

SIZE HeadlessPresenter::client_size(HWND window) {
    if (client_override_ && window == first_window()) return *client_override_;
    return window_frame(window).client;
}

void HeadlessPresenter::window_shown(HWND window, bool shown) {
    Known* k = known(window);
    if (k == nullptr) return;
    k->visible = shown;
    if (shown)
        focus_ = window;
    else if (focus_ == window)
        focus_ = nullptr;
}

void HeadlessPresenter::window_destroyed(HWND window) {
    Known* k = known(window);
    if (k == nullptr) return;
    k->alive = false;
    k->visible = false;
    k->client = window->client;
    k->title = window->title;
    const HBITMAP__& image = window->front_image;
    k->last_image = {image.width, image.height, image.pixels};
    if (focus_ == window) focus_ = nullptr;
}

void HeadlessPresenter::present(HWND window) {
    Known* k = known(window);
    if (k == nullptr) return;
    int frame = ++k->frames;
    last_activity_ = clock_;
    frame_shown(window, frame);
}

bool HeadlessPresenter::wait(int64_t deadline_ms) {
    // A program that says it is busy (a script being played back) has input left,
    // and one that resets the idle timer has just had some.
    uint64_t resets = idle_timer_resets();
    if (system_required() || resets != idle_resets_seen_) last_activity_ = clock_;
    idle_resets_seen_ = resets;
    if (!scheduled_.empty()) {
        int64_t next = scheduled_.begin()->first;
        if (deadline_ms < 0 || next <= deadline_ms) {
            advance_clock(next);
            post_due_inputs();
            return true;
        }
    }
    if (deadline_ms >= 0) {
        bool quiet = quiet_limit_ms_ > 0 && scheduled_.empty() &&
                     deadline_ms - last_activity_ > quiet_limit_ms_;
        if (quiet && answer_idleness()) {
            last_activity_ = clock_;
            return true;
        }
        advance_clock(deadline_ms);
        return true;
    }
    return answer_idleness();
}

// ---------------------------------------------------------------- input delivery

HWND HeadlessPresenter::default_target() const {
    HWND first = first_window();
    if (IsWindow(first)) return first;
    std::vector<HWND> live = top_level_windows();
    return live.empty() ? nullptr : live.front();
}

HWND HeadlessPresenter::focus_target() const {
    return IsWindow(focus_) ? focus_ : default_target();
}

namespace {

constexpr UINT modifier_keys[] = {VK_SHIFT, VK_CONTROL, VK_MENU};

// The buttons held after a mouse message.
WPARAM buttons_after(UINT message, WPARAM held) {
    switch (message) {
        case WM_LBUTTONDOWN: return held | MK_LBUTTON;
        case WM_LBUTTONUP: return held & ~WPARAM(MK_LBUTTON);
        case WM_RBUTTONDOWN: return held | MK_RBUTTON;
        case WM_RBUTTONUP: return held & ~WPARAM(MK_RBUTTON);
        default: return held;
    }
}

}  // namespace

void HeadlessPresenter::inject(const HeadlessInput& input) {
    using Kind = HeadlessInput::Kind;
    bool keyboard = input.kind == Kind::Key || input.kind == Kind::CtrlLetter ||
                    input.kind == Kind::Special || input.kind == Kind::Hold;
    HWND target =
        input.window != nullptr ? input.window : (keyboard ? focus_target() : default_target());
    switch (input.kind) {
        case Kind::Click: {
            LPARAM where = MAKELPARAM(input.x, input.y);
            PostMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON, where);
            PostMessageA(target, WM_LBUTTONUP, 0, where);
            break;
        }
        case Kind::Key:
            PostMessageA(target, WM_KEYDOWN, input.code, key_down_lparam(input.character));
            if (input.unichar != 0) PostMessageA(target, WM_UNICHAR, WPARAM(input.unichar), 0);
            PostMessageA(target, WM_KEYUP, input.code, key_up_lparam());
            break;
        case Kind::CtrlLetter: {
            PostMessageA(target, WM_KEYDOWN, VK_CONTROL, key_down_lparam(0));
            PostMessageA(
                target, WM_KEYDOWN, input.code,
                key_down_lparam(control_character(static_cast<unsigned char>(input.code))));
            PostMessageA(target, WM_KEYUP, input.code, key_up_lparam());
            PostMessageA(target, WM_KEYUP, VK_CONTROL, key_up_lparam());
            break;
        }
        case Kind::Hold:
            if (input.x != 0) {
                PostMessageA(target, WM_KEYDOWN, input.code, key_down_lparam(0));
            } else {
                PostMessageA(target, WM_KEYUP, input.code, key_up_lparam());
            }
            break;
        case Kind::Menu: PostMessageA(target, WM_COMMAND, input.code, 0); break;
        case Kind::Close: PostMessageA(target, WM_CLOSE, 0, 0); break;
        case Kind::Pointer:
            buttons_ = buttons_after(input.code, buttons_);
            PostMessageA(target, input.code, buttons_, MAKELPARAM(input.x, input.y));
            break;
        case Kind::RightClick: {
            LPARAM where = MAKELPARAM(input.x, input.y);
            PostMessageA(target, WM_RBUTTONDOWN, buttons_ | MK_RBUTTON, where);
            PostMessageA(target, WM_RBUTTONUP, buttons_, where);
            break;
        }
        case Kind::Special:
            for (int i = 0; i < 3; ++i) {
                if (input.modifiers & (1 << i))
                    PostMessageA(target, WM_KEYDOWN, modifier_keys[i], key_down_lparam(0));
            }
            PostMessageA(target, WM_KEYDOWN, input.code, key_down_lparam(0));
            PostMessageA(target, WM_KEYUP, input.code, key_up_lparam());
            for (int i = 2; i >= 0; --i) {
                if (input.modifiers & (1 << i))
                    PostMessageA(target, WM_KEYUP, modifier_keys[i], key_up_lparam());
            }
            break;
    }
}

void HeadlessPresenter::schedule(int64_t at_ms, const HeadlessInput& input) {
    scheduled_.emplace(std::max<int64_t>(at_ms, 0), input);
}

void HeadlessPresenter::post_due_inputs() {
    while (!scheduled_.empty() && scheduled_.begin()->first <= clock_) {
        HeadlessInput input = scheduled_.begin()->second;
        scheduled_.erase(scheduled_.begin());
        inject(input);
        last_activity_ = clock_;
    }
}

void HeadlessPresenter::advance_clock(int64_t to_ms) {
    if (to_ms <= clock_) return;
    if (clock_observer_) clock_observer_(to_ms);
    clock_ = to_ms;
}

bool HeadlessPresenter::answer_idleness() {
    if (!close_when_idle_) return false;
    for (HWND window : top_level_windows()) {
        Known* k = known(window);
        if (k == nullptr || k->idle_closed) continue;
        k->idle_closed = true;
        idle_close_posted_ = true;
        PostMessageA(window, WM_CLOSE, 0, 0);
        return true;
    }
    if (idle_quit_posted_) {
        if (repeated_quits_ == repeat_quit_limit) return false;
        if (repeated_quits_++ == 0) {
            std::fputs(
                "headless: the program waits for input after its quit message; it is "
                "sent the quit message again\n",
                stderr);
        }
        PostQuitMessage(0);
        return true;
    }
    idle_quit_posted_ = true;
    PostQuitMessage(0);
    return true;
}

// ---------------------------------------------------------------- the default

HeadlessPresenter& default_headless_presenter() {
    static HeadlessPresenter presenter;
    return presenter;
}

Presenter* make_default_presenter() {
    return &default_headless_presenter();
}

}  // namespace portable
