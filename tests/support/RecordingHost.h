// Test doubles for what a browser view talks to: a top-level window that
// records the client's messages, and a CIEViewHost that stands in for the main
// frame, the launcher and the game windows and records what views ask of them.
//
// Threads: user-interface thread only.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/AppMessages.h"
#include "browser/IEViewHost.h"
#include "platform/ui/Window.h"

// A top-level window that records the client messages it gets (copying the
// texts they point to, which live only during the call).
class MessageLogWnd : public CWnd {
 public:
  struct Entry {
    UINT message;
    std::string text;
    bool nullText;
  };
  std::vector<Entry> log;

  BOOL CreateTop() { return CreateEx(0, "", "", WS_POPUP, 0, 0, 800, 600, nullptr); }
  std::vector<Entry> Of(UINT message) const {
    std::vector<Entry> out;
    for (const Entry& e : log)
      if (e.message == message) out.push_back(e);
    return out;
  }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message >= WM_USER) {
      const char* s = reinterpret_cast<const char*>(lParam);
      bool carriesText = message == WM_BROWSER_TITLE || message == WM_VIPBUTTON_SETTEXT;
      log.push_back({message, carriesText && s ? std::string(s) : std::string(), carriesText && !s});
      return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

class RecordingHost : public CIEViewHost {
 public:
  std::map<std::string, std::string> config{{"gameCheck", "game.example/play"}, {"loginCheck", "/login.do"}};
  std::vector<std::string> configLookups;
  std::vector<std::string> openedGames;
  std::vector<BOOL> launcherShows;
  int quitQuestions = 0;
  int chooseImages = 0;
  bool launcher = true;
  bool gameMode = false;
  HWND mainFrame = nullptr;
  HWND gameWnd = nullptr;
  HWND retiredGameWnd = nullptr;

  std::string GetConfigValue(const std::string& key) override {
    configLookups.push_back(key);
    auto it = config.find(key);
    return it == config.end() ? "" : it->second;
  }
  void OpenGameWindow(const std::string& url) override { openedGames.push_back(url); }
  HWND GetMainFrameWnd() override { return mainFrame; }
  HWND GetActiveGameWnd() override { return gameWnd ? gameWnd : retiredGameWnd; }
  bool IsGameMode() override { return gameMode; }
  void SetGameMode(bool on) override { gameMode = on; }
  void RetireGameWindow() override {
    if (!gameWnd) return;
    retiredGameWnd = gameWnd;
    gameWnd = nullptr;
  }
  bool HasLauncher() override { return launcher; }
  void ShowLauncher(BOOL show) override { launcherShows.push_back(show); }
  void ConfirmQuit() override { ++quitQuestions; }
  void ShowChooseImages() override { ++chooseImages; }
};

