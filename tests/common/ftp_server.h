// tests/common/ftp_server.h - tests/helpers/ftp_server.py (python3-pyftpdlib)
// on loopback port 21, serving a folder of the caller's, for the remote-file
// tests and benchmarks. Ready once it has printed "ready" (no sleeping);
// Stop kills it, which is also how a test makes it vanish mid-transfer. The
// tests share port 21, so ctest runs them one at a time (RESOURCE_LOCK).
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

extern char** environ;

namespace zrtest {

#ifndef ZR_FTP_SERVER_SCRIPT
#error "the build names the server script (ZR_FTP_SERVER_SCRIPT)"
#endif

class FtpServer {
 public:
  FtpServer() = default;
  ~FtpServer() { Stop(); }
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  // Serves `root`; `rate` limits each transfer to that many bytes a second
  // (0: no limit). False when the server did not come up.
  bool Start(const std::string& root, long rate = 0) {
    int out[2];
    if (::pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string port = "21", limit = std::to_string(rate);
    const char* argv[] = {"/usr/bin/python3", ZR_FTP_SERVER_SCRIPT, root.c_str(),
                          port.c_str(),       limit.c_str(),        nullptr};
    const int rc =
        posix_spawn(&m_pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
      ::close(out[0]);
      m_pid = 0;
      return false;
    }
    // "ready\n", or end of file when the server failed (port taken).
    FILE* from = ::fdopen(out[0], "r");
    char line[8] = {};
    const bool ready =
        from && std::fgets(line, sizeof line, from) && std::string(line) == "ready\n";
    from ? std::fclose(from) : ::close(out[0]);
    if (!ready) Stop();
    return ready;
  }

  void Stop() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = 0;
  }

 private:
  pid_t m_pid = 0;
};

}  // namespace zrtest
