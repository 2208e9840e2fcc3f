// The page's interface (page_interface.h) in the WASI build: every call is an
// import of the module "tavlo_page" but the end of the program, which is the C
// library's exit (WASI's proc_exit carries the code to whoever runs it).
//
// A program's memory has a limit (the link's --max-memory). When `new` cannot
// have more, the program is ended at once and the exported flag says why, so
// whoever runs it can say "out of memory" instead of naming the trap.
#if defined(__wasi__)
#include <cstdlib>
#include <new>

#include "page_interface.h"

extern "C" void tavlo_page_end_program(int exit_code) {
    std::exit(exit_code);
}

namespace {

bool ran_out_of_memory = false;

[[noreturn]] void on_out_of_memory() {
    ran_out_of_memory = true;
    std::abort();
}

const bool out_of_memory_handled = (std::set_new_handler(on_out_of_memory), true);

}  // namespace

extern "C" TAVLO_PAGE_EXPORT(tavlo_page_out_of_memory) int tavlo_page_out_of_memory() {
    return ran_out_of_memory ? 1 : 0;
}
#endif
