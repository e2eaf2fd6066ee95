// pal/mbcs.cpp - the multibyte code page setting and the _mbs routines.
//
// The routines never consult the C library's locale: the lead bytes come from
// the process setting below and case and space follow the "C" locale.
#include "pal/mbcs.h"

#include <atomic>
#include <cstdint>

#include "pal/codepage.h"
#include "pal/internal/codepage_table.h"

namespace zrpal {

namespace {

// The lead bytes of one multibyte code page. Invariant: codePage is 0
// exactly when no byte is a lead byte.
struct LeadBytes {
  int codePage;
  bool lead[256];
};

constexpr LeadBytes MakeLeadBytes(UINT codePage) {
  LeadBytes t{};
  const CodePageInfo* info = FindCodePage(codePage);
  t.codePage = static_cast<int>(codePage);
  for (unsigned b = 0; b < 256; ++b) t.lead[b] = info && IsLeadByteOf(*info, b);
  return t;
}

constexpr LeadBytes kSingleByte = MakeLeadBytes(0);
constexpr LeadBytes kDoubleByte[] = {MakeLeadBytes(932), MakeLeadBytes(936), MakeLeadBytes(949),
                                     MakeLeadBytes(950)};

constinit std::atomic<const LeadBytes*> g_leadBytes{&kSingleByte};

// The setting, read once per call so that one call sees one code page.
const LeadBytes& Current() { return *g_leadBytes.load(std::memory_order_acquire); }

// One character of the current code page.
struct Char {
  unsigned code;     // lead * 256 + trail, or the byte; 0 at the terminator
  unsigned size;     // bytes: 0 at the terminator, else 1 or 2
};

Char CharAt(const LeadBytes& lb, const unsigned char* p) {
  if (p[0] == 0) return {0, 0};
  if (lb.lead[p[0]] && p[1] != 0) return {unsigned{p[0]} << 8 | p[1], 2};
  return {p[0], 1};
}

unsigned FoldLower(unsigned code) { return code >= 'A' && code <= 'Z' ? code + 32 : code; }

int Sign(long d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

// Compares up to `count` characters; `fold` folds ASCII letters to lower.
int CompareChars(const unsigned char* a, const unsigned char* b, size_t count, bool fold) {
  const LeadBytes& lb = Current();
  for (; count > 0; --count) {
    const Char ca = CharAt(lb, a);
    const Char cb = CharAt(lb, b);
    const unsigned x = fold ? FoldLower(ca.code) : ca.code;
    const unsigned y = fold ? FoldLower(cb.code) : cb.code;
    if (x != y) return Sign(static_cast<long>(x) - static_cast<long>(y));
    if (ca.size == 0) return 0;
    a += ca.size;
    b += cb.size;
  }
  return 0;
}

// Whether the characters of `sub` start at `s`.
bool StartsWith(const LeadBytes& lb, const unsigned char* s, const unsigned char* sub) {
  for (;;) {
    const Char cs = CharAt(lb, sub);
    if (cs.size == 0) return true;
    if (CharAt(lb, s).code != cs.code) return false;
    // Equal codes have equal sizes.
    s += cs.size;
    sub += cs.size;
  }
}

bool InSet(const LeadBytes& lb, const unsigned char* set, unsigned code) {
  for (Char c = CharAt(lb, set); c.size != 0; set += c.size, c = CharAt(lb, set))
    if (c.code == code) return true;
  return false;
}

unsigned char* ChangeCase(unsigned char* s, bool upper) {
  if (!s) return nullptr;
  const LeadBytes& lb = Current();
  for (unsigned char* p = s; *p;) {
    const Char c = CharAt(lb, p);
    if (c.size == 1) *p = static_cast<unsigned char>(upper ? toupper(*p) : tolower(*p));
    p += c.size;
  }
  return s;
}

}  // namespace

int _setmbcp(int codePage) {
  if (codePage == _MB_CP_ANSI || codePage == _MB_CP_LOCALE)
    codePage = static_cast<int>(GetACP());
  else if (codePage == _MB_CP_OEM)
    codePage = static_cast<int>(GetOEMCP());
  if (codePage == _MB_CP_SBCS) {
    g_leadBytes.store(&kSingleByte, std::memory_order_release);
    return 0;
  }
  for (const LeadBytes& lb : kDoubleByte) {
    if (lb.codePage == codePage) {
      g_leadBytes.store(&lb, std::memory_order_release);
      return 0;
    }
  }
  if (codePage > 0 && FindCodePage(static_cast<UINT>(codePage))) {
    // Every other supported page has no lead bytes.
    g_leadBytes.store(&kSingleByte, std::memory_order_release);
    return 0;
  }
  return -1;
}

int _getmbcp() { return Current().codePage; }

int _ismbblead(unsigned int c) { return Current().lead[c & 0xFF] ? 1 : 0; }

size_t _mbslen(const unsigned char* s) {
  if (!s) return 0;
  const LeadBytes& lb = Current();
  size_t n = 0;
  for (Char c = CharAt(lb, s); c.size != 0; s += c.size, c = CharAt(lb, s)) ++n;
  return n;
}

unsigned char* _mbsinc(const unsigned char* p) {
  if (!p) return nullptr;
  const Char c = CharAt(Current(), p);
  // At the terminator the Windows run-time still steps one byte.
  return const_cast<unsigned char*>(p + (c.size ? c.size : 1));
}

unsigned char* _mbsdec(const unsigned char* start, const unsigned char* p) {
  if (!start || !p || p <= start) return nullptr;
  const LeadBytes& lb = Current();
  // A byte that is not a lead byte always ends a character, so the character
  // boundaries before p follow from the parity of the run of lead bytes just
  // before the byte p - 1: an odd run means p - 2 leads a pair with p - 1.
  const unsigned char* q = p - 1;
  size_t run = 0;
  while (q > start && lb.lead[q[-1]]) {
    --q;
    ++run;
  }
  return const_cast<unsigned char*>(run % 2 == 1 ? p - 2 : p - 1);
}

unsigned char* _mbsninc(const unsigned char* s, size_t count) {
  if (!s) return nullptr;
  return const_cast<unsigned char*>(s + _mbsnbcnt(s, count));
}

size_t _mbsnbcnt(const unsigned char* s, size_t count) {
  if (!s) return 0;
  const LeadBytes& lb = Current();
  const unsigned char* p = s;
  for (; count > 0; --count) {
    const Char c = CharAt(lb, p);
    if (c.size == 0) break;
    p += c.size;
  }
  return static_cast<size_t>(p - s);
}

unsigned int _mbsnextc(const unsigned char* s) {
  if (!s) return 0;
  return CharAt(Current(), s).code;
}

int _mbscmp(const unsigned char* a, const unsigned char* b) {
  if (!a || !b) return _NLSCMPERROR;
  return CompareChars(a, b, SIZE_MAX, false);
}

int _mbsicmp(const unsigned char* a, const unsigned char* b) {
  if (!a || !b) return _NLSCMPERROR;
  return CompareChars(a, b, SIZE_MAX, true);
}

int _mbsncmp(const unsigned char* a, const unsigned char* b, size_t count) {
  if (count == 0) return 0;
  if (!a || !b) return _NLSCMPERROR;
  return CompareChars(a, b, count, false);
}

int _mbsnicmp(const unsigned char* a, const unsigned char* b, size_t count) {
  if (count == 0) return 0;
  if (!a || !b) return _NLSCMPERROR;
  return CompareChars(a, b, count, true);
}

unsigned char* _mbschr(const unsigned char* s, unsigned int c) {
  if (!s) return nullptr;
  const LeadBytes& lb = Current();
  for (;;) {
    const Char ch = CharAt(lb, s);
    if (ch.code == c) return const_cast<unsigned char*>(s);
    if (ch.size == 0) return nullptr;
    s += ch.size;
  }
}

unsigned char* _mbsrchr(const unsigned char* s, unsigned int c) {
  if (!s) return nullptr;
  const LeadBytes& lb = Current();
  const unsigned char* found = nullptr;
  for (;;) {
    const Char ch = CharAt(lb, s);
    if (ch.code == c) found = s;
    if (ch.size == 0) return const_cast<unsigned char*>(found);
    s += ch.size;
  }
}

unsigned char* _mbsstr(const unsigned char* s, const unsigned char* sub) {
  if (!s || !sub) return nullptr;
  const LeadBytes& lb = Current();
  for (;;) {
    if (StartsWith(lb, s, sub)) return const_cast<unsigned char*>(s);
    const Char ch = CharAt(lb, s);
    if (ch.size == 0) return nullptr;
    s += ch.size;
  }
}

unsigned char* _mbspbrk(const unsigned char* s, const unsigned char* set) {
  if (!s || !set) return nullptr;
  const LeadBytes& lb = Current();
  for (Char ch = CharAt(lb, s); ch.size != 0; s += ch.size, ch = CharAt(lb, s))
    if (InSet(lb, set, ch.code)) return const_cast<unsigned char*>(s);
  return nullptr;
}

unsigned char* _mbsupr(unsigned char* s) { return ChangeCase(s, true); }

unsigned char* _mbslwr(unsigned char* s) { return ChangeCase(s, false); }

int isspace(int c) { return c == ' ' || (c >= '\t' && c <= '\r') ? 1 : 0; }

int toupper(int c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

int tolower(int c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

int _stricmp(const char* a, const char* b) {
  if (!a || !b) return _NLSCMPERROR;
  return _strnicmp(a, b, SIZE_MAX);
}

int _strnicmp(const char* a, const char* b, size_t count) {
  if (count == 0) return 0;
  if (!a || !b) return _NLSCMPERROR;
  for (size_t i = 0; i < count; ++i) {
    const int x = tolower(static_cast<unsigned char>(a[i]));
    const int y = tolower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) break;
  }
  return 0;
}

}  // namespace zrpal
