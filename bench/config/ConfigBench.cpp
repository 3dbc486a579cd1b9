// ClientConfig::GetValue on the embedded default document: each lookup walks
// the parsed document to the configuration element and finds the attribute.
// The registry store is pointed at a temporary folder for the load.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "app/ClientConfig.h"
#include "platform/store/Registry.h"

namespace {

// The configuration, loaded once against a private store that is removed
// when the benchmark ends.
struct Loaded {
  Loaded() {
    char tmpl[] = "/tmp/torvane-bench-XXXXXX";
    if (mkdtemp(tmpl)) dir = tmpl;
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    config = ClientConfig::Get();
  }
  ~Loaded() {
    ClientConfig::ResetForTesting();
    store::Close();
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
  std::string dir;
  ClientConfig* config = nullptr;
};

ClientConfig* LoadOnce() {
  static Loaded loaded;
  return loaded.config;
}

void BM_GetValueFirstKey(benchmark::State& state) {
  ClientConfig* config = LoadOnce();
  for (auto _ : state) benchmark::DoNotOptimize(config->GetValue("userClientAbout"));
}
BENCHMARK(BM_GetValueFirstKey);

void BM_GetValueLastKey(benchmark::State& state) {
  ClientConfig* config = LoadOnce();
  for (auto _ : state) benchmark::DoNotOptimize(config->GetValue("gwLink"));
}
BENCHMARK(BM_GetValueLastKey);

void BM_GetValueMissingKey(benchmark::State& state) {
  ClientConfig* config = LoadOnce();
  for (auto _ : state) benchmark::DoNotOptimize(config->GetValue("HomeUrl"));
}
BENCHMARK(BM_GetValueMissingKey);

}  // namespace
