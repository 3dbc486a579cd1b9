#include <cairo.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "platform/gfx/Blit.h"
#include "platform/gfx/Surface.h"

namespace {

using gfx::BlendMode;
using gfx::Canvas;
using gfx::PixelFormat;
using gfx::Surface;

// Writes one pixel as stored bytes (B, G, R, A).
void Put(Surface& s, int x, int y, std::uint32_t argb) {
  std::uint8_t* p = s.data() + y * s.stride() + x * 4;
  p[0] = argb & 0xFF;
  p[1] = (argb >> 8) & 0xFF;
  p[2] = (argb >> 16) & 0xFF;
  p[3] = argb >> 24;
  s.MarkDirty();
}

Surface Filled(int w, int h, PixelFormat f, std::uint32_t argb) {
  Surface s = Surface::Create(w, h, f);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) Put(s, x, y, argb);
  return s;
}

// A one-row source whose column i has the colour 0xFF0000ii + i * 0x100 (a
// distinct opaque colour per column).
Surface Columns(int w) {
  Surface s = Surface::Create(w, 1, PixelFormat::Argb32);
  for (int x = 0; x < w; ++x) Put(s, x, 0, 0xFF000000u | static_cast<std::uint32_t>(x * 0x101 + 1));
  return s;
}

int ColumnOf(std::uint32_t pixel) { return static_cast<int>((pixel & 0xFF) - 1); }

TEST(Blit, SourceOverBlendsPremultipliedSource) {
  Surface dst = Filled(4, 4, PixelFormat::Argb32, 0xFFFFFFFF);
  Surface src = Surface::Create(1, 1, PixelFormat::Argb32);
  Put(src, 0, 0, 0x80800000);  // alpha 128, premultiplied red 128
  {
    Canvas c(dst);
    gfx::Blit(c.dc(), src, 1, 1, 2, 2, 0, 0, 1, 1, BlendMode::SourceOver);
  }
  // red 128 + 255 × 127 ÷ 255 = 255; green and blue 0 + 127; alpha 255.
  std::uint32_t p = dst.Pixel(1, 1);
  EXPECT_EQ(p >> 24, 0xFFu);
  EXPECT_EQ((p >> 16) & 0xFF, 0xFFu);
  EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 127, 1);
  EXPECT_NEAR(static_cast<int>(p & 0xFF), 127, 1);
  EXPECT_EQ(dst.Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(dst.Pixel(3, 3), 0xFFFFFFFFu);

  // A fully transparent source leaves the destination as it was.
  Surface clear = Surface::Create(1, 1, PixelFormat::Argb32);
  {
    Canvas c(dst);
    gfx::Blit(c.dc(), clear, 0, 0, 4, 4, 0, 0, 1, 1, BlendMode::SourceOver);
  }
  EXPECT_EQ(dst.Pixel(0, 0), 0xFFFFFFFFu);
}

TEST(Blit, CopyMakesOpaqueWhateverTheDestinationHeld) {
  Surface src = Filled(2, 2, PixelFormat::Rgb24, 0xFF336699);
  for (std::uint32_t before : {0x00000000u, 0x80402010u, 0xFFFFFFFFu}) {
    Surface dst = Filled(3, 3, PixelFormat::Argb32, before);
    {
      Canvas c(dst);
      gfx::Blit(c.dc(), src, 0, 0, 2, 2, 0, 0, 2, 2, gfx::BlendModeFor(src));
    }
    EXPECT_EQ(dst.Pixel(0, 0), 0xFF336699u) << std::hex << before;
    EXPECT_EQ(dst.Pixel(1, 1), 0xFF336699u);
    EXPECT_EQ(dst.Pixel(2, 2), before) << "outside the destination rectangle";
  }
}

TEST(Blit, NearestNeighbourStaysInsideTheSourceRectangle) {
  Surface src = Columns(10);
  struct Case {
    int sx, sw, dw;
  } cases[] = {{2, 4, 17}, {0, 1120 / 112, 1470 / 112}, {3, 5, 5}, {1, 8, 3}, {0, 10, 1}, {9, 1, 40}};
  for (const Case& c : cases) {
    Surface dst = Surface::Create(64, 1, PixelFormat::Argb32);
    {
      Canvas cv(dst);
      gfx::Blit(cv.dc(), src, 5, 0, c.dw, 1, c.sx, 0, c.sw, 1, BlendMode::SourceOver);
    }
    int previous = -1;
    for (int x = 0; x < c.dw; ++x) {
      int col = ColumnOf(dst.Pixel(5 + x, 0));
      ASSERT_GE(col, c.sx) << "x " << x;
      ASSERT_LT(col, c.sx + c.sw) << "x " << x;
      EXPECT_GE(col, previous) << "columns in order";
      previous = col;
    }
    if (c.dw >= c.sw) {  // enlarging shows every source column, first and last included
      EXPECT_EQ(ColumnOf(dst.Pixel(5, 0)), c.sx);
      EXPECT_EQ(ColumnOf(dst.Pixel(5 + c.dw - 1, 0)), c.sx + c.sw - 1);
    }
    EXPECT_EQ(dst.Pixel(4, 0), 0u);
    EXPECT_EQ(dst.Pixel(5 + c.dw, 0), 0u);
  }
}

TEST(Blit, OneToOneIsAnExactCopy) {
  Surface src = Columns(10);
  Surface dst = Surface::Create(10, 1, PixelFormat::Argb32);
  {
    Canvas c(dst);
    gfx::Blit(c.dc(), src, 0, 0, 10, 1, 0, 0, 10, 1, BlendMode::SourceOver);
  }
  for (int x = 0; x < 10; ++x) EXPECT_EQ(dst.Pixel(x, 0), src.Pixel(x, 0));
}

