// The layered and the framed skinned windows on the headless display: what
// they show (against the skin tool's composition of the same element), the
// window text and icon, drags, WM_CLOSE, show states, paints, stretch modes,
// the title band and the minimum size.
#include <gtest/gtest.h>

#include "app/AppShared.h"
#include "platform/gfx/Blit.h"
#include "skin/Anchor.h"
#include "tests/unit/windows/WindowsFixture.h"
#include "tools/skin/SkinCompose.h"

using namespace wtest;
namespace hl = ui::headless;

namespace {

// The window shows exactly the surface.
::testing::AssertionResult ShowsSurface(HWND top, const gfx::Surface& s) {
  RECT r;
  GetClientRect(top, &r);
  if (s.empty() || r.right != s.width() || r.bottom != s.height())
    return ::testing::AssertionFailure() << "size " << r.right << "x" << r.bottom << " against " << s.width() << "x"
                                         << s.height();
  int differ = 0, fx = -1, fy = -1;
  for (int y = 0; y < s.height(); ++y)
    for (int x = 0; x < s.width(); ++x)
      if (hl::Pixel(top, x, y) != s.Pixel(x, y)) {
        if (differ++ == 0) fx = x, fy = y;
      }
  if (differ)
    return ::testing::AssertionFailure() << differ << " pixels differ, the first at " << fx << "," << fy << ": "
                                         << std::hex << hl::Pixel(top, fx, fy) << " against " << s.Pixel(fx, fy);
  return ::testing::AssertionSuccess();
}

class SkinWndTest : public WindowsTest {};

TEST_F(SkinWndTest, LauncherShowsTheDesignOnceDecoded) {
  auto skin = DefaultSkin();
  TestLayered w(skin.get(), "MAINWND");
  ASSERT_TRUE(w.Create());
  EXPECT_FALSE(w.IsWindowVisible());
  EXPECT_TRUE(w.GetExStyle() & WS_EX_LAYERED);
  RECT wr;
  w.GetWindowRect(&wr);
  EXPECT_EQ(wr, (RECT{349, 135, 349 + 1222, 135 + 780}));  // centred on 1920 x 1050
  EXPECT_EQ(w.GetWindowText(), w.Info().title);
  EXPECT_FALSE(w.Info().title.empty());
  EXPECT_FALSE(w.IconBytes().empty());
  EXPECT_EQ(hl::IconOf(w.m_hWnd), w.IconBytes());
  EXPECT_EQ(w.Buttons().size(), 6u);

  w.Show(TRUE);
  ui::PumpUntilIdle();
  EXPECT_TRUE(w.IsWindowVisible());
  EXPECT_EQ(GetForegroundWindow(), w.m_hWnd);

  // Exactly what the design draws with every image decoded for the render.
  SkinScene scene = LoadScene(*skin->doc, "MAINWND");
  ComposeOptions fresh;
  fresh.decodeEachRender = true;
  gfx::Surface expected = ComposeScene(*skin->doc, scene, WindowKind::Layered, 1222, 780, fresh);
  EXPECT_TRUE(ShowsSurface(w.m_hWnd, expected));
  // The "ie" rectangle and the outside of the outline are transparent.
  EXPECT_EQ(hl::Pixel(w.m_hWnd, 471 + 340, 262 + 185) >> 24, 0u);
  EXPECT_EQ(hl::Pixel(w.m_hWnd, 2, 2) >> 24, 0u);

  // Later renders decode nothing and show the same.
  const int decodes = skin->decodes;
  for (int i = 0; i < 3; ++i) {
    w.Invalidate();
    ui::PumpUntilIdle();
    w.Show(TRUE);
  }
  EXPECT_EQ(skin->decodes, decodes);
  EXPECT_TRUE(ShowsSurface(w.m_hWnd, expected));

  // Hidden images are left out, as the design draws them.
  w.SetImageVisible("BG", FALSE);
  w.Invalidate();
  ui::PumpUntilIdle();
  scene.images[0].visible = 0;
  EXPECT_TRUE(ShowsSurface(w.m_hWnd, ComposeScene(*skin->doc, scene, WindowKind::Layered, 1222, 780, fresh)));
}

TEST_F(SkinWndTest, GameWindowShowsTheDesignAtItsSizeAndMaximised) {
  TestSkin* skin = UseFramedSkin(DefaultSkin());
  TestFramed w("GAMEWND");
  ASSERT_TRUE(w.Create());
  EXPECT_FALSE(w.GetExStyle() & WS_EX_LAYERED);
  EXPECT_EQ(w.GetWindowText(), GetClientTitle());
  EXPECT_FALSE(hl::IconOf(w.m_hWnd).empty());
  w.Show(TRUE);
  ui::PumpUntilIdle();
  SkinScene scene = LoadScene(*skin->doc, "GAMEWND");
  EXPECT_TRUE(ShowsSurface(w.m_hWnd, ComposeScene(*skin->doc, scene, WindowKind::Framed, 1250, 690)));

  w.ShowWindow(SW_SHOWMAXIMIZED);
  ui::PumpUntilIdle();
  EXPECT_EQ(w.ClientSize().cx, 1920);
  EXPECT_EQ(RectOf(*w.FindButton("close")).left, 1893);
  EXPECT_TRUE(ShowsSurface(w.m_hWnd, ComposeScene(*skin->doc, scene, WindowKind::Framed, 1920, 1050)));
}

TEST_F(SkinWndTest, ImageWithWidthOnly) {
  // 337 is 84 x 26; "TopRight" with left 10 in a 600-wide window.
  const std::string window =
      "<CLIENTSKIN><W width=\"600\" height=\"100\" bgcolor=\"0,0,0\">"
      "<IMG name=\"a\" stand=\"337\" left=\"10\" top=\"5\" width=\"300\" height=\"0\" align=\"TopRight\"/></W></CLIENTSKIN>";
  auto png = Png(337);

  // (An absent height would carry the width over: it is written as 0.)
  // Layered: anchored with the image's own width, drawn 300 wide at its height.
  auto skin = MakeSkin(window);
  TestLayered layered(skin.get(), "W");
  ASSERT_TRUE(layered.Create());
  layered.Show(TRUE);
  ui::PumpUntilIdle();
  gfx::Surface expected = gfx::Surface::Create(600, 100, gfx::PixelFormat::Argb32);
  {
    gfx::Canvas c(expected);
    png->DrawWhole(c.dc(), RECT{600 - 84 - 10, 5, 600 - 84 - 10 + 300, 5 + 26});
  }
  EXPECT_TRUE(ShowsSurface(layered.m_hWnd, expected));

  // Framed: anchored and drawn at the image's own size.
  UseFramedSkin(MakeSkin(window));
  TestFramed framed("W");
  ASSERT_TRUE(framed.Create());
  framed.Show(TRUE);
  ui::PumpUntilIdle();
  gfx::Surface expected2 = gfx::Surface::Create(600, 100, gfx::PixelFormat::Argb32);
  {
    gfx::Canvas c(expected2);
    gfx::FillSolidRect(c.dc(), RECT{0, 0, 600, 100}, 0);
    png->DrawImage(c.dc(), RECT{506, 5, 590, 31});
  }
  EXPECT_TRUE(ShowsSurface(framed.m_hWnd, expected2));
}

TEST_F(SkinWndTest, TextsNeedATitleAndAKnownFont) {
  auto skin = MakeSkin(
      "<CLIENTSKIN><FONT name=\"f\" size=\"16\" family=\"DejaVu Sans\" style=\"1\"/>"
      "<W width=\"400\" height=\"200\">"
      "<TEXT name=\"nofont\" title=\"WWW\" font=\"\" left=\"0\" top=\"0\" width=\"100\" height=\"40\" color=\"255,0,0\"/>"
      "<TEXT name=\"notitle\" title=\"\" font=\"f\" left=\"100\" top=\"0\" width=\"100\" height=\"40\" color=\"255,0,0\"/>"
      "<TEXT name=\"unknown\" title=\"WWW\" font=\"g\" left=\"200\" top=\"0\" width=\"100\" height=\"40\" color=\"255,0,0\"/>"
      "<TEXT name=\"ok\" title=\"WWW\" font=\"F\" left=\"10\" top=\"10\" width=\"100\" height=\"40\" color=\"255,0,0\" "
      "align=\"BottomRight\"/>"
      "</W></CLIENTSKIN>");
  TestLayered w(skin.get(), "W");
  ASSERT_TRUE(w.Create());
  w.Show(TRUE);
  ui::PumpUntilIdle();
  auto drawn = [](std::uint32_t p) { return (p >> 24) != 0; };
  EXPECT_EQ(CountPixels(w.m_hWnd, RECT{0, 0, 400, 150}, drawn), 0);
  // the one with a font, anchored at the bottom-right corner: (290, 150, 390, 190)
  EXPECT_GT(CountPixels(w.m_hWnd, RECT{290, 150, 390, 190}, IsReddish), 10);
  EXPECT_EQ(CountPixels(w.m_hWnd, RECT{0, 0, 400, 200}, drawn), CountPixels(w.m_hWnd, RECT{290, 150, 390, 190}, drawn));
}

TEST_F(SkinWndTest, LauncherDragsFromItsSurfaceNotFromAButton) {
  auto skin = DefaultSkin();
  TestLayered w(skin.get(), "MAINWND");
  ASSERT_TRUE(w.Create());
  w.Show(TRUE);
  ui::PumpUntilIdle();
  HWND top = w.m_hWnd;
  RECT before;
  w.GetWindowRect(&before);

  // on a button: no drag
  RECT close = RectOf(*w.FindButton("close"));
  hl::MouseDown(top, close.left + 10, close.top + 10);
  EXPECT_FALSE(hl::DragActive());
  hl::MouseUp(top, close.left + 10, close.top + 10);
  RECT after;
  w.GetWindowRect(&after);
  EXPECT_EQ(after, before);

  // on the background: the window follows the pointer until the release
  hl::AdvanceClock(1000);
  hl::MouseMove(top, 800, 190);
  hl::MouseDown(top, 800, 190);
  EXPECT_TRUE(hl::DragActive());
  hl::MouseMove(top, 840, 220);
  hl::MouseUp(top, 840, 220);
  EXPECT_FALSE(hl::DragActive());
  w.GetWindowRect(&after);
  EXPECT_EQ(after.left, before.left + 40);
  EXPECT_EQ(after.top, before.top + 30);
}

TEST_F(SkinWndTest, CloseClicksTheCloseButtonOrDoesNothing) {
  const std::string noClose =
      "<CLIENTSKIN><W width=\"200\" height=\"100\"><BTN name=\"min\" stand=\"321\" left=\"5\" top=\"5\"/></W>"
      "</CLIENTSKIN>";
  {
    auto skin = DefaultSkin();
    TestLayered w(skin.get(), "MAINWND");
    ASSERT_TRUE(w.Create());
    w.Show(TRUE);
    w.SendMessage(WM_CLOSE);
    EXPECT_TRUE(w.rec.commands.empty());  // posted
    ui::PumpUntilIdle();
    EXPECT_EQ(w.rec.commands, std::vector<std::string>{"close"});
    EXPECT_EQ(w.rec.closeRequests, 0);
    EXPECT_TRUE(IsWindow(w.m_hWnd));
  }
  {
    auto skin = MakeSkin(noClose);
    TestLayered w(skin.get(), "W");
    ASSERT_TRUE(w.Create());
    w.Show(TRUE);
    w.SendMessage(WM_CLOSE);
    ui::PumpUntilIdle();
    EXPECT_TRUE(w.rec.commands.empty());
    EXPECT_TRUE(IsWindow(w.m_hWnd));
    EXPECT_TRUE(w.IsWindowVisible());
  }
  UseFramedSkin(DefaultSkin());
  {
    TestFramed w("GAMEWND");
    ASSERT_TRUE(w.Create());
    w.SendMessage(WM_CLOSE);
    ui::PumpUntilIdle();
    EXPECT_EQ(w.rec.closeRequests, 1);
    EXPECT_EQ(w.rec.commands, std::vector<std::string>{"close"});
    // a derived window that handles the request itself: no click
    w.handleClose = true;
    w.SendMessage(WM_CLOSE);
    ui::PumpUntilIdle();
    EXPECT_EQ(w.rec.closeRequests, 2);
    EXPECT_EQ(w.rec.commands.size(), 1u);
    EXPECT_TRUE(IsWindow(w.m_hWnd));
  }
  UseFramedSkin(MakeSkin(noClose));
  {
    TestFramed w("W");
    ASSERT_TRUE(w.Create());
    w.Show(TRUE);
    w.SendMessage(WM_CLOSE);
    ui::PumpUntilIdle();
    EXPECT_EQ(w.rec.closeRequests, 1);
    EXPECT_TRUE(w.rec.commands.empty());
    EXPECT_TRUE(w.IsWindowVisible());
  }
}

// Show on a minimised window restores it; on a hidden one it shows it where
// it was. The same for both kinds.
template <class Wnd>
void ExpectShowStates(Wnd& w) {
  ASSERT_TRUE(w.Create());
  w.Show(TRUE);
  ui::PumpUntilIdle();
  w.ShowWindow(SW_MINIMIZE);
  ui::PumpUntilIdle();
  EXPECT_TRUE(w.Minimized());
  EXPECT_TRUE(w.IsIconic());
  w.Show(TRUE);
  ui::PumpUntilIdle();
  EXPECT_FALSE(w.IsIconic());
  EXPECT_FALSE(w.Minimized());
  EXPECT_TRUE(w.IsWindowVisible());

  w.MoveWindow(100, 50, w.ClientSize().cx, w.ClientSize().cy, TRUE);
  w.Show(FALSE);
  ui::PumpUntilIdle();
  EXPECT_FALSE(w.IsWindowVisible());
  w.Show(TRUE);
  ui::PumpUntilIdle();
  EXPECT_TRUE(w.IsWindowVisible());
  RECT r;
  w.GetWindowRect(&r);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 50);
}

