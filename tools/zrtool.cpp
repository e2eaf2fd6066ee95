// zrtool - the library's command-line tool.
//
//   zrtool info            the library version, its start-up state and the
//                          classes registered with it
//   zrtool COMMAND --help  each command family (file, params, reg, ...)
//                          explains its commands
//
// The tool carries the library itself (the static twin, start-up list
// included): it lists what the class registry holds, which the exported
// interface answers only by name, and reaches the platform layer's
// registry and compound files, which the shared library does not export.
// Each command family lives in a file of its own (tools/commands.h).
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

#include "core/registry.h"
#include "zr/zrcore.h"

#include "tools/commands.h"

namespace {

// The state the library's start-up leaves behind. False when the default
// heap is missing or does not serve a block.
bool PrintStartupState() {
  // Every exception carries the library's module handle.
  const CXException probe(0);
  std::printf("module handle:     %p\n", static_cast<void*>(probe.GetModule()));

  IHeap* heap = Mem_DefaultHeap(0);
  bool heapWorks = false;
  if (heap) {
    void* block = heap->Alloc(16);
    heapWorks = block && heap->GetSize(block) == 16;
    if (block) heap->Free(block);
  }
  std::printf("default heap:      %s (%p, %d header bytes per block)\n",
              heapWorks ? "ready" : "NOT WORKING", static_cast<void*>(heap),
              heap ? heap->GetOverhead(0) : 0);

  std::uint64_t bytes = 0;
  ULONG operations = 0;
  Get_CoreActivity(&bytes, &operations);
  std::printf("heap activity:     %" PRIu64 " bytes, %u operations (this process)\n", bytes,
              operations);
  return heapWorks;
}

// The classes the library's class registry holds, as the registry lists
// them: each with the module it comes from and whether it creates an object
// (asked for IZRUnknown, which every factory answers). False when the
// registry is empty or a class does not create.
bool PrintRegisteredClasses() {
  struct Listed {
    std::string name;
    std::string module;
  };
  std::vector<Listed> classes;
  zr::ForEachRegisteredClass([&](const zr::RegisteredClass& c) {
    classes.push_back({c.name, *c.modulePath ? c.modulePath : "registered by handle"});
  });
  std::printf("registered classes: %zu\n", classes.size());
  // Creating may load a module, whose start-up may register classes: the
  // names are collected first.
  bool ok = !classes.empty();
  for (const Listed& c : classes) {
    IZRUnknown* object = nullptr;
    const bool created =
        CreateObject(c.name.c_str(), nullptr, typeid(IZRUnknown), &object) == 1 && object;
    if (object) object->Release();
    std::printf("  %-26s %-16s (%s)\n", c.name.c_str(), created ? "creates" : "DOES NOT CREATE",
                c.module.c_str());
    ok = ok && created;
  }
  return ok;
}

// --- zrtool file -------------------------------------------------------------

}  // namespace

static const char* CauseText(DWORD cause) {
  switch (cause) {
    case ZRCAUSE_NOMEMORY: return "out of memory or resources";
    case ZRCAUSE_VOLUMEFULL: return "volume full";
    case ZRCAUSE_EOF: return "end of file";
    case ZRCAUSE_BADSEEK: return "bad seek";
    case ZRCAUSE_FILENOTFOUND: return "file not found";
    case ZRCAUSE_BADPATH: return "bad path or name";
    case ZRCAUSE_SHARING: return "sharing or lock violation";
    case ZRCAUSE_ACCESSDENIED: return "access denied";
    case ZRCAUSE_DEVICE: return "device or media error";
    case ZRCAUSE_NETWORK: return "network error";
    case ZRCAUSE_TOOMANYFILES: return "too many open files";
    default: return "operating-system error";
  }
}

// Wide text as UTF-8 for printing (through the library's own conversion).
static CXString Narrow(const WCHAR* text) { return CXString(text); }

int FileError(const char* path, const CXException& e) {
  const auto* file = dynamic_cast<const CXFileException*>(&e);
  std::fprintf(stderr, "zrtool: %s: %s (cause %u", path, CauseText(e.GetCause()), e.GetCause());
  if (file) std::fprintf(stderr, ", operation %u", file->GetOperation());
  std::fprintf(stderr, ")\n");
  return 1;
}

