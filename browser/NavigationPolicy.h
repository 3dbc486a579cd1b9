// The browser view's navigation policy as plain functions: what a top-level
// navigation or a new-window request of a page leads to. The view gathers the
// inputs (configuration values, where it lives) and applies the result.
//
// Threads: pure functions, any thread.
#pragma once

#include <string>

enum class NavAction {
  Proceed,           // nothing to do; the navigation goes on
  MinimizeLauncher,  // the launcher's Show(FALSE)
  ConfirmQuit,       // the launcher's ConfirmQuit
  OpenGameWindow,    // CMainFrame::OpenGameWindow(gameUrl)
  ShowChooseImages,  // the launcher's ShowChooseImages; the navigation goes on
};

struct NavDecision {
  NavAction action = NavAction::Proceed;
  bool cancel = false;
  std::string gameUrl;  // for OpenGameWindow, in the letter case of the page's address
  bool operator==(const NavDecision&) const = default;
};

struct NavContext {
  bool topLevel = true;        // the navigation is the top-level document's
  std::string gameCheck;       // configuration value "gameCheck"
  std::string loginCheck;      // configuration value "loginCheck"
  bool inGameWindow = false;   // the view's parent is the active game window
  bool launcherExists = true;  // the launcher window exists
  bool mainFrameExists = true; // the main frame exists (it opens game windows)
};

// The address a page is about to navigate to, as the page gave it.
NavDecision DecideNavigation(const std::string& url, const NavContext& context);

// A page asks for a new window at url: either the game window opens there
// (cancel set) or the request is left to the engine.
NavDecision DecideNewWindow(const std::string& url, const NavContext& context);

// The page commands.
inline constexpr const char kCmdMinimize[] = "app://minimize|";
inline constexpr const char kCmdExitGame[] = "app://exitgame|";
inline constexpr const char kCmdLoadGame[] = "app://loadgame";
// The address the game window closes its page with.
inline constexpr const char kCloseAddress[] = "about:blank3";
