# Runs the start-up probe and checks its trace once the process has ended
# (the detach call happens during exit).
#   cmake -DPROBE=<program> -P check_trace.cmake
execute_process(COMMAND ${PROBE} OUTPUT_VARIABLE trace RESULT_VARIABLE rc)
message(STATUS "trace:\n${trace}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the probe exited with ${rc}")
endif()
string(REGEX REPLACE "\n$" "" trace "${trace}")
string(REPLACE "\n" ";" lines "${trace}")
list(LENGTH lines count)
if(NOT count EQUAL 3)
  message(FATAL_ERROR "expected attach, main and detach lines, got ${count}")
endif()
list(GET lines 0 attach)
list(GET lines 1 main)
list(GET lines 2 detach)
# At attach: after the whole construction list (default heap, COM, every
# heap switched to the low-fragmentation heap), with the program's module.
set(expect_attach "hook event=1 reason=1 module-is-program=1 module-matches-exceptions=1 reserved-null=1 default-heap=1 com=1 lfh=1")
# At detach: before any destruction: the default heap and COM still there.
set(expect_detach "hook event=2 reason=0 module-is-program=1 module-matches-exceptions=1 reserved-null=1 default-heap=1 com=1 lfh=1")
set(expect_main "main default-heap=1 module-is-program=1")
foreach(which attach main detach)
  if(NOT "${${which}}" STREQUAL "${expect_${which}}")
    message(FATAL_ERROR "${which}:\n  got      ${${which}}\n  expected ${expect_${which}}")
  endif()
endforeach()
