#include "platform/ui/EventLoop.h"

#include <cairo.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <chrono>

#include "platform/ui/Core.h"
#include "platform/ui/Menu.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageBox.h"

using ui::core::Find;
using ui::core::S;

namespace ui {
namespace {

void OnSignal(int) {
  S().pendingSignals.fetch_add(1);
  if (S().backend) S().backend->Wake();
}

void InstallSignals() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
}

bool HandleSignals() {
  auto& s = S();
  int n = s.pendingSignals.exchange(0);
  if (n == 0) return false;
  if (Find(s.terminateTarget)) {
    ::PostMessage(s.terminateTarget, s.terminateMessage.message, s.terminateMessage.wParam, s.terminateMessage.lParam);
  } else {
    PostQuitMessage(0);
  }
  return true;
}

// One posted message, in order; WM_QUIT ends the loop.
bool DispatchOnePosted() {
  auto& s = S();
  MSG msg;
  {
    std::lock_guard<std::mutex> hold(s.postLock);
    if (s.posted.empty()) return false;
    msg = s.posted.front();
    s.posted.pop_front();
  }
  if (msg.message == WM_QUIT && !msg.hwnd) {
    s.quit = true;
    s.quitCode = static_cast<int>(msg.wParam);
    return true;
  }
  ui::core::DispatchWithPreTranslate(msg);
  return true;
}

bool FireDueTimers() {
  auto& s = S();
  long long now = NowMs();
  bool fired = false;
  // Hover notification of the tracked window.
  if (s.tracking.hwnd && (s.tracking.flags & TME_HOVER) && now >= s.tracking.hoverDue) {
    HWND h = s.tracking.hwnd;
    s.tracking.flags &= ~TME_HOVER;
    POINT p = s.tracking.hoverPoint;
    ui::core::DispatchWithPreTranslate(MSG{h, WM_MOUSEHOVER, 0, MAKELPARAM(p.x, p.y)});
    fired = true;
  }
  // Copy: a handler may set or kill timers.
  std::vector<ui::core::Timer> due;
  for (auto& t : s.timers)
    if (now >= t.due) {
      due.push_back(t);
      t.due = now + std::max<UINT>(t.interval, 1);
    }
  for (const auto& t : due) {
    bool alive = std::any_of(s.timers.begin(), s.timers.end(),
                             [&](const ui::core::Timer& x) { return x.hwnd == t.hwnd && x.id == t.id; });
    if (!alive) continue;
    ui::core::DispatchWithPreTranslate(MSG{t.hwnd, WM_TIMER, t.id, 0});
    fired = true;
  }
  return fired;
}

// Milliseconds until the next timer or hover notification; -1 when none.
int NextTimeout() {
  auto& s = S();
  long long next = -1;
  long long now = NowMs();
  auto consider = [&](long long due) {
    long long wait = std::max(0LL, due - now);
    if (next < 0 || wait < next) next = wait;
  };
  if (s.tracking.hwnd && (s.tracking.flags & TME_HOVER)) consider(s.tracking.hoverDue);
  for (const auto& t : s.timers) consider(t.due);
  if (s.manualClock && next > 0) return -1;  // only the test's clock moves time on
  return next > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(next);
}

bool PostedPending() {
  std::lock_guard<std::mutex> hold(S().postLock);
  return !S().posted.empty();
}

}  // namespace

bool Initialize(int* argc, char*** argv) {
  const char* which = std::getenv("TORVANE_BACKEND");
  BackendKind kind = BackendKind::Gtk;
  if (which && *which) {
    if (std::strcmp(which, "headless") == 0) {
      kind = BackendKind::Headless;
    } else if (std::strcmp(which, "gtk") != 0) {
      std::fprintf(stderr, "torvane: unknown TORVANE_BACKEND '%s' (use gtk or headless)\n", which);
      return false;
    }
  }
  (void)argc;
  (void)argv;
  return InitializeWith(kind);
}

