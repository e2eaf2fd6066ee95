// The chained hash map: hashing, identity by hash, lazy buckets, chain order,
// value disposal, the closed flag, and the shared map with its key
// enumerator.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

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

// All keys of a map in enumeration order.
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
  struct Case {
    const char* key;
    ULONG expected;
  } cases[] = {
      {"", 0u},
      {nullptr, 0u},  // a null key is the empty text
      {"a", 97u},
      {"ab", 97u * 257u + 98u},
      {"\xFF", 0xFFFFFFFFu},                              // -1
      {"\x80" "a", static_cast<ULONG>(-128 * 257 + 97)},  // a negative byte first
      {"a\x80", 97u * 257u - 128u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key ? c.key : "(null)");
    EXPECT_EQ(CTMapKeyTraits<const char*>::HashKey(c.key), c.expected);
  }
  // Long keys wrap in 32 bits.
  const char* text = "CLSID_OFSERVICECONTAINER and then some more text";
  EXPECT_EQ(CTMapKeyTraits<const char*>::HashKey(text), ReferenceHash(text));

  EXPECT_EQ(CTMapKeyTraits<int>::HashKey(-1), 0xFFFFFFFFu);
  EXPECT_EQ(CTMapKeyTraits<unsigned int>::HashKey(1234u), 1234u);
  // Wide keys hash UTF-16 units as unsigned values: U+00E9 adds 233 where
  // the byte 0xE9 of an 8-bit key adds -23.
  EXPECT_EQ(CTMapKeyTraits<const WCHAR*>::HashKey(u"a\u00E9"), 97u * 257u + 233u);
  EXPECT_EQ(CTMapKeyTraits<const char*>::HashKey("a\xE9"), 97u * 257u - 23u);
  // Parameter names ignore ASCII letter case only, hashing as lower case.
  using NameTraits = CTMapKeyTraits<const ULONG*>;
  EXPECT_EQ(NameTraits::HashKey(Name("Colour")), NameTraits::HashKey(Name("COLOUR")));
  EXPECT_EQ(NameTraits::HashKey(Name("Colour")), ReferenceHash("colour"));
  EXPECT_NE(NameTraits::HashKey(Name("\xC4")), NameTraits::HashKey(Name("\xE4")));
}

// Two different keys whose hashes are equal (found by search; 32-bit wrap
// makes such pairs) are one key.
TEST(TMap, KeysWithEqualHashesShareOneEntry) {
  const char* first = "rWHzDhn";
  const char* second = "pYVVfZp";
  ASSERT_EQ(ReferenceHash(first), ReferenceHash(second));

  CTMap<const char*, int> map;
  EXPECT_EQ(map.Set(first, 1), 1);
  EXPECT_EQ(map.Set(second, 2), 1);
  EXPECT_EQ(map.GetCount(), 1u);
  int value = 0;
  EXPECT_EQ(map.Lookup(first, value), 1);
  EXPECT_EQ(value, 2);
  // The entry now keeps a copy of the second key.
  EXPECT_STREQ(map.Find(first)->key, second);
  EXPECT_EQ(map.Remove(first), 1);
  EXPECT_EQ(map.Lookup(second, value), 0);
  EXPECT_EQ(map.GetCount(), 0u);
}

TEST(TMap, LookupSetRemove) {
  CTMap<const char*, int> map(17);
  EXPECT_EQ(map.GetHashTableSize(), 17u);
  // The map keeps its own copy of a key.
  char key[] = "name";
  ASSERT_EQ(map.Set(key, 7), 1);
  std::strcpy(key, "xxxx");
  EXPECT_STREQ(map.Find("name")->key, "name");
  EXPECT_EQ(map.Remove("name"), 1);

  int value = -1;
  EXPECT_EQ(map.Lookup("missing", value), 0);
  EXPECT_EQ(value, -1);  // unchanged on a miss
  EXPECT_EQ(map.Remove("missing"), 0);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(map.Set(std::to_string(i).c_str(), i), 1);
  for (int i = 0; i < 100; i += 2) EXPECT_EQ(map.Remove(std::to_string(i).c_str()), 1);
  EXPECT_EQ(map.GetCount(), 50u);
  for (int i = 0; i < 100; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(map.Lookup(std::to_string(i).c_str(), value), i % 2);
    if (i % 2) {
      EXPECT_EQ(value, i);
    }
  }
}

TEST(TMap, BucketsAreAllocatedByTheFirstOperation) {
  ProbeMap<int, int> map(31);
  EXPECT_EQ(map.Marker(), 0u);
  EXPECT_EQ(map.Buckets(), nullptr);
  EXPECT_EQ(map.GetChain(0), nullptr);
  int value = 0;
  EXPECT_EQ(map.Lookup(3, value), 0);
  EXPECT_EQ(map.Marker(), 6502u);
  EXPECT_NE(map.Buckets(), nullptr);

  try {
    CTMap<int, int> none(0);
    ADD_FAILURE() << "a map without buckets was made";
  } catch (const CXException& e) {
    EXPECT_EQ(e.GetCause(), static_cast<DWORD>(ZRCAUSE_INVALIDARG));
  }
}

