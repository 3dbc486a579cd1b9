// CSkinWndBase: what the layered (CSkinWnd) and the framed (CSkinWnd2)
// skinned windows share. From a window element of the skin it takes the
// window's size (centred on the work area), one CSkinButton per BTN (control
// ids from a counter of the derived class, from 10000), and the element's
// images, rectangles and texts; it re-anchors the buttons when the size
// changes, routes a button's click to OnSkinCommand, shows and hides the
// window, and relays the mouse to the buttons' tooltip. The derived classes
// differ in how they look (a layered picture with per-pixel alpha, or an
// opaque painted client area), in where a press drags the window and in what
// WM_CLOSE does; those are theirs.
//
// Threads: the user-interface thread only.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/ToolTip.h"
#include "platform/ui/Window.h"
#include "skin/SkinButton.h"
#include "skin/SkinRecords.h"
#include "windows/SkinWndParts.h"

class SkinDocument;

// The process-wide skin the skinned windows read, set by the main frame while
// it is created (and by tests); the framed windows build nothing while it is
// null.
extern SkinDocument* g_pSkin;

class CSkinWndBase : public CWnd {
 public:
  ~CSkinWndBase() override;

  // Creates the window (hidden, size 0 until BuildFromSkin sizes it).
  // Nonzero on success.
  virtual BOOL CreateWnd(HWND parent, DWORD exStyle, DWORD style);
  // Shows (restores a minimised window, brings it to the top and makes it the
  // foreground window) or hides the window.
  virtual void Show(BOOL show);
  // Reads the element: window record, size and place, images, rectangles,
  // buttons, texts.
  virtual void BuildFromSkin();
  // The derived window's action for a clicked button.
  virtual void OnSkinCommand(const SkinButtonInfo& info) = 0;
  // Draws one text (see skinwnd::DrawSkinTextLine).
  virtual void DrawSkinText(HDC dc, const std::string& text, COLORREF color, const SkinFontInfo& font, float x,
                            float y, float w, float h);
  // What the derived window does on WM_CLOSE (see there).
  virtual void OnCloseRequest() = 0;

  BOOL PreTranslateMessage(MSG* msg) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  CSkinButton* FindButton(const std::string& name) const { return skinwnd::FindButton(m_buttons, name); }
  BOOL FindRect(const std::string& name, SkinRectInfo& rect) const { return skinwnd::FindRect(m_rects, name, rect); }
  // Shows or hides every image of that name; does not repaint.
  void SetImageVisible(const std::string& name, BOOL visible) { skinwnd::SetImageVisible(m_images, name, visible); }

 protected:
  // nextButtonId: the derived class's own counter of button ids.
  CSkinWndBase(const std::string& element, const char* className, UINT (*nextButtonId)());

  // The skin the window reads (g_pSkin here).
  virtual SkinDocument* Skin() const;
  // The window text set from the skin.
  virtual std::string WindowTitle() const = 0;

  std::string m_strElement;
  SkinWindowInfo m_info;
  int m_nWidth = 0;
  int m_nHeight = 0;
  BOOL m_bMinimized = FALSE;
  std::vector<SkinImageInfo> m_images;
  std::vector<SkinRectInfo> m_rects;
  std::vector<SkinTextInfo> m_texts;
  skinwnd::ButtonList m_buttons;
  CToolTipCtrl m_tooltip;
  std::string m_hIcon;  // PNG bytes of icon 128

 private:
  int OnCreate();
  void OnSize(int cx, int cy);

  const char* m_className;
  UINT (*m_nextButtonId)();
};
