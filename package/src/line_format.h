// Formatting of message-log lines and printed texts into the 1024-byte line
// buffer.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "package_state.h"

// Formats `format` with `args` as vsnprintf(buffer, log_line_buffer, format, args)
// does, and returns what the package reports for it: the number of characters
// kept, at most 1023, or 0 with an empty buffer when the formatting fails (as when
// the whole result would be longer than INT_MAX characters). A null format is "".
//
// The cost does not grow with field widths and precisions: a directive with a
// large width or precision is formatted with them cut to what still decides the
// kept characters, and its full length, which the count and %n need, is worked
// out from that. Strings cost a scan of their bytes, up to their NUL or their
// precision, never further than the C library reads. Refused, with the buffer
// holding a line that says so ("format refused at ...") and its length returned:
// numbered arguments mixed with unnumbered ones, left out, or numbered past 64
// (or the C library's NL_ARGMAX); '*' followed by digits without '$'; a width or
// precision above 4,096 in a format with a directive C does not define (%Ld, %hc,
// %qd, unknown conversions); and %Lg/%LG at a precision above 4,096 of a long
// double whose exact expansion is longer than 4,096 digits.
int format_line(char (&buffer)[log_line_buffer], const char* format, va_list args);

// The formatter's work so far, counted only in the instrumented copy of the
// package that tests link (TAVLO_FORMAT_WORK, package/CMakeLists.txt): characters
// produced by the C library for single directives, plus bytes of literal text and
// strings visited, for tests that check the cost is bounded by what is kept.
#ifdef TAVLO_FORMAT_WORK
extern int64_t line_format_work;
#endif
