#include "tests/support/DesktopProbe.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/gfx/Png.h"

extern char** environ;

namespace {

// Windows come and go while the test looks at them: a window destroyed
// between two requests is no failure of the test.
int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

long long NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

constexpr long kIconicState = 3;

}  // namespace

bool ProbedWindow::HasState(const std::string& atom) const {
  for (const std::string& s : netState)
    if (s == atom) return true;
  return false;
}

DesktopProbe::~DesktopProbe() { Close(); }

bool DesktopProbe::Open() {
  Close();
  m_display = XOpenDisplay(nullptr);
  if (!m_display) return false;
  XSetErrorHandler(IgnoreXErrors);
  return true;
}

void DesktopProbe::Close() {
  if (m_display) XCloseDisplay(m_display);
  m_display = nullptr;
}

unsigned long DesktopProbe::Intern(const char* name) { return XInternAtom(m_display, name, False); }

std::string DesktopProbe::AtomName(unsigned long atom) {
  if (atom == None) return {};
  char* name = XGetAtomName(m_display, atom);
  if (!name) return {};
  std::string out = name;
  XFree(name);
  return out;
}

std::vector<unsigned long> DesktopProbe::Cardinals(unsigned long window, const char* property, unsigned long type) {
  std::vector<unsigned long> out;
  ::Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(m_display, window, Intern(property), 0, 1024, False, type, &actual, &format, &count, &after,
                         &data) == Success &&
      data && format == 32) {
    // Xlib hands 32-bit items over as longs.
    const long* items = reinterpret_cast<const long*>(data);
    for (unsigned long i = 0; i < count; ++i) out.push_back(static_cast<unsigned long>(items[i]));
  }
  if (data) XFree(data);
  return out;
}

std::string DesktopProbe::TextProperty(unsigned long window, const char* property) {
  std::string out;
  ::Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(m_display, window, Intern(property), 0, 4096, False, AnyPropertyType, &actual, &format, &count,
                         &after, &data) == Success &&
      data && format == 8)
    out.assign(reinterpret_cast<const char*>(data), count);
  if (data) XFree(data);
  return out;
}

void DesktopProbe::Walk(unsigned long window, const std::function<void(unsigned long)>& visit, int depth) {
  visit(window);
  if (depth >= 8) return;
  ::Window root = 0, parent = 0, *children = nullptr;
  unsigned int n = 0;
  if (!XQueryTree(m_display, window, &root, &parent, &children, &n)) return;
  std::vector<unsigned long> list(children, children + n);
  if (children) XFree(children);
  for (unsigned long child : list) Walk(child, visit, depth + 1);
}

bool DesktopProbe::Fill(unsigned long id, ProbedWindow* out) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(m_display, id, &a)) return false;
  ProbedWindow w;
  w.id = id;
  w.width = a.width;
  w.height = a.height;
  w.viewable = a.map_state == IsViewable;
  w.overrideRedirect = a.override_redirect;
  ::Window child = 0;
  int x = 0, y = 0;
  if (!XTranslateCoordinates(m_display, id, DefaultRootWindow(m_display), 0, 0, &x, &y, &child)) return false;
  w.x = x;
  w.y = y;
  w.title = TextProperty(id, "_NET_WM_NAME");
  if (w.title.empty()) w.title = TextProperty(id, "WM_NAME");
  XClassHint hint{};
  if (XGetClassHint(m_display, id, &hint)) {
    if (hint.res_class) w.wmClass = hint.res_class;
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
  }
  std::vector<unsigned long> wmState = Cardinals(id, "WM_STATE", Intern("WM_STATE"));
  w.iconic = !wmState.empty() && static_cast<long>(wmState[0]) == kIconicState;
  for (unsigned long atom : Cardinals(id, "_NET_WM_STATE", XA_ATOM)) w.netState.push_back(AtomName(atom));
  std::vector<unsigned long> types = Cardinals(id, "_NET_WM_WINDOW_TYPE", XA_ATOM);
  if (!types.empty()) w.type = AtomName(types[0]);
  *out = std::move(w);
  return true;
}

std::vector<ProbedWindow> DesktopProbe::WindowsOf(pid_t pid) {
  std::vector<ProbedWindow> out;
  if (!m_display) return out;
  XSync(m_display, False);
  Walk(
      DefaultRootWindow(m_display),
      [&](unsigned long id) {
        std::vector<unsigned long> p = Cardinals(id, "_NET_WM_PID", XA_CARDINAL);
        ProbedWindow w;
        if (!p.empty() && static_cast<pid_t>(p[0]) == pid && Fill(id, &w)) out.push_back(std::move(w));
      },
      0);
  return out;
}

std::optional<ProbedWindow> DesktopProbe::FindWindow(pid_t pid, const std::function<bool(const ProbedWindow&)>& pred) {
  for (ProbedWindow& w : WindowsOf(pid))
    if (pred(w)) return w;
  return std::nullopt;
}

std::optional<ProbedWindow> DesktopProbe::Window(unsigned long id) {
  if (!m_display) return std::nullopt;
  XSync(m_display, False);
  ProbedWindow w;
  if (!Fill(id, &w)) return std::nullopt;
  return w;
}

