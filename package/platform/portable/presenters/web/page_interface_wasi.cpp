// The page's interface (page_interface.h) in the WASI build: every call is an
// import of the module "tavlo_page" but the end of the program, which is the C
// library's exit (WASI's proc_exit carries the code to whoever runs it).
#if defined(__wasi__)
#include <cstdlib>

#include "page_interface.h"

extern "C" void tavlo_page_end_program(int exit_code) {
    std::exit(exit_code);
}
#endif
