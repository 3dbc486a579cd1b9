// bench_update [runs=5] [package megabytes, comma-separated = 0,10,100]:
// the real client (gtk backend, under a private Xvfb) finds a newer signed
// version at the stand-in operator on loopback, downloads the package,
// checks its signature, starts it and exits. For each package size, the
// median over the runs of:
//   doc->start   the version document in hand to the package started;
//   download     the version document in hand to the package in hand;
//   check+start  the package in hand to the package started (the private
//                copy with its SHA-256, the Ed25519 check, the spawn);
//   ran          the client's start to the package's record written
//                (wall clock, seen from here).
// The first three come from the client's timing trace (TORVANE_TRACE_FD).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/update/UpdateClient.h"
#include "tests/support/VirtualDisplay.h"
#include "tools/operator/OperatorProcess.h"

namespace {

namespace fs = std::filesystem;
using update_e2e::TraceMs;
using update_e2e::UpdateClient;

constexpr int kPort = 18672;
constexpr char kProduct[] = "更新基准";
constexpr int kStepTimeoutMs = 120000;

struct Run {
  double docToStart = 0, download = 0, check = 0, ran = 0;
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// One client run against a package of padBytes; false with the reason on stderr.
bool RunOnce(long long padBytes, int index, Run* out) {
  fs::path root = fs::temp_directory_path() / ("torvane-bench-update-" + std::to_string(getpid()) + "-" +
                                               std::to_string(index));
  std::error_code ec;  // the engine's processes may still be leaving: no throw
  fs::remove_all(root, ec);
  for (const char* sub : {"install", "home", "config", "cache", "data"}) fs::create_directories(root / sub);
  fs::path exe = root / "install" / "torvane-update";
  fs::copy_file(BENCH_CLIENT, exe);
  fs::path record = root / "record.txt";
  bool ok = false;
  {
    OperatorProcess op({"--version", "1.0.0.2", "--sign-key", BENCH_DEV_KEY, "--sign-product", kProduct, "--record",
                        record.string(), "--package-pad", std::to_string(padBytes)});
    if (!op.Start(kPort)) {
      std::fprintf(stderr, "bench_update: the stand-in operator did not start on port %d\n", kPort);
      fs::remove_all(root, ec);
      return false;
    }
    UpdateClient client;
    auto begin = std::chrono::steady_clock::now();
    if (!client.Start(root, exe)) {
      std::fprintf(stderr, "bench_update: the client did not start\n");
    } else {
      std::string started = client.WaitForEvent("update-package-started", kStepTimeoutMs);
      std::string loaded = client.WaitForEvent("update-package-loaded", 0);
      std::string document = client.WaitForEvent("update-version-loaded", 0);
      bool ran = update_e2e::WaitForLine(record, kStepTimeoutMs);
      auto end = std::chrono::steady_clock::now();
      if (started.empty() || loaded.empty() || document.empty() || !ran) {
        std::fprintf(stderr, "bench_update: no update ran; client stderr:\n%s\n", client.Stderr().c_str());
      } else {
        out->docToStart = TraceMs(started) - TraceMs(document);
        out->download = TraceMs(loaded) - TraceMs(document);
        out->check = TraceMs(started) - TraceMs(loaded);
        out->ran = std::chrono::duration<double, std::milli>(end - begin).count();
        ok = client.WaitExit(30000);
        if (!ok) std::fprintf(stderr, "bench_update: the client did not exit after starting the package\n");
      }
    }
  }
  fs::remove_all(root, ec);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 5;
  std::string sizes = argc > 2 ? argv[2] : "0,10,100";
  if (runs < 1) {
    std::fprintf(stderr, "usage: bench_update [runs=5] [package megabytes, comma-separated = 0,10,100]\n");
    return 2;
  }
  VirtualDisplay display;
  if (!display.Start()) return 1;

  std::printf("%-10s %5s %14s %12s %14s %10s   (median ms)\n", "package", "runs", "doc->start", "download",
              "check+start", "ran");
  std::stringstream list(sizes);
  std::string item;
  int index = 0;
  while (std::getline(list, item, ',')) {
    long long megabytes = std::atoll(item.c_str());
    std::vector<double> docToStart, download, check, ran;
    for (int i = 0; i < runs; ++i) {
      Run r;
      if (!RunOnce(megabytes << 20, index++, &r)) return 1;
      docToStart.push_back(r.docToStart);
      download.push_back(r.download);
      check.push_back(r.check);
      ran.push_back(r.ran);
    }
    std::string label = megabytes == 0 ? "script" : std::to_string(megabytes) + " MB";
    std::printf("%-10s %5d %14.1f %12.1f %14.1f %10.1f\n", label.c_str(), runs, Median(docToStart), Median(download),
                Median(check), Median(ran));
    std::fflush(stdout);
  }
  return 0;
}
