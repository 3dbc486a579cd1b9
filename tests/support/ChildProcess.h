// A program a test starts and talks to: lines to its stdin, its stdout read
// as lines and waited for with a time-out, its end waited for. Stopped with
// SIGTERM (and waited for) on destruction. Header only; one test thread.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts args[0] (looked up in PATH) with this process's environment. A
  // process that was started before is stopped first; its lines are dropped.
  bool Start(const std::vector<std::string>& args) {
    Stop();
    m_lines.clear();
    m_partial.clear();
    int out[2], in[2];
    if (pipe(out) != 0) return false;
    if (pipe(in) != 0) {
      close(out[0]);
      close(out[1]);
      return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    for (int fd : {out[0], out[1], in[0], in[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    extern char** environ;
    int rc = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(in[0]);
    m_out = out[0];
    m_in = in[1];
    fcntl(m_out, F_SETFL, O_NONBLOCK);
    fcntl(m_out, F_SETFD, FD_CLOEXEC);
    fcntl(m_in, F_SETFD, FD_CLOEXEC);
    if (rc != 0) {
      m_pid = -1;
      Close();
    }
    return rc == 0;
  }

  // Asks it to end (SIGTERM) and waits; its exit status (-1 when it was not running).
  int Stop() {
    int status = -1;
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, &status, 0);
      m_pid = -1;
    }
    Drain();
    Close();
    return status;
  }

  void Send(const std::string& line) {
    std::string s = line + "\n";
    if (m_in >= 0) {
      ssize_t n = write(m_in, s.data(), s.size());
      (void)n;
    }
  }

  // Waits for a line, from line index `from` on, for which pred holds; the
  // line, or "" after timeoutMs.
  std::string WaitFor(const std::function<bool(const std::string&)>& pred, int timeoutMs, std::size_t from = 0) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
      for (std::size_t i = from; i < m_lines.size(); ++i)
        if (pred(m_lines[i])) return m_lines[i];
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0 || m_out < 0) return "";
      pollfd p{m_out, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) > 0 && !ReadSome()) {
        for (std::size_t i = from; i < m_lines.size(); ++i)
          if (pred(m_lines[i])) return m_lines[i];
        return "";  // it closed its output
      }
    }
  }
  std::string WaitForPrefix(const std::string& prefix, int timeoutMs, std::size_t from = 0) {
    return WaitFor([&](const std::string& l) { return l.rfind(prefix, 0) == 0; }, timeoutMs, from);
  }
  // Reads what is there without waiting.
  void Drain() { ReadSome(); }
  const std::vector<std::string>& Lines() const { return m_lines; }
  std::size_t Mark() {
    Drain();
    return m_lines.size();
  }

 private:
  // False once the output is closed.
  bool ReadSome() {
    char buf[4096];
    while (m_out >= 0) {
      ssize_t n = read(m_out, buf, sizeof buf);
      if (n == 0) return false;
      if (n < 0) return true;
      m_partial.append(buf, static_cast<std::size_t>(n));
      std::size_t nl;
      while ((nl = m_partial.find('\n')) != std::string::npos) {
        m_lines.push_back(m_partial.substr(0, nl));
        m_partial.erase(0, nl + 1);
      }
    }
    return false;
  }
  void Close() {
    if (m_out >= 0) close(m_out);
    if (m_in >= 0) close(m_in);
    m_out = m_in = -1;
  }

  pid_t m_pid = -1;
  int m_out = -1;
  int m_in = -1;
  std::string m_partial;
  std::vector<std::string> m_lines;
};
