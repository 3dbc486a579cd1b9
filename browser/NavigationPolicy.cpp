#include "browser/NavigationPolicy.h"

#include "platform/base/Text.h"

NavDecision DecideNavigation(const std::string& url, const NavContext& context) {
  NavDecision d;
  // Frames inside the page are never examined.
  if (!context.topLevel) return d;
  const std::string test = text::ToLowerAscii(url);

  std::string gameUrl = url;
  if (test.find(kCmdMinimize) != std::string::npos && context.launcherExists) {
    d.action = NavAction::MinimizeLauncher;
    d.cancel = true;
    return d;
  }
  if (test.find(kCmdExitGame) != std::string::npos && context.launcherExists) {
    d.action = NavAction::ConfirmQuit;
    d.cancel = true;
    return d;
  }
  if (test.find(kCmdLoadGame) != std::string::npos) {
    auto bar = url.find('|');
    if (bar != std::string::npos) gameUrl = url.substr(bar + 1);
  }

  // The game address: gameCheck, exactly as configured, anywhere in the
  // lower-cased address (an empty gameCheck matches every address).
  if (test.find(context.gameCheck) != std::string::npos) {
    if (context.inGameWindow) return d;
    // Without a main frame there is nobody to open the game window; the
    // navigation is left alone rather than swallowed.
    if (!context.mainFrameExists) return d;
    d.action = NavAction::OpenGameWindow;
    d.cancel = true;
    d.gameUrl = gameUrl;
    return d;
  }

  // The login address: loginCheck found after the first character.
  auto pos = test.find(context.loginCheck);
  if (pos != std::string::npos && pos > 0 && context.launcherExists) d.action = NavAction::ShowChooseImages;
  return d;
}

NavDecision DecideNewWindow(const std::string& url, const NavContext& context) {
  NavDecision d;
  const std::string test = text::ToLowerAscii(url);
  if (test.find(context.gameCheck) != std::string::npos && context.mainFrameExists && !context.inGameWindow) {
    d.action = NavAction::OpenGameWindow;
    d.cancel = true;
    d.gameUrl = url;
  }
  return d;
}
