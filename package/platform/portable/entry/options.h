// Portable entry point: the platform's own command-line options.
//
// The entry point takes its options from anywhere on the command line (up to a
// lone `--`) and hands everything else, unused and in order, to WinMain as the
// command-line tail.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "../win32_portable.h"

namespace portable {

struct EntryOptions {
    bool help = false;
    bool headless = false;
    int64_t frames = 0;  // 0: no frame limit
    std::string save_png;
    std::string gif;
    std::string input_plan;
    std::string log;
    std::optional<int64_t> seed;
    std::optional<SIZE> client;
    std::string tail;  // what WinMain receives
};

// Parses argv. On a bad option or value returns false with `error` set.
bool parse_entry_options(int argc, char** argv, EntryOptions& options, std::string& error);

// The --help text.
std::string entry_usage(const std::string& program);

}  // namespace portable
