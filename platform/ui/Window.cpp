#include "platform/ui/Window.h"

#include <algorithm>
#include <cstdio>

#include "platform/ui/Core.h"
#include "platform/ui/EventLoop.h"

using ui::ShowState;
using ui::core::Find;
using ui::core::S;
using ui::core::WindowRecord;

namespace ui::core {

State& S() {
  static State* state = new State();  // lives for the process; windows may outlive static destruction order
  return *state;
}

WindowRecord* Find(HWND hwnd) {
  if (!hwnd) return nullptr;
  auto& windows = S().windows;
  auto it = windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
  return it == windows.end() ? nullptr : &it->second;
}

HWND TopLevelOf(HWND hwnd) {
  WindowRecord* r = Find(hwnd);
  while (r && r->parent) {
    WindowRecord* p = Find(r->parent);
    if (!p) break;
    r = p;
  }
  return r ? r->hwnd : nullptr;
}

POINT OriginInTop(HWND hwnd) {
  POINT p;
  WindowRecord* r = Find(hwnd);
  while (r && r->parent) {
    p.x += r->rect.left;
    p.y += r->rect.top;
    r = Find(r->parent);
  }
  return p;
}

bool EffectivelyVisible(HWND hwnd) {
  for (WindowRecord* r = Find(hwnd); r; r = Find(r->parent)) {
    if (!r->visible) return false;
    if (!r->parent) return r->state != ShowState::Hidden && r->state != ShowState::Minimized;
  }
  return false;
}

LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRecord* r = Find(hwnd);
  if (!r || !r->object) return 0;
  return r->object->WindowProc(message, wParam, lParam);
}

void DispatchWithPreTranslate(MSG msg) {
  if (!Find(msg.hwnd)) return;
  for (HWND h = msg.hwnd; h;) {
    WindowRecord* r = Find(h);
    if (!r) break;
    HWND parent = r->parent;
    if (r->object && r->object->PreTranslateMessage(&msg)) return;
    if (!Find(msg.hwnd)) return;
    h = parent;
  }
  Dispatch(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

void PlaceNativeChildren(HWND hwnd) {
  WindowRecord* r = Find(hwnd);
  if (!r || !S().backend) return;
  if (r->native && r->parent) {
    POINT o = OriginInTop(r->hwnd);
    RECT inTop{o.x, o.y, o.x + r->rect.Width(), o.y + r->rect.Height()};
    bool visible = true;
    for (WindowRecord* a = r; a && a->parent; a = Find(a->parent))
      if (!a->visible) visible = false;
    S().backend->PlaceNative(r->hwnd, inTop, visible);
  }
  std::vector<HWND> children = r->children;
  for (HWND c : children) PlaceNativeChildren(c);
}

}  // namespace ui::core

namespace {

// The client rectangle of a window: (0, 0, width, height).
RECT ClientRectOf(const WindowRecord& r) { return RECT{0, 0, std::max(0, r.rect.Width()), std::max(0, r.rect.Height())}; }

void SendSize(HWND hwnd, WPARAM type, int cx, int cy) {
  SendMessage(hwnd, WM_SIZE, type, MAKELPARAM(cx, cy));
}

// Applies a new rectangle, sending WM_SIZE/WM_MOVE as the window changes.
void ApplyRect(HWND hwnd, RECT rect, bool tellBackend, bool repaint) {
  WindowRecord* r = Find(hwnd);
  if (!r) return;
  RECT old = r->rect;
  if (old == rect) return;
  r->rect = rect;
  if (tellBackend && !r->parent && S().backend) S().backend->SetGeometry(hwnd, rect);
  ui::core::PlaceNativeChildren(hwnd);
  if (old.left != rect.left || old.top != rect.top) SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(rect.left, rect.top));
  if (!Find(hwnd)) return;
  if (old.Width() != rect.Width() || old.Height() != rect.Height()) {
    WPARAM type = r->state == ShowState::Maximized ? SIZE_MAXIMIZED : SIZE_RESTORED;
    SendSize(hwnd, type, rect.Width(), rect.Height());
  }
  if (repaint) InvalidateRect(r->parent ? r->parent : hwnd, nullptr, TRUE);
}

}  // namespace

// ---- CWnd -------------------------------------------------------------------

CWnd::CWnd() = default;

