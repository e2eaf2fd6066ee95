// A test fixture that runs its tests once in the "C" locale and once in a
// locale whose decimal point is a comma, set by the test process itself, to
// prove that reading and printing numbers ignore the process locale.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

namespace zrtest {

inline constexpr const char* kCommaLocale = "de_DE.UTF-8";

class NumericLocaleTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    m_saved = std::setlocale(LC_ALL, nullptr);
    const char* name = GetParam();
    ASSERT_NE(std::setlocale(LC_ALL, name), nullptr)
        << "the locale " << name << " is not installed (scripts/bootstrap generates it)";
    // The C library must now print what the locale says, or the test
    // proves nothing.
    char buf[16];
    std::snprintf(buf, sizeof buf, "%g", 0.5);
    const bool comma = std::strcmp(name, kCommaLocale) == 0;
    ASSERT_STREQ(buf, comma ? "0,5" : "0.5") << "the locale " << name << " is not in effect";
  }

  void TearDown() override { std::setlocale(LC_ALL, m_saved.c_str()); }

 private:
  std::string m_saved;
};

inline std::string LocaleTestName(const ::testing::TestParamInfo<const char*>& info) {
  return std::strcmp(info.param, kCommaLocale) == 0 ? "CommaLocale" : "CLocale";
}

}  // namespace zrtest

#define ZR_INSTANTIATE_LOCALES(suite)                                                          \
  INSTANTIATE_TEST_SUITE_P(Locales, suite, ::testing::Values("C", ::zrtest::kCommaLocale), \
                           ::zrtest::LocaleTestName)
