#include "UiFixture.h"
#include "platform/ui/ToolTip.h"

namespace {

// A child that asks for hover and leave notifications on every move, as the
// skin button does.
class TrackingChild : public RecordingWnd {
 public:
  bool tracking = false;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_MOUSEMOVE && !tracking) {
      TRACKMOUSEEVENT tme;
      tme.dwFlags = TME_HOVER | TME_LEAVE;
      tme.hwndTrack = m_hWnd;
      tme.dwHoverTime = 1;
      tracking = TrackMouseEvent(&tme) != 0;
    }
    if (message == WM_MOUSELEAVE) tracking = false;
    return RecordingWnd::WindowProc(message, wParam, lParam);
  }
};

}  // namespace

TEST_F(UiTest, MouseGoesToTheTopMostChildUnderThePointerInClientCoordinates) {
  RecordingWnd top, lower, upper;
  ASSERT_TRUE(top.CreateTop(0, 0, 200, 100));
  top.ShowWindow(SW_SHOW);
  ASSERT_TRUE(lower.CreateChild(&top, 10, 10, 50, 50, 1));
  ASSERT_TRUE(upper.CreateChild(&top, 30, 30, 50, 50, 2));
  ui::headless::MouseDown(top.m_hWnd, 40, 40);
  ASSERT_EQ(upper.Count(WM_LBUTTONDOWN), 1);
  EXPECT_EQ(upper.Last(WM_LBUTTONDOWN)->lParam, MAKELPARAM(10, 10));
  EXPECT_EQ(lower.Count(WM_LBUTTONDOWN), 0);
  ui::headless::MouseUp(top.m_hWnd, 40, 40);

  upper.ShowWindow(SW_HIDE);  // hidden windows take no input
  ui::headless::MouseDown(top.m_hWnd, 40, 40);
  EXPECT_EQ(lower.Count(WM_LBUTTONDOWN), 1);
  ui::headless::MouseUp(top.m_hWnd, 40, 40);

  ui::headless::MouseDown(top.m_hWnd, 150, 90);
  EXPECT_EQ(top.Count(WM_LBUTTONDOWN), 1);
}

TEST_F(UiTest, SecondPressSoonAfterBecomesDoubleClick) {
  ui::headless::SetManualClock(true);
  RecordingWnd top;
  ASSERT_TRUE(top.CreateTop(0, 0, 100, 100));
  top.ShowWindow(SW_SHOW);
  ui::headless::Click(top.m_hWnd, 10, 10);
  ui::headless::Click(top.m_hWnd, 11, 10);
  EXPECT_EQ(top.Count(WM_LBUTTONDOWN), 1);
  EXPECT_EQ(top.Count(WM_LBUTTONDBLCLK), 1);
  ui::headless::AdvanceClock(1000);
  ui::headless::Click(top.m_hWnd, 11, 10);
  EXPECT_EQ(top.Count(WM_LBUTTONDOWN), 2);
}

TEST_F(UiTest, HoverAfterRestAndLeaveWhenThePointerGoes) {
  ui::headless::SetManualClock(true);
  RecordingWnd top;
  TrackingChild child;
  ASSERT_TRUE(top.CreateTop(0, 0, 200, 100));
  top.ShowWindow(SW_SHOW);
  ASSERT_TRUE(child.CreateChild(&top, 10, 10, 50, 20, 1));

  ui::headless::MouseMove(top.m_hWnd, 20, 15);
  EXPECT_TRUE(child.tracking);
  EXPECT_EQ(child.Count(WM_MOUSEHOVER), 0);  // the rest has not happened yet
  ui::headless::AdvanceClock(1);
  ASSERT_EQ(child.Count(WM_MOUSEHOVER), 1);
  EXPECT_EQ(child.Last(WM_MOUSEHOVER)->lParam, MAKELPARAM(10, 5));
  ui::headless::AdvanceClock(100);
  EXPECT_EQ(child.Count(WM_MOUSEHOVER), 1);  // once per arming

  ui::headless::MouseMove(top.m_hWnd, 150, 50);
  EXPECT_EQ(child.Count(WM_MOUSELEAVE), 1);
  EXPECT_FALSE(child.tracking);

  // Armed again on the next move; leaving the top-level window also counts.
  ui::headless::MouseMove(top.m_hWnd, 20, 15);
  ui::headless::MouseLeave(top.m_hWnd);
  EXPECT_EQ(child.Count(WM_MOUSELEAVE), 2);
}

