// The browser and shell set-up of the client's start-up, each step driven
// against temporary folders (HOME, the XDG folders, copied executables):
// the product name and its guards, the desktop shortcuts, the feature values,
// the plug-in lookup and its installer; then whole clients started as a
// player's download and from the build tree.
#include <gio/gdesktopappinfo.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/ClientConfig.h"
#include "app/ShellSetup.h"
#include "app/TorvaneApp.h"
#include "platform/base/Resources.h"
#include "platform/store/RegString.h"
#include "platform/store/Registry.h"
#include "tests/support/TestFiles.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr const char* kTitle = "琥珀 Route 航线";
constexpr const char* kGwLink = "Route 官网";
constexpr const char* kGwUrl = "http://127.0.0.1:9/site.html?a=1&b=%20";

std::string Bin(const std::string& name) {
  const char* dir = std::getenv("TORVANE_TEST_BIN");
  return dir ? std::string(dir) + "/" + name : name;
}

// name="value" for a CONFIG element, the value escaped for XML.
std::string Attr(const char* name, const std::string& value) {
  std::string out = std::string(" ") + name + "=\"";
  for (char c : value) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out + "\"";
}

// A value of the [Desktop Entry] group as a launcher reads it, "<missing>" when absent.
std::string EntryValue(const std::string& path, const char* key) {
  GKeyFile* file = g_key_file_new();
  std::string value = "<missing>";
  if (g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_NONE, nullptr)) {
    if (char* v = g_key_file_get_string(file, "Desktop Entry", key, nullptr)) {
      value = v;
      g_free(v);
    }
  }
  g_key_file_free(file);
  return value;
}

// The program of a launcher's Exec line, as a launcher splits it.
std::string ExecProgram(const std::string& path) {
  std::string exec = EntryValue(path, "Exec");
  int argc = 0;
  char** argv = nullptr;
  std::string program = "<unparsable>";
  if (g_shell_parse_argv(exec.c_str(), &argc, &argv, nullptr)) {
    program = argc == 1 ? argv[0] : "<" + std::to_string(argc) + " words>";
    g_strfreev(argv);
  }
  return program;
}

// desktop-file-validate's complaints about a file ("" when clean); nothing
// when the tool is missing.
std::optional<std::string> Validate(const std::string& path) {
  if (access("/usr/bin/desktop-file-validate", X_OK) != 0) return std::nullopt;
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  FILE* p = popen(("/usr/bin/desktop-file-validate " + quoted + " 2>&1; echo \"exit $?\"").c_str(), "r");
  if (!p) return std::nullopt;
  std::string out;
  char buf[1024];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  pclose(p);
  return out == "exit 0\n" ? "" : out;
}

struct FileState {
  std::string content;
  ino_t inode = 0;
  timespec mtime{};
  mode_t mode = 0;
  bool operator==(const FileState& o) const {
    return content == o.content && inode == o.inode && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && mode == o.mode;
  }
};
FileState StateOf(const std::string& path) {
  struct stat st {};
  FileState s;
  if (lstat(path.c_str(), &st) != 0) return s;
  s.content = ReadFile(path);
  s.inode = st.st_ino;
  s.mtime = st.st_mtim;
  s.mode = st.st_mode & 07777;
  return s;
}

