// TAVLO graphics package: the application interface.
//
// One header for applications. Coordinates are canvas coordinates: integers in
// pixels, origin at the centre of the graphics window's client area, x to the
// right, y UP. Colours are palette indices 0..23; any other value is drawn red
// with a message in the message log. Every call that cannot use an argument
// repairs it, says so in the message log, and carries on: nothing here fails.
//
// ============================================================ Writing an application
// - The application defines WinMain, not main, and passes its four values
//   unchanged to open_display, its first call:
//       int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line,
//                          int show) {
//           open_display(instance, previous, command_line, show);
//   On Windows WinMain is the program's entry. Elsewhere the package's portable
//   entry point (linked with tavlo::tavlo, or with `pkg-config --libs tavlo`)
//   supplies main(), reads its own options and calls WinMain with the rest of
//   the command line. A program that defines main instead is stopped with a
//   message when it first waits for an event (or told as it ends, when it never
//   waits).
// - The call log of the drawing calls starts on: every drawing call writes a line
//   to the message log. Most applications call set_logging(0) right after
//   open_display; the user switches it back with Ctrl+L.
// - Every application gets, from the portable entry point:
//       --headless       no windows, a virtual clock: fast, exactly repeatable runs
//       --save FILE.png  the graphics window's picture at the end (with --headless)
//       --input FILE     scripted clicks, keys, menu choices and closes (--headless)
//       --log FILE       every message-log line appended to FILE (--log -: standard
//                        output, where a headless run shows the repairs)
//       --timeout SECONDS  a run still going after SECONDS (real time; an endless
//                        loop too) is ended with a message and exit code 4
//       --help           all the options (--frames, --gif, --seed, --client ...)
//   and, from the package, the Run menu: Animate Ctrl+A, Halt Ctrl+H, Advance
//   Frame Ctrl+F, Logging Ctrl+L, Record Script Ctrl+R, Playback Script Ctrl+P,
//   Play One Script Ctrl+O, Quit Ctrl+Q.
// - An application ends its loop when wait_event returns EventKind::Quit, then
//   calls close_display and returns 0 from WinMain. Its windows close when WinMain
//   returns, so a program that returns without ever waiting for an event is told
//   so on standard error; one that goes several seconds without waiting while its
//   real windows are open (they cannot update or close meanwhile) is told once.
#pragma once

#include "tavlo_version.h"  // TAVLO_VERSION_MAJOR, _MINOR, _PATCH, _STRING, TAVLO_VERSION
#include "win32.h"          // HINSTANCE, LPSTR and WINAPI for WinMain and open_display

// ============================================================ Colours
// A palette index 0..23: 0 black, 1 white, 2 red, 3 green, 4 blue, 5 yellow,
// 6 magenta, 7 cyan, 8 purple, 9 navy blue, 10 dusty plum, 11 ice blue,
// 12 turquoise, 13 orange, 14 brown, 15 pink, 16 chalk, 17 gold, 18 peach,
// 19 forest green, 20 sea green, 21 olive, 22 50% gray, 23 20% gray.
typedef int ColorIndex;

// The palette entries by name; the call log writes the names above.
namespace Color {
enum : int {
    Black = 0,
    White = 1,
    Red = 2,
    Green = 3,
    Blue = 4,
    Yellow = 5,
    Magenta = 6,
    Cyan = 7,
    Purple = 8,
    NavyBlue = 9,
    DustyPlum = 10,
    IceBlue = 11,
    Turquoise = 12,
    Orange = 13,
    Brown = 14,
    Pink = 15,
    Chalk = 16,
    Gold = 17,
    Peach = 18,
    ForestGreen = 19,
    SeaGreen = 20,
    Olive = 21,
    Gray50 = 22,  // "50% gray"
    Gray20 = 23,  // "20% gray"
    Count = 24,   // the number of entries (not a colour)
};
}

