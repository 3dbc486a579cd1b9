// The user's home and desktop folders, found the way the desktop's own tools
// find them.
//
// DesktopFolder() gives what `xdg-user-dir DESKTOP` prints, without starting
// it: the last XDG_DESKTOP_DIR line of $XDG_CONFIG_HOME/user-dirs.dirs
// (~/.config when the variable is unset or empty) whose value is "$HOME",
// "$HOME/..." or an absolute path, quoted or not, with the shell's
// backslash escapes inside double quotes; failing that an absolute
// XDG_DESKTOP_DIR from the environment; failing that ~/Desktop. Trailing '/'
// are dropped. A value of "$HOME/" (desktop turned off) gives the home folder.
//
// Thread safety: any thread; the environment and the file are read at each call.
#pragma once

#include <string>

namespace shell {

// $HOME, else the password database's home of the real user; "" when neither.
std::string HomeFolder();

// The desktop folder by the rules above; "" when no home folder is known.
std::string DesktopFolder();

}  // namespace shell
