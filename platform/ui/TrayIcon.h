// The client's icon in the desktop's notification area.
//
// On the gtk backend the icon is shown, in this order of preference, as
//   - a StatusNotifierItem on the session bus, registered with the
//     org.kde.StatusNotifierWatcher, its menu exported as com.canonical.dbusmenu
//     (a panel draws the icon and, on a right click, that menu itself);
//   - an XEmbed tray icon where no watcher runs but a tray manager owns
//     _NET_SYSTEM_TRAY_S<n> (the client draws its menu itself);
//   - nothing, where the desktop has neither.
// The icon follows the desktop: a watcher that appears or goes away, a tray
// manager that embeds or drops the icon, each switch the icon's way of being
// shown and tell the owner (NIN_TRAYCHANGED below). The headless backend
// keeps the record and lets tests play the desktop (headless/Headless.h).
//
// Notifications reach the owner window hWnd, always posted, never sent:
//   - a left click on the icon: uCallbackMessage, wParam uID, lParam WM_LBUTTONDOWN;
//   - a right click where the client draws the menu itself (an XEmbed icon,
//     or a panel that asks the item to show its own menu):
//     uCallbackMessage, wParam uID, lParam WM_RBUTTONDOWN;
//   - an entry chosen in a menu the panel drew from `menu`:
//     WM_COMMAND, wParam the entry's id, lParam 0;
//   - the way the icon is shown changed after NIM_ADD (see CurrentTrayKind):
//     uCallbackMessage, wParam uID, lParam NIN_TRAYCHANGED. On gtk a tray
//     that goes away is reported once it stayed away for 1.5 s, so a panel
//     restarting or a watcher handing over to the XEmbed tray is one change
//     or none, not a moment without a tray.
// Mouse notifications need NIF_MESSAGE (a callback message).
//
// UI thread only.
#pragma once

#include <string>

#include "platform/ui/Menu.h"
#include "platform/ui/Types.h"

struct NOTIFYICONDATA {
  DWORD cbSize = 956;
  HWND hWnd = nullptr;
  UINT uID = 0;
  UINT uFlags = 0;
  UINT uCallbackMessage = 0;
  std::string hIcon;  // PNG bytes (icon resource 128)
  std::string szTip;  // UTF-8; at most 127 characters are shown
  // The entries a panel that draws the menu itself offers.
  MenuPopup menu;
};

// Shell_NotifyIcon messages.
constexpr DWORD NIM_ADD = 0;
constexpr DWORD NIM_MODIFY = 1;
constexpr DWORD NIM_DELETE = 2;

// Which members of the record count (NIM_ADD, NIM_MODIFY).
constexpr UINT NIF_MESSAGE = 0x1;
constexpr UINT NIF_ICON = 0x2;
constexpr UINT NIF_TIP = 0x4;

// lParam of the callback message when the way the icon is shown changed (a
// tray host appeared, went away or is of another kind now). It is no mouse
// message (those lie from 0x0200 to 0x020E) and no other notification.
constexpr LPARAM NIN_TRAYCHANGED = 0x0500;

// The longest tip, in characters (Unicode code points); a longer one is cut
// there, never inside a character.
constexpr int kTrayTipMaxChars = 127;

// NIM_ADD: puts the icon (hWnd, uID) up. FALSE for a null record, an owner
//   that is no window, an icon that is already up, or no display. Where the
//   desktop shows no tray at all the icon is still added (TRUE): it appears
//   when a tray does, with NIN_TRAYCHANGED.
// NIM_MODIFY: changes what uFlags names of the icon (hWnd, uID): NIF_ICON the
//   icon, NIF_TIP the tip, NIF_MESSAGE the callback message; a non-empty menu
//   replaces the menu. FALSE when that icon is not up.
// NIM_DELETE: takes the icon (hWnd, uID) down; FALSE, and nothing else, when
//   it is not up.
// The tip is cut to kTrayTipMaxChars characters (also at an embedded NUL);
// bytes that are not UTF-8 become U+FFFD.
BOOL Shell_NotifyIcon(DWORD message, NOTIFYICONDATA* data);

enum class TrayKind { None, StatusNotifier, XEmbed };

// What shows the client's icon right now: None before NIM_ADD, after
// NIM_DELETE, and while the desktop has no tray (or the tray has not taken
// the icon yet).
TrayKind CurrentTrayKind();

// "none", "status-notifier" or "xembed", for messages and tests.
const char* TrayKindName(TrayKind kind);
