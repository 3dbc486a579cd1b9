#include "bench/client/BenchProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace bench {

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

Program::~Program() { Stop(2000); }

bool Program::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env, int linesFd,
                    const std::string& errPath, bool withStdin) {
  int out[2], in[2] = {-1, -1};
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  if (withStdin && pipe2(in, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (withStdin) posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], linesFd);
  if (errPath.empty()) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  else posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  m_lines.clear();
  m_partial.clear();
  m_startMs = NowMs();
  int rc = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (withStdin) close(in[0]);
  m_fd = out[0];
  m_in = in[1];
  fcntl(m_fd, F_SETFL, O_NONBLOCK);
  if (rc != 0) {
    m_pid = -1;
    close(m_fd);
    m_fd = -1;
    if (m_in >= 0) close(m_in);
    m_in = -1;
    return false;
  }
  return true;
}

bool Program::ReadSome() {
  char buf[4096];
  while (m_fd >= 0) {
    ssize_t n = read(m_fd, buf, sizeof buf);
    if (n == 0) return false;
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    double at = NowMs();
    m_partial.append(buf, static_cast<std::size_t>(n));
    std::size_t nl;
    while ((nl = m_partial.find('\n')) != std::string::npos) {
      m_lines.push_back(Line{m_partial.substr(0, nl), at});
      m_partial.erase(0, nl + 1);
    }
  }
  return false;
}

void Program::Drain() { ReadSome(); }

int Program::WaitFor(const std::function<bool(const std::string&)>& pred, int timeoutMs, std::size_t from) {
  double end = NowMs() + timeoutMs;
  std::size_t checked = from;
  while (true) {
    for (; checked < m_lines.size(); ++checked)
      if (pred(m_lines[checked].text)) return static_cast<int>(checked);
    double left = end - NowMs();
    if (left <= 0 || m_fd < 0) return -1;
    pollfd p{m_fd, POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left) + 1);
    if (ready > 0 && !ReadSome()) {
      for (; checked < m_lines.size(); ++checked)
        if (pred(m_lines[checked].text)) return static_cast<int>(checked);
      return -1;  // the program closed its end
    }
  }
}

void Program::Send(const std::string& line) {
  if (m_in < 0) return;
  std::string s = line + "\n";
  ssize_t n = write(m_in, s.data(), s.size());
  (void)n;
}

int Program::Stop(int timeoutMs) {
  int status = -1;
  if (m_pid > 0) {
    // The tree first: the engine's processes may outlive the program.
    std::vector<pid_t> tree = ProcessTree(m_pid);
    kill(m_pid, SIGTERM);
    double end = NowMs() + timeoutMs;
    bool ended = false;
    while (NowMs() < end) {
      if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        ended = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!ended) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
    }
    for (pid_t p : tree)
      if (p != m_pid) kill(p, SIGKILL);
    // This process is the sub-reaper of what the program left behind.
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    m_pid = -1;
  }
  if (m_fd >= 0) {
    ReadSome();
    close(m_fd);
  }
  m_fd = -1;
  if (m_in >= 0) close(m_in);
  m_in = -1;
  return status;
}

namespace {

// pid -> parent pid of every process now.
std::map<pid_t, pid_t> Parents() {
  std::map<pid_t, pid_t> parents;
  DIR* proc = opendir("/proc");
  while (dirent* d = proc ? readdir(proc) : nullptr) {
    pid_t pid = static_cast<pid_t>(std::atoi(d->d_name));
    if (pid <= 0) continue;
    std::ifstream stat(std::string("/proc/") + d->d_name + "/stat");
    std::string line;
    std::getline(stat, line);
    auto close = line.rfind(')');
    if (close == std::string::npos || close + 4 > line.size()) continue;
    // After ") S ": the parent.
    parents[pid] = static_cast<pid_t>(std::atoi(line.c_str() + close + 4));
  }
  if (proc) closedir(proc);
  return parents;
}

}  // namespace

std::vector<pid_t> ProcessTree(pid_t root) {
  std::map<pid_t, pid_t> parents = Parents();
  std::vector<pid_t> tree;
  if (!parents.count(root)) return tree;
  tree.push_back(root);
  for (std::size_t i = 0; i < tree.size(); ++i)
    for (const auto& [pid, parent] : parents)
      if (parent == tree[i]) tree.push_back(pid);
  return tree;
}

std::string ProcessName(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

long PssKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string key, rest;
  while (in >> key) {
    if (key == "Pss:") {
      long value = 0;
      in >> value;
      return value;
    }
    std::getline(in, rest);
  }
  return 0;
}

double TreeCpuMs(pid_t root) {
  double ticks = 0;
  for (pid_t pid : ProcessTree(root)) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    // Fields 3 to 15: utime and stime are the 12th and 13th after the state.
    for (int i = 3; i <= 15 && fields >> field; ++i)
      if (i == 14 || i == 15) ticks += std::atof(field.c_str());
  }
  return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

TreeMemory MeasureTree(pid_t root) {
  TreeMemory m;
  std::map<std::string, long> byName;
  for (pid_t pid : ProcessTree(root)) {
    long kb = PssKb(pid);
    std::string name = ProcessName(pid);
    m.totalKb += kb;
    byName[name] += kb;
    if (name.rfind("WebKitWebProces", 0) == 0) ++m.webProcesses;
  }
  for (const auto& [name, kb] : byName) m.parts += (m.parts.empty() ? "" : " ") + name + "=" + std::to_string(kb);
  return m;
}

TreeMemory SettledTree(pid_t root, int maxMs) {
  double end = NowMs() + maxMs;
  TreeMemory last = MeasureTree(root);
  int calm = 0;
  while (NowMs() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    TreeMemory now = MeasureTree(root);
    long diff = std::labs(now.totalKb - last.totalKb);
    last = now;
    if (diff * 100 < std::max(1L, now.totalKb)) {
      if (++calm == 2) break;
    } else {
      calm = 0;
    }
  }
  return last;
}

}  // namespace bench
