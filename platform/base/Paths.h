// Where the client's files live on this desktop.
//
// All functions may be called from any thread; they read the environment at
// each call, so tests can point them at temporary folders.
#pragma once

#include <string>

namespace paths {

// The running executable's full path (/proc/self/exe), "" when unreadable.
std::string ExecutablePath();

// The home folder: $HOME, else the user's entry in the password database
// (never a shared folder such as /tmp); "" when neither names one.
std::string Home();

// $XDG_CONFIG_HOME, else $HOME/.config ("" without a home, and likewise
// below).
std::string ConfigHome();
// $XDG_CACHE_HOME, else $HOME/.cache.
std::string CacheHome();
// $XDG_DATA_HOME, else $HOME/.local/share.
std::string DataHome();

// The product family's folder under a base: "<base>/velmora".
std::string VendorDir(const std::string& base);

// Creates a folder and its parents (mode 0700 for new ones); true when it exists afterwards.
bool MakeDirs(const std::string& dir);

// Creates base with MakeDirs, then each folder of sub below it ("velmora/x")
// as a folder only this user may enter: new ones are made 0700 whatever the
// umask, and an existing one of this user's that others could read, enter or
// write loses those bits (its owner's stay). base itself, a shared folder
// such as ~/.cache, keeps its mode. True when every folder of sub exists
// afterwards, belongs to this user and is closed to others; a folder of
// another user is left as it is and gives false, as does an empty base.
bool MakePrivateDirs(const std::string& base, const std::string& sub);

// Makes path an existing regular file only this user may read or write: an
// absent one is created empty with mode 0600 whatever the umask; one of this
// user's that others may use loses their bits, its content and its owner's
// bits kept. A file of another user, or anything that is not a regular file,
// is left as it is and gives false.
bool MakePrivateFile(const std::string& path);

// Takes others' bits from path when it is a regular file of this user's; true
// when it is private afterwards or absent (an absent file is not created).
bool TightenPrivateFile(const std::string& path);

}  // namespace paths
