// child_process.h - a child process of the tests (tests/child/sync_child)
// with pipes to its stdin and stdout, and the test's own object namespace.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace zrtest {

// Gives this test process (and the children it starts, which inherit the
// environment) a namespace of named objects of its own, so that runs of
// other tests and other checkouts of the same user do not meet its objects.
// Call before the first named object is created.
inline void UseOwnObjectNamespace(const char* tag) {
  const std::string space = std::string(tag) + "." + std::to_string(::getpid());
  ::setenv("ZR_OBJECT_NAMESPACE", space.c_str(), 1);
}

class ChildProcess {
 public:
  explicit ChildProcess(std::vector<std::string> args) {
    int in[2], out[2];
    // Close-on-exec, so no child keeps another's pipes; dup2 clears it on 0 and 1.
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    args.insert(args.begin(), ZR_SYNC_CHILD);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&m_pid, ZR_SYNC_CHILD, &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]), ::close(out[1]);
    m_input = in[1];
    m_output = ::fdopen(out[0], "r");
  }
  ~ChildProcess() {
    if (m_input >= 0) ::close(m_input);
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      Wait();
    }
    if (m_output) std::fclose(m_output);
  }
  pid_t Pid() const { return m_pid; }

  // The next line the child printed, without its line feed ("" at the end).
  std::string ReadLine() {
    char line[256];
    if (!m_output || !std::fgets(line, sizeof line, m_output)) return "";
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }

  void Tell() {
    if (m_input >= 0) (void)!::write(m_input, "go\n", 3);
  }

  void Kill() { ::kill(m_pid, SIGKILL); }

  // Waits for the child to end; its exit status, or -1 when it was killed.
  int Wait() {
    int status = 0;
    if (m_pid <= 0 || ::waitpid(m_pid, &status, 0) != m_pid) return -1;
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t m_pid = -1;
  int m_input = -1;
  FILE* m_output = nullptr;
};

// Waits until thread `tid` of process `pid` sleeps (state S in /proc): a
// thread that announced it is about to block is then blocked. False when it
// never does (polled for at most ten seconds).
inline bool WaitUntilSleeping(pid_t pid, pid_t tid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/stat";
  for (int i = 0; i < 10000; ++i) {
    std::ifstream stat(path);
    std::string line;
    std::getline(stat, line);
    // The state follows the command name, which is in parentheses.
    const auto close = line.rfind(')');
    if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'S') return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

}  // namespace zrtest
