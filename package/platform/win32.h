// The Win32 subset the package is written against.
//
// On Windows this is <windows.h> itself. Elsewhere it is our own portable
// implementation of exactly the types, constants and functions the package uses
// (package/platform/portable/win32_portable.h), so the package source compiles
// unchanged on both.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "portable/win32_portable.h"
#endif