TEST(TMap, EnumerationOrder) {
  // Three keys of one bucket come newest first; buckets ascend.
  CTMap<int, int> map(127);
  for (int key : {5, 5 + 127, 5 + 254, 40, 2}) map.Set(key, key * 10);
  EXPECT_EQ(Keys(map), (std::vector<int>{2, 5 + 254, 5 + 127, 5, 40}));
  // A replaced entry keeps its place in its chain.
  map.Set(5 + 127, 0);
  EXPECT_EQ(Keys(map), (std::vector<int>{2, 5 + 254, 5 + 127, 5, 40}));
  // Negative keys hash to their unsigned value.
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
    EXPECT_EQ(a->Count(), 2u);  // the map added its own
    IZRUnknown* found = nullptr;
    EXPECT_EQ(map.Lookup("a", found), 1);
    EXPECT_EQ(found, a);
    EXPECT_EQ(a->Count(), 2u);  // lookups borrow

    // Replacing a value by itself keeps it alive and counted once.
    EXPECT_EQ(map.Set("a", a), 1);
    EXPECT_EQ(a->Count(), 2u);

    // Replacing by another releases the old one.
    EXPECT_EQ(map.Set("a", b), 1);
    EXPECT_EQ(a->Count(), 1u);
    EXPECT_EQ(b->Count(), 2u);
    a->Release();  // the test's reference: a is gone
    EXPECT_EQ(destroyed, 1);

    EXPECT_EQ(map.Set("c", nullptr), 1);  // a null value is stored as such
    b->Release();                         // the map's reference remains
    EXPECT_EQ(destroyed, 1);
    auto* c = new CCounted(&destroyed);
    map.Set("c", c);
    c->Release();
    EXPECT_EQ(map.Remove("c"), 1);  // releases the map's reference: c is gone
    EXPECT_EQ(destroyed, 2);
  }
  EXPECT_EQ(destroyed, 3);  // the map's destruction released b
}

TEST(TMap, ValuePolicies) {
  // Pointers to other classes are owned: the map deletes them.
  int destroyed = 0;
  {
    CTMap<const char*, CRecord*> map;
    map.Set("one", new CRecord(&destroyed, 1));
    map.Set("two", new CRecord(&destroyed, 2));
    map.Set("one", new CRecord(&destroyed, 3));  // replaces and deletes record 1
    EXPECT_EQ(destroyed, 1);
    CRecord* found = nullptr;
    ASSERT_EQ(map.Lookup("one", found), 1);
    EXPECT_EQ(found->id, 3);
    map.Set("one", found);  // the same record again: kept, not deleted
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(map.Remove("two"), 1);
    EXPECT_EQ(destroyed, 2);
  }
  EXPECT_EQ(destroyed, 3);

  // A map may choose to borrow its records instead.
  destroyed = 0;
  CRecord kept(&destroyed), other(&destroyed);
  {
    CTMap<int, CRecord*, CTMapTraits<int, CRecord*, CTValuePlain<CRecord*>>> borrowed;
    borrowed.Set(1, &kept);
    borrowed.Set(1, &other);
    borrowed.Remove(1);
    borrowed.Set(2, &kept);
  }
  EXPECT_EQ(destroyed, 0);

  // Values held by value are destroyed with their entries.
  {
    CTMap<int, std::vector<CRecord>> values;
    std::vector<CRecord> v;
    v.reserve(2);
    v.emplace_back(&destroyed);
    v.emplace_back(&destroyed);
    values.Set(1, std::move(v));
    EXPECT_EQ(destroyed, 0);
    values.Set(1, {});  // replaced: both records destroyed
    EXPECT_EQ(destroyed, 2);
    std::vector<CRecord> w;
    w.emplace_back(&destroyed);
    values.Set(2, std::move(w));
  }
  EXPECT_EQ(destroyed, 3);
}

TEST(TMap, WideAndNameKeysAreCopied) {
  CTMap<const WCHAR*, int> wide;
  WCHAR source[] = u"Datei";
  wide.Set(source, 1);
  source[0] = u'X';
  EXPECT_TRUE(std::u16string(wide.Find(u"Datei")->key) == u"Datei");

  // Names differing in case are one key; the entry keeps the copy of the
  // name it was last set with.
  CTMap<const ULONG*, int> names;
  names.Set(Name("Colour"), 1);
  names.Set(Name("COLOUR"), 2);
  EXPECT_EQ(names.GetCount(), 1u);
  EXPECT_STREQ(reinterpret_cast<const char*>(names.Find(Name("colour"))->key), "COLOUR");
}

