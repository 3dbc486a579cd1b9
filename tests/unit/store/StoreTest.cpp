// The registry store's keys, values, handles, read rule and bad-file handling.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "platform/store/RegString.h"
#include "tests/unit/store/TempStore.h"

namespace {

class StoreTest : public TempStore {
 protected:
  HKEY Create(HKEY hive, const char* path, REGSAM sam = KEY_READ | KEY_WRITE) {
    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyEx(hive, path, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, &h, nullptr), ERROR_SUCCESS)
        << path;
    return h;
  }
  static LONG SetRaw(HKEY h, const char* name, DWORD type, const std::string& bytes) {
    return RegSetValueEx(h, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(StoreTest, KeysAreCreatedWithTheirParentsAndFoundInAnyCase) {
  DWORD disposition = 0;
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "SOFTWARE\\Velmora\\Amber", 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, &h, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(h);
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "software\\VELMORA\\amber", 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ, nullptr, &h, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(h);

  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\velmora", 0, KEY_READ, &h), ERROR_SUCCESS);
  std::vector<std::string> names;
  ASSERT_EQ(RegEnumSubKeys(h, &names), ERROR_SUCCESS);
  EXPECT_EQ(names, std::vector<std::string>{"Amber"});  // the case it was created with
  RegCloseKey(h);

  // Empty names from stray separators are skipped.
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "\\SOFTWARE\\\\Velmora\\Amber\\", 0, KEY_READ, &h), ERROR_SUCCESS);
  RegCloseKey(h);
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "SOFTWARE\\Velmora\\Other", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(h, nullptr);
  // The hives are separate.
  EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "SOFTWARE", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
}

TEST_F(StoreTest, SubkeysAndValuesAreListedSortedWithoutRegardToCase) {
  HKEY h = Create(HKEY_CURRENT_USER, "Root");
  for (const char* k : {"b", "C", "a"}) RegCloseKey(Create(h, k));
  RegCloseKey(Create(h, "a\\deeper"));
  RegSetString(h, "zeta", "1");
  RegSetString(h, "Alpha", "2");
  RegSetDword(h, "beta", 3);
  std::vector<std::string> keys;
  ASSERT_EQ(RegEnumSubKeys(h, &keys), ERROR_SUCCESS);
  EXPECT_EQ(keys, (std::vector<std::string>{"a", "b", "C"}));
  std::vector<RegValueEntry> values;
  ASSERT_EQ(RegEnumValues(h, &values), ERROR_SUCCESS);
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].name, "Alpha");
  EXPECT_EQ(values[1].name, "beta");
  EXPECT_EQ(values[1].type, REG_DWORD);
  EXPECT_EQ(values[2].name, "zeta");
  RegCloseKey(h);
}

