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

CSkinWnd2::CSkinWnd2(const std::string& element) : CSkinWndBase(element, "TorvaneSkinWnd2", &NextButtonId) {}

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

std::string CSkinWnd2::WindowTitle() const { return GetClientTitle(); }

void CSkinWnd2::OnSkinCommand(const SkinButtonInfo&) {}

void CSkinWnd2::OnCloseRequest() {
  if (CSkinButton* close = FindButton("close")) close->PostMessage(BM_CLICK, 0, 0);
}

LRESULT CSkinWnd2::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_LBUTTONDOWN:
      if (m_bDraggable && GET_Y_LPARAM(lParam) <= m_info.titleHeight) SendMessage(WM_SYSCOMMAND, SC_DRAGMOVE, 0);
      break;
    case WM_GETMINMAXINFO: {
      // The work area as the base gives it, and no smaller than the design size.
      LRESULT r = CSkinWndBase::WindowProc(message, wParam, lParam);
      if (lParam) reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{m_info.width, m_info.height};
      return r;
    }
    case WM_CLOSE:
      OnCloseRequest();
      return 0;  // never destroyed here
    default:
      break;
  }
  return CSkinWndBase::WindowProc(message, wParam, lParam);
}
