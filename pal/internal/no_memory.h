// pal/internal/no_memory.h - how a function with a Win32 contract reports
// that its own working memory ran out.
//
// Such functions never throw. Where one builds std::string or std::vector
// values (paths, module names, message texts, code-page tables), its body
// runs inside FailOnNoMemory, which turns the std::bad_alloc of those
// containers into the Win32 failure: the last error ERROR_NOT_ENOUGH_MEMORY
// and the function's failure value. The guard is noexcept, so nothing else
// can leave the function either.
#pragma once

#include <new>

#include "pal/error.h"

namespace zrpal {

template <class R, class F>
R FailOnNoMemory(R failure, F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failure;
  }
}

}  // namespace zrpal
