#include "bench/client/BenchDisplay.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "bench/client/BenchProcess.h"

extern char** environ;

namespace bench {
namespace {

pid_t SpawnQuiet(const char* const* argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

void End(pid_t* pid) {
  if (*pid <= 0) return;
  kill(*pid, SIGTERM);
  waitpid(*pid, nullptr, 0);
  *pid = -1;
}

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

Display::~Display() {
  StopCompositor();
  if (m_dpy) XCloseDisplay(m_dpy);
  m_dpy = nullptr;
  End(&m_xvfb);
}

bool Display::Start(int width, int height) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::string fd = std::to_string(fds[1]);
  std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                        "-noreset", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  int rc = posix_spawnp(&m_xvfb, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    std::fprintf(stderr, "bench_client: cannot start Xvfb: %s\n", std::strerror(rc));
    close(fds[0]);
    m_xvfb = -1;
    return false;
  }
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  while (poll(&p, 1, 10000) > 0) {
    char c;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) {
    std::fprintf(stderr, "bench_client: Xvfb reported no display\n");
    End(&m_xvfb);
    return false;
  }
  m_name = ":" + number;
  m_dpy = XOpenDisplay(m_name.c_str());
  int event, error, major, minor;
  if (!m_dpy || !XTestQueryExtension(m_dpy, &event, &error, &major, &minor)) {
    std::fprintf(stderr, "bench_client: cannot use %s with XTEST\n", m_name.c_str());
    return false;
  }
  m_width = width;
  m_height = height;
  return true;
}

bool Display::Composited() const {
  if (!m_dpy) return false;
  Atom cm = XInternAtom(m_dpy, "_NET_WM_CM_S0", False);
  return XGetSelectionOwner(m_dpy, cm) != None;
}

bool Display::StartCompositor() {
  std::string display = "DISPLAY=" + m_name;
  const char* argv[] = {"env", display.c_str(), "xcompmgr", nullptr};
  m_compositor = SpawnQuiet(argv);
  if (m_compositor <= 0) return false;
  double end = NowMs() + 10000;
  while (NowMs() < end) {
    if (Composited()) return true;
    Pause(20);
  }
  std::fprintf(stderr, "bench_client: xcompmgr did not take the compositing selection\n");
  StopCompositor();
  return false;
}

void Display::StopCompositor() {
  End(&m_compositor);
  if (!m_dpy) return;
  // Until the selection is free again the next program would still see one.
  double end = NowMs() + 5000;
  while (Composited() && NowMs() < end) Pause(20);
}

std::vector<WindowBox> Display::Viewable(pid_t pid) {
  std::vector<WindowBox> out;
  Atom pidAtom = XInternAtom(m_dpy, "_NET_WM_PID", False);
  Window root = DefaultRootWindow(m_dpy), parent, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(m_dpy, root, &root, &parent, &children, &count)) return out;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(m_dpy, children[i], &a) || a.map_state != IsViewable) continue;
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    bool mine = false;
    if (XGetWindowProperty(m_dpy, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) == Success &&
        data && items == 1)
      mine = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid;
    if (data) XFree(data);
    if (mine) out.push_back(WindowBox{children[i], a.x, a.y, a.width, a.height});
  }
  if (children) XFree(children);
  return out;
}

bool Display::FindWindow(pid_t pid, int timeoutMs, WindowBox* box, int width, int height) {
  double end = NowMs() + timeoutMs;
  do {
    WindowBox best;
    for (const WindowBox& w : Viewable(pid)) {
      if (width > 0 && (w.width != width || w.height != height)) continue;
      if (w.width * w.height > best.width * best.height) best = w;
    }
    if (best.id) {
      *box = best;
      return true;
    }
    Pause(10);
  } while (NowMs() < end);
  return false;
}

std::string Display::Describe(pid_t pid) {
  std::string out;
  for (const WindowBox& w : Viewable(pid))
    out += (out.empty() ? "" : ", ") + std::to_string(w.width) + "x" + std::to_string(w.height) + "+" +
           std::to_string(w.x) + "+" + std::to_string(w.y);
  return out.empty() ? "none" : out;
}

void Display::Click(int x, int y) {
  XTestFakeMotionEvent(m_dpy, -1, x, y, CurrentTime);
  XTestFakeButtonEvent(m_dpy, 1, True, CurrentTime);
  XTestFakeButtonEvent(m_dpy, 1, False, CurrentTime);
  XSync(m_dpy, False);
}

void Display::ParkPointer() {
  XTestFakeMotionEvent(m_dpy, -1, m_width - 1, m_height - 1, CurrentTime);
  XSync(m_dpy, False);
}

namespace {

long ReadPixel(_XDisplay* dpy, int x, int y) {
  XImage* image = XGetImage(dpy, DefaultRootWindow(dpy), x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return -1;
  long pixel = static_cast<long>(XGetPixel(image, 0, 0) & 0xFFFFFF);
  XDestroyImage(image);
  return pixel;
}

}  // namespace

bool PixelWatch::Start(const std::string& display, int x, int y, unsigned long rgb, double startMs,
                       bool untilChanged) {
  Stop();
  _XDisplay* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return false;
  m_stop = false;
  m_seenMs = -1;
  long before = untilChanged ? ReadPixel(dpy, x, y) : -1;
  m_thread = std::thread([this, dpy, x, y, rgb, startMs, untilChanged, before] {
    while (!m_stop) {
      long pixel = ReadPixel(dpy, x, y);
      if (pixel >= 0) {
        if (untilChanged ? pixel != before : static_cast<unsigned long>(pixel) == rgb) {
          m_seenMs = NowMs() - startMs;
          break;
        }
      }
      Pause(2);
    }
    XCloseDisplay(dpy);
  });
  return true;
}

double PixelWatch::Wait(int timeoutMs) {
  double end = NowMs() + timeoutMs;
  while (m_seenMs < 0 && NowMs() < end && m_thread.joinable()) Pause(5);
  double seen = m_seenMs;
  Stop();
  return seen;
}

void PixelWatch::Stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
}

}  // namespace bench
