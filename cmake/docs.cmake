# The HTML API reference: `cmake --build <dir> --target kelvra_docs` runs
# Doxygen over include/kelvra.h and the pages in docs/ and writes
# <dir>/docs/html. Any Doxygen warning fails the target; ALL does not build it.
find_package(Doxygen)
if(DOXYGEN_FOUND)
  set(KELVRA_DOCS_OUTPUT ${PROJECT_BINARY_DIR}/docs)
  configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${KELVRA_DOCS_OUTPUT}/Doxyfile @ONLY)
  add_custom_target(kelvra_docs
    COMMAND Doxygen::doxygen ${KELVRA_DOCS_OUTPUT}/Doxyfile
    WORKING_DIRECTORY ${KELVRA_DOCS_OUTPUT}
    DEPENDS ${PROJECT_SOURCE_DIR}/include/kelvra.h ${PROJECT_SOURCE_DIR}/docs/overview.md
            ${PROJECT_SOURCE_DIR}/docs/families.md ${KELVRA_DOCS_OUTPUT}/Doxyfile
    COMMENT "Generating the API reference in ${KELVRA_DOCS_OUTPUT}/html"
    VERBATIM)
else()
  message(STATUS "Doxygen not found: no kelvra_docs target")
endif()
