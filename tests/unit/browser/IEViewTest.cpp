// The browser view over the scripted engine: the policy applied, the close
// protocol, the title, the external object, new windows, bad input.
#include <memory>

#include "browser/IEView.h"
#include "browser/IEWnd.h"
#include "tests/unit/browser/BrowserFixture.h"

using scripted::ScriptedEngine;

namespace {

// A game window: a top-level window holding a view, as the game window does.
struct GameWindow {
  MessageLogWnd wnd;
  CIEView view;
  ScriptedEngine* engine = nullptr;
  bool Create() {
    if (!wnd.CreateTop()) return false;
    if (!view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 1, 1}, wnd.m_hWnd, CIEView::kViewId))
      return false;
    engine = ScriptedEngine::Last();
    return engine != nullptr;
  }
};

// The launcher's page: a container pop-up holding its view.
struct LauncherPage {
  MessageLogWnd owner;
  CIEWnd container;
  ScriptedEngine* engine = nullptr;
  bool Create() {
    if (!owner.CreateTop() || !container.CreateWnd(owner.m_hWnd, 0, WS_POPUP)) return false;
    engine = ScriptedEngine::Last();
    return engine != nullptr;
  }
};

TEST_F(BrowserTest, ViewGetsEngineWithHostSettingsAndNavigatesSilently) {
  LauncherPage page;
  ASSERT_TRUE(page.Create());
  EXPECT_EQ(page.engine->Options().scrollBars, false);
  EXPECT_TRUE(page.engine->Options().javascript);
  EXPECT_FALSE(page.engine->GetSilent());
  page.container.m_view.Navigate("http://operator.example/home");
  EXPECT_TRUE(page.engine->GetSilent());
  Pump();
  EXPECT_EQ(page.container.m_view.GetLocationURL(), "http://operator.example/home");
  DOCHOSTUIINFO info;
  EXPECT_EQ(page.container.m_view.OnGetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, 0x0004000Cu);
  CIEView* external = nullptr;
  EXPECT_EQ(page.container.m_view.OnGetExternal(&external), S_OK);
  EXPECT_EQ(external, &page.container.m_view);
}

TEST_F(BrowserTest, PageCommandsReachTheLauncherAndAreCancelled) {
  LauncherPage page;
  ASSERT_TRUE(page.Create());
  page.container.m_view.Navigate("http://operator.example/home");
  Pump();
  page.engine->PageNavigate("APP://MINIMIZE|");
  page.engine->PageNavigate("app://exitgame|");
  page.engine->PageNavigate("app://minimize|", /*topLevel=*/false);
  page.engine->PageNavigate("http://operator.example/login.do");
  Pump();
  EXPECT_EQ(host.launcherShows, std::vector<BOOL>{FALSE});
  EXPECT_EQ(host.quitQuestions, 1);
  EXPECT_EQ(host.chooseImages, 1);
  EXPECT_EQ(page.engine->Cancelled(), (std::vector<std::string>{"APP://MINIMIZE|", "app://exitgame|"}));
  EXPECT_EQ(page.container.m_view.GetLocationURL(), "http://operator.example/login.do");
}

TEST_F(BrowserTest, GameAddressFromLauncherOpensGameWindowAndConfigIsReadAfresh) {
  LauncherPage page;
  ASSERT_TRUE(page.Create());
  page.engine->PageNavigate("app://loadgame|http://Game.Example/Play?S=1");
  Pump();
  EXPECT_EQ(host.openedGames, std::vector<std::string>{"http://Game.Example/Play?S=1"});
  host.config["gameCheck"] = "other.example";
  page.engine->PageNavigate("http://game.example/play");
  Pump();
  EXPECT_EQ(host.openedGames.size(), 1u) << "the changed gameCheck applies to the next navigation";
  EXPECT_GE(host.configLookups.size(), 2u);
}

