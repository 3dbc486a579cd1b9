#include "platform/base/Paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace paths {
namespace {

std::string Home() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/tmp";
}

std::string XdgDir(const char* var, const char* fallback) {
  const char* value = std::getenv(var);
  if (value && *value == '/') return value;
  return Home() + "/" + fallback;
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

}  // namespace paths
