// The chained hash map: hashing, identity by hash, lazy buckets, chain order,
// value disposal, the closed flag, and the shared map with its key
// enumerator.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "streams/stream_test_util.h"
#include "tests/core/counted.h"
#include "zr/exception.h"
#include "zr/tmap.h"

namespace {

using zrtest::CCounted;

// Exposes the protected fields that the record layout fixes.
template <class K, class V>
struct ProbeMap : CTMap<K, V> {
  using CTMap<K, V>::CTMap;
  ULONG Marker() const { return this->m_nAllocMarker; }
  const void* Buckets() const { return this->m_pHashTable; }
};

template <class Map>
auto Keys(const Map& map) {
  std::vector<decltype(Map::CAssoc::key)> keys;
  typename Map::CWalk walk;
  for (auto* e = walk.MoveNext(map); e; e = walk.MoveNext(map)) keys.push_back(e->key);
  return keys;
}

// A parameter name key: the pointer type only selects the name hashing.
const ULONG* Name(const char* s) { return reinterpret_cast<const ULONG*>(s); }

TEST(TMapHash, KeyTypes) {
  using Text = CTMapKeyTraits<const char*>;
  const struct { ULONG got, expected; } cases[] = {
      {Text::HashKey(""), 0u},
      {Text::HashKey(nullptr), 0u},  // the empty text
      {Text::HashKey("ab"), 0x61C3u},
      {Text::HashKey("\xFF"), 0xFFFFFFFFu},  // bytes are signed
      {Text::HashKey("a\xE9"), 0x614Au},     // 97 * 257 - 23
      {Text::HashKey("CLSID_OFSERVICECONTAINER and then some more text"), 0xB0C61AC5u},  // wraps in 32 bits
      {CTMapKeyTraits<int>::HashKey(-1), 0xFFFFFFFFu},
      // UTF-16 units are unsigned: U+00E9 adds 233.
      {CTMapKeyTraits<const WCHAR*>::HashKey(u"a\u00E9"), 0x624Au},
      // Parameter names hash as ASCII lower case, and ASCII only.
      {CTMapKeyTraits<const ULONG*>::HashKey(Name("COLOUR")), 0x0E314494u},
      {CTMapKeyTraits<const ULONG*>::HashKey(Name("\xC4")), 0xFFFFFFC4u},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].expected) << "case " << i;
}

TEST(TMap, BucketsComeWithTheFirstOperationAndChainsKeepTheirOrder) {
  ProbeMap<int, int> map(127);
  EXPECT_EQ(map.Marker(), 0u);
  EXPECT_EQ(map.Buckets(), nullptr);
  int value = 0;
  EXPECT_EQ(map.Lookup(3, value), 0);
  EXPECT_EQ(map.Marker(), 6502u);
  EXPECT_NE(map.Buckets(), nullptr);
  EXPECT_EQ(zrtest::CauseOf([] { CTMap<int, int> none(0); }), static_cast<DWORD>(ZRCAUSE_INVALIDARG));
  // Keys of one bucket come newest first; buckets ascend; a replaced entry
  // keeps its place; negative keys hash to their unsigned value.
  for (int key : {5, 5 + 127, 5 + 254, 40, 2}) map.Set(key, key * 10);
  map.Set(5 + 127, 0);
  EXPECT_EQ(Keys(map), (std::vector<int>{2, 5 + 254, 5 + 127, 5, 40}));
  map.Set(-1, 0);
  ASSERT_NE(map.GetChain(0xFFFFFFFFu % 127u), nullptr);
  EXPECT_EQ(map.GetChain(0xFFFFFFFFu % 127u)->key, -1);
}

// RemoveAll refuses Set and Remove while it empties the map (then opens it
// again); a destroyed map refuses them without touching its memory.
TEST(TMap, ClosedWhileEmptyingAndAfterDestruction) {
  using Map = CTMap<const char*, IZRUnknown*>;
  alignas(Map) unsigned char storage[sizeof(Map)];
  Map* map = new (storage) Map(127);
  int destroyed = 0, lateSet = -1, lateRemove = -1;
  auto* a = new CCounted(&destroyed);
  a->onDestroy = [&] { lateSet = map->Set("late", nullptr), lateRemove = map->Remove("b"); };
  map->Set("a", a);
  map->Set("b", nullptr);
  a->Release();
  map->RemoveAll();
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(lateSet, 0);
  EXPECT_EQ(lateRemove, 0);
  EXPECT_EQ(map->GetCount(), 0u);
  EXPECT_EQ(map->Set("held", nullptr), 1);
  map->~Map();
  unsigned char before[sizeof(Map)];
  std::memcpy(before, storage, sizeof storage);
  auto* late = new CCounted(&destroyed);
  EXPECT_EQ(map->Set("late", late), 0);
  EXPECT_EQ(late->Count(), 1u);
  EXPECT_EQ(map->Remove("held"), 0);
  map->RemoveAll();
  EXPECT_EQ(std::memcmp(before, storage, sizeof storage), 0);
  late->Release();
}

TEST(TMapEnum, EnumeratorKeepsTheMapAliveAndWalksIt) {
  int destroyed = 0;
  auto* map = new CTMapEnum<const char*, CCounted*, const char*, CCounted*>;
  EXPECT_EQ(map->GetHashTableSize(), 127u);
  auto* value = new CCounted(&destroyed);
  // "A6", "B3" and "z" share bucket 122 of 127; "a" is in bucket 97.
  for (const char* k : {"z", "a", "A6", "B3"}) map->Set(k, value);
  value->Release();
  const auto mapCount = [map] { return map->AddRef(), map->Release(); };
  auto* e = new _CMapKeyEnum<const char*, CCounted*, const char*, CCounted*>(map);
  EXPECT_EQ(mapCount(), 2u);  // creator and enumerator
  EXPECT_EQ(e->AddRef(), 2u);  // each reference of the enumerator is the map's
  EXPECT_EQ(mapCount(), 3u);
  e->Release();
  EXPECT_EQ(map->Release(), 1u);  // the enumerator holds it now

  const std::vector<std::string> expected = {"a", "B3", "A6", "z"};
  zrtest::ExpectNextRules(e, expected);
  const char* items[8] = {};
  e->Reset();
  EXPECT_EQ(e->Skip(2), 1);
  EXPECT_EQ(e->Next(1, items, nullptr), 1);
  EXPECT_EQ(items[0], expected[2]);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(e->Release(), 0u);
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
