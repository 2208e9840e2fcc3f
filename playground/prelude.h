// What the playground precompiles for a program: the package's interface and
// the standard headers programs on it commonly use. A program compiled with the
// precompiled header includes them again at no cost.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
