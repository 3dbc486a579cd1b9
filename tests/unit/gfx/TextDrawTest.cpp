#include <cairo.h>
#include <gtest/gtest.h>

#include "platform/gfx/Blit.h"
#include "platform/gfx/Surface.h"
#include "platform/gfx/TextDraw.h"

namespace {

using gfx::Canvas;
using gfx::FontSpec;
using gfx::PixelFormat;
using gfx::Surface;

struct Ink {
  int count = 0;
  int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
  bool pureColour = true;  // every inked pixel is a shade of the colour asked for
};

Ink InkOf(const Surface& s, std::uint32_t rgb) {
  Ink ink;
  for (int y = 0; y < s.height(); ++y)
    for (int x = 0; x < s.width(); ++x) {
      std::uint32_t p = s.Pixel(x, y);
      std::uint32_t a = p >> 24;
      if (a == 0) continue;
      ++ink.count;
      ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
      std::uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      std::uint32_t er = ((rgb >> 16) & 0xFF) * a / 255, eg = ((rgb >> 8) & 0xFF) * a / 255, eb = (rgb & 0xFF) * a / 255;
      if (r + 2 < er || r > er + 2 || g + 2 < eg || g > eg + 2 || b + 2 < eb || b > eb + 2) ink.pureColour = false;
    }
  return ink;
}

Ink Draw(const std::string& text, FontSpec font, double x, double y, double w, double h,
         COLORREF colour = RGB(255, 0, 0), gfx::TextFormat format = {}) {
  Surface s = Surface::Create(300, 60, PixelFormat::Argb32);
  {
    Canvas c(s);
    gfx::DrawTextLine(c.dc(), text, font, colour, x, y, w, h, format);
  }
  return InkOf(s, (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour));
}

TEST(TextDraw, DrawsInTheColourInsideTheBox) {
  Ink ink = Draw("Amber Route", {"", 14, 0}, 10, 5, 200, 40, RGB(255, 0, 0));
  ASSERT_GT(ink.count, 50);
  EXPECT_TRUE(ink.pureColour) << "red, in 0x00BBGGRR order";
  EXPECT_GE(ink.left, 10);
  EXPECT_LT(ink.left, 14) << "near alignment";
  EXPECT_GE(ink.top, 5);
  EXPECT_LT(ink.bottom, 45);
  // Vertically centred: the ink's middle lies near the box's middle (25).
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 25.0, 4.0);
  Ink blue = Draw("Amber Route", {"", 14, 0}, 10, 5, 200, 40, RGB(0, 0, 255));
  EXPECT_TRUE(blue.pureColour);
}

TEST(TextDraw, NothingForEmptyTextSizeZeroOrEmptyBox) {
  Surface s = Surface::Create(50, 20, PixelFormat::Argb32);
  Canvas c(s);
  EXPECT_FALSE(gfx::DrawTextLine(c.dc(), "", {"", 12, 0}, 0, 0, 0, 50, 20));
  EXPECT_FALSE(gfx::DrawTextLine(c.dc(), "x", {"", 0, 0}, 0, 0, 0, 50, 20));
  EXPECT_FALSE(gfx::DrawTextLine(c.dc(), "x", {"", 12, 0}, 0, 0, 0, 0, 20));
  EXPECT_FALSE(gfx::DrawTextLine(nullptr, "x", {"", 12, 0}, 0, 0, 0, 50, 20));
  EXPECT_EQ(InkOf(s, 0).count, 0);
}

TEST(TextDraw, LongTextStaysOnOneLineInTheBox) {
  std::string longText(200, 'W');
  Ink ink = Draw(longText, {"", 12, 0}, 20, 10, 100, 30);
  ASSERT_GT(ink.count, 0);
  EXPECT_GE(ink.left, 20);
  EXPECT_LT(ink.right, 120);
  EXPECT_LT(ink.bottom - ink.top, 16) << "one line, no wrap";
  // Ellipsis: the box holds a few W and the ellipsis; clipping alone fills it.
  gfx::TextFormat clip;
  clip.trimming = gfx::Trimming::Clip;
  Ink clipped = Draw(longText, {"", 12, 0}, 20, 10, 100, 30, RGB(255, 0, 0), clip);
  EXPECT_LT(clipped.right, 120);
  EXPECT_GT(clipped.right, 115);
  EXPECT_LT(ink.count, clipped.count);
}

