// The window layer: a tree of windows addressed by handles, message dispatch,
// timers, mouse capture and hover tracking, show states and geometry.
//
// Top-level windows are real windows of the display backend (GTK on the
// desktop, an in-memory fake on the headless backend); child windows are our
// own rectangles inside their top-level window, hit-tested in z-order and
// drawn by their owner's composition, except a native child (a widget of the
// backend, such as a browser view) which draws itself.
//
// Threads: everything here is for the user-interface thread, except
// PostMessage (and CWnd::PostMessage), which any thread may call; a post
// wakes the loop. A message posted or sent to a null or destroyed handle is
// dropped.
#pragma once

#include <string>

#include "platform/ui/Messages.h"
#include "platform/ui/Types.h"

struct _cairo;
struct _cairo_surface;
using HDC = _cairo*;  // a paint context: a cairo context in client coordinates

class CWnd;

struct PAINTSTRUCT {
  HDC hdc = nullptr;
  RECT rcPaint;
};

struct TRACKMOUSEEVENT {
  DWORD dwFlags = 0;
  HWND hwndTrack = nullptr;
  DWORD dwHoverTime = 0;
};

struct CREATESTRUCT {
  HWND hwndParent = nullptr;
  int x = 0, y = 0, cx = 0, cy = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  std::string className;
  std::string name;
  UINT id = 0;
};

// The system cursors the client uses.
enum class Cursor { Arrow, Hand, SizeWE, SizeNS, SizeNWSE, SizeNESW };

// Base of every window object. Deleting the object destroys its window (and
// the windows of its children); a window is never destroyed behind its
// object's back except by DestroyWindow.
class CWnd {
 public:
  CWnd();
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }

  // The object of a live window, or null for a null or destroyed handle.
  static CWnd* FromHandle(HWND hwnd);

  // Creates the window: a child when style has WS_CHILD (parent required),
  // otherwise a top-level window of the backend. Sends WM_CREATE; a result of
  // -1 destroys the window again and fails. A WS_VISIBLE window is shown.
  BOOL CreateEx(DWORD exStyle, const std::string& className, const std::string& windowName, DWORD style,
                int x, int y, int cx, int cy, HWND parent, UINT id = 0);
  BOOL DestroyWindow();

  // The message handler. Derived classes switch on the messages they handle
  // and pass every other one to their base class; CWnd's passes to
  // DefWindowProc.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Offered every message for this window (and its children) before it is
  // dispatched; TRUE swallows it.
  virtual BOOL PreTranslateMessage(MSG* msg);
  // Runs after the window is gone (WM_DESTROY delivered, handle dead).
  virtual void PostNcDestroy() {}

  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  BOOL ShowWindow(int cmd);
  BOOL MoveWindow(int x, int y, int cx, int cy, BOOL repaint = TRUE);
  BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
  void GetClientRect(RECT* rect) const;
  void GetWindowRect(RECT* rect) const;
  void InvalidateRect(const RECT* rect, BOOL erase = TRUE);
  void Invalidate(BOOL erase = TRUE) { InvalidateRect(nullptr, erase); }
  BOOL IsWindowVisible() const;
  BOOL IsIconic() const;
  BOOL IsZoomed() const;
  void SetWindowText(const std::string& text);
  std::string GetWindowText() const;
  int GetDlgCtrlID() const;
  HWND GetParent() const;
  DWORD GetStyle() const;
  DWORD GetExStyle() const;
  UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs);
  BOOL KillTimer(UINT_PTR id);
  void CenterWindow(HWND alternateOwner = nullptr);
  BOOL BringWindowToTop();
  BOOL SetForegroundWindow();
  HWND SetCapture();
};

// Free functions with the shapes of the desktop API.
BOOL IsWindow(HWND hwnd);
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);  // any thread
void PostQuitMessage(int exitCode);
BOOL DestroyWindow(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int cmd);
BOOL MoveWindow(HWND hwnd, int x, int y, int cx, int cy, BOOL repaint);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL GetClientRect(HWND hwnd, RECT* rect);
BOOL GetWindowRect(HWND hwnd, RECT* rect);  // screen coordinates
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL IsWindowVisible(HWND hwnd);
BOOL IsIconic(HWND hwnd);
BOOL IsZoomed(HWND hwnd);
BOOL SetWindowText(HWND hwnd, const std::string& text);
std::string GetWindowText(HWND hwnd);
int GetDlgCtrlID(HWND hwnd);
// The class name the window was created with.
std::string GetClassName(HWND hwnd);
HWND GetParent(HWND hwnd);
HWND GetTopLevel(HWND hwnd);  // the top-level window holding hwnd (itself for a top-level)
LONG GetWindowLong(HWND hwnd, int index);
LONG SetWindowLong(HWND hwnd, int index, LONG value);
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs);
BOOL KillTimer(HWND hwnd, UINT_PTR id);
BOOL BringWindowToTop(HWND hwnd);
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();
BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme);
BOOL GetCursorPos(POINT* pt);  // screen coordinates
BOOL ScreenToClient(HWND hwnd, POINT* pt);
BOOL ClientToScreen(HWND hwnd, POINT* pt);
void SetCursor(Cursor cursor);
// The work area of the primary monitor (SystemParametersInfo SPI_GETWORKAREA).
BOOL GetWorkArea(RECT* rect);
// The desktop window: the parent that makes a window top-level.
HWND GetDesktopWindow();

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
BOOL ValidateRect(HWND hwnd, const RECT* rect);

// Shows a premultiplied ARGB32 image as the whole look of a layered top-level
// window (per-pixel alpha; where no compositor runs, the window's shape and
// input region follow the alpha), placed at dst with the given size, taken
// from src at srcPt. dst null keeps the window's position.
BOOL UpdateLayeredWindow(HWND hwnd, const POINT* dst, const SIZE* size, _cairo_surface* src, const POINT* srcPt,
                         DWORD flags);

// Hosts a widget of the backend (a GtkWidget* on the gtk backend) in a child
// window: placed and sized with the child's rectangle, shown and hidden with
// it, destroyed with it (the window takes a reference). Null detaches.
BOOL AttachNativeWidget(HWND child, void* widget);
void* GetNativeWidget(HWND child);
