// Clearing the game's cached data on the headless display: every download
// cache entry whose address contains the pattern goes (and nothing else), the
// engine is asked to clear the sites of the pattern, the caller's completion
// runs once, on the user-interface thread, after both; a cache of thousands of
// entries is walked off the user-interface thread; a display that shuts down
// first stops the walk and drops the completion.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/DownloadCache.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/Window.h"
#include "platform/web/BrowserEngine.h"
#include "tests/support/ScriptedEngine.h"
#include "tests/support/TestFiles.h"
#include "tools/operator/OperatorProcess.h"
#include "windows/UrlCache.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWaitMs = 60000;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// What a caller's completion saw.
struct Completion {
  int runs = 0;
  std::thread::id thread;
  std::function<void()> Callback() {
    return [this] {
      ++runs;
      thread = std::this_thread::get_id();
    };
  }
};

// A window whose timer ticks while the clearing runs: the longest gap between
// two ticks is the longest time the user-interface thread was held.
class HeartbeatWnd : public CWnd {
 public:
  double longestGapMs = 0;
  int ticks = 0;
  bool Start(UINT intervalMs) {
    if (!CreateEx(0, "", "", WS_POPUP, 0, 0, 1, 1, nullptr)) return false;
    m_last = Clock::now();
    return SetTimer(1, intervalMs) != 0;
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_TIMER) {
      longestGapMs = std::max(longestGapMs, MsSince(m_last));
      m_last = Clock::now();
      ++ticks;
      return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }

 private:
  Clock::time_point m_last;
};

class UrlCacheTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<OperatorProcess>();
    ASSERT_TRUE(server_->Start());
  }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    char tmpl[] = "/tmp/torvane-urlcache-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("XDG_CACHE_HOME", (dir_ + "/cache").c_str(), 1);
    net::DownloadCache::SetDefaultProduct("Game");
    ASSERT_TRUE(ui::InitializeWith(ui::BackendKind::Headless));
    engine_ = std::make_unique<scripted::ScriptedEngine::Install>();
  }
  void TearDown() override {
    engine_.reset();
    ui::Shutdown();
    ui::ResetQuit();
    std::filesystem::remove_all(dir_);
  }

  // Puts entries for these addresses straight into the cache folder, in the
  // index format the download cache documents (a header line, then file,
  // size and address per line), as thousands of downloads would.
  static void Seed(const std::vector<std::string>& urls) {
    net::DownloadCache cache;
    std::filesystem::create_directories(cache.Folder());
    std::string index = "torvane-download-cache 1\n";
    char name[64];
    for (std::size_t i = 0; i < urls.size(); ++i) {
      std::snprintf(name, sizeof name, "%032zx-seeded", i);
      WriteFile(cache.Folder() + "/" + name, "x");
      index += std::string(name) + "\t1\t" + urls[i] + "\n";
    }
    WriteFile(cache.IndexPath(), index);
    ASSERT_EQ(cache.Entries().size(), urls.size()) << "the seeded index was not read";
  }
  static std::set<std::string> CachedUrls() {
    std::set<std::string> urls;
    for (const net::CacheEntry& e : net::DownloadCache().Entries()) urls.insert(e.url);
    return urls;
  }
  // Cached files in the folder (besides the index and its lock).
  static std::size_t CachedFiles() {
    std::size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(net::DownloadCache().Folder())) {
      std::string name = e.path().filename();
      if (name != "index" && name != "index.lock") ++n;
    }
    return n;
  }
  // Clears with pattern and pumps the loop and the engine until done ran.
  static bool ClearAndWait(const std::string& pattern, Completion* completion) {
    ClearUrlCache(pattern, completion->Callback());
    return ui::PumpUntil(
        [&] {
          scripted::ScriptedEngine::PumpAll();
          return completion->runs > 0;
        },
        kWaitMs);
  }

  static inline std::unique_ptr<OperatorProcess> server_;
  std::string dir_;
  std::unique_ptr<scripted::ScriptedEngine::Install> engine_;
};

