// translation/table.h - the translation table: dictionary entries, dialog
// layouts, the dialog font and the code page of translations.
//
// The process has one table (TranslationTable()), constructed by a step of
// the start-up list and destroyed by it at shutdown; tests and tools may
// make tables of their own. Entries are only ever added; an entry's texts
// never change once made, and its wide translation, converted on first use,
// is cached, so every pointer a lookup hands out stays valid while the table
// lives.
//
// Entry identity is the 32-bit hash of the wide source text alone (h * 257
// + unit over the UTF-16 units, zr::HashText): two sources with the same
// hash are one entry, and the first definition wins, across dictionaries
// too. The entry map's bucket count follows the number of entries (a prime
// at least as large, from 127 up), so a lookup walks a chain of about one
// entry. Deviation: Windows keeps 127 buckets whatever the dictionary's
// size; no result depends on it (identity is by hash, nothing enumerates
// the entries), only the length of the chains.
//
// Not thread-safe: loading and the lookups that add entries run on one
// thread, before translated resources are used.
#pragma once

#include <string_view>

#include "zr/geometry.h"
#include "zr/tmap.h"
#include "zr/xstring.h"
#include "zr/zrtypes.h"

namespace zr {

// One dictionary entry.
class CContext {
 public:
  CContext(const char* source, const char* translation, UINT codePage)
      : source(source), translation(translation), codePage(codePage) {}

  // The translation as wide text, converted once (in `codePage`) and kept;
  // for an empty translation, the source converted the same way.
  const CXStringW& GetWideTranslation();

  CXString source;       // after escape processing
  CXString translation;  // after escape processing; the source for a made entry
  CXStringW wideTranslation;
  UINT codePage;  // the code page the entry's texts are in (0: the ANSI code page)
};

// The layout corrections of one dialog, in dialog units: a rectangle of edge
// deltas per control identifier, and a size delta of the dialog.
struct ZRDlgPos {
  CTMap<unsigned int, tagRECT> controls{127};
  tagSIZE dialogSize{0, 0};
};

class CTranslationTable {
 public:
  CTranslationTable();
  ~CTranslationTable();
  CTranslationTable(const CTranslationTable&) = delete;
  CTranslationTable& operator=(const CTranslationTable&) = delete;

  // Loads a dictionary and its layout file ("dlg" extension). Load: 0 at
  // once when a dictionary is already loaded; otherwise as Merge. Merge:
  // 1 when the file was read, 0 when it cannot be opened or read (entries
  // read before a failure stay). A null path is "app.wld".
  int Load(const WCHAR* path);
  int Merge(const WCHAR* path);

  // The entry of a wide or 8-bit text (converted in the table's code page),
  // or null. Null or empty text finds nothing.
  CContext* Find(const WCHAR* text);
  CContext* FindA(const char* text);
  // The entry of an 8-bit text; made (source and translation both `text`)
  // when there is none. Null for null or empty text.
  CContext* FindOrAddA(const char* text);

  // The resource-key hash's dialog layout, or null.
  ZRDlgPos* FindLayout(ULONG keyHash);
  // Stores a layout under a hash, replacing (and destroying) an older one.
  void SetLayout(ULONG keyHash, ZRDlgPos* layout);

  ULONG GetEntryCount() const { return m_entries ? m_entries->GetCount() : 0; }
  ULONG GetBucketCount() const { return m_entries ? m_entries->GetHashTableSize() : 0; }
  ULONG GetLayoutCount() const { return m_dialogLayouts.GetCount(); }
  UINT GetCodePage() const { return m_codePage; }
  int IsInitialised() const { return m_initialised; }

  // The dialog font (see the constructor).
  HFONT GetFont() const { return m_font; }
  WORD GetFontPointSize() const { return m_fontPointSize; }
  const CXStringW& GetFontFace() const { return m_fontFace; }
  int m_replaceFont = 1;

 private:
  using EntryMap =
      CTMap<const WCHAR*, CContext*, CTMapTraits<const WCHAR*, CContext*, CTValuePlain<CContext*>>>;
  using LayoutMap = CTMap<unsigned int, ZRDlgPos*>;

  void ChooseDialogFont();
  // Makes room for `count` entries in all (see the bucket rule above).
  void Reserve(ULONG count);
  // Adds an entry under the hash of `wideSource` unless one exists; the
  // entry, old or new.
  CContext* Add(const WCHAR* wideSource, const char* source, const char* translation,
                UINT codePage);
  void LoadLayouts(const WCHAR* dictionaryPath);

  int m_initialised = 0;
  HFONT m_font = nullptr;
  WORD m_fontPointSize = 8;
  CXStringW m_fontFace;
  EntryMap* m_entries = nullptr;  // made by the first entry
  LayoutMap m_dialogLayouts{127};
  UINT m_codePage = 0;
};

// The process's table; null before start-up and after shutdown.
CTranslationTable* TranslationTable();
// Start-up list steps.
void TranslationStartup();
void TranslationShutdown();

// Wide text of 8-bit text in a code page (0: the ANSI code page), as the
// table converts: measured, then converted; empty when the page cannot
// convert it.
CXStringW WideOf(const char* text, UINT codePage);

}  // namespace zr
