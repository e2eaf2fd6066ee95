// pal/files/share.cpp - Windows share modes between processes.
//
// On Windows every open of a file states what it will do (read, write,
// delete) and what it lets others do at the same time (the share mode); an
// open that asks for an access some open handle does not share, or that
// refuses an access some open handle already has, fails with
// ERROR_SHARING_VIOLATION, in any process. POSIX has no such rule, so the
// platform layer keeps it itself, with open-file-description locks
// (F_OFD_SETLK), which belong to one open of a file and vanish when it is
// closed, in this process or by the death of any process.
//
// Where the records live. Each participant needs a lock it can take whatever
// it opened the file for (a write lock needs a descriptor open for writing,
// and a handle may be read-only or even access-less), and the check and the
// record must be one step, so that two openers cannot both pass. So the
// records do not sit on the file itself: each file, named by its device and
// inode, has a companion lock file "<device>-<inode>" (hexadecimal) in the
// lock folder, /dev/shm/zrcore-share (or /tmp/zrcore-share without
// /dev/shm), made on first use with mode 1777 so that every user can use it;
// companions are made with mode 0666. Every handle opens the companion once,
// read-write, and keeps that descriptor while it is open; its records are
// OFD locks on that descriptor.
//
// Lock-byte map of a companion (each a one-byte range):
//
//   byte 0   the gate: a write lock, held only while checking and recording
//   byte 1   "I read"      (read lock, one per participant with the access)
//   byte 2   "I write"
//   byte 3   "I delete"
//   byte 4   "I refuse reading to others"  (read lock)
//   byte 5   "I refuse writing to others"
//   byte 6   "I refuse deleting to others"
//
// Shared read locks let any number of handles hold the same record; a test
// with F_OFD_GETLK for a write lock on a byte tells whether any other open
// holds it (an open's own locks never conflict with themselves).
//
// Check order for an open with access A and share mode S (refusing D = the
// kinds not in S), all under the gate:
//   1. take the gate (F_OFD_SETLKW, waiting for it);
//   2. if the companion was removed meanwhile (no links, or the folder's
//      entry names another inode), start again with a fresh one;
//   3. for each kind in A: if anyone holds "I refuse <kind>" -> violation;
//   4. for each kind in D: if anyone holds "I <kind>" -> violation;
//   5. the opener checks that the path still names the file it opened
//      (else it starts again: the file was replaced under it);
//   6. take read locks on the bytes of A and D;
//   7. let go of the gate.
// DeleteFileW and MoveFileExW are participants for the length of the call:
// under the gate, "I refuse deleting" held by anyone fails them with
// ERROR_SHARING_VIOLATION; otherwise they unlink or rename while holding it.
//
// Leaving: the records are dropped under the gate; when no other open holds
// any record, the companion is unlinked before the gate is let go. An opener
// that opened the companion before that and waited at the gate sees, in step
// 2, that it was removed and starts again. So a closed file leaves nothing
// behind; a process that dies leaves at most an empty companion, which the
// next open of that file reuses and its last close removes, or the next
// process that starts using the lock folder sweeps away (any companion whose
// gate is free and that holds no record is unused, by the rule above).
//
// Limits (also in docs/deviations.md): the locks are advisory, so programs
// that do not use this library are not held back; share modes hold between
// the processes of one machine (the lock folder is local); when the lock
// folder or a companion cannot be made or locked (another user's companion
// with a narrower mode, a full /dev/shm), the open goes on without share
// records for that handle rather than failing.
#include "pal/internal/share.h"

#include "pal/error.h"

namespace zrpal {

namespace {

// The lock-byte map above.
constexpr unsigned kGateByte = 0;
constexpr unsigned kFirstAccessByte = 1;
constexpr unsigned kFirstDenyByte = 4;
constexpr unsigned kRecordBytes = 6;  // bytes 1 to 6
constexpr unsigned kKinds = 3;        // read, write, delete

// How often EnterGate starts again when the companion was removed under it.
// Each round needs another participant's last close in between, so a few
// rounds always suffice; the bound only stops a runaway.
constexpr int kMaxGateRounds = 64;

// posix/share.inc
int OpenCompanion(const FileIdentity& file);
bool LockByte(int fd, unsigned byte, bool exclusive, bool wait);
void UnlockBytes(int fd, unsigned first, unsigned count);
bool HeldByOthers(int fd, unsigned first, unsigned count);
bool CompanionIsCurrent(int fd, const FileIdentity& file);
void RemoveCompanionIfCurrent(int fd, const FileIdentity& file);
void CloseCompanion(int fd);

}  // namespace

BOOL ShareLock::EnterGate(const FileIdentity& file) {
  Leave();
  for (int round = 0; round < kMaxGateRounds; ++round) {
    const int fd = OpenCompanion(file);
    if (fd < 0) return FALSE;
    if (!LockByte(fd, kGateByte, /*exclusive=*/true, /*wait=*/true)) {
      CloseCompanion(fd);
      return FALSE;
    }
    if (!CompanionIsCurrent(fd, file)) {  // step 2: removed by a last close
      CloseCompanion(fd);
      continue;
    }
    m_fd = fd;
    m_gateHeld = true;
    m_file = file;
    return TRUE;
  }
  return FALSE;
}

bool ShareLock::Conflicts(DWORD access, DWORD deny) const {
  for (unsigned k = 0; k < kKinds; ++k) {
    const DWORD kind = DWORD{1} << k;
    if ((access & kind) && HeldByOthers(m_fd, kFirstDenyByte + k, 1)) return true;  // step 3
    if ((deny & kind) && HeldByOthers(m_fd, kFirstAccessByte + k, 1)) return true;  // step 4
  }
  return false;
}

BOOL ShareLock::Record(DWORD access, DWORD deny) {
  for (unsigned k = 0; k < kKinds; ++k) {
    const DWORD kind = DWORD{1} << k;
    if ((access & kind) && !LockByte(m_fd, kFirstAccessByte + k, false, false)) return FALSE;
    if ((deny & kind) && !LockByte(m_fd, kFirstDenyByte + k, false, false)) return FALSE;
  }
  return TRUE;
}

void ShareLock::LeaveGate() {
  if (m_fd < 0 || !m_gateHeld) return;
  UnlockBytes(m_fd, kGateByte, 1);
  m_gateHeld = false;
}

void ShareLock::Leave() {
  if (m_fd < 0) return;
  // Without the gate the companion is closed but never removed: another
  // participant may be between its checks.
  if (m_gateHeld || LockByte(m_fd, kGateByte, true, true)) {
    UnlockBytes(m_fd, kFirstAccessByte, kRecordBytes);
    if (!HeldByOthers(m_fd, kFirstAccessByte, kRecordBytes)) RemoveCompanionIfCurrent(m_fd, m_file);
  }
  CloseCompanion(m_fd);  // lets go of the gate with the descriptor
  m_fd = -1;
  m_gateHeld = false;
}

}  // namespace zrpal

#include "pal/files/posix/share.inc"