TEST_F(UiTest, CursorComesFromSetCursorHandlersOrTheArrow) {
  RecordingWnd top, hand;
  ASSERT_TRUE(top.CreateTop(0, 0, 200, 100));
  top.ShowWindow(SW_SHOW);
  ASSERT_TRUE(hand.CreateChild(&top, 0, 0, 50, 50, 1));
  hand.handler = [](UINT m, WPARAM, LPARAM, LRESULT* res) {
    if (m != WM_SETCURSOR) return false;
    SetCursor(Cursor::Hand);
    *res = TRUE;
    return true;
  };
  ui::headless::MouseMove(top.m_hWnd, 10, 10);
  EXPECT_EQ(ui::headless::CurrentCursor(), Cursor::Hand);
  ui::headless::MouseMove(top.m_hWnd, 100, 10);
  EXPECT_EQ(ui::headless::CurrentCursor(), Cursor::Arrow);
}

TEST_F(UiTest, DragMovesTheWindowAndResizeStopsAtTheMinimumSize) {
  RecordingWnd w;
  w.handler = [](UINT m, WPARAM, LPARAM lp, LRESULT*) {
    if (m == WM_GETMINMAXINFO) {
      auto* mmi = reinterpret_cast<MINMAXINFO*>(lp);
      mmi->ptMinTrackSize = POINT{300, 200};
    }
    return false;
  };
  ASSERT_TRUE(w.CreateTop(100, 100, 400, 300));
  w.ShowWindow(SW_SHOW);
  w.handler = [&, old = w.handler](UINT m, WPARAM wp, LPARAM lp, LRESULT* res) {
    if (m == WM_LBUTTONDOWN) w.SendMessage(WM_SYSCOMMAND, SC_DRAGMOVE, 0);
    return old(m, wp, lp, res);
  };
  ui::headless::MouseDown(w.m_hWnd, 10, 10);
  EXPECT_TRUE(ui::headless::DragActive());
  ui::headless::MouseMove(w.m_hWnd, 60, 30);
  ui::headless::MouseUp(w.m_hWnd, 60, 30);
  RECT r;
  w.GetWindowRect(&r);
  EXPECT_EQ(r, (RECT{150, 120, 550, 420}));
  EXPECT_FALSE(ui::headless::DragActive());

  w.handler = [&](UINT m, WPARAM, LPARAM lp, LRESULT*) {
    if (m == WM_GETMINMAXINFO) reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize = POINT{300, 200};
    if (m == WM_LBUTTONDOWN) w.SendMessage(WM_SYSCOMMAND, SC_SIZE + WMSZ_BOTTOMRIGHT, 0);
    return false;
  };
  ui::headless::MouseDown(w.m_hWnd, 399, 299);
  ui::headless::MouseMove(w.m_hWnd, 100, 50);
  w.GetWindowRect(&r);
  EXPECT_EQ(r.Width(), 300);
  EXPECT_EQ(r.Height(), 200);
  EXPECT_EQ(w.Last(WM_SIZE)->lParam, MAKELPARAM(300, 200));
  // Back out again: the size follows the pointer, the refused motion is not made up.
  ui::headless::MouseMove(w.m_hWnd, 449, 319);
  ui::headless::MouseUp(w.m_hWnd, 449, 319);
  w.GetWindowRect(&r);
  EXPECT_EQ(r.Width(), 450);
  EXPECT_EQ(r.Height(), 320);
}

TEST_F(UiTest, TooltipShowsAfterTheDelayAndHidesOnLeave) {
  ui::headless::SetManualClock(true);
  RecordingWnd top;
  ASSERT_TRUE(top.CreateTop(0, 0, 200, 100));
  top.ShowWindow(SW_SHOW);
  RecordingWnd child;
  ASSERT_TRUE(child.CreateChild(&top, 10, 10, 50, 20, 1));
  CToolTipCtrl tip;
  ASSERT_TRUE(tip.Create(&top, TTS_ALWAYSTIP));
  RECT all{0, 0, 50, 20};
  ASSERT_TRUE(tip.AddTool(&child, "充值", &all, 1));
  top.handler = nullptr;
  child.handler = [&](UINT m, WPARAM wp, LPARAM lp, LRESULT*) {
    MSG msg{child.m_hWnd, m, wp, lp};
    tip.RelayEvent(&msg);
    return false;
  };
  ui::headless::MouseMove(top.m_hWnd, 20, 15);
  ui::headless::AdvanceClock(100);
  EXPECT_EQ(ui::headless::ShownTip(), "");
  ui::headless::AdvanceClock(CToolTipCtrl::kInitialDelayMs);
  EXPECT_EQ(ui::headless::ShownTip(), "充值");
  ui::headless::MouseMove(top.m_hWnd, 150, 50);  // the child hears no more moves
  child.SendMessage(WM_MOUSELEAVE);
  EXPECT_EQ(ui::headless::ShownTip(), "");
}
