// The main frame on the headless display with the scripted browser engine and
// the headless tray: the first face, entering the game from the launcher's
// page and coming back, the retired game window, the tray icon and menu, the
// quit question, a desktop without a tray, the launch tag's direct entry, and
// the frame's orderly end.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/AppMessages.h"
#include "app/ClientConfig.h"
#include "app/MainFrame.h"
#include "platform/base/Resources.h"
#include "platform/store/Registry.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/headless/Headless.h"
#include "tests/support/ScriptedEngine.h"
#include "tools/operator/OperatorProcess.h"

namespace {

using scripted::ScriptedEngine;

std::string ConfigXml(const std::string& extra) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><CLIENTCONFIG><CONFIG userClientAbout=\"帧测试\" "
         "imClass=\"FrameTest\" homeUrl=\"http://home.example/client/home.html\" "
         "gameCheck=\"http://game.example/play/\" quitTip=\"退出吗？\" cache=\"game.example\" pwKey=\"k3y\" " +
         extra + "/></CLIENTCONFIG>";
}

class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("torvane-frame-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
      setenv(var, (dir_ / var).c_str(), 1);
    store::Close();
    ClientConfig::ResetForTesting();
    res::testing::Override("XML", 400, ConfigXml(""));
    ASSERT_TRUE(ui::InitializeWith(ui::BackendKind::Headless));
    ui::headless::SetWorkArea(RECT{0, 0, 1920, 1050});
    engines_ = std::make_unique<ScriptedEngine::Install>();
  }
  void TearDown() override {
    if (frame_ && IsWindow(frameWnd_)) {
      ::PostMessage(frameWnd_, WM_COMMAND, ID_APP_EXIT, 0);
      ui::PumpUntilIdle();
    }
    engines_.reset();
    ui::Shutdown();
    ui::ResetQuit();
    ClientConfig::ResetForTesting();
    res::testing::Reset();
    store::Close();
    std::filesystem::remove_all(dir_);
  }

  CMainFrame& Start(const std::string& launchTag = "") {
    frame_ = new CMainFrame();  // deletes itself when its window is destroyed
    frame_->m_strLaunchTag = launchTag;
    EXPECT_TRUE(frame_->LoadFrame(128, WS_OVERLAPPEDWINDOW));
    frameWnd_ = frame_->m_hWnd;
    ScriptedEngine::PumpEverything();
    return *frame_;
  }
  static ScriptedEngine* Engine(CIEView& view) { return static_cast<ScriptedEngine*>(view.GetBrowser()); }
  ScriptedEngine* LauncherEngine() { return Engine(frame_->m_pHtmlWnd->BrowserWnd()->m_view); }
  void Click(CWnd& window, const char* button) {
    CSkinButton* b = nullptr;
    if (auto* launcher = dynamic_cast<CHtmlWnd*>(&window)) b = launcher->FindButton(button);
    if (auto* game = dynamic_cast<CGameWnd*>(&window)) b = game->FindButton(button);
    ASSERT_NE(b, nullptr) << button;
    RECT r = b->GetRectInParent();
    ui::headless::Click(window.m_hWnd, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ScriptedEngine::PumpEverything();
  }
  // The launcher's page asks for the game.
  void EnterGame(const std::string& url = "http://game.example/play/index.html") {
    LauncherEngine()->PageNavigate(url);
    ScriptedEngine::PumpEverything();
  }

  std::filesystem::path dir_;
  std::unique_ptr<ScriptedEngine::Install> engines_;
  CMainFrame* frame_ = nullptr;
  HWND frameWnd_ = nullptr;
};

