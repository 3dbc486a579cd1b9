// The process side of bench_client: starting a program with a chosen
// environment and its timing lines on a pipe (each line stamped when it
// arrives), the proportional memory (PSS) of a process and everything it
// started, and ending such a tree. Single-threaded.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace bench {

// Milliseconds on the monotonic clock.
double NowMs();

// One line a program wrote, and when it arrived here.
struct Line {
  std::string text;
  double atMs = 0;
};

// A program started with one pipe that it writes lines to: its stdout
// (linesFd 1) or another descriptor number (the client's TORVANE_TRACE_FD).
// Optionally its stdin is a pipe too. Destroying it ends the whole tree.
class Program {
 public:
  Program() = default;
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // argv[0] is a path. env is the whole environment. stderr goes to
  // errPath (appended) when given, else /dev/null.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env, int linesFd,
             const std::string& errPath = "", bool withStdin = false);
  pid_t Pid() const { return m_pid; }
  // Just before the process was made: what "process start" means here.
  double StartMs() const { return m_startMs; }

  // Waits until a line from index `from` on satisfies pred, at most timeoutMs;
  // its index, or -1 (time-out, or the program closed the pipe).
  int WaitFor(const std::function<bool(const std::string&)>& pred, int timeoutMs, std::size_t from = 0);
  const std::vector<Line>& Lines() const { return m_lines; }
  // Reads what has arrived without waiting.
  void Drain();
  void Send(const std::string& line);

  // SIGTERM to the program, up to timeoutMs for it to end, then SIGKILL for
  // it and for every process it started. Its exit status (-1: not running).
  int Stop(int timeoutMs = 5000);

 private:
  bool ReadSome();  // false once the pipe is closed

  pid_t m_pid = -1;
  int m_fd = -1;
  int m_in = -1;
  double m_startMs = 0;
  std::string m_partial;
  std::vector<Line> m_lines;
};

// The process and all its descendants (found through /proc's parent links).
std::vector<pid_t> ProcessTree(pid_t root);
// The command name (/proc/<pid>/comm).
std::string ProcessName(pid_t pid);
// Pss of /proc/<pid>/smaps_rollup in KiB; 0 when it cannot be read.
long PssKb(pid_t pid);

// CPU time (user and system) the tree's living processes have used, in ms.
double TreeCpuMs(pid_t root);

// The memory of a tree at one moment.
struct TreeMemory {
  long totalKb = 0;
  int webProcesses = 0;  // WebKitWebProcess among them
  std::string parts;     // "name=KiB ..." for the report
};
TreeMemory MeasureTree(pid_t root);
// Measures every 250 ms until two samples in a row differ by less than 1 %
// of the total, or maxMs passed; the last sample.
TreeMemory SettledTree(pid_t root, int maxMs = 5000);

}  // namespace bench
