// Module resources: the image this test program embeds (tests/data/
// resource_test.rc, compiled by zr_add_resources), string loading, language
// choice, handles, and images that do not check out; FormatMessageA over the
// system's error texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pal/last_error.h"
#include "pal/module.h"
#include "pal/posix/syscalls.h"
#include "pal/user/message.h"
#include "pal/user/resfile.h"
#include "pal/user/resource.h"

namespace {

using namespace zrpal;

// The 300-character string of the test resources: A to Z, repeated.
std::u16string LongString() {
  std::u16string s;
  for (int i = 0; i < 300; ++i) s += static_cast<char16_t>(u'A' + i % 26);
  return s;
}

TEST(Resources, LoadStringWCopiesTruncatesOrPoints) {
  // text: empty when absent or empty; error: the last error (ERROR_SUCCESS
  // also for a string absent from a present block).
  struct Case { UINT id; std::u16string text; DWORD error = ERROR_SUCCESS; };
  const Case cases[] = {
      {1, u"Hello"},  // English (US) comes before German
      {3, LongString()}, {17, u"emoji \U0001F600 pair"}, {65535, u"highest identifier"},
      {40, u"nur Deutsch"},  // only in German: the lowest language wins
      {0x10001, u"Hello"},   // the upper 16 bits are ignored
      {4, u""}, {5, u""},    // absent from a present block; present and empty
      {1000, u"", ERROR_RESOURCE_NAME_NOT_FOUND},  // no such block
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "string " << c.id);
    const int length = static_cast<int>(c.text.size());
    WCHAR buffer[512];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadStringW(nullptr, c.id, buffer, 512), length);
    EXPECT_EQ(std::u16string_view(buffer), c.text);
    EXPECT_EQ(GetLastError(), c.error);
    // A buffer of exactly the length plus the terminator, then one short.
    EXPECT_EQ(LoadStringW(nullptr, c.id, buffer, length + 1), length);
    EXPECT_EQ(std::u16string_view(buffer), c.text);
    if (length > 0) {
      EXPECT_EQ(LoadStringW(nullptr, c.id, buffer, length), length - 1);
      EXPECT_EQ(std::u16string_view(buffer), std::u16string_view(c.text).substr(0, length - 1));
    }
    EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), c.id, buffer, 1), 0);  // the program's handle is null's
    EXPECT_EQ(buffer[0], 0);
    // Without a buffer: a pointer into the module, the same every time, and
    // nothing stored for a missing string.
    const WCHAR* text = nullptr;
    EXPECT_EQ(LoadStringW(nullptr, c.id, reinterpret_cast<WCHAR*>(&text), 0), length);
    if (c.error != ERROR_SUCCESS) {
      EXPECT_EQ(text, nullptr);
    } else {
      ASSERT_NE(text, nullptr);
      EXPECT_EQ(std::u16string_view(text, static_cast<std::size_t>(length)), c.text);
    }
  }
  WCHAR wide[4];
  char narrow[4];
  EXPECT_FAILS_WITH(LoadStringW(nullptr, 1, wide, -1), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(LoadStringA(nullptr, 1, narrow, 0), ERROR_INVALID_PARAMETER);  // no pointer form
}

struct Found { std::string data; DWORD error = ERROR_SUCCESS; };

Found Find(LPCWSTR type, LPCWSTR name, WORD language, bool ex = true) {
  Found f;
  const HRSRC r = ex ? FindResourceExW(nullptr, type, name, language) : FindResourceW(nullptr, name, type);
  if (!r) return f.error = GetLastError(), f;
  const HGLOBAL loaded = LoadResource(nullptr, r);
  EXPECT_NE(loaded, nullptr);
  f.data.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(nullptr, r));
  return f;
}