TEST_F(MainFrameTest, StartsOnTheLauncherWithTheHomePageAndATrayIcon) {
  CMainFrame& frame = Start();
  EXPECT_EQ(g_pMainFrame, &frame);
  EXPECT_EQ(g_pHtmlWnd, frame.m_pHtmlWnd.get());
  EXPECT_EQ(g_pSkin, frame.m_pSkin.get());
  EXPECT_EQ(g_pIEViewHost, static_cast<CIEViewHost*>(&frame));
  EXPECT_FALSE(IsWindowVisible(frame.m_hWnd)) << "the frame is never shown";

  ASSERT_TRUE(frame.m_pHtmlWnd);
  EXPECT_TRUE(frame.m_pHtmlWnd->IsWindowVisible());
  EXPECT_TRUE(frame.m_pHtmlWnd->BrowserWnd()->IsWindowVisible());
  EXPECT_EQ(LauncherEngine()->NavigateCalls(),
            (std::vector<std::string>{"about:blank", "http://home.example/client/home.html"}));
  ASSERT_TRUE(frame.m_pGameWnd);
  EXPECT_FALSE(frame.m_pGameWnd->IsWindowVisible());
  EXPECT_EQ(frame.m_pGameWnd->GetExStyle() & WS_EX_TOOLWINDOW, 0u);
  EXPECT_EQ(frame.m_pGameWnd->m_view.GetBrowser(), nullptr) << "no page engine until a game is opened";
  EXPECT_FALSE(frame.m_bGameMode);
  ASSERT_TRUE(frame.m_pDownloadThread);
  EXPECT_EQ(frame.m_pDownloadThread->GetState(), 2);

  EXPECT_TRUE(ui::headless::TrayIconShown());
  EXPECT_EQ(ui::headless::TrayTip(), "帧测试 Ver 1.0.0.1");
  EXPECT_FALSE(ui::headless::TrayIconBytes().empty());
  MenuPopup menu = ui::headless::TrayMenu();
  ASSERT_EQ(menu.items.size(), 3u);
  EXPECT_EQ(menu.items[0].id, 201u);
  EXPECT_EQ(menu.items[0].text, "显示主界面");
  EXPECT_TRUE(menu.items[1].separator);
  EXPECT_EQ(menu.items[2].id, ID_APP_EXIT);
}

TEST_F(MainFrameTest, TrayTipIsCutAt127Characters) {
  std::string title(200, 'x');
  res::testing::Override("XML", 400, ConfigXml("").replace(ConfigXml("").find("帧测试"), 9, title));
  Start();
  EXPECT_EQ(ui::headless::TrayTip(), std::string(127, 'x'));
}

TEST_F(MainFrameTest, EntersTheGameAndComesBackWithANewWindowNextTime) {
  CMainFrame& frame = Start();
  HWND firstGame = frame.m_pGameWnd->m_hWnd;
  EnterGame();
  EXPECT_TRUE(frame.m_bGameMode);
  EXPECT_FALSE(frame.m_pHtmlWnd->IsWindowVisible());
  ASSERT_TRUE(frame.m_pGameWnd);
  CGameWnd& game = *frame.m_pGameWnd;
  EXPECT_EQ(game.m_hWnd, firstGame) << "the window made at start-up is used first";
  EXPECT_TRUE(game.IsWindowVisible());
  EXPECT_TRUE(game.IsZoomed());
  EXPECT_TRUE(game.m_bMaximized);
  EXPECT_FALSE(game.FindButton("max")->IsWindowVisible());
  EXPECT_TRUE(game.FindButton("restore")->IsWindowVisible());
  EXPECT_EQ(Engine(game.m_view)->NavigateCalls().back(), "http://game.example/play/index.html");
  EXPECT_EQ(frame.m_strLastGameUrl, "http://game.example/play/index.html");
  EXPECT_EQ(frame.GetGameUrl(1), "http://game.example/play/index.html") << "no launch tag: the last address";

  // The game window's close: its page closes, the launcher comes back, the
  // window is retired and then deleted.
  Click(game, "close");
  ui::PumpUntilIdle();
  EXPECT_FALSE(frame.m_bGameMode);
  EXPECT_TRUE(frame.m_pHtmlWnd->IsWindowVisible());
  EXPECT_FALSE(frame.m_pGameWnd);
  EXPECT_FALSE(frame.m_pRetiredGameWnd) << "released after its page's document completed";
  EXPECT_FALSE(IsWindow(firstGame));

  // A second game gets a new window, off the taskbar.
  EnterGame("http://game.example/play/index.html?again=1");
  ASSERT_TRUE(frame.m_pGameWnd);
  EXPECT_NE(frame.m_pGameWnd->m_hWnd, firstGame);
  EXPECT_NE(frame.m_pGameWnd->GetExStyle() & WS_EX_TOOLWINDOW, 0u);
  EXPECT_TRUE(frame.m_pGameWnd->IsWindowVisible());

  // An empty address only shows and centres the window; the last address stays.
  frame.m_pGameWnd->Show(FALSE);
  frame.OpenGameWindow("");
  EXPECT_TRUE(frame.m_pGameWnd->IsWindowVisible());
  EXPECT_EQ(frame.m_strLastGameUrl, "http://game.example/play/index.html?again=1");
}

