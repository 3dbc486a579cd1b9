#include "windows/SkinWndBase.h"

#include <cstdint>

#include "skin/SkinDocument.h"

SkinDocument* g_pSkin = nullptr;

CSkinWndBase::CSkinWndBase(const std::string& element, const char* className, UINT (*nextButtonId)())
    : m_strElement(element), m_className(className), m_nextButtonId(nextButtonId) {}

CSkinWndBase::~CSkinWndBase() {
  // The buttons go first (their windows with them), then this window.
  m_buttons.clear();
  DestroyWindow();
}

SkinDocument* CSkinWndBase::Skin() const { return g_pSkin; }

BOOL CSkinWndBase::CreateWnd(HWND parent, DWORD exStyle, DWORD style) {
  return CreateEx(exStyle, m_className, "", style, 0, 0, 0, 0, parent);
}

int CSkinWndBase::OnCreate() {
  m_hIcon = skinwnd::WindowIconBytes();
  skinwnd::SetWindowIcon(m_hWnd, m_hIcon);
  if (!m_tooltip.GetSafeHwnd()) m_tooltip.Create(this, TTS_ALWAYSTIP);
  BuildFromSkin();
  return 0;
}

void CSkinWndBase::BuildFromSkin() {
  SkinDocument* skin = Skin();
  if (!skin) return;
  m_info.name = m_strElement;
  skin->GetWindowInfo(m_info);
  m_nWidth = m_info.width;
  m_nHeight = m_info.height;
  SetWindowText(WindowTitle());
  POINT at = skinwnd::CentreOnWorkArea(m_info.width, m_info.height);
  MoveWindow(at.x, at.y, m_info.width, m_info.height, FALSE);

  skin->GetImages(m_strElement, m_images);
  skin->GetRects(m_strElement, m_rects);
  std::vector<SkinButtonInfo> buttons;
  skin->GetButtons(m_strElement, buttons);
  skinwnd::CreateButtons(this, skin, buttons, &m_tooltip, m_nextButtonId, m_buttons);
  skin->GetTexts(m_strElement, m_texts);
}

void CSkinWndBase::OnSize(int cx, int cy) {
  if (cx <= 0 || cy <= 0) {
    m_bMinimized = TRUE;
    return;
  }
  m_nWidth = cx;
  m_nHeight = cy;
  skinwnd::RelayoutButtons(this, m_buttons);
  m_bMinimized = FALSE;
  Invalidate(TRUE);
}

void CSkinWndBase::Show(BOOL show) {
  if (!show) {
    ShowWindow(SW_HIDE);
    return;
  }
  ShowWindow(m_bMinimized ? SW_RESTORE : SW_SHOW);
  BringWindowToTop();
  SetForegroundWindow();
}

void CSkinWndBase::DrawSkinText(HDC dc, const std::string& text, COLORREF color, const SkinFontInfo& font, float x,
                                float y, float w, float h) {
  skinwnd::DrawSkinTextLine(dc, text, color, font, x, y, w, h);
}

BOOL CSkinWndBase::PreTranslateMessage(MSG* msg) {
  if (m_tooltip.GetSafeHwnd()) m_tooltip.RelayEvent(msg);
  return CWnd::PreTranslateMessage(msg);
}

LRESULT CSkinWndBase::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      if (CWnd::WindowProc(message, wParam, lParam) == -1) return -1;
      return OnCreate();
    case WM_SIZE:
      CWnd::WindowProc(message, wParam, lParam);
      OnSize(LOWORD(static_cast<std::uintptr_t>(lParam)), HIWORD(static_cast<std::uintptr_t>(lParam)));
      return 0;
    case WM_ERASEBKGND:
      return TRUE;
    case WM_COMMAND:
      if (CSkinButton* button = skinwnd::ButtonForCommand(m_buttons, wParam, lParam)) {
        SkinButtonInfo info = button->info;  // the handler may change the button
        OnSkinCommand(info);
        return 0;
      }
      break;
    case WM_GETMINMAXINFO:
      if (lParam) skinwnd::FillMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
      break;
    default:
      break;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}
