#include <cairo.h>

#include "UiFixture.h"
#include "platform/ui/Button.h"
#include "platform/ui/MessageBox.h"

TEST_F(UiTest, CreateSendsCreateAndMinusOneFails) {
  RecordingWnd ok;
  ASSERT_TRUE(ok.CreateTop(10, 20, 300, 200));
  ASSERT_EQ(ok.Count(WM_CREATE), 1);
  RECT r;
  ok.GetWindowRect(&r);
  EXPECT_EQ(r, (RECT{10, 20, 310, 220}));
  ok.GetClientRect(&r);
  EXPECT_EQ(r, (RECT{0, 0, 300, 200}));

  RecordingWnd refused;
  refused.handler = [](UINT m, WPARAM, LPARAM, LRESULT* res) {
    if (m != WM_CREATE) return false;
    *res = -1;
    return true;
  };
  EXPECT_FALSE(refused.CreateTop(0, 0, 10, 10));
  EXPECT_EQ(refused.m_hWnd, nullptr);
}

TEST_F(UiTest, StaleAndNullHandlesAreSafeNoOps) {
  HWND stale;
  {
    RecordingWnd w;
    ASSERT_TRUE(w.CreateTop(0, 0, 10, 10));
    stale = w.m_hWnd;
  }
  EXPECT_FALSE(IsWindow(stale));
  EXPECT_EQ(SendMessage(stale, WM_USER, 1, 2), 0);
  EXPECT_FALSE(ShowWindow(stale, SW_SHOW));
  EXPECT_FALSE(MoveWindow(nullptr, 0, 0, 1, 1, TRUE));
  EXPECT_EQ(SetTimer(stale, 1, 10), 0u);
  RECT r{1, 2, 3, 4};
  EXPECT_FALSE(GetClientRect(stale, &r));
  EXPECT_EQ(r, RECT{});
  PostMessage(stale, WM_USER, 0, 0);
  ui::PumpUntilIdle();  // dropped, no crash
}

TEST_F(UiTest, DeletingParentDestroysChildrenAndChildObjectsSurvive) {
  RecordingWnd top, child;
  ASSERT_TRUE(top.CreateTop(0, 0, 100, 100));
  ASSERT_TRUE(child.CreateChild(&top, 5, 5, 10, 10, 7));
  EXPECT_EQ(GetDlgCtrlID(child.m_hWnd), 7);
  EXPECT_EQ(child.GetParent(), top.m_hWnd);
  top.DestroyWindow();
  EXPECT_EQ(child.m_hWnd, nullptr);
  EXPECT_EQ(child.Count(WM_DESTROY), 1);
}

TEST_F(UiTest, ShowStatesSendSizesAsTheDesktopDoes) {
  ui::headless::SetWorkArea(RECT{0, 0, 1600, 870});
  RecordingWnd w;
  ASSERT_TRUE(w.CreateTop(100, 100, 400, 300));
  EXPECT_FALSE(w.IsWindowVisible());
  w.ShowWindow(SW_SHOW);
  EXPECT_TRUE(w.IsWindowVisible());

  w.ShowWindow(SW_MINIMIZE);
  ASSERT_NE(w.Last(WM_SIZE), nullptr);
  EXPECT_EQ(w.Last(WM_SIZE)->wParam, SIZE_MINIMIZED);
  EXPECT_EQ(w.Last(WM_SIZE)->lParam, 0);
  EXPECT_TRUE(w.IsIconic());

  w.ShowWindow(SW_RESTORE);
  EXPECT_EQ(w.Last(WM_SIZE)->lParam, MAKELPARAM(400, 300));
  EXPECT_FALSE(w.IsIconic());

  w.ShowWindow(SW_SHOWMAXIMIZED);
  RECT r;
  w.GetWindowRect(&r);
  EXPECT_EQ(r, (RECT{0, 0, 1600, 870}));
  EXPECT_EQ(w.Last(WM_SIZE)->wParam, SIZE_MAXIMIZED);
  EXPECT_TRUE(w.IsZoomed());

  w.ShowWindow(SW_RESTORE);
  w.GetWindowRect(&r);
  EXPECT_EQ(r, (RECT{100, 100, 500, 400}));

  w.ShowWindow(SW_HIDE);
  EXPECT_FALSE(w.IsWindowVisible());
}

TEST_F(UiTest, CenterWindowUsesTheWorkArea) {
  ui::headless::SetWorkArea(RECT{0, 30, 1000, 830});
  RecordingWnd w;
  ASSERT_TRUE(w.CreateTop(0, 0, 401, 200));
  w.CenterWindow();
  RECT r;
  w.GetWindowRect(&r);
  EXPECT_EQ(r.left, 299);
  EXPECT_EQ(r.top, 330);
}

