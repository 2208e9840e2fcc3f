// The Win32 subset the package is written against.
//
// On Windows this is <windows.h> itself. Elsewhere it is our own portable
// implementation of exactly the types, constants and functions the package uses
// (package/platform/portable/win32_portable.h), so the package source compiles
// unchanged on both. With them come the few calls of the C runtime that turn a
// file handle into a stream.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The C runtime's bridge from a file handle to a stream (_open_osfhandle, _fdopen).
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#else
#include "portable/win32_portable.h"
#endif
