#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "NetFixture.h"
#include "platform/net/DownloadCache.h"

namespace {

std::string ParentOf(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

TEST_F(NetTest, CacheDownloadsAreListedLookedUpAndRemovedByAddress) {
  net::DownloadCache cache("Product One");
  EXPECT_EQ(cache.Folder(), dir_ + "/cache/velmora/Product One");
  EXPECT_TRUE(cache.Entries().empty());

  std::string a, b;
  ASSERT_TRUE(cache.Download(Url("/test/bytes?n=1234"), {}, &a).ok);
  ASSERT_TRUE(cache.Download(Url("/update/version.xml?17"), {}, &b).ok);
  EXPECT_EQ(ParentOf(a), cache.Folder());
  EXPECT_EQ(ReadFile(a), Pattern(0, 1234));
  EXPECT_EQ(b.substr(b.size() - 4), ".xml");  // the address's extension is kept

  std::vector<net::CacheEntry> entries = cache.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].url, Url("/test/bytes?n=1234"));
  EXPECT_EQ(entries[0].path, a);
  EXPECT_EQ(entries[0].size, 1234);
  EXPECT_EQ(cache.Lookup(Url("/update/version.xml?17")), b);

  EXPECT_TRUE(cache.Remove(Url("/test/bytes?n=1234")));
  EXPECT_FALSE(std::filesystem::exists(a));
  EXPECT_FALSE(cache.Remove(Url("/test/bytes?n=1234")));
  EXPECT_EQ(cache.Lookup(Url("/test/bytes?n=1234")), "");
  ASSERT_EQ(cache.Entries().size(), 1u);

  // A file deleted behind the cache's back (the version check deletes its
  // copy) drops out of the listing.
  std::filesystem::remove(b);
  EXPECT_TRUE(cache.Entries().empty());
}

TEST_F(NetTest, NoAddressOrProductNameLeavesTheCacheFolder) {
  const std::string addresses[] = {
      Url("/../../../../tmp/escape"),
      Url("/test/bytes?n=3&name=/../../escape"),
      Url("/%2e%2e/%2e%2e/escape"),
      Url("/test/bytes?n=3#/../../x"),
      Url("/a/.."),
      Url("/test/bytes?n=3&ext=.sh/../../../x.sh"),
  };
  net::DownloadCache cache("../../evil/..");
  EXPECT_EQ(ParentOf(cache.Folder()), dir_ + "/cache/velmora");
  for (const std::string& url : addresses) {
    std::string path;
    testing::internal::CaptureStderr();
    cache.Download(url, {}, &path);
    testing::internal::GetCapturedStderr();
    if (!path.empty()) {
      EXPECT_EQ(ParentOf(path), cache.Folder()) << url;
    }
  }
  EXPECT_EQ(FilesIn(dir_), (std::vector<std::string>{"cache"}));
  EXPECT_EQ(FilesIn(dir_ + "/cache/velmora").size(), 1u);
}

TEST_F(NetTest, AFailedDownloadLeavesNoEntryAndNoFile) {
  net::DownloadCache cache("p");
  std::string path = "unchanged";
  for (const char* p : {"/test/status?code=404&body=x", "/test/reset?n=50000&after=1000"}) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(cache.Download(Url(p), {}, &path).ok);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("failed"), std::string::npos) << err;
    EXPECT_EQ(path, "");
  }
  EXPECT_TRUE(cache.Entries().empty());
  for (const std::string& name : FilesIn(cache.Folder()))
    EXPECT_TRUE(name == "index.lock" || name == "index") << name;
}

TEST_F(NetTest, ACorruptIndexIsReportedReadAsEmptyAndRewritten) {
  net::DownloadCache cache("p");
  std::string kept;
  ASSERT_TRUE(cache.Download(Url("/test/bytes?n=5"), {}, &kept).ok);
  const std::string corrupt[] = {
      "garbage\x01\x02\n",
      "torvane-download-cache 1\nno tabs here\n",
      "torvane-download-cache 1\n../../../etc/passwd\t5\thttp://x/\n",
      "torvane-download-cache 1\n" + std::filesystem::path(kept).filename().string() + "\t5x\thttp://x/\n",
      "torvane-download-cache 1\n" + std::filesystem::path(kept).filename().string() + "\t5\thttp://x/%zz\n",
  };
  for (const std::string& content : corrupt) {
    WriteFile(cache.IndexPath(), content);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(cache.Entries().empty());
    EXPECT_FALSE(cache.Remove("http://x/"));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("corrupt"), std::string::npos) << content;
  }
  EXPECT_TRUE(std::filesystem::exists("/etc/passwd"));
  std::string fresh;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(cache.Download(Url("/test/bytes?n=6"), {}, &fresh).ok);
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(cache.Entries().size(), 1u);
  EXPECT_EQ(cache.Entries()[0].path, fresh);
}