CWnd::~CWnd() {
  if (m_hWnd) {
    WindowRecord* r = Find(m_hWnd);
    if (r && r->object == this) {
      // The object is going: its window goes with it, without calling back
      // into a derived class that no longer exists.
      r->object = nullptr;
      ::DestroyWindow(m_hWnd);
    }
    m_hWnd = nullptr;
  }
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  WindowRecord* r = Find(hwnd);
  return r ? r->object : nullptr;
}

BOOL CWnd::CreateEx(DWORD exStyle, const std::string& className, const std::string& windowName, DWORD style, int x,
                    int y, int cx, int cy, HWND parent, UINT id) {
  auto& s = S();
  if (m_hWnd && Find(m_hWnd)) return FALSE;
  bool child = (style & WS_CHILD) != 0;
  if (parent == GetDesktopWindow()) parent = nullptr;
  if (child && !Find(parent)) return FALSE;
  if (!child && !s.backend) {
    std::fprintf(stderr, "torvane: no display backend; ui::Initialize was not called\n");
    return FALSE;
  }
  HWND hwnd = reinterpret_cast<HWND>(s.nextHandle++);
  WindowRecord rec;
  rec.hwnd = hwnd;
  rec.object = this;
  rec.parent = child ? parent : nullptr;
  rec.rect = RECT{x, y, x + std::max(0, cx), y + std::max(0, cy)};
  rec.style = style & ~WS_VISIBLE;
  rec.exStyle = exStyle;
  rec.className = className;
  rec.text = windowName;
  rec.id = id;
  rec.layered = (exStyle & WS_EX_LAYERED) != 0;
  s.windows.emplace(reinterpret_cast<std::uintptr_t>(hwnd), rec);
  if (child) Find(parent)->children.push_back(hwnd);
  m_hWnd = hwnd;
  if (!child) {
    s.backend->CreateTopLevel(hwnd, rec.rect, style, exStyle);
    s.backend->SetTitle(hwnd, windowName);
    if (rec.layered) s.backend->SetLayered(hwnd, true);
  }
  CREATESTRUCT cs;
  cs.hwndParent = parent;
  cs.x = x;
  cs.y = y;
  cs.cx = cx;
  cs.cy = cy;
  cs.style = style;
  cs.exStyle = exStyle;
  cs.className = className;
  cs.name = windowName;
  cs.id = id;
  LRESULT created = ::SendMessage(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs));
  if (created == -1 || !Find(hwnd)) {
    ::DestroyWindow(hwnd);
    m_hWnd = nullptr;
    return FALSE;
  }
  if (style & WS_VISIBLE) ::ShowWindow(hwnd, SW_SHOW);
  return TRUE;
}

