// Module resources: the image this test program embeds (tests/data/
// resource_test.rc, compiled by zr_add_resources), string loading, language
// choice, handles, and images that do not check out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/module.h"
#include "pal/posix/syscalls.h"
#include "pal/resource.h"

namespace {

using namespace zrpal;

// The 300-character string of the test resources: A to Z, repeated.
std::u16string LongString() {
  std::u16string s;
  for (int i = 0; i < 300; ++i) s += static_cast<char16_t>(u'A' + i % 26);
  return s;
}

struct StringCase {
  UINT id;
  std::u16string text;  // what LoadStringW gives; empty when absent or empty
  DWORD error;          // the last error when absent (ERROR_SUCCESS: present)
};

std::vector<StringCase> StringCases() {
  return {
      {1, u"Hello", ERROR_SUCCESS},  // English (US) comes before German
      {2, u"Gr\u00FC\u00DFe, \u20AC \u2014 \u65E5\u672C\u8A9E", ERROR_SUCCESS},
      {3, LongString(), ERROR_SUCCESS},
      {15, u"last of block one", ERROR_SUCCESS},
      {16, u"first of block two", ERROR_SUCCESS},
      {17, u"emoji \U0001F600 pair", ERROR_SUCCESS},
      {40, u"nur Deutsch", ERROR_SUCCESS},  // only in German: the lowest language wins
      {65535, u"highest identifier", ERROR_SUCCESS},
      {0x10001, u"Hello", ERROR_SUCCESS},  // the upper 16 bits are ignored
      {4, u"", ERROR_SUCCESS},             // absent from a present block
      {5, u"", ERROR_SUCCESS},             // present and empty
      {18, u"", ERROR_SUCCESS},
      {1000, u"", ERROR_RESOURCE_NAME_NOT_FOUND},  // no such block
  };
}

TEST(Resources, TheProgramExportsItsImage) {
  const HMODULE self = GetModuleHandleW(nullptr);
  ASSERT_NE(self, nullptr);
  EXPECT_NE(GetProcAddress(self, kResourceImageSymbol), nullptr);
  EXPECT_NE(GetProcAddress(self, kResourceImageSizeSymbol), nullptr);
}

TEST(Resources, LoadStringWCopiesAndTruncates) {
  for (const StringCase& c : StringCases()) {
    SCOPED_TRACE(testing::Message() << "string " << c.id);
    const int length = static_cast<int>(c.text.size());
    WCHAR buffer[512];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadStringW(nullptr, c.id, buffer, 512), length);
    EXPECT_EQ(std::u16string_view(buffer), c.text);
    if (c.error != ERROR_SUCCESS) {
      EXPECT_EQ(GetLastError(), c.error);
    }
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
  }
}

TEST(Resources, LoadStringWWithoutBufferGivesThePointer) {
  for (const StringCase& c : StringCases()) {
    SCOPED_TRACE(testing::Message() << "string " << c.id);
    const WCHAR* text = nullptr;
    const int length = LoadStringW(nullptr, c.id, reinterpret_cast<WCHAR*>(&text), 0);
    EXPECT_EQ(length, static_cast<int>(c.text.size()));
    if (c.error == ERROR_SUCCESS) {
      ASSERT_NE(text, nullptr);
      EXPECT_EQ(std::u16string_view(text, static_cast<std::size_t>(length)), c.text);
    } else {
      EXPECT_EQ(text, nullptr) << "nothing is stored for a missing string";
    }
  }
  // The pointer stays the same: it points into the module, not a copy.
  const WCHAR* first = nullptr;
  const WCHAR* second = nullptr;
  LoadStringW(nullptr, 1, reinterpret_cast<WCHAR*>(&first), 0);
  LoadStringW(nullptr, 1, reinterpret_cast<WCHAR*>(&second), 0);
  EXPECT_EQ(first, second);
}

TEST(Resources, LongStringNeedsASecondAttempt) {
  // What the string classes do: a buffer of 256 units first, then 512.
  WCHAR buffer[512];
  EXPECT_EQ(LoadStringW(nullptr, 3, buffer, 256), 255);
  EXPECT_EQ(LoadStringW(nullptr, 3, buffer, 512), 300);
  EXPECT_EQ(std::u16string_view(buffer), LongString());
}

