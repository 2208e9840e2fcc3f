# Toolchain for the web build: Debian's Emscripten. Use it through the "web"
# preset (cmake --preset web) or -DCMAKE_TOOLCHAIN_FILE=cmake/web-toolchain.cmake.
if(NOT EMSCRIPTEN_TOOLCHAIN)
  set(EMSCRIPTEN_TOOLCHAIN /usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
endif()
include(${EMSCRIPTEN_TOOLCHAIN})
