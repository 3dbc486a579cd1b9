// CIEWnd: the pop-up window that carries the launcher's browser view; the
// launcher owns it, keeps it over its "ie" rectangle and shows and hides it
// with itself. The container only holds the view and makes it fill its client
// area.
//
// Threads: user-interface thread only.
#pragma once

#include "browser/IEView.h"
#include "platform/ui/Window.h"

class CIEWnd : public CWnd {
 public:
  CIEWnd() = default;
  ~CIEWnd() override;

  // Creates the hidden container at (0,0) with size 0x0; the launcher passes
  // its own window as parent (owner), extended style 0 and WS_POPUP.
  virtual BOOL CreateWnd(HWND parent, DWORD exStyle, DWORD style);

  CIEView m_view;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};
