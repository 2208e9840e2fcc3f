// The playground's second prelude: the standard headers programs commonly
// include, then prelude.h. The page's compiler precompiles it once in each
// browser, in the background after it has loaded, and keeps it with the
// site's version (compiler_worker.js): shipped precompiled it would be a
// 22 MB download (10 MB brotli), while the page builds it in seconds. A file
// that includes tavlo.h and any standard header is compiled with it, so none
// of these headers is parsed again; C++20's library headers include most of
// each other, so even one of them costs a program seconds without it.
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <iostream>
#include <list>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "prelude.h"
