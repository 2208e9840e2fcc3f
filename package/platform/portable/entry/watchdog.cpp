// Portable entry point: the watchdog (see watchdog.h).
//
// One thread, started when first needed and never joined: it sleeps on a
// condition variable until the --timeout deadline or the next look at the
// program's waits, and its state lives as long as the process, so a program that
// ends through exit() while the thread sleeps leaves nothing half destroyed.
//
// The program's thread may be blocked anywhere when the watchdog acts: in a write
// to a full pipe that nobody reads (holding that stream's lock), or in the open of
// a FIFO that no reader opens. So the watchdog never touches the program's
// streams: its lines go to standard error through a file description of its own,
// written without blocking (and dropped when they cannot be written at once).
#include "watchdog.h"

#include <cstdio>

#include "../image/output_file.h"
#include "../user/activity.h"

#if !defined(__wasi__) && !defined(__EMSCRIPTEN__)
#define TAVLO_WATCHDOG_THREAD 1
#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
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

// Writes a line to standard error without waiting for anything the program's
// thread may hold. A pipe, a FIFO or a terminal is opened anew through /proc, so
// the new file description can be non-blocking without changing the program's
// (which other processes may share); a full pipe or a FIFO without a reader then
// refuses at once. Where /proc is missing, a regular file is written directly
// (such a write never waits for a reader) and a socket with a non-blocking send.
// Anything else is skipped. SIGPIPE is blocked on the watchdog's thread, so a
// pipe without a reader answers EPIPE instead of ending the process.
void say_without_blocking(const char* text, size_t length) {
    int fd = ::open("/proc/self/fd/2", O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        ssize_t written = ::write(fd, text, length);
        (void)written;
        ::close(fd);
        return;
    }
    struct stat status;
    if (fstat(STDERR_FILENO, &status) != 0) return;
    if (S_ISREG(status.st_mode)) {
        ssize_t written = ::write(STDERR_FILENO, text, length);
        (void)written;
    } else if (S_ISSOCK(status.st_mode)) {
        ssize_t sent = ::send(STDERR_FILENO, text, length, MSG_DONTWAIT | MSG_NOSIGNAL);
        (void)sent;
    }
}

// The timeout: the message, what the program wrote so far (given 2 s on a thread
// of its own, so a stream blocked in a write cannot hold the end back), the
// unfinished output files removed, and the end without the exit handlers, which
// belong to the program's thread, still running.
[[noreturn]] void end_timed_out_run(int64_t timeout_seconds, int64_t now) {
    char hint[160] = "";
    int64_t stuck = ms_without_waiting(now);
    if (stuck >= 1000) {
        std::snprintf(hint, sizeof hint,
                      "; it had not waited for an event for %s (a loop that never calls "
                      "wait_event?)",
                      seconds_text(stuck / 1000 * 1000).c_str());
    }
    char message[1024];
    int length = std::snprintf(
        message, sizeof message,
        "%s: --timeout %lld: the run had not ended after %lld s and was ended (exit code %d)%s\n",
        program().c_str(), static_cast<long long>(timeout_seconds),
        static_cast<long long>(timeout_seconds), timeout_exit_code, hint);
    if (length > 0) {
        // A name too long for the line keeps the line's end.
        if (size_t(length) >= sizeof message) message[sizeof message - 2] = '\n';
        say_without_blocking(message, std::min(size_t(length), sizeof message - 1));
    }
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
    const std::string line =
        program() + ": the program has not waited for an event (wait_event) for " +
        seconds_text(limit_ms) + ": its windows cannot update or close until it waits\n";
    say_without_blocking(line.data(), line.size());
}

void watch_run() {
    sigset_t pipe_signal;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
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
