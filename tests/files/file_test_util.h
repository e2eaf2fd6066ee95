// Shared helpers of the file tests: holding a reference, checking the
// CXFileException an action throws, and a child process to talk to.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "zr/exception.h"
#include "zr/xfile.h"

extern char** environ;

namespace zrtest {

// Holds one reference and gives it back.
template <class T>
class FileRef {
 public:
  explicit FileRef(T* p = nullptr) : m_p(p) {}
  ~FileRef() { reset(); }
  FileRef(const FileRef&) = delete;
  FileRef& operator=(const FileRef&) = delete;
  T* get() const { return m_p; }
  T* operator->() const { return m_p; }
  void reset(T* p = nullptr) {
    if (m_p) m_p->Release();
    m_p = p;
  }
  T* release() {
    T* p = m_p;
    m_p = nullptr;
    return p;
  }

 private:
  T* m_p;
};

struct FileError {
  DWORD cause;
  DWORD operation;
  std::u16string name;
};

// The CXFileException `action` throws; a failure of the test when it throws
// none (cause and operation then ~0u).
inline FileError ThrownBy(const std::function<void()>& action) {
  try {
    action();
  } catch (const CXFileException& e) {
    return {e.GetCause(), e.GetOperation(), e.GetFileName()};
  }
  ADD_FAILURE() << "no CXFileException";
  return {~0u, ~0u, u""};
}

// The cause of the CXException (of any class) `action` throws; ~0u, and a
// failure of the test, when it throws none.
inline DWORD CauseThrownBy(const std::function<void()>& action) {
  try {
    action();
  } catch (const CXException& e) {
    return e.GetCause();
  }
  ADD_FAILURE() << "no CXException";
  return ~0u;
}

// A child process running the test helper, its standard input and output
// connected to the test.
class Child {
 public:
  explicit Child(const std::vector<std::string>& args) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) {
      ADD_FAILURE() << "pipe";
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    std::vector<std::string> all = {ZR_FILE_CHILD};
    all.insert(all.end(), args.begin(), args.end());
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, ZR_FILE_CHILD, &actions, nullptr, argv.data(), environ) != 0)
      m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    m_in = ::fdopen(in[1], "w");
    m_out = ::fdopen(out[0], "r");
  }
  ~Child() {
    if (m_in) std::fclose(m_in);
    if (m_out) std::fclose(m_out);
    if (m_pid > 0) ::waitpid(m_pid, nullptr, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // The child's next line, without its newline ("" at its end).
  std::string ReadLine() {
    char line[256];
    if (!m_out || !std::fgets(line, sizeof line, m_out)) return "";
    std::string s(line);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }
  void WriteLine(const char* text) {
    std::fprintf(m_in, "%s\n", text);
    std::fflush(m_in);
  }
  // Ends the child at once, as a crash would.
  void Kill() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
  FILE* m_in = nullptr;
  FILE* m_out = nullptr;
};

}  // namespace zrtest
