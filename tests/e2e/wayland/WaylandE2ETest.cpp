// The client on a Wayland desktop. The test starts weston with its headless
// backend in a private runtime folder, as a Wayland session would run it, and
// starts the real client with that session's WAYLAND_DISPLAY and DISPLAY:
// with XWayland the client runs on the X display XWayland offers (the launcher
// places its own windows, which a Wayland client may not do); without it the
// client ends at once with a message that says what is missing.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "platform/gfx/Png.h"
#include "tests/support/TestFiles.h"
#include "tools/operator/OperatorProcess.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The port the fixture client's configuration names (tests/fixtures/wayland).
constexpr int kOperatorPort = 18661;
// Its product title: the desktop identity is "Velmora.<title>.1".
constexpr const char* kWindowClass = "Velmora.Wayland Test.1";
// The launcher's size in the default skin (MAINWND).
constexpr int kLauncherWidth = 1222;
constexpr int kLauncherHeight = 780;
// Where the launcher's page lies in it (the skin's "ie" rectangle).
constexpr int kPageLeft = 471;
constexpr int kPageTop = 262;
constexpr int kPageWidth = 680;
// The home page's top band: flat #1b2a4a; its first six rows are bare over
// the page's whole width.
constexpr std::uint32_t kBandColour = 0x1b2a4a;
constexpr int kBareBandRows = 6;
// weston's output.
constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

// Calls done() until it is true, sleeping between tries at most a short
// while; false when timeoutMs passed first.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    poll(nullptr, 0, 25);
  }
}

// What a shell command printed on stdout.
std::string Output(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// A child process that dies with the test (PR_SET_PDEATHSIG), so a crashed
// test leaves no compositor or client behind. env holds the entries to set
// ("NAME=value") or to remove ("NAME" alone) on top of the test's own.
class Child {
 public:
  Child() = default;
  ~Child() { Kill(); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // stdout and stderr go to outputPath; keepFd stays open in the child.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& outputPath,
             int keepFd = -1) {
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      size_t eq = entry.find('=');
      if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& e : env) {
      size_t eq = e.find('=');
      if (eq == std::string::npos)
        vars.erase(e);
      else
        vars[e.substr(0, eq)] = e.substr(eq + 1);
    }
    std::vector<std::string> entries;
    for (const auto& [k, v] : vars) entries.push_back(k + "=" + v);
    std::vector<char*> envp, args;
    for (auto& e : entries) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = argv;
    for (auto& a : argCopy) args.push_back(a.data());
    args.push_back(nullptr);
    int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) return false;
    pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
      dup2(out, 1);
      dup2(out, 2);
      if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
      execvpe(args[0], args.data(), envp.data());
      const char* what = "cannot run the program\n";
      (void)!write(2, what, std::strlen(what));
      _exit(127);
    }
    close(out);
    if (pid_ < 0) return false;
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    return true;
  }

  bool Running() const { return pid_ > 0; }

  // The exit status once the process ended within timeoutMs.
  std::optional<int> Wait(int timeoutMs) {
    if (pid_ <= 0) return status_;
    int status = 0;
    if (pidfd_ >= 0) {
      pollfd p{pidfd_, POLLIN, 0};
      if (poll(&p, 1, timeoutMs) <= 0 || waitpid(pid_, &status, 0) != pid_) return std::nullopt;
    } else if (!WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeoutMs)) {
      return std::nullopt;  // a kernel without pidfd_open
    }
    Reaped(status);
    return status_;
  }

  // The exit status when the process has already ended.
  std::optional<int> Ended() { return Wait(0); }

  void Signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
  }

  // SIGTERM, then SIGKILL when it does not end within timeoutMs.
  void Stop(int timeoutMs = 5000) {
    if (pid_ <= 0) return;
    Signal(SIGTERM);
    if (!Wait(timeoutMs)) Kill();
  }

 private:
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    Reaped(status);
  }
  void Reaped(int status) {
    status_ = status;
    pid_ = -1;
    if (pidfd_ >= 0) close(pidfd_);
    pidfd_ = -1;
  }

  pid_t pid_ = -1;
  int pidfd_ = -1;
  std::optional<int> status_;
};

