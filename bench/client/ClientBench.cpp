// bench_client: the whole client against the bare WebKitGTK program, on one
// private display (see README.md). For each of N runs it starts, in turn, the
// bare program with the operator's home page and the client (the order
// alternates), and measures
//   - from process start: the launcher's first frame and the home page's
//     DOMContentLoaded in it (the client's TORVANE_TRACE_FD trace), the bare
//     program's first frame and DOMContentLoaded (its stdout), and when the
//     windows and the page actually show (pixels read off the screen);
//   - a click on the home page's start button to the game page's
//     DocumentComplete in the game window;
//   - PSS of the client's whole process tree with the launcher alone, with
//     the game window open, and after open/close cycles of the game window
//     (the start button, then the game window's close button), beside the
//     bare program's tree with the home page and with the game page;
// and, with the two-view helper, what the game's second view costs when it
// shares the launcher's web process and when it has its own.
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <X11/Xlib.h>

#include "bench/client/BenchDisplay.h"
#include "bench/client/BenchProcess.h"
#include "skin/Anchor.h"
#include "skin/ImageEx.h"
#include "skin/SkinDocument.h"
#include "tools/operator/OperatorProcess.h"
#include "tools/skin/SkinCompose.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// The default client configuration's home page and game address.
constexpr int kOperatorPort = 18630;
constexpr char kHomePath[] = "/client/home.html";
constexpr char kGamePath[] = "/play/index.html";
constexpr char kGameCheck[] = "/play/";
// The home page's start button ("#start", 208 x 90 in the page's right
// column, tools/operator/www/client/home.html): its middle, in the page.
constexpr int kStartX = 560, kStartY = 165;
constexpr int kScreenW = 1920, kScreenH = 1080;
// The home page's top band is this flat colour; its middle (x 280 to 460)
// and its rows 0 to 5 never carry text (tools/operator/www/README.md).
constexpr unsigned long kHomeBand = 0x1B2A4A;
constexpr int kBandX = 370, kBandY = 2;
// The game page's top-right corner (x above width - 200, y below 40) is
// always this colour.
constexpr unsigned long kGameSea = 0x0E1A33;
constexpr int kTimeoutMs = 30000;

struct Options {
  int runs = 15;
  int cycles = 50;
  int cycleRuns = 3;  // runs that also do the open/close cycles
  int viewRuns = 5;   // runs of the two-view helper, each way
  bool compositorOff = true;
  bool compositorOn = false;
  bool startupOnly = false;  // no memory, no game, no two-view runs
  std::string client;        // another build of the client to measure
  std::string keepLines;     // a folder for every run's lines
  std::vector<std::string> env;  // NAME=VALUE for both programs (and the helper)
};

// Where the windows' parts are, from the skin the client is built with.
struct Places {
  int launcherW = 0, launcherH = 0;
  RECT page{};  // the launcher's page rectangle ("ie")
  SkinButtonInfo close;
  SIZE closeSize{};
  POINT skinPixel{-1, -1};  // an opaque pixel of the launcher's look, neither black nor white
  SIZE gameDesign{};
  SkinRectInfo gamePage;  // the game window's page rectangle record
};

bool ReadPlaces(Places* p) {
  SkinDocument skin;
  if (!skin.LoadFromResource()) return false;
  SkinWindowInfo launcher;
  launcher.name = "MAINWND";
  skin.GetWindowInfo(launcher);
  p->launcherW = launcher.width;
  p->launcherH = launcher.height;
  std::vector<SkinRectInfo> rects;
  skin.GetRects("MAINWND", rects);
  bool page = false;
  for (const auto& r : rects)
    if (r.name == "ie") p->page = r.rect, page = true;
  SkinWindowInfo game;
  game.name = "GAMEWND";
  skin.GetWindowInfo(game);
  p->gameDesign = SIZE{game.width, game.height};
  rects.clear();
  skin.GetRects("GAMEWND", rects);
  for (const auto& r : rects)
    if (r.name == "ie") p->gamePage = r;
  std::vector<SkinButtonInfo> buttons;
  skin.GetButtons("GAMEWND", buttons);
  bool close = false;
  for (const auto& b : buttons)
    if (b.name == "close") {
      p->close = b;
      auto image = skin.LoadImage(b.stand);
      if (image) p->closeSize = SIZE{image->GetWidth(), image->GetHeight()};
      close = p->closeSize.cx > 0;
    }
  // The launcher's look as the layered window composes it: a pixel that
  // tells it is on the screen (the root window is black and white).
  SkinScene scene = LoadScene(skin, "MAINWND");
  gfx::Surface look = ComposeScene(skin, scene, WindowKind::Layered, p->launcherW, p->launcherH);
  for (int y = 8; y < look.height() && p->skinPixel.x < 0; ++y) {
    const auto* row =
        reinterpret_cast<const std::uint32_t*>(look.data() + static_cast<std::ptrdiff_t>(y) * look.stride());
    for (int x = 8; x < look.width(); ++x) {
      std::uint32_t rgb = row[x] & 0xFFFFFF;
      bool inPage = x >= p->page.left && x < p->page.right && y >= p->page.top && y < p->page.bottom;
      if ((row[x] >> 24) == 0xFF && rgb != 0 && rgb != 0xFFFFFF && !inPage) {
        p->skinPixel = POINT{x, y};
        break;
      }
    }
  }
  return page && close && p->launcherW > 0 && p->skinPixel.x >= 0;
}