// Waits until path holds at least n lines (a started program writes them).
std::size_t WaitForLines(const std::string& path, std::size_t n) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::size_t lines = 0;
  while (true) {
    std::string text = ReadFile(path);
    lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    if (lines >= n || std::chrono::steady_clock::now() > deadline) return lines;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

class ShellSetup : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torvane-shell-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_dir = tmpl;
    m_home = m_dir + "/home";
    m_data = m_dir + "/data";
    fs::create_directories(m_home);
    setenv("HOME", m_home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", m_data.c_str(), 1);
    setenv("XDG_CACHE_HOME", (m_dir + "/cache").c_str(), 1);
    unsetenv("XDG_DESKTOP_DIR");
    unsetenv("TORVANE_KEEP_NAME");
    ClientConfig::ResetForTesting();
    res::testing::Reset();
    store::Close();
  }
  void TearDown() override {
    ClientConfig::ResetForTesting();
    res::testing::Reset();
    store::Close();
    unsetenv("TORVANE_KEEP_NAME");
    // Folders a case made read-only or gave away come back, so they can go.
    for (const auto& e : fs::recursive_directory_iterator(m_dir, fs::directory_options::skip_permission_denied)) {
      if (e.is_directory() && !e.is_symlink()) chmod(e.path().c_str(), 0755);
      lchown(e.path().c_str(), geteuid(), getegid());
    }
    fs::remove_all(m_dir);
  }

  // The configuration with the given CONFIG attributes instead of the embedded one.
  ClientConfig* UseConfig(const std::string& attributes) {
    res::testing::Override("XML", 400,
                           "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<CLIENTCONFIG><CONFIG " + attributes +
                               "/></CLIENTCONFIG>\n");
    ClientConfig::ResetForTesting();
    return ClientConfig::Get();
  }
  ClientConfig* UseFixtureConfig() {
    return UseConfig(Attr("userClientAbout", kTitle) + Attr("gwLink", kGwLink) + Attr("gwUrl", kGwUrl));
  }

  // An executable file (a script that records how it was started) at path.
  std::string MakeExe(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, "#!/bin/sh\nprintf '%s\\n%s\\n' \"$0\" \"$PWD\" > \"" + m_dir + "/started\"\n");
    chmod(path.c_str(), 0755);
    return path;
  }

  ShellPlaces Places(const std::string& exe) const { return {exe, m_home + "/Desktop", m_data}; }
  std::string Desktop(const std::string& name) const { return m_home + "/Desktop/" + name + ".desktop"; }
  std::string AppEntry(const std::string& title) const {
    return m_data + "/applications/Velmora." + title + ".1.desktop";
  }
  std::string Icon(const std::string& title) const {
    return m_data + "/icons/hicolor/128x128/apps/Velmora." + title + ".1.png";
  }
  // Every file below folder, relative to it, sorted.
  static std::vector<std::string> FilesBelow(const std::string& folder) {
    std::vector<std::string> files;
    if (!fs::exists(folder)) return files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
      if (!e.is_directory()) files.push_back(fs::relative(e.path(), folder).string());
    std::sort(files.begin(), files.end());
    return files;
  }

  std::string m_dir, m_home, m_data;
};

// --- the product name ---------------------------------------------------------

