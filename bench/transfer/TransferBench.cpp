// Timed comparison of the download path with the curl command-line tool, and
// the latency of CDownloadThread::Stop during a transfer. Both run against
// the stand-in operator on a free loopback port.
//
//   bench_transfer [megabytes=200] [runs=3]
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/Transfer.h"
#include "tools/operator/OperatorProcess.h"
#include "transfer/DownloadThread.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

long long FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Runs curl -s -o path url; its exit code.
int RunCurl(const std::string& url, const std::string& path) {
  std::vector<std::string> args = {"curl", "-s", "-o", path, url};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  long long mb = argc > 1 ? std::atoll(argv[1]) : 200;
  int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  if (mb <= 0 || runs <= 0) {
    std::fprintf(stderr, "usage: bench_transfer [megabytes] [runs]\n");
    return 2;
  }
  OperatorProcess server;
  if (!server.Start()) return 1;
  std::string dir = (std::filesystem::temp_directory_path() / "torvane-bench-XXXXXX").string();
  if (!mkdtemp(dir.data())) return 1;
  setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
  long long bytes = mb * 1000 * 1000;
  std::string url = server.Url("/test/bytes?n=" + std::to_string(bytes));
  std::string file = dir + "/download.bin";

  // Download throughput: ours and curl's, alternating, in the same run.
  std::vector<double> ours, theirs;
  for (int i = 0; i < runs; ++i) {
    auto t0 = Clock::now();
    net::TransferResult r = net::DownloadToFile(url, file, net::TransferOptions());
    auto t1 = Clock::now();
    if (!r.ok || FileSize(file) != bytes) {
      std::fprintf(stderr, "download failed: %s\n", r.error.c_str());
      return 1;
    }
    ours.push_back(Ms(t1 - t0));
    std::filesystem::remove(file);

    t0 = Clock::now();
    int rc = RunCurl(url, file);
    t1 = Clock::now();
    if (rc != 0 || FileSize(file) != bytes) {
      std::fprintf(stderr, "curl failed (%d)\n", rc);
      return 1;
    }
    theirs.push_back(Ms(t1 - t0));
    std::filesystem::remove(file);
  }
  double o = Median(ours), c = Median(theirs);
  std::printf("download %lld MB, median of %d: torvane %.0f ms (%.0f MB/s), curl %.0f ms (%.0f MB/s), ratio %.2f\n",
              mb, runs, o, bytes / 1e3 / o, c, bytes / 1e3 / c, o / c);

  // Stop latency: a worker in the middle of a large download is stopped; the
  // time until its thread has ended.
  std::vector<double> stops;
  for (int i = 0; i < 5; ++i) {
    CDownloadThread worker;
    worker.SetNotifier([](HWND, UINT, WPARAM, LPARAM) {});
    worker.Start(FALSE);
    CDownloadThread::THREAD_PARAM_DOWN req;
    req.strUrl = req.strSrcUrl = server.Url("/test/bytes?n=1000000000");
    req.strSavePath = dir + "/stopped.bin";
    worker.AddRequest(req);
    worker.m_hWorkEvent.Set();
    // Wait until data flows (the temporary file beside the target grows).
    auto deadline = Clock::now() + std::chrono::seconds(10);
    bool flowing = false;
    while (!flowing && Clock::now() < deadline) {
      for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().rfind("stopped.bin.part", 0) == 0 && e.file_size() > (8 << 20)) flowing = true;
      if (!flowing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!flowing) {
      std::fprintf(stderr, "the transfer did not start\n");
      return 1;
    }
    auto t0 = Clock::now();
    worker.Stop();
    bool ended = worker.GetThreadHandle()->Wait(5000);
    auto t1 = Clock::now();
    if (!ended) {
      std::fprintf(stderr, "Stop did not end the thread\n");
      return 1;
    }
    stops.push_back(Ms(t1 - t0));
  }
  std::printf("Stop during a transfer: median %.2f ms, max %.2f ms (5 runs)\n", Median(stops),
              *std::max_element(stops.begin(), stops.end()));
  std::filesystem::remove_all(dir);
  return 0;
}