BOOL CWnd::DestroyWindow() { return ::DestroyWindow(m_hWnd); }

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) { return DefWindowProc(message, wParam, lParam); }

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND hwnd = m_hWnd;
  WindowRecord* r = Find(hwnd);
  if (!r) return 0;
  switch (message) {
    case WM_CLOSE:
      ::DestroyWindow(hwnd);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_SETTEXT:
      r->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      if (!r->parent && S().backend) S().backend->SetTitle(hwnd, r->text);
      return TRUE;
    case WM_SETICON:
      if (lParam && !r->parent && S().backend) {
        r->icon = *reinterpret_cast<const std::string*>(lParam);
        S().backend->SetIcon(hwnd, r->icon);
      }
      return 0;
    case WM_SETCURSOR: {
      // A parent may decide the cursor for its children; otherwise the arrow.
      if (r->parent && ::SendMessage(r->parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
      if (LOWORD(static_cast<std::uintptr_t>(lParam)) == HTCLIENT && reinterpret_cast<HWND>(wParam) == hwnd) {
        ::SetCursor(Cursor::Arrow);
        return TRUE;
      }
      return FALSE;
    }
    case WM_SYSCOMMAND: {
      UINT cmd = static_cast<UINT>(wParam) & 0xFFF0;
      HWND top = ui::core::TopLevelOf(hwnd);
      if (!S().backend) return 0;
      if (static_cast<UINT>(wParam) == SC_DRAGMOVE || cmd == SC_MOVE) {
        S().backend->BeginMoveDrag(top);
      } else if (cmd == SC_SIZE) {
        int edge = static_cast<int>(wParam & 0xF);
        if (edge >= 1 && edge <= 8) {
          MINMAXINFO mmi{};
          ::SendMessage(top, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
          S().backend->SetMinTrackSize(top, mmi.ptMinTrackSize.x, mmi.ptMinTrackSize.y);
          S().backend->BeginResizeDrag(top, edge);
        }
      } else if (cmd == SC_MINIMIZE) {
        ::ShowWindow(top, SW_MINIMIZE);
      } else if (cmd == SC_MAXIMIZE) {
        ::ShowWindow(top, SW_SHOWMAXIMIZED);
      } else if (cmd == SC_RESTORE) {
        ::ShowWindow(top, SW_RESTORE);
      } else if (cmd == SC_CLOSE) {
        ::PostMessage(top, WM_CLOSE, 0, 0);
      }
      return 0;
    }
    default:
      return 0;
  }
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessage(m_hWnd, message, wParam, lParam);
}
BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessage(m_hWnd, message, wParam, lParam);
}
BOOL CWnd::ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
BOOL CWnd::MoveWindow(int x, int y, int cx, int cy, BOOL repaint) { return ::MoveWindow(m_hWnd, x, y, cx, cy, repaint); }
BOOL CWnd::SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) {
  return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
}
void CWnd::GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
void CWnd::GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
void CWnd::InvalidateRect(const RECT* rect, BOOL erase) { ::InvalidateRect(m_hWnd, rect, erase); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }
BOOL CWnd::IsZoomed() const { return ::IsZoomed(m_hWnd); }
void CWnd::SetWindowText(const std::string& text) { ::SetWindowText(m_hWnd, text); }
std::string CWnd::GetWindowText() const { return ::GetWindowText(m_hWnd); }
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
HWND CWnd::GetParent() const { return ::GetParent(m_hWnd); }
DWORD CWnd::GetStyle() const { return static_cast<DWORD>(::GetWindowLong(m_hWnd, GWL_STYLE)); }
DWORD CWnd::GetExStyle() const { return static_cast<DWORD>(::GetWindowLong(m_hWnd, GWL_EXSTYLE)); }
UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs) { return ::SetTimer(m_hWnd, id, elapseMs); }
BOOL CWnd::KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
BOOL CWnd::BringWindowToTop() { return ::BringWindowToTop(m_hWnd); }
BOOL CWnd::SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
HWND CWnd::SetCapture() { return ::SetCapture(m_hWnd); }

void CWnd::CenterWindow(HWND alternateOwner) {
  WindowRecord* r = Find(m_hWnd);
  if (!r) return;
  RECT area;
  if (r->parent) {
    ::GetClientRect(r->parent, &area);
  } else if (WindowRecord* owner = Find(alternateOwner); owner && !owner->parent) {
    area = owner->rect;
  } else {
    GetWorkArea(&area);
  }
  int w = r->rect.Width(), h = r->rect.Height();
  int x = area.left + (area.Width() - w) / 2;
  int y = area.top + (area.Height() - h) / 2;
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- free functions ---------------------------------------------------------

BOOL IsWindow(HWND hwnd) { return Find(hwnd) != nullptr; }

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return ui::core::Dispatch(hwnd, message, wParam, lParam);
}