TEST_F(ShellSetup, RenameTakesTheProductNameOnlyWhereItIsSafe) {
  enum class Setup { None, StaleFile, StaleLink, ProductFolder, ReadOnly, BuildTree, OtherOwner, KeepName, KeepNameZero };
  struct Case {
    const char* what;
    const char* title;
    const char* exe;  // below m_dir/games
    Setup setup;
    RenameOutcome outcome;
    const char* finalName;  // below m_dir/games, where the executable is afterwards
  };
  const Case cases[] = {
      {"a player's second download", "Amber", "client_10086(1)", Setup::None, RenameOutcome::Renamed, "Amber"},
      {"blanks and Chinese", kTitle, "client_10086.bin", Setup::None, RenameOutcome::Renamed, kTitle},
      {"the same name in another letter case", "Amber Route", "AMBER route", Setup::None,
       RenameOutcome::AlreadyNamed, "AMBER route"},
      {"letter case beyond ASCII", "Ärger Straße", "äRGER STRASSE", Setup::None, RenameOutcome::AlreadyNamed,
       "äRGER STRASSE"},
      {"already named", kTitle, kTitle, Setup::None, RenameOutcome::AlreadyNamed, kTitle},
      {"a stale product file is replaced", "Amber", "client_7", Setup::StaleFile, RenameOutcome::Renamed, "Amber"},
      {"a stale link is replaced, not followed", "Amber", "client_7", Setup::StaleLink, RenameOutcome::Renamed,
       "Amber"},
      {"a folder of the product's name stays", "Amber", "client_7", Setup::ProductFolder, RenameOutcome::Failed,
       "client_7"},
      {"a read-only folder", "Amber", "client_7", Setup::ReadOnly, RenameOutcome::ReadOnlyFolder, "client_7"},
      {"a build tree", "Amber", "build/bin/torvane", Setup::BuildTree, RenameOutcome::BuildTree, "build/bin/torvane"},
      {"a folder of another user", "Amber", "client_7", Setup::OtherOwner, RenameOutcome::NotOwned, "client_7"},
      {"asked to keep the name", "Amber", "client_7", Setup::KeepName, RenameOutcome::KeptOnRequest, "client_7"},
      {"TORVANE_KEEP_NAME=0 keeps nothing", "Amber", "client_7", Setup::KeepNameZero, RenameOutcome::Renamed,
       "Amber"},
      {"a slash in the title", "Amber/Route", "client_7", Setup::None, RenameOutcome::Renamed, "Amber_Route"},
      {"no title", "", "client_7", Setup::None, RenameOutcome::NoProductName, "client_7"},
      {"a title of dots", "..", "client_7", Setup::None, RenameOutcome::NoProductName, "client_7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string games = m_dir + "/games";
    fs::remove_all(games);
    const std::string exe = MakeExe(games + "/" + c.exe);
    const std::string program = ReadFile(exe);
    const std::string product = games + "/" + ProductFileName(c.title);
    const std::string elsewhere = m_dir + "/elsewhere";
    WriteFile(elsewhere, "not the client");
    switch (c.setup) {
      case Setup::StaleFile: WriteFile(product, "an old client"); break;
      case Setup::StaleLink: fs::create_symlink(elsewhere, product); break;
      case Setup::ProductFolder: fs::create_directories(product + "/data"); break;
      case Setup::ReadOnly: chmod(games.c_str(), 0555); break;
      case Setup::BuildTree: WriteFile(games + "/build/CMakeCache.txt", "# CMake\n"); break;
      case Setup::OtherOwner:
        if (chown(games.c_str(), 65534, 65534) != 0) {
          std::printf("case skipped: giving a folder to another user needs root\n");
          continue;
        }
        break;
      case Setup::KeepName: setenv("TORVANE_KEEP_NAME", "1", 1); break;
      case Setup::KeepNameZero: setenv("TORVANE_KEEP_NAME", "0", 1); break;
      case Setup::None: break;
    }

    RenameResult result = RenameToProductName(exe, c.title);
    unsetenv("TORVANE_KEEP_NAME");
    chmod(games.c_str(), 0755);
    lchown(games.c_str(), geteuid(), getegid());

    EXPECT_EQ(result.outcome, c.outcome);
    const std::string final = games + "/" + c.finalName;
    EXPECT_EQ(result.exePath, final);
    EXPECT_EQ(ReadFile(final), program) << "the executable is at " << final;
    if (final != exe) {
      EXPECT_FALSE(fs::exists(exe)) << "the old name is gone";
    }
    EXPECT_EQ(ReadFile(elsewhere), "not the client");
    if (c.setup == Setup::ProductFolder) {
      EXPECT_TRUE(fs::is_directory(product + "/data"));
    }
  }
}

TEST_F(ShellSetup, RenameNeverTouchesWhatAPackageManagerKeeps) {
  // Nothing is looked at there; none of these exists.
  for (const char* exe : {"/usr/local/games/amber/client_1", "/usr/client_1", "/opt/amber/client_1",
                          "/snap/amber/12/client_1"}) {
    RenameResult result = RenameToProductName(exe, "Amber");
    EXPECT_EQ(result.outcome, RenameOutcome::SystemFolder) << exe;
    EXPECT_EQ(result.exePath, exe);
  }
  // Near misses are no system folders.
  const std::string exe = MakeExe(m_dir + "/usrfiles/opt/client_1");
  EXPECT_EQ(RenameToProductName(exe, "Amber").outcome, RenameOutcome::Renamed);
  EXPECT_EQ(RenameToProductName("", "Amber").outcome, RenameOutcome::Failed);
  EXPECT_EQ(RenameToProductName("client_1", "Amber").outcome, RenameOutcome::Failed);
}

// --- the desktop shortcuts -----------------------------------------------------

TEST_F(ShellSetup, FirstStartCreatesTheShortcutsAndLaterStartsChangeNothing) {
  ClientConfig* config = UseFixtureConfig();
  const std::string exe = MakeExe(m_dir + "/my games/" + kTitle);
  CreateDesktopShortcuts(*config, Places(exe), exe);

  const std::string product = Desktop(kTitle), link = Desktop(kGwLink), entry = AppEntry(kTitle), icon = Icon(kTitle);
  const std::string programClass = CTorvaneApp::AppId(kTitle);
  for (const std::string& path : {product, entry}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(EntryValue(path, "Type"), "Application");
    EXPECT_EQ(EntryValue(path, "Name"), kTitle);
    EXPECT_EQ(ExecProgram(path), exe);
    EXPECT_EQ(EntryValue(path, "Path"), m_dir + "/my games");
    EXPECT_EQ(EntryValue(path, "Icon"), programClass);
    EXPECT_EQ(EntryValue(path, "StartupWMClass"), programClass);
  }
  EXPECT_EQ(programClass, std::string("Velmora.") + kTitle + ".1");
  EXPECT_EQ(EntryValue(link, "Type"), "Link");
  EXPECT_EQ(EntryValue(link, "Name"), kGwLink);
  EXPECT_EQ(EntryValue(link, "URL"), kGwUrl);
  EXPECT_EQ(EntryValue(link, "Icon"), programClass);
  auto resource = res::Find("ICON", 128);
  ASSERT_TRUE(resource);
  EXPECT_EQ(ReadFile(icon), std::string(reinterpret_cast<const char*>(resource->data()), resource->size()));
  // Desktops start launchers on the desktop only with their run bit.
  EXPECT_EQ(StateOf(product).mode, 0755u);
  EXPECT_EQ(StateOf(link).mode, 0755u);
  EXPECT_EQ(StateOf(entry).mode, 0644u);

  std::vector<FileState> before;
  for (const std::string& path : {product, link, entry, icon}) before.push_back(StateOf(path));
  const auto files = FilesBelow(m_dir);
  CreateDesktopShortcuts(*config, Places(exe), exe);
  std::vector<FileState> after;
  for (const std::string& path : {product, link, entry, icon}) after.push_back(StateOf(path));
  EXPECT_TRUE(before == after) << "an existing file was written again";
  EXPECT_EQ(FilesBelow(m_dir), files);
}

TEST_F(ShellSetup, ADeletedShortcutComesBackAndAChangedOneIsKept) {
  ClientConfig* config = UseFixtureConfig();
  const std::string exe = MakeExe(m_dir + "/games/" + kTitle);
  CreateDesktopShortcuts(*config, Places(exe), exe);
  const std::string firstLink = ReadFile(Desktop(kGwLink));
  ASSERT_FALSE(firstLink.empty());

  WriteFile(Desktop(kTitle), "[Desktop Entry]\nType=Application\nName=Mine\nExec=/bin/true\n");
  fs::remove(Desktop(kGwLink));
  fs::remove(Icon(kTitle));
  CreateDesktopShortcuts(*config, Places(exe), exe);
  EXPECT_EQ(ReadFile(Desktop(kTitle)), "[Desktop Entry]\nType=Application\nName=Mine\nExec=/bin/true\n");
  EXPECT_EQ(ReadFile(Desktop(kGwLink)), firstLink);
  EXPECT_TRUE(fs::exists(Icon(kTitle)));
}

TEST_F(ShellSetup, EveryFilePassesDesktopFileValidateAndTheLauncherStartsTheClient) {
  if (access("/usr/bin/desktop-file-validate", X_OK) != 0)
    GTEST_SKIP() << "desktop-file-validate is missing (Debian package desktop-file-utils, tools/setup.sh)";
  struct Case {
    const char* folder;  // below m_dir
    const char* title;
    const char* gwLink;
  };
  const Case cases[] = {
      {"games", kTitle, kGwLink},
      {"say \"hi\" it's $HOME `id`", "Amber; Route & Co", "Amber | site"},
      {"back\\slash 100% %f", "100% Amber \\o/", "\\ 50% off"},
      {"new\nline\tand tab", " leading blank", "#hash ~tilde"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    fs::remove_all(m_home);
    fs::remove_all(m_data);
    ClientConfig* config =
        UseConfig(Attr("userClientAbout", c.title) + Attr("gwLink", c.gwLink) + Attr("gwUrl", kGwUrl));
    ASSERT_EQ(config->GetUserClientAbout(), c.title);
    const std::string exe = MakeExe(m_dir + "/" + c.folder + "/" + ProductFileName(c.title));
    CreateDesktopShortcuts(*config, Places(exe), exe);
    for (const std::string& path : {Desktop(ProductFileName(c.title)), Desktop(ProductFileName(c.gwLink)),
                                    AppEntry(ProductFileName(c.title))}) {
      ASSERT_TRUE(fs::exists(path)) << path;
      EXPECT_EQ(Validate(path).value_or(""), "") << path;
    }

    // The desktop's launcher starts the executable in its folder, as a desktop
    // would. GLib looks for the program under its Exec word before "%%"
    // becomes "%", so it cannot load a launcher of a path with '%' (the entry
    // is still what the format asks for, and validates).
    if (std::string(c.folder).find('%') != std::string::npos) continue;
    fs::remove(m_dir + "/started");
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(Desktop(ProductFileName(c.title)).c_str());
    ASSERT_NE(info, nullptr);
    GPid pid = 0;
    GError* error = nullptr;
    bool launched = g_desktop_app_info_launch_uris_as_manager(
        info, nullptr, nullptr, GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr, nullptr,
        [](GDesktopAppInfo*, GPid p, gpointer out) { *static_cast<GPid*>(out) = p; }, &pid, &error);
    EXPECT_TRUE(launched) << (error ? error->message : "");
    if (error) g_error_free(error);
    g_object_unref(info);
    ASSERT_GT(pid, 0);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(ReadFile(m_dir + "/started"), exe + "\n" + m_dir + "/" + c.folder + "\n");
  }
}

TEST_F(ShellSetup, BadNamesAndPathsLeaveNoWrongFile) {
  struct Case {
    const char* what;
    std::string config;
    std::string exe;  // below m_dir
    std::vector<std::string> expected;  // every file below m_home/Desktop afterwards
  };
  const std::string url = Attr("gwUrl", "http://127.0.0.1:9/");
  const Case cases[] = {
      {"no title: no launcher, the link still", "userClientAbout=\"\" gwLink=\"Site\" " + url, "games/client_1",
       {"Site.desktop"}},
      {"no link name", "userClientAbout=\"Amber\" gwLink=\"\" " + url, "games/Amber", {"Amber.desktop"}},
      {"no website", "userClientAbout=\"Amber\" gwLink=\"Site\" gwUrl=\"\"", "games/Amber", {"Amber.desktop"}},
      {"names cannot leave the desktop", "userClientAbout=\"../../Amber\" gwLink=\"../../../escape\" " + url,
       "games/.._.._Amber", {".._.._.._escape.desktop", ".._.._Amber.desktop"}},
      {"a path that is not UTF-8", "userClientAbout=\"Amber\" gwLink=\"Site\" " + url, "games\xff\xfe/Amber",
       {"Site.desktop"}},
      {"a path with a control character", "userClientAbout=\"Amber\" gwLink=\"Site\" " + url, "ga\x01mes/Amber",
       {"Site.desktop"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(m_home);
    fs::remove_all(m_data);
    fs::create_directories(m_home);
    ClientConfig* config = UseConfig(c.config);
    const std::string exe = MakeExe(m_dir + "/" + c.exe);
    CreateDesktopShortcuts(*config, Places(exe), exe);
    EXPECT_EQ(FilesBelow(m_home + "/Desktop"), c.expected);
    for (const std::string& name : c.expected) EXPECT_EQ(Validate(m_home + "/Desktop/" + name).value_or(""), "");
    EXPECT_FALSE(fs::exists(m_dir + "/escape.desktop"));
    EXPECT_FALSE(fs::exists(m_dir + "/Amber.desktop"));
  }
}

TEST_F(ShellSetup, AnIconResourceTheThemeCannotTakeChangesOnlyTheIconKey) {
  // A PNG of a size the theme does not look up by name: its file is named.
  std::string png100("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x64\0\0\0\x64\x08\x06\0\0\0", 29);
  struct Case {
    const char* what;
    std::optional<std::string> icon;  // nothing: no icon resource at all
    std::string installed;            // below m_data, "" for none
    bool iconByPath;
  };
  const Case cases[] = {
      {"no icon resource", std::nullopt, "", false},
      {"not a PNG", std::string("GIF89a not a png at all......"), "", false},
      {"a PNG of 100 pixels", png100, std::string("icons/hicolor/100x100/apps/Velmora.") + kTitle + ".1.png", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(m_home);
    fs::remove_all(m_data);
    if (c.icon)
      res::testing::Override("ICON", 128, *c.icon);
    else
      res::testing::Remove("ICON", 128);
    ClientConfig* config = UseFixtureConfig();
    const std::string exe = MakeExe(m_dir + "/games/" + kTitle);
    CreateDesktopShortcuts(*config, Places(exe), exe);
    std::vector<std::string> icons;
    for (const std::string& f : FilesBelow(m_data))
      if (f.rfind("icons/", 0) == 0) icons.push_back(f);
    EXPECT_EQ(icons, c.installed.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.installed});
    std::string expectedKey = c.installed.empty() ? "<missing>" : m_data + "/" + c.installed;
    for (const std::string& path : {Desktop(kTitle), Desktop(kGwLink), AppEntry(kTitle)}) {
      EXPECT_EQ(EntryValue(path, "Icon"), expectedKey) << path;
      EXPECT_EQ(Validate(path).value_or(""), "") << path;
    }
  }
}

TEST_F(ShellSetup, ABuildTreesClientKeepsItsNameAndLeavesTheDesktopAlone) {
  ClientConfig* config = UseFixtureConfig();
  fs::create_directories(m_dir + "/src");
  WriteFile(m_dir + "/src/CMakeCache.txt", "# CMake\n");
  for (const std::string& name : {std::string("build/bin/torvane"), std::string("build/bin/") + kTitle}) {
    SCOPED_TRACE(name);
    const std::string exe = MakeExe(m_dir + "/src/" + name);
    EXPECT_TRUE(InBuildTree(exe));
    RunShellSetup(*config, Places(exe));
    EXPECT_TRUE(fs::exists(exe));
    EXPECT_EQ(FilesBelow(m_dir + "/src/build/bin"), std::vector<std::string>{fs::path(name).filename().string()});
    fs::remove(exe);
    EXPECT_TRUE(FilesBelow(m_home).empty());
    EXPECT_TRUE(FilesBelow(m_data).empty());
  }
  EXPECT_FALSE(InBuildTree(m_dir + "/games/client_1"));
  EXPECT_FALSE(InBuildTree("client_1"));
}

TEST_F(ShellSetup, OnlyTheClientsLoadRunsTheSetUpAndOnlyOnce) {
  fs::create_directories(m_dir + "/config");
  WriteFile(m_dir + "/config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
  const std::string feature = std::string(kFeatureControlKey) + "\\FEATURE_GPU_RENDERING";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, feature.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string selfName = fs::path(self).filename().string();
  auto written = [&] {
    DWORD value = 0;
    return RegQueryDword(key, selfName.c_str(), &value) == ERROR_SUCCESS;
  };

  ClientConfig* config = ClientConfig::Get();
  EXPECT_FALSE(written()) << "reading the configuration ran the set-up";
  EXPECT_TRUE(FilesBelow(m_home).empty());

  ShellPlaces places = ShellPlaces::ForThisProcess();
  EXPECT_EQ(places.desktopDir, m_home + "/桌面");
  EXPECT_EQ(places.dataHome, m_data);
  EXPECT_EQ(places.exePath, self);

  // The test program plays the client: the set-up runs, and since the program
  // lies in its build tree it keeps its name and writes nothing on the desktop.
  EXPECT_EQ(ClientConfig::GetForClient(), config);
  EXPECT_TRUE(written());
  EXPECT_TRUE(fs::exists(self));
  EXPECT_FALSE(fs::exists(fs::path(self).parent_path() / config->GetUserClientAbout()));
  EXPECT_TRUE(FilesBelow(m_home).empty());

  RegDeleteValue(key, selfName.c_str());
  ClientConfig::GetForClient();
  EXPECT_FALSE(written()) << "the set-up runs once per process";
  RegCloseKey(key);
}

// --- feature values ---------------------------------------------------------------

class FeatureValues : public ShellSetup {
 protected:
  static std::string Key(const char* feature) { return std::string(kFeatureControlKey) + "\\" + feature; }
  static void CreateKey(const char* feature) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, Key(feature).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                             nullptr),
              ERROR_SUCCESS);
    RegCloseKey(h);
  }
  static void SetValue(const char* feature, const char* name, DWORD type, const std::string& data) {
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, Key(feature).c_str(), 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
    if (type == REG_DWORD)
      RegSetDword(h, name, static_cast<DWORD>(std::stoul(data)));
    else
      RegSetString(h, name, data, type);
    RegCloseKey(h);
  }
  // "TYPE data" of a value, "<no key>" or "<no value>".
  static std::string Value(const char* feature, const char* name) {
    HKEY h = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, Key(feature).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "<no key>";
    std::string out = "<no value>";
    DWORD dword = 0;
    std::string text;
    if (RegQueryDword(h, name, &dword) == ERROR_SUCCESS)
      out = "REG_DWORD " + std::to_string(dword);
    else if (RegQueryString(h, name, &text) == ERROR_SUCCESS)
      out = "REG_SZ " + text;
    RegCloseKey(h);
    return out;
  }
};

TEST_F(FeatureValues, WrittenOnlyIntoExistingKeysAndNeverOverADword) {
  for (const char* f : {"FEATURE_BROWSER_EMULATION", "FEATURE_GPU_RENDERING", "FEATURE_LOCALMACHINE_LOCKDOWN",
                        "FEATURE_MAXCONNECTIONSPER1_0SERVER", "FEATURE_SCRIPTURL_MITIGATION"})
    CreateKey(f);
  SetValue("FEATURE_GPU_RENDERING", "client_5", REG_DWORD, "7");
  SetValue("FEATURE_LOCALMACHINE_LOCKDOWN", "client_5", REG_SZ, "1");
  SetValue("FEATURE_SCRIPTURL_MITIGATION", "other.exe", REG_DWORD, "3");

  WriteFeatureControls("client_5");

  struct Row {
    const char* feature;
    const char* name;
    std::string expected;
  };
  const Row rows[] = {
      {"FEATURE_BROWSER_EMULATION", "client_5", "REG_DWORD 9999"},
      {"FEATURE_GPU_RENDERING", "client_5", "REG_DWORD 7"},
      {"FEATURE_LOCALMACHINE_LOCKDOWN", "client_5", "REG_DWORD 0"},
      {"FEATURE_MAXCONNECTIONSPER1_0SERVER", "client_5", "REG_DWORD 6"},
      {"FEATURE_SCRIPTURL_MITIGATION", "client_5", "REG_DWORD 1"},
      {"FEATURE_SCRIPTURL_MITIGATION", "other.exe", "REG_DWORD 3"},
      {"FEATURE_MAXCONNECTIONSPERSERVER", "client_5", "<no key>"},
      {"FEATURE_ALIGNED_TIMERS", "client_5", "<no key>"},
      {"FEATURE_ALLOW_HIGHFREQ_TIMERS", "client_5", "<no key>"},
      {"FEATURE_BEHAVIORS", "client_5", "<no key>"},
      {"FEATURE_OBJECT_CACHING", "client_5", "<no key>"},
  };
  for (const Row& r : rows) EXPECT_EQ(Value(r.feature, r.name), r.expected) << r.feature << " " << r.name;

  // Without a name nothing lands on a key's default value.
  WriteFeatureControls("");
  EXPECT_EQ(Value("FEATURE_GPU_RENDERING", ""), "<no value>");
}

TEST_F(FeatureValues, NoFeatureKeyIsEverCreated) {
  WriteFeatureControls("client_5");
  HKEY h = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Microsoft", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
}

TEST_F(FeatureValues, EmulationValueFollowsTheEngineMajorVersion) {
  const std::pair<unsigned, DWORD> table[] = {{0, 9999},  {2, 9999},   {7, 9999},   {8, 8888},
                                              {9, 9999},  {10, 10001}, {11, 11000}, {12, 9999}};
  for (const auto& [major, value] : table) EXPECT_EQ(BrowserEmulationValueFor(major), value) << major;
  // The running engine is WebKitGTK 2.x.
  EXPECT_EQ(webkit_get_major_version(), 2u);
  EXPECT_EQ(GetBrowserEmulationValue(), 9999u);
}

TEST_F(FeatureValues, TheValueIsNamedAfterTheStartNameAfterTheRename) {
  ClientConfig* config = UseFixtureConfig();
  CreateKey("FEATURE_GPU_RENDERING");
  const std::string exe = MakeExe(m_dir + "/games/client_10086(1)");
  RunShellSetup(*config, Places(exe));
  EXPECT_TRUE(fs::exists(m_dir + "/games/" + kTitle));
  EXPECT_EQ(Value("FEATURE_GPU_RENDERING", "client_10086(1)"), "REG_DWORD 1");
  EXPECT_EQ(Value("FEATURE_GPU_RENDERING", kTitle), "<no value>");
  // The shortcuts start the renamed executable.
  EXPECT_EQ(ExecProgram(Desktop(kTitle)), m_dir + "/games/" + kTitle);
}

// --- the plug-in ---------------------------------------------------------------------

TEST_F(ShellSetup, PluginServerIsTheClassKeysDefaultValue) {
  struct Case {
    const char* what;
    std::function<void(HKEY)> set;  // nullptr: no key
    std::string expected;
  };
  const Case cases[] = {
      {"not registered", nullptr, ""},
      {"a path", [](HKEY h) { RegSetString(h, "", "/home/p/.plugin/amber.so"); }, "/home/p/.plugin/amber.so"},
      {"an expandable path", [](HKEY h) { RegSetString(h, "", "/home/p/amber.so", REG_EXPAND_SZ); },
       "/home/p/amber.so"},
      {"a number", [](HKEY h) { RegSetDword(h, "", 5); }, ""},
      {"only a named value", [](HKEY h) { RegSetString(h, "ThreadingModel", "Apartment"); }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID");
    if (c.set) {
      HKEY h = nullptr;
      ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, kPluginServerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                               nullptr),
                ERROR_SUCCESS);
      c.set(h);
      RegCloseKey(h);
    }
    ClientConfig* config = UseFixtureConfig();
    FindPluginServer(*config);
    EXPECT_EQ(config->m_strPluginPath, c.expected);
  }
}

TEST_F(ShellSetup, InstallerStartsAtEveryStartWhileThePluginIsMissing) {
  const std::string app = m_dir + "/my games";
  const std::string runs = m_dir + "/runs";
  fs::create_directories(app + "/plugin");
  WriteFile(app + "/plugin/setup.sh", "#!/bin/sh\necho run >> \"" + runs + "\"\n");
  chmod((app + "/plugin/setup.sh").c_str(), 0755);
  const std::string plugin = m_dir + "/plugin/amber.so";  // registered, not there

  for (std::size_t start = 1; start <= 3; ++start) {
    EXPECT_TRUE(RunPluginInstallerCheck(plugin, "\\plugin\\setup.sh", app));
    EXPECT_EQ(WaitForLines(runs, start), start);
  }
  EXPECT_TRUE(RunPluginInstallerCheck("", "\\plugin\\setup.sh", app)) << "nothing registered";
  EXPECT_EQ(WaitForLines(runs, 4), 4u);
  EXPECT_FALSE(RunPluginInstallerCheck(plugin, "", app)) << "no installer configured";

  fs::create_directories(m_dir + "/plugin");
  WriteFile(plugin, "installed");
  EXPECT_FALSE(RunPluginInstallerCheck(plugin, "\\plugin\\setup.sh", app)) << "the plug-in is there";
  EXPECT_FALSE(RunPluginInstallerCheck(plugin, "/plugin/missing.sh", app));
}

// --- whole clients ---------------------------------------------------------------------

class ClientFirstRun : public ShellSetup {
 protected:
  // Starts a client with the temporary folders, waits for its loop, ends it
  // with SIGTERM; its exit status.
  int RunClient(const std::string& exe) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    std::vector<std::string> envs;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      if (entry.rfind("TORVANE_READY_FD=", 0) != 0) envs.push_back(entry);
    }
    envs.push_back("TORVANE_READY_FD=" + std::to_string(fds[1]));
    envs.push_back("TORVANE_BACKEND=headless");
    envs.push_back("TORVANE_WEB_EXTENSIONS_DIR=" + Bin("web-extensions"));
    std::vector<char*> envp;
    for (auto& e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = exe;
    char* argv[] = {program.data(), nullptr};
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    close(fds[1]);
    char buf[16];
    ssize_t n = read(fds[0], buf, sizeof buf);
    close(fds[0]);
    if (n > 0) kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_GT(n, 0) << exe << " never reached its loop";
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(ClientFirstRun, APlayersDownloadTakesTheProductNameAndTheNextStartChangesNothing) {
  const std::string games = m_dir + "/下载 games";
  const std::string download = games + "/client_10086(1)";
  const std::string product = games + "/" + kTitle;
  const std::string runs = m_dir + "/installer runs";
  fs::create_directories(games + "/plugin");
  fs::copy_file(Bin("torvane-shell-fixture"), download);
  WriteFile(games + "/plugin/setup.sh", "#!/bin/sh\necho \"$0\" >> \"" + runs + "\"\n");
  chmod((games + "/plugin/setup.sh").c_str(), 0755);

  EXPECT_EQ(RunClient(download), 0);
  EXPECT_FALSE(fs::exists(download));
  ASSERT_TRUE(fs::exists(product));
  EXPECT_EQ(ExecProgram(Desktop(kTitle)), product);
  EXPECT_EQ(ExecProgram(AppEntry(kTitle)), product);
  EXPECT_EQ(EntryValue(Desktop(kGwLink), "URL"), kGwUrl);
  EXPECT_EQ(WaitForLines(runs, 1), 1u) << "the plug-in installer starts while the plug-in is missing";

  std::vector<FileState> before;
  const std::vector<std::string> files = {Desktop(kTitle), Desktop(kGwLink), AppEntry(kTitle), Icon(kTitle)};
  for (const std::string& f : files) before.push_back(StateOf(f));
  const ino_t inode = StateOf(product).inode;

  EXPECT_EQ(RunClient(product), 0);
  EXPECT_EQ(StateOf(product).inode, inode);
  std::vector<FileState> after;
  for (const std::string& f : files) after.push_back(StateOf(f));
  EXPECT_TRUE(before == after) << "the second start changed a shortcut";
  EXPECT_EQ(WaitForLines(runs, 2), 2u) << "the installer starts at every start";
  EXPECT_EQ(ReadFile(runs), games + "/plugin/setup.sh\n" + games + "/plugin/setup.sh\n");
}

TEST_F(ClientFirstRun, TheBuildTreesClientKeepsItsNameRunAfterRun) {
  const std::string client = Bin("torvane");
  const ino_t inode = StateOf(client).inode;
  EXPECT_EQ(RunClient(client), 0);
  EXPECT_EQ(RunClient(client), 0);
  EXPECT_EQ(StateOf(client).inode, inode);
  ClientConfig* config = ClientConfig::Get();
  EXPECT_FALSE(fs::exists(fs::path(client).parent_path() / config->GetUserClientAbout()));
  // Nothing on the desktop or in the menu, whatever HOME says.
  EXPECT_TRUE(FilesBelow(m_home).empty());
  EXPECT_FALSE(fs::exists(m_data + "/applications"));
  EXPECT_FALSE(fs::exists(m_data + "/icons"));
}

}  // namespace
