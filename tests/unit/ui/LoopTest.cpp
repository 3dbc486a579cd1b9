#include <csignal>
#include <thread>

#include "UiFixture.h"

TEST_F(UiTest, PostedMessagesArriveInOrderAndDeadTargetsAreDropped) {
  RecordingWnd a, b;
  ASSERT_TRUE(a.CreateTop(0, 0, 10, 10));
  ASSERT_TRUE(b.CreateTop(0, 0, 10, 10));
  PostMessage(a.m_hWnd, WM_USER + 1, 1, 0);
  PostMessage(b.m_hWnd, WM_USER + 1, 2, 0);
  PostMessage(a.m_hWnd, WM_USER + 1, 3, 0);
  b.DestroyWindow();
  ui::PumpUntilIdle();
  std::vector<WPARAM> got;
  for (const auto& e : a.log)
    if (e.message == WM_USER + 1) got.push_back(e.wParam);
  EXPECT_EQ(got, (std::vector<WPARAM>{1, 3}));
  EXPECT_EQ(b.Count(WM_USER + 1), 0);
}

TEST_F(UiTest, PostFromAnotherThreadWakesTheLoop) {
  RecordingWnd w;
  w.handler = [](UINT m, WPARAM, LPARAM, LRESULT*) {
    if (m == WM_USER + 7) PostQuitMessage(42);
    return false;
  };
  ASSERT_TRUE(w.CreateTop(0, 0, 10, 10));
  HWND target = w.m_hWnd;
  std::thread poster([target] {
    for (int i = 0; i < 100; ++i) PostMessage(target, WM_USER + 6, static_cast<WPARAM>(i), 0);
    PostMessage(target, WM_USER + 7, 0, 0);
  });
  int code = ui::RunMessageLoop();
  poster.join();
  EXPECT_EQ(code, 42);
  EXPECT_EQ(w.Count(WM_USER + 6), 100);
}

TEST_F(UiTest, TimersRepeatUntilKilledAndDieWithTheWindow) {
  ui::headless::SetManualClock(true);
  RecordingWnd w;
  ASSERT_TRUE(w.CreateTop(0, 0, 10, 10));
  w.SetTimer(1, 500);
  w.SetTimer(1, 500);  // the same timer again: still one
  ui::headless::AdvanceClock(499);
  EXPECT_EQ(w.Count(WM_TIMER), 0);
  ui::headless::AdvanceClock(1);
  EXPECT_EQ(w.Count(WM_TIMER), 1);
  ui::headless::AdvanceClock(1000);
  EXPECT_EQ(w.Count(WM_TIMER), 3);
  EXPECT_EQ(w.Last(WM_TIMER)->wParam, 1u);
  EXPECT_TRUE(w.KillTimer(1));
  EXPECT_FALSE(w.KillTimer(1));
  ui::headless::AdvanceClock(2000);
  EXPECT_EQ(w.Count(WM_TIMER), 3);
  w.SetTimer(2, 10);
  w.DestroyWindow();
  ui::headless::AdvanceClock(100);  // nothing to deliver, no crash
}

TEST_F(UiTest, TerminateSignalPostsTheConfiguredMessage) {
  RecordingWnd w;
  w.handler = [](UINT m, WPARAM wp, LPARAM, LRESULT*) {
    if (m == WM_COMMAND && wp == ID_APP_EXIT) PostQuitMessage(0);
    return false;
  };
  ASSERT_TRUE(w.CreateTop(0, 0, 10, 10));
  ui::SetTerminateMessage(w.m_hWnd, WM_COMMAND, ID_APP_EXIT, 0);
  std::raise(SIGTERM);
  EXPECT_EQ(ui::RunMessageLoop(), 0);
  EXPECT_EQ(w.Count(WM_COMMAND), 1);
  ui::SetTerminateMessage(nullptr, 0, 0, 0);
}

TEST_F(UiTest, PumpUntilGivesUpAfterItsTimeout) {
  EXPECT_FALSE(ui::PumpUntil([] { return false; }, 30));
  int n = 0;
  EXPECT_TRUE(ui::PumpUntil([&] { return ++n > 3; }, 1000));
}
