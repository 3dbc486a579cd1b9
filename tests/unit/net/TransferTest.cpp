#include <sys/stat.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "NetFixture.h"
#include "platform/net/CancelToken.h"
#include "platform/net/Transfer.h"

namespace {

struct DownloadCase {
  const char* name;
  std::string path;     // on the server
  bool ok;
  size_t size;          // expected bytes when ok
  long timeoutMs = 10000;
};

class DownloadToFileTest : public NetTest, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(DownloadToFileTest, GivesAWholeFileOrNoneAndKeepsWhatWasThere) {
  const DownloadCase& c = GetParam();
  std::string target = dir_ + "/file.bin";
  WriteFile(target, "old content");
  net::TransferOptions o;
  o.totalTimeoutMs = c.timeoutMs;
  net::TransferResult r = net::DownloadToFile(Url(c.path), target, o);
  EXPECT_EQ(r.ok, c.ok) << r.error;
  if (c.ok) {
    EXPECT_EQ(ReadFile(target), Pattern(0, c.size));
  } else {
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(ReadFile(target), "old content");  // a failure never replaces the file
  }
  EXPECT_EQ(FilesIn(dir_), (std::vector<std::string>{"file.bin"}));  // no temporary left behind
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DownloadToFileTest,
    ::testing::Values(DownloadCase{"sized", "/test/bytes?n=300000", true, 300000},
                      DownloadCase{"chunked", "/test/bytes?n=200000&chunked=1", true, 200000},
                      DownloadCase{"empty", "/test/bytes?n=0", true, 0},
                      DownloadCase{"redirects", "/test/redirect?hops=3&n=777", true, 777},
                      DownloadCase{"notFound", "/test/status?code=404&body=no+such+file", false, 0},
                      DownloadCase{"serverError", "/test/status?code=500", false, 0},
                      DownloadCase{"resetMidBody", "/test/reset?n=100000&after=5000", false, 0},
                      DownloadCase{"stalled", "/test/stall?n=100000&after=100&ms=20000", false, 0, 300},
                      DownloadCase{"noStatusLine", "/test/hang?ms=20000", false, 0, 300},
                      DownloadCase{"redirectLoop", "/test/redirect?hops=30", false, 0},
                      DownloadCase{"redirectToFile", "/test/redirect?to=file:///etc/passwd", false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NetTest, BadAddressesAndTargetsFailWithAReason) {
  struct Case {
    std::string url, path;
  } cases[] = {
      {"", dir_ + "/a"},
      {"no scheme at all", dir_ + "/a"},
      {"127.0.0.1/test/bytes?n=1", dir_ + "/a"},
      {"ftp://127.0.0.1/x", dir_ + "/a"},
      {"file:///etc/passwd", dir_ + "/a"},
      {"http://", dir_ + "/a"},
      {Url("/test/bytes?n=1") + "\r\nX-Injected: 1", dir_ + "/a"},
      {Url("/test/bytes?n=10"), dir_ + "/no/such/folder/a"},
      {Url("/test/bytes?n=10"), dir_ + "/plainfile/a"},  // the "folder" is a file
      {Url("/test/bytes?n=10"), dir_ + "/"},
      {"http://127.0.0.1:1/", dir_ + "/a"},  // nothing listens there
  };
  WriteFile(dir_ + "/plainfile", "x");
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    net::TransferResult r = net::DownloadToFile(c.url, c.path, net::TransferOptions());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(r.ok) << c.url << " -> " << c.path;
    EXPECT_NE(err.find("failed"), std::string::npos) << err;
  }
  EXPECT_EQ(FilesIn(dir_), (std::vector<std::string>{"plainfile"}));
}

TEST_F(NetTest, TheSizeCapRefusesLongerBodiesWithOrWithoutALength) {
  net::TransferOptions o;
  o.maxBytes = 1000;
  for (const char* path : {"/test/bytes?n=5000", "/test/bytes?n=5000&chunked=1"}) {
    testing::internal::CaptureStderr();
    net::TransferResult r = net::DownloadToFile(Url(path), dir_ + "/capped", o);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(r.ok) << path;
    EXPECT_NE(r.error.find("larger"), std::string::npos) << r.error;
  }
  EXPECT_TRUE(net::DownloadToFile(Url("/test/bytes?n=1000"), dir_ + "/capped", o).ok);
}

TEST_F(NetTest, CancelFromAnotherThreadEndsAStalledTransfer) {
  net::CancelToken token;
  std::promise<void> started;
  std::once_flag once;
  net::TransferOptions o;
  o.cancel = &token;
  o.totalTimeoutMs = 60000;  // only the cancellation can end it early
  net::TransferResult r;
  std::thread t([&] {
    r = net::Perform(Url("/test/stall?n=100000&after=100&ms=60000"), o, [&](const char*, size_t) {
      std::call_once(once, [&] { started.set_value(); });
      return true;
    });
  });
  bool began = started.get_future().wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  token.Cancel();
  t.join();
  ASSERT_TRUE(began);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.cancelled);

