// The shared state of the window layer: window records, the posted-message
// queue, timers, capture and hover tracking. Internal to platform/ui.
// User-interface thread only, except the posted queue (locked).
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui/Backend.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/Window.h"

namespace ui::core {

struct WindowRecord {
  HWND hwnd = nullptr;
  CWnd* object = nullptr;
  HWND parent = nullptr;          // null for a top-level window
  std::vector<HWND> children;     // creation order; the last is on top
  RECT rect;                      // child: in the parent's client area; top-level: screen
  DWORD style = 0;
  DWORD exStyle = 0;
  std::string className;
  std::string text;
  UINT id = 0;
  bool visible = false;           // the window's own visible flag
  ShowState state = ShowState::Hidden;  // top-level only
  ShowState lastShown = ShowState::Normal;
  RECT restoreRect;               // top-level: the rectangle before maximising
  bool layered = false;
  bool dirty = false;             // top-level: needs a paint
  bool destroying = false;
  void* native = nullptr;         // a hosted backend widget
  std::string icon;               // top-level: PNG bytes of its icon
};

struct Timer {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  UINT interval = 0;
  long long due = 0;
};

struct Tracking {
  HWND hwnd = nullptr;
  DWORD flags = 0;                // TME_HOVER | TME_LEAVE still armed
  UINT hoverTime = 0;
  long long hoverDue = 0;
  POINT hoverPoint;               // client coordinates of hwnd
};

struct State {
  std::unique_ptr<Backend> backend;
  BackendKind kind = BackendKind::Headless;
  std::unordered_map<std::uintptr_t, WindowRecord> windows;
  std::uintptr_t nextHandle = 0x100;

  std::mutex postLock;
  std::deque<MSG> posted;

  std::vector<Timer> timers;
  HWND capture = nullptr;
  HWND foreground = nullptr;
  HWND underPointer = nullptr;    // the window the pointer is over
  POINT pointerInTop;             // the pointer in its top-level's client coordinates
  Tracking tracking;

  // Double-click detection.
  HWND lastDownWindow = nullptr;
  long long lastDownTime = -1000000;
  POINT lastDownPoint;

  bool quit = false;
  int quitCode = 0;
  std::atomic<int> pendingSignals{0};
  HWND terminateTarget = nullptr;
  MSG terminateMessage;

  std::string applicationId;
  int modalDepth = 0;  // message boxes running their own loop now
  bool manualClock = false;
  long long manualNow = 0;
};

State& S();
WindowRecord* Find(HWND hwnd);
HWND TopLevelOf(HWND hwnd);
// Offset of a window's client origin in its top-level's client coordinates.
POINT OriginInTop(HWND hwnd);
// Sends a message straight to the window's object.
LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Offers msg to PreTranslateMessage of the window and its ancestors, then dispatches it.
void DispatchWithPreTranslate(MSG msg);
// Re-places hosted native widgets under hwnd (after a move, resize, show or hide).
void PlaceNativeChildren(HWND hwnd);
// Tooltip controls hear about pointer leaves and destroyed windows.
void TooltipsForget(HWND hwnd);
// Dispatches pending signals, posted messages and due timers (not paints,
// not native events); what a modal dialog's nested loop runs as well.
bool DispatchQueued();
// Whether hwnd and all its ancestors are visible.
bool EffectivelyVisible(HWND hwnd);

}  // namespace ui::core
