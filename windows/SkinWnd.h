// CSkinWnd: the base of a skinned top-level window drawn as a layered window
// with per-pixel alpha. It has no frame and no system-drawn content: its
// whole look, its shape included, is the skin element's images with the
// buttons and texts drawn in, composed off-screen and handed to the window
// layer (UpdateLayeredWindow). The launcher derives from it.
//
// From a window element of the skin it takes its size (centred on the work
// area), one CSkinButton per BTN, and its images, rectangles and texts. A
// click on a button becomes OnSkinCommand with that button's record;
// WM_CLOSE clicks the button named "close"; a press anywhere on the window's
// own surface drags the window. Windows are destroyed only by deleting their
// objects. Each image is decoded once and kept for every later render.
//
// Threads: the user-interface thread only.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ToolTip.h"
#include "platform/ui/Window.h"
#include "skin/SkinButton.h"
#include "skin/SkinRecords.h"
#include "windows/SkinWndParts.h"

class SkinDocument;

class CSkinWnd : public CWnd {
 public:
  explicit CSkinWnd(const std::string& element);
  ~CSkinWnd() override;

  // Creates the window (hidden, size 0 until BuildFromSkin sizes it).
  // Nonzero on success.
  virtual BOOL CreateWnd(HWND parent, DWORD exStyle, DWORD style);
  // Shows (restores a minimised window, brings it to the top, makes it the
  // foreground window and renders) or hides the window.
  virtual void Show(BOOL show);
  // Reads the element: window record, size and place, images, rectangles,
  // buttons, texts.
  virtual void BuildFromSkin();
  // The derived window's action for a clicked button.
  virtual void OnSkinCommand(const SkinButtonInfo& info) = 0;
  // Draws one text (see skinwnd::DrawSkinTextLine).
  virtual void DrawSkinText(HDC dc, const std::string& text, COLORREF color, const SkinFontInfo& font, float x,
                            float y, float w, float h);
  // Never called by this class (its WM_CLOSE clicks "close").
  virtual void OnCloseRequest() = 0;

  BOOL PreTranslateMessage(MSG* msg) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Composes the window and shows the result (this also shows the window).
  void RenderLayered();
  CSkinButton* FindButton(const std::string& name) const { return skinwnd::FindButton(m_buttons, name); }
  BOOL FindRect(const std::string& name, SkinRectInfo& rect) const { return skinwnd::FindRect(m_rects, name, rect); }
  // Shows or hides every image of that name; does not repaint.
  void SetImageVisible(const std::string& name, BOOL visible) { skinwnd::SetImageVisible(m_images, name, visible); }

 protected:
  // The skin the window reads: g_pSkin when set, else the process-wide skin.
  virtual SkinDocument* Skin() const;

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
  // The decoded image of a skin image id, decoded at its first use; null
  // when it does not load (and it is not tried again).
  const CImageEx* CachedImage(int stand);

  std::map<int, std::shared_ptr<CImageEx>> m_imageCache;  // by PNG resource id
};