// A private folder, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir() {
    char templ[] = "/tmp/torvane-wayland-XXXXXX";
    if (mkdtemp(templ)) path_ = templ;  // mode 0700, as a runtime folder must be
  }
  ~TempDir() {
    if (!path_.empty() && !std::getenv("TORVANE_E2E_KEEP")) {
      std::error_code ec;
      fs::remove_all(path_, ec);
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// weston with the headless backend, its socket and log in a private runtime
// folder. With XWayland, weston offers an X display that it starts on the
// first connection.
class Weston {
 public:
  explicit Weston(const std::string& runtimeDir) : runtimeDir_(runtimeDir) {
    socket_ = "torvane-wayland-" + std::to_string(getpid());
  }
  ~Weston() { child_.Stop(); }

  // False, with what weston said, when it did not come up within timeoutMs.
  bool Start(bool xwayland, std::string* why, int timeoutMs = 20000) {
    chmod(runtimeDir_.c_str(), 0700);
    logPath_ = runtimeDir_ + "/weston.log";
    std::vector<std::string> argv = {"weston",
                                     "--backend=headless-backend.so",
                                     "--socket=" + socket_,
                                     "--width=" + std::to_string(kScreenWidth),
                                     "--height=" + std::to_string(kScreenHeight),
                                     // The pixman renderer composes the output, so it can be captured.
                                     "--use-pixman",
                                     // Exposes the screenshooter protocol for weston-screenshooter.
                                     "--debug",
                                     // No user's weston.ini, no idle lock screen.
                                     "--no-config",
                                     "--idle-time=0",
                                     "--log=" + logPath_};
    if (xwayland) argv.push_back("--xwayland");
    if (!child_.Start(argv, {"XDG_RUNTIME_DIR=" + runtimeDir_, "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "DISPLAY"},
                      runtimeDir_ + "/weston.out")) {
      *why = "cannot start weston: " + std::string(std::strerror(errno));
      return false;
    }
    bool up = WaitUntil(
        [&] {
          if (child_.Ended()) return true;
          if (!Listening()) return false;
          return !xwayland || !XDisplay().empty();
        },
        timeoutMs);
    if (!up || child_.Ended()) {
      *why = std::string(up ? "weston ended" : "weston did not come up") + "; its log:\n" + ReadFile(logPath_) +
             ReadFile(runtimeDir_ + "/weston.out");
      child_.Stop();
      return false;
    }
    return true;
  }

  const std::string& Socket() const { return socket_; }
  bool Alive() { return child_.Running() && !child_.Ended(); }

  // ":<n>", the X display XWayland offers, from weston's log; "" when none.
  std::string XDisplay() const {
    std::smatch m;
    std::string log = ReadFile(logPath_);
    static const std::regex kListening("xserver listening on display (:[0-9]+)");
    return std::regex_search(log, m, kListening) ? m[1].str() : std::string();
  }
  std::string Log() const { return ReadFile(logPath_); }

 private:
  // The Wayland socket accepts connections.
  bool Listening() const {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::string path = runtimeDir_ + "/" + socket_;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
  }

  std::string runtimeDir_;
  std::string socket_;
  std::string logPath_;
  Child child_;
};

// The test's home and XDG folders for the client, inside dir.
std::vector<std::string> ClientHome(const std::string& dir) {
  return {"HOME=" + dir + "/home", "XDG_CONFIG_HOME=" + dir + "/config", "XDG_CACHE_HOME=" + dir + "/cache",
          "XDG_DATA_HOME=" + dir + "/data",
          // No session bus here: an address where none listens keeps GIO
          // from launching one of its own that would outlive the test.
          "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir + "/no-session-bus",
          // The ctest environment asks for the headless backend; this is the product's.
          "TORVANE_BACKEND=gtk", "TORVANE_READY_FD", "GDK_BACKEND"};
}

std::string ClientPath() {
  const char* bin = std::getenv("TORVANE_TEST_BIN");
  return std::string(bin && *bin ? bin : TORVANE_BIN_DIR) + "/torvane-wayland-fixture";
}

// The X windows of display whose WM_CLASS is the client's: their ids.
std::vector<std::string> ClientWindows(const std::string& display) {
  std::vector<std::string> ids;
  std::string tree = Output("xwininfo -display " + display + " -root -tree 2>/dev/null");
  std::string needle = std::string("(\"") + kWindowClass + "\" \"" + kWindowClass + "\")";
  size_t start = 0;
  while (start < tree.size()) {
    size_t end = tree.find('\n', start);
    if (end == std::string::npos) end = tree.size();
    std::string line = tree.substr(start, end - start);
    if (line.find(needle) != std::string::npos) {
      std::smatch m;
      static const std::regex kId("^\\s*(0x[0-9a-f]+)");
      if (std::regex_search(line, m, kId)) ids.push_back(m[1].str());
    }
    start = end + 1;
  }
  return ids;
}

struct WindowInfo {
  bool viewable = false;
  int width = 0, height = 0;
};

WindowInfo Info(const std::string& display, const std::string& id) {
  std::string text = Output("xwininfo -display " + display + " -id " + id + " 2>/dev/null");
  WindowInfo w;
  w.viewable = text.find("Map State: IsViewable") != std::string::npos;
  auto number = [&](const char* label) {
    std::smatch m;
    std::regex re(std::string(label) + ":\\s*(-?[0-9]+)");
    return std::regex_search(text, m, re) ? std::atoi(m[1].str().c_str()) : -1;
  };
  w.width = number("Width");
  w.height = number("Height");
  return w;
}

// The id of the client's shown launcher window on display; "" when none.
std::string Launcher(const std::string& display) {
  for (const auto& id : ClientWindows(display)) {
    WindowInfo w = Info(display, id);
    if (w.viewable && w.width == kLauncherWidth && w.height == kLauncherHeight) return id;
  }
  return "";
}

// The name the window manager of display gives itself (_NET_WM_NAME of the
// root's _NET_SUPPORTING_WM_CHECK window); "" when none runs.
std::string WindowManagerName(const std::string& display) {
  std::smatch m;
  std::string check = Output("xprop -display " + display + " -root _NET_SUPPORTING_WM_CHECK 2>/dev/null");
  static const std::regex kWindow("window id # (0x[0-9a-f]+)");
  if (!std::regex_search(check, m, kWindow)) return "";
  std::string name = Output("xprop -display " + display + " -id " + m[1].str() + " _NET_WM_NAME 2>/dev/null");
  static const std::regex kName("= \"(.*)\"");
  return std::regex_search(name, m, kName) ? m[1].str() : "";
}

gfx::Surface ReadPng(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return gfx::DecodePng(bytes);
}

bool NearColour(std::uint32_t pixel, std::uint32_t colour) {
  for (int shift : {0, 8, 16})
    if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) - static_cast<int>((colour >> shift) & 0xFF)) > 2)
      return false;
  return true;
}

