// Lets a file written with C++ exceptions compile with -fno-exceptions, as the
// playground's C++ runtime (which cannot throw) requires: force-included
// (-include) into the few files cmake/wasi.cmake lists. A throw prints the
// exception's message on standard error and ends the program; a try block runs
// as plain code and its catch blocks never run (nothing can be thrown).
#pragma once

#ifndef __cpp_exceptions
// The standard headers those files use, read before the keywords below change.
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tavlo_no_exceptions {

struct Thrower {
    [[noreturn]] void operator=(const std::exception& exception) const {
        std::fprintf(stderr, "%s\n", exception.what());
        std::fflush(stderr);
        std::abort();
    }
};
inline constexpr Thrower thrower{};

// What a catch block's declaration is bound to; never reached.
inline const std::runtime_error& never_thrown() {
    static const std::runtime_error none("");
    return none;
}

}  // namespace tavlo_no_exceptions

// clang-format off
#define try if (true)
#define catch(declaration) else if (declaration = ::tavlo_no_exceptions::never_thrown(); false)
#define throw ::tavlo_no_exceptions::thrower =
// clang-format on
#endif
