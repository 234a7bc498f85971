# Checks the dynamic symbol tables and dependencies of the three shared
# libraries:
# - the report library defines and exports its C entry point unmangled, the
#   copy operations of the five shared classes and the five default
#   operations of IterationData, and no virtual table of them;
# - the solver and model libraries define the virtual tables and type
#   information of the classes they own, export none of the report's
#   members and never refer to the copy operations;
# - no library depends on one above it.
#
# Run with cmake -P; NM, READELF, REPORT_LIB, TARN_LIB, VELD_LIB and the three
# *_SONAME values come from the test definition.

set(errors "")

function(read_symbols lib args out)
  execute_process(COMMAND ${NM} ${args} ${lib}
                  OUTPUT_VARIABLE text RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} ${args} ${lib} failed: ${err}")
  endif()
  set(${out} "\n${text}" PARENT_SCOPE)
endfunction()

# kind: the nm letter preceded by a space (" T", " V", " U"), matched as a
# whole line ending in the name.
function(expect_symbol table lib kind name)
  string(FIND "${table}" "${kind} ${name}\n" at)
  if(at EQUAL -1)
    set(errors "${errors}\n  ${lib}: missing${kind} ${name}" PARENT_SCOPE)
  endif()
endfunction()

function(expect_no_symbol table lib kind name)
  string(FIND "${table}" "${kind} ${name}\n" at)
  if(NOT at EQUAL -1)
    set(errors "${errors}\n  ${lib}: unexpected${kind} ${name}" PARENT_SCOPE)
  endif()
endfunction()

set(classes IterationData CTARNIterationData VELD_Exception VELD_ExcpBadAllocation
            VELD_ExcpFileError)
set(copy_operations "")
foreach(class IN LISTS classes)
  list(APPEND copy_operations "${class}::${class}(${class} const&)"
                              "${class}::operator=(${class} const&)")
endforeach()
set(defaults
  "IterationData::GetVarStructData(int, double*, double*, double*)"
  "IterationData::GetEqnStructData(int, double*, double*, double*)"
  "IterationData::GetErrorMessages(int*, char***)"
  "IterationData::GetWarningMessages(int*, char***)"
  "IterationData::GetInfoMessages(int*, char***)")

read_symbols(${REPORT_LIB} "-D;--defined-only" report_raw)
read_symbols(${REPORT_LIB} "-D;--defined-only;-C" report_defined)
read_symbols(${TARN_LIB} "-D;--defined-only;-C" tarn_defined)
read_symbols(${VELD_LIB} "-D;--defined-only;-C" veld_defined)
read_symbols(${TARN_LIB} "-D;--undefined-only;-C" tarn_undefined)
read_symbols(${VELD_LIB} "-D;--undefined-only;-C" veld_undefined)

# The report library's exports.
expect_symbol("${report_raw}" TARNReport " T" CreateUQExecutionReport)
foreach(member IN LISTS copy_operations defaults)
  expect_symbol("${report_defined}" TARNReport " T" "${member}")
endforeach()

# Each virtual table and its type information lives in the library that
# defines the class's destructor, and only there.
foreach(class IN ITEMS IterationData CTARNIterationData)
  foreach(what IN ITEMS "vtable for" "typeinfo for" "typeinfo name for")
    expect_symbol("${tarn_defined}" tarn " V" "${what} ${class}")
    expect_no_symbol("${report_defined}" TARNReport " V" "${what} ${class}")
  endforeach()
endforeach()
foreach(class IN ITEMS VELD_Exception VELD_ExcpBadAllocation VELD_ExcpFileError)
  foreach(what IN ITEMS "vtable for" "typeinfo for" "typeinfo name for")
    expect_symbol("${veld_defined}" veldxmps " V" "${what} ${class}")
    expect_no_symbol("${report_defined}" TARNReport " V" "${what} ${class}")
  endforeach()
endforeach()

# The stand-ins neither export the report's members nor copy these objects.
foreach(member IN LISTS copy_operations defaults)
  expect_no_symbol("${tarn_defined}" tarn " T" "${member}")
  expect_no_symbol("${veld_defined}" veldxmps " T" "${member}")
endforeach()
foreach(member IN LISTS copy_operations)
  expect_no_symbol("${tarn_undefined}" tarn " U" "${member}")
  expect_no_symbol("${veld_undefined}" veldxmps " U" "${member}")
endforeach()

# Dependencies: TARNReport -> tarn -> veldxmps, never upwards.
function(read_needed lib out)
  execute_process(COMMAND ${READELF} -d ${lib}
                  OUTPUT_VARIABLE text RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${READELF} -d ${lib} failed: ${err}")
  endif()
  string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]*\\]" lines "${text}")
  set(needed "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE ".*\\[([^]]*)\\]$" "\\1" name "${line}")
    list(APPEND needed "${name}")
  endforeach()
  set(${out} "${needed}" PARENT_SCOPE)
endfunction()

function(expect_needed lib needed name wanted)
  list(FIND needed "${name}" at)
  if(wanted AND at EQUAL -1)
    set(errors "${errors}\n  ${lib} does not depend on ${name}" PARENT_SCOPE)
  elseif(NOT wanted AND NOT at EQUAL -1)
    set(errors "${errors}\n  ${lib} depends on ${name}" PARENT_SCOPE)
  endif()
endfunction()

read_needed(${REPORT_LIB} report_needed)
read_needed(${TARN_LIB} tarn_needed)
read_needed(${VELD_LIB} veld_needed)
expect_needed(TARNReport "${report_needed}" ${TARN_SONAME} TRUE)
expect_needed(TARNReport "${report_needed}" ${VELD_SONAME} TRUE)
expect_needed(tarn "${tarn_needed}" ${VELD_SONAME} TRUE)
expect_needed(tarn "${tarn_needed}" ${REPORT_SONAME} FALSE)
expect_needed(veldxmps "${veld_needed}" ${TARN_SONAME} FALSE)
expect_needed(veldxmps "${veld_needed}" ${REPORT_SONAME} FALSE)

if(errors)
  message(FATAL_ERROR "Dynamic symbols or dependencies are wrong:${errors}")
endif()
message(STATUS "Exports, virtual tables and dependencies are as expected")
