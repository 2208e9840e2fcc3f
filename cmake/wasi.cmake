# The package for wasm32-wasi, built by the playground's compiler (npm
# @yowasp/clang, pinned in playground/package.json) under node: the libraries a
# program written in the playground is linked with. Included by the top-level
# CMakeLists.txt with -DTAVLO_WASI=ON, beside the native build, whose examples
# the test compares with.
#
# Built into ${CMAKE_BINARY_DIR}/wasi:
#   lib/        libtavlo_entry.a (main()), libtavlo.a (the package),
#               libtavlo_platform.a (the presenter kit, the portable GDI, USER,
#               KERNEL, image files, the headless presenter and the web
#               presenter, whose page calls are imports of the module
#               tavlo_page), libtavlo_freetype.a, libtavlo_png.a,
#               libtavlo_gif.a, libtavlo_zlib.a (from the Debian sources
#               scripts/setup-web.sh unpacks, as the web build does);
#   include/    what a program sees: tavlo.h, tavlo_version.h, win32.h and the
#               portable subset header;
#   fonts/      the faces the package asks for, read by the program at /fonts
#               (gdi/font_files_builtin.cpp), not linked into it;
#   prelude.h, prelude.h.pch
#               the precompiled header of tavlo.h and common standard headers;
#   playground.json
#               the flags, libraries and files a program's compile and link use.
#
# Every file is compiled with the same flags (-fno-exceptions: the compiler's
# C++ runtime cannot throw). All files are compiled in one node process by
# playground/tools/wasi-cc.mjs, which keeps the compiler loaded between files.

find_program(TAVLO_NODE NAMES node nodejs REQUIRED)
set(TAVLO_WASI_COMPILER ${PROJECT_SOURCE_DIR}/playground/node_modules/@yowasp/clang/gen/bundle.js)
if(NOT EXISTS ${TAVLO_WASI_COMPILER})
  message(FATAL_ERROR "${TAVLO_WASI_COMPILER} is missing: run scripts/setup-web.sh")
endif()
set(TAVLO_WEB_SOURCES /var/cache/tavlo-web CACHE PATH
    "Folder with the freetype, zlib, libpng, giflib and benchmark sources (scripts/setup-web.sh)")
foreach(library freetype zlib libpng giflib)
  if(NOT EXISTS ${TAVLO_WEB_SOURCES}/${library}/)
    message(FATAL_ERROR "${TAVLO_WEB_SOURCES}/${library} is missing: run scripts/setup-web.sh")
  endif()
endforeach()
set(TAVLO_WASI_JOBS 2 CACHE STRING "Compiler threads of the wasm32-wasi build (each about 0.5 GB)")

set(wasi_dir ${CMAKE_BINARY_DIR}/wasi)
# The build tree's public headers (package/CMakeLists.txt writes them).
set(wasi_public_build_dir ${CMAKE_BINARY_DIR}/public)
set(wasi_cc ${PROJECT_SOURCE_DIR}/playground/tools/wasi-cc.mjs)

# The same code generation for every file, the libraries' and the program's.
# setjmp and longjmp (FreeType's and libpng's error exits) use WebAssembly's
# exception handling, which node and the browsers run; libsetjmp.a has the calls.
set(TAVLO_WASI_FLAGS --target=wasm32-wasip1 -fno-exceptions -msimd128 -mllvm -wasm-enable-sjlj)
set(wasi_library_flags ${TAVLO_WASI_FLAGS} -O2)
set(wasi_cxx_flags -std=c++20 -Wall -Wextra -Wshadow -Wno-unused-parameter
    -Wno-format-zero-length)
# What the WASI C library leaves out unless asked: the emulated process clocks
# (std::clock) and getpid, both plain functions in libwasi-emulated-*.a.
set(wasi_emulation -D_WASI_EMULATED_PROCESS_CLOCKS -D_WASI_EMULATED_GETPID)
# The most memory a program may use (bytes, a multiple of 64 KiB): reaching it
# ends the program with a message, instead of a page that grows without end.
set(TAVLO_WASI_MEMORY_LIMIT 536870912)
set(TAVLO_WASI_LINK_LIBRARIES -lsetjmp -lwasi-emulated-process-clocks -lwasi-emulated-getpid)

