// Small operations shared across the client: the executable's path, the
// title text, starting a program, opening an address in the user's browser,
// and the client's own version.
//
// GetModulePath, LaunchProcess and OpenInBrowser may be called from any
// thread; GetClientTitle reads the configuration and belongs to the
// user-interface thread.
#pragma once

#include <string>

// The client's own version (also the executable's file and product version).
inline constexpr char CLIENT_VERSION[] = "1.0.0.1";

// The running executable's full path (with bWithFileName), or its folder
// without a trailing '/' (a path without any '/' comes back whole). Callers
// that build a file path add the '/' themselves.
std::string GetModulePath(bool bWithFileName);

// "<userClientAbout> Ver <CLIENT_VERSION>". Creates and loads the
// configuration if nothing has yet.
std::string GetClientTitle();

// Starts the command line (see platform/shell/Process.h for how it is read)
// without waiting for it; true when the process started.
bool LaunchProcess(const std::string& commandLine);

// Opens a web address or a file in the desktop's default handler; the result
// is not examined by the client.
void OpenInBrowser(const std::string& target);
