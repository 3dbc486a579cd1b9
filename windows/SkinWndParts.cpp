#include "windows/SkinWndParts.h"

#include "platform/base/Resources.h"
#include "platform/base/Text.h"
#include "platform/gfx/TextDraw.h"

namespace skinwnd {

CSkinButton* FindButton(const ButtonList& buttons, const std::string& name) {
  for (const auto& button : buttons)
    if (text::EqualsNoCase(button->info.name, name)) return button.get();
  return nullptr;
}

bool FindRect(const std::vector<SkinRectInfo>& rects, const std::string& name, SkinRectInfo& out) {
  for (const SkinRectInfo& r : rects)
    if (text::EqualsNoCase(r.name, name)) {
      out = r;
      return true;
    }
  return false;
}

CSkinButton* ButtonForCommand(const ButtonList& buttons, WPARAM wParam, LPARAM lParam) {
  const UINT id = LOWORD(wParam);
  if (HIWORD(wParam) != BN_CLICKED || id < kFirstButtonId || id > kLastRoutedId) return nullptr;
  HWND sender = reinterpret_cast<HWND>(lParam);
  for (const auto& button : buttons) {
    if (static_cast<UINT>(button->GetDlgCtrlID()) != id) continue;
    if (sender && button->m_hWnd != sender) continue;
    return button.get();
  }
  return nullptr;
}

void SetImageVisible(std::vector<SkinImageInfo>& images, const std::string& name, bool visible) {
  for (SkinImageInfo& image : images)
    if (text::EqualsNoCase(image.name, name)) image.visible = visible ? 1 : 0;
}

void DrawSkinTextLine(HDC dc, const std::string& text, COLORREF color, const SkinFontInfo& font, float x, float y,
                      float w, float h) {
  gfx::TextFormat format;
  format.align = gfx::HAlign::Near;
  format.lineAlign = gfx::VAlign::Center;
  format.trimming = gfx::Trimming::Ellipsis;
  gfx::DrawTextLine(dc, text, gfx::FontSpec{font.family, font.size, font.style}, color & 0xFFFFFF, x, y, w, h, format);
}

POINT CentreOnWorkArea(int width, int height) {
  RECT work;
  GetWorkArea(&work);
  return POINT{work.left + (work.right - work.left - width) / 2, work.top + (work.bottom - work.top - height) / 2};
}

std::string WindowIconBytes() {
  auto bytes = res::Find("ICON", 128);
  if (!bytes) return std::string();
  return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

void SetWindowIcon(HWND hwnd, const std::string& png) {
  if (png.empty()) return;
  SendMessage(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(&png));
  SendMessage(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(&png));
}

void FillMaxInfo(MINMAXINFO* info) {
  RECT work;
  GetWorkArea(&work);
  info->ptMaxSize = POINT{work.Width(), work.Height()};
  info->ptMaxTrackSize = POINT{work.Width(), work.Height()};
  info->ptMaxPosition = POINT{work.left, work.top};
}

void CreateButtons(CWnd* owner, SkinDocument* skin, const std::vector<SkinButtonInfo>& records,
                   CToolTipCtrl* tooltip, UINT (*nextId)(), ButtonList& buttons) {
  for (const SkinButtonInfo& record : records) {
    auto button = std::make_unique<CSkinButton>();
    button->SetSkin(skin);
    if (!button->Create(owner, nextId())) continue;
    button->Setup(record, tooltip);
    buttons.push_back(std::move(button));
  }
}

void RelayoutButtons(CWnd* owner, const ButtonList& buttons) {
  RECT client;
  owner->GetClientRect(&client);
  for (const auto& button : buttons) button->Relayout(client);
}

}  // namespace skinwnd
