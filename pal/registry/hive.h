// pal/registry/hive.h - where the hives' files are, and whether the process
// may write them.
#pragma once

#include <cstdint>
#include <string>

#include "pal/types.h"

namespace zrpal::registry {

enum class HiveKind : std::uint8_t { CurrentUser, LocalMachine };

// The environment variables that move the hives' files (each names the file).
inline constexpr const char* kUserHiveVariable = "ZR_REGISTRY_USER";
inline constexpr const char* kMachineHiveVariable = "ZR_REGISTRY_MACHINE";

// The hive's file (see registry.h for the places), and whether the process
// may write it: the file (when it exists) and its folder must be writable,
// since the database keeps its write-ahead log beside the file. The folder
// is made when missing and the process may make it. ERROR_PATH_NOT_FOUND
// when the current user's folder is unknown (no XDG_CONFIG_HOME and no
// HOME).
DWORD HiveFilePath(HiveKind kind, std::string* path, bool* writable);

// The process's id, to notice a hive opened before fork() (a database
// connection must not cross into the child).
std::uint32_t CurrentProcessId();

}  // namespace zrpal::registry