TEST_F(BrowserTest, NoHostMeansNoActionAndNoCrash) {
  g_pIEViewHost = nullptr;
  LauncherPage page;
  ASSERT_TRUE(page.Create());
  page.engine->PageNavigate("app://minimize|");
  page.engine->PageNavigate("http://game.example/play");
  page.engine->PageOpensWindow("http://game.example/play");
  page.engine->CallExternal("getGsName", {scripted::Str("x")});
  page.engine->SetTitle("t");
  Pump();
  EXPECT_TRUE(page.engine->Cancelled().empty());
  EXPECT_EQ(page.engine->OpenedInBrowser(), std::vector<std::string>{"http://game.example/play"});
}

TEST_F(BrowserTest, TitleGoesToTheParent) {
  LauncherPage page;
  ASSERT_TRUE(page.Create());
  GameWindow game;
  ASSERT_TRUE(game.Create());
  page.engine->SetTitle("Home \xE4\xB8\xAD");
  game.engine->SetTitle("");
  Pump();
  // The launcher's view reports to its container, which leaves it alone.
  EXPECT_TRUE(page.owner.Of(WM_BROWSER_TITLE).empty());
  auto titles = game.wnd.Of(WM_BROWSER_TITLE);
  ASSERT_EQ(titles.size(), 1u);
  EXPECT_EQ(titles[0].text, "");
}

TEST_F(BrowserTest, CloseProtocolRetiresGameWindowThenReleasesIt) {
  GameWindow game;
  ASSERT_TRUE(game.Create());
  host.gameWnd = game.wnd.m_hWnd;
  host.gameMode = true;
  game.view.Navigate("http://game.example/play");
  Pump();
  EXPECT_TRUE(host.openedGames.empty()) << "a game address inside the game window navigates normally";
  EXPECT_EQ(game.view.GetLocationURL(), "http://game.example/play");

  game.view.Navigate("about:blank3");
  ASSERT_TRUE(game.engine->Pump());  // BeforeNavigate2, NavigateComplete2, DocumentComplete
  EXPECT_EQ(host.gameWnd, nullptr);
  EXPECT_EQ(host.retiredGameWnd, game.wnd.m_hWnd);
  EXPECT_FALSE(host.gameMode);
  EXPECT_EQ(host.launcherShows, std::vector<BOOL>{TRUE});
  EXPECT_TRUE(frame.Of(WM_RELEASE_GAMEWND).empty()) << "posted, not sent";
  ui::PumpUntilIdle();
  EXPECT_EQ(frame.Of(WM_RELEASE_GAMEWND).size(), 1u);
}

TEST_F(BrowserTest, CloseAddressOutsideGameModeOrInLauncherChangesNothing) {
  LauncherPage page;
  ASSERT_TRUE(page.Create());
  GameWindow game;
  ASSERT_TRUE(game.Create());
  host.gameWnd = game.wnd.m_hWnd;
  host.gameMode = true;
  page.container.m_view.Navigate("about:blank3");
  Pump();
  EXPECT_EQ(host.gameWnd, game.wnd.m_hWnd);
  EXPECT_TRUE(host.gameMode);
  EXPECT_TRUE(frame.Of(WM_RELEASE_GAMEWND).empty());

  host.gameMode = false;  // the game window's page closes while the launcher is the face
  game.view.Navigate("about:blank3");
  Pump();
  EXPECT_EQ(host.gameWnd, game.wnd.m_hWnd) << "not retired outside game mode";
  EXPECT_TRUE(host.launcherShows.empty());
  EXPECT_EQ(frame.Of(WM_RELEASE_GAMEWND).size(), 1u) << "DocumentComplete does not look at the game mode";
}

