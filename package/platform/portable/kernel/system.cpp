// Portable KERNEL32: system time, debug output and the thread's execution state.
#include "system.h"

#include <chrono>

#include "../win32_portable.h"

namespace portable {
namespace {
bool time_fixed = false;
bool held_working = false;
uint64_t idle_resets = 0;
int64_t fixed_seconds = 0;
std::function<void(const char*)>& debug_sink() {
    static std::function<void(const char*)> sink;
    return sink;
}
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t epoch_difference = 11644473600LL;
}  // namespace

void set_fixed_time(int64_t unix_seconds) {
    time_fixed = true;
    fixed_seconds = unix_seconds;
}
void clear_fixed_time() {
    time_fixed = false;
}
void set_debug_output_sink(std::function<void(const char*)> sink) {
    debug_sink() = std::move(sink);
}

bool system_required() {
    return held_working;
}
uint64_t idle_timer_resets() {
    return idle_resets;
}

}  // namespace portable

EXECUTION_STATE WINAPI SetThreadExecutionState(EXECUTION_STATE flags) {
    EXECUTION_STATE previous =
        portable::held_working ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS;
    if ((flags & ES_CONTINUOUS) != 0)
        portable::held_working = (flags & ES_SYSTEM_REQUIRED) != 0;
    else if ((flags & ES_SYSTEM_REQUIRED) != 0)
        ++portable::idle_resets;
    return previous;
}

void WINAPI GetSystemTimeAsFileTime(LPFILETIME file_time) {
    if (file_time == nullptr) return;
    int64_t ticks;
    if (portable::time_fixed) {
        ticks = (portable::fixed_seconds + portable::epoch_difference) * 10000000LL;
    } else {
        auto since_unix = std::chrono::system_clock::now().time_since_epoch();
        ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since_unix).count() / 100 +
                portable::epoch_difference * 10000000LL;
    }
    file_time->dwLowDateTime = DWORD(uint64_t(ticks) & 0xFFFFFFFFu);
    file_time->dwHighDateTime = DWORD(uint64_t(ticks) >> 32);
}

void WINAPI OutputDebugStringA(LPCSTR text) {
    if (text != nullptr && portable::debug_sink()) portable::debug_sink()(text);
}