// Rows of the page band seen in the launcher window's own picture: how many
// of the bare rows are band-coloured over the page's whole width.
int BandRowsInLauncher(const gfx::Surface& shot) {
  int rows = 0;
  for (int y = 0; y < kBareBandRows; ++y) {
    bool whole = true;
    for (int x = 0; x < kPageWidth && whole; ++x)
      whole = NearColour(shot.Pixel(kPageLeft + x, kPageTop + y), kBandColour);
    rows += whole;
  }
  return rows;
}

// Where the launcher shows on a picture of the whole output: found by its
// page's band (the first of kBareBandRows rows with a band-coloured run
// exactly as wide as the page); nullopt when the band is not there.
std::optional<std::pair<int, int>> LauncherOnOutput(const gfx::Surface& shot) {
  for (int y = 0; y + kBareBandRows <= shot.height(); ++y) {
    for (int x = 0; x < shot.width();) {
      if (!NearColour(shot.Pixel(x, y), kBandColour)) {
        ++x;
        continue;
      }
      int end = x;
      while (end < shot.width() && NearColour(shot.Pixel(end, y), kBandColour)) ++end;
      if (end - x == kPageWidth) {
        bool band = true;
        for (int r = 1; r < kBareBandRows && band; ++r)
          for (int c = x; c < end && band; c += 17) band = NearColour(shot.Pixel(c, y + r), kBandColour);
        if (band) return std::make_pair(x - kPageLeft, y - kPageTop);
      }
      x = end;
    }
  }
  return std::nullopt;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// One Wayland session a test: a private folder with the runtime folder, the
// client's home and XDG folders; weston; the stand-in operator on the fixture
// client's port; the client.
class WaylandSessionTest : public ::testing::Test {
 protected:
  // Starts weston (with or without XWayland) and the operator. False, with
  // the reason in skipReason_, when weston cannot start here.
  bool StartSession(bool xwayland) {
    runtime_ = dir_.Path() + "/runtime";
    EXPECT_FALSE(dir_.Path().empty());
    EXPECT_EQ(mkdir(runtime_.c_str(), 0700), 0);
    weston_ = std::make_unique<Weston>(runtime_);
    if (!weston_->Start(xwayland, &skipReason_)) return false;
    EXPECT_TRUE(op_.Start(kOperatorPort));
    return true;
  }

  // The client's environment as a Wayland session gives it, plus extra.
  std::vector<std::string> SessionEnv(const std::vector<std::string>& extra) {
    std::vector<std::string> env = ClientHome(dir_.Path());
    env.push_back("XDG_RUNTIME_DIR=" + runtime_);
    env.push_back("WAYLAND_DISPLAY=" + weston_->Socket());
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
  }

  // Starts the client; true once it says its loop runs.
  bool StartClientUntilReady(const std::vector<std::string>& extraEnv) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return false;
    std::vector<std::string> env = SessionEnv(extraEnv);
    env.push_back("TORVANE_READY_FD=" + std::to_string(ready[1]));
    bool started = client_.Start({ClientPath()}, env, ClientOutPath(), ready[1]);
    close(ready[1]);
    // "ready", or EOF when the client ended first.
    pollfd p{ready[0], POLLIN, 0};
    char buf[16] = {};
    ssize_t n = started && poll(&p, 1, 60000) > 0 ? read(ready[0], buf, sizeof buf) : -1;
    close(ready[0]);
    return n >= 5 && std::string(buf, 5) == "ready";
  }

  // Waits for the client's shown launcher on display; "" when none came.
  std::string WaitForLauncher(const std::string& display) {
    std::string launcher;
    WaitUntil([&] { return !(launcher = Launcher(display)).empty(); }, 30000);
    return launcher;
  }

  // SIGTERM, the orderly way out; the exit status, nullopt when the client
  // did not end.
  std::optional<int> TerminateClient() {
    client_.Signal(SIGTERM);
    return client_.Wait(30000);
  }

  std::string ClientOutPath() const { return dir_.Path() + "/client.out"; }
  std::string ClientSaid() const { return ReadFile(ClientOutPath()); }
  std::string Windows(const std::string& display) const {
    return Output("xwininfo -display " + display + " -root -tree 2>/dev/null");
  }

  TempDir dir_;
  std::string runtime_;
  std::string skipReason_;
  std::unique_ptr<Weston> weston_;
  OperatorProcess op_;
  Child client_;  // ends before weston and the operator
};

