#include "platform/base/Paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace paths {
namespace {

constexpr mode_t kOthers = S_IRWXG | S_IRWXO;

// Closes an open file or folder of this user's to everyone else; false when
// it is another user's, not of the wanted kind, or cannot be changed.
bool TightenFd(int fd, bool wantDir) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  if (wantDir ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) return false;
  if (st.st_uid != geteuid()) return false;  // not ours: leave it alone
  if ((st.st_mode & kOthers) == 0) return true;
  // Ours, but open to others (made by an older version of the client, or
  // under a umask of 0): closed to them now, since what it holds is this
  // user's alone. The user's own bits stay (a file made read-only stays so).
  return fchmod(fd, st.st_mode & S_IRWXU) == 0;
}

// Creates one folder 0700 (or closes an existing one of ours to others).
bool PrivateDir(const std::string& dir) {
  bool created = mkdir(dir.c_str(), 0700) == 0;
  if (!created && errno != EEXIST) return false;
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  // The umask may have taken bits of our own: a new folder gets exactly 0700.
  bool ok = created ? fchmod(fd, 0700) == 0 : TightenFd(fd, true);
  close(fd);
  return ok;
}

}  // namespace

std::string Home() {
  const char* home = std::getenv("HOME");
  if (home && *home == '/') return home;
  std::vector<char> buf(16384);
  struct passwd pw;
  struct passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
      *found->pw_dir == '/')
    return found->pw_dir;
  return {};
}

namespace {

std::string XdgDir(const char* var, const char* fallback) {
  const char* value = std::getenv(var);
  if (value && *value == '/') return value;
  std::string home = Home();
  return home.empty() ? std::string() : home + "/" + fallback;
}

}  // namespace

std::string ExecutablePath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string ConfigHome() { return XdgDir("XDG_CONFIG_HOME", ".config"); }
std::string CacheHome() { return XdgDir("XDG_CACHE_HOME", ".cache"); }
std::string DataHome() { return XdgDir("XDG_DATA_HOME", ".local/share"); }

std::string VendorDir(const std::string& base) { return base + "/velmora"; }

bool MakeDirs(const std::string& dir) {
  if (dir.empty()) return false;
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0) MakeDirs(dir.substr(0, slash));
  if (mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return false;
}

bool MakePrivateDirs(const std::string& base, const std::string& sub) {
  if (base.empty() || !MakeDirs(base)) return false;
  std::string dir = base;
  std::size_t start = 0;
  bool any = false;
  while (start <= sub.size()) {
    std::size_t end = sub.find('/', start);
    if (end == std::string::npos) end = sub.size();
    std::string name = sub.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") return false;
    dir += "/" + name;
    any = true;
    if (!PrivateDir(dir)) return false;
  }
  return any;
}

bool MakePrivateFile(const std::string& path) {
  const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  int fd = open(path.c_str(), flags | O_CREAT | O_EXCL, 0600);
  bool created = fd >= 0;
  if (!created && errno == EEXIST) fd = open(path.c_str(), flags);
  if (fd < 0) return false;
  // The umask may have taken bits of our own: a new file gets exactly 0600.
  bool ok = created ? fchmod(fd, 0600) == 0 : TightenFd(fd, false);
  close(fd);
  return ok;
}

bool TightenPrivateFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT;
  bool ok = TightenFd(fd, false);
  close(fd);
  return ok;
}

}  // namespace paths