TEST_F(StoreTest, ValuesRoundTripByType) {
  HKEY h = Create(HKEY_CURRENT_USER, "SOFTWARE\\Velmora\\Amber");
  ASSERT_EQ(RegSetString(h, "Text", "\xE7\x90\xA5\xE7\x8F\x80 1"), ERROR_SUCCESS);
  ASSERT_EQ(RegSetString(h, "Path", "$HOME/x", REG_EXPAND_SZ), ERROR_SUCCESS);
  ASSERT_EQ(RegSetDword(h, "Number", 0xFFFFFFFEu), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueEx(h, "text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);  // name in another case
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 9u);  // the UTF-8 bytes and the terminating NUL
  BYTE small[4];
  DWORD smallSize = sizeof small;
  EXPECT_EQ(RegQueryValueEx(h, "Text", nullptr, &type, small, &smallSize), ERROR_MORE_DATA);
  EXPECT_EQ(smallSize, 9u);

  std::string s;
  EXPECT_EQ(RegQueryString(h, "Text", &s), ERROR_SUCCESS);
  EXPECT_EQ(s, "\xE7\x90\xA5\xE7\x8F\x80 1");
  EXPECT_EQ(RegQueryString(h, "Path", &s), ERROR_SUCCESS);
  EXPECT_EQ(s, "$HOME/x");  // not expanded
  DWORD n = 0;
  EXPECT_EQ(RegQueryDword(h, "Number", &n), ERROR_SUCCESS);
  EXPECT_EQ(n, 0xFFFFFFFEu);
  EXPECT_EQ(RegQueryDword(h, "Text", &n), ERROR_UNSUPPORTED_TYPE);

  // Replacing a value changes its type; the default value has the empty name.
  ASSERT_EQ(RegSetString(h, "Number", "0"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryString(h, "Number", &s), ERROR_SUCCESS);
  ASSERT_EQ(RegSetString(h, "", "default"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryString(h, nullptr, &s), ERROR_SUCCESS);
  EXPECT_EQ(s, "default");

  EXPECT_EQ(RegDeleteValue(h, "NUMBER"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryString(h, "Number", &s), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValue(h, "Number"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(h);
}

TEST_F(StoreTest, ValuesPersistAcrossOpenings) {
  HKEY h = Create(HKEY_CLASSES_ROOT, "CLSID\\{x}\\InprocServer32");
  RegSetString(h, "", "/opt/plugin.so");
  RegCloseKey(h);
  store::Close();
  EXPECT_EQ(store::DatabasePath(), DbPath());
  ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "clsid\\{X}\\inprocserver32", 0, KEY_READ, &h), ERROR_SUCCESS);
  std::string s;
  EXPECT_EQ(RegQueryString(h, "", &s), ERROR_SUCCESS);
  EXPECT_EQ(s, "/opt/plugin.so");
  RegCloseKey(h);
  struct stat st;
  EXPECT_EQ(stat(DbPath().c_str(), &st), 0);
}

TEST_F(StoreTest, BadWritesAreRefused) {
  HKEY h = Create(HKEY_CURRENT_USER, "K");
  BYTE three[3] = {1, 2, 3};
  EXPECT_EQ(RegSetValueEx(h, "d", 0, REG_DWORD, three, 3), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueEx(h, "b", 0, 3 /* binary */, three, 3), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueEx(h, "n", 0, REG_SZ, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueEx(h, std::string(20000, 'n').c_str(), 0, REG_SZ, three, 3), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetString(h, "s", "x", REG_DWORD), ERROR_INVALID_PARAMETER);
  std::vector<RegValueEntry> values;
  RegEnumValues(h, &values);
  EXPECT_TRUE(values.empty());
  HKEY bad = nullptr;
  EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, std::string(300, 'k').c_str(), 0, nullptr, 0, KEY_READ, nullptr, &bad,
                           nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "x", 0, nullptr, 7, KEY_READ, nullptr, &bad, nullptr),
            ERROR_INVALID_PARAMETER);
  RegCloseKey(h);
}

TEST_F(StoreTest, HandlesAreCheckedNotTrusted) {
  HKEY h = Create(HKEY_CURRENT_USER, "A\\B");
  HKEY same = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "A\\B", 0, KEY_READ, &same), ERROR_SUCCESS);
  std::string s;
  // Read-only access cannot write.
  EXPECT_EQ(RegSetString(same, "v", "1"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValue(same, "v"), ERROR_ACCESS_DENIED);
  // A key with subkeys is not deleted by RegDeleteKey.
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "A"), ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "a\\b"), ERROR_SUCCESS);
  // Handles to a deleted key say so, and nothing is written through them.
  EXPECT_EQ(RegSetString(h, "v", "1"), ERROR_KEY_DELETED);
  EXPECT_EQ(RegQueryString(same, "v", &s), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(same), ERROR_SUCCESS);
  // Closed, null and made-up handles are refused.
  EXPECT_EQ(RegCloseKey(h), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegSetString(h, "v", "1"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryString(nullptr, "v", &s), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyEx(reinterpret_cast<HKEY>(std::uintptr_t{12345}), "A", 0, KEY_READ, &h), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "A\\B"), ERROR_FILE_NOT_FOUND);
}

