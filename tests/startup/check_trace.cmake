# Runs the start-up probe and checks its trace once the process has ended
# (the detach call happens during exit).
#   cmake -DPROBE=<program> -P check_trace.cmake
execute_process(COMMAND ${PROBE} OUTPUT_VARIABLE trace RESULT_VARIABLE rc)
message(STATUS "trace:\n${trace}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the probe exited with ${rc}")
endif()
# The hook sees the whole construction list done (default heap, COM, every
# heap switched to the low-fragmentation heap) at attach, and nothing yet
# destroyed at detach, with the program's module both times.
set(state "module-is-program=1 module-matches-exceptions=1 reserved-null=1 default-heap=1 com=1 lfh=1")
set(expected "hook event=1 reason=1 ${state}\nmain default-heap=1 module-is-program=1\nhook event=2 reason=0 ${state}\n")
if(NOT trace STREQUAL expected)
  message(FATAL_ERROR "got:\n${trace}expected:\n${expected}")
endif()
