// Portable platform: the headless presenter.
//
// No window system: windows exist only in memory, the clock is virtual, and input
// is injected by tests or by the --headless run's input plan. A run is fast and
// exactly repeatable.
//
// Decorations are fixed and Windows-like (window_frame.h), so a window's client
// area is smaller than its outer rectangle as on Windows.
//
// Clock: starts at 0 ms. When GetMessageA has nothing to return it waits, and the
// clock jumps straight to the next timer deadline or the next scheduled input,
// whichever is first (it never sleeps). Scheduled inputs due at the same time as
// a timer are posted first.
//
// Idleness: when nothing is scheduled and no timer runs, wait() answers false and
// GetMessageA ends the program (a message on stderr, exit code 1), unless
// close_when_idle is set: then it posts WM_CLOSE to the
// first live top-level window (each window once), and when none is left, or all
// ignored it, a quit message. A program that waits again after that quit gets the
// quit message again, with a note on standard error the first time, so a loop that
// ends on quit still ends; after repeat_quit_limit more quits the wait answers
// false. With a quiet limit, a run whose timers tick on but
// which has nothing scheduled and has shown no frame for that long is idle too;
// a program that holds the system busy (SetThreadExecutionState: the package
// while it plays a script back) is never quiet, and the quiet time starts again
// when it releases it or resets the idle timer.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "../../presenter_kit/presenter.h"
#include "../../presenter_kit/window_frame.h"
#include "../../user/menu.h"

namespace portable {

constexpr SIZE headless_default_screen = frame_screen;
// One tick of an input plan: the package's timer period.
constexpr int64_t headless_tick_ms = 50;

// One user action, as the headless presenter turns it into posted messages.
struct HeadlessInput {
    enum class Kind { Click, Key, CtrlLetter, Menu, Close, Pointer, RightClick, Special, Hold };
    Kind kind = Kind::Click;
    // Target window; nullptr: the first top-level window for clicks, menu choices
    // and closes, the focus window (the last one shown) for keys.
    HWND window = nullptr;
    int x = 0, y = 0;             // Click, Pointer, RightClick: client coordinates
    UINT code = 0;                // Key, Special: virtual key; CtrlLetter: 'A'..'Z';
                                  // Menu: command id; Pointer: the mouse message
    unsigned char character = 0;  // Key: the character the key-down carries (0: none)
    char32_t unichar = 0;         // Key: a character sent as WM_UNICHAR after the key-down
    int modifiers = 0;            // Special: 1 Shift, 2 Ctrl, 4 Alt held around the key

    // WM_LBUTTONDOWN (MK_LBUTTON, x, y), then WM_LBUTTONUP.
    static HeadlessInput click(int x, int y, HWND window = nullptr);
    // WM_KEYDOWN carrying `character`, then WM_KEYUP.
    static HeadlessInput key(UINT virtual_key, unsigned char character, HWND window = nullptr);
    // A typed character: key() with the virtual key of a US keyboard for it.
    static HeadlessInput typed(unsigned char character, HWND window = nullptr);
    // Any Unicode character, as a key of another layout or an input method types
    // it: a VK_PACKET key (keyboard.h: packet_key).
    static HeadlessInput typed_code_point(char32_t character, HWND window = nullptr);
    // VK_CONTROL down, the letter down carrying the control character (1..26),
    // the letter up, VK_CONTROL up.
    static HeadlessInput ctrl_letter(char letter, HWND window = nullptr);
    // WM_COMMAND with the id (notification code 0), as a menu choice posts it.
    static HeadlessInput menu(UINT id, HWND window = nullptr);
    // WM_CLOSE, as the window's close box posts it.
    static HeadlessInput close(HWND window = nullptr);
    // One mouse message at client coordinates: WM_LBUTTONDOWN, WM_LBUTTONUP,
    // WM_RBUTTONDOWN, WM_RBUTTONUP or WM_MOUSEMOVE. Its wParam holds the buttons
    // held after it (MK_LBUTTON, MK_RBUTTON), which the presenter keeps track of,
    // so a move between a press and a release is a drag.
    static HeadlessInput pointer(UINT message, int x, int y, HWND window = nullptr);
    // WM_RBUTTONDOWN then WM_RBUTTONUP.
    static HeadlessInput right_click(int x, int y, HWND window = nullptr);
    // A key that types nothing (an arrow, F1 ...), pressed and released with
    // Shift (1), Ctrl (2), Alt (4) held around it: their key-downs first, their
    // key-ups last.
    static HeadlessInput special(UINT virtual_key, int modifiers, HWND window = nullptr);
    // A key held down (WM_KEYDOWN, no character) or let go (WM_KEYUP) alone, for a
    // key held over several ticks.
    static HeadlessInput hold(UINT virtual_key, bool down, HWND window = nullptr);
};

// A copy of a window's front image: COLORREF pixels, rows top to bottom.
struct HeadlessImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

class HeadlessPresenter : public Presenter {
public:
    static constexpr int repeat_quit_limit = 1000;

