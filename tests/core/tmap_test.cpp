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
using zrtest::ReferenceHash;
using zrtest::CRecord;

// Exposes the protected fields that the record layout fixes.
template <class K, class V, class Tr = CTMapTraits<K, V>>
struct ProbeMap : CTMap<K, V, Tr> {
  using CTMap<K, V, Tr>::CTMap;
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

TEST(TMapHash, StringKeys) {
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
    if (c.key) {
      EXPECT_EQ(ReferenceHash(c.key), c.expected);
    }
  }
  // Long keys wrap in 32 bits.
  const std::string text = "CLSID_OFSERVICECONTAINER and then some more text";
  EXPECT_EQ(CTMapKeyTraits<const char*>::HashKey(text.c_str()), ReferenceHash(text));
}

TEST(TMapHash, OtherKeyTypes) {
  EXPECT_EQ(CTMapKeyTraits<int>::HashKey(-1), 0xFFFFFFFFu);
  EXPECT_EQ(CTMapKeyTraits<unsigned int>::HashKey(1234u), 1234u);
  // Wide keys hash UTF-16 units as unsigned values: U+00E9 adds 233 where
  // the byte 0xE9 of an 8-bit key adds -23.
  EXPECT_EQ(CTMapKeyTraits<const WCHAR*>::HashKey(u"a\u00E9"), 97u * 257u + 233u);
  EXPECT_EQ(CTMapKeyTraits<const char*>::HashKey("a\xE9"), 97u * 257u - 23u);
  // Parameter names ignore ASCII letter case only.
  using NameTraits = CTMapKeyTraits<const ULONG*>;
  auto name = [](const char* s) { return reinterpret_cast<const ULONG*>(s); };
  EXPECT_EQ(NameTraits::HashKey(name("Colour")), NameTraits::HashKey(name("COLOUR")));
  EXPECT_EQ(NameTraits::HashKey(name("Colour")), ReferenceHash("colour"));
  EXPECT_NE(NameTraits::HashKey(name("\xC4")), NameTraits::HashKey(name("\xE4")));
}

// Two different keys whose hashes are equal (found by search; 32-bit wrap
// makes such pairs) are one key.
TEST(TMap, KeysWithEqualHashesShareOneEntry) {
  const char* first = "rWHzDhn";
  const char* second = "pYVVfZp";
  ASSERT_STRNE(first, second);
  ASSERT_EQ(ReferenceHash(first), ReferenceHash(second));

  CTMap<const char*, int> map;
  EXPECT_EQ(map.Set(first, 1), 1);
  EXPECT_EQ(map.Set(second, 2), 1);
  EXPECT_EQ(map.GetCount(), 1u);
  int value = 0;
  EXPECT_EQ(map.Lookup(first, value), 1);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(map.Lookup(second, value), 1);
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
  EXPECT_NE(map.Find("name")->key, key);
  std::strcpy(key, "xxxx");
  EXPECT_STREQ(map.Find("name")->key, "name");
  EXPECT_EQ(map.Remove("name"), 1);

  int value = -1;
  EXPECT_EQ(map.Lookup("missing", value), 0);
  EXPECT_EQ(value, -1);  // unchanged on a miss
  EXPECT_EQ(map.Remove("missing"), 0);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(map.Set(std::to_string(i).c_str(), i), 1);
  EXPECT_EQ(map.GetCount(), 100u);
  for (int i = 0; i < 100; i += 2) EXPECT_EQ(map.Remove(std::to_string(i).c_str()), 1);
  EXPECT_EQ(map.GetCount(), 50u);
  for (int i = 0; i < 100; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(map.Lookup(std::to_string(i).c_str(), value), i % 2);
    if (i % 2) {
      EXPECT_EQ(value, i);
    }
  }
  EXPECT_EQ(Keys(map).size(), 50u);
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
}

