# What `cmake --install` puts into the prefix, beside the tool (tools/): the
# header, the shared library (libkelvra.so.X.Y.Z with its SONAME link
# libkelvra.so.ABI and the development link libkelvra.so; on Windows kelvra.dll
# in bin/ and its import library kelvra.dll.a in lib/), a CMake package giving
# the imported target kelvra::kelvra, and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KELVRA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kelvra)

# Components: Runtime (the library), Development (header, development link,
# import library, CMake package, pkg-config file) and Tools (tools/), one
# package each (cmake/packaging.cmake).
install(TARGETS kelvra EXPORT kelvraTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kelvra.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

install(EXPORT kelvraTargets NAMESPACE kelvra:: DESTINATION ${KELVRA_CMAKE_DIR} COMPONENT Development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kelvraConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kelvraConfig.cmake INSTALL_DESTINATION ${KELVRA_CMAKE_DIR})
# Releases before 1.0 change the interface between minor versions.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kelvraConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kelvraConfig.cmake ${PROJECT_BINARY_DIR}/kelvraConfigVersion.cmake
  DESTINATION ${KELVRA_CMAKE_DIR} COMPONENT Development)

# pkg-config paths relative to the file's own place, so a moved prefix works.
file(RELATIVE_PATH KELVRA_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" KELVRA_PC_TO_PREFIX "${KELVRA_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/kelvra.pc.in ${PROJECT_BINARY_DIR}/kelvra.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kelvra.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