// The client, the bare program, the helper and the operator: from the build.
struct Paths {
  std::string client, bare, views, extensions;
};

std::vector<std::string> BaseEnvironment(const std::string& display, const fs::path& home,
                                         const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string s = *e;
    std::string name = s.substr(0, s.find('='));
    if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "DBUS_SESSION_BUS_ADDRESS" || name == "HOME" ||
        name.rfind("XDG_", 0) == 0 || name.rfind("TORVANE_", 0) == 0 || name == "NO_AT_BRIDGE")
      continue;
    env.push_back(s);
  }
  for (const char* dir : {"config", "data", "cache", "runtime"}) fs::create_directories(home / dir);
  fs::permissions(home / "runtime", fs::perms::owner_all);
  env.push_back("DISPLAY=" + display);
  env.push_back("HOME=" + home.string());
  env.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
  env.push_back("XDG_DATA_HOME=" + (home / "data").string());
  env.push_back("XDG_CACHE_HOME=" + (home / "cache").string());
  env.push_back("XDG_RUNTIME_DIR=" + (home / "runtime").string());
  env.push_back("NO_AT_BRIDGE=1");  // no accessibility bus to look for, for either program
  for (const auto& e : extra) env.push_back(e);
  return env;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

using Sample = std::optional<double>;

struct BareRun {
  Sample firstFrame, contentLoaded, loadFinished, pageOnScreen, windowOnScreen;
  Sample cpuToLoaded;  // CPU ms of the tree when DOMContentLoaded arrived
  long homeKb = 0, gameKb = 0;
  std::string homeParts, gameParts;
};

struct ClientRun {
  Sample firstFrame, contentLoaded, homeComplete, pageOnScreen, launcherOnScreen, clickToGame, clickToGameShown;
  Sample cpuToLoaded;  // CPU ms of the tree when the home page's DOMContentLoaded arrived
  Sample selfFirstFrame, selfContentLoaded;  // the client's own figures (process start from /proc)
  long launcherKb = 0, gameKb = 0, cycledKb = 0;
  long firstCycleKb = 0;  // launcher alone after the first close: the start-up game window is gone
  int launcherWebProcesses = 0, gameWebProcesses = 0, cycledWebProcesses = 0;
  int cyclesDone = 0;
  std::string launcherParts, gameParts, cycledParts;
  std::string failure;
};

struct ViewsRun {
  Sample gameLoadMs, gameShownMs;
  long oneViewKb = 0, twoViewsKb = 0;
  int webProcesses = 0;
};

// Every line of a run with its arrival time, for a closer look later.
void KeepLines(const Options& o, const std::string& name, const bench::Program& p) {
  if (o.keepLines.empty()) return;
  fs::create_directories(o.keepLines);
  std::ofstream out(fs::path(o.keepLines) / name);
  for (const auto& line : p.Lines()) out << line.atMs - p.StartMs() << "\t" << line.text << "\n";
}

Sample Seen(double ms) { return ms >= 0 ? Sample(ms) : std::nullopt; }

Sample Arrival(const bench::Program& p, int index) {
  if (index < 0) return std::nullopt;
  return p.Lines()[static_cast<std::size_t>(index)].atMs - p.StartMs();
}

Sample SelfReported(const bench::Program& p, int index) {
  if (index < 0) return std::nullopt;
  std::istringstream in(p.Lines()[static_cast<std::size_t>(index)].text);
  std::string name;
  double ms;
  if (in >> name >> ms) return ms;
  return std::nullopt;
}

class Bench {
 public:
  Bench(Options options, Paths paths, Places places, bench::Display& display, fs::path scratch, std::string base)
      : m_o(options), m_paths(std::move(paths)), m_places(places), m_display(display), m_scratch(std::move(scratch)),
        m_base(std::move(base)) {}

  // Names the kept lines of the runs that follow ("off", "on").
  void SetTag(const std::string& tag) { m_tag = tag; }
  BareRun RunBare(int run);
  ClientRun RunClient(int run, bool cycles);
  ViewsRun RunViews(int run, bool related);

 private:
  fs::path Home(const std::string& what, int run) {
    fs::path home = m_scratch / (what + "-" + std::to_string(run));
    fs::remove_all(home);
    return home;
  }
  std::string Url(const char* path) const { return m_base + path; }
  bool OpenGame(bench::Program& client, bench::WindowBox launcher, Sample* elapsed, Sample* shown = nullptr);
  bool CloseGame(bench::Program& client);
  bool WaitForHomePage(const bench::WindowBox& launcher, int timeoutMs);

