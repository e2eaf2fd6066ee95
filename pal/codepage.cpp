// pal/codepage.cpp - MultiByteToWideChar / WideCharToMultiByte over UTF-8 and
// the code-page tables.
#include "pal/codepage.h"

#include <atomic>
#include <cassert>
#include <climits>
#include <cstring>

#include "pal/internal/codepage_table.h"
#include "pal/internal/no_memory.h"
#include "pal/error.h"
#include "pal/wstr.h"

namespace zrpal {

namespace {

// The value of ZR_ACP, or null (OS-specific, posix/codepage.inc).
const char* ReadAcpSetting();

// The OEM page of English (United States), whose ANSI page is 1252; most
// other locales with 1252 have 850.
constexpr UINT kOemOf1252 = 437;

// 0 until the setting has been read.
constinit std::atomic<UINT> g_acp{0};

constexpr DWORD kMbFlagsUtf8 = MB_ERR_INVALID_CHARS;
constexpr DWORD kMbFlagsTable = MB_PRECOMPOSED | MB_ERR_INVALID_CHARS;
constexpr DWORD kWcFlagsUtf8 = WC_ERR_INVALID_CHARS;
constexpr DWORD kWcFlagsTable = WC_NO_BEST_FIT_CHARS;

const CodePageInfo* Resolve(UINT codePage) {
  switch (codePage) {
    case CP_ACP:
    case CP_THREAD_ACP:
      return FindCodePage(GetACP());
    case CP_OEMCP:
      return FindCodePage(GetOEMCP());
    default:
      return FindCodePage(codePage);
  }
}

// The code page and, for table pages, its table; false with
// ERROR_INVALID_PARAMETER when the page cannot be converted.
bool Lookup(UINT codePage, const CodePageInfo** info, const CodePageTable** table) {
  *info = Resolve(codePage);
  *table = nullptr;
  if (!*info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if ((*info)->kind == CodePageKind::kUtf8) return true;
  // A table that cannot be built for lack of memory is not cached as
  // unavailable: a later call builds it.
  *table = FailOnNoMemory<const CodePageTable*>(nullptr, [&] { return CodePageTableFor(**info); });
  return *table != nullptr;
}

enum class Outcome { kOk, kInvalid, kFull };

// Where converted units go: counted only (capacity 0), or written while they
// fit. Invariant: count <= capacity when writing.
template <class Unit>
class Output {
 public:
  Output(Unit* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}

  // Appends n units as one character: all or nothing.
  bool Put(const Unit* units, std::size_t n) {
    if (capacity_ != 0) {
      if (capacity_ - count_ < n) return false;
      std::memcpy(buffer_ + count_, units, n * sizeof(Unit));
    }
    count_ += n;
    return true;
  }
  bool Put(Unit unit) { return Put(&unit, 1); }
  std::size_t Count() const { return count_; }

 private:
  Unit* buffer_;
  std::size_t capacity_;
  std::size_t count_ = 0;
};

using WideOutput = Output<WCHAR>;
using ByteOutput = Output<char>;

// UTF-8 to UTF-16. An ill-formed sequence is replaced per maximal subpart:
// the longest prefix of a well-formed sequence (checked with the tight
// second-byte ranges of Unicode's table 3-7) counts as one error.
Outcome DecodeUtf8(const BYTE* s, std::size_t n, bool strict, WideOutput& out) {
  std::size_t i = 0;
  while (i < n) {
    const BYTE lead = s[i];
    if (lead < 0x80) {
      if (!out.Put(lead)) return Outcome::kFull;
      ++i;
      continue;
    }
    unsigned need = 0;
    BYTE low = 0x80, high = 0xBF;
    std::uint32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      need = 1;
      cp = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      need = 2;
      cp = lead & 0x0Fu;
      if (lead == 0xE0) low = 0xA0;   // no overlong forms
      if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      need = 3;
      cp = lead & 0x07u;
      if (lead == 0xF0) low = 0x90;   // no overlong forms
      if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    }
    std::size_t j = i + 1;
    unsigned got = 0;
    while (got < need && j < n && s[j] >= low && s[j] <= high) {
      cp = cp << 6 | (s[j] & 0x3Fu);
      ++j;
      ++got;
      low = 0x80;
      high = 0xBF;
    }
    bool ok;
    if (need == 0 || got < need) {
      if (strict) return Outcome::kInvalid;
      ok = out.Put(kReplacementChar);
    } else if (cp >= 0x10000) {
      const WCHAR pair[2] = {static_cast<WCHAR>(0xD800 + ((cp - 0x10000) >> 10)),
                             static_cast<WCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
      ok = out.Put(pair, 2);
    } else {
      ok = out.Put(static_cast<WCHAR>(cp));
    }
    if (!ok) return Outcome::kFull;
    i = j;
  }
  return Outcome::kOk;
}

Outcome DecodeTable(const CodePageTable& table, const BYTE* s, std::size_t n, bool strict,
                    WideOutput& out) {
  std::size_t i = 0;
  while (i < n) {
    const BYTE b = s[i];
    WCHAR unit;
    if (table.IsLead(b)) {
      if (i + 1 < n && s[i + 1] != 0) {
        unit = table.Pair(b, s[i + 1]);
        i += 2;
      } else {
        unit = CodePageTable::kNone;
        i += 1;
      }
    } else {
      unit = table.Single(b);
      i += 1;
      if (strict && IsPrivateUse(unit)) return Outcome::kInvalid;
    }
    if (unit == CodePageTable::kNone) {
      if (strict) return Outcome::kInvalid;
      unit = table.UnicodeDefault();
    }
    if (!out.Put(unit)) return Outcome::kFull;
  }
  return Outcome::kOk;
}

Outcome EncodeUtf8(const WCHAR* s, std::size_t n, bool strict, ByteOutput& out) {
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t cp = s[i];
    if (IsHighSurrogate(cp) && i + 1 < n && IsLowSurrogate(s[i + 1])) {
      cp = CodePointOfPair(cp, s[i + 1]);
      ++i;
    } else if (IsHighSurrogate(cp) || IsLowSurrogate(cp)) {
      if (strict) return Outcome::kInvalid;
      cp = kReplacementChar;
    }
    char bytes[4];
    std::size_t k;
    if (cp < 0x80) {
      bytes[0] = static_cast<char>(cp);
      k = 1;
    } else if (cp < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | cp >> 6);
      bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
      k = 2;
    } else if (cp < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | cp >> 12);
      bytes[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
      k = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | cp >> 18);
      bytes[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (cp & 0x3F));
      k = 4;
    }
    if (!out.Put(bytes, k)) return Outcome::kFull;
  }
  return Outcome::kOk;
}

