// Script recording and playback: the events wait_event returns are written to
// "TAVLO.SCR" as text lines, one event per line, and read back in place of live
// input.
//
// Lines: "TAVLO_MOUSE(%d, %d);", "TAVLO_KBD(%d);" and "TAVLO_PERIODIC(%d);", where a
// periodic line stands for that many consecutive periodic events, and for the
// kinds a program switched on with enable_input the lines of input.cpp
// (TAVLO_UP, _DRAG, _RIGHT, _VKEY, _LIFT), and for a program that asks key_held
// the lines of keys going down and up (TAVLO_HOLD), which are no events: playback
// applies them and reads on. The reader decides by the seventh character (K, M, P;
// U, D, R, V, L only while their kind is on; H only once key_held was asked). A line it cannot read
// whole - too short, without the numbers its kind needs, with a number too long for the int range -
// is unrecognised, and ends playback with a message like the end of the file does. A line ends at
// its newline whatever bytes it holds; a NUL byte ends what the parsers see of it.
//
// The file is opened without ever blocking, so a FIFO cannot hold the program
// inside the open. Playback reads only a regular file; recording writes to a
// regular file or a device, never to a FIFO. Every recorded line is flushed at
// once, so a crash or a kill loses no line already returned, and a failed write,
// flush or close is reported (once per recording).
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

