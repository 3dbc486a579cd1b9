#include <cairo.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <map>

#include "platform/ui/Backend.h"
#include "platform/ui/Core.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/Input.h"
#include "platform/ui/headless/Headless.h"

namespace ui {
namespace {

struct HeadlessWindow {
  RECT rect;
  ShowState state = ShowState::Hidden;
  bool layered = false;
  bool above = false;
  cairo_surface_t* surface = nullptr;  // what the window shows
  int paints = 0;
  SIZE minTrack;
  std::string title;
  std::string icon;
};

class HeadlessBackend;
HeadlessBackend* g_headless = nullptr;

class HeadlessBackend final : public Backend {
 public:
  bool Open() override {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    g_headless = this;
    return wakeFd_ >= 0;
  }
  void Close() override {
    for (auto& [h, w] : windows_)
      if (w.surface) cairo_surface_destroy(w.surface);
    windows_.clear();
    if (wakeFd_ >= 0) close(wakeFd_);
    wakeFd_ = -1;
    if (g_headless == this) g_headless = nullptr;
  }
  ~HeadlessBackend() override { Close(); }

  void Wait(int timeoutMs) override {
    pollfd p{wakeFd_, POLLIN, 0};
    int r = poll(&p, 1, timeoutMs);
    if (r > 0) Drain();
  }
  bool ProcessNative() override {
    Drain();
    return false;
  }
  void Wake() override {
    std::uint64_t one = 1;
    if (wakeFd_ >= 0) {
      ssize_t n = write(wakeFd_, &one, sizeof one);
      (void)n;
    }
  }

  void SetApplicationId(const std::string&) override {}

  void CreateTopLevel(HWND hwnd, const RECT& rect, DWORD, DWORD) override {
    HeadlessWindow& w = windows_[hwnd];
    w.rect = rect;
  }
  void DestroyTopLevel(HWND hwnd) override {
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return;
    if (it->second.surface) cairo_surface_destroy(it->second.surface);
    windows_.erase(it);
    if (dragWindow_ == hwnd) dragWindow_ = nullptr;
  }
  void SetShowState(HWND hwnd, ShowState state, bool) override { windows_[hwnd].state = state; }
  void SetGeometry(HWND hwnd, const RECT& rect) override { windows_[hwnd].rect = rect; }
  void SetTitle(HWND hwnd, const std::string& title) override { windows_[hwnd].title = title; }
  void SetMinTrackSize(HWND hwnd, int cx, int cy) override { windows_[hwnd].minTrack = SIZE{cx, cy}; }
  void SetLayered(HWND hwnd, bool layered) override { windows_[hwnd].layered = layered; }
  void SetKeepAbove(HWND hwnd, bool above) override { windows_[hwnd].above = above; }
  void SetIcon(HWND hwnd, const std::string& png) override { windows_[hwnd].icon = png; }
  void Invalidate(HWND) override { Wake(); }
  void PresentLayered(HWND hwnd, cairo_surface_t* surface, int width, int height) override {
    HeadlessWindow& w = windows_[hwnd];
    cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(copy);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    if (w.surface) cairo_surface_destroy(w.surface);
    w.surface = copy;
    ++w.paints;
  }
  void Raise(HWND hwnd) override {
    std::erase(zorder_, hwnd);
    zorder_.push_back(hwnd);
  }
  void Activate(HWND hwnd) override {
    Raise(hwnd);
    input::Activated(hwnd, true);
  }
  void BeginMoveDrag(HWND hwnd) override {
    dragWindow_ = hwnd;
    dragEdge_ = 0;
  }
  void BeginResizeDrag(HWND hwnd, int edge) override {
    dragWindow_ = hwnd;
    dragEdge_ = edge;
  }
  void SetCursor(HWND, Cursor cursor) override { cursor_ = cursor; }
  RECT WorkArea() override { return workArea_; }
  POINT CursorPos() override { return cursorPos_; }

  void AttachNative(HWND, HWND child, void* widget) override { natives_[child] = widget; }
  void PlaceNative(HWND, const RECT&, bool) override {}
  void DetachNative(HWND child) override { natives_.erase(child); }

  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override {
    boxes_.push_back(headless::MessageBoxRecord{owner, text, caption, type});
    if (!answers_.empty()) {
      int a = answers_.front();
      answers_.pop_front();
      return a;
    }
    UINT kind = type & 0xF;
    return kind == MB_OK ? IDOK : kind == MB_YESNO ? IDNO : IDCANCEL;
  }

  void ShowTip(const std::string& text, POINT) override { tip_ = text; }
  void HideTip() override { tip_.clear(); }

  // ---- test side ----
  HeadlessWindow* Window(HWND hwnd) {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : &it->second;
  }