  Options m_o;
  Paths m_paths;
  Places m_places;
  bench::Display& m_display;
  fs::path m_scratch;
  std::string m_base;
  std::string m_tag;
};

BareRun Bench::RunBare(int run) {
  BareRun r;
  struct Page {
    bool home;
    const char* path;
    const char* size;
    long* kb;
    std::string* parts;
  };
  for (const Page& page : {Page{true, kHomePath, "680x370", &r.homeKb, &r.homeParts},
                           Page{false, kGamePath, "1246x656", &r.gameKb, &r.gameParts}}) {
    if (m_o.startupOnly && !page.home) break;
    fs::path home = Home("bare", run);
    bench::Program bare;
    if (!bare.Start({m_paths.bare, "--size", page.size, Url(page.path)},
                    BaseEnvironment(m_display.Name(), home, m_o.env), 1, (m_scratch / "bare.stderr").string())) {
      std::fprintf(stderr, "bench_client: cannot start %s\n", m_paths.bare.c_str());
      return r;
    }
    // The window opens at (0, 0).
    bench::PixelWatch band, window;
    if (page.home) {
      band.Start(m_display.Name(), kBandX, kBandY, kHomeBand, bare.StartMs());
      window.Start(m_display.Name(), 340, 185, 0, bare.StartMs(), true);
    }
    int frame = bare.WaitFor([](const std::string& l) { return StartsWith(l, "first-frame "); }, kTimeoutMs);
    int loaded = bare.WaitFor([](const std::string& l) { return StartsWith(l, "domcontentloaded "); }, kTimeoutMs);
    if (page.home && loaded >= 0) r.cpuToLoaded = bench::TreeCpuMs(bare.Pid());
    int finished = bare.WaitFor([](const std::string& l) { return StartsWith(l, "load-finished "); }, kTimeoutMs);
    if (page.home) {
      r.firstFrame = Arrival(bare, frame);
      r.contentLoaded = Arrival(bare, loaded);
      r.loadFinished = Arrival(bare, finished);
      r.pageOnScreen = Seen(band.Wait(finished >= 0 ? 10000 : 0));
      r.windowOnScreen = Seen(window.Wait(frame >= 0 ? 2000 : 0));
    }
    KeepLines(m_o, m_tag + "-bare-" + (page.home ? "home-" : "game-") + std::to_string(run + 1) + ".txt", bare);
    if (finished >= 0 && !m_o.startupOnly) {
      bench::TreeMemory m = bench::SettledTree(bare.Pid());
      *page.kb = m.totalKb;
      *page.parts = m.parts;
    }
    bare.Stop();
    fs::remove_all(home);
  }
  return r;
}

bool Bench::OpenGame(bench::Program& client, bench::WindowBox launcher, Sample* elapsed, Sample* shown) {
  client.Drain();
  std::size_t mark = client.Lines().size();
  // The game window opens maximised over the whole screen (the work area of
  // a display without a window manager); checked below.
  RECT page = PlaceBrowserRect(m_places.gamePage, m_places.gameDesign, SIZE{kScreenW, kScreenH});
  double at = bench::NowMs();
  bench::PixelWatch sea;
  if (shown) sea.Start(m_display.Name(), page.right - 100, page.top + 20, kGameSea, at);
  auto gameLoaded = [](const std::string& l) {
    return StartsWith(l, "game-document-complete ") && l.find(kGameCheck) != std::string::npos;
  };
  m_display.Click(launcher.x + m_places.page.left + kStartX, launcher.y + m_places.page.top + kStartY);
  m_display.ParkPointer();
  int done = client.WaitFor(gameLoaded, kTimeoutMs, mark);
  if (done < 0) return false;
  if (elapsed) *elapsed = client.Lines()[static_cast<std::size_t>(done)].atMs - at;
  if (shown) {
    double seen = sea.Wait(10000);
    bench::WindowBox game;
    if (m_display.FindWindow(client.Pid(), 1000, &game) && game.x == 0 && game.y == 0 && game.width == kScreenW &&
        game.height == kScreenH)
      *shown = Seen(seen);
  }
  return true;
}

bool Bench::CloseGame(bench::Program& client) {
  bench::WindowBox game;
  if (!m_display.FindWindow(client.Pid(), 5000, &game)) return false;
  client.Drain();
  std::size_t mark = client.Lines().size();
  POINT corner = AnchorButton(m_places.close, m_places.closeSize, RECT{0, 0, game.width, game.height});
  m_display.Click(game.x + corner.x + m_places.closeSize.cx / 2, game.y + corner.y + m_places.closeSize.cy / 2);
  m_display.ParkPointer();
  int closed = client.WaitFor(
      [](const std::string& l) {
        return StartsWith(l, "game-document-complete ") && l.find(" about:blank3") != std::string::npos;
      },
      kTimeoutMs, mark);
  bench::WindowBox launcher;
  if (closed < 0 || !m_display.FindWindow(client.Pid(), 5000, &launcher, m_places.launcherW, m_places.launcherH))
    return false;
  // The launcher's page takes clicks once it is drawn again.
  return WaitForHomePage(launcher, 10000);
}