TEST(Resources, FindsByOrdinalNameAndType) {
  const LPCWSTR rcdata = MAKEINTRESOURCEW(RT_RCDATA);
  const std::string_view config("\x01\x02\x03\x04\0\0xyz", 9);
  struct Case { LPCWSTR type; LPCWSTR name; std::string_view data; DWORD error; };
  const DWORD noName = ERROR_RESOURCE_NAME_NOT_FOUND, noType = ERROR_RESOURCE_TYPE_NOT_FOUND;
  const Case cases[] = {
      {rcdata, u"CONFIG", config, ERROR_SUCCESS}, {rcdata, u"config", config, ERROR_SUCCESS},
      {u"MYTYPE", MAKEINTRESOURCEW(77), "custom", ERROR_SUCCESS}, {u"mytype", u"#77", "custom", ERROR_SUCCESS},
      {rcdata, u"EMPTY", "", ERROR_SUCCESS},
      {rcdata, u"#103", "neutral", ERROR_SUCCESS}, {rcdata, u"CONFI", "", noName}, {rcdata, u"#70000", "", noName},
      {MAKEINTRESOURCEW(3 /* RT_ICON */), MAKEINTRESOURCEW(1), "", noType}, {u"OTHERTYPE", u"LOGO", "", noType},
      {nullptr, u"LOGO", "", noType},  // the leading empty record is no type 0
  };
  for (const Case& c : cases) {
    for (bool ex : {false, true}) {
      const Found f = Find(c.type, c.name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), ex);
      EXPECT_EQ(f.error, c.error);
      EXPECT_EQ(f.data, c.data);
    }
  }
}

