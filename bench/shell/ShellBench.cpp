// What the browser and shell set-up costs the client's start-up: the four
// steps (plug-in lookup, product name, desktop shortcuts, feature values) on
// every start once everything exists, for a renamed player's client and for a
// build tree's client, with no feature keys and with all of them holding
// their values; and, for comparison, a first start that creates every file.
// Everything happens in a temporary HOME and XDG folders.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/ClientConfig.h"
#include "app/ShellSetup.h"
#include "platform/store/Registry.h"

namespace fs = std::filesystem;

namespace {

class Scratch {
 public:
  Scratch() {
    char tmpl[] = "/tmp/torvane-bench-shell-XXXXXX";
    if (mkdtemp(tmpl)) m_dir = tmpl;
    setenv("HOME", (m_dir + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (m_dir + "/data").c_str(), 1);
    unsetenv("TORVANE_KEEP_NAME");
    fs::create_directories(m_dir + "/home");
    store::Close();
    m_config = ClientConfig::Get();  // the store is open, as after the settings load
  }
  ~Scratch() {
    ClientConfig::ResetForTesting();
    store::Close();
    fs::remove_all(m_dir);
  }
  // An executable at path below the scratch folder.
  std::string Exe(const std::string& relative) const {
    std::string path = m_dir + "/" + relative;
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "#!/bin/sh\n";
    chmod(path.c_str(), 0755);
    return path;
  }
  ShellPlaces Places(const std::string& exe) const { return {exe, m_dir + "/home/Desktop", m_dir + "/data"}; }
  std::string Dir() const { return m_dir; }
  ClientConfig& Config() { return *m_config; }

 private:
  std::string m_dir;
  ClientConfig* m_config = nullptr;
};

// Every feature key, so each start reads the ten values written at the first.
void AddFeatureKeys() {
  for (const char* f : {"FEATURE_BROWSER_EMULATION", "FEATURE_GPU_RENDERING", "FEATURE_MAXCONNECTIONSPERSERVER",
                        "FEATURE_MAXCONNECTIONSPER1_0SERVER", "FEATURE_ALIGNED_TIMERS", "FEATURE_ALLOW_HIGHFREQ_TIMERS",
                        "FEATURE_BEHAVIORS", "FEATURE_LOCALMACHINE_LOCKDOWN", "FEATURE_OBJECT_CACHING",
                        "FEATURE_SCRIPTURL_MITIGATION"}) {
    HKEY h = nullptr;
    std::string key = std::string(kFeatureControlKey) + "\\" + f;
    RegCreateKeyEx(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    RegCloseKey(h);
  }
}

// Every start after the first: the player's client already has the
// product's name and every file exists.
void BM_EveryStartRenamedClient(benchmark::State& state) {
  Scratch s;
  std::string exe = s.Exe("games/" + s.Config().GetUserClientAbout());
  if (state.range(0)) AddFeatureKeys();
  RunShellSetup(s.Config(), s.Places(exe));  // the first start creates everything
  for (auto _ : state) RunShellSetup(s.Config(), s.Places(exe));
  state.SetLabel(state.range(0) ? "all feature keys" : "no feature keys");
}
BENCHMARK(BM_EveryStartRenamedClient)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A build tree's client: it keeps its name, so the guards walk up to the
// build tree's CMakeCache.txt at every start.
void BM_EveryStartBuildTreeClient(benchmark::State& state) {
  Scratch s;
  fs::create_directories(s.Dir() + "/src/build");
  std::ofstream(s.Dir() + "/src/build/CMakeCache.txt") << "# CMake\n";
  std::string exe = s.Exe("src/build/bin/torvane");
  RunShellSetup(s.Config(), s.Places(exe));
  for (auto _ : state) RunShellSetup(s.Config(), s.Places(exe));
}
BENCHMARK(BM_EveryStartBuildTreeClient)->Unit(benchmark::kMicrosecond);

// The first start: the rename, four files and the icon written.
void BM_FirstStart(benchmark::State& state) {
  Scratch s;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(s.Dir() + "/home");
    fs::remove_all(s.Dir() + "/data");
    fs::remove_all(s.Dir() + "/games");
    std::string exe = s.Exe("games/client_10086(1)");
    state.ResumeTiming();
    RunShellSetup(s.Config(), s.Places(exe));
  }
}
BENCHMARK(BM_FirstStart)->Unit(benchmark::kMicrosecond);

}  // namespace
