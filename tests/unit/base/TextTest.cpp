// The shared text helpers: the atoi rule, document decoding, case handling.
#include <gtest/gtest.h>

#include <climits>

#include "platform/base/Text.h"

namespace {

struct AtoiCase {
  const char* in;
  int out;
};

TEST(TextAtoi, ReadsTheLeadingDecimalInteger) {
  const AtoiCase cases[] = {
      {"0", 0},         {"12", 12},           {" 12abc", 12},     {"\t\n\v\f\r 7", 7},
      {"-5", -5},       {"+5", 5},            {"abc", 0},         {"", 0},
      {"   ", 0},       {"-", 0},             {"+-5", 0},         {"- 5", 0},
      {"12 34", 12},    {"007", 7},           {"1e3", 1},         {"0x10", 0},
      {"2147483647", INT_MAX},                {"-2147483648", INT_MIN},
      {"99999999999999999999", INT_MAX},      {"-99999999999999999999", INT_MIN},
      {"\xE4\xB8\x80" "5", 0},  // a non-ASCII character first: no digits
  };
  for (const auto& c : cases) EXPECT_EQ(text::Atoi(c.in), c.out) << '"' << c.in << '"';
}

TEST(TextAtoi, StopsAtAnEmbeddedNul) {
  EXPECT_EQ(text::Atoi(std::string_view("12\0" "34", 5)), 12);
}

// "琥珀" in UTF-8.
const char kGbAmber[] = "\xE7\x90\xA5\xE7\x8F\x80";

TEST(TextDecode, DeclaredGb2312IsDecoded) {
  // 中文 in gb2312 is D6 D0 CE C4.
  std::string doc = "<?xml version=\"1.0\" encoding=\"gb2312\"?><a v=\"\xD6\xD0\xCE\xC4\"/>";
  EXPECT_EQ(text::DecodeDocument(doc), "<?xml version=\"1.0\" encoding=\"gb2312\"?><a v=\"\xE4\xB8\xAD\xE6\x96\x87\"/>");
  for (const char* enc : {"GBK", "gb18030", "GB2312", "cp936"}) {
    std::string d = std::string("<?xml version='1.0' encoding='") + enc + "'?>\xD6\xD0";
    EXPECT_EQ(text::DecodeDocument(d).substr(d.size() - 2), "\xE4\xB8\xAD") << enc;
  }
}

TEST(TextDecode, DeclarationSpacingIsTolerated) {
  EXPECT_EQ(text::DeclaredXmlEncoding("<?xml version=\"1.0\"\r\n  encoding =\n \"GB2312\"?>"), "gb2312");
  EXPECT_EQ(text::DeclaredXmlEncoding("\xEF\xBB\xBF<?xml encoding='UTF-8'?>"), "utf-8");
  EXPECT_EQ(text::DeclaredXmlEncoding("<?xml version=\"1.0\"?><a encoding=\"gbk\"/>"), "");
  EXPECT_EQ(text::DeclaredXmlEncoding("<a/>"), "");
  EXPECT_EQ(text::DeclaredXmlEncoding("<?xml encoding=\"gbk"), "");
}

TEST(TextDecode, UndeclaredTextIsUtf8WhenValidElseGb18030) {
  std::string utf8 = std::string("<a v=\"") + kGbAmber + "\"/>";
  EXPECT_EQ(text::DecodeDocument(utf8), utf8);
  EXPECT_EQ(text::DecodeDocument("<a v=\"\xD6\xD0\xCE\xC4\"/>"), "<a v=\"\xE4\xB8\xAD\xE6\x96\x87\"/>");
}

TEST(TextDecode, ByteOrderMarkIsDroppedAndWinsOverTheDeclaration) {
  EXPECT_EQ(text::DecodeDocument("\xEF\xBB\xBF<a/>"), "<a/>");
  // UTF-8 text behind a mark stays UTF-8 even though it declares gb2312.
  std::string doc = std::string("<?xml encoding=\"gb2312\"?>") + kGbAmber;
  EXPECT_EQ(text::DecodeDocument("\xEF\xBB\xBF" + doc), doc);
}

TEST(TextDecode, DamagedUtf8KeepsItsGoodTextAndMarksTheBadBytes) {
  // Declared UTF-8 with one stray byte: the rest must not turn into other characters.
  std::string doc = std::string("<?xml encoding=\"utf-8\"?><a v=\"") + kGbAmber + "\xFF\"/>";
  EXPECT_EQ(text::DecodeDocument(doc), std::string("<?xml encoding=\"utf-8\"?><a v=\"") + kGbAmber + "\xEF\xBF\xBD\"/>");
  // Behind a byte-order mark, a cut-off sequence at the end.
  EXPECT_EQ(text::DecodeDocument("\xEF\xBB\xBFok\xE7\x90"), "ok\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_TRUE(text::IsValidUtf8(text::DecodeDocument("<?xml encoding=\"iso-8859-1\"?>caf\xE9")));
}

TEST(TextDecode, ResultIsAlwaysValidUtf8) {
  const std::string inputs[] = {
      "\xFF\xFE\xFD", "<?xml encoding=\"gbk\"?>\x81", "\xEF\xBB\xBF\xC0\xAF", "\x80", std::string("a\0b", 3),
  };
  for (const auto& in : inputs) EXPECT_TRUE(text::IsValidUtf8(text::DecodeDocument(in))) << in;
}

TEST(TextUtf8, Validity) {
  EXPECT_TRUE(text::IsValidUtf8(""));
  EXPECT_TRUE(text::IsValidUtf8(kGbAmber));
  EXPECT_TRUE(text::IsValidUtf8("\xF0\x9F\x98\x80"));
  EXPECT_FALSE(text::IsValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(text::IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(text::IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
  EXPECT_FALSE(text::IsValidUtf8("\xE7\x90"));          // cut off
  EXPECT_EQ(text::SanitizeUtf8("a\xC0\xAF" "b"), "a\xEF\xBF\xBD\xEF\xBF\xBD" "b");
}

TEST(TextGb18030, RoundTripsAndMarksWhatItCannotHold) {
  EXPECT_EQ(text::Gb18030ToUtf8(text::Utf8ToGb18030(kGbAmber)), kGbAmber);
  EXPECT_EQ(text::Utf8ToGb18030("a\xFF" "b"), "a?b");
  EXPECT_EQ(text::Gb18030ToUtf8("a\xFF"), "a\xEF\xBF\xBD");
}

TEST(TextCase, AsciiOnly) {
  EXPECT_EQ(text::ToLowerAscii("HomeURL-\xC3\x89"), "homeurl-\xC3\x89");
  EXPECT_TRUE(text::EqualsNoCase("SOFTWARE\\Velmora", "software\\VELMORA"));
  EXPECT_FALSE(text::EqualsNoCase("abc", "abd"));
  EXPECT_FALSE(text::EqualsNoCase("abc", "abcd"));
}

TEST(TextFormat, FormatsAnyLength) {
  EXPECT_EQ(text::Format("%s Ver %s", "Abc", "1.0.0.1"), "Abc Ver 1.0.0.1");
  EXPECT_EQ(text::Format("%d", -12), "-12");
  EXPECT_EQ(text::Format("%s", ""), "");
  std::string big(5000, 'x');
  EXPECT_EQ(text::Format("<%s>", big.c_str()), "<" + big + ">");
}

}  // namespace
