// The gtk backend under a private Xvfb: what the windows show on the screen
// (read back from a screenshot of the root window), and real pointer input
// from xdotool reaching the right window.
#include <cairo.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/EventLoop.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Window.h"
#include "tests/support/VirtualDisplay.h"

extern char** environ;

namespace {

// Runs a command of the display's tools and waits for it, pumping the loop
// meanwhile so the client answers the X server while the tool works.
int RunTool(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  ui::PumpUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 20000);
  ui::PumpUntilIdle();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A pid that is killed and waited for with the object.
struct Background {
  pid_t pid = -1;
  ~Background() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

class Screenshot {
 public:
  explicit Screenshot(const std::string& path) : surface_(cairo_image_surface_create_from_png(path.c_str())) {}
  ~Screenshot() { cairo_surface_destroy(surface_); }
  bool ok() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
  // 0xRRGGBB at a screen point.
  std::uint32_t At(int x, int y) const {
    unsigned char* data = cairo_image_surface_get_data(surface_);
    int stride = cairo_image_surface_get_stride(surface_);
    return *reinterpret_cast<std::uint32_t*>(data + y * stride + x * 4) & 0xFFFFFF;
  }

 private:
  cairo_surface_t* surface_;
};

class Recorder : public CWnd {
 public:
  std::vector<UINT> messages;
  std::function<void(UINT, WPARAM, LPARAM)> onMessage;
  std::function<void(cairo_t*)> paint;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    messages.push_back(message);
    if (onMessage) onMessage(message, wParam, lParam);
    if (message == WM_PAINT && paint) {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(m_hWnd, &ps);
      if (dc) paint(dc);
      EndPaint(m_hWnd, &ps);
      return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }
  int Count(UINT m) const {
    int n = 0;
    for (UINT x : messages) n += x == m;
    return n;
  }
};

class GtkBackendTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    display_ = new VirtualDisplay();
    ASSERT_TRUE(display_->Start());
    ASSERT_TRUE(ui::InitializeWith(ui::BackendKind::Gtk));
  }
  static void TearDownTestSuite() {
    ui::Shutdown();
    delete display_;
  }
  void TearDown() override { ui::PumpUntilIdle(); }

  static std::string Shot() {
    std::string path = "/tmp/torvane-e2e-ui-" + std::to_string(getpid()) + ".png";
    EXPECT_EQ(RunTool({"import", "-display", display_->Name(), "-window", "root", "png:" + path}), 0);
    return path;
  }
  static void Settle() {
    // Let the X server map, configure and draw.
    for (int i = 0; i < 5; ++i) {
      ui::PumpUntil([] { return false; }, 60);
      RunTool({"xdotool", "sleep", "0.02"});
    }
  }

  static VirtualDisplay* display_;
};
VirtualDisplay* GtkBackendTest::display_ = nullptr;

// Shows img as the whole look of a layered window at (x, y); takes img.
void PresentLayered(CWnd& w, cairo_surface_t* img, int x, int y) {
  w.ShowWindow(SW_SHOW);
  POINT dst{x, y};
  SIZE size{cairo_image_surface_get_width(img), cairo_image_surface_get_height(img)};
  POINT src{0, 0};
  EXPECT_TRUE(UpdateLayeredWindow(w.m_hWnd, &dst, &size, img, &src, ULW_ALPHA));
  cairo_surface_destroy(img);
}

// A 200x200 ring: opaque amber outside, fully transparent in its 100x100 middle.
cairo_surface_t* Ring() {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 200);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgb(cr, 1.0, 0.6, 0.0);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_rectangle(cr, 50, 50, 100, 100);
  cairo_fill(cr);
  cairo_destroy(cr);
  return s;
}

TEST_F(GtkBackendTest, FramedWindowShowsItsPaint) {
  Recorder w;
  w.paint = [](cairo_t* cr) {
    cairo_set_source_rgb(cr, 0.0, 0.0, 1.0);
    cairo_paint(cr);
  };
  ASSERT_TRUE(w.CreateEx(0, "Test", "framed", WS_POPUP, 40, 40, 160, 120, GetDesktopWindow()));
  w.ShowWindow(SW_SHOW);
  Settle();
  Screenshot shot(Shot());
  ASSERT_TRUE(shot.ok());
  EXPECT_EQ(shot.At(100, 100), 0x0000FFu);
  EXPECT_GE(w.Count(WM_PAINT), 1);
}

