#include <cairo.h>
#include <gtest/gtest.h>

#include <png.h>

#include <climits>
#include <cstring>
#include <functional>

#include "platform/base/Resources.h"
#include "platform/gfx/Blit.h"
#include "platform/gfx/Png.h"
#include "skin/ImageEx.h"

namespace {

using gfx::Canvas;
using gfx::PixelFormat;
using gfx::Surface;

// PNG bytes of straight (not premultiplied) pixels: RGBA when f is Argb32,
// RGB otherwise. argb(x, y) gives 0xAARRGGBB.
std::vector<std::uint8_t> PngOf(int w, int h, PixelFormat f, const std::function<std::uint32_t(int, int)>& argb) {
  bool alpha = f == PixelFormat::Argb32;
  std::vector<std::uint8_t> samples;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint32_t v = argb(x, y);
      samples.insert(samples.end(), {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                                     static_cast<std::uint8_t>(v)});
      if (alpha) samples.push_back(static_cast<std::uint8_t>(v >> 24));
    }
  std::vector<std::uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep d, png_size_t n) {
        auto* v = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
        v->insert(v->end(), d, d + n);
      },
      [](png_structp) {});
  png_set_IHDR(png, info, w, h, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::size_t rowBytes = static_cast<std::size_t>(w) * (alpha ? 4 : 3);
  for (int y = 0; y < h; ++y) png_write_row(png, samples.data() + y * rowBytes);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

TEST(ImageEx, PremultipliesOnceRoundingDown) {
  struct Case {
    std::uint32_t a, c, expected;
  } cases[] = {{0, 255, 0}, {128, 255, 128}, {255, 200, 200}, {1, 255, 1}, {200, 200, 156}, {254, 1, 0}, {127, 3, 1}};
  for (const Case& k : cases) {
    CImageEx image;
    ASSERT_TRUE(image.LoadFromStream(PngOf(1, 1, PixelFormat::Argb32, [&](int, int) {
      return (k.a << 24) | (k.c << 16) | (k.c << 8) | k.c;
    })));
    EXPECT_EQ(image.GetBPP(), 32);
    std::uint32_t e = k.expected;
    EXPECT_EQ(image.surface().Pixel(0, 0), (k.a << 24) | (e << 16) | (e << 8) | e) << "alpha " << k.a << " value " << k.c;
  }
  // Alpha 0 gives all zeros whatever the colour.
  CImageEx clear;
  ASSERT_TRUE(clear.LoadFromStream(PngOf(1, 1, PixelFormat::Argb32, [](int, int) { return 0x00FFFFFFu; })));
  EXPECT_EQ(clear.surface().Pixel(0, 0), 0u);
  EXPECT_FALSE(CImageEx().PremultiplyAlpha()) << "an empty image";
}

TEST(ImageEx, OpaqueImageStays24BitAndIsCopiedOverAnything) {
  CImageEx image;
  ASSERT_TRUE(image.LoadFromStream(PngOf(4, 2, PixelFormat::Rgb24, [](int, int) { return 0xFF204060u; })));
  EXPECT_EQ(image.GetBPP(), 24);
  EXPECT_FALSE(image.HasAlpha());
  EXPECT_FALSE(image.PremultiplyAlpha());
  for (std::uint32_t before : {0u, 0x40102030u, 0xFFFFFFFFu}) {
    Surface dst = Surface::Create(6, 4, PixelFormat::Argb32);
    Canvas c(dst);
    gfx::FillSolidRect(c.dc(), RECT{0, 0, 6, 4}, 0);
    std::uint8_t* d = dst.data();
    for (int i = 0; i < 6 * 4; ++i) std::memcpy(d + i * 4, &before, 4);
    dst.MarkDirty();
    image.DrawImage(c.dc(), RECT{1, 1, 5, 3});
    cairo_surface_flush(dst.cairoSurface());
    EXPECT_EQ(dst.Pixel(1, 1), 0xFF204060u);
    EXPECT_EQ(dst.Pixel(4, 2), 0xFF204060u);
    EXPECT_EQ(dst.Pixel(0, 0), before);
  }
}

// The default title bar's geometry: 1250 x 32 with margins 120, 1, 10, 1.
CImageEx* TitleLike() {
  static CImageEx* image = [] {
    auto* im = new CImageEx();
    // Column x and row y are encoded in the colour: red = region of x, green = x & 0xFF, blue = y.
    im->LoadFromStream(PngOf(1250, 32, PixelFormat::Rgb24, [](int x, int y) {
      std::uint32_t region = x < 120 ? 1 : x < 1240 ? 2 : 3;
      return 0xFF000000u | (region << 16) | ((x & 0xFF) << 8) | static_cast<std::uint32_t>(y);
    }));
    im->hasMargins = 1;
    im->margins = {120, 1, 10, 1};
    return im;
  }();
  return image;
}

TEST(ImageEx, NinePiecesOfTheTitleBarAt1600) {
  CImageEx* title = TitleLike();
  ASSERT_EQ(title->GetWidth(), 1250);
  std::vector<ImageBlit> expected = {
      {{0, 0, 120, 1}, {0, 0, 120, 1}},              // top-left corner
      {{0, 1, 120, 31}, {0, 1, 120, 31}},            // left edge
      {{120, 0, 1590, 1}, {120, 0, 1240, 1}},        // top edge
      {{1590, 0, 1600, 1}, {1240, 0, 1250, 1}},      // top-right corner
      {{1590, 1, 1600, 31}, {1240, 1, 1250, 31}},    // right edge
      {{120, 31, 1590, 32}, {120, 31, 1240, 32}},    // bottom edge
      {{1590, 31, 1600, 32}, {1240, 31, 1250, 32}},  // bottom-right corner
      {{0, 31, 120, 32}, {0, 31, 120, 32}},          // bottom-left corner
      {{120, 1, 1590, 31}, {120, 1, 1240, 31}},      // centre
  };
  EXPECT_EQ(title->PlanDraw(RECT{0, 0, 1600, 32}), expected);

  // And on pixels: the left 120 and right 10 columns unscaled, the middle
  // stretched from the middle columns, every row from its own row.
  Surface dst = Surface::Create(1600, 32, PixelFormat::Argb32);
  {
    Canvas c(dst);
    title->DrawImage(c.dc(), RECT{0, 0, 1600, 32});
  }
  for (int y : {0, 1, 15, 30, 31}) {
    for (int x = 0; x < 120; ++x) ASSERT_EQ(dst.Pixel(x, y), title->surface().Pixel(x, y)) << x << "," << y;
    for (int x = 0; x < 10; ++x) ASSERT_EQ(dst.Pixel(1590 + x, y), title->surface().Pixel(1240 + x, y));
    for (int x = 120; x < 1590; ++x) {
      std::uint32_t p = dst.Pixel(x, y);
      ASSERT_EQ((p >> 16) & 0xFF, 2u) << "middle column " << x;
      ASSERT_EQ(p & 0xFF, static_cast<std::uint32_t>(y));
    }
  }
}

TEST(ImageEx, AtItsOwnSizeAnImageWithMarginsIsOneBlit) {
  CImageEx* title = TitleLike();
  std::vector<ImageBlit> one = {{{0, 0, 1250, 32}, {0, 0, 1250, 32}}};
  EXPECT_EQ(title->PlanDraw(RECT{0, 0, 1250, 32}), one);
  std::vector<ImageBlit> moved = {{{30, 5, 1280, 37}, {0, 0, 1250, 32}}};
  EXPECT_EQ(title->PlanDraw(RECT{30, 5, 1280, 37}), moved);
}

TEST(ImageEx, DrawWholeIgnoresMargins) {
  // Stretched whole from 1250 to 1600, destination column 140 samples source
  // column 109 (the left border); nine-part drawing would sample the middle.
  Surface whole = Surface::Create(1600, 32, PixelFormat::Argb32);
  Surface nine = Surface::Create(1600, 32, PixelFormat::Argb32);
  {
    Canvas a(whole), b(nine);
    TitleLike()->DrawWhole(a.dc(), RECT{0, 0, 1600, 32});
    TitleLike()->DrawImage(b.dc(), RECT{0, 0, 1600, 32});
  }
  EXPECT_EQ((whole.Pixel(140, 5) >> 16) & 0xFF, 1u);
  EXPECT_EQ((nine.Pixel(140, 5) >> 16) & 0xFF, 2u);
  EXPECT_EQ(ImageSetId(318, 2), 320);
  EXPECT_EQ(ImageSetId(INT_MAX, 1), 0) << "no overflow; the low 16 bits of 2^31";
}

TEST(ImageEx, NegativeWidthPiecesAreSkippedCornersStillDrawn) {
  // Margins 120 + 10 into a destination 100 wide: the top edge, bottom edge
  // and centre have negative width.
  std::vector<ImageBlit> pieces = CImageEx::PlanNineSlice(1250, 32, 0, 0, 100, 32, 120, 1, 10, 1);
  std::vector<ImageBlit> expected = {
      {{0, 0, 120, 1}, {0, 0, 120, 1}},
      {{0, 1, 120, 31}, {0, 1, 120, 31}},
      {{90, 0, 100, 1}, {1240, 0, 1250, 1}},
      {{90, 1, 100, 31}, {1240, 1, 1250, 31}},
      {{90, 31, 100, 32}, {1240, 31, 1250, 32}},
      {{0, 31, 120, 32}, {0, 31, 120, 32}},
  };
  EXPECT_EQ(pieces, expected);
  // Zero margins on a side leave that side's pieces out; zero margins
  // everywhere leave only the centre.
  EXPECT_EQ(CImageEx::PlanNineSlice(10, 10, 0, 0, 20, 20, 0, 0, 0, 0).size(), 1u);
  // Margins larger than the image: sources beyond it are empty, so skipped.
  for (const ImageBlit& b : CImageEx::PlanNineSlice(10, 10, 0, 0, 20, 20, 30, 30, 30, 30)) {
    EXPECT_LT(b.src.left, b.src.right);
    EXPECT_LT(b.src.top, b.src.bottom);
  }
  // On pixels: the right corner lands at 90..99.
  Surface dst = Surface::Create(100, 32, PixelFormat::Argb32);
  {
    Canvas c(dst);
    TitleLike()->DrawImage(c.dc(), RECT{0, 0, 100, 32});
  }
  EXPECT_EQ((dst.Pixel(95, 10) >> 16) & 0xFF, 3u);
  EXPECT_EQ((dst.Pixel(50, 10) >> 16) & 0xFF, 1u) << "the left piece, 120 wide, is cut by the destination";
}

TEST(ImageEx, AnEmptyDestinationDrawsNothingEvenWithMargins) {
  CImageEx* title = TitleLike();
  for (RECT empty : {RECT{0, 0, 0, 32}, RECT{0, 0, 64, 0}, RECT{60, 0, 10, 32}, RECT{0, 30, 64, 2}}) {
    EXPECT_TRUE(title->PlanDraw(empty).empty()) << empty.left << "," << empty.top << "," << empty.right << ","
                                                << empty.bottom;
    Surface dst = Surface::Create(64, 32, PixelFormat::Argb32);
    {
      Canvas c(dst);
      title->DrawImage(c.dc(), empty);
    }
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 64; ++x) ASSERT_EQ(dst.Pixel(x, y), 0u) << x << "," << y;
  }
}

