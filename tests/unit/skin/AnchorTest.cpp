#include <gtest/gtest.h>

#include <climits>

#include "skin/Anchor.h"

namespace {

TEST(AnchorPoint, Table) {
  const RECT parent{0, 0, 1250, 690};
  const RECT element{0, 0, 24, 20};
  struct Case {
    const char* align;
    int x, y;
  } cases[] = {
      {"TopLeft", 3, 1},         {"TopRight", 1250 - 24 - 3, 1},           {"BottomLeft", 3, 690 - 20 - 1},
      {"BottomRight", 1223, 669}, {"topright", 1223, 1},                     {"BOTTOMRIGHT", 1223, 669},
      {"bottomLeft", 3, 669},    {"Centre", 3, 1},                          {"", 3, 1},
      {"TopRight ", 3, 1},
  };
  for (const Case& c : cases) {
    POINT pt{3, 1};
    AnchorPoint(pt, c.align, parent, element);
    EXPECT_EQ(pt.x, c.x) << '"' << c.align << '"';
    EXPECT_EQ(pt.y, c.y) << '"' << c.align << '"';
  }
}

TEST(AnchorPoint, OnlyParentRightBottomAndElementSizeCount) {
  POINT pt{0, 0};
  AnchorPoint(pt, "BottomRight", RECT{500, 500, 800, 600}, RECT{1000, 1000, 1024, 1020});
  EXPECT_EQ(pt.x, 776);
  EXPECT_EQ(pt.y, 580);
  // Wider than its window: a negative x, not clamped.
  POINT wide{10, 0};
  AnchorPoint(wide, "TopRight", RECT{0, 0, 100, 100}, RECT{0, 0, 300, 20});
  EXPECT_EQ(wide.x, -210);
  // Numbers beyond 32 bits saturate instead of overflowing.
  POINT huge{INT_MIN, INT_MAX};
  AnchorPoint(huge, "BottomRight", RECT{0, 0, INT_MAX, INT_MIN}, RECT{0, 0, 0, 0});
  EXPECT_EQ(huge.x, INT_MAX);
  EXPECT_EQ(huge.y, INT_MIN);
}

TEST(Placement, Buttons) {
  SkinButtonInfo close;
  close.left = 3, close.top = 1, close.align = "TopRight";
  EXPECT_EQ(AnchorButton(close, SIZE{24, 20}, RECT{0, 0, 1250, 690}).x, 1223);
  EXPECT_EQ(AnchorButton(close, SIZE{24, 20}, RECT{0, 0, 1920, 1050}).x, 1893);
  // A "BottomRight" button with offsets (0, 0) touches the corner exactly.
  SkinButtonInfo corner;
  corner.align = "BottomRight";
  POINT p = AnchorButton(corner, SIZE{30, 10}, RECT{0, 0, 400, 300});
  EXPECT_EQ(p.x + 30, 400);
  EXPECT_EQ(p.y + 10, 300);
  // "refresh" anchors with the size it shows: hovered, four pixels further left.
  SkinButtonInfo refresh;
  refresh.left = 250, refresh.top = 8, refresh.align = "TopRight";
  POINT rest = AnchorButton(refresh, SIZE{51, 16}, RECT{0, 0, 1250, 690});
  POINT hovered = AnchorButton(refresh, SIZE{55, 20}, RECT{0, 0, 1250, 690});
  EXPECT_EQ(rest.x, 949);
  EXPECT_EQ(rest.x - hovered.x, 4);
  EXPECT_EQ(hovered.y, 8);
}

TEST(Placement, LayeredAndFramedImages) {
  SkinImageInfo img;
  img.left = 10, img.top = 5, img.align = "TopRight";
  img.size = RECT{0, 0, 200, 0};  // width 200, no height
  const SIZE own{50, 40};
  const RECT client{0, 0, 1000, 800};
  // Framed: both sizes must be set, so the image's own size throughout.
  EXPECT_EQ(PlaceFramedImage(img, own, client, SIZE{1000, 800}), (RECT{940, 5, 990, 45}));
  // Layered: anchored with the image's own size, drawn 200 wide at its own height.
  EXPECT_EQ(PlaceLayeredImage(img, own, client), (RECT{940, 5, 1140, 45}));
  img.size = RECT{0, 0, 0, 300};
  EXPECT_EQ(PlaceLayeredImage(img, own, client), (RECT{940, 5, 990, 305}));
  img.size = RECT{0, 0, 300, 100};
  EXPECT_EQ(PlaceLayeredImage(img, own, client), (RECT{690, 5, 990, 105}));

  // Framed stretch modes, from the anchored position.
  SkinImageInfo top;
  top.left = 10, top.top = 0;
  const SIZE bar{1250, 32};
  const SIZE clientSize{1920, 1050};
  const RECT c{0, 0, 1920, 1050};
  struct Case {
    int strech;
    RECT dst;
  } cases[] = {{0, {10, 0, 1260, 32}},   {1, {10, 0, 1930, 32}}, {2, {10, 0, 1260, 1050}},
               {3, {10, 0, 1930, 1050}}, {5, {10, 0, 1260, 32}}, {-1, {10, 0, 1260, 32}}};
  for (const Case& k : cases) {
    top.strech = k.strech;
    EXPECT_EQ(PlaceFramedImage(top, bar, c, clientSize), k.dst) << "strech " << k.strech;
  }
}

TEST(Placement, TextsKeepTheirBoxSize) {
  SkinTextInfo t;
  t.rect = RECT{20, 10, 120, 40};
  t.align = "BottomRight";
  EXPECT_EQ(PlaceText(t, RECT{0, 0, 500, 300}), (RECT{380, 260, 480, 290}));
  t.align = "whatever";
  EXPECT_EQ(PlaceText(t, RECT{0, 0, 500, 300}), (RECT{20, 10, 120, 40}));
}

TEST(Placement, BrowserRectangle) {
  SkinRectInfo ie;
  ie.rect = RECT{2, 32, 1248, 688};
  ie.align = "BottomRight";  // no effect on rectangles
  const SIZE design{1250, 690};
  for (int strech : {1, 2, 3, -7}) {
    ie.strech = strech;
    EXPECT_EQ(PlaceBrowserRect(ie, design, SIZE{1920, 1050}), (RECT{2, 32, 1918, 1048})) << strech;
    EXPECT_EQ(PlaceBrowserRect(ie, design, SIZE{1920, 1050}, BrowserHost::Launcher), (RECT{2, 32, 1917, 1047}));
  }
  ie.strech = 0;
  EXPECT_EQ(PlaceBrowserRect(ie, design, SIZE{1920, 1050}), (RECT{2, 32, 1248, 688}));
  EXPECT_EQ(PlaceBrowserRect(ie, design, SIZE{1920, 1050}, BrowserHost::Launcher), (RECT{2, 32, 1248, 688}));
  ie.strech = 3;
  ie.rect = RECT{0, 0, INT_MAX, INT_MAX};
  EXPECT_EQ(PlaceBrowserRect(ie, SIZE{INT_MIN, INT_MIN}, SIZE{INT_MAX, INT_MAX}).right, INT_MAX);
}

}  // namespace
