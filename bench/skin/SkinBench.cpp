// Skin costs: decoding and premultiplying every default PNG, and composing
// the game window (framed, 1920 x 1050) and the launcher (layered,
// 1222 x 780) with images decoded once or decoded again for every render
// (what the layered window does). The last benchmark prints the ratio.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

#include "platform/base/Resources.h"
#include "skin/ImageEx.h"
#include "tools/skin/SkinCompose.h"

namespace {

const int kIds[] = {311, 312, 313, 314, 315, 316, 318, 319, 320, 321, 322, 323, 324, 325,
                    326, 327, 328, 329, 330, 331, 332, 334, 335, 336, 337, 338, 339, 340,
                    341, 342, 343, 344, 345, 347, 348, 350, 351, 352, 353, 354, 355};

SkinDocument& Doc() {
  static SkinDocument* doc = [] {
    SkinDocument::Environment env;
    env.loadImage = &SkinDocument::LoadEmbeddedImage;
    env.reportImageFailure = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    auto* d = new SkinDocument(env);
    d->LoadFromResource();
    return d;
  }();
  return *doc;
}

void DecodeEveryPng(benchmark::State& state) {
  std::int64_t bytes = 0;
  for (int id : kIds) bytes += static_cast<std::int64_t>(res::Find("PNG", id)->size());
  for (auto _ : state) {
    for (int id : kIds) {
      CImageEx image;
      benchmark::DoNotOptimize(image.LoadFromResource(id));
    }
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(DecodeEveryPng)->Unit(benchmark::kMillisecond);

void DecodeLauncherBackground(benchmark::State& state) {
  for (auto _ : state) {
    CImageEx image;
    benchmark::DoNotOptimize(image.LoadFromResource(348));
  }
}
BENCHMARK(DecodeLauncherBackground)->Unit(benchmark::kMillisecond);

void Compose(benchmark::State& state, const char* element, WindowKind kind, int w, int h, bool decode) {
  SkinScene scene = LoadScene(Doc(), element);
  ComposeOptions options;
  options.decodeEachRender = decode;
  for (auto _ : state) {
    gfx::Surface s = ComposeScene(Doc(), scene, kind, w, h, options);
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK_CAPTURE(Compose, GameFramed1920x1050_DecodedOnce, "GAMEWND", WindowKind::Framed, 1920, 1050, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compose, GameFramed1920x1050_DecodeEachRender, "GAMEWND", WindowKind::Framed, 1920, 1050, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compose, LauncherLayered1222x780_DecodedOnce, "MAINWND", WindowKind::Layered, 1222, 780, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compose, LauncherLayered1222x780_DecodeEachRender, "MAINWND", WindowKind::Layered, 1222, 780, true)
    ->Unit(benchmark::kMillisecond);

// Times both ways in one run and reports decode-each-render ÷ decoded-once.
void Ratio(benchmark::State& state, const char* element, WindowKind kind, int w, int h) {
  SkinScene scene = LoadScene(Doc(), element);
  auto time = [&](bool decode) {
    ComposeOptions options;
    options.decodeEachRender = decode;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) benchmark::DoNotOptimize(ComposeScene(Doc(), scene, kind, w, h, options).data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  double once = 0, each = 0;
  for (auto _ : state) {
    once += time(false);
    each += time(true);
  }
  state.counters["ratio_decode_each_over_once"] = each / once;
}
BENCHMARK_CAPTURE(Ratio, GameFramed1920x1050, "GAMEWND", WindowKind::Framed, 1920, 1050)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ratio, LauncherLayered1222x780, "MAINWND", WindowKind::Layered, 1222, 780)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