namespace {

int FileInfo(const char* path) {
  const CXStringW wide(path);
  try {
    FioFileInfo info;
    Fio_GetFileInfo(wide, &info);
    static const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    std::printf("file:          %s\n", path);
    std::printf("size:          %u bytes%s\n", info.size, Fio_IsMemFile(wide) ? " (memory file)" : "");
    if (!Fio_IsMemFile(wide))
      std::printf("last written:  %04u-%02u-%02u %02u:%02u:%02u UTC, %s\n", info.year, info.month, info.day, info.hour,
                  info.minute, info.second, kDays[info.dayOfWeek % 7]);
    CXStringW owner;
    std::printf("owner:         %s\n", Fio_GetSecurityInfo(wide, owner) ? static_cast<const char*>(Narrow(owner)) : "(unknown)");
    std::printf("writable:      %s\n", Fio_IsWritableFile(wide) ? "yes" : "no");
    CXStringW folder = wide.FilePath();
    if (folder.GetLength() == 0) folder = u".";
    const int folderWritable = Fio_PathIsURL(wide) ? Fio_UrlIsWritableDir(folder) : Fio_IsWritableDir(folder);
    std::printf("folder:        %s by this user\n", folderWritable ? "writable" : "not writable");
    return 0;
  } catch (const CXException& e) {
    return FileError(path, e);
  }
}

int FileLock(const char* path) {
  const CXStringW wide(path);
  try {
    FioFileInfo info;
    Fio_GetFileInfo(wide, &info);  // a missing file is an error here, not a lock on nothing
  } catch (const CXException& e) {
    return FileError(path, e);
  }
  Fio_LockFile(wide, false);
  if (Fio_LockCount(wide, false) != 1) {
    std::fprintf(stderr, "zrtool: %s: cannot be locked (another process has it open for writing or deleting)\n", path);
    return 1;
  }
  std::printf("%s is locked: other processes can read it but not write or delete it.\n", path);
  std::printf("Press Enter to unlock.\n");
  std::fflush(stdout);
  int c;
  do c = std::getchar();
  while (c != '\n' && c != EOF);
  Fio_UnlockFile(wide, false);
  std::printf("%s is unlocked.\n", path);
  return 0;
}

void FileUsage(std::FILE* out) {
  std::fprintf(out,
               "usage: zrtool file info PATH    the file's size, last write (UTC), owner (account and host)\n"
               "                                and whether it can be written\n"
               "       zrtool file lock PATH    holds a plain lock on PATH until Enter is pressed: other\n"
               "                                processes can read the file but not write or delete it\n"
               "PATH may also be a memory-file name (fmem::ADDRESS,SIZE).\n");
}

int File(int argc, char** argv) {
  if (argc == 3 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0)) {
    FileUsage(stdout);
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[2], "info") == 0) return FileInfo(argv[3]);
  if (argc == 4 && std::strcmp(argv[2], "lock") == 0) return FileLock(argv[3]);
  FileUsage(stderr);
  return 2;
}

int Info() {
  std::printf("zrcore %s\n", ZRCORE_VERSION_STRING);
  const bool ok = PrintStartupState();
  const bool classesOk = PrintRegisteredClasses();
  return ok && classesOk ? 0 : 1;
}

// The command families, in the order --help lists them.
struct Command {
  const char* name;
  const char* summary;
  int (*run)(int argc, char** argv);  // the arguments after the family's name
};

int InfoCommand(int argc, char**) { return argc == 0 ? Info() : 2; }
int FileCommand(int argc, char** argv) { return File(argc + 2, argv - 2); }
int CfbCommand(int argc, char** argv) { return CfbMain(argc + 1, argv - 1); }

constexpr Command kCommands[] = {
    {"info", "the library version, its start-up state and its classes", InfoCommand},
    {"file", "file information, owner and writability; holding a lock", FileCommand},
    {"params", "showing and converting parameter trees", ParamsCommand},
    {"reg", "exporting and importing registry keys as text", RegCommand},
    {"cfb", "compound files: list, read, write, remove, check, dump", CfbCommand},
    {"res", "resources of a .res file or module: list, show a dialog, menu or string table", ResCommand},
    {"dict", "translation dictionaries: look a text up, check a file", DictCommand},
};

void Usage(std::FILE* out) {
  std::fprintf(out, "usage: zrtool COMMAND [ARGUMENTS]   (zrtool COMMAND --help for more)\n\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage(stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    Usage(stdout);
    return 0;
  }
  for (const Command& c : kCommands)
    if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
  std::fprintf(stderr, "zrtool: unknown command '%s'\n", argv[1]);
  Usage(stderr);
  return 2;
}
