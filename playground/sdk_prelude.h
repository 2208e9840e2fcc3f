// The playground's precompiled prelude, shipped with the page: tavlo.h and the
// C library headers a program on it commonly adds. Each file a program
// compiles gets it (-include-pch), so these are not parsed again. The C++
// library's headers (<vector>, <string>, ...) are left out: precompiled they
// would make the download several megabytes larger; a program that includes
// them parses them.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tavlo.h"
