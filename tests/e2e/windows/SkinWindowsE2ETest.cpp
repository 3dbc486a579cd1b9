// The skinned windows on the real gtk backend under a private Xvfb: the
// default launcher (layered) and game window (framed) shown by skinwnd_show,
// captured as screenshots and checked by pixels against the design; a real
// hover, press and click with xdotool reaching OnSkinCommand; a drag that
// moves the window; an edge drag that resizes the framed window and stops at
// its minimum size. The launcher is checked both where no compositing
// manager runs (its shape follows the alpha) and under xcompmgr (per-pixel
// alpha).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gfx/Png.h"
#include "skin/SkinDocument.h"
#include "tests/support/VirtualDisplay.h"
#include "tools/skin/SkinCompose.h"

extern char** environ;

namespace {

constexpr int kWaitMs = 10000;
std::string g_dir;

long long Now() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A child process whose stdout lines we read.
class Child {
 public:
  bool Start(const std::vector<std::string>& args, bool readOutput) {
    int fds[2] = {-1, -1};
    if (readOutput && pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (readOutput) {
      posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
      posix_spawn_file_actions_addclose(&actions, fds[0]);
    } else {
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int rc = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (readOutput) {
      close(fds[1]);
      m_fd = fds[0];
      fcntl(m_fd, F_SETFL, O_NONBLOCK);
    }
    if (rc != 0) m_pid = -1;
    return rc == 0;
  }
  ~Child() { Stop(); }
  void Stop() {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      int status;
      waitpid(m_pid, &status, 0);
      m_pid = -1;
    }
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
  }
  // Waits for a line for which pred holds (lines read before count too,
  // from `from` on); the line, or "" after timeoutMs.
  std::string WaitFor(const std::function<bool(const std::string&)>& pred, int timeoutMs, std::size_t from = 0) {
    long long end = Now() + timeoutMs;
    while (true) {
      for (std::size_t i = from; i < m_lines.size(); ++i)
        if (pred(m_lines[i])) return m_lines[i];
      long long left = end - Now();
      if (left <= 0) return "";
      pollfd p{m_fd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) > 0) ReadSome();
    }
  }
  std::string WaitForPrefix(const std::string& prefix, int timeoutMs, std::size_t from = 0) {
    return WaitFor([&](const std::string& l) { return l.rfind(prefix, 0) == 0; }, timeoutMs, from);
  }
  // Reads what is there without waiting.
  void Drain() { ReadSome(); }
  const std::vector<std::string>& Lines() const { return m_lines; }

 private:
  void ReadSome() {
    char buf[4096];
    ssize_t n;
    while (m_fd >= 0 && (n = read(m_fd, buf, sizeof buf)) > 0) {
      m_partial.append(buf, static_cast<std::size_t>(n));
      std::size_t nl;
      while ((nl = m_partial.find('\n')) != std::string::npos) {
        m_lines.push_back(m_partial.substr(0, nl));
        m_partial.erase(0, nl + 1);
      }
    }
  }
  pid_t m_pid = -1;
  int m_fd = -1;
  std::string m_partial;
  std::vector<std::string> m_lines;
};

bool Shell(const std::string& cmd) { return std::system(cmd.c_str()) == 0; }

gfx::Surface ReadPng(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return gfx::DecodePng(bytes);
}

// What the screen shows (RGB).
gfx::Surface Screenshot(const std::string& name = "screen") {
  std::string path = g_dir + "/" + name + ".png";
  if (!Shell("import -window root -depth 8 'png24:" + path + "' 2>/dev/null")) return {};
  return ReadPng(path);
}

std::uint32_t Rgb(std::uint32_t p) { return p & 0xFFFFFF; }
bool Near(std::uint32_t a, std::uint32_t b, int tolerance) {
  for (int shift : {0, 8, 16})
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > tolerance)
      return false;
  return true;
}

