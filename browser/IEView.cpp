#include "browser/IEView.h"

#include "app/AppMessages.h"
#include "app/StartupTrace.h"
#include "browser/IEViewHost.h"
#include "browser/NavigationPolicy.h"
#include "platform/base/Text.h"

CIEViewHost* g_pIEViewHost = nullptr;

namespace {

using Kind = web::ExternalArg::Kind;

bool IsString(const web::ExternalCall& call, std::size_t i) {
  return i < call.args.size() && call.args[i].kind == Kind::String;
}

}  // namespace

CIEView::CIEView() : m_dwHostFlags(kHostFlags) {}

CIEView::~CIEView() {
  // Destroy the window while this object is still a CIEView, so WM_DESTROY
  // reaches our handler and the engine goes before the window.
  if (m_hWnd) DestroyWindow();
  DestroyBrowser();
}

BOOL CIEView::Create(const char* className, const char* windowName, DWORD style, const RECT& rect, HWND parent,
                     UINT id) {
  return CreateEx(0, className ? className : "", windowName ? windowName : "", style, rect.left, rect.top,
                  rect.Width(), rect.Height(), parent, id);
}

std::unique_ptr<CDocHostSite> CIEView::CreateControlSite() { return std::make_unique<CDocHostSite>(this); }

void CIEView::CreateBrowser() {
  m_pSite = CreateControlSite();
  if (!m_pSite) return;
  web::EngineOptions options = m_pSite->EngineOptions();
  options.reportContentLoaded = startup::Tracing();  // the timing trace's DOMContentLoaded
  m_pBrowserApp = web::CreateEngine(options, this);
  if (m_pBrowserApp && m_pBrowserApp->NativeWidget()) AttachNativeWidget(m_hWnd, m_pBrowserApp->NativeWidget());
}

void CIEView::DestroyBrowser() {
  if (m_pBrowserApp && m_hWnd && m_pBrowserApp->NativeWidget()) AttachNativeWidget(m_hWnd, nullptr);
  m_pBrowserApp.reset();
  m_pSite.reset();
}

LRESULT CIEView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      LRESULT r = CWnd::WindowProc(message, wParam, lParam);
      if (r == -1) return -1;
      if (!m_bDeferEngine) CreateBrowser();
      return r;
    }
    case WM_DESTROY:
      DestroyBrowser();
      return CWnd::WindowProc(message, wParam, lParam);
    default:
      // The native widget follows the view's rectangle by itself (WM_SIZE).
      return CWnd::WindowProc(message, wParam, lParam);
  }
}

void CIEView::Navigate(const std::string& url) {
  if (!m_pBrowserApp && m_bDeferEngine && m_hWnd && url != "about:blank") CreateBrowser();
  if (!m_pBrowserApp) return;
  m_pBrowserApp->SetSilent(true);
  m_pBrowserApp->Navigate(url);
}

std::string CIEView::GetLocationURL() const { return m_pBrowserApp ? m_pBrowserApp->GetLocationURL() : ""; }

void CIEView::Refresh() {
  if (m_pBrowserApp) m_pBrowserApp->Refresh();
}

HRESULT CIEView::OnGetHostInfo(DOCHOSTUIINFO* info) const {
  if (!info) return E_NOINTERFACE;
  info->cbSize = 20;
  info->dwFlags = m_dwHostFlags;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  return S_OK;
}

HRESULT CIEView::OnGetExternal(CIEView** external) {
  if (!external) return E_NOINTERFACE;
  *external = this;
  return S_OK;
}

bool CIEView::IsInGameWindow() const {
  if (!g_pIEViewHost || !m_hWnd) return false;
  HWND game = g_pIEViewHost->GetActiveGameWnd();
  return game && ::GetParent(m_hWnd) == game;
}

void CIEView::OnBeforeNavigate2(web::DocumentRef doc, const std::string& url, bool* cancel) {
  BeforeNavigate2(m_pBrowserApp && m_pBrowserApp->IsTopLevel(doc), url, cancel);
}

void CIEView::BeforeNavigate2(bool topLevel, const std::string& url, bool* cancel) {
  CIEViewHost* host = g_pIEViewHost;
  NavContext context;
  context.topLevel = topLevel;
  context.launcherExists = host && host->HasLauncher();
  context.mainFrameExists = host != nullptr;
  context.inGameWindow = IsInGameWindow();
  if (host && topLevel) {
    context.gameCheck = host->GetConfigValue("gameCheck");
    context.loginCheck = host->GetConfigValue("loginCheck");
  }
  NavDecision d = DecideNavigation(url, context);
  if (d.cancel && cancel) *cancel = true;
  if (!host) return;
  switch (d.action) {
    case NavAction::Proceed:
      break;
    case NavAction::MinimizeLauncher:
      host->ShowLauncher(FALSE);
      break;
    case NavAction::ConfirmQuit:
      host->ConfirmQuit();
      break;
    case NavAction::OpenGameWindow:
      host->OpenGameWindow(d.gameUrl);
      break;
    case NavAction::ShowChooseImages:
      host->ShowChooseImages();
      break;
  }
}

