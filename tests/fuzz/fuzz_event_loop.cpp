// libFuzzer target: the script through the real event loop on the headless
// presenter. Each input is one session from a fresh package and platform, in one
// of two shapes chosen by its first byte:
//
//   - Session: arbitrary bytes become TAVLO.SCR, then a run of user actions (the
//     Ctrl shortcuts for playback, play one, recording, animation, halt, one frame
//     and quit; menu commands; live clicks and typed characters), each followed by
//     a few passes of wait_event; text of any bytes drawn, measured and logged in
//     any text encoding. After every pass: the event is a valid kind, the
//     Playback and Record check marks mirror their flags, and recording and
//     playback never run together. A quit ends the session.
//   - Round trip: random clicks, typed characters and periodic events (one frame
//     or animation), and with a random set of enable_input's kinds switched on
//     presses, releases, moves, right clicks and keys without a character, are
//     recorded with Ctrl+R; the recording is played back with Ctrl+P; playback
//     must return exactly the events that were returned while recording, in order.
//
// In both, an event of a kind enable_input has not switched on is never returned.
//
// Any broken property aborts, which libFuzzer reports as a crash. Works in a
// private folder (fuzz_support.h).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "package_state.h"
#include "portable/presenters/headless/headless_presenter.h"
#include "portable/user/user_internal.h"

namespace {

using portable::HeadlessInput;

constexpr int max_actions = 24;
constexpr int max_recorded_events = 24;

struct Event {
    int kind = 0;
    int x = 0, y = 0;
    char key = 0;
    bool operator==(const Event& other) const {
        return kind == other.kind && x == other.x && y == other.y && key == other.key;
    }
};

portable::HeadlessPresenter& presenter() {
    return portable::default_headless_presenter();
}
HWND graphics() {
    return package_state.graphics_window;
}

void check(bool holds) {
    if (!holds) std::abort();
}

// The display is opened once per process: creating the windows and the canvas
// costs far more than a session. Between sessions the queue, the timers, the
// scheduled input and the package's event, menu and script state go back to
// their start; the windows, the canvas and the message log stay. The text window
// is hidden, so that log lines are not painted.
void start_session() {
    static bool opened = false;
    if (!opened) {
        opened = true;
        reset_package_state();
        portable::reset_user_state();
        presenter().reset();
        portable::set_presenter(&presenter());
        open_display(nullptr, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);
        ShowWindow(package_state.text_window, SW_HIDE);
    }
    set_logging(0);
}

void end_session() {
    // Scheduled input is due within a tick or two: let it arrive, with whatever it
    // and the queue still bring, then drop everything still queued.
    while (presenter().scheduled_count() > 0) pump_message();
    portable::reset_queue();
    PackageState& s = package_state;
    SetTimer(s.graphics_window, timer_id, timer_interval_ms, nullptr);
    s.recording = false;  // so that closing writes no counted line
    close_script();
    s.playback = false;
    s.play_one = false;
    s.periodic_count = 0;
    s.animate = false;
    s.single_frame = false;
    s.timer_tick = false;
    s.quit_requested = false;
    s.pending_kind = EventKind::None;
    s.typed_count = s.typed_next = 0;
    s.utf8_seen = false;
    s.ctrl_held = 0;
    s.shift_held = false;
    s.alt_held = false;
    s.move_reported = false;
    enable_input(0);
    CheckMenuItem(s.run_menu, CMD_RECORD, MF_BYCOMMAND | MF_UNCHECKED);
    CheckMenuItem(s.run_menu, CMD_PLAYBACK, MF_BYCOMMAND | MF_UNCHECKED);
}

// One pass of wait_event. With animation halted and nothing else to come a wait
// would last for ever, so a click a tick ahead is scheduled whenever nothing is.
Event next_event() {
    if (presenter().scheduled_count() == 0)
        presenter().schedule(presenter().now_ms() + 50, HeadlessInput::click(5, 5, graphics()));
    Event e;
    e.kind = wait_event(&e.x, &e.y, &e.key);
    check(e.kind >= EventKind::Mouse && e.kind <= EventKind::KeyUp);
    const int kinds = package_state.input_kinds;
    switch (e.kind) {
        case EventKind::MouseUp:
            check((kinds & InputKind::MouseRelease) != 0);
            check(e.key == MouseButton::Left || (kinds & InputKind::RightButton) != 0);
            break;
        case EventKind::MouseMove: check((kinds & InputKind::MouseMovement) != 0); break;
        case EventKind::RightMouse: check((kinds & InputKind::RightButton) != 0); break;
        case EventKind::SpecialKey: check((kinds & InputKind::SpecialKeys) != 0); break;
        case EventKind::KeyUp: check((kinds & InputKind::KeyRelease) != 0); break;
        default: break;
    }
    return e;
}

void check_marks() {
    const PackageState& s = package_state;
    check(presenter().menu_checked(graphics(), CMD_PLAYBACK) == s.playback);
    check(presenter().menu_checked(graphics(), CMD_RECORD) == s.recording);
    check(!(s.recording && (s.playback || s.play_one)));
}

HeadlessInput random_click(FuzzedDataProvider& data) {
    SIZE client = presenter().window_client_size(graphics());
    int x = data.ConsumeIntegralInRange<int>(0, client.cx - 1);
    int y = data.ConsumeIntegralInRange<int>(0, client.cy - 1);
    return HeadlessInput::click(x, y, graphics());
}

// A press, release or move of either button, a right click, or a key without a
// character with random modifiers.
HeadlessInput random_pointer_or_key(FuzzedDataProvider& data) {
    SIZE client = presenter().window_client_size(graphics());
    int x = data.ConsumeIntegralInRange<int>(0, client.cx - 1);
    int y = data.ConsumeIntegralInRange<int>(0, client.cy - 1);
    constexpr UINT messages[] = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE, WM_RBUTTONDOWN,
                                 WM_RBUTTONUP};
    constexpr UINT keys[] = {VK_LEFT, VK_UP, VK_HOME, VK_NEXT, VK_DELETE, VK_F1, VK_F12};
    switch (data.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: return HeadlessInput::right_click(x, y, graphics());
        case 1:
            return HeadlessInput::special(keys[data.ConsumeIntegralInRange<int>(0, 6)],
                                          data.ConsumeIntegralInRange<int>(0, 7), graphics());
        default:
            return HeadlessInput::pointer(messages[data.ConsumeIntegralInRange<int>(0, 4)], x, y,
                                          graphics());
    }
}