TEST_F(GtkBackendTest, LayeredWindowKeepsItsShapeAndClicksInTheHoleReachTheWindowBelow) {
  Recorder below, ring;
  below.paint = [](cairo_t* cr) {
    cairo_set_source_rgb(cr, 0.0, 0.8, 0.0);
    cairo_paint(cr);
  };
  ASSERT_TRUE(below.CreateEx(0, "Test", "below", WS_POPUP, 300, 300, 300, 300, GetDesktopWindow()));
  below.ShowWindow(SW_SHOW);
  Settle();
  ASSERT_TRUE(ring.CreateEx(WS_EX_LAYERED, "Test", "ring", WS_POPUP, 350, 350, 200, 200, GetDesktopWindow()));
  PresentLayered(ring, Ring(), 350, 350);
  Settle();

  Screenshot shot(Shot());
  ASSERT_TRUE(shot.ok());
  EXPECT_EQ(shot.At(360, 360), 0xFF9900u) << "the ring's opaque part";
  EXPECT_EQ(shot.At(450, 450), 0x00CC00u) << "the hole shows the window below";

  ASSERT_EQ(RunTool({"xdotool", "mousemove", "450", "450", "click", "1"}), 0);
  ui::PumpUntil([&] { return below.Count(WM_LBUTTONUP) > 0; }, 3000);
  EXPECT_EQ(below.Count(WM_LBUTTONDOWN), 1);
  EXPECT_EQ(ring.Count(WM_LBUTTONDOWN), 0);

  ASSERT_EQ(RunTool({"xdotool", "mousemove", "360", "360", "click", "1"}), 0);
  ui::PumpUntil([&] { return ring.Count(WM_LBUTTONUP) > 0; }, 3000);
  EXPECT_EQ(ring.Count(WM_LBUTTONDOWN), 1);
}

TEST_F(GtkBackendTest, DragMovesAndEdgeDragStopsAtTheMinimumSize) {
  Recorder w;
  int edge = 0;
  w.paint = [](cairo_t* cr) {
    cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
    cairo_paint(cr);
  };
  w.onMessage = [&](UINT m, WPARAM, LPARAM lp) {
    if (m == WM_GETMINMAXINFO) reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize = POINT{250, 180};
    if (m == WM_LBUTTONDOWN) w.SendMessage(WM_SYSCOMMAND, edge ? SC_SIZE + edge : SC_DRAGMOVE, 0);
  };
  ASSERT_TRUE(w.CreateEx(0, "Test", "drag", WS_POPUP, 100, 100, 300, 200, GetDesktopWindow()));
  w.ShowWindow(SW_SHOW);
  Settle();

  ASSERT_EQ(RunTool({"xdotool", "mousemove", "150", "150", "mousedown", "1", "mousemove", "200", "180", "sleep", "0.1",
                     "mousemove", "250", "210", "sleep", "0.1", "mouseup", "1"}),
            0);
  ui::PumpUntil([&] {
    RECT r;
    w.GetWindowRect(&r);
    return r.left == 200 && r.top == 160;
  }, 3000);
  RECT r;
  w.GetWindowRect(&r);
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.top, 160);

  // From the bottom-right corner, far inwards: the window stops at 250x180.
  edge = WMSZ_BOTTOMRIGHT;
  ASSERT_EQ(RunTool({"xdotool", "mousemove", "497", "357", "mousedown", "1", "mousemove", "400", "300", "sleep",
                     "0.1", "mousemove", "250", "200", "sleep", "0.1", "mouseup", "1"}),
            0);
  ui::PumpUntil([&] {
    RECT now;
    w.GetWindowRect(&now);
    return now.Width() == 250 && now.Height() == 180;
  }, 3000);
  w.GetWindowRect(&r);
  EXPECT_EQ(r.Width(), 250);
  EXPECT_EQ(r.Height(), 180);
}