// ============================================================ Display
// Opens the graphics window "TAVLO Graphics" (601 x 540 outer, with the Run menu)
// and the text window "TAVLO Text", creates the canvas and starts the 50 ms
// timer. Pass WinMain's four values unchanged. Returns 1. While the display is
// open a second call changes nothing and logs "open_display: the display is
// already open; nothing changed"; after close_display it opens a fresh display
// (the closed one's windows and canvas go; the message log stays).
int open_display(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line,
                 int show_command);
// Releases the graphics window's device context and closes the script file. Returns 1.
int close_display(void);

// ============================================================ Drawing
// All return 1. A width of 0 asks for a filled shape (a line is then 1 pixel
// wide); a positive width for an outline that many pixels wide; a negative width
// is used as its absolute value, with a message.
int draw_triangle(ColorIndex color, int x1, int y1, int x2, int y2, int x3, int y3, int width);
// Any two opposite corners; both corners' rows and columns are included.
int draw_rectangle(ColorIndex color, int x1, int y1, int x2, int y2, int width);
// The ellipse inscribed in the box draw_rectangle fills with the same corners (any
// two opposite ones): filled or 1 pixel wide, it reaches both corners' rows and
// columns and no further; a wider outline is centred on that edge.
int draw_oval(ColorIndex color, int x1, int y1, int x2, int y2, int width);
// From (x1, y1) to (x2, y2); the end point's pixel is not drawn.
int draw_line(ColorIndex color, int x1, int y1, int x2, int y2, int width);
// The one pixel at (x, y).
int draw_pixel(ColorIndex color, int x, int y);
// Text with the lower-left corner of its first line at (x, y); '\n' starts a new
// line below. Point size 0..127 (character height in pixels, 0 = default);
// others are repaired with a message. Drawn without a background. How the bytes
// are read (UTF-8 or code page 1252): see set_text_encoding.
int draw_text(ColorIndex color, int x, int y, int point_size, const char* text);
// draw_text of a printf-style formatted text, cut to 1023 characters (formatted
// as log_printf formats). Returns the number of characters drawn.
int print_text(ColorIndex color, int x, int y, int point_size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 5, 6)))
#endif
    ;
// Whitens the whole canvas inside a one-pixel black frame. Returns 1.
int clear_canvas(void);

// ============================================================ Measuring
// These draw nothing and write no call-log line. A null pointer for a result is
// skipped; a null text is an empty text.
//
// The size in pixels of the text as draw_text draws it at the point size: the
// width of its widest line, and the height of one line times the number of lines
// ('\n' starts a line, so a text ending in '\n' has an empty last line). Drawn
// at (x, y), a one-line text lies in the columns x to x + width - 1 and the rows
// y + 1 to y + height; each further line lies one line height lower. The point
// size is repaired as by draw_text, with its messages. Returns 1.
int text_size(int point_size, const char* text, int* width, int* height);
// The part of the canvas the graphics window shows, in canvas coordinates, every
// bound inclusive: left <= x <= right and bottom <= y <= top. It follows the
// client area (--client WxH): 595 x 491 gives -297, -245, 297, 245. Returns 1, or
// 0 with 0 stored before open_display.
int visible_area(int* left, int* bottom, int* right, int* top);

// ============================================================ Events and animation
namespace EventKind {
enum : int {
    None = -1,     // internal: nothing pending yet; never returned
    Mouse = 1,     // left button pressed in the graphics window: x, y
    Key = 2,       // character typed without Ctrl: key
    Periodic = 3,  // animation step
    Quit = 4,      // the application is to end
    // Only after enable_input has switched their kind on (see below):
    MouseUp = 5,     // a mouse button released in the graphics window: x, y; key 1 left, 2 right
    MouseMove = 6,   // the mouse moved in the graphics window: x, y; key the MouseButton bits held
    RightMouse = 7,  // right button pressed in the graphics window: x, y
    SpecialKey =
        8,  // a key without a character pressed: key and y the VirtualKey, x the KeyModifier bits
    KeyUp = 9,  // a key released: key and y its virtual-key code, x the KeyModifier bits
};
}