  // A cancelled token cancels at once until it is reset.
  r = net::Perform(Url("/test/bytes?n=10"), o, [](const char*, size_t) { return true; });
  EXPECT_TRUE(r.cancelled);
  token.Reset();
  r = net::Perform(Url("/test/bytes?n=10"), o, [](const char*, size_t) { return true; });
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.bytes, 10);
}

TEST_F(NetTest, FetchTextKeepsAnErrorBodyOnlyWhenAsked) {
  std::string body;
  net::TransferOptions o;
  o.failOnHttpError = false;
  net::TransferResult r = net::FetchText(Url("/test/status?code=404&body=missing"), o, &body);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.status, 404);
  EXPECT_EQ(body, "missing");

  o.failOnHttpError = true;
  testing::internal::CaptureStderr();
  r = net::FetchText(Url("/test/status?code=404&body=missing"), o, &body);
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.status, 404);
  EXPECT_EQ(body, "");
}

TEST_F(NetTest, PlainHttpOnlyRefusesHttpsAndRedirectsToIt) {
  std::string body;
  net::TransferOptions o;
  o.plainHttpOnly = true;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(net::FetchText("https://127.0.0.1:1/", o, &body).ok);
  EXPECT_FALSE(net::FetchText(Url("/test/redirect?to=https://127.0.0.1:1/"), o, &body).ok);
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(net::FetchText(Url("/test/redirect?hops=1&n=5"), o, &body).ok);
  EXPECT_EQ(body, Pattern(0, 5));
}

TEST(SchemeOf, NamesTheSchemeOfAbsoluteAddressesOnly) {
  struct {
    const char* url;
    const char* scheme;
  } cases[] = {
      {"http://example.test/a", "http"}, {"HTTP://example.test", "http"}, {"https://x.test:8443/", "https"},
      {"ftp://x.test/", "ftp"},          {"example.test/a", ""},          {"", ""},
      {"http://", ""},                   {"://x", ""},                    {"mailto:someone@x.test", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(net::SchemeOf(c.url), c.scheme) << c.url;
}

// The save path may be in a folder every user can write (/tmp): another user
// who plants links under every temporary name they can guess neither blocks
// the download nor has the body written through them, and the file is the
// user's alone even under a umask of 0.
TEST_F(NetTest, NamesPlantedBesideTheTargetAreNeitherUsedNorInTheWay) {
  const std::string shared = dir_ + "/shared";
  ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  const std::string victim = dir_ + "/victim";
  WriteFile(victim, "untouched");
  const std::string target = shared + "/update.bin";
  for (int n = 0; n < 512; ++n) {
    std::string planted = target + ".part-" + std::to_string(getpid()) + "-" + std::to_string(n);
    ASSERT_EQ(symlink(victim.c_str(), planted.c_str()), 0);
  }
  mode_t oldMask = umask(0);
  net::TransferResult r = net::DownloadToFile(Url("/test/bytes?n=5000"), target, net::TransferOptions());
  umask(oldMask);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(ReadFile(target), Pattern(0, 5000));
  EXPECT_EQ(ReadFile(victim), "untouched");
  struct stat st;
  ASSERT_EQ(lstat(target.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(FilesIn(shared).size(), 513u);  // the planted links and the file: no temporary left
}

}  // namespace