BOOL DestroyWindow(HWND hwnd) {
  auto& s = S();
  WindowRecord* r = Find(hwnd);
  if (!r || r->destroying) return FALSE;
  r->destroying = true;
  ui::core::Dispatch(hwnd, WM_DESTROY, 0, 0);
  r = Find(hwnd);
  if (!r) return TRUE;
  std::vector<HWND> children = r->children;
  for (auto it = children.rbegin(); it != children.rend(); ++it) DestroyWindow(*it);
  r = Find(hwnd);
  if (!r) return TRUE;
  if (s.capture == hwnd) s.capture = nullptr;
  if (s.foreground == hwnd) s.foreground = nullptr;
  if (s.underPointer == hwnd) s.underPointer = nullptr;
  if (s.tracking.hwnd == hwnd) s.tracking = {};
  if (s.lastDownWindow == hwnd) s.lastDownWindow = nullptr;
  ui::core::TooltipsForget(hwnd);
  std::erase_if(s.timers, [hwnd](const ui::core::Timer& t) { return t.hwnd == hwnd; });
  if (r->native && s.backend) s.backend->DetachNative(hwnd);
  if (r->parent) {
    if (WindowRecord* p = Find(r->parent)) std::erase(p->children, hwnd);
  } else if (s.backend) {
    s.backend->DestroyTopLevel(hwnd);
  }
  CWnd* object = r->object;
  s.windows.erase(reinterpret_cast<std::uintptr_t>(hwnd));
  if (object) {
    if (object->m_hWnd == hwnd) object->m_hWnd = nullptr;
    object->PostNcDestroy();
  }
  return TRUE;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
  auto& s = S();
  WindowRecord* r = Find(hwnd);
  if (!r) return FALSE;
  BOOL wasVisible = r->visible;
  if (r->parent) {
    r->visible = cmd != SW_HIDE;
    if (wasVisible != static_cast<BOOL>(r->visible)) {
      SendMessage(hwnd, WM_SHOWWINDOW, r->visible, 0);
      ui::core::PlaceNativeChildren(hwnd);
      InvalidateRect(r->parent, nullptr, TRUE);
    }
    return wasVisible;
  }
  ShowState old = r->state;
  ShowState next = old;
  switch (cmd) {
    case SW_HIDE: next = ShowState::Hidden; break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED: next = ShowState::Minimized; break;
    case SW_SHOWMAXIMIZED: next = ShowState::Maximized; break;
    case SW_RESTORE:
      next = old == ShowState::Minimized ? (r->lastShown == ShowState::Maximized ? ShowState::Maximized : ShowState::Normal)
           : old == ShowState::Maximized ? ShowState::Normal
                                         : ShowState::Normal;
      break;
    case SW_SHOWNORMAL: next = ShowState::Normal; break;
    default:  // SW_SHOW, SW_SHOWNOACTIVATE
      if (old == ShowState::Hidden) next = r->lastShown == ShowState::Minimized ? ShowState::Normal : r->lastShown;
      break;
  }
  r->visible = next != ShowState::Hidden;
  if (next == old) return wasVisible;
  r->state = next;
  if (next != ShowState::Hidden) r->lastShown = next;
  bool activate = cmd != SW_SHOWNOACTIVATE && cmd != SW_HIDE && cmd != SW_MINIMIZE && cmd != SW_SHOWMINIMIZED;
  if (old == ShowState::Hidden || next == ShowState::Hidden) SendMessage(hwnd, WM_SHOWWINDOW, r->visible, 0);
  r = Find(hwnd);
  if (!r) return wasVisible;
  if (next == ShowState::Maximized && old != ShowState::Maximized) {
    if (old != ShowState::Minimized || r->restoreRect.Width() == 0) r->restoreRect = r->rect;
    RECT work;
    GetWorkArea(&work);
    s.backend->SetShowState(hwnd, next, activate);
    ApplyRect(hwnd, work, true, false);
  } else if (old == ShowState::Maximized && next == ShowState::Normal) {
    s.backend->SetShowState(hwnd, next, activate);
    if (r->restoreRect.Width() > 0) ApplyRect(hwnd, r->restoreRect, true, false);
  } else {
    s.backend->SetShowState(hwnd, next, activate);
  }
  r = Find(hwnd);
  if (!r) return wasVisible;
  if (next == ShowState::Minimized) {
    SendSize(hwnd, SIZE_MINIMIZED, 0, 0);
  } else if (old == ShowState::Minimized && next != ShowState::Hidden) {
    SendSize(hwnd, next == ShowState::Maximized ? SIZE_MAXIMIZED : SIZE_RESTORED, r->rect.Width(), r->rect.Height());
  }
  if (next == ShowState::Hidden && s.foreground == hwnd) s.foreground = nullptr;
  if (activate && next != ShowState::Hidden && next != ShowState::Minimized) s.foreground = hwnd;
  ui::core::PlaceNativeChildren(hwnd);
  if (ui::core::EffectivelyVisible(hwnd)) InvalidateRect(hwnd, nullptr, TRUE);
  return wasVisible;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int cx, int cy, BOOL repaint) {
  return SetWindowPos(hwnd, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  auto& s = S();
  WindowRecord* r = Find(hwnd);
  if (!r) return FALSE;
  RECT rect = r->rect;
  if (!(flags & SWP_NOMOVE)) {
    rect.right = x + rect.Width();
    rect.bottom = y + rect.Height();
    rect.left = x;
    rect.top = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    rect.right = rect.left + std::max(0, cx);
    rect.bottom = rect.top + std::max(0, cy);
  }
  ApplyRect(hwnd, rect, true, !(flags & SWP_NOREDRAW));
  r = Find(hwnd);
  if (!r) return FALSE;
  if (!(flags & SWP_NOZORDER) && !r->parent && s.backend) {
    if (insertAfter == HWND_TOPMOST) s.backend->SetKeepAbove(hwnd, true);
    else if (insertAfter == HWND_NOTOPMOST) s.backend->SetKeepAbove(hwnd, false);
    else if (insertAfter == HWND_TOP) s.backend->Raise(hwnd);
  } else if (!(flags & SWP_NOZORDER) && r->parent && insertAfter == HWND_TOP) {
    if (WindowRecord* p = Find(r->parent)) {
      std::erase(p->children, hwnd);
      p->children.push_back(hwnd);
    }
  }
  if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNOACTIVATE : SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  WindowRecord* r = Find(hwnd);
  if (!r || !rect) {
    if (rect) *rect = RECT{};
    return FALSE;
  }
  *rect = ClientRectOf(*r);
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  WindowRecord* r = Find(hwnd);
  if (!r || !rect) {
    if (rect) *rect = RECT{};
    return FALSE;
  }
  if (!r->parent) {
    *rect = r->rect;
    return TRUE;
  }
  POINT o = ui::core::OriginInTop(hwnd);
  WindowRecord* top = Find(ui::core::TopLevelOf(hwnd));
  int ox = top ? top->rect.left : 0, oy = top ? top->rect.top : 0;
  *rect = RECT{ox + o.x, oy + o.y, ox + o.x + r->rect.Width(), oy + o.y + r->rect.Height()};
  return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL) {
  WindowRecord* r = Find(hwnd);
  if (!r) return FALSE;
  HWND top = ui::core::TopLevelOf(hwnd);
  WindowRecord* t = Find(top);
  if (!t) return FALSE;
  if (!t->dirty) {
    t->dirty = true;
    if (S().backend) S().backend->Invalidate(top);
  }
  return TRUE;
}

BOOL IsWindowVisible(HWND hwnd) {
  // The window and every ancestor carry the visible flag; a minimised window
  // still counts as visible.
  WindowRecord* r = Find(hwnd);
  if (!r) return FALSE;
  for (; r; r = Find(r->parent))
    if (!r->visible) return FALSE;
  return TRUE;
}

BOOL IsIconic(HWND hwnd) {
  WindowRecord* r = Find(ui::core::TopLevelOf(hwnd));
  return r && r->hwnd == hwnd && r->state == ShowState::Minimized;
}

BOOL IsZoomed(HWND hwnd) {
  WindowRecord* r = Find(hwnd);
  return r && !r->parent && r->state == ShowState::Maximized;
}

BOOL SetWindowText(HWND hwnd, const std::string& text) {
  return Find(hwnd) ? static_cast<BOOL>(SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()))) : FALSE;
}

