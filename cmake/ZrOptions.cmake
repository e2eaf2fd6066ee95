# Compiler options shared by every target of the project.

set(ZR_EXTRA_LIBS "")

function(zr_apply_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
  if(ZR_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(ZR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(ZR_TSAN)
  # ThreadSanitizer; ZR_TSAN lets the platform layer route around calls the
  # sanitizer does not intercept (pal/posix/syscalls.inc).
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  add_compile_definitions(ZR_TSAN=1)
endif()

if(ZR_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ZR_FUZZ needs clang (libFuzzer)")
  endif()
  # Coverage instrumentation everywhere; only fuzz targets link libFuzzer.
  # These are the coverage kinds of -fsanitize=fuzzer-no-link except
  # stack-depth, whose counter lives in libFuzzer itself: without it the test
  # programs of the same build, which do not link libFuzzer, still link (the
  # sanitizer runtime has weak defaults for the other hooks).
  add_compile_options(-fsanitize-coverage=inline-8bit-counters,indirect-calls,trace-cmp,pc-table)
endif()
