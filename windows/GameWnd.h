// CGameWnd: the window the player plays in. A framed skinned window
// (CSkinWnd2) built from a window element of the skin, with the game page in
// a browser view that fills the skin rectangle "ie" and grows with the
// window. It maps its buttons to actions (close, minimise, hide to the tray,
// the operator's pages, reload, clear the game's cached data, maximise and
// restore), keeps its own maximised state with the "max" and "restore"
// buttons swapped to match, resizes from its edges and corners although it
// has no frame, answers F5 and two hot-key identifiers, and lets the page
// name and flash its "vip" button.
//
// Closing the window navigates its page to "about:blank3"; the browser view
// then hands the face back to the launcher and the main frame deletes the
// window later.
//
// Threads: the user-interface thread only.
#pragma once

#include <string>

#include "browser/IEView.h"
#include "windows/SkinWnd2.h"

class CSkinWndHost;

// The page's close address: the browser view recognises it.
inline constexpr char kGameCloseAddress[] = "about:blank3";
// WM_HOTKEY identifiers: reload the page; hide the window.
constexpr WPARAM HOTKEY_ID_REFRESH = 0x84;
constexpr WPARAM HOTKEY_ID_HIDE = 0x85;

class CGameWnd : public CSkinWnd2 {
 public:
  // The longest "vip" caption a page can set; longer texts are cut (a button
  // shows a few characters, and laying out megabytes would stall the window).
  static constexpr std::size_t kMaxVipTextChars = 256;

  explicit CGameWnd(const std::string& element, CSkinWndHost* host = nullptr);
  ~CGameWnd() override;

  BOOL PreTranslateMessage(MSG* msg) override;
  void OnSkinCommand(const SkinButtonInfo& info) override;
  // WM_CLOSE, Alt+F4 and the "close" button: the page goes to the close address.
  void OnCloseRequest() override;

  // The game again: the address from the user-information service when there
  // is one, otherwise a reload of the current page.
  void ReloadGame();
  void NavigateTo(const std::string& url);
  // Applies m_bMaximized: the window maximised over the work area with
  // "restore" in place of "max" and no title drag, or restored.
  void ApplyMaximize();

  CIEView m_view;
  BOOL m_bMaximized = FALSE;
  int m_nHitZone = 0;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  int OnCreate();
  void OnSize(int cx, int cy);
  void OnMouseMove(int x, int y);
  void OnLButtonDown(int x, int y);
  // "cache": the matching cached data goes, then the game reloads.
  void ClearCacheAndReload();
  // "pack": to the tray, or to the taskbar where there is no tray.
  void HideToTray();

  CSkinWndHost* m_pHost;
};