  // Paints a framed window into its own surface (the backend paints on request).
  void PaintFramed(HWND hwnd) {
    HeadlessWindow* w = Window(hwnd);
    core::WindowRecord* r = core::Find(hwnd);
    if (!w || !r) return;
    int width = std::max(1, r->rect.Width()), height = std::max(1, r->rect.Height());
    if (!w->surface || cairo_image_surface_get_width(w->surface) != width ||
        cairo_image_surface_get_height(w->surface) != height) {
      if (w->surface) cairo_surface_destroy(w->surface);
      w->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    }
    cairo_t* cr = cairo_create(w->surface);
    input::Paint(hwnd, cr);
    cairo_destroy(cr);
    cairo_surface_flush(w->surface);
    ++w->paints;
  }

  // A drag started by the window follows the pointer until the button goes up.
  // Like a window manager, it follows the pointer's position relative to where
  // the drag began: motion the minimum size refused is not made up later.
  bool FollowDrag(HWND top, int x, int y, bool up) {
    if (!dragWindow_ || dragWindow_ != top) return false;
    core::WindowRecord* r = core::Find(top);
    if (!r) {
      dragWindow_ = nullptr;
      return false;
    }
    if (!dragStarted_) BeginFollowing(*r, x, y);
    // Coordinates during a drag are taken relative to where the window was when it began.
    int dx = dragStartRect_.left + x - dragStartPointer_.x, dy = dragStartRect_.top + y - dragStartPointer_.y;
    RECT rect = dragStartRect_;
    if (dragEdge_ == 0) {
      rect.left += dx;
      rect.right += dx;
      rect.top += dy;
      rect.bottom += dy;
    } else {
      HeadlessWindow* w = Window(top);
      int minW = w ? std::max<int>(1, w->minTrack.cx) : 1, minH = w ? std::max<int>(1, w->minTrack.cy) : 1;
      bool left = dragEdge_ == WMSZ_LEFT || dragEdge_ == WMSZ_TOPLEFT || dragEdge_ == WMSZ_BOTTOMLEFT;
      bool right = dragEdge_ == WMSZ_RIGHT || dragEdge_ == WMSZ_TOPRIGHT || dragEdge_ == WMSZ_BOTTOMRIGHT;
      bool topEdge = dragEdge_ == WMSZ_TOP || dragEdge_ == WMSZ_TOPLEFT || dragEdge_ == WMSZ_TOPRIGHT;
      bool bottom = dragEdge_ == WMSZ_BOTTOM || dragEdge_ == WMSZ_BOTTOMLEFT || dragEdge_ == WMSZ_BOTTOMRIGHT;
      if (left) rect.left = std::min(rect.left + dx, rect.right - minW);
      if (right) rect.right = std::max(rect.right + dx, rect.left + minW);
      if (topEdge) rect.top = std::min(rect.top + dy, rect.bottom - minH);
      if (bottom) rect.bottom = std::max(rect.bottom + dy, rect.top + minH);
    }
    SetGeometry(top, rect);
    input::Configured(top, rect);
    if (up) {
      dragWindow_ = nullptr;
      dragStarted_ = false;
    }
    return true;
  }
  void StartDragAt(HWND top, int x, int y) {
    core::WindowRecord* r = core::Find(top);
    if (dragWindow_ == top && r) BeginFollowing(*r, x, y);
  }
  void BeginFollowing(const core::WindowRecord& r, int x, int y) {
    dragStarted_ = true;
    dragStartRect_ = r.rect;
    dragStartPointer_ = POINT{r.rect.left + x, r.rect.top + y};
  }

  RECT workArea_{0, 0, 1920, 1050};
  POINT cursorPos_;
  Cursor cursor_ = Cursor::Arrow;
  std::deque<int> answers_;
  std::vector<headless::MessageBoxRecord> boxes_;
  std::string tip_;
  HWND dragWindow_ = nullptr;
  int dragEdge_ = 0;
  bool dragStarted_ = false;
  RECT dragStartRect_;
  POINT dragStartPointer_;

 private:
  void Drain() {
    std::uint64_t v;
    while (wakeFd_ >= 0 && read(wakeFd_, &v, sizeof v) == static_cast<ssize_t>(sizeof v)) {
    }
  }