bool InitializeWith(BackendKind kind) {
  auto& s = S();
  if (s.backend) return s.kind == kind;
  std::unique_ptr<Backend> backend = kind == BackendKind::Gtk ? CreateGtkBackend() : CreateHeadlessBackend();
  if (!backend || !backend->Open()) return false;
  s.backend = std::move(backend);
  s.kind = kind;
  s.quit = false;
  InstallSignals();
  return true;
}

bool IsInitialized() { return S().backend != nullptr; }

BackendKind CurrentBackend() { return S().kind; }

void Shutdown() {
  auto& s = S();
  std::vector<HWND> tops;
  for (auto& [key, r] : s.windows)
    if (!r.parent) tops.push_back(r.hwnd);
  for (HWND h : tops) ::DestroyWindow(h);
  if (s.backend) s.backend->Close();
  s.backend.reset();
  std::lock_guard<std::mutex> hold(s.postLock);
  s.posted.clear();
  s.timers.clear();
}

namespace core {
bool DispatchQueued() {
  auto& s = S();
  bool any = false;
  if (HandleSignals()) any = true;
  // Posted messages first, then timers, then paints: the order of the desktop's queue.
  for (int i = 0; i < 10000 && !s.quit && DispatchOnePosted(); ++i) any = true;
  if (!s.quit && FireDueTimers()) any = true;
  return any;
}
}  // namespace core

bool PumpPending() {
  auto& s = S();
  bool any = false;
  if (s.backend && s.backend->ProcessNative()) any = true;
  if (core::DispatchQueued()) any = true;
  if (!s.quit && s.kind == BackendKind::Headless) {
    std::vector<HWND> dirty;
    for (auto& [key, r] : s.windows)
      if (!r.parent && r.dirty) dirty.push_back(r.hwnd);
    for (HWND h : dirty) {
      ui::core::WindowRecord* r = Find(h);
      if (!r || !r->dirty) continue;
      if (!ui::core::EffectivelyVisible(h)) continue;  // a hidden window paints when shown
      HeadlessPaint(h);
      any = true;
    }
  }
  return any;
}

void PumpUntilIdle() {
  for (int i = 0; i < 100000 && !S().quit; ++i)
    if (!PumpPending()) break;
}

bool PumpUntil(const std::function<bool()>& cond, int timeoutMs) {
  auto& s = S();
  auto start = std::chrono::steady_clock::now();
  while (!cond()) {
    if (s.quit) return cond();
    if (PumpPending()) continue;
    long long elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    if (elapsed >= timeoutMs) return cond();
    int wait = static_cast<int>(std::min<long long>(timeoutMs - elapsed, 50));
    int next = NextTimeout();
    if (next >= 0) wait = std::min(wait, next);
    if (s.backend && !PostedPending()) s.backend->Wait(wait);
  }
  return true;
}

int RunMessageLoop() {
  auto& s = S();
  while (!s.quit) {
    if (PumpPending()) continue;
    if (s.quit) break;
    if (s.backend && !PostedPending() && s.pendingSignals.load() == 0) s.backend->Wait(NextTimeout());
  }
  return s.quitCode;
}

bool QuitRequested() { return S().quit; }
int QuitCode() { return S().quitCode; }
void ResetQuit() {
  S().quit = false;
  S().quitCode = 0;
}

void SetTerminateMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
  S().terminateTarget = target;
  S().terminateMessage = MSG{target, message, wParam, lParam};
}

void SetApplicationId(const std::string& id) {
  S().applicationId = id;
  if (S().backend) S().backend->SetApplicationId(id);
}

const std::string& ApplicationId() { return S().applicationId; }

long long NowMs() {
  if (S().manualClock) return S().manualNow;
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace ui

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto& s = S();
  {
    std::lock_guard<std::mutex> hold(s.postLock);
    // The handle is checked again at dispatch: a window may die meanwhile.
    s.posted.push_back(MSG{hwnd, message, wParam, lParam});
  }
  if (s.backend) s.backend->Wake();
  return hwnd != nullptr;
}

