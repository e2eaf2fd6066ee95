// base/module_state.h - the library-wide start-up state.
//
// Every exception records the library's module handle, so the handle lives in
// the lowest layer that throws; the entry point (module/) stores it.
#pragma once

#include "zr/zrtypes.h"

namespace zr {

// The library's module handle: the one stored at process attach, or, before
// that, the allocation base of the library's own code (then kept).
HMODULE LibraryModule();

// Called by the entry point at process attach.
void SetLibraryModule(HMODULE module);

}  // namespace zr
