#include "app/MainFrame.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "app/AppMessages.h"
#include "app/AppShared.h"
#include "app/ClientConfig.h"
#include "app/ShellSetup.h"
#include "app/StartupTrace.h"
#include "app/TorvaneApp.h"
#include "app/UserInfoRequest.h"
#include "platform/base/Resources.h"
#include "platform/base/Text.h"
#include "platform/net/DownloadCache.h"
#include "platform/ui/EventLoop.h"
#include "skin/SkinDocument.h"
#include "transfer/HttpGetText.h"

CMainFrame* g_pMainFrame = nullptr;
CHtmlWnd* g_pHtmlWnd = nullptr;

namespace {

constexpr UINT AFX_IDW_PANE_FIRST = 0xE900;
constexpr char kLauncherElement[] = "MAINWND";
constexpr char kGameElement[] = "GAMEWND";
// Both skinned windows: popups with a system menu and a minimise box.
constexpr DWORD kSkinWndStyle = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;  // 0x800A0000
constexpr std::size_t kTrayTipChars = 127;
constexpr UINT TPM_RIGHTBUTTON_RETURNCMD = TPM_RETURNCMD | TPM_RIGHTBUTTON;  // 0x102

// At most maxChars characters of UTF-8 text, never splitting a character.
std::string CutChars(const std::string& text, std::size_t maxChars) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == maxChars) return text.substr(0, i);
  return text;
}

}  // namespace

LRESULT CChildView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    BeginPaint(m_hWnd, &ps);  // paints nothing
    EndPaint(m_hWnd, &ps);
    return 0;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

CMainFrame::CMainFrame() = default;

CMainFrame::~CMainFrame() {
  // The tray icon first, so nothing can ask for a window that is going.
  if (m_bTrayAdded) Shell_NotifyIcon(NIM_DELETE, &m_nid);
  m_bTrayAdded = false;
  // The worker is stopped (a transfer under way is cancelled) and its thread
  // waited for before the display closes; deleting it joins what is left.
  if (m_pDownloadThread) {
    m_pDownloadThread->Stop();
    if (transfer::ThreadHandle* thread = m_pDownloadThread->GetThreadHandle()) thread->Wait(kWorkerStopWaitMs);
    m_pDownloadThread.reset();
  }
  if (g_pIEViewHost == this) g_pIEViewHost = nullptr;
  // The windows, then the skin they read.
  g_pHtmlWnd = nullptr;
  m_pHtmlWnd.reset();
  m_pGameWnd.reset();
  m_pRetiredGameWnd.reset();  // a closed game page's window still waiting for its release
  if (g_pSkin == m_pSkin.get()) g_pSkin = nullptr;
  m_pSkin.reset();
  if (g_pMainFrame == this) g_pMainFrame = nullptr;
  startup::Record("MainFrameDestroyed");
}

std::string CMainFrame::PreCreateWindow() {
  ClientConfig* config = ClientConfig::Get();
  config->m_strWndClassName = config->GetImClass();
  return config->m_strWndClassName;
}

BOOL CMainFrame::LoadFrame(UINT resourceId, DWORD style) {
  std::string className = PreCreateWindow();
  std::string title = res::LoadString(static_cast<int>(resourceId));
  return CreateEx(0, className, title, style & ~WS_VISIBLE, 0, 0, 0, 0, GetDesktopWindow());
}

int CMainFrame::OnCreate(const CREATESTRUCT*) {
  // 2. The content child; without it there is no frame.
  if (!m_wndView.CreateEx(0, "ChildView", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, 0, 0, m_hWnd,
                          AFX_IDW_PANE_FIRST))
    return -1;
  // 3.
  g_pMainFrame = this;
  g_pIEViewHost = this;
  startup::Record("MainFrameOnCreate");
  ClientConfig* config = ClientConfig::Get();
  net::DownloadCache::SetDefaultProduct(config->GetUserClientAbout());
  // 4. to 12.: a failure in one step does not stop the others.
  RunPluginInstallerCheck(*config);
  AddTrayIcon();
  m_pDownloadThread = std::make_unique<CDownloadThread>();
  m_pDownloadThread->Start(FALSE);
  RequestVersionInfo();
  m_menuTray.LoadMenu(kTrayMenuResource);
  m_pSkin = std::make_unique<SkinDocument>();
  m_pSkin->LoadFromResource();
  g_pSkin = m_pSkin.get();
  startup::Record("SkinLoaded");

  m_pHtmlWnd = std::make_unique<CHtmlWnd>(kLauncherElement, this);
  m_pHtmlWnd->CreateWnd(GetDesktopWindow(), WS_EX_APPWINDOW, kSkinWndStyle);
  g_pHtmlWnd = m_pHtmlWnd.get();
  m_pGameWnd = MakeGameWindow(WS_EX_APPWINDOW);
  if (CIEWnd* page = m_pHtmlWnd->BrowserWnd()) page->m_view.Navigate(config->GetHomeUrl());
  startup::Record("WindowsCreated");

  // 13. The first face.
  std::string gameUrl = m_strLaunchTag.empty() ? std::string() : GetGameUrl(0);
  if (!gameUrl.empty()) {
    OpenGameWindow(gameUrl);
  } else {
    m_pHtmlWnd->Show(TRUE);
  }
  startup::Record("FirstFace");
  return 0;
}