void PostQuitMessage(int exitCode) {
  auto& s = S();
  {
    std::lock_guard<std::mutex> hold(s.postLock);
    s.posted.push_back(MSG{nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0});
  }
  if (s.backend) s.backend->Wake();
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs) {
  auto& s = S();
  if (!Find(hwnd)) return 0;
  long long due = ui::NowMs() + std::max<UINT>(elapseMs, 1);
  for (auto& t : s.timers)
    if (t.hwnd == hwnd && t.id == id) {
      t.interval = elapseMs;
      t.due = due;
      return id;
    }
  s.timers.push_back(ui::core::Timer{hwnd, id, elapseMs, due});
  if (s.backend) s.backend->Wake();
  return id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  auto& timers = S().timers;
  auto before = timers.size();
  std::erase_if(timers, [&](const ui::core::Timer& t) { return t.hwnd == hwnd && t.id == id; });
  return timers.size() != before;
}

namespace {
thread_local _cairo* t_paintContext = nullptr;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  ui::core::WindowRecord* top = Find(ui::core::TopLevelOf(hwnd));
  if (ps) {
    ps->hdc = t_paintContext;
    ps->rcPaint = RECT{};
    if (top) GetClientRect(top->hwnd, &ps->rcPaint);
  }
  if (top) top->dirty = false;
  return t_paintContext;
}

BOOL EndPaint(HWND, const PAINTSTRUCT*) { return TRUE; }

namespace ui::input {

void Paint(HWND top, _cairo* cr) {
  ui::core::WindowRecord* r = Find(top);
  if (!r) return;
  r->dirty = false;
  _cairo* saved = t_paintContext;
  t_paintContext = cr;
  SendMessage(top, WM_PAINT, 0, 0);
  t_paintContext = saved;
}

bool NeedsPaint(HWND top) {
  ui::core::WindowRecord* r = Find(top);
  return r && r->dirty;
}

}  // namespace ui::input

BOOL UpdateLayeredWindow(HWND hwnd, const POINT* dst, const SIZE* size, _cairo_surface* src, const POINT* srcPt,
                         DWORD) {
  auto& s = S();
  ui::core::WindowRecord* r = Find(hwnd);
  if (!r || r->parent || !src || !s.backend) return FALSE;
  if (cairo_surface_status(src) != CAIRO_STATUS_SUCCESS) return FALSE;
  int w = size ? size->cx : cairo_image_surface_get_width(src);
  int h = size ? size->cy : cairo_image_surface_get_height(src);
  if (w <= 0 || h <= 0) return FALSE;
  if (dst || size) {
    RECT rect = r->rect;
    if (dst) rect = RECT{dst->x, dst->y, dst->x + rect.Width(), dst->y + rect.Height()};
    rect.right = rect.left + w;
    rect.bottom = rect.top + h;
    if (!(rect == r->rect)) SetWindowPos(hwnd, nullptr, rect.left, rect.top, w, h, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
  }
  cairo_surface_t* frame = src;
  bool own = false;
  int sx = srcPt ? srcPt->x : 0, sy = srcPt ? srcPt->y : 0;
  if (sx != 0 || sy != 0 || cairo_image_surface_get_width(src) != w || cairo_image_surface_get_height(src) != h) {
    frame = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(frame);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, src, -sx, -sy);
    cairo_paint(cr);
    cairo_destroy(cr);
    own = true;
  }
  cairo_surface_flush(frame);
  s.backend->PresentLayered(hwnd, frame, w, h);
  if (own) cairo_surface_destroy(frame);
  return TRUE;
}

int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  auto& s = S();
  if (!s.backend) {
    std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
    return (type & 0xF) == MB_YESNO ? IDNO : (type & 0xF) == MB_OK ? IDOK : IDCANCEL;
  }
  // The box runs a loop of its own; posted messages still arrive meanwhile.
  ++s.modalDepth;
  int answer = s.backend->MessageBox(ui::core::TopLevelOf(owner), text, caption, type);
  --s.modalDepth;
  return answer;
}

namespace ui {

bool InModalLoop() {
  if (core::S().modalDepth > 0) return true;
  TrayState* tray = CurrentTray();
  return tray && tray->menuOpen;
}

void CancelModalLoops() {
  if (core::S().backend) core::S().backend->CancelModal();
  ::EndMenu();
}

}  // namespace ui
