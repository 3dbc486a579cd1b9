// What the launcher and the game window ask of the main frame that owns them:
// the frame's window (the target of ID_APP_EXIT), the game address from the
// operator's user-information service, and whether the desktop has a tray to
// hide a window into. The main frame implements it and hands it to each
// window it makes; a window without a host acts on nothing outside itself.
//
// Threads: user-interface thread only.
#pragma once

#include <string>

#include "platform/ui/Types.h"

class CSkinWndHost {
 public:
  virtual ~CSkinWndHost() = default;

  // The main frame's window: ID_APP_EXIT is posted there.
  virtual HWND GetMainFrameWnd() = 0;
  // CMainFrame::GetGameUrl: the game address for this player (reason 0 at
  // start-up, 1 when the game window reloads), "" when there is none.
  virtual std::string GetGameUrl(int reason) = 0;
  // Whether a tray icon exists that can bring a hidden window back. Without
  // one, "hide to the tray" minimises the window instead.
  virtual bool CanHideToTray() = 0;
};
