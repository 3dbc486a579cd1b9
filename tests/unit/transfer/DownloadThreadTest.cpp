#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "TransferFixture.h"
#include "platform/net/DownloadCache.h"

namespace {

using PARAM = CDownloadThread::THREAD_PARAM_DOWN;

// A started worker whose completion notices the test records.
struct Worker {
  Notices notices;
  CDownloadThread thread;
  explicit Worker(int retryWaitMs = 1000, BOOL suspended = FALSE) {
    thread.SetCacheProduct("Torvane Test");
    thread.SetRetryWaitMs(retryWaitMs);
    thread.SetNotifier(notices.Notifier());
    thread.Start(suspended);
  }
  int Queue(PARAM request, bool wake = true) {
    thread.AddRequest(request);
    if (wake) thread.m_hWorkEvent.Set();
    return request.nId;
  }
  PARAM Result(int id) {
    PARAM out;
    thread.GetResult(id, out);
    return out;
  }
};

std::string ParentOf(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

TEST_F(TransferTest, TwoRequestsQueuedBeforeTheWorkerWakesFinishOldestFirstInOneDrain) {
  Worker w;
  int first = w.Queue(Request(Url("/test/bytes?n=2000")), false);
  int second = w.Queue(Request(Url("/test/bytes?n=3000")), false);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  w.thread.m_hWorkEvent.Set();  // one wake-up for both
  ASSERT_TRUE(w.notices.WaitFor(2));
  EXPECT_EQ(w.notices.Ids(), (std::vector<LPARAM>{0, 1}));
  for (const auto& n : w.notices.Get()) {
    EXPECT_EQ(n.msg, 0x466u);
    EXPECT_EQ(n.wParam, 0u);
    EXPECT_EQ(n.hwnd, Request("").hNotifyWnd);
  }
  EXPECT_EQ(ReadFile(w.Result(0).strUrl), Pattern(0, 2000));
  EXPECT_EQ(ReadFile(w.Result(1).strUrl), Pattern(0, 3000));
  EXPECT_FALSE(w.thread.m_hWorkEvent.IsSet());  // the drain cleared it
}

TEST_F(TransferTest, AnEmptySavePathEndsWithStrUrlNamingAFileInTheDownloadCache) {
  Worker w;
  std::string url = Url("/update/version.xml?1700000000");
  int id = w.Queue(Request(url));
  ASSERT_TRUE(w.notices.WaitFor(1));
  PARAM r = w.Result(id);
  EXPECT_EQ(r.strSrcUrl, url);
  EXPECT_EQ(ParentOf(r.strUrl), net::DownloadCache("Torvane Test").Folder());
  EXPECT_NE(ReadFile(r.strUrl).find("<CLIENT version="), std::string::npos);
  EXPECT_EQ(net::DownloadCache("Torvane Test").Lookup(url), r.strUrl);
}

TEST_F(TransferTest, ASavePathThatBeginsWithATempReferenceIsExpanded) {
  setenv("TEMP", dir_.c_str(), 1);
  Worker w;
  PARAM req = Request(Url("/test/bytes?n=4096"));
  req.strSavePath = "%TEMP%/update.sh";
  int id = w.Queue(req);
  ASSERT_TRUE(w.notices.WaitFor(1));
  unsetenv("TEMP");
  PARAM r = w.Result(id);
  EXPECT_EQ(r.strUrl, dir_ + "/update.sh");
  EXPECT_EQ(r.strSavePath, "%TEMP%/update.sh");
  EXPECT_EQ(ReadFile(dir_ + "/update.sh"), Pattern(0, 4096));
}

TEST_F(TransferTest, AFileAlreadyThereWithTheExpectedSizeFinishesAtOnceAndSizeZeroDownloadsAgain) {
  Listener never;  // a download would connect here and stall
  std::string path = dir_ + "/present.bin";
  WriteFile(path, "0123456789");
  Worker w;
  PARAM req = Request(never.Url("/x"));
  req.strSavePath = path;
  req.nFileSize = 10;
  int id = w.Queue(req);
  ASSERT_TRUE(w.notices.WaitFor(1));
  EXPECT_EQ(w.Result(id).strUrl, path);
  EXPECT_FALSE(never.HasPending());  // no connection was made
  EXPECT_EQ(ReadFile(path), "0123456789");

  req = Request(Url("/test/bytes?n=10"));
  req.strSavePath = path;
  req.nFileSize = 0;  // no size: always downloaded
  id = w.Queue(req);
  ASSERT_TRUE(w.notices.WaitFor(2));
  EXPECT_EQ(w.Result(id).strUrl, path);
  EXPECT_EQ(ReadFile(path), Pattern(0, 10));

  req.nFileSize = 11;  // another size: downloaded too
  WriteFile(path, "0123456789");
  id = w.Queue(req);
  ASSERT_TRUE(w.notices.WaitFor(3));
  EXPECT_EQ(ReadFile(path), Pattern(0, 10));
}

// In a shared folder another user (or a link) could put a file of the
// expected size at the save path: only a regular file of our own counts.
TEST_F(TransferTest, AFileOfTheRightSizeThatIsNotOursIsDownloadedAgain) {
  std::string mine = dir_ + "/mine.bin";
  WriteFile(mine, "0123456789");
  struct Case {
    const char* name;
    std::function<void(const std::string&)> plant;
  } cases[] = {
      {"another user's file",
       [](const std::string& p) {
         WriteFile(p, "0123456789");
         ASSERT_EQ(chown(p.c_str(), 65534, 65534), 0);
       }},
      {"a link to a file of ours", [&](const std::string& p) { ASSERT_EQ(symlink(mine.c_str(), p.c_str()), 0); }},
  };
  Worker w;
  int n = 0;
  for (const Case& c : cases) {
    std::string path = dir_ + "/planted-" + std::to_string(n) + ".bin";
    c.plant(path);
    PARAM req = Request(Url("/test/bytes?n=10"));
    req.strSavePath = path;
    req.nFileSize = 10;
    int id = w.Queue(req);
    ASSERT_TRUE(w.notices.WaitFor(++n)) << c.name;
    EXPECT_EQ(w.Result(id).strUrl, path) << c.name;
    EXPECT_EQ(ReadFile(path), Pattern(0, 10)) << c.name << ": downloaded, not taken as it was";
  }
  EXPECT_EQ(ReadFile(mine), "0123456789") << "the link's target is untouched";
}

TEST_F(TransferTest, A404IsAFailureWithNoRecordAndGetResultKeepsTheCallersRecord) {
  Worker w;
  int bad = w.Queue(Request(Url("/test/status?code=404&body=no+such+package")));
  int good = w.Queue(Request(Url("/test/bytes?n=64")));
  ASSERT_TRUE(w.notices.WaitFor(2));
  EXPECT_EQ(w.notices.Ids(), (std::vector<LPARAM>{bad, good}));  // the failure is posted too

  PARAM out;
  out.strUrl = "caller's";
  out.nId = 99;
  w.thread.GetResult(bad, out);
  EXPECT_EQ(out.strUrl, "caller's");
  EXPECT_EQ(out.nId, 99);
  w.thread.GetResult(12345, out);  // an id never handed out
  EXPECT_EQ(out.strUrl, "caller's");

  PARAM once, twice;
  w.thread.GetResult(good, once);
  w.thread.GetResult(good, twice);
  EXPECT_FALSE(once.strUrl.empty());
  EXPECT_EQ(once.strUrl, twice.strUrl);
  EXPECT_EQ(once.nId, twice.nId);
  EXPECT_EQ(once.strSrcUrl, twice.strSrcUrl);
  // The error page never became a cache entry.
  for (const net::CacheEntry& e : net::DownloadCache("Torvane Test").Entries())
    EXPECT_EQ(e.url.find("code=404"), std::string::npos);
}

TEST_F(TransferTest, BadSavePathsFailWithADiagnostic) {
  Worker w;
  WriteFile(dir_ + "/afile", "x");
  std::vector<std::string> paths = {dir_ + "/missing/folder/x.bin", dir_ + "/afile/x.bin", dir_ + "/"};
  testing::internal::CaptureStderr();
  for (const std::string& p : paths) {
    PARAM req = Request(Url("/test/bytes?n=10"));
    req.strSavePath = p;
    w.Queue(req);
  }
  // A folder at the save path whose size happens to be nFileSize is not the file.
  std::filesystem::create_directory(dir_ + "/adir");
  struct stat st;
  ASSERT_EQ(stat((dir_ + "/adir").c_str(), &st), 0);
  PARAM folder = Request(Url("/test/bytes?n=10"));
  folder.strSavePath = dir_ + "/adir";
  folder.nFileSize = static_cast<int>(st.st_size);
  w.Queue(folder);
  paths.push_back(folder.strSavePath);
  bool all = w.notices.WaitFor(paths.size());
  std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(all);
  for (size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(w.Result(static_cast<int>(i)).strUrl, "") << paths[i];
  EXPECT_NE(err.find("failed"), std::string::npos) << err;
}

TEST_F(TransferTest, StopOnAnIdleWorkerEndsItsThreadWithExitCode1) {
  Worker w;
  ASSERT_NE(w.thread.GetThreadHandle(), nullptr);
  w.thread.Stop();
  ASSERT_TRUE(w.thread.GetThreadHandle()->Wait(3000));
  std::uint32_t code = 0;
  ASSERT_TRUE(w.thread.GetThreadHandle()->GetExitCode(&code));
  EXPECT_EQ(code, 1u);
}

TEST_F(TransferTest, StopDuringAStalledTransferEndsTheThreadWithinOneSecondAndLeavesNothing) {
  for (bool toCache : {false, true}) {
    Listener stalled;
    Worker w;
    PARAM req = Request(stalled.Url("/package.sh"));
    if (!toCache) req.strSavePath = dir_ + "/package.sh";
    int id = w.Queue(req);
    ASSERT_GE(stalled.Accept(10000), 0);  // the worker is now inside its transfer
    w.thread.Stop();
    ASSERT_TRUE(w.thread.GetThreadHandle()->Wait(1000));
    std::uint32_t code = 0;
    ASSERT_TRUE(w.thread.GetThreadHandle()->GetExitCode(&code));
    EXPECT_EQ(code, 1u);
    EXPECT_TRUE(w.notices.Get().empty());  // the cut-short request posts nothing
    EXPECT_EQ(w.Result(id).strUrl, "");
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/package.sh"));
    EXPECT_TRUE(net::DownloadCache("Torvane Test").Entries().empty());
    std::vector<std::string> left;
    for (const std::string& f : {dir_, net::DownloadCache("Torvane Test").Folder()}) {
      std::error_code ec;
      for (const auto& e : std::filesystem::directory_iterator(f, ec)) {
        std::string name = e.path().filename();
        if (name != "cache" && name != "index" && name != "index.lock") left.push_back(name);
      }
    }
    EXPECT_TRUE(left.empty()) << left.front();
  }
}

TEST_F(TransferTest, DestroyingAWorkerInTheMiddleOfATransferWaitsForItsThread) {
  Listener stalled;
  auto w = std::make_unique<Worker>();
  w->Queue(Request(stalled.Url("/big")));
  ASSERT_GE(stalled.Accept(10000), 0);
  w.reset();  // cancels and joins; a hang here trips the test's time-out
  SUCCEED();
}

TEST_F(TransferTest, StartRightAfterStopRunsAWorkerThatStillDownloads) {
  // The old thread may not even have woken when Start comes: the new start
  // must not keep a thread that is ending, nor the cancellation of the Stop.
  Worker w;
  for (int round = 0; round < 10; ++round) {
    w.thread.Stop();
    w.thread.Start(FALSE);
    EXPECT_EQ(w.thread.GetState(), 2);
    int id = w.Queue(Request(Url("/test/bytes?n=" + std::to_string(100 + round))));
    ASSERT_TRUE(w.notices.WaitFor(static_cast<size_t>(round) + 1, 5000)) << "round " << round;
    EXPECT_EQ(ReadFile(w.Result(id).strUrl), Pattern(0, 100 + round)) << "round " << round;
  }
}

TEST_F(TransferTest, ResumeAfterStartSuspendedCreatesTheThreadThatThenWorks) {
  Worker w(1000, TRUE);
  EXPECT_EQ(w.thread.GetState(), 1);
  EXPECT_EQ(w.thread.GetThreadHandle(), nullptr);
  int id = w.Queue(Request(Url("/test/bytes?n=5")));
  w.thread.Resume();
  EXPECT_EQ(w.thread.GetState(), 2);
  ASSERT_NE(w.thread.GetThreadHandle(), nullptr);
  ASSERT_TRUE(w.notices.WaitFor(1));
  EXPECT_EQ(ReadFile(w.Result(id).strUrl), Pattern(0, 5));
}

TEST_F(TransferTest, ARetriedRequestSucceedsOnceTheServerComesUp) {
  auto notYet = std::make_unique<Listener>();
  int port = notYet->Port();
  Worker w(20);
  PARAM req = Request("http://127.0.0.1:" + std::to_string(port) + "/test/bytes?n=777");
  req.bRetry = TRUE;
  int id = w.Queue(req);
  // The first attempt reaches a port that closes on it: a failed attempt.
  ASSERT_GE(notYet->Accept(10000), 0);
  notYet.reset();
  OperatorProcess late;
  ASSERT_TRUE(late.Start(port));
  ASSERT_TRUE(w.notices.WaitFor(1));
  EXPECT_EQ(w.notices.Ids(), (std::vector<LPARAM>{id}));
  EXPECT_EQ(ReadFile(w.Result(id).strUrl), Pattern(0, 777));
}

TEST_F(TransferTest, ARetriedRequestThatAlwaysFailsGivesUpSilentlyAfter100Attempts) {
  Worker w(1);
  PARAM req = Request(Url("/test/flaky?key=giveup&fail=1000"));
  req.bRetry = TRUE;
  int failing = w.Queue(req);
  int after = w.Queue(Request(Url("/test/bytes?n=1")));  // strictly after the retries
  ASSERT_TRUE(w.notices.WaitFor(1, 30000));
  EXPECT_EQ(w.notices.Ids(), (std::vector<LPARAM>{after}));
  EXPECT_EQ(w.Result(failing).strUrl, "");
  EXPECT_EQ(FlakyCount("giveup"), 100);
}

TEST_F(TransferTest, StopDuringARetryEndsTheThreadInState3WithoutAMessage) {
  Listener refusing;
  Worker w(60000);  // the retry wait outlasts the test: only Stop can end it
  PARAM req = Request(refusing.Url("/x"));
  req.bRetry = TRUE;
  w.Queue(req);
  ASSERT_GE(refusing.Accept(10000), 0);
  refusing.Close();  // the attempt fails; the worker waits to retry
  w.thread.Stop();
  ASSERT_TRUE(w.thread.GetThreadHandle()->Wait(3000));
  std::uint32_t code = 1;
  ASSERT_TRUE(w.thread.GetThreadHandle()->GetExitCode(&code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(w.thread.GetState(), 3);
  EXPECT_TRUE(w.notices.Get().empty());
  w.thread.Stop();  // state 3: nothing to do
}

TEST_F(TransferTest, APausedWorkerHoldsARetryUntilResumed) {
  Worker w(1);
  PARAM req = Request(Url("/test/flaky?key=pause&fail=1&n=3"));
  req.bRetry = TRUE;
  w.thread.Pause();
  EXPECT_EQ(w.thread.GetState(), 1);
  int id = w.Queue(req);  // a paused worker still takes requests
  EXPECT_FALSE(w.notices.WaitFor(1, 200));  // held between attempts...
  EXPECT_EQ(FlakyCount("pause"), 1);         // ...after the first one
  w.thread.Resume();
  ASSERT_TRUE(w.notices.WaitFor(1));
  EXPECT_EQ(ReadFile(w.Result(id).strUrl), Pattern(0, 3));
}

}  // namespace
