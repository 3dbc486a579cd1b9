// CSkinWnd: the base of a skinned top-level window drawn as a layered window
// with per-pixel alpha. It has no frame and no system-drawn content: its
// whole look, its shape included, is the skin element's images with the
// buttons and texts drawn in, composed off-screen and handed to the window
// layer (UpdateLayeredWindow). The launcher derives from it.
//
// What it shares with the framed window (the skin, the buttons, showing and
// hiding) is CSkinWndBase's. Its own: WM_CLOSE clicks the button named
// "close"; a press anywhere on the window's own surface drags the window;
// each image is decoded once and kept for every later render; every show
// renders the window anew.
//
// Threads: the user-interface thread only.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "windows/SkinWndBase.h"

class CSkinWnd : public CSkinWndBase {
 public:
  explicit CSkinWnd(const std::string& element);

  // Shows (as the base does, then renders) or hides the window.
  void Show(BOOL show) override;
  void BuildFromSkin() override;
  // Never called by this class (its WM_CLOSE clicks "close").
  void OnCloseRequest() override = 0;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Composes the window and shows the result (this also shows the window).
  void RenderLayered();

 protected:
  // g_pSkin when set, else the process-wide skin.
  SkinDocument* Skin() const override;
  // The element's title.
  std::string WindowTitle() const override { return m_info.title; }

 private:
  // The decoded image of a skin image id, decoded at its first use; null
  // when it does not load (and it is not tried again).
  const CImageEx* CachedImage(int stand);

  std::map<int, std::shared_ptr<CImageEx>> m_imageCache;  // by PNG resource id
};
