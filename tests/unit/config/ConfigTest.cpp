// ClientConfig: the embedded default document and lookups in documents of
// every shape the reader must cope with.
#include <tinyxml.h>

#include <algorithm>
#include <cctype>

#include "app/AppShared.h"
#include "platform/base/Text.h"
#include "tests/unit/config/ConfigFixture.h"

namespace {

const char kAmber[] = "\xE7\x90\xA5\xE7\x8F\x80\xE8\x88\xAA\xE7\xBA\xBF";  // the default title, 琥珀航线

// The configuration keys in the order of the embedded document.
const char* const kKeys[] = {
    "userClientAbout", "skinDir",  "paymentUrl", "bbsUrl",     "gwUrl",      "kfUrl",     "userInfoUrl", "userInfoApi",
    "homeUrl",         "configParam", "updateKey", "loginCheck", "gameCheck", "runPlugin", "startUpUrl", "installUrl",  "imClass",
    "quitTip",         "infoPath", "pwKey",      "tipClass",   "cache",      "gwLink",
};
const char* const kEmptyByDefault[] = {"userInfoUrl", "userInfoApi", "configParam", "loginCheck", "runPlugin",
                                       "startUpUrl",  "installUrl",  "infoPath",    "tipClass"};

// A literal with its embedded NULs.
template <std::size_t N>
std::string Bytes(const char (&s)[N]) {
  return std::string(s, N - 1);
}

class ConfigTest : public ConfigFixture {};

TEST_F(ConfigTest, EmbeddedDefaultIsGb2312WithCrLfAndTheKeysInOrder) {
  auto resource = res::Find("XML", 400);
  ASSERT_TRUE(resource);
  std::string bytes(reinterpret_cast<const char*>(resource->data()), resource->size());
  EXPECT_EQ(text::DeclaredXmlEncoding(bytes), "gb2312");
  EXPECT_EQ(bytes.find("<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n"), 0u);
  for (std::size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1))
    ASSERT_EQ(bytes[at - 1], '\r') << "a line end without CR at " << at;
  EXPECT_FALSE(text::IsValidUtf8(bytes)) << "the Chinese texts should be gb2312 bytes";

  TiXmlDocument doc;
  doc.Parse(text::DecodeDocument(bytes).c_str(), nullptr, TIXML_ENCODING_UTF8);
  ASSERT_FALSE(doc.Error()) << doc.ErrorDesc();
  const TiXmlElement* root = doc.RootElement();
  ASSERT_TRUE(root);
  EXPECT_STREQ(root->Value(), "CLIENTCONFIG");
  const TiXmlElement* config = root->FirstChildElement();
  ASSERT_TRUE(config);
  EXPECT_STREQ(config->Value(), "CONFIG");
  EXPECT_FALSE(config->NextSiblingElement());
  std::vector<std::string> names;
  for (const TiXmlAttribute* a = config->FirstAttribute(); a; a = a->Next()) names.push_back(a->Name());
  EXPECT_EQ(names, std::vector<std::string>(std::begin(kKeys), std::end(kKeys)));
}

TEST_F(ConfigTest, EmbeddedDefaultValues) {
  ClientConfig* config = ClientConfig::Get();
  for (const char* key : kEmptyByDefault) EXPECT_EQ(config->GetValue(key), "") << key;
  for (const char* key : kKeys) {
    bool empty = std::find_if(std::begin(kEmptyByDefault), std::end(kEmptyByDefault),
                              [&](const char* k) { return std::string(k) == key; }) != std::end(kEmptyByDefault);
    if (!empty) {
      EXPECT_NE(config->GetValue(key), "") << key;
    }
  }
  EXPECT_EQ(config->GetUserClientAbout(), kAmber);
  EXPECT_EQ(config->GetGwLink(), std::string(kAmber) + "\xE5\xAE\x98\xE7\xBD\x91");  // …官网
  EXPECT_EQ(config->GetHomeUrl().rfind("http://127.0.0.1:", 0), 0u);
  EXPECT_EQ(config->GetGameCheck().rfind("http://127.0.0.1:", 0), 0u);
  std::string key = config->GetPwKey();
  EXPECT_EQ(key.size(), 21u);
  EXPECT_TRUE(std::all_of(key.begin(), key.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }));
  EXPECT_EQ(config->m_strRegKeyPath, std::string("SOFTWARE\\Velmora\\") + kAmber);
  EXPECT_EQ(GetClientTitle(), std::string(kAmber) + " Ver 1.0.0.1");
}

TEST_F(ConfigTest, KeysMatchInExactCaseOnly) {
  ClientConfig* config = ClientConfig::Get();
  EXPECT_NE(config->GetValue("homeUrl"), "");
  for (const char* key : {"HomeUrl", "homeurl", "HOMEURL", "homeUrl ", "", "nothing"})
    EXPECT_EQ(config->GetValue(key), "") << key;
  EXPECT_EQ(config->GetValue(nullptr), "");
}