TEST(ImageEx, HugeAndNegativeNumbersDrawSafely) {
  CImageEx* title = TitleLike();
  Surface dst = Surface::Create(64, 32, PixelFormat::Argb32);
  Canvas c(dst);
  title->DrawImage(c.dc(), RECT{INT_MIN, INT_MIN, INT_MAX, INT_MAX});
  title->DrawImage(c.dc(), RECT{INT_MAX, 0, INT_MIN, 32});
  title->DrawNineSlice(c.dc(), INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MIN, INT_MAX, INT_MIN);
  title->DrawNineSlice(c.dc(), 0, 0, 64, 32, -5, -5, -5, -5);
  EXPECT_EQ(cairo_status(c.dc()), CAIRO_STATUS_SUCCESS);
  title->DrawImage(c.dc(), RECT{0, 0, 1250, 32});
  EXPECT_EQ(dst.Pixel(3, 3), title->surface().Pixel(3, 3)) << "the context still draws";
}

TEST(ImageEx, FailedLoadsLeaveAnEmptyImage) {
  std::vector<std::uint8_t> good = PngOf(8, 8, PixelFormat::Argb32, [](int, int) { return 0xFF112233u; });
  CImageEx image;
  ASSERT_TRUE(image.LoadFromStream(good));
  std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  EXPECT_FALSE(image.LoadFromStream(cut));
  EXPECT_TRUE(image.IsNull());
  EXPECT_EQ(image.GetWidth(), 0);
  EXPECT_EQ(image.GetBPP(), 0);
  EXPECT_TRUE(image.PlanDraw(RECT{0, 0, 10, 10}).empty());
  Surface dst = Surface::Create(4, 4, PixelFormat::Argb32);
  Canvas c(dst);
  image.DrawImage(c.dc(), RECT{0, 0, 4, 4});
  image.DrawNineSlice(c.dc(), 0, 0, 4, 4, 1, 1, 1, 1);
  EXPECT_EQ(dst.Pixel(1, 1), 0u);

  res::testing::Override("PNG", 60001, "");
  res::testing::Override("PNG", 60002, "not a png at all");
  EXPECT_FALSE(image.LoadFromResource(60000)) << "missing";
  EXPECT_FALSE(image.LoadFromResource(60001)) << "empty";
  EXPECT_FALSE(image.LoadFromResource(60002)) << "undecodable";
  EXPECT_TRUE(image.IsNull());
  res::testing::Override("PNG", 60003, std::string(good.begin(), good.end()));
  EXPECT_TRUE(image.LoadFromResource(60003 + 0x10000)) << "only the low 16 bits of the id count";
  EXPECT_EQ(image.GetWidth(), 8);
  res::testing::Reset();
}