TEST(Resources, LoadStringBadArguments) {
  WCHAR wide[4];
  char narrow[4];
  EXPECT_EQ(LoadStringW(nullptr, 1, nullptr, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(LoadStringW(nullptr, 1, wide, -1), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(LoadStringA(nullptr, 1, narrow, 0), 0);  // no pointer form
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(LoadStringA(nullptr, 1, nullptr, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// LoadStringA converts with the ANSI code page, which is fixed per process:
// each page is tried in a fresh run of the test program.
class LoadStringAProcess : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
  void TearDown() override { unsetenv("ZR_ACP"); }
};

// Exits 0 when LoadStringA(id) with `size` gives `expected`.
void ExpectLoadStringA(UINT id, int size, std::string_view expected) {
  char buffer[512];
  std::memset(buffer, '#', sizeof buffer);
  const int n = LoadStringA(nullptr, id, buffer, size);
  std::exit(n == static_cast<int>(expected.size()) && std::string_view(buffer) == expected ? 0 : 1);
}

TEST_F(LoadStringAProcess, Utf8) {
  setenv("ZR_ACP", "65001", 1);
  const std::string_view greeting = "Gr\xC3\xBC\xC3\x9F" "e, \xE2\x82\xAC \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
  EXPECT_EXIT(ExpectLoadStringA(2, 512, greeting), testing::ExitedWithCode(0), "");
  // Room for 3 bytes: "Gr" and not half of the two bytes of u-umlaut.
  EXPECT_EXIT(ExpectLoadStringA(2, 4, "Gr"), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ExpectLoadStringA(2, 5, "Gr\xC3\xBC"), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ExpectLoadStringA(17, 10, "emoji "), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ExpectLoadStringA(17, 11, "emoji \xF0\x9F\x98\x80"), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ExpectLoadStringA(1, 1, ""), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ExpectLoadStringA(1000, 8, ""), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ExpectLoadStringA(5, 8, ""), testing::ExitedWithCode(0), "");
}

TEST_F(LoadStringAProcess, Windows1252) {
  setenv("ZR_ACP", "1252", 1);
  EXPECT_EXIT(ExpectLoadStringA(2, 512, "Gr\xFC\xDF" "e, \x80 \x97 ???"),
              testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ExpectLoadStringA(17, 512, "emoji ? pair"), testing::ExitedWithCode(0), "");
  std::string first255;
  for (char16_t c : LongString().substr(0, 255)) first255 += static_cast<char>(c);
  EXPECT_EXIT(ExpectLoadStringA(3, 256, first255),
              testing::ExitedWithCode(0), "");
}

struct Found {
  std::string data;
  DWORD error = ERROR_SUCCESS;
};

Found Find(LPCWSTR type, LPCWSTR name, WORD language, bool ex = true) {
  Found f;
  const HRSRC r = ex ? FindResourceExW(nullptr, type, name, language)
                     : FindResourceW(nullptr, name, type);
  if (!r) {
    f.error = GetLastError();
    return f;
  }
  const HGLOBAL loaded = LoadResource(nullptr, r);
  EXPECT_NE(loaded, nullptr);
  const DWORD size = SizeofResource(nullptr, r);
  f.data.assign(static_cast<const char*>(LockResource(loaded)), size);
  return f;
}

TEST(Resources, FindsByOrdinalNameAndType) {
  const LPCWSTR rcdata = MAKEINTRESOURCEW(RT_RCDATA);
  struct Case {
    LPCWSTR type;
    LPCWSTR name;
    std::string_view data;
    DWORD error;
  };
  const Case cases[] = {
      {rcdata, u"CONFIG", std::string_view("\x01\x02\x03\x04\0\0xyz", 9), ERROR_SUCCESS},
      {rcdata, u"config", std::string_view("\x01\x02\x03\x04\0\0xyz", 9), ERROR_SUCCESS},
      {u"MYTYPE", MAKEINTRESOURCEW(77), "custom", ERROR_SUCCESS},
      {u"mytype", u"#77", "custom", ERROR_SUCCESS},
      {u"MyType", u"Logo", "named custom", ERROR_SUCCESS},
      {rcdata, u"EMPTY", "", ERROR_SUCCESS},
      {rcdata, u"#103", "neutral", ERROR_SUCCESS},
      {rcdata, u"CONFIGX", "", ERROR_RESOURCE_NAME_NOT_FOUND},
      {rcdata, u"CONFI", "", ERROR_RESOURCE_NAME_NOT_FOUND},
      {rcdata, u"#", "", ERROR_RESOURCE_NAME_NOT_FOUND},
      {rcdata, u"#70000", "", ERROR_RESOURCE_NAME_NOT_FOUND},
      {rcdata, MAKEINTRESOURCEW(77), "", ERROR_RESOURCE_NAME_NOT_FOUND},
      {MAKEINTRESOURCEW(RT_DIALOG), MAKEINTRESOURCEW(1), "", ERROR_RESOURCE_TYPE_NOT_FOUND},
      {u"OTHERTYPE", u"LOGO", "", ERROR_RESOURCE_TYPE_NOT_FOUND},
      {nullptr, u"LOGO", "", ERROR_RESOURCE_TYPE_NOT_FOUND},
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
  const LPCWSTR rcdata = MAKEINTRESOURCEW(RT_RCDATA);
  struct Case {
    WORD name;
    WORD language;
    std::string_view data;  // empty: ERROR_RESOURCE_LANG_NOT_FOUND
  };
  const Case cases[] = {
      // 100 exists in en-GB and de-DE only.
      {100, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), "de"},  // the lowest language id
      {100, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), "de"},
      {100, 0x0809, "gb"},
      {100, 0x0407, "de"},
      {100, 0x0409, ""},
      {100, 0x0C09, ""},
      // 102 exists in English with the neutral sublanguage only.
      {102, 0x0809, "en"},
      {102, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), "en"},  // via the user's language
      {102, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), "en"},
      {102, 0x0407, ""},
      // 103 exists neutral and in German.
      {103, 0x0407, "deutsch"},
      {103, 0x0807, "neutral"},
      {103, 0x040C, "neutral"},
      {103, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), "neutral"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "resource " << c.name << " language 0x" << std::hex << c.language);
    const Found f = Find(rcdata, MAKEINTRESOURCEW(c.name), c.language);
    EXPECT_EQ(f.data, c.data);
    EXPECT_EQ(f.error, c.data.empty() ? ERROR_RESOURCE_LANG_NOT_FOUND : ERROR_SUCCESS);
  }
  // String tables follow the same rules: block 1 in German on request.
  const HRSRC german = FindResourceExW(nullptr, MAKEINTRESOURCEW(RT_STRING), MAKEINTRESOURCEW(1),
                                       MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT));
  ASSERT_NE(german, nullptr);
  const auto* block = static_cast<const char16_t*>(LockResource(LoadResource(nullptr, german)));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[0], 0);  // string 0: absent
  EXPECT_EQ(std::u16string_view(block + 2, block[1]), u"Hallo");
}