TEST(TextDraw, StyleBitsChangeTheInk) {
  FontSpec regular{"", 16, 0};
  Ink base = Draw("Harbour", regular, 0, 0, 300, 60);
  Ink bold = Draw("Harbour", {"", 16, gfx::kFontBold}, 0, 0, 300, 60);
  Ink under = Draw("Harbour", {"", 16, gfx::kFontUnderline}, 0, 0, 300, 60);
  Ink strike = Draw("Harbour", {"", 16, gfx::kFontStrikeout}, 0, 0, 300, 60);
  Ink italic = Draw("Harbour", {"", 16, gfx::kFontItalic}, 0, 0, 300, 60);
  EXPECT_GT(bold.count, base.count * 11 / 10);
  EXPECT_GT(under.bottom, base.bottom) << "underline below the letters";
  EXPECT_GT(strike.count, base.count);
  EXPECT_NE(italic.count, base.count);
  Ink big = Draw("Harbour", {"", 24, 0}, 0, 0, 300, 60);
  EXPECT_GT(big.bottom - big.top, base.bottom - base.top) << "size is the em size in pixels";
}

TEST(TextDraw, FamiliesFallBackToSansSerif) {
  EXPECT_EQ(gfx::ResolveFontFamily(""), "sans-serif");
  EXPECT_EQ(gfx::ResolveFontFamily("No Such Family 42"), "sans-serif");
  EXPECT_EQ(gfx::ResolveFontFamily("WenQuanYi Micro Hei"), "WenQuanYi Micro Hei");
  // Chinese text in the skin's family (not installed here) still renders.
  Ink cjk = Draw("\xE7\x90\xA5\xE7\x8F\x80\xE8\x88\xAA\xE7\xBA\xBF", {"\xE5\xAE\x8B\xE4\xBD\x93", 12, 0}, 0, 0, 300, 60);
  EXPECT_GT(cjk.count, 60);
  EXPECT_EQ(gfx::MeasureTextWidth(nullptr, "x", {"", 12, 0}), 0);
}

TEST(TextDraw, MeasureGrowsWithText) {
  Surface s = Surface::Create(10, 10, PixelFormat::Argb32);
  Canvas c(s);
  double one = gfx::MeasureTextWidth(c.dc(), "Pay", {"", 12, 0});
  double two = gfx::MeasureTextWidth(c.dc(), "PayPay", {"", 12, 0});
  EXPECT_GT(one, 10);
  EXPECT_NEAR(two, 2 * one, 2);
  EXPECT_EQ(gfx::MeasureTextWidth(c.dc(), "", {"", 12, 0}), 0);
  EXPECT_EQ(gfx::MeasureTextWidth(c.dc(), "Pay", {"", 0, 0}), 0);
}

}  // namespace

namespace {

// Boxes far outside the surface, or far larger than it, as skin numbers can
// make them: nothing is drawn where it should not be and nothing breaks.
TEST(TextDraw, HugeBoxesAndFarPlacesAreSafe) {
  struct Case {
    const char* name;
    double x, y, w, h;
    bool inks;
  } cases[] = {
      {"far right", 2147483000.0, 10, 400, 30, false},
      {"far left", -2147483000.0, 10, 400, 30, false},
      {"far below", 10, 2147483000.0, 400, 30, false},
      {"box wider than 32 bits of Pango units", 10, 10, 2147483647.0, 30, true},
      {"box from far left across the surface", -2147483000.0, 10, 2147483647.0, 30, false},
  };
  for (const Case& c : cases) {
    Ink ink = Draw("Harbour", {"", 14, 0}, c.x, c.y, c.w, c.h);
    if (c.inks) {
      EXPECT_GT(ink.count, 0) << c.name;
      EXPECT_GE(ink.left, 10) << c.name << ": near alignment starts at the box";
      EXPECT_LT(ink.right, 100) << c.name;
    } else {
      EXPECT_EQ(ink.count, 0) << c.name;
    }
  }
}

}  // namespace
