// Fuzzes the string-table rewriter over a small dictionary: the input is a
// string block, and the rewritten block must hold its sixteen strings within
// the copy's size.
#include <cstddef>
#include <cstdint>

#include "fuzz/check.h"
#include "fuzz/translation_table.h"
#include "pal/security/security.h"
#include "translation/restrans.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zrpal::DWORD copySize = 0;
  void* copy = zr::TranslateStringTableBlock(fuzz::Table(), data, static_cast<zrpal::DWORD>(size),
                                             "x#3#1\xFD\xFD", &copySize);
  Check(copy != nullptr);
  const auto* units = static_cast<const zrpal::WCHAR*>(copy);
  std::size_t i = 0;
  for (int s = 0; s < 16 && i < copySize / 2; ++s) i += 1 + units[i];
  Check(i * 2 <= copySize);
  zrpal::LocalFree(copy);
  return 0;
}
