// Portable entry point: the watchdog (see watchdog.h).
//
// One thread, started when first needed and never joined: it sleeps on a
// condition variable until the --timeout deadline or the next look at the
// program's waits, and its state lives as long as the process, so a program that
// ends through exit() while the thread sleeps leaves nothing half destroyed.
#include "watchdog.h"

#include <cstdio>

#include "../image/output_file.h"
#include "../user/activity.h"

#if !defined(__wasi__) && !defined(__EMSCRIPTEN__)
#define TAVLO_WATCHDOG_THREAD 1
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace portable {

namespace {

// Never destroyed: the watchdog may still read it while the process exits.
std::string& program() {
    static std::string* name = new std::string("program");
    return *name;
}

// "5 s", or "0.2 s" for a test's short limit.
std::string seconds_text(int64_t ms) {
    char text[40];
    if (ms % 1000 == 0) {
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(ms / 1000));
    } else {
        std::snprintf(text, sizeof text, "%.1f s", double(ms) / 1000);
    }
    return text;
}

#if defined(TAVLO_WATCHDOG_THREAD)

struct Watch {
    std::mutex mutex;
    std::condition_variable changed;
    bool thread_started = false;
    bool ended = false;
    int64_t timeout_seconds = 0;
    int64_t deadline_ms = -1;  // steady clock; -1: no timeout
    bool waits_watched = false;
    int64_t stall_limit_ms = 0;
};

Watch& watch() {
    static Watch* state = new Watch;
    return *state;
}

// The timeout: the message, what the program wrote so far (given 2 s, so a full
// pipe nobody reads cannot hold the end back), the unfinished output files
// removed, and the end without the exit handlers, which belong to the program's
// thread, still running.
[[noreturn]] void end_timed_out_run(int64_t timeout_seconds, int64_t now) {
    std::string hint;
    int64_t stuck = ms_without_waiting(now);
    if (stuck >= 1000) {
        hint = "; it had not waited for an event for " + seconds_text(stuck / 1000 * 1000) +
               " (a loop that never calls wait_event?)";
    }
    std::fprintf(
        stderr,
        "%s: --timeout %lld: the run had not ended after %lld s and was ended (exit code %d)%s\n",
        program().c_str(), static_cast<long long>(timeout_seconds),
        static_cast<long long>(timeout_seconds), timeout_exit_code, hint.c_str());
    static std::mutex flushed_mutex;
    static std::condition_variable flushed_signal;
    static bool flushed = false;
    std::thread([] {
        std::fflush(nullptr);
        std::lock_guard<std::mutex> lock(flushed_mutex);
        flushed = true;
        flushed_signal.notify_all();
    }).detach();
    {
        std::unique_lock<std::mutex> lock(flushed_mutex);
        flushed_signal.wait_for(lock, std::chrono::seconds(2), [] { return flushed; });
    }
    remove_unfinished_output_files();
    _exit(timeout_exit_code);
}

void say_long_stall(int64_t limit_ms) {
    std::fprintf(stderr,
                 "%s: the program has not waited for an event (wait_event) for %s: its "
                 "windows cannot update or close until it waits\n",
                 program().c_str(), seconds_text(limit_ms).c_str());
}

void watch_run() {
    Watch& w = watch();
    std::unique_lock<std::mutex> lock(w.mutex);
    while (!w.ended) {
        int64_t now = steady_now_ms();
        if (w.deadline_ms >= 0 && now >= w.deadline_ms) end_timed_out_run(w.timeout_seconds, now);
        if (w.waits_watched && first_long_stall(now, w.stall_limit_ms)) {
            say_long_stall(w.stall_limit_ms);
            w.waits_watched = false;  // said once
        }
        int64_t wake = w.deadline_ms;
        if (w.waits_watched) {
            int64_t look = now + std::clamp<int64_t>(w.stall_limit_ms / 5, 10, 1000);
            wake = wake < 0 ? look : std::min(wake, look);
        }
        if (wake < 0) {
            w.changed.wait(lock);
        } else {
            w.changed.wait_for(lock, std::chrono::milliseconds(wake - now));
        }
    }
}

// Call with the mutex held.
void ensure_thread(Watch& w) {
    if (w.thread_started) return;
    w.thread_started = true;
    std::thread(watch_run).detach();
}

#else

int64_t gap_limit_ms = 0;

// A page: the program waits again after a stall; nothing could run meanwhile.
void check_gap_on_wait() {
    int64_t now = steady_now_ms();
    int64_t gap = ms_without_waiting(now);
    if (!first_long_stall(now, gap_limit_ms)) return;
    std::fprintf(stderr,
                 "%s: the program did not wait for an event (wait_event) for %s: its windows "
                 "could not update or close until it waited\n",
                 program().c_str(), seconds_text(gap / 100 * 100).c_str());
}

#endif

}  // namespace

#if defined(TAVLO_WATCHDOG_THREAD)

void start_watchdog(const std::string& name, int64_t timeout_seconds) {
    program() = name;
    if (timeout_seconds <= 0) return;
    Watch& w = watch();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.timeout_seconds = timeout_seconds;
    w.deadline_ms = steady_now_ms() + timeout_seconds * 1000;
    ensure_thread(w);
    w.changed.notify_all();
}

void watch_waiting() {
    Watch& w = watch();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.waits_watched = true;
    w.stall_limit_ms = not_waiting_limit_ms();
    ensure_thread(w);
    w.changed.notify_all();
}

void stop_watching_waits() {
    Watch& w = watch();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.waits_watched = false;
    w.changed.notify_all();
}

void stop_watchdog() {
    Watch& w = watch();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.ended = true;
    w.waits_watched = false;
    w.deadline_ms = -1;
    w.changed.notify_all();
}

#else

void start_watchdog(const std::string& name, int64_t) {
    program() = name;
}

void watch_waiting() {
    gap_limit_ms = not_waiting_limit_ms();
    set_wait_gap_check(check_gap_on_wait);
}

void stop_watching_waits() {
    set_wait_gap_check(nullptr);
}

void stop_watchdog() {}

#endif

}  // namespace portable