TEST_F(StoreTest, DeleteTreeRemovesEverythingBelow) {
  HKEY h = Create(HKEY_CURRENT_USER, "T\\one\\two");
  RegSetString(h, "v", "1");
  RegCloseKey(h);
  h = Create(HKEY_CURRENT_USER, "T");
  RegSetString(h, "top", "1");
  RegCloseKey(h);
  h = Create(HKEY_CURRENT_USER, "Tail");  // shares a prefix, not a parent
  RegCloseKey(h);

  ASSERT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "t"), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "T\\one\\two", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "T", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Tail", 0, KEY_READ, &h), ERROR_SUCCESS);
  RegCloseKey(h);
  // Recreated, the key is empty.
  h = Create(HKEY_CURRENT_USER, "T");
  std::vector<RegValueEntry> values;
  RegEnumValues(h, &values);
  EXPECT_TRUE(values.empty());
  RegCloseKey(h);
}

// The client's string read rule, value by value.
TEST_F(StoreTest, StringReadRule) {
  HKEY h = Create(HKEY_CURRENT_USER, "Rule");
  std::string cjk1023;
  for (int i = 0; i < 1023; ++i) cjk1023 += "\xE7\x90\xA5";
  std::string emoji512;
  for (int i = 0; i < 512; ++i) emoji512 += "\xF0\x9F\x98\x80";  // 1024 UTF-16 units
  struct Case {
    const char* name;
    DWORD type;
    std::string data;
    LONG result;
    std::string text;
  };
  const Case cases[] = {
      {"plain", REG_SZ, std::string("12\0", 3), ERROR_SUCCESS, "12"},
      {"expand", REG_EXPAND_SZ, std::string("x\0", 2), ERROR_SUCCESS, "x"},
      {"empty", REG_SZ, "", ERROR_SUCCESS, ""},
      {"nul only", REG_SZ, std::string("\0", 1), ERROR_SUCCESS, ""},
      {"no terminator", REG_SZ, "12", ERROR_INVALID_DATA, ""},
      {"inner nul", REG_SZ, std::string("ab\0cd\0", 6), ERROR_SUCCESS, "ab"},
      {"not utf8", REG_SZ, std::string("\xFF\0", 2), ERROR_INVALID_DATA, ""},
      {"dword", REG_DWORD, std::string("\0\0\0\0", 4), ERROR_UNSUPPORTED_TYPE, ""},
      {"1023 chars", REG_SZ, std::string(1023, '7') + '\0', ERROR_SUCCESS, std::string(1023, '7')},
      {"1024 chars", REG_SZ, std::string(1024, '7') + '\0', ERROR_MORE_DATA, ""},
      {"1023 wide chars", REG_SZ, cjk1023 + '\0', ERROR_SUCCESS, cjk1023},
      {"1024 units", REG_SZ, emoji512 + '\0', ERROR_MORE_DATA, ""},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(SetRaw(h, c.name, c.type, c.data), ERROR_SUCCESS) << c.name;
    std::string text = "stale";
    EXPECT_EQ(RegQueryString(h, c.name, &text), c.result) << c.name;
    EXPECT_EQ(text, c.text) << c.name;
  }
  std::string text;
  EXPECT_EQ(RegQueryString(h, "missing", &text), ERROR_FILE_NOT_FOUND);
  RegCloseKey(h);
}

TEST_F(StoreTest, DamagedFileIsReportedOnceAndLeftAlone) {
  std::filesystem::create_directories(m_dir + "/velmora");
  {
    std::ofstream out(DbPath(), std::ios::binary);
    out << "this is not a settings database, but the user's file all the same";
  }
  std::string before = ReadFile(DbPath());
  ::testing::internal::CaptureStderr();
  HKEY h = Create(HKEY_CURRENT_USER, "SOFTWARE\\Velmora\\Amber");
  EXPECT_EQ(RegSetString(h, "AlwaysTop", "1"), ERROR_SUCCESS);
  std::string s;
  EXPECT_EQ(RegQueryString(h, "AlwaysTop", &s), ERROR_SUCCESS);
  EXPECT_EQ(s, "1");
  EXPECT_TRUE(store::UsingMemoryFallback());
  RegCloseKey(h);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(DbPath()), std::string::npos) << err;
  EXPECT_EQ(err.find("torvane:"), err.rfind("torvane:")) << "reported more than once: " << err;
  EXPECT_EQ(ReadFile(DbPath()), before);
}

