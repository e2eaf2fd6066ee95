// Fuzzes the resource image checker and the searches over checked images:
// whatever Open accepts must be walkable, searchable and consistent.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "pal/user/resfile.h"

namespace {

using namespace zrpal;
using namespace zrpal::res;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

const WCHAR* Ordinal(WORD n) { return reinterpret_cast<const WCHAR*>(std::uintptr_t{n}); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Images start on a DWORD boundary; the fuzzer's buffer need not.
  std::vector<DWORD> aligned(size / 4 + 1);
  std::memcpy(aligned.data(), data, size);
  ResourceImage image;
  if (ResourceImage::Open(aligned.data(), size, &image) != Status::kOk) {
    Check(image.Empty());
    return 0;
  }
  const WCHAR* names[] = {u"CONFIG", u"#1", u"a", u"MYTYPE"};
  image.ForEach([&](const ResourceRecord& record) {
    Check(record.DataSize() <= size);
    ResourceRecord again;
    Check(image.RecordAt(record.Start(), &again) && again.Data() == record.Data());
    const WORD language = record.Language();
    const WCHAR* type = record.Type().IsOrdinal() ? Ordinal(record.Type().Ordinal()) : u"MYTYPE";
    const WCHAR* name = record.Name().IsOrdinal() ? Ordinal(record.Name().Ordinal()) : u"CONFIG";
    for (WORD lang : {language, WORD{0}, WORD{0x0409}, WORD{0x0800}}) {
      ResourceRecord found;
      FindError error = FindError::kNone;
      if (image.Find(ResourceKey(type), ResourceKey(name), lang, &found, &error))
        Check(found.Data() >= reinterpret_cast<const BYTE*>(aligned.data()) &&
              found.DataSize() <= size);
    }
    for (const WCHAR* n : names) {
      ResourceRecord found;
      FindError error = FindError::kNone;
      image.Find(ResourceKey(type), ResourceKey(n), language, &found, &error);
    }
    if (record.Type().IsOrdinal() && record.Type().Ordinal() == kTypeString) {
      for (unsigned i = 0; i < kStringsPerBlock; ++i) {
        StringEntry entry{};
        if (FindStringInBlock(record.Data(), record.DataSize(), i, &entry))
          Check(reinterpret_cast<const BYTE*>(entry.text) + entry.length * 2u <=
                record.Data() + record.DataSize());
      }
    }
    return true;
  });
  return 0;
}