TEST(TMap, ZeroBucketsIsRefused) {
  try {
    CTMap<int, int> map(0);
    FAIL() << "a map without buckets was made";
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
  const ULONG bucket = 0xFFFFFFFFu % 127u;
  ASSERT_NE(map.GetChain(bucket), nullptr);
  EXPECT_EQ(map.GetChain(bucket)->key, -1);
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

TEST(TMap, OwnedRecordsAreDeleted) {
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
    EXPECT_EQ(found->id, 3);
    EXPECT_EQ(map.Remove("two"), 1);
    EXPECT_EQ(destroyed, 2);
  }
  EXPECT_EQ(destroyed, 3);
}

TEST(TMap, ChosenPoliciesPerInstance) {
  int destroyed = 0;
  CRecord kept(&destroyed);
  {
    // This map only borrows its records.
    CTMap<int, CRecord*, CTMapTraits<int, CRecord*, CTValuePlain<CRecord*>>> borrowed;
    borrowed.Set(1, &kept);
    borrowed.Set(1, &kept);
    borrowed.Remove(1);
    borrowed.Set(2, &kept);
  }
  EXPECT_EQ(destroyed, 0);

  // Values held by value are destroyed with their entries.
  destroyed = 0;
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

TEST(TMap, WideAndNameKeys) {
  CTMap<const WCHAR*, int> wide;
  WCHAR source[] = u"Datei";
  wide.Set(source, 1);
  source[0] = u'X';
  int value = 0;
  EXPECT_EQ(wide.Lookup(u"Datei", value), 1);
  EXPECT_TRUE(std::u16string(wide.Find(u"Datei")->key) == u"Datei");

  CTMap<const ULONG*, int> names;
  auto name = [](const char* s) { return reinterpret_cast<const ULONG*>(s); };
  names.Set(name("Colour"), 1);
  names.Set(name("COLOUR"), 2);
  EXPECT_EQ(names.GetCount(), 1u);
  EXPECT_EQ(names.Lookup(name("colour"), value), 1);
  EXPECT_EQ(value, 2);
  // The entry keeps the copy of the name it was last set with.
  EXPECT_STREQ(reinterpret_cast<const char*>(names.Find(name("colour"))->key), "COLOUR");
  EXPECT_EQ(names.Remove(name("cOLOUR")), 1);
  EXPECT_EQ(names.GetCount(), 0u);
}

TEST(TMap, RemoveAllClosesWhileEmptying) {
  using Map = CTMap<const char*, IZRUnknown*>;
  Map map;
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
  EXPECT_EQ(lateSet, 0);     // refused while emptying
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

// The shared map and its key enumerator.
using SharedMap = CTMapEnum<const char*, int, const char*, int>;
using KeyEnum = _CMapKeyEnum<const char*, int, const char*, int>;

TEST(TMapEnum, EnumeratorKeepsTheMapAlive) {
  int destroyed = 0;
  using CountedMap = CTMapEnum<const char*, CCounted*, const char*, CCounted*>;
  auto* map = new CountedMap;
  EXPECT_EQ(map->GetHashTableSize(), 127u);
  auto* value = new CCounted(&destroyed);
  map->Set("k", value);
  value->Release();

  auto* e = new _CMapKeyEnum<const char*, CCounted*, const char*, CCounted*>(map);
  EXPECT_EQ(map->AddRef(), 3u);  // creator, enumerator, this call
  map->Release();
  // Each reference of the enumerator is also one on the map.
  EXPECT_EQ(e->AddRef(), 2u);
  EXPECT_EQ(map->AddRef(), 4u);
  map->Release();
  EXPECT_EQ(e->Release(), 1u);

  void* asked = nullptr;
  EXPECT_EQ(e->QueryInterface(typeid(CTEnum<const char*>), &asked), 1);
  EXPECT_EQ(asked, static_cast<void*>(static_cast<CTEnum<const char*>*>(e)));
  EXPECT_EQ(map->AddRef(), 4u);
  map->Release();
  e->Release();

  EXPECT_EQ(map->Release(), 1u);  // the creator lets go; the enumerator holds it
  EXPECT_EQ(destroyed, 0);
  const char* key = nullptr;
  EXPECT_EQ(e->Next(1, &key, nullptr), 1);
  EXPECT_STREQ(key, "k");
  EXPECT_EQ(e->Release(), 0u);
  EXPECT_EQ(destroyed, 1);  // the map went with its last user
}

TEST(TMapEnum, NextSkipReset) {
  auto* map = new SharedMap;
  // Three keys in one bucket and one in a lower bucket.
  const ULONG b = SharedMap::HashKey("z") % 127u;
  const ULONG lower = SharedMap::HashKey("a") % 127u;
  ASSERT_LT(lower, b);
  map->Set("z", 0);
  map->Set("a", 0);
  // Two more keys of z's bucket, found by trying two-character keys.
  std::vector<std::string> same;
  for (char c1 = '!'; c1 <= '~' && same.size() < 2; ++c1)
    for (char c2 = '!'; c2 <= '~' && same.size() < 2; ++c2) {
      const std::string k{c1, c2};
      if (SharedMap::HashKey(k.c_str()) % 127u == b) same.push_back(k);
    }
  ASSERT_EQ(same.size(), 2u);
  map->Set(same[0].c_str(), 0);
  map->Set(same[1].c_str(), 0);

  auto* e = new KeyEnum(map);
  map->Release();
  const std::vector<std::string> expected = {"a", same[1], same[0], "z"};

  const char* items[8] = {};
  ULONG fetched = 99;
  EXPECT_EQ(e->Next(0, items, &fetched), 0);  // count 0 delivers nothing
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(e->Next(1, items, nullptr), 1);  // fetched null still advances
  EXPECT_EQ(items[0], expected[0]);
  EXPECT_EQ(e->Next(8, items, &fetched), 1);
  ASSERT_EQ(fetched, 3u);
  for (ULONG i = 0; i < 3; ++i) EXPECT_EQ(items[i], expected[i + 1]);
  // That call ran into the end, which put the walk back at its start: the
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
