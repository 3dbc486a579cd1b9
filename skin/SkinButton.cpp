#include "skin/SkinButton.h"

#include "skin/Anchor.h"
#include "skin/SkinDocument.h"

CSkinButton::CSkinButton() = default;

CSkinButton::~CSkinButton() {
  if (m_bFlashing) KillTimer(kFlashTimer);
  FreeImages();
}

SkinDocument* CSkinButton::Skin() const { return m_pSkin ? m_pSkin : GetSkinDocument(); }

std::shared_ptr<CImageEx> CSkinButton::Load(int id) const {
  std::shared_ptr<CImageEx> image = Skin()->LoadImage(id);
  // A missing or undecodable resource leaves the image empty, not missing.
  return image ? image : std::make_shared<CImageEx>();
}

BOOL CSkinButton::Create(CWnd* parent, UINT id) {
  if (!parent) return FALSE;
  // The owner-draw style: the platform neither paints nor erases the button.
  return CreateEx(0, "Button", "", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0, 0, 0, parent->m_hWnd, id);
}

BOOL CSkinButton::Setup(const SkinButtonInfo& record, CToolTipCtrl* tooltip) {
  LoadImages(record.stand, ImageSetId(record.stand, 1), ImageSetId(record.stand, 2));
  m_iconImage = Load(record.icon);
  m_badgeImage = Load(record.icon1);

  RECT client;
  ::GetClientRect(GetParent(), &client);
  RECT now = GetRectInParent();
  POINT at = AnchorButton(record, SIZE{now.Width(), now.Height()}, client);
  SetWindowPos(nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(SW_SHOW);

  info = record;

  // The whole client area is the tool, so a hover image of another size is
  // covered too.
  if (tooltip && tooltip->GetSafeHwnd() && !info.tip.empty())
    tooltip->AddTool(this, info.tip, nullptr, static_cast<UINT>(GetDlgCtrlID()));

  m_format = gfx::TextFormat{};
  m_format.trimming = gfx::Trimming::Clip;
  switch (info.style) {
    case 0: m_format.align = gfx::HAlign::Near; break;
    case 1:
    case 3: m_format.align = gfx::HAlign::Center; break;
    case 2: m_format.align = gfx::HAlign::Far; break;
    case 4:
      m_format.align = gfx::HAlign::Center;
      m_format.lineAlign = gfx::VAlign::Bottom;
      break;
    default: break;  // near, vertically centred
  }
  return TRUE;
}

void CSkinButton::FreeImages() {
  for (auto& image : m_images) image.reset();
  m_pCurrentImage = nullptr;
}

bool CSkinButton::LoadImages(int normal, int hover, int pressed) {
  FreeImages();
  if (normal == 0) return false;
  m_images[0] = Load(normal);
  m_nCurrentBaseId = normal;
  if (hover != 0) m_images[1] = Load(hover);
  if (pressed != 0) m_images[2] = Load(pressed);

  if (m_images[0]->GetWidth() > 0) {
    m_setSize = SIZE{m_images[0]->GetWidth(), m_images[0]->GetHeight()};
  } else if (m_images[1] && m_images[1]->GetWidth() > 0) {
    m_setSize = SIZE{m_images[1]->GetWidth(), m_images[1]->GetHeight()};
  } else {
    m_setSize = kFallbackSize;
  }
  SetWindowPos(nullptr, 0, 0, m_setSize.cx, m_setSize.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
  m_pCurrentImage = m_images[0].get();
  return true;
}

void CSkinButton::SetImage(int base) {
  FreeImages();
  if (base != 0) LoadImages(base, ImageSetId(base, 1), ImageSetId(base, 2));
  m_nCurrentBaseId = base;
  m_pCurrentImage = m_images[0].get();
  InvalidateOwner();
}

SIZE CSkinButton::SizeFor(const CImageEx* image) const {
  if (image && image->GetWidth() > 0) return SIZE{image->GetWidth(), image->GetHeight()};
  // An empty normal image keeps the size the set was given, so the button
  // stays where the mouse can reach it.
  return m_setSize;
}

int CSkinButton::CurrentImageIndex() const {
  for (int i = 0; i < 3; ++i)
    if (m_pCurrentImage && m_images[i].get() == m_pCurrentImage) return i;
  return -1;
}

void CSkinButton::UpdateState() {
  const CImageEx* before = m_pCurrentImage;
  if (info.check == 0) {
    CImageEx* candidate = m_bHover && m_bPressed ? m_images[2].get() : m_bHover ? m_images[1].get() : m_images[0].get();
    if (!candidate || candidate->GetWidth() <= 0) candidate = m_images[0].get();
    m_pCurrentImage = candidate;
  }
  // The title's colour follows hover and checked; a toggle shows them only
  // that way, so a change repaints even when the image stays.
  const bool hot = m_bHover || m_bChecked;
  const bool recolour = hot != m_bDrawnHot && !info.title.empty();
  m_bDrawnHot = hot;
  if (m_pCurrentImage == before) {
    if (recolour) InvalidateOwner();
    return;
  }
  // The top-left corner stays; the size follows the image.
  SIZE size = SizeFor(m_pCurrentImage);
  SetWindowPos(nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateOwner();
}

void CSkinButton::Relayout(const RECT& client) {
  RECT now = GetRectInParent();
  POINT at = AnchorButton(info, SIZE{now.Width(), now.Height()}, client);
  SetWindowPos(nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CSkinButton::SetText(const std::string& text) {
  info.title = text;
  InvalidateOwner();
}

void CSkinButton::SetFlash(bool on) {
  if (on) {
    if (m_bFlashing) return;
    m_bFlashing = true;
    KillTimer(kFlashTimer);
    SetTimer(kFlashTimer, kFlashPeriodMs);
    return;
  }
  m_bFlashing = false;
  KillTimer(kFlashTimer);
  SetImage(info.stand);
}

void CSkinButton::OnBlink() {
  // No skin attribute sets flashStand, so a blinking button alternates
  // between its normal set and no state image at all.
  if (m_nCurrentBaseId == info.flashStand) SetImage(info.stand);
  else SetImage(info.flashStand);
}

void CSkinButton::OnRelease(POINT p) {
  m_bPressed = false;
  RECT client;
  GetClientRect(&client);
  if (client.Contains(p)) {
    m_bChecked = info.check != 0 ? !m_bChecked : false;
  } else {
    m_bHover = false;
  }
  if (m_bFlashing) SetFlash(false);
  UpdateState();
}

RECT CSkinButton::GetRectInParent() const {
  RECT mine, parent;
  if (!::GetWindowRect(m_hWnd, &mine)) return RECT{};
  ::GetWindowRect(::GetParent(m_hWnd), &parent);
  return RECT{mine.left - parent.left, mine.top - parent.top, mine.right - parent.left, mine.bottom - parent.top};
}

void CSkinButton::InvalidateOwner() {
  RECT r = GetRectInParent();
  ::InvalidateRect(GetParent(), &r, TRUE);
}

void CSkinButton::DrawButton(HDC dc) {
  if (!m_pCurrentImage || !m_hWnd || !dc) return;
  RECT r = GetRectInParent();
  // The title's box is the button's own rectangle.
  double tx = r.left, ty = r.top, tw = r.Width(), th = r.Height();
  const CImageEx& image = *m_pCurrentImage;
  if (r.Width() < image.GetWidth() || r.Height() < image.GetHeight()) {
    r.right = r.left + image.GetWidth();
    r.bottom = r.top + image.GetHeight();
  }
  image.DrawImage(dc, r);

  SkinFontInfo font;
  bool haveFont = false;
  if (!info.font.empty()) {
    font.name = info.font;
    haveFont = Skin()->GetFont(font);
  }
  const gfx::FontSpec spec{font.family, font.size, font.style};
  const COLORREF color = m_bHover || m_bChecked ? info.hotcolor : info.color;
  const bool title = !info.title.empty() && haveFont;
  auto drawTitle = [&] {
    if (title) gfx::DrawTextLine(dc, info.title, spec, color, tx, ty, tw, th, m_format);
  };

  const bool hasIcon = m_iconImage && !m_iconImage->IsNull();
  const int iw = hasIcon ? m_iconImage->GetWidth() : 0, ih = hasIcon ? m_iconImage->GetHeight() : 0;
  const bool tooLarge = hasIcon && iw > r.Width() && ih > r.Height();
  const RECT inset{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  const int centredY = r.top + (r.Height() - ih) / 2;
  RECT icon{};
  switch (info.style) {
    case 0:
      if (hasIcon) {
        if (tooLarge) {
          icon = inset;
        } else {
          int x = !info.title.empty() ? r.left + 5 : r.left + (r.Width() - iw) / 2;
          icon = RECT{x, centredY, x + iw, centredY + ih};
        }
        m_iconImage->DrawImage(dc, icon);
        tx = icon.right + 1;
      }
      ty += 2;
      drawTitle();
      break;
    case 1:
      if (hasIcon) {
        int x = r.left + (r.Width() - iw) / 2;
        icon = RECT{x, r.top + 5, x + iw, r.top + 5 + ih};
        m_iconImage->DrawImage(dc, icon);
        ty += ih;
        th -= ih;
      }
      ty += 2;
      drawTitle();
      break;
    case 2:
      if (hasIcon) {
        icon = tooLarge ? inset : RECT{r.right - iw, centredY, r.right, centredY + ih};
        m_iconImage->DrawImage(dc, icon);
        tw = static_cast<double>(icon.left) - r.left - 5;
      }
      ty += 3;
      drawTitle();
      break;
    case 3: {
      drawTitle();
      if (hasIcon) {
        int titleWidth = title ? static_cast<int>(gfx::MeasureTextWidth(dc, info.title, spec)) : 0;
        int x = r.left + r.Width() / 2 + titleWidth / 2;
        icon = tooLarge ? inset : RECT{x, centredY, x + iw, centredY + ih};
        m_iconImage->DrawImage(dc, icon);
      }
      break;
    }
    case 4:
      drawTitle();
      break;
    default:
      break;  // neither icon nor title
  }

  if (m_badgeImage && !m_badgeImage->IsNull()) {
    int bw = m_badgeImage->GetWidth(), bh = m_badgeImage->GetHeight();
    m_badgeImage->DrawImage(
        dc, RECT{r.left + kBadgeCorner - bw, r.top + kBadgeCorner - bh, r.left + kBadgeCorner, r.top + kBadgeCorner});
  }
}

LRESULT CSkinButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      return 0;  // the owner's composition draws the button
    case WM_ERASEBKGND:
      return TRUE;
    case WM_MOUSEMOVE:
      if (!m_bTracking) {
        TRACKMOUSEEVENT tme;
        tme.dwFlags = TME_HOVER | TME_LEAVE;
        tme.hwndTrack = m_hWnd;
        tme.dwHoverTime = 1;
        m_bTracking = ::TrackMouseEvent(&tme) != FALSE;
      }
      break;
    case WM_MOUSEHOVER:
      m_bHover = true;
      UpdateState();
      return 0;
    case WM_MOUSELEAVE:
      m_bPressed = false;
      m_bHover = false;
      m_bTracking = false;
      UpdateState();
      return 0;
    case WM_LBUTTONDOWN:
      m_bPressed = true;
      UpdateState();
      break;  // the platform button captures the mouse
    case WM_LBUTTONUP:
      OnRelease(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      break;  // the platform button sends the click
    case WM_SETCURSOR:
      ::SetCursor(handCursor ? Cursor::Hand : Cursor::Arrow);
      return TRUE;
    case WM_TIMER:
      if (wParam == kFlashTimer) OnBlink();
      break;
    default:
      break;
  }
  return CButton::WindowProc(message, wParam, lParam);
}
