// The user settings: read at start-up under the product's key, every missing
// or unreadable value replaced by decimal text, all written back at exit.
#include <fstream>
#include <iterator>

#include "platform/store/RegString.h"
#include "tests/unit/config/ConfigFixture.h"

namespace {

const char kKey[] = "SOFTWARE\\Velmora\\\xE7\x90\xA5\xE7\x8F\x80\xE8\x88\xAA\xE7\xBA\xBF";  // the default title

struct Stored {
  bool present = false;
  DWORD type = REG_NONE;
  std::string data;  // as stored, with its NUL
};

class SettingsTest : public ConfigFixture {
 protected:
  static Stored Read(const char* key, const char* name) {
    Stored s;
    HKEY h = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return s;
    DWORD size = 0;
    if (RegQueryValueEx(h, name, nullptr, &s.type, nullptr, &size) == ERROR_SUCCESS) {
      s.data.resize(size);
      RegQueryValueEx(h, name, nullptr, &s.type, reinterpret_cast<BYTE*>(s.data.data()), &size);
      s.present = true;
    }
    RegCloseKey(h);
    return s;
  }
  static void WriteRaw(const char* key, const char* name, DWORD type, const std::string& bytes) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(h, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                            static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(h);
  }
  static void WriteText(const char* key, const char* name, const std::string& text) {
    WriteRaw(key, name, REG_SZ, text + '\0');
  }
  // The value as the client writes it: REG_SZ decimal text with its NUL.
  static void ExpectText(const char* key, const char* name, const std::string& text) {
    Stored s = Read(key, name);
    EXPECT_TRUE(s.present) << name;
    EXPECT_EQ(s.type, REG_SZ) << name;
    EXPECT_EQ(s.data, text + '\0') << name;
  }
};

TEST_F(SettingsTest, FirstRunWritesZeroAtStartAndAgainAtExit) {
  ClientConfig* config = ClientConfig::Get();
  for (const char* name : {"UseHotKey", "AlwaysTop", "HotKey"}) ExpectText(kKey, name, "0");
  EXPECT_EQ(config->AlwaysTop, 0);
  EXPECT_EQ(config->UseHotKey, 0);
  EXPECT_EQ(config->HotKey, 0);
  // Changed behind the client's back while it runs: exit writes the members again.
  for (const char* name : {"UseHotKey", "AlwaysTop", "HotKey"}) WriteText(kKey, name, "9");
  ClientConfig::Destroy();
  for (const char* name : {"UseHotKey", "AlwaysTop", "HotKey"}) ExpectText(kKey, name, "0");
}

TEST_F(SettingsTest, MembersAreWrittenBackAtExit) {
  ClientConfig* config = ClientConfig::Get();
  config->AlwaysTop = 1;
  config->UseHotKey = -7;
  config->HotKey = 0x0241;
  ClientConfig::Destroy();
  ExpectText(kKey, "AlwaysTop", "1");
  ExpectText(kKey, "UseHotKey", "-7");
  ExpectText(kKey, "HotKey", "577");
}

struct StoredCase {
  const char* what;
  DWORD type;
  std::string bytes;    // stored before start-up
  int member;           // AlwaysTop after start-up
  std::string afterStart;  // the stored text after start-up ("" when kept as it was)
  std::string afterExit;
};

TEST_F(SettingsTest, StoredValuesAreReadOrReplaced) {
  const StoredCase cases[] = {
      {"the text 1", REG_SZ, std::string("1\0", 2), 1, "", "1"},
      {"a negative number", REG_SZ, std::string("-12\0", 4), -12, "", "-12"},
      {"text after the number", REG_SZ, std::string(" 12abc\0", 7), 12, "", "12"},
      {"no number", REG_SZ, std::string("abc\0", 4), 0, "", "0"},
      {"expandable text", REG_EXPAND_SZ, std::string("5\0", 2), 5, "", "5"},
      {"a number", REG_DWORD, std::string("\x01\0\0\0", 4), 0, "0", "0"},
      {"1024 characters", REG_SZ, std::string(1024, '7') + '\0', 0, "0", "0"},
      {"1023 characters", REG_SZ, "3" + std::string(1022, ' ') + '\0', 3, "", "3"},
      {"no terminating NUL", REG_SZ, "4", 0, "0", "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ClientConfig::ResetForTesting();
    WriteRaw(kKey, "AlwaysTop", c.type, c.bytes);
    ClientConfig* config = ClientConfig::Get();
    EXPECT_EQ(config->AlwaysTop, c.member);
    Stored s = Read(kKey, "AlwaysTop");
    if (c.afterStart.empty()) {
      EXPECT_EQ(s.type, c.type);
      EXPECT_EQ(s.data, c.bytes);  // a readable value is left as it is until exit
    } else {
      ExpectText(kKey, "AlwaysTop", c.afterStart);
    }
    ClientConfig::Destroy();
    ExpectText(kKey, "AlwaysTop", c.afterExit);
  }
}

TEST_F(SettingsTest, HotKeyStoredAsANumberBecomesText) {
  DWORD n = 0x41;
  WriteRaw(kKey, "HotKey", REG_DWORD, std::string(reinterpret_cast<const char*>(&n), 4));
  EXPECT_EQ(ClientConfig::Get()->HotKey, 0);
  ExpectText(kKey, "HotKey", "0");
}

TEST_F(SettingsTest, TwoProductsKeepSeparateKeys) {
  ClientConfig* a = LoadDocument("<A><B userClientAbout=\"First Game\"/></A>");
  a->AlwaysTop = 1;
  ClientConfig::Destroy();
  ClientConfig* b = LoadDocument("<A><B userClientAbout=\"Second Game\"/></A>");
  EXPECT_EQ(b->AlwaysTop, 0);
  b->HotKey = 2;
  ClientConfig::Destroy();
  ExpectText("SOFTWARE\\Velmora\\First Game", "AlwaysTop", "1");
  ExpectText("SOFTWARE\\Velmora\\First Game", "HotKey", "0");
  ExpectText("SOFTWARE\\Velmora\\Second Game", "AlwaysTop", "0");
  ExpectText("SOFTWARE\\Velmora\\Second Game", "HotKey", "2");
  EXPECT_EQ(LoadDocument("<A><B userClientAbout=\"first game\"/></A>")->AlwaysTop, 1);  // the key ignores case
}

TEST_F(SettingsTest, UnusableDatabaseDoesNotStopTheStart) {
  std::filesystem::create_directories(m_dir + "/velmora");
  std::ofstream(DbPath(), std::ios::binary) << "damaged";
  ::testing::internal::CaptureStderr();
  ClientConfig* config = ClientConfig::Get();
  EXPECT_EQ(config->AlwaysTop, 0);
  EXPECT_FALSE(config->GetHomeUrl().empty());
  config->AlwaysTop = 1;
  ClientConfig::Destroy();
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(DbPath()), std::string::npos);
  std::ifstream in(DbPath(), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "damaged");
}

}  // namespace
