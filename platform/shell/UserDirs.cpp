#include "platform/shell/UserDirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>

namespace shell {
namespace {

std::string DropTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The value of one "XDG_DESKTOP_DIR=..." assignment as the shell reads it
// (quotes removed, escapes applied, "$HOME" at the start replaced); nothing
// when it is not of the form the user-dirs file allows.
std::optional<std::string> ReadValue(const std::string& raw, const std::string& home) {
  std::string value;
  bool quoted = !raw.empty() && raw[0] == '"';
  if (quoted) {
    bool closed = false;
    for (std::size_t i = 1; i < raw.size(); ++i) {
      char c = raw[i];
      if (c == '\\' && i + 1 < raw.size() &&
          (raw[i + 1] == '"' || raw[i + 1] == '\\' || raw[i + 1] == '$' || raw[i + 1] == '`')) {
        // An escaped '$' is a literal one: mark it so that it is not taken for $HOME.
        value += raw[i + 1] == '$' ? '\x01' : raw[i + 1];
        ++i;
      } else if (c == '"') {
        closed = true;
        break;
      } else {
        value += c;
      }
    }
    if (!closed) return std::nullopt;
  } else {
    std::size_t end = raw.find_first_of(" \t#");
    value = raw.substr(0, end);
  }
  std::string result;
  if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
    if (home.empty()) return std::nullopt;
    result = home + value.substr(5);
  } else if (!value.empty() && value[0] == '/') {
    result = value;
  } else {
    return std::nullopt;
  }
  for (char& c : result)
    if (c == '\x01') c = '$';
  return DropTrailingSlashes(result);
}

}  // namespace

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
  return {};
}

std::string DesktopFolder() {
  std::string home = HomeFolder();
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  std::string config = configHome && *configHome ? std::string(configHome) : home + "/.config";
  std::optional<std::string> found;
  if (!config.empty()) {
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
      std::size_t start = line.find_first_not_of(" \t");
      if (start == std::string::npos) continue;
      static constexpr char kKey[] = "XDG_DESKTOP_DIR=";
      if (line.compare(start, sizeof kKey - 1, kKey) != 0) continue;
      if (auto value = ReadValue(line.substr(start + sizeof kKey - 1), home)) found = value;
    }
  }
  if (found) return *found;
  const char* env = std::getenv("XDG_DESKTOP_DIR");
  if (env && *env == '/') return DropTrailingSlashes(env);
  if (home.empty()) return {};
  return DropTrailingSlashes(home) + "/Desktop";
}

}  // namespace shell
