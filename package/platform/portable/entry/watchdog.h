// Portable entry point: the watchdog, a thread of its own that watches the run in
// real time while the program's thread may be stuck in a loop of its own:
//   - --timeout: a run not ended after that many seconds is ended, with a message
//     and exit code 4, its unfinished output files removed (a grading script never
//     hangs on an endless loop, even one that never calls the package again);
//   - with real windows, a program that has not waited for an event for several
//     seconds (user/activity.h) while its windows are open is told, once, that
//     they cannot update or close until it waits.
// Builds without threads (the page, WASI) have no watchdog and no --timeout; a
// page checks for the long stall when the program waits again instead.
#pragma once

#include <cstdint>
#include <string>

namespace portable {

// The exit code of a run that --timeout ended.
constexpr int timeout_exit_code = 4;

// Whether this build has the watchdog thread (and so --timeout).
#if !defined(__wasi__) && !defined(__EMSCRIPTEN__)
constexpr bool watchdog_available = true;
#else
constexpr bool watchdog_available = false;
#endif

// Starts the watchdog for `timeout_seconds` (0: no limit); `program` names the
// program in its messages. Without threads it does nothing.
void start_watchdog(const std::string& program, int64_t timeout_seconds);

// From now on (real windows are open or about to be), watches for a program that
// stops waiting for events. Without threads the check runs on the next wait.
void watch_waiting();

// WinMain has returned: the waits are no longer watched.
void stop_watching_waits();

// The run ends: the timeout no longer applies.
void stop_watchdog();

}  // namespace portable
