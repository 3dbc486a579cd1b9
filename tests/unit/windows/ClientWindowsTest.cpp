// The launcher and the game window on the headless display with the scripted
// browser engine: where each puts its page, what its buttons do, the quit
// question, the game window's maximised state, title double-click, resize
// zones, keys and the page's "vip" messages.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/AppMessages.h"
#include "tests/support/ScriptedEngine.h"
#include "tests/support/TestFiles.h"
#include "tests/unit/windows/WindowsFixture.h"
#include "windows/GameWnd.h"
#include "windows/HtmlWnd.h"
#include "windows/SkinWndHost.h"

namespace {

using scripted::ScriptedEngine;
using wtest::kExStyle;
using wtest::kStyle;

// Stands in for the main frame: answers the game address, says whether a tray
// exists and records ID_APP_EXIT on a window of its own.
class TestHost : public CSkinWndHost, public CWnd {
 public:
  TestHost() { CreateEx(0, "", "", WS_POPUP, 0, 0, 10, 10, nullptr); }
  std::vector<std::string> gameUrls;  // answers, in order; "" when used up
  std::vector<int> reasons;
  bool tray = true;
  int exits = 0;

  HWND GetMainFrameWnd() override { return m_hWnd; }
  std::string GetGameUrl(int reason) override {
    reasons.push_back(reason);
    if (gameUrls.empty()) return "";
    std::string url = gameUrls.front();
    gameUrls.erase(gameUrls.begin());
    return url;
  }
  bool CanHideToTray() override { return tray; }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_COMMAND && LOWORD(wParam) == ID_APP_EXIT) ++exits;
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

class ClientWindowsTest : public wtest::WindowsTest {
 protected:
  void SetUp() override {
    wtest::WindowsTest::SetUp();
    engines_ = std::make_unique<ScriptedEngine::Install>();
    UseFramedSkin(wtest::DefaultSkin());
    host_ = std::make_unique<TestHost>();
  }
  void TearDown() override {
    game_.reset();
    launcher_.reset();
    host_.reset();
    engines_.reset();
    wtest::WindowsTest::TearDown();
  }
  CHtmlWnd& Launcher() {
    launcher_ = std::make_unique<CHtmlWnd>("MAINWND", host_.get());
    EXPECT_TRUE(launcher_->CreateWnd(GetDesktopWindow(), kExStyle, kStyle));
    ScriptedEngine::PumpEverything();
    return *launcher_;
  }
  CGameWnd& Game(const std::string& xml = "") {
    if (!xml.empty()) UseFramedSkin(wtest::MakeSkin(xml));
    game_ = std::make_unique<CGameWnd>("GAMEWND", host_.get());
    EXPECT_TRUE(game_->CreateWnd(GetDesktopWindow(), kExStyle, kStyle));
    ScriptedEngine::PumpEverything();
    return *game_;
  }
  static ScriptedEngine* EngineOf(CIEView& view) { return static_cast<ScriptedEngine*>(view.GetBrowser()); }
  // The game window's view after its first game page (its engine exists then).
  static ScriptedEngine* Playing(CGameWnd& game) {
    game.NavigateTo("http://game.example/play/");
    ScriptedEngine::PumpEverything();
    return EngineOf(game.m_view);
  }
  static RECT RectInTop(HWND child) {
    RECT r, top;
    GetWindowRect(child, &r);
    GetWindowRect(GetTopLevel(child), &top);
    return RECT{r.left - top.left, r.top - top.top, r.right - top.left, r.bottom - top.top};
  }
  void ClickButton(CWnd& owner, CSkinButton* button) {
    ASSERT_NE(button, nullptr);
    RECT r = wtest::RectOf(*button);
    ui::headless::Click(owner.m_hWnd, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ScriptedEngine::PumpEverything();
  }

  std::unique_ptr<ScriptedEngine::Install> engines_;
  std::unique_ptr<TestHost> host_;
  std::unique_ptr<CHtmlWnd> launcher_;
  std::unique_ptr<CGameWnd> game_;
};

// A game window skin with every button the window knows, a "vip" among them,
// and an "ie" rectangle that stretches.
std::string GameSkin(int strech, int border = 2) {
  std::string buttons;
  int x = 520;
  for (const char* name : {"close", "min", "pack", "home", "bbs", "kf", "pay", "more", "lock", "server", "refresh",
                           "cache", "vip", "host", "max", "restore"}) {
    buttons += std::string("<BTN name=\"") + name + "\" left=\"" + std::to_string(x) +
               "\" top=\"6\" stand=\"321\" align=\"TopRight\"/>";
    x -= 30;
  }
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><SKIN><GAMEWND titleHeight=\"50\" width=\"800\" height=\"600\" "
         "border=\"" +
         std::to_string(border) + "\" bgcolor=\"0,0,0\"><RECT name=\"ie\" left=\"2\" top=\"32\" width=\"796\" "
                                  "height=\"566\" strech=\"" +
         std::to_string(strech) + "\"/>" + buttons + "</GAMEWND></SKIN>";
}

// --- the launcher -------------------------------------------------------------

TEST_F(ClientWindowsTest, LauncherKeepsItsPageOverTheRectangleAndShowsItWithItself) {
  CHtmlWnd& launcher = Launcher();
  CIEWnd* page = launcher.BrowserWnd();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->GetParent(), launcher.m_hWnd) << "the page is a child, so it moves with the launcher";
  EXPECT_EQ(EngineOf(page->m_view)->NavigateCalls(), std::vector<std::string>{"about:blank"});
  EXPECT_TRUE(RectInTop(page->m_hWnd) == (RECT{471, 262, 471 + 680, 262 + 370}));
  EXPECT_TRUE(RectInTop(page->m_view.m_hWnd) == (RECT{471, 262, 471 + 680, 262 + 370}));
  EXPECT_FALSE(page->IsWindowVisible());