std::unique_ptr<CGameWnd> CMainFrame::MakeGameWindow(DWORD exStyle) {
  auto game = std::make_unique<CGameWnd>(kGameElement, this);
  game->CreateWnd(GetDesktopWindow(), exStyle, kSkinWndStyle);
  return game;
}

void CMainFrame::AddTrayIcon() {
  m_nid = NOTIFYICONDATA{};
  m_nid.cbSize = 956;
  m_nid.hWnd = m_hWnd;
  m_nid.uID = kTrayIconId;
  m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  m_nid.uCallbackMessage = WM_TRAYICON_NOTIFY;
  if (auto icon = res::Find("ICON", 128)) m_nid.hIcon.assign(reinterpret_cast<const char*>(icon->data()), icon->size());
  m_nid.szTip = CutChars(GetClientTitle(), kTrayTipChars);
  // A tray host that draws the menu itself offers the same entries.
  CMenu menu;
  if (menu.LoadMenu(kTrayMenuResource))
    if (const MenuPopup* popup = menu.GetSubMenu(0)) m_nid.menu = *popup;
  // A tray may take a moment to show the icon: whether there is one is asked
  // when a window would hide to it.
  m_bTrayAdded = Shell_NotifyIcon(NIM_ADD, &m_nid) != FALSE;
}

bool CMainFrame::CanHideToTray() {
  if (m_bTrayAdded && CurrentTrayKind() != TrayKind::None) return true;
  if (!m_bSaidNoTray) {
    std::fprintf(stderr,
                 "torvane: this desktop shows no tray icons; hiding to the tray minimises the window instead\n");
    m_bSaidNoTray = true;
  }
  return false;
}

LRESULT CMainFrame::OnTrayIconNotify(WPARAM, LPARAM lParam) {
  switch (static_cast<UINT>(lParam)) {
    case WM_LBUTTONDOWN:
      ShowFace();
      break;
    case WM_RBUTTONDOWN:
      ShowTrayMenu();
      break;
    case NIN_TRAYCHANGED:
      // A tray that went away must not take the only way back with it.
      if (CurrentTrayKind() == TrayKind::None) {
        m_bSaidNoTray = false;
        CanHideToTray();
        CWnd* face = m_bGameMode && m_pGameWnd ? static_cast<CWnd*>(m_pGameWnd.get()) : m_pHtmlWnd.get();
        if (face && (!face->IsWindowVisible() || face->IsIconic())) ShowFace();
      }
      break;
    default:
      break;  // double-clicks, releases, moves: nothing
  }
  return 0;
}

void CMainFrame::ShowTrayMenu() {
  POINT at{};
  GetCursorPos(&at);
  SetForegroundWindow();
  const MenuPopup* popup = m_menuTray.GetSubMenu(0);
  if (!popup) return;
  UINT command = TrackPopupMenu(*popup, TPM_RIGHTBUTTON_RETURNCMD, at.x, at.y, m_hWnd);
  if (command == ID_TRAY_SHOW) ShowFace();
  else if (command == ID_APP_EXIT) PostMessage(WM_COMMAND, ID_APP_EXIT, 0);
}

void CMainFrame::ShowFace() {
  if (m_bGameMode && m_pGameWnd) m_pGameWnd->Show(TRUE);
  else if (m_pHtmlWnd) m_pHtmlWnd->Show(TRUE);
}

void CMainFrame::OpenGameWindow(const std::string& url) {
  m_bGameMode = true;
  if (m_pHtmlWnd) m_pHtmlWnd->Show(FALSE);
  // A window made after a game page closed the previous one stays off the taskbar.
  if (!m_pGameWnd) m_pGameWnd = MakeGameWindow(WS_EX_APPWINDOW | WS_EX_TOOLWINDOW);
  m_pGameWnd->Show(FALSE);
  m_pGameWnd->CenterWindow();
  if (!url.empty()) {
    m_pGameWnd->m_view.Navigate(url);
    m_strLastGameUrl = url;
    m_pGameWnd->m_bMaximized = TRUE;
    m_pGameWnd->ApplyMaximize();
  }
  m_pGameWnd->Show(TRUE);
}

