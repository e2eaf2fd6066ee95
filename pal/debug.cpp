// pal/debug.cpp - the debugger output.
#include "pal/debug.h"

#include <cstring>

namespace zrpal {

namespace {

bool DebugOutputEnabled();
void WriteToStandardError(const char* text, std::size_t length);

}  // namespace

void OutputDebugStringA(const char* text) {
  if (!text || !*text || !DebugOutputEnabled()) return;
  WriteToStandardError(text, std::strlen(text));
}

}  // namespace zrpal

#include "pal/posix/debug.inc"