// Reads one line into `line`: every byte up to and including the newline, NUL
// bytes too, of which the first 511 are kept and terminated. The rest of a longer
// line is skipped, so it never reads as a new line. Returns false at the end of
// the file (or a read error), including a last line without a newline.
bool read_line(char (&line)[line_buffer_size]) {
    int kept = 0;
    for (;;) {
        int c = std::getc(S.script_stream);
        if (c == EOF) return false;
        if (kept < line_buffer_size - 1) line[kept++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    line[kept] = '\0';
    return true;
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

// A script event replaces whatever live input the same pass brought, all its
// fields included, so it reaches the application exactly as when it was recorded.
void deliver_periodic() {
    S.pending_kind = EventKind::Periodic;
    S.pending_x = 0;
    S.pending_y = 0;
    S.pending_key = 0;
}

bool parse_key(const char* line) {
    int value;
    const char* cursor = line + 6;
    if (!take_number(&cursor, key_starts, signed_continues, &value)) return false;
    S.pending_kind = EventKind::Key;
    S.pending_key = static_cast<signed char>(value & 0xFF);
    S.pending_x = 0;
    S.pending_y = 0;
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
    S.pending_key = 0;
    return true;
}

// A counted line delivers one periodic event now and the rest, one per call, from
// the count.
bool parse_periodic(const char* line) {
    int count;
    const char* cursor = line + 6;
    if (!take_number(&cursor, digit_starts, digit_continues, &count)) return false;
    deliver_periodic();
    S.periodic_count = count > 0 ? count - 1 : 0;
    return true;
}

// The scanner the lines of the kinds enable_input switches on use: a signed
// number (a position) or one of digits only.
bool take_value(const char** cursor, bool is_signed, int* value) {
    return is_signed ? take_number(cursor, signed_starts, signed_continues, value)
                     : take_number(cursor, digit_starts, digit_continues, value);
}

bool parse_line(const char* line) {
    if (std::strlen(line) < 7) return false;
    switch (line[6]) {
        case 'K': return parse_key(line);
        case 'M': return parse_mouse(line);
        case 'P': return parse_periodic(line);
        default: return parse_input_line(line, take_value);
    }
}

// Opens the script as a stream without blocking. For reading it must be a
// regular file; for writing it is created or truncated, and may be a regular file
// or a device (a full or null device included) but not a FIFO. Text mode, as
// the modes "rt" and "wt" give. Returns nullptr when it cannot.
FILE* open_script(bool for_writing) {
    HANDLE file =
        CreateFileA(script_file_name, for_writing ? GENERIC_WRITE : GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    for_writing ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    DWORD type = GetFileType(file);
    bool usable = type == FILE_TYPE_DISK || (for_writing && type == FILE_TYPE_CHAR);
    int descriptor = -1;
    if (usable)
        descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file),
                                     (for_writing ? _O_WRONLY : _O_RDONLY) | _O_TEXT);
    if (descriptor == -1) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, for_writing ? "wt" : "rt");
    if (stream == nullptr) _close(descriptor);
    return stream;
}

// While a script is being played back the program is busy, whatever its frames
// and live input do: the system is told so (a headless run does not end for
// idleness then), and told again when playback ends.
void hold_system_for_playback(bool playing) {
    SetThreadExecutionState(playing ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

// A failed write, flush or close of a recording: said once, and nothing more is
// written to that stream, so the file never holds lines after a gap.
void report_write_failure() {
    if (S.script_write_failed) return;
    S.script_write_failed = true;
    log_printf("Cannot write script file %s\n", script_file_name);
}

// Ends playback after trouble with the script: the message, playback off with its
// check mark removed, and the stream closed, so the next playback starts afresh.
int end_playback(const char* message) {
    log_printf(message, script_file_name);
    stop_playback();
    close_script();
    return 0;
}

// The recording's stream, opened at its first line; nullptr when it cannot be
// written (said once when it cannot be opened, once when a write failed).
FILE* recording_stream() {
    if (S.script_stream == nullptr) {
        S.script_stream = open_script(true);
        if (S.script_stream == nullptr) {
            log_printf("Cannot open script file %s for writing\n", script_file_name);
            return nullptr;
        }
        S.script_writing = true;
        S.script_write_failed = false;
    }
    return S.script_write_failed ? nullptr : S.script_stream;
}

}  // namespace

void record_event(int kind, int x, int y, signed char key) {
    if (recording_stream() == nullptr) return;
    int written;
    switch (kind) {
        case EventKind::Mouse:
            written = std::fprintf(S.script_stream, "TAVLO_MOUSE(%d, %d);\n", x, y);
            break;
        case EventKind::Key:
            written = std::fprintf(S.script_stream, "TAVLO_KBD(%d);\n", int(key));
            break;
        case EventKind::Periodic:
            written = std::fprintf(S.script_stream, "TAVLO_PERIODIC(%d);\n", S.periodic_count);
            break;
        default:
            if (!format_input_line(S.script_stream, kind, x, y, key, &written)) return;
            break;
    }
    if (written < 0 || std::fflush(S.script_stream) != 0) report_write_failure();
}

void record_key_change(int virtual_key, bool down) {
    if (!S.recording) return;
    flush_recording();
    if (recording_stream() == nullptr) return;
    int written = std::fprintf(S.script_stream, "TAVLO_HOLD(%d, %d);\n", virtual_key, down ? 1 : 0);
    if (written < 0 || std::fflush(S.script_stream) != 0) report_write_failure();
}

int read_script_event() {
    if (S.script_stream == nullptr) {
        S.script_stream = open_script(false);
        if (S.script_stream == nullptr)
            return end_playback("Cannot open script file %s for reading\n");
    }
    if (S.periodic_count > 0) {
        --S.periodic_count;
        deliver_periodic();
        hold_system_for_playback(S.playback);
        return 1;
    }
    char line[line_buffer_size];
    do {
        if (!read_line(line)) return end_playback("EOF encountered in script file %s\n");
    } while (is_empty_line(line) || (std::strlen(line) >= 7 && parse_hold_line(line, take_value)));
    if (!parse_line(line)) return end_playback("Unrecognised line in script file %s\n");
    hold_system_for_playback(S.playback);
    return 1;
}

void stop_playback() {
    hold_system_for_playback(false);
    S.playback = false;
    S.play_one = false;
    S.periodic_count = 0;
    set_check(CMD_PLAYBACK, false);
}

// A later periodic event starts a new count, so the file replays the same events
// as one counted line would have.
void flush_recording() {
    if (S.recording && S.periodic_count > 0) {
        record_event(EventKind::Periodic, 0, 0, 0);
        S.periodic_count = 0;
    }
}

void note_script_in_use() {
    if (S.graphics_window == nullptr) return;
    const bool in_use = S.recording || S.playback || S.script_stream != nullptr;
    const bool said = GetPropA(S.graphics_window, "FileInUse") != nullptr;
    if (in_use && !said) {
        SetPropA(S.graphics_window, "FileInUse",
                 reinterpret_cast<HANDLE>(const_cast<char*>(script_file_name)));
    } else if (!in_use && said) {
        RemovePropA(S.graphics_window, "FileInUse");
    }
}

// A recording still running when the script is closed (the display closing) gets
// its counted periodic line first, so the periodic events since the last line
// are not lost.
void close_script() {
    flush_recording();
    hold_system_for_playback(false);
    if (S.script_stream == nullptr) return;
    bool closed = std::fclose(S.script_stream) == 0;
    S.script_stream = nullptr;
    if (!closed && S.script_writing) report_write_failure();
    S.script_writing = false;
    S.script_write_failed = false;
}