bool Bench::WaitForHomePage(const bench::WindowBox& launcher, int timeoutMs) {
  bench::PixelWatch band;
  band.Start(m_display.Name(), launcher.x + m_places.page.left + kBandX, launcher.y + m_places.page.top + kBandY,
             kHomeBand, bench::NowMs());
  return band.Wait(timeoutMs) >= 0;
}

ClientRun Bench::RunClient(int run, bool cycles) {
  ClientRun r;
  fs::path home = Home("client", run);
  std::vector<std::string> env = BaseEnvironment(m_display.Name(), home, m_o.env);
  env.push_back("TORVANE_TRACE_FD=3");
  env.push_back("TORVANE_OPENER=/bin/true");  // nothing opens a browser
  env.push_back("TORVANE_WEB_EXTENSIONS_DIR=" + m_paths.extensions);
  // Each run is the first start of a freshly installed client: a copy of
  // its own, since a first start renames the executable to the product's
  // name and writes beside it.
  fs::path install = home / "install";
  fs::create_directories(install);
  std::string exe = (install / "torvane").string();
  fs::copy_file(m_paths.client, exe, fs::copy_options::overwrite_existing);
  bench::Program client;
  if (!client.Start({exe}, env, 3, (m_scratch / "client.stderr").string())) {
    r.failure = "cannot start " + m_paths.client;
    return r;
  }
  const std::string homeUrl = Url(kHomePath);
  // The launcher opens in the middle of the screen (the work area of a
  // display without a window manager).
  const int left = (kScreenW - m_places.launcherW) / 2, top = (kScreenH - m_places.launcherH) / 2;
  bench::PixelWatch band, look;
  band.Start(m_display.Name(), left + m_places.page.left + kBandX, top + m_places.page.top + kBandY, kHomeBand,
             client.StartMs());
  look.Start(m_display.Name(), left + m_places.skinPixel.x, top + m_places.skinPixel.y, 0, client.StartMs(), true);
  int frame = client.WaitFor([](const std::string& l) { return StartsWith(l, "launcher-first-frame "); }, kTimeoutMs);
  int loaded = client.WaitFor(
      [&](const std::string& l) {
        return StartsWith(l, "home-domcontentloaded ") && l.find(homeUrl) != std::string::npos;
      },
      kTimeoutMs);
  if (loaded >= 0) r.cpuToLoaded = bench::TreeCpuMs(client.Pid());
  int complete = client.WaitFor(
      [&](const std::string& l) {
        return StartsWith(l, "page-document-complete ") && l.find(homeUrl) != std::string::npos;
      },
      kTimeoutMs);
  r.firstFrame = Arrival(client, frame);
  r.contentLoaded = Arrival(client, loaded);
  r.homeComplete = Arrival(client, complete);
  r.selfFirstFrame = SelfReported(client, frame);
  r.selfContentLoaded = SelfReported(client, loaded);
  r.pageOnScreen = Seen(band.Wait(complete >= 0 ? 10000 : 0));
  r.launcherOnScreen = Seen(look.Wait(frame >= 0 ? 2000 : 0));
  bench::WindowBox launcher;
  if (m_o.startupOnly) {
    if (complete < 0) r.failure = "the home page did not load";
  } else if (complete < 0 ||
      !m_display.FindWindow(client.Pid(), 5000, &launcher, m_places.launcherW, m_places.launcherH)) {
    r.failure = "the launcher with its home page did not show";
  } else if (!WaitForHomePage(launcher, 15000)) {
    r.failure = "the home page did not reach the screen";
  } else {
    bench::TreeMemory alone = bench::SettledTree(client.Pid());
    r.launcherKb = alone.totalKb;
    r.launcherWebProcesses = alone.webProcesses;
    r.launcherParts = alone.parts;
    if (!OpenGame(client, launcher, &r.clickToGame, &r.clickToGameShown)) {
      r.failure = "a click on the start button opened no game page";
    } else {
      bench::TreeMemory game = bench::SettledTree(client.Pid());
      r.gameKb = game.totalKb;
      r.gameWebProcesses = game.webProcesses;
      r.gameParts = game.parts;
      if (cycles) {
        // The open above and this close are the first cycle.
        for (int c = 0; c < m_o.cycles; ++c) {
          if (c > 0 && !OpenGame(client, launcher, nullptr)) {
            r.failure = "cycle " + std::to_string(c + 1) + ": the game window did not open";
            break;
          }
          if (!CloseGame(client)) {
            r.failure = "cycle " + std::to_string(c + 1) + ": the game window did not close (windows shown: " +
                        m_display.Describe(client.Pid()) + ")";
            break;
          }
          r.cyclesDone = c + 1;
          if (c == 0) r.firstCycleKb = bench::SettledTree(client.Pid()).totalKb;
        }
        if (r.cyclesDone == m_o.cycles) {
          bench::TreeMemory after = bench::SettledTree(client.Pid());
          r.cycledKb = after.totalKb;
          r.cycledWebProcesses = after.webProcesses;
          r.cycledParts = after.parts;
        }
      }
    }
  }
  client.Stop();
  KeepLines(m_o, m_tag + "-client-" + std::to_string(run + 1) + ".txt", client);
  fs::remove_all(home);
  return r;
}

