#include "windows/GameWnd.h"

#include "app/AppShared.h"
#include "app/AppMessages.h"
#include "app/ClientConfig.h"
#include "platform/base/Text.h"
#include "windows/SkinWndHost.h"
#include "windows/UrlCache.h"

namespace {

constexpr char kPageRect[] = "ie";
constexpr int kCornerSize = 10;

// Hit-test codes of the resize zones.
constexpr int HTLEFT = 10, HTRIGHT = 11, HTTOP = 12, HTTOPLEFT = 13, HTTOPRIGHT = 14, HTBOTTOM = 15,
              HTBOTTOMLEFT = 16, HTBOTTOMRIGHT = 17;

std::string ConfigValue(const char* key) { return ClientConfig::Get()->GetValue(key); }

Cursor ZoneCursor(int zone) {
  switch (zone) {
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
      return Cursor::SizeNWSE;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
      return Cursor::SizeNESW;
    case HTLEFT:
    case HTRIGHT:
      return Cursor::SizeWE;
    case HTTOP:
    case HTBOTTOM:
      return Cursor::SizeNS;
    default:
      return Cursor::Arrow;
  }
}

// The platform's sizing edge for a zone (SC_SIZE + WMSZ_*).
UINT ZoneEdge(int zone) {
  switch (zone) {
    case HTLEFT: return WMSZ_LEFT;
    case HTRIGHT: return WMSZ_RIGHT;
    case HTTOP: return WMSZ_TOP;
    case HTTOPLEFT: return WMSZ_TOPLEFT;
    case HTTOPRIGHT: return WMSZ_TOPRIGHT;
    case HTBOTTOM: return WMSZ_BOTTOM;
    case HTBOTTOMLEFT: return WMSZ_BOTTOMLEFT;
    case HTBOTTOMRIGHT: return WMSZ_BOTTOMRIGHT;
    default: return 0;
  }
}

// At most maxChars characters of UTF-8 text, never splitting a character.
std::string CutChars(const char* text, std::size_t maxChars) {
  std::string out;
  std::size_t chars = 0;
  for (const char* p = text; *p; ++p) {
    if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80 && chars++ == maxChars) break;
    out.push_back(*p);
  }
  return out;
}

}  // namespace

CGameWnd::CGameWnd(const std::string& element, CSkinWndHost* host) : CSkinWnd2(element), m_pHost(host) {
  // The window made at start-up waits hidden, often for a game that never
  // comes: its page engine and web process are made with its first game page.
  m_view.DeferEngineUntilFirstPage();
}

CGameWnd::~CGameWnd() {
  // The view goes first (its window and engine), then everything of the base.
  if (m_view.m_hWnd) m_view.DestroyWindow();
}

int CGameWnd::OnCreate() {
  m_view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 1, 1}, m_hWnd, CIEView::kViewId);
  m_view.Navigate("about:blank");
  for (const char* name : {"home", "bbs", "kf", "refresh", "lock", "pay", "more", "vip", "host", "cache"})
    if (CSkinButton* button = FindButton(name)) button->handCursor = true;
  if (CSkinButton* restore = FindButton("restore")) restore->ShowWindow(SW_HIDE);
  // The first WM_SIZE came before the view existed.
  OnSize(m_nWidth, m_nHeight);
  return 0;
}

