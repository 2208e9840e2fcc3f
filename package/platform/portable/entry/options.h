// Portable entry point: the platform's own command-line options.
//
// The entry point takes its options from anywhere on the command line (up to a
// lone `--`) and hands everything else, unused and in order, to WinMain as the
// command-line tail.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "../win32_portable.h"

namespace portable {

// The latest --seed: the system time counts 100 ns ticks from 1601 in a signed
// 64-bit value, which holds 922337203685 s, of which 11644473600 s come before 1970.
constexpr int64_t max_seed = INT64_MAX / 10'000'000 - 11'644'473'600;

// The longest --timeout, in seconds: a week.
constexpr int64_t max_timeout = 7 * 24 * 3600;

// The largest client side --client accepts: what a screen can show.
constexpr int64_t max_client_side = 8192;

struct EntryOptions {
    bool help = false;
    bool headless = false;
    int64_t frames = 0;   // 0: no frame limit
    int64_t timeout = 0;  // seconds of real time; 0: none
    std::string save_png;
    std::string gif;
    std::string input_plan;
    std::string log;
    std::optional<int64_t> seed;
    std::optional<SIZE> client;
    // --save-at TICK:FILE.png, in the order given: pictures taken when the
    // virtual clock reaches a tick (50 ms each).
    struct PictureAt {
        int64_t tick = 0;
        std::string path;
    };
    std::vector<PictureAt> save_at;
    std::string summary;  // --summary FILE: how the run ended
    std::string tail;     // what WinMain receives
};

// Parses argv. On a bad option or value returns false with `error` set. Any
// argument starting with -- before a lone -- must be one of the platform's.
bool parse_entry_options(int argc, char** argv, EntryOptions& options, std::string& error);

// Whether the files the options name are separate files: false, with `error`
// naming both options, when two of --input, --log, --save and --gif are one file
// (output_file.h: same_file), so that neither a picture nor the log replaces the
// other or the input plan. `--log -` is standard output, no file.
bool check_separate_files(const EntryOptions& options, std::string& error);

// The --help text.
std::string entry_usage(const std::string& program);

}  // namespace portable
