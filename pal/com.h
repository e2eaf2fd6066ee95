// pal/com.h - COM initialisation.
//
// Deviation: nothing on this platform needs COM yet, so CoInitialize and
// CoUninitialize only keep the calling thread's initialisation count: the
// first CoInitialize of a thread answers S_OK, later ones S_FALSE, as on
// Windows. The reserved argument must be null (E_INVALIDARG otherwise).
#pragma once

#include "pal/types.h"

namespace zrpal {

inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);

HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();

// The calling thread's count of CoInitialize calls not yet balanced.
ULONG CoInitializeCount();

}  // namespace zrpal
