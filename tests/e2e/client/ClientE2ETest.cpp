// The whole client end to end: the built test clients (tests/fixtures/client*)
// on the gtk backend with WebKitGTK, under a private Xvfb with no window
// manager and under openbox, against the stand-in operator on the tests'
// fixed port 18651. Input comes from xdotool; what the client does is read
// from the screen (`import -window root`, checked by pixels), from the X
// windows of its process (mapped, geometry, iconic, _NET_WM_STATE), from the
// operator's request log, from its exit status and from its settings store.
//
// Every case starts one client and walks it through several steps.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/Resources.h"
#include "platform/gfx/Png.h"
#include "platform/net/DownloadCache.h"
#include "skin/SkinDocument.h"
#include "tests/support/ClientProcess.h"
#include "tests/support/DesktopProbe.h"
#include "tests/support/VirtualDisplay.h"
#include "tools/operator/OperatorProcess.h"
#include "tools/skin/SkinCompose.h"

namespace {

// The port every test client's configuration names.
constexpr int kPort = 18651;
// The test clients' product title and the windows' titles.
const std::string kProduct = "琥珀航线测试";
const std::string kGameTitle = kProduct + " Ver 1.0.0.1";
const std::string kLauncherTitle = "琥珀航线";
constexpr int kLauncherWidth = 1222, kLauncherHeight = 780;
constexpr int kGameWidth = 1250, kGameHeight = 690;
// The launcher's page rectangle "ie" in its client area.
constexpr int kPageLeft = 471, kPageTop = 262, kPageWidth = 680, kPageHeight = 370;
// The home page's flat band (tools/operator/www/README.md).
constexpr std::uint32_t kBand = 0x1b2a4a;
// The "vip" button's plain image colour (tests/fixtures/client/png/900.png).
constexpr std::uint32_t kVipFace = 0x3a2a10;
// The test launcher page's ticker colours (www/test/client/launcher.html).
constexpr std::uint32_t kTickA = 0xff00ff, kTickB = 0x00ffff;

constexpr int kReadyMs = 90000;  // a client's first start on a busy machine builds WebKit's caches
constexpr int kWaitMs = 20000;
constexpr int kPageMs = 45000;  // a page's first load in a fresh profile

std::string g_root;  // the test run's temporary folder
int g_shots = 0;

std::string Bin(const std::string& name) { return std::string(std::getenv("TORVANE_TEST_BIN")) + "/" + name; }

std::uint32_t Rgb(std::uint32_t p) { return p & 0xFFFFFF; }
bool Near(std::uint32_t a, std::uint32_t b, int tolerance = 2) {
  for (int shift : {0, 8, 16})
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > tolerance)
      return false;
  return true;
}
std::uint32_t At(const gfx::Surface& s, int x, int y) {
  if (x < 0 || y < 0 || x >= s.width() || y >= s.height()) return 0xFFFFFFFF;
  return Rgb(s.Pixel(x, y));
}
// How many pixels of the rectangle are (near) colour c.
int Count(const gfx::Surface& s, int x0, int y0, int w, int h, std::uint32_t c) {
  int n = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) n += Near(At(s, x, y), c);
  return n;
}

enum class Wm { None, Openbox };
std::string WmName(Wm wm) { return wm == Wm::None ? "none" : "openbox"; }
void PrintTo(Wm wm, std::ostream* os) { *os << WmName(wm); }

// The skin the test clients embed (this test embeds it too), read once.
SkinDocument& Skin() {
  static SkinDocument* doc = [] {
    auto* d = new SkinDocument();
    d->LoadFromResource();
    return d;
  }();
  return *doc;
}
SkinScene& Scene(const std::string& element) {
  static SkinScene* launcher = new SkinScene(LoadScene(Skin(), "MAINWND"));
  static SkinScene* game = new SkinScene(LoadScene(Skin(), "GAMEWND"));
  return element == "MAINWND" ? *launcher : *game;
}
SkinScene& GameScene() { return Scene("GAMEWND"); }

struct Box {
  int x = 0, y = 0, w = 0, h = 0;
  int cx() const { return x + w / 2; }
  int cy() const { return y + h / 2; }
};

// A button's rectangle in its window, anchored as the skin says, for a
// client area clientWidth wide.
Box SkinButton(const std::string& element, const std::string& name, int clientWidth) {
  SkinScene& scene = Scene(element);
  for (std::size_t i = 0; i < scene.buttons.size(); ++i) {
    const SkinButtonInfo& b = scene.buttons[i];
    if (b.name != name || !scene.buttonImages[i]) continue;
    int w = scene.buttonImages[i]->GetWidth(), h = scene.buttonImages[i]->GetHeight();
    int x = b.align == "TopRight" ? clientWidth - w - b.left : b.left;
    return Box{x, b.top, w, h};
  }
  ADD_FAILURE() << "no button " << name << " in " << element;
  return Box{};
}
Box GameButton(const std::string& name, int clientWidth) { return SkinButton("GAMEWND", name, clientWidth); }
Box LauncherButton(const std::string& name) { return SkinButton("MAINWND", name, kLauncherWidth); }

// The share of a PNG resource's opaque pixels that the screen shows at (ox, oy).
double ImageShown(const gfx::Surface& shot, int ox, int oy, int pngId) {
  auto bytes = res::Find("PNG", pngId);
  if (!bytes) return 0;
  gfx::Surface image = gfx::DecodePng(*bytes);
  int opaque = 0, same = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      std::uint32_t p = image.Pixel(x, y);
      if (image.hasAlpha() && (p >> 24) != 255) continue;
      ++opaque;
      same += Near(At(shot, ox + x, oy + y), Rgb(p));
    }
  return opaque ? static_cast<double>(same) / opaque : 0;
}

// The home page's band lies exactly over the launcher's page rectangle whose
// top-left corner is at (px, py) on the screen: its bare rows and middle
// are the band's colour, and the pixels just outside the rectangle are not.
bool HomeBandAt(const gfx::Surface& s, int px, int py, std::string* why = nullptr) {
  auto fail = [&](const std::string& what) {
    if (why) *why = what;
    return false;
  };
  for (int row : {0, 3, 36, 39})
    if (Count(s, px, py + row, kPageWidth, 1, kBand) != kPageWidth) return fail("band row " + std::to_string(row));
  if (Count(s, px + 280, py, 181, 40, kBand) != 181 * 40) return fail("band middle");
  if (Near(At(s, px - 1, py + 2), kBand) || Near(At(s, px + kPageWidth, py + 2), kBand))
    return fail("band wider than the rectangle");
  if (Count(s, px + 280, py - 1, 181, 1, kBand) != 0) return fail("band above the rectangle");
  if (Count(s, px + 280, py + 40, 181, 1, kBand) != 0) return fail("band taller than 40 rows");
  return true;
}

