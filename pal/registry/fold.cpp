// pal/registry/fold.cpp - the case folding of registry names (see fold.h).
//
// Invariant: once g_foldReady is set, g_fold[u] is the upper case of every
// unit u; before, FoldUnit folds ASCII only (a call before start-up, or a
// start-up that could not load the locale).
#include "pal/registry/fold.h"

#include <cstdint>

#include "pal/wstr.h"

namespace zrpal::registry {

namespace {

constexpr std::size_t kUnits = 0x10000;
constinit WCHAR g_fold[kUnits] = {};
constinit bool g_foldReady = false;

// Fills `table` with the C library's upper case of every unit that is not a
// surrogate; false when its Unicode tables cannot be had (posix/fold.inc).
bool FillFromCLibrary(WCHAR* table);

}  // namespace

void BuildFoldTable() {
  if (g_foldReady) return;
  if (!FillFromCLibrary(g_fold)) return;
  // Surrogates are halves of characters and never change.
  for (std::uint32_t u = 0xD800; u <= 0xDFFF; ++u) g_fold[u] = static_cast<WCHAR>(u);
  g_foldReady = true;
}

WCHAR FoldUnit(WCHAR unit) { return g_foldReady ? g_fold[unit] : towupper(unit); }

void FoldKey(std::u16string_view name, std::string* key) {
  key->resize(name.size() * 2);
  char* out = key->data();
  for (const WCHAR unit : name) {
    const WCHAR upper = FoldUnit(unit);
    *out++ = static_cast<char>(upper >> 8);
    *out++ = static_cast<char>(upper & 0xFF);
  }
}

}  // namespace zrpal::registry

#include "pal/registry/posix/fold.inc"