# ---------------------------------------------------------------- generated headers
set(wasi_generated ${wasi_dir}/generated)
set(ft_dir ${TAVLO_WEB_SOURCES}/freetype)
# FreeType's options as its own CMake build writes them when it finds zlib.
file(READ ${ft_dir}/include/freetype/config/ftoption.h ftoption)
string(REGEX REPLACE "/\\* +(#define +FT_CONFIG_OPTION_SYSTEM_ZLIB) +\\*/" "\\1" ftoption "${ftoption}")
file(CONFIGURE OUTPUT ${wasi_generated}/freetype/config/ftoption.h CONTENT "${ftoption}" @ONLY)
set(png_dir ${TAVLO_WEB_SOURCES}/libpng)
configure_file(${png_dir}/scripts/pnglibconf.h.prebuilt ${wasi_generated}/pnglibconf.h COPYONLY)

# What a program includes: the public interface as installed (include/tavlo/).
set(wasi_include ${wasi_dir}/include)
configure_file(${PROJECT_SOURCE_DIR}/package/include/tavlo.h ${wasi_include}/tavlo.h COPYONLY)
configure_file(${wasi_public_build_dir}/tavlo_version.h ${wasi_include}/tavlo_version.h COPYONLY)
configure_file(${PROJECT_SOURCE_DIR}/package/platform/win32.h ${wasi_include}/win32.h COPYONLY)
configure_file(${PROJECT_SOURCE_DIR}/package/platform/portable/win32_portable.h
               ${wasi_include}/portable/win32_portable.h COPYONLY)

# The faces the built-in font list names, for the program's /fonts.
foreach(font
    /usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf
    /usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf
    /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
    /usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf)
  get_filename_component(font_name ${font} NAME)
  configure_file(${font} ${wasi_dir}/fonts/${font_name} COPYONLY)
endforeach()

# ---------------------------------------------------------------- the libraries
set(zlib_dir ${TAVLO_WEB_SOURCES}/zlib)
set(gif_dir ${TAVLO_WEB_SOURCES}/giflib)

set(wasi_lib_zlib_sources adler32.c compress.c crc32.c deflate.c infback.c inffast.c inflate.c
    inftrees.c trees.c uncompr.c zutil.c)
list(TRANSFORM wasi_lib_zlib_sources PREPEND ${zlib_dir}/)
set(wasi_lib_zlib_flags -w -I${zlib_dir})

set(wasi_lib_png_sources png.c pngerror.c pngget.c pngmem.c pngpread.c pngread.c pngrio.c
    pngrtran.c pngrutil.c pngset.c pngtrans.c pngwio.c pngwrite.c pngwtran.c pngwutil.c)
list(TRANSFORM wasi_lib_png_sources PREPEND ${png_dir}/)
set(wasi_lib_png_flags -w -I${png_dir} -I${wasi_generated} -I${zlib_dir})

set(wasi_lib_gif_sources dgif_lib.c egif_lib.c gifalloc.c gif_err.c gif_font.c gif_hash.c
    openbsd-reallocarray.c quantize.c)
list(TRANSFORM wasi_lib_gif_sources PREPEND ${gif_dir}/)
set(wasi_lib_gif_flags -w -I${gif_dir})

# FreeType's own source list (its CMakeLists.txt), with the plain C file access
# of src/base/ftsystem.c (no mmap in WASI).
set(wasi_lib_freetype_sources
  src/autofit/autofit.c src/base/ftbase.c src/base/ftbbox.c src/base/ftbdf.c
  src/base/ftbitmap.c src/base/ftcid.c src/base/ftfstype.c src/base/ftgasp.c
  src/base/ftglyph.c src/base/ftgxval.c src/base/ftinit.c src/base/ftmm.c src/base/ftotval.c
  src/base/ftpatent.c src/base/ftpfr.c src/base/ftstroke.c src/base/ftsynth.c
  src/base/fttype1.c src/base/ftwinfnt.c src/bdf/bdf.c src/bzip2/ftbzip2.c
  src/cache/ftcache.c src/cff/cff.c src/cid/type1cid.c src/gzip/ftgzip.c src/lzw/ftlzw.c
  src/pcf/pcf.c src/pfr/pfr.c src/psaux/psaux.c src/pshinter/pshinter.c
  src/psnames/psnames.c src/raster/raster.c src/sdf/sdf.c src/sfnt/sfnt.c
  src/smooth/smooth.c src/svg/svg.c src/truetype/truetype.c src/type1/type1.c
  src/type42/type42.c src/winfonts/winfnt.c src/base/ftsystem.c src/base/ftdebug.c)
