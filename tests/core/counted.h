// counted.h - helpers of the object-model and container tests: objects that
// record what is done to them, an independent statement of the string hash,
// and the Next rules every enumerator follows.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <utility>
#include <vector>

#include "zr/tenum.h"
#include "zr/unknown.h"

namespace zrtest {

// The string hash written out independently of the library's: h * 257 plus
// each byte as a signed 8-bit value, in 64-bit arithmetic cut to 32 bits.
inline ULONG ReferenceHash(const std::string& s) {
  std::uint64_t h = 0;
  for (char c : s) h = (h * 257 + static_cast<std::int64_t>(static_cast<signed char>(c))) & 0xFFFFFFFFu;
  return static_cast<ULONG>(h);
}

// Two names `prefix`N with equal hashes (a birthday search).
inline std::pair<std::string, std::string> HashTwins(const std::string& prefix) {
  std::unordered_map<ULONG, std::string> seen;
  for (unsigned i = 0;; ++i) {
    std::string name = prefix + std::to_string(i);
    if (auto [it, added] = seen.emplace(ReferenceHash(name), name); !added) return {it->second, name};
  }
}

// Counts its destruction in an outside counter (seen without touching the
// object) and the calls reaching AddRef and QueryInterface; onDestroy runs
// at the end of the destructor, for re-entrancy tests.
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

// From the start of a walk over `all` (two items or more): count 0 delivers
// nothing, a null `fetched` still advances, more than remain gives the rest.
inline void ExpectNextRules(CTEnum<const char*>* e, const std::vector<std::string>& all) {
  const char* items[16] = {};
  ULONG fetched = 99;
  EXPECT_EQ(e->Next(0, items, &fetched), 0);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(e->Next(1, items, nullptr), 1);
  EXPECT_EQ(items[0], all[0]);
  EXPECT_EQ(e->Next(16, items, &fetched), 1);
  ASSERT_EQ(fetched, all.size() - 1);
  for (size_t i = 1; i < all.size(); ++i) EXPECT_EQ(items[i - 1], all[i]);
}

}  // namespace zrtest
