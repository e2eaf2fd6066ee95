// pal/files/url.cpp - PathIsURLW (see url.h).
#include "pal/files/url.h"

namespace zrpal {

namespace {

constexpr int kMinSchemeLength = 2;  // one letter is a drive

bool IsSchemeUnit(WCHAR c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '-' || c == '.';
}

}  // namespace

BOOL PathIsURLW(LPCWSTR path) {
  if (!path) return FALSE;
  int n = 0;
  while (IsSchemeUnit(path[n])) ++n;
  return path[n] == ':' && n >= kMinSchemeLength ? TRUE : FALSE;
}

}  // namespace zrpal