TEST(ImageEx, DefaultSkinImagesHaveTheirSizesAndAlpha) {
  struct Case {
    int id, w, h;
    bool alpha;
  } cases[] = {{311, 48, 41, true}, {314, 42, 35, true}, {318, 24, 20, true}, {330, 24, 20, true},
               {343, 84, 26, true}, {347, 1250, 32, false}, {348, 1288, 780, true}, {350, 51, 16, true},
               {351, 55, 20, true}, {353, 79, 15, true},  {354, 83, 19, true}};
  for (const Case& k : cases) {
    CImageEx image;
    ASSERT_TRUE(image.LoadFromResource(k.id)) << k.id;
    EXPECT_EQ(image.GetWidth(), k.w) << k.id;
    EXPECT_EQ(image.GetHeight(), k.h) << k.id;
    EXPECT_EQ(image.HasAlpha(), k.alpha) << k.id;
  }
  // Every button set is complete.
  for (int base : {311, 314, 318, 321, 324, 327, 330, 334, 337, 340, 343, 350, 353})
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(CImageEx().LoadFromResource(base + i)) << base + i;
  // The launcher background: clear inside the browser rectangle and over more
  // than half of its pixels.
  CImageEx bg;
  ASSERT_TRUE(bg.LoadFromResource(348));
  long clear = 0;
  for (int y = 0; y < 780; ++y)
    for (int x = 0; x < 1288; ++x) {
      std::uint32_t p = bg.surface().Pixel(x, y);
      if (x >= 471 && x < 1151 && y >= 262 && y < 632) {
        ASSERT_EQ(p, 0u) << x << "," << y;
      }
      clear += p == 0;
    }
  EXPECT_GT(clear * 2, 1288L * 780);
}

}  // namespace