std::string GetWindowText(HWND hwnd) {
  WindowRecord* r = Find(hwnd);
  return r ? r->text : std::string();
}

int GetDlgCtrlID(HWND hwnd) {
  WindowRecord* r = Find(hwnd);
  return r ? static_cast<int>(r->id) : 0;
}

std::string GetClassName(HWND hwnd) {
  WindowRecord* r = Find(hwnd);
  return r ? r->className : std::string();
}

HWND GetParent(HWND hwnd) {
  WindowRecord* r = Find(hwnd);
  return r ? r->parent : nullptr;
}

HWND GetTopLevel(HWND hwnd) { return ui::core::TopLevelOf(hwnd); }

LONG GetWindowLong(HWND hwnd, int index) {
  WindowRecord* r = Find(hwnd);
  if (!r) return 0;
  if (index == GWL_STYLE) return static_cast<LONG>(r->style | (r->visible ? WS_VISIBLE : 0));
  if (index == GWL_EXSTYLE) return static_cast<LONG>(r->exStyle | (r->layered ? WS_EX_LAYERED : 0));
  return 0;
}

LONG SetWindowLong(HWND hwnd, int index, LONG value) {
  WindowRecord* r = Find(hwnd);
  if (!r) return 0;
  LONG old = GetWindowLong(hwnd, index);
  if (index == GWL_STYLE) {
    r->style = static_cast<DWORD>(value) & ~WS_VISIBLE;
  } else if (index == GWL_EXSTYLE) {
    r->exStyle = static_cast<DWORD>(value);
    bool layered = (r->exStyle & WS_EX_LAYERED) != 0;
    if (layered != r->layered) {
      r->layered = layered;
      if (!r->parent && S().backend) S().backend->SetLayered(hwnd, layered);
    }
  }
  return old;
}

