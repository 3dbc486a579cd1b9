#include "windows/HtmlWnd.h"

#include "app/AppShared.h"
#include "app/ClientConfig.h"
#include "app/StartupTrace.h"
#include "platform/base/Text.h"
#include "platform/ui/MessageBox.h"
#include "windows/SkinWndHost.h"

namespace {

constexpr char kPageRect[] = "ie";
constexpr char kChooseImage[] = "choose";
constexpr UINT kQuitQuestion = MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SYSTEMMODAL;

std::string ConfigValue(const char* key) { return ClientConfig::Get()->GetValue(key); }

}  // namespace

CHtmlWnd::CHtmlWnd(const std::string& element, CSkinWndHost* host) : CSkinWnd(element), m_pHost(host) {}

CHtmlWnd::~CHtmlWnd() {
  // The page goes first, then everything of the base.
  m_pBrowserWnd.reset();
}

int CHtmlWnd::OnCreate() {
  m_pBrowserWnd = std::make_unique<CIEWnd>();
  // A child of the launcher, hidden until the launcher shows it.
  if (m_pBrowserWnd->CreateWnd(m_hWnd, 0, WS_CHILD)) m_pBrowserWnd->m_view.Navigate(kFirstPage);
  for (const char* name : {"home", "bbs", "kf", "pay"})
    if (CSkinButton* button = FindButton(name)) button->handCursor = true;
  PlaceBrowser();
  return 0;
}

void CHtmlWnd::BuildFromSkin() {
  CSkinWnd::BuildFromSkin();
  SetImageVisible(kChooseImage, FALSE);
}

bool CHtmlWnd::PageRect(RECT* rect) const {
  SkinRectInfo info;
  if (!FindRect(kPageRect, info)) return false;
  RECT r = info.rect;
  if (info.strech != 0) {
    // A stretched rectangle grows one pixel less than the window.
    r.right += m_nWidth - m_info.width - 1;
    r.bottom += m_nHeight - m_info.height - 1;
  }
  *rect = r;
  return true;
}

void CHtmlWnd::PlaceBrowser() {
  RECT r;
  if (!m_pBrowserWnd || !IsWindow(m_pBrowserWnd->m_hWnd) || !PageRect(&r)) return;
  m_pBrowserWnd->MoveWindow(r.left, r.top, r.Width(), r.Height(), TRUE);
}

void CHtmlWnd::Show(BOOL show) {
  CSkinWnd::Show(show);
  if (show) startup::TraceOnce("launcher-first-frame");  // its look went to the display just now
  if (m_pBrowserWnd && IsWindow(m_pBrowserWnd->m_hWnd)) m_pBrowserWnd->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void CHtmlWnd::HideToTray() {
  if (!m_pHost || m_pHost->CanHideToTray()) {
    Show(FALSE);
    return;
  }
  ShowWindow(SW_MINIMIZE);
}

void CHtmlWnd::OnSkinCommand(const SkinButtonInfo& info) {
  const std::string& name = info.name;
  if (text::EqualsNoCase(name, "close")) {
    ConfirmQuit();
  } else if (text::EqualsNoCase(name, "min")) {
    HideToTray();
  } else if (text::EqualsNoCase(name, "home")) {
    OpenInBrowser(ConfigValue("gwUrl"));
  } else if (text::EqualsNoCase(name, "bbs")) {
    OpenInBrowser(ConfigValue("bbsUrl"));
  } else if (text::EqualsNoCase(name, "kf")) {
    OpenInBrowser(ConfigValue("kfUrl"));
  } else if (text::EqualsNoCase(name, "pay")) {
    OpenInBrowser(ConfigValue("paymentUrl"));
  }
}

void CHtmlWnd::ConfirmQuit() {
  // A page may ask again while the question is open (its script keeps
  // running in the dialog's loop): one question at a time.
  if (m_bConfirming) return;
  m_bConfirming = true;
  int answer = MessageBox(nullptr, ConfigValue("quitTip"), GetClientTitle(), kQuitQuestion);
  m_bConfirming = false;
  if (answer == IDCANCEL) return;
  Show(FALSE);
  if (m_pHost) ::PostMessage(m_pHost->GetMainFrameWnd(), WM_COMMAND, ID_APP_EXIT, 0);
}

void CHtmlWnd::ShowChooseImages() {
  SetImageVisible(kChooseImage, TRUE);
  Invalidate(TRUE);
}

LRESULT CHtmlWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      if (CSkinWnd::WindowProc(message, wParam, lParam) == -1) return -1;
      return OnCreate();
    case WM_SIZE: {
      CSkinWnd::WindowProc(message, wParam, lParam);
      if (LOWORD(static_cast<std::uintptr_t>(lParam)) > 0 && HIWORD(static_cast<std::uintptr_t>(lParam)) > 0)
        PlaceBrowser();
      return 0;
    }
    case WM_MOVE:
      // The page is a child: it moves with the launcher by itself.
      return CSkinWnd::WindowProc(message, wParam, lParam);
    case WM_TIMER:
      Invalidate(TRUE);
      return CSkinWnd::WindowProc(message, wParam, lParam);
    default:
      return CSkinWnd::WindowProc(message, wParam, lParam);
  }
}
