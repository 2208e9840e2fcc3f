// The event loop: wait_event pumps one window message per pass until an event is
// complete, and set_animation switches periodic events on and off.
#include <algorithm>

#include "package_state.h"

namespace {

PackageState& S = package_state;

// The wait is over once a mouse, key, quit or script event is pending, or a
// periodic event whose tick has come.
bool event_complete() {
    return S.pending_kind != EventKind::None &&
           !(S.pending_kind == EventKind::Periodic && !S.timer_tick);
}

// Arms a periodic event: it is pending from now on, and complete at the next
// timer tick, unless a click or a key replaces it first. A frame request is spent.
void arm_periodic_event() {
    S.pending_kind = EventKind::Periodic;
    S.timer_tick = false;
    S.single_frame = false;
}

// Takes the next event from the script, if a script is being played. Returns true
// when it produced one.
bool take_script_event() {
    if (!S.play_one && !S.playback) return false;
    S.play_one = false;
    if (read_script_event()) return true;
    S.play_one = false;
    S.playback = false;
    return false;
}

// Writes the returned event to the script while recording. Periodic events are
// counted and written as one counted line before the next other event.
void record_returned_event() {
    if (!S.recording) return;
    if (S.pending_kind == EventKind::Periodic) {
        ++S.periodic_count;
        return;
    }
    if (S.periodic_count > 0) {
        record_event(EventKind::Periodic, 0, 0, 0);
        S.periodic_count = 0;
    }
    record_event(S.pending_kind, S.pending_x, S.pending_y, S.pending_key);
}

void store_event(int* x, int* y, char* key) {
    if (x != nullptr) *x = S.pending_x;
    if (y != nullptr) *y = S.pending_y;
    if (key != nullptr) *key = static_cast<char>(S.pending_key);
}

}  // namespace

void pump_message() {
    // What the last pass did to the script file shows before the next wait.
    note_script_in_use();
    MSG message;
    BOOL result = GetMessageA(&message, nullptr, 0, 0);
    if (result == 0 || result == -1) {
        S.pending_kind = EventKind::Quit;
        return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    refresh_canvas();
}

int wait_event(int* x, int* y, char* key) {
    S.pending_kind = EventKind::None;
    S.pending_key = 0;
    S.pending_y = 0;
    S.pending_x = 0;
    // No display to take events from: a quit, so that a loop waiting for one ends.
    if (S.graphics_window == nullptr) {
        store_event(x, y, key);
        return EventKind::Quit;
    }

    // The rest of a typed character's bytes come first, one per wait.
    take_typed_byte();
    // At a frame rate the program asked for, a periodic event is armed before the
    // first message, so each tick of the timer completes one; the 50 ms timer's
    // pacing (armed after the first message, completed by the next tick) stays
    // as it always was.
    if (S.frame_rate > 0 && S.pending_kind == EventKind::None && (S.animate || S.single_frame))
        arm_periodic_event();
    while (!event_complete()) {
        pump_message();
        // A quit takes precedence over the script: the user's quit is never lost.
        if (S.pending_kind != EventKind::Quit && take_script_event()) break;
        if (!S.single_frame && !S.animate) continue;
        if (S.pending_kind == EventKind::None) arm_periodic_event();
    }

    record_returned_event();
    store_event(x, y, key);
    return S.quit_requested ? EventKind::Quit : S.pending_kind;
}

UINT timer_period_ms() {
    return S.frame_rate > 0 ? UINT(std::max(1, 1000 / S.frame_rate)) : UINT(timer_interval_ms);
}

int set_frame_rate(int frames_per_second) {
    if (frames_per_second < 0 || frames_per_second > max_frame_rate) {
        const int repaired = frames_per_second < 0 ? 0 : max_frame_rate;
        log_repair("Frame rate of %d not possible, using %d\n", frames_per_second, repaired);
        frames_per_second = repaired;
    }
    S.frame_rate = frames_per_second;
    if (S.graphics_window != nullptr)
        SetTimer(S.graphics_window, timer_id, timer_period_ms(), nullptr);
    return frames_per_second;
}

int set_animation(int mode) {
    if (S.graphics_window == nullptr) return 0;
    switch (mode) {
        case AnimationMode::Halt:
            S.animate = false;
            S.single_frame = false;
            break;
        case AnimationMode::AdvanceFrame: S.single_frame = true; break;
        case AnimationMode::Animate: S.animate = true; break;
        case AnimationMode::Quit: S.quit_requested = true; break;
        default: break;
    }
    return 1;
}
