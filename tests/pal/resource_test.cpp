// Module resources: the image this test program embeds (tests/data/
// resource_test.rc, compiled by zr_add_resources), string loading, language
// choice, handles, and images that do not check out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pal/last_error.h"
#include "pal/module.h"
#include "pal/posix/syscalls.h"
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
      {2, u"Gr\u00FC\u00DFe, \u20AC \u2014 \u65E5\u672C\u8A9E"}, {3, LongString()}, {17, u"emoji \U0001F600 pair"},
      {15, u"last of block one"}, {16, u"first of block two"}, {65535, u"highest identifier"},
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
    buffer[0] = u'#';
    EXPECT_EQ(LoadStringW(nullptr, c.id, buffer, 1), 0);
    EXPECT_EQ(buffer[0], 0);
    // The module handle of the program is the same as null.
    EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), c.id, buffer, 512), length);

    // Without a buffer: a pointer into the module, the same every time, and
    // nothing stored for a missing string.
    const WCHAR *text = nullptr, *again = nullptr;
    EXPECT_EQ(LoadStringW(nullptr, c.id, reinterpret_cast<WCHAR*>(&text), 0), length);
    LoadStringW(nullptr, c.id, reinterpret_cast<WCHAR*>(&again), 0);
    EXPECT_EQ(text, again);
    if (c.error != ERROR_SUCCESS) {
      EXPECT_EQ(text, nullptr);
    } else {
      ASSERT_NE(text, nullptr);
      EXPECT_EQ(std::u16string_view(text, static_cast<std::size_t>(length)), c.text);
    }
  }
  WCHAR wide[4];
  char narrow[4];
  EXPECT_FAILS_WITH(LoadStringW(nullptr, 1, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(LoadStringW(nullptr, 1, wide, -1), ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(LoadStringA(nullptr, 1, narrow, 0), ERROR_INVALID_PARAMETER);  // no pointer form
  EXPECT_FAILS_WITH(LoadStringA(nullptr, 1, nullptr, 4), ERROR_INVALID_PARAMETER);
}

// LoadStringA converts with the ANSI code page, fixed per process: each page
// is tried in a fresh process, which exits with the first failing case.
struct AnsiCase { UINT id; int size; std::string_view expected; };

int FirstFailingLoadStringA(const std::vector<AnsiCase>& cases) {
  for (std::size_t i = 0; i < cases.size(); ++i) {
    char buffer[512];
    std::memset(buffer, '#', sizeof buffer);
    const int n = LoadStringA(nullptr, cases[i].id, buffer, cases[i].size);
    if (n != static_cast<int>(cases[i].expected.size()) || std::string_view(buffer) != cases[i].expected)
      return static_cast<int>(i) + 1;
  }
  return 0;
}

TEST(LoadStringAProcess, ConvertsWholeCharactersToTheAnsiCodePage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string first255;
  for (char16_t c : LongString().substr(0, 255)) first255 += static_cast<char>(c);
  const std::pair<const char*, std::vector<AnsiCase>> pages[] = {
      {"65001",
       {{2, 512, "Gr\xC3\xBC\xC3\x9F" "e, \xE2\x82\xAC \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
        {2, 4, "Gr"},  // room for 3 bytes: not half of the two bytes of u-umlaut
        {2, 5, "Gr\xC3\xBC"}, {17, 10, "emoji "}, {17, 11, "emoji \xF0\x9F\x98\x80"}, {1, 1, ""}, {1000, 8, ""},
        {5, 8, ""}}},
      {"1252", {{2, 512, "Gr\xFC\xDF" "e, \x80 \x97 ???"}, {17, 512, "emoji ?? pair"}, {3, 256, first255}}},
  };
  for (const auto& [acp, cases] : pages) {
    setenv("ZR_ACP", acp, 1);
    EXPECT_EXIT(std::exit(FirstFailingLoadStringA(cases)), testing::ExitedWithCode(0), "") << "code page " << acp;
  }
  unsetenv("ZR_ACP");
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
      {u"MyType", u"Logo", "named custom", ERROR_SUCCESS}, {rcdata, u"EMPTY", "", ERROR_SUCCESS},
      {rcdata, u"#103", "neutral", ERROR_SUCCESS}, {rcdata, u"CONFIGX", "", noName}, {rcdata, u"CONFI", "", noName},
      {rcdata, u"#70000", "", noName}, {rcdata, MAKEINTRESOURCEW(77), "", noName},
      {MAKEINTRESOURCEW(RT_DIALOG), MAKEINTRESOURCEW(1), "", noType}, {u"OTHERTYPE", u"LOGO", "", noType},
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

TEST(Resources, LanguageChoice) {
  struct Case { WORD name; WORD language; std::string_view data; };  // empty: ERROR_RESOURCE_LANG_NOT_FOUND
  const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
  const Case cases[] = {
      // 100 exists in en-GB and de-DE only: neutral gets the lowest language id.
      {100, neutral, "de"}, {100, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), "de"},
      {100, 0x0809, "gb"}, {100, 0x0407, "de"}, {100, 0x0409, ""}, {100, 0x0C09, ""},
      // 102 exists in English with the neutral sublanguage only; neutral finds it via the user's language.
      {102, 0x0809, "en"}, {102, neutral, "en"}, {102, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), "en"},
      {102, 0x0407, ""},
      // 103 exists neutral and in German.
      {103, 0x0407, "deutsch"}, {103, 0x0807, "neutral"}, {103, 0x040C, "neutral"}, {103, neutral, "neutral"},
      // 104: the language's neutral sublanguage comes before the neutral language.
      {104, 0x0807, "de-neutral"}, {104, 0x040C, "neutral"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "resource " << c.name << " language 0x" << std::hex << c.language);
    const Found f = Find(MAKEINTRESOURCEW(RT_RCDATA), MAKEINTRESOURCEW(c.name), c.language);
    EXPECT_EQ(f.data, c.data);
    EXPECT_EQ(f.error, c.data.empty() ? ERROR_RESOURCE_LANG_NOT_FOUND : ERROR_SUCCESS);
  }
}

TEST(Resources, HandlesAndModulesAreChecked) {
  const HRSRC config = FindResourceW(nullptr, u"CONFIG", MAKEINTRESOURCEW(RT_RCDATA));
  ASSERT_NE(config, nullptr);
  int local = 0;
  const auto inside = reinterpret_cast<HRSRC>(reinterpret_cast<char*>(config) + 4);
  for (HRSRC h : {HRSRC{}, reinterpret_cast<HRSRC>(&local), inside}) {
    EXPECT_FAILS_WITH(LoadResource(nullptr, h), ERROR_INVALID_HANDLE);
    EXPECT_FAILS_WITH(SizeofResource(nullptr, h), ERROR_INVALID_HANDLE);
  }
  const HGLOBAL data = LoadResource(nullptr, config);
  EXPECT_EQ(LockResource(data), data);
  EXPECT_EQ(FreeResource(data), FALSE);
  EXPECT_EQ(LockResource(nullptr), nullptr);

  // A module without resources, and a handle that is no module.
  const HMODULE libc = GetModuleHandleW(u"libc.so.6");
  ASSERT_NE(libc, nullptr);
  EXPECT_FAILS_WITH(FindResourceW(libc, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(RT_STRING)),
                    ERROR_RESOURCE_DATA_NOT_FOUND);
  WCHAR buffer[8] = {u'#'};
  EXPECT_FAILS_WITH(LoadStringW(libc, 1, buffer, 8), ERROR_RESOURCE_DATA_NOT_FOUND);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_FAILS_WITH(FindResourceW(reinterpret_cast<HMODULE>(&local), MAKEINTRESOURCEW(1),
                                  MAKEINTRESOURCEW(RT_STRING)),
                    ERROR_MOD_NOT_FOUND);
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

  // Once the module is gone, its cached image is not used again.
  ASSERT_EQ(sys::g.dlclose(loaded), 0);
  EXPECT_FAILS_WITH(LoadStringW(module, 1, buffer, 32), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(LoadStringW(nullptr, 1, buffer, 32), 5);
}

// Images the program pretends to export while a test replaces the loader's
// symbol lookup. They live in the program so that they belong to its module.
alignas(16) unsigned char g_fakeImage[64];
std::size_t g_fakeImageSize = 0;
bool g_fakeHasSize = true;

void* FakeDlsym(void* handle, const char* name) {
  if (std::strcmp(name, kResourceImageSymbol) == 0) return g_fakeImage;
  if (std::strcmp(name, kResourceImageSizeSymbol) == 0)
    return g_fakeHasSize ? &g_fakeImageSize : nullptr;
  return sys::Defaults().dlsym(handle, name);
}

TEST(Resources, CorruptImageIsRejected) {
  // An empty record whose header claims more bytes than the image has.
  std::memset(g_fakeImage, 0, sizeof g_fakeImage);
  const DWORD header[2] = {0, 0x20};
  std::memcpy(g_fakeImage, header, sizeof header);
  g_fakeImage[8] = g_fakeImage[9] = g_fakeImage[12] = g_fakeImage[13] = 0xFF;
  // Intact (just the empty record), cut inside the header, absurdly large,
  // and without a size to check against.
  struct Case { std::size_t size; bool hasSize; DWORD error; };
  const Case cases[] = {{0x20, true, ERROR_RESOURCE_TYPE_NOT_FOUND}, {0x1C, true, ERROR_INVALID_DATA},
                        {std::size_t{1} << 40, true, ERROR_INVALID_DATA}, {0x20, false, ERROR_INVALID_DATA}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size << (c.hasSize ? "" : ", no size symbol"));
    g_fakeImageSize = c.size;
    g_fakeHasSize = c.hasSize;
    ForgetResourceImages();
    {
      sys::ScopedSyscall guard(&sys::g.dlsym, FakeDlsym);
      EXPECT_FAILS_WITH(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(RT_STRING)), c.error);
      WCHAR buffer[8];
      EXPECT_FAILS_WITH(LoadStringW(nullptr, 1, buffer, 8), c.error);
    }
    // Cached until forgotten or until a module is unloaded.
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(RT_STRING)), nullptr);
    ForgetResourceImages();
    EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(RT_STRING)), nullptr);
  }
}

}  // namespace
