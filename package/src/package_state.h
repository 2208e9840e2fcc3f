// The package's internal state and operations.
//
// All package state lives in one process-wide record, PackageState; each group of
// fields belongs to one area of the package (canvas, display, events, menu,
// script, message log) and is documented where it is used. This header also
// declares the internal operations the areas call on each other. Applications
// see only tavlo.h.
#pragma once

#include <cstdio>

#include "tavlo.h"

// ------------------------------------------------------------ palette and commands
enum DrawKind : int {
    DRAW_TRIANGLE = 0,
    DRAW_RECTANGLE = 1,
    DRAW_OVAL = 2,
    DRAW_LINE = 3,
    DRAW_PIXEL = 4,
    DRAW_TEXT = 5,
};

// One primitive handed from a drawing call to render_command. For DRAW_TEXT,
// x2 is the point size and the text travels in `text_block` (a GMEM_MOVEABLE
// block holding a NUL-terminated copy); y2 is then unused, since a handle does
// not fit an int on 64-bit platforms.
struct DrawCommand {
    int kind;
    int color;  // after check_color: 0..23
    int width;  // never negative; 0 = filled
    int x1, y1;
    int x2, y2;
    int x3, y3;
    HGLOBAL text_block;
};

constexpr int palette_size = 24;
extern const COLORREF Palette[palette_size];
extern const char* const color_name[palette_size];

// Returns color when it is 0..23; otherwise logs "Illegal color %d; using RED.\n"
// and returns 2.
ColorIndex check_color(ColorIndex color);

// ------------------------------------------------------------ sizes and names
constexpr int canvas_width = 601;
constexpr int canvas_height = 540;
constexpr int log_ring_size = 25;
constexpr int log_line_buffer = 1024;  // a stored line holds at most 1023 characters
constexpr int timer_id = 2;
constexpr int timer_interval_ms = 50;
constexpr int max_frame_rate = 120;  // set_frame_rate's limit
constexpr const char* script_file_name = "TAVLO.SCR";

// Run menu command identifiers (the WM_COMMAND wParam).
enum RunCommand : int {
    CMD_ANIMATE = 1,
    CMD_HALT = 2,
    CMD_ADVANCE_FRAME = 3,
    CMD_LOGGING = 4,
    CMD_RECORD = 5,
    CMD_PLAYBACK = 6,
    CMD_PLAY_ONE = 7,
    CMD_QUIT = 8,
    CMD_INFO = 9,
};

// ------------------------------------------------------------ the state record
struct PackageState {
    // display
    HWND graphics_window = nullptr;
    HWND text_window = nullptr;
    HINSTANCE app_instance = nullptr;
    HDC window_dc = nullptr;
    HBITMAP canvas_bitmap = nullptr;
    HDC canvas_dc = nullptr;
    int center_x = 0;
    int center_y = 0;
    int canvas_dirty = 1;
    bool display_open = false;  // from open_display to close_display

    // events
    int pending_kind = EventKind::None;
    int pending_x = 0;
    int pending_y = 0;
    signed char pending_key = 0;
    bool animate = false;
    bool single_frame = false;
    bool timer_tick = false;
    bool quit_requested = false;
    int frame_rate = 0;  // set_frame_rate: periodic events a second asked for, 0: the 50 ms timer's
    // A typed character reaches the program as one Key event per byte of its
    // UTF-8 form: the bytes after the first wait here for the next wait_event.
    unsigned char typed[3] = {};
    int typed_count = 0;
    int typed_next = 0;

    // text (text_reading.cpp)
    int text_encoding = 0;   // a TextEncoding
    bool utf8_seen = false;  // the program's text has held UTF-8 characters

    // input kinds a program asked for (enable_input), and what they need
    int input_kinds = 0;  // InputKind bits
    bool shift_held = false;
    bool alt_held = false;
    bool move_reported = false;  // a MouseMove was made; its position and buttons:
    int move_x = 0;
    int move_y = 0;
    int move_buttons = 0;
    bool keys_held[256] = {};      // key_held: down as the key messages (or the script) say
    bool held_keys_asked = false;  // key_held has been called: key changes are recorded

    // Run menu
    HMENU run_menu = nullptr;
    int ctrl_held = 0;

    // script
    FILE* script_stream = nullptr;
    bool script_writing = false;       // the stream was opened by the writer
    bool script_write_failed = false;  // a write to it failed (reported once)
    bool recording = false;
    bool playback = false;
    bool play_one = false;
    int periodic_count = 0;

    // message log
    bool logging_enabled = true;
    HGLOBAL log_slots[log_ring_size] = {};
    int log_oldest = -1;
    int log_next = 0;
};

extern PackageState package_state;

