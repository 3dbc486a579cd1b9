// CHtmlWnd: the launcher, the client's start window. A layered skinned window
// (CSkinWnd) built from a window element of the skin, showing the operator's
// client home page in its rectangle "ie". The page lives in a CIEWnd that the
// launcher owns and keeps exactly over that rectangle whatever the launcher
// does, and shows and hides with itself.
//
// The page's container is a child window of the launcher placed over the
// rectangle, not a separate top-level window: a window manager places each
// top-level window itself and would let the page lag behind (or stay put)
// while the launcher is dragged. The launcher's shape and input region take
// the page's rectangle in, although the skin is transparent there.
//
// Its buttons: "close" asks the quit question, "min" hides the launcher to
// the tray (minimises it where the desktop has no tray), "home", "bbs", "kf"
// and "pay" open the operator's pages in the desktop's browser. The images
// named "choose" stay hidden until the page reports a logged-in address.
//
// Threads: the user-interface thread only.
#pragma once

#include <memory>
#include <string>

#include "browser/IEWnd.h"
#include "windows/SkinWnd.h"

class CSkinWndHost;

class CHtmlWnd : public CSkinWnd {
 public:
  // The first page of the container until the main frame navigates it.
  static constexpr char kFirstPage[] = "about:blank";

  explicit CHtmlWnd(const std::string& element, CSkinWndHost* host = nullptr);
  ~CHtmlWnd() override;

  // Shows the launcher (restored, on top, active) with its page, or hides both.
  void Show(BOOL show) override;
  void BuildFromSkin() override;
  void OnSkinCommand(const SkinButtonInfo& info) override;
  // Never called: the launcher's WM_CLOSE clicks its "close" button.
  void OnCloseRequest() override {}

  // Shows every image named "choose" and repaints.
  void ShowChooseImages();
  // Asks the quit question (OK and Cancel, Cancel preselected, above other
  // windows); OK hides the launcher and ends the client. A question already
  // open is not asked a second time.
  void ConfirmQuit();

  // The page's container (null before WM_CREATE).
  CIEWnd* BrowserWnd() const { return m_pBrowserWnd.get(); }
  // The page's place in the launcher's client area: the "ie" rectangle, grown
  // with the window when it stretches. False when the skin has none.
  bool PageRect(RECT* rect) const;

  std::unique_ptr<CIEWnd> m_pBrowserWnd;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  int OnCreate();
  // Puts the container over the page rectangle (and its native view with it).
  void PlaceBrowser();
  // "min": to the tray, or to the taskbar where there is no tray.
  void HideToTray();

  CSkinWndHost* m_pHost;
  bool m_bConfirming = false;
};
