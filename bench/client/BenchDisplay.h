// The display side of bench_client: a private Xvfb (and, on request, the
// xcompmgr compositing manager on it), the top-level windows a process
// shows, and clicks through the XTEST extension, as a person's would arrive.
// Single-threaded.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

struct _XDisplay;

namespace bench {

struct WindowBox {
  unsigned long id = 0;
  int x = 0, y = 0, width = 0, height = 0;
};

class Display {
 public:
  Display() = default;
  ~Display();
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  // Starts Xvfb with one screen of width x height x 24 and connects to it.
  bool Start(int width, int height);
  // Starts xcompmgr and waits until it owns the compositing selection.
  bool StartCompositor();
  void StopCompositor();
  bool Composited() const;
  const std::string& Name() const { return m_name; }

  // The largest viewable top-level window whose _NET_WM_PID is pid, waiting
  // up to timeoutMs for one (and, with width > 0, for one of that size).
  bool FindWindow(pid_t pid, int timeoutMs, WindowBox* box, int width = 0, int height = 0);
  // "WxH+X+Y" of every viewable top-level window of pid, for reports.
  std::string Describe(pid_t pid);
  // Moves the pointer to (x, y) on the screen and clicks the left button;
  // returns once the server has the events.
  void Click(int x, int y);
  // Moves the pointer out of the way (to the screen's bottom-right corner).
  void ParkPointer();

 private:
  std::vector<WindowBox> Viewable(pid_t pid);

  pid_t m_xvfb = -1;
  pid_t m_compositor = -1;
  std::string m_name;
  _XDisplay* m_dpy = nullptr;
  int m_width = 0, m_height = 0;
};

// Watches one pixel of the screen from a thread of its own (with its own
// connection), every 2 ms, until it shows a colour or changes: when a
// window or a page reached the screen, whatever the program says about it.
class PixelWatch {
 public:
  PixelWatch() = default;
  ~PixelWatch() { Stop(); }
  PixelWatch(const PixelWatch&) = delete;
  PixelWatch& operator=(const PixelWatch&) = delete;

  // Until the pixel is rgb (0xRRGGBB), or, with untilChanged, until it
  // differs from what it was at the start; the time reported counts from
  // startMs (NowMs scale).
  bool Start(const std::string& display, int x, int y, unsigned long rgb, double startMs, bool untilChanged = false);
  // Waits up to timeoutMs for the colour; milliseconds from startMs, or -1.
  double Wait(int timeoutMs);
  void Stop();

 private:
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::atomic<double> m_seenMs{-1};
};

}  // namespace bench