TEST_F(BrowserTest, ExternalMethodsReachTheActiveGameWindow) {
  GameWindow game;
  ASSERT_TRUE(game.Create());
  LauncherPage page;
  ASSERT_TRUE(page.Create());
  host.retiredGameWnd = game.wnd.m_hWnd;  // no current game window: the retired one is active
  page.engine->CallExternal("getGsName", {scripted::Str("x")});
  page.engine->CallExternal("getGsName", {scripted::Str("")});
  page.engine->CallExternal("getNewMsg", {scripted::Str("ignored")});
  Pump();
  auto names = game.wnd.Of(WM_VIPBUTTON_SETTEXT);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].text, "x");
  EXPECT_TRUE(names[1].nullText) << "an empty name is sent as a null text";
  EXPECT_EQ(game.wnd.Of(WM_VIPBUTTON_FLASH).size(), 1u);
}

class InvokeRecordingView : public CIEView {
 public:
  std::vector<std::string> commands;
  void OnInvokeClient(std::string command, web::ExternalArg) override { commands.push_back(command); }
};

TEST_F(BrowserTest, ExternalCallsWithWrongArgumentsAreIgnored) {
  GameWindow game;
  ASSERT_TRUE(game.Create());
  host.gameWnd = game.wnd.m_hWnd;
  MessageLogWnd parent;
  ASSERT_TRUE(parent.CreateTop());
  InvokeRecordingView view;
  ASSERT_TRUE(view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 1, 1}, parent.m_hWnd, 0x83));
  ScriptedEngine* engine = ScriptedEngine::Last();
  using scripted::Fn;
  using scripted::Null;
  using scripted::Num;
  using scripted::Obj;
  using scripted::Str;
  using scripted::Undefined;
  engine->CallExternal("Invoke_Client", {Str("cmd"), Fn()});
  engine->CallExternal("Invoke_Client", {Str("cmd2"), Null()});
  engine->CallExternal("Invoke_Client", {Str("only one")});
  engine->CallExternal("Invoke_Client", {Num(1), Obj()});
  engine->CallExternal("Invoke_Client", {Str("cmd"), Str("not an object")});
  engine->CallExternal("getGsName", {});
  engine->CallExternal("getGsName", {Num(5)});
  engine->CallExternal("getGsName", {Undefined()});
  engine->CallExternal("getGsName", {Str("a"), Str("b")});
  engine->CallExternal("getNewMsg", {Obj()});
  engine->CallExternal("getNewMsg", {});
  engine->CallExternal("BeforeNavigate2", {Null(), Str("app://minimize|")});
  engine->CallExternal("BeforeNavigate2", {Null(), Str("app://minimize|"), Num(0), Str(""), Null(), Str(""), Obj()});
  engine->CallExternal("DocumentComplete", {Null(), Num(3)});
  engine->CallExternal("noSuchMethod", {Str("x")});
  engine->CallExternal("", {});
  Pump();
  EXPECT_EQ(view.commands, (std::vector<std::string>{"cmd", "cmd2"}));
  EXPECT_TRUE(game.wnd.Of(WM_VIPBUTTON_SETTEXT).empty());
  EXPECT_TRUE(game.wnd.Of(WM_VIPBUTTON_FLASH).empty());
  EXPECT_TRUE(host.launcherShows.empty()) << "the page's BeforeNavigate2 is a frame's to the policy";
}

// A page can post any message to the engine, so a call may announce more
// arguments than it carries; the view must not read past them.
TEST_F(BrowserTest, InvokeClientWithoutItsSecondArgumentIsDropped) {
  class DirectView : public InvokeRecordingView {
   public:
    using InvokeRecordingView::OnExternalCall;
  };
  MessageLogWnd parent;
  ASSERT_TRUE(parent.CreateTop());
  DirectView view;
  ASSERT_TRUE(view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 1, 1}, parent.m_hWnd, 0x83));
  web::ExternalCall call;
  call.method = "Invoke_Client";
  call.argCount = 2;
  call.args = {scripted::Str("cmd")};
  view.OnExternalCall(call);
  call.args.push_back(scripted::Fn());
  view.OnExternalCall(call);
  EXPECT_EQ(view.commands, std::vector<std::string>{"cmd"});
}

