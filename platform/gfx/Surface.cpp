#include "platform/gfx/Surface.h"

#include <cairo.h>

#include <utility>

namespace gfx {

Surface Surface::Create(int width, int height, PixelFormat format) {
  Surface s;
  if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension ||
      static_cast<long long>(width) * height > kMaxPixels)
    return s;
  cairo_surface_t* cs = cairo_image_surface_create(
      format == PixelFormat::Argb32 ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(cs) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(cs);
    return s;
  }
  s.surface_ = cs;
  s.width_ = width;
  s.height_ = height;
  s.format_ = format;
  return s;
}

Surface::~Surface() {
  if (surface_) cairo_surface_destroy(surface_);
}

Surface::Surface(Surface&& other) noexcept { *this = std::move(other); }

Surface& Surface::operator=(Surface&& other) noexcept {
  if (this != &other) {
    if (surface_) cairo_surface_destroy(surface_);
    surface_ = std::exchange(other.surface_, nullptr);
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    format_ = other.format_;
  }
  return *this;
}

int Surface::bitsPerPixel() const {
  if (!surface_) return 0;
  return format_ == PixelFormat::Argb32 ? 32 : 24;
}

int Surface::stride() const { return surface_ ? cairo_image_surface_get_stride(surface_) : 0; }

std::uint8_t* Surface::data() {
  if (!surface_) return nullptr;
  cairo_surface_flush(surface_);
  return cairo_image_surface_get_data(surface_);
}

const std::uint8_t* Surface::data() const {
  if (!surface_) return nullptr;
  cairo_surface_flush(surface_);
  return cairo_image_surface_get_data(surface_);
}

void Surface::MarkDirty() {
  if (surface_) cairo_surface_mark_dirty(surface_);
}

std::uint32_t Surface::Pixel(int x, int y) const {
  if (!surface_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const std::uint8_t* p = data() + static_cast<std::size_t>(y) * stride() + static_cast<std::size_t>(x) * 4;
  std::uint32_t a = format_ == PixelFormat::Argb32 ? p[3] : 0xFF;
  return (a << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

Canvas::Canvas(Surface& target) : target_(target) {
  if (!target.empty()) cr_ = cairo_create(target.cairoSurface());
}

Canvas::~Canvas() {
  if (cr_) {
    cairo_destroy(cr_);
    target_.cairoSurface() ? cairo_surface_flush(target_.cairoSurface()) : void();
  }
}

}  // namespace gfx
