// base/hostcp.h - the code page of 8-bit to wide conversions of CXStringW.
//
// The cell lives below the strings, which read it, and is set from above by
// the translation layer when a dictionary chooses a language. 0 stands for
// the system ANSI code page.
#pragma once

#include "zr/zrtypes.h"

namespace zr {

UINT HostCodePage();
void SetHostCodePage(UINT codePage);

}  // namespace zr
