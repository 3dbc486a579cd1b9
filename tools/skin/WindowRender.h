// What a skinned window of one skin element shows, rendered by the real
// windows (CSkinWnd for a layered, CSkinWnd2 for a framed window) on the
// headless display, optionally with one button hovered or pressed through
// injected mouse input. torvane-skin's "render" uses it.
//
// Threads: the user-interface thread; it opens (and closes again) the
// headless display unless one is open.
#pragma once

#include <string>

#include "platform/gfx/Surface.h"
#include "skin/SkinDocument.h"
#include "tools/skin/SkinCompose.h"

struct WindowRenderRequest {
  WindowKind kind = WindowKind::Layered;
  int width = 0;   // the client size the window is given, 1 to gfx::kMaxDimension
  int height = 0;
  std::string hover;  // a button to hover (the mouse rests on its centre), or ""
  std::string press;  // a button to press (hovered, then the left button held), or ""
};

// The window's pixels (premultiplied ARGB32); empty, with the reason in
// *error, when the window cannot be made or a named button cannot be
// reached (no such button, no size, covered by another one at its centre).
gfx::Surface RenderSkinWindow(SkinDocument& doc, const std::string& element, const WindowRenderRequest& request,
                              std::string* error);