// The default character's bytes: the first character of `given`, else '?'.
std::size_t DefaultBytes(const CodePageTable& table, LPCSTR given, char bytes[2]) {
  if (!given) {
    bytes[0] = static_cast<char>(CodePageTable::kDefaultChar);
    return 1;
  }
  bytes[0] = given[0];
  if (table.IsLead(static_cast<BYTE>(given[0])) && given[1] != 0) {
    bytes[1] = given[1];
    return 2;
  }
  return 1;
}

Outcome EncodeTable(const CodePageTable& table, const WCHAR* s, std::size_t n, LPCSTR defaultChar,
                    bool* usedDefault, ByteOutput& out) {
  char fallback[2];
  const std::size_t fallbackSize = DefaultBytes(table, defaultChar, fallback);
  for (std::size_t i = 0; i < n; ++i) {
    // Unit by unit, as Windows converts: no table page holds a character
    // beyond the BMP, and each half of a surrogate pair becomes a default
    // character of its own.
    const WCHAR unit = s[i];
    const WORD encoded = unit == 0 ? 0 : table.Encode(unit);
    bool ok;
    if (unit != 0 && encoded == 0) {
      *usedDefault = true;
      ok = out.Put(fallback, fallbackSize);
    } else if (encoded > 0xFF) {
      const char pair[2] = {static_cast<char>(encoded >> 8), static_cast<char>(encoded & 0xFF)};
      ok = out.Put(pair, 2);
    } else {
      ok = out.Put(static_cast<char>(encoded));
    }
    if (!ok) return Outcome::kFull;
  }
  return Outcome::kOk;
}

// The result of a conversion as the Win32 functions report it.
int Finish(Outcome outcome, std::size_t count) {
  switch (outcome) {
    case Outcome::kInvalid:
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    case Outcome::kFull:
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    case Outcome::kOk:
      break;
  }
  if (count > static_cast<std::size_t>(INT_MAX)) {
    // Only a measurement can get here: no int-sized buffer holds the result.
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return static_cast<int>(count);
}

// The buffer checks both conversions share: a source and its count (-1:
// zero-terminated), a destination and its capacity (0: measure only), and
// the two may not be one buffer.
bool BadBuffers(const void* in, int inCount, const void* out, int outCount) {
  return !in || inCount == 0 || inCount < -1 || outCount < 0 || (outCount > 0 && !out) || in == out;
}

}  // namespace

UINT AcpFromSetting(const char* value) {
  if (!value || !*value) return CP_UTF8;
  UINT number = 0;
  for (const char* p = value; *p; ++p) {
    if (*p < '0' || *p > '9' || p - value >= 5) return CP_UTF8;
    number = number * 10 + static_cast<UINT>(*p - '0');
  }
  return FindCodePage(number) ? number : CP_UTF8;
}

