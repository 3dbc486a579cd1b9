// CSkinButton in a framed window on the headless display: the mouse states
// and their images, the click, the hover size change and re-anchoring, the
// toggle, blinking, a button without images, the style table on pixels.
#include <gtest/gtest.h>

#include "tests/unit/windows/WindowsFixture.h"

using namespace wtest;
namespace hl = ui::headless;

namespace {

class ButtonTest : public WindowsTest {
 protected:
  // The default game window, shown and painted.
  TestFramed& Game() {
    UseFramedSkin(DefaultSkin());
    m_wnd = std::make_unique<TestFramed>("GAMEWND");
    EXPECT_TRUE(m_wnd->Create());
    m_wnd->Show(TRUE);
    ui::PumpUntilIdle();
    return *m_wnd;
  }
  // A framed window W of a skin made of these elements, shown and painted.
  TestFramed& Custom(const std::string& window, const std::string& fonts = "") {
    UseFramedSkin(MakeSkin("<CLIENTSKIN>" + fonts + window + "</CLIENTSKIN>"));
    m_wnd = std::make_unique<TestFramed>("W");
    EXPECT_TRUE(m_wnd->Create());
    m_wnd->Show(TRUE);
    ui::PumpUntilIdle();
    return *m_wnd;
  }
  void Hover(HWND top, int x, int y) {
    hl::MouseMove(top, x, y);
    hl::AdvanceClock(1);  // the mouse rests 1 ms
  }
  std::unique_ptr<TestFramed> m_wnd;
};

TEST_F(ButtonTest, StatesImagesAndTheClick) {
  TestFramed& w = Game();
  HWND top = w.m_hWnd;
  CSkinButton* close = w.FindButton("close");
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(RectOf(*close), (RECT{1223, 1, 1247, 21}));
  const gfx::Surface under = Under(top, *close);

  // rest
  EXPECT_TRUE(ShowsImageAt(top, under, 318, 1223, 1));
  // the mouse arrives but has not rested yet
  hl::MouseMove(top, 1230, 10);
  EXPECT_FALSE(close->IsHover());
  EXPECT_TRUE(ShowsImageAt(top, under, 318, 1223, 1));
  // hover after the mouse rests
  hl::AdvanceClock(1);
  EXPECT_TRUE(close->IsHover());
  EXPECT_TRUE(ShowsImageAt(top, under, 319, 1223, 1));
  EXPECT_FALSE(ShowsImageAt(top, under, 318, 1223, 1));
  // pressed
  hl::MouseDown(top, 1230, 10);
  EXPECT_TRUE(ShowsImageAt(top, under, 320, 1223, 1));
  EXPECT_FALSE(ShowsImageAt(top, under, 319, 1223, 1));
  EXPECT_TRUE(w.rec.commands.empty());
  // release inside: the click, with the button's id, and hover again
  hl::MouseUp(top, 1230, 10);
  EXPECT_TRUE(ShowsImageAt(top, under, 319, 1223, 1));
  ASSERT_EQ(w.rec.commands, std::vector<std::string>{"close"});
  ASSERT_EQ(w.rec.clickCommands.size(), 1u);
  EXPECT_EQ(w.rec.clickCommands[0], MAKEWPARAM(close->GetDlgCtrlID(), BN_CLICKED));

  // press, leave while held, release outside: no click, normal image
  hl::AdvanceClock(1000);  // not a double click
  hl::MouseDown(top, 1230, 10);
  EXPECT_TRUE(ShowsImageAt(top, under, 320, 1223, 1));
  hl::MouseMove(top, 1100, 300);
  hl::MouseUp(top, 1100, 300);
  EXPECT_EQ(w.rec.commands.size(), 1u);
  EXPECT_FALSE(close->IsHover());
  EXPECT_FALSE(close->IsPressed());
  EXPECT_TRUE(ShowsImageAt(top, under, 318, 1223, 1));

  // down before the hover notification: pressed, but the normal image; the
  // release inside still clicks
  hl::AdvanceClock(1000);
  hl::MouseMove(top, 1230, 10);
  hl::MouseDown(top, 1230, 10);
  EXPECT_TRUE(close->IsPressed());
  EXPECT_TRUE(ShowsImageAt(top, under, 318, 1223, 1));
  hl::MouseUp(top, 1230, 10);
  EXPECT_EQ(w.rec.commands.size(), 2u);
}

TEST_F(ButtonTest, CursorAndTip) {
  TestFramed& w = Game();
  HWND top = w.m_hWnd;
  CSkinButton* close = w.FindButton("close");
  CSkinButton* pay = w.FindButton("pay");
  pay->handCursor = true;
  Hover(top, 1230, 10);
  EXPECT_EQ(hl::CurrentCursor(), Cursor::Arrow);
  hl::AdvanceClock(CToolTipCtrl::kInitialDelayMs);
  EXPECT_FALSE(close->info.tip.empty());
  EXPECT_EQ(hl::ShownTip(), close->info.tip);
  RECT r = RectOf(*pay);
  hl::MouseMove(top, r.left + 5, r.top + 5);
  EXPECT_EQ(hl::CurrentCursor(), Cursor::Hand);
  EXPECT_EQ(hl::ShownTip(), "");
}

TEST_F(ButtonTest, HoverImageOfAnotherSizeKeepsTheCornerAndAnchorsWithItsSize) {
  TestFramed& w = Game();
  HWND top = w.m_hWnd;
  CSkinButton* refresh = w.FindButton("refresh");
  ASSERT_NE(refresh, nullptr);
  // 51 x 16, "TopRight", left 250: x = 1250 - 51 - 250
  EXPECT_EQ(RectOf(*refresh), (RECT{949, 8, 1000, 24}));
  const gfx::Surface under = Under(top, *refresh);
  Hover(top, 955, 12);
  EXPECT_EQ(RectOf(*refresh), (RECT{949, 8, 1004, 28}));
  EXPECT_TRUE(ShowsImageAt(top, under, 351, 949, 8));
  // re-laid out while hovered: anchored with 55 x 20, four pixels further left
  RECT client;
  w.GetClientRect(&client);
  refresh->Relayout(client);
  ui::PumpUntilIdle();
  EXPECT_EQ(RectOf(*refresh), (RECT{945, 8, 1000, 28}));
  // on leave it shrinks back, keeping its corner; the next layout restores it
  hl::MouseMove(top, 600, 400);
  EXPECT_EQ(RectOf(*refresh), (RECT{945, 8, 996, 24}));
  refresh->Relayout(client);
  ui::PumpUntilIdle();
  EXPECT_EQ(RectOf(*refresh), (RECT{949, 8, 1000, 24}));
  EXPECT_TRUE(ShowsImageAt(top, under, 350, 949, 8));
}

TEST_F(ButtonTest, ToggleClickedTwice) {
  // No state image (a missing set): only the title is drawn, in blue at
  // rest and red (hotcolor) while hovered or checked.
  TestFramed& w = Custom(
      "<W width=\"300\" height=\"100\" bgcolor=\"0,0,0\">"
      "<BTN name=\"tog\" check=\"1\" stand=\"9990\" left=\"10\" top=\"10\" title=\"WW\" font=\"big\" style=\"1\" "
      "color=\"0,0,255\" hotcolor=\"255,0,0\"/></W>",
      "<FONT name=\"big\" size=\"16\" family=\"DejaVu Sans\" style=\"1\"/>");
  HWND top = w.m_hWnd;
  CSkinButton* tog = w.FindButton("tog");
  ASSERT_NE(tog, nullptr);
  const RECT r = RectOf(*tog);
  EXPECT_EQ(r, (RECT{10, 10, 60, 30}));  // 50 x 20 without images
  auto red = [&] { return CountPixels(top, r, IsReddish); };
  auto blue = [&] { return CountPixels(top, r, IsBluish); };
  EXPECT_GT(blue(), 5);
  EXPECT_EQ(red(), 0);

  Hover(top, 20, 20);
  EXPECT_GT(red(), 5);
  EXPECT_EQ(blue(), 0);
  hl::MouseDown(top, 20, 20);
  hl::MouseUp(top, 20, 20);
  EXPECT_TRUE(tog->IsChecked());
  EXPECT_EQ(tog->CurrentImageIndex(), 0);
  hl::MouseMove(top, 200, 80);  // leave: still checked, still hot
  EXPECT_GT(red(), 5);

  Hover(top, 20, 20);
  hl::MouseDown(top, 20, 20);
  EXPECT_EQ(tog->CurrentImageIndex(), 0);  // a toggle never shows another image
  hl::MouseUp(top, 20, 20);
  EXPECT_FALSE(tog->IsChecked());
  hl::MouseMove(top, 200, 80);
  EXPECT_GT(blue(), 5);
  EXPECT_EQ(red(), 0);
  EXPECT_EQ(w.rec.commands, (std::vector<std::string>{"tog", "tog"}));
}

TEST_F(ButtonTest, FlashStartsOnceBlinksAndAClickStopsIt) {
  TestFramed& w = Game();
  HWND top = w.m_hWnd;
  CSkinButton* pay = w.FindButton("pay");
  ASSERT_NE(pay, nullptr);
  const RECT r = RectOf(*pay);  // (516, 2) 84 x 26
  EXPECT_EQ(r, (RECT{516, 2, 600, 28}));
  const gfx::Surface under = Under(top, *pay);

  pay->SetFlash(true);
  hl::AdvanceClock(300);
  pay->SetFlash(true);  // already flashing: the timer keeps its phase
  EXPECT_EQ(pay->CurrentBaseId(), 343);
  hl::AdvanceClock(200);
  EXPECT_EQ(pay->CurrentBaseId(), 0);  // blinked at 500 ms: not drawn
  EXPECT_LT(MatchImageAt(top, under, 343, 516, 2).equal, 84 * 26 / 2);
  EXPECT_EQ(RectOf(*pay), r);  // and keeps its size
  hl::AdvanceClock(500);
  EXPECT_EQ(pay->CurrentBaseId(), 343);
  EXPECT_TRUE(ShowsImageAt(top, under, 343, 516, 2));
  hl::AdvanceClock(500);
  EXPECT_EQ(pay->CurrentBaseId(), 0);

  // a click while flashing (even while not drawn) restores the set at once
  hl::Click(top, 530, 10);
  EXPECT_FALSE(pay->IsFlashing());
  EXPECT_EQ(pay->CurrentBaseId(), 343);
  EXPECT_EQ(w.rec.commands, std::vector<std::string>{"pay"});
  hl::AdvanceClock(2000);
  EXPECT_EQ(pay->CurrentBaseId(), 343);
  hl::MouseMove(top, 100, 300);
  EXPECT_TRUE(ShowsImageAt(top, under, 343, 516, 2));

  // and a new one starts it again
  pay->SetFlash(true);
  hl::AdvanceClock(500);
  EXPECT_EQ(pay->CurrentBaseId(), 0);
}

TEST_F(ButtonTest, StandZeroHasNoSizeDrawsNothingAndCannotBeClicked) {
  TestFramed& w = Custom(
      "<W width=\"300\" height=\"100\" bgcolor=\"0,0,0\">"
      "<BTN name=\"none\" stand=\"0\" left=\"10\" top=\"10\" title=\"WW\" font=\"f\" color=\"255,0,0\"/></W>",
      "<FONT name=\"f\" size=\"16\" family=\"DejaVu Sans\" style=\"1\"/>");
  HWND top = w.m_hWnd;
  CSkinButton* none = w.FindButton("none");
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(RectOf(*none), (RECT{10, 10, 10, 10}));
  EXPECT_EQ(none->CurrentImage(), nullptr);
  EXPECT_EQ(CountPixels(top, RECT{0, 0, 300, 100}, [](std::uint32_t p) { return p != 0xFF000000u; }), 0);
  hl::Click(top, 10, 10);
  w.SendMessage(WM_CLOSE);
  none->SendMessage(BM_CLICK);
  ui::PumpUntilIdle();
  EXPECT_TRUE(w.rec.commands.empty());
}

// The style table: where the icon goes, where the title may be, and the
// badge at 62 pixels from the button's corner whatever its size.
struct StyleCase {
  int style;
  const char* title;
  int iconDx, iconDy;  // the icon's offset from the button's corner; -1: no icon; -2: not checked
  RECT titleArea;      // relative to the button: where red title pixels may be; empty: no title
};

class StyleTest : public ButtonTest, public ::testing::WithParamInterface<StyleCase> {};

TEST_P(StyleTest, IconTitleAndBadge) {
  const StyleCase& c = GetParam();
  // State image 337 (84 x 26), icon 318 (24 x 20), badge 321 (24 x 20).
  std::string btn = "<BTN name=\"b\" stand=\"337\" left=\"20\" top=\"20\" icon=\"318\" icon1=\"321\" font=\"f\" "
                    "color=\"255,0,0\" style=\"" +
                    std::to_string(c.style) + "\" title=\"" + c.title + "\"/>";
  TestFramed& w = Custom("<W width=\"200\" height=\"120\" bgcolor=\"0,0,0\">" + btn + "</W>",
                         "<FONT name=\"f\" size=\"14\" family=\"DejaVu Sans\" style=\"1\"/>");
  HWND top = w.m_hWnd;
  const int bx = 20, by = 20;
  EXPECT_EQ(RectOf(*w.FindButton("b")), (RECT{bx, by, bx + 84, by + 26}));
  const gfx::Surface under = Under(top, *w.FindButton("b"));
  // The state image has no red of its own.
  ASSERT_EQ(CountPixels(top, RECT{0, 0, 200, 120}, IsReddish) > 0, c.titleArea.right > c.titleArea.left);

  const POINT places[] = {{5, 3}, {30, 3}, {30, 5}, {60, 3}, {42, 3}};
  for (POINT p : places) {
    if (c.iconDx == -2) break;
    bool expected = p.x == c.iconDx && p.y == c.iconDy;
    Match m = MatchImagesAt(top, under, {{337, bx, by}, {318, bx + p.x, by + p.y}});
    EXPECT_EQ(m.equal == m.pixels, expected) << "icon at +" << p.x << ",+" << p.y;
  }
  if (c.iconDx < 0 && c.titleArea.right <= c.titleArea.left) {
    EXPECT_TRUE(ShowsImageAt(top, under, 337, bx, by));
  }
  if (c.titleArea.right > c.titleArea.left) {
    RECT area{bx + c.titleArea.left, by + c.titleArea.top, bx + c.titleArea.right, by + c.titleArea.bottom};
    int inside = CountPixels(top, area, IsReddish);
    int all = CountPixels(top, RECT{0, 0, 200, 120}, IsReddish);
    EXPECT_GT(inside, 0);
    EXPECT_EQ(inside, all) << "title pixels outside its box";
  }
  EXPECT_TRUE(ShowsImageAt(top, under, 321, bx + 62 - 24, by + 62 - 20));
}

INSTANTIATE_TEST_SUITE_P(
    Styles, StyleTest,
    ::testing::Values(
        // style 0: icon 5 px from the left with a title, the title right of the icon
        StyleCase{0, "W", 5, 3, RECT{30, 2, 84, 26}},
        // style 0 without a title: the icon centred
        StyleCase{0, "", 30, 3, RECT{}},
        // style 1: icon centred at the top; the title's box below it (it
        // overlaps the icon's last rows)
        StyleCase{1, "", 30, 5, RECT{}},
        StyleCase{1, "W", -2, -2, RECT{0, 22, 84, 28}},
        // style 2: icon at the right edge, the title left of it
        StyleCase{2, "W", 60, 3, RECT{0, 3, 55, 26}},
        // style 3 without a title: the icon starts at the middle
        StyleCase{3, "", 42, 3, RECT{}},
        // style 4: no icon, a centred title at the bottom
        StyleCase{4, "W", -1, -1, RECT{0, 0, 84, 26}},
        // any other style: neither icon nor title
        StyleCase{7, "W", -1, -1, RECT{}}));

}  // namespace
