// pal/wstr.cpp - wide-string routines over UTF-16 code units.
#include "pal/wstr.h"

#include <cassert>
#include <climits>
#include <cstdint>

namespace zrpal {

namespace {

int Sign(int d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

WCHAR* ChangeCase(WCHAR* s, bool upper) {
  if (!s) return nullptr;
  for (WCHAR* p = s; *p; ++p) *p = upper ? towupper(*p) : towlower(*p);
  return s;
}

int CompareFolded(const WCHAR* a, const WCHAR* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const int x = towlower(a[i]);
    const int y = towlower(b[i]);
    if (x != y || x == 0) return Sign(x - y);
  }
  return 0;
}

}  // namespace

size_t wcslen(const WCHAR* s) {
  assert(s);
  const WCHAR* p = s;
  while (*p) ++p;
  return static_cast<size_t>(p - s);
}

int wcscmp(const WCHAR* a, const WCHAR* b) { return wcsncmp(a, b, SIZE_MAX); }

int wcsncmp(const WCHAR* a, const WCHAR* b, size_t count) {
  assert(count == 0 || (a && b));
  for (size_t i = 0; i < count; ++i) {
    if (a[i] != b[i] || a[i] == 0) return Sign(int{a[i]} - int{b[i]});
  }
  return 0;
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
  if (!a || !b) return _NLSCMPERROR;
  return CompareFolded(a, b, SIZE_MAX);
}

int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t count) {
  if (count == 0) return 0;
  if (!a || !b) return _NLSCMPERROR;
  return CompareFolded(a, b, count);
}

WCHAR* wcschr(const WCHAR* s, WCHAR c) {
  assert(s);
  for (;; ++s) {
    if (*s == c) return const_cast<WCHAR*>(s);
    if (*s == 0) return nullptr;
  }
}

WCHAR* wcsrchr(const WCHAR* s, WCHAR c) {
  assert(s);
  const WCHAR* found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (*s == 0) return const_cast<WCHAR*>(found);
  }
}

WCHAR* wcsstr(const WCHAR* s, const WCHAR* sub) {
  assert(s && sub);
  for (;; ++s) {
    size_t i = 0;
    while (sub[i] != 0 && s[i] == sub[i]) ++i;
    if (sub[i] == 0) return const_cast<WCHAR*>(s);
    if (*s == 0) return nullptr;
  }
}

WCHAR* wcspbrk(const WCHAR* s, const WCHAR* set) {
  assert(s && set);
  for (; *s; ++s)
    for (const WCHAR* c = set; *c; ++c)
      if (*c == *s) return const_cast<WCHAR*>(s);
  return nullptr;
}

WCHAR* wcscpy(WCHAR* dest, const WCHAR* src) {
  assert(dest && src);
  WCHAR* d = dest;
  while ((*d++ = *src++) != 0) {
  }
  return dest;
}

WCHAR* wcsncpy(WCHAR* dest, const WCHAR* src, size_t count) {
  assert(count == 0 || (dest && src));
  size_t i = 0;
  for (; i < count && src[i] != 0; ++i) dest[i] = src[i];
  for (; i < count; ++i) dest[i] = 0;
  return dest;
}

WCHAR* _wcsupr(WCHAR* s) { return ChangeCase(s, true); }

WCHAR* _wcslwr(WCHAR* s) { return ChangeCase(s, false); }

int iswspace(WCHAR c) {
  switch (c) {
    case 0x0020:
    case 0x0085:
    case 0x00A0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return 1;
    default:
      return (c >= 0x0009 && c <= 0x000D) || (c >= 0x2000 && c <= 0x200A) ? 1 : 0;
  }
}

WCHAR towupper(WCHAR c) { return c >= u'a' && c <= u'z' ? static_cast<WCHAR>(c - 32) : c; }

WCHAR towlower(WCHAR c) { return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c + 32) : c; }

int _wtoi(const WCHAR* s) {
  if (!s) return 0;
  while (iswspace(*s)) ++s;
  bool negative = false;
  if (*s == u'+' || *s == u'-') negative = *s++ == u'-';
  // Accumulate as a negative number, whose range includes INT_MIN.
  long long value = 0;
  for (; *s >= u'0' && *s <= u'9'; ++s) {
    value = value * 10 - (*s - u'0');
    if (value < static_cast<long long>(INT_MIN)) return negative ? INT_MIN : INT_MAX;
  }
  if (!negative && value == static_cast<long long>(INT_MIN)) return INT_MAX;
  return static_cast<int>(negative ? value : -value);
}

}  // namespace zrpal