UINT GetACP() {
  UINT acp = g_acp.load(std::memory_order_acquire);
  if (acp == 0) {
    // Two first callers may both read the setting; they read the same value
    // and the first store wins.
    UINT expected = 0;
    g_acp.compare_exchange_strong(expected, AcpFromSetting(ReadAcpSetting()),
                                  std::memory_order_acq_rel);
    acp = g_acp.load(std::memory_order_acquire);
  }
  return acp;
}

UINT OemCodePageOf(UINT ansiCodePage) {
  // 874, 932, 936, 949, 950, 1258 and 65001 serve as both pages on Windows.
  // The DOS pages it pairs with 1250, 1251 and 1253-1257 (852, 866, 737,
  // 857, 862, 775, 720) are not supported, and no Windows locale has the
  // ISO pages or 20127 as its ANSI page: those stand for themselves too.
  return ansiCodePage == 1252 ? kOemOf1252 : ansiCodePage;
}

UINT GetOEMCP() { return OemCodePageOf(GetACP()); }

BOOL IsValidCodePage(UINT codePage) {
  const CodePageInfo* info;
  const CodePageTable* table;
  return Lookup(codePage, &info, &table) ? TRUE : FALSE;
}

BOOL IsDBCSLeadByteEx(UINT codePage, BYTE byte) {
  const CodePageInfo* info = Resolve(codePage);
  return info && IsLeadByteOf(*info, byte) ? TRUE : FALSE;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte,
                        LPWSTR wideChar, int cchWideChar) {
  if (BadBuffers(multiByte, cbMultiByte, wideChar, cchWideChar)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const CodePageInfo* info;
  const CodePageTable* table;
  if (!Lookup(codePage, &info, &table)) return 0;
  if (flags & ~(table ? kMbFlagsTable : kMbFlagsUtf8)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const std::size_t n =
      cbMultiByte == -1 ? std::strlen(multiByte) + 1 : static_cast<std::size_t>(cbMultiByte);
  const auto* bytes = reinterpret_cast<const BYTE*>(multiByte);
  const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
  WideOutput out(wideChar, static_cast<std::size_t>(cchWideChar));
  const Outcome outcome =
      table ? DecodeTable(*table, bytes, n, strict, out) : DecodeUtf8(bytes, n, strict, out);
  return Finish(outcome, out.Count());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar, int cchWideChar,
                        LPSTR multiByte, int cbMultiByte, LPCSTR defaultChar,
                        BOOL* usedDefaultChar) {
  if (BadBuffers(wideChar, cchWideChar, multiByte, cbMultiByte)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const CodePageInfo* info;
  const CodePageTable* table;
  if (!Lookup(codePage, &info, &table)) return 0;
  if (!table && (defaultChar || usedDefaultChar)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (flags & ~(table ? kWcFlagsTable : kWcFlagsUtf8)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const std::size_t n =
      cchWideChar == -1 ? wcslen(wideChar) + 1 : static_cast<std::size_t>(cchWideChar);
  ByteOutput out(multiByte, static_cast<std::size_t>(cbMultiByte));
  bool usedDefault = false;
  const Outcome outcome =
      table ? EncodeTable(*table, wideChar, n, defaultChar, &usedDefault, out)
            : EncodeUtf8(wideChar, n, (flags & WC_ERR_INVALID_CHARS) != 0, out);
  if (usedDefaultChar) *usedDefaultChar = usedDefault ? TRUE : FALSE;
  return Finish(outcome, out.Count());
}

int WideCharToMultiBytePrefix(UINT codePage, LPCWSTR wideChar, int cchWideChar, LPSTR multiByte,
                              int cbMultiByte) {
  if (!wideChar || cchWideChar < -1 || cbMultiByte < 0 || (cbMultiByte > 0 && !multiByte)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  const CodePageInfo* info;
  const CodePageTable* table;
  if (!Lookup(codePage, &info, &table)) return -1;
  if (cbMultiByte == 0) return 0;
  const std::size_t n =
      cchWideChar == -1 ? wcslen(wideChar) : static_cast<std::size_t>(cchWideChar);
  ByteOutput out(multiByte, static_cast<std::size_t>(cbMultiByte));
  bool usedDefault = false;
  // kFull only means the rest did not fit: what was written is the prefix.
  if (table)
    EncodeTable(*table, wideChar, n, nullptr, &usedDefault, out);
  else
    EncodeUtf8(wideChar, n, false, out);
  assert(out.Count() <= static_cast<std::size_t>(cbMultiByte));
  return static_cast<int>(out.Count());
}

int WideToAnsiTerminated(LPCWSTR text, int units, LPSTR buffer, int bufferChars) {
  int n = units > 0 ? WideCharToMultiBytePrefix(CP_ACP, text, units, buffer, bufferChars - 1) : 0;
  if (n < 0) n = 0;
  buffer[n] = 0;
  return n;
}

void CodePageStartup() { GetACP(); }

void CodePageShutdown() { ReleaseCodePageTables(); }

}  // namespace zrpal

#include "pal/posix/codepage.inc"
