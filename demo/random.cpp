// The demo's random generator.
#include "random.h"

#include "tavlo.h"

namespace {
// 100-ns ticks per second, and seconds from 1601-01-01 (the system time's
// origin) to 1970-01-01 (the calendar time's origin).
constexpr uint64_t ticks_per_second = 10000000u;
constexpr uint64_t seconds_1601_to_1970 = 11644473600u;
}  // namespace

void seed_random(RandomGenerator& random) {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    uint64_t ticks = (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    // Keep the low 32 bits of the seconds, as a 32-bit calendar time would.
    random.state = uint32_t(ticks / ticks_per_second - seconds_1601_to_1970);
}

int random_value(RandomGenerator& random) {
    random.state = random.state * 214013u + 2531011u;
    return int((random.state >> 16) & 0x7FFFu);
}
