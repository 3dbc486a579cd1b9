// The platform's push button: a child window that captures the mouse while
// its left button is held and, when the button is released over it, sends
// its parent WM_COMMAND with (id, BN_CLICKED) and its handle. BM_CLICK clicks
// it from code. It draws nothing itself: owner-drawn buttons are drawn by
// their owner. UI thread only.
#pragma once

#include "platform/ui/Window.h"

class CButton : public CWnd {
 public:
  // Creates the child window of class "Button".
  BOOL CreateButton(DWORD style, const RECT& rect, CWnd* parent, UINT id);

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  bool m_pushed = false;
};