// How the screen matches a premultiplied design placed at (ox, oy) over a
// uniform background `bg`, by the design's alpha.
struct Fit {
  int opaque = 0, opaqueOk = 0;            // alpha 255: the design's colour
  int clear = 0, clearOk = 0;              // alpha 0: the background
  int partial = 0, partialBlended = 0, partialShaped = 0;
  bool Opaque(double share) const { return opaque > 0 && opaqueOk >= share * opaque; }
  bool Clear(double share) const { return clear == 0 || clearOk >= share * clear; }
};
Fit Compare(const gfx::Surface& screen, const gfx::Surface& design, int ox, int oy, std::uint32_t bg,
            RECT region = RECT{0, 0, 1 << 30, 1 << 30}) {
  Fit f;
  for (int y = std::max(0L, static_cast<long>(region.top)); y < std::min<long>(design.height(), region.bottom); ++y)
    for (int x = std::max(0L, static_cast<long>(region.left)); x < std::min<long>(design.width(), region.right); ++x) {
      int sx = ox + x, sy = oy + y;
      if (sx < 0 || sy < 0 || sx >= screen.width() || sy >= screen.height()) continue;
      std::uint32_t d = design.Pixel(x, y), s = Rgb(screen.Pixel(sx, sy));
      int a = static_cast<int>(d >> 24);
      if (a == 255) {
        ++f.opaque;
        f.opaqueOk += s == Rgb(d);
      } else if (a == 0) {
        ++f.clear;
        f.clearOk += s == Rgb(bg);
      } else {
        ++f.partial;
        std::uint32_t blended = 0;
        for (int shift : {0, 8, 16}) {
          int c = static_cast<int>((d >> shift) & 0xFF), b = static_cast<int>((bg >> shift) & 0xFF);
          blended |= static_cast<std::uint32_t>(std::min(255, c + b * (255 - a) / 255)) << shift;
        }
        f.partialBlended += Near(s, blended, 3);
        f.partialShaped += Near(s, a >= 128 ? Rgb(d) : Rgb(bg), 3);
      }
    }
  return f;
}

SkinDocument& Skin() {
  static SkinDocument* doc = [] {
    auto* d = new SkinDocument();
    d->LoadFromResource();
    return d;
  }();
  return *doc;
}

gfx::Surface Design(const std::string& element, WindowKind kind, int w, int h) {
  return ComposeScene(Skin(), LoadScene(Skin(), element), kind, w, h);
}

// torvane-skin's picture of the window with a button hovered or pressed.
gfx::Surface ToolRender(const std::string& element, WindowKind kind, int w, int h, const std::string& flag,
                        const std::string& button) {
  std::string out = g_dir + "/" + element + "-" + button + flag + ".png";
  std::string bin = std::string(std::getenv("TORVANE_TEST_BIN")) + "/torvane-skin";
  std::string cmd = "'" + bin + "' render - --window " + element + " --kind " +
                    (kind == WindowKind::Layered ? "layered" : "framed") + " --size " + std::to_string(w) + "x" +
                    std::to_string(h) + " " + flag + " " + button + " --out '" + out + "'";
  if (!Shell(cmd)) return {};
  return ReadPng(out);
}

// The rectangle of a button as the skin anchors it at the design size.
RECT ButtonRect(const std::string& element, const std::string& name, int clientWidth) {
  SkinScene scene = LoadScene(Skin(), element);
  for (std::size_t i = 0; i < scene.buttons.size(); ++i) {
    const SkinButtonInfo& b = scene.buttons[i];
    if (b.name != name) continue;
    int w = scene.buttonImages[i]->GetWidth(), h = scene.buttonImages[i]->GetHeight();
    int x = b.align == "TopRight" ? clientWidth - w - b.left : b.left;
    return RECT{x, b.top, x + w, b.top + h};
  }
  return RECT{};
}

void Mouse(const std::string& args) { ASSERT_TRUE(Shell("xdotool " + args)); }

// Moves the pointer in steps from (x0, y0) to (x1, y1), the button held.
void DragSteps(int x0, int y0, int x1, int y1) {
  for (int i = 1; i <= 8; ++i)
    Mouse("mousemove " + std::to_string(x0 + (x1 - x0) * i / 8) + " " + std::to_string(y0 + (y1 - y0) * i / 8) +
          " sleep 0.03");
}

