// pal/debug.h - the debugger output.
#pragma once

#include "pal/types.h"

namespace zrpal {

// The environment variable that turns the debugger output on.
inline constexpr const char* kDebugOutputVariable = "ZR_DEBUG_OUTPUT";

// Sends `text` to the debugger output. Linux has no such channel: the text
// goes to standard error when the environment variable ZR_DEBUG_OUTPUT is
// set (to any value, looked up at each call), else nowhere. A null text
// sends nothing. Like its Win32 namesake it has no result and sets no
// error: a failed write is dropped.
void OutputDebugStringA(const char* text);

}  // namespace zrpal
