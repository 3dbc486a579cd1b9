#include "platform/ui/Button.h"

BOOL CButton::CreateButton(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  if (!parent) return FALSE;
  return CreateEx(0, "Button", "", style | WS_CHILD, rect.left, rect.top, rect.Width(), rect.Height(), parent->m_hWnd,
                  id);
}

LRESULT CButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      m_pushed = true;
      ::SetCapture(m_hWnd);
      return 0;
    case WM_LBUTTONUP: {
      bool wasPushed = m_pushed;
      m_pushed = false;
      if (GetCapture() == m_hWnd) ReleaseCapture();
      RECT client;
      GetClientRect(&client);
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (wasPushed && client.Contains(p)) {
        HWND self = m_hWnd;
        HWND parent = GetParent();
        ::SendMessage(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), BN_CLICKED), reinterpret_cast<LPARAM>(self));
      }
      return 0;
    }
    case BM_CLICK: {
      HWND self = m_hWnd;
      ::SendMessage(self, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0, 0));
      ::SendMessage(self, WM_LBUTTONUP, 0, MAKELPARAM(0, 0));
      return 0;
    }
    default:
      return CWnd::WindowProc(message, wParam, lParam);
  }
}