TEST_F(NetTest, AddressesWithControlCharactersSurviveTheIndex) {
  net::DownloadCache cache("p");
  std::string url = Url("/test/bytes?n=4&a=%25%09tab");  // '%' and an escaped tab stay as sent
  std::string path;
  ASSERT_TRUE(cache.Download(url, {}, &path).ok);
  ASSERT_EQ(cache.Entries().size(), 1u);
  EXPECT_EQ(cache.Entries()[0].url, url);
}

TEST_F(NetTest, TwoProcessesSharingTheCacheLoseNoEntry) {
  constexpr int kPerProcess = 12;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      net::DownloadCache cache("shared");
      int failures = 0;
      for (int i = 0; i < kPerProcess; ++i) {
        std::string path;
        std::string url = Url("/test/bytes?n=" + std::to_string(100 + i) + "&from=" + std::to_string(c));
        if (!cache.Download(url, {}, &path).ok) ++failures;
        if (i % 3 == 2 && !cache.Remove(url)) ++failures;  // removals interleave with the other's inserts
      }
      _exit(failures == 0 ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  net::DownloadCache cache("shared");
  std::set<std::string> urls;
  for (const net::CacheEntry& e : cache.Entries()) {
    urls.insert(e.url);
    EXPECT_EQ(ReadFile(e.path).size(), static_cast<size_t>(e.size));
  }
  EXPECT_EQ(urls.size(), 2u * (kPerProcess - kPerProcess / 3));
}

int ModeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

// The cache holds what the user downloaded (update packages among it): its
// folders are 0700 and everything in them 0600, even under a umask of 0, and
// a folder an older client left open is closed to others. Modes do not stop
// root, who runs these tests, so the modes themselves are checked.
TEST_F(NetTest, TheCacheIsReadableByTheUserAlone) {
  net::DownloadCache cache("Product One");
  const std::string vendor = ParentOf(cache.Folder());
  mode_t oldMask = umask(0);
  std::string a;
  ASSERT_TRUE(cache.Download(Url("/test/bytes?n=100"), {}, &a).ok);
  umask(oldMask);
  EXPECT_EQ(ModeOf(vendor), 0700);
  EXPECT_EQ(ModeOf(cache.Folder()), 0700);
  for (const std::string& name : FilesIn(cache.Folder())) EXPECT_EQ(ModeOf(cache.Folder() + "/" + name), 0600) << name;
  EXPECT_EQ(FilesIn(cache.Folder()).size(), 3u);  // the download, the index and its lock: no temporary left

  ASSERT_EQ(chmod(vendor.c_str(), 0755), 0);
  ASSERT_EQ(chmod(cache.Folder().c_str(), 0777), 0);
  std::string b;
  ASSERT_TRUE(cache.Download(Url("/test/bytes?n=200"), {}, &b).ok);
  EXPECT_EQ(ModeOf(vendor), 0700);
  EXPECT_EQ(ModeOf(cache.Folder()), 0700);
  EXPECT_EQ(cache.Lookup(Url("/test/bytes?n=100")), a);  // nothing lost on the way
}

// A cache folder of another user is neither written into nor changed.
TEST_F(NetTest, AnotherUsersCacheFolderIsNotUsed) {
  net::DownloadCache cache("Product One");
  std::filesystem::create_directories(cache.Folder());
  ASSERT_EQ(chmod(cache.Folder().c_str(), 0777), 0);
  if (chown(cache.Folder().c_str(), 65534, 65534) != 0) GTEST_SKIP() << "cannot give a folder to another user here";
  std::string path;
  testing::internal::CaptureStderr();
  net::TransferResult r = cache.Download(Url("/test/bytes?n=100"), {}, &path);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(path, "");
  EXPECT_NE(err.find("not this user's alone"), std::string::npos) << err;
  EXPECT_TRUE(FilesIn(cache.Folder()).empty());
  EXPECT_EQ(ModeOf(cache.Folder()), 0777);
}

}  // namespace
