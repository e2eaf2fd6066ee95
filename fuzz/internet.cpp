// The Internet component's parsers of outside text: FTP LIST lines
// (internet/listing.h) and URLs (InternetCrackUrlW). Besides the sanitizers'
// findings, a parsed entry without a terminated name, a cracked part that
// does not lie inside the URL, or parts that overlap stop the run.
#include "pal/internet/internet.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/check.h"
#include "pal/files/find.h"
#include "pal/internet/listing.h"
#include "pal/wstr.h"

namespace {

void Listing(const std::uint8_t* data, std::size_t size) {
  const zrpal::FILETIME now{0x8A2C8000, 0x01DB4D0C};
  zrpal::WIN32_FIND_DATAW entry;
  if (!zrpal::internet::ParseListLine(reinterpret_cast<const char*>(data), size, now, &entry))
    return;
  const std::size_t n = zrpal::wcslen(entry.cFileName);
  Check(n > 0 && n < 260, "name");
}

void Crack(const std::uint8_t* data, std::size_t size) {
  std::u16string url;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    url += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  zrpal::URL_COMPONENTSW c{};
  c.dwStructSize = sizeof c;
  c.dwSchemeLength = c.dwHostNameLength = c.dwUserNameLength = c.dwPasswordLength =
      c.dwUrlPathLength = c.dwExtraInfoLength = 1;
  if (!zrpal::InternetCrackUrlW(url.c_str(), static_cast<zrpal::DWORD>(url.size()), 0, &c)) return;
  const char16_t* begin = url.c_str();
  const char16_t* end = begin + url.size();
  const char16_t* last = begin;  // parts come in order and do not overlap
  const std::pair<zrpal::LPWSTR, zrpal::DWORD> parts[] = {
      {c.lpszScheme, c.dwSchemeLength},     {c.lpszUserName, c.dwUserNameLength},
      {c.lpszPassword, c.dwPasswordLength}, {c.lpszHostName, c.dwHostNameLength},
      {c.lpszUrlPath, c.dwUrlPathLength},   {c.lpszExtraInfo, c.dwExtraInfoLength}};
  for (const auto& [p, n] : parts) {
    if (!p) continue;
    Check(p >= last && p + n <= end, "part outside the URL or out of order");
    last = p + n;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1)
    Listing(data + 1, size - 1);
  else
    Crack(data + 1, size - 1);
  return 0;
}
