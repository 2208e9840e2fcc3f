// The line formatter and the C library's vsnprintf side by side, for the tests
// and the fuzz target: what each keeps of one format (its first 1023 characters)
// and the count it answers.
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>

#include "line_format.h"

namespace format_compare {

struct Formatted {
    int count;
    std::string text;
    bool operator==(const Formatted&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Formatted& f) {
    return out << f.count << " \"" << f.text.substr(0, 60) << (f.text.size() > 60 ? "...\"" : "\"");
}

// The line formatter's result; the buffer is filled first, so a line left
// without its NUL shows.
inline Formatted ours(const char* format, ...) {
    char buffer[log_line_buffer];
    std::memset(buffer, 'Z', sizeof buffer);
    va_list args;
    va_start(args, format);
    int count = format_line(buffer, format, args);
    va_end(args);
    return {count, buffer};
}

// What the C library keeps: vsnprintf cut to 1023 characters, or nothing when it
// fails.
inline Formatted theirs(const char* format, ...) {
    char buffer[log_line_buffer];
    va_list args;
    va_start(args, format);
    int count = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (count < 0) return {0, ""};
    return {std::min(count, log_line_buffer - 1), buffer};
}

}  // namespace format_compare
