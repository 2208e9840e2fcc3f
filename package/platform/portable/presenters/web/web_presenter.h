// Web presenter: the package's windows on a web page (WebAssembly: an Emscripten
// page, or a WASI program run by the playground's page).
//
// One page holds every top-level window, each drawn by the page (page_windows.js)
// as a frame with its title bar, close box, for the window with a menu an HTML
// menu bar mirrored from USER's menu model, and a canvas showing the front image
// 1:1. Decorations are those of window_frame.h, as in a headless run, so client
// areas, and so pictures, are the same.
//
// Input becomes posted messages: left button down and up (client coordinates),
// key down and up as Windows virtual keys with the typed character attached to
// the key-down, menu choices (WM_COMMAND) and close boxes (WM_CLOSE). Ctrl, Shift
// and Alt as the program sees them follow each key's own modifier bits, and the
// page losing the focus releases every key held (keyboard.h: HeldKeys). The page
// queues DOM input; the presenter takes it at every GetMessageA.
//
// wait() suspends the program (Asyncify in an Emscripten page, JSPI in the
// playground's Worker) until the page has input or the deadline (USER's next
// timer) passes: the browser runs in between, nothing polls. A program that
// never waits long still lets the page draw and take input: poll() yields to
// the browser once per display frame.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "../../presenter_kit/keyboard.h"
#include "../../presenter_kit/presenter.h"

namespace portable {

class WebPresenter : public Presenter {
public:
    // The first top-level window gets this client size whatever its decorations
    // (as the headless presenter's override).
    void set_client_size_override(SIZE size) { client_override_ = size; }

    void window_created(HWND window) override;
    SIZE client_size(HWND window) override;
    void window_shown(HWND window, bool visible) override;
    void window_destroyed(HWND window) override;
    void menu_changed(HWND window) override;
    void present(HWND window) override;
    void poll() override;
    bool wait(int64_t deadline_ms) override;
    int64_t now_ms() override;
    int64_t timer_clock_ms() override;
    HWND main_window() const override { return first_window_; }
    SIZE screen_size() override;

    // The page is being left: sends WM_ENDSESSION to the top-level windows and
    // flushes every stream.
    void page_leaving();
    // Whether `text`, handed to the debugger now, is the line the program's main
    // window marks with its property "Repair": a repair of a call the program made.
    bool repair_marked(const char* text);

private:
    struct Shown {
        HWND handle = nullptr;
        int id = 0;  // the page's name for the window
        int64_t frames = 0;
    };

    Shown* find(HWND window);
    void lay_out(const Shown& shown);
    Shown* find(int id);
    bool post_page_input();

    std::vector<Shown> windows_;
    HeldKeys keys_;  // the keys posted down and not yet up
    int next_id_ = 1;
    HWND first_window_ = nullptr;
    std::optional<SIZE> client_override_;
    double last_yield_ms_ = 0;
    int64_t frame_clock_ms_ = -1;  // when the last paced wait ended (-1: none yet)
    bool paced() const;
    std::string file_in_use_;  // as last told to the page
    void tell_file_in_use();
};

// The presenter when the program runs in a page, else nullptr (under node).
WebPresenter* make_web_presenter();

// Ends the program in the page with its exit code, which the page shows.
[[noreturn]] void end_web_program(int exit_code);

}  // namespace portable
