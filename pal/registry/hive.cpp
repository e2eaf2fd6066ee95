// pal/registry/hive.cpp - the hives' files (see hive.h).
#include "pal/registry/hive.h"

namespace zrpal::registry {

namespace {

constexpr const char* kMachineHiveFile = "/var/lib/zrcore/machine.db";
constexpr const char* kUserHiveFile = "/zrcore/user.db";  // below the configuration folder

// Environment variables (posix/hive.inc): null when unset or empty.
const char* Environment(const char* name);
// Makes the folders of `path` that are missing (as mkdir -p); failures are
// left to the writability check.
void MakeFolders(const std::string& folder, bool isPrivate);
bool Exists(const std::string& path);
bool Writable(const std::string& path);

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

DWORD HiveFilePath(HiveKind kind, std::string* path, bool* writable) {
  const bool user = kind == HiveKind::CurrentUser;
  if (const char* moved = Environment(user ? kUserHiveVariable : kMachineHiveVariable)) {
    *path = moved;
  } else if (!user) {
    *path = kMachineHiveFile;
  } else if (const char* config = Environment("XDG_CONFIG_HOME"); config && config[0] == '/') {
    // The XDG rule: a relative XDG_CONFIG_HOME is invalid and ignored.
    *path = std::string(config) + kUserHiveFile;
  } else if (const char* home = Environment("HOME")) {
    *path = std::string(home) + "/.config" + kUserHiveFile;
  } else {
    return ERROR_PATH_NOT_FOUND;
  }
  const std::string folder = FolderOf(*path);
  if (Exists(*path)) {
    *writable = Writable(*path) && Writable(folder);
  } else {
    MakeFolders(folder, user);
    *writable = Writable(folder);
  }
  return ERROR_SUCCESS;
}

}  // namespace zrpal::registry

#include "pal/registry/posix/hive.inc"
