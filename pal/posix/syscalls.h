// pal/posix/syscalls.h - the one seam between the platform layer and the OS.
//
// Every POSIX and C-library call that the platform layer makes goes through
// the table `zrpal::sys::g`, whose entries start as the real functions (the
// pattern of SQLite's OS layer). A test replaces one entry to make the OS
// misbehave - a short write, a full disk, a failing mmap - and restores the
// table with sys::Reset or a ScopedSyscall.
//
// Adding a call: add one X(...) line to ZRPAL_SYSCALLS and call it as
// sys::g.name(...). Calls that can be interrupted are wrapped in RetryEintr.
#pragma once

#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <cstdio>
#include <cstdlib>

namespace zrpal::sys {

using PhdrCallback = int (*)(dl_phdr_info*, size_t, void*);

// X(name, return type, parameter list, real function). The real function of
// a variadic or overloaded call is a wrapper defined in syscalls.inc.
#define ZRPAL_SYSCALLS(X)                                                  \
  X(malloc, void*, (size_t), ::malloc)                                     \
  X(free, void, (void*), ::free)                                           \
  X(mmap, void*, (void*, size_t, int, int, int, off_t), ::mmap)            \
  X(munmap, int, (void*, size_t), ::munmap)                                \
  X(open, int, (const char*, int, mode_t), OpenWithMode)                   \
  X(close, int, (int), ::close)                                            \
  X(read, ssize_t, (int, void*, size_t), ::read)                           \
  X(write, ssize_t, (int, const void*, size_t), ::write)                   \
  X(pread, ssize_t, (int, void*, size_t, off_t), ::pread)                  \
  X(pwrite, ssize_t, (int, const void*, size_t, off_t), ::pwrite)          \
  X(lseek, off_t, (int, off_t, int), ::lseek)                              \
  X(fstat, int, (int, struct stat*), FstatFd)                              \
  X(stat, int, (const char*, struct stat*), StatPath)                      \
  X(ftruncate, int, (int, off_t), ::ftruncate)                             \
  X(fsync, int, (int), ::fsync)                                            \
  X(unlink, int, (const char*), ::unlink)                                  \
  X(rename, int, (const char*, const char*), ::rename)                     \
  X(mkdir, int, (const char*, mode_t), ::mkdir)                            \
  X(rmdir, int, (const char*), ::rmdir)                                    \
  X(dladdr, int, (const void*, Dl_info*), ::dladdr)                        \
  X(dlopen, void*, (const char*, int), ::dlopen)                           \
  X(dlsym, void*, (void*, const char*), ::dlsym)                           \
  X(dlclose, int, (void*), ::dlclose)                                     \
  X(futex, long, (int*, int, int), FutexCall)                              \
  X(getenv, char*, (const char*), ::getenv)                                \
  X(iconv_open, iconv_t, (const char*, const char*), ::iconv_open)         \
  X(iconv, size_t, (iconv_t, char**, size_t*, char**, size_t*), ::iconv)   \
  X(iconv_close, int, (iconv_t), ::iconv_close)                            \
  X(dl_iterate_phdr, int, (PhdrCallback, void*), ::dl_iterate_phdr)     \
  X(dlinfo, int, (void*, int, void*), ::dlinfo)                            \
  X(getcwd, char*, (char*, size_t), ::getcwd)                              \
  X(readlink, ssize_t, (const char*, char*, size_t), ::readlink)           \
  X(strerror_r, const char*, (int, char*, size_t), ErrorText)           \
  X(clock_gettime, int, (clockid_t, struct timespec*), ::clock_gettime)    \
  X(fdatasync, int, (int), ::fdatasync)

struct Table {
#define ZRPAL_SYSCALL_MEMBER(name, ret, params, real) ret(*name) params;
  ZRPAL_SYSCALLS(ZRPAL_SYSCALL_MEMBER)
#undef ZRPAL_SYSCALL_MEMBER
};

// The live table. Replacing entries is not thread-safe: tests do it while no
// other thread is inside the platform layer.
extern Table g;

// The real functions.
const Table& Defaults();

// Restores every entry to the real function.
void Reset();

// Replaces one entry for the lifetime of the guard.
template <class Fn>
class ScopedSyscall {
 public:
  ScopedSyscall(Fn* slot, Fn replacement) : slot_(slot), saved_(*slot) { *slot_ = replacement; }
  ~ScopedSyscall() { *slot_ = saved_; }
  ScopedSyscall(const ScopedSyscall&) = delete;
  ScopedSyscall& operator=(const ScopedSyscall&) = delete;

 private:
  Fn* slot_;
  Fn saved_;
};

// Calls f until it does not fail with EINTR. f returns -1 (or a negative
// ssize_t) with errno set on failure, as POSIX calls do.
template <class F>
auto RetryEintr(F f) -> decltype(f()) {
  decltype(f()) r;
  do {
    r = f();
  } while (r < 0 && errno == EINTR);
  return r;
}

}  // namespace zrpal::sys
