// core/service_enum.cpp - the enumerators of a service container's map:
// services that give an interface type, and service names.
#include "core/service.h"

namespace zr {

int CServiceEnum::Next(ULONG count, IZRUnknown** items, ULONG* fetched) {
  ULONG delivered = 0;
  if (items) {
    while (delivered < count) {
      const CServiceMap::CAssoc* e = m_walk.MoveNext(*m_pMap);
      if (!e) break;
      // Some objects leave the out pointer alone when they refuse a type.
      void* answer = nullptr;
      if (e->value->QueryInterface(*m_pType, &answer) && answer)
        items[delivered++] = static_cast<IZRUnknown*>(answer);
    }
  }
  if (fetched) *fetched = delivered;
  return delivered != 0 ? 1 : 0;
}

int CServiceEnum::Skip(ULONG count) {
  ULONG counted = 0;
  while (counted < count) {
    const CServiceMap::CAssoc* e = m_walk.MoveNext(*m_pMap);
    if (!e || !e->value->QueryInterface(*m_pType, nullptr)) break;
    ++counted;
  }
  return counted != 0 ? 1 : 0;
}

void CServiceEnum::Reset() { m_walk.Reset(); }

int CServiceNameEnum::Next(ULONG count, const char** items, ULONG* fetched) {
  ULONG delivered = 0;
  if (items) {
    while (delivered < count) {
      const CServiceMap::CAssoc* e = m_walk.MoveNext(*m_pMap);
      if (!e) break;
      items[delivered++] = e->key;
    }
  }
  if (fetched) *fetched = delivered;
  return delivered != 0 ? 1 : 0;
}

int CServiceNameEnum::Skip(ULONG count) {
  ULONG passed = 0;
  while (passed < count && m_walk.MoveNext(*m_pMap)) ++passed;
  return passed != 0 ? 1 : 0;
}

void CServiceNameEnum::Reset() { m_walk.Reset(); }

}  // namespace zr
