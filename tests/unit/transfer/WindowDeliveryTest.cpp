#include "TransferFixture.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/Window.h"

namespace {

constexpr UINT kLoaded = 0x466;  // the version document's completion message

class Receiver : public CWnd {
 public:
  std::vector<LPARAM> ids;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == kLoaded) {
      EXPECT_EQ(wParam, 0u);
      ids.push_back(lParam);
      return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

TEST_F(TransferTest, TheCompletionMessageReachesARealWindowThroughTheMessageLoop) {
  ASSERT_TRUE(ui::InitializeWith(ui::BackendKind::Headless));
  {
    Receiver frame;
    ASSERT_TRUE(frame.CreateEx(0, "Frame", "frame", WS_POPUP, 0, 0, 10, 10, GetDesktopWindow()));
    CDownloadThread worker;  // posts with PostMessage: no notifier
    worker.SetCacheProduct("Torvane Test");
    worker.Start(FALSE);
    for (const char* path : {"/update/version.xml?1", "/test/status?code=404"}) {
      CDownloadThread::THREAD_PARAM_DOWN req = Request(Url(path), kLoaded);
      req.hNotifyWnd = frame.m_hWnd;
      worker.AddRequest(req);
    }
    worker.m_hWorkEvent.Set();
    testing::internal::CaptureStderr();
    bool both = ui::PumpUntil([&] { return frame.ids.size() == 2; }, 10000);
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(both);
    EXPECT_EQ(frame.ids, (std::vector<LPARAM>{0, 1}));
    CDownloadThread::THREAD_PARAM_DOWN got;
    worker.GetResult(0, got);
    EXPECT_NE(ReadFile(got.strUrl).find("<CLIENT"), std::string::npos);
    worker.Stop();
    EXPECT_TRUE(worker.GetThreadHandle()->Wait(3000));
  }
  ui::Shutdown();
}

}  // namespace