// A code page 1252 byte, or any Unicode character (surrogates included, which the
// package must refuse).
HeadlessInput random_character(FuzzedDataProvider& data) {
    if (data.ConsumeBool())
        return HeadlessInput::typed(data.ConsumeIntegralInRange<unsigned char>(1, 255), graphics());
    return HeadlessInput::typed_code_point(data.ConsumeIntegralInRange<char32_t>(0x20, 0x10FFFF),
                                           graphics());
}

// Text of any bytes drawn, measured and logged: nothing breaks, a stored line
// stays within its buffer, and a text measures at least one line high.
void draw_any_text(FuzzedDataProvider& data) {
    const std::string text = data.ConsumeRandomLengthString(1500);
    draw_text(Color::Black, data.ConsumeIntegralInRange<int>(-300, 300),
              data.ConsumeIntegralInRange<int>(-270, 270), data.ConsumeIntegralInRange<int>(0, 40),
              text.c_str());
    int width = -1, height = -1;
    text_size(12, text.c_str(), &width, &height);
    check(width >= 0 && height > 0);
    check(log_printf("%s", text.c_str()) <= 1023);
    check(print_text(Color::Blue, 0, 0, 10, "%s|%.3s", text.c_str(), text.c_str()) <= 1023);
}

// A new file each time (see fuzz_script.cpp).
void write_script(const std::string& bytes) {
    std::remove("TAVLO.SCR");
    FILE* file = std::fopen("TAVLO.SCR", "wb");
    if (file == nullptr) std::abort();
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    if (std::fclose(file) != 0) std::abort();
}

