// The inbound API: how a display backend reports what happened to a
// top-level window. Coordinates are client coordinates of that top-level.
// User-interface thread only.
#pragma once

#include "platform/ui/Types.h"

struct _cairo;

namespace ui::input {

// A mouse event: WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN,
// WM_RBUTTONUP. A second WM_LBUTTONDOWN soon after the first at about the same
// place becomes WM_LBUTTONDBLCLK here. keys are MK_* flags.
void Mouse(HWND top, UINT message, int x, int y, WPARAM keys);
// The pointer left the top-level window.
void MouseLeft(HWND top);
// The display moved or resized the window (screen rectangle).
void Configured(HWND top, const RECT& rect);
// The display minimised, restored or maximised the window.
void StateChanged(HWND top, bool minimized, bool maximized);
// A key went down while the top-level window had the keyboard (vk: a VK_*
// code; keys without one are not reported). The message goes through the
// windows' pre-translation first; true when a window consumed it, so the
// backend keeps it from the focused native widget.
bool Key(HWND top, UINT message, WPARAM vk);
// The window became (or stopped being) the active one.
void Activated(HWND top, bool active);
// The user asked the display to close the window.
void CloseRequested(HWND top);
// The window is drawn now into cr (client coordinates); sends WM_PAINT.
void Paint(HWND top, _cairo* cr);
// A pending paint, for backends that paint on request (headless).
bool NeedsPaint(HWND top);

}  // namespace ui::input
