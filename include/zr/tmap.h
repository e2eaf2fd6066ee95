// tmap.h - CTMap, the chained hash map of the library; its key and value
// traits; CTMapEnum, the reference-counted map that enumerators share; and
// _CMapKeyEnum, the enumerator of its keys.
//
// Keys are identified by their 32-bit hash alone: two keys with the same hash
// are the same key, and lookups never compare key text. String keys hash as
// h = h * 257 + c over their bytes, each byte taken as a signed 8-bit value,
// in unsigned 32-bit arithmetic; integer keys hash to their own value. The
// bucket of a key is hash % bucket count. The bucket count is fixed at
// construction (no rehashing); the bucket array is allocated by the first
// operation. Chains grow at the head, so an enumeration (buckets in
// ascending order, each chain from its head) meets the newest entry of a
// bucket first.
//
// Destroying a map sets its closed flag before anything is freed; from then
// on Set and Remove answer 0 and Lookup finds nothing, without touching
// memory, which keeps late calls during the library's static destruction
// harmless (a map in static storage is constructed in place by a start-up
// step and destroyed by its shutdown step).
//
// No map takes a lock: the owner serialises access. Entries, key copies and
// the bucket array come from the global operator new; failure throws
// CXBadAlloc (zr/exception.h) and leaves the map as it was.
#pragma once

#include <cassert>
#include <string>
#include <type_traits>
#include <utility>

#include "zr/exception.h"
#include "zr/tenum.h"
#include "zr/unknown.h"
#include "zr/zrtypes.h"

namespace zr {

// The string hash of the maps: over the bytes up to the terminator, each a
// signed 8-bit value; a null text hashes as the empty text (0).
constexpr ULONG HashText(const char* text) {
  ULONG h = 0;
  if (text)
    for (; *text; ++text) h = h * 257u + static_cast<ULONG>(static_cast<signed char>(*text));
  return h;
}

// The same over UTF-16 code units, each taken as an unsigned 16-bit value.
constexpr ULONG HashText(const WCHAR* text) {
  ULONG h = 0;
  if (text)
    for (; *text; ++text) h = h * 257u + static_cast<ULONG>(*text);
  return h;
}

// The same over the bytes with ASCII letters lowered first (the "C"
// locale's tolower; other bytes, negative ones included, are unchanged).
constexpr ULONG HashTextNoCase(const char* text) {
  ULONG h = 0;
  if (text) {
    for (; *text; ++text) {
      signed char c = static_cast<signed char>(*text);
      if (c >= 'A' && c <= 'Z') c = static_cast<signed char>(c - 'A' + 'a');
      h = h * 257u + static_cast<ULONG>(c);
    }
  }
  return h;
}

}  // namespace zr

// Key traits: HashKey, CopyKey (the map's own copy of a key) and FreeKey.
// Declared for the key types the library uses; a map with another key type,
// or another hash for one of these, passes its own traits (see CTMapTraits).
template <class K>
struct CTMapKeyTraits;

// Text keys: the map keeps a copy of length + 1 bytes. A null key is the
// empty text.
template <>
struct CTMapKeyTraits<const char*> {
  static constexpr ULONG HashKey(const char* key) { return zr::HashText(key); }
  static const char* CopyKey(const char* key) { return zr::CopyText(key); }
  static void FreeKey(const char* key) { delete[] key; }
};

template <>
struct CTMapKeyTraits<unsigned int> {
  static constexpr ULONG HashKey(unsigned int key) { return key; }
  static constexpr unsigned int CopyKey(unsigned int key) { return key; }
  static constexpr void FreeKey(unsigned int) {}
};

template <>
struct CTMapKeyTraits<int> {
  static constexpr ULONG HashKey(int key) { return static_cast<ULONG>(key); }
  static constexpr int CopyKey(int key) { return key; }
  static constexpr void FreeKey(int) {}
};

// Wide text keys (the translation dictionaries): the hash runs over the
// UTF-16 code units; the map keeps a copy of length + 1 units.
template <>
struct CTMapKeyTraits<const WCHAR*> {
  static constexpr ULONG HashKey(const WCHAR* key) { return zr::HashText(key); }
  static const WCHAR* CopyKey(const WCHAR* key) { return zr::CopyText(key); }
  static void FreeKey(const WCHAR* key) { delete[] key; }
};

