# Reads the STRINGTABLE entries of a resource script and either writes them
# as a C++ table (non-Windows builds, where there are no string resources) or
# checks that a resource compiler reads the same texts.
#
#   cmake -DMODE=generate -DRC_FILE=messages.rc -DOUTPUT=message_table.cpp -P message_table.cmake
#   cmake -DMODE=check -DRC_FILE=messages.rc -DWINDRES=windres -P message_table.cmake
#
# Accepted entry lines: <ID>, "<text>" (the comma is optional, as in RC).
# Inside the text "" stands for one double quote.  Other lines may be blank,
# // comments, LANGUAGE, STRINGTABLE, BEGIN or END; anything else is an error,
# so that a text the generator would misread never reaches the table.

cmake_minimum_required(VERSION 3.20)

set(entry_regex "^[ \t]*([0-9]+)[ \t]*,?[ \t]*\"(.*)\"[ \t]*$")

# Splits CONTENT into lines in the list named by OUT.  Characters that CMake
# list handling would mangle are refused.
function(split_lines content source out)
  foreach(bad ";" "[" "]" "\\")
    string(FIND "${content}" "${bad}" pos)
    if(NOT pos EQUAL -1)
      message(FATAL_ERROR "${source}: the character '${bad}' is not supported in the message table")
    endif()
  endforeach()
  string(REPLACE "\r" "" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# Parses the lines of a resource script.  Sets <prefix>_IDS (sorted) and
# <prefix>_<id> (the unescaped text) in the caller's scope.  With STRICT,
# every line must be an entry or one of the known statements.
function(read_string_table content source prefix strict)
  split_lines("${content}" "${source}" lines)
  set(ids)
  set(line_no 0)
  foreach(line IN LISTS lines)
    math(EXPR line_no "${line_no} + 1")
    if(line MATCHES "${entry_regex}")
      set(id "${CMAKE_MATCH_1}")
      set(text "${CMAKE_MATCH_2}")
      string(REPLACE "\"\"" "" rest "${text}")
      string(FIND "${rest}" "\"" lone)
      if(NOT lone EQUAL -1)
        message(FATAL_ERROR "${source}:${line_no}: a double quote inside a text must be doubled")
      endif()
      string(REPLACE "\"\"" "\"" text "${text}")
      math(EXPR id "${id}")  # drops leading zeros
      if(id GREATER 65535)
        message(FATAL_ERROR "${source}:${line_no}: string ID ${id} is above 65535")
      endif()
      if(DEFINED ${prefix}_${id})
        message(FATAL_ERROR "${source}:${line_no}: string ID ${id} appears twice")
      endif()
      set(${prefix}_${id} "${text}")
      set(${prefix}_${id} "${text}" PARENT_SCOPE)
      list(APPEND ids ${id})
    elseif(strict AND NOT line MATCHES "^[ \t]*$"
           AND NOT line MATCHES "^[ \t]*//"
           AND NOT line MATCHES "^[ \t]*(LANGUAGE|STRINGTABLE|BEGIN|END)([ \t,].*)?$")
      message(FATAL_ERROR "${source}:${line_no}: not understood: ${line}")
    endif()
  endforeach()
  if(NOT ids)
    message(FATAL_ERROR "${source}: no string table entries")
  endif()
  list(SORT ids COMPARE NATURAL)
  set(${prefix}_IDS "${ids}" PARENT_SCOPE)
endfunction()

if(NOT DEFINED RC_FILE)
  message(FATAL_ERROR "RC_FILE is not set")
endif()
file(READ "${RC_FILE}" rc_content)
read_string_table("${rc_content}" "${RC_FILE}" MSG TRUE)

if(MODE STREQUAL "generate")
  list(GET MSG_IDS 0 first)
  list(GET MSG_IDS -1 last)
  set(rows "")
  foreach(id RANGE ${first} ${last})
    if(DEFINED MSG_${id})
      set(text "${MSG_${id}}")
      string(LENGTH "${text}" length)
      string(REPLACE "\"" "\\\"" text "${text}")
      string(REPLACE "?" "\\?" text "${text}")
      string(APPEND rows "    {\"${text}\", ${length}},  // ${id}\n")
    else()
      string(APPEND rows "    {nullptr, 0},  // ${id}: none\n")
    endif()
  endforeach()
  math(EXPR count "${last} - ${first} + 1")
  file(WRITE "${OUTPUT}.tmp"
"// Generated from messages.rc by message_table.cmake.  Do not edit: change
// the resource script instead.
#include \"platform/message_table.h\"

namespace platform {
namespace {

constexpr unsigned kFirstId = ${first};
constexpr unsigned kLastId = ${last};

const MessageText kTable[${count}] = {
${rows}};

}  // namespace

const MessageText* FindMessage(unsigned id) {
    if (id < kFirstId || id > kLastId) return nullptr;
    const MessageText& entry = kTable[id - kFirstId];
    return entry.text != nullptr ? &entry : nullptr;
}

}  // namespace platform
")
  file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUTPUT}.tmp")
elseif(MODE STREQUAL "check")
  # Decompile what the resource compiler makes of the script and compare
  # text by text: catches escaping the compiler reads differently.
  execute_process(COMMAND "${WINDRES}" "${RC_FILE}" -O rc
                  OUTPUT_VARIABLE compiled ERROR_VARIABLE errors RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${WINDRES} failed on ${RC_FILE}: ${errors}")
  endif()
  read_string_table("${compiled}" "${WINDRES} output" OUT FALSE)
  if(NOT OUT_IDS STREQUAL MSG_IDS)
    message(FATAL_ERROR "IDs differ: script has ${MSG_IDS}, compiled has ${OUT_IDS}")
  endif()
  foreach(id IN LISTS MSG_IDS)
    if(NOT "${MSG_${id}}" STREQUAL "${OUT_${id}}")
      message(FATAL_ERROR "text ${id} differs:\n  script:   [${MSG_${id}}]\n  compiled: [${OUT_${id}}]")
    endif()
  endforeach()
  list(LENGTH MSG_IDS n)
  message(STATUS "${n} texts compiled unchanged")
else()
  message(FATAL_ERROR "MODE must be generate or check")
endif()
