# Installation: headers, the shared library, a CMake package (zrcore::zrcore)
# and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS zrcore EXPORT zrcoreTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/zr DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/include/zr/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zr)
install(EXPORT zrcoreTargets NAMESPACE zrcore::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zrcore)

configure_package_config_file(cmake/zrcoreConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/zrcoreConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zrcore)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/zrcoreConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/zrcoreConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/zrcoreConfigVersion.cmake
  ${CMAKE_CURRENT_SOURCE_DIR}/cmake/ZrResources.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zrcore)

# The .pc file finds its prefix from its own place, so the package works
# wherever it is installed (cmake --install --prefix may differ from the
# configured CMAKE_INSTALL_PREFIX).
file(RELATIVE_PATH ZR_PC_TO_PREFIX "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
configure_file(cmake/zrcore.pc.in ${CMAKE_CURRENT_BINARY_DIR}/zrcore.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zrcore.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
