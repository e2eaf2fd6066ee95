// translation/table.cpp - the translation table (see table.h).
//
// Invariants: every entry of m_entries is a CContext the table owns, under
// the hash of its source converted to wide text in the entry's code page;
// m_entries has at least as many buckets as entries once Reserve ran for
// them; m_initialised goes from 0 to 1 once and never back.
#include "translation/table.h"

#include <climits>
#include <iterator>
#include <new>

#include "pal/codepage.h"
#include "pal/user/gdi.h"
#include "translation/dictfile.h"
#include "zr/exception.h"
#include "zr/xfile.h"

namespace zr {

namespace {

// Bucket counts, each a prime about twice the one before: h * 257 + unit
// keeps the low bits of a power of two poor, primes spread them.
constexpr ULONG kBucketCounts[] = {127,    257,     509,     1021,    2039,    4093,
                                   8191,   16381,   32749,   65521,   131071,  262139,
                                   524287, 1048573, 2097143, 4194301, 8388593, 16777213};

constexpr WCHAR kDefaultDictionary[] = u"app.wld";
constexpr WCHAR kLayoutExtension[] = u"dlg";

// The dialog font of a system without double-byte characters.
constexpr WCHAR kPlainFace[] = u"MS Shell Dlg";
constexpr WORD kPlainPointSize = 8;
// The fallback when the stock font cannot be queried.
constexpr WCHAR kFallbackFace[] = u"System";
constexpr WORD kFallbackPointSize = 10;
constexpr int kPointsPerInch = 72;

// Short texts are converted on the stack for a lookup.
constexpr int kStackUnits = 512;

alignas(CTranslationTable) constinit unsigned char g_tableStorage[sizeof(CTranslationTable)] = {};
constinit CTranslationTable* g_table = nullptr;

}  // namespace

CXStringW WideOf(const char* text, UINT codePage) {
  CXStringW out;
  if (!text || !*text) return out;
  const std::size_t bytes = std::char_traits<char>::length(text);
  if (bytes > INT_MAX) return out;
  const int cb = static_cast<int>(bytes);
  const int units = zrpal::MultiByteToWideChar(codePage, 0, text, cb, nullptr, 0);
  if (units <= 0) return out;
  WCHAR* p = out.GetBuffer(units);
  const int written = zrpal::MultiByteToWideChar(codePage, 0, text, cb, p, units);
  p[written > 0 ? written : 0] = 0;
  out.ReleaseBuffer();
  return out;
}

const CXStringW& CContext::GetWideTranslation() {
  if (wideTranslation.GetLength() == 0) {
    wideTranslation = WideOf(translation, codePage);
    if (wideTranslation.GetLength() == 0) wideTranslation = WideOf(source, codePage);
  }
  return wideTranslation;
}

CTranslationTable::CTranslationTable() { ChooseDialogFont(); }

CTranslationTable::~CTranslationTable() {
  if (m_entries) {
    EntryMap::CWalk walk;
    while (EntryMap::CAssoc* e = walk.MoveNext(*m_entries)) delete e->value;
    delete m_entries;
  }
}

void CTranslationTable::ChooseDialogFont() {
  if (!zrpal::GetSystemMetrics(zrpal::SM_DBCSENABLED)) {
    m_font = nullptr;
    m_fontFace = kPlainFace;
    m_fontPointSize = kPlainPointSize;
    return;
  }
  m_font = zrpal::GetStockObject(zrpal::DEFAULT_GUI_FONT);
  if (!m_font) m_font = zrpal::GetStockObject(zrpal::SYSTEM_FONT);
  zrpal::LOGFONTW font;
  zrpal::HDC screen = zrpal::GetDC(nullptr);
  const int pixelsPerInch = screen ? zrpal::GetDeviceCaps(screen, zrpal::LOGPIXELSY) : 0;
  if (screen) zrpal::ReleaseDC(nullptr, screen);
  if (m_font && pixelsPerInch > 0 &&
      zrpal::GetObjectW(m_font, sizeof font, &font) == static_cast<int>(sizeof font)) {
    font.lfFaceName[zrpal::LF_FACESIZE - 1] = 0;
    m_fontFace = font.lfFaceName;
    const int height = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
    m_fontPointSize = static_cast<WORD>(zrpal::MulDiv(height, kPointsPerInch, pixelsPerInch));
  } else {
    m_fontFace = kFallbackFace;
    m_fontPointSize = kFallbackPointSize;
  }
}

void CTranslationTable::Reserve(ULONG count) {
  ULONG wanted = kBucketCounts[0];
  for (ULONG size : kBucketCounts) {
    wanted = size;
    if (size >= count) break;
  }
  if (m_entries && m_entries->GetHashTableSize() >= wanted) return;
  auto* bigger = Allocating([&] { return new EntryMap(wanted); });
  if (m_entries) {
    try {
      EntryMap::CWalk walk;
      while (EntryMap::CAssoc* e = walk.MoveNext(*m_entries)) bigger->Set(e->key, e->value);
    } catch (...) {
      delete bigger;  // plain values: the contexts stay with the old map
      throw;
    }
    delete m_entries;
  }
  m_entries = bigger;
}

CContext* CTranslationTable::Add(const WCHAR* wideSource, const char* source,
                                 const char* translation, UINT codePage) {
  const WCHAR* key = wideSource ? wideSource : u"";
  if (CContext* existing = Find(key)) return existing;  // the first definition wins
  Reserve(GetEntryCount() + 1);
  auto* context = Allocating([&] { return new CContext(source, translation, codePage); });
  try {
    m_entries->Set(key, context);
  } catch (...) {
    delete context;
    throw;
  }
  return context;
}

CContext* CTranslationTable::Find(const WCHAR* text) {
  if (!text || !m_entries) return nullptr;
  EntryMap::CAssoc* e = m_entries->Find(text);
  return e ? e->value : nullptr;
}

CContext* CTranslationTable::FindA(const char* text) {
  if (!text || !*text || !m_entries) return nullptr;
  // Most texts are short: convert them without a heap block.
  const std::size_t bytes = std::char_traits<char>::length(text);
  if (bytes < kStackUnits) {
    WCHAR units[kStackUnits];
    const int n = zrpal::MultiByteToWideChar(m_codePage, 0, text, static_cast<int>(bytes), units,
                                             kStackUnits - 1);
    if (n > 0) {
      units[n] = 0;
      return Find(units);
    }
  }
  return Find(WideOf(text, m_codePage));
}

CContext* CTranslationTable::FindOrAddA(const char* text) {
  if (!text || !*text) return nullptr;
  if (CContext* found = FindA(text)) return found;
  return Add(WideOf(text, m_codePage), text, text, m_codePage);
}

int CTranslationTable::Load(const WCHAR* path) {
  if (m_initialised) return 0;
  return Merge(path);
}

int CTranslationTable::Merge(const WCHAR* path) {
  if (!path) path = kDefaultDictionary;
  IXFile* file = nullptr;
  try {
    file = Fio_Open(path, 0);
  } catch (const CXFileException&) {
    return 0;
  }
  if (!file) return 0;
  bool failed = false;
  std::vector<DictionaryLine> lines;
  try {
    lines = ReadDictionaryLines(file, &failed);
  } catch (...) {
    file->Release();
    throw;
  }
  file->Release();

  const DictionaryText text = ParseDictionary(lines, m_codePage);
  lines.clear();
  Reserve(GetEntryCount() + static_cast<ULONG>(text.pairs.size()));
  for (const DictionaryPair& pair : text.pairs) {
    const CXStringW wide = WideOf(pair.source.c_str(), text.codePage);
    Add(wide, pair.source.c_str(), pair.translation.c_str(), text.codePage);
  }
  if (failed) return 0;

  UINT languagePage = 0;
  if (text.hasLanguageId && LocaleCodePage(text.languageId, &languagePage))
    m_codePage = languagePage;

  CXStringW layoutPath(path);
  layoutPath.ChangeFileExt(kLayoutExtension);
  LoadLayouts(layoutPath);
  m_initialised = 1;
  return 1;
}

ZRDlgPos* CTranslationTable::FindLayout(ULONG keyHash) {
  ZRDlgPos* layout = nullptr;
  return m_dialogLayouts.Lookup(keyHash, layout) ? layout : nullptr;
}

void CTranslationTable::SetLayout(ULONG keyHash, ZRDlgPos* layout) {
  try {
    m_dialogLayouts.Set(keyHash, layout);
  } catch (...) {
    delete layout;
    throw;
  }
}

CTranslationTable* TranslationTable() { return g_table; }

void TranslationStartup() {
  if (!g_table) g_table = new (g_tableStorage) CTranslationTable();
}

void TranslationShutdown() {
  if (!g_table) return;
  g_table->~CTranslationTable();
  g_table = nullptr;
}

}  // namespace zr
