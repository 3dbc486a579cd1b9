#include "platform/net/DownloadCache.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/base/Paths.h"

namespace net {
namespace {

// Index file: a header line, then one line an entry:
//   <file name> TAB <size> TAB <address, with '%' and control bytes as %XX>
constexpr const char* kIndexHeader = "torvane-download-cache 1";

struct Row {
  std::string file;
  long long size = 0;
  std::string url;
};

std::mutex g_defaultMutex;
std::string g_defaultProduct = "default";

std::string SafeComponent(const std::string& name) {
  std::string s;
  for (unsigned char c : name) s += (c < 0x20 || c == 0x7f || c == '/') ? '_' : static_cast<char>(c);
  if (s.size() > 200) {
    size_t cut = 200;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;  // keep UTF-8 whole
    s.resize(cut);
  }
  if (s.empty() || s == "." || s == "..") s = "_";
  return s;
}

std::string EscapeUrl(const std::string& url) {
  std::string r;
  char buf[4];
  for (unsigned char c : url) {
    if (c == '%' || c < 0x20 || c == 0x7f) {
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      r += buf;
    } else {
      r += static_cast<char>(c);
    }
  }
  return r;
}

bool UnescapeUrl(const std::string& s, std::string* out) {
  out->clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      *out += s[i];
      continue;
    }
    if (i + 2 >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i + 1])) ||
        !std::isxdigit(static_cast<unsigned char>(s[i + 2])))
      return false;
    *out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
    i += 2;
  }
  return true;
}

bool IsAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// <32 hex digits>-<6 letters or digits>[.<1 to 8 letters or digits>]: the only
// names the cache writes, and so the only ones it will touch.
bool ValidFileName(const std::string& n) {
  if (n.size() < 39 || n[32] != '-') return false;
  for (size_t i = 0; i < 32; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(n[i]))) return false;
  for (size_t i = 33; i < 39; ++i)
    if (!IsAlnum(n[i])) return false;
  if (n.size() == 39) return true;
  if (n[39] != '.' || n.size() < 41 || n.size() > 48) return false;
  for (size_t i = 40; i < n.size(); ++i)
    if (!IsAlnum(n[i])) return false;
  return true;
}

std::string Sha256Hex(const std::string& data) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(data.data(), data.size(), md, &len, EVP_sha256(), nullptr);
  std::string hex;
  char buf[3];
  for (unsigned i = 0; i < len; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", md[i]);
    hex += buf;
  }
  return hex;
}

// ".xml" for ".../version.xml?123": the address's last path segment's
// extension when it is 1 to 8 letters or digits, else "".
std::string ExtensionOf(const std::string& url) {
  std::string path = url.substr(0, url.find_first_of("?#"));
  size_t scheme = path.find("://");
  if (scheme != std::string::npos) {
    size_t slash = path.find('/', scheme + 3);
    path = slash == std::string::npos ? "" : path.substr(slash);
  }
  std::string last = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
  size_t dot = last.find_last_of('.');
  if (dot == std::string::npos) return "";
  std::string ext = last.substr(dot + 1);
  if (ext.empty() || ext.size() > 8) return "";
  for (char c : ext)
    if (!IsAlnum(c)) return "";
  return "." + ext;
}

bool FileExists(const std::string& path, long long* size = nullptr) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (size) *size = static_cast<long long>(st.st_size);
  return true;
}

