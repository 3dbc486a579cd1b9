// CMainFrame: the application's main window, never shown. Its window class is
// named by the configuration's imClass; it is the target of the worker's and
// the pages' messages and the one way to end the program: WM_COMMAND with
// ID_APP_EXIT closes it, its destruction ends the loop.
//
// User-interface thread only.
#pragma once

#include <string>

#include "platform/ui/Window.h"

// The frame's content child; it has no content.
class CChildView : public CWnd {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

class CMainFrame : public CWnd {
 public:
  CMainFrame();
  ~CMainFrame() override;

  // Creates the frame's window (hidden); resource id 128 names its title.
  BOOL LoadFrame(UINT resourceId, DWORD style);

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void PostNcDestroy() override;

  std::string m_strLaunchTag;
  CChildView m_wndView;

 protected:
  int OnCreate(const CREATESTRUCT* cs);
  // What to call the frame's window class (the configuration's imClass).
  std::string PreCreateWindow();
};

// The process's main frame while it exists.
extern CMainFrame* g_pMainFrame;
