// Script recording and playback: the events wait_event returns are written to
// "TAVLO.SCR" as text lines, one event per line, and read back in place of live
// input.
//
// Lines: "TAVLO_MOUSE(%d, %d);", "TAVLO_KBD(%d);" and "TAVLO_PERIODIC(%d);", where a
// periodic line stands for that many consecutive periodic events. The reader
// decides by the seventh character (K, M or P). A line it cannot read whole -
// too short, without the numbers its kind needs, with a number too long for the
// int range - is unrecognised, and ends playback with a message like the end of
// the file does.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "package_state.h"

namespace {

PackageState& S = package_state;

constexpr int line_buffer_size = 512;   // a line of up to 511 characters is read at once
constexpr int number_buffer_size = 12;  // 11 characters and the terminator

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Reads one line into `line` (at most 511 characters, the newline kept). The rest
// of a longer line is skipped, so it never reads as a new line. Returns false at
// the end of the file, including a last line without a newline.
bool read_line(char (&line)[line_buffer_size]) {
    if (std::fgets(line, line_buffer_size, S.script_stream) == nullptr) return false;
    size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] != '\n') {
        int c;
        do c = std::fgetc(S.script_stream);
        while (c != EOF && c != '\n');
    }
    return !std::feof(S.script_stream);
}

// A carriage return before the newline is part of the line end.
bool is_empty_line(const char* line) {
    return line[0] == '\n' || (line[0] == '\r' && line[1] == '\n');
}

// Takes the number run that starts at the first character at or after `*cursor`
// for which `starts` holds; the run continues while `continues` holds. The run is
// converted as an optional '-' then digits (so "3-4" gives 3); it must hold a
// digit, fit in 11 characters and in an int. Advances `*cursor` past the run.
template <typename Starts, typename Continues>
bool take_number(const char** cursor, Starts starts, Continues continues, int* value) {
    const char* p = *cursor;
    while (*p != '\0' && *p != '\n' && *p != '\r' && !starts(p)) ++p;
    if (*p == '\0' || *p == '\n' || *p == '\r') return false;
    const char* run = p;
    while (continues(*p)) ++p;
    size_t run_length = size_t(p - run);
    if (run_length >= size_t(number_buffer_size)) return false;
    char number[number_buffer_size];
    std::memcpy(number, run, run_length);
    number[run_length] = '\0';
    *cursor = p;

    const char* digits = number[0] == '-' ? number + 1 : number;
    if (!is_digit(digits[0])) return false;
    errno = 0;
    long long converted = std::strtoll(number, nullptr, 10);
    if (errno == ERANGE || converted < INT_MIN || converted > INT_MAX) return false;
    *value = int(converted);
    return true;
}

bool digit_starts(const char* p) {
    return is_digit(*p);
}
bool signed_starts(const char* p) {
    return is_digit(*p) || *p == '-';
}
// A key may carry a sign (characters above 127 are written as negative numbers).
bool key_starts(const char* p) {
    return is_digit(*p) || (*p == '-' && is_digit(p[1]));
}
bool digit_continues(char c) {
    return is_digit(c);
}
bool signed_continues(char c) {
    return is_digit(c) || c == '-';
}

bool parse_key(const char* line) {
    int value;
    const char* cursor = line + 6;
    if (!take_number(&cursor, key_starts, signed_continues, &value)) return false;
    S.pending_kind = EventKind::Key;
    S.pending_key = static_cast<signed char>(value & 0xFF);
    return true;
}

bool parse_mouse(const char* line) {
    int x, y;
    const char* cursor = line + 6;
    if (!take_number(&cursor, signed_starts, signed_continues, &x)) return false;
    if (!take_number(&cursor, signed_starts, signed_continues, &y)) return false;
    S.pending_kind = EventKind::Mouse;
    S.pending_x = x;
    S.pending_y = y;
    return true;
}

// A counted line delivers one periodic event now and the rest, one per call, from
// the count.
bool parse_periodic(const char* line) {
    int count;
    const char* cursor = line + 6;
    if (!take_number(&cursor, digit_starts, digit_continues, &count)) return false;
    S.pending_kind = EventKind::Periodic;
    S.periodic_count = count > 0 ? count - 1 : 0;
    return true;
}

bool parse_line(const char* line) {
    if (std::strlen(line) < 7) return false;
    switch (line[6]) {
        case 'K': return parse_key(line);
        case 'M': return parse_mouse(line);
        case 'P': return parse_periodic(line);
        default: return false;
    }
}

// Ends playback after trouble with the script: the message, playback off with its
// check mark removed, and the stream closed, so the next playback starts afresh.
int end_playback(const char* message) {
    log_printf(message, script_file_name);
    stop_playback();
    close_script();
    return 0;
}

}  // namespace

void record_event(int kind, int x, int y, signed char key) {
    if (S.script_stream == nullptr) {
        S.script_stream = std::fopen(script_file_name, "wt");
        if (S.script_stream == nullptr) {
            log_printf("Cannot open script file %s for writing\n", script_file_name);
            return;
        }
    }
    switch (kind) {
        case EventKind::Mouse: std::fprintf(S.script_stream, "TAVLO_MOUSE(%d, %d);\n", x, y); break;
        case EventKind::Key: std::fprintf(S.script_stream, "TAVLO_KBD(%d);\n", int(key)); break;
        case EventKind::Periodic:
            std::fprintf(S.script_stream, "TAVLO_PERIODIC(%d);\n", S.periodic_count);
            break;
        default: break;
    }
}

int read_script_event() {
    if (S.script_stream == nullptr) {
        S.script_stream = std::fopen(script_file_name, "rt");
        if (S.script_stream == nullptr)
            return end_playback("Cannot open script file %s for reading\n");
    }
    if (S.periodic_count > 0) {
        --S.periodic_count;
        S.pending_kind = EventKind::Periodic;
        return 1;
    }
    char line[line_buffer_size];
    do {
        if (!read_line(line)) return end_playback("EOF encountered in script file %s\n");
    } while (is_empty_line(line));
    if (!parse_line(line)) return end_playback("Unrecognised line in script file %s\n");
    return 1;
}

void stop_playback() {
    S.playback = false;
    S.play_one = false;
    S.periodic_count = 0;
    CheckMenuItem(S.run_menu, CMD_PLAYBACK, MF_BYCOMMAND | MF_UNCHECKED);
}

void close_script() {
    if (S.script_stream == nullptr) return;
    std::fclose(S.script_stream);
    S.script_stream = nullptr;
}
