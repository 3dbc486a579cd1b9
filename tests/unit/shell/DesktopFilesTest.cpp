// The user's desktop folder as xdg-user-dir finds it, the text of desktop
// entries (escapes and Exec quoting, read back the way launchers read them),
// and files created only when missing.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/shell/DesktopEntry.h"
#include "platform/shell/DesktopFiles.h"
#include "platform/shell/UserDirs.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

class TempHome : public ::testing::Test {
 protected:
  void SetUp() override {
    // No blank in it: xdg-user-dir does not quote its config folder.
    char tmpl[] = "/tmp/torvane-desktop-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_dir = tmpl;
    for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DESKTOP_DIR"}) {
      const char* v = getenv(var);
      m_saved.emplace_back(var, v ? std::optional<std::string>(v) : std::nullopt);
    }
    setenv("HOME", (m_dir + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
    unsetenv("XDG_DESKTOP_DIR");
    fs::create_directories(m_dir + "/home");
    fs::create_directories(m_dir + "/config");
  }
  void TearDown() override {
    for (const auto& [var, value] : m_saved) {
      if (value)
        setenv(var.c_str(), value->c_str(), 1);
      else
        unsetenv(var.c_str());
    }
    fs::remove_all(m_dir);
  }
  // The folder xdg-user-dir DESKTOP prints here; nothing when the tool is missing.
  static std::optional<std::string> ToolSays() {
    if (access("/usr/bin/xdg-user-dir", X_OK) != 0) return std::nullopt;
    FILE* p = popen("/usr/bin/xdg-user-dir DESKTOP", "r");
    if (!p) return std::nullopt;
    char buf[4096] = {};
    std::string out;
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
    if (!out.empty() && out.back() == '\n') out.pop_back();
    // The same folder: the client drops trailing slashes, the tool keeps them.
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
  }
  std::string m_dir;
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(TempHome, DesktopFolderIsWhatXdgUserDirPrints) {
  const std::string home = m_dir + "/home";
  struct Case {
    const char* file;  // user-dirs.dirs, or nullptr for none
    std::string expected;
    bool toolAgrees;  // xdg-user-dir sources the file as a shell script; odd lines differ
  };
  const Case cases[] = {
      {nullptr, home + "/Desktop", true},
      {"XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n", home + "/Schreibtisch", true},
      {"# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
       "XDG_DESKTOP_DIR=\"$HOME/桌面 文件\"\n",
       home + "/桌面 文件", true},
      {"XDG_DESKTOP_DIR=\"/srv/desk/\"\n", "/srv/desk", true},
      {"XDG_DESKTOP_DIR=\"$HOME/one\"\nXDG_DESKTOP_DIR=\"$HOME/two\"\n", home + "/two", true},
      {"XDG_DESKTOP_DIR=\"$HOME/\"\n", home, true},
      {"  XDG_DESKTOP_DIR=$HOME/bare\n", home + "/bare", true},
      {"XDG_DESKTOP_DIR=\"$HOME/a\\\"b\\$HOME\"\n", home + "/a\"b$HOME", false},
      {"XDG_DESKTOP_DIR=\"relative/desk\"\n", home + "/Desktop", false},
      {"XDG_DESKTOP_DIR=\"$HOMEWORK\"\n", home + "/Desktop", false},
      {"XDG_DESKTOP_DIR=\"$HOME/unclosed\n", home + "/Desktop", false},
  };
  for (const Case& c : cases) {
    fs::remove(m_dir + "/config/user-dirs.dirs");
    if (c.file) WriteFile(m_dir + "/config/user-dirs.dirs", c.file);
    EXPECT_EQ(shell::DesktopFolder(), c.expected) << (c.file ? c.file : "(no file)");
    if (auto tool = c.toolAgrees ? ToolSays() : std::nullopt) {
      EXPECT_EQ(*tool, c.expected) << "xdg-user-dir, " << (c.file ? c.file : "(no file)");
    }
  }
}

TEST_F(TempHome, DesktopFolderFallsBackToTheEnvironmentAndTheDefaultConfigFolder) {
  setenv("XDG_DESKTOP_DIR", "/env/desk", 1);
  EXPECT_EQ(shell::DesktopFolder(), "/env/desk");
  if (auto tool = ToolSays()) {
    EXPECT_EQ(*tool, "/env/desk");
  }
  unsetenv("XDG_DESKTOP_DIR");

  // Without XDG_CONFIG_HOME the file is read from ~/.config.
  unsetenv("XDG_CONFIG_HOME");
  fs::create_directories(m_dir + "/home/.config");
  WriteFile(m_dir + "/home/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
  EXPECT_EQ(shell::DesktopFolder(), m_dir + "/home/Bureau");
}

// The Exec line as a launcher reads it: the key file's value escape undone,
// split as a shell would, then %% made %.
std::vector<std::string> LauncherArgv(const std::string& text) {
  GKeyFile* file = g_key_file_new();
  std::vector<std::string> argv;
  if (g_key_file_load_from_data(file, text.c_str(), text.size(), G_KEY_FILE_NONE, nullptr)) {
    char* exec = g_key_file_get_string(file, "Desktop Entry", "Exec", nullptr);
    int argc = 0;
    char** words = nullptr;
    if (exec && g_shell_parse_argv(exec, &argc, &words, nullptr)) {
      for (int i = 0; i < argc; ++i) {
        std::string w = words[i];
        std::string out;
        for (std::size_t k = 0; k < w.size(); ++k) {
          out += w[k];
          if (w[k] == '%' && k + 1 < w.size() && w[k + 1] == '%') ++k;
        }
        argv.push_back(out);
      }
      g_strfreev(words);
    }
    g_free(exec);
  }
  g_key_file_free(file);
  return argv;
}

std::string KeyValue(const std::string& text, const char* key) {
  GKeyFile* file = g_key_file_new();
  std::string value = "<missing>";
  if (g_key_file_load_from_data(file, text.c_str(), text.size(), G_KEY_FILE_NONE, nullptr)) {
    if (char* v = g_key_file_get_string(file, "Desktop Entry", key, nullptr)) {
      value = v;
      g_free(v);
    }
  }
  g_key_file_free(file);
  return value;
}

TEST(DesktopEntry, ExecBringsAnyPathBackUnchanged) {
  const char* paths[] = {
      "/home/p/games/client",
      "/home/p/my games/琥珀 航线",
      "/home/p/say \"hi\"/it's",
      "/home/p/$HOME/`id`/a;b|c&d>e<f",
      "/home/p/back\\slash\\\\two",
      "/home/p/100% sure %f %u",
      "/home/p/new\nline\tand tab",
      "/home/p/~tilde *star ?mark #hash",
  };
  for (const char* path : paths) {
    shell::DesktopEntry entry;
    entry.Set("Type", "Application");
    entry.Set("Name", "x");
    entry.SetExec({path, "--flag", "two words"});
    ASSERT_TRUE(entry.Ok()) << path;
    std::vector<std::string> expected = {path, "--flag", "two words"};
    EXPECT_EQ(LauncherArgv(entry.Text()), expected) << entry.Text();
  }
}

TEST(DesktopEntry, ValuesAreEscapedAndUnwritableOnesRefused) {
  shell::DesktopEntry entry;
  entry.Set("Type", "Link");
  entry.Set("Name", " 琥珀\\航线\n第二行\t!");
  entry.Set("URL", "http://example.test/a b?c=%20");
  ASSERT_TRUE(entry.Ok());
  std::string text = entry.Text();
  EXPECT_EQ(text,
            "[Desktop Entry]\nType=Link\nName=\\s琥珀\\\\航线\\n第二行\\t!\nURL=http://example.test/a b?c=%20\n");
  EXPECT_EQ(KeyValue(text, "Name"), " 琥珀\\航线\n第二行\t!");

  for (std::string bad : {std::string("a\x01z"), std::string("\xff\xfe"), std::string("a\x7f"), std::string("a\0b", 3)}) {
    shell::DesktopEntry broken;
    broken.Set("Name", "fine");
    broken.Set("Path", bad);
    EXPECT_FALSE(broken.Ok());
    EXPECT_EQ(broken.Text(), "");
  }
  shell::DesktopEntry noProgram;
  noProgram.SetExec({});
  EXPECT_FALSE(noProgram.Ok());
}

class NewFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torvane newfile XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_dir = tmpl;
  }
  void TearDown() override { fs::remove_all(m_dir); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(m_dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string m_dir;
};

TEST_F(NewFiles, CreatedOnceWithItsModeAndNeverReplaced) {
  const std::string path = m_dir + "/琥珀 航线.desktop";
  EXPECT_EQ(shell::CreateFileIfMissing(path, "first", 0755), shell::CreateResult::Created);
  EXPECT_EQ(ReadFile(path), "first");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);

  EXPECT_EQ(shell::CreateFileIfMissing(path, "second", 0644), shell::CreateResult::Exists);
  EXPECT_EQ(ReadFile(path), "first");
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);

  // Whatever holds the name stays: a folder, a link leading nowhere.
  fs::create_directory(m_dir + "/folder.desktop");
  EXPECT_EQ(shell::CreateFileIfMissing(m_dir + "/folder.desktop", "x", 0644), shell::CreateResult::Exists);
  ASSERT_EQ(symlink("/nonexistent/target", (m_dir + "/dangling.desktop").c_str()), 0);
  EXPECT_EQ(shell::CreateFileIfMissing(m_dir + "/dangling.desktop", "x", 0644), shell::CreateResult::Exists);
  EXPECT_FALSE(fs::exists("/nonexistent/target"));

  // No temporary file is ever left behind.
  std::vector<std::string> expected = {"dangling.desktop", "folder.desktop", "琥珀 航线.desktop"};
  EXPECT_EQ(Names(), expected);
}

TEST_F(NewFiles, AFolderThatCannotTakeTheFileFailsCleanly) {
  EXPECT_EQ(shell::CreateFileIfMissing(m_dir + "/missing/x.desktop", "x", 0644), shell::CreateResult::Failed);
  fs::create_directory(m_dir + "/ro");
  chmod((m_dir + "/ro").c_str(), 0555);
  if (geteuid() != 0) {
    EXPECT_EQ(shell::CreateFileIfMissing(m_dir + "/ro/x.desktop", "x", 0644), shell::CreateResult::Failed);
    EXPECT_TRUE(fs::is_empty(m_dir + "/ro"));
  }
  chmod((m_dir + "/ro").c_str(), 0755);
}

TEST_F(NewFiles, TrustedMarkWhereGioKeepsMetadata) {
  const std::string path = m_dir + "/launcher.desktop";
  ASSERT_EQ(shell::CreateFileIfMissing(path, "[Desktop Entry]\n", 0755), shell::CreateResult::Created);
  if (!shell::TrustedMarkAvailable(path)) {
    EXPECT_FALSE(shell::MarkTrusted(path));
    GTEST_SKIP() << "GIO keeps no file metadata on this machine (no gvfs); the mark is left out there";
  }
  EXPECT_FALSE(shell::IsMarkedTrusted(path));
  EXPECT_TRUE(shell::MarkTrusted(path));
  EXPECT_TRUE(shell::IsMarkedTrusted(path));
}

}  // namespace