const std::vector<std::string> kAddresses = {
    "http://game.velmora.com/play/index.html",
    "http://game.velmora.com/res/a.png",
    "http://cdn.example.net/lib.js?from=game.velmora.com",
    "http://GAME.VELMORA.COM/upper.html",
    "http://www.velmora.com/news.html",
    "http://other.example/page",
};

TEST_F(UrlCacheTest, EveryEntryWhoseAddressContainsThePatternGoesAndNothingElse) {
  struct Case {
    std::string pattern;
    std::set<std::string> gone;
  };
  const Case cases[] = {
      {"game.velmora.com", {kAddresses[0], kAddresses[1], kAddresses[2]}},  // host and query alike
      {"GAME.VELMORA.COM", {kAddresses[3]}},                                // letter case counts
      {"Game.velmora.com", {}},
      {"from=game", {kAddresses[2]}},  // only the query string holds it
      {"velmora", {kAddresses[0], kAddresses[1], kAddresses[2], kAddresses[4]}},
      {"", {}},  // an empty pattern deletes nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("pattern '" + c.pattern + "'");
    Seed(kAddresses);
    engine_.reset();  // a fresh record of the engine's requests
    engine_ = std::make_unique<scripted::ScriptedEngine::Install>();
    Completion completion;
    ASSERT_TRUE(ClearAndWait(c.pattern, &completion));

    std::set<std::string> expected(kAddresses.begin(), kAddresses.end());
    for (const std::string& url : c.gone) expected.erase(url);
    EXPECT_EQ(CachedUrls(), expected);
    EXPECT_EQ(CachedFiles(), expected.size()) << "a removed entry left its file behind";
    if (c.pattern.empty())
      EXPECT_TRUE(scripted::ScriptedEngine::SiteDataClearings().empty());
    else
      EXPECT_EQ(scripted::ScriptedEngine::SiteDataClearings(), std::vector<std::string>{c.pattern});

    // Done ran once, on this (the user-interface) thread, and never again.
    scripted::ScriptedEngine::PumpEverything();
    EXPECT_EQ(completion.runs, 1);
    EXPECT_EQ(completion.thread, std::this_thread::get_id());
  }
}