TEST(TMap, RemoveAllClosesWhileEmptying) {
  CTMap<const char*, IZRUnknown*> map;
  int destroyed = 0;
  int lateSet = -1, lateRemove = -1;
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
  EXPECT_EQ(map.GetCount(), 1u);
}

// A destroyed map refuses Set and Remove without touching its memory: the
// destructor runs, then the calls are made on the same storage.
TEST(TMap, ClosedMapRefusesWithoutTouchingMemory) {
  using Map = CTMap<const char*, IZRUnknown*>;
  alignas(Map) unsigned char storage[sizeof(Map)];
  int destroyed = 0;
  auto* held = new CCounted(&destroyed);
  Map* map = new (storage) Map(127);
  map->Set("held", held);
  held->Release();
  map->~Map();
  EXPECT_EQ(destroyed, 1);  // the destructor released the value

  unsigned char before[sizeof(Map)];
  std::memcpy(before, storage, sizeof storage);
  auto* late = new CCounted(&destroyed);
  EXPECT_EQ(map->Set("late", late), 0);
  EXPECT_EQ(late->Count(), 1u);  // not taken
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
  using CountedMap = CTMapEnum<const char*, CCounted*, const char*, CCounted*>;
  auto* map = new CountedMap;
  EXPECT_EQ(map->GetHashTableSize(), 127u);
  auto* value = new CCounted(&destroyed);
  map->Set("k", value);
  value->Release();
  auto mapCount = [map] {
    map->AddRef();
    return map->Release();
  };

  auto* e = new _CMapKeyEnum<const char*, CCounted*, const char*, CCounted*>(map);
  EXPECT_EQ(mapCount(), 2u);  // creator and enumerator
  // Each reference of the enumerator, one added by a query too, is also one
  // on the map.
  EXPECT_EQ(e->AddRef(), 2u);
  EXPECT_EQ(mapCount(), 3u);
  void* asked = nullptr;
  EXPECT_EQ(e->QueryInterface(typeid(CTEnum<const char*>), &asked), 1);
  EXPECT_EQ(asked, static_cast<void*>(static_cast<CTEnum<const char*>*>(e)));
  EXPECT_EQ(mapCount(), 4u);
  e->Release();
  EXPECT_EQ(e->Release(), 1u);

  EXPECT_EQ(map->Release(), 1u);  // the creator lets go; the enumerator holds it
  EXPECT_EQ(destroyed, 0);
  const char* key = nullptr;
  EXPECT_EQ(e->Next(1, &key, nullptr), 1);
  EXPECT_STREQ(key, "k");
  EXPECT_EQ(e->Release(), 0u);
  EXPECT_EQ(destroyed, 1);  // the map went with its last user
}

TEST(TMapEnum, NextSkipReset) {
  using SharedMap = CTMapEnum<const char*, int, const char*, int>;
  auto* map = new SharedMap;
  // "A6" and "B3" fall in the bucket of "z" (122 of 127); "a" in a lower one.
  for (const char* k : {"A6", "B3"}) ASSERT_EQ(ReferenceHash(k) % 127u, ReferenceHash("z") % 127u);
  for (const char* k : {"z", "a", "A6", "B3"}) map->Set(k, 0);
  auto* e = new _CMapKeyEnum<const char*, int, const char*, int>(map);
  map->Release();
  const std::vector<std::string> expected = {"a", "B3", "A6", "z"};
  zrtest::ExpectNextRules(e, expected);
  const char* items[8] = {};
  ULONG fetched = 99;
  // The last call ran into the end, which put the walk back at its start: the
  // next call begins a new pass.
  EXPECT_EQ(e->Next(1, items, &fetched), 1);
  EXPECT_EQ(items[0], expected[0]);
  EXPECT_EQ(e->Next(3, items, &fetched), 1);
  EXPECT_EQ(fetched, 3u);
  EXPECT_EQ(e->Next(1, items, &fetched), 0);  // stepping onto the end
  EXPECT_EQ(fetched, 0u);

  e->Reset();
  EXPECT_EQ(e->Skip(2), 1);
  EXPECT_EQ(e->Next(1, items, nullptr), 1);
  EXPECT_EQ(items[0], expected[2]);
  EXPECT_EQ(e->Skip(10), 0);  // past the end: stops there, no entry left
  e->Reset();
  EXPECT_EQ(e->Skip(0), 0);  // not yet on an entry
  EXPECT_EQ(e->Skip(4), 1);  // on the last entry
  EXPECT_EQ(e->Next(1, items, nullptr), 0);
  e->Release();
}

}  // namespace
