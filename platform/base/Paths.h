// Where the client's files live on this desktop.
//
// All functions may be called from any thread; they read the environment at
// each call, so tests can point them at temporary folders.
#pragma once

#include <string>

namespace paths {

// The running executable's full path (/proc/self/exe), "" when unreadable.
std::string ExecutablePath();

// $XDG_CONFIG_HOME, else $HOME/.config.
std::string ConfigHome();
// $XDG_CACHE_HOME, else $HOME/.cache.
std::string CacheHome();
// $XDG_DATA_HOME, else $HOME/.local/share.
std::string DataHome();

// The product family's folder under a base: "<base>/velmora".
std::string VendorDir(const std::string& base);

// Creates a folder and its parents (mode 0700 for new ones); true when it exists afterwards.
bool MakeDirs(const std::string& dir);

}  // namespace paths