TEST_F(BrowserTest, ExternalDocumentCompleteFromGamePageReleasesRetiredWindow) {
  GameWindow game;
  ASSERT_TRUE(game.Create());
  host.gameWnd = game.wnd.m_hWnd;
  game.engine->CallExternal("DocumentComplete", {scripted::Null(), scripted::Str("ABOUT:BLANK3")});
  Pump();
  EXPECT_EQ(frame.Of(WM_RELEASE_GAMEWND).size(), 1u);
}

TEST_F(BrowserTest, NewWindowForGameAddressOpensGameOtherwiseDesktopBrowser) {
  LauncherPage page;
  ASSERT_TRUE(page.Create());
  page.engine->PageOpensWindow("http://GAME.example/play?x");
  page.engine->PageOpensWindow("http://operator.example/news");
  Pump();
  EXPECT_EQ(host.openedGames, std::vector<std::string>{"http://GAME.example/play?x"});
  EXPECT_EQ(page.engine->OpenedInBrowser(), std::vector<std::string>{"http://operator.example/news"});

  GameWindow game;
  ASSERT_TRUE(game.Create());
  host.gameWnd = game.wnd.m_hWnd;
  game.engine->PageOpensWindow("http://game.example/play?again");
  Pump();
  EXPECT_EQ(host.openedGames.size(), 1u);
  EXPECT_EQ(game.engine->OpenedInBrowser(), std::vector<std::string>{"http://game.example/play?again"});
}

TEST_F(BrowserTest, FloodOfExternalCallsAndHugeStringsIsHandled) {
  GameWindow game;
  ASSERT_TRUE(game.Create());
  host.gameWnd = game.wnd.m_hWnd;
  std::string huge(10 << 20, 'n');
  for (int i = 0; i < 5000; ++i) game.engine->CallExternal(i % 2 ? "getNewMsg" : "getGsName", {scripted::Str(huge)});
  Pump();
  auto names = game.wnd.Of(WM_VIPBUTTON_SETTEXT);
  ASSERT_EQ(names.size(), 2500u);
  EXPECT_EQ(names.back().text.size(), web::kMaxExternalText);
  EXPECT_EQ(game.wnd.Of(WM_VIPBUTTON_FLASH).size(), 2500u);
}

TEST_F(BrowserTest, DeletingTheViewInsideAnEventIsSafe) {
  auto game = std::make_unique<GameWindow>();
  ASSERT_TRUE(game->Create());
  ScriptedEngine* engine = game->engine;
  struct DeletingHost : RecordingHost {
    std::unique_ptr<GameWindow>* owner = nullptr;
    void ShowLauncher(BOOL) override { owner->reset(); }
  } deleting;
  deleting.gameWnd = game->wnd.m_hWnd;
  deleting.gameMode = true;
  deleting.owner = &game;
  g_pIEViewHost = &deleting;
  engine->PageNavigate("about:blank3");
  Pump();
  EXPECT_EQ(game, nullptr);
  EXPECT_TRUE(ScriptedEngine::All().empty());
  g_pIEViewHost = &host;
}

TEST_F(BrowserTest, CrashedWebProcessReloadsLastAddressOnce) {
  LauncherPage page;
  ASSERT_TRUE(page.Create());
  page.container.m_view.Navigate("http://operator.example/home");
  Pump();
  page.engine->CrashWebProcess();
  page.engine->CrashWebProcess();  // again before the reload completed
  Pump();
  EXPECT_EQ(page.engine->NavigateCalls(),
            (std::vector<std::string>{"http://operator.example/home", "http://operator.example/home"}));
  EXPECT_EQ(page.container.m_view.GetLocationURL(), "http://operator.example/home");
}

TEST_F(BrowserTest, RefreshAndNavigateWithoutWindowDoNothing) {
  CIEView view;
  view.Navigate("http://operator.example/");
  view.Refresh();
  EXPECT_EQ(view.GetLocationURL(), "");
  EXPECT_EQ(view.GetBrowser(), nullptr);
}

}  // namespace