TEST_F(SkinWndTest, ShowRestoresAMinimisedWindowAndShowsAHiddenOneWhereItWas) {
  auto skin = DefaultSkin();
  TestLayered layered(skin.get(), "MAINWND");
  ExpectShowStates(layered);
  UseFramedSkin(DefaultSkin());
  TestFramed framed("GAMEWND");
  ExpectShowStates(framed);
}

TEST_F(SkinWndTest, LayeredWindowPaintsOnlyWhileVisibleAndOncePerRequest) {
  auto skin = DefaultSkin();
  TestLayered w(skin.get(), "MAINWND");
  ASSERT_TRUE(w.Create());
  HWND top = w.m_hWnd;
  ui::PumpUntilIdle();
  EXPECT_EQ(hl::PaintCount(top), 0);
  w.SendMessage(WM_PAINT);
  w.Invalidate();
  ui::PumpUntilIdle();
  EXPECT_EQ(hl::PaintCount(top), 0);

  w.Show(TRUE);
  ui::PumpUntilIdle();
  const int shown = hl::PaintCount(top);
  EXPECT_GE(shown, 1);
  ui::PumpUntilIdle();
  EXPECT_EQ(hl::PaintCount(top), shown);  // not painted again and again

  w.Show(FALSE);
  ui::PumpUntilIdle();
  const int hidden = hl::PaintCount(top);
  w.SendMessage(WM_PAINT);
  w.Invalidate();
  ui::PumpUntilIdle();
  EXPECT_EQ(hl::PaintCount(top), hidden);
}

