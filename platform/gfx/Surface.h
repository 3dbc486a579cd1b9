// Pixel surfaces: cairo image surfaces that hold an image or a composition.
//
// Argb32 is cairo's CAIRO_FORMAT_ARGB32: four bytes a pixel in memory order
// blue, green, red, alpha, colours premultiplied by alpha, rows without gaps.
// Rgb24 is an opaque image (the fourth byte is unused and always drawn as
// 255); it is what a source without alpha decodes to, and it is copied, never
// blended. A Surface owns its cairo surface; a default Surface is empty.
//
// Threads: a Surface may be used by one thread at a time.
#pragma once

#include <cstdint>

struct _cairo;
struct _cairo_surface;

namespace gfx {

enum class PixelFormat { Argb32, Rgb24 };

// Largest width or height, and largest pixel count, we create or decode:
// beyond these, creation fails.
constexpr int kMaxDimension = 16384;
constexpr long long kMaxPixels = 64LL << 20;

class Surface {
 public:
  Surface() = default;
  // A zero-filled surface (transparent black for Argb32, black for Rgb24);
  // empty when a dimension is not in 1..kMaxDimension, the area exceeds
  // kMaxPixels, or memory runs out.
  static Surface Create(int width, int height, PixelFormat format);
  ~Surface();
  Surface(Surface&& other) noexcept;
  Surface& operator=(Surface&& other) noexcept;
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  bool empty() const { return surface_ == nullptr; }
  int width() const { return width_; }
  int height() const { return height_; }
  PixelFormat format() const { return format_; }
  bool hasAlpha() const { return surface_ && format_ == PixelFormat::Argb32; }
  // 32 for Argb32, 24 for Rgb24, 0 when empty.
  int bitsPerPixel() const;
  // Bytes a row; width * 4 for both formats.
  int stride() const;

  // Raw pixel access. Call MarkDirty() after writing through data() and
  // before the surface is drawn again.
  std::uint8_t* data();
  const std::uint8_t* data() const;
  void MarkDirty();

  // The stored pixel as 0xAARRGGBB (premultiplied for Argb32; alpha 0xFF for
  // Rgb24); 0 outside the surface.
  std::uint32_t Pixel(int x, int y) const;

  // The cairo surface, for drawing onto or from; null when empty.
  _cairo_surface* cairoSurface() const { return surface_; }

 private:
  _cairo_surface* surface_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  PixelFormat format_ = PixelFormat::Argb32;
};

// A drawing context on a surface (cairo_t*, the window layer's HDC): created
// with no clip and an identity transform, destroyed with the Canvas.
class Canvas {
 public:
  explicit Canvas(Surface& target);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  _cairo* dc() const { return cr_; }

 private:
  Surface& target_;
  _cairo* cr_ = nullptr;
};

}  // namespace gfx