struct Lookup {
  const char* what;
  std::string doc;
  std::string expected;  // of homeUrl
};

TEST_F(ConfigTest, LookupsInDocumentsOfEveryShape) {
  const Lookup cases[] = {
      {"comments and processing instructions before the root and before CONFIG",
       "<?xml version=\"1.0\"?>\r\n<!-- root follows -->\r\n<?tool run?>\r\n<CLIENTCONFIG>\r\n<!-- CONFIG follows -->"
       "<?tool again?>\r\n\t<CONFIG homeUrl=\"http://h/\"/>\r\n</CLIENTCONFIG>\r\n",
       "http://h/"},
      {"renamed root and configuration elements", "<ROOT><SETTINGS homeUrl=\"http://h/\"/></ROOT>", "http://h/"},
      {"text before the configuration element", "<A>some text<B homeUrl=\"x\"/></A>", "x"},
      {"character references", "<A><B homeUrl=\"a&amp;b&lt;&#x4E2D;&quot;\"/></A>", "a&b<\xE4\xB8\xAD\""},
      {"character references UTF-8 cannot carry", "<A><B homeUrl=\"a&#xD800;b&#x110000;c\"/></A>",
       "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" "c"},
      {"line ends inside a value", "<A><B homeUrl=\"1\r\n2\r3\n4\"/></A>", "1\n2\n3\n4"},
      {"a NUL inside the root", Bytes("<A>\0<B homeUrl=\"x\"/></A>"), ""},
      {"a NUL before the root", Bytes("<?xml version=\"1.0\"?>\0<A><B homeUrl=\"x\"/></A>"), ""},
      {"the first element only", "<A><B/><B homeUrl=\"second\"/></A>", ""},
      {"attributes of the root are not seen", "<A homeUrl=\"root\"><B/></A>", ""},
      {"a root without children", "<A homeUrl=\"root\"/>", ""},
      {"a second root is never seen", "<A><B/></A><C><D homeUrl=\"x\"/></C>", ""},
      {"empty document", "", ""},
      {"only a declaration", "<?xml version=\"1.0\"?>", ""},
      {"not XML at all", "homeUrl=\"x\"", ""},
      {"broken markup before any element", "<<<>>> <A><B homeUrl=\"x\"/></A>", ""},
      {"gb2312 text", "<?xml version=\"1.0\" encoding=\"gb2312\"?><A><B homeUrl=\"\xD6\xD0\xCE\xC4\"/></A>",
       "\xE4\xB8\xAD\xE6\x96\x87"},
      {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF<A><B homeUrl=\"\xE4\xB8\xAD\"/></A>", "\xE4\xB8\xAD"},
  };
  for (const auto& c : cases) {
    ClientConfig* config = LoadDocument(c.doc);
    EXPECT_EQ(config->GetHomeUrl(), c.expected) << c.what;
  }
}

TEST_F(ConfigTest, MissingDocumentGivesEmptyValuesAndStillLoads) {
  res::testing::Remove("XML", 400);
  ClientConfig* config = ClientConfig::Get();
  ASSERT_TRUE(config);
  for (const char* key : kKeys) EXPECT_EQ(config->GetValue(key), "") << key;
  EXPECT_EQ(config->m_strRegKeyPath, "SOFTWARE\\Velmora\\");
  EXPECT_EQ(GetClientTitle(), " Ver 1.0.0.1");
  EXPECT_EQ(config->AlwaysTop, 0);
}

TEST_F(ConfigTest, TruncatedDocumentKeepsWhatWasParsed) {
  // The parser's partial result stays: the configuration element was complete.
  ClientConfig* config = LoadDocument("<A><B homeUrl=\"x\" gwUrl=\"g\"/><C>");
  EXPECT_EQ(config->GetHomeUrl(), "x");
  EXPECT_EQ(config->GetGwUrl(), "g");
}

TEST_F(ConfigTest, OneObjectUntilDestroyed) {
  ClientConfig* first = ClientConfig::Get();
  EXPECT_EQ(ClientConfig::Get(), first);
  ClientConfig::Destroy();
  res::testing::Override("XML", 400, "<A><B userClientAbout=\"Abc\"/></A>");
  ClientConfig* second = ClientConfig::Get();
  EXPECT_EQ(second->GetUserClientAbout(), "Abc");
  EXPECT_EQ(GetClientTitle(), "Abc Ver 1.0.0.1");
  delete second;  // what ExitInstance does
  EXPECT_EQ(ClientConfig::Get()->GetUserClientAbout(), "Abc");  // created and loaded again
}

}  // namespace