TEST(Resources, HandlesAreChecked) {
  const HRSRC config = FindResourceW(nullptr, u"CONFIG", MAKEINTRESOURCEW(RT_RCDATA));
  ASSERT_NE(config, nullptr);
  int local = 0;
  const HRSRC bogus[] = {nullptr, reinterpret_cast<HRSRC>(&local),
                         reinterpret_cast<HRSRC>(reinterpret_cast<char*>(config) + 4)};
  for (HRSRC h : bogus) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadResource(nullptr, h), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SizeofResource(nullptr, h), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  const HGLOBAL data = LoadResource(nullptr, config);
  EXPECT_EQ(LockResource(data), data);
  EXPECT_EQ(FreeResource(data), FALSE);
  EXPECT_EQ(LockResource(nullptr), nullptr);
}

TEST(Resources, ModulesWithoutResources) {
  const HMODULE libc = GetModuleHandleW(u"libc.so.6");
  ASSERT_NE(libc, nullptr);
  EXPECT_EQ(FindResourceW(libc, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(RT_STRING)), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_DATA_NOT_FOUND);
  WCHAR buffer[8] = {u'#'};
  EXPECT_EQ(LoadStringW(libc, 1, buffer, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_DATA_NOT_FOUND);
  EXPECT_EQ(buffer[0], 0);

  int local = 0;
  const auto notAModule = reinterpret_cast<HMODULE>(&local);
  EXPECT_EQ(FindResourceW(notAModule, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(RT_STRING)), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
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
  EXPECT_EQ(FindResourceW(module, u"CONFIG", MAKEINTRESOURCEW(RT_RCDATA)), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);

  // Once the module is gone, its cached image is not used again.
  ASSERT_EQ(sys::g.dlclose(loaded), 0);
  EXPECT_EQ(LoadStringW(module, 1, buffer, 32), 0);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
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
  struct Case {
    std::size_t size;
    bool hasSize;
    DWORD error;
  };
  const Case cases[] = {
      {0x20, true, ERROR_RESOURCE_TYPE_NOT_FOUND},  // intact: just the empty record
      {0x1C, true, ERROR_INVALID_DATA},             // cut inside the header
      {0x30, true, ERROR_INVALID_DATA},             // a second record of zeros
      {std::size_t{1} << 40, true, ERROR_INVALID_DATA},
      {0x20, false, ERROR_INVALID_DATA},            // no size to check against
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size << (c.hasSize ? "" : ", no size symbol"));
    g_fakeImageSize = c.size;
    g_fakeHasSize = c.hasSize;
    ForgetResourceImages();
    {
      sys::ScopedSyscall guard(&sys::g.dlsym, FakeDlsym);
      EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(RT_STRING)), nullptr);
      EXPECT_EQ(GetLastError(), c.error);
      WCHAR buffer[8];
      EXPECT_EQ(LoadStringW(nullptr, 1, buffer, 8), 0);
      EXPECT_EQ(GetLastError(), c.error);
    }
    // Cached until forgotten or until a module is unloaded.
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(RT_STRING)), nullptr);
    ForgetResourceImages();
    EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(RT_STRING)), nullptr);
  }
}

}  // namespace
