// The executable takes the product's name beside itself ("client_10086(1)"
// as downloaded becomes "<title>"), so the next start, the shortcuts and the
// application menu all see the game's name. The launch tag was taken from the
// start-up name before this runs.
//
// The rename never happens where it would break something that is not the
// player's download: in a folder a package manager keeps (/usr, /opt, /snap),
// in a folder or of a file owned by someone else, in a folder that is not
// writable or that its owner made read-only (even for root), in a build tree
// (a CMakeCache.txt in the folder or above it: the build would otherwise make
// a fresh executable beside the renamed one at every build, and its run
// command would start a stale one; such a client leaves the desktop alone
// too, see RunShellSetup), or when TORVANE_KEEP_NAME is set to anything but
// "" or "0".
#include <glib.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "app/ShellSetup.h"

namespace {

// a and b name the same file on a desktop that ignores letter case.
bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (g_utf8_validate(a.data(), static_cast<gssize>(a.size()), nullptr) &&
      g_utf8_validate(b.data(), static_cast<gssize>(b.size()), nullptr)) {
    char* fa = g_utf8_casefold(a.data(), static_cast<gssize>(a.size()));
    char* fb = g_utf8_casefold(b.data(), static_cast<gssize>(b.size()));
    char* na = g_utf8_normalize(fa, -1, G_NORMALIZE_DEFAULT);
    char* nb = g_utf8_normalize(fb, -1, G_NORMALIZE_DEFAULT);
    bool same = na && nb && std::string(na) == nb;
    g_free(fa);
    g_free(fb);
    g_free(na);
    g_free(nb);
    return same;
  }
  return g_ascii_strcasecmp(a.c_str(), b.c_str()) == 0 && a.size() == b.size();
}

bool KeepNameRequested() {
  const char* keep = std::getenv("TORVANE_KEEP_NAME");
  return keep && *keep && std::string(keep) != "0";
}

bool InSystemFolder(const std::string& dir) {
  for (const char* root : {"/usr", "/opt", "/snap"}) {
    std::string r = root;
    if (dir == r || dir.compare(0, r.size() + 1, r + "/") == 0) return true;
  }
  return false;
}

}  // namespace

bool InBuildTree(const std::string& exePath) {
  struct stat st;
  std::size_t slash = exePath.rfind('/');
  if (slash == std::string::npos) return false;
  std::string d = slash == 0 ? "/" : exePath.substr(0, slash);
  while (true) {
    if (stat(((d == "/" ? "" : d) + "/CMakeCache.txt").c_str(), &st) == 0) return true;
    slash = d.rfind('/');
    if (d == "/" || slash == std::string::npos) return false;
    d = slash == 0 ? "/" : d.substr(0, slash);
  }
}

std::string ProductFileName(const std::string& title) {
  if (title.empty() || title == "." || title == "..") return {};
  std::string name = title;
  for (char& c : name)
    if (c == '/') c = '_';
  return name;
}

RenameResult RenameToProductName(const std::string& exePath, const std::string& productTitle) {
  RenameResult result{RenameOutcome::Failed, exePath};
  std::size_t slash = exePath.rfind('/');
  if (exePath.empty() || exePath[0] != '/' || slash == std::string::npos) return result;
  std::string dir = slash == 0 ? "/" : exePath.substr(0, slash);
  std::string current = exePath.substr(slash + 1);
  std::string name = ProductFileName(productTitle);
  auto refuse = [&](RenameOutcome why) {
    result.outcome = why;
    return result;
  };
  if (name.empty()) return refuse(RenameOutcome::NoProductName);
  if (SameNameIgnoringCase(current, name)) return refuse(RenameOutcome::AlreadyNamed);
  if (KeepNameRequested()) return refuse(RenameOutcome::KeptOnRequest);
  if (InSystemFolder(dir)) return refuse(RenameOutcome::SystemFolder);
  if (InBuildTree(exePath)) return refuse(RenameOutcome::BuildTree);
  struct stat folder, file;
  if (stat(dir.c_str(), &folder) != 0 || lstat(exePath.c_str(), &file) != 0) return refuse(RenameOutcome::Failed);
  if (folder.st_uid != geteuid() || file.st_uid != geteuid()) return refuse(RenameOutcome::NotOwned);
  if (!(folder.st_mode & S_IWUSR) || access(dir.c_str(), W_OK) != 0) return refuse(RenameOutcome::ReadOnlyFolder);

  // One step: a stale file of the product's name is replaced, never first
  // deleted and then found missing when the move fails. A folder of that name
  // makes the move fail and stays.
  std::string target = (dir == "/" ? "" : dir) + "/" + name;
  if (rename(exePath.c_str(), target.c_str()) != 0) return refuse(RenameOutcome::Failed);
  result.outcome = RenameOutcome::Renamed;
  result.exePath = target;
  return result;
}
