// The playground's precompiled prelude, shipped with the page: tavlo.h (with
// the C headers it includes: <cstddef>, <cstdint>, <cstdio>). Each file a
// program compiles gets it (-include-pch), so tavlo.h is not parsed again.
// Nothing more is in it: precompiled, the standard headers cost more download
// (<cmath>, <cstdlib> and <cstring> alone: 0.6 MB more, gzip) than parsing
// them costs a program that includes them.
#pragma once

#include "tavlo.h"