// The environments a Wayland session may give: GDK_BACKEND unset, or naming
// Wayland (some desktops export it for every program). The client runs
// through XWayland either way.
struct XWaylandCase {
  const char* name;
  const char* gdkBackend;  // nullptr: unset
};

class ClientOnXWayland : public WaylandSessionTest, public ::testing::WithParamInterface<XWaylandCase> {};

TEST_P(ClientOnXWayland, ShowsItsLauncherWithThePageAndEndsOnSigterm) {
  if (!StartSession(/*xwayland=*/true)) GTEST_SKIP() << "weston cannot start in this environment: " << skipReason_;
  std::string display = weston_->XDisplay();
  ASSERT_FALSE(display.empty());
  // The display is XWayland's under this weston (connecting starts it), not
  // some other X server: weston's X window manager runs on it.
  std::string wm;
  ASSERT_TRUE(WaitUntil([&] { return (wm = WindowManagerName(display)) == "Weston WM"; }, 20000))
      << "window manager on " << display << ": '" << wm << "'\n"
      << weston_->Log();

  const char* backend = GetParam().gdkBackend;
  ASSERT_TRUE(StartClientUntilReady(
      {"DISPLAY=" + display, backend ? "GDK_BACKEND=" + std::string(backend) : std::string("GDK_BACKEND")}))
      << "the client did not reach its loop; it said:\n"
      << ClientSaid();

  // The launcher is an X window on XWayland's display, shown, of the
  // client's class.
  std::string launcher = WaitForLauncher(display);
  ASSERT_FALSE(launcher.empty()) << "no shown " << kLauncherWidth << "x" << kLauncherHeight << " window of class "
                                 << kWindowClass << " on " << display << "; windows:\n"
                                 << Windows(display) << "client:\n"
                                 << ClientSaid();

  // The operator served the home page.
  ASSERT_TRUE(WaitUntil([&] { return op_.LogText().find("GET /client/home.html") != std::string::npos; }, 30000))
      << "operator log:\n"
      << op_.LogText();
  EXPECT_NE(op_.LogText().find("GET /client/home.html 200"), std::string::npos) << op_.LogText();

  // The page shows inside the launcher, over the skin's page rectangle: the
  // home page's band in the window's own picture, taken from XWayland.
  std::string windowShot = dir_.Path() + "/launcher.png";
  int bandRows = 0;
  WaitUntil(
      [&] {
        Output("timeout 20 import -display " + display + " -window " + launcher + " -depth 8 " +
               Quoted("png24:" + windowShot) + " 2>/dev/null");
        return (bandRows = BandRowsInLauncher(ReadPng(windowShot))) == kBareBandRows;
      },
      30000);
  EXPECT_EQ(bandRows, kBareBandRows) << "the home page's band is not over the page rectangle in " << windowShot;

  // And weston shows it on its output: the band, as wide as the page, in
  // weston's own screenshot (its screenshooter, open with --debug).
  std::optional<std::pair<int, int>> onOutput;
  std::string outputShot;
  auto isShot = [](const fs::path& p) { return p.filename().string().rfind("wayland-screenshot", 0) == 0; };
  WaitUntil(
      [&] {
        for (const auto& e : fs::directory_iterator(dir_.Path()))
          if (isShot(e.path())) fs::remove(e.path());
        outputShot.clear();
        Output("cd " + Quoted(dir_.Path()) + " && XDG_RUNTIME_DIR=" + Quoted(runtime_) +
               " WAYLAND_DISPLAY=" + Quoted(weston_->Socket()) + " timeout 20 weston-screenshooter >/dev/null 2>&1");
        for (const auto& e : fs::directory_iterator(dir_.Path()))
          if (isShot(e.path())) outputShot = e.path();
        if (outputShot.empty()) return false;
        gfx::Surface shot = ReadPng(outputShot);
        return shot.width() == kScreenWidth && (onOutput = LauncherOnOutput(shot)).has_value();
      },
      30000);
  ASSERT_FALSE(outputShot.empty()) << "weston-screenshooter wrote no picture";
  EXPECT_TRUE(onOutput.has_value()) << "the launcher's page is not on weston's output: " << outputShot;

  std::optional<int> status = TerminateClient();
  ASSERT_TRUE(status.has_value()) << "the client did not end on SIGTERM";
  ASSERT_TRUE(WIFEXITED(*status)) << "status " << *status << "; it said:\n" << ClientSaid();
  EXPECT_EQ(WEXITSTATUS(*status), 0) << ClientSaid();
  EXPECT_TRUE(weston_->Alive()) << weston_->Log();
}

