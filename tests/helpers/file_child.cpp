// file_child - the other process of the cross-process file tests. It works
// on one file through the library and talks to the test over its standard
// input and output, a line at a time:
//
//   file_child lock PATH      plain-locks PATH, says "locked", waits for a
//                             line, unlocks
//   file_child open PATH MODE waits for a line ("go"), tries Fio_Open, says
//                             "ok" or "<cause> <operation>", holds the file
//                             until the next line
//   file_child write PATH     opens a committing writer on PATH, writes,
//                             says "written" and waits (to be killed)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zr/exception.h"
#include "zr/filelock.h"
#include "zr/xfile.h"

namespace {

std::u16string Wide(const char* s) { return std::u16string(s, s + std::strlen(s)); }

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

void WaitForLine() {
  char line[64];
  if (!std::fgets(line, sizeof line, stdin)) std::exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string command = argv[1];
  const std::u16string path = Wide(argv[2]);
  if (command == "lock") {
    Fio_LockFile(path.c_str(), false);
    Say(Fio_LockCount(path.c_str(), false) == 1 ? "locked" : "not locked");
    WaitForLine();
    Fio_UnlockFile(path.c_str(), false);
    return 0;
  }
  if (command == "open" && argc == 4) {
    WaitForLine();
    IXFile* file = nullptr;
    try {
      file = Fio_Open(path.c_str(), std::atoi(argv[3]));
      Say("ok");
    } catch (const CXFileException& e) {
      std::printf("%u %u\n", e.GetCause(), e.GetOperation());
      std::fflush(stdout);
    }
    WaitForLine();
    if (file) file->Release();
    return 0;
  }
  if (command == "write") {
    IXOutFile* out = Fio_OpenOut(path.c_str(), 0);
    for (int i = 0; i < 100000; ++i) out->WriteDword(0xDEADBEEF);
    Say("written");
    WaitForLine();  // killed before a line comes
    out->Commit();
    out->Release();
    return 0;
  }
  return 2;
}
