# Runs generate-texts.cmake on the English and Finnish texts and on Finnish files broken in one
# way each: the real ones are accepted, every broken one is rejected with its file, line and
# reason.
#   cmake -DGENERATOR=<generate-texts.cmake> -DTEXTS_DIR=<resources/texts> -DWORK_DIR=<dir> -P <this>
cmake_minimum_required(VERSION 3.25)

file(READ "${TEXTS_DIR}/fi.txt" finnish)
file(REMOVE_RECURSE "${WORK_DIR}")
set(failures "")

# Case `name`: fi.txt with `from` replaced by `to`; the generator must say `reason` about a line
# of fi.txt, or accept the files when `reason` is empty.
function(check name from to reason)
  set(dir "${WORK_DIR}/${name}")
  file(MAKE_DIRECTORY "${dir}")
  file(COPY_FILE "${TEXTS_DIR}/en.txt" "${dir}/en.txt")
  string(REPLACE "${from}" "${to}" text "${finnish}")
  file(WRITE "${dir}/fi.txt" "${text}")
  execute_process(
    COMMAND "${CMAKE_COMMAND}" "-DTEXTS_DIR=${dir}" -DLANGUAGES=en,fi "-DCPP_OUT=${dir}/table.cpp"
            -P "${GENERATOR}"
    RESULT_VARIABLE result
    ERROR_VARIABLE messages)
  string(REGEX REPLACE "[ \n]+" " " messages "${messages}")
  if(reason STREQUAL "")
    if(NOT result EQUAL 0)
      list(APPEND failures "${name}: rejected: ${messages}")
    endif()
  elseif(text STREQUAL finnish)
    list(APPEND failures "${name}: the case changes nothing")
  elseif(result EQUAL 0)
    list(APPEND failures "${name}: accepted")
  elseif(NOT messages MATCHES "fi\\.txt:[0-9]+: ${reason}")
    list(APPEND failures "${name}: rejected without 'fi.txt:<line>: ${reason}': ${messages}")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

set(answered "\nprobe.answered \"vastasi\"")
set(status "\"laite vastasi tilakoodilla {1}\"")
string(SUBSTRING "ä" 0 1 lone_lead)
check(valid "" "" "")
check(missing "${answered}" "" "lacks key probe.answered")
check(extra "${answered}" "${answered}\nprobe.extra \"x\"" "key probe.extra is not in en.txt")
check(duplicate "${answered}" "${answered}${answered}" "duplicate key probe.answered")
check(placeholder "${status}" "\"laite vastasi {2}\"" "probe.http-status has the placeholders")
check(brace "${status}" "\"laite vastasi {1\"" "a brace")
check(escape "${answered}" "\nprobe.answered \"va\\stasi\"" "unknown escape")
check(utf8 "${answered}" "\nprobe.answered \"v${lone_lead}\"" "invalid UTF-8")
check(garbage "${answered}" "\nprobe.answered vastasi" "expected '<key> \"<text>\"'")

if(failures)
  list(JOIN failures "\n  " failures)
  message(FATAL_ERROR "text table generator:\n  ${failures}")
endif()
message(STATUS "text table generator: all cases passed")