// Puts the state back to its load-time values, freeing the log ring, the script
// stream and the canvas (not the window's DC, which belongs to the window). For
// tests that run many sessions in one process.
void reset_package_state();

// ------------------------------------------------------------ internal operations
// rasterizer (render.cpp)
void render_command(const DrawCommand& command);
void erase_canvas();
// The width and height of the cells a text of the point size (0..127) covers when
// drawn: its widest line, and its line count times the line height, in pixels.
void measure_text(int point_size, const char* text, int* width, int* height);

// text (text_reading.cpp). Text that holds well-formed UTF-8 multi-byte sequences
// is read as UTF-8 (any other byte above 0x7F in it as its code page 1252
// character), other text as code page 1252, unless set_text_encoding fixed the
// reading to code page 1252.
bool reads_as_utf8(const char* text, size_t length);
// TextOutA for text read as code page 1252, TextOutW for text read as UTF-8.
BOOL text_out(HDC dc, int x, int y, const char* text, int length);
// GetTextExtentPointA or GetTextExtentPoint32W, read the same way.
BOOL text_extent(HDC dc, const char* text, int length, SIZE* extent);
// The length of a formatted line cut to what its buffer holds, without a UTF-8
// sequence cut off at its end, when the program's text is UTF-8 (the line, its
// format, or any text before); the whole length otherwise.
size_t without_cut_character(const char* text, size_t length, const char* format);
// A character typed (a Unicode code point): queued as the Key events the program
// gets for it. A code page 1252 character is one byte as always, unless the
// program's text is UTF-8: then every character beyond ASCII comes as its UTF-8
// bytes. Returns false when the program cannot be given the character.
bool type_character(char32_t character);
// The next byte of a typed character still queued, as a pending Key event.
bool take_typed_byte();
// The Unicode character of a code page 1252 byte.
char32_t character_of_cp1252(unsigned char byte);

// message log (message_log.cpp)
// A line of the package's own about a call it repaired (a bad colour, width or
// size replaced, an unknown kind dropped): logged exactly as log_printf logs it,
// and marked as a repair while it is handed to the debugger (message_log.cpp).
int log_repair(const char* format, ...);
int show_log_window(int show);
void paint_log_window(HWND window);

// display (display.cpp)
LRESULT CALLBACK graphics_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK text_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void refresh_canvas();  // copies the canvas to the window when dirty

// event loop (event_loop.cpp)
void pump_message();
// The period of the graphics window's timer: 50 ms, or what set_frame_rate asked for.
UINT timer_period_ms();

// input for games and drawing programs (input.cpp): the handlers of the graphics
// window's mouse and key messages beyond the left press and WM_CHAR. Each makes
// an event only when its kind is switched on; the key handlers keep track of
// Shift and Alt whatever is on.
void on_mouse_move(WPARAM wparam, LPARAM lparam);
void on_button_up(int button, LPARAM lparam);
void on_right_button_down(LPARAM lparam);
// A key-down (WM_KEYDOWN or WM_SYSKEYDOWN, `system` for the latter) and a key-up.
void on_input_key_down(WPARAM virtual_key, bool system, LPARAM lparam);
void on_input_key_up(WPARAM virtual_key, bool system, LPARAM lparam);
// Reads the line of a new event kind (by its seventh character) into the pending
// event; false when the line is not one, its kind is not on, or it is malformed.
// `take` is the script reader's number scanner: (cursor, signed?, value) -> ok.
bool parse_input_line(const char* line, bool (*take)(const char**, bool, int*));
// Writes the script line of a new event kind; false for any other kind.
bool format_input_line(FILE* stream, int kind, int x, int y, signed char key, int* written);
// A TAVLO_HOLD line read in playback: sets the key's state; false when the line is
// not one, or the program never asked key_held.
bool parse_hold_line(const char* line, bool (*take)(const char**, bool, int*));

// script (script.cpp), for key_held: writes the line of a key going down or up
// while recording, after the periodic events counted so far.
void record_key_change(int virtual_key, bool down);

// Run menu (run_menu.cpp)
void build_run_menu(HWND window);
void run_command(int command);
// Sets or clears the check mark of a Run menu command.
void set_check(int command, bool checked);
void on_key_down(WPARAM virtual_key);
void on_key_up(WPARAM virtual_key);

// script (script.cpp)
void record_event(int kind, int x, int y, signed char key);
int read_script_event();
void stop_playback();
void close_script();
// Writes the counted periodic line of a recording now (if events are counted), so
// the file holds every event returned so far; the recording goes on.
void flush_recording();
// Says whether the script file is in use (recording or playback on, or the file
// open): the graphics window's property "FileInUse" names it while it is, so
// whoever shows the window (a web page offering to replace the file) can tell.
void note_script_in_use();
