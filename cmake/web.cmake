# The web build, included by the top-level CMakeLists.txt under Emscripten's
# toolchain (cmake --preset web, folder build-web):
#   - the C libraries the native build links (FreeType, zlib, libpng, giflib, and
#     Google Benchmark for the benchmarks), compiled to WebAssembly from the
#     Debian sources scripts/setup-web.sh unpacks into TAVLO_WEB_SOURCES;
#   - the portable platform with the faces it needs built in (no fontconfig), the
#     package, the demo and the examples, each application a page
#     (<name>.html, .js, .wasm) on the web presenter;
#   - the package's test suites that need no desktop and bench_frame, run under node.

set(TAVLO_WEB_SOURCES /var/cache/tavlo-web CACHE PATH
    "Folder with the freetype, zlib, libpng, giflib and benchmark sources (scripts/setup-web.sh)")
foreach(library freetype zlib libpng giflib benchmark)
  if(NOT EXISTS ${TAVLO_WEB_SOURCES}/${library}/)
    message(FATAL_ERROR "${TAVLO_WEB_SOURCES}/${library} is missing: run scripts/setup-web.sh")
  endif()
endforeach()

# Emscripten's linker runs node scripts that need Debian's node modules.
set_property(GLOBAL PROPERTY RULE_LAUNCH_LINK "${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs")
# Node 18 and later fetch the .wasm through their own fetch, which cannot read files.
find_program(TAVLO_NODE NAMES node nodejs REQUIRED)
set(TAVLO_NODE_RUN ${TAVLO_NODE} --no-experimental-fetch)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVLO_NODE_RUN})

# Exceptions: Emscripten catches C++ exceptions only through JavaScript, which
# costs the drawing code about a third of its speed and, under Asyncify, makes
# every call that may throw a possible suspension. Everything is built without
# catching (a throw, which the package and the platform never do, ends the
# program with a message); the test program links the same libraries.
# WebAssembly SIMD (every current browser, node 16.4 and later): the span fills
# 16- and 32-byte stores become vector stores instead of four or eight words.
add_compile_options(-msimd128)
# clang's -Wformat objects to print_text's "" fallback format; GCC does not.
add_compile_options(-Wno-format-zero-length)
add_link_options(-sALLOW_MEMORY_GROWTH=1)

# ---------------------------------------------------------------- third-party libraries
# Built with their own warnings off; the project's flags come back afterwards.
get_directory_property(tavlo_compile_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "-w")

set(zlib_dir ${TAVLO_WEB_SOURCES}/zlib)
add_library(tavlo_web_zlib STATIC
  ${zlib_dir}/adler32.c ${zlib_dir}/compress.c ${zlib_dir}/crc32.c ${zlib_dir}/deflate.c
  ${zlib_dir}/infback.c ${zlib_dir}/inffast.c ${zlib_dir}/inflate.c ${zlib_dir}/inftrees.c
  ${zlib_dir}/trees.c ${zlib_dir}/uncompr.c ${zlib_dir}/zutil.c)
target_include_directories(tavlo_web_zlib SYSTEM PUBLIC ${zlib_dir})
# FreeType links it as the system's zlib, as Debian's FreeType does.
add_library(ZLIB::ZLIB ALIAS tavlo_web_zlib)
set(ZLIB_INCLUDE_DIR ${zlib_dir} CACHE PATH "" FORCE)
set(ZLIB_LIBRARY tavlo_web_zlib CACHE STRING "" FORCE)

set(FT_DISABLE_ZLIB OFF CACHE BOOL "" FORCE)
set(FT_REQUIRE_ZLIB ON CACHE BOOL "" FORCE)
set(FT_DISABLE_BZIP2 ON CACHE BOOL "" FORCE)
set(FT_DISABLE_PNG ON CACHE BOOL "" FORCE)
set(FT_DISABLE_HARFBUZZ ON CACHE BOOL "" FORCE)
set(FT_DISABLE_BROTLI ON CACHE BOOL "" FORCE)
set(SKIP_INSTALL_ALL ON CACHE BOOL "" FORCE)
add_subdirectory(${TAVLO_WEB_SOURCES}/freetype ${CMAKE_BINARY_DIR}/third_party/freetype
                 EXCLUDE_FROM_ALL)
