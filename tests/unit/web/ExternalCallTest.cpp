// The decoding of what a page posts to the view's external-call handler:
// a page can post any value there, not only what our external object sends.
#include <gtest/gtest.h>
#include <jsc/jsc.h>

#include <string>

#include "platform/base/Text.h"
#include "platform/web/WebKitEngine.h"

namespace {

using Kind = web::ExternalArg::Kind;

class ExternalCallTest : public ::testing::Test {
 protected:
  void SetUp() override { m_js = jsc_context_new(); }
  void TearDown() override { g_object_unref(m_js); }

  // Decodes a posted value, given as JSON, as the engine does.
  bool Decode(const std::string& json, web::ExternalCall* call) {
    JSCValue* value = jsc_value_new_from_json(m_js, json.c_str());
    bool ok = value && web::ParseExternalCall(value, call);
    if (value) g_object_unref(value);
    return ok;
  }

  JSCContext* m_js = nullptr;
};

TEST_F(ExternalCallTest, OurObjectsMessageIsDecoded) {
  web::ExternalCall call;
  ASSERT_TRUE(Decode(R"({"m":"Invoke_Client","n":2,"t":true,"a":[{"k":"string","v":"琥珀"},{"k":"function"}]})",
                     &call));
  EXPECT_EQ(call.method, "Invoke_Client");
  EXPECT_EQ(call.argCount, 2u);
  EXPECT_TRUE(call.topLevel);
  ASSERT_EQ(call.args.size(), 2u);
  EXPECT_EQ(call.args[0].kind, Kind::String);
  EXPECT_EQ(call.args[0].text, "琥珀");
  EXPECT_EQ(call.args[1].kind, Kind::Function);
}

TEST_F(ExternalCallTest, BooleanArgumentsAreZeroOrOneWhateverThePagePosts) {
  struct Case {
    const char* value;
    double number;
  };
  const Case cases[] = {{"1", 1}, {"0", 0}, {"7", 1}, {"-0.5", 1}, {"true", 1}, {"false", 0}, {"\"1\"", 0}};
  for (const Case& c : cases) {
    web::ExternalCall call;
    ASSERT_TRUE(Decode(std::string(R"({"m":"x","n":1,"a":[{"k":"bool","v":)") + c.value + "}]}", &call)) << c.value;
    ASSERT_EQ(call.args.size(), 1u);
    EXPECT_EQ(call.args[0].kind, Kind::Bool);
    EXPECT_EQ(call.args[0].number, c.number) << c.value;
  }
}

// The view reads the arguments its member's count promises; a count larger
// than the list once read past its end.
TEST_F(ExternalCallTest, EveryArgumentTheCountPromisesIsThereUpToTheCap) {
  struct Case {
    const char* json;
    std::size_t argCount;
    std::size_t args;
    std::size_t described;  // the arguments the message describes; the rest are undefined
  };
  const Case cases[] = {
      {R"({"m":"Invoke_Client","n":2,"a":[{"k":"string","v":"cmd"}]})", 2, 2, 1},
      {R"({"m":"getGsName","n":1,"a":[]})", 1, 1, 0},
      {R"({"m":"getGsName","n":1})", 1, 1, 0},
      {R"({"m":"x","n":500,"a":[{"k":"null"}]})", 500, web::kMaxExternalArgs, 1},
      {R"({"m":"x","n":1,"a":[{"k":"null"},{"k":"null"},{"k":"null"}]})", 3, 3, 3},
      {R"({"m":"x","n":-4,"a":[]})", 0, 0, 0},
  };
  for (const Case& c : cases) {
    web::ExternalCall call;
    ASSERT_TRUE(Decode(c.json, &call)) << c.json;
    EXPECT_EQ(call.argCount, c.argCount) << c.json;
    ASSERT_EQ(call.args.size(), c.args) << c.json;
    for (std::size_t i = 0; i < call.args.size(); ++i)
      EXPECT_EQ(call.args[i].kind == Kind::Undefined, i >= c.described) << c.json << " argument " << i;
  }
}

TEST_F(ExternalCallTest, WhatIsNotACallIsRefused) {
  const char* values[] = {"[]", "\"getGsName\"", "12", "null", "{}", R"({"m":""})", R"({"m":3})",
                          R"({"m":"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"})"};
  for (const char* json : values) {
    web::ExternalCall call;
    EXPECT_FALSE(Decode(json, &call)) << json;
  }
}

TEST_F(ExternalCallTest, LongTextsAreCutWithoutSplittingACharacter) {
  std::string text = "a";
  while (text.size() < web::kMaxExternalText + 10) text += "琥";
  web::ExternalCall call;
  ASSERT_TRUE(Decode(R"({"m":"getGsName","n":1,"a":[{"k":"string","v":")" + text + "\"}]}", &call));
  ASSERT_EQ(call.args.size(), 1u);
  EXPECT_LE(call.args[0].text.size(), web::kMaxExternalText);
  EXPECT_GT(call.args[0].text.size(), web::kMaxExternalText - 3);
  EXPECT_TRUE(text::IsValidUtf8(call.args[0].text));
  EXPECT_EQ(text.compare(0, call.args[0].text.size(), call.args[0].text), 0);
}

}  // namespace
