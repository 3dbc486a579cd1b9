#include "platform/ui/Menu.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "platform/base/Resources.h"
#include "platform/base/Text.h"
#include "platform/ui/Backend.h"
#include "platform/ui/Window.h"

bool MenuPopup::HasCommand(UINT id) const {
  return id != 0 &&
         std::any_of(items.begin(), items.end(), [id](const MenuItem& i) { return !i.separator && i.id == id; });
}

bool MenuPopup::HasCommands() const {
  return std::any_of(items.begin(), items.end(), [](const MenuItem& i) { return !i.separator; });
}

namespace {

// The fields of a line split at tabs.
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> out;
  while (true) {
    std::size_t tab = line.find('\t');
    out.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return out;
    line.remove_prefix(tab + 1);
  }
}

// A command id: 1 to 65535, decimal digits only.
bool ParseId(std::string_view s, UINT* id) {
  if (s.empty() || s.size() > 5) return false;
  UINT v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<UINT>(c - '0');
  }
  if (v == 0 || v > 0xFFFF) return false;
  *id = v;
  return true;
}

}  // namespace

BOOL CMenu::LoadMenu(int resourceId) {
  m_popups.clear();
  auto bytes = res::Find("MENU", resourceId);
  if (!bytes) {
    std::fprintf(stderr, "torvane: menu resource %d does not exist\n", resourceId);
    return FALSE;
  }
  std::string text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  if (!LoadMenuText(text)) {
    std::fprintf(stderr, "torvane: menu resource %d is not a menu\n", resourceId);
    return FALSE;
  }
  return TRUE;
}

BOOL CMenu::LoadMenuText(const std::string& text) {
  m_popups.clear();
  std::vector<MenuPopup> popups;
  std::string_view rest = text;
  int lineNo = 0;
  auto fail = [&](const char* why) {
    std::fprintf(stderr, "torvane: menu line %d: %s\n", lineNo, why);
    return FALSE;
  };
  if (!text::IsValidUtf8(text)) return fail("not UTF-8");
  while (!rest.empty()) {
    ++lineNo;
    std::size_t eol = rest.find('\n');
    std::string_view line = rest.substr(0, eol);
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos || line.front() == '#') continue;
    std::vector<std::string_view> f = Fields(line);
    if (f[0] == "POPUP") {
      if (f.size() != 2 || f[1].empty()) return fail("POPUP needs a name");
      popups.push_back(MenuPopup{std::string(f[1]), {}});
    } else if (f[0] == "ITEM") {
      if (popups.empty()) return fail("an entry before the first POPUP");
      MenuItem item;
      if (f.size() != 3 || !ParseId(f[1], &item.id)) return fail("ITEM needs an id from 1 to 65535 and a text");
      if (f[2].empty() || f[2].find('\0') != std::string_view::npos) return fail("ITEM needs a text");
      item.text = std::string(f[2]);
      popups.back().items.push_back(std::move(item));
    } else if (f[0] == "SEPARATOR") {
      if (popups.empty()) return fail("a separator before the first POPUP");
      if (f.size() != 1) return fail("SEPARATOR takes nothing");
      popups.back().items.push_back(MenuItem{0, {}, true});
    } else {
      return fail("unknown line");
    }
  }
  if (popups.empty()) {
    lineNo = 0;
    return fail("no POPUP");
  }
  m_popups = std::move(popups);
  return TRUE;
}

const MenuPopup* CMenu::GetSubMenu(int index) const {
  if (index < 0 || index >= GetMenuItemCount()) return nullptr;
  return &m_popups[static_cast<std::size_t>(index)];
}

UINT TrackPopupMenu(const MenuPopup& popup, UINT flags, int x, int y, HWND owner) {
  ui::TrayState* tray = ui::CurrentTray();
  if (!tray || tray->menuOpen || !popup.HasCommands()) return 0;
  // The popup is copied: the caller's may change while the menu runs.
  const MenuPopup shown = popup;
  tray->menuOpen = true;
  UINT id = tray->backend->TrackPopup(shown, flags, x, y, owner);
  if (ui::TrayState* still = ui::CurrentTray(); still == tray) tray->menuOpen = false;
  if (!shown.HasCommand(id)) id = 0;
  if (flags & TPM_RETURNCMD) return id;
  if (id == 0) return FALSE;
  ::PostMessage(owner, WM_COMMAND, id, 0);
  return TRUE;
}

BOOL EndMenu() {
  ui::TrayState* tray = ui::CurrentTray();
  if (!tray || !tray->menuOpen) return FALSE;
  tray->backend->EndMenu();
  return TRUE;
}
