// Portable USER: the thread's message queue, timers and dispatch.
//
// Implements PostMessageA, SendMessageA, PostQuitMessage, GetMessageA,
// TranslateMessage, DispatchMessageA, SetTimer, KillTimer and GetSystemMetrics.
// GetMessageA first has the presenter show what the program drew since it last
// asked (present_changed_windows, user/paint.cpp), then keeps Windows' order:
// posted messages first, in order (a mouse move posted right after a move to the
// same window replaces it); then the quit message (result 0) once no posted
// message is left; then a WM_PAINT for a visible window with an invalid region;
// then one WM_TIMER for a timer that is due (missed periods coalesce into one
// message); otherwise it blocks in the presenter until the next timer is due or
// input is posted. Time is the presenter's clock (virtual when headless).
//
// A wait that can never end (headless, no input left and no timer: the presenter's
// wait answers false) ends the program with a message on stderr and exit code 1.
// Returning -1 would not do: a loop `while (GetMessageA(...))` takes it for true
// and would spin, and the package takes it for a quit that a program may ignore.
// Nothing is thrown, so the platform behaves the same built without exceptions.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>

#include "../presenter_kit/presenter.h"
#include "activity.h"
#include "user_internal.h"

namespace portable {

namespace {

struct Timer {
    HWND window = nullptr;
    UINT_PTR id = 0;
    int64_t interval = 0;
    int64_t next_due = 0;
    TIMERPROC procedure = nullptr;
};

struct Queue {
    std::deque<MSG> posted;
    bool quit_pending = false;
    int quit_code = 0;
    std::vector<Timer> timers;  // in the order they were set
    UINT_PTR next_thread_timer_id = 1;
};

Queue& queue() {
    static Queue state;
    return state;
}

[[noreturn]] void end_endless_wait() {
    std::fputs(
        "headless: GetMessageA would wait forever: no input queued and no timer running; "
        "the program is ended\n",
        stderr);
    std::fflush(nullptr);
    std::exit(1);
}

// Windows raises shorter intervals to this minimum.
constexpr int64_t minimum_timer_interval = 10;

bool passes_filter(const MSG& m, HWND window, UINT low, UINT high) {
    if (window != nullptr && m.hwnd != window) return false;
    if (low == 0 && high == 0) return true;
    return m.message >= low && m.message <= high;
}

MSG make_message(HWND window, UINT message, WPARAM w, LPARAM l) {
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = w;
    m.lParam = l;
    m.time = DWORD(presenter().now_ms());
    return m;
}

bool take_posted(MSG& out, HWND window, UINT low, UINT high) {
    auto& posted = queue().posted;
    auto found = std::find_if(posted.begin(), posted.end(),
                              [&](const MSG& m) { return passes_filter(m, window, low, high); });
    if (found == posted.end()) return false;
    out = *found;
    posted.erase(found);
    return true;
}

bool take_paint(MSG& out, HWND window, UINT low, UINT high) {
    HWND needing = window_needing_paint(window);
    if (needing == nullptr) return false;
    MSG m = make_message(needing, WM_PAINT, 0, 0);
    if (!passes_filter(m, window, low, high)) return false;
    out = m;
    return true;
}

// The due timer with the earliest due time (the first set, on a tie).
Timer* due_timer(int64_t now, HWND window) {
    Timer* best = nullptr;
    for (Timer& timer : queue().timers) {
        if (timer.next_due > now || (window != nullptr && timer.window != window)) continue;
        if (best == nullptr || timer.next_due < best->next_due) best = &timer;
    }
    return best;
}

bool take_timer(MSG& out, HWND window, UINT low, UINT high) {
    MSG probe = make_message(window, WM_TIMER, 0, 0);
    if (!passes_filter(probe, window, low, high)) return false;
    int64_t now = presenter().timer_clock_ms();
    Timer* timer = due_timer(now, window);
    if (timer == nullptr) return false;
    // Periods missed meanwhile coalesce: the next due time moves past now by
    // whole intervals.
    int64_t behind = now - timer->next_due;
    timer->next_due += (behind / timer->interval + 1) * timer->interval;
    out = make_message(timer->window, WM_TIMER, timer->id,
                       reinterpret_cast<LPARAM>(timer->procedure));
    return true;
}

// When the next timer GetMessageA may return is due (-1: none). Timers the
// filter excludes do not count, or the wait would never move on.
int64_t next_deadline(HWND window, UINT low, UINT high) {
    int64_t deadline = -1;
    if (!passes_filter(make_message(window, WM_TIMER, 0, 0), window, low, high)) return -1;
    for (const Timer& timer : queue().timers) {
        if (window != nullptr && timer.window != window) continue;
        if (deadline < 0 || timer.next_due < deadline) deadline = timer.next_due;
    }
    return deadline;
}

Timer* find_timer(HWND window, UINT_PTR id) {
    for (Timer& timer : queue().timers) {
        if (timer.window == window && timer.id == id) return &timer;
    }
    return nullptr;
}

}  // namespace

void forget_window_messages(HWND window) {
    Queue& q = queue();
    std::erase_if(q.timers, [&](const Timer& t) { return t.window == window; });
    std::erase_if(q.posted, [&](const MSG& m) { return m.hwnd == window; });
}

int64_t shortest_timer_period_ms() {
    int64_t shortest = 0;
    for (const Timer& timer : queue().timers) {
        if (shortest == 0 || timer.interval < shortest) shortest = timer.interval;
    }
    return shortest;
}

void reset_queue() {
    Queue& q = queue();
    q.posted.clear();
    q.timers.clear();
    q.quit_pending = false;
    q.quit_code = 0;
    q.next_thread_timer_id = 1;
}

}  // namespace portable

