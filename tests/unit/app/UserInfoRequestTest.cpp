// The signed user-information request: the MD5 text, the signature and the
// guarded use of the configured format.
#include <gtest/gtest.h>

#include <string>

#include "app/UserInfoRequest.h"

namespace {

TEST(UserInfoRequest, Md5HexIsTheDigestInLowerCaseHex) {
  struct Case {
    std::string in, out;
  } cases[] = {{"", "d41d8cd98f00b204e9800998ecf8427e"},
               {"abc", "900150983cd24fb0d6963f7d28e17f72"},
               {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"}};
  for (const Case& c : cases) EXPECT_EQ(Md5Hex(c.in.data(), c.in.size()), c.out) << c.in;
  EXPECT_EQ(Md5Hex(nullptr, 3), "");
}

TEST(UserInfoRequest, SignatureHashesTagTimeAndKeyAndChangesEverySecond) {
  std::string joined = "hbhx1700000000k3y";
  EXPECT_EQ(UserInfoSignature("hbhx", 1700000000, "k3y"), Md5Hex(joined.data(), joined.size()));
  EXPECT_NE(UserInfoSignature("hbhx", 1700000000, "k3y"), UserInfoSignature("hbhx", 1700000001, "k3y"));
  std::string negative = "t-5k";
  EXPECT_EQ(UserInfoSignature("t", -5, "k"), Md5Hex(negative.data(), negative.size()));
  // The tag and key are hashed as the system's Chinese code page bytes.
  std::string gb = "\xba\xcf" "1k";  // 合 in GB18030
  EXPECT_EQ(UserInfoSignature("合", 1, "k"), Md5Hex(gb.data(), gb.size()));
}

TEST(UserInfoRequest, FormatTakesExactlyTheFourConversionsInOrder) {
  struct Case {
    const char* format;
    const char* tag;
    const char* expected;
  } cases[] = {
      {"http://s/api?tag=%s+reason=%d+time=%d+sign=%s", "hbhx", "http://s/api?tag=hbhx&reason=1&time=-7&sign=SIG"},
      {"http://s/%s/%d/%d/%s", "a+b", "http://s/a&b/1/-7/SIG"},  // a '+' of the tag becomes '&' too
      {"http://s/?p=100%%&t=%s%d%d%s", "t", "http://s/?p=100%&t=t1-7SIG"},
      // Refused: nothing is sent.
      {"", "t", ""},
      {"http://s/api", "t", ""},
      {"http://s/?%s%d%d", "t", ""},
      {"http://s/?%s%d%d%s%s", "t", ""},
      {"http://s/?%d%s%d%s", "t", ""},
      {"http://s/?%s%d%d%n", "t", ""},
      {"http://s/?%s%5d%d%s", "t", ""},
      {"http://s/?%s%ld%d%s", "t", ""},
      {"http://s/?%s%d%d%s%", "t", ""},
      {"http://s/?%S%d%d%s", "t", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatUserInfoUrl(c.format, c.tag, 1, -7, "SIG"), c.expected) << c.format;
}

}  // namespace