// The game page (its sea colour where no sprite ever is: the top-right
// corner and the bottom strip) shows in the game window's page rectangle,
// whose top-left corner is 2, 32 in the window at (ox, oy), w x h.
constexpr std::uint32_t kSea = 0x0e1a33;
bool GamePageShown(const gfx::Surface& s, int ox, int oy, int w, int h) {
  const int px = ox + 2, py = oy + 32, pw = w - 4, ph = h - 34;
  return Count(s, px + pw - 190, py + 2, 180, 36, kSea) == 180 * 36 &&
         Count(s, px + 20, py + ph - 14, pw - 40, 12, kSea) == (pw - 40) * 12;
}

// What the "vip" button shows at (x, y): its plain image, the image with a
// caption, or nothing (a blinking button between two blinks).
enum class Vip { Plain, Caption, Blank, Other };
Vip VipState(const gfx::Surface& s, const Box& vip, int ox, int oy) {
  const int x = ox + vip.x + 2, y = oy + vip.y + 2, w = vip.w - 4, h = vip.h - 4;
  const int face = Count(s, x, y, w, h, kVipFace);
  if (face == w * h) return Vip::Plain;
  if (face >= w * h / 3) {
    int bright = 0;
    for (int yy = y; yy < y + h; ++yy)
      for (int xx = x; xx < x + w; ++xx) bright += ((At(s, xx, yy) >> 16) & 0xFF) > 0xC0;
    return bright >= 10 ? Vip::Caption : Vip::Other;
  }
  return face * 20 < w * h ? Vip::Blank : Vip::Other;
}

class Environment : public ::testing::Environment {
 public:
  void SetUp() override {
    char dir[] = "/tmp/torvane-client-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    g_root = dir;
    ASSERT_TRUE(m_display.Start());
    // The embedded skin and images are this test's own resources.
    ASSERT_FALSE(GameScene().buttons.empty());
    ASSERT_FALSE(Scene("MAINWND").buttons.empty());
  }
  void TearDown() override {
    m_display.Stop();
    if (!g_root.empty() && !std::getenv("TORVANE_E2E_KEEP")) std::system(("rm -rf '" + g_root + "'").c_str());
  }

 private:
  VirtualDisplay m_display;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

// One case: its folder, the window manager, the operator, one client.
class ClientE2EBase : public ::testing::Test {
 protected:
  void StartDesktop(Wm wm) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
      if (c == '/' || c == ' ') c = '_';
    m_dir = g_root + "/" + name;
    ASSERT_EQ(std::system(("mkdir -p '" + m_dir + "/home'").c_str()), 0);
    m_opened = m_dir + "/opened.txt";
    std::string opener = m_dir + "/opener.sh";
    FILE* f = std::fopen(opener.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "#!/bin/sh\necho \"$1\" >> '%s'\n", m_opened.c_str());
    std::fclose(f);
    chmod(opener.c_str(), 0755);
    // This process reads and plants the client's download cache.
    setenv("XDG_CACHE_HOME", (m_dir + "/cache").c_str(), 1);
    ASSERT_TRUE(m_probe.Open());
    m_wm = wm;
    if (wm == Wm::Openbox) {
      ASSERT_TRUE(m_openbox.StartOpenbox(m_probe, kWaitMs, m_dir + "/openbox.log")) << "openbox did not start";
    }
    ASSERT_EQ(m_probe.WindowManagerRuns(), wm == Wm::Openbox);
    m_work = m_probe.WorkArea();
    DesktopProbe::Xdo("mousemove 5 1000");
  }

  void StartOperator(std::vector<std::string> args = {}) {
    args.push_back("--exit-with-parent");
    m_operator = std::make_unique<OperatorProcess>(args);
    ASSERT_TRUE(m_operator->Start(kPort)) << "the operator did not start on port " << kPort;
  }

  // Starts a test client, under argv0 when given, and waits for its loop.
  void StartClient(const std::string& variant, const std::string& argv0 = "") {
    ClientProcess::Options o;
    o.path = Bin(variant);
    if (!argv0.empty()) {
      std::string link = m_dir + "/" + argv0;
      ASSERT_EQ(symlink(o.path.c_str(), link.c_str()), 0) << link;
      o.path = link;
    }
    o.env = {"TORVANE_BACKEND=gtk",
             "XDG_CONFIG_HOME=" + m_dir + "/config",
             "XDG_CACHE_HOME=" + m_dir + "/cache",
             "XDG_DATA_HOME=" + m_dir + "/data",
             "HOME=" + m_dir + "/home",
             "NO_AT_BRIDGE=1",
             // No session bus: the tray icon is the XEmbed one or none.
             "DBUS_SESSION_BUS_ADDRESS=unix:path=" + m_dir + "/no-bus",
             "TORVANE_OPENER=" + m_dir + "/opener.sh"};
    o.errPath = m_dir + "/client.err";
    o.outPath = m_dir + "/client.out";
    o.readyPipe = true;
    ASSERT_TRUE(m_client.Start(o));
    ASSERT_TRUE(m_client.WaitReady(kReadyMs)) << "the client never reached its loop: " << m_client.Describe()
                                              << "\n" << m_client.Stderr();
  }

  void TearDown() override {
    if (m_client.Pid() > 0 && !m_client.Ended()) {
      EXPECT_TRUE(m_client.Stop(20000)) << "the client did not end on SIGTERM";
    }
    m_trayer.Stop();
    m_openbox.Stop();
    m_operator.reset();
    m_probe.Close();
  }

  // ---- the client's windows ----
  std::optional<ProbedWindow> Launcher() {
    return m_probe.FindWindow(m_client.Pid(), [](const ProbedWindow& w) {
      return w.title == kLauncherTitle && !w.overrideRedirect && w.width == kLauncherWidth &&
             w.height == kLauncherHeight;
    });
  }
  std::optional<ProbedWindow> GameWindow() {
    return m_probe.FindWindow(m_client.Pid(), [](const ProbedWindow& w) {
      return w.title == kGameTitle && !w.overrideRedirect && w.width >= kGameWidth && w.height >= kGameHeight;
    });
  }
  std::optional<ProbedWindow> Dialog() {
    return m_probe.FindWindow(m_client.Pid(), [](const ProbedWindow& w) {
      return w.viewable && w.type == "_NET_WM_WINDOW_TYPE_DIALOG";
    });
  }
  int ViewableDialogs() {
    int n = 0;
    for (const ProbedWindow& w : m_probe.WindowsOf(m_client.Pid()))
      n += w.viewable && w.type == "_NET_WM_WINDOW_TYPE_DIALOG";
    return n;
  }
  std::optional<ProbedWindow> TrayIcon() {
    return m_probe.FindWindow(m_client.Pid(), [](const ProbedWindow& w) {
      return w.viewable && !w.overrideRedirect && w.title == kGameTitle && w.width <= 64 && w.height <= 64;
    });
  }
  std::optional<ProbedWindow> PopupMenu() {
    return m_probe.FindWindow(m_client.Pid(), [](const ProbedWindow& w) {
      return w.viewable && w.overrideRedirect && w.type == "_NET_WM_WINDOW_TYPE_POPUP_MENU";
    });
  }

