#include "tests/support/ClientProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

long long NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The test's environment with the given entries added or replacing theirs.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
  auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  std::vector<std::string> out;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    bool replaced = false;
    for (const std::string& x : extra)
      if (nameOf(x) == nameOf(entry)) replaced = true;
    if (!replaced) out.push_back(entry);
  }
  for (const std::string& x : extra) out.push_back(x);
  return out;
}

}  // namespace

ClientProcess::~ClientProcess() {
  Stop(5000);
  if (m_readyFd >= 0) close(m_readyFd);
}

bool ClientProcess::Start(const Options& options) {
  std::vector<std::string> args = options.args.empty() ? std::vector<std::string>{options.path} : options.args;
  std::vector<std::string> env = options.env;
  int ready[2] = {-1, -1};
  if (options.readyPipe) {
    if (pipe(ready) != 0) return false;
    fcntl(ready[0], F_SETFD, FD_CLOEXEC);
    env.push_back("TORVANE_READY_FD=" + std::to_string(ready[1]));
  }
  std::vector<std::string> envs = MergedEnvironment(env);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const char* out = options.outPath.empty() ? "/dev/null" : options.outPath.c_str();
  const char* err = options.errPath.empty() ? "/dev/null" : options.errPath.c_str();
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out, O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err, O_WRONLY | O_CREAT | O_APPEND, 0644);

  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);
  int rc = posix_spawnp(&m_pid, options.path.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (ready[1] >= 0) close(ready[1]);
  if (rc != 0) {
    std::fprintf(stderr, "ClientProcess: cannot start %s: %s\n", options.path.c_str(), std::strerror(rc));
    if (ready[0] >= 0) close(ready[0]);
    m_pid = -1;
    return false;
  }
  m_readyFd = ready[0];
  m_ended = false;
  m_status = 0;
  m_errPath = options.errPath;
  return true;
}

bool ClientProcess::WaitReady(int timeoutMs) {
  if (m_readyFd < 0) return false;
  std::string got;
  long long end = NowMs() + timeoutMs;
  while (got.find("ready") == std::string::npos) {
    long long left = end - NowMs();
    if (left <= 0) return false;
    pollfd p{m_readyFd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[64];
    ssize_t n = read(m_readyFd, buf, sizeof buf);
    if (n <= 0) break;  // closed without "ready": the client ended first
    got.append(buf, static_cast<std::size_t>(n));
  }
  close(m_readyFd);
  m_readyFd = -1;
  return got.find("ready") != std::string::npos;
}

bool ClientProcess::Running() {
  if (m_pid <= 0 || m_ended) return false;
  int status = 0;
  pid_t r = waitpid(m_pid, &status, WNOHANG);
  if (r == m_pid) {
    m_ended = true;
    m_status = status;
    return false;
  }
  return r == 0;
}

bool ClientProcess::WaitExit(int timeoutMs) {
  long long end = NowMs() + timeoutMs;
  while (Running()) {
    if (NowMs() >= end) return false;
    usleep(20 * 1000);  // a child's end has no descriptor to poll
  }
  return m_pid > 0 && m_ended;
}

void ClientProcess::Signal(int signal) {
  if (m_pid > 0 && !m_ended) kill(m_pid, signal);
}

bool ClientProcess::Stop(int graceMs) {
  if (m_pid <= 0 || m_ended || !Running()) return true;
  kill(m_pid, SIGTERM);
  if (WaitExit(graceMs)) return true;
  std::fprintf(stderr, "ClientProcess: %d did not end on SIGTERM; killed\n", static_cast<int>(m_pid));
  kill(m_pid, SIGKILL);
  WaitExit(10000);
  return false;
}

bool ClientProcess::ExitedWith(int code) const {
  return m_ended && WIFEXITED(m_status) && WEXITSTATUS(m_status) == code;
}

std::string ClientProcess::Describe() const {
  if (!m_ended) return "running";
  if (WIFEXITED(m_status)) return "exit " + std::to_string(WEXITSTATUS(m_status));
  if (WIFSIGNALED(m_status)) return "signal " + std::to_string(WTERMSIG(m_status));
  return "status " + std::to_string(m_status);
}

std::string ClientProcess::Stderr() const {
  if (m_errPath.empty()) return {};
  std::ifstream in(m_errPath, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