HWND CMainFrame::GetActiveGameWnd() {
  if (m_pGameWnd) return m_pGameWnd->m_hWnd;
  return m_pRetiredGameWnd ? m_pRetiredGameWnd->m_hWnd : nullptr;
}

void CMainFrame::RetireGameWindow() {
  if (!m_pGameWnd) return;
  // An earlier retired window whose release has not come yet is nobody's
  // face any more: it goes now rather than being lost.
  m_pRetiredGameWnd = std::move(m_pGameWnd);
}

LRESULT CMainFrame::OnReleaseGameWnd() {
  m_pRetiredGameWnd.reset();
  return 0;
}

void CMainFrame::ShowLauncher(BOOL show) {
  if (m_pHtmlWnd) m_pHtmlWnd->Show(show);
}

void CMainFrame::ConfirmQuit() {
  if (m_pHtmlWnd) m_pHtmlWnd->ConfirmQuit();
}

void CMainFrame::ShowChooseImages() {
  if (m_pHtmlWnd) m_pHtmlWnd->ShowChooseImages();
}

std::string CMainFrame::GetConfigValue(const std::string& key) { return ClientConfig::Get()->GetValue(key.c_str()); }

std::string CMainFrame::GetGameUrl(int reason) {
  if (m_strLaunchTag.empty()) return m_strLastGameUrl;
  ClientConfig* config = ClientConfig::Get();
  const auto now = static_cast<std::int32_t>(static_cast<std::uint32_t>(std::time(nullptr)));
  std::string signature = UserInfoSignature(m_strLaunchTag, now, config->GetPwKey());
  std::string url = FormatUserInfoUrl(config->GetUserInfoUrl(), m_strLaunchTag, reason, now, signature);
  if (url.empty()) return std::string();  // no usable format: nothing is sent
  return HttpGetText(url);
}

void CMainFrame::RequestDownload(const std::string& url, UINT nMsg) {
  if (url.empty() || !m_pDownloadThread) return;
  CDownloadThread::THREAD_PARAM_DOWN request;
  request.strSrcUrl = url;
  request.strUrl = url;
  request.nMsg = nMsg;
  request.bRetry = FALSE;
  request.hNotifyWnd = m_hWnd;
  m_pDownloadThread->AddRequest(request);
}

void CMainFrame::RequestVersionInfo() {
  std::string configParam = ClientConfig::Get()->GetConfigParam();
  if (configParam.empty() || !m_pDownloadThread) return;
  const auto now = static_cast<std::int32_t>(static_cast<std::uint32_t>(std::time(nullptr)));
  RequestDownload(configParam + "?" + std::to_string(now), WM_VERSIONINFO_LOADED);
  m_pDownloadThread->m_hWorkEvent.Set();
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(reinterpret_cast<const CREATESTRUCT*>(lParam));
    case WM_SETFOCUS:
      return 0;  // the view takes the focus; it has nothing to do with it
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case ID_APP_EXIT:
          if (ui::InModalLoop()) {
            // A question or menu runs its loop below us: the windows it
            // belongs to must outlive it. It is cancelled, and the frame
            // closes once the loop is over.
            ui::CancelModalLoops();
            SetTimer(kDeferredExitTimer, kDeferredExitMs);
            return 0;
          }
          startup::Record("AppExit");
          SendMessage(WM_CLOSE);
          return 0;
        case ID_TRAY_SHOW:  // the tray menu's first entry, from a host that draws the menu
          ShowFace();
          return 0;
        default:
          return 0;
      }
    case WM_TRAYICON_NOTIFY:
      return OnTrayIconNotify(wParam, lParam);
    case WM_RELEASE_GAMEWND:
      return OnReleaseGameWnd();
    case WM_VERSIONINFO_LOADED:
      return OnVersionInfoLoaded(wParam, lParam);
    case WM_UPDATE_LOADED:
      return OnUpdateLoaded(wParam, lParam);
    case WM_TIMER:
      if (wParam == kDeferredExitTimer && !ui::InModalLoop()) {
        KillTimer(kDeferredExitTimer);
        SendMessage(WM_COMMAND, ID_APP_EXIT, 0);
      }
      return 0;
    case WM_CLOSE:
      DestroyWindow();
      return 0;
    default:
      return CWnd::WindowProc(message, wParam, lParam);
  }
}

void CMainFrame::PostNcDestroy() {
  // The main window is gone: the loop ends, and the frame object with it.
  PostQuitMessage(0);
  CTorvaneApp* app = AfxGetApp();
  if (app && app->m_pMainWnd.get() == this) {
    app->m_pMainWnd.reset();  // deletes this frame
    return;
  }
  delete this;
}