list(TRANSFORM wasi_lib_freetype_sources PREPEND ${ft_dir}/)
set(wasi_lib_freetype_flags -w -DFT2_BUILD_LIBRARY -I${wasi_generated} -I${ft_dir}/include
    -I${zlib_dir})

# The source lists the native and web builds compile (cmake/sources.cmake).
set(wasi_lib_platform_sources ${TAVLO_PLATFORM_SOURCES} ${TAVLO_WEB_PRESENTER_SOURCES})
set(wasi_lib_platform_flags ${wasi_cxx_flags} ${wasi_emulation} -DTAVLO_BUILTIN_FONTS=1
    -I${wasi_generated} -I${ft_dir}/include -I${png_dir} -I${zlib_dir} -I${gif_dir})

set(wasi_lib_tavlo_sources ${TAVLO_SOURCES})
# The public headers as a program sees them (include/: copies). Not the build
# tree's public/win32.h: it includes the source tree's header by its absolute
# path, which the compiler cannot see for a checkout under /tmp (wasi-cc.mjs
# shows the host's /tmp under another name and translates paths in arguments,
# not in the files' text).
set(wasi_lib_tavlo_flags ${wasi_cxx_flags} ${wasi_emulation}
    -I${PROJECT_SOURCE_DIR}/package/include -I${wasi_include}
    -I${PROJECT_SOURCE_DIR}/package/src)

set(wasi_lib_entry_sources ${TAVLO_ENTRY_SOURCES})
# The entry point picks the web presenter when a page is there (the import
# tavlo_page.present_in_page says so), else the program runs headless.
set(wasi_lib_entry_flags ${wasi_cxx_flags} ${wasi_emulation} -DTAVLO_HAVE_WEB=1)

# Link order: each library before the ones it uses. Each is libtavlo_<name>.a,
# the package's own libtavlo.a.
set(wasi_libraries entry tavlo platform freetype png gif zlib)
foreach(library ${wasi_libraries})
  set(wasi_lib_${library}_name tavlo_${library})
endforeach()
set(wasi_lib_tavlo_name tavlo)
set(wasi_jobs "")
set(wasi_archives "")
set(wasi_archive_files "")
set(wasi_all_sources "")
foreach(library ${wasi_libraries})
  set(objects "")
  foreach(source ${wasi_lib_${library}_sources})
    file(RELATIVE_PATH relative ${TAVLO_WEB_SOURCES} ${source})
    if(relative MATCHES "^\\.\\.")
      file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${source})
    endif()
    set(object ${wasi_dir}/obj/${library}/${relative}.o)
    set(flags ${wasi_library_flags} ${wasi_lib_${library}_flags})
    list(TRANSFORM flags PREPEND "\"")
    list(TRANSFORM flags APPEND "\"")
    list(JOIN flags ", " flags_json)
    list(APPEND wasi_jobs
         "    {\"source\": \"${source}\", \"object\": \"${object}\", \"flags\": [${flags_json}]}")
    list(APPEND objects "\"${object}\"")
    list(APPEND wasi_all_sources ${source})
  endforeach()
  list(JOIN objects ", " objects_json)
  set(archive ${wasi_dir}/lib/lib${wasi_lib_${library}_name}.a)
  list(APPEND wasi_archive_files ${archive})
  list(APPEND wasi_archives "    {\"output\": \"${archive}\", \"objects\": [${objects_json}]}")
