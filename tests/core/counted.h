// counted.h - helpers of the container and registry tests: objects that
// record what is done to them (references, queries, their destruction) and
// an independent statement of the string hash.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <typeinfo>

#include "zr/unknown.h"

namespace zrtest {

// The string hash written out independently of the library's: h * 257 plus
// each byte as a signed 8-bit value, in 64-bit arithmetic cut to 32 bits.
inline ULONG ReferenceHash(const std::string& s) {
  std::uint64_t h = 0;
  for (char c : s) h = (h * 257 + static_cast<std::int64_t>(static_cast<signed char>(c))) & 0xFFFFFFFFu;
  return static_cast<ULONG>(h);
}

// A reference-counted object that counts its destruction in an outside
// counter (so a test can see it is gone without touching it) and the calls
// that reach its slot 2 (AddRef) and slot 1 (QueryInterface).
class CCounted : public CZRUnknownImpl<IZRUnknown> {
 public:
  explicit CCounted(int* destroyed = nullptr) : m_destroyed(destroyed) {}
  ~CCounted() override {
    if (m_destroyed) ++*m_destroyed;
    if (onDestroy) onDestroy();
  }

  ULONG AddRef() override {
    ++addRefCalls;
    return CZRUnknownImpl<IZRUnknown>::AddRef();
  }
  int QueryInterface(const std::type_info& type, void** out) override {
    ++queryCalls;
    return CZRUnknownImpl<IZRUnknown>::QueryInterface(type, out);
  }

  ULONG Count() const { return m_cRef; }

  int addRefCalls = 0;
  int queryCalls = 0;
  // Runs at the end of the destructor (for re-entrancy tests).
  std::function<void()> onDestroy;

 private:
  int* m_destroyed;
};

// A plain record that counts its destruction.
struct CRecord {
  explicit CRecord(int* destroyed, int id = 0) : destroyed(destroyed), id(id) {}
  ~CRecord() {
    if (destroyed) ++*destroyed;
  }
  int* destroyed;
  int id;
};

}  // namespace zrtest