  // Waits until the window is there and pred holds for it; the last state seen.
  std::optional<ProbedWindow> WaitWindow(const std::function<std::optional<ProbedWindow>()>& find,
                                         const std::function<bool(const ProbedWindow&)>& pred,
                                         int timeoutMs = kWaitMs) {
    std::optional<ProbedWindow> w;
    DesktopProbe::WaitUntil(
        [&] {
          w = find();
          return w && pred(*w);
        },
        timeoutMs);
    return w;
  }
  std::optional<ProbedWindow> WaitLauncherShown() {
    return WaitWindow([&] { return Launcher(); }, [](const ProbedWindow& w) { return w.viewable; });
  }
  static std::string Describe(const std::optional<ProbedWindow>& w) {
    if (!w) return "no window";
    return std::to_string(w->width) + "x" + std::to_string(w->height) + "+" + std::to_string(w->x) + "+" +
           std::to_string(w->y) + (w->viewable ? " viewable" : " not viewable") + (w->iconic ? " iconic" : "");
  }
  bool IsMaximised(const ProbedWindow& w) const {
    return w.viewable && w.x == m_work.x && w.y == m_work.y && w.width == m_work.width &&
           w.height == m_work.height;
  }
  bool IsRestoredCentred(const ProbedWindow& w) const {
    return w.viewable && w.width == kGameWidth && w.height == kGameHeight &&
           w.x == m_work.x + (m_work.width - kGameWidth) / 2 && w.y == m_work.y + (m_work.height - kGameHeight) / 2;
  }

  // ---- the screen ----
  gfx::Surface Shot(const std::string& what) {
    char name[32];
    std::snprintf(name, sizeof name, "%03d-", ++g_shots);
    return DesktopProbe::Screenshot(m_dir + "/" + name + what + ".png");
  }
  // Takes screenshots until ok holds for one; the last one. (A few a second:
  // each costs the machine the client runs on.)
  gfx::Surface WaitScreen(const std::function<bool(const gfx::Surface&)>& ok, const std::string& what,
                          int timeoutMs = kWaitMs) {
    gfx::Surface s;
    DesktopProbe::WaitUntil(
        [&] {
          s = Shot(what);
          return !s.empty() && ok(s);
        },
        timeoutMs, 150);
    return s;
  }
  bool WaitHomeBand(const ProbedWindow& launcher, const std::string& what) {
    std::string why;
    gfx::Surface s = WaitScreen(
        [&](const gfx::Surface& shot) { return HomeBandAt(shot, launcher.x + kPageLeft, launcher.y + kPageTop, &why); },
        what, kPageMs);
    if (!HomeBandAt(s, launcher.x + kPageLeft, launcher.y + kPageTop, &why)) {
      ADD_FAILURE() << what << ": the home page is not over the page rectangle (" << why << ")";
      return false;
    }
    return true;
  }

  // ---- input ----
  static void Click(int x, int y, int button = 1) {
    ASSERT_TRUE(DesktopProbe::Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click " +
                                  std::to_string(button)));
  }
  static void Key(const std::string& key) { ASSERT_TRUE(DesktopProbe::Xdo("key " + key)); }
  static void MoveTo(int x, int y) {
    ASSERT_TRUE(DesktopProbe::Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y)));
  }
  // Moves the pointer in steps, the button held (xdotool paces them).
  static void DragSteps(int x0, int y0, int x1, int y1) {
    std::string steps;
    for (int i = 1; i <= 8; ++i)
      steps += " mousemove " + std::to_string(x0 + (x1 - x0) * i / 8) + " " +
               std::to_string(y0 + (y1 - y0) * i / 8) + " sleep 0.04";
    ASSERT_TRUE(DesktopProbe::Xdo(steps.substr(1)));
  }
  // The launcher's client point (x, y) on the screen.
  static void ClickLauncher(const ProbedWindow& l, int x, int y) { Click(l.x + x, l.y + y); }
  // A point of the launcher's page.
  static void ClickPage(const ProbedWindow& l, int x, int y) { Click(l.x + kPageLeft + x, l.y + kPageTop + y); }
  void ClickGameButton(const ProbedWindow& g, const std::string& name) {
    Box b = GameButton(name, g.width);
    Click(g.x + b.cx(), g.y + b.cy());
  }

  // ---- the operator's log ----
  int Requests(const std::string& what) {
    std::istringstream log(m_operator ? m_operator->LogText() : "");
    int n = 0;
    for (std::string line; std::getline(log, line);) n += line.find(what) != std::string::npos;
    return n;
  }
  bool WaitRequests(const std::string& what, int atLeast, int timeoutMs = kWaitMs) {
    return DesktopProbe::WaitUntil([&] { return Requests(what) >= atLeast; }, timeoutMs);
  }

  // ---- the end ----
  void ExpectEndsWithZero(int timeoutMs = kWaitMs) {
    ASSERT_TRUE(m_client.WaitExit(timeoutMs)) << "the client is still running";
    EXPECT_TRUE(m_client.ExitedWith(0)) << m_client.Describe() << "\n" << m_client.Stderr();
  }
  void ExpectTerminatesCleanly() {
    m_client.Signal(SIGTERM);
    ExpectEndsWithZero();
  }
  // The settings as torvane-reg lists them.
  std::string Settings() {
    std::string cmd = "XDG_CONFIG_HOME='" + m_dir + "/config' '" + Bin("torvane-reg") +
                      "' query 'HKCU\\SOFTWARE\\Velmora\\" + kProduct + "' 2>&1";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
      char buf[512];
      while (std::fgets(buf, sizeof buf, p)) out += buf;
      pclose(p);
    }
    return out;
  }
  void ExpectSettingsWritten() {
    std::string settings = Settings();
    for (const char* line : {"AlwaysTop\tREG_SZ\t0", "HotKey\tREG_SZ\t0", "UseHotKey\tREG_SZ\t0"})
      EXPECT_NE(settings.find(line), std::string::npos) << settings;
  }

  // The quit question, opened by the launcher's close button.
  std::optional<ProbedWindow> AskToQuit(const ProbedWindow& launcher) {
    const Box close = LauncherButton("close");
    ClickLauncher(launcher, close.cx(), close.cy());
    return WaitWindow([&] { return Dialog(); }, [](const ProbedWindow&) { return true; });
  }
  // Answers it with Cancel: Escape where a window manager hands the dialog
  // the keyboard; a click on its Cancel button (the left one) where none runs
  // and nothing moves the keyboard's focus there. True once the dialog is gone.
  bool CancelQuestion(const ProbedWindow& dialog) {
    if (m_wm == Wm::Openbox) {
      MoveTo(dialog.x + dialog.width / 2, dialog.y + 12);
      Key("Escape");
    } else {
      Click(dialog.x + dialog.width / 4, dialog.y + dialog.height - 16);
    }
    return DesktopProbe::WaitUntil(
        [&] {
          std::optional<ProbedWindow> w = m_probe.Window(dialog.id);
          return !w || !w->viewable;
        },
        kWaitMs);
  }

  DesktopProbe m_probe;
  DesktopHelper m_openbox, m_trayer;
  std::unique_ptr<OperatorProcess> m_operator;
  ClientProcess m_client;
  std::string m_dir, m_opened;
  Wm m_wm = Wm::None;
  ScreenRect m_work;
};