ViewsRun Bench::RunViews(int run, bool related) {
  ViewsRun r;
  fs::path home = Home("views", run);
  bench::Program views;
  std::vector<std::string> argv = {m_paths.views};
  if (related) argv.push_back("--related");
  argv.push_back(Url(kHomePath));
  argv.push_back(Url(kGamePath));
  if (!views.Start(argv, BaseEnvironment(m_display.Name(), home, m_o.env), 1, (m_scratch / "views.stderr").string(),
                   true))
    return r;
  if (views.WaitFor([](const std::string& l) { return StartsWith(l, "home-loaded "); }, kTimeoutMs) >= 0) {
    r.oneViewKb = bench::SettledTree(views.Pid()).totalKb;
    views.Drain();
    std::size_t mark = views.Lines().size();
    // The second window opens at (0, 0) too, above the first.
    bench::PixelWatch sea;
    sea.Start(m_display.Name(), 1246 - 100, 20, kGameSea, bench::NowMs());
    views.Send("open");
    int game = views.WaitFor([](const std::string& l) { return StartsWith(l, "game-loaded "); }, kTimeoutMs, mark);
    if (game >= 0) {
      r.gameLoadMs = SelfReported(views, game);
      r.gameShownMs = Seen(sea.Wait(10000));
      bench::TreeMemory m = bench::SettledTree(views.Pid());
      r.twoViewsKb = m.totalKb;
      r.webProcesses = m.webProcesses;
    }
  }
  views.Stop();
  fs::remove_all(home);
  return r;
}

// --- the report ---------------------------------------------------------

struct Stat {
  int n = 0;
  double median = 0, best = 0;
};

Stat Summarize(std::vector<double> v, bool lowIsBest = true) {
  Stat s;
  s.n = static_cast<int>(v.size());
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  std::size_t m = v.size() / 2;
  s.median = v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
  s.best = lowIsBest ? v.front() : v.back();
  return s;
}

template <typename Run, typename Get>
std::vector<double> Collect(const std::vector<Run>& runs, Get get) {
  std::vector<double> out;
  for (const Run& r : runs)
    if (auto v = get(r)) out.push_back(*v);
  return out;
}

