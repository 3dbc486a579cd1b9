// The browser view with the real engine (WebKitGTK) on a private Xvfb, against
// the stand-in operator's test pages: page commands by each route, frames
// ignored, the external object, the title, the close address, new windows,
// floods and a killed web process.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "browser/IEView.h"
#include "platform/ui/EventLoop.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/VirtualDisplay.h"
#include "tools/operator/OperatorProcess.h"

namespace {

constexpr int kWaitMs = 20000;

OperatorProcess* g_operator = nullptr;
std::string g_tempDir;
std::string g_openerLog;

class E2EEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char dir[] = "/tmp/torvane-browser-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    g_tempDir = dir;
    setenv("XDG_DATA_HOME", (g_tempDir + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (g_tempDir + "/cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (g_tempDir + "/config").c_str(), 1);
    // New windows the client leaves alone go to this "browser".
    g_openerLog = g_tempDir + "/opened.txt";
    std::string opener = g_tempDir + "/opener.sh";
    std::ofstream(opener) << "#!/bin/sh\necho \"$1\" >> '" << g_openerLog << "'\n";
    chmod(opener.c_str(), 0755);
    setenv("TORVANE_OPENER", opener.c_str(), 1);
    ASSERT_TRUE(m_display.Start());
    ASSERT_TRUE(ui::InitializeWith(ui::BackendKind::Gtk));
    m_operator = std::make_unique<OperatorProcess>();
    ASSERT_TRUE(m_operator->Start());
    g_operator = m_operator.get();
  }
  void TearDown() override {
    g_operator = nullptr;
    m_operator.reset();
    ui::Shutdown();
    m_display.Stop();
    if (!g_tempDir.empty()) std::system(("rm -rf '" + g_tempDir + "'").c_str());
  }

 private:
  VirtualDisplay m_display;
  std::unique_ptr<OperatorProcess> m_operator;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new E2EEnvironment);

// A view that also records the events it gets, in order.
class LoggingView : public CIEView {
 public:
  std::vector<std::string> events;

 protected:
  void OnBeforeNavigate2(web::DocumentRef doc, const std::string& url, bool* cancel) override {
    CIEView::OnBeforeNavigate2(doc, url, cancel);
    events.push_back(std::string("BeforeNavigate2 ") + (GetBrowser()->IsTopLevel(doc) ? "top " : "frame ") + url +
                     (*cancel ? " cancelled" : ""));
  }
  void OnNavigateComplete2(const std::string& url) override {
    events.push_back("NavigateComplete2 " + GetLocationURL());
    CIEView::OnNavigateComplete2(url);
  }
  void OnDocumentComplete(web::DocumentRef doc, const std::string& url) override {
    events.push_back("DocumentComplete " + url);
    CIEView::OnDocumentComplete(doc, url);
  }
};

class BrowserE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    host.config["gameCheck"] = "/test/browser/game";
    host.config["loginCheck"] = "/login.do";
    ASSERT_TRUE(frame.CreateTop());
    host.mainFrame = frame.m_hWnd;
    ASSERT_TRUE(game.CreateTop());
    ASSERT_TRUE(parent.CreateTop());
    parent.ShowWindow(SW_SHOW);
    g_pIEViewHost = &host;
    ASSERT_TRUE(view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 1, 1}, parent.m_hWnd, 0x83));
    view.MoveWindow(0, 0, 800, 600, TRUE);
    ASSERT_NE(view.GetBrowser(), nullptr);
  }
  void TearDown() override {
    view.DestroyWindow();
    g_pIEViewHost = nullptr;
    ui::PumpUntilIdle();
  }

  std::string Url(const std::string& page) { return g_operator->Url("/test/browser/" + page); }
  bool Has(const std::string& event) const {
    for (const std::string& e : view.events)
      if (e == event) return true;
    return false;
  }
  bool WaitFor(const std::string& event) {
    return ui::PumpUntil([&] { return Has(event); }, kWaitMs);
  }
  bool LoadAndWait(const std::string& url) {
    view.events.clear();
    view.Navigate(url);
    return WaitFor("DocumentComplete " + url);
  }
  bool WaitForName(const std::string& name) {
    return ui::PumpUntil(
        [&] {
          for (auto& e : game.Of(WM_VIPBUTTON_SETTEXT))
            if (e.text == name) return true;
          return false;
        },
        kWaitMs);
  }
  std::string Events() const {
    std::string out;
    for (const std::string& e : view.events) out += e + "\n";
    return out;
  }
  // A real click (xdotool) in the middle of the view: pages may open windows
  // only from a user's click.
  void ClickView() {
    Settle();
    RECT r;
    GetWindowRect(view.m_hWnd, &r);
    std::string cmd = "xdotool mousemove " + std::to_string((r.left + r.right) / 2) + " " +
                      std::to_string((r.top + r.bottom) / 2) + " click 1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  // Lets whatever else the engine was going to report arrive.
  void Settle() { ui::PumpUntil([] { return false; }, 300); }

  RecordingHost host;
  MessageLogWnd frame, game, parent;
  LoggingView view;
};

