// The launcher's browser container: the view fills its client area.
#include "browser/IEWnd.h"
#include "tests/unit/browser/BrowserFixture.h"

namespace {

TEST_F(BrowserTest, ContainerHoldsViewAtOneByOneUntilSized) {
  MessageLogWnd owner;
  ASSERT_TRUE(owner.CreateTop());
  CIEWnd container;
  ASSERT_TRUE(container.CreateWnd(owner.m_hWnd, 0, WS_POPUP));
  EXPECT_FALSE(container.IsWindowVisible()) << "created hidden";
  ASSERT_TRUE(IsWindow(container.m_view.m_hWnd));
  EXPECT_EQ(GetParent(container.m_view.m_hWnd), container.m_hWnd);
  EXPECT_EQ(container.m_view.GetDlgCtrlID(), 0x83);
  RECT r;
  container.m_view.GetClientRect(&r);
  EXPECT_EQ(r.Width(), 1);
  EXPECT_EQ(r.Height(), 1);

  container.MoveWindow(10, 20, 640, 480, TRUE);
  ui::PumpUntilIdle();
  container.m_view.GetClientRect(&r);
  EXPECT_EQ(r.Width(), 640);
  EXPECT_EQ(r.Height(), 480);

  // A zero size (minimised) leaves the view as it was.
  container.SendMessage(WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0));
  container.SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 0));
  container.m_view.GetClientRect(&r);
  EXPECT_EQ(r.Width(), 640);
  EXPECT_EQ(r.Height(), 480);
}

TEST_F(BrowserTest, DeletingContainerDestroysViewAndEngine) {
  MessageLogWnd owner;
  ASSERT_TRUE(owner.CreateTop());
  auto container = std::make_unique<CIEWnd>();
  ASSERT_TRUE(container->CreateWnd(owner.m_hWnd, 0, WS_POPUP));
  HWND view = container->m_view.m_hWnd;
  container->m_view.Navigate("about:blank");
  EXPECT_EQ(scripted::ScriptedEngine::All().size(), 1u);
  container.reset();
  EXPECT_FALSE(IsWindow(view));
  EXPECT_TRUE(scripted::ScriptedEngine::All().empty());
  Pump();  // the engine's pending events went with it
}

}  // namespace
