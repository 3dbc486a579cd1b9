// skinwnd_show: shows one real skinned window of the default skin on the gtk
// backend, for the end-to-end tests, and reports on stdout, one line each:
//
//   shown NAME X Y W H      after the window was shown (screen rectangle)
//   command NAME BUTTON     OnSkinCommand with that button's record
//   moved NAME X Y          WM_MOVE
//   size NAME W H           WM_SIZE with a positive size
//
// Usage: skinwnd_show MAINWND|GAMEWND [--composited]. With --composited it
// first waits (up to 10 s) until a compositing manager runs. MAINWND is a layered window
// (CSkinWnd), GAMEWND a framed one (CSkinWnd2), which here, as the game
// window will, starts a resize drag on a press in its bottom-right 10-pixel
// corner. It runs until SIGTERM.
#include <gtk/gtk.h>

#include <cstdio>
#include <string>

#include "platform/ui/EventLoop.h"
#include "skin/SkinDocument.h"
#include "windows/SkinWnd.h"
#include "windows/SkinWnd2.h"

namespace {

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

// What both windows report.
template <class Base>
class Reporting : public Base {
 public:
  using Base::Base;
  std::string name;

  void OnSkinCommand(const SkinButtonInfo& info) override { Say("command " + name + " " + info.name); }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    LRESULT result = Base::WindowProc(message, wParam, lParam);
    if (message == WM_MOVE || message == WM_SIZE) {
      RECT r;
      this->GetWindowRect(&r);
      if (message == WM_MOVE) Say("moved " + name + " " + std::to_string(r.left) + " " + std::to_string(r.top));
      if (message == WM_SIZE && r.Width() > 0 && r.Height() > 0)
        Say("size " + name + " " + std::to_string(r.Width()) + " " + std::to_string(r.Height()));
    }
    return result;
  }
};

class Launcher : public Reporting<CSkinWnd> {
 public:
  Launcher() : Reporting<CSkinWnd>("MAINWND") { name = "MAINWND"; }
  void OnCloseRequest() override {}
};

class Game : public Reporting<CSkinWnd2> {
 public:
  Game() : Reporting<CSkinWnd2>("GAMEWND") { name = "GAMEWND"; }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_LBUTTONDOWN) {
      RECT c;
      GetClientRect(&c);
      int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
      if (x >= c.right - 10 && y >= c.bottom - 10) {
        SendMessage(WM_SYSCOMMAND, SC_SIZE + WMSZ_BOTTOMRIGHT, 0);
        return 0;
      }
    }
    return Reporting<CSkinWnd2>::WindowProc(message, wParam, lParam);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "";
  if (which != "MAINWND" && which != "GAMEWND") {
    std::fprintf(stderr, "usage: skinwnd_show MAINWND|GAMEWND\n");
    return 2;
  }
  if (!ui::InitializeWith(ui::BackendKind::Gtk)) return 1;
  ui::SetApplicationId("torvane-skinwnd-show");
  if (argc > 2 && std::string(argv[2]) == "--composited" &&
      !ui::PumpUntil([] { return gdk_screen_is_composited(gdk_screen_get_default()) != FALSE; }, 10000)) {
    std::fprintf(stderr, "skinwnd_show: no compositing manager\n");
    return 1;
  }
  g_pSkin = GetSkinDocument();
  std::unique_ptr<CWnd> wnd;
  const DWORD exStyle = WS_EX_APPWINDOW, style = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;
  if (which == "MAINWND") {
    auto w = std::make_unique<Launcher>();
    if (!w->CreateWnd(GetDesktopWindow(), exStyle, style)) return 1;
    w->Show(TRUE);
    wnd = std::move(w);
  } else {
    auto w = std::make_unique<Game>();
    if (!w->CreateWnd(GetDesktopWindow(), exStyle, style)) return 1;
    w->Show(TRUE);
    wnd = std::move(w);
  }
  ui::PumpUntilIdle();
  RECT r;
  wnd->GetWindowRect(&r);
  Say("shown " + which + " " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
      std::to_string(r.Width()) + " " + std::to_string(r.Height()));
  int code = ui::RunMessageLoop();
  wnd.reset();
  ui::Shutdown();
  return code;
}
