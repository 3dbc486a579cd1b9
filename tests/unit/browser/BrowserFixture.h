// A headless display, scripted engines and a recording host for the browser
// view's tests: the host stands in for the main frame, the launcher and the
// game windows, and records what the views ask of them.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/AppMessages.h"
#include "browser/IEViewHost.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/Window.h"
#include "tests/support/ScriptedEngine.h"

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

class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ui::InitializeWith(ui::BackendKind::Headless));
    ASSERT_TRUE(frame.CreateTop());
    host.mainFrame = frame.m_hWnd;
    g_pIEViewHost = &host;
  }
  void TearDown() override {
    g_pIEViewHost = nullptr;
    frame.DestroyWindow();
    ui::Shutdown();
    ui::ResetQuit();
  }
  static void Pump() { scripted::ScriptedEngine::PumpEverything(); }

  scripted::ScriptedEngine::Install engines;
  RecordingHost host;
  MessageLogWnd frame;  // the main frame's window
};
