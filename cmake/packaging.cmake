# The Debian package (cpack -G DEB in a build folder): the libraries, headers, the
# CMake and pkg-config files and the cubes demo, for /usr.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md
              ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} USE_SOURCE_PERMISSIONS
        FILES_MATCHING PATTERN "*.md" PATTERN "*.png" PATTERN "*.cpp" PATTERN "*.txt" PATTERN "*.sh")

set(CPACK_PACKAGE_NAME tavlo)
set(CPACK_PACKAGE_VENDOR "TAVLO developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "small graphics package on Win32 for C++ applications, with the cubes demo")
set(CPACK_PACKAGE_DESCRIPTION
    "A canvas with its origin at the centre and y up, 24 named colours, drawing calls that repair bad arguments, a message log window, events and animation, recording and playback. Static libraries, headers, CMake package tavlo::tavlo, tavlo.pc, and the cubes demo.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "TAVLO developers")
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
# The demo's run-time libraries, and what an application needs to link the static
# libraries: the development packages of the same libraries and the fonts the
# text is drawn in.
set(TAVLO_DEB_DEPENDS
    "libc6, libstdc++6, libgcc-s1, libfreetype6, libfontconfig1, libpng16-16, libgif7, fonts-dejavu-core, fonts-liberation2, libfreetype-dev, libfontconfig-dev, libpng-dev, libgif-dev")
if(TARGET tavlo_qt)
  string(APPEND TAVLO_DEB_DEPENDS ", libqt6core6, libqt6gui6, libqt6widgets6, qt6-qpa-plugins, qt6-base-dev")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS ${TAVLO_DEB_DEPENDS})
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "g++, cmake, pkg-config, python3, bubblewrap")
include(CPack)
