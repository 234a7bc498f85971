# Windows builds: the C++ runtime beside the programs, and the way tests run
# Windows programs on a Linux build machine (Wine, through a wrapper that
# holds the prefix and settings of this build tree).

# The directories where the cross compiler keeps its runtime DLLs.
set(TARN_RUNTIME_SEARCH_DIRS "")
foreach(runtime libstdc++-6.dll libgcc_s_dw2-1.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
    get_filename_component(found_dir "${found}" DIRECTORY)
    get_filename_component(found_dir "${found_dir}" REALPATH)
    list(APPEND TARN_RUNTIME_SEARCH_DIRS "${found_dir}")
  endif()
endforeach()
list(REMOVE_DUPLICATES TARN_RUNTIME_SEARCH_DIRS)
if(NOT TARN_RUNTIME_SEARCH_DIRS)
  message(FATAL_ERROR "The cross compiler's runtime DLLs were not found")
endif()

find_program(TARN_MINGW_OBJDUMP NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-objdump objdump
  REQUIRED)

# Called once every program and library is built (see the end of the
# top-level CMakeLists.txt).
function(tarn_copy_runtime_dlls)
  add_custom_target(runtime_dlls ALL
    COMMAND ${CMAKE_COMMAND} -DDIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
            -DOBJDUMP=${TARN_MINGW_OBJDUMP}
            "-DSEARCH_DIRS=${TARN_RUNTIME_SEARCH_DIRS}"
            -P ${PROJECT_SOURCE_DIR}/cmake/runtime-dlls.cmake
    COMMENT "Copying the C++ runtime DLLs beside the programs"
    VERBATIM)
  add_dependencies(runtime_dlls ${ARGN})
endfunction()

# The PE format of every program and DLL of a tree, as objdump names it.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TARN_PE_FORMAT pei-x86-64)
else()
  set(TARN_PE_FORMAT pei-i386)
endif()

# Wine: the programs run on the build machine through bin/../wine/run, which
# uses the prefix of this build tree, 32-bit or 64-bit as the tree.  Tests
# start one wine server for the whole run (tests/windows).
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_HOST_WIN32)
  find_program(TARN_WINE wine)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TARN_WINE_ARCH win64)
  else()
    set(TARN_WINE_ARCH win32)
  endif()
  set(TARN_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine/prefix)
  set(TARN_WINE_RUN ${CMAKE_BINARY_DIR}/wine/run)
  if(TARN_WINE)
    configure_file(${PROJECT_SOURCE_DIR}/tests/windows/wine-run.in ${TARN_WINE_RUN}
      @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
      GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TARN_WINE_RUN})
  else()
    message(STATUS "wine not found: the Windows programs are built but not tested")
  endif()
endif()
