// zrtool reg - the registry's keys as text a person can read and edit.
//
//   zrtool reg export KEY FILE   writes KEY and everything below it
//   zrtool reg import FILE       creates and sets what FILE holds
//
// KEY is HKEY_CURRENT_USER\path or HKEY_LOCAL_MACHINE\path (HKCU and HKLM
// for short). FILE is in the text format of registry export files:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Example]
//   @="the default value"
//   "name"="text"                   REG_SZ (\\ and \" escaped)
//   "count"=dword:0000002a          REG_DWORD
//   "data"=hex:01,02,ff             REG_BINARY, long lines continued with "\"
//   "other"=hex(7):41,00,00,00      any other type, its number in hexadecimal
//   "old"=-                         (import) deletes the value
//   [-HKEY_CURRENT_USER\Software\Gone]   (import) deletes the key and its subtree
//
// Differences from regedit's files: they are written in UTF-8 (regedit
// writes UTF-16LE); import reads UTF-8 and UTF-16LE with its byte-order mark,
// and "REGEDIT4" files. Lines end with CR LF; import takes LF too. Text
// values holding line breaks or zeros are written as hex(1).
//
// The registry functions belong to the library's platform layer, which the
// shared library does not export: zrtool links the library's static twin.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pal/codepage.h"
#include "pal/registry/registry.h"
#include "zr/param.h"
#include "zr/regparam.h"

using namespace zrpal;

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kOldHeader = "REGEDIT4";
constexpr const char* kEol = "\r\n";
constexpr std::size_t kLineWidth = 77;  // hex lines wrap there, as regedit's do
constexpr unsigned kMaxDepth = 512;     // the registry's own depth limit

// Where import reports the lines it cannot take (the fuzz target silences it).
std::FILE* g_importReports = stderr;

std::string Utf8(const std::u16string& text) {
  if (text.empty()) return {};
  const int n = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), n, out.data(), bytes, nullptr, nullptr);
  return out;
}

std::u16string Utf16(const std::string& text) {
  if (text.empty()) return {};
  const int n = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), n, nullptr, 0);
  std::u16string out(static_cast<std::size_t>(units), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), n, out.data(), units);
  return out;
}

