// Bad input for the skinned windows: skins without buttons, images or the
// element, buttons whose images are missing, a window resized to nothing
// and back, messages to destroyed windows. Documented behaviour, never a crash.
#include <gtest/gtest.h>

#include "tests/unit/windows/WindowsFixture.h"
#include "tools/skin/SkinCompose.h"

using namespace wtest;
namespace hl = ui::headless;

namespace {

class BadInputTest : public WindowsTest {};

TEST_F(BadInputTest, MissingElementOrSkinGivesAnEmptyWindow) {
  auto skin = MakeSkin("<CLIENTSKIN><W width=\"100\" height=\"50\"/></CLIENTSKIN>");
  TestLayered layered(skin.get(), "NOPE");
  ASSERT_TRUE(layered.Create());
  UseFramedSkin(MakeSkin("<CLIENTSKIN/>"));
  TestFramed framed("NOPE");
  ASSERT_TRUE(framed.Create());
  g_pSkin = nullptr;
  TestFramed noSkin("GAMEWND");
  ASSERT_TRUE(noSkin.Create());
  for (CWnd* w : std::initializer_list<CWnd*>{&layered, &framed, &noSkin}) {
    RECT r;
    w->GetClientRect(&r);
    EXPECT_EQ(r.Width(), 0);
    EXPECT_EQ(r.Height(), 0);
    w->SendMessage(WM_CLOSE);
    w->SendMessage(WM_PAINT);
  }
  layered.Show(TRUE);
  framed.Show(TRUE);
  noSkin.Show(TRUE);
  ui::PumpUntilIdle();
  EXPECT_TRUE(layered.Buttons().empty());
  EXPECT_TRUE(framed.Buttons().empty());
  EXPECT_TRUE(noSkin.Buttons().empty());
  EXPECT_EQ(layered.FindButton("close"), nullptr);
  SkinRectInfo rect;
  EXPECT_FALSE(layered.FindRect("ie", rect));
  EXPECT_FALSE(noSkin.FindRect("ie", rect));
  EXPECT_TRUE(layered.rec.commands.empty());
}

TEST_F(BadInputTest, ElementWithoutButtonsOrImages) {
  const std::string xml = "<CLIENTSKIN><W width=\"120\" height=\"60\" bgcolor=\"0,0,255\"/></CLIENTSKIN>";
  auto skin = MakeSkin(xml);
  TestLayered layered(skin.get(), "W");
  ASSERT_TRUE(layered.Create());
  layered.Show(TRUE);
  UseFramedSkin(MakeSkin(xml));
  TestFramed framed("W");
  ASSERT_TRUE(framed.Create());
  framed.Show(TRUE);
  ui::PumpUntilIdle();
  // the layered window ignores the background colour; the framed one fills it
  EXPECT_EQ(CountPixels(layered.m_hWnd, RECT{0, 0, 120, 60}, [](std::uint32_t p) { return p == 0; }), 120 * 60);
  EXPECT_EQ(CountPixels(framed.m_hWnd, RECT{0, 0, 120, 60}, [](std::uint32_t p) { return p == 0xFF0000FFu; }),
            120 * 60);
  hl::Click(layered.m_hWnd, 10, 10);
  hl::Click(framed.m_hWnd, 10, 10);
  EXPECT_TRUE(layered.rec.commands.empty());
}

TEST_F(BadInputTest, ButtonsWithMissingImages) {
  // 9990..9992 do not exist: 50 x 20. 349 does not exist but 350 (51 x 16)
  // does: the hover image's size. A window image that does not load is
  // reported and left out; the rest is drawn.
  UseFramedSkin(MakeSkin(
      "<CLIENTSKIN><W width=\"300\" height=\"100\" bgcolor=\"0,0,0\">"
      "<IMG name=\"gone\" stand=\"9990\" left=\"0\" top=\"0\" width=\"0\" height=\"0\"/>"
      "<IMG name=\"there\" stand=\"337\" left=\"200\" top=\"60\" width=\"0\" height=\"0\"/>"
      "<BTN name=\"none\" stand=\"9990\" left=\"10\" top=\"10\"/>"
      "<BTN name=\"hoveronly\" stand=\"349\" left=\"100\" top=\"10\"/></W></CLIENTSKIN>"));
  TestFramed w("W");
  ASSERT_TRUE(w.Create());
  w.Show(TRUE);
  ui::PumpUntilIdle();
  ASSERT_EQ(m_framedSkin->failures, std::vector<std::string>{"Load Img Fail : 9990"});
  HWND top = w.m_hWnd;
  CSkinButton* none = w.FindButton("none");
  CSkinButton* hoverOnly = w.FindButton("hoveronly");
  EXPECT_EQ(RectOf(*none), (RECT{10, 10, 60, 30}));
  EXPECT_EQ(RectOf(*hoverOnly), (RECT{100, 10, 151, 26}));
  // nothing drawn for them; the image that loaded is there
  EXPECT_EQ(CountPixels(top, RECT{0, 0, 300, 55}, [](std::uint32_t p) { return p != 0xFF000000u; }), 0);
  EXPECT_GT(CountPixels(top, RECT{200, 60, 284, 86}, [](std::uint32_t p) { return p != 0xFF000000u; }), 100);

  hl::MouseMove(top, 20, 20);
  hl::AdvanceClock(1);
  hl::MouseDown(top, 20, 20);
  hl::MouseUp(top, 20, 20);
  EXPECT_EQ(w.rec.commands, std::vector<std::string>{"none"});

  // hover shows 350; after the mouse leaves the button keeps its size, so it
  // can be reached and clicked again
  hl::AdvanceClock(1000);
  hl::MouseMove(top, 110, 15);
  hl::AdvanceClock(1);
  EXPECT_EQ(hoverOnly->CurrentImageIndex(), 1);
  EXPECT_GT(CountPixels(top, RECT{100, 10, 151, 26}, [](std::uint32_t p) { return p != 0xFF000000u; }), 50);
  hl::MouseMove(top, 250, 40);
  EXPECT_EQ(RectOf(*hoverOnly), (RECT{100, 10, 151, 26}));
  hl::Click(top, 110, 15);
  EXPECT_EQ(w.rec.commands, (std::vector<std::string>{"none", "hoveronly"}));
}

TEST_F(BadInputTest, ResizedToNothingAndBack) {
  TestSkin* skin = UseFramedSkin(DefaultSkin());
  TestFramed w("GAMEWND");
  ASSERT_TRUE(w.Create());
  w.Show(TRUE);
  ui::PumpUntilIdle();
  RECT wr;
  w.GetWindowRect(&wr);
  w.MoveWindow(wr.left, wr.top, 0, 0, TRUE);
  ui::PumpUntilIdle();
  EXPECT_TRUE(w.Minimized());
  EXPECT_EQ(RectOf(*w.FindButton("close")).left, 1223);  // buttons stay
  EXPECT_EQ(w.ClientSize().cx, 1250);
  w.MoveWindow(wr.left, wr.top, 1250, 690, TRUE);
  ui::PumpUntilIdle();
  EXPECT_FALSE(w.Minimized());
  SkinScene scene = LoadScene(*skin->doc, "GAMEWND");
  gfx::Surface expected = ComposeScene(*skin->doc, scene, WindowKind::Framed, 1250, 690);
  int differ = 0;
  for (int y = 0; y < 690; ++y)
    for (int x = 0; x < 1250; ++x) differ += hl::Pixel(w.m_hWnd, x, y) != expected.Pixel(x, y);
  EXPECT_EQ(differ, 0);

  auto lskin = DefaultSkin();
  TestLayered l(lskin.get(), "MAINWND");
  ASSERT_TRUE(l.Create());
  l.Show(TRUE);
  ui::PumpUntilIdle();
  l.GetWindowRect(&wr);
  l.MoveWindow(wr.left, wr.top, 0, 0, TRUE);
  ui::PumpUntilIdle();
  l.Show(TRUE);
  EXPECT_TRUE(l.Minimized());
  l.MoveWindow(wr.left, wr.top, 1222, 780, TRUE);
  ui::PumpUntilIdle();
  EXPECT_FALSE(l.Minimized());
  EXPECT_EQ(hl::Pixel(l.m_hWnd, 800, 190) >> 24, 0xFFu);
}

TEST_F(BadInputTest, MessagesToDestroyedWindows) {
  auto skin = DefaultSkin();
  UseFramedSkin(DefaultSkin());
  {
    auto l = std::make_unique<TestLayered>(skin.get(), "MAINWND");
    auto f = std::make_unique<TestFramed>("GAMEWND");
    ASSERT_TRUE(l->Create());
    ASSERT_TRUE(f->Create());
    l->Show(TRUE);
    f->Show(TRUE);
    ui::PumpUntilIdle();
    HWND lh = l->m_hWnd, fh = f->m_hWnd;
    HWND lb = l->FindButton("close")->m_hWnd, fb = f->FindButton("close")->m_hWnd;
    f->FindButton("pay")->SetFlash(true);
    l->PostMessage(WM_CLOSE);
    f->PostMessage(WM_CLOSE);
    l.reset();
    f.reset();
    EXPECT_FALSE(IsWindow(lh));
    EXPECT_FALSE(IsWindow(lb));
    for (HWND h : {lh, fh, lb, fb}) {
      EXPECT_EQ(SendMessage(h, WM_CLOSE, 0, 0), 0);
      SendMessage(h, WM_COMMAND, MAKEWPARAM(10000, BN_CLICKED), 0);
      SendMessage(h, WM_PAINT, 0, 0);
      PostMessage(h, BM_CLICK, 0, 0);
      hl::Click(h, 10, 10);
    }
    hl::AdvanceClock(2000);
  }
  // A window destroyed behind its object's back: the object's calls are safe.
  TestLayered l(skin.get(), "MAINWND");
  TestFramed f("GAMEWND");
  ASSERT_TRUE(l.Create());
  ASSERT_TRUE(f.Create());
  CSkinButton* pay = f.FindButton("pay");
  pay->SetFlash(true);
  l.DestroyWindow();
  f.DestroyWindow();
  l.Show(TRUE);
  l.RenderLayered();
  f.Show(TRUE);
  l.SendMessage(WM_CLOSE);
  pay->SetFlash(false);
  pay->SetText("x");
  RECT client{0, 0, 100, 100};
  pay->Relayout(client);
  hl::AdvanceClock(2000);
  EXPECT_TRUE(l.rec.commands.empty());
  EXPECT_TRUE(f.rec.commands.empty());
}

}  // namespace
