// base/unknown.cpp - the exported parts of the object model.
#include "zr/unknown.h"

template class CZRUnknownImpl<IZRUnknown>;

ULONG CUnknownInternal::Release() { return 0; }
ULONG CUnknownInternal::AddRef() { return 0; }

int CUnknownInternal::QueryInterface(const std::type_info& type, void** out) {
  if (!m_pTarget) {
    if (out) *out = nullptr;
    return 0;
  }
  return m_pTarget->QueryInterface(type, out);
}
