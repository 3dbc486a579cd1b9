// Menus: a menu resource compiled into the executable (CMenu) and a popup
// menu shown at a screen point until the user chooses an entry or dismisses
// it (TrackPopupMenu).
//
// A menu resource is text, one line each:
//   POPUP<TAB>name          starts the next popup
//   ITEM<TAB>id<TAB>text    an entry of the current popup; id 1 to 65535
//   SEPARATOR               a separator of the current popup
// Blank lines and lines starting with '#' are ignored; "\r\n" line ends are
// accepted. Texts are UTF-8.
//
// UI thread only.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/Types.h"

struct MenuItem {
  UINT id = 0;
  std::string text;
  bool separator = false;
  bool operator==(const MenuItem&) const = default;
};

struct MenuPopup {
  std::string name;
  std::vector<MenuItem> items;

  // Whether an entry (not a separator) carries command id.
  bool HasCommand(UINT id) const;
  // Whether the popup has an entry the user could choose.
  bool HasCommands() const;
  bool operator==(const MenuPopup&) const = default;
};

class CMenu {
 public:
  // Parses menu resource resourceId (type "MENU"). FALSE, with the reason on
  // stderr and the menu left empty, for a missing or malformed resource:
  // an unknown line, an entry before the first popup, an id that is not a
  // number from 1 to 65535, an entry without text, text that is not UTF-8,
  // or a resource without a popup.
  BOOL LoadMenu(int resourceId);
  // Parses menu text directly (the resource's bytes); the same rules.
  BOOL LoadMenuText(const std::string& text);
  void DestroyMenu() { m_popups.clear(); }

  // Popup index (0 the first), or null when there is none.
  const MenuPopup* GetSubMenu(int index) const;
  // The number of popups.
  int GetMenuItemCount() const { return static_cast<int>(m_popups.size()); }

 private:
  std::vector<MenuPopup> m_popups;
};

// TrackPopupMenu flags.
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_RETURNCMD = 0x0100;

// Shows popup at the screen point (x, y) and runs until the user chooses an
// entry or dismisses the menu (a click elsewhere, Escape). While it runs the
// client's posted messages and timers keep running.
// With TPM_RETURNCMD: returns the chosen command id, 0 for none. Without it:
// posts WM_COMMAND (id, 0) to owner for a choice and returns TRUE, or FALSE
// for none. Only one menu is open at a time: a call while another menu runs
// returns 0 at once, as does a popup without entries or a call without a
// display. An answer that is not one of the popup's commands counts as none.
UINT TrackPopupMenu(const MenuPopup& popup, UINT flags, int x, int y, HWND owner);

// Closes the popup menu that TrackPopupMenu runs now, as if dismissed (it
// returns 0, or FALSE). FALSE when no menu is open.
BOOL EndMenu();
