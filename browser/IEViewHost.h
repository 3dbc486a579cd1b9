// What a browser view asks of the rest of the client: the configuration, the
// main frame, the launcher and the game windows. The main frame implements it
// (reaching the launcher and game windows it owns) and sets g_pIEViewHost
// while it exists; with no host set, the view acts on nothing outside itself.
//
// Threads: user-interface thread only.
#pragma once

#include <string>

#include "platform/ui/Types.h"

class CIEViewHost {
 public:
  virtual ~CIEViewHost() = default;

  // ClientConfig::GetValue; the view asks afresh at every use ("gameCheck",
  // "loginCheck").
  virtual std::string GetConfigValue(const std::string& key) = 0;

  // CMainFrame::OpenGameWindow.
  virtual void OpenGameWindow(const std::string& url) = 0;
  // The main frame's window (target of WM_RELEASE_GAMEWND).
  virtual HWND GetMainFrameWnd() = 0;
  // The active game window: m_pGameWnd when set, else m_pRetiredGameWnd; null
  // when there is neither.
  virtual HWND GetActiveGameWnd() = 0;
  // m_bGameMode.
  virtual bool IsGameMode() = 0;
  virtual void SetGameMode(bool gameMode) = 0;
  // When m_pGameWnd is set: move it into m_pRetiredGameWnd and clear it.
  virtual void RetireGameWindow() = 0;

  // Whether the launcher (m_pHtmlWnd, g_pHtmlWnd) exists.
  virtual bool HasLauncher() = 0;
  // The launcher's Show (TRUE: restore, show and activate it with its page;
  // FALSE: hide both).
  virtual void ShowLauncher(BOOL show) = 0;
  // The launcher's ConfirmQuit.
  virtual void ConfirmQuit() = 0;
  // The launcher's ShowChooseImages.
  virtual void ShowChooseImages() = 0;
};

// Set by the main frame while it exists; null otherwise.
extern CIEViewHost* g_pIEViewHost;