    // Back to the state of a new presenter (after reset_user_state, in tests).
    void reset() { *this = HeadlessPresenter(); }

    // ---- configuration
    void set_screen_size(SIZE size) { screen_ = size; }
    // The main window (first_window) gets this client size whatever its
    // decorations (to compare with a real window of known client size).
    void set_client_size_override(SIZE size) { client_override_ = size; }
    void set_close_when_idle(bool close) { close_when_idle_ = close; }
    // With close_when_idle: a run whose timers still tick but which has had no
    // input left and shown no new frame for this long (virtual ms) is idle too,
    // e.g. an application waiting for input with its animation halted. 0: off.
    void set_quiet_limit(int64_t ms) { quiet_limit_ms_ = ms; }
    // Told before the virtual clock moves forward, with the time it moves to:
    // the windows then show what they showed at the earlier time (pictures at
    // given ticks). Not told of the clock standing still.
    using ClockObserver = std::function<void(int64_t to_ms)>;
    void set_clock_observer(ClockObserver observer) { clock_observer_ = std::move(observer); }
    // Whether the run was ended because it went idle (close_when_idle): a
    // window closed, or the quit message posted for a program left without one.
    bool closed_when_idle() const { return idle_close_posted_ || idle_quit_posted_; }

    // ---- input
    void inject(const HeadlessInput& input);  // posted at once
    void schedule(int64_t at_ms, const HeadlessInput& input);
    void schedule_at_tick(int64_t tick, const HeadlessInput& input) {
        schedule(tick * headless_tick_ms, input);
    }
    size_t scheduled_count() const { return scheduled_.size(); }

    // ---- read-back (windows stay known after they are destroyed)
    // The main window, live or not: the first top-level window created, or the
    // first created after every earlier top-level window was destroyed (a
    // program that closed its windows and opened new ones).
    HWND first_window() const { return main_window_; }
    HWND find_window(const std::string& title) const;  // the first with that title
    std::string title(HWND window) const;
    SIZE window_client_size(HWND window) const;
    bool visible(HWND window) const;
    // Live window: its front image now; destroyed: as it was when destroyed.
    HeadlessImage front_image(HWND window) const;
    int frames(HWND window) const;  // present() calls so far
    // The window's menu bar (empty without one) and its submenus: user/menu.h.
    const std::vector<MenuItem>& menu_bar(HWND window) const;
    // Whether the item with that command id (searched through the submenus) is
    // checked; nullopt when the window's menu has no such item.
    std::optional<bool> menu_checked(HWND window, UINT id) const;

    // ---- Presenter
    void window_created(HWND window) override;
    SIZE client_size(HWND window) override;
    void window_shown(HWND window, bool visible) override;
    void window_destroyed(HWND window) override;
    void menu_changed(HWND window) override {}
    void present(HWND window) override;
    void poll() override { post_due_inputs(); }
    bool wait(int64_t deadline_ms) override;
    int64_t now_ms() override { return clock_; }
    SIZE screen_size() override { return screen_; }
    HWND main_window() const override { return main_window_; }

private:
    struct Known {
        HWND handle = nullptr;
        std::string title;
        bool top_level = false;
        bool alive = true;
        bool visible = false;
        bool idle_closed = false;  // got WM_CLOSE because the run went idle
        SIZE client = {0, 0};
        int frames = 0;
        HeadlessImage last_image;  // taken when the window is destroyed
    };

    const Known* known(HWND window) const;
    Known* known(HWND window);
    HWND default_target() const;
    HWND focus_target() const;
    void post_due_inputs();
    bool answer_idleness();
    void advance_clock(int64_t to_ms);

    SIZE screen_ = headless_default_screen;
    std::optional<SIZE> client_override_;
    bool close_when_idle_ = false;
    int64_t quiet_limit_ms_ = 0;
    int64_t last_activity_ = 0;      // clock at the last frame shown or input posted
    uint64_t idle_resets_seen_ = 0;  // idle_timer_resets() at the last wait
    bool idle_quit_posted_ = false;
    bool idle_close_posted_ = false;
    ClockObserver clock_observer_;
    int repeated_quits_ = 0;
    int64_t clock_ = 0;
    std::multimap<int64_t, HeadlessInput> scheduled_;  // by due time, in scheduling order
    std::vector<Known> windows_;                       // in creation order
    HWND main_window_ = nullptr;
    HWND focus_ = nullptr;
    WPARAM buttons_ = 0;  // MK_LBUTTON, MK_RBUTTON held (pointer inputs)
};

// The process-wide headless presenter that serves until another is set.
HeadlessPresenter& default_headless_presenter();

}  // namespace portable
