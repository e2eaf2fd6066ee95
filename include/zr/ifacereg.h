// ifacereg.h - the interface registry that objects implementing
// IRegisterIface keep: objects registered under interface types, answered
// by the owner's QueryInterface.
//
// Keys are the raw names of the interface types' type_info. On this ABI
// (Itanium C++) the raw, decorated name is type_info::name(), the mangled
// name ("6IParam" for a global class IParam), where the Windows ABI uses
// raw_name(); the registry hashes it as every string-keyed map does
// (zr/tmap.h): two types whose names have the same 32-bit hash share one
// entry.
//
// Records are _tIZRUnknown (zr/unknown.h); a strong record holds one
// reference to its object, a weak one none (an object registering itself or
// its own sub-objects registers weakly, or it would never be destroyed).
// Destroying the registry releases the objects of its strong records.
//
// Embedding: the owner keeps a CZRInterfaceRegistry member, forwards its
// IRegisterIface::RegisterInterface to RegisterInterface, and answers
// QueryInterface from QueryInterface here after its fixed interfaces (if it
// has any). No lock is taken: the owner serialises access.
#pragma once

#include <memory>
#include <typeinfo>

#include "zr/tmap.h"
#include "zr/unknown.h"
#include "zr/zrtypes.h"

class CZRInterfaceRegistry {
 public:
  using Map = CTMap<const char*, _tIZRUnknown*>;

  explicit CZRInterfaceRegistry(ULONG hashTableSize = 127) : m_map(hashTableSize) {}
  ~CZRInterfaceRegistry() { Clear(); }

  CZRInterfaceRegistry(const CZRInterfaceRegistry&) = delete;
  CZRInterfaceRegistry& operator=(const CZRInterfaceRegistry&) = delete;

  // The key of a type: its raw (mangled) name.
  static const char* KeyOf(const std::type_info& type) { return type.name(); }

  // Registers `object` for `type`; `strong` non-zero makes the registry hold
  // a reference. An earlier record of the key is replaced (its object
  // released if it was strong); a null object removes the record. 1 on
  // success; 0 for a null object and a key that is not registered.
  int RegisterInterface(IZRUnknown* object, const std::type_info& type, ULONG strong);

  // The lookup of the owner's QueryInterface: when `type` is registered, the
  // registered pointer itself is the answer (no query is made on it) and one
  // reference is added through its slot 2; 1. Otherwise 0 and *out null.
  // With `out` null only presence is answered and no reference is added.
  int QueryInterface(const std::type_info& type, void** out);

  // The record of `type`, or null. Borrowed: valid until the key changes.
  const _tIZRUnknown* Find(const std::type_info& type) {
    const Map::CAssoc* e = m_map.Find(KeyOf(type));
    return e ? e->value : nullptr;
  }

  ULONG GetCount() const { return m_map.GetCount(); }

  // Removes every record, releasing the objects of strong ones. A release
  // that registers again (from a destructor) is removed in its turn.
  void Clear();

 private:
  Map m_map;
};

inline int CZRInterfaceRegistry::RegisterInterface(IZRUnknown* object, const std::type_info& type,
                                                   ULONG strong) {
  const char* key = KeyOf(type);
  Map::CAssoc* e = m_map.Find(key);
  if (!e && !object) return 0;
  // The old record's object is released only after the map no longer
  // refers to it, and after the new object's reference was added, so that
  // re-registering the same object never drops it to zero.
  _tIZRUnknown old{};
  if (e) old = *e->value;
  if (object) {
    auto record = std::make_unique<_tIZRUnknown>(_tIZRUnknown{key, object, strong});
    if (!m_map.Set(key, record.get())) return 0;  // closed: being destroyed
    record.release();
    if (strong) object->AddRef();
  } else {
    m_map.Remove(key);
  }
  if (e && old.strong && old.object) old.object->Release();
  return 1;
}

inline int CZRInterfaceRegistry::QueryInterface(const std::type_info& type, void** out) {
  const Map::CAssoc* e = m_map.Find(KeyOf(type));
  IZRUnknown* object = e ? e->value->object : nullptr;
  if (!out) return object ? 1 : 0;
  *out = object;
  if (!object) return 0;
  object->AddRef();
  return 1;
}

inline void CZRInterfaceRegistry::Clear() {
  Map::CWalk walk;
  while (Map::CAssoc* e = walk.MoveNext(m_map)) {
    const _tIZRUnknown old = *e->value;
    if (!m_map.Remove(e->key)) break;  // a closed map holds nothing more to release
    if (old.strong && old.object) old.object->Release();
    walk.Reset();
  }
}
