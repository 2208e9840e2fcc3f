# Installation of the package: headers, libraries, the CMake package (tavlo::tavlo)
# and tavlo.pc for pkg-config. Included by package/CMakeLists.txt once the targets
# named in TAVLO_EXPORTED_TARGETS exist.
include(CMakePackageConfigHelpers)

set_target_properties(tavlo PROPERTIES EXPORT_NAME package)
set_target_properties(tavlo_app PROPERTIES EXPORT_NAME tavlo)
if(TARGET tavlo_platform)
  set_target_properties(tavlo_platform PROPERTIES EXPORT_NAME platform)
  set_target_properties(tavlo_entry PROPERTIES EXPORT_NAME entry)
endif()
if(TARGET tavlo_qt)
  set_target_properties(tavlo_qt PROPERTIES EXPORT_NAME qt)
endif()
# Inside this tree an application links the same name as one outside it.
add_library(tavlo::tavlo ALIAS tavlo_app)

set(TAVLO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tavlo)
set(TAVLO_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/tavlo)

install(TARGETS ${TAVLO_EXPORTED_TARGETS} EXPORT tavloTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# tavlo.h and exactly the headers it includes.
install(FILES ${PROJECT_SOURCE_DIR}/package/include/tavlo.h
              ${TAVLO_PUBLIC_BUILD_DIR}/tavlo_version.h
              ${PROJECT_SOURCE_DIR}/package/platform/win32.h
        DESTINATION ${TAVLO_INCLUDE_DIR})
if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/package/platform/portable/win32_portable.h
          DESTINATION ${TAVLO_INCLUDE_DIR}/portable)
endif()
install(EXPORT tavloTargets NAMESPACE tavlo:: DESTINATION ${TAVLO_CMAKE_DIR})
# The checker of teachers' tasks (docs/checks.md); it builds programs through tavlo.pc.
if(NOT WIN32)
  install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/tavlo-check DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The package's dependencies, found again by tavloConfig.cmake.
set(TAVLO_CONFIG_WITH_PORTABLE OFF)
set(TAVLO_CONFIG_WITH_QT OFF)
if(TARGET tavlo_platform)
  set(TAVLO_CONFIG_WITH_PORTABLE ON)
endif()
if(TARGET tavlo_qt)
  set(TAVLO_CONFIG_WITH_QT ON)
endif()
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/tavloConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/tavloConfig.cmake
                              INSTALL_DESTINATION ${TAVLO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tavloConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tavloConfig.cmake ${PROJECT_BINARY_DIR}/tavloConfigVersion.cmake
        DESTINATION ${TAVLO_CMAKE_DIR})

# tavlo.pc: the same libraries in link order, with the prefix taken from where
# the file itself lies, so an installed tree can be moved.
if(WIN32)
  set(TAVLO_PC_REQUIRES "")
  set(TAVLO_PC_LIBS "-ltavlo -lgdi32 -luser32 -lkernel32 -static -static-libgcc -static-libstdc++ -mwindows")
else()
  set(TAVLO_PC_REQUIRES "freetype2 fontconfig libpng libgif")
  set(TAVLO_PC_LIBS "-ltavlo_entry")
  if(TARGET tavlo_qt)
    string(APPEND TAVLO_PC_REQUIRES " Qt6Widgets")
    string(APPEND TAVLO_PC_LIBS " -ltavlo_qt")
  endif()
  string(APPEND TAVLO_PC_LIBS " -ltavlo -ltavlo_platform -pthread")
endif()
file(RELATIVE_PATH TAVLO_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" TAVLO_PC_TO_PREFIX "${TAVLO_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/tavlo.pc.in ${PROJECT_BINARY_DIR}/tavlo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tavlo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The examples, with a CMakeLists.txt that builds them against the installed
# package, in the documentation folder (share/doc/tavlo/examples).
# The tasks of tavlo-check (examples/tasks) go with them whole: task, draft, pictures.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        FILES_MATCHING PATTERN "*.cpp" PATTERN "CMakeLists.txt" PATTERN "*.json" PATTERN "*.png")
