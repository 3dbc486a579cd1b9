// Where the client's files live, and the private folders and files it makes
// there. The tests run as root, whom modes do not stop, so they check the
// modes themselves; another user's folder is made with chown.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/base/Paths.h"

namespace {

constexpr uid_t kOtherUser = 65534;  // nobody

class PathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torvane-paths-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    oldMask_ = umask(022);
  }
  void TearDown() override {
    umask(oldMask_);
    std::filesystem::remove_all(dir_);
  }

  // The permission bits of path, -1 when it is absent.
  static int ModeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
  }
  static void Write(const std::string& path, const std::string& text, mode_t mode) {
    std::ofstream(path) << text;
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Gives path to another user; false (and the test skips) where that is not allowed.
  static bool GiveAway(const std::string& path) { return chown(path.c_str(), kOtherUser, kOtherUser) == 0; }

  std::string dir_;
  mode_t oldMask_ = 0;
};

// Whatever the umask takes away, new folders and files are exactly 0700 and
// 0600: a umask of 0 would open them to everyone, one of 0277 would lock the
// user out of their own settings.
TEST_F(PathsTest, NewFoldersAndFilesArePrivateWhateverTheUmask) {
  for (mode_t mask : {00, 022, 077, 0277}) {
    SCOPED_TRACE(mask);
    std::string base = dir_ + "/m" + std::to_string(mask);
    umask(mask);
    ASSERT_TRUE(paths::MakePrivateDirs(base, "velmora/Product One/webkit"));
    ASSERT_TRUE(paths::MakePrivateFile(base + "/velmora/registry.db"));
    umask(022);
    EXPECT_EQ(ModeOf(base + "/velmora"), 0700);
    EXPECT_EQ(ModeOf(base + "/velmora/Product One"), 0700);
    EXPECT_EQ(ModeOf(base + "/velmora/Product One/webkit"), 0700);
    EXPECT_EQ(ModeOf(base + "/velmora/registry.db"), 0600);
  }
}

// Folders an older client (or a umask of 0) left open are closed to others;
// the owner's own bits stay, and the shared base above them keeps its mode.
TEST_F(PathsTest, OurOpenFoldersAreClosedToOthersAndTheBaseIsLeftAlone) {
  struct Case {
    mode_t before, after;
  };
  const Case cases[] = {{0777, 0700}, {0755, 0700}, {0711, 0700}, {0750, 0700}, {0700, 0700}, {0500, 0500}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.before));
    std::string base = dir_ + "/b" + std::to_string(c.before);
    ASSERT_TRUE(paths::MakeDirs(base + "/velmora/p"));
    ASSERT_EQ(chmod(base.c_str(), 0755), 0);
    ASSERT_EQ(chmod((base + "/velmora").c_str(), c.before), 0);
    ASSERT_EQ(chmod((base + "/velmora/p").c_str(), c.before), 0);
    EXPECT_TRUE(paths::MakePrivateDirs(base, "velmora/p"));
    EXPECT_EQ(ModeOf(base + "/velmora"), static_cast<int>(c.after));
    EXPECT_EQ(ModeOf(base + "/velmora/p"), static_cast<int>(c.after));
    EXPECT_EQ(ModeOf(base), 0755);
  }
}

TEST_F(PathsTest, AnotherUsersFolderIsNotTouchedAndNotUsed) {
  std::string base = dir_ + "/base";
  ASSERT_TRUE(paths::MakeDirs(base + "/velmora"));
  ASSERT_EQ(chmod((base + "/velmora").c_str(), 0777), 0);
  if (!GiveAway(base + "/velmora")) GTEST_SKIP() << "cannot give a folder to another user here";
  EXPECT_FALSE(paths::MakePrivateDirs(base, "velmora/p"));
  EXPECT_EQ(ModeOf(base + "/velmora"), 0777);
  EXPECT_EQ(ModeOf(base + "/velmora/p"), -1);  // nothing made inside it either
}

