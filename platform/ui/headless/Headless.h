// The headless backend's test API: a working fake display. Windows keep
// geometry, visibility, focus and z-order; each top-level has an ARGB32
// surface holding what it shows (its last paint, or its layered image);
// input is injected in client coordinates of a top-level; the clock can be
// made manual; message boxes are recorded and answered from a script.
// UI thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/Menu.h"
#include "platform/ui/TrayIcon.h"
#include "platform/ui/Window.h"

struct _cairo_surface;

namespace ui::headless {

// Input, in client coordinates of the top-level window `top`. While a move or
// resize drag runs, coordinates stay relative to where the window was when the
// drag began (the pointer keeps its screen position as the window follows it).
void MouseMove(HWND top, int x, int y);
void MouseDown(HWND top, int x, int y, bool right = false);
void MouseUp(HWND top, int x, int y, bool right = false);
// Move, down and up at one point, pumping in between.
void Click(HWND top, int x, int y);
void MouseLeave(HWND top);
// A key pressed while top has the keyboard (WM_KEYDOWN with a VK_* code);
// true when a window consumed it.
bool KeyDown(HWND top, WPARAM vk);

// What the window shows now (owned by the backend; valid until the next paint).
_cairo_surface* Frame(HWND top);
// The ARGB32 pixel (premultiplied, 0xAARRGGBB) the window shows at (x, y); 0 outside.
std::uint32_t Pixel(HWND top, int x, int y);
bool SavePng(HWND top, const std::string& path);
int PaintCount(HWND top);

// The display.
void SetWorkArea(const RECT& rect);
void SetCursorPos(POINT screen);
Cursor CurrentCursor();
// The keep-above flag a window asked for.
bool IsKeptAbove(HWND top);
// Whether a move or resize drag is under way (started by WM_SYSCOMMAND).
bool DragActive();
// The minimum size the display enforces while the user resizes.
SIZE MinTrackSize(HWND top);
std::string IconOf(HWND top);

// Time: with a manual clock, timers fire only as the test advances it.
void SetManualClock(bool manual);
void AdvanceClock(int ms);  // advances and pumps until idle

// Message boxes.
struct MessageBoxRecord {
  HWND owner;
  std::string text;
  std::string caption;
  UINT type;
};
void QueueMessageBoxAnswer(int answer);  // answers are used in order; none left: IDOK / IDNO / IDCANCEL
const std::vector<MessageBoxRecord>& MessageBoxes();
void ClearMessageBoxes();

// The tip shown now ("" when none).
std::string ShownTip();

// Popup menus (TrackPopupMenu): each is recorded and answered at once from
// the queued answers in order; none left: 0 (dismissed).
struct MenuRecord {
  MenuPopup popup;
  UINT flags;
  POINT at;  // screen
  HWND owner;
};
void QueueMenuAnswer(UINT id);
const std::vector<MenuRecord>& MenusShown();
void ClearMenus();

// The notification area (TrayIcon.h). The display offers one kind of tray
// (StatusNotifier unless a test says otherwise); an icon added shows under
// it. Changing the kind later is a tray host appearing, going or changing:
// every icon up posts NIN_TRAYCHANGED. The calls below that play the user
// post the notifications as the desktop does; pump to deliver them.
void SetTrayKind(TrayKind kind);
// The host went away (kind None) and came back (the kind before it went).
void TrayHostGone();
void TrayHostBack();
// What was added, of the first icon up (added and not deleted); the icon is
// shown while the display offers a tray.
bool TrayIconShown();
std::string TrayTip();
std::string TrayIconBytes();
MenuPopup TrayMenu();
// A left click on the icon; false when no icon shows.
bool TrayLeftClick();
// A right click where the client draws the menu (XEmbed) or the host asks
// the item for its own menu (StatusNotifier); false when no icon shows.
bool TrayRightClick();
// An entry chosen in the host-drawn menu (StatusNotifier only); false, and
// nothing posted, when no such entry is in the icon's menu.
bool TrayChooseMenuItem(UINT id);

}  // namespace ui::headless
