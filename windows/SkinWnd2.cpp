#include "windows/SkinWnd2.h"

#include <cairo.h>

#include <cstdint>
#include <fstream>
#include <iterator>

#include "app/AppShared.h"
#include "platform/gfx/Blit.h"
#include "platform/gfx/Surface.h"
#include "skin/Anchor.h"
#include "skin/SkinDocument.h"

SkinDocument* g_pSkin = nullptr;

namespace {

// Control ids of the framed windows' buttons: a process-wide counter of
// their own, never reused.
UINT NextButtonId() {
  static UINT next = skinwnd::kFirstButtonId;
  return next++;
}

// The logo image the skin names by path; a relative path is taken from the
// executable's folder. Null when it does not name a loadable image file.
std::unique_ptr<CImageEx> LoadLogo(const std::string& path) {
  if (path.empty()) return nullptr;
  std::string full = path[0] == '/' ? path : GetModulePath(false) + "/" + path;
  std::ifstream in(full, std::ios::binary);
  if (!in) return nullptr;
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto image = std::make_unique<CImageEx>();
  if (!image->LoadFromStream(bytes)) return nullptr;
  return image;
}

}  // namespace

CSkinWnd2::CSkinWnd2(const std::string& element) : m_strElement(element) {}

CSkinWnd2::~CSkinWnd2() {
  m_buttons.clear();
  DestroyWindow();
}

BOOL CSkinWnd2::CreateWnd(HWND parent, DWORD exStyle, DWORD style) {
  return CreateEx(exStyle, "TorvaneSkinWnd2", "", style, 0, 0, 0, 0, parent);
}

int CSkinWnd2::OnCreate() {
  m_hIcon = skinwnd::WindowIconBytes();
  skinwnd::SetWindowIcon(m_hWnd, m_hIcon);
  if (!m_tooltip.GetSafeHwnd()) m_tooltip.Create(this, TTS_ALWAYSTIP);
  BuildFromSkin();
  return 0;
}

void CSkinWnd2::BuildFromSkin() {
  SkinDocument* skin = g_pSkin;
  if (!skin) return;
  m_info.name = m_strElement;
  skin->GetWindowInfo(m_info);
  m_nWidth = m_info.width;
  m_nHeight = m_info.height;
  SetWindowText(WindowTitle());
  POINT at = skinwnd::CentreOnWorkArea(m_info.width, m_info.height);
  MoveWindow(at.x, at.y, m_info.width, m_info.height, FALSE);

  skin->GetImages(m_strElement, m_images);
  skin->GetRects(m_strElement, m_rects);
  std::vector<SkinButtonInfo> buttons;
  skin->GetButtons(m_strElement, buttons);
  skinwnd::CreateButtons(this, skin, buttons, &m_tooltip, &NextButtonId, m_buttons);
  skin->GetTexts(m_strElement, m_texts);
}

void CSkinWnd2::OnSize(int cx, int cy) {
  if (cx <= 0 || cy <= 0) {
    m_bMinimized = TRUE;
    return;
  }
  m_nWidth = cx;
  m_nHeight = cy;
  skinwnd::RelayoutButtons(this, m_buttons);
  m_bMinimized = FALSE;
  Invalidate(TRUE);
}

void CSkinWnd2::Show(BOOL show) {
  if (!show) {
    ShowWindow(SW_HIDE);
    return;
  }
  ShowWindow(m_bMinimized ? SW_RESTORE : SW_SHOW);
  BringWindowToTop();
  SetForegroundWindow();
}

