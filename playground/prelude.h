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