TEST_F(PathsTest, NoPrivateFolderWhereThereIsNoneToMake) {
  Write(dir_ + "/file", "x", 0644);
  struct Case {
    const char* name;
    std::string base, sub;
  } const cases[] = {
      {"empty base (no home)", "", "velmora/p"},
      {"nothing below the base", dir_, ""},
      {"a file in the way", dir_, "file/p"},
      {"a file as the base", dir_ + "/file", "velmora"},
      {"climbing out of the base", dir_ + "/inner", "../escape"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(paths::MakePrivateDirs(c.base, c.sub));
  }
  EXPECT_EQ(ModeOf(dir_ + "/escape"), -1);
  EXPECT_EQ(Read(dir_ + "/file"), "x");
}

TEST_F(PathsTest, ExistingFilesOfOursLoseOthersBitsAndKeepTheirContent) {
  struct Case {
    mode_t before, after;
  };
  const Case cases[] = {{0666, 0600}, {0644, 0600}, {0640, 0600}, {0600, 0600}, {0444, 0400}, {0755, 0700}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.before));
    std::string made = dir_ + "/made" + std::to_string(c.before);
    std::string tightened = dir_ + "/tight" + std::to_string(c.before);
    Write(made, "settings", c.before);
    Write(tightened, "wal", c.before);
    EXPECT_TRUE(paths::MakePrivateFile(made));
    EXPECT_TRUE(paths::TightenPrivateFile(tightened));
    EXPECT_EQ(ModeOf(made), static_cast<int>(c.after));
    EXPECT_EQ(ModeOf(tightened), static_cast<int>(c.after));
    EXPECT_EQ(Read(made), "settings");
    EXPECT_EQ(Read(tightened), "wal");
  }
}

TEST_F(PathsTest, OnlyRegularFilesOfOursAreMadePrivate) {
  std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  ASSERT_EQ(mkdir((dir_ + "/folder").c_str(), 0755), 0);
  EXPECT_FALSE(paths::MakePrivateFile(fifo));  // and does not wait for a writer
  EXPECT_FALSE(paths::TightenPrivateFile(fifo));
  EXPECT_FALSE(paths::MakePrivateFile(dir_ + "/folder"));
  EXPECT_FALSE(paths::MakePrivateFile(dir_ + "/absent-folder/file"));
  EXPECT_EQ(ModeOf(fifo), 0666 & ~022);
  EXPECT_EQ(ModeOf(dir_ + "/folder"), 0755);

  // An absent file is private already and is not created by a tightening.
  EXPECT_TRUE(paths::TightenPrivateFile(dir_ + "/absent"));
  EXPECT_EQ(ModeOf(dir_ + "/absent"), -1);

  std::string theirs = dir_ + "/theirs";
  Write(theirs, "theirs", 0644);
  if (!GiveAway(theirs)) GTEST_SKIP() << "cannot give a file to another user here";
  EXPECT_FALSE(paths::MakePrivateFile(theirs));
  EXPECT_FALSE(paths::TightenPrivateFile(theirs));
  EXPECT_EQ(ModeOf(theirs), 0644);
  EXPECT_EQ(Read(theirs), "theirs");
}

// Without HOME the folders come from the user's entry in the password
// database, never from a folder every user shares such as /tmp.
TEST_F(PathsTest, WithoutHomeTheFoldersAreTheUsersOwn) {
  std::string oldHome = getenv("HOME") ? getenv("HOME") : "";
  std::string oldConfig = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
  std::string oldCache = getenv("XDG_CACHE_HOME") ? getenv("XDG_CACHE_HOME") : "";
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_CACHE_HOME");
  struct passwd* pw = getpwuid(geteuid());
  ASSERT_NE(pw, nullptr);
  std::string own = pw->pw_dir;
  for (const char* home : {static_cast<const char*>(nullptr), "", "relative/home"}) {
    SCOPED_TRACE(home ? home : "(unset)");
    if (home) setenv("HOME", home, 1);
    else unsetenv("HOME");
    EXPECT_EQ(paths::Home(), own);
    EXPECT_EQ(paths::ConfigHome(), own + "/.config");
    EXPECT_EQ(paths::CacheHome(), own + "/.cache");
    EXPECT_EQ(paths::ConfigHome().rfind("/tmp", 0), std::string::npos);
  }
  setenv("HOME", (dir_ + "/home").c_str(), 1);
  EXPECT_EQ(paths::CacheHome(), dir_ + "/home/.cache");
  setenv("HOME", oldHome.c_str(), 1);
  if (!oldConfig.empty()) setenv("XDG_CONFIG_HOME", oldConfig.c_str(), 1);
  if (!oldCache.empty()) setenv("XDG_CACHE_HOME", oldCache.c_str(), 1);
}

}  // namespace