class ClientE2E : public ClientE2EBase, public ::testing::WithParamInterface<Wm> {
 protected:
  void SetUp() override { StartDesktop(GetParam()); }
};

// The launcher, the game window and their buttons, one client from start to quit.
TEST_P(ClientE2E, FacesButtonsAndQuit) {
  // A downloaded file of the game's site and one of another site, for "cache".
  {
    StartOperator();
    net::DownloadCache cache(kProduct);
    std::string path;
    ASSERT_TRUE(cache.Download("http://127.0.0.1:18651/client/client.css", {}, &path).ok);
    ASSERT_TRUE(cache.Download("http://localhost:18651/client/client.css", {}, &path).ok);
    ASSERT_EQ(cache.Entries().size(), 2u);
  }
  StartClient("torvane-e2e-client");

  // 1. The launcher, centred on the work area, with the home page exactly over its page rectangle.
  std::optional<ProbedWindow> launcher = WaitLauncherShown();
  ASSERT_TRUE(launcher && launcher->viewable) << "no launcher";
  EXPECT_EQ(launcher->x, m_work.x + (m_work.width - kLauncherWidth) / 2);
  EXPECT_EQ(launcher->y, m_work.y + (m_work.height - kLauncherHeight) / 2);
  EXPECT_FALSE(launcher->HasState("_NET_WM_STATE_HIDDEN"));
  ASSERT_TRUE(WaitHomeBand(*launcher, "launcher"));
  EXPECT_FALSE(GameWindow() && GameWindow()->viewable) << "a game window at start";
  EXPECT_GE(Requests("GET /client/home.html"), 1);

  // 2. A drag on the launcher's own surface moves it; the page moves with it.
  {
    const int x = launcher->x + 800, y = launcher->y + 190;
    MoveTo(x, y);
    ASSERT_TRUE(DesktopProbe::Xdo("mousedown 1"));
    DragSteps(x, y, x + 50, y + 40);
    ASSERT_TRUE(DesktopProbe::Xdo("mouseup 1"));
    const int wantX = launcher->x + 50, wantY = launcher->y + 40;
    launcher = WaitWindow([&] { return Launcher(); },
                          [&](const ProbedWindow& w) { return w.x == wantX && w.y == wantY; });
    ASSERT_TRUE(launcher);
    ASSERT_EQ(launcher->x, wantX);
    ASSERT_EQ(launcher->y, wantY);
    ASSERT_TRUE(WaitHomeBand(*launcher, "launcher-dragged"));
  }

  // 3. The page's start button opens the game window maximised over the work
  // area, the launcher hidden, "restore" in place of "max".
  const int gamePages = Requests("GET /play/index.html");
  ClickPage(*launcher, 560, 165);
  std::optional<ProbedWindow> game =
      WaitWindow([&] { return GameWindow(); }, [&](const ProbedWindow& w) { return IsMaximised(w); });
  ASSERT_TRUE(game) << "no game window";
  ASSERT_TRUE(IsMaximised(*game)) << game->x << "," << game->y << " " << game->width << "x" << game->height;
  EXPECT_TRUE(WaitRequests("GET /play/index.html", gamePages + 1));
  EXPECT_TRUE(GamePageShown(WaitScreen([&](const gfx::Surface& s) { return GamePageShown(s, game->x, game->y, game->width, game->height); },
                                       "game-page", kPageMs),
                            game->x, game->y, game->width, game->height))
      << "the game page does not show in the game window";
  EXPECT_FALSE(Launcher() && Launcher()->viewable) << "the launcher is still shown";
  const unsigned long firstGame = game->id;
  {
    const Box restore = GameButton("restore", game->width);
    gfx::Surface s = WaitScreen(
        [&](const gfx::Surface& shot) { return ImageShown(shot, game->x + restore.x, game->y + restore.y, 327) > 0.99; },
        "game-maximised");
    EXPECT_GT(ImageShown(s, game->x + restore.x, game->y + restore.y, 327), 0.99) << "restore is not shown";
    EXPECT_LT(ImageShown(s, game->x + restore.x, game->y + restore.y, 324), 0.9) << "max is shown";
    // The rest of the title bar is the skin's at this width (but for the vip caption).
    gfx::Surface design = ComposeScene(Skin(), GameScene(), WindowKind::Framed, game->width, game->height);
    const Box vip = GameButton("vip", game->width);
    int differ = 0, left = 1 << 20, right = -1, top = 1 << 20, bottom = -1;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < game->width; ++x) {
        if (x >= vip.x && x < vip.x + vip.w && y >= vip.y && y < vip.y + vip.h) continue;
        if (x >= restore.x && x < restore.x + restore.w && y >= restore.y && y < restore.y + restore.h) continue;
        if (Near(At(s, game->x + x, game->y + y), Rgb(design.Pixel(x, y)))) continue;
        ++differ;
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
      }
    if (differ) gfx::WritePngFile(design, m_dir + "/design-game-maximised.png");
    EXPECT_LT(differ, game->width * 32 / 1000)
        << "title bar pixels unlike the skin: " << differ << " in " << left << "," << top << " to " << right << ","
        << bottom;
  }

  // 5. The page named its server (getGsName): the vip button has a caption.
  const Box vipMax = GameButton("vip", game->width);
  EXPECT_EQ(VipState(WaitScreen([&](const gfx::Surface& s) { return VipState(s, vipMax, game->x, game->y) == Vip::Caption; },
                                "vip-caption", kPageMs),
                     vipMax, game->x, game->y),
            Vip::Caption);

  // 4. "restore": the design size, centred; "max" back in place. (A fault
  // here ends only this step: the steps after it need just a game window.)
  [&] {
    ClickGameButton(*game, "restore");
    game = WaitWindow([&] { return GameWindow(); }, [&](const ProbedWindow& w) { return IsRestoredCentred(w); });
    ASSERT_TRUE(game && IsRestoredCentred(*game)) << "restore did not restore: " << Describe(game);
    MoveTo(game->x + 600, game->y + 400);  // off the button, so it shows its normal image
    {
      const Box max = GameButton("max", game->width);
      gfx::Surface s = WaitScreen(
          [&](const gfx::Surface& shot) { return ImageShown(shot, game->x + max.x, game->y + max.y, 324) > 0.99; },
          "game-restored");
      EXPECT_GT(ImageShown(s, game->x + max.x, game->y + max.y, 324), 0.99) << "max is not shown";
    }
    // A double click on the title band maximises it again; "restore" restores it.
    MoveTo(game->x + 300, game->y + 16);
    // As a person double-clicks: each press held a moment (a press in the title
    // band starts a window drag, which its release ends).
    ASSERT_TRUE(DesktopProbe::Xdo("mousedown 1 sleep 0.08 mouseup 1 sleep 0.1 mousedown 1 sleep 0.08 mouseup 1"));
    game = WaitWindow([&] { return GameWindow(); }, [&](const ProbedWindow& w) { return IsMaximised(w); });
    if (!game || !IsMaximised(*game)) Shot("title-double-click");
    ASSERT_TRUE(game && IsMaximised(*game)) << "the title double click did not maximise: " << Describe(game);
    ClickGameButton(*game, "restore");
    game = WaitWindow([&] { return GameWindow(); }, [&](const ProbedWindow& w) { return IsRestoredCentred(w); });
    ASSERT_TRUE(game && IsRestoredCentred(*game)) << "restore did not restore a second time: " << Describe(game);
    // A drag at the bottom-right corner grows the window, and stops at 1250 x 690 going back.
    {
      const int gx = game->x, gy = game->y;
      const int cx = gx + kGameWidth - 1, cy = gy + kGameHeight - 5;  // the corner zone's uncovered right strip
      MoveTo(cx - 1, cy);
      MoveTo(cx, cy);
      ASSERT_TRUE(DesktopProbe::Xdo("mousedown 1"));
      DragSteps(cx, cy, cx + 20, cy + 30);
      std::optional<ProbedWindow> grown = WaitWindow([&] { return GameWindow(); }, [&](const ProbedWindow& w) {
        return w.width > kGameWidth + 10 && w.height > kGameHeight + 20;
      });
      EXPECT_TRUE(grown && grown->width > kGameWidth + 10) << "the corner drag did not resize";
      int smallestW = 1 << 20, smallestH = 1 << 20;
      DragSteps(cx + 20, cy + 30, cx - 200, cy - 150);
      std::optional<ProbedWindow> back = WaitWindow([&] { return GameWindow(); }, [&](const ProbedWindow& w) {
        smallestW = std::min(smallestW, w.width);
        smallestH = std::min(smallestH, w.height);
        return w.width == kGameWidth && w.height == kGameHeight;
      });
      ASSERT_TRUE(DesktopProbe::Xdo("mouseup 1"));
      ASSERT_TRUE(back);
      EXPECT_EQ(back->width, kGameWidth) << Describe(back);
      EXPECT_EQ(back->height, kGameHeight) << Describe(back);
      EXPECT_GE(smallestW, kGameWidth);
      EXPECT_GE(smallestH, kGameHeight);
      game = GameWindow();
      ASSERT_TRUE(game);
      EXPECT_EQ(game->width, kGameWidth) << Describe(game);
      EXPECT_EQ(game->height, kGameHeight) << Describe(game);
      EXPECT_EQ(game->x, gx) << Describe(game);
      EXPECT_EQ(game->y, gy) << Describe(game);
    }
  }();
  DesktopProbe::Xdo("mouseup 1");  // a drag the step left held
  game = GameWindow();
  ASSERT_TRUE(game && game->viewable) << "no game window after restoring and resizing";

  // 5. A new message (the game's key M, getNewMsg) makes the vip button blink.
  {
    const Box vip = GameButton("vip", game->width);
    Click(game->x + 600, game->y + 400);  // the page takes the keyboard
    Key("m");
    bool sawBlank = false, sawShown = false;
    WaitScreen(
        [&](const gfx::Surface& s) {
          Vip v = VipState(s, vip, game->x, game->y);
          sawBlank |= v == Vip::Blank;
          sawShown |= v == Vip::Caption;
          return sawBlank && sawShown;
        },
        "vip-blink");
    EXPECT_TRUE(sawBlank && sawShown) << "the vip button does not blink";
  }

  // 6. "refresh" and F5 load the game page again.
  int pages = Requests("GET /play/index.html");
  ClickGameButton(*game, "refresh");
  EXPECT_TRUE(WaitRequests("GET /play/index.html", pages + 1)) << "refresh did not reload";
  pages = Requests("GET /play/index.html");
  MoveTo(game->x + 600, game->y + 400);
  Key("F5");
  EXPECT_TRUE(WaitRequests("GET /play/index.html", pages + 1)) << "F5 did not reload";

  // 7. "cache": the game site's downloads go, another site's stay, the game reloads.
  pages = Requests("GET /play/index.html");
  ClickGameButton(*game, "cache");
  EXPECT_TRUE(WaitRequests("GET /play/index.html", pages + 1)) << "cache did not reload";
  {
    net::DownloadCache cache(kProduct);
    EXPECT_TRUE(DesktopProbe::WaitUntil(
        [&] {
          auto entries = cache.Entries();
          return entries.size() == 1 && entries[0].url == "http://localhost:18651/client/client.css";
        },
        kWaitMs))
        << cache.Entries().size() << " entries left";
  }

  // 8. The game window's close returns to the launcher; its window is destroyed.
  ClickGameButton(*game, "close");
  launcher = WaitLauncherShown();
  ASSERT_TRUE(launcher && launcher->viewable) << "no launcher after the game closed";
  EXPECT_TRUE(DesktopProbe::WaitUntil([&] { return !m_probe.Window(firstGame); }, kWaitMs))
      << "the closed game's window still exists";
  ASSERT_TRUE(WaitHomeBand(*launcher, "launcher-again"));
  // A second game gets a new window.
  ClickPage(*launcher, 560, 165);
  game = WaitWindow([&] { return GameWindow(); }, [&](const ProbedWindow& w) { return IsMaximised(w); });
  ASSERT_TRUE(game && IsMaximised(*game));
  EXPECT_NE(game->id, firstGame);
  const unsigned long secondGame = game->id;
  ClickGameButton(*game, "close");
  launcher = WaitLauncherShown();
  ASSERT_TRUE(launcher && launcher->viewable);
  EXPECT_TRUE(DesktopProbe::WaitUntil([&] { return !m_probe.Window(secondGame); }, kWaitMs));

  // 9. The launcher's close asks; Cancel (Escape) leaves everything as it was.
  std::optional<ProbedWindow> dialog = AskToQuit(*launcher);
  ASSERT_TRUE(dialog) << "no quit question";
  EXPECT_TRUE(CancelQuestion(*dialog)) << "Escape did not answer the question";
  EXPECT_TRUE(m_client.Running());
  launcher = Launcher();
  ASSERT_TRUE(launcher && launcher->viewable) << "the launcher went with Cancel";
  ASSERT_TRUE(WaitHomeBand(*launcher, "launcher-after-cancel"));
  // OK ends the client with exit code 0, the settings written back.
  dialog = AskToQuit(*launcher);
  ASSERT_TRUE(dialog);
  Click(dialog->x + dialog->width * 3 / 4, dialog->y + dialog->height - 16);
  ExpectEndsWithZero();
  ExpectSettingsWritten();
  EXPECT_EQ(access(m_opened.c_str(), F_OK), -1) << "a page went to the desktop's browser";
}

