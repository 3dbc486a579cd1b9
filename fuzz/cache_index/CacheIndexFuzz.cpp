// libFuzzer target: the download cache's index file from untrusted bytes (a
// damaged disk, another program, an older client), read through the cache's
// own operations in a private cache folder that holds three cached files.
// The listing names only those files, with their real sizes; a lookup finds
// the newest entry of an address; removing an address takes exactly its
// files, and the index the removal writes reads back as the rest of the
// listing (so addresses of any bytes survive the index's escaping).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "fuzz/common/FuzzCheck.h"
#include "platform/base/Paths.h"
#include "platform/net/DownloadCache.h"

namespace {

struct CachedFile {
  const char* name;
  const char* content;
};
constexpr CachedFile kFiles[] = {
    {"0123456789abcdef0123456789abcdef-abc123", "12345"},
    {"fedcba9876543210FEDCBA9876543210-Z9y8X7.xml", "<VERSIONINFO/>"},
    {"00000000000000000000000000000000-000000.12345678", ""},
};

bool WriteFile(const std::string& path, const std::string& content) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  return close(fd) == 0 && ok;
}

// What the cache may name: <32 hex>-<6 letters or digits>[.<1 to 8 letters or digits>].
bool CacheFileName(const std::string& n) {
  auto alnum = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
  if (n.size() < 39 || n[32] != '-') return false;
  for (std::size_t i = 0; i < 32; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(n[i]))) return false;
  for (std::size_t i = 33; i < 39; ++i)
    if (!alnum(n[i])) return false;
  if (n.size() == 39) return true;
  if (n[39] != '.' || n.size() < 41 || n.size() > 48) return false;
  for (std::size_t i = 40; i < n.size(); ++i)
    if (!alnum(n[i])) return false;
  return true;
}

// The cache reports a damaged index on stderr: quiet while it reads.
class QuietStderr {
 public:
  QuietStderr() {
    std::fflush(stderr);
    saved_ = dup(2);
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(null, 2);
    close(null);
  }
  ~QuietStderr() {
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
  }

 private:
  int saved_ = -1;
};

net::DownloadCache& Cache() {
  static net::DownloadCache cache("fuzz");
  return cache;
}

bool SameEntry(const net::CacheEntry& a, const net::CacheEntry& b) {
  return a.url == b.url && a.path == b.path && a.size == b.size;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("XDG_CACHE_HOME", fuzz::PrivateFolder().c_str(), 1);
  FUZZ_CHECK(paths::MakeDirs(Cache().Folder()));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  net::DownloadCache& cache = Cache();
  const std::string folder = cache.Folder();
  for (const CachedFile& f : kFiles) FUZZ_CHECK(WriteFile(folder + "/" + f.name, f.content));
  FUZZ_CHECK(WriteFile(cache.IndexPath(), std::string(reinterpret_cast<const char*>(data), size)));

  std::vector<net::CacheEntry> before;
  {
    QuietStderr quiet;
    before = cache.Entries();
  }
  for (const net::CacheEntry& e : before) {
    FUZZ_CHECK(!e.url.empty());
    FUZZ_CHECK(e.path.size() > folder.size() + 1 && e.path.compare(0, folder.size() + 1, folder + "/") == 0);
    std::string name = e.path.substr(folder.size() + 1);
    FUZZ_CHECK(CacheFileName(name));
    struct stat st;
    FUZZ_CHECK(stat(e.path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == e.size);
  }
  if (before.empty()) return 0;

  // The newest entry of an address wins.
  const std::string url = before.front().url;
  std::string newest;
  std::set<std::string> removedFiles;
  for (const net::CacheEntry& e : before) {
    if (e.url != url) continue;
    newest = e.path;
    removedFiles.insert(e.path);
  }
  {
    QuietStderr quiet;
    FUZZ_CHECK(cache.Lookup(url) == newest);
  }

  // Removing the address takes its files and keeps everything else.
  std::vector<net::CacheEntry> expected;
  for (const net::CacheEntry& e : before)
    if (!removedFiles.count(e.path)) expected.push_back(e);
  std::vector<net::CacheEntry> after;
  {
    QuietStderr quiet;
    FUZZ_CHECK(cache.RemoveIf([&url](const std::string& u) { return u == url; }) >= 1);
    after = cache.Entries();
  }
  for (const std::string& path : removedFiles) FUZZ_CHECK(access(path.c_str(), F_OK) != 0);
  FUZZ_CHECK(after.size() == expected.size());
  for (std::size_t i = 0; i < after.size(); ++i) FUZZ_CHECK(SameEntry(after[i], expected[i]));
  return 0;
}
