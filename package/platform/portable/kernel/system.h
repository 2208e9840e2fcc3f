// Portable KERNEL32: hooks of the platform itself (not Win32) for the entry point
// and tests: a fixed system time, and where OutputDebugStringA's texts go.
#pragma once

#include <cstdint>
#include <functional>

namespace portable {

// From now on GetSystemTimeAsFileTime reports this Unix time (whole seconds).
void set_fixed_time(int64_t unix_seconds);
// Back to the real clock.
void clear_fixed_time();

// Every text given to OutputDebugStringA is handed to `sink` (none: dropped).
void set_debug_output_sink(std::function<void(const char*)> sink);

}  // namespace portable