// "min" hides the launcher to the XEmbed tray; a click on the icon brings back
// the face; the tray menu quits.
TEST_P(ClientE2E, TrayHidesShowsAndQuits) {
  ASSERT_TRUE(m_trayer.StartTrayer(m_probe, kWaitMs, m_dir + "/trayer.log")) << "trayer did not start";
  m_work = m_probe.WorkArea();
  StartOperator();
  StartClient("torvane-e2e-client");
  std::optional<ProbedWindow> launcher = WaitLauncherShown();
  ASSERT_TRUE(launcher);
  std::optional<ProbedWindow> icon = WaitWindow([&] { return TrayIcon(); }, [](const ProbedWindow&) { return true; });
  ASSERT_TRUE(icon) << "no icon in the tray";
  ASSERT_TRUE(WaitHomeBand(*launcher, "tray-launcher"));
  // The tray was there all along: nothing may say that there is none.
  EXPECT_EQ(m_client.Stderr().find("no tray icons"), std::string::npos) << m_client.Stderr();

  // "min": hidden, not minimised.
  ClickLauncher(*launcher, LauncherButton("min").cx(), LauncherButton("min").cy());
  std::optional<ProbedWindow> hidden =
      WaitWindow([&] { return Launcher(); }, [](const ProbedWindow& w) { return !w.viewable; });
  ASSERT_TRUE(hidden && !hidden->viewable) << "min did not hide the launcher";
  EXPECT_FALSE(hidden->iconic);
  EXPECT_TRUE(m_client.Running());
  // A left click on the icon shows the launcher and its page again.
  Click(icon->x + icon->width / 2, icon->y + icon->height / 2);
  launcher = WaitLauncherShown();
  ASSERT_TRUE(launcher && launcher->viewable) << "the tray click did not show the launcher";
  ASSERT_TRUE(WaitHomeBand(*launcher, "tray-launcher-back"));

  // In game: "pack" hides the game window; the tray brings back the game, not
  // the launcher. (A shown game window covers the whole screen, the tray too
  // where no window manager keeps the tray above it: the menu is opened
  // while the game is packed away.)
  ClickPage(*launcher, 560, 165);
  std::optional<ProbedWindow> game =
      WaitWindow([&] { return GameWindow(); }, [&](const ProbedWindow& w) { return IsMaximised(w); });
  ASSERT_TRUE(game && IsMaximised(*game));
  auto pack = [&] {
    ClickGameButton(*game, "pack");
    ASSERT_TRUE(WaitWindow([&] { return GameWindow(); }, [](const ProbedWindow& w) { return !w.viewable; }))
        << "pack did not hide the game window";
    EXPECT_FALSE(GameWindow()->iconic) << "pack minimised the game window";
    EXPECT_FALSE(Launcher() && Launcher()->viewable);
  };
  pack();
  // A right click opens the menu; Escape closes it and nothing happens.
  Click(icon->x + icon->width / 2, icon->y + icon->height / 2, 3);
  std::optional<ProbedWindow> menu = WaitWindow([&] { return PopupMenu(); }, [](const ProbedWindow&) { return true; });
  ASSERT_TRUE(menu) << "no tray menu";
  Shot("tray-menu");
  Key("Escape");
  EXPECT_TRUE(DesktopProbe::WaitUntil([&] { return !PopupMenu(); }, kWaitMs));
  EXPECT_TRUE(m_client.Running());
  EXPECT_FALSE(GameWindow()->viewable);
  EXPECT_FALSE(Launcher() && Launcher()->viewable);
  // The left click shows the game face.
  Click(icon->x + icon->width / 2, icon->y + icon->height / 2);
  game = WaitWindow([&] { return GameWindow(); }, [&](const ProbedWindow& w) { return IsMaximised(w); });
  ASSERT_TRUE(game && IsMaximised(*game)) << "the tray click did not show the game";
  EXPECT_FALSE(Launcher() && Launcher()->viewable);
  // The menu's "退出" (its last entry) ends the client.
  pack();
  Click(icon->x + icon->width / 2, icon->y + icon->height / 2, 3);
  menu = WaitWindow([&] { return PopupMenu(); }, [](const ProbedWindow&) { return true; });
  ASSERT_TRUE(menu);
  Click(menu->x + menu->width / 2, menu->y + menu->height - 16);
  ExpectEndsWithZero();
  ExpectSettingsWritten();
}

