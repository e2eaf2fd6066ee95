# zrtool cfb meta: properties set by name are listed back from both sets,
# and a name outside the summary table is refused.
#   cmake -DZRTOOL=<zrtool> -DWORK=<folder> -P cfb_meta.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(doc ${WORK}/meta.cfb)
include(${CMAKE_CURRENT_LIST_DIR}/run.cmake)
run(${ZRTOOL} cfb meta ${doc} Title=Report "Last Author=Ann" Company=Acme)
execute_process(COMMAND ${ZRTOOL} cfb meta ${doc} Colour=red RESULT_VARIABLE rc ERROR_QUIET)
if(rc EQUAL 0)
  message(FATAL_ERROR "an unknown name was accepted")
endif()
run(${ZRTOOL} cfb meta ${doc})
set(out "${LAST_OUTPUT}")
foreach(line "summary\t2\ttitle\t0x001E\t\"Report\"" "summary\t8\tlast author\t0x001E\t\"Ann\""
             "document\t15\tcompany\t0x001E\t\"Acme\"")
  string(FIND "${out}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "missing \"${line}\" in:\n${out}")
  endif()
endforeach()