std::vector<ProbedWindow> DesktopProbe::WindowsOfClass(const std::string& wmClass) {
  std::vector<ProbedWindow> out;
  if (!m_display) return out;
  XSync(m_display, False);
  Walk(
      DefaultRootWindow(m_display),
      [&](unsigned long id) {
        ProbedWindow w;
        if (Fill(id, &w) && w.wmClass == wmClass) out.push_back(std::move(w));
      },
      0);
  return out;
}

ScreenRect DesktopProbe::Screen() {
  if (!m_display) return {};
  return ScreenRect{0, 0, DisplayWidth(m_display, DefaultScreen(m_display)),
                    DisplayHeight(m_display, DefaultScreen(m_display))};
}

ScreenRect DesktopProbe::WorkArea() {
  if (!m_display) return {};
  XSync(m_display, False);
  ::Window root = DefaultRootWindow(m_display);
  std::vector<unsigned long> area = Cardinals(root, "_NET_WORKAREA", XA_CARDINAL);
  std::vector<unsigned long> current = Cardinals(root, "_NET_CURRENT_DESKTOP", XA_CARDINAL);
  std::size_t desktop = current.empty() ? 0 : current[0];
  if (area.size() >= 4 * (desktop + 1))
    return ScreenRect{static_cast<int>(area[4 * desktop]), static_cast<int>(area[4 * desktop + 1]),
                      static_cast<int>(area[4 * desktop + 2]), static_cast<int>(area[4 * desktop + 3])};
  return Screen();
}

bool DesktopProbe::WindowManagerRuns() {
  if (!m_display) return false;
  XSync(m_display, False);
  std::vector<unsigned long> check =
      Cardinals(DefaultRootWindow(m_display), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
  if (check.empty()) return false;
  XWindowAttributes a;
  return XGetWindowAttributes(m_display, check[0], &a) != 0;
}

bool DesktopProbe::WindowManagerManages(int timeoutMs) {
  if (!m_display) return false;
  ::Window root = DefaultRootWindow(m_display);
  // A window mapped while the manager still starts up may never be managed:
  // each try maps a new one.
  long long end = NowMs() + timeoutMs;
  while (NowMs() < end) {
    ::Window probe = XCreateSimpleWindow(m_display, root, 0, 0, 10, 10, 0, 0, 0);
    XMapWindow(m_display, probe);
    XSync(m_display, False);
    bool managed = WaitUntil(
        [&] {
          for (unsigned long w : Cardinals(root, "_NET_CLIENT_LIST", XA_WINDOW))
            if (w == probe) return true;
          return false;
        },
        1000);
    XDestroyWindow(m_display, probe);
    XSync(m_display, False);
    if (managed) return true;
  }
  return false;
}

gfx::Surface DesktopProbe::Screenshot(const std::string& path) {
  std::string cmd = "import -window root -depth 8 'png24:" + path + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) return {};
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return gfx::DecodePng(bytes);
}

bool DesktopProbe::Xdo(const std::string& args) { return std::system(("xdotool " + args).c_str()) == 0; }

bool DesktopProbe::WaitUntil(const std::function<bool()>& pred, int timeoutMs, int intervalMs) {
  long long end = NowMs() + timeoutMs;
  while (true) {
    if (pred()) return true;
    if (NowMs() >= end) return false;
    usleep(static_cast<useconds_t>(intervalMs) * 1000);
  }
}

bool DesktopHelper::Spawn(const std::vector<std::string>& args, const std::string& logPath) {
  Stop();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const char* log = logPath.empty() ? "/dev/null" : logPath.c_str();
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log, O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int rc = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    std::fprintf(stderr, "DesktopHelper: cannot start %s: %s\n", argv[0], std::strerror(rc));
    m_pid = -1;
  }
  return rc == 0;
}

bool DesktopHelper::WaitReady(const std::function<bool()>& ready, int timeoutMs) {
  bool ended = false;
  bool ok = DesktopProbe::WaitUntil(
      [&] {
        int status = 0;
        if (m_pid > 0 && waitpid(m_pid, &status, WNOHANG) == m_pid) {
          std::fprintf(stderr, "DesktopHelper: the program ended before it was ready (status %d)\n", status);
          m_pid = -1;
          ended = true;
        }
        return ended || ready();
      },
      timeoutMs);
  return ok && !ended;
}

bool DesktopHelper::StartOpenbox(DesktopProbe& probe, int timeoutMs, const std::string& logPath) {
  if (!Spawn({"openbox", "--sm-disable"}, logPath)) return false;
  return WaitReady([&] { return probe.WindowManagerRuns(); }, timeoutMs) && probe.WindowManagerManages(timeoutMs);
}

bool DesktopHelper::StartTrayer(DesktopProbe& probe, int timeoutMs, const std::string& logPath) {
  if (!Spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
              "--SetDockType", "true", "--SetPartialStrut", "false", "--expand", "true"},
             logPath))
    return false;
  return WaitReady(
      [&] {
        for (const ProbedWindow& w : probe.WindowsOfClass("trayer"))
          if (w.viewable) return true;
        return false;
      },
      timeoutMs);
}

void DesktopHelper::Stop() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGTERM);
  int status = 0;
  waitpid(m_pid, &status, 0);
  m_pid = -1;
}
