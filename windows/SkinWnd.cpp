#include "windows/SkinWnd.h"

#include "platform/gfx/Surface.h"
#include "skin/Anchor.h"
#include "skin/SkinDocument.h"

namespace {

// Control ids of the layered windows' buttons: one process-wide counter,
// never reused.
UINT NextButtonId() {
  static UINT next = skinwnd::kFirstButtonId;
  return next++;
}

}  // namespace

CSkinWnd::CSkinWnd(const std::string& element) : CSkinWndBase(element, "TorvaneSkinWnd", &NextButtonId) {}

// The main frame's skin while it exists; the process-wide one otherwise.
SkinDocument* CSkinWnd::Skin() const { return g_pSkin ? g_pSkin : GetSkinDocument(); }

void CSkinWnd::BuildFromSkin() {
  CSkinWndBase::BuildFromSkin();
  // The records' images are what a render would decode: they seed the cache.
  for (const SkinImageInfo& image : m_images)
    if (image.image) m_imageCache.emplace(PngResourceId(image.stand), image.image);
}

void CSkinWnd::Show(BOOL show) {
  CSkinWndBase::Show(show);
  if (show) RenderLayered();
}

const CImageEx* CSkinWnd::CachedImage(int stand) {
  const int id = PngResourceId(stand);
  auto it = m_imageCache.find(id);
  if (it == m_imageCache.end()) it = m_imageCache.emplace(id, Skin() ? Skin()->LoadImage(stand) : nullptr).first;
  const CImageEx* image = it->second.get();
  return image && !image->IsNull() ? image : nullptr;
}

void CSkinWnd::RenderLayered() {
  PAINTSTRUCT ps;
  BeginPaint(m_hWnd, &ps);
  RECT client;
  GetClientRect(&client);
  // No background: what the images leave uncovered stays transparent.
  gfx::Surface buffer = gfx::Surface::Create(client.Width(), client.Height(), gfx::PixelFormat::Argb32);
  if (buffer.empty()) {
    EndPaint(m_hWnd, &ps);
    return;
  }
  {
    gfx::Canvas canvas(buffer);
    HDC dc = canvas.dc();
    for (const SkinImageInfo& record : m_images) {
      if (!record.visible) continue;
      const CImageEx* image = CachedImage(record.stand);
      if (!image) continue;
      RECT dst = PlaceLayeredImage(record, SIZE{image->GetWidth(), image->GetHeight()}, client);
      image->DrawWhole(dc, dst);  // no stretch modes, no margins here
    }
    for (const auto& button : m_buttons)
      if (button->IsWindowVisible()) button->DrawButton(dc);
    SkinDocument* skin = Skin();
    for (const SkinTextInfo& text : m_texts) {
      if (text.title.empty() || text.font.empty() || !skin) continue;
      SkinFontInfo font;
      font.name = text.font;
      if (!skin->GetFont(font)) continue;
      RECT box = PlaceText(text, client);
      DrawSkinText(dc, text.title, text.color, font, static_cast<float>(box.left), static_cast<float>(box.top),
                   static_cast<float>(box.Width()), static_cast<float>(box.Height()));
    }
  }
  RECT window;
  GetWindowRect(&window);
  POINT dst{window.left, window.top};
  SIZE size{m_nWidth, m_nHeight};
  POINT src{0, 0};
  ::UpdateLayeredWindow(m_hWnd, &dst, &size, buffer.cairoSurface(), &src, ULW_ALPHA);
  // Every render also shows the window and takes it out of the topmost band.
  SetWindowPos(HWND_NOTOPMOST, dst.x, dst.y, m_nWidth, m_nHeight, SWP_SHOWWINDOW);
  EndPaint(m_hWnd, &ps);
}

LRESULT CSkinWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      // The window is created without the layered style; this turns it on
      // before the skin is read.
      ::SetWindowLong(m_hWnd, GWL_EXSTYLE, ::GetWindowLong(m_hWnd, GWL_EXSTYLE) | static_cast<LONG>(WS_EX_LAYERED));
      return CSkinWndBase::WindowProc(message, wParam, lParam);
    case WM_PAINT:
      if (IsWindowVisible()) RenderLayered();
      else ValidateRect(m_hWnd, nullptr);  // a hidden window draws nothing
      return 0;
    case WM_LBUTTONDOWN:
      // Only presses on the window's own surface arrive here; buttons take theirs.
      SendMessage(WM_SYSCOMMAND, SC_DRAGMOVE, 0);
      break;
    case WM_CLOSE:
      if (CSkinButton* close = FindButton("close")) close->PostMessage(BM_CLICK, 0, 0);
      return 0;  // never destroyed here
    default:
      break;
  }
  return CSkinWndBase::WindowProc(message, wParam, lParam);
}
