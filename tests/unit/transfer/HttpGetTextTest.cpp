#include "TransferFixture.h"
#include "transfer/HttpGetText.h"

namespace {

TEST_F(TransferTest, HttpGetTextRefusesAddressesThatAreNotPlainHttpAndSendsNothing) {
  Listener l;
  std::string hostPort = "127.0.0.1:" + std::to_string(l.Port());
  for (const std::string& url : {"https://" + hostPort + "/userinfo", hostPort + "/userinfo", "ftp://" + hostPort + "/",
                                 std::string("/userinfo"), std::string(""), std::string("not an address")}) {
    EXPECT_EQ(HttpGetText(url), "") << url;
    EXPECT_FALSE(l.HasPending()) << url;  // no connection was made
  }
  // The same listener does see a plain-HTTP request (its answer never comes).
  EXPECT_EQ(HttpGetText(l.Url("/x"), HttpTextLimits{5000, 200, 1 << 20}), "");
  EXPECT_TRUE(l.HasPending());
}

TEST_F(TransferTest, HttpGetTextReturnsTheBodyWhateverTheStatus) {
  struct {
    std::string path;
    std::string body;
  } cases[] = {
      {"/test/bytes?n=5000", Pattern(0, 5000)},  // more than one 1023-byte read, in order
      {"/test/bytes?n=5000&chunked=1", Pattern(0, 5000)},
      {"/test/bytes?n=0", ""},
      {"/test/status?code=404&body=no+such+page", "no such page"},
      {"/test/status?code=500&body=trouble", "trouble"},
      {"/test/redirect?hops=2&n=9", Pattern(0, 9)},
      {"/test/status?code=200&body=%C4%E3%BA%C3", "\xe4\xbd\xa0\xe5\xa5\xbd"},  // GB18030 text becomes UTF-8
      {"/test/status?code=200&body=%E4%BD%A0%E5%A5%BD", "\xe4\xbd\xa0\xe5\xa5\xbd"},  // UTF-8 stays
  };
  for (const auto& c : cases) EXPECT_EQ(HttpGetText(Url(c.path)), c.body) << c.path;
}

TEST_F(TransferTest, HttpGetTextAsksForAFreshAnswer) {
  std::string headers = HttpGetText(Url("/test/headers"));
  EXPECT_NE(headers.find("Pragma: no-cache"), std::string::npos) << headers;
  EXPECT_NE(headers.find("Cache-Control: no-cache"), std::string::npos) << headers;
  EXPECT_NE(headers.find("User-Agent: session"), std::string::npos) << headers;
}

TEST_F(TransferTest, HttpGetTextGivesEmptyForUnreachableSlowHugeAndCutAnswers) {
  HttpTextLimits quick{2000, 300, 4096};
  struct {
    std::string url;
  } cases[] = {
      {"http://127.0.0.1:" + std::to_string(OperatorProcess::PickFreePort()) + "/"},  // nothing listens
      {Url("/test/hang?ms=20000")},                                                 // no answer within the time-out
      {Url("/test/stall?n=4000&after=100&ms=20000")},                              // the body stops
      {Url("/test/slow?n=4000&chunk=10&delay=50")},                               // too slow to finish in time
      {Url("/test/bytes?n=5000")},                                                  // over the cap
      {Url("/test/bytes?n=5000&chunked=1")},
      {Url("/test/reset?n=4000&after=1000")},                                      // cut off: no partial body
      {Url("/test/redirect?to=https://127.0.0.1:1/")},                              // https by way of a redirect
  };
  testing::internal::CaptureStderr();
  for (const auto& c : cases) EXPECT_EQ(HttpGetText(c.url, quick), "") << c.url;
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("failed"), std::string::npos);
  EXPECT_EQ(HttpGetText(Url("/test/bytes?n=4096"), quick), Pattern(0, 4096));  // at the cap is fine
}

TEST_F(TransferTest, HttpGetTextReachesTheUserInformationService) {
  OperatorProcess op({"--tag", "hbhx=http://127.0.0.1/play/enter?u=1", "--pw-key", "k3y"});
  ASSERT_TRUE(op.Start());
  long now = static_cast<long>(time(nullptr));
  auto signedUrl = [&](const std::string& tag, long t, const std::string& key) {
    // The signature is MD5 of tag, time and key; the operator checks it.
    std::string text = tag + std::to_string(t) + key;
    std::string cmd = "printf '%s' '" + text + "' | md5sum";
    FILE* p = popen(cmd.c_str(), "r");
    char buf[64] = {};
    if (p) {
      if (!fgets(buf, sizeof buf, p)) buf[0] = 0;
      pclose(p);
    }
    return op.Url("/api/userinfo?tag=" + tag + "&reason=0&time=" + std::to_string(t) + "&sign=" +
                  std::string(buf).substr(0, 32));
  };
  EXPECT_EQ(HttpGetText(signedUrl("hbhx", now, "k3y")), "http://127.0.0.1/play/enter?u=1");
  EXPECT_EQ(HttpGetText(signedUrl("hbhx", now, "wrong")), "");        // bad signature
  EXPECT_EQ(HttpGetText(signedUrl("other", now, "k3y")), "");         // unknown tag
  EXPECT_EQ(HttpGetText(signedUrl("hbhx", now - 3600, "k3y")), "");   // outside the time window
}

}  // namespace