TEST_F(StoreTest, UnusableFolderDoesNotStopTheStore) {
  // The configuration folder is a plain file: nothing can be created below it.
  std::string file = m_dir + "/not-a-folder";
  std::ofstream(file) << "x";
  setenv("XDG_CONFIG_HOME", file.c_str(), 1);
  store::Close();
  ::testing::internal::CaptureStderr();
  HKEY h = Create(HKEY_CURRENT_USER, "K");
  EXPECT_EQ(RegSetDword(h, "v", 1), ERROR_SUCCESS);
  RegCloseKey(h);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(store::UsingMemoryFallback());
  EXPECT_NE(err.find("cannot be created"), std::string::npos) << err;
}

TEST_F(StoreTest, DefaultsToTheHomeConfigFolder) {
  std::string home = m_dir + "/home";
  std::string oldHome = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  store::Close();
  EXPECT_EQ(store::DatabasePath(), home + "/.config/velmora/registry.db");
  RegCloseKey(Create(HKEY_CURRENT_USER, "K"));
  struct stat st;
  EXPECT_EQ(stat((home + "/.config/velmora/registry.db").c_str(), &st), 0);
  store::Close();
  setenv("HOME", oldHome.c_str(), 1);
}

// The settings are the user's alone: their folder 0700, the database and the
// -wal and -shm files beside it 0600, even under a umask of 0, and what an
// older client left open is closed to others with every value kept. Modes
// do not stop root, who runs these tests, so the modes themselves are checked.
TEST_F(StoreTest, SettingsAreReadableByTheUserAlone) {
  auto modeOf = [](const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
  };
  const std::string folder = m_dir + "/velmora";
  mode_t oldMask = umask(0);
  HKEY h = Create(HKEY_CURRENT_USER, "Software\\Velmora");
  EXPECT_EQ(RegSetString(h, "UserName", "secret"), ERROR_SUCCESS);
  EXPECT_EQ(modeOf(folder), 0700);
  EXPECT_EQ(modeOf(DbPath()), 0600);
  EXPECT_EQ(modeOf(DbPath() + "-wal"), 0600);  // present while the store is open
  EXPECT_EQ(modeOf(DbPath() + "-shm"), 0600);
  RegCloseKey(h);
  store::Close();

  // As an older client left them: everything open to everyone.
  for (const std::string& path : {DbPath(), DbPath() + "-wal", DbPath() + "-shm", folder}) {
    if (modeOf(path) < 0) continue;
    ASSERT_EQ(chmod(path.c_str(), path == folder ? 0777 : 0666), 0) << path;
  }
  umask(oldMask);
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Velmora", 0, KEY_READ, &h), ERROR_SUCCESS);
  std::string s;
  EXPECT_EQ(RegQueryString(h, "UserName", &s), ERROR_SUCCESS);
  EXPECT_EQ(s, "secret");
  RegCloseKey(h);
  EXPECT_FALSE(store::UsingMemoryFallback());
  EXPECT_EQ(modeOf(folder), 0700);
  EXPECT_EQ(modeOf(DbPath()), 0600);
  EXPECT_EQ(modeOf(DbPath() + "-wal"), 0600);
  EXPECT_EQ(modeOf(DbPath() + "-shm"), 0600);
  EXPECT_EQ(modeOf(m_dir), 0700);  // the shared folder above keeps its mode (mkdtemp's)
}

// A settings folder that belongs to another user is neither used nor changed:
// the store keeps its values in memory and says so.
TEST_F(StoreTest, AnotherUsersSettingsFolderIsLeftAlone) {
  const std::string folder = m_dir + "/velmora";
  ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
  ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
  if (chown(folder.c_str(), 65534, 65534) != 0) GTEST_SKIP() << "cannot give a folder to another user here";
  ::testing::internal::CaptureStderr();
  HKEY h = Create(HKEY_CURRENT_USER, "K");
  EXPECT_EQ(RegSetDword(h, "v", 1), ERROR_SUCCESS);
  RegCloseKey(h);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(store::UsingMemoryFallback());
  EXPECT_NE(err.find("not this user's alone"), std::string::npos) << err;
  struct stat st;
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0777u);
  EXPECT_NE(stat(DbPath().c_str(), &st), 0);  // nothing planted in it
}

}  // namespace
