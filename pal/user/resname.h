// pal/user/resname.h - an ANSI resource name (an ordinal or CP_ACP text) as
// the wide name the W functions take, for the A entry points.
#pragma once

#include <cstdint>
#include <string>

#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/types.h"

namespace zrpal {

class WideResourceName {
 public:
  // An ordinal (upper bits zero) passes through; text is converted. Ok() is
  // false (last error set) when it cannot be.
  explicit WideResourceName(const char* name) {
    if ((reinterpret_cast<std::uintptr_t>(name) >> 16) == 0) {
      m_ordinal = reinterpret_cast<const WCHAR*>(name);
      return;
    }
    const int n = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (n <= 0) {
      m_ok = false;
      return;
    }
    try {
      m_text.resize(static_cast<std::size_t>(n));
    } catch (...) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      m_ok = false;
      return;
    }
    m_ok = MultiByteToWideChar(CP_ACP, 0, name, -1, m_text.data(), n) > 0;
    m_ordinal = nullptr;
  }
  bool Ok() const { return m_ok; }
  const WCHAR* Get() const { return m_ordinal ? m_ordinal : m_text.c_str(); }

 private:
  const WCHAR* m_ordinal = nullptr;
  std::u16string m_text;
  bool m_ok = true;
};

}  // namespace zrpal
