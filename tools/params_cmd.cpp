// zrtool params - show and convert parameter trees.
//
//   zrtool params show IN [--from FORMAT]
//   zrtool params convert IN OUT [--from FORMAT] [--to FORMAT]
//
// Formats: text (the parameter text), string (its one-line string form),
// stream (the binary parameter stream), ini (an INI file through the INI-file
// back-end). Files other than INI files are read and written with plain C++
// file I/O here; the library's own file layer (Fio_Open, Param_IniFile2Param,
// Param_Param2IniFile) takes over when it lands, and with it #include
// directives, which are not followed yet.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tools/remote_copy.h"
#include "zr/zrcore.h"

// tools/reg_cmd.cpp: a tree over a registry key named IN or OUT (1), a key
// that cannot be opened (0, reported), or no key name (-1).
int RegistryTree(const char* name, bool create, IParam** tree);
// tools/storage_tree.cpp: the same for a tree inside a compound file.
int StorageTree(const char* name, bool create, IParam** tree);

namespace {

enum class Format { kNone, kText, kString, kStream, kIni };

const char* NameOf(Format f) {
  switch (f) {
    case Format::kText:
      return "text";
    case Format::kString:
      return "string";
    case Format::kStream:
      return "stream";
    case Format::kIni:
      return "ini";
    default:
      return "?";
  }
}

Format ParseFormat(const char* name) {
  if (std::strcmp(name, "text") == 0) return Format::kText;
  if (std::strcmp(name, "string") == 0) return Format::kString;
  if (std::strcmp(name, "stream") == 0) return Format::kStream;
  if (std::strcmp(name, "ini") == 0) return Format::kIni;
  return Format::kNone;
}

void Help(std::FILE* out) {
  std::fputs(
      "usage: zrtool params show IN [--from FORMAT]\n"
      "       zrtool params convert IN OUT [--from FORMAT] [--to FORMAT]\n"
      "\n"
      "Reads a parameter tree and prints it (show) or writes it in another\n"
      "format (convert).\n"
      "\n"
      "FORMAT is one of\n"
      "  text    the parameter text: [\\section] headers, name=value items, ';' comments\n"
      "  string  its one-line string form (items each followed by '|')\n"
      "  stream  the binary parameter stream\n"
      "  ini     an INI file: node \\a\\b is section [\\a\\b], values are keys\n"
      "          holding the value text (a key @=e marks each section)\n"
      "\n"
      "Without --from the input's format is taken from its name and content: the\n"
      "extension .ini means an INI file, a zero byte a stream, a single line\n"
      "holding '|' a string, anything else text. Without --to the output's format\n"
      "follows OUT's extension: .ini an INI file, .bin a stream, .str a string,\n"
      "anything else text. An INI file written replaces OUT.\n"
      "\n"
      "Items the text reader skips (before the first section, or a value text\n"
      "that its type does not accept) are reported as warnings with the file and\n"
      "line; an unreadable stream is an error naming the file and the byte.\n"
      "\n"
      "IN and OUT may also name a registry key (HKEY_CURRENT_USER\\path,\n"
      "HKEY_LOCAL_MACHINE\\path, or HKCU\\path, HKLM\\path): a key read, or a\n"
      "key made and replaced by the tree. IN may be an ftp:// name (read from a\n"
      "downloaded copy).\n"
      "\n"
      "IN and OUT may name a tree in a compound file: FILE::PATH (PATH a\n"
      "backslash path of sub-storages), or the whole file (IN a compound file,\n"
      "OUT a name ending in .stg or .cfb); an output node is replaced.\n"
      "\n"
      "Files are read and written with plain C++ file I/O for now, and #include\n"
      "directives are not followed yet; text output is rebuilt from the string form.\n",
      out);
}

bool ReadFile(const char* path, std::string* content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteFile(const char* path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(out);
}

Format Detect(const std::string& content) {
  if (content.find('\0') != std::string::npos) return Format::kStream;
  std::string line = content;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.find('\n') == std::string::npos && line.find('|') != std::string::npos)
    return Format::kString;
  return Format::kText;
}

// The items of one line as the text reader splits them (no comments).
std::vector<std::string> ItemsOf(const std::string& line) {
  std::vector<std::string> items;
  std::stringstream split(line);
  std::string item;
  while (std::getline(split, item, '|')) {
    const std::size_t first = item.find_first_not_of(" \t\r\n\v\f");
    if (first == std::string::npos) continue;
    const std::size_t last = item.find_last_not_of(" \t\r\n\v\f");
    item = item.substr(first, last - first + 1);
    if (item[0] == ';') break;
    items.push_back(item);
  }
  return items;
}

// Warnings for the items the reader will skip, with their line. Each value
// item is read alone by the library into a scratch tree: the library's own
// rules decide.
void Lint(const char* path, const std::string& content) {
  std::stringstream lines(content);
  std::string line;
  bool inSection = false;
  for (int number = 1; std::getline(lines, line); ++number) {
    for (const std::string& item : ItemsOf(line)) {
      if (item.size() <= 1 || item[0] == '#') continue;
      if (item[0] == '[') {
        inSection = true;
        continue;
      }
      if (!inSection) {
        std::fprintf(stderr,
                     "%s:%d: warning: '%s' stands before the first section and is ignored\n", path,
                     number, item.c_str());
        continue;
      }
      const std::size_t equals = item.find('=');
      if (equals == std::string::npos) continue;
      IParam* scratch = new_MemParam();
      CXString one(("[\\]|v=" + item.substr(equals + 1)).c_str());
      Param_String2Param(one, scratch);
      CZRVariant value;
      if (!scratch->GetValue("v", &value))
        std::fprintf(stderr,
                     "%s:%d: warning: the value text of '%s' is not readable and is ignored\n",
                     path, number, item.c_str());
      scratch->Release();
    }
  }
}

IXStream* StreamOver(const std::string& bytes) {
  IXStream* s = new_StreamOnMemory();
  void* block = nullptr;
  if (s && s->QueryInterface(typeid(IMemBlock), &block)) {
    static_cast<IMemBlock*>(block)->SetData(bytes.data(), static_cast<unsigned>(bytes.size()));
    static_cast<IMemBlock*>(block)->Release();
  }
  return s;
}

// Reads `content` of `format` into `tree`; false (with a message) when it
// cannot be read.
bool Load(const char* path, const std::string& content, Format format, IParam* tree) {
  if (format == Format::kStream) {
    IXStream* s = StreamOver(content);
    int ok = 0;
    try {
      ok = LoadParamFromXStream(s, tree);
    } catch (const CXException&) {
      ok = 0;
    }
    const ULONG at = s->GetPosition();
    s->Release();
    if (!ok)
      std::fprintf(stderr, "%s: error: unreadable parameter stream (record ending at byte %u)\n",
                   path, at);
    return ok == 1;
  }
  if (format == Format::kText) Lint(path, content);
  CXString text(content.c_str());
  return Param_String2Param(text, tree) == 1;
}

std::string StringFormOf(IParam* tree) {
  CXString form;
  Param_Param2String(tree, form);
  return std::string(static_cast<const char*>(form));
}

// The parameter text, one section per line as the library writes it:
// "\r\n[" path "]\t", then "\t| " name=value text for each value.
std::string TextOf(IParam* tree) {
  std::string text;
  std::stringstream items(StringFormOf(tree));
  std::string item;
  while (std::getline(items, item, '|')) {
    const std::size_t last = item.find_last_not_of(" \t");
    item.erase(last == std::string::npos ? 0 : last + 1);
    if (item.empty()) continue;
    if (item[0] == '[')
      text += "\r\n" + item + "\t";
    else
      text += "\t| " + item;
  }
  return text;
}

std::string StreamOf(IParam* tree) {
  IXStream* s = new_StreamOnMemory();
  SaveParamToXStream(s, tree);
  void* block = nullptr;
  std::string bytes;
  if (s->QueryInterface(typeid(IMemBlock), &block)) {
    auto* memory = static_cast<IMemBlock*>(block);
    const char* data = static_cast<const char*>(memory->GetData());
    if (data) bytes.assign(data, memory->GetSize());
    memory->Release();
  }
  s->Release();
  return bytes;
}

// One section per line, each value on its own indented line.
void Show(IParam* tree) {
  std::stringstream items(StringFormOf(tree));
  std::string item;
  while (std::getline(items, item, '|')) {
    const std::size_t last = item.find_last_not_of(" \t");
    item.erase(last == std::string::npos ? 0 : last + 1);
    if (item.empty()) continue;
    std::printf(item[0] == '[' ? "%s\n" : "  %s\n", item.c_str());
  }
}

bool HasIniExtension(const char* path) {
  const char* dot = std::strrchr(path, '.');
  return dot && (std::strcmp(dot, ".ini") == 0 || std::strcmp(dot, ".INI") == 0);
}

// The INI-file tree of `path` (created when the file is missing).
IParam* IniTree(const char* path) {
  const CXStringW wide(path);
  return new_IParamIniFile(wide);
}

Format FormatOfPath(const char* path) {
  const char* dot = std::strrchr(path, '.');
  if (HasIniExtension(path)) return Format::kIni;
  if (dot && std::strcmp(dot, ".bin") == 0) return Format::kStream;
  if (dot && std::strcmp(dot, ".str") == 0) return Format::kString;
  return Format::kText;
}

}  // namespace

