// sync_child - the second process of the cross-process tests (global section
// mutex, named events, storages, files). It links the static twin, so it
// reaches the platform layer as well as the exports. One command per run; it
// reports in lines on stdout, and "|" below waits for a line on stdin (end of
// input counts as one).
//
//   hold                section, Wait_All(INFINITE), "held <r>" | Wait_Release, "released"
//   race                | section, "ready" | "probe <Wait_All(0)>" |
//   wait-event NAME     open NAME ("failed <error>"), "waiting", wait for it, "signalled"
//   storage-write PATH  open PATH transacted, change "a", add "new", "written" | release
//   storage-params PATH PATH read-only as a tree, compared with the sample tree: "equal <1|0>"
//   stg-hold PATH MODE  StgOpenStorage(PATH, MODE in hex), "open <hr in hex>" | release, "closed"
//   lock PATH           plain lock, "locked" | unlock
//   open PATH MODE      | Fio_Open: "ok" or "<cause> <operation>" | release
//   write PATH          a committing writer writes, "written" | commit
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pal/error.h"
#include "pal/handle.h"
#include "pal/ole/storage.h"
#include "pal/threads/event.h"
#include "tests/child/sample_tree.h"
#include "zr/exception.h"
#include "zr/filelock.h"
#include "zr/storparam.h"
#include "zr/threads.h"
#include "zr/xfile.h"
#include "zr/xstorage.h"

namespace {

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

// The path argument as wide text (ASCII in the tests).
std::u16string Wide(const char* text) { return std::u16string(text, text + std::strlen(text)); }

void AwaitLine() {
  char line[64];
  (void)std::fgets(line, sizeof line, stdin);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "hold") {
    ICritSect* section = CriticalSection_New();
    Say("held " + std::to_string(Wait_All(-1)));
    AwaitLine();
    Wait_Release();
    Say("released");
    section->Release();
    return 0;
  }
  if (command == "race") {
    AwaitLine();
    ICritSect* section = CriticalSection_New();
    Say("ready");
    AwaitLine();
    const int result = Wait_All(0);
    Say("probe " + std::to_string(result));
    if (result != 2) Wait_Release();
    AwaitLine();
    section->Release();
    return 0;
  }
  if (command == "wait-event" && argc > 2) {
    HANDLE event = zrpal::OpenEventA(zrpal::EVENT_ALL_ACCESS, 0, argv[2]);
    if (!event) {
      Say("failed " + std::to_string(zrpal::GetLastError()));
      return 1;
    }
    Say("waiting");
    Say(zrpal::WaitForSingleObject(event, zrpal::INFINITE) == zrpal::WAIT_OBJECT_0 ? "signalled"
                                                                                   : "failed");
    zrpal::CloseHandle(event);
    return 0;
  }
  if (command == "storage-write" && argc > 2) {
    IXStorage* storage = open_Storage(Wide(argv[2]).c_str(), 0);
    for (const char* name : {"a", "new"}) {
      IXStream* stream = storage->CreateStream(name);
      stream->WriteString("uncommitted");
      stream->Release();
    }
    Say("written");
    AwaitLine();
    storage->Release();
    return 0;
  }
  if (command == "storage-params" && argc > 2) {
    IXStorage* storage = open_Storage(Wide(argv[2]).c_str(), 1);
    IParam* stored = new_IXStorParam(storage);
    IParam* expected = new_MemParam();
    FillSampleTree(expected);
    Say("equal " + std::to_string(Param_Cmp(stored, expected) && Param_Cmp(expected, stored)));
    expected->Release();
    stored->Release();
    storage->Release();
    return 0;
  }
  if (command == "stg-hold" && argc > 3) {
    const std::u16string wide = Wide(argv[2]);
    const auto mode = static_cast<zrpal::DWORD>(std::strtoul(argv[3], nullptr, 16));
    zrpal::IStorage* storage = nullptr;
    char hr[16];
    std::snprintf(hr, sizeof hr, "%08x",
                  static_cast<unsigned>(
                      zrpal::StgOpenStorage(wide.c_str(), nullptr, mode, nullptr, 0, &storage)));
    Say(std::string("open ") + hr);
    AwaitLine();
    if (storage) storage->Release();
    Say("closed");
    return 0;
  }
  if (command == "lock" && argc > 2) {
    const std::u16string wide = Wide(argv[2]);
    Fio_LockFile(wide.c_str(), false);
    Say(Fio_LockCount(wide.c_str(), false) == 1 ? "locked" : "not locked");
    AwaitLine();
    Fio_UnlockFile(wide.c_str(), false);
    return 0;
  }
  if (command == "open" && argc > 3) {
    const std::u16string wide = Wide(argv[2]);
    AwaitLine();
    IXFile* file = nullptr;
    try {
      file = Fio_Open(wide.c_str(), std::atoi(argv[3]));
      Say("ok");
    } catch (const CXFileException& e) {
      Say(std::to_string(e.GetCause()) + " " + std::to_string(e.GetOperation()));
    }
    AwaitLine();
    if (file) file->Release();
    return 0;
  }
  if (command == "write" && argc > 2) {
    IXOutFile* out = Fio_OpenOut(Wide(argv[2]).c_str(), 0);
    for (int i = 0; i < 100000; ++i) out->WriteDword(0xDEADBEEF);
    Say("written");
    AwaitLine();  // killed before a line comes
    out->Commit();
    out->Release();
    return 0;
  }
  Say("unknown command");
  return 2;
}
