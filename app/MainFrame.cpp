#include "app/MainFrame.h"

#include "app/ClientConfig.h"
#include "app/StartupTrace.h"
#include "app/TorvaneApp.h"
#include "platform/base/Resources.h"

CMainFrame* g_pMainFrame = nullptr;

namespace {
constexpr UINT AFX_IDW_PANE_FIRST = 0xE900;
}

LRESULT CChildView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    BeginPaint(m_hWnd, &ps);  // paints nothing
    EndPaint(m_hWnd, &ps);
    return 0;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

CMainFrame::CMainFrame() = default;

CMainFrame::~CMainFrame() {
  if (g_pMainFrame == this) g_pMainFrame = nullptr;
  startup::Record("MainFrameDestroyed");
}

std::string CMainFrame::PreCreateWindow() {
  ClientConfig* config = ClientConfig::Get();
  config->m_strWndClassName = config->GetImClass();
  return config->m_strWndClassName;
}

BOOL CMainFrame::LoadFrame(UINT resourceId, DWORD style) {
  std::string className = PreCreateWindow();
  std::string title = res::LoadString(static_cast<int>(resourceId));
  return CreateEx(0, className, title, style & ~WS_VISIBLE, 0, 0, 0, 0, GetDesktopWindow());
}

int CMainFrame::OnCreate(const CREATESTRUCT*) {
  if (!m_wndView.CreateEx(0, "ChildView", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, 0, 0, m_hWnd,
                          AFX_IDW_PANE_FIRST))
    return -1;
  g_pMainFrame = this;
  startup::Record("MainFrameOnCreate");
  return 0;
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(reinterpret_cast<const CREATESTRUCT*>(lParam));
    case WM_SETFOCUS:
      return 0;  // the view takes the focus; it has nothing to do with it
    case WM_COMMAND:
      if (LOWORD(wParam) == ID_APP_EXIT) {
        startup::Record("AppExit");
        SendMessage(WM_CLOSE);
        return 0;
      }
      return 0;
    case WM_CLOSE:
      DestroyWindow();
      return 0;
    default:
      return CWnd::WindowProc(message, wParam, lParam);
  }
}

void CMainFrame::PostNcDestroy() {
  // The main window is gone: the loop ends, and the frame object with it.
  PostQuitMessage(0);
  if (CTorvaneApp* app = AfxGetApp(); app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
  delete this;
}