add_library(Freetype::Freetype ALIAS freetype)

set(png_dir ${TAVLO_WEB_SOURCES}/libpng)
configure_file(${png_dir}/scripts/pnglibconf.h.prebuilt
               ${CMAKE_BINARY_DIR}/third_party/libpng/pnglibconf.h COPYONLY)
add_library(tavlo_web_png STATIC
  ${png_dir}/png.c ${png_dir}/pngerror.c ${png_dir}/pngget.c ${png_dir}/pngmem.c
  ${png_dir}/pngpread.c ${png_dir}/pngread.c ${png_dir}/pngrio.c ${png_dir}/pngrtran.c
  ${png_dir}/pngrutil.c ${png_dir}/pngset.c ${png_dir}/pngtrans.c ${png_dir}/pngwio.c
  ${png_dir}/pngwrite.c ${png_dir}/pngwtran.c ${png_dir}/pngwutil.c)
target_include_directories(tavlo_web_png SYSTEM PUBLIC ${png_dir}
                           ${CMAKE_BINARY_DIR}/third_party/libpng)
target_link_libraries(tavlo_web_png PUBLIC tavlo_web_zlib)
add_library(PNG::PNG ALIAS tavlo_web_png)

set(gif_dir ${TAVLO_WEB_SOURCES}/giflib)
add_library(tavlo_web_gif STATIC
  ${gif_dir}/dgif_lib.c ${gif_dir}/egif_lib.c ${gif_dir}/gifalloc.c ${gif_dir}/gif_err.c
  ${gif_dir}/gif_font.c ${gif_dir}/gif_hash.c ${gif_dir}/openbsd-reallocarray.c
  ${gif_dir}/quantize.c)
target_include_directories(tavlo_web_gif SYSTEM PUBLIC ${gif_dir})
add_library(GIF::GIF ALIAS tavlo_web_gif)

# fontconfig is not used: the faces are built in (gdi/font_files_builtin.cpp).
add_library(tavlo_web_no_fontconfig INTERFACE)
add_library(Fontconfig::Fontconfig ALIAS tavlo_web_no_fontconfig)

if(TAVLO_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/third_party/googletest EXCLUDE_FROM_ALL)
  # Without exceptions, like everything else here: the tests catch nothing.
  foreach(gtest_target gtest gtest_main gmock gmock_main)
    target_compile_options(${gtest_target} PUBLIC -fno-exceptions)
  endforeach()