// The game is served from http://127.0.0.1:<port>/ and the default pattern is
// its host: one click takes every download of the game, not only the first.
TEST_F(UrlCacheTest, TheDefaultPatternTakesEveryDownloadOfTheGameInOneCall) {
  net::DownloadCache cache;
  const std::string game[] = {server_->Url("/test/bytes?n=100"), server_->Url("/update/version.xml?1"),
                              server_->Url("/test/bytes?n=7&x=1")};
  const std::string elsewhere = "http://localhost:" + std::to_string(server_->Port()) + "/test/bytes?n=5";
  std::vector<std::string> files;
  for (const std::string& url : game) {
    std::string path;
    ASSERT_TRUE(cache.Download(url, {}, &path).ok) << url;
    files.push_back(path);
  }
  std::string kept;
  ASSERT_TRUE(cache.Download(elsewhere, {}, &kept).ok);

  Completion completion;
  ASSERT_TRUE(ClearAndWait("127.0.0.1", &completion));
  EXPECT_EQ(CachedUrls(), std::set<std::string>{elsewhere});
  for (const std::string& f : files) EXPECT_FALSE(std::filesystem::exists(f)) << f;
  EXPECT_EQ(ReadFile(kept), Pattern(0, 5));
  EXPECT_EQ(scripted::ScriptedEngine::SiteDataClearings(), std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(completion.runs, 1);
}

TEST_F(UrlCacheTest, DoneWaitsForTheEngineAsWellAsTheDownloadCache) {
  Seed(kAddresses);
  Completion completion;
  ClearUrlCache("velmora", completion.Callback());
  EXPECT_EQ(completion.runs, 0) << "done ran inside the call";
  // The files go while the engine has not answered yet.
  ASSERT_TRUE(ui::PumpUntil([] { return CachedUrls().size() == 2; }, kWaitMs));
  ui::PumpUntilIdle();
  EXPECT_EQ(completion.runs, 0);
  EXPECT_EQ(scripted::ScriptedEngine::PendingSiteDataClearings(), 1u);

  scripted::ScriptedEngine::PumpEverything();
  ASSERT_TRUE(ui::PumpUntil([&] { return completion.runs > 0; }, kWaitMs));
  scripted::ScriptedEngine::PumpEverything();
  EXPECT_EQ(completion.runs, 1);
}

// The user may click twice before the first clearing ends.
TEST_F(UrlCacheTest, TwoClearingsAtOnceBothEndEachOnce) {
  Seed(kAddresses);
  Completion first, second;
  ClearUrlCache("game.velmora", first.Callback());
  ClearUrlCache("other.example", second.Callback());
  ASSERT_TRUE(ui::PumpUntil(
      [&] {
        scripted::ScriptedEngine::PumpAll();
        return first.runs > 0 && second.runs > 0;
      },
      kWaitMs));
  scripted::ScriptedEngine::PumpEverything();
  EXPECT_EQ(first.runs, 1);
  EXPECT_EQ(second.runs, 1);
  EXPECT_EQ(CachedUrls(), (std::set<std::string>{kAddresses[3], kAddresses[4]}));
  EXPECT_EQ(scripted::ScriptedEngine::SiteDataClearings(),
            (std::vector<std::string>{"game.velmora", "other.example"}));
}

// Without a scripted engine the headless display has no engine to clear: the
// download cache is still cleared and done still runs.
TEST_F(UrlCacheTest, WithoutAnEngineTheDownloadCacheIsStillClearedAndDoneRuns) {
  engine_.reset();
  Seed(kAddresses);
  Completion completion;
  ClearUrlCache("other.example", completion.Callback());
  EXPECT_EQ(completion.runs, 0) << "done ran inside the call";
  ASSERT_TRUE(ui::PumpUntil([&] { return completion.runs > 0; }, kWaitMs));
  EXPECT_EQ(CachedUrls().count(kAddresses[5]), 0u);
  EXPECT_EQ(CachedUrls().size(), kAddresses.size() - 1);
}

// Thousands of entries: the call returns at once and the interface's timers
// keep ticking while the walk runs. The figures are printed, not asserted.
TEST_F(UrlCacheTest, ABigCacheIsClearedWithoutHoldingTheInterface) {
  constexpr int kEntries = 4000;
  std::vector<std::string> urls;
  for (int i = 0; i < kEntries; ++i)
    urls.push_back(i % 4 == 3 ? "http://other.example/a/" + std::to_string(i)
                              : "http://127.0.0.1:18630/play/res/" + std::to_string(i) + ".png?v=" + std::to_string(i));
  Seed(urls);

  HeartbeatWnd heartbeat;
  ASSERT_TRUE(heartbeat.Start(2));
  Completion completion;
  Clock::time_point start = Clock::now();
  ClearUrlCache("127.0.0.1", completion.Callback());
  double callMs = MsSince(start);

  double longestPumpMs = 0;
  Clock::time_point waitStart = Clock::now();
  while (completion.runs == 0 && MsSince(waitStart) < kWaitMs) {
    Clock::time_point t = Clock::now();
    bool any = ui::PumpPending();
    scripted::ScriptedEngine::PumpAll();
    longestPumpMs = std::max(longestPumpMs, MsSince(t));
    if (!any) ui::PumpUntil([&] { return completion.runs > 0; }, 1);  // waits for the next tick or post
  }
  double totalMs = MsSince(start);
  ASSERT_EQ(completion.runs, 1);
  EXPECT_EQ(CachedUrls().size(), static_cast<std::size_t>(kEntries / 4));
  EXPECT_EQ(CachedFiles(), static_cast<std::size_t>(kEntries / 4));

  std::printf(
      "[ figures  ] %d entries, %d matching: ClearUrlCache call %.2f ms; longest loop pass %.2f ms; "
      "longest gap between 2 ms ticks %.2f ms (%d ticks); whole clearing %.1f ms\n",
      kEntries, kEntries / 4 * 3, callMs, longestPumpMs, heartbeat.longestGapMs, heartbeat.ticks, totalMs);
  RecordProperty("call_ms", std::to_string(callMs));
  RecordProperty("longest_pass_ms", std::to_string(longestPumpMs));
  RecordProperty("longest_tick_gap_ms", std::to_string(heartbeat.longestGapMs));
  RecordProperty("total_ms", std::to_string(totalMs));

  // For comparison: the same walk held on this thread, as one piece.
  Seed(urls);
  start = Clock::now();
  net::DownloadCache().RemoveIf([](const std::string& url) { return url.find("127.0.0.1") != std::string::npos; });
  std::printf("[ figures  ] the same walk on the calling thread in one piece: %.1f ms\n", MsSince(start));
}

// The display closes (the client quits) while a clearing runs: the walk stops,
// its thread is joined before the display goes, and done never runs.
TEST_F(UrlCacheTest, ShutdownDuringAClearingStopsItAndDropsDone) {
  std::vector<std::string> urls;
  for (int i = 0; i < 3000; ++i) urls.push_back("http://127.0.0.1:18630/r/" + std::to_string(i));
  Seed(urls);
  Completion completion;
  ClearUrlCache("127.0.0.1", completion.Callback());
  ui::Shutdown();
  EXPECT_EQ(completion.runs, 0);

  // The engine answers late, into a new display: the answer is dropped.
  ASSERT_TRUE(ui::InitializeWith(ui::BackendKind::Headless));
  EXPECT_EQ(scripted::ScriptedEngine::PendingSiteDataClearings(), 1u);
  scripted::ScriptedEngine::PumpEverything();
  EXPECT_EQ(completion.runs, 0);
  // A walk that was stopped leaves a usable cache behind.
  std::size_t left = CachedUrls().size();
  EXPECT_LE(left, urls.size());
  EXPECT_EQ(CachedFiles(), left);
}

TEST(SiteMatchesCachePattern, NamesAndAddressesSelectSites) {
  struct Case {
    const char* site;
    const char* pattern;
    bool selected;
  };
  const Case cases[] = {
      {"127.0.0.1", "127.0.0.1", true},                // the default pattern and the game's site
      {"127.0.0.1", "http://127.0.0.1:18630/", true},  // an address of the site
      {"127.0.0.1", "127.0.0.1:18630", true},
      {"127.0.0.1", "http://user@127.0.0.1/play?x=1", true},
      {"127.0.0.1", "127.0.0", true},  // the name contains it
      {"127.0.0.1", "127.0.0.10", false},
      {"127.0.0.10", "127.0.0.1", true},  // containment, as for addresses
      {"velmora.com", "velmora", true},
      {"velmora.com", "game.velmora.com", true},  // a host below the site
      {"velmora.com", "http://game.velmora.com/play/index.html", true},
      {"velmora.com", "notvelmora.com", false},
      {"velmora.com", "VELMORA.COM", false},  // letter case counts
      {"velmora.com", "/play/", false},       // a path alone names no site
      {"velmora.com", "?from=velmora.com", false},
      {"localhost", "http://localhost:8080/", true},
      {"[::1]", "http://[::1]:8080/x", true},
      {"velmora.com", "", false},
      {"", "velmora.com", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(web::SiteMatchesCachePattern(c.site, c.pattern), c.selected) << c.site << " / " << c.pattern;
}

}  // namespace
