#include "tools/operator/OperatorProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

#ifndef TORVANE_BIN_DIR
#define TORVANE_BIN_DIR "."
#endif

OperatorProcess::OperatorProcess(std::vector<std::string> extraArgs) : extraArgs_(std::move(extraArgs)) {}

OperatorProcess::~OperatorProcess() {
  Stop();
  if (!logPath_.empty()) unlink(logPath_.c_str());
}

std::string OperatorProcess::ExecutablePath() {
  const char* bin = std::getenv("TORVANE_TEST_BIN");
  std::string dir = bin && *bin ? bin : TORVANE_BIN_DIR;
  return dir + "/torvane-operator";
}

int OperatorProcess::PickFreePort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

bool OperatorProcess::Start(int port, int timeoutMs) {
  if (pid_ > 0) return true;
  if (logPath_.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/torvane-operator-log-XXXXXX";
    int fd = mkstemp(templ.data());
    if (fd < 0) {
      std::fprintf(stderr, "OperatorProcess: cannot create a log file: %s\n", std::strerror(errno));
      return false;
    }
    close(fd);
    logPath_ = templ;
  }
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;

  std::vector<std::string> args = {ExecutablePath(), "--port", std::to_string(port), "--timeout", "300",
                                   "--log", logPath_, "--exit-with-parent"};
  args.insert(args.end(), extraArgs_.begin(), extraArgs_.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    std::fprintf(stderr, "OperatorProcess: cannot start %s: %s\n", argv[0], std::strerror(rc));
    return false;
  }
  pid_ = pid;

  // The first line of its output is the port it listens on.
  std::string line;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (line.find('\n') == std::string::npos) {
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
    if (left <= 0) break;
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, left) <= 0) break;
    char buf[64];
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  port_ = std::atoi(line.c_str());
  if (port_ <= 0) {
    std::fprintf(stderr, "OperatorProcess: the server did not come up (output '%s'); its log:\n%s\n", line.c_str(),
                 LogText().c_str());
    Stop();
    return false;
  }
  return true;
}

void OperatorProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

std::string OperatorProcess::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string OperatorProcess::LogText() const {
  std::ifstream in(logPath_);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
