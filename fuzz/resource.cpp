// Fuzzes the resource image checker, the searches over checked images, and
// the module-level functions over the same image: this program exports the
// fuzzer's bytes as its own resource image (the two symbols that
// cmake/ZrResources.cmake generates for real modules), so module lookup, the
// per-module image cache, FindResourceW/ExW, LoadResource, SizeofResource,
// LoadStringW/A and CXString(W)::Load all run over it. Whatever Open
// accepts must be walkable, searchable and consistent:
//  - every record is found again by its type, name (names also with their
//    ASCII case changed) and language, through the module, at its own data;
//  - LoadStringW's copy is the start of the string its pointer form gives;
//    LoadStringA's copy is the longest whole-character prefix of that
//    string's conversion that fits; CXString(W)::Load hold the whole
//    string up to its first zero unit;
//  - an image Open refuses fails every module call with ERROR_INVALID_DATA.
// The bytes after the image's end (byte 0 gives the image's length in
// 64-byte steps, 0 for all) are names to look up.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/module.h"
#include "pal/user/resfile.h"
#include "pal/user/resource.h"
#include "zr/xstring.h"

// The program's resource image: the fuzzer's bytes, copied in per input.
constexpr std::size_t kMaxImage = 64 * 1024;
extern "C" {
__attribute__((visibility("default"), used, aligned(16))) unsigned char _ZRResourceImage[kMaxImage];
__attribute__((visibility("default"), used)) std::size_t _ZRResourceImageSize = 0;
}

namespace {

using namespace zrpal;
using namespace zrpal::res;

const WCHAR* Ordinal(WORD n) { return reinterpret_cast<const WCHAR*>(std::uintptr_t{n}); }

// The identifier at `p` (an ordinal as 0xFFFF and the number, or a name of
// UTF-16LE units and a terminator) as a key string: "#n" style is not
// needed, ordinals become MAKEINTRESOURCEW pointers through `ordinal`.
const BYTE* ReadId(const BYTE* p, const BYTE* end, std::u16string* name, WORD* ordinal) {
  name->clear();
  *ordinal = 0;
  if (end - p >= 4 && p[0] == 0xFF && p[1] == 0xFF) {
    *ordinal = static_cast<WORD>(p[2] | p[3] << 8);
    return p + 4;
  }
  for (; end - p >= 2; p += 2) {
    const WCHAR u = static_cast<WCHAR>(p[0] | p[1] << 8);
    if (!u) return p + 2;
    name->push_back(u);
  }
  return end;
}

std::u16string SwapAsciiCase(std::u16string s) {
  for (WCHAR& c : s)
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) c = static_cast<WCHAR>(c ^ 0x20);
  return s;
}

// The strings of every string-table block through the module's functions.
void CheckStrings(HMODULE module, WORD block) {
  for (unsigned i = 0; i < kStringsPerBlock; ++i) {
    const UINT id = static_cast<UINT>((block - 1u) << 4 | i);
    const WCHAR* text = nullptr;
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0) continue;
    const std::u16string whole(text, static_cast<std::size_t>(length));
    // Copies of every size are the string's start, terminated.
    for (int room : {1, 2, length, length + 1, length + 7}) {
      std::vector<WCHAR> out(static_cast<std::size_t>(room) + 1, u'\x5A5A');
      const int got = LoadStringW(module, id, out.data(), room);
      Check(got == std::min(length, room - 1) && out[static_cast<std::size_t>(got)] == 0 &&
            out[static_cast<std::size_t>(room)] == u'\x5A5A');
      Check(std::u16string(out.data(), static_cast<std::size_t>(got)) == whole.substr(0, static_cast<std::size_t>(got)));
    }
    // The 8-bit copy: the longest whole-character prefix that fits.
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, length, converted.data(), bytes, nullptr, nullptr);
    for (int room : {1, 3, bytes, bytes + 1}) {
      if (room <= 0) continue;
      std::vector<char> out(static_cast<std::size_t>(room) + 1, 'Z');
      const int got = LoadStringA(module, id, out.data(), room);
      std::vector<char> want(static_cast<std::size_t>(room));
      const int prefix = room == 1 ? 0 : WideCharToMultiBytePrefix(CP_ACP, text, length, want.data(), room - 1);
      Check(got == prefix && out[static_cast<std::size_t>(got)] == 0 && out[static_cast<std::size_t>(room)] == 'Z');
      Check(std::memcmp(out.data(), want.data(), static_cast<std::size_t>(got)) == 0);
    }
    // The string classes hold the whole string up to its first zero.
    CXStringW wide;
    Check(wide.Load(module, id) == 1);
    Check(std::u16string(static_cast<const WCHAR*>(wide)) == std::u16string(whole.c_str()));
    CXString narrow;
    Check(narrow.Load(module, id) == 1);
    Check(std::string(static_cast<const char*>(narrow)) == std::string(converted.c_str()));
  }
}

