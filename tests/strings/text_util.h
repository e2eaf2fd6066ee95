// Helpers shared by the string tests: ASCII literals in either width, the
// buffer header in front of a string's characters, and typed-test plumbing.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "zr/xstring.h"

namespace strtest {

template <class S>
using UnitOf = std::conditional_t<std::is_same_v<S, CXString>, char, WCHAR>;

// An ASCII text in the unit type of S, alive for the full expression.
template <class S>
class T {
 public:
  using Unit = UnitOf<S>;
  explicit T(const char* ascii) {
    for (const char* p = ascii; *p; ++p) text_.push_back(static_cast<Unit>(static_cast<unsigned char>(*p)));
  }
  operator const Unit*() const { return text_.c_str(); }
  const Unit* get() const { return text_.c_str(); }

 private:
  std::basic_string<Unit> text_;
};

// The units as a std::string (wide units cut to their low byte: the tests
// compare ASCII text).
template <class Unit>
std::string Ascii(const Unit* p) {
  std::string out;
  for (; *p; ++p) out.push_back(static_cast<char>(*p));
  return out;
}
inline std::string Ascii(const CXString& s) { return Ascii(static_cast<const char*>(s)); }
inline std::string Ascii(const CXStringW& s) { return Ascii(static_cast<const WCHAR*>(s)); }

// The fields in front of the characters, read as plain bytes.
struct Header {
  std::int32_t refs, length, allocSize;
};
template <class Unit>
Header HeaderOf(const Unit* p) {
  Header h;
  std::memcpy(&h, reinterpret_cast<const char*>(p) - sizeof h, sizeof h);
  return h;
}
inline Header HeaderOf(const CXString& s) { return HeaderOf(static_cast<const char*>(s)); }
inline Header HeaderOf(const CXStringW& s) { return HeaderOf(static_cast<const WCHAR*>(s)); }
// Where the characters are: equal for strings that share a buffer.
inline const void* Chars(const CXString& s) { return static_cast<const char*>(s); }
inline const void* Chars(const CXStringW& s) { return static_cast<const WCHAR*>(s); }

// Reaches the protected members that the library's own code uses.
template <class S>
class Probe : public S {
 public:
  using S::S;
  using S::operator=;
  Probe() = default;
  Probe(const S& s) : S(s) {}
  using S::AllocBuffer, S::AssignCopy, S::ConcatCopy, S::ConcatCopyTo, S::GetAllocSize, S::ReallocBuffer;
};

using Widths = ::testing::Types<CXString, CXStringW>;

}  // namespace strtest

// Inside a typed test: S is the string class, Unit its character unit, Text
// an ASCII literal of that unit.
#define STRTEST_TYPES                               \
  using S = TypeParam;                              \
  using Unit [[maybe_unused]] = strtest::UnitOf<S>; \
  using Text [[maybe_unused]] = strtest::T<S>
