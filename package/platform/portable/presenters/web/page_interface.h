// The page's interface as the web presenter calls it: windows, frames, input,
// the wait, debug output and the clock. One declaration for both builds; each
// build defines it in a file of its own:
//   - Emscripten (page_interface_emscripten.cpp): EM_JS calls into the page's
//     scripts on the program's own thread (Module.tavloPage, page_start.js),
//     the wait suspended with Asyncify;
//   - WASI (imports of the module "tavlo_page"): whoever runs the program
//     supplies them (the playground's program Worker, which relays them to its
//     page; the wait is wrapped in WebAssembly.Suspending there).
#pragma once

#include <cstdint>

#if defined(__wasi__)
#define TAVLO_PAGE_CALL(name) __attribute__((import_module("tavlo_page"), import_name(#name)))
#define TAVLO_PAGE_WAIT_CALL TAVLO_PAGE_CALL(wait)
// The page's own calls into the program (tavlo_page_leaving).
#define TAVLO_PAGE_EXPORT(name) __attribute__((export_name(#name)))
#else
#define TAVLO_PAGE_CALL(name)
// EM_ASYNC_JS gives the JavaScript of an async call this import name
// (emscripten/em_js.h); a caller that sees only this declaration must use it too.
#define TAVLO_PAGE_WAIT_CALL __attribute__((import_name("__asyncjs__tavlo_page_wait")))
#define TAVLO_PAGE_EXPORT(name) __attribute__((used, visibility("default")))
#endif

// The kinds of the page's input records (next_input). page_constants.js is
// made from this list when the page's scripts are built: keep one kind a line,
// `Name = number,`.
enum PageInput {
    ButtonDown = 1,  // a: x, b: y (client pixels)
    ButtonUp = 2,    // a, b as ButtonDown; c: the buttons still held (1 left, 2 right)
    KeyDown = 3,     // a: virtual key, b: the character shown (Unicode), c: 1 Ctrl 2 Alt 4 Shift
    KeyUp = 4,       // as KeyDown
    Command = 5,     // a: the menu item's id
    Close = 6,       // the window's close box
    MouseMove = 7,   // a, b, c as ButtonUp
    RightDown = 8,   // as ButtonUp
    RightUp = 9,     // as ButtonUp
    // The page or the window lost the focus (another tab, another application):
    // every key posted down and not up is released, so none stays held.
    FocusLost = 10,
};

extern "C" {

// 1 when a page shows the windows, 0 when there is none (node): the headless run.
TAVLO_PAGE_CALL(present_in_page) int tavlo_page_present_in_page();
TAVLO_PAGE_CALL(create_window)
void tavlo_page_create_window(int id, const char* title, int left, int top, int background,
                              int closable);
TAVLO_PAGE_CALL(lay_out)
void tavlo_page_lay_out(int id, int frame, int caption, int menu_bar, int width, int height);
TAVLO_PAGE_CALL(show_window) void tavlo_page_show_window(int id, int visible);
TAVLO_PAGE_CALL(destroy_window) void tavlo_page_destroy_window(int id);
// model: the menu as JSON (UTF-8).
TAVLO_PAGE_CALL(set_menu) void tavlo_page_set_menu(int id, const char* model);
// pixels: width * height COLORREFs.
TAVLO_PAGE_CALL(present)
void tavlo_page_present(int id, const uint32_t* pixels, int width, int height);
// Fills record[0..4] (kind, window id, three values) with the oldest queued
// input: 1, or 0 when there is none.
TAVLO_PAGE_CALL(next_input) int tavlo_page_next_input(int* record);
// Returns when input is queued or timeout_ms have passed (negative: no
// timeout; 0: one turn of the page). With `paced` (the program's timer runs at
// about the display's rate) a wait of up to a display frame (0 included: a
// timer already due) ends with the display's next frame instead, so frames
// follow the display.
TAVLO_PAGE_WAIT_CALL void tavlo_page_wait(double timeout_ms, int paced);
// repair: 1 when the text is the program's repair of a call it made (its main
// window's property "Repair" is the text while it is handed on), else 0: the page
// may say where the program made that call.
TAVLO_PAGE_CALL(debug_output) void tavlo_page_debug_output(const char* text, int repair);
// The file the program uses now ("" when none): the program says so with its
// main window's property "FileInUse" (the file's name); the page does not
// replace that file meanwhile.
TAVLO_PAGE_CALL(file_in_use) void tavlo_page_file_in_use(const char* name);
// Milliseconds of a monotonic clock.
TAVLO_PAGE_CALL(now) double tavlo_page_now();
// Ends the program with its exit code, which the page shows.
[[noreturn]] void tavlo_page_end_program(int exit_code);

}  // extern "C"
