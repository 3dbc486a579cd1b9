// Opening a web address or a file in the desktop's default handler (the
// user's browser for http and https addresses).
//
// The address goes to GIO's default handler for its scheme; a target without
// a scheme that names an existing file is opened as that file. When GIO has no
// handler or fails, xdg-open is started with the target instead.
//
// Tests: when the environment variable TORVANE_OPENER names a program, that
// program is started with the target as its only argument instead, and
// neither GIO nor xdg-open is used (a script that records its argument lets a
// test see what the client opened without starting a browser).
//
// Thread safety: may be called from any thread.
#pragma once

#include <string_view>

namespace shell {

// Hands target to its default handler without waiting for it; true when a
// handler (or the test opener) was started.
bool OpenWithDefaultHandler(std::string_view target);

}  // namespace shell