endif()
if(TAVLO_BENCH)
  set(benchmark_dir ${TAVLO_WEB_SOURCES}/benchmark)
  file(GLOB benchmark_sources ${benchmark_dir}/src/*.cc)
  list(FILTER benchmark_sources EXCLUDE REGEX "benchmark_main\\.cc$")
  add_library(tavlo_web_benchmark STATIC ${benchmark_sources})
  target_include_directories(tavlo_web_benchmark SYSTEM PUBLIC ${benchmark_dir}/include)
  target_compile_definitions(tavlo_web_benchmark PUBLIC BENCHMARK_STATIC_DEFINE
                             PRIVATE HAVE_STD_REGEX)
  add_library(tavlo_web_benchmark_main STATIC ${benchmark_dir}/src/benchmark_main.cc)
  target_link_libraries(tavlo_web_benchmark_main PUBLIC tavlo_web_benchmark)
endif()

set_directory_properties(PROPERTIES COMPILE_OPTIONS "${tavlo_compile_options}")

# ---------------------------------------------------------------- the package
set(TAVLO_QT OFF CACHE BOOL "" FORCE)
add_subdirectory(package)

# The faces a desktop's fontconfig picks for the package's requests, built into
# every program at /fonts (gdi/font_files_builtin.cpp lists them), also into the
# instrumented copy of the platform that the instrumented suites link.
set(TAVLO_WEB_FONTS
  /usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf
  /usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf
  /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
  /usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf)
foreach(platform tavlo_platform tavlo_instrumented)
  if(NOT TARGET ${platform})
    continue()
  endif()
  target_compile_definitions(${platform} PRIVATE TAVLO_BUILTIN_FONTS=1)
  foreach(font ${TAVLO_WEB_FONTS})
    get_filename_component(font_name ${font} NAME)
    target_link_options(${platform} INTERFACE "SHELL:--embed-file ${font}@/fonts/${font_name}")
  endforeach()
endforeach()

# The web presenter: pages, Asyncify for GetMessageA's wait, the script file in
# the browser's storage. The entry point picks it when it runs in a page.
set(web_dir ${PROJECT_SOURCE_DIR}/package/platform/portable/presenters/web)
# The page's scripts: the page modules (presenters/web/page_*.js, ES modules)
# bundled into one classic script, page_scripts.js beside the pages, which each
# page loads before its program (Emscripten 3.1.6 takes no ES modules); the
# program's --pre-js, page_pre.js, starts it. Bundled by
# playground/tools/page-scripts.mjs with the pinned esbuild.
file(GLOB TAVLO_WEB_PAGE_MODULES CONFIGURE_DEPENDS ${web_dir}/*.js)
set(page_scripts_tool ${PROJECT_SOURCE_DIR}/playground/tools/page-scripts.mjs)
set(TAVLO_WEB_PAGE_SCRIPT ${CMAKE_BINARY_DIR}/web/page_scripts.js)
if(NOT EXISTS ${PROJECT_SOURCE_DIR}/playground/node_modules/esbuild/package.json)
  message(FATAL_ERROR "playground/node_modules/esbuild is missing: run scripts/setup-web.sh")
endif()
add_custom_command(OUTPUT ${TAVLO_WEB_PAGE_SCRIPT}
  COMMAND ${TAVLO_NODE} ${page_scripts_tool} emscripten ${TAVLO_WEB_PAGE_SCRIPT}
  DEPENDS ${TAVLO_WEB_PAGE_MODULES} ${web_dir}/page_interface.h ${page_scripts_tool}
          ${PROJECT_SOURCE_DIR}/playground/package-lock.json
  COMMENT "Bundling the web pages' scripts" VERBATIM)
add_custom_target(tavlo_web_page_script DEPENDS ${TAVLO_WEB_PAGE_SCRIPT})
# (TAVLO_WEB_PRESENTER_SOURCES: cmake/sources.cmake.)
add_library(tavlo_web STATIC ${TAVLO_WEB_PRESENTER_SOURCES})
target_link_libraries(tavlo_web PUBLIC tavlo_platform)
target_compile_definitions(tavlo_web PUBLIC TAVLO_HAVE_WEB=1)
target_link_options(tavlo_web INTERFACE
  -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536 -sEXIT_RUNTIME=1 -sMINIFY_HTML=0
  -sEXPORTED_FUNCTIONS=_main,_fflush,_tavlo_page_leaving
  "SHELL:--pre-js ${web_dir}/page_pre.js"
  "SHELL:--shell-file ${web_dir}/page.html")
add_dependencies(tavlo_web tavlo_web_page_script)
target_link_libraries(tavlo_entry PUBLIC tavlo_web)

# Each application on tavlo.h is a page: <name>.html with its .js and .wasm, all
# in build-web/web beside the page's style sheet, the folder a server serves.
set(TAVLO_WEB_PAGES_DIR ${CMAKE_BINARY_DIR}/web)
configure_file(${web_dir}/page.css ${TAVLO_WEB_PAGES_DIR}/page.css COPYONLY)
# Every page, one target (scripts/build-site.sh builds it).
add_custom_target(web_pages)
function(tavlo_web_page target)
  add_dependencies(web_pages ${target})
  set_target_properties(${target} PROPERTIES SUFFIX ".html"
                        RUNTIME_OUTPUT_DIRECTORY ${TAVLO_WEB_PAGES_DIR})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
               ${web_dir}/page_pre.js ${web_dir}/page.html)
  add_dependencies(${target} tavlo_web_page_script)
endfunction()

add_subdirectory(demo)
add_subdirectory(examples)
# The demo and every application in examples/ (one per source file there).
file(GLOB example_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/*.cpp)
set(pages cubes)
foreach(source ${example_sources})
  get_filename_component(name ${source} NAME_WE)
  list(APPEND pages ${name})
endforeach()
foreach(page ${pages})
  if(TARGET ${page})
    tavlo_web_page(${page})
  endif()
endforeach()
# Applications from anywhere, each one .cpp file on tavlo.h, as pages named after
# their files (scripts/run-web.sh PROGRAM.cpp sets this).
set(TAVLO_WEB_PROGRAMS "" CACHE STRING
    "One-file applications (.cpp paths, ;-separated) to build as pages besides the examples")
foreach(source ${TAVLO_WEB_PROGRAMS})
  get_filename_component(source ${source} ABSOLUTE)
  get_filename_component(name ${source} NAME_WE)
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "TAVLO_WEB_PROGRAMS: no file ${source}")
  elseif(TARGET ${name})
    message(FATAL_ERROR "TAVLO_WEB_PROGRAMS: ${source} would be the page ${name}.html, "
                        "which is already built from this tree: rename the file")
  endif()
  add_executable(${name} WIN32 ${source})
  target_link_libraries(${name} PRIVATE tavlo::tavlo)
  tavlo_web_page(${name})
endforeach()

# ---------------------------------------------------------------- tests and benchmarks
if(TAVLO_TESTS)
  enable_testing()
  include(GoogleTest)
  # The suites of tests/*.cpp (the Qt, desktop and Windows ones live in subfolders).
  # Golden pictures and test output are the real files, mounted into the
  # program's file system under the same paths; the fonts stay built in.
  configure_file(${PROJECT_SOURCE_DIR}/tests/web/node_files.js.in
                 ${CMAKE_BINARY_DIR}/tests/node_files.js @ONLY)
  file(GLOB TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/*.cpp)
  # The suites link the libraries the pages link (the package, the portable
  # platform and the demo), as the native suites do.
  add_executable(tavlo_tests ${TEST_SOURCES})
  target_include_directories(tavlo_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(tavlo_tests PRIVATE tavlo_internals cubes_demo GTest::gtest
                        GTest::gtest_main)
  target_link_options(tavlo_tests PRIVATE -lnodefs.js -sEXIT_RUNTIME=1
                      "SHELL:--pre-js ${CMAKE_BINARY_DIR}/tests/node_files.js")
  target_compile_definitions(tavlo_tests PRIVATE
    TAVLO_GOLDEN_DIR="${PROJECT_SOURCE_DIR}/tests/golden"
    TAVLO_TEST_OUTPUT_DIR="${CMAKE_BINARY_DIR}/tests/output")
  gtest_discover_tests(tavlo_tests TEST_PREFIX "wasm." DISCOVERY_TIMEOUT 120
                       PROPERTIES TIMEOUT 300)
  # The suites that count work through the instruments (tests/instrumented/),
  # linked with the instrumented copy of the package and the platform.
  file(GLOB INSTRUMENTED_TEST_SOURCES CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/tests/instrumented/*.cpp)
  add_executable(tavlo_instrumented_tests ${INSTRUMENTED_TEST_SOURCES})
  target_include_directories(tavlo_instrumented_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(tavlo_instrumented_tests PRIVATE tavlo_instrumented GTest::gtest
                        GTest::gtest_main)
  target_link_options(tavlo_instrumented_tests PRIVATE -lnodefs.js -sEXIT_RUNTIME=1
                      "SHELL:--pre-js ${CMAKE_BINARY_DIR}/tests/node_files.js")
  target_compile_definitions(tavlo_instrumented_tests PRIVATE
    TAVLO_GOLDEN_DIR="${PROJECT_SOURCE_DIR}/tests/golden"
    TAVLO_TEST_OUTPUT_DIR="${CMAKE_BINARY_DIR}/tests/output")
  gtest_discover_tests(tavlo_instrumented_tests TEST_PREFIX "wasm." DISCOVERY_TIMEOUT 120
                       PROPERTIES TIMEOUT 300)
endif()

if(TAVLO_BENCH)
  add_executable(bench_frame ${PROJECT_SOURCE_DIR}/bench/bench_frame.cpp)
  target_include_directories(bench_frame PRIVATE ${PROJECT_SOURCE_DIR}/package/src
                             ${PROJECT_SOURCE_DIR}/package/platform ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(bench_frame PRIVATE tavlo cubes_demo tavlo_web_benchmark_main)
endif()
