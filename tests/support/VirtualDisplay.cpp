#include "tests/support/VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

VirtualDisplay::~VirtualDisplay() { Stop(); }

bool VirtualDisplay::Start(int timeoutMs) {
  const char* use = std::getenv("TORVANE_E2E_USE_DISPLAY");
  if (use && std::strcmp(use, "1") == 0 && std::getenv("DISPLAY")) {
    m_name = std::getenv("DISPLAY");
    return true;
  }
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::string fd = std::to_string(fds[1]);
  const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                        nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  int rc = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    std::fprintf(stderr, "VirtualDisplay: cannot start Xvfb: %s\n", std::strerror(rc));
    close(fds[0]);
    m_pid = -1;
    return false;
  }
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  while (poll(&p, 1, timeoutMs) > 0) {
    char c;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) {
    std::fprintf(stderr, "VirtualDisplay: Xvfb did not report a display\n");
    Stop();
    return false;
  }
  m_name = ":" + number;
  setenv("DISPLAY", m_name.c_str(), 1);
  unsetenv("WAYLAND_DISPLAY");
  return true;
}

void VirtualDisplay::Stop() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGTERM);
  int status;
  waitpid(m_pid, &status, 0);
  m_pid = -1;
}
