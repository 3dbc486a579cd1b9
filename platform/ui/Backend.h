// The display backend interface: what the shared window layer asks of a
// display. Two implementations: gtk/ (the product) and headless/ (tests).
// Backends report back only through the inbound API in Input.h; they never
// call application windows directly.
//
// Every call is made on the user-interface thread, except Wake.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Menu.h"
#include "platform/ui/TrayIcon.h"
#include "platform/ui/Types.h"
#include "platform/ui/Window.h"

struct _cairo_surface;

namespace ui {

// One notification-area icon as a display shows it (gtk/Tray*.cpp,
// headless/HeadlessTray.cpp). It posts the owner's notifications itself
// (TrayIcon.h), NIN_TRAYCHANGED whenever Kind() changes.
class NativeTrayIcon {
 public:
  virtual ~NativeTrayIcon() = default;
  // The record changed (NIM_MODIFY); it holds the whole icon, tip already cut.
  virtual void Update(const NOTIFYICONDATA& record) = 0;
  virtual TrayKind Kind() const = 0;
};

// A display's notification area and popup menus.
class TrayBackend {
 public:
  virtual ~TrayBackend() = default;
  // Puts an icon up; null when this display can never show one.
  virtual std::unique_ptr<NativeTrayIcon> AddIcon(const NOTIFYICONDATA& record) = 0;
  // Shows a popup with at least one entry; the chosen id or 0 (Menu.h).
  virtual UINT TrackPopup(const MenuPopup& popup, UINT flags, int x, int y, HWND owner) = 0;
  // Closes the popup that TrackPopup shows now, as dismissed.
  virtual void EndMenu() = 0;
};

// The tray's share of a display: the icons put up and the open menu. Kept
// by the backend object so it ends with the display; TrayIcon.cpp and
// Menu.cpp use it.
struct TrayState {
  struct Icon {
    NOTIFYICONDATA record;
    std::unique_ptr<NativeTrayIcon> native;
  };
  std::unique_ptr<TrayBackend> backend;  // made on first use
  std::vector<Icon> icons;               // gone before the backend
  bool menuOpen = false;
};

enum class ShowState { Hidden, Normal, Minimized, Maximized };

class Backend {
 public:
  virtual ~Backend() = default;

  virtual bool Open() = 0;
  virtual void Close() = 0;
  virtual void SetApplicationId(const std::string& id) = 0;

  // Runs native events until woken (see Wake), a native event was handled,
  // or timeoutMs passed (-1: no limit).
  virtual void Wait(int timeoutMs) = 0;
  // Handles native events that are ready, without blocking; true if any.
  virtual bool ProcessNative() = 0;
  // Makes a Wait return. Any thread; async-signal-safe.
  virtual void Wake() = 0;

  // Top-level windows; rect in screen coordinates.
  virtual void CreateTopLevel(HWND hwnd, const RECT& rect, DWORD style, DWORD exStyle) = 0;
  virtual void DestroyTopLevel(HWND hwnd) = 0;
  virtual void SetShowState(HWND hwnd, ShowState state, bool activate) = 0;
  virtual void SetGeometry(HWND hwnd, const RECT& rect) = 0;
  virtual void SetTitle(HWND hwnd, const std::string& title) = 0;
  virtual void SetMinTrackSize(HWND hwnd, int cx, int cy) = 0;
  virtual void SetLayered(HWND hwnd, bool layered) = 0;
  virtual void SetKeepAbove(HWND hwnd, bool above) = 0;
  virtual void SetIcon(HWND hwnd, const std::string& pngBytes) = 0;
  // The window needs a paint; the backend calls input::Paint when it draws.
  virtual void Invalidate(HWND hwnd) = 0;
  // The whole look of a layered window.
  virtual void PresentLayered(HWND hwnd, _cairo_surface* surface, int width, int height) = 0;
  virtual void Raise(HWND hwnd) = 0;
  virtual void Activate(HWND hwnd) = 0;
  // Move and edge-resize drags started from the last button press.
  virtual void BeginMoveDrag(HWND hwnd) = 0;
  virtual void BeginResizeDrag(HWND hwnd, int edge) = 0;  // WMSZ_*
  virtual void SetCursor(HWND hwnd, Cursor cursor) = 0;
  virtual RECT WorkArea() = 0;
  virtual POINT CursorPos() = 0;

  // Native child widgets, placed in client coordinates of their top-level.
  virtual void AttachNative(HWND top, HWND child, void* widget) = 0;
  virtual void PlaceNative(HWND child, const RECT& rectInTop, bool visible) = 0;
  virtual void DetachNative(HWND child) = 0;

  virtual int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) = 0;
  // Ends every open message box as if cancelled (see ui::CancelModalLoops).
  virtual void CancelModal() {}

  // The tip window: text shown near a screen point, or hidden.
  virtual void ShowTip(const std::string& text, POINT screen) = 0;
  virtual void HideTip() = 0;

  // The notification area and popup menus (TrayIcon.h, Menu.h).
  TrayState tray;
};

Backend* CurrentBackendImpl();

std::unique_ptr<Backend> CreateGtkBackend();
std::unique_ptr<Backend> CreateHeadlessBackend();
// The headless backend paints a top-level window on request of the loop.
void HeadlessPaint(HWND top);

std::unique_ptr<TrayBackend> CreateGtkTray();
std::unique_ptr<TrayBackend> CreateHeadlessTray();
// The current display's tray (its backend made on first use), or null
// without a display.
TrayState* CurrentTray();

}  // namespace ui
