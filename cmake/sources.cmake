# The source lists of the package and the portable platform: one list per
# library, set once by the top-level CMakeLists.txt for every build that compiles
# them (package/CMakeLists.txt for the native and Emscripten builds,
# cmake/web.cmake for the web presenter, cmake/wasi.cmake for the playground's
# wasm32-wasi libraries). A file added to a folder is in every build that
# compiles the folder.
#
#   TAVLO_SOURCES                 the package (package/src)
#   TAVLO_PLATFORM_SOURCES        the portable Win32 subset: what a presenter may
#                                 use (presenter_kit/), GDI, USER, KERNEL, image
#                                 files and the headless presenter
#   TAVLO_DRAW_OBSERVER_SOURCES   the drawing observer (gdi/observer.h), built only
#                                 into the instrumented copy (package/CMakeLists.txt)
#   TAVLO_ENTRY_SOURCES           the portable entry point (main())
#   TAVLO_QT_SOURCES              the Qt 6 presenter
#   TAVLO_WEB_PRESENTER_SOURCES   the web presenter (Emscripten pages, WASI)

get_filename_component(tavlo_source_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(tavlo_portable ${tavlo_source_root}/package/platform/portable)

file(GLOB TAVLO_SOURCES CONFIGURE_DEPENDS ${tavlo_source_root}/package/src/*.cpp)

file(GLOB TAVLO_PLATFORM_SOURCES CONFIGURE_DEPENDS
  ${tavlo_portable}/presenter_kit/*.cpp
  ${tavlo_portable}/gdi/*.cpp
  ${tavlo_portable}/user/*.cpp
  ${tavlo_portable}/kernel/*.cpp
  ${tavlo_portable}/image/*.cpp
  ${tavlo_portable}/presenters/headless/*.cpp)
set(TAVLO_DRAW_OBSERVER_SOURCES ${tavlo_portable}/gdi/observer.cpp)
list(REMOVE_ITEM TAVLO_PLATFORM_SOURCES ${TAVLO_DRAW_OBSERVER_SOURCES})

file(GLOB TAVLO_ENTRY_SOURCES CONFIGURE_DEPENDS ${tavlo_portable}/entry/*.cpp)
file(GLOB TAVLO_QT_SOURCES CONFIGURE_DEPENDS ${tavlo_portable}/presenters/qt/*.cpp)
file(GLOB TAVLO_WEB_PRESENTER_SOURCES CONFIGURE_DEPENDS ${tavlo_portable}/presenters/web/*.cpp)
