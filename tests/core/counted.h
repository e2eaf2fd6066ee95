// counted.h - helpers of the object-model, container and variant tests:
// objects that record what is done to them, two names of equal string hash,
// and the Next rules every enumerator follows.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "zr/tenum.h"
#include "zr/unknown.h"

namespace zrtest {

// Two names with the same string hash (0xF57DDFA5: h * 257 plus each byte).
inline constexpr const char* kHashTwins[2] = {"rWHzDhn", "pYVVfZp"};

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
