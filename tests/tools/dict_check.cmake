# zrtool dict: a lookup finds its translation, and check reports each kind
# of problem of INPUT at its line (and fails).
#   cmake -DZRTOOL=<zrtool> -DINPUT=<file.wld> -P dict_check.cmake
include(${CMAKE_CURRENT_LIST_DIR}/run.cmake)
run(${ZRTOOL} dict lookup ${INPUT} Open)
if(NOT LAST_OUTPUT STREQUAL "Ouvrir\n")
  message(FATAL_ERROR "zrtool dict lookup gave: ${LAST_OUTPUT}")
endif()
execute_process(COMMAND ${ZRTOOL} dict check ${INPUT} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "zrtool dict check exited with ${rc}, not 1:\n${out}")
endif()
foreach(expected
    "dict_check.wld:4: entry lost: its source has the hash of line 2"
    "dict_check.wld:6: 1 backslash(es) before a character that is no escape"
    "dict_check.wld:8: source text has bytes invalid in code page 65001"
    "dict_check.wld:12: source without a translation"
    "5 pairs, 4 entries, 4 problem(s)")
  string(FIND "${out}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "zrtool dict check did not report \"${expected}\":\n${out}")
  endif()
endforeach()