TEST_F(UiTest, PaintsOnlyVisibleWindowsIntoTheirFrame) {
  RecordingWnd w;
  w.handler = [&](UINT m, WPARAM, LPARAM, LRESULT*) {
    if (m != WM_PAINT) return false;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w.m_hWnd, &ps);
    if (dc) {
      cairo_set_source_rgb(dc, 1, 0, 0);
      cairo_paint(dc);
    }
    EndPaint(w.m_hWnd, &ps);
    return true;
  };
  ASSERT_TRUE(w.CreateTop(0, 0, 20, 10));
  w.Invalidate();
  ui::PumpUntilIdle();
  EXPECT_EQ(w.Count(WM_PAINT), 0);  // hidden: nothing painted
  w.ShowWindow(SW_SHOW);
  ui::PumpUntilIdle();
  EXPECT_EQ(w.Count(WM_PAINT), 1);
  EXPECT_EQ(ui::headless::Pixel(w.m_hWnd, 5, 5), 0xFFFF0000u);
}

TEST_F(UiTest, LayeredWindowShowsItsImage) {
  RecordingWnd w;
  ASSERT_TRUE(w.CreateTop(0, 0, 4, 4, WS_EX_LAYERED));
  cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 6);
  cairo_t* cr = cairo_create(img);
  cairo_set_source_rgba(cr, 0, 0, 1, 0.5);
  cairo_paint(cr);
  cairo_destroy(cr);
  POINT dst{50, 60};
  SIZE size{8, 6};
  POINT src{0, 0};
  ASSERT_TRUE(UpdateLayeredWindow(w.m_hWnd, &dst, &size, img, &src, ULW_ALPHA));
  cairo_surface_destroy(img);
  RECT r;
  w.GetWindowRect(&r);
  EXPECT_EQ(r, (RECT{50, 60, 58, 66}));
  std::uint32_t px = ui::headless::Pixel(w.m_hWnd, 7, 5);
  EXPECT_NEAR(px >> 24, 128, 1);
  EXPECT_NEAR(px & 0xFF, 128, 1);  // premultiplied blue
  EXPECT_FALSE(UpdateLayeredWindow(nullptr, &dst, &size, nullptr, &src, ULW_ALPHA));
}

TEST_F(UiTest, ButtonClicksReachTheParentAndBmClickWorks) {
  RecordingWnd top;
  ASSERT_TRUE(top.CreateTop(0, 0, 200, 100));
  top.ShowWindow(SW_SHOW);
  CButton button;
  ASSERT_TRUE(button.CreateButton(WS_VISIBLE, RECT{10, 10, 60, 30}, &top, 10000));
  ui::headless::Click(top.m_hWnd, 20, 20);
  ASSERT_EQ(top.Count(WM_COMMAND), 1);
  EXPECT_EQ(top.Last(WM_COMMAND)->wParam, MAKEWPARAM(10000, BN_CLICKED));
  EXPECT_EQ(top.Last(WM_COMMAND)->lParam, reinterpret_cast<LPARAM>(button.m_hWnd));

  // Pressed inside, released outside: no click; capture followed the button.
  ui::headless::MouseMove(top.m_hWnd, 20, 20);
  ui::headless::MouseDown(top.m_hWnd, 20, 20);
  EXPECT_EQ(GetCapture(), button.m_hWnd);
  ui::headless::MouseUp(top.m_hWnd, 150, 80);
  EXPECT_EQ(top.Count(WM_COMMAND), 1);
  EXPECT_EQ(GetCapture(), nullptr);

  PostMessage(button.m_hWnd, BM_CLICK, 0, 0);
  ui::PumpUntilIdle();
  EXPECT_EQ(top.Count(WM_COMMAND), 2);
}

TEST_F(UiTest, MessageBoxesAreRecordedAndAnsweredInOrder) {
  ui::headless::QueueMessageBoxAnswer(IDYES);
  EXPECT_EQ(MessageBox(nullptr, "Quit?", "Game", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(MessageBox(nullptr, "Again?", "Game", MB_YESNO), IDNO);  // nothing queued
  EXPECT_EQ(MessageBox(nullptr, "Load Img Fail : 3", "", MB_OK), IDOK);
  const auto& boxes = ui::headless::MessageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].text, "Quit?");
  EXPECT_EQ(boxes[0].caption, "Game");
  EXPECT_EQ(boxes[2].type, MB_OK);
}
