// The playground's precompiled prelude, shipped with the page: tavlo.h (with
// the C headers it includes: <cstddef>, <cstdint>, <cstdio>). Each file a
// program compiles gets it (-include-pch), so tavlo.h is not parsed again.
// Nothing more is in it but the null pointer check's handler: precompiled,
// the standard headers cost more download (<cmath>, <cstdlib> and <cstring>
// alone: 0.6 MB more, gzip) than parsing them costs a program that includes
// them.
#pragma once

#include "tavlo.h"

// Programs are compiled to check each pointer they read or write through
// (-fsanitize=null with the minimal runtime): a null one calls this, which
// stops the program where a native one would crash. WebAssembly's memory
// starts at address 0, so without it the program would go on silently. The
// page names it in what it says of the trap. Weak: each file a program
// compiles has it, and the link keeps one.
extern "C" [[noreturn]] __attribute__((weak, noinline)) void
__ubsan_handle_type_mismatch_minimal_abort() {
    __builtin_trap();
}