// Without a tray "min" minimises the launcher (iconified under a window
// manager, unmapped without one) and says so once; a tray that comes later
// brings it back.
TEST_P(ClientE2E, NoTrayMinimisesAndSaysSoOnce) {
  StartOperator();
  StartClient("torvane-e2e-client");
  std::optional<ProbedWindow> launcher = WaitLauncherShown();
  ASSERT_TRUE(launcher);
  const std::string said = "this desktop shows no tray icons";
  auto timesSaid = [&] {
    std::string err = m_client.Stderr();
    int n = 0;
    for (std::size_t at = err.find(said); at != std::string::npos; at = err.find(said, at + 1)) ++n;
    return n;
  };
  // Said when a window would hide to the tray, not while a tray may still be
  // taking the icon at start-up.
  EXPECT_EQ(timesSaid(), 0) << m_client.Stderr();

  ClickLauncher(*launcher, LauncherButton("min").cx(), LauncherButton("min").cy());
  std::optional<ProbedWindow> gone = WaitWindow([&] { return Launcher(); }, [&](const ProbedWindow& w) {
    return m_wm == Wm::Openbox ? w.iconic && w.HasState("_NET_WM_STATE_HIDDEN") : !w.viewable;
  });
  ASSERT_TRUE(gone);
  EXPECT_FALSE(gone->viewable);
  if (m_wm == Wm::Openbox) {
    EXPECT_TRUE(gone->iconic) << "not iconified";
    EXPECT_TRUE(gone->HasState("_NET_WM_STATE_HIDDEN"));
  }
  EXPECT_TRUE(m_client.Running());
  // A second "min" is not possible while hidden; the page's command says nothing new either.
  EXPECT_EQ(timesSaid(), 1) << m_client.Stderr();

  // A tray that appears now takes the icon; its click shows the launcher again.
  ASSERT_TRUE(m_trayer.StartTrayer(m_probe, kWaitMs, m_dir + "/trayer.log"));
  std::optional<ProbedWindow> icon = WaitWindow([&] { return TrayIcon(); }, [](const ProbedWindow&) { return true; });
  ASSERT_TRUE(icon) << "the icon did not move into the new tray";
  Click(icon->x + icon->width / 2, icon->y + icon->height / 2);
  launcher = WaitWindow([&] { return Launcher(); }, [](const ProbedWindow& w) { return w.viewable && !w.iconic; });
  ASSERT_TRUE(launcher && launcher->viewable) << "the launcher did not come back";
  EXPECT_FALSE(launcher->HasState("_NET_WM_STATE_HIDDEN"));
  ASSERT_TRUE(WaitHomeBand(*launcher, "no-tray-back"));
  ExpectTerminatesCleanly();
}