void session(FuzzedDataProvider& data) {
    if (data.ConsumeBool()) write_script(data.ConsumeRandomLengthString(2048));
    start_session();
    enable_input(data.ConsumeIntegralInRange<int>(0, InputKind::All));
    set_text_encoding(data.ConsumeIntegralInRange<int>(0, 3));
    for (int action = 0; action < max_actions && data.remaining_bytes() > 0; ++action) {
        switch (data.ConsumeIntegralInRange<int>(0, 12)) {
            case 0: presenter().inject(HeadlessInput::ctrl_letter('P', graphics())); break;
            case 1: presenter().inject(HeadlessInput::ctrl_letter('O', graphics())); break;
            case 2: presenter().inject(HeadlessInput::ctrl_letter('R', graphics())); break;
            case 3: presenter().inject(HeadlessInput::ctrl_letter('A', graphics())); break;
            case 4: presenter().inject(HeadlessInput::ctrl_letter('H', graphics())); break;
            case 5: presenter().inject(HeadlessInput::ctrl_letter('F', graphics())); break;
            case 6: presenter().inject(random_click(data)); break;
            case 7: presenter().inject(random_character(data)); break;
            case 8:
                presenter().inject(
                    HeadlessInput::menu(data.ConsumeIntegralInRange<UINT>(0, 10), graphics()));
                break;
            case 9: write_script(data.ConsumeRandomLengthString(256)); break;
            case 10: presenter().inject(random_pointer_or_key(data)); break;
            case 11: draw_any_text(data); break;
            default: presenter().inject(HeadlessInput::ctrl_letter('Q', graphics())); break;
        }
        int passes = data.ConsumeIntegralInRange<int>(1, 4);
        for (int pass = 0; pass < passes; ++pass) {
            Event e = next_event();
            check_marks();
            if (e.kind == EventKind::Quit) {
                end_session();
                return;
            }
        }
    }
    end_session();
}

void round_trip(FuzzedDataProvider& data) {
    start_session();
    enable_input(data.ConsumeIntegralInRange<int>(0, InputKind::All));
    set_text_encoding(data.ConsumeIntegralInRange<int>(0, 2));
    std::vector<Event> recorded;
    presenter().inject(HeadlessInput::ctrl_letter('R', graphics()));
    int events = data.ConsumeIntegralInRange<int>(1, max_recorded_events);
    for (int i = 0; i < events && data.remaining_bytes() > 0; ++i) {
        switch (data.ConsumeIntegralInRange<int>(0, 5)) {
            case 0: presenter().inject(random_click(data)); break;
            case 1: presenter().inject(random_character(data)); break;
            case 2: presenter().inject(HeadlessInput::ctrl_letter('F', graphics())); break;
            case 3: presenter().inject(HeadlessInput::ctrl_letter('A', graphics())); break;
            case 4: presenter().inject(random_pointer_or_key(data)); break;
            default: presenter().inject(HeadlessInput::ctrl_letter('H', graphics())); break;
        }
        Event e = next_event();
        if (package_state.recording) recorded.push_back(e);
    }
    // Stop recording; the events still to come are not recorded.
    presenter().inject(HeadlessInput::ctrl_letter('H', graphics()));
    presenter().inject(HeadlessInput::ctrl_letter('R', graphics()));
    for (int pass = 0; package_state.recording; ++pass) {
        check(pass < 1000);
        Event e = next_event();
        if (package_state.recording) recorded.push_back(e);
    }
    check_marks();
    // The key-ups after the stopping Ctrl+R are still queued; with key releases
    // on they are events, which would come before the playback's first. Dropped.
    portable::reset_queue();
    SetTimer(graphics(), timer_id, timer_interval_ms, nullptr);

    presenter().inject(HeadlessInput::ctrl_letter('P', graphics()));
    for (const Event& expected : recorded) {
        Event played = next_event();
        check(package_state.playback);
        check(played == expected);
    }
    // Past the last line playback ends with the end-of-file message.
    next_event();
    check(!package_state.playback);
    check_marks();
    end_session();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz_support::enter_private_folder(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    std::remove("TAVLO.SCR");
    if (data.ConsumeBool())
        round_trip(data);
    else
        session(data);
    return 0;
}
