// The page's interface (page_interface.h) in the Emscripten build: each call
// hands its arguments as they are to the page's host (Module.tavloHost,
// page_host.js), which reads strings and pixels from the program's memory; the
// wait suspends the program with Asyncify.
#if defined(__EMSCRIPTEN__)
#include <emscripten.h>

#include "page_interface.h"

// clang-format off
EM_JS(int, tavlo_page_present_in_page, (), {
    return (typeof document !== 'undefined' && Module['tavloHost']) ? 1 : 0;
});
EM_JS(void, tavlo_page_create_window, (int id, const char* title, int left, int top,
                                       int background, int closable), {
    Module['tavloHost'].create_window(id, title, left, top, background, closable);
});
EM_JS(void, tavlo_page_lay_out, (int id, int frame, int caption, int menu_bar, int width,
                                 int height), {
    Module['tavloHost'].lay_out(id, frame, caption, menu_bar, width, height);
});
EM_JS(void, tavlo_page_show_window, (int id, int visible), {
    Module['tavloHost'].show_window(id, visible);
});
EM_JS(void, tavlo_page_destroy_window, (int id), {
    Module['tavloHost'].destroy_window(id);
});
EM_JS(void, tavlo_page_set_menu, (int id, const char* model), {
    Module['tavloHost'].set_menu(id, model);
});
EM_JS(void, tavlo_page_present, (int id, const uint32_t* pixels, int width, int height), {
    Module['tavloHost'].present(id, pixels, width, height);
});
EM_JS(int, tavlo_page_next_input, (int* record), {
    return Module['tavloHost'].next_input(record);
});
EM_ASYNC_JS(void, tavlo_page_wait, (double timeout_ms, int paced), {
    await Module['tavloHost'].wait(timeout_ms, paced);
});
EM_JS(void, tavlo_page_debug_output, (const char* text, int repair), {
    Module['tavloHost'].debug_output(text, repair);
});
EM_JS(void, tavlo_page_file_in_use, (const char* name), {
    Module['tavloHost'].file_in_use(name);
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