TEST_F(SkinWndTest, TitleBandDragsOnlyWhileDraggable) {
  UseFramedSkin(DefaultSkin());
  TestFramed w("GAMEWND");  // titleHeight 50
  ASSERT_TRUE(w.Create());
  w.Show(TRUE);
  ui::PumpUntilIdle();
  struct Case {
    BOOL draggable;
    int y;
    bool drags;
  };
  const Case cases[] = {{TRUE, 0, true}, {TRUE, 50, true}, {TRUE, 51, false}, {TRUE, 400, false},
                        {FALSE, 10, false}, {FALSE, 50, false}};
  for (const Case& c : cases) {
    w.SetDraggable(c.draggable);
    hl::AdvanceClock(1000);
    hl::MouseMove(w.m_hWnd, 100, c.y);
    hl::MouseDown(w.m_hWnd, 100, c.y);
    EXPECT_EQ(hl::DragActive(), c.drags) << "draggable " << c.draggable << " y " << c.y;
    hl::MouseUp(w.m_hWnd, 100, c.y);
    EXPECT_FALSE(hl::DragActive());
  }
}

TEST_F(SkinWndTest, StretchModes) {
  // strech 5 draws like 0; 1 spans the client width from the anchored x.
  auto frame = [&](int strech) {
    UseFramedSkin(MakeSkin("<CLIENTSKIN><W width=\"300\" height=\"120\" bgcolor=\"0,0,0\">"
                           "<IMG name=\"a\" stand=\"337\" left=\"10\" top=\"10\" width=\"0\" height=\"0\" strech=\"" +
                           std::to_string(strech) + "\"/></W></CLIENTSKIN>"));
    TestFramed w("W");
    EXPECT_TRUE(w.Create());
    w.Show(TRUE);
    ui::PumpUntilIdle();
    return Snapshot(w.m_hWnd);
  };
  auto png = Png(337);
  auto expect = [&](const RECT& dst) {
    gfx::Surface s = gfx::Surface::Create(300, 120, gfx::PixelFormat::Argb32);
    gfx::Canvas c(s);
    gfx::FillSolidRect(c.dc(), RECT{0, 0, 300, 120}, 0);
    png->DrawImage(c.dc(), dst);
    return s;
  };
  auto same = [](const gfx::Surface& a, const gfx::Surface& b) {
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x)
        if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
    return true;
  };
  EXPECT_TRUE(same(frame(0), expect(RECT{10, 10, 94, 36})));
  EXPECT_TRUE(same(frame(5), expect(RECT{10, 10, 94, 36})));
  EXPECT_TRUE(same(frame(1), expect(RECT{10, 10, 310, 36})));
  EXPECT_TRUE(same(frame(3), expect(RECT{10, 10, 310, 130})));
}