// ============================================================ Input for games and drawing programs
// A program gets only the events above 1..4 unless it asks for more: enable_input
// switches on the kinds it names (InputKind bits, or-ed) and off the others.
// Until it is called nothing changes: no new events, no new script lines.
namespace InputKind {
enum : int {
    MouseRelease =
        1,  // EventKind::MouseUp for the left button (and the right one with RightButton)
    MouseMovement = 2,  // EventKind::MouseMove, with the buttons held (dragging)
    RightButton = 4,    // EventKind::RightMouse
    SpecialKeys =
        8,  // EventKind::SpecialKey: arrows, Home/End, Page Up/Down, Insert, Delete, F1-F12
    KeyRelease = 16,  // EventKind::KeyUp, for every key (character keys and Shift/Ctrl/Alt too)
    All = 31,
};
}

// The bits of the buttons held, in *key of a MouseMove event (and which button an
// up was, in *key of a MouseUp event).
namespace MouseButton {
enum : int {
    Left = 1,
    Right = 2,
};
}

// The bits of the modifier keys held, in *x of SpecialKey and KeyUp events.
namespace KeyModifier {
enum : int {
    Shift = 1,
    Ctrl = 2,
    Alt = 4,
};
}

// Windows' virtual-key codes of the keys without a character (SpecialKey events).
// A KeyUp event carries any key's code: letters 'A'..'Z' and digits '0'..'9' are
// their ASCII capitals, Space 0x20, Enter 0x0D, Shift 0x10, Ctrl 0x11, Alt 0x12,
// punctuation 0xBA..0xDE (US keyboard). All codes are 1..254; *y holds the code
// as an int, *key the same code in a char (read it as (unsigned char)*key: codes
// above 0x7F are negative in a signed char).
namespace VirtualKey {
enum : int {
    PageUp = 0x21,
    PageDown = 0x22,
    End = 0x23,
    Home = 0x24,
    Left = 0x25,
    Up = 0x26,
    Right = 0x27,
    Down = 0x28,
    Insert = 0x2D,
    Delete = 0x2E,
    F1 = 0x70,  // F1..F12 are 0x70..0x7B
    F12 = 0x7B,
};
}

// Switches on the InputKind bits in `kinds` and off the others (0: back to only
// the events 1..4); unknown bits are dropped with a message. Returns the kinds
// now on. The setting holds until the next call, across displays.
//
// How the new events arrive (the rules of the event loop stay: one message per
// pass of wait_event, and an event ends the wait in the pass that brings it):
// - Each ends the wait at once and replaces an armed periodic event, as a click
//   does. Nothing queues inside the package: the window system's queue holds
//   what comes later, each message one event.
// - Mouse moves coalesce: a move that finds the previous move still waiting in
//   the queue replaces it (as Windows does), and a move to the same position
//   with the same buttons as the last one returned is no event. A press in the
//   graphics window captures the mouse until its buttons are released (as
//   Windows' SetCapture): meanwhile moves and the release are reported wherever
//   they happen, at canvas coordinates outside the window's area too; moves
//   outside it with no button held there are not reported.
// - A click gives Mouse, then MouseUp when MouseRelease is on. Right button:
//   RightMouse, then MouseUp with key 2 when MouseRelease is on too.
// - A key with a character still gives Key (2) from its character; KeyUp comes
//   for it on release. Ctrl+letter stays a Run menu shortcut and gives no Key.
// - Recording writes a line for each new event returned (the script format:
//   TAVLO_UP(x, y, button); TAVLO_DRAG(x, y, buttons); TAVLO_RIGHT(x, y);
//   TAVLO_VKEY(code, modifiers); TAVLO_LIFT(code, modifiers);), and playback
//   returns them again, but only while their kind is on: for a program that
//   has not switched a kind on, its line is an unrecognised line (playback ends
//   with a message), never a click or a key.
int enable_input(int kinds);

