// Fuzzes MultiByteToWideChar and WideCharToMultiByte in every supported code
// page: size queries, exact and too-small buffers, the -1 form, the error
// flags, flag bits that are refused, default characters and the
// used-default flag, the truncating conversion and the lookup functions.
// Properties checked (glibc's iconv is not Windows' tables, so it is no
// reference here; the conversions are checked against themselves):
//  - the size a query answers is what the conversion writes;
//  - the used-default flag is set exactly when a default character was
//    written: two different default characters give different output
//    exactly then;
//  - UTF-16 that converts without a default converts back to itself (no
//    best-fit mapping is ever made), and bytes that decode without error
//    encode back to themselves;
//  - a lead byte and a non-zero byte after it are one character, any other
//    byte is one on its own;
//  - unknown flag bits fail with ERROR_INVALID_FLAGS.
//
// Input: byte 0 picks the code page (or a pseudo code page), byte 1 the
// flags and a small buffer size, byte 2 extra flag bits and the default
// characters, the rest is the text: bytes for the one direction, UTF-16
// units (little-endian pairs) for the other.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "pal/codepage.h"
#include "pal/internal/codepage_table.h"
#include "pal/error.h"

namespace {

using namespace zrpal;

UINT PickCodePage(std::uint8_t b) {
  constexpr UINT kPseudo[] = {CP_ACP, CP_OEMCP, CP_THREAD_ACP, 12345};
  const std::size_t n = kCodePageCount + sizeof kPseudo / sizeof kPseudo[0];
  const std::size_t i = b % n;
  return i < kCodePageCount ? kCodePages[i].number : kPseudo[i - kCodePageCount];
}

std::u16string Decode(UINT cp, DWORD flags, const char* in, int n, unsigned small) {
  const int need = MultiByteToWideChar(cp, flags, in, n, nullptr, 0);
  if (need == 0) {
    const DWORD error = GetLastError();
    Check(error == ERROR_NO_UNICODE_TRANSLATION || error == ERROR_INVALID_PARAMETER ||
          error == ERROR_INVALID_FLAGS);
    return {};
  }
  std::u16string out(static_cast<std::size_t>(need), u'\0');
  Check(MultiByteToWideChar(cp, flags, in, n, out.data(), need) == need);
  if (need > 1) {
    std::u16string shorter(static_cast<std::size_t>(need - 1), u'\0');
    Check(MultiByteToWideChar(cp, flags, in, n, shorter.data(), need - 1) == 0);
    Check(GetLastError() == ERROR_INSUFFICIENT_BUFFER);
  }
  if (small > 0 && static_cast<int>(small) < need) {
    std::u16string tiny(small, u'\0');
    Check(MultiByteToWideChar(cp, flags, in, n, tiny.data(), static_cast<int>(small)) == 0);
  }
  return out;
}

std::string Encode(UINT cp, DWORD flags, const WCHAR* in, int n, unsigned small, bool askUsed) {
  BOOL used = FALSE;
  BOOL* usedOut = askUsed ? &used : nullptr;
  const int need = WideCharToMultiByte(cp, flags, in, n, nullptr, 0, nullptr, usedOut);
  if (need == 0) {
    const DWORD error = GetLastError();
    Check(error == ERROR_NO_UNICODE_TRANSLATION || error == ERROR_INVALID_PARAMETER ||
          error == ERROR_INVALID_FLAGS);
    return {};
  }
  std::string out(static_cast<std::size_t>(need), '\0');
  Check(WideCharToMultiByte(cp, flags, in, n, out.data(), need, nullptr, usedOut) == need);
  if (need > 1) {
    std::string shorter(static_cast<std::size_t>(need - 1), '\0');
    Check(WideCharToMultiByte(cp, flags, in, n, shorter.data(), need - 1, nullptr, usedOut) == 0);
    Check(GetLastError() == ERROR_INSUFFICIENT_BUFFER);
  }
  // The truncating conversion never writes more than it is given and never
  // more than the whole conversion.
  const unsigned capacity = small % (static_cast<unsigned>(need) + 2);
  std::string prefix(capacity + 1, '\x5A');
  const int got = WideCharToMultiBytePrefix(cp, in, n, prefix.data(), static_cast<int>(capacity));
  Check(got >= 0 && got <= static_cast<int>(capacity) && got <= need);
  Check(prefix[capacity] == '\x5A');
  return out;
}

UINT Resolved(UINT cp) {
  return cp == CP_OEMCP ? GetOEMCP() : cp == CP_ACP || cp == CP_THREAD_ACP ? GetACP() : cp;
}

// Default characters: the used-default flag against two defaults.
void CheckDefaults(UINT cp, const WCHAR* in, int n, std::uint8_t pick) {
  if (Resolved(cp) == CP_UTF8 || !IsValidCodePage(cp)) {
    // UTF-8 takes neither a default nor the flag.
    const char dflt[] = "?";
    BOOL used = FALSE;
    char out[8];
    SetLastError(0);
    Check(WideCharToMultiByte(cp, 0, in, n, out, sizeof out, dflt, nullptr) == 0 &&
          GetLastError() == ERROR_INVALID_PARAMETER);
    Check(WideCharToMultiByte(cp, 0, in, n, out, sizeof out, nullptr, &used) == 0 &&
          GetLastError() == ERROR_INVALID_PARAMETER);
    return;
  }
  // Two single-byte defaults from the ASCII controls: no conversion makes
  // them from anything but U+0001 ... U+001F, which stay as they are.
  const char first[2] = {static_cast<char>(1 + pick % 31), 0};
  const char second[2] = {static_cast<char>(1 + (pick + 1) % 31), 0};
  BOOL usedFirst = 2, usedSecond = 2, usedPlain = 2;
  const int need = WideCharToMultiByte(cp, 0, in, n, nullptr, 0, first, &usedFirst);
  if (need == 0) return;
  std::string a(static_cast<std::size_t>(need), '\0'), b = a, plain = a;
  Check(WideCharToMultiByte(cp, 0, in, n, a.data(), need, first, &usedFirst) == need);
  Check(WideCharToMultiByte(cp, 0, in, n, b.data(), need, second, &usedSecond) == need);
  Check(WideCharToMultiByte(cp, 0, in, n, plain.data(), need, nullptr, &usedPlain) == need);
  Check(usedFirst == usedSecond && usedFirst == usedPlain && (usedFirst == TRUE || usedFirst == FALSE));
  Check((a != b) == (usedFirst == TRUE));
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) Check(plain[i] == a[i]);
    else Check(a[i] == first[0] && b[i] == second[0] && plain[i] == '?');
  }
  // Without a default, the text converts back to itself.
  if (usedFirst == FALSE) {
    const int units = MultiByteToWideChar(cp, 0, plain.data(), need, nullptr, 0);
    std::u16string back(static_cast<std::size_t>(units), u'\0');
    Check(units > 0 && MultiByteToWideChar(cp, 0, plain.data(), need, back.data(), units) == units);
    const std::size_t length = n < 0 ? std::char_traits<WCHAR>::length(in) + 1 : static_cast<std::size_t>(n);
    Check(back == std::u16string(in, length));
  }
}

