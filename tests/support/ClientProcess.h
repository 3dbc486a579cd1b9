// A program an end-to-end test starts and ends, such as the built client:
// its arguments (argv[0] may differ from the executable, as a client started
// under a tagged file name needs), extra environment, stdout and stderr
// captured to files, and optionally the client's start-up pipe
// (TORVANE_READY_FD) whose "ready" the test waits for. A process still running
// when the object goes is ended with SIGTERM, and SIGKILL after a grace time.
//
// Threads: one object, one thread.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ClientProcess {
 public:
  struct Options {
    std::string path;               // the executable; searched in PATH when it has no '/'
    std::vector<std::string> args;  // argv with argv[0]; empty: just {path}
    std::vector<std::string> env;   // NAME=value entries that add to or replace the test's environment
    std::string outPath;            // stdout goes here ("" : /dev/null)
    std::string errPath;            // stderr goes here ("" : /dev/null)
    bool readyPipe = false;         // hand the child TORVANE_READY_FD
  };

  ClientProcess() = default;
  ~ClientProcess();
  ClientProcess(const ClientProcess&) = delete;
  ClientProcess& operator=(const ClientProcess&) = delete;

  // False, with the reason on stderr, when the program could not be started.
  bool Start(const Options& options);
  // True once the child wrote "ready" to its start-up pipe; false when it
  // closed the pipe without it, ended, or timeoutMs passed.
  bool WaitReady(int timeoutMs);
  // True while the process runs (an ended one is reaped here).
  bool Running();
  // Waits at most timeoutMs for the end; true when it ended. The waitpid
  // status is kept (Status, ExitedWith).
  bool WaitExit(int timeoutMs);
  void Signal(int signal);
  // SIGTERM, at most graceMs for the end, then SIGKILL. True when SIGTERM
  // was enough (or the process had already ended).
  bool Stop(int graceMs = 10000);

  pid_t Pid() const { return m_pid; }
  bool Ended() const { return m_ended; }
  int Status() const { return m_status; }
  // True when the process ended by exit(code).
  bool ExitedWith(int code) const;
  // "exit N", "signal N" or "running", for messages.
  std::string Describe() const;
  // What the process wrote to stderr so far ("" when not captured).
  std::string Stderr() const;

 private:
  pid_t m_pid = -1;
  int m_readyFd = -1;
  bool m_ended = false;
  int m_status = 0;
  std::string m_errPath;
};
