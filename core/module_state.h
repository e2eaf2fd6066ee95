// core/module_state.h - the library-wide start-up state.
#pragma once

#include "zr/zrtypes.h"

namespace zr {

// The library's module handle: the one stored at process attach, or, before
// that, the allocation base of the library's own code (then kept).
HMODULE LibraryModule();

}  // namespace zr