  int wakeFd_ = -1;
  std::map<HWND, HeadlessWindow> windows_;
  std::map<HWND, void*> natives_;
  std::vector<HWND> zorder_;
};

HeadlessBackend* H() { return CurrentBackend() == BackendKind::Headless ? g_headless : nullptr; }

void SetPointer(HWND top, int x, int y) {
  core::WindowRecord* r = core::Find(top);
  if (H() && r) H()->cursorPos_ = POINT{r->rect.left + x, r->rect.top + y};
}

}  // namespace

std::unique_ptr<Backend> CreateHeadlessBackend() { return std::make_unique<HeadlessBackend>(); }

Backend* CurrentBackendImpl() { return core::S().backend.get(); }

// The headless loop paints framed windows itself; layered windows present
// their own image from their WM_PAINT.
void HeadlessPaint(HWND top) {
  if (H()) H()->PaintFramed(top);
}

namespace headless {

void MouseMove(HWND top, int x, int y) {
  if (!H()) return;
  SetPointer(top, x, y);
  if (H()->FollowDrag(top, x, y, false)) return;
  input::Mouse(top, WM_MOUSEMOVE, x, y, 0);
  PumpUntilIdle();
}

void MouseDown(HWND top, int x, int y, bool right) {
  if (!H()) return;
  SetPointer(top, x, y);
  input::Mouse(top, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, x, y, right ? MK_RBUTTON : MK_LBUTTON);
  H()->StartDragAt(top, x, y);
  PumpUntilIdle();
}

void MouseUp(HWND top, int x, int y, bool right) {
  if (!H()) return;
  SetPointer(top, x, y);
  if (H()->FollowDrag(top, x, y, true)) {
    PumpUntilIdle();
    return;
  }
  input::Mouse(top, right ? WM_RBUTTONUP : WM_LBUTTONUP, x, y, 0);
  PumpUntilIdle();
}

void Click(HWND top, int x, int y) {
  MouseMove(top, x, y);
  MouseDown(top, x, y);
  MouseUp(top, x, y);
}

bool KeyDown(HWND top, WPARAM vk) {
  bool consumed = input::Key(top, WM_KEYDOWN, vk);
  PumpUntilIdle();
  return consumed;
}

void MouseLeave(HWND top) {
  input::MouseLeft(top);
  PumpUntilIdle();
}

_cairo_surface* Frame(HWND top) {
  if (!H()) return nullptr;
  HeadlessWindow* w = H()->Window(top);
  return w ? w->surface : nullptr;
}

std::uint32_t Pixel(HWND top, int x, int y) {
  cairo_surface_t* s = Frame(top);
  if (!s) return 0;
  cairo_surface_flush(s);
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  if (x < 0 || y < 0 || x >= w || y >= h) return 0;
  const unsigned char* data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  return *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4);
}

bool SavePng(HWND top, const std::string& path) {
  cairo_surface_t* s = Frame(top);
  return s && cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

int PaintCount(HWND top) {
  if (!H()) return 0;
  HeadlessWindow* w = H()->Window(top);
  return w ? w->paints : 0;
}

void SetWorkArea(const RECT& rect) {
  if (H()) H()->workArea_ = rect;
}
void SetCursorPos(POINT screen) {
  if (H()) H()->cursorPos_ = screen;
}
Cursor CurrentCursor() { return H() ? H()->cursor_ : Cursor::Arrow; }
bool IsKeptAbove(HWND top) {
  HeadlessWindow* w = H() ? H()->Window(top) : nullptr;
  return w && w->above;
}
bool DragActive() { return H() && H()->dragWindow_ != nullptr; }
SIZE MinTrackSize(HWND top) {
  HeadlessWindow* w = H() ? H()->Window(top) : nullptr;
  return w ? w->minTrack : SIZE{};
}
std::string IconOf(HWND top) {
  HeadlessWindow* w = H() ? H()->Window(top) : nullptr;
  return w ? w->icon : std::string();
}

void SetManualClock(bool manual) {
  auto& s = core::S();
  if (manual && !s.manualClock) s.manualNow = NowMs();
  s.manualClock = manual;
}

void AdvanceClock(int ms) {
  auto& s = core::S();
  if (!s.manualClock) return;
  // Step through due times one by one so that each timer fires as often as it is due.
  long long target = s.manualNow + ms;
  while (true) {
    PumpUntilIdle();
    long long next = target;
    if (s.tracking.hwnd && (s.tracking.flags & TME_HOVER)) next = std::min(next, s.tracking.hoverDue);
    for (const auto& t : s.timers) next = std::min(next, t.due);
    if (next > target || next <= s.manualNow) {
      if (next <= s.manualNow && s.manualNow < target) {
        // Something is due now and was not handled: avoid spinning.
        s.manualNow = std::min(target, s.manualNow + 1);
        continue;
      }
      s.manualNow = target;
      PumpUntilIdle();
      break;
    }
    s.manualNow = next;
    if (next == target) {
      PumpUntilIdle();
      break;
    }
  }
}

void QueueMessageBoxAnswer(int answer) {
  if (H()) H()->answers_.push_back(answer);
}
const std::vector<MessageBoxRecord>& MessageBoxes() {
  static const std::vector<MessageBoxRecord> none;
  return H() ? H()->boxes_ : none;
}
void ClearMessageBoxes() {
  if (H()) H()->boxes_.clear();
}
std::string ShownTip() { return H() ? H()->tip_ : std::string(); }

}  // namespace headless
}  // namespace ui
