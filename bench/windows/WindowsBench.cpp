// The skinned windows on the headless display (Google Benchmark): a full
// render of each default window, as the loop paints it, at its design size
// and maximised to 1920 x 1050; and the time from an injected mouse move onto
// a button to the window showing its hover image (the 1 ms rest before the
// hover notification is the manual clock's, so it is not counted).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/ui/EventLoop.h"
#include "platform/ui/headless/Headless.h"
#include "skin/SkinDocument.h"
#include "windows/SkinWnd.h"
#include "windows/SkinWnd2.h"

namespace {

namespace hl = ui::headless;

constexpr DWORD kExStyle = WS_EX_APPWINDOW;
constexpr DWORD kStyle = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;

class Launcher : public CSkinWnd {
 public:
  Launcher() : CSkinWnd("MAINWND") {}
  void OnSkinCommand(const SkinButtonInfo&) override {}
  void OnCloseRequest() override {}
};

class Game : public CSkinWnd2 {
 public:
  Game() : CSkinWnd2("GAMEWND") {}

 protected:
  std::string WindowTitle() const override { return "bench"; }
};

template <class Wnd>
std::unique_ptr<Wnd> Make(bool maximised) {
  g_pSkin = GetSkinDocument();
  auto w = std::make_unique<Wnd>();
  if (!w->CreateWnd(GetDesktopWindow(), kExStyle, kStyle)) return nullptr;
  w->Show(TRUE);
  if (maximised) w->ShowWindow(SW_SHOWMAXIMIZED);
  ui::PumpUntilIdle();
  return w;
}

template <class Wnd>
void BM_Render(benchmark::State& state) {
  auto w = Make<Wnd>(state.range(0) != 0);
  if (!w) {
    state.SkipWithError("no window");
    return;
  }
  RECT r;
  w->GetClientRect(&r);
  const int before = hl::PaintCount(w->m_hWnd);
  for (auto _ : state) {
    w->Invalidate();
    ui::PumpUntilIdle();
  }
  if (hl::PaintCount(w->m_hWnd) == before) state.SkipWithError("nothing was painted");
  state.SetLabel(std::to_string(r.right) + "x" + std::to_string(r.bottom));
}

template <class Wnd>
void BM_HoverToComposed(benchmark::State& state, const char* name) {
  auto w = Make<Wnd>(false);
  CSkinButton* b = w ? w->FindButton(name) : nullptr;
  if (!b) {
    state.SkipWithError("no button");
    return;
  }
  RECT r = b->GetRectInParent();
  const int x = r.left + r.Width() / 2, y = r.top + r.Height() / 2;
  bool hovered = true;
  for (auto _ : state) {
    hl::MouseMove(w->m_hWnd, x, y);
    hl::AdvanceClock(1);  // the rest before the hover notification; then the paint
    hovered = hovered && b->CurrentImageIndex() == 1;
    state.PauseTiming();
    hl::MouseMove(w->m_hWnd, 5, 300);  // away: leave, normal image
    hl::AdvanceClock(1000);            // and no double click next time
    state.ResumeTiming();
  }
  if (!hovered) state.SkipWithError("the hover image was not shown");
}

}  // namespace

BENCHMARK_TEMPLATE(BM_Render, Launcher)->ArgName("maximised")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Render, Game)->ArgName("maximised")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
void BM_HoverLauncherPay(benchmark::State& state) { BM_HoverToComposed<Launcher>(state, "pay"); }
void BM_HoverGameRefresh(benchmark::State& state) { BM_HoverToComposed<Game>(state, "refresh"); }
BENCHMARK(BM_HoverLauncherPay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HoverGameRefresh)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  char dir[] = "/tmp/torvane-bench-windows-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  setenv("XDG_CONFIG_HOME", dir, 1);
  if (!ui::InitializeWith(ui::BackendKind::Headless)) return 1;
  hl::SetWorkArea(RECT{0, 0, 1920, 1050});
  hl::SetManualClock(true);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  ui::Shutdown();
  std::string cmd = std::string("rm -rf '") + dir + "'";
  return std::system(cmd.c_str()) == 0 ? 0 : 1;
}
