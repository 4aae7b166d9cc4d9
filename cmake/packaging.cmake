# Debian packages from `cpack -G DEB` in a build directory: libkelvra3 (the
# shared library), libkelvra-dev (header, CMake package, pkg-config file) and
# kelvra-tools (the tool and its manual page), installed under /usr.
set(CPACK_PACKAGE_NAME kelvra)
set(CPACK_PACKAGE_VENDOR "kelvra developers")
set(CPACK_PACKAGE_CONTACT "kelvra developers <kelvra@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL Runtime Development Tools)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkelvra${KELVRA_ABI_VERSION})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libkelvra-dev)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kelvra-tools)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
# The library's own dependencies (libc6, libstdc++6, libgcc-s1) come from
# dpkg-shlibdeps. The tool, built by the same compiler, needs those and this
# exact build of the library, so it depends on the library package alone
# (dpkg-shlibdeps could not see the library in the tools package's tree).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libkelvra${KELVRA_ABI_VERSION} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libkelvra${KELVRA_ABI_VERSION} (= ${PROJECT_VERSION})")
# A shlibs file, so other packages built against this one depend on it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

include(CPack)
