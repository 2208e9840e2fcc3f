# The playground's page, into the site folder beside the runtime
# (${CMAKE_BINARY_DIR}/wasi/site, served as site/playground.html):
#   playground.html, playground.css  the page (playground/page/);
#   page.css                         the windows' look, the web pages' own file;
#   page/*.js                        the page's modules;
#   editor.js                        CodeMirror 6 and its C++ mode, bundled by esbuild
#                                    (both pinned in playground/package-lock.json), and
#                                    editor.js.LICENSE.txt, the licenses of what it holds;
#   examples.json                    the Examples menu: examples/*.cpp, and the demo's
#                                    files as the tabs of one program;
#   reference.json                   tavlo.h's calls and names with their signatures
#                                    and one line each (completion, hover, hints);
#   tasks/NAME/                      the shipped tasks (examples/tasks) the page opens.
# Included at the end of cmake/wasi.cmake, which finds node (TAVLO_NODE).

set(page_site ${CMAKE_BINARY_DIR}/wasi/site)
set(page_source ${PROJECT_SOURCE_DIR}/playground/page)
set(page_tool ${PROJECT_SOURCE_DIR}/playground/tools/bundle-page.mjs)
if(NOT EXISTS ${PROJECT_SOURCE_DIR}/playground/node_modules/esbuild/package.json)
  message(FATAL_ERROR "playground/node_modules/esbuild is missing: run scripts/setup-web.sh")
endif()

file(MAKE_DIRECTORY ${page_site}/page)
set(page_outputs)
foreach(file playground.html playground.css)
  add_custom_command(OUTPUT ${page_site}/${file}
                     COMMAND ${CMAKE_COMMAND} -E copy ${page_source}/${file} ${page_site}/${file}
                     DEPENDS ${page_source}/${file} VERBATIM)
  list(APPEND page_outputs ${page_site}/${file})
endforeach()
set(page_windows_css ${PROJECT_SOURCE_DIR}/package/platform/portable/presenters/web/page.css)
add_custom_command(OUTPUT ${page_site}/page.css
                   COMMAND ${CMAKE_COMMAND} -E copy ${page_windows_css} ${page_site}/page.css
                   DEPENDS ${page_windows_css} VERBATIM)
list(APPEND page_outputs ${page_site}/page.css)

