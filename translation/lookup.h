// translation/lookup.h - the text lookups of the process's translation
// table, for the resource interception and the dialog and menu translation.
//
// All of them read the table as it stands (they do not consult the
// translation enable flag); before start-up and after shutdown they find
// nothing. Returned pointers point into the table's entries and stay valid
// while the library is loaded. A lookup hashes its text once (converted to
// wide text in the table's code page for the 8-bit forms).
#pragma once

#include "zr/zrtypes.h"

namespace zr {

class CTranslationTable;

// The translation of `text` when its entry has a non-empty one; otherwise
// null when `strict`, else `text` itself. Null or empty text gives null.
const char* LookupA(const char* text, bool strict);
const WCHAR* LookupW(const WCHAR* text, bool strict);

// When the buffer's text has a non-empty translation: copies it into the
// buffer, cut to whole characters that fit `capacity` with the terminator,
// and returns the length copied; otherwise leaves the buffer and returns its
// length. Null or empty buffer gives 0.
int TranslateInPlaceA(char* buffer, int capacity);
int TranslateInPlaceW(WCHAR* buffer, int capacity);

// The texts a context lookup joins: the context and the buffer's text, cut
// to this many units together.
inline constexpr int kContextTextUnits = 1024;

// Looks up `context` joined with the buffer's text strictly, else the
// buffer's text alone non-strictly. 0 when nothing results (null or empty
// buffer). With `measureOnly` the length of the result; otherwise the
// result is copied into the buffer (cut to fit `capacity` with the
// terminator) when it is not the buffer's own text, and the length of the
// text now in the buffer is returned. A null context is empty.
int TranslateWithContextA(char* buffer, int capacity, const char* context, bool measureOnly);
int TranslateWithContextW(WCHAR* buffer, int capacity, const WCHAR* context, bool measureOnly);

// The same over a given table (null: an empty one).
const char* LookupA(CTranslationTable* table, const char* text, bool strict);
const WCHAR* LookupW(CTranslationTable* table, const WCHAR* text, bool strict);
int TranslateInPlaceA(CTranslationTable* table, char* buffer, int capacity);
int TranslateInPlaceW(CTranslationTable* table, WCHAR* buffer, int capacity);
int TranslateWithContextA(CTranslationTable* table, char* buffer, int capacity, const char* context,
                          bool measureOnly);
int TranslateWithContextW(CTranslationTable* table, WCHAR* buffer, int capacity,
                          const WCHAR* context, bool measureOnly);

}  // namespace zr