TEST_F(SkinWndTest, TitleOnlyWithLogoSet) {
  auto titleRed = [&](int logo) {
    UseFramedSkin(MakeSkin("<CLIENTSKIN><FONT name=\"f\" size=\"16\" family=\"DejaVu Sans\" style=\"1\"/>"
                           "<W width=\"300\" height=\"120\" bgcolor=\"0,0,0\" titleHeight=\"30\" title=\"WWW\" "
                           "font=\"f\" color=\"255,0,0\" logo=\"" +
                           std::to_string(logo) + "\"/></CLIENTSKIN>"));
    TestFramed w("W");
    EXPECT_TRUE(w.Create());
    w.Show(TRUE);
    ui::PumpUntilIdle();
    // no logo image: the title starts at x = 6, centred in the band
    EXPECT_EQ(CountPixels(w.m_hWnd, RECT{0, 0, 6, 120}, IsReddish), 0);
    EXPECT_EQ(CountPixels(w.m_hWnd, RECT{0, 30, 300, 120}, IsReddish), 0);
    return CountPixels(w.m_hWnd, RECT{6, 0, 300, 30}, IsReddish);
  };
  EXPECT_EQ(titleRed(0), 0);
  EXPECT_GT(titleRed(1), 10);
}

TEST_F(SkinWndTest, MinimumSizeIsTheDesignSize) {
  UseFramedSkin(DefaultSkin());
  TestFramed w("GAMEWND");
  ASSERT_TRUE(w.Create());
  w.Show(TRUE);
  ui::PumpUntilIdle();
  MINMAXINFO mmi{};
  w.SendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
  EXPECT_EQ(mmi.ptMinTrackSize.x, 1250);
  EXPECT_EQ(mmi.ptMinTrackSize.y, 690);
  EXPECT_EQ(mmi.ptMaxTrackSize.x, 1920);
  EXPECT_EQ(mmi.ptMaxSize.y, 1050);

  // a resize drag from the bottom-right corner stops at the design size
  w.SendMessage(WM_SYSCOMMAND, SC_SIZE + WMSZ_BOTTOMRIGHT, 0);
  ASSERT_TRUE(hl::DragActive());
  hl::MouseMove(w.m_hWnd, 1249, 689);
  hl::MouseMove(w.m_hWnd, 1299, 729);
  EXPECT_EQ(w.ClientSize().cx, 1300);
  EXPECT_EQ(w.ClientSize().cy, 730);
  EXPECT_EQ(RectOf(*w.FindButton("close")).left, 1300 - 24 - 3);
  hl::MouseMove(w.m_hWnd, 900, 400);
  hl::MouseUp(w.m_hWnd, 900, 400);
  EXPECT_EQ(w.ClientSize().cx, 1250);
  EXPECT_EQ(w.ClientSize().cy, 690);
  EXPECT_EQ(RectOf(*w.FindButton("close")).left, 1223);

  // the layered window leaves the minimum to the platform
  auto skin = DefaultSkin();
  TestLayered l(skin.get(), "MAINWND");
  ASSERT_TRUE(l.Create());
  MINMAXINFO lm{};
  lm.ptMinTrackSize = POINT{7, 9};
  l.SendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&lm));
  EXPECT_EQ(lm.ptMinTrackSize.x, 7);
  EXPECT_EQ(lm.ptMinTrackSize.y, 9);
  EXPECT_EQ(lm.ptMaxSize.x, 1920);
}

}  // namespace
