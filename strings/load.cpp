// strings/load.cpp - Load: a string resource into CXString or CXStringW.
//
// The length of a string resource is not known in advance: attempt k makes
// room for c = 256 k - 1 units (plus spare) and loads with a buffer of c + 1
// units; a result of c or more may have been cut and starts the next
// attempt. The 8-bit form is cut before a character whose bytes do not all
// fit, so there a result less than a character's largest size short of c
// may have been cut as well.
#include "pal/user/resource.h"
#include "strings/xbuffer.h"
#include "zr/xstring.h"

namespace {

// A string resource holds at most 65535 UTF-16 units; its 8-bit form takes
// at most 3 bytes per unit (UTF-8). Beyond this many units the last attempt's
// text is kept as loaded.
constexpr unsigned kMaxResourceUnits = 3 * 65535 + 1;

// The most units one character of the loaded text takes: a UTF-16 unit is
// up to 3 bytes of UTF-8, a surrogate pair 4.
constexpr unsigned kMaxCharUnitsA = 4;
constexpr unsigned kMaxCharUnitsW = 1;

int LoadInto(char* buffer, HMODULE module, unsigned id, int size) {
  return zrpal::LoadStringA(module, id, buffer, size);
}

int LoadInto(WCHAR* buffer, HMODULE module, unsigned id, int size) {
  return zrpal::LoadStringW(module, id, buffer, size);
}

constexpr unsigned MaxCharUnits(const char*) { return kMaxCharUnitsA; }
constexpr unsigned MaxCharUnits(const WCHAR*) { return kMaxCharUnitsW; }

template <class Unit>
int Load(Unit*& p, void* module, unsigned id) {
  for (unsigned k = 1;; ++k) {
    const unsigned c = 256 * k - 1;
    zr::XBuffer<Unit>::LockRoom(p, c + 2);
    p[0] = 0;  // what a failed load leaves: the empty string
    const int result = LoadInto(p, static_cast<HMODULE>(module), id, static_cast<int>(c + 1));
    zr::XBuffer<Unit>::Unlock(p);
    if (result <= 0) return 0;
    const unsigned mayBeCut = c - (MaxCharUnits(p) - 1);
    if (static_cast<unsigned>(result) < mayBeCut || c >= kMaxResourceUnits) return 1;
  }
}

}  // namespace

int CXString::Load(void* module, unsigned id) { return ::Load(m_pchData, module, id); }

int CXStringW::Load(void* module, unsigned id) { return ::Load(m_pchData, module, id); }