class Environment : public ::testing::Environment {
 public:
  void SetUp() override {
    char dir[] = "/tmp/torvane-windows-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    g_dir = dir;
    setenv("XDG_CONFIG_HOME", (g_dir + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (g_dir + "/data").c_str(), 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    ASSERT_TRUE(m_display.Start());
  }
  void TearDown() override {
    m_display.Stop();
    if (!g_dir.empty() && !std::getenv("TORVANE_E2E_KEEP")) Shell("rm -rf '" + g_dir + "'");
  }

 private:
  VirtualDisplay m_display;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

// One shown window of skinwnd_show, optionally with a compositing manager.
class WindowE2E : public ::testing::Test {
 protected:
  void StartCompositor() {
    ASSERT_TRUE(Shell("command -v xcompmgr >/dev/null")) << "xcompmgr is missing (tools/setup.sh installs it)";
    ASSERT_TRUE(m_compositor.Start({"xcompmgr"}, false));
    m_composited = true;
  }
  // Starts the program and waits until it reports the window shown.
  void Show(const std::string& element) {
    std::string bin = std::string(std::getenv("TORVANE_TEST_BIN")) + "/skinwnd_show";
    std::vector<std::string> args{bin, element};
    // The program waits until the screen is composited before it makes its window.
    if (m_composited) args.push_back("--composited");
    ASSERT_TRUE(m_program.Start(args, true));
    std::string shown = m_program.WaitForPrefix("shown " + element, kWaitMs);
    ASSERT_FALSE(shown.empty()) << "no window shown";
    std::istringstream in(shown.substr(6 + element.size()));
    in >> m_x >> m_y >> m_w >> m_h;
  }
  // Waits until the screen shows what `ok` wants; the last screenshot.
  gfx::Surface WaitScreen(const std::function<bool(const gfx::Surface&)>& ok, const std::string& name) {
    long long end = Now() + kWaitMs;
    gfx::Surface s;
    do {
      s = Screenshot(name);
      if (!s.empty() && ok(s)) return s;
      usleep(100 * 1000);
    } while (Now() < end);
    return s;
  }
  // The last "moved" or "size" position after line `from`.
  bool WaitMoved(const std::string& element, int x, int y, std::size_t from) {
    std::string want = "moved " + element + " " + std::to_string(x) + " " + std::to_string(y);
    return !m_program.WaitFor([&](const std::string& l) { return l == want; }, kWaitMs, from).empty();
  }
  void TearDown() override {
    m_program.Stop();
    m_compositor.Stop();
  }

  Child m_program;
  Child m_compositor;
  bool m_composited = false;
  int m_x = 0, m_y = 0, m_w = 0, m_h = 0;
};

class LauncherE2E : public WindowE2E, public ::testing::WithParamInterface<bool> {};

TEST_P(LauncherE2E, ShownWithItsOutlineHoverPressClickAndDrag) {
  const bool composited = GetParam();
  if (composited) StartCompositor();
  Show("MAINWND");
  ASSERT_EQ(m_w, 1222);
  ASSERT_EQ(m_h, 780);
  const gfx::Surface design = Design("MAINWND", WindowKind::Layered, 1222, 780);
  ASSERT_FALSE(design.empty());
  // The screen's background: outside the window, uniform.
  auto bgOf = [](const gfx::Surface& s) { return Rgb(s.Pixel(2, 2)); };
  gfx::Surface shot = WaitScreen(
      [&](const gfx::Surface& s) { return Compare(s, design, m_x, m_y, bgOf(s)).Opaque(0.995); },
      composited ? "launcher-alpha" : "launcher-shaped");
  ASSERT_FALSE(shot.empty());
  const std::uint32_t bg = bgOf(shot);
  Fit f = Compare(shot, design, m_x, m_y, bg);
  EXPECT_TRUE(f.Opaque(0.995)) << f.opaqueOk << " of " << f.opaque << " opaque pixels";
  // the outline: everything the design leaves transparent shows what lies below
  EXPECT_TRUE(f.Clear(0.995)) << f.clearOk << " of " << f.clear << " transparent pixels";
  EXPECT_GT(f.clear, 1222 * 780 / 2);
  // the "ie" rectangle (471, 262, 680 x 370) is transparent
  Fit ie = Compare(shot, design, m_x, m_y, bg, RECT{471 + 10, 262 + 10, 471 + 670, 262 + 360});
  EXPECT_EQ(ie.opaque, 0);
  EXPECT_EQ(ie.clearOk, ie.clear);
  // soft edges: blended over the background with a compositor; cut by the
  // shape (alpha below 128 off) without one
  ASSERT_GT(f.partial, 1000);
  if (composited) {
    EXPECT_GE(f.partialBlended, 0.95 * f.partial) << f.partialBlended << " of " << f.partial;
  } else {
    EXPECT_GE(f.partialShaped, 0.95 * f.partial) << f.partialShaped << " of " << f.partial;
  }
  // each button at its anchored place
  for (const char* name : {"min", "close", "home", "pay", "kf", "bbs"}) {
    RECT r = ButtonRect("MAINWND", name, 1222);
    ASSERT_GT(r.right, r.left) << name;
    Fit b = Compare(shot, design, m_x, m_y, bg, r);
    EXPECT_TRUE(b.Opaque(1.0)) << name << ": " << b.opaqueOk << " of " << b.opaque;
  }

  // A real hover, press and click on "pay".
  const RECT pay = ButtonRect("MAINWND", "pay", 1222);
  const int px = m_x + (pay.left + pay.right) / 2, py = m_y + (pay.top + pay.bottom) / 2;
  const gfx::Surface hovered = ToolRender("MAINWND", WindowKind::Layered, 1222, 780, "--hover", "pay");
  const gfx::Surface pressed = ToolRender("MAINWND", WindowKind::Layered, 1222, 780, "--press", "pay");
  ASSERT_FALSE(hovered.empty());
  ASSERT_FALSE(pressed.empty());
  ASSERT_FALSE(Compare(shot, hovered, m_x, m_y, bg, pay).Opaque(1.0)) << "the hover image looks like the normal one";
  Mouse("mousemove " + std::to_string(px) + " " + std::to_string(py));
  EXPECT_TRUE(Compare(WaitScreen([&](const gfx::Surface& s) { return Compare(s, hovered, m_x, m_y, bg, pay).Opaque(1.0); },
                                 "launcher-hover"),
                      hovered, m_x, m_y, bg, pay)
                  .Opaque(1.0));
  Mouse("mousedown 1");
  EXPECT_TRUE(Compare(WaitScreen([&](const gfx::Surface& s) { return Compare(s, pressed, m_x, m_y, bg, pay).Opaque(1.0); },
                                 "launcher-press"),
                      pressed, m_x, m_y, bg, pay)
                  .Opaque(1.0));
  m_program.Drain();
  const std::size_t before = m_program.Lines().size();
  Mouse("mouseup 1");
  EXPECT_EQ(m_program.WaitForPrefix("command MAINWND", kWaitMs, before), "command MAINWND pay");

  // A press on the transparent "ie" rectangle does not reach the window: no drag.
  const int ix = m_x + 471 + 340, iy = m_y + 262 + 185;
  m_program.Drain();
  const std::size_t beforeIe = m_program.Lines().size();
  Mouse("mousemove " + std::to_string(ix) + " " + std::to_string(iy) + " mousedown 1");
  DragSteps(ix, iy, ix + 30, iy + 30);
  Mouse("mouseup 1");
  // A press on the launcher's own surface drags it.
  const int dx = m_x + 800, dy = m_y + 190;
  m_program.Drain();
  const std::size_t beforeDrag = m_program.Lines().size();
  Mouse("mousemove " + std::to_string(dx) + " " + std::to_string(dy) + " mousedown 1");
  DragSteps(dx, dy, dx + 50, dy + 40);
  Mouse("mouseup 1");
  EXPECT_TRUE(WaitMoved("MAINWND", m_x + 50, m_y + 40, beforeDrag));
  for (std::size_t i = beforeIe; i < beforeDrag; ++i)
    EXPECT_NE(m_program.Lines()[i].rfind("moved", 0), 0u) << "moved by a press on the transparent part";
}

INSTANTIATE_TEST_SUITE_P(Compositing, LauncherE2E, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Alpha" : "Shaped"; });

TEST_F(WindowE2E, GameWindowShownClickedDraggedAndResized) {
  Show("GAMEWND");
  ASSERT_EQ(m_w, 1250);
  ASSERT_EQ(m_h, 690);
  const gfx::Surface design = Design("GAMEWND", WindowKind::Framed, 1250, 690);
  gfx::Surface shot =
      WaitScreen([&](const gfx::Surface& s) { return Compare(s, design, m_x, m_y, 0).Opaque(0.999); }, "game");
  Fit f = Compare(shot, design, m_x, m_y, 0);
  EXPECT_EQ(f.opaque, 1250 * 690);  // opaque everywhere
  EXPECT_TRUE(f.Opaque(0.999)) << f.opaqueOk << " of " << f.opaque;
  // the title bar ("top", 1250 x 32) and the buttons at their anchored places
  EXPECT_TRUE(Compare(shot, design, m_x, m_y, 0, RECT{0, 0, 1250, 32}).Opaque(1.0));
  for (const char* name : {"pay", "home", "refresh", "cache", "min", "close"}) {
    RECT r = ButtonRect("GAMEWND", name, 1250);
    EXPECT_TRUE(Compare(shot, design, m_x, m_y, 0, r).Opaque(1.0)) << name;
  }

  // hover, press and click "refresh", whose hover image is larger
  const RECT refresh = ButtonRect("GAMEWND", "refresh", 1250);
  const RECT grown{refresh.left, refresh.top, refresh.left + 55, refresh.top + 20};
  const gfx::Surface hovered = ToolRender("GAMEWND", WindowKind::Framed, 1250, 690, "--hover", "refresh");
  const gfx::Surface pressed = ToolRender("GAMEWND", WindowKind::Framed, 1250, 690, "--press", "refresh");
  const int rx = m_x + refresh.left + 20, ry = m_y + refresh.top + 8;
  Mouse("mousemove " + std::to_string(rx) + " " + std::to_string(ry));
  EXPECT_TRUE(Compare(WaitScreen([&](const gfx::Surface& s) { return Compare(s, hovered, m_x, m_y, 0, grown).Opaque(1.0); },
                                 "game-hover"),
                      hovered, m_x, m_y, 0, grown)
                  .Opaque(1.0));
  Mouse("mousedown 1");
  EXPECT_TRUE(Compare(WaitScreen([&](const gfx::Surface& s) { return Compare(s, pressed, m_x, m_y, 0, grown).Opaque(1.0); },
                                 "game-press"),
                      pressed, m_x, m_y, 0, grown)
                  .Opaque(1.0));
  m_program.Drain();
  std::size_t before = m_program.Lines().size();
  Mouse("mouseup 1");
  EXPECT_EQ(m_program.WaitForPrefix("command GAMEWND", kWaitMs, before), "command GAMEWND refresh");

  // drag by the title band
  m_program.Drain();
  before = m_program.Lines().size();
  const int tx = m_x + 200, ty = m_y + 20;
  Mouse("mousemove " + std::to_string(tx) + " " + std::to_string(ty) + " mousedown 1");
  DragSteps(tx, ty, tx - 10, ty + 30);
  Mouse("mouseup 1");
  ASSERT_TRUE(WaitMoved("GAMEWND", m_x - 10, m_y + 30, before));
  m_x -= 10;
  m_y += 30;

  // resize from the bottom-right corner: it grows, and stops at 1250 x 690
  m_program.Drain();
  before = m_program.Lines().size();
  const int cx = m_x + 1245, cy = m_y + 685;
  Mouse("mousemove " + std::to_string(cx) + " " + std::to_string(cy) + " mousedown 1");
  DragSteps(cx, cy, cx + 20, cy + 30);
  EXPECT_FALSE(m_program.WaitFor([](const std::string& l) { return l == "size GAMEWND 1270 720"; }, kWaitMs, before)
                   .empty());
  DragSteps(cx + 20, cy + 30, cx - 200, cy - 150);
  Mouse("mouseup 1");
  EXPECT_FALSE(m_program.WaitFor([](const std::string& l) { return l == "size GAMEWND 1250 690"; }, kWaitMs, before)
                   .empty());
  usleep(300 * 1000);
  m_program.Drain();
  for (std::size_t i = before; i < m_program.Lines().size(); ++i) {
    const std::string& l = m_program.Lines()[i];
    if (l.rfind("size GAMEWND ", 0) != 0) continue;
    int w = 0, h = 0;
    std::istringstream(l.substr(13)) >> w >> h;
    EXPECT_GE(w, 1250) << l;
    EXPECT_GE(h, 690) << l;
  }
  // the buttons followed the size: a screenshot at the end matches the design again
  EXPECT_TRUE(Compare(WaitScreen([&](const gfx::Surface& s) { return Compare(s, design, m_x, m_y, 0).Opaque(0.999); },
                                 "game-after"),
                      design, m_x, m_y, 0)
                  .Opaque(0.999));
}

}  // namespace
