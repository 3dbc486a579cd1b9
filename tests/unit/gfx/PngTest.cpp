#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <vector>

#include "platform/gfx/Png.h"

namespace {

using gfx::PixelFormat;
using gfx::Surface;

// Encodes rows of raw samples with libpng in any colour type (fixtures the
// product's encoder does not write: palette, grey, 16-bit, interlaced).
std::vector<std::uint8_t> Encode(int w, int h, int colorType, int depth, const std::vector<std::uint8_t>& samples,
                                 const std::vector<png_color>& palette = {},
                                 const std::vector<png_byte>& trns = {}, bool interlaced = false) {
  std::vector<std::uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep d, png_size_t n) {
        auto* v = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
        v->insert(v->end(), d, d + n);
      },
      [](png_structp) {});
  png_set_IHDR(png, info, w, h, depth, colorType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!trns.empty()) png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
  png_write_info(png, info);
  std::size_t rowBytes = samples.size() / h;
  std::vector<png_bytep> rows(h);
  for (int y = 0; y < h; ++y) rows[y] = const_cast<png_bytep>(samples.data() + y * rowBytes);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

TEST(PngDecode, ColourTypes) {
  {  // RGBA keeps straight (not premultiplied) samples in B, G, R, A order.
    Surface s = gfx::DecodePng(Encode(2, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {255, 0, 0, 128, 10, 20, 30, 0}));
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.format(), PixelFormat::Argb32);
    EXPECT_EQ(s.Pixel(0, 0), 0x80FF0000u);
    EXPECT_EQ(s.Pixel(1, 0), 0x000A141Eu);
  }
  {  // RGB is opaque.
    Surface s = gfx::DecodePng(Encode(1, 2, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 4, 5, 6}));
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.format(), PixelFormat::Rgb24);
    EXPECT_EQ(s.bitsPerPixel(), 24);
    EXPECT_EQ(s.Pixel(0, 1), 0xFF040506u);
  }
  {  // A palette with transparency carries alpha.
    Surface s = gfx::DecodePng(Encode(3, 1, PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2},
                                      {{0, 0, 0}, {200, 100, 50}, {9, 9, 9}}, {0, 255, 77}));
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.format(), PixelFormat::Argb32);
    EXPECT_EQ(s.Pixel(0, 0) >> 24, 0u);
    EXPECT_EQ(s.Pixel(1, 0), 0xFFC86432u);
    EXPECT_EQ(s.Pixel(2, 0), 0x4D090909u);
  }
  {  // A palette without transparency is opaque; 4-bit indices are expanded.
    Surface s = gfx::DecodePng(Encode(2, 1, PNG_COLOR_TYPE_PALETTE, 4, {0x10}, {{1, 2, 3}, {4, 5, 6}}));
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.format(), PixelFormat::Rgb24);
    EXPECT_EQ(s.Pixel(0, 0), 0xFF040506u);
    EXPECT_EQ(s.Pixel(1, 0), 0xFF010203u);
  }
  {  // Grey, grey with alpha, 16-bit RGBA, interlaced.
    Surface g = gfx::DecodePng(Encode(1, 1, PNG_COLOR_TYPE_GRAY, 8, {0x7F}));
    EXPECT_EQ(g.Pixel(0, 0), 0xFF7F7F7Fu);
    Surface ga = gfx::DecodePng(Encode(1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {0x40, 0x20}));
    EXPECT_EQ(ga.Pixel(0, 0), 0x20404040u);
    Surface wide = gfx::DecodePng(Encode(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16, {0xAB, 0, 0x12, 0, 0x34, 0, 0xFF, 0xFF}));
    EXPECT_EQ(wide.Pixel(0, 0), 0xFFAB1234u);
    std::vector<std::uint8_t> samples;
    for (int i = 0; i < 9 * 9; ++i) samples.insert(samples.end(), {static_cast<std::uint8_t>(i), 0, 0});
    Surface il = gfx::DecodePng(Encode(9, 9, PNG_COLOR_TYPE_RGB, 8, samples, {}, {}, true));
    ASSERT_FALSE(il.empty());
    EXPECT_EQ(il.Pixel(4, 3), 0xFF000000u | (31u << 16));
  }
}

TEST(PngDecode, EncodeRoundTripUnpremultiplies) {
  Surface s = Surface::Create(2, 1, PixelFormat::Argb32);
  std::uint8_t* p = s.data();
  const std::uint8_t px[] = {0, 0, 128, 128, 0, 0, 0, 0};  // premultiplied red 128 at alpha 128; clear
  std::copy(std::begin(px), std::end(px), p);
  s.MarkDirty();
  Surface back = gfx::DecodePng(gfx::EncodePng(s));
  ASSERT_FALSE(back.empty());
  EXPECT_EQ(back.Pixel(0, 0), 0x80FF0000u);
  EXPECT_EQ(back.Pixel(1, 0), 0u);
}

TEST(PngDecode, BadDataGivesAnEmptySurface) {
  std::vector<std::uint8_t> good = Encode(16, 16, PNG_COLOR_TYPE_RGB_ALPHA, 8, std::vector<std::uint8_t>(16 * 16 * 4, 7));
  ASSERT_FALSE(gfx::DecodePng(good).empty());
  // Every truncation: the reader must stop at the end of the bytes it was given
  // (run under AddressSanitizer by the fuzzer; here a heap copy of exactly n bytes).
  for (std::size_t n = 0; n < good.size(); ++n) {
    std::vector<std::uint8_t> cut(good.begin(), good.begin() + n);
    EXPECT_TRUE(gfx::DecodePng(cut).empty()) << n;
  }
  // A flipped byte inside the compressed data or a header field.
  for (std::size_t at : {std::size_t{20}, std::size_t{40}, good.size() - 20}) {
    std::vector<std::uint8_t> bad = good;
    bad[at] ^= 0x5A;
    EXPECT_TRUE(gfx::DecodePng(bad).empty()) << at;
  }
  EXPECT_TRUE(gfx::DecodePng(std::vector<std::uint8_t>(100, 0)).empty());
  // A header claiming 100000 x 100000 pixels is refused before any allocation.
  std::vector<std::uint8_t> huge = good;
  huge[16] = 0x00, huge[17] = 0x01, huge[18] = 0x86, huge[19] = 0xA0;
  huge[20] = 0x00, huge[21] = 0x01, huge[22] = 0x86, huge[23] = 0xA0;
  EXPECT_TRUE(gfx::DecodePng(huge).empty());
}

}  // namespace
