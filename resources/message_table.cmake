# Reads the STRINGTABLE entries of a resource script and either writes them
# as a C++ table (non-Windows builds, where there are no string resources) or
# checks that a resource compiler reads the same texts.
#
#   cmake -DMODE=generate -DRC_FILE=messages.rc -DOUTPUT=message_table.cpp -P message_table.cmake
#   cmake -DMODE=check -DRC_FILE=messages.rc -DWINDRES=windres -P message_table.cmake
#   cmake -DMODE=inserts -DRC_FILE=messages.rc -DOUTPUT=message_inserts.h -P message_table.cmake
#   cmake -DMODE=texts -DRC_FILE=messages.rc -DOUTPUT=report_texts.h -P message_table.cmake
#
# The inserts mode writes, for every message, the kinds of its inserts
# (%1!s! a text, %1!d! or %1!03d! an int), which the writer checks each
# call's arguments against at compile time.  A percent sign that starts no
# insert (a printf "%s", say) is refused there: write %1!s!, or %% for the
# sign itself.
#
# The texts mode writes every text as a constant of a header that needs
# nothing of the library, for the programs that read reports (the viewer)
# and for the tests.
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

# Sets OUT to the kinds of the inserts of TEXT, one letter per insert in
# number order ("s" a text, "d" an int); a malformed insert is an error.
function(insert_kinds text id out)
  string(REPLACE "%%" "" rest "${text}")
  string(REGEX MATCHALL "%[^!]*(![^!]*!)?" inserts "${rest}")
  set(highest 0)
  foreach(insert IN LISTS inserts)
    if(NOT insert MATCHES "^%([1-9][0-9]?)(!([^!]*)!)?$")
      message(FATAL_ERROR "message ${id}: '${insert}' is not an insert: write %1!s! (a text) or %1!d! (an int), and %% for a percent sign")
    endif()
    set(number "${CMAKE_MATCH_1}")
    set(spec "${CMAKE_MATCH_3}")
    if(spec STREQUAL "" OR spec MATCHES "^[-0-9.]*s$")
      set(kind s)
    elseif(spec MATCHES "^[-+ 0#0-9]*d$")
      set(kind d)
    else()
      message(FATAL_ERROR "message ${id}: the insert %${number}!${spec}! is neither a text nor an int")
    endif()
    if(DEFINED kind_${number} AND NOT kind_${number} STREQUAL kind)
      message(FATAL_ERROR "message ${id}: insert %${number} is used as two kinds")
    endif()
    set(kind_${number} ${kind})
    if(number GREATER highest)
      set(highest ${number})
    endif()
  endforeach()
  set(kinds "")
  if(highest GREATER 0)
    foreach(number RANGE 1 ${highest})
      if(NOT DEFINED kind_${number})
        message(FATAL_ERROR "message ${id}: insert %${number} is skipped")
      endif()
      string(APPEND kinds "${kind_${number}}")
    endforeach()
  endif()
  set(${out} "${kinds}" PARENT_SCOPE)
endfunction()

if(MODE STREQUAL "inserts")
  set(cases "")
  foreach(id IN LISTS MSG_IDS)
    insert_kinds("${MSG_${id}}" ${id} kinds)
    string(APPEND cases "        case ${id}: return \"${kinds}\";\n")
  endforeach()
  file(WRITE "${OUTPUT}.tmp"
"// Generated from messages.rc by message_table.cmake.  Do not edit: change
// the resource script instead.
#pragma once

namespace message_table {

// The kinds of the inserts of message `id`, one letter per insert in number
// order: 's' a text, 'd' an int.  Null for an id the table does not hold.
constexpr const char* InsertKinds(unsigned id) {
    switch (id) {
${cases}        default: return nullptr;
    }
}

}  // namespace message_table
")
  file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUTPUT}.tmp")
elseif(MODE STREQUAL "texts")
  set(cases "")
  foreach(id IN LISTS MSG_IDS)
    set(text "${MSG_${id}}")
    string(REPLACE "\"" "\\\"" text "${text}")
    string(REPLACE "?" "\\?" text "${text}")
    string(APPEND cases "        case ${id}: return \"${text}\";\n")
  endforeach()
  file(WRITE "${OUTPUT}.tmp"
"// Generated from messages.rc by message_table.cmake.  Do not edit: change
// the resource script instead.
#pragma once

#include <string_view>

namespace report_text {

// The text of message `id` as the table holds it (inserts not expanded);
// empty for an id the table does not hold.
constexpr std::string_view Text(unsigned id) {
    switch (id) {
${cases}        default: return {};
    }
}

}  // namespace report_text
")
  file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUTPUT}.tmp")
elseif(MODE STREQUAL "generate")
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
  message(FATAL_ERROR "MODE must be generate, inserts, texts or check")
endif()
