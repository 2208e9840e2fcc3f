// Portable USER: the record of the program's use of its queue (see activity.h).
#include "activity.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string_view>

#include "../presenter_kit/whole_number.h"

namespace portable {

namespace {

std::atomic<int64_t> live_windows{0};
std::atomic<bool> created{false};
std::atomic<bool> waited_with_windows{false};
std::atomic<bool> in_get_message{false};
std::atomic<int64_t> last_activity_ms{0};  // the last return from GetMessageA, or the first window
std::atomic<bool> stall_said{false};
std::atomic<void (*)()> gap_check{nullptr};

}  // namespace

int64_t steady_now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool windows_were_created() {
    return created.load();
}

bool waited_with_windows_open() {
    return waited_with_windows.load();
}

int64_t ms_without_waiting(int64_t now_ms) {
    if (in_get_message.load() || live_windows.load() == 0) return 0;
    int64_t gap = now_ms - last_activity_ms.load();
    return gap > 0 ? gap : 0;
}

bool first_long_stall(int64_t now_ms, int64_t limit_ms) {
    if (stall_said.load() || ms_without_waiting(now_ms) < limit_ms) return false;
    bool expected = false;
    return stall_said.compare_exchange_strong(expected, true);
}

int64_t not_waiting_limit_ms() {
    constexpr int64_t default_limit = 5000;
    const char* text = std::getenv("TAVLO_NOT_WAITING_MS");
    int64_t limit = 0;
    if (text == nullptr || !parse_whole_number(std::string_view(text), 1, 86'400'000, limit))
        return default_limit;
    return limit;
}

void note_live_windows(size_t count) {
    int64_t before = live_windows.exchange(int64_t(count));
    if (count == 0) return;
    created.store(true);
    // The first window starts the time the program goes without waiting.
    if (before == 0) last_activity_ms.store(steady_now_ms());
}

void note_get_message_started() {
    if (live_windows.load() == 0) return;
    waited_with_windows.store(true);
    if (auto check = gap_check.load()) check();
    in_get_message.store(true);
}

void note_get_message_returned() {
    last_activity_ms.store(steady_now_ms());
    in_get_message.store(false);
}

void reset_activity() {
    live_windows.store(0);
    created.store(false);
    waited_with_windows.store(false);
    in_get_message.store(false);
    stall_said.store(false);
}

void set_wait_gap_check(void (*check)()) {
    gap_check.store(check);
}

}  // namespace portable
