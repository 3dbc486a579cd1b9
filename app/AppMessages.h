// The client's own window messages (WM_USER based), with the numbers every
// window of the client agrees on.
//
// Threads: constants. Only the ones marked "posted" may cross threads.
#pragma once

#include "platform/ui/Messages.h"

// The tray icon's notifications to the main frame (wParam the icon id 200,
// lParam the mouse message).
constexpr UINT WM_TRAYICON_NOTIFY = WM_USER + 0x64;  // 0x464
// Posted by the download worker to the main frame (wParam 0, lParam the request id).
constexpr UINT WM_VERSIONINFO_LOADED = WM_USER + 0x66;  // 0x466
constexpr UINT WM_UPDATE_LOADED = WM_USER + 0x68;       // 0x468
// Sent by every browser view to its parent on a title change: wParam 0, lParam
// a const char* to the UTF-8 title, valid only during the call.
constexpr UINT WM_BROWSER_TITLE = WM_USER + 0x69;  // 0x469
// Sent by a browser view to the active game window when its page calls
// getGsName: wParam 0, lParam a const char* to the UTF-8 text (valid only
// during the call), or 0 for an empty text.
constexpr UINT WM_VIPBUTTON_SETTEXT = WM_USER + 0x6A;  // 0x46A
// Sent by a browser view to the active game window when its page calls
// getNewMsg: wParam 0, lParam 0.
constexpr UINT WM_VIPBUTTON_FLASH = WM_USER + 0x6B;  // 0x46B
// Posted by the game window's browser view to the main frame when the closed
// game page's document is complete: wParam 0, lParam 0.
constexpr UINT WM_RELEASE_GAMEWND = WM_USER + 0x6C;  // 0x46C

namespace app_messages_check {
constexpr UINT kAll[] = {WM_TRAYICON_NOTIFY, WM_VERSIONINFO_LOADED, WM_UPDATE_LOADED, WM_BROWSER_TITLE,
                         WM_VIPBUTTON_SETTEXT, WM_VIPBUTTON_FLASH, WM_RELEASE_GAMEWND};
constexpr bool AllAboveWmUser() {
  for (UINT m : kAll)
    if (m < WM_USER || m >= 0x8000) return false;
  return true;
}
constexpr bool AllDistinct() {
  for (unsigned i = 0; i < sizeof(kAll) / sizeof(kAll[0]); ++i)
    for (unsigned j = i + 1; j < sizeof(kAll) / sizeof(kAll[0]); ++j)
      if (kAll[i] == kAll[j]) return false;
  return true;
}
// The window layer's own messages all lie below WM_USER.
constexpr UINT kPlatform[] = {WM_NULL, WM_CREATE, WM_DESTROY, WM_MOVE, WM_SIZE, WM_ACTIVATE, WM_SETFOCUS,
                              WM_KILLFOCUS, WM_SETTEXT, WM_PAINT, WM_CLOSE, WM_QUIT, WM_ERASEBKGND,
                              WM_SHOWWINDOW, WM_SETCURSOR, WM_GETMINMAXINFO, WM_WINDOWPOSCHANGED, WM_SETICON,
                              WM_NCHITTEST, WM_KEYDOWN, WM_KEYUP, WM_CHAR, WM_COMMAND, WM_SYSCOMMAND, WM_TIMER,
                              WM_CTLCOLORSTATIC, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK,
                              WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_MOUSEHOVER, WM_MOUSELEAVE,
                              BM_CLICK};
constexpr bool NoneIsPlatform() {
  for (UINT m : kAll)
    for (UINT p : kPlatform)
      if (m == p) return false;
  return true;
}
static_assert(AllAboveWmUser(), "the client's messages are WM_USER based");
static_assert(AllDistinct(), "two client messages share a number");
static_assert(NoneIsPlatform(), "a client message collides with a window-layer message");
static_assert(WM_BROWSER_TITLE == 0x469 && WM_VIPBUTTON_SETTEXT == 0x46A && WM_VIPBUTTON_FLASH == 0x46B &&
              WM_RELEASE_GAMEWND == 0x46C && WM_TRAYICON_NOTIFY == 0x464 && WM_VERSIONINFO_LOADED == 0x466 &&
              WM_UPDATE_LOADED == 0x468);
}  // namespace app_messages_check
