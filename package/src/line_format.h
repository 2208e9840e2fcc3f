// Formatting of message-log lines and printed texts into the 1024-byte line
// buffer.
#pragma once

#include <cstdarg>

#include "package_state.h"

// Formats `format` with `args` as vsnprintf(buffer, log_line_buffer, format, args)
// does, and returns what the package reports for it: the number of characters
// kept, at most 1023, or 0 with an empty buffer when the formatting fails (as when
// the whole result would be longer than INT_MAX characters). A null format is "".
//
// The cost does not grow with field widths and precisions: formats whose widths,
// precisions and strings are all short go to vsnprintf as they are; otherwise a
// conversion with a large width or precision is formatted with them cut to what
// still decides the kept characters, and its full length, which the count and %n
// need, is worked out from that, and long strings cost a scan of their bytes.
// Formats this formatter does not take apart (numbered arguments, conversions or
// modifiers beyond the common ones) always go to vsnprintf.
int format_line(char (&buffer)[log_line_buffer], const char* format, va_list args);
