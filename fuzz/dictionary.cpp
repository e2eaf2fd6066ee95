// Reads fuzzer bytes as a translation dictionary: the first byte picks the
// fallback code page (the single-byte and double-byte pages the reader's
// lead bytes differ on), the rest is the file, served as a memory file.
// The line rules and escape processing run on the raw bytes too. Nothing
// may read out of bounds, hang or leak; escapes never lengthen a text;
// every pair read is found again by its source.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "translation/dictfile.h"
#include "translation/lookup.h"
#include "translation/table.h"

namespace {

constexpr UINT kCodePages[] = {0, 1251, 932, 936, 949, 950};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const UINT codePage = kCodePages[data[0] % std::size(kCodePages)];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  // The text rules on the raw bytes.
  const zr::CLeadBytes lead(codePage);
  zr::EscapeReport report;
  const std::string escaped = zr::EscapeText(bytes, lead, &report);
  Check(escaped.size() <= bytes.size());
  std::string_view text;
  if (zr::CountedLineText(bytes, lead, &text))
    Check(text.data() > bytes.data() && text.data() + text.size() <= bytes.data() + bytes.size());
  // The whole load, through a memory file over the bytes.
  std::string name = "fmem::" + std::to_string(reinterpret_cast<std::uintptr_t>(bytes.data())) +
                     "," + std::to_string(bytes.size());
  if (bytes.empty()) name = "fmem::1,0";
  const CXStringW path(name.c_str());
  zr::CTranslationTable table;
  Check(table.Load(path) == 1);
  Check(table.GetBucketCount() >= table.GetEntryCount() || table.GetEntryCount() <= 127);
  // Each pair's source finds an entry (its own, or the first with its hash).
  bool failed = false;
  IXFile* file = Fio_Open(path, 0);
  const auto lines = zr::ReadDictionaryLines(file, &failed);
  file->Release();
  Check(!failed);
  const zr::DictionaryText parsed = zr::ParseDictionary(lines, 0);
  for (const zr::DictionaryPair& pair : parsed.pairs) {
    const CXStringW wide = zr::WideOf(pair.source.c_str(), parsed.codePage);
    Check(table.Find(wide) != nullptr);
    zr::LookupW(&table, wide, false);
    WCHAR buffer[64] = u"x";
    zr::TranslateWithContextW(&table, buffer, 64, wide, false);
    char narrow[64] = "x";
    zr::TranslateWithContextA(&table, narrow, 64, pair.source.c_str(), false);
  }
  return 0;
}
