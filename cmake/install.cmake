# Installation: the three libraries with their headers, the programs, a CMake
# package (find_package(TARNReport) gives TARNReport::TARNReport) and a
# pkg-config file (tarnreport).  Included before the targets are made, so
# that they take the install RUNPATH; tarn_install() at the end writes the
# rules.
set(CMAKE_INSTALL_DOCDIR share/doc/tarnreport CACHE PATH "Documentation (DATAROOTDIR/doc/tarnreport)")
include(GNUInstallDirs)

# The ABI of the libraries: the major number is the SONAME's.
set(TARN_SOVERSION 1)
set(TARN_LIBRARY_VERSION ${TARN_SOVERSION}.0.0)
# The headers go to a directory of their own (they include "libs/...").
set(TARN_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/TARNReport)
set(TARN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/TARNReport)

# Installed programs and libraries find the installed libraries through a
# path relative to themselves, whatever the prefix they are installed
# under; none when the library directory is one the system searches anyway.
if(NOT WIN32)
  set(tarn_system_dirs ${CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES} ${CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES})
  if(CMAKE_INSTALL_FULL_LIBDIR IN_LIST tarn_system_dirs)
    set(CMAKE_INSTALL_RPATH "")
    set(TARN_LIBRARY_INSTALL_RPATH "")
  else()
    file(RELATIVE_PATH tarn_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set(CMAKE_INSTALL_RPATH "$ORIGIN/${tarn_bin_to_lib}")
    set(TARN_LIBRARY_INSTALL_RPATH "$ORIGIN")
  endif()
endif()

# A library of the project: its public headers, in the source tree and once
# installed, and its SONAME.
function(tarn_library target)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${TARN_INSTALL_INCLUDEDIR}>)
  add_library(TARNReport::${target} ALIAS ${target})
  if(NOT WIN32)
    set_target_properties(${target} PROPERTIES
      VERSION ${TARN_LIBRARY_VERSION}
      SOVERSION ${TARN_SOVERSION}
      INSTALL_RPATH "${TARN_LIBRARY_INSTALL_RPATH}")
  endif()
endfunction()

function(tarn_install)
  install(TARGETS TARNReport tarn veldxmps EXPORT TARNReportTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(TARGETS tarnreport RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION ${TARN_INSTALL_INCLUDEDIR})

  include(CMakePackageConfigHelpers)
  install(EXPORT TARNReportTargets NAMESPACE TARNReport::
    DESTINATION ${TARN_INSTALL_CMAKEDIR})
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TARNReportConfig.cmake.in
    ${PROJECT_BINARY_DIR}/TARNReportConfig.cmake
    INSTALL_DESTINATION ${TARN_INSTALL_CMAKEDIR})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/TARNReportConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/TARNReportConfig.cmake
                ${PROJECT_BINARY_DIR}/TARNReportConfigVersion.cmake
    DESTINATION ${TARN_INSTALL_CMAKEDIR})

  # The pkg-config file finds the prefix from its own place, so that it
  # holds for any prefix given at install time.
  set(pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  file(RELATIVE_PATH TARN_PC_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${pkgconfig_dir} ${CMAKE_INSTALL_PREFIX})
  string(REGEX REPLACE "/$" "" TARN_PC_TO_PREFIX "${TARN_PC_TO_PREFIX}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tarnreport.pc.in ${PROJECT_BINARY_DIR}/tarnreport.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/tarnreport.pc DESTINATION ${pkgconfig_dir})

  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(NOT TARN_DEBIAN_PACKAGE)  # (the package's copyright file holds it)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  endif()
endfunction()
