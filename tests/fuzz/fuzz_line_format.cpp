// libFuzzer target: the line formatter against the C library's snprintf on
// formats and arguments built from the input bytes (format_cases.h): sequential
// and numbered arguments, widths and precisions past the formatter's cuts,
// arrays without NUL at the exact end of their heap blocks, wide characters and
// long doubles. Any difference in the kept characters, the count or a %n value
// aborts; AddressSanitizer stops any read past an array.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "format_cases.h"
#include "format_compare.h"
#include "line_format.h"

namespace {

using format_compare::Formatted;
using format_compare::ours;
using format_compare::theirs;

void differ(const std::string& format, const Formatted& got, const Formatted& expected) {
    std::fprintf(stderr, "format: %s\nours:   %d \"%s\"\ntheirs: %d \"%s\"\n", format.c_str(),
                 got.count, got.text.c_str(), expected.count, expected.text.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t used = 0;
    format_cases::Pick pick = [&](uint32_t bound) -> uint32_t {
        if (bound <= 1) return 0;
        uint32_t value = 0;
        for (int k = 0; k < 2; ++k) value = value << 8 | (used < size ? data[used++] : 0);
        return value % bound;
    };
    const format_cases::Case sequential = format_cases::sequential_case(pick);
    int our_count = -7, their_count = -7;
    Formatted got = format_cases::call_sequential(ours, sequential, &our_count);
    Formatted expected = format_cases::call_sequential(theirs, sequential, &their_count, true);
    if (!(got == expected) || our_count != their_count) differ(sequential.format, got, expected);
    const format_cases::Case numbered = format_cases::numbered_case(pick);
    got = format_cases::call_numbered(ours, numbered);
    expected = format_cases::call_numbered(theirs, numbered, true);
    if (!(got == expected)) differ(numbered.format, got, expected);
    return 0;
}
