// Portable platform: whole numbers typed by a user (options, input plans).
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

namespace portable {

// A decimal integer: an optional '-' and digits only, the whole word, within
// [low, high]; false for anything else (blanks, '+', a value out of range).
inline bool parse_whole_number(std::string_view word, int64_t low, int64_t high, int64_t& value) {
    int64_t number = 0;
    const char* end = word.data() + word.size();
    auto [stop, failure] = std::from_chars(word.data(), end, number);
    if (word.empty() || failure != std::errc() || stop != end) return false;
    if (number < low || number > high) return false;
    value = number;
    return true;
}

}  // namespace portable
