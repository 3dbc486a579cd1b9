// Blits, fills and clipping on a drawing context (cairo_t*, the window
// layer's HDC).
//
// Coordinates are integer pixels of the context's user space; rectangles are
// (left, top, right, bottom) with right and bottom exclusive. Every function
// is a no-op for a null context, an empty source, or an empty rectangle, and
// keeps the context usable whatever the numbers (huge or negative values only
// clip away).
//
// Threads: the thread that owns the context.
#pragma once

#include "platform/gfx/Surface.h"
#include "platform/ui/Types.h"

namespace gfx {

enum class BlendMode {
  // result = source + destination × (255 − source alpha) ÷ 255 per channel,
  // the source premultiplied (an image with alpha).
  SourceOver,
  // the source replaces the destination, opaque (an image without alpha).
  Copy,
};

// Draws the source rectangle (sx, sy, sw, sh) of `source` scaled to the
// destination rectangle (dx, dy, dw, dh), nearest-neighbour and without
// smoothing: each destination pixel takes the source pixel under its centre,
// which always lies inside the source rectangle. Nothing is drawn when a
// width or height is below 1 or the source rectangle leaves the source.
void Blit(_cairo* dc, const Surface& source, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
          BlendMode mode);

// The mode an image is drawn with: SourceOver with alpha, Copy without.
inline BlendMode BlendModeFor(const Surface& s) { return s.hasAlpha() ? BlendMode::SourceOver : BlendMode::Copy; }

// Fills the rectangle with the opaque colour 0x00BBGGRR (the alpha of the
// result is 255).
void FillSolidRect(_cairo* dc, const RECT& rect, COLORREF color);

// Fills the whole context with transparent black.
void Clear(_cairo* dc);

// Narrows the context's clip to `rect` for the life of the scope.
class ClipScope {
 public:
  ClipScope(_cairo* dc, const RECT& rect);
  ~ClipScope();
  ClipScope(const ClipScope&) = delete;
  ClipScope& operator=(const ClipScope&) = delete;

 private:
  _cairo* dc_;
};

}  // namespace gfx
