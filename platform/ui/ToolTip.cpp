#include "platform/ui/ToolTip.h"

#include <algorithm>
#include <vector>

#include "platform/ui/Core.h"
#include "platform/ui/EventLoop.h"

namespace {

// The live controls, so that destroyed windows and pointer leaves reach them.
std::vector<CToolTipCtrl*>& Controls() {
  static std::vector<CToolTipCtrl*> controls;
  return controls;
}

// A hidden helper window receives the delay timers of every control.
class CTipTimerWnd : public CWnd {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_TIMER) {
      KillTimer(wParam);
      auto& controls = Controls();
      for (CToolTipCtrl* c : controls)
        if (reinterpret_cast<UINT_PTR>(c) == wParam) {
          c->OnDelayElapsed();
          break;
        }
      return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

CTipTimerWnd* TimerWnd(HWND owner) {
  static CTipTimerWnd* wnd = nullptr;
  if (!wnd || !IsWindow(wnd->m_hWnd)) {
    delete wnd;
    wnd = new CTipTimerWnd();
    if (!wnd->CreateEx(0, "TipTimer", "", WS_CHILD, 0, 0, 0, 0, owner, 0)) return nullptr;
  }
  return wnd;
}

}  // namespace

namespace ui::core {
void TooltipsForget(HWND hwnd) {
  for (CToolTipCtrl* c : Controls()) c->Forget(hwnd);
}
}  // namespace ui::core

CToolTipCtrl::CToolTipCtrl() { Controls().push_back(this); }

CToolTipCtrl::~CToolTipCtrl() {
  Hide();
  std::erase(Controls(), this);
}

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD) {
  if (!parent || !IsWindow(parent->m_hWnd)) return FALSE;
  m_owner = parent->m_hWnd;
  return TRUE;
}

BOOL CToolTipCtrl::AddTool(CWnd* wnd, const std::string& text, const RECT* rect, UINT id) {
  if (!m_owner || !wnd || !IsWindow(wnd->m_hWnd)) return FALSE;
  DelTool(wnd, id);
  m_tools.push_back(Tool{wnd->m_hWnd, text, rect ? *rect : RECT{}, rect == nullptr, id});
  return TRUE;
}

void CToolTipCtrl::DelTool(CWnd* wnd, UINT id) {
  if (!wnd) return;
  HWND h = wnd->m_hWnd;
  m_pending = nullptr;
  std::erase_if(m_tools, [&](const Tool& t) { return t.hwnd == h && t.id == id; });
}

const CToolTipCtrl::Tool* CToolTipCtrl::ToolAt(HWND hwnd, POINT p) const {
  for (const Tool& t : m_tools) {
    if (t.hwnd != hwnd) continue;
    RECT r = t.rect;
    if (t.wholeClient) GetClientRect(hwnd, &r);
    if (r.Contains(p)) return &t;
  }
  return nullptr;
}

void CToolTipCtrl::RelayEvent(const MSG* msg) {
  if (!m_owner || !msg) return;
  switch (msg->message) {
    case WM_MOUSEMOVE: {
      POINT p{GET_X_LPARAM(msg->lParam), GET_Y_LPARAM(msg->lParam)};
      const Tool* tool = ToolAt(msg->hwnd, p);
      POINT screen = p;
      ClientToScreen(msg->hwnd, &screen);
      m_pointer = screen;
      if (!tool) {
        Hide();
        return;
      }
      if (tool->hwnd == m_pendingHwnd && tool->id == m_pendingId) return;  // same tool: shown or pending
      Hide();
      m_pending = tool;
      m_pendingHwnd = tool->hwnd;
      m_pendingId = tool->id;
      if (CTipTimerWnd* w = TimerWnd(m_owner)) w->SetTimer(reinterpret_cast<UINT_PTR>(this), kInitialDelayMs);
      return;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSELEAVE:
      Hide();
      return;
    default:
      return;
  }
}

void CToolTipCtrl::OnDelayElapsed() {
  if (!m_pending || !IsWindow(m_pendingHwnd)) return;
  // The tool must still be registered.
  const Tool* tool = nullptr;
  for (const Tool& t : m_tools)
    if (t.hwnd == m_pendingHwnd && t.id == m_pendingId) tool = &t;
  if (!tool || tool->text.empty()) return;
  m_shown = tool->text;
  if (auto* b = ui::CurrentBackendImpl()) b->ShowTip(m_shown, POINT{m_pointer.x + 2, m_pointer.y + 20});
}

void CToolTipCtrl::Hide() {
  m_pending = nullptr;
  m_pendingHwnd = nullptr;
  m_pendingId = 0;
  if (!m_shown.empty()) {
    m_shown.clear();
    if (auto* b = ui::CurrentBackendImpl()) b->HideTip();
  }
}

void CToolTipCtrl::Forget(HWND hwnd) {
  if (!hwnd) {
    Hide();
    return;
  }
  if (hwnd == m_pendingHwnd) Hide();
  std::erase_if(m_tools, [&](const Tool& t) { return t.hwnd == hwnd; });
  if (hwnd == m_owner) {
    Hide();
    m_owner = nullptr;
    m_tools.clear();
  }
}
