# The compiler warnings of the project's own targets, set on each target (not
# on the directory, so that nothing brought in from outside inherits them).
# TARN_WARNINGS_AS_ERRORS makes every warning fail the build; CI turns it on
# for g++ and both MinGW compilers.
option(TARN_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)

function(tarn_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TARN_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Gives every target that compiles code, in `dir` and the directories below
# it, the warnings above.
function(tarn_warnings_below dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      tarn_warnings(${target})
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    tarn_warnings_below(${subdirectory})
  endforeach()
endfunction()
