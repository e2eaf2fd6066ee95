// zrtool dict - look texts up in a translation dictionary and check a
// dictionary before it ships.
//
//   zrtool dict lookup DICT TEXT [CONTEXT]
//   zrtool dict check DICT
//
// Texts on the command line are UTF-8. A context is a resource key such as
// "ui.dll#1#102"; its two separator characters are added when missing.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "pal/codepage.h"
#include "translation/dictfile.h"
#include "translation/lookup.h"
#include "translation/resource_key.h"
#include "translation/table.h"
#include "zr/zrcore.h"

int FileError(const char* path, const CXException& e);  // tools/zrtool.cpp

namespace {

void Help(std::FILE* out) {
  std::fputs(
      "usage: zrtool dict lookup DICT TEXT [CONTEXT]\n"
      "           the translation of TEXT, inside the resource CONTEXT when given\n"
      "           (a resource key such as ui.dll#1#102: module, kind 1 dialog, 2 menu,\n"
      "           3 string table, and the resource name or number)\n"
      "       zrtool dict check DICT\n"
      "           reports unpaired lines, entries lost to a hash collision, escapes\n"
      "           that do not decode and text invalid in the dictionary's code page\n"
      "Texts are UTF-8 on the command line and in the output.\n",
      out);
}

std::u16string Utf16(const char* utf8) {
  const int n = zrpal::MultiByteToWideChar(zrpal::CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::u16string out(n > 0 ? static_cast<std::size_t>(n) : 1, u'\0');
  if (n > 0) zrpal::MultiByteToWideChar(zrpal::CP_UTF8, 0, utf8, -1, out.data(), n);
  out.resize(std::char_traits<char16_t>::length(out.c_str()));
  return out;
}

std::string Utf8(const WCHAR* text) {
  const int n =
      zrpal::WideCharToMultiByte(zrpal::CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<std::size_t>(n) : 1, '\0');
  if (n > 0)
    zrpal::WideCharToMultiByte(zrpal::CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(std::strlen(out.c_str()));
  return out;
}

// Control characters of translations shown as their escapes.
std::string Shown(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else
      out += c;
  }
  return out;
}

int Lookup(const char* dict, const char* text, const char* context) {
  zr::CTranslationTable table;
  if (!table.Load(Utf16(dict).c_str())) {
    std::fprintf(stderr, "zrtool: %s: cannot be read\n", dict);
    return 1;
  }
  const std::u16string wideText = Utf16(text);
  if (context) {
    std::u16string key = Utf16(context);
    const std::u16string sep(zr::kResourceKeySeparatorW);
    if (key.size() < sep.size() || key.compare(key.size() - sep.size(), sep.size(), sep) != 0)
      key += sep;
    if (const WCHAR* t = zr::LookupW(&table, (key + wideText).c_str(), true)) {
      std::printf("%s\n", Shown(Utf8(t)).c_str());
      return 0;
    }
  }
  if (const WCHAR* t = zr::LookupW(&table, wideText.c_str(), true)) {
    std::printf("%s%s\n", Shown(Utf8(t)).c_str(), context ? "   (without the context)" : "");
    return 0;
  }
  std::fprintf(stderr, "zrtool: no translation of \"%s\"%s\n", text,
               context ? " in that context or without it" : "");
  return 1;
}

// Whether the code page decodes every byte of the text.
bool Decodes(const std::string& text, UINT codePage) {
  if (text.empty()) return true;
  return zrpal::MultiByteToWideChar(codePage, zrpal::MB_ERR_INVALID_CHARS, text.data(),
                                    static_cast<int>(text.size()), nullptr, 0) > 0;
}

int Check(const char* dict) {
  IXFile* file = nullptr;
  try {
    file = Fio_Open(Utf16(dict).c_str(), 0);
  } catch (const CXException& e) {
    return FileError(dict, e);
  }
  if (!file) return FileError(dict, CXException(ZRCAUSE_NOMEMORY));
  bool failed = false;
  const std::vector<zr::DictionaryLine> lines = zr::ReadDictionaryLines(file, &failed);
  file->Release();
  const zr::DictionaryText text = zr::ParseDictionary(lines, 0);

  int problems = 0;
  auto report = [&](int line, const std::string& message) {
    std::printf("%s:%d: %s\n", dict, line, message.c_str());
    ++problems;
  };
  if (failed)
    report(lines.empty() ? 0 : lines.back().number, "the file could not be read to its end");
  if (text.hasLanguageId) {
    UINT page = 0;
    if (zr::LocaleCodePage(text.languageId, &page))
      std::printf("%s: language %ld, code page %u\n", dict, text.languageId, text.codePage);
    else
      report(0, "language " + std::to_string(text.languageId) +
                    " is no supported locale: the texts are read in the ANSI code page");
  }
  const UINT page = text.codePage;  // 0: the process's ANSI code page
  const std::string pageName = std::to_string(page ? page : zrpal::GetACP());
  std::map<ULONG, const zr::DictionaryPair*> first;
  for (const zr::DictionaryPair& pair : text.pairs) {
    if (pair.escapes.kept)
      report(pair.sourceLine,
             std::to_string(pair.escapes.kept) +
                 " backslash(es) before a character that is no escape (kept as written)");
    if (pair.escapes.droppedAtEnd)
      report(pair.sourceLine, "a backslash at the end of a text is dropped");
    if (!Decodes(pair.source, page))
      report(pair.sourceLine, "source text has bytes invalid in code page " + pageName);
    if (!Decodes(pair.translation, page))
      report(pair.translationLine,
             "translation has bytes invalid in code page " + pageName);
    const CXStringW wide = zr::WideOf(pair.source.c_str(), page);
    const ULONG hash = zr::HashText(static_cast<const WCHAR*>(wide));
    const auto [it, inserted] = first.emplace(hash, &pair);
    if (inserted) continue;
    if (it->second->source == pair.source)
      report(pair.sourceLine, "source defined again; the definition at line " +
                                  std::to_string(it->second->sourceLine) + " wins");
    else
      report(pair.sourceLine, "entry lost: its source has the hash of line " +
                                  std::to_string(it->second->sourceLine) + " (\"" +
                                  Shown(Utf8(zr::WideOf(it->second->source.c_str(), page))) +
                                  "\"), which wins");
  }
  if (text.unpairedLine) report(text.unpairedLine, "source without a translation (dropped)");
  std::printf("%s: %zu pairs, %zu entries, %d problem(s)\n", dict, text.pairs.size(), first.size(),
              problems);
  return problems ? 1 : 0;
}

}  // namespace

int DictCommand(int argc, char** argv) {
  if (argc >= 1 && (std::strcmp(argv[0], "--help") == 0 || std::strcmp(argv[0], "-h") == 0)) {
    Help(stdout);
    return 0;
  }
  if ((argc == 3 || argc == 4) && std::strcmp(argv[0], "lookup") == 0)
    return Lookup(argv[1], argv[2], argc == 4 ? argv[3] : nullptr);
  if (argc == 2 && std::strcmp(argv[0], "check") == 0) return Check(argv[1]);
  Help(stderr);
  return 2;
}