endforeach()
list(JOIN wasi_jobs ",\n" wasi_jobs_json)
list(JOIN wasi_archives ",\n" wasi_archives_json)
set(wasi_mounts ${PROJECT_SOURCE_DIR}/package ${wasi_include}
    ${wasi_generated} ${zlib_dir} ${png_dir} ${gif_dir} ${ft_dir}/include ${ft_dir}/src)
list(TRANSFORM wasi_mounts PREPEND "\"")
list(TRANSFORM wasi_mounts APPEND "\"")
list(JOIN wasi_mounts ", " wasi_mounts_json)
set(wasi_manifest ${wasi_dir}/libraries.json)
file(CONFIGURE OUTPUT ${wasi_manifest} CONTENT "{
  \"mounts\": [${wasi_mounts_json}],
  \"tool\": {\".c\": \"clang\", \".cpp\": \"clang++\"},
  \"jobs\": [
${wasi_jobs_json}
  ],
  \"archives\": [
${wasi_archives_json}
  ]
}
" @ONLY)

file(GLOB_RECURSE wasi_package_headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/package/*.h)
add_custom_command(
  OUTPUT ${wasi_dir}/libraries.stamp
  BYPRODUCTS ${wasi_archive_files}
  COMMAND ${TAVLO_NODE} ${wasi_cc} build ${wasi_manifest} --jobs ${TAVLO_WASI_JOBS}
  COMMAND ${CMAKE_COMMAND} -E touch ${wasi_dir}/libraries.stamp
  DEPENDS ${wasi_cc} ${wasi_manifest} ${wasi_all_sources} ${wasi_package_headers}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Building the package for wasm32-wasi (playground compiler under node)"
  USES_TERMINAL)

# ---------------------------------------------------------------- a program's compile
# The flags of a program's compile, which a precompiled header must share.
# Unoptimised: with the standard headers precompiled, optimising is most of a
# program's compile in the page (-O1 took 1.5 times as long), and the drawing
# is the libraries' work, which are optimised. Line tables (and nothing else of the debug information) let the page say at
# which line of the program a trap happened; the libraries have none. A read or
# write through a null pointer stops the program (WebAssembly's memory starts at
# address 0, so it would go on silently, where a native program crashes): the
# check calls a handler the preludes define, at the line of the program.
set(TAVLO_WASI_PROGRAM_FLAGS ${TAVLO_WASI_FLAGS} -O0 -std=c++20 -gline-tables-only -fsanitize=null
    -fsanitize-minimal-runtime -fno-sanitize-recover=null)
set(wasi_prelude ${wasi_dir}/prelude.h)
configure_file(${PROJECT_SOURCE_DIR}/playground/prelude.h ${wasi_prelude} COPYONLY)
set(wasi_pch ${wasi_dir}/prelude.h.pch)
add_custom_command(
  OUTPUT ${wasi_pch}
  COMMAND ${TAVLO_NODE} ${wasi_cc} run --mount ${wasi_include} --file ${wasi_prelude}
          --out ${wasi_pch} -- clang++ ${TAVLO_WASI_PROGRAM_FLAGS} -I${wasi_include}
          -Xclang -fno-pch-timestamp -x c++-header ${wasi_prelude} -o ${wasi_pch}
  DEPENDS ${wasi_cc} ${wasi_prelude} ${wasi_include}/tavlo.h ${wasi_include}/win32.h
          ${wasi_include}/tavlo_version.h ${wasi_include}/portable/win32_portable.h
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Precompiling tavlo.h and common standard headers for wasm32-wasi"
  USES_TERMINAL)

# Everything a program's compile and link needs, for the test and the page.
set(program_flags ${TAVLO_WASI_PROGRAM_FLAGS})
list(TRANSFORM program_flags PREPEND "\"")
list(TRANSFORM program_flags APPEND "\"")
list(JOIN program_flags ", " program_flags_json)
# The C library asks for main(argc, argv) (named __main_argc_argv for this
# target) weakly, which takes no member out of an archive: the entry point's
# main() is asked for by name.
set(link_libraries ${TAVLO_WASI_FLAGS} -L${wasi_dir}/lib -Wl,-u,__main_argc_argv)
list(TRANSFORM link_libraries PREPEND "\"")
list(TRANSFORM link_libraries APPEND "\"")
foreach(library ${wasi_libraries})
  list(APPEND link_libraries "\"-l${wasi_lib_${library}_name}\"")
endforeach()
foreach(library ${TAVLO_WASI_LINK_LIBRARIES})
  list(APPEND link_libraries "\"${library}\"")
endforeach()
list(JOIN link_libraries ", " link_libraries_json)
file(CONFIGURE OUTPUT ${wasi_dir}/playground.json CONTENT "{
  \"compile\": [${program_flags_json}, \"-I${wasi_include}\"],
  \"pch\": \"${wasi_pch}\",
  \"prelude\": \"${wasi_prelude}\",
  \"include\": \"${wasi_include}\",
  \"link\": [${link_libraries_json},
           \"-Wl,-z,stack-size=1048576\", \"-Wl,--stack-first\",
           \"-Wl,--max-memory=${TAVLO_WASI_MEMORY_LIMIT}\"],
  \"lib\": \"${wasi_dir}/lib\",
  \"fonts\": \"${wasi_dir}/fonts\"
}
" @ONLY)

add_custom_target(playground_wasi ALL DEPENDS ${wasi_dir}/libraries.stamp ${wasi_pch})

# ---------------------------------------------------------------- the site
# The playground's static site folder, ${wasi_dir}/site: the runtime and the
# shared page modules (runtime/), the compiler (clang/, its resource archive
# trimmed) and what a program is built with (sdk/, with a small precompiled
# prelude made for the page's paths). playground/tools/make-site.mjs copies and
# makes only what is out of date, so the target runs at every build.
set(TAVLO_PLAYGROUND_SITE ${wasi_dir}/site)
add_custom_target(playground_site ALL
  COMMAND ${TAVLO_NODE} ${PROJECT_SOURCE_DIR}/playground/tools/make-site.mjs ${wasi_dir}
          ${TAVLO_PLAYGROUND_SITE} ${PROJECT_SOURCE_DIR}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "The playground's site: runtime, compiler and sdk in ${TAVLO_PLAYGROUND_SITE}"
  USES_TERMINAL)
add_dependencies(playground_site playground_wasi)

if(TAVLO_TESTS)
  # A program compiled by the playground's compiler with the precompiled header,
  # linked with the libraries above and run under node's WASI draws the same
  # pixels and logs the same lines as the native build of the same program.
  add_test(NAME Playground.ShapesUnderWasiMatchesNative
           COMMAND ${TAVLO_NODE} ${PROJECT_SOURCE_DIR}/playground/tests/run_program.mjs
                   ${wasi_dir}/playground.json ${PROJECT_SOURCE_DIR}/examples/shapes.cpp
                   $<TARGET_FILE:shapes> ${wasi_dir}/test
                   ${PROJECT_SOURCE_DIR}/tests/examples/shapes_session.txt)
  set_tests_properties(Playground.ShapesUnderWasiMatchesNative PROPERTIES TIMEOUT 900)
  # The site's copy of the compiler's bundle: its changes apply, and its file
  # stream writes the runtime's bytes without copying the file at every write.
  add_test(NAME Playground.CompilerBundle
           COMMAND ${TAVLO_NODE} ${PROJECT_SOURCE_DIR}/tests/web/compiler_bundle_test.mjs)
  # The site in Chromium (puppeteer-core from scripts/setup-web.sh): programs
  # compiled, linked and run in the page draw the native pictures. Skipped
  # (77) without Chromium or puppeteer-core.
  add_test(NAME Playground.RuntimeInChromium
           COMMAND ${TAVLO_NODE} ${PROJECT_SOURCE_DIR}/tests/web/playground_runtime_test.mjs
                   ${TAVLO_PLAYGROUND_SITE} ${CMAKE_BINARY_DIR})
  set_tests_properties(Playground.RuntimeInChromium PROPERTIES TIMEOUT 1800 SKIP_RETURN_CODE 77)
endif()

include(${PROJECT_SOURCE_DIR}/cmake/playground_page.cmake OPTIONAL)
