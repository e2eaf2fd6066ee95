// zrtool params: parameter trees inside compound files.
//
// IN or OUT names a tree in a compound file as FILE::PATH (PATH a backslash
// path of sub-storages, empty for the root) or, for the whole file, as a
// file that begins with the compound-file signature (IN) or whose name ends
// in .stg or .cfb (OUT). The input is opened read-only and left as it was;
// an output file is opened (or made) transacted and committed when the tree
// is released.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "zr/zrcore.h"

namespace {

constexpr char kSeparator[] = "::";
constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

bool StartsWithSignature(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char head[sizeof kSignature] = {};
  return in.read(head, sizeof head) && std::memcmp(head, kSignature, sizeof head) == 0;
}

bool HasStorageExtension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string ext = path.substr(dot);
  return ext == ".stg" || ext == ".cfb";
}

}  // namespace

// A tree in the compound file `name` (1), a file or node that cannot be
// opened (0, reported), or a name that is not a compound file (-1).
int StorageTree(const char* name, bool create, IParam** tree) {
  std::string file(name);
  std::string path;
  // "fmem::" begins a memory-file name, not a node path.
  const std::size_t cut = file.rfind("fmem::", 0) == 0 ? std::string::npos : file.find(kSeparator);
  if (cut != std::string::npos) {
    path = file.substr(cut + std::strlen(kSeparator));
    file.erase(cut);
  } else if (create ? !HasStorageExtension(file) : !StartsWithSignature(file)) {
    return -1;
  }
  const CXStringW wide(file.c_str());
  IXStorage* storage = nullptr;
  try {
    storage = create && !Fio_IsFileExist(wide) ? new_Storage(wide, ZRSTORAGE_TRANSACTED)
                                               : open_Storage(wide, create ? 0 : 1);
  } catch (const CXException& e) {
    std::fprintf(stderr, "%s: error: cannot open the compound file (cause %u)\n", file.c_str(),
                 static_cast<unsigned>(e.GetCause()));
    return 0;
  }
  IParam* root = new_IXStorParam(storage);
  storage->Release();
  while (!path.empty() && path[0] == '\\') path.erase(0, 1);
  *tree = path.empty() ? root : root->OpenParam(path.c_str(), create ? 1 : 0);
  if (*tree != root) root->Release();
  if (!*tree) {
    std::fprintf(stderr, "%s: error: no storage '%s' in the file\n", file.c_str(), path.c_str());
    return 0;
  }
  return 1;
}