TEST_F(MainFrameTest, ReleaseWithoutARetiredWindowAndTwiceInARow) {
  CMainFrame& frame = Start();
  SendMessage(frame.m_hWnd, WM_RELEASE_GAMEWND, 0, 0);
  EXPECT_TRUE(frame.m_pGameWnd) << "the current game window is not touched";

  EnterGame();
  HWND game = frame.m_pGameWnd->m_hWnd;
  frame.RetireGameWindow();
  frame.SetGameMode(false);
  SendMessage(frame.m_hWnd, WM_RELEASE_GAMEWND, 0, 0);
  SendMessage(frame.m_hWnd, WM_RELEASE_GAMEWND, 0, 0);
  EXPECT_FALSE(IsWindow(game));

  // A second retirement before the first release: the older window goes then.
  EnterGame();
  HWND a = frame.m_pGameWnd->m_hWnd;
  frame.RetireGameWindow();
  EnterGame();
  HWND b = frame.m_pGameWnd->m_hWnd;
  frame.RetireGameWindow();
  EXPECT_FALSE(IsWindow(a));
  EXPECT_TRUE(IsWindow(b));
  SendMessage(frame.m_hWnd, WM_RELEASE_GAMEWND, 0, 0);
  EXPECT_FALSE(IsWindow(b));
}

TEST_F(MainFrameTest, TrayBringsBackTheFaceAndItsMenuQuits) {
  CMainFrame& frame = Start();
  // "min" hides the launcher to the tray; a left click on the icon shows it.
  Click(*frame.m_pHtmlWnd, "min");
  EXPECT_FALSE(frame.m_pHtmlWnd->IsWindowVisible());
  ASSERT_TRUE(ui::headless::TrayLeftClick());
  ui::PumpUntilIdle();
  EXPECT_TRUE(frame.m_pHtmlWnd->IsWindowVisible());

  // In the game face, a minimised game window comes back, not the launcher.
  EnterGame();
  Click(*frame.m_pGameWnd, "min");
  EXPECT_TRUE(frame.m_pGameWnd->IsIconic());
  ASSERT_TRUE(ui::headless::TrayLeftClick());
  ui::PumpUntilIdle();
  EXPECT_FALSE(frame.m_pGameWnd->IsIconic());
  EXPECT_TRUE(frame.m_pGameWnd->IsWindowVisible());
  EXPECT_FALSE(frame.m_pHtmlWnd->IsWindowVisible());

  // The menu the client draws: dismissed does nothing; its first entry shows the face.
  Click(*frame.m_pGameWnd, "pack");
  EXPECT_FALSE(frame.m_pGameWnd->IsWindowVisible());
  ui::headless::QueueMenuAnswer(0);
  ASSERT_TRUE(ui::headless::TrayRightClick());
  ui::PumpUntilIdle();
  ASSERT_EQ(ui::headless::MenusShown().size(), 1u);
  EXPECT_FALSE(frame.m_pGameWnd->IsWindowVisible());
  ui::headless::QueueMenuAnswer(201);
  ASSERT_TRUE(ui::headless::TrayRightClick());
  ui::PumpUntilIdle();
  EXPECT_TRUE(frame.m_pGameWnd->IsWindowVisible());

  // The host-drawn menu reaches the same commands.
  Click(*frame.m_pGameWnd, "pack");
  ASSERT_TRUE(ui::headless::TrayChooseMenuItem(201));
  ui::PumpUntilIdle();
  EXPECT_TRUE(frame.m_pGameWnd->IsWindowVisible());
  ASSERT_TRUE(ui::headless::TrayChooseMenuItem(ID_APP_EXIT));
  ui::PumpUntilIdle();
  EXPECT_FALSE(IsWindow(frameWnd_));
  EXPECT_TRUE(ui::QuitRequested());
  EXPECT_EQ(g_pMainFrame, nullptr);
  EXPECT_EQ(g_pHtmlWnd, nullptr);
  EXPECT_EQ(g_pSkin, nullptr);
  EXPECT_EQ(g_pIEViewHost, nullptr);
  EXPECT_FALSE(ui::headless::TrayIconShown()) << "the icon goes with the frame";
}

TEST_F(MainFrameTest, TrayMenuQuitEndsTheClientInOrder) {
  CMainFrame& frame = Start();
  HWND launcher = frame.m_pHtmlWnd->m_hWnd;
  HWND game = frame.m_pGameWnd->m_hWnd;
  ui::headless::QueueMenuAnswer(ID_APP_EXIT);
  ASSERT_TRUE(ui::headless::TrayRightClick());
  ui::PumpUntilIdle();
  EXPECT_TRUE(ui::QuitRequested());
  EXPECT_FALSE(IsWindow(frameWnd_));
  EXPECT_FALSE(IsWindow(launcher));
  EXPECT_FALSE(IsWindow(game));
}

