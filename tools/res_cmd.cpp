// zrtool res - the resources of a resource image.
//
//   zrtool res ls FILE.res|MODULE          every resource: type, name,
//                                          language, size
//   zrtool res show FILE KIND NAME [DICT]  a dialog, menu or string table
//                                          (KIND dialog, menu or string;
//                                          NAME a number or a name; a string
//                                          table's NAME is its block number),
//                                          translated with the dictionary
//                                          DICT (and its layout file) as the
//                                          interception translates it
//
// The resource key of a translation names the module by FILE's file name.
//
// FILE is a .res file (what windres writes) or a module that carries an
// image (zr_add_resources), loaded with LoadLibraryA.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pal/codepage.h"
#include "pal/module.h"
#include "pal/security/security.h"
#include "pal/user/dlgtemplate.h"
#include "pal/user/menu.h"
#include "pal/user/resfile.h"
#include "pal/user/resource.h"
#include "tools/commands.h"
#include "translation/dlgxl.h"
#include "translation/resource_key.h"
#include "translation/restrans.h"
#include "translation/table.h"

using namespace zrpal;

namespace {

std::string Utf8(const std::u16string& text) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

std::u16string Wide(const char* text) {
  std::u16string out;
  for (; *text; ++text) out.push_back(static_cast<unsigned char>(*text));
  return out;
}

// The image of FILE: a .res file read into memory, or a loaded module's.
struct Image {
  std::vector<std::uint32_t> words;  // a .res file, DWORD-aligned
  res::ResourceImage image;
  bool Open(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    // A .res file begins with its empty record: DataSize 0, HeaderSize 32.
    static const unsigned char kResStart[] = {0, 0, 0, 0, 0x20, 0, 0, 0};
    if (bytes.size() >= sizeof kResStart && std::memcmp(bytes.data(), kResStart, sizeof kResStart) == 0) {
      words.resize((bytes.size() + 3) / 4);
      std::memcpy(words.data(), bytes.data(), bytes.size());
      return res::ResourceImage::Open(words.data(), bytes.size(), &image) == res::Status::kOk;
    }
    HMODULE module = LoadLibraryA(path);
    if (!module) return false;
    const FARPROC data = GetProcAddress(module, kResourceImageSymbol);
    const FARPROC size = GetProcAddress(module, kResourceImageSizeSymbol);
    if (!data || !size) return false;
    std::size_t bytesInImage;
    std::memcpy(&bytesInImage, reinterpret_cast<const void*>(size), sizeof bytesInImage);
    return res::ResourceImage::Open(reinterpret_cast<const void*>(data), bytesInImage, &image) ==
           res::Status::kOk;
  }
};

// The type (type true) or name of a record as text: a known type's name,
// an ordinal's number, or the name itself. The identifiers follow the
// record's size fields; Open has checked that they fit before its data.
std::string TypeName(const res::ResourceRecord& r, bool type) {
  const res::ResourceId& id = type ? r.Type() : r.Name();
  if (id.IsOrdinal()) {
    if (type) {
      switch (id.Ordinal()) {
        case RT_MENU: return "MENU";
        case RT_DIALOG: return "DIALOG";
        case RT_STRING: return "STRINGTABLE";
        case RT_RCDATA: return "RCDATA";
        default: break;
      }
    }
    return std::to_string(id.Ordinal());
  }
  const BYTE* start = r.Start() + res::kPrefixSize;
  if (!type) {
    res::ResourceId skipped;
    res::ResourceId::Parse(start, r.Data(), &skipped, &start);
  }
  std::u16string text;
  for (const BYTE* q = start; q + 1 < r.Data(); q += 2) {
    const char16_t unit = static_cast<char16_t>(q[0] | q[1] << 8);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return Utf8(text);
}

int List(const char* path) {
  Image image;
  if (!image.Open(path)) {
    std::fprintf(stderr, "zrtool res: %s: no resource image\n", path);
    return 1;
  }
  image.image.ForEach([](const res::ResourceRecord& r) {
    std::printf("%-12s %-16s 0x%04x %u\n", TypeName(r, true).c_str(), TypeName(r, false).c_str(),
                r.Language(), r.DataSize());
    return true;
  });
  return 0;
}

std::string Field(const dlg::NameOrOrdinal& f) {
  switch (f.kind) {
    case dlg::NameOrOrdinal::Kind::kNone: return "-";
    case dlg::NameOrOrdinal::Kind::kOrdinal: return "#" + std::to_string(f.ordinal);
    case dlg::NameOrOrdinal::Kind::kText: return "\"" + Utf8(f.text) + "\"";
  }
  return "";
}

int ShowDialog(const void* data, std::size_t size) {
  dlg::DialogForm form;
  if (dlg::ParseDialogTemplate(data, size, &form) != dlg::ParseResult::kOk) {
    std::fprintf(stderr, "zrtool res: the dialog template does not parse\n");
    return 1;
  }
  std::printf("%s %d, %d, %d, %d style 0x%08x exstyle 0x%08x\n", form.extended ? "DIALOGEX" : "DIALOG",
              form.x, form.y, form.cx, form.cy, form.style, form.exStyle);
  std::printf("  caption %s menu %s class %s\n", Field(form.title).c_str(), Field(form.menu).c_str(),
              Field(form.windowClass).c_str());
  if (form.HasFont())
    std::printf("  font %u \"%s\" weight %u italic %u charset %u\n", form.pointSize,
                Utf8(form.face).c_str(), form.weight, form.italic, form.charset);
  for (const dlg::DialogItem& item : form.items) {
    std::printf("  %-6u %-10s %-24s %d, %d, %d, %d style 0x%08x", item.id, Field(item.windowClass).c_str(),
                Field(item.title).c_str(), item.x, item.y, item.cx, item.cy, item.style);
    if (!item.creationData.empty()) std::printf(" data %zu bytes", item.creationData.size());
    std::printf("\n");
  }
  return 0;
}

void PrintMenu(HMENU menu, int depth) {
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    WCHAR text[256];
    const int n = GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
    const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
    HMENU sub = GetSubMenu(menu, i);
    std::printf("%*s", depth * 2 + 2, "");
    if (sub) {
      std::printf("POPUP \"%s\"\n", Utf8(std::u16string(text, static_cast<std::size_t>(n))).c_str());
      PrintMenu(sub, depth + 1);
    } else if (state & MF_SEPARATOR) {
      std::printf("SEPARATOR\n");
    } else {
      std::printf("%-6u \"%s\"%s%s\n", GetMenuItemID(menu, i),
                  Utf8(std::u16string(text, static_cast<std::size_t>(n))).c_str(),
                  (state & MF_CHECKED) ? " checked" : "", (state & MF_GRAYED) ? " grayed" : "");
    }
  }
}

int ShowMenu(const res::ResourceRecord& r, zr::CTranslationTable* table, const char* key) {
  HMENU menu = LoadMenuFromTemplate(r.Data(), r.DataSize());
  if (!menu) {
    std::fprintf(stderr, "zrtool res: the menu template does not parse\n");
    return 1;
  }
  if (table) zr::TranslateMenu(table, menu, CXStringW(key));
  std::printf("MENU\n");
  PrintMenu(menu, 0);
  DestroyMenu(menu);
  return 0;
}

int ShowStrings(const void* data, std::size_t size, unsigned block) {
  for (unsigned i = 0; i < res::kStringsPerBlock; ++i) {
    res::StringEntry entry;
    if (!res::FindStringInBlock(static_cast<const BYTE*>(data), size, i, &entry)) {
      std::fprintf(stderr, "zrtool res: the string block is cut short\n");
      return 1;
    }
    if (entry.length == 0) continue;
    std::printf("%-6u \"%s\"\n", (block - 1) * res::kStringsPerBlock + i,
                Utf8(std::u16string(entry.text, entry.length)).c_str());
  }
  return 0;
}

int Show(const char* path, const char* kind, const char* name, const char* dict) {
  WORD type;
  if (std::strcmp(kind, "dialog") == 0) {
    type = RT_DIALOG;
  } else if (std::strcmp(kind, "menu") == 0) {
    type = RT_MENU;
  } else if (std::strcmp(kind, "string") == 0) {
    type = RT_STRING;
  } else {
    std::fprintf(stderr, "zrtool res: KIND is dialog, menu or string\n");
    return 2;
  }
  Image image;
  if (!image.Open(path)) {
    std::fprintf(stderr, "zrtool res: %s: no resource image\n", path);
    return 1;
  }
  char* end = nullptr;
  const unsigned long number = std::strtoul(name, &end, 10);
  const bool ordinal = *name && *end == '\0' && number <= 0xFFFF;
  const std::u16string wideName = Wide(name);
  res::ResourceRecord record;
  res::FindError error;
  if (!image.image.Find(res::ResourceKey(MAKEINTRESOURCEW(type)),
                        res::ResourceKey(ordinal ? MAKEINTRESOURCEW(static_cast<WORD>(number))
                                                 : wideName.c_str()),
                        0, &record, &error)) {
    std::fprintf(stderr, "zrtool res: no %s %s\n", kind, name);
    return 1;
  }
  const unsigned block = ordinal ? static_cast<unsigned>(number) : 1;
  if (!dict) {
    if (type == RT_DIALOG) return ShowDialog(record.Data(), record.DataSize());
    if (type == RT_MENU) return ShowMenu(record, nullptr, nullptr);
    return ShowStrings(record.Data(), record.DataSize(), block);
  }
  zr::CTranslationTable table;
  if (!table.Load(Wide(dict).c_str())) {
    std::fprintf(stderr, "zrtool res: %s: cannot read the dictionary\n", dict);
    return 1;
  }
  const int resourceKind = type == RT_DIALOG ? zr::kResourceKindDialog
                           : type == RT_MENU ? zr::kResourceKindMenu
                                             : zr::kResourceKindStringTable;
  const CXString key = zr::ResourceKeyA(path, resourceKind,
                                        ordinal ? MAKEINTRESOURCEA(static_cast<WORD>(number)) : name);
  if (type == RT_MENU) return ShowMenu(record, &table, key);
  DWORD size = 0;
  if (type == RT_DIALOG) {
    void* copy = zr::TranslateDialogTemplate(&table, record.Data(), record.DataSize(),
                                             table.FindLayout(zr::ResourceKeyHash(key)), &size, key);
    if (!copy) {
      std::fprintf(stderr, "zrtool res: the dialog template does not parse\n");
      return 1;
    }
    const int rc = size ? ShowDialog(copy, size) : ShowDialog(record.Data(), record.DataSize());
    if (size) std::free(copy);
    return rc;
  }
  void* copy = zr::TranslateStringTableBlock(&table, record.Data(), static_cast<DWORD>(record.DataSize()), key, &size);
  if (!copy) return 1;
  const int rc = ShowStrings(copy, size, block);
  LocalFree(copy);
  return rc;
}

}  // namespace

int ResCommand(int argc, char** argv) {
  if (argc >= 1 && std::strcmp(argv[0], "--help") == 0) {
    std::printf("usage: zrtool res ls FILE.res|MODULE\n"
                "       zrtool res show FILE dialog|menu|string NAME [DICT]\n");
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[0], "ls") == 0) return List(argv[1]);
  if ((argc == 4 || argc == 5) && std::strcmp(argv[0], "show") == 0)
    return Show(argv[1], argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
  std::fprintf(stderr, "usage: zrtool res ls FILE | zrtool res show FILE KIND NAME [DICT]\n");
  return 2;
}