// Holds the folder's lock file locked (exclusive or shared) while alive.
class IndexLock {
 public:
  IndexLock(const std::string& folder, bool exclusive) {
    std::string path = folder + "/index.lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      std::fprintf(stderr, "torvane: cannot open the download cache lock %s: %s\n", path.c_str(),
                   std::strerror(errno));
      return;
    }
    while (flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      if (errno != EINTR) {
        std::fprintf(stderr, "torvane: cannot lock %s: %s\n", path.c_str(), std::strerror(errno));
        ::close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~IndexLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Reads the index; a missing index is empty, a corrupt one is reported and
// read as empty.
std::vector<Row> ReadIndex(const std::string& path) {
  std::vector<Row> rows;
  std::ifstream in(path, std::ios::binary);
  if (!in) return rows;
  std::string line;
  int lineNo = 0;
  auto corrupt = [&](const char* why) {
    std::fprintf(stderr, "torvane: the download cache index %s is corrupt (line %d: %s); treating it as empty\n",
                 path.c_str(), lineNo, why);
    rows.clear();
    return rows;
  };
  if (!std::getline(in, line)) return rows;  // an empty file: nothing yet
  lineNo = 1;
  if (line != kIndexHeader) return corrupt("unknown header");
  while (std::getline(in, line)) {
    ++lineNo;
    if (line.empty()) continue;
    size_t t1 = line.find('\t');
    size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    if (t2 == std::string::npos) return corrupt("missing fields");
    Row r;
    r.file = line.substr(0, t1);
    if (!ValidFileName(r.file)) return corrupt("bad file name");
    std::string size = line.substr(t1 + 1, t2 - t1 - 1);
    if (size.empty() || size.size() > 18 || size.find_first_not_of("0123456789") != std::string::npos)
      return corrupt("bad size");
    r.size = std::stoll(size);
    if (!UnescapeUrl(line.substr(t2 + 1), &r.url) || r.url.empty()) return corrupt("bad address");
    rows.push_back(std::move(r));
  }
  return rows;
}

// Makes <cache home>/velmora/<product> and its vendor folder private to this
// user (0700; an older, open one of ours is closed to others). What it holds
// (the index, downloads and their temporary files) is created 0600.
bool MakeCacheFolder(const std::string& folder) {
  std::size_t product = folder.find_last_of('/');
  std::size_t vendor = product == std::string::npos || product == 0 ? std::string::npos
                                                                     : folder.find_last_of('/', product - 1);
  if (vendor == std::string::npos) return false;
  return paths::MakePrivateDirs(folder.substr(0, vendor), folder.substr(vendor + 1));
}

}  // namespace

bool DownloadCache::MakePrivateFolder() const { return MakeCacheFolder(folder_); }

namespace {

// Replaces the index atomically with rows whose files still exist.
bool WriteIndex(const std::string& folder, const std::vector<Row>& rows) {
  std::string tmp = folder + "/.index-XXXXXX";
  std::string content = std::string(kIndexHeader) + "\n";
  for (const Row& r : rows) {
    if (!FileExists(folder + "/" + r.file)) continue;
    content += r.file + "\t" + std::to_string(r.size) + "\t" + EscapeUrl(r.url) + "\n";
  }
  int fd = mkostemp(tmp.data(), O_CLOEXEC);  // a new file of its own, 0600
  bool ok = fd >= 0;
  const char* p = content.data();
  size_t left = content.size();
  while (ok && left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (fd >= 0 && ::close(fd) != 0) ok = false;
  if (ok && ::rename(tmp.c_str(), (folder + "/index").c_str()) != 0) ok = false;
  if (!ok) {
    std::fprintf(stderr, "torvane: cannot write the download cache index in %s: %s\n", folder.c_str(),
                 std::strerror(errno));
    if (fd >= 0) ::unlink(tmp.c_str());
  }
  return ok;
}

}  // namespace

void DownloadCache::SetDefaultProduct(const std::string& product) {
  std::lock_guard<std::mutex> lock(g_defaultMutex);
  g_defaultProduct = product;
}

std::string DownloadCache::DefaultProduct() {
  std::lock_guard<std::mutex> lock(g_defaultMutex);
  return g_defaultProduct;
}

DownloadCache::DownloadCache(const std::string& product)
    : folder_(paths::VendorDir(paths::CacheHome()) + "/" + SafeComponent(product)) {}

TransferResult DownloadCache::Download(const std::string& url, const TransferOptions& options, std::string* path) {
  path->clear();
  TransferResult r;
  if (!MakeCacheFolder(folder_)) {
    r.error = "cannot create the folder " + folder_ + ", or it is not this user's alone";
    std::fprintf(stderr, "torvane: download of %s failed: %s\n", url.substr(0, 200).c_str(), r.error.c_str());
    return r;
  }
  std::string part = folder_ + "/.dl-XXXXXX";
  int fd = mkostemp(part.data(), O_CLOEXEC);
  if (fd < 0) {
    r.error = "cannot create a file in " + folder_ + ": " + std::strerror(errno);
    std::fprintf(stderr, "torvane: download of %s failed: %s\n", url.substr(0, 200).c_str(), r.error.c_str());
    return r;
  }
  r = DownloadToFd(url, fd, options);
  if (::close(fd) != 0 && r.ok) {
    r.ok = false;
    r.error = std::string("cannot write the file: ") + std::strerror(errno);
  }
  std::string name = Sha256Hex(url).substr(0, 32) + "-" + part.substr(part.size() - 6) + ExtensionOf(url);
  std::string final = folder_ + "/" + name;
  if (r.ok && ::rename(part.c_str(), final.c_str()) != 0) {
    r.ok = false;
    r.error = "cannot move the download into " + folder_ + ": " + std::strerror(errno);
  }
  if (!r.ok) {
    ::unlink(part.c_str());
    if (!r.cancelled)
      std::fprintf(stderr, "torvane: download of %s failed: %s\n", url.substr(0, url.find('?')).substr(0, 200).c_str(),
                   r.error.c_str());
    return r;
  }
  {
    IndexLock lock(folder_, true);
    if (lock.Held()) {
      std::vector<Row> rows = ReadIndex(IndexPath());
      rows.push_back(Row{name, r.bytes, url});
      WriteIndex(folder_, rows);
    }
  }
  *path = final;
  return r;
}

bool DownloadCache::Remove(const std::string& url) {
  if (!FileExists(IndexPath())) return false;
  IndexLock lock(folder_, true);
  if (!lock.Held()) return false;
  std::vector<Row> rows = ReadIndex(IndexPath());
  std::vector<Row> kept;
  bool found = false;
  for (Row& r : rows) {
    if (r.url == url) {
      ::unlink((folder_ + "/" + r.file).c_str());
      found = true;
    } else {
      kept.push_back(std::move(r));
    }
  }
  if (found) WriteIndex(folder_, kept);
  return found;
}

std::size_t DownloadCache::RemoveIf(const std::function<bool(const std::string& url)>& match, std::size_t limit) {
  if (limit == 0 || !FileExists(IndexPath())) return 0;
  IndexLock lock(folder_, true);
  if (!lock.Held()) return 0;
  std::vector<Row> rows = ReadIndex(IndexPath());
  std::vector<Row> kept;
  std::size_t removed = 0;
  for (Row& r : rows) {
    if (removed < limit && match(r.url)) {
      ::unlink((folder_ + "/" + r.file).c_str());
      ++removed;
    } else {
      kept.push_back(std::move(r));
    }
  }
  if (removed > 0) WriteIndex(folder_, kept);
  return removed;
}

std::vector<CacheEntry> DownloadCache::Entries() const {
  std::vector<CacheEntry> entries;
  if (!FileExists(IndexPath())) return entries;
  IndexLock lock(folder_, false);
  if (!lock.Held()) return entries;
  for (const Row& r : ReadIndex(IndexPath())) {
    std::string p = folder_ + "/" + r.file;
    long long size = 0;
    if (FileExists(p, &size)) entries.push_back(CacheEntry{r.url, p, size});
  }
  return entries;
}

std::string DownloadCache::Lookup(const std::string& url) const {
  std::string found;
  for (const CacheEntry& e : Entries())
    if (e.url == url) found = e.path;
  return found;
}

}  // namespace net