// The launch tag: a tag the operator knows starts on the game face; an
// unknown one, or no service at all, starts on the launcher.
struct StartCase {
  const char* name;
  const char* argv0;  // the file name the client is started under
  bool operatorRuns;
  bool gameFace;
};
void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }
const StartCase kStartCases[] = {
    {"KnownTag", "client_hbhx.bin", true, true},
    {"UnknownTag", "client_nope(2).bin", true, false},
    {"ServiceUnreachable", "client_hbhx.bin", false, false},
};

class StartE2E : public ClientE2EBase, public ::testing::WithParamInterface<std::tuple<Wm, StartCase>> {
 protected:
  void SetUp() override { StartDesktop(std::get<0>(GetParam())); }
};

TEST_P(StartE2E, LaunchTagChoosesTheFirstFace) {
  const StartCase& c = std::get<1>(GetParam());
  if (c.operatorRuns)
    StartOperator({"--tag", "hbhx=http://127.0.0.1:18651/play/index.html?calm=1&gs=%E6%A0%87%E7%AD%BE%E5%8C%BA"});
  StartClient("torvane-e2e-client", c.argv0);
  if (c.gameFace) {
    std::optional<ProbedWindow> game =
        WaitWindow([&] { return GameWindow(); }, [&](const ProbedWindow& w) { return IsMaximised(w); });
    ASSERT_TRUE(game && IsMaximised(*game)) << "not on the game face";
    EXPECT_FALSE(Launcher() && Launcher()->viewable) << "the launcher is shown too";
    EXPECT_EQ(Requests("GET /api/userinfo?tag=hbhx&reason=0&"), 1);
    EXPECT_TRUE(WaitRequests("GET /play/index.html?calm=1&gs=", 1));
    EXPECT_TRUE(GamePageShown(WaitScreen([&](const gfx::Surface& s) { return GamePageShown(s, game->x, game->y, game->width, game->height); },
                                         "tag-game-page", kPageMs),
                              game->x, game->y, game->width, game->height))
        << "the game page does not show in the game window";
    const Box vip = GameButton("vip", game->width);
    EXPECT_EQ(VipState(WaitScreen([&](const gfx::Surface& s) { return VipState(s, vip, game->x, game->y) == Vip::Caption; },
                                  "tag-game", kPageMs),
                       vip, game->x, game->y),
              Vip::Caption);
    // "refresh" asks the service again (twice: the second answer is the address).
    ClickGameButton(*game, "refresh");
    EXPECT_TRUE(WaitRequests("GET /api/userinfo?tag=hbhx&reason=1&", 2));
    EXPECT_TRUE(WaitRequests("GET /play/index.html?calm=1&gs=", 2));
    // Closing the game shows the launcher, which was never shown before.
    ClickGameButton(*game, "close");
    std::optional<ProbedWindow> launcher = WaitLauncherShown();
    ASSERT_TRUE(launcher && launcher->viewable);
    ASSERT_TRUE(WaitHomeBand(*launcher, "tag-launcher"));
  } else {
    std::optional<ProbedWindow> launcher = WaitLauncherShown();
    ASSERT_TRUE(launcher && launcher->viewable) << "not on the launcher face";
    EXPECT_FALSE(GameWindow() && GameWindow()->viewable);
    if (c.operatorRuns) {
      EXPECT_EQ(Requests("GET /api/userinfo?tag=nope&reason=0&"), 1);
      ASSERT_TRUE(WaitHomeBand(*launcher, "untagged-launcher"));
    }
  }
  ExpectTerminatesCleanly();
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, StartE2E,
                         ::testing::Combine(::testing::Values(Wm::None, Wm::Openbox), ::testing::ValuesIn(kStartCases)),
                         [](const ::testing::TestParamInfo<std::tuple<Wm, StartCase>>& i) {
                           return std::string(std::get<1>(i.param).name) + "_" + WmName(std::get<0>(i.param));
                         });

// A home page that cannot be had: the launcher still appears at once, the
// client answers, and SIGTERM ends it cleanly.
struct BadHomeCase {
  const char* name;
  const char* client;
  bool operatorRuns;
  const char* request;  // what the operator logs of the home page, "" for nothing
};
void PrintTo(const BadHomeCase& c, std::ostream* os) { *os << c.name; }
const BadHomeCase kBadHomeCases[] = {
    {"NothingListens", "torvane-e2e-client-hang", false, ""},
    {"Missing", "torvane-e2e-client-404", true, "GET /test/status?code=404&body=no+such+page 404"},
    {"NeverAnswers", "torvane-e2e-client-hang", true, ""},
};

class BadHomeE2E : public ClientE2EBase, public ::testing::WithParamInterface<std::tuple<Wm, BadHomeCase>> {
 protected:
  void SetUp() override { StartDesktop(std::get<0>(GetParam())); }
};

