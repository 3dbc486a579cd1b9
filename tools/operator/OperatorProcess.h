// Runs the stand-in operator server (torvane-operator) as a child process on a
// free loopback port, for tests and benchmarks; the process is stopped with
// SIGTERM and waited for when the object is destroyed.
//
// Threads: one object is used from one thread; LogText may be called from any.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

class OperatorProcess {
 public:
  // extraArgs go to the server after --port, --timeout and --log.
  explicit OperatorProcess(std::vector<std::string> extraArgs = {});
  ~OperatorProcess();
  OperatorProcess(const OperatorProcess&) = delete;
  OperatorProcess& operator=(const OperatorProcess&) = delete;

  // Starts the server on port (0: a free port the server picks) and waits,
  // at most timeoutMs, until it listens. False, with the reason on stderr,
  // when it did not come up. The server ends when the calling thread ends
  // (so a crashed test leaves no server behind): start it from a thread that
  // outlives its use, such as the test's main thread.
  bool Start(int port = 0, int timeoutMs = 10000);
  // SIGTERM and wait; nothing when not running.
  void Stop();
  bool Running() const { return pid_ > 0; }

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by path.
  std::string Url(const std::string& path) const;
  // The request log so far (one line a request).
  std::string LogText() const;
  const std::string& LogPath() const { return logPath_; }

  // The server's executable: $TORVANE_TEST_BIN/torvane-operator, else the
  // build's bin folder.
  static std::string ExecutablePath();
  // A loopback port that was free a moment ago (bind to 0, read, close).
  static int PickFreePort();

 private:
  std::vector<std::string> extraArgs_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string logPath_;
};
