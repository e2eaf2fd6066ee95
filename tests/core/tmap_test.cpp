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
using zrtest::CRecord;
using zrtest::ReferenceHash;

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
  using Names = CTMapKeyTraits<const ULONG*>;
  const char* longKey = "CLSID_OFSERVICECONTAINER and then some more text";
  const struct {
    ULONG got, expected;
  } cases[] = {
      {Text::HashKey(""), 0u},
      {Text::HashKey(nullptr), 0u},  // the empty text
      {Text::HashKey("ab"), 97u * 257u + 98u},
      {Text::HashKey("\xFF"), 0xFFFFFFFFu},  // bytes are signed
      {Text::HashKey("\x80" "a"), static_cast<ULONG>(-128 * 257 + 97)},
      {Text::HashKey(longKey), ReferenceHash(longKey)},  // wraps in 32 bits
      {CTMapKeyTraits<int>::HashKey(-1), 0xFFFFFFFFu},
      {CTMapKeyTraits<unsigned int>::HashKey(1234u), 1234u},
      // UTF-16 units are unsigned: U+00E9 adds 233 where the byte 0xE9 adds -23.
      {CTMapKeyTraits<const WCHAR*>::HashKey(u"a\u00E9"), 97u * 257u + 233u},
      {Text::HashKey("a\xE9"), 97u * 257u - 23u},
      // Parameter names hash as ASCII lower case.
      {Names::HashKey(Name("COLOUR")), ReferenceHash("colour")},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].expected) << "case " << i;
  EXPECT_NE(Names::HashKey(Name("\xC4")), Names::HashKey(Name("\xE4")));  // ASCII only
}

TEST(TMap, KeysAreOwnCopiesIdentifiedByTheirHash) {
  CTMap<const char*, int> map(17);
  EXPECT_EQ(map.GetHashTableSize(), 17u);
  char key[] = "name";
  ASSERT_EQ(map.Set(key, 7), 1);
  std::strcpy(key, "xxxx");
  EXPECT_STREQ(map.Find("name")->key, "name");
  int value = -1;
  EXPECT_EQ(map.Lookup("missing", value), 0);
  EXPECT_EQ(value, -1);  // unchanged on a miss
  EXPECT_EQ(map.Remove("missing"), 0);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(map.Set(std::to_string(i).c_str(), i), 1);
  for (int i = 0; i < 100; i += 2) EXPECT_EQ(map.Remove(std::to_string(i).c_str()), 1);
  EXPECT_EQ(map.GetCount(), 51u);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(map.Lookup(std::to_string(i).c_str(), value), i % 2) << i;
    if (i % 2) {
      EXPECT_EQ(value, i) << i;
    }
  }

  // Different keys with equal hashes are one key; the entry keeps a copy of
  // the key it was last set with.
  const char* first = "rWHzDhn";
  const char* second = "pYVVfZp";
  ASSERT_EQ(ReferenceHash(first), ReferenceHash(second));
  CTMap<const char*, int> twins;
  twins.Set(first, 1);
  EXPECT_EQ(twins.Set(second, 2), 1);
  EXPECT_EQ(twins.GetCount(), 1u);
  EXPECT_STREQ(twins.Find(first)->key, second);
  EXPECT_EQ(twins.Remove(first), 1);
  EXPECT_EQ(twins.Lookup(second, value), 0);

  CTMap<const WCHAR*, int> wide;
  WCHAR source[] = u"Datei";
  wide.Set(source, 1);
  source[0] = u'X';
  EXPECT_TRUE(std::u16string(wide.Find(u"Datei")->key) == u"Datei");
  CTMap<const ULONG*, int> names;  // names differing in case are one key
  names.Set(Name("Colour"), 1);
  names.Set(Name("COLOUR"), 2);
  EXPECT_EQ(names.GetCount(), 1u);
  EXPECT_STREQ(reinterpret_cast<const char*>(names.Find(Name("colour"))->key), "COLOUR");
}

