// Portable KERNEL32: hooks of the platform itself (not Win32) for the entry point
// and tests: a fixed system time, where OutputDebugStringA's texts go, and
// whether the program has said it is busy.
#pragma once

#include <cstdint>
#include <functional>

namespace portable {

// From now on GetSystemTimeAsFileTime reports this Unix time (whole seconds).
void set_fixed_time(int64_t unix_seconds);
// Back to the real clock.
void clear_fixed_time();

// Whether the program holds the system in the working state
// (SetThreadExecutionState with ES_CONTINUOUS | ES_SYSTEM_REQUIRED), and how many
// times it has reset the idle timer (ES_SYSTEM_REQUIRED alone) so far.
bool system_required();
uint64_t idle_timer_resets();

// Every text given to OutputDebugStringA is handed to `sink` (none: dropped).
void set_debug_output_sink(std::function<void(const char*)> sink);

}  // namespace portable