TEST(Resources, EachModuleHasItsOwn) {
  void* loaded = sys::g.dlopen(ZR_RESOURCE_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(loaded, nullptr) << ZR_RESOURCE_MODULE;
  const HMODULE module = GetModuleHandleW(u"libzr_resource_module.so");
  ASSERT_NE(module, nullptr);
  WCHAR buffer[32];
  EXPECT_EQ(LoadStringW(module, 1, buffer, 32), 15);
  EXPECT_EQ(std::u16string_view(buffer), u"from the module");
  EXPECT_EQ(LoadStringW(nullptr, 1, buffer, 32), 5);
  EXPECT_EQ(std::u16string_view(buffer), u"Hello");
  EXPECT_FAILS_WITH(FindResourceW(module, u"CONFIG", MAKEINTRESOURCEW(RT_RCDATA)), ERROR_RESOURCE_TYPE_NOT_FOUND);
  // Handles that name no resource, modules without resources, and no module.
  const HRSRC config = FindResourceW(nullptr, u"CONFIG", MAKEINTRESOURCEW(RT_RCDATA));
  EXPECT_FAILS_WITH(LoadResource(nullptr, reinterpret_cast<HRSRC>(reinterpret_cast<char*>(config) + 4)),
                    ERROR_INVALID_HANDLE);
  EXPECT_FAILS_WITH(SizeofResource(nullptr, HRSRC{}), ERROR_INVALID_HANDLE);
  EXPECT_FAILS_WITH(FindResourceW(GetModuleHandleW(u"libc.so.6"), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(RT_STRING)),
                    ERROR_RESOURCE_DATA_NOT_FOUND);
  EXPECT_FAILS_WITH(LoadStringW(reinterpret_cast<HMODULE>(buffer), 1, buffer, 32), ERROR_MOD_NOT_FOUND);
  // Once the module is gone, its cached image is not used again.
  ASSERT_EQ(sys::g.dlclose(loaded), 0);
  EXPECT_FAILS_WITH(LoadStringW(module, 1, buffer, 32), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(LoadStringW(nullptr, 1, buffer, 32), 5);
}

// The image format at its parse boundary: a bound on the records, and places
// and sizes refused before anything is read (other malformed images are the
// fuzz target's).
TEST(ResourceImage, RecordCountIsBounded) {
  using namespace zrpal::res;
  // kMaxRecords empty records are accepted, one more is not.
  std::vector<DWORD> words((kMaxRecords + 1) * (kMinHeaderSize / 4), 0);
  for (std::size_t i = 0; i < words.size(); i += kMinHeaderSize / 4) {
    words[i + 1] = kMinHeaderSize;                   // HeaderSize
    words[i + 2] = words[i + 3] = 0x0000FFFF;        // type and name: ordinal 0
  }
  ResourceImage image;
  EXPECT_EQ(ResourceImage::Open(words.data(), kMaxRecords * kMinHeaderSize, &image), Status::kOk);
  EXPECT_EQ(image.RecordCount(), kMaxRecords);
  EXPECT_EQ(ResourceImage::Open(words.data(), words.size() * 4, &image), Status::kCorrupt);
  // Nothing at all is an image without resources; bad places, sizes and
  // header sizes are refused before anything is read.
  EXPECT_EQ(ResourceImage::Open(nullptr, 0, &image), Status::kOk);
  EXPECT_EQ(ResourceImage::Open(nullptr, 32, &image), Status::kCorrupt);
  EXPECT_EQ(ResourceImage::Open(reinterpret_cast<const BYTE*>(words.data()) + 2, 32, &image), Status::kCorrupt);
  EXPECT_EQ(ResourceImage::Open(words.data(), kMaxImageSize + 4, &image), Status::kCorrupt);
  words[1] = kMinHeaderSize + 2;  // a header that does not end on a DWORD
  EXPECT_EQ(ResourceImage::Open(words.data(), kMinHeaderSize + 2, &image), Status::kCorrupt);
  EXPECT_TRUE(image.Empty());
}

constexpr DWORD kSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

// The text for `code`, or "" after a failure.
std::string Message(DWORD code, DWORD flags = kSystem, DWORD language = 0) {
  char buf[512];
  const DWORD n = FormatMessageA(flags, nullptr, code, language, buf, sizeof buf, nullptr);
  if (n == 0) return "";
  EXPECT_EQ(std::strlen(buf), n);
  return buf;
}

// The mask leaves the line unbroken; the text and its terminator must fit.
TEST(FormatMessage, TheWidthMaskTheBufferRuleAndWhatItRefuses) {
  const std::string text = Message(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(text, std::string(std::strerror(ENOENT)) + "\r\n");  // the C library's text and a line end
  EXPECT_EQ(Message(ERROR_FILE_NOT_FOUND, kSystem | FORMAT_MESSAGE_MAX_WIDTH_MASK) + "\r\n", text);
  const auto len = static_cast<DWORD>(text.size());
  std::string buf(len + 1, '#');
  EXPECT_FAILS_WITH(FormatMessageA(kSystem, nullptr, ERROR_FILE_NOT_FOUND, 0, buf.data(), len, nullptr),
                    ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, ERROR_FILE_NOT_FOUND, 0, buf.data(), len + 1, nullptr), len);
  auto format = [&](DWORD flags, DWORD code, DWORD language) {
    return FormatMessageA(flags, nullptr, code, language, buf.data(), len + 1, nullptr);
  };
  // No source, the flags it does not do, a line width.
  for (DWORD flags : {DWORD{FORMAT_MESSAGE_IGNORE_INSERTS}, kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                      kSystem | FORMAT_MESSAGE_FROM_STRING, kSystem | FORMAT_MESSAGE_FROM_HMODULE,
                      kSystem | FORMAT_MESSAGE_ARGUMENT_ARRAY, kSystem | 80}) {
    EXPECT_FAILS_WITH(format(flags, ERROR_FILE_NOT_FOUND, 0), ERROR_INVALID_PARAMETER);
  }
  EXPECT_FAILS_WITH(format(kSystem, ERROR_FILE_NOT_FOUND, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT)),
                    ERROR_RESOURCE_LANG_NOT_FOUND);
  EXPECT_FAILS_WITH(format(kSystem, 0x7FFF1234u, 0), ERROR_MR_MID_NOT_FOUND);
  // Neutral languages are the one language there is.
  for (WORD language : {MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT)})
    EXPECT_EQ(Message(ERROR_FILE_NOT_FOUND, kSystem, language), Message(ERROR_FILE_NOT_FOUND));
}

}  // namespace
