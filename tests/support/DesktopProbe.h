// What an end-to-end test sees of an X display, the way a user or a window
// manager would: the windows a process shows (found by _NET_WM_PID, wherever
// a window manager reparented them) with their place on the screen, map
// state, iconic state, _NET_WM_STATE and window type; the work area; whether
// a window manager runs; screenshots (`import -window root`) and pointer and
// keyboard input (xdotool). Also starts and stops the window managers and
// tray hosts the tests run under (openbox, trayer).
//
// Threads: one object, one thread (it holds one Xlib connection).
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Surface.h"

struct _XDisplay;

// One X window as the probe found it. Coordinates are the window's own
// (client) area on the root, without a window manager's frame.
struct ProbedWindow {
  unsigned long id = 0;
  std::string title;  // _NET_WM_NAME, else WM_NAME
  std::string wmClass;  // the class part of WM_CLASS
  int x = 0, y = 0, width = 0, height = 0;
  bool viewable = false;          // mapped, and every ancestor mapped
  bool overrideRedirect = false;  // popups and menus
  bool iconic = false;            // WM_STATE is IconicState
  std::vector<std::string> netState;  // _NET_WM_STATE atom names
  std::string type;                   // first _NET_WM_WINDOW_TYPE atom name, "" when none
  bool HasState(const std::string& atom) const;
};

struct ScreenRect {
  int x = 0, y = 0, width = 0, height = 0;
};

class DesktopProbe {
 public:
  DesktopProbe() = default;
  ~DesktopProbe();
  DesktopProbe(const DesktopProbe&) = delete;
  DesktopProbe& operator=(const DesktopProbe&) = delete;

  // Connects to $DISPLAY; false when it cannot.
  bool Open();
  void Close();

  // Every window whose _NET_WM_PID is pid, in the order of a walk of the
  // window tree (bottom to top among siblings).
  std::vector<ProbedWindow> WindowsOf(pid_t pid);
  // The first window of pid that pred accepts.
  std::optional<ProbedWindow> FindWindow(pid_t pid, const std::function<bool(const ProbedWindow&)>& pred);
  // The window by id; nullopt once it is destroyed.
  std::optional<ProbedWindow> Window(unsigned long id);
  // Windows of any process whose WM_CLASS class is wmClass.
  std::vector<ProbedWindow> WindowsOfClass(const std::string& wmClass);

  // _NET_WORKAREA of the current desktop, else the whole screen.
  ScreenRect WorkArea();
  ScreenRect Screen();
  // A window manager announced itself (_NET_SUPPORTING_WM_CHECK names a live window).
  bool WindowManagerRuns();
  // A window manager manages windows now: a window of the probe's own, mapped,
  // shows up in _NET_CLIENT_LIST within timeoutMs. (A manager announces itself
  // before its loop runs; a window mapped in between may stay unmanaged.)
  bool WindowManagerManages(int timeoutMs);

  // `import -window root` into path (PNG), decoded; empty when it failed.
  static gfx::Surface Screenshot(const std::string& path);
  // Runs "xdotool ARGS"; whether it succeeded.
  static bool Xdo(const std::string& args);
  // Polls pred (every intervalMs) until it holds or timeoutMs passed; whether it held.
  static bool WaitUntil(const std::function<bool()>& pred, int timeoutMs, int intervalMs = 50);

 private:
  void Walk(unsigned long window, const std::function<void(unsigned long)>& visit, int depth);
  bool Fill(unsigned long id, ProbedWindow* out);
  unsigned long Intern(const char* name);
  std::string AtomName(unsigned long atom);
  std::vector<unsigned long> Cardinals(unsigned long window, const char* property, unsigned long type);
  std::string TextProperty(unsigned long window, const char* property);

  _XDisplay* m_display = nullptr;
};

// A helper program of the desktop (a window manager, a tray host) that the
// test starts and stops: SIGTERM and a wait on Stop and on destruction.
class DesktopHelper {
 public:
  DesktopHelper() = default;
  ~DesktopHelper() { Stop(); }
  DesktopHelper(const DesktopHelper&) = delete;
  DesktopHelper& operator=(const DesktopHelper&) = delete;

  // openbox (--sm-disable), ready once it announced itself on the root
  // window. Its output goes to logPath ("" : nowhere).
  bool StartOpenbox(DesktopProbe& probe, int timeoutMs, const std::string& logPath = "");
  // trayer at the top right, ready once its panel is mapped.
  bool StartTrayer(DesktopProbe& probe, int timeoutMs, const std::string& logPath = "");
  void Stop();
  bool Running() const { return m_pid > 0; }

 private:
  bool Spawn(const std::vector<std::string>& args, const std::string& logPath);
  // Polls ready until it holds, the program ended (said on stderr) or timeoutMs passed.
  bool WaitReady(const std::function<bool()>& ready, int timeoutMs);
  pid_t m_pid = -1;
};
