# zrtool reg round-trips an export file: importing INPUT into fresh hives
# and exporting its key again gives INPUT byte for byte.
#   cmake -DZRTOOL=<zrtool> -DINPUT=<file.reg> -DKEY=<key> -DWORK=<folder> -P reg_roundtrip.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(ENV{ZR_REGISTRY_USER} ${WORK}/user.db)
set(ENV{ZR_REGISTRY_MACHINE} ${WORK}/machine.db)
include(${CMAKE_CURRENT_LIST_DIR}/run.cmake)
run(${ZRTOOL} reg import ${INPUT})
run(${ZRTOOL} reg export ${KEY} ${WORK}/out.reg)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${INPUT} ${WORK}/out.reg RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(READ ${WORK}/out.reg out)
  message(FATAL_ERROR "the export differs from the imported file:\n${out}")
endif()