// Lead bytes: on a double-byte page a lead byte takes the next non-zero byte
// with it; everything else is a character of one byte.
void CheckLeadBytes(UINT cp, std::uint8_t lead, std::uint8_t trail) {
  const bool valid = IsValidCodePage(cp) != FALSE;
  Check(valid == (Resolved(cp) != 12345));
  const bool isLead = IsDBCSLeadByteEx(cp, lead) != FALSE;
  if (!valid) {
    Check(!isLead);
    return;
  }
  const UINT page = Resolved(cp);
  if (page != 932 && page != 936 && page != 949 && page != 950) Check(!isLead);
  if (page == CP_UTF8) return;
  const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail ? trail : 1)};
  WCHAR out[4];
  const int units = MultiByteToWideChar(cp, 0, pair, 2, out, 4);
  Check(units == (isLead ? 1 : 2));
  // A lead byte at the end is a character of its own.
  Check(MultiByteToWideChar(cp, 0, pair, 1, out, 4) == 1);
}

// Flag bits nobody knows, and the ones that are refused, fail loudly.
void CheckFlags(UINT cp, std::uint8_t bits, const char* text, int n, const WCHAR* units) {
  constexpr DWORD kUnknown[] = {0x100, 0x800, 0x1000, 0x10000, 0x80000000u};
  const DWORD mb = (bits & 1 ? MB_COMPOSITE : 0) | (bits & 2 ? MB_USEGLYPHCHARS : 0) |
                   (bits & 4 ? kUnknown[bits % 5] : 0);
  const DWORD wc = (bits & 8 ? WC_COMPOSITECHECK : 0) | (bits & 16 ? WC_DISCARDNS | WC_SEPCHARS : 0) |
                   (bits & 32 ? WC_DEFAULTCHAR : 0) | (bits & 64 ? kUnknown[bits % 5] : 0);
  WCHAR wide[8];
  char narrow[8];
  if (mb) {
    SetLastError(0);
    Check(MultiByteToWideChar(cp, mb, text, n, wide, 8) == 0);
    Check(GetLastError() == ERROR_INVALID_FLAGS || GetLastError() == ERROR_INVALID_PARAMETER);
  }
  if (wc) {
    SetLastError(0);
    Check(WideCharToMultiByte(cp, wc, units, -1, narrow, 8, nullptr, nullptr) == 0);
    Check(GetLastError() == ERROR_INVALID_FLAGS || GetLastError() == ERROR_INVALID_PARAMETER);
  }
  // WC_ERR_INVALID_CHARS is for UTF-8 only; WC_NO_BEST_FIT_CHARS is what
  // always happens.
  if (Resolved(cp) != CP_UTF8 && IsValidCodePage(cp)) {
    SetLastError(0);
    Check(WideCharToMultiByte(cp, WC_ERR_INVALID_CHARS, units, -1, narrow, 8, nullptr, nullptr) == 0 &&
          GetLastError() == ERROR_INVALID_FLAGS);
    const int plain = WideCharToMultiByte(cp, 0, units, -1, nullptr, 0, nullptr, nullptr);
    Check(WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, units, -1, nullptr, 0, nullptr, nullptr) == plain);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const UINT cp = PickCodePage(data[0]);
  const std::uint8_t control = data[1];
  const std::uint8_t extra = data[2];
  const bool strict = (control & 1) != 0;
  const unsigned small = control >> 4;
  const char* text = reinterpret_cast<const char*>(data + 3);
  const int n = static_cast<int>(size - 3);
  // Bytes to UTF-16, with an explicit length and with the terminator form.
  const DWORD mbFlags = strict ? MB_ERR_INVALID_CHARS : ((control & 2) ? MB_PRECOMPOSED : 0);
  const std::u16string wide = Decode(cp, mbFlags, text, n, small);
  const std::string terminated(text, static_cast<std::size_t>(n));
  const std::u16string wideTerminated = Decode(cp, mbFlags, terminated.c_str(), -1, small);
  if (!wideTerminated.empty()) Check(wideTerminated.back() == 0);
  // UTF-16 to bytes from the input's own units, and back again.
  std::vector<WCHAR> units(static_cast<std::size_t>(n) / 2 + 1, 0);
  std::memcpy(units.data(), text, static_cast<std::size_t>(n) / 2 * 2);
  const bool utf8 = Resolved(cp) == CP_UTF8;
  const DWORD wcFlags = strict && utf8 ? WC_ERR_INVALID_CHARS : 0;
  if (n >= 2) Encode(cp, wcFlags, units.data(), n / 2, small, !utf8);
  Encode(cp, wcFlags, units.data(), -1, small, !utf8);
  // What decoded without error encodes and decodes to itself (default
  // characters decode to the same characters; UTF-8 is exact).
  if (!wide.empty() && (strict || utf8)) {
    const std::string bytes = Encode(cp, 0, wide.data(), static_cast<int>(wide.size()), 0, !utf8);
    Check(!bytes.empty());
    Check(Decode(cp, 0, bytes.data(), static_cast<int>(bytes.size()), 0) == wide);
  }

  if (n >= 2) CheckDefaults(cp, units.data(), n / 2, extra);
  CheckDefaults(cp, units.data(), -1, extra);
  CheckLeadBytes(cp, n > 0 ? data[3] : extra, n > 1 ? data[4] : 0);
  if (n > 0) CheckFlags(cp, extra, text, n, units.data());
  return 0;
}
