# The Debian package (make package): the libraries, headers and programs in
# one package, built with CPack from a tree configured for the prefix /usr
# with TARN_DEBIAN_PACKAGE=ON, which adds the files Debian asks of every
# package (copyright, changelog).  Its dependencies come from dpkg-shlibdeps.
option(TARN_DEBIAN_PACKAGE "Install the Debian package's copyright and changelog files" OFF)
set(TARN_PACKAGE_NAME tarnreport)
set(TARN_PACKAGE_CONTACT "TARNReport authors <tarnreport@example.org>" CACHE STRING
    "The Debian package's maintainer")

function(tarn_debian_files)
  # The copyright file in the machine-readable format, its licence text
  # taken from LICENSE.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${license}")
  set(TARN_COPYRIGHT "${CMAKE_MATCH_1}")
  string(REGEX REPLACE "^[^\n]*\n\n[^\n]*\n\n" "" license_text "${license}")
  string(REGEX REPLACE "\n\n" "\n.\n" license_text "${license_text}")
  string(REGEX REPLACE "\n([^\n])" "\n \\1" TARN_LICENSE_TEXT " ${license_text}")
  string(REGEX REPLACE "\n$" "" TARN_LICENSE_TEXT "${TARN_LICENSE_TEXT}")
  set(doc ${PROJECT_BINARY_DIR}/debian)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright.in ${doc}/copyright @ONLY)
  file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in top LIMIT_COUNT 1)
  if(NOT top MATCHES "^${TARN_PACKAGE_NAME} \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "cmake/debian/changelog.in: the first entry is not version ${PROJECT_VERSION}")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${doc}/changelog @ONLY)
  execute_process(COMMAND gzip -9nf ${doc}/changelog COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${doc}/copyright ${doc}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endfunction()

if(TARN_DEBIAN_PACKAGE)
  tarn_debian_files()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TARN_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "the TARNReport authors")
set(CPACK_PACKAGE_CONTACT "${TARN_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "execution reports of sequential linear programming runs")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "TARNReport turns the run-data file of an optimisation run into a text report:
the run's header and options, how each major iteration converged, the
largest residuals, shadow prices and changes, the active bounds, every
variable and equation, and the diagnosis of an infeasible or unbounded end.
.
This package holds the report library libTARNReport with the libraries it
calls, their headers, CMake and pkg-config files, the program tarnreport,
the report viewer tarnview, and the run-data writer library tarnrundata
for optimisers (C++, C and the Python module tarn_rundata).")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The run-data writer's Python module (the rest comes from dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3:any")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# ldconfig runs on the trigger (CPack's maintainer scripts call it as well).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_STRIP_FILES ON)
include(CPack)