void CSkinWnd2::PaintClient(HDC dc) {
  RECT client;
  GetClientRect(&client);
  gfx::FillSolidRect(dc, client, m_info.bgcolor);

  const SIZE clientSize{m_nWidth, m_nHeight};
  for (const SkinImageInfo& record : m_images) {
    if (!record.visible || !record.image || record.image->IsNull()) continue;
    const CImageEx& image = *record.image;
    RECT dst = PlaceFramedImage(record, SIZE{image.GetWidth(), image.GetHeight()}, client, clientSize);
    image.DrawImage(dc, dst);  // nine parts when it has margins and is resized
  }
  for (const auto& button : m_buttons)
    if (button->IsWindowVisible()) button->DrawButton(dc);

  if (m_info.logo != 0 && g_pSkin) {
    float textX = 0;
    if (std::unique_ptr<CImageEx> logo = LoadLogo(g_pSkin->GetLogoPath())) {
      int y = static_cast<int>((m_info.titleHeight - logo->GetHeight()) * 0.5f);
      logo->DrawImage(dc, RECT{3, y, 3 + logo->GetWidth(), y + logo->GetHeight()});
      textX = 3.0f + logo->GetWidth() + 3.0f;
    } else {
      textX = 6.0f;  // a logo that does not load counts as 0 x 0
    }
    SkinFontInfo font;
    font.name = m_info.font;
    if (!m_info.font.empty() && !m_info.title.empty() && g_pSkin->GetFont(font))
      DrawSkinText(dc, m_info.title, m_info.color, font, textX, 0, static_cast<float>(m_nWidth),
                   static_cast<float>(m_info.titleHeight));
  }

  for (const SkinTextInfo& text : m_texts) {
    if (text.title.empty() || text.font.empty() || !g_pSkin) continue;
    SkinFontInfo font;
    font.name = text.font;
    if (!g_pSkin->GetFont(font)) continue;
    RECT box = PlaceText(text, client);
    DrawSkinText(dc, text.title, text.color, font, static_cast<float>(box.left), static_cast<float>(box.top),
                 static_cast<float>(box.Width()), static_cast<float>(box.Height()));
  }
}

void CSkinWnd2::OnPaint() {
  PAINTSTRUCT ps;
  HDC target = BeginPaint(m_hWnd, &ps);
  RECT client;
  GetClientRect(&client);
  gfx::Surface buffer = gfx::Surface::Create(client.Width(), client.Height(), gfx::PixelFormat::Argb32);
  if (!buffer.empty()) {
    {
      gfx::Canvas canvas(buffer);
      PaintClient(canvas.dc());
    }
    if (target) {
      // The back buffer replaces what the window showed, in one copy.
      cairo_save(target);
      cairo_set_operator(target, CAIRO_OPERATOR_SOURCE);
      cairo_set_source_surface(target, buffer.cairoSurface(), 0, 0);
      cairo_rectangle(target, 0, 0, client.Width(), client.Height());
      cairo_fill(target);
      cairo_restore(target);
    }
  }
  EndPaint(m_hWnd, &ps);
}

void CSkinWnd2::DrawSkinText(HDC dc, const std::string& text, COLORREF color, const SkinFontInfo& font, float x,
                             float y, float w, float h) {
  skinwnd::DrawSkinTextLine(dc, text, color, font, x, y, w, h);
}

std::string CSkinWnd2::WindowTitle() const { return GetClientTitle(); }

void CSkinWnd2::OnSkinCommand(const SkinButtonInfo&) {}

void CSkinWnd2::OnCloseRequest() {
  if (CSkinButton* close = FindButton("close")) close->PostMessage(BM_CLICK, 0, 0);
}

BOOL CSkinWnd2::PreTranslateMessage(MSG* msg) {
  if (m_tooltip.GetSafeHwnd()) m_tooltip.RelayEvent(msg);
  return CWnd::PreTranslateMessage(msg);
}

LRESULT CSkinWnd2::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      if (CWnd::WindowProc(message, wParam, lParam) == -1) return -1;
      return OnCreate();
    case WM_SIZE:
      CWnd::WindowProc(message, wParam, lParam);
      OnSize(LOWORD(static_cast<std::uintptr_t>(lParam)), HIWORD(static_cast<std::uintptr_t>(lParam)));
      return 0;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_ERASEBKGND:
      return TRUE;
    case WM_COMMAND:
      if (CSkinButton* button = skinwnd::ButtonForCommand(m_buttons, wParam, lParam)) {
        SkinButtonInfo info = button->info;
        OnSkinCommand(info);
        return 0;
      }
      break;
    case WM_LBUTTONDOWN:
      if (m_bDraggable && GET_Y_LPARAM(lParam) <= m_info.titleHeight) SendMessage(WM_SYSCOMMAND, SC_DRAGMOVE, 0);
      break;
    case WM_GETMINMAXINFO:
      if (lParam) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        skinwnd::FillMaxInfo(info);
        info->ptMinTrackSize = POINT{m_info.width, m_info.height};
      }
      break;
    case WM_CLOSE:
      OnCloseRequest();
      return 0;  // never destroyed here
    default:
      break;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}
