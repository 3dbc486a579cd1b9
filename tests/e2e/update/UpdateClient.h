// The built update client run as a player would run it, for the update
// end-to-end test and the update benchmark: a copy in an install folder of
// its own, its own HOME and XDG folders, stderr in a file, and its timing
// trace (TORVANE_TRACE_FD) on a pipe whose lines say when each step of the
// update check happened; its end is waited for through a pidfd. Also a wait
// for a file's first whole line (the update package's record), woken by
// inotify. Header only; one object, one thread.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TestFiles.h"

extern char** environ;

namespace update_e2e {

namespace fs = std::filesystem;

inline long long MsLeft(std::chrono::steady_clock::time_point end) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
}

// The built update client, copied into an install folder of its own and
// run there with its trace on a pipe and its stderr in a file.
class UpdateClient {
 public:
  ~UpdateClient() {
    if (m_pid > 0 && !m_exited) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &m_status, 0);
    }
    if (m_trace >= 0) close(m_trace);
    if (m_pidfd >= 0) close(m_pidfd);
  }

  // Starts exe in its folder with HOME and the XDG folders under root
  // (home, config, cache, data) and stderr in root/client-stderr.txt; false
  // when it could not be started.
  bool Start(const fs::path& root, const fs::path& exe) {
    m_err = root / "client-stderr.txt";
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    fcntl(fds[1], F_SETFD, 0);  // the client's end crosses exec
    std::vector<std::string> env = {
        "TORVANE_BACKEND=gtk",
        "TORVANE_TRACE_FD=" + std::to_string(fds[1]),
        "TORVANE_OPENER=/bin/true",
        "HOME=" + (root / "home").string(),
        "XDG_CONFIG_HOME=" + (root / "config").string(),
        "XDG_CACHE_HOME=" + (root / "cache").string(),
        "XDG_DATA_HOME=" + (root / "data").string(),
    };
    const std::size_t mine = env.size();
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      bool replaced = false;
      for (std::size_t i = 0; i < mine; ++i)
        replaced = replaced || entry.compare(0, env[i].find('=') + 1, env[i], 0, env[i].find('=') + 1) == 0;
      if (!replaced) env.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = exe.string();
    char* argv[] = {program.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, exe.parent_path().c_str());
    int rc = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    m_trace = fds[0];
    if (rc != 0) {
      m_pid = -1;
      return false;
    }
    m_pidfd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
    return m_pidfd >= 0;
  }

  // The first trace line of this event, "" when the trace ended or timeoutMs
  // passed without it.
  std::string WaitForEvent(const std::string& event, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      for (const std::string& line : m_lines)
        if (line.compare(0, event.size() + 1, event + " ") == 0) return line;
      long long left = MsLeft(end);
      if (left <= 0 || m_trace < 0) return "";
      pollfd p{m_trace, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[4096];
      ssize_t n = read(m_trace, buf, sizeof buf);
      if (n <= 0) {
        close(m_trace);
        m_trace = -1;
        continue;
      }
      m_partial.append(buf, static_cast<std::size_t>(n));
      for (std::size_t nl; (nl = m_partial.find('\n')) != std::string::npos; m_partial.erase(0, nl + 1))
        m_lines.push_back(m_partial.substr(0, nl));
    }
  }

  // Waits at most timeoutMs for the client's end; true when it ended.
  bool WaitExit(int timeoutMs) {
    if (m_exited) return true;
    pollfd p{m_pidfd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return false;
    waitpid(m_pid, &m_status, 0);
    m_exited = true;
    return true;
  }
  bool Running() { return !WaitExit(0); }
  // SIGTERM, the orderly way out; true when it ended with exit code 0.
  bool Quit() {
    kill(m_pid, SIGTERM);
    return WaitExit(30000) && ExitedCleanly();
  }
  bool ExitedCleanly() const { return m_exited && WIFEXITED(m_status) && WEXITSTATUS(m_status) == 0; }
  std::string Stderr() const { return ReadFile(m_err.string()); }

 private:
  pid_t m_pid = -1;
  int m_pidfd = -1;
  int m_trace = -1;
  int m_status = 0;
  bool m_exited = false;
  fs::path m_err;
  std::string m_partial;
  std::vector<std::string> m_lines;
};

// Waits, at most timeoutMs, until the file holds a whole line; woken by
// inotify on its folder.
inline bool WaitForLine(const fs::path& file, int timeoutMs) {
  int fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (fd < 0) return false;
  inotify_add_watch(fd, file.parent_path().c_str(), IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO);
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool found = false;
  while (!(found = ReadFile(file.string()).find('\n') != std::string::npos)) {
    long long left = MsLeft(end);
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) > 0) {
      char buf[4096];
      while (read(fd, buf, sizeof buf) > 0) {
      }
    }
  }
  close(fd);
  return found;
}

// The milliseconds since the client's start of a trace line
// "<event> <ms>[ <detail>]"; -1 for "".
inline double TraceMs(const std::string& line) {
  std::size_t space = line.find(' ');
  return space == std::string::npos ? -1 : std::strtod(line.c_str() + space + 1, nullptr);
}

inline int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace update_e2e
