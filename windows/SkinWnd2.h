// CSkinWnd2: the base of a skinned top-level window painted the ordinary way:
// an opaque, frameless popup whose whole client area it paints itself,
// double-buffered, from the skin. The game window derives from it and holds
// its browser view in it as a native child.
//
// From a window element of the skin (read through g_pSkin) it takes its size
// (centred on the work area), one CSkinButton per BTN, and its images,
// rectangles and texts. It paints the background colour, the images with
// their stretch modes and nine-part margins, the buttons, the logo and the
// title in the title band when the element asks for them, and the texts. A
// click on a button becomes OnSkinCommand; WM_CLOSE becomes OnCloseRequest;
// a press in the title band drags the window while m_bDraggable; resizing
// stops at the design size.
//
// Threads: the user-interface thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ToolTip.h"
#include "platform/ui/Window.h"
#include "skin/SkinButton.h"
#include "skin/SkinRecords.h"
#include "windows/SkinWndParts.h"

class SkinDocument;

// The process-wide skin the framed windows read, set by the main frame while
// it is created (and by tests); nothing is built while it is null.
extern SkinDocument* g_pSkin;

class CSkinWnd2 : public CWnd {
 public:
  explicit CSkinWnd2(const std::string& element);
  ~CSkinWnd2() override;

  virtual BOOL CreateWnd(HWND parent, DWORD exStyle, DWORD style);
  // Shows (restores a minimised window, brings it to the top, makes it the
  // foreground window) or hides the window; the window layer repaints it.
  virtual void Show(BOOL show);
  virtual void BuildFromSkin();
  // The derived window's action for a clicked button; nothing here.
  virtual void OnSkinCommand(const SkinButtonInfo& info);
  virtual void DrawSkinText(HDC dc, const std::string& text, COLORREF color, const SkinFontInfo& font, float x,
                            float y, float w, float h);
  // WM_CLOSE: clicks the button named "close" (posted), if there is one.
  virtual void OnCloseRequest();

  BOOL PreTranslateMessage(MSG* msg) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  CSkinButton* FindButton(const std::string& name) const { return skinwnd::FindButton(m_buttons, name); }
  BOOL FindRect(const std::string& name, SkinRectInfo& rect) const { return skinwnd::FindRect(m_rects, name, rect); }

 protected:
  // Composes the client area at its current size into dc.
  void PaintClient(HDC dc);
  // The window text: the client's title (GetClientTitle).
  virtual std::string WindowTitle() const;

  std::string m_strElement;
  SkinWindowInfo m_info;
  int m_nWidth = 0;
  int m_nHeight = 0;
  BOOL m_bMinimized = FALSE;
  BOOL m_bDraggable = TRUE;
  std::vector<SkinImageInfo> m_images;
  std::vector<SkinRectInfo> m_rects;
  std::vector<SkinTextInfo> m_texts;
  skinwnd::ButtonList m_buttons;
  CToolTipCtrl m_tooltip;
  std::string m_hIcon;  // PNG bytes of icon 128

 private:
  int OnCreate();
  void OnSize(int cx, int cy);
  void OnPaint();
};
