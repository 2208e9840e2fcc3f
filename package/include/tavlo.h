// TAVLO graphics package: the application interface.
//
// One header for applications. Coordinates are canvas coordinates: integers in
// pixels, origin at the centre of the graphics window's client area, x to the
// right, y UP. Colours are palette indices 0..23; any other value is drawn red
// with a message in the message log. Every call that cannot use an argument
// repairs it, says so in the message log, and carries on: nothing here fails.
#pragma once

#include "win32.h"  // HINSTANCE, LPSTR for WinMain and open_display

// ============================================================ Colours
// A palette index 0..23: 0 black, 1 white, 2 red, 3 green, 4 blue, 5 yellow,
// 6 magenta, 7 cyan, 8 purple, 9 navy blue, 10 dusty plum, 11 ice blue,
// 12 turquoise, 13 orange, 14 brown, 15 pink, 16 chalk, 17 gold, 18 peach,
// 19 forest green, 20 sea green, 21 olive, 22 50% gray, 23 20% gray.
typedef int ColorIndex;

// ============================================================ Display
// Opens the graphics window "TAVLO Graphics" (601 x 540 outer, with the Run menu)
// and the text window "TAVLO Text", creates the canvas and starts the 50 ms
// timer. Pass WinMain's four values unchanged. Returns 1.
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
// From (x1, y1) to (x2, y2); the end point's pixel is not drawn.
int draw_line(ColorIndex color, int x1, int y1, int x2, int y2, int width);
// Text with the lower-left corner of its first line at (x, y); '\n' starts a new
// line below. Point size 0..127 (character height in pixels, 0 = default);
// others are repaired with a message. Drawn without a background.
int draw_text(ColorIndex color, int x, int y, int point_size, const char* text);
// draw_text of a printf-style formatted text, cut to 1023 characters. Returns the
// number of characters drawn.
int print_text(ColorIndex color, int x, int y, int point_size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 5, 6)))
#endif
    ;
// Whitens the whole canvas inside a one-pixel black frame. Returns 1.
int clear_canvas(void);

// ============================================================ Events and animation
namespace EventKind {
enum : int {
    None = -1,     // internal: nothing pending yet; never returned
    Mouse = 1,     // left button pressed in the graphics window: x, y
    Key = 2,       // character typed without Ctrl: key
    Periodic = 3,  // animation step
    Quit = 4,      // the application is to end
};
}

namespace AnimationMode {
enum : int {
    Halt = 0,          // animation off, pending frame request dropped
    AdvanceFrame = 1,  // one periodic event
    Animate = 2,       // a periodic event at every tick
    Quit = 5,          // every later wait_event returns Quit after its next event
};
}

// Blocks until the next event; stores its position (canvas coordinates) and key
// through the three pointers and returns its EventKind (1..4). Before open_display
// there is nothing to wait for: it returns Quit at once, with 0 stored.
int wait_event(int* x, int* y, char* key);
// Applies an AnimationMode; other values change nothing. Returns 1, or 0 before
// open_display.
int set_animation(int mode);

// ============================================================ Message log
// Appends one printf-style line (cut to 1023 characters) to the message log shown
// in the text window. Returns the number of characters stored.
int log_printf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Switches the call log of the drawing calls on (nonzero) or off, sets the Run
// menu's Logging check mark and, when on, shows the text window. Returns 1, or 0
// before open_display.
int set_logging(int on);
