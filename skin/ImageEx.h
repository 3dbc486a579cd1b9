// CImageEx: a skin image. A decoded PNG whose colours are premultiplied by
// alpha once, at load time, drawn whole and stretched into any rectangle or,
// when it carries margins, in nine parts whose corners keep their size.
//
// An image with alpha is a 32-bit image (B, G, R, A, premultiplied) and is
// composited source-over; one without alpha stays a 24-bit image and is
// copied opaque. An image that failed to load is empty: width 0, draws
// nothing.
//
// Threads: one thread at a time; drawing is for the thread that owns the
// target context (the user-interface thread for windows).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/gfx/Surface.h"
#include "platform/ui/Types.h"
#include "skin/SkinValues.h"

struct _cairo;
using HDC = _cairo*;

// A skin image id names the "PNG" resource by its low 16 bits.
constexpr int PngResourceId(int id) { return id & 0xFFFF; }
// The id of image `index` (0 normal, 1 hover, 2 pressed) of the button image
// set `base`, without overflowing for any base.
constexpr int ImageSetId(int base, int index) {
  return static_cast<int>((static_cast<long long>(base) + index) & 0xFFFF);
}

// One blit of a draw: the destination and source rectangles.
struct ImageBlit {
  RECT dst;
  RECT src;
  bool operator==(const ImageBlit&) const = default;
};

class CImageEx {
 public:
  CImageEx();
  virtual ~CImageEx();
  CImageEx(const CImageEx&) = delete;
  CImageEx& operator=(const CImageEx&) = delete;

  int hasMargins = 0;   // the margins apply
  SkinMargins margins;  // widths in image pixels of the borders that keep their size

  // Loads the "PNG" resource PngResourceId(id) of the executable. False (and
  // the image empty) when it is missing, empty or does not decode.
  bool LoadFromResource(int id);
  // Decodes the encoded bytes and premultiplies. False (and the image empty)
  // when they do not decode. Replaces what the image held.
  bool LoadFromStream(std::span<const std::uint8_t> bytes);
  // For each pixel of a 32-bit image: blue, green and red become
  // value × alpha ÷ 255, rounded down; alpha is unchanged. False, changing
  // nothing, for an empty or 24-bit image. LoadFromStream calls it; calling it
  // again would premultiply twice.
  bool PremultiplyAlpha();

  bool IsNull() const { return surface_.empty(); }
  int GetWidth() const { return surface_.width(); }
  int GetHeight() const { return surface_.height(); }
  int GetBPP() const { return surface_.bitsPerPixel(); }
  bool HasAlpha() const { return surface_.hasAlpha(); }
  const gfx::Surface& surface() const { return surface_; }

  // Draws into the destination: in nine parts (DrawNineSlice with the
  // margins) when hasMargins is set and the destination's size differs from
  // the image's, otherwise whole, stretched to it.
  void DrawImage(HDC dc, const RECT& dst) const;
  // Draws the whole image stretched into the destination, margins or not
  // (what the layered window does with every image).
  void DrawWhole(HDC dc, const RECT& dst) const;
  // Draws the nine pieces in order: top-left corner, left edge, top edge,
  // top-right corner, right edge, bottom edge, bottom-right corner,
  // bottom-left corner, centre. A piece whose source or destination is empty
  // is skipped.
  void DrawNineSlice(HDC dc, int x, int y, int w, int h, int l, int t, int r, int b) const;
  // Draws the source rectangle scaled to the destination: source-over for an
  // image with alpha, an opaque copy otherwise; nearest-neighbour.
  void BlitImage(HDC dc, int x, int y, int w, int h, int sx, int sy, int sw, int sh) const;

  // The blits DrawImage and DrawNineSlice issue, in order.
  std::vector<ImageBlit> PlanDraw(const RECT& dst) const;
  static std::vector<ImageBlit> PlanNineSlice(int imageWidth, int imageHeight, int x, int y, int w, int h, int l,
                                              int t, int r, int b);

 private:
  gfx::Surface surface_;
};