// Whether the key with this virtual-key code (VirtualKey::Left, 'A'..'Z',
// '0'..'9', VK codes 1..254) is held down now, as the key-downs and key-ups that
// reached the graphics window (or the text window) say: 1 or 0. For a game that
// moves while an arrow is held, asked at each periodic event. Nothing else
// changes for a program that never calls it. Once it has been called, a
// recording also writes a line `TAVLO_HOLD(code, 1 or 0);` each time a key goes
// down or up, and playback sets the keys held from those lines (live keys do
// not change them while a script plays), so a replay sees the keys held as the
// recorded run did. When the window loses the keyboard, every key is up. Other
// codes answer 0. Returns 0 before open_display.
int key_held(int virtual_key);

namespace AnimationMode {
enum : int {
    Halt = 0,          // animation off, pending frame request dropped
    AdvanceFrame = 1,  // one periodic event
    Animate = 2,       // a periodic event at every tick
    Quit = 5,          // every later wait_event returns Quit after its next event
};
}

// Blocks until the next event; stores its position (canvas coordinates) and key
// through the three pointers and returns its EventKind (1..4, and 5..9 for the
// kinds enable_input has switched on). Before open_display
// there is nothing to wait for: it returns Quit at once, with 0 stored.
int wait_event(int* x, int* y, char* key);
// Applies an AnimationMode; other values change nothing. Returns 1, or 0 before
// open_display.
int set_animation(int mode);
// Smooth animation: asks for `frames_per_second` periodic events a second while
// animating (1..120; the timer's period is 1000 / frames_per_second ms, rounded
// down), each tick of the timer completing one. 0 goes back to the default: the
// 50 ms timer, at most 10 periodic events a second, as before this call existed.
// Other values are repaired with "Frame rate of N not possible, using M". In a
// web page a rate near the display's follows the display's frames. Recording and
// playback count periodic events as always. Returns the rate in force; may be
// called before open_display, and holds across displays.
int set_frame_rate(int frames_per_second);

// ============================================================ Message log
// Appends one printf-style line (cut to 1023 characters) to the message log shown
// in the text window. Returns the number of characters stored.
// Formatting (log_printf and print_text): the first 1023 characters of what the C
// library's vsnprintf makes of the format and values, and its count (at most
// 1023), at a cost bounded by what is kept whatever the widths and precisions;
// a string is read no further than its precision. Refused, the line then reading
// `format refused at "<directive>": <reason>` and its length returned: numbered
// arguments (%2$d) mixed with unnumbered ones, left out, or numbered past 64;
// '*' followed by digits without '$'; a width or precision above 4096 in a format
// with a conversion C does not define (%Ld, %qd, %hc ...); %Lg/%LG at a precision
// above 4096 of a long double whose exact expansion is longer than that.
int log_printf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Switches the call log of the drawing calls on (nonzero) or off, sets the Run
// menu's Logging check mark and, when on, shows the text window. Returns 1, or 0
// before open_display.
int set_logging(int on);

// ============================================================ Text encoding
// How the package reads the bytes of a text (draw_text, print_text, text_size,
// log_printf and the message log's window):
// - Automatic (the default): a text holding well-formed UTF-8 multi-byte
//   sequences is read as UTF-8, as editors save source files today; any other
//   byte above 0x7F in it, and every byte of any other text, is its Windows code
//   page 1252 character, as it always was. A character no face has draws as a box.
// - Utf8: read the same way, and typed characters beyond ASCII always come as
//   their UTF-8 bytes (below).
// - CodePage1252: every byte is its code page 1252 character, also in a text that
//   happens to be well-formed UTF-8 ("\xC3\xA9" draws as two characters).
// Typed characters: a Key event's key is one byte. A code page 1252 character
// comes as its one byte, unless the program's text has held UTF-8 (Automatic) or
// Utf8 is set: then every character beyond ASCII comes as one Key event per byte
// of its UTF-8 form, in a row. A character beyond code page 1252 always comes as
// UTF-8 (none under CodePage1252). The call log and the script keep the bytes.
namespace TextEncoding {
enum : int {
    Automatic = 0,
    Utf8 = 1,
    CodePage1252 = 2,
};
}
// Sets the reading (a TextEncoding; any other value changes nothing, with a
// message). Returns the reading now in force. Holds until the next call.
int set_text_encoding(int encoding);
