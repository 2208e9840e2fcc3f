// The page's interface (page_interface.h) in the Emscripten build: calls into
// the page's scripts (Module.tavloPage, page_start.js) on the program's thread;
// the wait suspends the program with Asyncify.
#if defined(__EMSCRIPTEN__)
#include <emscripten.h>

#include "page_interface.h"

// clang-format off
EM_JS(int, tavlo_page_present_in_page, (), {
    return (typeof document !== 'undefined' && Module['tavloPage']) ? 1 : 0;
});
EM_JS(void, tavlo_page_create_window, (int id, const char* title, int left, int top,
                                       int background, int closable), {
    Module['tavloPage'].createWindow({
        id: id, title: UTF8ToString(title), left: left, top: top,
        background: background, closable: !!closable});
});
EM_JS(void, tavlo_page_lay_out, (int id, int frame, int caption, int menu_bar, int width,
                                 int height), {
    Module['tavloPage'].layOut(id, {frame: frame, caption: caption, menuBar: menu_bar,
                                    width: width, height: height});
});
EM_JS(void, tavlo_page_show_window, (int id, int visible), {
    Module['tavloPage'].showWindow(id, !!visible);
});
EM_JS(void, tavlo_page_destroy_window, (int id), {
    Module['tavloPage'].destroyWindow(id);
});
EM_JS(void, tavlo_page_set_menu, (int id, const char* model), {
    Module['tavloPage'].setMenu(id, JSON.parse(UTF8ToString(model)));
});
EM_JS(void, tavlo_page_present, (int id, const uint32_t* pixels, int width, int height), {
    Module['tavloPage'].present(id, HEAPU8.subarray(pixels, pixels + width * height * 4), width, height);
});
EM_JS(int, tavlo_page_next_input, (int* record), {
    var input = Module['tavloPage'].nextInput();
    if (!input) return 0;
    HEAP32.set([input.kind, input.id, input.a | 0, input.b | 0, input.c | 0], record >> 2);
    return 1;
});
EM_ASYNC_JS(void, tavlo_page_wait, (double timeout_ms), {
    await Module['tavloPage'].wait(timeout_ms);
});
EM_JS(void, tavlo_page_debug_output, (const char* text), {
    Module['tavloPage'].debugOutput(UTF8ToString(text));
});
// clang-format on

extern "C" double tavlo_page_now() {
    return emscripten_get_now();
}

// main's return cannot end the program once it has waited (Asyncify resumed it
// from the browser's event loop): it ends here, so the page learns the exit code.
extern "C" void tavlo_page_end_program(int exit_code) {
    emscripten_force_exit(exit_code);
    __builtin_unreachable();
}
#endif
