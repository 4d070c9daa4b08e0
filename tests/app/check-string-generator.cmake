# Runs generate-strings.cmake on the real string table and on variants of it that are each broken
# in one way, and checks that the real one (and one with awkward characters) is accepted and every
# broken one is rejected with the reason.
#   cmake -DGENERATOR=<generate-strings.cmake> -DSOURCE=<strings.txt> -DWORK_DIR=<dir> -P <this>
cmake_minimum_required(VERSION 3.25)

file(READ "${SOURCE}" original)
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(failures "")

# Writes `content` as case <name>, runs the generator and leaves its result, its messages (on
# one line) and the generated files in rv / err / cpp / rc of the caller. (Functions, not macros:
# a macro would re-read the backslashes of the texts.)
function(generate name content)
  set(src "${WORK_DIR}/${name}.txt")
  file(WRITE "${src}" "${content}")
  execute_process(
    COMMAND "${CMAKE_COMMAND}" "-DSOURCE=${src}" "-DCPP_OUT=${WORK_DIR}/${name}.cpp"
            "-DRC_OUT=${WORK_DIR}/${name}.rc" -P "${GENERATOR}"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE out
    ERROR_VARIABLE messages)
  string(REGEX REPLACE "[ \n]+" " " messages "${messages}")
  set(cpp_text "")
  set(rc_text "")
  if(result EQUAL 0)
    file(READ "${WORK_DIR}/${name}.cpp" cpp_text)
    file(READ "${WORK_DIR}/${name}.rc" rc_text)
  endif()
  set(rv "${result}" PARENT_SCOPE)
  set(err "${messages}" PARENT_SCOPE)
  set(cpp "${cpp_text}" PARENT_SCOPE)
  set(rc "${rc_text}" PARENT_SCOPE)
endfunction()

function(expect_rejected name content reason)
  generate(${name} "${content}")
  if(rv EQUAL 0)
    list(APPEND failures "${name}: accepted")
  elseif(NOT err MATCHES "${reason}")
    list(APPEND failures "${name}: rejected without '${reason}': ${err}")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

function(expect_in name haystack needle)
  string(FIND "${haystack}" "${needle}" at)
  if(at EQUAL -1)
    list(APPEND failures "${name}: output lacks ${needle}")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

# The real table: 210 entries in each output.
generate(valid "${original}")
if(NOT rv EQUAL 0)
  list(APPEND failures "valid: rejected: ${err}")
else()
  string(REGEX MATCHALL "\n    {[0-9]+, \"" cpp_entries "${cpp}")
  string(REGEX MATCHALL "\n  [0-9]+, \"" rc_entries "${rc}")
  string(REGEX MATCHALL "\nSTRINGTABLE\nLANGUAGE 0, 0\n" rc_tables "${rc}")
  list(LENGTH cpp_entries cpp_count)
  list(LENGTH rc_entries rc_count)
  list(LENGTH rc_tables rc_table_count)
  if(NOT cpp_count EQUAL 210 OR NOT rc_count EQUAL 210 OR NOT rc_table_count EQUAL 15)
    list(APPEND failures
         "valid: ${cpp_count} C++ entries, ${rc_count} rc entries, ${rc_table_count} tables")
  endif()
  expect_in(valid "${rc}" "#pragma code_page(65001)")
  expect_in(valid "${cpp}" "{505, \"Pys\\303\\244yt\\303\\244\"}")
  expect_in(valid "${rc}" "  505, \"Pysäytä\"")
  expect_in(valid "${rc}" "  510, \"Pradex \"")
endif()

# Characters that are special to CMake, C++ or the resource compiler pass through unharmed.
string(REPLACE "505 \"Pysäytä\"" "505 \"a;b[c]\\\"d\\\\ e\"" text "${original}")
generate(special "${text}")
if(NOT rv EQUAL 0)
  list(APPEND failures "special: rejected: ${err}")
else()
  expect_in(special "${cpp}" "{505, \"a;b[c]\\\"d\\\\ e\"}")
  expect_in(special "${rc}" "  505, \"a;b[c]\"\"d\\\\ e\"")
endif()

string(REGEX REPLACE "\n507 [^\n]*" "" text "${original}")
expect_rejected(missing "${text}" "block 5 lacks message id\\(s\\) 507")

string(REPLACE "507 \"Sulje\"" "506 \"Sulje\"" text "${original}")
expect_rejected(duplicate "${text}" "duplicate id 506")

string(REPLACE "507 \"Sulje\"" "607 \"Sulje\"" text "${original}")
expect_rejected(other_block "${text}" "id 607 is not an id of block 5")

string(REPLACE "\n514 " "\n515 \"Extra\"\n514 " text "${original}")
expect_rejected(fifteenth "${text}" "id 515 is not an id of block 5")

string(REPLACE "507 \"Sulje\"" "0507 \"Sulje\"" text "${original}")
expect_rejected(leading_zero "${text}" "leading zero")

string(FIND "${original}" "\nblock 15 " at)
string(SUBSTRING "${original}" 0 ${at} text)
expect_rejected(fourteen_blocks "${text}" "blocks 15 to 15 are missing")

string(APPEND text "\nblock 15 Chinese (Traditional)\nblock 16 Extra\n")
expect_rejected(sixteen_blocks "${text}" "block 15 lacks message id")

string(REPLACE "block 6 French" "block 7 French" text "${original}")
expect_rejected(out_of_order "${text}" "block 7 where block 6 was expected")

string(REPLACE "\nblock 1 English" "\n101 \"Early\"\nblock 1 English" text "${original}")
expect_rejected(before_block "${text}" "before the first block")

string(REPLACE "505 \"Pysäytä\"" "505 \"Pys\\täytä\"" text "${original}")
expect_rejected(bad_escape "${text}" "unknown escape")

string(REPLACE "505 \"Pysäytä\"" "505 \"Pys\"äytä\"" text "${original}")
expect_rejected(bare_quote "${text}" "quotation mark")

string(REPLACE "505 \"Pysäytä\"" "505 \"\"" text "${original}")
expect_rejected(empty "${text}" "empty text")

string(REPLACE "505 \"Pysäytä\"" "505 \"Pys\täytä\"" text "${original}")
expect_rejected(tab "${text}" "control characters")

string(SUBSTRING "ä" 0 1 lone_lead)
string(REPLACE "505 \"Pysäytä\"" "505 \"Pys${lone_lead}yt\"" text "${original}")
expect_rejected(truncated_utf8 "${text}" "invalid UTF-8")

string(REPLACE "505 \"Pysäytä\"" "505 Pysäytä" text "${original}")
expect_rejected(unquoted "${text}" "expected 'block <number> <language>'")

string(REPLACE "\n505 " "\nhello\n505 " text "${original}")
expect_rejected(garbage "${text}" "strings.txt|garbage.txt:[0-9]+: expected")

if(failures)
  list(JOIN failures "\n  " failures)
  message(FATAL_ERROR "string table generator:\n  ${failures}")
endif()
message(STATUS "string table generator: all cases passed")