TEST_F(BrowserE2E, LinkToMinimizeIsCancelledAndReachesTheLauncher) {
  ASSERT_TRUE(LoadAndWait(Url("commands.html#link"))) << Events();
  ASSERT_TRUE(WaitFor("BeforeNavigate2 top app://minimize| cancelled")) << Events();
  EXPECT_EQ(host.launcherShows, std::vector<BOOL>{FALSE});
  Settle();
  EXPECT_EQ(view.GetLocationURL(), Url("commands.html#link"));
}

TEST_F(BrowserE2E, ScriptCreatedLinkReachesThePolicy) {
  ASSERT_TRUE(LoadAndWait(Url("commands.html#scriptlink"))) << Events();
  ASSERT_TRUE(WaitFor("BeforeNavigate2 top app://minimize| cancelled")) << Events();
  EXPECT_EQ(host.launcherShows, std::vector<BOOL>{FALSE});
}

TEST_F(BrowserE2E, FormToExitAsksTheQuitQuestion) {
  ASSERT_TRUE(LoadAndWait(Url("commands.html#form"))) << Events();
  ASSERT_TRUE(ui::PumpUntil([&] { return host.quitQuestions == 1; }, kWaitMs)) << Events();
}

TEST_F(BrowserE2E, LoadgameOpensTheGameAtTheAddressAfterTheBar) {
  ASSERT_TRUE(LoadAndWait(Url("commands.html#loadgame"))) << Events();
  ASSERT_TRUE(ui::PumpUntil([&] { return !host.openedGames.empty(); }, kWaitMs)) << Events();
  EXPECT_EQ(host.openedGames[0], "http://127.0.0.1/test/browser/game.html?ID=Ab");
}

TEST_F(BrowserE2E, LocationAssignmentOfACommandIsRejectedByTheEngine) {
  host.gameWnd = game.m_hWnd;
  ASSERT_TRUE(LoadAndWait(Url("commands.html#script"))) << Events();
  ASSERT_TRUE(WaitForName("script:rejected")) << Events();
  EXPECT_TRUE(host.launcherShows.empty());
}

TEST_F(BrowserE2E, CommandsInsideAFrameAreIgnored) {
  host.gameWnd = game.m_hWnd;
  ASSERT_TRUE(LoadAndWait(Url("commands.html#frame"))) << Events();
  ASSERT_TRUE(WaitForName("frame:clicked")) << Events();
  Settle();
  EXPECT_TRUE(Has("BeforeNavigate2 frame app://minimize|")) << Events();
  EXPECT_TRUE(host.launcherShows.empty()) << Events();
  EXPECT_EQ(host.quitQuestions, 0) << Events();
  EXPECT_EQ(view.GetLocationURL(), Url("commands.html#frame"));
}

// A frame that loads a game address is a frame, also after navigations that
// the engine shows without asking first ("about:blank3", addresses it cannot
// parse): none of them leaves the view expecting a navigation of its own.
TEST_F(BrowserE2E, AFrameWithAGameAddressStaysAFrameAfterUnaskedNavigations) {
  host.gameWnd = game.m_hWnd;
  // Each one is let run to its end (the engine shows an error page for some),
  // so that none of them can overtake the page loaded next.
  for (const char* address : {"about:blank3", "", "not a url at all", "http://[::1"}) {
    view.events.clear();
    view.Navigate(address);
    std::string done = std::string("DocumentComplete ") + address;
    ui::PumpUntil([&] { return Has(done); }, 3000);
    Settle();
  }
  ASSERT_TRUE(LoadAndWait(Url("commands.html#gameframe"))) << Events();
  ASSERT_TRUE(WaitForName("gameframe:loaded")) << Events();
  Settle();
  EXPECT_TRUE(host.openedGames.empty()) << Events();
  EXPECT_EQ(view.GetLocationURL(), Url("commands.html#gameframe"));
}

TEST_F(BrowserE2E, GetGsNameReachesTheGameWindowAndTitleTheParent) {
  host.gameWnd = game.m_hWnd;
  ASSERT_TRUE(LoadAndWait(Url("commands.html#gsname"))) << Events();
  ASSERT_TRUE(WaitForName("x"));
  ASSERT_TRUE(ui::PumpUntil(
      [&] {
        for (auto& e : parent.Of(WM_BROWSER_TITLE))
          if (e.text == "Commands Page") return true;
        return false;
      },
      kWaitMs));
}

