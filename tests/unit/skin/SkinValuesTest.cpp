#include <gtest/gtest.h>

#include "skin/SkinValues.h"

namespace {

TEST(SplitString, Pieces) {
  struct Case {
    const char* text;
    std::vector<std::string> pieces;
  } cases[] = {
      {"one,,two,", {"one", "", "two"}},
      {"one", {"one"}},
      {"", {""}},
      {",", {""}},
      {",a", {"", "a"}},
      {"235,235,235", {"235", "235", "235"}},
      {"a,,", {"a", ""}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitString(c.text, ","), c.pieces) << '"' << c.text << '"';
}

TEST(ParseColor, ComponentsKeepTheirLow8BitsRedInTheLowByte) {
  struct Case {
    const char* text;
    COLORREF color;
  } cases[] = {
      {"235,235,235", 0xEBEBEB},
      {"0,0,255", 0xFF0000},
      {"255,0,0", 0x0000FF},
      {"300,0,-1", 0xFF002C},  // red 44, green 0, blue 255
      {" 1, +2 ,3x", 0x030201},
      {"x,5,6", 0x060500},     // a piece that is not a number reads as 0
      {"7,8", 0x000807},       // missing pieces read as 0
      {"1,2,3,4,5", 0x030201}, // pieces after the third are ignored
      {"99999999999,0,0", 0x0000FF},  // saturated at 2^31 - 1, low byte 0xFF
  };
  for (const Case& c : cases) EXPECT_EQ(ParseColor(c.text), c.color) << c.text;
}

TEST(ParseMargins, FourPieces) {
  EXPECT_EQ(ParseMargins("120,1,10,1"), (SkinMargins{120, 1, 10, 1}));
  EXPECT_EQ(ParseMargins("5,6"), (SkinMargins{5, 6, 0, 0}));
  EXPECT_EQ(ParseMargins("a,-2,3,4,9"), (SkinMargins{0, -2, 3, 4}));
  EXPECT_TRUE(ParseMargins("0,0,0,0").IsZero());
}

}  // namespace