TEST_P(BadHomeE2E, LauncherStillAppearsAndAnswers) {
  const BadHomeCase& c = std::get<1>(GetParam());
  if (c.operatorRuns) StartOperator();
  StartClient(c.client);
  std::optional<ProbedWindow> launcher = WaitLauncherShown();
  ASSERT_TRUE(launcher && launcher->viewable) << "no launcher";
  EXPECT_EQ(launcher->x, m_work.x + (m_work.width - kLauncherWidth) / 2);
  EXPECT_EQ(launcher->y, m_work.y + (m_work.height - kLauncherHeight) / 2);
  Shot("bad-home");
  if (*c.request) {
    EXPECT_TRUE(WaitRequests(c.request, 1)) << m_operator->LogText();
  }
  // The client answers: the quit question comes and goes.
  std::optional<ProbedWindow> dialog = AskToQuit(*launcher);
  ASSERT_TRUE(dialog) << "no quit question";
  EXPECT_TRUE(CancelQuestion(*dialog));
  EXPECT_TRUE(Launcher() && Launcher()->viewable);
  // "min" answers too (hidden or minimised: there is no tray here).
  ClickLauncher(*launcher, LauncherButton("min").cx(), LauncherButton("min").cy());
  EXPECT_TRUE(WaitWindow([&] { return Launcher(); }, [](const ProbedWindow& w) { return !w.viewable; }));
  ExpectTerminatesCleanly();
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, BadHomeE2E,
                         ::testing::Combine(::testing::Values(Wm::None, Wm::Openbox),
                                            ::testing::ValuesIn(kBadHomeCases)),
                         [](const ::testing::TestParamInfo<std::tuple<Wm, BadHomeCase>>& i) {
                           return std::string(std::get<1>(i.param).name) + "_" + WmName(std::get<0>(i.param));
                         });

// The test launcher page (www/test/client/launcher.html) and its misbehaving
// game pages; the quit question while other things happen.
TEST_P(ClientE2E, MisbehavingPagesAndTheQuestionWhileBusy) {
  StartOperator();
  StartClient("torvane-e2e-client-pages");
  std::optional<ProbedWindow> launcher = WaitLauncherShown();
  ASSERT_TRUE(launcher);
  const int tickX = launcher->x + kPageLeft + 100, tickY = launcher->y + kPageTop + 5;
  // Waits until the ticker showed both its colours (the page and the client's loop run).
  auto ticks = [&](const std::string& what) {
    bool a = false, b = false;
    WaitScreen(
        [&](const gfx::Surface& s) {
          a |= Count(s, tickX, tickY, 400, 20, kTickA) == 400 * 20;
          b |= Count(s, tickX, tickY, 400, 20, kTickB) == 400 * 20;
          return a && b;
        },
        what, kPageMs);
    return a && b;
  };
  ASSERT_TRUE(ticks("pages-ticker")) << "the test launcher page does not run";

  // The quit question asked twice by the page: never two questions at once,
  // and the page and the client's loop keep running while one is open. (The
  // engine holds the page's second request until the first is decided, so it
  // may come as a question of its own once the first is answered.)
  ClickPage(*launcher, 170, 285);
  std::optional<ProbedWindow> dialog = WaitWindow([&] { return Dialog(); }, [](const ProbedWindow&) { return true; });
  ASSERT_TRUE(dialog) << "no quit question";
  EXPECT_TRUE(WaitRequests("beacon?asked-twice", 1)) << "the page did not ask again";
  EXPECT_TRUE(ticks("ticker-under-question")) << "the page stood still while the question was open";
  EXPECT_EQ(ViewableDialogs(), 1);
  ASSERT_TRUE(CancelQuestion(*dialog)) << "Cancel did not answer the question";
  if (DesktopProbe::WaitUntil([&] { return Dialog().has_value(); }, 2000)) {
    EXPECT_EQ(ViewableDialogs(), 1);
    dialog = Dialog();
    ASSERT_TRUE(dialog && CancelQuestion(*dialog));
  }
  EXPECT_FALSE(DesktopProbe::WaitUntil([&] { return Dialog().has_value(); }, 1500)) << "asked a third time";
  EXPECT_TRUE(m_client.Running());
  launcher = Launcher();
  ASSERT_TRUE(launcher && launcher->viewable);

  // A game page that floods the vip button and sets a 1 MB caption.
  ClickPage(*launcher, 170, 115);
  std::optional<ProbedWindow> game =
      WaitWindow([&] { return GameWindow(); }, [&](const ProbedWindow& w) { return IsMaximised(w); });
  ASSERT_TRUE(game && IsMaximised(*game));
  EXPECT_TRUE(WaitRequests("beacon?flood-done", 1, 120000)) << "the flood did not finish";
  {
    const Box vip = GameButton("vip", game->width);
    bool sawBlank = false, sawShown = false;
    WaitScreen(
        [&](const gfx::Surface& s) {
          Vip v = VipState(s, vip, game->x, game->y);
          sawBlank |= v == Vip::Blank;
          sawShown |= v == Vip::Caption;
          return sawBlank && sawShown;
        },
        "flood-vip");
    EXPECT_TRUE(sawBlank && sawShown) << "the vip button does not show its caption blinking after the flood";
  }
  ClickGameButton(*game, "restore");
  EXPECT_TRUE(WaitWindow([&] { return GameWindow(); }, [&](const ProbedWindow& w) { return IsRestoredCentred(w); }))
      << "the game window stopped answering";
  game = GameWindow();
  ASSERT_TRUE(game);
  const unsigned long flooded = game->id;
  ClickGameButton(*game, "close");
  launcher = WaitLauncherShown();
  ASSERT_TRUE(launcher && launcher->viewable);
  EXPECT_TRUE(DesktopProbe::WaitUntil([&] { return !m_probe.Window(flooded); }, kWaitMs));

  // A game page that closes itself twice, twice over: back to the launcher each time.
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE("close-twice round " + std::to_string(round));
    ClickPage(*launcher, 510, 115);
    EXPECT_TRUE(WaitRequests("GET /test/client/game-closetwice.html?game=1", round));
    EXPECT_TRUE(DesktopProbe::WaitUntil(
        [&] {
          auto l = Launcher();
          return !GameWindow() && l && l->viewable;
        },
        kWaitMs))
        << "the closing game did not hand back to the launcher";
    launcher = Launcher();
    ASSERT_TRUE(launcher && launcher->viewable);
    EXPECT_TRUE(m_client.Running());
  }
  ASSERT_TRUE(ticks("ticker-after-games"));

  // The launcher's page goes to the game's close address: nothing closes.
  ClickPage(*launcher, 510, 285);
  WaitScreen([&](const gfx::Surface& s) { return Count(s, tickX, tickY, 400, 20, kTickA) == 0 &&
                                                 Count(s, tickX, tickY, 400, 20, kTickB) == 0; },
             "launcher-blank3");
  EXPECT_TRUE(m_client.Running());
  launcher = Launcher();
  ASSERT_TRUE(launcher && launcher->viewable) << "the launcher went with its page";
  EXPECT_FALSE(GameWindow().has_value());

  // SIGTERM while the quit question is open: an orderly end.
  dialog = AskToQuit(*launcher);
  ASSERT_TRUE(dialog);
  ExpectTerminatesCleanly();
  ExpectSettingsWritten();
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, ClientE2E, ::testing::Values(Wm::None, Wm::Openbox),
                         [](const ::testing::TestParamInfo<Wm>& i) { return WmName(i.param); });

}  // namespace
