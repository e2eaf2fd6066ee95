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

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <iconv.h>
#include <link.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>
#include <wctype.h>

#include <cerrno>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace zrpal::sys {

using PhdrCallback = int (*)(dl_phdr_info*, size_t, void*);
using ThreadStart = void* (*)(void*);

// X(name, return type, parameter list, real function). The real function of
// a variadic or overloaded call is a wrapper defined in syscalls.inc.
#define ZRPAL_SYSCALLS(X)                                                  \
  X(malloc, void*, (size_t), ::malloc)                                     \
  X(free, void, (void*), ::free)                                           \
  X(realloc, void*, (void*, size_t), ::realloc)                            \
  X(mmap, void*, (void*, size_t, int, int, int, off_t), ::mmap)            \
  X(munmap, int, (void*, size_t), ::munmap)                                \
  X(mprotect, int, (void*, size_t, int), ::mprotect)                       \
  X(open, int, (const char*, int, mode_t), OpenWithMode)                   \
  X(close, int, (int), ::close)                                            \
  X(read, ssize_t, (int, void*, size_t), ::read)                           \
  X(write, ssize_t, (int, const void*, size_t), ::write)                   \
  X(pread, ssize_t, (int, void*, size_t, off_t), ::pread)                  \
  X(pwrite, ssize_t, (int, const void*, size_t, off_t), ::pwrite)          \
  X(lseek, off_t, (int, off_t, int), ::lseek)                              \
  X(fstat, int, (int, struct stat*), FstatFd)                              \
  X(stat, int, (const char*, struct stat*), StatPath)                      \
  X(lstat, int, (const char*, struct stat*), LstatPath)                    \
  X(faccessat, int, (int, const char*, int, int), ::faccessat)             \
  X(flock, int, (int, int), ::flock)                                       \
  X(fchmod, int, (int, mode_t), ::fchmod)                                  \
  X(fchown, int, (int, uid_t, gid_t), ::fchown)                            \
  X(clock_gettime, int, (clockid_t, struct timespec*), ::clock_gettime)    \
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
  X(strerror_r, const char*, (int, char*, size_t), ErrorText)              \
  X(futex_wait_until, long, (int*, int, int, const struct timespec*),      \
    FutexWaitUntil)                                                        \
  X(getpid, pid_t, (), ::getpid)                                           \
  X(gettid, pid_t, (), ::gettid)                                           \
  X(geteuid, uid_t, (), ::geteuid)                                         \
  X(shm_open, int, (const char*, int, mode_t), ::shm_open)                 \
  X(shm_unlink, int, (const char*), ::shm_unlink)                          \
  X(ofd_lock, int, (int, short, int), OfdLock)                             \
  X(thread_create, int, (pthread_t*, ThreadStart, void*, size_t),         \
    CreateThreadWithStack)                                                 \
  X(pthread_join, int, (pthread_t, void**), ::pthread_join)                \
  X(pthread_atfork, int, (void (*)(), void (*)(), void (*)()),             \
    ::pthread_atfork)                                                      \
  X(pthread_detach, int, (pthread_t), ::pthread_detach)                    \
  X(mutex_init_robust, int, (pthread_mutex_t*, int), InitRobustMutex)      \
  X(pthread_mutex_destroy, int, (pthread_mutex_t*), ::pthread_mutex_destroy) \
  X(pthread_mutex_lock, int, (pthread_mutex_t*), ::pthread_mutex_lock)     \
  X(pthread_mutex_trylock, int, (pthread_mutex_t*), ::pthread_mutex_trylock) \
  X(pthread_mutex_clocklock, int,                                          \
    (pthread_mutex_t*, clockid_t, const struct timespec*), MutexClockLock) \
  X(pthread_mutex_unlock, int, (pthread_mutex_t*), ::pthread_mutex_unlock) \
  X(pthread_mutex_consistent, int, (pthread_mutex_t*),                     \
    ::pthread_mutex_consistent) \
  X(fcntl_lock, int, (int, int, struct flock*), FcntlLock)                 \
  X(fallocate, int, (int, int, off_t, off_t), ::fallocate)                 \
  X(posix_fallocate, int, (int, off_t, off_t), PosixFallocate)             \
  X(posix_fadvise, int, (int, off_t, off_t, int), PosixFadvise)            \
  X(msync, int, (void*, size_t, int), ::msync)                             \
  X(madvise, int, (void*, size_t, int), ::madvise)                         \
  X(chmod, int, (const char*, mode_t), ::chmod)                            \
  X(futimens, int, (int, const struct timespec*), ::futimens)              \
  X(renameat2, int, (int, const char*, int, const char*, unsigned), ::renameat2) \
  X(link, int, (const char*, const char*), ::link)                         \
  X(chdir, int, (const char*), ::chdir)                                    \
  X(opendir, DIR*, (const char*), ::opendir)                               \
  X(readdir, struct dirent*, (DIR*), ::readdir)                            \
  X(closedir, int, (DIR*), ::closedir)                                     \
  X(fstatat, int, (int, const char*, struct stat*, int), FstatatPath)      \
  X(sigaction, int, (int, const struct sigaction*, struct sigaction*), ::sigaction) \
  X(sysconf, long, (int), ::sysconf)                                       \
  X(getegid, gid_t, (), ::getegid)                                         \
  X(getgroups, int, (int, gid_t*), ::getgroups)                            \
  X(getpwuid_r, int, (uid_t, struct passwd*, char*, size_t, struct passwd**), ::getpwuid_r) \
  X(getgrgid_r, int, (gid_t, struct group*, char*, size_t, struct group**), ::getgrgid_r) \
  X(gethostname, int, (char*, size_t), ::gethostname) \
  X(access, int, (const char*, int), ::access)                            \
  X(newlocale, locale_t, (int, const char*, locale_t), ::newlocale)       \
  X(freelocale, void, (locale_t), ::freelocale)                           \
  X(towupper_l, wint_t, (wint_t, locale_t), ::towupper_l) \
  X(fdatasync, int, (int), ::fdatasync)                                   \
  X(inotify_init1, int, (int), ::inotify_init1)                            \
  X(inotify_add_watch, int, (int, const char*, uint32_t), ::inotify_add_watch) \
  X(inotify_rm_watch, int, (int, int), ::inotify_rm_watch)                 \
  X(statfs, int, (const char*, struct statfs*), ::statfs)                  \
  X(realpath, char*, (const char*, char*), ::realpath)                     \
  X(ioctl_count, int, (int, unsigned long, int*), IoctlCount)

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
