// CIEView: the embedded browser view. Every window that shows a page holds
// one (the launcher through its CIEWnd, the game window directly). The view
// examines every top-level navigation of its page (the navigation policy,
// NavigationPolicy.h), turns page commands and configured addresses into
// actions of the main frame, the launcher and the game window (CIEViewHost),
// hands the page its external object, tells its parent the page's title, and
// turns the game page's close address "about:blank3" into the switch back to
// the launcher.
//
// Its engine comes from web::CreateEngine (WebKitGTK in the product, the
// scripted engine in unit tests) and is shown as the native widget of the
// view's child window.
//
// Threads: user-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "browser/DocHostSite.h"
#include "platform/ui/Window.h"
#include "platform/web/BrowserEngine.h"

class CIEView : public CWnd, protected web::BrowserEvents {
 public:
  // DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_THEME.
  static constexpr std::uint32_t kHostFlags = 0x0004000C;
  // The child id the windows give their view.
  static constexpr UINT kViewId = 0x83;

  CIEView();
  ~CIEView() override;

  // Creates the view's window (a child of parent) and its engine.
  BOOL Create(const char* className, const char* windowName, DWORD style, const RECT& rect, HWND parent, UINT id);
  // Call before Create: the engine (and its web process, tens of megabytes)
  // is made only when the view is first sent to a page other than
  // "about:blank", which it shows as nothing meanwhile. For a view that
  // waits hidden, such as a game window made before any game is opened.
  void DeferEngineUntilFirstPage() { m_bDeferEngine = true; }

  // Sets the engine silent and starts a navigation of the top-level document.
  // Does nothing before the window exists (or, for a deferred engine, while
  // the address is "about:blank" and no engine was needed yet).
  void Navigate(const std::string& url);
  // The address of the current document, "" without an engine.
  std::string GetLocationURL() const;
  // Reloads the current document (IWebBrowser2::Refresh).
  void Refresh();
  // The engine (the design's browser interface); null before creation, after
  // destruction, or where no engine can be made.
  web::BrowserEngine* GetBrowser() const { return m_pBrowserApp.get(); }

  std::uint32_t HostFlags() const { return m_dwHostFlags; }
  // The host site answers (Part of the view since its engine was created).
  const CDocHostSite* GetSite() const { return m_pSite.get(); }
  // OnGetHostInfo: the host flags and the default double-click.
  HRESULT OnGetHostInfo(DOCHOSTUIINFO* info) const;
  // OnGetExternal: the view's scripting object is the view itself; the engine
  // exposes it to every page and frame as window.external.
  HRESULT OnGetExternal(CIEView** external);

  // Whether the view's parent is the active game window.
  bool IsInGameWindow() const;

  // Hook of the scripting method Invoke_Client; does nothing here.
  virtual void OnInvokeClient(std::string command, web::ExternalArg callback);
  // A page asks for a new window (NewWindow3): a game address opens the game
  // window (*cancel set); anything else is left to the engine, which opens it
  // in the desktop's default browser.
  virtual void OnNewWindow3(bool* cancel, DWORD flags, const std::string& referrer, const std::string& url);

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Makes the view's host site (one per engine).
  virtual std::unique_ptr<CDocHostSite> CreateControlSite();

  // web::BrowserEvents.
  void OnBeforeNavigate2(web::DocumentRef doc, const std::string& url, bool* cancel) override;
  void OnNavigateComplete2(const std::string& url) override;
  void OnDocumentComplete(web::DocumentRef doc, const std::string& url) override;
  void OnTitleChange(const std::string& title) override;
  void OnNewWindow3(const std::string& url, const std::string& referrer, bool* cancel) override;
  void OnExternalCall(const web::ExternalCall& call) override;

 private:
  void BeforeNavigate2(bool topLevel, const std::string& url, bool* cancel);
  void DocumentComplete(const std::string& url);
  void CreateBrowser();
  void DestroyBrowser();

  std::uint32_t m_dwHostFlags;
  bool m_bDeferEngine = false;
  std::unique_ptr<CDocHostSite> m_pSite;
  std::unique_ptr<web::BrowserEngine> m_pBrowserApp;
};
