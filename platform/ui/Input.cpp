#include "platform/ui/Input.h"

#include <cstdlib>

#include "platform/ui/Core.h"
#include "platform/ui/EventLoop.h"

using ui::ShowState;
using ui::core::Find;
using ui::core::S;
using ui::core::WindowRecord;

namespace ui::input {
namespace {

constexpr int kDoubleClickMs = 400;
constexpr int kDoubleClickSlop = 4;

// The deepest visible child under a point of the top-level's client area,
// the top-most sibling first; the top-level itself when no child is there.
HWND HitTest(HWND hwnd, POINT p) {
  WindowRecord* r = Find(hwnd);
  if (!r) return nullptr;
  for (auto it = r->children.rbegin(); it != r->children.rend(); ++it) {
    WindowRecord* c = Find(*it);
    if (!c || !c->visible) continue;
    if (c->native) continue;  // a native widget takes its own input
    if (c->rect.Contains(p)) return HitTest(c->hwnd, POINT{p.x - c->rect.left, p.y - c->rect.top});
  }
  return hwnd;
}

// Reports a leave to the tracked window when the pointer is no longer over it.
void UpdateUnderPointer(HWND now) {
  auto& s = S();
  if (s.underPointer == now) return;
  s.underPointer = now;
  if (s.tracking.hwnd && s.tracking.hwnd != now) {
    HWND left = s.tracking.hwnd;
    bool leave = (s.tracking.flags & TME_LEAVE) != 0;
    s.tracking = {};
    if (leave) ui::core::DispatchWithPreTranslate(MSG{left, WM_MOUSELEAVE, 0, 0});
  }
}

}  // namespace

void Mouse(HWND top, UINT message, int x, int y, WPARAM keys) {
  auto& s = S();
  WindowRecord* t = Find(top);
  if (!t) return;
  HWND under = HitTest(top, POINT{x, y});
  s.pointerInTop = POINT{x, y};
  UpdateUnderPointer(under);
  HWND target = Find(s.capture) ? s.capture : under;
  if (!target) return;
  POINT o = ui::core::OriginInTop(target);
  if (ui::core::TopLevelOf(target) != top) {
    // Capture held by a window of another top-level: translate through the screen.
    RECT a, b;
    GetWindowRect(top, &a);
    GetWindowRect(target, &b);
    o = POINT{b.left - a.left, b.top - a.top};
  }
  POINT local{x - o.x, y - o.y};

  if (message == WM_LBUTTONDOWN) {
    long long now = ui::NowMs();
    if (s.lastDownWindow == target && now - s.lastDownTime <= kDoubleClickMs &&
        std::abs(local.x - s.lastDownPoint.x) <= kDoubleClickSlop &&
        std::abs(local.y - s.lastDownPoint.y) <= kDoubleClickSlop) {
      message = WM_LBUTTONDBLCLK;
      s.lastDownWindow = nullptr;
    } else {
      s.lastDownWindow = target;
      s.lastDownTime = now;
      s.lastDownPoint = local;
    }
  }

  if (message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN ||
      message == WM_LBUTTONDBLCLK) {
    // The cursor is decided before the message, as the desktop does.
    if (!Find(s.capture)) SendMessage(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, message));
  }
  if (message == WM_MOUSEMOVE && s.tracking.hwnd == target && (s.tracking.flags & TME_HOVER)) {
    s.tracking.hoverDue = ui::NowMs() + s.tracking.hoverTime;
    s.tracking.hoverPoint = local;
  }
  if (!Find(target)) return;
  ui::core::DispatchWithPreTranslate(MSG{target, message, keys, MAKELPARAM(local.x, local.y)});
}

void MouseLeft(HWND top) {
  auto& s = S();
  if (Find(s.capture)) return;  // a held button keeps the pointer's window
  UpdateUnderPointer(nullptr);
  ui::core::TooltipsForget(nullptr);
  (void)top;
}

void Configured(HWND top, const RECT& rect) {
  WindowRecord* r = Find(top);
  if (!r || r->parent) return;
  if (r->state == ShowState::Minimized || r->state == ShowState::Hidden) {
    r->rect = rect;
    return;
  }
  RECT old = r->rect;
  if (old == rect) return;
  r->rect = rect;
  ui::core::PlaceNativeChildren(top);
  if (old.left != rect.left || old.top != rect.top) SendMessage(top, WM_MOVE, 0, MAKELPARAM(rect.left, rect.top));
  if (old.Width() != rect.Width() || old.Height() != rect.Height()) {
    r = Find(top);
    if (!r) return;
    SendMessage(top, WM_SIZE, r->state == ShowState::Maximized ? SIZE_MAXIMIZED : SIZE_RESTORED,
                MAKELPARAM(rect.Width(), rect.Height()));
    InvalidateRect(top, nullptr, TRUE);
  }
}

void StateChanged(HWND top, bool minimized, bool maximized) {
  WindowRecord* r = Find(top);
  if (!r || r->parent || r->state == ShowState::Hidden) return;
  ShowState next = minimized ? ShowState::Minimized : maximized ? ShowState::Maximized : ShowState::Normal;
  if (next == r->state) return;
  ShowState old = r->state;
  r->state = next;
  r->lastShown = next;
  if (next == ShowState::Minimized) {
    SendMessage(top, WM_SIZE, SIZE_MINIMIZED, 0);
  } else if (old == ShowState::Minimized) {
    SendMessage(top, WM_SIZE, next == ShowState::Maximized ? SIZE_MAXIMIZED : SIZE_RESTORED,
                MAKELPARAM(r->rect.Width(), r->rect.Height()));
    InvalidateRect(top, nullptr, TRUE);
  }
}

void Activated(HWND top, bool active) {
  auto& s = S();
  if (!Find(top)) return;
  if (active) s.foreground = top;
  else if (s.foreground == top) s.foreground = nullptr;
}

void CloseRequested(HWND top) {
  if (Find(top)) PostMessage(top, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool Key(HWND top, UINT message, WPARAM vk) {
  if (!Find(top) || vk == 0) return false;
  MSG msg{top, message, vk, 0};
  // Offered to the window's pre-translation; what nobody takes goes on to the
  // focused native widget, never to the window's own handler.
  for (HWND h = top; h;) {
    WindowRecord* r = Find(h);
    if (!r) break;
    HWND parent = r->parent;
    if (r->object && r->object->PreTranslateMessage(&msg)) return true;
    h = parent;
  }
  return false;
}

}  // namespace ui::input
