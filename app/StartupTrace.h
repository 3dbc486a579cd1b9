// A record of the start-up and shutdown steps as they run, in order, so a
// test can check the order on the headless backend; and, for benchmarks, an
// optional timing trace of the same steps and of the moments a person sees
// (the launcher's first frame, a page's DOMContentLoaded and load end).
//
// The trace is off unless the client was started with TORVANE_TRACE_FD=N:
// then every step and every traced event writes one line to descriptor N,
// "<name> <ms since process start>[ <detail>]" (see app/README.md). Without
// the variable, Trace costs one test of a flag and writes nothing.
//
// The trace functions are inline so the browser view and the windows, which
// do not link the application core, can report through them; there is still
// exactly one trace state in the process (an inline function's static).
//
// Threads: user-interface thread only.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <vector>

namespace startup {

namespace internal {

struct TraceState {
  std::vector<std::string> steps;
  bool sinkChecked = false;  // TORVANE_TRACE_FD was looked at
  int fd = -1;               // the trace's descriptor, -1: no trace
  double startMs = 0;        // the process's start on the CLOCK_BOOTTIME scale
  std::set<std::string> once;  // events TraceOnce has written
};

inline TraceState& State() {
  static TraceState state;
  return state;
}

inline double BootTimeMs() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The process's start time: field 22 of /proc/self/stat (clock ticks since
// boot), after the command name, which may itself hold spaces and ')'.
inline double ProcessStartMs() {
  char buf[1024];
  std::FILE* f = std::fopen("/proc/self/stat", "r");
  std::size_t n = f ? std::fread(buf, 1, sizeof buf - 1, f) : 0;
  if (f) std::fclose(f);
  buf[n] = '\0';
  const char* p = n ? std::strrchr(buf, ')') : nullptr;
  long ticksPerSecond = sysconf(_SC_CLK_TCK);
  if (!p || ticksPerSecond <= 0) return BootTimeMs();
  p += 2;  // field 3
  for (int field = 3; field < 22 && p; ++field) {
    p = std::strchr(p, ' ');
    if (p) ++p;
  }
  if (!p) return BootTimeMs();
  return static_cast<double>(std::strtoull(p, nullptr, 10)) * 1000.0 / static_cast<double>(ticksPerSecond);
}

// The descriptor of the trace, opened from the environment at the first use.
inline int Sink() {
  TraceState& s = State();
  if (s.sinkChecked) return s.fd;
  s.sinkChecked = true;
  const char* value = std::getenv("TORVANE_TRACE_FD");
  if (!value || !*value) return -1;
  char* end = nullptr;
  long fd = std::strtol(value, &end, 10);
  if (*end != '\0' || fd < 0 || fd > 65535 || fcntl(static_cast<int>(fd), F_GETFD) < 0) {
    std::fprintf(stderr, "torvane: TORVANE_TRACE_FD=%s is not an open descriptor; no trace is written\n", value);
    return -1;
  }
  // The processes the client starts (web processes, update packages) must
  // not keep the reader's end waiting.
  fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
  s.fd = static_cast<int>(fd);
  s.startMs = ProcessStartMs();
  return s.fd;
}

inline void Write(int fd, const char* name, const std::string& detail) {
  char head[160];
  int n = std::snprintf(head, sizeof head, "%s %.1f", name, BootTimeMs() - State().startMs);
  if (n <= 0) return;
  std::string line(head, std::min(static_cast<std::size_t>(n), sizeof head - 1));
  if (!detail.empty()) {
    line += ' ';
    for (char c : detail) line += c == '\n' || c == '\r' ? ' ' : c;  // one line an event
  }
  line += '\n';
  // A reader that went away or a full pipe must not stop the client.
  ssize_t w = ::write(fd, line.data(), line.size());
  if (w < 0) State().fd = -1;
}

}  // namespace internal

// Whether the timing trace is on (TORVANE_TRACE_FD names an open descriptor).
inline bool Tracing() { return internal::Sink() >= 0; }

// Writes "<event> <ms>[ <detail>]" to the trace when it is on; the event is
// not a start-up step (Steps() does not list it).
inline void Trace(const char* event, const std::string& detail = std::string()) {
  int fd = internal::Sink();
  if (fd >= 0) internal::Write(fd, event, detail);
}

// Trace, the first time this event is reported only.
inline void TraceOnce(const char* event) {
  if (internal::Sink() >= 0 && internal::State().once.insert(event).second) Trace(event);
}

// Records a start-up or shutdown step (and traces it when the trace is on).
void Record(const char* step);
const std::vector<std::string>& Steps();
void Clear();

}  // namespace startup