TEST_F(MainFrameTest, WithoutATrayWindowsMinimiseAndALostTrayShowsTheFace) {
  ui::headless::SetTrayKind(TrayKind::None);
  CMainFrame& frame = Start();
  EXPECT_FALSE(frame.CanHideToTray());
  Click(*frame.m_pHtmlWnd, "min");
  EXPECT_TRUE(frame.m_pHtmlWnd->IsIconic());
  frame.ShowFace();
  EXPECT_TRUE(frame.m_pHtmlWnd->IsWindowVisible());

  // A tray appears: "min" hides again; the tray goes while the launcher is
  // hidden: the launcher comes back, so the client stays reachable.
  ui::headless::SetTrayKind(TrayKind::StatusNotifier);
  ui::PumpUntilIdle();
  Click(*frame.m_pHtmlWnd, "min");
  EXPECT_FALSE(frame.m_pHtmlWnd->IsWindowVisible());
  EXPECT_FALSE(frame.m_pHtmlWnd->IsIconic());
  ui::headless::TrayHostGone();
  ui::PumpUntilIdle();
  EXPECT_TRUE(frame.m_pHtmlWnd->IsWindowVisible());
}

TEST_F(MainFrameTest, QuitQuestionFromThePage) {
  CMainFrame& frame = Start();
  ui::headless::QueueMessageBoxAnswer(IDCANCEL);
  LauncherEngine()->PageNavigate("app://exitgame|");
  ScriptedEngine::PumpEverything();
  ASSERT_EQ(ui::headless::MessageBoxes().size(), 1u);
  EXPECT_EQ(ui::headless::MessageBoxes()[0].text, "退出吗？");
  EXPECT_TRUE(IsWindow(frameWnd_));
  EXPECT_TRUE(frame.m_pHtmlWnd->IsWindowVisible());

  ui::headless::QueueMessageBoxAnswer(IDOK);
  LauncherEngine()->PageNavigate("app://exitgame|");
  ScriptedEngine::PumpEverything();
  ui::PumpUntilIdle();
  EXPECT_FALSE(IsWindow(frameWnd_));
  EXPECT_TRUE(ui::QuitRequested());
}

TEST_F(MainFrameTest, AnUnusableUserInfoFormatSendsNothingAndStartsOnTheLauncher) {
  // Any conversion other than the four is refused before anything is sent.
  res::testing::Override("XML", 400, ConfigXml("userInfoUrl=\"http://127.0.0.1:9/%n%s%d%d%s\""));
  CMainFrame& frame = Start("hbhx");
  EXPECT_EQ(frame.GetGameUrl(0), "");
  EXPECT_FALSE(frame.m_bGameMode);
  EXPECT_TRUE(frame.m_pHtmlWnd->IsWindowVisible());
}

// A launch tag the operator knows enters the game at once; an unknown one, or
// an unreachable service, starts on the launcher.
TEST_F(MainFrameTest, LaunchTagEntersTheGameDirectly) {
  OperatorProcess op({"--tag", "hbhx=http://game.example/play/index.html?tag=hbhx", "--pw-key", "k3y"});
  ASSERT_TRUE(op.Start());
  std::string format = op.Url("/api/userinfo?tag=%s+reason=%d+time=%d+sign=%s");
  struct Case {
    std::string tag;
    std::string format;
    bool game;
  } cases[] = {
      {"hbhx", format, true},
      {"nobody", format, false},
      {"hbhx", "http://127.0.0.1:" + std::to_string(OperatorProcess::PickFreePort()) +
                   "/api/userinfo?tag=%s+reason=%d+time=%d+sign=%s",
       false},
  };
  for (const Case& c : cases) {
    res::testing::Override("XML", 400, ConfigXml("userInfoUrl=\"" + c.format + "\""));
    ClientConfig::ResetForTesting();
    CMainFrame& frame = Start(c.tag);
    EXPECT_EQ(frame.m_bGameMode, c.game) << c.tag << " " << c.format;
    EXPECT_EQ(frame.m_pHtmlWnd->IsWindowVisible(), !c.game) << c.tag;
    if (c.game) {
      EXPECT_EQ(Engine(frame.m_pGameWnd->m_view)->NavigateCalls().back(),
                "http://game.example/play/index.html?tag=hbhx");
      EXPECT_TRUE(frame.m_pGameWnd->IsZoomed());
    }
    ::PostMessage(frameWnd_, WM_COMMAND, ID_APP_EXIT, 0);
    ui::PumpUntilIdle();
    ui::ResetQuit();
    frame_ = nullptr;
  }
  EXPECT_NE(op.LogText().find("/api/userinfo?tag=hbhx&reason=0&time="), std::string::npos) << op.LogText();
}

}  // namespace
