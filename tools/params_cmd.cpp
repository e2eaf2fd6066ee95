// zrtool params - show and convert parameter trees.
//
//   zrtool params show IN [--from FORMAT]
//   zrtool params convert IN OUT [--from FORMAT] [--to FORMAT]
//
// Formats: text (the parameter text), string (its one-line string form),
// stream (the binary parameter stream). Files go through the library's file
// layer: Fio_Open reads, Fio_OpenOut writes and commits, so a failed
// conversion leaves OUT as it was. Text and string inputs are read by the
// library's text reader over the file itself, so #include directives are
// followed as Param_IniFile2Param follows them, and every item the reader
// passes over is reported with its file and line.
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "params/paramtext.h"
#include "params/textfile.h"
#include "zr/zrcore.h"

// tools/zrtool.cpp
int FileError(const char* path, const CXException& e);

namespace {

enum class Format { kNone, kText, kString, kStream };

const char* NameOf(Format f) {
  switch (f) {
    case Format::kText:
      return "text";
    case Format::kString:
      return "string";
    case Format::kStream:
      return "stream";
    default:
      return "?";
  }
}

Format ParseFormat(const char* name) {
  if (std::strcmp(name, "text") == 0) return Format::kText;
  if (std::strcmp(name, "string") == 0) return Format::kString;
  if (std::strcmp(name, "stream") == 0) return Format::kStream;
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
      "  text    the parameter text: [\\section] headers, name=value items, ';' comments,\n"
      "          #include NAME directives\n"
      "  string  its one-line string form (items each followed by '|')\n"
      "  stream  the binary parameter stream\n"
      "\n"
      "Without --from the input's format is taken from its content: a zero byte\n"
      "means a stream, a single line holding '|' a string, anything else text.\n"
      "Without --to the output's format follows OUT's extension: .bin a stream,\n"
      ".str a string, anything else text.\n"
      "\n"
      "Included files are looked for by their name (beside the including file\n"
      "when the name starts with '.') and in the folder of IN; the second wins.\n"
      "Items the reader passes over (before the first section, a value text its\n"
      "type does not accept, an include that does not open, ...) are reported as\n"
      "warnings with the file and the line; an unreadable stream is an error\n"
      "naming the file and the byte. OUT is replaced only when it is complete.\n",
      out);
}

// The whole content of `path` through Fio_Open.
std::string ReadAll(const CXStringW& path) {
  IXFile* file = Fio_Open(path, 0);
  if (!file) throw CXBadAlloc();
  std::string bytes(file->GetSize(), '\0');
  const ULONG got = bytes.empty() ? 0 : file->Read(bytes.data(), static_cast<int>(bytes.size()));
  file->Release();
  bytes.resize(got);
  return bytes;
}

// Writes `bytes` to `path` through a committing writer.
void WriteAll(const CXStringW& path, const std::string& bytes) {
  IXOutFile* file = Fio_OpenOut(path, ZRFILE_WRITE);
  if (!file) throw CXBadAlloc();
  try {
    if (!bytes.empty()) file->Write(bytes.data(), static_cast<int>(bytes.size()));
    file->Commit();
  } catch (...) {
    file->Release();  // not committed: the target is unchanged
    throw;
  }
  file->Release();
}

Format Detect(const std::string& content) {
  if (content.find('\0') != std::string::npos) return Format::kStream;
  std::string line = content;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.find('\n') == std::string::npos && line.find('|') != std::string::npos)
    return Format::kString;
  return Format::kText;
}

// Prints each item the text reader passes over as a warning.
class CWarnings final : public zr::CParamTextReport {
 public:
  void Skipped(zr::ParamTextSkip why, const WCHAR* file, int line, const char* item) override {
    static const char* const kWhy[] = {
        "stands before the first section",
        "has a value text its type does not accept",
        "is not a directive the reader knows",
        "names a file that does not open",
        "would include a file already being read, or nest too deep",
        "has more path components than the reader takes",
    };
    std::fprintf(stderr, "%s:%d: warning: '%s' %s; it is ignored\n",
                 static_cast<const char*>(CXString(file)), line, item, kWhy[static_cast<int>(why)]);
  }
};

IXStream* StreamOver(const std::string& bytes) {
  IXStream* s = new_StreamOnMemory();
  void* block = nullptr;
  if (s && s->QueryInterface(typeid(IMemBlock), &block)) {
    static_cast<IMemBlock*>(block)->SetData(bytes.data(), static_cast<unsigned>(bytes.size()));
    static_cast<IMemBlock*>(block)->Release();
  }
  return s;
}

// Reads `path` (whose content is `content`) of `format` into `tree`; false
// (with a message) when it cannot be read.
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
  // The string form is parameter text on one line: the same reader.
  IXFile* file = Fio_Open(CXStringW(path), 0);
  if (!file) throw CXBadAlloc();
  zr::CXFileTextSource source(file);
  zr::CFioIncludeOpener opener;
  CWarnings warnings;
  return zr::ReadParamText(source, tree, &opener, &warnings) == 1;
}

std::string StringFormOf(IParam* tree) {
  CXString form;
  Param_Param2String(tree, form);
  return std::string(static_cast<const char*>(form));
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

Format FormatOfPath(const char* path) {
  const char* dot = std::strrchr(path, '.');
  if (dot && std::strcmp(dot, ".bin") == 0) return Format::kStream;
  if (dot && std::strcmp(dot, ".str") == 0) return Format::kString;
  return Format::kText;
}

// `path` with the current folder before it when it is relative, so that the
// folder included files are looked for in is IN's folder (the reader takes
// the folder from the name; a bare name would have none).
std::string Absolute(const char* path) {
  if (path[0] == '/' || path[0] == '\\' || (path[0] && path[1] == ':')) return path;
  WCHAR folder[4096] = {};
  Fio_GetCurrentDirectory(folder, 4096);
  return std::string(static_cast<const char*>(CXString(folder))) + "/" + path;
}

// Reads IN, then shows it or writes OUT; the exit status.
int Run(bool show, const char* in, const char* out, Format from, Format to) {
  const char* failing = in;  // the file an exception is about
  IParam* tree = new_MemParam();
  int status = 1;
  try {
    const std::string content = ReadAll(CXStringW(in));
    if (from == Format::kNone) from = Detect(content);
    if (Load(in, content, from, tree)) {
      if (show) {
        Show(tree);
      } else {
        failing = out;
        if (to == Format::kNone) to = FormatOfPath(out);
        if (to == Format::kText)
          Param_Param2IniFile(tree, CXStringW(out));
        else
          WriteAll(CXStringW(out), to == Format::kStream ? StreamOf(tree) : StringFormOf(tree));
        std::fprintf(stderr, "%s (%s) -> %s (%s)\n", in, NameOf(from), out, NameOf(to));
      }
      status = 0;
    }
  } catch (const CXException& e) {
    status = FileError(failing, e);
  }
  tree->Release();
  return status;
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
        std::fprintf(stderr, "zrtool params: unknown format '%s' (text, string or stream)\n",
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
  const std::string in = Absolute(files[1]);
  return Run(show, in.c_str(), convert ? files[2] : nullptr, from, to);
}