TEST_F(GtkBackendTest, HoverAndLeaveFromTheRealPointer) {
  Recorder top, child;
  ASSERT_TRUE(top.CreateEx(0, "Test", "hover", WS_POPUP, 600, 100, 200, 100, GetDesktopWindow()));
  ASSERT_TRUE(child.CreateEx(0, "Child", "", WS_CHILD | WS_VISIBLE, 20, 20, 60, 30, top.m_hWnd, 5));
  child.onMessage = [&](UINT m, WPARAM, LPARAM) {
    if (m == WM_MOUSEMOVE) {
      TRACKMOUSEEVENT tme;
      tme.dwFlags = TME_HOVER | TME_LEAVE;
      tme.hwndTrack = child.m_hWnd;
      tme.dwHoverTime = 1;
      TrackMouseEvent(&tme);
    }
  };
  top.ShowWindow(SW_SHOW);
  Settle();
  ASSERT_EQ(RunTool({"xdotool", "mousemove", "640", "130", "sleep", "0.05", "mousemove", "641", "131"}), 0);
  EXPECT_TRUE(ui::PumpUntil([&] { return child.Count(WM_MOUSEHOVER) > 0; }, 3000));
  ASSERT_EQ(RunTool({"xdotool", "mousemove", "760", "180"}), 0);
  EXPECT_TRUE(ui::PumpUntil([&] { return child.Count(WM_MOUSELEAVE) > 0; }, 3000));
}

TEST_F(GtkBackendTest, WithACompositorTheLayeredWindowBlendsItsAlpha) {
  Background compositor;
  const char* argv[] = {"xcompmgr", nullptr};
  ASSERT_EQ(posix_spawnp(&compositor.pid, "xcompmgr", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  // The compositing manager needs a moment to take the screen.
  ASSERT_TRUE(ui::PumpUntil([] { return false; }, 500) == false);

  Recorder below, glass;
  below.paint = [](cairo_t* cr) {
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
  };
  ASSERT_TRUE(below.CreateEx(0, "Test", "white", WS_POPUP, 700, 500, 200, 200, GetDesktopWindow()));
  below.ShowWindow(SW_SHOW);
  Settle();
  ASSERT_TRUE(glass.CreateEx(WS_EX_LAYERED, "Test", "glass", WS_POPUP, 700, 500, 200, 200, GetDesktopWindow()));
  cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 200);
  cairo_t* cr = cairo_create(img);
  cairo_set_source_rgba(cr, 0, 0, 1, 0.5);  // half-transparent blue
  cairo_paint(cr);
  cairo_destroy(cr);
  PresentLayered(glass, img, 700, 500);
  Settle();
  Settle();
  Screenshot shot(Shot());
  ASSERT_TRUE(shot.ok());
  std::uint32_t px = shot.At(800, 600);
  int red = (px >> 16) & 0xFF, blue = px & 0xFF;
  EXPECT_NEAR(red, 128, 12) << std::hex << px << ": white below, half blue above";
  EXPECT_GE(blue, 240) << std::hex << px;
}

}  // namespace

namespace {

// Answers the open message box (the only dialog), as the player would.
gboolean AnswerTheDialog(gpointer) {
  GList* tops = gtk_window_list_toplevels();
  for (GList* l = tops; l; l = l->next)
    if (GTK_IS_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data)))
      gtk_dialog_response(GTK_DIALOG(l->data), GTK_RESPONSE_CANCEL);
  g_list_free(tops);
  return G_SOURCE_REMOVE;
}

TEST_F(GtkBackendTest, TimersAndPostedMessagesGoOnWhileAMessageBoxIsOpen) {
  Recorder w;
  ASSERT_TRUE(w.CreateEx(0, "Test", "owner", WS_POPUP, 50, 600, 100, 100, GetDesktopWindow()));
  w.ShowWindow(SW_SHOW);
  Settle();
  int ticks = 0;
  w.onMessage = [&](UINT m, WPARAM, LPARAM) {
    // The box is answered from the client's own timer: it can only close if
    // the timer runs while the box is open.
    if (m == WM_TIMER && ++ticks == 5) g_idle_add(&AnswerTheDialog, nullptr);
  };
  w.SetTimer(1, 20);
  PostMessage(w.m_hWnd, WM_USER + 3, 0, 0);
  guint guard = g_timeout_add(8000, &AnswerTheDialog, nullptr);  // never hang the suite
  int answer = MessageBox(w.m_hWnd, "Still running?", "Modal check", MB_OKCANCEL);
  bool guardFired = g_main_context_find_source_by_id(nullptr, guard) == nullptr;
  if (!guardFired) g_source_remove(guard);
  EXPECT_EQ(answer, IDCANCEL);
  EXPECT_FALSE(guardFired) << "the client's timer did not run while the box was open";
  EXPECT_EQ(w.Count(WM_USER + 3), 1) << "the posted message was handled while the box was open";
  EXPECT_GE(ticks, 5);
  w.KillTimer(1);
}

}  // namespace
