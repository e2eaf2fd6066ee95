// pal/files/mapping.h - file mappings and their views, the system
// information that sizes them, and the guard that turns a fault in a view
// into an error.
//
// A file mapping (HandleKind::FileMapping) holds a reference to its file's
// object, so the file stays open (and its share records stay) until the
// mapping is closed, as on Windows. A view is a shared mapping of the file;
// it stays valid after both handles are closed, until UnmapViewOfFile.
//
// A full disk is an error, never a signal. Writing through a shared mapping
// into blocks the file system has not allocated makes Linux raise SIGBUS
// when the disk is full. So blocks are reserved (fallocate; where the file
// system has none, zeros are written) before a writable view covers them:
// CreateFileMappingW reserves what it adds to the file, MapViewOfFile with
// FILE_MAP_WRITE the range of the view (which also fills holes of a sparse
// file). A full volume then fails those calls with ERROR_DISK_FULL.
//
// Other faults in a view (a device error while a page is read in, the file
// cut short by another handle or process) still raise SIGBUS. The view
// guard catches it for the views of this component: the page is replaced by
// a page of zeros, the thread's count of view faults (ViewFaultCount) goes
// up, and the access goes on. Windows raises an in-page exception instead,
// which callers catch around their copies; callers here compare the count
// before and after a copy. A SIGBUS outside the views goes to the handler
// that was installed before (or the default action). The guard is installed
// with the first view and removed by ViewGuardShutdown.
#pragma once

#include <atomic>

#include "pal/types.h"

namespace zrpal {

inline constexpr DWORD PAGE_READONLY = 0x02;
inline constexpr DWORD PAGE_READWRITE = 0x04;

inline constexpr DWORD FILE_MAP_WRITE = 0x0002;
inline constexpr DWORD FILE_MAP_READ = 0x0004;
inline constexpr DWORD FILE_MAP_ALL_ACCESS = 0x000F001F;

struct SECURITY_ATTRIBUTES;

struct SYSTEM_INFO {
  WORD wProcessorArchitecture;
  WORD wReserved;
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  std::uintptr_t dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
};

// The page size, processor count and the allocation granularity, which is
// 64 KiB as on Windows: view offsets are multiples of it.
void GetSystemInfo(SYSTEM_INFO* info);

// A mapping of `file` with protection PAGE_READONLY (the file needs read
// access) or PAGE_READWRITE (read and write access; ERROR_ACCESS_DENIED
// otherwise). A maximum size of 0 is the file's size (an empty file fails
// with ERROR_FILE_INVALID). A larger size grows a file mapped read-write,
// its new blocks reserved (ERROR_DISK_FULL when they cannot be), and fails
// with ERROR_NOT_ENOUGH_MEMORY for PAGE_READONLY, as on Windows.
// Deviation: named mappings, mappings of the paging file
// (INVALID_HANDLE_VALUE), a security record and the SEC_ and copy-on-write
// protections are refused with ERROR_INVALID_PARAMETER.
HANDLE CreateFileMappingW(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protect,
                          DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCWSTR name);

// Maps `bytes` bytes (0: up to the mapping's end) from the offset, which
// must be a multiple of the allocation granularity (ERROR_MAPPED_ALIGNMENT).
// Access FILE_MAP_READ, FILE_MAP_WRITE (read and write) or
// FILE_MAP_ALL_ACCESS; writing on a read-only mapping, or a range beyond the
// mapping, fails with ERROR_ACCESS_DENIED; copy-on-write and execute access
// with ERROR_INVALID_PARAMETER. A writable view's blocks are reserved first.
LPVOID MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T bytes);

// Unmaps the view that starts at `base`; ERROR_INVALID_ADDRESS for any
// other address.
BOOL UnmapViewOfFile(LPCVOID base);

// Writes the changed pages of `bytes` bytes from `base` (0: to the end of
// its view) to the file and waits for them. The address must lie in a view
// (ERROR_INVALID_ADDRESS otherwise).
BOOL FlushViewOfFile(LPCVOID base, SIZE_T bytes);

// The number of faults in views the guard has met on this thread (see
// above). An access that faults still completes, on zeros.
inline DWORD ViewFaultCount();

// Restores the SIGBUS handler that was there before the first view (a step
// of the library's shutdown). Views mapped later install the guard again.
void ViewGuardShutdown();

namespace view_detail {
[[gnu::tls_model("initial-exec")]] extern constinit thread_local std::atomic<DWORD> t_faults;
}  // namespace view_detail

inline DWORD ViewFaultCount() {
  // The count changes in a signal handler on this thread: the fences keep
  // the compiler from moving the read across the copy it brackets.
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const DWORD n = view_detail::t_faults.load(std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  return n;
}

}  // namespace zrpal