TEST(TMap, BucketsComeWithTheFirstOperationAndChainsKeepTheirOrder) {
  ProbeMap<int, int> map(127);
  EXPECT_EQ(map.Marker(), 0u);
  EXPECT_EQ(map.Buckets(), nullptr);
  EXPECT_EQ(map.GetChain(0), nullptr);
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

TEST(TMap, CountedValuesHoldOneReference) {
  int destroyed = 0;
  auto* a = new CCounted(&destroyed);
  auto* b = new CCounted(&destroyed);
  {
    CTMap<const char*, IZRUnknown*> map;
    EXPECT_EQ(map.Set("a", a), 1);
    IZRUnknown* found = nullptr;
    EXPECT_EQ(map.Lookup("a", found), 1);
    EXPECT_EQ(found, a);
    EXPECT_EQ(map.Set("a", a), 1);  // the same value again: counted once
    EXPECT_EQ(a->Count(), 2u);      // and lookups borrow
    EXPECT_EQ(map.Set("a", b), 1);  // releases the old value
    EXPECT_EQ(a->Count(), 1u);
    a->Release();
    EXPECT_EQ(map.Set("c", nullptr), 1);  // a null value is stored as such
    b->Release();                         // the map's reference remains
    auto* c = new CCounted(&destroyed);
    map.Set("c", c);
    c->Release();
    EXPECT_EQ(map.Remove("c"), 1);
    EXPECT_EQ(destroyed, 2);
  }
  EXPECT_EQ(destroyed, 3);
}

TEST(TMap, ValuePolicies) {
  // Pointers to other classes are owned: the map deletes them.
  int destroyed = 0;
  {
    CTMap<const char*, CRecord*> map;
    map.Set("one", new CRecord(&destroyed, 1));
    map.Set("two", new CRecord(&destroyed, 2));
    map.Set("one", new CRecord(&destroyed, 3));  // deletes record 1
    EXPECT_EQ(destroyed, 1);
    CRecord* found = nullptr;
    ASSERT_EQ(map.Lookup("one", found), 1);
    EXPECT_EQ(found->id, 3);
    map.Set("one", found);  // the same record again: kept
    EXPECT_EQ(map.Remove("two"), 1);
    EXPECT_EQ(destroyed, 2);
  }
  EXPECT_EQ(destroyed, 3);
  // A map may borrow its records instead.
  CRecord kept(&destroyed), other(&destroyed);
  {
    CTMap<int, CRecord*, CTMapTraits<int, CRecord*, CTValuePlain<CRecord*>>> borrowed;
    borrowed.Set(1, &kept);
    borrowed.Set(1, &other);
    borrowed.Remove(1);
    borrowed.Set(2, &kept);
  }
  EXPECT_EQ(destroyed, 3);
  // Values held by value are destroyed with their entries.
  {
    CTMap<int, std::vector<CRecord>> values;
    std::vector<CRecord> v;
    v.reserve(2);
    v.emplace_back(&destroyed);
    v.emplace_back(&destroyed);
    values.Set(1, std::move(v));
    values.Set(1, {});
    EXPECT_EQ(destroyed, 5);
    std::vector<CRecord> w;
    w.emplace_back(&destroyed);
    values.Set(2, std::move(w));
  }
  EXPECT_EQ(destroyed, 6);
}

TEST(TMap, RemoveAllClosesWhileEmptying) {
  CTMap<const char*, IZRUnknown*> map;
  int destroyed = 0, lateSet = -1, lateRemove = -1;
  auto* a = new CCounted(&destroyed);
  a->onDestroy = [&] {
    lateSet = map.Set("late", nullptr);
    lateRemove = map.Remove("b");
  };
  auto* b = new CCounted(&destroyed);
  map.Set("a", a);
  map.Set("b", b);
  a->Release();
  b->Release();
  map.RemoveAll();
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(lateSet, 0);  // refused while emptying
  EXPECT_EQ(lateRemove, 0);
  EXPECT_EQ(map.GetCount(), 0u);
  EXPECT_EQ(map.IsClosed(), 0);  // open again
  EXPECT_EQ(map.Set("again", nullptr), 1);
}

// A destroyed map refuses Set and Remove without touching its memory.
TEST(TMap, ClosedMapRefusesWithoutTouchingMemory) {
  using Map = CTMap<const char*, IZRUnknown*>;
  alignas(Map) unsigned char storage[sizeof(Map)];
  int destroyed = 0;
  auto* held = new CCounted(&destroyed);
  Map* map = new (storage) Map(127);
  map->Set("held", held);
  held->Release();
  map->~Map();
  EXPECT_EQ(destroyed, 1);
  unsigned char before[sizeof(Map)];
  std::memcpy(before, storage, sizeof storage);
  auto* late = new CCounted(&destroyed);
  EXPECT_EQ(map->Set("late", late), 0);
  EXPECT_EQ(late->Count(), 1u);
  EXPECT_EQ(map->Remove("held"), 0);
  IZRUnknown* found = late;
  EXPECT_EQ(map->Lookup("held", found), 0);
  EXPECT_EQ(found, late);
  map->RemoveAll();
  EXPECT_EQ(std::memcmp(before, storage, sizeof storage), 0);
  late->Release();
}

TEST(TMapEnum, EnumeratorKeepsTheMapAlive) {
  int destroyed = 0;
  auto* map = new CTMapEnum<const char*, CCounted*, const char*, CCounted*>;
  EXPECT_EQ(map->GetHashTableSize(), 127u);
  auto* value = new CCounted(&destroyed);
  map->Set("k", value);
  value->Release();
  const auto mapCount = [map] { return map->AddRef(), map->Release(); };
  auto* e = new _CMapKeyEnum<const char*, CCounted*, const char*, CCounted*>(map);
  EXPECT_EQ(mapCount(), 2u);  // creator and enumerator
  // Each reference of the enumerator, one added by a query too, is the map's.
  EXPECT_EQ(e->AddRef(), 2u);
  void* asked = nullptr;
  EXPECT_EQ(e->QueryInterface(typeid(CTEnum<const char*>), &asked), 1);
  EXPECT_EQ(asked, static_cast<void*>(static_cast<CTEnum<const char*>*>(e)));
  EXPECT_EQ(mapCount(), 4u);
  e->Release();
  EXPECT_EQ(e->Release(), 1u);
  EXPECT_EQ(map->Release(), 1u);  // the enumerator holds it now
  const char* key = nullptr;
  EXPECT_EQ(e->Next(1, &key, nullptr), 1);
  EXPECT_STREQ(key, "k");
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(e->Release(), 0u);
  EXPECT_EQ(destroyed, 1);
}

TEST(TMapEnum, NextSkipReset) {
  auto* map = new CTMapEnum<const char*, int, const char*, int>;
  // "A6" and "B3" fall in the bucket of "z" (122 of 127); "a" in a lower one.
  for (const char* k : {"A6", "B3"}) ASSERT_EQ(ReferenceHash(k) % 127u, ReferenceHash("z") % 127u);
  for (const char* k : {"z", "a", "A6", "B3"}) map->Set(k, 0);
  auto* e = new _CMapKeyEnum<const char*, int, const char*, int>(map);
  map->Release();
  const std::vector<std::string> expected = {"a", "B3", "A6", "z"};
  zrtest::ExpectNextRules(e, expected);
  const char* items[8] = {};
  ULONG fetched = 99;
  // Running into the end put the walk back at its start.
  EXPECT_EQ(e->Next(1, items, &fetched), 1);
  EXPECT_EQ(items[0], expected[0]);
  EXPECT_EQ(e->Next(3, items, &fetched), 1);
  EXPECT_EQ(e->Next(1, items, &fetched), 0);  // stepping onto the end
  EXPECT_EQ(fetched, 0u);
  e->Reset();
  EXPECT_EQ(e->Skip(2), 1);
  EXPECT_EQ(e->Next(1, items, nullptr), 1);
  EXPECT_EQ(items[0], expected[2]);
  EXPECT_EQ(e->Skip(10), 0);  // past the end: stops there
  e->Reset();
  EXPECT_EQ(e->Skip(0), 0);  // not yet on an entry
  EXPECT_EQ(e->Skip(4), 1);  // on the last entry
  EXPECT_EQ(e->Next(1, items, nullptr), 0);
  e->Release();
}

}  // namespace