void CIEView::OnNavigateComplete2(const std::string&) {
  // The engine's own address, not the event's.
  std::string location = GetLocationURL();
  CIEViewHost* host = g_pIEViewHost;
  if (location.rfind(kCloseAddress, 0) == 0 && host && IsInGameWindow() && host->IsGameMode()) {
    host->RetireGameWindow();
    host->ShowLauncher(TRUE);
    host->SetGameMode(false);
  }
}

void CIEView::OnDocumentComplete(web::DocumentRef doc, const std::string& url) {
  if (m_pBrowserApp && m_pBrowserApp->IsTopLevel(doc))
    startup::Trace(IsInGameWindow() ? "game-document-complete" : "page-document-complete", url);
  DocumentComplete(url);
}

void CIEView::DocumentComplete(const std::string& url) {
  // Frames' documents count too: the document is not examined.
  if (text::ToLowerAscii(url).rfind(kCloseAddress, 0) != 0) return;
  CIEViewHost* host = g_pIEViewHost;
  if (host && IsInGameWindow()) ::PostMessage(host->GetMainFrameWnd(), WM_RELEASE_GAMEWND, 0, 0);
}

void CIEView::OnTitleChange(const std::string& title) {
  ::SendMessage(::GetParent(m_hWnd), WM_BROWSER_TITLE, 0, reinterpret_cast<LPARAM>(title.c_str()));
}

void CIEView::OnNewWindow3(const std::string& url, const std::string& referrer, bool* cancel) {
  OnNewWindow3(cancel, 0, referrer, url);
}

void CIEView::OnNewWindow3(bool* cancel, DWORD, const std::string&, const std::string& url) {
  CIEViewHost* host = g_pIEViewHost;
  NavContext context;
  context.mainFrameExists = host != nullptr;
  context.inGameWindow = IsInGameWindow();
  if (!host) return;
  context.gameCheck = host->GetConfigValue("gameCheck");
  NavDecision d = DecideNewWindow(url, context);
  if (d.action != NavAction::OpenGameWindow) return;
  if (cancel) *cancel = true;
  host->OpenGameWindow(d.gameUrl);
}

void CIEView::OnInvokeClient(std::string, web::ExternalArg) {}

void CIEView::OnExternalCall(const web::ExternalCall& call) {
  // The scripting object's five members; a call with another number or kind
  // of arguments is dropped.
  const std::string& m = call.method;
  if (m == "Invoke_Client") {
    if (call.argCount != 2 || call.args.size() < 2 || !IsString(call, 0)) return;
    Kind k = call.args[1].kind;
    if (k != Kind::Object && k != Kind::Function && k != Kind::Null) return;
    OnInvokeClient(call.args[0].text, call.args[1]);
  } else if (m == "getNewMsg") {
    if (call.argCount != 1 || !IsString(call, 0)) return;
    HWND game = g_pIEViewHost ? g_pIEViewHost->GetActiveGameWnd() : nullptr;
    ::SendMessage(game, WM_VIPBUTTON_FLASH, 0, 0);
  } else if (m == "getGsName") {
    if (call.argCount != 1 || !IsString(call, 0)) return;
    HWND game = g_pIEViewHost ? g_pIEViewHost->GetActiveGameWnd() : nullptr;
    const std::string& name = call.args[0].text;
    ::SendMessage(game, WM_VIPBUTTON_SETTEXT, 0, name.empty() ? 0 : reinterpret_cast<LPARAM>(name.c_str()));
  } else if (m == "BeforeNavigate2") {
    // The page's own object is never the browser, so this is a frame's
    // navigation to the policy: it proceeds without an action.
    if (call.argCount != 7 || !IsString(call, 1)) return;
    bool cancel = false;
    BeforeNavigate2(false, call.args[1].text, &cancel);
  } else if (m == "DocumentComplete") {
    if (call.argCount != 2 || !IsString(call, 1)) return;
    DocumentComplete(call.args[1].text);
  } else if (m == web::kContentLoadedMethod) {
    startup::Trace(IsInGameWindow() ? "game-domcontentloaded" : "home-domcontentloaded", GetLocationURL());
  }
}
