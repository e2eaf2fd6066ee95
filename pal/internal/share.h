// pal/internal/share.h - Windows share modes that hold between processes
// (the design is at the top of pal/files/share.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "pal/types.h"

namespace zrpal {

// What a handle does with a file and what it refuses others, as bit sets
// over the same three kinds.
inline constexpr DWORD kShareKindRead = 1;
inline constexpr DWORD kShareKindWrite = 2;
inline constexpr DWORD kShareKindDelete = 4;
inline constexpr DWORD kShareKindAll = 7;

// The identity of a file: device and inode.
struct FileIdentity {
  std::uint64_t device;
  std::uint64_t inode;
  bool operator==(const FileIdentity&) const = default;
};

// One participant in the share-mode records of one file: a handle for as
// long as it is open, or a delete or rename for the length of the call.
// Not thread-safe; each handle has its own.
class ShareLock {
 public:
  ShareLock() = default;
  ~ShareLock() { Leave(); }
  ShareLock(const ShareLock&) = delete;
  ShareLock& operator=(const ShareLock&) = delete;

  // Opens (creating it when needed) the companion lock file of `file` and
  // waits for its gate. FALSE when the records cannot be used (the lock
  // folder or companion cannot be made or locked); the caller then goes on
  // without them, as programs that do not use the library do.
  BOOL EnterGate(const FileIdentity& file);

  // Under the gate: whether another participant refuses an access in
  // `access`, or holds an access that `deny` refuses.
  bool Conflicts(DWORD access, DWORD deny) const;

  // Under the gate: records `access` and `deny` for this participant.
  // FALSE with the last error when the OS refuses a record.
  BOOL Record(DWORD access, DWORD deny);

  // Lets the next participant through the gate; records stay.
  void LeaveGate();

  // Drops every record and the gate; removes the companion when no other
  // participant has records in it. Safe to call twice.
  void Leave();

  bool Active() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
  bool m_gateHeld = false;
  FileIdentity m_file{};
};

// The companion lock file's path for `file` (for the tests' look at what
// is left behind). FALSE when the lock folder cannot be made.
BOOL ShareCompanionPath(const FileIdentity& file, char* path, std::size_t size);

}  // namespace zrpal