INSTANTIATE_TEST_SUITE_P(Cases, ClientOnXWayland,
                         ::testing::Values(XWaylandCase{"GdkBackendUnset", nullptr},
                                           XWaylandCase{"GdkBackendWayland", "wayland"}),
                         [](const ::testing::TestParamInfo<XWaylandCase>& info) {
                           return std::string(info.param.name);
                         });

// The launcher asks the window manager to keep the place the client gives
// it: its size hints name a position (USPosition or PPosition). Without one,
// the window managers of Wayland desktops (and most X ones) place it where
// they like. weston's own X window manager places X windows itself whatever
// they ask, so only the request is checked here, not the place.
TEST_F(WaylandSessionTest, LauncherAsksToKeepItsPlace) {
  if (!StartSession(/*xwayland=*/true)) GTEST_SKIP() << "weston cannot start in this environment: " << skipReason_;
  std::string display = weston_->XDisplay();
  ASSERT_TRUE(StartClientUntilReady({"DISPLAY=" + display})) << ClientSaid();
  std::string launcher = WaitForLauncher(display);
  ASSERT_FALSE(launcher.empty()) << Windows(display);
  std::string hints = Output("xprop -display " + display + " -id " + launcher + " WM_NORMAL_HINTS 2>/dev/null");
  EXPECT_NE(hints.find("specified location"), std::string::npos) << "the launcher's size hints name no position:\n"
                                                                 << hints;
  std::optional<int> status = TerminateClient();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "status " << *status;
}

