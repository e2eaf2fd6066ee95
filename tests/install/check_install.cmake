# Installs the library into a scratch prefix and builds a consumer against
# it twice: with the CMake package (find_package(zrcore), zr_add_resources)
# and with pkg-config. Run by CTest with -DBUILD_DIR, -DSOURCE_DIR, -DWORK_DIR.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
include(${CMAKE_CURRENT_LIST_DIR}/../tools/run.cmake)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
# The CMake package.
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/consumer -B ${WORK_DIR}/consumer -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${WORK_DIR}/consumer/consumer)
if(NOT LAST_OUTPUT MATCHES "^ok")
  message(FATAL_ERROR "consumer (CMake package) printed: ${LAST_OUTPUT}")
endif()
# pkg-config.
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
run(pkg-config --cflags --libs zrcore)
string(STRIP "${LAST_OUTPUT}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${CXX} ${SOURCE_DIR}/consumer/main.cpp ${flags} -Wl,-rpath,${prefix}/lib
    -o ${WORK_DIR}/consumer-pc)
run(${WORK_DIR}/consumer-pc)
if(NOT LAST_OUTPUT MATCHES "^ok")
  message(FATAL_ERROR "consumer (pkg-config) printed: ${LAST_OUTPUT}")
endif()
