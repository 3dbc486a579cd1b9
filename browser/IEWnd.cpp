#include "browser/IEWnd.h"

CIEWnd::~CIEWnd() {
  if (m_hWnd) DestroyWindow();
}

BOOL CIEWnd::CreateWnd(HWND parent, DWORD exStyle, DWORD style) {
  return CreateEx(exStyle, "", "", style, 0, 0, 0, 0, parent, 0);
}

LRESULT CIEWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      if (CWnd::WindowProc(message, wParam, lParam) == -1) return -1;
      RECT rect{0, 0, 1, 1};
      m_view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, rect, m_hWnd, CIEView::kViewId);
      return 0;
    }
    case WM_SIZE: {
      LRESULT r = CWnd::WindowProc(message, wParam, lParam);
      int width = LOWORD(static_cast<std::uintptr_t>(lParam));
      int height = HIWORD(static_cast<std::uintptr_t>(lParam));
      if (width > 0 && height > 0 && IsWindow(m_view.m_hWnd)) m_view.MoveWindow(0, 0, width, height, TRUE);
      return r;
    }
    default:
      return CWnd::WindowProc(message, wParam, lParam);
  }
}