// A Wayland session without XWayland: no DISPLAY, or one that names no
// server. The client ends with 1 and a message, before it writes anything
// or asks the operator for anything.
struct NoXCase {
  const char* name;
  bool unsetDisplay;
  const char* message;
};

class WaylandWithoutX : public WaylandSessionTest, public ::testing::WithParamInterface<NoXCase> {};

TEST_P(WaylandWithoutX, EndsWithOneAndSaysWhyWritingNothing) {
  const NoXCase& c = GetParam();
  if (!StartSession(/*xwayland=*/false)) GTEST_SKIP() << "weston cannot start in this environment: " << skipReason_;
  // A display number no X server uses: far above what Xvfb and XWayland pick.
  std::vector<std::string> env = SessionEnv({c.unsetDisplay ? std::string("DISPLAY") : std::string("DISPLAY=:4871")});
  ASSERT_TRUE(client_.Start({ClientPath()}, env, ClientOutPath()));
  std::optional<int> status = client_.Wait(30000);
  ASSERT_TRUE(status.has_value()) << "the client kept running without an X display";
  ASSERT_TRUE(WIFEXITED(*status)) << "status " << *status;
  EXPECT_EQ(WEXITSTATUS(*status), 1);
  std::string said = ClientSaid();
  EXPECT_NE(said.find(c.message), std::string::npos) << said;

  for (const char* folder : {"/config", "/cache", "/data", "/home"})
    EXPECT_FALSE(Exists(dir_.Path() + folder)) << folder << " was written";
  EXPECT_EQ(op_.LogText().find(" GET "), std::string::npos) << "the client asked the operator:\n" << op_.LogText();
  EXPECT_TRUE(weston_->Alive()) << weston_->Log();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WaylandWithoutX,
    ::testing::Values(NoXCase{"NoDisplay", true,
                              "torvane: this Wayland session offers no X server (XWayland); the client needs one"},
                      NoXCase{"DisplayWithoutServer", false, "torvane: cannot open the display ':4871'"}),
    [](const ::testing::TestParamInfo<NoXCase>& info) { return std::string(info.param.name); });

}  // namespace
