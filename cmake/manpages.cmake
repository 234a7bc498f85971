# Manual pages written from the programs' own --help and --version by
# help2man, so that the two never disagree; installed in section 1.  Not in
# a cross build (the programs do not run on the build machine), a fuzzing
# tree, nor without help2man (a run needs no manual page).
find_program(TARN_HELP2MAN help2man)
find_program(TARN_GZIP gzip)

# tarn_add_man_page(TARGET "one-line description")
function(tarn_add_man_page target description)
  if(CMAKE_CROSSCOMPILING OR TARN_FUZZ OR NOT TARN_HELP2MAN OR NOT TARN_GZIP)
    return()
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${target}.1)
  add_custom_command(
    OUTPUT ${page} ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${TARN_HELP2MAN} --no-info --section=1 --name=${description}
            --output=${page} $<TARGET_FILE:${target}>
    # -n: no name or time stamp, so the page is the same on every build.
    COMMAND ${TARN_GZIP} -9nkf ${page}
    DEPENDS ${target}
    COMMENT "Writing the manual page ${target}.1"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS ${page} ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  if(BUILD_TESTING AND PROJECT_IS_TOP_LEVEL)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    add_test(NAME man.${target}_options
      COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/install/man_options.py
              $<TARGET_FILE:${target}> ${page})
  endif()
endfunction()