TEST(Blit, BadRectanglesDrawNothingAndKeepTheContextUsable) {
  Surface src = Filled(4, 4, PixelFormat::Argb32, 0xFFFF0000);
  Surface dst = Surface::Create(8, 8, PixelFormat::Argb32);
  Canvas c(dst);
  gfx::Blit(c.dc(), src, 0, 0, -5, 4, 0, 0, 4, 4, BlendMode::SourceOver);  // negative width
  gfx::Blit(c.dc(), src, 0, 0, 4, 4, 2, 0, 4, 4, BlendMode::SourceOver);   // source leaves the image
  gfx::Blit(c.dc(), src, 0, 0, 4, 4, -1, 0, 2, 2, BlendMode::SourceOver);
  gfx::Blit(c.dc(), src, INT_MAX - 2, INT_MAX - 2, INT_MAX, INT_MAX, 0, 0, 4, 4, BlendMode::SourceOver);
  gfx::Blit(c.dc(), src, INT_MIN, INT_MIN, 100, 100, 0, 0, 4, 4, BlendMode::SourceOver);
  gfx::Blit(nullptr, src, 0, 0, 4, 4, 0, 0, 4, 4, BlendMode::SourceOver);
  gfx::Blit(c.dc(), Surface(), 0, 0, 4, 4, 0, 0, 4, 4, BlendMode::SourceOver);
  cairo_surface_flush(dst.cairoSurface());
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(dst.Pixel(x, y), 0u);

  // A destination billions of pixels wide, anchored off-screen: the visible
  // part is drawn from the source and the context keeps working.
  gfx::Blit(c.dc(), src, -1000000000, 0, 2000000000, 2, 0, 0, 4, 4, BlendMode::SourceOver);
  EXPECT_EQ(cairo_status(c.dc()), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(dst.Pixel(7, 0), 0xFFFF0000u);
  gfx::Blit(c.dc(), src, 0, 4, 2, 2, 0, 0, 4, 4, BlendMode::SourceOver);
  EXPECT_EQ(dst.Pixel(1, 5), 0xFFFF0000u);
}

TEST(Fill, SolidRectIsOpaqueBgrColour) {
  Surface dst = Surface::Create(4, 4, PixelFormat::Argb32);
  {
    Canvas c(dst);
    gfx::FillSolidRect(c.dc(), RECT{1, 1, 3, 3}, RGB(235, 100, 7));
    gfx::FillSolidRect(c.dc(), RECT{3, 3, 2, 2}, RGB(255, 255, 255));  // inverted: nothing
    gfx::FillSolidRect(c.dc(), RECT{INT_MIN, INT_MIN, INT_MAX, 1}, RGB(0, 0, 255));
  }
  EXPECT_EQ(dst.Pixel(1, 1), 0xFFEB6407u);
  EXPECT_EQ(dst.Pixel(2, 2), 0xFFEB6407u);
  EXPECT_EQ(dst.Pixel(3, 3), 0u);
  EXPECT_EQ(dst.Pixel(0, 0), 0xFF0000FFu);
  EXPECT_EQ(dst.Pixel(3, 0), 0xFF0000FFu);
}

TEST(Clip, ScopeLimitsDrawingAndRestores) {
  Surface dst = Surface::Create(6, 6, PixelFormat::Argb32);
  Canvas c(dst);
  {
    gfx::ClipScope clip(c.dc(), RECT{2, 2, 4, 4});
    gfx::FillSolidRect(c.dc(), RECT{0, 0, 6, 6}, RGB(255, 0, 0));
    {
      gfx::ClipScope empty(c.dc(), RECT{5, 5, 1, 1});
      gfx::FillSolidRect(c.dc(), RECT{0, 0, 6, 6}, RGB(0, 255, 0));
    }
  }
  EXPECT_EQ(dst.Pixel(1, 1), 0u);
  EXPECT_EQ(dst.Pixel(2, 2), 0xFFFF0000u);
  EXPECT_EQ(dst.Pixel(3, 3), 0xFFFF0000u);
  EXPECT_EQ(dst.Pixel(4, 4), 0u);
  gfx::FillSolidRect(c.dc(), RECT{5, 5, 6, 6}, RGB(0, 0, 255));
  EXPECT_EQ(dst.Pixel(5, 5), 0xFF0000FFu) << "clip restored after the scope";
}

TEST(Surface, CreationLimits) {
  EXPECT_TRUE(Surface::Create(0, 5, PixelFormat::Argb32).empty());
  EXPECT_TRUE(Surface::Create(5, -1, PixelFormat::Argb32).empty());
  EXPECT_TRUE(Surface::Create(gfx::kMaxDimension + 1, 1, PixelFormat::Argb32).empty());
  EXPECT_TRUE(Surface::Create(gfx::kMaxDimension, gfx::kMaxDimension, PixelFormat::Argb32).empty());
  Surface s = Surface::Create(3, 2, PixelFormat::Rgb24);
  ASSERT_FALSE(s.empty());
  EXPECT_EQ(s.bitsPerPixel(), 24);
  EXPECT_FALSE(s.hasAlpha());
  EXPECT_EQ(s.stride(), 12);
  EXPECT_EQ(s.Pixel(-1, 0), 0u);
  EXPECT_EQ(s.Pixel(3, 0), 0u);
  Surface none;
  Canvas c(none);  // a canvas on an empty surface has no context
  EXPECT_EQ(c.dc(), nullptr);
}

}  // namespace