// Parameter names: the key points to a zero-terminated 8-bit name (the
// pointer type only selects this hashing); the hash lowers ASCII letters, so
// names that differ only in letter case are one key. The map keeps a copy of
// the name's bytes.
template <>
struct CTMapKeyTraits<const ULONG*> {
  static ULONG HashKey(const ULONG* key) { return zr::HashTextNoCase(AsText(key)); }
  static const ULONG* CopyKey(const ULONG* key) {
    return reinterpret_cast<const ULONG*>(zr::CopyText(AsText(key)));
  }
  static void FreeKey(const ULONG* key) { delete[] AsText(key); }
  static const char* AsText(const ULONG* key) { return reinterpret_cast<const char*>(key); }
};

// Value policies: StoreValue runs when a value enters the map, DisposeValue
// when it leaves it (replaced, removed, or the map destroyed). A value held
// by value (an integer, a record, a variant) is destroyed with its entry.

// Plain values and borrowed pointers: nothing to do.
template <class V>
struct CTValuePlain {
  static void StoreValue(V&) {}
  static void DisposeValue(V&) {}
};

// Owned records: the map deletes them. Storing hands the record over.
template <class V>
struct CTValueOwned {
  static void StoreValue(V&) {}
  static void DisposeValue(V& value) { delete value; }
};

// Interfaces: the map holds one reference of its own, added when the value is
// stored and released when it leaves.
template <class V>
struct CTValueCounted {
  static void StoreValue(V& value) {
    if (value) value->AddRef();
  }
  static void DisposeValue(V& value) {
    if (value) value->Release();
  }
};

// The default for a value type: a pointer to an object of the object model
// is counted, a pointer to another class is owned, anything held by value is
// plain. Pointers to non-class types have no default. The choice is made when
// the map first stores or disposes of a value, so a map member may name a
// type that is still incomplete.
template <class V>
struct CTMapValueTraits {
  static void StoreValue(V& value) { decltype(Choose<V>())::StoreValue(value); }
  static void DisposeValue(V& value) { decltype(Choose<V>())::DisposeValue(value); }

 private:
  template <class U>
  static auto Choose() {
    if constexpr (!std::is_pointer_v<U>) {
      return CTValuePlain<U>{};
    } else {
      using Pointee = std::remove_cv_t<std::remove_pointer_t<U>>;
      static_assert(std::is_class_v<Pointee>,
                    "no default for pointers to non-class types: pass a CTMapTraits with a value "
                    "policy");
      if constexpr (std::is_base_of_v<IZRUnknown, Pointee>)
        return CTValueCounted<U>{};
      else
        return CTValueOwned<U>{};
    }
  }
};

// The traits a map uses: key traits and a value policy. A map chooses per
// instance by naming its own, for example
//   CTMap<const char*, CThing*, CTMapTraits<const char*, CThing*, CTValuePlain<CThing*>>>
// for a map that only borrows its values.
template <class K, class V, class ValuePolicy = CTMapValueTraits<V>,
          class KeyTraits = CTMapKeyTraits<K>>
struct CTMapTraits : KeyTraits, ValuePolicy {};

template <class K, class V, class Tr = CTMapTraits<K, V>>
class CTMap {
 public:
  // One entry of a chain. Field order is fixed: next, value, key, hash.
  struct CAssoc {
    CAssoc* pNext;
    V value;
    K key;
    ULONG nHashValue;
  };

  // The allocation marker while the bucket array exists.
  static constexpr ULONG kAllocMarker = 6502;

  // A map of `hashTableSize` buckets. A bucket count of 0 throws CXException
  // with cause ZRCAUSE_INVALIDARG.
  constexpr explicit CTMap(ULONG hashTableSize = 127)
      : m_pHashTable(nullptr),
        m_nCount(0),
        m_nHashTableSize(hashTableSize),
        m_nAllocMarker(0),
        m_bClosed(0) {
    if (hashTableSize == 0) throw CXException(ZRCAUSE_INVALIDARG);
  }

  // Closes the map, then frees every entry and disposes of every value.
  virtual ~CTMap() {
    SetClosed(1);
    FreeEntries();
    delete[] m_pHashTable;
    m_pHashTable = nullptr;
    m_nCount = 0;
    m_nAllocMarker = 0;
  }

  CTMap(const CTMap&) = delete;
  CTMap& operator=(const CTMap&) = delete;

  static ULONG HashKey(K key) { return Tr::HashKey(key); }

  // The entry of the key's hash, or null (always null on a closed map). Like
  // every operation, the first call allocates the bucket array (and may throw
  // CXBadAlloc).
  CAssoc* Find(K key) {
    if (m_bClosed) return nullptr;
    AllocateBuckets();
    const ULONG hash = Tr::HashKey(key);
    for (CAssoc* e = m_pHashTable[hash % m_nHashTableSize]; e; e = e->pNext)
      if (e->nHashValue == hash) return e;
    return nullptr;
  }

