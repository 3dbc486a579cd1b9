// One tooltip control per window: tools registered by window, rectangle and
// id; the owner relays its mouse messages (RelayEvent) and the tip shows
// after the usual delay near the pointer, and hides when the pointer leaves
// the tool, a button goes down, or the window goes away. UI thread only.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/Window.h"

constexpr DWORD TTS_ALWAYSTIP = 0x01;

class CToolTipCtrl {
 public:
  CToolTipCtrl();
  ~CToolTipCtrl();
  CToolTipCtrl(const CToolTipCtrl&) = delete;
  CToolTipCtrl& operator=(const CToolTipCtrl&) = delete;

  BOOL Create(CWnd* parent, DWORD style = 0);
  // Whether the control exists (the design's "has a window").
  HWND GetSafeHwnd() const { return m_owner; }
  // rect in the client coordinates of wnd; null means its whole client area.
  BOOL AddTool(CWnd* wnd, const std::string& text, const RECT* rect, UINT id);
  void DelTool(CWnd* wnd, UINT id);
  void RelayEvent(const MSG* msg);

  // What the control shows now ("" when hidden); for tests and the backend.
  const std::string& ShownText() const { return m_shown; }
  static constexpr UINT kInitialDelayMs = 500;

  // Internal: the loop's timer and window bookkeeping reach the control here.
  void OnDelayElapsed();
  void Forget(HWND hwnd);

 private:
  struct Tool {
    HWND hwnd;
    std::string text;
    RECT rect;
    bool wholeClient;
    UINT id;
  };
  const Tool* ToolAt(HWND hwnd, POINT p) const;
  void Hide();

  HWND m_owner = nullptr;
  std::vector<Tool> m_tools;
  const Tool* m_pending = nullptr;
  HWND m_pendingHwnd = nullptr;
  UINT m_pendingId = 0;
  POINT m_pointer;  // screen
  std::string m_shown;
  long long m_token = 0;
};