// A key named on the command line or in a section header: its root and
// path; false for a name that starts with neither hive.
bool ParseKeyName(const std::string& name, HKEY* root, std::string* rootName, std::string* path) {
  static const struct {
    const char* name;
    HKEY key;
    const char* full;
  } kRoots[] = {
      {"HKEY_CURRENT_USER", HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
      {"HKCU", HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
      {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
      {"HKLM", HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
  };
  const std::string head = name.substr(0, name.find('\\'));
  for (const auto& r : kRoots) {
    if (strcasecmp(head.c_str(), r.name) != 0) continue;
    *root = r.key;
    *rootName = r.full;
    *path = head.size() < name.size() ? name.substr(head.size() + 1) : "";
    return true;
  }
  return false;
}

// --- Export ----------------------------------------------------------------

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

// REG_SZ data that reads back the same from "text": whole UTF-16 units,
// one terminator at the end, and no zero or line break before it.
bool IsPlainText(const std::vector<BYTE>& data, std::u16string* text) {
  if (data.size() < 2 || data.size() % 2) return false;
  text->assign(reinterpret_cast<const char16_t*>(data.data()), data.size() / 2);
  if (text->back() != 0) return false;
  text->pop_back();
  return text->find_first_of(std::u16string(u"\r\n\0", 3)) == std::u16string::npos;
}

// `column`: where on its line the data starts (after the name and "=").
std::string DataText(DWORD type, const std::vector<BYTE>& data, std::size_t column) {
  std::u16string text;
  if (type == REG_SZ && IsPlainText(data, &text)) return Quoted(Utf8(text));
  char buffer[32];
  if (type == REG_DWORD && data.size() == 4) {
    DWORD value;
    std::memcpy(&value, data.data(), 4);
    std::snprintf(buffer, sizeof buffer, "dword:%08x", value);
    return buffer;
  }
  std::string out = type == REG_BINARY ? "hex:" : "";
  if (type != REG_BINARY) {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", type);
    out = buffer;
  }
  column += out.size();
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", data[i]);
    out += buffer;
    column += 2;
    if (i + 1 == data.size()) break;
    out += ',';
    if (++column >= kLineWidth) {
      out += "\\";
      out += kEol;
      out += "  ";
      column = 2;
    }
  }
  return out;
}

bool ExportKey(HKEY key, const std::string& name, unsigned depth, std::string* out) {
  *out += kEol;
  *out += "[" + name + "]" + kEol;
  DWORD maxName = 0, maxData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                       &maxData, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  std::vector<WCHAR> valueName(maxName + 1);
  std::vector<BYTE> data(maxData);
  for (DWORD i = 0;; ++i) {
    DWORD length = maxName + 1, size = maxData, type = 0;
    const LSTATUS rc =
        RegEnumValueW(key, i, valueName.data(), &length, nullptr, &type, data.data(), &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return false;  // changed under us
    const std::u16string n(valueName.data(), length);
    const std::string left = (n.empty() ? "@" : Quoted(Utf8(n))) + "=";
    const std::vector<BYTE> bytes(data.begin(), data.begin() + size);
    *out += left + DataText(type, bytes, left.size()) + kEol;
  }
  if (depth >= kMaxDepth) return true;
  WCHAR subName[kMaxKeyNameLength + 1];
  for (DWORD i = 0;; ++i) {
    DWORD length = kMaxKeyNameLength + 1;
    const LSTATUS rc = RegEnumKeyExW(key, i, subName, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    HKEY sub = nullptr;
    if (rc != ERROR_SUCCESS || RegOpenKeyExW(key, subName, 0, KEY_READ, &sub) != ERROR_SUCCESS)
      return false;
    const bool ok =
        ExportKey(sub, name + "\\" + Utf8(std::u16string(subName, length)), depth + 1, out);
    RegCloseKey(sub);
    if (!ok) return false;
  }
  return true;
}

int Export(const std::string& keyName, const char* file) {
  HKEY root = nullptr;
  std::string rootName, path;
  if (!ParseKeyName(keyName, &root, &rootName, &path)) {
    std::fprintf(
        stderr, "zrtool reg: '%s' names no key (HKEY_CURRENT_USER\\..., HKEY_LOCAL_MACHINE\\...)\n",
        keyName.c_str());
    return 2;
  }
  HKEY key = nullptr;
  const LSTATUS rc = RegOpenKeyExW(root, Utf16(path).c_str(), 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) {
    std::fprintf(stderr, "zrtool reg: cannot open %s (error %d)\n", keyName.c_str(), rc);
    return 1;
  }
  std::string text = std::string(kHeader) + kEol;
  const bool ok = ExportKey(key, path.empty() ? rootName : rootName + "\\" + path, 0, &text);
  RegCloseKey(key);
  if (!ok) {
    std::fprintf(stderr, "zrtool reg: %s could not be read whole\n", keyName.c_str());
    return 1;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text << kEol;
  if (!out) {
    std::fprintf(stderr, "%s: error: cannot write the file\n", file);
    return 1;
  }
  return 0;
}

// --- Import ----------------------------------------------------------------

// The file as UTF-8 lines, continuations joined.
std::vector<std::string> LogicalLines(std::string content) {
  if (content.size() >= 2 && BYTE(content[0]) == 0xFF && BYTE(content[1]) == 0xFE) {
    std::u16string units((content.size() - 2) / 2, u'\0');
    std::memcpy(units.data(), content.data() + 2, units.size() * 2);
    content = Utf8(units);
  } else if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    content.erase(0, 3);
  }
  std::vector<std::string> lines;
  std::string line;
  bool continued = false;
  for (std::size_t at = 0; at <= content.size();) {
    std::size_t end = content.find('\n', at);
    if (end == std::string::npos) end = content.size();
    std::string piece = content.substr(at, end - at);
    at = end + 1;
    while (!piece.empty() && (piece.back() == '\r' || piece.back() == ' ')) piece.pop_back();
    if (continued) piece.erase(0, piece.find_first_not_of(" \t"));
    line += piece;
    // Only hex data continues: a quoted text may end in a backslash of its own.
    continued = !line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos;
    if (continued) line.pop_back();
    if (!continued) {
      lines.push_back(line);
      line.clear();
    }
  }
  return lines;
}

// A quoted name or text at `at`, escapes undone; false when unterminated.
bool ReadQuoted(const std::string& line, std::size_t* at, std::string* text) {
  text->clear();
  for (std::size_t i = *at + 1; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      *text += line[++i];
    } else if (line[i] == '"') {
      *at = i + 1;
      return true;
    } else {
      *text += line[i];
    }
  }
  return false;
}

bool ReadHex(const std::string& text, std::vector<BYTE>* data) {
  data->clear();
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t comma = text.find(',', at);
    std::string byte = text.substr(at, comma - at);
    byte.erase(0, byte.find_first_not_of(" \t"));
    while (!byte.empty() && (byte.back() == ' ' || byte.back() == '\t')) byte.pop_back();
    char* end = nullptr;
    const unsigned long value = std::strtoul(byte.c_str(), &end, 16);
    if (byte.empty() || byte.size() > 2 || *end) return false;
    data->push_back(static_cast<BYTE>(value));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return true;
}

// The type and data of a value's text; false when it cannot be read.
bool ReadData(const std::string& text, DWORD* type, std::vector<BYTE>* data) {
  if (!text.empty() && text[0] == '"') {
    std::size_t at = 0;
    std::string value;
    if (!ReadQuoted(text, &at, &value) || at != text.size()) return false;
    std::u16string units = Utf16(value);
    units.push_back(u'\0');
    *type = REG_SZ;
    data->assign(reinterpret_cast<const BYTE*>(units.data()),
                 reinterpret_cast<const BYTE*>(units.data() + units.size()));
    return true;
  }
  char* end = nullptr;
  if (text.compare(0, 6, "dword:") == 0) {
    const DWORD value = static_cast<DWORD>(std::strtoul(text.c_str() + 6, &end, 16));
    if (text.size() == 6 || text.size() > 14 || *end) return false;
    *type = REG_DWORD;
    data->assign(reinterpret_cast<const BYTE*>(&value), reinterpret_cast<const BYTE*>(&value) + 4);
    return true;
  }
  if (text.compare(0, 4, "hex:") == 0) {
    *type = REG_BINARY;
    return ReadHex(text.substr(4), data);
  }
  if (text.compare(0, 4, "hex(") == 0) {
    *type = static_cast<DWORD>(std::strtoul(text.c_str() + 4, &end, 16));
    if (end == text.c_str() + 4 || std::strncmp(end, "):", 2) != 0) return false;
    return ReadHex(end + 2, data);
  }
  return false;
}

// Deletes `path` below `root` with its subtree, bottom-up.
LSTATUS DeleteTree(HKEY parent, const std::u16string& name, unsigned depth) {
  HKEY key = nullptr;
  LSTATUS rc = RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | DELETE, &key);
  if (rc != ERROR_SUCCESS) return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
  WCHAR sub[kMaxKeyNameLength + 1];
  DWORD length = kMaxKeyNameLength + 1;
  while (depth < kMaxDepth &&
         RegEnumKeyExW(key, 0, sub, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    rc = DeleteTree(key, std::u16string(sub, length), depth + 1);
    if (rc != ERROR_SUCCESS) break;
    length = kMaxKeyNameLength + 1;
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? RegDeleteKeyW(parent, name.c_str()) : rc;
}

int Import(const char* file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "%s: error: cannot read the file\n", file);
    return 1;
  }
  const std::vector<std::string> lines = LogicalLines(
      std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  std::size_t number = 0;
  while (number < lines.size() && lines[number].empty()) ++number;
  if (number == lines.size() || (lines[number] != kHeader && lines[number] != kOldHeader)) {
    std::fprintf(stderr, "%s: error: not a registry file (no '%s' line)\n", file, kHeader);
    return 1;
  }
  HKEY current = nullptr;
  int errors = 0;
  auto fail = [&](std::size_t line, const char* what) {
    std::fprintf(g_importReports, "%s:%zu: error: %s\n", file, line + 1, what);
    ++errors;
  };
  for (++number; number < lines.size(); ++number) {
    const std::string& line = lines[number];
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (current) RegCloseKey(current);
      current = nullptr;
      const bool remove = line.size() > 1 && line[1] == '-';
      const std::string name = line.substr(remove ? 2 : 1, line.rfind(']') - (remove ? 2 : 1));
      HKEY root = nullptr;
      std::string rootName, path;
      if (line.back() != ']' || !ParseKeyName(name, &root, &rootName, &path) || path.empty()) {
        fail(number, "a section must name a key below HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE");
      } else if (remove) {
        if (DeleteTree(root, Utf16(path), 0) != ERROR_SUCCESS)
          fail(number, "cannot delete the key");
      } else if (RegCreateKeyExW(root, Utf16(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 &current, nullptr) != ERROR_SUCCESS) {
        fail(number, "cannot create the key");
      }
      continue;
    }
    std::string name;
    std::size_t at = 1;
    if (line[0] == '@') {
      name.clear();
    } else if (line[0] != '"' || !(at = 0, ReadQuoted(line, &at, &name))) {
      fail(number, "a value line starts with @ or a quoted name");
      continue;
    }
    if (at >= line.size() || line[at] != '=') {
      fail(number, "'=' expected after the value's name");
      continue;
    }
    if (!current) continue;  // below a section that failed: reported there
    const std::string text = line.substr(at + 1);
    const std::u16string valueName = Utf16(name);
    DWORD type = 0;
    std::vector<BYTE> data;
    if (text == "-") {
      const LSTATUS rc = RegDeleteValueW(current, valueName.c_str());
      if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        fail(number, "cannot delete the value");
    } else if (!ReadData(text, &type, &data)) {
      fail(number, "unreadable value (\"text\", dword:, hex: or hex(n): expected)");
    } else if (RegSetValueExW(current, valueName.c_str(), 0, type, data.data(),
                              static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
      fail(number, "cannot set the value");
    }
  }
  if (current) RegCloseKey(current);
  return errors ? 1 : 0;
}

void Help(std::FILE* out) {
  std::fputs(
      "usage: zrtool reg export KEY FILE\n"
      "       zrtool reg import FILE\n"
      "\n"
      "KEY is HKEY_CURRENT_USER\\path or HKEY_LOCAL_MACHINE\\path (HKCU, HKLM).\n"
      "FILE is a registry export file (\"Windows Registry Editor Version 5.00\"),\n"
      "written in UTF-8; import also reads UTF-16LE files and REGEDIT4 files.\n"
      "The hives are kept in $ZR_REGISTRY_USER and $ZR_REGISTRY_MACHINE when\n"
      "these are set.\n",
      out);
}

}  // namespace

int RegCommand(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[0], "export") == 0) return Export(argv[1], argv[2]);
  if (argc == 2 && std::strcmp(argv[0], "import") == 0) return Import(argv[1]);
  const bool help =
      argc == 1 && (std::strcmp(argv[0], "--help") == 0 || std::strcmp(argv[0], "-h") == 0);
  Help(help ? stdout : stderr);
  return help ? 0 : 2;
}

// A parameter tree over a registry key named like KEY above: 1 and *tree,
// 0 when the key cannot be opened (or made, with `create`; reported), -1
// when `name` names no key.
int RegistryTree(const char* name, bool create, IParam** tree) {
  HKEY root = nullptr;
  std::string rootName, path;
  if (!ParseKeyName(name, &root, &rootName, &path)) return -1;
  const std::u16string wide = Utf16(path);
  if (create) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, wide.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS)
      RegCloseKey(key);
  }
  *tree = root == HKEY_CURRENT_USER ? new_IParamCUReg(wide.c_str()) : new_IParamLMReg(wide.c_str());
  if (!*tree) std::fprintf(stderr, "zrtool: cannot open the registry key %s\n", name);
  return *tree ? 1 : 0;
}