  // 1 and a copy of the value if the key's hash is present; else 0 and
  // `value` unchanged.
  int Lookup(K key, V& value) {
    CAssoc* e = Find(key);
    if (!e) return 0;
    value = e->value;
    return 1;
  }

  // Stores `value` under `key`. When the hash is present the entry keeps its
  // place in its chain: its key copy is replaced and its old value disposed
  // of after the new one is in place (a pointer stored again over itself is
  // left as it is); otherwise a new entry goes to the head of its bucket's
  // chain. 1, or 0 on a closed map (the value is then not taken: an owned
  // record stays the caller's). If a copy throws, the map is unchanged.
  int Set(K key, V value) {
    if (m_bClosed) return 0;
    AllocateBuckets();
    const ULONG hash = Tr::HashKey(key);
    CAssoc** head = &m_pHashTable[hash % m_nHashTableSize];
    CAssoc* e = *head;
    while (e && e->nHashValue != hash) e = e->pNext;

    K copy = Tr::CopyKey(key);
    if (!e) {
      CAssoc* entry;
      try {
        entry = zr::Allocating([&] { return new CAssoc{*head, std::move(value), copy, hash}; });
      } catch (...) {
        Tr::FreeKey(copy);
        throw;
      }
      Tr::StoreValue(entry->value);
      *head = entry;
      ++m_nCount;
      return 1;
    }
    Tr::FreeKey(e->key);
    e->key = copy;
    if constexpr (std::is_pointer_v<V>) {
      // The entry already holds this very object or record: disposing of the
      // old value would destroy the new one.
      if (e->value == value) return 1;
    }
    Tr::StoreValue(value);
    V old = std::move(e->value);
    e->value = std::move(value);
    Tr::DisposeValue(old);  // may run code that reaches this map: e is not used after
    return 1;
  }

  // Unlinks the key's entry, frees its key copy and disposes of its value. 1
  // if found; 0 if absent or the map is closed.
  int Remove(K key) {
    if (m_bClosed) return 0;
    AllocateBuckets();
    const ULONG hash = Tr::HashKey(key);
    for (CAssoc** link = &m_pHashTable[hash % m_nHashTableSize]; *link; link = &(*link)->pNext) {
      CAssoc* e = *link;
      if (e->nHashValue != hash) continue;
      *link = e->pNext;
      --m_nCount;
      DestroyEntry(e);
      return 1;
    }
    return 0;
  }

  // Frees every entry. The map is closed meanwhile (calls reached from a
  // value's disposal are refused) and open and empty after; the bucket array
  // stays. Does nothing on a closed map.
  void RemoveAll() {
    if (m_bClosed) return;
    SetClosed(1);
    FreeEntries();
    SetClosed(0);
  }

  ULONG GetCount() const { return m_nCount; }
  int IsEmpty() const { return m_nCount == 0 ? 1 : 0; }
  ULONG GetHashTableSize() const { return m_nHashTableSize; }
  int IsClosed() const { return m_bClosed != 0 ? 1 : 0; }
  // The head of a bucket's chain; null for an empty bucket or before the
  // bucket array exists.
  CAssoc* GetChain(ULONG bucket) const {
    return m_pHashTable && bucket < m_nHashTableSize ? m_pHashTable[bucket] : nullptr;
  }

  // The walk of the map enumerators: a bucket index and a current entry,
  // both 0 at the start. Moving on follows the current entry's chain; at its
  // end (or with no current entry) it takes the head of the next non-empty
  // bucket in ascending order; after the last bucket the walk is back at its
  // start and answers null. Removing the current entry invalidates the walk.
  class CWalk {
   public:
    void Reset() {
      m_nBucket = 0;
      m_pCurrent = nullptr;
    }
    CAssoc* MoveNext(const CTMap& map) {
      if (m_pCurrent && m_pCurrent->pNext) return m_pCurrent = m_pCurrent->pNext;
      for (ULONG b = m_pCurrent ? m_nBucket + 1 : m_nBucket; b < map.m_nHashTableSize; ++b) {
        if (CAssoc* head = map.GetChain(b)) {
          m_nBucket = b;
          return m_pCurrent = head;
        }
      }
      Reset();
      return nullptr;
    }
    CAssoc* GetCurrent() const { return m_pCurrent; }
    ULONG GetBucket() const { return m_nBucket; }

   private:
    ULONG m_nBucket = 0;
    CAssoc* m_pCurrent = nullptr;
  };