file(GLOB page_modules CONFIGURE_DEPENDS ${page_source}/js/*.js)
foreach(module ${page_modules})
  get_filename_component(name ${module} NAME)
  add_custom_command(OUTPUT ${page_site}/page/${name}
                     COMMAND ${CMAKE_COMMAND} -E copy ${module} ${page_site}/page/${name}
                     DEPENDS ${module} VERBATIM)
  list(APPEND page_outputs ${page_site}/page/${name})
endforeach()

# The editor bundle: remade when its entry, the bundler or the lock file (the
# versions of CodeMirror and esbuild) changes.
add_custom_command(OUTPUT ${page_site}/editor.js ${page_site}/editor.js.LICENSE.txt
                   COMMAND ${TAVLO_NODE} ${page_tool} editor ${page_source}/editor.mjs ${page_site}/editor.js
                   DEPENDS ${page_source}/editor.mjs ${page_tool} ${PROJECT_SOURCE_DIR}/playground/package-lock.json
                   COMMENT "Bundling the playground's editor" VERBATIM)
list(APPEND page_outputs ${page_site}/editor.js)

# The Examples menu: shapes first (the program a first visit shows), then the
# other examples, then the demo with its main file first.
file(GLOB page_examples CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/*.cpp)
list(REMOVE_ITEM page_examples ${PROJECT_SOURCE_DIR}/examples/shapes.cpp)
list(PREPEND page_examples ${PROJECT_SOURCE_DIR}/examples/shapes.cpp)
file(GLOB page_demo CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/demo/*.cpp ${PROJECT_SOURCE_DIR}/demo/*.h)
list(REMOVE_ITEM page_demo ${PROJECT_SOURCE_DIR}/demo/cubes.cpp)
list(PREPEND page_demo ${PROJECT_SOURCE_DIR}/demo/cubes.cpp)
set(page_example_args)
foreach(example ${page_examples})
  get_filename_component(name ${example} NAME_WE)
  list(APPEND page_example_args --program ${name} ${name} ${example})
endforeach()
list(APPEND page_example_args --program cubes "cubes (the demo)" ${page_demo})
add_custom_command(OUTPUT ${page_site}/examples.json
                   COMMAND ${TAVLO_NODE} ${page_tool} examples ${page_site}/examples.json ${page_example_args}
                   DEPENDS ${page_examples} ${page_demo} ${page_tool}
                   COMMENT "Gathering the playground's examples" VERBATIM)
list(APPEND page_outputs ${page_site}/examples.json)

set(page_header ${PROJECT_SOURCE_DIR}/package/include/tavlo.h)
add_custom_command(OUTPUT ${page_site}/reference.json
                   COMMAND ${TAVLO_NODE} ${page_tool} reference ${page_header} ${page_site}/reference.json
                   DEPENDS ${page_header} ${page_tool} ${PROJECT_SOURCE_DIR}/playground/tools/reference.mjs
                   COMMENT "Reading tavlo.h's reference for the playground" VERBATIM)
list(APPEND page_outputs ${page_site}/reference.json)

# The teachers' tasks the page opens (playground.html?task=tasks/NAME/): each
# task's task.json, its stored pictures and its starting program; never its
# model solution or the programs it is tested with.
file(GLOB page_task_files CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}/examples/tasks
     ${PROJECT_SOURCE_DIR}/examples/tasks/*/task.json ${PROJECT_SOURCE_DIR}/examples/tasks/*/starter.cpp
     ${PROJECT_SOURCE_DIR}/examples/tasks/*/expected/*.png)
foreach(file ${page_task_files})
  add_custom_command(OUTPUT ${page_site}/tasks/${file}
                     COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/examples/tasks/${file} ${page_site}/tasks/${file}
                     DEPENDS ${PROJECT_SOURCE_DIR}/examples/tasks/${file} VERBATIM)
  list(APPEND page_outputs ${page_site}/tasks/${file})
endforeach()

add_custom_target(playground_page ALL DEPENDS ${page_outputs})

if(TAVLO_TESTS)
  # The page in Debian's Chromium against a stand-in of the runtime's interface
  # (tests/web/playground_stub_runtime.js); `--runtime real` runs the same checks
  # with the site's own runtime.
  add_test(NAME Playground.Page
           COMMAND ${TAVLO_NODE} ${PROJECT_SOURCE_DIR}/tests/web/playground_page_test.mjs ${page_site})
  set_tests_properties(Playground.Page PROPERTIES TIMEOUT 600)
  # The same page with the site's own runtime: the compiler compiles and runs
  # what the editor holds.
  add_test(NAME Playground.PageWithCompiler
           COMMAND ${TAVLO_NODE} ${PROJECT_SOURCE_DIR}/tests/web/playground_page_test.mjs ${page_site}
                   --runtime real)
  set_tests_properties(Playground.PageWithCompiler PROPERTIES TIMEOUT 1800)
  # The page's checks under node: a task's faults, regions, tolerances, the log, the end.
  add_test(NAME Playground.CheckingRules
           COMMAND ${TAVLO_NODE} ${PROJECT_SOURCE_DIR}/tests/web/checking_test.mjs)
  # The shipped tasks checked in the page: the verdicts of the command line's checker.
  add_test(NAME Playground.Checks
           COMMAND ${TAVLO_NODE} ${PROJECT_SOURCE_DIR}/tests/web/playground_checks_test.mjs ${page_site})
  set_tests_properties(Playground.Checks PROPERTIES TIMEOUT 1800)
endif()