TEST_F(BrowserE2E, CloseAddressCompletesInOrderAndRunsTheCloseProtocol) {
  // The view lives in the game window here.
  host.gameWnd = parent.m_hWnd;
  host.gameMode = true;
  ASSERT_TRUE(LoadAndWait(Url("game.html"))) << Events();
  EXPECT_TRUE(host.openedGames.empty()) << "a game address in the game window navigates";
  ASSERT_TRUE(LoadAndWait("about:blank3")) << Events();
  std::vector<std::string> order;
  for (const std::string& e : view.events)
    if (e.find("about:blank3") != std::string::npos && e.rfind("BeforeNavigate2", 0) != 0) order.push_back(e);
  EXPECT_EQ(order, (std::vector<std::string>{"NavigateComplete2 about:blank3", "DocumentComplete about:blank3"}));
  EXPECT_EQ(host.retiredGameWnd, parent.m_hWnd);
  EXPECT_FALSE(host.gameMode);
  EXPECT_EQ(host.launcherShows, std::vector<BOOL>{TRUE});
  ASSERT_TRUE(ui::PumpUntil([&] { return frame.Of(WM_RELEASE_GAMEWND).size() == 1; }, kWaitMs));
}

TEST_F(BrowserE2E, NewWindowWithoutGameCheckGoesToTheDesktopBrowser) {
  std::remove(g_openerLog.c_str());
  ASSERT_TRUE(LoadAndWait(Url("newwindow.html#other"))) << Events();
  ClickView();
  auto opened = [] {
    std::ifstream in(g_openerLog);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  ASSERT_TRUE(ui::PumpUntil([&] { return !opened().empty(); }, kWaitMs));
  EXPECT_EQ(opened(), Url("other.html") + "\n");
  EXPECT_TRUE(host.openedGames.empty());
  EXPECT_EQ(view.GetLocationURL(), Url("newwindow.html#other")) << "nothing opened inside the client";

  ASSERT_TRUE(LoadAndWait(Url("newwindow.html?again#game"))) << Events();
  ClickView();
  ASSERT_TRUE(ui::PumpUntil([&] { return !host.openedGames.empty(); }, kWaitMs));
  EXPECT_EQ(host.openedGames[0], Url("game.html?from=popup"));
  Settle();
  EXPECT_EQ(opened(), Url("other.html") + "\n") << "a game window request is not handed on";
}

TEST_F(BrowserE2E, FloodingTheExternalObjectNeitherCrashesNorHangs) {
  host.gameWnd = game.m_hWnd;
  view.Navigate(Url("flood.html"));
  ASSERT_TRUE(ui::PumpUntil(
      [&] {
        for (auto& e : parent.Of(WM_BROWSER_TITLE))
          if (e.text == "flood done") return true;
        return false;
      },
      60000));
  EXPECT_FALSE(game.Of(WM_VIPBUTTON_SETTEXT).empty());
  for (auto& e : game.Of(WM_VIPBUTTON_SETTEXT)) EXPECT_LE(e.text.size(), web::kMaxExternalText);
  EXPECT_TRUE(host.launcherShows.empty());
  // Still responsive: the next page loads once the web process has worked
  // through the flood (it can take long on a busy machine running other
  // tests beside this one).
  view.events.clear();
  view.Navigate(Url("other.html"));
  ASSERT_TRUE(ui::PumpUntil([&] { return Has("DocumentComplete " + Url("other.html")); }, 90000)) << Events();
}

TEST_F(BrowserE2E, AddressesOfAnyKindAreHandled) {
  const std::string addresses[] = {
      std::string("http://127.0.0.1:1/") + std::string(100000, 'a'),
      "not a url at all",
      "http://[::1",
      "app://minimize",
      "javascript:void(0)",
      "data:text/html,<title>d</title>",
      std::string("http://127.0.0.1/\x01\x02\xff\xfe"),
      "",
  };
  for (const std::string& a : addresses) {
    view.Navigate(a);
    ui::PumpUntil([] { return false; }, 100);
  }
  ASSERT_TRUE(LoadAndWait(Url("other.html"))) << Events();
  EXPECT_TRUE(host.launcherShows.empty());
}

std::vector<pid_t> WebProcesses() {
  std::vector<pid_t> out;
  DIR* proc = opendir("/proc");
  if (!proc) return out;
  while (dirent* d = readdir(proc)) {
    pid_t pid = std::atoi(d->d_name);
    if (pid <= 0) continue;
    std::ifstream stat(std::string("/proc/") + d->d_name + "/stat");
    std::string line;
    std::getline(stat, line);
    auto close = line.rfind(')');
    if (close == std::string::npos || line.find("(WebKitWebProces") == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    char state;
    pid_t ppid;
    rest >> state >> ppid;
    if (ppid == getpid()) out.push_back(pid);
  }
  closedir(proc);
  return out;
}

TEST_F(BrowserE2E, KilledWebProcessIsReportedAndThePageReloadedOnce) {
  ASSERT_TRUE(LoadAndWait(Url("other.html"))) << Events();
  std::vector<pid_t> pids = WebProcesses();
  ASSERT_FALSE(pids.empty());
  view.events.clear();
  for (pid_t p : pids) kill(p, SIGKILL);
  ASSERT_TRUE(WaitFor("DocumentComplete " + Url("other.html"))) << Events();
}

}  // namespace