void PrintRow(const char* what, const Stat& s, const char* unit, const std::string& note = "") {
  if (s.n == 0) {
    std::printf("  %-46s %9s %9s        (no value)%s\n", what, "-", "-", note.c_str());
    return;
  }
  std::printf("  %-46s %9.1f %9.1f %-4s n=%-3d%s\n", what, s.median, s.best, unit, s.n, note.c_str());
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

Sample Kb(long kb) { return kb > 0 ? Sample(static_cast<double>(kb) / 1024.0) : std::nullopt; }

void Report(const std::string& mode, const Options& o, const std::vector<BareRun>& bare,
            const std::vector<ClientRun>& client, const std::vector<ViewsRun>& shared,
            const std::vector<ViewsRun>& separate, const std::string& loadBefore, const std::string& loadAfter) {
  // One figure over the runs: a sample of each run, or KiB shown as MiB.
  auto c = [&](Sample ClientRun::*f) { return Summarize(Collect(client, [f](const ClientRun& r) { return r.*f; })); };
  auto b = [&](Sample BareRun::*f) { return Summarize(Collect(bare, [f](const BareRun& r) { return r.*f; })); };
  auto cKb = [&](long ClientRun::*f) {
    return Summarize(Collect(client, [f](const ClientRun& r) { return Kb(r.*f); }));
  };
  auto bKb = [&](long BareRun::*f) { return Summarize(Collect(bare, [f](const BareRun& r) { return Kb(r.*f); })); };
  auto v = [](const std::vector<ViewsRun>& runs, Sample ViewsRun::*f) {
    return Summarize(Collect(runs, [f](const ViewsRun& r) { return r.*f; }));
  };
  auto vKb = [](const std::vector<ViewsRun>& runs, long ViewsRun::*f) {
    return Summarize(Collect(runs, [f](const ViewsRun& r) { return Kb(r.*f); }));
  };
  // Differences and ratios within one run, where the machine was the same.
  auto paired = [&](auto get) {
    std::vector<double> out;
    for (std::size_t i = 0; i < client.size() && i < bare.size(); ++i)
      if (auto d = get(client[i], bare[i])) out.push_back(*d);
    return out;
  };

  std::printf("\n== %s: %d runs; load average before %s, after %s\n", mode.c_str(), o.runs, loadBefore.c_str(),
              loadAfter.c_str());
  std::printf("  %-46s %9s %9s\n", "", "median", "best");
  std::printf(" start-up, ms since process start\n");
  PrintRow("client: launcher's first frame (trace)", c(&ClientRun::firstFrame), "ms", "  target <= 150");
  PrintRow("client: launcher on screen (a skin pixel)", c(&ClientRun::launcherOnScreen), "ms");
  PrintRow("client: home DOMContentLoaded", c(&ClientRun::contentLoaded), "ms");
  PrintRow("client: home DocumentComplete", c(&ClientRun::homeComplete), "ms");
  PrintRow("client: home page on screen (its band's colour)", c(&ClientRun::pageOnScreen), "ms");
  PrintRow("bare:   first frame", b(&BareRun::firstFrame), "ms");
  PrintRow("bare:   window on screen (its middle pixel)", b(&BareRun::windowOnScreen), "ms");
  PrintRow("bare:   DOMContentLoaded", b(&BareRun::contentLoaded), "ms");
  PrintRow("bare:   load finished", b(&BareRun::loadFinished), "ms");
  PrintRow("bare:   page on screen (its band's colour)", b(&BareRun::pageOnScreen), "ms");
  auto minus = [](Sample ClientRun::*cf, Sample BareRun::*bf) {
    return [cf, bf](const ClientRun& cr, const BareRun& br) -> Sample {
      if (!(cr.*cf) || !(br.*bf)) return std::nullopt;
      return *(cr.*cf) - *(br.*bf);
    };
  };
  PrintRow("client - bare: on screen (same run)",
           Summarize(paired(minus(&ClientRun::launcherOnScreen, &BareRun::windowOnScreen))), "ms");
  PrintRow("client - bare: DOMContentLoaded (same run)",
           Summarize(paired(minus(&ClientRun::contentLoaded, &BareRun::contentLoaded))), "ms", "  target <= 0");
  PrintRow("client - bare: page on screen (same run)",
           Summarize(paired(minus(&ClientRun::pageOnScreen, &BareRun::pageOnScreen))), "ms");
  PrintRow("client's own clock: first frame", c(&ClientRun::selfFirstFrame), "ms");
  PrintRow("client's own clock: home DOMContentLoaded", c(&ClientRun::selfContentLoaded), "ms");
  PrintRow("client: CPU used by the tree until home DCL", c(&ClientRun::cpuToLoaded), "ms");
  PrintRow("bare:   CPU used by the tree until DCL", b(&BareRun::cpuToLoaded), "ms");

  std::printf(" entering the game\n");
  PrintRow("click on start -> game DocumentComplete", c(&ClientRun::clickToGame), "ms");
  PrintRow("click on start -> game page on screen", c(&ClientRun::clickToGameShown), "ms");

  std::printf(" memory, PSS of the whole process tree (MiB; best = lowest)\n");
  PrintRow("client: launcher alone", cKb(&ClientRun::launcherKb), "MiB");
  PrintRow("client: game window open", cKb(&ClientRun::gameKb), "MiB");
  PrintRow("client: launcher alone after the first cycle", cKb(&ClientRun::firstCycleKb), "MiB");
  PrintRow(("client: launcher alone after " + std::to_string(o.cycles) + " cycles").c_str(),
           cKb(&ClientRun::cycledKb), "MiB");
  PrintRow("bare:   home page", bKb(&BareRun::homeKb), "MiB");
  PrintRow("bare:   game page (1246x656)", bKb(&BareRun::gameKb), "MiB");
  // Ratios within one run: PSS shares the libraries' pages among every
  // process that maps them, so what else runs on the machine moves both.
  auto ratio = [](long ClientRun::*f) {
    return [f](const ClientRun& cr, const BareRun& br) -> Sample {
      if (cr.*f <= 0 || br.homeKb <= 0) return std::nullopt;
      return static_cast<double>(cr.*f) / static_cast<double>(br.homeKb);
    };
  };
  Stat alone = Summarize(paired(ratio(&ClientRun::launcherKb)));
  Stat game = Summarize(paired(ratio(&ClientRun::gameKb)));
  if (alone.n)
    std::printf("  launcher alone / bare home (same run) median %.2f, best %.2f  (target <= 1.10)\n", alone.median,
                alone.best);
  if (game.n)
    std::printf("  game open / bare home (same run)      median %.2f, best %.2f  (target <= 1.30)\n", game.median,
                game.best);
  // Growth from the start, and from the first cycle on: the game window
  // made at start-up (and its web process) is gone after the first close.
  for (const auto& [what, from] : {std::pair{"growth over the cycles from start-up  ", &ClientRun::launcherKb},
                                   std::pair{"growth from the 1st to the last cycle ", &ClientRun::firstCycleKb}}) {
    std::vector<double> growth;
    for (const ClientRun& r : client)
      if (r.cycledKb > 0 && r.*from > 0)
        growth.push_back(100.0 * static_cast<double>(r.cycledKb - r.*from) / static_cast<double>(r.*from));
    if (!growth.empty())
      std::printf("  %s median %+.1f %%, max %+.1f %%  (target <= +10 %%)\n", what, Summarize(growth).median,
                  *std::max_element(growth.begin(), growth.end()));
  }
  auto processes = [&](int ClientRun::*f) {
    std::vector<double> out;
    for (const auto& r : client)
      if (r.*f > 0) out.push_back(r.*f);
    return Summarize(out).median;
  };
  std::printf("  web processes (median): launcher alone %.0f, game open %.0f, after cycles %.0f\n",
              processes(&ClientRun::launcherWebProcesses), processes(&ClientRun::gameWebProcesses),
              processes(&ClientRun::cycledWebProcesses));
  for (const ClientRun& r : client)
    if (!r.launcherParts.empty()) {
      std::printf("  one run's trees, KiB: launcher alone: %s\n                       game open: %s\n",
                  r.launcherParts.c_str(), r.gameParts.c_str());
      if (!r.cycledParts.empty()) std::printf("                       after cycles: %s\n", r.cycledParts.c_str());
      break;
    }
  for (const BareRun& r : bare)
    if (!r.homeParts.empty()) {
      std::printf("                       bare home: %s\n", r.homeParts.c_str());
      break;
    }

  if (!shared.empty() || !separate.empty()) {
    std::printf(" two views (home 680x370, then the game 1246x656), the helper\n");
    for (const auto& [name, runs] :
         {std::pair{"shared web process", &shared}, std::pair{"own web process", &separate}}) {
      std::string n = name;
      PrintRow((n + ": game load").c_str(), v(*runs, &ViewsRun::gameLoadMs), "ms");
      PrintRow((n + ": game page on screen").c_str(), v(*runs, &ViewsRun::gameShownMs), "ms");
      PrintRow((n + ": one view").c_str(), vKb(*runs, &ViewsRun::oneViewKb), "MiB");
      PrintRow((n + ": two views").c_str(), vKb(*runs, &ViewsRun::twoViewsKb), "MiB");
    }
    auto procs = [](const std::vector<ViewsRun>& runs) { return runs.empty() ? 0 : runs.front().webProcesses; };
    std::printf("  web processes with two views: shared %d, own %d\n", procs(shared), procs(separate));
  }
  for (std::size_t i = 0; i < client.size(); ++i)
    if (!client[i].failure.empty()) std::printf("  run %zu: %s\n", i + 1, client[i].failure.c_str());
  std::fflush(stdout);
}

// --- set-up -------------------------------------------------------------

// A network of this process's own, with only loopback, so the operator can
// have the configuration's port whatever else runs on the machine.
bool EnterPrivateNetwork() {
  if (unshare(CLONE_NEWNET) != 0) return false;
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  ifreq ifr{};
  std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(s, SIOCGIFFLAGS, &ifr) == 0;
  ifr.ifr_flags |= IFF_UP | IFF_RUNNING;
  ok = ok && ioctl(s, SIOCSIFFLAGS, &ifr) == 0;
  close(s);
  return ok;
}

int Usage() {
  std::fprintf(stderr,
               "usage: bench_client [--runs N] [--cycles M] [--cycle-runs K] [--view-runs V]\n"
               "                    [--compositor off|on|both] [--startup-only] [--client PATH]\n"
               "                    [--keep-lines DIR] [--env NAME=VALUE]...\n");
  return 2;
}

bool ParseInt(const char* s, int* out) {
  char* end = nullptr;
  long v = std::strtol(s, &end, 10);
  if (!*s || *end || v < 0 || v > 100000) return false;
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  XInitThreads();  // the pixel watches have connections of their own on their threads
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool more = i + 1 < argc;
    if (a == "--runs" && more && ParseInt(argv[++i], &o.runs) && o.runs > 0) continue;
    if (a == "--cycles" && more && ParseInt(argv[++i], &o.cycles)) continue;
    if (a == "--cycle-runs" && more && ParseInt(argv[++i], &o.cycleRuns)) continue;
    if (a == "--view-runs" && more && ParseInt(argv[++i], &o.viewRuns)) continue;
    if (a == "--client" && more) {
      o.client = argv[++i];
      continue;
    }
    if (a == "--env" && more && std::strchr(argv[i + 1], '=')) {
      o.env.push_back(argv[++i]);
      continue;
    }
    if (a == "--keep-lines" && more) {
      o.keepLines = argv[++i];
      continue;
    }
    if (a == "--startup-only") {
      o.startupOnly = true;
      o.viewRuns = 0;
      continue;
    }
    if (a == "--compositor" && more) {
      std::string m = argv[++i];
      if (m == "off" || m == "on" || m == "both") {
        o.compositorOff = m != "on";
        o.compositorOn = m != "off";
        continue;
      }
    }
    return Usage();
  }

  Paths paths{TORVANE_CLIENT, BENCH_BARE, BENCH_VIEWS, std::string(TORVANE_BIN_DIR) + "/web-extensions"};
  Places places;
  if (!ReadPlaces(&places)) {
    std::fprintf(stderr, "bench_client: the skin has no launcher page rectangle or game close button\n");
    return 1;
  }
  // Before any thread or child: the network, and the orphans of the engine.
  bool privateNetwork = EnterPrivateNetwork();
  prctl(PR_SET_CHILD_SUBREAPER, 1);

  fs::path scratch = fs::temp_directory_path() / ("torvane-bench-client-" + std::to_string(getpid()));
  fs::remove_all(scratch);
  fs::create_directories(scratch);
  std::string source = o.client.empty() ? std::string(TORVANE_CLIENT) : o.client;
  paths.client = source;

  OperatorProcess op({"--exit-with-parent", "--timeout", "86400"});
  if (!op.Start(kOperatorPort)) {
    std::fprintf(stderr,
                 "bench_client: the stand-in operator could not listen on 127.0.0.1:%d, the client's home address%s\n",
                 kOperatorPort, privateNetwork ? "" : " (no private network: run as root, or free the port)");
    return 1;
  }
  bench::Display display;
  if (!display.Start(kScreenW, kScreenH)) return 1;

  std::printf("bench_client: Xvfb %s %dx%dx24, no window manager; %s network; client %s; %d runs, %d cycles in the "
              "first %d, %d two-view runs each way\n",
              display.Name().c_str(), kScreenW, kScreenH, privateNetwork ? "a private loopback" : "the machine's",
              source.c_str(), o.runs, o.cycles, std::min(o.cycleRuns, o.runs), o.viewRuns);
  std::printf("machine: %ld cores; times are taken here, from just before the program is started to when its line "
              "arrives\n",
              sysconf(_SC_NPROCESSORS_ONLN));
  for (const auto& e : o.env) std::printf("both programs run with %s\n", e.c_str());
  Bench bench(o, paths, places, display, scratch, op.Url(""));

  std::vector<std::pair<std::string, bool>> modes;
  if (o.compositorOff) modes.emplace_back("compositing off (no compositing manager)", false);
  if (o.compositorOn) modes.emplace_back("compositing on (xcompmgr)", true);
  int exitCode = 0;
  for (const auto& [name, composited] : modes) {
    if (composited && !display.StartCompositor()) {
      exitCode = 1;
      continue;
    }
    bench.SetTag(composited ? "on" : "off");
    std::string loadBefore = LoadAverage();
    std::vector<BareRun> bare;
    std::vector<ClientRun> client;
    for (int run = 0; run < o.runs; ++run) {
      // The order alternates, so neither program always runs on a cache the
      // other one just warmed.
      bool cycles = run < o.cycleRuns;
      if (run % 2 == 0) {
        bare.push_back(bench.RunBare(run));
        client.push_back(bench.RunClient(run, cycles));
      } else {
        client.push_back(bench.RunClient(run, cycles));
        bare.push_back(bench.RunBare(run));
      }
      const ClientRun& c = client.back();
      const BareRun& b = bare.back();
      std::fprintf(stderr,
                   "run %2d: client frame %6.1f dcl %6.1f shown %6.1f click->game %6.1f mem %5.1f/%5.1f/%5.1f MiB | "
                   "bare frame %6.1f dcl %6.1f shown %6.1f mem %5.1f MiB%s%s\n",
                   run + 1, c.firstFrame.value_or(-1), c.contentLoaded.value_or(-1), c.pageOnScreen.value_or(-1),
                   c.clickToGame.value_or(-1), c.launcherKb / 1024.0, c.gameKb / 1024.0, c.cycledKb / 1024.0,
                   b.firstFrame.value_or(-1), b.contentLoaded.value_or(-1), b.pageOnScreen.value_or(-1),
                   b.homeKb / 1024.0, c.failure.empty() ? "" : "  ", c.failure.c_str());
      if (!c.failure.empty()) exitCode = 1;
    }
    std::vector<ViewsRun> shared, separate;
    for (int run = 0; run < o.viewRuns; ++run) {
      shared.push_back(bench.RunViews(run, true));
      separate.push_back(bench.RunViews(run, false));
    }
    std::string title =
        name + (display.Composited() ? ", a compositing manager runs" : ", no compositing manager runs");
    Report(title, o, bare, client, shared, separate, loadBefore, LoadAverage());
    if (composited) display.StopCompositor();
  }
  fs::remove_all(scratch);
  return exitCode;
}
