// pal/crtmem.h - the run-time library's malloc, realloc and free.
//
// The memory stream keeps its bytes in one block of the run-time's heap
// (growing keeps the bytes in place where it can). These pass through the
// seam table (pal/posix/syscalls.h), so that a test can make them fail.
// Failure answers null with errno ENOMEM, as the run-time does; realloc then
// leaves the old block as it was.
#pragma once

#include <cstddef>

namespace zrpal {

void* malloc(std::size_t size);
void* realloc(void* block, std::size_t size);
void free(void* block);

}  // namespace zrpal