int ParamsCommand(int argc, char** argv) {
  std::vector<const char*> files;
  Format from = Format::kNone, to = Format::kNone;
  for (int i = 0; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      Help(stdout);
      return 0;
    }
    if ((std::strcmp(a, "--from") == 0 || std::strcmp(a, "--to") == 0) && i + 1 < argc) {
      const Format f = ParseFormat(argv[++i]);
      if (f == Format::kNone) {
        std::fprintf(stderr, "zrtool params: unknown format '%s' (text, string, stream or ini)\n",
                     argv[i]);
        return 2;
      }
      (a[2] == 'f' ? from : to) = f;
      continue;
    }
    files.push_back(a);
  }
  const bool show = !files.empty() && std::strcmp(files[0], "show") == 0 && files.size() == 2;
  const bool convert = !files.empty() && std::strcmp(files[0], "convert") == 0 && files.size() == 3;
  if (!show && !convert) {
    Help(stderr);
    return 2;
  }
  const char* in = files[1];
  IParam* tree = nullptr;
  int registryIn = StorageTree(in, false, &tree);
  if (registryIn < 0) registryIn = RegistryTree(in, false, &tree);
  if (registryIn == 0) return 1;
  std::string content;
  const RemoteCopy local(registryIn < 0 ? in : "");  // an ftp:// name is read from a copy
  if (!local.Ok()) return 1;
  if (registryIn < 0 && !ReadFile(local.Path().c_str(), &content)) {
    std::fprintf(stderr, "%s: error: cannot read the file (%s)\n", in, std::strerror(errno));
    return 1;
  }
  if (from == Format::kNone && registryIn < 0) from = HasIniExtension(in) ? Format::kIni : Detect(content);
  if (!tree) tree = new_MemParam();
  bool loaded = true;
  if (registryIn > 0) {
    // Read straight from the registry key.
  } else if (from == Format::kIni) {
    // The back-end writes its section markers into the file it opens: the
    // tree is read from a copy, so that the input stays as it was. It is
    // copied into memory, so that every output is written from one kind of
    // tree (the markers become empty "@" values).
    const std::string copy = (std::filesystem::temp_directory_path() /
                              ("zrtool-" + std::to_string(std::random_device()()) + ".ini"))
                                 .string();
    loaded = WriteFile(copy.c_str(), content);
    if (loaded) {
      IParam* ini = IniTree(copy.c_str());
      Param_CopyTo(ini, tree);
      ini->Release();
    }
    std::error_code ignored;
    std::filesystem::remove(copy, ignored);
    std::filesystem::remove(copy + ".lock", ignored);
    if (!loaded) std::fprintf(stderr, "%s: error: cannot copy the file to read it\n", in);
  } else {
    loaded = Load(in, content, from, tree);
  }
  int status = loaded ? 0 : 1;
  IParam* target = nullptr;
  if (loaded && show) {
    Show(tree);
  } else if (loaded && (StorageTree(files[2], true, &target) >= 0 ||
                        RegistryTree(files[2], true, &target) >= 0)) {
    // Into a registry key or a storage: it is replaced by the tree, as a
    // file would be.
    if (target) {
      target->DeleteAllParams();
      target->DeleteAllValues();
      Param_CopyTo(tree, target);
      target->Release();
    }
    status = target ? 0 : 1;
  } else if (loaded) {
    const char* out = files[2];
    if (to == Format::kNone) to = FormatOfPath(out);
    bool written = true;
    if (to == Format::kIni) {
      std::remove(out);
      IParam* ini = IniTree(out);
      Param_CopyTo(tree, ini);
      ini->Release();
      std::FILE* check = std::fopen(out, "rb");
      written = check != nullptr;
      if (check) std::fclose(check);
    } else {
      const std::string bytes = to == Format::kStream   ? StreamOf(tree)
                                : to == Format::kString ? StringFormOf(tree)
                                                        : TextOf(tree);
      written = WriteFile(out, bytes);
    }
    if (!written) {
      std::fprintf(stderr, "%s: error: cannot write the file (%s)\n", out, std::strerror(errno));
      status = 1;
    } else {
      std::fprintf(stderr, "%s (%s) -> %s (%s)\n", in, NameOf(from), out, NameOf(to));
    }
  }
  tree->Release();
  return status;
}