BOOL BringWindowToTop(HWND hwnd) {
  WindowRecord* r = Find(hwnd);
  if (!r) return FALSE;
  if (r->parent) return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  if (S().backend) S().backend->Raise(hwnd);
  return TRUE;
}

BOOL SetForegroundWindow(HWND hwnd) {
  HWND top = ui::core::TopLevelOf(hwnd);
  WindowRecord* r = Find(top);
  if (!r) return FALSE;
  S().foreground = top;
  if (S().backend && r->state != ShowState::Hidden) S().backend->Activate(top);
  return TRUE;
}

HWND GetForegroundWindow() { return Find(S().foreground) ? S().foreground : nullptr; }

HWND SetCapture(HWND hwnd) {
  HWND old = S().capture;
  if (Find(hwnd)) S().capture = hwnd;
  return Find(old) ? old : nullptr;
}

BOOL ReleaseCapture() {
  S().capture = nullptr;
  return TRUE;
}

HWND GetCapture() { return Find(S().capture) ? S().capture : nullptr; }

BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme) {
  auto& s = S();
  if (!tme || !Find(tme->hwndTrack)) return FALSE;
  if (tme->dwFlags & TME_CANCEL) {
    if (s.tracking.hwnd == tme->hwndTrack) s.tracking.flags &= ~(tme->dwFlags & (TME_HOVER | TME_LEAVE));
    return TRUE;
  }
  // Leave tracking needs the pointer over the window now; otherwise the
  // leave is reported at once, as the desktop does.
  if (s.underPointer != tme->hwndTrack && (tme->dwFlags & TME_LEAVE)) {
    PostMessage(tme->hwndTrack, WM_MOUSELEAVE, 0, 0);
    return TRUE;
  }
  if (s.tracking.hwnd != tme->hwndTrack) s.tracking = {};
  s.tracking.hwnd = tme->hwndTrack;
  s.tracking.flags |= tme->dwFlags & (TME_HOVER | TME_LEAVE);
  if (tme->dwFlags & TME_HOVER) {
    s.tracking.hoverTime = tme->dwHoverTime == HOVER_DEFAULT ? 400 : tme->dwHoverTime;
    s.tracking.hoverDue = ui::NowMs() + s.tracking.hoverTime;
    POINT o = ui::core::OriginInTop(tme->hwndTrack);
    s.tracking.hoverPoint = POINT{s.pointerInTop.x - o.x, s.pointerInTop.y - o.y};
    if (s.backend) s.backend->Wake();
  }
  return TRUE;
}

BOOL GetCursorPos(POINT* pt) {
  if (!pt) return FALSE;
  *pt = S().backend ? S().backend->CursorPos() : POINT{};
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* pt) {
  RECT wr;
  if (!pt || !GetWindowRect(hwnd, &wr)) return FALSE;
  pt->x -= wr.left;
  pt->y -= wr.top;
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* pt) {
  RECT wr;
  if (!pt || !GetWindowRect(hwnd, &wr)) return FALSE;
  pt->x += wr.left;
  pt->y += wr.top;
  return TRUE;
}

void SetCursor(Cursor cursor) {
  auto& s = S();
  HWND top = ui::core::TopLevelOf(s.capture ? s.capture : s.underPointer);
  if (top && s.backend) s.backend->SetCursor(top, cursor);
}

BOOL GetWorkArea(RECT* rect) {
  if (!rect) return FALSE;
  *rect = S().backend ? S().backend->WorkArea() : RECT{0, 0, 1920, 1050};
  return TRUE;
}

HWND GetDesktopWindow() { return reinterpret_cast<HWND>(0x10); }

BOOL ValidateRect(HWND hwnd, const RECT*) {
  WindowRecord* r = Find(ui::core::TopLevelOf(hwnd));
  if (!r) return FALSE;
  r->dirty = false;
  return TRUE;
}

BOOL AttachNativeWidget(HWND child, void* widget) {
  auto& s = S();
  WindowRecord* r = Find(child);
  if (!r || !r->parent || !s.backend) return FALSE;
  if (r->native) s.backend->DetachNative(child);
  r->native = widget;
  if (widget) {
    s.backend->AttachNative(ui::core::TopLevelOf(child), child, widget);
    ui::core::PlaceNativeChildren(child);
  }
  return TRUE;
}

void* GetNativeWidget(HWND child) {
  WindowRecord* r = Find(child);
  return r ? r->native : nullptr;
}
