// How long the client takes from process start until its message loop runs
// (it reports through TORVANE_READY_FD), on the headless backend, and how
// long the orderly exit after SIGTERM takes. Settings go to a scratch folder.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Run {
  double toLoopMs = 0;
  double exitMs = 0;
  bool ok = false;
};

Run StartOnce(const std::string& scratch) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::vector<std::string> envs;
  for (char** e = environ; *e; ++e) {
    std::string s = *e;
    if (s.rfind("TORVANE_BACKEND=", 0) == 0 || s.rfind("XDG_CONFIG_HOME=", 0) == 0) continue;
    envs.push_back(s);
  }
  envs.push_back("TORVANE_BACKEND=headless");
  envs.push_back("XDG_CONFIG_HOME=" + scratch);
  envs.push_back("TORVANE_READY_FD=" + std::to_string(fds[1]));
  std::vector<char*> envp;
  for (auto& e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string exe = TORVANE_CLIENT;
  char* argv[] = {exe.data(), nullptr};
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return {};
  close(fds[1]);
  char buf[8];
  ssize_t n = read(fds[0], buf, sizeof buf);
  auto t1 = std::chrono::steady_clock::now();
  close(fds[0]);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  auto t2 = std::chrono::steady_clock::now();
  Run r;
  r.ok = n > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  r.toLoopMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
  r.exitMs = std::chrono::duration<double, std::milli>(t2 - t1).count();
  return r;
}

void BM_StartToLoop(benchmark::State& state) {
  std::string scratch = (std::filesystem::temp_directory_path() / ("torvane-bench-start-" + std::to_string(getpid()))).string();
  double exitTotal = 0;
  int runs = 0;
  for (auto _ : state) {
    Run r = StartOnce(scratch);
    if (!r.ok) {
      state.SkipWithError("the client did not start and exit cleanly");
      break;
    }
    state.SetIterationTime(r.toLoopMs / 1000.0);
    exitTotal += r.exitMs;
    ++runs;
  }
  if (runs) state.counters["exit_ms"] = exitTotal / runs;
  std::filesystem::remove_all(scratch);
}
BENCHMARK(BM_StartToLoop)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
