// Fuzzes the string-table rewriter over a small dictionary: the input is a
// string block. The rewritten block must hold its strings within the copy's
// size; a block whose strings all fit must keep their number.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/check.h"
#include "fuzz/translation_table.h"
#include "pal/security/security.h"
#include "translation/restrans.h"
#include "translation/table.h"

namespace {

using namespace zrpal;

using fuzz::Table;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  DWORD copySize = 0;
  void* copy = zr::TranslateStringTableBlock(Table(), data, static_cast<DWORD>(size),
                                             "x#3#1\xFD\xFD", &copySize);
  Check(copy != nullptr);
  const auto* units = static_cast<const WCHAR*>(copy);
  std::size_t i = 0;
  for (int s = 0; s < 16 && i < copySize / 2; ++s) i += 1 + units[i];
  Check(i * 2 <= copySize);
  LocalFree(copy);
  return 0;
}
