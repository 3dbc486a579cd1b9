// CSkinWnd2: the base of a skinned top-level window painted the ordinary way:
// an opaque, frameless popup whose whole client area it paints itself,
// double-buffered, from the skin. The game window derives from it and holds
// its browser view in it as a native child.
//
// What it shares with the layered window (the skin, read through g_pSkin, the
// buttons, showing and hiding) is CSkinWndBase's. Its own: it paints the
// background colour, the images with their stretch modes and nine-part
// margins, the buttons, the logo and the title in the title band when the
// element asks for them, and the texts; WM_CLOSE becomes OnCloseRequest; a
// press in the title band drags the window while m_bDraggable; resizing
// stops at the design size.
//
// Threads: the user-interface thread only.
#pragma once

#include <string>

#include "windows/SkinWndBase.h"

class CSkinWnd2 : public CSkinWndBase {
 public:
  explicit CSkinWnd2(const std::string& element);

  // The derived window's action for a clicked button; nothing here.
  void OnSkinCommand(const SkinButtonInfo& info) override;
  // WM_CLOSE: clicks the button named "close" (posted), if there is one.
  void OnCloseRequest() override;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  // Composes the client area at its current size into dc.
  void PaintClient(HDC dc);
  // The window text: the client's title (GetClientTitle).
  std::string WindowTitle() const override;

  BOOL m_bDraggable = TRUE;

 private:
  void OnPaint();
};
