# Copies into DIR every DLL that the programs and libraries of DIR load and
# that the cross toolchain provides (the C++ runtime: libstdc++-6.dll,
# libgcc_s_dw2-1.dll on 32-bit or libgcc_s_seh-1.dll on 64-bit, and
# libwinpthread-1.dll when something imports it),
# following the imports of each copied DLL in turn.  A DLL that is neither in
# DIR nor in SEARCH_DIRS is taken to be part of Windows.
#
#   cmake -DDIR=... -DOBJDUMP=... -DSEARCH_DIRS="a;b" -P runtime-dlls.cmake
cmake_minimum_required(VERSION 3.25)
foreach(required DIR OBJDUMP SEARCH_DIRS)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "runtime-dlls.cmake: ${required} is not set")
  endif()
endforeach()

file(GLOB pending "${DIR}/*.exe" "${DIR}/*.dll")
set(seen "")
while(pending)
  list(POP_FRONT pending binary)
  execute_process(COMMAND "${OBJDUMP}" -p "${binary}"
    OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "runtime-dlls.cmake: ${OBJDUMP} -p ${binary} failed")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
  foreach(import IN LISTS imports)
    string(REGEX REPLACE "^DLL Name: " "" name "${import}")
    string(TOLOWER "${name}" key)
    if(key IN_LIST seen)
      continue()
    endif()
    list(APPEND seen "${key}")
    if(EXISTS "${DIR}/${name}")
      continue()
    endif()
    foreach(search IN LISTS SEARCH_DIRS)
      if(EXISTS "${search}/${name}")
        file(COPY "${search}/${name}" DESTINATION "${DIR}")
        list(APPEND pending "${DIR}/${name}")
        break()
      endif()
    endforeach()
  endforeach()
endwhile()