 protected:
  void AllocateBuckets() {
    if (m_nAllocMarker == kAllocMarker) {
      assert(m_pHashTable != nullptr);
      return;
    }
    assert(m_pHashTable == nullptr && m_nCount == 0);
    m_pHashTable = zr::Allocating([this] { return new CAssoc*[m_nHashTableSize](); });
    m_nAllocMarker = kAllocMarker;
  }

  void DestroyEntry(CAssoc* e) {
    Tr::FreeKey(e->key);
    Tr::DisposeValue(e->value);
    delete e;
  }

  // Empties every chain; each bucket is cleared before its entries are
  // disposed of.
  void FreeEntries() {
    if (!m_pHashTable) return;
    for (ULONG b = 0; b < m_nHashTableSize; ++b) {
      CAssoc* e = m_pHashTable[b];
      m_pHashTable[b] = nullptr;
      while (e) {
        CAssoc* next = e->pNext;
        --m_nCount;
        DestroyEntry(e);
        e = next;
      }
    }
  }

  // A store the compiler may not drop: destructors write the flag that calls
  // arriving after destruction read.
  void SetClosed(ULONG value) { *static_cast<volatile ULONG*>(&m_bClosed) = value; }

  // Invariants: m_nAllocMarker is kAllocMarker exactly while m_pHashTable
  // exists; m_nHashTableSize is non-zero and never changes; m_nCount is the
  // number of entries in all chains; an entry sits in the chain of bucket
  // nHashValue % m_nHashTableSize, and no two entries have the same hash.
  CAssoc** m_pHashTable;
  ULONG m_nCount;
  ULONG m_nHashTableSize;
  ULONG m_nAllocMarker;
  ULONG m_bClosed;
};

// A map with a reference count (1 at construction) and 127 buckets, so that
// it can outlive its creator while enumerators use it. Its last Release
// destroys it with its entries. `AK` and `AV` are the key and value types its
// enumerators deliver.
template <class K, class V, class AK, class AV, class Tr = CTMapTraits<K, V>>
class CTMapEnum : public CTMap<K, V, Tr>, public CZRUnknownImpl<IZRUnknown> {
 public:
  CTMapEnum() : CTMap<K, V, Tr>(127) {}
};

// Enumerates the keys of a shared CTMapEnum (buckets in ascending order, each
// chain from its head), delivering each as an `AK`; a string key points to
// the map's own copy, valid while its entry exists. Every AddRef and Release
// of the enumerator is also made on the map.
//
// After the walk has passed the last entry it is back at its start (see
// CTMap::CWalk): a Next that finds no entry answers 0, and the Next after
// that begins a new pass. Callers stop at the first call that delivers fewer
// items than asked.
template <class K, class V, class AK, class AV, class Tr = CTMapTraits<K, V>>
class _CMapKeyEnum : public CZRUnknownImpl<CTEnum<AK>> {
  using Base = CZRUnknownImpl<CTEnum<AK>>;
  using Map = CTMapEnum<K, V, AK, AV, Tr>;

 public:
  // Takes one reference on `map` for the enumerator's own. A null map
  // enumerates nothing.
  explicit _CMapKeyEnum(Map* map) : m_pMap(map) {
    if (m_pMap) m_pMap->AddRef();
  }

  _CMapKeyEnum(const _CMapKeyEnum&) = delete;
  _CMapKeyEnum& operator=(const _CMapKeyEnum&) = delete;

  // Moves on and delivers the entry's key, for each item asked, until the
  // walk ends.
  int Next(ULONG count, AK* items, ULONG* fetched) override {
    ULONG delivered = 0;
    if (items && m_pMap) {
      while (delivered < count) {
        const typename Map::CAssoc* e = m_walk.MoveNext(*m_pMap);
        if (!e) break;
        items[delivered++] = e->key;
      }
    }
    if (fetched) *fetched = delivered;
    return delivered != 0 ? 1 : 0;
  }

  // Moves on `count` times, stopping where the walk ends; 1 if the walk then
  // stands on an entry.
  int Skip(ULONG count) override {
    if (!m_pMap) return 0;
    for (ULONG i = 0; i < count; ++i)
      if (!m_walk.MoveNext(*m_pMap)) break;
    return m_walk.GetCurrent() ? 1 : 0;
  }

  void Reset() override { m_walk.Reset(); }

  ULONG InternalAddRef() override {
    if (m_pMap) m_pMap->AddRef();
    return Base::InternalAddRef();
  }

  ULONG InternalRelease() override {
    Map* map = m_pMap;  // `this` may be gone after the base's release
    const ULONG count = Base::InternalRelease();
    if (map) map->Release();
    return count;
  }

 protected:
  Map* m_pMap;
  typename Map::CWalk m_walk;
};