  launcher.Show(TRUE);
  EXPECT_TRUE(launcher.IsWindowVisible());
  EXPECT_TRUE(page->IsWindowVisible());
  // Dragged elsewhere, the page keeps its place in the launcher.
  launcher.MoveWindow(40, 30, 1222, 780, TRUE);
  RECT r;
  GetWindowRect(page->m_hWnd, &r);
  EXPECT_TRUE(r == (RECT{40 + 471, 30 + 262, 40 + 471 + 680, 30 + 262 + 370}));
  launcher.Show(FALSE);
  EXPECT_FALSE(launcher.IsWindowVisible());
  EXPECT_FALSE(IsWindowVisible(page->m_view.m_hWnd));

  for (const char* name : {"home", "bbs", "kf", "pay"}) EXPECT_TRUE(launcher.FindButton(name)->handCursor) << name;
  EXPECT_FALSE(launcher.FindButton("close")->handCursor);
}

TEST_F(ClientWindowsTest, StretchedPageRectangleGrowsOnePixelLessThanTheLauncher) {
  UseFramedSkin(wtest::MakeSkin(
      "<SKIN><MAINWND width=\"400\" height=\"300\"><RECT name=\"ie\" left=\"10\" top=\"20\" width=\"100\" "
      "height=\"50\" strech=\"1\"/><IMG name=\"Choose\" stand=\"343\" left=\"0\" top=\"0\"/>"
      "<IMG name=\"choose\" stand=\"343\" left=\"50\" top=\"0\"/></MAINWND></SKIN>"));
  CHtmlWnd& launcher = Launcher();
  launcher.MoveWindow(0, 0, 450, 320, TRUE);
  EXPECT_TRUE(RectInTop(launcher.BrowserWnd()->m_hWnd) == (RECT{10, 20, 10 + 149, 20 + 69}));

  // Both "choose" images start hidden and show together.
  launcher.Show(TRUE);
  ui::PumpUntilIdle();
  auto opaque = [&](int x) { return (ui::headless::Pixel(launcher.m_hWnd, x, 5) >> 24) != 0; };
  EXPECT_FALSE(opaque(5));
  EXPECT_FALSE(opaque(55));
  launcher.ShowChooseImages();
  ui::PumpUntilIdle();
  EXPECT_TRUE(opaque(5));
  EXPECT_TRUE(opaque(55));
}

TEST_F(ClientWindowsTest, LauncherQuitQuestionAndButtons) {
  CHtmlWnd& launcher = Launcher();
  launcher.Show(TRUE);

  // Cancel leaves everything; OK hides the launcher and its page and ends the client.
  ui::headless::QueueMessageBoxAnswer(IDCANCEL);
  ClickButton(launcher, launcher.FindButton("close"));
  ASSERT_EQ(ui::headless::MessageBoxes().size(), 1u);
  const auto& box = ui::headless::MessageBoxes()[0];
  EXPECT_EQ(box.text, ClientConfig::Get()->GetQuitTip());
  EXPECT_EQ(box.caption, ClientConfig::Get()->GetUserClientAbout() + " Ver 1.0.0.1");
  EXPECT_EQ(box.type, 0x1121u);
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_TRUE(launcher.IsWindowVisible());
  EXPECT_EQ(host_->exits, 0);

  ui::headless::QueueMessageBoxAnswer(IDOK);
  SendMessage(launcher.m_hWnd, WM_CLOSE, 0, 0);  // the close button's way
  ui::PumpUntilIdle();
  EXPECT_EQ(ui::headless::MessageBoxes().size(), 2u);
  EXPECT_FALSE(launcher.IsWindowVisible());
  EXPECT_FALSE(launcher.BrowserWnd()->IsWindowVisible());
  EXPECT_EQ(host_->exits, 1);

  // "min": hidden with a tray, minimised without one.
  launcher.Show(TRUE);
  ClickButton(launcher, launcher.FindButton("min"));
  EXPECT_FALSE(launcher.IsWindowVisible());
  EXPECT_FALSE(launcher.IsIconic());
  launcher.Show(TRUE);
  host_->tray = false;
  ClickButton(launcher, launcher.FindButton("MIN"));
  EXPECT_TRUE(launcher.IsIconic());
  launcher.Show(TRUE);
  EXPECT_FALSE(launcher.IsIconic());
  EXPECT_TRUE(launcher.IsWindowVisible());
}

TEST_F(ClientWindowsTest, LauncherOpensTheOperatorsPagesInTheDesktopBrowser) {
  std::string log = m_dir + "/opened.txt";
  std::string opener = m_dir + "/opener.sh";
  WriteFile(opener, "#!/bin/sh\necho \"$1\" >> " + log + "\n");
  chmod(opener.c_str(), 0755);
  setenv("TORVANE_OPENER", opener.c_str(), 1);
  CHtmlWnd& launcher = Launcher();
  launcher.Show(TRUE);
  ClientConfig* config = ClientConfig::Get();
  struct Case {
    const char* button;
    std::string url;
  } cases[] = {{"home", config->GetGwUrl()},
               {"bbs", config->GetBbsUrl()},
               {"kf", config->GetKfUrl()},
               {"pay", config->GetPaymentUrl()}};
  std::string expected;
  for (const Case& c : cases) {
    launcher.OnSkinCommand(launcher.FindButton(c.button)->info);
    expected += c.url + "\n";
  }
  SkinButtonInfo refresh;
  refresh.name = "refresh";
  launcher.OnSkinCommand(refresh);  // not a launcher button: nothing
  ASSERT_TRUE(ui::PumpUntil([&] { return ReadFile(log).size() >= expected.size(); }, 10000));
  unsetenv("TORVANE_OPENER");
  std::string opened = ReadFile(log);
  for (const Case& c : cases) EXPECT_NE(opened.find(c.url + "\n"), std::string::npos) << c.button;
  EXPECT_EQ(opened.size(), expected.size());
  EXPECT_TRUE(launcher.IsWindowVisible());
}

// --- the game window ----------------------------------------------------------

TEST_F(ClientWindowsTest, GamePageFillsTheRectangleAndGrowsWithTheWindow) {
  CGameWnd& game = Game();  // the default skin: "ie" 2,32 1246x656, strech 3, design 1250x690
  ASSERT_NE(game.m_view.m_hWnd, nullptr);
  EXPECT_EQ(game.m_view.GetParent(), game.m_hWnd);
  EXPECT_EQ(game.m_view.GetDlgCtrlID(), 0x83);
  // The view waits for its first game page before it makes its engine.
  EXPECT_EQ(game.m_view.GetBrowser(), nullptr);
  game.m_view.Refresh();  // nothing to reload yet: nothing happens
  game.NavigateTo("http://game.example/play/");
  ASSERT_NE(game.m_view.GetBrowser(), nullptr);
  EXPECT_EQ(EngineOf(game.m_view)->NavigateCalls(), std::vector<std::string>{"http://game.example/play/"});
  EXPECT_TRUE(RectInTop(game.m_view.m_hWnd) == (RECT{2, 32, 1248, 688}));
  game.MoveWindow(0, 0, 1350, 790, TRUE);
  EXPECT_TRUE(RectInTop(game.m_view.m_hWnd) == (RECT{2, 32, 1348, 788}));

  // strech 0 keeps the rectangle's size.
  CGameWnd& fixed = Game(GameSkin(0));
  fixed.MoveWindow(0, 0, 900, 650, TRUE);
  EXPECT_TRUE(RectInTop(fixed.m_view.m_hWnd) == (RECT{2, 32, 798, 598}));
}

TEST_F(ClientWindowsTest, MaximiseAndRestoreSwapTheirButtonsAndTheTitleDrag) {
  CGameWnd& game = Game(GameSkin(3));
  CSkinButton* max = game.FindButton("max");
  CSkinButton* restore = game.FindButton("restore");
  game.Show(TRUE);
  EXPECT_TRUE(max->IsWindowVisible());
  EXPECT_FALSE(restore->IsWindowVisible()) << "restore is hidden until the first maximise";

  ClickButton(game, max);
  EXPECT_TRUE(game.m_bMaximized);
  EXPECT_TRUE(game.IsZoomed());
  EXPECT_FALSE(max->IsWindowVisible());
  EXPECT_TRUE(restore->IsWindowVisible());
  RECT r;
  game.GetWindowRect(&r);
  EXPECT_TRUE(r == (RECT{0, 0, 1920, 1050})) << "maximised over the work area";
  EXPECT_TRUE(RectInTop(game.m_view.m_hWnd) == (RECT{2, 32, 1918, 1048}));

  // While maximised, a press in the title band drags once (zone 0), no more.
  ui::headless::MouseMove(game.m_hWnd, 400, 20);
  ui::headless::MouseDown(game.m_hWnd, 400, 20);
  EXPECT_TRUE(ui::headless::DragActive());
  ui::headless::MouseUp(game.m_hWnd, 400, 20);

  ClickButton(game, restore);
  EXPECT_FALSE(game.m_bMaximized);
  EXPECT_FALSE(game.IsZoomed());
  EXPECT_TRUE(max->IsWindowVisible());
  EXPECT_FALSE(restore->IsWindowVisible());

  // Title double-click toggles; below the title band it does nothing.
  ui::headless::AdvanceClock(1000);
  ui::headless::Click(game.m_hWnd, 150, 20);
  ui::headless::Click(game.m_hWnd, 150, 20);
  EXPECT_TRUE(game.m_bMaximized);
  EXPECT_TRUE(restore->IsWindowVisible());
  ui::headless::AdvanceClock(1000);
  game.m_bMaximized = FALSE;
  game.ApplyMaximize();
  // The left margin strip, below the band.
  ui::headless::Click(game.m_hWnd, 1, 300);
  ui::headless::Click(game.m_hWnd, 1, 300);
  EXPECT_FALSE(game.m_bMaximized);
}

TEST_F(ClientWindowsTest, ResizeZonesUnderTheMouse) {
  struct Case {
    int border, x, y, zone;
    Cursor cursor;
  } cases[] = {
      {2, 0, 0, 13, Cursor::SizeNWSE},     {2, 10, 10, 13, Cursor::SizeNWSE},  {2, 799, 0, 14, Cursor::SizeNESW},
      {2, 0, 599, 16, Cursor::SizeNESW},   {2, 799, 599, 17, Cursor::SizeNWSE}, {2, 1, 300, 10, Cursor::SizeWE},
      {2, 798, 300, 11, Cursor::SizeWE},   {2, 600, 2, 12, Cursor::SizeNS},     {2, 400, 598, 15, Cursor::SizeNS},
      {2, 400, 20, 0, Cursor::Arrow},      {2, 11, 300, 0, Cursor::Arrow},
      // Border 0: the left and top edges keep a one-pixel zone, right and bottom have none.
      {0, 0, 300, 10, Cursor::SizeWE},     {0, 600, 0, 12, Cursor::SizeNS},     {0, 799, 300, 0, Cursor::Arrow},
      {0, 400, 599, 0, Cursor::Arrow},     {0, 5, 5, 13, Cursor::SizeNWSE},
  };
  for (const Case& c : cases) {
    CGameWnd& game = Game(GameSkin(3, c.border));
    // The page covers most of the window; zones are tested on the window's own surface.
    game.m_view.ShowWindow(SW_HIDE);
    game.Show(TRUE);
    ui::headless::MouseMove(game.m_hWnd, c.x, c.y);
    EXPECT_EQ(game.m_nHitZone, c.zone) << c.border << ": " << c.x << "," << c.y;
    EXPECT_EQ(ui::headless::CurrentCursor(), c.cursor) << c.border << ": " << c.x << "," << c.y;
  }

  // A press in a corner zone resizes and stops at the design size.
  CGameWnd& game = Game(GameSkin(3));
  game.Show(TRUE);
  game.MoveWindow(100, 100, 900, 700, TRUE);
  ui::headless::MouseMove(game.m_hWnd, 899, 699);
  ui::headless::MouseDown(game.m_hWnd, 899, 699);
  EXPECT_TRUE(ui::headless::DragActive());
  ui::headless::MouseMove(game.m_hWnd, 500, 400);
  ui::headless::MouseUp(game.m_hWnd, 500, 400);
  RECT r;
  game.GetWindowRect(&r);
  EXPECT_EQ(r.Width(), 800);
  EXPECT_EQ(r.Height(), 600);
}

TEST_F(ClientWindowsTest, ReloadPrefersTheServicesAddressF5AndHotKeysRefresh) {
  CGameWnd& game = Game(GameSkin(3));
  game.Show(TRUE);
  ScriptedEngine* engine = Playing(game);

  // "refresh" with an address from the service: asked twice, the second answer is loaded.
  host_->gameUrls = {"http://game.example/first", "http://game.example/second"};
  ClickButton(game, game.FindButton("refresh"));
  EXPECT_EQ(host_->reasons, (std::vector<int>{1, 1}));
  EXPECT_EQ(engine->NavigateCalls().back(), "http://game.example/second");
  EXPECT_EQ(engine->RefreshCount(), 0);
  // Without an address: a reload of the current page.
  ClickButton(game, game.FindButton("refresh"));
  EXPECT_EQ(engine->RefreshCount(), 1);

  // F5 reloads even when the service would give an address, and is consumed.
  host_->gameUrls = {"http://game.example/third", "http://game.example/fourth"};
  EXPECT_TRUE(ui::headless::KeyDown(game.m_hWnd, VK_F5));
  EXPECT_EQ(engine->RefreshCount(), 2);
  EXPECT_FALSE(ui::headless::KeyDown(game.m_hWnd, 0x75));  // F6 goes on to the page
  host_->gameUrls.clear();

  SendMessage(game.m_hWnd, WM_HOTKEY, HOTKEY_ID_REFRESH, 0);
  EXPECT_EQ(engine->RefreshCount(), 3);
  SendMessage(game.m_hWnd, WM_HOTKEY, 0x99, 0);
  EXPECT_TRUE(game.IsWindowVisible());
  SendMessage(game.m_hWnd, WM_HOTKEY, HOTKEY_ID_HIDE, 0);
  EXPECT_FALSE(game.IsWindowVisible());
}

TEST_F(ClientWindowsTest, CacheButtonClearsThenReloads) {
  CGameWnd& game = Game(GameSkin(3));
  game.Show(TRUE);
  ScriptedEngine* engine = Playing(game);
  ClickButton(game, game.FindButton("cache"));
  ScriptedEngine::PumpEverything();
  ASSERT_TRUE(ui::PumpUntil(
      [&] {
        ScriptedEngine::PumpAll();
        return engine->RefreshCount() == 1;
      },
      10000));
  ASSERT_FALSE(ScriptedEngine::SiteDataClearings().empty());
  EXPECT_EQ(ScriptedEngine::SiteDataClearings().back(), ClientConfig::Get()->GetCache());
}

TEST_F(ClientWindowsTest, ButtonTableAndClose) {
  CGameWnd& game = Game(GameSkin(3));
  game.Show(TRUE);
  ScriptedEngine* engine = Playing(game);
  for (const char* name : {"home", "bbs", "kf", "refresh", "lock", "pay", "more", "vip", "host", "cache"})
    EXPECT_TRUE(game.FindButton(name)->handCursor) << name;
  EXPECT_FALSE(game.FindButton("close")->handCursor);

  // Buttons without an action leave the window as it is.
  for (const char* name : {"more", "lock", "server", "host", "maximize"}) {
    SkinButtonInfo info;
    info.name = name;
    game.OnSkinCommand(info);
  }
  EXPECT_TRUE(game.IsWindowVisible());
  EXPECT_FALSE(game.m_bMaximized);
  SkinButtonInfo upper;
  upper.name = "MAX";
  game.OnSkinCommand(upper);
  EXPECT_TRUE(game.m_bMaximized);

  ClickButton(game, game.FindButton("min"));
  EXPECT_TRUE(game.IsIconic());
  game.Show(TRUE);
  ClickButton(game, game.FindButton("pack"));
  EXPECT_FALSE(game.IsWindowVisible());
  EXPECT_FALSE(game.IsIconic());
  game.Show(TRUE);
  host_->tray = false;
  ClickButton(game, game.FindButton("pack"));
  EXPECT_TRUE(game.IsIconic()) << "no tray: to the taskbar";
  game.Show(TRUE);

  // Close, the button or WM_CLOSE: the page goes to the close address, the window stays.
  ClickButton(game, game.FindButton("close"));
  EXPECT_EQ(engine->NavigateCalls().back(), "about:blank3");
  SendMessage(game.m_hWnd, WM_CLOSE, 0, 0);
  ScriptedEngine::PumpEverything();
  EXPECT_EQ(engine->NavigateCalls().back(), "about:blank3");
  EXPECT_TRUE(IsWindow(game.m_hWnd));
  EXPECT_TRUE(game.IsWindowVisible());
}

TEST_F(ClientWindowsTest, PageNamesAndFlashesTheVipButton) {
  CGameWnd& game = Game(GameSkin(3));
  game.Show(TRUE);
  CSkinButton* vip = game.FindButton("vip");
  SendMessage(game.m_hWnd, WM_VIPBUTTON_SETTEXT, 0, reinterpret_cast<LPARAM>("琥珀一区"));
  EXPECT_EQ(vip->info.title, "琥珀一区");
  SendMessage(game.m_hWnd, WM_VIPBUTTON_SETTEXT, 0, 0);
  EXPECT_EQ(vip->info.title, "");

  // A megabyte of text is cut to a caption, whole characters only.
  std::string huge;
  while (huge.size() < (1u << 20)) huge += "字";
  EXPECT_EQ(SendMessage(game.m_hWnd, WM_VIPBUTTON_SETTEXT, 0, reinterpret_cast<LPARAM>(huge.c_str())), 0);
  EXPECT_EQ(vip->info.title.size(), CGameWnd::kMaxVipTextChars * 3);
  ui::PumpUntilIdle();

  SendMessage(game.m_hWnd, WM_VIPBUTTON_FLASH, 0, 0);
  SendMessage(game.m_hWnd, WM_VIPBUTTON_FLASH, 0, 0);
  EXPECT_TRUE(vip->IsFlashing());
  ClickButton(game, vip);
  EXPECT_FALSE(vip->IsFlashing());
  SendMessage(game.m_hWnd, WM_VIPBUTTON_FLASH, 0, 0);
  EXPECT_TRUE(vip->IsFlashing());

  // Without a "vip" button both messages only return 0.
  CGameWnd& plain = Game();
  EXPECT_EQ(SendMessage(plain.m_hWnd, WM_VIPBUTTON_SETTEXT, 0, reinterpret_cast<LPARAM>("x")), 0);
  EXPECT_EQ(SendMessage(plain.m_hWnd, WM_VIPBUTTON_FLASH, 0, 0), 0);
}

}  // namespace
