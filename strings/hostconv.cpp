// strings/hostconv.cpp - conversion of 8-bit text to CXStringW in the
// translation language's code page.
//
// The code page is the cell of base/hostcp.h, which the translation layer
// sets when a dictionary with a language identifier is loaded; 0 (the system
// ANSI code page) until then.
#include <climits>
#include <cstring>

#include "base/hostcp.h"
#include "pal/codepage.h"
#include "zr/xstring.h"

int hostMultiByteToUnicode(const char* text, CXStringW& out) {
  out = static_cast<const WCHAR*>(nullptr);
  if (!text || !*text) return 0;
  const std::size_t bytes = std::strlen(text);
  if (bytes > INT_MAX) return 0;
  const UINT codePage = zr::HostCodePage();
  const int cb = static_cast<int>(bytes);
  const int units = zrpal::MultiByteToWideChar(codePage, 0, text, cb, nullptr, 0);
  if (units <= 0) return 0;
  WCHAR* p = out.GetBuffer(units);
  const int written = zrpal::MultiByteToWideChar(codePage, 0, text, cb, p, units);
  p[written > 0 ? written : 0] = 0;
  out.ReleaseBuffer();
  if (written <= 0) {
    out = static_cast<const WCHAR*>(nullptr);
    return 0;
  }
  return 1;
}
