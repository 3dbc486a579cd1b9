// Starts a private Xvfb for an end-to-end test and points DISPLAY at it, so
// the test needs no wrapper script; stopped (SIGTERM, waited for) on
// destruction. With TORVANE_E2E_USE_DISPLAY=1 and DISPLAY set, the existing
// display is used instead.
//
// Threads: one object, one thread.
#pragma once

#include <sys/types.h>

#include <string>

class VirtualDisplay {
 public:
  VirtualDisplay() = default;
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // False, with the reason on stderr, when no display came up within timeoutMs.
  bool Start(int timeoutMs = 10000);
  void Stop();
  const std::string& Name() const { return m_name; }

 private:
  pid_t m_pid = -1;
  std::string m_name;
};
