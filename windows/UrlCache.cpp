#include "windows/UrlCache.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <utility>

#include "platform/net/DownloadCache.h"
#include "platform/ui/Window.h"
#include "platform/web/BrowserEngine.h"

namespace {

// Messages of the clearing's own hidden window; no other window gets them.
constexpr UINT WM_CACHE_FILES_CLEARED = WM_USER + 1;  // posted by the worker
constexpr UINT WM_SITE_DATA_CLEARED = WM_USER + 2;    // posted when the engine is done

// Entries removed per hold of the download cache's index lock, so another
// process's download, or a stop at shutdown, waits at most one slice.
constexpr std::size_t kEntriesPerSlice = 256;

// Removes every download cache entry whose source address contains pattern,
// slice by slice, until none is left or stop is set.
void ClearDownloadCache(const std::string& pattern, const std::atomic<bool>& stop) {
  net::DownloadCache cache;
  auto matches = [&pattern](const std::string& url) { return url.find(pattern) != std::string::npos; };
  while (!stop.load() && cache.RemoveIf(matches, kEntriesPerSlice) == kEntriesPerSlice) {
  }
}

// One clearing: a hidden top-level window that receives the two halves'
// completions as posted messages, and the worker thread that walks the
// download cache. The window owns its object: the object deletes itself once
// its window is gone (after the completion, or when ui::Shutdown destroys
// every window first). Destroying the window stops and joins the worker, so
// no thread outlives the message loop; completions that arrive after that are
// posted to a dead handle and dropped.
class CUrlCacheClearing final : public CWnd {
 public:
  CUrlCacheClearing(std::string pattern, std::function<void()> done)
      : m_pattern(std::move(pattern)), m_done(std::move(done)) {}
  ~CUrlCacheClearing() override { StopWorker(); }

  // Creates the window and starts both halves; false when no window could be
  // made (no display), and nothing was started.
  bool Start() {
    if (!CreateEx(0, "", "", WS_POPUP, 0, 0, 1, 1, nullptr)) return false;
    HWND self = m_hWnd;
    if (m_pattern.empty()) {
      // Nothing to delete; the caller still hears the end, from the loop.
      ::PostMessage(self, WM_CACHE_FILES_CLEARED, 0, 0);
      ::PostMessage(self, WM_SITE_DATA_CLEARED, 0, 0);
      return true;
    }
    m_worker = std::thread([self, pattern = m_pattern, stop = &m_stop] {
      ClearDownloadCache(pattern, *stop);
      ::PostMessage(self, WM_CACHE_FILES_CLEARED, 0, 0);
    });
    web::ClearCachedSiteData(m_pattern, [self] { ::PostMessage(self, WM_SITE_DATA_CLEARED, 0, 0); });
    return true;
  }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_CACHE_FILES_CLEARED:
        m_filesCleared = true;
        FinishWhenBothDone();
        return 0;
      case WM_SITE_DATA_CLEARED:
        m_siteDataCleared = true;
        FinishWhenBothDone();
        return 0;
      case WM_DESTROY:
        StopWorker();
        break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }
  void PostNcDestroy() override { delete this; }

 private:
  void StopWorker() {
    m_stop.store(true);
    if (m_worker.joinable()) m_worker.join();
  }
  // Runs the caller's completion once both halves are done. The object is
  // gone before done runs, so done may start another clearing or end the loop.
  void FinishWhenBothDone() {
    if (!m_filesCleared || !m_siteDataCleared) return;
    std::function<void()> done = std::move(m_done);
    DestroyWindow();  // joins the (ended) worker and deletes this
    if (done) done();
  }

  std::string m_pattern;
  std::function<void()> m_done;
  std::thread m_worker;
  std::atomic<bool> m_stop{false};
  bool m_filesCleared = false;
  bool m_siteDataCleared = false;
};

}  // namespace

void ClearUrlCache(const std::string& pattern, std::function<void()> done) {
  auto clearing = std::make_unique<CUrlCacheClearing>(pattern, std::move(done));
  if (clearing->Start()) {
    clearing.release();  // its window owns it now (PostNcDestroy)
    return;
  }
  // No window layer to come back through: clear here, on this thread.
  std::fprintf(stderr, "torvane: clearing the cached data without a display; the interface waits for it\n");
  std::function<void()> finish = std::move(done);
  std::atomic<bool> stop{false};
  if (!pattern.empty()) ClearDownloadCache(pattern, stop);
  web::ClearCachedSiteData(pattern, std::move(finish));
}