// The module-level functions over the program's own image.
void CheckModule(const BYTE* image, std::size_t size, bool valid, const std::vector<std::u16string>& names) {
  std::memcpy(_ZRResourceImage, image, size);
  _ZRResourceImageSize = size;
  ForgetResourceImages();
  HMODULE self = GetModuleHandleW(nullptr);
  Check(self != nullptr);
  if (!valid) {
    SetLastError(0);
    Check(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(RT_STRING)) == nullptr &&
          GetLastError() == ERROR_INVALID_DATA);
    WCHAR out[4];
    Check(LoadStringW(self, 0, out, 4) == 0 && GetLastError() == ERROR_INVALID_DATA);
    return;
  }
  ResourceImage parsed;
  Check(ResourceImage::Open(_ZRResourceImage, size, &parsed) == Status::kOk);
  const BYTE* base = _ZRResourceImage;
  parsed.ForEach([&](const ResourceRecord& record) {
    const BYTE* end = base + size;
    std::u16string typeName, name;
    WORD typeOrdinal = 0, nameOrdinal = 0;
    const BYTE* p = ReadId(record.Start() + 8, end, &typeName, &typeOrdinal);
    ReadId(p, end, &name, &nameOrdinal);
    const WCHAR* type = record.Type().IsOrdinal() ? Ordinal(record.Type().Ordinal()) : typeName.c_str();
    // "#123" keys stand for ordinals, and an empty name is no key: such
    // names cannot be looked up as they are.
    const auto lookable = [](const std::u16string& n) { return !n.empty() && n[0] != u'#'; };
    if (!record.Type().IsOrdinal() && !lookable(typeName)) return true;
    if (!record.Name().IsOrdinal() && !lookable(name)) return true;
    const std::u16string swapped = SwapAsciiCase(name);
    for (const WCHAR* key : {record.Name().IsOrdinal() ? Ordinal(record.Name().Ordinal()) : name.c_str(),
                             record.Name().IsOrdinal() ? nullptr : swapped.c_str()}) {
      if (!key) continue;
      SetLastError(0);
      HRSRC found = FindResourceExW(self, type, key, record.Language());
      Check(found != nullptr);
      // The first record of that type, name and language is what is found.
      HGLOBAL loaded = LoadResource(self, found);
      Check(loaded != nullptr && LockResource(loaded) == loaded);
      Check(static_cast<const BYTE*>(loaded) >= base && static_cast<const BYTE*>(loaded) <= base + size);
      Check(SizeofResource(self, found) <= size);
      Check(FindResourceW(nullptr, key, type) != nullptr);
    }
    if (record.Type().IsOrdinal() && record.Type().Ordinal() == kTypeString && record.Name().IsOrdinal() &&
        record.Name().Ordinal() != 0)
      CheckStrings(self, record.Name().Ordinal());
    return true;
  });
  // Names from the input: whatever they are, found or not found loudly.
  for (const std::u16string& n : names) {
    for (const WCHAR* type : {MAKEINTRESOURCEW(RT_STRING), n.c_str()}) {
      SetLastError(0);
      HRSRC found = FindResourceW(self, n.c_str(), type);
      const DWORD error = GetLastError();
      Check(found != nullptr || error == ERROR_RESOURCE_TYPE_NOT_FOUND ||
            error == ERROR_RESOURCE_NAME_NOT_FOUND || error == ERROR_RESOURCE_LANG_NOT_FOUND ||
            error == ERROR_INVALID_PARAMETER);
      if (found) Check(LoadResource(self, found) != nullptr);
    }
  }
  // A handle that is no module.
  SetLastError(0);
  Check(FindResourceW(reinterpret_cast<HMODULE>(&parsed), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(RT_STRING)) ==
            nullptr &&
        GetLastError() == ERROR_MOD_NOT_FOUND);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* rawData, std::size_t rawSize) {
  if (rawSize < 1) return 0;
  // Byte 0: the image's length in 64-byte steps (0: all of the rest); the
  // bytes after the image are names to look up, split at zero units.
  const std::uint8_t* data = rawData + 1;
  const std::size_t rest = rawSize - 1;
  const std::size_t size = std::min({rawData[0] == 0 ? rest : std::size_t{rawData[0]} * 64, rest, kMaxImage});
  std::vector<std::u16string> lookups(1);
  for (std::size_t i = size; i + 1 < rest && lookups.size() < 8; i += 2) {
    const WCHAR u = static_cast<WCHAR>(data[i] | data[i + 1] << 8);
    if (u) lookups.back().push_back(u);
    else lookups.emplace_back();
  }
  // Images start on a DWORD boundary; the fuzzer's buffer need not.
  std::vector<DWORD> aligned(size / 4 + 1);
  std::memcpy(aligned.data(), data, size);
  ResourceImage image;
  if (ResourceImage::Open(aligned.data(), size, &image) != Status::kOk) {
    Check(image.Empty());
    CheckModule(reinterpret_cast<const BYTE*>(aligned.data()), size, false, lookups);
    return 0;
  }
  CheckModule(reinterpret_cast<const BYTE*>(aligned.data()), size, true, lookups);
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
