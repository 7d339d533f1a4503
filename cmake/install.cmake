# What `cmake --install` puts where (GNU layout): the shared library with its SONAME links,
# the public headers, the tools, the man page, a pkg-config file and a CMake package that
# gives Quorvel::quorvel. Every path is relative to the prefix, so --prefix and DESTDIR work.
include(CMakePackageConfigHelpers)

set(QUORVEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvel)

install(TARGETS quorvel EXPORT QuorvelTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/quorvel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")
install(FILES ${QUORVEL_GENERATED_INCLUDE}/quorvel/version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorvel)

# The desktop module sits beside the library, where the library looks for it.
if(TARGET quorvel_qt_module)
  install(TARGETS quorvel_qt_module LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
foreach(tool quorvel_tool quorvel-gui quorvel_gui)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
# The man page is written by hand; only its version line comes from the project.
configure_file(${CMAKE_SOURCE_DIR}/man/quorvel.1 ${CMAKE_BINARY_DIR}/man/quorvel.1 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/man/quorvel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Desktop integration where the freedesktop specifications look: the WSQ MIME type, the
# thumbnailer (the tool's `thumbnail` command), the icon and, with quorvel-gui, its menu entry.
# Debian's shared-mime-info, hicolor-icon-theme and desktop-file-utils refresh their caches by
# file triggers on these folders, so the package needs no maintainer scripts for them.
install(FILES ${CMAKE_SOURCE_DIR}/desktop/quorvel.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${CMAKE_SOURCE_DIR}/desktop/quorvel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
if(TARGET quorvel_tool)
  install(FILES ${CMAKE_SOURCE_DIR}/desktop/quorvel.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
endif()
if(TARGET quorvel_gui)
  install(FILES ${CMAKE_SOURCE_DIR}/desktop/quorvel-gui.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

# pkg-config: the prefix is found from the .pc file's own place, so the file stays right
# wherever the tree is installed.
file(RELATIVE_PATH QUORVEL_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" QUORVEL_PC_TO_PREFIX "${QUORVEL_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/quorvel.pc.in ${CMAKE_BINARY_DIR}/quorvel.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/quorvel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(EXPORT QuorvelTargets NAMESPACE Quorvel:: DESTINATION ${QUORVEL_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/QuorvelConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/QuorvelConfig.cmake
                              INSTALL_DESTINATION ${QUORVEL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/QuorvelConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/QuorvelConfig.cmake ${CMAKE_BINARY_DIR}/QuorvelConfigVersion.cmake
        DESTINATION ${QUORVEL_CMAKE_DIR})
