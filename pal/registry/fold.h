// pal/registry/fold.h - the case folding of registry names.
//
// Windows compares key and value names after mapping each UTF-16 unit to
// its upper case (the simple, one-to-one Unicode mapping; surrogates and
// characters whose upper case is longer than one unit stay as they are).
// The table of that mapping is built once, at registry start-up, from the C
// library's Unicode tables (the "C.UTF-8" locale); where that locale is
// missing only ASCII letters fold. Deviation: the C library's tables follow
// a newer Unicode version than Windows' own table, so a few characters may
// fold differently (docs/deviations.md).
#pragma once

#include <string>
#include <string_view>

#include "pal/types.h"

namespace zrpal::registry {

// Builds the table (idempotent; not thread-safe: start-up runs it).
void BuildFoldTable();

// The upper case of one UTF-16 unit.
WCHAR FoldUnit(WCHAR unit);

// The key a name is compared and ordered by: the folded units, each as two
// bytes high byte first, so that comparing keys bytewise orders names by
// their folded UTF-16 units, as Windows orders sub-keys.
void FoldKey(std::u16string_view name, std::string* key);

}  // namespace zrpal::registry