void CGameWnd::OnSize(int cx, int cy) {
  if (cx <= 0 || cy <= 0) return;
  SkinRectInfo info;
  if (!FindRect(kPageRect, info) || !IsWindow(m_view.m_hWnd)) return;
  RECT r = info.rect;
  if (info.strech != 0) {
    r.right += cx - m_info.width;
    r.bottom += cy - m_info.height;
  }
  m_view.MoveWindow(r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void CGameWnd::HideToTray() {
  if (!m_pHost || m_pHost->CanHideToTray()) {
    Show(FALSE);
    return;
  }
  ShowWindow(SW_MINIMIZE);
}

void CGameWnd::OnSkinCommand(const SkinButtonInfo& info) {
  const std::string& name = info.name;
  auto is = [&](const char* n) { return text::EqualsNoCase(name, n); };
  if (is("close")) {
    OnCloseRequest();
  } else if (is("min")) {
    ShowWindow(SW_MINIMIZE);
  } else if (is("pack")) {
    HideToTray();
  } else if (is("home")) {
    OpenInBrowser(ConfigValue("gwUrl"));
  } else if (is("bbs")) {
    OpenInBrowser(ConfigValue("bbsUrl"));
  } else if (is("kf")) {
    OpenInBrowser(ConfigValue("kfUrl"));
  } else if (is("pay")) {
    OpenInBrowser(ConfigValue("paymentUrl"));
  } else if (is("more") || is("lock") || is("server")) {
    // buttons without an action
  } else if (is("refresh")) {
    ReloadGame();
  } else if (is("cache")) {
    ClearCacheAndReload();
  } else if (is("vip") || is("host")) {
    // the "vip" button stops flashing by itself when clicked
  } else if (is("max")) {
    m_bMaximized = TRUE;
    ApplyMaximize();
  } else if (is("restore")) {
    m_bMaximized = FALSE;
    ApplyMaximize();
  }
}

void CGameWnd::ClearCacheAndReload() {
  HWND self = m_hWnd;
  // The clearing finishes later; the window may be gone by then.
  ClearUrlCache(ConfigValue("cache"), [self] {
    if (auto* wnd = dynamic_cast<CGameWnd*>(CWnd::FromHandle(self))) wnd->ReloadGame();
  });
}

void CGameWnd::ReloadGame() {
  if (m_pHost && !m_pHost->GetGameUrl(1).empty()) {
    // The service is asked once more and its second answer is the address.
    std::string url = m_pHost->GetGameUrl(1);
    if (!url.empty()) {
      NavigateTo(url);
      return;
    }
  }
  m_view.Refresh();
}

void CGameWnd::NavigateTo(const std::string& url) { m_view.Navigate(url); }

void CGameWnd::OnCloseRequest() { m_view.Navigate(kGameCloseAddress); }

void CGameWnd::ApplyMaximize() {
  CSkinButton* max = FindButton("max");
  CSkinButton* restore = FindButton("restore");
  if (m_bMaximized) {
    if (max) max->ShowWindow(SW_HIDE);
    if (restore) restore->ShowWindow(SW_SHOW);
    ShowWindow(SW_SHOWMAXIMIZED);
    m_bDraggable = FALSE;
  } else {
    if (max) max->ShowWindow(SW_SHOW);
    if (restore) restore->ShowWindow(SW_HIDE);
    ShowWindow(SW_RESTORE);
    m_bDraggable = TRUE;
  }
}

void CGameWnd::OnMouseMove(int x, int y) {
  RECT c;
  GetClientRect(&c);
  const int border = m_info.border;
  int zone = 0;
  if (x <= c.left + kCornerSize && y <= c.top + kCornerSize) zone = HTTOPLEFT;
  else if (x >= c.right - kCornerSize && y <= c.top + kCornerSize) zone = HTTOPRIGHT;
  else if (x <= c.left + kCornerSize && y >= c.bottom - kCornerSize) zone = HTBOTTOMLEFT;
  else if (x >= c.right - kCornerSize && y >= c.bottom - kCornerSize) zone = HTBOTTOMRIGHT;
  else if (x <= c.left + border) zone = HTLEFT;
  else if (x >= c.right - border) zone = HTRIGHT;
  else if (y <= c.top + border) zone = HTTOP;
  else if (y >= c.bottom - border) zone = HTBOTTOM;
  ::SetCursor(ZoneCursor(zone));
  m_nHitZone = zone;
}

void CGameWnd::OnLButtonDown(int x, int y) {
  if (UINT edge = ZoneEdge(m_nHitZone)) {
    ::SetCursor(ZoneCursor(m_nHitZone));
    SendMessage(WM_SYSCOMMAND, SC_SIZE + edge, MAKELPARAM(x, y));
  } else {
    SendMessage(WM_SYSCOMMAND, SC_DRAGMOVE, 0);
  }
}

BOOL CGameWnd::PreTranslateMessage(MSG* msg) {
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_F5) {
    m_view.Refresh();
    return TRUE;
  }
  return CSkinWnd2::PreTranslateMessage(msg);
}

LRESULT CGameWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      if (CSkinWnd2::WindowProc(message, wParam, lParam) == -1) return -1;
      return OnCreate();
    case WM_SIZE:
      CSkinWnd2::WindowProc(message, wParam, lParam);
      OnSize(LOWORD(static_cast<std::uintptr_t>(lParam)), HIWORD(static_cast<std::uintptr_t>(lParam)));
      return 0;
    case WM_HOTKEY:
      if (wParam == HOTKEY_ID_REFRESH) m_view.Refresh();
      else if (wParam == HOTKEY_ID_HIDE) Show(FALSE);
      return 0;
    case WM_LBUTTONDBLCLK:
      if (GET_Y_LPARAM(lParam) <= m_info.titleHeight) {
        m_bMaximized = !m_bMaximized;
        ApplyMaximize();
      }
      break;
    case WM_MOUSEMOVE:
      OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      break;
    case WM_LBUTTONDOWN:
      OnLButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      break;  // then the base: a second drag in the title band while draggable
    case WM_VIPBUTTON_SETTEXT:
      if (CSkinButton* vip = FindButton("vip"))
        vip->SetText(lParam ? CutChars(reinterpret_cast<const char*>(lParam), kMaxVipTextChars) : std::string());
      return 0;
    case WM_VIPBUTTON_FLASH:
      if (CSkinButton* vip = FindButton("vip")) vip->SetFlash(true);
      return 0;
    default:
      break;
  }
  return CSkinWnd2::WindowProc(message, wParam, lParam);
}