using namespace portable;

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM w, LPARAM l) {
    // NULL posts a message to the thread itself; a window must be alive.
    if (window != nullptr && live_window(window) == nullptr) return FALSE;
    // Mouse moves coalesce as Windows' input does: a move that finds the
    // window's previous move still last in the queue takes its place, so a
    // program that falls behind gets the newest position, not a backlog.
    auto& posted = queue().posted;
    if (message == WM_MOUSEMOVE && !posted.empty() && posted.back().message == WM_MOUSEMOVE &&
        posted.back().hwnd == window) {
        posted.back() = make_message(window, message, w, l);
        return TRUE;
    }
    posted.push_back(make_message(window, message, w, l));
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM w, LPARAM l) {
    HWND__* record = live_window(window);
    if (record == nullptr || record->window_class.procedure == nullptr) return 0;
    return record->window_class.procedure(window, message, w, l);
}

void WINAPI PostQuitMessage(int exit_code) {
    queue().quit_pending = true;
    queue().quit_code = exit_code;
}

namespace {

// Takes the next message for GetMessageA (see there).
BOOL take_message(LPMSG message, HWND window, UINT low, UINT high) {
    // What the program drew since it last asked is shown now, once, before
    // anything is handed out or waited for (nothing draws inside the loop).
    present_changed_windows();
    presenter().poll();
    for (;;) {
        if (take_posted(*message, window, low, high)) return message->message != WM_QUIT;
        if (queue().quit_pending) {
            queue().quit_pending = false;
            *message = make_message(nullptr, WM_QUIT, WPARAM(queue().quit_code), 0);
            return FALSE;
        }
        if (take_paint(*message, window, low, high)) return TRUE;
        if (take_timer(*message, window, low, high)) return TRUE;
        check_entry_point_before_waiting();
        if (!presenter().wait(next_deadline(window, low, high))) end_endless_wait();
    }
}

}  // namespace

BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT low, UINT high) {
    if (message == nullptr) return -1;
    if (window != nullptr && live_window(window) == nullptr) return -1;
    // The program waits: the activity record (user/activity.h) knows it is not stuck.
    note_get_message_started();
    BOOL result = take_message(message, window, low, high);
    note_get_message_returned();
    return result;
}

BOOL WINAPI TranslateMessage(const MSG* message) {
    if (message == nullptr || message->message != WM_KEYDOWN) return FALSE;
    if ((message->lParam & key_carries_character) == 0) return FALSE;
    auto character = WPARAM((message->lParam >> 16) & 0xFF);
    if (character == 0) return FALSE;
    // The character comes next, before anything posted after the key-down.
    MSG typed = *message;
    typed.message = WM_CHAR;
    typed.wParam = character;
    queue().posted.push_front(typed);
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    if (message == nullptr) return 0;
    if (message->hwnd != nullptr && live_window(message->hwnd) == nullptr) return 0;
    // A timer set with a callback runs it, also for a thread timer without a window.
    if (message->message == WM_TIMER && message->lParam != 0) {
        auto procedure = reinterpret_cast<TIMERPROC>(message->lParam);
        procedure(message->hwnd, WM_TIMER, message->wParam, message->time);
        return 0;
    }
    return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
    if (window != nullptr && live_window(window) == nullptr) return 0;
    Queue& q = queue();
    // A thread timer (no window) gets an id of its own unless it names an existing one.
    if (window == nullptr && (id == 0 || find_timer(nullptr, id) == nullptr)) {
        id = q.next_thread_timer_id++;
    }
    int64_t interval = std::max<int64_t>(elapse, minimum_timer_interval);
    Timer* timer = find_timer(window, id);
    if (timer == nullptr) {
        q.timers.push_back({window, id, 0, 0, nullptr});
        timer = &q.timers.back();
    }
    // Setting an existing id again replaces its interval and restarts it.
    timer->interval = interval;
    timer->next_due = presenter().now_ms() + interval;
    timer->procedure = procedure;
    return id != 0 ? id : 1;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    Queue& q = queue();
    size_t before = q.timers.size();
    std::erase_if(q.timers, [&](const Timer& t) { return t.window == window && t.id == id; });
    // A WM_TIMER already taken from the queue is not withdrawn; none is ever
    // pending here, since timer messages are made only when GetMessageA asks.
    return q.timers.size() != before;
}

int WINAPI GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN: return presenter().screen_size().cx;
        case SM_CYSCREEN: return presenter().screen_size().cy;
        default: return 0;
    }
}
