// pal/com.cpp - COM initialisation count (see com.h).
#include "pal/com.h"

namespace zrpal {

namespace {
thread_local ULONG t_comInits = 0;
}

HRESULT CoInitialize(LPVOID reserved) {
  if (reserved) return E_INVALIDARG;
  return t_comInits++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  if (t_comInits > 0) --t_comInits;
}

ULONG CoInitializeCount() { return t_comInits; }

}  // namespace zrpal
