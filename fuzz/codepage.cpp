// Fuzzes MultiByteToWideChar and WideCharToMultiByte in every supported code
// page: size queries, exact and too-small buffers, the -1 form, the error
// flags, and the truncating conversion.
//
// Input: byte 0 picks the code page (or a pseudo code page), byte 1 the
// flags and a small buffer size, the rest is the text: bytes for the one
// direction, UTF-16 units (little-endian pairs) for the other.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "pal/codepage.h"
#include "pal/internal/codepage_table.h"
#include "pal/error.h"

namespace {

using namespace zrpal;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const UINT cp = PickCodePage(data[0]);
  const std::uint8_t control = data[1];
  const bool strict = (control & 1) != 0;
  const unsigned small = control >> 4;
  const char* text = reinterpret_cast<const char*>(data + 2);
  const int n = static_cast<int>(size - 2);

  // Bytes to UTF-16, with an explicit length and with the terminator form.
  const DWORD mbFlags = strict ? MB_ERR_INVALID_CHARS : ((control & 2) ? MB_PRECOMPOSED : 0);
  const std::u16string wide = Decode(cp, mbFlags, text, n, small);
  const std::string terminated(text, static_cast<std::size_t>(n));
  const std::u16string wideTerminated = Decode(cp, mbFlags, terminated.c_str(), -1, small);
  if (!wideTerminated.empty()) Check(wideTerminated.back() == 0);

  // UTF-16 to bytes from the input's own units, and back again.
  std::vector<WCHAR> units(static_cast<std::size_t>(n) / 2 + 1, 0);
  std::memcpy(units.data(), text, static_cast<std::size_t>(n) / 2 * 2);
  const UINT resolved = cp == CP_OEMCP ? GetOEMCP() : cp == CP_ACP || cp == CP_THREAD_ACP ? GetACP() : cp;
  const bool utf8 = resolved == CP_UTF8;
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
  return 0;
}
